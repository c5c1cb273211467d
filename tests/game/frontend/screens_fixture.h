// Whole screens drawn on Mesa's OpenGL ES 1.1 (headless pbuffer) with a text
// service and shared pictures made by the test writers in a scratch data
// directory.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/graphics/psurface3d.h"
#include "engine/runtime/pglobals.h"
#include "game/frontend/fonts.h"
#include "tests/engine/graphics/png_gen.h"
#include "tests/game/frontend/frontend_fixture.h"

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
        dir.WriteFonts(fontHeight);
        dir.Write("data/lang0.bin", InterfaceTexts());
        dir.Write("data/2dgfx/warroom.png", Picture(40, 30, 60));
    }
};

// Mesa with its text service and the shared background installed in a
// globals block of its own.
class MesaTarget {
public:
    MesaTarget() : m_mesa(W, H)
    {
        if (!m_mesa.Ok())
            return;
        m_mesa.display->GetInfo(m_props);
        if (!m_fonts.Init(m_mesa.ctx, &m_props) || !m_fonts.LoadLanguage(0))
            return;
        m_globals.sharedImages[7] =
            PSurface3D::CreateFromFile(m_mesa.ctx, "data\\2dgfx\\warroom.png", PS3D_DROPIMAGE);
        PSetTls(&m_globals);
        m_ok = m_globals.sharedImages[7] != nullptr;
    }
    ~MesaTarget()
    {
        m_fonts.Release();
        delete static_cast<PSurface3D*>(m_globals.sharedImages[7]);
        if (PGetTls() == &m_globals)
            PSetTls(nullptr);
    }
    bool Ok() const { return m_ok; }
    P3D* Ctx() const { return m_mesa.ctx; }
    PDisplay* Display() { return m_mesa.display; }
    Fonts& Text() { return m_fonts; }
    PDisplayProperties& Props() { return m_props; }
    // The frame as 0xRRGGBB, top row first.
    std::vector<uint32_t> Frame() const { return m_mesa.Read(); }

private:
    gametest::MesaContext m_mesa;
    Fonts m_fonts;
    PDisplayProperties m_props{};
    PGlobals m_globals{};
    bool m_ok = false;
};

} // namespace screentest
