// Feeds hostile lobby server bytes to the online library: a scripted socket
// delivers the input (after an optional login acceptance) to a lobby session
// with a room and its streams, while the observer reads packets and data.
#include <cstdint>
#include <string>

#include "engine/net/online/lobbyinterfaceimp.h"
#include "engine/net/online/multiplayerinterfaceimp.h"
#include "engine/runtime/pdebugpeer.h"
#include "tests/fuzz/scripted_socket.h"

using namespace VOrededidaza;
using namespace VOrededidaza::Internal;

namespace {

struct Reader : MultiplayerObserver {
    LobbyInterfaceImp* lobby = nullptr;
    void onNotify(Message m, Status) override
    {
        GameRoomInterface* room = lobby->getGameRoomInterface();
        if (m == MSG_PACKET_RECEIVED) {
            PacketStream* ps = room->getPacketStream();
            if (ps->getAvailablePackets() > 8) {
                unsigned sender = 0, length = 0;
                ps->readPacketInfo(sender, length);
                unsigned char buf[2048];
                ps->readPacket(buf, length);
            }
        }
        // Walk every accessor of what the message touched.
        for (int i = -1; i <= lobby->getGameRoomCount(); i++) {
            lobby->getGameRoomDescription(unsigned(i));
            lobby->getGameRoomDescriptionLength(unsigned(i));
            lobby->getGameRoomPlayerCount(unsigned(i));
        }
        for (int i = 0; i <= room->getGameRoomPlayerCount(); i++)
            room->getGameRoomPlayerName(unsigned(i));
        for (int i = 0; i <= lobby->getLobbyPlayerCount(); i++)
            lobby->getLobbyPlayerName(unsigned(i));
        room->getHostIndex();
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    // The log's limits on peers' lines start afresh: an input's outcome does
    // not depend on the inputs before it.
    PDebugPeerReset();
    uint8_t mode = data[0];
    std::string input;
    if (mode & 1) {
        // Accept the login first, so the rest meets a logged-in session.
        const unsigned char accept[] = {0, 0, 0, 9, 0, 0, 0, 6, 0, 0, 0, 42, 'S', 0};
        input.assign(reinterpret_cast<const char*>(accept), sizeof accept);
    }
    input.append(reinterpret_cast<const char*>(data + 1), size - 1);

    MultiplayerInterfaceImp root;
    LobbyInterfaceImp* lobby = new LobbyInterfaceImp(&root);
    Reader reader;
    reader.lobby = lobby;
    lobby->setObserver(&reader);
    lobby->getGameRoomInterface()->setObserver(&reader);
    ScriptedSocket* sock = new ScriptedSocket(input.data(), input.size(), 1 + (mode >> 2) * 17);
    sock->closeAtEnd = (mode & 2) != 0;
    sock->blockEvery = 4;
    sock->writeLimit = 5; // frames go out in pieces
    sock->connectResult = PSOCK_EINPROGRESS;
    lobby->getNetwork()->socket().SetImpl(sock);
    if (lobby->logIn(7, "127.0.0.1", 9, "fuzz")) {
        if (mode & 0x40)
            lobby->getGameRoomInterface()->getDataStream();
        lobby->getGameRoomInterface()->getPacketStream()->setObserver(&reader);
        for (int i = 0; i < 400; i++) {
            root.update();
            if (i == 50) {
                lobby->startGameRoomSubscription();
                const unsigned char d[3] = {1, 2, 3};
                lobby->createGameRoom(4, "pw", d, 3, 1);
                lobby->joinGameRoom(0, 1, nullptr);
                lobby->getGameRoomInterface()->getPacketStream()->sendPacketToAll(d, 3);
            }
        }
    }
    delete lobby;
    return 0;
}
