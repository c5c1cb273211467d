#include "game/world/levelsmanager.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <new>

#include "engine/graphics/p3d.h"
#include "engine/graphics/pblit.h"
#include "engine/graphics/psurface3d.h"
#include "engine/runtime/pdebug.h"
#include "engine/runtime/pfile.h"
#include "game/frontend/fonts.h"
#include "game/world/myutility.h"
#include "game/world/scriptreader.h"

namespace {

constexpr char kBigLock[] = "data\\2dgfx\\lock.png";
constexpr char kSmallLock[] = "data\\2dgfx\\lock_mini.png";
constexpr char kCampaignIcon[] = "data\\2dgfx\\mission_icons\\campaign_%d_%d.png";
constexpr char kTimeAttackIcon[] = "data\\2dgfx\\mission_icons\\t_attack_%d.png";
constexpr long kMaxCatalogue = 1l << 20;

// Key bits of the input word.
constexpr uint32_t kKeyUp = 4, kKeyDown = 8, kKeyFire = 16;

// Slot look.
constexpr unsigned kOutlineDark = 0x440808, kOutlineLight = 0x990B0B;
constexpr unsigned kSlotShade = 0xA5B88C53;
constexpr int kIconBox = 44;
constexpr int kBlitScaled = PS3D_SCALE;                                // 64
constexpr int kBlitScaledFaded = PS3D_SCALE | PS3D_ALPHA;              // 72
constexpr int kBlitArrow = PS3D_SCALE | PS3D_ALPHATEST;                // 65
constexpr int kBlitFaded = PS3D_SCALE | PS3D_ALPHA | PS3D_ALPHATEST;   // 73
constexpr uint32_t kFadedAlpha = 127;

// Interface texts of the arcade window.
enum : unsigned {
    kTextAircraft = 147,
    kTextMap = 134,
    kTextSeason = 135,
    kTextTimeLimit = 136,
    kTextNoLimit = 137,
    kTextRespawn = 139,
    kTextFirstSeason = 143,
    kTextEnemies = 148,
    kTextMinutes = 277,
};

bool Inside(PRect const& r, int x, int y)
{
    return x >= r.x && x <= r.x + r.width && y >= r.y && y <= r.y + r.height;
}

void Outlines(P3D* p3d, PRect const& r)
{
    p3d->Rectangle(r.x, r.y, r.width, r.height, kOutlineDark, P3DBLEND_OPAQUE);
    p3d->Rectangle(r.x + 1, r.y + 1, r.width - 2, r.height - 2, kOutlineLight, P3DBLEND_OPAQUE);
    p3d->Rectangle(r.x + 2, r.y + 2, r.width - 4, r.height - 4, kOutlineDark, P3DBLEND_OPAQUE);
}

} // namespace

// ---------------------------------------------------------------------------
// LevelsGroup

LevelsGroup::LevelsGroup(P3D* p3d, LevelsManager* catalogue) : p3d(p3d), catalogue(catalogue) {}

void LevelsGroup::AddLevel(uint8_t recordIndex)
{
    levels.push_back(recordIndex);
}

void LevelsGroup::Sort(int mode, int campaign)
{
    if (!catalogue)
        return;
    for (int i = 0; i < catalogue->RecordCount() && levels.size() < 255; i++) {
        LevelConfig const* c = catalogue->GetRecord(i);
        if (c->mode == mode && c->campaign == campaign)
            AddLevel(uint8_t(i));
    }
    // Adjacent swaps until a pass swaps nothing: equal mission numbers keep
    // their file order.
    bool swapped = true;
    while (swapped) {
        swapped = false;
        for (size_t i = 1; i < levels.size(); i++) {
            if (catalogue->GetRecord(levels[i - 1])->mission > catalogue->GetRecord(levels[i])->mission) {
                std::swap(levels[i - 1], levels[i]);
                swapped = true;
            }
        }
    }
}

LevelConfig* LevelsGroup::GetLevelConfig(int i) const
{
    if (i < 0 || i >= int(levels.size()) || !catalogue)
        return nullptr;
    return catalogue->GetRecord(levels[size_t(i)]);
}

LevelConfig* LevelsGroup::ProcessLevelsWindow(uint32_t keys, int unlockCount)
{
    int n = int(levels.size());
    if (n == 0)
        return nullptr;
    if (keys & kKeyUp)
        selected = uint8_t(selected == 0 || selected >= n ? n - 1 : selected - 1);
    if (keys & kKeyDown)
        selected = uint8_t(selected + 1 >= n ? 0 : selected + 1);
    if ((keys & kKeyFire) && selected < n && IsSelectedMissionUnlocked(unlockCount))
        return GetLevelConfig(selected);
    return nullptr;
}

LevelConfig* LevelsGroup::ProcessLevelsWindow_Touchscreen(int x, int y, bool pressed, bool previouslyPressed,
                                                          int unlockCount)
{
    if (levels.empty() || !previouslyPressed || pressed)
        return nullptr;
    for (int i = 0; i < int(levels.size()); i++) {
        LevelConfig* c = GetLevelConfig(i);
        if (c && Inside(c->slot, x, y) && IsUnlocked(i, unlockCount)) {
            selected = uint8_t(i);
            return c;
        }
    }
    return nullptr;
}

void LevelsGroup::DrawLevelsWindow(Fonts* fonts, PRect const& r, int unlockCount, int touchX, int touchY,
                                   bool pressed)
{
    if (levels.empty())
        return;
    int cw = (r.width - 16) / 2;
    int rh = (r.height - 16) / 2;
    for (int i = 0; i < int(levels.size()); i++) {
        LevelConfig* c = GetLevelConfig(i);
        PRect slot = {r.x + 8 + cw * (i % 2), r.y + 8 + rh * (i / 2), cw - 1, rh - 1};
        bool locked = !IsUnlocked(i, unlockCount);
        bool highlighted = pressed && Inside(slot, touchX, touchY);
        wchar_t const* title = nullptr;
        if (fonts) {
            fonts->SetFileSource(c->textSource);
            title = fonts->GetStr(unsigned(c->title));
            fonts->SetFileSource(0);
        }
        DrawLevelSlot(fonts, slot, c->icon, title, locked, highlighted);
        c->slot = slot;
    }
}

void LevelsGroup::DrawLevelSlot(Fonts* fonts, PRect const& r, PSurface3D* icon, wchar_t const* title, bool locked,
                                bool highlighted)
{
    int bw = kIconBox, bh = kIconBox;
    if (icon) {
        bw = std::max(int(icon->Width()), kIconBox);
        bh = int(icon->Height()) > kIconBox - 1 ? int(icon->Height()) : kIconBox;
    }
    if (p3d) {
        Outlines(p3d, r);
        if (locked || highlighted)
            p3d->FillRect(r, kSlotShade, highlighted ? P3DBLEND_ADDALPHA : P3DBLEND_ALPHA);
        if (icon) {
            PBlitFX fx;
            fx.alpha = kFadedAlpha;
            PRect box = {r.x + 6, r.y + r.height / 2 - bh / 2, bw, bh};
            p3d->BlitFx(box, icon, nullptr, locked ? kBlitScaledFaded : kBlitScaled, fx);
        }
    }
    if (fonts && title) {
        int x = r.x + 6 + bw + 8;
        int width = r.width - 16 - bw;
        int step = fonts->Height(0) + 2;
        int lines = fonts->TestSection(0, x, 0, step, width, title, Fonts::kLeft);
        fonts->PrintSection(0, x, r.y + r.height / 2 - lines * step / 2, step, width, title, Fonts::kLeft);
    }
}

bool LevelsGroup::IsArrowEnabled(Setting s, Arrow a, int listCount, int mapCount, int spawnCount) const
{
    bool left = a == ARROW_LEFT;
    switch (s) {
    case SET_AIRCRAFT:
        return left ? listCount > 1 && aircraftChoice > 0 : aircraftChoice < listCount - 1;
    case SET_MAP:
        return left ? map > 0 : map < mapCount - 1;
    case SET_SEASON:
        return left ? season > 0 : season < 2;
    case SET_TIME_LIMIT:
        return left ? timeLimitChoice > 0 : timeLimitOn || timeLimitChoice < 2;
    case SET_ENEMIES:
        return left ? enemySetting > 1 : enemySetting < spawnCount - 1;
    case SET_RESPAWN:
        return left ? respawnChoice > 0 : respawnChoice < 2;
    default:
        return false;
    }
}

void LevelsGroup::ApplyArrow(Setting s, Arrow a)
{
    int step = a == ARROW_LEFT ? -1 : 1;
    switch (s) {
    case SET_AIRCRAFT:
        aircraftChoice = uint8_t(aircraftChoice + step);
        break;
    case SET_MAP:
        map = uint8_t(map + step);
        break;
    case SET_SEASON:
        season = uint8_t(season + step);
        break;
    case SET_TIME_LIMIT:
        if (a == ARROW_LEFT) {
            if (timeLimitOn)
                timeLimitChoice--;
            else
                timeLimitOn = 1;
        } else if (timeLimitChoice < 2) {
            timeLimitChoice++;
        } else {
            timeLimitOn = 0;
        }
        TimeLimitUpdate();
        break;
    case SET_ENEMIES:
        enemySetting = uint8_t(enemySetting + step);
        break;
    case SET_RESPAWN:
        respawnChoice = uint8_t(respawnChoice + step);
        EnemyRespawnUpdate();
        break;
    default:
        break;
    }
}

void LevelsGroup::TimeLimitUpdate()
{
    timeLimitSeconds = 0;
    timeLimitMinutes = c_arcade_time[timeLimitChoice < 3 ? timeLimitChoice : 2];
}

void LevelsGroup::EnemyRespawnUpdate()
{
    int t = c_arcade_respawnTime[respawnChoice < 3 ? respawnChoice : 2];
    respawnMinutes = uint8_t(t / 60);
    respawnSeconds = uint8_t(t % 60);
}

int LevelsGroup::DrawSettingSlot(Fonts* fonts, PRect const& r, wchar_t const* label, wchar_t const* value,
                                 bool leftEnabled, bool rightEnabled, PSurface3D* leftArrow, PSurface3D* rightArrow,
                                 int touchX, int touchY, bool pressed, PRect* boxes)
{
    int result = ARROW_NONE;
    if (p3d)
        Outlines(p3d, r);
    PSurface3D* arrows[2] = {leftArrow, rightArrow};
    bool enabled[2] = {leftEnabled, rightEnabled};
    for (int k = 0; k < 2; k++) {
        PSurface3D* img = arrows[k];
        boxes[k] = PRect{0, 0, 0, 0};
        if (!img)
            continue;
        int aw = int(img->Width()), ah = int(img->Height());
        // Arrows start just above the slot's middle; one taller than the
        // room below that (slots of a small screen) is drawn smaller, so
        // that it ends 2 pixels inside the slot and lies over nothing else
        // (the label above, the next row or the start button below).
        const int top = r.y + r.height / 2 - 2;
        const int room = r.y + r.height - 2 - top;
        if (ah > room && room > 0) {
            aw = int(int64_t(aw) * room / ah);
            ah = room;
        }
        PRect box = {k == 0 ? r.x + 2 : r.x + r.width - 2 - aw, top, aw, ah};
        boxes[k] = box;
        bool on = Inside(box, touchX, touchY);
        if (on && result == ARROW_NONE)
            result = k == 0 ? ARROW_LEFT : ARROW_RIGHT;
        if (p3d) {
            PRect drawn = on && pressed ? PRect{box.x - 2, box.y - 2, aw + 4, ah + 4} : box;
            PBlitFX fx;
            fx.alpha = kFadedAlpha;
            p3d->BlitFx(drawn, img, nullptr, enabled[k] ? kBlitArrow : kBlitFaded, fx);
        }
    }
    if (fonts) {
        int cx = r.x + r.width / 2;
        if (label)
            fonts->Print(cx, r.y + r.height / 4, label, 0, Fonts::kCenter);
        if (value)
            fonts->Print(cx, r.y + r.height * 3 / 4, value, 0, Fonts::kCenter);
    }
    return result;
}

int LevelsGroup::DrawSettingSlot(Fonts* fonts, PRect const& r, wchar_t const* label, char const* value,
                                 bool leftEnabled, bool rightEnabled, PSurface3D* leftArrow, PSurface3D* rightArrow,
                                 int touchX, int touchY, bool pressed, PRect* arrows)
{
    wchar_t wide[64] = {0};
    Fonts::Utf8ToWide(wide, 64, value);
    return DrawSettingSlot(fonts, r, label, wide, leftEnabled, rightEnabled, leftArrow, rightArrow, touchX, touchY,
                           pressed, arrows);
}

int LevelsGroup::DrawArcadeLevelsWindow(Fonts* fonts, PRect const& r, wchar_t const* const* aircraftNames,
                                        int nameCount, short const* aircraftList, int listCount, int mapCount,
                                        int spawnCount, PSurface3D* leftArrow, PSurface3D* rightArrow, int touchX,
                                        int touchY, bool pressed, bool previouslyPressed)
{
    int rowH = r.height / 3;
    int leftW = r.width / 2 + 22;
    int rightW = r.width / 2 - 22;
    auto text = [fonts](unsigned id) -> wchar_t const* { return fonts ? fonts->GetStr(id) : nullptr; };

    wchar_t const* aircraft = nullptr;
    if (aircraftList && aircraftChoice < listCount) {
        int number = aircraftList[aircraftChoice];
        if (aircraftNames && number >= 0 && number < nameCount)
            aircraft = aircraftNames[number];
    }
    char number[16];
    wchar_t timeText[64] = {0};
    if (timeLimitOn) {
        std::swprintf(timeText, 64, L"%d %ls", int(c_arcade_time[timeLimitChoice < 3 ? timeLimitChoice : 2]),
                      text(kTextMinutes) ? text(kTextMinutes) : L"");
    } else if (text(kTextNoLimit)) {
        std::swprintf(timeText, 64, L"%ls", text(kTextNoLimit));
    }

    int result = ARROW_NONE;
    for (int s = 0; s < SETTING_COUNT; s++) {
        Setting setting = Setting(s);
        PRect slot = {s % 2 == 0 ? r.x : r.x + leftW, r.y + rowH * (s / 2), s % 2 == 0 ? leftW : rightW, rowH};
        bool le = IsArrowEnabled(setting, ARROW_LEFT, listCount, mapCount, spawnCount);
        bool re = IsArrowEnabled(setting, ARROW_RIGHT, listCount, mapCount, spawnCount);
        PRect* arrows = arrowRects[s];
        int hit = ARROW_NONE;
        switch (setting) {
        case SET_AIRCRAFT:
            hit = DrawSettingSlot(fonts, slot, text(kTextAircraft), aircraft, le, re, leftArrow, rightArrow, touchX,
                                  touchY, pressed, arrows);
            break;
        case SET_MAP:
            std::snprintf(number, sizeof number, "%d", map + 1);
            hit = DrawSettingSlot(fonts, slot, text(kTextMap), number, le, re, leftArrow, rightArrow, touchX, touchY,
                                  pressed, arrows);
            break;
        case SET_SEASON:
            hit = DrawSettingSlot(fonts, slot, text(kTextSeason), text(kTextFirstSeason + season), le, re, leftArrow,
                                  rightArrow, touchX, touchY, pressed, arrows);
            break;
        case SET_TIME_LIMIT:
            hit = DrawSettingSlot(fonts, slot, text(kTextTimeLimit), timeText, le, re, leftArrow, rightArrow, touchX,
                                  touchY, pressed, arrows);
            break;
        case SET_ENEMIES:
            std::snprintf(number, sizeof number, "%d", enemySetting + 1);
            hit = DrawSettingSlot(fonts, slot, text(kTextEnemies), number, le, re, leftArrow, rightArrow, touchX,
                                  touchY, pressed, arrows);
            break;
        case SET_RESPAWN:
            hit = DrawSettingSlot(fonts, slot, text(kTextRespawn),
                                  text(c_arcade_respawn[respawnChoice < 3 ? respawnChoice : 2]), le, re, leftArrow,
                                  rightArrow, touchX, touchY, pressed, arrows);
            break;
        default:
            break;
        }
        if (hit == ARROW_NONE || result != ARROW_NONE)
            continue;
        result = hit;
        bool released = !pressed && previouslyPressed;
        if (released && (hit == ARROW_LEFT ? le : re))
            ApplyArrow(setting, Arrow(hit));
    }
    return result;
}

// ---------------------------------------------------------------------------
// LevelsManager

LevelsManager::LevelsManager(P3D* p3d, Fonts* fonts, PDisplayProperties* properties)
    : fonts(fonts), properties(properties), p3d(p3d)
{
    if (p3d) {
        bigLock = PSurface3D::CreateFromFile(p3d, kBigLock, 0);
        smallLock = PSurface3D::CreateFromFile(p3d, kSmallLock, 0);
    }
}

LevelsManager::~LevelsManager()
{
    FreeHeaderConfigs();
    for (LevelsGroup* g : groups)
        delete g;
    delete reader;
    delete bigLock;
    delete smallLock;
}

void LevelsManager::FreeHeaderConfigs()
{
    for (LevelConfig& c : records)
        delete c.icon;
    records.clear();
}

int LevelsManager::PreprocessScripts(P3D* ctx, PDisplay*)
{
    LoadLevelConfigFile(ctx, kCatalogue);
    return 1;
}

void LevelsManager::LoadLevelConfigFile(P3D* ctx, char const* path)
{
    PFile f(path, PFile::kRead);
    if (!f.IsOpen())
        return;
    long size = f.Size();
    if (size <= 0)
        return;
    if (size > kMaxCatalogue) {
        _PDebug("%s: %ld bytes, more than a catalogue holds\n", path, size);
        return;
    }
    std::vector<uint8_t> data(static_cast<size_t>(size));
    if (f.ReadFully(data.data(), int(size)) != int(size)) {
        _PDebug("%s: short read\n", path);
        return;
    }
    LoadLevelConfig(ctx, data.data(), data.size());
}

void LevelsManager::LoadLevelConfig(P3D* ctx, uint8_t const* data, size_t size)
{
    if (!data || size == 0)
        return;
    int count = int8_t(data[0]);
    size_t pos = 1;
    // A length byte and that many bytes; false when they run past the end.
    auto text = [&](std::string& out) {
        if (pos >= size || size - pos - 1 < data[pos])
            return false;
        size_t n = data[pos++];
        out.assign(reinterpret_cast<char const*>(data + pos), n);
        pos += n;
        return true;
    };
    for (int i = 0; i < count; i++) {
        std::string name, script;
        bool complete = size - pos >= 4;
        int32_t title = 0;
        if (complete) {
            title = MyUtility::BytesToInteger(data + pos);
            pos += 4;
            complete = text(name) && text(script) && size - pos >= 10;
        }
        if (!complete) {
            _PDebug("levels catalogue: ends inside level %d of %d; the %d complete ones are kept\n", i + 1, count, i);
            return;
        }
        // Stored order: campaign, mission, mode, ceiling, timer minutes,
        // seconds, on, direction, map count, text source.
        uint8_t const* b = data + pos;
        pos += 10;
        int mode = int8_t(b[2]);
        if (!AddHeaderConfig(ctx, title, name.c_str(), mode, int8_t(b[0]), int8_t(b[1]), script.c_str(),
                             int8_t(b[3]), b[4], b[5], b[6], b[7], b[8], b[9]))
            return;
        if (mode == ARCADE)
            arcadeMapCount = b[8];
    }
}

bool LevelsManager::AddHeaderConfig(P3D* ctx, int32_t title, char const* name, int mode, int campaign, int mission,
                                    char const* script, int ceiling, int timerMinutes, int timerSeconds,
                                    int timerOn, int timerDirection, int mapCount, int textSource)
{
    if (records.size() >= size_t(kMaxRecords)) {
        _PDebug("levels catalogue: more than %d levels\n", kMaxRecords);
        return false;
    }
    LevelConfig c;
    c.title = title;
    c.textSource = uint8_t(textSource);
    c.name = name ? name : "";
    c.script = script ? script : "";
    c.mode = int8_t(mode);
    c.campaign = int8_t(campaign);
    c.mission = int8_t(mission);
    c.ceiling = int8_t(ceiling);
    c.timerMinutes = uint8_t(timerMinutes);
    c.timerSeconds = uint8_t(timerSeconds);
    c.timerOn = uint8_t(timerOn);
    c.timerDirection = uint8_t(timerDirection);
    c.mapCount = uint8_t(mapCount);
    if (ctx && (mode == SINGLEPLAYER || mode == TIMEATTACK)) {
        char path[96];
        if (mode == SINGLEPLAYER)
            std::snprintf(path, sizeof path, kCampaignIcon, campaign + 1, mission + 1);
        else
            std::snprintf(path, sizeof path, kTimeAttackIcon, mission + 1);
        c.icon = PSurface3D::CreateFromFile(ctx, path, 0);
    }
    records.push_back(c);
    return true;
}

LevelsGroup* LevelsManager::AddLevelsGroup(int mode, int campaign)
{
    if (groups.size() >= size_t(kMaxGroups))
        return nullptr;
    LevelsGroup* g = new (std::nothrow) LevelsGroup(p3d, this);
    if (!g)
        return nullptr;
    groups.push_back(g);
    g->Sort(mode, campaign);
    return g;
}

void LevelsManager::DrawBigLock(int x, int y)
{
    if (!p3d || !bigLock)
        return;
    PBlitFX fx;
    fx.alpha = 255;
    p3d->BlitFx(PRect{x, y, int(bigLock->Width()), int(bigLock->Height())}, bigLock, nullptr, kBlitFaded, fx);
}

void LevelsManager::DrawSmallLock(int x, int y, int w, int h)
{
    if (!p3d || !smallLock)
        return;
    if (w == -1 || h == -1) {
        w = int(smallLock->Width());
        h = int(smallLock->Height());
    }
    PBlitFX fx;
    p3d->BlitFx(PRect{x, y, w, h}, smallLock, nullptr, kBlitScaled, fx);
}
