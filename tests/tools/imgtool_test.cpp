// imgtool on PNG files written here byte by byte: a small image converts, and
// sides the engine would refuse are refused before the decode is allocated.
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>
#include <zlib.h>

#include "engine/runtime/pstream.h"
#include "tests/tools/tool_runner.h"
#include "tools/lib/toolfile.h"

namespace {

using tooltest::Q;

void PutBE32(std::vector<uint8_t>& v, uint32_t x)
{
    for (int s = 24; s >= 0; s -= 8)
        v.push_back(uint8_t(x >> s));
}

void Chunk(std::vector<uint8_t>& png, char const* type, std::vector<uint8_t> const& data)
{
    PutBE32(png, uint32_t(data.size()));
    size_t start = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), data.begin(), data.end());
    PutBE32(png, uint32_t(crc32(0, png.data() + start, uInt(png.size() - start))));
}

// An 8-bit RGB PNG of w x h whose image data holds the given rows (each with
// its filter byte); the header may announce more than the data holds.
std::vector<uint8_t> RgbPng(uint32_t w, uint32_t h, std::vector<uint8_t> const& rows)
{
    std::vector<uint8_t> png = {137, 'P', 'N', 'G', 13, 10, 26, 10};
    std::vector<uint8_t> ihdr;
    PutBE32(ihdr, w);
    PutBE32(ihdr, h);
    ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});
    Chunk(png, "IHDR", ihdr);
    std::vector<uint8_t> z(compressBound(uLong(rows.size())));
    uLongf n = uLongf(z.size());
    compress(z.data(), &n, rows.data(), uLong(rows.size()));
    z.resize(n);
    Chunk(png, "IDAT", z);
    Chunk(png, "IEND", {});
    return png;
}

class Imgtool : public tooltest::ScratchTest {
protected:
    std::string Write(std::string const& name, std::vector<uint8_t> const& bytes)
    {
        std::string path = root + "/" + name, err;
        EXPECT_TRUE(WriteFileAtomic(path, bytes, &err)) << err;
        return path;
    }
};

TEST_F(Imgtool, ConvertsASmallImage)
{
    // 2 x 1: red, blue.
    std::string in = Write("in.png", RgbPng(2, 1, {0, 255, 0, 0, 0, 0, 255}));
    std::string out = root + "/out.nrv";
    ASSERT_EQ(tooltest::RunTool("imgtool", "nrv " + Q(in) + " " + Q(out) + " --format 6").code, 0);
    std::vector<uint8_t> nrv;
    std::string err;
    ASSERT_TRUE(ReadFileBytes(out, &nrv, &err)) << err;
    ASSERT_EQ(nrv.size(), 12u + 4u); // header, one padded row of two 565 words
    EXPECT_EQ(nrv[0], 6);
    EXPECT_EQ(PLoad16(&nrv[4]), 2);
    EXPECT_EQ(PLoad16(&nrv[6]), 1);
    EXPECT_EQ(PLoad16(&nrv[12]), 0xF800);
    EXPECT_EQ(PLoad16(&nrv[14]), 0x001F);
}

TEST_F(Imgtool, RefusesSidesTheEngineWouldNotLoad)
{
    // One row of data is enough: the sides alone must stop the tool.
    std::vector<uint8_t> row = {0, 1, 2, 3};
    for (auto [w, h] : {std::pair<uint32_t, uint32_t>{16385, 1}, {1, 16385}, {16384, 16384}, {1000000, 1000000}}) {
        std::string in = Write("big.png", RgbPng(w, h, row));
        std::string out = root + "/big.nrv";
        tooltest::Result r = tooltest::RunTool("imgtool", "nrv " + Q(in) + " " + Q(out), true);
        EXPECT_EQ(r.code, 1) << w << " x " << h;
        EXPECT_NE(r.out.find("larger than the engine loads"), std::string::npos) << r.out;
        EXPECT_NE(::access(out.c_str(), F_OK), 0);
    }
}

} // namespace
