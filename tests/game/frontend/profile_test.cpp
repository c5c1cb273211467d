// Profiles and the profile list: ranks and score arithmetic, the profile
// file byte for byte and through an independent reader, refused files, the
// list file's limits, removal, the hidden nickname bonus, and saves killed
// mid-way.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>

#include "game/frontend/profilemanager.h"
#include "tests/game/frontend/frontend_fixture.h"

namespace {

using fronttest::ScratchDir;

std::string Hex(const PString& s)
{
    static const char* d = "0123456789abcdef";
    std::string h;
    for (unsigned i = 0; i < s.Length(); ++i)
        h += {d[uint8_t(s.Data()[i]) >> 4], d[s.Data()[i] & 15]};
    return h;
}

ProfileManager* NewManager() { return new ProfileManager(nullptr, nullptr, nullptr, nullptr, 480, 320, nullptr); }

TEST(Profile, RanksAndScoreArithmetic)
{
    struct {
        uint32_t score;
        uint8_t mode, rank;
    } const ranks[] = {{0, 0, 0},     {699, 0, 0},        {700, 0, 1},        {3000, 0, 2},      {9999, 0, 3},
                       {10000, 0, 4}, {0xFFFFFF, 0, 4},   {0xFFFFFFFF, 0, 4}, {319, 1, 3},       {320, 1, 4},
                       {59, 1, 0},    {60, 1, 1},         {5000, 7, 4}};
    for (auto const& c : ranks)
        EXPECT_EQ(Profile::GetRankFromScores(c.score, c.mode), c.rank) << c.score << " mode " << int(c.mode);

    struct {
        uint32_t start;
        int add;
        uint32_t want;
    } const sums[] = {{30, -50, 0}, {30, 10, 40}, {30, -30, 0}, {30, -29, 1}, {0x7FFFFFF0u, 0x20, 0x80000010u}};
    for (auto const& c : sums) {
        Score s;
        s.score = c.start;
        s.Increase(c.add);
        EXPECT_EQ(s.GetScore(), c.want) << c.start << " + " << c.add;
    }
}

TEST(Profile, PromotionReportedOnceAndCountersSaturate)
{
    Profile p;
    p.SetScore(650);
    EXPECT_EQ(p.UpgradeRankMomentHandler(), 0);
    p.ScoreIncrease(2450);
    EXPECT_EQ(p.UpgradeRankMomentHandler(), 1);
    EXPECT_EQ(p.GetRank(), 2);
    EXPECT_EQ(p.UpgradeRankMomentHandler(), 0);

    p.UnlockLevel(254, 2);
    p.UnlockNextLevel(2);
    p.UnlockNextLevel(2);
    EXPECT_EQ(p.GetUnlocked(2), 255);
    EXPECT_EQ(p.UnlockNextLevel(4), 0);
    p.AddTotalPlayingTime(0xFFFFFF00u);
    p.AddTotalPlayingTime(0x1000);
    EXPECT_EQ(p.GetTotalPlayingTime(), 0xFFFFFFFFu);
    p.SetKills(Profile::kMaxKills - 1);
    p.AddKill();
    p.AddKill();
    p.SetSessionKills(5);
    p.ApplyKills();
    EXPECT_EQ(p.GetKills(), Profile::kMaxKills);

    Profile t;
    t.AddTotalPlayingTime((100 * 3600 + 5 * 60 + 9) * 1000 + 999);
    PString text("T ");
    PString* ptr = &text;
    t.AppendTotalPlayTimeToString(ptr);
    EXPECT_STREQ(text.c_str(), "T 100:05:09");
}

TEST(Profile, FileBytesAndIndependentReader)
{
    ScratchDir dir;
    std::filesystem::create_directories(dir.Full("usr"));
    Profile p;
    p.SetNick("ACE");
    p.AddMedal(1);
    p.AddMedal(6);
    p.SetKills(0x01020304);
    p.AddTotalPlayingTime(0x0A0B0C0D);
    p.SetCurrentPlane(3);
    p.SetScore(3100);
    p.SetMode(1);
    p.SetScore(250);
    p.UpdateRanks();
    p.UpgradeRankMomentHandler();
    p.UnlockLevel(2, 0);
    p.UnlockLevel(9, 3);
    ASSERT_EQ(p.Save("usr/profile_0"), 1);
    EXPECT_FALSE(dir.Exists("usr/profile_0.tmp"));
    const std::vector<uint8_t> want = {0x42, 4,   3,   2,   1,   0x0D, 0x0C, 0x0B, 0x0A, 3,   0x1C, 0x0C, 0,
                                       0,   250, 0,   0,   0,   2,    3,    0,    3,    4,    2,   0,    0,
                                       9,   3,   'A', 'C', 'E', 3,    'A',  'C',  'E',  0,    0};
    EXPECT_EQ(dir.Read("usr/profile_0"), want);

    // Odd strings, written by the game, read by the independent reader.
    p.SetNick("N\x01\xff");
    p.SetPass(std::string(300, 'x').c_str());
    ASSERT_EQ(p.Save("usr/profile_1"), 1);
    auto r = tooltest::RunCommand("python3 '" KRV_SOURCE_DIR "/tests/game/frontend/profile_oracle.py' '" +
                                  dir.Full("usr/profile_1") + "'");
    ASSERT_EQ(r.code, 0) << r.out;
    const std::string x255 = [] {
        std::string s;
        for (int i = 0; i < 255; ++i)
            s += "78";
        return s;
    }();
    EXPECT_EQ(r.out, "medals=66\nkills=16909060\nplaytime=168496141\nplane=3\nscores=3100,250\nranks=2,3\nbest=0,3\n"
                     "unlocks=2,0,0,9\nstrings=4e01ff,4e01ff," + x255 + "," + x255 + "\n");

    Profile back;
    ASSERT_EQ(back.Load("usr/profile_1"), 1);
    EXPECT_EQ(back.GetScore(0), 3100u);
    EXPECT_EQ(back.GetRank(1), 3);
    EXPECT_EQ(back.GetUnlocked(3), 9);
    EXPECT_EQ(Hex(back.GetNick(1)), "4e01ff");
    EXPECT_EQ(back.GetPass(0).Length(), 255u);
}

TEST(Profile, MalformedFilesLeaveTheProfileUnchanged)
{
    ScratchDir dir;
    Profile good;
    good.SetNick("ACE");
    uint8_t bytes[Profile::kMaxFileSize];
    const int n = good.Serialize(bytes);
    std::vector<uint8_t> base(bytes, bytes + n);
    auto with = [&](int at, uint8_t v) {
        auto b = base;
        b[size_t(at)] = v;
        return b;
    };
    struct {
        const char* what;
        std::vector<uint8_t> data;
    } const cases[] = {
        {"empty", {}},
        {"fixed part cut", std::vector<uint8_t>(base.begin(), base.begin() + 20)},
        {"last string length missing", std::vector<uint8_t>(base.begin(), base.begin() + 35)},
        {"nickname runs past the end", with(27, 200)},
        {"password runs past the end", with(36, 1)},
        {"larger than any profile", std::vector<uint8_t>(Profile::kMaxFileSize + 1, 0)},
    };
    for (auto const& c : cases) {
        dir.Write("usr/p", c.data);
        Profile p;
        p.SetNick("KEEP");
        p.SetKills(7);
        EXPECT_EQ(p.Load("usr/p"), 0) << c.what;
        EXPECT_STREQ(p.GetNick(1).c_str(), "KEEP") << c.what;
        EXPECT_EQ(p.GetKills(), 7u) << c.what;
    }
    // Out-of-range plane and rank bytes are held in range.
    auto odd = with(9, 0xF0);
    odd[18] = 9;
    dir.Write("usr/p", odd);
    Profile p;
    ASSERT_EQ(p.Load("usr/p"), 1);
    EXPECT_EQ(p.GetCurrentPlane(), 0);
    EXPECT_EQ(p.GetRank(0), Profile::kRanks - 1);
}

TEST(ProfileManager, ListFileLimits)
{
    struct {
        std::vector<uint8_t> list;
        int count, current;
    } const cases[] = {
        {{3, 2}, 3, 2}, {{7, 4}, 5, 4}, {{7, 5}, 5, 0}, {{2, 200}, 2, 0}, {{0, 0}, 0, 0}, {{3}, 0, 0}, {{}, 0, 0},
    };
    Profile p;
    p.SetNick("ONE");
    uint8_t bytes[Profile::kMaxFileSize];
    const int n = p.Serialize(bytes);
    for (auto const& c : cases) {
        ScratchDir dir;
        for (int i = 0; i < 7; ++i)
            dir.Write("usr/profile_" + std::to_string(i), std::vector<uint8_t>(bytes, bytes + n));
        dir.Write("usr/profile_1", {1, 2, 3}); // damaged: that profile starts fresh
        dir.Write("usr/profiles.cfg", c.list);
        std::unique_ptr<ProfileManager> m(NewManager());
        m->InitProfiles();
        EXPECT_EQ(m->FirstRun(), c.count == 0);
        ASSERT_EQ(m->Count(), c.count) << c.list.size();
        EXPECT_EQ(m->CurrentIndex(), c.current);
        if (c.count > 1) {
            EXPECT_STREQ(m->GetProfile(0)->GetNick().c_str(), "ONE");
            EXPECT_TRUE(m->GetProfile(1)->GetNick().IsEmpty());
        }
    }
    ScratchDir empty;
    std::unique_ptr<ProfileManager> none(NewManager());
    none->InitProfiles();
    EXPECT_TRUE(none->FirstRun());
}

TEST(ProfileManager, AddRemoveBonusAndSaveFailures)
{
    ScratchDir dir;
    std::filesystem::create_directories(dir.Full("usr"));
    {
        std::unique_ptr<ProfileManager> m(NewManager());
        m->InitProfiles();
        auto add = [&](const char* nick) {
            Profile* p = new Profile();
            p->SetNick(nick);
            p->UnlockLevel(1, 0);
            p->UnlockLevel(1, Profile::kTimeAttackGroup);
            return m->AddProfile(p);
        };
        for (const char* nick : {"ZUNK", "zunk", "ZUNKY"})
            ASSERT_EQ(add(nick), 1);
        Profile* zunk = m->GetProfile(0);
        for (int g = 0; g < 4; ++g)
            EXPECT_EQ(zunk->GetUnlocked(g), 4) << g;
        EXPECT_EQ(zunk->Medals(), 0x0F);
        for (int i : {1, 2})
            EXPECT_EQ(m->GetProfile(i)->Medals() | m->GetProfile(i)->GetUnlocked(1), 0);
        ASSERT_EQ(m->SaveProfiles(), 1);
        EXPECT_EQ(m->TestProfileFiles(), 4);

        // Removing profile 1 of 3 with profile 2 current: profile 1 is
        // current after, and the file of the last number goes.
        ASSERT_EQ(m->CurrentIndex(), 2);
        m->RemoveProfile(1);
        EXPECT_EQ(m->CurrentIndex(), 1);
        EXPECT_STREQ(m->CurrentProfile()->GetNick().c_str(), "ZUNKY");
        EXPECT_FALSE(dir.Exists("usr/profile_2"));
        m->RemoveProfile(7);
        EXPECT_EQ(m->Count(), 2);
        for (const char* nick : {"C", "D", "E"})
            ASSERT_EQ(add(nick), 1);
        EXPECT_EQ(add("F"), 0);
        for (int i = 4; i >= 1; --i)
            m->RemoveProfile(uint8_t(i));
        EXPECT_EQ(m->CurrentIndex(), 0);
        ASSERT_EQ(m->SaveProfiles(), 1);
        const auto saved = dir.Read("usr/profile_0");

        // A profile file that cannot be written removes the list; a list
        // that cannot be written keeps the old one.
        std::filesystem::create_directories(dir.Full("usr/profile_0.tmp/x"));
        EXPECT_EQ(m->SaveProfiles(), 0);
        EXPECT_FALSE(dir.Exists("usr/profiles.cfg"));
        EXPECT_EQ(dir.Read("usr/profile_0"), saved);
        std::filesystem::remove_all(dir.Full("usr/profile_0.tmp"));
        ASSERT_EQ(m->SaveProfiles(), 1);
        std::filesystem::create_directories(dir.Full("usr/profiles_tmp.cfg/x"));
        EXPECT_EQ(m->SaveProfiles(), 0);
        EXPECT_EQ(dir.Read("usr/profiles.cfg"), (std::vector<uint8_t>{1, 0}));
        std::filesystem::remove_all(dir.Full("usr/profiles_tmp.cfg"));
    }
    // The destructor saved: a fresh manager reads the one profile back.
    std::unique_ptr<ProfileManager> m(NewManager());
    m->InitProfiles();
    ASSERT_EQ(m->Count(), 1);
    EXPECT_EQ(m->CurrentProfile()->Medals(), 0x0F);
}

// A child saves in a loop, changing the profile each time; the parent kills
// it at a random moment. Whatever the moment, the file is whole: the old or
// the new record, never missing or cut.
TEST(ProfileManager, KilledSavesNeverLoseTheProfile)
{
    ScratchDir dir;
    std::filesystem::create_directories(dir.Full("usr"));
    Profile seed;
    seed.SetNick("SEED");
    ASSERT_EQ(seed.Save("usr/profile_0"), 1);
    std::mt19937 rng(7);
    for (int i = 0; i < 1000; ++i) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            Profile p;
            for (uint32_t k = 1;; ++k) {
                p.SetKills(k);
                p.SetNick(std::string(k % 11, 'A' + char(k % 26)).c_str());
                p.Save("usr/profile_0");
            }
        }
        ::usleep(rng() % 3000);
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        Profile back;
        ASSERT_EQ(back.Load("usr/profile_0"), 1) << "iteration " << i;
        const uint32_t k = back.GetKills();
        if (k) {
            ASSERT_EQ(back.GetNick().Length(), k % 11) << "iteration " << i;
        }
        ASSERT_EQ(dir.Read("usr/profile_0").size(), 31 + 2 * back.GetNick().Length() + 2 * back.GetPass().Length());
    }
}

} // namespace

// The main profile screen driven by touches and keys: two profiles, the
// second current and viewed, on a 480 x 320 screen without pictures.
class ProfileScreen : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::create_directories(dir.Full("usr"));
        m.reset(NewManager());
        m->InitProfiles();
        for (const char* nick : {"A", "B"}) {
            Profile* p = new Profile();
            p->SetNick(nick);
            ASSERT_EQ(m->AddProfile(p), 1);
        }
        // Read back: not a first run.
        ASSERT_EQ(m->SaveProfiles(), 1);
        m.reset(NewManager());
        m->InitProfiles();
        ASSERT_EQ(m->Count(), 2);
        m->OpenMain();
        ASSERT_EQ(m->State(), 0);
    }
    void Frame(int keys = 0, int code = 0, int code2 = 0) { m->Process(keys, code, code2); }
    void Tap(int x, int y)
    {
        m->TouchScreenEvent(x, y, true);
        Frame();
        m->TouchScreenEvent(x, y, false);
        Frame();
    }
    void OpenWindows()
    {
        for (int i = 0; i < 4; ++i)
            Frame();
    }
    // The centre of bottom button b (0 previous .. 4 next): icons 64 pixels
    // wide, or what fits below the panels, 12 apart, 6 above the bottom.
    void TapButton(int b)
    {
        const auto& lp = m->LayoutWindow(4);
        const int room = 320 - 6 - (lp.y + lp.h) - 2, w = room < 64 ? room : 64;
        Tap((b + 1) * (w + 12) - w / 2, 320 - 6 - w / 2);
    }
    ScratchDir dir;
    std::unique_ptr<ProfileManager> m;
};

TEST_F(ProfileScreen, AnyKeyOpensTheWindowsAtFullSize)
{
    Frame(MyInput::kDown);
    for (int i = 0; i < 8; ++i) {
        const auto& w = m->LayoutWindow(i);
        EXPECT_EQ(w.state, ProfileManager::Window::kOpen) << i;
        for (int c : w.opening)
            EXPECT_EQ(c, 0) << i;
    }
}

TEST_F(ProfileScreen, EveryButtonReleasePlaysTheClickButOnlyAvailableOnesAct)
{
    OpenWindows();
    struct Case {
        int button;
        int viewedAfter;
    };
    // Viewing the last profile, which is current: next and select are
    // dimmed; previous acts.
    for (Case c : {Case{4, 1}, Case{1, 1}, Case{0, 0}}) {
        const uint32_t clicks = m->ClicksPlayed();
        TapButton(c.button);
        EXPECT_EQ(m->ClicksPlayed(), clicks + 1) << c.button;
        EXPECT_EQ(m->ViewedProfile(), c.viewedAfter) << c.button;
    }
}

TEST_F(ProfileScreen, MedalSelectionClearsOnlyOutsideTheLeftPanel)
{
    OpenWindows();
    const auto& lp = m->LayoutWindow(4);
    // The grid of 3 x 2 medals, 58 and 76 apart, from 87 left of the panel's
    // centre and 3 below its top.
    const int gx = lp.x + lp.w / 2 - 87, gy = lp.y + 3;
    struct Case {
        const char* what;
        int x, y;
        int selected;
    };
    for (Case c : {Case{"second medal", gx + 58 + 10, gy + 10, 1},
                   Case{"inside the panel, on no medal", lp.x + 4, lp.y + lp.h - 4, 1},
                   Case{"fifth medal", gx + 58 + 10, gy + 76 + 10, 4},
                   Case{"outside the panel", lp.x + lp.w + 40, lp.y + 40, -1}}) {
        Tap(c.x, c.y);
        EXPECT_EQ(m->SelectedMedal(), c.selected) << c.what;
    }
}

TEST_F(ProfileScreen, DeleteQuestionAnswersKeyCodes)
{
    OpenWindows();
    TapButton(3);
    ASSERT_TRUE(m->IsWarningWnd_InUse());
    OpenWindows();
    Frame(0, '3', 6); // a diagonal key held: no answer
    EXPECT_TRUE(m->IsWarningWnd_InUse());
    Frame(0, 7, 0); // back: no
    EXPECT_FALSE(m->IsWarningWnd_InUse());
    EXPECT_EQ(m->Count(), 2);
    TapButton(3);
    OpenWindows();
    Frame(0, 0, 6); // yes from the second key slot
    EXPECT_FALSE(m->IsWarningWnd_InUse());
    EXPECT_EQ(m->Count(), 1);
}
