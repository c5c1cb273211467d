// The profile screens and the message window of ProfileManager: layout,
// touch and key handling, drawing and the turning aircraft preview.
#include <cstring>

#include "engine/graphics/p3d.h"
#include "engine/graphics/p3dgl.h"
#include "engine/graphics/pblit.h"
#include "engine/graphics/pglu.h"
#include "engine/graphics/psurface3d.h"
#include "engine/runtime/pdebug.h"
#include "engine/runtime/pglobals.h"
#include "engine/runtime/psprintf.h"
#include "engine/runtime/ptime.h"
#include "game/frontend/fonts.h"
#include "game/frontend/profilemanager.h"
#include "game/frontend/textinput.h"
#include "game/scene/p3danim.h"
#include "game/scene/p3dgameengine.h"
#include "game/scene/p3dsceneunit.h"
#include "game/world/audiomanager.h"
#include "game/world/levelsmanager.h"
#include "game/world/myinput.h"
#include "game/world/myutility.h"
#include "game/world/planescene.h"
#include "game/world/planesmanager.h"

namespace {

// Interface text ids.
enum TextId : unsigned {
    TXT_YES = 8,
    TXT_NO = 9,
    TXT_CAPTION = 10,
    TXT_CAMPAIGN = 30,
    TXT_TIME_ATTACK = 31,
    TXT_DELETE_1 = 39,
    TXT_DELETE_2 = 40,
    TXT_DELETE_3 = 41,
    TXT_NEW_PILOT = 43,
    TXT_PAGE_SP = 48,
    TXT_PAGE_MP = 49,
    TXT_SCORE = 52,
    TXT_RANK = 53,
    TXT_MEDAL_BASE = 54,
    TXT_NEXT_RANK = 102,
    TXT_KILLS = 103,
    TXT_LOCKED = 105,
    TXT_AIRCRAFT = 107,
    TXT_SPEED = 108,
    TXT_ARMOUR = 109,
    TXT_RANK_NEEDED = 110,
    TXT_OK = 296,
};
constexpr int kMedalLines = 8;

// Key codes and keys of the phone keypad that double as directions.
constexpr int kKeyBackCode = 7;
constexpr int kKeyYesCode = 6;
constexpr int kDeleteCode = 8;
constexpr int kArrowLeft = 1, kArrowRight = 2;

// The on-screen keyboard; '<' is the delete key.
const char* const kKeyRows[] = {"1234567890-", "QWERTYUIOP", "ASDFGHJKL", "ZXCVBNM<"};
constexpr int kKeyRowCount = 4;
constexpr int kKeyColumns = 11;
constexpr int kNameLineY = 114;
constexpr int kKeyboardTop = 122;

// Shared interface images of the globals block.
constexpr int kSharedOk = 0, kSharedBack = 1, kSharedBackground = 7;

constexpr int kDimAlpha = 63;
constexpr int kMaskAlpha = 128;
constexpr int kLockedChooseAlpha = 191 / 4;
constexpr int kPressedScale = 110;
constexpr int kButtonGap = 12;
constexpr int kButtonBottom = 6;
constexpr int kButtonTouchMargin = 4; // the touch area is 8 pixels larger
constexpr int kMedalDX = 58, kMedalDY = 76, kMedalLeft = 87, kMedalTop = 3;
constexpr int kMedalColumns = 3;
// Text in the side panels begins this far inside a panel's edge (its
// 2-pixel frame and 4 clear columns) and wraps as far from its other edge.
constexpr int kPanelTextMargin = 6;
constexpr int kPanelTextTop = 4;
// Room for a medal's description joined into paragraphs.
constexpr int kMedalTextSize = 512;
constexpr int kCursorBlinkMs = 256;
constexpr int kMessageBackgroundAlpha = 64;
constexpr unsigned kPressedFill = 0x7FFFCC88;

// The preview: 1.5 degrees a frame at a pitch of 15 degrees, 0.1 to 100
// units deep.
constexpr int32_t kYawStep = 0x18000;
constexpr int32_t kFullTurn = 360 << 16;
constexpr int32_t kPreviewPitch = 15 << 16;
constexpr int kPreviewNear = 6553, kPreviewFar = 6553600;
constexpr int kPreviewFrame = 121;
constexpr int kPreviewVariant = 1;
constexpr int32_t kPreviewDistance = -6 << 16;
constexpr double kPreviewDepth = 6.0;
constexpr int kPreviewFov = 40 << 16;
constexpr double kPreviewTan = 0.36397; // tan(20 degrees): half the field of view

PSurface3D* Shared(int i)
{
    PGlobals* g = PGetGlobals();
    return g ? g->sharedImages[i] : nullptr;
}

PSurface3D* LoadImage(P3D* p3d, const char* path)
{
    if (!p3d)
        return nullptr;
    PSurface3D* s = PSurface3D::CreateFromFile(p3d, path, PS3D_DROPIMAGE);
    if (!s)
        _PDebug("profiles: no image %s; it is not drawn\n", path);
    return s;
}

void Free(PSurface3D*& s)
{
    delete s;
    s = nullptr;
}

bool InRect(int px, int py, int x, int y, int w, int h) { return px >= x && px <= x + w && py >= y && py <= y + h; }

// Appends src to the len characters of dst as far as size (the terminator
// included) allows; the new length.
int AppendBounded(wchar_t* dst, int len, int size, const wchar_t* src)
{
    while (src && *src && len < size - 1)
        dst[len++] = *src++;
    dst[len] = 0;
    return len;
}

// A medal's description as its panel shows it, from its eight lines in the
// text table: lines that follow one another make one paragraph (joined by a
// space), wrapped to the panel's width when printed; an empty line ends the
// paragraph and keeps its blank row. The text's length.
int MedalDescription(const Fonts& fonts, unsigned firstId, wchar_t* out, int size)
{
    int len = 0, blanks = 0;
    out[0] = 0;
    for (int i = 0; i < kMedalLines; ++i) {
        const wchar_t* line = fonts.GetStr(firstId + unsigned(i));
        if (!line || !*line) {
            blanks++;
            continue;
        }
        if (blanks) {
            // A line feed ends the paragraph's last row and each further
            // one is a blank row.
            for (int k = len ? 0 : 1; k <= blanks; ++k)
                len = AppendBounded(out, len, size, L"\n");
        } else if (len && out[len - 1] != L' ' && line[0] != L' ') {
            len = AppendBounded(out, len, size, L" ");
        }
        blanks = 0;
        len = AppendBounded(out, len, size, line);
    }
    return len;
}

} // namespace

// --- windows -------------------------------------------------------------------------

void ProfileManager::Window::Set(int nx, int ny, int nw, int nh)
{
    x = nx;
    y = ny;
    w = nw;
    h = nh;
    tw = 0;
    Open();
}

void ProfileManager::Window::Open()
{
    opening[0] = w / 2;
    opening[1] = h / 2;
    opening[2] = w;
    opening[3] = h;
    state = kOpening;
    lastStep = 0;
}

void ProfileManager::Window::OpenAtOnce()
{
    for (int& c : opening)
        c = 0;
    state = kOpen;
}

bool ProfileManager::Window::Step(uint32_t now)
{
    if (state != kOpening)
        return true;
    // The first step counts as 50 ms; a window opens in about 100 ms.
    const uint32_t dt = lastStep ? now - lastStep : 50;
    lastStep = now ? now : 1;
    const int steps[4] = {w / 4, h / 4, w / 2, h / 2};
    bool open = true;
    for (int i = 0; i < 4; ++i) {
        int64_t s = int64_t(steps[i]) * dt / 50;
        if (s < steps[i])
            s = steps[i];
        if (s < 1)
            s = 1;
        opening[i] = opening[i] > s ? int(opening[i] - s) : 0;
        open = open && opening[i] == 0;
    }
    if (open)
        state = kOpen;
    return open;
}

bool ProfileManager::Window::Contains(int px, int py) const
{
    return tw ? InRect(px, py, tx, ty, tw, th) : InRect(px, py, x, y, w, h);
}

// --- life --------------------------------------------------------------------------

ProfileManager::ProfileManager(P3D* p3d, Fonts* fonts, AudioManager* sounds, MyInput* input, int width, int height,
                               PTicker* ticker)
    : m_p3d(p3d), m_fonts(fonts), m_sounds(sounds), m_input(input ? input : &m_ownInput), m_width(width),
      m_height(height), m_ticker(ticker)
{
    m_text = new TextInput(nullptr, ticker);
    m_text->SetMaxTextLength(kMaxNickLength);
    m_text->ForceUpperCase(1);
    m_text->SetDeleteKey(kDeleteCode);
}

ProfileManager::~ProfileManager()
{
    if (!m_profiles.empty() && !SaveProfiles())
        _PDebug("profiles: not saved on the way out\n");
    ClearProfiles();
    ReleasePlanesWithEngine();
    ReleaseBtnIcons();
    delete m_text;
    for (PSurface3D** s : {&m_inAction, &m_inUse, &m_keyImage, &m_deleteKey, &m_pageIcon[0], &m_pageIcon[1],
                           &m_rankBorder})
        Free(*s);
    for (PSurface3D*& s : m_ranks)
        Free(s);
    for (auto& medal : m_medals)
        for (PSurface3D*& s : medal)
            Free(s);
}

int ProfileManager::InitGfx()
{
    m_inAction = LoadImage(m_p3d, "data\\2dgfx\\icon_in_action.png");
    m_inUse = LoadImage(m_p3d, "data\\2dgfx\\in_use.png");
    m_keyImage = LoadImage(m_p3d, "data\\2dgfx\\typing_bg.png");
    m_deleteKey = LoadImage(m_p3d, "data\\2dgfx\\char_delete.png");
    m_pageIcon[0] = LoadImage(m_p3d, "data\\2dgfx\\icon_profile_single.png");
    m_pageIcon[1] = LoadImage(m_p3d, "data\\2dgfx\\icon_profile_multi.png");
    char path[64];
    m_rankCount = Profile::kRanks;
    for (int r = 0; r < Profile::kRanks; ++r) {
        PSnprintf(path, sizeof path, "data\\2dgfx\\rank_%d.png", r);
        m_ranks[r] = LoadImage(m_p3d, path);
        if (!m_ranks[r])
            m_rankCount = 0;
    }
    // The rank pictures go as a set: one missing leaves none.
    if (!m_rankCount)
        for (PSurface3D*& s : m_ranks)
            Free(s);
    m_rankBorder = LoadImage(m_p3d, "data\\2dgfx\\rank_border.png");
    static const char* const forms[kMedalForms] = {"", "_mask", "_mask_out"};
    for (int m = 0; m < kMedalsShown; ++m)
        for (int f = 0; f < kMedalForms; ++f) {
            PSnprintf(path, sizeof path, "data\\2dgfx\\medal_%d%s.png", m, forms[f]);
            m_medals[m][f] = LoadImage(m_p3d, path);
        }
    return 1;
}

void ProfileManager::InitStrings()
{
    for (int m = 0; m < kMedalsShown; ++m)
        m_medalTexts[m] = TXT_MEDAL_BASE + unsigned(kMedalLines * m);
}

void ProfileManager::LoadBtnIcons()
{
    char path[64];
    for (int i = 0; i < BTN_COUNT; ++i)
        if (!m_buttons[i]) {
            PSnprintf(path, sizeof path, "data\\2dgfx\\profile_icon_%d.png", i);
            m_buttons[i] = LoadImage(m_p3d, path);
        }
}

void ProfileManager::ReleaseBtnIcons()
{
    for (PSurface3D*& s : m_buttons)
        Free(s);
}

void ProfileManager::SetScreen(P3D* p3d, int width, int height)
{
    m_p3d = p3d;
    m_width = width;
    m_height = height;
}

// --- layout and touch -----------------------------------------------------------------

void ProfileManager::OpenMain()
{
    LoadBtnIcons();
    const int W = m_width, H = m_height;
    m_wnd[WND_FRAME].Set(0, 0, W, H);
    m_wnd[WND_TITLE].Set(2, 2, W - 4, 44);
    m_wnd[WND_HEADER].Set(2, 46, W - 4, 72);
    const Window& hd = m_wnd[WND_HEADER];
    m_wnd[WND_RANK].Set(6, hd.y + 4, 66, 66);
    m_wnd[WND_LEFT].Set(2, hd.y + hd.h + 2, W / 2 - 9, 148);
    const Window& lp = m_wnd[WND_LEFT];
    m_wnd[WND_RIGHT].Set(lp.x + lp.w + 1, lp.y, W / 2 + 3, 148);
    m_wnd[WND_NEXT_RANK].Set(hd.x + hd.w - 160, hd.y + hd.h - 68, 156, 64);
    const Window& rp = m_wnd[WND_RIGHT];
    m_wnd[WND_BAR].Set(rp.x + 2, rp.y + rp.h - 26, rp.w - 4, 20);

    m_viewed = int8_t(m_current);
    m_page = 0;
    if (Profile* p = CurrentProfile())
        p->SetMode(Profile::kSinglePlayer);
    m_viewedPlane = CurrentProfile() ? CurrentProfile()->GetCurrentPlane() : 0;
    // The stored aircraft may name one this installation does not have.
    if (m_viewedPlane < 0 || m_viewedPlane >= m_planeCount)
        m_viewedPlane = 0;
    m_state = SCREEN_MAIN;
    m_profilesExist = m_profiles.empty() ? 0 : 1;
    if (m_firstRun || m_profiles.empty()) {
        m_state = SCREEN_CREATE;
        m_profilesExist = 0;
        m_firstRun = 0;
        m_text->SetText("");
    }
    m_key = -1;
    m_highlight = -1;
    m_medalSelected = -1;
    m_touch = TouchState();
}

void ProfileManager::TouchScreenEvent(int x, int y, bool pressed)
{
    m_msgTap.Event(pressed);
    m_touch.wasDown = m_touch.down;
    m_touch.down = pressed;
    m_touch.x = x;
    m_touch.y = y;
}

void ProfileManager::TouchScreenEventMove(int x, int y, int)
{
    if (!m_touch.down)
        return;
    m_touch.x = x;
    m_touch.y = y;
}

void ProfileManager::TouchScreen_ReleasePen() { m_touch = TouchState(); }

void ProfileManager::Consume()
{
    m_touch.wasDown = m_touch.down;
    m_touch.down = false;
}

bool ProfileManager::Inside(int x, int y, int w, int h) const { return InRect(m_touch.x, m_touch.y, x, y, w, h); }

bool ProfileManager::Released(int x, int y, int w, int h) const { return m_touch.Released() && Inside(x, y, w, h); }

void ProfileManager::Click()
{
    if (!m_profilesExist)
        return;
    ++m_clicks;
    if (m_sounds)
        m_sounds->Play(kClickSound, 0, 0);
}

int ProfileManager::IconW() const
{
    // The icons shrink on short screens so that they stay below the panels.
    const int room = m_height - kButtonBottom - (m_wnd[WND_LEFT].y + m_wnd[WND_LEFT].h) - 2;
    const int w = m_buttons[0] ? int(m_buttons[0]->Width()) : 64;
    return room < w ? (room < 24 ? 24 : room) : w;
}

int ProfileManager::IconH() const { return IconW(); }

void ProfileManager::ButtonRect(int b, int& x, int& y, int& w, int& h) const
{
    w = IconW();
    h = IconH();
    x = (b + 1) * (w + kButtonGap) - w / 2 - w / 2;
    y = m_height - kButtonBottom - h;
}

bool ProfileManager::ButtonAvailable(int b) const
{
    const int n = Count();
    switch (b) {
    case BTN_PREV:
        return n >= 2 && m_viewed > 0;
    case BTN_SELECT:
        return m_viewed != m_current;
    case BTN_NEW:
        return n < kMaxProfiles;
    case BTN_DELETE:
        return n >= 2;
    case BTN_NEXT:
        return n >= 2 && m_viewed < n - 1;
    default:
        return false;
    }
}

void ProfileManager::KeyRect(int row, int col, int& x, int& y, int& w, int& h) const
{
    const int step = (m_height - 160) / 4;
    w = (m_width - 20) / kKeyColumns - 2;
    if (m_keyImage && int(m_keyImage->Width()) < w)
        w = int(m_keyImage->Width());
    h = step - 4;
    if (m_keyImage && int(m_keyImage->Height()) < h)
        h = int(m_keyImage->Height());
    x = 10 + col * (w + 2);
    y = kKeyboardTop + row * step;
}

bool ProfileManager::PlaneLocked(Profile* p, int plane) const
{
    return p && plane > p->GetRank(Profile::kMultiplayer);
}

bool ProfileManager::WindowsOpening()
{
    const uint32_t now = m_ticker ? (*m_ticker)() : 0;
    bool open = true;
    for (Window& w : m_wnd)
        open = w.Step(now) && open;
    return !open;
}

int ProfileManager::SaveAfterChange(int ok) { return ok ? PROFILE_SCREEN_STAY : PROFILE_SCREEN_SAVE_FAILED; }

// --- logic -------------------------------------------------------------------------------

int ProfileManager::Process(int keys, int keyCode, int keyCode2)
{
    ++m_blink;
    int r = PROFILE_SCREEN_STAY;
    switch (m_state) {
    case SCREEN_MAIN:
        r = ProcessMain(keys, keyCode);
        break;
    case SCREEN_CREATE:
        r = ProcessCreate(keys, keyCode, keyCode2);
        break;
    default:
        r = ProcessQuestion(keys, keyCode, keyCode2);
        break;
    }
    // What the pen did is seen once.
    m_touch.wasDown = m_touch.down;
    return r;
}

int ProfileManager::ProcessMain(int keys, int keyCode)
{
    if (m_profiles.empty())
        return PROFILE_SCREEN_LEAVE;
    if (m_viewed < 0 || m_viewed >= Count())
        m_viewed = int8_t(m_current);
    if (WindowsOpening()) {
        if (keys)
            for (Window& w : m_wnd)
                w.OpenAtOnce();
        return PROFILE_SCREEN_STAY;
    }
    Profile* viewed = m_profiles[size_t(m_viewed)];

    // The buttons along the bottom: a press highlights, a release acts.
    m_highlight = -1;
    for (int b = 0; b < BTN_COUNT; ++b) {
        int x, y, w, h;
        ButtonRect(b, x, y, w, h);
        x -= kButtonTouchMargin;
        y -= kButtonTouchMargin;
        w += 2 * kButtonTouchMargin;
        h += 2 * kButtonTouchMargin;
        if (m_touch.down && Inside(x, y, w, h))
            m_highlight = b;
        if (!Released(x, y, w, h))
            continue;
        Consume();
        Click();
        if (!ButtonAvailable(b)) {
            _PDebug("profiles: button %d is not available\n", b);
            return PROFILE_SCREEN_STAY;
        }
        switch (b) {
        case BTN_PREV:
            --m_viewed;
            break;
        case BTN_SELECT:
            m_current = uint8_t(m_viewed);
            _PDebug("profiles: profile %d is current\n", int(m_current));
            break;
        case BTN_NEW:
            m_text->SetText("");
            m_state = SCREEN_CREATE;
            break;
        case BTN_DELETE: {
            WarningWnd_Zero();
            PString line(m_fonts ? m_fonts->GetStr(TXT_DELETE_1) : L"");
            WarningWnd_AddTxt(&line);
            line = viewed->GetNick(m_page);
            WarningWnd_AddTxt(&line);
            line = PString(m_fonts ? m_fonts->GetStr(TXT_DELETE_2) : L"");
            WarningWnd_AddTxt(&line);
            line = PString(m_fonts ? m_fonts->GetStr(TXT_DELETE_3) : L"");
            WarningWnd_AddTxt(&line);
            WarningWnd_ButtonsHide(false);
            WarningWnd_OnlyOkButton(false);
            InitWarningWindow();
            m_state = SCREEN_QUESTION;
            break;
        }
        case BTN_NEXT:
            ++m_viewed;
            break;
        }
        return PROFILE_SCREEN_STAY;
    }

    // Leaving: the back icon or the back key.
    PSurface3D* back = Shared(kSharedBack);
    const int bw = back ? int(back->Width()) * IconH() / int(back->Height() ? back->Height() : 1) : 0;
    const bool backIcon = back && Released(m_width - bw - 4, m_height - IconH() - kButtonBottom, bw, IconH());
    if (backIcon || m_input->PressedBack(keys) || keyCode == kKeyBackCode) {
        Consume();
        Click();
        return SaveProfiles() ? PROFILE_SCREEN_LEAVE : PROFILE_SCREEN_LEAVE_SAVE_FAILED;
    }

    // The left half of the title bar turns the page.
    const Window& title = m_wnd[WND_TITLE];
    if (Released(title.x, title.y, title.w / 2, title.h)) {
        Consume();
        Click();
        m_page = m_page ? 0 : 1;
        _PDebug("profiles: page %d\n", int(m_page));
        if (m_page)
            m_medalSelected = -1;
        return PROFILE_SCREEN_STAY;
    }

    if (m_page == 1) {
        const int r = ProcessMultiplayerPage();
        if (r != PROFILE_SCREEN_STAY)
            return r;
    }

    if (Count() >= 2) {
        if (m_input->PressedRight(keys))
            m_viewed = int8_t(m_viewed + 1 >= Count() ? 0 : m_viewed + 1);
        if (m_input->PressedLeft(keys))
            m_viewed = int8_t(m_viewed == 0 ? Count() - 1 : m_viewed - 1);
    }

    // Medals of the single-player page: a new press selects one.
    if (m_page == 0) {
        const Window& lp = m_wnd[WND_LEFT];
        // A press on a medal selects it; one outside the panel clears the
        // selection, one inside that misses every medal keeps it.
        if (m_touch.Pressed() && !Inside(lp.x, lp.y, lp.w, lp.h)) {
            m_medalSelected = -1;
        } else if (m_touch.Pressed()) {
            const int cx = lp.x + lp.w / 2 - kMedalLeft, cy = lp.y + kMedalTop;
            for (int m = 0; m < kMedalsShown; ++m) {
                const int mx = cx + (m % kMedalColumns) * kMedalDX, my = cy + (m / kMedalColumns) * kMedalDY;
                PSurface3D* img = m_medals[m][0];
                const int w = img ? int(img->Width()) : kMedalDX - 4, h = img ? int(img->Height()) : kMedalDY - 4;
                if (Inside(mx, my, w, h))
                    m_medalSelected = m;
            }
        }
        if (Released(lp.x, lp.y, lp.w, lp.h)) {
            Consume();
            Click();
        }
    }
    return PROFILE_SCREEN_STAY;
}

int ProfileManager::ProcessMultiplayerPage()
{
    const Window& rp = m_wnd[WND_RIGHT];
    const int size = IconH() * 3 / 4;
    const int y = rp.y + rp.h - size - 2;
    Profile* viewed = m_profiles[size_t(m_viewed)];
    if (m_planeCount > 0 && Released(rp.x + 2, y, size, size)) {
        Consume();
        Click();
        m_viewedPlane = int8_t(m_viewedPlane == 0 ? m_planeCount - 1 : m_viewedPlane - 1);
    } else if (m_planeCount > 0 && Released(rp.x + rp.w - size - 2, y, size, size)) {
        Consume();
        Click();
        m_viewedPlane = int8_t(m_viewedPlane + 1 >= m_planeCount ? 0 : m_viewedPlane + 1);
    } else if (m_planeCount > 0 && Released(rp.x + (rp.w - size) / 2, y, size, size)) {
        Consume();
        if (PlaneLocked(viewed, m_viewedPlane)) {
            _PDebug("profiles: aircraft %d needs a higher rank\n", int(m_viewedPlane));
            return PROFILE_SCREEN_STAY;
        }
        Click();
        _PDebug("profiles: aircraft %d chosen\n", int(m_viewedPlane));
        viewed->SetCurrentPlane(m_viewedPlane);
        return SaveAfterChange(SaveProfiles());
    }
    return PROFILE_SCREEN_STAY;
}

int ProfileManager::ProcessCreate(int keys, int keyCode, int keyCode2)
{
    WindowsOpening();
    // What the pen chose this frame: a key of the keyboard, an arrow beside
    // the name, or one of the corner icons.
    m_key = -1;
    m_highlight = -1;
    bool backIcon = false, okIcon = false;
    const bool empty = m_text->GetString()[0] == 0;
    const int iconH = IconH();
    PSurface3D* back = Shared(kSharedBack);
    PSurface3D* ok = Shared(kSharedOk);
    const int bw = back ? int(back->Width()) * iconH / int(back->Height() ? back->Height() : 1) : 0;
    const int ow = ok ? int(ok->Width()) * iconH / int(ok->Height() ? ok->Height() : 1) : 0;
    const int lineTop = kNameLineY - (m_fonts ? m_fonts->LineHeight(1) : 16) - 3;
    for (int row = 0; row < kKeyRowCount; ++row)
        for (int col = 0; kKeyRows[row][col]; ++col) {
            int x, y, w, h;
            KeyRect(row, col, x, y, w, h);
            if (m_touch.down && Inside(x, y, w, h))
                m_highlight = row * kKeyColumns + col;
            if (Released(x, y, w, h))
                m_key = kKeyRows[row][col] == '<' ? kDeleteCode : kKeyRows[row][col];
        }
    if (Released(0, lineTop, 40, kNameLineY - lineTop))
        m_key = kArrowLeft;
    else if (Released(m_width - 40, lineTop, 40, kNameLineY - lineTop))
        m_key = kArrowRight;
    else if (back && Released(4, m_height - iconH - kButtonBottom, bw, iconH))
        backIcon = true;
    else if (ok && !empty && Released(m_width - ow - 4, m_height - iconH - kButtonBottom, ow, iconH))
        okIcon = true;
    if (m_touch.Released())
        Consume();

    const bool backFlag = m_input->PressedBack(keys) != 0;
    const bool leftFlag = m_input->PressedLeft(keys) != 0;
    const bool rightFlag = m_input->PressedRight(keys) != 0;
    const bool fireFlag = m_input->PressedFire(keys) != 0;

    if (!m_profilesExist && empty && (keyCode == kKeyBackCode || backFlag || backIcon)) {
        Click();
        return PROFILE_SCREEN_FIRST_RUN_BACK;
    }
    if ((leftFlag && keyCode != '1' && keyCode != '4' && keyCode != '7') || m_key == kArrowLeft) {
        m_text->HandleLeftArrowEvent();
        return PROFILE_SCREEN_STAY;
    }
    if ((rightFlag && keyCode != '3' && keyCode != '6' && keyCode != '9') || m_key == kArrowRight) {
        m_text->HandleRightArrowEvent();
        return PROFILE_SCREEN_STAY;
    }
    if (((fireFlag && keyCode != '5') || okIcon) && !empty) {
        Click();
        Profile* p = new Profile();
        p->SetNick(m_text->GetString());
        p->SetLevelsGroupPtr(m_groups, m_groupCount);
        p->UnlockLevel(1, 0);
        p->UnlockLevel(1, Profile::kTimeAttackGroup);
        if (!AddProfile(p))
            return PROFILE_SCREEN_STAY;
        _PDebug("profiles: profile %d \"%s\" made\n", int(m_current), m_text->GetString());
        m_state = SCREEN_MAIN;
        m_viewed = int8_t(m_current);
        const bool first = !m_profilesExist;
        m_profilesExist = 1;
        if (!SaveProfiles())
            return PROFILE_SCREEN_SAVE_FAILED;
        return first ? PROFILE_SCREEN_LEAVE : PROFILE_SCREEN_STAY;
    }
    if (m_profilesExist && (backIcon || backFlag || (keyCode == kKeyBackCode && empty))) {
        m_state = SCREEN_MAIN;
        Click();
        return PROFILE_SCREEN_STAY;
    }
    if (!m_profilesExist && backFlag && !empty) {
        m_text->DeleteLetter();
        return PROFILE_SCREEN_STAY;
    }
    if (m_key > kArrowRight) {
        Click();
        // A key of the on-screen keyboard types its character as it is.
        m_text->SetQwerty(1);
        m_text->HandleNumpadInput(m_key, m_key);
        m_text->SetQwerty(0);
    } else if (keyCode || keyCode2) {
        m_text->HandleNumpadInput(keyCode, keyCode2);
    }
    return PROFILE_SCREEN_STAY;
}

int ProfileManager::ProcessQuestion(int keys, int keyCode, int keyCode2)
{
    const int a = WarningWnd_Process(keys, keyCode, keyCode2);
    if (a == MESSAGE_PENDING)
        return PROFILE_SCREEN_STAY;
    m_state = SCREEN_MAIN;
    if (a != MESSAGE_YES)
        return PROFILE_SCREEN_STAY;
    _PDebug("profiles: profile %d deleted\n", int(m_viewed));
    RemoveProfile(uint8_t(m_viewed));
    m_viewed = int8_t(m_current);
    return SaveAfterChange(SaveProfiles());
}

// --- the message window -----------------------------------------------------------------

void ProfileManager::WarningWnd_Zero()
{
    m_msgLines.clear();
    m_msgNoButtons = false;
    m_msgOnlyOk = false;
}

void ProfileManager::WarningWnd_AddTxt(PString* line)
{
    if (line && m_msgLines.size() < 255)
        m_msgLines.push_back(*line);
}

void ProfileManager::InitWarningWindow()
{
    const int F = m_fonts ? m_fonts->Height(0) : 0;
    const int B = F > 44 ? F : 44;
    const int lines = int(m_msgLines.size());
    int w = m_msgNoButtons ? 16
                           : 16 + (m_fonts ? m_fonts->StringWidth(0, TXT_YES) + m_fonts->StringWidth(0, TXT_NO) : 0);
    for (const PString& l : m_msgLines) {
        const int lw = (m_fonts ? m_fonts->StringWidth(0, l.c_str()) : 0) + 16;
        if (lw > w)
            w = lw;
    }
    int h = F + lines * F + (F < 44 ? 60 : F + 16);
    if (m_msgNoButtons)
        h -= 16;
    Window& frame = m_msgWnd[0];
    frame.Set((m_width - w) / 2, (m_height - h) / 2, w, h);
    const int bw = w / 2 - 4;
    const int by = frame.y + h - 8 - B;
    if (m_msgOnlyOk) {
        m_msgWnd[1].Set(frame.x + (w - bw) / 2, by, bw, B);
        m_msgWnd[2].Set(0, 0, 0, 0);
    } else {
        m_msgWnd[1].Set(frame.x + 2, by, bw, B);
        m_msgWnd[2].Set(frame.x + 2 + w / 2, by, bw, B);
    }
    // The buttons take touches a little above and below themselves.
    for (int i = 1; i < 3; ++i) {
        Window& b = m_msgWnd[i];
        b.tx = b.x;
        b.ty = b.y - 16;
        b.tw = b.w;
        b.th = b.h + 32;
    }
    m_msgFocus = 0;
    m_msgTap.Open();
}

int ProfileManager::WarningWnd_Process(int keys, int keyCode, int keyCode2)
{
    const uint32_t now = m_ticker ? (*m_ticker)() : 0;
    bool open = true;
    for (Window& w : m_msgWnd)
        open = w.Step(now) && open;
    if (!open)
        return MESSAGE_PENDING;
    // The keypad's diagonal keys answer nothing.
    for (int d : {'1', '3', '7', '9'})
        if (keyCode == d)
            return MESSAGE_PENDING;
    // The buttons take only a tap pressed since the window was shown whole.
    const bool buttons = !m_msgNoButtons;
    const bool released = m_touch.Released() && m_msgTap.Armed();
    if (buttons && released && m_msgWnd[1].Contains(m_touch.x, m_touch.y)) {
        Consume();
        Click();
        return MESSAGE_YES;
    }
    if (buttons && !m_msgOnlyOk && released && m_msgWnd[2].Contains(m_touch.x, m_touch.y)) {
        Consume();
        Click();
        return MESSAGE_NO;
    }
    if (keyCode == kKeyBackCode)
        return MESSAGE_NO;
    if (m_input->PressedLeft(keys))
        m_msgFocus = 0;
    if (m_input->PressedRight(keys))
        m_msgFocus = 1;
    if (m_input->PressedBack(keys))
        return buttons ? MESSAGE_NO : MESSAGE_YES;
    if (keyCode == kKeyYesCode || keyCode2 == kKeyYesCode)
        return MESSAGE_YES;
    if (m_input->PressedFire(keys))
        return !buttons || m_msgFocus == 0 ? MESSAGE_YES : MESSAGE_NO;
    return MESSAGE_PENDING;
}

// --- drawing -------------------------------------------------------------------------------

void ProfileManager::Blit(PSurface3D* image, int x, int y, int alpha, int scalePercent, bool additive)
{
    if (!image || !m_p3d)
        return;
    const int w = int(image->Width()) * scalePercent / 100, h = int(image->Height()) * scalePercent / 100;
    // A scaled picture keeps its centre.
    x -= (w - int(image->Width())) / 2;
    y -= (h - int(image->Height())) / 2;
    PBlitFX fx;
    fx.alpha = uint32_t(alpha);
    const int flags = additive ? PS3D_ADDITIVE : alpha < 255 ? PS3D_ALPHA | PS3D_BLEND : PS3D_BLEND;
    m_p3d->BlitFx(PRect{x, y, w, h}, image, nullptr, flags, fx);
}

void ProfileManager::DrawFrame(const Window& w, signed char brightness)
{
    // An opening window grows from its centre.
    MyUtility::DrawWindow(m_p3d, w.x + w.opening[0], w.y + w.opening[1], w.w - w.opening[2], w.h - w.opening[3], 0,
                          brightness);
}

void ProfileManager::Render(P3D* p3d)
{
    if (p3d)
        m_p3d = p3d;
    if (!m_p3d)
        return;
    m_p3d->Clear(0);
    if (PSurface3D* background = Shared(kSharedBackground)) {
        PBlitFX fx;
        fx.alpha = 255;
        m_p3d->BlitFx(PRect{0, 0, m_width, m_height}, background, nullptr, PS3D_ALPHA, fx);
    }
    if (m_state == SCREEN_CREATE) {
        RenderCreate();
        return;
    }
    RenderMain();
    if (m_state == SCREEN_QUESTION)
        WarningWnd_Draw();
}

void ProfileManager::RenderMain()
{
    Profile* p = GetProfile(m_viewed);
    for (int i = 0; i < WND_COUNT; ++i)
        if (i != WND_BAR && i != WND_RANK)
            DrawFrame(m_wnd[i], i == WND_FRAME ? -64 : -100);
    if (!p)
        return;
    bool opening = false;
    for (const Window& w : m_wnd)
        opening = opening || w.state == Window::kOpening;

    // Title bar: the page icon and label at the left, the caption right.
    const Window& title = m_wnd[WND_TITLE];
    const int fh = m_fonts ? m_fonts->Height(1) : 0;
    if (m_fonts) {
        m_fonts->Print(title.x + title.w - 6, title.y + (title.h - fh) / 2, unsigned(TXT_CAPTION), 1, Fonts::kRight);
        PSurface3D* icon = m_pageIcon[m_page];
        const int iw = icon ? int(icon->Width()) : 0;
        Blit(icon, title.x + 2, title.y + (title.h - (icon ? int(icon->Height()) : 0)) / 2);
        m_fonts->Print(title.x + iw + 8, title.y + (title.h - fh) / 2, unsigned(m_page ? TXT_PAGE_MP : TXT_PAGE_SP),
                       1);
    }
    if (!opening) {
        RenderHeader(p);
        if (m_page == 0) {
            RenderMedals(p);
            RenderProgress(p);
        } else {
            RenderPlaneData(p);
            RenderPreview(p);
        }
    }

    // The buttons along the bottom.
    for (int b = 0; b < BTN_COUNT; ++b) {
        int x, y, w, h;
        ButtonRect(b, x, y, w, h);
        PSurface3D* icon = m_buttons[b];
        if (!icon)
            continue;
        if (m_highlight == b) {
            x -= w / 20;
            y -= h / 20;
            w = w * kPressedScale / 100;
            h = h * kPressedScale / 100;
        }
        PBlitFX fx;
        fx.alpha = ButtonAvailable(b) ? 255 : kDimAlpha;
        m_p3d->BlitFx(PRect{x, y, w, h}, icon, nullptr, PS3D_ALPHA | PS3D_BLEND, fx);
    }
    if (PSurface3D* back = Shared(kSharedBack)) {
        const int h = IconH(), w = int(back->Width()) * h / int(back->Height() ? back->Height() : 1);
        PBlitFX fx;
        fx.alpha = 255;
        m_p3d->BlitFx(PRect{m_width - w - 4, m_height - h - kButtonBottom, w, h}, back, nullptr, PS3D_BLEND, fx);
        MyUtility::DrawKeyLabel(m_fonts, m_width - w - 4, m_height - h - kButtonBottom, w, h, MyUtility::kTextBack);
    }
}

void ProfileManager::RenderHeader(Profile* p)
{
    const Window& hd = m_wnd[WND_HEADER];
    const Window& rk = m_wnd[WND_RANK];
    const uint8_t mode = m_page;
    const uint8_t rank = p->GetRank(mode);
    if (rank < m_rankCount && m_ranks[rank]) {
        PBlitFX fx;
        fx.alpha = 255;
        m_p3d->BlitFx(PRect{rk.x + 1, rk.y + 1, 64, 64}, m_ranks[rank], nullptr, PS3D_BLEND, fx);
    }
    if (!m_fonts)
        return;
    const int x = rk.x + rk.w + 8;
    const int lh = m_fonts->LineHeight(1);
    m_fonts->Print(x, hd.y + 4, p->GetNick(mode).c_str(), 1);
    if (m_viewed == m_current && m_inAction)
        Blit(m_inAction, x + m_fonts->StringWidth(1, p->GetNick(mode).c_str()) + 6, hd.y + 2);
    wchar_t line[96] = {};
    Fonts::AppendToWide(line, m_fonts->GetStr(mode ? TXT_KILLS : TXT_SCORE));
    Fonts::AppendToWide(line, " ");
    Fonts::AppendToWideNum(line, int(mode ? p->GetKills() : p->GetScore(mode)));
    m_fonts->Print(x, hd.y + 6 + lh, line, 1);
    line[0] = 0;
    Fonts::AppendToWide(line, m_fonts->GetStr(TXT_RANK));
    Fonts::AppendToWide(line, " ");
    if (const wchar_t* name = GetTextOfRank(rank))
        Fonts::AppendToWide(line, name);
    m_fonts->Print(x, hd.y + 8 + 2 * lh, line, 1);

    // The next rank and the score it needs.
    const Window& nr = m_wnd[WND_NEXT_RANK];
    const int cx = nr.x + nr.w / 2;
    m_fonts->Print(cx, nr.y + 4, unsigned(TXT_NEXT_RANK), 1, Fonts::kCenter);
    if (rank + 1 >= Profile::kRanks) {
        m_fonts->Print(cx, nr.y + 24, "----", 1, Fonts::kCenter);
        return;
    }
    if (const wchar_t* name = GetTextOfRank(rank + 1))
        m_fonts->Print(cx, nr.y + 24, name, 1, Fonts::kCenter);
    char need[24];
    PSnprintf(need, sizeof need, ":%u:", unsigned(Profile::RankEdge(mode, rank + 1)));
    m_fonts->Print(cx, nr.y + 24 + lh, need, 1, Fonts::kCenter);
}

void ProfileManager::RenderMedals(Profile* p)
{
    const Window& lp = m_wnd[WND_LEFT];
    const int cx = lp.x + lp.w / 2 - kMedalLeft, cy = lp.y + kMedalTop;
    for (int m = 0; m < kMedalsShown; ++m) {
        const int x = cx + (m % kMedalColumns) * kMedalDX, y = cy + (m / kMedalColumns) * kMedalDY;
        const bool owned = p->HasMedal(m), selected = m == m_medalSelected;
        if (owned && !selected) {
            Blit(m_medals[m][0], x, y);
        } else if (owned) {
            Blit(m_medals[m][1], x, y, kMaskAlpha);
            Blit(m_medals[m][0], x, y, 255, 100, true);
        } else {
            Blit(m_medals[m][selected ? 2 : 1], x, y, kMaskAlpha);
        }
    }
}

void ProfileManager::RenderProgress(Profile* p)
{
    const Window& rp = m_wnd[WND_RIGHT];
    if (!m_fonts)
        return;
    if (m_medalSelected >= 0) {
        // The description wraps inside the panel with the same margin at
        // both sides; rows that would run past its bottom are left out.
        wchar_t text[kMedalTextSize];
        MedalDescription(*m_fonts, m_medalTexts[m_medalSelected], text, kMedalTextSize);
        const int lh = m_fonts->LineHeight(0), fh = m_fonts->Height(0);
        const int x = rp.x + kPanelTextMargin, width = rp.w - 2 * kPanelTextMargin;
        const int bottom = rp.y + rp.h - kPanelTextTop;
        const wchar_t* rest = text;
        for (int y = rp.y + kPanelTextTop; rest && y + fh <= bottom; y += lh)
            rest = m_fonts->PrintLine(0, x, y, width, rest, Fonts::kLeft, true);
        return;
    }
    const int rows = m_groupCount + 1;
    const int rowH = (rp.h - 4) / rows;
    for (int r = 0; r < rows; ++r) {
        LevelsGroup* g = r < m_groupCount ? (m_groups ? m_groups[r] : nullptr) : m_timeAttack;
        const int levels = g ? g->Count() : 0;
        if (levels <= 0)
            continue;
        const int y = rp.y + 2 + r * rowH;
        const int unlocked = p->GetUnlocked(r < m_groupCount ? r : Profile::kTimeAttackGroup);
        wchar_t label[64] = {};
        Fonts::AppendToWide(label, m_fonts->GetStr(r < m_groupCount ? TXT_CAMPAIGN : TXT_TIME_ATTACK));
        if (r < m_groupCount) {
            Fonts::AppendToWide(label, " ");
            Fonts::AppendToWideNum(label, r + 1);
        }
        m_fonts->Print(rp.x + 6, y + 3, label, 0);
        MyUtility::DrawPercentBar(m_p3d, rp.x + 6, y + 22, rp.w - 80, 6, 0x5A4221, 0x000000, 0xFFF5E1, levels,
                                  unlocked);
        char count[32];
        PSnprintf(count, sizeof count, " %d/%d ", unlocked, levels);
        m_fonts->Print(rp.x + rp.w - 66, y + 12, count, 0);
    }
}

void ProfileManager::RenderPlaneData(Profile* p)
{
    const Window& lp = m_wnd[WND_LEFT];
    const Window& rp = m_wnd[WND_RIGHT];
    PlaneConfig* c = m_planes && m_planeCount ? m_planes->Get(m_viewedPlane) : nullptr;
    if (!c || !m_fonts)
        return;
    m_fonts->Print(lp.x + 6, lp.y + 3, unsigned(TXT_AIRCRAFT), 0);
    m_fonts->Print(lp.x + 10, lp.y + 26, unsigned(TXT_SPEED), 0);
    MyUtility::DrawBar(m_p3d, lp.x + 10, lp.y + 26 + m_fonts->LineHeight(0), lp.w - 20, 12, c->GetPlaneSpeed(), 9,
                       0x333300, 0xBBBBBB, unsigned(c->GetPlaneSpeed()) * 0x110000u + 0x550000u);
    m_fonts->Print(lp.x + 10, lp.y + 64, unsigned(TXT_ARMOUR), 0);
    MyUtility::DrawBar(m_p3d, lp.x + 10, lp.y + 64 + m_fonts->LineHeight(0), lp.w - 20, 12, c->GetPlaneArmour(), 9,
                       0x333300, 0xBBBBBB, unsigned(c->GetPlaneArmour()) * 0x110000u + 0x550000u);
    const bool locked = PlaneLocked(p, m_viewedPlane);
    if (locked) {
        m_fonts->Print(lp.x + 10, lp.y + 106, unsigned(TXT_RANK_NEEDED), 0);
        const wchar_t* name = GetTextOfRank(m_viewedPlane);
        if (name)
            m_fonts->Print(lp.x + 10, lp.y + 122, name, 0);
        else
            m_fonts->Print(lp.x + 10, lp.y + 122, "----", 0);
    }
    m_fonts->Print(rp.x + 6, rp.y + 4, c->GetPlaneName(), 1);

    // Arrows and the choose icon along the panel's bottom.
    const int size = IconH() * 3 / 4;
    const int y = rp.y + rp.h - size - 2;
    const int xs[3] = {rp.x + 2, rp.x + (rp.w - size) / 2, rp.x + rp.w - size - 2};
    const int icons[3] = {BTN_PREV, BTN_SELECT, BTN_NEXT};
    for (int i = 0; i < 3; ++i) {
        if (!m_buttons[icons[i]])
            continue;
        int x = xs[i], yy = y, s = size;
        if (m_touch.down && Inside(x, yy, s, s)) {
            x -= s / 20;
            yy -= s / 20;
            s = s * kPressedScale / 100;
        }
        PBlitFX fx;
        fx.alpha = i == 1 && locked ? kLockedChooseAlpha : 255;
        m_p3d->BlitFx(PRect{x, yy, s, s}, m_buttons[icons[i]], nullptr, PS3D_ALPHA | PS3D_BLEND, fx);
    }
    // The in-use mark at the bottom right, just left of the right arrow.
    if (m_viewedPlane == p->GetCurrentPlane() && m_inUse) {
        const int mh = int(m_inUse->Height()), mw = int(m_inUse->Width());
        Blit(m_inUse, xs[2] - mw - 4, rp.y + rp.h - mh - 2);
    }
}

void ProfileManager::RenderPreview(Profile* p)
{
    if (!m_engine || m_planeCount <= 0 || m_viewedPlane < 0 || m_viewedPlane >= m_planeCount)
        return;
    const Window& rp = m_wnd[WND_RIGHT];
    for (int i = 0; i < m_planeCount; ++i)
        if (P3DSceneUnit* u = m_planeScenes[size_t(i)]->unit) {
            if (i == m_viewedPlane)
                u->Enable();
            else
                u->Disable();
        }
    m_yaw += kYawStep;
    if (m_yaw >= kFullTurn)
        m_yaw -= kFullTurn;
    // The aircraft is drawn with the screen's projection, placed so that it
    // shows in the middle of the panel, and clipped to the panel less a
    // pixel each side.
    using namespace p3dgl;
    const int x = rp.x + 1, y = rp.y + 1, w = rp.w - 2, h = rp.h - 2;
    const double halfH = kPreviewTan * kPreviewDepth, halfW = halfH * m_width / (m_height > 0 ? m_height : 1);
    const double nx = 2.0 * (x + w / 2) / (m_width > 0 ? m_width : 1) - 1.0;
    const double ny = 1.0 - 2.0 * (y + h / 2) / (m_height > 0 ? m_height : 1);
    if (P3DSceneUnit* u = m_planeScenes[size_t(m_viewedPlane)]->unit)
        u->SetPosition(int32_t(nx * halfW * 65536.0), int32_t(ny * halfH * 65536.0), int32_t(-kPreviewDepth * 65536.0),
                       m_yaw, 0, kPreviewPitch);
    m_p3d->SetClipRect(x, y, x + w, y + h);
    m_p3d->glMatrixMode(kProjection);
    m_p3d->glPushMatrix();
    m_p3d->glLoadIdentity();
    gluPerspectivex(m_p3d, kPreviewFov, P3DGameEngine::AspectRatio(m_width, m_height), kPreviewNear, kPreviewFar);
    m_p3d->glMatrixMode(kModelview);
    m_p3d->glPushMatrix();
    m_p3d->glLoadIdentity();
    m_p3d->glClear(kDepthBufferBit);
    m_p3d->glEnable(kDepthTest);
    m_engine->RenderAllScenes(m_p3d);
    m_p3d->glPopMatrix();
    m_p3d->glMatrixMode(kProjection);
    m_p3d->glPopMatrix();
    m_p3d->glMatrixMode(kModelview);
    m_p3d->ResetClipRect();
    if (PlaneLocked(p, m_viewedPlane) && m_fonts)
        m_fonts->Print(rp.x + rp.w / 2, rp.y + rp.h / 2, unsigned(TXT_LOCKED), 1, Fonts::kCenter);
}

void ProfileManager::RenderCreate()
{
    DrawFrame(m_wnd[WND_FRAME], -64);
    DrawFrame(m_wnd[WND_TITLE], -100);
    if (!m_fonts)
        return;
    const Window& title = m_wnd[WND_TITLE];
    m_fonts->Print(title.x + title.w / 2, title.y + (title.h - m_fonts->Height(1)) / 2, unsigned(TXT_NEW_PILOT), 1,
                   Fonts::kCenter);

    // The name between two lines, with a blinking cursor.
    const int lh = m_fonts->LineHeight(1);
    const int top = kNameLineY - (lh + 3);
    m_p3d->HLine(20, top, m_width - 40, 0xFFFFFFFF, P3DBLEND_OPAQUE);
    m_p3d->HLine(20, kNameLineY, m_width - 40, 0xFFFFFFFF, P3DBLEND_OPAQUE);
    const char* name = m_text->GetString();
    const int nw = m_fonts->StringWidth(1, name);
    const int nx = (m_width - nw) / 2;
    m_fonts->Print(nx, top + 2, name, 1);
    const uint32_t now = m_ticker ? (*m_ticker)() : m_blink * 25;
    if ((now / kCursorBlinkMs) % 2 == 0) {
        char head[TextInput::kMaxLength + 1] = {};
        std::memcpy(head, name, size_t(m_text->GetCursor()));
        m_p3d->FillRect(nx + m_fonts->StringWidth(1, head), top + 2, 2, unsigned(lh - 2), 0xFFFFFFFF,
                        P3DBLEND_OPAQUE);
    }
    m_fonts->Print(10, top + 2, "<", 1);
    m_fonts->Print(m_width - 10, top + 2, ">", 1, Fonts::kRight);

    // The keyboard.
    for (int row = 0; row < kKeyRowCount; ++row)
        for (int col = 0; kKeyRows[row][col]; ++col) {
            int x, y, w, h;
            KeyRect(row, col, x, y, w, h);
            if (m_highlight == row * kKeyColumns + col) {
                x -= 2;
                y -= 2;
                w += 4;
                h += 4;
            }
            PBlitFX fx;
            fx.alpha = 255;
            if (m_keyImage)
                m_p3d->BlitFx(PRect{x, y, w, h}, m_keyImage, nullptr, PS3D_BLEND, fx);
            else
                MyUtility::DrawWindow(m_p3d, x, y, w, h, 0, (signed char)-100);
            const char c = kKeyRows[row][col];
            if (c == '<' && m_deleteKey) {
                Blit(m_deleteKey, x + (w - int(m_deleteKey->Width())) / 2, y + (h - int(m_deleteKey->Height())) / 2);
            } else {
                const char text[2] = {c, 0};
                m_fonts->Print(x + w / 2, y + (h - m_fonts->Height(1)) / 2, text, 1, Fonts::kCenter);
            }
        }

    // The corner icons.
    const int ih = IconH();
    if (PSurface3D* back = Shared(kSharedBack)) {
        PBlitFX fx;
        fx.alpha = 255;
        const int w = int(back->Width()) * ih / int(back->Height() ? back->Height() : 1);
        m_p3d->BlitFx(PRect{4, m_height - ih - kButtonBottom, w, ih}, back, nullptr, PS3D_BLEND, fx);
        MyUtility::DrawKeyLabel(m_fonts, 4, m_height - ih - kButtonBottom, w, ih, MyUtility::kTextBack);
    }
    PSurface3D* ok = Shared(kSharedOk);
    if (ok && name[0]) {
        PBlitFX fx;
        fx.alpha = 255;
        const int w = int(ok->Width()) * ih / int(ok->Height() ? ok->Height() : 1);
        m_p3d->BlitFx(PRect{m_width - w - 4, m_height - ih - kButtonBottom, w, ih}, ok, nullptr, PS3D_BLEND, fx);
    }
}

void ProfileManager::WarningWnd_Draw()
{
    if (!m_p3d)
        return;
    const Window& f = m_msgWnd[0];
    DrawFrame(f, -120);
    if (f.state == Window::kOpening)
        return;
    // Drawn whole from here on: taps begun from now on are the window's.
    bool open = true;
    for (const Window& w : m_msgWnd)
        open = open && w.state != Window::kOpening;
    if (open)
        m_msgTap.Shown();
    // The window hides what is behind it: the page's labels under its lines
    // would run into its text.
    m_p3d->FillRect(f.x + 2, f.y + 2, unsigned(f.w - 4), unsigned(f.h - 4), 0xFF14181E, P3DBLEND_OPAQUE);
    if (PSurface3D* bg = Shared(kSharedBackground)) {
        PBlitFX fx;
        fx.alpha = kMessageBackgroundAlpha;
        m_p3d->BlitFx(PRect{f.x, f.y, f.w, f.h}, bg, nullptr, PS3D_ALPHA, fx);
    }
    if (!m_fonts)
        return;
    const int F = m_fonts->Height(0);
    for (size_t i = 0; i < m_msgLines.size(); ++i)
        m_fonts->Print(f.x + f.w / 2, f.y + 3 + int(i) * (F + 2), m_msgLines[i].c_str(), 0, Fonts::kCenter);
    if (m_msgNoButtons)
        return;
    const int buttons = m_msgOnlyOk ? 1 : 2;
    for (int i = 0; i < buttons; ++i) {
        const Window& b = m_msgWnd[1 + i];
        DrawFrame(b, -60);
        if (m_touch.down && m_msgTap.Armed() && b.Contains(m_touch.x, m_touch.y))
            m_p3d->FillRect(b.x, b.y, unsigned(b.w), unsigned(b.h), kPressedFill, P3DBLEND_ALPHA);
        else if (!m_msgOnlyOk && m_msgFocus == i)
            m_p3d->Rectangle(b.x, b.y, b.w, b.h, 0xFFFFCC88, P3DBLEND_OPAQUE);
        const unsigned id = m_msgOnlyOk ? TXT_OK : i == 0 ? TXT_YES : TXT_NO;
        m_fonts->Print(b.x + b.w / 2, b.y + (b.h - F) / 2, id, 0, Fonts::kCenter);
    }
}

void ProfileManager::DrawCurrentProfileBox(int y, bool right, signed char brightness)
{
    Profile* p = CurrentProfile();
    if (!p || !m_fonts || !m_p3d)
        return;
    const int w = m_fonts->StringWidth(1, p->GetNick(Profile::kSinglePlayer).c_str()) + 16;
    const int h = m_fonts->LineHeight(1) + 8;
    const int x = right ? m_width - w - 4 : 4;
    MyUtility::DrawWindow(m_p3d, x, y, w, h, 0, brightness);
    m_fonts->Print(x + 8, y + 4, p->GetNick(Profile::kSinglePlayer).c_str(), 1);
}

void ProfileManager::DrawImageInBorder(PSurface3D* image, int x, int y)
{
    if (m_rankBorder) {
        const int bw = int(m_rankBorder->Width());
        PBlitFX fx;
        fx.alpha = 255;
        // (x, y) is the border's top-left corner, as for the picture inside.
        m_p3d->BlitAlpha(x, y, m_rankBorder, nullptr, PS3D_BLEND | PS3D_MIRROR, fx);
        m_p3d->BlitAlpha(x + bw, y, m_rankBorder, nullptr, PS3D_BLEND, fx);
        if (image)
            Blit(image, x + bw - int(image->Width()) / 2, y + (int(m_rankBorder->Height()) - int(image->Height())) / 2);
    } else {
        Blit(image, x, y);
    }
}

void ProfileManager::DrawRankIconInBorder(int rank, int x, int y)
{
    if (rank < 0 || rank >= m_rankCount)
        return;
    const int bw = m_rankBorder ? int(m_rankBorder->Width()) : 32;
    const int bh = m_rankBorder ? int(m_rankBorder->Height()) : 64;
    DrawImageInBorder(nullptr, x, y);
    PBlitFX fx;
    fx.alpha = 255;
    m_p3d->BlitFx(PRect{x + bw - 32, y + (bh - 64) / 2 - 20, 64, 64}, m_ranks[rank], nullptr, PS3D_BLEND, fx);
}

// --- the aircraft preview -------------------------------------------------------------------

void ProfileManager::LoadPlanesWithEngine(PTextureManager* textures, P3D* p3d)
{
    ReleasePlanesWithEngine();
    if (p3d)
        m_p3d = p3d;
    m_engine = P3DGameEngine::Create(textures, P3DGameEngine::AspectRatio(m_width, m_height));
    if (!m_engine)
        return;
    m_planes = new PlanesManager(m_engine);
    const int n = m_planes->LoadPlaneCfgFiles("data\\planes\\", "config", ".txt");
    const PVector3 position = {0, 0, kPreviewDistance};
    const PVector3 angles = {kPreviewPitch, 0, 0};
    for (int i = 0; i < n; ++i) {
        PlaneScene* ps = new PlaneScene();
        m_planeScenes.push_back(ps);
        if (!m_planes->SetNewPlaneOnScene(i, ps, nullptr, "", position, angles, kPreviewVariant) || !ps->unit ||
            !ps->scene) {
            _PDebug("profiles: aircraft %d cannot be shown; no preview\n", i);
            ReleasePlanesWithEngine();
            return;
        }
        ps->scene->SetNearClipDistance(kPreviewNear);
        ps->scene->SetFarClipDistance(kPreviewFar);
        ps->scene->clipByFrustum = 0;
        ps->unit->SetCurrentFrame(kPreviewFrame);
        // In front of the camera; the preview turns it about its own centre.
        ps->unit->SetPosition(0, 0, kPreviewDistance, 0, 0, kPreviewPitch);
    }
    m_planeCount = n;
    if (m_viewedPlane < 0 || m_viewedPlane >= m_planeCount)
        m_viewedPlane = 0;
    _PDebug("profiles: %d aircraft in the preview\n", n);
}

void ProfileManager::ReleasePlanesWithEngine()
{
    for (PlaneScene* ps : m_planeScenes)
        delete ps;
    m_planeScenes.clear();
    delete m_planes;
    m_planes = nullptr;
    delete m_engine;
    m_engine = nullptr;
    m_planeCount = 0;
    m_viewedPlane = 0;
}
