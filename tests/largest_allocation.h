// The largest single allocation a piece of code makes, seen through the
// sanitizer runtime's allocation hooks; 0 in a build without AddressSanitizer.
#pragma once
#include <cstddef>

#if defined(__SANITIZE_ADDRESS__)
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*)(const volatile void*, size_t),
                                                         void (*)(const volatile void*));
namespace testalloc {
inline size_t g_largest = 0;
inline void OnMalloc(const volatile void*, size_t size)
{
    if (size > g_largest)
        g_largest = size;
}
inline void OnFree(const volatile void*) {}
template <class F> size_t LargestAllocation(F f)
{
    static const bool hooked = __sanitizer_install_malloc_and_free_hooks(OnMalloc, OnFree) != 0;
    g_largest = 0;
    f();
    return hooked ? g_largest : 0;
}
} // namespace testalloc
#else
namespace testalloc {
template <class F> size_t LargestAllocation(F f)
{
    f();
    return 0;
}
} // namespace testalloc
#endif
