// The game's text service: the six bitmap fonts every screen draws with and
// the language text files data\langN.bin, printing strings or text ids with
// alignment and word wrapping.
//
// Text ids refer to the current text file (SetFileSource): 0 holds the
// interface texts, the others the mission texts of the levels. The fonts
// print wide text as it is: no markup, one glyph per character. 8-bit text
// (PStrings, names, texts read from files or peers) is UTF-8 on every path
// to the screen: the fonts decode it, and Utf8ToWide and WideToUtf8 convert
// it for the code that keeps wide or 8-bit copies.
#pragma once
#include <cstdint>

class P3D;
class PUnicodeFont3D;
class Texts;
struct PDisplayProperties;

class Fonts {
public:
    static constexpr int kFontCount = 6;
    // Text files are looked for as data\lang0.bin, data\lang1.bin, ...; a
    // missing number ends the list.
    static constexpr int kMaxTextFiles = 10;
    // Characters that end a line in wrapped text (and are consumed).
    static constexpr wchar_t kLineFeed = 10;
    static constexpr wchar_t kSectionSign = 0xA7;

    enum Align : int { kLeft = 0, kRight = 1, kCenter = 2 };

    Fonts() = default;
    ~Fonts() { Release(); }
    Fonts(const Fonts&) = delete;
    Fonts& operator=(const Fonts&) = delete;

    // Loads the six fonts onto the context and finds the text files; 1, or
    // 0 when a font does not load (what was made so far stays owned).
    int Init(P3D* ctx, PDisplayProperties* props);
    // Points every font at the context with the new screen size.
    void ReInit(P3D* ctx, PDisplayProperties* props);
    // Deletes the fonts and the text files; safe on a partly made object.
    void Release();
    // Loads language i from every text file in order; 0 at the first file
    // that cannot load it (later files are left as they were), else 1. An
    // index beyond the languages of the interface texts loads language 0.
    int LoadLanguage(int i);

    // Selects the text file that text ids refer to; an index beyond the
    // files found selects none, and every id then reads empty.
    void SetFileSource(uint8_t index) { m_source = index; }
    uint8_t GetFileCount() const { return m_fileCount; }
    int GetLanguageCount() const;
    const wchar_t* GetLanguageName(int i) const;
    // The text with that id in the current file; empty for an id the file
    // does not hold.
    const wchar_t* GetStr(unsigned id) const;

    static const char* GetFontFiles(int i);
    // The font of index i, or null.
    PUnicodeFont3D* GetFont(int i) const;
    // Glyph height, and glyph height plus the signed line gap (0 for a
    // font that is not loaded).
    int Height(int font) const;
    int LineHeight(int font) const;

    // Drawing by string: x is the left edge (kLeft), the right edge
    // (kRight) or the centre (kCenter).
    void Print(int x, int y, const wchar_t* text, int font, int align = kLeft);
    void Print(int x, int y, const char* text, int font, int align = kLeft);
    // Centred on the screen, moved right by dx.
    void PrintCentered(int font, int y, const wchar_t* text, int dx);
    void PrintCentered(int font, int y, const char* text, int dx);
    // Drawing by text id of the current file.
    void Print(int x, int y, unsigned id, int font, int align = kLeft);
    void PrintCentered(int font, int y, unsigned id, int dx);

    int StringWidth(int font, unsigned id) const;
    int StringWidth(int font, const wchar_t* text) const;
    int StringWidth(int font, const char* text) const;
    // The columns the text's pixels reach from its left edge when drawn, at
    // least its width: what a box around drawn text must hold.
    int DrawnWidth(int font, const wchar_t* text) const;

    // Lays out the longest first line of text whose drawn pixels fit in
    // width pixels (breaking at a space, at LF or U+00A7, or inside a word
    // too long for the width) and draws it when draw is set, its drawn
    // width aligned in the line; returns the rest, or null when nothing
    // remains.
    const wchar_t* PrintLine(int font, int x, int y, int width, const wchar_t* text, int align, bool draw);
    // How many characters' widths a line's fitting takes from one walk of
    // the pen; a line that runs longer is measured past them one by one.
    static constexpr int kWrapSpan = 256;
    // The number of lines text takes in width; PrintSection draws them,
    // each lineStep pixels below the one before.
    int TestSection(int font, int x, int y, int lineStep, int width, const wchar_t* text, int align);
    int PrintSection(int font, int x, int y, int lineStep, int width, const wchar_t* text, int align);

    // UTF-8 to wide: at most size - 1 characters (never part of one),
    // terminated; the characters written.
    static int Utf8ToWide(wchar_t* dst, int size, const char* src);
    // Wide to UTF-8: at most size - 1 bytes (never part of a character),
    // terminated; the bytes written.
    static int WideToUtf8(char* dst, int size, const wchar_t* src);

    // String helpers. The destinations must have room.
    // Appends src to dst; the new length.
    static int AppendCharToChar(char* dst, const char* src);
    // Copies at most size - 1 bytes of src into dst and terminates it; a null
    // or empty src or size below 1 leaves dst as it is. The copy's length.
    static int StrDupNoAlloc(const char* src, char* dst, int size);
    // A copy made with PAlloc (freed with PFree); null for a null or empty
    // text or when memory is short.
    static char* StrDup(const char* src);
    // Append bytes to a wide text, each byte one character 0-255 (for ASCII
    // pieces; texts go through Utf8ToWide); the new length.
    static int AppendToWide(wchar_t* dst, const char* src);
    // Append a wide text to an 8-bit one, each character cut to its low 8
    // bits; the new length.
    static int WideToChar(char* dst, const wchar_t* src);
    static int AppendWideToChar(char* dst, const wchar_t* src);
    static int AppendToWide(wchar_t* dst, const wchar_t* src);
    // Appends the decimal form of n; the new length.
    static int AppendToWideNum(wchar_t* dst, int n);

private:
    const Texts* Current() const;
    // Screen x of a text of width w drawn at x with the alignment.
    static int AlignedX(int x, int w, int align);
    int ScreenWidth() const { return m_screenWidth; }
    static constexpr int kPathSize = 24;

    int Lines(int font, int x, int y, int lineStep, int width, const wchar_t* text, int align, bool draw);

    PUnicodeFont3D* m_fonts[kFontCount] = {};
    int m_screenWidth = 0;
    int m_screenHeight = 0;
    uint8_t m_fileCount = 0;
    uint8_t m_source = 0;
    Texts* m_texts[kMaxTextFiles] = {};
    char m_paths[kMaxTextFiles][kPathSize] = {};
};
