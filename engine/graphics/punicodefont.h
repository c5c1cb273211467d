// The font the game uses: a sparse Unicode glyph table and one glyph image
// (the strip) loaded from a .fnt file (layout in docs/formats/fnt.md),
// printed into a PDrawableSurface by one of three glyph renderers. Missing
// characters are printed by a fallback font, else shown as the font's
// replacement glyph (U+FFFD) when it has one, else advance by `width`.
//
// Printing (here and in the GL font), the measured width and the drawn width
// all move the pen by one walk (Walk), so that they cannot disagree; a
// character from the fallback font moves it by that font's own step.
#pragma once
#include <bit>
#include <cstdint>

#include "engine/graphics/pfont.h"

class PStream;

// One glyph: the rectangle (x, 0, width, font height) of the strip.
struct PGlyph {
    uint16_t x;      // left column in the strip
    uint8_t bearing; // bits 0-3: pixels before the glyph; bits 4-7: signed pixels after it
    uint8_t width;   // pixels

    int Before() const { return bearing & 0x0F; }
    int After() const { return int8_t(bearing) >> 4; }
    int Advance() const { return Before() + width + After(); }
};
static_assert(sizeof(PGlyph) == 4, "glyph records are 4 bytes in files and in memory");

class PUnicodeFont : public PFont {
public:
    PUnicodeFont();
    ~PUnicodeFont() override;

    PenStep CharStep(unsigned c) const override;
    int StringWidth(const char* s, int* height, int n) const override;
    int StringWidth(const wchar_t* s, int* height, int n) const override;
    int Print(const char* s, int x, int y, int n) const override;
    int Print(const wchar_t* s, int x, int y, int n) const override;
    // Reads a .fnt image from the stream (magic included); replaces the
    // glyph table and the strip. False on any fault in the data.
    virtual bool Load(PStream& s);
    // Clears the code range, frees the glyph table and deletes the strip.
    virtual void Unload();

    // Opens the file (plain or "PLZP"-compressed) and loads it.
    bool Load(const char* path);
    static PUnicodeFont* Create(PStream& s);
    static PUnicodeFont* Create(const char* path);

    // The columns right of the pen that printing s (n as for StringWidth)
    // reaches: its measured width, or more where the last glyphs' pixels
    // stand out past their advances (an outline, a glyph moved right).
    int DrawnWidth(const char* s, int n) const;
    int DrawnWidth(const wchar_t* s, int n) const;
    // DrawnWidth of every prefix of s in one walk: widths[k] is
    // DrawnWidth(s, k + 1). It stops after n characters, at the end of s, or
    // after the first prefix whose pixels reach past limit (no longer prefix
    // reaches less far); returns how many widths it wrote.
    int DrawnWidths(const wchar_t* s, int n, int limit, int* widths) const;

    // The glyph of c, or null.
    const PGlyph* FindChar(wchar_t c) const
    {
        const uint32_t code = uint32_t(c);
        if (!glyphs || code < firstCode || code > lastCode)
            return nullptr;
        const uint32_t b = code - firstCode;
        const uint32_t word = bitmap[b >> 5];
        const uint32_t bit = 1u << (b & 31);
        if (!(word & bit))
            return nullptr;
        const uint32_t index = ranks[b >> 5] + uint32_t(std::popcount(word & (bit - 1)));
        return index < glyphCount ? glyphs + index : nullptr;
    }
    // The glyph measured and drawn for c: its own; for a character the font
    // lacks, null while the fallback font is to be asked, else the font's
    // replacement glyph, so that a stand-in shows where the text has
    // something. Control characters (C0, DEL, C1) and U+00A7, which texts
    // use as a line break, are never shown so.
    const PGlyph* ShownGlyph(wchar_t c) const;
    static constexpr wchar_t kReplacementChar = 0xFFFD;
    // Index of a glyph record returned by FindChar.
    unsigned GlyphIndex(const PGlyph* g) const { return unsigned(g - glyphs); }

    uint32_t firstCode = 0;
    uint32_t lastCode = 0;
    uint32_t glyphCount = 0;
    PGlyph* glyphs = nullptr;   // one block: the records, the bitmap, the ranks
    uint32_t* ranks = nullptr;  // set bits of the bitmap words before each word
    uint32_t* bitmap = nullptr; // one bit per code from firstCode to lastCode
    PFont* fallback = nullptr;  // asked for missing characters; not owned

protected:
    // Where a walk of the pen ended: the pen, the gap after the last
    // character, and the characters walked.
    struct WalkEnd {
        int pen;
        int gap;
        int count;
    };
    // The pen walk of every print and measure: for each of at most n
    // characters (n < 0: all) from next, visit(c, glyph, pen, step) with the
    // glyph to draw at pen + step.left (null when there is none: the
    // character goes to the fallback font when CanAskFallback(), else shows
    // nothing), then the pen moves by step.advance.
    template <class Next, class Visit> WalkEnd Walk(Next next, int n, int pen, Visit visit) const;
    // The step of a glyph of this font: placed after its bearing, followed by
    // the font's spacing.
    PenStep GlyphStep(const PGlyph& g) const
    {
        const int left = g.Before();
        return {left, left + g.width, left + g.width + g.After() + spacing, spacing};
    }
    // The step of a character without its own glyph; returns the glyph shown
    // for it (the replacement glyph) or null.
    const PGlyph* MissingStep(unsigned c, PenStep& step) const;
    // Reads everything after the magic; see Load.
    bool LoadData(PStream& s);
    void FreeGlyphs();
    // Prints one missing character at the pen through the fallback font
    // (wide form); false when there is none to ask.
    bool PrintMissing(wchar_t c, int x, int y) const;
    // Whether a missing character would go to the fallback font now.
    bool CanAskFallback() const { return fallback && fallback != this && !m_inFallback; }

private:
    template <class Next> int PrintText(Next next, int x, int y, int n) const;
    template <class Next> int Reach(Next next, int n) const;
    // The replacement glyph shown for c, a character without a glyph; null
    // for one the fallback font is to be asked about or never shown so.
    const PGlyph* StandIn(wchar_t c) const;
    void DrawGlyph(const PGlyph& g, int x, int y) const;

    // Set while this font is asking its fallback, so that a chain of fallback
    // fonts leading back here ends with the fixed advance.
    mutable int m_inFallback = 0;
};

template <class Next, class Visit>
PUnicodeFont::WalkEnd PUnicodeFont::Walk(Next next, int n, int pen, Visit visit) const
{
    WalkEnd end{pen, 0, 0};
    unsigned c;
    while ((n < 0 || end.count < n) && next(c)) {
        end.count++;
        PenStep step;
        const PGlyph* g = FindChar(wchar_t(c));
        if (g)
            step = GlyphStep(*g);
        else
            g = MissingStep(c, step);
        visit(c, g, end.pen, step);
        end.pen += step.advance;
        end.gap = step.gap;
    }
    return end;
}
