#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "engine/runtime/pstream.h"

namespace {

// A stream that cannot seek, over a byte vector, counting its reads.
class PipeStream : public PStream {
public:
    explicit PipeStream(std::vector<uint8_t> d) : data(std::move(d)) {}
    int IsOpen() const override { return 1; }
    int Read(void* buffer, int count) override
    {
        if (count < 0)
            return -1;
        int n = std::min<int>(count, int(data.size() - pos));
        std::memcpy(buffer, data.data() + pos, size_t(n));
        pos += size_t(n);
        return n;
    }
    int Write(void const*, int) override { return -1; }
    std::vector<uint8_t> data;
    size_t pos = 0;
};

TEST(Stream, LittleEndianReadersAndShortReads)
{
    uint8_t b[] = {0x34, 0x12, 0x78, 0x56, 0x34, 0x12, 0xAB};
    PMemStream s(b, sizeof b);
    EXPECT_EQ(s.Get16(), 0x1234u);
    EXPECT_EQ(s.Get32(), 0x12345678u);
    EXPECT_EQ(s.Get16(), 0xFFFFFFFFu); // one byte left
    EXPECT_EQ(s.Seek(-1, 2), 6);
    EXPECT_EQ(s.GetByte(), 0xABu);
    EXPECT_EQ(s.GetByte(), 0xFFFFFFFFu);
    EXPECT_EQ(s.Get32(), 0xFFFFFFFFu);
}

TEST(Stream, MemStreamSeekReadWriteClamp)
{
    uint8_t b[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    PMemStream s(b, 10);
    EXPECT_EQ(s.Seek(-3, 2), 7);
    EXPECT_EQ(s.Seek(20, 0), 10);
    EXPECT_EQ(s.Seek(-1, 0), 0);
    EXPECT_EQ(s.Seek(LONG_MAX, 1), 10);
    EXPECT_EQ(s.Seek(LONG_MIN, 2), 0);
    s.Seek(7, 0);
    uint8_t out[8];
    EXPECT_EQ(s.Read(out, 5), 3);
    EXPECT_EQ(out[0], 7);
    EXPECT_EQ(s.Read(out, 5), 0);
    EXPECT_EQ(s.Read(out, -1), -1);

    s.Seek(8, 0);
    uint8_t w[4] = {0xAA, 0xBB, 0xCC, 0xDD};
    EXPECT_EQ(s.Write(w, 4), 2);
    EXPECT_EQ(b[9], 0xBB);
    EXPECT_EQ(s.Write(w, -5), -1);
    EXPECT_EQ(s.Position(), 10u);

    unsigned avail = 99;
    EXPECT_EQ(s.GetPointer(10, &avail), nullptr);
    EXPECT_EQ(avail, 0u);
    EXPECT_EQ(s.GetPointer(4, &avail), b + 4);
    EXPECT_EQ(avail, 6u);

    s.Seek(8, 0);
    EXPECT_EQ(s.Skip(5), 5);
    EXPECT_EQ(s.Position(), 10u);

    PMemStream closed(nullptr, 10);
    EXPECT_FALSE(closed.IsOpen());
    EXPECT_EQ(closed.Read(out, 1), -1);
    EXPECT_EQ(closed.Seek(0, 0), -1);
    EXPECT_EQ(closed.Size(), -1);
    EXPECT_EQ(closed.Skip(3), -1);
}

TEST(Stream, SkipOnAStreamThatCannotSeekDiscardsExactlyTheCount)
{
    std::vector<uint8_t> d(300);
    for (size_t i = 0; i < d.size(); i++)
        d[i] = uint8_t(i);
    PipeStream p(d);
    EXPECT_EQ(p.CanSeek(), 0);
    EXPECT_EQ(p.Seek(0, 0), -1);
    EXPECT_EQ(p.Size(), -1);
    EXPECT_EQ(p.Skip(0), 0);
    EXPECT_EQ(p.Skip(-4), 0);
    EXPECT_EQ(p.Skip(130), 130);
    EXPECT_EQ(p.GetByte(), 130u);
    EXPECT_EQ(p.Skip(1000), 300 - 131);
    EXPECT_EQ(p.GetByte(), 0xFFFFFFFFu);
}

} // namespace
