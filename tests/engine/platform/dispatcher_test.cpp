// The application interface: the default event switch, the run-state calls
// and the key tables.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "engine/platform/pgameapp.h"
#include "engine/platform/psystemmanager.h"

namespace {

class MockApp : public PGameApp {
public:
    MOCK_METHOD(int, Init, (), (override));
    MOCK_METHOD(int, MainLoop, (), (override));
    MOCK_METHOD(void, OnFocus, (int), (override));
    MOCK_METHOD(int, OnMouseMove, (int, int, int), (override));
    MOCK_METHOD(void, OnRedraw, (), (override));
    MOCK_METHOD(void, OnExit, (), (override));
};

class CountingManager : public PGameSystemManager {
public:
    void OnExit() override { ++exits; }
    void OnResume() override { ++resumes; }
    int exits = 0;
    int resumes = 0;
};

} // namespace

TEST(Dispatcher, DefaultSwitchUnpacksForwardsAndRefusesUnknownCodes)
{
    testing::StrictMock<MockApp> app;
    EXPECT_CALL(app, OnMouseMove(5, -2, 7)).WillOnce(testing::Return(9));
    EXPECT_EQ(app.OnEvent(2, int(0xFFFE0005u), 7), 9);

    EXPECT_CALL(app, OnRedraw());
    EXPECT_EQ(app.OnEvent(3, 0, 0), 1);
    EXPECT_CALL(app, OnFocus(1));
    EXPECT_EQ(app.OnEvent(4, 1, 1), 1);
    EXPECT_CALL(app, OnExit());
    EXPECT_EQ(app.OnEvent(6, 0, 0), 1);
    EXPECT_EQ(app.OnEvent(0, 0, 0), 1);
    EXPECT_EQ(app.OnEvent(1, 0, 0), 1);
    // Unknown codes: 0, and nothing called.
    for (int code : {7, 20, 34, 36, 1000, -1})
        EXPECT_EQ(app.OnEvent(code, 1, 1), 0) << code;
}

TEST(Dispatcher, SystemNotificationsTakeOrGiveFocus)
{
    testing::StrictMock<MockApp> app;
    for (int a : {3, 4, 5, 6, 7, 9, 10, 12}) {
        EXPECT_CALL(app, OnFocus(0));
        EXPECT_EQ(app.OnEvent(35, a, 0), 1) << a;
    }
    for (int a : {0, 1, 2, 8, 11}) {
        EXPECT_CALL(app, OnFocus(1));
        EXPECT_EQ(app.OnEvent(35, a, 0), 1) << a;
    }
    // Out of the table: nothing, still handled.
    EXPECT_EQ(app.OnEvent(35, 13, 0), 1);
    EXPECT_EQ(app.OnEvent(35, 14, 0), 1);
    EXPECT_EQ(app.OnEvent(35, -1, 0), 1);
}

TEST(Dispatcher, ExitPauseResumeDriveTheRunState)
{
    testing::NiceMock<MockApp> app;
    CountingManager sysman;
    app.SetSystemManager(&sysman);

    app.Pause();
    EXPECT_EQ(sysman.m_runState, PRUN_PAUSED);
    app.Resume();
    EXPECT_EQ(sysman.m_runState, PRUN_RUNNING);
    EXPECT_EQ(sysman.resumes, 1);
    app.Resume(); // while running: no OnResume
    EXPECT_EQ(sysman.resumes, 1);

    // OnClose defaults to Exit(0).
    app.OnEvent(5, 0, 0);
    EXPECT_EQ(sysman.m_runState, PRUN_EXIT);
    EXPECT_EQ(sysman.exits, 1);
    app.Exit(7);
    EXPECT_EQ(sysman.m_exitCode, 7);
    app.Pause(); // 2 stays 2
    EXPECT_EQ(sysman.m_runState, PRUN_EXIT);
    app.Resume();
    EXPECT_EQ(sysman.m_runState, PRUN_EXIT);
    EXPECT_EQ(sysman.resumes, 1);
    app.SetSystemManager(nullptr);
}

TEST(Dispatcher, KeyTablesAreBoundedAndSearchedFromTheStart)
{
    PGameDispatcher::SetKeyMapping(40, 0x1234);
    PGameDispatcher::SetKeyMapping(30, 0x1234);
    EXPECT_EQ(PGameDispatcher::GetScanCode(0x1234), 30);
    EXPECT_EQ(PGameDispatcher::GetScanCode(0x4321), -1);
    PGameDispatcher::SetKeyMapping(30, 0);
    PGameDispatcher::SetKeyMapping(40, 0);

    PGameDispatcher::SetKeyMapping(511, 9);
    EXPECT_EQ(PGameDispatcher::GetKeyMapping(511), 9);
    PGameDispatcher::SetKeyMapping(512, 9); // ignored
    PGameDispatcher::SetKeyMapping(-1, 9);  // ignored
    EXPECT_EQ(PGameDispatcher::GetKeyMapping(512), -1);
    EXPECT_EQ(PGameDispatcher::GetKeyMapping(-1), -1);

    PGameDispatcher::SetKeyMask(5, 0xABCD);
    EXPECT_EQ(PGameDispatcher::GetKeyMask(5), 0xABCDu);
    EXPECT_EQ(PGameDispatcher::GetKeyMask(512), 0u);
    PGameDispatcher::SetKeyMask(5, 0);
}
