// The session as a player meets it, in the application running the demo's
// levels: weapons, guards and the countdown across the pause menu, the
// sensitivity changed from it, the bomb sight and the crosshair of dropped
// weapons, a level started from the environment, and the end of a mission
// through its summary, medal, unlock message, menus and question box, at
// two screen sizes; the frame's border stays clear of the text it holds.
// Frames of each screen are kept in play_shots/ for a person to look at.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "engine/graphics/psurface.h"
#include "engine/runtime/pstring.h"
#include "game/frontend/profile.h"
#include "game/frontend/profilemanager.h"
#include "game/frontend/settings.h"
#include "game/frontend/submenu.h"
#include "game/world/command.h"
#include "game/world/console.h"
#include "game/world/gameplayobject.h"
#include "game/world/hud.h"
#include "game/world/korvanth.h"
#include "game/world/maingame.h"
#include "game/world/myairplane.h"
#include "game/world/myinput.h"
#include "game/world/splevelmanager.h"
#include "tests/game/autopilot/autopilot.h"

namespace {

using namespace autopilot;

constexpr int kBomb = 2, kRocket = 3, kTorpedo = 5; // the demo's weapon records
constexpr int kFrameMs = 25;

struct V {
    double x, y, z;
};
V Of(PVector3 const& p)
{
    return {p.x / 65536.0, p.y / 65536.0, p.z / 65536.0};
}
PVector3 Fx(V const& v)
{
    return {int32_t(v.x * 65536), int32_t(v.y * 65536), int32_t(v.z * 65536)};
}

// The mission's description closed with the fire key.
void Begin(Pilot& p)
{
    p.HoldKeys(MyInput::kFire);
    p.Frames(1);
    p.HoldKeys(0);
    p.Frames(1);
}

bool Select(Pilot& p, int weapon)
{
    GPO* me = p.Game()->Mission()->GetPlayer();
    for (int i = 0; i < 20 && me->currentWeapon != weapon; ++i) {
        p.WeaponKey(true);
        p.Frames(1);
        p.WeaponKey(false);
        p.Frames(1);
    }
    return me->currentWeapon == weapon;
}

int Ammo(GPO* g)
{
    return g->currentSlot >= 0 && size_t(g->currentSlot) < g->ammo.size() ? g->ammo[size_t(g->currentSlot)] : -2;
}

void TapPauseIcon(Pilot& p)
{
    const int32_t* r = p.Game()->PauseIcon();
    p.Tap(r[0] + r[2] / 2, r[1] + r[3] / 2);
}

void TapRow(Pilot& p, int row)
{
    SubMenu* m = p.Game()->PauseMenu();
    p.Tap(m->GetX() + m->GetWidth() / 2, m->GetY() + 2 + row * m->GetRowHeight() + m->GetRowHeight() / 2);
}

// The question box's buttons: the left (yes) and right (no) halves of its
// lower edge, whose touch areas reach 16 pixels beyond the button.
void Answer(Pilot& p, bool yes)
{
    auto const& d = p.App()->DisplayInfo();
    p.Tap(yes ? d.width * 3 / 8 : d.width * 5 / 8, d.height / 2 + 20);
}

int Countdown(Hud* hud)
{
    return hud->TimerMinutes() * 60 + hud->TimerSeconds16();
}

// Every enemy of the mission goes down, as if shot.
void DestroyEnemies(Pilot& p)
{
    GPO** gpos = nullptr;
    int n = p.Game()->Mission()->GetGPOsPtr(gpos);
    for (int i = 0; i < n; ++i)
        if (gpos[i] && gpos[i]->side == GPO::ENEMY)
            gpos[i]->ReduceHealth(GPO::kFatalHit);
}

template <typename F> bool Within(Pilot& p, int frames, F done)
{
    for (int i = 0; i < frames && !done(); ++i)
        p.Frames(1);
    return done();
}

std::string Shot(char const* name)
{
    return std::string("play_shots/") + name + ".png";
}

// The menus and the end of a mission at a tablet's screen and at the
// smallest one.
struct Screen {
    int w, h;
};
std::string Name(Screen s) { return std::to_string(s.w) + "x" + std::to_string(s.h); }
void PrintTo(Screen s, std::ostream* os) { *os << Name(s); }

class AtScreen : public testing::TestWithParam<Screen> {
protected:
    // A kept frame's name, with the screen size.
    std::string Kept(char const* name) const { return Shot((name + ("_" + Name(GetParam()))).c_str()); }
    int CentreX() const { return GetParam().w / 2; }
    int CentreY() const { return GetParam().h / 2; }
};
class PauseMenu : public AtScreen {};
class EndOfMission : public AtScreen {};

std::unique_ptr<PSurface> Load565(std::string const& name)
{
    return std::unique_ptr<PSurface>(
        PSurface::CreateFromFile(name.c_str(), PLOAD_RGB565 | PLOAD_NOALPHA, PIMAGE_DETECT));
}

// A pixel of an RGB565 surface, its green cut to 5 bits as the textures of
// pictures without alpha keep it.
uint16_t At(PSurface const& s, int x, int y)
{
    return reinterpret_cast<uint16_t const*>(s.pixels + y * s.pitch)[x] & 0xFFDF;
}

// On a kept frame, the frame drawn around r shows its border (where its
// pieces differ from the centre's fill) and the pixels next to it exactly
// as the pieces have them: no text lies on the border or touches it.
void ExpectTextClearOfTheBorder(std::string const& shot, PRect const& r)
{
    std::unique_ptr<PSurface> picture = Load565(std::filesystem::absolute(shot).string());
    ASSERT_TRUE(picture) << shot;
    ASSERT_TRUE(r.x >= 0 && r.y >= 0 && r.x + r.width <= picture->width && r.y + r.height <= picture->height);
    char const* const parts[3][3] = {{"left_top", "top", "right_top"},
                                     {"left", "center", "right"},
                                     {"left_bottom", "bottom", "right_bottom"}};
    std::unique_ptr<PSurface> piece[3][3];
    constexpr int kSide = 16;
    for (int i = 0; i < 9; ++i) {
        auto& p = piece[i / 3][i % 3];
        p = Load565(std::string("data\\2dgfx\\frame_") + parts[i / 3][i % 3] + ".png");
        ASSERT_TRUE(p && p->width == kSide && p->height == kSide) << parts[i / 3][i % 3];
    }
    // The texels a frame pixel may show along one axis: a corner's own; on
    // the edges and the centre, stretched between the corners, the one under
    // the pixel's centre or, as the drawing rounds, either neighbour.
    struct Texels {
        int piece, lo, hi;
    };
    auto along = [](int at, int size) {
        if (at < kSide)
            return Texels{0, at, at};
        if (at >= size - kSide)
            return Texels{2, at - (size - kSide), at - (size - kSide)};
        int t = (2 * (at - kSide) + 1) * kSide / (2 * (size - 2 * kSide));
        return Texels{1, std::max(t - 1, 0), std::min(t + 1, kSide - 1)};
    };
    auto shows = [&](int x, int y, auto&& match) {
        Texels a = along(x, r.width), b = along(y, r.height);
        for (int v = b.lo; v <= b.hi; ++v)
            for (int u = a.lo; u <= a.hi; ++u)
                if (match(At(*piece[b.piece][a.piece], u, v)))
                    return true;
        return false;
    };
    const uint16_t fill = At(*piece[1][1], 0, 0);
    std::vector<char> border(size_t(r.width * r.height));
    for (int y = 0; y < r.height; ++y)
        for (int x = 0; x < r.width; ++x)
            border[size_t(y * r.width + x)] = shows(x, y, [&](uint16_t c) { return c != fill; });
    auto onBorder = [&](int x, int y) {
        return x >= 0 && y >= 0 && x < r.width && y < r.height && border[size_t(y * r.width + x)];
    };
    int covered = 0, firstX = 0, firstY = 0;
    for (int y = 0; y < r.height; ++y)
        for (int x = 0; x < r.width; ++x) {
            bool near = false;
            for (int d = 0; d < 9; ++d)
                near = near || onBorder(x + d % 3 - 1, y + d / 3 - 1);
            const uint16_t seen = At(*picture, r.x + x, r.y + y);
            if (near && !shows(x, y, [&](uint16_t c) { return c == seen; }) && !covered++) {
                firstX = r.x + x;
                firstY = r.y + y;
            }
        }
    EXPECT_EQ(covered, 0) << shot << ": pixels on or beside the frame's border differ from it, the first at ("
                          << firstX << ", " << firstY << ")";
}

// The awarded medal and its border are centred on the screen: the columns
// where the medal screen differs from the unlock message drawn after it over
// the same background, in the rows of the border (from 60 down to above the
// unlock message's lines), lie symmetric about the screen's centre.
void ExpectMedalCentred(std::string const& medal, std::string const& after, int width)
{
    std::unique_ptr<PSurface> a = Load565(std::filesystem::absolute(medal).string());
    std::unique_ptr<PSurface> b = Load565(std::filesystem::absolute(after).string());
    ASSERT_TRUE(a && b && a->width == b->width && a->height == b->height && a->width == width);
    int left = width, right = -1;
    for (int y = 60; y < 130; ++y)
        for (int x = 0; x < width; ++x)
            if (At(*a, x, y) != At(*b, x, y)) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
    ASSERT_GE(right - left, 48) << medal << ": no medal drawn";
    EXPECT_NEAR(left + right + 1, width, 2) << medal << ": the medal's border spans " << left << " to " << right;
}

// A frame kept in play_shots/: no pixel shows the pictures' colour key,
// magenta, or a colour filtered mostly from it (red and blue at least 200,
// green at most 60): transparent texels never reach the screen.
bool Keep(Pilot& p, std::string const& shot)
{
    if (!p.SaveFrame(shot))
        return false;
    std::unique_ptr<PSurface> picture = Load565(std::filesystem::absolute(shot).string());
    EXPECT_TRUE(picture) << shot;
    if (!picture)
        return false;
    int n = 0, x0 = picture->width, y0 = picture->height, x1 = -1, y1 = -1;
    for (int y = 0; y < picture->height; ++y)
        for (int x = 0; x < picture->width; ++x) {
            unsigned c = reinterpret_cast<uint16_t const*>(picture->pixels + y * picture->pitch)[x];
            unsigned r = c >> 11, g = (c >> 5) & 63, b = c & 31;
            if ((r << 3 | r >> 2) >= 200 && (b << 3 | b >> 2) >= 200 && (g << 2 | g >> 4) <= 60) {
                ++n;
                x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y), y1 = std::max(y1, y);
            }
        }
    EXPECT_EQ(n, 0) << shot << ": pixels near the colour key, x " << x0 << " to " << x1 << ", y " << y0 << " to "
                    << y1;
    return true;
}

void ExpectMenuClearOfTheBorder(Pilot& p, std::string const& shot)
{
    SubMenu* m = p.Game()->PauseMenu();
    ExpectTextClearOfTheBorder(shot, PRect{m->GetX(), m->GetY(), m->GetWidth(), m->GetHeight()});
}

Profile* CurrentProfile(Pilot& p)
{
    return p.App()->Profiles()->CurrentProfile();
}

std::vector<uint8_t> SavedProfile()
{
    std::ifstream in(std::string(std::getenv("VORNAPP_SAVEPATH")) + "usr/profile_0", std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// On a kept frame of the mission's orders, the letterhead (light paper on the
// dark war room, from 10 pixels below the top) lies whole on the screen, off
// both sides, in the picture's proportions, and at the picture's own size
// where the screen has room for it beside the text's 15-pixel margins.
void ExpectLetterheadWhole(std::string const& shot)
{
    std::unique_ptr<PSurface> frame = Load565(std::filesystem::absolute(shot).string());
    std::unique_ptr<PSurface> picture = Load565("data\\2dgfx\\letterhead.png");
    ASSERT_TRUE(frame && picture) << shot;
    auto paper = [&](int x, int y) {
        const unsigned c = reinterpret_cast<uint16_t const*>(frame->pixels + y * frame->pitch)[x];
        return (c >> 11) * 8 + ((c >> 5) & 63) * 4 + (c & 31) * 8 > 300;
    };
    const int w = frame->width, y = 12;
    int x0 = 0, x1 = w - 1;
    while (x0 < w && !paper(x0, y))
        ++x0;
    while (x1 >= 0 && !paper(x1, y))
        --x1;
    ASSERT_LT(x0, x1) << shot << ": no letterhead";
    int h = 0;
    while (10 + h < frame->height && paper(x0 + 3, 10 + h))
        ++h;
    const int width = x1 - x0 + 1;
    EXPECT_GT(x0, 0) << shot << ": cut at the left";
    EXPECT_LT(x1, w - 1) << shot << ": cut at the right";
    EXPECT_LE(std::abs(x0 + x1 - (w - 1)), 2) << shot << ": not centred";
    EXPECT_NEAR(double(width) / h, double(picture->width) / picture->height, 0.25) << shot << ": " << width << " x " << h;
    EXPECT_NEAR(width, std::min(picture->width, w - 30), 2) << shot;
}

TEST_P(PauseMenu, WeaponsGuardsAndTheCountdownHoldAcrossAPause)
{
    Pilot pilot(GetParam().w, GetParam().h);
    ASSERT_TRUE(pilot.Start(kTimeAttack, 0));
    MainGame* game = pilot.Game();
    ASSERT_TRUE(game->DescriptionShown());
    ASSERT_TRUE(Keep(pilot, Kept("orders")));
    ExpectLetterheadWhole(Kept("orders"));
    Begin(pilot);
    ASSERT_FALSE(game->DescriptionShown());
    GPO* me = game->Mission()->GetPlayer();
    ASSERT_TRUE(Select(pilot, kRocket));
    Hud* hud = game->GetHud();
    // Right after the countdown steps, so that a second is left to pause in.
    int shown = Countdown(hud);
    ASSERT_TRUE(Within(pilot, 60, [&] { return Countdown(hud) != shown; }));
    shown = Countdown(hud);

    int ammo = Ammo(me);
    pilot.HoldKeys(MyInput::kFire);
    pilot.Frames(1);
    pilot.HoldKeys(0);
    ASSERT_EQ(Ammo(me), ammo - 1);
    ASSERT_GT(me->reloadTimer, 0) << "the rocket is reloading";
    // An enemy fighter in mid-reload too.
    GPO* fighter = nullptr;
    GPO** gpos = nullptr;
    int n = game->Mission()->GetGPOsPtr(gpos);
    for (int i = 0; i < n && !fighter; ++i)
        if (gpos[i] && gpos[i]->side == GPO::ENEMY && gpos[i]->objectKind == GPO::PLANE && gpos[i]->GetEnergy() > 0 &&
            !gpos[i]->weaponIds.empty())
            fighter = gpos[i];
    ASSERT_TRUE(fighter);
    fighter->reloadTimer = 1; // as its shot leaves it

    uint32_t paused = game->Now();
    TapPauseIcon(pilot);
    ASSERT_EQ(game->GetPauseState(), MainGame::PAUSE_MENU);
    pilot.Frames(80); // two seconds behind the menu
    EXPECT_EQ(game->Now(), 0u) << "the game sees no time while paused";
    EXPECT_EQ(Countdown(hud), shown);
    ASSERT_TRUE(Keep(pilot, Kept("pause_menu")));
    ExpectMenuClearOfTheBorder(pilot, Kept("pause_menu"));
    TapRow(pilot, 0); // resume
    ASSERT_EQ(game->GetPauseState(), MainGame::PAUSE_NONE);
    pilot.Frames(1);
    EXPECT_EQ(Countdown(hud), shown);
    EXPECT_LT(game->Now() - paused, 200u) << "the game's clock stood still behind the menu";

    // A tap on the pause icon 200 ms after resuming is held back.
    pilot.Frames(5);
    TapPauseIcon(pilot);
    EXPECT_EQ(game->GetPauseState(), MainGame::PAUSE_NONE);

    // Fire held from here: ignored for 500 ms after the resume, then the
    // rocket, reloaded meanwhile, goes.
    int minReload = me->reloadTimer, minEnemy = fighter->reloadTimer, enemyReloaded = 0;
    pilot.HoldKeys(MyInput::kFire);
    int frames = 0;
    for (; frames < 40 && Ammo(me) == ammo - 1; ++frames) {
        pilot.Frames(1);
        minReload = std::min(minReload, me->reloadTimer);
        minEnemy = std::min(minEnemy, fighter->reloadTimer);
        enemyReloaded |= fighter->IsWeaponReloaded();
    }
    pilot.HoldKeys(0);
    EXPECT_EQ(Ammo(me), ammo - 2) << "the rocket fires again after the pause";
    EXPECT_LE(frames * kFrameMs, 500 + 500 + 2 * kFrameMs);
    EXPECT_GE(minReload, 0);
    for (int i = 0; i < 40 && !enemyReloaded; ++i) {
        pilot.Frames(1);
        minEnemy = std::min(minEnemy, fighter->reloadTimer);
        enemyReloaded |= fighter->IsWeaponReloaded();
    }
    EXPECT_TRUE(enemyReloaded) << "the enemy fighter can fire again";
    EXPECT_GE(minEnemy, 0);
}

TEST_P(PauseMenu, SensitivityChangedInTheOptionsAppliesOnResume)
{
    Pilot pilot(GetParam().w, GetParam().h);
    ASSERT_TRUE(pilot.Start(0, 0));
    MainGame* game = pilot.Game();
    Begin(pilot);
    MyAirplane* plane = game->Player(0);
    Settings* settings = pilot.AppSettings();
    settings->sensitivity = 40;
    game->UpdatePlayerSteeringSens();
    int32_t before = plane->inputScaleX;
    pilot.Frames(20);
    TapPauseIcon(pilot);
    ASSERT_EQ(game->GetPauseState(), MainGame::PAUSE_MENU);
    pilot.Frames(10);
    TapRow(pilot, 2); // options
    ASSERT_TRUE(Within(pilot, 10, [&] { return pilot.App()->State() == STATE_MENU; }));
    pilot.Frames(4);
    ASSERT_TRUE(Keep(pilot, Kept("options")));
    settings->sensitivity = 220; // the bar dragged up
    pilot.BackKey();
    ASSERT_TRUE(Within(pilot, 10, [&] { return pilot.App()->State() == STATE_GAME; }));
    EXPECT_EQ(pilot.Game(), game) << "the same game goes on";
    EXPECT_GT(plane->inputScaleX, before);
    EXPECT_EQ(plane->inputScaleX, int32_t(int64_t(220) * 104856 / 255));
    EXPECT_EQ(plane->inputScaleY, plane->inputScaleX);
}

// With the bomb selected the sight is the flat ring 2 ahead of and 2 below
// the aircraft, wherever it flies; a bomb released with a flak gun under
// the sight destroys it.
TEST(Crosshair, BombSightTravelsWithTheAircraftAndItsBombHits)
{
    Pilot pilot;
    ASSERT_TRUE(pilot.Start(1, 0));
    MainGame* game = pilot.Game();
    Begin(pilot);
    GPO* me = game->Mission()->GetPlayer();
    MyAirplane* plane = game->Player(0);
    ASSERT_TRUE(Select(pilot, kBomb));
    V start = Of(plane->position);
    for (int f = 0; f < 80; ++f) {
        game->setSteeringInput(0, 0);
        pilot.Frames(1);
        ASSERT_EQ(game->CameraMode(), MainGame::CAM_AIM);
        V p = Of(plane->position), a = Of(game->AimPoint()), h = Of(plane->forward);
        double hl = std::hypot(h.x, h.z);
        double ahead = ((a.x - p.x) * h.x + (a.z - p.z) * h.z) / hl;
        double d = std::sqrt((a.x - p.x) * (a.x - p.x) + (a.y - p.y) * (a.y - p.y) + (a.z - p.z) * (a.z - p.z));
        ASSERT_GT(ahead, 1.0) << "frame " << f;
        ASSERT_LT(a.y, p.y - 1.0) << "frame " << f;
        ASSERT_NEAR(d, std::sqrt(8.0), 0.3) << "frame " << f;
    }
    V end = Of(plane->position);
    EXPECT_GT(std::hypot(end.x - start.x, end.z - start.z), 10.0) << "the aircraft flew on";
    EXPECT_EQ(game->CrosshairTarget(), nullptr);
    Keep(pilot, Shot("bomb_sight"));

    GPO* target = nullptr;
    for (Objective const& o : me->objectives)
        for (GPO* g : o.objects)
            if (!target && g->GetEnergy() > 0 && g->objectKind == GPO::GROUND_AA)
                target = g;
    ASSERT_TRUE(target);
    // The aircraft put 12 above the gun, 2 short of it: the sight over it.
    V t = Of(target->GetPosition()), h = Of(plane->forward);
    double hl = std::hypot(h.x, h.z);
    plane->position = Fx({t.x - 2 * h.x / hl, t.y + 12, t.z - 2 * h.z / hl});
    pilot.Frames(1);
    V a = Of(game->AimPoint());
    EXPECT_LT(std::hypot(a.x - t.x, a.z - t.z), 1.5) << "the sight is over the gun";
    Keep(pilot, Shot("bomb_over_target"));
    int ammo = Ammo(me);
    pilot.HoldKeys(MyInput::kFire);
    pilot.Frames(1);
    pilot.HoldKeys(0);
    ASSERT_EQ(Ammo(me), ammo - 1);
    EXPECT_TRUE(Within(pilot, 200, [&] { return target->GetEnergy() < 1; })) << "the gun under the sight is hit";
}

// Torpedoes keep the chase camera and its crosshair: at the drop point
// until a ship is in the cone, which it then marks; an aircraft in the cone
// leaves it at the drop point, unmarked.
TEST(Crosshair, TorpedoSightMarksShipsButNotAircraft)
{
    Pilot pilot;
    ASSERT_TRUE(pilot.Start(kTimeAttack, 1));
    MainGame* game = pilot.Game();
    Begin(pilot);
    MyAirplane* plane = game->Player(0);
    ASSERT_TRUE(Select(pilot, kTorpedo));
    GPO *ship = nullptr, *fighter = nullptr;
    GPO** gpos = nullptr;
    int n = game->Mission()->GetGPOsPtr(gpos);
    for (int i = 0; i < n; ++i) {
        GPO* g = gpos[i];
        if (!g || g->side != GPO::ENEMY || g->GetEnergy() < 1)
            continue;
        if (!ship && g->objectKind == GPO::VEHICLE)
            ship = g;
        if (!fighter && g->objectKind == GPO::PLANE)
            fighter = g;
    }
    ASSERT_TRUE(ship && fighter);

    auto behind = [&](GPO* g, double back, double up) {
        V t = Of(g->GetPosition()), h = Of(plane->forward);
        double hl = std::hypot(h.x, h.z);
        plane->position = Fx({t.x - back * h.x / hl, t.y + up, t.z - back * h.z / hl});
        pilot.Frames(1);
    };
    auto atDrop = [&] {
        V p = Of(plane->position), a = Of(game->AimPoint());
        return a.y < p.y - 1.0 && std::hypot(a.x - p.x, a.z - p.z) < 2.5;
    };
    pilot.Frames(1);
    EXPECT_EQ(game->CameraMode(), MainGame::CAM_CHASE);
    behind(ship, 14, 2);
    EXPECT_EQ(game->CrosshairTarget(), ship);
    V a = Of(game->AimPoint()), s = Of(ship->GetPosition());
    EXPECT_LT(std::hypot(a.x - s.x, a.z - s.z), 0.5) << "the crosshair is on the ship";
    EXPECT_EQ(game->GetHud()->fireTargetHighlight, 1);
    Keep(pilot, Shot("torpedo_on_ship"));

    // Far from the ships, an enemy fighter ahead.
    for (int i = 0; i < 30; ++i) {
        fighter->aircraft->position = Fx({Of(plane->position).x, 30, Of(plane->position).z});
        behind(fighter, 12, 1);
        if (game->CrosshairTarget() == fighter)
            break;
    }
    ASSERT_EQ(game->CrosshairTarget(), fighter);
    EXPECT_TRUE(atDrop());
    EXPECT_EQ(game->GetHud()->fireTargetHighlight, 0);
}

// A level started from the environment lets the menu go as the menu's play
// choice would: "Return to the main menu?" answered yes ends in the menu.
TEST(DirectStart, ReturnToTheMenuEndsInTheMenu)
{
    setenv("KRV_LEVEL", "0", 1);
    Pilot pilot;
    for (int i = 0; i < 300 && pilot.App() && pilot.App()->State() != STATE_GAME; ++i) {
        if (pilot.App()->State() == STATE_INTRO)
            pilot.Tap(10, 10);
        pilot.Frames(1);
    }
    unsetenv("KRV_LEVEL");
    ASSERT_TRUE(pilot.App() && pilot.App()->State() == STATE_GAME);
    EXPECT_EQ(pilot.App()->Menu(), nullptr);
    MainGame* game = pilot.Game();
    Begin(pilot);
    pilot.Frames(20);
    TapPauseIcon(pilot);
    ASSERT_EQ(game->GetPauseState(), MainGame::PAUSE_MENU);
    pilot.Frames(10);
    TapRow(pilot, 4); // back to the menu
    ASSERT_TRUE(game->QuestionBox_IsOpen());
    Answer(pilot, true);
    ASSERT_TRUE(Within(pilot, 10, [&] { return pilot.App()->State() == STATE_MENU; }));
    EXPECT_EQ(pilot.Game(), nullptr);
    pilot.Frames(40);
    EXPECT_EQ(pilot.App()->State(), STATE_MENU) << "no level starts again";
    EXPECT_EQ(pilot.Game(), nullptr);
}

// The last level of the first campaign won: the summary, the campaign's
// medal, the message that opens the second campaign, then its page in the
// menu; all of it saved in the profile.
TEST_P(EndOfMission, LastLevelOfACampaignAwardsItsMedalAndOpensTheNext)
{
    Pilot pilot(GetParam().w, GetParam().h);
    ASSERT_TRUE(pilot.Start(0, 3));
    MainGame* game = pilot.Game();
    Profile* profile = CurrentProfile(pilot);
    profile->UnlockLevel(4, 0);
    ASSERT_FALSE(profile->HasMedal(0));
    ASSERT_EQ(profile->GetUnlocked(1), 0);
    Begin(pilot);
    pilot.Frames(10);
    DestroyEnemies(pilot);
    ASSERT_TRUE(Within(pilot, 200, [&] { return game->SummaryShown() != 0; }));
    EXPECT_EQ(game->GetPauseKind(), MainGame::PAUSE_COMPLETED);
    ASSERT_TRUE(Keep(pilot, Kept("summary_last_level")));
    ExpectTextClearOfTheBorder(Kept("summary_last_level"), game->SummaryFrame());
    pilot.Tap(CentreX(), CentreY());
    EXPECT_FALSE(game->SummaryShown());
    EXPECT_TRUE(profile->HasMedal(0));
    EXPECT_FALSE(game->UnlockShown());
    Keep(pilot, Kept("medal"));
    pilot.Tap(CentreX(), CentreY());
    ASSERT_TRUE(game->UnlockShown()) << "the next campaign's message";
    EXPECT_EQ(profile->GetUnlocked(1), 1);
    Keep(pilot, Kept("campaign_unlocked"));
    ExpectMedalCentred(Kept("medal"), Kept("campaign_unlocked"), GetParam().w);
    pilot.Tap(CentreX(), CentreY());
    ASSERT_TRUE(Within(pilot, 10, [&] { return pilot.App()->State() == STATE_MENU; }));
    EXPECT_EQ(pilot.Game(), nullptr);
    std::vector<uint8_t> saved = SavedProfile();
    ASSERT_GE(saved.size(), 27u);
    EXPECT_EQ(saved[0] & 1, 1) << "the medal is saved";
    EXPECT_EQ(saved[23], 4);
    EXPECT_EQ(saved[24], 1) << "the second campaign's first level is open";
}

// A won first level: the summary, the unlock message, then the completed
// mission's menu, whose first row loads the next level.
TEST_P(EndOfMission, WonLevelUnlocksTheNextAndItsMenuLoadsIt)
{
    Pilot pilot(GetParam().w, GetParam().h);
    testing::internal::CaptureStdout();
    bool started = pilot.Start(0, 0);
    std::fflush(stdout);
    std::string log = testing::internal::GetCapturedStdout();
    ASSERT_TRUE(started);
    // Every mesh the level asks for is there: the sky and the outer sea,
    // which have no distant copies, are not looked for.
    size_t at = log.find("cannot open");
    EXPECT_EQ(at, std::string::npos) << log.substr(at == std::string::npos || at < 80 ? 0 : at - 80, 200);
    MainGame* game = pilot.Game();
    Profile* profile = CurrentProfile(pilot);
    profile->UnlockLevel(1, 0);
    Begin(pilot);
    pilot.Frames(10);
    DestroyEnemies(pilot);
    ASSERT_TRUE(Within(pilot, 200, [&] { return game->SummaryShown() != 0; }));
    ASSERT_TRUE(Keep(pilot, Kept("summary")));
    ExpectTextClearOfTheBorder(Kept("summary"), game->SummaryFrame());
    pilot.Tap(CentreX(), CentreY());
    ASSERT_TRUE(game->UnlockShown());
    EXPECT_EQ(profile->GetUnlocked(0), 2);
    Keep(pilot, Kept("level_unlocked"));
    pilot.Tap(CentreX(), CentreY());
    EXPECT_FALSE(game->UnlockShown());
    EXPECT_EQ(game->GetPauseState(), MainGame::PAUSE_MENU);
    ASSERT_EQ(game->PauseMenu()->GetItemCount(), 3);
    pilot.Frames(10);
    ASSERT_TRUE(Keep(pilot, Kept("completed_menu")));
    ExpectMenuClearOfTheBorder(pilot, Kept("completed_menu"));
    TapRow(pilot, 0); // next level
    ASSERT_TRUE(Within(pilot, 3, [&] { return pilot.App()->State() == STATE_LOAD_GAME; }));
    EXPECT_EQ(pilot.App()->CurrentLevel(), 1);
    EXPECT_EQ(SavedProfile().at(23), 2);
}

// A lost mission: its menu has restart and the main menu; each asks first,
// "no" keeps the menu, "yes" on the main menu ends the game there.
TEST_P(EndOfMission, FailedMissionAsksBeforeRestartOrTheMenu)
{
    Pilot pilot(GetParam().w, GetParam().h);
    ASSERT_TRUE(pilot.Start(0, 0));
    MainGame* game = pilot.Game();
    Begin(pilot);
    pilot.Frames(10);
    game->Mission()->GetPlayer()->ReduceHealth(GPO::kFatalHit);
    ASSERT_TRUE(Within(pilot, 400, [&] { return game->GetPauseState() == MainGame::PAUSE_MENU; }));
    EXPECT_EQ(game->GetPauseKind(), MainGame::PAUSE_FAILED);
    EXPECT_FALSE(game->SummaryShown());
    ASSERT_EQ(game->PauseMenu()->GetItemCount(), 2);
    pilot.Frames(10);
    ASSERT_TRUE(Keep(pilot, Kept("failed_menu")));
    ExpectMenuClearOfTheBorder(pilot, Kept("failed_menu"));
    TapRow(pilot, 0); // restart
    ASSERT_TRUE(game->QuestionBox_IsOpen());
    Keep(pilot, Kept("question_restart"));
    Answer(pilot, false);
    EXPECT_FALSE(game->QuestionBox_IsOpen());
    EXPECT_EQ(pilot.App()->State(), STATE_GAME);
    TapRow(pilot, 1); // the main menu
    ASSERT_TRUE(game->QuestionBox_IsOpen());
    Answer(pilot, true);
    ASSERT_TRUE(Within(pilot, 10, [&] { return pilot.App()->State() == STATE_MENU; }));
    EXPECT_EQ(pilot.Game(), nullptr);
}

// Flown into the sea, the first mission is lost with a line that is true
// of a crash, not "shot down": a script sees only the health that is gone.
TEST(Loss, FlownIntoTheSeaTheMissionIsLostWithATrueLine)
{
    Pilot pilot;
    ASSERT_TRUE(pilot.Start(0, 0));
    MainGame* game = pilot.Game();
    Begin(pilot);
    GPO* me = game->Mission()->GetPlayer();
    MyAirplane* plane = game->Player(0);
    const int32_t health = me->GetEnergy();
    // The stick held forward, nose down, every frame.
    ASSERT_TRUE(Within(pilot, 2000, [&] {
        game->setSteeringInput(0, 1 << 16);
        return me->GetEnergy() <= 0;
    })) << "the aircraft never went down";
    EXPECT_GT(health, 0);
    // It went down where the sea is, not to a shot in the air.
    EXPECT_LT(std::abs(plane->position.y - game->WaterLevel()), 2 << 16)
        << "down at " << plane->position.y / 65536.0 << ", the sea at " << game->WaterLevel() / 65536.0;
    ASSERT_TRUE(Within(pilot, 400, [&] { return game->Mission()->GetCondition() == CONDITION_FAILED; }));
    pilot.Frames(2);
    ASSERT_TRUE(Keep(pilot, Shot("lost_at_sea")));
    Console* console = game->GetConsole();
    ASSERT_NE(console, nullptr);
    std::wstring lines;
    for (int i = 0; i < console->GetCount(); ++i)
        lines += std::wstring(console->GetLine(i) ? console->GetLine(i) : L"") + L"\n";
    EXPECT_NE(lines.find(L"Your aircraft was lost."), std::wstring::npos);
    EXPECT_EQ(lines.find(L"shot down"), std::wstring::npos);
}

// The console's lines (the amber font of the head-up display) over what the
// first mission shows behind them: every edge of their strokes is dark, at a
// contrast of 3 : 1 or more to the amber, over sky, sea and land, at both
// screen sizes, on the software renderer and on Mesa.
struct TextView {
    Screen screen;
    bool gl;
};
std::string Name(TextView v) { return Name(v.screen) + (v.gl ? "_gl" : "_sw"); }
void PrintTo(TextView v, std::ostream* os) { *os << Name(v); }
class ConsoleText : public testing::TestWithParam<TextView> {};

struct Rgb {
    int r, g, b;
};
Rgb RgbAt(PSurface const& s, int x, int y)
{
    const uint16_t c = reinterpret_cast<uint16_t const*>(s.pixels + y * s.pitch)[x];
    const int r = c >> 11, g = (c >> 5) & 63, b = c & 31;
    return {r << 3 | r >> 2, g << 2 | g >> 4, b << 3 | b >> 2};
}
// WCAG's relative luminance and contrast ratio.
double Luminance(Rgb c)
{
    auto lin = [](int v) {
        const double s = v / 255.0;
        return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * lin(c.r) + 0.7152 * lin(c.g) + 0.0722 * lin(c.b);
}
double Contrast(Rgb a, Rgb b)
{
    const double la = Luminance(a), lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}
// The console font's amber (FFD040) as either renderer's texels show it.
bool Amber(Rgb c)
{
    return c.r >= 230 && c.g >= 185 && c.g <= 235 && c.b <= 110;
}

enum Backdrop { kSky, kSea, kLand, kBackdrops };
char const* const kBackdropName[kBackdrops] = {"sky", "sea", "land"};

// What a backdrop pixel shows: light blue or white sky, darker blue sea,
// green or sandy land; -1 anything else (a building, an aircraft).
int KindOf(Rgb c)
{
    if (c.b > c.r + 12 && c.b >= c.g - 8 && c.r >= 150)
        return kSky;
    if (c.b > c.r + 12 && c.r < 130 && c.b < 190)
        return kSea;
    if (c.g > c.b + 8 || c.r > c.b + 24)
        return kLand;
    return -1;
}

// The console's rows of a frame: its amber pixels, their sides that border
// something else and how many of those are dark enough, and the backdrop:
// the pixels in the lines' box at least 2 pixels from the amber, their mean
// and the kind that at least 4 in 5 of them show (-1 none).
struct ConsoleEdges {
    int fill = 0, sides = 0, dark = 0, kind = -1;
    Rgb fillColour{0, 0, 0}, backdrop{0, 0, 0};
};
ConsoleEdges MeasureConsole(PSurface const& s, int x0, int y0, int y1)
{
    ConsoleEdges e;
    // Columns where amber reaches 6 rows above or below the lines hold
    // something else over them (the gun sight, at 480 x 320): left out.
    std::vector<char> apart(size_t(s.width), 0);
    for (int x = 0; x < s.width; ++x)
        for (int y = std::max(y0 - 6, 0); y < std::min(y1 + 6, s.height) && !apart[size_t(x)]; ++y)
            apart[size_t(x)] = (y < y0 || y >= y1) && Amber(RgbAt(s, x, y));
    auto amber = [&](int x, int y) {
        return x >= 0 && y >= 0 && x < s.width && y < s.height && !apart[size_t(x)] && Amber(RgbAt(s, x, y));
    };
    int left = s.width, right = -1;
    long fr = 0, fg = 0, fb = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < s.width; ++x)
            if (amber(x, y)) {
                const Rgb c = RgbAt(s, x, y);
                fr += c.r, fg += c.g, fb += c.b;
                ++e.fill;
                left = std::min(left, x);
                right = std::max(right, x);
            }
    if (!e.fill)
        return e;
    e.fillColour = {int(fr / e.fill), int(fg / e.fill), int(fb / e.fill)};
    long br = 0, bg = 0, bb = 0, n = 0, kinds[kBackdrops] = {};
    for (int y = y0; y < y1; ++y)
        for (int x = left; x <= right; ++x) {
            if (amber(x, y)) {
                int const dx[4] = {1, -1, 0, 0}, dy[4] = {0, 0, 1, -1};
                for (int k = 0; k < 4; ++k)
                    if (!amber(x + dx[k], y + dy[k]) && x + dx[k] >= 0 && x + dx[k] < s.width &&
                        !apart[size_t(x + dx[k])]) {
                        ++e.sides;
                        e.dark += Contrast(RgbAt(s, x, y), RgbAt(s, x + dx[k], y + dy[k])) >= 3.0;
                    }
                continue;
            }
            bool near = apart[size_t(x)];
            for (int d = 0; d < 25 && !near; ++d)
                near = amber(x + d % 5 - 2, y + d / 5 - 2);
            if (!near) {
                const Rgb c = RgbAt(s, x, y);
                br += c.r, bg += c.g, bb += c.b, ++n;
                if (KindOf(c) >= 0)
                    ++kinds[KindOf(c)];
            }
        }
    if (!n)
        return e;
    e.backdrop = {int(br / n), int(bg / n), int(bb / n)};
    for (int k = 0; k < kBackdrops; ++k)
        if (kinds[k] * 5 >= n * 4)
            e.kind = k;
    return e;
}

TEST_P(ConsoleText, LinesHaveADarkEdgeOverSkySeaAndLand)
{
    const TextView view = GetParam();
    Pilot pilot(view.screen.w, view.screen.h, view.gl);
    ASSERT_TRUE(pilot.Start(0, 0));
    MainGame* game = pilot.Game();
    Begin(pilot);
    Console* console = game->GetConsole();
    ASSERT_TRUE(Within(pilot, 400, [&] { return console->GetCount() > 0; })) << "no console line";
    // Level flight puts the sky behind the console; a dive the sea off the
    // base's island, and after climbing again a weaving descent the land.
    const std::string probe = Shot(("console_probe_" + Name(view)).c_str());
    bool kept[kBackdrops] = {};
    int frame = 0;
    for (; frame < 1200 && !(kept[kSky] && kept[kSea] && kept[kLand]); ++frame) {
        if (frame >= 40 && frame < 110)
            game->setSteeringInput(0, 1 << 15);
        else if (frame >= 110 && frame < 170)
            game->setSteeringInput(0, -(1 << 15));
        else if (frame >= 200)
            game->setSteeringInput(frame % 200 < 100 ? 1 << 14 : -(1 << 14), 1 << 14);
        if (frame % 4) {
            pilot.Frames(1);
            continue;
        }
        const int lines = console->GetCount();
        ASSERT_TRUE(pilot.SaveFrame(probe));
        if (!lines)
            continue;
        std::unique_ptr<PSurface> picture = Load565(std::filesystem::absolute(probe).string());
        ASSERT_TRUE(picture);
        const ConsoleEdges e = MeasureConsole(*picture, 45, 100, 100 + lines * 16);
        if (e.fill < 200)
            continue;
        const int kind = e.kind;
        if (kind < 0 || kept[kind])
            continue;
        std::printf("%s over %s: backdrop %d %d %d, %d of %d stroke edges dark\n", Name(view).c_str(),
                    kBackdropName[kind], e.backdrop.r, e.backdrop.g, e.backdrop.b, e.dark, e.sides);
        kept[kind] = true;
        const std::string shot = Shot(("console_" + std::string(kBackdropName[kind]) + "_" + Name(view)).c_str());
        std::filesystem::copy_file(probe, shot, std::filesystem::copy_options::overwrite_existing);
        EXPECT_GE(e.dark, e.sides * 98 / 100)
            << shot << ": of the amber strokes' " << e.sides << " edges only " << e.dark << " reach 3 : 1";
        if (kind == kSky) {
            EXPECT_LT(Contrast(e.fillColour, e.backdrop), 2.0) << shot << ": the sky behind the text is not bright";
        }
    }
    std::filesystem::remove(probe);
    EXPECT_TRUE(kept[kSky] && kept[kSea] && kept[kLand])
        << "backdrops seen: sky " << kept[kSky] << ", sea " << kept[kSea] << ", land " << kept[kLand];
}

// The sky all around the horizon: the aircraft high over the sea, its nose
// 20 degrees up, turned through a whole circle in steps of 15 degrees. In
// the band between the console and the sight, wherever both ends of a
// 4-pixel step show sky (blue or white, no interface), the mean step of no
// column reaches 20 (the three channels summed): the clouds give at most
// about 11 on the software renderer and 7 on Mesa, the straight edge where
// the sky picture's two sides met gave 30 to 66. The frame with the largest
// step is kept as sky_around_{sw,gl}.png.
class SkyAround : public testing::TestWithParam<bool> {};

bool SkyColour(Rgb c)
{
    return c.b >= 150 && c.b >= c.r && c.b + 8 >= c.g;
}

TEST_P(SkyAround, NoStraightEdgeAtAnyHeading)
{
    const bool gl = GetParam();
    Pilot pilot(480, 320, gl);
    ASSERT_TRUE(pilot.Start(0, 0));
    MainGame* game = pilot.Game();
    Begin(pilot);
    MyAirplane* plane = game->Player(0);
    const std::string probe = Shot(gl ? "sky_probe_gl" : "sky_probe_sw");
    const std::string kept = Shot(gl ? "sky_around_gl" : "sky_around_sw");
    constexpr int kStep = 4;
    double worst = 0;
    int worstHeading = 0, worstX = 0;
    for (int heading = 0; heading < 360; heading += 15) {
        for (int i = 0; i < 4; ++i) { // the camera follows within these
            plane->angles = PVector3(20 << 16, heading << 16, 0);
            plane->position.y = 60 << 16;
            pilot.Frames(1);
        }
        ASSERT_TRUE(Keep(pilot, probe));
        std::unique_ptr<PSurface> s = Load565(std::filesystem::absolute(probe).string());
        ASSERT_TRUE(s);
        // Columns left of the fire button; rows below the console's lines
        // and above the sight.
        const int y0 = s->height * 41 / 100, y1 = s->height * 62 / 100;
        double most = 0;
        int at = 0;
        for (int x = s->width / 20; x + kStep < s->width * 78 / 100; ++x) {
            long sum = 0, rows = 0;
            for (int y = y0; y < y1; ++y) {
                const Rgb a = RgbAt(*s, x, y), b = RgbAt(*s, x + kStep, y);
                if (SkyColour(a) && SkyColour(b)) {
                    sum += std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b);
                    ++rows;
                }
            }
            if (rows * 2 >= y1 - y0 && double(sum) / double(rows) > most)
                most = double(sum) / double(rows), at = x;
        }
        if (most > worst || heading == 0) {
            worst = most, worstHeading = heading, worstX = at;
            std::filesystem::copy_file(probe, kept, std::filesystem::copy_options::overwrite_existing);
        }
        EXPECT_LT(most, 20.0) << "heading " << heading << ": a straight edge in the sky between columns " << at
                              << " and " << at + kStep;
    }
    std::filesystem::remove(probe);
    std::printf("sky around (%s): largest mean step %.1f at heading %d, column %d\n", gl ? "gl" : "sw", worst,
                worstHeading, worstX);
}

auto const kScreens = testing::Values(Screen{1024, 600}, Screen{480, 320});
auto const kScreenName = [](testing::TestParamInfo<Screen> const& i) { return Name(i.param); };
INSTANTIATE_TEST_SUITE_P(Screens, PauseMenu, kScreens, kScreenName);
INSTANTIATE_TEST_SUITE_P(Screens, EndOfMission, kScreens, kScreenName);
INSTANTIATE_TEST_SUITE_P(Screens, ConsoleText,
                         testing::Values(TextView{{1024, 600}, false}, TextView{{480, 320}, false},
                                         TextView{{1024, 600}, true}, TextView{{480, 320}, true}),
                         [](testing::TestParamInfo<TextView> const& i) { return Name(i.param); });
INSTANTIATE_TEST_SUITE_P(Renderers, SkyAround, testing::Values(false, true),
                         [](testing::TestParamInfo<bool> const& i) { return std::string(i.param ? "gl" : "sw"); });

} // namespace
