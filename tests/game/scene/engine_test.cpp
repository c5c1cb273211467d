// The scene manager: the shared mesh pool, scenes and units coming and
// going, collision and position queries against double-precision box tests,
// levels of detail, the blended queues and scenes plugged into themselves.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <tuple>

#include "game/scene/p3dchannel.h"
#include "game/scene/p3dgameengine.h"
#include "game/scene/p3dlods.h"
#include "game/scene/p3dsceneunit.h"
#include "game/scene/p3dutils.h"
#include "gl_fixture.h"
#include "scene_fixtures.h"

namespace {

using namespace scenetest;

class Engine : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegisterFakeMesh("box1", {1, 1, 1, 1, false});
        RegisterFakeMesh("box2", {2, 0.5, 1.5, 0.5, false});
        RegisterFakeMesh("box1_d1", {3, 0.8, 0.8, 0.8, false});
        P3DSetMeshOps(FakeMeshOps());
        engine = P3DGameEngine::Create(nullptr, 0x10000);
    }
    void TearDown() override
    {
        delete engine;
        P3DSetMeshOps(nullptr);
        ClearFakeMeshes();
    }
    int Add(PamScene const& s)
    {
        static int n = 0;
        return engine->AddSceneFromFile(WritePamFile(dir / ("s" + std::to_string(n++) + ".pam"), s).c_str(), "", "m/");
    }
    // The world position of a null, in doubles.
    std::tuple<double, double, double> Global(P3DNullPoint* null)
    {
        int x = 0, y = 0, z = 0;
        engine->TranslateToGlobal(x, y, z, null);
        return {Db(x), Db(y), Db(z)};
    }
    // Draws one frame on Mesa with a camera at the origin looking down -Z.
    void Frame()
    {
        if (!mesa) {
            auto layer = std::make_unique<MesaLayer>();
            std::string err;
            // Without a context the test fails here and draws nothing.
            if (!layer->Create(64, 64, true, &err)) {
                ADD_FAILURE() << err;
                return;
            }
            mesa = std::move(layer);
        }
        GLES* gl = mesa->gl();
        gl->glMatrixMode(GL_PROJECTION);
        gl->glLoadIdentity();
        gl->glFrustumx(-Fx(1), Fx(1), -Fx(1), Fx(1), Fx(1), Fx(500));
        gl->glMatrixMode(GL_MODELVIEW);
        gl->glLoadIdentity();
        Draws().clear();
        engine->RenderAllScenes(gl);
        int32_t depth = 0;
        gl->glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
        EXPECT_EQ(1, depth);
        EXPECT_EQ(0u, gl->glGetError());
    }
    int Count(int id)
    {
        int n = 0;
        for (auto const& d : Draws())
            n += d.id == id;
        return n;
    }
    ScratchDir dir;
    P3DGameEngine* engine = nullptr;
    std::unique_ptr<MesaLayer> mesa;
};

PamModel At(int mesh, double x, double y, double z, uint16_t flags = 0)
{
    PamModel m;
    m.mesh = mesh;
    m.flags = flags;
    Place(m.tracks, {x, y, z});
    return m;
}

TEST_F(Engine, PoolSharesMeshesAndKeepsIndices)
{
    PamScene a;
    a.meshes = {"box1", "box2", "missing"};
    a.models = {At(0, 0, 0, -10), At(1, 0, 0, -10), At(2, 0, 0, -10)};
    PamScene b;
    b.meshes = {"box2", "box1"};
    b.models = {At(0, 0, 0, -10), At(1, 1, 0, -10)};
    EXPECT_EQ(-1, engine->AddSceneFromFile((dir / "none.pam").c_str(), "", "m/"));
    EXPECT_EQ(0, Add(a)); // the failed load left its slot for this one
    EXPECT_EQ(1, Add(b));
    EXPECT_EQ(3, engine->meshCount);
    EXPECT_EQ(nullptr, engine->meshes[2]); // a missing mesh is an empty entry
    EXPECT_EQ(1, engine->GetAnimationPtr(1)->models[0]->meshIndex);
    EXPECT_EQ(0, engine->GetAnimationPtr(1)->models[1]->meshIndex);
    EXPECT_EQ(2, engine->GetMeshIndexByName("missing"));
    EXPECT_EQ(-1, engine->GetMeshIndexByName("nope"));
    EXPECT_EQ(3, engine->AddMesh("m/box1_d1.pof", "extra", ""));
    EXPECT_EQ(-1, engine->AddMesh("", "empty", ""));

    // Freeing a mesh empties its slot; nobody else's index moves.
    engine->DeallocMesh("box1");
    EXPECT_EQ(4, engine->meshCount);
    EXPECT_EQ(nullptr, engine->meshes[0]);
    EXPECT_EQ(3, engine->GetMeshIndexByName("extra"));
    engine->DeallocMesh(99);

    // Removing a scene frees the meshes only it uses.
    P3DSceneUnit* u = engine->AddSceneUnit(0, 0, 0, 0, 0, 0, 0);
    engine->RemoveScene(0, true);
    EXPECT_EQ(1, engine->sceneCount);
    EXPECT_NE(nullptr, engine->meshes[1]); // box2 is still used by the other scene
    EXPECT_EQ(nullptr, u->anim);           // its unit no longer draws a freed scene
    engine->AddSceneUnit(0, 0, 0, 0, 0, 0, 0); // the other scene, now index 0
    engine->GenerateMeshBoxes();
    engine->InitBlendedModelsSorting();
    Frame();
    EXPECT_EQ(1, Count(2)); // its box2 model
    EXPECT_EQ(0, Count(1)); // its box1 model lost its freed mesh
    engine->RemoveScene(5, true);
    EXPECT_EQ(1, engine->sceneCount);
}

TEST_F(Engine, UnitsComeAndGoSafely)
{
    PamScene host;
    host.meshes = {"box1"};
    host.models = {At(0, 0, 0, -20)};
    host.nulls.resize(1);
    host.nulls[0].name = "seat";
    PamScene guest;
    guest.meshes = {"box2"};
    guest.models = {At(0, 0, 0, 0)};
    int h = Add(host), g = Add(guest);
    EXPECT_EQ(nullptr, engine->AddSceneUnit(7, 0, 0, 0, 0, 0, 0));
    P3DSceneUnit* uh = engine->AddSceneUnit(h, 0, 0, 0, 0, 0, 0);
    P3DSceneUnit* ug = engine->AddSceneUnit(g, 0, 0, 0, 0, 0, 0);
    engine->GetAnimationPtr(h)->nulls[0]->PlugScene(ug);
    ug->Refresh();
    engine->GetAnimationPtr(h)->nulls[0]->unit = ug;
    P3DSceneUnit* gone = ug;
    engine->RemoveSceneUnit(gone);
    EXPECT_EQ(nullptr, gone);
    EXPECT_EQ(1, engine->unitCount);
    EXPECT_EQ(nullptr, engine->GetAnimationPtr(h)->nulls[0]->unit); // unplugged, not dangling
    EXPECT_EQ(0, engine->GetAnimationPtr(h)->nulls[0]->scenePlugged);
    P3DSceneUnit stranger;
    P3DSceneUnit* s = &stranger;
    engine->RemoveSceneUnit(s);
    EXPECT_EQ(nullptr, s);
    EXPECT_EQ(1, engine->unitCount);
    engine->PauseAllUnits();
    EXPECT_EQ(1, uh->paused);
    engine->ResumeAllUnits();
    EXPECT_EQ(0, uh->paused);
    engine->RemoveAllSceneUnits();
    EXPECT_EQ(0, engine->unitCount);
}

TEST_F(Engine, AspectRatioInSixtyFourBits)
{
    EXPECT_EQ(111848, P3DGameEngine::AspectRatio(1024, 600));
    EXPECT_EQ(0x10000, P3DGameEngine::AspectRatio(100, 0));
    EXPECT_EQ(873813333, P3DGameEngine::AspectRatio(40000, 3)); // beyond 32 bits before the division
}

// p' = pivot + Ry(ay) Rx(ax) Rz(az) (p - pivot), degrees.
// The point in the box's own frame, measured from its position and kept in
// scene units: the inverse of the matrix the box would be drawn with
// (translation, then Y, X and Z rotations).
void IntoBoxFrame(double p[3], double const pivot[3], double ax, double ay, double az)
{
    Mat drawn = Mat::R(ay, 0, 1, 0) * Mat::R(ax, 1, 0, 0) * Mat::R(az, 0, 0, 1);
    double d[3] = {p[0] - pivot[0], p[1] - pivot[1], p[2] - pivot[2]};
    for (int r = 0; r < 3; r++) // the transpose undoes a rotation
        p[r] = pivot[r] + drawn.m[r * 4] * d[0] + drawn.m[r * 4 + 1] * d[1] + drawn.m[r * 4 + 2] * d[2];
}

TEST_F(Engine, BoxQueriesAgreeWithDoubles)
{
    std::mt19937 rng(17);
    std::uniform_real_distribution<double> pos(-100, 100), size(0.5, 20), ang(-180, 180);
    PamScene s;
    s.meshes = {"coll"};
    struct Box {
        double p[3], d[3], rot[3]; // rot: Y, Z (fifth), X (sixth)
    };
    std::vector<Box> boxes;
    for (int i = 0; i < 60; i++) {
        Box b;
        PamModel m = At(0, 0, 0, 0, i % 7 ? kPamBoxColl : 0); // every seventh is not a box
        for (int k = 0; k < 3; k++) {
            b.p[k] = std::round(pos(rng) * 16) / 16;
            b.d[k] = std::round(size(rng) * 16) / 16;
            b.rot[k] = i % 2 ? std::round(ang(rng)) : 0;
            m.tracks[k] = PamTrack::Constant(Fx(b.p[k]));
            m.size[k] = PamTrack::Constant(Fx(b.d[k]));
            m.tracks[3 + k] = PamTrack::Constant(Fx(b.rot[k]));
        }
        s.models.push_back(m);
        boxes.push_back(b);
    }
    int si = Add(s);
    engine->InitCollisionPrecalculation_allScenes();
    P3DAnim* a = engine->GetAnimationPtr(si);
    int checked = 0, inside = 0;
    for (int n = 0; n < 20000; n++) {
        double p[3] = {pos(rng), pos(rng), pos(rng)};
        int i = int(rng() % boxes.size());
        Box const& b = boxes[i];
        if (rng() % 2)
            for (int k = 0; k < 3; k++) // aim near the box
                p[k] = b.p[k] + (std::uniform_real_distribution<double>(-0.2, 1.2)(rng)) * b.d[k];
        int x = Fx(p[0]), y = Fx(p[1]), z = Fx(p[2]);
        double q[3] = {x / 65536.0, y / 65536.0, z / 65536.0};
        auto halfOpen = [&](double const* v, double margin, bool* nearFace) {
            bool in = true;
            for (int k = 0; k < 3; k++) {
                in &= b.p[k] <= v[k] && v[k] < b.p[k] + b.d[k];
                *nearFace |= std::fabs(v[k] - b.p[k]) < margin || std::fabs(v[k] - b.p[k] - b.d[k]) < margin;
            }
            return in;
        };
        bool edge = false;
        bool want = halfOpen(q, 1e-9, &edge) && (i % 7);
        // Position and size only, rotation ignored.
        ASSERT_EQ(int(want), engine->IsPointBelongsToBoxColl(x, y, z, i, si)) << n;
        // The point turned back about the box position through all three
        // angles, undone in the order the box is placed.
        double r[3] = {q[0], q[1], q[2]};
        IntoBoxFrame(r, b.p, b.rot[2], b.rot[0], b.rot[1]);
        bool nearFace = false;
        bool wantRot = halfOpen(r, 0.01, &nearFace);
        if (!nearFace && (i % 7)) {
            ASSERT_EQ(int(wantRot), engine->CheckColl_Point_Box(a->models[i], x, y, z, 0, 0, 0)) << n;
            checked++;
            inside += wantRot;
        }
    }
    EXPECT_GT(inside, 500);
    EXPECT_GT(checked, 5000);
    // The first box (in model order) holding a point, over one scene and all.
    for (int n = 0; n < 2000; n++) {
        double p[3] = {pos(rng), pos(rng), pos(rng)};
        int x = Fx(p[0]), y = Fx(p[1]), z = Fx(p[2]);
        P3DModel* want = nullptr;
        for (size_t i = 0; i < boxes.size() && !want; i++)
            if (engine->IsPointBelongsToBoxColl(x, y, z, int(i), si))
                want = a->models[i];
        ASSERT_EQ(want, engine->IsPointBelongsToBoxColl_SeekOneScene(x, y, z, si, false));
        ASSERT_EQ(want, engine->IsPointBelongsToBoxColl_SeekAllScenes(x, y, z, false));
    }
    // The lower faces are inside, the upper ones outside.
    Box const& b1 = boxes[1];
    EXPECT_EQ(1, engine->IsPointBelongsToBoxColl(Fx(b1.p[0]), Fx(b1.p[1]), Fx(b1.p[2]), 1, si));
    EXPECT_EQ(0, engine->IsPointBelongsToBoxColl(Fx(b1.p[0] + b1.d[0]), Fx(b1.p[1]), Fx(b1.p[2]), 1, si));
    // A model without the box flag is no box, whatever its size tracks say.
    EXPECT_EQ(0, engine->IsPointBelongsToBoxColl(Fx(boxes[0].p[0]), Fx(boxes[0].p[1]), Fx(boxes[0].p[2]), 0, si));
    EXPECT_EQ(0, engine->IsPointBelongsToBoxColl(0, 0, 0, 999, si));
    EXPECT_EQ(0, engine->IsPointBelongsToBoxColl(0, 0, 0, 0, 9));
}

TEST_F(Engine, NullsReachTheWorldThroughTheirUnits)
{
    // A boat scene with a null "deck" (at 2, 1, 0, turned 90 about Y),
    // placed at (10, 0, -20); a crate scene plugged on the deck with a
    // collision box and a null "handle".
    PamScene boat;
    boat.meshes = {"box1"};
    boat.models = {At(0, 0, 0, 0)};
    boat.nulls.resize(1);
    boat.nulls[0].name = "deck";
    Place(boat.nulls[0].tracks, {2, 1, 0, 90});
    PamScene crate;
    crate.meshes = {"coll"};
    PamModel box = At(0, -1, 0, -1, kPamBoxColl);
    for (auto& t : box.size)
        t = PamTrack::Constant(Fx(2));
    crate.models = {box};
    crate.nulls.resize(1);
    crate.nulls[0].name = "handle";
    Place(crate.nulls[0].tracks, {0.5});
    int ib = Add(boat), ic = Add(crate);
    engine->InitCollisionPrecalculation_allScenes();
    P3DSceneUnit* ub = engine->AddSceneUnit(ib, Fx(10), 0, Fx(-20), 0, 0, 0);
    P3DSceneUnit* uc = engine->AddSceneUnit(ic, 0, 0, 0, 0, 0, 0);
    P3DAnim* B = engine->GetAnimationPtr(ib);
    P3DAnim* C = engine->GetAnimationPtr(ic);
    B->nulls[0]->PlugScene(uc);
    ub->Refresh();
    uc->Refresh();
    auto near = [](std::tuple<double, double, double> got, double x, double y, double z) {
        EXPECT_NEAR(x, std::get<0>(got), 1e-3);
        EXPECT_NEAR(y, std::get<1>(got), 1e-3);
        EXPECT_NEAR(z, std::get<2>(got), 1e-3);
    };
    near(Global(B->nulls[0]), 12, 1, -20);
    // The handle: its position turned by the deck's rotations (X = fifth
    // track, Y = fourth, Z = sixth), then on through the deck.
    near(Global(C->nulls[0]), 12, 1, -20.5);
    // The handle lies in the crate's box at the crate's origin (the deck).
    EXPECT_EQ(C->models[0], engine->CheckCollision(C->nulls[0], uc));
    // A unit turned as a whole.
    ub->SetRotation(Fx(90), 0, 0);
    near(Global(B->nulls[0]), 10, 1, -22);
    // A unit plugged into a null of its own scene: the walk stops.
    B->nulls[0]->UnplugScene();
    B->nulls[0]->PlugScene(ub);
    Global(B->nulls[0]);
}

TEST_F(Engine, SeekUnitUsesTheCurrentAreaWhenThereAreAreas)
{
    PamScene s;
    s.meshes = {"coll"};
    s.areas = true;
    s.areaSize = Fx(10);
    PamModel inFirst = At(0, 1, 1, 1, kPamBoxColl);
    PamModel inSecond = At(0, 21, 1, 1, kPamBoxColl);
    for (auto* m : {&inFirst, &inSecond})
        for (auto& t : m->size)
            t = PamTrack::Constant(Fx(2));
    inSecond.tracks[3] = PamTrack::Constant(Fx(90)); // turned about its position
    s.models = {inFirst, inSecond};
    int i = Add(s);
    engine->InitCollisionPrecalculation_allScenes();
    P3DSceneUnit* u = engine->AddSceneUnit(i, 0, 0, 0, 0, 0, 0);
    P3DAnim* a = engine->GetAnimationPtr(i);
    EXPECT_EQ(nullptr, engine->IsPointBelongsToBoxColl_SeekUnit(Fx(2), Fx(2), Fx(2), u)); // no current area
    a->SetCurrentModelClipArea(1, 1, 1);
    a->RefreshModelClipArea();
    EXPECT_EQ(a->models[0], engine->IsPointBelongsToBoxColl_SeekUnit(Fx(2), Fx(2), Fx(2), u));
    EXPECT_EQ(nullptr, engine->IsPointBelongsToBoxColl_SeekUnit(Fx(22), Fx(2), Fx(2), u)); // other area
    a->SetCurrentModelClipArea(3, 1, 1);
    a->RefreshModelClipArea();
    // Turned back by -90 about Y around (21, 1, 1): (21.5, 2, 0.5) lands at
    // (21.5, 2, 1.5), inside; (20.5, 2, 1.5) lands outside.
    EXPECT_EQ(a->models[1], engine->IsPointBelongsToBoxColl_SeekUnit(Fx(21.5), Fx(2), Fx(0.5), u));
    EXPECT_EQ(nullptr, engine->IsPointBelongsToBoxColl_SeekUnit(Fx(20.5), Fx(2), Fx(1.5), u));
    P3DSceneUnit none;
    EXPECT_EQ(nullptr, engine->IsPointBelongsToBoxColl_SeekUnit(0, 0, 0, &none));
}

TEST_F(Engine, ModelQueriesByMeshName)
{
    PamScene s;
    s.meshes = {"box1", "box2"};
    s.models = {At(0, 0, 0, 0), At(1, 5, 0, 0), At(0, 9, 0, 0)};
    PamTrigger t;
    t.name = "zone";
    t.radius = Fx(6);
    s.triggers = {t};
    int i = Add(s);
    P3DAnim* a = engine->GetAnimationPtr(i);
    P3DModel** list = reinterpret_cast<P3DModel**>(this);
    EXPECT_EQ(-1, engine->GetModelsPtrByName(nullptr, "box1", list));
    EXPECT_EQ(nullptr, list);
    EXPECT_EQ(0, engine->GetModelsPtrByName(a, "nope", list));
    EXPECT_EQ(2, engine->GetModelsPtrByName(a, "box1", list));
    EXPECT_EQ(a->models[2], list[1]);
    PFree(list);
    EXPECT_EQ(1, engine->GetModelsPtrByNameInTrigger(a->triggers[0], a, "box1", list));
    PFree(list);
    int* idx = nullptr;
    EXPECT_EQ(2, engine->GetAllModelsThatUseMesh("box1", i, idx));
    EXPECT_EQ(2, idx[1]);
    PFree(idx);
    EXPECT_EQ(-1, engine->GetAllModelsThatUseMesh("box1", 4, idx));
    EXPECT_EQ(-1, engine->GetAllModelsThatUseMesh("nope", i, idx));
    int x, y, z;
    engine->GetModelGlobalPosition(a->models[1], &x, &y, &z);
    EXPECT_EQ(Fx(5), x);
}

TEST_F(Engine, LevelOfDetailSwitchesAtItsDistance)
{
    P3DLods lods;
    lods.SetUsing(true, 1, "_d");
    lods.SetDistance(0, Fx(70));
    lods.SetDistance(3, Fx(1)); // no such level
    char name1[] = "box1", name2[] = "box2";
    char* names[2] = {name1, name2};
    lods.FindAndLoadMeshes(names, 2, "", "m/", nullptr);
    ASSERT_NE(nullptr, lods.meshes[0][0]);
    EXPECT_EQ(nullptr, lods.meshes[1][0]); // box2 has no level mesh
    PPlane3 view{0, 0, -0x10000, 0};       // depth = -z
    PMesh* out;
    int depth, level;
    EXPECT_EQ(0, lods.GetMeshByLods(0, &view, 0, 0, -Fx(69.9), out, depth, level));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(1, lods.GetMeshByLods(0, &view, 0, 0, -Fx(70), out, depth, level));
    EXPECT_EQ(std::make_tuple(lods.meshes[0][0], 1, Fx(70)), std::make_tuple(out, level, depth));
    EXPECT_EQ(1, lods.GetMeshByLods(1, &view, 0, 0, -Fx(80), out, depth, level));
    EXPECT_EQ(nullptr, out); // a missing level mesh: the model vanishes
    EXPECT_EQ(0, lods.GetMeshByLods(0, &view, 0, 0, Fx(5), out, depth, level)); // behind
    EXPECT_EQ(0, level);
    EXPECT_EQ(0, lods.GetMeshByLods(-1, &view, 0, 0, -Fx(80), out, depth, level));
    EXPECT_EQ(0, lods.GetMeshByLods(2, &view, 0, 0, -Fx(80), out, depth, level));

    // Three levels: the first k with threshold[k] < depth <= threshold[k+1].
    P3DLods three;
    three.SetUsing(true, 3, "_d");
    for (int k = 0; k < 3; k++)
        three.SetDistance(k, Fx(10 * (k + 1)));
    three.FindAndLoadMeshes(names, 1, "", "m/", nullptr);
    for (auto [distance, want] : {std::pair{15, 1}, {25, 2}, {99, 3}}) {
        EXPECT_EQ(1, three.GetMeshByLods(0, &view, 0, 0, -Fx(distance), out, depth, level));
        EXPECT_EQ(want, level) << distance;
    }
}

TEST_F(Engine, DrawsEachModelOnceAndBlendsWhatItShould)
{
    PamScene s;
    s.meshes = {"box1", "box2"};
    s.areas = true;
    s.areaSize = Fx(10);
    PamModel wide = At(0, -1, -1, -30); // spans cells on X, Y and Z
    PamModel bg = At(1, 0, 0, -40, kPamBackground);
    PamModel gone = At(1, 3, 0, -30, kPamDissolve);
    gone.dissolveAlpha = 0;
    PamModel full = At(1, -3, 0, -30, kPamDissolve);
    full.dissolveAlpha = Fx(1);
    s.models = {wide, bg, gone, full};
    int i = Add(s);
    P3DAnim* a = engine->GetAnimationPtr(i);
    P3DSceneUnit* u = engine->AddSceneUnit(i, 0, 0, 0, 0, 0, 0);
    engine->GenerateMeshBoxes();
    engine->InitBlendedModelsSorting();
    a->SetModelClip(false);
    a->SetModelClipFrustum(true);
    a->SetFrustumCheckingByAreas(true);
    Frame();
    EXPECT_GT(a->areasInFrustumCount, 1);
    EXPECT_EQ(1, Count(1)); // listed in several visible areas, drawn once
    EXPECT_EQ(2, Count(2)); // the background model once, the full dissolve once, alpha 0 never
    EXPECT_EQ(2, u->blendCount);

    // Without areas the background model is still drawn once.
    a->areasPresent = 0;
    a->SetModelClip(false);
    a->SetFrustumCheckingByAreas(false);
    Frame();
    EXPECT_EQ(1, Count(1));
    EXPECT_EQ(2, Count(2));

    // A full queue drops the models beyond it.
    u->blendCapacity = 1;
    Frame();
    EXPECT_EQ(1, u->blendCount);
    EXPECT_EQ(1, Count(2));
}

TEST_F(Engine, UnitPluggedIntoItsOwnSceneIsCut)
{
    PamScene s;
    s.meshes = {"box1", "box2"};
    s.models = {At(0, 0, 0, -10, kPamTransparent)};
    s.nulls.resize(2);
    s.nulls[0].name = "self";
    Place(s.nulls[0].tracks, {0, 0, -10});
    s.nulls[1].name = "lamp";
    Place(s.nulls[1].tracks, {0, 0, -12});
    int i = Add(s);
    P3DAnim* a = engine->GetAnimationPtr(i);
    a->SetModelClipFrustum(true);
    P3DSceneUnit* u = engine->AddSceneUnit(i, 0, 0, 0, 0, 0, 0);
    a->nulls[0]->PlugScene(u);
    a->PlugModelToNullPoint(1, engine->meshes[1]);
    engine->GenerateMeshBoxes();
    engine->InitBlendedModelsSorting(); // terminates
    EXPECT_GT(u->blendCapacity, 32);
    Frame(); // terminates; the matrix stack never overflows
    // The lamp is drawn by the scene and by each nested copy of it, down to
    // the depth limit; the model once (its draw stamp).
    EXPECT_EQ(1 + P3DAnim::kMaxPlugDepth, Count(2));
    EXPECT_EQ(1, Count(1));
    u->Refresh();
    Global(a->nulls[0]); // terminates
}

TEST_F(Engine, HiddenFreeChannelKeepsItsModelUndrawn)
{
    PamScene level;
    level.nulls.resize(1);
    level.nulls[0].name = "slot";
    Place(level.nulls[0].tracks, {0, 0, -10});
    PamScene plane;
    plane.meshes = {"box1", "box2"};
    plane.models = {At(0, 0, 0, 0), At(1, 0, 0, 0)};
    int li = Add(level), pi = Add(plane);
    engine->GetAnimationPtr(li)->SetModelClipFrustum(true);
    engine->AddSceneUnit(li, 0, 0, 0, 0, 0, 0);
    P3DSceneUnit* u = engine->AddSceneUnit(pi, 0, 0, 0, 0, 0, 0);
    u->Disable(); // drawn only where it is plugged
    engine->GetAnimationPtr(li)->nulls[0]->PlugScene(u);
    P3DModel* flash = engine->GetAnimationPtr(pi)->models[1];
    P3DFreeChannel* c = u->GetFreeChannelPtr(u->AddFreeChannel(&flash->tracks[kTrackRotZ], flash));
    ASSERT_NE(nullptr, c);
    c->hidden = 1;
    Frame();
    EXPECT_EQ(1, Count(1));
    EXPECT_EQ(0, Count(2));
    c->hidden = 0;
    Frame();
    EXPECT_EQ(1, Count(2));
}

TEST_F(Engine, ViewPlanesForTheGame)
{
    Frame(); // sets up the context
    ASSERT_TRUE(mesa);
    GLES* gl = mesa->gl();
    gl->glMatrixMode(GL_MODELVIEW);
    gl->glLoadIdentity();
    gl->glTranslatex(0, 0, -Fx(3)); // the camera 3.0 behind the origin
    gl->glRotatex(Fx(90), 0, Fx(1), 0);
    engine->CalculateCameraFrustum(gl);
    // The camera looks down -Z of the eye: with the turn, world +X is in
    // front. A point at world (5, 0, 0) lies 5.0 + 3.0 in front of it.
    PPlane3 cam = engine->GetCameraPlane();
    EXPECT_NEAR(8.0, P3DUtils::PlaneDistance(cam, Fx(5), 0, 0) / 65536.0, 1e-3);
    EXPECT_NEAR(3.0, P3DUtils::PlaneDistance(cam, 0, 0, 0) / 65536.0, 1e-3);
    // The water plane is the normalised near plane: 1.0 closer than the camera plane.
    PPlane3 water = engine->GetWaterPlane();
    EXPECT_NEAR(7.0, P3DUtils::PlaneDistance(water, Fx(5), 0, 0) / 65536.0, 1e-2);
    EXPECT_EQ(60 << 16, engine->GetCameraFOV());
}

} // namespace
