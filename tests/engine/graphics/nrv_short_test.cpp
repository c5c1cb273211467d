// NRV files whose data cannot fill the image they declare: refused before the
// image is allocated when the stream knows its size (memory, files, PLZP
// streams), by the read that runs short when it does not; files of exactly
// the right length still load.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "engine/graphics/psurface.h"
#include "engine/runtime/pstream.h"
#include "engine/runtime/pzstream.h"
#include "tools/lib/nrv_writer.h"
#include "tools/lib/plzp_writer.h"

namespace {

// A memory stream that cannot seek or tell its size, as a socket would.
class Unsized : public PStream {
public:
    explicit Unsized(std::vector<uint8_t> const& d) : m_data(d) {}
    int IsOpen() const override { return 1; }
    int Read(void* buffer, int count) override
    {
        int n = std::min<int>(count, int(m_data.size() - m_pos));
        std::copy_n(m_data.data() + m_pos, n, static_cast<uint8_t*>(buffer));
        m_pos += size_t(n);
        return n;
    }
    int Write(void const*, int) override { return -1; }

private:
    std::vector<uint8_t> m_data;
    size_t m_pos = 0;
};

enum class Via { Memory, Plzp, Unsized };

// Loads file through the stream kind, returning whether it loaded and the log.
bool Load(std::vector<uint8_t> file, Via via, std::string* log)
{
    testing::internal::CaptureStdout();
    std::unique_ptr<PSurface> s;
    if (via == Via::Plzp) {
        std::vector<uint8_t> z;
        EXPECT_TRUE(PlzpCompress(file.data(), file.size(), 6, PlzpForm::Header, &z));
        std::unique_ptr<PStream> in(PZStream::Open(z.data(), long(z.size()), PZStream::kRead));
        if (in)
            s.reset(PSurface::CreateFromNRV(*in, 0));
    } else if (via == Via::Unsized) {
        Unsized in(file);
        s.reset(PSurface::CreateFromNRV(in, 0));
    } else {
        PMemStream in(file.data(), long(file.size()));
        s.reset(PSurface::CreateFromNRV(in, 0));
    }
    *log = testing::internal::GetCapturedStdout();
    return s != nullptr;
}

} // namespace

TEST(NrvShortData, RefusedBeforeAllocatingWhenTheStreamKnowsItsSize)
{
    struct Case {
        char const* what;
        int format, width, height, paletteSize, flags;
    };
    Case const cases[] = {
        {"rgb565 rows", 6, 5, 3, 0, 0},
        {"padded index rows", 3, 3, 2, 0, kNrvFlagGrey},
        {"palette", 3, 2, 2, 40, 0},
        {"3-byte delta palette", 1, 2, 2, 7, kNrvFlag3Byte | kNrvFlagDelta},
        {"alpha plane", 7, 4, 2, 0, kNrvFlagAlpha | kNrvFlagUnpadded},
        {"extra block under Paeth", 8, 2, 2, 0, kNrvFlagExtra | kNrvFlagPaeth | kNrvFlagAlpha},
    };
    for (Case const& c : cases) {
        NrvImage img;
        img.format = c.format;
        img.width = c.width;
        img.height = c.height;
        img.pixels.assign(size_t(c.width * c.height * NrvBytesPerPixel(c.format)), 1);
        img.palette.assign(size_t(c.paletteSize), 0xFF102030u);
        if (c.flags & kNrvFlagAlpha)
            img.alpha.assign(size_t(c.width * c.height), 200);
        if (c.flags & kNrvFlagExtra)
            img.extra = {0}; // the least an extra block under Paeth holds
        std::vector<uint8_t> file;
        std::string err;
        ASSERT_TRUE(NrvEncode(img, c.flags, &file, &err)) << c.what << ": " << err;
        for (Via via : {Via::Memory, Via::Plzp, Via::Unsized}) {
            SCOPED_TRACE(std::string(c.what) + " via " + std::to_string(int(via)));
            std::string log;
            EXPECT_TRUE(Load(file, via, &log)) << log; // exactly long enough
            std::vector<uint8_t> shorter(file.begin(), file.end() - 1);
            EXPECT_FALSE(Load(shorter, via, &log));
            bool early = log.find("data too short for the declared image") != std::string::npos;
            EXPECT_EQ(early, via != Via::Unsized) << log;
        }
    }

    // Fifteen bytes that declare 7196 x 7196 true-colour pixels: refused at
    // once, whatever the load flags.
    std::vector<uint8_t> tiny = {8, 0x01, 0, 0, 0x1C, 0x1C, 0x1C, 0x1C, 0, 0, 0, 0, 1, 2, 3};
    for (int flags : {0, int(PLOAD_TRUE32), int(PLOAD_TRUE32A), int(PLOAD_NOALPHA)}) {
        PMemStream in(tiny.data(), long(tiny.size()));
        testing::internal::CaptureStdout();
        EXPECT_EQ(PSurface::CreateFromNRV(in, flags), nullptr);
        std::string log = testing::internal::GetCapturedStdout();
        EXPECT_NE(log.find("data too short"), std::string::npos) << log;
    }
}
