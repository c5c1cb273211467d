#include "game/frontend/uimoregames.h"

#include "engine/graphics/p3d.h"
#include "engine/graphics/pblit.h"
#include "engine/graphics/psurface3d.h"
#include "engine/runtime/pdebug.h"

const char* const UIMoreGames::kPictureFiles[kPictures] = {
    "data\\2dgfx\\xa_logo.png",
    "data\\2dgfx\\xb_logo.png",
    "data\\2dgfx\\xc_logo.png",
    "data\\2dgfx\\xd_logo.png",
};

namespace {
constexpr int kLoadFlags = 0x2000 | PS3D_DROPIMAGE; // true colour with alpha
constexpr int kFadeRows = 10;
constexpr int kFadeStep = 25;
constexpr int32_t kDampTouching = 26214; // 0.4
constexpr int32_t kDampFree = 52428;     // 0.8
} // namespace

void UIMoreGames::init()
{
    release();
    for (int i = 0; i < kPictures; i++) {
        m_pictures[i] = m_p3d ? PSurface3D::CreateFromFile(m_p3d, kPictureFiles[i], kLoadFlags) : nullptr;
        if (!m_pictures[i])
            _PDebug("UIMoreGames: no picture %s\n", kPictureFiles[i]);
    }
    m_pictureHeight = m_pictures[0] ? int(m_pictures[0]->Height()) + 4 : 16;
    m_loop = kPictures * m_pictureHeight;
    m_velocity = m_position = 0;
    m_touching = 0;
    m_lastX = m_lastY = 0;
}

void UIMoreGames::release()
{
    for (PSurface3D*& p : m_pictures) {
        delete p;
        p = nullptr;
    }
}

void UIMoreGames::onTouch(int x, int y, int pressed)
{
    if (m_touching)
        m_velocity += int32_t(int64_t(y - m_lastY) * 65536);
    m_lastX = x;
    m_lastY = y;
    m_touching = pressed ? 1 : 0;
}

void UIMoreGames::update(int, uint32_t, uint32_t)
{
    const int64_t loop = int64_t(m_loop) << 16;
    int64_t p = int64_t(m_position) + m_velocity;
    // Wrapped into (-loop, loop); a huge flick takes several turns.
    if (loop > 0)
        p %= loop;
    m_position = int32_t(p);
    m_velocity = int32_t(int64_t(m_velocity) * (m_touching ? kDampTouching : kDampFree) / 65536);
}

void UIMoreGames::DrawRow(int i, int x, int y, int row, int alpha)
{
    PSurface3D* pic = m_pictures[i];
    if (!pic || row < 0 || row >= int(pic->Height()))
        return;
    PRect src = {0, row, int(pic->Width()), 1};
    PBlitFX fx;
    fx.alpha = uint32_t(alpha);
    m_p3d->BlitFx(PRect{x, y + row, int(pic->Width()), 1}, pic, &src, PS3D_ALPHA | PS3D_BLEND, fx);
}

void UIMoreGames::renderFadedTop(int i, int x, int y)
{
    // The picture's rows in the band of kFadeRows above the area.
    int alpha = kFadeStep;
    for (int sy = m_y - kFadeRows; sy < m_y; sy++, alpha += kFadeStep)
        DrawRow(i, x, y, sy - y, alpha > 255 ? 255 : alpha);
}

void UIMoreGames::renderFadedBottom(int i, int x, int y)
{
    int alpha = 255 - kFadeStep;
    const int bottom = m_y + m_h;
    for (int sy = bottom; sy < bottom + kFadeRows && alpha > 0; sy++, alpha -= kFadeStep)
        DrawRow(i, x, y, sy - y, alpha);
}

void UIMoreGames::render()
{
    if (!m_pictures[0] || !m_p3d || m_w <= 0 || m_h <= 0)
        return;
    const int bottom = m_y + m_h;
    auto drawOne = [&](int i, int y) {
        PSurface3D* pic = m_pictures[i];
        if (!pic)
            return;
        const int x = m_x + (m_w - int(pic->Width())) / 2;
        if (y < m_y || y + int(pic->Height()) > bottom) {
            m_p3d->ResetClipRect();
            if (y < m_y)
                renderFadedTop(i, x, y);
            if (y + int(pic->Height()) > bottom)
                renderFadedBottom(i, x, y);
            m_p3d->SetClipRect(m_x, m_y, m_x + m_w, bottom);
        }
        PBlitFX fx;
        fx.alpha = 255;
        m_p3d->BlitFx(PRect{x, y, int(pic->Width()), int(pic->Height())}, pic, nullptr, PS3D_BLEND, fx);
    };
    m_p3d->SetClipRect(m_x, m_y, m_x + m_w, bottom);
    if (m_loop > m_h) {
        int y = m_y + (m_h - m_pictureHeight) / 2 - 2 * m_loop + (m_position >> 16);
        for (int k = 0; y <= bottom + 9 && k < 64; k++, y += m_pictureHeight)
            if (y + m_pictureHeight >= m_y - kFadeRows)
                drawOne(k % kPictures, y);
    } else {
        int y = m_y + 8 + (m_h - m_loop) / 2;
        for (int i = 0; i < kPictures; i++, y += m_pictureHeight)
            drawOne(i, y);
    }
    m_p3d->ResetClipRect();
}
