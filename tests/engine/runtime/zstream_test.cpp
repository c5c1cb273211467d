#include <algorithm>
#include <cstring>
#include <string>
#include <vector>
#include <zlib.h>

#include <gtest/gtest.h>

#include "engine/runtime/pfile.h"
#include "engine/runtime/pzstream.h"
#include "streams_fixtures.h"
#include "tools/lib/plzp_writer.h"

namespace {

using fixtures::Drain;
using fixtures::Path;
using fixtures::ReadFile;

// A growable sink that cannot seek.
class SinkStream : public PStream {
public:
    int IsOpen() const override { return 1; }
    int Read(void*, int) override { return -1; }
    int Write(void const* b, int n) override
    {
        if (failAfter >= 0 && int(data.size()) + n > failAfter)
            return -1;
        auto p = static_cast<uint8_t const*>(b);
        data.insert(data.end(), p, p + n);
        return n;
    }
    std::vector<uint8_t> data;
    int failAfter = -1;
};

TEST(ZStream, ReadsEveryLevelWithHeaderWithoutAndRaw)
{
    ASSERT_FALSE(fixtures::Dir().empty()) << "fixture generation failed";
    std::vector<uint8_t> want = ReadFile(Path("zpayload.bin"));
    ASSERT_EQ(want.size(), 100000u);
    for (int level = 0; level <= 9; level++) {
        SCOPED_TRACE(level);
        auto file = [level](char const* kind) {
            std::string name = "z";
            name += std::to_string(level);
            name += kind;
            return Path(name);
        };
        {
            PStream* s = PZStream::Open(file("_header.bin").c_str(), PZStream::kRead);
            ASSERT_NE(s, nullptr);
            EXPECT_EQ(s->Size(), 100000); // from the header, before any read
            EXPECT_EQ(Drain(*s), want);
            delete s;
        }
        {
            std::vector<uint8_t> z = ReadFile(file("_zlib.bin"));
            PZStream s(z.data(), long(z.size()), PZStream::kRead);
            ASSERT_TRUE(s.IsOpen());
            EXPECT_EQ(s.Size(), -1);
            EXPECT_EQ(Drain(s), want);
            EXPECT_EQ(s.Size(), 100000);
            EXPECT_EQ(s.CompressedSize(), long(z.size()));
        }
        {
            PZStream s(file("_raw.bin").c_str(), PZStream::kRead | PZStream::kRaw);
            ASSERT_TRUE(s.IsOpen());
            EXPECT_EQ(Drain(s), want);
            // A backward seek restarts raw data too.
            EXPECT_EQ(s.Seek(99990, 0), 99990);
            uint8_t tail[20];
            EXPECT_EQ(s.Read(tail, 20), 10);
            EXPECT_EQ(std::memcmp(tail, want.data() + 99990, 10), 0);
        }
    }
}

TEST(ZStream, SmallStreamWithHeaderAndSeeks)
{
    std::vector<uint8_t> plain(100);
    for (int i = 0; i < 100; i++)
        plain[size_t(i)] = uint8_t(i * 3);
    std::vector<uint8_t> packed;
    ASSERT_TRUE(PlzpCompress(plain.data(), plain.size(), 6, PlzpForm::Header, &packed));
    {
        PZStream s(packed.data(), long(packed.size()), PZStream::kRead);
        EXPECT_EQ(s.Size(), 100);
        uint8_t buf[200];
        EXPECT_EQ(s.Read(buf, 200), 100);
        EXPECT_EQ(std::memcmp(buf, plain.data(), 100), 0);
        EXPECT_EQ(s.Read(buf, 200), 0);
        EXPECT_EQ(s.Read(buf, -1), 0); // an ended stream answers 0 first
    }
    {
        PZStream s(packed.data(), long(packed.size()), PZStream::kRead);
        uint8_t buf[50];
        ASSERT_EQ(s.Read(buf, 50), 50);
        EXPECT_EQ(s.Seek(0, 1), 50);
        EXPECT_EQ(s.Seek(10, 0), 10);
        EXPECT_EQ(s.GetByte(), plain[10]);
        EXPECT_EQ(s.Seek(3, 0), 3);
        EXPECT_EQ(s.Seek(-5, 1), 0); // target -2 rewinds to the start
        EXPECT_EQ(s.Seek(1, 2), -1);
        EXPECT_EQ(s.Seek(-1, 0), -1);
        EXPECT_EQ(s.Seek(-10, 2), 90);
        EXPECT_EQ(s.GetByte(), plain[90]);
        EXPECT_EQ(s.Seek(500, 0), 100); // a short read stops the forward seek
        EXPECT_EQ(s.Skip(4), 4);        // the seekable skip reports the count
    }
    std::vector<uint8_t> bare;
    ASSERT_TRUE(PlzpCompress(plain.data(), plain.size(), 6, PlzpForm::Zlib, &bare));
    {
        PZStream s(bare.data(), long(bare.size()), PZStream::kRead);
        EXPECT_EQ(s.Size(), -1);
        EXPECT_EQ(s.Seek(0, 2), 100); // read to the end
        EXPECT_EQ(s.Size(), 100);
        EXPECT_EQ(s.Seek(-1, 2), 99);
        EXPECT_EQ(s.GetByte(), plain[99]);
    }
}

TEST(ZStream, OpenHelpersAndEmptySources)
{
    uint8_t plain[] = "not compressed at all";
    PStream* s = PZStream::Open(plain, sizeof plain, PZStream::kRead);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->Seek(0, 1), 0);
    EXPECT_EQ(s->Size(), long(sizeof plain));
    PStream* same = PZStream::DoOpen(s, PZStream::kRead);
    EXPECT_EQ(same, s);
    delete same;

    uint8_t empty[1] = {0};
    PZStream e(empty, 0, PZStream::kRead);
    EXPECT_FALSE(e.IsOpen());
    uint8_t buf[4];
    EXPECT_EQ(e.Read(buf, 4), 0);
    EXPECT_EQ(e.Seek(0, 0), -1);

    PZStream none(static_cast<PStream*>(nullptr), PZStream::kRead);
    EXPECT_FALSE(none.IsOpen());
    EXPECT_EQ(none.Read(buf, 4), -1);

    PZStream missing("no/such/file.bin", PZStream::kRead);
    EXPECT_FALSE(missing.IsOpen());
    EXPECT_EQ(PZStream::Open("no/such/file.bin", PZStream::kRead), nullptr);

    // A "PLZP" block with broken zlib data opens, and its first read fails.
    uint8_t bad[] = {'P', 'L', 'Z', 'P', 5, 0, 0, 0, 5, 0, 0, 0, 1, 2};
    PStream* b = PZStream::Open(bad, sizeof bad, PZStream::kRead);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->Size(), 5);
    EXPECT_EQ(b->Read(buf, 4), -1);
    delete b;
}

TEST(ZStream, TruncatedAndCorruptDataEndWithMinusOne)
{
    std::vector<uint8_t> want = ReadFile(Path("zpayload.bin"));
    std::vector<uint8_t> z = ReadFile(Path("z6_header.bin"));
    ASSERT_GT(z.size(), 1000u);
    for (size_t cut : {size_t(13), size_t(20), z.size() / 2, z.size() - 1}) {
        SCOPED_TRACE(cut);
        PZStream s(z.data(), long(cut), PZStream::kRead);
        bool error = false;
        std::vector<uint8_t> got = Drain(s, &error);
        EXPECT_TRUE(error);
        EXPECT_LE(got.size(), want.size());
        EXPECT_TRUE(std::equal(got.begin(), got.end(), want.begin()));
        uint8_t b;
        EXPECT_EQ(s.Read(&b, 1), -1);
        EXPECT_EQ(s.Seek(0, 0), -1);
    }
    // Flipped bytes in the middle: an error (or, rarely, different data), never a hang.
    std::vector<uint8_t> bad = z;
    for (size_t i = 200; i < 260; i++)
        bad[i] ^= 0x5A;
    PZStream s(bad.data(), long(bad.size()), PZStream::kRead);
    bool error = false;
    std::vector<uint8_t> got = Drain(s, &error);
    EXPECT_TRUE(error || got != want);
    EXPECT_EQ(s.Seek(0, 2), -1);

    // Sizes in the header are reported as stored, but reading goes by the data.
    std::vector<uint8_t> liar = ReadFile(Path("z1_header.bin"));
    PStore32(liar.data() + 4, 0x7FFFFFF0u);
    PZStream l(liar.data(), long(liar.size()), PZStream::kRead);
    EXPECT_EQ(l.Size(), 0x7FFFFFF0L);
    EXPECT_EQ(Drain(l), want);
}

TEST(ZStream, WriterPatchesItsHeaderWhereItBegins)
{
    char tmpl[] = "/tmp/krv_zw_XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    std::string dir = tmpl;
    std::vector<uint8_t> want = ReadFile(Path("zpayload.bin"));

    for (bool raw : {false, true}) {
        SCOPED_TRACE(raw);
        std::string out = dir + (raw ? "/raw.bin" : "/plzp.bin");
        {
            PFile f(out.c_str(), PFile::kRead | PFile::kWrite | PFile::kCreate | PFile::kTruncate);
            ASSERT_TRUE(f.IsOpen());
            ASSERT_EQ(f.Write("prefix!", 7), 7);
            PZStream z(&f, PZStream::kWrite | (raw ? int(PZStream::kRaw) : 0));
            ASSERT_TRUE(z.IsOpen());
            uint8_t b;
            EXPECT_EQ(z.Read(&b, 1), -1);
            EXPECT_EQ(z.Seek(0, 0), -1);
            EXPECT_EQ(z.Write(want.data(), -1), -1);
            for (size_t at = 0; at < want.size();) {
                int n = int(std::min<size_t>(want.size() - at, 777 + at % 5000));
                ASSERT_EQ(z.Write(want.data() + at, n), n);
                at += size_t(n);
            }
        } // the destructor finishes the stream and patches the header
        tooltest::Result check = tooltest::RunPython(fixtures::Script() + " check-plzp '" + out + "' 7 '" +
                                                     Path("zpayload.bin") + "'" + (raw ? " raw" : ""));
        EXPECT_EQ(check.code, 0) << check.out;

        std::vector<uint8_t> bytes = ReadFile(out);
        ASSERT_EQ(std::memcmp(bytes.data(), "prefix!", 7), 0);
        PZStream r(bytes.data() + 7, long(bytes.size() - 7), PZStream::kRead | (raw ? int(PZStream::kRaw) : 0));
        if (!raw) {
            EXPECT_EQ(r.Size(), long(want.size()));
        }
        EXPECT_EQ(Drain(r), want);
    }
    std::string rm = "rm -rf '" + dir + "'";
    EXPECT_EQ(std::system(rm.c_str()), 0);
}

TEST(ZStream, WriterToAStreamThatCannotSeekAndShortWrites)
{
    std::vector<uint8_t> want(20000);
    for (size_t i = 0; i < want.size(); i++)
        want[i] = uint8_t(i * 7 + i / 100);
    SinkStream sink;
    {
        PZStream z(&sink, PZStream::kWrite);
        ASSERT_EQ(z.Write(want.data(), int(want.size())), int(want.size()));
        EXPECT_EQ(z.Write(nullptr, 0), 0); // finish
        EXPECT_EQ(z.Write(want.data(), 1), 0); // ended
    }
    ASSERT_GT(sink.data.size(), 2u);
    EXPECT_NE(std::memcmp(sink.data.data(), "PLZP", 4), 0); // no header without seeking
    std::vector<uint8_t> back(want.size());
    uLongf n = uLongf(back.size());
    ASSERT_EQ(uncompress(back.data(), &n, sink.data.data(), uLong(sink.data.size())), Z_OK);
    EXPECT_EQ(back, want);

    SinkStream failing;
    failing.failAfter = 10;
    PZStream z(&failing, PZStream::kWrite);
    std::vector<uint8_t> noise(300000);
    uint32_t x = 12345;
    for (size_t i = 0; i < noise.size(); i++) {
        x = x * 1103515245u + 12345u;
        noise[i] = uint8_t(x >> 24);
    }
    EXPECT_EQ(z.Write(noise.data(), int(noise.size())), -1);
    EXPECT_EQ(z.Write(noise.data(), 10), -1);
}

} // namespace
