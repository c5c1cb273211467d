#include "game/frontend/loading.h"

#include "engine/graphics/p3d.h"
#include "engine/graphics/pblit.h"
#include "engine/graphics/psurface3d.h"
#include "engine/platform/pdisplay.h"
#include "engine/runtime/pglobals.h"
#include "game/frontend/fonts.h"

Loading::Loading(P3D* p3d, PDisplay* display, int width, int height, Fonts* fonts)
    : m_p3d(p3d), m_display(display), m_width(width), m_height(height), m_fonts(fonts)
{
}

void Loading::DefineBar(int y, int width, int height)
{
    m_barY = y;
    m_barWidth = width;
    m_barHeight = height;
}

void Loading::SetSize(int width, int height)
{
    m_width = width;
    m_height = height;
}

void Loading::Init(int total)
{
    m_total = total;
    m_step = 0;
}

int Loading::FillWidth() const
{
    if (m_total == kTotalFull || m_total == kTotalReady)
        return m_barWidth;
    if (m_total <= 0 || m_barWidth <= 0)
        return 0;
    // The share done as a 16.16 fraction of the bar.
    const int64_t share = (int64_t(m_step) << 16) / m_total;
    return int((int64_t(m_barWidth) * share) >> 16);
}

void Loading::Update()
{
    if (m_total > 0 && m_step < m_total)
        m_step++;
    const unsigned caption = m_total == kTotalReady ? kCaptionReady : kCaptionLoading;
    if (m_p3d) {
        m_p3d->Clear(0xff000000);
        PGlobals* g = PGetGlobals();
        auto* background = g ? static_cast<PSurface3D*>(g->sharedImages[kBackgroundImage]) : nullptr;
        if (background) {
            const PRect screen{0, 0, m_width, m_height};
            m_p3d->BlitFx(screen, background, nullptr, 0, PBlitFX{});
        }
        if (m_fonts) {
            if (m_total >= 0)
                m_fonts->Print(m_width / 2, kHeadingY, kHeading, kFont, Fonts::kCenter);
            m_fonts->Print(m_width / 2, m_height / 2 - m_fonts->Height(kFont) / 2, caption, kFont, Fonts::kCenter);
        }
        const int barX = m_width / 2 - m_barWidth / 2;
        if (m_barWidth > 0 && m_barHeight > 0) {
            m_p3d->FillRect(barX - 1, m_barY - 1, unsigned(m_barWidth + 2), unsigned(m_barHeight + 2), kFrameColour,
                            P3DBLEND_OPAQUE);
            const int fill = FillWidth();
            if (fill > 0)
                m_p3d->FillRect(barX, m_barY, unsigned(fill), unsigned(m_barHeight), kFillColour, P3DBLEND_OPAQUE);
        }
    }
    if (m_display)
        m_display->Update(0);
}
