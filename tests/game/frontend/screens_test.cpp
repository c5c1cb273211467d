// The loading screen, the pause menu and the intro: their timing, touch and
// layout, and what their frames show on Mesa.
#include <gtest/gtest.h>

#include "game/frontend/loading.h"
#include "game/frontend/mainintro.h"
#include "game/frontend/submenu.h"
#include "tests/game/frontend/screens_fixture.h"

using namespace screentest;

namespace {

constexpr int kBarY = 100, kBarW = 100, kBarH = 6;

// Stands between the loading screen and Mesa: at each present it reads how
// far the bar's fill reaches in the frame.
class PresentProbe : public PDisplay {
public:
    explicit PresentProbe(MesaTarget& t) : m_t(t) {}
    PBackBuffer* GetBackBuffer(PBackBufferType) override { return nullptr; }
    void WaitVerticalBlank() override {}
    void GetInfo(PDisplayProperties& p) override { m_t.Display()->GetInfo(p); }
    void Update(int) override
    {
        const auto f = m_t.Frame();
        int reach = 0;
        const int x0 = W / 2 - kBarW / 2;
        // GL reads 0xfff5e1 back one step darker in some channels.
        auto isFill = [](uint32_t c) {
            return (c >> 16) >= 0xfe && (c >> 8 & 0xff) >= 0xf4 && (c >> 8 & 0xff) <= 0xf5 && (c & 0xff) >= 0xe0 &&
                   (c & 0xff) <= 0xe1;
        };
        while (reach < kBarW && isFill(f[size_t(kBarY + 2) * W + x0 + reach]))
            reach++;
        fills.push_back(reach);
    }
    std::vector<int> fills;

private:
    MesaTarget& m_t;
};

TEST(Loading, EveryStepIsPresentedWithItsProgress)
{
    Data data;
    MesaTarget mesa;
    if (!mesa.Ok())
        GTEST_SKIP() << "no headless Mesa context";
    struct Case {
        int total;
        std::vector<int> fills; // pixels of the 100-pixel bar at each present
    } cases[] = {
        {3, {33, 66, 100, 100}},
        {7, {14, 28, 42, 57, 71, 85, 100}},
        {0, {0, 0}}, // nothing to count: no fill, and no division
        {Loading::kTotalFull, {100, 100}},
        {Loading::kTotalReady, {100}},
    };
    for (const Case& c : cases) {
        PresentProbe probe(mesa);
        Loading l(mesa.Ctx(), &probe, W, H, &mesa.Text());
        l.DefineBar(kBarY, kBarW, kBarH);
        l.Init(c.total);
        for (size_t i = 0; i < c.fills.size(); i++)
            l.Update();
        EXPECT_EQ(probe.fills, c.fills) << c.total;
    }
}

TEST(SubMenu, LayoutAnimationAndTouch)
{
    Data data(16);
    MesaTarget mesa;
    if (!mesa.Ok())
        GTEST_SKIP() << "no headless Mesa context";
    SubMenu m(W, H, &mesa.Text());
    const ACTION actions[] = {ACTION_RESUME, ACTION_OPTIONS, ACTION_MAIN_MENU};
    int pressed = 1, released = 0;
    EXPECT_EQ(m.TouchScreen_Process(W / 2, H / 2, pressed, released), ACTION_NONE);
    m.Open(actions, 3);
    // Font height 16: rows grow to 44, the frame is 3 rows and 4 high.
    EXPECT_EQ(m.GetRowHeight(), 44);
    EXPECT_EQ(m.GetHeight(), 136);
    // Widest label plus 16.
    EXPECT_EQ(m.GetWidth(), mesa.Text().StringWidth(0, L"MAIN MENU") + 16);
    EXPECT_EQ(m.GetX(), (W - m.GetWidth()) / 2);
    EXPECT_EQ(m.GetY(), (H - 136) / 2);
    // The frame grows over a few frames, then stays open.
    m.Render(mesa.Ctx());
    EXPECT_EQ(m.GetState(), SubMenu::STATE_OPENING);
    for (int i = 0; i < 4; i++)
        m.Render(mesa.Ctx());
    EXPECT_EQ(m.GetState(), SubMenu::STATE_OPEN);

    // Press highlights row 1, release on it picks its action once.
    const int x = m.GetX() + 10, row1 = m.GetY() + 2 + 44 + 20;
    EXPECT_EQ(m.TouchScreen_Process(x, row1, pressed, released), ACTION_NONE);
    EXPECT_EQ(m.GetHighlight(), 1);
    pressed = 0;
    released = 1;
    EXPECT_EQ(m.TouchScreen_Process(x, row1, pressed, released), ACTION_OPTIONS);
    EXPECT_EQ(released, 0);
    EXPECT_EQ(m.GetHighlight(), -1);
    // Outside the frame: nothing, and the highlight goes.
    pressed = 1;
    m.TouchScreen_Process(x, row1, pressed, released);
    EXPECT_EQ(m.TouchScreen_Process(0, 0, pressed, released), ACTION_NONE);
    EXPECT_EQ(m.GetHighlight(), -1);

    // A new screen size centres the frame; an opening menu is shown open.
    m.Open(actions, 2);
    m.Rearrange(W + 40, H + 20);
    EXPECT_EQ(m.GetState(), SubMenu::STATE_OPEN);
    EXPECT_EQ(m.GetY(), (H + 20 - (2 * 44 + 4)) / 2);
    m.Close();
    pressed = 0;
    released = 1;
    EXPECT_EQ(m.TouchScreen_Process(m.GetX() + 10, m.GetY() + 10, pressed, released), ACTION_NONE);
    m.Open(nullptr, 0);
    EXPECT_EQ(m.GetWidth(), 16);
    EXPECT_EQ(m.GetHeight(), 4);
}

TEST(SubMenu, DimsTheScreenAndHighlightsThePressedRow)
{
    Data data;
    MesaTarget mesa;
    if (!mesa.Ok())
        GTEST_SKIP() << "no headless Mesa context";
    const uint32_t back = 0x3060a0;
    mesa.Ctx()->Clear(0xff000000 | back);
    SubMenu m(W, H, &mesa.Text());
    const ACTION actions[] = {ACTION_RESUME, ACTION_CALIBRATE};
    m.Open(actions, 2);
    m.Rearrange(W, H);
    int pressed = 1, released = 0;
    m.TouchScreen_Process(m.GetX() + 10, m.GetY() + 2 + 10, pressed, released);
    m.Render(mesa.Ctx());
    const auto f = mesa.Frame();
    auto at = [&](int x, int y) { return f[size_t(y) * W + x]; };
    auto blue = [](uint32_t c) { return int(c & 0xff); };
    // Outside the frame: the background, darker; the highlighted row stands
    // out from the other row at the same column.
    EXPECT_LT(blue(at(1, 1)), blue(back));
    EXPECT_GT(blue(at(1, 1)), 0);
    const int x = m.GetX() + 8, rowH = m.GetRowHeight();
    EXPECT_NE(at(x, m.GetY() + 4), at(x, m.GetY() + 4 + rowH));
}

TEST(MainIntro, WaitsEndAfterTheirTimeOrASkipKey)
{
    struct Step {
        unsigned now, keys;
        int expected;
    };
    struct Case {
        const char* what;
        unsigned duration;
        std::vector<Step> steps;
    } cases[] = {
        {"runs its time", 2000, {{500, 0, 0}, {2499, 0, 0}, {2500, 0, 1}}},
        {"fire skips", 2000, {{0, 0, 0}, {10, 0x10, 1}}},
        {"back skips at once", 10000, {{7, 0x40, 1}}},
        {"other keys do not", 10000, {{7, 0x01 | 0x20 | 0x80, 0}}},
        {"the next wait starts afresh", 2000, {{100, 0, 0}, {2100, 0, 1}, {2101, 0, 0}, {4100, 0, 0}, {4101, 0, 1}}},
        {"a start at time 0 counts", 2000, {{0, 0, 0}, {1999, 0, 0}, {2000, 0, 1}}},
        {"across the clock's wrap", 2000, {{0xFFFFFF00u, 0, 0}, {0x6D0u, 0, 1}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MainIntro intro(nullptr, nullptr);
        for (const Step& s : c.steps)
            EXPECT_EQ(intro.ValidateTimer(s.now, c.duration, s.keys), s.expected) << s.now;
    }
}

TEST(MainIntro, BothPicturesMustLoad)
{
    Data data;
    MesaTarget mesa;
    if (!mesa.Ok())
        GTEST_SKIP() << "no headless Mesa context";
    MainIntro intro(mesa.Ctx(), &mesa.Text());
    EXPECT_EQ(intro.LoadIntro(&mesa.Props(), nullptr, 0), 0);
    data.dir.Write("data/2dgfx/norva.png", Picture(30, 20, 120));
    EXPECT_EQ(intro.LoadIntro(&mesa.Props(), nullptr, 0), 0);
    data.dir.Write("data/2dgfx/titlebackground.png", Picture(32, 24, 80));
    EXPECT_EQ(intro.LoadIntro(&mesa.Props(), nullptr, 0), 1);
    // The maker's picture for 2 s, centred on black; then the title for
    // 10 s, stretched over the whole screen.
    mesa.Ctx()->Clear(0xffff00ff);
    EXPECT_EQ(intro.ShowNorvalis(&mesa.Props(), 1000, 0), 0);
    auto f = mesa.Frame();
    EXPECT_EQ(f[0], 0u);
    EXPECT_EQ(f[size_t(H / 2) * W + W / 2 - 16], 0u);
    EXPECT_NE(f[size_t(H / 2) * W + W / 2 - 12], 0u);
    EXPECT_EQ(intro.ShowNorvalis(&mesa.Props(), 3000, 0), 1);
    mesa.Ctx()->Clear(0xffff00ff);
    EXPECT_EQ(intro.ShowTitle(&mesa.Props(), 3000, 0), 0);
    f = mesa.Frame();
    for (size_t i : {size_t(0), size_t(W - 1), f.size() / 2 + W / 2, f.size() - 1})
        EXPECT_NE(f[i], 0xff00ffu) << i;
    EXPECT_EQ(intro.ShowTitle(&mesa.Props(), 12999, 0), 0);
    EXPECT_EQ(intro.ShowTitle(&mesa.Props(), 13000, 0), 1);
}

} // namespace
