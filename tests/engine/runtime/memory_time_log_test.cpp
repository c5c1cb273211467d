#include <climits>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "engine/runtime/palloc.h"
#include "engine/runtime/pdebug.h"
#include "engine/runtime/pdebugpeer.h"
#include "engine/runtime/pdebugmute.h"
#include "engine/runtime/ptime.h"

namespace {

struct Big {
    char bytes[64];
};

TEST(Memory, FailedAllocationReachesTheCallerAsNull)
{
    EXPECT_EQ(PAlloc(-1), nullptr);
    // More than the allocator's int can count: operator new must give null,
    // and the -fcheck-new build must keep the null test in the constructor
    // call path instead of constructing at address 0.
    volatile size_t huge = size_t(INT_MAX) / sizeof(Big) + 10;
    Big* arr = new Big[huge];
    EXPECT_EQ(arr, nullptr);
    delete[] arr;
    // Exhaustion of the C library allocator itself.
    void* p = PReAlloc(nullptr, 0xFFFFFFF0u);
    EXPECT_EQ(p, nullptr);
}

TEST(Memory, ZeroSizeGivesAUsableBlock)
{
    void* p = PAlloc(0);
    ASSERT_NE(p, nullptr);
    std::memset(p, 0xAA, 4); // a 4-byte block
    PFree(p);
    PFree(nullptr);
}

TEST(Time, TickerStopsResumesAndAdjusts)
{
    PTicker t;
    PSleep(30);
    t.Stop();
    uint32_t atStop = t();
    EXPECT_GE(atStop, 30u);
    PSleep(300);
    // It keeps counting while stopped.
    EXPECT_GE(t(), atStop + 300);
    t.Stop(); // a second stop keeps the first elapsed value
    uint32_t gap = t.Resume();
    EXPECT_GE(gap, 300u);
    uint32_t after = t();
    EXPECT_GE(after, atStop);
    EXPECT_LT(after, atStop + 250);
    EXPECT_EQ(t.Resume(), 0u);
    t.Adjust(1000);
    EXPECT_GT(int32_t(after - t()), 900);
}

std::string ReadLog()
{
    std::ifstream f("logs/vornlog.txt", std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

TEST(Log, FirstMessageTruncatesLaterOnesAppend)
{
    // A private working directory: other test processes log too.
    char dir[] = "/tmp/krvlogXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    ASSERT_EQ(chdir(dir), 0);
    mkdir("logs", 0777);
    {
        std::ofstream old("logs/vornlog.txt");
        old << "from an earlier run\n";
    }
    _PDebug("%s", ""); // an empty message writes nothing
    EXPECT_EQ(ReadLog(), "from an earlier run\n");
    _PDebug("one %d\n", 1);
    EXPECT_EQ(ReadLog(), "one 1\n");
    _PDebug("two\n");
    EXPECT_EQ(ReadLog(), "one 1\ntwo\n");
    // Muted scopes nest; the log speaks again when the last one ends.
    {
        PDebugMute quiet;
        {
            PDebugMute nested;
        }
        PDebugMute off(false);
        _PDebug("muted\n");
    }
    {
        PDebugMute off(false);
        _PDebug("three\n");
    }
    EXPECT_EQ(ReadLog(), "one 1\ntwo\nthree\n");
}

// Lines peers cause: a peer that claims a new identity for every bad message
// still writes a bounded log, which says how many lines it held back; once
// the flood ends, a quiet peer's line comes in full again.
TEST(Log, LinesFromManyPeersAreLimitedTogether)
{
    PSetVirtualClock(1);
    PDebugPeerReset();
    testing::internal::CaptureStdout();
    for (uint32_t peer = 0; peer < 3000; ++peer) {
        _PDebugPeer(peer, "bad message from %u\n", unsigned(peer));
        if (peer % 100 == 99)
            PAdvanceVirtualClock(1000);  // 100 a second for 30 s
    }
    PAdvanceVirtualClock(pdebugpeer::kGlobalRefillMs * 2);
    _PDebugPeer(7777, "a new fault from %u\n", 7777u);
    const std::string log = testing::internal::GetCapturedStdout();
    PSetVirtualClock(0);

    uint32_t lines = 0, written = 0, held = 0;
    std::istringstream in(log);
    for (std::string line; std::getline(in, line); ++lines) {
        unsigned n = 0;
        if (std::sscanf(line.c_str(), "log: %u line", &n) == 1)
            held += n;
        else if (line.rfind("bad message from", 0) == 0)
            ++written;
    }
    const uint32_t budget = pdebugpeer::kGlobalBurst + 30000 / pdebugpeer::kGlobalRefillMs + 2;
    EXPECT_LE(lines, budget);
    EXPECT_EQ(written + held, 3000u) << "every line is written or counted";
    EXPECT_NE(log.find("a new fault from 7777"), std::string::npos);
}

// A flood that uses up the overall limit: the line that reports what it held
// back names the peers that caused most of it (addresses dotted, 0 as an
// address not known, other peers by number) as soon as a line may pass, with
// or without a further line; the counts of one kind name their peer the same
// way. After a reset the same lines give the same log.
TEST(Log, HeldLinesNameThePeersThatCausedThem)
{
    const uint32_t flooder = 0x02004E0Au;  // 10.78.0.2 in network byte order
    auto flood = [&] {
        PSetVirtualClock(1);
        PDebugPeerReset();
        testing::internal::CaptureStdout();
        for (uint32_t id = 100; id < 100 + pdebugpeer::kGlobalBurst; ++id)
            _PDebugPeer(id, "fault of %u\n", unsigned(id));
        for (uint32_t i = 0; i <= pdebugpeer::kBurst; ++i) {
            _PDebugPeerAddress(flooder, "bad frame from %s\n", "10.78.0.2");
            _PDebugPeerAddress(flooder, "bad name from %s\n", "10.78.0.2");
            _PDebugPeerAddress(0, "a client that reset\n");
        }
        _PDebugPeer(7, "bad list from %d\n", 7);
        _PDebugPeer(7, "bad list from %d\n", 7);
        _PDebugPeer(uint32_t(-1), "stranger\n");
        PAdvanceVirtualClock(pdebugpeer::kGlobalRefillMs);
        PDebugPeerTick();
        PAdvanceVirtualClock(pdebugpeer::kSummaryMs);
        PDebugPeerTick();
        std::string log = testing::internal::GetCapturedStdout();
        PSetVirtualClock(0);
        return log;
    };
    const std::string log = flood();
    EXPECT_NE(log.find("\nlog: 18 lines from peers held back, too many at once; most from 10.78.0.2 (10), "
                       "an unknown address (5), peer 7 (2)\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("\nlog: 1 more like this from 10.78.0.2 held back, the latest: bad frame from 10.78.0.2\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("\nlog: 1 more like this from an unknown address held back, the latest: a client that reset\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(flood(), log);

    // One line held back is one line.
    PSetVirtualClock(1);
    PDebugPeerReset();
    testing::internal::CaptureStdout();
    for (uint32_t id = 0; id <= pdebugpeer::kGlobalBurst; ++id)
        _PDebugPeer(id, "fault of %u\n", unsigned(id));
    PAdvanceVirtualClock(pdebugpeer::kGlobalRefillMs);
    PDebugPeerTick();
    const std::string one = testing::internal::GetCapturedStdout();
    PSetVirtualClock(0);
    EXPECT_NE(one.find("\nlog: 1 line from peers held back, too many at once; most from peer 40 (1)\n"),
              std::string::npos)
        << one;
}

} // namespace
