// Text markup: cutting a marked-up text into runs, measuring and printing
// them on one line, and word-wrapped box printing.
//
// Markup: '\{' opens a list of codes separated by '|' and closed by '}',
// which must be followed by '{'; the styled characters follow and '\}' ends
// them. Codes: b, br, bh (boxes), c[#]hex (text colour), cbhex (box colour),
// cahex (outline/shadow colour), d (defaults), o (outline), s[t|b][l|r]
// (shadow), u (underline). Fewer than 7 hex digits make an opaque colour.
#include <algorithm>

#include "engine/graphics/pfont.h"
#include "engine/runtime/palloc.h"

namespace {

constexpr uint32_t kDefaultBack = 0xFFFFFFFFu;
constexpr uint32_t kDefaultEffect = 0xFF000000u;
// Entries of the table of saved run numbers, one per nesting level.
constexpr int kLevels = 4;

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// A colour written from p (before end): an optional '#', then hex digits.
uint32_t ParseColour(const char* p, const char* end)
{
    if (p < end && *p == '#')
        p++;
    uint32_t v = 0;
    int digits = 0;
    for (; p < end && HexDigit(*p) >= 0; p++, digits++)
        v = (v << 4) | uint32_t(HexDigit(*p));
    return digits < 7 ? (v | 0xFF000000u) : v;
}

// Applies one code (the characters from p to end, end being the '|' or '}'
// that closes it) to a run.
void ApplyCode(const char* p, const char* end, PFont::AttributeString& run, uint32_t fontColour)
{
    if (p >= end)
        return;
    const char c = *p++;
    const char c2 = p < end ? *p : 0;
    switch (c) {
    case 'b':
        run.attributes |= PFONT_ATTR_BOX | (c2 == 'r' ? uint32_t(PFONT_ATTR_ROUND) : c2 == 'h' ? uint32_t(PFONT_ATTR_ROUND2) : 0u);
        break;
    case 'c':
        if (c2 == 'b')
            run.backColor = ParseColour(p + 1, end);
        else if (c2 == 'a')
            run.effectColor = ParseColour(p + 1, end);
        else
            run.color = ParseColour(p, end);
        break;
    case 'd':
        run.attributes = 0;
        run.color = fontColour;
        run.backColor = kDefaultBack;
        run.effectColor = kDefaultEffect;
        break;
    case 'o':
        run.attributes |= PFONT_ATTR_OUTLINE;
        break;
    case 's': {
        uint32_t dirs = 0;
        for (int k = 0; k < 2 && p < end; k++, p++) {
            if (*p == 't' && !(dirs & 0xC0000000u))
                dirs |= PFONT_ATTR_SHADOW_UP;
            else if (*p == 'b' && !(dirs & 0xC0000000u))
                dirs |= PFONT_ATTR_SHADOW_DOWN;
            else if (*p == 'l' && !(dirs & 0x30000000u))
                dirs |= PFONT_ATTR_SHADOW_LEFT;
            else if (*p == 'r' && !(dirs & 0x30000000u))
                dirs |= PFONT_ATTR_SHADOW_RIGHT;
            else
                break;
        }
        if (!dirs)
            dirs = PFONT_ATTR_SHADOW_DOWN | PFONT_ATTR_SHADOW_RIGHT;
        run.attributes = (run.attributes & ~PFONT_ATTR_SHADOW_DIRS) | PFONT_ATTR_SHADOW | dirs;
        break;
    }
    case 'u':
        run.attributes |= PFONT_ATTR_UNDERLINE;
        break;
    default:
        break; // unknown codes are ignored
    }
}

} // namespace

unsigned PFont::SplitAttributeString(const char* text, int length, AttributeString* out, unsigned max) const
{
    if (max == 0)
        return ~0u;
    if (!text || !out)
        return 0;
    // The end of the given characters (never past the terminator).
    const char* end = text;
    for (int k = 0; (length < 0 || k < length) && *end; k++)
        NextChar(end);
    auto step = [&](const char* p) {
        NextChar(p);
        return std::min(p, end);
    };

    unsigned count = 1;
    unsigned cur = 0;
    out[0] = {text, 0, 0, args.color, kDefaultBack, kDefaultEffect};
    unsigned saved[kLevels] = {0, 0, 0, 0};
    int level = 1;
    const char* runStart = text;
    const char* p = text;

    auto finish = [&](const char* at) {
        int n = 0;
        for (const char* q = runStart; q < at; q = step(q))
            n++;
        out[cur].length = n;
    };

    while (p < end) {
        if (*p != '\\' || p + 1 >= end || (p[1] != '{' && p[1] != '}')) {
            p = step(p);
            continue;
        }
        finish(p);
        if (p[1] == '{') {
            unsigned run = cur;
            if (out[cur].length != 0) {
                if (count >= max)
                    return count;
                run = count++;
                out[run] = out[cur];
                out[run].length = 0;
            }
            if (level < kLevels)
                saved[level++] = run;
            cur = run;
            // The codes, up to the closing '}'.
            const char* q = p + 2;
            bool closed = false;
            while (q < end) {
                const char* codeEnd = q;
                while (codeEnd < end && *codeEnd != '|' && *codeEnd != '}')
                    codeEnd = step(codeEnd);
                ApplyCode(q, codeEnd, out[cur], args.color);
                if (codeEnd >= end)
                    break;
                q = step(codeEnd);
                if (*codeEnd == '}') {
                    closed = true;
                    break;
                }
            }
            if (!closed || q >= end || *q != '{') {
                // A list not followed by '{' ends the text here.
                runStart = p = end;
                out[cur].text = end;
                out[cur].length = 0;
                break;
            }
            p = step(q);
            out[cur].text = runStart = p;
            out[cur].length = 0;
        } else {
            const unsigned ended = cur;
            p += 2;
            if (out[ended].length != 0) {
                if (count >= max)
                    return count;
                const unsigned run = count++;
                const unsigned outer = saved[std::min(level, kLevels) - 1];
                if (outer == ended)
                    out[run] = {p, 0, 0, args.color, kDefaultBack, kDefaultEffect};
                else
                    out[run] = out[outer];
                if (level < kLevels)
                    saved[level] = run;
                cur = run;
            }
            out[cur].text = runStart = p;
            out[cur].length = 0;
        }
    }
    finish(p);
    if (out[cur].length == 0)
        count--;
    return count;
}

namespace {

// Extra width of a run's outline or shadow at one end of a line.
int EffectExtra(uint32_t attributes)
{
    return (attributes & PFONT_ATTR_OUTLINE) ? 2 : (attributes & PFONT_ATTR_SHADOW) ? 1 : 0;
}

} // namespace

int PFont::AttributeStringWidth(const AttributeString* runs, unsigned n) const
{
    if (!runs || n == 0)
        return 0;
    int w = 0;
    for (unsigned i = 0; i < n; i++)
        w += StringWidth(runs[i].text, nullptr, runs[i].length);
    w += EffectExtra(runs[0].attributes) + EffectExtra(runs[n - 1].attributes);
    if ((runs[0].attributes & PFONT_ATTR_BOXMASK) || (runs[n - 1].attributes & PFONT_ATTR_BOXMASK))
        w += 2 * spacing;
    return w;
}

int PFont::PrintAttributeString(int x, int y, const AttributeString* runs, unsigned n, TextAlignment align)
{
    if (!runs || n == 0)
        return 0;
    if (align == kAlignRight)
        x -= AttributeStringWidth(runs, n);
    else if (align != kAlignLeft)
        x -= AttributeStringWidth(runs, n) / 2;
    const uint32_t saved = args.color;
    int total = 0;
    for (unsigned i = 0; i < n; i++) {
        const AttributeString& r = runs[i];
        if (r.attributes & PFONT_ATTR_BOXMASK) {
            const int rw = StringWidth(r.text, nullptr, r.length);
            PrintShape(x - spacing, y, rw + 2 * spacing, height, r);
        }
        if (r.attributes & PFONT_ATTR_OUTLINE) {
            args.color = r.effectColor;
            for (int dx = -1; dx <= 1; dx++)
                for (int dy = -1; dy <= 1; dy++)
                    if (dx || dy)
                        Print(r.text, x + dx, y + dy, r.length);
        } else if (r.attributes & PFONT_ATTR_SHADOW) {
            args.color = r.effectColor;
            const uint32_t a = r.attributes;
            const int dx = (a & PFONT_ATTR_SHADOW_LEFT) ? -1 : (a & PFONT_ATTR_SHADOW_RIGHT) ? 1 : 0;
            const int dy = (a & PFONT_ATTR_SHADOW_UP) ? -1 : (a & PFONT_ATTR_SHADOW_DOWN) ? 1 : 0;
            Print(r.text, x + dx, y + dy, r.length);
        }
        args.color = r.color;
        const int w = Print(r.text, x, y, r.length);
        x += w;
        total += w;
    }
    args.color = saved;
    return total;
}

namespace {

// The characters of one run with their byte offsets, the pen before each and
// the gap after each, so that any piece of the run is measured in constant
// time. Every font of the engine measures as its pen walks (the sum of its
// characters' advances less the gap after the last, CharStep); without memory
// for the tables each measure walks the run instead.
class RunMetrics {
public:
    RunMetrics(const PFont& f, const PFont::AttributeString& run) : m_font(f), m_run(run)
    {
        m_count = std::max(0, f.CountChars(run.text, run.length));
        PFont::AttributeString empty = run;
        empty.length = 0;
        m_extra = f.AttributeStringWidth(&empty, 1);
        m_offset = static_cast<int*>(PAlloc(int(sizeof(int)) * 3 * (m_count + 1)));
        if (!m_offset)
            return;
        m_pen = m_offset + m_count + 1;
        m_gap = m_pen + m_count + 1;
        const char* p = run.text;
        int pen = 0;
        for (int i = 0; i < m_count; i++) {
            m_offset[i] = int(p - run.text);
            m_pen[i] = pen;
            const PFont::PenStep step = f.CharStep(f.NextChar(p));
            pen += step.advance;
            m_gap[i] = step.gap;
        }
        m_offset[m_count] = int(p - run.text);
        m_pen[m_count] = pen;
        m_gap[m_count] = 0;
    }
    ~RunMetrics() { PFree(m_offset); }
    RunMetrics(const RunMetrics&) = delete;
    RunMetrics& operator=(const RunMetrics&) = delete;

    int Count() const { return m_count; }
    const char* At(int i) const
    {
        if (m_offset)
            return m_run.text + m_offset[i];
        const char* p = m_run.text;
        for (int k = 0; k < i; k++)
            m_font.NextChar(p);
        return p;
    }
    // The character at index i (a plain byte is enough for ' ' and '-').
    char Char(int i) const { return *At(i); }
    // Width of characters s..e-1 measured as one run (AttributeStringWidth).
    int Width(int s, int e) const
    {
        if (!m_offset) {
            PFont::AttributeString piece = m_run;
            piece.text = At(s);
            piece.length = e - s;
            return m_font.AttributeStringWidth(&piece, 1);
        }
        const int w = e > s ? m_pen[e] - m_pen[s] - m_gap[e - 1] : 0;
        return w + m_extra;
    }

private:
    const PFont& m_font;
    const PFont::AttributeString& m_run;
    int m_count = 0;
    int m_extra = 0;
    int* m_offset = nullptr;
    int* m_pen = nullptr;
    int* m_gap = nullptr;
};

bool IsBreak(char c)
{
    return c == ' ' || c == '-';
}

} // namespace

int PFont::PrintAttributeStringBox(int x, int y, unsigned w, unsigned /*h*/, const AttributeString* runs, unsigned n)
{
    if (!runs)
        return 0;
    const int64_t right = int64_t(x) + std::min<unsigned>(w, 0x7FFFFFFF);
    const int lineStep = height + lineGap;
    int penX = x, penY = y;
    auto newLine = [&] {
        penX = x;
        penY += lineStep;
    };
    for (unsigned r = 0; r < n; r++) {
        const RunMetrics m(*this, runs[r]);
        int s = 0;
        const int len = m.Count();
        while (s < len) {
            if (penX == x) {
                while (s < len && m.Char(s) == ' ')
                    s++;
                if (s == len)
                    break;
            }
            const int64_t avail = right - penX;
            int e = len;      // end of the printed piece
            int next = len;   // where the rest continues
            bool whole = m.Width(s, len) <= avail;
            if (!whole) {
                // The last break (after a space or a hyphen) whose piece fits.
                int found = -1;
                for (int j = len; j > s; j--) {
                    if (!IsBreak(m.Char(j - 1)))
                        continue;
                    int k = j;
                    while (k > s && IsBreak(m.Char(k - 1)))
                        k--;
                    if (k > s && m.Width(s, k) <= avail) {
                        found = k;
                        next = j;
                        break;
                    }
                    j = k + 1; // continue before the separators
                }
                if (found < 0) {
                    if (penX != x) {
                        newLine();
                        continue;
                    }
                    // A word wider than the box: cut it at a character,
                    // keeping at least one.
                    e = s + 1;
                    while (e < len && m.Width(s, e + 1) <= avail)
                        e++;
                    next = e;
                } else {
                    e = found;
                }
            }
            AttributeString piece = runs[r];
            piece.text = m.At(s);
            piece.length = e - s;
            const int printed = PrintAttributeString(penX, penY, &piece, 1, kAlignLeft);
            if (whole && penX + int64_t(printed) < right)
                penX += printed;
            else
                newLine();
            s = next;
        }
    }
    return penY - y + (penX != x ? height : 0);
}
