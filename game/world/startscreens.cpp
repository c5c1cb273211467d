// The application's own screens: the start-up intro with its initialisation
// steps, the storage checks run once at start-up, the resolution notice, the
// end screen after the last campaign and the message states.
#include "engine/graphics/p3d.h"
#include "engine/graphics/psurface3d.h"
#include "engine/platform/psystemmanager.h"
#include "engine/runtime/pdebug.h"
#include "engine/runtime/pfile.h"
#include "engine/runtime/psprintf.h"
#include "game/frontend/fonts.h"
#include "game/frontend/loading.h"
#include "game/frontend/mainmenu.h"
#include "game/frontend/profilemanager.h"
#include "game/frontend/mainintro.h"
#include "game/world/audiomanager.h"
#include "game/world/korvanth.h"
#include "game/world/myutility.h"

namespace {

// Intro steps.
enum IntroStep : int32_t {
    INTRO_SERVICES = 0, // fonts, language and sounds
    INTRO_CREATE = 1,   // the intro's pictures
    INTRO_MAKER = 3,    // the maker's picture
    INTRO_TITLE = 5,    // the title picture
    INTRO_END = 7,
};

constexpr int kStorageTestFiles = 8; // profile files, profile list and settings file the storage must hold
constexpr int kSpareBytes = 10;
constexpr int kEndScreenMs = 4000;
constexpr unsigned kEndScreenKeys = MyInput::kFire | MyInput::kFire2 | MyInput::kBack;
// Clips the intro tunes down: engines and the like play at a low rate.
constexpr int kSlowClips[] = {2, 3, 7, 8, 9};
constexpr int kSlowClipHz = 11025;
constexpr int kIdleEngineClip = 3;
constexpr int kIdleEngineHz = 2000;
constexpr int kMenuMusicClip = 0;
constexpr int kBlitAlpha = 8;
// The two fatal texts are fixed English; the notices come from the texts.
constexpr char kDataErrorText[] = "ERROR READING DATA!";
constexpr char kSaveErrorText[] = "ERROR SAVING PROFILE!";
constexpr unsigned kWriteFailedTexts[2] = {260, 265};
constexpr unsigned kSettingsTexts[2] = {266, 268};
constexpr unsigned kTutorialTexts[2] = {257, 259};
constexpr unsigned kLowSpaceTexts[2] = {269, 274};
constexpr unsigned kResolutionTexts[2] = {403, 408};
constexpr int kEndImageFlags = 256;

void DummyFileName(char* out, int size, int k)
{
    PSnprintf(out, size, "usr\\dummyfile%d", k);
}

} // namespace

int StorageWriteTest(int wanted)
{
    char name[32];
    int made = 0;
    while (made < wanted) {
        DummyFileName(name, sizeof name, made);
        PFile f(name, PFile::kWrite | PFile::kTruncate | PFile::kCreate);
        if (!f.IsOpen())
            break;
        ++made;
    }
    // The name after the last one made goes too: it is the one that failed,
    // or a leftover of an earlier run.
    for (int k = 0; k <= made; ++k) {
        DummyFileName(name, sizeof name, k);
        PFile::Delete(name, 0);
    }
    return made;
}

// --- intro ------------------------------------------------------------------

void KorvanthApp::StartFailed(char const* cause)
{
    PSetStartFailure(m_archiveProblem[0] ? m_archiveProblem : cause);
    m_exitStage = EXIT_REQUESTED;
}

int KorvanthApp::ShowIntro()
{
    if (m_keyLatch == kKeyBack)
        return SCREEN_FATAL;
    switch (m_screenStep) {
    case INTRO_SERVICES:
        if (!m_fonts || !m_fonts->Init(m_p3d, &m_props)) {
            _PDebug("app: the fonts could not be loaded\n");
            StartFailed("the fonts could not be loaded");
            return SCREEN_FATAL;
        }
        if (!m_fonts->LoadLanguage(m_settings.language)) {
            _PDebug("app: language %d could not be loaded\n", int(m_settings.language));
            StartFailed("the language texts could not be loaded");
            return SCREEN_FATAL;
        }
        if (m_sounds) {
            m_sounds->InitAllSounds();
            m_sounds->SetVolume(AudioManager::GROUP_EFFECTS, m_settings.effectsVolume);
            m_sounds->SetVolume(AudioManager::GROUP_MUSIC, m_settings.musicVolume);
            for (int clip : kSlowClips)
                m_sounds->SetFrequency(clip, kSlowClipHz);
            m_sounds->SetFrequency(kIdleEngineClip, kIdleEngineHz);
        }
        m_screenStep = INTRO_CREATE;
        return SCREEN_RUNNING;

    case INTRO_CREATE:
        m_input.SetAllKeys(1);
        m_intro = new MainIntro(m_p3d, m_fonts);
        if (!m_intro || !m_intro->LoadIntro(&m_props, &m_settings, 0)) {
            _PDebug("app: the intro pictures could not be loaded\n");
            StartFailed("the intro pictures could not be loaded");
            return SCREEN_FATAL;
        }
        m_started = 1;
        m_screenStep = INTRO_MAKER;
        return SCREEN_RUNNING;

    case INTRO_MAKER:
        if (m_intro->ShowNorvalis(&m_props, m_ticker(), unsigned(m_input.keyState)) || m_touch.down) {
            m_input.keyState = 0;
            m_touch.down = 0;
            m_screenStep = INTRO_TITLE;
            ShowUnsupportedResolutionMsg();
        }
        if (m_display)
            m_display->Update(0);
        return SCREEN_RUNNING;

    case INTRO_TITLE:
        if (m_intro->ShowTitle(&m_props, m_ticker(), unsigned(m_input.keyState)) || m_touch.down) {
            m_touch.down = 0;
            if (m_sounds) {
                m_sounds->Start();
                m_sounds->Play(kMenuMusicClip, 1, -1);
            }
            m_input.keyState = 0;
            m_screenStep = INTRO_END;
            m_introBackground = GetSharedImage(IMAGE_WARROOM);
        }
        if (m_display)
            m_display->Update(0);
        return SCREEN_RUNNING;

    default:
        m_introBackground = nullptr;
        delete m_intro;
        m_intro = nullptr;
        m_touch.down = 0;
        m_touch.wasDown = 0;
        m_screenStep = INTRO_SERVICES;
        return SCREEN_DONE;
    }
}

// --- end screen -----------------------------------------------------------------

int KorvanthApp::ShowEnding()
{
    if (m_keyLatch == kKeyBack)
        return SCREEN_DONE;
    if (m_screenStep == 0) {
        if (!m_endImage)
            m_endImage = PSurface3D::CreateFromFile(m_p3d, "data\\2dgfx\\endscreen.png", kEndImageFlags);
        if (!m_endImage) {
            _PDebug("app: no end screen picture\n");
            return SCREEN_DONE;
        }
        m_screenStep = 1;
    }
    m_p3d->BlitFx(m_fullScreen, m_endImage, nullptr, kBlitAlpha, m_fullScreenFx);
    if (m_frameTime != 0 && m_frameTime - m_endStart >= uint32_t(kEndScreenMs))
        return SCREEN_DONE;
    if ((unsigned(m_input.keyState) & kEndScreenKeys) || m_touch.down) {
        m_touch.down = 0;
        return SCREEN_DONE;
    }
    return SCREEN_RUNNING;
}

// --- resolution notice -------------------------------------------------------

void KorvanthApp::ShowUnsupportedResolutionMsg()
{
    if (m_props.width >= kMinWidth && m_props.height >= kMinHeight)
        return;
    if (m_state == STATE_RESOLUTION)
        return;
    _PDebug("app: the display (%d x %d) is below %d x %d\n", int(m_props.width), int(m_props.height), kMinWidth,
            kMinHeight);
    if (!m_profiles)
        return;
    BuildMessage(kResolutionTexts[0], kResolutionTexts[1], nullptr, true, true);
    m_savedState = m_state;
    SetState(STATE_RESOLUTION);
}

// --- storage checks ---------------------------------------------------------

void KorvanthApp::RunWriteTest()
{
    int existing = (Settings::TestFile() ? 1 : 0) + (m_profiles ? m_profiles->TestProfileFiles() : 0);
    int wanted = kStorageTestFiles - existing;
    if (wanted < 1) {
        SetState(STATE_FREE_SPACE);
        return;
    }
    int made = StorageWriteTest(wanted);
    _PDebug("app: storage write test: %d of %d files\n", made, wanted);
    if (made < wanted && m_profiles)
        m_profiles->messagePending = 1;
    SetState(made < wanted ? STATE_WRITE_FAILED : STATE_FREE_SPACE);
}

void KorvanthApp::RunFreeSpaceCheck()
{
    int64_t dataSize = ProfileManager::GetDataSize(); // what the profiles need
    if (dataSize + kSpareBytes < int64_t(PFile::GetFreeSpace("usr"))) {
        SetState(m_savedState);
    } else {
        if (m_profiles)
            m_profiles->messagePending = 1;
        SetState(STATE_LOW_SPACE);
    }
}

// --- message states ---------------------------------------------------------

void KorvanthApp::BuildMessage(unsigned first, unsigned last, char const* fixed, bool buttons, bool onlyOk)
{
    m_profiles->SetScreen(m_p3d, m_props.width, m_props.height);
    m_profiles->WarningWnd_Zero();
    for (unsigned id = first; !fixed && id <= last; ++id) {
        PString line(m_fonts ? m_fonts->GetStr(id) : L"");
        m_profiles->WarningWnd_AddTxt(&line);
    }
    if (fixed) {
        PString line(fixed);
        m_profiles->WarningWnd_AddTxt(&line);
    }
    m_profiles->WarningWnd_ButtonsHide(!buttons);
    m_profiles->WarningWnd_OnlyOkButton(onlyOk);
    m_profiles->InitWarningWindow();
    m_profiles->messagePending = 0;
}

bool KorvanthApp::RunMessageState()
{
    if (!m_profiles) {
        // Without the message window every message passes as dismissed.
        if (m_state == STATE_DATA_ERROR || m_state == STATE_DATA_ERROR_SHOWN)
            m_exitStage = EXIT_REQUESTED;
        else
            MessageMissing("message", m_state == STATE_WRITE_FAILED ? STATE_FREE_SPACE : m_savedState);
        return false;
    }
    const int keys = m_input.keyState;
    auto show = [&] {
        m_p3d->FillRect(0, 0, unsigned(m_props.width), unsigned(m_props.height), 0xFF000000, P3DBLEND_OPAQUE);
        m_profiles->WarningWnd_Draw();
    };
    auto answer = [&] { return m_profiles->WarningWnd_Process(keys, m_keyLatch, m_keyLatch2); };
    // The pen put down dismisses the notices that have no buttons, once the
    // window has seen it put down since it opened (a finger held from before
    // is not a tap on the notice).
    auto tapped = [&] {
        const bool t = m_profiles->WarningWnd_Tapped();
        if (t) {
            m_touch.down = 0;
            m_touch.wasDown = 0;
            m_profiles->TouchScreen_ReleasePen();
        }
        return t;
    };
    switch (m_state) {
    case STATE_DATA_ERROR:
        _PDebug("app: ERROR READING DATA!\n");
        BuildMessage(0, 0, kDataErrorText, false, false);
        SetState(STATE_DATA_ERROR_SHOWN);
        return true;
    case STATE_DATA_ERROR_SHOWN:
        show();
        if (answer() != MESSAGE_PENDING || tapped()) {
            m_exitStage = EXIT_REQUESTED;
            return false;
        }
        return true;
    case STATE_SAVE_ERROR:
        _PDebug("app: ERROR SAVING PROFILE!\n");
        BuildMessage(0, 0, kSaveErrorText, false, false);
        SetState(STATE_SAVE_ERROR_SHOWN);
        return true;
    case STATE_SAVE_ERROR_SHOWN: {
        show();
        const int h = m_props.height;
        for (int side = 0; side < 2; ++side)
            if (PSurface3D* icon = GetSharedImage(side ? IMAGE_SOFT_BACK : IMAGE_SOFT_OK)) {
                // In the bottom corners: (x, y) is the key's top-left corner.
                const int x = side ? m_props.width - int(icon->Width()) : 0;
                m_p3d->BlitAlpha(x, h - int(icon->Height()), icon, nullptr, PS3D_BLEND, m_fullScreenFx);
                if (side)
                    MyUtility::DrawKeyLabel(m_fonts, x, h - int(icon->Height()), int(icon->Width()),
                                            int(icon->Height()), MyUtility::kTextBack);
            }
        if (answer() != MESSAGE_PENDING || tapped()) {
            m_profiles->WarningWnd_ButtonsHide(false);
            SetState(m_savedState);
            return false;
        }
        return true;
    }
    case STATE_WRITE_FAILED:
    case STATE_LOW_SPACE: {
        const bool write = m_state == STATE_WRITE_FAILED;
        if (m_profiles->messagePending)
            BuildMessage(write ? kWriteFailedTexts[0] : kLowSpaceTexts[0], write ? kWriteFailedTexts[1] : kLowSpaceTexts[1],
                         nullptr, false, false);
        show();
        if (m_keyLatch == kKeyBack) {
            m_exitStage = EXIT_REQUESTED;
            return false;
        }
        if (answer() != MESSAGE_PENDING || tapped()) {
            // The dismissing frame is shown; presenting clears the latches.
            m_profiles->WarningWnd_ButtonsHide(false);
            SetState(write ? STATE_FREE_SPACE : m_savedState);
        }
        return true;
    }
    case STATE_SETTINGS_FAILED:
        if (m_profiles->messagePending)
            BuildMessage(kSettingsTexts[0], kSettingsTexts[1], nullptr, false, false);
        show();
        if (m_keyLatch == kKeyBack && m_savedState == 0) {
            m_exitStage = EXIT_REQUESTED;
            return false;
        }
        if (answer() != MESSAGE_PENDING || tapped()) {
            m_input.keyState = 0;
            m_keyLatch = 0;
            m_input.SetAllKeys(1);
            m_profiles->WarningWnd_ButtonsHide(false);
            SetState(m_savedState);
        }
        return true;
    case STATE_RESOLUTION:
        if (m_savedState == STATE_PROFILES)
            m_profiles->Render(m_p3d);
        else
            m_p3d->FillRect(0, 0, unsigned(m_props.width), unsigned(m_props.height), 0xFF000000, P3DBLEND_OPAQUE);
        m_profiles->WarningWnd_Draw();
        if (m_profiles->messagePending) {
            // Whoever entered the state has not built the window yet: the
            // keys are only cleared.
            m_input.keyState = 0;
            return true;
        }
        if (answer() != MESSAGE_PENDING || m_keyLatch == kKeyBack) {
            m_profiles->WarningWnd_OnlyOkButton(false);
            SetState(m_savedState);
        }
        return true;
    case STATE_TUTORIAL_OFFER: {
        if (m_profiles->messagePending)
            BuildMessage(kTutorialTexts[0], kTutorialTexts[1], nullptr, true, false);
        MenuBehind();
        m_profiles->WarningWnd_Draw();
        const int a = answer();
        if (a == MESSAGE_PENDING && m_keyLatch != kKeyBack)
            return true;
        m_touch.down = 0;
        _PDebug("app: tutorial offer answered %s\n", a == MESSAGE_YES ? "yes: the tutorial loads" : "no");
        if (a == MESSAGE_YES) {
            m_currentGroup = m_tutorialGroup;
            m_currentLevel = 0;
            if (Profile* p = m_profiles->CurrentProfile(); p && m_menu)
                p->campaign = uint8_t(m_menu->campaign);
            delete m_menu;
            m_menu = nullptr;
            if (m_sounds)
                m_sounds->Stop(0);
            TextureManagerStep();
            m_loadStep = 0;
            SetState(STATE_LOAD_GAME);
        } else {
            m_input.keyState = 0;
            m_keyLatch = 0;
            m_input.SetAllKeys(1);
            SetState(m_savedState);
        }
        m_settings.tutorialOffered = 1;
        if (!m_settings.Write()) {
            m_savedState = m_state;
            m_profiles->messagePending = 1;
            SetState(STATE_SETTINGS_FAILED);
        }
        return true;
    }
    case STATE_MP_NOTICE: {
        if (m_savedState == STATE_MENU)
            MenuBehind();
        else
            m_p3d->FillRect(0, 0, unsigned(m_props.width), unsigned(m_props.height), 0xFF000000, P3DBLEND_OPAQUE);
        m_profiles->WarningWnd_Draw();
        if (m_profiles->messagePending) {
            m_profiles->messagePending = 0;
            m_input.keyState = 0;
            return true;
        }
        const int a = answer();
        if (a == MESSAGE_YES) {
            m_input.keyState = 0;
            m_keyLatch = m_keyLatch2 = 0;
            m_touch.down = 0;
            m_profiles->WarningWnd_OnlyOkButton(false);
            if (m_menu) {
                m_menu->TouchScreen_ReleasePen();
                m_menu->page = MainMenu::PAGE_HATCH_CLOSE;
            }
            SetState(m_savedState);
        } else if (a == MESSAGE_NO || m_keyLatch == kKeyBack) {
            m_profiles->WarningWnd_OnlyOkButton(false);
            SetState(m_savedState);
        }
        return true;
    }
    default:
        return true;
    }
}

// --- profile screens ----------------------------------------------------------

bool KorvanthApp::RunProfileScreens()
{
    m_profiles->Render(m_p3d);
    const int r = int8_t(m_profiles->Process(m_input.keyState, m_keyLatch, m_keyLatch2));
    if (r <= PROFILE_SCREEN_LEAVE) {
        m_profiles->TouchScreenEvent(0, 0, false);
        if (m_menu)
            m_menu->TouchScreenEvent(0, 0, 0);
    }
    if (r == PROFILE_SCREEN_LEAVE || r == PROFILE_SCREEN_LEAVE_SAVE_FAILED) {
        if (m_loading) {
            m_loading->Init(Loading::kTotalFull);
            m_loading->Update();
        }
        m_profiles->ReleasePlanesWithEngine();
        m_profiles->Close();
    }
    if (r == PROFILE_SCREEN_LEAVE) {
        SetState(STATE_MENU_OPEN);
    } else if (r == PROFILE_SCREEN_SAVE_FAILED || r == PROFILE_SCREEN_LEAVE_SAVE_FAILED) {
        m_savedState = r == PROFILE_SCREEN_SAVE_FAILED ? STATE_PROFILES : STATE_MENU_OPEN;
        SetState(STATE_SAVE_ERROR);
    } else if (r == PROFILE_SCREEN_FIRST_RUN_BACK) {
        _PDebug("app: no profile made; the game ends\n");
        m_exitStage = EXIT_REQUESTED;
    }
    m_input.keyState = 0;
    return true;
}
