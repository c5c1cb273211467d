// Reader of the engine's chunk files: "PIFF", a size, a four-character form
// type, then chunks (id, size, data) in which "FORM" chunks nest up to three
// deep. Between two NextChunk calls the reader is a stream over the data of
// the current chunk and never reads beyond it. A file that does not begin
// with "PIFF" is read through PZStream. Byte layout: docs/formats/piff.md.
#pragma once
#include <cstdint>

#include "engine/runtime/pstream.h"

// A four-character code as the 32-bit little-endian value stored in the file.
constexpr uint32_t PFourCC(char const (&s)[5])
{
    return uint32_t(uint8_t(s[0])) | uint32_t(uint8_t(s[1])) << 8 | uint32_t(uint8_t(s[2])) << 16 |
           uint32_t(uint8_t(s[3])) << 24;
}

class PIFFReader : public PStream {
public:
    static constexpr int kLevels = 4;

    // Opens path read-only through PFile and owns it.
    explicit PIFFReader(char const* path);
    PIFFReader(PStream* stream, int owns);
    ~PIFFReader() override;
    PIFFReader(PIFFReader const&) = delete;
    PIFFReader& operator=(PIFFReader const&) = delete;

    int IsOpen() const override;
    // Reads at most what is left of the current chunk.
    int Read(void* buffer, int count) override;
    int Write(void const* buffer, int count) override;
    // The current form's size; -1 without a stream.
    long Size() const override;

    // The next chunk id at the current level and its size, or 0 at the end
    // of the current form (a nested form is then left) or of the file. An
    // entered nested form is returned as "FORM"; its type is FormType().
    uint32_t NextChunk(unsigned int& size);
    void SkipChunk();
    void SkipForm();

    // What is left of the current form (the current chunk's data included),
    // bounded by what the stream can still deliver: a size taken from the
    // data that exceeds it cannot be real.
    uint32_t FormLeft();

    uint32_t FormType() const { return m_levels[m_level].type; }
    int Level() const { return m_level; }

private:
    struct FormLevel {
        uint32_t type;
        uint32_t size;
        uint32_t remain;
    };

    void DoOpen();
    void Fail();
    // Skips count bytes of the stream.
    void SkipBytes(uint32_t count);
    // Stops the walk: every later NextChunk returns 0.
    void EndWalk();
    bool ReadU32(uint32_t* v);

    FormLevel m_levels[kLevels];
    int m_level;
    uint32_t m_chunkRemain;
    int m_owns;
    PStream* m_stream;
};
