// A one-line text editor for nicknames and addresses: phone-keypad multi-tap
// entry (a key pressed again within a second steps through its letters) or,
// in qwerty mode, one character per key.
#pragma once
#include <cstdint>

class PTicker;

class TextInput {
public:
    static constexpr int kMaxLength = 128;
    // A press later than this after the previous one starts a new letter.
    static constexpr uint32_t kMultiTapMs = 1000;
    static constexpr int kDefaultDeleteKey = 8;
    // The keypad's extra keys in numeric mode.
    static constexpr int kCaseKey = '*';
    static constexpr int kUnderscoreKey = '#';
    static constexpr int kUnderscoreIndex = 10;
    static constexpr int kKeyCount = 11;

    // Starts with a copy of text (up to kMaxLength bytes) in lower case with
    // the cursor at its end, or empty in upper case.
    TextInput(const char* text, PTicker* ticker);
    // Virtual: the address editor derives from this class.
    virtual ~TextInput() = default;
    TextInput(const TextInput&) = delete;
    TextInput& operator=(const TextInput&) = delete;

    virtual int HandleNumpadInput(int ch, int key);
    virtual void HandleLeftArrowEvent();
    virtual void HandleRightArrowEvent();
    // Replaces the text; the cursor goes to its end and the next key starts
    // a new letter. An empty or null text switches to upper case.
    virtual void SetText(const char* text);

    void SetQwerty(uint8_t on) { m_qwerty = on; }
    void ForceUpperCase(uint8_t on);
    void SetDeleteKey(unsigned key) { m_deleteKey = int(key); }
    // Held to 0..kMaxLength.
    void SetMaxTextLength(int n);

    const char* GetString() const { return m_text; }
    // The character at cursor + offset, the position held to 0..kMaxLength.
    char GetCharAtCursor(int offset) const;
    const char* GetCaseIndicator() const { return m_upper ? "ABC" : "abc"; }
    int GetCursor() const { return m_cursor; }
    bool IsUpperCase() const { return m_upper != 0; }

    // Inserts the first letter of keypad key k at pos (0..length).
    void AddLetter(int key, int pos);
    // One multi-tap press of keypad key k.
    void SetNextLetter(int key);
    void AddLetterQwerty(char c, int pos);
    void DeleteLetter();
    static int StrLen(const char* s);

    // The letters of keypad key k in tap order, or null.
    static const char* KeyLetters(int key);

protected:
    void Insert(char c, int pos);
    char Raised(char c) const;
    void EndSequence()
    {
        m_lastKey = -1;
        m_tapIndex = 0;
    }

    int m_deleteKey = kDefaultDeleteKey;
    int m_maxLength = kMaxLength;
    char m_text[kMaxLength + 1] = {};
    int m_cursor = 0;
    int m_tapIndex = 0;
    int m_lastKey = -1;
    uint32_t m_lastTime = 0;
    uint8_t m_upper = 0;
    uint8_t m_forcedUpper = 0;
    uint8_t m_qwerty = 0;
    PTicker* m_ticker;
};
