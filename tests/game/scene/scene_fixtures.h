// Shared helpers of the scene tests: scenes made with the .pam writer and
// loaded by the engine, a hand-driven clock, double-precision references.
#pragma once
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/runtime/palloc.h"
#include "game/scene/p3danim.h"
#include "tools/lib/pam_writer.h"

namespace scenetest {

// A clock the test moves by hand.
struct FakeClock {
    uint32_t now = 1000;
    static uint32_t Read(void* self) { return static_cast<FakeClock*>(self)->now; }
};

inline int32_t Fx(double v)
{
    return int32_t(std::lround(v * 65536.0));
}

inline double Db(int32_t v)
{
    return v / 65536.0;
}

inline PamTrack Keys(std::vector<std::pair<int32_t, double>> const& keys)
{
    PamTrack t;
    for (auto const& k : keys)
        t.keys.push_back({k.first, Fx(k.second)});
    return t;
}

// A loaded scene and the mesh arrays the loader hands out.
struct Loaded {
    P3DAnim* anim = nullptr;
    PMesh** meshes = nullptr;
    char** names = nullptr;
    int count = 0;

    Loaded() = default;
    Loaded(Loaded const&) = delete;
    Loaded& operator=(Loaded const&) = delete;
    ~Loaded()
    {
        for (int i = 0; i < count; i++)
            PFree(names[i]);
        PFree(names);
        PFree(meshes);
        delete anim;
    }
    // 1 when the bytes load.
    int Load(std::vector<uint8_t> const& bytes)
    {
        if (!anim)
            anim = P3DAnim::Create();
        return anim->LoadFromMemory(bytes.data(), unsigned(bytes.size()), nullptr, 0, nullptr, nullptr, meshes, names,
                                    &count);
    }
    int Load(PamScene const& s)
    {
        std::vector<uint8_t> bytes;
        std::string err;
        EXPECT_TRUE(PamWrite(s, &bytes, &err)) << err;
        return Load(bytes);
    }
};

// Constant tracks from values (x, y, z, then the rotations), as many as given.
template <size_t N> void Place(PamTrack (&tracks)[N], std::initializer_list<double> values)
{
    size_t i = 0;
    for (double v : values)
        tracks[i++] = PamTrack::Constant(Fx(v));
}

// A scratch directory, removed with everything in it; with saveRoot it is
// also the writable root (VORNAPP_SAVEPATH) while it lives.
struct ScratchDir {
    std::string path;
    explicit ScratchDir(bool saveRoot = false);
    ~ScratchDir();
    std::string operator/(std::string const& name) const { return path + "/" + name; }

private:
    bool m_saveRoot;
    std::string m_oldSave;
    bool m_hadSave = false;
};

// A random scene using every optional field somewhere.
PamScene RandomScene(std::mt19937& rng, int models = 8);

// Writes the scene as a .pam file at path (a failure fails the test); returns
// the path.
std::string WritePamFile(std::string const& path, PamScene const& s);

} // namespace scenetest
