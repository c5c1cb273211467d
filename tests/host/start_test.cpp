// Starting the event service: what is refused at start is refused once, with
// one message, and the frame directory is there before the first frame.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <zlib.h>

#include "host/hostevents.h"
#include "host/hostoptions.h"
#include "host/hostwindow.h"

namespace {

int Count(std::string const& text, std::string const& what)
{
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

} // namespace

TEST(Start, MissingScriptIsReportedOnceWhateverTheMode)
{
    char const* display = std::getenv("DISPLAY");
    std::string saved = display ? display : "";
    unsetenv("DISPLAY");
    for (int mode : {host::MODE_AUTO, host::MODE_HEADLESS}) {
        host::Options o;
        o.mode = mode;
        o.script = "/nonexistent/events.txt";
        host::Configure(o);
        testing::internal::CaptureStdout();
        EXPECT_EQ(host::EventServiceStart(), 0);
        std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(Count(out, "/nonexistent/events.txt"), 1) << out;
    }
    if (display)
        setenv("DISPLAY", saved.c_str(), 1);
}

TEST(Start, FrameDirectoryIsMadeWithItsParentsOrTheStartIsRefused)
{
    char dir[] = "/tmp/krv_shotsXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::string base = dir;
    host::Options o;
    o.mode = host::MODE_HEADLESS;
    o.activate = 0;
    o.shots = base + "/a/b/c";
    host::Configure(o);
    ASSERT_EQ(host::EventServiceStart(), 1);
    uint16_t const pixels[4] = {0xF800, 0x07E0, 0x001F, 0xFFFF};
    host::PresentSoft(pixels, 2, 2, 4);
    host::EventServiceStop();
    struct stat st;
    EXPECT_EQ(stat((o.shots + "/frame00001.png").c_str(), &st), 0);

    // Only the frames asked for are saved; every frame has its line of sums
    // (CRC-32 and Adler-32 of its pixels, rows top down).
    o.shots = base + "/some";
    o.shotFrames = {{2, 2, 1}, {4, 9, 3}};
    o.shotSums = base + "/sums.txt";
    host::Configure(o);
    ASSERT_EQ(host::EventServiceStart(), 1);
    uint16_t const other[4] = {0xF800, 0x07E0, 0x001F, 0x0000};
    for (int i = 1; i <= 9; ++i)
        host::PresentSoft(i == 5 ? other : pixels, 2, 2, 4);
    host::EventServiceStop();
    std::string saved;
    for (int n = 1; n <= 9; ++n)
        if (stat((o.shots + "/frame0000" + std::to_string(n) + ".png").c_str(), &st) == 0)
            saved += std::to_string(n);
    EXPECT_EQ(saved, "247");
    uint8_t const rgb[12] = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255};
    char line[64];
    std::snprintf(line, sizeof line, "%08lx %08lx", crc32(0L, rgb, 12), adler32(1L, rgb, 12));
    std::ifstream in(o.shotSums);
    std::vector<std::string> lines;
    for (std::string l; std::getline(in, l);)
        lines.push_back(l);
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[0], "00001 " + std::string(line));
    EXPECT_EQ(lines[8], "00009 " + std::string(line));
    EXPECT_EQ(lines[4].substr(0, 6), "00005 ");
    EXPECT_NE(lines[4].substr(6, 8), lines[0].substr(6, 8)); // the CRC
    EXPECT_NE(lines[4].substr(15), lines[0].substr(15));      // the Adler-32
    o.shotFrames.clear();
    o.shotSums.clear();

    // A file where a folder of the path should be: refused before any frame.
    std::ofstream(base + "/file") << "x";
    o.shots = base + "/file/shots";
    host::Configure(o);
    testing::internal::CaptureStdout();
    EXPECT_EQ(host::EventServiceStart(), 0);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("cannot create the frame directory"), std::string::npos) << out;
    // So is a sums file that cannot be written.
    o.shots.clear();
    o.shotSums = base + "/file/sums.txt";
    host::Configure(o);
    testing::internal::CaptureStdout();
    EXPECT_EQ(host::EventServiceStart(), 0);
    out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("cannot write the frame sums"), std::string::npos) << out;
    std::system(("rm -rf " + base).c_str());
}
