#include "engine/net/online/multiplayerinterface.h"
#include "engine/net/online/packetio.h"

namespace VOrededidaza {

using Internal::CopyBounded;

ServerFilter::ServerFilter(unsigned gameId)
    : m_gameId(gameId), m_nearMe(0), m_protocol(1), m_sortingKey(SORT_NONE), m_maxResults(0),
      m_returnMask(RETURN_NAME | RETURN_TOTAL_PLAYERS | RETURN_MAX_PLAYERS)
{
    m_name[0] = 0;
    m_description[0] = 0;
}

void ServerFilter::setNameFilter(const char* name)
{
    CopyBounded(m_name, name, kMaxName);
}

void ServerFilter::setDescriptionFilter(const char* text)
{
    CopyBounded(m_description, text, kMaxDescription);
}

const char* ServerFilter::getSortingKeyString() const
{
    switch (m_sortingKey) {
    case SORT_NAME: return "Name";
    case SORT_PLAYER_COUNT: return "PlayerCount";
    case SORT_GAME_ROOMS: return "GameRooms";
    default: return "";
    }
}

} // namespace VOrededidaza
