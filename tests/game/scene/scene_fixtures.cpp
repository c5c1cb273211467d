#include "scene_fixtures.h"

#include <cstdlib>
#include <unistd.h>

#include "tools/lib/toolfile.h"

namespace scenetest {

namespace {

PamTrack RandomTrack(std::mt19937& rng)
{
    PamTrack t;
    int n = int(rng() % 5); // 0 keys now and then
    int frame = int(rng() % 40) - 20;
    for (int i = 0; i < n; i++) {
        t.keys.push_back({frame, int32_t(rng())});
        frame += int(rng() % 30);
    }
    return t;
}

std::string RandomName(std::mt19937& rng, bool plain)
{
    std::string s;
    int n = int(rng() % 12);
    for (int i = 0; i < n; i++) {
        char c = char(1 + rng() % 255);
        if (plain && (c == '/' || c == '\\' || c == '.'))
            c = '_';
        s += c;
    }
    return s;
}

} // namespace

PamScene RandomScene(std::mt19937& rng, int models)
{
    PamScene s;
    s.fps = int(rng() % 256) - 128;
    int meshes = int(rng() % 6);
    for (int i = 0; i < meshes; i++)
        s.meshes.push_back(RandomName(rng, true));
    for (int i = 0; i < models; i++) {
        PamModel m;
        m.flags = uint16_t(rng());
        m.flags &= uint16_t(~kPamSkybox);
        m.mesh = meshes ? int(rng() % (meshes + 1)) - 1 : -1;
        m.parent = i && rng() % 2 ? int(rng() % i) : -1;
        for (auto& t : m.tracks)
            t = RandomTrack(rng);
        for (auto& t : m.size)
            t = RandomTrack(rng);
        m.dissolveAlpha = int32_t(rng());
        m.envelope = RandomTrack(rng);
        s.models.push_back(m);
    }
    s.skybox = rng() % 2;
    if (s.skybox && models)
        for (int i = int(rng() % 3); i > 0; i--)
            s.skyboxModels.push_back(int32_t(rng() % models));
    // Areas are left to the grid tests: random boxes would make huge grids.
    int nulls = int(rng() % 4);
    for (int i = 0; i < nulls; i++) {
        PamNull n;
        n.name = RandomName(rng, false);
        for (auto& t : n.tracks)
            t = RandomTrack(rng);
        n.link = models ? int(rng() % (models + 1)) - 1 : -1;
        s.nulls.push_back(n);
    }
    s.camera = rng() % 2;
    s.cam.byte = int(rng() % 256) - 128;
    for (auto& t : s.cam.tracks)
        t = RandomTrack(rng);
    s.cam.fovConstant = rng() % 2;
    s.cam.fov = int32_t(rng());
    s.cam.fovTrack = RandomTrack(rng);
    int triggers = int(rng() % 3);
    for (int i = 0; i < triggers; i++) {
        PamTrigger t;
        t.name = RandomName(rng, false);
        for (auto& c : t.centre)
            c = RandomTrack(rng);
        t.radiusConstant = rng() % 2;
        t.radius = int32_t(rng());
        t.radiusTrack = RandomTrack(rng);
        s.triggers.push_back(t);
    }
    return s;
}

std::string WritePamFile(std::string const& path, PamScene const& s)
{
    std::vector<uint8_t> b;
    std::string err;
    EXPECT_TRUE(PamWrite(s, &b, &err)) << err;
    EXPECT_TRUE(WriteFileAtomic(path, b, &err)) << err;
    return path;
}

ScratchDir::ScratchDir(bool saveRoot) : m_saveRoot(saveRoot)
{
    char tmpl[] = "/tmp/krv_scene_XXXXXX";
    EXPECT_NE(nullptr, ::mkdtemp(tmpl));
    path = tmpl;
    if (saveRoot) {
        const char* old = std::getenv("VORNAPP_SAVEPATH");
        m_hadSave = old != nullptr;
        m_oldSave = old ? old : "";
        ::setenv("VORNAPP_SAVEPATH", (path + "/").c_str(), 1);
    }
}

ScratchDir::~ScratchDir()
{
    if (m_saveRoot && m_hadSave)
        ::setenv("VORNAPP_SAVEPATH", m_oldSave.c_str(), 1);
    else if (m_saveRoot)
        ::unsetenv("VORNAPP_SAVEPATH");
    (void)!::system(("rm -rf '" + path + "'").c_str());
}

} // namespace scenetest
