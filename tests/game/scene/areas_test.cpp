// The area grid and the octree: cells of boxes, skipped models, the octant
// lookups, the areas-in-frustum list against a brute-force test of every
// cell, and the limits on hostile grids.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "game/scene/p3dutils.h"
#include "scene_fixtures.h"

namespace {

using scenetest::Db;
using scenetest::Fx;
using scenetest::Keys;
using scenetest::Loaded;

PamModel Box(double x, double y, double z, double w, double h, double d, uint16_t extra = 0)
{
    PamModel m;
    m.flags = kPamBoxColl | extra;
    m.mesh = 0;
    scenetest::Place(m.tracks, {x, y, z});
    scenetest::Place(m.size, {w, h, d});
    return m;
}

PamScene Grid(double areaSize)
{
    PamScene s;
    s.meshes = {"coll"};
    s.areas = true;
    s.areaSize = Fx(areaSize);
    return s;
}

std::set<std::tuple<int, int, int>> CellsOf(P3DAnim* a, int model)
{
    std::set<std::tuple<int, int, int>> out;
    for (int i = 0; i < a->areaCount; i++)
        for (int k = 0; k < a->areas[i]->count; k++)
            if (a->areas[i]->models[k] == model)
                out.insert({a->areas[i]->x, a->areas[i]->y, a->areas[i]->z});
    return out;
}

TEST(Areas, CellOfACoordinate)
{
    Loaded l;
    ASSERT_EQ(1, l.Load(Grid(10)));
    P3DAnim* a = l.anim;
    EXPECT_EQ(1, a->Coord2Area(0, 1));
    EXPECT_EQ(-1, a->Coord2Area(0, -1));
    EXPECT_EQ(1, a->Coord2Area(Fx(5), -1));
    EXPECT_EQ(-1, a->Coord2Area(Fx(-5), 1));
    EXPECT_EQ(1, a->Coord2Area(Fx(10), -1)); // a maximum on the boundary stays
    EXPECT_EQ(2, a->Coord2Area(Fx(10), 1));  // a minimum there starts the next
    EXPECT_EQ(-1, a->Coord2Area(Fx(-10), 1));
    EXPECT_EQ(-2, a->Coord2Area(Fx(-10), -1));
    EXPECT_EQ(3, a->Coord2Area(Fx(25), 1));
    EXPECT_EQ(-3, a->Coord2Area(Fx(-25), 1));
}

TEST(Areas, BoxesFillTheCellsTheyTouch)
{
    Loaded l;
    PamScene s = Grid(10);
    s.models.push_back(Box(0, 0, 0, 10, 10, 10));    // cell (1,1,1) only
    s.models.push_back(Box(-10, -10, -10, 10, 10, 10)); // (-1,-1,-1) only
    s.models.push_back(Box(0, 0, 0, 0, 5, 5));        // flat on X: no cell
    s.models.push_back(Box(-5, 5, 15, 10, 10, 10));   // X -1 and 1, Y 1 and 2, Z 2 and 3
    s.models.push_back(Box(0, 0, 0, 10, 10, 10, kPamBackground));
    s.models.push_back(Box(0, 0, 0, 10, 10, 10, kPamSkybox));
    PamModel noMesh = Box(0, 0, 0, 10, 10, 10);
    noMesh.mesh = -1;
    s.models.push_back(noMesh);
    PamModel meshModel; // a mesh model whose mesh is not loaded
    s.models.push_back(meshModel);
    ASSERT_EQ(1, l.Load(s));
    P3DAnim* a = l.anim;
    using C = std::set<std::tuple<int, int, int>>;
    EXPECT_EQ((C{{1, 1, 1}}), CellsOf(a, 0));
    EXPECT_EQ((C{{-1, -1, -1}}), CellsOf(a, 1));
    EXPECT_EQ(C{}, CellsOf(a, 2));
    EXPECT_EQ((C{{-1, 1, 2}, {1, 1, 2}, {-1, 2, 2}, {1, 2, 2}, {-1, 1, 3}, {1, 1, 3}, {-1, 2, 3}, {1, 2, 3}}),
              CellsOf(a, 3));
    for (int m : {4, 5, 6, 7})
        EXPECT_EQ(C{}, CellsOf(a, m)) << m;
    // Lookups through the octant tables.
    for (int i = 0; i < a->areaCount; i++)
        EXPECT_EQ(i, a->GetModelClipAreaIndex(a->areas[i]->x, a->areas[i]->y, a->areas[i]->z));
    EXPECT_EQ(-1, a->GetModelClipAreaIndex(2, 2, 2));   // no model there
    EXPECT_EQ(-1, a->GetModelClipAreaIndex(0, 1, 1));   // there is no cell 0
    EXPECT_EQ(-1, a->GetModelClipAreaIndex(50, 1, 1));  // outside the table
    EXPECT_EQ(nullptr, a->GetModelClipAreaPtr(-9, -9, -9));
}

TEST(Areas, CurrentAreaFromAPosition)
{
    Loaded l;
    PamScene s = Grid(10);
    s.models.push_back(Box(20, 0, 0, 5, 5, 5));
    ASSERT_EQ(1, l.Load(s));
    P3DAnim* a = l.anim;
    int x, y, z;
    // The first lookup gives (1, 1, 1): the current area is still (0, 0, 0).
    a->GetModelClipAreaByGlobalPos(Fx(25), Fx(-3), Fx(99), &x, &y, &z);
    EXPECT_EQ(std::make_tuple(1, 1, 1), std::make_tuple(x, y, z));
    a->SetCurrentModelClipAreaByGlobalPos(Fx(25), Fx(-3), Fx(99));
    a->SetCurrentModelClipAreaByGlobalPos(Fx(25), Fx(-3), Fx(1));
    EXPECT_EQ(std::make_tuple(3, -1, 1), std::make_tuple(a->curAreaX, a->curAreaY, a->curAreaZ));
    a->SetCurrentModelClipArea(3, 1, 1);
    a->RefreshModelClipArea();
    ASSERT_NE(nullptr, a->currentArea);
    EXPECT_EQ(3, a->currentArea->x);
    a->SetCurrentModelClipArea(4, 1, 1);
    a->RefreshModelClipArea();
    EXPECT_EQ(nullptr, a->currentArea);
}

TEST(Areas, AreaSizeBelowOneIsOne)
{
    for (double size : {0.0, -4.0, 0.25}) {
        Loaded l;
        PamScene s = Grid(size);
        s.models.push_back(Box(1.5, 0, 0, 1, 1, 1));
        ASSERT_EQ(1, l.Load(s)) << size;
        EXPECT_EQ(0x10000, l.anim->AreaSize());
        EXPECT_EQ(2, l.anim->Coord2Area(Fx(1.5), 1));
        int x, y, z;
        l.anim->SetCurrentModelClipArea(1, 1, 1);
        l.anim->GetModelClipAreaByGlobalPos(Fx(7), 0, 0, &x, &y, &z);
        EXPECT_EQ(8, x);
    }
}

TEST(Areas, HostileGridsAreRefused)
{
    {
        // Far-apart cells would make the dense lookup tables huge.
        Loaded l;
        PamScene s = Grid(1);
        s.models.push_back(Box(0, 0, 0, 1, 1, 1));
        s.models.push_back(Box(3000, 3000, 3000, 1, 1, 1));
        EXPECT_EQ(0, l.Load(s));
    }
    {
        // One box over 32000^3 cells is refused before any is visited.
        Loaded l;
        PamScene s = Grid(1);
        s.models.push_back(Box(-16000, -16000, -16000, 32000, 32000, 32000));
        EXPECT_EQ(0, l.Load(s));
    }
    {
        // More than 65535 areas.
        Loaded l;
        PamScene s = Grid(1);
        s.models.push_back(Box(0, 0, 0, 200, 200, 2));
        EXPECT_EQ(0, l.Load(s));
        Loaded fits;
        PamScene t = Grid(1);
        t.models.push_back(Box(0, 0, 0, 200, 200, 1));
        EXPECT_EQ(1, fits.Load(t));
        EXPECT_EQ(40000, fits.anim->areaCount);
    }
}

// A random view's six planes (normalised first plane, as the scene manager
// keeps them).
void RandomPlanes(std::mt19937& rng, double reach, PPlane3* planes)
{
    std::uniform_real_distribution<double> ang(0, 6.283185307179586), pos(-reach, reach);
    double a = ang(rng), b = ang(rng);
    double ca = std::cos(a), sa = std::sin(a), cb = std::cos(b), sb = std::sin(b);
    // Rotation Rx(b) Ry(a), translation t: column-major model-view.
    double r[9] = {ca, sb * sa, -cb * sa, 0, cb, sb, sa, -sb * ca, cb * ca};
    double t[3] = {pos(rng), pos(rng), pos(rng)};
    int32_t mv[16] = {}, proj[16] = {};
    for (int c = 0; c < 3; c++)
        for (int row = 0; row < 3; row++)
            mv[c * 4 + row] = Fx(r[c * 3 + row]);
    for (int row = 0; row < 3; row++)
        mv[12 + row] = Fx(-(r[row] * t[0] + r[3 + row] * t[1] + r[6 + row] * t[2]));
    mv[15] = 0x10000;
    double n = 1, f = reach, w = 0.7;
    proj[0] = Fx(n / w);
    proj[5] = Fx(n / w);
    proj[10] = Fx(-(f + n) / (f - n));
    proj[11] = -0x10000;
    proj[14] = Fx(-2 * f * n / (f - n));
    P3DUtils::FrustumPlanesFromMatrices(planes, mv, proj);
    planes[0].Normalize();
}

TEST(Areas, OctreeListsExactlyTheCellsInTheFrustum)
{
    std::mt19937 rng(99);
    int partial = 0; // views that see some areas but not all
    for (int scene = 0; scene < 12; scene++) {
        double size = scene % 3 == 2 ? 1.0 : 10.0;
        double reach = scene % 3 == 2 ? 20000 : 200;
        Loaded l;
        PamScene s = Grid(size);
        std::uniform_real_distribution<double> pos(-reach, reach), ext(0, 3 * size);
        int models = 40 + int(rng() % 80);
        for (int i = 0; i < models; i++) {
            // Cells far out (near 20000 with size 1.0) need a root beyond
            // the 32-bit range.
            double squeeze = scene % 3 == 2 ? 10000 : 1;
            double x = pos(rng), y = pos(rng) / squeeze, z = pos(rng) / squeeze;
            s.models.push_back(Box(x, y, z, ext(rng), ext(rng), ext(rng)));
        }
        if (scene % 3 == 2) // the far corner of the octant tables stays small
            s.models.resize(3);
        ASSERT_EQ(1, l.Load(s)) << scene;
        P3DAnim* a = l.anim;
        ASSERT_GT(a->areaCount, 0);
        for (int view = 0; view < 30; view++) {
            PPlane3 planes[6];
            RandomPlanes(rng, reach * 1.5, planes);
            a->RefreshAreasInFrustumList(planes);
            std::set<int> got;
            for (int i = 0; i < a->areasInFrustumCount; i++)
                EXPECT_TRUE(got.insert(a->areasInFrustum[i]).second) << "listed twice";
            std::set<int> want;
            int64_t cs = a->AreaSize();
            for (int i = 0; i < a->areaCount; i++) {
                P3DClip* c = a->areas[i];
                auto lo = [&](int k) { return int32_t(k >= 1 ? (k - 1) * cs : k * cs); };
                PAABB3 box;
                box.min = PVector3(lo(c->x), lo(c->y), lo(c->z));
                box.max = PVector3(int32_t(lo(c->x) + cs), int32_t(lo(c->y) + cs), int32_t(lo(c->z) + cs));
                PVector3 corners[8];
                P3DUtils::BBox2Vectors(box, corners);
                if (P3DUtils::PBoxInFrustum(corners, planes, 6))
                    want.insert(i);
            }
            ASSERT_EQ(want, got) << "scene " << scene << " view " << view;
            partial += !want.empty() && int(want.size()) < a->areaCount;
        }
    }
    EXPECT_GT(partial, 100);
}

TEST(Areas, AnimationFollowsTheChosenAreas)
{
    Loaded l;
    PamScene s = Grid(10);
    PamModel a = Box(5, 5, 5, 1, 1, 1);
    a.tracks[3] = Keys({{0, 0}, {10, 10}});
    PamModel b = Box(-5, 5, 5, 1, 1, 1);
    b.tracks[3] = Keys({{0, 0}, {10, 10}});
    s.models = {a, b};
    ASSERT_EQ(1, l.Load(s));
    P3DAnim* an = l.anim;
    an->SetCurrentModelClipArea(1, 1, 1);
    an->RefreshModelClipArea();
    an->RefreshAllTransitionsAtFrame(4); // the current area only
    EXPECT_EQ(Fx(4), an->models[0]->RotY());
    EXPECT_EQ(0, an->models[1]->RotY());
    an->SetModelClip(false);
    an->SetFrustumCheckingByAreas(true);
    an->areasInFrustumCount = 0;
    an->RefreshAllTransitionsAtFrame(6); // no area in the frustum list
    EXPECT_EQ(Fx(4), an->models[0]->RotY());
    an->areasInFrustum[0] = uint16_t(an->GetModelClipAreaIndex(-1, 1, 1));
    an->areasInFrustum[1] = 60000; // outside the list: skipped
    an->areasInFrustumCount = 2;
    an->RefreshAllTransitionsAtFrame(6);
    EXPECT_EQ(Fx(6), an->models[1]->RotY());
    EXPECT_EQ(Fx(4), an->models[0]->RotY());
    an->SetFrustumCheckingByAreas(false);
    an->RefreshAllTransitionsAtFrame(8); // every model
    EXPECT_EQ(Fx(8), an->models[0]->RotY());
}

} // namespace

// The octree's shape (every node's cell, size, leaf flag and children) as
// one number, so that its builder can change without changing the tree.
uint64_t TreeDigest(P3DAnim* a)
{
    uint64_t h = 1469598103934665603ull;
    auto mix = [&](int64_t v) {
        for (int b = 0; b < 8; b++) {
            h ^= uint64_t(v >> (8 * b)) & 0xFF;
            h *= 1099511628211ull;
        }
    };
    auto walk = [&](auto& self, P3DBspTreeElement const* n) -> void {
        if (!n) {
            mix(-1);
            return;
        }
        for (int64_t v : {int64_t(n->cellX), int64_t(n->cellY), int64_t(n->cellZ), n->size, int64_t(n->subdivided),
                          int64_t(n->childCount)})
            mix(v);
        for (auto const* c : n->children)
            self(self, c);
    };
    mix(a->areaCount);
    for (auto const* r : a->roots)
        walk(walk, r);
    return h;
}

// A scene of n boxes in a band of 400 x 8 x 8 cells and one box far out on
// X, so that every area goes down a deep tree.
PamScene FarBand(int n, double far)
{
    PamScene s = Grid(1);
    std::mt19937 rng{uint32_t(n)};
    for (int i = 0; i < n; i++)
        s.models.push_back(Box(double(rng() % 400) - 200, double(rng() % 8) - 4, double(rng() % 8) - 4, 1, 1, 1));
    s.models.push_back(Box(far, 0, 0, 1, 1, 1));
    return s;
}

TEST(Areas, OctreeOfKnownScenesKeepsItsShape)
{
    struct Case {
        char const* name;
        uint64_t digest;
    };
    Case const files[] = {
        {"areas.pam", 483778300214398928ull},
        {"camera.pam", 3435299509422156963ull},
        {"chain.pam", 3435299509422156963ull},
        {"cut.pam", 3435299509422156963ull},
        {"found_2b41e08d.pam", 3435299509422156963ull},
        {"found_3226ee97.pam", 16528943273236201408ull},
        {"found_4ce95743.pam", 128360847425294443ull},
        {"found_683fc404.pam", 3435299509422156963ull},
        {"found_8355371c.pam", 3435299509422156963ull},
        {"found_a1659757.pam", 18029845063659808235ull},
        {"found_e24edbe2.pam", 8150456786936926202ull},
        {"found_e2df98c2.pam", 2369856241457788992ull},
        {"full.pam", 3435299509422156963ull},
    };
    for (Case const& c : files) {
        std::string path = std::string(KRV_SOURCE_DIR "/tests/fuzz/corpus/pam/") + c.name;
        FILE* f = std::fopen(path.c_str(), "rb");
        ASSERT_NE(nullptr, f) << path;
        std::vector<uint8_t> bytes;
        for (int ch; (ch = std::fgetc(f)) != EOF;)
            bytes.push_back(uint8_t(ch));
        std::fclose(f);
        Loaded l;
        l.Load(bytes);
        EXPECT_EQ(c.digest, TreeDigest(l.anim)) << c.name;
    }
    // Many areas under a deep tree.
    struct Band {
        int n;
        double far;
        uint64_t digest;
    };
    for (Band const& b : {Band{300, 30000, 996572944027983507ull}, Band{3000, 2000, 6576173886615647781ull},
                         Band{20000, 300, 16967709584839352640ull}}) {
        Loaded l;
        ASSERT_EQ(1, l.Load(FarBand(b.n, b.far))) << b.n;
        EXPECT_EQ(b.digest, TreeDigest(l.anim)) << b.n << " boxes, far " << b.far;
    }
}
