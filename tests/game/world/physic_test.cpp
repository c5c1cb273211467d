// The collision world: the triangle ground test and the parity of closed
// meshes against double-precision geometry on random points, and the frame's
// tests (background ground, per-polygon meshes, partner spheres, collision
// boxes) on scenes written with the .pam writer.
#include <gtest/gtest.h>

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

// Distance in the X-Z plane from p to the segment a-b.
double SegmentDistance(V p, V a, V b)
{
    double dx = b.x - a.x, dz = b.z - a.z, l = dx * dx + dz * dz;
    double t = l > 0 ? ((p.x - a.x) * dx + (p.z - a.z) * dz) / l : 0;
    t = t < 0 ? 0 : t > 1 ? 1 : t;
    return std::hypot(p.x - (a.x + t * dx), p.z - (a.z + t * dz));
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

TEST(PhysicGeometry, GroundUnderTrianglesAgreesWithDoubles)
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> c(-60, 60), h(-20, 20), off(-8, 8);
    int tested = 0, inside = 0;
    while (tested < 500000) {
        V a{c(rng), h(rng), c(rng)};
        V b{a.x + off(rng), h(rng) * 0.2 + a.y, a.z + off(rng)};
        V d{a.x + off(rng), h(rng) * 0.2 + a.y, a.z + off(rng)};
        double area = std::fabs((b.x - a.x) * (d.z - a.z) - (d.x - a.x) * (b.z - a.z));
        if (area < 4)
            continue;
        PVector3 tri[3] = {ToFixed(a), ToFixed(b), ToFixed(d)};
        V fa{Db(tri[0].x), Db(tri[0].y), Db(tri[0].z)}, fb{Db(tri[1].x), Db(tri[1].y), Db(tri[1].z)},
            fd{Db(tri[2].x), Db(tri[2].y), Db(tri[2].z)};
        for (int k = 0; k < 20; k++, tested++) {
            double u = std::uniform_real_distribution<double>(-0.3, 1.3)(rng);
            double w = std::uniform_real_distribution<double>(-0.3, 1.3 - u)(rng);
            V p{fa.x + u * (fb.x - fa.x) + w * (fd.x - fa.x), 0, fa.z + u * (fb.z - fa.z) + w * (fd.z - fa.z)};
            PVector3 fp = ToFixed(p);
            p = V{Db(fp.x), 0, Db(fp.z)};
            if (SegmentDistance(p, fa, fb) < kEdgeMargin || SegmentDistance(p, fb, fd) < kEdgeMargin ||
                SegmentDistance(p, fd, fa) < kEdgeMargin)
                continue;
            double want;
            bool in = ReferenceBelow(p, fa, fb, fd, &want);
            int got = 0;
            ASSERT_EQ(in, Physic::CheckPointBelowTrack(got, &fp, tri)) << p.x << " " << p.z;
            if (in) {
                inside++;
                // The plane's 16.16 normal limits the height's precision.
                ASSERT_NEAR(want, Db(got), 1.0 / 64) << p.x << " " << p.z;
            }
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
        double e[6];
        for (double& x : e)
            x = ext(rng);
        Tris m;
        m.v = {e[0], 0, 0, -e[1], 0, 0, 0, e[2], 0, 0, -e[3], 0, 0, 0, e[4], 0, 0, -e[5]};
        for (int sx = 0; sx < 2; sx++)
            for (int sy = 0; sy < 2; sy++)
                for (int sz = 0; sz < 2; sz++)
                    m.t.insert(m.t.end(), {sx, 2 + sy, 4 + sz});
        for (double& c : m.v)
            c = Db(Fx(c));
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
                near = SegmentDistance(p, a, b) < kEdgeMargin || SegmentDistance(p, b, c) < kEdgeMargin ||
                       SegmentDistance(p, c, a) < kEdgeMargin || (under && std::fabs(hgt - p.y) < kEdgeMargin);
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
    PAABB3 b{PVector3(0, 0, 0), PVector3(Fx(4), Fx(1), Fx(4))};
    b.Corners(box);
    PhysicObject o;
    o.position = PVector3(Fx(2), Fx(8.5), Fx(2)); // inside the widened vertical bounds
    EXPECT_TRUE(Physic::IsObjectBelongsToMeshBox(&o, box));
    o.position.y = Fx(9.5);
    EXPECT_FALSE(Physic::IsObjectBelongsToMeshBox(&o, box));
    o.position.x = 0; // on the bound: not strictly inside
    o.position.y = Fx(2);
    EXPECT_FALSE(Physic::IsObjectBelongsToMeshBox(&o, box));
    box[3].x = -1; // an unknown bound holds everything
    o.position = PVector3(Fx(100), Fx(100), Fx(100));
    EXPECT_TRUE(Physic::IsObjectBelongsToMeshBox(&o, box));
}

// A level of its own files: meshes under data\objects\, the scene as
// level.pam, loaded into an engine with one unit.
class PhysicWorld : public ::testing::Test {
protected:
    void Load(PamScene const& s)
    {
        dir.PutScene("level.pam", s);
        engine.reset(P3DGameEngine::Create(nullptr, 0x10000));
        ASSERT_TRUE(engine);
        ASSERT_EQ(0, engine->AddSceneFromFile("level.pam", "", "data\\objects\\"));
        engine->GenerateMeshBoxes();
        engine->InitCollisionPrecalculation_allScenes();
        unit = engine->AddSceneUnit(0, 0, 0, 0, 0, 0, 0);
        ASSERT_NE(nullptr, unit);
    }
    // A body colliding with the level's unit.
    void Join(PhysicObject& o)
    {
        o.AddCollisionSceneUnit(unit);
        world.AddObject(&o);
        world.InitOptimizedCollisionSystem();
    }

    DataDir dir;
    std::unique_ptr<P3DGameEngine> engine;
    P3DSceneUnit* unit = nullptr;
    Physic world;
    int32_t health = 100;
};

TEST_F(PhysicWorld, BackgroundGroundLiftsAndFlags)
{
    PamScene s;
    PamModel ground;
    ground.flags = kPamBackground;
    ground.mesh = -1;
    ground.tracks[1] = PamTrack::Constant(Fx(-3));
    s.models = {ground};
    Load(s);
    PhysicObject o(health);
    o.position = PVector3(Fx(50), Fx(-4), Fx(50));
    Join(o);
    world.CheckCollisions(engine.get());
    EXPECT_EQ(1, o.hitBody);
    EXPECT_EQ(Fx(-3), o.position.y);

    // Above the ground, a wing tip dipping below it.
    o.position.y = Fx(-2.5);
    o.SetWingCollision(true);
    o.leftWing = PVector3(Fx(-2), 0, 0);
    o.rightWing = PVector3(Fx(2), 0, 0);
    o.roll = Fx(30); // the left tip goes down
    world.CheckCollisions(engine.get());
    EXPECT_EQ(1, o.hitLeft);
    EXPECT_EQ(0, o.hitRight);
    EXPECT_EQ(1, o.hitBody);
    o.roll = Fx(-30);
    world.CheckCollisions(engine.get());
    EXPECT_EQ(0, o.hitLeft);
    EXPECT_EQ(1, o.hitRight);
    EXPECT_EQ(Fx(-2.5), o.position.y);

    // Dead bodies are not tested and keep their flags.
    o.position.y = Fx(-10);
    health = 0;
    world.CheckCollisions(engine.get());
    EXPECT_EQ(Fx(-10), o.position.y);
}

TEST_F(PhysicWorld, HitsInOneUnitSurviveTheNext)
{
    PamScene s;
    PamModel ground;
    ground.flags = kPamBackground;
    ground.mesh = -1;
    s.models = {ground};
    Load(s);
    // A second level unit where the body touches nothing.
    dir.PutScene("empty.pam", PamScene{});
    ASSERT_EQ(1, engine->AddSceneFromFile("empty.pam", "", "data\\objects\\"));
    P3DSceneUnit* second = engine->AddSceneUnit(1, 0, 0, 0, 0, 0, 0);
    PhysicObject o(health);
    o.position = PVector3(Fx(40), Fx(-1), 0);
    o.AddCollisionSceneUnit(second);
    Join(o);
    ASSERT_EQ(2u, world.units.size());
    world.CheckCollisions(engine.get());
    EXPECT_EQ(1, o.hitBody);
    // The next frame starts clean.
    o.position.y = Fx(5);
    world.CheckCollisions(engine.get());
    EXPECT_EQ(0, o.hitBody);
}

TEST_F(PhysicWorld, CollisionBoxesAndWingPoints)
{
    PamScene s;
    PamModel box;
    box.flags = kPamBoxColl;
    box.mesh = -1;
    box.tracks[0] = PamTrack::Constant(Fx(10));
    box.size[0] = PamTrack::Constant(Fx(4));
    box.size[1] = PamTrack::Constant(Fx(4));
    box.size[2] = PamTrack::Constant(Fx(4));
    s.models = {box};
    Load(s);
    struct Case {
        double x, vx;
        bool wings;
        int body, left, right;
    } cases[] = {
        {12, 0, false, 1, 0, 0}, // inside (the box spans 10 to 14)
        {9, 1, false, 1, 0, 0},  // its next step is inside
        {9, 0, false, 0, 0, 0},  // outside
        {8, 0, true, 0, 0, 1},   // the right wing tip reaches in
        {16, 0, true, 0, 1, 0},  // the left one
    };
    for (auto const& c : cases) {
        PhysicObject o(health);
        o.position = PVector3(Fx(c.x), 0, 0);
        o.velocity = PVector3(Fx(c.vx), 0, 0);
        o.SetWingCollision(c.wings);
        o.leftWing = PVector3(Fx(-3), 0, 0);
        o.rightWing = PVector3(Fx(3), 0, 0);
        world.RemoveAllObjects();
        Join(o);
        world.CheckCollisions(engine.get());
        EXPECT_EQ(c.body, o.hitBody) << c.x;
        EXPECT_EQ(c.left, o.hitLeft) << c.x;
        EXPECT_EQ(c.right, o.hitRight) << c.x;
    }
}

TEST_F(PhysicWorld, PerPolygonMeshes)
{
    dir.Put("data/objects/hill.pof", WritePof(Box(2, 2, 2).Pof()));
    PamScene s;
    s.meshes = {"hill"};
    PamModel hill;
    hill.flags = kPamPerPoly;
    hill.tracks[0] = PamTrack::Constant(Fx(20));
    hill.tracks[3] = PamTrack::Constant(Fx(45)); // turned about Y
    s.models = {hill};
    Load(s);
    struct Case {
        double x, z;
        int hit;
    } cases[] = {{20.1, 0.2, 1}, {22.4, 0.3, 1}, {23.2, 0.3, 0}, {20.3, 2.4, 1}, {20.3, 3.2, 0}, {17.6, -0.3, 1}};
    for (auto const& c : cases) {
        PhysicObject o(health);
        o.SetPerPolyDetection(true);
        o.position = PVector3(Fx(c.x), Fx(0.5), Fx(c.z));
        o.velocity = PVector3(Fx(0.125), 0, 0);
        world.RemoveAllObjects();
        Join(o);
        world.CheckCollisions(engine.get());
        EXPECT_EQ(c.hit, o.hitBody) << c.x << " " << c.z;
        // A hit moves the body back by eight steps.
        EXPECT_EQ(Fx(c.x - (c.hit ? 1.0 : 0.0)), o.position.x);
    }
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
    h2 = 0;
    EXPECT_EQ(0, a.IsCollidingWith(0));
    EXPECT_EQ(0, a.IsCollidingWith(5));
    a.RemoveSphere2SphereCollision(nullptr); // one partner: the list empties
    EXPECT_TRUE(a.partners.empty());
}

} // namespace
