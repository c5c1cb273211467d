// The program's own frames, headless on the virtual clock at 1024 x 600 in run
// directories set up as scripts/run.sh sets them up:
//   - a menu frame (the game selection's translucent rows, drawn over what the
//     frames before left) and a flight frame, each captured as a GL trace on
//     OpenGL ES 1.1, replay on Mesa as the program drew them, pixel for pixel;
//   - the README's demo walk drawn on OpenGL ES 1.1 and on the software
//     renderer: every 10th frame compared, each menu frame at least
//     kMenuFloor dB and the worst flight frame at least kFlightFloor dB; the
//     worst menu and flight frames of both are kept in demo_walk_shots/ of the
//     working directory; and the bomb's first label (outlined) in its
//     selector frame, both renderers' frames of it kept there too.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tools/glreplay/pngio.h"
#include "tools/glreplay/replay.h"
#include "tools/glreplay/trace.h"

#if defined(KRV_KORVANTH) && defined(KRV_DEMO_ARCHIVE)

namespace fs = std::filesystem;
using namespace glreplay;

namespace {

// The demo walk (scripts/demo-events.txt): the game selection and the level
// pages are shown from frame 200 to 620, the mission is flown from 750 to the
// exit at 1040.
constexpr int kMenuFirst = 200, kMenuLast = 620, kFlightFirst = 750, kLastFrame = 1040;
constexpr double kMenuFloor = 30.0;
constexpr double kFlightFloor = 23.0;
// The bomb at rest with its first label in the selector frame, and the
// label's box at 1024 x 600 (x, y, width, height).
constexpr int kLabelFrame = 110;
constexpr int kLabelBox[4] = {696, 255, 288, 80};
constexpr int kLabelBlock = 4;
constexpr double kLabelFloor = 25.0;

struct Scratch {
    std::string path;
    Scratch()
    {
        char t[] = "/tmp/krv_frames_XXXXXX";
        path = mkdtemp(t) ? t : "";
    }
    ~Scratch()
    {
        if (!path.empty())
            fs::remove_all(path);
    }
};

// A run directory as run.sh makes it; with a returning pilot who has the
// first level open when seeded.
bool MakeRunDir(std::string const& dir, bool seeded)
{
    std::error_code e;
    for (char const* d : {"/logs", "/data/usr", "/app/native"})
        fs::create_directories(dir + d, e);
    fs::create_symlink(KRV_DEMO_ARCHIVE, dir + "/app/native/data.vfs", e);
    if (e)
        return false;
    if (seeded) {
        std::ofstream(dir + "/data/usr/profiles.cfg", std::ios::binary).write("\1\0", 2);
        std::string profile(31, '\0');
        profile[22] = 4;
        profile[23] = 1;
        std::ofstream(dir + "/data/usr/profile_0", std::ios::binary).write(profile.data(), 31);
    }
    return fs::exists(dir + "/data/usr") && (!seeded || fs::file_size(dir + "/data/usr/profile_0") == 31);
}

struct Run {
    std::string dir;      // run directory
    std::string renderer; // gles1 or software
    std::string script;
    std::string env;      // more variables, "NAME=value ..."
    std::string extra;    // more arguments
};

// Runs the programs side by side; true when every one ended normally.
bool RunPrograms(std::vector<Run> const& runs)
{
    std::string cmd;
    for (Run const& r : runs)
        cmd += "(cd '" + r.dir + "' && env EGL_PLATFORM=surfaceless KRV_AUDIO=null "
               "ASAN_OPTIONS=allocator_may_return_null=1:detect_leaks=0 " + r.env + " '" KRV_KORVANTH
               "' --headless --renderer " + r.renderer + " --clock virtual --script '" + r.script +
               "' --shots shots " + r.extra + " > out.txt 2>&1; echo $? > status) & ";
    cmd += "wait";
    if (std::system(cmd.c_str()) != 0)
        return false;
    bool ok = true;
    for (Run const& r : runs) {
        std::ifstream in(r.dir + "/status");
        int status = -1;
        in >> status;
        if (status != 0) {
            ADD_FAILURE() << r.renderer << " run in " << r.dir << " ended with status " << status;
            ok = false;
        }
    }
    return ok;
}

std::string Log(std::string const& dir)
{
    std::ifstream in(dir + "/logs/vornlog.txt");
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool Shot(std::string const& dir, int frame, Image& out)
{
    char name[32];
    std::snprintf(name, sizeof name, "/shots/frame%05d.png", frame);
    std::string error;
    return ReadPng(dir + name, out, error);
}

// PSNR of the colour channels in dB; 99 for equal pictures, -1 when the
// sizes differ.
double Psnr(Image const& a, Image const& b)
{
    if (a.width != b.width || a.height != b.height || a.rgba.size() != b.rgba.size() || a.rgba.empty())
        return -1;
    double sum = 0;
    for (size_t i = 0; i < a.rgba.size(); i += 4)
        for (size_t c = 0; c < 3; ++c) {
            double d = double(a.rgba[i + c]) - double(b.rgba[i + c]);
            sum += d * d;
        }
    if (sum == 0)
        return 99;
    return 10 * std::log10(255.0 * 255.0 * 3.0 * double(a.rgba.size() / 4) / sum);
}

// PSNR of the means of block x block pixels of a box of both pictures: the
// pictures compared at a coarser scale, where the detail one renderer cannot
// draw (its texture's resolution) no longer counts.
double BlockPsnr(Image const& a, Image const& b, int const box[4], int block)
{
    if (a.width != b.width || a.height != b.height || box[0] + box[2] > a.width || box[1] + box[3] > a.height)
        return -1;
    double sum = 0;
    int n = 0;
    for (int y = box[1]; y + block <= box[1] + box[3]; y += block)
        for (int x = box[0]; x + block <= box[0] + box[2]; x += block)
            for (size_t c = 0; c < 3; ++c) {
                double d = 0;
                for (int j = 0; j < block; ++j)
                    for (int i = 0; i < block; ++i) {
                        size_t k = (size_t(y + j) * size_t(a.width) + size_t(x + i)) * 4 + c;
                        d += double(a.rgba[k]) - double(b.rgba[k]);
                    }
                d /= block * block;
                sum += d * d;
                ++n;
            }
    if (sum == 0)
        return 99;
    return 10 * std::log10(255.0 * 255.0 * n / sum);
}

// A frame traced on OpenGL ES 1.1 (counted from 0; the shots count from 1)
// replayed on Mesa: the picture the program presented.
void ExpectReplayEqualsShot(std::string const& dir, int frame)
{
    Trace trace;
    std::string error;
    ASSERT_TRUE(LoadTrace(dir + "/frame.trace", trace, error)) << error;
    ReplayOptions opt;
    opt.backend = Backend::Mesa;
    ReplayResult replay;
    ASSERT_TRUE(Replay(trace, opt, replay, error)) << error;
    EXPECT_TRUE(replay.errors.empty()) << "GL error at line " << replay.errors[0].first;
    Image shot;
    ASSERT_TRUE(Shot(dir, frame + 1, shot));
    EXPECT_TRUE(replay.frame.rgba == shot.rgba) << "replay " << Psnr(replay.frame, shot) << " dB from the program's frame";
}

TEST(ProgramTrace, MenuAndFlightFramesReplayOnMesaAsDrawn)
{
    if (!fs::exists(KRV_DEMO_ARCHIVE))
        GTEST_SKIP() << "the demo archive is not built";
    Scratch s;
    ASSERT_FALSE(s.path.empty());
    std::string menu = s.path + "/menu", flight = s.path + "/flight";
    ASSERT_TRUE(MakeRunDir(menu, false));
    ASSERT_TRUE(MakeRunDir(flight, true));
    // The flight: the first level started from the menu, its orders closed,
    // the tablet tilted.
    std::string script = s.path + "/flight.txt";
    std::ofstream(script) << "1 down 3 100 200\n2 up 3 100 200\n3 down 3 110 210\n5 up 3 120 220\n"
                             "60 down 0 264 318\n61 up 0 264 318\n100 accel 0.3 -0.2 -0.93\n200 exit\n";
    ASSERT_TRUE(RunPrograms({
        {menu, "gles1", KRV_SOURCE_DIR "/scripts/demo-events.txt", "KRV_GL_TRACE=frame.trace KRV_GL_TRACE_FRAME=200",
         "--frames 202 --shot-frames 201"},
        {flight, "gles1", script, "KRV_LEVEL=0 KRV_GL_TRACE=frame.trace KRV_GL_TRACE_FRAME=179",
         "--frames 181 --shot-frames 180"},
    }));
    std::string log = Log(menu);
    EXPECT_NE(log.find("menu: page 13"), std::string::npos) << "the game selection was not reached";
    EXPECT_NE(log.find("GL trace: frame 200 written"), std::string::npos) << log;
    log = Log(flight);
    EXPECT_NE(log.find("app: state 4 -> 5"), std::string::npos) << "the level was not flown";
    EXPECT_NE(log.find("GL trace: frame 179 written"), std::string::npos) << log;
    {
        SCOPED_TRACE("menu");
        ExpectReplayEqualsShot(menu, 200);
    }
    {
        SCOPED_TRACE("flight");
        ExpectReplayEqualsShot(flight, 179);
    }
}

TEST(DemoWalk, SoftwareRendererDrawsWhatGlDraws)
{
    // The whole walk twice takes a while under the sanitizers: it runs as
    // the ctest entry demo_walk.
    if (!std::getenv("KRV_DEMO_WALK"))
        GTEST_SKIP() << "runs as its own entry: ctest -R demo_walk";
    if (!fs::exists(KRV_DEMO_ARCHIVE))
        GTEST_SKIP() << "the demo archive is not built";
    Scratch s;
    ASSERT_FALSE(s.path.empty());
    std::string gl = s.path + "/gles1", sw = s.path + "/software";
    ASSERT_TRUE(MakeRunDir(gl, false));
    ASSERT_TRUE(MakeRunDir(sw, false));
    std::string script = KRV_SOURCE_DIR "/scripts/demo-events.txt";
    // Only the frames compared are saved.
    std::string const compared =
        "--shot-frames " + std::to_string(kLabelFrame) + ",10-" + std::to_string(kLastFrame) + "/10";
    ASSERT_TRUE(RunPrograms({{gl, "gles1", script, "", compared}, {sw, "software", script, "", compared}}));
    // The first label, outlined, drawn by the software renderer from its
    // 256 x 256 label texture (a texel about 3.4 pixels here) against GL's
    // 512 x 512 one, both seen in blocks of 4 x 4 pixels: an outline that
    // slips off the letters or letters with holes fall below the floor.
    double labelDb = -1;
    {
        Image a, b;
        ASSERT_TRUE(Shot(gl, kLabelFrame, a));
        ASSERT_TRUE(Shot(sw, kLabelFrame, b));
        labelDb = BlockPsnr(a, b, kLabelBox, kLabelBlock);
        EXPECT_GE(labelDb, kLabelFloor) << "the bomb's first label, frame " << kLabelFrame;
    }
    double worstMenu = 99, worstFlight = 99;
    int worstMenuFrame = 0, worstFlightFrame = 0;
    std::string table;
    for (int f = 10; f <= kLastFrame; f += 10) {
        Image a, b;
        ASSERT_TRUE(Shot(gl, f, a)) << "gles1 frame " << f;
        ASSERT_TRUE(Shot(sw, f, b)) << "software frame " << f;
        double db = Psnr(a, b);
        char line[48];
        std::snprintf(line, sizeof line, "%5d %6.2f\n", f, db);
        table += line;
        if (f >= kMenuFirst && f <= kMenuLast) {
            EXPECT_GE(db, kMenuFloor) << "menu frame " << f;
            if (db < worstMenu)
                worstMenu = db, worstMenuFrame = f;
        } else if (f >= kFlightFirst && db < worstFlight) {
            worstFlight = db, worstFlightFrame = f;
        }
    }
    EXPECT_GE(worstFlight, kFlightFloor) << "flight frame " << worstFlightFrame;
    // The worst frames of both renderers, for a person to look at.
    std::error_code e;
    fs::create_directories("demo_walk_shots", e);
    for (auto [name, frame] :
         {std::pair{"menu", worstMenuFrame}, std::pair{"flight", worstFlightFrame}, std::pair{"label", kLabelFrame}})
        for (auto [renderer, dir] : {std::pair{"gles1", gl}, std::pair{"software", sw}}) {
            char from[32];
            std::snprintf(from, sizeof from, "/shots/frame%05d.png", frame);
            fs::copy_file(dir + from, std::string("demo_walk_shots/") + name + "_" + renderer + ".png",
                          fs::copy_options::overwrite_existing, e);
        }
    std::printf("frame  PSNR (dB), gles1 against software\n%sworst menu frame %d: %.2f dB; worst flight frame %d: "
                "%.2f dB; the label of frame %d in %d x %d blocks: %.2f dB\n",
                table.c_str(), worstMenuFrame, worstMenu, worstFlightFrame, worstFlight, kLabelFrame, kLabelBlock,
                kLabelBlock, labelDb);
}

} // namespace

#endif
