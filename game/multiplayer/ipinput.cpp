#include "game/multiplayer/ipinput.h"

#include <cstring>

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsSeparator(char c) { return c == '.' || c == ':'; }

} // namespace

int IPinput::NextTxtChunk(const char* text, int length, int start)
{
    for (int i = start < 0 ? 0 : start; i <= length; i++)
        if (text[i] == 0 || IsSeparator(text[i]))
            return i + 1;
    return length + 1;
}

bool IPinput::IsNumber(char c) { return IsDigit(c) || IsSeparator(c); }

void IPinput::DeleteChar(char* text, int length, int pos)
{
    if (pos < 0 || pos >= length)
        return;
    std::memmove(text + pos, text + pos + 1, size_t(length - pos - 1));
    text[length - 1] = 0;
}

void IPinput::InsertChar(char* text, int length, int pos, char c)
{
    if (pos < 0 || pos > length)
        return;
    std::memmove(text + pos + 1, text + pos, size_t(length - pos) + 1);
    text[pos] = c;
}

void IPinput::VerifyFormat(char* text)
{
    // Keep digits and separators.
    const int len = int(strnlen(text, kMaxLength));
    int n = 0;
    for (int i = 0; i < len; i++)
        if (IsNumber(text[i]))
            text[n++] = text[i];
    text[n] = 0;

    char out[kMaxNormalised + 2] = {};
    int o = 0;
    int start = 0;
    for (int chunk = 0; chunk <= kPortChunk && (start < n || (chunk == 0 && n == 0)); chunk++) {
        const int limit = chunk == kPortChunk ? kPortMax : kAddressMax;
        // Saturate: a long digit run reads as its range's maximum.
        int value = 0;
        int i = start;
        for (; i < n && IsDigit(text[i]); i++) {
            value = value * 10 + (text[i] - '0');
            if (value > limit)
                value = limit + 1;
        }
        if (value > limit)
            value = limit;
        char digits[8];
        int d = 0;
        do {
            digits[d++] = char('0' + value % 10);
            value /= 10;
        } while (value);
        while (d)
            out[o++] = digits[--d];
        if (chunk < kAddressChunks - 1)
            out[o++] = '.';
        else if (chunk == kAddressChunks - 1)
            out[o++] = ':';
        // Past this chunk's separator (or the end).
        start = i + 1;
    }
    if (o > 0 && out[o - 1] == ':')
        out[o++] = '0';
    out[o] = 0;
    std::memset(text, 0, size_t(len) + 1);
    std::memcpy(text, out, size_t(o) + 1);
}

bool IPinput::ChunkSpan(int k, int& start, int& end) const
{
    const int len = Length();
    int s = 0;
    for (int i = 0;; i++) {
        const int next = NextTxtChunk(m_text, len, s);
        if (i == k) {
            start = s;
            end = next - 1;
            return true;
        }
        if (next > len)
            return false;
        s = next;
    }
}

int IPinput::CursorToChunk() const
{
    const int len = Length();
    int s = 0;
    for (int i = 0;; i++) {
        const int next = NextTxtChunk(m_text, len, s);
        if (m_cursor >= s && m_cursor < next)
            return i;
        if (next > len)
            return i + 1;
        s = next;
    }
}

int IPinput::DigitsInChunk(int k) const
{
    if (k < 0)
        return -1;
    int s, e;
    return ChunkSpan(k, s, e) ? e - s : 0;
}

int IPinput::CursorAtDigitInChunk() const
{
    int s, e;
    if (!ChunkSpan(CursorToChunk(), s, e))
        return -1;
    return m_cursor - s;
}

void IPinput::ClearChunk(int k)
{
    int s, e;
    if (k < 0 || !ChunkSpan(k, s, e) || e == s)
        return;
    const int len = Length();
    std::memmove(m_text + s, m_text + e, size_t(len - e));
    std::memset(m_text + len - (e - s), 0, size_t(e - s));
}

void IPinput::SeekCursorToLastIpChunk()
{
    int s, e;
    if (ChunkSpan(kAddressChunks - 1, s, e))
        m_cursor = s;
}

void IPinput::ClampCursor()
{
    const int len = Length();
    m_cursor = m_cursor < 0 ? 0 : (m_cursor > len ? len : m_cursor);
}

void IPinput::SetText(const char* text)
{
    char work[kMaxLength + 1] = {};
    if (text)
        std::memcpy(work, text, strnlen(text, kMaxLength - 1));
    VerifyFormat(work);
    TextInput::SetText(work);
}

void IPinput::Delete()
{
    const char before = GetCharAtCursor(-1);
    const int k = CursorToChunk();
    if (IsSeparator(before)) {
        // Separators stay: step onto it, filling an emptied number first.
        if (DigitsInChunk(k) == 0)
            AddLetterQwerty('0', m_cursor);
        TextInput::HandleLeftArrowEvent();
        return;
    }
    DeleteLetter();
    if (k == kPortChunk) {
        VerifyFormat(m_text);
        ClampCursor();
    }
}

int IPinput::HandleNumpadInput(int key, int c)
{
    if (key == 0 && c == 0)
        return 0;
    ClampCursor();
    if (key == m_deleteKey || c == m_deleteKey) {
        Delete();
        return 1;
    }
    if (!IsDigit(char(c)) || c > 0xFF)
        return 0;
    int k = CursorToChunk();
    const int d = DigitsInChunk(k);
    const int max = k == kPortChunk ? kPortDigits : kAddressDigits;
    const int p = CursorAtDigitInChunk();
    if (d < max && p > 0) {
        AddLetterQwerty(char(c), m_cursor);
        m_cursor++;
    } else {
        if (d > 0 && IsSeparator(m_text[m_cursor])) {
            // At the end of a full number: go on into the next one.
            m_cursor++;
            k = CursorToChunk();
        }
        if (CursorAtDigitInChunk() == 0) {
            // Typing at the start of a number replaces it.
            ClearChunk(k);
            AddLetterQwerty(char(c), m_cursor);
            m_cursor++;
        } else {
            // Inside a full number the digit under the cursor is overwritten.
            AddLetterQwerty(char(c), m_cursor);
            if (d == max) {
                TextInput::HandleRightArrowEvent();
                TextInput::HandleRightArrowEvent();
                DeleteLetter();
            }
        }
    }
    VerifyFormat(m_text);
    ClampCursor();
    return 1;
}

void IPinput::HandleLeftArrowEvent()
{
    ClampCursor();
    const int k = CursorToChunk();
    if (k >= 1 && k <= kPortChunk && DigitsInChunk(k) == 0)
        AddLetterQwerty('0', m_cursor);
    TextInput::HandleLeftArrowEvent();
}

void IPinput::HandleRightArrowEvent()
{
    ClampCursor();
    const int k = CursorToChunk();
    if (k >= 0 && k < kAddressChunks && DigitsInChunk(k) == 0)
        AddLetterQwerty('0', m_cursor);
    TextInput::HandleRightArrowEvent();
}
