// The German interface texts of the demo archive on their way to the
// screen: every text with a letter beyond ASCII reaches the fonts as the
// same characters on every path that shows texts (front end, game and
// multiplayer menus), none of them split into the bytes of its UTF-8 form.
//
// The fonts are test faces with ASCII glyphs only, so every other
// character is handed to their fallback font, which records it.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "engine/graphics/pfont.h"
#include "engine/graphics/punicodefont3d.h"
#include "engine/runtime/pglobals.h"
#include "engine/runtime/pstring.h"
#include "engine/runtime/pvfs.h"
#include "game/frontend/fonts.h"
#include "game/frontend/profilemanager.h"
#include "game/frontend/texts.h"
#include "game/multiplayer/krvmpmsgbox.h"
#include "game/world/console.h"
#include "game/world/myinput.h"
#include "tests/game/frontend/frontend_fixture.h"

#ifdef KRV_DEMO_ARCHIVE
namespace {

constexpr int kW = 1024, kH = 600;
constexpr int kGerman = 1;

// The characters a font could not print itself, in order.
class Recorder : public PFont {
public:
    int StringWidth(const wchar_t* s, int* h, int n) const override { return Measure(h, n < 0 ? Len(s) : n); }
    int StringWidth(const char* s, int* h, int n) const override { return Measure(h, CountChars(s, n)); }
    int Print(const char*, int, int, int) const override { return 0; }
    int Print(const wchar_t* s, int, int, int n) const override
    {
        const int count = n < 0 ? Len(s) : n;
        seen.append(s, size_t(count));
        return 4 * count;
    }
    mutable std::wstring seen;

private:
    static int Len(const wchar_t* s) { return s ? int(std::wcslen(s)) : 0; }
    int Measure(int* h, int count) const
    {
        if (h)
            *h = 8;
        return 4 * count;
    }
};

// The characters beyond ASCII of the first `kept` characters of a text; the
// section sign ends a line in wrapped texts and is never printed there.
std::wstring Beyond(const std::wstring& text, size_t kept = std::wstring::npos)
{
    std::wstring out;
    for (wchar_t c : text.substr(0, kept))
        if (c > 0x7E && c != Fonts::kSectionSign)
            out += c;
    return out;
}

std::string Shown(const std::wstring& w) { return PString(w.c_str()).c_str(); }

class GermanTexts : public testing::Test {
protected:
    void SetUp() override
    {
        if (!std::filesystem::exists(KRV_DEMO_ARCHIVE))
            GTEST_SKIP() << "the demo archive is not built";
        dir.WriteFonts();
        ASSERT_TRUE(vfs.OpenVFS(KRV_DEMO_ARCHIVE));
        globals.archive = &vfs;
        PSetTls(&globals);
        ASSERT_TRUE(rec.Create());
        PDisplayProperties props{};
        props.width = kW;
        props.height = kH;
        ASSERT_EQ(fonts.Init(rec.ctx, &props), 1);
        ASSERT_EQ(fonts.LoadLanguage(kGerman), 1);
        for (int i = 0; i < Fonts::kFontCount; i++)
            fonts.GetFont(i)->fallback = &recorder;
    }
    void TearDown() override { PSetTls(nullptr); }

    // What the fonts were handed while `draw` ran, beyond ASCII.
    template <class Draw> std::wstring Seen(Draw draw)
    {
        recorder.seen.clear();
        draw();
        return Beyond(recorder.seen);
    }

    fronttest::ScratchDir dir;
    PVFS vfs;
    PGlobals globals{};
    p3dtest::Recorded rec{kW, kH};
    Fonts fonts;
    Recorder recorder;
};

TEST_F(GermanTexts, ReachTheFontsWholeOnEveryPath)
{
    Texts table;
    ASSERT_EQ(table.Init("data\\lang0.bin"), 1);
    ASSERT_EQ(table.LoadLanguage(kGerman, "data\\lang0.bin"), 1);
    MyInput input;
    ProfileManager profiles(rec.ctx, &fonts, nullptr, &input, kW, kH, nullptr);
    int checked = 0;
    for (unsigned id = 0; id < table.GetStringCount(); id++) {
        const std::wstring text = fonts.GetStr(id);
        const std::wstring want = Beyond(text);
        if (want.empty())
            continue;
        checked++;
        const std::string utf8 = Shown(text);
        SCOPED_TRACE("text " + std::to_string(id) + ": " + utf8);

        // Pages, orders, buttons and the HUD print by id; the question box,
        // the orders and the help wrap.
        EXPECT_EQ(Seen([&] { fonts.Print(10, 10, id, 0, Fonts::kLeft); }), want) << "by id";
        EXPECT_EQ(Seen([&] { fonts.PrintSection(1, 0, 10, 10, kW, text.c_str(), Fonts::kCenter); }), want)
            << "wrapped";
        // Menu rows, the level page's label and the HUD's names are 8-bit,
        // measured as they are printed.
        EXPECT_EQ(Seen([&] { fonts.Print(10, 10, utf8.c_str(), 3, Fonts::kCenter); }), want) << "8-bit";
        EXPECT_EQ(Seen([&] { fonts.PrintCentered(2, 10, utf8.c_str(), 0); }), want) << "8-bit centred";
        EXPECT_EQ(fonts.StringWidth(0, utf8.c_str()), fonts.StringWidth(0, text.c_str())) << "8-bit width";

        // The menus' message window: lines kept as PStrings.
        profiles.WarningWnd_Zero();
        PString line(text.c_str());
        profiles.WarningWnd_AddTxt(&line);
        profiles.WarningWnd_ButtonsHide(true);
        profiles.InitWarningWindow();
        for (int step = 0; step < 8; step++)
            profiles.WarningWnd_Process(0);
        EXPECT_EQ(Seen([&] { profiles.WarningWnd_Draw(); }), want) << "message window";

        // The console, from wide and from 8-bit text.
        Console console(nullptr, &fonts);
        console.AddElement(text.c_str());
        console.AddElement(static_cast<const wchar_t*>(nullptr)); // a rule between
        console.AddElement(utf8.c_str());
        const std::wstring line38 = Beyond(text, Console::kLineLength);
        EXPECT_EQ(Seen([&] { console.Render(rec.ctx, 0, 0, 0); }), line38 + line38) << "console";

        // The multiplayer message box: a text id and an 8-bit line.
        KrvMpMsgBox box(&fonts, kW, kH, nullptr);
        box.ContentAdd(int(id));
        box.ContentAdd(utf8.c_str());
        box.Show();
        const std::wstring label = Beyond(text, KrvMpLabel::kMaxChars);
        EXPECT_EQ(Seen([&] { box.Render(rec.ctx); }), label + label) << "multiplayer message box";
    }
    // Some sixty texts, the tutorial offer and the multiplayer notice among them.
    EXPECT_GT(checked, 40);
}

} // namespace
#endif
