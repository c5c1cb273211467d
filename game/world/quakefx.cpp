#include "game/world/quakefx.h"

#include "engine/graphics/p3d.h"
#include "engine/runtime/ptime.h"

QuakeFx::QuakeFx(unsigned int* c) : random(PTickCount(), 0), clock(c) {}

void QuakeFx::Enable()
{
    active = 1;
    blinkCounter = 0;
    start = Now();
}

void QuakeFx::ModifyMatrix(P3D* gl)
{
    if (!active)
        return;
    if (gl && strength > 0) {
        unsigned s = unsigned(strength);
        int32_t dx = int32_t(random() % s), dy = int32_t(random() % s), dz = int32_t(random() % s);
        gl->glTranslatex(dx, dy, dz);
    }
    if (int64_t(Now() - start) > length)
        active = 0;
}

bool QuakeFx::BlinkScreen(P3D* gl)
{
    if (!active || !blink || !gl)
        return false;
    if (blinkCounter == 0) {
        if (int64_t(Now() - start) <= length / 4)
            return false;
        blinkCounter = 1;
        gl->Clear(0xffffff);
        return true;
    }
    if (blinkCounter > kBlinkLast) // nothing more to blink; the counter stays put
        return false;
    int old = blinkCounter++;
    if (old % kBlinkEvery != 0 || blinkCounter > kBlinkLast)
        return false;
    gl->Clear(0xffffff);
    return true;
}
