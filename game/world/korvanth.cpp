#include "game/world/korvanth.h"

#include <cstdlib>

#include "engine/graphics/p3d.h"
#include "engine/graphics/p3dgl.h"
#include "engine/graphics/pglu.h"
#include "engine/graphics/psurface3d.h"
#include "engine/graphics/ptexturemanager.h"
#include "engine/platform/pdevice.h"
#include "engine/platform/psystemmanager.h"
#include "engine/runtime/pdebug.h"
#include "engine/runtime/pfile.h"
#include "engine/runtime/psprintf.h"
#include "engine/runtime/pvfs.h"
#include "game/frontend/fonts.h"
#include "game/frontend/profile.h"
#include "game/frontend/profilemanager.h"
#include "game/frontend/loading.h"
#include "game/frontend/mainintro.h"
#include "game/frontend/mainmenu.h"
#include "game/multiplayer/krvmp.h"
#include "game/multiplayer/mpbackends.h"
#include "game/world/audiomanager.h"
#include "game/world/console.h"
#include "game/world/levelsmanager.h"
#include "game/scene/p3dgameengine.h"
#include "game/world/maingame.h"
#include "game/world/splevelmanager.h"

using namespace p3dgl;

namespace {

constexpr int kFramePeriodMs = 25;      // at most one frame per period, no catch-up
constexpr int kFocusReturnDelayMs = 40; // the first frame after focus returns
constexpr int kNoMultiplayerDevice = 0x20023763;

char const* const kSharedImageFiles[SHARED_IMAGE_COUNT] = {
    "data\\2dgfx\\soft_label_ok.png",     "data\\2dgfx\\soft_label_back.png",
    "data\\2dgfx\\soft_label_ingame.png", "data\\2dgfx\\soft_label_pause.png",
    "data\\2dgfx\\soft_label_play.png",   "data\\2dgfx\\soft_label_back_paper.png",
    "data\\2dgfx\\metal_bar.png",         "data\\2dgfx\\warroom.png",
};

constexpr int32_t Fixed(double v) { return int32_t(v * 65536.0); }

} // namespace

PSurface3D* GetSharedImage(int index)
{
    PGlobals* g = PGetGlobals();
    if (!g || index < 0 || index >= SHARED_IMAGE_COUNT)
        return nullptr;
    return g->sharedImages[index];
}

int LandscapeOrientation(int current)
{
    // Upright and the first quarter turn swap; so do the half turn and the
    // last quarter turn.
    switch (current) {
    case PDISPLAY_ORIENT_NORMAL:
        return PDISPLAY_ORIENT_90;
    case PDISPLAY_ORIENT_90:
        return PDISPLAY_ORIENT_NORMAL;
    case PDISPLAY_ORIENT_180:
        return PDISPLAY_ORIENT_270;
    case PDISPLAY_ORIENT_270:
        return PDISPLAY_ORIENT_180;
    default:
        return PDISPLAY_ORIENT_90;
    }
}

PGameApp* PGameApp::Create()
{
    return new KorvanthApp();
}

KorvanthApp::KorvanthApp() = default;

KorvanthApp::~KorvanthApp()
{
    ReleaseAll();
}

void KorvanthApp::SetState(int32_t state)
{
    if (state != m_state)
        _PDebug("app: state %d -> %d\n", int(m_state), int(state));
    m_state = state;
}

int KorvanthApp::Init()
{
    m_deviceId = PDevice::GetDeviceID();
    m_started = 0;

    m_globals = new PGlobals{};
    if (!m_globals) {
        _PDebug("app: no memory for the globals block\n");
        return 0;
    }
    PSetTls(m_globals);
    // An archive that does not open makes every archive look-up fail.
    m_globals->archive = new PVFS("data.vfs");
    _PDebug("app: archive data.vfs %s\n", m_globals->archive && m_globals->archive->IsOpen() ? "open" : "not open");
    if (!m_globals->archive || !m_globals->archive->IsOpen()) {
        char const* why = m_globals->archive ? m_globals->archive->Error() : nullptr;
        PSnprintf(m_archiveProblem, int(sizeof m_archiveProblem), "data.vfs: %s", why ? why : "cannot open");
    }

    PDisplayProperties request = {};
    PDisplayProperties3D request3D = {};
    request3D.depthBits = 24;
    request3D.version = 11;
    m_display = PDisplay::Get3D(this, &request, &request3D, 0);
    if (!m_display) {
        _PDebug("app: no display\n");
        StartFailed("no display");
        return 0;
    }
    m_p3d = P3D::Create(m_display, nullptr);
    if (!m_p3d) {
        _PDebug("app: no drawing context\n");
        StartFailed("no drawing context");
        return 0;
    }
    m_display->GetInfo(m_props);
    if (m_props.width < m_props.height) {
        m_display->SetOrientation(PDisplayOrientations(LandscapeOrientation(m_display->GetCurrentOrientation())));
        m_p3d->ReconfigureDisplay();
        m_display->GetInfo(m_props);
    }

    m_globals->multiplayer = m_deviceId == kNoMultiplayerDevice ? 0 : 1;
    for (int i = 0; i < SHARED_IMAGE_COUNT; ++i) {
        m_globals->sharedImages[i] = PSurface3D::CreateFromFile(m_p3d, kSharedImageFiles[i], PS3D_DROPIMAGE);
        if (!m_globals->sharedImages[i])
            _PDebug("app: no image %s; it is not drawn\n", kSharedImageFiles[i]);
    }

    PFile::MkDir("usr");
    TextureManagerStep();
    // The local-network and internet sessions the multiplayer menus open.
    InstallNetworkBackEnds();

    m_aspect = m_props.height > 0 ? int32_t((int64_t(m_props.width) << 16) / m_props.height) : 0x10000;
    SetGLDefaults();

    m_settings.Read();
    m_screenStep = 0;
    m_fullScreen = {0, 0, m_props.width, m_props.height};
    m_fullScreenFx.alpha = 255;
    m_state = STATE_PREPROCESS;

    // The services; one that cannot be made is left out.
    m_fonts = new Fonts();
    m_sounds = new AudioManager();
    m_loading = new Loading(m_p3d, m_display, m_props.width, m_props.height, m_fonts);
    m_console = new Console(&m_ticker, m_fonts);
    m_profiles = new ProfileManager(m_p3d, m_fonts, m_sounds, &m_input, m_props.width, m_props.height, &m_ticker);
    if (!m_profiles || !m_profiles->InitGfx()) {
        _PDebug("app: the profile screens could not be made\n");
        StartFailed("the profile screens could not be made");
        return 0;
    }
    m_profiles->InitStrings();
    m_profiles->InitProfiles();
    m_levels = new LevelsManager(m_p3d, m_fonts, &m_props);

    m_nextFrameTime = 0;
    m_ticker.Resume();
    m_openOptions = 0;
    m_focus = 1;
    m_loadCancel = 0;
    _PDebug("app: started on a %d x %d display\n", int(m_props.width), int(m_props.height));
    return 1;
}

void KorvanthApp::SetGLDefaults()
{
    P3D* gl = m_p3d;
    vornGL::P3DBackend* be = gl->GetBackend();
    be->glClearColorx(Fixed(0.2), Fixed(0.5), Fixed(0.8), 0);
    gl->glMatrixMode(kProjection);
    gl->glLoadIdentity();
    gluPerspectivex(gl, Fixed(50.0), m_aspect, 6553, 65536000);
    gl->glMatrixMode(kModelview);
    gl->glEnable(kCullFace);
    be->glFrontFace(kCCW);
    be->glCullFace(kBack);
    gl->glEnable(kDepthTest);
    be->glDepthFunc(kLequal);
    be->glHint(kPerspectiveCorrectionHint, kNicest);
    gl->glEnable(kTexture2D);
    gl->glTexEnvx(kTextureEnv, kTextureEnvMode, kModulate);
    gl->glBlendFunc(kSrcAlpha, kOneMinusSrcAlpha);
    gl->glTexEnvx(kTextureEnv, kTextureEnvMode, kReplace);
    be->glAlphaFuncx(kGreater, 60000);
    gl->glColor4x(0, 0, 0, 0x10000);
    int32_t const ambient[4] = {Fixed(0.2), Fixed(0.2), Fixed(0.2), 0x10000};
    int32_t const diffuse[4] = {Fixed(0.75), Fixed(0.75), Fixed(0.75), 0x10000};
    int32_t const black[4] = {0, 0, 0, 0x10000};
    be->glMaterialxv(kFrontAndBack, kAmbient, ambient);
    be->glMaterialxv(kFrontAndBack, kDiffuse, diffuse);
    be->glMaterialxv(kFrontAndBack, kSpecular, black);
    int32_t const lightAmbient[4] = {0x14CCC, 0x14CCC, 0x14CCC, 0x10000};
    int32_t const lightDiffuse[4] = {0x11999, 0x11999, 0x11999, 0x10000};
    int32_t const white[4] = {0x10000, 0x10000, 0x10000, 0x10000};
    gl->glLightxv(kLight0, kAmbient, lightAmbient);
    gl->glLightxv(kLight0, kDiffuse, lightDiffuse);
    gl->glLightxv(kLight0, kSpecular, white);
    gl->glDisable(kLighting);
    gl->glEnable(kLight0);
}

void KorvanthApp::InitLevelGroups()
{
    m_multiplayerGroup = m_levels->AddLevelsGroup(LevelsManager::MULTIPLAYER, 0);
    if (m_multiplayerGroup)
        m_multiplayerGroup->multiplayer = 1;
    delete[] m_campaignGroups;
    m_campaignCount = 3;
    m_campaignGroups = new LevelsGroup*[m_campaignCount]();
    if (!m_campaignGroups)
        m_campaignCount = 0;
    for (uint8_t c = 0; c < m_campaignCount; c++)
        m_campaignGroups[c] = m_levels->AddLevelsGroup(LevelsManager::SINGLEPLAYER, c);
    m_levels->SetCampaignsCount(3);
    m_timeAttackGroup = m_levels->AddLevelsGroup(LevelsManager::TIMEATTACK, 0);
    if (m_timeAttackGroup)
        m_timeAttackGroup->timeAttack = 1;
    m_arcadeGroup = m_levels->AddLevelsGroup(LevelsManager::ARCADE, 0);
    if (m_arcadeGroup)
        m_arcadeGroup->arcade = 1;
    m_tutorialGroup = m_levels->AddLevelsGroup(LevelsManager::TUTORIAL, 0);
    if (m_tutorialGroup)
        m_tutorialGroup->tutorial = 1;
    _PDebug("app: level catalogue of %d levels\n", m_levels->RecordCount());
}

void KorvanthApp::MenuProjection()
{
    m_p3d->glMatrixMode(kProjection);
    m_p3d->glLoadIdentity();
    gluPerspectivex(m_p3d, Fixed(50.0), m_aspect, 0x10000, 65536000);
    m_p3d->glMatrixMode(kModelview);
}

void KorvanthApp::TextureManagerStep()
{
    if (!m_textures)
        m_textures = new PTextureManager(m_display, m_p3d);
}

void KorvanthApp::LoadingFrame()
{
    if (m_loading) {
        m_loading->Init(Loading::kTotalFull);
        m_loading->Update();
        return;
    }
    if (m_p3d)
        m_p3d->glClear(kColorBufferBit | kDepthBufferBit);
    if (m_display)
        m_display->Update(0);
}

void KorvanthApp::ScreenMissing(char const* what)
{
    _PDebug("app: state %d: %s is not built yet; back to the menu\n", int(m_state), what);
    LoadingFrame();
    SetState(STATE_MENU_OPEN);
}

void KorvanthApp::MessageMissing(char const* what, int32_t next)
{
    _PDebug("app: state %d: no message window for \"%s\"; passed over\n", int(m_state), what);
    SetState(next);
}

void KorvanthApp::ReleaseAll()
{
    if (m_p3d || m_globals)
        _PDebug("app: released\n");
    delete m_intro;
    m_intro = nullptr;
    delete m_menu;
    m_menu = nullptr;
    delete m_game;
    m_game = nullptr;
    m_introBackground = nullptr;
    delete m_endImage;
    m_endImage = nullptr;
    delete m_loading;
    m_loading = nullptr;
    delete m_fonts;
    m_fonts = nullptr;
    delete m_console;
    m_console = nullptr;
    delete m_sounds;
    m_sounds = nullptr;
    delete m_profiles; // saves the profiles
    m_profiles = nullptr;
    delete m_levels;
    m_levels = nullptr;
    delete[] m_campaignGroups;
    m_campaignGroups = nullptr;
    m_campaignCount = 0;
    m_timeAttackGroup = m_arcadeGroup = m_tutorialGroup = m_multiplayerGroup = nullptr;
    delete m_mp; // closes its session
    m_mp = nullptr;
    if (m_globals) {
        if (m_globals->archive) {
            m_globals->archive->Close();
            delete m_globals->archive;
            m_globals->archive = nullptr;
        }
    }
    PSetTls(nullptr);
    if (m_globals) {
        for (PSurface3D*& image : m_globals->sharedImages) {
            delete image;
            image = nullptr;
        }
        delete m_globals;
        m_globals = nullptr;
    }
    delete m_textures;
    m_textures = nullptr;
    delete m_p3d;
    m_p3d = nullptr;
}

// --- events -----------------------------------------------------------------

void KorvanthApp::OnRedraw()
{
    if (m_display)
        m_display->Update(0);
}

void KorvanthApp::OnClose()
{
    Exit(0);
}

void KorvanthApp::OnExit()
{
    if (!m_navigatorExit)
        _PDebug("app: exit event in state %d\n", int(m_state));
    m_navigatorExit = 1;
    if (m_exitStage == EXIT_NONE)
        m_exitStage = EXIT_REQUESTED;
    ReleaseAll();
}

int KorvanthApp::OnMouseButton(int x, int y, int, int flags)
{
    if (!m_started)
        return 1;
    int pen = (flags & 0xFF) != 0;
    m_touch.wasDown = m_touch.down;
    m_touch.down = pen;
    m_touch.x = x;
    m_touch.y = y;
    if (m_profiles)
        m_profiles->TouchScreenEvent(x, y, pen != 0);
    if (m_menu)
        m_menu->TouchScreenEvent(x, y, pen);
    if (m_game) {
        m_game->TouchScreenEvent(x, y, pen);
        if (!pen)
            m_game->setSteeringInput(0, 0);
    }
    if (m_mp)
        m_mp->TouchScreenEvent(x, y, pen);
    return 1;
}

int KorvanthApp::OnMouseMove(int x, int y, int)
{
    if (!m_started)
        return 1;
    if (m_touch.down) {
        m_touch.x = x;
        m_touch.y = y;
    }
    if (m_menu)
        m_menu->TouchScreenEventMove(x, y, 0);
    if (m_game)
        m_game->TouchScreenEventMove(x, y, 0);
    if (m_profiles)
        m_profiles->TouchScreenEventMove(x, y, 0);
    if (m_mp)
        m_mp->TouchScreenEventMove(x, y, 0);
    return 1;
}

int KorvanthApp::OnInput(int key, int key2, int flags)
{
    // Keyboards of the desktop: a press latches its codes and sets the key
    // word's bits of its mask and its digit flag; a release clears them.
    bool pressed = flags != 0;
    int32_t mask = int32_t(PGameDispatcher::GetKeyMask(key));
    if (pressed) {
        m_keyLatch = key;
        m_keyLatch2 = key2;
        m_input.keyState |= mask;
    } else {
        m_input.keyState &= ~mask;
    }
    if (key >= '0' && key <= '9')
        m_digitKeys[key - '0'] = pressed ? 1 : 0;
    return 1;
}

void KorvanthApp::OnFocus(int has)
{
    has = has ? 1 : 0;
    if (has == m_focus)
        return;
    m_focus = has;
    _PDebug("app: focus %s\n", has ? "gained" : "lost");
    if (!m_started)
        return;
    if (!has) {
        if (m_sounds)
            m_sounds->PauseAll();
        m_ticker.Stop();
        if (m_game) {
            if (m_game->Engine())
                m_game->Engine()->PauseAllUnits();
            if (m_game->Mission())
                m_game->Mission()->PauseGpos();
            m_game->PauseGame_CallInterrupt();
        }
    } else {
        m_ticker.Resume();
        m_frameTime = m_ticker();
        m_nextFrameTime = int32_t(m_frameTime + kFocusReturnDelayMs);
        if (m_game && m_game->Engine())
            m_game->Engine()->ResumeAllUnits();
        if (m_sounds)
            m_sounds->ResumeAll();
    }
}

int KorvanthApp::OnEvent(int code, int a, int b)
{
    if (!m_started)
        return PGameDispatcher::OnEvent(code, a, b);
    if (code == PEVENT_REDRAW) {
        OnRedraw();
        return 1;
    }
    if (code > kEventDisplayChanged && m_game && (m_state == STATE_GAME || m_state == STATE_MP)) {
        m_game->PauseGame_CallInterrupt();
        return 1;
    }
    if (code == kEventDisplayChanged) {
        DisplayChanged();
        return 1;
    }
    return PGameDispatcher::OnEvent(code, a, b);
}

void KorvanthApp::DisplayChanged()
{
    if (!m_p3d || !m_display || !m_fonts)
        return;
    m_p3d->ReconfigureDisplay();
    m_display->GetInfo(m_props);
    m_aspect = m_props.height > 0 ? int32_t((int64_t(m_props.width) << 16) / m_props.height) : 0x10000;
    m_fullScreen = {0, 0, m_props.width, m_props.height};
    m_fonts->ReInit(m_p3d, &m_props);
    if (m_menu)
        m_menu->InitDisplay(&m_props, m_p3d);
    if (m_game)
        m_game->InitDisplay(&m_props, m_p3d);
    if (m_loading) {
        m_loading->DefineBar(m_props.height - 20, m_props.width - 30, 4);
        m_loading->SetSize(m_props.width, m_props.height);
    }
    if (m_profiles && m_state != STATE_LOAD_GAME && m_state != STATE_PREPROCESS && m_state != STATE_MENU_OPEN &&
        m_state != STATE_PROFILES_OPEN) {
        m_profiles->SetScreen(m_p3d, m_props.width, m_props.height);
        if (!m_profiles->messagePending)
            m_profiles->InitWarningWindow();
        if (m_state == STATE_PROFILES) {
            m_profiles->Close();
            m_profiles->OpenMain();
        }
        if (m_game && (m_state == STATE_GAME || m_state == STATE_MP) && !m_game->DescriptionShown())
            m_game->PauseGame_CallInterrupt();
    }
    _PDebug("app: display changed to %d x %d\n", int(m_props.width), int(m_props.height));
    ShowUnsupportedResolutionMsg();
    OnRedraw();
}

// --- the frame loop -----------------------------------------------------------

void KorvanthApp::EndFrame()
{
    m_keyLatch = 0;
    m_keyLatch2 = 0;
    if (m_display)
        m_display->Update(0);
}

int KorvanthApp::MainLoop()
{
    if (m_exitStage != EXIT_NONE) {
        if (m_navigatorExit)
            return 1;
        if (m_exitStage == EXIT_REQUESTED) {
            // The loading screen presents its frame itself: one frame.
            if (m_loading) {
                m_loading->DefineBar(m_props.height - 20, m_props.width - 30, 4);
                m_loading->SetSize(m_props.width, m_props.height);
            }
            LoadingFrame();
            m_exitStage = EXIT_FRAME_DRAWN;
        } else if (m_exitStage == EXIT_FRAME_DRAWN) {
            _PDebug("app: exit\n");
            Exit(PStartFailure() ? 1 : 0);
        }
        return 1;
    }
    if (!m_focus)
        return 1;

    if (m_game && m_state == STATE_GAME && m_game->GetPauseState() == MainGame::PAUSE_MENU) {
        // The pause menu runs unpaced on the stopped clock, and the game sees
        // no time at all: the stopwatch reads on while stopped and its
        // reading falls back on resuming, so handing it on would make the
        // game's clock run on behind the menu and jump back afterwards.
        m_ticker.Stop();
        m_frameTime = 0;
    } else {
        m_ticker.Resume();
        uint32_t now = m_ticker();
        if (int32_t(now - uint32_t(m_nextFrameTime)) < 0)
            return 1;
        m_frameTime = now;
        // A late frame does not catch up: the next one is due a period later.
        m_nextFrameTime = int32_t(now + kFramePeriodMs);
    }

    if (Dispatch())
        EndFrame();
    return 1;
}

bool KorvanthApp::Dispatch()
{
    switch (m_state) {
    case STATE_PREPROCESS:
        if (m_levels && m_levels->PreprocessScripts(m_p3d, m_display)) {
            InitLevelGroups();
            if (m_profiles)
                m_profiles->SetSPLevelsGroupPtr(m_campaignGroups, m_campaignCount, m_timeAttackGroup);
        }
        SetState(STATE_INTRO);
        return false;

    case STATE_INTRO: {
        int r = ShowIntro();
        if (r == SCREEN_FATAL) {
            _PDebug("app: the intro could not start\n");
            m_exitStage = EXIT_REQUESTED;
        } else if (r == SCREEN_RUNNING && m_screenStep == 1) {
            m_savedState = STATE_INTRO;
            SetState(STATE_WRITE_TEST);
        } else if (r == SCREEN_DONE) {
            // A touch that ended the intro is not a touch on the screens after it.
            if (m_profiles)
                m_profiles->TouchScreen_ReleasePen();
            SetState(STATE_NO_PROFILE);
        }
        return false;
    }

    case STATE_NO_PROFILE:
        SetState(m_profiles && m_profiles->FirstRun() ? STATE_PROFILES_OPEN : STATE_MENU_OPEN);
        return true;

    case STATE_MENU_OPEN:
        if (!OpenMainMenu())
            return true;
        SetState(STATE_MENU);
        [[fallthrough]];
    case STATE_MENU:
        if (StartDirectLevel())
            return false;
        return RunMainMenu();

    case STATE_LOAD_GAME:
        RunGameLoading();
        return false;
    case STATE_GAME:
        if (!m_game) {
            SetState(STATE_MENU_OPEN);
            return true;
        }
        RunGame();
        return true;
    case STATE_LOAD_MATCH:
        RunMatchLoading();
        return false;
    case STATE_MP_OPEN:
        if (!OpenMultiplayerMenus())
            return true;
        SetState(STATE_MP);
        [[fallthrough]];
    case STATE_MP:
        if (!m_mp) {
            ScreenMissing("the multiplayer front end");
            return false;
        }
        return RunMultiplayerMenus();
    case STATE_PROFILES_OPEN:
        if (!m_profiles) {
            ScreenMissing("the profile screens");
            return false;
        }
        m_reopenCampaign = -1;
        m_reopenArcade = -1;
        if (m_loading) {
            m_loading->Init(Loading::kTotalFull);
            m_loading->Update();
            m_loading->Update();
        }
        m_profiles->LoadPlanesWithEngine(m_textures, m_p3d);
        m_profiles->OpenMain();
        m_input.keyState = 0;
        SetState(STATE_PROFILES);
        return true;
    case STATE_PROFILES:
        return RunProfileScreens();

    case STATE_ENDING:
        if (ShowEnding() == SCREEN_DONE)
            SetState(STATE_MENU_OPEN);
        return true;

    case STATE_WRITE_TEST:
        RunWriteTest();
        return false;
    case STATE_FREE_SPACE:
        RunFreeSpaceCheck();
        return false;

    case STATE_DATA_ERROR:
    case STATE_DATA_ERROR_SHOWN:
    case STATE_SAVE_ERROR:
    case STATE_SAVE_ERROR_SHOWN:
    case STATE_TUTORIAL_OFFER:
    case STATE_WRITE_FAILED:
    case STATE_SETTINGS_FAILED:
    case STATE_LOW_SPACE:
    case STATE_MP_NOTICE:
    case STATE_RESOLUTION:
        return RunMessageState();

    default:
        return true;
    }
}

// --- the game -----------------------------------------------------------------

int KorvanthApp::DirectLevel(char const* text, int& campaign, int& level)
{
    campaign = 0;
    level = 0;
    if (!text || !*text)
        return 0;
    int values[2] = {0, 0};
    int count = 0;
    int digits = 0;
    for (char const* p = text;; ++p) {
        if (*p >= '0' && *p <= '9' && digits < 3) {
            values[count] = values[count] * 10 + (*p - '0');
            ++digits;
        } else if (*p == ':' && count == 0 && digits > 0) {
            ++count;
            digits = 0;
        } else if (*p == 0 && digits > 0) {
            break;
        } else {
            _PDebug("app: KRV_LEVEL \"%s\" is not N or C:N\n", text);
            return 0;
        }
    }
    campaign = count ? values[0] : 0;
    level = count ? values[1] : values[0];
    if (campaign > 2 || level > LevelsManager::kMaxRecords) {
        _PDebug("app: KRV_LEVEL \"%s\" is out of range\n", text);
        return 0;
    }
    return 1;
}

bool KorvanthApp::StartDirectLevel()
{
    if (m_directLevelDone)
        return false;
    m_directLevelDone = 1;
    int campaign = 0, level = 0;
    if (!DirectLevel(std::getenv("KRV_LEVEL"), campaign, level))
        return false;
    LevelsGroup* group = campaign < m_campaignCount ? m_campaignGroups[campaign] : nullptr;
    if (!group || level >= group->Count()) {
        _PDebug("app: KRV_LEVEL names no level of the catalogue\n");
        return false;
    }
    _PDebug("app: starting level %d of campaign %d\n", level, campaign);
    m_currentGroup = group;
    m_currentLevel = uint8_t(level);
    Profile* profile = m_profiles ? m_profiles->CurrentProfile() : nullptr;
    if (profile)
        profile->campaign = uint8_t(campaign);
    // As the menu's play choice: the menu goes, and the game's end makes a
    // fresh one.
    delete m_menu;
    m_menu = nullptr;
    if (m_sounds)
        m_sounds->Stop(0);
    TextureManagerStep();
    m_loadStep = 0;
    SetState(STATE_LOAD_GAME);
    return true;
}

void KorvanthApp::DeleteGame()
{
    // The match session forgets the game before it goes.
    if (m_mp && m_game && m_mp->game == m_game)
        m_mp->game = nullptr;
    delete m_game;
    m_game = nullptr;
}

void KorvanthApp::DetectGameMode()
{
    if (!m_game || !m_currentGroup)
        return;
    m_reopenCampaign = m_reopenArcade = m_reopenTimeAttack = m_reopenGameSelection = -1;
    if (m_currentGroup == m_timeAttackGroup) {
        m_reopenTimeAttack = 1;
    } else if (m_currentGroup == m_arcadeGroup) {
        m_reopenArcade = 1;
    } else if (m_currentGroup == m_tutorialGroup) {
        m_reopenGameSelection = 1;
    } else {
        for (uint8_t c = 0; c < m_campaignCount; ++c)
            if (m_campaignGroups[c] == m_currentGroup)
                m_reopenCampaign = int8_t(c);
    }
}

void KorvanthApp::NewGameForLoading()
{
    if (m_loading) {
        m_loading->Init(Loading::kTotalFull);
        m_loading->Update();
        m_loading->Update();
    }
    DeleteGame();
    m_game = new MainGame(m_p3d, &m_settings, m_loading, m_fonts, m_console, m_sounds, m_profiles);
}

void KorvanthApp::CancelGameLoading()
{
    DetectGameMode();
    LoadingFrame();
    DeleteGame();
    m_loadCancel = 0;
    m_loadStep = 0;
    SetState(STATE_MENU_OPEN);
}

void KorvanthApp::RunGameLoading()
{
    if (m_loadCancel) {
        CancelGameLoading();
        return;
    }
    if (m_loadStep == 0)
        NewGameForLoading();
    if (!m_game ||
        !m_game->LoadSinglePlayerGame(m_textures, &m_props, m_frameTime, m_currentGroup, m_currentLevel)) {
        _PDebug("app: the game could not be loaded\n");
        m_loadStep = 0;
        SetState(STATE_DATA_ERROR);
        return;
    }
    if (++m_loadStep >= MainGame::kLoadCalls) {
        m_loadStep = 0;
        SetState(STATE_GAME);
    }
}

void KorvanthApp::RunGame()
{
    if (!MatchSessionUpdate())
        return;
    m_game->SetKeyLatch(m_keyLatch);
    int r = m_game->PlayGame(m_p3d, m_textures, &m_props, m_frameCounter, m_input.keyState, m_digitKeys,
                             m_frameTime, &m_ticker);
    m_frameCounter++;
    bool saveFailed = r >= kGameSaveFailedOffset;
    if (saveFailed)
        r -= kGameSaveFailedOffset;
    if (r == GAME_CONTINUE)
        return;
    if (r != GAME_OPTIONS)
        _PDebug("app: the game returned %d\n", r);
    Profile* profile = m_profiles ? m_profiles->CurrentProfile() : nullptr;
    if (m_game->IsMultiplayer() && profile && m_profiles)
        m_profiles->SaveProfiles();
    m_openOptions = 0;
    int32_t next = STATE_MENU_OPEN;
    switch (r) {
    case GAME_TO_MENU:
        DetectGameMode();
        DeleteGame();
        break;
    case GAME_RESTART:
        DeleteGame();
        m_loadStep = 0;
        next = STATE_LOAD_GAME;
        break;
    case GAME_NEXT_LEVEL:
        DeleteGame();
        m_currentLevel++;
        m_loadStep = 0;
        next = STATE_LOAD_GAME;
        break;
    case GAME_NEXT_CAMPAIGN:
        DeleteGame();
        m_reopenCampaign = int8_t(profile ? profile->campaign + 1 : 0);
        m_reopenArcade = -1;
        break;
    case GAME_CAMPAIGN_FINISHED:
        m_reopenCampaign = m_reopenArcade = -1;
        DeleteGame();
        m_input.keyState = 0;
        m_endStart = m_ticker();
        next = STATE_ENDING;
        break;
    case GAME_ARCADE_MENU:
        DeleteGame();
        m_reopenArcade = 1;
        break;
    case GAME_CAMPAIGN_MENU:
        m_reopenCampaign = int8_t(profile ? profile->campaign : 0);
        m_reopenArcade = -1;
        DeleteGame();
        break;
    case GAME_OPTIONS:
        m_openOptions = 1;
        SetState(STATE_MENU_OPEN);
        return;
    default: // the match is over
        MatchOver();
        next = m_mp ? int32_t(STATE_MP) : int32_t(STATE_MENU_OPEN);
        break;
    }
    TextureManagerStep();
    if (saveFailed) {
        m_savedState = next;
        next = STATE_SAVE_ERROR;
    }
    SetState(next);
}
