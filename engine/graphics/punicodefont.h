// The font the game uses: a sparse Unicode glyph table and one glyph image
// (the strip) loaded from a .fnt file (layout in docs/formats/fnt.md),
// printed into a PDrawableSurface by one of three glyph renderers. Missing
// characters are printed by a fallback font, else shown as the font's
// replacement glyph (U+FFFD) when it has one, else advance by `width`.
#pragma once
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

    // The glyph of c, or null.
    const PGlyph* FindChar(wchar_t c) const;
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
    // Reads everything after the magic; see Load.
    bool LoadData(PStream& s);
    void FreeGlyphs();
    // Width of one missing character: the fallback's, or `width`.
    int MissingWidth(wchar_t c) const;
    // Prints one missing character at the pen through the fallback font
    // (wide form); false when there is none to ask.
    bool PrintMissing(wchar_t c, int x, int y, int* advance) const;
    // Whether a missing character would go to the fallback font now.
    bool CanAskFallback() const { return fallback && fallback != this && !m_inFallback; }

private:
    template <class Next> int Measure(Next next, int* height, int n) const;
    template <class Next> int PrintText(Next next, int x, int y, int n) const;
    template <class Next> int Reach(Next next, int n) const;
    template <class Next, class Glyph, class Missing>
    int Walk(Next next, int n, int pen, int& count, Glyph glyph, Missing missing) const;
    void DrawGlyph(const PGlyph& g, int x, int y) const;

    // Set while this font is asking its fallback, so that a chain of fallback
    // fonts leading back here ends with the fixed advance.
    mutable int m_inFallback = 0;
};
