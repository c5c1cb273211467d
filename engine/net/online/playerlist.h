// PlayerList: the players of the lobby or of a room (id and name).
#pragma once
#include <cstdint>

namespace VOrededidaza {
namespace Internal {

class PlayerList {
public:
    static constexpr int kMaxName = 64;
    PlayerList();
    ~PlayerList();
    PlayerList(const PlayerList&) = delete;
    PlayerList& operator=(const PlayerList&) = delete;

    // Reads an id and a name from a message payload; an entry with that id
    // is replaced by the new one at the end. 0 when the payload is too short
    // or memory runs out.
    int addPlayer(const unsigned char* payload, int length);
    int addPlayer(uint32_t id, const char* name);
    void removePlayer(uint32_t id);
    // The entry's index, 0 when no entry has that id.
    int getPlayerIndex(uint32_t id) const;
    bool hasPlayer(uint32_t id) const;
    int getPlayerCount() const { return m_count; }
    // 0 / null for an index outside the list.
    uint32_t getPlayerId(int i) const;
    const char* getPlayerName(int i) const;
    void clear();

private:
    struct Player {
        uint32_t id;
        char name[kMaxName + 1];
    };
    Player* m_players;
    int m_count;
    int m_capacity;
};

} // namespace Internal
} // namespace VOrededidaza
