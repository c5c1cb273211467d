// The message lines over the game view: what is kept, when lines expire (on
// the runtime's virtual clock) and how they are drawn (on Mesa).
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/runtime/ptime.h"
#include "game/world/console.h"
#include "tests/game/frontend/screens_fixture.h"

namespace {

std::vector<std::wstring> Lines(const Console& c)
{
    std::vector<std::wstring> out;
    for (int i = 0; i < c.GetCount(); i++)
        out.emplace_back(c.GetLine(i));
    return out;
}

TEST(Console, KeepsTheNewestLinesWithoutRepeats)
{
    using V = std::vector<std::wstring>;
    PTicker ticker;
    {
        Console c(&ticker, nullptr);
        for (int i = 0; i < 11; i++)
            c.AddElement(("message " + std::to_string(i)).c_str());
        ASSERT_EQ(c.GetCount(), 10);
        EXPECT_EQ(c.GetLine(0), std::wstring(L"message 1"));
        EXPECT_EQ(c.GetLine(9), std::wstring(L"message 10"));
    }
    struct Case {
        const char* what;
        std::vector<const char*> added; // null: a separator
        V expected;
    } cases[] = {
        {"a repeat is shown once", {"kill", "kill"}, {L"kill"}},
        {"with another in between it is shown twice", {"kill", "join", "kill"}, {L"kill", L"join", L"kill"}},
        {"two separators give one rule", {"a", nullptr, nullptr, "b", nullptr}, {L"a", L"-", L"b", L"-"}},
        {"a line starting with a minus counts as a rule", {"-x", nullptr}, {L"-x"}},
        {"a long line keeps 38 characters and is added each time",
         {"0123456789012345678901234567890123456789012345678X", "0123456789012345678901234567890123456789012345678X"},
         {L"01234567890123456789012345678901234567", L"01234567890123456789012345678901234567"}},
        {"a text of exactly 38 characters is a repeat",
         {"01234567890123456789012345678901234567", "01234567890123456789012345678901234567"},
         {L"01234567890123456789012345678901234567"}},
        {"8-bit lines are UTF-8", {"\xc3\xa9t\xc3\xa9"}, {L"\u00e9t\u00e9"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Console con(&ticker, nullptr);
        for (const char* t : c.added)
            con.AddElement(t);
        EXPECT_EQ(Lines(con), c.expected);
    }
}

TEST(Console, CapacityAndRemovalAreChecked)
{
    PTicker ticker;
    Console big(&ticker, nullptr, 200, 7000);
    for (int i = 0; i < 130; i++)
        big.AddElement(std::to_wstring(i).c_str());
    EXPECT_EQ(big.GetCount(), Console::kMaxCapacity);
    EXPECT_EQ(std::wstring(big.GetLine(0)), L"3");

    Console c(&ticker, nullptr, 3, 7000);
    c.AddElement(L"a");
    c.AddElement(L"b");
    for (int bad : {-1, 2, 100})
        c.RemoveElement(bad);
    c.RemoveElement(0);
    EXPECT_EQ(Lines(c), (std::vector<std::wstring>{L"b"}));

    Console none(&ticker, nullptr, 0, 7000);
    none.AddElement(L"lost");
    none.RemoveElement(0);
    none.ProcessRemovingElements();
    EXPECT_EQ(none.GetCount(), 0);
}

class ConsoleClock : public testing::Test {
protected:
    void SetUp() override { PSetVirtualClock(1); }
    void TearDown() override { PSetVirtualClock(0); }
};

TEST_F(ConsoleClock, LinesExpireOneAFrameAfterTheirLife)
{
    PTicker ticker;
    Console c(&ticker, nullptr);
    c.AddElement(L"first"); // t = 0
    PAdvanceVirtualClock(1000);
    c.AddElement(L"second"); // t = 1000
    PAdvanceVirtualClock(5999);
    c.ProcessRemovingElements(); // 6999
    EXPECT_EQ(c.GetCount(), 2);
    PAdvanceVirtualClock(1);
    c.ProcessRemovingElements(); // 7000: the first goes
    EXPECT_EQ(Lines(c), (std::vector<std::wstring>{L"second"}));
    PAdvanceVirtualClock(5000);
    c.AddElement(L"third"); // 12000
    // Two lines past their time go on two successive frames, oldest first.
    PAdvanceVirtualClock(7000);
    c.ProcessRemovingElements();
    EXPECT_EQ(Lines(c), (std::vector<std::wstring>{L"third"}));
    c.ProcessRemovingElements();
    EXPECT_EQ(c.GetCount(), 0);
}

TEST(ConsoleDraw, TextLinesAndRules)
{
    screentest::Data data;
    screentest::MesaTarget mesa;
    if (!mesa.Ok())
        GTEST_SKIP() << "no headless Mesa context";
    PTicker ticker;
    Console c(&ticker, &mesa.Text());
    c.AddElement("AB");
    c.AddElement(static_cast<const char*>(nullptr));
    c.AddElement("C");
    mesa.Ctx()->Clear(0xffc0c0c0);
    c.Render(mesa.Ctx(), 10, 20, 0);
    const auto f = mesa.Frame();
    const int lh = mesa.Text().Height(Console::kFont);
    auto at = [&](int x, int y) { return f[size_t(y) * screentest::W + x]; };
    const uint32_t grey = at(0, 0);
    auto inked = [&](int y0) {
        int n = 0;
        for (int y = y0; y < y0 + lh; y++)
            for (int x = 10; x < 40; x++)
                n += at(x, y) != grey;
        return n;
    };
    EXPECT_GT(inked(20), 0);          // line 0: text
    EXPECT_GT(inked(20 + 2 * lh), 0); // line 2: text
    EXPECT_EQ(inked(20 + 3 * lh), 0); // nothing below
    // Line 1: a half-dark rule 280 pixels long (to the screen's edge here)
    // through the middle of its line, and nothing else.
    const int ruleY = 20 + lh + lh / 2;
    EXPECT_NEAR(int(at(10, ruleY) & 0xff), 0x60, 2);
    EXPECT_NEAR(int(at(screentest::W - 1, ruleY) & 0xff), 0x60, 2);
    EXPECT_EQ(at(9, ruleY), grey);
    EXPECT_EQ(inked(20 + lh), 30);
}

} // namespace
