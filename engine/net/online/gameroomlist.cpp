#include "engine/net/online/gameroomlist.h"

#include <cstring>

#include "engine/net/online/packetio.h"
#include "engine/runtime/palloc.h"
#include "engine/runtime/pdebug.h"
#include "engine/runtime/pdebugpeer.h"

namespace VOrededidaza {
namespace Internal {

namespace {
// The smallest room record: six 32-bit fields and an empty description.
constexpr int kMinRoomRecord = 24;
} // namespace

GameRoomList::GameRoomList()
    : m_filter(0), m_sortingKey(0), m_groupMask(0xFFFFFFFFu), m_rooms(nullptr), m_roomCount(0), m_keys(nullptr),
      m_keyCount(0)
{
}

GameRoomList::~GameRoomList()
{
    PFree(m_rooms);
    PFree(m_keys);
}

int GameRoomList::update(const unsigned char* payload, int length)
{
    PFree(m_rooms);
    PFree(m_keys);
    m_rooms = nullptr;
    m_keys = nullptr;
    m_roomCount = m_keyCount = 0;
    PacketReader r(payload, length);
    uint32_t count = r.readUI32();
    if (!r.ok() || count > uint32_t(r.remaining() / kMinRoomRecord)) {
        _PDebugPeer(kLobbyPeer, "online: room list claims %u rooms in %d bytes\n", count, length);
        return 0;
    }
    if (count == 0)
        return 1;
    m_rooms = static_cast<Room*>(PAlloc(int(sizeof(Room)) * int(count)));
    m_keys = static_cast<Key*>(PAlloc(int(sizeof(Key)) * int(count)));
    if (!m_rooms || !m_keys) {
        PFree(m_rooms);
        PFree(m_keys);
        m_rooms = nullptr;
        m_keys = nullptr;
        return 0;
    }
    for (uint32_t i = 0; i < count; i++) {
        Room& room = m_rooms[i];
        room.id = r.readUI32();
        room.players = int32_t(r.readUI32());
        room.maxPlayers = int32_t(r.readUI32());
        room.protectedFlag = int32_t(r.readUI32());
        room.groupMask = r.readUI32();
        uint32_t dlen = r.readUI32();
        if (!r.ok() || dlen > uint32_t(r.remaining())) {
            _PDebugPeer(kLobbyPeer, "online: room list entry %u runs past the message\n", i);
            m_roomCount = 0;
            return 0;
        }
        // Descriptions are kept up to 256 bytes; the rest of a longer one is
        // skipped.
        int keep = dlen > uint32_t(kMaxDescription) ? kMaxDescription : int(dlen);
        r.readBuffer(room.description, keep);
        r.skip(int(dlen) - keep);
        room.description[keep] = 0;
        room.descriptionLength = keep;
        m_roomCount = int(i + 1);
    }
    sort();
    return 1;
}

void GameRoomList::sort()
{
    m_keyCount = 0;
    for (int i = 0; i < m_roomCount; i++) {
        const Room& room = m_rooms[i];
        if (!(room.groupMask & m_groupMask))
            continue;
        if ((m_filter & HIDE_FULL) && room.players == room.maxPlayers)
            continue;
        if ((m_filter & HIDE_PROTECTED) && room.protectedFlag)
            continue;
        if ((m_filter & ONLY_PROTECTED) && !room.protectedFlag)
            continue;
        Key& k = m_keys[m_keyCount++];
        k.index = i;
        k.value = m_sortingKey == 1 ? int32_t(uint32_t(room.players) - uint32_t(room.maxPlayers)) : int32_t(room.id);
    }
    // Exchange sort of neighbours: equal values keep their list order.
    for (int pass = 0; pass < m_keyCount; pass++) {
        bool swapped = false;
        for (int i = 0; i + 1 < m_keyCount - pass; i++) {
            if (m_keys[i].value > m_keys[i + 1].value) {
                Key t = m_keys[i];
                m_keys[i] = m_keys[i + 1];
                m_keys[i + 1] = t;
                swapped = true;
            }
        }
        if (!swapped)
            break;
    }
}

void GameRoomList::setFilter(unsigned bits)
{
    if (bits != m_filter) {
        m_filter = bits;
        sort();
    }
}

void GameRoomList::setSortingKey(int key)
{
    if (key != m_sortingKey) {
        m_sortingKey = key;
        sort();
    }
}

void GameRoomList::setGroupMaskFilter(unsigned mask)
{
    if (mask != m_groupMask) {
        m_groupMask = mask;
        sort();
    }
}

const GameRoomList::Room* GameRoomList::room(int i) const
{
    return validIndex(i) ? &m_rooms[m_keys[i].index] : nullptr;
}

uint32_t GameRoomList::getGameRoomId(int i) const
{
    const Room* r = room(i);
    return r ? r->id : 0;
}

int GameRoomList::getNumberOfPlayers(int i) const
{
    const Room* r = room(i);
    return r ? r->players : 0;
}

int GameRoomList::getMaxNumberOfPlayers(int i) const
{
    const Room* r = room(i);
    return r ? r->maxPlayers : -1;
}

const unsigned char* GameRoomList::getDescription(int i) const
{
    const Room* r = room(i);
    return r ? r->description : nullptr;
}

int GameRoomList::getDescriptionLength(int i) const
{
    const Room* r = room(i);
    return r ? r->descriptionLength : -1;
}

int GameRoomList::isPasswordProtected(int i) const
{
    const Room* r = room(i);
    return r ? r->protectedFlag : 255;
}

uint32_t GameRoomList::getGroupMask(int i) const
{
    const Room* r = room(i);
    return r ? r->groupMask : 0;
}

} // namespace Internal
} // namespace VOrededidaza
