// A test rig for the match session: an in-memory network that routes the
// game messages of 2 to 4 members with the local network's rules (the host
// is 0; a room hosted or joined gives event 2, a change of players event 13,
// a waiting message event 6, a cut link event 1) and can drop, delay or cut;
// a stand-in match game with kinematic airplanes; and a driver that steps a
// virtual millisecond clock in 25 ms frames.
#pragma once
#include <algorithm>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "game/frontend/profile.h"
#include "game/multiplayer/krvmpconn.h"
#include "game/world/gameplayobject.h"
#include "game/world/myairplane.h"

namespace rig {

class Hub;

class Member : public MPInterface {
public:
    struct Packet {
        int from;
        std::vector<uint8_t> data;
        uint32_t due;
    };

    explicit Member(Hub* h);
    ~Member() override;

    bool IsInitialized() override { return true; }
    int GetStatus() override { return inRoom ? 1 : 0; }
    int GetDeviceInfo(DeviceInfo& info) override
    {
        info.ip = 0x0A00000A + (uint32_t(serial) << 24);  // 10.0.0.(10 + serial)
        info.port = 1024;
        return 1;
    }
    int RequestGameRooms() override
    {
        listing = true;
        events.Reset();
        return 1;
    }
    void StopGameRoomRequest() override { listing = false; }
    int GetGameRoomCount() override;
    GameRoom* GetGameRoom(int index) override;
    int HostGameRoom(GameRoom& room) override;
    int JoinGameRoom(int index) override;
    void LeaveGameRoom() override;
    EventList::event PollMessages() override;
    int GetPayLoad(unsigned char* buffer, unsigned int capacity) override
    {
        ++payloads;
        lastLength = int(std::min<size_t>(capacity, current.size()));
        if (lastLength)
            memcpy(buffer, current.data(), size_t(lastLength));
        return currentFrom;
    }
    int GetPayLoadLength() override { return lastLength; }
    int HostClientID() override { return inRoom ? 0 : -1; }
    int SendToAll(unsigned char* data, int length, bool) override;
    int SendToAllConfirm(unsigned char* data, int length) override
    {
        int ok = SendToAll(data, length, false);
        events.Add(EventList::kConfirmedSend);
        return ok;
    }
    int SendToClient(int, unsigned char*, int) override { return 0; }
    int MyClientID() override { return id; }
    void SetUserInfo(const char* n) override { name = std::string(n ? n : "").substr(0, 31); }
    int NumPlayers() override;
    ClientInfo* GetPlayer(int index) override;
    int GetPlayerName(int, char*, int) override { return 0; }
    int ClientsReady() override { return 1; }
    int SendBusyStateReq(unsigned char) override { return 1; }
    int GetDisconnectStatus() override { return 0; }

    void Post(EventList::event e) { events.Add(e); }

    Hub* hub;
    int serial;
    int id = -1;
    std::string name;
    bool inRoom = false, listing = false;
    std::deque<int> script;  // events answered before anything else
    std::deque<Packet> inbox;
    std::vector<uint8_t> current;
    int currentFrom = -1, lastLength = 0;
    int polls = 0, payloads = 0, leaves = 0;
    ClientInfo infos[4] = {};
    // Set by a test: the next GetPlayer answers a name without terminator.
    bool rawNames = false;
    GameRoom listed{};
};

class Hub {
public:
    // The filter decides each delivery: -1 drops it, otherwise its delay.
    using Filter = std::function<int(int from, int to, const std::vector<uint8_t>& msg)>;

    static Hub*& Current()
    {
        static Hub* hub = nullptr;
        return hub;
    }
    static MPInterface* Create(Multiplayer::nettype) { return Current() ? new Member(Current()) : nullptr; }
    static int AddressAvailable() { return 1; }

    Hub()
    {
        Current() = this;
        Multiplayer::SetBackEnds({&Hub::Create, &Hub::AddressAvailable});
    }
    ~Hub()
    {
        for (Member* m : members)
            m->hub = nullptr;
        Current() = nullptr;
    }

    std::vector<Member*> Room() const
    {
        std::vector<Member*> r;
        r.reserve(members.size());
        for (Member* m : members)
            if (m->inRoom)
                r.push_back(m);
        std::sort(r.begin(), r.end(), [](Member* a, Member* b) { return a->id < b->id; });
        return r;
    }
    // The room's size and its index-th member by id, as Room() gives them,
    // without building the list: the session asks for them many times a
    // frame.
    size_t RoomSize() const
    {
        return size_t(std::count_if(members.begin(), members.end(), [](Member* m) { return m->inRoom; }));
    }
    Member* RoomMember(size_t index) const
    {
        for (Member* m : members) {
            if (!m->inRoom)
                continue;
            size_t before = 0;
            for (Member* o : members)
                before += o->inRoom && o->id < m->id ? 1 : 0;
            if (before == index)
                return m;
        }
        return nullptr;
    }
    Member* ById(int id) const
    {
        for (Member* m : members)
            if (m->inRoom && m->id == id)
                return m;
        return nullptr;
    }
    void PostToRoom(EventList::event e, const Member* except)
    {
        for (Member* m : Room())
            if (m != except)
                m->Post(e);
    }
    // The link of a member breaks: it sees event 1; when it hosted, the room
    // closes and every client sees event 1, else the others see event 13.
    void Cut(int memberId)
    {
        Member* m = ById(memberId);
        if (!m)
            return;
        m->inRoom = false;
        m->inbox.clear();
        m->Post(EventList::kNotConnected);
        if (memberId == 0) {
            open = false;
            for (Member* o : Room()) {
                o->inRoom = false;
                o->inbox.clear();
                o->Post(EventList::kNotConnected);
            }
        } else {
            PostToRoom(EventList::kPlayersChanged, m);
        }
    }

    uint32_t now = 0;
    std::vector<Member*> members;
    bool open = false;
    std::string roomName;
    int nextId = 1;
    int serials = 0;
    Filter filter;
    struct Sent {
        int from;
        std::vector<uint8_t> data;
        uint32_t at;
    };
    std::vector<Sent> log;
};

inline Member::Member(Hub* h) : hub(h), serial(h->serials++)
{
    h->members.push_back(this);
}

inline Member::~Member()
{
    if (!hub)
        return;
    if (inRoom)
        LeaveGameRoom();
    auto& v = hub->members;
    v.erase(std::remove(v.begin(), v.end(), this), v.end());
}

inline int Member::GetGameRoomCount()
{
    return listing && hub && hub->open ? 1 : 0;
}

inline MPInterface::GameRoom* Member::GetGameRoom(int index)
{
    if (index != 0 || !GetGameRoomCount())
        return nullptr;
    listed = GameRoom{};
    strncpy(listed.name, hub->roomName.c_str(), sizeof listed.name - 1);
    listed.players = int32_t(hub->RoomSize());
    listed.maxPlayers = 4;  // a local-network room holds the host and three clients
    return &listed;
}

inline int Member::HostGameRoom(GameRoom& room)
{
    if (!hub || hub->open)
        return 0;
    hub->open = true;
    hub->roomName = std::string(room.name, strnlen(room.name, sizeof room.name));
    hub->nextId = 1;
    id = 0;
    inRoom = true;
    events.Reset();
    Post(EventList::kConnected);
    return 1;
}

inline int Member::JoinGameRoom(int index)
{
    if (!hub || !hub->open || index != 0 || hub->RoomSize() >= 4)
        return 0;
    id = hub->nextId++;
    inRoom = true;
    listing = false;
    Post(EventList::kConnected);
    hub->PostToRoom(EventList::kPlayersChanged, this);
    return 1;
}

inline void Member::LeaveGameRoom()
{
    ++leaves;
    if (!hub || !inRoom)
        return;
    if (id == 0) {
        hub->Cut(0);
        events.Reset();
        return;
    }
    inRoom = false;
    inbox.clear();
    hub->PostToRoom(EventList::kPlayersChanged, this);
}

inline EventList::event Member::PollMessages()
{
    ++polls;
    if (!script.empty()) {
        int e = script.front();
        script.pop_front();
        return e;
    }
    if (EventList::event e = events.Get())
        return e;
    if (!inRoom && !listing)
        return EventList::kNotConnected;
    // The first message that is due, keeping each sender's order.
    std::set<int> waiting;
    for (auto it = inbox.begin(); it != inbox.end(); ++it) {
        if (waiting.count(it->from))
            continue;
        if (int32_t(hub->now - it->due) < 0) {
            waiting.insert(it->from);
            continue;
        }
        current = std::move(it->data);
        currentFrom = it->from;
        inbox.erase(it);
        return EventList::kGameMessage;
    }
    return EventList::kNone;
}

inline int Member::SendToAll(unsigned char* data, int length, bool)
{
    if (!hub || !inRoom || length <= 0)
        return 0;
    std::vector<uint8_t> msg(data, data + length);
    hub->log.push_back({id, msg, hub->now});
    for (Member* m : hub->Room()) {
        if (m == this)
            continue;
        int delay = hub->filter ? hub->filter(id, m->id, msg) : 0;
        if (delay >= 0)
            m->inbox.push_back({id, msg, hub->now + uint32_t(delay)});
    }
    return 1;
}

inline int Member::NumPlayers()
{
    return inRoom && hub ? int(hub->RoomSize()) : 0;
}

inline MPInterface::ClientInfo* Member::GetPlayer(int index)
{
    if (!inRoom || !hub || index < 0 || index >= NumPlayers() || index >= 4)
        return nullptr;
    Member* m = hub->RoomMember(size_t(index));
    if (!m)
        return nullptr;
    ClientInfo& c = infos[index];
    c = ClientInfo{};
    c.id = m->id;
    c.ready = 1;
    if (rawNames)
        memset(c.name, 'N', sizeof c.name);
    else
        strncpy(c.name, m->name.c_str(), sizeof c.name - 1);
    return &c;
}

// The match game: one airplane per player of the table, spawn points 0 to 3
// far apart inside the world, the shots and console lines it was given.
class FakeMatch : public MatchGame {
public:
    static PVector3 Spawn(int i) { return PVector3((i + 1) * 0x400000, 0x200000, -i * 0x200000); }

    int GetSpawnPointVec(int index, PVector3& position, PVector3& direction) override
    {
        if (index < 0 || index > 3)
            return 0;
        position = Spawn(index);
        direction = PVector3(0, index * 0x5A0000, 0);
        return 1;
    }
    void ReceiveShootFromClient(const unsigned char* msg, int length) override
    {
        shots.push_back(std::vector<uint8_t>(msg, msg + length));
    }
    const wchar_t* GetConsoleText(unsigned id) override
    {
        auto& t = texts[id];
        if (t.empty())
            t = L"[" + std::to_wstring(id) + L"]";
        return t.c_str();
    }
    void AddConsoleLine(const wchar_t* line) override { lines.push_back(line); }
    std::vector<MatchWeapon> MatchWeapons() override { return weapons; }
    int MissionRepairAmount() override { return kRepairAmount; }
    // The match mission's repair.
    static constexpr int kRepairAmount = 30;
    // The catalogue: the stand-in's gun, one hit of which takes a full
    // airplane down (its rig::Fire), a machine gun and a rocket, all
    // carried, and a bomb no aircraft of the match carries.
    static constexpr int kGun = 0, kMachineGun = 1, kRocket = 2, kBomb = 3;
    static constexpr int kWeaponDamage = 100;
    std::vector<MatchWeapon> weapons = {{MyWeapon::kShot, kWeaponDamage, 40, 1},
                                        {MyWeapon::kShot, 4, 28, 1},
                                        {MyWeapon::kRocket, 35, 50, 1},
                                        {MyWeapon::kBomb, 100, 200, 0}};

    // Links an airplane to every player of the table, places mine at the
    // spawn point of my table index and marks the match loaded.
    void Attach(KrvMpConn& s, uint32_t now)
    {
        s.game = this;
        for (int i = 0; i < s.playerCount; ++i) {
            auto gpo = std::make_unique<GPO>();
            auto air = std::make_unique<MyAirplane>(nullptr, nullptr);
            air->netId = s.players[i].id;
            air->health = 100;
            air->gpo = gpo.get();
            gpo->aircraft = air.get();
            s.players[i].gameObject = gpo.get();
            planes.push_back({std::move(gpo), std::move(air)});
        }
        s.MP_SetRespawnVectors();
        if (MyAirplane* me = Mine(s)) {
            int spawn = s.MP_GetPlayerIndex(s.MP_GetMyId());
            PVector3 p, d;
            GetSpawnPointVec(spawn, p, d);
            me->SetSpawnPoint(p, d);
            me->Respawn(100, now);
        }
        s.state = KrvMpConn::kMatchRunning;
    }
    static MyAirplane* Mine(KrvMpConn& s)
    {
        KrvMpConn::KrvPlayer* me = s.MP_GetMe();
        return me && me->gameObject ? me->gameObject->aircraft : nullptr;
    }
    // My airplane flies straight on while it is alive.
    void Fly(KrvMpConn& s)
    {
        if (MyAirplane* me = Mine(s); me && me->health > 0)
            me->position.x += 0x8000;
    }

    struct Plane {
        std::unique_ptr<GPO> gpo;
        std::unique_ptr<MyAirplane> air;
    };
    std::vector<Plane> planes;
    std::vector<std::vector<uint8_t>> shots;
    std::map<unsigned, std::wstring> texts;
    std::vector<std::wstring> lines;
};

struct Peer {
    KrvMpConn s;
    Profile profile;
    FakeMatch game;
    bool started = false;
    std::vector<int> errors;  // non-zero results of MP_Update
    Member* Net() { return s.mp ? static_cast<Member*>(s.mp->backEnd.get()) : nullptr; }
};

// A shot of the peer's game, of a weapon of FakeMatch's catalogue with its
// whole life, as the game writes it.
inline std::vector<uint8_t> ShotBytes(int shooter, int weapon = FakeMatch::kGun)
{
    static const FakeMatch catalogue;
    const MatchWeapon& w = catalogue.weapons[size_t(weapon)];
    ShotMessage m;
    m.shooter = shooter;
    m.weapon = uint8_t(weapon);
    m.life = w.life;
    std::vector<uint8_t> b(ShotMessage::kLengthHoming);
    b.resize(size_t(m.Encode(w.type, b.data(), int(b.size()))));
    return b;
}

inline void Fire(KrvMpConn& s, int weapon = FakeMatch::kGun)
{
    std::vector<uint8_t> shot = ShotBytes(s.MP_GetMyId(), weapon);
    s.GetGameLink()->SendToAll(shot.data(), int(shot.size()));
}

// The peer fires and its shot hits victim with the match's weapon, as its
// game reports such a hit.
inline void ShootDown(KrvMpConn& s, int victim)
{
    Fire(s);
    s.GetWeaponLink()->RequestDamage(victim, s.MP_GetMyId(), FakeMatch::kWeaponDamage);
}

// Drives n peers: peer 0 hosts a room, the others join it, and each frame
// every peer's session is updated on the shared virtual clock.
class Driver {
public:
    static constexpr uint32_t kFrame = 25;

    explicit Driver(int n, uint32_t start = 1000)
    {
        hub.now = start;
        peers.push_back(std::make_unique<Peer>());
        peers.back()->s.profile = &peers.back()->profile;
        Init(0);
        peers[0]->s.MP_RoomCreate_Begin("ROOM");
        Run(100);
        for (int i = 1; i < n; ++i)
            Join();
    }

    // A new player joins the room; its peer's index.
    size_t Join()
    {
        const size_t i = peers.size();
        peers.push_back(std::make_unique<Peer>());
        peers.back()->s.profile = &peers.back()->profile;
        Init(int(i));
        peers[i]->s.MP_RoomsList_Begin();
        Run(50);
        peers[i]->s.MP_RoomJoin_Begin(0);
        Run(100);
        return i;
    }

    void Init(int i)
    {
        KrvMpConn& s = peers[size_t(i)]->s;
        s.MP_SetType(Multiplayer::kNetLocal);
        std::string name = "PILOT" + std::to_string(i);
        s.MP_Init(name.data());
    }

    void Step(uint32_t frame = kFrame)
    {
        hub.now += frame;
        for (auto& p : peers) {
            if (int e = p->s.MP_Update(hub.now)) {
                p->errors.push_back(e);
                // A lost link ends the session, as the application does.
                if (e == KrvMpConn::kErrLinkLost) {
                    p->s.MP_Release();
                    p->started = false;
                }
                // Left out of the match: back in the room, as the
                // application goes.
                if (KrvMpConn::IsLeftOut(e)) {
                    p->s.MP_EndGame();
                    p->started = false;
                }
            }
            // The menus start the match once everyone plays; the game then
            // loads and attaches itself.
            if (p->s.state == KrvMpConn::kMatchStartRequested && p->s.MP_IsAllPlaying() && !p->started) {
                p->s.MP_StartGame();
                p->game.Attach(p->s, hub.now);
                p->started = true;
            }
            if (p->started && p->s.game)
                p->game.Fly(p->s);
            if (onFrame)
                onFrame(*p);
        }
    }
    void Run(uint32_t ms, uint32_t frame = kFrame)
    {
        for (uint32_t t = 0; t < ms; t += frame)
            Step(frame);
    }
    // Steps until pred holds or limit ms have passed; whether it held.
    bool RunUntil(const std::function<bool()>& pred, uint32_t limit)
    {
        for (uint32_t t = 0; t < limit; t += kFrame) {
            if (pred())
                return true;
            Step();
        }
        return pred();
    }
    bool AllRunning() const
    {
        for (auto& p : peers)
            if (p->s.state != KrvMpConn::kMatchRunning)
                return false;
        return true;
    }
    // The host starts the match; true once every peer runs it.
    bool StartMatch(int fragLimit = 0)
    {
        peers[0]->s.fragLimit = fragLimit;
        peers[0]->s.RequestStart();
        return RunUntil([&] { return AllRunning(); }, 2000);
    }
    // The host's tap on the game room's Start, which the session decides as
    // for the room screen: the start, or the start wait.
    void TapStart() { peers[0]->s.TapStart(); }
    // The host taps Start every 2 s until its match runs; whether it did
    // within limit ms.
    bool TapUntilStarted(uint32_t limit)
    {
        KrvMpConn& host = peers[0]->s;
        for (uint32_t t = 0; t < limit; t += 2000) {
            TapStart();
            if (RunUntil([&] { return peers[0]->started && host.state == KrvMpConn::kMatchRunning; }, 2000))
                return true;
        }
        return false;
    }
    // The player of peer i leaves the room and joins it again.
    void Rejoin(int i)
    {
        KrvMpConn& s = peers[size_t(i)]->s;
        s.MP_RoomLeave();
        peers[size_t(i)]->started = false;
        s.MP_RoomsList_Begin();
        Run(50);
        s.MP_RoomJoin_Begin(0);
        Run(100);
    }
    // Message types the host sent from log index first on.
    std::vector<int> HostTypes(size_t first = 0) const
    {
        std::vector<int> t;
        for (size_t i = first; i < hub.log.size(); ++i)
            if (hub.log[i].from == 0)
                t.push_back(hub.log[i].data[0]);
        return t;
    }

    Hub hub;
    std::vector<std::unique_ptr<Peer>> peers;
    std::function<void(Peer&)> onFrame;
};

}  // namespace rig
