// The player profiles: the list of up to five profiles and the current one,
// loaded from and saved to usr/profiles.cfg and usr/profile_<index> (layout
// in docs/formats/profile.md); the profile screens (browse, choose, create
// with the on-screen keyboard, delete, the single-player and multiplayer
// pages with the turning aircraft preview); and the message window the
// application asks its questions with.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/runtime/pstring.h"
#include "game/frontend/profile.h"
#include "game/world/myinput.h"
#include "game/world/tapguard.h"

class AudioManager;
class Fonts;
class LevelsGroup;
class MyInput;
class P3D;
class P3DGameEngine;
class PlanesManager;
class PlaneScene;
class PSurface3D;
class PTextureManager;
class PTicker;
class TextInput;

// Results of Process.
enum ProfileScreenResult : int {
    PROFILE_SCREEN_STAY = 1,
    PROFILE_SCREEN_LEAVE = 0,
    PROFILE_SCREEN_SAVE_FAILED = -1,
    PROFILE_SCREEN_LEAVE_SAVE_FAILED = -2,
    PROFILE_SCREEN_FIRST_RUN_BACK = -3,
};

// Answers of the message window.
enum MessageAnswer : int { MESSAGE_NO = 0, MESSAGE_YES = 1, MESSAGE_PENDING = -1 };

class ProfileManager {
public:
    static constexpr int kMaxProfiles = 5;
    static constexpr int kListSize = 2;
    static constexpr int kMaxNickLength = 10;
    static constexpr int kClickSound = 11;
    static constexpr int kMedalsShown = 6;
    static constexpr int kCampaigns = 3;

    enum ScreenState : uint8_t { SCREEN_MAIN = 0, SCREEN_CREATE = 1, SCREEN_QUESTION = 2 };

    // A layout rectangle that opens from its centre.
    struct Window {
        int x = 0, y = 0, w = 0, h = 0;
        int opening[4] = {}; // half width, half height, width, height still to open
        uint8_t state = 0;   // kOpening, kOpen, kHeld
        uint32_t lastStep = 0;
        int tx = 0, ty = 0, tw = 0, th = 0; // touch rectangle (the window when tw is 0)
        enum : uint8_t { kOpen = 0, kHeld = 1, kOpening = 2 };
        void Set(int x, int y, int w, int h);
        void Open();
        // Fully open now: nothing left to open, drawn at full size.
        void OpenAtOnce();
        // One opening step; true once open.
        bool Step(uint32_t now);
        bool Contains(int px, int py) const;
    };

    ProfileManager(P3D* p3d, Fonts* fonts, AudioManager* sounds, MyInput* input, int width, int height,
                   PTicker* ticker);
    // Saves the profiles, then frees them and everything the screens hold.
    ~ProfileManager();
    ProfileManager(const ProfileManager&) = delete;
    ProfileManager& operator=(const ProfileManager&) = delete;

    // --- the list -------------------------------------------------------------
    // Loads the list; the first-run flag is set when there is none.
    void InitProfiles();
    // 1 when a list with at least one profile was read. A profile whose file
    // does not load stays fresh. A count above kMaxProfiles is cut and a
    // current index out of range becomes 0.
    int LoadProfiles();
    // Writes the list and every profile file; 1, or 0 on the first failure.
    // A failure at a profile file removes the list (the next start is a
    // first run); one at the list keeps the old list.
    int SaveProfiles();
    // Appends the profile (owned) and makes it current; a single-player
    // nickname "ZUNK" gets the hidden bonus. Refused (0, profile deleted)
    // when the list is full.
    int AddProfile(Profile* profile);
    void RemoveProfile(uint8_t index);
    Profile* CurrentProfile() const { return m_profiles.empty() ? nullptr : m_profiles[m_current]; }
    Profile* GetProfile(int i) const { return i >= 0 && i < Count() ? m_profiles[size_t(i)] : nullptr; }
    int Count() const { return int(m_profiles.size()); }
    uint8_t CurrentIndex() const { return m_current; }
    bool FirstRun() const { return m_firstRun != 0; }
    // How many of the profile files and the list open for reading.
    int TestProfileFiles() const;
    static int GetDataSize() { return kMaxProfiles * Profile::kDataSize + kListSize; }
    void SetSPLevelsGroupPtr(LevelsGroup** groups, uint8_t count, LevelsGroup* timeAttack);
    // The text of rank r (null when the rank pictures did not load or r is
    // out of range).
    const wchar_t* GetTextOfRank(int rank) const;
    // "usr/profile_<i>".
    static void ProfileFileName(int i, char* out, int size);

    // --- the screens ----------------------------------------------------------
    // Loads the pictures; 0 when the memory for them is short (missing
    // pictures are simply not drawn).
    int InitGfx();
    void InitStrings();
    void LoadBtnIcons();
    void ReleaseBtnIcons();
    void Close() { ReleaseBtnIcons(); }
    void OpenMain();
    // One frame of logic: ProfileScreenResult.
    int Process(int keys, int keyCode, int keyCode2);
    void Render(P3D* p3d);
    void TouchScreenEvent(int x, int y, bool pressed);
    void TouchScreenEventMove(int x, int y, int id);
    void TouchScreen_ReleasePen();
    // The turning aircraft of the multiplayer page.
    void LoadPlanesWithEngine(PTextureManager* textures, P3D* p3d);
    void ReleasePlanesWithEngine();
    int PlaneCount() const { return m_planeCount; }
    // A new screen size (and context) after a display change.
    void SetScreen(P3D* p3d, int width, int height);
    uint8_t State() const { return m_state; }
    int ViewedProfile() const { return m_viewed; }
    int ViewedPlane() const { return m_viewedPlane; }
    uint8_t Page() const { return m_page; }
    const TextInput* NameInput() const { return m_text; }

    // The nickname box of the main menu.
    void DrawCurrentProfileBox(int y, bool right, signed char brightness);
    void DrawImageInBorder(PSurface3D* image, int x, int y);
    void DrawRankIconInBorder(int rank, int x, int y);
    // The half-border image DrawImageInBorder draws twice (null until loaded).
    const PSurface3D* RankBorder() const { return m_rankBorder; }

    // --- the message window ---------------------------------------------------
    void WarningWnd_Zero();
    void WarningWnd_AddTxt(PString* line); // a copy is kept
    void WarningWnd_ButtonsHide(bool hide) { m_msgNoButtons = hide; }
    void WarningWnd_OnlyOkButton(bool only) { m_msgOnlyOk = only; }
    // Lays the window out; it opens: only a tap pressed after it has been
    // drawn whole, its opening over, answers it (TapGuard).
    void InitWarningWindow();
    // MessageAnswer. The key codes are the frame's latched codes (7 back,
    // 6 yes).
    int WarningWnd_Process(int keys, int keyCode = 0, int keyCode2 = 0);
    // The pen has been put down since the window was drawn whole (what
    // dismisses the notices without buttons).
    bool WarningWnd_Tapped() const { return m_msgTap.Armed(); }
    // Draws the window; drawn whole, it starts to take taps.
    void WarningWnd_Draw();
    bool IsWarningWnd_InUse() const { return m_state == SCREEN_QUESTION; }
    void SetMainState() { m_state = SCREEN_MAIN; }
    // Shows the message window on its own (the application's questions).
    void SetQuestionState() { m_state = SCREEN_QUESTION; }
    const Window& MessageFrame() const { return m_msgWnd[0]; }
    // The main screen's layout windows (0 the frame .. 7 the bar), the
    // selected medal (-1 none) and the clicks played so far.
    const Window& LayoutWindow(int i) const { return m_wnd[i >= 0 && i < WND_COUNT ? i : 0]; }
    int SelectedMedal() const { return m_medalSelected; }
    uint32_t ClicksPlayed() const { return m_clicks; }
    const Window& MessageButton(int i) const { return m_msgWnd[1 + (i ? 1 : 0)]; }

    // Set while the multiplayer front end runs.
    uint8_t multiplayer = 0;
    // Set while the application waits for a message answer.
    uint8_t messagePending = 0;

private:
    enum Layout : int {
        WND_FRAME,
        WND_TITLE,
        WND_HEADER,
        WND_RANK,
        WND_LEFT,
        WND_RIGHT,
        WND_NEXT_RANK,
        WND_BAR,
        WND_COUNT
    };
    enum Button : int { BTN_PREV, BTN_SELECT, BTN_NEW, BTN_DELETE, BTN_NEXT, BTN_COUNT };
    static constexpr int kMedalForms = 3;

    struct TouchState {
        int x = 0, y = 0;
        bool down = false, wasDown = false;
        bool Released() const { return wasDown && !down; }
        bool Pressed() const { return down && !wasDown; }
    };

    void ClearProfiles();
    void ApplyBonus(Profile* p);
    int SaveAfterChange(int ok);
    bool Released(int x, int y, int w, int h) const;
    bool Inside(int x, int y, int w, int h) const;
    void Consume();
    void Click();
    bool ButtonAvailable(int b) const;
    void ButtonRect(int b, int& x, int& y, int& w, int& h) const;
    void KeyRect(int row, int col, int& x, int& y, int& w, int& h) const;
    int IconW() const;
    int IconH() const;
    int ProcessMain(int keys, int keyCode);
    int ProcessCreate(int keys, int keyCode, int keyCode2);
    int ProcessQuestion(int keys, int keyCode, int keyCode2);
    int ProcessMultiplayerPage();
    void RenderMain();
    void RenderCreate();
    void RenderHeader(Profile* p);
    void RenderMedals(Profile* p);
    void RenderProgress(Profile* p);
    void RenderPlaneData(Profile* p);
    void RenderPreview(Profile* p);
    void DrawFrame(const Window& w, signed char brightness);
    void Blit(PSurface3D* image, int x, int y, int alpha = 255, int scalePercent = 100, bool additive = false);
    bool WindowsOpening();
    bool PlaneLocked(Profile* p, int plane) const;

    std::vector<Profile*> m_profiles;
    uint8_t m_current = 0;
    uint8_t m_firstRun = 0;
    LevelsGroup** m_groups = nullptr;
    uint8_t m_groupCount = 0;
    LevelsGroup* m_timeAttack = nullptr;

    P3D* m_p3d;
    Fonts* m_fonts;
    AudioManager* m_sounds;
    MyInput m_ownInput; // used when the application gives none
    MyInput* m_input;
    int m_width, m_height;
    PTicker* m_ticker;

    uint8_t m_state = SCREEN_MAIN;
    int8_t m_viewed = 0;
    uint8_t m_page = 0;
    int8_t m_viewedPlane = 0;
    uint8_t m_profilesExist = 1;
    TouchState m_touch;
    int m_medalSelected = -1;
    int m_highlight = -1;
    int m_key = -1;
    uint32_t m_blink = 0;
    uint32_t m_clicks = 0;
    Window m_wnd[WND_COUNT];
    Window m_msgWnd[3];
    TextInput* m_text = nullptr;

    PSurface3D* m_inAction = nullptr;
    PSurface3D* m_inUse = nullptr;
    PSurface3D* m_keyImage = nullptr;
    PSurface3D* m_deleteKey = nullptr;
    PSurface3D* m_pageIcon[2] = {};
    PSurface3D* m_ranks[Profile::kRanks] = {};
    uint8_t m_rankCount = 0;
    PSurface3D* m_rankBorder = nullptr;
    PSurface3D* m_medals[kMedalsShown][kMedalForms] = {};
    PSurface3D* m_buttons[BTN_COUNT] = {};
    unsigned m_medalTexts[kMedalsShown] = {};

    P3DGameEngine* m_engine = nullptr;
    PlanesManager* m_planes = nullptr;
    std::vector<PlaneScene*> m_planeScenes;
    int m_planeCount = 0;
    int32_t m_yaw = 0;

    std::vector<PString> m_msgLines;
    bool m_msgNoButtons = false;
    bool m_msgOnlyOk = false;
    uint8_t m_msgFocus = 0;
    TapGuard m_msgTap;
};
