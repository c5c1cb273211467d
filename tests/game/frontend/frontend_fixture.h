// Shared set-up of the front-end tests: the scratch directory with the six
// fonts of the text service made with the .fnt writer (a fixed-width test
// face), and language files made with the language writer.
#pragma once
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/engine/graphics/font_fixture.h"
#include "tests/game/world/game_fixture.h"
#include "tests/tools/tool_runner.h"
#include "tools/lib/lang_writer.h"

namespace fronttest {

// The test face: every printable ASCII character is 3 pixels of ink and one
// blank column (advance 4), 8 rows high; the space is blank.
constexpr int kAdvance = 4;
constexpr int kInk = 3;
constexpr int kHeight = 8;

inline std::vector<uint8_t> TestFace(int height = kHeight)
{
    fonttest::FontDesc d;
    d.height = height;
    d.width = kAdvance;
    for (uint32_t c = 32; c < 127; c++)
        d.glyphs.push_back({c, 0, kInk, kAdvance - kInk});
    d.coverage = [](uint32_t code, int, int) -> uint8_t { return code == ' ' ? 0 : 255; };
    return fonttest::MakeFont(d);
}

// The game tests' scratch directory, with the six fonts of the text service
// (all the test face) on request.
class ScratchDir : public gametest::ScratchDir {
public:
    void WriteFonts(int height = kHeight) const
    {
        const auto face = TestFace(height);
        for (const char* name : {"font12x16", "font16x20", "font20x28", "prop", "font12x16_", "font6x8"})
            Write(std::string("data/fonts/") + name + ".fnt", face);
    }
};

inline std::u16string U16(const std::u32string& s) { return std::u16string(s.begin(), s.end()); }

inline LangLanguage Language(const std::u32string& name, std::initializer_list<std::u32string> strings)
{
    LangLanguage l;
    l.name = U16(name);
    for (const auto& s : strings)
        l.strings.push_back(U16(s));
    return l;
}

inline std::vector<uint8_t> Encode(const std::vector<LangLanguage>& languages, PlzpForm form = PlzpForm::Zlib)
{
    std::vector<uint8_t> out;
    std::string err;
    EXPECT_TRUE(LangEncode(languages, form, &out, &err)) << err;
    return out;
}

inline std::wstring Wide(const std::u16string& s) { return std::wstring(s.begin(), s.end()); }

} // namespace fronttest
