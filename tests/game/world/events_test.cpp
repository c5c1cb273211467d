// Mission events: when commands run under their delay and repeat rules,
// when the event retires, conditions over object lists and the timer, and
// the command actions with ranges that could go wrong.
#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "game/world/command.h"
#include "game/world/eventhandler.h"
#include "game/world/gameplayobject.h"

namespace {

struct Score : MissionScore {
    int total = 0, calls = 0;
    void ScoreIncrease(int p) override { total += p, calls++; }
};

struct Timer : MissionHud {
    bool running = true;
    int shown = 29, baseM = 1, baseS = 0;
    bool TimerRunning() const override { return running; }
    void SetTimerRunning(bool on) override { running = on; }
    int TimerSeconds() const override { return shown; }
    void GetTimerBase(int& m, int& s) const override { m = baseM, s = baseS; }
    void SetTimerBase(int m, int s) override { baseM = m, baseS = s; }
    void SetObjectives(uint8_t) override {}
    void AddSummaryElement(const wchar_t*, int, int) override {}
};

TEST(EventTiming, DelaysRepeatsAndRetiring)
{
    struct Case {
        Command::TYPE kind;
        int limit, delay;
        std::vector<unsigned> times;
        int runs;  // score calls after the passes
        bool done;
    } cases[] = {
        {Command::PROFILE_INCREASE_SCORE, 1, 0, {0, 10, 20}, 1, true},
        {Command::PROFILE_INCREASE_SCORE, 1, 1000, {0, 999}, 0, false},
        {Command::PROFILE_INCREASE_SCORE, 1, 1000, {0, 999, 1000}, 1, true},
        // Repeating: armed, run, re-armed on the next pass, run again.
        {Command::PROFILE_INCREASE_SCORE, -1, 100, {0, 100, 125, 224, 225}, 2, false},
        {Command::PROFILE_INCREASE_SCORE, -2, 100, {0}, 1, true},
        {Command::PROFILE_INCREASE_SCORE, -2, 0, {0, 100, 200}, 0, false},
    };
    for (Case const& c : cases) {
        Score score;
        Command cmd;
        cmd.SetType(c.kind);
        cmd.SetCommandExecutionCount(c.limit);
        cmd.SetDelay(c.delay);
        cmd.SetProfilePtr(&score);
        cmd.SetScoreIncrement(5);
        EventHandler h;
        Event* e = new Event;
        e->SetCommand(&cmd);
        h.AddEvent(e);
        for (unsigned t : c.times)
            h.HandleEvents(t);
        EXPECT_EQ(score.calls, c.runs) << c.limit << " " << c.delay;
        EXPECT_EQ(e->done, c.done) << c.limit << " " << c.delay;
    }
}

TEST(EventConditions, ObjectListsAndTimer)
{
    GPO g[3];
    for (GPO& x : g)
        x.SetInternalHealthRef();
    g[1].ownHealth = 0;
    Timer hud;
    struct Case {
        Event::TYPE kind;
        Event::OPERATOR op;
        int value;
        bool holds;
    } cases[] = {
        {Event::GPOS_HEALTH_VALUE, Event::OR, 0, true},   {Event::GPOS_HEALTH_VALUE, Event::AND, 0, false},
        {Event::TIMER_VALUE, Event::SMALLER, 30, true},   {Event::TIMER_VALUE, Event::SMALLER, 29, false},
        {Event::TIMER_VALUE, Event::OR, 30, false},       {Event::TIMER_VALUE, Event::EQUAL_BIGGER, 29, true},
        {Event::TUTORIAL_PROCESS_E, Event::AND, 0, false}, {Event::WEAPON_INSIDE_TRIGGER, Event::AND, 0, false},
    };
    for (Case c : cases) {
        Event e;
        e.SetType(c.kind);
        e.SetOperator(c.op);
        e.SetHealthValue(c.value);
        e.SetHudPtr(&hud);
        for (GPO& x : g)
            e.AddGposToList(&x);
        EXPECT_EQ(e.Test(), c.holds) << c.kind << " " << c.op << " " << c.value;
    }
}

TEST(CommandActions, RangesAndEventSwitches)
{
    Command c;
    struct Range {
        int a, b;
        int lo, hi;
    } ranges[] = {{10, 10, 10, 10}, {10, 5, 10, 10}, {INT_MIN, INT_MAX, INT_MIN, INT_MAX - 1}, {3, 7, 3, 6}};
    for (Range r : ranges) {
        c.SetScoreIncrement(r.a, r.b);
        for (int i = 0; i < 50; i++) {
            int v = c.RandomScore();
            EXPECT_GE(v, r.lo);
            EXPECT_LE(v, r.hi);
        }
    }
    Timer hud;
    Command extend;
    extend.SetType(Command::TIMER_EXTEND);
    extend.SetHudPtr(&hud);
    extend.SetHealth(-90);
    extend.Execute(nullptr);
    EXPECT_EQ(hud.baseM, 0);
    EXPECT_EQ(hud.baseS, 0);

    // Disabling every event disables the running one, and its remaining
    // commands of that pass still run; an index outside the list is ignored.
    EventHandler h;
    Score score;
    Command all, none, points;
    all.SetType(Command::EVENT_DISABLE_ALL);
    none.SetType(Command::EVENT_ENABLE);
    none.SetHealth(7);
    points.SetType(Command::PROFILE_INCREASE_SCORE);
    points.SetProfilePtr(&score);
    Event* e = new Event;
    e->SetCommand(&all);
    e->SetCommand(&none);
    e->SetCommand(&points);
    h.AddEvent(e);
    h.HandleEvents(0);
    EXPECT_EQ(e->enabled, 0);
    EXPECT_EQ(score.calls, 1);

    GPO g;
    g.SetInternalHealthRef();
    g.position = {1, 2, 3};
    g.startPosition = {7, 8, 9};
    Command respawn;
    respawn.SetType(Command::GPO_RESPAWN);
    respawn.SetGpoRef(&g);
    g.ownHealth = 0;
    respawn.Execute(nullptr);
    EXPECT_EQ(g.GetEnergy(), 100);
    EXPECT_EQ(g.GetPosition(), PVector3(7, 8, 9));
}

} // namespace
