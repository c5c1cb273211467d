// Whole screens drawn twice: on Mesa's OpenGL ES 1.1 (headless pbuffer) and
// on the software renderer's RGB565 memory display, each with its own text
// service and shared pictures made by the test writers in a scratch data
// directory. Frames are compared in RGB565 units as the software renderer's
// own tests compare with Mesa.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/graphics/p3d.h"
#include "engine/graphics/psurface3d.h"
#include "engine/runtime/pglobals.h"
#include "game/frontend/fonts.h"
#include "tests/engine/graphics/p3d_fixtures.h"
#include "tests/engine/graphics/png_gen.h"
#include "tests/game/frontend/frontend_fixture.h"
#include "tests/gl/software/memory_display.h"

namespace screentest {

constexpr int W = 160, H = 120;

// A picture of w x h: a gentle gradient (so that texel rounding moves
// colours by little) with a darker frame, RGB or RGBA at `alpha`.
inline std::vector<uint8_t> Picture(int w, int h, uint8_t base, int alpha = -1)
{
    PngSpec s;
    s.colorType = alpha < 0 ? 2 : 6;
    s.width = w;
    s.height = h;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            const bool edge = x < 2 || y < 2 || x >= w - 2 || y >= h - 2;
            s.rows.push_back(uint8_t(edge ? base / 2 : base + x * 2));
            s.rows.push_back(uint8_t(edge ? base / 2 : base + y * 2));
            s.rows.push_back(uint8_t(base / 2 + 40));
            if (alpha >= 0)
                s.rows.push_back(uint8_t(alpha));
        }
    return MakePng(s);
}

// The interface texts the screens show (others empty).
inline std::vector<uint8_t> InterfaceTexts()
{
    LangLanguage l;
    l.name = u"English";
    l.strings.resize(409);
    auto set = [&](int id, const char16_t* s) { l.strings[size_t(id)] = s; };
    set(25, u"OPTIONS");
    set(116, u"LOADING...");
    set(117, u"PLEASE WAIT");
    set(119, u"RESUME");
    set(120, u"RESTART");
    set(121, u"MAIN MENU");
    set(195, u"READY");
    set(243, u"LEAVE MATCH");
    set(305, u"CALIBRATE TILT");
    return fronttest::Encode({l});
}

// The data every screen test uses, written once per test.
struct Data {
    fronttest::ScratchDir dir;
    explicit Data(int fontHeight = fronttest::kHeight)
    {
        const auto face = fronttest::TestFace(fontHeight);
        for (const char* name : {"font12x16", "font16x20", "font20x28", "prop", "font12x16_", "font6x8"})
            dir.Write(std::string("data/fonts/") + name + ".fnt", face);
        dir.Write("data/lang0.bin", InterfaceTexts());
        dir.Write("data/2dgfx/warroom.png", Picture(40, 30, 60));
    }
};

// One drawing target with its text service and the shared background
// installed in a globals block of its own.
class Target {
public:
    virtual ~Target()
    {
        if (PGetTls() == &m_globals)
            PSetTls(nullptr);
    }
    P3D* Ctx() const { return m_ctx; }
    Fonts& Text() { return m_fonts; }
    PDisplayProperties& Props() { return m_props; }
    // Makes this target's globals block the current one.
    void Use() { PSetTls(&m_globals); }
    // The frame as 0xRRGGBB, top row first.
    virtual std::vector<uint32_t> Frame() = 0;

protected:
    // Frees what lives on the context; derived classes call it before the
    // context goes.
    void ReleaseAll()
    {
        m_fonts.Release();
        delete static_cast<PSurface3D*>(m_globals.sharedImages[7]);
        m_globals.sharedImages[7] = nullptr;
    }
    // Loads the fonts, the texts and the background onto the context.
    bool Prepare(PDisplay* display)
    {
        if (!m_ctx)
            return false;
        display->GetInfo(m_props);
        if (!m_fonts.Init(m_ctx, &m_props) || !m_fonts.LoadLanguage(0))
            return false;
        m_globals.sharedImages[7] = PSurface3D::CreateFromFile(m_ctx, "data\\2dgfx\\warroom.png", PS3D_DROPIMAGE);
        Use();
        return m_globals.sharedImages[7] != nullptr;
    }
    P3D* m_ctx = nullptr;
    Fonts m_fonts;
    PDisplayProperties m_props{};
    PGlobals m_globals{};
};

class MesaTarget : public Target {
public:
    MesaTarget() : m_mesa(W, H)
    {
        m_ctx = m_mesa.ctx;
        m_ok = m_mesa.Ok() && Prepare(m_mesa.display);
    }
    ~MesaTarget() override { ReleaseAll(); }
    bool Ok() const { return m_ok; }
    PDisplay* Display() { return m_mesa.display; }
    std::vector<uint32_t> Frame() override
    {
        const auto f = m_mesa.Read();
        std::vector<uint32_t> out(size_t(W) * H);
        for (int y = 0; y < H; y++)
            for (int x = 0; x < W; x++)
                out[size_t(y) * W + x] = m_mesa.At(f, x, y);
        return out;
    }

private:
    p3dtest::Mesa m_mesa;
    bool m_ok = false;
};

class SoftTarget : public Target {
public:
    SoftTarget() : m_display(W, H)
    {
        m_ctx = P3D::Create(&m_display, nullptr);
        m_ok = Prepare(&m_display);
    }
    ~SoftTarget() override
    {
        ReleaseAll();
        delete m_ctx;
    }
    bool Ok() const { return m_ok; }
    PDisplay* Display() { return &m_display; }
    std::vector<uint32_t> Frame() override
    {
        std::vector<uint32_t> out(size_t(W) * H);
        const PBackBuffer& b = m_display.Buffer();
        for (int y = 0; y < H; y++)
            for (int x = 0; x < W; x++) {
                const uint16_t p = b.pixels[y * (b.pitch / 2) + x];
                const uint32_t r = p >> 11, g = (p >> 5) & 63, bl = p & 31;
                out[size_t(y) * W + x] = (r << 3 | r >> 2) << 16 | (g << 2 | g >> 4) << 8 | (bl << 3 | bl >> 2);
            }
        return out;
    }

private:
    swtest::MemoryDisplay m_display;
    bool m_ok = false;
};

// Distinct colours in a frame: a blank frame has one.
inline size_t Colours(const std::vector<uint32_t>& f)
{
    std::vector<uint32_t> c(f);
    std::sort(c.begin(), c.end());
    return size_t(std::unique(c.begin(), c.end()) - c.begin());
}

// Compares two frames channel by channel at five bits (green too: the
// software renderer blends with five-bit weights, so an opaque texel drawn
// with blending keeps 2/32 of the pixel under it, which moves six-bit green by
// up to four steps). Pixels on an edge of the reference (a neighbour differs
// by more than 2 steps) may differ where the renderers round coverage
// differently: at most 3% of them. Elsewhere a pixel may differ by at most
// `tolerance` steps per channel.
inline testing::AssertionResult SameScreen(const std::vector<uint32_t>& ours, const std::vector<uint32_t>& ref,
                                           int tolerance = 2)
{
    auto ch = [](uint32_t c, int k) { return int(c >> (19 - 8 * k) & 31); };
    int edges = 0, edgeBad = 0, worst = 0, wx = 0, wy = 0;
    for (int y = 0; y < H; y++)
        for (int x = 0; x < W; x++) {
            const uint32_t r = ref[size_t(y) * W + x], o = ours[size_t(y) * W + x];
            bool edge = false;
            for (int dy = -1; dy <= 1; dy++)
                for (int dx = -1; dx <= 1; dx++) {
                    const int nx = x + dx, ny = y + dy;
                    if (nx < 0 || ny < 0 || nx >= W || ny >= H)
                        continue;
                    for (int k = 0; k < 3; k++)
                        edge |= std::abs(ch(ref[size_t(ny) * W + nx], k) - ch(r, k)) > 2;
                }
            int diff = 0;
            for (int k = 0; k < 3; k++)
                diff = std::max(diff, std::abs(ch(o, k) - ch(r, k)));
            if (edge) {
                edges++;
                edgeBad += diff > tolerance;
            } else if (diff > worst) {
                worst = diff;
                wx = x;
                wy = y;
            }
        }
    if (worst > tolerance)
        return testing::AssertionFailure() << "interior pixel (" << wx << ", " << wy << ") differs by " << worst
                                           << std::hex << ": " << ours[size_t(wy) * W + wx] << " against "
                                           << ref[size_t(wy) * W + wx];
    if (edgeBad * 100 > edges * 3)
        return testing::AssertionFailure() << edgeBad << " of " << edges << " edge pixels differ";
    return testing::AssertionSuccess();
}

} // namespace screentest
