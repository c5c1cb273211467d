// The application object on the memory display and the virtual clock: the
// state walk from start-up to the menu, frame pacing, focus, the exit paths,
// the end screen and the storage write test. The test moves the clock itself
// and calls MainLoop as the platform's run loop would. Its data (fonts,
// interface texts, intro pictures) is made by the test writers.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/platform/psystemmanager.h"
#include "engine/runtime/pglobals.h"
#include "engine/runtime/ptime.h"
#include "game/frontend/mainmenu.h"
#include "game/frontend/profile.h"
#include "game/frontend/profilemanager.h"
#include "game/multiplayer/krvmp.h"
#include "game/world/audiomanager.h"
#include "game/world/korvanth.h"
#include "game/world/levelsmanager.h"
#include "host/hostevents.h"
#include "host/hostoptions.h"
#include "host/hostwindow.h"
#include "tests/game/frontend/frontend_fixture.h"
#include "tests/game/multiplayer/matchrig.h"
#include "tools/lib/levelscfg_writer.h"
#include "tools/lib/nrv_writer.h"
#include "tools/lib/pof_writer.h"

struct KorvanthAppProbe {
    static void Enter(KorvanthApp* app, int32_t state, int32_t saved = 0)
    {
        app->m_state = state;
        app->m_savedState = saved;
    }
    static void StartEnding(KorvanthApp* app)
    {
        app->m_state = STATE_ENDING;
        app->m_screenStep = 0;
        app->m_endStart = app->m_ticker();
    }
    static void Keys(KorvanthApp* app, uint32_t keys) { app->m_input.keyState = int32_t(keys); }
    static void Latch(KorvanthApp* app, int key) { app->m_keyLatch = key; }
    static LevelsManager* Levels(KorvanthApp* app) { return app->m_levels; }
    static LevelsGroup* Campaign(KorvanthApp* app, int c) { return c < app->m_campaignCount ? app->m_campaignGroups[c] : nullptr; }
    static LevelsGroup* Arcade(KorvanthApp* app) { return app->m_arcadeGroup; }
    static LevelsGroup* Multiplayer(KorvanthApp* app) { return app->m_multiplayerGroup; }
    static LevelsGroup* TimeAttack(KorvanthApp* app) { return app->m_timeAttackGroup; }
    static KrvMp* Mp(KorvanthApp* app) { return app->m_mp; }
    static Fonts* FontsOf(KorvanthApp* app) { return app->m_fonts; }
    static int32_t LoadStep(KorvanthApp* app) { return app->m_loadStep; }
};

namespace {

class AppTest : public testing::Test {
protected:
    void SetUp() override { setenv("KRV_AUDIO", "null", 1); }

    void Write(std::string const& rel, std::vector<uint8_t> const& bytes) const { m_data.Write(rel, bytes); }

    // A picture of one colour (B, G, R) in the engine's NRV format.
    void Picture(std::string const& rel, uint8_t b, uint8_t g, uint8_t r) const
    {
        NrvImage img;
        img.format = 7;
        img.width = img.height = 16;
        for (int i = 0; i < 16 * 16; ++i)
            img.pixels.insert(img.pixels.end(), {b, g, r});
        std::vector<uint8_t> bytes;
        std::string err;
        ASSERT_TRUE(NrvEncode(img, 0, &bytes, &err)) << err;
        Write(rel, bytes);
    }

    // The fonts, the interface texts and the intro pictures.
    void WriteData() const
    {
        auto face = fronttest::TestFace();
        for (char const* name : {"font12x16", "font16x20", "font20x28", "prop", "font12x16_", "font6x8"})
            Write(std::string("data/fonts/") + name + ".fnt", face);
        Write("data/lang0.bin", fronttest::Encode({fronttest::Language(U"English", {U"", U"LOADING"})}));
        Picture("data/2dgfx/norva.png", 0, 0, 0xF8);
        Picture("data/2dgfx/titlebackground.png", 0xF8, 0, 0);
        // The main menu's pictures, its bomb and one aircraft name.
        for (char const* name : {"bombbay", "hatch_door", "earth", "clouds01", "clouds02", "clouds03", "explosion1",
                                 "selector", "texture"})
            Picture(std::string("data/2dgfx/") + name + ".png", 0x40, 0x80, 0x40);
        PofMesh bomb;
        bomb.positions = {0, 0, 0, 0x10000, 0, 0, 0, 0x10000, 0};
        bomb.texcoords = {0, 0, 0x10000, 0, 0, 0x10000};
        bomb.lists.push_back(PofList{4, 0, 0x1403, {0, 1, 2}});
        Write("data/objects/menu_bomb.pof", WritePof(bomb));
        Write("data/planes/config1.txt", {'F', '\n'});
        // A returning player: one empty profile, so start-up goes to the menu.
        Write("usr/profiles.cfg", {1, 0});
        std::vector<uint8_t> profile(31);
        profile[22] = 4;
        Write("usr/profile_0", profile);
    }

    void TearDown() override
    {
        delete m_sysman;
        host::EventServiceStop();
        PSetVirtualClock(0);
    }

    // Starts the platform with the application on a memory display; the
    // clock moves only when the test moves it.
    void Start(int width = 480, int height = 320, bool data = true)
    {
        if (data)
            WriteData();
        host::Options o;
        o.mode = host::MODE_HEADLESS;
        o.renderer = host::RENDERER_SOFTWARE;
        o.width = width;
        o.height = height;
        o.activate = 0;
        o.exitGraceMs = 0;
        o.opener = "";
        host::Configure(o);
        PSetVirtualClock(1);
        ASSERT_TRUE(host::EventServiceStart());
        m_sysman = new PRimSystemManager();
        m_global_sysman = m_sysman;
        ASSERT_EQ(m_sysman->Init(nullptr), 1);
        m_app = dynamic_cast<KorvanthApp*>(m_sysman->m_app);
        ASSERT_NE(m_app, nullptr);
    }

    // One pass of the run loop after ms of time; true when it presented a frame.
    bool Pass(unsigned ms = 25)
    {
        PAdvanceVirtualClock(ms);
        unsigned before = host::FramesPresented();
        m_app->MainLoop();
        return host::FramesPresented() != before;
    }

    // Passes until the state is `state` (at most n passes); taps through
    // the intro's pictures.
    bool RunTo(int32_t state, int n = 100)
    {
        for (int i = 0; i < n && m_app->State() != state; ++i) {
            if (m_app->State() == STATE_INTRO)
                m_app->OnMouseButton(10, 10, 0, PPointerWord(0, 1));
            Pass();
        }
        return m_app->State() == state;
    }

    std::vector<std::string> DummyFiles() const
    {
        std::vector<std::string> out;
        for (int k = 0; k < 12; ++k) {
            if (m_data.Exists("usr/dummyfile" + std::to_string(k)))
                out.push_back("dummyfile" + std::to_string(k));
        }
        return out;
    }

    void Touch(std::string const& rel) const { m_data.Put(rel, std::string()); }

    // From the main menu: turns the bomb to the multiplayer label, chooses
    // it, answers the notice OK and runs until the multiplayer menus show.
    bool EnterMultiplayer()
    {
        for (int i = 0; i < 60 && m_app->State() == STATE_MENU; ++i) {
            MainMenu* menu = m_app->Menu();
            uint32_t keys = 0;
            if (i % 10 == 9)
                keys = menu->ItemOfLabel(menu->page) == MainMenu::ITEM_MULTIPLAYER ? MyInput::kFire : MyInput::kDown;
            KorvanthAppProbe::Keys(m_app, keys);
            Pass();
        }
        EXPECT_EQ(m_app->State(), STATE_MP_NOTICE);
        for (int i = 0; i < 12 && m_app->State() == STATE_MP_NOTICE; ++i) {
            KorvanthAppProbe::Keys(m_app, i % 2 ? MyInput::kFire : 0);
            Pass();
        }
        KorvanthAppProbe::Keys(m_app, 0);
        return RunTo(STATE_MP);
    }

    // A second player on the in-memory network beside the application's
    // multiplayer menus.
    struct Guest {
        Settings settings;
        Profile profile;
        unsigned keys = 0;
        KrvMp k;
        std::vector<int> results;
    };
    // From the main menu of a catalogue with one (scriptless) match level:
    // the application hosts a local room, the guest joins it, the host
    // starts the match; runs until the application leaves its menus.
    void StartMatch(std::unique_ptr<rig::Hub>& hub, Guest& guest)
    {
        std::vector<levelscfg::Level> levels(1);
        levels[0].mode = LevelsManager::MULTIPLAYER;
        std::vector<uint8_t> catalogue;
        ASSERT_TRUE(levelscfg::Encode(levels, catalogue, nullptr));
        Write("data/scripts/levels.cfg", catalogue);
        Start(1024, 600);
        ASSERT_TRUE(RunTo(STATE_MENU));
        hub = std::make_unique<rig::Hub>(); // in place of the network back ends installed at start-up
        ASSERT_TRUE(EnterMultiplayer());
        KrvMp* host = KorvanthAppProbe::Mp(m_app);
        ASSERT_NE(host, nullptr);
        guest.profile.SetNick("BEE");
        guest.profile.SetMode(Profile::kMultiplayer);
        guest.k.settings = &guest.settings;
        guest.k.p3d = m_app->Context();
        guest.k.fonts = KorvanthAppProbe::FontsOf(m_app);
        guest.k.keys = &guest.keys;
        guest.k.Init(1024, 600, &guest.profile, nullptr, nullptr);
        // A tap on a button: the host's through the application's touches.
        auto tap = [&](bool onHost, const KrvMpButton* b) {
            ASSERT_NE(b, nullptr);
            const int x = b->m_rect.x + b->m_rect.width / 2, y = b->m_rect.y + b->m_rect.height / 2;
            for (int pen : {1, 0}) {
                if (onHost)
                    m_app->OnMouseButton(x, y, 0, PPointerWord(0, pen));
                else
                    guest.k.TouchScreenEvent(x, y, pen);
                GuestStep(guest);
            }
        };
        tap(true, host->menus[KrvMp::MENU_LOCAL_INTERNET].buttons[0]);
        tap(true, host->menus[KrvMp::MENU_LOCAL].buttons[0]);
        ASSERT_TRUE(GuestUntil(guest, [&] { return host->GetState() == KrvMp::MENU_GAME_ROOM; }));
        tap(false, guest.k.menus[KrvMp::MENU_LOCAL_INTERNET].buttons[0]);
        tap(false, guest.k.menus[KrvMp::MENU_LOCAL].buttons[1]);
        ASSERT_TRUE(GuestUntil(guest, [&] { return guest.k.menus[KrvMp::MENU_ROOMS_LIST].list->GetCount() == 1; }));
        tap(false, guest.k.menus[KrvMp::MENU_ROOMS_LIST].list->GetLine(0));
        ASSERT_TRUE(GuestUntil(guest, [&] { return guest.k.GetState() == KrvMp::MENU_GAME_ROOM && host->MP_IsAllReady(); }));
        EXPECT_EQ(m_app->State(), STATE_MP);
        tap(true, host->menus[KrvMp::MENU_GAME_ROOM].buttons[0]);
        ASSERT_TRUE(GuestUntil(guest, [&] { return m_app->State() != STATE_MP; }));
    }
    // One pass of the application and, until its match starts, a frame of
    // the guest's menus.
    void GuestStep(Guest& guest)
    {
        Pass();
        if (guest.results.empty() || guest.results.back() != 1)
            if (int r = guest.k.Update(m_app->FrameTime()))
                guest.results.push_back(r);
    }
    template <class F> bool GuestUntil(Guest& guest, F pred)
    {
        for (int i = 0; i < 200 && !pred(); ++i)
            GuestStep(guest);
        return pred();
    }

    fronttest::ScratchDir m_data;
    PRimSystemManager* m_sysman = nullptr;
    KorvanthApp* m_app = nullptr;
};

TEST_F(AppTest, StartUpWalksIntroStorageChecksAndReachesTheMenu)
{
    // No archive and one shared image of eight: Init still succeeds, the
    // missing images are not drawn.
    Picture("data/2dgfx/metal_bar.png", 0x80, 0x80, 0x80);
    // A level catalogue: campaigns 0 and 2 (1 is empty), an arcade level.
    std::vector<levelscfg::Level> levels(5);
    int8_t const modes[] = {LevelsManager::SINGLEPLAYER, LevelsManager::SINGLEPLAYER, LevelsManager::ARCADE,
                            LevelsManager::MULTIPLAYER, LevelsManager::SINGLEPLAYER};
    int8_t const campaigns[] = {2, 2, 0, 0, 0};
    for (size_t i = 0; i < levels.size(); i++) {
        levels[i].mode = modes[i];
        levels[i].campaign = campaigns[i];
        levels[i].mission = int8_t(5 - i);
    }
    levels[2].mapCount = 4;
    // The menu reads the arcade level's header at start.
    levels[2].script = "data_to_make\\scripts\\txt\\arcade";
    std::filesystem::create_directories(m_data.Full("data/scripts"));
    std::ofstream(m_data.Full("arcade.txt")) << "define header { spawnsCount 2 }\n";
    auto compiled = tooltest::RunTool("scriptc", tooltest::Q(m_data.Full("arcade.txt")) + " " +
                                                     tooltest::Q(m_data.Full("data/scripts/arcade.bin")), true);
    ASSERT_EQ(compiled.code, 0) << compiled.out;
    std::vector<uint8_t> catalogue;
    ASSERT_TRUE(levelscfg::Encode(levels, catalogue, nullptr));
    Write("data/scripts/levels.cfg", catalogue);
    Start();
    for (int i = 0; i < SHARED_IMAGE_COUNT; ++i)
        EXPECT_EQ(GetSharedImage(i) != nullptr, i == IMAGE_METAL_BAR) << i;
    ASSERT_NE(PGetGlobals(), nullptr);
    EXPECT_EQ(PGetGlobals()->multiplayer, 1);

    std::vector<int32_t> walk = {m_app->State()};
    for (int i = 0; i < 40; ++i) {
        if (m_app->State() == STATE_INTRO)
            m_app->OnMouseButton(10, 10, 0, PPointerWord(0, 1));
        Pass();
        if (m_app->State() != walk.back())
            walk.push_back(m_app->State());
    }
    std::vector<int32_t> expected = {STATE_PREPROCESS, STATE_INTRO,       STATE_WRITE_TEST, STATE_FREE_SPACE,
                                     STATE_INTRO,      STATE_NO_PROFILE,  STATE_MENU_OPEN,  STATE_MENU};
    EXPECT_EQ(walk, expected);
    // The first state read the catalogue into its groups, campaigns sorted.
    ASSERT_NE(KorvanthAppProbe::Levels(m_app), nullptr);
    EXPECT_EQ(KorvanthAppProbe::Levels(m_app)->GetCampaignsCount(), 3);
    EXPECT_EQ(KorvanthAppProbe::Levels(m_app)->GetArcadeMapCount(), 4);
    EXPECT_EQ(KorvanthAppProbe::Campaign(m_app, 0)->Count(), 1);
    EXPECT_EQ(KorvanthAppProbe::Campaign(m_app, 1)->Count(), 0);
    ASSERT_EQ(KorvanthAppProbe::Campaign(m_app, 2)->Count(), 2);
    EXPECT_EQ(KorvanthAppProbe::Campaign(m_app, 2)->GetLevelConfig(0)->mission, 4);
    EXPECT_EQ(KorvanthAppProbe::Arcade(m_app)->Count(), 1);
    EXPECT_EQ(KorvanthAppProbe::Multiplayer(m_app)->Count(), 1);
    EXPECT_EQ(KorvanthAppProbe::TimeAttack(m_app)->Count(), 0);
    // The write test cleaned up after itself; the menu music plays; the menu
    // state keeps drawing.
    EXPECT_TRUE(DummyFiles().empty());
    EXPECT_EQ(m_app->Sounds()->GetState(), AudioManager::STATE_RUNNING);
    EXPECT_TRUE(Pass());
    EXPECT_EQ(m_app->State(), STATE_MENU);
}

// The menu's answers reach the state machine: the tutorial row starts
// loading its level.
TEST_F(AppTest, MenuResultsChooseTheNextState)
{
    std::vector<levelscfg::Level> levels(1);
    levels[0].mode = LevelsManager::TUTORIAL;
    std::vector<uint8_t> catalogue;
    ASSERT_TRUE(levelscfg::Encode(levels, catalogue, nullptr));
    Write("data/scripts/levels.cfg", catalogue);
    Start();
    ASSERT_TRUE(RunTo(STATE_MENU));
    MainMenu* menu = m_app->Menu();
    ASSERT_NE(menu, nullptr);
    menu->GotoGameSelectionMenu();
    for (int i = 0; i < 20; ++i)
        Pass();
    const PRect row = menu->GameSelectionRow(0);
    m_app->OnMouseButton(row.x + 4, row.y + 4, 0, PPointerWord(0, 1));
    Pass();
    m_app->OnMouseButton(row.x + 4, row.y + 4, 0, PPointerWord(0, 0));
    Pass();
    EXPECT_EQ(m_app->State(), STATE_LOAD_GAME);
    EXPECT_EQ(m_app->Menu(), nullptr);
    ASSERT_NE(m_app->CurrentGroup(), nullptr);
    EXPECT_EQ(m_app->CurrentGroup()->tutorial, 1);
    EXPECT_EQ(m_app->CurrentLevel(), 0);

    // The catalogue names no script for the level: its loading fails into
    // the data error.
    for (int i = 0; i < 10 && m_app->State() == STATE_LOAD_GAME; ++i)
        Pass();
    EXPECT_EQ(m_app->State(), STATE_DATA_ERROR);
}

TEST_F(AppTest, BackKeyOnTheBombClosesTheProgram)
{
    Start();
    ASSERT_TRUE(RunTo(STATE_MENU));
    for (int i = 0; i < 40; ++i)
        Pass();
    EXPECT_EQ(m_app->State(), STATE_MENU);
    KorvanthAppProbe::Keys(m_app, MyInput::kBack);
    Pass();
    EXPECT_EQ(m_sysman->m_runState, PRUN_EXIT);
}

// The multiplayer item of the bomb: its notice answered OK, the hatch closes
// and the multiplayer menus open on the network choice; the back key and the
// back button both lead to the main menu, which keeps running; the menus
// come again on the next visit and are released with the program.
TEST_F(AppTest, MultiplayerMenusOpenFromTheMenuAndBackOutToIt)
{
    Start();
    ASSERT_TRUE(RunTo(STATE_MENU));
    ASSERT_EQ(KorvanthAppProbe::Mp(m_app), nullptr);
    enum Leave { BACK_KEY, BACK_BUTTON };
    for (Leave leave : {BACK_KEY, BACK_BUTTON, BACK_KEY}) {
        ASSERT_TRUE(EnterMultiplayer()) << leave;
        KrvMp* mp = KorvanthAppProbe::Mp(m_app);
        ASSERT_NE(mp, nullptr);
        EXPECT_EQ(mp->GetState(), KrvMp::MENU_LOCAL_INTERNET) << leave;
        EXPECT_EQ(m_app->Profiles()->multiplayer, 1) << leave;
        ASSERT_NE(m_app->Profiles()->CurrentProfile(), nullptr);
        EXPECT_EQ(m_app->Profiles()->CurrentProfile()->GetMode(), Profile::kMultiplayer) << leave;
        // The menus keep drawing until told to leave.
        for (int i = 0; i < 20; ++i)
            EXPECT_TRUE(Pass()) << leave;
        EXPECT_EQ(m_app->State(), STATE_MP);
        if (leave == BACK_KEY) {
            KorvanthAppProbe::Keys(m_app, MyInput::kBack);
            Pass();
            KorvanthAppProbe::Keys(m_app, 0);
        } else {
            // The back button sits in the bottom right corner.
            const int x = m_app->DisplayInfo().width - 28, y = m_app->DisplayInfo().height - 28;
            m_app->OnMouseButton(x, y, 0, PPointerWord(0, 1));
            Pass();
            EXPECT_EQ(m_app->State(), STATE_MP); // a press alone does not leave
            m_app->OnMouseButton(x, y, 0, PPointerWord(0, 0));
            Pass();
        }
        EXPECT_EQ(m_app->State(), STATE_MENU_OPEN) << leave;
        EXPECT_EQ(mp->GetState(), KrvMp::MENU_NONE) << leave;
        EXPECT_EQ(m_app->Profiles()->multiplayer, 0) << leave;
        // The menu runs again and is not left by the key or touch that left
        // the multiplayer menus.
        for (int i = 0; i < 40; ++i)
            Pass();
        EXPECT_EQ(m_app->State(), STATE_MENU) << leave;
        EXPECT_EQ(m_sysman->m_runState, PRUN_RUNNING) << leave;
    }
    // Once more into the menus, then the platform's exit with them open: all
    // is released (the leak check at the end of the run holds it to that).
    ASSERT_TRUE(EnterMultiplayer());
    m_app->OnEvent(PEVENT_EXIT, 0, 0);
    EXPECT_EQ(KorvanthAppProbe::Mp(m_app), nullptr);
    EXPECT_EQ(m_app->Context(), nullptr);
}

// The application hosts a room on the in-memory network, a second player
// joins it, and the start moves the application to the multiplayer loading
// with the multiplayer group chosen and the room's settings in it.
TEST_F(AppTest, MatchStartFromTheMultiplayerMenusLoadsTheMultiplayerGroup)
{
    std::unique_ptr<rig::Hub> hub;
    Guest guest;
    StartMatch(hub, guest);
    if (HasFatalFailure())
        return;
    KrvMp* host = KorvanthAppProbe::Mp(m_app);
    EXPECT_EQ(m_app->State(), STATE_LOAD_MATCH);
    EXPECT_EQ(KorvanthAppProbe::LoadStep(m_app), 0);
    EXPECT_EQ(m_app->CurrentGroup(), KorvanthAppProbe::Multiplayer(m_app));
    ASSERT_NE(m_app->CurrentGroup(), nullptr);
    EXPECT_EQ(m_app->CurrentGroup()->map, uint8_t(host->map));
    EXPECT_EQ(m_app->CurrentGroup()->roomSetting, host->fragLimit);
    EXPECT_TRUE(GuestUntil(guest, [&] { return !guest.results.empty(); }));
    EXPECT_EQ(guest.results, std::vector<int>{1});

    // The level has no script: the match does not load, and the session
    // keeps no pointer into the game that failed.
    ASSERT_TRUE(GuestUntil(guest, [&] { return m_app->State() != STATE_LOAD_MATCH; }));
    EXPECT_TRUE(m_app->State() == STATE_DATA_ERROR || m_app->State() == STATE_DATA_ERROR_SHOWN) << m_app->State();
    EXPECT_EQ(m_app->Game(), nullptr);
    EXPECT_EQ(host->game, nullptr);
    for (int i = 0; i < host->playerCount; ++i)
        EXPECT_EQ(host->players[i].gameObject, nullptr) << i;
    guest.k.Release();
}

TEST_F(AppTest, LinkLostWhileAMatchLoadsReturnsToTheMultiplayerMenus)
{
    std::unique_ptr<rig::Hub> hub;
    Guest guest;
    StartMatch(hub, guest);
    if (HasFatalFailure())
        return;
    ASSERT_EQ(m_app->State(), STATE_LOAD_MATCH);
    // The host's room goes before the match has loaded.
    hub->Cut(0);
    GuestStep(guest);
    EXPECT_EQ(m_app->State(), STATE_MP);
    EXPECT_EQ(m_app->Game(), nullptr);
    KrvMp* host = KorvanthAppProbe::Mp(m_app);
    EXPECT_EQ(host->GetState(), KrvMp::MENU_LOCAL_INTERNET);
    EXPECT_TRUE(host->msgBox && host->msgBox->IsVisible());
    EXPECT_EQ(host->mp, nullptr);
    guest.k.Release();
}

TEST_F(AppTest, StorageWriteTestMakesWhatIsMissingAndDeletesOneNameMore)
{
    Start();
    ASSERT_TRUE(RunTo(STATE_MENU));
    struct Case {
        int wanted;
        std::vector<std::string> before; // files present before the test
        int made;
        std::vector<std::string> after;
    };
    Case const cases[] = {
        // Eight made; names 0 to 8 deleted, a stray 8 included, 9 kept.
        {8, {"usr/dummyfile8", "usr/dummyfile9"}, 8, {"dummyfile9"}},
        // Three made (three profile files, the list and the settings exist).
        {3, {"usr/dummyfile3", "usr/dummyfile4"}, 3, {"dummyfile4"}},
        {0, {"usr/dummyfile0"}, 0, {}},
    };
    for (Case const& c : cases) {
        for (std::string const& f : c.before)
            Touch(f);
        EXPECT_EQ(StorageWriteTest(c.wanted), c.made) << c.wanted;
        EXPECT_EQ(DummyFiles(), c.after) << c.wanted;
        for (std::string const& f : c.after)
            unlink(m_data.Full("usr/" + f).c_str());
    }
    // A name that cannot be created (a directory in the way) stops the test
    // there; what it made is gone, the directory stays.
    Touch("usr/dummyfile2/keep");
    EXPECT_EQ(StorageWriteTest(8), 2);
    EXPECT_EQ(DummyFiles(), std::vector<std::string>{"dummyfile2"});
}

TEST_F(AppTest, FramesArePacedAt25MsWithoutCatchingUp)
{
    Start();
    ASSERT_TRUE(RunTo(STATE_MENU));
    ASSERT_TRUE(Pass(25));
    struct Step {
        unsigned ms;
        bool frame;
    };
    // 10 ms after a frame: nothing; at 25: a frame; 100 ms late: one frame,
    // and the next is due 25 ms after it, not at once.
    Step const steps[] = {{10, false}, {15, true}, {24, false}, {1, true}, {100, true}, {1, false},
                          {23, false}, {1, true},  {25, true}};
    int i = 0;
    for (Step const& s : steps) {
        uint32_t before = m_app->FrameTime();
        bool frame = Pass(s.ms);
        EXPECT_EQ(frame, s.frame) << "step " << i;
        if (!frame) {
            EXPECT_EQ(m_app->FrameTime(), before) << "step " << i;
        }
        ++i;
    }
}

TEST_F(AppTest, FocusStopsTheTickerAndTheFramesAndTheFirstFrameComes40MsAfterItReturns)
{
    Start();
    ASSERT_TRUE(RunTo(STATE_MENU));
    ASSERT_TRUE(Pass());
    uint32_t atLoss = m_app->Ticker()();
    m_app->OnEvent(PEVENT_FOCUS, 0, 0);
    EXPECT_TRUE(m_app->Ticker().IsStopped());
    EXPECT_EQ(m_app->Sounds()->GetState(), AudioManager::STATE_PAUSED);
    for (int i = 0; i < 40; ++i)
        EXPECT_FALSE(Pass());
    m_app->OnEvent(PEVENT_FOCUS, 1, 1);
    EXPECT_FALSE(m_app->Ticker().IsStopped());
    EXPECT_EQ(m_app->Ticker()(), atLoss); // game time froze while away
    EXPECT_EQ(m_app->Sounds()->GetState(), AudioManager::STATE_RUNNING);
    EXPECT_FALSE(Pass(39));
    EXPECT_TRUE(Pass(1));
    // A repeated focus event changes nothing.
    m_app->OnEvent(PEVENT_FOCUS, 1, 1);
    EXPECT_TRUE(Pass(25));
}

TEST_F(AppTest, FatalPathsDrawOneLoadingFrameThenEndTheLoop)
{
    // Without fonts the intro cannot start; a data error is fatal too.
    for (bool data : {false, true}) {
        Start(480, 320, data);
        if (data) {
            ASSERT_TRUE(RunTo(STATE_MENU));
            KorvanthAppProbe::Enter(m_app, STATE_DATA_ERROR);
            EXPECT_TRUE(Pass()); // the message stays until a tap
            // The intro's finger is lifted; only a press after the message
            // was drawn whole (its opening over) is a tap on it.
            m_app->OnMouseButton(10, 10, 0, PPointerWord(0, 0));
            EXPECT_TRUE(Pass());
            m_app->OnMouseButton(10, 10, 0, PPointerWord(0, 1));
            EXPECT_TRUE(Pass()) << "a press while the window opens";
            m_app->OnMouseButton(10, 10, 0, PPointerWord(0, 0));
            for (int i = 0; i < 3; ++i)
                EXPECT_TRUE(Pass());
            m_app->OnMouseButton(10, 10, 0, PPointerWord(0, 1));
        } else {
            EXPECT_FALSE(Pass()); // the level catalogue
        }
        EXPECT_FALSE(Pass());
        EXPECT_EQ(m_app->ExitStage(), EXIT_REQUESTED);
        EXPECT_TRUE(Pass()); // the one loading frame
        EXPECT_EQ(m_sysman->m_runState, PRUN_RUNNING);
        EXPECT_FALSE(Pass());
        EXPECT_EQ(m_sysman->m_runState, PRUN_EXIT);
        delete m_sysman;
        m_sysman = nullptr;
        host::EventServiceStop();
    }
}

TEST_F(AppTest, MessagesAndMissingScreensReturnWhereTheyShould)
{
    Start();
    ASSERT_TRUE(RunTo(STATE_MENU));
    struct Case {
        int32_t state;
        int32_t saved;
        int32_t next;
    };
    Case const cases[] = {
        {STATE_SAVE_ERROR, STATE_ENDING, STATE_ENDING},       {STATE_WRITE_FAILED, STATE_INTRO, STATE_FREE_SPACE},
        {STATE_LOW_SPACE, STATE_INTRO, STATE_INTRO},          {STATE_RESOLUTION, STATE_PROFILES, STATE_PROFILES},
        {STATE_SETTINGS_FAILED, STATE_MENU, STATE_MENU},      {STATE_PROFILES_OPEN, STATE_ENDING, STATE_PROFILES},
        // Screens that are not built yet lead back to the menu.
        {STATE_GAME, STATE_ENDING, STATE_MENU_OPEN},
    };
    for (Case const& c : cases) {
        KorvanthAppProbe::Enter(m_app, c.state, c.saved);
        // Messages open, then take the fire key as their answer.
        bool shown = false;
        for (int i = 0; i < 12 && m_app->State() != c.next; ++i) {
            KorvanthAppProbe::Keys(m_app, i % 2 ? MyInput::kFire : 0);
            shown = Pass();
        }
        KorvanthAppProbe::Keys(m_app, 0);
        EXPECT_EQ(m_app->State(), c.next) << c.state;
        // The storage and settings notices show the frame that dismisses them.
        if (c.state >= STATE_WRITE_FAILED && c.state <= STATE_LOW_SPACE) {
            EXPECT_TRUE(shown) << c.state;
        }
        EXPECT_EQ(m_app->ExitStage(), EXIT_NONE) << c.state;
    }
}

TEST_F(AppTest, ExitEventReleasesOnceAndLaterCallsDoNothing)
{
    Start();
    ASSERT_TRUE(RunTo(STATE_MENU));
    m_app->OnEvent(PEVENT_EXIT, 0, 0);
    EXPECT_EQ(PGetTls(), nullptr);
    EXPECT_EQ(m_app->Context(), nullptr);
    m_app->OnExit();
    m_app->ReleaseAll();
    for (int i = 0; i < 5; ++i)
        EXPECT_FALSE(Pass());
    EXPECT_EQ(m_sysman->m_runState, PRUN_RUNNING); // the platform ends the run, not the game
    // Touches, focus and display changes after the release find nothing to use.
    m_app->OnMouseButton(10, 10, 0, PPointerWord(0, 1));
    m_app->OnEvent(PEVENT_FOCUS, 0, 0);
    m_app->OnEvent(PEVENT_FOCUS, 1, 1);
    m_app->OnEvent(kEventDisplayChanged, 0, 0);
    EXPECT_FALSE(Pass());
}

TEST_F(AppTest, EndScreenLeavesAfterFourSecondsOrOnInput)
{
    // A 16 x 16 picture of one colour as the end screen.
    Picture("data/2dgfx/endscreen.png", 0, 0, 0xF8); // red

    Start();
    ASSERT_TRUE(RunTo(STATE_MENU));
    enum Input { NONE, TAP, FIRE, BACK };
    struct Case {
        Input input;
        int frames; // frames of the end screen, the last one included
    };
    Case const cases[] = {{NONE, 4000 / 25}, {TAP, 1}, {FIRE, 1}, {BACK, 1}};
    for (Case const& c : cases) {
        Pass();
        KorvanthAppProbe::StartEnding(m_app);
        if (c.input == TAP) {
            m_app->OnMouseButton(5, 5, 0, PPointerWord(0, 1));
        } else if (c.input == FIRE) {
            KorvanthAppProbe::Keys(m_app, 16);
        } else if (c.input == BACK) {
            KorvanthAppProbe::Latch(m_app, kKeyBack);
        }
        int frames = 0;
        while (frames < 400 && m_app->State() == STATE_ENDING) {
            Pass();
            ++frames;
        }
        KorvanthAppProbe::Keys(m_app, 0);
        EXPECT_EQ(frames, c.frames) << c.input;
        EXPECT_EQ(m_app->State(), STATE_MENU_OPEN) << c.input;
        if (c.input == NONE) {
            // The last frame shows the picture over the whole screen.
            PBackBuffer* bb = m_sysman->GetDisplay()->GetBackBuffer(PBACKBUFFER_COLOR);
            ASSERT_NE(bb, nullptr);
            for (int y : {0, bb->height / 2, bb->height - 1})
                for (int x : {0, bb->width / 2, bb->width - 1})
                {
                    unsigned p = bb->pixels[y * (bb->pitch / 2) + x];
                    EXPECT_GE(p >> 11, 30u) << x << "," << y; // red, blended at alpha 255
                    EXPECT_EQ(p & 0x7FF, 0u) << x << "," << y;
                }
        }
    }
}

TEST_F(AppTest, PortraitDisplayIsTurnedToLandscapeAtStart)
{
    Start(320, 480);
    EXPECT_EQ(m_app->DisplayInfo().width, 480);
    EXPECT_EQ(m_app->DisplayInfo().height, 320);
    // The half turn and the last quarter turn swap too (no orientation 7 or 11).
    int const turns[][2] = {{PDISPLAY_ORIENT_NORMAL, PDISPLAY_ORIENT_90},
                            {PDISPLAY_ORIENT_90, PDISPLAY_ORIENT_NORMAL},
                            {PDISPLAY_ORIENT_180, PDISPLAY_ORIENT_270},
                            {PDISPLAY_ORIENT_270, PDISPLAY_ORIENT_180}};
    for (auto const& t : turns)
        EXPECT_EQ(LandscapeOrientation(t[0]), t[1]) << t[0];
}

} // namespace
