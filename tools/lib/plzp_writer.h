// Writer of compressed streams: zlib data with the optional 12-byte "PLZP"
// header, or raw deflate. Layout: docs/formats/plzp.md.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

enum class PlzpForm {
    Header,  // "PLZP", uncompressed size, compressed size, zlib data
    Zlib,    // zlib data alone
    Raw,     // raw deflate, no zlib header or checksum
};

// Compresses size bytes at zlib level (0-9) into *out; false on a zlib error
// or when a size does not fit the header's 32-bit fields.
bool PlzpCompress(void const* data, size_t size, int level, PlzpForm form, std::vector<uint8_t>* out);
