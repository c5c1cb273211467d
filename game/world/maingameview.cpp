// MainGame: the touch record, steering, the play area's bounds with their
// countdown, target following, the target-lock camera and keeping the
// camera out of the scenery.
#include <algorithm>
#include <cstdlib>

#include "engine/platform/pdisplay.h"
#include "engine/runtime/pdebug.h"
#include "engine/runtime/pfixed.h"
#include "game/frontend/fonts.h"
#include "game/frontend/settings.h"
#include "game/scene/p3danim.h"
#include "game/scene/p3dareas.h"
#include "game/scene/p3dobjects.h"
#include "game/scene/p3dsceneunit.h"
#include "game/world/gameplayobject.h"
#include "game/world/hud.h"
#include "engine/graphics/p3d.h"
#include "engine/graphics/p3dgl.h"
#include "engine/graphics/pmesh.h"
#include "engine/graphics/psurface3d.h"
#include "game/scene/p3dgameengine.h"
#include "game/scene/p3dutils.h"
#include "game/world/korvanth.h"
#include "game/world/maingame.h"
#include "game/world/myutility.h"
#include "game/world/physic.h"
#include "game/world/myairplane.h"
#include "game/world/splevelmanager.h"
#include "game/world/wavesmanager.h"

namespace {

constexpr int32_t kOne = 0x10000;
// The intro camera's texts: lines split at line feeds, each cut to what a
// line of the screen holds, printed from (3, 10).
constexpr wchar_t kIntroLineSeparator = L'\n';
constexpr int kIntroLineLength = 94;
constexpr int kIntroTextX = 3, kIntroTextY = 10;
constexpr int32_t kDeg = 0x10000;
constexpr int32_t kSensitivityMax = 104856;
constexpr int32_t kSensitivityFloor = 13107;
constexpr int32_t kFollowPulseDeg = 25 * kDeg;
constexpr int32_t kFollowClimb = 5898;             // 0.09
constexpr int32_t kCameraClearance = 2 << 16;      // 2.0
constexpr int32_t kLockDistance = 20 << 16;        // 20.0
constexpr int32_t kLockEye = 20000, kLockLook = 6000, kLockUp = 10000;

int32_t Wrap180(int64_t a)
{
    if (a > 180 * int64_t(kDeg))
        a -= 360 * int64_t(kDeg);
    else if (a < -180 * int64_t(kDeg))
        a += 360 * int64_t(kDeg);
    return int32_t(a);
}

// 16.16 degrees of a PAtan2 angle (65536 units a turn).
int32_t Degrees(int32_t turns)
{
    return int32_t(int64_t(turns) * 360);
}

// Wrapping (engine/runtime/pmath3d.h), as the chase camera's: a defined
// view also of an aircraft far out of the world.
int32_t Ease(int32_t from, int32_t to, int32_t k)
{
    return PWrapAdd(from, int32_t((int64_t(to) - from) * k >> 16));
}

constexpr int32_t kLowBox = 32 << 16;      // boxes this low reach down to
constexpr int32_t kLowBoxBottom = -(50 << 16);
constexpr unsigned kGlTriangles = 0x0004;
constexpr unsigned kGlFixed = 0x140C;

// A point in the model's frame: its position taken away, its rotation undone.
PVector3 IntoModel(const P3DModel* m, const PVector3& p)
{
    int x = p.x - m->PosX(), y = p.y - m->PosY(), z = p.z - m->PosZ();
    P3DUtils::GetTranslatedXYZ(x, y, z, 0, 0, 0, 0, -m->RotY(), 0);
    P3DUtils::GetTranslatedXYZ(x, y, z, 0, 0, 0, -m->RotX(), 0, 0);
    P3DUtils::GetTranslatedXYZ(x, y, z, 0, 0, 0, 0, 0, -m->RotZ());
    return {x, y, z};
}

// The triangles of a collision mesh with the point under them (and below
// their plane), each list walked alternately from its front and its back;
// the last one counted is kept in last.
int TrianglesAbove(const PMesh* mesh, const PVector3& p, PVector3 last[3], int32_t& lastHeight)
{
    const PMesh::VertexList* v = mesh ? mesh->Vertices() : nullptr;
    if (!v || v->type != kGlFixed)
        return 0;
    const int32_t* vertices = reinterpret_cast<const int32_t*>(v->Data());
    int count = 0;
    for (int l = 0; l < mesh->ListCount(); ++l) {
        const PMesh::RenderList* list = mesh->List(l);
        if (!list || list->mode != kGlTriangles)
            continue;
        int triangles = list->count / 3;
        for (int k = 0, front = 0, back = triangles - 1; k < triangles; ++k) {
            int t = (k & 1) ? back-- : front++;
            PVector3 tri[3];
            Physic::GetPolygonFromListFixed(tri, vertices, list->Data(), t * 3, list->indexType);
            int h = 0;
            if (Physic::CheckPointBelowTrack(h, &p, tri) && p.y < h) {
                ++count;
                last[0] = tri[0], last[1] = tri[1], last[2] = tri[2];
                lastHeight = h;
            }
        }
    }
    return count;
}

PMesh* CollisionMesh(P3DGameEngine* engine, const P3DModel* m)
{
    if (!engine || !m || m->meshIndex < 0 || m->meshIndex >= engine->meshCount || !engine->meshes)
        return nullptr;
    return engine->meshes[m->meshIndex];
}

} // namespace

// ---- touch record -------------------------------------------------------------

void MainGame::TouchScreenEvent(int x, int y, int down)
{
    m_questionTap.Event(down != 0);
    uint8_t d = down ? 1 : 0;
    m_touch.x = x;
    m_touch.y = y;
    uint8_t old = m_touch.down;
    m_touch.wasDown = old;
    if (old == 1 && m_touch.pending == 0) {
        m_touch.down = d;
    } else {
        m_touch.pending = d;
        m_touch.down = d;
    }
}

void MainGame::TouchScreenEventMove(int x, int y, int)
{
    if (m_touch.down) {
        m_touch.x = x;
        m_touch.y = y;
    }
}

void MainGame::TouchScreen_ReleasePen()
{
    m_touch.wasDown = m_touch.down;
    m_touch.down = 0;
}

void MainGame::TouchScreen_Reset()
{
    m_touch.down = 0;
    m_touch.wasDown = 0;
}

int MainGame::TouchScreen_IsInside(int x, int y, int w, int h) const
{
    return m_touch.x >= x && int64_t(m_touch.x) <= int64_t(x) + w && m_touch.y >= y &&
           int64_t(m_touch.y) <= int64_t(y) + h;
}

int MainGame::TouchScreen_IsPressedInside(int x, int y, int w, int h) const
{
    return m_touch.down == 1 && TouchScreen_IsInside(x, y, w, h);
}

int MainGame::TouchScreen_IsPressedInside_XYXY(int x1, int y1, int x2, int y2) const
{
    return m_touch.down && x1 <= m_touch.x && m_touch.x <= x2 && y1 <= m_touch.y && m_touch.y <= y2;
}

int MainGame::GetScreenConfig() const
{
    return m_width == 220 && m_height == 160 ? 1 : 0;
}

// ---- steering -----------------------------------------------------------------

void MainGame::setSteeringInput(int32_t x, int32_t y)
{
    x = std::clamp(x, -kOne, kOne);
    y = std::clamp(y, -kOne, kOne);
    int64_t r2 = ((int64_t(x) * x) >> 16) + ((int64_t(y) * y) >> 16);
    if (r2 >= kOne) {
        int32_t s = PFSqrt(unsigned(r2));
        if (s <= 0)
            s = kOne;
        m_steering = {int32_t((int64_t(x) << 16) / s), int32_t((int64_t(y) << 16) / s), 0};
    } else {
        m_steering = {x, y, kOne - PSqrt(unsigned(r2))};
    }
}

void MainGame::setSteeringInput(int32_t x, int32_t y, int32_t z)
{
    m_steering = {x, y, z};
}

void MainGame::UpdatePlayerSteeringSens()
{
    MyAirplane* me = m_players[0];
    if (!me || !m_settings)
        return;
    int32_t v = int32_t(int64_t(m_settings->sensitivity) * kSensitivityMax / 255);
    if (v < kSensitivityFloor)
        v += kSensitivityFloor;
    me->inputScaleX = v;
    me->inputScaleY = v;
}

void MainGame::CalibrationSettingsUpdate()
{
    if (m_players[0])
        m_players[0]->resetJoystick();
}

void MainGame::MovePlayerPlane(int index, const uint8_t*)
{
    if (index < 0 || index >= 4)
        return;
    MyAirplane* a = m_players[index];
    if (!a || m_autoFollow == 1 || a->health < 1 || a->state >= 4)
        return;
    a->Rotate(&a->angles, uint8_t(m_keys & 0xF), m_frameTime, 0);
    a->Move(&a->position, a->angles, m_frameTime);
    a->updateJoystick(m_steering);
    a->updateSteering(m_steering, m_frameTime, m_settings ? m_settings->invertSteering : 0);
}

// ---- bounds -------------------------------------------------------------------

int MainGame::BoundsCheck(MyAirplane* plane, int ceiling)
{
    if (!plane)
        return IN_BOUNDS;
    int64_t c = int64_t(ceiling) << 16;
    int64_t w = int64_t(ceiling - 1) << 16;
    plane->aboveCeiling = 0;
    if (plane->position.y >= w)
        plane->aboveCeiling = 1;
    if (plane->position.y > c) {
        plane->position.y = int32_t(c);
        return AT_CEILING;
    }
    PVector3 const& p = plane->position;
    if (p.z < -kPlayArea || p.z > kPlayArea || p.x < -kPlayArea || p.x > kPlayArea)
        return OUT_OF_BOUNDS;
    return IN_BOUNDS;
}

void MainGame::UpdateBoundsCheck()
{
    MyAirplane* me = m_players[0];
    if (!me)
        return;
    int r = BoundsCheck(me, m_maxAltitude);
    uint32_t now = m_frameTime;
    if (m_multiplayer && m_boundsState == BOUNDS_DESTROYED) {
        if (me->health == 0)
            m_boundsState = BOUNDS_INSIDE;
        return;
    }
    if (r != OUT_OF_BOUNDS || me->health < 1) {
        if (m_boundsState == BOUNDS_WARNING)
            _PDebug("game: back inside the play area\n");
        m_boundsTimer = 0;
        m_boundsState = BOUNDS_INSIDE;
        return;
    }
    if (m_boundsState == BOUNDS_INSIDE)
        _PDebug("game: outside the play area at %u ms; the countdown runs\n", unsigned(now));
    if (!m_multiplayer || m_boundsState == BOUNDS_INSIDE)
        m_boundsState = BOUNDS_WARNING;
    if (m_boundsTimer == 0) {
        m_boundsTimer = now;
        if (now == 0)
            return;
    }
    if (now > m_boundsTimer && now - m_boundsTimer > kBoundsCountdownMs - 1) {
        m_boundsTimer = 0;
        if (m_multiplayer && m_session) {
            m_session->RequestDamage(m_session->MyId(), -1, MyAirplane::kFatalDamage);
            m_boundsState = BOUNDS_DESTROYED;
        } else {
            _PDebug("game: out of the play area too long; the aircraft is destroyed\n");
            me->ReduceHealth(MyAirplane::kFatalDamage);
            m_boundsState = BOUNDS_INSIDE;
        }
    }
}

// ---- target following ---------------------------------------------------------

void MainGame::TargetFollowUpdate(int keys)
{
    m_autoFollow = 0;
    MyAirplane* me = m_players[0];
    if (m_multiplayer || !me || !m_crosshairTarget)
        return;
    bool fire = (keys & kKeyFire) || (m_hud && m_hud->FirePressed());
    if (!fire || (keys & (kKeyLeft | kKeyRight | kKeyUp | kKeyDown)))
        return;
    PVector3 t = m_crosshairTarget->GetPosition();
    PVector3 d = {(t.x >> 4) - (me->position.x >> 4), (t.y >> 4) - (me->position.y >> 4),
                  (t.z >> 4) - (me->position.z >> 4)};
    if (d.x || d.y || d.z)
        d.Normalize();
    PVector3 h = me->forward;
    if (h.x || h.y || h.z)
        h.Normalize();
    int32_t ad = Wrap180(Degrees(PAtan2(d.x, d.z)));
    int32_t ah = Wrap180(Degrees(PAtan2(h.x, h.z)));
    int32_t diff = Wrap180(int64_t(ad) - ah);
    uint8_t bits = 0;
    if (diff > 0)
        bits = 1;
    else if (diff < 0)
        bits = 2;
    int32_t mag = diff < 0 ? -diff : diff;
    if (mag < kFollowPulseDeg) {
        uint32_t pulse = uint32_t(mag) / 2048;
        if (m_frameTime % 800 < 800 - pulse)
            bits = 0;
    }
    if (d.y > h.y && d.y - h.y >= kFollowClimb)
        bits |= 8;
    else if (d.y < h.y && h.y - d.y >= kFollowClimb)
        bits |= 4;
    me->holdAttitude = 1;
    me->Rotate(&me->angles, bits, m_frameTime, 0);
    me->Move(&me->position, me->angles, m_frameTime);
    me->holdAttitude = 0;
    m_autoFollow = 1;
}

// ---- target-lock camera -------------------------------------------------------

void MainGame::InitSmartCam(ScriptReader* script)
{
    ReleaseSmartCameras();
    if (!script || !m_mission)
        return;
    m_mission->GetCameraLock_mainPlayer(script, m_smart, m_smartCount);
    if (!m_multiplayer || !m_smart)
        return;
    for (uint16_t g = 0; g < m_smartCount; ++g) {
        SmartCamera& group = m_smart[g];
        int n = std::min<int>(group.count, m_playerCount - 1);
        for (int i = 1; i <= n; ++i) {
            MyAirplane* a = m_players[i];
            GPO* o = m_playerObjects[i];
            if (!a || !o)
                continue;
            group.objects[i - 1] = o;
            o->SetVectorRef(a->displayedPosition.x, a->displayedPosition.y, a->displayedPosition.z,
                            a->displayedAngles.x, a->displayedAngles.y, a->displayedAngles.z);
        }
    }
}

void MainGame::ReleaseSmartCameras()
{
    SPLM::FreeCameraLocks(m_smart, m_smartCount);
    m_smart = nullptr;
    m_smartCount = 0;
}

int MainGame::UpdateSmartCamera(PVector3& eye, PVector3& look, PVector3& up)
{
    MyAirplane* me = m_players[0];
    if (!m_hud || !me)
        return 0;
    GPO* locking = m_hud->SC_IsLocking();
    PVector3 p = me->position;
    if (!locking) {
        m_hud->SC_Reset();
        for (uint16_t g = 0; g < m_smartCount; ++g) {
            SmartCamera& group = m_smart[g];
            for (uint16_t i = 0; i < group.count; ++i) {
                GPO* o = group.objects ? group.objects[i] : nullptr;
                if (!o || !o->IsExist() || !o->enabled || o->GetEnergy() <= 0)
                    continue;
                PVector3 q = o->GetPosition();
                PVector3 d = {(p.x >> 4) - (q.x >> 4), (p.y >> 4) - (q.y >> 4), (p.z >> 4) - (q.z >> 4)};
                int64_t sq = ((int64_t(d.x) * d.x) >> 16) + ((int64_t(d.y) * d.y) >> 16) +
                             ((int64_t(d.z) * d.z) >> 16);
                int32_t dist = PFSqrt(unsigned(std::min<int64_t>(sq, 0x7FFFFFFF)));
                int32_t range = group.ranges ? group.ranges[i] : 0;
                if ((range >> 4) > std::abs(dist)) {
                    if (!m_hud->SC_Add(o, group.values ? group.values[i] : 0, range >> 4))
                        return 0;
                }
            }
        }
        return 0;
    }
    PVector3 t = locking->GetPosition();
    PVector3 h = me->forward;
    PVector3 n = {(p.x >> 4) - (t.x >> 4), (p.y >> 4) - (t.y >> 4), (p.z >> 4) - (t.z >> 4)};
    int64_t sq = ((int64_t(n.x) * n.x) >> 16) + ((int64_t(n.y) * n.y) >> 16) + ((int64_t(n.z) * n.z) >> 16);
    int32_t dist = PFSqrt(unsigned(std::min<int64_t>(sq, 0x7FFFFFFF)));
    if (n.x || n.y || n.z)
        n.Normalize();
    n = {int32_t(int64_t(n.x) * kLockDistance >> 16), int32_t(int64_t(n.y) * kLockDistance >> 16),
         int32_t(int64_t(n.z) * kLockDistance >> 16)};
    PVector3 goal = PVecAdd(PVecAdd(p, n), PVecAdd(h, h));
    eye = {Ease(eye.x, goal.x, kLockEye), Ease(eye.y, goal.y, kLockEye), Ease(eye.z, goal.z, kLockEye)};
    look = {Ease(look.x, t.x, kLockLook), Ease(look.y, t.y, kLockLook), Ease(look.z, t.z, kLockLook)};
    up = {Ease(up.x, 0, kLockUp), Ease(up.y, kOne, kLockUp), Ease(up.z, 0, kLockUp)};
    m_hud->SC_UpdateDist(std::abs(dist));
    return 1;
}

// ---- camera push-out ----------------------------------------------------------

int MainGame::SubstractPointFromEnvironment(PVector3& point)
{
    int moved = 0;
    int32_t level = m_waterLevel;
    if (m_waves && m_players[0] && m_level) {
        WaterArea const* area = m_waves->GetWaterLevelArea(m_players[0]->position, m_level);
        if (area)
            level = area->level;
    }
    if (int64_t(level) + 0x1ffff >= point.y) {
        point.y = level + kCameraClearance;
        moved = 1;
    }
    if (!m_level)
        return moved;
    // Outside the octree the ground is the height of the scene's first model
    // (the outer background); the first root present gives the tree's size.
    P3DBspTreeElement* root = nullptr;
    for (P3DBspTreeElement* r : m_level->roots)
        if (r) {
            root = r;
            break;
        }
    if (root && m_level->modelCount > 0 && m_level->models && m_level->models[0]) {
        int64_t size = root->size < 0 ? -root->size : root->size;
        if (std::abs(int64_t(point.x)) > size || std::abs(int64_t(point.z)) > size) {
            int32_t ground = m_level->models[0]->PosY();
            if (point.y <= int64_t(ground) + kCameraClearance) {
                point.y = ground + kCameraClearance;
                return 1;
            }
        }
    }
    // Inside a building or hill of the area under the point: out along the
    // normal of the last triangle above it.
    int ax = 0, ay = 0, az = 0;
    m_level->GetModelClipAreaByGlobalPos(point.x, point.y, point.z, ax, ay, az);
    P3DClip* clip = m_level->GetModelClipAreaPtr(ax, ay, az);
    if (!clip || !clip->models || !m_level->models)
        return moved;
    for (int i = 0; i < clip->count; ++i) {
        int index = clip->models[i];
        P3DModel* m = index < m_level->modelCount ? m_level->models[index] : nullptr;
        if (!m || !m->IsPerPolyColl())
            continue;
        // The model's box in its own frame: its mesh's box.
        PMesh* mesh = CollisionMesh(m_engine, m);
        if (!mesh || m->meshIndex >= m_engine->meshBoxCount || !m_engine->meshBoxes ||
            !m_engine->meshBoxes[m->meshIndex])
            continue;
        int x0, y0, z0, x1, y1, z1;
        Physic::GetMinimumMaximumFromBBox(m_engine->meshBoxes[m->meshIndex], x0, y0, z0, x1, y1, z1);
        if (int64_t(y1) - y0 <= kLowBox)
            y0 = kLowBoxBottom;
        PVector3 local = IntoModel(m, point);
        if (!(local.x > x0 && local.x < x1 && local.y > y0 && local.y < y1 && local.z > z0 && local.z < z1))
            continue;
        PVector3 tri[3];
        int32_t h = 0;
        if (!(TrianglesAbove(mesh, local, tri, h) & 1))
            return moved;
        PVector3 n = P3DUtils::CreateNormal(tri[0], tri[1], tri[2]);
        n = {std::clamp(n.x, -kOne, kOne), std::clamp(n.y, -kOne, kOne), std::clamp(n.z, -kOne, kOne)};
        PVector3 centre = {int32_t((int64_t(tri[0].x) + tri[1].x + tri[2].x) / 3),
                           int32_t((int64_t(tri[0].y) + tri[1].y + tri[2].y) / 3),
                           int32_t((int64_t(tri[0].z) + tri[1].z + tri[2].z) / 3)};
        int32_t d = PVector3::DistanceSafe(local, centre);
        int x = int32_t(int64_t(n.x) * d >> 16), y = int32_t(int64_t(n.y) * d >> 16),
            z = int32_t(int64_t(n.z) * d >> 16);
        // The step back into the scene's frame.
        P3DUtils::GetTranslatedXYZ(x, y, z, 0, 0, 0, m->RotX(), m->RotY(), m->RotZ());
        point = {point.x + x, point.y + y, point.z + z};
        return 1;
    }
    return moved;
}

int32_t MainGame::IsPointCollideWithModel(P3DAnim* scene, const PVector3& point, P3DModel* model)
{
    PMesh* mesh = CollisionMesh(m_engine, model);
    if (!scene || !mesh)
        return 0;
    PVector3 tri[3];
    int32_t h = 0;
    if (!(TrianglesAbove(mesh, IntoModel(model, point), tri, h) & 1))
        return -100 * kOne;
    return h;
}

// ---- the intro camera ---------------------------------------------------------

void MainGame::StartPlayOrIntro()
{
    if (m_introCamera && m_level) {
        m_level->PlayCamera();
        return;
    }
    StartGameSounds();
    CalibrationSettingsUpdate();
}

void MainGame::EndIntroCamera()
{
    TouchScreen_ReleasePen();
    m_introCamera = 0;
    if (m_level)
        m_level->PauseCamera();
    if (m_levelUnit)
        m_levelUnit->SetCameraViewport(false);
    StartGameSounds();
    CalibrationSettingsUpdate();
}

int MainGame::IntroCameraFrame(P3D* p3d, int keys)
{
    p3d->glClear(p3dgl::kDepthBufferBit);
    p3d->glLoadIdentity();
    if (m_engine)
        m_engine->RenderAllScenes(p3d);
    PVector3 eye;
    if (m_level && m_level->cameraPresent) {
        p3d->glLoadMatrixx(m_level->cameraView);
        eye = PVector3(m_level->camera.tracks[0].value, m_level->camera.tracks[1].value,
                       m_level->camera.tracks[2].value);
    }
    m_mission->RenderGpoIndicators(p3d, m_textures, m_cursorTexture, m_cursorFlatTexture, eye);
    int frame = m_level ? m_level->cameraFrame : 0;
    const wchar_t* text = m_mission->GetNextVDText(frame);
    if (text && m_fonts) {
        wchar_t** lines = nullptr;
        int count = 0;
        MyUtility::StrToMultiline(text, lines, count, kIntroLineSeparator, kIntroLineLength);
        int step = m_fonts->Height(0) + 2;
        for (int i = 0; i < count; i++)
            m_fonts->Print(kIntroTextX, kIntroTextY + i * step, lines[i], 0);
        MyUtility::FreeLines(lines, count);
    }
    bool paused = m_level && m_level->cameraPaused;
    PSurface3D* icons[2] = {GetSharedImage(IMAGE_SOFT_OK), GetSharedImage(paused ? IMAGE_SOFT_PLAY : IMAGE_SOFT_PAUSE)};
    for (int k = 0; k < 2; k++) {
        int32_t* r = m_introIcons[k];
        r[2] = r[3] = 0;
        if (!icons[k])
            continue;
        r[2] = int32_t(icons[k]->Width());
        r[3] = int32_t(icons[k]->Height());
        r[0] = k == 0 ? 0 : m_width - r[2];
        r[1] = m_height - r[3];
        p3d->Blit(r[0], r[1], icons[k], nullptr, PS3D_ALPHATEST);
    }
    auto tapped = [&](int k) {
        const int32_t* r = m_introIcons[k];
        return TapCompleted() && r[2] > 0 && TouchScreen_IsInside(r[0], r[1], r[2], r[3]);
    };
    if (m_level && frame < m_mission->CameraEnd()) {
        if (!(keys & kKeyFire) && !tapped(0)) {
            if (m_keyLatch == kBackKey || tapped(1)) {
                if (paused)
                    m_level->PlayCamera();
                else
                    m_level->PauseCamera();
                m_keyLatch = 0;
                TouchScreen_Reset();
            }
            return 1;
        }
    }
    EndIntroCamera();
    return 1;
}
