#include "game/world/hud.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <cwchar>
#include <new>

#include "engine/graphics/p3d.h"
#include "engine/graphics/pblit.h"
#include "engine/graphics/psurface3d.h"
#include "engine/runtime/pdebug.h"
#include "engine/runtime/pfixed.h"
#include "engine/runtime/pstring.h"
#include "game/frontend/fonts.h"
#include "game/frontend/profile.h"
#include "game/frontend/profilemanager.h"
#include "game/world/gameplayobject.h"
#include "game/world/myinput.h"

namespace {

constexpr char kImageDir[] = "data\\2dgfx\\";
constexpr int kImageFlags = PS3D_DROPIMAGE;

// Fonts of the display.
constexpr int kFontCondition = 1;
constexpr int kFontTimer = 2;
constexpr int kFontSmall = 4;
constexpr int kFontScore = 5;

constexpr int kTimerX = 95;
constexpr int kTimerY = 7;

// The ammunition count's distance below the weapon icon's circle.
constexpr int kAmmoGap = 2;

// Weapon wheel.
constexpr int32_t kWheelStep = 18 << 16; // degrees a frame
constexpr int kWheelAlphaStep = 10;

// Fire button alphas and fade times.
constexpr int kFireIdle = 32;
constexpr int kFireBlink = 127;
constexpr int kFireHeld = 175;
constexpr uint32_t kFirePressMs = 200;
constexpr uint32_t kFireReleaseMs = 1000;

// Banners.
constexpr int kBannerShownY = 12;
constexpr int kBannerRise = 16;
constexpr int kBannerFall = 8;
constexpr int kBannerSideGap = 16;
constexpr int kDefaultBorderW = 32;
constexpr int kDefaultBorderH = 64;

// Lock icons.
constexpr int kLockTop = 60;
constexpr int kLockStep = 45;
constexpr int kLockSize = 44;
constexpr int kLockGrow = 2;
constexpr uint32_t kRed = 0xff0000;
constexpr uint32_t kGreen = 0x00ff00;
constexpr uint32_t kWhite = 0xffffff;
constexpr uint32_t kBlack = 0x000000;
constexpr uint32_t kConditionBox = 0x4f000000;

// Objectives window.
constexpr int kObjectiveBarWidth = 38;
constexpr int kObjectiveBarHeight = 16;
constexpr int kObjectiveBarInset = 29;
constexpr int kMaxObjectives = 127;

// Icon pair of a lock icon: normal, and locked or pressed.
constexpr int kIconNormal = 0;
constexpr int kIconActive = 1;

int W(const PSurface3D* s)
{
    return s ? int(s->Width()) : 0;
}
int H(const PSurface3D* s)
{
    return s ? int(s->Height()) : 0;
}

PSurface3D* LoadHudImage(P3D* p3d, const char* name)
{
    if (!p3d)
        return nullptr;
    PString path(kImageDir);
    path.Append(name);
    PSurface3D* s = PSurface3D::CreateFromFile(p3d, path.c_str(), kImageFlags);
    if (!s)
        _PDebug("hud: no image %s\n", path.c_str());
    return s;
}

void Free(PSurface3D*& s)
{
    delete s;
    s = nullptr;
}

int16_t ToInt16(int64_t v)
{
    return int16_t(std::clamp<int64_t>(v, INT16_MIN, INT16_MAX));
}

// The health an objective row shows: its target's, or the average over its
// list of objects.
int ObjectiveHealth(const Objective& o, const GPO*& sideOf)
{
    if (o.target) {
        sideOf = o.target;
        return o.target->GetEnergy();
    }
    int64_t sum = 0;
    int n = 0;
    for (const GPO* g : o.objects) {
        if (!g)
            continue;
        if (!sideOf)
            sideOf = g;
        sum += g->GetEnergy();
        n++;
    }
    return n ? int(sum / n) : 0;
}

} // namespace

// ---------------------------------------------------------------------------
// ObjectiveElement

ObjectiveElement::~ObjectiveElement()
{
    delete[] title;
}

int ObjectiveElement::SetTitle(const wchar_t* text)
{
    delete[] title;
    title = nullptr;
    if (!text)
        return 1;
    size_t n = wcslen(text);
    title = new (std::nothrow) wchar_t[n + 1];
    if (!title)
        return 0;
    std::memcpy(title, text, (n + 1) * sizeof(wchar_t));
    return 1;
}

// ---------------------------------------------------------------------------
// Life cycle

Hud::Hud(P3D* p3d, Fonts* fonts, int w, int h, const uint32_t* clock, ProfileManager* profileManager,
         HudMatchLink* match)
    : m_p3d(p3d), m_fonts(fonts), m_w(w), m_h(h), m_clock(clock), m_profileManager(profileManager), m_match(match)
{
    m_scratch = new (std::nothrow) PString();
    m_bannerHidden = ToInt16(-(int64_t(BorderHeight()) + 1));
    m_promotionY = m_medalY = m_bannerHidden;
}

Hud::~Hud()
{
    Release();
}

void Hud::ReleaseImages()
{
    PSurface3D** all[] = {&m_repairIcon, &m_rearmIcon,       &m_energyBar,     &m_weaponCircle,
                          &m_weaponBg,   &m_fireButton,      &m_radarBg,       &m_radar,
                          &m_barEmptySide, &m_barFillSide,   &m_barEmpty,      &m_barFill,
                          &m_barFillGreenSide, &m_barFillGreen, &m_disconnect, &m_medal4,
                          &m_medal5,     &m_camIcon};
    for (PSurface3D** s : all)
        Free(*s);
    for (PSurface3D*& s : m_throttleImages)
        Free(s);
    SC_IconsRelease();
}

void Hud::ReleaseWeapons()
{
    if (m_weaponImages)
        for (int i = 0; i < m_weaponCount; i++)
            delete m_weaponImages[i];
    delete[] m_weaponImages;
    delete[] m_weaponBytesA;
    delete[] m_weaponBytesB;
    m_weaponImages = nullptr;
    m_weaponBytesA = m_weaponBytesB = nullptr;
    m_weaponCount = 0;
    m_currentWeapon = 0;
}

void Hud::Release()
{
    ReleaseImages();
    ReleaseWeapons();
    ClearObjectivesWindow();
    delete[] m_summary;
    m_summary = nullptr;
    m_summaryCount = 0;
    m_summaryCapacity = 0;
    delete m_scratch;
    m_scratch = nullptr;
}

int Hud::Init()
{
    ReleaseImages();
    m_repairIcon = LoadHudImage(m_p3d, "repair_icon.png");
    m_rearmIcon = LoadHudImage(m_p3d, "rearm_icon.png");
    m_energyBar = LoadHudImage(m_p3d, "energybar.png");
    for (int i = 0; i < kThrottleImages; i++) {
        PString name("throttle_");
        name.AppendNum(i + 1);
        name.Append(".png");
        m_throttleImages[i] = LoadHudImage(m_p3d, name.c_str());
    }
    m_weaponCircle = LoadHudImage(m_p3d, "hud_weap_cir.png");
    m_weaponBg = LoadHudImage(m_p3d, "weap_bg.png");
    m_fireButton = LoadHudImage(m_p3d, "fire_button.png");
    m_radarBg = LoadHudImage(m_p3d, "radar_bg.png");
    m_radar = LoadHudImage(m_p3d, "radar.png");
    m_barEmptySide = LoadHudImage(m_p3d, "bar_empty_side_.png");
    m_barFillSide = LoadHudImage(m_p3d, "bar_fill_side_.png");
    m_barEmpty = LoadHudImage(m_p3d, "bar_empty_.png");
    m_barFill = LoadHudImage(m_p3d, "bar_fill_.png");
    m_barFillGreenSide = LoadHudImage(m_p3d, "bar_fillg_side_.png");
    m_barFillGreen = LoadHudImage(m_p3d, "bar_fillg_.png");
    m_disconnect = LoadHudImage(m_p3d, "disconnect.png");
    m_medal4 = LoadHudImage(m_p3d, "medal_4.png");
    m_medal5 = LoadHudImage(m_p3d, "medal_5.png");
    m_camIcon = LoadHudImage(m_p3d, "cam_icon.png");
    SC_IconsLoad();

    m_bannerHidden = ToInt16(-(int64_t(BorderHeight()) + 1));
    m_promotionShown = m_medalShown = 0;
    m_promotionY = m_medalY = m_bannerHidden;
    ClearRadarObjs();
    SC_Clean();

    if (!m_repairIcon || !m_rearmIcon || !m_energyBar || !m_weaponCircle || !m_weaponBg || !m_medal4 ||
        !m_medal5 || !m_radarBg || !m_radar) {
        _PDebug("hud: a required image is missing\n");
        return 0;
    }
    return 1;
}

int Hud::BorderWidth() const
{
    const PSurface3D* b = m_profileManager ? m_profileManager->RankBorder() : nullptr;
    return b ? W(b) : kDefaultBorderW;
}

int Hud::BorderHeight() const
{
    const PSurface3D* b = m_profileManager ? m_profileManager->RankBorder() : nullptr;
    return b ? H(b) : kDefaultBorderH;
}

// ---------------------------------------------------------------------------
// Touch tests

int Hud::TouchScreen_Shoot(int x, int y, bool down)
{
    const uint8_t pressed = down && m_fireButton && m_weaponCount > 0 && m_fireRegion.Contains(x, y) ? 1 : 0;
    if (pressed != m_firePressed) {
        m_firePressed = pressed;
        m_fireChange = Now();
    }
    return pressed;
}

int Hud::TouchScreen_ThrottleModify(int x, int y, bool down, int32_t& throttle)
{
    if (!down) {
        m_throttleTouchStarted = 0;
        return 0;
    }
    if (!m_throttleRegion.Contains(x, y))
        return 0;
    if (!m_throttleTouchStarted) {
        m_throttleLastX = x;
        m_throttleTouchStarted = 1;
        return 1;
    }
    // One pixel of drag moves the throttle by (region width - margin) / 100,
    // worked out in 64 bits so that no drag overflows.
    const int64_t drag = int64_t(x) - m_throttleLastX - m_throttleRegion.x;
    const int64_t span = int64_t(m_throttleRegion.w) - kThrottleMargin;
    const int64_t delta = (drag * span * 65536 / 100) >> 16;
    throttle = int32_t(std::clamp<int64_t>(int64_t(throttle) + delta, 0, 100));
    m_throttleLastX = x;
    return 1;
}

int Hud::TouchScreen_isInsideWeaponIcon(int x, int y, bool) const
{
    return m_weaponRegion.Contains(x, y) ? 1 : 0;
}

int Hud::TouchScreen_IsInsideCamSmart(int x, int y, bool down) const
{
    return x < 30 && y >= 6 && y < 36 && down ? 1 : 0;
}

// ---------------------------------------------------------------------------
// Timer

void Hud::InitTimer(int minutes, int seconds, bool countDown)
{
    m_timerMinutes = m_timerInitMinutes = ToInt16(minutes);
    m_timerSeconds = m_timerInitSeconds = ToInt16(seconds);
    m_timerCountDown = countDown ? 1 : 0;
    m_timerVisible = 1;
    m_timerStart = 0;
}

void Hud::UpdateTimer(uint32_t now)
{
    if (!m_timerVisible || now == 0)
        return;
    if (m_timerStart == 0)
        m_timerStart = now;
    const int64_t elapsed = int64_t(uint32_t(now - m_timerStart) / 1000);
    const int64_t base = int64_t(m_timerInitMinutes) * 60 + m_timerInitSeconds;
    int64_t shown = m_timerCountDown ? std::max<int64_t>(base - elapsed, 0) : base + elapsed;
    int64_t m = shown / 60, s = shown - m * 60;
    m_timerMinutes = m < 0 ? 0 : ToInt16(m);
    m_timerSeconds = s < 0 ? 0 : ToInt16(s);
}

void Hud::GetTimerBase(int& minutes, int& seconds) const
{
    minutes = m_timerInitMinutes;
    seconds = m_timerInitSeconds;
}

void Hud::SetTimerBase(int minutes, int seconds)
{
    m_timerInitMinutes = ToInt16(minutes);
    m_timerInitSeconds = ToInt16(seconds);
}

void Hud::DrawTimer()
{
    if (!m_timerVisible || !m_fonts)
        return;
    PString t;
    t.AppendNum(m_timerMinutes);
    t.Append(':');
    if (m_timerSeconds <= 9)
        t.Append('0');
    t.AppendNum(m_timerSeconds);
    m_fonts->Print(kTimerX, kTimerY, t.c_str(), kFontTimer);
}

// ---------------------------------------------------------------------------
// Weapons and the wheel

void Hud::UpdateHiding()
{
    const uint32_t now = Now();
    if (now - m_lastShow > kWheelShowMs) {
        m_lastShow = now;
        m_hidden = 1;
    }
    if (!m_hidden)
        m_wheelAlpha = uint8_t(std::min(int(m_wheelAlpha) + kWheelAlphaStep, 255));
    else
        m_wheelAlpha = uint8_t(std::max(int(m_wheelAlpha) - kWheelAlphaStep, 0));
}

void Hud::UpdateCurrentWeapon(int index)
{
    m_currentWeapon = int8_t(std::clamp(index, 0, kMaxWeapons));
    m_hidden = 0;
    m_lastShow = Now();
}

int Hud::InitWeaponImages(const int8_t* ids, int count)
{
    ReleaseWeapons();
    if (!ids || count <= 0)
        return 1;
    if (count > kMaxWeapons) {
        _PDebug("hud: %d weapons, only %d are shown\n", count, kMaxWeapons);
        count = kMaxWeapons;
    }
    m_weaponImages = new (std::nothrow) PSurface3D*[count]();
    m_weaponBytesA = new (std::nothrow) uint8_t[count]();
    m_weaponBytesB = new (std::nothrow) uint8_t[count]();
    if (!m_weaponImages || !m_weaponBytesA || !m_weaponBytesB) {
        ReleaseWeapons();
        return 0;
    }
    m_weaponCount = int8_t(count);
    for (int i = 0; i < count; i++) {
        PString name("weap_icon_");
        name.AppendNum(ids[i]);
        name.Append(".png");
        m_weaponImages[i] = LoadHudImage(m_p3d, name.c_str());
        if (!m_weaponImages[i]) {
            ReleaseWeapons();
            return 0;
        }
    }
    return 1;
}

void Hud::DrawWeaponWheel()
{
    if (m_weaponCount <= 0 || m_wheelAlpha == 0 || !m_weaponBg)
        return;
    const int r = W(m_weaponBg) - 16;
    const int cx = m_w / 2;
    const int y0 = m_h / 4 - 35;
    const int ry = H(m_weaponBg) - 8;
    PBlitFX fx;
    fx.alpha = m_wheelAlpha;
    m_p3d->BlitFx(cx - r / 2, y0, m_weaponBg, nullptr, PS3D_ALPHA, fx);
    m_p3d->BlitFx(cx + r / 2, y0, m_weaponBg, nullptr, PS3D_ALPHA | PS3D_MIRROR, fx);

    // Turn toward the current weapon without passing it.
    const int32_t step = int32_t((int64_t(360) << 16) / m_weaponCount);
    const int current = std::min<int>(m_currentWeapon, m_weaponCount - 1);
    const int32_t target = int32_t(int64_t(step) * current);
    if (m_wheelAngle < target)
        m_wheelAngle = std::min(m_wheelAngle + kWheelStep, target);
    else if (m_wheelAngle > target)
        m_wheelAngle = std::max(m_wheelAngle - kWheelStep, target);

    struct Item {
        int k, x, y, depth;
    };
    Item items[kMaxWeapons];
    for (int k = 0; k < m_weaponCount; k++) {
        const int32_t a = int32_t(int64_t(m_wheelAngle) - int64_t(step) * k);
        const int c = int((int64_t(ry) * PCosd(a)) >> 16);
        const int s = int((int64_t(r) * PSind(a)) >> 16);
        items[k] = {k, cx + s, y0 + c, c - ry};
    }
    // Farthest first, so that the front icon lies on top.
    std::stable_sort(items, items + m_weaponCount, [](const Item& a, const Item& b) { return a.depth < b.depth; });
    for (int i = 0; i < m_weaponCount; i++) {
        const Item& it = items[i];
        PSurface3D* img = m_weaponImages[it.k];
        if (!img)
            continue;
        int alpha;
        if (!m_hidden)
            alpha = std::max(255 + 8 * it.depth, 128);
        else if (it.k == current)
            alpha = m_wheelAlpha;
        else
            alpha = std::clamp(m_wheelAlpha + 8 * it.depth, 0, 255);
        if (alpha <= 0)
            continue;
        const int grow = it.depth / 5;
        const int iw = std::max(W(img) + grow, 1), ih = std::max(H(img) + grow, 1);
        PBlitFX f;
        f.alpha = uint32_t(std::min(alpha, 255));
        m_p3d->BlitFx(PRect{it.x - iw / 2, it.y - ih / 2, iw, ih}, img, nullptr, PS3D_ALPHA, f);
    }
}

void Hud::DrawWeaponIcon()
{
    if (!m_weaponOwner || m_weaponOwner->weaponIds.empty() || m_weaponCount <= 0 || !m_weaponImages)
        return;
    const int current = std::min<int>(m_currentWeapon, m_weaponCount - 1);
    PSurface3D* icon = m_weaponImages[current];
    // The circle with the icon centred in it lies wholly on the screen, as
    // far in from the right edge as the radar from the left; the count is
    // centred under it.
    const int bw = std::max(W(m_weaponCircle), W(icon)), bh = std::max(H(m_weaponCircle), H(icon));
    const int x = m_w - kRadarX - bw, y = kRadarY;
    DrawImage(m_weaponCircle, x + (bw - W(m_weaponCircle)) / 2, y + (bh - H(m_weaponCircle)) / 2, 255);
    DrawImage(icon, x + (bw - W(icon)) / 2, y + (bh - H(icon)) / 2, 255);
    m_weaponRegion = {x, y, bw, bh};
    if (m_scratch && m_fonts) {
        m_scratch->Clear();
        m_weaponOwner->GetCurrentAmmoCountAsString(m_scratch);
        m_fonts->Print(x + bw / 2, y + bh + kAmmoGap, m_scratch->c_str(), kFontSmall, Fonts::kCenter);
    }
}

// ---------------------------------------------------------------------------
// Radar

void Hud::SetRadarPosition(const PVector3& position, int32_t yaw)
{
    m_playerX = position.x;
    m_playerZ = position.z;
    m_playerYaw = yaw;
}

void Hud::ClearRadarObjs()
{
    m_radarCount = 0;
}

void Hud::AddRadarObj(const PVector3& position, uint32_t colour, PSurface3D* image)
{
    if (m_radarCount >= kMaxRadarObjects)
        return;
    m_radarObjs[m_radarCount++] = {position.x, position.z, colour, image};
}

void Hud::TranslateToRadarCoords(int32_t angle, int32_t px, int32_t pz, int32_t ox, int32_t oz, int max, int& dx,
                                 int& dy)
{
    // At 1/8 scale so that the squares stay in range.
    PVector3 d(int32_t((int64_t(ox) - px) >> 3), 0, int32_t((int64_t(oz) - pz) >> 3));
    const int64_t sq = ((int64_t(d.x) * d.x) >> 16) + ((int64_t(d.z) * d.z) >> 16);
    const int64_t dist = PFSqrt(unsigned(std::min<int64_t>(sq, UINT32_MAX)));
    PMatrix3D m;
    m.SetIdentity();
    m.RotateY(angle);
    m.TransformPoint(d);
    if (dist * 8 > int64_t(max) * 65536) {
        d.Normalize();
        dx = int((int64_t(d.x) * max / 2) >> 16);
        dy = int((int64_t(d.z) * max / 2) >> 16);
    } else {
        dx = int((int64_t(d.x) * 4) >> 16);
        dy = int((int64_t(d.z) * 4) >> 16);
    }
}

void Hud::DrawDot(int x, int y, uint32_t colour)
{
    m_p3d->FillRect(x - 2, y - 2, 5, 5, kBlack, P3DBLEND_OPAQUE);
    m_p3d->FillRect(x - 2, y, 5, 1, colour, P3DBLEND_OPAQUE);
    m_p3d->FillRect(x, y - 2, 1, 5, colour, P3DBLEND_OPAQUE);
    m_p3d->FillRect(x - 1, y - 1, 3, 3, colour, P3DBLEND_OPAQUE);
}

void Hud::DrawRadar(Rect& r)
{
    r = {kRadarX, kRadarY, W(m_radar), H(m_radar)};
    if (m_radarBg) {
        PBlitFX fx;
        fx.alpha = 175;
        m_p3d->BlitFx(W(m_radarBg) / 2 + kRadarX, H(m_radarBg) / 2 + kRadarY, m_radarBg, nullptr, PS3D_ALPHA, fx);
    }
    DrawImage(m_radar, kRadarX, kRadarY, 255);
    const int cx = r.w / 2 + kRadarX, cy = r.h / 2 + kRadarY;
    for (int i = 0; i < m_radarCount; i++) {
        const RadarObject& o = m_radarObjs[i];
        int dx = 0, dy = 0;
        TranslateToRadarCoords(-m_playerYaw, m_playerX, m_playerZ, o.x, o.z,
                               o.image ? kRadarImageReach : kRadarDotReach, dx, dy);
        if (o.image)
            DrawImage(o.image, cx + dx - W(o.image) / 2, cy + dy - H(o.image) / 2, 255);
        else
            DrawDot(cx + dx, cy + dy, o.colour);
    }
    // The player's aircraft.
    m_p3d->FillRect(cx - 1, cy - 3, 2, 6, kWhite, P3DBLEND_OPAQUE);
    m_p3d->FillRect(cx - 4, cy - 1, 3, 2, kWhite, P3DBLEND_OPAQUE);
    m_p3d->FillRect(cx + 1, cy - 1, 3, 2, kWhite, P3DBLEND_OPAQUE);
    m_p3d->FillRect(cx - 2, cy + 3, 4, 1, kWhite, P3DBLEND_OPAQUE);
    m_p3d->FillRect(cx - 5, cy - 1, 1, 1, kWhite, P3DBLEND_OPAQUE);
    m_p3d->FillRect(cx + 4, cy - 1, 1, 1, kWhite, P3DBLEND_OPAQUE);
}

void Hud::DrawThrottle(const Rect& r, int throttle)
{
    m_throttleRegion = {0, r.y, r.x + r.w + kThrottleMargin, r.h};
    const int s = throttle < 110 ? throttle / 10 : kThrottleImages;
    const int x = r.x + r.w / 2 - W(m_throttleImages[kThrottleImages - 1]) / 2;
    for (int i = 1; i <= s; i++) {
        PSurface3D* img = m_throttleImages[i - 1];
        if (img)
            DrawImage(img, x, r.y + r.h - H(img), 255);
    }
}

// ---------------------------------------------------------------------------
// Drawing helpers

void Hud::DrawImage(PSurface3D* image, int x, int y, int alpha, int flags)
{
    if (!image || !m_p3d)
        return;
    PBlitFX fx;
    fx.alpha = uint32_t(std::clamp(alpha, 0, 255));
    m_p3d->BlitAlpha(x, y, image, nullptr, PS3D_ALPHA | flags, fx);
}

void Hud::DrawEnergyBar(P3D* p3d, const PRect& rect, int value, int max, bool green)
{
    if (!p3d || !m_barEmptySide || !m_barFillSide || !m_barEmpty || !m_barFill || !m_barFillGreenSide ||
        !m_barFillGreen || max <= 0)
        return;
    value = std::clamp(value, 0, max);
    PSurface3D* fillCap = green ? m_barFillGreenSide : m_barFillSide;
    PSurface3D* fillMid = green ? m_barFillGreen : m_barFill;
    PBlitFX fx;
    fx.alpha = 255;
    const int capY = rect.y + rect.height / 2 - H(m_barEmptySide) / 2;
    PSurface3D* left = value > 0 ? fillCap : m_barEmptySide;
    p3d->BlitAlpha(rect.x - W(left), rect.y + rect.height / 2 - H(left) / 2, left, nullptr, PS3D_ALPHA | PS3D_MIRROR,
                   fx);
    if (value >= max) {
        p3d->BlitAlpha(rect.x + rect.width, rect.y + rect.height / 2 - H(fillCap) / 2, fillCap, nullptr, PS3D_ALPHA,
                       fx);
    } else {
        p3d->BlitAlpha(rect.x + rect.width, capY, m_barEmptySide, nullptr, PS3D_ALPHA, fx);
        const int mh = H(m_barEmpty);
        p3d->BlitFx(PRect{rect.x, rect.y + rect.height / 2 - mh / 2, rect.width, mh}, m_barEmpty, nullptr, PS3D_ALPHA,
                    fx);
    }
    const int fw = int(int64_t(value) * rect.width / max);
    if (fw > 0) {
        const int mh = H(fillMid);
        p3d->BlitFx(PRect{rect.x, rect.y + rect.height / 2 - mh / 2, fw, mh}, fillMid, nullptr, PS3D_ALPHA, fx);
    }
}

// ---------------------------------------------------------------------------
// Objectives window

int Hud::AddObjectiveElement(const Objective* objective)
{
    if (!objective)
        return 0;
    if (m_objectiveCount >= kMaxObjectives) {
        _PDebug("hud: more than %d objectives; the rest are not shown\n", kMaxObjectives);
        return 0;
    }
    ObjectiveElement* e = new (std::nothrow) ObjectiveElement();
    if (!e)
        return 0;
    if (!e->SetTitle(objective->title.c_str())) {
        delete e;
        return 0;
    }
    e->SetObjectivePtr(objective);
    ObjectiveElement** grown = new (std::nothrow) ObjectiveElement*[m_objectiveCount + 1];
    if (!grown) {
        delete e;
        return 0;
    }
    for (int i = 0; i < m_objectiveCount; i++)
        grown[i] = m_objectives[i];
    grown[m_objectiveCount] = e;
    delete[] m_objectives;
    m_objectives = grown;
    m_objectiveCount++;
    return 1;
}

void Hud::InitObjectivesWindow(int)
{
    m_objRowH = (m_fonts ? m_fonts->Height(kFontSmall) : 0) + 1;
    // The titles as drawn (the outline of the display's fonts reaches past
    // the last letter's advance), and room for the bars' left caps, which
    // stand out left of the bars' rectangles: a bar's cap starts 5 pixels
    // right of the widest title.
    int widest = 0;
    for (int i = 0; i < m_objectiveCount; i++)
        if (m_fonts && m_objectives[i]->title)
            widest = std::max(widest, m_fonts->DrawnWidth(kFontSmall, m_objectives[i]->title));
    const int cap = std::max({W(m_barEmptySide), W(m_barFillSide), W(m_barFillGreenSide)});
    m_objW = kObjectiveBarWidth + widest + cap;
    m_objH = m_objectiveCount * m_objRowH;
    m_objX = 2;
    m_objY = m_h - m_objH;
    m_objectiveRows = m_objectiveCount;
}

void Hud::ClearObjectivesWindow()
{
    if (m_objectives)
        for (int i = 0; i < m_objectiveCount; i++)
            delete m_objectives[i];
    delete[] m_objectives;
    m_objectives = nullptr;
    m_objectiveCount = 0;
    m_objectiveRows = 0;
}

const ObjectiveElement* Hud::GetObjectiveElement(int i) const
{
    return i >= 0 && i < m_objectiveCount ? m_objectives[i] : nullptr;
}

void Hud::DrawObjectivesBar()
{
    const int rows = std::min<int>(m_objectiveRows, m_objectiveCount);
    int y = m_h - 3 - rows * m_objRowH;
    for (int i = 0; i < rows; i++, y += m_objRowH + 1) {
        const ObjectiveElement* e = m_objectives[i];
        if (m_fonts && e->title)
            m_fonts->Print(m_objX + 4, y - 1, e->title, kFontSmall);
        const Objective* o = e->objective;
        if (!o || o->action != Objective::DESTROY)
            continue;
        const GPO* sideOf = nullptr;
        const int health = ObjectiveHealth(*o, sideOf);
        int value = int(int64_t(kObjectiveBarWidth) * health / 100);
        if (health >= 1)
            value = std::max(value, 1);
        DrawEnergyBar(m_p3d, PRect{m_objX + m_objW - kObjectiveBarInset, y, kObjectiveBarWidth, kObjectiveBarHeight},
                      value, kObjectiveBarWidth, sideOf && sideOf->side == GPO::FRIENDLY);
    }
}

// ---------------------------------------------------------------------------
// Summary

void Hud::AddSummaryElement(const wchar_t* title, int points, int count)
{
    if (m_summaryCount == UINT16_MAX)
        return; // full; said once when it filled
    if (m_summaryCount == m_summaryCapacity) {
        // Rows come one at a time, possibly every frame: room grows by doubling.
        const uint32_t capacity = std::min<uint32_t>(std::max<uint32_t>(m_summaryCapacity * 2, 8), UINT16_MAX);
        SummaryElement* grown = new (std::nothrow) SummaryElement[capacity];
        if (!grown)
            return;
        for (int i = 0; i < m_summaryCount; i++)
            grown[i] = m_summary[i];
        delete[] m_summary;
        m_summary = grown;
        m_summaryCapacity = capacity;
    }
    m_summary[m_summaryCount++] = {title, points, count};
    if (m_summaryCount == UINT16_MAX)
        _PDebug("hud: the summary is full; later rows are left out\n");
}

const SummaryElement* Hud::GetSummaryElement(int i) const
{
    return i >= 0 && i < m_summaryCount ? &m_summary[i] : nullptr;
}

int Hud::GetTotalSummaryScore() const
{
    int64_t sum = 0;
    for (int i = 0; i < m_summaryCount; i++)
        sum = std::clamp<int64_t>(sum + int64_t(m_summary[i].points) * m_summary[i].count, INT32_MIN, INT32_MAX);
    return int(sum);
}

// ---------------------------------------------------------------------------
// Banners

void Hud::ReinitRankIconPos(int oldY, int newY)
{
    m_promotionY = m_medalY = ToInt16(int64_t(m_promotionY) + newY - oldY);
}

void Hud::StartMedalBanner(int medal)
{
    m_profile->AddMedal(medal);
    m_medalNumber = int8_t(medal);
    m_medalShown = 1;
    m_medalStart = Now();
}

int Hud::HandleGeneralMedalAwardEvent()
{
    if (!m_profile || m_promotionShown || m_medalShown || m_profile->HasMedal(kGeneralMedal))
        return 0;
    if (m_profile->GetRank() < kGeneralMedalRank)
        return 0;
    StartMedalBanner(kGeneralMedal);
    return 1;
}

int Hud::HandleArcadeMedalAwardEvent(uint32_t startScore)
{
    if (!m_profile || m_promotionShown || m_medalShown || m_profile->HasMedal(kArcadeMedal))
        return 0;
    const uint32_t score = m_profile->GetScore();
    if (score <= startScore || score - startScore < kArcadeMedalScore)
        return 0;
    StartMedalBanner(kArcadeMedal);
    return 1;
}

int Hud::HandleMomentAndDrawPromotion()
{
    if (!m_profile || !m_profile->UpgradeRankMomentHandler())
        return 0;
    m_promotionShown = 1;
    m_promotionStart = Now();
    return 1;
}

void Hud::SlideBanner(int16_t& y, bool shown, int16_t hidden)
{
    if (shown)
        y = ToInt16(std::min<int>(y + kBannerRise, kBannerShownY));
    else
        y = ToInt16(std::max<int>(y - kBannerFall, hidden));
}

void Hud::DrawBanners()
{
    const uint32_t now = Now();
    const int bw = BorderWidth(), bh = BorderHeight();
    if (m_promotionShown && now - m_promotionStart >= kBannerMs)
        m_promotionShown = 0;
    SlideBanner(m_promotionY, m_promotionShown, m_bannerHidden);
    if (m_promotionY > m_bannerHidden && m_profile) {
        const int x = m_w / 2 - bw - kBannerSideGap;
        const int rank = m_profile->GetRank();
        if (m_profileManager) {
            m_profileManager->DrawRankIconInBorder(rank, x, m_promotionY);
            if (m_fonts)
                if (const wchar_t* name = m_profileManager->GetTextOfRank(rank))
                    m_fonts->Print(x + bw, m_promotionY + bh + 16, name, kFontCondition, Fonts::kCenter);
        }
    }
    if (m_medalShown && now - m_medalStart >= kBannerMs)
        m_medalShown = 0;
    SlideBanner(m_medalY, m_medalShown, m_bannerHidden);
    if (m_medalY > m_bannerHidden && m_profileManager) {
        PSurface3D* image = m_medalNumber == kGeneralMedal ? m_medal5 : m_medal4;
        m_profileManager->DrawImageInBorder(image, m_w / 2 + bw - kBannerSideGap, m_medalY);
    }
}

// ---------------------------------------------------------------------------
// Lock icons

int Hud::SC_Add(GPO* gpo, int iconId, int32_t range)
{
    if (m_scCount >= kMaxLockIcons || !gpo)
        return 0;
    LockIcon& e = m_sc[m_scCount];
    e.iconId = int8_t(std::clamp(iconId, 0, kLockIconKinds));
    e.gpo = gpo;
    e.range = range;
    e.locked = 0;
    e.pressed = 0;
    e.x = 0;
    e.y = kLockTop + kLockStep * (m_scCount + 1);
    e.w = kLockSize;
    e.h = kLockSize;
    m_scCount++;
    return 1;
}

GPO* Hud::SC_IsLocking() const
{
    const int i = SC_GetLockedIndex();
    return i >= 0 ? m_sc[i].gpo : nullptr;
}

int Hud::SC_GetLockedIndex() const
{
    for (int i = 0; i < m_scCount; i++)
        if (m_sc[i].locked)
            return i;
    return -1;
}

void Hud::SC_LockAtIndex(int i, uint8_t v)
{
    SC_UnlockAll();
    if (i >= 0 && i < m_scCount)
        m_sc[i].locked = v;
}

void Hud::SC_UnlockAll()
{
    for (LockIcon& e : m_sc)
        e.locked = 0;
}

void Hud::SC_Clean()
{
    for (LockIcon& e : m_sc)
        e = LockIcon();
    m_scCount = 0;
}

void Hud::SC_Update(MyInput* input, int keys)
{
    if (!input)
        return;
    const int locked = SC_GetLockedIndex();
    if (locked >= 0) {
        if (m_scCount == 0 || input->PressedFire4(keys))
            SC_UnlockAll();
        else if (input->PressedShoulderL(keys))
            SC_LockAtIndex((locked + 1) % m_scCount, 1);
    } else if (input->PressedShoulderL(keys) && m_scCount > 0) {
        SC_LockAtIndex(0, 1);
    }
}

void Hud::SC_UpdateDist(int32_t distance)
{
    const int64_t d = distance < 0 ? -int64_t(distance) : int64_t(distance);
    for (int i = 0; i < m_scCount; i++) {
        const LockIcon& e = m_sc[i];
        if (!e.locked)
            continue;
        const int64_t r = e.range < 0 ? -int64_t(e.range) : int64_t(e.range);
        if (r < d || !e.gpo || e.gpo->GetEnergy() < 1 || !e.gpo->enabled) {
            SC_UnlockAll();
            return;
        }
    }
}

int Hud::SC_TouchUpdate(int x, int y, bool down, bool previousDown)
{
    auto inside = [x, y](const LockIcon& e) { return x >= e.x && x <= e.x + e.w && y >= e.y && y <= e.y + e.h; };
    if (down) {
        for (int i = 0; i < m_scCount; i++)
            m_sc[i].pressed = inside(m_sc[i]) ? 1 : 0;
        return 0;
    }
    for (LockIcon& e : m_sc)
        e.pressed = 0;
    if (!previousDown)
        return 0;
    int result = 0;
    for (int i = 0; i < m_scCount; i++) {
        if (!inside(m_sc[i]))
            continue;
        if (!m_sc[i].locked) {
            SC_UnlockAll();
            m_sc[i].locked = 1;
            return 1;
        }
        m_sc[i].locked = 0;
        result = 1;
    }
    return result;
}

void Hud::SC_Render(bool match)
{
    const int lockedIndex = SC_GetLockedIndex();
    const uint32_t now = Now();
    for (int i = 0; i < m_scCount; i++) {
        const LockIcon& e = m_sc[i];
        int x = e.x, y = e.y, w = e.w, h = e.h;
        if (e.pressed) {
            x -= kLockGrow;
            y -= kLockGrow;
            w += 2 * kLockGrow;
            h += 2 * kLockGrow;
        }
        if (e.iconId >= 0 && e.iconId < kLockIconKinds) {
            PSurface3D* img = m_scImages[e.iconId][e.locked || e.pressed ? kIconActive : kIconNormal];
            PBlitFX fx;
            fx.alpha = lockedIndex >= 0 && !e.locked ? 127 : 255;
            if (img)
                m_p3d->BlitFx(PRect{x, y, w, h}, img, nullptr, PS3D_ALPHA, fx);
        } else {
            m_p3d->FillRect(x, y, unsigned(w), unsigned(h), kRed, P3DBLEND_OPAQUE);
        }
        const GPO* g = e.gpo;
        if (!g)
            continue;
        const int health = g->GetEnergy();
        if (health > 0) {
            const int bar = int(std::min<int64_t>(int64_t(health) * 32 / 100, 32));
            if (bar > 0)
                m_p3d->FillRect(x + 6, y + 5, unsigned(bar), 4, g->side != GPO::FRIENDLY ? kRed : kGreen,
                                P3DBLEND_OPAQUE);
        }
        if (match && m_match && g->aircraft && m_fonts) {
            const int lh = m_fonts->Height(kFontScore) + 1;
            const int tx = x + w + 2, ty = y + h / 2 - lh;
            if (const char* name = m_match->PlayerName(g->aircraft))
                m_fonts->Print(tx, ty, name, kFontScore);
            const int kills = m_match->PlayerKills(g->aircraft);
            const wchar_t* label = m_fonts->GetStr(kTextKills);
            m_fonts->Print(tx, ty + lh, label, kFontScore);
            const int lx = tx + m_fonts->StringWidth(kFontScore, label);
            if (kills < 0) {
                m_fonts->Print(lx, ty + lh, kTextNoKills, kFontScore);
            } else {
                PString n;
                n.AppendNum(kills);
                m_fonts->Print(lx, ty + lh, n.c_str(), kFontScore);
            }
            if (m_disconnect && m_match->PlayerDisconnected(g->aircraft) && (now & 127) < 65)
                DrawImage(m_disconnect, tx, ty - H(m_disconnect), 255);
        }
    }
}

int Hud::SC_IconsLoad()
{
    SC_IconsRelease();
    int ok = 1;
    for (int i = 0; i < kLockIconKinds; i++)
        for (int k = 0; k < 2; k++) {
            PString name("sc_");
            name.AppendNum(i);
            name.Append(k == kIconNormal ? "a.png" : "b.png");
            m_scImages[i][k] = LoadHudImage(m_p3d, name.c_str());
            if (!m_scImages[i][k])
                ok = 0;
        }
    return ok;
}

void Hud::SC_IconsRelease()
{
    for (auto& pair : m_scImages)
        for (PSurface3D*& s : pair)
            Free(s);
}

void Hud::SC_IconsReset()
{
    // The images are owned: forgetting them frees them.
    SC_IconsRelease();
}

// ---------------------------------------------------------------------------
// The frame

void Hud::SetConditionTxt(int id)
{
    m_conditionText = id;
    m_conditionVisible = 1;
}

void Hud::DisableConditionTxt()
{
    m_conditionVisible = 0;
}

void Hud::DrawFireButton()
{
    if (!m_fireButton || m_weaponCount <= 0)
        return;
    const int iw = W(m_fireButton), ih = H(m_fireButton);
    m_fireRegion = {m_w - iw, m_h / 2 - ih / 2, iw, ih};
    const uint32_t now = Now();
    const uint32_t elapsed = now - m_fireChange;
    int a;
    if (fireTargetHighlight && !m_firePressed)
        a = (now & 127) < 65 ? kFireIdle : kFireBlink;
    else if (m_firePressed)
        a = m_fireFade == 255 ? kFireHeld : elapsed >= kFirePressMs ? 255 : int(255 * elapsed / kFirePressMs);
    else
        a = m_fireFade == 0 ? kFireIdle : elapsed >= kFireReleaseMs ? 0 : 255 - int(255 * elapsed / kFireReleaseMs);
    m_fireFade = uint8_t(a);
    DrawImage(m_fireButton, m_fireRegion.x, m_fireRegion.y, std::clamp(a, kFireIdle, kFireHeld));
}

void Hud::DrawServiceIcons()
{
    if (!m_repairRequest && !m_rearmRequest)
        return;
    const uint32_t now = Now();
    if (now - m_blinkTime >= kBlinkMs) {
        m_blinkPhase ^= 1;
        m_blinkTime = now;
    }
    if (m_blinkPhase == 0) {
        if (m_repairRequest)
            DrawImage(m_repairIcon, m_w / 2 - W(m_repairIcon), 20, 128);
        if (m_rearmRequest)
            DrawImage(m_rearmIcon, m_w / 2, 20, 128);
    }
    m_repairRequest = m_rearmRequest = false;
}

void Hud::DrawScore(const Rect& r)
{
    if (!m_fonts || !m_profile)
        return;
    const bool multi = m_profile->GetMode() == Profile::kMultiplayer;
    const int x = r.x + r.w + 1, mid = r.y + r.h / 2;
    m_fonts->Print(x, mid - 1 - m_fonts->Height(kFontScore), multi ? kTextKills : kTextScore, kFontScore);
    PString v;
    if (multi)
        v.AppendNum(m_profile->GetSessionKills());
    else
        v.AppendNum(m_profile->GetScore(), 10);
    m_fonts->Print(x, mid, v.c_str(), kFontScore);
}

void Hud::DrawConditionText()
{
    if (!m_conditionVisible || !m_fonts)
        return;
    const wchar_t* text = m_fonts->GetStr(unsigned(m_conditionText));
    const int bw = m_fonts->DrawnWidth(kFontCondition, text) + 8;
    const int bh = m_fonts->Height(kFontCondition) + 4;
    const int x = m_w / 2 - bw / 2, y = m_h / 2 + 20 - bh / 2;
    m_p3d->FillRect(x, y, unsigned(bw), unsigned(bh), kConditionBox, P3DBLEND_ALPHA);
    m_fonts->Print(x + 4, y + 2, text, kFontCondition);
}

void Hud::Render(int health, int throttle, int, bool match)
{
    if (!m_p3d)
        return;
    Rect r;
    DrawRadar(r);
    if (health > 0 && m_energyBar) {
        const int iw = W(m_energyBar), ih = H(m_energyBar);
        const int x = r.x + r.w / 2 - iw / 2, y = r.y;
        if (health <= 99) {
            m_p3d->SetClipRect(x, y, int(x + int64_t(iw) * health / 100), y + ih);
            DrawImage(m_energyBar, x, y, 255);
            m_p3d->ResetClipRect();
        } else {
            DrawImage(m_energyBar, x, y, 255);
        }
    }
    DrawThrottle(r, throttle);
    DrawWeaponWheel();
    DrawWeaponIcon();
    DrawObjectivesBar();
    DrawFireButton();
    DrawServiceIcons();
    DrawScore(r);
    DrawBanners();
    DrawTimer();
    SC_Render(match);
    DrawConditionText();
}
