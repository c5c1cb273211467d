// Small static helpers shared by the game and the front end: digits of a
// number, a heading from angles, splitting wide texts into lines, the
// little-endian integer and string primitives of the game's binary files,
// angle and distance helpers, and simple 2D widgets (windows, bars, buttons)
// drawn with fills and lines.
#pragma once
#include <cstdint>

#include "engine/runtime/pmath3d.h"

class P3D;
class PStream;
class Fonts;

// A read position inside a block of bytes held in memory. Reads never go
// past `end`: a read that does not fit (or a stored length that is out of
// range) sets `failed`, moves the position to the end and yields 0 or no
// string, so a caller checks `failed` once after a run of reads.
struct ByteCursor {
    const uint8_t* pos;
    const uint8_t* end;
    bool failed;

    ByteCursor(const void* data, long size)
        : pos(static_cast<const uint8_t*>(data)), end(static_cast<const uint8_t*>(data) + (size > 0 ? size : 0)),
          failed(false)
    {
    }
    long Remaining() const { return long(end - pos); }
};

class MyUtility {
public:
    MyUtility() = default;
    virtual ~MyUtility() = default;

    // The longest string the binary files store (bytes, without terminator).
    static constexpr int kMaxStoredString = 255;

    // '0'..'9': the decimal digit at `index` of value, counted from the most
    // significant digit; -1 when value <= 0 or index is outside the digits.
    static signed char GetCharFromIntAtIndex(int32_t value, signed char index);

    // out := the heading of length 3.5 that the angles (x pitch, y yaw,
    // z roll, 16.16 degrees) point along: -3.5 times the z axis of
    // RotateY(y) RotateZ(z) RotateX(x).
    static void MoveByAngle(const PVector3& angles, PVector3& out);

    // Splits text at every separator into owned lines (new[]; the array and
    // each line belong to the caller, see FreeLines). A null or empty text
    // gives no lines; an empty piece becomes the line " ". A positive
    // maxLength cuts every line to that many characters. On memory
    // exhaustion nothing is kept and count is 0.
    static void StrToMultiline(const wchar_t* text, wchar_t**& lines, int& count, wchar_t separator,
                               int maxLength = 0);
    // Frees what StrToMultiline made; lines becomes null and count 0.
    static void FreeLines(wchar_t**& lines, int& count);

    // Little-endian integers and length-prefixed strings.
    static void IntegerToBytes(int32_t v, uint8_t* bytes);
    static int32_t BytesToInteger(const uint8_t* bytes);
    static int FileWrite_Byte(PStream* file, uint8_t c);
    static int FileWrite_Int(PStream* file, int32_t v);
    // A null string is stored as length 0; strings longer than
    // kMaxStoredString bytes are stored cut to that length.
    static int FileWrite_String(PStream* file, const char* s);
    // The next 4 bytes as an integer, also stored in out (0 on a short read).
    static int32_t ByteArrayRead_Int(ByteCursor& cursor, int32_t& out);
    // Frees the string in out (delete[]) and reads a length-prefixed string
    // into a new one; a length below 1 gives no string. A length above
    // kMaxStoredString or beyond the data fails the cursor. Returns 1 when
    // the cursor is still good.
    static int ByteArrayRead_String(ByteCursor& cursor, char*& out);

    // A 16.16 angle in degrees brought into [0, 360).
    static int32_t AbsoluteAngle(int32_t a);
    // The distance between two 16.16 points when it is within limit, else
    // -1. Worked out on coordinates divided by 4 so that squares stay in
    // range; the result is a multiple of 4.
    static int32_t GetDistanceInMinimum(const PVector3& a, const PVector3& b, int32_t limit);

    // Wide texts in 33-character buffers (32 characters and a terminator).
    static constexpr int kWideBuffer = 33;
    static void ItoaW(wchar_t* text, int32_t v);
    static void AppendW(wchar_t* text, wchar_t c);
    static void AppendW(wchar_t* text, const wchar_t* other);

    // Widgets. Colours are 0xRRGGBB unless said.
    // For a text id of n > 0 characters: w = n * charWidth + 4 and
    // h = charHeight + 3; both 0 for an empty text.
    static void GetButtonDimension(Fonts* fonts, int textId, int charWidth, int charHeight, int& w, int& h);
    // A filled, outlined button with the text of textId; its right edge at x
    // when alignRight is set, else its left edge.
    static void DrawButton(P3D* p3d, Fonts* fonts, int textId, int x, int y, uint8_t alignRight, int font,
                           int charWidth, int charHeight);
    // The word of a soft key (its picture has none) centred on the key drawn
    // at (x, y, w, h): font 0, or font 5 when font 0 does not fit.
    static constexpr unsigned kTextBack = 7;
    static void DrawKeyLabel(Fonts* fonts, int x, int y, int w, int h, unsigned textId);
    // b > 0 adds grey (b, b, b); b < 0 darkens with black at alpha -b - 1.
    static void FillRectBrightness(P3D* p3d, int x, int y, int w, int h, signed char b);
    // A darkened window with a 2-pixel frame of the given brightness.
    static void DrawWindow(P3D* p3d, int x, int y, int w, int h, int ignored, signed char frameBrightness);
    // A filled window with a border and a dark shadow to the right and below.
    static void DrawWindow(P3D* p3d, int x, int y, int w, int h, unsigned fillColour, unsigned borderColour);
    // Two plain ints would silently pick the brightness window: callers say
    // which one they mean (unsigned colours, or a signed char brightness).
    static void DrawWindow(P3D* p3d, int x, int y, int w, int h, int, int) = delete;
    // `segments` windows side by side; the first `filled` in fillColour.
    static void DrawBar(P3D* p3d, int x, int y, int w, int h, int filled, int segments, unsigned emptyColour,
                        unsigned borderColour, unsigned fillColour);
    // A border, a background and a fill of w * value / max (value held to
    // 0..max; no fill when max is not positive).
    static void DrawPercentBar(P3D* p3d, int x, int y, int w, int h, unsigned borderColour, unsigned backColour,
                               unsigned fillColour, int max, int value);
    // The fill width of a percent bar.
    static int PercentFill(int w, int max, int value);
};
