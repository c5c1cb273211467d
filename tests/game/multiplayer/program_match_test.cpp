// Matches between two instances of the program, headless on the wall clock
// with the demo archive. Scripted touches go from the intro through the main
// menu to the multiplayer menus; one player hosts a room, the other joins
// it, the host starts the match, both fly and fire, then the guest leaves
// the match through the pause menu, which leaves the host the winner, while
// the host looks at the options (the match goes on behind the main menu):
// both end on the standings screen with the same rows. On the local network each
// program runs in a network namespace of its own on the test's bridge, the
// host's machine hosts a second room and a third machine keeps connections
// to the program's room that never give a name (Neighbours); then the test
// bot, with the game's weapons, joins the room from that third machine as a
// third player, shoots the host down with the machine gun and leaves: the
// host counts its kill, and refuses no hit of anyone's in the match; over
// the internet both run in one namespace with the test's lobby web service
// (at the program's own service address, 127.0.0.1:8380) and lobby server
// on its loopback. A third case puts two guest programs, one in English at
// 1024 x 600 and one in German at 480 x 320, in a room of the test's own
// host session, whose start they answer too late: both are told, and go
// back to the game room with the line that says so. Frames at fixed numbers
// are kept in mp_match_shots/ of the tests' build folder for a person to
// look at.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>
#include <sys/wait.h>

#include <atomic>
#include <thread>

#include "engine/net/online/serverdiscoveryimp.h"
#include "engine/runtime/ptime.h"
#include "game/frontend/profile.h"
#include "game/multiplayer/krvmpconn.h"
#include "game/multiplayer/mpbackends.h"
#include "lan_netns.h"
#include "lan_test_util.h"
#include "lobby_services.h"

#if defined(KRV_KORVANTH) && defined(KRV_DEMO_ARCHIVE)
namespace {

namespace fs = std::filesystem;

// Screen points of 1024 x 600: the main menu's selector and the notice's
// OK; the network choice's local network and internet; host and join; the
// first line of a list (lobby or room); the rooms' first button (a new
// room); the game room's start; the fire button; the pause icon; the pause
// menu's fourth row (leave the match); yes in the question box.
constexpr int kSelector[2] = {917, 295}, kNoticeOk[2] = {512, 331}, kLocal[2] = {512, 274};
constexpr int kInternet[2] = {512, 326}, kNewRoom[2] = {779, 126};
constexpr int kHost[2] = {512, 274}, kJoin[2] = {512, 326}, kFirstRoom[2] = {272, 86}, kStart[2] = {779, 86};
constexpr int kFire[2] = {1000, 300}, kPause[2] = {990, 568}, kLeaveRow[2] = {512, 367}, kYes[2] = {384, 335};
constexpr int kOptionsRow[2] = {512, 322}, kOptionsBack[2] = {976, 576};
// Frames of the script. Each program ends at its own frame: the guest
// first, so that the host's end never cuts the guest's link while the guest
// still runs.
constexpr int kRetries = 9, kRetryEvery = 30, kJoinFrom = 330, kStartFrom = 420;
constexpr int kFireFrom = 700, kFireTo = 860, kLeaveAt = 900, kGuestExit = 1150, kHostExit = 1300;
constexpr int kOptionsAt = 880, kOptionsLeft = 1060;
// The program's lobby web service address.
constexpr int kServicePort = 8380;
// Frames kept: the network's screen, the host's game room, the match, the
// match under fire, the host's options over the running match, the
// standings (the guest's come earlier: it left).
const std::vector<int> kKeptHost = {220, 400, 600, 820, 1000, 1250}, kKeptGuest = {220, 600, 820, 1130};

class Script {
public:
    void Tap(int frame, const int* at) { Touch(frame, 0, at, 2); }
    // A touch held from frame to frame + frames.
    void Touch(int frame, int id, const int* at, int frames)
    {
        Line(frame, "down " + std::to_string(id) + " " + Point(at));
        Line(frame + frames, "up " + std::to_string(id) + " " + Point(at));
    }
    void Line(int frame, const std::string& what) { text += std::to_string(frame) + " " + what + "\n"; }
    static std::string Point(const int* at) { return std::to_string(at[0]) + " " + std::to_string(at[1]); }
    std::string text;
};

// Beside the two programs on the local network, from the test: a room hosted
// on the host program's machine before the program hosts (which then takes
// the next free game port), announced only once the guest program is in the
// program's room; from a third machine, three connections to the program's
// room that never give a name, reopened as the host closes them, until the
// guest program is in; and a search there that sees both rooms of the host's
// machine listed at once.
class Neighbours {
public:
    explicit Neighbours(NetLab& lab) : m_lab(lab)
    {
        m_thread = std::thread([this] { Run(); });
        for (int i = 0; i < 1000 && !up; ++i)
            usleep(10000);
    }
    ~Neighbours()
    {
        stop = true;
        m_thread.join();
    }
    std::atomic<bool> up {false}, stop {false}, bothListed {false};
    std::atomic<int> programPort {0}, reopened {0};

private:
    void Run()
    {
        IPInterface decoy, search;
        MPInterface::GameRoom room = {};
        std::strcpy(room.name, "DECOY");
        const bool hosted = m_lab.Enter(1) && decoy.HostGameRoom(room) == 1;
        const bool searching = m_lab.Enter(3) && search.RequestGameRooms() == 1;
        up = hosted && searching;
        std::vector<int> nameless;
        bool guestIn = false;
        while (up && !stop) {
            search.PollMessages();
            bool program = false, other = false;
            for (int i = 0; i < search.GetGameRoomCount(); ++i) {
                const MPInterface::GameRoom* r = search.GetGameRoom(i);
                if (r->hostAddress.address != PInetAddr("10.77.0.1"))
                    continue;
                if (std::strcmp(r->name, "DECOY") == 0) {
                    other = true;
                } else {
                    program = true;
                    programPort = r->hostAddress.port;
                    guestIn |= r->players >= 2;
                }
            }
            if (program && other)
                bothListed = true;
            if (guestIn) {
                decoy.PollMessages();  // now it announces
                for (int fd : nameless)
                    close(fd);
                nameless.clear();
            } else if (programPort) {
                for (int& fd : nameless)
                    if (ClosedByHost(fd)) {
                        close(fd);
                        fd = NamelessConnect(nullptr, "10.77.0.1", programPort);
                        ++reopened;
                    }
                while (nameless.size() < 3)
                    nameless.push_back(NamelessConnect(nullptr, "10.77.0.1", programPort));
            }
            usleep(20000);
        }
        for (int fd : nameless)
            close(fd);
        m_lab.Leave();
    }
    NetLab& m_lab;
    std::thread m_thread;
};

class ProgramMatch : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Two programs on the wall clock need the machine to themselves: they
        // run apart, as the ctest entry program_matches (label long).
        if (!std::getenv("KRV_PROGRAM_MATCHES"))
            GTEST_SKIP() << "run apart: ctest -L long -R program_matches";
        if (!fs::exists(KRV_DEMO_ARCHIVE))
            GTEST_SKIP() << "the demo archive is not built";
        char tmpl[] = "/tmp/krv-match-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        top = tmpl;
    }
    void TearDown() override
    {
        lab.reset();
        if (!top.empty() && !std::getenv("KRV_KEEP_RUNS"))
            fs::remove_all(top);
    }

    // The run's folder: the archive, one profile named nick, the script.
    std::string Prepare(const std::string& name, const std::string& nick, const std::string& events, int language = -1)
    {
        const std::string dir = top + "/" + name;
        fs::create_directories(dir + "/logs");
        fs::create_directories(dir + "/app/native");
        fs::create_directories(dir + "/data/usr");
        fs::create_symlink(KRV_DEMO_ARCHIVE, dir + "/app/native/data.vfs");
        std::ofstream(dir + "/data/usr/profiles.cfg", std::ios::binary) << std::string("\1\0", 2);
        std::string profile(22, '\0');
        profile += std::string("\4\1\0\0\0", 5);
        for (int k = 0; k < 2; ++k)
            profile += char(nick.size()) + nick;
        profile += std::string(2, '\0');
        std::ofstream(dir + "/data/usr/profile_0", std::ios::binary) << profile;
        std::ofstream(dir + "/events.txt") << events;
        // The settings' defaults with the tutorial offered, byte 7 the
        // language.
        if (language >= 0)
            std::ofstream(dir + "/data/usr/settings.nil", std::ios::binary)
                << std::string("\1\252\252\0\0\1\1", 7) << char(language) << std::string("\50\0\1\177", 4)
                << std::string(34, '\0');
        return dir;
    }
    // The way into the multiplayer menus and onto the local network.
    static Script Common(const int* network)
    {
        Script s;
        static const int intro[2] = {100, 200}, title[2] = {110, 210};
        s.Tap(1, intro);
        s.Tap(3, title);
        // The bomb turned one label up: multiplayer, then its notice.
        s.Line(70, "down 0 400 440");
        s.Line(71, "move 0 400 417");
        s.Line(72, "move 0 400 395");
        s.Line(73, "up 0 400 395");
        s.Tap(90, kSelector);
        s.Tap(130, kNoticeOk);
        s.Tap(200, network);
        return s;
    }
    // Flight and fire once the match surely runs.
    static void Fight(Script& s) { s.Touch(kFireFrom, 2, kFire, kFireTo - kFireFrom); }

    pid_t Spawn(int host, const std::string& dir, const std::string& size = "1024x600", const std::string& more = "")
    {
        const std::string cmd = "cd '" + dir +
                                "' && exec env -u DISPLAY KRV_AUDIO=null "
                                "ASAN_OPTIONS=allocator_may_return_null=1:detect_leaks=0 "
                                "EGL_PLATFORM=surfaceless '" KRV_KORVANTH
                                "' --headless --script events.txt --shots shots --size " +
                                size + more;
        return lab->Spawn(host, {"sh", "-c", cmd}, dir + "/stdout.txt", dir + "/stderr.txt");
    }
    static std::string Log(const std::string& dir) { return ReadFile(dir + "/logs/vornlog.txt"); }
    // The end of a log, for a failure's message.
    static std::string Tail(const std::string& log) { return log.size() > 4000 ? log.substr(log.size() - 4000) : log; }
    // The standings rows the menus logged last.
    static std::string Standings(const std::string& log)
    {
        std::string rows, line;
        std::istringstream in(log);
        while (std::getline(in, line)) {
            if (line.rfind("mp: standings 1 ", 0) == 0)
                rows.clear();
            if (line.rfind("mp: standings ", 0) == 0)
                rows += line + "\n";
        }
        return rows;
    }
    // The shots a match sent and received, as the game logged them at its
    // end; false without that line.
    static bool Shots(const std::string& log, int& sent, int& received)
    {
        const std::string key = "game: match shots: ";
        size_t at = log.find(key);
        return at != std::string::npos &&
               std::sscanf(log.c_str() + at + key.size(), "%d sent, %d received", &sent, &received) == 2;
    }
    void Keep(const std::string& dir, const std::string& name, const std::vector<int>& frames)
    {
        const std::string out = "mp_match_shots";
        fs::create_directories(out);
        for (int f : frames) {
            char file[32];
            std::snprintf(file, sizeof file, "/shots/frame%05d.png", f);
            char kept[64];
            std::snprintf(kept, sizeof kept, "/%s_%04d.png", name.c_str(), f);
            std::error_code e;
            fs::copy_file(dir + file, out + kept, fs::copy_options::overwrite_existing, e);
            EXPECT_FALSE(e) << name << " has no frame " << f;
        }
    }

    // Host and guest play a match; each program in the namespace of its
    // lab host, and the bot in botNs when not 0; the frames kept are named
    // after prefix.
    void Play(bool internet, int hostNs, int guestNs, const std::string& prefix, int botNs = 0)
    {
        Script host = Common(internet ? kInternet : kLocal), guest = Common(internet ? kInternet : kLocal);
        if (internet) {
            // The first lobby server of the list; the host opens a room.
            host.Tap(240, kFirstRoom);
            guest.Tap(240, kFirstRoom);
            host.Tap(300, kNewRoom);
        } else {
            host.Tap(240, kHost);
            guest.Tap(240, kJoin);
        }
        // The other program's pace is unknown: the room is chosen, and the
        // match started, again and again until it happens (a tap in the game
        // only steers a little).
        for (int i = 0; i < kRetries; ++i) {
            guest.Tap(kJoinFrom + i * kRetryEvery, kFirstRoom);
            host.Tap(kStartFrom + i * kRetryEvery, kStart);
        }
        Fight(host);
        Fight(guest);
        // The host opens the options from the pause menu while the match
        // goes on, and comes back to it.
        host.Tap(kOptionsAt, kPause);
        host.Tap(kOptionsAt + 40, kOptionsRow);
        host.Tap(kOptionsLeft, kOptionsBack);
        guest.Tap(kLeaveAt, kPause);
        guest.Tap(kLeaveAt + 40, kLeaveRow);
        guest.Tap(kLeaveAt + 80, kYes);
        host.Line(kHostExit, "exit");
        guest.Line(kGuestExit, "exit");

        const std::string hostDir = Prepare(prefix + "host", "ALPHA", host.text);
        const std::string guestDir = Prepare(prefix + "guest", "BRAVO", guest.text);
        std::unique_ptr<Neighbours> neighbours;
        if (!internet) {
            neighbours = std::make_unique<Neighbours>(*lab);
            ASSERT_TRUE(neighbours->up);
        }
        pid_t h = Spawn(hostNs, hostDir), g = Spawn(guestNs, guestDir), b = -1;
        const std::string botOut = top + "/bot.txt";
#ifdef KRV_MPBOT
        // The machine gun (record 0), which the match's aircraft carry.
        if (botNs)
            b = lab->Spawn(botNs,
                           {KRV_MPBOT, "--join", "--name", "CHARLIE", "--data", KRV_DEMO_ARCHIVE, "--weapon", "0",
                            "--timeout", "500", "--script", "wait 1000; kill 0; leave"},
                           botOut, botOut + ".err");
#endif
        // Generous: a busy machine slows the programs down, not their scripts.
        int hs = NetLab::Wait(h, 600), gs = NetLab::Wait(g, 600);
        const std::string hostLog = Log(hostDir), guestLog = Log(guestDir);
        if (neighbours) {
            const bool both = neighbours->bothListed;
            const int port = neighbours->programPort, reopened = neighbours->reopened;
            neighbours.reset();
            EXPECT_EQ(port, 1025) << "the program hosts on the next free game port";
            EXPECT_TRUE(both) << "the two rooms of the host's machine listed at once";
            EXPECT_GT(reopened, 0) << "connections without a name were closed while the guest joined";
            EXPECT_NE(hostLog.find("connections without a name"), std::string::npos);
        }
        EXPECT_TRUE(hs >= 0 && WIFEXITED(hs) && WEXITSTATUS(hs) == 0) << "host status " << hs;
        EXPECT_TRUE(gs >= 0 && WIFEXITED(gs) && WEXITSTATUS(gs) == 0) << "guest status " << gs;
        EXPECT_NE(hostLog.find("app: state 3 -> 5"), std::string::npos) << "the host is back from the options";
        for (const std::string* log : {&hostLog, &guestLog}) {
            EXPECT_NE(log->find("app: the match is loaded"), std::string::npos) << Tail(*log);
            EXPECT_NE(log->find("app: state 5 -> 8"), std::string::npos) << "back to the multiplayer menus";
            EXPECT_NE(log->find("app: the match is over"), std::string::npos);
        }
        // Both fired, and each received the other's shots.
        for (const std::string* log : {&hostLog, &guestLog}) {
            int sent = 0, received = 0;
            ASSERT_TRUE(Shots(*log, sent, received)) << Tail(*log);
            EXPECT_GT(sent, 0);
            EXPECT_GT(received, 0);
        }
        if (b > 0) {
            const int bs = NetLab::Wait(b, 120);
            const std::string said = ReadFile(botOut);
            EXPECT_TRUE(bs >= 0 && WIFEXITED(bs) && WEXITSTATUS(bs) == 0) << "bot status " << bs << ": " << said;
            EXPECT_NE(said.find("kills 1\n"), std::string::npos) << said << ReadFile(botOut + ".err");
            EXPECT_EQ(hostLog.find(": dropped, it names"), std::string::npos) << Tail(hostLog);
            EXPECT_EQ(hostLog.find("the match's aircraft do not carry"), std::string::npos) << Tail(hostLog);
        }
        const std::string rows = Standings(hostLog);
        EXPECT_NE(rows.find("mp: standings 1 ALPHA"), std::string::npos) << rows;
        EXPECT_EQ(rows, Standings(guestLog));
        Keep(hostDir, prefix + "host", kKeptHost);
        Keep(guestDir, prefix + "guest", kKeptGuest);
    }

    std::unique_ptr<NetLab> lab;
    std::string top;
};

TEST_F(ProgramMatch, OnTheLocalNetwork)
{
    lab = std::make_unique<NetLab>(3);
    if (!lab->Ok())
        GTEST_SKIP() << "local-network test skipped: " << lab->Why();
    Play(false, 1, 2, "lan_", 3);
}

// The test's session hosts a room on the local network; two guest programs
// join it, one in English at 1024 x 600, one in German at 480 x 320, which
// opens its settings. The host taps Start, its start wait passes the
// limit, and its Start goes ahead: the German guest, still in its settings,
// is left out at once; the host's clock then passes the start's time limit
// before the English guest's answer can come: it is left out too. Each is
// told why, the line staying up until it exits; with nobody else to play,
// the host is back in its room, told why.
TEST_F(ProgramMatch, LateAnswersAreToldOnTheLocalNetwork)
{
    lab = std::make_unique<NetLab>(3);
    if (!lab->Ok())
        GTEST_SKIP() << "local-network test skipped: " << lab->Why();
    InstallNetworkBackEnds();
    PSetVirtualClock(1);
    Profile profile;
    KrvMpConn host;
    host.profile = &profile;
    host.MP_SetType(Multiplayer::kNetLocal);
    char name[] = "HOSTY";
    ASSERT_EQ(host.MP_Init(name), 1);
    ASSERT_TRUE(lab->Enter(1));
    const int hosting = host.MP_RoomCreate_Begin("ARENA");
    lab->Leave();
    ASSERT_EQ(hosting, 1);

    // The same walk at both sizes: points of 1024 x 600 and of 480 x 320.
    struct Points {
        int intro[2], title[2], drag[3], selector[2], ok[2], local[2], join[2], firstRoom[2], settings[2];
    };
    const Points large = {{100, 200}, {110, 210}, {400, 440, 395}, {917, 295}, {512, 331},
                          {512, 274}, {512, 326}, {272, 86}, {0, 0}};
    const Points small = {{100, 200}, {110, 210}, {200, 290, 245}, {420, 155}, {240, 191},
                          {240, 134}, {240, 186}, {130, 86}, {371, 136}};
    constexpr int kExit = 1500, kKept = kExit - 1;
    auto walk = [&](const Points& at) {
        Script s;
        s.Tap(1, at.intro);
        s.Tap(3, at.title);
        s.Line(70, "down 0 " + std::to_string(at.drag[0]) + " " + std::to_string(at.drag[1]));
        s.Line(71, "move 0 " + std::to_string(at.drag[0]) + " " + std::to_string((at.drag[1] + at.drag[2]) / 2));
        s.Line(72, "move 0 " + std::to_string(at.drag[0]) + " " + std::to_string(at.drag[2]));
        s.Line(73, "up 0 " + std::to_string(at.drag[0]) + " " + std::to_string(at.drag[2]));
        s.Tap(90, at.selector);
        s.Tap(130, at.ok);
        s.Tap(200, at.local);
        s.Tap(240, at.join);
        for (int i = 0; i < kRetries; ++i)
            s.Tap(kJoinFrom + i * kRetryEvery, at.firstRoom);
        if (at.settings[0])
            s.Tap(kJoinFrom + kRetries * kRetryEvery + 20, at.settings);
        s.Line(kExit, "exit");
        return s.text;
    };
    const std::string frames = " --shot-frames 300-" + std::to_string(kKept) + "/50," + std::to_string(kKept);
    const std::string en = Prepare("late_en", "BRAVO", walk(large));
    const std::string de = Prepare("late_de", "JAEGER", walk(small), 1);
    const pid_t pe = Spawn(2, en, "1024x600", frames), pd = Spawn(3, de, "480x320", frames);

    // The host's clock follows the wall clock, but for the jump past the
    // start's limit just after the start went out, before any answer came.
    bool started = false, waiting = false, waited = false;
    constexpr int kWaitSteps = 6;
    int told = 0, waitSteps = 0, waitedAt = 0;
    auto last = std::chrono::steady_clock::now();
    int se = -1, sd = -1;
    for (int polls = 0; polls < 600 * 100 && (se < 0 || sd < 0); ++polls) {
        usleep(10000);
        const auto t = std::chrono::steady_clock::now();
        PAdvanceVirtualClock(uint32_t(std::chrono::duration_cast<std::chrono::milliseconds>(t - last).count()));
        last = t;
        told += host.MP_Update(PTickCount()) == KrvMpConn::kErrNobodyElse;
        const bool joined = host.playerCount == 3 && host.players[1].name[0] && host.players[2].name[0];
        if (!waiting && joined && (host.players[1].busy || host.players[2].busy)) {
            // The host's Start while the German guest is in its settings: the
            // start wait begins.
            host.TapStart();
            waiting = true;
        }
        // The start wait passes in steps shorter than a silent link's limit,
        // the guests heard in between.
        if (waiting && !waited && polls % 200 == 0) {
            PAdvanceVirtualClock(KrvMpConn::kStartWaitLimit / kWaitSteps);
            told += host.MP_Update(PTickCount()) == KrvMpConn::kErrNobodyElse;
            waited = ++waitSteps == kWaitSteps;
            waitedAt = polls;
        }
        // The Start goes ahead 3 s of wall clock after the start wait's last
        // step, so that both guests have been heard since that step (a guest
        // in the room sends every kRoomSendInterval): the jump past the
        // start's limit then stays within a silent link's.
        if (!started && waited && polls - waitedAt >= 300 && host.MP_IsAllReady()) {
            host.FinishStartWait();
            PAdvanceVirtualClock(KrvMpConn::kStartReplyLimit);
            told += host.MP_Update(PTickCount()) == KrvMpConn::kErrNobodyElse;
            started = true;
        }
        for (auto [pid, status] : {std::pair{pe, &se}, std::pair{pd, &sd}})
            if (int st = 0; *status < 0 && waitpid(pid, &st, WNOHANG) == pid)
                *status = st;
    }
    for (int i = 1; i < host.playerCount; ++i) {
        EXPECT_EQ(host.players[i].matchState, uint8_t(MatchState::Left)) << host.players[i].name;
    }
    EXPECT_EQ(told, 1) << "the host is told that nobody else plays";
    EXPECT_EQ(host.state, KrvMpConn::kInRoomAsHost);
    host.MP_Release();
    PSetVirtualClock(0);
    EXPECT_TRUE(started);
    for (const auto& [dir, status] : {std::pair{en, se}, std::pair{de, sd}}) {
        const std::string log = Log(dir);
        EXPECT_TRUE(status >= 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0) << dir << " status " << status;
        EXPECT_NE(log.find("The host left me out of this match"), std::string::npos) << Tail(log);
        EXPECT_EQ(log.find("app: the match is over"), std::string::npos) << Tail(log);
    }
    Keep(en, "late_en_1024x600", {kKept});
    Keep(de, "late_de_480x320", {kKept});
}

TEST_F(ProgramMatch, ThroughTheLobbyServices)
{
    lab = std::make_unique<NetLab>(1);
    if (!lab->Ok())
        GTEST_SKIP() << "internet test skipped: " << lab->Why();
    // The services listen inside the programs' namespace.
    char key[VOrededidaza::Internal::ServerDiscoveryImp::kKeyLength + 1];
    VOrededidaza::Internal::ServerDiscoveryImp::getQueryKey(key);
    lobbytest::WebService web{key};
    lobbytest::LobbyServer lobby;
    lobby.SetLifetimeMs(300000);
    ASSERT_TRUE(lab->Enter(1));
    const bool up = web.Start(kServicePort) && lobby.Start();
    lab->Leave();
    ASSERT_TRUE(up);
    lobbytest::ServerRecord record;
    record.ip = "127.0.0.1";
    record.port = uint32_t(lobby.Port());
    record.name = "ARENA";
    web.SetServers({record});
    Play(true, 1, 1, "net_");
}

} // namespace
#endif
