// Scene objects: flag rules, trigger spheres, null points riding on models,
// model boxes, and the scene's lookups by name and index.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <tuple>

#include "game/scene/p3dsceneunit.h"
#include "game/scene/p3dutils.h"
#include "scene_fixtures.h"

namespace {

using scenetest::Db;
using scenetest::Fx;
using scenetest::Keys;
using scenetest::Loaded;

TEST(Objects, FlagRules)
{
    P3DModel m;
    EXPECT_EQ(kModelNotAnimated, m.flags);
    m.AddFlag(0x82); // bit 7 already set: nothing is added
    EXPECT_EQ(0, m.IsDissolve());
    m.AddFlag(kModelDissolve);
    EXPECT_EQ(1, m.IsDissolve());
    m.RemoveFlag(kModelDissolve);
    EXPECT_EQ(kModelNotAnimated, m.flags);
}

TEST(Objects, TriggerSphereBoundaryAndFarPoints)
{
    P3DTrigger t;
    int32_t c[1] = {0}, v[1] = {Fx(10)};
    t.tracks[0].SetKeys(1, c, v);
    t.constRadius = Fx(4);
    t.RefreshTransitions(0);
    EXPECT_EQ(1, t.IsPointInside(PVector3(Fx(14), 0, 0)));     // on the sphere
    EXPECT_EQ(1, t.IsPointInside(PVector3(Fx(10), Fx(3.9), 0)));
    EXPECT_EQ(0, t.IsPointInside(PVector3(Fx(14.05), 0, 0))); // 8 fraction bits of root
    // Far points used to wrap the squared distance into a small one.
    EXPECT_EQ(0, t.IsPointInside(PVector3(INT32_MIN, INT32_MIN, INT32_MIN)));
    EXPECT_EQ(0, t.IsPointInside(PVector3(Fx(10) + Fx(16384), 0, 0)));
    // A huge radius still contains far points.
    t.constRadius = Fx(30000);
    EXPECT_EQ(1, t.IsPointInside(PVector3(Fx(10) + Fx(20000), 0, 0)));
    // A varying radius follows its track.
    t.constRadiusFlag = 0;
    int32_t rf[2] = {0, 10}, rv[2] = {Fx(1), Fx(11)};
    t.tracks[P3DTrigger::kTrackRadius].SetKeys(2, rf, rv);
    t.RefreshTransitions(10);
    EXPECT_EQ(1, t.IsPointInside(PVector3(Fx(20), 0, 0)));
    t.RefreshTransitions(0);
    EXPECT_EQ(0, t.IsPointInside(PVector3(Fx(20), 0, 0)));
}

// A chain of three models (root, child, grandchild) and a null riding on
// the grandchild.
PamScene Chain()
{
    PamScene s;
    s.meshes = {"a"};
    for (int i = 0; i < 3; i++) {
        PamModel m;
        m.parent = i - 1;
        // Position, then the rotations about Y, Z and X.
        scenetest::Place(m.tracks, {1.0 + i, 2.0 * i, -3.0, 30.0 * i, 10.0, -20.0 + i});
        s.models.push_back(m);
    }
    PamNull n;
    n.name = "tip";
    scenetest::Place(n.tracks, {0.5, 0.25, 1.0});
    n.link = 2;
    s.nulls.push_back(n);
    PamNull free;
    free.name = "tip";
    s.nulls.push_back(free);
    return s;
}

void DoubleTransform(double p[3], P3DModel const* m)
{
    double ax = Db(m->RotX()) * M_PI / 180, ay = Db(m->RotY()) * M_PI / 180, az = Db(m->RotZ()) * M_PI / 180;
    double x = std::cos(az) * p[0] - std::sin(az) * p[1], y = std::sin(az) * p[0] + std::cos(az) * p[1], z = p[2];
    double y2 = std::cos(ax) * y - std::sin(ax) * z, z2 = std::sin(ax) * y + std::cos(ax) * z;
    double x3 = std::cos(ay) * x + std::sin(ay) * z2, z3 = std::cos(ay) * z2 - std::sin(ay) * x;
    p[0] = x3 + Db(m->PosX()), p[1] = y2 + Db(m->PosY()), p[2] = z3 + Db(m->PosZ());
}

TEST(Objects, NullRidesOnItsModelAndTheModelsParents)
{
    Loaded l;
    ASSERT_EQ(1, l.Load(Chain()));
    P3DAnim* a = l.anim;
    ASSERT_EQ(2, a->models[2]->chainLength);
    EXPECT_EQ(1, a->models[2]->chain[0]);
    EXPECT_EQ(0, a->models[2]->chain[1]);

    P3DNullPoint* n = a->GetNullPointerByName("tip");
    ASSERT_EQ(a->nulls[0], n);
    int x, y, z;
    n->GetPosition(&x, &y, &z);
    double p[3] = {0.5, 0.25, 1.0};
    for (int i : {2, 1, 0})
        DoubleTransform(p, a->models[i]);
    EXPECT_NEAR(p[0], Db(x), 2e-3);
    EXPECT_NEAR(p[1], Db(y), 2e-3);
    EXPECT_NEAR(p[2], Db(z), 2e-3);

    // The model's own position through its parents.
    a->GetModelPosition(2, &x, &y, &z);
    double q[3] = {3.0, 4.0, -3.0};
    for (int i : {1, 0})
        DoubleTransform(q, a->models[i]);
    EXPECT_NEAR(q[0], Db(x), 2e-3);
    EXPECT_NEAR(q[2], Db(z), 2e-3);

    // Track values only.
    a->GetNullPosition(0, &x, &y, &z);
    EXPECT_EQ(Fx(0.5), x);
    a->GetNullPosition(7, &x, &y, &z); // out of range: untouched
    EXPECT_EQ(Fx(0.5), x);
}

TEST(Objects, NullLookupsAndFreeDrawing)
{
    Loaded l;
    ASSERT_EQ(1, l.Load(Chain()));
    P3DAnim* a = l.anim;
    int* idx = nullptr;
    EXPECT_EQ(2, a->GetNullIndiciesByName("tip", idx));
    EXPECT_EQ(1, idx[1]);
    PFree(idx);
    P3DNullPoint** list = nullptr;
    EXPECT_EQ(0, a->GetNullPointersByName("nope", list));
    EXPECT_EQ(nullptr, list);
    EXPECT_EQ(-1, a->GetNullIndexByName(nullptr));
    EXPECT_EQ(nullptr, a->GetPointerToNull(-1));

    P3DNullPoint* n = a->nulls[1];
    n->SetFreePosition(1, 2, 3, 4, 5, 6); // ignored while animated
    EXPECT_EQ(0, n->tracks[0].value);
    n->SetFreeDrawing(true);
    n->SetFreePosition(1, 2, 3, 4, 5, 6);
    int r4, r5, r6;
    n->GetRotation(&r4, &r5, &r6);
    EXPECT_EQ(4, n->tracks[kTrackRotY].value);
    EXPECT_EQ(5, n->tracks[kTrackRotX].value);
    EXPECT_EQ(6, n->tracks[kTrackRotZ].value);
    EXPECT_EQ(4, r4);
    EXPECT_EQ(5, r5);
    n->RefreshTransition(0); // free drawing: the tracks are not evaluated
    EXPECT_EQ(3, n->tracks[kTrackPosZ].value);

    a->SetNullFreePosition(1, 7, 8, 9, 10, 11, 12);
    EXPECT_EQ(std::make_tuple(10, 11, 12),
              std::make_tuple(n->tracks[kTrackRotY].value, n->tracks[kTrackRotZ].value, n->tracks[kTrackRotX].value));

    a->RemoveNull(0);
    EXPECT_EQ(1, a->nullCount);
    EXPECT_EQ(n, a->nulls[0]);
    a->RemoveNull(5);
    EXPECT_EQ(1, a->nullCount);
}

TEST(Objects, PluggingScenesAndMeshes)
{
    P3DNullPoint n(nullptr);
    P3DSceneUnit u;
    PMesh* fake = reinterpret_cast<PMesh*>(&n); // never dereferenced here
    n.PlugModel(nullptr);
    EXPECT_EQ(0, n.meshPlugged);
    n.PlugModel(fake);
    EXPECT_EQ(1, n.meshPlugged);
    n.PlugScene(&u);
    EXPECT_EQ(0, n.meshPlugged); // the mesh goes first
    EXPECT_EQ(1, n.scenePlugged);
    EXPECT_EQ(&n, u.pluggedNull);
    EXPECT_EQ(1, u.plugged);
    n.UnplugScene();
    EXPECT_EQ(std::make_tuple(0, nullptr, nullptr), std::make_tuple(u.plugged, u.pluggedNull, n.unit));
    n.UnplugScene(); // nothing plugged: nothing happens
    EXPECT_EQ(1, n.MeshBoxUnknown());
}

TEST(Objects, ModelBoxFollowsPositionRotationAndParent)
{
    Loaded l;
    PamScene s = Chain();
    scenetest::Place(s.models[0].tracks, {1.0, 0.0, -3.0, 0, 0, 0}); // unturned
    ASSERT_EQ(1, l.Load(s));
    P3DAnim* a = l.anim;
    PAABB3 mb;
    mb.min = PVector3(Fx(-1), Fx(-2), Fx(-3));
    mb.max = PVector3(Fx(1), Fx(2), Fx(3));
    PVector3 mc[8];
    P3DUtils::BBox2Vectors(mb, mc);
    a->models[0]->RefreshBox(mc);
    EXPECT_EQ(PVector3(Fx(0), Fx(-2), Fx(-6)), a->models[0]->box[0]); // moved only
    a->models[1]->RefreshBox(mc);
    for (int i = 0; i < 8; i++) {
        // Parent corners turned about the parent's position, then moved.
        double p[3] = {Db(a->models[0]->box[i].x) - 1, Db(a->models[0]->box[i].y), Db(a->models[0]->box[i].z) + 3};
        P3DModel const* m = a->models[1];
        double ax = Db(m->RotX()) * M_PI / 180, ay = Db(m->RotY()) * M_PI / 180, az = Db(m->RotZ()) * M_PI / 180;
        double x = std::cos(az) * p[0] - std::sin(az) * p[1], y = std::sin(az) * p[0] + std::cos(az) * p[1];
        double z = p[2];
        double y2 = std::cos(ax) * y - std::sin(ax) * z, z2 = std::sin(ax) * y + std::cos(ax) * z;
        double x3 = std::cos(ay) * x + std::sin(ay) * z2, z3 = std::cos(ay) * z2 - std::sin(ay) * x;
        EXPECT_NEAR(x3 + 1 + Db(m->PosX()), Db(m->box[i].x), 2e-3);
        EXPECT_NEAR(y2 + Db(m->PosY()), Db(m->box[i].y), 2e-3);
        EXPECT_NEAR(z3 - 3 + Db(m->PosZ()), Db(m->box[i].z), 2e-3);
    }
    PVector3 before = a->models[1]->box[3];
    a->models[1]->RefreshBox(nullptr);
    EXPECT_EQ(before, a->models[1]->box[3]);
}

TEST(Objects, ModelQueriesAndBlocking)
{
    Loaded l;
    PamScene s = Chain();
    s.meshes = {"a", "b"};
    s.models[1].mesh = 1;
    s.models[2].flags = kPamBoxColl;
    s.models[2].size[0] = Keys({{0, 5}});
    PamTrigger t;
    t.name = "zone";
    t.centre[0] = Keys({{0, 1.0}});
    t.radius = Fx(0.5);
    s.triggers.push_back(t);
    s.triggers.push_back(t);
    ASSERT_EQ(1, l.Load(s));
    P3DAnim* a = l.anim;
    P3DModel** list = nullptr;
    EXPECT_EQ(2, a->GetModelsPtrByModelIndex(0, list));
    EXPECT_EQ(a->models[2], list[1]);
    PFree(list);
    EXPECT_EQ(0, a->GetModelsPtrByModelIndex(5, list));
    P3DTrigger* tr = a->GetPtrToSphereTriggerByName("zone");
    ASSERT_NE(nullptr, tr);
    // Model 0 sits at (1, 0, -3): the trigger at (1, 0, 0) with radius 0.5
    // misses it; radius 3 reaches it exactly.
    EXPECT_EQ(0, a->GetModelsPtrByModelIndexInTrigger(tr, 0, list));
    tr->constRadius = Fx(3);
    EXPECT_EQ(1, a->GetModelsPtrByModelIndexInTrigger(tr, 0, list));
    EXPECT_EQ(a->models[0], list[0]);
    PFree(list);
    a->SetSphereTriggerIdToName("zone", 7);
    EXPECT_EQ(7, a->triggers[1]->id);
    a->SetSphereTriggerIdToName(nullptr, 9);
    EXPECT_EQ(7, a->triggers[0]->id);
    EXPECT_EQ(0, a->GetSphereTriggerIdThatPointBelongs(PVector3(Fx(1), 0, Fx(2.9))));
    EXPECT_EQ(-1, a->GetSphereTriggerIdThatPointBelongs(PVector3(Fx(10), 0, 0)));
    EXPECT_EQ(2, a->GetSphereTriggers(nullptr));

    bool done[3] = {false, true, false};
    a->ChangeIndiciesInAllModels(0, 4, done);
    EXPECT_EQ(4, a->GetIndexToMeshFromModel(0));
    EXPECT_EQ(1, a->GetIndexToMeshFromModel(1));
    EXPECT_EQ(-1, a->GetIndexToMeshFromModel(3));

    int x, y, z, w, h, d;
    a->GetBoxMeasure(&x, &y, &z, &w, &h, &d, 2);
    EXPECT_EQ(Fx(3), x);
    EXPECT_EQ(Fx(5), w);

    a->BlockAllChannelsInModel(2);
    EXPECT_EQ(1, a->models[2]->size[1].blocked);
    a->UnblockAllChannelsInModel(2);
    EXPECT_EQ(0, a->models[2]->size[1].blocked);
    EXPECT_EQ(&a->models[2]->size[2], a->BlockChannelInModel(2, 8, true));
    EXPECT_EQ(1, a->models[2]->size[2].blocked);
    EXPECT_EQ(nullptr, a->BlockChannelInModel(2, 9, true));
    EXPECT_EQ(nullptr, a->BlockChannelInModel(-1, 0, true));

    a->InitBoxCollPrecalculations();
    int* box = nullptr;
    EXPECT_EQ(1, a->GetBoxCollIndicies(box));
    EXPECT_EQ(2, box[0]);
}

} // namespace
