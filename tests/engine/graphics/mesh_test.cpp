// Meshes: .pof files from the writer load back; the loader refuses damaged
// files; textures are asked for in order; drawing on a recording back end and
// on Mesa against the same geometry replayed straight into Mesa.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/graphics/pmesh.h"
#include "engine/graphics/ptexturemanager.h"
#include "engine/runtime/piffreader.h"
#include "engine/runtime/pzstream.h"
#include "p3d_fixtures.h"
#include "tests/largest_allocation.h"
#include "tools/glreplay/replay.h"
#include "tools/lib/pof_writer.h"

using p3dtest::Recorded;
using testalloc::LargestAllocation;

namespace {

// A texture manager that hands out a handle for every name it is asked for
// (or refuses the names in refuse) and records the requests.
class NameRecorder : public PTextureManager {
public:
    NameRecorder() : PTextureManager(nullptr, nullptr) {}
    int AddTexture(const char* name, unsigned, unsigned) override
    {
        asked.push_back(name);
        for (auto& r : refuse)
            if (r == name)
                return 0;
        return ++next;
    }
    void FreeTexture(int handle) override { freed.push_back(handle); }
    std::vector<std::string> asked, refuse;
    std::vector<int> freed;
    int next = 100;
};

// Two triangle lists over a quad of 4 vertices, with texture coordinates and
// one textured material.
PofMesh Quad()
{
    PofMesh m;
    m.positions = {-0x8000, -0x8000, 0, 0x8000, -0x8000, 0, 0x8000, 0x8000, 0, -0x8000, 0x8000, 0};
    m.texcoords = {0, 0, 0x10000, 0, 0x10000, 0x10000, 0, 0x10000};
    m.colours = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 255};
    PofList a, b;
    a.indices = {0, 1, 2};
    a.material = 1;
    b.indices = {0, 2, 3};
    b.indexType = 0x1401;
    m.lists = {a, b};
    PofMaterial mat;
    mat.texture = 1;
    m.materials = {mat};
    m.textures = {"a.png"};
    return m;
}

int Load(PMesh& mesh, std::vector<uint8_t> bytes, const char* texturePath = nullptr)
{
    PMemStream s(bytes.data(), long(bytes.size()));
    PIFFReader r(&s, 0);
    return mesh.Load(r, texturePath);
}

// Replaces the first chunk with the given id by data.
std::vector<uint8_t> Patch(std::vector<uint8_t> f, const char* id, size_t offset, uint32_t value)
{
    for (size_t i = 12; i + 8 <= f.size();) {
        uint32_t size = PLoad32(&f[i + 4]);
        if (std::memcmp(&f[i], id, 4) == 0) {
            PStore32(&f[i + 8 + offset], value);
            return f;
        }
        i += 8 + size;
    }
    ADD_FAILURE() << "no chunk " << id;
    return f;
}

} // namespace

TEST(MeshLoad, WrittenMeshLoadsBack)
{
    NameRecorder tm;
    PMesh mesh(&tm);
    ASSERT_EQ(Load(mesh, WritePof(Quad()), "data\\textures"), 1);
    EXPECT_EQ(mesh.Vertices()->count, 4);
    EXPECT_EQ(mesh.ListCount(), 2);
    EXPECT_EQ(mesh.List(1)->indexType, 0x1401);
    EXPECT_EQ(mesh.Ownership(), PMesh::kOwnsData);
    EXPECT_EQ(tm.asked, (std::vector<std::string>{"data\\textures\\a.png"}));
    EXPECT_EQ(mesh.Materials()->Items()[0].texture, 101);
    PAABB3 box;
    mesh.BoundingBox(box);
    EXPECT_EQ(box.min, PVector3(-0x8000, -0x8000, 0));
    EXPECT_EQ(box.max, PVector3(0x8000, 0x8000, 0));
    mesh.FreeData();
    EXPECT_EQ(tm.freed, (std::vector<int>{101}));

    // Path first, then the bare name; a separator is not doubled.
    NameRecorder tm2;
    tm2.refuse = {"data/textures/a.png"};
    PMesh m2(&tm2);
    ASSERT_EQ(Load(m2, WritePof(Quad()), "data/textures/"), 1);
    EXPECT_EQ(tm2.asked, (std::vector<std::string>{"data/textures/a.png", "a.png"}));
}

TEST(MeshLoad, ShortHeadListsApartAndShortVertices)
{
    PofMesh q = Quad();
    q.colours.clear();
    NameRecorder tm;
    PMesh mesh(&tm);
    ASSERT_EQ(Load(mesh, WritePof(q, 36)), 1);
    EXPECT_EQ(mesh.Ownership(), PMesh::kOwnsData | PMesh::kOwnsPolys);

    PofMesh s;
    s.vertexType = 0x1402;
    s.positions = {-5, 3, 7, 2, -1, 0};
    PofList l;
    l.indices = {0, 1, 0};
    s.lists = {l};
    PMesh ms(nullptr);
    ASSERT_EQ(Load(ms, WritePof(s)), 1);
    PAABB3 box;
    ms.BoundingBox(box);
    EXPECT_EQ(box.min, PVector3(-5 << 16, -1 << 16, 0));
    EXPECT_EQ(box.max, PVector3(2 << 16, 3 << 16, 7 << 16));
}

TEST(MeshLoad, DamagedFilesAreRefused)
{
    NameRecorder tm;
    auto loads = [&](std::vector<uint8_t> f) {
        PMesh m(&tm);
        return Load(m, std::move(f));
    };
    ASSERT_EQ(loads(WritePof(Quad())), 1);

    PofMesh q = Quad();
    q.lists[0].indices = {0, 1, 4}; // beyond the 4 vertices
    EXPECT_EQ(loads(WritePof(q)), 0);
    q = Quad();
    q.normals = {0, 0, 0x10000}; // one normal for four vertices
    EXPECT_EQ(loads(WritePof(q)), 0);
    q = Quad();
    q.lists[1].material = 2; // one material only
    EXPECT_EQ(loads(WritePof(q)), 0);
    q = Quad();
    q.colours.resize(8); // two colours
    EXPECT_EQ(loads(WritePof(q)), 0);
    EXPECT_EQ(loads(WritePof(q, 40)), 0); // a COLR of its own, as short

    auto f = WritePof(Quad());
    EXPECT_EQ(loads(Patch(f, "HEAD", 0, 3)), 0);      // three lists, two POLY chunks
    EXPECT_EQ(loads(Patch(f, "HEAD", 0, 1)), 0);      // one list, two POLY chunks
    EXPECT_EQ(loads(Patch(f, "POLY", 4, 100)), 0);    // more indices than the chunk holds
    EXPECT_EQ(loads(Patch(f, "POLY", 12, 0x1405)), 0); // 32-bit indices
    EXPECT_EQ(loads(Patch(f, "HEAD", 32, 2)), 0);     // two names, one terminated
    EXPECT_EQ(loads(Patch(f, "HEAD", 4, 3)), 0);      // MESH larger than three vertices
    EXPECT_EQ(loads(Patch(f, "HEAD", 36, 4)), 0);     // index total too small
    EXPECT_EQ(loads(Patch(f, "HEAD", 8, 0x1406 + 1)), 0); // unknown vertex type
    EXPECT_EQ(loads(Patch(f, "HEAD", 28, 0)), 0);     // MATL without materials
    std::vector<uint8_t> other = f;
    std::memcpy(&other[8], "XXXX", 4);
    EXPECT_EQ(loads(other), 0);

    // Every truncation loads or is refused cleanly; one that loses a POLY is
    // refused (a lost TEXL only loses the textures).
    size_t lastPoly = 0;
    for (size_t i = 12; i + 8 <= f.size(); i += 8 + PLoad32(&f[i + 4]))
        if (std::memcmp(&f[i], "POLY", 4) == 0)
            lastPoly = i + 8 + PLoad32(&f[i + 4]);
    for (size_t n = 8; n < f.size(); ++n) {
        std::vector<uint8_t> cut(f.begin(), f.begin() + long(n));
        PStore32(&cut[4], uint32_t(n - 8));
        int r = loads(cut);
        EXPECT_TRUE(n >= lastPoly || r == 0) << n;
    }
    EXPECT_TRUE(tm.freed.size() <= tm.asked.size());
}

// Float vertices beyond the 16.16 range saturate and a NaN counts as 0 in the
// bounding box.
TEST(MeshLoad, FloatVerticesOutOfRangeSaturate)
{
    const int32_t nan = 0x7FC00000, big = 0x7149F2CA /* 1e30 */, one = 0x3F800000, two = 0x40000000;
    PofMesh m;
    m.positions = {nan, one, int32_t(0x80000000u | uint32_t(big)), big, 0, two};
    PofList l;
    l.indices = {0, 1, 0};
    m.lists = {l};
    PMesh mesh(nullptr);
    ASSERT_EQ(Load(mesh, Patch(WritePof(m), "HEAD", 8, 0x1406)), 1);
    PAABB3 box;
    mesh.BoundingBox(box);
    EXPECT_EQ(box.min, PVector3(0, 0, INT32_MIN));
    EXPECT_EQ(box.max, PVector3(INT32_MAX, 1 << 16, 2 << 16));
}

// Counts in HEAD that the bytes behind them cannot back are refused before
// anything is allocated for them, whether the form's size tells the truth,
// claims far more than the file holds, or the file is compressed.
TEST(MeshLoad, CountsBeyondTheDataAllocateNothing)
{
    auto f = WritePof(Quad());
    std::vector<uint8_t> liar = f;
    PStore32(&liar[4], 0xFFFFFFF0u);
    struct Case {
        const char* what;
        size_t at;
        uint32_t value;
    } cases[] = {
        {"index total", 36, 200u << 20},  {"lists", 0, 4096},   {"vertices", 4, 0xFFFF},
        {"texture coordinates", 20, 0xFFFF}, {"materials", 28, 0xFFFF}, {"colours", 40, 0xFFFF},
    };
    for (const Case& c : cases)
        for (const auto* file : {&f, &liar}) {
            auto bad = Patch(*file, "HEAD", c.at, c.value);
            PMesh m(nullptr);
            int r = 1;
            size_t largest = LargestAllocation([&] { r = Load(m, bad); });
            EXPECT_EQ(r, 0) << c.what;
            EXPECT_LT(largest, 64u << 10) << c.what;
        }

    // The same file compressed: the bound is what its compressed bytes can
    // inflate to.
    auto bad = Patch(liar, "HEAD", 36, 200u << 20);
    std::vector<uint8_t> packed(bad.size() + 256);
    {
        PMemStream out(packed.data(), long(packed.size()));
        PZStream z(&out, PZStream::kWrite);
        ASSERT_EQ(z.Write(bad.data(), int(bad.size())), int(bad.size()));
        ASSERT_EQ(z.Write(nullptr, 0), 0);
        packed.resize(out.Position());
    }
    PMemStream in(packed.data(), long(packed.size()));
    PIFFReader r(&in, 0);
    PMesh m(nullptr);
    int loaded = 1;
    EXPECT_LT(LargestAllocation([&] { loaded = m.Load(r, nullptr); }), 8u << 20);
    EXPECT_EQ(loaded, 0);

    // The reproducer kept in the fuzz corpus.
    PMesh kept(nullptr);
    EXPECT_LT(LargestAllocation([&] { loaded = kept.Load(KRV_SOURCE_DIR "/tests/fuzz/corpus/pof/head_counts_beyond_data.pof", nullptr); }),
              64u << 10);
    EXPECT_EQ(loaded, 0);
}

TEST(MeshLoad, TextureReferences)
{
    // An index naming no texture becomes 0 and is never freed as a handle;
    // without a TEXL the file indices are not handles either.
    NameRecorder tm;
    for (bool noTexl : {false, true}) {
        PofMesh q = Quad();
        noTexl ? q.textures.clear() : void(q.materials[0].texture = 5);
        {
            PMesh m(&tm);
            ASSERT_EQ(Load(m, WritePof(q)), 1);
            EXPECT_EQ(m.Materials()->Items()[0].texture, 0);
        }
        EXPECT_TRUE(tm.freed.empty());
    }

    // A texture that cannot be had fails the load and gives back the others.
    PofMesh q = Quad();
    q.textures = {"a.png", "b.png"};
    PofMaterial second;
    second.texture = 2;
    q.materials.push_back(second);
    NameRecorder tm2;
    tm2.refuse = {"b.png"};
    PMesh m(&tm2);
    EXPECT_EQ(Load(m, WritePof(q)), 0);
    EXPECT_EQ(tm2.asked, (std::vector<std::string>{"a.png", "b.png"}));
    EXPECT_EQ(tm2.freed, (std::vector<int>{101}));
    m.FreeData();
    EXPECT_EQ(tm2.freed.size(), 1u);
}

TEST(MeshDraw, OneDrawPerListOnARecorder)
{
    Recorded r;
    ASSERT_TRUE(r.Create());
    NameRecorder tm;
    PMesh mesh(&tm);
    PofMesh q = Quad();
    q.lists[0].indices.resize(36, 0);
    q.lists[1].indices.resize(12, 1);
    ASSERT_EQ(Load(mesh, WritePof(q)), 1);
    r.rec->Clear();
    EXPECT_EQ(mesh.Render(r.ctx, nullptr), 16);
    EXPECT_EQ(r.rec->Count("glDrawElements(4, 36, 5123"), 1u) << r.rec->Joined();
    EXPECT_EQ(r.rec->Count("glDrawElements(4, 12, 5121"), 1u);
    EXPECT_EQ(r.rec->Count("vornGLPushFixed"), r.rec->Count("vornGLPopFixed"));
    EXPECT_EQ(r.rec->Count("glColorPointer(4, 5121, 0"), 1u);

    // Ranges are cut to each list.
    unsigned short ranges[4] = {30, 100, 0, 6};
    r.rec->Clear();
    mesh.Render(r.ctx, ranges);
    EXPECT_EQ(r.rec->Count("glDrawElements(4, 6, 5123"), 1u) << r.rec->Joined();
    EXPECT_EQ(r.rec->Count("glDrawElements(4, 6, 5121"), 1u);
    r.rec->Clear();
    EXPECT_EQ(mesh.Render(r.ctx, 0, 3), 2);
    EXPECT_EQ(r.rec->Count("glDrawElements"), 2u);
}

TEST(MeshDraw, MesaDrawsTheSameAsPlainArrays)
{
    constexpr int W = 64, H = 64;
    PofMesh q = Quad();
    q.materials.clear();
    q.textures.clear();
    q.texcoords.clear();
    q.lists[0].material = 0;
    q.lists[1].material = 0;

    // The reference: the same arrays replayed straight into Mesa.
    std::string trace = "array pos fixed";
    for (int32_t v : q.positions) {
        trace += ' ';
        trace += std::to_string(v);
    }
    trace += "\narray col ubyte";
    for (uint8_t c : q.colours) {
        trace += ' ';
        trace += std::to_string(c);
    }
    trace += "\narray ia ushort 0 1 2\narray ib ubyte 0 2 3\n"
             "glViewport 0 0 64 64\nglHint GL_PERSPECTIVE_CORRECTION_HINT GL_FASTEST\nglClearColorx 0 0 0 0\nglClear GL_COLOR_BUFFER_BIT\n"
             "glEnableClientState GL_VERTEX_ARRAY\nglEnableClientState GL_COLOR_ARRAY\n"
             "glVertexPointer 3 GL_FIXED 0 @pos\nglColorPointer 4 GL_UNSIGNED_BYTE 0 @col\n"
             "glDrawElements GL_TRIANGLES 3 GL_UNSIGNED_SHORT @ia\n"
             "glDrawElements GL_TRIANGLES 3 GL_UNSIGNED_BYTE @ib\nframe\n";
    glreplay::Trace t;
    std::string error;
    ASSERT_TRUE(glreplay::ParseTrace(trace, ".", t, error)) << error;
    glreplay::ReplayOptions opt;
    opt.backend = glreplay::Backend::Mesa;
    opt.width = W;
    opt.height = H;
    glreplay::ReplayResult ref;
    ASSERT_TRUE(glreplay::Replay(t, opt, ref, error)) << error;

    p3dtest::Mesa m(W, H);
    ASSERT_TRUE(m.Ok());
    PMesh mesh(nullptr);
    ASSERT_EQ(Load(mesh, WritePof(q)), 1);
    m.ctx->Clear(0);
    m.ctx->vornGLStateUpdate(0x40000000, 0x40000001); // smooth shading, no texturing
    mesh.Render(m.ctx, nullptr);
    auto frame = m.Read();
    ASSERT_EQ(ref.frame.rgba.size(), frame.size());
    int differ = 0;
    for (size_t i = 0; i < frame.size(); i += 4)
        if (std::memcmp(&frame[i], &ref.frame.rgba[i], 3) != 0 && differ++ < 5)
            printf("%zu,%zu: %02x%02x%02x vs %02x%02x%02x\n", (i / 4) % W, (i / 4) / W, frame[i], frame[i + 1],
                   frame[i + 2], ref.frame.rgba[i], ref.frame.rgba[i + 1], ref.frame.rgba[i + 2]);
    EXPECT_EQ(differ, 0);
}
