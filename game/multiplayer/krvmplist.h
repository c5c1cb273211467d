// A vertical list of buttons in a framed rectangle that scrolls by dragging:
// a press that travels kDragDistance pixels vertically becomes a drag (and
// never a tap); the scroll offset eases a quarter of the way to its target
// each frame.
#pragma once
#include <cstdint>
#include <vector>

#include "game/multiplayer/krvmpbutton.h"

class KrvMpList {
public:
    static constexpr int kDragDistance = 35;
    static constexpr unsigned kSeparatorColour = 0x7D000000;
    // TouchscreenUpdate results besides a line index.
    static constexpr int kNothing = -1;
    static constexpr int kDragEnded = -2;
    enum TouchState : uint8_t { kIdle = 0, kPressed = 1, kDragging = 2 };

    KrvMpList() = default;
    ~KrvMpList() { RemoveAll(); }
    KrvMpList(const KrvMpList&) = delete;
    KrvMpList& operator=(const KrvMpList&) = delete;

    // Appends a line and takes ownership; the caller sets its height and
    // caption before Generate.
    void Add(KrvMpButton* line);
    // Destroys the line; unknown indices and pointers are ignored.
    void Remove(int index);
    void Remove(KrvMpButton* line);
    void RemoveAll();
    KrvMpButton* GetLine(int index) const;
    int GetCount() const { return int(m_lines.size()); }
    bool IsScrollable() const { return m_contentHeight > m_rect.height; }
    // Lays the lines out, back at the top unless keepScroll is set.
    void Generate(uint8_t keepScroll);
    void RefreshButtons();
    // The index of a tapped line, kNothing, or kDragEnded for a release that
    // ends a drag (or any release over an empty list).
    int TouchscreenUpdate(int x, int y, int penDown, int penWasDown);
    void Render(P3D* ctx);

    PRect m_rect{};
    std::vector<KrvMpButton*> m_lines;
    int m_contentHeight = 0;
    int m_scroll = 0;
    int m_dragStartScroll = 0;
    int m_dragStartY = 0;
    int m_target = 0;
    uint8_t m_touchState = kIdle;
    int m_pressY = 0;
    uint8_t m_noSeparators = 0;

private:
    void ClearPressed();
    void Ease();
};
