// The menu widgets on a 1024 x 600 Mesa context with the test font face.
#include <gtest/gtest.h>

#include "game/frontend/fonts.h"
#include "game/frontend/textinput.h"
#include "game/multiplayer/krvmpmsgbox.h"
#include "tests/engine/graphics/p3d_fixtures.h"
#include "tests/engine/graphics/png_gen.h"
#include "tests/game/frontend/frontend_fixture.h"
#include "tools/glreplay/pngio.h"

namespace {

constexpr int W = 1024, H = 600;

class Widgets : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir.WriteFonts();
        LangLanguage l{u"English", std::vector<std::u16string>(300)};
        l.strings[8] = u"YES", l.strings[9] = u"NO", l.strings[296] = u"OK";
        dir.Write("data/lang0.bin", fronttest::Encode({l}));
        PngSpec key;
        key.width = key.height = 4, key.rows.assign(48, 200);
        dir.Write("data/2dgfx/typing_bg.png", MakePng(key));
        ASSERT_TRUE(mesa.Ok());
        PDisplayProperties props{};
        mesa.display->GetInfo(props);
        ASSERT_TRUE(fonts.Init(mesa.ctx, &props) && fonts.LoadLanguage(0));
    }
    fronttest::ScratchDir dir;
    p3dtest::Mesa mesa{W, H};
    Fonts fonts;
};

TEST_F(Widgets, ButtonTouch)
{
    const PRect hot{0, 0, 10, 10};
    // Point, hot spot, disabled, hidden, touch style; pressed while down, release result.
    const struct { int x, y; bool hotSpot, disabled, hidden; uint8_t style; int pressed, click; } cases[] = {
        {100, 50, 0, 0, 0, 2, 1, 1}, {300, 94, 0, 0, 0, 2, 1, 1}, // edges are inside
        {301, 94, 0, 0, 0, 2, 0, 0}, {300, 95, 0, 0, 0, 2, 0, 0}, {150, 70, 0, 0, 1, 2, 0, 0},
        {150, 70, 0, 1, 0, 2, 1, 0}, // disabled: shows the press, never clicks
        {150, 70, 0, 0, 0, 0, 0, 0}, {150, 70, 1, 0, 0, 2, 0, 0}, {10, 10, 1, 0, 0, 2, 1, 1},
    };
    for (const auto& c : cases) {
        KrvMpButton b(&fonts);
        b.SetRect(100, 50, 200, 44);
        b.SetHotSpot(c.hotSpot ? &hot : nullptr);
        b.m_disabled = c.disabled, b.m_hidden = c.hidden, b.m_touchStyle = c.style;
        b.Touchscreen_Update(c.x, c.y, 1, 0);
        EXPECT_EQ(b.m_pressed, c.pressed) << c.x << "," << c.y;
        EXPECT_EQ(b.Touchscreen_Update(c.x, c.y, 0, 1), c.click) << c.x << "," << c.y;
    }
    KrvMpLabel name;
    name.SetText("\xC3\xA9T\xC3\x89"); // names are UTF-8
    EXPECT_EQ(std::wstring(name.GetText()), L"\u00E9T\u00C9");
    // A swapper's values are UTF-8 as well; a stray byte is one character.
    KrvMpSwapper swapper(&fonts);
    const char* values[] = {"J\xC3\xA4ger", "J\xE4ger"};
    swapper.SetValues(values, 2);
    swapper.SetValue(0);
    EXPECT_EQ(std::wstring(swapper.m_value.GetText()), L"J\u00E4ger");
    swapper.SetValue(1);
    EXPECT_EQ(std::wstring(swapper.m_value.GetText()), L"J\uFFFDger");
}

// Lines of 50 px from y 10 in a list 200 px high.
std::unique_ptr<KrvMpList> MakeList(Fonts* f, int lines, int top = 10)
{
    auto list = std::make_unique<KrvMpList>();
    list->m_rect = PRect{top, top, 300, 200};
    for (int i = 0; i < lines; i++) {
        auto* b = i % 2 ? new KrvMpButtonExt(f) : new KrvMpButton(f);
        b->m_rect.height = 50;
        b->m_caption.SetText("LINE");
        list->Add(b);
    }
    list->Generate(0);
    return list;
}

TEST_F(Widgets, ListTapAgainstDrag)
{
    const int cases[][2] = {{0, 1}, {34, 2}, {-34, 1}, {35, KrvMpList::kDragEnded}, {-35, KrvMpList::kDragEnded}};
    for (const auto& c : cases) {
        auto list = MakeList(&fonts, 10);
        list->TouchscreenUpdate(50, 100, 1, 0), list->TouchscreenUpdate(50, 100 + c[0], 1, 1);
        EXPECT_EQ(list->GetLine(1)->m_pressed || list->GetLine(2)->m_pressed, c[1] != KrvMpList::kDragEnded);
        EXPECT_EQ(list->TouchscreenUpdate(50, 100 + c[0], 0, 1), c[1]) << c[0];
    }
}

TEST_F(Widgets, ListScrollEasesToRestWithinBounds)
{
    auto list = MakeList(&fonts, 10); // 500 px of lines
    auto drag = [&](int dy) {
        list->TouchscreenUpdate(50, 100, 1, 0), list->TouchscreenUpdate(50, 140, 1, 1);
        list->TouchscreenUpdate(50, 140 + dy, 1, 1);
        EXPECT_EQ(list->TouchscreenUpdate(50, 140 + dy, 0, 1), KrvMpList::kDragEnded);
        for (int frames = 0, last = 1; last != list->m_scroll; frames++) {
            ASSERT_LT(frames, 30);
            last = list->m_scroll;
            list->TouchscreenUpdate(0, 0, 0, 0);
        }
    };
    drag(-1000);
    EXPECT_EQ(list->m_target, 200 - 500);
    EXPECT_LE(list->m_scroll - list->m_target, 3);
    drag(+1000);
    EXPECT_EQ(list->m_target, 0);
    EXPECT_GE(list->m_scroll, -3);

    list = MakeList(&fonts, 3); // 150 px: never scrolls
    drag(-1000);
    EXPECT_EQ(list->m_scroll, 0);
}

TEST_F(Widgets, MessageBox)
{
    // Content W - W/3 wide with 8 px of padding; three buttons of a third.
    const int layouts[][3] = {{1024, 683 + 16, 233}, {576, 400, 133}};
    for (const auto& l : layouts) {
        KrvMpMsgBox box(&fonts, l[0], H, nullptr);
        for (auto v : {KrvMpMsgBox::BUTTON_OK, KrvMpMsgBox::BUTTON_YES, KrvMpMsgBox::BUTTON_NO})
            box.ButtonAdd(v);
        box.ContentAdd("HELLO");
        box.Show();
        EXPECT_EQ(box.m_box.width, l[1]);
        EXPECT_EQ(box.m_box.height, fronttest::kHeight + 16 + 44);
        const PRect last = box.m_buttons[2].first->m_rect;
        EXPECT_EQ(last.width, l[2]);
        EXPECT_EQ(last.x + last.width, box.m_box.x + 3 * l[2]);
    }
    // Hot spots reach 12 px above and below; a callback that shows a new box
    // keeps it up. A box answers only a tap pressed after it was drawn: not
    // the end of a touch begun before, nor the release that answered the box
    // before it. Each Update is a frame, which ends with the box drawn.
    KrvMpMsgBox box(&fonts, W, H, nullptr);
    static int calls = 0;
    box.ButtonAdd(KrvMpMsgBox::BUTTON_YES);
    box.ButtonAdd(KrvMpMsgBox::BUTTON_NO);
    box.ContentAdd(1);
    box.SetCallback(
        [](int, void* user) {
            auto* b = static_cast<KrvMpMsgBox*>(user);
            if (++calls == 1)
                b->Hide(), b->ButtonAdd(KrvMpMsgBox::BUTTON_OK), b->ContentAdd(L"AGAIN"), b->Show();
        },
        &box);
    box.PenEvent(true);
    box.Show();
    const PRect no = box.m_buttons[1].first->m_rect;
    box.Render(mesa.ctx);
    box.PenEvent(false);
    EXPECT_EQ(box.Update(no.x + 5, no.y + 5, 0, 1), 0);
    box.Render(mesa.ctx);
    auto frame = [&](int x, int y, int down, int was) {
        const int v = box.Update(x, y, down, was);
        box.Render(mesa.ctx);
        return v;
    };
    auto tap = [&](int x, int y) {
        box.PenEvent(true);
        frame(x, y, 1, 0);
        box.PenEvent(false);
        return frame(x, y, 0, 1);
    };
    EXPECT_EQ(tap(no.x + 5, no.y - 13), 0);
    EXPECT_EQ(tap(no.x + 5, no.y + no.height + 12), KrvMpMsgBox::BUTTON_NO);
    ASSERT_TRUE(box.IsVisible() && box.m_buttons.size() == 1);
    const int okY = box.m_buttons[0].first->m_rect.y - 12;
    EXPECT_EQ(frame(no.x + 5, okY, 0, 1), 0);
    EXPECT_EQ(tap(no.x + 5, okY), KrvMpMsgBox::BUTTON_OK);
    EXPECT_EQ(calls, 1); // the new box has no callback
    EXPECT_FALSE(box.IsVisible());

    // Shown but not drawn yet (the second tap of a double tap that comes
    // before the box is on the screen): that tap answers nothing, also when
    // it ends after the box was drawn, nor does a box laid out anew take the
    // tap pressed before; the next tap does.
    box.ButtonAdd(KrvMpMsgBox::BUTTON_YES);
    box.ContentAdd(1);
    box.Show();
    const PRect yes = box.m_buttons[0].first->m_rect;
    box.PenEvent(true);
    EXPECT_EQ(box.Update(yes.x + 5, yes.y + 5, 1, 0), 0);
    EXPECT_FALSE(box.m_buttons[0].first->m_pressed) << "a tap the box does not take shows no press";
    box.Render(mesa.ctx);
    box.PenEvent(false);
    EXPECT_EQ(frame(yes.x + 5, yes.y + 5, 0, 1), 0);
    box.Show();
    box.PenEvent(true);
    box.Render(mesa.ctx);
    box.PenEvent(false);
    EXPECT_EQ(frame(yes.x + 5, yes.y + 5, 0, 1), 0);
    EXPECT_EQ(tap(yes.x + 5, yes.y + 5), KrvMpMsgBox::BUTTON_YES);
}

TEST_F(Widgets, Keyboard)
{
    KrvMpTxtInput kb(&fonts);
    kb.m_width = W;
    kb.KeysGenerate(mesa.ctx, nullptr, KrvMpTxtInput::KEYBOARD_QWERTY);
    ASSERT_EQ(kb.m_keys.size(), 38u);
    EXPECT_EQ(kb.m_keys[30].x, 336);
    auto tap = [&](int i) { // at the key's far corner, which still belongs to it
        const int x = kb.m_keys[size_t(i)].x + 44, y = kb.m_keys[size_t(i)].y + 44;
        return kb.Update(x, y, 1, 0), kb.Update(x, y, 0, 1);
    };
    kb.KeysGenerate(mesa.ctx, nullptr, KrvMpTxtInput::KEYBOARD_NUMPAD);
    kb.GetActiveInput()->SetText("10.0.0.7:5000");
    EXPECT_EQ(tap(11), 8); // '<'
    EXPECT_EQ(tap(9), ' ');
    EXPECT_STREQ(kb.GetActiveInput()->GetString(), "10.0.0.7:500");
    kb.Render(mesa.ctx);
}

TEST_F(Widgets, DrawsOnMesa)
{
    glClear(GL_COLOR_BUFFER_BIT);
    KrvMpButton buttons[3] = {KrvMpButton(&fonts), KrvMpButton(&fonts), KrvMpButton(&fonts)};
    for (int i = 0; i < 3; i++)
        buttons[i].SetRect(40 + 180 * i, 40, 160, 44), buttons[i].m_caption.SetText("JOIN");
    buttons[1].m_pressed = buttons[2].m_disabled = 1;
    for (auto& b : buttons)
        b.Render(mesa.ctx);
    const auto f = mesa.Read();
    // A button's three outlines and black inside; highlight and veil over black.
    const int pixels[][3] = {{40, 60, 0x440808}, {39, 60, 0x990B0B}, {38, 60, 0x440808}, {37, 60, 0},
                             {45, 45, 0},        {120, 40, 0x440808}, {120, 84, 0x990B0B}, {120, 85, 0x440808},
                             {120, 86, 0},       {200, 60, 0x990B0B}, {225, 45, 0x7F6544}, {405, 45, 0x1B0303}};
    for (const auto& p : pixels)
        for (int sh = 0; sh < 24; sh += 8)
            EXPECT_NEAR(int(mesa.At(f, p[0], p[1]) >> sh & 0xFF), p[2] >> sh & 0xFF, 1) << p[0] << "," << p[1];

    MakeList(&fonts, 6, 120)->Render(mesa.ctx);
    KrvMpMsgBox box(&fonts, W, H, nullptr);
    box.ButtonAdd(KrvMpMsgBox::BUTTON_YES);
    box.ButtonAdd(KrvMpMsgBox::BUTTON_NO);
    box.ContentAdd("LEAVE THE ROOM?");
    box.Show();
    EXPECT_EQ(box.Render(mesa.ctx), 1);
    if (const char* out = std::getenv("KRV_WIDGETS_FRAME")) { // to look at
        glreplay::Image img{W, H, mesa.Read()};
        for (size_t i = 3; i < img.rgba.size(); i += 4)
            img.rgba[i] = 255; // blending leaves the alpha channel partly clear
        std::string err;
        glreplay::WritePng(out, img, err);
    }
}

} // namespace
