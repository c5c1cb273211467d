// Texel conversion, the texture cache (handles, sharing, fall-back names),
// the PVR and ATC/ETC texture files on a recording back end, and ETC1 and
// paletted uploads on Mesa against their decoded source.
#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "engine/graphics/ppalette.h"
#include "engine/graphics/psurface.h"
#include "engine/graphics/ptexturemanager.h"
#include "engine/runtime/pstream.h"
#include "p3d_fixtures.h"
#include "tests/host/png_read.h"
#include "tools/lib/toolfile.h"

using p3dtest::Mesa;
using p3dtest::Recorded;

namespace {

std::unique_ptr<PSurface> Image565(int w, int h, uint16_t fill)
{
    std::unique_ptr<PSurface> s(PSurface::Create(w, h, PSURFACE_RGB565));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            std::memcpy(s->pixels + y * s->pitch + x * 2, &fill, 2);
    return s;
}

// A manager whose images come from memory instead of files; it records the
// names it was asked to load.
class MemoryManager : public PTextureManager {
public:
    explicit MemoryManager(GLES* gl) : PTextureManager(nullptr, gl) {}
    PSurface* LoadTexture(const char* name, int) override
    {
        loads.push_back(name);
        if (std::string(name) == missing)
            return nullptr;
        return Image565(w, h, 0x1234).release();
    }
    std::vector<std::string> loads;
    std::string missing;
    int w = 16, h = 16;
};

std::vector<uint8_t> Pvr(uint32_t headerSize, uint32_t type, uint32_t w, uint32_t h, uint32_t levels, uint32_t bits,
                         uint32_t alphaMask, uint32_t dataSize, uint32_t extraData = 0)
{
    std::vector<uint8_t> f;
    for (uint32_t v : {headerSize, h, w, levels, type, dataSize, bits, 0u, 0u, 0u, alphaMask})
        PutLE32(f, v);
    if (headerSize == 52) {
        f.insert(f.end(), {'P', 'V', 'R', '!'});
        PutLE32(f, 1);
    }
    f.resize(f.size() + dataSize + extraData, 0x5A);
    return f;
}

} // namespace

TEST(TexelConversion, AlphaKeyAndNibbles)
{
    // 4-4-4-4 alpha from the alpha plane: 255 gives 15, 16 gives 0.
    auto img = Image565(2, 1, 0xFFFF);
    uint8_t alpha[2] = {255, 16};
    img->SetAlpha(alpha);
    uint16_t out[2] = {};
    P3D::CopyTexData(out, 0, 0, 2, GL_UNSIGNED_SHORT_4_4_4_4, img.get(), nullptr, 0, GL_RGBA);
    EXPECT_EQ(out[0] & 15, 15);
    EXPECT_EQ(out[1] & 15, 0);
    img->SetAlpha(nullptr);

    // 5-5-5-1: magenta is the key, transparent with its colour kept.
    auto key = Image565(2, 1, 0xF81F);
    uint16_t other = 0x07E0;
    std::memcpy(key->pixels + 2, &other, 2);
    key->SetColorKey(0xFF00FF);
    P3D::CopyTexData(out, 0, 0, 2, GL_UNSIGNED_SHORT_5_5_5_1, key.get(), nullptr, 0, GL_RGBA);
    EXPECT_EQ(out[0], 0xF83E);
    EXPECT_EQ(out[1], 0x07C1);

    // 4-bit indices: two a byte, even column high; a third keeps the low nibble.
    std::unique_ptr<PSurface> idx(PSurface::Create(3, 1, PSURFACE_INDEX8));
    idx->pixels[0] = 1, idx->pixels[1] = 2, idx->pixels[2] = 0x13; // 0x13 masked to 3
    idx->SetPalette(new PPalette(16, false));
    idx->flags |= PSURF_OWNPALETTE;
    uint8_t block[32 + 2];
    std::memset(block, 0xEE, sizeof block);
    P3D::CopyTexData(block, 0, 0, 4, 0x8B92 /* PALETTE4_R5_G6_B5 */, idx.get(), nullptr, 0, 0);
    EXPECT_EQ(block[32], 0x12);
    EXPECT_EQ(block[33], 0x3E);

    // Flipped rows and a rectangle cut to the image.
    std::unique_ptr<PSurface> two(PSurface::Create(1, 2, PSURFACE_INDEX8));
    two->pixels[0] = 10, two->pixels[two->pitch] = 20;
    uint8_t lum[4] = {};
    PRect r{0, 0, 5, 5};
    P3D::CopyTexData(lum, 0, 0, 1, GL_UNSIGNED_BYTE, two.get(), &r, 1, GL_LUMINANCE);
    EXPECT_EQ(std::make_tuple(lum[0], lum[1], lum[2]), std::make_tuple(20, 10, 0));
}

// The transparent texels' colour against the rule worked out texel by texel:
// a fully transparent texel with a visible one among its eight neighbours
// (across an edge only where it repeats) takes the mean of the visible ones
// per channel, rounded down; any other transparent texel is black; visible
// texels and every alpha stay. Random textures of each layout with alpha,
// from one texel to 37 x 23, sparse and dense, under each wrap.
TEST(TexelConversion, TransparentTexelsTakeTheColourOfTheirVisibleNeighbours)
{
    struct Layout {
        int type, format, bytes;
        unsigned alpha, channel[3], width[3]; // alpha bits; each channel's shift and width
    };
    const Layout layouts[] = {{GL_UNSIGNED_SHORT_4_4_4_4, GL_RGBA, 2, 0x000F, {12, 8, 4}, {4, 4, 4}},
                              {GL_UNSIGNED_SHORT_5_5_5_1, GL_RGBA, 2, 0x0001, {11, 6, 1}, {5, 5, 5}},
                              {GL_UNSIGNED_BYTE, GL_RGBA, 4, 0xFF000000u, {0, 8, 16}, {8, 8, 8}}};
    uint32_t seed = 12345;
    auto rnd = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 8; };
    for (const Layout& l : layouts)
        for (auto [w, h] : {std::pair{1, 1}, {1, 9}, {9, 1}, {2, 2}, {16, 16}, {37, 23}})
            for (int wrap = 0; wrap < 4; ++wrap)
                for (unsigned density : {8u, 50u, 92u}) {
                    std::vector<uint32_t> in(size_t(w) * h);
                    for (uint32_t& t : in)
                        t = rnd() % 100 < density ? (rnd() | l.alpha) : (rnd() & ~l.alpha);
                    std::vector<uint8_t> tex(in.size() * size_t(l.bytes));
                    for (size_t i = 0; i < in.size(); ++i)
                        std::memcpy(&tex[i * size_t(l.bytes)], &in[i], size_t(l.bytes));
                    ASSERT_EQ(P3D::FillClearTexels(tex.data(), unsigned(w), unsigned(h), l.type, l.format, wrap), 0);
                    int bad = 0;
                    for (int y = 0; y < h; ++y)
                        for (int x = 0; x < w; ++x) {
                            uint32_t t = in[size_t(y) * w + x], want = t;
                            if (l.bytes == 2)
                                t &= 0xFFFF, want &= 0xFFFF;
                            if (!(t & l.alpha)) {
                                unsigned sum[3] = {}, n = 0;
                                for (int dy = -1; dy <= 1; ++dy)
                                    for (int dx = -1; dx <= 1; ++dx) {
                                        int nx = x + dx, ny = y + dy;
                                        if ((nx < 0 || nx >= w) && !(wrap & 1))
                                            continue;
                                        if ((ny < 0 || ny >= h) && !(wrap & 2))
                                            continue;
                                        uint32_t o = in[size_t((ny + h) % h) * w + size_t((nx + w) % w)];
                                        if (!(o & l.alpha))
                                            continue;
                                        for (int c = 0; c < 3; ++c)
                                            sum[c] += (o >> l.channel[c]) & ((1u << l.width[c]) - 1);
                                        ++n;
                                    }
                                want = 0;
                                for (int c = 0; c < 3 && n; ++c)
                                    want |= sum[c] / n << l.channel[c];
                            }
                            uint32_t got = 0;
                            std::memcpy(&got, &tex[(size_t(y) * w + x) * size_t(l.bytes)], size_t(l.bytes));
                            bad += got != want;
                        }
                    EXPECT_EQ(bad, 0) << "type 0x" << std::hex << l.type << std::dec << ", " << w << " x " << h
                                      << ", wrap " << wrap << ", " << density << "% visible";
                }

    // Palettes: transparent entries turn black, the others stay.
    uint8_t rgba8[16 * 4];
    for (int i = 0; i < 64; ++i)
        rgba8[i] = uint8_t(i % 4 == 3 ? (i / 4 % 2) * 255 : 200);
    uint16_t a1[256];
    for (int i = 0; i < 256; ++i)
        a1[i] = uint16_t(0xFFFE | (i % 2));
    P3D::FillClearTexels(rgba8, 4, 4, 0x8B91 /* PALETTE4_RGBA8 */, 0, 0);
    P3D::FillClearTexels(a1, 4, 4, 0x8B99 /* PALETTE8_RGB5_A1 */, 0, 0);
    EXPECT_EQ(std::make_tuple(rgba8[0], rgba8[4], rgba8[7]), std::make_tuple(0, 200, 255));
    EXPECT_EQ(std::make_tuple(a1[0], a1[1], a1[254], a1[255]), std::make_tuple(0, 0xFFFF, 0, 0xFFFF));
}

TEST(TextureCache, HandlesSharingAndNames)
{
    EXPECT_EQ(PTextureManager::strhash(""), 0u);
    EXPECT_EQ(PTextureManager::strhash("abc"), 0xFFFEE375u);
    ASSERT_EQ(PTextureManager::strhash("Bz"), PTextureManager::strhash("C7"));

    Recorded r;
    ASSERT_TRUE(r.Create());
    MemoryManager tm(r.ctx);
    int a = tm.AddTexture("sky.png", 0x4C80, 0);
    ASSERT_EQ(a, 1);
    EXPECT_EQ(tm.AddTexture("sky.png", 0x4C80, 0), a);
    EXPECT_EQ(tm.GetEntry(a)->users, 2);
    EXPECT_NE(tm.AddTexture("sky.png", 0x4C80 & ~0x800u, 0), a); // other alpha bit: another texture
    // Names with one hash are different textures.
    int bz = tm.AddTexture("Bz", 0x4C80, 0), c7 = tm.AddTexture("C7", 0x4C80, 0);
    EXPECT_NE(bz, c7);
    EXPECT_GT(bz, 0);

    // Freeing: invalid and already-free handles are ignored; a free handle is reused.
    tm.FreeTexture(a);
    tm.FreeTexture(a);
    EXPECT_EQ(tm.GetEntry(a), nullptr);
    tm.FreeTexture(a);
    tm.FreeTexture(0);
    tm.FreeTexture(-3);
    tm.FreeTexture(999);
    tm.UseTexture(999);
    tm.SetTexture(999);
    EXPECT_EQ(tm.AddTexture("other.png", 0x4C80, 0), a);

    // Default flags.
    tm.SetDefaultFlags(0x4C80 | 0x20000);
    int d = tm.AddTexture("forced.png", 0x1000, 0);
    EXPECT_EQ(tm.GetEntry(d)->flags, 0x4C80u | 0x20000u);

    // A GL error from the upload fails the addition, and its entry stays free.
    r.rec->errors = {0, 0, 0, GL_OUT_OF_MEMORY};
    EXPECT_EQ(tm.AddTexture("failing.png", 0x4C80, 0), 0);
    r.rec->errors.clear();
    EXPECT_GT(tm.AddTexture("after.png", 0x4C80, 0), 0);

    // A size that is not a power of two is refused.
    tm.w = 100;
    tm.h = 64;
    EXPECT_EQ(tm.AddTexture("odd.png", 0x4C80, 0), 0);
}

TEST(TextureCache, FallBackNames)
{
    Recorded r;
    ASSERT_TRUE(r.Create());
    MemoryManager tm(r.ctx);
    tm.missing = "sky.png";
    EXPECT_EQ(tm.AddTexture("sky.png", 0x4C80, 0), 0);
    EXPECT_EQ(tm.loads, (std::vector<std::string>{"sky.png"})); // .png is not tried twice
    tm.loads.clear();
    tm.missing = "sky.tga";
    EXPECT_GT(tm.AddTexture("sky.tga", 0x4C80, 0), 0);
    EXPECT_EQ(tm.loads, (std::vector<std::string>{"sky.tga", "sky.png"}));
    // Registered under the name asked for.
    tm.loads.clear();
    EXPECT_GT(tm.AddTexture("sky.tga", 0x4C80, 0), 0);
    EXPECT_TRUE(tm.loads.empty());
}

TEST(TextureFiles, PvrLevelsAndRefusals)
{
    Recorded r;
    r.extensions = "GL_IMG_texture_compression_pvrtc GL_OES_compressed_ETC1_RGB8_texture";
    ASSERT_TRUE(r.Create());
    PTextureManager tm(nullptr, r.ctx);
    auto add = [&](std::vector<uint8_t> f) {
        PMemStream s(f.data(), long(f.size()));
        return tm.AddTexture(&s, 0x4C80, PTEXFMT_DETECT, 0);
    };
    // 64 x 64, 4 bpp PVRTC, 6 further levels: 2048+512+128+32*4 bytes.
    uint32_t total = 2048 + 512 + 128 + 32 + 32 + 32 + 32;
    r.rec->Clear();
    int h = add(Pvr(44, 25, 64, 64, 6, 4, 0, total));
    ASSERT_GT(h, 0);
    auto levels = r.rec->Only("glCompressedTexImage2D");
    ASSERT_EQ(levels.size(), 7u);
    EXPECT_NE(levels[5].find("35840, 2, 2, 0, 32,"), std::string::npos) << levels[5];
    EXPECT_EQ(tm.GetEntry(h)->levels, 6);
    EXPECT_EQ(tm.GetEntry(h)->flags & 0x800, 0u);

    EXPECT_EQ(add(Pvr(44, 20, 64, 64, 0, 16, 0, 8192)), 0);        // type 20
    EXPECT_EQ(add(Pvr(44, 25, 64, 64, 6, 4, 0, total - 1)), 0);     // levels beyond the data
    EXPECT_EQ(add(Pvr(44, 19, 64, 64, 0, 8, 0, 4096)), 0);          // bits not the type's
    EXPECT_EQ(add(Pvr(44, 19, 1u << 30, 64, 0, 16, 0, 4096)), 0);   // huge
    auto untagged = Pvr(52, 19, 8, 8, 0, 16, 0, 128);
    std::memcpy(&untagged[44], "XXXX", 4);
    EXPECT_EQ(add(untagged), 0); // detected as an image, and not one
    auto tagged = Pvr(52, 19, 8, 8, 0, 16, 0, 128);
    EXPECT_GT(add(tagged), 0);
    std::vector<uint8_t> tiny = {3, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(add(tiny), 0);
    auto cut = Pvr(44, 19, 8, 8, 0, 16, 0, 128);
    cut.resize(100);
    EXPECT_EQ(add(cut), 0);
}

TEST(TextureFiles, AtcKeepsWholeLevels)
{
    Recorded r;
    r.extensions = "GL_AMD_compressed_ATC_texture GL_OES_compressed_ETC1_RGB8_texture";
    ASSERT_TRUE(r.Create());
    PTextureManager tm(nullptr, r.ctx);
    std::vector<uint8_t> f = {0x02, 0x00, 0xC4, 0xCC};
    PutLE32(f, 32);
    PutLE32(f, 32);
    f.resize(28, 0);
    PutLE32(f, 0x8C93); // explicit alpha: 16-byte blocks
    // Levels 32, 16, 8 whole (1024 + 256 + 64 bytes), level 3 cut in half.
    f.resize(f.size() + 1024 + 256 + 64 + 8, 0x11);
    PMemStream s(f.data(), long(f.size()));
    int h = tm.AddTexture(&s, 0x4C80, PTEXFMT_DETECT, 0);
    ASSERT_GT(h, 0);
    EXPECT_EQ(r.rec->Count("glCompressedTexImage2D"), 3u);
    EXPECT_EQ(tm.GetEntry(h)->levels, 2);
    EXPECT_EQ(tm.GetEntry(h)->flags & 0x800, 0x800u);

    // Unknown formats and impossible sizes are refused.
    PStore32(&f[28], 0x1234);
    PMemStream s2(f.data(), long(f.size()));
    EXPECT_EQ(tm.AddTexture(&s2, 0x4C80, PTEXFMT_ATC, 0), 0);
    PStore32(&f[28], 0x8C93);
    PStore32(&f[4], 0);
    PMemStream s3(f.data(), long(f.size()));
    EXPECT_EQ(tm.AddTexture(&s3, 0x4C80, PTEXFMT_ATC, 0), 0);
}

namespace {

// Draws texture handle over the whole frame of m, texel for pixel.
// Draws the texture over the whole frame, by default nearest and opaque.
void DrawTexture(Mesa& m, PTextureManager& tm, int handle, unsigned flags = 0x0001, uint32_t state = 0x10000001)
{
    P3D& g = *m.ctx;
    g.Clear(0);
    g.vornGLPushMatricesSetIdentity();
    tm.UpdateFlags(handle, flags);
    tm.SetTexture(handle);
    g.vornGLStateUpdate(state, 0x7C000427);
    static const int32_t v[8] = {-0x10000, -0x10000, 0x10000, -0x10000, 0x10000, 0x10000, -0x10000, 0x10000};
    static const int32_t t[8] = {0, 0, 0x10000, 0, 0x10000, 0x10000, 0, 0x10000};
    g.GetBackend()->glVertexPointer(2, GL_FIXED, 0, v);
    g.GetBackend()->glTexCoordPointer(2, GL_FIXED, 0, t);
    g.glDrawArrays(GL_TRIANGLE_FAN, 0, 4);
    g.vornGLPopMatrices();
}

} // namespace

TEST(TextureMesa, Etc1DrawsAsItsDecodedSource)
{
    if (std::system("command -v etc1tool > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "etc1tool (Debian package etc1tool) is not installed";
    constexpr int N = 32;
    std::string dir = "etc1_fixture";
    std::system(("mkdir -p " + dir).c_str());
    // A source picture with edges and gradients.
    std::vector<uint8_t> rgb(N * N * 3);
    for (int y = 0; y < N; ++y)
        for (int x = 0; x < N; ++x) {
            uint8_t* p = &rgb[(y * N + x) * 3];
            p[0] = uint8_t(x * 8), p[1] = uint8_t(y * 8), p[2] = (x / 8 + y / 8) % 2 ? 200 : 30;
        }
    png_image img;
    std::memset(&img, 0, sizeof img);
    img.version = PNG_IMAGE_VERSION;
    img.width = img.height = N;
    img.format = PNG_FORMAT_RGB;
    ASSERT_TRUE(png_image_write_to_file(&img, (dir + "/src.png").c_str(), 0, rgb.data(), 0, nullptr));
    ASSERT_EQ(std::system(("etc1tool " + dir + "/src.png --encode -o " + dir + "/src.pkm > /dev/null").c_str()), 0);
    ASSERT_EQ(std::system(("etc1tool " + dir + "/src.pkm --decode -o " + dir + "/dec.png > /dev/null").c_str()), 0);
    std::vector<uint8_t> pkm;
    std::string err;
    ASSERT_TRUE(ReadFileBytes(dir + "/src.pkm", &pkm, &err)) << err;
    ASSERT_EQ(pkm.size(), 16u + N * N / 2);
    TestImage dec;
    ASSERT_TRUE(ReadTestPng(dir + "/dec.png", &dec, 3));
    ASSERT_EQ(dec.width, N);
    std::vector<uint8_t> const& decoded = dec.pixels;

    // The container: signature, size, 16 bytes, format, the blocks.
    std::vector<uint8_t> f = {0x01, 0x00, 0x00, 0xEC};
    PutLE32(f, N);
    PutLE32(f, N);
    f.resize(28, 0);
    PutLE32(f, GL_ETC1_RGB8_OES);
    f.insert(f.end(), pkm.begin() + 16, pkm.end());

    Mesa m(N, N);
    ASSERT_TRUE(m.Ok());
    PTextureManager tm(nullptr, m.ctx);
    PMemStream s(f.data(), long(f.size()));
    int h = tm.AddTexture(&s, 0x4C80, PTEXFMT_DETECT, 0);
    ASSERT_GT(h, 0);
    DrawTexture(m, tm, h);
    auto frame = m.Read();
    // Texture row 0 is the first uploaded row, at the bottom of the frame.
    int bad = 0;
    for (int y = 0; y < N; ++y)
        for (int x = 0; x < N; ++x) {
            const uint8_t* d = &decoded[(size_t(N - 1 - y) * N + x) * 3];
            bad += m.At(frame, x, y) != (uint32_t(d[0]) << 16 | uint32_t(d[1]) << 8 | d[2]);
        }
    EXPECT_EQ(bad, 0);
    // Mesa offers no PVRTC: a PVRTC file is refused cleanly.
    auto pvr = Pvr(44, 25, 8, 8, 0, 4, 0, 32);
    PMemStream ps(pvr.data(), long(pvr.size()));
    EXPECT_EQ(tm.AddTexture(&ps, 0x4C80, PTEXFMT_DETECT, 0), 0);
}

TEST(TextureMesa, PalettedUploadDrawsAsItsSource)
{
    constexpr int N = 16;
    Mesa m(N, N);
    ASSERT_TRUE(m.Ok());
    PTextureManager tm(nullptr, m.ctx);
    for (int colours : {16, 256}) {
        std::unique_ptr<PSurface> img(PSurface::Create(N, N, PSURFACE_INDEX8));
        img->SetPalette(new PPalette(unsigned(colours), false));
        img->flags |= PSURF_OWNPALETTE | PSURF_BOTTOMUP;
        for (int i = 0; i < colours; ++i)
            img->palette->Set(unsigned(i), (i * 53) & 0xF8, (i * 29) & 0xFC, (i * 97) & 0xF8);
        for (int y = 0; y < N; ++y)
            for (int x = 0; x < N; ++x)
                img->pixels[y * img->pitch + x] = uint8_t((x * 7 + y * 3) % colours);
        int h = tm.AddTexture(img.get(), 0x4C80 & ~0x800u, 0, false);
        ASSERT_GT(h, 0) << colours;
        DrawTexture(m, tm, h);
        auto frame = m.Read();
        int bad = 0;
        for (int y = 0; y < N; ++y)
            for (int x = 0; x < N; ++x) {
                unsigned c = img->palette->colors[img->pixels[(N - 1 - y) * img->pitch + x]];
                unsigned r = (c >> 11) & 31, g = (c >> 5) & 63, b = c & 31;
                uint32_t want = (r << 3 | r >> 2) << 16 | (g << 2 | g >> 4) << 8 | (b << 3 | b >> 2);
                bad += m.At(frame, x, y) != want;
            }
        EXPECT_EQ(bad, 0) << colours;
        tm.FreeTexture(h);
    }
}

// A keyed texture through the cache (the 5-5-5-1 of a 565 image without an
// alpha plane, wrapping in s and t): its green top-left quarter magnified
// eight times with linear filtering and the alpha test at 0 shows green where
// a sample reaches it and black elsewhere: no magenta at the key's edges, and
// no darker edge where a sample mixes the last column or row with the first.
TEST(TextureMesa, KeyedTextureFilteredShowsNoKey)
{
    constexpr int N = 64;
    Mesa m(N, N);
    ASSERT_TRUE(m.Ok());
    PTextureManager tm(nullptr, m.ctx);
    auto img = Image565(8, 8, 0xF81F);
    img->SetColorKey(0xFF00FF);
    img->flags |= PSURF_BOTTOMUP;
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            std::memcpy(img->pixels + y * img->pitch + x * 2, "\xE0\x07", 2); // green
    int h = tm.AddTexture(img.get(), 0x4C80, 0, false);
    ASSERT_GT(h, 0);
    m.ctx->GetBackend()->glAlphaFuncx(GL_GREATER, 0);
    DrawTexture(m, tm, h, 0x0481 /* replace, repeat, linear */, 0x10000401 /* texturing, alpha test */);
    auto frame = m.Read();
    int other = 0, green = 0;
    for (int y = 0; y < N; ++y)
        for (int x = 0; x < N; ++x) {
            uint32_t c = m.At(frame, x, y);
            green += c == 0x00FF00;
            other += c != 0x00FF00 && c != 0;
        }
    EXPECT_EQ(other, 0);
    EXPECT_GT(green, N * N / 4);
    tm.FreeTexture(h);
}
