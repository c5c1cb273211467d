// The application's main-menu states: making the menu (state 2), reopening
// it where the last game left it, and running it with its result codes
// (state 3).
#include <algorithm>

#include "engine/graphics/p3d.h"
#include "engine/graphics/p3dgl.h"
#include "engine/graphics/pglu.h"
#include "engine/runtime/pdebug.h"
#include "game/frontend/fonts.h"
#include "game/frontend/loading.h"
#include "game/frontend/mainmenu.h"
#include "game/frontend/profilemanager.h"
#include "game/multiplayer/krvmp.h"
#include "game/world/audiomanager.h"
#include "game/world/korvanth.h"

namespace {
constexpr unsigned kMultiplayerNotice[2] = {398, 402};
} // namespace

bool KorvanthApp::OpenMainMenu()
{
    if (m_loading) {
        m_loading->Init(Loading::kTotalFull);
        m_loading->Update();
        m_loading->Update();
    }
    TextureManagerStep();
    if (!m_menu) {
        m_menu = new MainMenu(&m_props, m_fonts, m_sounds, m_profiles, m_levels, m_multiplayerGroup, m_campaignGroups,
                              m_campaignCount, m_timeAttackGroup, m_tutorialGroup, m_arcadeGroup);
        if (!m_menu || !m_menu->Init(&m_settings) || !m_menu->LoadMenu(m_p3d, m_textures)) {
            _PDebug("app: the main menu could not be made\n");
            delete m_menu;
            m_menu = nullptr;
            SetState(STATE_DATA_ERROR);
            return false;
        }
        _PDebug("app: main menu made\n");
    }
    MenuProjection();
    // Reopen where the last game left off: the first match only.
    if (m_openOptions) {
        m_menu->GotoOptionsMenu();
        m_openOptions = 0;
    } else if (m_reopenArcade >= 0) {
        m_menu->GotoArcadeMenu();
        m_reopenArcade = -1;
    } else if (m_reopenTimeAttack >= 0) {
        m_menu->GotoTimeAttackMenu();
        m_reopenTimeAttack = -1;
    } else if (m_reopenCampaign >= 0) {
        const int campaign = m_reopenCampaign;
        m_reopenCampaign = -1;
        if (!m_menu->GotoCampaignMenu(campaign)) {
            SetState(STATE_DATA_ERROR);
            return false;
        }
    } else if (m_reopenGameSelection >= 0) {
        m_menu->GotoGameSelectionMenu();
        m_reopenGameSelection = -1;
    }
    return true;
}

bool KorvanthApp::RunMainMenu()
{
    MenuProjection();
    m_frameCounter += std::max(m_menu->ToFps(2), 2);
    m_menu->input.scancode = m_keyLatch;
    const int r = m_menu->RenderMainMenu(m_p3d, &m_props, &m_props, m_input.keyState, m_frameCounter, m_ticker());
    // A match left running behind the options goes on in the background.
    if (m_mp && m_game && m_game->IsMultiplayer()) {
        m_game->SetNow(m_frameTime);
        m_game->MultiplayerUpdateInBg(m_p3d);
        const int e = m_mp->MP_Update(m_frameTime);
        if (e == KrvMpConn::kErrLinkLost) {
            MatchLinkLost();
            return true;
        }
        if (KrvMpConn::IsLeftOut(e)) {
            MatchLeftOut();
            return true;
        }
        if (e != KrvMpConn::kErrNone) {
            // Back to the match, as the menu's own way back would.
            delete m_menu;
            m_menu = nullptr;
            m_game->UpdatePlayerSteeringSens();
            SetState(STATE_GAME);
            return true;
        }
    }
    auto play = [this] {
        m_currentGroup = m_menu->chosenGroup;
        m_currentLevel = m_menu->chosenLevel;
        if (Profile* p = m_profiles ? m_profiles->CurrentProfile() : nullptr)
            p->campaign = uint8_t(m_menu->campaign);
        delete m_menu;
        m_menu = nullptr;
        if (m_sounds)
            m_sounds->Stop(0);
        TextureManagerStep();
        m_loadStep = 0;
        _PDebug("app: menu: level %d of the chosen group\n", int(m_currentLevel));
        SetState(STATE_LOAD_GAME);
    };
    auto message = [this](int32_t saved, int32_t state) {
        if (m_profiles)
            m_profiles->messagePending = 1;
        m_savedState = saved;
        SetState(state);
    };
    switch (r) {
    case MAINMENU_BACK_TO_GAME:
        delete m_menu;
        m_menu = nullptr;
        // The options may have changed the steering's sensitivity.
        if (m_game)
            m_game->UpdatePlayerSteeringSens();
        if (m_sounds) {
            m_sounds->Stop(0);
            m_sounds->Stop(2);
        }
        SetState(STATE_GAME);
        break;
    case MAINMENU_DATA_MISSING:
        _PDebug("app: the main menu's pictures are missing\n");
        SetState(STATE_DATA_ERROR);
        break;
    case MAINMENU_QUIT:
        _PDebug("app: menu: quit\n");
        OnEvent(PEVENT_CLOSE, 0, 0);
        return false;
    case MAINMENU_PLAY:
        play();
        break;
    case MAINMENU_MULTIPLAYER:
        SetState(STATE_MP_OPEN);
        break;
    case MAINMENU_MULTIPLAYER_NOTICE:
        if (m_profiles) {
            BuildMessage(kMultiplayerNotice[0], kMultiplayerNotice[1], nullptr, true, true);
            m_profiles->messagePending = 1;
            m_profiles->TouchScreen_ReleasePen();
        }
        m_savedState = STATE_MENU;
        SetState(STATE_MP_NOTICE);
        break;
    case MAINMENU_PROFILES:
        SetState(STATE_PROFILES_OPEN);
        break;
    case MAINMENU_TUTORIAL_OFFER:
        message(STATE_MENU, STATE_TUTORIAL_OFFER);
        break;
    case MAINMENU_PLAY_SETTINGS_FAILED:
        play();
        message(STATE_LOAD_GAME, STATE_SETTINGS_FAILED);
        break;
    case MAINMENU_SETTINGS_FAILED:
        message(STATE_MENU, STATE_SETTINGS_FAILED);
        break;
    default:
        break;
    }
    return true;
}

void KorvanthApp::MenuBehind()
{
    if (!m_menu) {
        m_p3d->FillRect(0, 0, unsigned(m_props.width), unsigned(m_props.height), 0xFF000000, P3DBLEND_OPAQUE);
        return;
    }
    MenuProjection();
    // Touches belong to the window in front.
    m_menu->TouchScreen_Reset();
    m_menu->input.scancode = 0;
    m_menu->RenderMainMenu(m_p3d, &m_props, &m_props, 0, m_frameCounter, m_ticker());
}
