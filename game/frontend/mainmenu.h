// The main menu between games: a bomb hanging in an aircraft's bomb bay with
// the menu labels painted around its body. The player turns the bomb (drag,
// or up and down keys) until the wanted label faces the selector frame and
// taps the selector (or presses fire). "Play" drops the bomb onto the ground
// far below, where it explodes; every other choice closes the bay's hatch
// doors and shows a flat page over them (game selection, options, help,
// credits, the level pages) or hands control back to the application with a
// result code.
//
// Pages (m_page): 0 .. count-1 the bomb with that label facing the
// selector; 8 the bomb falls, 9 the pause before the blast, 10 the
// explosion, 11 the hatch closes, 12 the hatch opens; 13 game selection,
// 14 options, 15 help, 16 credits, 28 more games (mainmenu.cpp,
// menupages.cpp); 17 and 19 the transitions into and out of the level
// pages, 18 campaigns, 26 time attack, 27 arcade (levelselect.cpp).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "engine/graphics/pblit.h"
#include "engine/platform/pdisplay.h"
#include "engine/runtime/pfixed.h"
#include "game/world/myinput.h"
#include "gl/prect.h"

class AudioManager;
class Fonts;
class LevelsGroup;
class LevelsManager;
class P3D;
class PMesh;
class PSprite3D;
class PSurface3D;
class PTextureManager;
class ProfileManager;
class Settings;
class UIMoreGames;

// Results of MainMenu::RenderMainMenu.
enum MainMenuResult : int {
    MAINMENU_STAY = 0,
    MAINMENU_PLAY = 1,                  // the chosen group and level are set
    MAINMENU_QUIT = -1,
    MAINMENU_DATA_MISSING = -2,         // backdrop pictures, sprites or the bomb mesh
    MAINMENU_BACK_TO_GAME = -3,         // options closed that a running game opened
    MAINMENU_MULTIPLAYER = 20000,       // the hatch closed after choosing multiplayer
    MAINMENU_MULTIPLAYER_NOTICE = 20001,
    MAINMENU_PROFILES = 30000,
    MAINMENU_TUTORIAL_OFFER = 40000,
    MAINMENU_PLAY_SETTINGS_FAILED = 40001,
    MAINMENU_SETTINGS_FAILED = 40002,
};

class MainMenu {
public:
    // Pages with fixed numbers.
    enum Page : int {
        PAGE_FALL = 8,
        PAGE_BLAST_PAUSE = 9,
        PAGE_EXPLOSION = 10,
        PAGE_HATCH_CLOSE = 11,
        PAGE_HATCH_OPEN = 12,
        PAGE_GAME_SELECTION = 13,
        PAGE_OPTIONS = 14,
        PAGE_HELP = 15,
        PAGE_CREDITS = 16,
        PAGE_LEVELS_OPEN = 17,
        PAGE_CAMPAIGNS = 18,
        PAGE_LEVELS_CLOSE = 19,
        PAGE_TIME_ATTACK = 26,
        PAGE_ARCADE = 27,
        PAGE_MORE_GAMES = 28,
    };
    // Logical menu items (the label order around the bomb).
    enum Item : int {
        ITEM_PLAY = 0,
        ITEM_MULTIPLAYER = 1,
        ITEM_PROFILES = 2,
        ITEM_OPTIONS = 3,
        ITEM_HELP = 4,
        ITEM_CREDITS = 5,
        ITEM_EXIT = 6,
        ITEM_COUNT = 7,
    };
    // Rotation modes.
    enum Rotation : int { ROT_IDLE = 0, ROT_NEXT = 1, ROT_PREVIOUS = 2, ROT_TO_LAST = 3, ROT_TO_FIRST = 4 };
    // Sound clips.
    enum Clip : int {
        CLIP_MUSIC = 0,
        CLIP_FALL = 8,
        CLIP_EXPLOSION = 9,
        CLIP_CONFIRM = 11,
        CLIP_CHOOSE = 12,
        CLIP_TURN = 13,
    };

    // Label i faces the selector at kFirstAngle - i x kAngleStep (16.16
    // degrees: 195.0 and 44.632).
    static constexpr int32_t kFirstAngle = 0xC30000;
    static constexpr int32_t kAngleStep = 2925000;
    static constexpr int32_t kBombStartY = -30 * 65536;
    static constexpr int kHatchOpen = 109;
    static constexpr int kInputDelayMs = 300;
    static constexpr int kFirstFrameTime = 50;
    static constexpr unsigned kItemTexts[ITEM_COUNT] = {33, 34, 35, 36, 37, 27, 38};
    static constexpr int kHelpRows = 88;
    static constexpr int kCreditsRows = 15;
    static constexpr int kHelpImages = 7;
    static constexpr int kCampaignPictures = 3;
    static constexpr int kMinTouchSide = 44;

    // One row of the help table: kind flags (1 text, 2 centred, 4 image,
    // 8 rule), value (text id, -1 a gap, or image number) and font.
    struct HelpRow {
        int32_t kind, value, font;
    };
    static const HelpRow HelpTbl[kHelpRows];
    // One row of the credits: flags (1 text, 2 centred, 4 image, 8 rule)
    // and text (an image row without text is the engine emblem).
    struct CreditsRow {
        int32_t flags;
        const wchar_t* text;
    };
    static const CreditsRow CreditsTbl[kCreditsRows];

    MainMenu(PDisplayProperties* props, Fonts* fonts, AudioManager* sounds, ProfileManager* profiles,
             LevelsManager* levels, LevelsGroup* multiplayerGroup, LevelsGroup** campaignGroups, uint8_t campaignCount,
             LevelsGroup* timeAttackGroup, LevelsGroup* tutorialGroup, LevelsGroup* arcadeGroup);
    virtual ~MainMenu();
    MainMenu(const MainMenu&) = delete;
    MainMenu& operator=(const MainMenu&) = delete;

    // 1, or 0 when the aircraft names or the arcade data cannot be read.
    int Init(Settings* settings);
    int InitStrings();
    // The first lines of data\planes\config1.txt, config2.txt, ... until one
    // does not open; their count.
    int ReadAirplaneNames();
    // The aircraft numbers ("planes", "index") and the spawn count of the
    // header of the arcade group's first level; 1 (also without an arcade
    // level), 0 when its script does not load. A number that names no
    // aircraft is logged and kept as -1, so that positions still match the
    // script's list.
    int ReadPreDataForArcade(std::vector<short>& list, int& spawns);
    // Artwork, bomb mesh, label texture, music; 0 when anything required is
    // missing.
    int LoadMenu(P3D* p3d, PTextureManager* textures);
    int LoadMenuArtwork();
    // Paints the labels onto the bomb's texture; 0 when "texture.png" or
    // the font does not load (no texture then).
    int GenerateBombTexture();
    void ReInitPage();
    void SetCurrentVolumeToAllSFX();

    // One frame: MainMenuResult. now is the application's clock (ms).
    int RenderMainMenu(P3D* p3d, PDisplayProperties* props, PDisplayProperties* unused, int keys, int counter,
                       unsigned now);
    void InitDisplay(PDisplayProperties* props, P3D* p3d);

    int GotoCampaignMenu(int campaign);
    void GotoGameSelectionMenu();
    void GotoTimeAttackMenu();
    void GotoArcadeMenu();
    void GotoOptionsMenu();

    // Touches, in screen pixels.
    void TouchScreenEvent(int x, int y, int pressed);
    void TouchScreenEventMove(int x, int y, int pressed);
    // Consumes a release: pressed moves into previously pressed.
    void TouchScreen_ReleasePen();
    void TouchScreen_Reset();
    void TouchScreenInputDelay(int ms);
    // A release inside the rectangle (edges included).
    bool TouchScreen_IsPressedInside(int x, int y, int w, int h) const;
    bool TouchScreen_IsPressedInside_XYXY(int x1, int y1, int x2, int y2) const;

    // v scaled by the frame time (v per 50 ms), never below v.
    int32_t ToFps(int32_t v) const;

    // Soft-key pictures in the bottom corners; their rectangles grown by 16
    // pixels a side (empty without picture or display).
    PRect DrawSoftIcon_Left(P3D* p3d, PDisplayProperties* props, PSurface3D* image);
    PRect DrawSoftIcon_Right(P3D* p3d, PDisplayProperties* props, PSurface3D* image);

    // Shared page drawing (menupages.cpp).
    int ShowSubMenu();
    void DrawTxtBackgroundBar(int x, int y, int w, int h, unsigned colour, bool animated);
    void DrawTxtBackgroundBar(PSurface3D* tile, int x, int y, int w, int h, unsigned colour, bool animated);
    void DrawBar(P3D* p3d, PRect r, int value, int max);
    void DrawGroundWithClouds();
    void HelpImgLoad();
    void HelpImgRelease();
    void HelpImgSetNull();

    // Small routines kept with the class.
    void UpdateBombRot();
    int GetScreenConfig() const;
    static int GetVolumeMode(int v);
    static int SetVolumeFromMode(int m);
    void DrawVolumeBar(int x, int y, int w, int h, int value, int max);

    int GetMenuElementsCount() const { return MultiplayerPresent() ? ITEM_COUNT : ITEM_COUNT - 1; }
    static int32_t LabelAngle(int label) { return kFirstAngle - kAngleStep * label; }
    // The label nearest to an angle.
    int LabelAt(int32_t angle) const;
    // The logical item of a label, and back.
    int ItemOfLabel(int label) const;
    int LabelOfItem(int item) const;

    // State read by the application and the tests.
    int page = 0;
    int chosenItem = 0;
    int previousPage = 0;
    int pageValue = 0;
    int rotationMode = ROT_IDLE;
    uint8_t fromGame = 0;
    LevelsGroup* chosenGroup = nullptr;
    uint8_t chosenLevel = 0;
    int8_t campaign = 0;
    MyInput input; // its scancode is the last key the application saw

    int32_t Angle() const { return m_angle; }
    int32_t TargetAngle() const { return m_targetAngle; }
    int32_t BombY() const { return m_bombY; }
    int Hatch() const { return m_hatch; }
    int LabelTexture() const { return m_labelTexture; }
    int HelpScroll() const { return m_helpScroll; }
    int CreditsLine() const { return m_creditsLine; }
    // The explosion's frame (0 while no blast plays).
    int ExplosionFrame() const;
    PRect SelectorRect() const { return m_selectorTouch; }
    PRect BackRect() const { return m_backTouch; }
    const std::vector<std::wstring>& AirplaneNames() const { return m_names; }
    const std::vector<short>& ArcadeAircraft() const { return m_arcadeList; }
    int ArcadeSpawns() const { return m_arcadeSpawns; }
    LevelsGroup* CurrentGroup() const { return m_currentGroup; }
    UIMoreGames* MoreGames() const { return m_moreGames; }
    // The options row being dragged (-1 none).
    int OptionsRow() const { return m_optionsRow; }
    // Layout of the pages as last drawn (for touches and tests).
    PRect GameSelectionRow(int i) const { return i >= 0 && i < 4 ? m_rowRects[i] : PRect{0, 0, 0, 0}; }
    PRect OptionsRowRect(int i) const { return i >= 0 && i < 4 ? m_rowRects[i] : PRect{0, 0, 0, 0}; }
    PRect OptionsBarRect(int i) const { return i >= 0 && i < 4 ? m_barRects[i] : PRect{0, 0, 0, 0}; }
    PRect CampaignPictureRect(int k) const { return k >= 0 && k < 3 ? m_campaignRects[k] : PRect{0, 0, 0, 0}; }
    PRect ArcadeStartRect() const { return m_startRect; }

private:
    void ResetPages();
    struct TouchRecord {
        int x = 0, y = 0;
        int pressed = 0, wasPressed = 0;
        uint32_t delayUntil = 0;
    };

    bool MultiplayerPresent() const;
    int Sound(int clip);
    void StopSound(int clip);
    bool Pressed() const { return m_touch.pressed && !m_touch.wasPressed; }
    bool Released() const { return !m_touch.pressed && m_touch.wasPressed; }
    bool Touched() const { return Pressed() || Released(); }
    bool BackPressed(bool withScanCode);
    void ResetBomb();
    // Logs a page change.
    void LogPage();
    // The frame's steps: the page's work (false when its art is missing:
    // the frame ends there), then what the page did not draw itself.
    bool RunPage(int& result, int& slide);
    int DrawFrame(int result, int slide);
    // Ends a frame with its result.
    int EndFrame(int result);
    void ChangePage(int to);

    // The pages of mainmenu.cpp.
    int PageBomb();
    int PageFall();
    int PageBlastPause();
    int PageExplosion();
    int PageHatchClose();
    int PageHatchOpen();
    void SkipToExplosionEnd();
    void EndExplosion();
    void ChooseLabel();
    int DrawBombBayBackground();
    void DrawSatellite(int x, int y);
    void DrawExplosion(int x, int y, int32_t scale);
    // The title text of a level page (campaigns, time attack, arcade).
    static unsigned LevelPageTitle(int page);
    void DrawBomb(int& result);
    void SelectorSize(int& sw, int& sh) const;
    void RenderBombElementSelection(int slide);
    void GrowBackRect(PSurface3D* image);

    // The flat pages (menupages.cpp).
    int PageGameSelection();
    int PageOptions();
    int PageHelp();
    int PageCredits();
    int PageMoreGames();
    void LeavePage(int item);
    int DrawPageTitle(unsigned text, int x0, int y);
    void DrawRowBar(const PRect& r, unsigned colour, bool animated, bool held);
    void PlainBar(int x, int y, int w, int h, unsigned colour, bool animated);
    // The help text's visible rectangle: the area less its 6-pixel clip.
    PRect HelpView() const;
    // The size a help picture is drawn at: its own, or scaled down (aspect
    // kept) to fit the visible rectangle with a margin on every side.
    static void HelpPictureSize(const PSurface3D* img, const PRect& view, int& w, int& h);
    int HelpContentHeight(const PRect& view);

    // The level pages (levelselect.cpp).
    int PageLevelsOpen();
    int PageLevelsClose();
    int LevelList(LevelsGroup* group, int y, int h, int unlocked);
    void OpenFlatPage(int which, LevelsGroup* group);
    bool InterruptBlast();
    int PageCampaigns();
    // The name of campaign k over its picture drawn at pic.
    void DrawCampaignName(const PRect& pic, int k);
    int PageTimeAttack();
    int PageArcade();
    // The arcade start button's top edge on the screen.
    int StartButtonTop() const;
    bool LeaveLevelPage();
    int DrawLevelPageBase(unsigned title);

    // Services (not owned).
    PDisplayProperties* m_props;
    Fonts* m_fonts;
    AudioManager* m_sounds;
    ProfileManager* m_profiles;
    LevelsManager* m_levels;
    LevelsGroup* m_multiplayerGroup;
    LevelsGroup** m_campaignGroups;
    uint8_t m_campaignCount;
    LevelsGroup* m_timeAttackGroup;
    LevelsGroup* m_tutorialGroup;
    LevelsGroup* m_arcadeGroup;
    Settings* m_settings = nullptr;
    P3D* m_p3d = nullptr;
    PTextureManager* m_textures = nullptr;
    PRand m_rand;
    int m_width = 0, m_height = 0;

    // Bomb.
    PMesh* m_bomb = nullptr;
    int m_labelTexture = -1;
    int32_t m_angle = kFirstAngle, m_targetAngle = kFirstAngle;
    int32_t m_bombX = 0, m_bombY = kBombStartY, m_bombZ = 0;
    int m_hatch = kHatchOpen;
    uint32_t m_now = 0, m_prevNow = 0;
    int32_t m_frameTime = 0;
    bool m_firstFrame = true;
    int m_keys = 0;
    int m_counter = 0;
    int m_pageCounter = 0; // pages 9 and 10
    int m_loggedPage = 0;
    bool m_backdropDrawn = false; // this frame drew the bay or a level page's picture

    // Touch.
    TouchRecord m_touch;
    bool m_dragging = false;
    int m_dragX = 0, m_dragY = 0;
    int32_t m_dragAngle = -1;
    int m_dragItem = -1;
    PRect m_selectorTouch = {0, 0, 0, 0};
    PRect m_backTouch = {0, 0, 0, 0};

    // Artwork.
    PSurface3D* m_bay = nullptr;
    PSurface3D* m_logo = nullptr;
    PSurface3D* m_creditsImage = nullptr; // never loaded
    PSurface3D* m_hatchDoor = nullptr;
    PSurface3D* m_earth = nullptr;
    PSprite3D* m_clouds[3] = {};
    int m_cloudH[3] = {};
    PSprite3D* m_explosion = nullptr;
    PSurface3D* m_explosionStrip = nullptr; // the sprite's frames (the sprite owns them)
    uint32_t m_explosionStep = 0;
    int m_explosionDrift = 0;
    PSurface3D* m_selector = nullptr;
    PSurface3D* m_arrowRight = nullptr;
    PSurface3D* m_arrowLeft = nullptr;
    PSurface3D* m_start = nullptr;
    PSurface3D* m_barEmptySide = nullptr;
    PSurface3D* m_barFillSide = nullptr;
    PSurface3D* m_barEmpty = nullptr;
    PSurface3D* m_barFill = nullptr;
    PSurface3D* m_campaignPics[kCampaignPictures] = {};
    PSurface3D* m_campaignGrey[kCampaignPictures] = {};
    PSurface3D* m_helpImages[kHelpImages] = {};

    // Pages.
    unsigned m_titleOptions = 25, m_titleHelp = 26, m_titleCredits = 27, m_titleGameSelection = 28;
    unsigned m_gameRows[4] = {29, 30, 31, 32};
    std::vector<std::wstring> m_names;
    std::vector<const wchar_t*> m_namePtrs;
    std::vector<short> m_arcadeList;
    int m_arcadeSpawns = 0;
    int m_helpScroll = 0, m_helpTarget = 0, m_helpDragStart = 0;
    int m_creditsLine = 0, m_creditsTarget = 0, m_creditsStart = 0, m_creditsDragStart = 0;
    uint32_t m_creditsStep = 0;
    bool m_scrollDrag = false;
    int m_optionsRow = -1;
    int m_optionsDragX = -1;
    int m_lightPos = -13, m_lightPhase = 0;
    PRect m_warroomRect = {0, 0, 0, 0};
    PBlitFX m_warroomFx;
    int m_transition = 0;
    UIMoreGames* m_moreGames = nullptr;
    LevelsGroup* m_currentGroup = nullptr;
    PRect m_rowRects[4] = {};
    PRect m_barRects[4] = {};
    PRect m_campaignRects[3] = {};
    PRect m_startRect = {0, 0, 0, 0};
};
