// Short messages over the game view (mission messages, kills, joins): a few
// text lines that scroll up as new ones arrive and expire one by one after a
// fixed time. A line that starts with '-' is a separator, drawn as a rule.
#pragma once
#include <cstdint>

class Fonts;
class P3D;
class PTicker;

class Console {
public:
    static constexpr int kDefaultCapacity = 10;
    static constexpr int32_t kDefaultLife = 7000; // ms
    // The count of lines is a signed byte.
    static constexpr int kMaxCapacity = 127;
    // Characters a line keeps (its buffer holds one more for the terminator).
    static constexpr int kLineLength = 38;
    static constexpr wchar_t kSeparator = L'-';
    static constexpr int kFont = 4;
    static constexpr int kRuleLength = 280;
    static constexpr unsigned kRuleColour = 0x7f000000;

    Console(PTicker* ticker, Fonts* fonts);
    // A capacity above kMaxCapacity is held to it.
    Console(PTicker* ticker, Fonts* fonts, int capacity, int32_t life);
    ~Console();
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

    // Adds a line (null: a separator), unless it repeats the newest line.
    void AddElement(const wchar_t* text);
    // The same for UTF-8 text.
    void AddElement(const char* text);
    // Removes line i (ignored when there is no line i); later lines move up.
    void RemoveElement(int i);
    // Removes the oldest line whose time is up, at most one per call.
    void ProcessRemovingElements();
    void Render(P3D* p3d, int x, int y, int language);
    void Clear() { m_count = 0; }
    // Makes room for `capacity` lines (nothing for 0 or less); the lines
    // held so far are dropped.
    void InitStringsArray(int capacity);

    int GetCount() const { return m_count; }
    // Line i, or null.
    const wchar_t* GetLine(int i) const { return i >= 0 && i < m_count ? m_lines[i] : nullptr; }

private:
    void FreeArrays();
    uint32_t Now() const;

    int8_t m_capacity = 0;
    int32_t m_life;
    wchar_t** m_lines = nullptr;
    int8_t m_count = 0;
    uint32_t* m_stamps = nullptr;
    PTicker* m_ticker;
    Fonts* m_fonts;
};
