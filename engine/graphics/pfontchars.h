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
        c = font.NextChar(p);
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

} // namespace pfontchars
