// The engine's allocator. Every new and delete of the program goes through it;
// allocation failure is logged and returned as null, never thrown.
#pragma once
#include <cstddef>

void* PAlloc(int size);
void* PAllocZ(int size);
void* PReAlloc(void* p, unsigned size);
void PFree(void* p);

// Allocation functions handed to zlib.
extern "C" void* zcalloc(void* opaque, unsigned items, unsigned size);
extern "C" void zcfree(void* opaque, void* p);
