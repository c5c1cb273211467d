#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/runtime/piffreader.h"
#include "engine/runtime/pzstream.h"
#include "streams_fixtures.h"
#include "tools/lib/piff_writer.h"
#include "tools/lib/plzp_writer.h"

namespace {

using fixtures::Path;
using fixtures::ReadFile;

std::string Id(uint32_t id)
{
    if (id == 0)
        return "0";
    char s[5] = {char(id), char(id >> 8), char(id >> 16), char(id >> 24), 0};
    return s;
}

// The walk as text: "ID:size" per chunk, "FORM<TYPE" on entering, ">" on
// leaving a form; every data chunk is read (partly, to exercise the skip).
std::string Walk(PIFFReader& r)
{
    std::string out;
    int depth = r.Level();
    for (int guard = 0; guard < 1000; guard++) {
        unsigned size = 99;
        uint32_t id = r.NextChunk(size);
        if (id == 0) {
            if (r.Level() < depth) {
                out += "> ";
                depth = r.Level();
                continue;
            }
            return out;
        }
        if (r.Level() > depth) {
            out += "FORM<" + Id(r.FormType()) + " ";
            depth = r.Level();
            continue;
        }
        out += Id(id) + ":" + std::to_string(size) + " ";
        uint8_t buf[8];
        r.Read(buf, int(size / 2 < sizeof buf ? size / 2 : sizeof buf));
    }
    return out + "(no end)";
}

TEST(Iff, SmallestFileAndChunkBoundaries)
{
    std::vector<uint8_t> f = {'P', 'I', 'F', 'F', 12, 0, 0, 0, '3', 'D', 'O', 'B', 'H', 'E', 'A', 'D', 0, 0, 0, 0};
    PMemStream m(f.data(), long(f.size()));
    PIFFReader r(&m, 0);
    ASSERT_TRUE(r.IsOpen());
    EXPECT_EQ(r.FormType(), PFourCC("3DOB"));
    EXPECT_EQ(r.Size(), 12);
    unsigned size = 7;
    EXPECT_EQ(r.NextChunk(size), PFourCC("HEAD"));
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(r.NextChunk(size), 0u);
    EXPECT_EQ(r.NextChunk(size), 0u);

    PiffBuilder b(PFourCC("3DOB"));
    b.Chunk(PFourCC("AAAA"), "0123456789", 10);
    b.Chunk(PFourCC("BBBB"), "xyz", 3);
    b.Chunk(0, nullptr, 0);
    b.Chunk(PFourCC("CCCC"), "c", 1);
    std::vector<uint8_t> bytes = b.Finish();
    PMemStream m2(bytes.data(), long(bytes.size()));
    PIFFReader r2(&m2, 0);
    EXPECT_EQ(r2.NextChunk(size), PFourCC("AAAA"));
    char buf[32];
    EXPECT_EQ(r2.Read(buf, 32), 10); // never beyond the chunk
    EXPECT_EQ(r2.Read(buf, 32), 0);
    EXPECT_EQ(r2.Write(buf, 1), -1);
    EXPECT_EQ(r2.Seek(0, 0), -1);
    EXPECT_EQ(r2.NextChunk(size), PFourCC("BBBB"));
    EXPECT_EQ(r2.Read(buf, 1), 1);
    EXPECT_EQ(r2.NextChunk(size), 0u); // id 0 ends the walk and reports 0
    EXPECT_EQ(size, 0u);
}

TEST(Iff, NestedFormsFourDeepSkipTheFourth)
{
    PiffBuilder b(PFourCC("3DOB"));
    b.Chunk(PFourCC("HEAD"), "h", 1);
    b.BeginForm(PFourCC("LVL1"));
    b.Chunk(PFourCC("ONE "), "1", 1);
    b.BeginForm(PFourCC("LVL2"));
    b.BeginForm(PFourCC("LVL3"));
    b.BeginForm(PFourCC("LVL4"));
    b.Chunk(PFourCC("DEEP"), "deep", 4);
    b.EndForm();
    b.Chunk(PFourCC("THRE"), "333", 3);
    b.EndForm();
    b.EndForm();
    b.BeginForm(PFourCC("TINY")); // a form without room for a chunk is skipped
    b.EndForm();
    b.Chunk(PFourCC("LAST"), "l", 1);
    b.EndForm();
    b.Chunk(PFourCC("TAIL"), "tt", 2);
    std::vector<uint8_t> bytes = b.Finish();
    PMemStream m(bytes.data(), long(bytes.size()));
    PIFFReader r(&m, 0);
    ASSERT_TRUE(r.IsOpen());
    EXPECT_EQ(Walk(r), "HEAD:1 FORM<LVL1 ONE :1 FORM<LVL2 FORM<LVL3 THRE:3 > > LAST:1 > TAIL:2 ");

    // SkipForm leaves a nested form from anywhere inside it.
    PMemStream m2(bytes.data(), long(bytes.size()));
    PIFFReader r2(&m2, 0);
    unsigned size;
    EXPECT_EQ(r2.NextChunk(size), PFourCC("HEAD"));
    EXPECT_EQ(r2.NextChunk(size), PFourCC("FORM"));
    EXPECT_EQ(r2.NextChunk(size), PFourCC("ONE "));
    r2.SkipForm();
    EXPECT_EQ(r2.Level(), 0);
    EXPECT_EQ(r2.NextChunk(size), PFourCC("TAIL"));
    r2.SkipForm();
    EXPECT_EQ(r2.NextChunk(size), 0u);
}

TEST(Iff, CompressedFilesReadLikePlainOnes)
{
    ASSERT_FALSE(fixtures::Dir().empty()) << "fixture generation failed";
    std::string want = "HEAD:16 FORM<MATL NAME:5 FORM<TEXS TEX0:3 > > VERT:100 ";
    for (char const* name : {"mesh_plain.pof", "mesh_plzp.pof", "mesh_zlib.pof"}) {
        SCOPED_TRACE(name);
        PIFFReader r(Path(name).c_str());
        ASSERT_TRUE(r.IsOpen());
        EXPECT_EQ(r.FormType(), PFourCC("3DOB"));
        EXPECT_EQ(Walk(r), want);
    }
    // The whole VERT chunk from the compressed file, through a stream the
    // reader does not own.
    std::vector<uint8_t> z = ReadFile(Path("mesh_zlib.pof"));
    PMemStream m(z.data(), long(z.size()));
    {
        PIFFReader r(&m, 0);
        unsigned size;
        uint32_t id = 0;
        for (int i = 0; i < 20 && id != PFourCC("VERT"); i++)
            id = r.NextChunk(size); // 0 also marks the end of each nested form
        ASSERT_EQ(id, PFourCC("VERT"));
        uint8_t v[100];
        ASSERT_EQ(r.Read(v, 100), 100);
        for (int i = 0; i < 100; i++)
            ASSERT_EQ(v[i], i);
    }
    EXPECT_TRUE(m.IsOpen()); // still alive: not owned

    PIFFReader missing("no/such/mesh.pof");
    EXPECT_FALSE(missing.IsOpen());
    EXPECT_EQ(missing.Size(), -1);
    unsigned size;
    EXPECT_EQ(missing.NextChunk(size), 0u);
}

TEST(Iff, MalformedFilesEndTheWalk)
{
    auto open = [](std::vector<uint8_t>& bytes) { return new PIFFReader(new PMemStream(bytes.data(), long(bytes.size())), 1); };
    // Bad headers.
    for (std::vector<uint8_t> bytes : {std::vector<uint8_t>{'P', 'I', 'F', 'F', 0, 0, 0, 0, '3', 'D', 'O', 'B'},
                                       std::vector<uint8_t>{'P', 'I', 'F', 'F', 8, 0, 0, 0, 0, 0, 0, 0},
                                       std::vector<uint8_t>{'P', 'I', 'F', 'F', 2, 0, 0, 0, 'A', 'B', 'C', 'D'},
                                       std::vector<uint8_t>{'P', 'I', 'F', 'F', 8, 0},
                                       std::vector<uint8_t>{'N', 'O', 'P', 'E', 1, 2, 3, 4, 5, 6, 7, 8}}) {
        PIFFReader* r = open(bytes);
        EXPECT_FALSE(r->IsOpen());
        delete r;
    }

    // A chunk larger than its form, a nested form larger than its parent,
    // a file that ends inside a chunk header: each ends the walk.
    PiffBuilder b(PFourCC("TEST"));
    b.Chunk(PFourCC("OKAY"), "ok", 2);
    b.Chunk(PFourCC("HUGE"), "0123456789", 10);
    std::vector<uint8_t> bytes = b.Finish();
    PStore32(bytes.data() + 12 + 8 + 2 + 4, 0xFFFFFFF0u); // HUGE's size
    PIFFReader* r = open(bytes);
    EXPECT_EQ(Walk(*r), "OKAY:2 ");
    delete r;

    PiffBuilder n(PFourCC("TEST"));
    n.BeginForm(PFourCC("INNR"));
    n.Chunk(PFourCC("DATA"), "0123456789abcdef", 16);
    n.EndForm();
    n.Chunk(PFourCC("NEXT"), "n", 1);
    bytes = n.Finish();
    PStore32(bytes.data() + 16, 0x7FFFFFFFu); // the FORM's size
    r = open(bytes);
    EXPECT_EQ(Walk(*r), "");
    delete r;

    bytes = n.Finish();
    PStore32(bytes.data() + 4, 0x1000); // the file claims more than it holds
    bytes.erase(bytes.end() - 4, bytes.end()); // and ends inside a chunk header
    r = open(bytes);
    EXPECT_EQ(Walk(*r), "FORM<INNR DATA:16 > ");
    delete r;

    // A chunk header cut by the form's own size.
    PiffBuilder c(PFourCC("TEST"));
    c.Chunk(PFourCC("AAAA"), "a", 1);
    bytes = c.Finish();
    bytes.insert(bytes.end(), {'B', 'B', 'B', 'B'});
    PStore32(bytes.data() + 4, PLoad32(bytes.data() + 4) + 4);
    r = open(bytes);
    EXPECT_EQ(Walk(*r), "AAAA:1 ");
    delete r;
}

} // namespace
