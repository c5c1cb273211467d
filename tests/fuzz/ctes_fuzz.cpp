// Fuzz target: an ATC / ETC texture container from untrusted bytes, loaded
// into the texture cache over a back end that draws nothing.
#include "tests/fuzz/texture_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return FuzzTextureFile(data, size, &PTextureManager::AddTextureATC);
}
