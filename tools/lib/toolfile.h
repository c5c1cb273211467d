// File and byte helpers of the data tools.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Writes data to path through a temporary file in the same directory that
// then takes the name; a failed or short write removes the temporary file.
// On failure returns false and describes the problem in *err.
bool WriteFileAtomic(std::string const& path, void const* data, size_t size, std::string* err);
inline bool WriteFileAtomic(std::string const& path, std::vector<uint8_t> const& data, std::string* err)
{
    return WriteFileAtomic(path, data.data(), data.size(), err);
}
// Reads a whole file; false (with *err) when it cannot.
bool ReadFileBytes(std::string const& path, std::vector<uint8_t>* out, std::string* err);

// Little-endian values appended to a byte vector.
inline void PutLE16(std::vector<uint8_t>& v, uint32_t x)
{
    v.push_back(uint8_t(x));
    v.push_back(uint8_t(x >> 8));
}
inline void PutLE32(std::vector<uint8_t>& v, uint32_t x)
{
    PutLE16(v, x & 0xFFFF);
    PutLE16(v, x >> 16);
}
