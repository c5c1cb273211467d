// MainGame: one frame of play, pausing, the end of a mission with its
// summary, medal and unlock screens, shooting and the shot message.
#include <algorithm>
#include <cstring>
#include <cwchar>

#include "engine/graphics/p3d.h"
#include "engine/graphics/p3dgl.h"
#include "engine/graphics/pglu.h"
#include "engine/graphics/psurface3d.h"
#include "engine/runtime/pdebug.h"
#include "engine/runtime/pdebugpeer.h"
#include "engine/runtime/pfixed.h"
#include "engine/runtime/ptime.h"
#include "game/frontend/fonts.h"
#include "game/frontend/loading.h"
#include "game/frontend/profile.h"
#include "game/frontend/profilemanager.h"
#include "game/frontend/settings.h"
#include "game/frontend/submenu.h"
#include "game/multiplayer/gamemessage.h"
#include "game/scene/p3danim.h"
#include "game/scene/p3dgameengine.h"
#include "game/world/audiomanager.h"
#include "game/world/console.h"
#include "game/world/gameplayobject.h"
#include "game/world/hud.h"
#include "game/world/levelsmanager.h"
#include "game/world/maingame.h"
#include "game/world/myairplane.h"
#include "game/world/myutility.h"
#include "game/world/physic.h"
#include "game/world/splevelmanager.h"
#include "game/world/wavesmanager.h"
#include "game/world/weaponsystem.h"

using namespace p3dgl;

namespace {

constexpr int32_t kUnit = 0x10000;
constexpr int32_t kChaseSmoothing = 35000;
constexpr int32_t kDefaultSmoothing = 4000;
constexpr int32_t kDeathEye = 1000, kDeathUp = 4000;
constexpr int32_t kChaseBack = 3 << 16;     // the eye sits this far behind the aircraft
constexpr int32_t kChaseRise = 0xCCCC;      // and this far above it (0.8)
constexpr int32_t kChaseAhead = 4 << 16;    // it looks this far ahead
constexpr int kClipEngine = MainGame::CLIP_ENGINE;
// Text ids.
constexpr unsigned kTextLeftMatch = 244;
constexpr unsigned kTextMedal = 171;
constexpr unsigned kTextNextLevel = 127;
constexpr unsigned kTextNextCampaign = 128;
constexpr unsigned kTextUnlocked = 129;
constexpr int kQuestionRestart = 306, kQuestionMenu = 307, kQuestionLeave = 376;
constexpr int kTimeAttackMedal = 3;
constexpr int kKeyBackBit = MyInput::kBack;

const ACTION kRowsPlayer[] = {ACTION_RESUME, ACTION_CALIBRATE, ACTION_OPTIONS, ACTION_RESTART, ACTION_MAIN_MENU};
const ACTION kRowsFailed[] = {ACTION_RESTART, ACTION_MAIN_MENU};
const ACTION kRowsCompleted[] = {ACTION_NEXT_LEVEL, ACTION_RESTART, ACTION_MAIN_MENU};
const ACTION kRowsMatch[] = {ACTION_RESUME, ACTION_CALIBRATE, ACTION_OPTIONS, ACTION_LEAVE_MATCH};

// The camera's arithmetic wraps (engine/runtime/pmath3d.h), so that an
// aircraft far out of the world still gives a defined, if useless, view.
int32_t Ease(int32_t from, int32_t to, int32_t k)
{
    return PWrapAdd(from, int32_t((int64_t(to) - from) * k >> 16));
}

PVector3 EaseV(const PVector3& from, const PVector3& to, int32_t k)
{
    return {Ease(from.x, to.x, k), Ease(from.y, to.y, k), Ease(from.z, to.z, k)};
}

// The chase camera's eye behind and above the aircraft at p with forward f.
PVector3 ChaseEye(const PVector3& p, const PVector3& f)
{
    PVector3 eye = PVecSub(p, PVecScale(f, kChaseBack));
    eye.y = PWrapAdd(eye.y, kChaseRise);
    return eye;
}

int WeaponTypeOf(void* ctx, int i)
{
    return static_cast<WeaponSystem*>(ctx)->GetWeaponType(i);
}

} // namespace

// ---- the shot message ---------------------------------------------------------

int ShotMessage::Encode(int weaponType, uint8_t* out, int capacity) const
{
    bool homing = weaponType == MyWeapon::kRocket;
    int length = homing ? kLengthHoming : kLength;
    if (!out || capacity < length)
        return 0;
    out[0] = kType;
    mpcodec::PutInt(out + 1, shooter);
    out[5] = weapon;
    mpcodec::PutVector(out + 6, position);
    mpcodec::PutVector(out + 18, velocity);
    int at = 30;
    if (homing) {
        mpcodec::PutVector(out + 30, third);
        at = 42;
    }
    out[at] = life;
    out[at + 1] = this->homing ? 1 : 0;
    return length;
}

int32_t ShotMessage::Shooter(const uint8_t* data, int length)
{
    return data && length >= kShooterLength ? mpcodec::GetInt(data + 1) : -1;
}

bool ShotMessage::Decode(const uint8_t* data, int length, int weaponCount, int (*weaponType)(void*, int), void* ctx,
                         ShotMessage& out)
{
    // Lines about a peer's shots are limited per shooter.
    const int32_t shooter = Shooter(data, length);
    if (!data || length < kLength) {
        _PDebugPeer(uint32_t(shooter), "game: shot message of %d bytes from %d dropped (at least %d expected)\n",
                    length, shooter, kLength);
        return false;
    }
    if (data[0] != kType) {
        _PDebugPeer(uint32_t(shooter), "game: message of type %d from %d is not a shot\n", int(data[0]), shooter);
        return false;
    }
    uint8_t weapon = data[5];
    if (int(weapon) >= weaponCount) {
        _PDebugPeer(uint32_t(shooter), "game: shot message from %d names weapon %d of %d\n", shooter, int(weapon),
                    weaponCount);
        return false;
    }
    bool homing = weaponType && weaponType(ctx, weapon) == MyWeapon::kRocket;
    if (homing && length < kLengthHoming) {
        _PDebugPeer(uint32_t(shooter), "game: homing shot message of %d bytes from %d dropped (%d expected)\n",
                    length, shooter, kLengthHoming);
        return false;
    }
    out = ShotMessage();
    out.shooter = mpcodec::GetInt(data + 1);
    out.weapon = weapon;
    out.position = mpcodec::GetInWorld(data + 6);
    out.velocity = mpcodec::GetInWorld(data + 18);
    int at = 30;
    if (homing) {
        out.third = mpcodec::GetAngles(data + 30);
        at = 42;
    }
    out.life = data[at];
    out.homing = data[at + 1] ? 1 : 0;
    return true;
}

void MainGame::SendShootToClients(mycoolparticle* p)
{
    // Only a projectile that flies is a shot.
    if (!p || p->life < 1 || !m_session || !m_weapons)
        return;
    ShotMessage m;
    m.shooter = m_session->MyId();
    m.weapon = p->weapon;
    m.position = p->position;
    m.velocity = p->velocity;
    m.third = {p->pitch, p->yaw, p->roll};
    m.life = uint8_t(p->life);
    m.homing = p->target ? 1 : 0;
    uint8_t buffer[ShotMessage::kLengthHoming];
    int n = m.Encode(m_weapons->GetWeaponType(p->weapon), buffer, int(sizeof buffer));
    if (n > 0) {
        m_session->SendToAll(buffer, n);
        ++m_shotsSent;
    }
}

void MainGame::ReceiveShootFromClient(const uint8_t* message, int length)
{
    if (!m_weapons)
        return;
    ShotMessage m;
    if (!ShotMessage::Decode(message, length, m_weapons->WeaponCount(), WeaponTypeOf, m_weapons, m))
        return;
    if (m_session && m.shooter == m_session->MyId())
        return;
    mycoolparticle* p = m_weapons->GetNextFreeParticle();
    if (!p)
        return;
    ++m_shotsReceived;
    p->weapon = m.weapon;
    p->owner = m.shooter;
    p->position = m.position;
    p->velocity = m.velocity;
    bool homing = m_weapons->GetWeaponType(m.weapon) == MyWeapon::kRocket;
    if (homing) {
        p->pitch = m.third.x;
        p->yaw = m.third.y;
        p->roll = m.third.z;
    }
    p->life = m.life;
    p->target = nullptr;
    if (!m.homing || !homing)
        return;
    PVector3 dir = m.velocity;
    if (dir.x || dir.y || dir.z)
        dir.Normalize();
    int best = -1;
    int bestAngle = WeaponSystem::kAimCone;
    for (int i = 0; i < m_playerCount && i < 4; ++i) {
        MyAirplane* a = m_players[i];
        if (!a || a->netId == m.shooter || a->health < 1 || a->state == MyAirplane::kStateExploding)
            continue;
        if (!MyUtility::GetDistanceInMinimum(a->position, p->position, WeaponSystem::kAimRange))
            continue;
        PVector3 to = {(a->position.x >> 8) - (p->position.x >> 8), (a->position.y >> 8) - (p->position.y >> 8),
                       (a->position.z >> 8) - (p->position.z >> 8)};
        if (to.x || to.y || to.z)
            to.Normalize();
        int32_t dot = int32_t((int64_t(dir.x) * to.x + int64_t(dir.y) * to.y + int64_t(dir.z) * to.z) >> 16);
        int angle = PAcos(std::clamp(dot, -kUnit, kUnit));
        if (angle < bestAngle) {
            bestAngle = angle;
            best = i;
        }
    }
    if (best >= 0)
        p->target = m_players[best]->gpo;
}

const wchar_t* MainGame::GetConsoleText(unsigned id)
{
    return m_fonts && m_console ? m_fonts->GetStr(id) : nullptr;
}

void MainGame::AddConsoleLine(const wchar_t* line)
{
    if (m_console && line)
        m_console->AddElement(line);
}

std::vector<MatchWeapon> MainGame::MatchWeapons()
{
    std::vector<MatchWeapon> list;
    const GPO* main = m_playerObjects[0];
    if (!main || !m_weapons)
        return list;
    list.resize(size_t(m_weapons->WeaponCount()));
    for (size_t i = 0; i < list.size(); ++i) {
        const MyWeapon* w = m_weapons->GetWeapon(int(i));
        list[i] = {w->type, w->damage, w->life, 0};
    }
    // What the loadout fires: its records, and the partner of a paired one.
    for (int8_t id : main->weaponIds) {
        const MyWeapon* w = m_weapons->GetWeapon(id);
        if (!w)
            continue;
        list[size_t(id)].carried = 1;
        if (w->pair == 1 && m_weapons->GetWeapon(id + 1))
            list[size_t(id) + 1].carried = 1;
    }
    return list;
}

int MainGame::MissionRepairAmount()
{
    // What the mission's repair requests send: the low 8 bits of their value.
    int most = 0;
    for (int i = 0; m_mission && i < m_mission->CommandCount(); ++i)
        if (const Command* c = m_mission->GetCommand(i); c && c->kind == Command::GPO_HEALTH_INCREASE_MP_REQUEST)
            most = std::max(most, int(c->value & 0xFF));
    return most;
}

// ---- shooting and collisions --------------------------------------------------

int MainGame::ShotSound(int weapon)
{
    static const int8_t kSounds[16] = {7, 7, 8, 9, 9, -1, -1, 8, 15, 9, 9, 7, 7, 8, 8, 8};
    return weapon >= 0 && weapon < 16 ? kSounds[weapon] : -1;
}

void MainGame::ShootHandle()
{
    GPO* main = m_playerObjects[0];
    MyAirplane* me = m_players[0];
    if (!m_mission || !main || !me || !m_weapons || main->weaponIds.empty())
        return;
    main->WeaponReloadProcess(m_weapons, m_frameDelta, m_multiplayer);
    bool want = (m_keys & kKeyFire) != 0;
    if (m_hud && m_hud->TouchScreen_Shoot(m_touch.x, m_touch.y, m_touch.down != 0))
        want = true;
    bool shot = false;
    if (want && me->state <= 3 && main->IsWeaponReloaded()) {
        me->state |= MyAirplane::kStateFiring;
        GPO** gpos = nullptr;
        int count = m_mission->GetGPOsPtr(gpos);
        mycoolparticle* second = nullptr;
        int weapon = main->currentWeapon;
        mycoolparticle* p = m_weapons->Fire(uint8_t(weapon), main, gpos, count, m_multiplayer, second);
        if (m_multiplayer) {
            SendShootToClients(p);
            if (second && second != p)
                SendShootToClients(second);
        }
        int slot = main->currentSlot;
        main->ReduceAmmo();
        if (main->currentSlot != slot && m_hud)
            m_hud->UpdateCurrentWeapon(main->currentSlot);
        int clip = ShotSound(weapon);
        if (clip >= 0 && m_sounds)
            m_sounds->Play(clip, 1, 0);
        shot = true;
    }
    if (!shot && (me->state & MyAirplane::kStateFiring))
        me->state = uint8_t(me->state - 1);
}

void MainGame::CheckAllCollisions()
{
    MyAirplane* me = m_players[0];
    if (!me || me->health < 1)
        return;
    me->UpdateModelPosition(0);
    if (m_multiplayer)
        for (int i = 1; i < m_playerCount && i < 4; ++i)
            if (m_players[i])
                m_players[i]->UpdateModelPosition(1);
    if (m_physics && m_engine)
        m_physics->CheckCollisions(m_engine);
    if (m_mission)
        m_mission->CheckCollAgainstPluggedGpos(m_playerObjects[0]);
    int32_t water = WaterUnder(me->position);
    if (me->BounceWithCollision(water, m_multiplayer) && m_multiplayer && m_session)
        m_session->RequestDamage(m_session->MyId(), -1, MyAirplane::kBounceDamage);
}

int32_t MainGame::WaterUnder(const PVector3& p) const
{
    if (m_waves && m_level) {
        WaterArea const* a = m_waves->GetWaterLevelArea(p, m_level);
        if (a)
            return a->level;
    }
    return m_waterLevel;
}

// ---- pausing ------------------------------------------------------------------

void MainGame::PauseGame(int kind)
{
    if (kind == PAUSE_PLAYER && m_frameTime - m_unpauseTime < kPauseGuardMs && m_unpauseTime != 0)
        return;
    if (m_multiplayer) {
        if (m_menu)
            m_menu->Open(kRowsMatch, int8_t(std::size(kRowsMatch)));
        m_pauseState = PAUSE_MATCH_MENU;
    } else {
        if (m_menu) {
            if (kind == PAUSE_FAILED)
                m_menu->Open(kRowsFailed, int8_t(std::size(kRowsFailed)));
            else if (kind == PAUSE_COMPLETED)
                m_menu->Open(kRowsCompleted, int8_t(std::size(kRowsCompleted)));
            else
                m_menu->Open(kRowsPlayer, int8_t(std::size(kRowsPlayer)));
        }
        if (m_players[0])
            m_players[0]->lastUpdate = 0;
        if (m_engine)
            m_engine->PauseAllUnits();
        if (m_mission)
            m_mission->PauseGpos();
        m_pauseState = PAUSE_MENU;
    }
    m_pauseKind = uint8_t(kind);
    m_keys = 0;
    m_unpauseTime = 0;
    m_input.SetAllKeys(1);
    if (m_sounds) {
        if (!m_multiplayer && kind != PAUSE_PLAYER)
            m_sounds->StopAll();
        else
            m_sounds->PauseAll();
        m_sounds->Stop(kClipEngine);
    }
    m_unlockMessage = 0;
    m_summary = kind == PAUSE_COMPLETED ? 1 : 0;
    TouchScreen_Reset();
    _PDebug("game: paused (%s)\n", kind == PAUSE_COMPLETED ? "mission completed"
                                   : kind == PAUSE_FAILED  ? "mission failed"
                                                           : "player");
}

void MainGame::PauseGame_CallInterrupt()
{
    if (m_introCamera) {
        if (m_level)
            m_level->PauseCamera();
        return;
    }
    if (m_menu && m_menu->GetState() != SubMenu::STATE_CLOSED)
        return;
    if (m_pauseState != PAUSE_NONE)
        return;
    int kind = PAUSE_PLAYER;
    if (m_missionEnd && m_mission)
        kind = m_mission->GetCondition() == CONDITION_COMPLETED ? PAUSE_COMPLETED : PAUSE_FAILED;
    PauseGame(kind);
}

void MainGame::UnPauseGame()
{
    if (m_ticker)
        m_ticker->Resume();
    if (m_menu)
        m_menu->Close();
    m_pauseState = PAUSE_NONE;
    if (m_engine)
        m_engine->ResumeAllUnits();
    // The menu's frames carry no time; the guards count from the clock as it
    // reads now that it runs again.
    m_unpauseTime = m_ticker ? (*m_ticker)() : m_frameTime;
    m_keyLatch = 0;
    m_keys = 0;
    m_touch.wasDown = 0;
    m_input.SetAllKeys(1);
}

void MainGame::BringBackProfileScores()
{
    if (!m_profile)
        return;
    m_profile->SetMode(Profile::kSinglePlayer);
    m_profile->SetScore(m_startScore);
    m_profile->UpdateRanks();
}

int MainGame::SaveProfiles()
{
    return m_profiles ? m_profiles->SaveProfiles() : 1;
}

void MainGame::LoadingFrame()
{
    if (m_loading) {
        m_loading->Init(Loading::kTotalFull);
        m_loading->Update();
    }
}

bool MainGame::IsCampaignGroup() const
{
    return m_group && !m_group->arcade && !m_group->timeAttack && !m_group->tutorial && !m_group->multiplayer;
}

int MainGame::FireOrTap(int keys)
{
    return (keys & kKeyFire) || m_keyLatch == kBackKey || TapCompleted();
}

// ---- the frame ----------------------------------------------------------------

int MainGame::PlayGame(P3D* p3d, PTextureManager* textures, PDisplayProperties*, int frameCounter, int keys,
                       uint8_t* digitKeys, uint32_t time, PTicker* ticker)
{
    if (!p3d || !m_players[0] || !m_mission)
        return 0;
    if (m_previousTime == 0)
        m_previousTime = time - 25;
    m_keys = keys;
    m_ticker = ticker;
    m_frameTime = time;
    m_frameCounter = frameCounter;
    m_frameDelta = time - m_previousTime;
    m_previousTime = time;
    m_p3d = p3d;
    m_textures = textures;

    if (m_calibration) {
        MultiplayerUpdateInBg(p3d);
        Calibration_Draw();
        return 1;
    }

    if (m_multiplayer && m_session) {
        if (m_session->Winner() == -1) {
            for (int i = 1; i < m_playerCount && i < 4; ++i) {
                GPO* g = m_playerObjects[i];
                MyAirplane* a = m_players[i];
                if (!g || !a || !g->enabled)
                    continue;
                int st = m_session->PlayerState(a->netId);
                if (st == -1 || st == 2) {
                    g->Disable();
                    if (m_console && m_fonts) {
                        wchar_t line[64];
                        int n = Fonts::Utf8ToWide(line, 64, a->name);
                        std::swprintf(line + n, size_t(64 - n), L" %ls", m_fonts->GetStr(kTextLeftMatch));
                        m_console->AddElement(line);
                    }
                }
            }
        } else {
            if (!m_missionEnd) {
                m_missionEnd = 1;
                m_missionEndTime = time;
                TouchScreen_Reset();
                if (m_profile)
                    m_profile->ApplyKills();
            } else if (time - m_missionEndTime > kEndDelayMs - 1) {
                m_missionEnd = 0;
                TouchScreen_Reset();
                _PDebug("game: match shots: %u sent, %u received\n", unsigned(m_shotsSent), unsigned(m_shotsReceived));
                return 9;
            }
        }
    }

    if (m_pauseState == PAUSE_NONE && m_sounds && m_sounds->GetState() == AudioManager::STATE_PAUSED)
        m_sounds->ResumeAll();

    if (m_showDescription) {
        DrawBackgroundImage();
        DrawMissionDescription();
        if (m_keyLatch == kBackKey && IsCampaignGroup())
            return 7;
        if ((keys & kKeyFire) || TapCompleted()) {
            m_showDescription = 0;
            TouchScreen_Reset();
            _PDebug("game: the orders closed at %u ms\n", unsigned(time));
            StartPlayOrIntro();
        }
        return 1;
    }

    if (m_introCamera)
        return IntroCameraFrame(p3d, keys);

    if (m_pauseState == PAUSE_MENU)
        return PausedFrame(keys);

    if (m_unpauseTime && time - m_unpauseTime < kFireGuardMs)
        m_keys = 0;

    CheckAllCollisions();

    if (m_mission->HandleLevelEvents(m_weapons, time, m_frameDelta)) {
        if (!m_missionEnd) {
            m_missionEnd = 1;
            m_missionEndTime = time;
            _PDebug("game: the mission has %s\n",
                    m_mission->GetCondition() == CONDITION_COMPLETED ? "been completed" : "failed");
        } else if (time - m_missionEndTime > kEndDelayMs - 1 && m_pauseState == PAUSE_NONE && !m_multiplayer) {
            bool completed = m_mission->GetCondition() == CONDITION_COMPLETED;
            if (completed && m_group && m_group->tutorial)
                return 0;
            PauseGame(completed ? PAUSE_COMPLETED : PAUSE_FAILED);
        }
    }

    if (m_hud && m_profile && !m_multiplayer) {
        if (m_group && m_group->arcade && m_hud->HandleArcadeMedalAwardEvent(m_startScore)) {
            m_startScore = m_profile->GetScore(0);
            if (m_console && m_fonts)
                m_console->AddElement(m_fonts->GetStr(kTextMedal));
        }
        if (m_profile->Medals() == 0 && m_hud->HandleGeneralMedalAwardEvent() && m_console && m_fonts)
            m_console->AddElement(m_fonts->GetStr(kTextMedal));
    }

    TargetFollowUpdate(m_keys);
    MovePlayerPlane(0, digitKeys);
    if (GPO* main = m_playerObjects[0]) {
        // Aiming, homing and the mission read the player's object.
        main->position = m_players[0]->position;
        main->rotation = m_players[0]->angles;
    }

    p3d->glClear(kDepthBufferBit);
    p3d->glLoadIdentity();

    int result = 1;
    bool done = false;
    CameraFrame(m_keys, result, done);
    if (done)
        return result;

    SubstractPointFromEnvironment(m_eye);
    gluLookAtx(p3d, m_eye.x, m_eye.y, m_eye.z, m_target.x, m_target.y, m_target.z, m_up.x, m_up.y, m_up.z);

    HandleThrottle();
    ShootHandle();
    HandleChangingWeapon(&m_input, digitKeys);
    RenderEverything(p3d, textures);
    HudDisplay(nullptr);
    UpdateBoundsCheck();

    if (!m_multiplayer && m_missionEnd && time - m_missionEndTime < kEndDelayMs) {
        TouchScreen_Reset();
        if (m_mission->GetCondition() == CONDITION_COMPLETED && m_hud) {
            m_hud->HandleMomentAndDrawPromotion();
            if (!m_scoreAdded && m_profile) {
                m_scoreAdded = 1;
                m_profile->ScoreIncrease(int(m_hud->GetTotalSummaryScore()));
                SaveProfiles();
            }
        }
    }

    if (m_pauseState == PAUSE_NONE) {
        bool pauseTap = TapCompleted() && m_pauseIcon[2] > 0 &&
                        TouchScreen_IsInside(m_pauseIcon[0], m_pauseIcon[1], m_pauseIcon[2], m_pauseIcon[3]);
        if (m_keyLatch == kBackKey || pauseTap) {
            TouchScreen_Reset();
            m_keyLatch = 0;
            m_keys = 0;
            m_input.SetAllKeys(1);
            PauseGame(PAUSE_PLAYER);
        }
        if (m_pauseState == PAUSE_NONE)
            return 1;
    }
    return PausedFrame(keys);
}

void MainGame::CameraFrame(int keys, int& result, bool& done)
{
    MyAirplane* me = m_players[0];
    PVector3 p = me->position;
    PVector3 f = me->forward;
    switch (m_cameraMode) {
    case CAM_CHASE: {
        PVector3 eye = ChaseEye(p, f);
        PVector3 look = PVecAdd(p, PVecScale(f, kChaseAhead));
        m_eye = EaseV(m_eye, eye, kChaseSmoothing);
        m_target = EaseV(m_target, look, kChaseSmoothing);
        m_up = EaseV(m_up, {0, kUnit, 0}, kChaseSmoothing);
        break;
    }
    case CAM_CIRCLE: {
        int32_t a = (m_frameCounter % 360) << 16;
        PVector3 eye = PVecAdd(p, {8 * PCosd(a), 3 << 16, 8 * PSind(a)});
        m_eye = EaseV(m_eye, eye, kChaseSmoothing);
        m_target = p;
        break;
    }
    case CAM_DEATH: {
        int32_t a = (m_frameCounter % 360) << 16;
        int32_t c = PCosd(a), s = PSind(a);
        PVector3 goal = PVecAdd(p, {9 * c - 2 * me->viewOffset.x, 262912 + 4 * c, 7 * s - 2 * me->viewOffset.z});
        m_eye = EaseV(m_eye, goal, kDeathEye);
        m_target = p;
        m_up = EaseV(m_up, {0, kUnit, 0}, kDeathUp);
        if (m_multiplayer) {
            if (me->health > 0) {
                m_cameraMode = CAM_CHASE;
                if (m_sounds)
                    m_sounds->Play(kClipEngine, 0, -1);
                me->deathTime = 0;
                result = 1;
                done = true;
                return;
            }
            break;
        }
        m_p3d->glLoadIdentity();
        gluLookAtx(m_p3d, m_eye.x, m_eye.y, m_eye.z, m_target.x, m_target.y, m_target.z, m_up.x, m_up.y, m_up.z);
        RenderEverything(m_p3d, m_textures);
        HudDisplay(nullptr);
        if (m_keyLatch == kBackKey || (keys & kKeyBackBit) || m_frameTime - me->deathTime > kDeathPauseMs)
            PauseGame(PAUSE_FAILED);
        m_keys = 0;
        result = 1;
        done = true;
        return;
    }
    default: {
        PVector3 eye = ChaseEye(p, f);
        m_eye = EaseV(m_eye, eye, kDefaultSmoothing);
        m_target = EaseV(m_target, p, kDefaultSmoothing);
        break;
    }
    }
    GPO* main = m_playerObjects[0];
    if (main && CurrentWeaponType() == MyWeapon::kBomb) {
        if (m_cameraMode != CAM_AIM) {
            m_savedCameraMode = m_cameraMode;
            m_cameraMode = CAM_AIM;
        }
        // The sight travels with the aircraft: the crosshair of this mode
        // draws the point set here and follows no target.
        m_aimPoint = DropPoint();
        if (m_hud) {
            m_hud->SC_Reset();
            m_hud->SC_UnlockAll();
        }
    } else {
        if (m_cameraMode == CAM_AIM)
            m_cameraMode = m_savedCameraMode;
        if (m_smartCount && UpdateSmartCamera(m_eye, m_target, m_up))
            m_cameraMode = 0;
        else if (m_cameraMode == 0)
            m_cameraMode = CAM_CHASE;
        if (m_hud && m_hud->SC_TouchUpdate(m_touch.x, m_touch.y, m_touch.down != 0, m_touch.wasDown != 0))
            TouchScreen_ReleasePen();
    }
}

int32_t MainGame::CurrentWeaponType() const
{
    GPO* main = m_playerObjects[0];
    if (!main || !m_weapons || main->weaponIds.empty())
        return -1;
    return m_weapons->GetWeaponType(main->currentWeapon);
}

void MainGame::DrawWorldFrozen()
{
    m_p3d->glClear(kDepthBufferBit);
    m_p3d->glLoadIdentity();
    gluLookAtx(m_p3d, m_eye.x, m_eye.y, m_eye.z, m_target.x, m_target.y, m_target.z, m_up.x, m_up.y, m_up.z);
    if (m_level && m_engine)
        m_level->SetFOV(m_p3d, m_engine->aspect, 50 << 16);
    if (m_engine)
        m_engine->RenderAllScenes(m_p3d);
    if (m_waves)
        m_waves->RenderWaves(m_p3d);
    if (m_mission)
        m_mission->RenderGpoIndicators(m_p3d, m_textures, m_cursorTexture, m_cursorFlatTexture, m_eye);
    HudDisplay(nullptr);
}

int MainGame::PausedFrame(int keys)
{
    if (m_pauseState == PAUSE_MENU)
        DrawWorldFrozen();

    if (m_summary) {
        DrawSummary();
        if (FireOrTap(keys))
            return SummaryDone();
        return 1;
    }
    if (m_medal != kNoMedal) {
        DrawAwardedMedal(m_p3d, m_medal);
        if (FireOrTap(keys)) {
            TouchScreen_Reset();
            if (m_sounds)
                m_sounds->Play(CLIP_CLICK, 1, 0);
            m_medal = kNoMedal;
            delete m_medalImage;
            m_medalImage = nullptr;
            if (m_group && m_group->arcade)
                return 6;
            return UnlockStep();
        }
        return 1;
    }
    if (m_unlockMessage) {
        DrawBackgroundImage();
        DrawUnlockMessage();
        if (FireOrTap(keys)) {
            TouchScreen_Reset();
            if (m_sounds)
                m_sounds->Play(CLIP_CLICK, 1, 0);
            m_unlockMessage = 0;
            return m_nextCampaignAfterMessage ? 4 : 1;
        }
        return 1;
    }

    if (m_questionOpen) {
        int answer = QuestionBox_Draw();
        if (answer == 1) {
            QuestionBox_Close();
            return ConfirmedAction(m_questionAction);
        }
        if (answer == 2)
            QuestionBox_Close();
        return 1;
    }

    if (m_menu) {
        int pressed = m_touch.down, released = TapCompleted();
        int hit = m_menu->TouchScreen_Process(m_touch.x, m_touch.y, pressed, released);
        if (hit != ACTION_NONE) {
            TouchScreen_ReleasePen();
            TouchScreen_Reset();
            switch (hit) {
            case ACTION_RESTART:
                QuestionBox_Open(kQuestionRestart, ACTION_RESTART);
                break;
            case ACTION_MAIN_MENU:
                QuestionBox_Open(kQuestionMenu, ACTION_MAIN_MENU);
                break;
            case ACTION_LEAVE_MATCH:
                QuestionBox_Open(kQuestionLeave, ACTION_LEAVE_MATCH);
                break;
            case ACTION_NEXT_LEVEL: {
                int saved = SaveProfiles();
                LoadingFrame();
                if (m_sounds)
                    m_sounds->StopAll();
                return saved ? 3 : 103;
            }
            case ACTION_OPTIONS:
                if (m_sounds)
                    m_sounds->StopAll();
                return 8;
            case ACTION_CALIBRATE:
                m_calibration = 1;
                TouchScreen_Reset();
                break;
            default:
                UnPauseGame();
                if (m_sounds) {
                    m_sounds->ResumeAll();
                    m_sounds->Play(kClipEngine, 0, -1);
                }
                setSteeringInput(0, 0);
                return 1;
            }
        }
        // A question this tap asked shows at once, as the next frames show
        // it, so that the frame that asks it already offers its buttons.
        if (m_questionOpen) {
            QuestionBox_Draw();
            return 1;
        }
        if (m_pauseKind == PAUSE_COMPLETED)
            DrawBackgroundImage();
        m_menu->Render(m_p3d);
    }
    return 1;
}

int MainGame::ConfirmedAction(int action)
{
    bool completed = m_mission && m_mission->GetCondition() == CONDITION_COMPLETED;
    switch (action) {
    case ACTION_RESTART: {
        int saved = SaveProfiles();
        if (!completed)
            BringBackProfileScores();
        if (m_sounds)
            m_sounds->StopAll();
        LoadingFrame();
        return saved ? 2 : 102;
    }
    case ACTION_MAIN_MENU: {
        int saved = SaveProfiles();
        int written = m_settings ? m_settings->Write() : 1;
        if (!completed)
            BringBackProfileScores();
        LoadingFrame();
        if (m_sounds)
            m_sounds->StopAll();
        UnPauseGame();
        return saved && written ? 0 : 100;
    }
    case ACTION_LEAVE_MATCH:
        if (m_multiplayer && m_session)
            m_session->NotifyLeaveGame();
        if (m_profile)
            m_profile->ApplyKills();
        _PDebug("game: match shots: %u sent, %u received\n", unsigned(m_shotsSent), unsigned(m_shotsReceived));
        return 9;
    default:
        return 1;
    }
}

int MainGame::SummaryDone()
{
    TouchScreen_Reset();
    if (m_sounds)
        m_sounds->Play(CLIP_CLICK, 1, 0);
    m_summary = 0;
    m_keyLatch = 0;
    if (!m_group)
        return 1;
    if (m_group->arcade)
        return 6;
    if (m_profile && m_levelIndex == m_group->Count() - 1) {
        int medal = m_group->timeAttack ? kTimeAttackMedal : m_profile->campaign;
        if (!m_profile->HasMedal(medal)) {
            m_profile->AddMedal(medal);
            int saved = SaveProfiles();
            m_medal = uint8_t(medal);
            return saved ? 1 : 0;
        }
    }
    return UnlockStep();
}

void MainGame::FreeUnlockLines()
{
    for (wchar_t*& l : m_unlockLines) {
        delete[] l;
        l = nullptr;
    }
}

void MainGame::PrepareUnlockMessage(unsigned first, unsigned second, int nextLevel)
{
    FreeUnlockLines();
    if (!m_fonts)
        return;
    auto copy = [](const wchar_t* s) -> wchar_t* {
        if (!s)
            return nullptr;
        size_t n = std::wcslen(s);
        wchar_t* w = new wchar_t[n + 1];
        if (w)
            std::wmemcpy(w, s, n + 1);
        return w;
    };
    m_unlockLines[0] = copy(m_fonts->GetStr(first));
    m_unlockLines[1] = copy(m_fonts->GetStr(second));
    LevelConfig* next = m_group ? m_group->GetLevelConfig(nextLevel) : nullptr;
    if (next) {
        m_fonts->SetFileSource(next->textSource);
        m_unlockLines[2] = copy(m_fonts->GetStr(unsigned(next->title)));
        m_fonts->SetFileSource(0);
    }
}

int MainGame::UnlockStep()
{
    if (!m_profile || !m_group)
        return 1;
    int last = m_group->Count() - 1;
    if (m_group->timeAttack) {
        if (m_levelIndex >= last)
            return 0;
        if (m_levelIndex != m_profile->GetUnlocked(Profile::kTimeAttackGroup) - 1)
            return 1;
        PrepareUnlockMessage(kTextNextLevel, kTextUnlocked, m_levelIndex + 1);
        m_profile->UnlockNextLevel(Profile::kTimeAttackGroup);
        SaveProfiles();
        m_unlockMessage = 1;
        return 1;
    }
    int campaign = m_profile->campaign;
    if (m_levelIndex != m_profile->GetUnlocked(campaign) - 1)
        return 1;
    if (m_levelIndex < last) {
        PrepareUnlockMessage(kTextNextLevel, kTextUnlocked, m_levelIndex + 1);
        m_profile->UnlockNextLevel(campaign);
        SaveProfiles();
        m_unlockMessage = 1;
        _PDebug("game: level %d of campaign %d unlocked\n", int(m_levelIndex) + 1, campaign);
        return 1;
    }
    if (campaign + 1 >= m_profile->GetLevelsGroupCount())
        return 5;
    if (m_profile->GetUnlocked(campaign + 1) > 0)
        return 4;
    PrepareUnlockMessage(kTextNextCampaign, kTextUnlocked, -1);
    m_profile->UnlockNextLevel(campaign + 1);
    SaveProfiles();
    m_nextCampaignAfterMessage = 1;
    m_unlockMessage = 1;
    return 1;
}
