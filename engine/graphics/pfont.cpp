// The abstract bitmap font: fixed-width measures, wide printing through the
// 8-bit form, and the software background box of a markup run.
#include "engine/graphics/pfont.h"

#include "engine/graphics/psurface.h"
#include "engine/runtime/ptext.h"

PFont::PFont() = default;

PFont::~PFont()
{
    delete args.strip;
}

unsigned PFont::NextChar(const char*& s) const
{
    if (utf8)
        return PUTF8DecodeNext(s);
    return static_cast<unsigned char>(*s++);
}

int PFont::CountChars(const char* s, int n) const
{
    if (!s)
        return 0;
    int count = 0;
    while ((n < 0 || count < n) && *s) {
        NextChar(s);
        count++;
    }
    return count;
}

namespace {

int FixedWidth(const PFont& f, int count, int* height)
{
    if (height)
        *height = f.height;
    int w = f.width * count;
    if (count >= 2)
        w += f.spacing * (count - 1);
    return w;
}

} // namespace

int PFont::StringWidth(const char* s, int* height, int n) const
{
    return FixedWidth(*this, n < 0 ? CountChars(s, -1) : n, height);
}

int PFont::StringWidth(const wchar_t* s, int* height, int n) const
{
    int count = n;
    if (n < 0) {
        count = 0;
        while (s && s[count])
            count++;
    }
    return FixedWidth(*this, count, height);
}

PFont::PenStep PFont::CharStep(unsigned c) const
{
    const wchar_t one[2] = {wchar_t(c), 0};
    const int w = StringWidth(one, nullptr, 1);
    return {0, w, w + spacing, spacing};
}

int PFont::Print(const wchar_t* s, int x, int y, int n) const
{
    if (!s)
        return 0;
    constexpr int kBytes = 128;
    char buf[kBytes + 1];
    int count = 0;
    int bytes = 0;
    if (utf8) {
        // Whole characters only: one that would not fit is left out.
        count = n;
        bytes = PUTF8Encode(buf, kBytes, s, &count);
    } else {
        while ((n < 0 || count < n) && count < kBytes && s[count]) {
            buf[count] = char(s[count]);
            count++;
        }
        bytes = count;
    }
    buf[bytes] = 0;
    return Print(buf, x, y, count);
}

int PFont::PrintShape(int x, int y, int w, int h, const AttributeString& run)
{
    if (!(run.attributes & PFONT_ATTR_BOX))
        return 0;
    if (!target)
        return w;
    const unsigned c = run.backColor;
    const unsigned shape = run.attributes & PFONT_ATTR_SHAPEMASK;
    if ((shape == 0x10 || shape == 0x20 || shape == 0x30) && w > 4 && h > 4) {
        // Cut corners: the four corner pixels stay untouched.
        target->FillRect(x, y + 1, w, h - 2, c);
        target->HLine(x + 1, y, w - 2, c);
        target->HLine(x + 1, y + h - 1, w - 2, c);
    } else {
        target->FillRect(x, y, w, h, c);
    }
    return w;
}
