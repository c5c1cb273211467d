// The library's internal contracts: what the root polls and what receives the
// frames of a lobby connection.
#pragma once

namespace VOrededidaza {
namespace Internal {

class Updateable {
public:
    virtual ~Updateable() {}
    virtual void update() = 0;
};

// Takes the lobby and room messages of a connection.
class SystemDataReader {
public:
    virtual ~SystemDataReader() {}
    // 1 when a frame of that payload length can be taken now.
    virtual int readyToReceive(int length) = 0;
    // The whole frame, its 8-byte header included.
    virtual void systemDataReceived(const unsigned char* frame, int length) = 0;
};

// Takes the game data (frame type 0) of a connection.
class GameDataReader {
public:
    virtual ~GameDataReader() {}
    virtual int readyToReceive(int length) = 0;
    // The payload only.
    virtual void gameDataReceived(const unsigned char* payload, int length) = 0;
};

} // namespace Internal
} // namespace VOrededidaza
