#include "tests/game/autopilot/autopilot.h"
#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include <unistd.h>

#include "engine/platform/psystemmanager.h"
#include "engine/runtime/ptime.h"
#include "game/scene/p3danim.h"
#include "game/scene/p3dgameengine.h"
#include "game/scene/p3dobjects.h"
#include "game/world/gameplayobject.h"
#include "game/world/hud.h"
#include "game/world/korvanth.h"
#include "game/world/levelsmanager.h"
#include "game/world/maingame.h"
#include "game/world/myairplane.h"
#include "game/world/physic.h"
#include "game/world/splevelmanager.h"
#include "host/hostevents.h"
#include "host/hostoptions.h"
#include "host/hostwindow.h"
#include "tests/game/world/game_fixture.h"

// The pilot's view of the application's and the session's private parts.
struct KorvanthAppProbe {
    static void Keys(KorvanthApp* a, int keys) { a->m_input.keyState = keys; }
    static void Digit(KorvanthApp* a, int digit, uint8_t state) { a->m_digitKeys[digit] = state; }
    static Settings* AppSettings(KorvanthApp* a) { return &a->m_settings; }
    static LevelsGroup* Group(KorvanthApp* a, int g)
    {
        switch (g) {
        case autopilot::kTimeAttack: return a->m_timeAttackGroup;
        case autopilot::kTutorial: return a->m_tutorialGroup;
        case autopilot::kArcade: return a->m_arcadeGroup;
        case autopilot::kMultiplayer: return a->m_multiplayerGroup;
        default: return g >= 0 && g < a->m_campaignCount ? a->m_campaignGroups[g] : nullptr;
        }
    }
    // As the menu's play choice: the loading state takes it from here.
    static void Load(KorvanthApp* a, LevelsGroup* g, int level)
    {
        a->m_currentGroup = g;
        a->m_currentLevel = uint8_t(level);
        a->m_loadStep = 0;
        a->SetState(STATE_LOAD_GAME);
    }
    // As the match session would: the game made and loaded at once, then played.
    static bool LoadMatch(KorvanthApp* a, LevelsGroup* g, MainGameMatchLink* link)
    {
        a->DeleteGame();
        a->m_game = new MainGame(a->m_p3d, &a->m_settings, a->m_loading, a->m_fonts, a->m_console, a->m_sounds,
                                 a->m_profiles);
        if (!a->m_game->LoadMultiPlayerGame(a->m_textures, &a->m_props, a->m_frameTime, g, link))
            return false;
        a->m_currentGroup = g;
        a->SetState(STATE_GAME);
        return true;
    }
};

struct MainGameProbe {
    static P3DAnim* Level(MainGame const* g) { return g->m_level; }
};

// A match of one: the local player alone on the map.
struct TestMatch : MainGameMatchLink {
    GPO* me = nullptr;
    int PlayerCount() const override { return 1; }
    int PlayerId(int) const override { return 0; }
    int MyId() const override { return 0; }
    int PlayerIndex(int id) const override { return id == 0 ? 0 : -1; }
    const char* PlayerName(int) const override { return "PILOT"; }
    int PlayerPlane(int) const override { return 0; }
    int PlayerState(int) const override { return 1; }
    int Winner() const override { return -1; }
    void RequestDamage(int, int, int) override {}
    void SendToAll(const uint8_t*, int) override {}
    void NotifyLeaveGame() override {}
    void SetPlayerObject(int, GPO* gpo) override { me = gpo; }
    void SetRespawnVectors() override {}
    WeaponMatchLink* WeaponLink() override { return nullptr; }
    HudMatchLink* HudLink() override { return nullptr; }
    MissionRepairLink* RepairLink() override { return nullptr; }
};

namespace autopilot {

namespace {

constexpr int kMg = 0, kHeavyMg = 1, kBomb = 2, kRocket = 3, kHoming = 4, kTorpedo = 5; // weapon records
constexpr unsigned kFrameMs = 25;
// The stick: right is negative x, pulling back (nose up) negative y.
constexpr double kRollSign = -1, kPitchSign = -1;
uint32_t g_elapsed = 0; // the virtual clock's time, kept across reconfigurations

host::Options Options(int width, int height, bool gl)
{
    host::Options o;
    o.mode = host::MODE_HEADLESS;
    o.renderer = gl ? host::RENDERER_GLES1 : host::RENDERER_SOFTWARE;
    o.width = width;
    o.height = height;
    o.activate = 0;
    o.exitGraceMs = 0;
    o.opener = "";
    o.accelerometer = 0; // steered by touch: the stick vector reaches the aircraft
    return o;
}

void Reconfigure(host::Options const& o)
{
    host::Configure(o);
    PSetVirtualClock(1);
    PAdvanceVirtualClock(g_elapsed);
}

double D(int32_t v)
{
    return v / 65536.0;
}

struct V {
    double x, y, z;
};

V Of(PVector3 const& p)
{
    return {D(p.x), D(p.y), D(p.z)};
}

int Armed(GPO* me, int weapon)
{
    for (size_t s = 0; s < me->weaponIds.size(); ++s)
        if (me->weaponIds[s] == weapon && s < me->ammo.size() && me->ammo[s] != 0)
            return 1;
    return 0;
}

bool Alive(GPO* g)
{
    return g && g->enabled && g->exists && g->GetEnergy() > 0;
}

} // namespace

Pilot::Pilot(int width, int height, bool gl)
{
#if defined(__SANITIZE_ADDRESS__)
    // Mesa's EGL driver keeps blocks of its one-time set-up to the end of
    // the process: on Mesa the pilot's allocations are not leak-checked (the
    // software renderer's runs check the application).
    m_unchecked = gl;
    if (m_unchecked)
        __lsan_disable();
#endif
    setenv("KRV_AUDIO", "null", 1);
    m_dir = new gametest::ScratchDir();
    std::filesystem::create_directories(m_dir->Full("app"));
    std::filesystem::create_symlink(KRV_DEMO_ARCHIVE, m_dir->Full("app/data.vfs"));
    // A returning player with one profile, so that start-up reaches the menu.
    m_dir->Put("usr/profiles.cfg", std::string("\001\000", 2));
    std::string profile(31, '\0');
    profile[22] = 4;
    m_dir->Put("usr/profile_0", profile);
    g_elapsed = 0;
    Reconfigure(Options(width, height, gl));
    if (!host::EventServiceStart())
        return;
    m_sysman = new PRimSystemManager();
    m_global_sysman = m_sysman;
    if (m_sysman->Init(nullptr) != 1)
        return;
    m_app = dynamic_cast<KorvanthApp*>(m_sysman->m_app);
}

Pilot::~Pilot()
{
    delete m_sysman;
    host::EventServiceStop();
    PSetVirtualClock(0);
    delete m_match;
    delete m_dir;
#if defined(__SANITIZE_ADDRESS__)
    if (m_unchecked)
        __lsan_enable();
#endif
}

MainGame* Pilot::Game() const
{
    return m_app ? m_app->Game() : nullptr;
}

void Pilot::Pass()
{
    PAdvanceVirtualClock(kFrameMs);
    g_elapsed += kFrameMs;
    m_app->MainLoop();
}

void Pilot::Frames(int n)
{
    for (int i = 0; i < n; ++i)
        Pass();
}

void Pilot::HoldKeys(int keys)
{
    KorvanthAppProbe::Keys(m_app, keys);
}

void Pilot::WeaponKey(bool down)
{
    KorvanthAppProbe::Digit(m_app, 3, down ? MyInput::kDigitDown : 0);
}

// A finger down for a frame, then up: the game sees a completed tap.
void Pilot::Tap(int x, int y)
{
    m_app->OnMouseButton(x, y, 0, PPointerWord(0, 1));
    Pass();
    m_app->OnMouseButton(x, y, 0, PPointerWord(0, 0));
    Pass();
}

void Pilot::BackKey()
{
    m_app->OnInput(MainGame::kBackKey, 0, 1);
    Pass();
    m_app->OnInput(MainGame::kBackKey, 0, 0);
    Pass();
}

Settings* Pilot::AppSettings() const
{
    return m_app ? KorvanthAppProbe::AppSettings(m_app) : nullptr;
}

bool Pilot::Start(int group, int level)
{
    if (!m_app)
        return false;
    for (int i = 0; i < 200 && m_app->State() != STATE_MENU; ++i) {
        if (m_app->State() == STATE_INTRO)
            m_app->OnMouseButton(10, 10, 0, PPointerWord(0, 1));
        Pass();
    }
    LevelsGroup* g = KorvanthAppProbe::Group(m_app, group);
    m_group = group;
    if (m_app->State() != STATE_MENU || !g)
        return false;
    if (group == kMultiplayer) {
        m_match = new TestMatch();
        if (!KorvanthAppProbe::LoadMatch(m_app, g, m_match))
            return false;
    } else {
        KorvanthAppProbe::Load(m_app, g, level);
    }
    for (int i = 0; i < 20 && m_app->State() != STATE_GAME; ++i)
        Pass();
    return m_app->State() == STATE_GAME && Game() && Game()->Mission();
}

bool Pilot::SaveFrame(std::string const& path)
{
    std::filesystem::path p(path);
    std::filesystem::create_directories(p.parent_path());
    // Test cases run side by side as processes: each has a folder of its own.
    std::filesystem::path tmp = p.parent_path() / ("shot.tmp." + std::to_string(getpid()));
    std::filesystem::create_directories(tmp);
    host::Options o = host::GetOptions();
    o.shots = tmp.string();
    Reconfigure(o);
    Pass();
    o.shots.clear();
    Reconfigure(o);
    std::error_code ec = std::make_error_code(std::errc::no_such_file_or_directory);
    for (auto const& e : std::filesystem::directory_iterator(tmp))
        std::filesystem::rename(e.path(), p, ec);
    std::filesystem::remove_all(tmp);
    return !ec;
}

// The nearest living target of the player's open objectives; failing that,
// the nearest living enemy aircraft.
GPO* Pilot::Target(GPO* me) const
{
    MyAirplane* plane = Game()->Player(0);
    V p = Of(plane->position), f = Of(plane->forward);
    double heading = std::atan2(f.x, f.z);
    GPO* best = nullptr;
    double bestD = 1e30;
    auto consider = [&](GPO* g) {
        if (!Alive(g) || g == me || g->side != GPO::ENEMY)
            return;
        V q = Of(g->GetPosition());
        // Targets ahead come first: a turn costs as much as a long way.
        double off = std::abs(std::remainder(std::atan2(q.x - p.x, q.z - p.z) - heading, 2 * M_PI));
        double d = std::hypot(q.x - p.x, q.y - p.y, q.z - p.z) * (1 + 2 * off);
        if (d < bestD)
            bestD = d, best = g;
    };
    // The first open objective with a living target, as the briefing orders them.
    for (Objective const& o : me->objectives)
        if (o.action == Objective::DESTROY && !best) {
            for (GPO* g : o.objects)
                consider(g);
            consider(o.target);
        }
    if (!best) {
        GPO** gpos = nullptr;
        int n = Game()->Mission()->GetGPOsPtr(gpos);
        for (int i = 0; i < n; ++i)
            if (gpos[i] && gpos[i]->objectKind != GPO::BUILDING)
                consider(gpos[i]);
    }
    return best;
}

// The height of the ground (or sea) at x, z: the highest collision surface
// of the level's models above a point far below.
double Pilot::Ground(double x, double z) const
{
    MainGame* game = Game();
    P3DAnim* level = MainGameProbe::Level(game);
    P3DGameEngine* engine = game->Engine();
    double best = 0;
    if (!level || !engine)
        return best;
    for (int i = 0; i < level->modelCount; ++i) {
        P3DModel* m = level->models[i];
        if (!m || !m->IsPerPolyColl() || m->meshIndex < 0 || m->meshIndex >= engine->meshBoxCount ||
            !engine->meshBoxes[m->meshIndex])
            continue;
        int x0, y0, z0, x1, y1, z1;
        Physic::GetMinimumMaximumFromBBox(engine->meshBoxes[m->meshIndex], x0, y0, z0, x1, y1, z1);
        double lx = x - D(m->PosX()), lz = z - D(m->PosZ());
        if (lx < D(x0) - 1 || lx > D(x1) + 1 || lz < D(z0) - 1 || lz > D(z1) + 1)
            continue;
        PVector3 probe{int32_t(x * 65536), -50 << 16, int32_t(z * 65536)};
        int32_t h = game->IsPointCollideWithModel(level, probe, m);
        if (h > -100 * 65536)
            best = std::max(best, D(h) + D(m->PosY()));
    }
    return best;
}

// The home airfield's trigger, where the player is repaired.
GPO* Pilot::Base() const
{
    GPO** gpos = nullptr;
    int n = Game()->Mission()->GetGPOsPtr(gpos);
    for (int i = 0; i < n; ++i)
        if (gpos[i] && gpos[i]->kind == GPO::TRIGGER && gpos[i]->name.rfind("Base", 0) == 0)
            return gpos[i];
    return nullptr;
}

// Homing rockets for aircraft, torpedoes for ships, rockets or bombs for
// the ground; the gun otherwise. One press of the weapon key a frame.
void Pilot::ChooseWeapon(GPO* me, GPO* target)
{
    int want = kMg;
    if (target && target->objectKind == GPO::PLANE) {
        want = Armed(me, kHoming) ? kHoming : Armed(me, kHeavyMg) ? kHeavyMg : kMg;
    } else if (target) {
        bool ship = target->name.rfind("Ship", 0) == 0 || target->name.rfind("Uboat", 0) == 0;
        bool hard = target->objectKind == GPO::GROUND_AA || target->objectKind == GPO::BUILDING;
        for (int w : ship   ? std::vector<int>{kTorpedo, kRocket, kBomb}
                     : hard ? std::vector<int>{kBomb, kRocket}
                            : std::vector<int>{kRocket, kBomb})
            if (Armed(me, w)) {
                want = w;
                break;
            }
    }
    bool press = me->currentWeapon != want && !(m_frame & 1);
    KorvanthAppProbe::Digit(m_app, 3, press ? MyInput::kDigitDown : 0);
}

void Pilot::Steer(int mode, Outcome& out)
{
    MainGame* game = Game();
    MyAirplane* plane = game->Player(0);
    GPO* me = game->Mission()->GetPlayer();
    KorvanthAppProbe::Digit(m_app, 3, 0);
    if (game->DescriptionShown()) {
        KorvanthAppProbe::Keys(m_app, (m_frame & 1) ? MyInput::kFire : 0);
        return;
    }
    if (!plane || !me || plane->health < 1 || game->GetPauseState() != MainGame::PAUSE_NONE) {
        KorvanthAppProbe::Keys(m_app, 0);
        return;
    }
    V p = Of(plane->position), f = Of(plane->forward);
    double fh = std::hypot(f.x, f.z) + 1e-9;
    // The ground under the aircraft and ahead of it.
    if (m_frame % 4 == 0) {
        m_ground = 0;
        for (double ahead : {0.0, 12.0, 25.0})
            m_ground = std::max(m_ground, Ground(p.x + f.x / fh * ahead, p.z + f.z / fh * ahead));
    }
    double ground = m_ground;
    double ceiling = game->Ceiling() - 6;
    double cruise = std::min(ceiling, std::max(ground + 14, 22.0));
    V aim{0, cruise, 0};
    GPO* target = mode == kWin ? Target(me) : nullptr;
    GPO* base = Base();
    if (plane->health < 45 && base)
        m_repairing = 1;
    if (plane->health >= 100 || !base)
        m_repairing = 0;
    bool attack = false, bomb = false, slow = false;
    if (target && m_repairing) {
        // Home to the airfield to be repaired, shooting what comes in sight.
        aim = Of(base->GetPosition());
        aim.y = std::max(aim.y + 8, cruise);
        ChooseWeapon(me, target);
    } else if (target) {
        aim = Of(target->GetPosition());
        double flat = std::hypot(aim.x - p.x, aim.z - p.z);
        attack = true;
        if (target->objectKind != GPO::PLANE) {
            // Ground targets: a run from afar, then away to turn for the next.
            bool bombing = me->currentWeapon == kBomb;
            V t = aim;
            if (m_extend && flat > (bombing ? 45 : 75))
                m_extend = 0;
            bomb = bombing && !m_extend && flat < 2.5;
            if (flat < (bombing ? 2.5 : 22) || (!bombing && p.y < t.y + 6 && flat < 40))
                m_extend = 1;
            if (m_extend) {
                // (still shooting whatever comes in sight)
                double k = 60 / (flat + 1e-9);
                aim = {p.x + (p.x - t.x) * k, std::max(t.y + 20, cruise), p.z + (p.z - t.z) * k};
            } else if (bombing) {
                // Bombs fall straight down: level over the target, released on top.
                aim.y = std::max(t.y + 10, ground + 8);
                slow = flat < 40;
            } else if (flat > 70) {
                aim.y = std::max(t.y + 20, cruise);
            }
        }
        ChooseWeapon(me, target);
    } else if (mode == kLeave) {
        aim = {p.x >= 0 ? 1000.0 : -1000.0, cruise, p.z};
    } else {
        // Circle the middle: aim a little to the left of the way around.
        double a = std::atan2(p.z, p.x) + 0.6;
        aim = {90 * std::cos(a), cruise, 90 * std::sin(a)};
    }
    // Never after a target out of the play area.
    if (std::max(std::abs(p.x), std::abs(p.z)) > 175 && mode != kLeave) {
        aim = {0, cruise, 0};
        attack = false;
    }
    V d{aim.x - p.x, aim.y - p.y, aim.z - p.z};
    double len = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z) + 1e-9;
    double fl = std::sqrt(f.x * f.x + f.y * f.y + f.z * f.z) + 1e-9;
    double diff = std::remainder(std::atan2(d.x, d.z) - std::atan2(f.x, f.z), 2 * M_PI);
    double climb = d.y / len - f.y / fl;
    bool low = p.y < ground + 4;
    if (low)
        climb = 1;
    // The stick: bank into the turn, nose toward the aim.
    auto stick = [](double v) { return int32_t(std::clamp(v, -1.0, 1.0) * 65536); };
    if (m_group == kTutorial && !target && !low) {
        // The flight school's drill until its drone shows: roll, pitch,
        // throttle and the weapon key in turn, over and over.
        int phase = (m_frame / 60) % 4, half = m_frame % 60 < 30 ? 1 : -1;
        game->setSteeringInput(phase == 0 ? stick(half) : 0, phase == 1 ? stick(half * 0.5) : 0);
        Throttle(phase == 2 && half < 0 ? 10 : 100);
        bool press = phase == 3 && me->currentWeapon != kRocket && (m_frame & 8);
        KorvanthAppProbe::Digit(m_app, 3, press ? MyInput::kDigitDown : 0);
        KorvanthAppProbe::Keys(m_app, 0);
        return;
    }
    game->setSteeringInput(stick(kRollSign * 2 * diff), stick(kPitchSign * 4 * climb));
    Throttle(mode == kCircle || slow ? 40 : 100);
    // The crosshair on an enemy: the fire key alone lets the aircraft follow
    // it while the guns fire.
    int keys = 0;
    double off = std::acos(std::clamp((d.x * f.x + d.y * f.y + d.z * f.z) / (len * fl), -1.0, 1.0));
    bool inSight = game->CrosshairTarget() && game->CrosshairTarget()->side == GPO::ENEMY;
    if (attack && !low && (inSight || (off < 0.12 && len < 40)))
        keys = MyInput::kFire;
    if (me->currentWeapon == kBomb)
        keys = bomb ? MyInput::kFire : 0; // no bombs wasted short of the target
    KorvanthAppProbe::Keys(m_app, keys);
    if (m_frame % 40 == 0) {
        char line[200];
        std::snprintf(line, sizeof line, "f%d pos %.0f %.0f %.0f gnd %.0f hp %d%s tgt %s %.0f %.0f %.0f (%d) w%d k%d\n",
                      m_frame, p.x, p.y, p.z, ground, plane->health, m_repairing ? " R" : "",
                      target ? target->name.c_str() : "-", aim.x, aim.y, aim.z, target ? target->GetEnergy() : -1,
                      me->currentWeapon, keys);
        out.log += line;
    }
}

// Drags the throttle slider beside the radar until the throttle is near
// `want`, as a finger would.
void Pilot::Throttle(int want)
{
    MyAirplane* plane = Game()->Player(0);
    Hud* hud = Game()->GetHud();
    if (!hud || hud->ThrottleRegion().w < 0)
        return;
    Hud::Rect const& r = hud->ThrottleRegion();
    int y = r.y + r.h / 2;
    bool near = std::abs(plane->throttle - want) < 5;
    if (m_touchX < 0) {
        if (near)
            return;
        m_touchX = r.w / 2;
        m_app->OnMouseButton(m_touchX, y, 0, PPointerWord(0, 1));
    } else if (!near && m_touchX > 0 && m_touchX < r.w) {
        m_touchX += plane->throttle < want ? 4 : -4;
        m_app->OnMouseMove(m_touchX, y, 0);
    } else {
        m_app->OnMouseButton(m_touchX, y, 0, PPointerWord(0, 0));
        m_touchX = -1;
    }
}

Outcome Pilot::Fly(int mode, int maxFrames)
{
    Outcome out;
    MainGame* game = Game();
    int endFrames = -1;
    for (m_frame = 0; m_frame < maxFrames && game == Game() && game; ++m_frame) {
        Steer(mode, out);
        int c = game->Mission()->GetCondition();
        if (!m_shots.empty() && m_frame % m_shotEvery == 0) {
            char name[32];
            std::snprintf(name, sizeof name, "/frame%05d.png", m_frame);
            SaveFrame(m_shots + name);
        } else {
            Pass();
        }
        if (game != Game()) { // the game ended itself (the flight school does)
            out.condition = out.condition ? out.condition : c;
            break;
        }
        c = game->Mission()->GetCondition();
        if (c != CONDITION_IN_PROGRESS && out.condition == 0) {
            out.condition = c;
            out.frames = m_frame;
        }
        if (out.condition && game->GetPauseState() != MainGame::PAUSE_NONE) {
            out.paused = game->GetPauseKind();
            break;
        }
        if (out.condition && ++endFrames > 200)
            break;
    }
    KorvanthAppProbe::Keys(m_app, 0);
    if (game == Game() && game && game->Player(0))
        out.playerHealth = game->Player(0)->health;
    return out;
}

} // namespace autopilot
