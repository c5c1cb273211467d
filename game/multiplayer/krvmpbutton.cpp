#include "game/multiplayer/krvmpbutton.h"

#include <cwchar>

#include "engine/graphics/pblit.h"
#include "engine/graphics/psurface3d.h"
#include "game/frontend/fonts.h"

namespace {

constexpr unsigned kFrameDark = 0x440808;
constexpr unsigned kFrameBright = 0x990B0B;
// Buttons draw their caption in the first font, centred both ways.
constexpr int kCaptionFont = 0;

PRect Grown(const PRect& r, int by) { return PRect{r.x - by, r.y - by, r.width + 2 * by, r.height + 2 * by}; }

} // namespace

void KrvMpDrawFrame(P3D* ctx, const PRect& r)
{
    ctx->Rectangle(r, kFrameDark, P3DBLEND_OPAQUE);
    ctx->Rectangle(Grown(r, 1), kFrameBright, P3DBLEND_OPAQUE);
    ctx->Rectangle(Grown(r, 2), kFrameDark, P3DBLEND_OPAQUE);
}

// --- KrvMpLabel ---

void KrvMpLabel::SetText(const char* text) { Fonts::Utf8ToWide(m_text, kMaxChars + 1, text); }

void KrvMpLabel::SetText(const wchar_t* text)
{
    int n = 0;
    if (text)
        for (; n < kMaxChars && text[n]; n++)
            m_text[n] = text[n];
    m_text[n] = 0;
}

void KrvMpLabel::SetText(int id)
{
    if (m_fonts)
        SetText(m_fonts->GetStr(unsigned(id)));
}

int KrvMpLabel::GetHeight(int font, int width) const
{
    if (!m_fonts || IsEmpty())
        return 0;
    const int lineHeight = m_fonts->Height(font);
    return lineHeight * m_fonts->TestSection(font, 0, 0, lineHeight, width, m_text, Fonts::kLeft);
}

void KrvMpLabel::Render(P3D*, int font, PRect rect, int flags) const
{
    if (!m_fonts || IsEmpty())
        return;
    const int lineHeight = m_fonts->Height(font);
    const int align = (flags & kAlignCenter) ? Fonts::kCenter : (flags & kAlignRight) ? Fonts::kRight : Fonts::kLeft;
    const int lines = m_fonts->TestSection(font, rect.x, rect.y, lineHeight, rect.width, m_text, align);
    int top = rect.y;
    if (flags & kVCenter)
        top = rect.y + (rect.height >> 1) - ((lineHeight * lines) >> 1);
    else if (flags & kBottom)
        top = rect.y + rect.height - lineHeight * lines;
    m_fonts->PrintSection(font, rect.x, top, lineHeight, rect.width, m_text, align);
}

// --- KrvMpButton ---

KrvMpButton::KrvMpButton(Fonts* fonts) { m_caption.m_fonts = fonts; }

void KrvMpButton::SetHotSpot(const PRect* r)
{
    if (r)
        m_hotSpot = *r;
    m_hotSpotSet = r ? 1 : 0;
}

int KrvMpButton::Touchscreen_Update(int x, int y, int penDown, int penWasDown)
{
    if (m_hidden)
        return 0;
    m_pressed = 0;
    if (m_touchStyle == 0)
        return 0;
    if (!KrvMpInside(m_hotSpotSet ? m_hotSpot : m_rect, x, y))
        return 0;
    if (penDown) {
        m_pressed = 1;
        return 0;
    }
    // A release inside is a click, wherever the press began.
    return penWasDown && !m_disabled ? 1 : 0;
}

void KrvMpButton::Render(P3D* ctx)
{
    if (m_hidden)
        return;
    PRect r = m_rect;
    if (m_pressed && (m_touchStyle & kHighlight))
        ctx->FillRect(r, kHighlightColour, P3DBLEND_ALPHA);
    if (m_framed)
        KrvMpDrawFrame(ctx, r);
    if (m_icon) {
        const int iconW = int(m_icon->Width());
        const int d = int(m_icon->Height()) - r.height;
        if (d > 0) {
            // A tall icon lifts the caption area by half the excess.
            r.y -= d >> 1;
            r.height += d >> 1;
        }
        PBlitFX fx;
        fx.alpha = m_iconDimmed ? 127 : 255;
        fx.scaleX = fx.scaleY = (m_pressed && (m_touchStyle & kGrowIcon)) ? kPressedScale : 0x10000;
        ctx->BlitFx(r.x + iconW / 2, r.y + r.height / 2, m_icon, nullptr, kIconBlitFlags, fx);
        r.x += iconW;
        r.width -= iconW;
    }
    m_caption.Render(ctx, kCaptionFont, r, KrvMpLabel::kCentered);
    if (m_disabled)
        ctx->FillRect(m_rect, kVeilColour, P3DBLEND_ALPHA);
}

// --- KrvMpButtonExt ---

void KrvMpButtonExt::Render(P3D* ctx)
{
    if (m_hidden)
        return;
    if (m_background)
        ctx->FillRect(m_rect, m_background, P3DBLEND_ALPHA);
    if (m_pressed && (m_touchStyle & kHighlight))
        ctx->FillRect(m_rect, kHighlightColour, P3DBLEND_ALPHA);
    if (m_framed)
        KrvMpDrawFrame(ctx, m_rect);
    int cursor = m_rect.x + kIconLeft;
    for (PSurface3D* icon : m_icons) {
        if (!icon)
            continue;
        ctx->Blit(cursor, m_rect.y + kIconCentreY - int(icon->Height()) / 2, icon, nullptr, PBLIT_TRANSPARENT);
        cursor += int(icon->Width());
    }
    PRect r = m_rect;
    r.width -= cursor - m_rect.x;
    r.x = cursor;
    m_caption.Render(ctx, kCaptionFont, r, KrvMpLabel::kCentered);
}
