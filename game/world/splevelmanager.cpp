#include "game/world/splevelmanager.h"

#include <cstring>
#include <initializer_list>
#include <new>

#include "engine/runtime/pdebug.h"
#include "game/world/scriptreader.h"

namespace {

// Schema builders. Every list grows in declared order; a failed allocation
// leaves a shorter schema, which ParseScript notices.
LineDefinition* Line(char const* keyword, std::initializer_list<TYPE> types)
{
    LineDefinition* l = new (std::nothrow) LineDefinition(keyword);
    if (l) {
        for (TYPE t : types)
            l->AddValueDefinition(t);
    }
    return l;
}

LineDefinition* Enum(char const* keyword, std::initializer_list<char const*> names)
{
    LineDefinition* l = Line(keyword, {TYPE_OWNDEF});
    if (l) {
        for (char const* n : names)
            l->AddOwnDefinitionName(n);
    }
    return l;
}

Definition* Block(char const* type, char const* name, std::initializer_list<LineDefinition*> lines)
{
    Definition* d = new (std::nothrow) Definition;
    for (LineDefinition* l : lines) {
        if (d)
            d->AddExpectedCommandLine(l);
        else
            delete l;
    }
    if (d) {
        d->SetType(type);
        d->SetName(name);
    }
    return d;
}

// An array keyword whose elements hold the given lines.
LineDefinition* Array(char const* keyword, std::initializer_list<LineDefinition*> element)
{
    LineDefinition* l = new (std::nothrow) LineDefinition(keyword);
    Definition* sample = Block(nullptr, nullptr, element);
    if (!l) {
        delete sample;
        return nullptr;
    }
    l->DefineAsArray(1);
    l->SetArrayDefinitionSample(sample);
    return l;
}

LineDefinition* PathList(char const* keyword, char const* valueKeyword, TYPE type)
{
    return Array(keyword, {Line(valueKeyword, {type})});
}

LineDefinition* Weapons()
{
    return Array("weapons", {Line("index", {TYPE_INTEGER}), Line("ammo", {TYPE_INTEGER})});
}

char const* const kModes[] = {"SINGLEPLAYER", "MULTIPLAYER", "TIMEATTACK", "ARCADE", "TUTORIAL"};

constexpr int kBlockCount = 5;

} // namespace

void SPLM::DefineHeaderScriptSyntax(ScriptReader* reader)
{
    if (!reader)
        return;
    reader->AddDefinition(Block(
        "define", "header",
        {
            Line("title", {TYPE_INTEGER}),
            Line("textSource", {TYPE_INTEGER}),
            Line("campaign", {TYPE_INTEGER}),
            Line("mission", {TYPE_INTEGER}),
            Line("mapdata", {TYPE_STRING}),
            Enum("mode", {kModes[0], kModes[1], kModes[2], kModes[3], kModes[4]}),
            Line("animLoopStart", {TYPE_INTEGER}),
            Line("animLoopEnd", {TYPE_INTEGER}),
            Line("description", {TYPE_INTEGER}),
            PathList("maptextures", "path", TYPE_STRING),
            Line("maxAltitude", {TYPE_INTEGER}),
            Line("timer", {TYPE_INTEGER, TYPE_INTEGER}),
            Enum("timerDirection", {"COUNTUP", "COUNTDOWN"}),
            PathList("gfx", "path", TYPE_STRING),
            Line("virtualDebrief", {TYPE_BOOLEAN}),
            Line("cameraStart", {TYPE_INTEGER}),
            Line("cameraEnd", {TYPE_INTEGER}),
            Line("cameraFPS", {TYPE_INTEGER}),
            Array("vdTxt", {Line("txt", {TYPE_INTEGER}), Line("begin", {TYPE_INTEGER}), Line("end", {TYPE_INTEGER})}),
            PathList("maps", "path", TYPE_STRING),
            PathList("season", "path", TYPE_STRING),
            PathList("planes", "index", TYPE_STRING),
            PathList("bases", "name", TYPE_STRING),
            Line("spawnPrefix", {TYPE_STRING}),
            Line("spawnsCount", {TYPE_INTEGER}),
        }));
}

void SPLM::DefineScriptSyntax(ScriptReader* reader)
{
    if (!reader)
        return;
    DefineHeaderScriptSyntax(reader);

    reader->AddDefinition(Block(
        "define", "mainPlayer",
        {
            Line("spawn", {TYPE_STRING}),
            Line("currentWeapon", {TYPE_INTEGER}),
            Line("energy", {TYPE_INTEGER}),
            Line("airplane", {TYPE_INTEGER}),
            Weapons(),
            Array("objectives",
                  {
                      Enum("action", {"DESTROY", "DEFEND"}),
                      Line("title", {TYPE_INTEGER}),
                      Line("isCompleted", {TYPE_BOOLEAN}),
                      Line("target", {TYPE_INTEGER}),
                      PathList("targets", "gpo", TYPE_INTEGER),
                  }),
            Array("cameraLock",
                  {
                      Array("gpos", {Line("gpo_", {TYPE_INTEGER, TYPE_INTEGER, TYPE_INTEGER})}),
                      Line("gpo", {TYPE_INTEGER, TYPE_INTEGER, TYPE_INTEGER}),
                      Line("title", {TYPE_INTEGER}),
                  }),
        }));

    reader->AddDefinition(Block(
        "define", "GPOs",
        {
            Array("gpo",
                  {
                      Enum("type", {"POINT", "MODEL", "TRIGGER"}),
                      Line("typeName", {TYPE_STRING}),
                      Enum("IDtype", {"NULL", "POINT", "MODEL", "TRIGGER"}),
                      Line("IDname", {TYPE_STRING}),
                      Enum("side", {"FRIENDLY", "ENEMY", "NEUTRAL"}),
                      Line("radarColor", {TYPE_HEX}),
                      Line("radarImg", {TYPE_INTEGER}),
                      Enum("objectType", {"PLANE", "BUILDING", "VEHICLE", "GROUND_AA", "NULL"}),
                      Line("cursorSize", {TYPE_INTEGER}),
                      Line("cursorBounce", {TYPE_INTEGER}),
                      Enum("cursorPLUG", {"ID", "BASIC"}),
                      Line("cursorId", {TYPE_INTEGER}),
                      Line("cursorType", {TYPE_INTEGER}),
                      Line("targetedCursorId", {TYPE_INTEGER}),
                      Line("currentWeapon", {TYPE_INTEGER}),
                      Enum("aiBehaviour", {"NONE", "FIGHTER", "BOMBER", "GROUND_AA", "UBOAT"}),
                      Weapons(),
                      Array("objectives",
                            {
                                Enum("action", {"DESTROY", "DEFEND", "FOLLOW"}),
                                Line("target", {TYPE_INTEGER}),
                                Line("title", {TYPE_STRING}),
                                Line("isCompleted", {TYPE_BOOLEAN}),
                            }),
                      Line("enabled", {TYPE_BOOLEAN}),
                      Line("airplane", {TYPE_INTEGER}),
                      PathList("modelGroup", "model", TYPE_STRING),
                      Line("plugModel", {TYPE_STRING, TYPE_STRING, TYPE_STRING}),
                      Line("plugModelCollCheck", {TYPE_BOOLEAN}),
                      Line("plugModelLODS", {TYPE_STRING, TYPE_INTEGER, TYPE_INTEGER}),
                      Line("followPath", {TYPE_BOOLEAN}),
                      Line("followPathStart", {TYPE_INTEGER}),
                      Line("followPathEnd", {TYPE_INTEGER}),
                      Line("followPathSpeed", {TYPE_INTEGER}),
                      Line("followPathStopAtEnd", {TYPE_BOOLEAN}),
                      Line("waterFx", {TYPE_INTEGER}),
                      Line("armor", {TYPE_INTEGER}),
                  }),
        }));

    LineDefinition* commandType = Enum(
        "type", {"GPO_HEALTH_REDUCE", "GPO_HEALTH_INCREASE", "GPO_MODEL_MESH_INDEX_CHANGE", "GPO_EXPLODE", "GPO_REARM",
                 "SHOW_CONSOLE_TEXT", "ADD_EXPLOSION", "HUD_SHOW_ICON", "GPO_DISABLE", "GPO_ENABLE",
                 "PROFILE_INCREASE_SCORE", "PROFILE_INCREASE_SCORE_RANDOM", "SET_MISSION_COMPLETED",
                 "SET_MISSION_FAILED", "SET_MISSION_IN_PROGRESS", "GPO_RESPAWN", "GPO_PLUG_MODEL_TO_POINT",
                 "TIMER_EXTEND", "SET_MODEL_DISSOLVE", "SET_MODEL_BLEND_ADD", "SET_MODEL_BLEND_ADD_ALPHA",
                 "GPO_UNPLUG_MODEL", "COUNTER_INC", "COUNTER_DEC", "COUNTER_SET", "TIMER_STOP", "TIMER_CONTINUE",
                 "HUD_SET_OBJECTIVES", "GPO_REARM_EXTEND", "SUMMARY_ELEMENT_GPO_DESTR", "SUMMARY_ELEMENT_TIME",
                 "GPO_CHANGE_RADAR_COLOR", "GPO_SET_RESPAWNABLE_FLAG", "EVENT_DISABLE", "EVENT_ENABLE",
                 "EVENT_DISABLE_ALL", "GPO_HEALTH_INCREASE_MP_REQUEST"});
    reader->AddDefinition(Block(
        "define", "Commands",
        {
            Array("Command",
                  {
                      commandType,
                      Line("value", {TYPE_INTEGER}),
                      Line("gpoRef", {TYPE_INTEGER}),
                      Line("loop", {TYPE_INTEGER}),
                      Enum("explosionType", {"EXPLOSION_BASIC", "EXPLOSION_RING", "EXPLOSION_NUKE", "EXPLOSION_2"}),
                      Line("explosionAt", {TYPE_INTEGER}),
                      Line("consoleText", {TYPE_INTEGER}),
                      Array("modelsChange", {Line("change", {TYPE_STRING, TYPE_STRING})}),
                      Line("score", {TYPE_INTEGER}),
                      Line("scoreA", {TYPE_INTEGER}),
                      Line("scoreB", {TYPE_INTEGER}),
                      Line("delay", {TYPE_INTEGER}),
                      Line("model", {TYPE_STRING, TYPE_STRING, TYPE_STRING}),
                      Line("modelLODS", {TYPE_STRING, TYPE_INTEGER, TYPE_INTEGER}),
                      Line("modelName", {TYPE_STRING, TYPE_INTEGER}),
                      Line("color", {TYPE_HEX}),
                  }),
        }));

    LineDefinition* eventType =
        Enum("type", {"NONE", "GPO_HEALTH_VALUE", "GPO_INSIDE_TRIGGER", "WEAPON_INSIDE_TRIGGER",
                      "EXPLOSION_INSIDE_TRIGGER", "GPOS_HEALTH_VALUE", "TIMER_VALUE", "GPOS_INSIDE_TRIGGER",
                      "GPO_DISTANCE_FROM_MAINPLAYER", "COUNTER_VALUE", "TUTORIAL_PROCESS_A", "TUTORIAL_PROCESS_B",
                      "TUTORIAL_PROCESS_C", "TUTORIAL_PROCESS_D", "TUTORIAL_PROCESS_E"});
    reader->AddDefinition(Block(
        "define", "Events",
        {
            Array("Event",
                  {
                      eventType,
                      Line("gpoRef", {TYPE_INTEGER}),
                      Line("triggerRef", {TYPE_INTEGER}),
                      PathList("commands", "com", TYPE_INTEGER),
                      PathList("gpoRefs", "gpo", TYPE_INTEGER),
                      Enum("operator",
                           {"AND", "OR", "EQUAL", "SMALLER", "BIGGER", "EQUAL_SMALLER", "EQUAL_BIGGER", "NOT_EQUAL"}),
                      Line("triggerName", {TYPE_STRING}),
                      Line("value", {TYPE_INTEGER}),
                  }),
        }));
}

PString SPLM::CompiledScriptPath(char const* name)
{
    PString path(kScriptDir);
    size_t n = name ? std::strlen(name) : 0;
    if (n > size_t(kScriptNamePrefix))
        path.Append(name + kScriptNamePrefix);
    path.Append(".bin");
    return path;
}

int SPLM::ParseScript(ScriptReader* reader, char const* name)
{
    if (!reader)
        return 0;
    DefineScriptSyntax(reader);
    if (reader->definitions.size() < size_t(kBlockCount)) {
        _PDebug("ParseScript: the mission schema could not be declared (out of memory)\n");
        return 0;
    }
    PString path = CompiledScriptPath(name);
    return reader->LoadFromFile_Binary(path.c_str());
}

// ---------------------------------------------------------------------------
// Run-time kinds

int SPLM::GpoTypeOfScript(int p)
{
    return p >= 0 && p < 3 ? p : 0;
}

int SPLM::ReferenceTypeOfScript(int p)
{
    if (p == 0)
        return -1;
    return p >= 1 && p <= 3 ? p - 1 : 0;
}

int SPLM::SideOfScript(int p)
{
    return p >= 0 && p < 3 ? p : 0;
}

int SPLM::ObjectTypeOfScript(int p)
{
    return p >= 0 && p < 5 ? p : 0;
}

int SPLM::BehaviourOfScript(int p)
{
    return p >= 1 && p <= 4 ? p - 1 : 4;
}

int SPLM::CommandKindOfScript(int p)
{
    return p >= 0 && p < kCommandKinds ? p : kCommandKinds;
}

int SPLM::EventKindOfScript(int p)
{
    // Scripts list NONE first, the run time last; the distance and counter
    // conditions also change places.
    static constexpr int kRow[SCRIPT_EVENT_COUNT] = {14, 0, 1, 2, 3, 4, 5, 6, 8, 7, 9, 10, 11, 12, 13};
    return p >= 0 && p < SCRIPT_EVENT_COUNT ? kRow[p] : 14;
}

int SPLM::OperatorOfScript(int p)
{
    return p >= 1 && p <= 7 ? p : 0;
}

// ---------------------------------------------------------------------------
// Accessors

namespace {

Definition* Block(ScriptReader* reader, char const* name)
{
    return reader ? reader->GetDefinition(name) : nullptr;
}

ConfigLine* LineOf(Definition* block, char const* keyword)
{
    return block ? block->GetConfigLine(keyword) : nullptr;
}

// The element count of an array keyword, or -1 when the line is missing.
int ElementCount(Definition* block, char const* keyword)
{
    ConfigLine* l = LineOf(block, keyword);
    return l ? l->definitionRef->ArrayCount() : -1;
}

int CountOr(Definition* block, char const* keyword, int missing)
{
    int n = ElementCount(block, keyword);
    return n < 0 ? missing : n;
}

Definition* Element(Definition* block, char const* keyword, int i)
{
    ConfigLine* l = LineOf(block, keyword);
    return l ? l->definitionRef->GetArrayDefinition(int16_t(i)) : nullptr;
}

int IntOr(Definition* block, char const* keyword, int missing)
{
    int n = missing;
    PString* text = nullptr;
    bool flag = false;
    SPLM::Get_commandLine(block, keyword, n, text, flag);
    return n;
}

} // namespace

int SPLM::Get_commandLine(int i, Definition* block, char const* keyword, int& number, PString*& text, bool& flag)
{
    ConfigLine* l = LineOf(block, keyword);
    if (!l)
        return 0;
    switch (l->GetValueType(i)) {
    case TYPE_STRING:
        text = l->GetValue_str(i);
        break;
    case TYPE_INTEGER:
        number = l->GetValue_int(i);
        break;
    case TYPE_BOOLEAN:
        flag = l->GetValue_boolean(i) != 0;
        break;
    case TYPE_OWNDEF:
        number = l->GetValue_ownDef(i);
        break;
    case TYPE_HEX:
        number = l->GetValue_hex(i);
        break;
    default:
        break;
    }
    return 1;
}

int SPLM::GetGpos_count(ScriptReader* r) { return CountOr(Block(r, "GPOs"), "gpo", 1); }
int SPLM::GetCommands_count(ScriptReader* r) { return CountOr(Block(r, "Commands"), "Command", 1); }
int SPLM::GetEvents_count(ScriptReader* r) { return CountOr(Block(r, "Events"), "Event", 0); }
int SPLM::GetObjectivesCount_mainPlayer(ScriptReader* r) { return CountOr(Block(r, "mainPlayer"), "objectives", 0); }
int SPLM::GetWeaponsAvailableCount_mainPlayer(ScriptReader* r) { return CountOr(Block(r, "mainPlayer"), "weapons", 0); }
int SPLM::GetModelGroupCount_gpo(Definition* d) { return CountOr(d, "modelGroup", 0); }
int SPLM::GetObjectivesCount_gpo(Definition* d) { return CountOr(d, "objectives", 0); }
int SPLM::GetWeaponsAvailableCount_gpo(Definition* d) { return CountOr(d, "weapons", 0); }
int SPLM::GetEventsGpos_count(Definition* d) { return CountOr(d, "gpoRefs", 0); }
int SPLM::GetEventsCommands_count(Definition* d) { return CountOr(d, "commands", 0); }
int SPLM::GetCommandsMeshChanges_count(Definition* d) { return CountOr(d, "modelsChange", 0); }

Definition* SPLM::GetGpos_arrayElement(ScriptReader* r, int i) { return Element(Block(r, "GPOs"), "gpo", i); }
Definition* SPLM::GetCommands_arrayElement(ScriptReader* r, int i) { return Element(Block(r, "Commands"), "Command", i); }
Definition* SPLM::GetEvents_arrayElement(ScriptReader* r, int i) { return Element(Block(r, "Events"), "Event", i); }
Definition* SPLM::GetEventsGpos_arrayElement(Definition* d, int i) { return Element(d, "gpoRefs", i); }
Definition* SPLM::GetEventsCommands_arrayElement(Definition* d, int i) { return Element(d, "commands", i); }
Definition* SPLM::GetCommandsMeshChanges_arrayElement(Definition* d, int i) { return Element(d, "modelsChange", i); }

PString* SPLM::GetSpawnPoint_mainPlayer(ScriptReader* r)
{
    ConfigLine* l = LineOf(Block(r, "mainPlayer"), "spawn");
    return l ? l->GetValue_str(0) : nullptr;
}

PString* SPLM::GetMapDataFromHeader(ScriptReader* r)
{
    ConfigLine* l = LineOf(Block(r, "header"), "mapdata");
    return l ? l->GetValue_str(0) : nullptr;
}

int SPLM::GetCurrentWeapon_mainPlayer(ScriptReader* r) { return IntOr(Block(r, "mainPlayer"), "currentWeapon", 0); }
int SPLM::GetPlane_mainPlayer(ScriptReader* r) { return IntOr(Block(r, "mainPlayer"), "airplane", 0); }
int SPLM::GetEnergy_mainPlayer(ScriptReader* r) { return IntOr(Block(r, "mainPlayer"), "energy", 100); }
int SPLM::GetMissionDescription(ScriptReader* r) { return IntOr(Block(r, "header"), "description", -1); }

void SPLM::GetAnimationLoopFromHeader(ScriptReader* r, int& start, int& end)
{
    Definition* h = Block(r, "header");
    start = IntOr(h, "animLoopStart", 0);
    end = IntOr(h, "animLoopEnd", 0);
}

void SPLM::GetModelGroupData_gpo(Definition* gpo, PString*& name, int i)
{
    name = nullptr;
    ConfigLine* l = LineOf(Element(gpo, "modelGroup", i), "model");
    if (l)
        name = l->GetValue_str(0);
}

void SPLM::GetWeaponData_gpo(Definition* gpo, int& index, int& ammo, int i)
{
    index = 0;
    ammo = -1;
    Definition* e = Element(gpo, "weapons", i);
    index = IntOr(e, "index", index);
    ammo = IntOr(e, "ammo", ammo);
}

void SPLM::GetWeaponData_mainPlayer(ScriptReader* r, int& index, int& ammo, int i)
{
    GetWeaponData_gpo(Block(r, "mainPlayer"), index, ammo, i);
}

void SPLM::GetObjectivesData_gpo(Definition* gpo, int& action, int& target, wchar_t const*& title, bool& done, int i)
{
    action = 0;
    target = -1;
    title = nullptr;
    done = false;
    Definition* e = Element(gpo, "objectives", i);
    if (!e)
        return;
    PString* text = nullptr;
    Get_commandLine(e, "action", action, text, done);
    Get_commandLine(e, "target", target, text, done);
    int unused = 0;
    Get_commandLine(e, "isCompleted", unused, text, done);
}

void SPLM::GetCameraLock_mainPlayer(ScriptReader* r, SmartCamera*& list, unsigned short& count)
{
    list = nullptr;
    count = 0;
    ConfigLine* locks = LineOf(Block(r, "mainPlayer"), "cameraLock");
    if (!locks || locks->definitionRef->ArrayCount() <= 0)
        return;
    int n = locks->definitionRef->ArrayCount();
    list = new (std::nothrow) SmartCamera[size_t(n)]();
    if (!list)
        return;
    count = uint16_t(n);
    // Fills slot j of an entry from a line of (object number, range, value).
    auto fill = [this](SmartCamera& cam, int j, ConfigLine* l) {
        uint16_t object = uint16_t(l->GetValue_int(0));
        cam.objects[j] = object < m_gpoCount && m_gpos ? m_gpos[object] : nullptr;
        cam.ranges[j] = int32_t(uint32_t(l->GetValue_int(1)) << 16);
        cam.values[j] = l->GetValue_int(2);
    };
    auto allocate = [](SmartCamera& cam, int k) {
        cam.objects = new (std::nothrow) GPO*[size_t(k)]();
        cam.ranges = new (std::nothrow) int32_t[size_t(k)]();
        cam.values = new (std::nothrow) int32_t[size_t(k)]();
        if (!cam.objects || !cam.ranges || !cam.values) {
            delete[] cam.objects;
            delete[] cam.ranges;
            delete[] cam.values;
            cam.objects = nullptr;
            cam.ranges = cam.values = nullptr;
            return false;
        }
        cam.count = uint16_t(k);
        return true;
    };
    for (int e = 0; e < n; e++) {
        SmartCamera& cam = list[e];
        Definition* entry = locks->definitionRef->GetArrayDefinition(e);
        ConfigLine* gpos = LineOf(entry, "gpos");
        ConfigLine* one = LineOf(entry, "gpo");
        if (gpos) {
            int k = gpos->definitionRef->ArrayCount();
            if (k > 0 && allocate(cam, k)) {
                for (int j = 0; j < k; j++) {
                    ConfigLine* l = LineOf(gpos->definitionRef->GetArrayDefinition(j), "gpo_");
                    if (l)
                        fill(cam, j, l);
                }
            }
        } else if (one && allocate(cam, 1)) {
            fill(cam, 0, one);
        }
        cam.title = IntOr(entry, "title", cam.title);
    }
}

void SPLM::FreeCameraLocks(SmartCamera*& list, unsigned short& count)
{
    if (list) {
        for (unsigned i = 0; i < count; i++) {
            delete[] list[i].objects;
            delete[] list[i].ranges;
            delete[] list[i].values;
        }
    }
    delete[] list;
    list = nullptr;
    count = 0;
}
