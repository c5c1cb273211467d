// The .pam loader: round trips through the writer and the pamwrite tool, an
// independent Python reader of the byte layout, and every refusal of a bad
// file.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <tuple>
#include <unistd.h>

#include "engine/runtime/pstring.h"
#include "scene_fixtures.h"
#include "tests/tools/tool_runner.h"
#include "tools/lib/toolfile.h"

namespace {

using scenetest::Fx;
using scenetest::Keys;
using scenetest::Loaded;

using tooltest::RunCommand;

std::string Tool()
{
    return tooltest::Tool("pamwrite");
}

class Pam : public ::testing::Test {
protected:
    std::string Put(std::string const& name, std::vector<uint8_t> const& bytes)
    {
        std::string err, path = scratch / name;
        EXPECT_TRUE(WriteFileAtomic(path, bytes, &err)) << err;
        return path;
    }
    std::string Put(std::string const& name, std::string const& text)
    {
        return Put(name, std::vector<uint8_t>(text.begin(), text.end()));
    }
    scenetest::ScratchDir scratch;
    std::string const& dir = scratch.path;
};

// Every optional field of the format, in canonical form.
const char* const kFullText = R"(fps 25
mesh "hangar"
mesh "tree \"big\"\x01"
skybox 1
areas 10
model mesh 0 parent -1 flags static
  px 0:1.5 10:2
  py 0:0
  pz -5:-0.00002 0:0
  ry 0:90
  rz
  rx 0:-359.99998
model mesh 1 parent 0 flags dissolve|boxcoll|skybox|0x8000
  px 0:0
  py 0:0
  pz 0:0
  ry 0:0
  rz 0:0
  rx 0:0
  sx 0:1
  sy 0:2
  sz 3:4 5:6
  alpha 0.5
model mesh -1 parent 1 flags dissolveenv|additive|halfalpha|transparent|perpoly|background
  px 0:0
  py 0:0
  pz 0:0
  ry 0:0
  rz 0:0
  rx 0:0
  envelope 0:1 20:0
null "engine l" link 2
  px 0:0
  py 5:-3.25
  pz 0:0
  ry 0:0
  rz 0:0
  rx 0:0
camera byte -3
  px 0:0
  py 0:0
  pz 0:0
  ry 0:0
  rz 0:0
  rx 0:0
  fovkeys 0:60 10:70
trigger "zone"
  px 0:100
  py 0:0
  pz 0:0
  radius 5
trigger "moving"
  px 0:0
  py 0:0
  pz 0:0
  radiuskeys 0:1 8:32767.99998
)";

TEST_F(Pam, TextRoundTripsThroughTheEngineReader)
{
    std::string txt = Put("full.txt", std::string(kFullText));
    ASSERT_EQ(0, RunCommand("'" + Tool() + "' '" + txt + "' '" + dir + "/full.pam'").code);
    tooltest::Result dump = RunCommand("'" + Tool() + "' --dump '" + dir + "/full.pam'");
    ASSERT_EQ(0, dump.code);
    EXPECT_EQ(kFullText, dump.out);
    // Written again from the dump: the same bytes.
    Put("again.txt", dump.out);
    ASSERT_EQ(0, RunCommand("'" + Tool() + "' '" + dir + "/again.txt' '" + dir + "/again.pam'").code);
    std::vector<uint8_t> a, b;
    std::string err;
    ASSERT_TRUE(ReadFileBytes(dir + "/full.pam", &a, &err));
    ASSERT_TRUE(ReadFileBytes(dir + "/again.pam", &b, &err));
    EXPECT_EQ(a, b);
    // What the reader would refuse is refused.
    Put("cycle.txt", std::string("model parent 1\nmodel parent 0\n"));
    EXPECT_EQ(1, RunCommand("'" + Tool() + "' --check '" + dir + "/cycle.txt'").code);
    Put("bad.txt", std::string("model mesh 0\n"));
    EXPECT_EQ(1, RunCommand("'" + Tool() + "' --check '" + dir + "/bad.txt'").code);
    Put("size.txt", std::string("mesh \"a\"\nmodel mesh 0\n  sx 0:1\n"));
    EXPECT_EQ(1, RunCommand("'" + Tool() + "' --check '" + dir + "/size.txt'").code);
}

TEST_F(Pam, IndependentReaderAgreesOnRandomAndDamagedScenes)
{
    std::mt19937 rng(2024);
    std::vector<std::string> files;
    for (int i = 0; i < 24; i++) {
        std::vector<uint8_t> bytes;
        std::string err;
        ASSERT_TRUE(PamWrite(scenetest::RandomScene(rng, int(rng() % 10)), &bytes, &err)) << err;
        files.push_back(Put("s" + std::to_string(i) + ".pam", bytes));
        // Damaged copies: cut short, a byte changed, trailing bytes.
        std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + long(rng() % bytes.size()));
        files.push_back(Put("c" + std::to_string(i) + ".pam", cut));
        std::vector<uint8_t> flip = bytes;
        flip[rng() % flip.size()] ^= uint8_t(1 << (rng() % 8));
        files.push_back(Put("f" + std::to_string(i) + ".pam", flip));
    }
    std::string all;
    for (auto const& f : files)
        all += " '" + f + "'";
    tooltest::Result oracle = tooltest::RunPython(tooltest::PyScript("tests/game/scene/pam_oracle.py") + all);
    ASSERT_EQ(0, oracle.code);
    size_t at = 0;
    int accepted = 0, refused = 0;
    for (auto const& f : files) {
        size_t end = oracle.out.find("----\n", at);
        std::string want = oracle.out.substr(at, end == std::string::npos ? std::string::npos : end - at);
        at = end == std::string::npos ? oracle.out.size() : end + 5;
        tooltest::Result dump = RunCommand("'" + Tool() + "' --dump '" + f + "'");
        if (want == "REFUSED\n") {
            EXPECT_EQ(1, dump.code) << f;
            refused++;
        } else {
            EXPECT_EQ(0, dump.code) << f;
            EXPECT_EQ(want, dump.out) << f;
            accepted++;
        }
    }
    EXPECT_GT(accepted, 24);
    EXPECT_GT(refused, 10);
}

TEST(PamLoad, WriterFieldsArriveInTheScene)
{
    std::mt19937 rng(5);
    for (int n = 0; n < 30; n++) {
        PamScene s = scenetest::RandomScene(rng, int(rng() % 12));
        Loaded l;
        ASSERT_EQ(1, l.Load(s));
        P3DAnim* a = l.anim;
        ASSERT_EQ(int(s.meshes.size()), l.count);
        for (int i = 0; i < l.count; i++)
            EXPECT_EQ(s.meshes[i], l.names[i]);
        ASSERT_EQ(int(s.models.size()), a->modelCount);
        int blended = 0;
        for (int i = 0; i < a->modelCount; i++) {
            P3DModel* m = a->models[i];
            PamModel const& pm = s.models[i];
            uint16_t flags = pm.flags;
            for (int k : s.skyboxModels)
                if (k == i)
                    flags |= kPamSkybox;
            EXPECT_EQ(std::make_tuple(flags, pm.mesh, pm.parent), std::make_tuple(m->flags, m->meshIndex, m->parent));
            for (int k = 0; k < 6; k++) {
                ASSERT_EQ(int(pm.tracks[k].keys.size()), m->tracks[k].keyCount);
                for (int j = 0; j < m->tracks[k].keyCount; j++) {
                    EXPECT_EQ(pm.tracks[k].keys[j].first, m->tracks[k].keyFrames[j]);
                    EXPECT_EQ(pm.tracks[k].keys[j].second, m->tracks[k].keyValues[j]);
                }
                // Evaluated at frame 0 on loading.
                P3DChannel probe;
                probe.SetKeys(m->tracks[k].keyCount, m->tracks[k].keyFrames, m->tracks[k].keyValues);
                probe.FindAB(0);
                EXPECT_EQ(probe.value, m->tracks[k].value);
            }
            if (flags & kPamDissolve) {
                EXPECT_EQ(pm.dissolveAlpha, m->dissolveAlpha);
            }
            blended += (flags & 0x1F) != 0;
        }
        EXPECT_EQ(blended, a->blendedCount);
        int bg = 0;
        for (auto const& pm : s.models)
            bg += (pm.flags & kPamBackground) != 0;
        EXPECT_EQ(std::min(bg, 255), a->bgModelCount);
        ASSERT_EQ(int(s.nulls.size()), a->nullCount);
        for (int i = 0; i < a->nullCount; i++) {
            EXPECT_EQ(s.nulls[i].name, a->nulls[i]->name);
            EXPECT_EQ(int(s.nulls[i].name.size()), a->nulls[i]->nameLength);
            EXPECT_EQ(s.nulls[i].link, a->nulls[i]->linkedModel);
        }
        EXPECT_EQ(int(s.triggers.size()), a->triggerCount);
        EXPECT_EQ(s.camera, a->cameraPresent != 0);
        EXPECT_EQ(s.camera, a->useCamera != 0);
        // The scene's camera starts paused on the loop 0 to 1.
        if (s.camera) {
            EXPECT_EQ(std::make_tuple(1, 1, 0, 1),
                      std::make_tuple(a->cameraPaused, a->useFovEnvelope, a->cameraLoopStart, a->cameraLoopEnd));
        }
        EXPECT_EQ(std::make_pair(s.fps, s.fps), std::make_pair(a->fileFPS, a->cameraFPS));
    }
}

// A small valid scene and the offsets of its fields, to damage one at a time.
std::vector<uint8_t> Small(PamScene s)
{
    std::vector<uint8_t> b;
    std::string err;
    EXPECT_TRUE(PamWrite(s, &b, &err)) << err;
    return b;
}

PamScene SmallScene()
{
    PamScene s;
    s.meshes = {"m"};
    s.skybox = true;
    s.skyboxModels = {0};
    s.models.resize(2);
    s.models[1].parent = 0;
    s.nulls.resize(1);
    s.nulls[0].name = "n";
    s.camera = true;
    s.triggers.resize(1);
    s.triggers[0].name = "t";
    return s;
}

TEST(PamLoad, EveryShortenedFileIsRefused)
{
    std::vector<uint8_t> b = Small(SmallScene());
    Loaded ok;
    ASSERT_EQ(1, ok.Load(b));
    for (size_t n = 0; n < b.size(); n++) {
        Loaded l;
        std::vector<uint8_t> cut(b.begin(), b.begin() + long(n));
        EXPECT_EQ(0, l.Load(cut)) << n;
        EXPECT_EQ(nullptr, l.names);
        EXPECT_EQ(0, l.anim->modelCount); // nothing is left half loaded
    }
}

TEST(PamLoad, BadIndicesCountsAndNamesAreRefused)
{
    // Offsets in the small scene: 0 magic, 1 fps, 2 mesh count, 3 name length,
    // 4 'm', 5 sky flag, 6 sky count, 7-10 sky index, 11-14 model count, 15
    // the first model record (flags 15-16, mesh 17, parent 18).
    std::vector<uint8_t> good = Small(SmallScene());
    auto refused = [&](size_t at, std::vector<uint8_t> bytes, const char* what) {
        std::vector<uint8_t> b = good;
        for (size_t i = 0; i < bytes.size(); i++)
            b[at + i] = bytes[i];
        Loaded l;
        EXPECT_EQ(0, l.Load(b)) << what;
    };
    refused(0, {0x85}, "magic");
    refused(2, {0xFF}, "negative mesh count");
    refused(3, {0x80}, "negative name length");
    refused(4, {'/'}, "slash in a mesh name");
    refused(4, {'\\'}, "backslash in a mesh name");
    refused(4, {0}, "zero byte in a mesh name");
    refused(6, {0xFF}, "negative sky-box count");
    refused(7, {2, 0, 0, 0}, "sky-box index");
    refused(7, {0xFF, 0xFF, 0xFF, 0xFF}, "negative sky-box index");
    refused(11, {0xFF, 0xFF, 0xFF, 0xFF}, "negative model count");
    refused(11, {0, 0, 1, 0}, "65536 models");
    refused(17, {1}, "mesh index");
    refused(17, {0xFE}, "mesh index -2");
    refused(18, {2}, "parent index");
    refused(18, {0}, "model its own parent");

    // "a..m": a parent reference in a mesh name.
    std::vector<uint8_t> dots = good;
    dots[3] = 4;
    dots.insert(dots.begin() + 4, {'a', '.', '.'});
    Loaded l;
    EXPECT_EQ(0, l.Load(dots));

    // Parents in a cycle: 0 -> 1 -> 0.
    std::vector<uint8_t> cyc = good;
    cyc[18] = 1;
    Loaded lc;
    EXPECT_EQ(0, lc.Load(cyc));

    // The null's linked model: after its name "n" and six one-key tracks.
    size_t linkAt = 0;
    for (size_t i = 0; i + 1 < good.size(); i++)
        if (good[i] == 1 && good[i + 1] == 'n')
            linkAt = i + 2 + 6 * 10;
    ASSERT_EQ(0xFF, good[linkAt]);
    refused(linkAt, {2, 0, 0, 0}, "linked model");
    refused(linkAt, {0xFE, 0xFF, 0xFF, 0xFF}, "linked model -2");
    refused(linkAt - 6 * 10 - 2 - 4, {0xFF, 0xFF, 0xFF, 0x7F}, "null count");
    refused(linkAt - 6 * 10 - 2 - 4, {0xFF, 0xFF, 0xFF, 0xFF}, "negative null count");
}

TEST(PamLoad, TriggerCountUsesTheLowSixteenBits)
{
    PamScene s;
    s.triggers.resize(2);
    s.triggers[0].name = "a";
    s.triggers[1].name = "b";
    std::vector<uint8_t> b = Small(s);
    // magic, fps, meshes 0, sky 0, models 0 (4), areas 0, nulls 0 (4),
    // camera 0, triggers flag at 14, then the count at 15.
    ASSERT_EQ(1, b[14]);
    ASSERT_EQ(2, b[15]);
    b[17] = 1; // 0x00010002: two triggers
    Loaded l;
    ASSERT_EQ(1, l.Load(b));
    EXPECT_EQ(2, l.anim->triggerCount);
    b[16] = 0x80; // low 16 bits 0x8002: negative
    Loaded n;
    EXPECT_EQ(0, n.Load(b));
    b[16] = 0x7F; // 32514 triggers cannot fit
    Loaded big;
    EXPECT_EQ(0, big.Load(b));
}

TEST(PamLoad, FilesThatCannotBeReadAreRefused)
{
    P3DAnim a;
    PMesh** meshes = reinterpret_cast<PMesh**>(&a);
    char** names = reinterpret_cast<char**>(&a);
    int count = 5;
    EXPECT_EQ(0, a.LoadFromFile("/nonexistent/dir/scene.pam", nullptr, 0, "", nullptr, meshes, names, &count));
    EXPECT_EQ(std::make_tuple(nullptr, nullptr, 0), std::make_tuple(meshes, names, count));
    char tmpl[] = "/tmp/krv_pamfile_XXXXXX";
    int fd = ::mkstemp(tmpl);
    ASSERT_GE(fd, 0);
    ::close(fd);
    EXPECT_EQ(0, a.LoadFromFile(tmpl, nullptr, 0, "", nullptr, meshes, names, &count)); // empty
    std::string err;
    std::vector<uint8_t> b = Small(SmallScene());
    ASSERT_TRUE(WriteFileAtomic(tmpl, b, &err));
    ASSERT_EQ(1, a.LoadFromFile(tmpl, nullptr, 0, "data\\objects\\", nullptr, meshes, names, &count));
    EXPECT_EQ(1, count);
    EXPECT_STREQ("m", names[0]);
    EXPECT_EQ(nullptr, meshes[0]); // no texture directories: no meshes
    PFree(names[0]);
    PFree(names);
    PFree(meshes);
    ::unlink(tmpl);
}

} // namespace
