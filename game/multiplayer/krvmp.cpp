// The multiplayer menus' controller: set-up and release, the frame's input
// and session work, drawing, the screen switch, touches, the spinner, the
// message boxes and the routines the screens share.
#include "game/multiplayer/krvmp.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "engine/graphics/pblit.h"
#include "engine/graphics/psurface3d.h"
#include "engine/runtime/palloc.h"
#include "engine/runtime/pdebug.h"
#include "game/frontend/fonts.h"
#include "game/frontend/profile.h"
#include "game/frontend/settings.h"
#include "game/frontend/textinput.h"
#include "game/multiplayer/ipinput.h"
#include "game/world/audiomanager.h"
#include "game/world/korvanth.h"
#include "game/world/levelsmanager.h"
#include "game/world/planesmanager.h"

namespace {

// Owned images: archive path of each slot (null: shared or numbered).
const char* const kGfxFiles[KrvMp::GFX_COUNT] = {
    nullptr,
    "data\\2dgfx\\profile_icon_1.png",
    nullptr,
    "data\\2dgfx\\profile_icon_4.png",
    "data\\2dgfx\\profile_icon_0.png",
    "data\\2dgfx\\mp_local_net.png",
    "data\\2dgfx\\mp_internet.png",
    "data\\2dgfx\\loading.png",
    "data\\2dgfx\\icon_occupation_ok.png",
    "data\\2dgfx\\icon_occupation_busy.png",
};

// Texts of the message boxes and the titles.
enum : int { kTextNameInUse1 = 303, kTextNameInUse2 = 304, kTextFavFilter = 290 };

// Session states in which a request is under way (the spinner turns).
bool IsWaiting(int32_t state)
{
    return state == KrvMpConn::kLobbyListRequested || state == KrvMpConn::kLobbyLoginRequested
        || state == KrvMpConn::kListingRooms || state == KrvMpConn::kRoomJoinRequested
        || state == KrvMpConn::kRoomCreateRequested;
}

} // namespace

KrvMp::KrvMp()
{
    for (auto& m : menus)
        m.title.m_fonts = nullptr;
    now = 0;
    profile = nullptr;
}

KrvMp::~KrvMp()
{
    Release();
}

// ---------------------------------------------------------------- set-up

void KrvMp::Init(int w, int h, Profile* prof, PTicker* ticker, AudioManager* audio)
{
    // A second Init without Release would leak every widget: release first.
    if (m_built)
        Release();
    profile = prof;
    m_profileArg = prof;
    width = w;
    height = h;
    m_audio = audio;
    m_ticker = ticker;
    favView = favRemoval = 0;
    userName[0] = 0;

    LoadGfx();
    spinnerFrame = 0;
    loading = 0;
    spinnerTime = 0;

    GoToState(MENU_LOCAL_INTERNET);
    pen = penWas = 0;

    SetAirplaneModelNames();
    SetUnlockedPlanes();

    BuildScreens();
    m_built = 1;

    if (!backButton) {
        backButton = new (std::nothrow) KrvMpButton(fonts);
        if (backButton) {
            backButton->SetRect(width - 50, height - 50, 44, 44);
            backButton->SetIcon(GetGfx(GFX_BACK));
            backButton->m_touchStyle = KrvMpButton::kGrowIcon;
            backButton->m_framed = 0;
        }
    }
    if (!msgBox)
        msgBox = new (std::nothrow) KrvMpMsgBox(fonts, width, height, audio);
}

void KrvMp::Release()
{
    ReleaseGfx();
    ReleaseAirplaneModelNames();
    GoToState(MENU_NONE);
    DestroyScreens();
    standingsHighlight = -1;
    standingsShown = -1;
    delete backButton;
    backButton = nullptr;
    delete msgBox;
    msgBox = nullptr;
    m_built = 0;
}

KrvMpButton* KrvMp::NewButton(int caption, int x, int y, int w, int h, uint8_t style)
{
    auto* b = new (std::nothrow) KrvMpButton(fonts);
    if (!b)
        return nullptr;
    b->SetRect(x, y, w, h);
    if (caption > 0)
        b->m_caption.SetText(caption);
    b->m_touchStyle = style;
    return b;
}

KrvMpLabel* KrvMp::NewLabel()
{
    auto* l = new (std::nothrow) KrvMpLabel();
    if (l)
        l->m_fonts = fonts;
    return l;
}

void KrvMp::BuildScreens()
{
    const int W = width, H = height;
    const int x0 = W / 2 - (W / 3) / 2, cw = W / 3;
    const PRect listRect {16, 64, W / 2 + 16, H - 104};
    const int xb = W / 2 + 38, wb = W - (W / 2 + 16) - 38, bh = (H - 104) / 4;
    static const int titles[MENU_COUNT] = {0, 34, 282, 283, 287, 0, 202, 300, 1, 373};
    for (int s = 1; s < MENU_COUNT; s++) {
        menus[s].title.m_fonts = fonts;
        menus[s].title.Reset();
        if (titles[s])
            menus[s].title.SetText(titles[s]);
    }
    auto newList = [&](const PRect& r) {
        auto* l = new (std::nothrow) KrvMpList();
        if (l) {
            l->m_rect = r;
            FillList(l, nullptr, 0);
        }
        return l;
    };

    // 1: network choice; 2: local network.
    menus[1].buttons[0] = NewButton(282, x0, H / 2 - 48, cw, 44, 3);
    menus[1].buttons[1] = NewButton(283, x0, H / 2 + 4, cw, 44, 3);
    menus[2].buttons[0] = NewButton(233, x0, H / 2 - 48, cw, 44, 2);
    menus[2].buttons[1] = NewButton(193, x0, H / 2 + 4, cw, 44, 2);

    // 3: lobby servers.
    MenuStruct& m3 = menus[MENU_INTERNET];
    m3.list = newList(listRect);
    m3.labels[0] = NewLabel();
    if (m3.labels[0])
        m3.labels[0]->SetText(288);
    m3.buttons[B_REFRESH] = NewButton(284, xb, 64, wb, bh, 2);
    m3.buttons[B_REMOVE] = NewButton(295, xb, 64, wb, bh, 2);
    m3.buttons[B_DONE] = NewButton(297, xb, 64, wb, bh, 2);
    m3.buttons[B_ADDRESS] = NewButton(285, xb, 64 + bh + 6, wb, bh, 2);
    m3.buttons[B_FILTERS] = NewButton(286, xb, 64 + 2 * bh + 12, wb, bh, 2);

    // 4: filters.
    for (int i = 0; i < 5; i++)
        menus[MENU_FILTERS].buttons[i] = NewButton(288 + i, x0, H / 2 - 125 + 50 * i, cw, 44, 2);

    // 5: rooms.
    MenuStruct& m5 = menus[MENU_ROOMS_LIST];
    m5.buttons[B_FIRST] = NewButton(192, xb, 64, wb, bh, 2);
    m5.buttons[B_FAVOURITE] = NewButton(294, xb, 64 + bh + 6, wb, bh, 2);
    m5.list = newList(listRect);
    m5.labels[0] = NewLabel();
    if (m5.labels[0])
        m5.labels[0]->SetText(293);
    m5.labels[1] = NewLabel();
    MenuRoomsList_UpdateTitle();
    MenuRoomsList_UpdateIpTitle();

    // 6: game room.
    MenuStruct& m6 = menus[MENU_GAME_ROOM];
    m6.buttons[B_START] = NewButton(146, xb, 64, wb, 44, 2);
    m6.buttons[B_SETTINGS] = NewButton(300, xb, 114, wb, 44, 2);
    m6.list = newList(PRect {16, 64, W / 2 + 16, 180});
    for (auto& l : m6.labels)
        l = NewLabel();
    static const int previewNames[3] = {134, 239, 240};
    for (int k = 0; k < 3; k++)
        if (m6.labels[L_PREVIEW + k])
            m6.labels[L_PREVIEW + k]->SetText(previewNames[k]);

    // 7: game settings.
    MenuStruct& m7 = menus[MENU_GAME_SETTINGS];
    const int sh = (H - 88) / 4;
    static const int swapperTitles[4] = {147, 238, 239, 240};
    for (int k = 0; k < 4; k++) {
        auto* s = new (std::nothrow) KrvMpSwapper(fonts);
        m7.swappers[k] = s;
        if (!s)
            continue;
        s->m_rect = PRect {(W / 3) / 2 - 3, 44 + k * (sh + 6), W - W / 3, sh};
        s->m_title.m_fonts = fonts;
        s->m_title.SetText(swapperTitles[k]);
        s->Generate(GetGfx(GFX_LEFT), GetGfx(GFX_RIGHT));
    }
    SetPlaneSwapperValues();
    if (m7.swappers[SW_MAP]) {
        static const wchar_t* const maps[4] = {L"1", L"2", L"3", L"4"};
        m7.swappers[SW_MAP]->SetValues(maps, 4);
    }
    if (m7.swappers[SW_SEASON] && fonts) {
        const wchar_t* seasons[3] = {fonts->GetStr(143), fonts->GetStr(144), fonts->GetStr(145)};
        for (auto& s : seasons)
            if (!s)
                s = L"";
        m7.swappers[SW_SEASON]->SetValues(seasons, 3);
    }
    if (m7.swappers[SW_FRAGS])
        m7.swappers[SW_FRAGS]->SetValues(GetFragLimitWcharArray(), kFragLimits);
    MenuGameSettings_resetSwappers();

    // 8: text editor.
    MenuStruct& m8 = menus[MENU_TEXT_EDIT];
    const int ky = H / 4 + 8;
    m8.keyboard = new (std::nothrow) KrvMpTxtInput(fonts);
    if (m8.keyboard) {
        m8.keyboard->m_x = 0, m8.keyboard->m_y = ky;
        m8.keyboard->m_width = W, m8.keyboard->m_height = H - 44 - ky;
    }
    m8.buttons[B_ACCEPT] = NewButton(0, 6, H - 50, 44, 44, KrvMpButton::kGrowIcon);
    if (PSurface3D* left = GetGfx(GFX_LEFT)) {
        const int iw = int(left->Width()), ih = int(left->Height());
        m8.buttons[B_LEFT] = NewButton(0, 6, ky - ih, iw, ih, KrvMpButton::kGrowIcon);
        if (m8.buttons[B_LEFT])
            m8.buttons[B_LEFT]->SetIcon(left);
    }
    if (PSurface3D* right = GetGfx(GFX_RIGHT)) {
        const int iw = int(right->Width()), ih = int(right->Height());
        m8.buttons[B_RIGHT] = NewButton(0, W - 6 - iw, ky - ih, iw, ih, KrvMpButton::kGrowIcon);
        if (m8.buttons[B_RIGHT])
            m8.buttons[B_RIGHT]->SetIcon(right);
    }
    if (m8.buttons[B_ACCEPT])
        m8.buttons[B_ACCEPT]->SetIcon(GetGfx(GFX_ACCEPT));
    for (int i = 0; i < 3; i++)
        if (m8.buttons[i])
            m8.buttons[i]->m_framed = 0;

    // 9: standings.
    MenuStruct& m9 = menus[MENU_FINAL_STANDINGS];
    static const int headers[3] = {374, 11, 246};
    for (int i = 0; i < kStandingsRows * kStandingsColumns; i++) {
        m9.standings[i] = NewLabel();
        if (i < 3 && m9.standings[i])
            m9.standings[i]->SetText(headers[i]);
    }
}

void KrvMp::DestroyScreens()
{
    for (auto& m : menus) {
        for (auto& b : m.buttons)
            delete b, b = nullptr;
        delete m.list;
        m.list = nullptr;
        for (auto& l : m.labels)
            delete l, l = nullptr;
        for (auto& s : m.swappers)
            delete s, s = nullptr;
        delete m.keyboard;
        m.keyboard = nullptr;
        for (auto& l : m.standings)
            delete l, l = nullptr;
    }
}

// ---------------------------------------------------------------- images and planes

void KrvMp::LoadGfx()
{
    ReleaseGfx();
    if (!p3d)
        return;
    m_gfx[GFX_BACKGROUND] = GetSharedImage(IMAGE_WARROOM);
    m_gfxShared[GFX_BACKGROUND] = 1;
    m_gfx[GFX_BACK] = GetSharedImage(IMAGE_SOFT_BACK_PAPER);
    m_gfxShared[GFX_BACK] = 1;
    char name[64];
    for (int i = 0; i < GFX_COUNT; i++) {
        if (i == GFX_BACKGROUND || i == GFX_BACK)
            continue;
        const char* file = kGfxFiles[i < 10 ? i : 0];
        if (i >= GFX_RANK0 && i < GFX_PLANE0)
            std::snprintf(name, sizeof name, "data\\2dgfx\\rank_%d_.png", i - GFX_RANK0), file = name;
        else if (i >= GFX_PLANE0)
            std::snprintf(name, sizeof name, "data\\2dgfx\\icon_plane_%d.png", i - GFX_PLANE0), file = name;
        m_gfx[i] = PSurface3D::CreateFromFile(p3d, file, 1);
        m_gfxShared[i] = 0;
    }
}

void KrvMp::ReleaseGfx()
{
    for (int i = 0; i < GFX_COUNT; i++) {
        if (!m_gfxShared[i])
            delete m_gfx[i];
        m_gfx[i] = nullptr;
        m_gfxShared[i] = 0;
    }
}

PSurface3D* KrvMp::GetGfx(int index) const
{
    return index >= 0 && index < GFX_COUNT ? m_gfx[index] : nullptr;
}

void KrvMp::SetAirplaneModelNames()
{
    ReleaseAirplaneModelNames();
    PlanesManager* planes = new (std::nothrow) PlanesManager(nullptr);
    if (!planes)
        return;
    const int n = planes->LoadPlaneCfgFiles("data\\planes\\", "config", ".txt");
    planeCount = n > 0 ? n : 0;
    if (n > 0) {
        planeNames = static_cast<char**>(PAllocZ(int(sizeof(char*)) * n));
        if (planeNames) {
            planeNameCount = n;
            for (int i = 0; i < n; i++)
                if (PlaneConfig* c = planes->Get(i))
                    planeNames[i] = Fonts::StrDup(c->GetPlaneName());
        }
    }
    delete planes;
}

void KrvMp::ReleaseAirplaneModelNames()
{
    FreeTexts(planeNames, planeNameCount);
    planeNames = nullptr;
    planeNameCount = 0;
}

void KrvMp::SetUnlockedPlanes()
{
    unlockedPlanes = 0;
    if (profile)
        unlockedPlanes = uint8_t(
            Profile::GetRankFromScores(profile->GetScore(Profile::kMultiplayer), Profile::kMultiplayer) + 1);
}

void KrvMp::SetPlaneSwapperValues()
{
    KrvMpSwapper* s = menus[MENU_GAME_SETTINGS].swappers[SW_PLANE];
    if (!s)
        return;
    int n = unlockedPlanes ? std::min<int>(unlockedPlanes, planeNameCount) : 1;
    n = std::min(n, planeNameCount);
    const char* names[kMaxPlayers * 8] = {};
    n = std::min<int>(n, int(sizeof names / sizeof names[0]));
    for (int i = 0; i < n; i++)
        names[i] = planeNames[i] ? planeNames[i] : "";
    s->SetValues(names, n);
}

// ---------------------------------------------------------------- the frame

int KrvMp::Update(unsigned int t)
{
    now = t;
    unsigned key = GetKey();

    // While a message box is up, the frame's touches are the box's only.
    bool boxUp = false;
    int savedPen = 0, savedPenWas = 0;
    if (msgBox) {
        const int chosen = msgBox->Update(touchX, touchY, pen, penWas);
        if (msgBox->IsVisible()) {
            boxUp = true;
            savedPen = pen, savedPenWas = penWas;
            pen = penWas = 0;
            key = 0;
        } else if (chosen) {
            Touchscreen_Reset();
        }
    }

    bool back = false;
    if (backButton && backButton->Touchscreen_Update(touchX, touchY, pen, penWas)) {
        Touchscreen_ReleasePen();
        PlayClick();
        back = !boxUp;
    }
    if (key & kBackKey)
        back = true;

    loading = IsWaiting(state) ? 1 : 0;

    const int code = MP_Update(t);
    if (code == kErrNameTaken) {
        MsgBoxShow_UsernameBusy();
    } else if (code == kErrLinkLost && m_state == MENU_FINAL_STANDINGS) {
        // The standings of the match that ended stay up; the lost link is
        // told when the player leaves them.
        MP_Release();
        standingsLinkLost = 1;
    } else if (IsLeftOut(code)) {
        // Back to the room; a player still in its settings stays there, as
        // busy as it was, and goes back as ever.
        MP_EndGame();
        if (m_state != MENU_GAME_SETTINGS)
            GoToState(MENU_GAME_ROOM);
        if (const wchar_t* text = ErrorCodeToMsg(fonts, code))
            MsgBoxShow_Info(text);
    } else if (code != kErrNone) {
        if (code == kErrLinkLost)
            GoToState(MENU_LOCAL_INTERNET);
        if (const wchar_t* text = ErrorCodeToMsg(fonts, code))
            MsgBoxShow_Info(text);
    }

    int result = 0;
    const int screen = m_state;
    switch (screen) {
    case MENU_LOCAL_INTERNET:
        if (back)
            result = -1;
        else
            Update_MenuLocalInternet();
        break;
    case MENU_LOCAL:
        if (back)
            GoToState(MENU_LOCAL_INTERNET);
        else
            Update_MenuLocal();
        break;
    case MENU_INTERNET:
        if (back) {
            if (favRemoval) {
                favRemoval = 0;
                MenuInternet_SetStatus(kTextFavFilter);
            } else {
                GoToState(MENU_LOCAL_INTERNET);
            }
        } else {
            Update_MenuInternet();
        }
        break;
    case MENU_FILTERS:
        if (back)
            GoToState(MENU_INTERNET);
        else
            Update_MenuFilters();
        break;
    case MENU_ROOMS_LIST:
        if (back) {
            if (netType == Multiplayer::kNetInternet) {
                GoToState(MENU_INTERNET);
                MP_GetLobbys_Begin();
                FillList(menus[MENU_INTERNET].list, nullptr, 0);
            } else {
                GoToState(MENU_LOCAL);
            }
        } else {
            Update_MenuRoomsList();
        }
        break;
    case MENU_GAME_ROOM:
        if (back)
            GoToState(netType == Multiplayer::kNetLocal ? gameRoomBackTarget : int(MENU_ROOMS_LIST));
        else
            result = Update_MenuGameRoom();
        break;
    case MENU_GAME_SETTINGS:
        if (back)
            RequestBusyState(0);
        else
            Update_MenuGameSettings();
        break;
    case MENU_TEXT_EDIT:
        if (back)
            MenuTextEdit_Cancel();
        else
            Update_MenuTextEdit();
        break;
    case MENU_FINAL_STANDINGS:
        if (back && standingsLinkLost) {
            GoToState(MENU_LOCAL_INTERNET);
            if (const wchar_t* text = ErrorCodeToMsg(fonts, kErrLinkLost))
                MsgBoxShow_Info(text);
        } else if (back) {
            GoToState(MENU_GAME_ROOM);
        } else
            result = Update_MenuFinalStandings();
        break;
    default:
        break;
    }
    if (back && screen > MENU_LOCAL_INTERNET && screen < MENU_COUNT)
        Touchscreen_Reset();

    if (boxUp)
        pen = savedPen, penWas = savedPenWas;
    return result;
}

int KrvMp::Render(unsigned int t)
{
    if (PSurface3D* bg = GetGfx(GFX_BACKGROUND); bg && p3d) {
        PBlitFX fx;
        fx.scaleX = fx.scaleY = 0x10000;
        p3d->BlitFx(PRect {0, 0, width, height}, bg, nullptr, PS3D_SCALE, fx);
    }
    if (p3d) {
        switch (m_state) {
        case MENU_LOCAL_INTERNET:
            Render_MenuLocalInternet();
            break;
        case MENU_LOCAL:
            Render_MenuLocal();
            break;
        case MENU_INTERNET:
            Render_MenuInternet();
            break;
        case MENU_FILTERS:
            Render_MenuFilters();
            break;
        case MENU_ROOMS_LIST:
            Render_MenuRoomsList();
            break;
        case MENU_GAME_ROOM:
            Render_MenuGameRoom();
            break;
        case MENU_GAME_SETTINGS:
            Render_MenuGameSettings();
            break;
        case MENU_TEXT_EDIT:
            Render_MenuTextEdit();
            break;
        case MENU_FINAL_STANDINGS:
            Render_MenuFinalStandings();
            break;
        default:
            break;
        }
    }
    LoadingUpdateAndDraw(t);
    if (p3d && backButton)
        backButton->Render(p3d);
    if (p3d && msgBox)
        msgBox->Render(p3d);
    return 0;
}

void KrvMp::GoToState(int next)
{
    const int from = m_state;
    switch (next) {
    case MENU_LOCAL_INTERNET:
        MP_Release();
        break;
    case MENU_LOCAL:
        if (from != MENU_LOCAL_INTERNET)
            MP_Release();
        break;
    case MENU_INTERNET:
        favRemoval = 0;
        if (from != MENU_LOCAL_INTERNET) {
            MP_RoomsList_Abort();
            MP_LobbyLeave();
        }
        break;
    case MENU_FILTERS:
        MP_GetLobbys_Abort();
        MP_LobbyLeave();
        break;
    case MENU_ROOMS_LIST:
        if (from == MENU_GAME_ROOM)
            MP_RoomLeave();
        MenuRoomsList_UpdateTitle();
        MenuRoomsList_UpdateIpTitle();
        MenuRoomsList_UpdateButtons();
        MP_RoomsList_Begin();
        break;
    case MENU_GAME_ROOM:
        MenuGameSettings_resetSwappers();
        if (from == MENU_ROOMS_LIST)
            MP_RoomsList_Abort();
        MenuGameRoom_SetIpLabel();
        break;
    case MENU_GAME_SETTINGS:
        if (menus[MENU_GAME_SETTINGS].swappers[SW_PLANE] && profile) {
            SetUnlockedPlanes();
            SetPlaneSwapperValues();
            menus[MENU_GAME_SETTINGS].swappers[SW_PLANE]->SetValue(profile->GetCurrentPlane());
        }
        break;
    case MENU_TEXT_EDIT: {
        lobbyJoinPending = 1;
        directJoinPending = 0;
        if (textEditMode == EDIT_NAME_FILTER || textEditMode == EDIT_ROOM_ADDRESS)
            lobbyJoinPending = 0;
        const bool address = textEditMode == EDIT_LOBBY_ADDRESS || textEditMode == EDIT_ROOM_ADDRESS;
        char start[kNameSize] = {};
        if (address) {
            if (settings && settings->lastAddress[0])
                Fonts::StrDupNoAlloc(settings->lastAddress, start, int(sizeof start));
            else if (!MP_GetMyIP(start))
                start[0] = 0;
        } else {
            Fonts::StrDupNoAlloc(userName, start, int(sizeof start));
        }
        MenuStruct& m8 = menus[MENU_TEXT_EDIT];
        if (m8.keyboard) {
            m8.keyboard->KeysGenerate(
                p3d, m_ticker, address ? KrvMpTxtInput::KEYBOARD_NUMPAD : KrvMpTxtInput::KEYBOARD_QWERTY);
            if (TextInput* in = m8.keyboard->GetActiveInput()) {
                in->SetText(start);
                if (address && m8.keyboard->m_addressInput)
                    m8.keyboard->m_addressInput->SeekCursorToLastIpChunk();
            }
        }
        m8.title.m_fonts = fonts;
        m8.title.SetText(address ? 381 : 1);
        break;
    }
    case MENU_FINAL_STANDINGS:
        standingsShown = -1;
        FinalStandingsUpdate();
        break;
    default:
        break;
    }
    if (next != MENU_FINAL_STANDINGS)
        standingsLinkLost = 0;
    m_state = next;
}

// ---------------------------------------------------------------- touches

void KrvMp::TouchScreenEvent(int x, int y, int pressed)
{
    penWas = pen;
    touchX = x, touchY = y;
    pen = pressed ? 1 : 0;
    if (msgBox)
        msgBox->PenEvent(pen != 0);
}

void KrvMp::TouchScreenEventMove(int x, int y, int)
{
    if (pen & 1)
        touchX = x, touchY = y;
}

void KrvMp::Touchscreen_ReleasePen()
{
    penWas = pen;
    pen = 0;
}

void KrvMp::Touchscreen_Reset()
{
    pen = penWas = 0;
}

int KrvMp::ChosenButton(KrvMpButton* const* row, int count)
{
    int chosen = -1;
    for (int i = 0; i < count; i++)
        if (row[i] && row[i]->Touchscreen_Update(touchX, touchY, pen, penWas) && chosen < 0)
            chosen = i;
    return chosen;
}

// ---------------------------------------------------------------- shared routines

void KrvMp::SetDataToLevelGroup(LevelsGroup* group)
{
    KrvPlayer* me = MP_GetMe();
    if (!group || !me)
        return;
    group->aircraftChoice = uint8_t(me->plane);
    group->map = uint8_t(map);
    group->season = uint8_t(season);
    group->roomSetting = fragLimit;
}

void KrvMp::MsgBoxShow_Info(int textId)
{
    if (!msgBox)
        return;
    msgBox->Hide();
    msgBox->ButtonAdd(KrvMpMsgBox::BUTTON_OK);
    msgBox->ContentAdd(textId);
    msgBox->Show();
}

void KrvMp::MsgBoxShow_Info(const wchar_t* text)
{
    if (!msgBox)
        return;
    msgBox->Hide();
    msgBox->ButtonAdd(KrvMpMsgBox::BUTTON_OK);
    msgBox->ContentAdd(text);
    msgBox->Show();
}

void KrvMp::MsgBoxShow_UsernameBusy()
{
    if (!msgBox)
        return;
    msgBox->Hide();
    msgBox->ButtonAdd(KrvMpMsgBox::BUTTON_YES);
    msgBox->ButtonAdd(KrvMpMsgBox::BUTTON_NO);
    msgBox->ContentAdd(kTextNameInUse1);
    msgBox->ContentAdd(userName);
    msgBox->ContentAdd(kTextNameInUse2);
    msgBox->SetCallback(&KrvMp::MsgBox_UsernameBusy, this);
    msgBox->Show();
}

void KrvMp::MsgBox_UsernameBusy(int button, void* self)
{
    auto* mp = static_cast<KrvMp*>(self);
    if (button == KrvMpMsgBox::BUTTON_YES) {
        mp->textEditMode = EDIT_USER_NAME;
        mp->GoToState(MENU_TEXT_EDIT);
    }
    mp->Touchscreen_Reset();
}

void KrvMp::LoadingUpdateAndDraw(unsigned int t)
{
    PSurface3D* img = GetGfx(GFX_LOADING);
    if (!loading || !img)
        return;
    const int iw = int(img->Width()), fw = iw / kSpinnerFrames, h = int(img->Height());
    if (p3d && fw > 0) {
        p3d->SetClipRect(width - 16 - fw, 16, width - 16, 16 + h);
        static const uint32_t alphas[7] = {175, 151, 127, 103, 79, 55, 31};
        for (int k = 0; k < 7; k++) {
            const int f = (spinnerFrame - k + kSpinnerFrames) % kSpinnerFrames;
            const PRect src {f * fw, 0, fw, h};
            PBlitFX fx;
            fx.alpha = alphas[k];
            p3d->BlitFx(width - 16 - fw + iw / 16, h / 2 + 16, img, &src, PS3D_ALPHATEST | PS3D_ALPHA, fx);
        }
        p3d->ResetClipRect();
    }
    if (spinnerTime == 0) {
        spinnerTime = t;
    } else if (t - spinnerTime > kSpinnerStep - 1) {
        spinnerTime = t;
        spinnerFrame = uint8_t((spinnerFrame + 1) % kSpinnerFrames);
    }
}

void KrvMp::PlayClick()
{
    if (m_audio)
        m_audio->Play(kClickSound, 1, 0);
}

void KrvMp::FillList(KrvMpList* list, char** rows, int count)
{
    if (!list)
        return;
    const bool had = list->GetCount() > 0;
    list->RemoveAll();
    if (rows && count > 0) {
        for (int i = 0; i < count; i++) {
            auto* b = new (std::nothrow) KrvMpButton(fonts);
            if (!b)
                continue;
            b->SetRect(list->m_rect.x, list->m_rect.y, list->m_rect.width, kLineHeight);
            b->m_framed = 0;
            b->m_caption.SetText(rows[i] ? rows[i] : "");
            b->m_touchStyle = KrvMpButton::kHighlight;
            list->Add(b);
        }
    }
    list->Generate(had ? 1 : 0);
}

void KrvMp::PrintTitle(MenuStruct* screen)
{
    if (screen && p3d)
        screen->title.Render(p3d, 0, PRect {0, 0, width, 44}, KrvMpLabel::kCentered);
}

int KrvMp::FontHeight() const
{
    return fonts ? fonts->Height(0) : 0;
}

// A label over or under a list takes a line of font 0 and 2 pixels to either
// side. One that wraps (a long address under the list on a small screen)
// grows away from the list by its further lines, so that none of them is
// drawn over the list's frame.
PRect KrvMp::ListLabelRect(const KrvMpLabel* label, const KrvMpList* list, bool above) const
{
    const int f = FontHeight();
    const int h = std::max(label ? label->GetHeight(0, list->m_rect.width) : 0, f) + 4;
    const PRect& r = list->m_rect;
    return above ? PRect {r.x, r.y - h, r.width, h} : PRect {r.x, r.y + r.height + 2, r.width, h};
}

void KrvMp::ListLabelAbove(KrvMpLabel* label, const KrvMpList* list, int flags)
{
    if (!label || !list || !p3d)
        return;
    label->Render(p3d, 0, ListLabelRect(label, list, true), flags);
}

void KrvMp::ListLabelBelow(KrvMpLabel* label, const KrvMpList* list, int flags)
{
    if (!label || !list || !p3d)
        return;
    label->Render(p3d, 0, ListLabelRect(label, list, false), flags);
}
