// Drawing: loading 100 textures and 50 meshes from an archive (time, and the
// archive bytes per second beside reading the same entries raw), and the CPU
// cost of P3D::FillRect and PSurface3D::Blit over a back end that draws
// nothing.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "bench/null_backend.h"
#include "engine/graphics/pblit.h"
#include "engine/graphics/pmesh.h"
#include "engine/graphics/psurface.h"
#include "engine/graphics/psurface3d.h"
#include "engine/graphics/ptexturemanager.h"
#include "engine/runtime/pfile.h"
#include "engine/runtime/pglobals.h"
#include "engine/runtime/pvfs.h"
#include "tools/lib/nrv_writer.h"
#include "tools/lib/pof_writer.h"
#include "tools/lib/vfs_writer.h"

namespace {

constexpr int kTextures = 100, kMeshes = 50;

// A mesh names its textures by file name only; the archive holds them under
// data\textures.
std::string TextureFile(int i)
{
    std::string s = "t";
    s += std::to_string(i);
    s += ".nrv";
    return s;
}
std::string TextureName(int i) { return "data\\textures\\" + TextureFile(i); }
std::string MeshName(int i) { return "data\\objects\\m" + std::to_string(i) + ".pof"; }

// An archive in memory with 100 textures of 128 x 128 (NRV, 565) and 50
// meshes of 32 x 32 quads, each mesh using two of the textures.
struct Archive {
    std::vector<uint8_t> bytes;
    std::unique_ptr<PVFS> vfs;
    PGlobals globals{};
    size_t payload = 0;

    Archive()
    {
        VfsBuilder b(false);
        std::string err;
        for (int i = 0; i < kTextures; ++i) {
            NrvImage img;
            img.format = 6;
            img.width = img.height = 128;
            for (int p = 0; p < 128 * 128; ++p) {
                uint16_t c = uint16_t(p * 7 + i * 131);
                img.pixels.push_back(uint8_t(c));
                img.pixels.push_back(uint8_t(c >> 8));
            }
            std::vector<uint8_t> f;
            NrvEncode(img, 0, &f, &err);
            payload += f.size();
            b.Add(TextureName(i), f, false, &err);
        }
        for (int i = 0; i < kMeshes; ++i) {
            PofMesh m;
            constexpr int G = 33;
            for (int y = 0; y < G; ++y)
                for (int x = 0; x < G; ++x) {
                    m.positions.insert(m.positions.end(), {x << 16, y << 16, ((x * y + i) % 5) << 14});
                    m.texcoords.insert(m.texcoords.end(), {(x << 16) / 32, (y << 16) / 32});
                }
            PofList a, c;
            a.material = 1;
            c.material = 2;
            for (int y = 0; y + 1 < G; ++y)
                for (int x = 0; x + 1 < G; ++x) {
                    uint32_t v = uint32_t(y * G + x);
                    auto& l = (x + y) % 2 ? a : c;
                    l.indices.insert(l.indices.end(), {v, v + 1, v + G, v + 1, v + G + 1, v + G});
                }
            m.lists = {a, c};
            PofMaterial m1, m2;
            m1.texture = 1;
            m2.texture = 2;
            m.materials = {m1, m2};
            m.textures = {TextureFile((2 * i) % kTextures), TextureFile((2 * i + 1) % kTextures)};
            auto f = WritePof(m);
            payload += f.size();
            b.Add(MeshName(i), f, false, &err);
        }
        b.Build(&bytes, &err);
        vfs.reset(new PVFS(new PMemStream(bytes.data(), long(bytes.size())), 1, 1));
        globals.archive = vfs.get();
        PSetTls(&globals);
    }
};

Archive& TheArchive()
{
    static Archive a;
    return a;
}

struct Context {
    nullgl::NullDisplay display{1024, 600};
    P3D* ctx = nullgl::CreateContext(&display);
    ~Context() { delete ctx; }
};

void BM_LoadTexturesAndMeshes(benchmark::State& state)
{
    Archive& a = TheArchive();
    Context c;
    for (auto _ : state) {
        PTextureManager tm(nullptr, c.ctx);
        std::vector<int> handles;
        for (int i = 0; i < kTextures; ++i)
            handles.push_back(tm.AddTexture(TextureName(i).c_str(), 0x4C80, 0));
        std::vector<std::unique_ptr<PMesh>> meshes;
        for (int i = 0; i < kMeshes; ++i)
            meshes.emplace_back(PMesh::CreateFromFile(MeshName(i).c_str(), &tm, "data\\textures"));
        if (handles.back() == 0 || !meshes.back())
            state.SkipWithError("loading failed");
        meshes.clear();
        for (int h : handles)
            tm.FreeTexture(h);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(a.payload));
}
BENCHMARK(BM_LoadTexturesAndMeshes)->Unit(benchmark::kMillisecond);

// The same entries read raw through the same file layer.
void BM_ReadEntriesRaw(benchmark::State& state)
{
    Archive& a = TheArchive();
    std::vector<uint8_t> buf(1 << 16);
    for (auto _ : state) {
        for (int i = 0; i < kTextures + kMeshes; ++i) {
            std::string n = i < kTextures ? TextureName(i) : MeshName(i - kTextures);
            PFile f(n.c_str(), PFile::kRead);
            while (f.Read(buf.data(), int(buf.size())) > 0) {
            }
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(a.payload));
}
BENCHMARK(BM_ReadEntriesRaw)->Unit(benchmark::kMillisecond);

void BM_FillRect(benchmark::State& state)
{
    Context c;
    int i = 0;
    for (auto _ : state) {
        c.ctx->FillRect(i & 511, i & 255, 40, 30, 0x80FF8040, P3DBLEND_ALPHA);
        ++i;
    }
}
BENCHMARK(BM_FillRect);

void BM_Surface3DBlit(benchmark::State& state)
{
    Context c;
    std::unique_ptr<PSurface> img(PSurface::Create(int(state.range(0)), int(state.range(0)), PSURFACE_RGB565));
    std::unique_ptr<PSurface3D> s(PSurface3D::Create(c.ctx, img.get(), 0));
    int i = 0;
    for (auto _ : state) {
        s->Blit(i & 511, i & 255, nullptr, 0);
        ++i;
    }
}
BENCHMARK(BM_Surface3DBlit)->Arg(64)->Arg(512);

void BM_Surface3DBlitFx(benchmark::State& state)
{
    Context c;
    std::unique_ptr<PSurface> img(PSurface::Create(64, 64, PSURFACE_RGB565));
    std::unique_ptr<PSurface3D> s(PSurface3D::Create(c.ctx, img.get(), 0));
    PBlitFX fx;
    fx.alpha = 128;
    fx.angle = 0x1000;
    fx.scaleX = fx.scaleY = 0x18000;
    for (auto _ : state)
        s->BlitFx(300, 200, nullptr, 0x08 | 0x20 | 0x40, fx);
}
BENCHMARK(BM_Surface3DBlitFx);

} // namespace
