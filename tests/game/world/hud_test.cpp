// The head-up display on a 1024 x 600 screen: its touch regions (fire
// button, weapon icon, throttle slider, lock icons) at the places a frame
// puts them, the radar placement, the wheel's fading, the timer, medals,
// the summary, and whole frames drawn on Mesa with pictures written by the
// test (and with the demo art when the demo archive is built).
// KRV_SAVE_FRAMES=DIR keeps the frames as PNG.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/platform/pdisplay.h"
#include "engine/runtime/pglobals.h"
#include "engine/runtime/pvfs.h"
#include "game/frontend/fonts.h"
#include "game/frontend/profile.h"
#include "game/frontend/profilemanager.h"
#include "game/world/command.h"
#include "game/world/gameplayobject.h"
#include "game/world/hud.h"
#include "game/world/myairplane.h"
#include "tests/engine/graphics/png_gen.h"
#include "tests/game/frontend/frontend_fixture.h"
#include "tests/game/world/world_fixture.h"

namespace {

constexpr int kW = 1024, kH = 600;

// A w x h picture of one colour; with a band, only columns [b0, b1) are inked.
std::vector<uint8_t> Solid(int w, int h, uint32_t rgb, int b0 = 0, int b1 = -1)
{
    PngSpec s;
    s.colorType = 6;
    s.width = w;
    s.height = h;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            const bool ink = x >= b0 && (b1 < 0 || x < b1);
            s.rows.insert(s.rows.end(), {uint8_t(rgb >> 16), uint8_t(rgb >> 8), uint8_t(rgb), uint8_t(ink ? 255 : 0)});
        }
    return MakePng(s);
}

struct Pic {
    const char* name;
    int w, h;
    uint32_t rgb;
};
const Pic kPics[] = {
    {"radar.png", 88, 88, 0x203050},       {"radar_bg.png", 88, 88, 0x101010},
    {"energybar.png", 80, 8, 0x20e040},    {"hud_weap_cir.png", 64, 64, 0x404040},
    {"weap_bg.png", 112, 72, 0x303870},    {"fire_button.png", 96, 96, 0xff8000},
    {"repair_icon.png", 40, 40, 0x00ffff}, {"rearm_icon.png", 40, 40, 0xffff00},
    {"bar_empty_side_.png", 4, 16, 0x505050}, {"bar_fill_side_.png", 4, 16, 0xe02020},
    {"bar_empty_.png", 4, 16, 0x505050},   {"bar_fill_.png", 4, 16, 0xe02020},
    {"bar_fillg_side_.png", 4, 16, 0x20e020}, {"bar_fillg_.png", 4, 16, 0x20e020},
    {"medal_4.png", 48, 64, 0xd0a020},     {"medal_5.png", 48, 64, 0xc0c0c0},
    {"disconnect.png", 24, 16, 0xffffff},  {"cam_icon.png", 32, 32, 0x808080},
    {"weap_icon_1.png", 48, 48, 0xa0a0ff}, {"weap_icon_2.png", 48, 48, 0xffa0a0},
    {"weap_icon_3.png", 48, 48, 0xa0ffa0},
};
const char* const kRequired[] = {"repair_icon.png", "rearm_icon.png", "energybar.png", "hud_weap_cir.png",
                                 "weap_bg.png",     "medal_4.png",    "medal_5.png",   "radar_bg.png",
                                 "radar.png"};

struct HudData {
    fronttest::ScratchDir dir;
    HudData()
    {
        dir.WriteFonts();
        LangLanguage l;
        l.name = u"English";
        l.strings.resize(409);
        l.strings[52] = u"SCORE";
        l.strings[103] = u"KILLS ";
        l.strings[169] = u"MISSION COMPLETE";
        for (const Pic& p : kPics)
            dir.Write(std::string("data/2dgfx/") + p.name, Solid(p.w, p.h, p.rgb));
        // Throttle layer k inks its own tenth of the gauge.
        for (int k = 1; k <= 10; k++)
            dir.Write("data/2dgfx/throttle_" + std::to_string(k) + ".png",
                      Solid(100, 100, 0xffffff, (k - 1) * 10, k * 10 - 2));
        for (int i = 0; i < 8; i++) {
            dir.Write("data/2dgfx/sc_" + std::to_string(i) + "a.png", Solid(44, 44, 0x602060));
            dir.Write("data/2dgfx/sc_" + std::to_string(i) + "b.png", Solid(44, 44, 0xff40ff));
        }
        dir.Write("data/lang0.bin", fronttest::Encode({l}));
    }
};

// The screen with its text service and a HUD on a clock the test turns.
struct Screen {
    worldtest::MesaContext mesa{kW, kH};
    Fonts fonts;
    PDisplayProperties props{};
    uint32_t now = 1;
    std::unique_ptr<Hud> hud;
    bool ok = false;
    explicit Screen(HudMatchLink* match = nullptr)
    {
        if (!mesa.Ok())
            return;
        mesa.display->GetInfo(props);
        ok = fonts.Init(mesa.ctx, &props) && fonts.LoadLanguage(0);
        hud = std::make_unique<Hud>(mesa.ctx, &fonts, kW, kH, &now, nullptr, match);
    }
    void Frame(int health = 100, int throttle = 50)
    {
        mesa.ctx->Clear(0);
        hud->Render(health, throttle, 0, false);
    }
};

GPO* Target(std::vector<std::unique_ptr<GPO>>& keep, int health, GPO::SIDE side = GPO::ENEMY)
{
    keep.push_back(std::make_unique<GPO>());
    GPO* g = keep.back().get();
    g->SetInternalHealthRef();
    g->ownHealth = health;
    g->side = side;
    return g;
}

void Keep(const std::string& name, const std::vector<uint32_t>& frame)
{
    if (const char* dir = std::getenv("KRV_SAVE_FRAMES")) {
        EXPECT_TRUE(worldtest::SaveFrame(std::string(dir) + "/" + name, frame, kW, kH));
    }
}

TEST(Hud, InitNeedsItsRequiredPictures)
{
    HudData data;
    Screen s;
    ASSERT_TRUE(s.ok);
    EXPECT_EQ(s.hud->Init(), 1);
    for (const char* name : kRequired) {
        SCOPED_TRACE(name);
        const std::string rel = std::string("data/2dgfx/") + name;
        const auto bytes = data.dir.Read(rel);
        std::filesystem::remove(data.dir.Full(rel));
        EXPECT_EQ(s.hud->Init(), 0);
        data.dir.Write(rel, bytes);
    }
    // Optional pictures may be missing; a missing weapon icon fails and
    // leaves no weapons.
    std::filesystem::remove(data.dir.Full("data/2dgfx/fire_button.png"));
    EXPECT_EQ(s.hud->Init(), 1);
    const int8_t ids[] = {1, 9};
    EXPECT_EQ(s.hud->InitWeaponImages(ids, 2), 0);
    EXPECT_EQ(s.hud->WeaponCount(), 0);
    const int8_t good[] = {1, 2, 3};
    EXPECT_EQ(s.hud->InitWeaponImages(good, 3), 1);
    EXPECT_EQ(s.hud->WeaponCount(), 3);
    EXPECT_EQ(s.hud->InitWeaponImages(good, -4), 1);
    EXPECT_EQ(s.hud->WeaponCount(), 0);
}

// Fire button 96 x 96 on the right edge, weapon icon 48 wide in its 64 x 64
// circle at the top right (4 pixels in from the edges, as the radar at the
// top left), throttle slider over the 88 x 88 radar and 44 pixels right of
// it. Edges belong to the regions.
TEST(Hud, TouchRegionsAtTheirPlaces)
{
    HudData data;
    Screen s;
    ASSERT_TRUE(s.ok);
    ASSERT_EQ(s.hud->Init(), 1);
    std::vector<std::unique_ptr<GPO>> keep;
    GPO* player = Target(keep, 100);
    player->AddWeaponAvailable(1, 10);
    const int8_t ids[] = {1, 2};
    // Nothing is hit before a frame has placed the regions.
    EXPECT_EQ(s.hud->TouchScreen_isInsideWeaponIcon(0, 0, true), 0);
    EXPECT_EQ(s.hud->TouchScreen_Shoot(0, 0, true), 0);
    ASSERT_EQ(s.hud->InitWeaponImages(ids, 2), 1);
    s.hud->SetGPOasWeaponOwner(player);
    s.Frame();

    struct Case {
        int x, y;
        bool down;
        int shoot, weapon;
    } cases[] = {
        {928, 252, true, 1, 0},  {1024, 348, true, 1, 0}, {927, 300, true, 0, 0}, {1000, 349, true, 0, 0},
        {1000, 300, false, 0, 0}, {956, 4, true, 0, 1},    {1020, 68, false, 0, 1}, {955, 30, true, 0, 0},
        {1000, 69, true, 0, 0},   {1021, 30, true, 0, 0},  {1000, 3, true, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << "," << c.y << " down " << c.down);
        EXPECT_EQ(s.hud->TouchScreen_Shoot(c.x, c.y, c.down), c.shoot);
        EXPECT_EQ(s.hud->TouchScreen_isInsideWeaponIcon(c.x, c.y, c.down), c.weapon);
    }

    // The throttle: the first touch changes nothing, a drag of d pixels moves
    // it by d * 0.92 (the radar's right edge / 100), held to 0..100.
    struct Drag {
        int from, to, y, start, expected;
    } drags[] = {
        {50, 60, 40, 50, 59}, {50, 40, 40, 50, 40}, {0, 136, 92, 50, 100}, {136, 0, 4, 50, 0},
        {50, 140, 40, 50, 50}, {50, 60, 93, 50, 50}, {20, 30, 3, 50, 50},
    };
    for (const Drag& d : drags) {
        SCOPED_TRACE(testing::Message() << d.from << " -> " << d.to << " at y " << d.y);
        int32_t throttle = d.start;
        const int first = s.hud->TouchScreen_ThrottleModify(d.from, d.y, true, throttle);
        EXPECT_EQ(throttle, d.start);
        s.hud->TouchScreen_ThrottleModify(d.to, d.y, true, throttle);
        EXPECT_EQ(throttle, d.expected);
        EXPECT_EQ(s.hud->TouchScreen_ThrottleModify(d.to, d.y, false, throttle), 0);
        EXPECT_EQ(first, d.y >= 4 && d.y <= 92 && d.from <= 136 ? 1 : 0);
    }
    // A long drag in steps never leaves the range.
    int32_t throttle = 0;
    for (int x = 0; x <= 130; x += 10)
        s.hud->TouchScreen_ThrottleModify(x, 50, true, throttle);
    EXPECT_EQ(throttle, 100);
    s.hud->TouchScreen_ThrottleModify(0, 50, true, throttle);
    s.hud->TouchScreen_ThrottleModify(0, 50, false, throttle);
    EXPECT_EQ(throttle, 0);

    // After a display change the next frame lays the regions out anew.
    s.hud->SetDisplay(s.mesa.ctx, 800, 480);
    s.Frame();
    EXPECT_EQ(s.hud->TouchScreen_Shoot(1000, 300, true), 0);
    EXPECT_EQ(s.hud->TouchScreen_Shoot(760, 240, true), 1);
    s.hud->SetDisplay(s.mesa.ctx, kW, kH);

    // The fire button needs weapons.
    ASSERT_EQ(s.hud->InitWeaponImages(nullptr, 0), 1);
    EXPECT_EQ(s.hud->TouchScreen_Shoot(1000, 300, true), 0);
}

// Three lock icons 44 x 44 at x 0, y 105, 150 and 195: holding presses,
// a tap locks, a tap on the locked icon unlocks, a tap on another moves
// the lock.
TEST(Hud, LockIconTaps)
{
    Hud hud(nullptr, nullptr, kW, kH, nullptr, nullptr, nullptr);
    std::vector<std::unique_ptr<GPO>> keep;
    GPO* g[4] = {Target(keep, 100), Target(keep, 100), Target(keep, 100), Target(keep, 100)};
    EXPECT_EQ(hud.SC_Add(nullptr, 0, 1), 0);
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(hud.SC_Add(g[i], i - 2, 100 << 16), 1);
    EXPECT_EQ(hud.SC_Add(g[3], 0, 1), 0);
    EXPECT_EQ(hud.SC_GetIcon(0).iconId, 0); // a negative icon id is held to 0

    struct Tap {
        int x, y, result, locked;
    } taps[] = {
        {22, 127, 1, 0}, {44, 150, 1, 1}, {0, 239, 1, 2}, {22, 230, 1, -1}, {45, 127, 0, -1},
        {22, 104, 0, -1}, {22, 105, 1, 0}, {22, 127, 1, -1},
    };
    for (const Tap& t : taps) {
        SCOPED_TRACE(testing::Message() << t.x << "," << t.y);
        EXPECT_EQ(hud.SC_TouchUpdate(t.x, t.y, true, false), 0);
        const int pressed = hud.SC_GetIcon(0).pressed + hud.SC_GetIcon(1).pressed + hud.SC_GetIcon(2).pressed;
        EXPECT_EQ(pressed, t.result);
        EXPECT_EQ(hud.SC_TouchUpdate(t.x, t.y, false, true), t.result);
        EXPECT_EQ(hud.SC_GetLockedIndex(), t.locked);
        EXPECT_EQ(hud.SC_IsLocking(), t.locked >= 0 ? g[t.locked] : nullptr);
        EXPECT_EQ(hud.SC_GetIcon(0).pressed + hud.SC_GetIcon(1).pressed + hud.SC_GetIcon(2).pressed, 0);
    }
    // The lock is dropped when the target goes out of range, dies or is
    // disabled.
    struct Drop {
        int32_t distance;
        int health;
        uint8_t enabled;
        bool kept;
    } drops[] = {{99 << 16, 100, 1, true}, {-(100 << 16), 100, 1, true}, {(100 << 16) + 1, 100, 1, false},
                 {0, 0, 1, false}, {0, 100, 0, false}};
    for (const Drop& d : drops) {
        hud.SC_LockAtIndex(1, 1);
        g[1]->ownHealth = d.health;
        g[1]->enabled = d.enabled;
        hud.SC_UpdateDist(d.distance);
        EXPECT_EQ(hud.SC_GetLockedIndex(), d.kept ? 1 : -1) << d.distance;
    }
}

// Offsets on the radar: one pixel per 2 world units up to the rim, which is
// 39 pixels out for dots and 32 for pictures; ahead of the aircraft is up.
TEST(Hud, RadarPlacesObjectsAroundThePlayer)
{
    struct Case {
        double yaw, px, pz, ox, oz;
        int max;
        double dx, dy;
    } cases[] = {
        {0, 0, 0, 200, 0, 78, 39, 0},       {0, 0, 0, 40, 0, 78, 20, 0},   {0, 10, 10, 10, -30, 78, 0, -20},
        {0, 0, 0, 0, 200, 65, 0, 32},       {90, 0, 0, -40, 0, 78, 0, -20}, {90, 0, 0, 0, -40, 78, 20, 0},
        {30, 5, 5, 5 - 40 * std::sin(M_PI / 6), 5 - 40 * std::cos(M_PI / 6), 78, 0, -20},
        {0, -30000, 0, 30000, 0, 78, 39, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "yaw " << c.yaw << " object " << c.ox << "," << c.oz);
        // The aircraft with yaw a heads along -(sin a, cos a) in x and z.
        int dx = 0, dy = 0;
        Hud::TranslateToRadarCoords(-worldtest::Fx(c.yaw), worldtest::Fx(c.px), worldtest::Fx(c.pz),
                                    worldtest::Fx(c.ox), worldtest::Fx(c.oz), c.max, dx, dy);
        EXPECT_NEAR(dx, c.dx, 1);
        EXPECT_NEAR(dy, c.dy, 1);
    }
    Hud hud(nullptr, nullptr, kW, kH, nullptr, nullptr, nullptr);
    for (int i = 0; i < 130; i++)
        hud.AddRadarObj(PVector3(i, 0, 0), 0xff0000, nullptr);
    EXPECT_EQ(hud.RadarCount(), Hud::kMaxRadarObjects);
}

TEST(Hud, WheelFadesFiveSecondsAfterAWeaponChange)
{
    uint32_t now = 1000;
    Hud hud(nullptr, nullptr, kW, kH, &now, nullptr, nullptr);
    hud.UpdateCurrentWeapon(1);
    std::vector<int> alphas;
    for (; now < 1000 + 5000 + 600; now += 20) {
        hud.UpdateHiding();
        alphas.push_back(hud.WheelAlpha());
    }
    EXPECT_EQ(alphas[0], 10);
    EXPECT_EQ(alphas[25], 255);
    EXPECT_EQ(alphas[249], 255); // 4980 ms after the change
    EXPECT_EQ(alphas[250], 245); // 5000 ms: hiding, 10 a frame
    EXPECT_EQ(alphas[274], 5);
    EXPECT_EQ(alphas.back(), 0);
    EXPECT_TRUE(hud.IsHidden());
    hud.UpdateCurrentWeapon(0);
    hud.UpdateHiding();
    EXPECT_FALSE(hud.IsHidden());
    EXPECT_EQ(hud.WheelAlpha(), 10);
}

TEST(Hud, TimerCountsAndNeverShowsNegativeValues)
{
    struct Case {
        int m, s;
        bool down;
        std::vector<uint32_t> frames;
        int shown; // seconds
    } cases[] = {
        {1, 0, true, {500, 1499, 1500}, 59},   {0, 2, true, {500, 9000, 90000}, 0},
        {0, 58, false, {7, 4007}, 62},         {0, 0, true, {1, 5000}, 0},
        {-3, -7, true, {10, 20}, 0},           {2, 5, false, {0, 5000}, 125},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.m << ":" << c.s << (c.down ? " down" : " up"));
        Hud hud(nullptr, nullptr, kW, kH, nullptr, nullptr, nullptr);
        EXPECT_FALSE(hud.TimerRunning());
        hud.InitTimer(c.m, c.s, c.down);
        for (uint32_t t : c.frames) {
            hud.UpdateTimer(t);
            EXPECT_GE(hud.TimerMinutes(), 0);
            EXPECT_GE(hud.TimerSeconds16(), 0);
            EXPECT_LE(hud.TimerSeconds16(), 59);
        }
        EXPECT_EQ(hud.TimerSeconds(), c.shown);
    }
    // The mission extends a count-down through the base time.
    Hud hud(nullptr, nullptr, kW, kH, nullptr, nullptr, nullptr);
    hud.InitTimer(0, 30, true);
    hud.UpdateTimer(1000);
    hud.SetTimerBase(1, 30);
    hud.UpdateTimer(11000);
    EXPECT_EQ(hud.TimerSeconds(), 80);
}

TEST(Hud, MedalsBannersAndSummary)
{
    HudData data;
    Screen s;
    ASSERT_TRUE(s.ok);
    ASSERT_EQ(s.hud->Init(), 1);
    uint32_t& now = s.now;
    Hud& hud = *s.hud;
    Profile profile;
    EXPECT_EQ(hud.HandleArcadeMedalAwardEvent(0), 0); // no profile
    hud.SetProfilePtr(&profile);
    profile.SetScore(1000);
    EXPECT_EQ(hud.HandleArcadeMedalAwardEvent(101), 0);
    EXPECT_EQ(hud.HandleArcadeMedalAwardEvent(5000), 0);
    EXPECT_EQ(hud.HandleArcadeMedalAwardEvent(100), 1);
    EXPECT_TRUE(profile.HasMedal(Hud::kArcadeMedal));
    EXPECT_EQ(hud.MedalNumber(), Hud::kArcadeMedal);
    // The banner slides in by 16 a frame to 12, stays 5 s, and slides out
    // by 8 a frame.
    const int16_t hidden = hud.MedalY();
    EXPECT_EQ(hidden, -65); // above the screen by the border's height
    std::vector<int> ys;
    for (int i = 0; i < 6; i++, now += 10) {
        s.Frame();
        ys.push_back(hud.MedalY());
    }
    EXPECT_EQ(ys, (std::vector<int>{-49, -33, -17, -1, 12, 12}));
    profile.SetScore(Profile::RankEdge(0, Hud::kGeneralMedalRank));
    profile.UpdateRanks();
    EXPECT_EQ(hud.HandleGeneralMedalAwardEvent(), 0); // a banner is showing
    now += 5000;
    s.Frame();
    EXPECT_FALSE(hud.MedalShown());
    EXPECT_EQ(hud.MedalY(), 4);
    EXPECT_EQ(hud.HandleGeneralMedalAwardEvent(), 1);
    EXPECT_EQ(hud.HandleGeneralMedalAwardEvent(), 0);
    EXPECT_TRUE(profile.HasMedal(Hud::kGeneralMedal));

    hud.AddSummaryElement(L"Tanks", 50, 3);
    hud.AddSummaryElement(L"Time left", 10, 42);
    hud.AddSummaryElement(nullptr, 0x40000000, 4);
    ASSERT_EQ(hud.GetSummaryCount(), 3);
    EXPECT_STREQ(hud.GetSummaryElement(1)->title, L"Time left");
    EXPECT_EQ(hud.GetSummaryElement(3), nullptr);
    EXPECT_EQ(hud.GetSummaryElement(-1), nullptr);
    EXPECT_EQ(hud.GetTotalSummaryScore(), INT32_MAX);
    // A row every frame stops at the row count's limit.
    for (int i = 0; i < 70000; i++)
        hud.AddSummaryElement(L"again", 1, 1);
    EXPECT_EQ(hud.GetSummaryCount(), UINT16_MAX);
    EXPECT_STREQ(hud.GetSummaryElement(UINT16_MAX - 1)->title, L"again");
}

// The mission's commands act on the display through its mission interface.
TEST(Hud, MissionCommandsDriveTheDisplay)
{
    Hud hud(nullptr, nullptr, kW, kH, nullptr, nullptr, nullptr);
    hud.InitTimer(1, 0, true);
    hud.UpdateTimer(1000);
    hud.UpdateTimer(31000);
    auto run = [&](Command::TYPE kind, int value, const wchar_t* text = nullptr) {
        Command c;
        c.SetType(kind);
        c.SetHudPtr(&hud);
        c.SetHealth(value);
        c.SetScoreIncrement(10, 2);
        c.SetConsoleText(nullptr, text);
        c.SetHudIconPtr(hud.RepairIconRequest());
        c.Execute(nullptr);
    };
    run(Command::SUMMARY_ELEMENT_TIME, 0, L"Time left");
    run(Command::SUMMARY_ELEMENT_GPO_DESTR, 0, L"Tanks");
    run(Command::SUMMARY_ELEMENT_GPO_DESTR, 0);
    EXPECT_EQ(hud.GetSummaryCount(), 2);
    EXPECT_EQ(hud.GetTotalSummaryScore(), 10 * 30 + 10 * 2);
    run(Command::TIMER_EXTEND, 60);
    hud.UpdateTimer(32000);
    EXPECT_EQ(hud.TimerSeconds(), 89);
    run(Command::TIMER_STOP, 0);
    hud.UpdateTimer(40000);
    EXPECT_FALSE(hud.TimerRunning());
    EXPECT_EQ(hud.TimerSeconds(), 89);
    run(Command::HUD_SHOW_ICON, 0);
    EXPECT_TRUE(*hud.RepairIconRequest());
}

uint32_t At(const std::vector<uint32_t>& f, int x, int y)
{
    return f[size_t(y) * kW + x];
}

bool Near(uint32_t a, uint32_t b)
{
    for (int sh : {0, 8, 16})
        if (std::abs(int((a >> sh) & 255) - int((b >> sh) & 255)) > 20)
            return false;
    return true;
}

// A whole frame: what each part shows where a player sees it. Pictures with
// alpha are textures of 4 bits a channel, hence the tolerance.
TEST(Hud, FrameShowsEveryPart)
{
    HudData data;
    Screen s;
    ASSERT_TRUE(s.ok);
    ASSERT_EQ(s.hud->Init(), 1);
    s.now = 5000; // the fire button has long been released
    std::vector<std::unique_ptr<GPO>> keep;
    GPO* player = Target(keep, 100);
    player->AddWeaponAvailable(1, 10);
    const int8_t ids[] = {1, 2, 3};
    ASSERT_EQ(s.hud->InitWeaponImages(ids, 3), 1);
    s.hud->SetGPOasWeaponOwner(player);
    s.hud->UpdateCurrentWeapon(0);
    Profile profile;
    profile.SetScore(1234);
    s.hud->SetProfilePtr(&profile);
    s.hud->InitTimer(2, 5, true);
    Objective destroy, defend;
    destroy.title = L"DESTROY THE DEPOT";
    destroy.target = Target(keep, 50);
    defend.action = Objective::DEFEND;
    defend.title = L"KEEP THE CONVOY";
    ASSERT_EQ(s.hud->AddObjectiveElement(&destroy), 1);
    ASSERT_EQ(s.hud->AddObjectiveElement(&defend), 1);
    s.hud->InitObjectivesWindow(0);
    s.hud->SetRadarPosition(PVector3(), 0);
    s.hud->AddRadarObj(PVector3(worldtest::Fx(40), 0, 0), 0xff0000, nullptr);
    s.hud->SC_Add(Target(keep, 100), 0, 1 << 20);
    s.hud->SC_Add(Target(keep, 50, GPO::FRIENDLY), 9, 1 << 20);
    s.hud->SC_LockAtIndex(0, 1);
    s.hud->SetConditionTxt(169);
    // The repair icon blinks: hidden 200 ms from the first request, then shown.
    for (int i = 0; i < 30; i++, s.now += 10) {
        s.hud->UpdateHiding();
        *s.hud->RepairIconRequest() = true;
        s.Frame(50, 73);
    }
    const auto f = s.mesa.Read();
    Keep("hud_frame.png", f);

    // Health 50: the bar (80 wide at x 8, y 4) shows its left half.
    EXPECT_TRUE(Near(At(f, 16, 6), 0x20e040));
    EXPECT_FALSE(Near(At(f, 70, 6), 0x20e040));
    // Throttle 73: seven of the ten tenths (gauge at x 0 .. 99, bottom-aligned).
    int tenths = 0;
    for (int k = 0; k < 10; k++)
        tenths += Near(At(f, k * 10 + 4, 80), 0xffffff) ? 1 : 0;
    EXPECT_EQ(tenths, 7);
    // The radar dot 40 units to the right: 20 pixels right of the centre (48, 48).
    EXPECT_TRUE(Near(At(f, 68, 48), 0xff0000));
    // Weapon icon at the top right, fire button on the right edge (fire
    // alpha 32 over black).
    EXPECT_TRUE(Near(At(f, 1000, 30), 0xa0a0ff));
    // Its circle wholly on the screen, 4 pixels in, the icon centred in it.
    for (int x : {957, 962, 1013, 1019})
        EXPECT_TRUE(Near(At(f, x, 36), 0x404040)) << x;
    EXPECT_FALSE(Near(At(f, 1021, 36), 0x404040));
    EXPECT_TRUE(Near(At(f, 965, 36), 0xa0a0ff));
    EXPECT_GT(At(f, 1000, 300) >> 16, 0u);
    EXPECT_LT(At(f, 1000, 300) >> 16, 0x40u);
    // The locked icon (b picture) and the red square of icon id 9.
    EXPECT_TRUE(Near(At(f, 22, 130), 0xff40ff));
    EXPECT_TRUE(Near(At(f, 40, 190), 0xff0000));
    EXPECT_TRUE(Near(At(f, 10, 156), 0x00ff00)); // its health bar, friendly
    // The repair icon left of the centre at y 20.
    EXPECT_TRUE(Near(At(f, kW / 2 - 20, 40), 0x00ffff) || Near(At(f, kW / 2 - 20, 40), 0x008080));
    // The weapon wheel in the upper middle.
    EXPECT_NE(At(f, kW / 2, kH / 4 - 35 + 64), 0u);
    // The objective's health bar: red fill from x 2 + width - 29.
    bool red = false;
    for (int x = 0; x < kW / 2; x++)
        red = red || Near(At(f, x, kH - 3 - 2 * 9 + 8), 0xe02020);
    EXPECT_TRUE(red);
}

// A match's players by aircraft.
struct Match : HudMatchLink {
    const MyAirplane* plane = nullptr;
    const char* PlayerName(const MyAirplane* a) const override { return a == plane ? "CURLEW" : nullptr; }
    int PlayerKills(const MyAirplane* a) const override { return a == plane ? 7 : -1; }
    bool PlayerDisconnected(const MyAirplane*) const override { return true; }
};

// The demo art: the same frame as a player sees it (kept with the others
// under KRV_SAVE_FRAMES), in a match with a player's aircraft among the
// lock targets.
TEST(Hud, DemoArtFrame)
{
#ifndef KRV_DEMO_ARCHIVE
    GTEST_SKIP() << "no demo archive in this build";
#else
    if (!std::filesystem::exists(KRV_DEMO_ARCHIVE))
        GTEST_SKIP() << "the demo archive is not built";
    gametest::ScratchDir dir;
    PVFS vfs;
    ASSERT_TRUE(vfs.OpenVFS(KRV_DEMO_ARCHIVE));
    PGlobals globals{};
    globals.archive = &vfs;
    void* old = PGetTls();
    PSetTls(&globals);
    {
        Screen s;
        ASSERT_TRUE(s.ok);
        // The banners draw in the profile screens' rank border.
        MyInput input;
        ProfileManager profiles(s.mesa.ctx, &s.fonts, nullptr, &input, kW, kH, nullptr);
        ASSERT_EQ(profiles.InitGfx(), 1);
        profiles.InitStrings();
        Match match;
        MyAirplane plane(nullptr, nullptr), other(nullptr, nullptr);
        match.plane = &plane;
        s.hud = std::make_unique<Hud>(s.mesa.ctx, &s.fonts, kW, kH, &s.now, &profiles, &match);
        ASSERT_EQ(s.hud->Init(), 1);
        std::vector<std::unique_ptr<GPO>> keep;
        GPO* player = Target(keep, 100);
        player->AddWeaponAvailable(0, 120);
        player->AddWeaponAvailable(3, 4);
        const int8_t ids[] = {0, 3, 5, 8};
        ASSERT_EQ(s.hud->InitWeaponImages(ids, 4), 1);
        s.hud->SetGPOasWeaponOwner(player);
        s.hud->UpdateCurrentWeapon(1);
        Profile profile;
        profile.SetScore(Profile::RankEdge(0, 2) + 950);
        s.hud->SetProfilePtr(&profile);
        ASSERT_EQ(s.hud->HandleArcadeMedalAwardEvent(Profile::RankEdge(0, 2)), 1);
        ASSERT_EQ(s.hud->HandleMomentAndDrawPromotion(), 1);
        s.hud->SetConditionTxt(169);
        s.hud->InitTimer(3, 0, true);
        Objective o;
        o.title = L"DESTROY THE RADAR";
        o.target = Target(keep, 70);
        s.hud->AddObjectiveElement(&o);
        s.hud->InitObjectivesWindow(0);
        s.hud->SetRadarPosition(PVector3(), worldtest::Fx(20));
        for (int i = 0; i < 6; i++)
            s.hud->AddRadarObj(PVector3(worldtest::Fx(30.0 * i - 60), 0, worldtest::Fx(-25.0 * i)),
                               i % 2 ? 0xff0000 : 0x00ff00, nullptr);
        s.hud->SC_Add(Target(keep, 80), 2, 1 << 20);
        s.hud->SC_Add(Target(keep, 40), 5, 1 << 20);
        s.hud->SC_Add(Target(keep, 90), 1, 1 << 20);
        keep[keep.size() - 2]->aircraft = &plane;
        keep.back()->aircraft = &other;
        s.hud->SC_LockAtIndex(1, 1);
        s.hud->fireTargetHighlight = 1;
        for (int i = 0; i < 40; i++) {
            s.hud->UpdateHiding();
            s.hud->UpdateTimer(s.now);
            *s.hud->RearmIconRequest() = true;
            s.mesa.ctx->Clear(0);
            s.hud->Render(64, 80, 0, true);
            s.now += 33;
        }
        const auto f = s.mesa.Read();
        Keep("hud_demo.png", f);
        int lit = 0;
        for (uint32_t p : f)
            lit += p != 0;
        EXPECT_GT(lit, kW * kH / 50);
    }
    PSetTls(old);
#endif
}

} // namespace
