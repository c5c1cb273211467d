// Feeds hostile lobby server bytes to the online library: a scripted socket
// delivers the input (after an optional login acceptance) to a lobby session
// with a room and its streams, while the observer reads packets and data.
#include <cstdint>
#include <cstring>
#include <string>

#include "engine/net/online/lobbyinterfaceimp.h"
#include "engine/net/online/multiplayerinterfaceimp.h"

using namespace VOrededidaza;
using namespace VOrededidaza::Internal;

namespace {

class ScriptedSocket : public PSockStream {
public:
    ScriptedSocket(const std::string& data, int piece) : m_data(data), m_piece(piece) {}
    int IsOpen() const override { return m_open; }
    int Read(void* buffer, int count) override
    {
        if (!m_open)
            return PSOCK_EINVAL;
        if (m_pos >= m_data.size())
            return m_closeAtEnd ? 0 : PSOCK_EWOULDBLOCK;
        if (++m_reads % 4 == 0)
            return PSOCK_EWOULDBLOCK;
        size_t n = size_t(count) < size_t(m_piece) ? size_t(count) : size_t(m_piece);
        if (n > m_data.size() - m_pos)
            n = m_data.size() - m_pos;
        std::memcpy(buffer, m_data.data() + m_pos, n);
        m_pos += n;
        return int(n);
    }
    // Takes at most 5 bytes a call: frames go out in pieces.
    int Write(const void*, int count) override { return m_open ? (count > 5 ? 5 : count) : PSOCK_EINVAL; }
    int Close() override
    {
        m_open = 0;
        return 0;
    }
    int ShutDown(int) override { return 0; }
    int Open(unsigned, unsigned, unsigned) override
    {
        m_open = 1;
        return 0;
    }
    int Listen(int) override { return PSOCK_EINVAL; }
    int Bind(const PSockAddr&, int, int) override { return PSOCK_EINVAL; }
    int Connect(const PSockAddr&, int) override { return PSOCK_EINPROGRESS; }
    int Accept(PSocket&) override { return PSOCK_EINVAL; }
    int RemoteName(PSockAddr&) override { return PSOCK_EINVAL; }
    int LocalName(PSockAddr&) override { return PSOCK_EINVAL; }
    int Select(int mask, unsigned) override { return m_open ? mask & 3 : PSOCK_EINVAL; }
    PSockStream* Create() override { return nullptr; }
    int SetBlocking(int) override { return 0; }
    int LastError(int& err) override
    {
        err = 0;
        return 0;
    }
    int GetOpt(int, int, void*) override { return PSOCK_ENOOPT; }
    int SetOpt(int, int, void*) override { return PSOCK_ENOOPT; }
    int SendTo(const void*, int, int, PSockAddr&, int) override { return PSOCK_EINVAL; }
    int RecvFrom(void*, int, int, PSockAddr&, int&) override { return PSOCK_EINVAL; }
    bool m_closeAtEnd = false;

private:
    std::string m_data;
    size_t m_pos = 0;
    int m_piece;
    int m_open = 0;
    int m_reads = 0;
};

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
    ScriptedSocket* sock = new ScriptedSocket(input, 1 + (mode >> 2) * 17);
    sock->m_closeAtEnd = (mode & 2) != 0;
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
