// Colour palettes of indexed surfaces: RGB565 entries with an optional 5-bit
// alpha each (0 transparent .. 31 opaque).
//
// Whatever the entry count, a palette's arrays hold at least 256 entries
// (the unused ones zero), so any 8-bit index can be looked up safely.
#pragma once
#include <cstdint>

class PPalette {
public:
    uint16_t* colors;  // RGB565 entries
    uint8_t* alphas;   // 5-bit alpha per entry, or null
    uint32_t count;    // entries in use

    static constexpr unsigned kMinEntries = 256;

    PPalette();
    // Adopts the arrays (freed with PFree by the destructor).
    PPalette(unsigned count, void* colors, unsigned char* alphas);
    // Zeroed colours; with alpha, alphas all opaque. Count 0 allocates nothing.
    PPalette(unsigned count, bool withAlpha);
    PPalette(const unsigned* argb, unsigned count, bool withAlpha);
    PPalette(const unsigned char* bytes, unsigned count, bool bgr, bool withAlpha);
    PPalette(const PPalette&) = delete;
    PPalette& operator=(const PPalette&) = delete;
    ~PPalette();

    // Null when an array is missing (so a count of 0 yields null).
    static PPalette* Create(unsigned count, const unsigned char* bytes, bool bgr, bool withAlpha);
    static PPalette* Create(unsigned count, const unsigned* argb, bool withAlpha);

    // Entries the arrays hold (at least kMinEntries when allocated, else 0).
    unsigned Capacity() const { return m_capacity; }

    // 0xAARRGGBB (A = 255 without alphas); 0 for an index beyond the arrays.
    unsigned Get(unsigned i) const;
    // Setters ignore indices beyond the arrays. Alpha 0..255 is stored as
    // (a + 1) >> 3, at most 31.
    void Set(unsigned i, int r, int g, int b);
    void Set(unsigned i, int r, int g, int b, int a);
    void Set(unsigned i, unsigned argb);
    void SetAlpha(unsigned i, int a);
    void Set(unsigned first, const unsigned* argb, unsigned n);
    // Entries of 3 bytes (R, G, B or with bgr B, G, R), or 4 with withAlpha
    // (the fourth byte an alpha, stored only when the palette has alphas).
    void Set(unsigned first, const unsigned char* bytes, unsigned n, bool bgr, bool withAlpha);

    // Gives the palette an alpha array, every entry opaque (31), unless it
    // has one. False when memory runs out or there are no colours.
    bool EnsureAlphas();

    // A grey ramp of m entries: entry i has the level i * 255 / (m - 1).
    static PPalette* CreateGreyRamp(unsigned m);

private:
    void Allocate(unsigned count, bool withAlpha);
    uint32_t m_capacity = 0;
};

// The grey RGB565 colour of index i in a ramp of 2^depth levels (depth 1, 2,
// 4 or 8); what an indexed row without a palette is drawn with.
uint16_t PGreyRamp565(unsigned i, int depth);
// A 256-entry RGB565 table of the 8-bit grey ramp.
const uint16_t* PGreyTable565();
