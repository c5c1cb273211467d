// The level pages of the main menu over the war-room picture: campaigns,
// time attack and the arcade set-up, and the transitions into them from the
// game selection and back.
#include <algorithm>
#include <string>

#include "engine/graphics/p3d.h"
#include "engine/graphics/psurface3d.h"
#include "engine/runtime/pdebug.h"
#include "engine/runtime/pglobals.h"
#include "game/frontend/fonts.h"
#include "game/frontend/mainmenu.h"
#include "game/frontend/profile.h"
#include "game/frontend/profilemanager.h"
#include "game/world/levelsmanager.h"
#include "game/world/splevelmanager.h"

namespace {

constexpr int kBackPaper = 5; // "soft_label_back_paper.png"
constexpr int kWarroom = 7;   // "warroom.png"
constexpr int kTitleFont = 0;
constexpr unsigned kListColour = 0xFFCC88;
// Titles of the three level pages.
constexpr unsigned kTextCampaignsTitle = 13, kTextTimeAttackTitle = 31, kTextArcadeTitle = 32;
constexpr unsigned kTextCampaign = 30;
constexpr unsigned kNameStrip = 0x8C000000; // the strip under a campaign's name
constexpr unsigned kFrameColours[3] = {0xFF440808u, 0xFF990B0Bu, 0xFF440808u};
// The arcade start button's distance from the screen's bottom, and the room
// the settings window leaves above it.
constexpr int kStartBottom = 6, kStartGap = 4;

PSurface3D* SharedImage(int i)
{
    PGlobals* g = PGetGlobals();
    return g && i >= 0 && i < 8 ? g->sharedImages[i] : nullptr;
}

} // namespace

bool MainMenu::LeaveLevelPage()
{
    PRect r = DrawSoftIcon_Right(m_p3d, m_props, SharedImage(kBackPaper));
    m_backTouch = r;
    GrowBackRect(nullptr);
    const bool tapped = m_backTouch.width > 0 && TouchScreen_IsPressedInside(m_backTouch.x, m_backTouch.y,
                                                                             m_backTouch.width, m_backTouch.height);
    if (!tapped && !BackPressed(true))
        return false;
    TouchScreen_ReleasePen();
    Sound(CLIP_CONFIRM);
    page = PAGE_LEVELS_CLOSE;
    m_transition = 1;
    rotationMode = ROT_IDLE;
    chosenItem = PAGE_GAME_SELECTION;
    return true;
}

unsigned MainMenu::LevelPageTitle(int page)
{
    return page == PAGE_CAMPAIGNS ? kTextCampaignsTitle : page == PAGE_TIME_ATTACK ? kTextTimeAttackTitle
                                                                                   : kTextArcadeTitle;
}

int MainMenu::DrawLevelPageBase(unsigned title)
{
    m_backdropDrawn = true;
    if (PSurface3D* room = SharedImage(kWarroom)) {
        PBlitFX fx;
        fx.alpha = 255;
        m_p3d->BlitFx(PRect{0, 0, m_width, m_height}, room, nullptr, PS3D_SCALE, fx);
    } else {
        m_p3d->FillRect(0, 0, unsigned(m_width), unsigned(m_height), 0xFF202020u, P3DBLEND_OPAQUE);
    }
    const int fh = m_fonts ? m_fonts->Height(kTitleFont) : 0;
    if (m_fonts && title)
        m_fonts->Print(m_width / 2, (fh + 8) / 2 - fh / 2 + 6, title, kTitleFont, Fonts::kCenter);
    return fh;
}

int MainMenu::PageLevelsOpen()
{
    const int full = m_height / 2;
    if (previousPage == PAGE_GAME_SELECTION) {
        if (!DrawBombBayBackground())
            return MAINMENU_DATA_MISSING;
        // The game selection underneath, blind to touches and keys; the key
        // latches are kept, so that fire still held from choosing the row
        // does not count as a new press that skips the slide.
        const TouchRecord touch = m_touch;
        const MyInput latches = input;
        const int keys = m_keys;
        const int value = pageValue, item = chosenItem, prev = previousPage;
        m_touch = TouchRecord{};
        m_touch.x = m_touch.y = -1000;
        m_keys = 0;
        pageValue = 0;
        PageGameSelection();
        input = latches;
        m_touch = touch;
        m_keys = keys;
        pageValue = value;
        chosenItem = item;
        previousPage = prev;
        page = PAGE_LEVELS_OPEN;

        if (PSurface3D* room = SharedImage(kWarroom)) {
            PBlitFX fx;
            fx.alpha = uint32_t(std::clamp((pageValue / 2 - m_height / 4) * 3 + 255, 0, 255));
            const PRect dst = {0, m_height / 4 - pageValue / 2, m_width, pageValue + m_height / 2};
            const int centres[2] = {m_height / 4, 3 * m_height / 4};
            for (int c : centres) {
                m_p3d->SetClipRect(0, c - pageValue / 2, m_width, c - pageValue / 2 + pageValue);
                m_p3d->BlitFx(dst, room, nullptr, PS3D_SCALE | PS3D_ALPHA, fx);
            }
            m_p3d->ResetClipRect();
        }
        if (input.PressedFire(m_keys) || Released()) {
            TouchScreen_ReleasePen();
            pageValue = full;
            Sound(CLIP_CONFIRM);
        }
        if (pageValue < full)
            pageValue = std::min(full, pageValue + ToFps(6));
        if (pageValue < full)
            return MAINMENU_STAY;
    }
    page = chosenItem;
    if (page != PAGE_CAMPAIGNS && page != PAGE_TIME_ATTACK && page != PAGE_ARCADE)
        page = PAGE_CAMPAIGNS;
    m_currentGroup = page == PAGE_TIME_ATTACK ? m_timeAttackGroup
                     : page == PAGE_ARCADE    ? m_arcadeGroup
                     : campaign >= 0 && campaign < m_campaignCount ? m_campaignGroups[campaign]
                                                                   : nullptr;
    m_warroomRect = PRect{0, 0, m_width, m_height};
    m_warroomFx.alpha = 255;
    m_warroomFx.angle = 0;
    m_transition = -m_height;
    pageValue = 0;
    return MAINMENU_STAY;
}

int MainMenu::PageLevelsClose()
{
    if (m_transition < 1)
        m_transition = 1;
    DrawLevelPageBase(0);
    m_p3d->SetClipRect(m_width / 2 - m_transition, 0, m_width / 2 + m_transition, m_height);
    const int ok = DrawBombBayBackground();
    m_p3d->ResetClipRect();
    if (!ok)
        return MAINMENU_DATA_MISSING;
    m_transition += ToFps(18);
    if (m_transition >= m_width / 2 || input.PressedBack(m_keys)) {
        m_transition = 1;
        page = PAGE_HATCH_CLOSE;
        chosenItem = PAGE_GAME_SELECTION;
    }
    return MAINMENU_STAY;
}

// The list of a group's levels in a band of the page, h pixels high from y:
// a tapped unlocked level is the one to play.
int MainMenu::LevelList(LevelsGroup* group, int y, int h, int unlocked)
{
    DrawTxtBackgroundBar(0, y, m_width, h, kListColour, true);
    group->DrawLevelsWindow(m_fonts, PRect{8, y, m_width - 16, h}, unlocked, m_touch.x, m_touch.y,
                            m_touch.pressed != 0);
    if (!group->ProcessLevelsWindow_Touchscreen(m_touch.x, m_touch.y, m_touch.pressed != 0, m_touch.wasPressed != 0,
                                                unlocked))
        return MAINMENU_STAY;
    TouchScreen_ReleasePen();
    Sound(CLIP_CONFIRM);
    chosenGroup = group;
    chosenLevel = group->selected;
    return MAINMENU_PLAY;
}

void MainMenu::DrawCampaignName(const PRect& pic, int k)
{
    if (!m_fonts)
        return;
    // "CAMPAIGN 2" on a dark strip along the picture's lower edge, in the
    // language of the texts (the pictures carry no words).
    std::wstring name = m_fonts->GetStr(kTextCampaign);
    name += L' ';
    name += wchar_t(L'1' + k);
    const int font = m_fonts->StringWidth(0, name.c_str()) <= pic.width - 8 ? 0 : 5;
    const int fh = m_fonts->Height(font);
    const int strip = fh + 6;
    m_p3d->FillRect(pic.x, pic.y + pic.height - strip, unsigned(pic.width), unsigned(strip), kNameStrip,
                    P3DBLEND_ALPHA);
    m_fonts->Print(pic.x + pic.width / 2, pic.y + pic.height - strip + 3, name.c_str(), font, Fonts::kCenter);
}

int MainMenu::PageCampaigns()
{
    const int fh = DrawLevelPageBase(LevelPageTitle(PAGE_CAMPAIGNS));
    if (LeaveLevelPage())
        return MAINMENU_STAY;
    Profile* profile = m_profiles ? m_profiles->CurrentProfile() : nullptr;
    int bottom = -1;
    PSurface3D* first = m_campaignPics[0];
    for (int k = 0; k < kCampaignPictures && first; k++) {
        // Pictures wider than a third of the screen are drawn smaller.
        int w = int(first->Width()), h = int(first->Height());
        const int room = m_width / 3 - 10;
        if (w > room && room > 0) {
            h = int(int64_t(h) * room / w);
            w = room;
        }
        const int cx = (m_width / 3) / 2 + k * m_width / 3;
        const PRect pic = {cx - w / 2, fh + 16, w, h};
        m_campaignRects[k] = pic;
        bottom = pic.y + pic.height;
        if (!m_campaignPics[k])
            continue;
        const bool locked = k < m_campaignCount && (!profile || profile->GetUnlocked(k) == 0);
        for (int f = 0; f < 3; f++)
            m_p3d->Rectangle(pic.x - 1 - f, pic.y - 1 - f, pic.width + 2 + 2 * f, pic.height + 2 + 2 * f,
                             kFrameColours[f], P3DBLEND_OPAQUE);
        PSurface3D* shown = locked ? m_campaignGrey[k] : m_campaignPics[k];
        if (shown) {
            PBlitFX fx;
            fx.alpha = k == campaign ? 255 : 127;
            m_p3d->BlitFx(pic, shown, nullptr, PS3D_SCALE | PS3D_ALPHA, fx);
        }
        DrawCampaignName(pic, k);
        if (locked && m_levels)
            m_levels->DrawBigLock(pic.x + pic.width - 20, pic.y + pic.height - 20);
        const PRect frame = {pic.x - 3, pic.y - 3, pic.width + 6, pic.height + 6};
        if (Pressed() && m_touch.x >= frame.x && m_touch.x <= frame.x + frame.width && m_touch.y >= frame.y &&
            m_touch.y <= frame.y + frame.height) {
            TouchScreen_ReleasePen();
            campaign = int8_t(k);
        }
    }
    if (campaign < 0 || campaign >= m_campaignCount || !m_campaignGroups[campaign])
        return MAINMENU_STAY;
    LevelsGroup* group = m_campaignGroups[campaign];
    m_currentGroup = group;
    if (group->Count() < 1)
        return MAINMENU_STAY;
    const int y1 = bottom >= 0 ? bottom + 8 : fh + 24;
    const int listH = m_height - 55 - y1;
    const int unlocked = profile ? profile->GetUnlocked(campaign) : 0;
    return LevelList(group, y1, listH, unlocked);
}

int MainMenu::PageTimeAttack()
{
    const int fh = DrawLevelPageBase(LevelPageTitle(PAGE_TIME_ATTACK));
    if (LeaveLevelPage())
        return MAINMENU_STAY;
    LevelsGroup* group = m_timeAttackGroup;
    m_currentGroup = group;
    if (!group || group->Count() < 1)
        return MAINMENU_STAY;
    Profile* profile = m_profiles ? m_profiles->CurrentProfile() : nullptr;
    const int unlocked = profile ? profile->GetUnlocked(Profile::kTimeAttackGroup) : 0;
    const int H = m_height - 88 - (fh + 8);
    const int y = H < 146 ? fh + 52 : fh - 20 + H / 2;
    const int h = std::min(H, 145);
    return LevelList(group, y, h, unlocked);
}

int MainMenu::StartButtonTop() const
{
    return m_height - kStartBottom - (m_start ? int(m_start->Height()) : 0);
}

int MainMenu::PageArcade()
{
    const int fh = DrawLevelPageBase(LevelPageTitle(PAGE_ARCADE));
    if (LeaveLevelPage())
        return MAINMENU_STAY;
    LevelsGroup* group = m_arcadeGroup;
    m_currentGroup = group;
    if (!group || group->Count() < 1)
        return MAINMENU_STAY;
    // The start button sits at the bottom left under the window; the window
    // ends 4 pixels above it, so that no arrow lies under the button (on a
    // small screen it would otherwise take the button's taps).
    int barH = m_height - 60 - (fh + 8);
    if (m_start)
        barH = std::min(barH, StartButtonTop() - kStartGap - (fh + 16));
    DrawTxtBackgroundBar(0, fh + 16, m_width, barH, kListColour, true);
    const int arrow = group->DrawArcadeLevelsWindow(
        m_fonts, PRect{0, fh + 19, m_width, barH - 5}, m_namePtrs.data(), int(m_namePtrs.size()),
        m_arcadeList.data(), int(m_arcadeList.size()), m_levels ? m_levels->GetArcadeMapCount() : 0,
        m_arcadeSpawns, m_arrowLeft, m_arrowRight, m_touch.x, m_touch.y, m_touch.pressed != 0,
        m_touch.wasPressed != 0);
    if (arrow != LevelsGroup::ARROW_NONE && Released()) {
        TouchScreen_ReleasePen();
        Sound(CLIP_CONFIRM);
    }

    int low = 0, high = 0;
    const int timeFactor = group->timeLimitOn ? std::max(group->timeLimitMinutes / 3, 1) : 0;
    SPLM::GetArcadeScoreRange(low, high, group->respawnSeconds, group->respawnMinutes, group->enemySetting,
                              timeFactor);
    if (m_fonts) {
        std::wstring label = m_fonts->GetStr(372) ? m_fonts->GetStr(372) : L"";
        label += L' ';
        const wchar_t* level = m_fonts->GetStr(high <= 66 ? 140u : high < 100 ? 141u : 142u);
        if (level)
            label += level;
        m_fonts->Print(m_width / 2, m_height - 48, label.c_str(), kTitleFont, Fonts::kCenter);
    }

    if (m_start) {
        const int w = int(m_start->Width()), h = int(m_start->Height());
        const int y = StartButtonTop();
        m_startRect = PRect{18, y, w, h};
        const bool held = m_touch.pressed && m_touch.x >= 18 && m_touch.x <= 18 + w && m_touch.y >= y &&
                          m_touch.y <= y + h;
        PBlitFX fx;
        fx.alpha = 255;
        m_p3d->BlitFx(held ? PRect{14, y, w + 8, h} : m_startRect, m_start, nullptr, PS3D_SCALE | PS3D_ALPHATEST,
                      fx);
        if (TouchScreen_IsPressedInside(18, y, w, h)) {
            TouchScreen_ReleasePen();
            Sound(CLIP_CONFIRM);
            chosenLevel = 0;
            chosenGroup = group;
            return MAINMENU_PLAY;
        }
    }
    return MAINMENU_STAY;
}
