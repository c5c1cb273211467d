// Whole matches between mpbot processes: 2 and 4 players on a local network
// of namespaces (one of the four killed with SIGKILL during the match), and 2
// through the test lobby services on loopback. Every surviving player must
// end normally and agree on the winner and the winner's kills.
#include <csignal>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "game/multiplayer/ipinterface.h"
#include "lan_netns.h"
#include "lobby_services.h"
#include "tools/mpbot/botcourse.h"

namespace {

class BotMatch : public ::testing::Test {
protected:
    using Spawner = std::function<pid_t(int bot, const std::vector<std::string>& args, const std::string& out)>;

    void SetUp() override
    {
        char tmpl[] = "/tmp/krv-bots-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override
    {
        for (pid_t p : bots)
            if (NetLab::Wait(p, 0) == -1) {
                kill(p, SIGKILL);
                waitpid(p, nullptr, 0);
            }
        lab.reset();
        NetLab::Run({"rm", "-rf", dir});
    }
    // Starts bot i (0 hosts for n players, 1 runs the script) and waits
    // until it is in the room with the id expected.
    void Start(int i, int n, int id, std::vector<std::string> args, const std::string& script, const Spawner& spawn)
    {
        out.push_back(dir + "/bot" + std::to_string(++files));
        args.insert(args.begin(), {KRV_MPBOT, "--speed", "4", "--timeout", "90", "--name", "PILOT" + std::to_string(i)});
        if (i == 0)
            args.insert(args.end(), {"--host", "ARENA", "--players", std::to_string(n)});
        else
            args.push_back("--join");
        if (i == 1)
            args.insert(args.end(), {"--script", script});
        bots.push_back(spawn(i, args, out.back()));
        ASSERT_TRUE(WaitFor([&] { return ReadFile(out.back()).find("joined " + std::to_string(id) + "\n") != std::string::npos; }))
            << "bot " << i << ": " << ReadFile(out.back()) << ReadFile(out.back() + ".err");
    }
    // Every bot still running ends well with the same winner, bot 1.
    void Finish(int survivors, int winner)
    {
        const std::string row = "player " + std::to_string(winner) + " PILOT1 kills 5\n";
        for (int i = 0; i < survivors; ++i) {
            int status = NetLab::Wait(bots[size_t(i)], 120);
            std::string text = ReadFile(out[size_t(i)]);
            EXPECT_TRUE(status >= 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0)
                << "bot " << i << " status " << status << ": " << text << ReadFile(out[size_t(i)] + ".err");
            EXPECT_NE(text.find("winner " + std::to_string(winner) + "\n"), std::string::npos) << "bot " << i << ": " << text;
            EXPECT_NE(text.find(row), std::string::npos) << "bot " << i << ": " << text;
        }
    }
    std::unique_ptr<NetLab> lab;
    std::string dir;
    std::vector<pid_t> bots;
    std::vector<std::string> out;
    int files = 0;
};

TEST_F(BotMatch, TwoAndFourPlayersOnTheLocalNetwork)
{
    for (int n : {2, 4}) {
        SCOPED_TRACE(n);
        bots.clear();
        out.clear();
        lab = std::make_unique<NetLab>(n);
        if (!lab->Ok())
            GTEST_SKIP() << "local-network test skipped: " << lab->Why();
        auto spawn = [&](int i, const std::vector<std::string>& args, const std::string& file) {
            return lab->Spawn(i + 1, args, file, file + ".err");
        };
        // Bot 1 shoots the others down in turn; with four, bot 3 is killed
        // once the match runs.
        std::string script = n == 2 ? "wait 500; kill 0; kill 0; kill 0; kill 0; kill 0"
                                    : "wait 500; kill 0; kill 2; kill 0; kill 2; kill 0";
        for (int i = 0; i < n; ++i)
            ASSERT_NO_FATAL_FAILURE(Start(i, n, i, {}, script, spawn));
        if (n == 4) {
            ASSERT_TRUE(WaitFor([&] { return ReadFile(out[3]).find("match\n") != std::string::npos; }));
            kill(bots[3], SIGKILL);
            EXPECT_TRUE(WIFSIGNALED(NetLab::Wait(bots[3], 10)));
        }
        Finish(n == 4 ? 3 : n, 1);
        lab.reset();
    }
}

TEST_F(BotMatch, TwoPlayersThroughTheLobbyServices)
{
    const char key[] = "KrvBotKey-01";
    lobbytest::WebService web{key};
    lobbytest::LobbyServer lobby;
    ASSERT_TRUE(web.Start());
    ASSERT_TRUE(lobby.Start());
    lobbytest::ServerRecord record;
    record.ip = "127.0.0.1";
    record.port = uint32_t(lobby.Port());
    web.SetServers({record});
    // The lobby list needs an own IPv4 address; without one the bots log in
    // by the lobby server's address.
    unsigned own;
    std::vector<std::string> via = {"--net", "internet", "--web", web.Host(), "--key", key};
    if (!GetHostAddr(own))
        via = {"--net", "internet", "--lobby", "127.0.0.1:" + std::to_string(lobby.Port())};
    auto spawn = [](int, const std::vector<std::string>& args, const std::string& file) {
        return NetLab::Fork(args, file, file + ".err");
    };
    // Lobby ids count from 100 in the order of login.
    for (int i = 0; i < 2; ++i)
        ASSERT_NO_FATAL_FAILURE(Start(i, 2, 100 + i, via, "wait 500; kill 100; kill 100; kill 100; kill 100; kill 100", spawn));
    Finish(2, 101);
}

// A bot's aircraft moves on every pass of its loop (about 5 ms): over an
// hour's passes (the old course overflowed after 335 s), from every spawn
// point and from any position a respawn may give, it stays inside its
// span, moving straight on by one step but where it comes in again from
// the far side.
TEST(BotCourse, StaysInsideItsSpanHoweverLongItFlies)
{
    using namespace botcourse;
    for (int32_t x : {0x1000000, 0x4000000, -kSpan, kSpan - 1, 0x7FFFFFFF, int32_t(0x80000000)}) {
        SCOPED_TRACE(x);
        int wraps = 0, outside = 0, jumps = 0;
        for (int pass = 0; pass < 3600 * 200; ++pass) {
            const int32_t next = NextX(x);
            outside += next < -kSpan || next >= kSpan;
            if (next != int64_t(x) + kStep) {
                ++wraps;
                jumps += next != -kSpan;
            }
            x = next;
        }
        EXPECT_EQ(outside, 0);
        EXPECT_EQ(jumps, 0);
        EXPECT_GE(wraps, 3600 * 200 / (2 * kSpan / kStep));
    }
}

}  // namespace
