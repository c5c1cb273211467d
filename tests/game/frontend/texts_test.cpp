// Language text files: files from an independent Python writer and from the
// tools' writer read back exactly; damaged files are refused or repaired.
#include <random>

#include "engine/runtime/pstream.h"
#include "game/frontend/texts.h"
#include "tests/game/frontend/frontend_fixture.h"
#include "tests/largest_allocation.h"
#include "tools/lib/plzp_writer.h"

using namespace fronttest;

namespace {

// A random text of BMP characters (no NUL, no surrogates), line feeds and
// section signs included.
std::u16string RandomText(std::mt19937& rng, int maxLen)
{
    static const char16_t kPool[] = u"abcXYZ 019 \n\u00A7\u00E9\u00FF\u0416\u4E2D\uFFFD\u0100\u7FFF";
    std::u16string s;
    const int n = int(rng() % unsigned(maxLen + 1));
    for (int i = 0; i < n; i++) {
        if (rng() % 4 == 0)
            s += char16_t(1 + rng() % 0xD7FF);
        else
            s += kPool[rng() % (sizeof kPool / sizeof kPool[0] - 1)];
    }
    return s;
}

std::string JsonString(const std::u16string& s)
{
    std::string out = "\"";
    char buf[8];
    for (char16_t c : s) {
        std::snprintf(buf, sizeof buf, "\\u%04x", unsigned(c));
        out += buf;
    }
    return out + "\"";
}

// Writes the languages with the Python writer; false when it fails.
bool PythonWrite(const std::string& path, const std::vector<LangLanguage>& langs, bool plzp)
{
    std::string json = "{\"out\": \"" + path + "\", \"plzp\": " + (plzp ? "true" : "false") + ", \"languages\": [";
    for (size_t i = 0; i < langs.size(); i++) {
        json += (i ? ", " : "") + std::string("{\"name\": ") + JsonString(langs[i].name) + ", \"strings\": [";
        for (size_t k = 0; k < langs[i].strings.size(); k++)
            json += (k ? ", " : "") + JsonString(langs[i].strings[k]);
        json += "]}";
    }
    json += "]}";
    const std::string request = path + ".json";
    std::ofstream(request) << json;
    return tooltest::RunCommand("python3 '" KRV_SOURCE_DIR "/tests/game/frontend/lang_fixture.py' < '" + request + "'").code == 0;
}

// Expects the file to hold exactly these languages.
void ExpectReadsBack(const std::string& path, const std::vector<LangLanguage>& langs)
{
    Texts t;
    ASSERT_EQ(t.Init(path.c_str()), 1);
    ASSERT_EQ(t.GetLanguageCount(), langs.size());
    size_t count = 0;
    for (const auto& l : langs)
        count = std::max(count, l.strings.size());
    ASSERT_EQ(t.GetStringCount(), count);
    for (size_t i = 0; i < langs.size(); i++)
        EXPECT_EQ(t.GetLanguageName(int(i)), Wide(langs[i].name));
    for (size_t i = 0; i < langs.size(); i++) {
        ASSERT_EQ(t.LoadLanguage(int(i), path.c_str()), 1);
        for (size_t k = 0; k < count; k++) {
            const std::u16string want = k < langs[i].strings.size() ? langs[i].strings[k] : u"";
            ASSERT_EQ(t[int(k)], Wide(want)) << "language " << i << " text " << k;
        }
        EXPECT_STREQ(t[-1], L"");
        EXPECT_STREQ(t[int(count)], L"");
    }
    EXPECT_STREQ(t.GetLanguageName(-1), L"");
    EXPECT_STREQ(t.GetLanguageName(int(langs.size())), L"");
}

// Two languages of three texts, from the tools' writer.
std::vector<LangLanguage> Small()
{
    return {Language(U"English", {U"YES", U"NO", U"PILOT \u00A7 ONE"}), Language(U"Deutsch", {U"JA", U"NEIN", U""})};
}

} // namespace

TEST(TextsFile, IndependentAndToolWrittenFilesReadBackExactly)
{
    ScratchDir dir;
    std::mt19937 rng(7);
    for (int round = 0; round < 2; round++) {
        std::vector<LangLanguage> langs;
        const int languages = 1 + 2 * round;
        for (int i = 0; i < languages; i++) {
            LangLanguage l;
            l.name = RandomText(rng, 12);
            if (l.name.empty())
                l.name = u"L";
            // Languages of unequal length: the shorter ones read empty behind.
            const int count = int(rng() % 120);
            for (int k = 0; k < count; k++)
                l.strings.push_back(RandomText(rng, 40));
            langs.push_back(std::move(l));
        }
        for (bool plzp : {false, true}) {
            const std::string py = dir.Full("py" + std::to_string(round) + (plzp ? "h" : "") + ".bin");
            ASSERT_TRUE(PythonWrite(py, langs, plzp));
            ExpectReadsBack(py, langs);
            const std::string tool = dir.Full("tool" + std::to_string(round) + (plzp ? "h" : "") + ".bin");
            dir.Write(tool.substr(dir.path.size() + 1), Encode(langs, plzp ? PlzpForm::Header : PlzpForm::Zlib));
            ExpectReadsBack(tool, langs);
        }
    }
}

TEST(TextsFile, DamagedHeadersAndTablesAreRefused)
{
    ScratchDir dir;
    const std::vector<uint8_t> good = Encode(Small());
    // Name block: "English\0Deutsch\0" = 16 units = 32 bytes; table at 52.
    const uint32_t table = 20 + 32;
    struct Case {
        const char* what;
        uint32_t at, value;
    } cases[] = {
        {"name block beyond the file", 16, uint32_t(good.size())},
        {"languages beyond the file", 4, 1000},
        {"huge language count", 4, 0x10000000},
        {"huge string count", 8, 0x7FFFFFFF},
        {"more strings than the text holds", 8, 100},
        {"block offset beyond the file", table, uint32_t(good.size())},
        {"odd inflated size", table + 4, 13},
        {"inflated size over the limit", table + 16 + 4, Texts::kMaxInflated + 2},
        {"name index beyond the name block", table + 16 + 12, 16},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bad = good;
        PStore32(bad.data() + c.at, c.value);
        dir.Write("bad.bin", bad);
        Texts t;
        EXPECT_EQ(t.Init(dir.Full("bad.bin").c_str()), 0) << c.what;
        EXPECT_EQ(t.GetLanguageCount(), 0u) << c.what;
        EXPECT_EQ(t.LoadLanguage(0, dir.Full("bad.bin").c_str()), 0) << c.what;
        EXPECT_STREQ(t[0], L"") << c.what;
    }
    Texts missing;
    EXPECT_EQ(missing.Init(dir.Full("none.bin").c_str()), 0);
}

// A block that claims far more text than its compressed bytes hold costs
// only what they hold: 48 bytes that claim 16 MiB, and a real text whose
// entry claims the limit.
TEST(TextsFile, ClaimedSizesCostOnlyWhatTheDataHolds)
{
    ScratchDir dir;
    std::vector<uint8_t> big = Encode(Small());
    PStore32(big.data() + 52 + 4, Texts::kMaxInflated);
    dir.Write("big.bin", big);
    const std::string files[] = {KRV_SOURCE_DIR "/tests/fuzz/corpus/lang/claims_16mib.bin", dir.Full("big.bin")};
    for (const std::string& path : files) {
        Texts t;
        int loaded = 0;
        EXPECT_LT(testalloc::LargestAllocation([&] { loaded = t.Init(path.c_str()) + t.LoadLanguage(0, path.c_str()); }),
                  256u << 10)
            << path;
        ASSERT_EQ(loaded, 2) << path;
        EXPECT_STREQ(t[int(t.GetStringCount())], L"");
    }
    Texts t;
    ASSERT_EQ(t.Init(dir.Full("big.bin").c_str()), 1);
    ASSERT_EQ(t.LoadLanguage(0, dir.Full("big.bin").c_str()), 1);
    EXPECT_STREQ(t[0], L"YES");
    EXPECT_STREQ(t[2], L"PILOT \u00A7 ONE");
}

TEST(TextsFile, ShortAndUnterminatedTextsReadEmpty)
{
    ScratchDir dir;
    const std::string path = dir.Full("t.bin");
    // The first language claims room for two more strings than it has: the
    // block inflates short, and the strings it lacks are empty.
    {
        std::vector<uint8_t> f = Encode(Small());
        PStore32(f.data() + 8, 5);
        PStore32(f.data() + 52 + 4, PLoad32(f.data() + 52 + 4) + 4);
        PStore32(f.data() + 52 + 16 + 4, PLoad32(f.data() + 52 + 16 + 4) + 4);
        dir.Write("t.bin", f);
        Texts t;
        ASSERT_EQ(t.Init(path.c_str()), 1);
        ASSERT_EQ(t.LoadLanguage(0, path.c_str()), 1);
        EXPECT_STREQ(t[2], L"PILOT \u00A7 ONE");
        EXPECT_STREQ(t[3], L"");
        EXPECT_STREQ(t[4], L"");
        // The longer language before leaves nothing behind in the shorter.
        ASSERT_EQ(t.LoadLanguage(1, path.c_str()), 1);
        EXPECT_STREQ(t[1], L"NEIN");
        EXPECT_STREQ(t[3], L"");
    }
    // A last string without its terminator ends with the text; a block that
    // is not zlib data at all reads as empty strings.
    {
        const char16_t units[] = {'A', 'B', 0, 'C', 'D'};
        std::vector<uint8_t> block;
        ASSERT_TRUE(PlzpCompress(units, sizeof units, 9, PlzpForm::Zlib, &block));
        std::vector<uint8_t> f = Encode({Language(U"X", {U"AB", U"CD"})});
        const uint32_t blockAt = PLoad32(f.data() + 24);
        f.resize(blockAt);
        f.insert(f.end(), block.begin(), block.end());
        PStore32(f.data() + 24 + 4, sizeof units);
        dir.Write("t.bin", f);
        Texts t;
        ASSERT_EQ(t.Init(path.c_str()), 1);
        ASSERT_EQ(t.LoadLanguage(0, path.c_str()), 1);
        EXPECT_STREQ(t[0], L"AB");
        EXPECT_STREQ(t[1], L"CD");

        for (size_t i = blockAt; i < f.size(); i++)
            f[i] = uint8_t(0xA5 ^ i);
        dir.Write("t.bin", f);
        ASSERT_EQ(t.Init(path.c_str()), 1);
        ASSERT_EQ(t.LoadLanguage(0, path.c_str()), 1);
        EXPECT_STREQ(t[0], L"");
        EXPECT_STREQ(t[1], L"");
    }
}
