// Log lines that a peer's messages cause. A hostile or broken peer can send
// hundreds of bad messages a second, each worth one line; on a tablet's
// storage that would grow the log without bound. Lines of one kind (their
// format) from one peer are written in full a few at a time; the rest are
// counted, and one line with the count and the latest of them is written at
// most every few seconds. A line of another kind, or from another peer, has
// its own allowance; over all peers together the lines written are limited
// too (a peer that claims a new identity for every message).
#pragma once
#include <cstdint>

namespace pdebugpeer {
// Lines of one kind from one peer written in full before they are counted.
constexpr uint32_t kBurst = 5;
// The counted lines of a kind and peer are reported at most this often.
constexpr uint32_t kSummaryMs = 5000;
// A kind and peer silent for this long has its whole allowance again.
constexpr uint32_t kQuietMs = 60000;
// Over all peers: at most kGlobalBurst lines at once, then one more every
// kGlobalRefillMs.
constexpr uint32_t kGlobalBurst = 40;
constexpr uint32_t kGlobalRefillMs = 500;
// Kinds and peers followed at once; the one used longest ago makes room.
constexpr int kTracked = 32;
// Peers whose lines the overall limit held back are counted, this many at
// once (the one with the fewest makes room), and the line that reports the
// held lines names the ones with the most, at most kNamed of them.
constexpr int kHoldSources = 8;
constexpr int kNamed = 3;
}  // namespace pdebugpeer

// Writes a line caused by peer (any number that tells the peers of one kind
// of line apart: a player id, the lobby server) through _PDebug, within the
// limits above. The format string's address is the line's kind. The log's
// own lines about held lines name such a peer "peer N".
void _PDebugPeer(uint32_t peer, char const* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

// The same for a peer known by its IPv4 address (network byte order), which
// the log's own lines write in its dotted form; 0 stands for an address that
// could not be read.
void _PDebugPeerAddress(uint32_t address, char const* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

// Writes the counts that are due although no further line came (the peer
// stopped), and the count of lines the overall limit held back once it lets
// a line through again. Cheap when nothing is held; called once per network
// update.
void PDebugPeerTick();

// Forgets every count without writing it, so that what follows is limited as
// from the start of the run (tests, and fuzz targets before each input).
void PDebugPeerReset();
