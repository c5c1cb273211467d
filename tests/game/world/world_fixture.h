// Shared helpers of the world tests: a scratch data directory that relative
// file names resolve to, meshes and scenes written with the tools' writers,
// and drawing contexts on Mesa (EGL pbuffer) and on the software renderer.
#pragma once
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "engine/graphics/p3d.h"
#include "engine/platform/pdisplayegl.h"
#include "engine/runtime/pfile.h"
#include "tests/gl/software/memory_display.h"
#include "tools/lib/pam_writer.h"
#include "tools/lib/pof_writer.h"
#include "tools/lib/toolfile.h"

namespace worldtest {

inline int32_t Fx(double v)
{
    return int32_t(std::lround(v * 65536.0));
}

inline double Db(int32_t v)
{
    return v / 65536.0;
}

// A scratch directory that relative names resolve to while it lives.
class DataDir {
public:
    DataDir()
    {
        char tmpl[] = "/tmp/krv_world_XXXXXX";
        if (::mkdtemp(tmpl))
            path = tmpl;
        const char* old = std::getenv("VORNAPP_SAVEPATH");
        hadOld = old != nullptr;
        if (old)
            oldValue = old;
        ::setenv("VORNAPP_SAVEPATH", (path + "/").c_str(), 1);
    }
    ~DataDir()
    {
        if (hadOld)
            ::setenv("VORNAPP_SAVEPATH", oldValue.c_str(), 1);
        else
            ::unsetenv("VORNAPP_SAVEPATH");
        std::string cmd = "rm -rf '" + path + "'";
        (void)!::system(cmd.c_str());
    }
    DataDir(DataDir const&) = delete;
    DataDir& operator=(DataDir const&) = delete;

    // Writes a file under the directory (its folders are made first).
    void Put(std::string const& rel, std::string const& bytes) const
    {
        std::string full = path + "/" + rel;
        std::string cmd = "mkdir -p '" + full.substr(0, full.rfind('/')) + "'";
        (void)!::system(cmd.c_str());
        std::string err;
        ASSERT_TRUE(WriteFileAtomic(full, bytes.data(), bytes.size(), &err)) << err;
    }
    void Put(std::string const& rel, std::vector<uint8_t> const& bytes) const
    {
        Put(rel, std::string(bytes.begin(), bytes.end()));
    }
    void PutScene(std::string const& rel, PamScene const& s) const
    {
        std::vector<uint8_t> bytes;
        std::string err;
        ASSERT_TRUE(PamWrite(s, &bytes, &err)) << err;
        Put(rel, bytes);
    }

    std::string path;

private:
    std::string oldValue;
    bool hadOld = false;
};

// A closed triangle mesh in 16.16: triangles as three vertex indices.
struct Tris {
    std::vector<double> v; // x, y, z per vertex
    std::vector<int> t;
    PofMesh Pof() const
    {
        PofMesh m;
        for (double c : v)
            m.positions.push_back(Fx(c));
        PofList l;
        for (int i : t)
            l.indices.push_back(uint32_t(i));
        m.lists.push_back(l);
        return m;
    }
};

// An axis-aligned box about the origin with the given half sizes.
inline Tris Box(double hx, double hy, double hz)
{
    Tris b;
    for (int i = 0; i < 8; i++)
        b.v.insert(b.v.end(), {i & 1 ? hx : -hx, i & 2 ? hy : -hy, i & 4 ? hz : -hz});
    b.t = {0, 1, 3, 0, 3, 2, 4, 6, 7, 4, 7, 5, 0, 4, 5, 0, 5, 1, 2, 3, 7, 2, 7, 6, 0, 2, 6, 0, 6, 4, 1, 5, 7, 1, 7, 3};
    return b;
}

// A drawing context on Mesa's OpenGL ES 1.1 in a pbuffer (one display per
// size for the whole process: Mesa keeps blocks past its shutdown).
struct MesaContext {
    P3D* ctx = nullptr;
    int w, h;
    MesaContext(int width, int height) : w(width), h(height)
    {
        static auto& displays = *new std::vector<std::pair<long, PDisplayEGL*>>();
        long key = long(w) << 16 | h;
        PDisplayEGL* d = nullptr;
        for (auto& e : displays)
            if (e.first == key) {
                d = e.second;
                d->MakeCurrent();
            }
        if (!d) {
            d = new PDisplayEGL();
            d->m_surfaceKind = PSURFACE_PBUFFER;
            d->SetPbufferSize(w, h);
            PDisplayProperties req{};
            req.redBits = 8;
            PDisplayProperties3D r3{};
            r3.depthBits = 24;
            r3.alphaBits = 8;
            r3.version = 11;
            if (!d->Init(nullptr, 32, &req, &r3))
                return;
            displays.emplace_back(key, d);
        }
        ctx = P3D::Create(d, nullptr);
    }
    ~MesaContext() { delete ctx; }
    // 0xRRGGBB per pixel, top row first.
    std::vector<uint32_t> Read() const;
};

// A drawing context on the software renderer over memory.
struct SoftContext {
    swtest::MemoryDisplay display;
    P3D* ctx = nullptr;
    SoftContext(int w, int h) : display(w, h) { ctx = P3D::Create(&display, nullptr); }
    ~SoftContext() { delete ctx; }
    // 0xRRGGBB per pixel (565 widened), top row first.
    std::vector<uint32_t> Read();
};

// Writes a frame as PNG (for looking at it); false when it cannot.
bool SaveFrame(std::string const& path, std::vector<uint32_t> const& rgb, int w, int h);

} // namespace worldtest
