#include "game/world/console.h"

#include <cstring>
#include <cwchar>

#include "engine/graphics/p3d.h"
#include "engine/runtime/pdebug.h"
#include "engine/runtime/ptime.h"
#include "game/frontend/fonts.h"

Console::Console(PTicker* ticker, Fonts* fonts) : Console(ticker, fonts, kDefaultCapacity, kDefaultLife) {}

Console::Console(PTicker* ticker, Fonts* fonts, int capacity, int32_t life)
    : m_life(life), m_ticker(ticker), m_fonts(fonts)
{
    InitStringsArray(capacity);
}

Console::~Console() { FreeArrays(); }

void Console::FreeArrays()
{
    if (m_lines)
        for (int i = 0; i < m_capacity; i++)
            delete[] m_lines[i];
    delete[] m_lines;
    delete[] m_stamps;
    m_lines = nullptr;
    m_stamps = nullptr;
    m_capacity = 0;
    m_count = 0;
}

void Console::InitStringsArray(int capacity)
{
    if (capacity <= 0)
        return;
    if (capacity > kMaxCapacity) {
        _PDebug("Console: capacity %d held to %d\n", capacity, kMaxCapacity);
        capacity = kMaxCapacity;
    }
    FreeArrays();
    m_lines = new wchar_t*[size_t(capacity)]();
    m_stamps = new uint32_t[size_t(capacity)]();
    if (!m_lines || !m_stamps) {
        _PDebug("Console: out of memory for %d lines\n", capacity);
        FreeArrays();
        return;
    }
    m_capacity = int8_t(capacity);
    for (int i = 0; i < capacity; i++) {
        m_lines[i] = new wchar_t[kLineLength + 1]();
        if (!m_lines[i]) {
            _PDebug("Console: out of memory for %d lines\n", capacity);
            FreeArrays();
            return;
        }
    }
}

uint32_t Console::Now() const { return m_ticker ? (*m_ticker)() : 0; }

void Console::AddElement(const wchar_t* text)
{
    if (m_capacity <= 0)
        return;
    const bool separator = text == nullptr;
    if (m_count > 0) {
        const wchar_t* newest = m_lines[m_count - 1];
        if (separator && newest[0] == kSeparator)
            return;
        // The stored line is cut, so a repeated long text is added again.
        if (!separator && std::wcscmp(newest, text) == 0)
            return;
    }
    if (m_count >= m_capacity)
        RemoveElement(0);
    if (m_count >= m_capacity)
        return;
    wchar_t* line = m_lines[m_count];
    if (separator) {
        line[0] = kSeparator;
        line[1] = 0;
    } else {
        size_t n = std::wcslen(text);
        if (n > size_t(kLineLength))
            n = size_t(kLineLength);
        std::memcpy(line, text, n * sizeof(wchar_t));
        line[n] = 0;
    }
    m_stamps[m_count] = Now();
    m_count++;
}

void Console::AddElement(const char* text)
{
    if (!text) {
        AddElement(static_cast<const wchar_t*>(nullptr));
        return;
    }
    // Only the characters a line keeps matter, plus one so that a text that
    // is cut never equals a stored line of the same start.
    wchar_t wide[kLineLength + 2];
    Fonts::Utf8ToWide(wide, kLineLength + 2, text);
    AddElement(wide);
}

void Console::RemoveElement(int i)
{
    if (i < 0 || i >= m_count)
        return;
    // The freed buffer moves to the end so that every slot keeps one.
    wchar_t* freed = m_lines[i];
    for (int k = i; k < m_count - 1; k++) {
        m_lines[k] = m_lines[k + 1];
        m_stamps[k] = m_stamps[k + 1];
    }
    m_lines[m_count - 1] = freed;
    freed[0] = 0;
    m_count--;
}

void Console::ProcessRemovingElements()
{
    const uint32_t now = Now();
    for (int i = 0; i < m_count; i++)
        if (int32_t(now - m_stamps[i]) >= m_life) {
            RemoveElement(i);
            return;
        }
}

void Console::Render(P3D* p3d, int x, int y, int)
{
    if (!m_fonts)
        return;
    const int lh = m_fonts->Height(kFont);
    for (int i = 0; i < m_count; i++) {
        const int ly = y + i * lh;
        if (m_lines[i][0] == kSeparator) {
            if (p3d)
                p3d->HLine(x, ly + lh / 2, kRuleLength, kRuleColour, P3DBLEND_ALPHA);
        } else {
            m_fonts->Print(x, ly, m_lines[i], kFont);
        }
    }
}
