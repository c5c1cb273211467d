// The level catalogue: every playable level of every game mode, read once
// from "data\scripts\levels.cfg" (layout: docs/formats/levels-cfg.md), and
// the level groups the menus choose from.
//
// A `LevelsGroup` holds the levels of one mode (and one campaign) sorted by
// mission number, the player's choices for the next game of that mode, and
// draws and hit-tests the level windows of the level pages.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "gl/prect.h"

class Fonts;
class LevelsManager;
class P3D;
class PDisplay;
class PSurface3D;
class ScriptReader;
struct PDisplayProperties;

// One level's catalogue entry.
struct LevelConfig {
    int32_t title = 0;         // text id of the title, in text file textSource
    uint8_t textSource = 0;
    std::string name;
    std::string script;        // handed to SPLM::ParseScript
    int8_t mode = 0;           // LevelsManager::GameMode
    int8_t campaign = 0;
    int8_t mission = 0;        // sort key within a group
    int8_t ceiling = 0;        // flight ceiling of the level
    uint8_t timerMinutes = 0;
    uint8_t timerSeconds = 0;
    uint8_t timerOn = 0;
    uint8_t timerDirection = 0;
    uint8_t mapCount = 0;      // arcade: number of arcade maps
    PRect slot = {0, 0, 0, 0}; // the level's slot as last drawn
    PSurface3D* icon = nullptr; // owned
};

class LevelsGroup {
public:
    // Arcade choices: time limits (minutes), enemy respawn times (seconds)
    // and the texts naming those respawn times.
    static constexpr uint8_t c_arcade_time[3] = {3, 6, 9};
    static constexpr uint8_t c_arcade_respawnTime[3] = {30, 60, 90};
    static constexpr uint16_t c_arcade_respawn[3] = {278, 279, 280};

    // Arrows of the arcade setting slots.
    enum Arrow : int { ARROW_NONE = 0, ARROW_LEFT = 1, ARROW_RIGHT = 2 };
    // The six arcade settings, in window order.
    enum Setting : int { SET_AIRCRAFT, SET_MAP, SET_SEASON, SET_TIME_LIMIT, SET_ENEMIES, SET_RESPAWN, SETTING_COUNT };

    LevelsGroup(P3D* p3d, LevelsManager* catalogue);
    ~LevelsGroup() = default;
    LevelsGroup(LevelsGroup const&) = delete;
    LevelsGroup& operator=(LevelsGroup const&) = delete;

    // Adds every record of that mode and campaign, in file order, then sorts
    // by mission number (equal numbers keep their order).
    void Sort(int mode, int campaign);
    void AddLevel(uint8_t recordIndex);
    // The record of the group's i-th level, or null.
    LevelConfig* GetLevelConfig(int i) const;
    int Count() const { return int(levels.size()); }

    // A level at position i is playable when i is below the player's unlock
    // count for the group (campaign groups, time attack); the callers pass
    // the count of the current profile.
    static bool IsUnlocked(int position, int unlockCount) { return position < unlockCount; }
    bool IsSelectedMissionUnlocked(int unlockCount) const { return IsUnlocked(selected, unlockCount); }

    // Key-driven selection (key bits of the input word: 4 up, 8 down, 16
    // fire): up and down move the selection with wrap-around; fire on a
    // playable selection returns its record.
    LevelConfig* ProcessLevelsWindow(uint32_t keys, int unlockCount);
    // A release (not pressed now, pressed before) on a playable level's slot
    // selects it and returns its record; otherwise null.
    LevelConfig* ProcessLevelsWindow_Touchscreen(int x, int y, bool pressed, bool previouslyPressed,
                                                 int unlockCount);
    // Two columns of slots, rows downward; stores each slot in its record.
    void DrawLevelsWindow(Fonts* fonts, PRect const& r, int unlockCount, int touchX, int touchY, bool pressed);
    void DrawLevelSlot(Fonts* fonts, PRect const& r, PSurface3D* icon, wchar_t const* title, bool locked,
                       bool highlighted);

    // The arcade settings window: six slots with arrows; acts on a release
    // on an enabled arrow. Returns the first non-zero slot result (which
    // arrow the touch lies on).
    int DrawArcadeLevelsWindow(Fonts* fonts, PRect const& r, wchar_t const* const* aircraftNames, int nameCount,
                               short const* aircraftList, int listCount, int mapCount, int spawnCount,
                               PSurface3D* leftArrow, PSurface3D* rightArrow, int touchX, int touchY, bool pressed,
                               bool previouslyPressed);
    // Where the window drew each setting's left and right arrow (which take
    // its touches), as of its last drawing.
    PRect arrowRects[SETTING_COUNT][2] = {};
    // Whether an arrow of a setting is enabled, and its effect.
    bool IsArrowEnabled(Setting s, Arrow a, int listCount, int mapCount, int spawnCount) const;
    void ApplyArrow(Setting s, Arrow a);

    void TimeLimitUpdate();
    void EnemyRespawnUpdate();

    P3D* p3d;
    LevelsManager* catalogue;
    std::vector<uint8_t> levels; // indices into the catalogue's records
    uint8_t selected = 0;
    uint8_t arcade = 0, multiplayer = 0, timeAttack = 0, tutorial = 0;
    uint8_t map = 0;
    uint8_t season = 0;
    int32_t roomSetting = 0;
    uint8_t timeLimitOn = 1;
    uint8_t timeLimitChoice = 0;
    uint8_t timeLimitMinutes = 3, timeLimitSeconds = 0;
    uint8_t weaponSetting = 2;
    uint8_t respawnChoice = 1;
    uint8_t respawnMinutes = 1, respawnSeconds = 0;
    uint8_t secondSelection = 0;
    uint8_t aircraftChoice = 0;
    uint8_t enemySetting = 2;
    int32_t reserved[4] = {0, 0, 0, 0};

private:
    // One setting slot: outlines, arrows, label and value; which arrow the
    // touch lies on. The arrows drawn are stored in boxes[0] and [1].
    int DrawSettingSlot(Fonts* fonts, PRect const& r, wchar_t const* label, char const* value, bool leftEnabled,
                        bool rightEnabled, PSurface3D* leftArrow, PSurface3D* rightArrow, int touchX, int touchY,
                        bool pressed, PRect* boxes);
    int DrawSettingSlot(Fonts* fonts, PRect const& r, wchar_t const* label, wchar_t const* value, bool leftEnabled,
                        bool rightEnabled, PSurface3D* leftArrow, PSurface3D* rightArrow, int touchX, int touchY,
                        bool pressed, PRect* boxes);
};

class LevelsManager {
public:
    enum GameMode : int { SINGLEPLAYER = 0, MULTIPLAYER = 1, TIMEATTACK = 2, ARCADE = 3, TUTORIAL = 4 };
    static constexpr char const* kCatalogue = "data\\scripts\\levels.cfg";
    static constexpr int kMaxRecords = 127; // the count byte is signed
    static constexpr int kMaxGroups = 255;

    // Loads the two lock images (none without a drawing context).
    LevelsManager(P3D* p3d, Fonts* fonts, PDisplayProperties* properties);
    ~LevelsManager();
    LevelsManager(LevelsManager const&) = delete;
    LevelsManager& operator=(LevelsManager const&) = delete;

    // Reads the catalogue; always 1 (a missing catalogue leaves it empty).
    int PreprocessScripts(P3D* p3d, PDisplay* display);
    // Appends the complete records of the file; a missing or empty file
    // adds none, a damaged one stops at the first incomplete record (logged).
    void LoadLevelConfigFile(P3D* p3d, char const* path);
    // The same from bytes in memory.
    void LoadLevelConfig(P3D* p3d, uint8_t const* data, size_t size);
    // Appends a record and loads its mission icon; false when the catalogue
    // is full or memory is exhausted.
    bool AddHeaderConfig(P3D* p3d, int32_t title, char const* name, int mode, int campaign, int mission,
                         char const* script, int ceiling, int timerMinutes, int timerSeconds, int timerOn,
                         int timerDirection, int mapCount, int textSource);
    void FreeHeaderConfigs();
    // A new group of that mode and campaign, owned by the catalogue; null when
    // there are too many.
    LevelsGroup* AddLevelsGroup(int mode, int campaign);

    LevelConfig* GetRecord(int i) { return i >= 0 && i < int(records.size()) ? &records[size_t(i)] : nullptr; }
    int RecordCount() const { return int(records.size()); }
    void SetCampaignsCount(uint8_t n) { campaignsCount = n; }
    uint8_t GetCampaignsCount() const { return campaignsCount; }
    uint8_t GetArcadeMapCount() const { return arcadeMapCount; }
    Fonts* GetFonts() const { return fonts; }

    void DrawBigLock(int x, int y);
    // Stretched to w x h, or its own size when w or h is -1.
    void DrawSmallLock(int x, int y, int w, int h);

private:
    Fonts* fonts;
    PDisplayProperties* properties;
    P3D* p3d;
    std::vector<LevelConfig> records;
    ScriptReader* reader = nullptr; // owned
    std::vector<LevelsGroup*> groups; // owned
    uint8_t campaignsCount = 0;
    uint8_t arcadeMapCount = 0;
    PSurface3D* bigLock = nullptr;
    PSurface3D* smallLock = nullptr;
};
