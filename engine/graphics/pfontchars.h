// Character sources shared by the 2D and GL font printers: each call yields
// the next character, false at the terminator.
#pragma once

#include "engine/graphics/pfont.h"

namespace pfontchars {

struct NarrowChars {
    const PFont& font;
    const char* p;
    bool operator()(unsigned& c)
    {
        if (!p || !*p)
            return false;
        // A byte below 0x80 is that character in UTF-8 and in 8-bit text.
        const unsigned char b = static_cast<unsigned char>(*p);
        if (b < 0x80) {
            c = b;
            p++;
        } else {
            c = font.NextChar(p);
        }
        return true;
    }
};

struct WideChars {
    const wchar_t* p;
    bool operator()(unsigned& c)
    {
        if (!p || !*p)
            return false;
        c = unsigned(*p++);
        return true;
    }
};

// One character, once.
struct OneChar {
    unsigned c;
    bool given = false;
    bool operator()(unsigned& out)
    {
        if (given)
            return false;
        given = true;
        out = c;
        return true;
    }
};

} // namespace pfontchars
