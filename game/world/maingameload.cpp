// MainGame: construction, the loading steps, spawning and teardown.
#include <cstring>
#include <vector>

#include "engine/graphics/p3d.h"
#include "engine/graphics/pmesh.h"
#include "engine/graphics/ptexturemanager.h"
#include "engine/platform/pdisplay.h"
#include "engine/platform/pjoystick.h"
#include "engine/runtime/pdebug.h"
#include "engine/runtime/ptime.h"
#include "game/frontend/fonts.h"
#include "game/frontend/loading.h"
#include "game/frontend/profile.h"
#include "game/frontend/profilemanager.h"
#include "game/frontend/settings.h"
#include "game/frontend/submenu.h"
#include "game/scene/p3danim.h"
#include "game/scene/p3dgameengine.h"
#include "game/scene/p3dlods.h"
#include "game/scene/p3dobjects.h"
#include "game/scene/p3dsceneunit.h"
#include "game/world/audiomanager.h"
#include "game/world/console.h"
#include "game/world/gameplayobject.h"
#include "game/world/hud.h"
#include "game/world/levelsmanager.h"
#include "game/world/maingame.h"
#include "game/world/myairplane.h"
#include "game/world/mysmoke.h"
#include "game/world/physic.h"
#include "game/world/planesmanager.h"
#include "game/world/planescene.h"
#include "game/world/quakefx.h"
#include "game/world/scriptreader.h"
#include "game/world/splevelmanager.h"
#include "game/world/wave.h"
#include "game/world/wavesmanager.h"
#include "game/world/weaponsystem.h"

namespace {

// Whether model i is one of the scene's sky-box models.
bool IsSkyboxListed(P3DAnim const* level, int i)
{
    for (int k = 0; level->skyboxModels && k < level->skyboxCount; ++k)
        if (level->skyboxModels[k] == i)
            return true;
    return false;
}

constexpr char const* kSharedTextureFiles[MainGame::kTexturesShared] = {
    "data\\textures\\explosion.png", "data\\textures\\indicators.png", "data\\textures\\indicator_round.png",
    "data\\textures\\smoke.png",     "data\\textures\\smoke2.png",     "data\\textures\\smoke3.png",
};
constexpr char const* kDefaultLevelScene = "data/scenes/level01.pam";
constexpr char const* kWaterNull = "Null_Water_level";
constexpr int32_t kNearClip = 0x10000;        // 1.0
constexpr int32_t kFarClip = 118 << 16;       // 118.0
constexpr int32_t kLodDistance = 70 << 16;    // 70.0
constexpr int32_t kRealignSpeed = 26214;      // 0.4
constexpr int32_t kFinderLimit = 400 << 16;
constexpr int32_t kFinderMaxAngle = 100 << 16;
constexpr int32_t kPartnerRadius = 78643;     // 1.2
constexpr int kExplosionSlots = 8;
constexpr int kTorpedoWaves = 3;
constexpr int kTimeAttackThrottle = 10;
constexpr int kEngineRateSecond = 5000;
constexpr int kEffectRate = 11025;
constexpr unsigned kTextureFlags = 2048;

// Picks the texture-directory form of AddSceneFromFile by the header's list.
int AddLevelScene(P3DGameEngine* engine, PString* map, PString** textures, uint8_t count)
{
    if (!map || map->Length() == 0)
        return engine->AddSceneFromFile(kDefaultLevelScene, "data\\textures\\", "data\\objects\\");
    return engine->AddSceneFromFile(map->c_str(), textures, count, "data\\objects\\");
}

} // namespace

void MainGame::ProfileScore::ScoreIncrease(int points)
{
    if (profile)
        profile->ScoreIncrease(points);
}

MainGame::MainGame(P3D* p3d, Settings* settings, Loading* loading, Fonts* fonts, Console* console,
                   AudioManager* sounds, ProfileManager* profiles)
    : m_p3d(p3d), m_loading(loading), m_fonts(fonts), m_console(console), m_sounds(sounds), m_profiles(profiles),
      m_settings(settings), m_random(0)
{
    m_maxAltitude = 30;
    m_medal = kNoMedal;
    m_accelerometer = PJoystick::Create(nullptr);
}

MainGame::~MainGame()
{
    if (m_sounds)
        m_sounds->StopAll();
    UnloadGame();
    UnloadGfx();
    delete m_arrow;
    m_arrow = nullptr;
    delete m_script;
    m_script = nullptr;
    FreeUnlockLines();
    delete[] m_mapTextures; // the strings belong to the script
    m_mapTextures = nullptr;
    m_mapTextureCount = 0;
    delete m_waves;
    m_waves = nullptr;
    delete m_wave;
    m_wave = nullptr;
    ReleaseSmartCameras();
    delete m_accelerometer;
    m_accelerometer = nullptr;
}

void MainGame::UnloadGame()
{
    if (m_engine) {
        m_engine->RemoveAllSceneUnits();
        m_levelUnit = nullptr;
    }
    if (m_textures) {
        for (int& t : m_sharedTextures) {
            if (t)
                m_textures->FreeTexture(t);
            t = 0;
        }
    }
    // The mission owns the player's object and the aircraft of its objects;
    // the players' aircraft are ours.
    if (m_mission)
        m_mission->RemoveAllPlanes();
    for (int i = 0; i < 4; ++i) {
        if (m_players[i])
            m_players[i]->gpo = nullptr;
        delete m_players[i];
        m_players[i] = nullptr;
        if (i > 0 || !m_mission || m_mission->GetPlayer() != m_playerObjects[i])
            delete m_playerObjects[i];
        m_playerObjects[i] = nullptr;
    }
    delete m_weapons;
    m_weapons = nullptr;
    delete m_physics;
    m_physics = nullptr;
    delete m_mission;
    m_mission = nullptr;
    delete m_planes;
    m_planes = nullptr;
    delete m_hud;
    m_hud = nullptr;
    delete m_smoke;
    m_smoke = nullptr;
    delete m_quake;
    m_quake = nullptr;
    delete m_menu;
    m_menu = nullptr;
    delete m_engine; // the scenes and the level's detail tables with it
    m_engine = nullptr;
    m_level = nullptr;
    m_levelUnit = nullptr;
    if (m_console)
        m_console->Clear();
    if (m_profiles && m_loadStep > 0)
        m_profiles->SaveProfiles(); // every game end saves the profiles
}

void MainGame::ResetFlags()
{
    m_summary = m_unlockMessage = m_nextCampaignAfterMessage = m_scoreAdded = 0;
    m_missionEnd = 0;
    m_missionEndTime = 0;
    m_pauseState = PAUSE_NONE;
    m_boundsState = BOUNDS_INSIDE;
    m_boundsTimer = 0;
}

void MainGame::FailLevelStep()
{
    delete m_script;
    m_script = nullptr;
    delete m_mission; // its objects point into the scenes
    m_mission = nullptr;
    delete m_engine;
    m_engine = nullptr;
    m_level = nullptr;
    m_levelUnit = nullptr;
}

int MainGame::LoadSinglePlayerGame(PTextureManager* textures, PDisplayProperties* display, uint32_t time,
                                   LevelsGroup* group, uint8_t level)
{
    m_multiplayer = 0;
    m_playerCount = 1;
    m_levelIndex = level;
    m_group = group;
    m_textures = textures;
    m_frameTime = time;
    if (display) {
        m_width = display->width;
        m_height = display->height;
    }
    m_session = nullptr;
    ResetFlags();
    if (!group || !m_p3d) {
        _PDebug("game: no level group to load\n");
        return 0;
    }

    _PDebug("game: load step %d\n", int(m_loadStep));
    if (m_loadStep == 0) {
        if (m_loading) {
            m_loading->DefineBar(m_height - 20, m_width - 30, 4);
            m_loading->Init(kLoadingUpdates);
            m_loading->Update();
        }
        delete m_arrow;
        m_arrow = PMesh::CreateFromFile("data\\objects\\arrow.pof", textures, "data\\textures\\");
        if (!LoadMissionScript(textures, group, level, Profile::kSinglePlayer))
            return 0;
        if (m_fonts) {
            m_fonts->SetFileSource(m_textSource);
            m_description = SPLM::GetMissionDescription(m_script);
            m_fonts->SetFileSource(0);
        } else {
            m_description = SPLM::GetMissionDescription(m_script);
        }
        if (group->arcade)
            SPLM::FixArcadeDataInParsedScript(m_fonts, m_script, group->map, group->season,
                                              short(group->aircraftChoice), group->timeLimitOn,
                                              group->timeLimitMinutes, group->timeLimitSeconds,
                                              group->weaponSetting, group->respawnMinutes, group->respawnSeconds,
                                              group->enemySetting);
        delete m_menu;
        m_menu = new SubMenu(m_width, m_height, m_fonts);
        if (m_menu)
            m_menu->LoadFrameImages(m_p3d);
        m_random.Seed(PTickCount(), 0);
        LoadGfx();
        if (m_loading)
            m_loading->Update();
        // The first call also runs the first level step.
        return LoadLevel(textures, display, 0) ? 1 : 0;
    }
    if (m_loadStep < 6)
        return LoadLevel(textures, display, m_loadStep);
    return FinishSinglePlayerLoad();
}

int MainGame::LoadLevel(PTextureManager* textures, PDisplayProperties* display, int)
{
    (void)display;
    ++m_loadStep;
    if (m_loading)
        m_loading->Update();
    switch (m_loadStep) {
    case 1:
        m_frameCounter = 0;
        delete m_quake;
        m_quake = new QuakeFx(&m_frameTime);
        delete m_engine;
        m_engine = P3DGameEngine::Create(textures, m_height > 0 ? int32_t((int64_t(m_width) << 16) / m_height)
                                                                : 0x10000);
        delete m_physics;
        m_physics = new Physic();
        if (!m_engine || !m_physics || !m_quake) {
            FailLevelStep();
            return 0;
        }
        m_aspect = m_engine->aspect;
        return 1;
    case 2: {
        if (!m_engine)
            return 0;
        m_sceneIndex = AddLevelScene(m_engine, SPLM::GetMapDataFromHeader(m_script), m_mapTextures,
                                     m_mapTextureCount);
        if (m_sceneIndex < 0) {
            _PDebug("game: the level scene could not be loaded\n");
            FailLevelStep();
            return 0;
        }
        return 1;
    }
    case 3: {
        m_level = m_engine ? m_engine->GetAnimationPtr(m_sceneIndex) : nullptr;
        m_levelUnit = m_level ? m_engine->AddSceneUnit(m_level, 0, 0, 0, 0, 0, 0) : nullptr;
        if (!m_level || !m_levelUnit) {
            _PDebug("game: no level scene or unit\n");
            FailLevelStep();
            return 0;
        }
        int start = 0, end = 0;
        SPLM::GetAnimationLoopFromHeader(m_script, start, end);
        m_levelUnit->SetPosition(0, 0, 0, 0, 0, 0);
        m_levelUnit->SetCurrentFrame(start);
        m_levelUnit->SetLoop(unsigned(start), unsigned(end));
        if ((start != 0 && start != end) || (start == 0 && end != 0))
            m_levelUnit->Play();
        else
            m_levelUnit->Pause();
        m_level->SetModelClipFrustum(true);
        m_level->SetFrustumCheckingByAreas(true);
        m_level->SetNearClipDistance(kNearClip);
        m_level->SetFarClipDistance(kFarClip);
        if (!m_multiplayer && m_mission && m_mission->HasIntroCamera() && !m_level->cameraPresent)
            _PDebug("game: the level has no camera for the mission's intro; play starts at once\n");
        if (!m_multiplayer && m_mission && m_mission->HasIntroCamera() && m_level->cameraPresent) {
            // The intro flies the level's own camera over its frames.
            m_levelUnit->SetCameraViewport(true);
            m_level->SetCameraLoop(unsigned(m_mission->CameraStart()), unsigned(m_mission->CameraEnd()));
            m_level->PauseCamera();
            m_level->HoldCameraAtTheEndOfLoop(true);
            m_level->SetCameraFPS(m_mission->CameraFPS());
        } else {
            m_levelUnit->SetCameraViewport(false);
            m_level->SetCameraLoop(0, 1);
            m_level->PauseCamera();
        }
        return 1;
    }
    case 4: {
        P3DNullPoint* water = m_level ? m_level->GetNullPointerByName(kWaterNull) : nullptr;
        if (water) {
            water->RefreshTransition(0);
            int x = 0, y = 0, z = 0, a = 0, b = 0, c = 0;
            m_level->GetNullPosition(water, &x, &y, &z, &a, &b, &c);
            m_waterLevel = y;
        }
        return 1;
    }
    case 5: {
        if (!m_level || !m_engine)
            return 0;
        delete m_level->lods;
        m_level->lods = new P3DLods();
        if (m_level->lods) {
            m_level->lods->SetUsing(true, 1, "_d");
            m_level->lods->SetDistance(0, kLodDistance);
            // Background and sky-box models are drawn whole at any distance:
            // a mesh only they use has no distant copy to look for.
            std::vector<char*> names;
            if (m_engine->meshNames && m_engine->meshCount > 0)
                names.assign(size_t(m_engine->meshCount), nullptr);
            for (int i = 0; i < m_level->modelCount && !names.empty(); ++i) {
                P3DModel const* m = m_level->models ? m_level->models[i] : nullptr;
                if (!m || m->IsBgModel() || m->IsSkyboxModel() || IsSkyboxListed(m_level, i) || m->meshIndex < 0 ||
                    m->meshIndex >= m_engine->meshCount)
                    continue;
                names[size_t(m->meshIndex)] = m_engine->meshNames[m->meshIndex];
            }
            m_level->lods->FindAndLoadMeshes(names.empty() ? nullptr : names.data(), int(names.size()),
                                             m_mapTextures, m_mapTextureCount, "data\\objects\\", textures);
        }
        return 1;
    }
    case 6:
        if (m_level) {
            m_level->SetModelClip(false);
            m_level->SetModelClipDrawNearest(false);
        }
        return 1;
    default:
        return 1;
    }
}

void MainGame::GetSpawnPointName(PString& out, int playerId)
{
    out = PString();
    if (!m_script || !m_session)
        return;
    int number = 0;
    PString* prefix = nullptr;
    bool flag = false;
    Definition* header = m_script->GetDefinition("header");
    if (!SPLM::Get_commandLine(header, "spawnPrefix", number, prefix, flag) || !prefix)
        return;
    PString* unused = nullptr;
    int count = 0;
    if (!SPLM::Get_commandLine(header, "spawnsCount", count, unused, flag))
        return;
    int index = m_session->PlayerIndex(playerId);
    if (index < 0 || index >= count)
        return;
    char text[256];
    std::snprintf(text, sizeof text, "%s%d", prefix->c_str(), index);
    out = PString(text);
}

int MainGame::GetSpawnPointVec(int i, PVector3& position, PVector3& angles)
{
    position = angles = PVector3();
    if (!m_script || !m_level)
        return -1;
    int count = 0;
    PString* prefix = nullptr;
    PString* unused = nullptr;
    bool flag = false;
    Definition* header = m_script->GetDefinition("header");
    if (!SPLM::Get_commandLine(header, "spawnPrefix", count, prefix, flag) || !prefix)
        return -1;
    if (!SPLM::Get_commandLine(header, "spawnsCount", count, unused, flag) || count <= 0) {
        // No spawns: nothing to divide by.
        _PDebug("game: the level has no spawn points\n");
        return -1;
    }
    int n = i % count;
    if (n < 0)
        n += count;
    char name[256];
    std::snprintf(name, sizeof name, "%s%d", prefix->c_str(), n);
    int index = m_level->GetNullIndexByName(name);
    if (index < 0)
        return -1;
    P3DNullPoint* null = m_level->GetPointerToNull(index);
    if (null)
        null->RefreshTransition(0);
    int x = 0, y = 0, z = 0, a = 0, b = 0, c = 0;
    m_level->GetNullPosition(index, &x, &y, &z, &a, &b, &c);
    position = {x, y, z};
    angles = {b, a, c};
    return index;
}

void MainGame::SpawnPlayer(int slot, const char* nullName, int energy)
{
    if (slot < 0 || slot >= 4 || !m_players[slot])
        return;
    MyAirplane* plane = m_players[slot];
    int x = 0, y = 0, z = 0, a = 0, b = 0, c = 0;
    P3DNullPoint* null = m_level && nullName ? m_level->GetNullPointerByName(nullName) : nullptr;
    if (null) {
        null->RefreshTransition(0);
        m_level->GetNullPosition(null, &x, &y, &z, &a, &b, &c);
    } else {
        _PDebug("game: no spawn point \"%s\"; the aircraft starts at the origin\n", nullName ? nullName : "");
    }
    plane->SetSpawnPoint({x, y, z}, {b, a, c});
    plane->Respawn(energy, 0);
    if (m_multiplayer && m_playerObjects[slot])
        m_playerObjects[slot]->position = plane->position;
}

int MainGame::InitPlanesOnLevel(PString* spawnName, int planeType, const int* planeTypes)
{
    if (!m_levelUnit)
        return 1;
    if (!m_planes || !m_players[0])
        return 0;
    int count = m_multiplayer ? m_playerCount : 1;
    for (int i = 0; i < count; ++i) {
        MyAirplane* plane = m_players[i];
        if (!plane)
            continue;
        if (m_loading)
            m_loading->Update();
        int type = m_multiplayer && planeTypes ? planeTypes[i] : planeType;
        PString const& name = m_multiplayer ? m_spawnNames[i] : (spawnName ? *spawnName : m_spawnNames[0]);
        if (!m_planes->SetNewPlaneOnScene(type, plane->model.get(), m_level, name.c_str(), plane->position,
                                          plane->angles, 0)) {
            _PDebug("game: aircraft %d could not be placed\n", type);
            return 0;
        }
        m_planes->UpdateAirplaneData(plane);
        if (m_loading)
            m_loading->Update();
    }
    if (m_loading)
        m_loading->Update();
    return 1;
}

void MainGame::InitializePhysics()
{
    MyAirplane* me = m_players[0];
    if (!me || !m_physics)
        return;
    me->physics.AddCollisionSceneUnit(m_levelUnit);
    me->physics.SetPerPolyDetection(true);
    me->physics.SetWingCollision(true);
    me->UpdateWingPoints();
    if (m_multiplayer)
        for (int i = 1; i < m_playerCount && i < 4; ++i)
            if (m_players[i])
                me->physics.SetSphere2SphereCollision(&m_players[i]->physics, kPartnerRadius);
    if (m_mission) {
        GPO** gpos = nullptr;
        int n = m_mission->GetGPOsPtr(gpos);
        for (int i = 0; i < n; ++i)
            if (gpos[i] && gpos[i]->aircraft)
                me->physics.SetSphere2SphereCollision(&gpos[i]->aircraft->physics, kPartnerRadius);
    }
    m_physics->AddObject(&me->physics);
    if (m_level)
        m_level->SetCheckingBoxCollWithNearest(true);
    m_physics->InitOptimizedCollisionSystem();
}

void MainGame::LoadSounds()
{
    if (!m_sounds)
        return;
    int rate1 = PlaneConfig::kDefaultRate1;
    if (m_planes && m_players[0] && m_mission) {
        PlaneConfig* c = m_planes->Get(SPLM::GetPlane_mainPlayer(m_script));
        if (c)
            rate1 = c->engineRate1;
    }
    m_sounds->SetFrequency(CLIP_ENGINE, rate1);
    m_sounds->SetFrequency(CLIP_BOUNCE, kEngineRateSecond);
    for (int clip : {7, 8, 9})
        m_sounds->SetFrequency(clip, kEffectRate);
    m_sounds->StopAll();
}

void MainGame::LoadAllPlaneScenes()
{
    delete m_planes;
    m_planes = new PlanesManager(m_engine);
    if (m_planes)
        m_planes->LoadPlaneCfgFiles("data\\planes\\", "config", ".txt");
}

void MainGame::StartGameSounds()
{
    if (!m_sounds)
        return;
    m_sounds->Start();
    m_sounds->Play(CLIP_ENGINE, 0, -1);
}

int MainGame::FinishSinglePlayerLoad()
{
    if (m_loading)
        m_loading->Update();
    PString* spawn = SPLM::GetSpawnPoint_mainPlayer(m_script);
    m_spawnNames[0] = spawn ? *spawn : PString();
    int energy = SPLM::GetEnergy_mainPlayer(m_script);
    int planeType = SPLM::GetPlane_mainPlayer(m_script);
    LoadAllPlaneScenes();
    if (m_loading)
        m_loading->Update();
    m_players[0] = new MyAirplane(nullptr, m_accelerometer);
    if (!m_players[0] || !m_planes)
        return 0;
    m_players[0]->Init(1);
    m_players[0]->SetRealignSpeedX(kRealignSpeed);
    UpdatePlayerSteeringSens();
    SpawnPlayer(0, m_spawnNames[0].c_str(), energy);
    if (!InitPlanesOnLevel(&m_spawnNames[0], planeType, nullptr))
        return 0;
    if (m_group && m_group->timeAttack)
        m_players[0]->throttle = kTimeAttackThrottle;
    return SetUpAfterPlanes(m_spawnNames[0]);
}

// The part of the load that single-player games and matches share, from the
// smoke on.
int MainGame::SetUpAfterPlanes(const PString& mainSpawn)
{
    m_smoke = new MySmoke();
    if (m_loading)
        m_loading->Update();
    m_weapons = new WeaponSystem(m_sounds, m_session ? m_session->WeaponLink() : nullptr);
    if (!m_smoke || !m_weapons)
        return 0;
    m_weapons->Init(m_textures);
    m_weapons->InitExplosionsSystem(kExplosionSlots, m_settings);
    m_weapons->InitExplosionModels(m_textures, "data\\objects\\", "data\\textures\\");
    m_weapons->SetQuakeFxPtr(m_quake);
    m_weapons->SetSmokePtr(m_smoke);
    m_weapons->InitTorpedoWaves(kTorpedoWaves);
    if (m_loading)
        m_loading->Update();

    m_hud = new Hud(m_p3d, m_fonts, m_width, m_height, &m_frameTime, m_profiles,
                    m_session ? m_session->HudLink() : nullptr);
    if (!m_hud || !m_hud->Init()) {
        _PDebug("game: the head-up display could not be made\n");
        return 0;
    }
    m_mission->Init(m_engine, m_console, m_waterLevel);
    m_mission->SetPtrToPlanesManager(m_planes);
    m_mission->SetCurrentLevel(m_level);

    GPO* main = new GPO();
    if (!main)
        return 0;
    main->DefineType(GPO::POINT);
    main->DefineTypeName(mainSpawn.c_str());
    main->DefineIDNone(true);
    main->GenerateFromLevel(m_engine, m_level);
    main->DefineObjectType(GPO::PLANE);
    main->SetSide(GPO::FRIENDLY);
    MyAirplane* me = m_players[0];
    main->aircraft = me;
    me->gpo = main;
    main->SetHealthRef(me->health);
    main->SetVectorRef(me->position.x, me->position.y, me->position.z, me->angles.x, me->angles.y, me->angles.z);
    main->AI_SetDirectionFinderLimit(kFinderLimit);
    main->AI_SetDirectionFinderMaxAngle(kFinderMaxAngle);
    main->position = me->position;
    m_playerObjects[0] = main;
    m_mission->SetPlayer(main);
    if (m_fonts)
        m_fonts->SetFileSource(m_textSource);
    int defined = m_mission->DefineGPOs(m_fonts, m_weapons, m_hud, &m_score, m_script, m_waves, m_smoke);
    if (m_fonts)
        m_fonts->SetFileSource(0);
    if (!defined) {
        _PDebug("game: the mission's objects could not be built\n");
        return 0;
    }
    // A match's repair commands ask the session.
    if (m_session)
        for (int i = 0; i < m_mission->CommandCount(); ++i)
            m_mission->GetCommand(i)->SetRepairLink(m_session->RepairLink());
    InitSmartCam(m_script);
    if (m_loading)
        m_loading->Update();
    InitializePhysics();
    m_fov = 50 << 16;
    m_up = {0, 0x10000, 0};
    m_target = {me->position.x + me->viewOffset.x, me->position.y + me->viewOffset.y,
                me->position.z + me->viewOffset.z};
    m_eye = m_target;
    LoadSounds();
    if (m_loading)
        m_loading->Update();
    m_cameraMode = CAM_CHASE;
    m_savedCameraMode = CAM_CHASE;
    m_input.SetAllKeys(1);
    m_engine->InitCollisionPrecalculation_allScenes();
    m_engine->GenerateMeshBoxes();
    m_engine->InitBlendedModelsSorting();
    m_waves->InitWaterAreas(m_engine, m_level);
    if (m_textures)
        for (int i = 0; i < kTexturesShared; ++i)
            m_sharedTextures[i] = m_textures->AddTexture(kSharedTextureFiles[i], kTextureFlags, 0);
    m_cursorTexture = m_sharedTextures[1];
    m_cursorFlatTexture = m_sharedTextures[2];

    if (!m_hud->InitWeaponImages(main->weaponIds.data(), int(main->weaponIds.size()))) {
        _PDebug("game: the weapon icons could not be loaded\n");
        return 0;
    }
    m_hud->SetGPOasWeaponOwner(main);
    for (Objective const& o : main->objectives)
        m_hud->AddObjectiveElement(&o);
    m_hud->InitObjectivesWindow(m_settings ? m_settings->language : 0);
    m_hud->SetProfilePtr(m_profile);
    LevelConfig* config = m_group ? m_group->GetLevelConfig(m_levelIndex) : nullptr;
    if (m_group && m_group->arcade) {
        // The arcade settings give the switch and the time; which way the
        // clock runs is the level's own.
        if (m_group->timeLimitOn)
            m_hud->InitTimer(m_group->timeLimitMinutes, m_group->timeLimitSeconds,
                             config && config->timerDirection != 0);
    } else if (config && config->timerOn) {
        m_hud->InitTimer(config->timerMinutes, config->timerSeconds, config->timerDirection != 0);
    }
    m_showDescription = m_multiplayer ? 0 : (m_description != -1);
    m_introCamera =
        !m_multiplayer && m_mission && m_mission->HasIntroCamera() && m_level && m_level->cameraPresent;
    if (!m_showDescription && !m_multiplayer)
        StartPlayOrIntro();
    setSteeringInput(0, 0);
    CalibrationSettingsUpdate();
    QuestionBox_Close();
    m_calibration = 0;
    _PDebug("game: level %d loaded\n", int(m_levelIndex));
    return 1;
}

// The first part of loading a game or a match: the mission manager, the
// wakes, the script of the group's level parsed and its header read, and
// the current profile set to the mode played. 0 when any of it fails.
int MainGame::LoadMissionScript(PTextureManager* textures, LevelsGroup* group, uint8_t level, uint8_t mode)
{
    delete m_mission;
    m_mission = new SPLM(m_p3d);
    delete m_waves;
    m_waves = new WavesManager();
    if (!m_mission || !m_waves)
        return 0;
    m_waves->AddMesh("data\\objects\\wave2.pof", "data\\textures\\", textures);
    delete m_wave;
    m_wave = new Wave(5, 250);
    m_waves->AddWave(m_wave);
    delete m_script;
    m_script = new ScriptReader();
    LevelConfig* config = group->GetLevelConfig(level);
    if (!m_script || !config) {
        _PDebug("game: level %d has no configuration\n", int(level));
        return 0;
    }
    if (!SPLM::ParseScript(m_script, config->script.c_str())) {
        _PDebug("game: the script of level %d could not be read\n", int(level));
        return 0;
    }
    m_textSource = config->textSource;
    ReadMissionHeader(config->ceiling);
    m_profile = m_profiles ? m_profiles->CurrentProfile() : nullptr;
    if (m_profile) {
        m_profile->SetMode(mode);
        m_startScore = m_profile->GetScore();
    }
    m_score.profile = m_profile;
    return 1;
}

// The header's texture folders, pictures and timed texts, and the ceiling.
void MainGame::ReadMissionHeader(int8_t ceiling)
{
    SPLM::GetArrayStringsFromHeader(m_fonts, m_script, m_mapTextures, m_mapTextureCount, "header", "maptextures",
                                    "path");
    m_maxAltitude = ceiling;
    m_mission->LoadImagesDefinedInHeader(m_script);
    if (m_fonts)
        m_fonts->SetFileSource(m_textSource);
    m_mission->LoadVirtualDebriefFromHeader(m_fonts, m_script);
    if (m_fonts)
        m_fonts->SetFileSource(0);
}

int MainGame::LoadMultiPlayerGame(PTextureManager* textures, PDisplayProperties* display, uint32_t time,
                                  LevelsGroup* group, MainGameMatchLink* session)
{
    m_multiplayer = 1;
    m_session = session;
    m_textures = textures;
    m_frameTime = time;
    m_group = group;
    m_levelIndex = 0;
    if (display) {
        m_width = display->width;
        m_height = display->height;
    }
    ResetFlags();
    if (!session || !group || !m_p3d) {
        _PDebug("game: no match to load\n");
        return 0;
    }
    int players = session->PlayerCount();
    m_playerCount = uint8_t(players < 1 ? 1 : players > 4 ? 4 : players);

    if (!LoadMissionScript(textures, group, 0, Profile::kMultiplayer))
        return 0;
    m_description = -1;
    int me = session->PlayerIndex(session->MyId());
    if (group->multiplayer)
        SPLM::FixMultiplayerDataInParsedScript(m_fonts, m_script, group->map, group->season,
                                               short(group->aircraftChoice), uint8_t(me < 0 ? 0 : me));
    m_menu = new SubMenu(m_width, m_height, m_fonts);
    LoadGfx();
    for (int step = 0; step < 6; ++step)
        if (!LoadLevel(textures, display, step))
            return 0;
    return FinishMatchLoad();
}

int MainGame::FinishMatchLoad()
{
    int energy = SPLM::GetEnergy_mainPlayer(m_script);
    int mainPlane = SPLM::GetPlane_mainPlayer(m_script);
    LoadAllPlaneScenes();
    int ids[4] = {};
    for (int i = 0; i < m_playerCount; ++i) {
        m_players[i] = new MyAirplane(nullptr, i == 0 ? m_accelerometer : nullptr);
        if (!m_players[i])
            return 0;
        m_players[i]->Init(1);
        m_players[i]->SetRealignSpeedX(kRealignSpeed);
        ids[i] = m_session->PlayerId(i);
    }
    // The local player is always slot 0.
    int mine = m_session->MyId();
    for (int i = 1; i < m_playerCount; ++i)
        if (ids[i] == mine) {
            ids[i] = ids[0];
            ids[0] = mine;
        }
    for (int i = 0; i < m_playerCount; ++i) {
        m_players[i]->netId = ids[i];
        m_players[i]->SetName(m_session->PlayerName(ids[i]));
    }
    m_session->SetRespawnVectors();
    int types[4] = {};
    for (int i = 0; i < m_playerCount; ++i) {
        GetSpawnPointName(m_spawnNames[i], ids[i]);
        types[i] = m_session->PlayerPlane(ids[i]);
        // The local player's object is the mission's main-player object,
        // made with the mission below.
        if (i == 0) {
            SpawnPlayer(0, m_spawnNames[0].c_str(), energy);
            continue;
        }
        m_playerObjects[i] = new GPO();
        if (!m_playerObjects[i])
            return 0;
        SpawnPlayer(i, m_spawnNames[i].c_str(), energy);
        GPO* g = m_playerObjects[i];
        MyAirplane* a = m_players[i];
        g->aircraft = a;
        g->position = a->position;
        g->rotation = a->angles;
        g->SetHealthRef(a->health);
        a->gpo = g;
        m_session->SetPlayerObject(ids[i], g);
    }
    if (!InitPlanesOnLevel(nullptr, mainPlane, types))
        return 0;
    m_random.Seed(PTickCount(), 0);
    if (!SetUpAfterPlanes(m_spawnNames[0]))
        return 0;
    m_session->SetPlayerObject(ids[0], m_playerObjects[0]);
    std::vector<MyAirplane*> list(m_players, m_players + m_playerCount);
    m_weapons->SetMatchAircraft(list);
    m_showDescription = 0;
    setSteeringInput(0, 0);
    CalibrationSettingsUpdate();
    QuestionBox_Close();
    m_calibration = 0;
    StartGameSounds();
    return 1;
}

void MainGame::InitDisplay(PDisplayProperties* display, P3D* p3d)
{
    if (!display)
        return;
    const int oldHeight = m_height;
    m_width = display->width;
    m_height = display->height;
    m_p3d = p3d;
    if (m_engine && m_height > 0)
        m_engine->aspect = int32_t((int64_t(m_width) << 16) / m_height);
    if (m_hud) {
        m_hud->ReinitRankIconPos(oldHeight, m_height);
        m_hud->SetDisplay(p3d, m_width, m_height);
        m_hud->InitObjectivesWindow(m_settings ? m_settings->language : 0);
    }
    if (m_menu)
        m_menu->Rearrange(m_width, m_height);
}
