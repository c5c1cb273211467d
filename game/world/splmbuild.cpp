// The mission build (objects, commands, events and the player's objectives
// from a parsed script) and the mission's frame.
#include <algorithm>
#include <climits>

#include "engine/graphics/pmesh.h"
#include "game/frontend/fonts.h"
#include "game/scene/p3danim.h"
#include "game/scene/p3dgameengine.h"
#include "game/scene/p3dobjects.h"
#include "game/scene/p3dutils.h"
#include "game/world/event.h"
#include "game/world/eventhandler.h"
#include "game/world/gameplayobject.h"
#include "game/world/maingame.h"
#include "game/world/myairplane.h"
#include "game/world/myutility.h"
#include "game/world/physic.h"
#include "game/world/physicobject.h"
#include "game/world/planescene.h"
#include "game/world/planesmanager.h"
#include "game/world/scriptreader.h"
#include "game/world/splevelmanager.h"
#include "game/world/weaponsystem.h"

namespace {

constexpr int kFighterConfusion = 120;
constexpr int kBomberConfusion = 70;
constexpr int32_t kOne = 0x10000;
// Target cursors: billboards show from this far on; flat ones turn 0.75
// degrees a frame, those of kind 2 tilted upright.
constexpr int32_t kCursorMinDistance = 600000;
constexpr int32_t kCursorTurn = 0xC000;
constexpr int32_t kFullTurn = 360 << 16;
constexpr int32_t kFlatCursorTilt = 90 << 16;

int32_t Wrap(int64_t v)
{
    return int32_t(uint32_t(uint64_t(v)));
}

int IntOf(Definition* d, char const* keyword, int missing, int i = 0)
{
    int n = missing;
    PString* text = nullptr;
    bool flag = false;
    SPLM::Get_commandLine(i, d, keyword, n, text, flag);
    return n;
}

bool BoolOf(Definition* d, char const* keyword, bool missing)
{
    int n = 0;
    PString* text = nullptr;
    bool flag = missing;
    SPLM::Get_commandLine(d, keyword, n, text, flag);
    return flag;
}

// The text, or null when missing or empty.
const char* TextOf(Definition* d, char const* keyword, int i = 0)
{
    int n = 0;
    PString* text = nullptr;
    bool flag = false;
    if (!SPLM::Get_commandLine(i, d, keyword, n, text, flag) || !text || text->IsEmpty())
        return nullptr;
    return text->c_str();
}

int ArrayCount(Definition* d, char const* keyword)
{
    ConfigLine* l = d ? d->GetConfigLine(keyword) : nullptr;
    return l ? l->definitionRef->ArrayCount() : 0;
}

Definition* ElementOf(Definition* d, char const* keyword, int i)
{
    ConfigLine* l = d ? d->GetConfigLine(keyword) : nullptr;
    return l ? l->definitionRef->GetArrayDefinition(i) : nullptr;
}

} // namespace

SPLM::SPLM() : m_events(std::make_unique<EventHandler>()) {}

SPLM::SPLM(P3D* gl) : m_gl(gl), m_events(std::make_unique<EventHandler>()) {}

SPLM::~SPLM()
{
    FreeAllGpos();
    RemoveAllPlanes();
    m_player.reset();
    m_events.reset();
    ReleaseCommands();
    ReleaseGfxImages();
}

void SPLM::Init(P3DGameEngine* engine, Console* console, int waterLevel)
{
    m_engine = engine;
    m_console = console;
    m_waterLevel = waterLevel;
}

void SPLM::SetPlayer(GPO* player)
{
    m_player.reset(player);
}

void SPLM::FreeAllGpos()
{
    // A manager whose list was installed from outside does not own it.
    if (!m_objects.empty() || m_gpos == nullptr) {
        for (GPO* g : m_objects)
            delete g;
        m_objects.clear();
        m_gpos = nullptr;
        m_gpoCount = 0;
    }
}

void SPLM::RemoveAllPlanes()
{
    for (MyAirplane* a : m_aircraft)
        delete a;
    m_aircraft.clear();
}

void SPLM::ResetEventHandler()
{
    m_events = std::make_unique<EventHandler>();
}

void SPLM::ReleaseCommands()
{
    m_commands.clear();
}

void SPLM::AddGpo(GPO* g)
{
    if (g && g->aircraft) {
        MyAirplane* a = g->aircraft;
        if (g->refX && g->refY && g->refZ)
            *g->refX = a->position.x, *g->refY = a->position.y, *g->refZ = a->position.z;
        g->position = a->position;
        if (g->refPitch && g->refYaw && g->refRoll)
            g->rotation = {*g->refPitch, *g->refYaw, *g->refRoll};
    }
    m_objects.push_back(g);
    m_gpos = m_objects.data();
    m_gpoCount = int32_t(m_objects.size());
}

void SPLM::AddPlane(MyAirplane* a)
{
    if (!a)
        return;
    m_aircraft.push_back(a);
    // A mission aircraft carries its object's id, so that its projectiles
    // lead back to the object that fired them.
    if (a->netId == 0)
        a->netId = a->gpo ? a->gpo->id : int32_t(m_aircraft.size()) + GPO::kIdBase;
    if (a->gpo)
        a->gpo->SetHealthRef(a->health);
}

void SPLM::AddGposColl(short n)
{
    m_collisionObjects.push_back(n);
}

GPO* SPLM::ObjectByNumber(int n) const
{
    if (n == -1)
        return m_player.get();
    return n >= 0 && n < m_gpoCount ? m_gpos[n] : nullptr;
}

void SPLM::DefineObject(Definition* d, WavesManager* waves, MySmoke* smoke, int& failed)
{
    const char* typeName = TextOf(d, "typeName");
    if (!typeName)
        return;
    auto g = std::make_unique<GPO>();
    g->DefineType(GPO::TYPE(GpoTypeOfScript(IntOf(d, "type", 0))));
    g->DefineTypeName(typeName);
    int idType = ReferenceTypeOfScript(IntOf(d, "IDtype", 0));
    const char* idName = TextOf(d, "IDname");
    if (idType < 0 || !idName) {
        g->DefineIDNone(true);
    } else {
        g->DefineIDType(GPO::TYPE(idType));
        g->DefineIDTypeName(idName);
    }
    int groupNames = ArrayCount(d, "modelGroup");
    if (d->GetConfigLine("modelGroup")) {
        g->DefineModelGroup(true);
        for (int k = 0; k < groupNames; k++)
            if (const char* m = TextOf(ElementOf(d, "modelGroup", k), "model"))
                g->AddGroupModelName(m);
    }
    g->GenerateFromLevel(m_engine, m_level);
    if (!g->IsExist()) {
        AddGpo(nullptr);
        return;
    }
    g->SetInternalHealthRef();
    g->SetArmor(uint8_t(std::clamp(IntOf(d, "armor", 0), 0, 255)));
    if (g->modelGroup && !g->FindGroupOnLevel_TriggerRange(m_engine, m_level, g->trigger))
        return;
    g->SetSide(GPO::SIDE(SideOfScript(IntOf(d, "side", 0))));
    g->DefineRadarColor(IntOf(d, "radarColor", 0));
    if (int radarImage = IntOf(d, "radarImg", -1); radarImage != -1)
        g->DefineRadarImg(GetGfxImagePtr(uint8_t(radarImage)));
    g->DefineObjectType(GPO::OBJECT_TYPE(ObjectTypeOfScript(IntOf(d, "objectType", 0))));
    int cursorId = IntOf(d, "cursorId", 0);
    g->SetCursorId(int8_t(cursorId));
    g->SetCursorType(int8_t(IntOf(d, "cursorType", 0)));
    g->SetCursorSize(IntOf(d, "cursorSize", 1));
    if (cursorId >= 0) {
        g->SetTargetedCursorId(int8_t(IntOf(d, "targetedCursorId", 4)));
        int bounce = IntOf(d, "cursorBounce", -1);
        if (bounce != -1)
            g->SetCursorBounce(true, int32_t(int64_t(bounce) * 65536));
        if (IntOf(d, "cursorPLUG", 0))
            g->PlugCursorToBasicType();
        else
            g->PlugCursorToIDType();
    }
    int weapons = ArrayCount(d, "weapons");
    for (int k = 0; k < weapons; k++) {
        int index = 0, ammo = -1;
        GetWeaponData_gpo(d, index, ammo, k);
        g->AddWeaponAvailable(int8_t(index), ammo);
    }
    g->SetCurrentWeapon(int8_t(IntOf(d, "currentWeapon", 0)));
    int behaviour = IntOf(d, "aiBehaviour", 0);
    if (behaviour >= 1 && behaviour <= 4) {
        g->AI_SetBehaviour(GPO::BEHAVIOUR(BehaviourOfScript(behaviour)));
        if (g->aiBehaviour == GPO::FIGHTER)
            g->AI_SetConfusionDelay(kFighterConfusion);
        else if (g->aiBehaviour == GPO::BOMBER)
            g->AI_SetConfusionDelay(kBomberConfusion);
    } else {
        g->AI_SetBehaviour(GPO::BEH_NONE);
    }
    if (const char* plug = TextOf(d, "plugModel"))
        g->PlugModelToPoint(m_engine, m_level, plug, TextOf(d, "plugModel", 1), TextOf(d, "plugModel", 2),
                            TextOf(d, "plugModelLODS"), IntOf(d, "plugModelLODS", 0, 1),
                            IntOf(d, "plugModelLODS", 0, 2));
    g->AI_SetFollowPath(BoolOf(d, "followPath", false), IntOf(d, "followPathStart", 0),
                        IntOf(d, "followPathEnd", 0), IntOf(d, "followPathSpeed", 0),
                        BoolOf(d, "followPathStopAtEnd", false));
    // An object on a path stands at the path's first frame from the start, so
    // that no event sees it where the scene's frame 0 put it.
    if (g->pathOn)
        g->AI_ProcessPathFollow(0);
    int water = IntOf(d, "waterFx", -1);
    if (water != -1)
        g->AddWaveFx(waves, smoke, int32_t(int64_t(water) * 65536));
    MyAirplane* aircraft = nullptr;
    if (g->objectKind == GPO::PLANE) {
        auto a = std::make_unique<MyAirplane>(nullptr, nullptr);
        a->Init(0);
        a->SetOnNullPPosition(m_level, typeName);
        if (!a->model)
            a->model = std::make_unique<PlaneScene>();
        if (!m_planes || !m_planes->SetNewPlaneOnScene(IntOf(d, "airplane", 0), a->model.get(), m_level, typeName,
                                                       a->position, a->angles, 0)) {
            failed = 1;
            return;
        }
        m_planes->UpdateAirplaneData(a.get());
        a->gpo = g.get();
        g->aircraft = aircraft = a.release();
    }
    int objectives = ArrayCount(d, "objectives");
    for (int k = 0; k < objectives; k++) {
        int action = 0, target = -1;
        const wchar_t* title = nullptr;
        bool done = false;
        GetObjectivesData_gpo(d, action, target, title, done, k);
        Objective o;
        o.action = uint8_t(action);
        o.target = target == -1 ? m_player.get() : (target >= 0 && target < m_gpoCount ? m_gpos[target] : nullptr);
        o.done = done;
        g->AI_AddObjective(&o);
    }
    GPO* obj = g.release();
    AddGpo(obj);
    obj->id = GPO::kIdBase + m_gpoCount - 1;
    if (aircraft)
        AddPlane(aircraft);
    if (!BoolOf(d, "enabled", true))
        obj->Disable();
    if (BoolOf(d, "plugModelCollCheck", false))
        AddGposColl(int16_t(std::min(m_gpoCount - 1, int32_t(INT16_MAX))));
}

void SPLM::DefineCommand(Fonts* fonts, WeaponSystem* weapons, MissionHudLink* hud, MissionScore* profile,
                         Definition* d, Command* c)
{
    int type = CommandKindOfScript(IntOf(d, "type", kCommandKinds));
    c->SetType(Command::TYPE(type));
    int value = IntOf(d, "value", 0);
    if (type == Command::GPO_CHANGE_RADAR_COLOR)
        value = IntOf(d, "color", 0);
    c->SetHealth(value);
    c->SetDelay(IntOf(d, "delay", 0));
    c->SetConditionPtr(&m_condition);
    c->SetHudPtr(hud);
    if (const char* model = TextOf(d, "modelName"))
        c->SetModelBlend(m_engine, m_level, model, int16_t(IntOf(d, "modelName", 0, 1)));
    c->SetGameEventCounterPtr(m_eventCounter);
    int ref = IntOf(d, "gpoRef", -1);
    if (ref == -1 || (ref >= 0 && ref < m_gpoCount))
        c->SetGpoRef(ObjectByNumber(ref));
    int changes = ArrayCount(d, "modelsChange");
    for (int k = 0; k < changes; k++) {
        Definition* e = ElementOf(d, "modelsChange", k);
        const char* from = TextOf(e, "change", 0);
        const char* to = TextOf(e, "change", 1);
        if (from && to)
            c->AddModelMeshIndexChange(m_engine, from, to, "data\\objects\\", "data\\textures\\");
    }
    if (type == Command::GPO_PLUG_MODEL_TO_POINT)
        c->LoadPlugModel(m_engine, TextOf(d, "model", 0), TextOf(d, "model", 1), TextOf(d, "model", 2),
                         TextOf(d, "modelLODS"), IntOf(d, "modelLODS", 0, 1), IntOf(d, "modelLODS", 0, 2));
    if (type == Command::ADD_EXPLOSION) {
        c->SetExplosionType(int8_t(IntOf(d, "explosionType", 0)));
        int at = IntOf(d, "explosionAt", 0);
        if (m_gpoCount > 0 && (at == -1 || (at >= 0 && at < m_gpoCount)))
            c->SetExplosionAtGPO(ObjectByNumber(at));
    }
    int text = IntOf(d, "consoleText", 0);
    c->SetConsoleText(m_console, text != -1 && fonts ? fonts->GetStr(unsigned(text)) : nullptr);
    c->SetCommandExecutionCount(IntOf(d, "loop", 1));
    if (type == Command::HUD_SHOW_ICON && hud)
        c->SetHudIconPtr(value == 0 ? hud->RepairIconRequest() : hud->RearmIconRequest());
    if (type == Command::PROFILE_INCREASE_SCORE || type == Command::PROFILE_INCREASE_SCORE_RANDOM)
        c->SetProfilePtr(profile);
    if (type == Command::ADD_EXPLOSION || type == Command::GPO_HEALTH_INCREASE_MP_REQUEST)
        c->SetWeaponSystemPtr(weapons);
    // The random bounds first, so that they do not overwrite the fixed score.
    c->SetScoreIncrement(IntOf(d, "scoreA", 0), IntOf(d, "scoreB", 0));
    if (type == Command::PROFILE_INCREASE_SCORE)
        c->SetScoreIncrement(IntOf(d, "score", 0));
}

void SPLM::DefineEvent(WeaponSystem* weapons, MissionHudLink* hud, Definition* d)
{
    auto e = std::make_unique<Event>();
    e->SetType(Event::TYPE(EventKindOfScript(IntOf(d, "type", 0))));
    int ref = IntOf(d, "gpoRef", -1);
    if (ref == -1 || (ref >= 0 && ref < m_gpoCount))
        e->SetGPORef(ObjectByNumber(ref));
    if (const char* name = TextOf(d, "triggerName")) {
        e->SetTriggerRef(m_level ? m_level->GetPtrToSphereTriggerByName(name) : nullptr, nullptr);
    } else {
        int t = IntOf(d, "triggerRef", 0);
        if (GPO* g = t >= 0 && t < m_gpoCount ? m_gpos[t] : nullptr)
            e->SetTriggerRef(g->trigger ? g->trigger : g->refTrigger, g);
    }
    e->SetHealthValue(IntOf(d, "value", 0));
    e->SetHudPtr(hud);
    e->SetOperator(Event::OPERATOR(OperatorOfScript(IntOf(d, "operator", 0))));
    int n = ArrayCount(d, "gpoRefs");
    for (int k = 0; k < n; k++) {
        int g = IntOf(ElementOf(d, "gpoRefs", k), "gpo", -1);
        if (g >= 0 && g < m_gpoCount)
            e->AddGposToList(m_gpos[g]);
    }
    e->SetWeaponSystemRef(weapons);
    e->SetGameEventCounterPtr(m_eventCounter);
    // An event without command elements is dropped.
    n = d->GetConfigLine("commands") ? ArrayCount(d, "commands") : 0;
    if (n <= 0)
        return;
    for (int k = 0; k < n; k++) {
        int com = IntOf(ElementOf(d, "commands", k), "com", -1);
        if (Command* c = GetCommand(com))
            e->SetCommand(c);
    }
    m_events->AddEvent(e.release());
}

int SPLM::DefineGPOs(Fonts* fonts, WeaponSystem* weapons, MissionHudLink* hud, MissionScore* profile,
                     ScriptReader* reader, WavesManager* waves, MySmoke* smoke)
{
    m_hud = hud;
    m_eventCounter = 0;
    GPO* player = m_player.get();
    if (player) {
        int n = GetWeaponsAvailableCount_mainPlayer(reader);
        for (int k = 0; k < n; k++) {
            int index = 0, ammo = -1;
            GetWeaponData_mainPlayer(reader, index, ammo, k);
            if (index >= 0)
                player->AddWeaponAvailable(int8_t(std::min(index, 127)), ammo);
        }
        player->SetCurrentWeapon(int8_t(GetCurrentWeapon_mainPlayer(reader)));
    }
    Definition* gposBlock = reader ? reader->GetDefinition("GPOs") : nullptr;
    int count = gposBlock && gposBlock->GetConfigLine("gpo") ? GetGpos_count(reader) : 0;
    for (int i = 0; i < count; i++) {
        Definition* d = GetGpos_arrayElement(reader, i);
        if (!d)
            continue;
        int failed = 0;
        DefineObject(d, waves, smoke, failed);
        if (failed)
            return 0;
    }
    ReleaseCommands();
    int commands = GetCommands_count(reader);
    for (int i = 0; i < commands; i++)
        m_commands.push_back(std::make_unique<Command>());
    for (int i = 0; i < commands; i++) {
        Definition* d = GetCommands_arrayElement(reader, i);
        if (d && d->GetConfigLine("type"))
            DefineCommand(fonts, weapons, hud, profile, d, m_commands[size_t(i)].get());
    }
    int events = GetEvents_count(reader);
    for (int i = 0; i < events; i++)
        if (Definition* d = GetEvents_arrayElement(reader, i))
            DefineEvent(weapons, hud, d);
    int objectives = GetObjectivesCount_mainPlayer(reader);
    for (int k = 0; player && k < objectives; k++) {
        int action = 0, target = 0, targetCount = 0;
        int* targets = nullptr;
        const wchar_t* title = nullptr;
        bool done = false;
        GetObjectivesData_mainPlayer(fonts, reader, action, target, title, done, k, targets, targetCount);
        Objective o;
        o.action = uint8_t(action);
        o.done = done;
        if (target == -1) {
            o.target = player;
        } else if (targets) {
            for (int t = 0; t < targetCount; t++)
                o.objects.push_back(targets[t] >= 0 && targets[t] < m_gpoCount ? m_gpos[targets[t]] : nullptr);
        } else {
            o.target = target >= 0 && target < m_gpoCount ? m_gpos[target] : nullptr;
        }
        GPO::SetObjectiveTitle(title ? title : L" ", o);
        player->AI_AddObjective(&o);
        delete[] targets;
    }
    return 1;
}

int SPLM::HandleLevelEvents(WeaponSystem* weapons, unsigned int gameTime, unsigned int frameTime)
{
    GPO* player = m_player.get();
    if (player && player->aircraft)
        player->position = player->aircraft->position;
    m_events->HandleEvents(gameTime);
    for (int i = 0; i < m_gpoCount; i++) {
        GPO* g = m_gpos[i];
        if (!g || !g->enabled)
            continue;
        if (g->objectKind == GPO::PLANE || g->objectKind == GPO::VEHICLE || g->objectKind == GPO::GROUND_AA) {
            g->AI_Process(m_engine, m_level, m_waterLevel, gameTime);
            g->AI_ShootManager(weapons, frameTime);
        }
        g->UpdatePluggedModelLod(m_engine);
    }
    if (player)
        player->UpdateAllObjectivesStatus();
    if (m_condition == CONDITION_COMPLETED || m_condition == CONDITION_FAILED) {
        if (m_hud)
            m_hud->SetConditionTxt(m_condition == CONDITION_COMPLETED ? kCompletedText : kFailedText);
        return 1;
    }
    return 0;
}

void SPLM::PauseGpos()
{
    for (int i = 0; i < m_gpoCount; i++) {
        GPO* g = m_gpos[i];
        if (!g)
            continue;
        g->aiTimer = 0;
        if (g->aircraft)
            g->aircraft->lastUpdate = 0;
    }
}

void SPLM::RenderGpoIndicators(P3D* p3d, PTextureManager* textures, int billboardTexture, int flatTexture,
                               PVector3 eye)
{
    if (!p3d)
        return;
    const PVector3 flatOffset{0, 0, kFlatCursorTilt};
    for (int i = 0; i < m_gpoCount; i++) {
        GPO* g = m_gpos[i];
        if (!g || g->GetEnergy() < 1 || !g->enabled || g->currentCursorImage < 0 || !g->cursorX || !g->cursorY ||
            !g->cursorZ || (g->aircraft && g->aircraft->health <= 0))
            continue;
        PVector3 point{*g->cursorX, int32_t(uint32_t(*g->cursorY) + uint32_t(g->GetBounceCursor())), *g->cursorZ};
        int32_t scale = int32_t(std::clamp<int64_t>(int64_t(g->cursorSize) * kOne, INT32_MIN, INT32_MAX));
        if (g->cursorKind == 0) {
            MainGame::RenderCursorThingy(p3d, textures, point, eye, g->currentCursorImage, scale, billboardTexture,
                                         kCursorMinDistance);
            continue;
        }
        PVector3 centre = m_player ? m_player->position : PVector3();
        MainGame::RenderCursorFlat(p3d, textures, point, centre, flatTexture, scale, g->cursorAngle,
                                   g->cursorKind == 2 ? &flatOffset : nullptr, g);
        g->cursorAngle = (g->cursorAngle + kCursorTurn) % kFullTurn;
    }
}

void SPLM::CheckCollAgainstPluggedGpos(GPO* object)
{
    if (!object || !object->aircraft || !m_engine)
        return;
    MyAirplane* a = object->aircraft;
    PVector3 at = object->refX && object->refY && object->refZ
                      ? PVector3(*object->refX, *object->refY, *object->refZ)
                      : object->GetPosition();
    for (int16_t n : m_collisionObjects) {
        GPO* g = n >= 0 ? ObjectByNumber(n) : nullptr;
        if (!g || g->plugMeshes.empty())
            continue;
        int64_t reach = int64_t(g->boundingRadius) + kOne;
        if (MyUtility::GetDistanceInMinimum(g->GetPosition(), at, int32_t(std::min<int64_t>(reach, INT32_MAX))) < 0)
            continue;
        uint16_t k = g->plugMeshes.back();
        const PMesh* mesh = m_engine->meshes && k < m_engine->meshCount ? m_engine->meshes[k] : nullptr;
        if (!mesh)
            continue;
        // Into the plugged mesh's own space: back through the placement
        // its point is drawn with (position, then its turns).
        P3DNullPoint* null = g->nullPoint ? g->nullPoint : g->refNullPoint;
        PVector3 q = at;
        if (null) {
            if (const P3DModel* on = null->DrawnOnModel()) {
                P3DAnim* scene = on->anim;
                for (int c = on->chainLength - 1; scene && on->chain && c >= 0; c--) {
                    int k = on->chain[c];
                    if (k >= 0 && k < scene->modelCount && scene->models[k])
                        scene->models[k]->Placement().Untransform(&q.x, &q.y, &q.z);
                }
                on->Placement().Untransform(&q.x, &q.y, &q.z);
            }
            null->MeshPlacement().Untransform(&q.x, &q.y, &q.z);
        }
        if (Physic::IsAnyTriangleAbove(mesh, q)) {
            PhysicObject& body = a->physics;
            body.hitBody = 1;
            body.position = PVector3(Wrap(int64_t(body.position.x) - 8 * int64_t(body.velocity.x)),
                                     Wrap(int64_t(body.position.y) - 8 * int64_t(body.velocity.y)),
                                     Wrap(int64_t(body.position.z) - 8 * int64_t(body.velocity.z)));
        }
        return; // only the first object near enough with a mesh is tested
    }
}
