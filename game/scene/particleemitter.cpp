#include "game/scene/particleemitter.h"

#include <GLES/gl.h>

#include "engine/runtime/palloc.h"
#include "engine/runtime/ptime.h"
#include "game/scene/p3dmeshlink.h"
#include "game/world/mybillboard.h"
#include "gl/gles.h"

namespace {

constexpr int32_t kOne = 0x10000;

// The quad every particle draws: a triangle strip of four corners.
const int32_t kQuadVertices[12] = {-39321, -39321, -19660, -39321, 39321, -19660,
                                   39321,  -39321, -19660, 39321,  39321, -19660};
const int32_t kQuadTexCoords[8] = {0, 0, 0, kOne, kOne, 0, kOne, kOne};

} // namespace

ParticleEmitter::ParticleEmitter() : random(PTickCount(), 0) {}

ParticleEmitter::~ParticleEmitter()
{
    ReleaseParticles();
}

void ParticleEmitter::ReleaseParticles()
{
    PFree(particles);
    particles = nullptr;
}

int ParticleEmitter::Init(int n, int sxz, int sy, int l, int s)
{
    ReleaseParticles();
    count = n < 0 ? 0 : n > 65535 ? 65535 : n;
    // Offsets are taken modulo the spreads and life divides the fade: none
    // may be 0.
    spreadXZ = sxz < 1 ? 1 : sxz;
    spreadY = sy < 1 ? 1 : sy;
    life = l < 1 ? 1 : l > 65535 ? 65535 : l;
    size = s;
    state = kStopped;
    if (!count)
        return 1;
    particles = static_cast<Particle*>(PAllocZ(count * int(sizeof(Particle))));
    if (!particles) {
        count = 0;
        return 0;
    }
    for (int i = 0; i < count; i++) {
        Particle& p = particles[i];
        unsigned r1 = random();
        int s1 = (random() & 1) ? -1 : 1;
        int x = int(r1 % unsigned(spreadXZ)) * s1;
        unsigned r2 = random();
        int y = int(r2 % unsigned(spreadY));
        unsigned r3 = random();
        int s3 = (random() & 1) ? -1 : 1;
        int z = int(r3 % unsigned(spreadXZ)) * s3;
        int d = int(random() & 3);
        if (!d)
            d = 1;
        p.x = x, p.y = y, p.z = z;
        p.vx = x / d, p.vy = y / d, p.vz = z / d;
        p.life = uint16_t(life);
    }
    return 1;
}

void ParticleEmitter::Process()
{
    if (state != kRunning)
        return;
    int alive = 0;
    for (int i = 0; i < count; i++) {
        Particle& p = particles[i];
        if (!p.life)
            continue;
        p.y = int32_t(uint32_t(p.y) + uint32_t(p.vy));
        p.x = int32_t(uint32_t(p.x) + uint32_t(p.vx));
        p.z = int32_t(uint32_t(p.z) + uint32_t(p.vz));
        p.life--;
        p.vy = int32_t(uint32_t(p.vy) - uint32_t(gravity));
        alive++;
    }
    if (alive)
        return;
    if (loopForever) {
        Init(count, spreadXZ, spreadY, life, size);
        state = kRunning;
    } else {
        state = kStopped;
    }
}

void ParticleEmitter::Render(GLES* gl, PTextureManager* tm)
{
    if (state != kRunning && state != kPaused)
        return;
    gl->glEnable(GL_BLEND);
    gl->glDisable(GL_ALPHA_TEST);
    gl->glDisable(GL_DEPTH_TEST);
    gl->glDisable(GL_CULL_FACE);
    gl->glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    gl->glTexEnvx(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    gl->glPushMatrix();
    gl->glTranslatex(position.x, position.y, position.z);
    for (int i = 0; i < count; i++) {
        const Particle& p = particles[i];
        if (!p.life)
            continue;
        int64_t elapsed = int64_t(life) - p.life;
        int64_t scale = size + 6553 * elapsed;
        gl->glPushMatrix();
        P3DTextureSet(tm, texture);
        // Falls linearly to 0 at half the life; GL clamps what lies below.
        int64_t alpha = kOne - int64_t(65535 / life) * elapsed * 2;
        gl->glColor4x(kOne, kOne, kOne, int32_t(alpha < INT32_MIN ? INT32_MIN : alpha));
        gl->GetBackend()->glTexCoordPointer(2, GL_FIXED, 0, kQuadTexCoords);
        gl->GetBackend()->glVertexPointer(3, GL_FIXED, 0, kQuadVertices);
        gl->glTranslatex(p.x, p.y, p.z);
        MyBillboard::CheatSphericalBegin(gl);
        gl->glScalex(int32_t(scale > INT32_MAX ? INT32_MAX : scale), int32_t(scale > INT32_MAX ? INT32_MAX : scale),
                     kOne);
        gl->glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
        gl->glPopMatrix();
    }
    gl->glPopMatrix();
    gl->glDisable(GL_BLEND);
    gl->glDisable(GL_ALPHA_TEST);
    gl->glEnable(GL_DEPTH_TEST);
    gl->glEnable(GL_CULL_FACE);
    gl->glTexEnvx(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
}
