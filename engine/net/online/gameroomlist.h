// GameRoomList: the lobby's list of game rooms, filtered and sorted.
#pragma once
#include <cstdint>

namespace VOrededidaza {
namespace Internal {

class GameRoomList {
public:
    static constexpr int kMaxDescription = 256;
    // Filter bits.
    enum { HIDE_FULL = 1, HIDE_PROTECTED = 2, ONLY_PROTECTED = 4 };

    GameRoomList();
    ~GameRoomList();
    GameRoomList(const GameRoomList&) = delete;
    GameRoomList& operator=(const GameRoomList&) = delete;

    // Rebuilds the list from a room list message payload; 0 (the list left
    // empty) when the payload is malformed.
    int update(const unsigned char* payload, int length);
    void setFilter(unsigned bits);
    void setSortingKey(int key);
    void setGroupMaskFilter(unsigned mask);

    // Listed rooms; every index below getCount().
    int getCount() const { return m_keyCount; }
    uint32_t getGameRoomId(int i) const;
    int getNumberOfPlayers(int i) const;
    int getMaxNumberOfPlayers(int i) const;
    // The description's bytes, followed by a zero (so it reads as text too).
    const unsigned char* getDescription(int i) const;
    int getDescriptionLength(int i) const;
    int isPasswordProtected(int i) const;
    uint32_t getGroupMask(int i) const;
    bool validIndex(int i) const { return i >= 0 && i < m_keyCount; }

private:
    struct Room {
        uint32_t id;
        int32_t players;
        int32_t maxPlayers;
        int32_t protectedFlag;
        uint32_t groupMask;
        int32_t descriptionLength;
        unsigned char description[kMaxDescription + 1]; // zero after the kept bytes
    };
    struct Key {
        int index;
        int32_t value;
    };
    void sort();
    const Room* room(int i) const;

    unsigned m_filter;
    int m_sortingKey;
    unsigned m_groupMask;
    Room* m_rooms;
    int m_roomCount;
    Key* m_keys;
    int m_keyCount;
};

} // namespace Internal
} // namespace VOrededidaza
