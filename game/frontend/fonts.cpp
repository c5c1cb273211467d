#include "game/frontend/fonts.h"

#include <cstring>

#include "engine/graphics/p3d.h"
#include "engine/graphics/punicodefont3d.h"
#include "engine/platform/pdisplay.h"
#include "engine/runtime/palloc.h"
#include "engine/runtime/pdebug.h"
#include "engine/runtime/pfile.h"
#include "engine/runtime/psprintf.h"
#include "engine/runtime/ptext.h"
#include "game/frontend/texts.h"

namespace {

const char* const kFontFiles[Fonts::kFontCount] = {
    "data\\fonts\\font12x16.fnt", "data\\fonts\\font16x20.fnt",  "data\\fonts\\font20x28.fnt",
    "data\\fonts\\prop.fnt",      "data\\fonts\\font12x16_.fnt", "data\\fonts\\font6x8.fnt",
};

// Font 0 is printed tighter than its file says.
constexpr int8_t kFont0Spacing = 2;
constexpr int8_t kFont0LineGap = -3;

int WideLen(const wchar_t* s)
{
    int n = 0;
    while (s && s[n])
        n++;
    return n;
}

} // namespace

// ---------------------------------------------------------------------------
// Set-up

int Fonts::Init(P3D* ctx, PDisplayProperties* props)
{
    Release();
    if (props) {
        m_screenWidth = props->width;
        m_screenHeight = props->height;
    }
    for (int i = 0; i < kFontCount; i++) {
        auto* f = new PUnicodeFont3D();
        if (!f)
            return 0;
        m_fonts[i] = f;
        // The game's 8-bit texts (PString, names, texts from files and
        // peers) are UTF-8, as the wide texts become when made into PStrings.
        f->utf8 = 1;
        f->SetDrawingTarget(ctx, unsigned(m_screenWidth), unsigned(m_screenHeight), 0);
        if (!f->Load(kFontFiles[i])) {
            _PDebug("Fonts: cannot load %s\n", kFontFiles[i]);
            return 0;
        }
    }

    // The text files are numbered from 0 without a gap.
    for (int n = 0; n < kMaxTextFiles; n++) {
        char path[kPathSize];
        PSnprintf(path, kPathSize, "data\\lang%d.bin", n);
        PFile probe(path, PFile::kRead);
        if (!probe.IsOpen())
            break;
        std::memcpy(m_paths[n], path, sizeof path);
        m_fileCount = uint8_t(n + 1);
    }
    for (int n = 0; n < m_fileCount; n++) {
        m_texts[n] = new Texts();
        // A file that does not read has no languages and fails LoadLanguage.
        if (m_texts[n])
            m_texts[n]->Init(m_paths[n]);
    }

    m_fonts[0]->spacing = kFont0Spacing;
    m_fonts[0]->lineGap = kFont0LineGap;
    m_source = 0;
    return 1;
}

void Fonts::ReInit(P3D* ctx, PDisplayProperties* props)
{
    if (props) {
        m_screenWidth = props->width;
        m_screenHeight = props->height;
    }
    for (PUnicodeFont3D* f : m_fonts)
        if (f)
            f->SetDrawingTarget(ctx, unsigned(m_screenWidth), unsigned(m_screenHeight), 0);
}

void Fonts::Release()
{
    for (PUnicodeFont3D*& f : m_fonts) {
        delete f;
        f = nullptr;
    }
    for (int n = 0; n < kMaxTextFiles; n++) {
        delete m_texts[n];
        m_texts[n] = nullptr;
        m_paths[n][0] = 0;
    }
    m_fileCount = 0;
    m_source = 0;
}

int Fonts::LoadLanguage(int i)
{
    // A language index the interface texts do not have (a settings file of
    // another build) falls back to the first language.
    const uint32_t languages = m_fileCount && m_texts[0] ? m_texts[0]->GetLanguageCount() : 0;
    if (languages && (i < 0 || uint32_t(i) >= languages)) {
        _PDebug("Fonts: no language %d; loading language 0\n", i);
        i = 0;
    }
    for (int n = 0; n < m_fileCount; n++)
        if (!m_texts[n] || !m_texts[n]->LoadLanguage(i, m_paths[n])) {
            _PDebug("Fonts: %s has no language %d\n", m_paths[n], i);
            return 0;
        }
    return 1;
}

// ---------------------------------------------------------------------------
// Texts and fonts

const Texts* Fonts::Current() const { return m_source < m_fileCount ? m_texts[m_source] : nullptr; }

int Fonts::GetLanguageCount() const
{
    const Texts* t = Current();
    return t ? int(t->GetLanguageCount()) : 0;
}

const wchar_t* Fonts::GetLanguageName(int i) const
{
    const Texts* t = Current();
    return t ? t->GetLanguageName(i) : L"";
}

const wchar_t* Fonts::GetStr(unsigned id) const
{
    const Texts* t = Current();
    if (!t || id >= t->GetStringCount())
        return L"";
    return (*t)[int(id)];
}

const char* Fonts::GetFontFiles(int i) { return i >= 0 && i < kFontCount ? kFontFiles[i] : nullptr; }

PUnicodeFont3D* Fonts::GetFont(int i) const { return i >= 0 && i < kFontCount ? m_fonts[i] : nullptr; }

int Fonts::Height(int font) const
{
    const PUnicodeFont3D* f = GetFont(font);
    return f ? f->height : 0;
}

int Fonts::LineHeight(int font) const
{
    const PUnicodeFont3D* f = GetFont(font);
    return f ? f->height + f->lineGap : 0;
}

// ---------------------------------------------------------------------------
// Printing

int Fonts::AlignedX(int x, int w, int align)
{
    if (align == kRight)
        return x - w;
    if (align == kCenter)
        return x - w / 2;
    return x;
}

void Fonts::Print(int x, int y, const wchar_t* text, int font, int align)
{
    PUnicodeFont3D* f = GetFont(font);
    if (!f || !text)
        return;
    f->Print(text, AlignedX(x, f->StringWidth(text, nullptr, -1), align), y, -1);
}

void Fonts::Print(int x, int y, const char* text, int font, int align)
{
    PUnicodeFont3D* f = GetFont(font);
    if (!f || !text)
        return;
    f->Print(text, AlignedX(x, f->StringWidth(text, nullptr, -1), align), y, -1);
}

void Fonts::PrintCentered(int font, int y, const wchar_t* text, int dx)
{
    PUnicodeFont3D* f = GetFont(font);
    if (!f || !text)
        return;
    f->Print(text, dx + ((m_screenWidth - f->StringWidth(text, nullptr, -1)) >> 1), y, -1);
}

void Fonts::PrintCentered(int font, int y, const char* text, int dx)
{
    if (!text)
        return;
    // UTF-8 never takes fewer bytes than characters.
    const size_t n = std::strlen(text);
    auto* wide = static_cast<wchar_t*>(PAlloc((n + 1) * sizeof(wchar_t)));
    if (!wide)
        return;
    Utf8ToWide(wide, int(n + 1), text);
    PrintCentered(font, y, wide, dx);
    PFree(wide);
}

void Fonts::Print(int x, int y, unsigned id, int font, int align) { Print(x, y, GetStr(id), font, align); }

void Fonts::PrintCentered(int font, int y, unsigned id, int dx) { PrintCentered(font, y, GetStr(id), dx); }

int Fonts::StringWidth(int font, unsigned id) const { return StringWidth(font, GetStr(id)); }

int Fonts::StringWidth(int font, const wchar_t* text) const
{
    const PUnicodeFont3D* f = GetFont(font);
    return f && text ? f->StringWidth(text, nullptr, -1) : 0;
}

int Fonts::StringWidth(int font, const char* text) const
{
    const PUnicodeFont3D* f = GetFont(font);
    return f && text ? f->StringWidth(text, nullptr, -1) : 0;
}

int Fonts::DrawnWidth(int font, const wchar_t* text) const
{
    const PUnicodeFont3D* f = GetFont(font);
    return f && text ? f->DrawnWidth(text, -1) : 0;
}

// ---------------------------------------------------------------------------
// Word wrapping

const wchar_t* Fonts::PrintLine(int font, int x, int y, int width, const wchar_t* text, int align, bool draw)
{
    PUnicodeFont3D* f = GetFont(font);
    if (!f || !text || !*text)
        return nullptr;
    // A line fits when its pixels do: a glyph may stand out past its advance
    // (an outline), and the ink, not the pen, must stay inside the width.
    // The widths of the first kWrapSpan prefixes come from one walk; when it
    // stopped short of the text's end, every longer prefix is too wide.
    int widths[kWrapSpan];
    const int known = f->DrawnWidths(text, kWrapSpan, width, widths);
    const bool pastAfterKnown = known < kWrapSpan && text[known] != 0;
    auto drawn = [&](int n) { return n <= known ? widths[n - 1] : f->DrawnWidth(text, n); };
    auto fits = [&](int n) {
        if (n == 0)
            return true;
        if (n > known && pastAfterKnown)
            return false;
        return drawn(n) <= width;
    };

    // The line is text[0..len); the rest begins at text[rest]. A space is a
    // break candidate while the text before it fits; a line feed, U+00A7 or
    // the end of the text ends the line where the text before it fits, else
    // at the last candidate. Before the first candidate, a word too wide
    // for the line is cut where it stops fitting (at least one character).
    int len = 0, rest = 0;
    int candidate = -1;
    for (int i = 0;; i++) {
        const wchar_t c = text[i];
        const bool end = c == 0;
        const bool hard = c == kLineFeed || c == kSectionSign;
        const bool space = c == L' ' && i > 0;
        if (end || hard || space) {
            if (fits(i)) {
                if (space) {
                    candidate = i;
                    continue;
                }
                len = i;
                rest = end ? i : i + 1;
                break;
            }
            if (candidate >= 0) {
                len = candidate;
                rest = candidate + 1;
                break;
            }
        }
        if (candidate < 0 && !end && !fits(i + 1)) {
            len = i > 0 ? i : 1;
            rest = len;
            break;
        }
    }

    if (draw && len > 0) {
        const int w = drawn(len);
        int px = x;
        if (align == kCenter)
            px = x + ((width - w) >> 1);
        else if (align == kRight)
            px = x + width - w;
        f->Print(text, px, y, len);
    }
    return text[rest] ? text + rest : nullptr;
}

int Fonts::Lines(int font, int x, int y, int lineStep, int width, const wchar_t* text, int align, bool draw)
{
    if (!text || !*text || !GetFont(font))
        return 0;
    int lines = 0;
    for (const wchar_t* p = text; p; y += lineStep) {
        p = PrintLine(font, x, y, width, p, align, draw);
        lines++;
    }
    return lines;
}

int Fonts::TestSection(int font, int x, int y, int lineStep, int width, const wchar_t* text, int align)
{
    return Lines(font, x, y, lineStep, width, text, align, false);
}

int Fonts::PrintSection(int font, int x, int y, int lineStep, int width, const wchar_t* text, int align)
{
    return Lines(font, x, y, lineStep, width, text, align, true);
}

// ---------------------------------------------------------------------------
// String helpers

int Fonts::AppendCharToChar(char* dst, const char* src)
{
    size_t n = std::strlen(dst);
    if (src) {
        const size_t add = std::strlen(src);
        std::memcpy(dst + n, src, add + 1);
        n += add;
    }
    return int(n);
}

int Fonts::StrDupNoAlloc(const char* src, char* dst, int size)
{
    if (!src || !*src || size < 1)
        return 0;
    size_t n = std::strlen(src);
    if (n > size_t(size - 1))
        n = size_t(size - 1);
    std::memcpy(dst, src, n);
    dst[n] = 0;
    return int(n);
}

char* Fonts::StrDup(const char* src)
{
    if (!src || !*src)
        return nullptr;
    const size_t n = std::strlen(src) + 1;
    auto* copy = static_cast<char*>(PAlloc(n));
    if (copy)
        std::memcpy(copy, src, n);
    return copy;
}

int Fonts::Utf8ToWide(wchar_t* dst, int size, const char* src)
{
    if (!dst || size < 1)
        return 0;
    int n = src ? size - 1 : 0;
    if (n > 0)
        PUTF8Decode(dst, &n, src, -1);
    dst[n] = 0;
    return n;
}

int Fonts::WideToUtf8(char* dst, int size, const wchar_t* src)
{
    if (!dst || size < 1)
        return 0;
    int bytes = src ? PUTF8Encode(dst, size - 1, src, -1) : 0;
    dst[bytes] = 0;
    return bytes;
}

int Fonts::AppendToWide(wchar_t* dst, const char* src)
{
    int n = WideLen(dst);
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(src); p && *p; p++)
        dst[n++] = wchar_t(*p);
    dst[n] = 0;
    return n;
}

int Fonts::WideToChar(char* dst, const wchar_t* src) { return AppendWideToChar(dst, src); }

int Fonts::AppendWideToChar(char* dst, const wchar_t* src)
{
    size_t n = std::strlen(dst);
    for (const wchar_t* p = src; p && *p; p++)
        dst[n++] = char(uint8_t(*p));
    dst[n] = 0;
    return int(n);
}

int Fonts::AppendToWide(wchar_t* dst, const wchar_t* src)
{
    int n = WideLen(dst);
    for (const wchar_t* p = src; p && *p; p++)
        dst[n++] = *p;
    dst[n] = 0;
    return n;
}

int Fonts::AppendToWideNum(wchar_t* dst, int value)
{
    char digits[16];
    PSnprintf(digits, int(sizeof digits), "%d", value);
    return AppendToWide(dst, digits);
}
