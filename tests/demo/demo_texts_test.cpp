// The interface texts of the built archive: every id the game shows is there
// and not empty in both languages, and the texts the game writes to the
// console fit its 38 characters. The ids the game shows are those of the
// text table's design (every id up to 408 but the unused ones) and every
// numbered text constant the game's sources name.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cctype>
#include <cstring>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "engine/runtime/pglobals.h"
#include "engine/runtime/pvfs.h"
#include "game/frontend/texts.h"

namespace {

constexpr int kLastId = 408;
// Ids no screen shows; their entries only keep the numbering.
constexpr int kUnused[][2] = {{0, 0},     {2, 6},     {12, 12},   {14, 16},   {21, 22},   {42, 42},   {44, 47},
                              {50, 51},   {104, 104}, {106, 106}, {126, 126}, {130, 133}, {138, 138},
                              {149, 168}, {172, 191}, {194, 194}, {196, 201}, {203, 219}, {221, 221}, {224, 232},
                              {234, 237}, {241, 242}, {247, 256}, {275, 276}, {384, 384}, {386, 397}};
// Interface texts the game adds to the console (a pilot's name and a blank
// go in front of the one that reports a pilot leaving).
struct ConsoleText {
    int id, room;
} const kConsoleTexts[] = {{171, 38}, {244, 38 - 16}};
// The medals' descriptions: eight lines each from 54, blank lines space them.
constexpr int kMedalLines = 54, kMedals = 6;

bool Unused(int id)
{
    for (auto const& r : kUnused)
        if (id >= r[0] && id <= r[1])
            return true;
    return false;
}

// The number after each `head` in s, when the head is followed (past
// identifier characters and `skip` characters) by digits.
void NumbersAfter(std::string const& s, std::string const& head, char const* skip, std::set<int>& out)
{
    for (size_t at = s.find(head); at != std::string::npos; at = s.find(head, at + 1)) {
        size_t i = at + head.size();
        // A name goes on with a capital: kTextMedal, not kTextures.
        if (std::isalpha(static_cast<unsigned char>(head.back())) &&
            !(i < s.size() && std::isupper(static_cast<unsigned char>(s[i]))))
            continue;
        while (i < s.size() && (std::isalnum(static_cast<unsigned char>(s[i])) || s[i] == '_'))
            i++;
        while (i < s.size() && std::strchr(skip, s[i]))
            i++;
        size_t digits = i;
        while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])))
            i++;
        if (i > digits && i - digits < 4)
            out.insert(std::stoi(s.substr(digits, i - digits)));
    }
}

// Every "kText... = N" and "GetStr(N)" of the game's sources.
std::set<int> IdsInSources()
{
    std::set<int> ids;
    for (auto const& e : std::filesystem::recursive_directory_iterator(std::string(KRV_SOURCE_DIR) + "/game")) {
        std::string ext = e.path().extension().string();
        if (ext != ".cpp" && ext != ".h")
            continue;
        std::ifstream in(e.path());
        std::stringstream text;
        text << in.rdbuf();
        NumbersAfter(text.str(), "kText", " =", ids);
        NumbersAfter(text.str(), "GetStr(", "", ids);
    }
    return ids;
}

TEST(DemoTexts, EveryShownInterfaceTextIsThereInBothLanguages)
{
    char tmpl[] = "/tmp/krv_texts_XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    std::string root = tmpl;
    ::setenv("VORNAPP_SAVEPATH", (root + "/").c_str(), 1);
    ::setenv("VORNAPPPATH", (root + "/").c_str(), 1);
    PVFS vfs;
    ASSERT_TRUE(vfs.OpenVFS(KRV_DEMO_ARCHIVE));
    PGlobals globals{};
    globals.archive = &vfs;
    PSetTls(&globals);

    std::set<int> shown = IdsInSources();
    EXPECT_GT(shown.size(), 50u); // the sources were found
    for (int id = 0; id <= kLastId; id++)
        if (!Unused(id))
            shown.insert(id);
    for (int id = kMedalLines; id < kMedalLines + 8 * kMedals; id++)
        if ((id - kMedalLines) % 8)
            shown.erase(id);
    for (int lang = 0; lang < 2; lang++) {
        Texts texts;
        ASSERT_EQ(texts.Init("data\\lang0.bin"), 1);
        ASSERT_EQ(texts.LoadLanguage(lang, "data\\lang0.bin"), 1);
        ASSERT_GT(int(texts.GetStringCount()), kLastId);
        for (int id : shown) {
            ASSERT_LT(id, int(texts.GetStringCount())) << "language " << lang;
            EXPECT_NE(*texts[id], 0) << "empty text " << id << ", language " << lang;
        }
        for (ConsoleText const& c : kConsoleTexts)
            EXPECT_LE(std::wcslen(texts[c.id]), size_t(c.room)) << "console text " << c.id << ", language " << lang;
    }
    PSetTls(nullptr);
    std::filesystem::remove_all(root);
}

} // namespace
