#include "game/world/myutility.h"

#include <cstring>
#include <cwchar>

#include "engine/graphics/p3d.h"
#include "engine/runtime/pdebug.h"
#include "engine/runtime/pfixed.h"
#include "engine/runtime/pstream.h"
#include "game/frontend/fonts.h"

namespace {

constexpr int32_t kFullTurn = 360 << 16;
constexpr int32_t kHeadingLength = 0x38000; // 3.5
constexpr unsigned kShadowColour = 0x222222;
constexpr unsigned kButtonFill = 0x666666;
constexpr unsigned kButtonOutline = 0xffffff;
constexpr signed char kWindowDarkness = -70;

unsigned Opaque(unsigned rgb) { return 0xff000000u | rgb; }

int32_t Abs32(int32_t v) { return v < 0 ? -v : v; }

// floor(sqrt(v)) for 64-bit values.
uint64_t Sqrt64(uint64_t v)
{
    uint64_t r = 0;
    for (uint64_t bit = uint64_t(1) << 62; bit; bit >>= 2) {
        if (v >= r + bit) {
            v -= r + bit;
            r = (r >> 1) + bit;
        } else {
            r >>= 1;
        }
    }
    return r;
}

// A new[] copy of n wide characters plus a terminator; null without memory.
wchar_t* CopyLine(const wchar_t* from, size_t n)
{
    auto* line = new wchar_t[n + 1];
    if (!line)
        return nullptr;
    if (n)
        std::memcpy(line, from, n * sizeof(wchar_t));
    line[n] = 0;
    return line;
}

} // namespace

signed char MyUtility::GetCharFromIntAtIndex(int32_t value, signed char index)
{
    if (value <= 0 || index < 0)
        return -1;
    char digits[12];
    int n = 0;
    for (int32_t v = value; v > 0; v /= 10)
        digits[n++] = char('0' + v % 10);
    if (index >= n)
        return -1;
    return static_cast<signed char>(digits[n - 1 - index]);
}

void MyUtility::MoveByAngle(const PVector3& angles, PVector3& out)
{
    PMatrix3D m;
    m.SetIdentity();
    m.RotateY(angles.y);
    m.RotateZ(angles.z);
    m.RotateX(angles.x);
    out.x = int32_t((int64_t(m.m[0][2]) * -kHeadingLength) >> 16);
    out.y = int32_t((int64_t(m.m[1][2]) * -kHeadingLength) >> 16);
    out.z = int32_t((int64_t(m.m[2][2]) * -kHeadingLength) >> 16);
}

void MyUtility::StrToMultiline(const wchar_t* text, wchar_t**& lines, int& count, wchar_t separator,
                               int maxLength)
{
    lines = nullptr;
    count = 0;
    if (!text || !text[0])
        return;
    const size_t len = std::wcslen(text);
    int n = 1;
    for (size_t i = 0; i < len; i++)
        if (text[i] == separator)
            n++;
    auto** out = new wchar_t*[size_t(n)];
    if (!out)
        return;
    int made = 0;
    size_t start = 0;
    for (size_t i = 0; i <= len; i++) {
        if (i < len && text[i] != separator)
            continue;
        // An empty piece (two separators in a row, or one at either end)
        // becomes a single blank so that every line has something to show.
        size_t length = i - start;
        if (maxLength > 0 && length > size_t(maxLength))
            length = size_t(maxLength);
        wchar_t* line = length ? CopyLine(text + start, length) : CopyLine(L" ", 1);
        if (!line) {
            for (int k = 0; k < made; k++)
                delete[] out[k];
            delete[] out;
            _PDebug("StrToMultiline: out of memory for %d lines\n", n);
            return;
        }
        out[made++] = line;
        start = i + 1;
    }
    lines = out;
    count = made;
}

void MyUtility::FreeLines(wchar_t**& lines, int& count)
{
    if (lines) {
        for (int i = 0; i < count; i++)
            delete[] lines[i];
        delete[] lines;
    }
    lines = nullptr;
    count = 0;
}

void MyUtility::IntegerToBytes(int32_t v, uint8_t* bytes)
{
    const auto u = uint32_t(v);
    bytes[0] = uint8_t(u);
    bytes[1] = uint8_t(u >> 8);
    bytes[2] = uint8_t(u >> 16);
    bytes[3] = uint8_t(u >> 24);
}

int32_t MyUtility::BytesToInteger(const uint8_t* bytes)
{
    return int32_t(uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
                   uint32_t(bytes[3]) << 24);
}

int MyUtility::FileWrite_Byte(PStream* file, uint8_t c) { return file ? file->Write(&c, 1) : -1; }

int MyUtility::FileWrite_Int(PStream* file, int32_t v)
{
    uint8_t b[4];
    IntegerToBytes(v, b);
    return file ? file->Write(b, 4) : -1;
}

int MyUtility::FileWrite_String(PStream* file, const char* s)
{
    if (!s)
        return FileWrite_Int(file, 0);
    size_t n = std::strlen(s);
    if (n > size_t(kMaxStoredString)) {
        _PDebug("FileWrite_String: string of %zu bytes stored cut to %d\n", n, kMaxStoredString);
        n = size_t(kMaxStoredString);
    }
    int r = FileWrite_Int(file, int32_t(n));
    if (r != 4 || n == 0)
        return r;
    return file->Write(s, int(n));
}

int32_t MyUtility::ByteArrayRead_Int(ByteCursor& cursor, int32_t& out)
{
    if (cursor.failed || cursor.Remaining() < 4) {
        if (!cursor.failed)
            _PDebug("ByteArrayRead_Int: %ld bytes left, 4 needed\n", cursor.Remaining());
        cursor.failed = true;
        cursor.pos = cursor.end;
        out = 0;
        return 0;
    }
    out = BytesToInteger(cursor.pos);
    cursor.pos += 4;
    return out;
}

int MyUtility::ByteArrayRead_String(ByteCursor& cursor, char*& out)
{
    delete[] out;
    out = nullptr;
    int32_t n = 0;
    ByteArrayRead_Int(cursor, n);
    if (cursor.failed)
        return 0;
    if (n < 1)
        return 1;
    if (n > kMaxStoredString || n > cursor.Remaining()) {
        _PDebug("ByteArrayRead_String: stored length %d (at most %d, %ld bytes left)\n", int(n), kMaxStoredString,
                cursor.Remaining());
        cursor.failed = true;
        cursor.pos = cursor.end;
        return 0;
    }
    // The text ends at the first zero byte when the stored bytes hold one.
    const auto* zero = static_cast<const uint8_t*>(std::memchr(cursor.pos, 0, size_t(n)));
    const size_t len = zero ? size_t(zero - cursor.pos) : size_t(n);
    out = new char[len + 1];
    if (!out) {
        _PDebug("ByteArrayRead_String: out of memory\n");
        cursor.failed = true;
        cursor.pos = cursor.end;
        return 0;
    }
    std::memcpy(out, cursor.pos, len);
    out[len] = 0;
    cursor.pos += n;
    return 1;
}

int32_t MyUtility::AbsoluteAngle(int32_t a)
{
    int32_t r = a % kFullTurn;
    return r < 0 ? r + kFullTurn : r;
}

int32_t MyUtility::GetDistanceInMinimum(const PVector3& a, const PVector3& b, int32_t limit)
{
    const int32_t lim = int32_t(uint32_t(limit) >> 2);
    // Quarter coordinates cannot overflow when subtracted.
    const int32_t dx = Abs32((a.x >> 2) - (b.x >> 2));
    const int32_t dy = Abs32((a.y >> 2) - (b.y >> 2));
    const int32_t dz = Abs32((a.z >> 2) - (b.z >> 2));
    if (dx > lim || dy > lim || dz > lim)
        return -1;
    const uint64_t sum = uint64_t(int64_t(dx) * dx) + uint64_t(int64_t(dy) * dy) + uint64_t(int64_t(dz) * dz);
    // The sum is a squared 16.16 length; shifted down by 16 it is the
    // 16.16 value whose square root PFSqrt takes. Sums too large for that
    // (quarter distances from 256.0 up) take the 64-bit root of the sum,
    // which is the same distance in 16.16.
    const uint64_t sq = sum >> 16;
    const int64_t d = sq <= 0xffffffffu ? PFSqrt(unsigned(sq)) : int64_t(Sqrt64(sum));
    if (d > lim)
        return -1;
    return int32_t(d * 4);
}

void MyUtility::ItoaW(wchar_t* text, int32_t v)
{
    wchar_t digits[16];
    int n = 0;
    // Works on the magnitude as unsigned so that the most negative value
    // prints too.
    uint32_t u = v < 0 ? 0u - uint32_t(v) : uint32_t(v);
    do {
        digits[n++] = wchar_t(L'0' + u % 10);
        u /= 10;
    } while (u);
    int p = 0;
    if (v < 0)
        text[p++] = L'-';
    while (n > 0 && p < kWideBuffer - 2)
        text[p++] = digits[--n];
    text[p] = 0;
}

void MyUtility::AppendW(wchar_t* text, wchar_t c)
{
    int p = 0;
    while (p < 31 && text[p])
        p++;
    text[p] = c;
    text[p + 1] = 0;
}

void MyUtility::AppendW(wchar_t* text, const wchar_t* other)
{
    int p = 0;
    while (p < 32 && text[p])
        p++;
    if (p == 32)
        p = 31;
    int n = 0;
    while (other && n < 32 && other[n])
        n++;
    if (n == 32)
        n = 31;
    if (n == 0) {
        text[p] = 0;
        return;
    }
    int i = 0;
    while (i < n && p < 32)
        text[p++] = other[i++];
    if (i == n)
        text[p] = 0;
    else
        text[31] = 0;
}

void MyUtility::GetButtonDimension(Fonts* fonts, int textId, int charWidth, int charHeight, int& w, int& h)
{
    const wchar_t* t = fonts ? fonts->GetStr(unsigned(textId)) : nullptr;
    const int n = t ? int(std::wcslen(t)) : 0;
    if (n <= 0) {
        w = h = 0;
        return;
    }
    w = n * charWidth + 4;
    h = charHeight + 3;
}

void MyUtility::DrawButton(P3D* p3d, Fonts* fonts, int textId, int x, int y, uint8_t alignRight, int font,
                           int charWidth, int charHeight)
{
    int bw = 0, bh = 0;
    GetButtonDimension(fonts, textId, charWidth, charHeight, bw, bh);
    if (bw == 0 || !p3d)
        return;
    const int bx = alignRight ? x - bw : x;
    p3d->FillRect(bx, y + 1, unsigned(bw), unsigned(bh), Opaque(kButtonFill), P3DBLEND_OPAQUE);
    p3d->HLine(bx, y + 1, bw, Opaque(kButtonOutline), P3DBLEND_OPAQUE);
    p3d->HLine(bx, y + 1 + bh, bw, Opaque(kButtonOutline), P3DBLEND_OPAQUE);
    p3d->VLine(bx, y + 1, bh, Opaque(kButtonOutline), P3DBLEND_OPAQUE);
    p3d->VLine(bx + bw, y + 1, bh + 1, Opaque(kButtonOutline), P3DBLEND_OPAQUE);
    fonts->Print(bx + 2, y + 2, unsigned(textId), font);
}

void MyUtility::DrawKeyLabel(Fonts* fonts, int x, int y, int w, int h, unsigned textId)
{
    if (!fonts || w <= 0 || h <= 0)
        return;
    // The key's plate leaves a few pixels of its picture at each side.
    const int room = w - w / 6;
    const int font = fonts->StringWidth(0, textId) <= room ? 0 : 5;
    fonts->Print(x + w / 2, y + (h - fonts->Height(font)) / 2, textId, font, Fonts::kCenter);
}

void MyUtility::FillRectBrightness(P3D* p3d, int x, int y, int w, int h, signed char b)
{
    if (!p3d || b == 0 || w <= 0 || h <= 0)
        return;
    if (b > 0) {
        const unsigned g = unsigned(b);
        p3d->FillRect(x, y, unsigned(w), unsigned(h), 0xff000000u | g << 16 | g << 8 | g, P3DBLEND_ADD);
    } else {
        const unsigned alpha = unsigned(-int(b) - 1);
        p3d->FillRect(x, y, unsigned(w), unsigned(h), alpha << 24, P3DBLEND_ALPHA);
    }
}

void MyUtility::DrawWindow(P3D* p3d, int x, int y, int w, int h, int, signed char frameBrightness)
{
    FillRectBrightness(p3d, x + 1, y + 1, w, h, kWindowDarkness);
    FillRectBrightness(p3d, x, y, w, 2, frameBrightness);
    FillRectBrightness(p3d, x, y + h - 2, w, 2, frameBrightness);
    FillRectBrightness(p3d, x, y, 2, h, frameBrightness);
    FillRectBrightness(p3d, x + w - 2, y, 2, h - 2, frameBrightness);
}

void MyUtility::DrawWindow(P3D* p3d, int x, int y, int w, int h, unsigned fillColour, unsigned borderColour)
{
    if (!p3d || w <= 0 || h <= 0)
        return;
    const unsigned border = Opaque(borderColour);
    const unsigned shadow = Opaque(kShadowColour);
    p3d->FillRect(x, y, unsigned(w), unsigned(h), Opaque(fillColour), P3DBLEND_OPAQUE);
    p3d->HLine(x, y, w - 1, border, P3DBLEND_OPAQUE);
    p3d->HLine(x, y + h - 1, w, border, P3DBLEND_OPAQUE);
    p3d->VLine(x, y, h, border, P3DBLEND_OPAQUE);
    p3d->VLine(x + w - 1, y, h - 1, border, P3DBLEND_OPAQUE);
    p3d->HLine(x + 1, y + h, w, shadow, P3DBLEND_OPAQUE);
    p3d->VLine(x + w, y + 1, h, shadow, P3DBLEND_OPAQUE);
}

void MyUtility::DrawBar(P3D* p3d, int x, int y, int w, int h, int filled, int segments, unsigned emptyColour,
                        unsigned borderColour, unsigned fillColour)
{
    if (segments <= 0)
        return;
    const int sw = w / segments;
    for (int i = 0; i < segments; i++)
        DrawWindow(p3d, x + i * (sw + 1), y, sw, h, i < filled ? fillColour : emptyColour, borderColour);
}

int MyUtility::PercentFill(int w, int max, int value)
{
    if (max <= 0 || w <= 0 || value <= 0)
        return 0;
    if (value > max)
        value = max;
    return int(int64_t(w) * value / max);
}

void MyUtility::DrawPercentBar(P3D* p3d, int x, int y, int w, int h, unsigned borderColour, unsigned backColour,
                               unsigned fillColour, int max, int value)
{
    if (!p3d || w <= 0 || h <= 0)
        return;
    p3d->FillRect(x - 1, y - 1, unsigned(w + 2), unsigned(h + 2), Opaque(borderColour), P3DBLEND_OPAQUE);
    p3d->FillRect(x, y, unsigned(w), unsigned(h), Opaque(backColour), P3DBLEND_OPAQUE);
    const int fill = PercentFill(w, max, value);
    if (fill > 0)
        p3d->FillRect(x, y, unsigned(fill), unsigned(h), Opaque(fillColour), P3DBLEND_OPAQUE);
}
