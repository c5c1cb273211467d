// File and byte helpers of the data tools.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A file written piece by piece through a temporary file in the same
// directory, which takes the name on Commit; a failed write or a file never
// committed leaves no trace. Failures return false and describe the problem
// in *err.
class AtomicFile {
public:
    explicit AtomicFile(std::string path) : m_path(std::move(path)) {}
    ~AtomicFile();
    AtomicFile(AtomicFile const&) = delete;
    AtomicFile& operator=(AtomicFile const&) = delete;

    bool Open(std::string* err);
    bool Write(void const* data, size_t size, std::string* err);
    bool Commit(std::string* err);

private:
    void Drop();

    std::string m_path;
    std::vector<char> m_tmp; // the temporary file's name, terminated
    int m_fd = -1;
};

// Writes data to path through an AtomicFile.
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
