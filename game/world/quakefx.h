// Camera shake with an optional white flash: while active the model-view
// matrix is moved by a random offset each frame until the shake's length
// has passed.
#pragma once
#include <cstdint>

#include "engine/runtime/pfixed.h"

class P3D;

class QuakeFx {
public:
    static constexpr int32_t kDefaultStrength = 13107; // 0.2
    static constexpr int32_t kDefaultLength = 1500;    // ms
    static constexpr int kBlinkEvery = 5;
    static constexpr int kBlinkLast = 20;

    // clock: the milliseconds the shake is timed by (not owned).
    explicit QuakeFx(unsigned int* clock);
    void Enable();
    void Disable() { active = 0; }
    void SetStrength(int s) { strength = s; }
    void SetLength(int ms) { length = ms; }
    void SetBlink(unsigned char on) { blink = on; }
    unsigned GetLifeTime() const { return Now() - start; }
    // Moves the current matrix by an offset of 0 to the strength on each
    // axis (none for a strength of 0); ends the shake once its time is up.
    void ModifyMatrix(P3D* gl);
    // True when it cleared the screen to white: first once a quarter of the
    // length has passed, then every fifth call up to the twentieth.
    bool BlinkScreen(P3D* gl);

    uint8_t active = 0;
    int8_t blinkCounter = 0;
    PRand2 random;
    int32_t strength = kDefaultStrength;
    unsigned int* clock = nullptr;
    unsigned int start = 0;
    int32_t length = kDefaultLength;
    uint8_t blink = 0;

private:
    unsigned Now() const { return clock ? *clock : 0; }
};
