// The application's multiplayer states: entering the multiplayer menus
// (state 7) and running them with their result (state 8).
#include <new>

#include "engine/runtime/pdebug.h"
#include "game/frontend/loading.h"
#include "game/frontend/mainmenu.h"
#include "game/frontend/profile.h"
#include "game/frontend/profilemanager.h"
#include "game/multiplayer/krvmp.h"
#include "game/world/korvanth.h"

namespace {
// Results of a frame of the multiplayer menus.
enum MultiplayerResult : int {
    MP_STAY = 0,
    MP_LEAVE = -1,
    MP_MATCH_STARTS = 1,
};
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
