// The settings file: a round trip of every field, damaged and short files,
// the favourite list and a write that fails.
#include <cstring>

#include "engine/runtime/palloc.h"
#include "game/frontend/settings.h"
#include "tests/game/frontend/frontend_fixture.h"

using namespace fronttest;

namespace {

const char kPath[] = "usr/settings.nil";

std::vector<uint8_t> Header(const Settings& s)
{
    return {s.option0, s.musicVolume, s.effectsVolume, s.invertSteering, s.option5, s.option6, s.option7,
            s.language, s.option8, s.option9, s.tutorialOffered, s.sensitivity, uint8_t(s.favCount), s.valueA};
}

} // namespace

TEST(SettingsFile, EveryFieldRoundTrips)
{
    ScratchDir dir;
    Settings s;
    uint8_t v = 3;
    for (uint8_t* f : {&s.option0, &s.language, &s.invertSteering, &s.musicVolume, &s.effectsVolume, &s.option5,
                       &s.option6, &s.option7, &s.option8, &s.option9, &s.tutorialOffered, &s.sensitivity, &s.valueA})
        *f = v += 17;
    s.valueB = -123456789;
    s.valueD = 0x7EADBEEF;
    std::strcpy(s.lastAddress, "10.0.0.200:65535");
    ASSERT_EQ(s.AddToFav("a name longer than thirty-one characters", "192.168.100.200:12345678"), 1);
    ASSERT_EQ(s.AddToFav("second", "host:1"), 1);
    const std::vector<uint8_t> written = dir.Read(kPath);
    ASSERT_EQ(written.size(), size_t(Settings::kHeaderSize + 2 * Settings::kRecordSize));

    Settings r;
    EXPECT_EQ(r.savedMusicVolume, 170);
    r.Read();
    EXPECT_EQ(Header(r), Header(s));
    EXPECT_EQ(r.valueB, -123456789);
    EXPECT_EQ(r.valueD, 0x7EADBEEF);
    EXPECT_STREQ(r.lastAddress, "10.0.0.200:65535");
    ASSERT_EQ(r.favCount, 2);
    EXPECT_STREQ(r.favourites[0].name, "a name longer than thirty-one c");
    EXPECT_STREQ(r.favourites[0].address, "192.168.100.200:12345");
    EXPECT_STREQ(r.favourites[1].name, "second");
    // The saved copies are taken after reading.
    EXPECT_EQ(r.savedMusicVolume, s.musicVolume);
    EXPECT_EQ(r.savedEffectsVolume, s.effectsVolume);
    EXPECT_EQ(r.savedSensitivity, s.sensitivity);
    ASSERT_EQ(r.Write(), 1);
    EXPECT_EQ(dir.Read(kPath), written);
    EXPECT_FALSE(dir.Exists("usr/settings_temp"));
    EXPECT_EQ(Settings::TestFile(), 1);
}

TEST(SettingsFile, ShortAndUnterminatedFiles)
{
    ScratchDir dir;
    Settings base;
    base.musicVolume = 9;
    ASSERT_EQ(base.AddToFav("one", "a:1"), 1);
    ASSERT_EQ(base.AddToFav("two", "b:2"), 1);
    const std::vector<uint8_t> full = dir.Read(kPath);

    // A short header: the options stay as they were, no favourites.
    {
        dir.Write(kPath, std::vector<uint8_t>(full.begin(), full.begin() + 45));
        Settings s;
        s.sensitivity = 5;
        ASSERT_EQ(s.AddToFav("mine", "c:3"), 1);
        dir.Write(kPath, std::vector<uint8_t>(full.begin(), full.begin() + 45));
        s.Read();
        EXPECT_EQ(s.musicVolume, 170);
        EXPECT_EQ(s.sensitivity, 5);
        EXPECT_EQ(s.favCount, 0);
        EXPECT_EQ(s.favourites, nullptr);
    }
    // Count 2 with one record: the options are taken, no favourites.
    {
        dir.Write(kPath, std::vector<uint8_t>(full.begin(), full.end() - 1));
        Settings s;
        s.Read();
        EXPECT_EQ(s.musicVolume, 9);
        EXPECT_EQ(s.favCount, 0);
    }
    // Texts without terminators end at their last byte.
    {
        std::vector<uint8_t> f = full;
        std::memset(f.data() + 22, 'x', 24);
        std::memset(f.data() + Settings::kHeaderSize, 'n', Settings::kRecordSize);
        dir.Write(kPath, f);
        Settings s;
        s.Read();
        EXPECT_EQ(std::strlen(s.lastAddress), 23u);
        ASSERT_EQ(s.favCount, 2);
        EXPECT_EQ(std::strlen(s.favourites[0].name), 31u);
        EXPECT_EQ(std::strlen(s.favourites[0].address), 21u);
        int port = -1;
        char host[Settings::kAddressSize];
        EXPECT_EQ(s.GetFavAddr(0, host, port), 0);
    }
}

TEST(SettingsFile, FavouriteList)
{
    ScratchDir dir;
    Settings s;
    char** list = nullptr;

    ASSERT_EQ(s.AddToFav("LAN", "192.168.1.20:2000"), 1);
    ASSERT_EQ(s.AddToFav("v6ish", "fe80::1:3000"), 1);
    ASSERT_EQ(s.AddToFav("bare", "nohost"), 1);
    const struct {
        int index;
        int ok;
        const char* host;
        int port;
    } cases[] = {{0, 1, "192.168.1.20", 2000}, {1, 1, "fe80::1", 3000}, {2, 0, "", 0}, {3, 0, "", 0}, {-1, 0, "", 0}};
    for (const auto& c : cases) {
        char host[Settings::kAddressSize] = {};
        int port = 0;
        ASSERT_EQ(s.GetFavAddr(c.index, host, port), c.ok) << c.index;
        if (c.ok) {
            EXPECT_STREQ(host, c.host);
            EXPECT_EQ(port, c.port);
        }
    }
    EXPECT_EQ(s.IsOnFavList("fe80::1:3000"), 1);
    EXPECT_EQ(s.IsOnFavList("fe80::1:300"), 0);
    ASSERT_EQ(s.GetFavList(list), 3);
    EXPECT_STREQ(list[2], "bare");
    PFree(list);

    // Removing the first leaves the second as record 0, in memory and file.
    ASSERT_EQ(s.RemoveFromFav(0), 1);
    ASSERT_EQ(s.RemoveFromFav("nohost"), 1);
    EXPECT_EQ(s.RemoveFromFav(5), 0);
    ASSERT_EQ(s.favCount, 1);
    EXPECT_STREQ(s.favourites[0].name, "v6ish");
    const auto bytes = dir.Read(kPath);
    ASSERT_EQ(bytes.size(), size_t(Settings::kHeaderSize + Settings::kRecordSize));
    EXPECT_EQ(bytes[12], 1);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data() + Settings::kHeaderSize)), "v6ish");
    ASSERT_EQ(s.RemoveFromFav(0), 1);

    // The count is one byte in the file: the 256th favourite is refused.
    for (int i = 0; i < Settings::kMaxFavourites; i++)
        ASSERT_EQ(s.AddToFav("f", "h:1"), 1);
    EXPECT_EQ(s.AddToFav("one too many", "h:2"), 0);
    Settings r;
    r.Read();
    EXPECT_EQ(r.favCount, Settings::kMaxFavourites);
}

TEST(SettingsFile, FailedWriteKeepsTheOldFile)
{
    ScratchDir dir;
    Settings s;
    s.musicVolume = 1;
    ASSERT_EQ(s.Write(), 1);
    const auto old = dir.Read(kPath);
    // The temporary file cannot be made.
    std::filesystem::create_directories(dir.Full("usr/settings_temp/x"));
    s.musicVolume = 2;
    EXPECT_EQ(s.Write(), 0);
    EXPECT_EQ(dir.Read(kPath), old);
}
