// The game room and match screens of the multiplayer menus: the room's
// players and settings preview, the game settings, the text editor and the
// final standings.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "engine/graphics/psurface3d.h"
#include "engine/runtime/pdebug.h"
#include "engine/runtime/ptext.h"
#include "game/frontend/fonts.h"
#include "game/frontend/profile.h"
#include "game/frontend/settings.h"
#include "game/frontend/textinput.h"
#include "game/multiplayer/ipinput.h"
#include "game/multiplayer/krvmp.h"

namespace {

enum : int {
    kTextPlayers = 118,
    kTextSeasonFirst = 143,
    kTextSeasonLast = 145,
    kTextOwnAddress = 382,
    kTextLeftMatch = 377,
    kTextLobbyJoinFailed = 220,
    kTextRoomJoinFailed = 222,
    kTextFilterName = 291,
    kTextUserNameTitle = 1,
    kTextAddressTitle = 381,
};

constexpr unsigned kBlinkBit = 0x100;

} // namespace

// ---------------------------------------------------------------- screen 6

int KrvMp::HandleStartGame()
{
    if (state == kMatchStartRequested && MP_IsAllPlaying()) {
        MP_StartGame();
        return 1;
    }
    return 0;
}

void KrvMp::MenuGameRoom_setPlayerIcons(KrvMpButtonExt* line, const KrvPlayer* p)
{
    if (!line || !p)
        return;
    if (p->rank >= 0 && p->rank < kRanks)
        if (PSurface3D* s = GetGfx(GFX_RANK0 + p->rank))
            line->AddIcon(s);
    if (p->plane >= 0 && p->plane < kPlaneIcons)
        if (PSurface3D* s = GetGfx(GFX_PLANE0 + p->plane))
            line->AddIcon(s);
    if (PSurface3D* s = GetGfx(p->busy || p->inMatch ? GFX_BUSY : GFX_FREE))
        line->AddIcon(s);
}

void KrvMp::MenuGameRoom_settPreviewUpdate()
{
    KrvMpLabel* const* v = menus[MENU_GAME_ROOM].labels + L_PREVIEW + 3;
    if (v[0]) {
        char text[16];
        std::snprintf(text, sizeof text, "%d", int(map) + 1);
        v[0]->SetText(text);
    }
    if (v[1])
        v[1]->SetText(int(std::clamp<int32_t>(kTextSeasonFirst + season, kTextSeasonFirst, kTextSeasonLast)));
    if (v[2]) {
        const wchar_t* frags = GetFragLimitWchar();
        v[2]->SetText(frags ? frags : L"?");
    }
}

void KrvMp::MenuGameRoom_SetIpLabel()
{
    KrvMpLabel* l = menus[MENU_GAME_ROOM].labels[L_ADDRESS];
    char own[kNameSize] = {};
    if (!l || netType != Multiplayer::kNetLocal || !MP_IsMeHost() || !MP_GetMyIP(own))
        return;
    wchar_t text[KrvMpLabel::kMaxChars + 1] = {};
    const wchar_t* head = fonts ? fonts->GetStr(kTextOwnAddress) : nullptr;
    std::swprintf(text, KrvMpLabel::kMaxChars + 1, L"%ls %s", head ? head : L"", own);
    l->SetText(text);
}

void KrvMp::MenuGameSettings_resetSwappers()
{
    for (KrvMpSwapper* s : menus[MENU_GAME_SETTINGS].swappers)
        if (s)
            s->SetValue(0);
}

int KrvMp::Update_MenuGameRoom()
{
    if (HandleStartGame())
        return 1;
    MenuStruct& m = menus[MENU_GAME_ROOM];
    if (MP_IsPlayersListChanged()) {
        if (m.list) {
            m.list->RemoveAll();
            const int myId = MP_GetMyId();
            for (int i = 0; i < playerCount; i++) {
                auto* line = new (std::nothrow) KrvMpButtonExt(fonts);
                if (!line)
                    continue;
                line->SetRect(m.list->m_rect.x, m.list->m_rect.y, m.list->m_rect.width, kLineHeight);
                line->m_framed = 0;
                line->m_caption.SetText(players[i].name);
                line->m_touchStyle = KrvMpButton::kHighlight;
                line->m_background = players[i].id == myId ? kOwnLineColour : 0;
                MenuGameRoom_setPlayerIcons(line, &players[i]);
                m.list->Add(line);
            }
            m.list->Generate(0);
        }
    } else if (MP_IsPlayersSettingsChanged() && m.list) {
        for (int i = 0; i < playerCount && i < m.list->GetCount(); i++) {
            auto* line = static_cast<KrvMpButtonExt*>(m.list->GetLine(i));
            if (line && line->m_extended) {
                line->ReleaseIcons();
                MenuGameRoom_setPlayerIcons(line, &players[i]);
            }
        }
    }
    if (MP_IsMeBusy()) {
        GoToState(MENU_GAME_SETTINGS);
        return 0;
    }
    MenuGameRoom_settPreviewUpdate();

    const int chosen = ChosenButton(m.buttons, 2);
    if (chosen >= 0) {
        Touchscreen_ReleasePen();
        PlayClick();
    }
    if (chosen == B_SETTINGS)
        RequestBusyState(1);
    // The session decides what the host's Start does: start, or the start
    // wait, which goes ahead by itself once nothing delays it.
    if (chosen == B_START)
        TapStart();
    else
        FinishStartWait();

    const int r = m.list ? m.list->TouchscreenUpdate(touchX, touchY, pen, penWas) : KrvMpList::kNothing;
    if (r == KrvMpList::kDragEnded)
        Touchscreen_Reset();
    else if (r >= 0)
        Touchscreen_ReleasePen();
    return 0;
}

void KrvMp::Render_MenuGameRoom()
{
    MenuStruct& m = menus[MENU_GAME_ROOM];
    const bool host = MP_IsMeHost() != 0;
    if (host && m.buttons[B_START])
        m.buttons[B_START]->Render(p3d);
    if (m.buttons[B_SETTINGS])
        m.buttons[B_SETTINGS]->Render(p3d);
    if (m.list) {
        m.list->Render(p3d);
        KrvMpLabel players;
        players.m_fonts = fonts;
        players.SetText(kTextPlayers);
        ListLabelAbove(&players, m.list, KrvMpLabel::kVCenter);
    }
    const int xb = width / 2 + 38, y0 = 114 + 44, rh = (height - 54 - y0) / 3;
    for (int k = 0; k < 3; k++) {
        const PRect r {xb, y0 + k * rh, width - 16 - xb, rh};
        if (KrvMpLabel* name = m.labels[L_PREVIEW + k])
            name->Render(p3d, 0, r, KrvMpLabel::kVCenter);
        if (KrvMpLabel* value = m.labels[L_PREVIEW + 3 + k])
            value->Render(p3d, 0, r, KrvMpLabel::kVCenter | KrvMpLabel::kAlignRight);
    }
    if (netType == Multiplayer::kNetLocal && host)
        ListLabelBelow(m.labels[L_ADDRESS], m.list, KrvMpLabel::kVCenter);
    PrintTitle(&m);
}

// ---------------------------------------------------------------- screen 7

void KrvMp::Update_MenuGameSettings()
{
    MenuStruct& m = menus[MENU_GAME_SETTINGS];
    if (!MP_IsMeBusy()) {
        GoToState(MENU_GAME_ROOM);
        playersListChanged = 1;
        Touchscreen_Reset();
        return;
    }
    bool changed = false;
    for (KrvMpSwapper* s : m.swappers)
        if (s && s->Update(touchX, touchY, pen, penWas) >= 0)
            changed = true;
    if (changed) {
        Touchscreen_ReleasePen();
        PlayClick();
    }
    if (KrvPlayer* me = MP_GetMe(); me && m.swappers[SW_PLANE])
        me->plane = m.swappers[SW_PLANE]->GetIndex();
    const bool host = MP_IsMeHost() != 0;
    int32_t* values[3] = {&map, &season, &fragLimit};
    for (int k = 0; k < 3; k++) {
        KrvMpSwapper* s = m.swappers[SW_MAP + k];
        if (!s)
            continue;
        s->m_locked = host ? 0 : 1;
        if (host)
            *values[k] = s->GetIndex();
        else
            s->SetValue(*values[k]);
    }
}

void KrvMp::Render_MenuGameSettings()
{
    MenuStruct& m = menus[MENU_GAME_SETTINGS];
    for (KrvMpSwapper* s : m.swappers)
        if (s)
            s->Render(p3d);
    PrintTitle(&m);
}

// ---------------------------------------------------------------- screen 8

int KrvMp::SplitAddress(const char* text, char* host, int hostSize, int32_t& port)
{
    const char* colon = text ? std::strrchr(text, ':') : nullptr;
    if (!colon)
        return 0;
    const int n = std::min<int>(int(colon - text), hostSize - 1);
    std::memcpy(host, text, size_t(n));
    host[n] = 0;
    char digits[6] = {};
    std::strncpy(digits, colon + 1, 5);
    port = PAtoi(digits, static_cast<char**>(nullptr), 0);
    return 1;
}

int KrvMp::IsOwnAddress(const char* host)
{
    char own[kNameSize] = {}, ownHost[kNameSize] = {};
    int32_t ownPort = 0;
    return MP_GetMyIP(own) && SplitAddress(own, ownHost, kNameSize, ownPort)
        && std::strcmp(ownHost, host) == 0;
}

void KrvMp::StoreLastAddress(const char* text)
{
    if (!settings)
        return;
    std::snprintf(settings->lastAddress, sizeof settings->lastAddress, "%.*s", kLastAddressChars, text);
    settings->Write();
}

void KrvMp::Update_MenuTextEdit()
{
    MenuStruct& m = menus[MENU_TEXT_EDIT];
    TextInput* in = m.keyboard ? m.keyboard->GetActiveInput() : nullptr;
    if (!in)
        return;
    if (m.keyboard->Update(touchX, touchY, pen, penWas) != -1) {
        Touchscreen_ReleasePen();
        PlayClick();
    } else {
        if (m.buttons[B_LEFT] && m.buttons[B_LEFT]->Touchscreen_Update(touchX, touchY, pen, penWas)) {
            in->HandleLeftArrowEvent();
            Touchscreen_ReleasePen();
            PlayClick();
        }
        if (m.buttons[B_RIGHT] && m.buttons[B_RIGHT]->Touchscreen_Update(touchX, touchY, pen, penWas)) {
            in->HandleRightArrowEvent();
            Touchscreen_ReleasePen();
            PlayClick();
        }
    }
    if (KrvMpButton* accept = m.buttons[B_ACCEPT]) {
        accept->m_hidden = in->GetString()[0] ? 0 : 1;
        if (accept->Touchscreen_Update(touchX, touchY, pen, penWas)) {
            MenuTextEdit_Accept();
            PlayClick();
        }
    }
}

void KrvMp::MenuTextEdit_Accept()
{
    MenuStruct& m = menus[MENU_TEXT_EDIT];
    TextInput* in = m.keyboard ? m.keyboard->GetActiveInput() : nullptr;
    if (!in)
        return;
    char t[TextInput::kMaxLength + 1];
    std::snprintf(t, sizeof t, "%s", in->GetString());
    switch (textEditMode) {
    case EDIT_USER_NAME:
        Fonts::StrDupNoAlloc(t, userName, int(sizeof userName));
        SetUserName(userName);
        GoToState(MENU_INTERNET);
        break;
    case EDIT_NAME_FILTER:
        MenuInternet_SetStatus(kTextFilterName);
        MP_Filter_Name(t);
        favView = 0;
        MenuFilters_Confirm(1);
        break;
    case EDIT_LOBBY_ADDRESS: {
        char host[kNameSize];
        int32_t port = serverPort;
        if (SplitAddress(t, host, kNameSize, port)) {
            std::memcpy(serverIp, host, sizeof serverIp);
            serverPort = port;
        }
        lobbyIndex = -1;
        if (IsOwnAddress(serverIp)) {
            MsgBoxShow_Info(kTextLobbyJoinFailed);
            lobbyJoinPending = 0;
            state = kIdle;
            GoToState(MENU_INTERNET);
            break;
        }
        StoreLastAddress(t);
        favView = 0;
        lobbyJoinPending = 1;
        GoToState(MENU_INTERNET);
        break;
    }
    case EDIT_ROOM_ADDRESS: {
        char host[kNameSize];
        int32_t port = directPort;
        if (SplitAddress(t, host, kNameSize, port)) {
            std::memcpy(directIp, host, sizeof directIp);
            directPort = port;
        }
        if (IsOwnAddress(directIp)) {
            _PDebug("LAN: %s is this device's own address; the join is refused\n", directIp);
            MsgBoxShow_Info(kTextRoomJoinFailed);
            directJoinPending = 0;
            GoToState(MENU_ROOMS_LIST);
            break;
        }
        StoreLastAddress(t);
        directJoinPending = 1;
        GoToState(MENU_ROOMS_LIST);
        break;
    }
    default:
        break;
    }
}

void KrvMp::MenuTextEdit_Cancel()
{
    lobbyJoinPending = directJoinPending = 0;
    if (textEditMode == EDIT_ROOM_ADDRESS)
        GoToState(MENU_ROOMS_LIST);
    else if (textEditMode == EDIT_NAME_FILTER)
        GoToState(MENU_FILTERS);
    else
        GoToState(MENU_INTERNET);
}

void KrvMp::Render_MenuTextEdit()
{
    MenuStruct& m = menus[MENU_TEXT_EDIT];
    TextInput* in = m.keyboard ? m.keyboard->GetActiveInput() : nullptr;
    if (in && fonts) {
        m.keyboard->Render(p3d);
        const char* t = in->GetString();
        const int th = fonts->StringWidth(0, t), fh = fonts->Height(0);
        PSurface3D* arrow = m.buttons[B_LEFT] ? GetGfx(GFX_LEFT) : nullptr;
        const int a = arrow ? int(arrow->Height()) / 2 : 0;
        const int y = m.keyboard->m_y - a - (fh + 3) / 2;
        p3d->HLine(54, y - 1, width - 108, 0, P3DBLEND_OPAQUE);
        p3d->HLine(54, y + fh + 3, width - 108, 0, P3DBLEND_OPAQUE);
        fonts->Print(width / 2, y + 2, t, 0, Fonts::kCenter);
        if (now & kBlinkBit) {
            const int c = in->GetCursor();
            char head[TextInput::kMaxLength + 1] = {};
            if (c > 0)
                std::snprintf(head, sizeof head, "%.*s", c, t);
            const int cw = c > 0 ? fonts->StringWidth(0, head) : 0;
            p3d->FillRect(width / 2 - th / 2 + cw, y + 1, 2, unsigned(fh + 1), 0, P3DBLEND_OPAQUE);
        }
    }
    for (int i = 0; i < 3; i++)
        if (m.buttons[i] && !m.buttons[i]->m_hidden)
            m.buttons[i]->Render(p3d);
    PrintTitle(&m);
}

// ---------------------------------------------------------------- screen 9

void KrvMp::FinalStandingsUpdate()
{
    KrvPlayer sorted[kMaxPlayers];
    const KrvPlayer* rows = nullptr;
    const int count = std::clamp(MP_GetFinalStandings(rows), 0, int(kMaxPlayers));
    std::copy(rows, rows + count, sorted);
    for (int i = 0; i < count - 1;) {
        if (sorted[i].kills < sorted[i + 1].kills) {
            std::swap(sorted[i], sorted[i + 1]);
            i = 0;
        } else {
            i++;
        }
    }
    // The table is written again, and its rows logged, only when what it
    // shows changed: peers repeat messages that change nothing.
    const int shown = std::min(count, kStandingsRows - 1);
    bool same = shown == standingsShown;
    for (int k = 0; same && k < shown; k++) {
        const KrvPlayer& was = standingsShownRows[k];
        same = was.id == sorted[k].id && was.kills == sorted[k].kills && std::strcmp(was.name, sorted[k].name) == 0;
    }
    if (same)
        return;
    standingsShown = shown;
    std::copy(sorted, sorted + shown, standingsShownRows);
    standingsHighlight = -1;
    const int myId = MP_GetMyId();
    MenuStruct& m = menus[MENU_FINAL_STANDINGS];
    for (int i = kStandingsColumns; i < kStandingsRows * kStandingsColumns; i++)
        if (m.standings[i])
            m.standings[i]->Reset();
    for (int k = 0; k < shown; k++) {
        KrvMpLabel** row = m.standings + (k + 1) * kStandingsColumns;
        char text[kNameSize + 8];
        if (row[0])
            std::snprintf(text, sizeof text, "%d", k + 1), row[0]->SetText(text);
        if (row[1])
            std::snprintf(text, sizeof text, "%s", sorted[k].name), row[1]->SetText(text);
        _PDebug("mp: standings %d %s %d\n", k + 1, sorted[k].name, int(sorted[k].kills));
        if (row[2]) {
            if (sorted[k].kills == -1)
                row[2]->SetText(kTextLeftMatch);
            else
                std::snprintf(text, sizeof text, "%d", int(sorted[k].kills)), row[2]->SetText(text);
        }
        if (sorted[k].id == myId)
            standingsHighlight = k;
    }
}

int KrvMp::Update_MenuFinalStandings()
{
    if (MP_IsFinalStandingsChanged())
        FinalStandingsUpdate();
    return HandleStartGame();
}

void KrvMp::Render_MenuFinalStandings()
{
    MenuStruct& m = menus[MENU_FINAL_STANDINGS];
    const int cw = (width - 32) / 8, rh = (height - 128) / 5;
    if (standingsHighlight != -1)
        p3d->FillRect(16, 64 + (standingsHighlight + 1) * rh, unsigned(width - 32), unsigned(rh),
            kStandingsHighlight, P3DBLEND_ALPHA);
    static const int colX[3] = {0, 1, 6}, colW[3] = {1, 5, 2};
    for (int r = 0; r < kStandingsRows; r++)
        for (int c = 0; c < kStandingsColumns; c++)
            if (KrvMpLabel* l = m.standings[r * kStandingsColumns + c])
                l->Render(
                    p3d, 0, PRect {16 + colX[c] * cw, 64 + r * rh, colW[c] * cw, rh}, KrvMpLabel::kCentered);
    PrintTitle(&m);
}
