// The header lists, the header summary and the multiplayer and arcade
// rewrites of a parsed mission script. A rewrite replaces the value texts of
// lines that exist; types and positions of lines never change, and a missing
// line or element is left missing.
#include <cstring>
#include <new>

#include "engine/runtime/pfixed.h"
#include "engine/runtime/ptext.h"
#include "engine/runtime/ptime.h"
#include "game/frontend/fonts.h"
#include "game/world/scriptreader.h"
#include "game/world/splevelmanager.h"

namespace {

Definition* BlockOf(ScriptReader* r, char const* name)
{
    return r ? r->GetDefinition(name) : nullptr;
}

ConfigLine* LineOf(Definition* block, char const* keyword)
{
    return block ? block->GetConfigLine(keyword) : nullptr;
}

Definition* ElementOf(Definition* block, char const* keyword, int i)
{
    ConfigLine* l = LineOf(block, keyword);
    return l ? l->definitionRef->GetArrayDefinition(i) : nullptr;
}

// Value 0 of the keyword's line becomes text (nothing when the line or its
// value is missing).
void SetText(Definition* block, char const* keyword, char const* text, unsigned n)
{
    ConfigLine* l = LineOf(block, keyword);
    PString* v = l ? l->Value(0) : nullptr;
    if (!v)
        return;
    v->Clear();
    if (n)
        v->Append(text, n);
}

void SetText(Definition* block, char const* keyword, PString const* text)
{
    if (text)
        SetText(block, keyword, text->Data(), text->Length());
    else
        SetText(block, keyword, "", 0);
}

void SetNumber(Definition* block, char const* keyword, int v)
{
    ConfigLine* l = LineOf(block, keyword);
    PString* value = l ? l->Value(0) : nullptr;
    if (!value)
        return;
    value->Clear();
    value->AppendNum(v);
}

// index and ammo of a weapons element, only when both lines exist.
void SetWeapon(Definition* element, int index, int ammo)
{
    if (LineOf(element, "index") && LineOf(element, "ammo")) {
        SetNumber(element, "index", index);
        SetNumber(element, "ammo", ammo);
    }
}

// A header list collected for a rewrite, freed with it.
struct HeaderList {
    PString** items = nullptr;
    unsigned char count = 0;
    HeaderList(Fonts* fonts, ScriptReader* r, char const* keyword, char const* valueKeyword)
    {
        SPLM::GetArrayStringsFromHeader(fonts, r, items, count, "header", keyword, valueKeyword);
    }
    ~HeaderList() { delete[] items; }
    HeaderList(HeaderList const&) = delete;
    HeaderList& operator=(HeaderList const&) = delete;
};

// mapdata and the season of maptextures element 0; the base name of gpo
// element 0.
void ApplyMapAndSeason(ScriptReader* r, HeaderList const& maps, HeaderList const& seasons, unsigned char map,
                       unsigned char season)
{
    Definition* header = BlockOf(r, "header");
    if (!header)
        return;
    if (map < maps.count)
        SetText(header, "mapdata", maps.items[map]);
    if (season < seasons.count)
        SetText(ElementOf(header, "maptextures", 0), "path", seasons.items[season]);
}

void ApplyBase(ScriptReader* r, HeaderList const& bases, unsigned char map)
{
    if (map < bases.count)
        SetText(ElementOf(BlockOf(r, "GPOs"), "gpo", 0), "typeName", bases.items[map]);
}

// The spawn prefix and count of the header when both lines exist.
bool SpawnPoints(ScriptReader* r, PString const*& prefix, unsigned char& count)
{
    Definition* header = BlockOf(r, "header");
    ConfigLine* p = LineOf(header, "spawnPrefix");
    ConfigLine* c = LineOf(header, "spawnsCount");
    if (!p || !c)
        return false;
    prefix = p->GetValue_str(0);
    count = static_cast<unsigned char>(c->GetValue_int(0));
    return true;
}

void SetSpawnName(Definition* block, char const* keyword, PString const* prefix, int k)
{
    PString name;
    if (prefix)
        name.Append(prefix->Data(), prefix->Length());
    name.AppendNum(k);
    SetText(block, keyword, &name);
}

// Arcade weapons by weapon setting: the player's two and the enemies'.
struct WeaponPair {
    int index, ammo;
};
constexpr WeaponPair kArcadePlayerWeapon1[] = {{0, 1000}, {0, -1}, {0, -1}};
constexpr WeaponPair kArcadePlayerWeapon2[] = {{-1, 0}, {3, 15}, {3, -1}};
constexpr WeaponPair kArcadeEnemyWeapon[] = {{11, -1}, {11, -1}, {9, -1}};
constexpr int kArcadeWeaponSettings = 3;

// Command and event positions of the arcade mission.
constexpr int kFirstRespawnCommand = 7;
constexpr int kFirstRespawnWarningCommand = 12;
constexpr int kRespawnWarningLead = 300; // ms
constexpr int kScoreDelayExtra = 1000;   // ms
constexpr int kScoreCommands[] = {1, 13, 14, 15, 16};
constexpr int kEnemyWatchEvent = 6;

uint32_t TickSeed()
{
    return PTickCount();
}

SPLM::SeedSource g_seedSource = TickSeed;

} // namespace

void SPLM::SetRandomSeedSource(SeedSource source)
{
    g_seedSource = source ? source : TickSeed;
}

void SPLM::GetArrayStringsFromHeader(Fonts* fonts, ScriptReader* r, PString**& list, unsigned char& count,
                                     char const* block, char const* keyword, char const* valueKeyword)
{
    ConfigLine* l = LineOf(BlockOf(r, block), keyword);
    delete[] list;
    list = nullptr;
    count = 0;
    if (!l)
        return;
    unsigned char n = static_cast<unsigned char>(l->definitionRef->ArrayCount());
    if (n == 0)
        return;
    list = new (std::nothrow) PString*[n]();
    if (!list)
        return;
    count = n;
    for (int i = 0; i < n; i++) {
        ConfigLine* v = LineOf(l->definitionRef->GetArrayDefinition(i), valueKeyword);
        if (!v)
            continue;
        switch (v->GetValueType(0)) {
        case TYPE_STRING:
            list[i] = v->GetValue_str(0);
            break;
        case TYPE_INTEGER:
            // A text number: a string of its own (no list of the mission
            // vocabulary holds numbers).
            if (fonts)
                list[i] = new (std::nothrow) PString(fonts->GetStr(unsigned(v->GetValue_int(0))));
            break;
        default:
            break;
        }
    }
}

void SPLM::GetArrayStringsFromHeader(Fonts* fonts, ScriptReader* r, wchar_t const**& list, unsigned char& count,
                                     char const* block, char const* keyword, char const* valueKeyword)
{
    ConfigLine* l = LineOf(BlockOf(r, block), keyword);
    delete[] list;
    list = nullptr;
    count = 0;
    if (!l)
        return;
    unsigned char n = static_cast<unsigned char>(l->definitionRef->ArrayCount());
    if (n == 0)
        return;
    list = new (std::nothrow) wchar_t const*[n]();
    if (!list)
        return;
    count = n;
    for (int i = 0; i < n; i++) {
        ConfigLine* v = LineOf(l->definitionRef->GetArrayDefinition(i), valueKeyword);
        if (v && fonts && v->GetValueType(0) == TYPE_INTEGER)
            list[i] = fonts->GetStr(unsigned(v->GetValue_int(0)));
    }
}

void SPLM::GetObjectivesData_mainPlayer(Fonts* fonts, ScriptReader* r, int& action, int& target,
                                        wchar_t const*& title, bool& done, int i, int*& targets, int& targetCount)
{
    action = 0;
    target = 0;
    title = nullptr;
    done = false;
    targets = nullptr;
    targetCount = 0;
    Definition* e = ElementOf(BlockOf(r, "mainPlayer"), "objectives", i);
    if (!e)
        return;
    PString* text = nullptr;
    int number = 0;
    Get_commandLine(e, "action", action, text, done);
    Get_commandLine(e, "target", target, text, done);
    Get_commandLine(e, "isCompleted", number, text, done);
    number = 0;
    if (Get_commandLine(e, "title", number, text, done) && fonts)
        title = fonts->GetStr(unsigned(number));
    ConfigLine* list = LineOf(e, "targets");
    if (!list)
        return;
    targetCount = list->definitionRef->ArrayCount();
    if (targetCount <= 0)
        return;
    targets = new (std::nothrow) int[size_t(targetCount)]();
    if (!targets) {
        targetCount = 0;
        return;
    }
    for (int j = 0; j < targetCount; j++) {
        ConfigLine* g = LineOf(list->definitionRef->GetArrayDefinition(j), "gpo");
        targets[j] = g ? g->GetValue_int(0) : 0;
    }
}

void SPLM::ParseScriptHeader(Fonts*, ScriptReader* r, PString*& mapdata, int& mode, int& campaign, int& mission,
                             int& title, signed char& maxAltitude, signed char& timerMinutes,
                             signed char& timerSeconds, signed char& timerDirection, signed char& timerOn,
                             signed char& mapsCount, unsigned char& textSource)
{
    if (!r)
        return;
    r->ReadDefinition(0);
    timerOn = 0;
    timerDirection = 0;
    textSource = 0;
    mapdata = GetMapDataFromHeader(r);
    Definition* h = BlockOf(r, "header");
    if (!h)
        return;
    PString* text = nullptr;
    bool flag = false;
    int v = 0;
    Get_commandLine(h, "campaign", campaign, text, flag);
    Get_commandLine(h, "mission", mission, text, flag);
    Get_commandLine(h, "mode", mode, text, flag);
    Get_commandLine(h, "title", title, text, flag);
    if (Get_commandLine(h, "maxAltitude", v, text, flag))
        maxAltitude = static_cast<signed char>(v);
    if (Get_commandLine(0, h, "timer", v, text, flag)) {
        timerMinutes = static_cast<signed char>(v);
        Get_commandLine(1, h, "timer", v, text, flag);
        timerSeconds = static_cast<signed char>(v);
        timerOn = 1;
    }
    if (Get_commandLine(h, "timerDirection", v, text, flag))
        timerDirection = static_cast<signed char>(v);
    ConfigLine* maps = LineOf(h, "maps");
    if (maps)
        mapsCount = static_cast<signed char>(maps->definitionRef->ArrayCount());
    if (Get_commandLine(h, "textSource", v, text, flag))
        textSource = static_cast<unsigned char>(v);
}

void SPLM::FixMultiplayerDataInParsedScript(Fonts* fonts, ScriptReader* r, unsigned char map, unsigned char season,
                                            short airplane, unsigned char spawn)
{
    if (!r)
        return;
    HeaderList maps(fonts, r, "maps", "path");
    HeaderList seasons(fonts, r, "season", "path");
    HeaderList bases(fonts, r, "bases", "name");
    ApplyMapAndSeason(r, maps, seasons, map, season);
    Definition* player = BlockOf(r, "mainPlayer");
    if (player) {
        SetNumber(player, "airplane", airplane);
        PString const* prefix = nullptr;
        unsigned char spawns = 0;
        if (SpawnPoints(r, prefix, spawns) && spawn < spawns)
            SetSpawnName(player, "spawn", prefix, spawn);
    }
    ApplyBase(r, bases, map);
}

void SPLM::FixArcadeDataInParsedScript(Fonts* fonts, ScriptReader* r, unsigned char map, unsigned char season,
                                       short aircraftChoice, unsigned char timeLimitOn,
                                       unsigned char timeLimitMinutes, unsigned char /*timeLimitSeconds*/,
                                       unsigned char weaponSetting, unsigned char respawnMinutes,
                                       unsigned char respawnSeconds, unsigned char enemySetting)
{
    if (!r)
        return;
    HeaderList maps(fonts, r, "maps", "path");
    HeaderList seasons(fonts, r, "season", "path");
    HeaderList planeNames(fonts, r, "planes", "index");
    HeaderList bases(fonts, r, "bases", "name");
    short planes[256];
    for (int i = 0; i < planeNames.count; i++) {
        PString const* p = planeNames.items[i];
        planes[i] = static_cast<short>(p ? PAtoi(p->c_str(), static_cast<char**>(nullptr), 0) : 0);
    }
    int planeCount = planeNames.count;
    // Settings beyond the weapon table leave the weapons as the script has them.
    bool weaponsKnown = weaponSetting < kArcadeWeaponSettings;

    ApplyMapAndSeason(r, maps, seasons, map, season);

    Definition* player = BlockOf(r, "mainPlayer");
    if (player) {
        if (aircraftChoice >= 0 && aircraftChoice < planeCount)
            SetNumber(player, "airplane", planes[aircraftChoice]);
        if (weaponsKnown && LineOf(player, "weapons")) {
            SetWeapon(ElementOf(player, "weapons", 0), kArcadePlayerWeapon1[weaponSetting].index,
                      kArcadePlayerWeapon1[weaponSetting].ammo);
            SetWeapon(ElementOf(player, "weapons", 1), kArcadePlayerWeapon2[weaponSetting].index,
                      kArcadePlayerWeapon2[weaponSetting].ammo);
        }
    }

    // The enemies are objects 1 to n at the spawn points 0 to n - 1.
    int n = 0;
    Definition* objects = BlockOf(r, "GPOs");
    if (LineOf(objects, "gpo")) {
        ApplyBase(r, bases, map);
        PString const* prefix = nullptr;
        unsigned char spawns = 0;
        if (SpawnPoints(r, prefix, spawns))
            n = spawns;
        PRand random(g_seedSource());
        for (int k = 1; k <= n; k++) {
            Definition* enemy = ElementOf(objects, "gpo", k);
            unsigned pick = random();
            if (!enemy)
                continue;
            SetSpawnName(enemy, "typeName", prefix, k - 1);
            if (planeCount > 0)
                SetNumber(enemy, "airplane", planes[pick % unsigned(planeCount)]);
        }
        for (int k = 1; k <= n; k++) {
            Definition* enemy = ElementOf(objects, "gpo", k);
            if (!enemy)
                continue;
            if (weaponsKnown)
                SetWeapon(ElementOf(enemy, "weapons", 0), kArcadeEnemyWeapon[weaponSetting].index,
                          kArcadeEnemyWeapon[weaponSetting].ammo);
            SetText(enemy, "enabled", k - 1 <= enemySetting ? "TRUE" : "FALSE", k - 1 <= enemySetting ? 4 : 5);
        }
    }

    Definition* commands = BlockOf(r, "Commands");
    if (LineOf(commands, "Command")) {
        int t = (respawnSeconds + 60 * respawnMinutes) * 1000;
        for (int k = 0; k < n; k++) {
            SetNumber(ElementOf(commands, "Command", kFirstRespawnCommand + k), "delay", t);
        }
        for (int k = 0; k < n; k++) {
            SetNumber(ElementOf(commands, "Command", kFirstRespawnWarningCommand + k), "delay",
                      t - kRespawnWarningLead);
        }
        int timeLevel = 0;
        if (timeLimitOn) {
            timeLevel = timeLimitMinutes / 3;
            if (timeLevel < 1)
                timeLevel = 1;
        }
        int low, high;
        GetArcadeScoreRange(low, high, respawnSeconds, respawnMinutes, enemySetting, timeLevel);
        for (int c : kScoreCommands) {
            Definition* command = ElementOf(commands, "Command", c);
            if (LineOf(command, "scoreA") && LineOf(command, "scoreB") && LineOf(command, "delay")) {
                SetNumber(command, "scoreA", low);
                SetNumber(command, "scoreB", high);
                SetNumber(command, "delay", t + kScoreDelayExtra);
            }
        }
    }

    // The event watching the enemies watches only those that take part.
    ConfigLine* watched = LineOf(ElementOf(BlockOf(r, "Events"), "Event", kEnemyWatchEvent), "gpoRefs");
    if (watched) {
        auto& elements = watched->definitionRef->arrayDefinitions;
        size_t keep = size_t(enemySetting) + 1;
        if (elements.size() > keep)
            elements.resize(keep);
    }
}

void SPLM::GetArcadeScoreRange(int& low, int& high, int respawnSeconds, int respawnMinutes, int enemySetting,
                               int timeLevel)
{
    int bonus = 0;
    if (timeLevel > 0) {
        int steps = 4 - timeLevel;
        bonus = steps <= 0 ? 12 : 12 * (steps < 3 ? steps : 3);
    }
    high = bonus + ((enemySetting + 2) * (110 - respawnSeconds - 60 * respawnMinutes) * 3) / 5;
    if (high > 100) {
        high = 100;
        low = 50;
    } else if (high <= 9) {
        high = 10;
        low = 5;
    } else {
        low = high >> 1;
    }
}
