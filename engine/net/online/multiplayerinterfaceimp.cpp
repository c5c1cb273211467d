#include "engine/net/online/multiplayerinterfaceimp.h"

#include "engine/net/online/lobbyinterfaceimp.h"
#include "engine/net/online/serverdiscoveryimp.h"
#include "engine/runtime/pdebug.h"

namespace VOrededidaza {

MultiplayerInterface* MultiplayerInterface::Create()
{
    return new Internal::MultiplayerInterfaceImp();
}

namespace Internal {

MultiplayerInterfaceImp::MultiplayerInterfaceImp() : m_count(0), m_next(-1)
{
    for (int i = 0; i < kMaxUpdateables; i++)
        m_items[i] = nullptr;
}

MultiplayerInterfaceImp::~MultiplayerInterfaceImp()
{
    if (m_count > 0)
        _PDebug("online: root deleted with %d objects still registered\n", m_count);
}

ServerDiscovery* MultiplayerInterfaceImp::createServerDiscovery()
{
    return new ServerDiscoveryImp(this);
}

LobbyInterface* MultiplayerInterfaceImp::createLobbyInterface()
{
    return new LobbyInterfaceImp(this);
}

int MultiplayerInterfaceImp::addUpdateable(Updateable* u)
{
    if (!u)
        return 0;
    if (m_count >= kMaxUpdateables) {
        _PDebug("online: cannot register another object: all %d slots in use\n", kMaxUpdateables);
        return 0;
    }
    m_items[m_count++] = u;
    return 1;
}

void MultiplayerInterfaceImp::removeUpdateable(Updateable* u)
{
    for (int i = 0; i < m_count; i++) {
        if (m_items[i] != u)
            continue;
        for (int j = i; j + 1 < m_count; j++)
            m_items[j] = m_items[j + 1];
        m_items[--m_count] = nullptr;
        // Keep a running update on the object that followed the removed one.
        if (m_next > i)
            m_next--;
        return;
    }
}

void MultiplayerInterfaceImp::update()
{
    if (m_next >= 0)
        return; // update called from inside an update: the running pass goes on
    for (m_next = 0; m_next < m_count;) {
        Updateable* u = m_items[m_next++];
        u->update();
    }
    m_next = -1;
}

} // namespace Internal
} // namespace VOrededidaza
