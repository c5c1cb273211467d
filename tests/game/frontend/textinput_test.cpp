// The one-line editor: multi-tap letters as on a telephone keypad (ITU-T
// E.161: 2 abc, 3 def, 4 ghi, 5 jkl, 6 mno, 7 pqrs, 8 tuv, 9 wxyz), the
// qwerty mode, cursor movement, deletion and the text limits.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/runtime/ptime.h"
#include "game/frontend/textinput.h"

namespace {

// One key event, after `waitMs` of (simulated) time since the previous one.
struct Press {
    int ch;
    int key;
    uint32_t waitMs = 0;
};

// Moves the ticker forward without waiting: its reading grows by ms.
void Advance(PTicker& t, uint32_t ms) { t.Adjust(0u - ms); }

std::string Type(TextInput& in, PTicker& t, const std::vector<Press>& presses)
{
    for (const Press& p : presses) {
        Advance(t, p.waitMs);
        in.HandleNumpadInput(p.ch, p.key);
    }
    return in.GetString();
}

TEST(TextInput, MultiTapFollowsTheTelephoneKeypad)
{
    struct Case {
        const char* what;
        std::vector<Press> presses;
        const char* expected;
    } cases[] = {
        {"one tap", {{0, '2'}}, "A"},
        {"three taps", {{0, '2'}, {0, '2'}, {0, '2'}}, "C"},
        {"four taps: the digit", {{0, '2'}, {0, '2'}, {0, '2'}, {0, '2'}}, "2"},
        {"five taps wrap", {{0, '2'}, {0, '2'}, {0, '2'}, {0, '2'}, {0, '2'}}, "A"},
        {"a pause starts a new letter", {{0, '2'}, {0, '2', 1500}}, "AA"},
        {"just within the window", {{0, '2'}, {0, '2', 1000}}, "B"},
        {"another key is another letter", {{0, '2'}, {0, '3'}}, "AD"},
        {"four letters on 7", {{0, '7'}, {0, '7'}, {0, '7'}, {0, '7'}, {0, '7'}}, "7"},
        {"four letters on 9", {{0, '9'}, {0, '9'}, {0, '9'}, {0, '9'}}, "Z"},
        {"# types an underscore", {{0, '#'}, {0, '#'}}, "_"},
        {"1 cycles minus and 1", {{0, '1'}, {0, '1'}, {0, '1'}}, "-"},
        {"0 is the digit", {{0, '0'}, {0, '0'}}, "0"},
        {"other keys are ignored", {{0, 'x'}, {0, '2'}, {0, '+'}}, "A"},
        {"both zero is nothing", {{0, 0}, {0, '2'}}, "A"},
        {"* makes the next letters lower case", {{0, '2'}, {0, '*'}, {0, '3', 1500}, {0, '3'}}, "Ae"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PTicker t;
        TextInput in(nullptr, &t);
        EXPECT_EQ(Type(in, t, c.presses), c.expected);
    }
}

TEST(TextInput, CaseIndicatorAndForcedUpperCase)
{
    PTicker t;
    TextInput in(nullptr, &t);
    std::string seen = in.GetCaseIndicator();
    for (int i = 0; i < 2; i++) {
        in.HandleNumpadInput(0, '*');
        seen += std::string(" ") + in.GetCaseIndicator();
    }
    in.ForceUpperCase(1);
    in.HandleNumpadInput(0, '*');
    in.SetText("abc");
    in.HandleNumpadInput(8, 0); // deleting keeps forced upper case
    seen += std::string(" ") + in.GetCaseIndicator();
    EXPECT_EQ(seen, "ABC abc ABC ABC");
}

TEST(TextInput, QwertyMode)
{
    struct Case {
        const char* what;
        const char* start;
        std::vector<Press> presses;
        const char* expected;
    } cases[] = {
        {"letters in upper case", "", {{'q', 0}, {'W', 0}}, "QW"},
        {"digits and minus from the key", "", {{0, '7'}, {0, '-'}}, "7-"},
        {"other characters are ignored", "", {{'!', '!'}, {0, '+'}}, ""},
        {"the delete code deletes", "ab", {{8, 0}}, "a"},
        {"inserted at the cursor", "ac", {{8, 0}, {'b', 0}, {'c', 0}}, "aBC"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PTicker t;
        TextInput in(c.start, &t);
        in.SetQwerty(1);
        EXPECT_EQ(Type(in, t, c.presses), c.expected);
    }
    // Nothing goes in past the maximum length.
    PTicker t;
    TextInput in("abc", &t);
    in.SetQwerty(1);
    in.SetMaxTextLength(3);
    EXPECT_EQ(Type(in, t, {{'d', 0}}), "abc");
}

TEST(TextInput, CursorMovesAndDeletes)
{
    PTicker t;
    TextInput in("AB", &t);
    // The cursor starts at the end; delete at the start takes the first.
    EXPECT_EQ(in.GetCursor(), 2);
    for (int i = 0; i < 3; i++)
        in.HandleLeftArrowEvent();
    in.HandleNumpadInput(8, 0);
    EXPECT_STREQ(in.GetString(), "B");
    EXPECT_EQ(in.GetCursor(), 0);
    // An arrow ends a multi-tap sequence: the same key gives a new letter.
    in.HandleRightArrowEvent();
    in.HandleRightArrowEvent();
    Type(in, t, {{0, '2'}});
    in.HandleLeftArrowEvent();
    in.HandleRightArrowEvent();
    Type(in, t, {{0, '2'}});
    EXPECT_STREQ(in.GetString(), "Baa");
    EXPECT_EQ(in.GetCharAtCursor(-100), 'B');
    in.SetDeleteKey(127);
    in.HandleNumpadInput(0, 127);
    EXPECT_STREQ(in.GetString(), "Ba");
}

TEST(TextInput, TextOfTheFullLengthStaysTerminated)
{
    const std::string longer(200, 'x');
    PTicker t;
    TextInput in(longer.c_str(), &t);
    EXPECT_EQ(std::string(in.GetString()), longer.substr(0, TextInput::kMaxLength));
    EXPECT_EQ(in.GetCursor(), TextInput::kMaxLength);
    EXPECT_EQ(in.GetCharAtCursor(0), 0);
    EXPECT_EQ(in.GetCharAtCursor(1000), 0);
    // Full: a key replaces the last character, the next tap cycles it.
    Type(in, t, {{0, '2'}, {0, '2'}});
    EXPECT_EQ(TextInput::StrLen(in.GetString()), TextInput::kMaxLength);
    EXPECT_EQ(in.GetString()[TextInput::kMaxLength - 1], 'b');
    in.SetMaxTextLength(1000);
    in.SetQwerty(1);
    Type(in, t, {{'z', 0}});
    EXPECT_EQ(TextInput::StrLen(in.GetString()), TextInput::kMaxLength);
    in.AddLetter(2, 0);
    in.AddLetterQwerty('q', 5);
    EXPECT_EQ(TextInput::StrLen(in.GetString()), TextInput::kMaxLength);
    EXPECT_EQ(in.GetString()[0], 'x');
}

} // namespace
