// The match session of the multiplayer mode: it owns the facade (and through
// it one back end), runs the flow from lobby server list to lobby, room list,
// room and match as a numbered state, keeps the table of the room's players
// and the room's match settings, and during a match exchanges positions,
// damage, kills, respawns and the winner as game messages. The room's host
// decides what must be decided once (see MatchRules). Every received
// message is untrusted: it is decoded by GameMessage with its length, and
// messages only the host sends are taken only from the host where the
// transport knows who that is.
#pragma once
#include <cstdint>
#include <memory>

#include "engine/runtime/pmath3d.h"
#include "game/multiplayer/gamemessage.h"
#include "game/multiplayer/matchgame.h"
#include "game/multiplayer/matchrules.h"
#include "game/multiplayer/multiplayer.h"
#include "game/world/command.h"
#include "game/world/hud.h"
#include "game/world/maingame.h"
#include "game/world/weaponsystem.h"

class Fonts;
class GPO;
class MyAirplane;
class Profile;

class KrvMpConn {
public:
    using nettype = Multiplayer::nettype;

    static constexpr int kMaxPlayers = 4;
    static constexpr int kNameSize = MPInterface::kNameSize;
    static constexpr int kFragLimits = 8;
    static constexpr int kMaxEventsPerUpdate = 40;
    static constexpr int kMatchSendInterval = 400;   // ms
    static constexpr int kRoomSendInterval = 1800;   // ms
    static constexpr int kMessageBufferSize = GameMessage::kMaxSize;
    static constexpr int kConsoleLineSize = 128;
    static constexpr int kMaxRank = 4;
    static constexpr int kLobbyQueryCount = 128;
    // A player that has not answered the match start this long after it
    // began here (sent by the host, answered by a guest) is left out of
    // that match, and the others play.
    static constexpr uint32_t kStartReplyLimit = 10000;  // ms
    // The start wait: how long guests' busy or in-match claims may delay the
    // host's start. It begins with the host's Start (TapStart) and counts
    // while the host is in its room, out of its own settings, and some guest
    // claims; a match that starts, the host left alone, the room left or the
    // session begun or ended anew end it. Once it has run this long, no
    // claim delays the start: the host's Start that waits goes ahead by
    // itself (FinishStartWait) and leaves the claimants out.
    static constexpr uint32_t kStartWaitLimit = 60000;  // ms
    // Settings requests of one player the others answer: one per interval
    // the game asks at (kRoomSendInterval), two when a slow link delivered
    // them together; the rest are dropped.
    static constexpr int kSettingsRequestBurst = 2;

    // Session states.
    enum State : int32_t {
        kIdle = 0,
        kLobbyListRequested = 1,
        kLobbyListReady = 2,
        kLobbyListFailed = 3,
        kLobbyLoginRequested = 4,
        kLobbyLoggedIn = 5,
        kLobbyLoginFailed = 6,
        kListingRooms = 7,
        kRoomJoinRequested = 8,
        kInRoomAsClient = 9,
        kRoomJoinFailed = 10,
        kRoomCreateRequested = 11,
        kInRoomAsHost = 12,
        kRoomCreateFailed = 13,
        kMatchStartRequested = 14,
        kMatchRunning = 15,
    };

    // Session error codes, results of MP_Update.
    enum Error : int {
        kErrNone = 0,
        kErrLobbyList = 1,
        kErrLobbyLogin = 2,
        kErrNameTaken = 3,
        kErrRoom = 4,
        kErrJoinRefused = 5,  // the room refused the join or could not be reached
        kErrLinkLost = 6,
        kErrRoomFull = 7,     // the room turned the join away: it is full
        kErrLeftOut = 8,      // the host left me out of the match: back in the room
        kErrLeftOutBusy = 9,  // the same, while I was in my settings
        kErrNobodyElse = 10,  // host: the start left every other player out; no match, back in the room
    };
    // Whether an MP_Update result is one of the host leaving me out.
    static bool IsLeftOut(int code) { return code == kErrLeftOut || code == kErrLeftOutBusy; }

    using CONSOLE_MSG = ConsoleKind;

    struct KrvPlayer {
        int32_t id;
        uint32_t busy;
        char name[kNameSize];
        uint32_t ready;
        int32_t plane;
        int32_t rank;
        uint8_t matchState;  // MatchState
        uint8_t inMatch;
        GPO* gameObject;
        int32_t kills;  // -1 once the player left the match
        uint8_t lagging;
        uint32_t repairClock;  // the host's repair clock for the player (MatchPlayer::repairClock)
        uint32_t settingsClock;  // when its settings requests are answered again (kSettingsRequestBurst)
    };

    KrvMpConn();
    ~KrvMpConn();
    KrvMpConn(const KrvMpConn&) = delete;
    KrvMpConn& operator=(const KrvMpConn&) = delete;

    // Big-endian encodings of the game messages.
    static void getBytesFromInt(unsigned char* out, int v) { mpcodec::PutInt(out, v); }
    static int getIntFromBytes(const unsigned char* in) { return mpcodec::GetInt(in); }
    static void getBytesFromShort(unsigned char* out, short v) { mpcodec::PutShort(out, v); }
    static short getShortFromBytes(const unsigned char* in) { return mpcodec::GetShort(in); }
    static void getBytesFromVector(unsigned char* out, const PVector3& v) { mpcodec::PutVector(out, v); }
    static PVector3 getVectorFromBytes(const unsigned char* in) { return mpcodec::GetVector(in); }

    // Set-up.
    void MP_SetType(nettype t) { netType = t; }
    int MP_Init(char* name);
    void SetUserName(char* name);
    void MP_Release();
    int MP_IsNetworkAvail();
    int MP_GetMyIP(char* out);
    int MP_IsConnAvail();

    // Lobby servers (internet).
    void MP_Filter_All();
    void MP_Filter_PlayerCount();
    void MP_Filter_Nearest(unsigned char nearMe);
    void MP_Filter_Name(const char* name);
    int MP_GetLobbys_Begin();
    // The caller owns texts and each text: free with FreeTexts.
    int MP_GetLobbys_Update(char**& texts, int& count);
    void MP_GetLobbys_Abort();
    int MP_LobbyJoin_Begin(int index, const char* address, int port);
    void MP_LobbyLeave();
    void MP_JoinedServerInfo_Zero();
    void MP_JoinedServerName_Set();
    void MP_JoinedServerAddr_Set(const char* address, int port);
    static void FreeTexts(char** texts, int count);

    // Rooms.
    int MP_RoomsList_Begin();
    int MP_RoomsList_Update(char**& texts, int& count);
    void MP_RoomsList_Abort();
    int MP_RoomCreate_Begin(const char* name);
    int MP_RoomJoin_Begin(int index);
    int MP_DirectRoomJoin_Begin(const char* address, int port);
    void MP_RoomLeave();

    // Player table.
    int MP_GetPlayerIndex(int id) const;
    KrvPlayer* MP_GetPlayer(int id);
    const char* MP_GetPlayerName(int id);
    int GetPlayerKills(int id);
    int MP_GetMyId();
    KrvPlayer* MP_GetMe() { return MP_GetPlayer(MP_GetMyId()); }
    int MP_IsMeHost();
    int MP_IsMeBusy();
    int MP_IsAllReady() const;
    int MP_IsAllPlaying() const;
    int MP_IsPlayersListChanged() { return TakeFlag(playersListChanged); }
    int MP_IsPlayersSettingsChanged() { return TakeFlag(playersSettingsChanged); }
    int MP_IsFinalStandingsChanged() { return TakeFlag(finalStandingsChanged); }
    void AddPlayerToList(const KrvPlayer* p);
    void ClearPlayersList();
    void MP_PlayersList_Update();
    void SetMyPlaneFromProfile();
    void SetMyRankFromProfile();
    void RequestBusyState(unsigned char busy);

    // The final standings: the table as it stood at the match's end (the
    // winner known, or the local player gone), players who left the room
    // since kept; while a match runs, the table as it stands. Rows in table
    // order; the count.
    int MP_GetFinalStandings(const KrvPlayer*& rows) const;

    // Match.
    void RequestStart();
    // The host's tap on Start in its room: the match starts when nothing
    // delays it, else the start wait begins (unless it has already). A guest's
    // tap, or the tap of a host alone in its room, does nothing.
    void TapStart();
    // The host's Start that waits goes ahead by itself as soon as nothing
    // delays it (the claimants free again, or the start wait over); called
    // in every frame of the host's room without a tap on Start.
    void FinishStartWait();
    // Whether the host's Start is in the start wait.
    bool InStartWait() const { return startWaitOn != 0; }
    void MP_StartGame();
    void MP_EndGame();
    void MP_SetRespawnVectors();
    int MP_GetWinner() const { return rules.winner; }
    int GetFragLimit() const;
    const wchar_t* GetFragLimitWchar() const;
    static const wchar_t* const* GetFragLimitWcharArray();
    void RequestDamage(int target, int attacker, int damage);
    void RequestRepairPlayer(int amount, unsigned int now);
    void NotifyLeaveGame();
    // Host: the shots of player id in flight, each able to pay for a hit
    // (MatchRules::ShotFired).
    int ShotsInFlight(int id) const { return rules.ShotsInFlight(id); }
    static const wchar_t* ErrorCodeToMsg(Fonts* fonts, int code);
    int MP_Update(unsigned int now);

    // The session as the weapons and the mission commands see it.
    WeaponMatchLink* GetWeaponLink() { return &links; }
    MissionRepairLink* GetRepairLink() { return &links; }
    // The session as the game session and its head-up display see it.
    MainGameMatchLink* GetGameLink() { return &gameLink; }
    HudMatchLink* GetHudLink() { return &gameLink; }

    // Senders.
    void NotifyRoomInfo();
    void RequestRoomInfoAndPlayersSettings();
    void NotifyMySettings();
    void NotifyRespawnPlayer(int id, int health, PVector3 position, PVector3 direction);
    void NotifyDamages();
    void NotifyMyData();
    void NotifyKills();
    void NotifyConsoleMsg(CONSOLE_MSG kind, int first, int second);
    void NotifyWinner(int id);
    void NotifyBusyStates();

    // Runs the handler of one received message (type byte first, length
    // bytes) from sender; messages from myself, of an unknown type, shorter
    // than their layout or host-only ones from another player are dropped.
    void HandleMessage(const unsigned char* data, int length, int sender);
    // The console line of a kind for two players.
    void Handle_NotifyConsoleMsg(CONSOLE_MSG kind, int first, int second);

    int32_t state = kIdle;
    char serverAddress[kNameSize] = {};
    char serverIp[kNameSize] = {};
    int32_t serverPort = 0;
    char directIp[kNameSize] = {};
    int32_t directPort = 0;
    char serverName[64] = {};
    int32_t lobbyIndex = -1;
    nettype netType = Multiplayer::kNetNone;
    std::unique_ptr<Multiplayer> mp;
    uint8_t lobbyJoinPending = 0;
    uint8_t directJoinPending = 0;
    uint32_t now = 0;
    Profile* profile = nullptr;
    KrvPlayer players[kMaxPlayers] = {};
    int32_t playerCount = 0;
    uint8_t playersListChanged = 0;
    uint8_t playersSettingsChanged = 0;
    uint8_t finalStandingsChanged = 0;
    uint8_t ownSettingsInitialised = 0;
    int32_t map = 0;
    int32_t season = 0;
    int32_t fragLimit = 0;
    // Aircraft in the catalogue (set by the menus from the aircraft
    // definitions): planes from peers are clamped to 0..planeCount - 1. 0
    // while unknown: then only the message's own bound applies.
    int32_t planeCount = 0;
    uint32_t netTimer = 0;
    // Winner, repair timer, respawn rotation and spawn points.
    MatchRules rules;
    MatchGame* game = nullptr;

private:
    // Where the rules' results go.
    class RulesOutbox : public MatchRules::Outbox {
    public:
        explicit RulesOutbox(KrvMpConn& s) : session(s) {}
        void Send(const GameMessage& m) override;
        void ShowConsoleLine(ConsoleKind kind, int first, int second) override;
        void SetSessionKills(int kills) override;

    private:
        KrvMpConn& session;
    };
    // The session behind the weapons' and mission commands' seams.
    class Links : public WeaponMatchLink, public MissionRepairLink {
    public:
        explicit Links(KrvMpConn& s) : session(s) {}
        int LocalPlayerId() const override;
        void RequestDamage(int target, int owner, int damage) override;
        uint32_t Now() const override;
        void RequestRepairPlayer(int amount, uint32_t now) override;

    private:
        KrvMpConn& session;
    };

    // The session behind the game session's and head-up display's seams.
    class GameLink : public MainGameMatchLink, public HudMatchLink {
    public:
        explicit GameLink(KrvMpConn& s) : session(s) {}
        int PlayerCount() const override;
        int PlayerId(int position) const override;
        int MyId() const override;
        int PlayerIndex(int id) const override;
        const char* PlayerName(int id) const override;
        int PlayerPlane(int id) const override;
        int PlayerState(int id) const override;
        int Winner() const override;
        void RequestDamage(int target, int owner, int damage) override;
        void SendToAll(const uint8_t* message, int length) override;
        void NotifyLeaveGame() override;
        void SetPlayerObject(int id, GPO* gpo) override;
        void SetRespawnVectors() override;
        WeaponMatchLink* WeaponLink() override;
        HudMatchLink* HudLink() override;
        MissionRepairLink* RepairLink() override;
        const char* PlayerName(const MyAirplane* aircraft) const override;
        int PlayerKills(const MyAirplane* aircraft) const override;
        bool PlayerDisconnected(const MyAirplane* aircraft) const override;

    private:
        // The player whose object flies the aircraft, or null.
        const KrvPlayer* Flying(const MyAirplane* aircraft) const;
        KrvMpConn& session;
    };

    static int TakeFlag(uint8_t& flag);
    // The aircraft number a peer sent, within the catalogue.
    int ClampPlane(int plane, int sender) const;
    // What JudgeShot read of a shot it let through: its weapon and life
    // (weapon -1: no catalogue here, it counts for nothing).
    struct JudgedShot {
        int16_t weapon = -1;
        int16_t life = 0;
    };
    // Whether a peer's message is let through, and for a shot what it was
    // judged to be.
    struct Verdict {
        Verdict(bool allowed) : allowed(allowed) {}
        Verdict(bool allowed, JudgedShot shot) : allowed(allowed), shot(shot) {}
        explicit operator bool() const { return allowed; }
        bool allowed;
        JudgedShot shot;
    };
    // Whether sender may send the decoded message: what only the host sends
    // comes from the host (where the back end knows who that is), a player
    // speaks only for itself, a start reply answers the match start under
    // way, and the host takes damage and repair requests only from players
    // of the running match. A refusal is logged, limited per sender.
    Verdict MaySend(const GameMessage& m, int sender);
    // The host's check of a guest's message before the others get it: false
    // when the message is dropped (see MPInterface::RelayFilter).
    static bool RelayFilter(void* context, int sender, uint8_t* payload, int length);
    // Follows the table into the final standings until the match's end.
    void StandingsFollow();
    void ClearFlagsAndTimers();
    void ClearRoomSettings();
    void Send(const GameMessage& m);
    MyAirplane* AirplaneOf(int id);
    // The rules work on a copy of the table: in before a rule runs, back
    // (kills, match states, lag marks) after it.
    void RulesIn();
    void RulesOut();
    // A shot (game message 7) of player id: whether it decodes as the game
    // decodes it against the match's catalogue (its length, a weapon the
    // match's aircraft carry); without the catalogue (no match running here)
    // it needs the shot's length only.
    Verdict JudgeShot(int id, const uint8_t* shot, int length);
    // A shot judged: in the open match a hit the shooter may report
    // (MatchRules::ShotFired).
    void CountShot(int id, const JudgedShot& shot);
    // Takes the match's constants (its weapons, its mission's repair) once
    // the match runs here.
    void TakeMatchConstants();
    void ReplyStart(const GameMessage& m, int sender);
    void Handle_NotifyData(const GameMessage& m, int sender);
    void Handle_NotifyDamage(const GameMessage& m);
    void Handle_NotifyKills(const GameMessage& m);
    void Handle_NotifyBusyStates(const GameMessage& m);
    void PeriodicWork();
    // The polls of one MP_Update: its result.
    int Poll();
    int ListTexts(char**& texts, int& count, bool lobbies);

    void SetLobbyFilters(const char* name, unsigned char nearMe, VOrededidaza::ServerFilter::SortingKey sort);

    // Who left the running match. A player that left (said so, or dropped
    // out of the room) is out of it until the next match starts: a start
    // reply does not bring it back, nor does a return to the room under the
    // same id and name, and its damage and repair requests are refused.
    static constexpr int kMaxGone = 16;
    struct Gone {
        int32_t id;
        char name[kNameSize];
    };
    // A new match starts for me (the start sent, or answered): nobody out.
    void OpenMatch();
    void CloseMatch();
    bool HasLeft(int id, const char* name) const;
    void MarkLeft(const KrvPlayer& p);
    // Whether a start reply from sender answers the match start under way:
    // one from a player in the table that has not answered yet nor left.
    bool StartReplyCounts(int sender) const;
    // Leaves out of the match every player that has not answered its
    // start within kStartReplyLimit.
    void StartDeadline();
    // Takes p out of the match it has not answered (a line says why); the
    // host also tells everyone, p included, with a "player left" naming p.
    void LeaveOut(KrvPlayer& p, const char* why);
    // Whether p's busy or in-match claim delays the start: the host's own
    // always, a guest's until the start wait has reached kStartWaitLimit.
    bool Delays(const KrvPlayer& p) const;
    // Whether p claims past the start wait: its claim no longer delays the
    // start, which leaves it out.
    bool PastStartWait(const KrvPlayer& p) const { return (p.busy || p.inMatch) && !Delays(p); }
    // TapStart's start wait, begun unless it has been.
    void BeginStartWait();
    // The host counts its start wait (kStartWaitLimit); alone in its room it
    // waits for nobody.
    void CountStartWait();
    void EndStartWait();
    // A new room or session: no start wait, and no result of the last room's
    // start still to give.
    void ForgetStart();
    // Host: whether no other player can play the start under way (every
    // one left out, or gone); then the start is called off and the host is
    // back in its room, told why.
    bool StartLeavesNobody();
    void CallOffStart();
    // Whether the settings request of sender is answered (it comes no more
    // often than the game asks); the answer moves the sender's clock on.
    bool SettingsRequestCounts(int sender) const;
    void SettingsRequestAnswered(int sender);
    // The host's verdict on a damage or repair request from sender (the
    // rules' own check), with its one limited line when refused.
    bool HostTakesDamage(const GameMessage& m, int sender);
    bool HostTakesRepair(const GameMessage& m, int sender);
    // The message the relay filter let through, which the session handles
    // next without judging it again.
    struct Vetted {
        int32_t sender = -1;
        uint8_t type = 0;
        JudgedShot shot;  // of a shot
    };
    Vetted vetted;
    uint8_t constantsTaken = 0;  // the match's constants are in the rules
    Gone gone[kMaxGone] = {};
    int32_t goneCount = 0;
    uint8_t matchOpen = 0;  // from the match start (sent or answered) to MP_EndGame
    uint32_t startAt = 0;   // when the match start was sent or answered
    uint32_t startWaitClock = 0;  // the time CountStartWait last counted to
    uint8_t startWaitClockSet = 0;
    uint8_t startWaitOn = 0;     // host: its Start is in the start wait
    uint32_t startWaitTime = 0;  // host: how long claims have delayed it, up to kStartWaitLimit
    // The host has just left me out of the match: kErrLeftOut or
    // kErrLeftOutBusy, the result the poll gives at once.
    int32_t leftOutResult = kErrNone;
    int32_t pendingResult = kErrNone;  // a result of the session's own for the next MP_Update

    KrvPlayer standings[kMaxPlayers] = {};
    int32_t standingsCount = 0;
    uint8_t standingsFrozen = 0;  // the match has ended: the rows stay
    RulesOutbox outbox{*this};
    Links links{*this};
    GameLink gameLink{*this};
};
