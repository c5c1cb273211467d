#include "game/world/myinput.h"

#include <cstring>
#include <initializer_list>

void MyInput::SetAllKeys(unsigned char v)
{
    scancode = 0;
    keyState = 0;
    for (uint8_t* latch : {&back, &fire2, &fire3, &fire4, &fire, &shoulderL, &shoulderR, &left, &right, &up, &down})
        *latch = v;
    std::memset(digits, v, sizeof digits);
    Multicode_Zero();
}

int MyInput::GenericPressed(int bit, unsigned char* latch)
{
    if (!bit) {
        *latch = 0;
        return 0;
    }
    if (*latch)
        return 0;
    *latch = 1;
    return 1;
}

int MyInput::PressedNumpad(unsigned char state, unsigned char digit)
{
    if (digit >= kDigits)
        return 0;
    return GenericPressed(state == kDigitDown, &digits[digit]);
}

void MyInput::Multicode_Zero() { std::memset(multicode, 0, sizeof multicode); }
