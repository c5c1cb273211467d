// Scene drawing on Mesa through the GL layer: a level with a sky box, lit
// opaque models with a parent, a model far enough for its lower level of
// detail, transparent, additive and dissolving models, a mesh and a scene
// plugged into null points and a background model. Every draw is checked
// against matrices worked out in doubles from the scene description, and the
// frame against the same draws made straight to Mesa with those matrices.
#include <gtest/gtest.h>

#include <algorithm>

#include "game/scene/p3dgameengine.h"
#include "game/scene/p3dlods.h"
#include "game/scene/p3dsceneunit.h"
#include "gl_fixture.h"
#include "scene_fixtures.h"

namespace {

using namespace scenetest;

enum { kSky = 1, kBox1, kBox2, kBox1Lod };
constexpr int kW = 256, kH = 192;

struct Placement {
    double x, y, z, ry, rz, rx; // rz is the fifth track, rx the sixth
};

Mat ModelMatrix(Placement const& p)
{
    return Mat::T(p.x, p.y, p.z) * Mat::R(p.ry, 0, 1, 0) * Mat::R(p.rx, 1, 0, 0) * Mat::R(p.rz, 0, 0, 1);
}

PamModel Model(int mesh, Placement const& p, uint16_t flags = 0, int parent = -1)
{
    PamModel m;
    m.mesh = mesh;
    m.parent = parent;
    m.flags = flags;
    Place(m.tracks, {p.x, p.y, p.z, p.ry, p.rz, p.rx});
    return m;
}

PamNull Null(std::string const& name, Placement const& p)
{
    PamNull n;
    n.name = name;
    Place(n.tracks, {p.x, p.y, p.z, p.ry, p.rz, p.rx});
    return n;
}

// The level (meshes: 0 box1, 1 box2, 2 sky).
const Placement kM0{0, 0, 0, 20, 0, 0}, kM1{4, 1, 0, 0, 15, 5}, kM2{0, 0, -45, 10, 0, 0},
    kM3{-4, 0, 3, 0, 0, 0}, kM4{6, 2, 5, 0, 0, 0}, kM5{0, 3, 0, 45, 0, 0}, kM6{-8, -1, -10, 0, 0, 0},
    kN0{3, 3, 0, 30, 0, 10}, kN1{-3, 2, 0, 10, 20, 0}, kB0{0, 1, 0, 0, 0, 0}, kB1{1, 0, 1.5, 0, 0, 0};
const double kUnit[6] = {2, 0, -5, 30, 0, 10}; // x, y, z, a (Y), b (Z), c (X)

PamScene Level()
{
    PamScene s;
    s.meshes = {"box1", "box2", "sky"};
    s.models = {Model(0, kM0),
                Model(1, kM1, 0, 0),
                Model(0, kM2),
                Model(1, kM3, kPamTransparent),
                Model(0, kM4, kPamAdditive),
                Model(2, kM5),
                Model(1, kM6, kPamBackground)};
    s.skybox = true;
    s.skyboxModels = {5};
    s.nulls = {Null("gun", kN0), Null("turret", kN1)};
    return s;
}

PamScene Turret()
{
    PamScene s;
    s.meshes = {"box2", "box1"};
    s.models = {Model(0, kB0), Model(1, kB1, kPamDissolve)};
    s.models[1].dissolveAlpha = Fx(0.5);
    return s;
}

using Expected = ExpectedDraw;

class Draw : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegisterFakeMesh("box1", {kBox1, 1, 1, 1, false});
        RegisterFakeMesh("box2", {kBox2, 0.5, 1.5, 0.5, false});
        RegisterFakeMesh("box1_d1", {kBox1Lod, 0.8, 0.8, 0.8, false});
        RegisterFakeMesh("sky", {kSky, 40, 20, 40, true});
        P3DSetMeshOps(FakeMeshOps());
    }
    void TearDown() override
    {
        P3DSetMeshOps(nullptr);
        ClearFakeMeshes();
    }
    std::string Write(std::string const& name, PamScene const& s) { return WritePamFile(dir / name, s); }
    ScratchDir dir;
};

Mat Quantized(Mat const& m)
{
    Mat r;
    for (int i = 0; i < 16; i++)
        r.m[i] = std::lround(m.m[i] * 65536) / 65536.0;
    return r;
}

// The game's camera: from (0, 5, 30) towards the origin.
Mat CameraView()
{
    double pitch = std::atan2(5.0, 30.0) * 180 / M_PI;
    return Quantized(Mat::R(pitch, 1, 0, 0) * Mat::T(0, -5, -30));
}

TEST_F(Draw, LevelMatchesDoubleReferenceAndMesa)
{
    P3DGameEngine* e = P3DGameEngine::Create(nullptr, P3DGameEngine::AspectRatio(kW, kH));
    ASSERT_NE(nullptr, e);
    int ia = e->AddSceneFromFile(Write("level.pam", Level()).c_str(), "", "meshes/");
    int ib = e->AddSceneFromFile(Write("turret.pam", Turret()).c_str(), "", "meshes/");
    ASSERT_EQ(0, ia);
    ASSERT_EQ(1, ib);
    ASSERT_EQ(3, e->meshCount); // box2 and box1 shared between the scenes
    P3DAnim* A = e->GetAnimationPtr(ia);
    P3DAnim* B = e->GetAnimationPtr(ib);
    EXPECT_EQ(1, B->models[0]->meshIndex);
    EXPECT_EQ(0, B->models[1]->meshIndex);
    A->SetModelClipFrustum(true);
    A->SetNearClipDistance(Fx(1));
    A->SetFarClipDistance(Fx(118));
    P3DLods* lods = new P3DLods();
    lods->SetUsing(true, 1, "_d");
    lods->SetDistance(0, Fx(70));
    lods->FindAndLoadMeshes(e->meshNames, e->meshCount, "", "meshes/", nullptr);
    A->lods = lods;
    P3DSceneUnit* ua = e->AddSceneUnit(ia, Fx(kUnit[0]), Fx(kUnit[1]), Fx(kUnit[2]), Fx(kUnit[3]), Fx(kUnit[4]),
                                       Fx(kUnit[5]));
    P3DSceneUnit* ub = e->AddSceneUnit(ib, 0, 0, 0, 0, 0, 0);
    ub->Disable();
    A->PlugModelToNullPoint(0, e->meshes[1]);
    A->nulls[1]->PlugScene(ub);
    e->GenerateMeshBoxes();
    e->InitBlendedModelsSorting();
    EXPECT_EQ(2 + 1 + 32, ua->blendCapacity);

    Mat V = CameraView();
    double aspect = P3DGameEngine::AspectRatio(kW, kH) / 65536.0;
    Mat P = Mat::Perspective(60, aspect, 1, 118), Psky = Mat::Perspective(60, aspect, 1, 944);
    const int32_t kSkyColour[4] = {Fx(0.25), Fx(0.5), Fx(0.75), Fx(1)};

    // Through the scene engine.
    std::vector<uint8_t> engineFrame;
    {
        MesaLayer mesa;
        std::string err;
        ASSERT_TRUE(mesa.Create(kW, kH, true, &err)) << err;
        GLES* gl = mesa.gl();
        gl->GetBackend()->glClearColorx(0, 0, 0, Fx(1));
        gl->glEnable(GL_DEPTH_TEST);
        gl->glEnable(GL_CULL_FACE);
        gl->glEnable(GL_LIGHT0);
        gl->glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        A->SetFOV(gl, e->aspect, 60 << 16);
        int32_t v[16];
        V.ToFixed(v);
        gl->glMatrixMode(GL_MODELVIEW);
        gl->glLoadMatrixx(v);
        gl->glColor4x(kSkyColour[0], kSkyColour[1], kSkyColour[2], kSkyColour[3]);
        Draws().clear();
        e->RenderAllScenes(gl);
        engineFrame = mesa.Read();
        int32_t depth = 0;
        gl->glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
        EXPECT_EQ(1, depth); // every push popped
        EXPECT_EQ(0u, gl->glGetError());
    }

    // The same, worked out in doubles.
    Mat U = Mat::T(kUnit[0], kUnit[1], kUnit[2]) * Mat::R(kUnit[3], 0, 1, 0) * Mat::R(kUnit[5], 1, 0, 0) *
            Mat::R(kUnit[4], 0, 0, 1);
    Mat SA = V * U;
    Mat V0 = V;
    V0.m[12] = V0.m[13] = V0.m[14] = 0;
    Mat sky = V0 * Mat::T(0, -7, 0) * Mat::S(1, 1.25, 1) * Mat::T(0, kM5.y, 0) * Mat::R(kM5.ry, 0, 1, 0) *
              Mat::S(2, 2, 2);
    // A scene on a null: rotation about Y by the fourth track, about Z by the
    // sixth and about X by the fifth.
    Mat SB = SA * Mat::T(kN1.x, kN1.y, kN1.z) * Mat::R(kN1.ry, 0, 1, 0) * Mat::R(kN1.rx, 0, 0, 1) *
             Mat::R(kN1.rz, 1, 0, 0);
    std::vector<Expected> opaque = {
        {kSky, sky, Psky},
        {kBox1, SA * ModelMatrix(kM0), P},
        {kBox2, SA * ModelMatrix(kM0) * ModelMatrix(kM1), P},
        {kBox1Lod, SA * ModelMatrix(kM2), P},
        {kBox2, SA * ModelMatrix(kN0), P},
        {kBox2, SB * ModelMatrix(kB0), P},
        {kBox2, V * ModelMatrix(kM6), P}, // background: drawn without the unit's placement
    };
    struct Blended {
        Expected e;
        int kind; // 0 transparent, 1 additive, 2 dissolving at 0.5
    };
    std::vector<Blended> blended = {{{kBox2, SA * ModelMatrix(kM3), P}, 0},
                                    {{kBox1, SA * ModelMatrix(kM4), P}, 1},
                                    {{kBox1, SB * ModelMatrix(kB1), P}, 2}};
    std::stable_sort(blended.begin(), blended.end(),
                     [](Blended const& a, Blended const& b) { return a.e.mv.m[14] < b.e.mv.m[14]; });
    std::vector<Expected> all = opaque;
    for (auto const& b : blended)
        all.push_back(b.e);

    // One draw per visible model, in this order, with these matrices.
    ExpectDraws(all, 2e-3, 2e-3);
    auto const& draws = Draws();
    // Back to front: the blended draws go farthest first.
    for (size_t i = opaque.size() + 1; i < draws.size(); i++)
        EXPECT_LE(draws[i - 1].modelview[14], draws[i].modelview[14]);

    // The same frame straight into Mesa.
    std::vector<uint8_t> reference;
    {
        MesaLayer mesa;
        std::string err;
        ASSERT_TRUE(mesa.Create(kW, kH, false, &err)) << err;
        auto load = [](Mat const& m) {
            float f[16];
            m.ToFloat(f);
            glLoadMatrixf(f);
        };
        glViewport(0, 0, kW, kH);
        glClearColorx(0, 0, 0, Fx(1));
        glEnable(GL_DEPTH_TEST);
        glEnable(GL_CULL_FACE);
        glEnable(GL_LIGHT0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glColor4x(kSkyColour[0], kSkyColour[1], kSkyColour[2], kSkyColour[3]);
        FakeMesh meshes[5] = {{0, 0, 0, 0, false},
                              {kSky, 40, 20, 40, true},
                              {kBox1, 1, 1, 1, false},
                              {kBox2, 0.5, 1.5, 0.5, false},
                              {kBox1Lod, 0.8, 0.8, 0.8, false}};
        glMatrixMode(GL_PROJECTION);
        load(Psky);
        glMatrixMode(GL_MODELVIEW);
        load(sky);
        glEnable(GL_DITHER);
        DrawBox(meshes[kSky], nullptr);
        glMatrixMode(GL_PROJECTION);
        load(P);
        glMatrixMode(GL_MODELVIEW);
        glClear(GL_DEPTH_BUFFER_BIT);
        glDisable(GL_DITHER);
        glEnable(GL_LIGHTING);
        glShadeModel(GL_SMOOTH);
        glTexEnvx(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        load(V);
        const int32_t light[4] = {Fx(1), Fx(1), Fx(1), 0};
        glLightxv(GL_LIGHT0, GL_POSITION, light);
        for (size_t i = 1; i < opaque.size(); i++) {
            load(opaque[i].mv);
            glDisable(GL_BLEND);
            DrawBox(meshes[opaque[i].id], nullptr);
        }
        glDisable(GL_LIGHTING);
        glTexEnvx(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
        glEnable(GL_BLEND);
        glDisable(GL_ALPHA_TEST);
        glDisable(GL_CULL_FACE);
        for (auto const& b : blended) {
            load(b.e.mv);
            if (b.kind == 0) {
                glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
                glColor4x(Fx(1), Fx(1), Fx(1), Fx(1));
                DrawBox(meshes[b.e.id], nullptr);
            } else if (b.kind == 1) {
                glBlendFunc(GL_ONE, GL_ONE);
                DrawBox(meshes[b.e.id], nullptr);
            } else {
                glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
                glColor4x(Fx(1), Fx(1), Fx(1), Fx(0.5));
                glTexEnvx(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
                DrawBox(meshes[b.e.id], nullptr);
                glTexEnvx(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
            }
        }
        reference = mesa.Read();
    }
    FrameDiff d = CompareFrames(engineFrame, reference, kW, kH, 1, "level");
    EXPECT_GT(d.distinctColours, 8);
    EXPECT_EQ(0, d.interior);
    EXPECT_LT(d.edge, kW * kH / 100);
    delete e;
}

// A scene that sets the view with its own camera: the inverse of the
// camera's placement and a half turn, the field of view from the scene, and
// the sky box turned with that view (saved by the frame before).
TEST_F(Draw, SceneCameraSetsTheView)
{
    PamScene s;
    s.meshes = {"box1", "sky"};
    s.models = {Model(0, {0, 0, 0, 0, 0, 0}), Model(1, {0, 1, 0, 0, 0, 0})};
    s.skybox = true;
    s.skyboxModels = {1};
    s.camera = true;
    Placement cam{1, 2, 10, 170, 5, -10};
    Place(s.cam.tracks, {cam.x, cam.y, cam.z, cam.ry, cam.rz, cam.rx});
    s.cam.fovConstant = true;
    s.cam.fov = Fx(50);
    P3DGameEngine* e = P3DGameEngine::Create(nullptr, P3DGameEngine::AspectRatio(kW, kH));
    int i = e->AddSceneFromFile(Write("cam.pam", s).c_str(), "", "meshes/");
    ASSERT_EQ(0, i);
    P3DSceneUnit* u = e->AddSceneUnit(i, 0, 0, 0, 0, 0, 0);
    EXPECT_EQ(1, u->cameraViewport);
    e->InitBlendedModelsSorting();
    MesaLayer mesa;
    std::string err;
    ASSERT_TRUE(mesa.Create(kW, kH, true, &err)) << err;
    GLES* gl = mesa.gl();
    gl->glMatrixMode(GL_MODELVIEW);
    gl->glLoadIdentity();
    e->RenderAllScenes(gl);
    Draws().clear();
    e->RenderAllScenes(gl);
    Mat view = Mat::R(-180, 0, 1, 0) * Mat::R(-cam.rz, 0, 0, 1) * Mat::R(-cam.rx, 1, 0, 0) *
               Mat::R(-cam.ry, 0, 1, 0) * Mat::T(-cam.x, -cam.y, -cam.z);
    double aspect = e->aspect / 65536.0;
    Mat P = Mat::Perspective(50, aspect, 6553 / 65536.0, 70), Psky = Mat::Perspective(50, aspect, 6553 / 65536.0, 560);
    Mat view0 = view;
    view0.m[12] = view0.m[13] = view0.m[14] = 0;
    std::vector<Expected> want = {
        {kSky, view0 * Mat::T(0, -7, 0) * Mat::S(1, 1.25, 1) * Mat::T(0, 1, 0) * Mat::S(2, 2, 2), Psky},
        {kBox1, view, P}};
    ExpectDraws(want, 2e-3, 3e-3);
    EXPECT_EQ(50 << 16, e->GetCameraFOV());
    delete e;
}

} // namespace
