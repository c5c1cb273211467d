// Bitmap fonts: the abstract font every text of the engine is measured and
// printed with, and the inline markup that styles runs of a text (colours,
// background boxes, outline, shadow) with one-line and word-wrapped printing.
//
// Strings are 8-bit (UTF-8 when `utf8` is set) or wide (32-bit wchar_t).
// Counts `n` below 0 mean "up to the terminator"; every walk also stops at a
// terminator met before n characters.
#pragma once
#include <cstdint>

class PSurface;
class PDrawableSurface;

// Attribute bits of a markup run.
enum : uint32_t {
    PFONT_ATTR_BOX = 0x01,          // background box behind the run
    PFONT_ATTR_BOXMASK = 0x0F,      // any box
    PFONT_ATTR_ROUND = 0x10,        // box with cut corners
    PFONT_ATTR_ROUND2 = 0x20,       // box with cut corners, second style
    PFONT_ATTR_SHAPEMASK = 0xF0,
    PFONT_ATTR_UNDERLINE = 0x100,   // recorded, not drawn by the printers
    PFONT_ATTR_OUTLINE = 0x200,     // printed first in effectColor around the run
    PFONT_ATTR_SHADOW = 0x400,      // printed first in effectColor, offset
    PFONT_ATTR_SHADOW_RIGHT = 0x10000000u,
    PFONT_ATTR_SHADOW_LEFT = 0x20000000u, // wins over right
    PFONT_ATTR_SHADOW_DOWN = 0x40000000u,
    PFONT_ATTR_SHADOW_UP = 0x80000000u,   // wins over down
    PFONT_ATTR_SHADOW_DIRS = 0xF0000000u,
};

class PFont {
public:
    // One run of a marked-up text: characters with one set of attributes.
    struct AttributeString {
        const char* text;     // first character, inside the original text
        int32_t length;       // characters (UTF-8 characters with utf8)
        uint32_t attributes;  // PFONT_ATTR_* bits
        uint32_t color;       // 0xAARRGGBB text colour
        uint32_t backColor;   // 0xAARRGGBB background box
        uint32_t effectColor; // 0xAARRGGBB outline or shadow
    };

    // 0 left (x is the left edge), 1 right (x is the right edge), any other
    // value centred on x.
    enum TextAlignment : int { kAlignLeft = 0, kAlignRight = 1, kAlignCenter = 2 };

    // The drawing state handed to the glyph renderers.
    struct FontPrintArgs {
        PSurface* strip = nullptr; // the glyph image, owned by the font
        uint32_t color = 0;        // 0xAARRGGBB
        uint16_t blitFlags = 1;    // blit flags of the strip blit (transparency)
    };

    // Glyph renderers (`mode`).
    enum : int { kModeSolid = 0, kModeAntiAliased = 1, kModeBlit = 2 };

    PFont();
    virtual ~PFont();
    PFont(const PFont&) = delete;
    PFont& operator=(const PFont&) = delete;

    // How the pen passes one character: the columns left..right-1 from the
    // pen that its pixels may take (none when right <= left), how far the pen
    // moves past it, and the part of that move that is the gap after it. A
    // text's measured width is the sum of its characters' advances less the
    // gap after the last one; a font printing c moves the pen by `advance`.
    struct PenStep {
        int left;
        int right;
        int advance;
        int gap;
    };
    // The step of one character. This fixed-width font's: the width of c
    // alone (StringWidth), then `spacing`.
    virtual PenStep CharStep(unsigned c) const;

    // Fixed-width measures: width x n plus spacing x (n - 1); *height (when
    // given) is `height`.
    virtual int StringWidth(const char* s, int* height, int n) const;
    virtual int StringWidth(const wchar_t* s, int* height, int n) const;
    // Prints with the glyph tops at y and the pen starting at x; returns how
    // far the pen moved.
    virtual int Print(const char* s, int x, int y, int n) const = 0;
    // Encodes at most 128 bytes of the wide text (UTF-8 with utf8, else the
    // low byte of each character; never a part of a character) and prints
    // them with the 8-bit form.
    virtual int Print(const wchar_t* s, int x, int y, int n) const;
    // Background box of a run in its backColor; w, or 0 without a box.
    virtual int PrintShape(int x, int y, int w, int h, const AttributeString& run);

    // Markup (pfontmarkup.cpp). Cuts the text into at most max runs and
    // returns their number (all bits set when max is 0).
    unsigned SplitAttributeString(const char* text, int length, AttributeString* out, unsigned max) const;
    // Width of the runs on one line.
    int AttributeStringWidth(const AttributeString* runs, unsigned n) const;
    // Prints the runs on one line; returns the width printed.
    int PrintAttributeString(int x, int y, const AttributeString* runs, unsigned n, TextAlignment align);
    // Prints the runs word-wrapped into the width w from (x, y); returns the
    // height used. h is not consulted.
    int PrintAttributeStringBox(int x, int y, unsigned w, unsigned h, const AttributeString* runs, unsigned n);

    uint8_t width = 0;    // advance of a fixed-width font and of a missing glyph
    uint8_t height = 0;   // glyph height in pixels
    int8_t spacing = 0;   // pixels between characters
    int8_t lineGap = 0;   // pixels between lines
    int32_t mode = kModeBlit;
    int32_t utf8 = 0;     // 8-bit strings are UTF-8
    FontPrintArgs args;
    PDrawableSurface* target = nullptr; // set by the owner; not owned

    // Characters of an 8-bit text up to n (n < 0: to the terminator), as
    // `utf8` says; also stops at a terminator.
    int CountChars(const char* s, int n) const;
    // The character at s and the pointer past it (stops at a terminator).
    unsigned NextChar(const char*& s) const;
};
