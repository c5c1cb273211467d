// The multiplayer menus: every screen change by scripted touches and the back
// key, the texts of failures, the text editor's modes, the standings and the
// modal message box.
#include "tests/game/multiplayer/menus_fixture.h"

#include <cstring>
#include <functional>

#include "game/frontend/textinput.h"
#include "game/multiplayer/ipinput.h"
#include "game/world/levelsmanager.h"

namespace menutest {
namespace {

// Two players host and join on the local network, visit the settings, start
// a match, see the standings and leave the menus by back.
TEST_F(Menus, LocalRoomToMatchAndBackOut)
{
    Player& a = Add("ACE");
    Player& b = Add("BEE");
    HostLocal(a);
    EXPECT_EQ(hub.roomName, "ACE #202");
    EXPECT_EQ(a.k.gameRoomBackTarget, KrvMp::MENU_LOCAL);
    JoinLocal(b);
    EXPECT_EQ(b.k.gameRoomBackTarget, KrvMp::MENU_ROOMS_LIST);
    ASSERT_TRUE(
        Until([&] { return a.k.menus[6].list->GetCount() == 2 && b.k.menus[6].list->GetCount() == 2; }));
    auto* own = static_cast<KrvMpButtonExt*>(b.k.menus[6].list->GetLine(1));
    EXPECT_EQ(own->m_background, KrvMp::kOwnLineColour);
    EXPECT_EQ(static_cast<KrvMpButtonExt*>(b.k.menus[6].list->GetLine(0))->m_background, 0u);
    EXPECT_EQ(Text(a.k.menus[6].labels[0]), L"#382 10.0.0.10:1024"); // the host's own address

    // The client cannot start; the host's settings: busy while it edits,
    // the map it picks reaches the client's preview.
    Taps(b, {{6, 0}});
    Run(200);
    EXPECT_TRUE(b.results.empty());
    Taps(a, {{6, 1}});
    ASSERT_TRUE(Until([&] { return a.k.GetState() == KrvMp::MENU_GAME_SETTINGS; }));
    ASSERT_TRUE(Until([&] { return b.k.players[0].busy == 1; }));
    Taps(a, {{6, 0}}); // start is not offered while a player is busy
    KrvMpSwapper* map = a.k.menus[7].swappers[1];
    Tap(a, map->m_right);
    Tap(a, map->m_right);
    EXPECT_EQ(a.k.map, 2);
    Back(a);
    ASSERT_TRUE(Until([&] { return a.k.GetState() == KrvMp::MENU_GAME_ROOM; }));
    ASSERT_TRUE(Until([&] { return Text(b.k.menus[6].labels[4]) == L"3"; }));
    EXPECT_EQ(Text(b.k.menus[6].labels[5]), L"#143");
    EXPECT_EQ(Text(b.k.menus[6].labels[6]), L"5");

    // The client's room settings are locked to the host's.
    Taps(b, {{6, 1}});
    ASSERT_TRUE(Until([&] { return b.k.GetState() == KrvMp::MENU_GAME_SETTINGS; }));
    KrvMpSwapper* bmap = b.k.menus[7].swappers[1];
    Tap(b, bmap->m_left);
    EXPECT_EQ(bmap->GetIndex(), 2);
    EXPECT_EQ(b.k.map, 2);
    Back(b);
    ASSERT_TRUE(Until([&] { return b.k.GetState() == KrvMp::MENU_GAME_ROOM; }));
    ASSERT_TRUE(Until([&] { return a.k.MP_IsAllReady() != 0; }));

    Taps(a, {{6, 0}});
    ASSERT_TRUE(Until([&] { return a.playing && b.playing; }));
    EXPECT_EQ(a.results[0], 1);
    EXPECT_EQ(b.results[0], 1);
    LevelsGroup group(nullptr, nullptr);
    a.k.SetDataToLevelGroup(&group);
    EXPECT_EQ(group.map, 2);

    // After the match: standings, then back to the room and out.
    for (Player* p : {&a, &b}) {
        p->k.players[0].kills = 2, p->k.players[1].kills = 5;
        p->k.MP_EndGame();
        p->k.Touchscreen_Reset();
        p->k.GoToState(KrvMp::MENU_FINAL_STANDINGS);
        p->playing = false;
    }
    EXPECT_EQ(Text(a.k.menus[9].standings[4]), L"BEE");
    EXPECT_EQ(a.k.standingsHighlight, 1);
    EXPECT_EQ(b.k.standingsHighlight, 0);
    Back(a), Back(b);
    EXPECT_EQ(a.k.GetState(), KrvMp::MENU_GAME_ROOM);
    Back(b);
    EXPECT_EQ(b.k.GetState(), KrvMp::MENU_ROOMS_LIST);
    Back(b);
    EXPECT_EQ(b.k.GetState(), KrvMp::MENU_LOCAL);
    Back(a);
    EXPECT_EQ(a.k.GetState(), KrvMp::MENU_LOCAL);
    Back(a);
    EXPECT_EQ(a.k.GetState(), KrvMp::MENU_LOCAL_INTERNET);
    EXPECT_FALSE(a.k.mp);
    a.results.clear();
    Back(a);
    EXPECT_EQ(a.results, std::vector<int> {-1});
}

// Lobby servers, filters, favourites, a room on the internet, joining a lobby
// by address and a user name already in use.
TEST_F(Menus, InternetScreens)
{
    Player& a = Add("ACE");
    Taps(a, {{1, 1}});
    ASSERT_EQ(a.k.GetState(), KrvMp::MENU_INTERNET);
    ASSERT_TRUE(Until([&] { return a.k.menus[3].list->GetCount() == 2; }));
    EXPECT_EQ(std::wstring(a.k.menus[3].list->GetLine(1)->m_caption.GetText()), L"BRAVO (4)");

    // Favourites view: empty, removal mode and back out of it.
    Taps(a, {{3, 4}});
    ASSERT_EQ(a.k.GetState(), KrvMp::MENU_FILTERS);
    Taps(a, {{4, 2}});
    ASSERT_EQ(a.k.GetState(), KrvMp::MENU_INTERNET);
    EXPECT_EQ(a.k.favView, 1);
    EXPECT_EQ(a.k.menus[3].list->GetCount(), 0);
    Taps(a, {{3, 1}});
    EXPECT_EQ(Text(a.k.menus[3].labels[0]), L"#295");
    Back(a);
    EXPECT_EQ(a.k.GetState(), KrvMp::MENU_INTERNET);
    EXPECT_EQ(Text(a.k.menus[3].labels[0]), L"#290");

    // A name filter through the editor, then all servers again.
    Taps(a, {{3, 4}, {4, 3}});
    ASSERT_EQ(a.k.GetState(), KrvMp::MENU_TEXT_EDIT);
    a.k.menus[8].keyboard->GetActiveInput()->SetText("alp");
    Taps(a, {{8, 0}});
    EXPECT_EQ(a.k.GetState(), KrvMp::MENU_INTERNET);
    EXPECT_EQ(Text(a.k.menus[3].labels[0]), L"#291");
    Taps(a, {{3, 4}, {4, 0}});
    EXPECT_EQ(a.k.favView, 0);
    ASSERT_TRUE(Until([&] { return a.k.menus[3].list->GetCount() == 2; }));

    // Join ALPHA, make it a favourite, host a room and come back.
    TapLine(a, 3, 0);
    ASSERT_TRUE(Until([&] { return a.k.GetState() == KrvMp::MENU_ROOMS_LIST; }));
    EXPECT_EQ(Text(&a.k.menus[5].title), L"ALPHA");
    EXPECT_EQ(Text(a.k.menus[5].labels[1]), L"IP: 10.1.0.1:4000");
    EXPECT_EQ(Text(&Button(a, 5, 1)->m_caption), L"#294");
    Taps(a, {{5, 1}});
    EXPECT_EQ(Box(a.k), L"#298");
    Answer(a, KrvMpMsgBox::BUTTON_YES);
    ASSERT_EQ(settings.favCount, 1);
    EXPECT_STREQ(settings.favourites[0].address, "10.1.0.1:4000");
    EXPECT_EQ(Text(&Button(a, 5, 1)->m_caption), L"#295");
    Taps(a, {{5, 0}});
    ASSERT_TRUE(Until([&] { return a.k.GetState() == KrvMp::MENU_GAME_ROOM; }));
    Back(a);
    EXPECT_EQ(a.k.GetState(), KrvMp::MENU_ROOMS_LIST);
    Back(a);
    EXPECT_EQ(a.k.GetState(), KrvMp::MENU_INTERNET);

    // A lobby typed by address: joined, remembered.
    Taps(a, {{3, 3}});
    ASSERT_EQ(a.k.GetState(), KrvMp::MENU_TEXT_EDIT);
    a.k.menus[8].keyboard->GetActiveInput()->SetText("10.2.0.7:6000");
    Taps(a, {{8, 0}});
    ASSERT_TRUE(Until([&] { return a.k.GetState() == KrvMp::MENU_ROOMS_LIST; }));
    EXPECT_EQ(Lobby::joinedAddress, "10.2.0.7:6000");
    EXPECT_STREQ(settings.lastAddress, "10.2.0.7:6000");

    // The lobby turns the name down: the box offers the editor, the new
    // name is used for the next join.
    Back(a);
    Lobby::nameTaken = true;
    ASSERT_TRUE(Until([&] { return a.k.menus[3].list->GetCount() == 2; }));
    TapLine(a, 3, 1);
    ASSERT_TRUE(Until([&] { return !Box(a.k).empty(); }));
    EXPECT_EQ(Box(a.k), L"#303|ACE|#304");
    Lobby::nameTaken = false;
    Answer(a, KrvMpMsgBox::BUTTON_YES);
    ASSERT_EQ(a.k.GetState(), KrvMp::MENU_TEXT_EDIT);
    EXPECT_STREQ(a.k.menus[8].keyboard->GetActiveInput()->GetString(), "ACE");
    a.k.menus[8].keyboard->GetActiveInput()->SetText("ace2");
    Taps(a, {{8, 0}});
    EXPECT_STREQ(a.k.userName, "ace2");
    ASSERT_TRUE(Until([&] { return a.k.GetState() == KrvMp::MENU_ROOMS_LIST; }));

    // Back from the filters, then out of the internet side.
    Back(a);
    Taps(a, {{3, 4}});
    Back(a);
    EXPECT_EQ(a.k.GetState(), KrvMp::MENU_INTERNET);
    Back(a);
    EXPECT_EQ(a.k.GetState(), KrvMp::MENU_LOCAL_INTERNET);
    EXPECT_FALSE(a.k.mp);
}

// Every failure text, and the screen the player is left on.
TEST_F(Menus, FailureTexts)
{
    struct Case {
        const char* what;
        Net net;
        std::function<void(Menus&, Player&)> act;
        const wchar_t* text;
        int screen;
    };
    const Case cases[] = {
        {"internet without back end", Net::None,
            [](Menus& t, Player& p) {
                t.Taps(p, {{1, 1}});
            },
            L"#301", KrvMp::MENU_LOCAL_INTERNET},
        {"local without back end", Net::None,
            [](Menus& t, Player& p) {
                t.Taps(p, {{1, 0}, {2, 0}});
            },
            L"#301", KrvMp::MENU_LOCAL},
        {"internet on loop-back", Net::Loopback,
            [](Menus& t, Player& p) {
                t.Taps(p, {{1, 1}});
            },
            L"#383", KrvMp::MENU_LOCAL_INTERNET},
        {"local on loop-back", Net::Loopback,
            [](Menus& t, Player& p) {
                t.Taps(p, {{1, 0}, {2, 1}});
            },
            L"#383", KrvMp::MENU_LOCAL},
        {"room taken", Net::Normal,
            [](Menus& t, Player& p) {
                t.hub.open = true; // another host holds the only room
                t.Taps(p, {{1, 0}, {2, 0}});
            },
            L"#223", KrvMp::MENU_LOCAL},
        {"favourite without port", Net::Normal,
            [](Menus& t, Player& p) {
                t.settings.AddToFav("NOPORT", "10.9.9.9");
                t.Taps(p, {{1, 1}, {3, 4}, {4, 2}});
                t.Step();
                t.TapLine(p, 3, 0);
            },
            L"#220", KrvMp::MENU_INTERNET},
        {"own address as lobby", Net::Normal,
            [](Menus& t, Player& p) {
                t.Taps(p, {{1, 1}, {3, 3}});
                char own[32] = {};
                p.k.MP_GetMyIP(own);
                p.k.menus[8].keyboard->GetActiveInput()->SetText(own);
                t.Taps(p, {{8, 0}});
            },
            L"#220", KrvMp::MENU_INTERNET},
        {"own address as room", Net::Normal,
            [](Menus& t, Player& p) {
                t.Taps(p, {{1, 0}, {2, 1}, {5, 0}});
                char own[32] = {};
                p.k.MP_GetMyIP(own);
                p.k.menus[8].keyboard->GetActiveInput()->SetText(own);
                t.Taps(p, {{8, 0}});
            },
            L"#222", KrvMp::MENU_ROOMS_LIST},
        {"room gone before the join", Net::Normal,
            [](Menus& t, Player& p) {
                t.hub.open = true, t.hub.roomName = "GONE";
                t.Taps(p, {{1, 0}, {2, 1}});
                ASSERT_TRUE(t.Until([&] { return p.k.menus[5].list->GetCount() == 1; }));
                t.hub.open = false;
                t.TapLine(p, 5, 0);
            },
            L"#222", KrvMp::MENU_ROOMS_LIST},
        {"join refused before a link was up", Net::Normal,
            [](Menus& t, Player& p) {
                t.hub.open = true, t.hub.roomName = "FULL";
                t.Taps(p, {{1, 0}, {2, 1}});
                ASSERT_TRUE(t.Until([&] { return p.k.menus[5].list->GetCount() == 1; }));
                t.TapLine(p, 5, 0);
                static_cast<rig::Member*>(p.k.mp->backEnd.get())->script = {EventList::kRejected};
                t.Run(100);
                EXPECT_EQ(p.k.state, KrvMpConn::kListingRooms); // and the search goes on
            },
            L"#222", KrvMp::MENU_ROOMS_LIST},
        {"turned away by a full room", Net::Normal,
            [](Menus& t, Player& p) {
                t.hub.open = true, t.hub.roomName = "FULL";
                t.Taps(p, {{1, 0}, {2, 1}});
                ASSERT_TRUE(t.Until([&] { return p.k.menus[5].list->GetCount() == 1; }));
                t.TapLine(p, 5, 0);
                static_cast<rig::Member*>(p.k.mp->backEnd.get())->script = {EventList::kRoomActionRejected};
                t.Run(100);
            },
            L"#221", KrvMp::MENU_ROOMS_LIST},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        NetMode() = c.net;
        hub.open = false;
        settings.ServerDataRelease();
        Player& p = Add("ACE");
        c.act(*this, p);
        EXPECT_EQ(Box(p.k), c.text);
        EXPECT_EQ(p.k.GetState(), c.screen);
        players.clear();
    }
}

// A link lost in the room: back to the first screen, the back end dropped,
// the text shown.
TEST_F(Menus, LinkLostReturnsToFirstScreen)
{
    Player& a = Add("ACE");
    Player& b = Add("BEE");
    HostLocal(a);
    JoinLocal(b);
    hub.Cut(0);
    ASSERT_TRUE(Until([&] { return b.k.GetState() == KrvMp::MENU_LOCAL_INTERNET; }));
    EXPECT_FALSE(b.k.mp);
    EXPECT_EQ(Box(b.k), L"#379");
}

// A guest in its settings delays the host's start while a player may need
// them (the start wait), not for ever: past the limit the Start goes ahead
// by itself without it, and the guest, still in its settings, is told that
// the match started without it.
TEST_F(Menus, AGuestInItsSettingsDelaysTheStartAMinuteAtMost)
{
    Player& a = Add("ACE");
    Player& b = Add("BEE");
    Player& c = Add("CAT");
    HostLocal(a);
    JoinLocal(b);
    JoinLocal(c);
    ASSERT_TRUE(Until([&] { return a.k.playerCount == 3 && b.k.playerCount == 3; }));
    Taps(b, {{6, 1}});
    ASSERT_TRUE(Until([&] { return b.k.GetState() == KrvMp::MENU_GAME_SETTINGS && a.k.players[1].busy == 1; }));
    Run(30000);
    Taps(a, {{6, 0}});
    Run(500);
    EXPECT_FALSE(a.playing) << "half a minute in the settings delays the start";
    EXPECT_FALSE(a.k.MP_IsAllReady()) << "the start wait began with the Start, not with the settings";
    // The start wait over, the Start goes ahead by itself with the ready
    // guest.
    ASSERT_TRUE(Until([&] { return a.playing && c.playing; }, int(KrvMpConn::kStartWaitLimit) + 1000));
    ASSERT_TRUE(Until([&] { return Box(b.k) == L"#225"; }));
    EXPECT_EQ(b.k.GetState(), KrvMp::MENU_GAME_SETTINGS);
    EXPECT_FALSE(b.playing);
}

// The only guest in its settings past the start wait: the host's Start is
// no match; the host stays in its room, told why, and the guest in its
// settings, told nothing.
TEST_F(Menus, AStartNobodyElsePlaysKeepsTheHostInItsRoom)
{
    Player& a = Add("ACE");
    Player& b = Add("BEE");
    HostLocal(a);
    JoinLocal(b);
    ASSERT_TRUE(Until([&] { return a.k.playerCount == 2 && b.k.playerCount == 2; }));
    Taps(b, {{6, 1}});
    ASSERT_TRUE(Until([&] { return b.k.GetState() == KrvMp::MENU_GAME_SETTINGS && a.k.players[1].busy == 1; }));
    // The host's Start waits for the guest's claim; at the start wait's end
    // it goes ahead by itself and finds nobody else to play.
    Taps(a, {{6, 0}});
    ASSERT_TRUE(Until([&] { return Box(a.k) == L"#226"; }, int(KrvMpConn::kStartWaitLimit) + 1000));
    EXPECT_EQ(a.k.GetState(), KrvMp::MENU_GAME_ROOM);
    EXPECT_EQ(a.k.state, KrvMpConn::kInRoomAsHost);
    EXPECT_FALSE(a.playing);
    EXPECT_EQ(Box(b.k), L"");
    EXPECT_EQ(b.k.GetState(), KrvMp::MENU_GAME_SETTINGS);
    // The host's next Start waits for the guest, which comes back from its
    // settings 20 s later: both play, without a second tap.
    Answer(a, KrvMpMsgBox::BUTTON_OK);
    ASSERT_TRUE(Until([&] { return Box(a.k).empty(); }));
    Taps(a, {{6, 0}});
    Run(20000);
    EXPECT_FALSE(a.playing);
    Back(b);
    ASSERT_TRUE(Until([&] { return a.playing && b.playing; }));
}

// The standings stay as the match ended: the winner leaving the room takes
// no row from the host's, and the room closing leaves the guest's up until
// the guest leaves them, when the lost link is told.
TEST_F(Menus, StandingsOutliveTheRoom)
{
    Player& a = Add("ACE");
    Player& b = Add("BEE");
    Player& c = Add("CAT");
    HostLocal(a);
    JoinLocal(b);
    JoinLocal(c);
    ASSERT_TRUE(Until([&] { return a.k.MP_IsAllReady() && a.k.playerCount == 3 && c.k.playerCount == 3; }));
    Taps(a, {{6, 0}});
    ASSERT_TRUE(Until([&] { return a.playing && b.playing && c.playing; }));
    for (Player* p : {&a, &b, &c}) {
        p->k.players[1].kills = 5;
        p->k.MP_EndGame();
        p->k.Touchscreen_Reset();
        p->k.GoToState(KrvMp::MENU_FINAL_STANDINGS);
        p->playing = false;
    }
    b.k.MP_RoomLeave();  // the winner goes
    ASSERT_TRUE(Until([&] { return a.k.playerCount == 2; }));
    Run(200);
    EXPECT_EQ(Text(a.k.menus[9].standings[4]), L"BEE");
    EXPECT_EQ(Text(a.k.menus[9].standings[5]), L"5");
    EXPECT_EQ(Text(a.k.menus[9].standings[7]), L"ACE");

    hub.Cut(0);
    Run(200);
    EXPECT_EQ(c.k.GetState(), KrvMp::MENU_FINAL_STANDINGS);
    EXPECT_EQ(Box(c.k), L"");
    EXPECT_EQ(Text(c.k.menus[9].standings[4]), L"BEE");
    EXPECT_EQ(c.k.standingsHighlight, 2);
    Back(c);
    EXPECT_EQ(c.k.GetState(), KrvMp::MENU_LOCAL_INTERNET);
    EXPECT_EQ(Box(c.k), L"#379");
}

// The editor's four modes: keyboard, title, the join it leaves pending and
// where accept and back lead.
TEST_F(Menus, TextEditorModes)
{
    const struct {
        int mode;
        int keyboard;
        const wchar_t* title;
        uint8_t lobbyPending;
        int cancelTo;
    } modes[] = {
        {KrvMp::EDIT_USER_NAME, KrvMpTxtInput::KEYBOARD_QWERTY, L"#1", 1, KrvMp::MENU_INTERNET},
        {KrvMp::EDIT_NAME_FILTER, KrvMpTxtInput::KEYBOARD_QWERTY, L"#1", 0, KrvMp::MENU_FILTERS},
        {KrvMp::EDIT_LOBBY_ADDRESS, KrvMpTxtInput::KEYBOARD_NUMPAD, L"#381", 1, KrvMp::MENU_INTERNET},
        {KrvMp::EDIT_ROOM_ADDRESS, KrvMpTxtInput::KEYBOARD_NUMPAD, L"#381", 0, KrvMp::MENU_ROOMS_LIST},
    };
    Player& p = Add("ACE");
    Taps(p, {{1, 1}}); // on the lobby screen, the session up
    for (const auto& m : modes) {
        SCOPED_TRACE(m.mode);
        p.k.textEditMode = m.mode;
        p.k.GoToState(KrvMp::MENU_TEXT_EDIT);
        KrvMpTxtInput* kb = p.k.menus[8].keyboard;
        EXPECT_EQ(kb->m_mode, m.keyboard);
        EXPECT_EQ(Text(&p.k.menus[8].title), m.title);
        EXPECT_EQ(p.k.lobbyJoinPending, m.lobbyPending);
        // An empty text cannot be accepted.
        kb->GetActiveInput()->TextInput::SetText("");
        Taps(p, {{8, 0}});
        EXPECT_EQ(p.k.GetState(), KrvMp::MENU_TEXT_EDIT);
        EXPECT_EQ(Button(p, 8, 0)->m_hidden, 1);
        Back(p);
        EXPECT_EQ(p.k.GetState(), m.cancelTo);
        EXPECT_EQ(p.k.lobbyJoinPending, 0);
        EXPECT_EQ(p.k.directJoinPending, 0);
    }
    // An address without a colon keeps the host and port typed before.
    p.k.serverPort = 4321;
    std::strcpy(p.k.serverIp, "10.3.3.3");
    p.k.textEditMode = KrvMp::EDIT_LOBBY_ADDRESS;
    p.k.GoToState(KrvMp::MENU_TEXT_EDIT);
    p.k.menus[8].keyboard->m_addressInput->TextInput::SetText("10");
    p.k.MenuTextEdit_Accept();
    EXPECT_STREQ(p.k.serverIp, "10.3.3.3");
    EXPECT_EQ(p.k.serverPort, 4321);
    EXPECT_EQ(p.k.lobbyIndex, -1);
}

// Sorting by kills (stable for equal ones, the player who left last), at
// most four rows, the own row highlighted.
TEST_F(Menus, FinalStandings)
{
    Player& p = Add("ACE");
    const struct {
        std::vector<int> kills;
        std::vector<std::wstring> names, frags;
    } cases[] = {
        {{3, -1, 3, 7}, {L"P3", L"P0", L"P2", L"P1"}, {L"7", L"3", L"3", L"#377"}},
        {{0, -1}, {L"P0", L"P1", L"", L""}, {L"0", L"#377", L"", L""}},
    };
    for (const auto& c : cases) {
        p.k.ClearPlayersList();
        for (size_t i = 0; i < c.kills.size(); i++) {
            KrvMpConn::KrvPlayer pl {};
            pl.id = int(i) + 5;
            snprintf(pl.name, sizeof pl.name, "P%zu", i);
            pl.kills = c.kills[i];
            p.k.AddPlayerToList(&pl);
        }
        // Without a back end nobody is "me": the highlight needs an own id.
        p.k.FinalStandingsUpdate();
        EXPECT_EQ(p.k.standingsHighlight, -1);
        for (int r = 0; r < 4; r++) {
            EXPECT_EQ(Text(p.k.menus[9].standings[(r + 1) * 3 + 1]), c.names[size_t(r)]) << r;
            EXPECT_EQ(Text(p.k.menus[9].standings[(r + 1) * 3 + 2]), c.frags[size_t(r)]) << r;
        }
    }
    // With a session the own row is found wherever it sorts to.
    HostLocal(p);
    p.k.players[0].kills = 1;
    KrvMpConn::KrvPlayer other {};
    other.id = 9, other.kills = 4;
    p.k.AddPlayerToList(&other);
    p.k.GoToState(KrvMp::MENU_FINAL_STANDINGS);
    EXPECT_EQ(p.k.standingsHighlight, 1);
}

// While a box is up it takes every touch and the back key; the touch that
// closes it reaches nothing else; the back key counts again after it.
TEST_F(Menus, MessageBoxTakesAllTouches)
{
    Player& p = Add("ACE");
    p.k.MsgBoxShow_Info(301);
    Button(p, 1, 0)->SetRect(10, 10, 100, 44); // clear of the box
    Taps(p, {{1, 0}});
    EXPECT_EQ(p.k.GetState(), KrvMp::MENU_LOCAL_INTERNET);
    Tap(p, p.k.backButton);
    Back(p);
    EXPECT_TRUE(p.results.empty());
    EXPECT_EQ(Box(p.k), L"#301");
    // A failure shown while the finger is down on the screen: the end of
    // that touch, on the new box's OK, leaves the box up.
    KrvMpButton* ok = p.k.msgBox->m_buttons[0].first;
    const int okX = ok->m_rect.x + ok->m_rect.width / 2, okY = ok->m_rect.y + ok->m_rect.height / 2;
    p.k.TouchScreenEvent(okX, okY, 1);
    Step();
    p.k.MsgBoxShow_Info(302);
    ok = p.k.msgBox->m_buttons[0].first;
    Step();
    p.k.TouchScreenEvent(okX, okY, 0);
    Run(100);
    // The box must still be up: its OK button is used below.
    ASSERT_EQ(Box(p.k), L"#302");
    // The OK button over the network button: one tap closes the box only.
    Button(p, 1, 0)->m_rect = ok->m_rect;
    Answer(p, KrvMpMsgBox::BUTTON_OK);
    EXPECT_EQ(Box(p.k), L"");
    Run(100);
    EXPECT_EQ(p.k.GetState(), KrvMp::MENU_LOCAL_INTERNET);
    Back(p);
    EXPECT_EQ(p.results, std::vector<int> {-1});
}

// A second Init without Release starts clean (nothing leaks); a favourite
// line that outlived its record removes nothing; a long user name still
// makes a bounded room name.
TEST_F(Menus, MendedFaults)
{
    Player& p = Add("ACE");
    HostLocal(p);
    p.k.Init(W, H, &p.profile, nullptr, nullptr);
    EXPECT_EQ(p.k.GetState(), KrvMp::MENU_LOCAL_INTERNET);
    EXPECT_FALSE(p.k.mp);
    EXPECT_EQ(p.k.menus[6].list->GetCount(), 0);

    settings.AddToFav("ONE", "10.0.1.1:1"), settings.AddToFav("TWO", "10.0.1.2:2");
    Taps(p, {{1, 1}, {3, 4}, {4, 2}});
    Step();
    ASSERT_EQ(p.k.menus[3].list->GetCount(), 2);
    Taps(p, {{3, 1}});
    settings.RemoveFromFav(1); // the list still shows it
    TapLine(p, 3, 1);
    EXPECT_EQ(settings.favCount, 1);
    EXPECT_STREQ(settings.favourites[0].name, "ONE");
    EXPECT_EQ(Text(p.k.menus[3].labels[0]), L"#290");
    Back(p);

    Player& q = Add("");
    std::memset(q.k.userName, 'N', sizeof q.k.userName - 1);
    Taps(q, {{1, 0}, {2, 0}});
    EXPECT_EQ(hub.roomName, std::string(31, 'N'));
}

} // namespace
} // namespace menutest
