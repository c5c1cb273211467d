#include "game/multiplayer/krvmpconn.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <new>

#include "engine/runtime/palloc.h"
#include "engine/runtime/pdebug.h"
#include "engine/runtime/pdebugpeer.h"
#include "engine/runtime/ptime.h"
#include "game/frontend/fonts.h"
#include "game/frontend/profile.h"
#include "game/world/gameplayobject.h"
#include "game/world/myairplane.h"

namespace {

constexpr int kFragLimitValues[KrvMpConn::kFragLimits] = {5, 10, 15, 20, 25, 30, 35, 40};
const wchar_t* const kFragLimitTexts[KrvMpConn::kFragLimits] = {L"5", L"10", L"15", L"20", L"25", L"30", L"35", L"40"};
// Left out of the match by its host: the start's answer came too late, or
// came while the player was in its settings past the start wait.
constexpr unsigned kTextLeftOut = 224;
constexpr unsigned kTextLeftOutBusy = 225;
// The host's start left every other player out: no match.
constexpr unsigned kTextNobodyElse = 226;
// Texts of the session error codes 1 to 10.
constexpr unsigned kErrorTexts[] = {0,   302, 220, 303, 223, 222, 379, 221, kTextLeftOut, kTextLeftOutBusy,
                                    kTextNobodyElse};
static_assert(std::size(kErrorTexts) == KrvMpConn::kErrNobodyElse + 1);
// Texts of the console lines.
constexpr unsigned kTextCrash = 245;
constexpr unsigned kTextKill = 246;
constexpr unsigned kTextWinner = 375;
constexpr unsigned kTextHostEnded = 378;
constexpr unsigned kTextSeveralWinners = 380;
constexpr const char* kNoNetworkAddress = "127.0.0.1:1024";

// Copies at most size - 1 bytes of a text that may lack its terminator and
// terminates the copy.
void CopyName(char* dst, const char* src, int size)
{
    size_t n = src ? strnlen(src, size_t(size - 1)) : 0;
    if (n)
        memcpy(dst, src, n);
    dst[n] = 0;
}

// A bounded wide line: appends UTF-8 or wide text, and keeps the
// terminator.
struct Line {
    wchar_t text[KrvMpConn::kConsoleLineSize + 1] = {};
    int length = 0;
    void Add(const char* s)
    {
        length += Fonts::Utf8ToWide(text + length, KrvMpConn::kConsoleLineSize + 1 - length, s);
    }
    void Add(const wchar_t* s)
    {
        for (; s && *s && length < KrvMpConn::kConsoleLineSize; ++s)
            text[length++] = *s;
        text[length] = 0;
    }
};

}  // namespace

KrvMpConn::KrvMpConn()
{
    ClearFlagsAndTimers();
    MP_JoinedServerInfo_Zero();
    ClearRoomSettings();
}

KrvMpConn::~KrvMpConn()
{
    MP_Release();
}

int KrvMpConn::TakeFlag(uint8_t& flag)
{
    int was = flag ? 1 : 0;
    flag = 0;
    return was;
}

void KrvMpConn::ClearFlagsAndTimers()
{
    playersListChanged = playersSettingsChanged = finalStandingsChanged = 0;
    netTimer = 0;
    rules.repairTimer = 0;
}

void KrvMpConn::ClearRoomSettings()
{
    map = season = fragLimit = 0;
    rules.winner = -1;
}

// ---------------------------------------------------------------- set-up

int KrvMpConn::MP_Init(char* name)
{
    if (netType == Multiplayer::kNetNone)
        return 0;
    ClearRoomSettings();
    ClearPlayersList();
    mp.reset();
    ClearFlagsAndTimers();
    CloseMatch();
    ForgetStart();
    mp.reset(new (std::nothrow) Multiplayer());
    if (!mp || !mp->Init(netType))
        return 0;
    mp->SetRelayFilter(&KrvMpConn::RelayFilter, this);
    SetUserName(name);
    return 1;
}

void KrvMpConn::SetUserName(char* name)
{
    if (!mp)
        return;
    char space[] = " ";
    mp->SetUserInfo(name ? name : space);
}

void KrvMpConn::MP_Release()
{
    mp.reset();
    netType = Multiplayer::kNetNone;
    state = kIdle;
    ClearFlagsAndTimers();
    MP_JoinedServerInfo_Zero();
    lobbyJoinPending = directJoinPending = 0;
    ownSettingsInitialised = 0;
    ClearRoomSettings();
    ClearPlayersList();
    CloseMatch();
    ForgetStart();
    rules.spawnIndex = 0;
    game = nullptr;
}

int KrvMpConn::MP_GetMyIP(char* out)
{
    if (!mp || !out)
        return 0;
    MPInterface::DeviceInfo info{};
    if (!mp->GetDeviceInfo(info))
        return std::snprintf(out, kNameSize, "%s", kNoNetworkAddress);
    return std::snprintf(out, kNameSize, "%u.%u.%u.%u:%u", info.ip & 0xFF, info.ip >> 8 & 0xFF, info.ip >> 16 & 0xFF,
                         info.ip >> 24, info.port);
}

int KrvMpConn::MP_IsNetworkAvail()
{
    char ip[kNameSize] = {};
    if (MP_GetMyIP(ip) == 0)
        return 1;
    return strncmp(ip, "127.0.0.1", 9) != 0 ? 1 : 0;
}

int KrvMpConn::MP_IsConnAvail()
{
    if (mp)
        return mp->isConnectionAvailable();
    Multiplayer probe;
    probe.Init(Multiplayer::kNetLocal);
    return probe.isConnectionAvailable();
}

// ---------------------------------------------------------------- lobby servers

// Choosing one lobby filter clears the others.
void KrvMpConn::SetLobbyFilters(const char* name, unsigned char nearMe, VOrededidaza::ServerFilter::SortingKey sort)
{
    if (!mp)
        return;
    mp->SetLobbysFilter_Name(name);
    mp->SetLobbysFilter_Nearest(nearMe);
    mp->SetLobbysFilter_Sort(sort);
}

void KrvMpConn::MP_Filter_All()
{
    SetLobbyFilters(nullptr, 0, VOrededidaza::ServerFilter::SORT_NONE);
}

void KrvMpConn::MP_Filter_PlayerCount()
{
    SetLobbyFilters(nullptr, 0, VOrededidaza::ServerFilter::SORT_PLAYER_COUNT);
}

void KrvMpConn::MP_Filter_Nearest(unsigned char nearMe)
{
    SetLobbyFilters(nullptr, nearMe, VOrededidaza::ServerFilter::SORT_NONE);
}

void KrvMpConn::MP_Filter_Name(const char* name)
{
    SetLobbyFilters(name, 0, VOrededidaza::ServerFilter::SORT_NONE);
}

int KrvMpConn::MP_GetLobbys_Begin()
{
    if (!mp)
        return 0;
    int ok = mp->RequestLobbys(kLobbyQueryCount);
    state = ok ? kLobbyListRequested : kLobbyListFailed;
    return ok;
}

void KrvMpConn::FreeTexts(char** texts, int count)
{
    if (!texts)
        return;
    for (int i = 0; i < count; ++i)
        PFree(texts[i]);
    PFree(texts);
}

int KrvMpConn::ListTexts(char**& texts, int& count, bool lobbies)
{
    texts = nullptr;
    count = std::max(0, lobbies ? mp->GetLobbyCount() : mp->GetGameRoomCount());
    if (count == 0)
        return 1;
    texts = static_cast<char**>(PAllocZ(int(sizeof(char*)) * count));
    if (!texts) {
        count = 0;
        return 1;
    }
    for (int i = 0; i < count; ++i) {
        char line[96];
        if (lobbies) {
            MPInterface::LobbyInfo* l = mp->GetLobby(i);
            if (!l)
                continue;
            char name[kNameSize];
            CopyName(name, l->name, kNameSize);
            std::snprintf(line, sizeof line, "%s (%d)", name, int(l->playersInGame));
        } else {
            MPInterface::GameRoom* r = mp->GetGameRoom(i);
            if (!r)
                continue;
            char name[kNameSize];
            CopyName(name, r->name, kNameSize);
            std::snprintf(line, sizeof line, "%s (%d/%d)", name, int(r->players), int(r->maxPlayers));
        }
        texts[i] = Fonts::StrDup(line);
    }
    return 1;
}

int KrvMpConn::MP_GetLobbys_Update(char**& texts, int& count)
{
    if (state != kLobbyListReady || !mp)
        return 0;
    ListTexts(texts, count, true);
    state = kIdle;
    return 1;
}

void KrvMpConn::MP_GetLobbys_Abort()
{
    if (mp)
        mp->StopLobbyRequest();
    state = kIdle;
}

int KrvMpConn::MP_LobbyJoin_Begin(int index, const char* address, int port)
{
    if (address != serverIp)
        MP_JoinedServerInfo_Zero();
    ClearPlayersList();
    if (!mp)
        return 0;
    int ok;
    if (address) {
        MP_JoinedServerAddr_Set(address, port);
        ok = mp->ConnectToLobby(address, port);
    } else {
        ok = mp->ConnectToLobby(index);
    }
    if (ok) {
        lobbyIndex = index;
        state = kLobbyLoginRequested;
    } else {
        state = kLobbyLoginFailed;
    }
    return ok;
}

void KrvMpConn::MP_LobbyLeave()
{
    if (mp)
        mp->LeaveLobby();
    state = kIdle;
}

void KrvMpConn::MP_JoinedServerInfo_Zero()
{
    serverAddress[0] = serverIp[0] = directIp[0] = serverName[0] = 0;
    serverPort = directPort = 0;
    lobbyIndex = -1;
}

void KrvMpConn::MP_JoinedServerName_Set()
{
    serverName[0] = 0;
    if (!mp)
        return;
    char name[sizeof serverName] = {};
    mp->GetJoinedLobbyName(name, int(sizeof name));
    CopyName(serverName, name, int(sizeof serverName));
}

void KrvMpConn::MP_JoinedServerAddr_Set(const char* address, int port)
{
    char text[kNameSize] = {};
    int p = port;
    if (lobbyIndex == -1) {
        CopyName(text, address, kNameSize);
    } else if (MPInterface::LobbyInfo* l = mp ? mp->GetLobby(lobbyIndex) : nullptr) {
        CopyName(text, l->address, int(sizeof l->address));
        p = l->port;
    }
    if (!text[0])
        return;
    char full[kNameSize * 2];
    std::snprintf(full, sizeof full, "%s:%d", text, p);
    CopyName(serverAddress, full, kNameSize);
    CopyName(serverIp, text, kNameSize);
    serverPort = port;
}

// ---------------------------------------------------------------- rooms

int KrvMpConn::MP_RoomsList_Begin()
{
    if (!mp)
        return 0;
    int ok = mp->RequestGameRooms();
    state = ok ? kListingRooms : kIdle;
    return ok;
}

int KrvMpConn::MP_RoomsList_Update(char**& texts, int& count)
{
    if (state != kListingRooms || !mp)
        return 0;
    return ListTexts(texts, count, false);
}

void KrvMpConn::MP_RoomsList_Abort()
{
    if (mp)
        mp->StopGameRoomRequest();
    state = kIdle;
}

int KrvMpConn::MP_RoomCreate_Begin(const char* name)
{
    ClearRoomSettings();
    ForgetStart();
    ownSettingsInitialised = 0;
    if (!mp)
        return 0;
    MPInterface::GameRoom room{};
    CopyName(room.name, name, kNameSize);
    room.players = 0;
    room.maxPlayers = kMaxPlayers;
    int ok = mp->CreateGameRoom(room);
    state = ok ? kRoomCreateRequested : kRoomCreateFailed;
    return ok;
}

int KrvMpConn::MP_RoomJoin_Begin(int index)
{
    ownSettingsInitialised = 0;
    if (!mp)
        return 0;
    int ok = mp->JoinGameRoom(index);
    state = ok ? kRoomJoinRequested : kRoomJoinFailed;
    return ok;
}

int KrvMpConn::MP_DirectRoomJoin_Begin(const char* address, int port)
{
    ownSettingsInitialised = 0;
    if (!mp)
        return 0;
    int ok = mp->JoinGameRoom(address, port);
    state = ok ? kRoomJoinRequested : kRoomJoinFailed;
    return ok;
}

void KrvMpConn::MP_RoomLeave()
{
    if (mp)
        mp->LeaveGameRoom();
    ClearPlayersList();
    CloseMatch();
    ForgetStart();  // nothing of the room left is told later
    state = kIdle;
}

// ---------------------------------------------------------------- player table

int KrvMpConn::MP_GetPlayerIndex(int id) const
{
    for (int i = 0; i < playerCount; ++i)
        if (players[i].id == id)
            return i;
    return -1;
}

KrvMpConn::KrvPlayer* KrvMpConn::MP_GetPlayer(int id)
{
    int i = MP_GetPlayerIndex(id);
    return i < 0 ? nullptr : &players[i];
}

const char* KrvMpConn::MP_GetPlayerName(int id)
{
    KrvPlayer* p = MP_GetPlayer(id);
    return p ? p->name : nullptr;
}

int KrvMpConn::GetPlayerKills(int id)
{
    KrvPlayer* p = MP_GetPlayer(id);
    return p ? p->kills : 0;
}

int KrvMpConn::MP_GetMyId()
{
    return mp ? mp->GetMyID() : -1;
}

int KrvMpConn::MP_IsMeHost()
{
    return mp ? int(mp->isHost & 0xFF) : 0;
}

int KrvMpConn::MP_IsMeBusy()
{
    KrvPlayer* me = MP_GetMe();
    return me ? int(me->busy & 0xFF) : 0;
}

bool KrvMpConn::Delays(const KrvPlayer& p) const
{
    if (!p.busy && !p.inMatch)
        return false;
    return startWaitTime < kStartWaitLimit || !mp || p.id == mp->GetMyID();
}

int KrvMpConn::MP_IsAllReady() const
{
    if (playerCount == 0)
        return 0;
    for (int i = 0; i < playerCount; ++i)
        if (Delays(players[i]))
            return 0;
    return 1;
}

int KrvMpConn::MP_IsAllPlaying() const
{
    for (int i = 0; i < playerCount; ++i)
        if (players[i].matchState == uint8_t(MatchState::Waiting))
            return 0;
    return 1;
}

void KrvMpConn::AddPlayerToList(const KrvPlayer* p)
{
    if (p && playerCount < kMaxPlayers)
        players[playerCount++] = *p;
}

void KrvMpConn::ClearPlayersList()
{
    for (auto& p : players)
        p = KrvPlayer{};
    playerCount = 0;
}

void KrvMpConn::MP_PlayersList_Update()
{
    KrvPlayer old[kMaxPlayers];
    int oldCount = playerCount;
    std::copy(players, players + kMaxPlayers, old);
    int n = mp ? mp->GetPlayerCount() : 0;
    const int myId = MP_GetMyId();
    bool ownIsNew = false;
    ClearPlayersList();
    for (int i = 0; i < n && playerCount < kMaxPlayers; ++i) {
        MPInterface::ClientInfo* rec = mp->GetPlayer(i);
        if (!rec)
            continue;
        char name[kNameSize];
        CopyName(name, rec->name, kNameSize);
        const KrvPlayer* kept = nullptr;
        for (int j = 0; j < oldCount && !kept; ++j)
            if (old[j].id == rec->id && strcmp(old[j].name, name) == 0)
                kept = &old[j];
        if (kept) {
            AddPlayerToList(kept);
            continue;
        }
        KrvPlayer p{};
        p.id = rec->id;
        memcpy(p.name, name, sizeof name);
        p.ready = rec->ready;
        rec->busy = 0;
        // Back in the room, a player that left the running match stays out
        // of it.
        if (matchOpen && HasLeft(p.id, p.name)) {
            p.matchState = uint8_t(MatchState::Left);
            p.kills = -1;
        }
        AddPlayerToList(&p);
        ownIsNew = ownIsNew || p.id == myId;
    }
    // A player of the running match that dropped out of the room left it.
    for (int j = 0; matchOpen && j < oldCount; ++j) {
        bool stays = false;
        for (int i = 0; i < playerCount && !stays; ++i)
            stays = players[i].id == old[j].id && strcmp(players[i].name, old[j].name) == 0;
        if (!stays && old[j].matchState != uint8_t(MatchState::Waiting))
            MarkLeft(old[j]);
    }
    // My entry takes my plane and rank from the profile whenever it appears
    // anew: a local-network client's first table holds a stand-in record for
    // itself until the host's list names it under the id it was given.
    if (n > 0 && (!ownSettingsInitialised || ownIsNew) && MP_GetMe()) {
        SetMyRankFromProfile();
        SetMyPlaneFromProfile();
        ownSettingsInitialised = 1;
    }
    // The same players under the same names again (the back end repeats its
    // list) leave the room's list as it is.
    bool same = playerCount == oldCount && !ownIsNew;
    for (int i = 0; same && i < playerCount; ++i)
        same = players[i].id == old[i].id && strcmp(players[i].name, old[i].name) == 0;
    if (!same)
        playersListChanged = 1;
}

void KrvMpConn::SetMyPlaneFromProfile()
{
    KrvPlayer* me = MP_GetMe();
    if (profile && me)
        me->plane = profile->GetCurrentPlane();
}

void KrvMpConn::SetMyRankFromProfile()
{
    KrvPlayer* me = MP_GetMe();
    if (profile && me)
        me->rank = profile->GetRank(Profile::kMultiplayer);
}

// ---------------------------------------------------------------- senders

void KrvMpConn::Send(const GameMessage& m)
{
    if (!mp)
        return;
    uint8_t out[kMessageBufferSize];
    int length = m.Encode(out, int(sizeof out));
    if (length > 0)
        mp->SendToAll(out, length, false);
}

void KrvMpConn::NotifyRoomInfo()
{
    GameMessage m;
    m.type = MsgType::RoomInfo;
    m.map = map;
    m.season = season;
    m.fragLimit = fragLimit;
    Send(m);
}

void KrvMpConn::RequestRoomInfoAndPlayersSettings()
{
    GameMessage m;
    m.type = MsgType::SettingsRequest;
    Send(m);
}

void KrvMpConn::NotifyMySettings()
{
    SetMyRankFromProfile();
    KrvPlayer* me = MP_GetMe();
    if (!mp || !me)
        return;
    GameMessage m;
    m.type = MsgType::PlayerSettings;
    m.plane = me->plane;
    m.rank = me->rank;
    m.inMatch = me->inMatch;
    Send(m);
}

void KrvMpConn::RequestStart()
{
    if (!mp)
        return;
    // A start under way is not begun again: the answers given stay.
    if (state == kMatchStartRequested && matchOpen)
        return;
    KrvPlayer* me = MP_GetMe();
    const bool host = MP_IsMeHost() != 0;
    // A guest that claims past the start wait delays it no further: the
    // match goes on without it. A start without anyone else to play is no
    // match.
    int others = 0, staying = 0;
    for (int i = 0; i < playerCount; ++i)
        if (&players[i] != me) {
            ++others;
            staying += !PastStartWait(players[i]);
        }
    if (host && others > 0 && staying == 0) {
        _PDebug("Match start: every other player is busy or in a match past the start wait (%u ms); no match\n",
                kStartWaitLimit);
        pendingResult = kErrNobodyElse;
        EndStartWait();
        return;
    }
    GameMessage m;
    m.type = MsgType::MatchStart;
    m.map = map;
    m.season = season;
    m.fragLimit = fragLimit;
    m.plane = me ? me->plane : 0;
    OpenMatch();
    Send(m);
    if (me)
        me->matchState = uint8_t(MatchState::Playing);
    state = kMatchStartRequested;
    if (!host)
        return;
    char why[96];
    std::snprintf(why, sizeof why, "was busy or in a match past the start wait (%u ms)", kStartWaitLimit);
    for (int i = 0; i < playerCount; ++i)
        if (&players[i] != me && PastStartWait(players[i]))
            LeaveOut(players[i], why);
}

void KrvMpConn::TapStart()
{
    // Alone in its room the host neither starts nor waits.
    if (!MP_IsMeHost() || playerCount <= 1)
        return;
    if (MP_IsAllReady())
        RequestStart();
    else
        BeginStartWait();
}

void KrvMpConn::FinishStartWait()
{
    if (startWaitOn && playerCount > 1 && MP_IsMeHost() && MP_IsAllReady())
        RequestStart();
}

void KrvMpConn::BeginStartWait()
{
    if (startWaitOn)
        return;
    _PDebug("Match start: the start wait begins, %u ms at most\n", kStartWaitLimit);
    startWaitOn = 1;
    startWaitTime = 0;
}

void KrvMpConn::ReplyStart(const GameMessage& m, int sender)
{
    KrvPlayer* me = MP_GetMe();
    if (!me)
        return;
    if (me->matchState == uint8_t(MatchState::Waiting)) {
        OpenMatch();
        GameMessage r;
        r.type = MsgType::StartReply;
        r.plane = me->plane;
        Send(r);
        me->matchState = uint8_t(MatchState::Playing);
        state = kMatchStartRequested;
    }
    if (KrvPlayer* host = MP_GetPlayer(sender)) {
        host->matchState = uint8_t(MatchState::Playing);
        host->plane = ClampPlane(m.plane, sender);
    }
}

void KrvMpConn::NotifyRespawnPlayer(int id, int health, PVector3 position, PVector3 direction)
{
    GameMessage m;
    m.type = MsgType::Respawn;
    m.id = id;
    m.health = health;
    m.position = position;
    m.direction = direction;
    Send(m);
}

void KrvMpConn::NotifyDamages()
{
    GameMessage m;
    m.type = MsgType::HealthList;
    m.count = playerCount;
    for (int i = 0; i < playerCount; ++i) {
        MyAirplane* a = players[i].gameObject ? players[i].gameObject->aircraft : nullptr;
        m.entries[i] = {players[i].id, a ? std::clamp(int(a->health), 0, GameMessage::kMaxHealth) : GameMessage::kMaxHealth};
    }
    Send(m);
}

void KrvMpConn::NotifyMyData()
{
    KrvPlayer* me = MP_GetMe();
    if (!me || !me->gameObject || !me->gameObject->aircraft)
        return;
    MyAirplane* a = me->gameObject->aircraft;
    if (a->health <= 0)
        return;
    GameMessage m;
    m.type = MsgType::Position;
    m.position = a->position;
    m.direction = a->angles;
    m.flightState = a->state;
    m.throttle = std::clamp(int(a->throttle), 0, GameMessage::kMaxThrottle);
    Send(m);
    me->gameObject->position = a->position;
}

void KrvMpConn::NotifyKills()
{
    if (!MP_IsMeHost())
        return;
    GameMessage m;
    m.type = MsgType::KillsList;
    m.count = playerCount;
    for (int i = 0; i < playerCount; ++i)
        m.entries[i] = {players[i].id, players[i].kills};
    Send(m);
}

void KrvMpConn::NotifyConsoleMsg(CONSOLE_MSG kind, int first, int second)
{
    if (!MP_IsMeHost())
        return;
    GameMessage m;
    m.type = MsgType::ConsoleLine;
    m.kind = int(kind);
    m.first = first;
    m.second = second;
    Send(m);
    Handle_NotifyConsoleMsg(kind, first, second);
}

void KrvMpConn::NotifyWinner(int id)
{
    GameMessage m;
    m.type = MsgType::Winner;
    m.id = id;
    Send(m);
}

void KrvMpConn::RequestBusyState(unsigned char busy)
{
    if (!mp)
        return;
    if (MP_IsMeHost()) {
        KrvPlayer* me = MP_GetMe();
        if (!me)
            return;
        me->busy = busy ? 1 : 0;
        playersSettingsChanged = 1;
        NotifyBusyStates();
        return;
    }
    GameMessage m;
    m.type = MsgType::BusyRequest;
    m.busy = busy ? 1 : 0;
    Send(m);
}

void KrvMpConn::NotifyBusyStates()
{
    GameMessage m;
    m.type = MsgType::BusyList;
    m.count = playerCount;
    for (int i = 0; i < playerCount; ++i)
        m.entries[i] = {players[i].id, players[i].busy ? 1 : 0};
    Send(m);
}

// ---------------------------------------------------------------- match

void KrvMpConn::MP_StartGame()
{
    ClearFlagsAndTimers();
    // The match the start wait was for: the next start waits anew.
    EndStartWait();
    // A player already out of this match (left, or left out of its start)
    // stays so in the standings.
    for (int i = 0; i < playerCount; ++i)
        players[i].kills = players[i].matchState == uint8_t(MatchState::Left) ? -1 : 0;
    rules.spawnIndex = 0;
    rules.winner = -1;
    if (profile)
        profile->SetSessionKills(0);
    if (KrvPlayer* me = MP_GetMe())
        me->inMatch = 1;
    std::copy(players, players + kMaxPlayers, standings);
    standingsCount = playerCount;
    standingsFrozen = 0;
}

void KrvMpConn::MP_EndGame()
{
    // Left before a winner was known: the standings stop here.
    StandingsFollow();
    standingsFrozen = 1;
    CloseMatch();
    game = nullptr;
    ClearFlagsAndTimers();
    for (int i = 0; i < playerCount; ++i) {
        players[i].gameObject = nullptr;
        players[i].matchState = uint8_t(MatchState::Waiting);
    }
    finalStandingsChanged = playersListChanged = 1;
    if (KrvPlayer* me = MP_GetMe())
        me->inMatch = 0;
}

void KrvMpConn::MP_SetRespawnVectors()
{
    if (!game)
        return;
    for (int i = 0; i < MatchRules::kSpawnPoints; ++i)
        game->GetSpawnPointVec(i, rules.spawnPositions[i], rules.spawnDirections[i]);
}

void KrvMpConn::StandingsFollow()
{
    if (standingsFrozen || standingsCount == 0)
        return;
    // Everyone still in the table stands as the table says; a player who
    // dropped out of the room during the match left it, and a row that
    // left stays so, whoever comes back under its id and name.
    for (int i = 0; i < standingsCount; ++i) {
        KrvPlayer& row = standings[i];
        if (row.matchState == uint8_t(MatchState::Left))
            continue;
        if (const KrvPlayer* p = MP_GetPlayer(row.id); p && strcmp(p->name, row.name) == 0) {
            row = *p;
        } else if (row.matchState != uint8_t(MatchState::Left)) {
            row.matchState = uint8_t(MatchState::Left);
            row.kills = -1;
        }
        row.gameObject = nullptr;
    }
    if (rules.winner != -1)
        standingsFrozen = 1;
}

int KrvMpConn::MP_GetFinalStandings(const KrvPlayer*& rows) const
{
    if (standingsCount == 0) {
        rows = players;
        return playerCount;
    }
    rows = standings;
    return standingsCount;
}

void KrvMpConn::OpenMatch()
{
    // Every match starts with everyone in the room waiting for its answer:
    // nobody has left it or fired in it yet, whatever came before.
    goneCount = 0;
    matchOpen = 1;
    startAt = now;
    for (int i = 0; i < playerCount; ++i) {
        players[i].matchState = uint8_t(MatchState::Waiting);
        players[i].repairClock = 0;
    }
    rules.ResetMatch();
    constantsTaken = 0;
}

void KrvMpConn::CloseMatch()
{
    goneCount = 0;
    matchOpen = 0;
}

bool KrvMpConn::HasLeft(int id, const char* name) const
{
    for (int i = 0; i < goneCount; ++i)
        if (gone[i].id == id && strcmp(gone[i].name, name) == 0)
            return true;
    return false;
}

void KrvMpConn::MarkLeft(const KrvPlayer& p)
{
    if (HasLeft(p.id, p.name))
        return;
    // Full (players coming and going many times in one match): the one
    // that left first makes room.
    if (goneCount == kMaxGone) {
        std::copy(gone + 1, gone + kMaxGone, gone);
        --goneCount;
    }
    gone[goneCount].id = p.id;
    CopyName(gone[goneCount].name, p.name, kNameSize);
    ++goneCount;
}

bool KrvMpConn::StartReplyCounts(int sender) const
{
    const int i = MP_GetPlayerIndex(sender);
    return state == kMatchStartRequested && matchOpen && i >= 0 &&
           players[i].matchState == uint8_t(MatchState::Waiting) && !HasLeft(sender, players[i].name);
}

void KrvMpConn::StartDeadline()
{
    if (state != kMatchStartRequested || !matchOpen || PTickSince(now, startAt) < int32_t(kStartReplyLimit))
        return;
    char why[96];
    std::snprintf(why, sizeof why, "did not answer the match start within %u ms", kStartReplyLimit);
    for (int i = 0; i < playerCount; ++i)
        if (players[i].matchState == uint8_t(MatchState::Waiting))
            LeaveOut(players[i], why);
}

void KrvMpConn::LeaveOut(KrvPlayer& p, const char* why)
{
    _PDebugPeer(uint32_t(p.id), "Player %d %s: left out of this match\n", int(p.id), why);
    MarkLeft(p);
    p.matchState = uint8_t(MatchState::Left);
    p.kills = -1;
    finalStandingsChanged = 1;
    // Everyone hears it from the host, the player left out too, which would
    // otherwise fly on believing it plays.
    if (MP_IsMeHost()) {
        GameMessage m;
        m.type = MsgType::PlayerLeft;
        m.id = p.id;
        Send(m);
    }
}

void KrvMpConn::CountStartWait()
{
    const int32_t since = startWaitClockSet ? PTickSince(now, startWaitClock) : 0;
    const uint32_t step = uint32_t(std::clamp<int32_t>(since, 0, int32_t(kStartWaitLimit)));
    startWaitClock = now;
    startWaitClockSet = 1;
    if (!startWaitOn || !MP_IsMeHost())
        return;
    // Alone in the room the host waits for nobody: a guest who joins later
    // is not taken into a match by a Start tapped before it came.
    if (playerCount <= 1) {
        EndStartWait();
        return;
    }
    // The start wait counts while the host wants to start and could: in its
    // room, neither in its own settings nor in a match of its own, and only
    // while a claim delays the start. Who claims, under which name or
    // record, is no matter: no guest can set the count back.
    const KrvPlayer* me = MP_GetMe();
    const bool inRoom = state == kInRoomAsHost || (state == kMatchRunning && !game);
    if (!inRoom || !me || me->busy || me->inMatch)
        return;
    for (int i = 0; i < playerCount; ++i)
        if (&players[i] != me && (players[i].busy || players[i].inMatch)) {
            startWaitTime = std::min(startWaitTime + step, kStartWaitLimit);
            return;
        }
}

void KrvMpConn::EndStartWait()
{
    startWaitOn = 0;
    startWaitTime = 0;
}

void KrvMpConn::ForgetStart()
{
    EndStartWait();
    pendingResult = leftOutResult = kErrNone;
}

bool KrvMpConn::StartLeavesNobody()
{
    const KrvPlayer* me = MP_GetMe();
    // Once the host's match is under way (its MP_StartGame), the match
    // rules decide what a player's leaving does.
    if (state != kMatchStartRequested || !matchOpen || !MP_IsMeHost() || !me || me->inMatch)
        return false;
    for (int i = 0; i < playerCount; ++i)
        if (&players[i] != me && players[i].matchState != uint8_t(MatchState::Left))
            return false;
    return true;
}

void KrvMpConn::CallOffStart()
{
    _PDebug("Match start: no other player is in it; no match, back in the room\n");
    // The others keep their marks as left out of it; the next start begins
    // with everyone waiting for its answer.
    CloseMatch();
    EndStartWait();
    if (KrvPlayer* me = MP_GetMe())
        me->matchState = uint8_t(MatchState::Waiting);
    playersListChanged = 1;
    state = kInRoomAsHost;
    pendingResult = kErrNobodyElse;
}

bool KrvMpConn::SettingsRequestCounts(int sender) const
{
    const int i = MP_GetPlayerIndex(sender);
    return i >= 0 &&
           (players[i].settingsClock == 0 || PTickSince(now, players[i].settingsClock) >= kRoomSendInterval);
}

void KrvMpConn::SettingsRequestAnswered(int sender)
{
    KrvPlayer* p = MP_GetPlayer(sender);
    if (!p)
        return;
    const uint32_t earliest = now - uint32_t(kSettingsRequestBurst * kRoomSendInterval);
    if (p->settingsClock == 0 || PTickSince(p->settingsClock, earliest) < 0)
        p->settingsClock = earliest;
    p->settingsClock += kRoomSendInterval;
}

bool KrvMpConn::HostTakesDamage(const GameMessage& m, int sender)
{
    RulesIn();
    const char* why = nullptr;
    switch (rules.TakeDamage(m.target, m.attacker, m.damage)) {
    case DamageRefusal::None:
        return true;
    case DamageRefusal::NotInMatch:
        why = "a player not in the match";
        break;
    case DamageRefusal::SelfCredit:
        why = "an attacker that is its own target";
        break;
    case DamageRefusal::NoShot:
        why = "an attacker with no shot of its own in flight";
        break;
    case DamageRefusal::TooMuch:
        why = "more than a hit of the weapon of any shot the attacker has in flight";
        break;
    }
    _PDebugPeer(uint32_t(sender), "Damage %d from %d to %d reported by %d: dropped, it names %s\n", m.damage,
                int(m.attacker), int(m.target), sender, why);
    return false;
}

bool KrvMpConn::HostTakesRepair(const GameMessage& m, int sender)
{
    RulesIn();
    switch (rules.CheckRepair(sender, m.amount, now)) {
    case RepairRefusal::None:
        return true;
    case RepairRefusal::NotInMatch:
        _PDebugPeer(uint32_t(sender), "Repair request from %d, who is not in the match: dropped\n", sender);
        break;
    case RepairRefusal::TooMuch:
        _PDebugPeer(uint32_t(sender), "Repair of %d from %d, more than the mission's %d: dropped\n", m.amount, sender,
                    rules.repairAmount);
        break;
    case RepairRefusal::TooOften:
        _PDebugPeer(uint32_t(sender), "Repair request from %d, more often than one in %d ms: dropped\n", sender,
                    MatchRules::kRepairInterval);
        break;
    }
    return false;
}

int KrvMpConn::ClampPlane(int plane, int sender) const
{
    const int last = planeCount > 0 ? planeCount - 1 : GameMessage::kMaxPlane;
    const int taken = std::clamp(plane, 0, last);
    if (taken != plane)
        _PDebugPeer(uint32_t(sender), "Aircraft %d from %d is not in the catalogue of %d: %d taken\n", plane, sender,
                    last + 1, taken);
    return taken;
}

bool KrvMpConn::RelayFilter(void* context, int sender, uint8_t* payload, int length)
{
    auto* self = static_cast<KrvMpConn*>(context);
    if (!self)
        return true;
    // What a guest may not send (malformed, only the host's to say, or in
    // another player's name) reaches nobody: the one line about it is
    // written here, as the host's own reading would have written it.
    GameMessage m;
    if (!payload || !GameMessage::Decode(payload, length, m, sender))
        return false;
    const Verdict verdict = self->MaySend(m, sender);
    if (!verdict)
        return false;
    // The session handles it next (MPInterface::RelayFilter), judged.
    self->vetted = {sender, uint8_t(m.type), verdict.shot};
    // The other guests get the aircraft the host took, not the number sent.
    if (m.type == MsgType::PlayerSettings || m.type == MsgType::StartReply)
        payload[1] = uint8_t(self->ClampPlane(payload[1], sender));
    return true;
}

int KrvMpConn::GetFragLimit() const
{
    return fragLimit >= 0 && fragLimit < kFragLimits ? kFragLimitValues[fragLimit] : 0;
}

const wchar_t* KrvMpConn::GetFragLimitWchar() const
{
    return fragLimit >= 0 && fragLimit < kFragLimits ? kFragLimitTexts[fragLimit] : nullptr;
}

const wchar_t* const* KrvMpConn::GetFragLimitWcharArray()
{
    return kFragLimitTexts;
}

const wchar_t* KrvMpConn::ErrorCodeToMsg(Fonts* fonts, int code)
{
    if (!fonts || code < 1 || code > kErrNobodyElse)
        return nullptr;
    return fonts->GetStr(kErrorTexts[code]);
}

MyAirplane* KrvMpConn::AirplaneOf(int id)
{
    KrvPlayer* p = MP_GetPlayer(id);
    return p && p->gameObject ? p->gameObject->aircraft : nullptr;
}

void KrvMpConn::RulesIn()
{
    rules.players.clear();
    for (int i = 0; i < playerCount; ++i) {
        const KrvPlayer& p = players[i];
        rules.players.push_back({p.id, MatchState(p.matchState), p.kills, p.lagging,
                                 p.gameObject ? p.gameObject->aircraft : nullptr, p.repairClock});
    }
    TakeMatchConstants();
    rules.clock = now;
    rules.host = MP_IsMeHost() != 0;
    rules.myId = MP_GetMyId();
    rules.fragLimit = fragLimit;
    rules.outbox = mp ? &outbox : nullptr;
}

void KrvMpConn::RulesOut()
{
    for (int i = 0; i < playerCount && size_t(i) < rules.players.size(); ++i) {
        KrvPlayer& p = players[i];
        const MatchPlayer& r = rules.players[size_t(i)];
        if (p.kills != r.kills || p.matchState != uint8_t(r.matchState))
            finalStandingsChanged = 1;
        p.kills = r.kills;
        p.matchState = uint8_t(r.matchState);
        p.lagging = r.lagging;
        p.repairClock = r.repairClock;
    }
}

void KrvMpConn::TakeMatchConstants()
{
    if (constantsTaken || !matchOpen || state != kMatchRunning || !game)
        return;
    rules.weapons = game->MatchWeapons();
    rules.repairAmount = game->MissionRepairAmount();
    constantsTaken = 1;
}

namespace {

int MatchWeaponType(void* weapons, int i)
{
    const auto& list = *static_cast<const std::vector<MatchWeapon>*>(weapons);
    return i >= 0 && size_t(i) < list.size() ? list[size_t(i)].type : -1;
}

}  // namespace

KrvMpConn::Verdict KrvMpConn::JudgeShot(int id, const uint8_t* shot, int length)
{
    TakeMatchConstants();
    if (rules.weapons.empty()) {
        if (length < ShotMessage::kLength) {
            _PDebugPeer(uint32_t(id), "Shot of %d bytes from %d, shorter than a shot: dropped\n", length, id);
            return false;
        }
        return true;
    }
    ShotMessage m;
    if (!ShotMessage::Decode(shot, length, int(rules.weapons.size()), MatchWeaponType, &rules.weapons, m))
        return false;
    if (!rules.CarriedWeapon(m.weapon)) {
        _PDebugPeer(uint32_t(id), "Shot from %d of weapon %d, which the match's aircraft do not carry: dropped\n",
                    id, int(m.weapon));
        return false;
    }
    return {true, {int16_t(m.weapon), int16_t(m.life)}};
}

void KrvMpConn::CountShot(int id, const JudgedShot& shot)
{
    if (shot.weapon < 0 || !matchOpen)
        return;
    RulesIn();
    rules.ShotFired(id, shot.weapon, shot.life);
}

void KrvMpConn::RequestDamage(int target, int attacker, int damage)
{
    if (!mp)
        return;
    RulesIn();
    rules.RequestDamage(target, attacker, damage);
    RulesOut();
}

void KrvMpConn::RequestRepairPlayer(int amount, unsigned int time)
{
    if (!mp)
        return;
    RulesIn();
    rules.RequestRepairPlayer(amount, time);
    RulesOut();
}

void KrvMpConn::NotifyLeaveGame()
{
    RulesIn();
    rules.NotifyLeaveGame();
    RulesOut();
}

void KrvMpConn::RulesOutbox::Send(const GameMessage& m)
{
    session.Send(m);
}

void KrvMpConn::RulesOutbox::ShowConsoleLine(ConsoleKind kind, int first, int second)
{
    session.Handle_NotifyConsoleMsg(kind, first, second);
}

void KrvMpConn::RulesOutbox::SetSessionKills(int kills)
{
    if (session.profile)
        session.profile->SetSessionKills(kills);
}

int KrvMpConn::Links::LocalPlayerId() const
{
    return session.MP_GetMyId();
}

void KrvMpConn::Links::RequestDamage(int target, int owner, int damage)
{
    session.RequestDamage(target, owner, damage);
}

uint32_t KrvMpConn::Links::Now() const
{
    return session.now;
}

void KrvMpConn::Links::RequestRepairPlayer(int amount, uint32_t now)
{
    // Only the local airplane is repaired; the throttle runs on the clock
    // the command read from Now().
    session.RequestRepairPlayer(amount, now);
}

// ---------------------------------------------------------------- the game's view

int KrvMpConn::GameLink::PlayerCount() const
{
    return session.playerCount;
}

int KrvMpConn::GameLink::PlayerId(int position) const
{
    return position >= 0 && position < session.playerCount && position < kMaxPlayers ? session.players[position].id
                                                                                     : -1;
}

int KrvMpConn::GameLink::MyId() const
{
    return session.mp ? session.mp->GetMyID() : -1;
}

int KrvMpConn::GameLink::PlayerIndex(int id) const
{
    return session.MP_GetPlayerIndex(id);
}

const char* KrvMpConn::GameLink::PlayerName(int id) const
{
    int i = session.MP_GetPlayerIndex(id);
    return i >= 0 ? session.players[i].name : nullptr;
}

int KrvMpConn::GameLink::PlayerPlane(int id) const
{
    int i = session.MP_GetPlayerIndex(id);
    return i >= 0 ? session.players[i].plane : 0;
}

int KrvMpConn::GameLink::PlayerState(int id) const
{
    int i = session.MP_GetPlayerIndex(id);
    return i >= 0 ? session.players[i].matchState : -1;
}

int KrvMpConn::GameLink::Winner() const
{
    return session.MP_GetWinner();
}

void KrvMpConn::GameLink::RequestDamage(int target, int owner, int damage)
{
    session.RequestDamage(target, owner, damage);
}

void KrvMpConn::GameLink::SendToAll(const uint8_t* message, int length)
{
    if (!session.mp || !message || length < 1 || length > kMessageBufferSize)
        return;
    unsigned char copy[kMessageBufferSize];
    memcpy(copy, message, size_t(length));
    // My own shots count as theirs do (see MatchRules::TakeDamage).
    if (copy[0] == uint8_t(MsgType::Shot))
        if (const Verdict mine = session.JudgeShot(session.MP_GetMyId(), copy, length))
            session.CountShot(session.MP_GetMyId(), mine.shot);
    session.mp->SendToAll(copy, length, false);
}

void KrvMpConn::GameLink::NotifyLeaveGame()
{
    session.NotifyLeaveGame();
}

void KrvMpConn::GameLink::SetPlayerObject(int id, GPO* gpo)
{
    if (KrvPlayer* p = session.MP_GetPlayer(id))
        p->gameObject = gpo;
}

void KrvMpConn::GameLink::SetRespawnVectors()
{
    session.MP_SetRespawnVectors();
}

WeaponMatchLink* KrvMpConn::GameLink::WeaponLink()
{
    return session.GetWeaponLink();
}

HudMatchLink* KrvMpConn::GameLink::HudLink()
{
    return this;
}

MissionRepairLink* KrvMpConn::GameLink::RepairLink()
{
    return session.GetRepairLink();
}

const KrvMpConn::KrvPlayer* KrvMpConn::GameLink::Flying(const MyAirplane* aircraft) const
{
    if (!aircraft)
        return nullptr;
    for (int i = 0; i < session.playerCount && i < kMaxPlayers; ++i) {
        const KrvPlayer& p = session.players[i];
        if (p.gameObject && p.gameObject->aircraft == aircraft)
            return &p;
    }
    return nullptr;
}

const char* KrvMpConn::GameLink::PlayerName(const MyAirplane* aircraft) const
{
    const KrvPlayer* p = Flying(aircraft);
    return p ? p->name : nullptr;
}

int KrvMpConn::GameLink::PlayerKills(const MyAirplane* aircraft) const
{
    const KrvPlayer* p = Flying(aircraft);
    return p ? p->kills : 0;
}

bool KrvMpConn::GameLink::PlayerDisconnected(const MyAirplane* aircraft) const
{
    const KrvPlayer* p = Flying(aircraft);
    return p && p->lagging;
}

// ---------------------------------------------------------------- reception

void KrvMpConn::Handle_NotifyConsoleMsg(CONSOLE_MSG kind, int first, int second)
{
    if (!game)
        return;
    auto text = [&](unsigned id) { return game->GetConsoleText(id); };
    if (!text(kTextKill))
        return;
    const char* a = MP_GetPlayerName(first);
    const char* b = MP_GetPlayerName(second);
    Line line;
    switch (kind) {
    case ConsoleKind::Kill:
        line.Add(b ? b : "?");
        line.Add(" ");
        line.Add(text(kTextKill));
        line.Add(" ");
        line.Add(a ? a : "?");
        break;
    case ConsoleKind::Crash:
        line.Add(a ? a : "?");
        line.Add(" ");
        line.Add(text(kTextCrash));
        break;
    case ConsoleKind::Winner:
        line.Add(a ? a : "?");
        line.Add(text(kTextWinner));
        break;
    case ConsoleKind::SeveralReachedLimit:
        line.Add(text(kTextSeveralWinners));
        break;
    case ConsoleKind::HostEnded:
        line.Add(text(kTextHostEnded));
        break;
    default:
        break;
    }
    if (line.length > 0)
        game->AddConsoleLine(line.text);
}

void KrvMpConn::Handle_NotifyData(const GameMessage& m, int sender)
{
    KrvPlayer* p = MP_GetPlayer(sender);
    if (!p || !p->gameObject || !p->gameObject->aircraft)
        return;
    MyAirplane* a = p->gameObject->aircraft;
    // Only the bits a peer may set come from it; the rest stay ours.
    a->state = uint8_t((a->state & ~GameMessage::kPeerFlightBits) | m.flightState);
    if (m.placed) {
        a->previousNetPosition = a->position;
        a->position = m.position;
        a->angles = m.direction;
        a->throttle = m.throttle;
        a->remoteActive = 1;
        p->gameObject->position = m.position;
    }
    a->netTimeBefore = a->netTime;
    a->netTime = now;
    a->newState = 1;
}

void KrvMpConn::Handle_NotifyDamage(const GameMessage& m)
{
    for (int i = 0; i < m.count; ++i) {
        MyAirplane* a = AirplaneOf(m.entries[i].id);
        if (!a)
            continue;
        int old = a->health;
        a->health = m.entries[i].value;
        if (old != 0 && a->health == 0)
            a->Die();
    }
}

void KrvMpConn::Handle_NotifyKills(const GameMessage& m)
{
    if (rules.winner != -1 || MP_IsMeHost())
        return;
    int myId = MP_GetMyId();
    for (int i = 0; i < m.count; ++i) {
        KrvPlayer* p = MP_GetPlayer(m.entries[i].id);
        if (!p || p->kills == m.entries[i].value)
            continue;
        p->kills = m.entries[i].value;
        if (p->id == myId && profile)
            profile->SetSessionKills(p->kills);
        finalStandingsChanged = 1;
    }
}

void KrvMpConn::Handle_NotifyBusyStates(const GameMessage& m)
{
    if (MP_IsMeHost())
        return;
    for (int i = 0; i < m.count; ++i) {
        KrvPlayer* p = MP_GetPlayer(m.entries[i].id);
        if (p && p->busy != uint32_t(m.entries[i].value)) {
            p->busy = uint32_t(m.entries[i].value);
            playersSettingsChanged = 1;
        }
    }
}

KrvMpConn::Verdict KrvMpConn::MaySend(const GameMessage& m, int sender)
{
    const uint32_t peer = uint32_t(sender);
    const int hostId = mp ? mp->GetHostID() : -1;
    if (GameMessage::FromHostOnly(m.type) && hostId >= 0 && sender != hostId) {
        _PDebugPeer(peer, "Game message %d from %d, who is not the host: dropped\n", int(m.type), sender);
        return false;
    }
    switch (m.type) {
    case MsgType::Shot:
        // A player fires only its own shots, and only shots the game reads.
        if (ShotMessage::Shooter(m.shot, m.shotLength) != sender) {
            _PDebugPeer(peer, "Game message 7 from %d names another shooter: dropped\n", sender);
            return false;
        }
        return JudgeShot(sender, m.shot, m.shotLength);
    case MsgType::DamageRequest:
        // A player reports the damage its own shots do, and what happens to
        // its own airplane without an attacker.
        if (m.attacker != sender && !(m.attacker == -1 && m.target == sender)) {
            _PDebugPeer(peer, "Damage from %d to %d reported by %d: dropped\n", int(m.attacker), int(m.target),
                        sender);
            return false;
        }
        // What the host applies, the rules decide.
        return !MP_IsMeHost() || HostTakesDamage(m, sender);
    case MsgType::PlayerLeft:
        // Only the player itself says that it leaves, or the host, which
        // takes out of the match a player that did not answer its start in
        // time; and only a match that is open can be left: a leave that
        // comes after the match's end (or in the room) does not reach into
        // the next one.
        if (m.id != sender && !(hostId >= 0 && sender == hostId)) {
            _PDebugPeer(peer, "Player %d reported gone by %d: dropped\n", int(m.id), sender);
            return false;
        }
        if (!matchOpen) {
            _PDebugPeer(peer, "Player %d says it left, but no match is open: dropped\n", sender);
            return false;
        }
        return true;
    case MsgType::StartReply:
        // It answers the match start under way, once.
        if (!StartReplyCounts(sender)) {
            _PDebugPeer(peer, "Start reply from %d answers no match start under way: dropped\n", sender);
            return false;
        }
        return true;
    case MsgType::RepairRequest:
        // Only a player of the running match has an airplane to mend.
        return !MP_IsMeHost() || HostTakesRepair(m, sender);
    case MsgType::SettingsRequest:
        // Each one makes every player answer to everyone: a player asks no
        // more often than the game does.
        if (!SettingsRequestCounts(sender)) {
            if (MP_GetPlayerIndex(sender) < 0)
                _PDebugPeer(peer, "Settings request from %d, who is not in the room: dropped\n", sender);
            else
                _PDebugPeer(peer, "Settings request from %d, more often than one in %d ms: dropped\n", sender,
                            kRoomSendInterval);
            return false;
        }
        return true;
    default:
        return true;
    }
}

void KrvMpConn::HandleMessage(const unsigned char* data, int length, int sender)
{
    if (!mp || sender == MP_GetMyId())
        return;
    // What the relay filter let through is judged already: the host's
    // rules (a damage report's shot spent) run once for it.
    const bool judged = vetted.sender == sender && length > 0 && vetted.type == data[0];
    const JudgedShot shot = vetted.shot;
    vetted = Vetted();
    GameMessage m;
    if (!GameMessage::Decode(data, length, m, sender))
        return;
    const Verdict verdict = judged ? Verdict(true, shot) : MaySend(m, sender);
    if (!verdict)
        return;
    bool host = MP_IsMeHost() != 0;
    if (GameMessage::ForHostOnly(m.type) && !host)
        return;
    switch (m.type) {
    case MsgType::RoomInfo:
        map = m.map;
        season = m.season;
        fragLimit = m.fragLimit;
        break;
    case MsgType::SettingsRequest:
        SettingsRequestAnswered(sender);
        if (host) {
            NotifyRoomInfo();
            NotifyBusyStates();
        }
        NotifyMySettings();
        break;
    case MsgType::PlayerSettings:
        if (KrvPlayer* p = MP_GetPlayer(sender)) {
            const int plane = ClampPlane(m.plane, sender), rank = std::min(m.rank, kMaxRank);
            if (p->plane != plane || p->rank != rank || p->inMatch != uint8_t(m.inMatch)) {
                p->plane = plane;
                p->rank = rank;
                p->inMatch = uint8_t(m.inMatch);
                playersSettingsChanged = 1;
            }
        }
        break;
    case MsgType::MatchStart:
        map = m.map;
        season = m.season;
        fragLimit = m.fragLimit;
        ReplyStart(m, sender);
        break;
    case MsgType::StartReply:
        if (KrvPlayer* p = MP_GetPlayer(sender)) {
            p->matchState = uint8_t(MatchState::Playing);
            p->plane = ClampPlane(m.plane, sender);
        }
        break;
    case MsgType::Respawn:
        if (MyAirplane* a = AirplaneOf(m.id)) {
            a->SetSpawnPoint(m.position, m.direction);
            a->Respawn(m.health, now);
        }
        break;
    case MsgType::Shot:
        // Its weapon and life as MaySend read them, here or in the relay
        // filter.
        CountShot(sender, verdict.shot);
        if (game)
            game->ReceiveShootFromClient(m.shot, m.shotLength);
        break;
    case MsgType::DamageRequest:
        // Taken (its shot spent) where it was judged: MaySend.
        RulesIn();
        rules.ApplyDamage(m.target, m.attacker, m.damage);
        RulesOut();
        break;
    case MsgType::HealthList:
        Handle_NotifyDamage(m);
        break;
    case MsgType::RepairRequest:
        // Checked where it was judged: MaySend.
        RulesIn();
        rules.ApplyRepair(m.amount, sender, now);
        RulesOut();
        break;
    case MsgType::Position:
        Handle_NotifyData(m, sender);
        break;
    case MsgType::KillsList:
        Handle_NotifyKills(m);
        break;
    case MsgType::ConsoleLine:
        Handle_NotifyConsoleMsg(ConsoleKind(m.kind), m.first, m.second);
        break;
    case MsgType::Winner:
        rules.winner = m.id;
        break;
    case MsgType::PlayerLeft:
        if (m.id == MP_GetMyId() && !host) {
            // The host left me out of this match: I go back to the room,
            // ready for the next start.
            _PDebug("The host left me out of this match\n");
            CloseMatch();
            for (int i = 0; i < playerCount; ++i)
                players[i].matchState = uint8_t(MatchState::Waiting);
            state = kInRoomAsClient;
            // In my settings I was not too late: I was busy.
            leftOutResult = MP_IsMeBusy() ? kErrLeftOutBusy : kErrLeftOut;
            break;
        }
        // Said again, it changes nothing: the standings are not redone.
        if (KrvPlayer* p = MP_GetPlayer(m.id))
            MarkLeft(*p);
        if (KrvPlayer* p = MP_GetPlayer(m.id);
            p && (p->matchState != uint8_t(MatchState::Left) || p->kills != -1)) {
            p->matchState = uint8_t(MatchState::Left);
            p->kills = -1;
            finalStandingsChanged = 1;
        }
        break;
    case MsgType::HostEndedMatch:
        Handle_NotifyConsoleMsg(ConsoleKind::HostEnded, -1, -1);
        break;
    case MsgType::BusyRequest:
        if (state == kMatchStartRequested)
            break;
        if (KrvPlayer* p = MP_GetPlayer(sender); p && p->busy != uint32_t(m.busy)) {
            p->busy = uint32_t(m.busy);
            playersSettingsChanged = 1;
        }
        // Answered also when nothing changed: a guest's own busy mark comes
        // only from the list.
        NotifyBusyStates();
        break;
    case MsgType::BusyList:
        Handle_NotifyBusyStates(m);
        break;
    }
}

// ---------------------------------------------------------------- update

void KrvMpConn::PeriodicWork()
{
    if (!mp->IsConnected() || !MP_GetMe())
        return;
    if (state != kIdle && state != kInRoomAsClient && state != kInRoomAsHost && state != kMatchStartRequested &&
        state != kMatchRunning)
        return;
    int32_t elapsed = 0;
    if (netTimer == 0)
        netTimer = now;
    else
        elapsed = PTickSince(now, netTimer);
    if (state == kMatchRunning && game) {
        if (elapsed >= kMatchSendInterval) {
            netTimer = now;
            NotifyMyData();
            if (MP_IsMeHost())
                NotifyDamages();
        }
        RulesIn();
        if (rules.host) {
            rules.Respawn_Listener(now);
            rules.GameStatusUpdate(0);
        }
        rules.UpdatePackagesTime(now);
        RulesOut();
        return;
    }
    if (elapsed >= kRoomSendInterval) {
        netTimer = now;
        SetMyRankFromProfile();
        RequestRoomInfoAndPlayersSettings();
    }
}

int KrvMpConn::MP_Update(unsigned int time)
{
    if (!mp)
        return kErrNone;
    now = time;
    int result = Poll();
    CountStartWait();
    StartDeadline();
    if (StartLeavesNobody())
        CallOffStart();
    // A result of the session's own waits for a frame that has none.
    if (result == kErrNone) {
        result = pendingResult;
        pendingResult = kErrNone;
    }
    StandingsFollow();
    // Counts of peers' repeated faults are written even when the peer has
    // gone quiet.
    PDebugPeerTick();
    return result;
}

int KrvMpConn::Poll()
{
    unsigned char buffer[kMessageBufferSize];
    for (int poll = 0; poll < kMaxEventsPerUpdate; ++poll) {
        int sender = -1;
        int length = 0;
        vetted = Vetted();
        int e = mp->PollEvent(&sender, reinterpret_cast<char*>(buffer), int(sizeof buffer), &length);
        if (poll == 0 && e != Multiplayer::kEvLinkLost)
            PeriodicWork();
        if (e == Multiplayer::kEvNone)
            return kErrNone;
        bool general = true;  // false: the state's handling took the event
        switch (state) {
        case kLobbyListRequested:
            if (e == Multiplayer::kEvLobbyListReady) {
                state = kLobbyListReady;
                general = false;
            } else if (e == Multiplayer::kEvRoomActionRejected || e == Multiplayer::kEvRejected) {
                state = kLobbyListFailed;
                return kErrLobbyList;
            }
            break;
        case kLobbyLoginRequested:
            if (e == Multiplayer::kEvConnected) {
                state = kLobbyLoggedIn;
                MP_JoinedServerName_Set();
                MP_JoinedServerAddr_Set(nullptr, 0);
                general = false;
            } else if (e == Multiplayer::kEvNameTaken) {
                state = kLobbyLoginFailed;
                return kErrNameTaken;
            } else if (e == Multiplayer::kEvRoomActionRejected || e == Multiplayer::kEvRejected) {
                state = kLobbyLoginFailed;
                return kErrLobbyLogin;
            }
            break;
        case kRoomJoinRequested:
        case kRoomCreateRequested:
            if (e == Multiplayer::kEvConnected) {
                state = state == kRoomJoinRequested ? kInRoomAsClient : kInRoomAsHost;
                MP_PlayersList_Update();
                SetMyRankFromProfile();
                SetMyPlaneFromProfile();
                playersSettingsChanged = 1;
                general = false;
            } else if (e == Multiplayer::kEvRoomActionRejected || e == Multiplayer::kEvRejected ||
                       e == Multiplayer::kEvRoomRefused || e == Multiplayer::kEvRoomRefusedOther) {
                state = state == kRoomJoinRequested ? kRoomJoinFailed : kRoomCreateFailed;
                if (mp->IsConnected())
                    return kErrRoom;
                // Without a link the room refused the join, or was never
                // reached (a mistyped address, a full room, a silent host).
                if (state == kRoomJoinFailed)
                    return e == Multiplayer::kEvRoomActionRejected ? kErrRoomFull : kErrJoinRefused;
            }
            break;
        default:
            break;
        }
        if (!general)
            continue;
        switch (e) {
        case Multiplayer::kEvLinkLost:
            state = kIdle;
            return kErrLinkLost;
        case Multiplayer::kEvPlayersChanged:
            MP_PlayersList_Update();
            break;
        case Multiplayer::kEvGameMessage:
            if (sender != MP_GetMyId() && length > 0 && int8_t(buffer[0]) >= 1 && int8_t(buffer[0]) <= 18)
                HandleMessage(buffer, length, sender);
            // The match is over for me: the caller ends it before anything
            // else reaches it.
            if (leftOutResult != kErrNone) {
                const int result = leftOutResult;
                leftOutResult = kErrNone;
                return result;
            }
            break;
        default:
            break;
        }
    }
    return kErrNone;
}
