// KorvanthApp: the game's application object. The platform layer makes it
// through PGameApp::Create, calls Init once, then MainLoop once per pass of
// its run loop, and forwards touches, focus, redraw, close and exit to it.
// It owns the long-lived services of the game (drawing context, texture
// manager, the data archive, the shared interface images) and the screens
// that come and go, and moves between them with its state machine: every
// screen returns a small result code that picks the next state.
//
// Screens and services arrive one by one. A state whose screen is not part
// of the program yet shows the loading frame, logs it and goes back to the
// menu state, so that the state machine always runs from start-up to exit.
#pragma once
#include <cstdint>

#include "engine/graphics/pblit.h"
#include "engine/platform/pdisplay.h"
#include "engine/platform/pgameapp.h"
#include "engine/runtime/pglobals.h"
#include "engine/runtime/ptime.h"
#include "game/frontend/settings.h"
#include "game/world/myinput.h"
#include "gl/prect.h"

class AudioManager;
class Console;
class Fonts;
class KrvMp;
class LevelsGroup;
class LevelsManager;
class Loading;
class MainGame;
class MainIntro;
class MainMenu;
class P3D;
class PSurface3D;
class PTextureManager;
class ProfileManager;

// The application states.
enum KorvanthState : int32_t {
    STATE_INTRO = 0,
    STATE_NO_PROFILE = 1,       // no profile could be loaded at start-up
    STATE_MENU_OPEN = 2,        // make (or reopen) the main menu, then run it in the same frame
    STATE_MENU = 3,
    STATE_LOAD_GAME = 4,        // single-player loading, one step a frame
    STATE_GAME = 5,
    STATE_LOAD_MATCH = 6,       // multiplayer loading
    STATE_MP_OPEN = 7,
    STATE_MP = 8,
    STATE_PROFILES = 10,
    STATE_PROFILES_OPEN = 11,
    STATE_ENDING = 12,
    STATE_DATA_ERROR = 14,      // "ERROR READING DATA!": fatal
    STATE_DATA_ERROR_SHOWN = 15,
    STATE_SAVE_ERROR = 16,      // "ERROR SAVING PROFILE!": back to the saved state
    STATE_SAVE_ERROR_SHOWN = 17,
    STATE_TUTORIAL_OFFER = 18,
    STATE_WRITE_FAILED = 19,    // the storage write test failed
    STATE_SETTINGS_FAILED = 20, // the settings could not be saved
    STATE_LOW_SPACE = 21,
    STATE_MP_NOTICE = 24,
    STATE_RESOLUTION = 25,      // the display is below 400 x 320
    STATE_PREPROCESS = 99,      // reads the level catalogue
    STATE_WRITE_TEST = 100,
    STATE_FREE_SPACE = 101,
};

// Exit stages: a fatal path requests the exit, the next frame draws one more
// loading frame, the one after ends the run loop.
enum KorvanthExitStage : uint8_t {
    EXIT_NONE = 0,
    EXIT_REQUESTED = 1,
    EXIT_FRAME_DRAWN = 3,
};

// Results of the intro and the end screen.
enum ScreenResult : int {
    SCREEN_FATAL = 0,
    SCREEN_RUNNING = 1,
    SCREEN_DONE = -1,
};

// Results of the main menu (state 3).
enum MenuResult : int {
    MENU_STAY = 0,
    MENU_PLAY = 1,
    MENU_QUIT = -1,
    MENU_DATA_MISSING = -2,
    MENU_BACK_TO_GAME = -3,
    MENU_MULTIPLAYER = 20000,
    MENU_MULTIPLAYER_NOTICE = 20001,
    MENU_PROFILES = 30000,
    MENU_TUTORIAL_OFFER = 40000,
    MENU_PLAY_SETTINGS_FAILED = 40001,
    MENU_SETTINGS_FAILED = 40002,
};

// Results of the profile screens (state 10).
enum ProfilesResult : int {
    PROFILES_STAY = 1,
    PROFILES_LEAVE = 0,
    PROFILES_SAVE_FAILED = -1,
    PROFILES_SAVE_FAILED_TO_MENU = -2,
    PROFILES_QUIT = -3, // backed out on a first run
};

// Results of a frame of the running game (state 5); kSaveFailedOffset is
// added when the profiles could not be saved.
enum GameResult : int {
    GAME_TO_MENU = 0,
    GAME_CONTINUE = 1,
    GAME_RESTART = 2,
    GAME_NEXT_LEVEL = 3,
    GAME_NEXT_CAMPAIGN = 4,
    GAME_CAMPAIGN_FINISHED = 5,
    GAME_ARCADE_MENU = 6,
    GAME_CAMPAIGN_MENU = 7,
    GAME_OPTIONS = 8,
    GAME_MATCH_OVER = 9,
};
constexpr int kGameSaveFailedOffset = 100;

// The shared interface images of the globals block, in their order.
enum SharedImage : int {
    IMAGE_SOFT_OK = 0,
    IMAGE_SOFT_BACK = 1,
    IMAGE_SOFT_INGAME = 2,
    IMAGE_SOFT_PAUSE = 3,
    IMAGE_SOFT_PLAY = 4,
    IMAGE_SOFT_BACK_PAPER = 5,
    IMAGE_METAL_BAR = 6,
    IMAGE_WARROOM = 7,
    SHARED_IMAGE_COUNT = 8,
};
// A shared image, or null when it is missing (a missing image is not drawn).
PSurface3D* GetSharedImage(int index);

// The event code of a display change.
constexpr int kEventDisplayChanged = 32;
// The key code latched as the back key.
constexpr int kKeyBack = 7;
// Below this size the resolution notice is shown.
constexpr int kMinWidth = 400, kMinHeight = 320;

// The orientation that turns a portrait display to landscape: a quarter turn
// from the current one.
int LandscapeOrientation(int current);

// The start-up storage write test: creates the files "usr\dummyfile<k>" for
// k = 0, 1, ... in the writable directory until `wanted` exist or one cannot
// be created, then deletes the names 0 up to and including the count made.
// Returns the count made: below `wanted` when the storage failed.
int StorageWriteTest(int wanted);

class KorvanthApp : public PGameApp {
public:
    KorvanthApp();
    ~KorvanthApp() override;

    int OnEvent(int code, int a, int b) override;
    int Init() override;
    void OnFocus(int has) override;
    int OnInput(int key, int key2, int flags) override;
    int OnMouseButton(int x, int y, int button, int flags) override;
    int OnMouseMove(int x, int y, int flags) override;
    void OnRedraw() override;
    void OnClose() override;
    void OnExit() override;
    int MainLoop() override;

    // Deletes every service and screen, in order; a second call does nothing.
    void ReleaseAll();

    // The screens of the application itself (startscreens.cpp).
    int ShowIntro();
    int ShowEnding();
    // Start-up cannot go on: gives the engine the first cause (the archive's
    // fault when it had one, else cause) and asks for the exit.
    void StartFailed(char const* cause);
    void ShowUnsupportedResolutionMsg();

    int32_t State() const { return m_state; }
    int32_t SavedState() const { return m_savedState; }
    uint8_t ExitStage() const { return m_exitStage; }
    int Focused() const { return m_focus; }
    PTicker const& Ticker() const { return m_ticker; }
    uint32_t FrameTime() const { return m_frameTime; }
    PDisplayProperties const& DisplayInfo() const { return m_props; }
    P3D* Context() const { return m_p3d; }
    AudioManager* Sounds() const { return m_sounds; }
    ProfileManager* Profiles() const { return m_profiles; }
    MainMenu* Menu() const { return m_menu; }
    LevelsGroup* CurrentGroup() const { return m_currentGroup; }
    uint8_t CurrentLevel() const { return m_currentLevel; }
    MainGame* Game() const { return m_game; }

    // A level to start at once instead of waiting in the menu: campaign and
    // level index, from the environment variable KRV_LEVEL ("N" for level N
    // of the first campaign, "C:N" for level N of campaign C). 0 when unset
    // or malformed (logged).
    static int DirectLevel(char const* text, int& campaign, int& level);

private:
    friend struct KorvanthAppProbe; // the tests' view of the state machine

    struct Touch {
        int32_t down = 0;     // pen down now
        int32_t wasDown = 0;  // pen down before the last touch event
        int32_t x = 0;
        int32_t y = 0;
    };

    // Moves to a state (logged).
    void SetState(int32_t state);
    // The common end of a frame: key latches cleared, the frame presented.
    void EndFrame();
    // Runs the current state; false when the state presents (or skips) the
    // frame itself.
    bool Dispatch();
    void SetGLDefaults();
    void MenuProjection();
    void TextureManagerStep();
    // The level groups of every mode, from the level catalogue.
    void InitLevelGroups();
    // One frame of the loading screen, presented (a cleared frame without
    // a loading screen).
    void LoadingFrame();
    // A state whose screen is not built yet: the loading frame, a log line,
    // back to the menu state.
    void ScreenMissing(char const* what);
    // A message state without the message window: logged and passed over
    // as if dismissed.
    void MessageMissing(char const* what, int32_t next);
    void DisplayChanged();
    // Single-player loading (state 4) and the game's frame (state 5).
    void RunGameLoading();
    void RunGame();
    void DeleteGame();
    // The first step of loading a game or a match: the loading screen from
    // its start and a new session in place of the last one.
    void NewGameForLoading();
    // A load the player cancelled: the game goes and the menu reopens where
    // it was left.
    void CancelGameLoading();
    // Remembers which menu page to reopen after a game.
    void DetectGameMode();
    // Starts the level named by KRV_LEVEL once, as the menu's play choice
    // would; false when none is asked for.
    bool StartDirectLevel();

    // Start-up checks and message states (startscreens.cpp).
    void RunWriteTest();
    void RunFreeSpaceCheck();
    // The message states; false when the frame is not presented.
    bool RunMessageState();
    // Fills the message window with the texts first..last (or one fixed
    // line), without buttons or with OK only, and lays it out.
    void BuildMessage(unsigned first, unsigned last, char const* fixed, bool buttons, bool onlyOk);
    // The profile screens (state 10); false when the frame is not presented.
    bool RunProfileScreens();
    // The main menu (korvanthmenu.cpp): made and reopened where the last
    // game left it (state 2; false when it cannot be made), and one frame
    // of it with its result (state 3; false when the frame is not presented).
    bool OpenMainMenu();
    bool RunMainMenu();
    // The menu drawn behind a message window (keys 0, its result unused).
    void MenuBehind();
    // The multiplayer menus (korvanthmp.cpp): entered (state 7; false when
    // the front end cannot be made) and one frame of them with their result
    // (state 8).
    bool OpenMultiplayerMenus();
    bool RunMultiplayerMenus();
    // A match: loaded in one call behind the loading screen (state 6); the
    // session's update of a frame of play or of the menu shown over a match
    // (false when the link was lost and the multiplayer menus took over);
    // the end of a match, back to the multiplayer menus' standings.
    void RunMatchLoading();
    bool MatchSessionUpdate();
    void MatchLinkLost();
    // The host left this player out of the match: back to the room, told why.
    void MatchLeftOut();
    // What both share: the game and its menu gone, the session released
    // (the link lost) or its match ended, the multiplayer menus at a page.
    void LeaveMatchForMenus(int menuState, bool linkLost);
    void MatchOver();

    Touch m_touch;
    uint8_t m_loadCancel = 0;
    PDisplay* m_display = nullptr; // owned by the system manager
    PDisplayProperties m_props = {};
    PSurface3D* m_endImage = nullptr;
    PTicker m_ticker;
    int32_t m_nextFrameTime = 0;
    uint32_t m_frameTime = 0;
    LevelsGroup* m_currentGroup = nullptr; // the group the next game is loaded from
    uint8_t m_currentLevel = 0;
    int8_t m_reopenCampaign = -1;
    int8_t m_reopenArcade = -1;
    int8_t m_reopenTimeAttack = -1;
    int8_t m_reopenGameSelection = -1;
    uint8_t m_openOptions = 0;
    PRect m_fullScreen = {0, 0, 0, 0};
    PBlitFX m_fullScreenFx;
    P3D* m_p3d = nullptr;
    PTextureManager* m_textures = nullptr;
    MyInput m_input;            // its keyState is the pressed-key word
    LevelsManager* m_levels = nullptr;       // the level catalogue
    LevelsGroup** m_campaignGroups = nullptr; // the array is ours, the groups the catalogue's
    uint8_t m_campaignCount = 0;
    LevelsGroup* m_timeAttackGroup = nullptr;
    LevelsGroup* m_arcadeGroup = nullptr;
    LevelsGroup* m_tutorialGroup = nullptr;
    LevelsGroup* m_multiplayerGroup = nullptr;
    int32_t m_keyLatch = 0;     // last key code, cleared at the end of every frame
    int32_t m_keyLatch2 = 0;
    uint8_t m_digitKeys[10] = {};
    int32_t m_frameCounter = 0;
    int32_t m_focus = 0;
    int32_t m_aspect = 0x10000; // width / height, 16.16
    Settings m_settings;
    Loading* m_loading = nullptr;
    Fonts* m_fonts = nullptr;
    Console* m_console = nullptr;
    AudioManager* m_sounds = nullptr;
    MainIntro* m_intro = nullptr;
    MainMenu* m_menu = nullptr;
    ProfileManager* m_profiles = nullptr;
    KrvMp* m_mp = nullptr;      // the multiplayer front end
    uint8_t m_exitStage = EXIT_NONE;
    char m_archiveProblem[96] = {}; // why data.vfs did not open, or empty
    uint8_t m_navigatorExit = 0;
    uint8_t m_started = 0;
    int32_t m_state = STATE_PREPROCESS;
    int32_t m_screenStep = 0;
    int32_t m_savedState = 0;
    uint32_t m_endStart = 0;
    int32_t m_loadStep = 0;
    int32_t m_lastIntroKeys = 0;
    PGlobals* m_globals = nullptr;
    PSurface3D* m_introBackground = nullptr; // borrowed from the globals block
    int m_deviceId = 0;
    int32_t m_missingLogged = -1; // the state whose missing screen was last logged
    MainGame* m_game = nullptr;
    uint8_t m_directLevelDone = 0;
};
