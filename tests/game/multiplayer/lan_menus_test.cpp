// The multiplayer menus on the local-network back end, the player's device in
// a network namespace of the test's (lan_netns.h), on the virtual clock: every
// way a join by typed address can fail before a host gives the id ends as a
// refused join on the rooms screen, with one log line that says why. The
// screens are drawn with the demo archive's art and texts; the frames are kept
// in mp_shots/ of the tests' build folder.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/runtime/ptime.h"
#include "game/frontend/textinput.h"
#include "game/multiplayer/ipinput.h"
#include "game/multiplayer/mpbackends.h"
#include "lan_netns.h"
#include "menus_fixture.h"

namespace {

using namespace menutest;

class LanMenus : public Menus {
protected:
    void SetUp() override
    {
#ifdef KRV_DEMO_ARCHIVE
        if (!std::filesystem::exists(KRV_DEMO_ARCHIVE))
            GTEST_SKIP() << "the demo archive is not built";
        Prepare(KRV_DEMO_ARCHIVE);
#else
        GTEST_SKIP() << "the demo archive is not built";
#endif
        std::filesystem::create_directories("mp_shots");
        lab = std::make_unique<NetLab>(2);
        if (!lab->Ok())
            GTEST_SKIP() << "local-network test skipped: " << lab->Why();
        InstallNetworkBackEnds();
        PSetVirtualClock(1);
    }
    void TearDown() override
    {
        players.clear();
        PSetVirtualClock(0);
        lab.reset();
        Menus::TearDown();
    }
    // Frames on both clocks until pred holds or limit ms pass. While a
    // connect is under way a frame waits up to 100 ms for it: long frames.
    template <class F> bool Frames(F pred, int limit, int frame = 250)
    {
        for (int t = 0; t < limit; t += frame) {
            if (pred())
                return true;
            PAdvanceVirtualClock(uint32_t(frame));
            hub.now += uint32_t(frame) - 25;
            Step();
        }
        return pred();
    }

    std::unique_ptr<NetLab> lab;
};

TEST_F(LanMenus, EveryJoinThatCannotReachItsRoomIsRefusedOnTheRoomsScreen)
{
    const std::string sealed = lab->Sealed("10.78.0.4");
    ASSERT_FALSE(sealed.empty());
    // Host 1 sends to 10.77.0.9 as to a known neighbour nobody is: silence.
    ASSERT_TRUE(NetLab::Run({"ip", "-n", lab->Host(1), "neigh", "add", "10.77.0.9", "lladdr", "02:00:00:00:00:09",
                             "dev", "eth0", "nud", "permanent"}));
    struct Case {
        const char* what;
        const char* shot;
        std::string where;
        const char* address;
        const char* because;  // in the log line
        int frame = 250;
    } const cases[] = {
        {"nothing listens", "join_refused", lab->Host(1), "10.77.0.2", "(connection refused); the join is refused"},
        {"nobody answers", "join_silent", lab->Host(1), "10.77.0.9", "no answer from the room within 5000 ms"},
        // The neighbour look-up gives up after about 3 s of real time,
        // before the join's limit on short frames.
        {"nobody has the address", "join_host_unreachable", lab->Host(1), "10.77.0.8", "(host unreachable); the join is refused", 25},
        {"no route", "join_no_route", sealed, "10.99.0.1", "(network unreachable); the join is refused"},
        {"not an address", "join_not_an_address", lab->Host(1), "HANGAR", "is not an address to join; the join is refused"},
        {"own address", "join_own_address", lab->Host(1), "10.77.0.1",
         "10.77.0.1 is this device's own address; the join is refused"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(lab->Enter(c.where));
        testing::internal::CaptureStdout();
        Player& p = Add("ACE");
        Taps(p, {{1, 0}, {2, 1}, {5, 0}});
        ASSERT_EQ(p.k.GetState(), KrvMp::MENU_TEXT_EDIT);
        p.k.menus[KrvMp::MENU_TEXT_EDIT].keyboard->GetActiveInput()->SetText(c.address);
        Taps(p, {{KrvMp::MENU_TEXT_EDIT, 0}});
        const bool shown = Frames([&] { return !Box(p.k).empty(); }, 8000, c.frame);
        Frames([] { return false; }, 1000);  // and nothing comes after it
        const std::string log = testing::internal::GetCapturedStdout();
        KeepFrame(p, std::string("mp_shots/") + c.shot + ".png");
        EXPECT_TRUE(shown);
        EXPECT_EQ(Box(p.k), fonts.GetStr(222));
        EXPECT_EQ(p.k.GetState(), KrvMp::MENU_ROOMS_LIST);
        EXPECT_EQ(p.k.state, KrvMpConn::kListingRooms) << "the search for rooms goes on";
        EXPECT_NE(log.find(c.because), std::string::npos) << log;
        EXPECT_EQ(log.find("error 0"), std::string::npos) << log;
        players.clear();
        lab->Leave();
    }
}

}  // namespace
