// The main menu driven like a player drives it: scripted touches and keys
// with the clock passed in, on Mesa at 480 x 320, with pictures, fonts,
// texts, the bomb mesh, aircraft names, an arcade script and the level
// groups made by the test writers.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

#include "engine/graphics/p3d.h"
#include "engine/graphics/psurface3d.h"
#include "engine/runtime/pglobals.h"
#include "game/frontend/fonts.h"
#include "game/frontend/mainmenu.h"
#include "game/frontend/profilemanager.h"
#include "game/frontend/settings.h"
#include "game/frontend/uimoregames.h"
#include "game/world/levelsmanager.h"
#include "tests/engine/graphics/png_gen.h"
#include "tests/game/frontend/frontend_fixture.h"
#include "tools/lib/pof_writer.h"

namespace {

constexpr int W = 480, H = 320;

std::vector<uint8_t> Picture(int w, int h, uint8_t r, uint8_t g, uint8_t b)
{
    PngSpec s;
    s.colorType = 6;
    s.width = w;
    s.height = h;
    for (int i = 0; i < w * h; i++)
        s.rows.insert(s.rows.end(), {r, g, b, 255});
    return MakePng(s);
}

std::vector<uint8_t> Texts()
{
    LangLanguage l;
    l.name = u"English";
    l.strings.resize(410);
    const std::pair<int, const char16_t*> texts[] = {
        {13, u"CAMPAIGNS"}, {17, u"MUSIC"}, {18, u"SOUND FX"}, {19, u"SENSITIVITY"}, {20, u"INVERT"}, {23, u"ON"},
        {24, u"OFF"}, {25, u"OPTIONS"}, {26, u"HELP"}, {27, u"CREDITS"}, {28, u"SELECT GAME"}, {29, u"TUTORIAL"},
        {30, u"CAMPAIGN"}, {31, u"TIME ATTACK"}, {32, u"ARCADE"}, {33, u"PLAY"}, {34, u"MULTIPLAYER"},
        {35, u"PROFILES"}, {36, u"OPTIONS"}, {37, u"HELP"}, {38, u"EXIT"}, {140, u"LOW"}, {141, u"MEDIUM"},
        {142, u"HIGH"}, {311, u"HOW TO FLY"}, {312, u"Tilt the tablet to steer and tap to fire."},
        {372, u"SCORE:"}, {385, u"MORE SOON"}};
    for (auto& [id, s] : texts)
        l.strings[size_t(id)] = s;
    return fronttest::Encode({l});
}

// The bomb: a square facing the viewer, textured with the whole label
// canvas.
std::vector<uint8_t> BombMesh()
{
    PofMesh m;
    const int32_t k = 8 << 16;
    m.positions = {-k, -k, 0, k, -k, 0, k, k, 0, -k, k, 0};
    m.texcoords = {0, 0, 0x10000, 0, 0x10000, 0x10000, 0, 0x10000};
    PofList l;
    l.indices = {0, 2, 1, 0, 3, 2}; // clockwise: the menu draws it with clockwise front faces
    m.lists.push_back(l);
    return WritePof(m);
}

// A menu world: data written once per test, Mesa, the text service, the
// shared pictures, a profile, the level groups and the menu itself.
class MenuTest : public testing::Test {
protected:
    void Build(int multiplayer, std::function<void(fronttest::ScratchDir&)> tweak = {})
    {
        menu.reset();
        m_dir.reset(); // gives the environment back before the next directory takes it
        m_dir = std::make_unique<fronttest::ScratchDir>();
        settings = std::make_unique<Settings>();
        fronttest::ScratchDir& d = *m_dir;
        d.WriteFonts();
        std::filesystem::create_directories(d.Full("usr"));
        d.Write("data/lang0.bin", Texts());
        // The bay is a frame around a see-through window onto the ground.
        PngSpec bay;
        bay.colorType = 6;
        bay.width = bay.height = 32;
        for (int y = 0; y < 32; y++)
            for (int x = 0; x < 32; x++)
                bay.rows.insert(bay.rows.end(), {70, 70, 80, uint8_t(x > 4 && x < 27 && y > 6 && y < 25 ? 0 : 255)});
        d.Write("data/2dgfx/bombbay.png", MakePng(bay));
        const char* required[] = {"hatch_door", "earth", "clouds01", "clouds02", "clouds03", "selector",
                                  "texture", "warroom", "soft_label_back", "soft_label_back_paper", "metal_bar",
                                  "profile_icon_0", "profile_icon_1", "profile_icon_4", "bar_empty_side",
                                  "bar_fill_side", "bar_empty", "bar_fill", "campaign_1", "campaign_2",
                                  "campaign_3", "campaign_1_gray", "campaign_2_gray", "campaign_3_gray",
                                  "help_0", "vornlogo"};
        for (const char* n : required) {
            const std::string name = n;
            const int w = name == "selector" ? 100 : name == "texture" ? 64 : name.rfind("campaign", 0) == 0 ? 120 : 32;
            const int h = name == "selector" ? 50 : name.rfind("bar_", 0) == 0 ? 16 : name == "texture" ? 64 : 32;
            const bool grey = name.find("_gray") != std::string::npos;
            d.Write("data/2dgfx/" + name + ".png", grey ? Picture(w, h, 90, 90, 90) : Picture(w, h, 200, uint8_t(w), 60));
        }
        d.Write("data/2dgfx/explosion1.png", Picture(160, 16, 250, 180, 40)); // ten frames
        d.Write("data/objects/menu_bomb.pof", BombMesh());
        for (int i = 1; i <= 3; i++)
            d.Put("data/planes/config" + std::to_string(i) + ".txt", "PLANE " + std::to_string(i) + "\r\nrest\n");
        // The arcade script: aircraft numbers 0, 7 (no such aircraft), -2 and 2.
        std::filesystem::create_directories(d.Full("data/scripts"));
        std::ofstream(d.Full("arcade.txt")) << "define header { spawnsCount 3 planes 4 { planes[0] { index \"0\" } "
                                               "planes[1] { index \"7\" } planes[2] { index \"-2\" } "
                                               "planes[3] { index \"2\" } } }\n";
        auto r = tooltest::RunTool("scriptc", tooltest::Q(d.Full("arcade.txt")) + " " +
                                                  tooltest::Q(d.Full("data/scripts/arcade.bin")), true);
        ASSERT_EQ(r.code, 0) << r.out;
        if (tweak)
            tweak(d);

        m_mesa = std::make_unique<gametest::MesaContext>(w, h);
        ASSERT_TRUE(m_mesa->Ok());
        m_mesa->display->GetInfo(m_props);
        ASSERT_TRUE(m_fonts.Init(m_mesa->ctx, &m_props));
        ASSERT_TRUE(m_fonts.LoadLanguage(0));
        const char* shared[8] = {nullptr, "soft_label_back", nullptr, nullptr, nullptr, "soft_label_back_paper",
                                 "metal_bar", "warroom"};
        for (int i = 0; i < 8; i++)
            if (shared[i])
                m_globals.sharedImages[i] = PSurface3D::CreateFromFile(
                    m_mesa->ctx, ("data\\2dgfx\\" + std::string(shared[i]) + ".png").c_str(), PS3D_DROPIMAGE);
        m_globals.multiplayer = uint8_t(multiplayer);
        PSetTls(&m_globals);

        m_profiles = std::make_unique<ProfileManager>(m_mesa->ctx, &m_fonts, nullptr, nullptr, w, h, nullptr);
        auto* p = new Profile();
        p->SetNick("ACE");
        p->UnlockLevel(2, 0); // campaign 0: two levels; campaign 1 locked
        p->UnlockLevel(1, Profile::kTimeAttackGroup);
        m_profiles->AddProfile(p);

        m_levels = std::make_unique<LevelsManager>(m_mesa->ctx, &m_fonts, &m_props);
        auto add = [&](int mode, int campaign, int mission, const char* script) {
            ASSERT_TRUE(m_levels->AddHeaderConfig(m_mesa->ctx, 30, "L", mode, campaign, mission, script, 0, 3, 0, 1, 0,
                                                  2, 0));
        };
        for (int c = 0; c < 3; c++)
            for (int m = 0; m < 2; m++)
                add(LevelsManager::SINGLEPLAYER, c, m, "s");
        add(LevelsManager::TIMEATTACK, 0, 0, "t");
        add(LevelsManager::TUTORIAL, 0, 0, "u");
        add(LevelsManager::ARCADE, 0, 0, "data_to_make\\scripts\\txt\\arcade");
        add(LevelsManager::ARCADE, 0, 1, "data_to_make\\scripts\\txt\\arcade");
        for (int c = 0; c < 3; c++)
            m_campaign[c] = m_levels->AddLevelsGroup(LevelsManager::SINGLEPLAYER, c);
        m_levels->SetCampaignsCount(3);
        m_timeAttack = m_levels->AddLevelsGroup(LevelsManager::TIMEATTACK, 0);
        m_arcade = m_levels->AddLevelsGroup(LevelsManager::ARCADE, 0);
        m_tutorial = m_levels->AddLevelsGroup(LevelsManager::TUTORIAL, 0);

        menu = std::make_unique<MainMenu>(&m_props, &m_fonts, nullptr, m_profiles.get(), m_levels.get(), nullptr,
                                          m_campaign, 3, m_timeAttack, m_tutorial, m_arcade);
        initOk = menu->Init(settings.get());
        loadOk = initOk && menu->LoadMenu(m_mesa->ctx, nullptr);
    }
    void TearDown() override
    {
        menu.reset();
        m_levels.reset();
        m_profiles.reset();
        m_fonts.Release();
        for (PSurface3D*& s : m_globals.sharedImages) {
            delete s;
            s = nullptr;
        }
        if (PGetTls() == &m_globals)
            PSetTls(nullptr);
        m_mesa.reset();
        m_dir.reset();
    }

    // One frame 25 ms after the last; its result.
    int Frame(int keys = 0)
    {
        now += 25;
        return menu->RenderMainMenu(m_mesa->ctx, &m_props, &m_props, keys, 0, now);
    }
    // Frames until a result or the condition holds; the last result.
    int RunUntil(const std::function<bool()>& done, int frames = 400)
    {
        for (int i = 0; i < frames; i++) {
            const int r = Frame();
            if (r != 0 || done())
                return r;
        }
        return 0;
    }
    int Wait(int ms) { return RunUntil([] { return false; }, ms / 25); }
    // A press and a release, a frame each; the first non-zero result.
    int Tap(int x, int y)
    {
        menu->TouchScreenEvent(x, y, 1);
        const int a = Frame();
        menu->TouchScreenEvent(x, y, 0);
        const int b = Frame();
        return a ? a : b;
    }
    int TapRect(const PRect& r) { return Tap(r.x + r.width / 2, r.y + r.height / 2); }
    // Drags the bomb by dy pixels from the middle of the screen.
    void Drag(int dy, int endX = 200)
    {
        menu->TouchScreenEvent(200, 250, 1);
        Frame();
        menu->TouchScreenEventMove(200, 250 + dy / 2, 1);
        Frame();
        menu->TouchScreenEventMove(endX, 250 + dy, 1);
        Frame();
        menu->TouchScreenEvent(endX, 250 + dy, 0);
        Frame();
    }
    // The bomb settled on its first label.
    void ToBomb()
    {
        ASSERT_TRUE(loadOk);
        RunUntil([&] { return menu->BombY() == 0 && menu->Angle() == menu->TargetAngle(); });
        Wait(400);
    }
    // Turns the bomb to a label by dragging and taps the selector.
    int Choose(int label)
    {
        Drag(-45 * label);
        Wait(200);
        EXPECT_EQ(menu->page, label);
        return TapRect(menu->SelectorRect());
    }
    void ToGameSelection()
    {
        ToBomb();
        EXPECT_EQ(Choose(0), 0);
        RunUntil([&] { return menu->page == MainMenu::PAGE_GAME_SELECTION; });
        ASSERT_EQ(menu->page, MainMenu::PAGE_GAME_SELECTION);
        Wait(400);
    }
    void FailSettingsWrites() { std::filesystem::create_directories(m_dir->Full("usr/settings_temp")); }
    // The settings as stored in the file.
    std::unique_ptr<Settings> Stored()
    {
        auto s = std::make_unique<Settings>();
        s->Read();
        return s;
    }

    std::unique_ptr<fronttest::ScratchDir> m_dir;
    std::unique_ptr<gametest::MesaContext> m_mesa;
    PDisplayProperties m_props{};
    Fonts m_fonts;
    PGlobals m_globals{};
    std::unique_ptr<ProfileManager> m_profiles;
    std::unique_ptr<LevelsManager> m_levels;
    LevelsGroup* m_campaign[3] = {};
    LevelsGroup* m_timeAttack = nullptr;
    LevelsGroup* m_arcade = nullptr;
    LevelsGroup* m_tutorial = nullptr;
    std::unique_ptr<Settings> settings;
    std::unique_ptr<MainMenu> menu;
    int initOk = 0, loadOk = 0;
    unsigned now = 1000;
    int w = W, h = H; // the screen Build makes
};

// Every result of the bomb, chosen by dragging the bomb and tapping the
// selector, with and without the multiplayer label.
TEST_F(MenuTest, BombLabelsGiveTheirResults)
{
    struct Case {
        int multiplayer, label, result;
        int labels;
    } const cases[] = {
        {1, 1, MAINMENU_MULTIPLAYER_NOTICE, 7}, {1, 2, MAINMENU_PROFILES, 7}, {1, 6, MAINMENU_QUIT, 7},
        {0, 1, MAINMENU_PROFILES, 6},           {0, 5, MAINMENU_QUIT, 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "multiplayer " << c.multiplayer << " label " << c.label);
        Build(c.multiplayer);
        ToBomb();
        EXPECT_EQ(menu->GetMenuElementsCount(), c.labels);
        int r = Choose(c.label);
        if (r == 0)
            r = RunUntil([] { return false; });
        EXPECT_EQ(r, c.result);
        TearDown();
    }
}

TEST_F(MenuTest, HatchAfterTheMultiplayerNoticeAndTheBackKey)
{
    for (int mp : {1, 0}) {
        Build(mp);
        ToBomb();
        // The application shows its notice, then closes the hatch with the
        // multiplayer item still chosen.
        menu->page = MainMenu::PAGE_HATCH_CLOSE;
        menu->chosenItem = MainMenu::ITEM_MULTIPLAYER;
        EXPECT_EQ(RunUntil([&] { return menu->page == MainMenu::PAGE_HATCH_OPEN; }),
                  mp ? MAINMENU_MULTIPLAYER : MAINMENU_STAY);
        RunUntil([&] { return menu->page < MainMenu::PAGE_FALL; });
        // The back key on the bomb leaves the game at once, even mid-turn.
        Frame(MyInput::kDown);
        EXPECT_EQ(Frame(MyInput::kBack), MAINMENU_QUIT);
        TearDown();
    }
}

// A drag that ends on another label turns there without choosing; one that
// comes back to its label and ends on the selector chooses it.
TEST_F(MenuTest, DraggingSelectsAndTapsChoose)
{
    Build(1);
    ToBomb();
    Drag(-90); // two labels
    RunUntil([&] { return menu->Angle() == menu->TargetAngle(); });
    EXPECT_EQ(menu->page, 2);
    EXPECT_EQ(menu->Angle(), MainMenu::LabelAngle(2));
    const PRect s = menu->SelectorRect();
    menu->TouchScreenEvent(s.x + 60, s.y + 40, 1);
    Frame();
    menu->TouchScreenEventMove(s.x + 60, s.y - 40, 1); // two labels on
    Frame();
    menu->TouchScreenEventMove(s.x + 60, s.y + 40, 1); // and back
    Frame();
    menu->TouchScreenEvent(s.x + 60, s.y + 40, 0);
    Frame();
    EXPECT_EQ(menu->page, MainMenu::PAGE_HATCH_CLOSE);
    EXPECT_EQ(RunUntil([] { return false; }), MAINMENU_PROFILES);
}

// Play drops the bomb; the hatch closes over the game selection, whose
// tutorial row starts the tutorial and opens the other modes.
TEST_F(MenuTest, TutorialGate)
{
    for (int mp : {1, 0}) {
        SCOPED_TRACE(testing::Message() << "multiplayer " << mp);
        Build(mp);
        ToGameSelection();
        EXPECT_EQ(settings->tutorialOffered, 0);
        for (int row = 1; row < 4; row++) {
            EXPECT_EQ(TapRect(menu->GameSelectionRow(row)), MAINMENU_TUTORIAL_OFFER) << row;
            Wait(100);
        }
        EXPECT_EQ(TapRect(menu->GameSelectionRow(0)), MAINMENU_PLAY);
        EXPECT_EQ(menu->chosenGroup, m_tutorial);
        EXPECT_EQ(menu->chosenLevel, 0);
        EXPECT_EQ(Stored()->tutorialOffered, 1);
        // Now the campaign row opens the campaign page through the transition.
        Wait(100);
        EXPECT_EQ(TapRect(menu->GameSelectionRow(1)), 0);
        RunUntil([&] { return menu->page == MainMenu::PAGE_CAMPAIGNS; });
        EXPECT_EQ(menu->page, MainMenu::PAGE_CAMPAIGNS);
        TearDown();
    }
}

TEST_F(MenuTest, SettingsWriteFailures)
{
    struct Case {
        const char* what;
        int expected;
    } const cases[] = {{"tutorial", MAINMENU_PLAY_SETTINGS_FAILED},
                       {"options", MAINMENU_SETTINGS_FAILED},
                       {"options from a game", MAINMENU_BACK_TO_GAME}};
    for (int mp : {1, 0})
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << c.what << ", multiplayer " << mp);
            Build(mp);
            FailSettingsWrites();
            const std::string what = c.what;
            if (what == "tutorial") {
                ToGameSelection();
                EXPECT_EQ(TapRect(menu->GameSelectionRow(0)), c.expected);
            } else {
                ToBomb();
                if (what == "options") {
                    EXPECT_EQ(Choose(mp ? 3 : 2), 0);
                    RunUntil([&] { return menu->page == MainMenu::PAGE_OPTIONS; });
                } else {
                    menu->GotoOptionsMenu();
                }
                Wait(400);
                EXPECT_EQ(TapRect(menu->BackRect()), c.expected);
            }
            TearDown();
        }
}

// The bars follow the finger, stop at 0 and 255 and are stored when the
// finger lifts; the toggle flips on a tap.
TEST_F(MenuTest, OptionBarsClampAndPersist)
{
    Build(1);
    ToBomb();
    Choose(3);
    RunUntil([&] { return menu->page == MainMenu::PAGE_OPTIONS; });
    Wait(400);
    struct Case {
        int row, dx;
        uint8_t Settings::*field;
        int expected;
    } const cases[] = {
        {0, -400, &Settings::musicVolume, 0},     {0, 400, &Settings::musicVolume, 255},
        {1, -30, &Settings::effectsVolume, 140},  {3, 1000, &Settings::sensitivity, 255},
        {3, -1000, &Settings::sensitivity, 0},
    };
    for (const Case& c : cases) {
        const PRect r = menu->OptionsRowRect(c.row);
        const int x = r.x + r.width / 2, y = r.y + r.height / 2;
        menu->TouchScreenEvent(x, y, 1);
        Frame();
        menu->TouchScreenEventMove(x + c.dx, y, 1);
        Frame();
        EXPECT_EQ((*settings).*c.field, c.expected) << "row " << c.row << " while dragging";
        menu->TouchScreenEvent(x + c.dx, y, 0);
        Frame();
        EXPECT_EQ((*Stored()).*c.field, c.expected) << "row " << c.row << " stored";
    }
    const uint8_t inverted = settings->invertSteering;
    TapRect(menu->OptionsRowRect(2));
    EXPECT_EQ(Stored()->invertSteering, inverted ? 0 : 1);
    EXPECT_EQ(TapRect(menu->BackRect()), MAINMENU_STAY);
    RunUntil([&] { return menu->page < MainMenu::PAGE_FALL; });
    EXPECT_EQ(menu->page, 3); // back on the options label
}

// A locked campaign can be shown but starts nothing; an unlocked one starts
// its tapped level.
TEST_F(MenuTest, CampaignLocks)
{
    Build(1);
    settings->tutorialOffered = 1;
    ToGameSelection();
    TapRect(menu->GameSelectionRow(1));
    RunUntil([&] { return menu->page == MainMenu::PAGE_CAMPAIGNS; });
    Wait(100);
    auto slot = [&](int c, int i) { return m_campaign[c]->GetLevelConfig(i)->slot; };

    menu->TouchScreenEvent(menu->CampaignPictureRect(1).x + 5, menu->CampaignPictureRect(1).y + 5, 1);
    Frame();
    menu->TouchScreenEvent(0, 0, 0);
    Frame();
    EXPECT_EQ(menu->campaign, 1);
    // The chosen locked campaign shows its grey picture, opaque.
    const PRect pic = menu->CampaignPictureRect(1);
    const uint32_t shown = m_mesa->Read()[size_t(pic.y + 4) * W + size_t(pic.x + pic.width / 2)];
    const int r = int(shown >> 16), g = int(shown >> 8 & 0xFF), b = int(shown & 0xFF);
    EXPECT_TRUE(std::abs(r - 0x5A) <= 8 && std::abs(g - 0x5A) <= 8 && std::abs(b - 0x5A) <= 8) << std::hex << shown;
    for (int i = 0; i < 2; i++)
        EXPECT_EQ(TapRect(slot(1, i)), MAINMENU_STAY) << "locked level " << i;
    EXPECT_EQ(menu->page, MainMenu::PAGE_CAMPAIGNS);

    menu->TouchScreenEvent(menu->CampaignPictureRect(0).x + 5, menu->CampaignPictureRect(0).y + 5, 1);
    Frame();
    menu->TouchScreenEvent(0, 0, 0);
    Frame();
    EXPECT_EQ(menu->campaign, 0);
    EXPECT_EQ(TapRect(slot(0, 1)), MAINMENU_PLAY);
    EXPECT_EQ(menu->chosenGroup, m_campaign[0]);
    EXPECT_EQ(menu->chosenLevel, 1);
}

// The arcade page starts level 0 of its group whatever the group's
// selection; aircraft numbers that name no aircraft are dropped to -1.
TEST_F(MenuTest, ArcadeStartsLevelZero)
{
    Build(1);
    ASSERT_TRUE(initOk);
    const std::vector<std::wstring> names = {L"PLANE 1", L"PLANE 2", L"PLANE 3"};
    EXPECT_EQ(menu->AirplaneNames(), names);
    EXPECT_EQ(menu->ArcadeAircraft(), (std::vector<short>{0, -1, -1, 2}));
    EXPECT_EQ(menu->ArcadeSpawns(), 3);
    ToBomb();
    menu->GotoArcadeMenu();
    m_arcade->selected = 1;
    Frame();
    EXPECT_EQ(TapRect(menu->ArcadeStartRect()), MAINMENU_PLAY);
    EXPECT_EQ(menu->chosenGroup, m_arcade);
    EXPECT_EQ(menu->chosenLevel, 0);
}

// Every page with controls, at both screen sizes, with pictures of the
// demo's sizes (64-pixel arrows, start button and profile icons, a 96 x 48
// back label, a 44 x 44 back paper, 300 x 200 campaign pictures): no
// control's touch area meets another control (edges count). On the arcade
// set-up a tap on the start button's corner next to the ENEMIES arrow
// starts the game without stepping the setting.
TEST_F(MenuTest, ControlsLieApart)
{
    auto meet = [](const PRect& a, const PRect& b) {
        return a.x <= b.x + b.width && b.x <= a.x + a.width && a.y <= b.y + b.height && b.y <= a.y + a.height;
    };
    // Each control of the list against every one after it.
    auto apart = [&](const std::vector<PRect>& controls, const char* page) {
        for (size_t i = 0; i < controls.size(); i++) {
            EXPECT_GT(controls[i].width, 0) << page << " " << i;
            for (size_t j = i + 1; j < controls.size(); j++)
                EXPECT_FALSE(meet(controls[i], controls[j])) << page << ": " << i << " and " << j;
        }
    };
    for (auto [sw, sh] : {std::pair{480, 320}, std::pair{1024, 600}}) {
        SCOPED_TRACE(sw);
        TearDown(); // the last size's menu and drawing context
        w = sw, h = sh;
        Build(1, [](fronttest::ScratchDir& d) {
            const std::pair<const char*, std::pair<int, int>> sizes[] = {
                {"profile_icon_0", {64, 64}},   {"profile_icon_1", {64, 64}},     {"profile_icon_4", {64, 64}},
                {"soft_label_back", {96, 48}},  {"soft_label_back_paper", {44, 44}}, {"campaign_1", {300, 200}},
                {"campaign_2", {300, 200}},     {"campaign_3", {300, 200}}};
            for (const auto& [n, size] : sizes)
                d.Write(std::string("data/2dgfx/") + n + ".png", Picture(size.first, size.second, 200, 64, 60));
        });
        settings->tutorialOffered = 1;
        ToGameSelection();
        std::vector<PRect> controls;
        for (int i = 0; i < 4; i++)
            controls.push_back(menu->GameSelectionRow(i));
        controls.push_back(menu->BackRect());
        apart(controls, "game selection");

        TapRect(menu->GameSelectionRow(1));
        RunUntil([&] { return menu->page == MainMenu::PAGE_CAMPAIGNS; });
        Frame();
        controls.clear();
        for (int k = 0; k < 3; k++) {
            const PRect pic = menu->CampaignPictureRect(k); // taken within 3 pixels around
            controls.push_back(PRect{pic.x - 3, pic.y - 3, pic.width + 6, pic.height + 6});
        }
        for (int i = 0; i < m_campaign[0]->Count(); i++)
            controls.push_back(m_campaign[0]->GetLevelConfig(i)->slot);
        controls.push_back(menu->BackRect());
        apart(controls, "campaigns");

        menu->GotoTimeAttackMenu();
        Frame();
        controls = {m_timeAttack->GetLevelConfig(0)->slot, menu->BackRect()};
        apart(controls, "time attack");

        menu->GotoArcadeMenu();
        Frame();
        const PRect start = menu->ArcadeStartRect();
        ASSERT_EQ(start.width, 64);
        controls = {start, menu->BackRect()};
        for (const auto& pair : m_arcade->arrowRects)
            controls.insert(controls.end(), std::begin(pair), std::end(pair));
        apart(controls, "arcade");
        const int enemies = m_arcade->enemySetting;
        EXPECT_EQ(Tap(start.x + 8, start.y + 8), MAINMENU_PLAY);
        EXPECT_EQ(m_arcade->enemySetting, enemies);

        menu->GotoOptionsMenu();
        Frame();
        controls.clear();
        for (int i = 0; i < 4; i++) // the rows hold their bars
            controls.push_back(menu->OptionsRowRect(i));
        controls.push_back(menu->BackRect());
        for (size_t i = 0; i < 4; i++)
            EXPECT_FALSE(meet(controls[i], controls.back())) << "options row " << i;
    }
}

TEST_F(MenuTest, TimeAttackAndLevelPageBack)
{
    Build(1);
    ToBomb();
    menu->GotoTimeAttackMenu();
    Frame();
    EXPECT_EQ(TapRect(m_timeAttack->GetLevelConfig(0)->slot), MAINMENU_PLAY);
    EXPECT_EQ(menu->chosenGroup, m_timeAttack);
    menu->GotoTimeAttackMenu();
    Wait(400);
    TapRect(menu->BackRect());
    RunUntil([&] { return menu->page == MainMenu::PAGE_GAME_SELECTION; });
    EXPECT_EQ(menu->page, MainMenu::PAGE_GAME_SELECTION);
}

// Steps scale with the frame time in 64 bits and never fall below their
// base value.
TEST_F(MenuTest, StepsFollowTheFrameTime)
{
    Build(1);
    ToBomb();
    struct Case {
        unsigned frame;
        int32_t v, expected;
    } const cases[] = {{0, 792000, 792000},       {25, 792000, 792000},       {100, 792000, 1584000},
                       {1000, 50000000, 1000000000}, {5000, 50000000, INT32_MAX}};
    for (const Case& c : cases) {
        now += c.frame - 25;
        Frame();
        EXPECT_EQ(menu->ToFps(c.v), c.expected) << c.frame << " ms";
    }
}

// Missing pictures, mesh or label skin fail the load without a crash; a
// menu without its backdrop pieces answers -2 on the bomb and flat pages.
TEST_F(MenuTest, MissingPicturesAndMesh)
{
    struct Case {
        const char* gone;
        int frames;
    } const cases[] = {{"data/2dgfx/earth.png", MAINMENU_DATA_MISSING},
                       {"data/2dgfx/clouds02.png", MAINMENU_DATA_MISSING},
                       {"data/2dgfx/explosion1.png", MAINMENU_DATA_MISSING},
                       {"data/2dgfx/bombbay.png", MAINMENU_STAY},
                       {"data/objects/menu_bomb.pof", MAINMENU_STAY},
                       {"data/2dgfx/texture.png", MAINMENU_STAY}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.gone);
        Build(1, [&c](fronttest::ScratchDir& d) { std::filesystem::remove(d.Full(c.gone)); });
        EXPECT_TRUE(initOk);
        EXPECT_FALSE(loadOk);
        for (int page : {0, int(MainMenu::PAGE_GAME_SELECTION), int(MainMenu::PAGE_HELP)}) {
            menu->page = page;
            EXPECT_EQ(Frame(), c.frames) << "page " << page;
        }
        TearDown();
    }
    // Optional pictures only leave gaps: bars, help pictures, campaign pictures.
    Build(1, [](fronttest::ScratchDir& d) {
        for (const char* f : {"bar_fill", "bar_empty", "help_0", "campaign_1", "vornlogo"})
            std::filesystem::remove(d.Full(std::string("data/2dgfx/") + f + ".png"));
    });
    ASSERT_TRUE(loadOk);
    for (int page : {14, 15, 16, 28, 18, 26, 27}) {
        menu->page = page;
        EXPECT_EQ(Wait(200), MAINMENU_STAY) << "page " << page;
    }
}

// The more-games column: a flick moves it and it wraps; without pictures
// nothing is drawn.
TEST_F(MenuTest, MoreGamesColumn)
{
    Build(1, [](fronttest::ScratchDir& d) {
        d.Write("data/2dgfx/xa_logo.png", Picture(40, 20, 10, 200, 10));
    });
    UIMoreGames* more = menu->MoreGames();
    ASSERT_NE(more, nullptr);
    more->init();
    EXPECT_EQ(more->LoopLength(), 4 * 24);
    more->onTouch(50, 100, 1);
    more->onTouch(50, 400, 1);
    for (int i = 0; i < 20; i++) {
        more->update(0, 0, 25);
        EXPECT_LT(std::abs(more->Position() >> 16), more->LoopLength());
    }
    more->onTouch(50, 400, 0);
    for (int i = 0; i < 200; i++)
        more->update(0, 0, 25);
    EXPECT_EQ(more->Velocity(), 0);
    menu->page = MainMenu::PAGE_MORE_GAMES;
    EXPECT_EQ(Wait(100), MAINMENU_STAY);
}

// Keys turn the bomb a label at a time, and past either end it spins round.
TEST_F(MenuTest, KeysTurnTheBomb)
{
    struct Case {
        std::vector<int> keys;
        int page;
    } const cases[] = {
        {{MyInput::kDown}, 1},
        {{MyInput::kDown, 0, MyInput::kDown}, 2},
        {{MyInput::kUp}, 6},                  // from the first label to the last
        {{MyInput::kUp, 0, MyInput::kDown}, 0}, // and from the last back to the first
    };
    for (const Case& c : cases) {
        Build(1);
        ToBomb();
        for (int k : c.keys) {
            Frame(k);
            RunUntil([&] { return menu->rotationMode == MainMenu::ROT_IDLE; });
        }
        EXPECT_EQ(menu->page, c.page);
        EXPECT_EQ(menu->TargetAngle(), MainMenu::LabelAngle(c.page));
        TearDown();
    }
}

// The help text follows the finger but never leaves its area; the credits
// scroll up by themselves and start again once they have passed the top.
TEST_F(MenuTest, HelpAndCreditsScrolling)
{
    Build(1);
    ToBomb();
    Choose(4);
    RunUntil([&] { return menu->page == MainMenu::PAGE_HELP; });
    Wait(400);
    auto drag = [&](int dy) {
        menu->TouchScreenEvent(240, 200, 1);
        Frame();
        menu->TouchScreenEventMove(240, 200 + dy, 1);
        Wait(500);
        menu->TouchScreenEvent(240, 200 + dy, 0);
        Frame();
        return menu->HelpScroll();
    };
    EXPECT_EQ(drag(300), 0);
    const int bottom = drag(-3000);
    EXPECT_LT(bottom, 0);
    EXPECT_EQ(drag(-3000), bottom);
    TapRect(menu->BackRect());
    RunUntil([&] { return menu->page == 4; });

    Drag(-45);
    Wait(300);
    TapRect(menu->SelectorRect());
    RunUntil([&] { return menu->page == MainMenu::PAGE_CREDITS; });
    const int start = menu->CreditsLine();
    EXPECT_EQ(start, H * 174 / 208);
    int lowest = start;
    bool restarted = false;
    for (int i = 0; i < 200 && !restarted; i++) {
        now += 975; // one-second frames: 20 pixels a frame
        Frame();
        restarted = menu->CreditsLine() > lowest;
        lowest = std::min(lowest, menu->CreditsLine());
    }
    EXPECT_TRUE(restarted);
    EXPECT_EQ(menu->CreditsLine(), start);
    EXPECT_LT(lowest, 0);
}

// Pixels of one colour (within 16 a channel: pictures are uploaded as 565)
// in a frame read from Mesa.
bool Near(uint32_t p, uint32_t rgb)
{
    for (int shift : {16, 8, 0})
        if (std::abs(int(p >> shift & 0xFF) - int(rgb >> shift & 0xFF)) > 16)
            return false;
    return true;
}

class DropTest : public MenuTest {
protected:
    static constexpr uint32_t kSelector = 0xC86440; // the selector picture, 100 x 50
    static constexpr uint32_t kFire = 0xFAB428;     // the explosion strip

    // The left edge of the selector frame on its middle row (w when gone).
    int SelectorLeft()
    {
        const auto f = m_mesa->Read();
        int left = w;
        for (int x = w - 1; x >= 0 && Near(f[size_t(h / 2 - 5) * w + x], kSelector); x--)
            left = x;
        return left;
    }
    // The first and last rows of the selector frame in a column.
    std::pair<int, int> SelectorRows(int x)
    {
        const auto f = m_mesa->Read();
        int top = -1, bottom = -1;
        for (int y = 0; y < h; y++)
            if (Near(f[size_t(y) * w + x], kSelector)) {
                top = top < 0 ? y : top;
                bottom = y;
            }
        return {top, bottom};
    }
    int FirePixels()
    {
        const auto f = m_mesa->Read();
        return int(std::count_if(f.begin(), f.end(), [](uint32_t p) { return Near(p, kFire); }));
    }
    struct Seen {
        int page, frame, selectorLeft, fire;
        bool sound;
    };
    // One frame with the log captured: what the player saw and heard.
    Seen Step(int keys = 0)
    {
        testing::internal::CaptureStdout();
        EXPECT_EQ(Frame(keys), 0);
        const bool sound = testing::internal::GetCapturedStdout().find("menu: the blast sounds") != std::string::npos;
        return {menu->page, menu->ExplosionFrame(), SelectorLeft(), FirePixels(), sound};
    }
    // Frames until the game selection opens.
    std::vector<Seen> ToSelection()
    {
        std::vector<Seen> seen;
        for (int i = 0; i < 400 && menu->page != MainMenu::PAGE_GAME_SELECTION; i++)
            seen.push_back(Step());
        return seen;
    }
};

// "Play": the selector slides off as the bomb falls (gone but for a sliver
// on the fall's last frame), the blast plays its frames once in order and
// holds on its last while the hatch closes, and it sounds once, with its
// fourth frame. A strip shorter than the blast holds
// on its own last frame.
TEST_F(DropTest, FallBlastAndSound)
{
    for (int frames : {10, 4}) {
        SCOPED_TRACE(testing::Message() << frames << " frames");
        Build(1, [frames](fronttest::ScratchDir& d) {
            d.Write("data/2dgfx/explosion1.png", Picture(16 * frames, 16, 250, 180, 40));
        });
        ToBomb();
        ASSERT_EQ(Choose(0), 0);
        ASSERT_EQ(menu->page, MainMenu::PAGE_FALL);
        const std::vector<Seen> seen = ToSelection();
        ASSERT_EQ(menu->page, MainMenu::PAGE_GAME_SELECTION);

        std::vector<int> pages;
        int lastLeft = 0, sounds = 0, lastFrame = 0, held = 0;
        for (const Seen& s : seen) {
            if (pages.empty() || pages.back() != s.page)
                pages.push_back(s.page);
            if (s.page == MainMenu::PAGE_FALL) {
                EXPECT_GE(s.selectorLeft, lastLeft) << "the selector slides right";
                lastLeft = s.selectorLeft;
            } else {
                EXPECT_EQ(s.selectorLeft, w) << "page " << s.page << ": the selector is gone";
            }
            if (s.page == MainMenu::PAGE_EXPLOSION || s.page == MainMenu::PAGE_HATCH_CLOSE) {
                EXPECT_GT(s.fire, 0) << "page " << s.page << ": the blast is drawn";
                EXPECT_GE(s.frame, lastFrame) << "the blast never starts over";
                EXPECT_LT(s.frame, std::min(10, frames));
                lastFrame = s.frame;
                held += s.frame == frames - 1;
            } else {
                EXPECT_EQ(s.fire, 0) << "page " << s.page;
            }
            if (s.sound) {
                sounds++;
                EXPECT_EQ(s.page, MainMenu::PAGE_EXPLOSION);
                EXPECT_EQ(s.frame, 3);
            }
        }
        EXPECT_EQ(pages, (std::vector<int>{8, 9, 10, 11, 13}));
        EXPECT_GT(lastLeft, w - 100 / 4) << "the selector has nearly left the screen";
        // It slides with the step of the frame it is drawn in: a step behind,
        // a fifth of it (its left bracket) stayed over the earth to the end.
        EXPECT_GE(lastLeft, w - 100 / 40) << "the selector outlives the fall";
        EXPECT_EQ(sounds, 1);
        EXPECT_GE(lastFrame, std::min(8, frames - 1));
        if (frames == 4) {
            EXPECT_GT(held, 10) << "the last frame holds";
        }
        TearDown();
    }
}

// Fire or a touch during the fall, the pause or the blast ends the blast
// at once: its sound comes once, and the hatch closes over the game
// selection.
TEST_F(DropTest, SkippingTheBlast)
{
    struct Case {
        int page, framesIn;
        bool key;
    } const cases[] = {
        {MainMenu::PAGE_FALL, 2, false}, {MainMenu::PAGE_FALL, 5, true}, {MainMenu::PAGE_BLAST_PAUSE, 1, false},
        {MainMenu::PAGE_EXPLOSION, 1, false}, {MainMenu::PAGE_EXPLOSION, 2, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "page " << c.page << " frame " << c.framesIn << (c.key ? " fire" : " tap"));
        Build(1);
        ToBomb();
        ASSERT_EQ(Choose(0), 0);
        std::vector<Seen> seen;
        RunUntil([&] { return menu->page == c.page; });
        for (int i = 1; i < c.framesIn; i++)
            seen.push_back(Step());
        ASSERT_EQ(menu->page, c.page);
        if (c.key) {
            seen.push_back(Step(MyInput::kFire));
        } else {
            menu->TouchScreenEvent(100, 100, 1);
            seen.push_back(Step());
            menu->TouchScreenEvent(100, 100, 0);
        }
        EXPECT_EQ(menu->page, MainMenu::PAGE_HATCH_CLOSE);
        for (const Seen& s : ToSelection())
            seen.push_back(s);
        EXPECT_EQ(std::count_if(seen.begin(), seen.end(), [](const Seen& s) { return s.sound; }), 1);
        EXPECT_EQ(menu->page, MainMenu::PAGE_GAME_SELECTION);
        TearDown();
    }
}

// At the design size and scaled up: the selector takes taps wherever its
// frame is drawn, down to its lower edge, while a tap above or below it
// leaves the bomb where it is; sinking through the closing hatch and rising
// again, the bomb never shows over the bay's lower edge.
TEST_F(DropTest, SelectorAndHatchFollowTheScreen)
{
    for (auto [sw, sh] : {std::pair{480, 320}, std::pair{1024, 600}}) {
        SCOPED_TRACE(testing::Message() << sw << " x " << sh);
        w = sw;
        h = sh;
        Build(1);
        ToBomb();
        Drag(-90); // profiles
        Wait(300);
        const int x = w - 5;
        const auto [top, bottom] = SelectorRows(x);
        EXPECT_EQ(bottom - top + 1, 50 * h / 320);
        for (int y : {top - 30, bottom + 30}) {
            EXPECT_EQ(Tap(x, y), 0);
            Wait(400);
            EXPECT_EQ(menu->page, 2) << "tap at " << y;
        }
        EXPECT_EQ(Tap(x, bottom + 20), 0);
        EXPECT_EQ(menu->page, MainMenu::PAGE_HATCH_CLOSE) << "tap just below the frame's lower edge";
        int hatch = 0;
        for (int i = 0; i < 200 && menu->page != 2; i++, Frame()) {
            if (menu->page != MainMenu::PAGE_HATCH_CLOSE && menu->page != MainMenu::PAGE_HATCH_OPEN)
                continue;
            hatch++;
            const auto f = m_mesa->Read();
            EXPECT_EQ(std::count_if(f.begin() + ptrdiff_t(h - 49 * h / 320) * w, f.end(),
                                    [](uint32_t p) { return Near(p, 0xC8403C); }),
                      0)
                << "the bomb below the bay on page " << menu->page;
        }
        EXPECT_GT(hatch, 10);
        TearDown();
    }
}

// Every page paints the whole screen: nothing of an earlier frame shows
// through the bay's window, the flat pages or the transitions.
TEST_F(DropTest, EveryPagePaintsTheWholeScreen)
{
    Build(1);
    ToBomb();
    for (int page : {0, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 19, 18, 26, 27, 28}) {
        menu->page = page;
        menu->previousPage = MainMenu::PAGE_GAME_SELECTION;
        menu->chosenItem = page == 17 ? int(MainMenu::PAGE_CAMPAIGNS) : 0;
        m_mesa->ctx->FillRect(0, 0, unsigned(w), unsigned(h), 0xFFFF00FFu, P3DBLEND_OPAQUE);
        EXPECT_EQ(Frame(), 0);
        const auto f = m_mesa->Read();
        EXPECT_EQ(std::count_if(f.begin(), f.end(), [](uint32_t p) { return Near(p, 0xFF00FF); }), 0)
            << "page " << page;
    }
}

// A player on the keyboard sees the level page slide in while fire is
// still held from choosing the row; a new press skips the slide.
TEST_F(DropTest, KeyboardPlayerSeesTheLevelPageSlideIn)
{
    Build(1);
    settings->tutorialOffered = 1;
    ToGameSelection();
    Frame(MyInput::kDown);
    Frame();
    EXPECT_EQ(menu->pageValue, 1);
    int sliding = 0;
    for (int i = 0; i < 200 && menu->page != MainMenu::PAGE_CAMPAIGNS; i++) {
        Frame(MyInput::kFire);
        sliding += menu->page == MainMenu::PAGE_LEVELS_OPEN;
    }
    EXPECT_EQ(menu->page, MainMenu::PAGE_CAMPAIGNS);
    EXPECT_GE(sliding, (h / 2) / 6 - 1) << "frames of the slide";

    TapRect(menu->BackRect());
    RunUntil([&] { return menu->page == MainMenu::PAGE_GAME_SELECTION; });
    Wait(400);
    Frame(MyInput::kDown);
    Frame(MyInput::kFire);
    EXPECT_EQ(menu->page, MainMenu::PAGE_LEVELS_OPEN);
    Frame();
    Frame(MyInput::kFire);
    EXPECT_EQ(menu->page, MainMenu::PAGE_CAMPAIGNS);
}

} // namespace
