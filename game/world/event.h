// Event: a mission condition tested once a frame; when it holds the event
// runs its commands under their delay and repeat rules, and retires once a
// pass has run all of them.
#pragma once
#include <cstdint>
#include <vector>

class Command;
class EventHandler;
class GPO;
class MissionHud;
class P3DTrigger;
class WeaponSystem;

class Event {
public:
    enum TYPE : int32_t {
        GPO_HEALTH_VALUE = 0,
        GPO_INSIDE_TRIGGER = 1,
        WEAPON_INSIDE_TRIGGER = 2,
        EXPLOSION_INSIDE_TRIGGER = 3,
        GPOS_HEALTH_VALUE = 4,
        TIMER_VALUE = 5,
        GPOS_INSIDE_TRIGGER = 6,
        COUNTER_VALUE = 7,
        GPO_DISTANCE_FROM_MAINPLAYER = 8,
        TUTORIAL_PROCESS_A = 9,
        TUTORIAL_PROCESS_B = 10,
        TUTORIAL_PROCESS_C = 11,
        TUTORIAL_PROCESS_D = 12,
        TUTORIAL_PROCESS_E = 13,
        NONE = 14,
    };
    enum OPERATOR : int32_t {
        AND = 0,
        OR = 1,
        EQUAL = 2,
        SMALLER = 3,
        BIGGER = 4,
        EQUAL_SMALLER = 5,
        EQUAL_BIGGER = 6,
        NOT_EQUAL = 7,
    };

    Event() = default;
    virtual ~Event() = default;
    Event(Event const&) = delete;
    Event& operator=(Event const&) = delete;

    void SetType(TYPE t) { kind = t; }
    void SetGPORef(GPO* g) { gpo = g; }
    void SetTriggerRef(P3DTrigger* t, GPO* owner) { trigger = t, triggerOwner = owner; }
    void SetHealthValue(int v) { value = v; }
    void SetOperator(OPERATOR o) { op = o; }
    void SetHudPtr(MissionHud* h) { hud = h; }
    void SetWeaponSystemRef(WeaponSystem* w) { weapons = w; }
    void SetGameEventCounterPtr(int16_t& c) { counter = &c; }
    void AddGposToList(GPO* g);
    void AddWeaponType(signed char w);
    void SetCommand(Command* c);
    int CommandCount() const { return int(commands.size()); }

    void Process(unsigned int now, EventHandler* handler);
    // The condition alone (advances the tutorial steps).
    bool Test();

    TYPE kind = NONE;
    uint8_t enabled = 1;
    GPO* gpo = nullptr;
    std::vector<GPO*> gpos;
    GPO* triggerOwner = nullptr;
    P3DTrigger* trigger = nullptr;
    std::vector<Command*> commands; // not owned
    std::vector<int16_t> executed;
    int32_t value = 0;
    std::vector<int8_t> weaponList;
    WeaponSystem* weapons = nullptr;
    uint8_t done = 0;
    OPERATOR op = AND;
    MissionHud* hud = nullptr;
    int16_t* counter = nullptr;
    int32_t step = 0;
    int32_t last = 0, seenUp = 0, seenDown = 0;
};
