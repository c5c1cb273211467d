// Command: one action of a mission (change an object's health, show a text,
// start an explosion, end the mission, drive the HUD timer, switch events, ...).
// Commands are owned by the mission and run by the events that list them;
// the delay state is the command's own, so all events listing it share it.
#pragma once
#include <cstdint>
#include <vector>

#include "engine/runtime/pfixed.h"

class Console;
class EventHandler;
class GPO;
class P3DAnim;
class P3DGameEngine;
class P3DModel;
class WeaponSystem;

// The outcome of a mission.
enum CONDITION : int32_t { CONDITION_IN_PROGRESS = 0, CONDITION_COMPLETED = 1, CONDITION_FAILED = 2 };

// What the mission's commands and events need of the head-up display: the
// mission timer, the objectives display and the summary. The HUD implements it.
class MissionHud {
public:
    virtual ~MissionHud() = default;
    virtual bool TimerRunning() const = 0;
    virtual void SetTimerRunning(bool on) = 0;
    // The time the timer shows now, in seconds.
    virtual int TimerSeconds() const = 0;
    virtual void GetTimerBase(int& minutes, int& seconds) const = 0;
    virtual void SetTimerBase(int minutes, int seconds) = 0;
    virtual void SetObjectives(uint8_t value) = 0;
    virtual void AddSummaryElement(const wchar_t* text, int a, int b) = 0;
};

// The player's score as the mission raises it (the current profile).
class MissionScore {
public:
    virtual ~MissionScore() = default;
    virtual void ScoreIncrease(int points) = 0;
};

// Repair requests of a match (the match session implements it). The
// requests are throttled by the session's own clock (ms), which it gives
// with Now.
class MissionRepairLink {
public:
    virtual ~MissionRepairLink() = default;
    virtual uint32_t Now() const = 0;
    virtual void RequestRepairPlayer(int amount, uint32_t now) = 0;
};

class Command {
public:
    enum TYPE : int32_t {
        GPO_HEALTH_REDUCE = 0,
        GPO_HEALTH_INCREASE = 1,
        GPO_MODEL_MESH_INDEX_CHANGE = 2,
        GPO_EXPLODE = 3,
        GPO_REARM = 4,
        SHOW_CONSOLE_TEXT = 5,
        ADD_EXPLOSION = 6,
        HUD_SHOW_ICON = 7,
        GPO_DISABLE = 8,
        GPO_ENABLE = 9,
        PROFILE_INCREASE_SCORE = 10,
        PROFILE_INCREASE_SCORE_RANDOM = 11,
        SET_MISSION_COMPLETED = 12,
        SET_MISSION_FAILED = 13,
        SET_MISSION_IN_PROGRESS = 14,
        GPO_RESPAWN = 15,
        GPO_PLUG_MODEL_TO_POINT = 16,
        TIMER_EXTEND = 17,
        SET_MODEL_DISSOLVE = 18,
        SET_MODEL_BLEND_ADD = 19,
        SET_MODEL_BLEND_ADD_ALPHA = 20,
        GPO_UNPLUG_MODEL = 21,
        COUNTER_INC = 22,
        COUNTER_DEC = 23,
        COUNTER_SET = 24,
        TIMER_STOP = 25,
        TIMER_CONTINUE = 26,
        HUD_SET_OBJECTIVES = 27,
        GPO_REARM_EXTEND = 28,
        SUMMARY_ELEMENT_GPO_DESTR = 29,
        SUMMARY_ELEMENT_TIME = 30,
        GPO_CHANGE_RADAR_COLOR = 31,
        GPO_SET_RESPAWNABLE_FLAG = 32,
        EVENT_DISABLE = 33,
        EVENT_ENABLE = 34,
        EVENT_DISABLE_ALL = 35,
        GPO_HEALTH_INCREASE_MP_REQUEST = 36,
        NO_COMMAND = 37,
    };
    // Delay states.
    static constexpr uint8_t kDelayIdle = 0;
    static constexpr uint8_t kDelayWaiting = 1;
    static constexpr uint8_t kNoDelay = 255;
    // Execution limits below 0: -1 repeats; -2 repeats a score command
    // every delay.
    static constexpr int kRepeat = -1;
    static constexpr int kRepeatScore = -2;
    // A plug-list entry for a level of detail whose mesh did not load.
    static constexpr uint16_t kNoMesh = 0xFFFF;

    Command();
    virtual ~Command() = default;
    Command(Command const&) = delete;
    Command& operator=(Command const&) = delete;

    void SetType(TYPE t) { kind = t; }
    void SetGpoRef(GPO* g) { gpo = g; }
    void SetHealth(int v) { value = v; }
    void SetExplosionType(signed char k) { explosionKind = k; }
    void SetExplosionAtGPO(GPO* g) { gpo = g; }
    void SetWeaponSystemPtr(WeaponSystem* w) { weapons = w; }
    void SetCommandExecutionCount(int n) { limit = n; }
    void SetHudIconPtr(bool* icon) { hudIcon = icon; }
    void SetProfilePtr(MissionScore* p) { profile = p; }
    void SetScoreIncrement(int a) { scoreA = a; }
    void SetScoreIncrement(int a, int b) { scoreA = a, scoreB = b; }
    void SetConsoleText(Console* c, const wchar_t* t) { console = c, text = t; }
    void SetConditionPtr(CONDITION* c) { condition = c; }
    void SetHudPtr(MissionHud* h) { hud = h; }
    void SetGameEventCounterPtr(int16_t& c) { counter = &c; }
    void SetRepairLink(MissionRepairLink* r) { repair = r; }
    void SetDelay(int d);

    void AddModelMeshIndexChange(P3DGameEngine* engine, const char* oldName, const char* newName,
                                 const char* directory, const char* textures);
    void LoadPlugModel(P3DGameEngine* engine, const char* name, const char* directory, const char* textures,
                       const char* lodSuffix, int lodCount, int lodDistance);
    void AddPlugModel(unsigned short i);
    void SetModelBlend(P3DGameEngine* engine, P3DAnim* scene, const char* name, short index);

    void Execute(EventHandler* handler);
    // The random score: A plus a random part below B - A; just A when B is
    // not above A.
    int RandomScore();

    TYPE kind = NO_COMMAND;
    GPO* gpo = nullptr;
    int32_t value = 0;
    std::vector<int32_t> oldMeshes, newMeshes;
    Console* console = nullptr;
    const wchar_t* text = nullptr;
    int8_t explosionKind = 0;
    WeaponSystem* weapons = nullptr;
    int32_t limit = 1;
    bool* hudIcon = nullptr;
    MissionScore* profile = nullptr;
    int32_t scoreA = 0, scoreB = 0;
    PRand2 random;
    uint32_t delay = 0;
    uint8_t delayState = kNoDelay;
    uint32_t waitStart = 0;
    CONDITION* condition = nullptr;
    MissionHud* hud = nullptr;
    int16_t* counter = nullptr;
    std::vector<uint16_t> plugMeshes;
    int32_t lodDistance = 0;
    P3DModel* model = nullptr;
    MissionRepairLink* repair = nullptr;
};
