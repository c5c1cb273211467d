// MainGame: drawing of the world, the console and head-up display on top,
// the crosshair, cursors, objective arrows and lens flare, and the screens
// shown while play is suspended.
#include <algorithm>
#include <cstdio>
#include <cwchar>

#include "engine/graphics/p3d.h"
#include "engine/graphics/p3dgl.h"
#include "engine/graphics/psurface3d.h"
#include "engine/graphics/ptexturemanager.h"
#include "engine/runtime/pdebug.h"
#include "engine/runtime/pfixed.h"
#include "engine/runtime/pglobals.h"
#include "game/frontend/fonts.h"
#include "game/frontend/profile.h"
#include "game/frontend/profilemanager.h"
#include "game/frontend/settings.h"
#include "game/frontend/submenu.h"
#include "game/scene/p3danim.h"
#include "game/scene/p3dgameengine.h"
#include "game/scene/p3dmeshlink.h"
#include "game/scene/p3dutils.h"
#include "game/world/audiomanager.h"
#include "game/world/console.h"
#include "game/world/gameplayobject.h"
#include "game/world/hud.h"
#include "game/world/korvanth.h"
#include "game/world/levelsmanager.h"
#include "game/world/maingame.h"
#include "game/world/myairplane.h"
#include "game/world/mybillboard.h"
#include "game/world/mysmoke.h"
#include "game/world/quakefx.h"
#include "game/world/splevelmanager.h"
#include "game/world/wave.h"
#include "game/world/wavesmanager.h"
#include "game/world/weaponsystem.h"

using namespace p3dgl;

namespace {

constexpr int32_t kUnit = 0x10000;
constexpr int32_t kWakeHeight = 30 << 16;
constexpr int32_t kAimRange = 54 << 16;
constexpr int32_t kAimCone = 25 << 16;     // 16.16 degrees
constexpr int32_t kAimRise = 29491;          // 0.45
constexpr int32_t kArrowReach = 0xa5000;     // 165.0 at 1/16 scale
constexpr int32_t kArrowLift = 26214;        // 0.4 at 1/16 scale... shifted back below
constexpr uint32_t kWarningFill = 0x2f7f0000;
constexpr uint32_t kButtonPressed = 0x7fffcc88;
constexpr int kTextWarning = 281;
constexpr int kTextYes = 8, kTextNo = 9;
constexpr int kTextSummaryTitle = 123, kTextStartScore = 52, kTextGained = 124, kTextTotal = 125;
constexpr int kTextMedalTitle = 171;
// The orders' heading, printed on the letterhead (whose picture has no words).
constexpr int kTextOrdersTitle = 122, kOrdersTitleFont = 2;
constexpr int kOrdersMargin = 15; // the orders' text from either side of the screen
constexpr int kTextCalibrationTitle = 308, kTextCalibration1 = 309, kTextCalibration2 = 310;
constexpr int kFlareFlags = 576;
constexpr int kMedalTop = 60; // the awarded medal's frame
constexpr int kQuestionButton = 44, kQuestionReach = 16;

const int32_t kCursorVerts[12] = {-kUnit, -kUnit, 0, -kUnit, kUnit, 0, kUnit, -kUnit, 0, kUnit, kUnit, 0};
const int32_t kCursorFlatVerts[12] = {-kUnit, 0, -kUnit, -kUnit, 0, 0, 0, 0, -kUnit, 0, 0, 0};
const int32_t kCursorFlatTex[8] = {0, kUnit, 0, 0, kUnit, kUnit, kUnit, 0};

struct CursorTable {
    int32_t cells[16][8] = {};
    CursorTable()
    {
        for (int k = 0; k < 13; ++k) {
            int32_t ua = (k % 4) * kUnit / 4, ub = (k % 4 + 1) * kUnit / 4;
            int32_t va = 49152 - (k / 4) * kUnit / 4, vb = kUnit - (k / 4) * kUnit / 4;
            int32_t c[8] = {ua, va, ua, vb, ub, va, ub, vb};
            std::copy(c, c + 8, cells[k]);
        }
    }
};
const CursorTable kCursorTable;

PVector3 Sub(const PVector3& a, const PVector3& b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

PVector3 Unit(PVector3 v)
{
    if (v.x || v.y || v.z)
        v.Normalize();
    return v;
}

int32_t Dot(const PVector3& a, const PVector3& b)
{
    return int32_t((int64_t(a.x) * b.x + int64_t(a.y) * b.y + int64_t(a.z) * b.z) >> 16);
}

int32_t Distance(const PVector3& a, const PVector3& b)
{
    return PVector3::DistanceSafe(a, b);
}

} // namespace

const int32_t* MainGame::CursorCell(int cell)
{
    return kCursorTable.cells[std::clamp(cell, 0, 15)];
}

int32_t MainGame::FlareSizeFactor(int width, int height)
{
    int64_t area = (int64_t(width) * height * 55924) >> 16;
    return int32_t((area - kUnit) / 2 + kUnit);
}

// ---- the world ----------------------------------------------------------------

void MainGame::RenderEverything(P3D* p3d, PTextureManager* textures)
{
    MyAirplane* me = m_players[0];
    if (!p3d || !me || !m_engine)
        return;
    if (m_quake) {
        if (m_quake->BlinkScreen(p3d))
            return;
        m_quake->ModifyMatrix(p3d);
    }
    if (m_sounds && me->physics.AnyHit()) {
        if (me->health < 1)
            m_sounds->Stop(CLIP_BOUNCE);
        else
            m_sounds->Play(CLIP_BOUNCE, 1, 0);
    }
    if (m_level) {
        m_level->SetFOV(p3d, m_engine->aspect, 50 << 16);
        m_level->SetCurrentModelClipAreaByGlobalPos(me->position.x, me->position.y, me->position.z);
        m_level->RefreshModelClipArea();
    }
    m_engine->RenderAllScenes(p3d);

    PPlane3 water = m_engine->GetWaterPlane();
    int64_t above = ((int64_t(water.a) * me->position.x + int64_t(water.b) * me->position.y +
                      int64_t(water.c) * me->position.z) >> 16) + water.d;
    if (m_wave && above < kWakeHeight)
        m_wave->Add(&me->position, &me->forward, me->angles.y, WaterUnder(me->position), m_frameTime, m_smoke);
    if (m_waves)
        m_waves->RenderWaves(p3d);

    if (m_mission) {
        GPO** gpos = nullptr;
        int n = m_mission->GetGPOsPtr(gpos);
        for (int i = 0; i < n; ++i)
            if (gpos[i] && gpos[i]->enabled && gpos[i]->aircraft)
                UpdatePlayerPlane(gpos[i]->aircraft, p3d, textures, false, false);
    }
    UpdatePlayerPlane(me, p3d, textures, true, false);
    if (m_multiplayer) {
        for (int i = 1; i < m_playerCount && i < 4; ++i)
            if (m_players[i])
                UpdatePlayerPlane(m_players[i], p3d, textures, false, true);
        RenderMultiplayerPlanes(p3d, textures);
    }

    if (m_weapons) {
        int32_t floor = m_waterLevel;
        m_weapons->Render(p3d, textures, floor, &m_eye, m_waves, m_level);
        if (m_multiplayer) {
            m_weapons->CollisionProcessMultiplayer(m_engine, m_waves, m_frameTime, m_level, floor);
        } else if (m_mission) {
            GPO** gpos = nullptr;
            int n = m_mission->GetGPOsPtr(gpos);
            m_weapons->CollisionProcess(m_engine, m_playerObjects[0], gpos, n, m_level, floor, m_frameTime,
                                        m_waves);
        }
        m_weapons->ProcessAndRenderAllExplosions(p3d, textures, m_sharedTextures[0], m_sharedTextures[3],
                                                 m_sharedTextures[4]);
    }

    if (m_multiplayer && m_fonts) {
        for (int i = 1; i < m_playerCount && i < 4; ++i) {
            MyAirplane* a = m_players[i];
            GPO* g = m_playerObjects[i];
            if (!a || !a->remoteActive || a->state >= 4 || !g || !g->enabled)
                continue;
            if (!P3DUtils::IsPointInFrustum(&a->displayedPosition, m_engine->GetFrustumPlanes(), 6))
                continue;
            PVector2 s;
            p3d->GetScreenCoordXY(s, &a->displayedPosition);
            m_fonts->Print(s.x >> 16, (s.y >> 16) - 32, a->name, 4, Fonts::kCenter);
        }
    }

    if (m_mission)
        m_mission->RenderGpoIndicators(p3d, textures, m_cursorTexture, m_cursorFlatTexture, m_eye);

    GPO* main = m_playerObjects[0];
    if (main && !main->weaponIds.empty() && me->health > 0) {
        GPO* target = nullptr;
        m_aimPoint = Crosshair_Calculate(target);
        Crosshair_Render(p3d, m_aimPoint);
    }
    ArrowsManageAndRender(p3d);
    if (m_smoke)
        m_smoke->Render(p3d, textures, m_sharedTextures);
    if (m_cameraMode == CAM_CHASE) {
        PVector3 p = me->position, h = me->forward;
        PVector3 sun = Unit({-kUnit, -kUnit, -kUnit});
        RenderLensFlare(p3d, {p.x, p.y - 0x19999 - h.y, p.z}, Sub(p, h), sun);
    }
}

void MainGame::UpdatePlayerPlane(MyAirplane* plane, P3D* p3d, PTextureManager* textures, bool isPlayer,
                                 bool isRemote)
{
    if (!plane)
        return;
    if (isPlayer) {
        GPO* main = m_playerObjects[0];
        plane->UpdateFireEffect(m_frameCounter, main ? main->currentSlot : 0);
    } else if (m_engine) {
        PPlane3 camera = m_engine->GetCameraPlane();
        plane->UpdateLODlevel(&camera);
    }
    if (isRemote && plane->gpo) {
        plane->RefreshPluggedPlane(plane->gpo->enabled != 0);
        if (!plane->gpo->enabled)
            return;
    } else {
        plane->RefreshPluggedPlane(true);
    }
    plane->UpadteRotors();
    plane->UpdateRudderAndFlaps();
    PVector3 pos = isRemote ? plane->displayedPosition : plane->position;
    if (plane->health >= 1 && plane->health <= 75 && m_smoke && m_engine) {
        int every = plane->health / 5 + 5;
        PPlane3 water = m_engine->GetWaterPlane();
        int64_t above = ((int64_t(water.a) * pos.x + int64_t(water.b) * pos.y + int64_t(water.c) * pos.z) >> 16) +
                        water.d;
        if (m_frameCounter % every == 0 && above < kWakeHeight) {
            m_smoke->AddParticle(pos, {plane->forward.x >> 2, plane->forward.y >> 2, plane->forward.z >> 2});
            if (isPlayer && m_sounds)
                m_sounds->Play(CLIP_SMOKE, 1, 0);
        }
    }
    if (plane->health <= 0) {
        int f = plane->explosion.Render(pos, p3d, textures, m_sharedTextures[0], m_sharedTextures[3], nullptr, 0,
                                        m_sharedTextures[4]);
        if (f == 1) {
            if (isPlayer) {
                m_cameraMode = CAM_DEATH;
                plane->deathTime = m_frameTime;
                if (m_sounds)
                    m_sounds->Stop(CLIP_ENGINE);
                _PDebug("game: the player's aircraft was destroyed at %u ms\n", unsigned(m_frameTime));
            }
            if (m_sounds)
                m_sounds->Play(CLIP_EXPLOSION, 1, 0);
        }
    }
}

void MainGame::RenderMultiplayerPlanes(P3D*, PTextureManager*)
{
    for (int i = 1; i < m_playerCount && i < 4; ++i) {
        MyAirplane* a = m_players[i];
        if (!a || a->health <= 0)
            continue;
        a->Move_Multiplayer(m_frameTime);
        BoundsCheck(a, m_maxAltitude);
    }
}

void MainGame::MultiplayerUpdateInBg(P3D* p3d)
{
    if (!m_multiplayer)
        return;
    int keys = m_keys;
    m_keys = 0;
    MovePlayerPlane(0, nullptr);
    m_keys = keys;
    UpdatePlayerPlane(m_players[0], p3d, m_textures, true, false);
    UpdateBoundsCheck();
    for (int i = 1; i < m_playerCount && i < 4; ++i)
        UpdatePlayerPlane(m_players[i], p3d, m_textures, false, true);
    RenderMultiplayerPlanes(p3d, m_textures);
    if (m_weapons) {
        m_weapons->Render(p3d, m_textures, m_waterLevel, &m_eye, m_waves, m_level);
        m_weapons->CollisionProcessMultiplayer(m_engine, m_waves, m_frameTime, m_level, m_waterLevel);
        m_weapons->ProcessAndRenderAllExplosions(p3d, m_textures, m_sharedTextures[0], m_sharedTextures[3],
                                                 m_sharedTextures[4]);
    }
}

// ---- crosshair and cursors ----------------------------------------------------

PVector3 MainGame::Crosshair_Calculate(GPO*& target)
{
    if (m_hud)
        m_hud->fireTargetHighlight = 0;
    target = nullptr;
    MyAirplane* me = m_players[0];
    if (m_cameraMode == CAM_AIM || !me || !m_weapons) {
        m_crosshairTarget = nullptr;
        return m_aimPoint;
    }
    PVector3 p = me->position, h = me->forward;
    int type = CurrentWeaponType();
    bool ballistic = type == MyWeapon::kBomb || type == MyWeapon::kTorpedo;
    GPO* main = m_playerObjects[0];
    if (m_multiplayer) {
        target = m_weapons->IsEnemyObjectTargeted_Multiplayer(main, kAimCone, kAimRange);
    } else if (m_mission) {
        GPO** gpos = nullptr;
        int n = m_mission->GetGPOsPtr(gpos);
        target = m_weapons->IsEnemyObjectTargeted(main, kAimCone, kAimRange, gpos, n);
    }
    m_crosshairTarget = target;
    PVector3 drop = DropPoint();
    if (!target)
        return ballistic ? drop : PVector3{p.x + h.x, p.y + h.y + kAimRise, p.z + h.z};
    if (ballistic && (target->objectKind == GPO::PLANE || target->objectKind == GPO::GROUND_AA))
        return drop;
    if (m_hud)
        m_hud->fireTargetHighlight = 1;
    if (m_multiplayer && target->aircraft)
        return target->aircraft->displayedPosition;
    return target->GetPosition();
}

PVector3 MainGame::DropPoint() const
{
    MyAirplane* me = m_players[0];
    if (!me)
        return m_aimPoint;
    PVector3 p = me->position, u = Unit(me->forward);
    return {p.x + 2 * u.x, p.y + 2 * u.y - (2 << 16), p.z + 2 * u.z};
}

void MainGame::Crosshair_Render(P3D* p3d, const PVector3& point)
{
    MyAirplane* me = m_players[0];
    if (!me)
        return;
    if (m_cameraMode == CAM_AIM)
        RenderCursorFlat(p3d, m_textures, point, me->position, m_cursorFlatTexture, 0x18000, 0, nullptr, nullptr);
    else
        RenderCursorThingy(p3d, m_textures, point, me->position, 0, 3 << 16, m_cursorTexture, 0);
}

void MainGame::RenderCursorThingy(P3D* p3d, PTextureManager* textures, const PVector3& point, const PVector3& eye,
                                  int cell, int32_t scale, int texture, int32_t minDistance)
{
    if (!p3d)
        return;
    int32_t d = Distance(point, eye);
    if (d <= minDistance)
        return;
    p3d->glEnableClientState(kVertexArray);
    p3d->glEnableClientState(kTexCoordArray);
    p3d->glDisable(kCullFace);
    p3d->glEnable(kAlphaTest);
    P3DTextureSet(textures, texture);
    p3d->GetBackend()->glTexCoordPointer(2, kFixed, 0, CursorCell(cell));
    p3d->GetBackend()->glVertexPointer(3, kFixed, 0, kCursorVerts);
    p3d->glPushMatrix();
    p3d->glTranslatex(point.x, point.y, point.z);
    MyBillboard::CheatSphericalBegin(p3d);
    int32_t s = int32_t((int64_t(scale) * d) >> 22); // (scale * d) >> 6 in 16.16
    p3d->glScalex(s, s, s);
    p3d->glDrawArrays(kTriangleStrip, 0, 4);
    p3d->glPopMatrix();
    p3d->glEnable(kCullFace);
    p3d->glDisable(kAlphaTest);
}

void MainGame::RenderCursorFlat(P3D* p3d, PTextureManager* textures, const PVector3& point, const PVector3&,
                                int texture, int32_t scale, int32_t angle, const PVector3* angleOffset, GPO* gpo)
{
    if (!p3d)
        return;
    p3d->glDisable(kCullFace);
    p3d->glEnable(kBlend);
    p3d->glBlendFunc(p3dgl::kOne, p3dgl::kOne);
    p3d->glEnableClientState(kVertexArray);
    p3d->glEnableClientState(kTexCoordArray);
    P3DTextureSet(textures, texture);
    p3d->GetBackend()->glTexCoordPointer(2, kFixed, 0, kCursorFlatTex);
    p3d->GetBackend()->glVertexPointer(3, kFixed, 0, kCursorFlatVerts);
    p3d->glPushMatrix();
    p3d->glTranslatex(point.x, point.y, point.z);
    if (angleOffset && gpo) {
        p3d->glRotatex(gpo->rotation.y + angleOffset->y, 0, kUnit, 0);
        p3d->glRotatex(gpo->rotation.x + angleOffset->z, kUnit, 0, 0);
        p3d->glRotatex(gpo->rotation.z + angleOffset->x, 0, 0, kUnit);
    }
    p3d->glScalex(scale, 0, scale);
    p3d->glRotatex(angle, 0, kUnit, 0);
    for (int q = 0; q < 4; ++q) {
        p3d->glDrawArrays(kTriangleStrip, 0, 4);
        if (q < 3)
            p3d->glRotatex(90 << 16, 0, kUnit, 0);
    }
    p3d->glPopMatrix();
    p3d->glEnable(kCullFace);
    p3d->glDisable(kBlend);
    p3d->glBlendFunc(kSrcAlpha, kOneMinusSrcAlpha);
}

// ---- objective arrows ---------------------------------------------------------

void MainGame::ArrowsManageAndRender(P3D* p3d)
{
    GPO* main = m_playerObjects[0];
    MyAirplane* me = m_players[0];
    if (!p3d || !main || !me || !m_arrow)
        return;
    p3d->glEnable(kBlend);
    p3d->glEnable(kAlphaTest);
    auto live = [](GPO* g) { return g && g->enabled && g->GetEnergy() > 0; };
    for (Objective const& o : main->objectives) {
        if (o.done == 1)
            continue;
        if (!o.objects.empty()) {
            for (GPO* g : o.objects)
                if (live(g))
                    ArrowRender(p3d, me->position, g->GetPosition());
        } else if (live(o.target)) {
            ArrowRender(p3d, me->position, o.target->GetPosition());
        }
    }
    p3d->glDisable(kBlend);
    p3d->glDisable(kAlphaTest);
}

void MainGame::ArrowRender(P3D* p3d, const PVector3& fromWorld, const PVector3& toWorld)
{
    if (!p3d || !m_arrow)
        return;
    PVector3 from = {fromWorld.x >> 4, fromWorld.y >> 4, fromWorld.z >> 4};
    PVector3 to = {toWorld.x >> 4, toWorld.y >> 4, toWorld.z >> 4};
    PVector3 u = Unit(Sub(to, from));
    int32_t yaw = PAtan2(u.z, u.x);
    PVector3 v = Unit({0, u.y, 0});
    int32_t pitch = 90 * kUnit - int32_t(int64_t(360) * PAcos(std::clamp(Dot(u, v), -kUnit, kUnit)));
    if (to.y > from.y)
        pitch = -pitch;
    int32_t d = Distance(from, to);
    if (d > kArrowReach)
        return;
    int32_t percent = 100 - int32_t(int64_t(100) * d / kArrowReach);
    p3d->glPushMatrix();
    p3d->vornGLPushState();
    p3d->glBlendFunc(kSrcAlpha, kOneMinusSrcAlpha);
    p3d->glColor4x(kUnit, kUnit, kUnit, int32_t(int64_t(percent) * kUnit / 100));
    p3d->glTexEnvx(0x2300, 0x2200, 0x2100); // texture environment mode: modulate
    p3d->glTranslatex(fromWorld.x, fromWorld.y + kArrowLift * 16 / 16, fromWorld.z);
    p3d->glRotatex(180 * kUnit - int32_t(int64_t(360) * yaw), 0, kUnit, 0);
    p3d->glRotatex(pitch, kUnit, 0, 0);
    p3d->glScalex(78643, 49152, 49152);
    P3DMeshRender(m_arrow, p3d);
    p3d->vornGLPopState();
    p3d->glPopMatrix();
}

// ---- lens flare ---------------------------------------------------------------

void MainGame::RenderLensFlare(P3D* p3d, const PVector3& eye, const PVector3& from, const PVector3& sun)
{
    if (!p3d || !m_flares)
        return;
    PVector3 v = Unit(Sub(eye, from));
    int32_t k = Dot(v, sun);
    if (k >= -16384)
        return;
    PBlitFX fx;
    fx.alpha = uint32_t(std::clamp<int64_t>(((int64_t(-16384) - k) * 112) >> 16, 0, 255));
    PVector3 s3 = Sub(from, sun);
    PVector2 s;
    p3d->GetScreenCoordXY(s, &s3);
    int32_t cx = m_width / 2, cy = m_height / 2;
    int32_t hx = ((s.x >> 16) - cx) / 2, hy = ((s.y >> 16) - cy) / 2;
    int32_t f = FlareSizeFactor(m_width, m_height);
    struct Sprite {
        int32_t along; // 16.16 share of half, signed
        int32_t scale;
        int cell;
    };
    static const Sprite kSprites[5] = {
        {kUnit, 81920, 1}, {20480, 52428, 1}, {-26214, 45875, 0}, {-43691, 72089, 0}, {-54613, 32768, 1},
    };
    for (Sprite const& sp : kSprites) {
        int32_t scale = int32_t((int64_t(sp.scale) * f) >> 16);
        int32_t px = cx + int32_t((int64_t(hx) * sp.along) >> 16);
        int32_t py = cy + int32_t((int64_t(hy) * sp.along) >> 16);
        PRect src = {32 * sp.cell, 0, 32, 32};
        fx.scaleX = fx.scaleY = scale;
        // The blit centres the cell on the point it is given.
        p3d->BlitFx(px, py, m_flares, &src, kFlareFlags, fx);
    }
}

// ---- controls -----------------------------------------------------------------

void MainGame::HandleThrottle()
{
    if (m_hud && m_players[0])
        m_hud->TouchScreen_ThrottleModify(m_touch.x, m_touch.y, m_touch.down != 0, m_players[0]->throttle);
}

void MainGame::HandleChangingWeapon(MyInput* input, const uint8_t* keys)
{
    GPO* main = m_playerObjects[0];
    if (!main)
        return;
    bool change = false;
    if (m_touch.pending) {
        m_touch.pending = 0;
        change = m_hud && m_hud->TouchScreen_isInsideWeaponIcon(m_touch.x, m_touch.y, m_touch.down != 0);
    } else if (input && keys && input->PressedNumpad(keys[3], 3)) {
        change = true;
    }
    if (change) {
        main->SwitchToNextWeapon();
        if (m_hud)
            m_hud->UpdateCurrentWeapon(main->currentSlot);
    }
}

// ---- images -------------------------------------------------------------------

void MainGame::LoadGfx()
{
    if (!m_p3d)
        return;
    if (!m_flares)
        m_flares = PSurface3D::CreateFromFile(m_p3d, "data\\2dgfx\\flares_small.png", 256);
    if (!m_horizonFrame)
        m_horizonFrame = PSurface3D::CreateFromFile(m_p3d, "data\\2dgfx\\horizon_frame.png", 256);
    if (!m_horizonFill)
        m_horizonFill = PSurface3D::CreateFromFile(m_p3d, "data\\2dgfx\\horizon_fill.png", 256);
}

void MainGame::UnloadGfx()
{
    delete m_medalImage;
    m_medalImage = nullptr;
    delete m_flares;
    m_flares = nullptr;
    delete m_horizonFill;
    m_horizonFill = nullptr;
    delete m_horizonFrame;
    m_horizonFrame = nullptr;
    delete m_letterhead;
    m_letterhead = nullptr;
}

void MainGame::DrawBackgroundImage()
{
    if (!m_background)
        m_background = GetSharedImage(IMAGE_WARROOM);
    if (!m_p3d)
        return;
    if (!m_background) {
        m_p3d->FillRect(0, 0, unsigned(m_width), unsigned(m_height), 0xff203040, P3DBlendModes(0));
        return;
    }
    m_p3d->BlitFx(PRect{0, 0, m_width, m_height}, m_background, nullptr, 0, PBlitFX{});
}

// ---- HUD layer ----------------------------------------------------------------

int MainGame::HudDisplay(PDisplayProperties*)
{
    MyAirplane* me = m_players[0];
    if (!m_p3d || !me)
        return 1;
    int language = m_settings ? m_settings->language : 0;
    if (m_console) {
        if (m_pauseState == PAUSE_NONE)
            m_console->ProcessRemovingElements();
        m_console->Render(m_p3d, m_multiplayer ? kConsoleMatchX : kConsoleX, kConsoleY, language);
    }
    if (m_hud) {
        m_hud->UpdateTimer(m_frameTime);
        m_hud->UpdateHiding();
        m_hud->SetRadarPosition(me->position, me->angles.y);
        m_hud->ClearRadarObjs();
        if (m_mission) {
            GPO** gpos = nullptr;
            int n = m_mission->GetGPOsPtr(gpos);
            for (int i = 0; i < n; ++i) {
                GPO* g = gpos[i];
                if (g && g->enabled && g->GetEnergy() > 0 && g->GetRadarColor() != 1)
                    m_hud->AddRadarObj(g->GetPosition(), uint32_t(g->GetRadarColor()), g->radarImage);
            }
        }
        if (m_multiplayer)
            for (int i = 1; i < m_playerCount && i < 4; ++i) {
                MyAirplane* a = m_players[i];
                if (a && a->health > 0 && m_playerObjects[i] && m_playerObjects[i]->enabled)
                    m_hud->AddRadarObj(a->displayedPosition, 0xff0000, nullptr);
            }
        m_hud->Render(me->health, me->throttle, language, m_multiplayer != 0);
    }
    if (!m_noPauseIcon && !m_questionOpen && m_pauseState == PAUSE_NONE) {
        PSurface3D* icon = GetSharedImage(IMAGE_SOFT_INGAME);
        if (icon) {
            int w = int(icon->Width()), h = int(icon->Height());
            int x = m_width - w, y = m_height - h;
            m_p3d->Blit(x, y, icon, nullptr, PS3D_ALPHATEST);
            m_pauseIcon[0] = x;
            m_pauseIcon[1] = y;
            m_pauseIcon[2] = w;
            m_pauseIcon[3] = h;
        } else {
            m_pauseIcon[2] = m_pauseIcon[3] = 0;
        }
    }
    if (m_boundsState == BOUNDS_WARNING && m_frameTime > m_boundsTimer && m_fonts) {
        int lh = m_fonts->Height(1) + 1;
        m_p3d->FillRect(0, 0, unsigned(m_width), unsigned(m_height), kWarningFill, P3DBlendModes(1));
        const wchar_t* text = m_fonts->GetStr(kTextWarning);
        int x = m_width / 4;
        int lines = m_fonts->PrintSection(1, x, m_height / 4, lh, m_width - 2 * x, text, Fonts::kCenter);
        uint32_t passed = m_frameTime - m_boundsTimer;
        if (passed <= kBoundsCountdownMs - 1) {
            char left[16];
            std::snprintf(left, sizeof left, "%02d", int((kBoundsCountdownMs - passed) / 1000));
            m_fonts->Print(m_width / 2, m_height / 4 + lh * (lines + 1), left, 1, Fonts::kCenter);
        }
    }
    return 1;
}

// ---- screens ------------------------------------------------------------------

void MainGame::QuestionBox_Open(int textId, int action)
{
    m_questionText = textId;
    m_questionAction = action;
    m_questionOpen = 1;
    m_questionTap.Open();
}

int MainGame::QuestionBox_Draw()
{
    if (!m_questionOpen || !m_p3d || !m_fonts)
        return 0;
    int bw = m_width / 2;
    int lh = m_fonts->Height(0) + 1;
    const wchar_t* text = m_fonts->GetStr(unsigned(m_questionText));
    int lines = m_fonts->TestSection(0, 0, 0, lh, bw, text, Fonts::kCenter);
    int bh = lines * lh + 54;
    int x = m_width / 2 - bw / 2, y = m_height / 2 - bh / 2;
    PSurface3D* window = GetSharedImage(IMAGE_WARROOM);
    if (window) {
        m_p3d->SetClipRect(x, y, x + bw, y + bh);
        m_p3d->BlitFx(PRect{0, 0, m_width, m_height}, window, nullptr, 0, PBlitFX{});
        m_p3d->SetClipRect(0, 0, m_width, m_height);
    } else {
        m_p3d->FillRect(x, y, unsigned(bw), unsigned(bh), 0xc0303030, P3DBlendModes(1));
    }
    m_fonts->PrintSection(0, x, y + 6, lh, bw, text, Fonts::kCenter);
    int by = y + bh - kQuestionButton;
    int result = 0;
    for (int b = 0; b < 2; ++b) {
        int bx = x + b * (bw / 2);
        // The buttons take only a tap pressed since the question was first
        // drawn (it has no opening animation).
        bool inside = m_questionTap.Armed() &&
                      TouchScreen_IsInside(bx, by - kQuestionReach, bw / 2, kQuestionButton + 2 * kQuestionReach);
        if (inside && m_touch.down)
            m_p3d->FillRect(bx, by, unsigned(bw / 2), kQuestionButton, kButtonPressed, P3DBlendModes(1));
        m_fonts->Print(bx + bw / 4, by + (kQuestionButton - m_fonts->Height(0)) / 2, unsigned(b ? kTextNo : kTextYes),
                       0, Fonts::kCenter);
        if (inside && TapCompleted() && !result)
            result = b + 1;
    }
    if (result)
        TouchScreen_Reset();
    m_questionTap.Shown();
    return result;
}

void MainGame::Calibration_Draw()
{
    DrawBackgroundImage();
    if (m_players[0] && m_horizonFrame && m_horizonFill && m_fonts) {
        m_players[0]->resetJoystick();
        m_fonts->Print(m_width / 2, 14, unsigned(kTextCalibrationTitle), 0, Fonts::kCenter);
        int lh = m_fonts->Height(0) + 1;
        const wchar_t* t1 = m_fonts->GetStr(kTextCalibration1);
        const wchar_t* t2 = m_fonts->GetStr(kTextCalibration2);
        int k1 = m_fonts->TestSection(0, 32, 0, lh, m_width - 64, t1, Fonts::kCenter);
        int k2 = m_fonts->TestSection(0, 32, 0, lh, m_width - 64, t2, Fonts::kCenter);
        int y1 = m_height / 2 - (lh + (k1 + k2) * lh) / 2;
        m_fonts->PrintSection(0, 32, y1, lh, m_width - 64, t1, Fonts::kCenter);
        m_fonts->PrintSection(0, 32, y1 + lh * (k1 + 1), lh, m_width - 64, t2, Fonts::kCenter);
    }
    if (TapCompleted()) {
        TouchScreen_Reset();
        m_calibration = 0;
    }
}

void MainGame::DrawMissionDescription()
{
    if (!m_fonts || !m_p3d)
        return;
    if (!m_letterhead)
        m_letterhead = PSurface3D::CreateFromFile(m_p3d, "data\\2dgfx\\letterhead.png", 1);
    int t = 8;
    if (m_letterhead) {
        // The letterhead keeps its own size where the screen has room for it
        // within the text's margins; on a narrower screen it is drawn as wide
        // as the text, its proportions kept, so that neither end is cut off.
        int w = int(m_letterhead->Width()), h = int(m_letterhead->Height());
        const int room = m_width - 2 * kOrdersMargin;
        if (w > room && room > 0) {
            h = h * room / w;
            w = room;
            PBlitFX fx;
            fx.alpha = 255;
            m_p3d->BlitFx(PRect{m_width / 2 - w / 2, 10, w, h}, m_letterhead, nullptr, PS3D_SCALE | PS3D_SMOOTH, fx);
        } else {
            m_p3d->Blit(m_width / 2 - w / 2, 10, m_letterhead, nullptr, 0);
        }
        t = h - 2;
        m_fonts->Print(m_width / 2, 10 + (h - m_fonts->Height(kOrdersTitleFont)) / 2, unsigned(kTextOrdersTitle),
                       kOrdersTitleFont, Fonts::kCenter);
    }
    int lh = m_fonts->Height(0) + 4;
    m_fonts->SetFileSource(m_textSource);
    LevelConfig* config = m_group ? m_group->GetLevelConfig(m_levelIndex) : nullptr;
    if (config)
        m_fonts->Print(m_width / 2, t + lh, unsigned(config->title), 0, Fonts::kCenter);
    if (m_description >= 0)
        m_fonts->PrintSection(0, kOrdersMargin, t + 3 * lh, lh, m_width - 2 * kOrdersMargin,
                              m_fonts->GetStr(unsigned(m_description)), Fonts::kLeft);
    m_fonts->SetFileSource(0);
}

PRect MainGame::SummaryFrame() const
{
    // The title, a blank line, the rows and the total, centred; the frame's
    // border lies around them.
    int rows = m_hud ? m_hud->GetSummaryCount() : 0;
    int lh = m_fonts ? m_fonts->Height(0) + 2 : 0;
    int height = lh * (rows + 5);
    return PRect{10, m_height / 2 - height / 2 - 6, m_width - 20, height + 12};
}

void MainGame::DrawSummary()
{
    if (!m_fonts || !m_p3d)
        return;
    int rows = m_hud ? m_hud->GetSummaryCount() : 0;
    int lh = m_fonts->Height(0) + 2;
    const PRect frame = SummaryFrame();
    int y0 = frame.y + 6;
    if (m_menu)
        m_menu->DrawFrame(m_p3d, frame.x, frame.y, frame.width, frame.height);
    m_fonts->Print(m_width / 2, y0 + 5, unsigned(kTextSummaryTitle), 0, Fonts::kCenter);
    int y = y0 + 2 * lh;
    auto row = [&](const wchar_t* title, const char* value) {
        if (title)
            m_fonts->Print(14, y, title, 0, Fonts::kLeft);
        m_fonts->Print(m_width - 14, y, value, 0, Fonts::kRight);
        y += lh;
    };
    char value[48];
    uint32_t now = m_profile ? m_profile->GetScore() : 0;
    std::snprintf(value, sizeof value, "%u", unsigned(m_startScore));
    row(m_fonts->GetStr(kTextStartScore), value);
    std::snprintf(value, sizeof value, "%d", int(int64_t(now) - m_startScore));
    row(m_fonts->GetStr(kTextGained), value);
    for (int i = 0; i < rows; ++i) {
        SummaryElement const* e = m_hud->GetSummaryElement(i);
        if (!e)
            continue;
        std::snprintf(value, sizeof value, "%dX %d", int(e->count), int(e->points));
        row(e->title, value);
    }
    std::snprintf(value, sizeof value, "%u", unsigned(now));
    row(m_fonts->GetStr(kTextTotal), value);
}

void MainGame::DrawAwardedMedal(P3D* p3d, int medal)
{
    if (!p3d || !m_fonts)
        return;
    if (!m_medalImage && medal >= 0 && medal <= 5) {
        char name[64];
        std::snprintf(name, sizeof name, "data\\2dgfx\\medal_%d.png", medal);
        m_medalImage = PSurface3D::CreateFromFile(p3d, name, 1);
    }
    DrawBackgroundImage();
    if (m_medalImage && m_profiles) {
        // The border is centred on the screen, under the centred title, and
        // the medal in it; without a border the medal itself is centred.
        const PSurface3D* border = m_profiles->RankBorder();
        const int half = border ? int(border->Width()) : int(m_medalImage->Width()) / 2;
        m_profiles->DrawImageInBorder(m_medalImage, m_width / 2 - half, kMedalTop);
    }
    // The title sits a line above the medal on a tall screen too, where its
    // place by the screen's height would fall on the medal.
    int titleY = std::min(m_height * 25 / 208, kMedalTop - (m_fonts->Height(0) + 2));
    m_fonts->Print(m_width / 2, std::max(titleY, 0), unsigned(kTextMedalTitle), 0, Fonts::kCenter);
    for (int k = 0; k < 8; ++k)
        m_fonts->Print(m_width / 2, 145 + k * (m_fonts->Height(0) + 2), unsigned(54 + 8 * medal + k), 0,
                       Fonts::kCenter);
}

void MainGame::DrawUnlockMessage()
{
    if (!m_fonts)
        return;
    int step = (m_fonts->Height(0) + 2) % 256;
    int y0 = m_height / 2 - (3 * step + 15) / 2;
    for (int k = 0; k < 3; ++k)
        if (m_unlockLines[k])
            m_fonts->Print(m_width / 2, y0 + 4 + k * step, m_unlockLines[k], 0, Fonts::kCenter);
}
