#include "game/world/command.h"

#include <algorithm>
#include <string>

#include "engine/runtime/palloc.h"
#include "engine/runtime/ptime.h"
#include "game/scene/p3dgameengine.h"
#include "game/scene/p3dobjects.h"
#include "game/world/console.h"
#include "game/world/eventhandler.h"
#include "game/world/gameplayobject.h"
#include "game/world/myairplane.h"
#include "game/world/weaponsystem.h"

namespace {

constexpr int kFullHealth = 100;
constexpr int kRespawnThrottle = 35;

int16_t Low16(int64_t v)
{
    return int16_t(uint16_t(uint64_t(v)));
}

} // namespace

Command::Command() : random(PTickCount(), 0) {}

void Command::SetDelay(int d)
{
    delay = uint32_t(std::max(d, 0));
    if (d > 0)
        delayState = kDelayIdle;
}

void Command::AddModelMeshIndexChange(P3DGameEngine* engine, const char* oldName, const char* newName,
                                      const char* directory, const char* textures)
{
    if (!engine || !oldName || !newName)
        return;
    int o = engine->GetMeshIndexByName(oldName);
    if (o < 0)
        return;
    int n = engine->GetMeshIndexByName(newName);
    if (n < 0) {
        std::string path = std::string(directory ? directory : "") + newName + ".pof";
        engine->AddMesh(path.c_str(), newName, textures);
        n = engine->meshCount - 1;
    }
    oldMeshes.push_back(o);
    newMeshes.push_back(n);
}

void Command::LoadPlugModel(P3DGameEngine* engine, const char* name, const char* directory, const char* textures,
                            const char* lodSuffix, int lodCount, int lodDist)
{
    if (!engine || !name || !directory || !textures)
        return;
    auto findOrLoad = [&](std::string const& n) { return GPO::FindOrLoadMesh(engine, n, directory, textures); };
    int first = findOrLoad(name);
    if (first >= 0 && first < engine->meshCount && engine->meshes && engine->meshes[first])
        AddPlugModel(uint16_t(first));
    if (lodSuffix && lodCount > 0)
        for (int k = 1; k <= std::min(lodCount, 9); k++) {
            // A level that does not load keeps its place (an index that
            // names no mesh), so the later levels keep their bands.
            int i = findOrLoad(std::string(name) + lodSuffix + char('1' + k - 1));
            AddPlugModel(i >= 0 ? uint16_t(i) : kNoMesh);
        }
    lodDistance = int32_t(std::clamp<int64_t>(int64_t(lodDist) * 65536, INT32_MIN, INT32_MAX));
}

void Command::AddPlugModel(unsigned short i)
{
    if (int(plugMeshes.size()) < GPO::kMaxPlugMeshes)
        plugMeshes.push_back(i);
}

void Command::SetModelBlend(P3DGameEngine* engine, P3DAnim* scene, const char* name, short index)
{
    if (!engine || !scene || !name)
        return;
    P3DModel** found = nullptr;
    int n = engine->GetModelsPtrByName(scene, name, found);
    if (index >= 0 && n > index)
        model = found[index];
    PFree(found);
}

int Command::RandomScore()
{
    if (scoreB <= scoreA)
        return scoreA;
    uint32_t span = uint32_t(int64_t(scoreB) - scoreA);
    return int(int64_t(scoreA) + random() % span);
}

void Command::Execute(EventHandler* handler)
{
    GPO* g = gpo;
    switch (kind) {
    case GPO_HEALTH_REDUCE:
        if (g && g->enabled && g->healthRef && *g->healthRef >= 1)
            *g->healthRef = int32_t(std::max<int64_t>(int64_t(*g->healthRef) - value, 0));
        break;
    case GPO_HEALTH_INCREASE:
        if (g && g->healthRef && *g->healthRef <= kFullHealth - 1)
            *g->healthRef = int32_t(std::clamp<int64_t>(int64_t(*g->healthRef) + value, 0, kFullHealth));
        break;
    case GPO_MODEL_MESH_INDEX_CHANGE:
        if (g && g->modelGroup)
            for (P3DModel* m : g->models)
                for (size_t i = 0; m && i < oldMeshes.size(); i++)
                    if (oldMeshes[i] == m->meshIndex) {
                        m->meshIndex = newMeshes[i];
                        break;
                    }
        break;
    case GPO_REARM:
        if (g)
            g->RearmAllWeapons(value ? value : 1);
        break;
    case GPO_REARM_EXTEND:
        if (g)
            g->RearmAllWeapons_Extend(value ? value : 1);
        break;
    case SHOW_CONSOLE_TEXT:
        if (console && text)
            console->AddElement(text);
        break;
    case ADD_EXPLOSION:
        if (weapons && g)
            weapons->AddExplosion(g->GetPosition(), explosionKind, nullptr);
        break;
    case HUD_SHOW_ICON:
        if (hudIcon)
            *hudIcon = true;
        break;
    case GPO_DISABLE:
        if (g)
            g->Disable();
        break;
    case GPO_ENABLE:
        if (g)
            g->Enable();
        break;
    case PROFILE_INCREASE_SCORE:
        if (profile)
            profile->ScoreIncrease(scoreA);
        break;
    case PROFILE_INCREASE_SCORE_RANDOM:
        if (profile)
            profile->ScoreIncrease(RandomScore());
        break;
    case SET_MISSION_COMPLETED:
    case SET_MISSION_FAILED:
    case SET_MISSION_IN_PROGRESS:
        if (condition)
            *condition = kind == SET_MISSION_COMPLETED ? CONDITION_COMPLETED
                         : kind == SET_MISSION_FAILED  ? CONDITION_FAILED
                                                       : CONDITION_IN_PROGRESS;
        break;
    case GPO_RESPAWN:
        if (!g || !g->respawnable)
            break;
        g->RespawnPosition();
        if (g->healthRef)
            *g->healthRef = kFullHealth;
        g->pathPosition = g->pathStart;
        g->aiTimer = 0;
        g->aiFrameTime = 0;
        if (MyAirplane* a = g->aircraft) {
            a->health = kFullHealth;
            a->throttle = kRespawnThrottle;
            a->lastUpdate = 0;
            a->dt = 0;
        }
        break;
    case GPO_PLUG_MODEL_TO_POINT:
        if (g) {
            g->plugMeshes.assign(plugMeshes.begin(),
                                 plugMeshes.begin() + std::min<ptrdiff_t>(ptrdiff_t(plugMeshes.size()),
                                                                          GPO::kMaxPlugMeshes));
            g->lodDistance = lodDistance;
        }
        break;
    case TIMER_EXTEND:
        if (hud) {
            int m = 0, s = 0;
            hud->GetTimerBase(m, s);
            int64_t total = int64_t(m) * 60 + s + value;
            int64_t mm = total / 60, ss = total - mm * 60;
            hud->SetTimerBase(mm > 0 ? int(std::min<int64_t>(mm, INT32_MAX)) : 0, ss > 0 ? int(ss) : 0);
        }
        break;
    case SET_MODEL_BLEND_ADD_ALPHA:
        if (model)
            model->AddFlag(kModelAlphaAdditive);
        break;
    case GPO_UNPLUG_MODEL:
        if (g && !g->plugMeshes.empty()) {
            g->plugMeshes.clear();
            if (P3DNullPoint* n = g->nullPoint ? g->nullPoint : g->refNullPoint)
                n->UnplugModel();
        }
        break;
    case COUNTER_INC:
        if (counter)
            *counter = Low16(int64_t(*counter) + value);
        break;
    case COUNTER_DEC:
        if (counter)
            *counter = Low16(int64_t(*counter) - value);
        break;
    case COUNTER_SET:
        if (counter)
            *counter = Low16(value);
        break;
    case TIMER_STOP:
    case TIMER_CONTINUE:
        if (hud)
            hud->SetTimerRunning(kind == TIMER_CONTINUE);
        break;
    case HUD_SET_OBJECTIVES:
        if (hud)
            hud->SetObjectives(uint8_t(value));
        break;
    case SUMMARY_ELEMENT_GPO_DESTR:
        if (hud && text)
            hud->AddSummaryElement(text, scoreA, scoreB);
        break;
    case SUMMARY_ELEMENT_TIME:
        if (hud && text)
            hud->AddSummaryElement(text, scoreA, hud->TimerSeconds());
        break;
    case GPO_CHANGE_RADAR_COLOR:
        if (g)
            g->radarColour = value;
        break;
    case GPO_SET_RESPAWNABLE_FLAG:
        if (g)
            g->respawnable = uint8_t(value);
        break;
    case EVENT_DISABLE:
    case EVENT_ENABLE:
        if (Event* e = handler ? handler->Get(value) : nullptr)
            e->enabled = kind == EVENT_ENABLE;
        break;
    case EVENT_DISABLE_ALL:
        if (handler)
            for (auto& e : handler->events)
                e->enabled = 0;
        break;
    case GPO_HEALTH_INCREASE_MP_REQUEST:
        if (repair && g && g->aircraft && g->aircraft->health <= kFullHealth - 1)
            repair->RequestRepairPlayer(value, repair->Now());
        break;
    default: // GPO_EXPLODE, SET_MODEL_DISSOLVE, SET_MODEL_BLEND_ADD and unknown kinds do nothing
        break;
    }
}
