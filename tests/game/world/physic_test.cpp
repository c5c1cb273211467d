// The collision world: the ground and inside tests against double-precision
// geometry on random points, and a frame's tests on written scenes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "engine/graphics/pmesh.h"
#include "game/scene/p3danim.h"
#include "game/scene/p3dgameengine.h"
#include "game/scene/p3dsceneunit.h"
#include "game/world/physic.h"
#include "game/world/physicobject.h"
#include "tests/game/world/world_fixture.h"

namespace {

using namespace worldtest;

constexpr double kEdgeMargin = 1.0 / 256;

struct V {
    double x, y, z;
};

// Within the margin of an edge of the triangle in the X-Z plane, where
// rounding may decide either way.
bool NearEdge(V p, V a, V b, V c)
{
    auto distance = [&](V a, V b) {
        double dx = b.x - a.x, dz = b.z - a.z, l = dx * dx + dz * dz;
        double t = std::clamp(l > 0 ? ((p.x - a.x) * dx + (p.z - a.z) * dz) / l : 0, 0.0, 1.0);
        return std::hypot(p.x - (a.x + t * dx), p.z - (a.z + t * dz));
    };
    return std::min({distance(a, b), distance(b, c), distance(c, a)}) < kEdgeMargin;
}

// Inside the triangle's X-Z shadow (edges included), and the plane's height.
bool ReferenceBelow(V p, V a, V b, V c, double* height)
{
    double d = (b.x - a.x) * (c.z - a.z) - (c.x - a.x) * (b.z - a.z);
    double l1 = ((b.x - p.x) * (c.z - p.z) - (c.x - p.x) * (b.z - p.z)) / d;
    double l2 = ((c.x - p.x) * (a.z - p.z) - (a.x - p.x) * (c.z - p.z)) / d;
    double l3 = 1 - l1 - l2;
    *height = l1 * a.y + l2 * b.y + l3 * c.y;
    return l1 >= 0 && l2 >= 0 && l3 >= 0;
}

PVector3 ToFixed(V v)
{
    return PVector3(Fx(v.x), Fx(v.y), Fx(v.z));
}

V Snap(V v)
{
    return V{Db(Fx(v.x)), Db(Fx(v.y)), Db(Fx(v.z))};
}

TEST(PhysicGeometry, GroundUnderTrianglesAgreesWithDoubles)
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> c(-60, 60), h(-20, 20), off(-8, 8), uv(-0.3, 1.3);
    int tested = 0, inside = 0;
    while (tested < 500000) {
        V a = Snap({c(rng), h(rng), c(rng)});
        V b = Snap({a.x + off(rng), h(rng) * 0.2 + a.y, a.z + off(rng)});
        V d = Snap({a.x + off(rng), h(rng) * 0.2 + a.y, a.z + off(rng)});
        if (std::fabs((b.x - a.x) * (d.z - a.z) - (d.x - a.x) * (b.z - a.z)) < 4)
            continue;
        PVector3 tri[3] = {ToFixed(a), ToFixed(b), ToFixed(d)};
        for (int k = 0; k < 20; k++, tested++) {
            double u = uv(rng), w = std::uniform_real_distribution<double>(-0.3, 1.3 - u)(rng);
            V p = Snap({a.x + u * (b.x - a.x) + w * (d.x - a.x), 0, a.z + u * (b.z - a.z) + w * (d.z - a.z)});
            if (NearEdge(p, a, b, d))
                continue;
            PVector3 fp = ToFixed(p);
            double want;
            bool in = ReferenceBelow(p, a, b, d, &want);
            int got = 0;
            ASSERT_EQ(in, Physic::CheckPointBelowTrack(got, &fp, tri)) << p.x << " " << p.z;
            inside += in;
            // The plane's 16.16 normal limits the height's precision.
            ASSERT_NEAR(in ? want : 0, in ? Db(got) : 0, 1.0 / 64) << p.x << " " << p.z;
        }
    }
    EXPECT_GT(inside, 100000);
    // Coordinates a mesh file may hold at the ends of the range: no
    // overflow, and a point far inside still counts.
    PVector3 huge[3] = {PVector3(INT32_MIN, 0, INT32_MIN), PVector3(INT32_MAX, 0, INT32_MIN),
                        PVector3(INT32_MAX, 0, INT32_MAX)};
    PVector3 p(INT32_MAX - (1 << 24), Fx(-1), INT32_MIN + (1 << 23));
    int height = 1;
    EXPECT_TRUE(Physic::CheckPointBelowTrack(height, &p, huge));
    EXPECT_EQ(0, height);
}

TEST(PhysicGeometry, ParityOfClosedMeshAgreesWithDoubles)
{
    DataDir dir;
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> ext(2, 9), pt(-7, 7);
    int tested = 0, insideCount = 0;
    for (int shape = 0; shape < 25; shape++) {
        // A star-shaped solid with one vertex on each half axis: inside
        // exactly when the point lies on the origin's side of its octant's
        // face.
        Tris m;
        m.v.assign(18, 0);
        for (int k = 0; k < 6; k++)
            m.v[size_t(k * 3 + k / 2)] = Db(Fx((k & 1 ? -1 : 1) * ext(rng)));
        for (int o = 0; o < 8; o++)
            m.t.insert(m.t.end(), {o >> 2, 2 + (o >> 1 & 1), 4 + (o & 1)});
        dir.Put("star.pof", WritePof(m.Pof()));
        PMesh* mesh = PMesh::CreateFromFile("star.pof", nullptr, "");
        ASSERT_NE(nullptr, mesh);
        auto vert = [&](int i) { return V{m.v[3 * i], m.v[3 * i + 1], m.v[3 * i + 2]}; };
        for (int k = 0; k < 20000; k++) {
            PVector3 fp(Fx(pt(rng)), Fx(pt(rng)), Fx(pt(rng)));
            V p{Db(fp.x), Db(fp.y), Db(fp.z)};
            bool near = false, inside = false;
            for (size_t t = 0; t < m.t.size() && !near; t += 3) {
                V a = vert(m.t[t]), b = vert(m.t[t + 1]), c = vert(m.t[t + 2]);
                double hgt;
                bool under = ReferenceBelow(p, a, b, c, &hgt);
                near = NearEdge(p, a, b, c) || (under && std::fabs(hgt - p.y) < kEdgeMargin);
                // The octant's face: x/ex + y/ey + z/ez <= 1.
                if ((p.x >= 0) == (m.t[t] == 0) && (p.y >= 0) == (m.t[t + 1] == 2) && (p.z >= 0) == (m.t[t + 2] == 4))
                    inside = std::fabs(p.x) / std::fabs(a.x) + std::fabs(p.y) / std::fabs(b.y) +
                                 std::fabs(p.z) / std::fabs(c.z) < 1;
            }
            if (near)
                continue;
            tested++;
            insideCount += inside;
            ASSERT_EQ(inside, (Physic::CountTrianglesAbove(mesh, fp) & 1) == 1) << p.x << " " << p.y << " " << p.z;
        }
        delete mesh;
    }
    EXPECT_GT(tested, 450000);
    EXPECT_GT(insideCount, 20000);
}

TEST(PhysicGeometry, MeshBoxBounds)
{
    PVector3 box[8];
    PAABB3{PVector3(0, 0, 0), PVector3(Fx(4), Fx(1), Fx(4))}.Corners(box);
    struct Case {
        double x, y;
        bool in;
    } cases[] = {{2, 8.5, true}, {2, 9.5, false}, {0, 2, false}}; // widened vertically; bounds excluded
    PhysicObject o;
    for (auto c : cases) {
        o.position = PVector3(Fx(c.x), Fx(c.y), Fx(2));
        EXPECT_EQ(c.in, Physic::IsObjectBelongsToMeshBox(&o, box)) << c.x << " " << c.y;
    }
    box[3].x = -1; // an unknown bound holds everything
    o.position = PVector3(Fx(100), Fx(100), Fx(100));
    EXPECT_TRUE(Physic::IsObjectBelongsToMeshBox(&o, box));
}

// A level of its own files (meshes under data\objects\, the scene as
// level.pam) loaded into an engine with one unit; a model of the given
// kind, at x = 10 or turned 45 degrees at x = 20.
class PhysicWorld : public ::testing::Test {
protected:
    void Load(uint16_t flags, std::vector<std::string> meshes = {})
    {
        PamScene s;
        s.meshes = meshes;
        PamModel m;
        m.flags = flags;
        m.mesh = meshes.empty() ? -1 : 0;
        if (flags == kPamBackground)
            m.tracks[1] = PamTrack::Constant(Fx(-3));
        if (flags == kPamBoxColl) {
            m.tracks[0] = PamTrack::Constant(Fx(10)); // spans 10 to 14
            m.size[0] = m.size[1] = m.size[2] = PamTrack::Constant(Fx(4));
        }
        if (flags == kPamPerPoly) {
            m.tracks[0] = PamTrack::Constant(Fx(20));
            m.tracks[3] = PamTrack::Constant(Fx(45));
        }
        s.models = {m};
        dir.PutScene("level.pam", s);
        engine.reset(P3DGameEngine::Create(nullptr, 0x10000));
        ASSERT_TRUE(engine);
        ASSERT_EQ(0, engine->AddSceneFromFile("level.pam", "", "data\\objects\\"));
        engine->GenerateMeshBoxes();
        engine->InitCollisionPrecalculation_allScenes();
        unit = engine->AddSceneUnit(0, 0, 0, 0, 0, 0, 0);
        ASSERT_NE(nullptr, unit);
    }
    // The body alone against the level's unit for one frame: its hits as
    // body, left and right.
    std::tuple<int, int, int> Check(PhysicObject& o, bool join = true)
    {
        if (join) {
            world.RemoveAllObjects();
            o.AddCollisionSceneUnit(unit);
            world.AddObject(&o);
            world.InitOptimizedCollisionSystem();
        }
        world.CheckCollisions(engine.get());
        return {o.hitBody, o.hitLeft, o.hitRight};
    }

    DataDir dir;
    std::unique_ptr<P3DGameEngine> engine;
    P3DSceneUnit* unit = nullptr;
    Physic world;
    int32_t health = 100;
};

TEST_F(PhysicWorld, BackgroundGroundLiftsAndFlags)
{
    Load(kPamBackground);
    // A second level unit where the body touches nothing: its test must not
    // clear the hit found in the first.
    dir.PutScene("empty.pam", PamScene{});
    ASSERT_EQ(1, engine->AddSceneFromFile("empty.pam", "", "data\\objects\\"));
    PhysicObject o(health);
    o.AddCollisionSceneUnit(engine->AddSceneUnit(1, 0, 0, 0, 0, 0, 0));
    o.position = PVector3(Fx(50), Fx(-4), Fx(50));
    o.leftWing = PVector3(Fx(-2), 0, 0);
    o.rightWing = PVector3(Fx(2), 0, 0);
    EXPECT_EQ(std::tuple(1, 0, 0), Check(o));
    ASSERT_EQ(2u, world.units.size());
    EXPECT_EQ(Fx(-3), o.position.y); // lifted onto the ground
    o.position.y = Fx(5);
    EXPECT_EQ(std::tuple(0, 0, 0), Check(o, false)); // the next frame starts clean
    // Above the ground, a wing tip below it.
    o.position.y = Fx(-2.5);
    o.SetWingCollision(true);
    o.roll = Fx(30);
    EXPECT_EQ(std::tuple(1, 1, 0), Check(o, false));
    o.roll = Fx(-30);
    EXPECT_EQ(std::tuple(1, 0, 1), Check(o, false));
    EXPECT_EQ(Fx(-2.5), o.position.y);
    // Dead bodies are not tested.
    o.position.y = Fx(-10);
    health = 0;
    Check(o, false);
    EXPECT_EQ(Fx(-10), o.position.y);
}

TEST_F(PhysicWorld, CollisionBoxesAndWingPoints)
{
    Load(kPamBoxColl);
    struct { double x, vx; bool wings; std::tuple<int, int, int> hits; } cases[] = { // clang-format off
        {12, 0, false, {1, 0, 0}}, // inside
        {9, 1, false, {1, 0, 0}},  // its next step is inside
        {9, 0, false, {0, 0, 0}},  // outside
        {8, 0, true, {0, 0, 1}},   // the right wing tip reaches in
        {16, 0, true, {0, 1, 0}},  // the left one
    }; // clang-format on
    for (auto const& c : cases) {
        PhysicObject o(health);
        o.position = PVector3(Fx(c.x), 0, 0);
        o.velocity = PVector3(Fx(c.vx), 0, 0);
        o.SetWingCollision(c.wings);
        o.leftWing = PVector3(Fx(-3), 0, 0);
        o.rightWing = PVector3(Fx(3), 0, 0);
        EXPECT_EQ(c.hits, Check(o)) << c.x;
    }
}

TEST_F(PhysicWorld, PerPolygonMeshes)
{
    dir.Put("data/objects/hill.pof", WritePof(Box(2, 2, 2).Pof()));
    Load(kPamPerPoly, {"hill"});
    for (auto [x, z, hit] : {std::tuple{20.1, 0.2, 1}, {22.4, 0.3, 1}, {23.2, 0.3, 0}, {20.3, 2.4, 1},
                             {20.3, 3.2, 0}, {17.6, -0.3, 1}}) {
        PhysicObject o(health);
        o.SetPerPolyDetection(true);
        o.position = PVector3(Fx(x), Fx(0.5), Fx(z));
        o.velocity = PVector3(Fx(0.125), 0, 0);
        EXPECT_EQ(hit, std::get<0>(Check(o))) << x << " " << z;
        EXPECT_EQ(Fx(x - hit), o.position.x); // a hit moves the body back by eight steps
    }
    // A hidden model stops nothing.
    unit->anim->models[0]->hidden = 1;
    PhysicObject o(health);
    o.SetPerPolyDetection(true);
    o.position = PVector3(Fx(20.1), Fx(0.5), Fx(0.2));
    EXPECT_EQ(0, std::get<0>(Check(o)));
}

TEST(PhysicPartners, SpheresPushApart)
{
    int32_t h1 = 100, h2 = 100;
    PhysicObject a(h1), b(h2);
    a.position = PVector3(0, 0, 0);
    b.position = PVector3(Fx(1), Fx(-6), 0);
    a.SetSphere2SphereCollision(&b, Fx(8));
    ASSERT_EQ(1, a.IsCollidingWith(0));
    // Half the separation, at most 2.0 toward the negative side.
    EXPECT_EQ(PVector3(Fx(-0.5), Fx(3), 0), a.position);
    b.position = PVector3(Fx(20), 0, 0);
    EXPECT_EQ(0, a.IsCollidingWith(0));
    b.position = a.position;
    h2 = 0; // dead partners are not tested
    EXPECT_EQ(0, a.IsCollidingWith(0));
    EXPECT_EQ(0, a.IsCollidingWith(5)); // beyond the list
    a.RemoveSphere2SphereCollision(nullptr); // one partner: the list empties
    EXPECT_TRUE(a.partners.empty());
}

} // namespace
