#include "engine/net/online/playerlist.h"

#include <cstring>

#include "engine/net/online/packetio.h"
#include "engine/runtime/palloc.h"

namespace VOrededidaza {
namespace Internal {

PlayerList::PlayerList() : m_players(nullptr), m_count(0), m_capacity(0) {}

PlayerList::~PlayerList()
{
    clear();
}

void PlayerList::clear()
{
    PFree(m_players);
    m_players = nullptr;
    m_count = m_capacity = 0;
}

int PlayerList::addPlayer(const unsigned char* payload, int length)
{
    PacketReader r(payload, length);
    uint32_t id = r.readUI32();
    char name[kMaxName + 1];
    r.readString(name, kMaxName);
    if (!r.ok())
        return 0;
    return addPlayer(id, name);
}

int PlayerList::addPlayer(uint32_t id, const char* name)
{
    removePlayer(id);
    if (m_count == m_capacity) {
        int grown = (m_count + 4) & ~3;
        Player* p = static_cast<Player*>(PAlloc(int(sizeof(Player)) * grown));
        if (!p)
            return 0;
        if (m_count)
            std::memcpy(p, m_players, sizeof(Player) * size_t(m_count));
        PFree(m_players);
        m_players = p;
        m_capacity = grown;
    }
    Player& e = m_players[m_count++];
    e.id = id;
    int n = 0;
    while (name && n < kMaxName && name[n]) {
        e.name[n] = name[n];
        n++;
    }
    e.name[n] = 0;
    return 1;
}

void PlayerList::removePlayer(uint32_t id)
{
    for (int i = 0; i < m_count; i++) {
        if (m_players[i].id != id)
            continue;
        std::memmove(m_players + i, m_players + i + 1, sizeof(Player) * size_t(m_count - i - 1));
        m_count--;
        if (m_count == 0)
            clear();
        return;
    }
}

int PlayerList::getPlayerIndex(uint32_t id) const
{
    for (int i = 0; i < m_count; i++)
        if (m_players[i].id == id)
            return i;
    return 0;
}

bool PlayerList::hasPlayer(uint32_t id) const
{
    for (int i = 0; i < m_count; i++)
        if (m_players[i].id == id)
            return true;
    return false;
}

uint32_t PlayerList::getPlayerId(int i) const
{
    return (i >= 0 && i < m_count) ? m_players[i].id : 0;
}

const char* PlayerList::getPlayerName(int i) const
{
    return (i >= 0 && i < m_count) ? m_players[i].name : nullptr;
}

} // namespace Internal
} // namespace VOrededidaza
