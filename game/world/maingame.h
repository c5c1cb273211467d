// MainGame: one game in progress, a single-player mission or a match. The
// application makes a fresh one for every game, calls its loading step once
// a frame until the game is loaded, then PlayGame every frame, and deletes
// it when the game ends.
//
// The class is split by topic over several files:
//   maingameload.cpp  construction, loading steps, spawns, teardown
//   maingameview.cpp  touch record, steering, bounds, target following,
//                     the target-lock camera and the camera push-out
//   maingameplay.cpp  the frame of play, pausing, the end of a mission,
//                     medals and unlocking, shooting and the shot message
//   maingamedraw.cpp  world drawing, crosshair, cursors, arrows, lens flare
//                     and the screens shown while play is suspended
#pragma once
#include <cstdint>

#include "engine/runtime/pfixed.h"
#include "engine/runtime/pmath3d.h"
#include "engine/runtime/pstring.h"
#include "game/multiplayer/matchgame.h"
#include "game/world/command.h"
#include "game/world/myinput.h"
#include "game/world/tapguard.h"
#include "gl/prect.h"

class AudioManager;
class Console;
class Fonts;
class GPO;
class Hud;
class HudMatchLink;
class LevelsGroup;
class Loading;
class MyAirplane;
class MySmoke;
class P3D;
class P3DAnim;
class P3DGameEngine;
class P3DModel;
class P3DSceneUnit;
class PJoystick;
class PMesh;
class PSurface3D;
class PTextureManager;
class PTicker;
class Physic;
class PlanesManager;
class Profile;
class ProfileManager;
class QuakeFx;
class SPLM;
class ScriptReader;
class Settings;
class SubMenu;
class Wave;
class WavesManager;
class WeaponMatchLink;
class WeaponSystem;
struct PDisplayProperties;
struct SmartCamera;
struct mycoolparticle;

// What a game needs of a running match. The match session implements it;
// null in single-player games.
class MainGameMatchLink {
public:
    virtual ~MainGameMatchLink() = default;
    virtual int PlayerCount() const = 0;            // players of the match, as the session reports it
    virtual int PlayerId(int position) const = 0;   // id of the session's player at a position
    virtual int MyId() const = 0;
    virtual int PlayerIndex(int id) const = 0;      // position of an id, -1 unknown
    virtual const char* PlayerName(int id) const = 0;
    virtual int PlayerPlane(int id) const = 0;
    virtual int PlayerState(int id) const = 0;      // -1 no record; 2 left the match
    virtual int Winner() const = 0;                 // -1 while there is none
    virtual void RequestDamage(int target, int owner, int damage) = 0;
    virtual void SendToAll(const uint8_t* message, int length) = 0;
    virtual void NotifyLeaveGame() = 0;
    virtual void SetPlayerObject(int id, GPO* gpo) = 0;
    virtual void SetRespawnVectors() = 0;
    // The session as the weapons, the head-up display and the mission's
    // repair commands see it.
    virtual WeaponMatchLink* WeaponLink() = 0;
    virtual HudMatchLink* HudLink() = 0;
    virtual MissionRepairLink* RepairLink() = 0;
};

// The shot message (game message 7). Every integer is 32-bit big-endian;
// the third vector is there only for homing rockets.
struct ShotMessage {
    static constexpr uint8_t kType = 7;
    static constexpr int kLength = 32;
    static constexpr int kLengthHoming = 44;
    // The type byte and the shooter's id: the bytes that say who fired.
    static constexpr int kShooterLength = 5;
    int32_t shooter = 0;
    uint8_t weapon = 0;
    PVector3 position, velocity, third;
    uint8_t life = 0;
    uint8_t homing = 0;

    // Writes the message for a weapon of the given type; answers its length
    // (0 when out is too small).
    int Encode(int weaponType, uint8_t* out, int capacity) const;
    // Reads a received message. False (logged) when it is shorter than its
    // layout, not a shot, or names a weapon outside weaponCount records.
    // weaponType answers the record's type for the weapon index.
    static bool Decode(const uint8_t* data, int length, int weaponCount, int (*weaponType)(void*, int), void* ctx,
                       ShotMessage& out);
    // The shooter a received message names; -1 when it is too short to
    // name one.
    static int32_t Shooter(const uint8_t* data, int length);
};

// In a match the game is also the session's MatchGame: it gives the spawn
// points, takes the other players' shots and shows the session's console
// lines.
class MainGame : public MatchGame {
public:
    // Pause states and kinds.
    enum PauseState : uint8_t { PAUSE_NONE = 0, PAUSE_MENU = 1, PAUSE_MATCH_MENU = 2 };
    enum PauseKind : uint8_t { PAUSE_PLAYER = 0, PAUSE_FAILED = 1, PAUSE_COMPLETED = 2 };
    // Camera modes.
    enum CameraMode : uint8_t { CAM_CHASE = 1, CAM_CIRCLE = 2, CAM_DEATH = 4, CAM_AIM = 8 };
    // Bounds states and BoundsCheck results.
    enum BoundsState : uint8_t { BOUNDS_INSIDE = 0, BOUNDS_WARNING = 1, BOUNDS_DESTROYED = 2 };
    enum BoundsResult : int { IN_BOUNDS = 0, OUT_OF_BOUNDS = 1, AT_CEILING = 2 };
    // Key bits of the frame's key word.
    static constexpr int kKeyLeft = 1, kKeyRight = 2, kKeyUp = 4, kKeyDown = 8, kKeyFire = 16;
    static constexpr int kBackKey = 7;
    static constexpr int32_t kPlayArea = 200 << 16;   // half-size of the square play area
    // Half-size of the cube that holds every place of the world: the play
    // area, the ceiling (at most 127.0), what the fastest aircraft flies in
    // the bounds countdown (about 190.0) and room to spare. Places and
    // motions that peers send are brought into it where they are read, so
    // that sums and differences of a few of them stay far inside 16.16.
    static constexpr int32_t kWorldRange = 512 << 16;
    static constexpr uint32_t kBoundsCountdownMs = 9000;
    static constexpr uint32_t kEndDelayMs = 2500;
    static constexpr uint32_t kPauseGuardMs = 350;
    // Where the console's lines begin: further right in a match, past the
    // players' names beside the lock icons.
    static constexpr int kConsoleX = 45, kConsoleMatchX = 125, kConsoleY = 100;
    static constexpr uint32_t kFireGuardMs = 500;
    static constexpr uint32_t kDeathPauseMs = 5000;
    static constexpr int kLoadCalls = 7;
    static constexpr int kLoadingUpdates = 17;
    static constexpr uint8_t kNoMedal = 255;
    static constexpr int kTexturesShared = 6;
    // Sound clips.
    enum Clip : int { CLIP_ENGINE = 2, CLIP_BOUNCE = 3, CLIP_EXPLOSION = 5, CLIP_SMOKE = 6, CLIP_CLICK = 11 };

    MainGame(P3D* p3d, Settings* settings, Loading* loading, Fonts* fonts, Console* console, AudioManager* sounds,
             ProfileManager* profiles);
    ~MainGame() override;
    MainGame(MainGame const&) = delete;
    MainGame& operator=(MainGame const&) = delete;

    // ---- Loading (maingameload.cpp)
    int LoadSinglePlayerGame(PTextureManager* textures, PDisplayProperties* display, uint32_t time,
                             LevelsGroup* group, uint8_t level);
    int LoadMultiPlayerGame(PTextureManager* textures, PDisplayProperties* display, uint32_t time,
                            LevelsGroup* group, MainGameMatchLink* session);
    int LoadLevel(PTextureManager* textures, PDisplayProperties* display, int step);
    void InitDisplay(PDisplayProperties* display, P3D* p3d);
    void GetSpawnPointName(PString& out, int playerId);
    int GetSpawnPointVec(int i, PVector3& position, PVector3& angles) override;
    void SpawnPlayer(int slot, const char* nullName, int energy);
    int InitPlanesOnLevel(PString* spawnName, int planeType, const int* planeTypes);
    void InitializePhysics();
    void LoadSounds();
    void LoadAllPlaneScenes();
    int LoadStep() const { return m_loadStep; }
    // The application's latched key of this frame (7 is the back key).
    void SetKeyLatch(int key) { m_keyLatch = key; }

    // ---- View (maingameview.cpp)
    void TouchScreenEvent(int x, int y, int down);
    void TouchScreenEventMove(int x, int y, int down);
    void TouchScreen_ReleasePen();
    void TouchScreen_Reset();
    int TouchScreen_IsInside(int x, int y, int w, int h) const;
    int TouchScreen_IsPressedInside(int x, int y, int w, int h) const;
    int TouchScreen_IsPressedInside_XYXY(int x1, int y1, int x2, int y2) const;
    void setSteeringInput(int32_t x, int32_t y);
    void setSteeringInput(int32_t x, int32_t y, int32_t z);
    void UpdatePlayerSteeringSens();
    void CalibrationSettingsUpdate();
    void CalibrationSettingsSet() {}
    void MovePlayerPlane(int index, const uint8_t* keys);
    static int BoundsCheck(MyAirplane* plane, int ceiling);
    void UpdateBoundsCheck();
    void TargetFollowUpdate(int keys);
    void InitSmartCam(ScriptReader* script);
    void ReleaseSmartCameras();
    int UpdateSmartCamera(PVector3& eye, PVector3& look, PVector3& up);
    int SubstractPointFromEnvironment(PVector3& point);
    int32_t IsPointCollideWithModel(P3DAnim* scene, const PVector3& point, P3DModel* model);
    int GetScreenConfig() const;

    // ---- Frame of play (maingameplay.cpp)
    int PlayGame(P3D* p3d, PTextureManager* textures, PDisplayProperties* display, int frameCounter, int keys,
                 uint8_t* digitKeys, uint32_t time, PTicker* ticker);
    void PauseGame(int kind);
    void PauseGame_CallInterrupt();
    void UnPauseGame();
    void BringBackProfileScores();
    void CheckAllCollisions();
    void ShootHandle();
    void SendShootToClients(mycoolparticle* p);
    // A received shot message of length bytes; hostile messages are dropped.
    void ReceiveShootFromClient(const uint8_t* message, int length) override;
    // The session's console: a text of the current language (null without
    // fonts or console) and a line added to the console.
    const wchar_t* GetConsoleText(unsigned id) override;
    void AddConsoleLine(const wchar_t* line) override;
    // The weapon records, those of the local player's loadout (which every
    // player of the match flies) marked carried.
    std::vector<MatchWeapon> MatchWeapons() override;
    int MissionRepairAmount() override;

    // ---- Drawing (maingamedraw.cpp)
    void RenderEverything(P3D* p3d, PTextureManager* textures);
    int HudDisplay(PDisplayProperties* display);
    void UpdatePlayerPlane(MyAirplane* plane, P3D* p3d, PTextureManager* textures, bool isPlayer, bool isRemote);
    void RenderMultiplayerPlanes(P3D* p3d, PTextureManager* textures);
    void MultiplayerUpdateInBg(P3D* p3d);
    PVector3 Crosshair_Calculate(GPO*& target);
    void Crosshair_Render(P3D* p3d, const PVector3& point);
    // The two cursors (the crosshair's and the mission's target indicators).
    static void RenderCursorThingy(P3D* p3d, PTextureManager* textures, const PVector3& point, const PVector3& eye,
                                   int cell, int32_t scale, int texture, int32_t minDistance);
    static void RenderCursorFlat(P3D* p3d, PTextureManager* textures, const PVector3& point, const PVector3& centre,
                                 int texture, int32_t scale, int32_t angle, const PVector3* angleOffset, GPO* gpo);
    void ArrowsManageAndRender(P3D* p3d);
    void ArrowRender(P3D* p3d, const PVector3& from, const PVector3& to);
    void RenderLensFlare(P3D* p3d, const PVector3& eye, const PVector3& from, const PVector3& sun);
    void HandleThrottle();
    void HandleChangingWeapon(MyInput* input, const uint8_t* keys);
    void LoadGfx();
    void UnloadGfx();
    void DrawBackgroundImage();
    // Opens the question; only a tap pressed after it has been drawn
    // answers it.
    void QuestionBox_Open(int textId, int action);
    void QuestionBox_Close() { m_questionOpen = 0; }
    int QuestionBox_IsOpen() const { return m_questionOpen; }
    int QuestionBox_Draw();
    void Calibration_Draw();
    void DrawMissionDescription();
    void DrawSummary();
    void DrawAwardedMedal(P3D* p3d, int medal);
    void DrawUnlockMessage();

    // The lens flare's size factor for a screen (1.0 on 320 x 240).
    static int32_t FlareSizeFactor(int width, int height);
    // The texture coordinates of a cursor cell (clamped to the 16 entries).
    static const int32_t* CursorCell(int cell);
    // The shot sound of a weapon index, -1 none.
    static int ShotSound(int weapon);

    // ---- State the application and tests read
    MyAirplane* Player(int slot = 0) const { return slot >= 0 && slot < 4 ? m_players[slot] : nullptr; }
    SPLM* Mission() const { return m_mission; }
    Hud* GetHud() const { return m_hud; }
    WeaponSystem* Weapons() const { return m_weapons; }
    P3DGameEngine* Engine() const { return m_engine; }
    uint8_t GetPauseState() const { return m_pauseState; }
    uint8_t GetPauseKind() const { return m_pauseKind; }
    uint8_t GetBoundsState() const { return m_boundsState; }
    uint32_t BoundsTimer() const { return m_boundsTimer; }
    uint8_t SummaryShown() const { return m_summary; }
    uint8_t UnlockShown() const { return m_unlockMessage; }
    uint8_t CameraMode() const { return m_cameraMode; }
    const PVector3& Steering() const { return m_steering; }
    int32_t WaterLevel() const { return m_waterLevel; }
    int8_t Ceiling() const { return m_maxAltitude; }
    GPO* CrosshairTarget() const { return m_crosshairTarget; }
    const PVector3& AimPoint() const { return m_aimPoint; }
    // The pause icon's screen rectangle (x, y, w, h) of the last frame
    // drawn, and the pause menu.
    const int32_t* PauseIcon() const { return m_pauseIcon; }
    SubMenu* PauseMenu() const { return m_menu; }
    Console* GetConsole() const { return m_console; }
    // The mission summary's frame on this screen; its rows lie 4 pixels
    // inside it on either side.
    PRect SummaryFrame() const;
    uint8_t DescriptionShown() const { return m_showDescription; }
    // The mission's intro camera is playing (before play starts).
    uint8_t IntroCameraShown() const { return m_introCamera; }
    uint32_t Now() const { return m_frameTime; }
    void SetNow(uint32_t t) { m_frameTime = t; }
    uint8_t IsMultiplayer() const { return m_multiplayer; }
    int PlayerCount() const { return m_playerCount; }

    struct TouchRecord {
        int32_t x = 0, y = 0;
        uint8_t down = 0, pending = 0, wasDown = 0;
    };
    const TouchRecord& Touch() const { return m_touch; }
    // The player's score as the mission raises it.
    struct ProfileScore : MissionScore {
        Profile* profile = nullptr;
        void ScoreIncrease(int points) override;
    };

private:
    int LoadMissionScript(PTextureManager* textures, LevelsGroup* group, uint8_t level, uint8_t mode);
    void ReadMissionHeader(int8_t ceiling);
    friend struct MainGameProbe; // the tests' view of the session

    void ResetFlags();
    int FinishSinglePlayerLoad();
    int FinishMatchLoad();
    int SetUpAfterPlanes(const PString& mainSpawn);
    void FailLevelStep();
    void UnloadGame();
    void StartGameSounds();
    void LoadingFrame();
    int SaveProfiles();
    int TapCompleted() const { return !m_touch.down && m_touch.wasDown; }
    int FireOrTap(int keys);
    void CameraFrame(int keys, int& result, bool& done);
    int PausedFrame(int keys);
    int ConfirmedAction(int action);
    int SummaryDone();
    int UnlockStep();
    void PrepareUnlockMessage(unsigned first, unsigned second, int nextLevel);
    void FreeUnlockLines();
    bool IsCampaignGroup() const;
    int32_t WaterUnder(const PVector3& p) const;
    int32_t CurrentWeaponType() const;
    // Where a dropped weapon is aimed without a target: 2 units ahead of the
    // player's aircraft along its heading and 2 below it.
    PVector3 DropPoint() const;
    void DrawWorldFrozen();
    // One frame of the mission's intro camera (maingameview.cpp).
    int IntroCameraFrame(P3D* p3d, int keys);
    void EndIntroCamera();
    // Starts play after the description page or the load: the intro camera
    // when the mission has one, else the game sounds.
    void StartPlayOrIntro();

    // Players and their objects.
    MyAirplane* m_players[4] = {};
    GPO* m_playerObjects[4] = {};
    PString m_spawnNames[4];
    // Services (borrowed).
    P3D* m_p3d = nullptr;
    PTextureManager* m_textures = nullptr;
    Loading* m_loading = nullptr;
    Fonts* m_fonts = nullptr;
    Console* m_console = nullptr;
    AudioManager* m_sounds = nullptr;
    ProfileManager* m_profiles = nullptr;
    Settings* m_settings = nullptr;
    PTicker* m_ticker = nullptr;
    // Owned parts of the session.
    Hud* m_hud = nullptr;
    MySmoke* m_smoke = nullptr;
    QuakeFx* m_quake = nullptr;
    SubMenu* m_menu = nullptr;
    P3DGameEngine* m_engine = nullptr;
    Physic* m_physics = nullptr;
    int m_sceneIndex = -1;
    P3DAnim* m_level = nullptr;
    P3DSceneUnit* m_levelUnit = nullptr;
    int32_t m_waterLevel = 0;
    PlanesManager* m_planes = nullptr;
    SPLM* m_mission = nullptr;
    ScriptReader* m_script = nullptr;
    LevelsGroup* m_group = nullptr;
    uint8_t m_levelIndex = 0;
    WavesManager* m_waves = nullptr;
    Wave* m_wave = nullptr;
    WeaponSystem* m_weapons = nullptr;
    Profile* m_profile = nullptr;
    uint32_t m_startScore = 0;
    ProfileScore m_score;
    PString** m_mapTextures = nullptr;
    uint8_t m_mapTextureCount = 0;
    int32_t m_description = -1;
    int8_t m_maxAltitude = 30;
    uint8_t m_textSource = 0;
    uint8_t m_multiplayer = 0;
    uint8_t m_playerCount = 1;
    MainGameMatchLink* m_session = nullptr;
    PJoystick* m_accelerometer = nullptr;
    PRand2 m_random;
    int m_sharedTextures[kTexturesShared] = {};
    PMesh* m_arrow = nullptr;
    int32_t m_loadStep = 0;
    int32_t m_width = 0, m_height = 0;
    int32_t m_aspect = 0x10000;
    // Camera.
    PVector3 m_eye, m_target, m_up{0, 0x10000, 0};
    int32_t m_fov = 50 << 16;
    uint8_t m_cameraMode = 0, m_savedCameraMode = 0;
    // The bomb sight's point while a bomb is selected (camera mode 8): kept
    // fixed to the aircraft, ahead of and below it, every frame.
    PVector3 m_aimPoint;
    // Game state.
    uint8_t m_pauseState = PAUSE_NONE;
    uint8_t m_pauseKind = PAUSE_PLAYER;
    uint8_t m_medal = kNoMedal;
    uint8_t m_summary = 0, m_unlockMessage = 0, m_nextCampaignAfterMessage = 0, m_scoreAdded = 0;
    uint8_t m_calibration = 0, m_showDescription = 0, m_noPauseIcon = 0;
    uint8_t m_introCamera = 0;
    int32_t m_introIcons[2][4] = {}; // skip and pause/play icons: x, y, w, h
    uint8_t m_missionEnd = 0;
    uint32_t m_missionEndTime = 0;
    // Shots of a match sent to and taken from the other players.
    uint32_t m_shotsSent = 0, m_shotsReceived = 0;
    // Input.
    MyInput m_input;
    int32_t m_keys = 0;
    int32_t m_keyLatch = 0;
    // Frame data.
    uint32_t m_frameTime = 0, m_previousTime = 0, m_frameDelta = 0;
    int32_t m_frameCounter = 0;
    uint32_t m_unpauseTime = 0;
    // View (maingameview.cpp).
    TouchRecord m_touch;
    PVector3 m_steering{0, 0, 0x10000};
    uint8_t m_boundsState = BOUNDS_INSIDE;
    uint32_t m_boundsTimer = 0;
    uint16_t m_smartCount = 0;
    SmartCamera* m_smart = nullptr;
    GPO* m_crosshairTarget = nullptr;
    uint8_t m_autoFollow = 0;
    // Drawing (maingamedraw.cpp).
    int m_cursorTexture = 0, m_cursorFlatTexture = 0;
    PSurface3D* m_flares = nullptr;
    PSurface3D* m_horizonFrame = nullptr;
    PSurface3D* m_horizonFill = nullptr;
    PSurface3D* m_letterhead = nullptr;
    PSurface3D* m_medalImage = nullptr;
    PSurface3D* m_background = nullptr;
    int32_t m_questionText = 0, m_questionAction = 0;
    uint8_t m_questionOpen = 0;
    TapGuard m_questionTap;
    int32_t m_pauseIcon[4] = {};
    wchar_t* m_unlockLines[3] = {};
    int32_t m_smokeCounter = 0;
};
