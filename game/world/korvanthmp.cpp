// The application's multiplayer states: entering the multiplayer menus
// (state 7), running them with their result (state 8), loading a match
// (state 6) and the session's part of a frame of play in a match.
#include <new>

#include "engine/runtime/pdebug.h"
#include "game/frontend/loading.h"
#include "game/frontend/mainmenu.h"
#include "game/frontend/profile.h"
#include "game/frontend/profilemanager.h"
#include "game/multiplayer/krvmp.h"
#include "game/world/audiomanager.h"
#include "game/world/korvanth.h"
#include "game/world/maingame.h"

namespace {
// Results of a frame of the multiplayer menus.
enum MultiplayerResult : int {
    MP_STAY = 0,
    MP_LEAVE = -1,
    MP_MATCH_STARTS = 1,
};
// The message box shown when the link to the match was lost.
constexpr int kTextLinkLost = 379;
// The music clip the multiplayer menus play.
constexpr int kClipMenuMusic = 0;
} // namespace

bool KorvanthApp::OpenMultiplayerMenus()
{
    Profile* profile = m_profiles ? m_profiles->CurrentProfile() : nullptr;
    if (m_profiles)
        m_profiles->multiplayer = 1;
    if (profile)
        profile->SetMode(Profile::kMultiplayer);
    if (m_loading) {
        m_loading->Init(Loading::kTotalFull);
        m_loading->Update();
    }
    if (!m_mp) {
        m_mp = new (std::nothrow) KrvMp();
        if (!m_mp) {
            _PDebug("app: no memory for the multiplayer menus; back to the menu\n");
            if (m_profiles)
                m_profiles->multiplayer = 0;
            SetState(STATE_MENU_OPEN);
            return false;
        }
        _PDebug("app: multiplayer menus made\n");
    }
    m_mp->settings = &m_settings;
    m_mp->p3d = m_p3d;
    m_mp->fonts = m_fonts;
    // The key word's bits, read as unsigned by the menus.
    m_mp->keys = reinterpret_cast<const unsigned*>(&m_input.keyState);
    m_mp->Init(m_props.width, m_props.height, profile, &m_ticker, m_sounds);
    return true;
}

bool KorvanthApp::RunMultiplayerMenus()
{
    const int r = m_mp->Update(m_frameTime);
    m_mp->Render(m_frameTime);
    if (r == MP_LEAVE) {
        _PDebug("app: multiplayer menus left\n");
        m_mp->Release();
        TextureManagerStep();
        if (m_profiles) {
            m_profiles->multiplayer = 0;
            m_profiles->TouchScreenEvent(0, 0, false);
        }
        if (m_menu)
            m_menu->TouchScreenEvent(0, 0, 0);
        SetState(STATE_MENU_OPEN);
    } else if (r == MP_MATCH_STARTS) {
        if (m_multiplayerGroup) {
            m_currentGroup = m_multiplayerGroup;
            m_mp->SetDataToLevelGroup(m_multiplayerGroup);
            m_loadStep = 0;
            SetState(STATE_LOAD_MATCH);
        } else {
            _PDebug("app: a match starts but the catalogue has no multiplayer levels\n");
        }
    }
    return true;
}

void KorvanthApp::RunMatchLoading()
{
    if (!m_mp) {
        _PDebug("app: a match loads without the multiplayer front end\n");
        DeleteGame();
        m_loadStep = 0;
        SetState(STATE_MENU_OPEN);
        return;
    }
    if (m_loadCancel) {
        m_mp->game = nullptr;
        CancelGameLoading();
        return;
    }
    const int e = m_mp->MP_Update(m_frameTime);
    if (e == KrvMpConn::kErrLinkLost) {
        // The match went before it loaded.
        MatchLinkLost();
        return;
    }
    if (KrvMpConn::IsLeftOut(e)) {
        MatchLeftOut();
        return;
    }
    if (m_loadStep == 0) {
        m_mp->game = nullptr; // the old game goes
        NewGameForLoading();
        // The session asks the game for its spawn points while it loads.
        m_mp->game = m_game;
    }
    if (!m_game ||
        !m_game->LoadMultiPlayerGame(m_textures, &m_props, m_frameTime, m_currentGroup, m_mp->GetGameLink())) {
        _PDebug("app: the match could not be loaded\n");
        // The session forgets the game and the objects it had handed over,
        // so that no later message reaches a half-loaded game.
        m_mp->MP_EndGame();
        DeleteGame();
        m_loadStep = 0;
        SetState(STATE_DATA_ERROR);
        return;
    }
    _PDebug("app: the match is loaded\n");
    m_loadStep = 0;
    m_mp->state = KrvMpConn::kMatchRunning;
    SetState(STATE_GAME);
}

bool KorvanthApp::MatchSessionUpdate()
{
    if (!m_mp)
        return true;
    const int e = m_mp->MP_Update(m_frameTime);
    if (KrvMpConn::IsLeftOut(e)) {
        MatchLeftOut();
        return false;
    }
    if (e != KrvMpConn::kErrLinkLost)
        return true;
    MatchLinkLost();
    return false;
}

void KorvanthApp::MatchLinkLost()
{
    _PDebug("app: the link to the match was lost\n");
    LeaveMatchForMenus(KrvMp::MENU_LOCAL_INTERNET, true);
    m_mp->MsgBoxShow_Info(kTextLinkLost);
    TextureManagerStep();
    SetState(STATE_MP);
}

void KorvanthApp::MatchLeftOut()
{
    _PDebug("app: the host left this player out of the match\n");
    LeaveMatchForMenus(KrvMp::MENU_GAME_ROOM, false);
    if (const wchar_t* text = KrvMpConn::ErrorCodeToMsg(m_fonts, KrvMpConn::kErrLeftOut))
        m_mp->MsgBoxShow_Info(text);
    TextureManagerStep();
    if (m_sounds) {
        m_sounds->Start();
        m_sounds->Play(kClipMenuMusic, 0, -1);
    }
    SetState(STATE_MP);
}

void KorvanthApp::LeaveMatchForMenus(int menuState, bool linkLost)
{
    m_loadStep = 0;
    delete m_menu;
    m_menu = nullptr;
    DeleteGame();
    if (linkLost)
        m_mp->MP_Release();
    else
        m_mp->MP_EndGame();
    m_mp->Touchscreen_Reset();
    m_mp->GoToState(menuState);
}

void KorvanthApp::MatchOver()
{
    _PDebug("app: the match is over\n");
    m_loadStep = 0;
    DeleteGame();
    if (!m_mp)
        return;
    m_mp->MP_EndGame();
    m_mp->Touchscreen_Reset();
    m_mp->GoToState(KrvMp::MENU_FINAL_STANDINGS);
    if (m_sounds) {
        m_sounds->Start();
        m_sounds->Play(kClipMenuMusic, 0, -1);
    }
}
