#include "game/world/event.h"

#include <algorithm>

#include "engine/runtime/pfixed.h"
#include "game/scene/p3dobjects.h"
#include "game/world/command.h"
#include "game/world/gameplayobject.h"
#include "game/world/myairplane.h"
#include "game/world/weaponsystem.h"

namespace {

constexpr int32_t kRollThreshold = 13107; // 0.2

bool Inside(P3DTrigger* t, GPO* g)
{
    return t && g && t->IsPointInside(g->GetPosition());
}

// The distance between two points on coordinates shifted right by 8.
int32_t CoarseDistance(PVector3 const& a, PVector3 const& b)
{
    int64_t dx = (a.x >> 8) - (b.x >> 8), dy = (a.y >> 8) - (b.y >> 8), dz = (a.z >> 8) - (b.z >> 8);
    int64_t s = (dx * dx + dy * dy + dz * dz) >> 16;
    return PFSqrt(unsigned(std::min<int64_t>(s, UINT32_MAX)));
}

} // namespace

void Event::AddGposToList(GPO* g)
{
    if (gpos.size() < size_t(INT16_MAX))
        gpos.push_back(g);
}

void Event::AddWeaponType(signed char w)
{
    if (weaponList.size() < 255)
        weaponList.push_back(w);
}

void Event::SetCommand(Command* c)
{
    if (commands.size() >= UINT16_MAX)
        return;
    commands.push_back(c);
    executed.push_back(0);
}

bool Event::Test()
{
    switch (kind) {
    case GPO_HEALTH_VALUE:
        return gpo && gpo->GetEnergy() <= value;
    case GPO_INSIDE_TRIGGER:
        if (triggerOwner && !triggerOwner->enabled)
            return false;
        return Inside(trigger, gpo);
    case WEAPON_INSIDE_TRIGGER:
        if (!weapons || !trigger)
            return false;
        for (mycoolparticle const& p : weapons->particles)
            if (p.life && std::find(weaponList.begin(), weaponList.end(), int8_t(p.weapon)) != weaponList.end() &&
                trigger->IsPointInside(p.position))
                return true;
        return false;
    case EXPLOSION_INSIDE_TRIGGER:
        if (gpo && !gpo->enabled)
            return false;
        // Explosions of any kind count.
        return weapons && weapons->IsAnyExplosionBelongsToTrigger(trigger, WeaponSystem::kAnyExplosion);
    case GPOS_HEALTH_VALUE: {
        if (gpos.empty())
            return false;
        auto low = [&](GPO* g) { return g && g->GetEnergy() <= value; };
        return op == AND ? std::all_of(gpos.begin(), gpos.end(), low) : std::any_of(gpos.begin(), gpos.end(), low);
    }
    case TIMER_VALUE: {
        if (!hud || !hud->TimerRunning())
            return false;
        int t = hud->TimerSeconds();
        switch (op) {
        case EQUAL: return value == t;
        case SMALLER: return value > t;
        case BIGGER: return value < t;
        case EQUAL_SMALLER: return value >= t;
        case EQUAL_BIGGER: return value <= t;
        case NOT_EQUAL: return value != t;
        default: return false;
        }
    }
    case GPOS_INSIDE_TRIGGER: {
        if (gpos.empty() || !trigger)
            return false;
        auto in = [&](GPO* g) { return Inside(trigger, g); };
        return op == AND ? std::all_of(gpos.begin(), gpos.end(), in) : std::any_of(gpos.begin(), gpos.end(), in);
    }
    case COUNTER_VALUE:
        return counter && *counter == value;
    case GPO_DISTANCE_FROM_MAINPLAYER:
        if (!gpo || (op != SMALLER && op != BIGGER))
            return false;
        for (GPO* g : gpos) {
            if (!g || !g->enabled)
                continue;
            int32_t d = CoarseDistance(g->GetPosition(), gpo->GetPosition());
            if (op == SMALLER ? d < (value >> 8) : d > (value >> 8))
                return true;
        }
        return false;
    case TUTORIAL_PROCESS_A:
    case TUTORIAL_PROCESS_B: {
        MyAirplane* a = gpo ? gpo->aircraft : nullptr;
        if (!a)
            return false;
        if (step == 1)
            return true;
        int32_t v = kind == TUTORIAL_PROCESS_A ? a->angles.z : a->angles.x;
        int32_t th = kind == TUTORIAL_PROCESS_A ? kRollThreshold : 0;
        if (v > th)
            seenUp = 1;
        if (v < -th)
            seenDown = 1;
        if (seenUp && seenDown)
            step = 1;
        return false;
    }
    case TUTORIAL_PROCESS_C: {
        MyAirplane* a = gpo ? gpo->aircraft : nullptr;
        if (!a)
            return false;
        if (step == 2)
            return true;
        if (step == 0) {
            last = a->throttle;
            step = 1;
            return false;
        }
        if (a->throttle > last)
            seenUp = 1;
        if (a->throttle < last)
            seenDown = 1;
        last = a->throttle;
        if (seenUp && seenDown)
            step = 2;
        return false;
    }
    case TUTORIAL_PROCESS_D:
        if (!gpo || !gpo->aircraft)
            return false;
        if (step == 2)
            return true;
        if (step == 0) {
            last = gpo->currentWeapon;
            step = 1;
        } else if (gpo->currentWeapon != last) {
            last = gpo->currentWeapon;
            if (last == value)
                step = 2;
        }
        return false;
    case TUTORIAL_PROCESS_E:
        return false;
    case NONE:
        return true;
    }
    return false;
}

void Event::Process(unsigned int now, EventHandler* handler)
{
    if (done || !enabled || uint32_t(kind) > NONE)
        return;
    if (!Test())
        return;
    if (commands.empty()) {
        done = 1;
        return;
    }
    int ran = 0;
    bool repeat = false;
    for (size_t i = 0; i < commands.size(); i++) {
        Command* c = commands[i];
        if (!c)
            continue;
        int limit = c->limit;
        int16_t& n = executed[i];
        if (limit >= 0 && n >= limit)
            continue;
        if (limit == Command::kRepeatScore &&
            (c->kind == Command::PROFILE_INCREASE_SCORE || c->kind == Command::PROFILE_INCREASE_SCORE_RANDOM)) {
            if (c->delayState == Command::kDelayIdle) {
                c->delayState = Command::kDelayWaiting;
                c->waitStart = now;
                c->Execute(handler);
                ran++;
            } else if (c->delayState == Command::kDelayWaiting) {
                if (now - c->waitStart >= c->delay) {
                    c->delayState = Command::kDelayIdle;
                    repeat = true;
                }
            } else {
                repeat = true;
            }
            continue;
        }
        if (c->delayState == Command::kDelayIdle) {
            c->delayState = Command::kDelayWaiting;
            c->waitStart = now;
            continue;
        }
        if (c->delayState == Command::kDelayWaiting) {
            if (now - c->waitStart < c->delay)
                continue;
            c->delayState = Command::kDelayIdle;
        }
        c->Execute(handler);
        ran++;
        if (limit >= 0) {
            if (n < INT16_MAX)
                n++;
        } else {
            repeat = true;
        }
    }
    if (ran == int(commands.size()) && !repeat)
        done = 1;
}
