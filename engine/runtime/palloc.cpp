#include "engine/runtime/palloc.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "engine/runtime/pdebug.h"

void* PAlloc(int size)
{
    if (size < 0) {
        _PDebug("OUT OF MEM: PAlloc (%d)!!\n", size);
        return nullptr;
    }
    void* p = std::malloc(size == 0 ? 4 : size_t(size));
    if (!p) {
        _PDebug("OUT OF MEM: PAlloc (%d)!!\n", size);
        return nullptr;
    }
    if (reinterpret_cast<uintptr_t>(p) & 3)
        _PDebug("WARNING: PAlloc size(%d) add(%p)!!\n", size, p);
    return p;
}

void* PAllocZ(int size)
{
    void* p = PAlloc(size);
    if (p && size > 0)
        std::memset(p, 0, size_t(size));
    return p;
}

void* PReAlloc(void* p, unsigned size)
{
    if (!p)
        return PAlloc(size > unsigned(INT_MAX) ? -1 : int(size));
    return std::realloc(p, size);
}

void PFree(void* p)
{
    if (p)
        std::free(p);
}

extern "C" void* zcalloc(void*, unsigned items, unsigned size)
{
    uint64_t n = uint64_t(items) * size;
    return PAlloc(n > uint64_t(INT_MAX) ? -1 : int(n));
}

extern "C" void zcfree(void*, void* p)
{
    PFree(p);
}

// The program's global allocation operators. They return null on exhaustion
// (the program is built with -fcheck-new, so callers keep their null tests).
// Sizes that do not fit the allocator's int count as exhaustion.
static void* AllocForNew(std::size_t n)
{
    return PAlloc(n > std::size_t(INT_MAX) ? -1 : int(n));
}

void* operator new(std::size_t n) { return AllocForNew(n); }
void* operator new[](std::size_t n) { return AllocForNew(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return AllocForNew(n); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return AllocForNew(n); }
void operator delete(void* p) noexcept { PFree(p); }
void operator delete[](void* p) noexcept { PFree(p); }
void operator delete(void* p, std::size_t) noexcept { PFree(p); }
void operator delete[](void* p, std::size_t) noexcept { PFree(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { PFree(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { PFree(p); }
