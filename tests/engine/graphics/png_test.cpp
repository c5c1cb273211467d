// The PNG loader against libpng on a generated conformance set, its load
// flags, transparency rules and refusal of malformed files.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>
#include <tuple>

#include "engine/graphics/ppalette.h"
#include "engine/graphics/psurface.h"
#include "engine/runtime/pstream.h"
#include "tests/engine/graphics/png_gen.h"
#include "tests/host/png_read.h"
#include "tests/largest_allocation.h"

namespace {

using Surface = std::unique_ptr<PSurface>;

Surface Decode(std::vector<uint8_t> file, int flags = 0)
{
    PMemStream s(file.data(), long(file.size()));
    return Surface(PSurface::CreateFromPNG(s, flags));
}

// Loads the file into an existing surface at (x, y); LoadPNG's result.
int LoadInto(PSurface& s, std::vector<uint8_t> file, int x, int y)
{
    PMemStream m(file.data(), long(file.size()));
    return s.LoadPNG(m, x, y, 0);
}

uint16_t Px16(const PSurface& s, int x, int y)
{
    uint16_t v;
    std::memcpy(&v, s.pixels + y * s.pitch + x * 2, 2);
    return v;
}

// Sample x of row y of the generator's unfiltered rows.
unsigned Sample(const PngSpec& s, int x, int y)
{
    const uint8_t* row = s.rows.data() + size_t(y) * s.RowBytes();
    int bit = x * s.depth;
    return unsigned(row[bit >> 3] >> (8 - s.depth - (bit & 7))) & ((1u << s.depth) - 1);
}

PngSpec RandomImage(std::mt19937& rng, int type, int depth, int w, int h)
{
    PngSpec s;
    s.colorType = type;
    s.depth = depth;
    s.width = w;
    s.height = h;
    s.rows.resize(s.RowBytes() * size_t(h));
    // Smooth-ish content so every filter has work to do.
    for (size_t i = 0; i < s.rows.size(); i++)
        s.rows[i] = uint8_t(rng() % 3 == 0 ? rng() : i * 7);
    if (type == 3) {
        int n = rng() % 2 ? (1 << depth) : int(rng() % (1u << depth)) + 1;
        for (int i = 0; i < 3 * n; i++)
            s.plte.push_back(uint8_t(rng()));
    }
    return s;
}

bool HasPngcheck()
{
    return std::system("pngcheck -h >/dev/null 2>&1") == 0 || std::system("command -v pngcheck >/dev/null") == 0;
}

} // namespace

// Every colour type and depth, every filter, sizes 1 to 40, zlib levels 0-9,
// split and empty IDATs, tRNS and bKGD variants: the engine's RGB565 output
// equals libpng's decode packed to RGB565, indices equal the stored samples
// and alphas equal libpng's.
TEST(PngConformance, MatchesLibpng)
{
    std::mt19937 rng(2024);
    const int kinds[][2] = {{0, 1}, {0, 2}, {0, 4}, {0, 8}, {2, 8}, {3, 1}, {3, 2}, {3, 4}, {3, 8}, {6, 8}};
    const int sizes[] = {1, 2, 3, 5, 7, 8, 9, 13, 16, 31, 33, 40};
    char dir[] = "/tmp/krv_pngconfXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    int count = 0;
    for (auto& k : kinds) {
        for (int filter = 0; filter <= 5; filter++) {
            for (int si = 0; si < 12; si++) {
                const int w = sizes[si], h = sizes[(si * 5 + filter) % 12];
                PngSpec s = RandomImage(rng, k[0], k[1], w, h);
                s.filter = filter;
                s.level = count % 10;
                int variant = count % 7;
                if (variant == 1)
                    s.idatSize = 1;
                if (variant == 2) {
                    s.idatSize = 7;
                    s.emptyIdats = true;
                }
                const int maxv = (1 << s.depth) - 1;
                if (variant == 3 || variant == 4) { // tRNS
                    s.hasTrns = true;
                    if (s.colorType == 3)
                        for (size_t i = 0; i < s.plte.size() / 3 && i < size_t(1 + variant * 3); i++)
                            s.trns.push_back(uint8_t(i == 1 ? 0 : rng()));
                    else if (s.colorType == 0)
                        s.trns = {0, uint8_t(Sample(s, 0, 0) & maxv)};
                    else if (s.colorType == 2)
                        s.trns = {0, s.rows[0], 0, s.rows[1], 0, s.rows[2]};
                    else
                        s.hasTrns = false;
                }
                if (variant == 5 || variant == 4) { // bKGD
                    s.hasBkgd = true;
                    s.bkgdFirst = variant == 5;
                    if (s.colorType == 3)
                        s.bkgd = {uint8_t(rng() % (s.plte.size() / 3))};
                    else if (s.colorType == 0)
                        s.bkgd = {0, uint8_t(rng() & maxv)};
                    else
                        s.bkgd = {0, 1, 0, 2, 0, 3};
                }
                if (variant == 6)
                    s.extra = {{"tEXt", {'a', 0, 'b'}}, {"pHYs", std::vector<uint8_t>(9, 1)}};
                std::vector<uint8_t> file = MakePng(s);
                char name[64];
                std::snprintf(name, sizeof name, "/%04d.png", count);
                FILE* f = std::fopen((std::string(dir) + name).c_str(), "wb");
                ASSERT_NE(f, nullptr);
                std::fwrite(file.data(), 1, file.size(), f);
                std::fclose(f);
                count++;

                TestImage ref;
                ASSERT_TRUE(DecodeTestPng(file, &ref, 4)) << name;
                Surface s565 = Decode(file, PLOAD_RGB565);
                ASSERT_NE(s565, nullptr) << name;
                ASSERT_EQ(s565->format, PSURFACE_RGB565);
                ASSERT_EQ(s565->width, w);
                for (int y = 0; y < h; y++)
                    for (int x = 0; x < w; x++) {
                        const uint8_t* p = &ref.pixels[size_t(y * w + x) * 4];
                        ASSERT_EQ(Px16(*s565, x, y), PRGB2Native(p[0], p[1], p[2]))
                            << name << " at " << x << "," << y;
                    }
                Surface def = Decode(file);
                ASSERT_NE(def, nullptr) << name;
                if (s.colorType == 0 || s.colorType == 3) {
                    ASSERT_EQ(def->format, PSURFACE_INDEX8);
                    ASSERT_NE(def->palette, nullptr);
                    for (int y = 0; y < h; y++)
                        for (int x = 0; x < w; x++) {
                            unsigned i = Sample(s, x, y);
                            ASSERT_EQ(def->pixels[y * def->pitch + x], i) << name;
                            const uint8_t* p = &ref.pixels[size_t(y * w + x) * 4];
                            if (s.colorType == 3 && def->palette->alphas) {
                                ASSERT_EQ(def->palette->alphas[i], p[3] >> 3) << name;
                            }
                        }
                } else if (s.colorType == 6) {
                    ASSERT_NE(def->alpha, nullptr);
                    for (int i = 0; i < w * h; i++)
                        ASSERT_EQ(def->alpha[i], ref.pixels[size_t(i) * 4 + 3]) << name;
                }
                // The colour key follows tRNS, then bKGD, then the first
                // transparent pixel.
                if (s.hasTrns && s.colorType == 0) {
                    unsigned g = (s.trns[1] & maxv) * 255 / maxv;
                    EXPECT_EQ(def->colorKey, g * 0x010101u) << name;
                } else if (s.hasTrns && s.colorType == 2) {
                    EXPECT_EQ(def->colorKey, unsigned(s.rows[0] << 16 | s.rows[1] << 8 | s.rows[2])) << name;
                } else if (s.hasBkgd && s.colorType == 2) {
                    EXPECT_EQ(def->colorKey, 0x010203u) << name;
                }
            }
        }
    }
    if (HasPngcheck()) {
        std::string cmd = std::string("pngcheck -q ") + dir + "/*.png > /dev/null";
        EXPECT_EQ(std::system(cmd.c_str()), 0) << "pngcheck rejects a generated file in " << dir;
    }
    std::system((std::string("rm -rf ") + dir).c_str());
    EXPECT_EQ(count, 10 * 6 * 12);
}

TEST(PngLoad, TrueColourTargets)
{
    std::mt19937 rng(7);
    PngSpec s = RandomImage(rng, 6, 8, 4, 3);
    s.rows[3] = 0; // pixel 0 transparent
    s.rows[7] = 0; // pixel 1 too
    std::vector<uint8_t> f = MakePng(s);

    Surface d = Decode(f);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->format, PSURFACE_RGB565);
    ASSERT_NE(d->alpha, nullptr);
    EXPECT_TRUE(d->flags & PSURF_OWNALPHA);
    EXPECT_EQ(d->colorKey, unsigned(s.rows[0] << 16 | s.rows[1] << 8 | s.rows[2]));

    d = Decode(f, PLOAD_TRUE32A);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->format, PSURFACE_RGBA32);
    EXPECT_EQ(d->alpha, nullptr);
    EXPECT_EQ(std::memcmp(d->pixels, s.rows.data(), 16), 0);
    d = Decode(f, PLOAD_TRUE32A | PLOAD_NOALPHA);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(std::make_tuple(d->format, d->alpha, d->pixels[3]), std::make_tuple(PSURFACE_RGB24, nullptr, s.rows[4]));
    d = Decode(f, PLOAD_TRUE24);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->alpha, nullptr); // no alpha plane beside 24-bit pixels
    d = Decode(f, PLOAD_DRAWABLE | PLOAD_TRUE32 | PLOAD_USERFLAG);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->format, PSURFACE_RGB565);
    EXPECT_EQ(d->flags & (PSURF_DRAWABLE | PSURF_USERFLAG), PSURF_DRAWABLE | PSURF_USERFLAG);

    // Bottom-up: the first image row is the last surface row, alpha too.
    Surface top = Decode(f), bottom = Decode(f, PLOAD_BOTTOMUP);
    ASSERT_TRUE(top && bottom);
    EXPECT_TRUE(bottom->flags & PSURF_BOTTOMUP);
    for (int y = 0; y < 3; y++) {
        EXPECT_EQ(std::memcmp(top->pixels + y * top->pitch, bottom->pixels + (2 - y) * bottom->pitch, 8), 0);
        EXPECT_EQ(std::memcmp(top->alpha + y * 4, bottom->alpha + (2 - y) * 4, 4), 0);
    }
}

TEST(PngLoad, IntoExistingSurfaces)
{
    std::mt19937 rng(9);
    PngSpec s = RandomImage(rng, 2, 8, 6, 5);
    std::vector<uint8_t> f = MakePng(s);
    Surface whole = Decode(f);
    ASSERT_NE(whole, nullptr);

    // Placed at (2, 1) in an 8 x 4 surface: clipped to 6 x 3.
    Surface t(PSurface::Create(8, 4, PSURFACE_RGB565));
    EXPECT_EQ(LoadInto(*t, f, 2, 1), 0);
    EXPECT_EQ(Px16(*t, 0, 0), 0);
    EXPECT_EQ(Px16(*t, 2, 1), Px16(*whole, 0, 0));
    EXPECT_EQ(Px16(*t, 7, 3), Px16(*whole, 5, 2));
    // A negative position skips the image's first columns and rows.
    EXPECT_EQ(LoadInto(*t, f, -3, -2), 0);
    EXPECT_EQ(Px16(*t, 0, 0), Px16(*whole, 3, 2));
    EXPECT_EQ(Px16(*t, 2, 2), Px16(*whole, 5, 4));

    // An RGB image into an 8-bit surface writes nothing and does not overrun.
    Surface idx(PSurface::Create(6, 5, PSURFACE_INDEX8));
    EXPECT_EQ(LoadInto(*idx, f, 0, 0), 0);
    for (int i = 0; i < 5 * idx->pitch; i++)
        ASSERT_EQ(idx->pixels[i], 0);

    // A packed 2-bit image at an odd negative x.
    PngSpec p = RandomImage(rng, 3, 2, 9, 2);
    std::vector<uint8_t> pf = MakePng(p);
    Surface pi(PSurface::Create(9, 2, PSURFACE_INDEX8));
    EXPECT_EQ(LoadInto(*pi, pf, -3, 0), 0);
    for (int x = 0; x < 6; x++)
        EXPECT_EQ(pi->pixels[pi->pitch + x], Sample(p, x + 3, 1));
}

TEST(PngLoad, PaletteAndGreyTransparency)
{
    std::mt19937 rng(11);
    PngSpec s = RandomImage(rng, 3, 8, 4, 4);
    s.plte.assign(3 * 32, 0);
    for (size_t i = 0; i < s.plte.size(); i++)
        s.plte[i] = uint8_t(i * 5);
    for (auto& b : s.rows)
        b &= 31;
    // One tRNS entry of 0: a key, no alphas.
    s.hasTrns = true;
    s.trns = {0};
    Surface d = Decode(MakePng(s));
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->palette->alphas, nullptr);
    EXPECT_EQ(d->colorKey & 0xFFFFFF, PNative2RGB(PRGB2Native(0, 5, 10)));
    // Sixteen entries: alphas, entries 16 and above opaque.
    s.trns.assign(16, 200);
    s.trns[5] = 0;
    d = Decode(MakePng(s));
    ASSERT_NE(d, nullptr);
    ASSERT_NE(d->palette->alphas, nullptr);
    EXPECT_EQ(d->palette->alphas[0], 200 >> 3);
    EXPECT_EQ(std::make_tuple(d->palette->alphas[5], d->palette->alphas[16], d->palette->alphas[31]),
              std::make_tuple(0, 31, 31));
    EXPECT_EQ(d->colorKey & 0xFFFFFF, PNative2RGB(d->palette->colors[5]));
    // bKGD is the key when there is no tRNS.
    s.hasTrns = false;
    s.hasBkgd = true;
    s.bkgd = {3};
    d = Decode(MakePng(s));
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->colorKey & 0xFFFFFF, PNative2RGB(d->palette->colors[3]));
    s.bkgd = {200}; // beyond the palette: ignored
    d = Decode(MakePng(s));
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->colorKey, 0xFF00FFu);

    // Indices beyond a short PLTE read as black, never outside the palette.
    s.hasBkgd = false;
    s.plte.resize(6);
    for (auto& b : s.rows)
        b = 255;
    d = Decode(MakePng(s), PLOAD_RGB565);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(Px16(*d, 3, 3), 0);

    // Scaled grey keys (the ramps themselves are the conformance set's).
    PngSpec g = RandomImage(rng, 0, 4, 3, 1);
    g.hasTrns = true;
    g.trns = {0, 15};
    d = Decode(MakePng(g));
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->palette->colors[1], PRGB2Native(17, 17, 17));
    EXPECT_EQ(d->colorKey, 0xFFFFFFu);
    // A short grey tRNS is ignored; a long bKGD is read for its 6 bytes.
    g.trns = {7};
    d = Decode(MakePng(g));
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->colorKey, 0xFF00FFu);
    PngSpec rgb = RandomImage(rng, 2, 8, 2, 2);
    rgb.hasBkgd = true;
    rgb.bkgd = {0, 0x11, 0, 0x22, 0, 0x33, 9, 9, 9, 9};
    rgb.extra = {{"gAMA", {0, 0, 0xB1, 0x8F}}};
    d = Decode(MakePng(rgb));
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->colorKey, 0x112233u);
    rgb.bkgd = {0, 0x11};
    d = Decode(MakePng(rgb));
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->colorKey, 0xFF00FFu);
}

TEST(PngLoad, MalformedFilesFailCleanly)
{
    std::mt19937 rng(13);
    auto base = [&](int type, int depth) { return RandomImage(rng, type, depth, 5, 4); };
    std::vector<std::pair<std::string, std::vector<uint8_t>>> bad;
    // A small image with one thing wrong.
    auto variant = [&](char const* what, int type, int depth, auto edit) {
        PngSpec v = base(type, depth);
        edit(v);
        bad.push_back({what, MakePng(v)});
    };
    variant("interlaced", 2, 8, [](PngSpec& v) { v.interlace = 1; });
    variant("16-bit", 2, 8, [](PngSpec& v) {
        v.depth = 16;
        v.rows.resize(v.RowBytes() * size_t(v.height));
    });
    variant("grey+alpha", 4, 8, [](PngSpec&) {});
    variant("4-bit RGB", 2, 4, [](PngSpec&) {});
    variant("bad filter", 2, 8, [](PngSpec& v) { v.filter = 9; });
    variant("double PLTE", 3, 8, [](PngSpec& v) { v.extra = {{"PLTE", {1, 2, 3}}}; });
    variant("empty PLTE", 3, 8, [](PngSpec& v) {
        v.extra = {{"PLTE", {}}};
        v.plte.clear();
    });
    variant("long PLTE", 3, 8, [](PngSpec& v) { v.plte.assign(769, 0); });
    variant("oversized tRNS", 3, 8, [](PngSpec& v) {
        v.hasTrns = true;
        v.trns.assign(257, 1);
    });
    variant("tRNS without PLTE", 3, 8, [](PngSpec& v) {
        v.plte.clear();
        v.hasTrns = true;
        v.trns = {0};
    });
    variant("second IHDR", 2, 8, [](PngSpec& v) { v.extra = {{"IHDR", pnggen::Ihdr(v)}}; });
    variant("IEND first", 2, 8, [](PngSpec& v) { v.extra = {{"IEND", {}}}; });
    variant("zero width", 2, 8, [](PngSpec& v) {
        v.width = 0;
        v.rows.clear();
    });
    PngSpec s = base(2, 8);
    std::vector<uint8_t> huge = MakePng(s);
    huge[16] = 0x7F; // width 0x7F000005; the CRC is not checked
    bad.push_back({"huge width", huge});
    huge[16] = 0;
    huge[18] = 0x40; // width 16389: one past the engine's limit
    huge[19] = 0x05;
    bad.push_back({"wide", huge});
    // Truncated zlib data: cut inside the single IDAT.
    s = base(6, 8);
    std::vector<uint8_t> f = MakePng(s);
    size_t idat = 0;
    for (size_t i = 8; i + 8 < f.size(); i++)
        if (std::memcmp(&f[i], "IDAT", 4) == 0) {
            idat = i;
            break;
        }
    ASSERT_GT(idat, 0u);
    std::vector<uint8_t> t(f.begin(), f.begin() + long(idat + 10));
    bad.push_back({"truncated file", t});
    // Corrupt zlib: the stream's bytes replaced, the chunk otherwise whole.
    std::vector<uint8_t> c = f;
    for (size_t i = idat + 6; i < idat + 14 && i < c.size(); i++)
        c[i] ^= 0x5A;
    bad.push_back({"corrupt zlib", c});
    // Zlib data that ends before the image does.
    s = base(2, 8);
    PngSpec shorter = s;
    shorter.height = 2;
    shorter.rows.resize(shorter.RowBytes() * 2);
    std::vector<uint8_t> z = pnggen::Deflate(pnggen::Filter(shorter), 6);
    std::vector<uint8_t> sf = {137, 'P', 'N', 'G', 13, 10, 26, 10};
    pnggen::Chunk(sf, "IHDR", pnggen::Ihdr(s));
    pnggen::Chunk(sf, "IDAT", z);
    pnggen::Chunk(sf, "IEND", {});
    bad.push_back({"short zlib stream", sf});
    // A chunk between IDATs.
    s = base(2, 8);
    f = MakePng(s);
    std::vector<uint8_t> zz = pnggen::Deflate(pnggen::Filter(s), 6);
    std::vector<uint8_t> between = {137, 'P', 'N', 'G', 13, 10, 26, 10};
    pnggen::Chunk(between, "IHDR", pnggen::Ihdr(s));
    pnggen::Chunk(between, "IDAT", std::vector<uint8_t>(zz.begin(), zz.begin() + 3));
    pnggen::Chunk(between, "tEXt", {'a', 0, 'b'});
    pnggen::Chunk(between, "IDAT", std::vector<uint8_t>(zz.begin() + 3, zz.end()));
    pnggen::Chunk(between, "IEND", {});
    bad.push_back({"chunk between IDATs", between});
    // A negative chunk length.
    std::vector<uint8_t> neg = MakePng(base(2, 8));
    neg[33] = 0x80;
    bad.push_back({"negative length", neg});
    bad.push_back({"signature only", std::vector<uint8_t>(neg.begin(), neg.begin() + 8)});

    for (auto& b : bad) {
        EXPECT_EQ(Decode(b.second), nullptr) << b.first;
        EXPECT_EQ(Decode(b.second, PLOAD_RGB565), nullptr) << b.first;
    }
    // A palette image without PLTE loads as indexed but not as RGB565.
    s = base(3, 8);
    s.plte.clear();
    EXPECT_NE(Decode(MakePng(s)), nullptr);
    EXPECT_EQ(Decode(MakePng(s), PLOAD_RGB565), nullptr);
    // A failed load into an existing surface returns -1 and leaves it usable.
    Surface t2(PSurface::Create(5, 4, PSURFACE_RGB565));
    EXPECT_EQ(LoadInto(*t2, between, 0, 0), -1);
}

// A header whose size the rest of the file cannot fill (deflate expands at
// most 1032 to 1) is refused before the surface is made; an image at the
// edge of what its data can hold still loads.
TEST(PngLoad, SizeBeyondTheDataIsRefusedBeforeAllocating)
{
    std::vector<uint8_t> found;
    if (FILE* f = std::fopen(KRV_SOURCE_DIR "/tests/fuzz/corpus/png/header_claims_125m_pixels.png", "rb")) {
        for (int c; (c = std::fgetc(f)) != EOF;)
            found.push_back(uint8_t(c));
        std::fclose(f);
    }
    ASSERT_EQ(110u, found.size()); // 14855 x 8451 pixels claimed
    Surface refused;
    EXPECT_LT(testalloc::LargestAllocation([&] { refused = Decode(found); }), size_t(1) << 20);
    EXPECT_EQ(nullptr, refused);

    PngSpec zeros;
    zeros.colorType = 0;
    zeros.depth = 8;
    zeros.width = 2000;
    zeros.height = 2000;
    zeros.level = 9;
    zeros.rows.assign(zeros.RowBytes() * 2000, 0);
    std::vector<uint8_t> dense = MakePng(zeros);
    EXPECT_LT(dense.size(), 2000u * 2001 / 1000); // about as dense as deflate gets
    Surface s = Decode(dense);
    ASSERT_NE(nullptr, s);
    EXPECT_EQ(2000, s->width);
}
