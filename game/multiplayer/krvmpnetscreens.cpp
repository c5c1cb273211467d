// The network and room screens of the multiplayer menus: the choice of
// network, the local network, the lobby servers, their filters and the room
// list of either network.
#include <cstdio>
#include <cstring>
#include <new>

#include "engine/runtime/palloc.h"
#include "game/frontend/fonts.h"
#include "game/frontend/profile.h"
#include "game/frontend/settings.h"
#include "game/multiplayer/krvmp.h"

namespace {

enum : int {
    kTextInitFailed = 301,
    kTextLoopback = 383,
    kTextLobbyJoinFailed = 220,
    kTextRoomCreateFailed = 223,
    kTextRoomJoinFailed = 222,
    kTextRoomSuffix = 202,
    kTextLocalTitle = 282,
    kTextFilterAll = 288,
    kTextFilterNearest = 289,
    kTextFilterFavourites = 290,
    kTextFilterName = 291,
    kTextFilterPlayers = 292,
    kTextRemoveFavourite = 295,
    kTextAddFavourite = 294,
    kTextRefresh = 284,
    kTextAskRemove = 299,
    kTextAskAdd = 298,
    kTextJoinRoom = 192,
    kTextAddress = 285,
};

} // namespace

void KrvMp::FillUserName()
{
    if (!profile || userName[0])
        return;
    const char* nick = profile->GetNick(Profile::kSinglePlayer).c_str();
    std::snprintf(userName, sizeof userName, "%s", nick ? nick : "");
}

void KrvMp::BuildRoomName(char* out, int size)
{
    char suffix[kRoomNameSize] = {};
    Fonts::WideToUtf8(suffix, int(sizeof suffix), fonts ? fonts->GetStr(kTextRoomSuffix) : nullptr);
    // Bounded: a long user name and text are cut, never overrun the buffer.
    std::snprintf(out, size_t(size), "%s %s", userName, suffix);
}

// ---------------------------------------------------------------- screen 1

void KrvMp::Update_MenuLocalInternet()
{
    MenuStruct& m = menus[MENU_LOCAL_INTERNET];
    const int chosen = ChosenButton(m.buttons, 2);
    if (chosen == 0) {
        Touchscreen_Reset();
        PlayClick();
        GoToState(MENU_LOCAL);
        return;
    }
    if (chosen != 1)
        return;
    Touchscreen_Reset();
    PlayClick();
    MP_SetType(Multiplayer::kNetInternet);
    FillUserName();
    if (!MP_Init(userName)) {
        MsgBoxShow_Info(kTextInitFailed);
        return;
    }
    if (!MP_IsNetworkAvail()) {
        MsgBoxShow_Info(kTextLoopback);
        MP_Release();
        return;
    }
    if (!MP_GetLobbys_Begin()) {
        MsgBoxShow_Info(kTextInitFailed);
        return;
    }
    GoToState(MENU_INTERNET);
}

void KrvMp::Render_MenuLocalInternet()
{
    MenuStruct& m = menus[MENU_LOCAL_INTERNET];
    if (m.buttons[0] && m.buttons[1])
        m.buttons[0]->Render(p3d), m.buttons[1]->Render(p3d);
    PrintTitle(&m);
}

// ---------------------------------------------------------------- screen 2

void KrvMp::Update_MenuLocal()
{
    if (mp && mp->IsConnected()) {
        if (state == kRoomCreateRequested)
            return;
        if (state == kRoomCreateFailed) {
            MsgBoxShow_Info(kTextRoomCreateFailed);
            MP_Release();
        } else if (state == kInRoomAsHost) {
            GoToState(MENU_GAME_ROOM);
            return;
        }
    }
    MenuStruct& m = menus[MENU_LOCAL];
    const int chosen = ChosenButton(m.buttons, 2);
    if (chosen < 0)
        return;
    Touchscreen_Reset();
    PlayClick();
    FillUserName();
    MP_SetType(Multiplayer::kNetLocal);
    if (!MP_Init(userName)) {
        MsgBoxShow_Info(kTextInitFailed);
        return;
    }
    if (!MP_IsNetworkAvail()) {
        MsgBoxShow_Info(kTextLoopback);
        MP_Release();
        return;
    }
    if (chosen == 1) {
        GoToState(MENU_ROOMS_LIST);
        return;
    }
    char room[kRoomNameSize];
    BuildRoomName(room, int(sizeof room));
    if (MP_RoomCreate_Begin(room)) {
        gameRoomBackTarget = MENU_LOCAL;
    } else {
        MsgBoxShow_Info(kTextRoomCreateFailed);
        MP_Release();
    }
}

void KrvMp::Render_MenuLocal()
{
    MenuStruct& m = menus[MENU_LOCAL];
    if (m.buttons[0] && m.buttons[1])
        m.buttons[0]->Render(p3d), m.buttons[1]->Render(p3d);
    PrintTitle(&m);
}

// ---------------------------------------------------------------- screen 3

void KrvMp::MenuInternet_SetStatus(int textId)
{
    if (KrvMpLabel* l = menus[MENU_INTERNET].labels[0])
        l->SetText(textId);
}

void KrvMp::Update_MenuInternet()
{
    MenuStruct& m = menus[MENU_INTERNET];
    if (state == kLobbyLoggedIn) {
        state = kIdle;
        GoToState(MENU_ROOMS_LIST);
        return;
    }
    if (state == kLobbyLoginFailed)
        state = kIdle;
    else if (state == kLobbyLoginRequested)
        return;

    // Buttons: slot 1 (by view), address, filters.
    int chosen = -1;
    if (favRemoval) {
        if (m.buttons[B_DONE] && m.buttons[B_DONE]->Touchscreen_Update(touchX, touchY, pen, penWas))
            chosen = B_DONE;
    } else {
        KrvMpButton* row[3]
            = {m.buttons[favView ? B_REMOVE : B_REFRESH], m.buttons[B_ADDRESS], m.buttons[B_FILTERS]};
        const int c = ChosenButton(row, 3);
        chosen = c == 0 ? (favView ? B_REMOVE : B_REFRESH) : c == 1 ? B_ADDRESS : c == 2 ? B_FILTERS : -1;
    }
    if (chosen >= 0) {
        Touchscreen_ReleasePen();
        PlayClick();
    }

    // List content.
    if (favView) {
        if (m.list && m.list->GetCount() == 0 && settings && settings->favCount > 0) {
            char** names = nullptr;
            const int n = settings->GetFavList(names);
            FillList(m.list, names, n);
            PFree(names);
        }
    } else {
        char** rows = nullptr;
        int count = 0;
        if (MP_GetLobbys_Update(rows, count)) {
            FillList(m.list, rows, count);
            FreeTexts(rows, count);
        }
    }

    // The choice.
    if (chosen == B_ADDRESS) {
        textEditMode = EDIT_LOBBY_ADDRESS;
        GoToState(MENU_TEXT_EDIT);
        Touchscreen_Reset();
        return;
    }
    if (chosen == B_FILTERS) {
        GoToState(MENU_FILTERS);
    } else if (chosen == B_DONE) {
        favRemoval = 0;
        MenuInternet_SetStatus(kTextFilterFavourites);
    } else if (chosen == B_REMOVE) {
        favRemoval = 1;
        MenuInternet_SetStatus(kTextRemoveFavourite);
    } else if (chosen == B_REFRESH && state != kLobbyListRequested) {
        MP_LobbyLeave();
        MP_GetLobbys_Begin();
    }

    // The list.
    const int r = m.list ? m.list->TouchscreenUpdate(touchX, touchY, pen, penWas) : KrvMpList::kNothing;
    if (r == KrvMpList::kDragEnded)
        Touchscreen_Reset();
    if (r >= 0) {
        Touchscreen_Reset();
        PlayClick();
        if (favRemoval) {
            // A line that no longer names a favourite removes nothing.
            if (settings && r < settings->favCount)
                settings->RemoveFromFav(r);
            favRemoval = 0;
            MenuInternet_SetStatus(kTextFilterFavourites);
            FillList(m.list, nullptr, 0);
            return;
        }
        if (favView) {
            char host[Settings::kAddressSize] = {};
            int port = 0;
            if (!settings || !settings->GetFavAddr(r, host, port) || !MP_LobbyJoin_Begin(-1, host, port)) {
                MsgBoxShow_Info(kTextLobbyJoinFailed);
                state = kIdle;
            }
            return;
        }
        if (!MP_LobbyJoin_Begin(r, nullptr, 0)) {
            MsgBoxShow_Info(kTextLobbyJoinFailed);
            state = kIdle;
        }
        return;
    }

    // A join the text editor asked for.
    if (lobbyJoinPending) {
        lobbyJoinPending = 0;
        const int ok = lobbyIndex == -1 ? MP_LobbyJoin_Begin(-1, serverIp, serverPort)
                                        : MP_LobbyJoin_Begin(lobbyIndex, nullptr, 0);
        if (!ok) {
            MsgBoxShow_Info(kTextLobbyJoinFailed);
            state = kIdle;
        }
    }
}

void KrvMp::Render_MenuInternet()
{
    MenuStruct& m = menus[MENU_INTERNET];
    if (favRemoval) {
        if (m.buttons[B_DONE])
            m.buttons[B_DONE]->Render(p3d);
    } else {
        for (KrvMpButton* b :
            {m.buttons[favView ? B_REMOVE : B_REFRESH], m.buttons[B_ADDRESS], m.buttons[B_FILTERS]})
            if (b)
                b->Render(p3d);
    }
    if (m.list)
        m.list->Render(p3d);
    ListLabelAbove(m.labels[0], m.list, KrvMpLabel::kVCenter);
    PrintTitle(&m);
}

// ---------------------------------------------------------------- screen 4

void KrvMp::Update_MenuFilters()
{
    const int chosen = ChosenButton(menus[MENU_FILTERS].buttons, 5);
    if (chosen < 0)
        return;
    if (chosen == 3) {
        textEditMode = EDIT_NAME_FILTER;
        GoToState(MENU_TEXT_EDIT);
        Touchscreen_Reset();
        return;
    }
    static const int status[5]
        = {kTextFilterAll, kTextFilterNearest, kTextFilterFavourites, kTextFilterName, kTextFilterPlayers};
    MenuInternet_SetStatus(status[chosen]);
    if (chosen == 1)
        MP_Filter_Nearest(1);
    else if (chosen == 4)
        MP_Filter_PlayerCount();
    else
        MP_Filter_All();
    favView = chosen == 2 ? 1 : 0;
    PlayClick();
    MenuFilters_Confirm(chosen == 2 ? 0 : 1);
}

void KrvMp::MenuFilters_Confirm(uint8_t request)
{
    GoToState(MENU_INTERNET);
    Touchscreen_Reset();
    FillList(menus[MENU_INTERNET].list, nullptr, 0);
    if (request && !MP_GetLobbys_Begin()) {
        state = kIdle;
        MsgBoxShow_Info(kTextInitFailed);
    }
}

void KrvMp::Render_MenuFilters()
{
    MenuStruct& m = menus[MENU_FILTERS];
    for (KrvMpButton* b : m.buttons)
        if (b)
            b->Render(p3d);
    PrintTitle(&m);
}

// ---------------------------------------------------------------- screen 5

void KrvMp::MenuRoomsList_UpdateTitle()
{
    KrvMpLabel& t = menus[MENU_ROOMS_LIST].title;
    t.m_fonts = fonts;
    if (netType == Multiplayer::kNetInternet)
        t.SetText(serverName[0] ? serverName : "UNKNOWN SERVER NAME");
    else
        t.SetText(kTextLocalTitle);
}

void KrvMp::MenuRoomsList_UpdateIpTitle()
{
    KrvMpLabel* l = menus[MENU_ROOMS_LIST].labels[1];
    if (!l)
        return;
    if (netType == Multiplayer::kNetInternet) {
        char text[kNameSize + 8];
        std::snprintf(text, sizeof text, "IP: %s", serverAddress);
        l->SetText(text);
    } else {
        l->Reset();
    }
}

void KrvMp::MenuRoomsList_UpdateButtons()
{
    MenuStruct& m = menus[MENU_ROOMS_LIST];
    KrvMpButton *first = m.buttons[B_FIRST], *fav = m.buttons[B_FAVOURITE];
    if (!first || !fav)
        return;
    if (netType == Multiplayer::kNetInternet) {
        fav->m_hidden = 0;
        fav->m_caption.SetText(
            settings && settings->IsOnFavList(serverAddress) ? kTextRemoveFavourite : kTextAddFavourite);
        first->m_caption.SetText(kTextJoinRoom);
    } else {
        fav->m_hidden = 1;
        first->m_caption.SetText(kTextAddress);
    }
}

void KrvMp::RoomsListRestart()
{
    MP_RoomLeave();
    state = kIdle;
    FillList(menus[MENU_ROOMS_LIST].list, nullptr, 0);
    MP_RoomsList_Begin();
}

void KrvMp::Update_MenuRoomsList()
{
    MenuStruct& m = menus[MENU_ROOMS_LIST];
    if (directJoinPending) {
        directJoinPending = 0;
        // A join that cannot start (no route to the address, a name that is
        // not one) has closed the search's socket: the search starts again,
        // as after a refused join, rather than the link counting as lost.
        if (!MP_DirectRoomJoin_Begin(directIp, directPort)) {
            MsgBoxShow_Info(kTextRoomJoinFailed);
            RoomsListRestart();
        }
        return;
    }
    if (mp && mp->IsConnected()) {
        if (state == kRoomCreateRequested || state == kRoomJoinRequested)
            return;
        if (state == kRoomCreateFailed || state == kRoomJoinFailed) {
            MsgBoxShow_Info(state == kRoomCreateFailed ? kTextRoomCreateFailed : kTextRoomJoinFailed);
            RoomsListRestart();
        } else if (state == kInRoomAsClient || state == kInRoomAsHost) {
            GoToState(MENU_GAME_ROOM);
            return;
        }
    } else if (state == kRoomJoinFailed) {
        // Refused before a link was up (the session's result showed why):
        // the search goes on.
        RoomsListRestart();
    }

    const int chosen = ChosenButton(m.buttons, 2);
    if (chosen >= 0) {
        Touchscreen_ReleasePen();
        PlayClick();
    }

    if (roomsRefreshTime == 0)
        roomsRefreshTime = now;
    if (now - roomsRefreshTime > kRoomsRefresh - 1) {
        char** rows = nullptr;
        int count = 0;
        if (MP_RoomsList_Update(rows, count)) {
            roomsRefreshTime = now;
            FillList(m.list, rows, count);
            FreeTexts(rows, count);
        }
    }

    if (chosen == B_FIRST) {
        if (netType == Multiplayer::kNetInternet) {
            char room[kRoomNameSize];
            BuildRoomName(room, int(sizeof room));
            if (!MP_RoomCreate_Begin(room)) {
                MsgBoxShow_Info(kTextRoomCreateFailed);
                RoomsListRestart();
            }
        } else {
            textEditMode = EDIT_ROOM_ADDRESS;
            GoToState(MENU_TEXT_EDIT);
        }
        Touchscreen_Reset();
    } else if (chosen == B_FAVOURITE && msgBox) {
        const bool known = settings && settings->IsOnFavList(serverAddress);
        msgBox->Hide();
        msgBox->ButtonAdd(KrvMpMsgBox::BUTTON_YES);
        msgBox->ButtonAdd(KrvMpMsgBox::BUTTON_NO);
        msgBox->ContentAdd(known ? kTextAskRemove : kTextAskAdd);
        msgBox->SetCallback(known ? &KrvMp::MsgBox_RemFromFav : &KrvMp::MsgBox_AddToFav, this);
        msgBox->Show();
        Touchscreen_Reset();
    }

    const int r = m.list ? m.list->TouchscreenUpdate(touchX, touchY, pen, penWas) : KrvMpList::kNothing;
    if (r == KrvMpList::kDragEnded) {
        Touchscreen_Reset();
        return;
    }
    if (r < 0)
        return;
    Touchscreen_Reset();
    PlayClick();
    if (!MP_RoomJoin_Begin(r)) {
        MsgBoxShow_Info(kTextRoomJoinFailed);
        RoomsListRestart();
    } else if (netType == Multiplayer::kNetLocal) {
        gameRoomBackTarget = MENU_ROOMS_LIST;
    }
}

void KrvMp::Render_MenuRoomsList()
{
    MenuStruct& m = menus[MENU_ROOMS_LIST];
    for (int i = 0; i < 2; i++)
        if (m.buttons[i] && !m.buttons[i]->m_hidden)
            m.buttons[i]->Render(p3d);
    if (m.list)
        m.list->Render(p3d);
    ListLabelAbove(m.labels[0], m.list, KrvMpLabel::kVCenter);
    ListLabelBelow(m.labels[1], m.list, KrvMpLabel::kVCenter);
    PrintTitle(&m);
}

void KrvMp::MsgBox_AddToFav(int button, void* self)
{
    auto* k = static_cast<KrvMp*>(self);
    if (button == KrvMpMsgBox::BUTTON_YES && k->settings) {
        k->settings->AddToFav(k->serverName, k->serverAddress);
        k->MenuRoomsList_UpdateButtons();
    }
    k->Touchscreen_Reset();
}

void KrvMp::MsgBox_RemFromFav(int button, void* self)
{
    auto* k = static_cast<KrvMp*>(self);
    if (button == KrvMpMsgBox::BUTTON_YES && k->settings) {
        k->settings->RemoveFromFav(k->serverAddress);
        k->MenuRoomsList_UpdateButtons();
    }
    k->Touchscreen_Reset();
}
