// Whole matches between mpbot processes: 2 and 4 players on a local network
// of namespaces (one of the four killed with SIGKILL during the match), and 2
// through the test lobby services on loopback. Every surviving player must
// end normally and agree on the winner and the table.
#include <csignal>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "engine/net/online/serverdiscoveryimp.h"
#include "game/multiplayer/ipinterface.h"
#include "lan_netns.h"
#include "lobby_services.h"

namespace {

const std::string kBot = KRV_MPBOT;

// The output of a bot once it holds the line.
bool Says(const std::string& file, const std::string& line)
{
    return WaitFor([&] { return ReadFile(file).find(line + "\n") != std::string::npos; });
}

// The bot's final table: from its winner line on.
std::string Table(const std::string& file)
{
    std::string out = ReadFile(file);
    size_t at = out.find("winner ");
    return at == std::string::npos ? "(no table) " + out : out.substr(at);
}

bool EndedWell(int status)
{
    return status >= 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

class BotMatch : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/krv-bots-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override
    {
        lab.reset();
        NetLab::Run({"rm", "-rf", dir});
    }
    std::vector<std::string> Bot(std::vector<std::string> args)
    {
        args.insert(args.begin(), kBot);
        args.insert(args.end(), {"--speed", "4", "--timeout", "90"});
        return args;
    }
    std::unique_ptr<NetLab> lab;
    std::string dir;
};

TEST_F(BotMatch, TwoAndFourPlayersOnTheLocalNetwork)
{
    for (int n : {2, 4}) {
        SCOPED_TRACE(n);
        lab = std::make_unique<NetLab>(n);
        if (!lab->Ok())
            GTEST_SKIP() << "local-network test skipped: " << lab->Why();
        // Client 1 shoots the others down in turn; with four, client 3 is
        // killed once the match runs.
        std::string script = n == 2 ? "wait 500; kill 0; kill 0; kill 0; kill 0; kill 0"
                                    : "wait 500; kill 0; kill 2; kill 0; kill 2; kill 0";
        std::vector<pid_t> bots;
        std::vector<std::string> out;
        for (int i = 0; i < n; ++i) {
            out.push_back(dir + "/bot" + std::to_string(n) + std::to_string(i));
            std::vector<std::string> args =
                i == 0 ? Bot({"--host", "ARENA", "--players", std::to_string(n)}) : Bot({"--join"});
            args.insert(args.end(), {"--name", "PILOT" + std::to_string(i)});
            if (i == 1)
                args.insert(args.end(), {"--script", script});
            bots.push_back(lab->Spawn(i + 1, args, out.back(), out.back() + ".err"));
            ASSERT_TRUE(Says(out.back(), "joined " + std::to_string(i)))
                << "bot " << i << ": " << ReadFile(out.back()) << ReadFile(out.back() + ".err");
        }
        if (n == 4) {
            ASSERT_TRUE(Says(out[3], "match"));
            kill(bots[3], SIGKILL);
            EXPECT_TRUE(WIFSIGNALED(NetLab::Wait(bots[3], 10)));
        }
        for (int i = 0; i < (n == 4 ? 3 : n); ++i) {
            int status = NetLab::Wait(bots[size_t(i)], 120);
            EXPECT_TRUE(EndedWell(status)) << "bot " << i << " status " << status << ": " << ReadFile(out[size_t(i)])
                                           << ReadFile(out[size_t(i)] + ".err");
            std::string table = Table(out[size_t(i)]);
            EXPECT_EQ(table.rfind("winner 1\n", 0), 0u) << "bot " << i << ": " << table;
            EXPECT_NE(table.find("player 1 PILOT1 kills 5\n"), std::string::npos) << "bot " << i << ": " << table;
        }
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
    record.name = "Bots";
    web.SetServers({record});
    // The lobby list needs an own IPv4 address; without one the bots log in
    // by the lobby server's address.
    unsigned own;
    std::vector<std::string> via = {"--net", "internet", "--web", web.Host(), "--key", key};
    if (!GetHostAddr(own))
        via = {"--net", "internet", "--lobby", "127.0.0.1:" + std::to_string(lobby.Port())};
    std::vector<pid_t> bots;
    std::vector<std::string> out;
    for (int i = 0; i < 2; ++i) {
        out.push_back(dir + "/net" + std::to_string(i));
        std::vector<std::string> args = Bot(via);
        args.insert(args.end(), {"--name", "NET" + std::to_string(i)});
        if (i == 0)
            args.insert(args.end(), {"--host", "SKY", "--players", "2"});
        else
            args.insert(args.end(), {"--join", "--script", "wait 500; kill 100; kill 100; kill 100; kill 100; kill 100"});
        bots.push_back(NetLab::Fork(args, out.back(), out.back() + ".err"));
        ASSERT_TRUE(Says(out.back(), "joined " + std::to_string(100 + i))) << ReadFile(out.back() + ".err");
    }
    for (int i = 0; i < 2; ++i) {
        int status = NetLab::Wait(bots[size_t(i)], 120);
        EXPECT_TRUE(EndedWell(status)) << "bot " << i << ": " << ReadFile(out[size_t(i)]) << ReadFile(out[size_t(i)] + ".err");
        if (status < 0) {
            kill(bots[size_t(i)], SIGKILL);
            waitpid(bots[size_t(i)], nullptr, 0);
        }
    }
    for (int i = 0; i < 2; ++i) {
        std::string table = Table(out[size_t(i)]);
        EXPECT_EQ(table.rfind("winner 101\n", 0), 0u) << "bot " << i << ": " << table;
        EXPECT_NE(table.find("player 101 NET1 kills 5\n"), std::string::npos) << "bot " << i << ": " << table;
    }
}

}  // namespace
