// Fuzz target: a profile file from untrusted bytes. A file that is taken must
// write back to bytes that read as the same profile, and writing those again
// gives the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "game/frontend/profile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > size_t(Profile::kMaxFileSize))
        return 0;
    Profile p;
    if (!p.Deserialize(data, int(size)))
        return 0;
    static uint8_t once[Profile::kMaxFileSize], twice[Profile::kMaxFileSize];
    const int n = p.Serialize(once);
    if (n < Profile::kMinFileSize || n > int(size))
        std::abort();
    Profile back;
    if (!back.Deserialize(once, n) || back.Serialize(twice) != n || std::memcmp(once, twice, size_t(n)) != 0)
        std::abort();
    for (uint8_t m = 0; m < Profile::kModes; ++m)
        if (back.GetRank(m) >= Profile::kRanks || back.GetScore(m) != p.GetScore(m))
            std::abort();
    if (back.GetCurrentPlane() < 0)
        std::abort();
    return 0;
}
