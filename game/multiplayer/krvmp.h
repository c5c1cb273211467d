// The multiplayer front end: nine full-screen touch menus (network choice,
// local network, lobby servers, their filters, rooms, game room, game
// settings, text editor, final standings), a back button, one modal message
// box and a loading spinner, drawn over the match session that they drive.
// The application creates one KrvMp, sets the four service pointers, calls
// Init on every entry to the menus and then Update and Render once a frame;
// Update answers -1 (leave the menus), 1 (a match starts) or 0.
#pragma once
#include <cstdint>

#include "game/multiplayer/krvmpconn.h"
#include "game/multiplayer/krvmpmsgbox.h"

class AudioManager;
class LevelsGroup;
class PSurface3D;
class PTicker;
class Settings;

class KrvMp : public KrvMpConn {
public:
    enum MENU_STATE : int {
        MENU_NONE = 0,
        MENU_LOCAL_INTERNET = 1,
        MENU_LOCAL = 2,
        MENU_INTERNET = 3,
        MENU_FILTERS = 4,
        MENU_ROOMS_LIST = 5,
        MENU_GAME_ROOM = 6,
        MENU_GAME_SETTINGS = 7,
        MENU_TEXT_EDIT = 8,
        MENU_FINAL_STANDINGS = 9,
        MENU_COUNT = 10,
    };
    // Text-editor modes.
    enum TEXT_EDIT_MODE : int {
        EDIT_USER_NAME = 0,
        EDIT_NAME_FILTER = 1,
        EDIT_LOBBY_ADDRESS = 2,
        EDIT_ROOM_ADDRESS = 3
    };
    // Image slots (GetGfx).
    enum GFX : int {
        GFX_BACKGROUND = 0,
        GFX_ACCEPT = 1,
        GFX_BACK = 2,
        GFX_RIGHT = 3,
        GFX_LEFT = 4,
        GFX_LOCAL_NET = 5,
        GFX_INTERNET = 6,
        GFX_LOADING = 7,
        GFX_FREE = 8,
        GFX_BUSY = 9,
        GFX_RANK0 = 10,
        GFX_PLANE0 = 15,
        GFX_COUNT = 20,
    };
    static constexpr int kRanks = 5;
    static constexpr int kPlaneIcons = 5;
    static constexpr int kUserNameSize = 32;
    static constexpr int kRoomNameSize = 64;
    static constexpr unsigned kBackKey = 0x40;
    static constexpr int kClickSound = 11;
    static constexpr int kLineHeight = 44;
    static constexpr int kSpinnerFrames = 8;
    static constexpr unsigned kSpinnerStep = 100; // ms per frame, at least
    static constexpr unsigned kRoomsRefresh = 1500; // ms between room lists
    static constexpr unsigned kOwnLineColour = 0x4CF7A11A;
    static constexpr unsigned kStandingsHighlight = 0x7FFFCC88;
    static constexpr int kStandingsRows = 5;
    static constexpr int kStandingsColumns = 3;
    static constexpr int kLastAddressChars = 23;

    // One screen: its title, then its widgets (null when missing).
    struct MenuStruct {
        KrvMpLabel title;
        // Screens 1 and 2: the two choices; screen 3: refresh, remove,
        // done, address, filters; screen 4: the five filters; screen 5:
        // first and favourite; screen 6: start, settings; screen 8:
        // accept, left, right.
        KrvMpButton* buttons[5] = {};
        KrvMpList* list = nullptr;
        // Screen 3: status; screen 5: address; screen 6: address, then
        // three name and three value labels of the preview.
        KrvMpLabel* labels[7] = {};
        KrvMpSwapper* swappers[4] = {};
        KrvMpTxtInput* keyboard = nullptr;
        KrvMpLabel* standings[kStandingsRows * kStandingsColumns] = {};
    };

    KrvMp();
    ~KrvMp();

    void Init(int width, int height, Profile* profile, PTicker* ticker, AudioManager* audio);
    void Release();
    int Update(unsigned int now);
    int Render(unsigned int now);
    void GoToState(int state);

    void TouchScreenEvent(int x, int y, int pressed);
    void TouchScreenEventMove(int x, int y, int unused);
    void Touchscreen_ReleasePen();
    void Touchscreen_Reset();

    void SetDataToLevelGroup(LevelsGroup* group);
    void MsgBoxShow_Info(int textId);
    void MsgBoxShow_Info(const wchar_t* text);
    void MsgBoxShow_UsernameBusy();
    void LoadingUpdateAndDraw(unsigned int now);
    void PlayClick();
    PSurface3D* GetGfx(int index) const;
    unsigned GetKey() const { return keys ? *keys : 0; }
    int GetState() const { return m_state; }

    void FillList(KrvMpList* list, char** rows, int count);
    void PrintTitle(MenuStruct* screen);
    // Where a label over (above) or under a list is drawn.
    PRect ListLabelRect(const KrvMpLabel* label, const KrvMpList* list, bool above) const;
    void LoadGfx();
    void ReleaseGfx();
    void SetAirplaneModelNames();
    void ReleaseAirplaneModelNames();
    void SetUnlockedPlanes();

    static void MsgBox_UsernameBusy(int button, void* self);
    static void MsgBox_AddToFav(int button, void* self);
    static void MsgBox_RemFromFav(int button, void* self);

    // Screens 1 to 5.
    void Update_MenuLocalInternet();
    void Update_MenuLocal();
    void Update_MenuInternet();
    void Update_MenuFilters();
    void Update_MenuRoomsList();
    void Render_MenuLocalInternet();
    void Render_MenuLocal();
    void Render_MenuInternet();
    void Render_MenuFilters();
    void Render_MenuRoomsList();
    void MenuInternet_SetStatus(int textId);
    void MenuFilters_Confirm(uint8_t request);
    void MenuRoomsList_UpdateTitle();
    void MenuRoomsList_UpdateIpTitle();
    void MenuRoomsList_UpdateButtons();

    // Screens 6 to 9.
    int Update_MenuGameRoom();
    void Update_MenuGameSettings();
    void Update_MenuTextEdit();
    int Update_MenuFinalStandings();
    void Render_MenuGameRoom();
    void Render_MenuGameSettings();
    void Render_MenuTextEdit();
    void Render_MenuFinalStandings();
    int HandleStartGame();
    void FinalStandingsUpdate();
    void MenuGameRoom_setPlayerIcons(KrvMpButtonExt* line, const KrvPlayer* player);
    void MenuGameRoom_settPreviewUpdate();
    void MenuGameRoom_SetIpLabel();
    void MenuGameSettings_resetSwappers();
    void MenuTextEdit_Accept();
    void MenuTextEdit_Cancel();

    // Services, set before Init; not owned.
    Settings* settings = nullptr;
    P3D* p3d = nullptr;
    Fonts* fonts = nullptr;
    const unsigned* keys = nullptr;

    // The screens and their state, open to the application and the tests.
    MenuStruct menus[MENU_COUNT];
    KrvMpButton* backButton = nullptr;
    KrvMpMsgBox* msgBox = nullptr;
    int textEditMode = EDIT_USER_NAME;
    int gameRoomBackTarget = MENU_ROOMS_LIST;
    int standingsHighlight = -1;
    // The rows the final standings show (-1: none yet), so that they are
    // written and logged again only when they change.
    int standingsShown = -1;
    KrvPlayer standingsShownRows[kMaxPlayers] = {};
    // The link went while the final standings were shown.
    uint8_t standingsLinkLost = 0;
    char userName[kUserNameSize] = {};
    uint32_t roomsRefreshTime = 0;
    uint8_t favView = 0;
    uint8_t favRemoval = 0;
    uint8_t loading = 0;
    uint8_t spinnerFrame = 0;
    uint32_t spinnerTime = 0;
    char** planeNames = nullptr;
    int planeNameCount = 0;
    uint8_t unlockedPlanes = 0;
    int touchX = 0, touchY = 0, pen = 0, penWas = 0;
    int width = 0, height = 0;

private:
    // The lobby, room and game-room screens' widgets by role.
    enum : int { B_REFRESH = 0, B_REMOVE = 1, B_DONE = 2, B_ADDRESS = 3, B_FILTERS = 4 };
    enum : int { B_FIRST = 0, B_FAVOURITE = 1 };
    enum : int { B_START = 0, B_SETTINGS = 1 };
    enum : int { B_ACCEPT = 0, B_LEFT = 1, B_RIGHT = 2 };
    enum : int { L_ADDRESS = 0, L_PREVIEW = 1 };
    enum : int { SW_PLANE = 0, SW_MAP = 1, SW_SEASON = 2, SW_FRAGS = 3 };

    void BuildScreens();
    void DestroyScreens();
    KrvMpButton* NewButton(int caption, int x, int y, int w, int h, uint8_t style);
    KrvMpLabel* NewLabel();
    // The first button of a row released this frame (all are asked), -1.
    int ChosenButton(KrvMpButton* const* row, int count);
    void FillUserName();
    // The user name, a blank and the room text, cut to the buffer.
    void BuildRoomName(char* out, int size);
    // Host part (before the last colon) and port of text; 0 without colon.
    static int SplitAddress(const char* text, char* host, int hostSize, int32_t& port);
    // Whether MP_GetMyIP's host part equals host.
    int IsOwnAddress(const char* host);
    void RoomsListRestart();
    void SetPlaneSwapperValues();
    void ListLabelAbove(KrvMpLabel* label, const KrvMpList* list, int flags);
    void ListLabelBelow(KrvMpLabel* label, const KrvMpList* list, int flags);
    void StoreLastAddress(const char* text);
    int FontHeight() const;

    int m_state = MENU_NONE;
    uint8_t m_built = 0;
    PSurface3D* m_gfx[GFX_COUNT] = {};
    uint8_t m_gfxShared[GFX_COUNT] = {};
    Profile* m_profileArg = nullptr;
    PTicker* m_ticker = nullptr;
    AudioManager* m_audio = nullptr;
};
