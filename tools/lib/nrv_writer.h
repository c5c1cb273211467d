// Writer of NRV images, the engine's own image format (byte layout in
// docs/formats/nrv.md).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// NRV header flags.
enum : int {
    kNrvFlagAlpha = 0x01,    // an alpha plane follows the pixel rows
    kNrvFlagPaeth = 0x02,    // rows and alpha plane are Paeth-filtered
    kNrvFlagDelta = 0x04,    // palette delta-coded
    kNrvFlag3Byte = 0x08,    // palette entries of 3 bytes (B, G, R)
    kNrvFlagKey = 0x10,      // the key field is valid
    kNrvFlagGrey = 0x20,     // no palette: a generated grey ramp
    kNrvFlagUnpadded = 0x40, // rows not padded to 4 bytes
    kNrvFlagExtra = 0x80,    // an extra block follows the header
};

struct NrvImage {
    int format = 8;    // pixel format 0..8
    int width = 0;
    int height = 0;
    // Pixels as stored, row after row without padding: one index byte per
    // pixel for formats 0-3, little-endian 16-bit words for 4-6, bytes B, G, R
    // for 7 and B, G, R, A for 8.
    std::vector<uint8_t> pixels;
    // Palette of formats 0-3 as 0xAARRGGBB (at most 65535 entries).
    std::vector<uint32_t> palette;
    // width x height alpha bytes, written with kNrvFlagAlpha.
    std::vector<uint8_t> alpha;
    // 0xRRGGBB for formats 4-8, a palette index for 0-3 (with kNrvFlagKey).
    uint32_t key = 0;
    // Bytes of the extra block (kNrvFlagExtra).
    std::vector<uint8_t> extra;
};

// Bytes per stored pixel of a format (0 for formats outside 0..8).
int NrvBytesPerPixel(int format);
// Size of one stored row with the given flags.
int NrvRowBytes(int format, int width, int flags);

// Encodes the image with the header flags; false with *err when the image
// does not fit them (sizes, palette, alpha plane).
bool NrvEncode(NrvImage const& img, int flags, std::vector<uint8_t>* out, std::string* err);

// Writes the file through a temporary file; with plzp the whole file is
// compressed behind a "PLZP" header (the engine reads either form).
bool NrvWriteFile(std::string const& path, NrvImage const& img, int flags, bool plzp, std::string* err);

// Paeth-filters one stored row in place of the engine's reader: byte-wise
// with a unit of bytesPerPixel over n bytes, or on 16-bit values over width
// values when bytesPerPixel is 2. prev is the previous unfiltered row.
void NrvPaethRow(uint8_t* out, uint8_t const* cur, uint8_t const* prev, int n, int bytesPerPixel, int width);
