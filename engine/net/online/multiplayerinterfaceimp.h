// The root's implementation: a fixed table of the objects it polls.
#pragma once
#include "engine/net/online/multiplayerinterface.h"
#include "engine/net/online/networkinterfaces.h"

namespace VOrededidaza {
namespace Internal {

class MultiplayerInterfaceImp : public MultiplayerInterface {
public:
    static constexpr int kMaxUpdateables = 128;

    MultiplayerInterfaceImp();
    virtual ~MultiplayerInterfaceImp();
    virtual ServerDiscovery* createServerDiscovery() override;
    // Polls every registered object in registration order. Objects may
    // register or unregister (themselves or others) while being polled.
    virtual void update() override;
    virtual LobbyInterface* createLobbyInterface() override;

    // 1 when registered, 0 (logged) when the table is full.
    int addUpdateable(Updateable* u);
    // Removes the first occurrence, keeping the order of the others.
    void removeUpdateable(Updateable* u);
    int updateableCount() const { return m_count; }

private:
    Updateable* m_items[kMaxUpdateables];
    int m_count;
    int m_next; // index of the next object to poll during update, -1 outside it
};

} // namespace Internal
} // namespace VOrededidaza
