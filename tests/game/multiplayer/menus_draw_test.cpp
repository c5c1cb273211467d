// The multiplayer menus drawn on Mesa with the demo archive's art, fonts,
// texts and aircraft, one frame per screen kept in mp_shots/ of the tests'
// build folder (or KRV_SAVE_FRAMES) for a person to look at.
#include <cstdio>
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

    // The host's start that nobody else could play: its line over the room.
    a.k.GoToState(KrvMp::MENU_GAME_ROOM);
    a.k.MsgBoxShow_Info(KrvMpConn::ErrorCodeToMsg(a.k.fonts, KrvMpConn::kErrNobodyElse));
    Shot(a, "6_game_room_nobody_else_box");
}

// On the small screen the host's own address under the player list takes two
// lines, in both languages. They go down from under the list: the list and
// its frame look the same with the label as without it, and the label is
// drawn below them, above the screen's bottom.
TEST_F(DemoMenus, HostAddressWrapsBelowThePlayerListOnTheSmallScreen)
{
    const int w = 480, h = 320;
    for (int lang : {0, 1}) {
        SCOPED_TRACE(lang ? "German" : "English");
        ASSERT_EQ(fonts.LoadLanguage(lang), 1);
        Player& a = Add(lang ? "HERON" : "LOCKHART");
        a.k.Init(w, h, &a.profile, nullptr, nullptr);
        HostLocal(a);
        ASSERT_TRUE(Until([&] { return a.k.menus[KrvMp::MENU_GAME_ROOM].list->GetCount() == 1; }));
        Run(500); // the spinner of the room's making gone
        KrvMp::MenuStruct& room = a.k.menus[KrvMp::MENU_GAME_ROOM];
        const std::wstring head = fonts.GetStr(382);
        KrvMpLabel* address = nullptr;
        for (KrvMpLabel* l : room.labels)
            if (l && !head.empty() && std::wstring(l->GetText()).rfind(head, 0) == 0)
                address = l;
        ASSERT_TRUE(address);
        const PRect list = room.list->m_rect;
        EXPECT_GT(address->GetHeight(0, list.width), fonts.Height(0)) << "the address fits one line";

        auto with = Shot(a, lang ? "6_game_room_480x320_de" : "6_game_room_480x320_en");
        const std::wstring text = address->GetText();
        address->Reset();
        glClear(GL_COLOR_BUFFER_BIT);
        a.k.Render(hub.now);
        auto without = mesa.Read();
        address->SetText(text.c_str());
        int first = h, last = -1;
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++)
                if (At(with, x, y) != At(without, x, y))
                    first = std::min(first, y), last = std::max(last, y);
        EXPECT_GE(first, list.y + list.height + 2) << "the address is drawn over the list or its frame";
        EXPECT_GT(last, first + fonts.Height(0)) << "the address is not drawn on two lines";
        EXPECT_LT(last, h);
        players.clear();
    }
}

// Names of characters the fonts lack, a peer's bytes that are not UTF-8 and
// euro signs, show one stand-in glyph a character in the rooms list and in
// the game room's player list, never an empty row.
TEST_F(DemoMenus, NamesTheFontsLackShowStandIns)
{
    Player& a = Add("A");
    Player& b = Add("B");
    std::snprintf(a.k.userName, sizeof a.k.userName, "%s", "\xff\xfe\xfd\xfc");
    std::snprintf(b.k.userName, sizeof b.k.userName, "%s", "\xe2\x82\xac\xe2\x82\xac\xe2\x82\xac");
    HostLocal(a);
    Taps(b, {{1, 0}, {2, 1}});
    ASSERT_TRUE(Until([&] { return b.k.menus[5].list->GetCount() == 1; }));
    Shot(b, "5_rooms_stand_ins");
    TapLine(b, 5, 0);
    ASSERT_TRUE(Until([&] { return a.k.menus[6].list->GetCount() == 2; }));
    Step();
    auto room = Shot(a, "6_game_room_stand_ins");
    // Each name's row holds glyph pixels where its text lies.
    for (int i = 0; i < 2; i++) {
        const KrvMpButton* line = a.k.menus[6].list->GetLine(i);
        ASSERT_TRUE(line);
        int white = 0;
        for (int y = line->m_rect.y; y < line->m_rect.y + line->m_rect.height; y++)
            for (int x = line->m_rect.x; x < line->m_rect.x + line->m_rect.width; x++)
                white += At(room, x, y) == 0xFFFFFF;
        EXPECT_GT(white, 30) << "row " << i;
    }
}
#endif

} // namespace
} // namespace menutest
