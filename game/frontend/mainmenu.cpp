// The main menu object: loading, the bomb with its painted labels, the
// bomb-bay backdrop, the page machine of the bomb and the hatch, and the
// touch record. The flat pages are in menupages.cpp and levelselect.cpp.
#include "game/frontend/mainmenu.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "engine/graphics/p3d.h"
#include "engine/graphics/p3dgl.h"
#include "engine/graphics/pmesh.h"
#include "engine/graphics/psprite3d.h"
#include "engine/graphics/psurface.h"
#include "engine/graphics/psurface3d.h"
#include "engine/graphics/punicodefont.h"
#include "engine/platform/pdevice.h"
#include "engine/runtime/pdebug.h"
#include "engine/runtime/pfile.h"
#include "engine/runtime/pglobals.h"
#include "engine/runtime/psprintf.h"
#include "engine/runtime/ptext.h"
#include "engine/runtime/ptime.h"
#include "game/frontend/fonts.h"
#include "game/frontend/profilemanager.h"
#include "game/frontend/settings.h"
#include "game/frontend/uimoregames.h"
#include "game/world/audiomanager.h"
#include "game/world/levelsmanager.h"
#include "game/world/myutility.h"
#include "game/world/scriptreader.h"
#include "game/world/splevelmanager.h"

using namespace p3dgl;

namespace {

constexpr char kGfx[] = "data\\2dgfx\\";
constexpr char kBombMesh[] = "data\\objects\\menu_bomb.pof";
constexpr char kBombSkin[] = "data\\2dgfx\\texture.png";
constexpr int kCanvas = 512;
constexpr int kLabelFont = 2;
constexpr int32_t kFallEnd = 50000000;
constexpr int32_t kRiseStep = 75000;
constexpr int32_t kTurnStep = 792000;
constexpr int32_t kSpinStep = 3168000;
constexpr int kExplosionFrames = 9;  // the last frame of the blast
constexpr int kExplosionSoundFrame = 3;
constexpr uint32_t kExplosionStepMs = 80;
constexpr int kSharedBack = 1;      // "soft_label_back.png" of the globals block
constexpr int kKeyBack = 7;         // the application's back key code
constexpr int kNoScrollUp[2] = {49, 51};
constexpr int kNoScrollDown[2] = {55, 57};
constexpr int kMaxNameBytes = 255;

constexpr int32_t Fixed(int v) { return int32_t(uint32_t(v) << 16); }

PSurface3D* SharedImage(int i)
{
    PGlobals* g = PGetGlobals();
    return g && i >= 0 && i < 8 ? g->sharedImages[i] : nullptr;
}

PSurface3D* LoadPicture(P3D* p3d, const char* name, bool required, int& missing)
{
    char path[96];
    PStrCpy(path, kGfx);
    PStrCat(path, name);
    PSurface3D* s = p3d ? PSurface3D::CreateFromFile(p3d, path, PS3D_DROPIMAGE) : nullptr;
    if (!s) {
        _PDebug("MainMenu: no picture %s%s\n", path, required ? "" : "; not drawn");
        if (required)
            missing++;
    }
    return s;
}

// The 565 canvas halved into dst (canvas / 2 on each side) and turned upside
// down, each texel the mean of the 2 x 2 pixels it covers. Sampling every
// other pixel instead drops one of a label's two outline columns or rows and
// thin strokes at random, so the outline seems to slip off the letters and
// the letters get holes.
void HalveFlipped(PSurface& dst, const PSurface& src)
{
    const int w = dst.width, h = dst.height;
    for (int y = 0; y < h; y++) {
        const uint8_t* a = src.pixels + size_t(src.height - 1 - 2 * y) * size_t(src.pitch);
        const uint8_t* b = a - src.pitch;
        uint8_t* d = dst.pixels + size_t(y) * size_t(dst.pitch);
        for (int x = 0; x < w; x++) {
            uint16_t p[4];
            std::memcpy(p, a + 4 * x, 4);
            std::memcpy(p + 2, b + 4 * x, 4);
            unsigned r = 0, g = 0, bl = 0;
            for (uint16_t c : p) {
                r += c >> 11;
                g += (c >> 5) & 0x3F;
                bl += c & 0x1F;
            }
            const auto out = uint16_t(((r + 2) / 4) << 11 | ((g + 2) / 4) << 5 | (bl + 2) / 4);
            std::memcpy(d + 2 * x, &out, 2);
        }
    }
}

template <class T> void Free(T*& p)
{
    delete p;
    p = nullptr;
}

} // namespace

MainMenu::MainMenu(PDisplayProperties* props, Fonts* fonts, AudioManager* sounds, ProfileManager* profiles,
                   LevelsManager* levels, LevelsGroup* multiplayerGroup, LevelsGroup** campaignGroups,
                   uint8_t campaignCount, LevelsGroup* timeAttackGroup, LevelsGroup* tutorialGroup,
                   LevelsGroup* arcadeGroup)
    : m_props(props), m_fonts(fonts), m_sounds(sounds), m_profiles(profiles), m_levels(levels),
      m_multiplayerGroup(multiplayerGroup), m_campaignGroups(campaignGroups),
      m_campaignCount(campaignGroups ? campaignCount : 0), m_timeAttackGroup(timeAttackGroup),
      m_tutorialGroup(tutorialGroup), m_arcadeGroup(arcadeGroup), m_rand(PTickCount())
{
    if (props) {
        m_width = props->width;
        m_height = props->height;
    }
}

MainMenu::~MainMenu()
{
    if (m_labelTexture >= 0 && m_p3d) {
        uint32_t name = uint32_t(m_labelTexture);
        m_p3d->glDeleteTextures(1, &name);
    }
    Free(m_bomb);
    for (PSurface3D** p : {&m_bay, &m_logo, &m_creditsImage, &m_hatchDoor, &m_earth, &m_selector, &m_arrowRight,
                           &m_arrowLeft, &m_start, &m_barEmptySide, &m_barFillSide, &m_barEmpty, &m_barFill})
        Free(*p);
    for (int k = 0; k < kCampaignPictures; k++) {
        Free(m_campaignPics[k]);
        Free(m_campaignGrey[k]);
    }
    for (PSprite3D*& c : m_clouds)
        Free(c);
    Free(m_explosion);
    HelpImgRelease();
    Free(m_moreGames);
}

bool MainMenu::MultiplayerPresent() const
{
    PGlobals* g = PGetGlobals();
    return !g || g->multiplayer != 0;
}

int MainMenu::Sound(int clip)
{
    if (clip == CLIP_EXPLOSION)
        _PDebug("menu: the blast sounds\n");
    if (!m_sounds)
        return 0;
    return m_sounds->Play(clip, clip == CLIP_EXPLOSION ? 0 : 1, 0);
}

void MainMenu::StopSound(int clip)
{
    if (m_sounds)
        m_sounds->Stop(clip);
}

// --- loading ------------------------------------------------------------------

int MainMenu::Init(Settings* settings)
{
    m_settings = settings;
    if (!InitStrings())
        return 0;
    input.SetAllKeys(1);
    if (m_settings)
        m_settings->Read();
    fromGame = 0;
    return 1;
}

int MainMenu::InitStrings()
{
    m_names.clear();
    m_namePtrs.clear();
    m_arcadeList.clear();
    m_titleOptions = 25;
    m_titleHelp = 26;
    m_titleCredits = 27;
    m_titleGameSelection = 28;
    for (int i = 0; i < 4; i++)
        m_gameRows[i] = 29 + unsigned(i);
    if (ReadAirplaneNames() == 0) {
        _PDebug("MainMenu: no aircraft names\n");
        return 0;
    }
    if (!ReadPreDataForArcade(m_arcadeList, m_arcadeSpawns)) {
        _PDebug("MainMenu: the arcade data could not be read\n");
        return 0;
    }
    return 1;
}

int MainMenu::ReadAirplaneNames()
{
    m_names.clear();
    m_namePtrs.clear();
    for (int n = 1; n < 1000; n++) {
        char path[48];
        PSnprintf(path, int(sizeof path), "data\\planes\\config%d.txt", n);
        PFile f;
        if (f.Open(path, PFile::kRead) != 0 || !f.IsOpen())
            break;
        char buf[kMaxNameBytes + 1] = {};
        int got = f.Read(buf, kMaxNameBytes);
        // The name is the first line, UTF-8.
        int end = 0;
        while (end < got && buf[end] != '\n' && buf[end] != '\r' && buf[end] != 0)
            end++;
        buf[end] = 0;
        std::wstring name(size_t(end) + 1, L'\0');
        name.resize(size_t(Fonts::Utf8ToWide(name.data(), int(name.size()), buf)));
        m_names.push_back(name);
    }
    for (const std::wstring& s : m_names)
        m_namePtrs.push_back(s.c_str());
    return int(m_names.size());
}

int MainMenu::ReadPreDataForArcade(std::vector<short>& list, int& spawns)
{
    list.clear();
    spawns = 0;
    LevelConfig* level = m_arcadeGroup ? m_arcadeGroup->GetLevelConfig(0) : nullptr;
    if (!level)
        return 1;
    ScriptReader reader;
    if (!SPLM::ParseScript(&reader, level->script.c_str())) {
        _PDebug("MainMenu: the arcade script %s does not load\n", level->script.c_str());
        return 0;
    }
    PString** values = nullptr;
    unsigned char count = 0;
    SPLM::GetArrayStringsFromHeader(m_fonts, &reader, values, count, "header", "planes", "index");
    const int names = int(m_names.size());
    for (int i = 0; i < count; i++) {
        int v = values[i] ? int(PAtoi(values[i]->c_str(), static_cast<char**>(nullptr), 0)) : -1;
        if (v < 0 || v >= names) {
            _PDebug("MainMenu: arcade aircraft %d names no aircraft (%d known)\n", v, names);
            v = -1;
        }
        list.push_back(short(v));
    }
    delete[] values; // the strings belong to the script
    Definition* header = reader.GetDefinition("header");
    int number = 0;
    PString* text = nullptr;
    bool flag = false;
    if (header && SPLM::Get_commandLine(header, "spawnsCount", number, text, flag))
        spawns = number < 0 ? 0 : number;
    return 1;
}

int MainMenu::LoadMenuArtwork()
{
    int missing = 0;
    P3D* g = m_p3d;
    m_bay = LoadPicture(g, "bombbay.png", true, missing);
    m_logo = LoadPicture(g, "vornlogo.png", false, missing);
    m_hatchDoor = LoadPicture(g, "hatch_door.png", true, missing);
    m_earth = LoadPicture(g, "earth.png", true, missing);
    for (int i = 0; i < 3; i++) {
        char path[64];
        PSnprintf(path, int(sizeof path), "%sclouds0%d.png", kGfx, i + 1);
        PSurface3D* image = g ? PSurface3D::CreateFromFile(g, path, PS3D_DROPIMAGE) : nullptr;
        m_clouds[i] = image ? new (std::nothrow) PSprite3D(g, image, 1) : nullptr;
        if (!m_clouds[i]) {
            delete image;
            _PDebug("MainMenu: no cloud %s\n", path);
            missing++;
        } else {
            m_cloudH[i] = int(image->Height());
        }
    }
    if (PSurface3D* strip = LoadPicture(g, "explosion1.png", true, missing)) {
        const int cell = int(strip->Height());
        m_explosion = new (std::nothrow) PSprite3D(g, strip, cell, cell, 1);
        if (!m_explosion) {
            delete strip;
            missing++;
        } else {
            m_explosionStrip = strip;
        }
    }
    m_selector = LoadPicture(g, "selector.png", true, missing);
    m_arrowRight = LoadPicture(g, "profile_icon_4.png", false, missing);
    m_arrowLeft = LoadPicture(g, "profile_icon_0.png", false, missing);
    m_start = LoadPicture(g, "profile_icon_1.png", false, missing);
    m_barEmptySide = LoadPicture(g, "bar_empty_side.png", false, missing);
    m_barFillSide = LoadPicture(g, "bar_fill_side.png", false, missing);
    m_barEmpty = LoadPicture(g, "bar_empty.png", false, missing);
    m_barFill = LoadPicture(g, "bar_fill.png", false, missing);
    for (int k = 0; k < kCampaignPictures; k++) {
        char name[40];
        PSnprintf(name, int(sizeof name), "campaign_%d.png", k + 1);
        m_campaignPics[k] = LoadPicture(g, name, false, missing);
        PSnprintf(name, int(sizeof name), "campaign_%d_gray.png", k + 1);
        m_campaignGrey[k] = LoadPicture(g, name, false, missing);
    }
    // Clouds start spread over the left of the screen.
    for (int i = 0; i < 3; i++) {
        if (!m_clouds[i])
            continue;
        int x = i == 0 ? 0 : int(m_rand() % 28u) + 100;
        if (i == 2)
            x *= 2;
        m_clouds[i]->SetPosition(x, int(m_rand() % 50u) + 20);
    }
    return missing == 0 ? 1 : 0;
}

int MainMenu::LoadMenu(P3D* p3d, PTextureManager* textures)
{
    m_p3d = p3d;
    m_textures = textures;
    if (!m_moreGames)
        m_moreGames = new (std::nothrow) UIMoreGames(p3d);
    if (!LoadMenuArtwork()) {
        _PDebug("MainMenu: artwork missing\n");
        return 0;
    }
    Free(m_bomb);
    m_bomb = PMesh::CreateFromFile(kBombMesh, textures, "data\\textures\\");
    if (!m_bomb) {
        _PDebug("MainMenu: no bomb mesh %s\n", kBombMesh);
        return 0;
    }
    if (!GenerateBombTexture())
        return 0;
    SetCurrentVolumeToAllSFX();
    if (m_sounds) {
        m_sounds->SetFrequency(CLIP_TURN, 18000);
        m_sounds->SetFrequency(CLIP_FALL, 8500);
        m_sounds->SetFrequency(CLIP_EXPLOSION, 7500);
        m_sounds->Start();
        m_sounds->Play(CLIP_MUSIC, 0, -1);
    }
    ResetPages();
    return 1;
}

void MainMenu::ReInitPage()
{
    GenerateBombTexture();
    ResetPages();
}

// The first page with the bomb at rest, the hatch open, nothing scrolled.
void MainMenu::ResetPages()
{
    page = 0;
    chosenItem = 0;
    m_angle = m_targetAngle = kFirstAngle;
    m_bombY = kBombStartY;
    m_bombX = m_bombZ = 0;
    m_hatch = kHatchOpen;
    rotationMode = ROT_IDLE;
    m_helpScroll = m_helpTarget = 0;
    m_creditsLine = m_creditsTarget = 0;
}

void MainMenu::SetCurrentVolumeToAllSFX()
{
    if (!m_sounds || !m_settings)
        return;
    m_sounds->SetVolume(AudioManager::GROUP_EFFECTS, m_settings->effectsVolume);
    m_sounds->SetVolume(AudioManager::GROUP_MUSIC, m_settings->musicVolume);
}

int MainMenu::GenerateBombTexture()
{
    if (!m_p3d)
        return 0;
    if (m_labelTexture >= 0) {
        uint32_t old = uint32_t(m_labelTexture);
        m_p3d->glDeleteTextures(1, &old);
        m_labelTexture = -1;
    }
    uint32_t name = 0;
    m_p3d->glGenTextures(1, &name);
    const int size = m_p3d->IsHW() ? kCanvas : kCanvas / 2;

    PDrawableSurface* canvas = new (std::nothrow) PDrawableSurface(kCanvas, kCanvas, kCanvas * 2);
    PDrawableSurface* tex = new (std::nothrow) PDrawableSurface(size, size, size * 2);
    PSurface* skin = PSurface::CreateFromFile(kBombSkin, PLOAD_RGB565, PIMAGE_DETECT);
    const char* fontFile = Fonts::GetFontFiles(kLabelFont);
    PUnicodeFont* font = fontFile ? PUnicodeFont::Create(fontFile) : nullptr;
    bool ok = canvas && canvas->pixels && tex && tex->pixels && skin && font;
    if (!ok) {
        _PDebug("MainMenu: the label texture cannot be made (%s%s)\n", skin ? "" : "texture.png missing ",
                font ? "" : "font missing");
    } else {
        // The skin scaled by 2.0 about the canvas centre, the labels over it.
        const int sw = skin->width * 2, sh = skin->height * 2;
        canvas->BlitScale(PRect{kCanvas / 2 - sw / 2, kCanvas / 2 - sh / 2, sw, sh}, skin, nullptr, 0);
        font->target = canvas;
        const int count = GetMenuElementsCount();
        for (int i = 0; i < count; i++) {
            const wchar_t* text = m_fonts ? m_fonts->GetStr(kItemTexts[ItemOfLabel(i)]) : nullptr;
            if (!text)
                continue;
            const int w = m_fonts->StringWidth(kLabelFont, text);
            font->Print(text, 280 - w / 2, 158 + 45 * i, -1);
        }
        if (size == kCanvas)
            tex->BlitScale(PRect{0, 0, size, size}, canvas, nullptr, PBLIT_FLIP);
        else
            HalveFlipped(*tex, *canvas);
        m_p3d->glBindTexture(kTexture2D, name);
        m_p3d->glTexParameterx(kTexture2D, kTexMinFilter, int32_t(kLinear));
        m_p3d->glTexParameterx(kTexture2D, kTexMagFilter, int32_t(kLinear));
        ok = m_p3d->SetActiveTexture(tex) == 0;
    }
    delete font;
    delete skin;
    delete tex;
    delete canvas;
    if (!ok) {
        m_p3d->glDeleteTextures(1, &name);
        return 0;
    }
    m_labelTexture = int(name);
    return 1;
}

void MainMenu::InitDisplay(PDisplayProperties* props, P3D* p3d)
{
    m_props = props;
    m_p3d = p3d;
    if (props) {
        m_width = props->width;
        m_height = props->height;
    }
    m_creditsStart = m_height * 174 / 208;
}

// --- page entry points ----------------------------------------------------------

int MainMenu::GotoCampaignMenu(int c)
{
    pageValue = 0;
    previousPage = page;
    chosenItem = PAGE_CAMPAIGNS;
    page = PAGE_LEVELS_OPEN;
    campaign = int8_t(c);
    return 1;
}

// Opens a page of the flat menu with the hatch shut and the arcade choice reset.
void MainMenu::OpenFlatPage(int which, LevelsGroup* group)
{
    pageValue = 0;
    page = which;
    m_currentGroup = group;
    m_hatch = 0;
    if (m_arcadeGroup)
        m_arcadeGroup->selected = m_arcadeGroup->secondSelection = 0;
}

void MainMenu::GotoGameSelectionMenu()
{
    OpenFlatPage(PAGE_GAME_SELECTION, nullptr);
}

void MainMenu::GotoTimeAttackMenu()
{
    OpenFlatPage(PAGE_TIME_ATTACK, m_timeAttackGroup);
}

void MainMenu::GotoArcadeMenu()
{
    OpenFlatPage(PAGE_ARCADE, m_arcadeGroup);
}

void MainMenu::GotoOptionsMenu()
{
    pageValue = 0;
    page = PAGE_OPTIONS;
    m_currentGroup = m_arcadeGroup;
    m_optionsRow = -1;
    m_optionsDragX = -1;
    TouchScreen_Reset();
    fromGame = 1;
    m_hatch = 0;
    if (m_arcadeGroup)
        m_arcadeGroup->selected = m_arcadeGroup->secondSelection = 0;
}

// --- touch ----------------------------------------------------------------------

void MainMenu::TouchScreenEvent(int x, int y, int pressed)
{
    if (m_touch.delayUntil) {
        if (int32_t(m_touch.delayUntil - m_now) > 0)
            return;
        m_touch.delayUntil = 0;
    }
    m_touch.wasPressed = m_touch.pressed;
    m_touch.x = x;
    m_touch.y = y;
    m_touch.pressed = pressed ? 1 : 0;
}

void MainMenu::TouchScreenEventMove(int x, int y, int)
{
    if (m_touch.delayUntil) {
        if (int32_t(m_touch.delayUntil - m_now) > 0)
            return;
        m_touch.delayUntil = 0;
    }
    if (m_touch.pressed) {
        m_touch.x = x;
        m_touch.y = y;
    }
}

void MainMenu::TouchScreen_ReleasePen()
{
    m_touch.wasPressed = m_touch.pressed;
    m_touch.pressed = 0;
}

void MainMenu::TouchScreen_Reset()
{
    m_touch.pressed = m_touch.wasPressed = 0;
    m_dragging = false;
}

void MainMenu::TouchScreenInputDelay(int ms)
{
    m_touch.delayUntil = m_now + uint32_t(ms);
    if (!m_touch.delayUntil)
        m_touch.delayUntil = 1;
}

bool MainMenu::TouchScreen_IsPressedInside(int x, int y, int w, int h) const
{
    return Released() && m_touch.x >= x && m_touch.x <= x + w && m_touch.y >= y && m_touch.y <= y + h;
}

bool MainMenu::TouchScreen_IsPressedInside_XYXY(int x1, int y1, int x2, int y2) const
{
    return m_touch.pressed && m_touch.x >= x1 && m_touch.x <= x2 && m_touch.y >= y1 && m_touch.y <= y2;
}

// --- small routines ---------------------------------------------------------------

int32_t MainMenu::ToFps(int32_t v) const
{
    if (m_frameTime == 0)
        return v;
    int64_t scaled = int64_t(m_frameTime) * v / 50;
    scaled = std::clamp<int64_t>(scaled, INT32_MIN, INT32_MAX);
    return scaled > v ? int32_t(scaled) : v;
}

int MainMenu::LabelAt(int32_t angle) const
{
    const int count = GetMenuElementsCount();
    int64_t d = int64_t(angle) - kFirstAngle;
    if (d < 0)
        d = -d;
    int q = int(d / kAngleStep);
    if (d % kAngleStep > kAngleStep / 2 && q < count - 1)
        q++;
    return std::clamp(q, 0, count - 1);
}

int MainMenu::ItemOfLabel(int label) const
{
    if (MultiplayerPresent() || label <= 0)
        return label < 0 ? 0 : label;
    return label + 1;
}

int MainMenu::LabelOfItem(int item) const
{
    const int count = GetMenuElementsCount();
    int label = MultiplayerPresent() || item <= 0 ? item : item - 1;
    return std::clamp(label, 0, count - 1);
}

void MainMenu::UpdateBombRot()
{
    m_angle = m_targetAngle = kFirstAngle - kAngleStep * (page + 1);
}

int MainMenu::ExplosionFrame() const { return m_explosion ? int(m_explosion->GetAnimationPos()) : 0; }

int MainMenu::GetScreenConfig() const { return m_width == 220 && m_height == 160 ? 1 : 0; }

int MainMenu::GetVolumeMode(int v) { return v <= 0 ? 0 : v < 128 ? 1 : 2; }

int MainMenu::SetVolumeFromMode(int m) { return m == 1 ? 127 : m == 2 ? 255 : 0; }

void MainMenu::DrawVolumeBar(int x, int y, int w, int h, int value, int max)
{
    if (!m_p3d || max <= 0)
        return;
    int fill = int(int64_t(value) * w / max);
    fill = std::clamp(fill, 0, w < 0 ? 0 : w);
    if (fill > 0)
        m_p3d->FillRect(x, y, unsigned(fill), unsigned(h), 0xFFFF0000u, P3DBLEND_OPAQUE);
    m_p3d->Rectangle(x, y, w, h, 0xFFFFFFFFu, P3DBLEND_OPAQUE);
}

PRect MainMenu::DrawSoftIcon_Left(P3D* p3d, PDisplayProperties* props, PSurface3D* image)
{
    if (!p3d || !props || !image)
        return PRect{0, 0, 0, 0};
    const int w = int(image->Width()), h = int(image->Height());
    const int y = props->height - h;
    p3d->Blit(0, y, image, nullptr, PS3D_ALPHATEST);
    return PRect{-16, y - 16, w + 32, h + 32};
}

PRect MainMenu::DrawSoftIcon_Right(P3D* p3d, PDisplayProperties* props, PSurface3D* image)
{
    if (!p3d || !props || !image)
        return PRect{0, 0, 0, 0};
    const int w = int(image->Width()), h = int(image->Height());
    const int x = props->width - w, y = props->height - h;
    p3d->Blit(x, y, image, nullptr, PS3D_ALPHATEST);
    return PRect{x - 16, y - 16, w + 32, h + 32};
}

void MainMenu::GrowBackRect(PSurface3D*)
{
    PRect& r = m_backTouch;
    if (r.width <= 0 || r.height <= 0)
        return;
    if (r.width < kMinTouchSide) {
        r.x -= (kMinTouchSide - r.width) / 2;
        r.width = kMinTouchSide;
    }
    if (r.height < kMinTouchSide) {
        r.y -= (kMinTouchSide - r.height) / 2;
        r.height = kMinTouchSide;
    }
}

bool MainMenu::BackPressed(bool withScanCode)
{
    const bool key = input.PressedBack(m_keys) != 0;
    return key || (withScanCode && input.scancode == kKeyBack);
}

void MainMenu::ResetBomb()
{
    m_angle = m_targetAngle = kFirstAngle;
    m_bombY = kBombStartY;
    m_bombX = m_bombZ = 0;
}

void MainMenu::ChangePage(int to)
{
    page = to;
    m_angle = m_targetAngle = kFirstAngle;
    m_bombY = kBombStartY;
    m_hatch = 0;
}

// --- the frame --------------------------------------------------------------------

int MainMenu::RenderMainMenu(P3D* p3d, PDisplayProperties* props, PDisplayProperties*, int keys, int counter,
                             unsigned now)
{
    m_p3d = p3d;
    if (props) {
        m_props = props;
        m_width = props->width;
        m_height = props->height;
    }
    m_keys = keys;
    m_counter = counter;
    m_frameTime = m_firstFrame ? kFirstFrameTime : int32_t(now - m_prevNow);
    if (m_frameTime < 0)
        m_frameTime = 0;
    m_firstFrame = false;
    m_prevNow = now;
    m_now = now;
    if (!p3d)
        return MAINMENU_DATA_MISSING;
    p3d->GetBackend()->glHint(kPerspectiveCorrectionHint, kNicest);
    p3d->glDisable(kDepthTest);
    // Every frame paints the whole screen: parts of the backdrop are left
    // out on some pages, and a double-buffered window keeps no pixels from
    // one frame to the next.
    p3d->FillRect(0, 0, unsigned(m_width), unsigned(m_height), 0xFF000000u, P3DBLEND_OPAQUE);
    m_backdropDrawn = false;

    int result = MAINMENU_STAY, slide = 0;
    if (!RunPage(result, slide))
        return MAINMENU_DATA_MISSING;
    if (result == MAINMENU_DATA_MISSING)
        return EndFrame(result);
    return DrawFrame(result, slide);
}

bool MainMenu::RunPage(int& result, int& slide)
{
    const int count = GetMenuElementsCount();
    int sh = 0;
    if (page >= 0 && page < count) {
        result = PageBomb();
        return true;
    }
    switch (page) {
    case PAGE_FALL:
        result = PageFall();
        // The frame slides as far as this frame's step took the bomb, so
        // that it leaves the screen with the fall's last step, not a step
        // behind it.
        if (page == PAGE_FALL) {
            SelectorSize(slide, sh);
            slide = int(int64_t(std::min(m_bombZ, kFallEnd)) * slide / kFallEnd);
        }
        break;
    case PAGE_BLAST_PAUSE:
        result = PageBlastPause();
        break;
    case PAGE_EXPLOSION:
        if (!DrawBombBayBackground())
            return false;
        result = PageExplosion();
        break;
    case PAGE_HATCH_CLOSE:
        result = PageHatchClose();
        break;
    case PAGE_HATCH_OPEN:
        result = PageHatchOpen();
        break;
    case PAGE_GAME_SELECTION:
    case PAGE_OPTIONS:
    case PAGE_HELP:
    case PAGE_CREDITS:
    case PAGE_MORE_GAMES:
        if (!DrawBombBayBackground())
            return false;
        result = ShowSubMenu();
        break;
    case PAGE_LEVELS_OPEN:
        result = PageLevelsOpen();
        break;
    case PAGE_LEVELS_CLOSE:
        result = PageLevelsClose();
        break;
    case PAGE_CAMPAIGNS:
        result = PageCampaigns();
        break;
    case PAGE_TIME_ATTACK:
        result = PageTimeAttack();
        break;
    case PAGE_ARCADE:
        result = PageArcade();
        break;
    default:
        _PDebug("MainMenu: page %d does not exist; back to the bomb\n", page);
        ChangePage(0);
        m_hatch = kHatchOpen;
        break;
    }
    return true;
}

int MainMenu::EndFrame(int result)
{
    m_p3d->glEnable(kDepthTest);
    LogPage();
    if (result != MAINMENU_STAY)
        _PDebug("menu: result %d\n", result);
    return result;
}

int MainMenu::DrawFrame(int result, int slide)
{
    // A frame that ends with a result is shown too (behind the tutorial
    // offer or the multiplayer notice, or as the last before a game loads):
    // it is drawn whole, the backdrop, the bomb and the corner icons as well.
    //
    // The pages of the bomb draw the backdrop after their work. A page that
    // draws its own (the blast, the flat and the level pages) may have been
    // entered during this frame's work: it is then seen first with the
    // backdrop alone.
    const int count = GetMenuElementsCount();
    const int drawn = page;
    if (!m_backdropDrawn) {
        if (drawn == PAGE_CAMPAIGNS || drawn == PAGE_TIME_ATTACK || drawn == PAGE_ARCADE) {
            DrawLevelPageBase(LevelPageTitle(drawn));
        } else if (((drawn >= 0 && drawn < count) || (drawn >= PAGE_FALL && drawn <= PAGE_CREDITS) ||
                    drawn == PAGE_MORE_GAMES) &&
                   !DrawBombBayBackground()) {
            return EndFrame(result != MAINMENU_STAY ? result : MAINMENU_DATA_MISSING);
        }
    }

    const int pageResult = result;
    DrawBomb(result);
    if (pageResult != MAINMENU_STAY)
        result = pageResult;
    if (page == PAGE_FALL) {
        RenderBombElementSelection(slide);
    } else if (page >= 0 && page < count) {
        RenderBombElementSelection(0);
        if (m_profiles)
            m_profiles->DrawCurrentProfileBox(m_height * 34 / 208, false, 0);
    } else if ((page >= PAGE_GAME_SELECTION && page <= PAGE_CREDITS) || page == PAGE_MORE_GAMES) {
        PSurface3D* back = SharedImage(kSharedBack);
        m_backTouch = DrawSoftIcon_Right(m_p3d, m_props, back);
        if (back && m_props) // the key's word, where DrawSoftIcon_Right put the key
            MyUtility::DrawKeyLabel(m_fonts, m_props->width - int(back->Width()), m_props->height - int(back->Height()),
                                    int(back->Width()), int(back->Height()), MyUtility::kTextBack);
    }
    GrowBackRect(nullptr);
    return EndFrame(result);
}

void MainMenu::LogPage()
{
    if (page != m_loggedPage)
        _PDebug("menu: page %d\n", page);
    m_loggedPage = page;
}

int MainMenu::PageBomb()
{
    const int count = GetMenuElementsCount();
    if (BackPressed(false)) {
        Sound(CLIP_CONFIRM);
        return MAINMENU_QUIT;
    }
    // A tap while the bomb still rises only brings it up at once.
    if (m_bombY < 0 && Released()) {
        m_bombY = 0;
        TouchScreen_Reset();
        m_keys = 0;
        m_dragAngle = -1;
        m_dragItem = -1;
        TouchScreenInputDelay(kInputDelayMs);
    }
    // Dragging turns the bomb: one pixel up or down, one degree.
    if (Pressed() && !m_dragging) {
        m_dragging = true;
        m_dragX = m_touch.x;
        m_dragY = m_touch.y;
        m_dragItem = page;
        m_dragAngle = m_targetAngle;
    }
    if (m_dragging) {
        if (m_touch.pressed) {
            int64_t t = int64_t(m_dragAngle) - int64_t(m_dragY - m_touch.y) * 65536;
            m_targetAngle = int32_t(std::clamp<int64_t>(t, LabelAngle(count - 1), kFirstAngle));
        } else {
            m_dragging = false;
            const int label = LabelAt(m_targetAngle);
            m_targetAngle = LabelAngle(label);
            const PRect& s = m_selectorTouch;
            const bool onSelector = m_touch.x >= s.x && m_touch.x <= s.x + s.width && m_touch.y >= s.y &&
                                    m_touch.y <= s.y + s.height;
            if (label == m_dragItem && onSelector)
                m_keys = MyInput::kFire;
            else
                page = label;
            m_dragAngle = -1;
            m_dragItem = -1;
            TouchScreen_ReleasePen();
        }
    }
    // Easing: a quarter of the way a frame.
    const int32_t quarter = (m_targetAngle - m_angle) >> 2;
    m_angle = quarter == 0 ? m_targetAngle : m_angle + quarter;
    if (m_bombY < 0) {
        if (m_bombY == kBombStartY)
            Sound(CLIP_CHOOSE);
        m_bombY += ToFps(kRiseStep);
        if (m_bombY > 0)
            m_bombY = 0;
    }
    const int up = input.PressedUp(m_keys);
    const int down = input.PressedDown(m_keys);
    const int fire = input.PressedFire(m_keys);
    if (rotationMode == ROT_IDLE) {
        if (up && !input.IsScancode(kNoScrollUp[0]) && !input.IsScancode(kNoScrollUp[1])) {
            Sound(CLIP_TURN);
            rotationMode = page == 0 ? ROT_TO_LAST : ROT_PREVIOUS;
        } else if (down && !input.IsScancode(kNoScrollDown[0]) && !input.IsScancode(kNoScrollDown[1])) {
            Sound(CLIP_TURN);
            rotationMode = page == count - 1 ? ROT_TO_FIRST : ROT_NEXT;
        } else if (fire) {
            Sound(CLIP_CHOOSE);
            const int item = ItemOfLabel(page);
            chosenItem = item;
            if (item == ITEM_MULTIPLAYER)
                return MAINMENU_MULTIPLAYER_NOTICE;
            if (item == ITEM_PLAY) {
                m_bombX = m_bombZ = 0;
                m_bombY = 0;
                page = PAGE_FALL;
                Sound(CLIP_FALL);
            } else {
                page = PAGE_HATCH_CLOSE;
            }
            return MAINMENU_STAY;
        }
    }
    switch (rotationMode) {
    case ROT_NEXT:
        m_targetAngle -= ToFps(kTurnStep);
        if (page >= count - 1 || m_targetAngle <= LabelAngle(page + 1)) {
            page = std::min(page + 1, count - 1);
            m_targetAngle = LabelAngle(page);
            rotationMode = ROT_IDLE;
        }
        break;
    case ROT_PREVIOUS:
        m_targetAngle += ToFps(kTurnStep);
        if (page <= 0 || m_targetAngle >= LabelAngle(page - 1)) {
            page = std::max(page - 1, 0);
            m_targetAngle = LabelAngle(page);
            rotationMode = ROT_IDLE;
        }
        break;
    case ROT_TO_LAST:
        m_targetAngle -= ToFps(kSpinStep);
        if (m_targetAngle <= LabelAngle(count - 1)) {
            page = count - 1;
            m_targetAngle = LabelAngle(page);
            rotationMode = ROT_IDLE;
        }
        break;
    case ROT_TO_FIRST:
        m_targetAngle += ToFps(kSpinStep);
        if (m_targetAngle >= kFirstAngle) {
            page = 0;
            m_targetAngle = kFirstAngle;
            rotationMode = ROT_IDLE;
        }
        break;
    default:
        break;
    }
    return MAINMENU_STAY;
}

void MainMenu::SkipToExplosionEnd()
{
    TouchScreen_ReleasePen();
    TouchScreenInputDelay(kInputDelayMs);
    StopSound(CLIP_FALL);
    Sound(CLIP_EXPLOSION);
    Sound(CLIP_CONFIRM);
    page = PAGE_EXPLOSION;
    EndExplosion();
}

void MainMenu::EndExplosion()
{
    m_pageCounter = 0;
    m_angle = m_targetAngle = LabelAngle(LabelOfItem(chosenItem));
    m_bombY = kBombStartY;
    m_bombX = m_bombZ = 0;
    if (chosenItem == ITEM_PLAY || chosenItem == ITEM_MULTIPLAYER) {
        page = PAGE_HATCH_CLOSE;
        Sound(CLIP_CHOOSE);
    } else {
        page = chosenItem;
        chosenItem = 0;
    }
}

// While the bomb falls and blasts, the back key returns to the bomb, and
// fire, back or a touch skips to the blast's end; true when either happened.
bool MainMenu::InterruptBlast()
{
    if (input.IsScancode(kKeyBack)) {
        page = 0;
        ResetBomb();
        Sound(CLIP_CONFIRM);
        return true;
    }
    const int fire = input.PressedFire(m_keys), back = input.PressedBack(m_keys);
    if (fire || back || Touched()) {
        SkipToExplosionEnd();
        return true;
    }
    return false;
}

int MainMenu::PageFall()
{
    if (InterruptBlast())
        return MAINMENU_STAY;
    if (m_bombZ < kFallEnd) {
        m_bombX += ToFps((m_bombX / 20 + 6500) * 2);
        m_bombZ += ToFps((m_bombZ / 10 + 10000) * 2);
    }
    if (m_bombZ >= kFallEnd) {
        m_bombX = m_bombZ = 0;
        m_angle = m_targetAngle = kFirstAngle;
        m_bombY = kBombStartY; // out of view until the blast is over
        page = PAGE_BLAST_PAUSE;
        m_pageCounter = 0;
    }
    return MAINMENU_STAY;
}

int MainMenu::PageBlastPause()
{
    if (InterruptBlast())
        return MAINMENU_STAY;
    m_pageCounter += ToFps(4);
    if (m_pageCounter > 40) {
        m_pageCounter = 0;
        page = PAGE_EXPLOSION;
    }
    return MAINMENU_STAY;
}

int MainMenu::PageExplosion()
{
    if (InterruptBlast())
        return MAINMENU_STAY;
    m_pageCounter += ToFps(2);
    if (m_pageCounter > 30)
        EndExplosion();
    return MAINMENU_STAY;
}

int MainMenu::PageHatchClose()
{
    if (input.IsScancode(kKeyBack)) {
        page = 0;
        ResetBomb();
        m_hatch = kHatchOpen;
        return MAINMENU_STAY;
    }
    const int fire = input.PressedFire(m_keys), back = input.PressedBack(m_keys);
    if (fire || back || Touched()) {
        m_hatch = 0;
        m_bombY = 0;
        TouchScreen_ReleasePen();
        TouchScreenInputDelay(kInputDelayMs);
        Sound(CLIP_CONFIRM);
    }
    if (m_hatch > 0) {
        m_hatch = std::max(0, m_hatch - ToFps(7));
        m_bombY -= ToFps(kRiseStep);
    }
    if (m_hatch > 0)
        return MAINMENU_STAY;
    TouchScreen_ReleasePen();
    TouchScreenInputDelay(kInputDelayMs);
    switch (chosenItem) {
    case ITEM_PLAY:
    case PAGE_GAME_SELECTION:
        ChangePage(PAGE_GAME_SELECTION);
        pageValue = 0;
        break;
    case ITEM_MULTIPLAYER:
        ChangePage(PAGE_HATCH_OPEN);
        if (MultiplayerPresent())
            return MAINMENU_MULTIPLAYER;
        break;
    case ITEM_PROFILES:
        ChangePage(PAGE_HATCH_OPEN);
        return MAINMENU_PROFILES;
    case ITEM_OPTIONS:
        ChangePage(PAGE_OPTIONS);
        m_optionsRow = -1;
        m_optionsDragX = -1;
        break;
    case ITEM_HELP:
        ChangePage(PAGE_HELP);
        HelpImgLoad();
        m_helpScroll = m_helpTarget = 0;
        break;
    case ITEM_CREDITS:
        ChangePage(PAGE_CREDITS);
        m_creditsStart = m_creditsLine = m_creditsTarget = m_height * 174 / 208;
        m_creditsStep = 0;
        break;
    case ITEM_EXIT:
        Sound(CLIP_CONFIRM);
        return MAINMENU_QUIT;
    default:
        ChangePage(PAGE_HATCH_OPEN);
        break;
    }
    return MAINMENU_STAY;
}

int MainMenu::PageHatchOpen()
{
    if (chosenItem < 0 || chosenItem > ITEM_CREDITS)
        chosenItem = 0;
    const int label = LabelOfItem(chosenItem);
    m_angle = m_targetAngle = LabelAngle(label);
    if (BackPressed(false)) {
        m_bombY = 0;
        m_hatch = kHatchOpen;
        Sound(CLIP_CONFIRM);
    }
    if (m_hatch <= kHatchOpen - 1) {
        if (m_hatch == 0) {
            m_bombY = kBombStartY;
            Sound(CLIP_CHOOSE);
        }
        m_hatch += ToFps(9);
    }
    if (m_bombY < 0) {
        m_bombY += ToFps(150000);
        if (m_bombY > 0)
            m_bombY = 0;
    }
    if (m_hatch > kHatchOpen - 1) {
        page = label;
        m_hatch = kHatchOpen;
    }
    return MAINMENU_STAY;
}

// --- drawing ----------------------------------------------------------------------

void MainMenu::DrawSatellite(int x, int y)
{
    if (!m_earth)
        return;
    const int w = int(m_earth->Width()), h = int(m_earth->Height());
    if (m_height > 320) {
        const int sw = int(int64_t(w) * m_height / 320), sh = int(int64_t(h) * m_height / 320);
        PBlitFX fx;
        fx.alpha = 255;
        m_p3d->BlitFx(PRect{x, y, sw, sh}, m_earth, nullptr, 0, fx);
    } else {
        m_p3d->Blit(x, y, m_earth, nullptr, 0);
    }
}

int MainMenu::DrawBombBayBackground()
{
    if (!m_earth || !m_explosion || !m_clouds[0] || !m_clouds[1] || !m_clouds[2] || !m_p3d)
        return 0;
    P3D* g = m_p3d;
    const int ew = m_height > 320 ? int(int64_t(m_earth->Width()) * m_height / 320) : int(m_earth->Width());
    int offset = ew > 0 ? -int((m_now / 90) % uint32_t(ew)) : 0;
    if (offset <= -ew)
        offset = 0;
    if (m_hatch > 0)
        for (int k = 0; k < 3; k++)
            DrawSatellite(offset + k * ew, 52);

    const bool exploding = page == PAGE_EXPLOSION ||
                           (page == PAGE_HATCH_CLOSE && (chosenItem == ITEM_PLAY || chosenItem == ITEM_MULTIPLAYER));
    if (exploding) {
        DrawExplosion(m_width * 75 / 176 - m_explosionDrift, m_height * 80 / 208,
                      int32_t(int64_t(2) * m_height * 65536 / 208));
        m_explosionDrift += ToFps(2);
        // The blast plays once and holds on its last frame; the strip may
        // hold fewer frames than the blast is long.
        const int last = std::min(kExplosionFrames, m_explosion->FrameCount() - 1);
        if (m_now - m_explosionStep >= kExplosionStepMs) {
            m_explosionStep = m_now;
            if (int(m_explosion->GetAnimationPos()) < last) {
                m_explosion->NextAnimation();
                if (m_explosion->GetAnimationPos() == kExplosionSoundFrame && page != PAGE_HATCH_CLOSE) {
                    StopSound(CLIP_FALL);
                    Sound(CLIP_EXPLOSION);
                }
            }
        }
    } else {
        m_explosion->SetAnimationPos(0);
        m_explosionDrift = 0;
        m_explosionStep = m_now;
    }

    for (PSprite3D* const& c : m_clouds) {
        c->SetAttr(PS3D_SCALE | PS3D_ALPHA | PS3D_BLEND, ~0u);
        c->SetScale(int32_t(int64_t(2) * m_height * 65536 / 208));
        c->SetAlpha(128);
        c->MovePosition(-2, 0);
        if (c->GetPositionX() < -127) {
            m_rand.Seed(PTickCount());
            const int spriteH = int((int64_t(m_cloudH[&c - m_clouds]) * c->GetScale()) >> 16);
            const int range = m_height * 167 / 208 - spriteH - m_height * 20 / 208;
            c->SetPosition(m_width + 128, m_height * 40 / 208 + (range > 0 ? int(m_rand() % unsigned(range)) : 0));
        }
        if (m_hatch > 0)
            c->Draw();
    }

    // The shut doors lie under the flat pages, also while a level page
    // slides in over the game selection or out again.
    const bool doors = (page >= PAGE_HATCH_CLOSE && page <= PAGE_LEVELS_OPEN) || page == PAGE_LEVELS_CLOSE;
    if (doors && m_hatchDoor) {
        const int dw = int(m_hatchDoor->Width()), dh = int(m_hatchDoor->Height());
        if (m_width != 480 || m_height != 320) {
            const int sw = int(int64_t(dw) * m_width / 480), sh = int(int64_t(dh) * m_height / 320);
            const int x = 58 * m_width / 480;
            PBlitFX fx;
            fx.alpha = 255;
            g->BlitFx(PRect{x, (52 - m_hatch) * m_height / 320, sw, sh}, m_hatchDoor, nullptr, PS3D_ALPHATEST, fx);
            g->BlitFx(PRect{x, (m_height - 49 * m_height / 320) + m_hatch * m_height / 320 - sh, sw, sh}, m_hatchDoor,
                      nullptr, PS3D_ALPHATEST | PS3D_FLIP, fx);
        } else {
            g->Blit(58, 52 - m_hatch, m_hatchDoor, nullptr, PS3D_ALPHATEST);
            g->Blit(58, m_height - 49 + m_hatch - dh, m_hatchDoor, nullptr, PS3D_ALPHATEST | PS3D_FLIP);
        }
    }
    if (m_bay) {
        PBlitFX fx;
        fx.alpha = 255;
        g->BlitFx(PRect{0, 0, m_width, m_height}, m_bay, nullptr, PS3D_ALPHATEST, fx);
    }
    m_backdropDrawn = true;
    return 1;
}

// The explosion's current frame, its top-left corner at (x, y), scaled and
// smoothly filtered. Drawn from the strip rather than by the sprite: for a
// sprite the smooth-filtering blit bit means "step the animation at every
// draw", and the blast keeps its own 80 ms pace.
void MainMenu::DrawExplosion(int x, int y, int32_t scale)
{
    if (!m_explosionStrip || !m_p3d)
        return;
    int sx = -1, sy = -1;
    m_explosion->FrameOrigin(int(m_explosion->GetAnimationPos()), sx, sy);
    if (sx < 0 || sy < 0)
        return;
    const int cell = int(m_explosionStrip->Height());
    const int side = int((int64_t(cell) * scale) >> 16);
    const PRect src = {sx, sy, cell, cell};
    m_p3d->BlitFx(PRect{x, y, side, side}, m_explosionStrip, &src, PS3D_SCALE | PS3D_SMOOTH | PS3D_ALPHATEST,
                  PBlitFX{});
}

void MainMenu::DrawBomb(int& result)
{
    P3D* g = m_p3d;
    g->glLoadIdentity();
    g->glPushMatrix();
    g->glTranslatex(Fixed(5) - m_bombX, m_bombY, Fixed(-43) - m_bombZ);
    g->glRotatex(m_angle, 0x10000, 0, 0);
    // While the blast goes on and on the flat pages the bomb hangs out of
    // view, fins included.
    const bool hidden = page == PAGE_BLAST_PAUSE || page == PAGE_EXPLOSION || page >= PAGE_GAME_SELECTION;
    if (m_labelTexture >= 0 && !m_bomb)
        result = MAINMENU_DATA_MISSING;
    // Sinking through the hatch and rising again, the bomb shows only
    // between the bay's upper and lower edges.
    const bool throughHatch = page == PAGE_HATCH_CLOSE || page == PAGE_HATCH_OPEN;
    if (m_labelTexture >= 0 && m_bomb && !hidden) {
        if (throughHatch)
            g->SetClipRect(0, 52 * m_height / 320, m_width, m_height - 49 * m_height / 320);
        vornGL::P3DBackend* be = g->GetBackend();
        g->glScalex(104857, 104857, 104857);
        g->glEnable(kDepthTest);
        g->glClear(kDepthBufferBit);
        be->glFrontFace(kCW);
        g->glEnable(kTexture2D);
        g->glTexEnvx(kTextureEnv, kTextureEnvMode, int32_t(kReplace));
        g->glBindTexture(kTexture2D, uint32_t(m_labelTexture));
        m_bomb->Render(g, nullptr);
        be->glFrontFace(kCCW);
        g->glDisable(kDepthTest);
        if (throughHatch)
            g->ResetClipRect();
    }
    g->glPopMatrix();
}

// The selector frame's size as drawn: scaled from 480 x 320 to the screen.
void MainMenu::SelectorSize(int& sw, int& sh) const
{
    sw = sh = 0;
    if (!m_selector)
        return;
    sw = int(m_selector->Width());
    sh = int(m_selector->Height());
    if (m_width != 480)
        sw = int(int64_t(sw) * m_width / 480);
    if (m_height != 320)
        sh = int(int64_t(sh) * m_height / 320);
}

void MainMenu::RenderBombElementSelection(int slide)
{
    if (!m_selector)
        return;
    const int w = int(m_selector->Width()), h = int(m_selector->Height());
    int sw = 0, sh = 0;
    SelectorSize(sw, sh);
    const int x = m_width - sw + slide;
    const int y = m_height / 2 - 5 - sh / 2;
    if (sw != w || sh != h) {
        PBlitFX fx;
        fx.alpha = 255;
        m_p3d->BlitFx(PRect{x, y, sw, sh}, m_selector, nullptr, PS3D_ALPHATEST, fx);
    } else {
        m_p3d->Blit(x, y, m_selector, nullptr, PS3D_ALPHATEST);
    }
    // The touch area follows the frame as drawn at any size: from 44 pixels
    // left of it to the screen's right edge, with 22 pixels to spare above
    // and below; a tap further off turns the bomb instead.
    m_selectorTouch = PRect{x - slide - 44, y - 22, m_width - (x - slide - 44), sh + 44};
}
