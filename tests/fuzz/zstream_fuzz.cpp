// Fuzz target: a compressed stream from untrusted bytes. The first byte picks
// raw deflate or the zlib form (with or without "PLZP").
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/runtime/pzstream.h"

namespace {

// Output read per input, and reads of the first pass. A few KB of deflate
// can stand for megabytes, every byte of them costs its share of decoding,
// and reading in pieces of a few bytes costs a call per piece; past these
// the stream only repeats what the decoder has done.
constexpr long kMaxOut = 256 << 10;
constexpr int kMaxReads = 2048;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    int mode = PZStream::kRead | ((data[0] & 1) ? int(PZStream::kRaw) : 0);
    std::vector<uint8_t> bytes(data + 1, data + size);
    uint8_t buf[4096];
    {
        PZStream z(bytes.data(), long(bytes.size()), mode);
        long total = 0;
        int n = 0;
        for (int reads = 0; reads < kMaxReads && total < kMaxOut && (n = z.Read(buf, 1 + (data[0] >> 1) * 31)) > 0;
             reads++)
            total += n;
        z.Seek(3, 0);
        z.Read(buf, 100);
        // Seeking from the end decodes the whole stream again, so only
        // streams that ended within the limit do.
        if (n <= 0) {
            z.Seek(-1, 2);
            z.Seek(-5, 1);
            z.Read(buf, sizeof buf);
            z.Size();
        }
    }
    PStream* s = PZStream::Open(bytes.data(), long(bytes.size()), PZStream::kRead);
    if (s) {
        long total = 0;
        int n;
        while (total < kMaxOut && (n = s->Read(buf, sizeof buf)) > 0)
            total += n;
        delete s;
    }
    return 0;
}
