// Edge-triggered keys: each query answers 1 once when its key goes down and
// not again until the key has been released. The key word is the mask of
// the Key bits below; the digit keys come one at a time with their state.
#pragma once
#include <cstdint>

class MyInput {
public:
    enum Key : int {
        kLeft = 1,
        kRight = 2,
        kUp = 4,
        kDown = 8,
        kFire = 16,
        kFire2 = 32,
        kBack = 64,
        kFire3 = 128,
        kFire4 = 256,
        kShoulderL = 512,
        kShoulderR = 1024,
    };
    // State of a digit key passed to PressedNumpad.
    enum : unsigned char { kDigitDown = 1 };
    static constexpr int kDigits = 10;
    static constexpr int kMulticodeSize = 9;

    // Every latch starts set: a key already held does not count as a press
    // until it has been released.
    MyInput() { SetAllKeys(1); }
    virtual ~MyInput() = default;

    // Scan code and key word cleared, every latch set to v, multi-code
    // buffer cleared.
    void SetAllKeys(unsigned char v);
    // bit 0: the key is up, the latch clears, 0. Otherwise 1 when the latch
    // was clear (it is then set), else 0.
    static int GenericPressed(int bit, unsigned char* latch);

    int PressedLeft(int mask) { return GenericPressed(mask & kLeft, &left); }
    int PressedRight(int mask) { return GenericPressed(mask & kRight, &right); }
    int PressedUp(int mask) { return GenericPressed(mask & kUp, &up); }
    int PressedDown(int mask) { return GenericPressed(mask & kDown, &down); }
    int PressedFire(int mask) { return GenericPressed(mask & kFire, &fire); }
    int PressedFire2(int mask) { return GenericPressed(mask & kFire2, &fire2); }
    int PressedBack(int mask) { return GenericPressed(mask & kBack, &back); }
    int PressedFire3(int mask) { return GenericPressed(mask & kFire3, &fire3); }
    int PressedFire4(int mask) { return GenericPressed(mask & kFire4, &fire4); }
    int PressedShoulderL(int mask) { return GenericPressed(mask & kShoulderL, &shoulderL); }
    int PressedShoulderR(int mask) { return GenericPressed(mask & kShoulderR, &shoulderR); }
    // Digit keys: state kDigitDown is a press (1 once), any other state a
    // release. Digits above 9 are no key (0).
    int PressedNumpad(unsigned char state, unsigned char digit);

    int IsScancode(int code) const { return scancode == code; }
    void Multicode_Zero();

    int32_t scancode = 0; // of the last key
    int32_t keyState = 0; // the owner's key word, cleared by SetAllKeys
    uint8_t multicode[kMulticodeSize] = {};
    uint8_t back = 1, fire2 = 1, fire3 = 1, fire4 = 1, fire = 1, shoulderL = 1, shoulderR = 1;
    uint8_t left = 1, right = 1, up = 1, down = 1;
    uint8_t digits[kDigits] = {};
};
