#include "game/frontend/submenu.h"

#include "engine/graphics/p3d.h"
#include "engine/graphics/pblit.h"
#include "engine/graphics/psurface3d.h"
#include "engine/runtime/pdebug.h"
#include "engine/runtime/pglobals.h"
#include "game/frontend/fonts.h"

const char* const SubMenu::kFrameFiles[FRAME_IMAGE_COUNT] = {
    "data\\2dgfx\\frame_center.png",       "data\\2dgfx\\frame_bottom.png",
    "data\\2dgfx\\frame_left.png",         "data\\2dgfx\\frame_left_bottom.png",
    "data\\2dgfx\\frame_left_top.png",     "data\\2dgfx\\frame_right.png",
    "data\\2dgfx\\frame_right_bottom.png", "data\\2dgfx\\frame_right_top.png",
    "data\\2dgfx\\frame_top.png",
};

// Resume, restart, main menu, leave the match, next level, options, tilt
// calibration.
const unsigned SubMenu::kActionTexts[ACTION_NONE] = {119, 120, 121, 243, 127, 25, 305};

SubMenu::SubMenu(int width, int height, Fonts* fonts) : m_screenWidth(width), m_screenHeight(height), m_fonts(fonts)
{
    m_fontHeight = fonts ? fonts->Height(kFont) : 0;
    m_rowHeight = m_fontHeight + 2;
}

SubMenu::~SubMenu()
{
    for (PSurface3D*& f : m_frames) {
        delete f;
        f = nullptr;
    }
}

int SubMenu::LoadFrameImages(P3D* p3d)
{
    int loaded = 0;
    for (int i = 0; i < FRAME_IMAGE_COUNT; i++) {
        delete m_frames[i];
        m_frames[i] = p3d ? PSurface3D::CreateFromFile(p3d, kFrameFiles[i], PS3D_DROPIMAGE) : nullptr;
        if (m_frames[i])
            loaded++;
        else
            _PDebug("SubMenu: frame picture %s missing; not drawn\n", kFrameFiles[i]);
    }
    return loaded == FRAME_IMAGE_COUNT ? 1 : 0;
}

void SubMenu::Clear()
{
    m_labels.clear();
    m_actions.clear();
    m_highlight = -1;
}

void SubMenu::Open(const ACTION* actions, signed char count)
{
    Clear();
    int widest = 0;
    for (int i = 0; actions && i < count; i++) {
        const int a = actions[i];
        const wchar_t* text = nullptr;
        if (a >= 0 && a < ACTION_NONE && m_fonts)
            text = m_fonts->GetStr(kActionTexts[a]);
        m_labels.emplace_back(text ? text : L"");
        m_actions.push_back(a);
        if (m_fonts) {
            const int w = m_fonts->StringWidth(kFont, m_labels.back().c_str());
            if (w > widest)
                widest = w;
        }
    }
    if (m_rowHeight < kMinRowHeight)
        m_rowHeight = kMinRowHeight;
    m_w = widest + kPadding;
    m_h = m_rowHeight * int(m_actions.size()) + 4;
    Centre();
    m_state = STATE_OPENING;
    m_insetX = m_w / 2;
    m_insetY = m_h / 2;
    m_curW = 0;
    m_curH = 0;
}

void SubMenu::Close()
{
    m_state = STATE_CLOSED;
    m_highlight = -1;
}

void SubMenu::Centre()
{
    m_x = (m_screenWidth - m_w) / 2;
    m_y = (m_screenHeight - m_h) / 2;
}

void SubMenu::ShowFullyOpen()
{
    m_insetX = m_insetY = 0;
    m_curW = m_w;
    m_curH = m_h;
    m_state = STATE_OPEN;
}

void SubMenu::Rearrange(int width, int height)
{
    m_screenWidth = width;
    m_screenHeight = height;
    if (m_state == STATE_CLOSED)
        return;
    Centre();
    if (m_state == STATE_OPENING)
        ShowFullyOpen();
}

int SubMenu::TouchScreen_Process(int x, int y, int& pressed, int& released)
{
    if (m_state == STATE_CLOSED)
        return ACTION_NONE;
    // Edges belong to the regions they bound.
    if (x < m_x || x > m_x + m_w || y < m_y || y > m_y + m_h) {
        m_highlight = -1;
        return ACTION_NONE;
    }
    for (int i = 0; i < int(m_actions.size()); i++) {
        const int top = m_y + 2 + i * m_rowHeight;
        if (y < top || y > top + m_rowHeight)
            continue;
        if (pressed)
            m_highlight = i;
        if (released) {
            m_highlight = -1;
            released = 0;
            return m_actions[size_t(i)];
        }
        return ACTION_NONE;
    }
    return ACTION_NONE;
}

int SubMenu::Process(MyInput*, int) { return ACTION_NONE; }

void SubMenu::Animate()
{
    m_insetX -= m_w / 8;
    m_insetY -= m_h / 4;
    m_curW += m_w / 4;
    m_curH += m_h / 2;
    if (m_insetX < 0)
        m_insetX = 0;
    if (m_insetY < 0)
        m_insetY = 0;
    if (m_curW > m_w)
        m_curW = m_w;
    if (m_curH > m_h)
        m_curH = m_h;
    if (m_insetX == 0 && m_insetY == 0 && m_curW == m_w && m_curH == m_h)
        m_state = STATE_OPEN;
}

void SubMenu::DrawFrame(P3D* p3d, int x, int y, int w, int h)
{
    if (w <= 0 || h <= 0)
        return;
    PGlobals* g = PGetGlobals();
    if (auto* background = g ? static_cast<PSurface3D*>(g->sharedImages[kBackgroundImage]) : nullptr) {
        PBlitFX fx;
        fx.alpha = kBackgroundAlpha;
        p3d->BlitFx(PRect{x, y, w, h}, background, nullptr, PS3D_ALPHA, fx);
    }
    // Corners at their own size, edges stretched between them, the centre
    // stretched over the rest; each picture blends by its own alpha.
    auto size = [&](int i, int& fw, int& fh) {
        fw = m_frames[i] ? int(m_frames[i]->Width()) : 0;
        fh = m_frames[i] ? int(m_frames[i]->Height()) : 0;
    };
    int ltw, lth, rtw, rth, lbw, lbh, rbw, rbh;
    size(FRAME_LEFT_TOP, ltw, lth);
    size(FRAME_RIGHT_TOP, rtw, rth);
    size(FRAME_LEFT_BOTTOM, lbw, lbh);
    size(FRAME_RIGHT_BOTTOM, rbw, rbh);
    const PBlitFX fx;
    auto put = [&](int i, int px, int py, int pw, int ph) {
        if (m_frames[i] && pw > 0 && ph > 0)
            p3d->BlitFx(PRect{px, py, pw, ph}, m_frames[i], nullptr, PS3D_BLEND, fx);
    };
    const int left = ltw > lbw ? ltw : lbw, right = rtw > rbw ? rtw : rbw;
    const int top = lth > rth ? lth : rth, bottom = lbh > rbh ? lbh : rbh;
    put(FRAME_CENTER, x + left, y + top, w - left - right, h - top - bottom);
    put(FRAME_TOP, x + ltw, y, w - ltw - rtw, top);
    put(FRAME_BOTTOM, x + lbw, y + h - bottom, w - lbw - rbw, bottom);
    put(FRAME_LEFT, x, y + lth, left, h - lth - lbh);
    put(FRAME_RIGHT, x + w - right, y + rth, right, h - rth - rbh);
    put(FRAME_LEFT_TOP, x, y, ltw, lth);
    put(FRAME_RIGHT_TOP, x + w - rtw, y, rtw, rth);
    put(FRAME_LEFT_BOTTOM, x, y + h - lbh, lbw, lbh);
    put(FRAME_RIGHT_BOTTOM, x + w - rbw, y + h - rbh, rbw, rbh);
}

void SubMenu::Render(P3D* p3d)
{
    if (m_state == STATE_CLOSED || !p3d)
        return;
    if (m_state == STATE_OPENING)
        Animate();
    p3d->FillRect(0, 0, unsigned(m_screenWidth), unsigned(m_screenHeight), kDimColour, P3DBLEND_ALPHA);
    DrawFrame(p3d, m_x + m_insetX, m_y + m_insetY, m_curW, m_curH);
    if (m_state != STATE_OPEN)
        return;
    if (m_highlight >= 0 && m_highlight < int(m_actions.size()))
        p3d->FillRect(m_x + 6, m_y + 2 + m_highlight * m_rowHeight, unsigned(m_w - 12), unsigned(m_rowHeight - 4),
                      kHighlightColour, P3DBLEND_ALPHA);
    if (!m_fonts)
        return;
    for (int i = 0; i < int(m_labels.size()); i++) {
        const int rowTop = m_y + 2 + i * m_rowHeight;
        m_fonts->Print(m_x + 1 + m_w / 2, rowTop + (m_rowHeight - m_fontHeight) / 2, m_labels[size_t(i)].c_str(),
                       kFont, Fonts::kCenter);
    }
}
