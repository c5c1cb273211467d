// The multiplayer menus drawn on Mesa with the demo archive's art, fonts,
// texts and aircraft, one frame per screen kept in mp_shots/ of the tests'
// build folder (or KRV_SAVE_FRAMES) for a person to look at.
#include <filesystem>

#include "game/frontend/textinput.h"
#include "tests/game/multiplayer/menus_fixture.h"

namespace menutest {
namespace {

#ifdef KRV_DEMO_ARCHIVE
class DemoMenus : public Menus {
public:
    void SetUp() override
    {
        if (!std::filesystem::exists(KRV_DEMO_ARCHIVE))
            GTEST_SKIP() << "the demo archive is not built";
        Prepare(KRV_DEMO_ARCHIVE);
        const char* dir = std::getenv("KRV_SAVE_FRAMES");
        out = dir ? dir : "mp_shots";
        std::filesystem::create_directories(out);
    }
    // Draws p's menus and keeps the frame as name.png.
    std::vector<uint8_t> Shot(Player& p, const char* name) { return KeepFrame(p, out + "/" + name + ".png"); }
    uint32_t At(const std::vector<uint8_t>& f, int x, int y) { return mesa.At(f, x, y); }

    std::string out;
};

TEST_F(DemoMenus, EveryScreen)
{
    Player& a = Add("LOCKHART", 200000);
    Player& b = Add("HERON");
    ASSERT_GT(a.k.planeNameCount, 0);
    ASSERT_TRUE(a.k.GetGfx(KrvMp::GFX_LOADING) && a.k.GetGfx(KrvMp::GFX_RANK0 + 4));
    auto first = Shot(a, "1_network");
    EXPECT_NE(At(first, 5, 5), 0u); // the war room behind everything

    Tap(a, a.k.menus[1].buttons[0]);
    Shot(a, "2_local");
    Tap(a, a.k.menus[2].buttons[0]);
    ASSERT_TRUE(Until([&] { return a.k.GetState() == KrvMp::MENU_GAME_ROOM; }));
    Tap(b, b.k.menus[1].buttons[0]);
    Tap(b, b.k.menus[2].buttons[1]);
    ASSERT_TRUE(Until([&] { return b.k.menus[5].list->GetCount() == 1; }));
    Shot(b, "5_rooms_local");
    Tap(b, b.k.menus[5].list->GetLine(0));
    ASSERT_TRUE(
        Until([&] { return a.k.menus[6].list->GetCount() == 2 && b.k.GetState() == KrvMp::MENU_GAME_ROOM; }));
    Tap(b, b.k.menus[6].buttons[1]);
    ASSERT_TRUE(Until([&] { return a.k.players[1].busy == 1; }));
    Step();
    Shot(a, "6_game_room");
    Shot(b, "7_settings_client");
    Tap(a, a.k.menus[6].buttons[1]);
    ASSERT_TRUE(Until([&] { return a.k.GetState() == KrvMp::MENU_GAME_SETTINGS; }));
    Tap(a, a.k.menus[7].swappers[0]->m_right);
    Tap(a, a.k.menus[7].swappers[2]->m_right);
    Shot(a, "7_settings_host");

    // Standings after a match.
    a.k.players[0].kills = 4, a.k.players[1].kills = 9;
    a.k.GoToState(KrvMp::MENU_FINAL_STANDINGS);
    auto standings = Shot(a, "9_standings");
    const int rh = (H - 128) / 5;
    EXPECT_NE(At(standings, 20, 64 + 2 * rh + 2), At(first, 20, 64 + 2 * rh + 2)); // own row lit

    // The internet side: lobby servers, filters, the editor on both pads.
    Player& c = Add("OSPREY");
    Tap(c, c.k.menus[1].buttons[1]);
    ASSERT_TRUE(Until([&] { return c.k.menus[3].list->GetCount() == 2; }));
    Shot(c, "3_lobbies");
    Tap(c, c.k.menus[3].buttons[4]);
    Shot(c, "4_filters");
    Tap(c, c.k.menus[4].buttons[3]);
    c.k.menus[8].keyboard->GetActiveInput()->SetText("alpha");
    Shot(c, "8_editor_name");
    c.k.MenuTextEdit_Cancel();
    ASSERT_EQ(c.k.GetState(), KrvMp::MENU_FILTERS);
    Tap(c, c.k.menus[4].buttons[0]);
    ASSERT_TRUE(Until([&] { return c.k.menus[3].list->GetCount() == 2; }));
    Tap(c, c.k.menus[3].buttons[3]);
    ASSERT_EQ(c.k.GetState(), KrvMp::MENU_TEXT_EDIT);
    c.k.menus[8].keyboard->GetActiveInput()->SetText("192.168.17.4:4100");
    hub.now |= 0x100; // the cursor's half of the blink
    Shot(c, "8_editor_address");
    c.k.MenuTextEdit_Cancel();
    c.k.state = KrvMpConn::kLobbyLoginRequested; // a join under way: the spinner
    c.k.loading = 1;
    c.k.LoadingUpdateAndDraw(1);
    c.k.MsgBoxShow_Info(220);
    auto box = Shot(c, "3_lobbies_box_spinner");
    EXPECT_NE(At(box, W / 2, H / 2), At(first, W / 2, H / 2));

    // A room that turns the join away: its text over the rooms list.
    Player& d = Add("CURLEW");
    Tap(d, d.k.menus[1].buttons[0]);
    Tap(d, d.k.menus[2].buttons[1]);
    ASSERT_TRUE(Until([&] { return d.k.menus[5].list->GetCount() == 1; }));
    Tap(d, d.k.menus[5].list->GetLine(0));
    static_cast<rig::Member*>(d.k.mp->backEnd.get())->script = {EventList::kRoomActionRejected};
    Step();
    ASSERT_EQ(d.k.GetState(), KrvMp::MENU_ROOMS_LIST);
    Shot(d, "5_rooms_full_box");
}
#endif

} // namespace
} // namespace menutest
