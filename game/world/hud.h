// Hud: the head-up display of a game session. It draws the radar with the
// player's health and throttle, the throttle slider, the fire button, the
// weapon wheel and weapon icon, the target-lock icons, the objectives window,
// the mission timer, the score or kills, the medal and promotion banners, the
// repair and rearm icons and the mission's end text, and owns the touch
// regions of those controls. It also keeps the summary rows the mission adds
// for the summary screen.
//
// One Hud belongs to a game session: made after the weapon system, set up at
// load (Init, weapon icons, timer, profile, weapon owner, objectives), fed
// every frame and deleted with the session.
#pragma once
#include <cstdint>

#include "engine/runtime/pmath3d.h"
#include "game/world/splevelmanager.h"
#include "gl/prect.h"

class Fonts;
class GPO;
class MyAirplane;
class MyInput;
class P3D;
class PString;
class PSurface3D;
class Profile;
class ProfileManager;
struct Objective;

// What the display needs of a running match for the lock icons: the name,
// kills and connection state of the player flying an aircraft. The match
// session provides it; null in single-player games.
class HudMatchLink {
public:
    virtual ~HudMatchLink() = default;
    // The player's name (UTF-8), or null when the aircraft is no player's.
    virtual const char* PlayerName(const MyAirplane* aircraft) const = 0;
    virtual int PlayerKills(const MyAirplane* aircraft) const = 0;
    // True while the match reports the player's connection as lost.
    virtual bool PlayerDisconnected(const MyAirplane* aircraft) const = 0;
};

// One row of the objectives window.
class ObjectiveElement {
public:
    ObjectiveElement() = default;
    ~ObjectiveElement();
    ObjectiveElement(const ObjectiveElement&) = delete;
    ObjectiveElement& operator=(const ObjectiveElement&) = delete;

    // Takes a copy of the text (null clears it); 0 when memory is short.
    int SetTitle(const wchar_t* text);
    const wchar_t* GetTitle() const { return title; }
    void SetStatusMode(int8_t mode) { statusMode = mode; }
    int8_t GetStatusMode() const { return statusMode; }
    void SetObjectivePtr(const Objective* o) { objective = o; }
    const Objective* GetObjectivePtr() const { return objective; }

    wchar_t* title = nullptr; // owned
    int32_t reserved = 0;
    int8_t statusMode = 0;
    const Objective* objective = nullptr;
};

// One row of the mission summary: title (not owned) and points per unit times
// the count of units.
struct SummaryElement {
    const wchar_t* title = nullptr;
    int32_t points = 0;
    int32_t count = 0;
};

class Hud : public MissionHudLink {
public:
    static constexpr int kMaxRadarObjects = 128;
    static constexpr int kMaxLockIcons = 3;
    static constexpr int kLockIconKinds = 8;
    static constexpr int kThrottleImages = 10;
    static constexpr int kMaxWeapons = 127;
    // Time the wheel stays up after a weapon change, and a banner is shown.
    static constexpr uint32_t kWheelShowMs = 4999;
    static constexpr uint32_t kBannerMs = 5000;
    static constexpr uint32_t kBlinkMs = 200;
    // Radar reach in pixels for objects with an image and for dots.
    static constexpr int kRadarImageReach = 65;
    static constexpr int kRadarDotReach = 78;
    // The radar's top-left corner and the space right of it that belongs to
    // the throttle slider.
    static constexpr int kRadarX = 4;
    static constexpr int kRadarY = 4;
    static constexpr int kThrottleMargin = 44;
    // The medals the banners award.
    static constexpr int kArcadeMedal = 4;
    static constexpr int kGeneralMedal = 5;
    static constexpr int kGeneralMedalRank = 4;
    static constexpr uint32_t kArcadeMedalScore = 900;
    // Interface texts.
    static constexpr unsigned kTextScore = 52;
    static constexpr unsigned kTextKills = 103;
    static constexpr unsigned kTextNoKills = 377;

    // A touch region; a region not yet placed (size -1) holds no point.
    struct Rect {
        int32_t x = 0, y = 0, w = -1, h = -1;
        // Both edges belong to the rectangle.
        bool Contains(int px, int py) const { return px >= x && px <= x + w && py >= y && py <= y + h; }
    };

    struct RadarObject {
        int32_t x = 0, z = 0;  // 16.16
        uint32_t colour = 0;   // 0xRRGGBB
        PSurface3D* image = nullptr;
    };

    // A target-lock icon of the smart camera.
    struct LockIcon {
        int8_t iconId = 0;     // 0-7 the icon pair; 8 or more a red square
        GPO* gpo = nullptr;
        uint8_t locked = 0;
        int32_t x = 0, y = 0, w = 0, h = 0;
        uint8_t pressed = 0;
        int32_t range = 0;     // 16.16 at 1/16 scale
    };

    // clock: the session's millisecond clock value, read every frame (may
    // be null: "now" is then 0). match: null in single-player games.
    Hud(P3D* p3d, Fonts* fonts, int w, int h, const uint32_t* clock, ProfileManager* profileManager,
        HudMatchLink* match);
    ~Hud() override;
    Hud(const Hud&) = delete;
    Hud& operator=(const Hud&) = delete;

    // Loads the images (and the lock icons), hides the banners, clears the
    // radar and lock lists; 0 when a required image is missing.
    int Init();
    // Deletes every owned image and array (also done by the destructor).
    void Release();

    // ---- Touch tests (x, y the session's touch record; edges included)
    int TouchScreen_Shoot(int x, int y, bool down);
    int TouchScreen_ThrottleModify(int x, int y, bool down, int32_t& throttle);
    int TouchScreen_isInsideWeaponIcon(int x, int y, bool down) const;
    int TouchScreen_IsInsideCamSmart(int x, int y, bool down) const;
    void TouchScreen_UpdateCameraData(uint8_t a, uint8_t b)
    {
        m_camData[0] = a;
        m_camData[1] = b;
    }

    // ---- Per-frame feeding
    void UpdateTimer(uint32_t now);
    void InitTimer(int minutes, int seconds, bool countDown);
    void DrawTimer();
    void UpdateHiding();
    void UpdateCurrentWeapon(int index);
    // Loads "data\2dgfx\weap_icon_<id>.png" for each weapon; 0 (and no
    // weapons) when one is missing.
    int InitWeaponImages(const int8_t* ids, int count);
    void SetRadarPosition(const PVector3& position, int32_t yaw);
    void ClearRadarObjs();
    // Ignored beyond kMaxRadarObjects.
    void AddRadarObj(const PVector3& position, uint32_t colour, PSurface3D* image);
    // The radar offset in pixels of a point (ox, oz) seen from (px, pz)
    // turned by angle (16.16 degrees), held within max pixels of the centre.
    static void TranslateToRadarCoords(int32_t angle, int32_t px, int32_t pz, int32_t ox, int32_t oz, int max,
                                       int& dx, int& dy);

    // ---- Mission and session links
    void SetConditionTxt(int id) override;
    void DisableConditionTxt();
    bool* RepairIconRequest() override { return &m_repairRequest; }
    bool* RearmIconRequest() override { return &m_rearmRequest; }
    void SetProfilePtr(Profile* profile) { m_profile = profile; }
    Profile* GetProfilePtr() const { return m_profile; }
    void SetGPOasWeaponOwner(GPO* gpo) { m_weaponOwner = gpo; }
    // Moves both banners to the promotion banner's y + (newY - oldY).
    void ReinitRankIconPos(int oldY, int newY);
    // After a display change: the drawing context and the screen size every
    // later frame lays the display out in.
    void SetDisplay(P3D* p3d, int w, int h)
    {
        m_p3d = p3d;
        m_w = w;
        m_h = h;
    }

    // ---- Objectives window
    // 0 when memory is short or the window is full (127 rows).
    int AddObjectiveElement(const Objective* objective);
    void InitObjectivesWindow(int language);
    void ClearObjectivesWindow();
    void DrawObjectivesBar();
    int GetObjectiveCount() const { return m_objectiveCount; }
    const ObjectiveElement* GetObjectiveElement(int i) const;

    // ---- Summary
    void AddSummaryElement(const wchar_t* title, int points, int count) override;
    int GetSummaryCount() const { return m_summaryCount; }
    const SummaryElement* GetSummaryElement(int i) const;
    // The sum of points times count over the rows, held to the int range.
    int GetTotalSummaryScore() const;

    // ---- Banners
    // 1 when a medal was awarded (and its banner started).
    int HandleGeneralMedalAwardEvent();
    int HandleArcadeMedalAwardEvent(uint32_t startScore);
    // Asks the profile for a promotion and starts the promotion banner when
    // there is one; 1 then.
    int HandleMomentAndDrawPromotion();

    // ---- Lock icons
    int SC_Add(GPO* gpo, int iconId, int32_t range);
    GPO* SC_IsLocking() const;
    int SC_GetLockedIndex() const;
    void SC_LockAtIndex(int i, uint8_t v);
    void SC_UnlockAll();
    void SC_Reset() { m_scCount = 0; }
    void SC_Clean();
    void SC_Update(MyInput* input, int keys);
    void SC_UpdateDist(int32_t distance);
    int SC_TouchUpdate(int x, int y, bool down, bool previousDown);
    void SC_Render(bool match);
    int SC_IconsLoad();
    void SC_IconsRelease();
    void SC_IconsReset();
    int SC_GetCount() const { return m_scCount; }
    const LockIcon& SC_GetIcon(int i) const { return m_sc[i < 0 ? 0 : i >= kMaxLockIcons ? kMaxLockIcons - 1 : i]; }

    // ---- Drawing
    void Render(int health, int throttle, int language, bool match);
    // A bar of value of max filled between its caps; needs the six bar
    // images (nothing is drawn otherwise).
    void DrawEnergyBar(P3D* p3d, const PRect& rect, int value, int max, bool green);

    // ---- The mission's view of the timer (MissionHud)
    bool TimerRunning() const override { return m_timerVisible != 0; }
    void SetTimerRunning(bool on) override { m_timerVisible = on ? 1 : 0; }
    int TimerSeconds() const override { return int(m_timerMinutes) * 60 + m_timerSeconds; }
    void GetTimerBase(int& minutes, int& seconds) const override;
    void SetTimerBase(int minutes, int seconds) override;
    void SetObjectives(uint8_t value) override { m_objectivesFlag = value; }

    // ---- State the session and tests read
    const Rect& WeaponIconRegion() const { return m_weaponRegion; }
    const Rect& ThrottleRegion() const { return m_throttleRegion; }
    const Rect& FireRegion() const { return m_fireRegion; }
    bool IsHidden() const { return m_hidden != 0; }
    uint8_t WheelAlpha() const { return m_wheelAlpha; }
    int WeaponCount() const { return m_weaponCount; }
    int CurrentWeapon() const { return m_currentWeapon; }
    int16_t TimerMinutes() const { return m_timerMinutes; }
    int16_t TimerSeconds16() const { return m_timerSeconds; }
    bool FirePressed() const { return m_firePressed != 0; }
    uint8_t FireAlpha() const { return m_fireFade; }
    int RadarCount() const { return m_radarCount; }
    bool PromotionShown() const { return m_promotionShown != 0; }
    bool MedalShown() const { return m_medalShown != 0; }
    int MedalNumber() const { return m_medalNumber; }
    int16_t PromotionY() const { return m_promotionY; }
    int16_t MedalY() const { return m_medalY; }
    int ConditionText() const { return m_conditionVisible ? m_conditionText : -1; }
    uint8_t ObjectivesFlag() const { return m_objectivesFlag; }

    // Set by the session while the crosshair is on a target (the fire button
    // blinks); cleared by it every frame before the aim test.
    uint8_t fireTargetHighlight = 0;

private:
    uint32_t Now() const { return m_clock ? *m_clock : 0; }
    void DrawRadar(Rect& r);
    void DrawThrottle(const Rect& r, int throttle);
    void DrawWeaponWheel();
    void DrawWeaponIcon();
    void DrawFireButton();
    void DrawServiceIcons();
    void DrawScore(const Rect& r);
    void DrawBanners();
    void DrawConditionText();
    void ReleaseWeapons();
    void ReleaseImages();
    void StartMedalBanner(int medal);
    void DrawImage(PSurface3D* image, int x, int y, int alpha, int flags = 0);
    void DrawDot(int x, int y, uint32_t colour);
    int BorderWidth() const;
    int BorderHeight() const;
    static void SlideBanner(int16_t& y, bool shown, int16_t hidden);

    // context
    P3D* m_p3d = nullptr;
    Fonts* m_fonts = nullptr;
    int m_w = 0, m_h = 0;
    const uint32_t* m_clock = nullptr;
    ProfileManager* m_profileManager = nullptr;
    Profile* m_profile = nullptr;
    HudMatchLink* m_match = nullptr;
    GPO* m_weaponOwner = nullptr;

    // hiding
    uint8_t m_hidden = 0;
    uint32_t m_lastShow = 0;
    uint8_t m_wheelAlpha = 0;

    // weapons
    int8_t m_weaponCount = 0;
    PSurface3D** m_weaponImages = nullptr;
    uint8_t* m_weaponBytesA = nullptr;
    uint8_t* m_weaponBytesB = nullptr;
    int8_t m_currentWeapon = 0;
    int32_t m_wheelAngle = 0; // 16.16 degrees

    // banners
    uint8_t m_promotionShown = 0;
    uint32_t m_promotionStart = 0;
    int16_t m_promotionY = 0;
    uint8_t m_medalShown = 0;
    int8_t m_medalNumber = 0;
    uint32_t m_medalStart = 0;
    int16_t m_medalY = 0;
    int16_t m_bannerHidden = 0;

    // objectives window
    int32_t m_objX = 0, m_objY = 0, m_objW = 0, m_objH = 0, m_objRowH = 0;
    ObjectiveElement** m_objectives = nullptr;
    int8_t m_objectiveCount = 0;
    int8_t m_objectiveRows = 0;
    uint8_t m_objectivesFlag = 0;

    // timer
    uint32_t m_timerStart = 0;
    int16_t m_timerMinutes = 0, m_timerSeconds = 0;
    int16_t m_timerInitMinutes = 0, m_timerInitSeconds = 0;
    uint8_t m_timerCountDown = 0;
    uint8_t m_timerVisible = 0;

    // summary
    SummaryElement* m_summary = nullptr;
    uint16_t m_summaryCount = 0;
    uint32_t m_summaryCapacity = 0;

    // images
    PSurface3D* m_repairIcon = nullptr;
    PSurface3D* m_rearmIcon = nullptr;
    PSurface3D* m_energyBar = nullptr;
    PSurface3D* m_throttleImages[kThrottleImages] = {};
    PSurface3D* m_weaponCircle = nullptr;
    PSurface3D* m_weaponBg = nullptr;
    PSurface3D* m_fireButton = nullptr;
    PSurface3D* m_radarBg = nullptr;
    PSurface3D* m_radar = nullptr;
    PSurface3D* m_barEmptySide = nullptr;
    PSurface3D* m_barFillSide = nullptr;
    PSurface3D* m_barEmpty = nullptr;
    PSurface3D* m_barFill = nullptr;
    PSurface3D* m_barFillGreenSide = nullptr;
    PSurface3D* m_barFillGreen = nullptr;
    PSurface3D* m_disconnect = nullptr;
    PSurface3D* m_medal4 = nullptr;
    PSurface3D* m_medal5 = nullptr;
    PSurface3D* m_camIcon = nullptr;

    // flags
    bool m_repairRequest = false;
    bool m_rearmRequest = false;
    uint8_t m_blinkPhase = 0;
    uint32_t m_blinkTime = 0;
    uint8_t m_firePressed = 0;
    uint8_t m_fireFade = 0;
    uint32_t m_fireChange = 0;
    int32_t m_conditionText = 0;
    uint8_t m_conditionVisible = 0;

    // radar
    RadarObject m_radarObjs[kMaxRadarObjects];
    int m_radarCount = 0;
    int32_t m_playerX = 0, m_playerZ = 0, m_playerYaw = 0;

    // lock icons
    LockIcon m_sc[kMaxLockIcons];
    int m_scCount = 0;
    PSurface3D* m_scImages[kLockIconKinds][2] = {};

    // touch regions
    Rect m_weaponRegion;
    Rect m_throttleRegion;
    int32_t m_throttleLastX = 0;
    uint8_t m_throttleTouchStarted = 0;
    Rect m_fireRegion;

    PString* m_scratch = nullptr;
    uint8_t m_camData[2] = {};
};
