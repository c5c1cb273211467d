// The flat pages of the main menu over the closed hatch: game selection,
// options, help, credits and more games, and the bars they are drawn with.
#include <algorithm>

#include "engine/graphics/p3d.h"
#include "engine/graphics/psprite3d.h"
#include "engine/graphics/psurface3d.h"
#include "engine/platform/pdevice.h"
#include "engine/runtime/pdebug.h"
#include "engine/runtime/pglobals.h"
#include "engine/runtime/psprintf.h"
#include "game/frontend/fonts.h"
#include "game/frontend/mainmenu.h"
#include "game/frontend/settings.h"
#include "game/frontend/uimoregames.h"
#include "game/world/audiomanager.h"
#include "game/world/levelsmanager.h"

namespace {

constexpr int kMetalBar = 6; // "metal_bar.png" of the globals block
constexpr unsigned kRowColour = 0x180808;
constexpr unsigned kHeldColour = 0xFFFFFF;
constexpr unsigned kAreaColour = 0x666666;
constexpr int kTitleFont = 2;
constexpr int kRowFont = 1;
constexpr int kCreditsFont = 3;
constexpr int kMoreGamesFont = 4;
constexpr int kMaxValue = 255;
constexpr uint32_t kCreditsStepMs = 59;
// The help page clips its text this far inside its area; a scaled-down
// picture keeps kHelpPictureMargin pixels to the clip, a text row kHelpTextMargin.
constexpr int kHelpClip = 6;
constexpr int kHelpPictureMargin = 4;
constexpr int kHelpTextMargin = 2;

enum HelpKind : int { KIND_TEXT = 1, KIND_CENTRED = 2, KIND_IMAGE = 4, KIND_RULE = 8 };
constexpr int T = KIND_TEXT | KIND_CENTRED;

PSurface3D* SharedImage(int i)
{
    PGlobals* g = PGetGlobals();
    return g && i >= 0 && i < 8 ? g->sharedImages[i] : nullptr;
}

// 16.16 page scale: max(height / 320, 1.0).
int32_t PageScale(int height) { return std::max<int32_t>(int32_t((int64_t(height) << 16) / 320), 0x10000); }

int Scaled(int v, int32_t s) { return int((int64_t(v) * s) >> 16); }

bool Inside(const PRect& r, int x, int y) { return x >= r.x && x <= r.x + r.width && y >= r.y && y <= r.y + r.height; }

// The platform reports a game volume of 0 while the device is muted.
bool DeviceMuted() { return PProfile::GetGameVolume() == 0; }

} // namespace

const MainMenu::HelpRow MainMenu::HelpTbl[kHelpRows] = {
    {T, 311, 2}, {T, 312, 3}, {KIND_RULE, 0, 0}, {T, 313, 3}, {KIND_RULE, 0, 0},
    {T, 314, 1}, {KIND_IMAGE, 0, 0}, {T, 315, 1}, {KIND_IMAGE, 1, 0}, {T, 316, 1}, {KIND_IMAGE, 2, 0},
    {T, 317, 1}, {KIND_IMAGE, 3, 0}, {T, 318, 1}, {KIND_IMAGE, 4, 0}, {T, 319, 1}, {KIND_IMAGE, 5, 0},
    {T, 320, 1}, {KIND_IMAGE, 6, 0}, {KIND_RULE, 0, 0},
    {T, 321, 2}, {T, 322, 1}, {T, 323, 3}, {T, 324, 1}, {T, 325, 3}, {T, 326, 1}, {T, 327, 3},
    {T, 328, 1}, {T, 329, 3}, {KIND_RULE, 0, 0},
    {T, 330, 2}, {T, 331, 1}, {T, 332, 3}, {T, 333, 1}, {T, 334, 3}, {T, 335, 1}, {T, 336, 3},
    {T, 337, 1}, {T, 338, 3}, {KIND_RULE, 0, 0},
    {T, 339, 2}, {T, 340, 3}, {T, -1, 0}, {T, 341, 1}, {T, 342, 3}, {T, -1, 0}, {T, 343, 1},
    {T, 344, 3}, {T, 345, 3}, {T, -1, 0}, {T, 346, 1}, {T, 347, 3}, {KIND_RULE, 0, 0},
    {T, 348, 2}, {T, 349, 3}, {T, 350, 3}, {T, -1, 0}, {T, 351, 1}, {T, 352, 3}, {T, -1, 0},
    {T, 353, 1}, {T, 354, 3}, {T, -1, 0}, {T, 355, 1}, {T, 356, 3}, {T, -1, 0}, {T, 357, 1},
    {T, 358, 3}, {T, -1, 0}, {T, 359, 1}, {T, 360, 3}, {KIND_RULE, 0, 0},
    {T, 361, 2}, {T, 362, 1}, {T, 363, 3}, {T, -1, 0}, {T, 364, 1}, {T, 365, 3}, {T, -1, 0},
    {T, 366, 1}, {T, 367, 3}, {T, -1, 0}, {T, 368, 1}, {T, 369, 3}, {T, -1, 0}, {T, 370, 1},
    {T, 371, 3}, {KIND_RULE, 0, 0},
};

const MainMenu::CreditsRow MainMenu::CreditsTbl[kCreditsRows] = {
    {KIND_TEXT | KIND_CENTRED, L"THE KORVANTH WORKSHOP"},
    {KIND_TEXT | KIND_CENTRED, L"PRESENTS"},
    {KIND_TEXT | KIND_CENTRED, L"KORVANTH"},
    {KIND_TEXT | KIND_CENTRED, L"WINGS OVER A TILTED WORLD"},
    {KIND_TEXT | KIND_CENTRED, L"POWERED BY"},
    {KIND_IMAGE, nullptr},
    {KIND_RULE, nullptr},
    {KIND_TEXT, L"A SMALL TEAM THAT LOVES"},
    {KIND_TEXT, L"OLD AIRCRAFT, LOUD ENGINES"},
    {KIND_TEXT, L"AND GAMES YOU HOLD IN"},
    {KIND_TEXT, L"BOTH HANDS. EVERY MISSION"},
    {KIND_TEXT, L"WAS FLOWN A HUNDRED TIMES"},
    {KIND_TEXT, L"BEFORE IT REACHED YOU."},
    {KIND_TEXT, L"THANK YOU FOR FLYING."},
    {KIND_RULE, nullptr},
};

// --- bars ---------------------------------------------------------------------------

void MainMenu::PlainBar(int x, int y, int w, int h, unsigned colour, bool animated)
{
    P3D* g = m_p3d;
    if (y < -3 || !g)
        return;
    g->HLine(0, y, m_width, 0xFF330808u, P3DBLEND_OPAQUE);
    g->HLine(0, y + 1, m_width, 0x80770000u, P3DBLEND_ALPHA);
    g->HLine(0, y + 2, m_width, 0xFF330808u, P3DBLEND_OPAQUE);
    g->HLine(0, y + h - 2, m_width, 0xFF330808u, P3DBLEND_OPAQUE);
    g->HLine(0, y + h - 1, m_width, 0x80770000u, P3DBLEND_ALPHA);
    g->HLine(0, y + h, m_width, 0xFF330808u, P3DBLEND_OPAQUE);
    if (h > 5)
        g->FillRect(x, y + 3, unsigned(w), unsigned(h - 5), (colour & 0xFFFFFFu) | 0x80000000u, P3DBLEND_ALPHA);
    if (!animated)
        return;
    // The running light: three passes to the right, three back.
    if (m_lightPhase < 3) {
        m_lightPos += 3;
        if (m_lightPos > w + 13) {
            m_lightPos = -13;
            if (++m_lightPhase == 3)
                m_lightPos = w + 13;
        }
    } else {
        m_lightPos -= 3;
        if (m_lightPos < -13) {
            m_lightPos = w + 13;
            if (++m_lightPhase == 6) {
                m_lightPhase = 0;
                m_lightPos = -13;
            }
        }
    }
    static const struct {
        int d;
        unsigned c;
    } kLight[] = {{-13, 0x990000}, {-12, 0x990000}, {-10, 0xBB0000}, {-9, 0xBB0000}, {-7, 0xCC0000}, {-6, 0xCC0000},
                  {-4, 0xEE0000},  {-3, 0xEE0000},  {-1, 0xFF0000},  {0, 0xFF0000},   {2, 0xEE0000},  {3, 0xEE0000},
                  {5, 0xCC0000},   {6, 0xCC0000},   {8, 0xBB0000},   {9, 0xBB0000},   {11, 0x990000}, {12, 0x990000}};
    for (const auto& l : kLight) {
        g->PutPixelRGB(x + m_lightPos + l.d, y + 1, 0xFF000000u | l.c, P3DBLEND_OPAQUE);
        g->PutPixelRGB(x + w - m_lightPos + l.d, y + h - 1, 0xFF000000u | l.c, P3DBLEND_OPAQUE);
    }
}

void MainMenu::DrawTxtBackgroundBar(int x, int y, int w, int h, unsigned colour, bool animated)
{
    PlainBar(x, y, w, h, colour, animated);
}

void MainMenu::DrawTxtBackgroundBar(PSurface3D* tile, int x, int y, int w, int h, unsigned colour, bool animated)
{
    if (!tile || !m_p3d || tile->Width() == 0) {
        PlainBar(x, y, w, h, colour, animated);
        return;
    }
    P3D* g = m_p3d;
    const int tw = int(tile->Width()), th = int(tile->Height());
    g->SetClipRect(x, y, x + w, y + h);
    // The tile tinted by the colour, over whatever the row shows.
    PBlitFX fx;
    fx.alpha = 0xB0;
    const unsigned c = colour & 0xFFFFFFu;
    fx.color = ((c >> 8) & 0xF800) | ((c >> 5) & 0x07E0) | ((c >> 3) & 0x001F);
    for (int k = 0; k <= w / tw; k++)
        g->BlitFx(PRect{x + k * tw, y, tw, th}, tile, nullptr, PS3D_ALPHA | PS3D_TINT, fx);
    if (h > th)
        g->FillRect(x, y + th, unsigned(w), unsigned(h - th), c | 0xB0000000u, P3DBLEND_ALPHA);
    g->ResetClipRect();
}

void MainMenu::DrawRowBar(const PRect& r, unsigned colour, bool animated, bool held)
{
    if (held) {
        m_p3d->SetClipRect(r);
        DrawGroundWithClouds();
        m_p3d->ResetClipRect();
        colour = kHeldColour;
    }
    DrawTxtBackgroundBar(SharedImage(kMetalBar), r.x, r.y, r.width, r.height, colour, animated);
}

void MainMenu::DrawBar(P3D* p3d, PRect r, int value, int max)
{
    if (!p3d || !m_barEmptySide || !m_barFillSide || !m_barEmpty || !m_barFill || max <= 0 || r.width <= 0)
        return;
    const int v = std::clamp(value, 0, max);
    PBlitFX fx;
    fx.alpha = 255;
    auto centredY = [&](PSurface3D* s) { return r.y + (r.height - int(s->Height())) / 2; };
    PSurface3D* left = v > 0 ? m_barFillSide : m_barEmptySide;
    p3d->BlitFx(PRect{r.x - int(left->Width()), centredY(left), int(left->Width()), int(left->Height())}, left,
                nullptr, PS3D_ALPHATEST | PS3D_MIRROR, fx);
    if (v >= max) {
        p3d->BlitFx(PRect{r.x + r.width, centredY(m_barFillSide), int(m_barFillSide->Width()),
                          int(m_barFillSide->Height())},
                    m_barFillSide, nullptr, PS3D_ALPHATEST, fx);
    } else {
        p3d->BlitFx(PRect{r.x + r.width, centredY(m_barEmptySide), int(m_barEmptySide->Width()),
                          int(m_barEmptySide->Height())},
                    m_barEmptySide, nullptr, PS3D_ALPHATEST, fx);
        p3d->BlitFx(PRect{r.x, centredY(m_barEmpty), r.width, int(m_barEmpty->Height())}, m_barEmpty, nullptr,
                    PS3D_ALPHATEST, fx);
    }
    const int f = int(int64_t(v) * r.width / max);
    if (f > 0)
        p3d->BlitFx(PRect{r.x, centredY(m_barFill), f, int(m_barFill->Height())}, m_barFill, nullptr, PS3D_ALPHATEST,
                    fx);
}

void MainMenu::DrawGroundWithClouds()
{
    if (!m_p3d || !m_earth)
        return;
    const int ew = m_height > 320 ? int(int64_t(m_earth->Width()) * m_height / 320) : int(m_earth->Width());
    const int offset = ew > 0 ? -int((m_now / 90) % uint32_t(ew)) : 0;
    for (int x = offset; x < m_width; x += ew > 0 ? ew : m_width)
        DrawSatellite(x, 52);
    for (PSprite3D* c : m_clouds)
        if (c)
            c->Draw();
}

// --- help images --------------------------------------------------------------------

void MainMenu::HelpImgLoad()
{
    HelpImgRelease();
    for (int i = 0; i < kHelpImages; i++) {
        char path[48];
        PSnprintf(path, int(sizeof path), "data\\2dgfx\\help_%d.png", i);
        m_helpImages[i] = m_p3d ? PSurface3D::CreateFromFile(m_p3d, path, PS3D_DROPIMAGE) : nullptr;
        if (!m_helpImages[i])
            _PDebug("MainMenu: no help picture %s; a gap instead\n", path);
    }
    const PRect v = HelpView();
    _PDebug("menu: help shown in %d,%d %dx%d\n", v.x, v.y, v.width, v.height);
}

void MainMenu::HelpImgRelease()
{
    for (PSurface3D*& p : m_helpImages) {
        delete p;
        p = nullptr;
    }
}

void MainMenu::HelpImgSetNull()
{
    for (PSurface3D*& p : m_helpImages)
        p = nullptr;
}

// --- the pages ----------------------------------------------------------------------

int MainMenu::ShowSubMenu()
{
    switch (page) {
    case PAGE_GAME_SELECTION:
        return PageGameSelection();
    case PAGE_OPTIONS:
        return PageOptions();
    case PAGE_HELP:
        return PageHelp();
    case PAGE_CREDITS:
        return PageCredits();
    case PAGE_MORE_GAMES:
        return PageMoreGames();
    default:
        return MAINMENU_STAY;
    }
}

void MainMenu::LeavePage(int item)
{
    TouchScreen_ReleasePen();
    Sound(CLIP_CONFIRM);
    page = PAGE_HATCH_OPEN;
    chosenItem = item;
    pageValue = 0;
    rotationMode = ROT_IDLE;
}

int MainMenu::DrawPageTitle(unsigned text, int x0, int y)
{
    if (!m_fonts)
        return 0;
    const int area = m_width - x0;
    m_fonts->Print(x0 + area / 2, y, text, kTitleFont, Fonts::kCenter);
    return m_fonts->Height(kTitleFont);
}

int MainMenu::PageGameSelection()
{
    const int32_t s = PageScale(m_height);
    const int x0 = m_width * 22 / 176;
    const int titleH = m_fonts ? m_fonts->Height(kTitleFont) : 0;
    const int rowFontH = m_fonts ? m_fonts->Height(kRowFont) : 0;
    DrawPageTitle(m_titleGameSelection, x0, Scaled(52, s) + 4);
    const int h1 = std::max(rowFontH + 8, 44);
    int top = Scaled(52, s) + titleH + 11;
    int tapped = -1;
    for (int i = 0; i < 4; i++, top += h1 + 1) {
        m_rowRects[i] = PRect{x0, top, m_width - x0, h1};
        const bool held = Pressed() && Inside(m_rowRects[i], m_touch.x, m_touch.y);
        if (held)
            pageValue = i;
        DrawRowBar(PRect{x0, top, m_width - x0, h1 + 1}, kRowColour, false, held);
        if (m_fonts)
            m_fonts->Print(x0 + (m_width - x0) / 2, top + (h1 - rowFontH) / 2, m_gameRows[i], kRowFont,
                           Fonts::kCenter);
        if (tapped < 0 && TouchScreen_IsPressedInside(m_rowRects[i].x, top, m_rowRects[i].width, h1))
            tapped = i;
    }
    const int up = input.PressedUp(m_keys), down = input.PressedDown(m_keys), fire = input.PressedFire(m_keys);
    if (BackPressed(true) || TouchScreen_IsPressedInside(m_backTouch.x, m_backTouch.y, m_backTouch.width,
                                                         m_backTouch.height)) {
        LeavePage(chosenItem);
        return MAINMENU_STAY;
    }
    if (up || down) {
        pageValue = (pageValue + (up ? 3 : 1)) % 4;
        m_lightPos = (m_width - x0) / 2;
    }
    if (tapped >= 0) {
        Sound(CLIP_CONFIRM);
        pageValue = tapped;
    }
    if (tapped < 0 && !fire)
        return MAINMENU_STAY;
    TouchScreen_ReleasePen();
    const int row = std::clamp(pageValue, 0, 3);
    if (row == 0) {
        chosenGroup = m_tutorialGroup;
        chosenLevel = 0;
        m_currentGroup = m_tutorialGroup;
        if (!m_settings)
            return MAINMENU_PLAY;
        m_settings->tutorialOffered = 1;
        return m_settings->Write() ? MAINMENU_PLAY : MAINMENU_PLAY_SETTINGS_FAILED;
    }
    if (m_settings && m_settings->tutorialOffered == 0) {
        TouchScreen_ReleasePen();
        return MAINMENU_TUTORIAL_OFFER;
    }
    previousPage = PAGE_GAME_SELECTION;
    page = PAGE_LEVELS_OPEN;
    if (row == 1) {
        Sound(CLIP_CHOOSE);
        chosenItem = PAGE_CAMPAIGNS;
        campaign = 0;
        pageValue = 0;
        for (int k = 0; k < m_campaignCount; k++)
            if (m_campaignGroups[k])
                m_campaignGroups[k]->selected = 0;
    } else {
        chosenItem = row == 2 ? PAGE_TIME_ATTACK : PAGE_ARCADE;
    }
    return MAINMENU_STAY;
}

int MainMenu::PageOptions()
{
    const int32_t s = PageScale(m_height);
    const int x0 = m_width > 480 ? m_width * 59 / 480 : 59;
    const int titleH = m_fonts ? m_fonts->Height(kTitleFont) : 0;
    const int fh = m_fonts ? m_fonts->Height(kRowFont) : 0;
    m_p3d->SetClipRect(x0, 0, m_width, m_height);
    DrawPageTitle(m_titleOptions, x0, Scaled(50, s) + (titleH + 8) / 2 - titleH / 2);
    m_p3d->ResetClipRect();

    static const unsigned kLabels[4] = {17, 18, 20, 19};
    const int rowH = std::max(fh + 8, 44), step = std::max(fh + 9, 45);
    const int c = fh + 8 < 44 ? 22 : (fh + 8) / 2;
    int column = 0;
    for (unsigned id : kLabels)
        column = std::max(column, m_fonts ? m_fonts->StringWidth(kRowFont, id) : 0);
    column += 16;
    const int rest = m_width - x0 - column;
    const bool muted = DeviceMuted();
    uint8_t* values[4] = {nullptr, nullptr, nullptr, nullptr};
    if (m_settings) {
        values[0] = &m_settings->musicVolume;
        values[1] = &m_settings->effectsVolume;
        values[2] = &m_settings->invertSteering;
        values[3] = &m_settings->sensitivity;
    }
    const uint8_t* saved[4] = {nullptr, nullptr, nullptr, nullptr};
    if (m_settings) {
        saved[0] = &m_settings->savedMusicVolume;
        saved[1] = &m_settings->savedEffectsVolume;
        saved[3] = &m_settings->savedSensitivity;
    }

    int top = Scaled(50, s) + titleH + 14;
    int pressedRow = -1;
    for (int i = 0; i < 4; i++, top += step) {
        m_rowRects[i] = PRect{x0, top, m_width - x0, rowH};
        m_barRects[i] = PRect{x0 + column + 8, top + 8, rest - 24, rowH - 16};
        const bool on = Inside(m_rowRects[i], m_touch.x, m_touch.y);
        if (on && Pressed())
            pressedRow = i;
        DrawRowBar(m_rowRects[i], kRowColour, true, Pressed() && on);
        if (m_fonts)
            m_fonts->Print(x0 + column / 2, top + c - fh / 2, kLabels[i], kRowFont, Fonts::kCenter);
        if (i == 2) {
            if (m_fonts)
                m_fonts->Print(x0 + column + rest / 2, top + c - fh / 2, values[2] && *values[2] ? 23u : 24u,
                               kRowFont, Fonts::kCenter);
        } else {
            const int shown = values[i] ? (i < 2 && muted ? 0 : *values[i]) : 0;
            DrawBar(m_p3d, m_barRects[i], shown, kMaxValue);
        }
    }

    // A press on a row starts a drag; the bars follow the finger.
    if (pressedRow >= 0 && m_optionsRow < 0) {
        m_optionsRow = pressedRow;
        m_optionsDragX = m_touch.x;
        if (m_settings)
            m_settings->SetBuffers();
    }
    if (m_optionsRow >= 0 && m_touch.pressed && m_optionsRow != 2 && m_settings && !(m_optionsRow < 2 && muted)) {
        const int v = std::clamp(*saved[m_optionsRow] + (m_touch.x - m_optionsDragX), 0, kMaxValue);
        *values[m_optionsRow] = uint8_t(v);
        if (m_optionsRow < 2 && m_sounds)
            m_sounds->SetVolume(m_optionsRow == 0 ? AudioManager::GROUP_MUSIC : AudioManager::GROUP_EFFECTS, v);
    }
    const bool onBack = Inside(m_backTouch, m_touch.x, m_touch.y) && m_backTouch.width > 0;
    if (BackPressed(true) || (Released() && onBack)) {
        m_optionsRow = -1;
        const int first = m_settings ? m_settings->Write() : 1;
        LeavePage(ITEM_OPTIONS);
        if (fromGame) {
            fromGame = 0;
            return MAINMENU_BACK_TO_GAME;
        }
        (void)first;
        const int again = m_settings ? m_settings->Write() : 1;
        return again ? MAINMENU_STAY : MAINMENU_SETTINGS_FAILED;
    }
    if (Released()) {
        if (Inside(m_rowRects[2], m_touch.x, m_touch.y) && m_optionsRow == 2 && values[2]) {
            *values[2] = *values[2] == 0 ? 1 : 0;
            m_settings->Write();
        } else if (m_optionsRow >= 0 || !onBack) {
            if (m_settings)
                m_settings->Write();
        }
        m_optionsRow = -1;
        m_optionsDragX = -1;
        TouchScreen_ReleasePen();
    }
    return MAINMENU_STAY;
}

PRect MainMenu::HelpView() const
{
    const int x0 = m_width * 22 / 176;
    const int titleH = m_fonts ? m_fonts->Height(kTitleFont) : 0;
    const int f0 = m_fonts ? m_fonts->Height(0) : 0;
    const int areaTop = titleH + 8 + m_height * 35 / 208;
    const int areaH = (f0 + 136 - titleH - 8) * m_height / 208;
    return PRect{x0 + kHelpClip, areaTop + kHelpClip, m_width - x0 - 2 * kHelpClip, areaH - 2 * kHelpClip};
}

void MainMenu::HelpPictureSize(const PSurface3D* img, const PRect& view, int& w, int& h)
{
    w = h = 0;
    if (!img)
        return;
    w = int(img->Width());
    h = int(img->Height());
    const int maxW = std::max(view.width - 2 * kHelpPictureMargin, 1);
    const int maxH = std::max(view.height - 2 * kHelpPictureMargin, 1);
    if (w <= maxW && h <= maxH)
        return;
    // The smaller of the two scales, so that both sides fit.
    if (int64_t(maxW) * h <= int64_t(maxH) * w) {
        h = std::max(int(int64_t(h) * maxW / w), 1);
        w = maxW;
    } else {
        w = std::max(int(int64_t(w) * maxH / h), 1);
        h = maxH;
    }
}

int MainMenu::HelpContentHeight(const PRect& view)
{
    int h = 0;
    for (const HelpRow& r : HelpTbl) {
        if (r.kind & KIND_RULE) {
            h += 9;
        } else if (r.kind & KIND_IMAGE) {
            PSurface3D* img = r.value >= 0 && r.value < kHelpImages ? m_helpImages[r.value] : nullptr;
            int w = 0, ih = 0;
            HelpPictureSize(img, view, w, ih);
            h += img ? ih + 9 : 11;
        } else if (r.value < 0) {
            h += 17;
        } else if (m_fonts) {
            const int lh = m_fonts->Height(r.font) + 4;
            h += m_fonts->TestSection(r.font, 0, 0, lh, view.width - 2 * kHelpTextMargin,
                                      m_fonts->GetStr(unsigned(r.value)), Fonts::kCenter) *
                     lh +
                 1;
        }
    }
    return h;
}

int MainMenu::PageHelp()
{
    const int x0 = m_width * 22 / 176;
    DrawPageTitle(m_titleHelp, x0, m_height * 35 / 208 + 4);
    // The text and pictures are drawn inside view, the area less its clip:
    // text rows wrap within its width and pictures are scaled down to fit it,
    // so nothing is cut at the sides on any screen.
    const PRect view = HelpView();
    const PRect area = {x0, view.y - kHelpClip, m_width - x0, view.height + 2 * kHelpClip};
    const int areaTop = area.y, areaH = area.height;
    m_p3d->SetClipRect(area);
    DrawGroundWithClouds();
    m_p3d->ResetClipRect();
    DrawTxtBackgroundBar(SharedImage(kMetalBar), area.x, area.y, area.width, area.height, kAreaColour, false);

    const int content = HelpContentHeight(view) + 10;
    // Scrolling by a vertical drag.
    // A drag that starts in the area goes on wherever the finger moves.
    if (Pressed() && (m_scrollDrag || Inside(area, m_touch.x, m_touch.y))) {
        if (!m_scrollDrag) {
            m_scrollDrag = true;
            m_helpDragStart = m_helpTarget;
            m_dragY = m_touch.y;
        }
        m_helpTarget = m_helpDragStart + (m_touch.y - m_dragY);
    } else {
        m_scrollDrag = false;
    }
    m_helpTarget = std::clamp(m_helpTarget, std::min(0, -(content - areaH)), 0);
    const int q = (m_helpTarget - m_helpScroll) / 4;
    m_helpScroll = q == 0 ? m_helpTarget : m_helpScroll + q;

    m_p3d->SetClipRect(view);
    int y = m_helpScroll + 10 + areaTop;
    for (const HelpRow& r : HelpTbl) {
        if (y > areaTop + areaH)
            break;
        if (r.kind & KIND_RULE) {
            m_p3d->HLine(x0 + 3, y + 4, m_width - 6 - x0, 0xFF000000u, P3DBLEND_OPAQUE);
            y += 9;
        } else if (r.kind & KIND_IMAGE) {
            PSurface3D* img = r.value >= 0 && r.value < kHelpImages ? m_helpImages[r.value] : nullptr;
            int w = 0, h = 0;
            HelpPictureSize(img, view, w, h);
            if (img) {
                const int x = x0 + (m_width - x0 - w) / 2;
                if (w == int(img->Width()) && h == int(img->Height())) {
                    m_p3d->Blit(x, y, img, nullptr, 0);
                } else {
                    PBlitFX fx;
                    fx.alpha = 255;
                    m_p3d->BlitFx(PRect{x, y, w, h}, img, nullptr, PS3D_SCALE | PS3D_SMOOTH, fx);
                }
                y += h + 9;
            } else {
                y += 11;
            }
        } else if (r.value < 0) {
            y += 17;
        } else if (m_fonts) {
            const int lh = m_fonts->Height(r.font) + 4;
            const int lines = m_fonts->PrintSection(r.font, view.x + kHelpTextMargin, y, lh,
                                                    view.width - 2 * kHelpTextMargin,
                                                    m_fonts->GetStr(unsigned(r.value)),
                                                    (r.kind & KIND_CENTRED) ? Fonts::kCenter : Fonts::kLeft);
            y += lines * lh + 1;
        }
    }
    m_p3d->ResetClipRect();

    if (BackPressed(true) ||
        TouchScreen_IsPressedInside(m_backTouch.x, m_backTouch.y, m_backTouch.width, m_backTouch.height)) {
        HelpImgRelease();
        LeavePage(ITEM_HELP);
        m_helpScroll = m_helpTarget = 0;
    } else if (Released()) {
        TouchScreen_ReleasePen();
    }
    return MAINMENU_STAY;
}

int MainMenu::PageCredits()
{
    const int titleH = m_fonts ? m_fonts->Height(kTitleFont) : 0;
    const int fh = m_fonts ? m_fonts->Height(kCreditsFont) : 0;
    const int cx = m_width / 2 + 29;
    if (m_fonts)
        m_fonts->Print(cx, (titleH + 31) * m_height / 208 - (titleH + 8) / 2 - titleH / 2, m_titleCredits, kTitleFont,
                       Fonts::kCenter);
    const int top = (titleH + 31) * m_height / 208;
    m_creditsStart = m_height * 174 / 208;
    const PRect area = {59, top, m_width - 59, m_creditsStart - top};
    m_p3d->SetClipRect(area);
    DrawGroundWithClouds();
    m_p3d->ResetClipRect();
    DrawTxtBackgroundBar(SharedImage(kMetalBar), area.x, area.y, area.width, area.height, kAreaColour, false);

    // Rows from the current line downward.
    m_p3d->SetClipRect(area);
    int y = m_creditsLine;
    for (const CreditsRow& r : CreditsTbl) {
        if (r.flags & KIND_TEXT) {
            if (m_fonts && r.text) {
                if (r.flags & KIND_CENTRED)
                    m_fonts->Print(cx, y, r.text, kCreditsFont, Fonts::kCenter);
                else
                    m_fonts->Print(62, y, r.text, kCreditsFont, Fonts::kLeft);
            }
            y += fh;
        } else if (r.flags & KIND_IMAGE) {
            PSurface3D* img = r.text ? m_creditsImage : m_logo;
            if (img) {
                m_p3d->Blit(cx - int(img->Width()) / 2, y, img, nullptr, PS3D_ALPHATEST);
                y += int(img->Height()) + 2;
            }
        } else if (r.flags & KIND_RULE) {
            m_p3d->HLine(62, y + 4, m_width - 65, 0xFF000000u, P3DBLEND_OPAQUE);
            y += 8;
        }
        y += 1;
    }
    const int listEnd = y;
    m_p3d->ResetClipRect();
    if (m_fonts)
        m_fonts->Print(59, m_creditsStart, "VER:1.0.0", kCreditsFont);

    if (m_touch.pressed && (m_scrollDrag || Inside(area, m_touch.x, m_touch.y))) {
        if (Pressed() && !m_scrollDrag) {
            m_scrollDrag = true;
            m_creditsDragStart = m_creditsTarget;
            m_dragY = m_touch.y;
        }
        if (m_scrollDrag)
            m_creditsTarget = std::min(m_creditsDragStart + (m_touch.y - m_dragY), m_creditsStart);
        const int q = (m_creditsTarget - m_creditsLine) / 4;
        m_creditsLine = q == 0 ? m_creditsTarget : m_creditsLine + q;
    } else {
        m_scrollDrag = false;
        if (m_now - m_creditsStep > kCreditsStepMs) {
            m_creditsStep = m_now;
            m_creditsLine -= ToFps(1);
        }
        if (listEnd < top)
            m_creditsLine = m_creditsStart;
        m_creditsTarget = m_creditsLine;
    }

    if (BackPressed(true) ||
        TouchScreen_IsPressedInside(m_backTouch.x, m_backTouch.y, m_backTouch.width, m_backTouch.height)) {
        LeavePage(ITEM_CREDITS);
    } else if (Released()) {
        TouchScreen_ReleasePen();
    }
    return MAINMENU_STAY;
}

int MainMenu::PageMoreGames()
{
    const int x0 = m_width * 22 / 176;
    const PRect area = {x0, m_height * 35 / 208, m_width - x0, m_height * 141 / 208};
    m_p3d->SetClipRect(area);
    DrawGroundWithClouds();
    m_p3d->ResetClipRect();
    DrawTxtBackgroundBar(SharedImage(kMetalBar), area.x, area.y, area.width, area.height, kAreaColour, false);
    if (m_moreGames) {
        m_moreGames->SetRect(area.x, area.y, area.width, area.height);
        m_moreGames->update(m_keys, m_now, uint32_t(m_frameTime));
        m_moreGames->render();
        if (m_touch.pressed || m_touch.wasPressed)
            m_moreGames->onTouch(m_touch.x, m_touch.y, m_touch.pressed);
    }
    if (m_fonts) {
        const wchar_t* text = m_fonts->GetStr(385);
        // The ticker runs until the last drawn column has left the screen.
        const int tw = m_fonts->DrawnWidth(kMoreGamesFont, text);
        const int x = m_width - int(int64_t(m_now % 9000) * (tw + m_width) / 9000);
        m_fonts->Print(x, m_height - m_fonts->Height(kMoreGamesFont), text, kMoreGamesFont);
    }
    if (BackPressed(true) ||
        TouchScreen_IsPressedInside(m_backTouch.x, m_backTouch.y, m_backTouch.width, m_backTouch.height)) {
        TouchScreen_ReleasePen();
        Sound(CLIP_CONFIRM);
        page = PAGE_HATCH_OPEN;
        pageValue = 0;
        rotationMode = ROT_IDLE;
        if (m_moreGames)
            m_moreGames->release();
    }
    return MAINMENU_STAY;
}
