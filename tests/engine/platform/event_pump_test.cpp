// The start-up sequence and the event pump, driven by headless scripts.
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "app_recorder.h"
#include "engine/platform/pgameapp.h"
#include "engine/platform/psystemmanager.h"
#include "host/hostevents.h"

using Calls = std::vector<std::string>;

namespace {

bool Has(Calls const& calls, char const* call)
{
    return std::find(calls.begin(), calls.end(), call) != calls.end();
}

} // namespace

TEST(EventPump, TouchWordsAndMovesOnlyWhileDown)
{
    Calls calls = RunScript("1 move 3 5 5\n"      // before any touch: dropped
                            "2 down 3 100 200\n"
                            "3 move 3 110 210\n"
                            "4 up 3 120 220\n"
                            "5 move 3 130 230\n"  // after the release: dropped
                            "6 exit\n");
    Calls expected = {"Init",
                      "Display(ok)",
                      "OnMouseButton(100,200,0,0x80030001)",
                      "OnMouseMove(110,210,0x80030001)",
                      "OnMouseButton(120,220,0,0x80030000)",
                      "OnEvent(6,0,0)",
                      "OnExit"};
    EXPECT_EQ(calls, expected);
}

TEST(EventPump, OneTouchDownFlagForAllFingers)
{
    Calls calls = RunScript("1 down 1 10 10\n"
                            "1 down 2 20 20\n"
                            "2 up 1 11 11\n"
                            "3 move 2 21 21\n" // finger 2 still held, but the flag is clear
                            "4 exit\n");
    EXPECT_EQ(CallsStartingWith(calls, "OnMouseMove").size(), 0u);
    EXPECT_TRUE(Has(calls, "OnMouseButton(20,20,0,0x80020001)"));
    EXPECT_TRUE(Has(calls, "OnMouseButton(11,11,0,0x80010000)"));
}

TEST(EventPump, FocusReachesTheApplicationOnlyOnChange)
{
    Calls calls = RunScript("1 focus 0\n"         // lost before any gain: dropped
                            "2 focus 1\n"
                            "3 focus 1\n"         // already active
                            "4 focus 0\n"
                            "5 window-state 2\n"  // not full screen while inactive
                            "6 window-state 0\n"  // full screen: gained
                            "7 window-state 1\n"
                            "8 exit\n");
    Calls focus = CallsStartingWith(calls, "OnEvent(4");
    Calls expected = {"OnEvent(4,1,1)", "OnEvent(4,0,0)", "OnEvent(4,1,1)", "OnEvent(4,0,0)"};
    EXPECT_EQ(focus, expected);
    EXPECT_EQ(CallsStartingWith(calls, "OnFocus").size(), 4u);
}

TEST(EventPump, ExitIsSentOnceAndRunEndsWithoutAnother)
{
    RecorderConfig config;
    config.exitOnExitEvent = 0; // like the game: release everything, keep looping
    config.exitAtLoop = 6;
    host::Options o = ScriptOptions("1 exit\n2 exit\n");
    o.renderer = host::RENDERER_SOFTWARE;
    o.exitGraceMs = 600000;
    host::Configure(o);
    g_recorder = config;
    g_calls.clear();
    g_loops = 0;
    ASSERT_TRUE(host::EventServiceStart());
    {
        PRimSystemManager sysman;
        ASSERT_EQ(sysman.Init(nullptr), 1);
        EXPECT_EQ(sysman.Run(), PRUN_EXIT);
        EXPECT_EQ(g_loops, 6);
        EXPECT_EQ(sysman.m_exitSeen, 1);
    }
    host::EventServiceStop();
    EXPECT_EQ(CallsStartingWith(g_calls, "OnEvent(6").size(), 1u);
    EXPECT_TRUE(g_appDeleted);
}

// A loop that leaves by itself gets one exit event; so does one that the
// navigator's exit and the grace period (0 in scripted runs) end.
TEST(EventPump, ExitIsSentOnceHoweverTheLoopEnds)
{
    for (auto [script, exitAtLoop, exitOnExit, loops] : {std::tuple{"", 3, 1, 3}, {"2 exit\n", -1, 0, 2}}) {
        RecorderConfig config;
        config.exitAtLoop = exitAtLoop;
        config.exitOnExitEvent = exitOnExit;
        Calls calls = RunScript(script, config);
        EXPECT_EQ(g_loops, loops);
        EXPECT_EQ(CallsStartingWith(calls, "OnEvent(6").size(), 1u);
        EXPECT_TRUE(g_appDeleted);
        EXPECT_TRUE(!exitOnExit || calls.back() == "OnExit");
    }
}

TEST(EventPump, TouchesBeforeTheDisplayExistsAreNotConverted)
{
    RecorderConfig config;
    config.displayAtLoop = 2;
    config.orientation = PDISPLAY_ORIENT_180;
    Calls calls = RunScript("0 down 0 10 20\n"
                            "0 up 0 10 20\n"
                            "1 down 0 10 20\n"
                            "1 up 0 10 20\n"
                            "2 exit\n",
                            config);
    Calls buttons = CallsStartingWith(calls, "OnMouseButton");
    Calls expected = {"OnMouseButton(10,20,0,0x80000001)", "OnMouseButton(10,20,0,0x80000000)",
                      "OnMouseButton(1014,580,0,0x80000001)", "OnMouseButton(1014,580,0,0x80000000)"};
    EXPECT_EQ(buttons, expected);
}

namespace {

std::vector<unsigned> g_sleeps;

Calls StartAtAngle(int angle)
{
    host::Options o = ScriptOptions("1 exit\n");
    o.renderer = host::RENDERER_SOFTWARE;
    o.angle = angle;
    host::Configure(o);
    g_recorder = RecorderConfig();
    g_calls.clear();
    g_sleeps.clear();
    host::ClearCallLog();
    PMain([](unsigned ms) { g_sleeps.push_back(ms); });
    return host::CallLog();
}

} // namespace

TEST(StartUp, QuarterTurnAsksForUprightAndWaitsTwoSeconds)
{
    for (int angle : {90, 270}) {
        Calls log = StartAtAngle(angle);
        EXPECT_TRUE(Has(log, "set-orientation 0")) << angle;
        EXPECT_EQ(g_sleeps, std::vector<unsigned>{2000}) << angle;
        // The request comes before the orientation events are asked for.
        auto set = std::find(log.begin(), log.end(), "set-orientation 0");
        auto events = std::find(log.begin(), log.end(), "orientation-events");
        EXPECT_LT(set, events);
    }
    for (int angle : {0, 180}) {
        Calls log = StartAtAngle(angle);
        EXPECT_FALSE(Has(log, "set-orientation 0")) << angle;
        EXPECT_TRUE(g_sleeps.empty()) << angle;
    }
}

TEST(StartUp, FailuresSkipTheLoopAndDeleteTheApplication)
{
    RecorderConfig config;
    config.create = false;
    EXPECT_TRUE(RunScript("1 exit\n", config).empty());
    EXPECT_EQ(m_global_sysman, nullptr);

    config = RecorderConfig();
    config.initResult = 0;
    Calls calls = RunScript("1 exit\n", config);
    Calls expected = {"Init", "Display(ok)"};
    EXPECT_EQ(calls, expected);
    EXPECT_EQ(g_loops, 0);
    EXPECT_TRUE(g_appDeleted);
    EXPECT_EQ(m_global_sysman, nullptr);
}

TEST(StartUp, InitFillsTheKeyTables)
{
    host::Configure(ScriptOptions(""));
    g_recorder = RecorderConfig();
    g_recorder.displayAtLoop = -1;
    m_keycodes[300] = 77; // beyond the first 256: kept
    PRimSystemManager sysman;
    ASSERT_EQ(sysman.Init(nullptr), 1);
    EXPECT_EQ(PGameDispatcher::GetKeyMapping('Z'), 'Z');
    EXPECT_EQ(PGameDispatcher::GetKeyMapping('#'), 0);
    EXPECT_EQ(PGameDispatcher::GetKeyMapping(300), 77);
    EXPECT_EQ(PGameDispatcher::GetKeyMask('0'), 128u);
    EXPECT_EQ(PGameDispatcher::GetKeyMask('a'), 0u);
}

TEST(EventPump, OrientationEventsAreAnswered)
{
    host::ClearCallLog();
    RunScript("1 orientation-check 90\n"
              "1 orientation-check 180\n"
              "1 orientation-check 0\n"
              "2 orientation-done 270\n"
              "3 exit\n");
    Calls log = host::CallLog();
    EXPECT_TRUE(Has(log, "orientation-response 90 0"));
    EXPECT_TRUE(Has(log, "orientation-response 180 1"));
    EXPECT_TRUE(Has(log, "orientation-response 0 1"));
    EXPECT_TRUE(Has(log, "orientation-done 270"));
}

namespace {

Calls Readings(char const* script, int angle)
{
    host::Options o = ScriptOptions(script);
    o.renderer = host::RENDERER_SOFTWARE;
    o.angle = angle;
    host::Configure(o);
    g_recorder = RecorderConfig();
    g_recorder.joystick = true;
    g_calls.clear();
    PMain([](unsigned) {});
    return CallsStartingWith(g_calls, "Joy(");
}

} // namespace

// Readings in g become 16.16 with the axes as the device's angle turns them;
// a failed read skips the joystick for that pass; forces beyond 16.16 clamp
// (y's negation stays in range).
TEST(EventPump, AccelerometerReadings)
{
    struct Case {
        char const* script;
        int angle;
        Calls joy;
    } const cases[] = {
        {"0 accel 0.5 0.25 -1\n2 exit\n", 0, {"Joy(32768,-16384,-65536)"}},
        {"0 accel 0.5 0.25 -1\n2 exit\n", 90, {"Joy(32768,-16384,-65536)"}},
        {"0 accel 0.5 0.25 -1\n2 exit\n", 180, {"Joy(-32768,16384,-65536)"}},
        {"1 accel-fail\n4 accel 1 0 0\n6 exit\n", 0, Calls(3, "Joy(65536,0,0)")}, // passes 4, 5 and 6
        {"0 accel 40000 -40000 -0.5\n1 exit\n", 0, {"Joy(2147483647,2147483647,-32768)"}},
    };
    for (Case const& c : cases) {
        Calls got = Readings(c.script, c.angle);
        if (c.joy.size() == 1 && got.size() > 1)
            got.resize(1); // the first reading
        EXPECT_EQ(got, c.joy) << c.script << " at " << c.angle;
    }
}
