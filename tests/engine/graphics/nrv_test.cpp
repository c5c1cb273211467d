// The NRV reader against the writer of tools/lib for every format and flag,
// the Paeth rows against libpng's, and the image entry points.
#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <csetjmp>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>
#include <tuple>

#include "engine/graphics/ppalette.h"
#include "engine/graphics/psurface.h"
#include "engine/runtime/pstream.h"
#include "tools/lib/nrv_writer.h"
#include "tools/lib/plzp_writer.h"

namespace {

using Surface = std::unique_ptr<PSurface>;

std::vector<uint8_t> Encode(const NrvImage& img, int flags)
{
    std::vector<uint8_t> out;
    std::string err;
    EXPECT_TRUE(NrvEncode(img, flags, &out, &err)) << err;
    return out;
}

Surface Load(std::vector<uint8_t> file, int loadFlags = 0)
{
    PMemStream s(file.data(), long(file.size()));
    return Surface(PSurface::CreateFromNRV(s, loadFlags));
}

// Loads the file into an existing surface at (x, y); LoadNRV's result.
int LoadInto(PSurface& s, std::vector<uint8_t> file, int x, int y, int flags = 0)
{
    PMemStream m(file.data(), long(file.size()));
    return s.LoadNRV(m, x, y, flags);
}

uint16_t Px16(const PSurface& s, int x, int y)
{
    uint16_t v;
    std::memcpy(&v, s.pixels + y * s.pitch + x * 2, 2);
    return v;
}

NrvImage RandomNrv(std::mt19937& rng, int format, int w, int h, int paletteSize = 0)
{
    NrvImage img;
    img.format = format;
    img.width = w;
    img.height = h;
    img.pixels.resize(size_t(w * h * NrvBytesPerPixel(format)));
    for (size_t i = 0; i < img.pixels.size(); i++)
        img.pixels[i] = uint8_t(rng() % 4 ? i * 3 + (i >> 4) : rng());
    if (format <= 3 && paletteSize) {
        for (auto& p : img.pixels)
            p = uint8_t(p % paletteSize);
        for (int i = 0; i < paletteSize; i++)
            img.palette.push_back(rng());
    }
    img.alpha.resize(size_t(w * h));
    for (auto& a : img.alpha)
        a = uint8_t(rng());
    return img;
}

// What the engine should show for stored pixel i of a colour format, as 565.
uint16_t Expected565(const NrvImage& img, size_t i)
{
    const uint8_t* p = img.pixels.data() + i * size_t(NrvBytesPerPixel(img.format));
    unsigned v = p[0] | (NrvBytesPerPixel(img.format) > 1 ? p[1] << 8 : 0);
    switch (img.format) {
    case 4:
        return PRGB2Native(int((v >> 8) & 15) * 17, int((v >> 4) & 15) * 17, int(v & 15) * 17);
    case 5:
        return PRGB2Native(int((v >> 10) & 31) * 255 / 31, int((v >> 5) & 31) * 255 / 31, int(v & 31) * 255 / 31);
    case 6:
        return uint16_t(v);
    default:
        return PRGB2Native(p[2], p[1], p[0]);
    }
}

void CheckImage(const NrvImage& img, int flags, const PSurface& s, int loadFlags, const std::string& what)
{
    ASSERT_EQ(s.width, img.width) << what;
    ASSERT_EQ(s.height, img.height) << what;
    const int w = img.width;
    for (int y = 0; y < img.height; y++)
        for (int x = 0; x < w; x++) {
            size_t i = size_t(y * w + x);
            if (img.format <= 3) {
                ASSERT_EQ(s.format, PSURFACE_INDEX8) << what;
                ASSERT_EQ(s.pixels[y * s.pitch + x], img.pixels[i]) << what;
            } else {
                ASSERT_EQ(Px16(s, x, y), Expected565(img, i)) << what << " at " << x << "," << y;
            }
        }
    if (img.format <= 3 && !img.palette.empty()) {
        ASSERT_NE(s.palette, nullptr) << what;
        bool alphas = !(flags & kNrvFlag3Byte) && !(loadFlags & PLOAD_NOALPHA);
        EXPECT_EQ(s.palette->alphas != nullptr, alphas) << what;
        for (size_t k = 0; k < img.palette.size(); k++) {
            uint32_t c = img.palette[k];
            ASSERT_EQ(s.palette->colors[k], PRGB2Native(c)) << what;
            if (alphas) {
                ASSERT_EQ(s.palette->alphas[k], c >> 27) << what;
            }
        }
    }
    const bool wantAlpha = ((flags & kNrvFlagAlpha) || img.format == 8) && !(loadFlags & PLOAD_NOALPHA);
    ASSERT_EQ(s.alpha != nullptr, wantAlpha) << what;
    if (wantAlpha) {
        for (size_t i = 0; i < size_t(w * img.height); i++)
            ASSERT_EQ(s.alpha[i], img.format == 8 ? img.pixels[i * 4 + 3] : img.alpha[i]) << what << " alpha " << i;
    }
}

} // namespace

TEST(NrvRoundTrip, EveryFormatAndFlag)
{
    std::mt19937 rng(31);
    const int sizes[][2] = {{1, 1}, {3, 2}, {5, 7}, {16, 3}, {33, 9}};
    int cases = 0;
    for (int format = 0; format <= 8; format++)
        for (int flags = 0; flags < 256; flags++) {
            if ((flags & kNrvFlagGrey) && !(format <= 3))
                continue;
            const auto& sz = sizes[(flags + format) % 5];
            int palSize = format <= 3 && !(flags & kNrvFlagGrey) ? 1 + int(rng() % 200) : 0;
            if (format <= 3 && (flags & kNrvFlagGrey))
                palSize = 0;
            NrvImage img = RandomNrv(rng, format, sz[0], sz[1], palSize);
            if (format <= 3 && palSize == 0) {
                const int m = format == 0 ? 2 : format == 1 ? 4 : format == 2 ? 16 : 256;
                for (auto& p : img.pixels)
                    p = uint8_t(p % m);
            }
            img.key = format <= 3 ? 1 : 0x123456;
            if (flags & kNrvFlagExtra)
                img.extra = {0, 1, 2, 3, 4};
            std::vector<uint8_t> file = Encode(img, flags);
            for (int lf : {0, int(PLOAD_NOALPHA)}) {
                std::string what = "format " + std::to_string(format) + " flags " + std::to_string(flags) +
                                   " load " + std::to_string(lf);
                Surface s = Load(file, lf);
                ASSERT_NE(s, nullptr) << what;
                CheckImage(img, flags, *s, lf, what);
                if (format > 3) {
                    EXPECT_EQ(s->colorKey, (flags & kNrvFlagKey) ? 0x123456u : 0xFF00FFu) << what;
                } else if ((flags & kNrvFlagKey) && s->palette) {
                    EXPECT_EQ(s->colorKey, s->palette->Get(1)) << what;
                }
                if (format <= 3 && palSize == 0 && (flags & kNrvFlagGrey)) {
                    EXPECT_TRUE(s->flags & PSURF_GREYRAMP);
                    ASSERT_NE(s->palette, nullptr);
                }
            }
            // Every truncation fails cleanly.
            if (cases++ % 16 == 0) {
                for (size_t n = 0; n < file.size(); n += 1 + file.size() / 40)
                    EXPECT_EQ(Load(std::vector<uint8_t>(file.begin(), file.begin() + long(n))), nullptr);
            }
        }
}

TEST(NrvLoad, EdgeCases)
{
    std::mt19937 rng(5);
    // Format 2 with a grey ramp: 0, 17, ..., 255.
    NrvImage g = RandomNrv(rng, 2, 4, 2);
    for (auto& p : g.pixels)
        p &= 15;
    Surface s = Load(Encode(g, kNrvFlagGrey));
    ASSERT_NE(s, nullptr);
    for (unsigned i = 0; i < 16; i++)
        EXPECT_EQ(s->palette->colors[i], PRGB2Native(int(i * 17), int(i * 17), int(i * 17)));

    // Format 7 as 32-bit: magenta transparent, whatever the stored key.
    NrvImage t;
    t.format = 7;
    t.width = 2;
    t.height = 1;
    t.pixels = {0xFF, 0x00, 0xFF, 0x01, 0x02, 0x03};
    t.key = 0x010203;
    s = Load(Encode(t, 0), PLOAD_TRUE32);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(std::make_tuple(s->format, s->pixels[3], s->pixels[7], s->colorKey),
              std::make_tuple(PSURFACE_RGBA32, 0, 255, 0xFF00FFu));
    s = Load(Encode(t, kNrvFlagKey), PLOAD_TRUE32);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(std::make_tuple(s->colorKey, s->pixels[3], s->pixels[7]), std::make_tuple(0x010203u, 0, 255));
    s = Load(Encode(t, 0), PLOAD_TRUE24);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->format, PSURFACE_RGB24);
    EXPECT_EQ(s->pixels[3], 0x03);

    // Format 8 as RGB565: alpha plane from the pixels; a trailing alpha block
    // is skipped.
    NrvImage a = RandomNrv(rng, 8, 3, 3);
    s = Load(Encode(a, kNrvFlagAlpha | kNrvFlagPaeth));
    ASSERT_NE(s, nullptr);
    for (int i = 0; i < 9; i++)
        EXPECT_EQ(s->alpha[i], a.pixels[size_t(i) * 4 + 3]);
    s = Load(Encode(a, 0), PLOAD_TRUE32A);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->alpha, nullptr);
    EXPECT_EQ(s->pixels[3], a.pixels[3]);

    NrvImage r = RandomNrv(rng, 6, 3, 2);

    // Formats 9 to 13 and zero sizes are refused.
    for (int f = 9; f <= 14; f++) {
        std::vector<uint8_t> h = {uint8_t(f), 0, 0, 0, 2, 0, 2, 0, 0, 0, 0, 0};
        h.resize(64, 0);
        EXPECT_EQ(Load(h), nullptr) << f;
    }
    std::vector<uint8_t> zero = {7, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0};
    EXPECT_EQ(Load(zero), nullptr);
    // An extra block under Paeth must start with 0.
    std::vector<uint8_t> extra = Encode(r, kNrvFlagExtra | kNrvFlagPaeth);
    extra[16] = 1;
    EXPECT_EQ(Load(extra), nullptr);

    // Palette indices beyond a short palette read as black in RGB565.
    NrvImage p = RandomNrv(rng, 3, 4, 1, 2);
    p.pixels = {0, 1, 200, 255};
    s = Load(Encode(p, 0), PLOAD_RGB565);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(Px16(*s, 2, 0), 0);
    EXPECT_EQ(Px16(*s, 1, 0), PRGB2Native(p.palette[1]));

    // Delta-coded 4-byte palette under PLOAD_NOALPHA: same colours.
    NrvImage d = RandomNrv(rng, 3, 2, 2, 40);
    Surface with = Load(Encode(d, kNrvFlagDelta)), without = Load(Encode(d, kNrvFlagDelta), PLOAD_NOALPHA);
    ASSERT_TRUE(with && without);
    EXPECT_EQ(std::memcmp(with->palette->colors, without->palette->colors, 80), 0);
    EXPECT_EQ(without->palette->alphas, nullptr);
}

TEST(NrvLoad, IntoExistingSurfacesClipsEveryPlane)
{
    std::mt19937 rng(77);
    NrvImage img = RandomNrv(rng, 7, 6, 5);
    const int flags = kNrvFlagAlpha | kNrvFlagPaeth;
    std::vector<uint8_t> file = Encode(img, flags);
    for (bool bottomUp : {false, true}) {
        // 4 x 3 surface at (1, 1): 3 x 2 drawn; the alpha plane likewise.
        Surface t(PSurface::Create(4, 3, PSURFACE_RGB565));
        ASSERT_EQ(LoadInto(*t, file, 1, 1, bottomUp ? PLOAD_BOTTOMUP : 0), 0);
        ASSERT_NE(t->alpha, nullptr);
        for (int k = 0; k < 2; k++) {
            int dy = bottomUp ? 2 - k : 1 + k;
            for (int x = 0; x < 3; x++) {
                size_t i = size_t(k * 6 + x);
                EXPECT_EQ(Px16(*t, 1 + x, dy), Expected565(img, i));
                EXPECT_EQ(t->alpha[dy * 4 + 1 + x], img.alpha[i]) << bottomUp;
            }
            EXPECT_EQ(t->alpha[dy * 4], 0);
        }
        EXPECT_EQ(t->alpha[0], 0);
    }
    // Negative positions skip the image's first columns and rows.
    Surface t(PSurface::Create(4, 3, PSURFACE_RGB565));
    ASSERT_EQ(LoadInto(*t, file, -2, -3), 0);
    EXPECT_EQ(Px16(*t, 0, 0), Expected565(img, 3 * 6 + 2));
    EXPECT_EQ(t->alpha[4 + 3], img.alpha[4 * 6 + 5]);

    // An indexed target keeps its palette with PLOAD_KEEPPALETTE.
    NrvImage ix = RandomNrv(rng, 3, 4, 2, 16);
    Surface it(PSurface::Create(4, 2, PSURFACE_INDEX8));
    it->palette = PPalette::CreateGreyRamp(4);
    it->flags |= PSURF_OWNPALETTE;
    PPalette* mine = it->palette;
    ASSERT_EQ(LoadInto(*it, Encode(ix, 0), 0, 0, PLOAD_KEEPPALETTE), 0);
    EXPECT_EQ(it->palette, mine);
    EXPECT_EQ(it->pixels[5], ix.pixels[5]);
    // 16-bit rows into an 8-bit surface write nothing (no overrun).
    Surface small(PSurface::Create(4, 2, PSURFACE_INDEX8));
    EXPECT_EQ(LoadInto(*small, Encode(RandomNrv(rng, 6, 4, 2), kNrvFlagPaeth), 0, 0), 0);
    EXPECT_EQ(small->pixels[7], 0);
}

namespace {

struct PngOut {
    std::vector<uint8_t> bytes;
};

void PngWrite(png_structp p, png_bytep data, png_size_t n)
{
    auto* o = static_cast<PngOut*>(png_get_io_ptr(p));
    o->bytes.insert(o->bytes.end(), data, data + n);
}
void PngFlush(png_structp) {}

// libpng's image data for rows of the given colour type, every row Paeth.
bool LibpngPaeth(int colorType, int w, int h, const std::vector<uint8_t>& rows, std::vector<uint8_t>* idat)
{
    PngOut out;
    png_structp p = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(p);
    if (setjmp(png_jmpbuf(p))) {
        png_destroy_write_struct(&p, &info);
        return false;
    }
    png_set_write_fn(p, &out, PngWrite, PngFlush);
    png_set_IHDR(p, info, png_uint_32(w), png_uint_32(h), 8, colorType, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_filter(p, PNG_FILTER_TYPE_BASE, PNG_FILTER_PAETH);
    png_write_info(p, info);
    const size_t stride = rows.size() / size_t(h);
    for (int y = 0; y < h; y++)
        png_write_row(p, const_cast<png_bytep>(rows.data() + size_t(y) * stride));
    png_write_end(p, info);
    png_destroy_write_struct(&p, &info);
    // Gather and inflate the IDAT chunks.
    std::vector<uint8_t> z;
    for (size_t at = 8; at + 12 <= out.bytes.size();) {
        const uint8_t* c = &out.bytes[at];
        size_t len = size_t(c[0]) << 24 | size_t(c[1]) << 16 | size_t(c[2]) << 8 | c[3];
        if (std::memcmp(c + 4, "IDAT", 4) == 0)
            z.insert(z.end(), c + 8, c + 8 + len);
        at += 12 + len;
    }
    idat->assign((stride + 1) * size_t(h), 0);
    uLongf n = uLongf(idat->size());
    return uncompress(idat->data(), &n, z.data(), uLong(z.size())) == Z_OK && n == idat->size();
}

} // namespace

// The NRV Paeth rows equal the Paeth rows libpng writes for the same image
// (channel order aside: byte-wise Paeth keeps each channel in its place).
TEST(NrvPaeth, MatchesLibpngRows)
{
    std::mt19937 rng(99);
    struct Case {
        int nrvFormat, pngType, unit;
    } cases[] = {{8, PNG_COLOR_TYPE_RGB_ALPHA, 4}, {7, PNG_COLOR_TYPE_RGB, 3}, {3, PNG_COLOR_TYPE_GRAY, 1}};
    for (auto c : cases)
        // (libpng writes one-pixel-wide images unfiltered.)
        for (int w : {2, 7, 40}) {
            const int h = 9;
            NrvImage img = RandomNrv(rng, c.nrvFormat, w, h, c.nrvFormat == 3 ? 256 : 0);
            img.palette.clear();
            // libpng sees R, G, B(, A): swap the NRV's B and R.
            std::vector<uint8_t> rows = img.pixels;
            if (c.unit >= 3)
                for (size_t i = 0; i < rows.size(); i += size_t(c.unit))
                    std::swap(rows[i], rows[i + 2]);
            std::vector<uint8_t> ref;
            ASSERT_TRUE(LibpngPaeth(c.pngType, w, h, rows, &ref));
            std::vector<uint8_t> nrv = Encode(img, kNrvFlagPaeth | kNrvFlagUnpadded);
            const size_t rb = size_t(w * c.unit);
            ASSERT_EQ(nrv.size(), 12 + rb * size_t(h));
            for (int y = 0; y < h; y++) {
                const uint8_t* lp = &ref[size_t(y) * (rb + 1)];
                ASSERT_EQ(lp[0], 4) << "libpng chose another filter";
                std::vector<uint8_t> mine(nrv.begin() + long(12 + size_t(y) * rb),
                                          nrv.begin() + long(12 + size_t(y + 1) * rb));
                if (c.unit >= 3)
                    for (size_t i = 0; i < mine.size(); i += size_t(c.unit))
                        std::swap(mine[i], mine[i + 2]);
                ASSERT_EQ(std::memcmp(mine.data(), lp + 1, rb), 0) << "format " << c.nrvFormat << " row " << y;
            }
        }
}

TEST(ImageEntry, DetectionAndFiles)
{
    std::vector<uint8_t> five = {137, 'P', 'N', 'G', 13};
    {
        PMemStream m(five.data(), 5);
        EXPECT_EQ(PSurface::DetectFormat(m), PIMAGE_DETECT);
    }
    {
        PMemStream m(five.data(), 5);
        EXPECT_EQ(PSurface::CreateFromImage(m, 0, PIMAGE_DETECT), nullptr);
    }
    std::mt19937 rng(3);
    NrvImage img = RandomNrv(rng, 7, 5, 4);
    std::vector<uint8_t> nrv = Encode(img, kNrvFlagPaeth);
    {
        PMemStream m(nrv.data(), long(nrv.size()));
        EXPECT_EQ(PSurface::DetectFormat(m), PIMAGE_NRV);
        EXPECT_EQ(m.Position(), 0u);
        Surface s(PSurface::CreateFromImage(m, 0, PIMAGE_DETECT));
        ASSERT_NE(s, nullptr);
        CheckImage(img, kNrvFlagPaeth, *s, 0, "detected");
    }
    {
        Surface t(PSurface::Create(5, 4, PSURFACE_RGB565));
        PMemStream m(nrv.data(), long(nrv.size()));
        EXPECT_EQ(t->Load(m, 0, 0, PIMAGE_DETECT), 0);
        EXPECT_EQ(Px16(*t, 4, 3), Expected565(img, 19));
        PMemStream m2(nrv.data(), long(nrv.size()));
        EXPECT_EQ(t->Load(m2, 0, 0, PImageFormat(7)), -1);
    }
    // Files, plain and PLZP-compressed, under the writable directory.
    char dir[] = "/tmp/krv_nrvXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    setenv("VORNAPP_SAVEPATH", (std::string(dir) + "/").c_str(), 1);
    std::string err;
    ASSERT_TRUE(NrvWriteFile(std::string(dir) + "/plain.nrv", img, kNrvFlagPaeth, false, &err)) << err;
    ASSERT_TRUE(NrvWriteFile(std::string(dir) + "/packed.nrv", img, kNrvFlagPaeth, true, &err)) << err;
    for (const char* name : {"plain.nrv", "packed.nrv"}) {
        Surface s(PSurface::CreateFromFile(name, 0, PIMAGE_DETECT));
        ASSERT_NE(s, nullptr) << name;
        CheckImage(img, kNrvFlagPaeth, *s, 0, name);
        Surface t(PSurface::Create(5, 4, PSURFACE_RGB565));
        EXPECT_EQ(t->Load(name, 0, 0, PIMAGE_NRV), 0) << name;
    }
    EXPECT_EQ(PSurface::CreateFromFile("missing.nrv", 0, PIMAGE_DETECT), nullptr);
    std::system((std::string("rm -rf ") + dir).c_str());
    unsetenv("VORNAPP_SAVEPATH");
}
