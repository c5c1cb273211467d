#include "game/world/wave.h"

#include <GLES/gl.h>

#include "engine/graphics/p3d.h"
#include "engine/runtime/ptime.h"
#include "game/scene/p3dmeshlink.h"
#include "game/world/mysmoke.h"

namespace {

constexpr int32_t kOne = 0x10000;

int32_t Wrap(int64_t v)
{
    return int32_t(uint32_t(uint64_t(v)));
}

} // namespace

Wave::Wave(unsigned char count, unsigned int addInterval)
    : elements(count), interval(addInterval), random(PTickCount(), 0)
{
}

void Wave::InitWaveElements()
{
    for (WaveElement& e : elements)
        InitWaveElement(&e);
}

void Wave::Add(const PVector3* pos, const PVector3* dir, int yaw, int waterLevel, unsigned int now, MySmoke* smoke)
{
    if (!pos || !dir || elements.empty())
        return;
    int64_t above = int64_t(pos->y) - waterLevel;
    if (above > kReach || above < -kReach || now - lastAdd < interval)
        return;
    WaveElement* e = nullptr;
    for (WaveElement& w : elements)
        if (w.life == 0) {
            e = &w;
            break;
        }
    if (!e)
        return;
    int32_t x = Wrap(int64_t(pos->x) + dir->x / 2), z = Wrap(int64_t(pos->z) + dir->z / 2);
    e->life = kLife;
    e->yaw = yaw;
    e->y = pos->y;
    e->x = x;
    e->z = z;
    level = Wrap(int64_t(waterLevel) - kLevelDrop);
    lastAdd = now;
    active = 1;
    if (smoke && int64_t(pos->y) - level < kSplashHeight) {
        int32_t s = int32_t(random() % unsigned(kSplashSpread));
        if (random() & 1)
            s = -s;
        smoke->AddParticle(PVector3(Wrap(int64_t(x) + s), level, Wrap(int64_t(z) + s)), MySmoke::kSplash);
    }
}

void Wave::Render(P3D* gl, PMesh* mesh)
{
    if (!gl)
        return;
    gl->GetBackend()->glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_FASTEST);
    active = 0;
    for (WaveElement& e : elements) {
        if (e.life <= 0)
            continue;
        int a = kLife - e.life, q = a / 3;
        int32_t alpha, scale;
        if (q < 1) {
            alpha = 49152;
            scale = Wrap(int64_t(size) + kOne);
        } else {
            alpha = 65280 / q;
            alpha = alpha < 6553 ? 6553 : alpha > 49152 ? 49152 : alpha;
            scale = Wrap(int64_t(size) + int64_t(q) * kOne);
        }
        // Flatter the higher the mark was made above the wake.
        int32_t height = Wrap((int64_t(kReach) - (int64_t(e.y) - level)) / 6);
        gl->glColor4x(kOne, kOne, kOne, alpha);
        gl->glPushMatrix();
        gl->glTranslatex(e.x, level, e.z);
        gl->glRotatex(e.yaw, 0, kOne, 0);
        gl->glScalex(scale / 2, height, scale);
        P3DMeshRender(mesh, gl);
        gl->glPopMatrix();
        e.life--;
        active = 1;
    }
}
