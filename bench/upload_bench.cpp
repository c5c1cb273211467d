// Picture uploads on Mesa's OpenGL ES 1.1 with the demo archive: the largest
// interface pictures (the four full-screen ones of 1024 x 600, the campaign
// map and the seven help pages) made into textured images as a page that
// opens makes them (PSurface3D::Create: a zeroed staging tile, the texel
// conversion with the edge texels, the colour of the transparent texels and
// glTexImage2D, then the textures deleted again). Beside it, in the same
// run, the reference: the same upload without the transparent texels'
// colour, which the full upload is to stay within 1.5 times of; and that
// colouring alone (P3D::FillClearTexels) on the staged tiles. Argument 0 is
// the bay picture alone, 1 all twelve. The pictures are decoded once, before
// the clock runs.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "bench/mesa_display.h"
#include "engine/graphics/p3d.h"
#include "engine/graphics/p3dgl.h"
#include "engine/graphics/psurface.h"
#include "engine/graphics/psurface3d.h"
#include "engine/runtime/palloc.h"
#include "engine/runtime/pglobals.h"
#include "engine/runtime/pvfs.h"
#include "engine/runtime/pzstream.h"

using namespace p3dgl;

namespace {

constexpr int kW = 1024, kH = 600;
const char* const kPictures[] = {"bombbay",  "warroom", "titlebackground", "endscreen", "norva",  "help_0",
                                 "help_1",   "help_2",  "help_3",          "help_4",    "help_5", "help_6"};

using MesaDisplay = benchegl::MesaDisplay<kW, kH>;

// The context and the decoded pictures, made once.
struct Pictures {
    MesaDisplay display;
    std::unique_ptr<P3D> ctx;
    PVFS vfs;
    PGlobals globals{};
    std::vector<std::unique_ptr<PSurface>> images;
    bool ok = false;

    Pictures()
    {
        if (!display.Ok() || !vfs.OpenVFS(KRV_DEMO_ARCHIVE))
            return;
        ctx.reset(P3D::Create(&display, nullptr));
        if (!ctx)
            return;
        globals.archive = &vfs;
        PSetTls(&globals);
        for (const char* name : kPictures) {
            std::string path = std::string("data\\2dgfx\\") + name + ".png";
            std::unique_ptr<PStream> s(PZStream::Open(path.c_str(), 1));
            if (!s || !s->IsOpen())
                return;
            images.emplace_back(PSurface::CreateFromImage(*s, PS3D_DROPIMAGE, PIMAGE_DETECT));
            if (!images.back() || images.back()->format != PSURFACE_RGB565)
                return;
        }
        ok = true;
    }
};

Pictures& ThePictures()
{
    static Pictures* p = new Pictures();
    return *p;
}

size_t Count(const benchmark::State& state) { return state.range(0) ? std::size(kPictures) : 1; }

int64_t Texels(const Pictures& p, size_t n)
{
    int64_t t = 0;
    for (size_t i = 0; i < n; ++i)
        t += int64_t(p.images[i]->width) * p.images[i]->height;
    return t;
}

uint32_t PowerOfTwo(uint32_t v)
{
    uint32_t p = 1;
    while (p < v)
        p <<= 1;
    return p;
}

// The tile size of PSurface3D: the GL maximum, at least 256.
uint32_t TileSize(P3D* ctx)
{
    int32_t maxSize = 0;
    ctx->glGetIntegerv(kMaxTextureSize, &maxSize);
    return std::max<uint32_t>(256, uint32_t(maxSize));
}

// The staging of one tile as PSurface3D::Create does it for a 565 picture
// (4-4-4-4 with an alpha plane, else 5-5-5-1 with the colour key), the
// transparent texels' colour only when fill is set; each tile uploaded with
// the parameters of Create. The textures are deleted at the end; false when
// there was no texture name or no memory.
bool Upload(P3D* ctx, const PSurface* img, bool fill)
{
    uint32_t tile = TileSize(ctx);
    uint32_t w = uint32_t(img->width), h = uint32_t(img->height);
    uint32_t TW = std::min(PowerOfTwo(w), tile), TH = std::min(PowerOfTwo(h), tile);
    uint32_t across = (w + tile - 1) / tile, down = (h + tile - 1) / tile;
    uint32_t T = img->alpha ? kUnsignedShort4444 : kUnsignedShort5551, F = kRGBA;
    uint32_t names[PSurface3D::kMaxTiles] = {};
    ctx->glGenTextures(int32_t(across * down), names);
    void* buffer = PAllocZ(int(2 * TW * TH));
    if (!buffer || !names[0]) {
        PFree(buffer);
        ctx->glDeleteTextures(int32_t(across * down), names);
        return false;
    }
    int n = 0;
    for (uint32_t ty = 0; ty < down; ++ty)
        for (uint32_t tx = 0; tx < across; ++tx, ++n) {
            int x = int(tx * tile), y = int(ty * tile);
            PRect R{x, y, int(std::min(tile, w - x)), int(std::min(tile, h - y))};
            P3D::CopyTexData(buffer, 0, 0, TW, int(T), img, &R, 0, int(F));
            ctx->glBindTexture(kTexture2D, names[n]);
            ctx->glTexParameterx(kTexture2D, kTexMinFilter, int32_t(kLinear));
            ctx->glTexParameterx(kTexture2D, kTexMagFilter, int32_t(kLinear));
            ctx->glTexParameterx(kTexture2D, kTexWrapS, int32_t(kClampToEdge));
            ctx->glTexParameterx(kTexture2D, kTexWrapT, int32_t(kClampToEdge));
            if (w < TW) {
                PRect c{x + R.width - 1, y, 1, R.height};
                P3D::CopyTexData(buffer, w, 0, TW, int(T), img, &c, 0, int(F));
                if (w < TW - 1) {
                    PRect c0{0, y, 1, R.height};
                    P3D::CopyTexData(buffer, TW - 1, 0, TW, int(T), img, &c0, 0, int(F));
                }
            }
            if (h < TH) {
                PRect r{x, y + R.height - 1, R.width, 1};
                P3D::CopyTexData(buffer, 0, h, TW, int(T), img, &r, 0, int(F));
                if (h < TH - 1) {
                    PRect r0{x, 0, R.width, 1};
                    P3D::CopyTexData(buffer, 0, TH - 1, TW, int(T), img, &r0, 0, int(F));
                }
            }
            if (fill)
                P3D::FillClearTexels(buffer, TW, TH, int(T), int(F), 0);
            ctx->glTexImage2D(kTexture2D, 0, int32_t(F), int32_t(TW), int32_t(TH), 0, F, T, buffer);
        }
    PFree(buffer);
    ctx->glDeleteTextures(int32_t(across * down), names);
    return true;
}

template <class Body> void Run(benchmark::State& state, Body body)
{
    Pictures& p = ThePictures();
    if (!p.ok) {
        state.SkipWithError("no Mesa context or no demo archive");
        return;
    }
    size_t n = Count(state);
    for (auto _ : state) {
        for (size_t i = 0; i < n; ++i)
            if (!body(p, *p.images[i])) {
                state.SkipWithError("an upload failed");
                return;
            }
        p.ctx->GetBackend()->glFinish();
    }
    state.counters["texels"] = double(Texels(p, n));
}

// The upload as the game makes it.
void BM_Upload(benchmark::State& state)
{
    Run(state, [](Pictures& p, PSurface& img) {
        PSurface3D* s = PSurface3D::Create(p.ctx.get(), &img, PS3D_DROPIMAGE);
        delete s;
        return s != nullptr;
    });
}
BENCHMARK(BM_Upload)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The reference: the same upload without the transparent texels' colour.
void BM_UploadWithoutFill(benchmark::State& state)
{
    Run(state, [](Pictures& p, PSurface& img) { return Upload(p.ctx.get(), &img, false); });
}
BENCHMARK(BM_UploadWithoutFill)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The colour of the transparent texels alone, on tiles staged before the
// clock runs (each staged tile is coloured again: the same work, since
// visible texels never change). Each picture is one tile on Mesa.
void BM_FillClearTexels(benchmark::State& state)
{
    Pictures& p = ThePictures();
    if (!p.ok) {
        state.SkipWithError("no Mesa context or no demo archive");
        return;
    }
    struct Staged {
        std::vector<uint8_t> texels;
        uint32_t w, h, type;
    };
    std::vector<Staged> staged;
    size_t n = Count(state);
    for (size_t i = 0; i < n; ++i) {
        const PSurface& img = *p.images[i];
        uint32_t tile = TileSize(p.ctx.get());
        if (uint32_t(img.width) > tile || uint32_t(img.height) > tile) {
            state.SkipWithError("a picture of more than one tile");
            return;
        }
        uint32_t TW = PowerOfTwo(uint32_t(img.width)), TH = PowerOfTwo(uint32_t(img.height));
        uint32_t T = img.alpha ? kUnsignedShort4444 : kUnsignedShort5551;
        Staged s{std::vector<uint8_t>(size_t(2) * TW * TH), TW, TH, T};
        P3D::CopyTexData(s.texels.data(), 0, 0, TW, int(T), &img, nullptr, 0, int(kRGBA));
        staged.push_back(std::move(s));
    }
    for (auto _ : state)
        for (Staged& s : staged)
            P3D::FillClearTexels(s.texels.data(), s.w, s.h, int(s.type), int(kRGBA), 0);
    state.counters["texels"] = double(Texels(p, n));
}
BENCHMARK(BM_FillClearTexels)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace
