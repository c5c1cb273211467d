#include "game/frontend/textinput.h"

#include <cstring>

#include "engine/runtime/ptime.h"

namespace {

// The telephone keypad's letters, in tap order; '#' types an underscore.
const char* const kKeyLetters[TextInput::kKeyCount] = {
    "0", "-1", "abc2", "def3", "ghi4", "jkl5", "mno6", "pqrs7", "tuv8", "wxyz9", "_",
};

bool IsLower(char c) { return c >= 'a' && c <= 'z'; }
bool IsLetter(int c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

} // namespace

const char* TextInput::KeyLetters(int key) { return key >= 0 && key < kKeyCount ? kKeyLetters[key] : nullptr; }

TextInput::TextInput(const char* text, PTicker* ticker) : m_ticker(ticker) { SetText(text); }

int TextInput::StrLen(const char* s) { return s ? int(strnlen(s, kMaxLength + 1)) : 0; }

void TextInput::SetText(const char* text)
{
    std::memset(m_text, 0, sizeof m_text);
    EndSequence();
    const int n = text ? int(strnlen(text, kMaxLength)) : 0;
    if (n == 0) {
        m_cursor = 0;
        m_upper = 1;
        return;
    }
    std::memcpy(m_text, text, size_t(n));
    m_cursor = n;
    m_upper = m_forcedUpper;
}

void TextInput::ForceUpperCase(uint8_t on)
{
    m_forcedUpper = on;
    if (on)
        m_upper = 1;
}

void TextInput::SetMaxTextLength(int n) { m_maxLength = n < 0 ? 0 : (n > kMaxLength ? kMaxLength : n); }

char TextInput::GetCharAtCursor(int offset) const
{
    int p = m_cursor + offset;
    p = p < 0 ? 0 : (p > kMaxLength ? kMaxLength : p);
    return m_text[p];
}

void TextInput::HandleLeftArrowEvent()
{
    if (m_cursor > 0)
        m_cursor--;
    EndSequence();
}

void TextInput::HandleRightArrowEvent()
{
    if (m_cursor < StrLen(m_text))
        m_cursor++;
    EndSequence();
}

char TextInput::Raised(char c) const { return m_upper && IsLower(c) ? char(c - 'a' + 'A') : c; }

void TextInput::Insert(char c, int pos)
{
    const int len = StrLen(m_text);
    if (pos < 0 || pos > len || len >= kMaxLength)
        return;
    std::memmove(m_text + pos + 1, m_text + pos, size_t(len - pos));
    m_text[pos] = c;
    m_text[len + 1] = 0;
}

void TextInput::AddLetter(int key, int pos)
{
    const char* letters = KeyLetters(key);
    if (letters)
        Insert(Raised(letters[0]), pos);
}

void TextInput::AddLetterQwerty(char c, int pos) { Insert(Raised(c), pos); }

void TextInput::SetNextLetter(int key)
{
    const char* letters = KeyLetters(key);
    if (!letters)
        return;
    const int count = int(std::strlen(letters));
    if (m_tapIndex >= count || (m_cursor >= m_maxLength && key != m_lastKey))
        m_tapIndex = 0;
    const uint32_t now = m_ticker ? (*m_ticker)() : 0;
    if (now - m_lastTime > kMultiTapMs)
        m_lastKey = -1;
    const int len = StrLen(m_text);
    if (key != m_lastKey && len < m_maxLength) {
        m_tapIndex = 0;
        AddLetter(key, m_cursor);
        if (m_cursor < m_maxLength)
            m_cursor++;
    } else if (m_cursor >= 1 && m_cursor <= m_maxLength) {
        // The same key again (or a full text): the letter before the cursor
        // steps on, or restarts at the key's first letter.
        if (key != m_lastKey)
            m_tapIndex = 0;
        m_text[m_cursor - 1] = Raised(letters[m_tapIndex]);
    }
    m_lastKey = key;
    m_lastTime = now;
    m_tapIndex = (m_tapIndex + 1) % count;
}

void TextInput::DeleteLetter()
{
    const int p = m_cursor > 0 ? m_cursor - 1 : 0;
    const int len = StrLen(m_text);
    if (p < len) {
        std::memmove(m_text + p, m_text + p + 1, size_t(len - p));
        if (m_cursor > 0)
            m_cursor--;
    }
    m_upper = m_forcedUpper ? 1 : 0;
}

int TextInput::HandleNumpadInput(int ch, int key)
{
    if (ch == 0 && key == 0)
        return 0;
    if (ch == m_deleteKey || key == m_deleteKey) {
        DeleteLetter();
        return 1;
    }
    if (m_qwerty) {
        if (StrLen(m_text) >= m_maxLength)
            return 0;
        char c;
        if (IsLetter(ch))
            c = char(IsLower(char(ch)) ? ch - 'a' + 'A' : ch);
        else if (key == '-' || (key >= '0' && key <= '9'))
            c = char(key);
        else
            return 0;
        AddLetterQwerty(c, m_cursor);
        if (m_cursor < m_maxLength)
            m_cursor++;
        return 1;
    }
    int k;
    if (key >= '0' && key <= '9')
        k = key - '0';
    else if (key == kUnderscoreKey)
        k = kUnderscoreIndex;
    else if (key == kCaseKey) {
        if (!m_forcedUpper)
            m_upper = !m_upper;
        return 1;
    } else
        return 0;
    SetNextLetter(k);
    return 1;
}
