// Where things are drawn and where the queries say they are: nulls on
// parented models and a scene plugged into a null, all turned on three
// axes, against the matrices the drawing used; the culling of a plugged
// scene against the frame it is drawn in; meshes added after the boxes were
// made; and models animated in the frame their area comes into view.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <random>

#include "game/scene/p3dgameengine.h"
#include "game/scene/p3dsceneunit.h"
#include "gl_fixture.h"
#include "scene_fixtures.h"

namespace {

using namespace scenetest;

enum { kBox1 = 1, kBox2 = 2, kMark = 7, kGunMark = 8 };

PamModel Placed(int mesh, std::initializer_list<double> v, uint16_t flags = 0, int parent = -1)
{
    PamModel m;
    m.mesh = mesh;
    m.flags = flags;
    m.parent = parent;
    Place(m.tracks, v);
    return m;
}

PamNull NullAt(std::string const& name, std::initializer_list<double> v, int link = -1)
{
    PamNull n;
    n.name = name;
    n.link = link;
    Place(n.tracks, v);
    return n;
}

Mat Frustum()
{
    // glFrustum(-1, 1, -1, 1, 1, 500).
    Mat r;
    r.m[0] = 1, r.m[5] = 1;
    r.m[10] = -501.0 / 499, r.m[11] = -1;
    r.m[14] = -1000.0 / 499, r.m[15] = 0;
    return r;
}

Mat FromFixed(int32_t const* v)
{
    Mat r;
    for (int i = 0; i < 16; i++)
        r.m[i] = Db(v[i]);
    return r;
}

void Apply(Mat const& m, double const in[3], double out[3])
{
    for (int r = 0; r < 3; r++)
        out[r] = m.m[r] * in[0] + m.m[4 + r] * in[1] + m.m[8 + r] * in[2] + m.m[12 + r];
}

class Placement : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegisterFakeMesh("box1", {kBox1, 1, 1, 1, false});
        RegisterFakeMesh("box2", {kBox2, 0.5, 1.5, 0.5, false});
        RegisterFakeMesh("mark", {kMark, 0.2, 0.2, 0.2, false});
        RegisterFakeMesh("gunmark", {kGunMark, 0.1, 0.1, 0.1, false});
        P3DSetMeshOps(FakeMeshOps());
        engine = P3DGameEngine::Create(nullptr, 0x10000);
        std::string err;
        ASSERT_TRUE(mesa.Create(64, 64, true, &err)) << err;
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
        return engine->AddSceneFromFile(WritePamFile(dir / ("p" + std::to_string(n++) + ".pam"), s).c_str(), "", "m/");
    }
    // One frame through the view, a 90 degree frustum from 1 to 500.
    void Frame(Mat const& view = Mat())
    {
        GLES* gl = mesa.gl();
        gl->glMatrixMode(GL_PROJECTION);
        gl->glLoadIdentity();
        gl->glFrustumx(-Fx(1), Fx(1), -Fx(1), Fx(1), Fx(1), Fx(500));
        gl->glMatrixMode(GL_MODELVIEW);
        int32_t v[16];
        view.ToFixed(v);
        gl->glLoadMatrixx(v);
        Draws().clear();
        engine->RenderAllScenes(gl);
    }
    // The model-view of the one draw of a mesh (the test fails without it).
    Mat DrawnAt(int id)
    {
        int n = 0;
        Mat m;
        for (auto const& d : Draws())
            if (d.id == id) {
                m = FromFixed(d.modelview);
                n++;
            }
        EXPECT_EQ(1, n) << "draws of mesh " << id;
        return m;
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
    MesaLayer mesa;
};

// A level placed with three angles; a null on a child model and a null on a
// turned root model carrying a plugged scene, turned on three axes, with a
// null of its own.
struct Rig {
    P3DAnim* level = nullptr;
    P3DAnim* plane = nullptr;
    P3DSceneUnit* ul = nullptr;
    P3DSceneUnit* up = nullptr;
};

Rig BuildRig(P3DGameEngine* engine, std::function<int(PamScene const&)> add)
{
    PamScene level;
    level.meshes = {"box1"};
    level.models = {Placed(0, {1, 0.5, -2, 25, 15, -35}), Placed(0, {0.5, 1, 0.3, 40, -20, 30}, 0, 0)};
    level.nulls = {NullAt("mount", {0.2, 0.3, -0.4, 10, 20, 30}, 1), NullAt("hook", {-1, 2, -3, 35, 25, -50}, 0),
                   NullAt("probe", {})};
    PamScene plane;
    plane.meshes = {"box2"};
    PamModel coll = Placed(-1, {-1, -1, -1, 20, 30, 40}, kPamBoxColl);
    for (auto& t : coll.size)
        t = PamTrack::Constant(Fx(2));
    plane.models = {Placed(0, {}), coll};
    plane.nulls = {NullAt("gun", {0.7, -0.4, 1.1, 15, -25, 35})};
    Rig r;
    int il = add(level), ip = add(plane);
    r.level = engine->GetAnimationPtr(il);
    r.plane = engine->GetAnimationPtr(ip);
    engine->InitCollisionPrecalculation_allScenes();
    r.ul = engine->AddSceneUnit(il, Fx(2), Fx(-1), Fx(-30), Fx(30), Fx(-20), Fx(45));
    r.up = engine->AddSceneUnit(ip, 0, 0, 0, 0, 0, 0);
    r.up->Disable();
    r.level->nulls[1]->PlugScene(r.up);
    r.level->SetModelClipFrustum(true);
    r.plane->SetModelClipFrustum(true);
    engine->GenerateMeshBoxes();
    engine->InitBlendedModelsSorting();
    // Markers added after the boxes were made, plugged on the two nulls.
    int mark = engine->AddMesh("m/mark.pof", "mark", ""), gunMark = engine->AddMesh("m/gunmark.pof", "gunmark", "");
    r.level->PlugModelToNullPoint(0, engine->meshes[mark]);
    r.plane->PlugModelToNullPoint(0, engine->meshes[gunMark]);
    return r;
}

TEST_F(Placement, PositionQueriesReportWhereTheDrawingPutsThePoint)
{
    Rig r = BuildRig(engine, [&](PamScene const& s) { return Add(s); });
    Frame();
    r.ul->Refresh();
    r.up->Refresh();
    Mat mount = DrawnAt(kMark), gun = DrawnAt(kGunMark), plane = DrawnAt(kBox2);
    struct Case {
        const char* what;
        P3DNullPoint* null;
        double offset[3]; // in the axes of the null's scene
        Mat frame;        // that scene's frame as drawn
        double local[3];  // the null's position in it
    };
    double gunAt[3] = {0.7, -0.4, 1.1};
    std::vector<Case> cases = {
        {"null on a child model", r.level->nulls[0], {0, 0, 0}, mount, {0, 0, 0}},
        {"null of the plugged scene", r.plane->nulls[0], {0, 0, 0}, gun, {0, 0, 0}},
        {"offset from it", r.plane->nulls[0], {0.5, -1.25, 2}, plane, {gunAt[0], gunAt[1], gunAt[2]}},
    };
    for (auto const& c : cases) {
        double p[3] = {c.local[0] + c.offset[0], c.local[1] + c.offset[1], c.local[2] + c.offset[2]}, want[3];
        Apply(c.frame, p, want);
        int x = Fx(c.offset[0]), y = Fx(c.offset[1]), z = Fx(c.offset[2]);
        engine->TranslateToGlobal(x, y, z, c.null);
        EXPECT_NEAR(want[0], Db(x), 2e-3) << c.what;
        EXPECT_NEAR(want[1], Db(y), 2e-3) << c.what;
        EXPECT_NEAR(want[2], Db(z), 2e-3) << c.what;
    }

    // A null of the level placed where the drawing puts points of the
    // plugged scene's collision box (turned on three axes): inside is a hit.
    P3DNullPoint* probe = r.level->nulls[2];
    probe->SetFreeDrawing(true);
    P3DModel* box = r.plane->models[1];
    Mat boxFrame = plane * Mat::T(-1, -1, -1) * Mat::R(20, 0, 1, 0) * Mat::R(40, 1, 0, 0) * Mat::R(30, 0, 0, 1);
    for (auto [q, inside] : std::vector<std::pair<std::array<double, 3>, bool>>{{{1, 1, 1}, true},
                                                                                 {{0.1, 1.9, 0.1}, true},
                                                                                 {{1.9, 0.1, 1.8}, true},
                                                                                 {{-0.2, 1, 1}, false},
                                                                                 {{1, 2.2, 1}, false},
                                                                                 {{1, 1, -0.3}, false}}) {
        double world[3];
        Apply(boxFrame, q.data(), world);
        int x = Fx(world[0]), y = Fx(world[1]), z = Fx(world[2]);
        engine->WorldToScene(x, y, z, r.ul); // into the level's space
        probe->SetFreePosition(x, y, z, 0, 0, 0);
        EXPECT_EQ(inside ? box : nullptr, engine->CheckCollision(probe, r.up)) << q[0] << " " << q[1] << " " << q[2];
    }
}

// The plugged scene (and its model, culled in the scene's own space) is
// drawn exactly when the box of the unit, where the drawing puts it, meets
// the view.
TEST_F(Placement, PluggedSceneIsCulledWhereItIsDrawn)
{
    Rig r = BuildRig(engine, [&](PamScene const& s) { return Add(s); });
    const int32_t box[6] = {-Fx(0.5), -Fx(1.5), -Fx(0.5), Fx(0.5), Fx(1.5), Fx(0.5)};
    for (int k = 0; k < 6; k++)
        r.up->box[k] = box[k];
    Frame();
    Mat plane = DrawnAt(kBox2);
    Mat P = Frustum();
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> yaw(-75, 75), pitch(-60, 60);
    int drawn = 0, culled = 0;
    for (int n = 0; n < 300; n++) {
        Mat view = Mat::R(pitch(rng), 1, 0, 0) * Mat::R(yaw(rng), 0, 1, 0);
        Mat clip = P * view * plane;
        // Culled when all eight corners lie outside one plane; views near
        // the decision are skipped (fixed point moves it slightly).
        bool visible = true, close = false;
        for (int plane6 = 0; plane6 < 6; plane6++) {
            int axis = plane6 / 2;
            double sign = plane6 % 2 ? -1 : 1, best = -1e9;
            for (int c = 0; c < 8; c++) {
                double v[3] = {Db(box[c & 1 ? 3 : 0]), Db(box[c & 2 ? 4 : 1]), Db(box[c & 4 ? 5 : 2])}, e[4];
                for (int k = 0; k < 4; k++)
                    e[k] = clip.m[k] * v[0] + clip.m[4 + k] * v[1] + clip.m[8 + k] * v[2] + clip.m[12 + k];
                best = std::max(best, e[3] + sign * e[axis]);
            }
            visible &= best >= 0;
            close |= std::fabs(best) < 0.2;
        }
        if (close)
            continue;
        Frame(view);
        ASSERT_EQ(visible ? 1 : 0, Count(kBox2)) << n;
        if (!visible) {
            ASSERT_EQ(0, Count(kGunMark)) << n; // what is plugged in it goes with it
        }
        (visible ? drawn : culled)++;
    }
    EXPECT_GT(drawn, 30);
    EXPECT_GT(culled, 30);
}

TEST_F(Placement, MeshAddedAfterTheBoxesStillCullsAndDraws)
{
    PamScene s;
    s.meshes = {"box1"};
    s.models = {Placed(0, {0, 0, -20}), Placed(0, {0, 0, 20})}; // in front, behind
    int i = Add(s);
    P3DAnim* a = engine->GetAnimationPtr(i);
    a->SetModelClipFrustum(true);
    engine->AddSceneUnit(i, 0, 0, 0, 0, 0, 0);
    engine->GenerateMeshBoxes();
    engine->InitBlendedModelsSorting();
    Frame();
    EXPECT_EQ(1, Count(kBox1));

    // A mesh comes later and the second model takes it.
    int late = engine->AddMesh("m/box2.pof", "box2", "");
    ASSERT_GE(late, 0);
    a->models[1]->meshIndex = late;
    auto moveZ = [&](int model, double z) {
        a->BlockAllChannelsInModel(model);
        a->models[model]->tracks[kTrackPosZ].value = Fx(z);
    };
    struct Step {
        double z0, z1;
        int box1, box2;
    };
    for (Step st : {Step{-20, 20, 1, 0}, Step{-20, -15, 1, 1}, Step{20, -15, 0, 1}, Step{20, 20, 0, 0}}) {
        moveZ(0, st.z0);
        moveZ(1, st.z1);
        Frame();
        EXPECT_EQ(st.box1, Count(kBox1)) << st.z0 << " " << st.z1;
        EXPECT_EQ(st.box2, Count(kBox2)) << st.z0 << " " << st.z1;
    }
    EXPECT_EQ(engine->meshCount, engine->meshBoxCount);
}

TEST_F(Placement, ModelIsAnimatedInTheFrameItsAreaComesIntoView)
{
    PamScene s;
    s.meshes = {"box1"};
    s.areas = true;
    s.areaSize = Fx(10);
    PamModel m = Placed(0, {2, 0, -25});
    m.flags = 0;
    m.tracks[1] = Keys({{0, 0.0}, {100, 10.0}}); // rises 0.1 a frame
    s.models = {m};
    int i = Add(s);
    P3DAnim* a = engine->GetAnimationPtr(i);
    FakeClock clock;
    a->SetTimeSource(FakeClock::Read, &clock);
    a->SetModelClip(false);
    a->SetModelClipFrustum(true);
    a->SetFrustumCheckingByAreas(true);
    P3DSceneUnit* u = engine->AddSceneUnit(i, 0, 0, 0, 0, 0, 0);
    ASSERT_EQ(1, u->SetLoop(0, 100));
    u->Play();
    engine->GenerateMeshBoxes();
    engine->InitBlendedModelsSorting();
    Mat away = Mat::R(180, 0, 1, 0);
    Frame(away);
    EXPECT_EQ(0, Count(kBox1));
    for (int frames : {10, 7, 30}) {
        clock.now += 40 * frames; // 25 frames a second
        int want = u->frame + frames;
        Frame(away);
        EXPECT_EQ(0, Count(kBox1));
        clock.now += 40;
        Frame(); // the area comes into view in this frame
        Mat drawn = DrawnAt(kBox1);
        EXPECT_EQ(want + 1, u->frame);
        EXPECT_NEAR(0.1 * (want + 1), drawn.m[13], 2e-3) << frames;
    }
}

} // namespace
