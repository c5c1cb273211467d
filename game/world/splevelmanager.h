// SPLM: the mission manager of one game session, and the mission vocabulary
// with the accessors of a parsed mission script.
//
// The vocabulary (five top-level blocks "header", "mainPlayer", "GPOs",
// "Commands", "Events"; docs/formats/mission-script.md lists every keyword)
// is declared into a ScriptReader by DefineScriptSyntax. The position of a
// keyword among its block's keywords is the line index of the compiled
// script, so the declared order is part of the file format.
//
// The accessors find a block by name, a line by keyword and an array element
// by number, and give a fixed default when any of them is missing.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/runtime/pmath3d.h"
#include "engine/runtime/pstring.h"
#include "game/world/command.h"

class Console;
class Definition;
class EventHandler;
class Fonts;
class GPO;
class MyAirplane;
class MySmoke;
class P3D;
class P3DAnim;
class P3DGameEngine;
class PSurface3D;
class PTextureManager;
class PlanesManager;
class ScriptReader;
class WavesManager;
class WeaponSystem;

// What the mission needs of the head-up display beyond the timer: the end
// texts and the icon requests. The HUD implements it.
class MissionHudLink : public MissionHud {
public:
    virtual void SetConditionTxt(int text) = 0;
    virtual bool* RepairIconRequest() = 0;
    virtual bool* RearmIconRequest() = 0;
};

// One target-lock entry of the smart camera.
struct SmartCamera {
    GPO** objects = nullptr;  // owned array; null where a number is out of range
    uint16_t count = 0;
    int32_t* ranges = nullptr; // owned, 16.16 world units
    int32_t* values = nullptr; // owned, handed to the HUD's lock list
    int32_t title = 0;
};

class SPLM {
public:
    // Where compiled scripts live, and the prefix the catalogue's script
    // names are written with (dropped, whatever its characters are).
    static constexpr char const* kScriptDir = "data\\scripts\\";
    static constexpr int kScriptNamePrefix = 25; // strlen("data_to_make\\scripts\\txt\\")

    // Enumeration positions of the script and their run-time kinds.
    enum ScriptEvent : int { SCRIPT_EVENT_NONE = 0, SCRIPT_EVENT_COUNT = 15 };
    enum { kCommandKinds = 37 };

    // The end texts of a completed and of a failed mission.
    static constexpr int kCompletedText = 169;
    static constexpr int kFailedText = 170;

    SPLM();
    explicit SPLM(P3D* gl);
    virtual ~SPLM();
    SPLM(SPLM const&) = delete;
    SPLM& operator=(SPLM const&) = delete;

    // ---- Schema
    static void DefineHeaderScriptSyntax(ScriptReader* reader);
    static void DefineScriptSyntax(ScriptReader* reader);
    // Declares the schema into a fresh reader and loads the compiled script
    // "data\scripts\" + name without its first 25 characters + ".bin".
    // 1 loaded, 0 missing, empty or malformed.
    static int ParseScript(ScriptReader* reader, char const* name);
    // The compiled script's path for a catalogue script name.
    static PString CompiledScriptPath(char const* name);

    // Run-time kinds of the script's enumeration positions.
    static int GpoTypeOfScript(int p);          // POINT 0, MODEL 1, TRIGGER 2
    static int ReferenceTypeOfScript(int p);    // -1 no reference object, else a GPO type
    static int SideOfScript(int p);
    static int ObjectTypeOfScript(int p);
    static int BehaviourOfScript(int p);        // FIGHTER 0 .. UBOAT 3, 4 none
    static int CommandKindOfScript(int p);      // 37 is no command
    static int EventKindOfScript(int p);        // NONE is 14 at run time
    static int OperatorOfScript(int p);

    // ---- Generic line reader
    // Returns 0 and writes nothing when the block is null or has no line
    // with that keyword; otherwise stores value i by its declared type
    // (string: text, borrowed; integer, enumeration position, hexadecimal:
    // number; boolean: flag) and returns 1.
    static int Get_commandLine(int i, Definition* block, char const* keyword, int& number, PString*& text, bool& flag);
    static int Get_commandLine(Definition* block, char const* keyword, int& number, PString*& text, bool& flag)
    {
        return Get_commandLine(0, block, keyword, number, text, flag);
    }

    // ---- Counts of array elements
    static int GetGpos_count(ScriptReader* reader);     // 1 when missing
    static int GetCommands_count(ScriptReader* reader); // 1 when missing
    static int GetEvents_count(ScriptReader* reader);
    static int GetObjectivesCount_mainPlayer(ScriptReader* reader);
    static int GetWeaponsAvailableCount_mainPlayer(ScriptReader* reader);
    static int GetModelGroupCount_gpo(Definition* gpo);
    static int GetObjectivesCount_gpo(Definition* gpo);
    static int GetWeaponsAvailableCount_gpo(Definition* gpo);
    static int GetEventsGpos_count(Definition* event);
    static int GetEventsCommands_count(Definition* event);
    static int GetCommandsMeshChanges_count(Definition* command);

    // ---- Elements (null when anything is missing)
    static Definition* GetGpos_arrayElement(ScriptReader* reader, int i);
    static Definition* GetCommands_arrayElement(ScriptReader* reader, int i);
    static Definition* GetEvents_arrayElement(ScriptReader* reader, int i);
    static Definition* GetEventsGpos_arrayElement(Definition* event, int i);
    static Definition* GetEventsCommands_arrayElement(Definition* event, int i);
    static Definition* GetCommandsMeshChanges_arrayElement(Definition* command, int i);

    // ---- Single values
    static PString* GetSpawnPoint_mainPlayer(ScriptReader* reader);
    static PString* GetMapDataFromHeader(ScriptReader* reader);
    static int GetCurrentWeapon_mainPlayer(ScriptReader* reader);
    static int GetPlane_mainPlayer(ScriptReader* reader);
    static int GetEnergy_mainPlayer(ScriptReader* reader);
    static int GetMissionDescription(ScriptReader* reader);
    static void GetAnimationLoopFromHeader(ScriptReader* reader, int& start, int& end);

    // ---- Element data
    static void GetModelGroupData_gpo(Definition* gpo, PString*& name, int i);
    static void GetWeaponData_gpo(Definition* gpo, int& index, int& ammo, int i);
    static void GetWeaponData_mainPlayer(ScriptReader* reader, int& index, int& ammo, int i);
    static void GetObjectivesData_gpo(Definition* gpo, int& action, int& target, wchar_t const*& title, bool& done,
                                      int i);
    // targets: a new array (the caller's) when the objective lists targets.
    static void GetObjectivesData_mainPlayer(Fonts* fonts, ScriptReader* reader, int& action, int& target,
                                             wchar_t const*& title, bool& done, int i, int*& targets,
                                             int& targetCount);
    // The smart camera's entries; list and its arrays belong to the caller
    // (FreeCameraLocks). Object numbers name this manager's objects.
    void GetCameraLock_mainPlayer(ScriptReader* reader, SmartCamera*& list, unsigned short& count);
    static void FreeCameraLocks(SmartCamera*& list, unsigned short& count);

    // The values of valueKeyword of every element of a header array; the
    // previous array (not its strings) is freed. String values are borrowed
    // from the script; integer values are text numbers, turned into new
    // strings (owned by the caller, FreeStringList frees them).
    static void GetArrayStringsFromHeader(Fonts* fonts, ScriptReader* reader, PString**& list, unsigned char& count,
                                          char const* block, char const* keyword, char const* valueKeyword);
    // The wide form: integer values only, the text service's own texts.
    static void GetArrayStringsFromHeader(Fonts* fonts, ScriptReader* reader, wchar_t const**& list,
                                          unsigned char& count, char const* block, char const* keyword,
                                          char const* valueKeyword);

    // The header summary of a script read from text (the values a level
    // catalogue record carries); absent lines leave their outputs as given.
    static void ParseScriptHeader(Fonts* fonts, ScriptReader* reader, PString*& mapdata, int& mode, int& campaign,
                                  int& mission, int& title, signed char& maxAltitude, signed char& timerMinutes,
                                  signed char& timerSeconds, signed char& timerDirection, signed char& timerOn,
                                  signed char& mapsCount, unsigned char& textSource);

    // ---- Multiplayer and arcade rewrites of a parsed script
    static void FixMultiplayerDataInParsedScript(Fonts* fonts, ScriptReader* reader, unsigned char map,
                                                 unsigned char season, short airplane, unsigned char spawn);
    static void FixArcadeDataInParsedScript(Fonts* fonts, ScriptReader* reader, unsigned char map,
                                            unsigned char season, short aircraftChoice, unsigned char timeLimitOn,
                                            unsigned char timeLimitMinutes, unsigned char timeLimitSeconds,
                                            unsigned char weaponSetting, unsigned char respawnMinutes,
                                            unsigned char respawnSeconds, unsigned char enemySetting);
    static void GetArcadeScoreRange(int& low, int& high, int respawnSeconds, int respawnMinutes, int enemySetting,
                                    int timeLevel);
    // The seed of the arcade rewrite's enemy aircraft pick; by default the
    // current tick count. Tests install a fixed one.
    using SeedSource = uint32_t (*)();
    static void SetRandomSeedSource(SeedSource source);

    // ---- Header images and the timed texts of the intro camera
    // Loads one image for the mission (null when it does not load; the
    // entry is kept so that numbers stay aligned) and returns it.
    PSurface3D* AddGfxImage(const char* path);
    // Image i of the header, null when there is none.
    PSurface3D* GetGfxImagePtr(unsigned char i) const;
    int GfxImageCount() const { return int(m_images.size()); }
    // The header's "gfx" images, numbered in element order.
    void LoadImagesDefinedInHeader(ScriptReader* reader);
    // The header's intro camera (virtualDebrief with its frames and rate)
    // and its timed texts (vdTxt), resolved through the text service.
    void LoadVirtualDebriefFromHeader(Fonts* fonts, ScriptReader* reader);
    // The text to show at a camera frame: the current text while the frame
    // is in its window; past the window the next text becomes current (null
    // this time); null otherwise.
    const wchar_t* GetNextVDText(int time);
    bool HasVirtualDebrief() const { return m_virtualDebrief != 0; }
    // An intro camera that can play: its frames run forward to an end.
    bool HasIntroCamera() const { return m_virtualDebrief && m_cameraEnd > m_cameraStart; }
    int CameraStart() const { return m_cameraStart; }
    int CameraEnd() const { return m_cameraEnd; }
    int CameraFPS() const { return m_cameraFPS; }
    void ReleaseGfxImages();

    // ---- Mission build and run
    void Init(P3DGameEngine* engine, Console* console, int waterLevel);
    void SetPtrToPlanesManager(PlanesManager* pm) { m_planes = pm; }
    void SetCurrentLevel(P3DAnim* level) { m_level = level; }
    // Installs the player's object (owned from now on).
    void SetPlayer(GPO* player);
    GPO* GetPlayer() const { return m_player.get(); }
    // Builds the objects, commands, events and the player's objectives of a
    // parsed script; 0 when an aircraft object's aircraft cannot be placed.
    int DefineGPOs(Fonts* fonts, WeaponSystem* weapons, MissionHudLink* hud, MissionScore* profile,
                   ScriptReader* reader, WavesManager* waves, MySmoke* smoke);
    // Appends an object (null keeps a number free).
    void AddGpo(GPO* g);
    void AddPlane(MyAirplane* a);
    void AddGposColl(short n);
    // One frame of the mission: 1 once it has ended (completed or failed).
    int HandleLevelEvents(WeaponSystem* weapons, unsigned int gameTime, unsigned int frameTime);
    CONDITION GetCondition() const { return m_condition; }
    int GetGPOsPtr(GPO**& list) const
    {
        list = m_gpos;
        return m_gpoCount;
    }
    int CommandCount() const { return int(m_commands.size()); }
    Command* GetCommand(int i) const { return i >= 0 && i < CommandCount() ? m_commands[size_t(i)].get() : nullptr; }
    EventHandler* GetEventHandler() const { return m_events.get(); }
    // Draws the target cursors of the live objects that have one, seen
    // from eye (billboard cursors for kind 0, flat ones otherwise).
    void RenderGpoIndicators(P3D* p3d, PTextureManager* textures, int billboardTexture, int flatTexture,
                             PVector3 eye);
    // Tests an object's aircraft against the plugged model of the first
    // collision object within its reach, in the mesh's space as it is drawn:
    // under any of its triangles the aircraft's body is marked hit and moved
    // back 8 steps.
    void CheckCollAgainstPluggedGpos(GPO* object);
    void PauseGpos();
    void ResetEventHandler();
    void ReleaseCommands();
    void FreeAllGpos();
    void RemoveAllPlanes();

protected:
    // The mission's objects, object number i at index i (built by the
    // mission build; entries may be null).
    GPO** m_gpos = nullptr;
    int32_t m_gpoCount = 0;

private:
    void DefineObject(Definition* d, WavesManager* waves, MySmoke* smoke, int& failed);
    void DefineCommand(Fonts* fonts, WeaponSystem* weapons, MissionHudLink* hud, MissionScore* profile,
                       Definition* d, Command* c);
    void DefineEvent(WeaponSystem* weapons, MissionHudLink* hud, Definition* d);
    GPO* ObjectByNumber(int n) const;

    P3D* m_gl = nullptr;
    std::unique_ptr<EventHandler> m_events;
    P3DGameEngine* m_engine = nullptr;
    P3DAnim* m_level = nullptr;
    std::vector<GPO*> m_objects; // owned; m_gpos points at its entries
    std::unique_ptr<GPO> m_player;
    std::vector<MyAirplane*> m_aircraft; // owned
    PlanesManager* m_planes = nullptr;
    Console* m_console = nullptr;
    MissionHudLink* m_hud = nullptr;
    int32_t m_waterLevel = 0;
    CONDITION m_condition = CONDITION_IN_PROGRESS;
    std::vector<std::unique_ptr<Command>> m_commands;
    std::vector<int16_t> m_collisionObjects;
    int16_t m_eventCounter = 0;
    std::vector<PSurface3D*> m_images; // owned; null where one did not load
    uint8_t m_virtualDebrief = 0;
    int32_t m_cameraStart = 0, m_cameraEnd = 0, m_cameraFPS = 30;
    struct TimedText {
        const wchar_t* text = nullptr; // the text service's
        int32_t begin = 0, end = 0;
    };
    std::vector<TimedText> m_vdTexts;
    int16_t m_vdCurrent = 0;
};
