#include "game/world/mysmoke.h"

#include <GLES/gl.h>

#include "engine/graphics/p3d.h"
#include "engine/graphics/ptexturemanager.h"
#include "game/scene/p3dmeshlink.h"
#include "game/world/mybillboard.h"

namespace {

constexpr int32_t kOne = 0x10000;
constexpr int32_t kRise = 524;
const int32_t kQuad[12] = {-52756, -52756, -8519, -52756, 52756, -8519, 52756, -52756, -8519, 52756, 52756, -8519};
const int32_t kQuadTex[8] = {0, 0, 0, kOne, kOne, 0, kOne, kOne};
const int32_t kLife[2] = {MySmoke::kSmokeLife, MySmoke::kSplashLife};

// trunc(n * 0.025 * 65536) for whole n.
int32_t Fortieths(int n)
{
    return int32_t(int64_t(n) * 16384 / 10);
}

} // namespace

void MySmoke::Clear()
{
    for (Particle& p : slots)
        p.life = 0;
}

void MySmoke::AddParticle(const PVector3& pos, unsigned char kind)
{
    if (kind != kSmoke && kind != kSplash)
        return;
    for (Particle& p : slots)
        if (p.life <= 0) {
            p.x = pos.x, p.y = pos.y, p.z = pos.z;
            p.kind = kind;
            p.life = kLife[kind - kSmoke];
            return;
        }
}

void MySmoke::AddParticle(const PVector3& pos, const PVector3& offset)
{
    for (int i = 0; i < kSlots; i++) {
        Particle& p = slots[i];
        if (p.life > 0)
            continue;
        int32_t spread = 144 * i;
        p.kind = kSmoke;
        p.life = kSmokeLife;
        p.x = int32_t(uint32_t(pos.x) + uint32_t(offset.x) + uint32_t(i % 2 == 0 ? spread : -spread));
        p.y = int32_t(uint32_t(pos.y) + uint32_t(offset.y));
        p.z = int32_t(uint32_t(pos.z) + uint32_t(offset.z) + uint32_t(spread));
        return;
    }
}

int MySmoke::LiveCount() const
{
    int n = 0;
    for (const Particle& p : slots)
        n += p.life > 0;
    return n;
}

void MySmoke::Render(P3D* gl, PTextureManager* tm, const int* textures)
{
    if (!gl || !textures)
        return;
    gl->GetBackend()->glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_FASTEST);
    gl->glEnable(GL_BLEND);
    gl->glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    gl->glDisable(GL_ALPHA_TEST);
    gl->glDisable(GL_CULL_FACE);
    gl->glTexEnvx(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    gl->glEnableClientState(GL_VERTEX_ARRAY);
    gl->glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    for (Particle& p : slots) {
        if (p.life <= 0)
            continue;
        P3DTextureSet(tm, textures[p.kind]);
        int32_t alpha, scale;
        if (p.kind == kSplash) {
            alpha = p.life * 3264;
            scale = 85196 - Fortieths(kSplashLife - p.life);
        } else {
            p.y = int32_t(uint32_t(p.y) + kRise);
            alpha = p.life * 1483;
            scale = Fortieths(kSmokeLife - p.life) + 26214;
        }
        gl->glColor4x(kOne, kOne, kOne, alpha);
        gl->GetBackend()->glVertexPointer(3, GL_FIXED, 0, kQuad);
        gl->GetBackend()->glTexCoordPointer(2, GL_FIXED, 0, kQuadTex);
        gl->glPushMatrix();
        gl->glTranslatex(p.x, p.y, p.z);
        MyBillboard::CheatSphericalBegin(gl);
        gl->glRotatex(spin, 0, 0, kOne);
        gl->glScalex(scale, scale, kOne);
        gl->glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
        gl->glPopMatrix();
        p.life--;
    }
    spin = (spin + (2 << 16)) % (360 << 16);
    gl->glDisable(GL_BLEND);
    gl->glDisable(GL_ALPHA_TEST);
    gl->glEnable(GL_CULL_FACE);
    gl->glTexEnvx(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
}
