#include "game/world/myexplosion.h"

#include <GLES/gl.h>

#include "engine/graphics/p3d.h"
#include "engine/runtime/ptime.h"
#include "game/scene/p3dmeshlink.h"
#include "game/scene/particleemitter.h"
#include "game/world/mybillboard.h"
#include "game/world/mysmoke.h"

namespace {

constexpr int32_t kOne = 0x10000;
constexpr int32_t kHalf = 0x8000;
constexpr int32_t kStartScale = 6553;
constexpr int32_t kStartAlpha = 65280;
constexpr int32_t kAlphaStep = 3328;

// Four corners each, drawn as a triangle strip.
const int32_t kFlash[12] = {-39321, -39321, -19660, -39321, 39321, -19660, 39321, -39321, -19660, 39321, 39321, -19660};
const int32_t kRingQuad[12] = {-39321, -36045, 52428, -39321, 39321, -45875, 39321, -39321, 52428, 39321, 36045, -45875};
const int32_t kGlow[12] = {-39321, -39321, -13107, -39321, 39321, -13107, 39321, -39321, -13107, 39321, 39321, -13107};
const int32_t kBurst2[12] = {-39321, -39321, -6553, -39321, 39321, -6553, 39321, -39321, -6553, 39321, 39321, -6553};
const int32_t kBurst1[12] = {-39321, -39321, 0, -39321, 39321, 0, 39321, -39321, 0, 39321, 39321, 0};
const int32_t kFlashTex[8] = {0, 0, 0, kOne, kOne, 0, kOne, kOne};
const int32_t kRingTex[8] = {kHalf, 0, kHalf, kHalf, kOne, 0, kOne, kHalf};
const int32_t kGlowTex[8] = {0, 0, 0, kHalf, kHalf, 0, kHalf, kHalf};
const int32_t kBurst2Tex[8] = {kHalf, kHalf, kHalf, kOne, kOne, kHalf, kOne, kOne};
const int32_t kBurst1Tex[8] = {0, kHalf, 0, kOne, kHalf, kHalf, kHalf, kOne};

int32_t Wrap(int64_t v)
{
    return int32_t(uint32_t(uint64_t(v)));
}

// One camera-facing quad at the current position, turned about the view
// axis and scaled.
void Quad(P3D* gl, const int32_t* vertices, const int32_t* tex, int32_t alpha, int32_t angle, int32_t sx, int32_t sy)
{
    gl->glColor4x(kOne, kOne, kOne, alpha);
    gl->GetBackend()->glVertexPointer(3, GL_FIXED, 0, vertices);
    gl->GetBackend()->glTexCoordPointer(2, GL_FIXED, 0, tex);
    gl->glPushMatrix();
    MyBillboard::CheatSphericalBegin(gl);
    if (angle)
        gl->glRotatex(angle, 0, 0, kOne);
    gl->glScalex(sx, sy, kOne);
    gl->glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    gl->glPopMatrix();
}

} // namespace

MyExplosion::MyExplosion() = default;

MyExplosion::~MyExplosion() = default;

void MyExplosion::Init()
{
    random.Seed(PTickCount(), 0);
    frame = 0;
    for (int32_t& r : rot)
        r = int32_t(random());
    for (int32_t& s : scale)
        s = kStartScale;
    ringScale = 0;
    alpha = kStartAlpha;
    flashAlpha = 0;
    emitters[0].reset();
    emitters[1].reset();
    kind = kBasic;
    owner = nullptr;
}

void MyExplosion::Init(const PVector3& pos, signed char k, GPO* o)
{
    Init();
    owner = o;
    kind = k;
    x = pos.x, y = pos.y, z = pos.z;
}

int MyExplosion::Render(const PVector3& pos, P3D* gl, PTextureManager* tm, int texture1, int texture2, PMesh** meshes,
                        signed char meshCount, int texture3)
{
    x = pos.x, y = pos.y, z = pos.z;
    return Render(gl, tm, texture1, texture2, meshes, meshCount, texture3);
}

int MyExplosion::Render(P3D* gl, PTextureManager* tm, int texture1, int texture2, PMesh** meshes,
                        signed char meshCount, int texture3)
{
    if (frame == kIdle)
        return kIdle;
    if (kind == kRing) {
        // A ring has nothing of its own to draw: it ends at once instead of
        // holding its slot.
        frame = kIdle;
        return frame;
    }
    if (!gl)
        return frame;
    gl->GetBackend()->glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    gl->glTexEnvx(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    if (kind == kBasic)
        RenderBasic(gl, tm, texture1, texture2);
    else if (kind == kNuke)
        RenderNuke(gl, meshes, meshCount);
    else if (kind == kParticles)
        RenderParticles(gl, tm, texture1, texture3);
    else
        frame = kIdle; // an unknown kind draws nothing and ends
    gl->glTexEnvx(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    return frame;
}

void MyExplosion::RenderBasic(P3D* gl, PTextureManager* tm, int texture1, int texture2)
{
    gl->glEnable(GL_BLEND);
    gl->glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    gl->glEnable(GL_ALPHA_TEST);
    gl->glDisable(GL_DEPTH_TEST);
    gl->glDisable(GL_CULL_FACE);
    gl->glEnableClientState(GL_VERTEX_ARRAY);
    gl->glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    gl->glPushMatrix();
    gl->glTranslatex(x, y, z);

    // Flash: grows and brightens after the fifth frame, fades after the
    // eighteenth; the explosion ends once it has faded.
    int32_t oldFrame = frame, oldF = flashAlpha, oldS4 = scale[3], oldR4 = rot[3];
    frame++;
    rot[3] = Wrap(int64_t(oldR4) - (2 << 16));
    if (oldFrame > 5) {
        if (frame > 18) {
            flashAlpha = oldF - 1536;
            scale[3] = oldS4 + 4587;
            rot[3] = Wrap(int64_t(oldR4) - (2 << 16) + oldF + 3584);
            if (flashAlpha <= 4864)
                frame = kIdle;
        } else {
            scale[3] = oldS4 + 8519;
            flashAlpha = oldF + 3584;
        }
    }
    P3DTextureSet(tm, texture1);
    Quad(gl, kFlash, kFlashTex, flashAlpha, rot[3], scale[3], scale[3]);

    P3DTextureSet(tm, texture2);
    if (frame > 3) {
        ringScale += 22937;
        Quad(gl, kRingQuad, kRingTex, alpha, 0, ringScale, ringScale);
    }
    rot[2] = Wrap(int64_t(rot[2]) - (4 << 16));
    if (frame <= 11)
        scale[2] += 29491;
    Quad(gl, kGlow, kGlowTex, alpha / 3, rot[2], scale[2], scale[2]);
    if (alpha >= kAlphaStep) {
        rot[1] = Wrap(int64_t(rot[1]) - (8 << 16));
        if (frame <= 11)
            scale[1] += 13107;
        else
            alpha -= kAlphaStep;
        Quad(gl, kBurst2, kBurst2Tex, alpha, rot[1], scale[1], scale[1]);
        scale[0] = scale[1];
        rot[0] = Wrap(int64_t(rot[0]) + (8 << 16));
        Quad(gl, kBurst1, kBurst1Tex, alpha, rot[0], scale[0], scale[0]);
    }
    gl->glPopMatrix();
    gl->glDisable(GL_BLEND);
    gl->glDisable(GL_ALPHA_TEST);
    gl->glEnable(GL_CULL_FACE);
    gl->glEnable(GL_DEPTH_TEST);
}

void MyExplosion::RenderNuke(P3D* gl, PMesh** meshes, int meshCount)
{
    if (frame > 27) {
        gl->glEnable(GL_BLEND);
        gl->glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        gl->glColor4x(kOne, kOne, kOne, alpha);
    }
    for (int k = 0; meshes && k < meshCount; k++) {
        int32_t s = k == 0 ? scale[0] : k == 1 ? scale[2] : scale[3];
        gl->glPushMatrix();
        gl->glTranslatex(x, y, z);
        gl->glScalex(s, scale[1], s);
        P3DMeshRender(meshes[k], gl);
        gl->glPopMatrix();
    }
    frame++;
    if (frame > 45) {
        frame = kIdle;
        gl->glDisable(GL_BLEND);
        return;
    }
    scale[1] += 3276;
    scale[0] += 3276;
    if (frame > 12)
        scale[2] += 19660;
    scale[3] += 6553;
    if (frame > 27) {
        alpha = alpha > kAlphaStep ? alpha - kAlphaStep : 0;
        gl->glDisable(GL_BLEND);
    }
}

void MyExplosion::RenderParticles(P3D* gl, PTextureManager* tm, int texture1, int texture3)
{
    if (!emitters[0]) {
        emitters[0] = std::make_unique<ParticleEmitter>();
        emitters[1] = std::make_unique<ParticleEmitter>();
        if (!emitters[0] || !emitters[1]) {
            frame = kIdle;
            return;
        }
        emitters[0]->SetPosition(x, y, z);
        emitters[0]->SetTextureIndex(texture1);
        emitters[0]->Init(15, 75366, 131072, 120, 98304);
        emitters[1]->SetPosition(x, y, z);
        emitters[1]->SetTextureIndex(texture3);
        emitters[1]->SetGravity(-655);
        emitters[1]->Init(5, 49152, 65536, 100, 524288);
        emitters[0]->Start();
        emitters[1]->Start();
    }
    for (auto& e : emitters) {
        e->Process();
        e->Render(gl, tm);
    }
    frame++;
    if (frame > 121)
        frame = kIdle;
}

void MyExplosion::SetSmoke(MySmoke* smoke, int n, int spreadX, int spreadY, int spreadZ)
{
    if (!smoke)
        return;
    auto spread = [&](int s) { return s > 0 ? int32_t(random() % unsigned(s)) : 0; };
    for (int i = 0; i < n; i++) {
        int32_t ox = spread(spreadX), oy = spread(spreadY), oz = spread(spreadZ);
        PVector3 p(Wrap(int64_t(x) - spreadX / 2 + ox), Wrap(int64_t(y) + oy), Wrap(int64_t(z) - spreadZ / 2 + oz));
        smoke->AddParticle(p, PVector3());
    }
}
