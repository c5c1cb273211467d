// Image decoding and row conversion speed: the engine's PNG loader against
// libpng on a 1024 x 1024 RGBA image, and ConvertLine per format pair
// against memcpy.
#include <benchmark/benchmark.h>
#include <png.h>

#include <cstring>
#include <random>
#include <vector>

#include "engine/graphics/ppalette.h"
#include "engine/graphics/psurface.h"
#include "engine/runtime/pstream.h"

namespace {

constexpr int kSide = 1024;

// A photo-like RGBA image (gradients, noise, an alpha ramp) as a PNG written
// by libpng with its default filter choice and compression.
const std::vector<uint8_t>& TestPng()
{
    static std::vector<uint8_t> png = [] {
        std::vector<uint8_t> rgba(size_t(kSide) * kSide * 4);
        std::mt19937 rng(1);
        for (int y = 0; y < kSide; y++)
            for (int x = 0; x < kSide; x++) {
                uint8_t* p = &rgba[(size_t(y) * kSide + x) * 4];
                int n = int(rng() % 9) - 4;
                p[0] = uint8_t(x / 4 + n);
                p[1] = uint8_t(y / 4 - n);
                p[2] = uint8_t((x + y) / 8 + n);
                p[3] = uint8_t(x < 64 ? x * 4 : 255);
            }
        png_image img;
        std::memset(&img, 0, sizeof img);
        img.version = PNG_IMAGE_VERSION;
        img.width = kSide;
        img.height = kSide;
        img.format = PNG_FORMAT_RGBA;
        png_alloc_size_t size = 0;
        png_image_write_to_memory(&img, nullptr, &size, 0, rgba.data(), 0, nullptr);
        std::vector<uint8_t> out(size);
        png_image_write_to_memory(&img, out.data(), &size, 0, rgba.data(), 0, nullptr);
        out.resize(size);
        return out;
    }();
    return png;
}

void PngEngine(benchmark::State& state)
{
    std::vector<uint8_t> file = TestPng();
    const int flags = int(state.range(0));
    for (auto _ : state) {
        PMemStream s(file.data(), long(file.size()));
        PSurface* surf = PSurface::CreateFromPNG(s, flags);
        if (!surf) {
            state.SkipWithError("decode failed");
            break;
        }
        benchmark::DoNotOptimize(surf->pixels);
        delete surf;
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kSide * kSide * 4);
}
// 0: RGB565 with an alpha plane (the engine's default); 0x2000: 32-bit RGBA.
BENCHMARK(PngEngine)->Arg(0)->Arg(0x2000)->Unit(benchmark::kMillisecond);

void PngLibpng(benchmark::State& state)
{
    const std::vector<uint8_t>& file = TestPng();
    std::vector<uint8_t> out(size_t(kSide) * kSide * 4);
    for (auto _ : state) {
        png_image img;
        std::memset(&img, 0, sizeof img);
        img.version = PNG_IMAGE_VERSION;
        png_image_begin_read_from_memory(&img, file.data(), file.size());
        img.format = PNG_FORMAT_RGBA;
        if (!png_image_finish_read(&img, nullptr, out.data(), 0, nullptr)) {
            state.SkipWithError("libpng failed");
            break;
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kSide * kSide * 4);
}
BENCHMARK(PngLibpng)->Unit(benchmark::kMillisecond);

constexpr int kRow = 4096;

void ConvertLine(benchmark::State& state)
{
    const auto src = PGraphicsFormat(state.range(0));
    const auto dst = PSurfaceFormat(state.range(1));
    std::vector<uint8_t> in(kRow * 4), out(kRow * 4 + 16);
    for (size_t i = 0; i < in.size(); i++)
        in[i] = uint8_t(i * 37);
    PPalette* pal = PPalette::CreateGreyRamp(256);
    for (auto _ : state) {
        PSurface::ConvertLine(out.data(), dst, in.data(), src, pal, kRow, 0xFF00FF);
        benchmark::DoNotOptimize(out.data());
    }
    delete pal;
    state.SetItemsProcessed(int64_t(state.iterations()) * kRow);
    state.SetLabel("Mpixel/s = items_per_second / 1e6");
}
BENCHMARK(ConvertLine)
    ->ArgNames({"src", "dst"})
    ->Args({PGF_INDEX8, PSURFACE_INDEX8})
    ->Args({PGF_INDEX8, PSURFACE_RGB565})
    ->Args({PGF_INDEX4_MSB, PSURFACE_RGB565})
    ->Args({PGF_INDEX1_MSB, PSURFACE_INDEX8})
    ->Args({PGF_RGB444, PSURFACE_RGB565})
    ->Args({PGF_RGB555, PSURFACE_RGB565})
    ->Args({PGF_RGB565, PSURFACE_RGB565})
    ->Args({PGF_BGR24, PSURFACE_RGB565})
    ->Args({PGF_RGB24, PSURFACE_RGB565})
    ->Args({PGF_RGBA32, PSURFACE_RGB565})
    ->Args({PGF_BGRA32, PSURFACE_RGB565})
    ->Args({PGF_RGB24, PSURFACE_RGBA32})
    ->Args({PGF_RGBA32, PSURFACE_RGBA32})
    ->Args({PGF_BGRA32, PSURFACE_RGB24});

// The floor: copying a row of 16-bit pixels.
void MemcpyRow565(benchmark::State& state)
{
    std::vector<uint8_t> in(kRow * 2, 1), out(kRow * 2);
    for (auto _ : state) {
        std::memcpy(out.data(), in.data(), in.size());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kRow);
}
BENCHMARK(MemcpyRow565);

} // namespace
