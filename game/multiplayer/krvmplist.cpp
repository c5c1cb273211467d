#include "game/multiplayer/krvmplist.h"

#include <cstdlib>

void KrvMpList::Add(KrvMpButton* line) { m_lines.push_back(line); }

void KrvMpList::Remove(int index)
{
    if (index < 0 || index >= GetCount())
        return;
    delete m_lines[size_t(index)];
    m_lines.erase(m_lines.begin() + index);
}

void KrvMpList::Remove(KrvMpButton* line)
{
    for (int i = 0; i < GetCount(); i++)
        if (m_lines[size_t(i)] == line) {
            Remove(i);
            return;
        }
}

void KrvMpList::RemoveAll()
{
    for (KrvMpButton* line : m_lines)
        delete line;
    m_lines.clear();
}

KrvMpButton* KrvMpList::GetLine(int index) const
{
    return index >= 0 && index < GetCount() ? m_lines[size_t(index)] : nullptr;
}

void KrvMpList::Generate(uint8_t keepScroll)
{
    if (!keepScroll) {
        m_contentHeight = m_scroll = m_dragStartScroll = m_dragStartY = m_target = 0;
        m_touchState = kIdle;
        m_pressY = 0;
    }
    RefreshButtons();
}

void KrvMpList::RefreshButtons()
{
    int y = m_rect.y + m_scroll;
    int total = 0;
    for (KrvMpButton* line : m_lines) {
        if (!line)
            continue;
        line->m_rect.x = m_rect.x;
        line->m_rect.width = m_rect.width;
        line->m_rect.y = y;
        y += line->m_rect.height;
        total += line->m_rect.height;
    }
    m_contentHeight = total;
}

void KrvMpList::ClearPressed()
{
    for (KrvMpButton* line : m_lines)
        if (line)
            line->m_pressed = 0;
}

void KrvMpList::Ease()
{
    if (!IsScrollable() || m_scroll == m_target)
        return;
    // A quarter of the way each frame; the shift leaves it resting up to
    // three pixels short of the target.
    const int before = m_scroll;
    if (m_scroll < m_target)
        m_scroll += (m_target - m_scroll) >> 2;
    else
        m_scroll -= (m_scroll - m_target) >> 2;
    if (m_scroll != before)
        RefreshButtons();
}

int KrvMpList::TouchscreenUpdate(int x, int y, int penDown, int penWasDown)
{
    const bool release = !penDown && penWasDown;
    if (m_lines.empty())
        return release ? kDragEnded : kNothing;
    int result = kNothing;
    if (m_touchState == kDragging) {
        if (IsScrollable()) {
            int t = m_dragStartScroll + (y - m_dragStartY);
            const int lowest = m_rect.height - m_contentHeight;
            t = t > 0 ? 0 : (t < lowest ? lowest : t);
            m_target = t;
        }
        if (release) {
            m_touchState = kIdle;
            result = kDragEnded;
        }
    } else if (!KrvMpInside(m_rect, x, y)) {
        if (release) {
            m_touchState = kIdle;
            ClearPressed();
        }
    } else {
        for (int i = 0; i < GetCount(); i++) {
            KrvMpButton* line = m_lines[size_t(i)];
            if (line && line->Touchscreen_Update(x, y, penDown, penWasDown) && result == kNothing)
                result = i;
        }
        if (m_touchState == kIdle && penDown) {
            m_touchState = kPressed;
            m_dragStartY = m_pressY = y;
            m_dragStartScroll = m_target = m_scroll;
        } else if (m_touchState == kPressed && penDown) {
            if (std::abs(y - m_pressY) >= kDragDistance) {
                m_touchState = kDragging;
                m_dragStartY = y;
                m_dragStartScroll = m_target = m_scroll;
                ClearPressed();
            }
        } else if (m_touchState == kPressed && release) {
            m_touchState = kIdle;
        }
    }
    Ease();
    return result;
}

void KrvMpList::Render(P3D* ctx)
{
    KrvMpDrawFrame(ctx, m_rect);
    if (m_lines.empty())
        return;
    ctx->SetClipRect(m_rect);
    for (KrvMpButton* line : m_lines) {
        if (!line)
            continue;
        const PRect& r = line->m_rect;
        if (r.y > m_rect.y + m_rect.height || r.y + r.height < m_rect.y)
            continue;
        line->Render(ctx);
        if (!m_noSeparators)
            ctx->HLine(m_rect.x + 1, r.y + r.height, m_rect.width - 2, kSeparatorColour, P3DBLEND_ALPHA);
    }
    ctx->ResetClipRect();
}
