// A test pilot for the demo's levels: the application runs in the test
// process on the software renderer (or on Mesa's OpenGL ES 1.1) and the
// virtual clock with the built demo
// archive; a level is started as the menu would start it, and every frame
// the pilot reads the mission's objectives and its own aircraft and gives
// the input a player would: the direction keys, the fire key, the weapon key
// and throttle drags on the head-up display.
#pragma once
#include <cstdint>
#include <ostream>
#include <string>

class GPO;
class KorvanthApp;
class LevelsGroup;
class MainGame;
class Settings;
class PRimSystemManager;
struct TestMatch;
namespace gametest {
class ScratchDir;
}

namespace autopilot {

// Which levels: a campaign's (0..2), the time-attack, tutorial, arcade and
// multiplayer groups.
enum Group : int { kTimeAttack = 3, kTutorial = 4, kArcade = 5, kMultiplayer = 6 };

// A level of the demo by its name, group and index.
struct Level {
    char const* name;
    int group, level;
};

inline void PrintTo(Level const& l, std::ostream* os) { *os << l.name; }

// Every level of the demo: first the campaigns' and the time attack's, which
// are won and lost (kWinnableLevels), then the tutorial, the arcade level and
// the match map.
inline constexpr Level kDemoLevels[] = {
    {"c1m1", 0, 0},           {"c1m2", 0, 1},           {"c1m3", 0, 2},           {"c1m4", 0, 3},
    {"c2m1", 1, 0},           {"c2m2", 1, 1},           {"c2m3", 1, 2},           {"c2m4", 1, 3},
    {"c3m1", 2, 0},           {"c3m2", 2, 1},           {"c3m3", 2, 2},           {"c3m4", 2, 3},
    {"ta1", kTimeAttack, 0},  {"ta2", kTimeAttack, 1},  {"ta3", kTimeAttack, 2},  {"ta4", kTimeAttack, 3},
    {"tutorial", kTutorial, 0}, {"arcade", kArcade, 0}, {"match", kMultiplayer, 0},
};
inline constexpr int kWinnableLevels = 16;

enum Mode : int {
    kWin,     // chase the objectives' targets and shoot them down
    kLeave,   // fly out of the play area without firing
    kCircle,  // circle the middle of the play area without firing
};

struct Outcome {
    int condition = 0;      // the mission's condition at the end (0 still running)
    int paused = -1;        // the pause kind the game showed, -1 none
    int frames = 0;         // frames of play until the condition was set
    int32_t playerHealth = 0;
    std::string log;        // what the pilot did, for failure messages
};

class Pilot {
public:
    // gl: OpenGL ES 1.1 on Mesa's headless EGL instead of the software renderer.
    Pilot(int width = 400, int height = 320, bool gl = false);
    ~Pilot();
    Pilot(Pilot const&) = delete;
    Pilot& operator=(Pilot const&) = delete;

    // Starts level `level` of a group and runs until its description shows;
    // false (with a note in log) when it does not load.
    bool Start(int group, int level);
    // Flies until the mission ends (and its pause screen shows) or
    // maxFrames frames of play have passed.
    Outcome Fly(int mode, int maxFrames);
    // The frame about to be drawn, as 0xRRGGBB, top row first.
    bool SaveFrame(std::string const& path);
    MainGame* Game() const;
    // Keeps every n-th frame of the flights as dir/frameNNNNN.png.
    void KeepFrames(std::string const& dir, int n)
    {
        m_shots = dir;
        m_shotEvery = n;
    }
    KorvanthApp* App() const { return m_app; }
    // A player's input outside Fly: n frames of the application, the key
    // word held, the weapon key pressed or let go, a tap at a screen point.
    void Frames(int n);
    void HoldKeys(int keys);
    void WeaponKey(bool down);
    void Tap(int x, int y);
    // The back key pressed for a frame.
    void BackKey();
    // The application's settings, as the options page changes them.
    Settings* AppSettings() const;

private:
    void Pass();
    void Steer(int mode, Outcome& out);
    GPO* Target(GPO* me) const;
    void ChooseWeapon(GPO* me, GPO* target);
    void Throttle(int want);
    GPO* Base() const;
    double Ground(double x, double z) const;

    gametest::ScratchDir* m_dir = nullptr;
    PRimSystemManager* m_sysman = nullptr;
    KorvanthApp* m_app = nullptr;
    TestMatch* m_match = nullptr;
    std::string m_shots;
    int m_shotEvery = 1;
    int m_group = 0;
    double m_ground = 0; // under and ahead of the aircraft, looked up every fourth frame
    int m_frame = 0;
    int m_keyHeld = 0;
    int m_repairing = 0;
    int m_extend = 0; // flying away from a ground target to turn for the next run
    int m_touchX = -1; // the finger on the throttle slider, -1 up
    bool m_unchecked = false; // leak checking off for the pilot's lifetime (Mesa)
};

} // namespace autopilot
