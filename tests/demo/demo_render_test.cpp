// The demo scenes drawn by the scene engine on Mesa, straight from the built
// archive: a map over its airfield in two seasons, each aircraft with its
// propeller, and the ships and vehicles of the missions. Every mesh and texture must load (a missing texture drops its
// mesh), and the frames must be filled and textured rather than empty,
// black or flat. The frames are kept as PNG files in demo_shots/ of the
// build folder for a person to look at.
#include <gtest/gtest.h>

#include <GLES/gl.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "engine/graphics/pglu.h"
#include "engine/graphics/pmesh.h"
#include "engine/graphics/ptexturemanager.h"
#include "engine/platform/pdisplay.h"
#include "engine/runtime/pglobals.h"
#include "engine/runtime/pstring.h"
#include "engine/runtime/pvfs.h"
#include "game/scene/p3danim.h"
#include "game/scene/p3dgameengine.h"
#include "game/scene/p3dlods.h"
#include "game/scene/p3dobjects.h"
#include "game/scene/p3dsceneunit.h"
#include "gl/glbackend_es11.h"
#include "gl/gles.h"
#include "tools/glreplay/eglpbuffer.h"
#include "tools/glreplay/pngio.h"

namespace {

constexpr int kW = 512, kH = 300;

int32_t Fx(double v)
{
    return int32_t(std::lround(v * 65536));
}

// Column-major 4x4 of a camera at eye looking at target, y up, as 16.16.
void LookAt(const double eye[3], const double target[3], int32_t out[16])
{
    double f[3] = {target[0] - eye[0], target[1] - eye[1], target[2] - eye[2]};
    double n = std::sqrt(f[0] * f[0] + f[1] * f[1] + f[2] * f[2]);
    for (double& v : f)
        v /= n;
    double s[3] = {-f[2], 0, f[0]}; // f x (0, 1, 0)
    n = std::sqrt(s[0] * s[0] + s[2] * s[2]);
    s[0] /= n, s[2] /= n;
    double u[3] = {s[1] * f[2] - s[2] * f[1], s[2] * f[0] - s[0] * f[2], s[0] * f[1] - s[1] * f[0]};
    double m[16] = {s[0], u[0], -f[0], 0, s[1], u[1], -f[1], 0, s[2], u[2], -f[2], 0, 0, 0, 0, 1};
    for (int r = 0; r < 3; r++)
        m[12 + r] = -(m[r] * eye[0] + m[4 + r] * eye[1] + m[8 + r] * eye[2]);
    for (int i = 0; i < 16; i++)
        out[i] = Fx(m[i]);
}

struct Frame {
    std::vector<uint8_t> rgba; // rows bottom first
    int background = 0;        // pixels left at the clear colour
    int colours = 0;           // distinct colours
};

class DemoRender : public ::testing::Test {
protected:
    void SetUp() override
    {
        ::setenv("VORNAPP_SAVEPATH", "/nonexistent/", 1);
        ::setenv("VORNAPPPATH", "/nonexistent/", 1);
        ASSERT_TRUE(vfs.OpenVFS(KRV_DEMO_ARCHIVE));
        globals.archive = &vfs;
        PSetTls(&globals);
        const char* why = nullptr;
        ASSERT_TRUE(surface.Create(kW, kH, &why)) << (why ? why : "EGL");
        info.width = info.screenWidth = kW;
        info.height = info.screenHeight = kH;
        gl = new GLES();
        auto* backend = new vornGL::P3DBackendES11(&info);
        backend->vornGLSetOrientation(1);
        gl->Init(backend, nullptr);
        gl->glViewport(0, 0, kW, kH);
        tm = new PTextureManager(nullptr, gl);
        engine = P3DGameEngine::Create(tm, P3DGameEngine::AspectRatio(kW, kH));
        ASSERT_NE(engine, nullptr);
        ::mkdir("demo_shots", 0777);
    }
    void TearDown() override
    {
        delete engine;
        delete tm;
        delete gl;
        surface.Destroy();
        PSetTls(nullptr);
    }

    // Every mesh the engine pooled has loaded (collision boxes excepted).
    void ExpectAllMeshesLoaded()
    {
        for (int i = 0; i < engine->meshCount; i++) {
            if (engine->meshNames[i] && std::string(engine->meshNames[i]) != "coll") {
                EXPECT_NE(engine->meshes[i], nullptr) << engine->meshNames[i];
            }
        }
    }

    Frame Draw(const double eye[3], const double target[3], P3DAnim* scene, const std::string& shot)
    {
        gl->GetBackend()->glClearColorx(Fx(1), 0, Fx(1), Fx(1));
        gl->glEnable(GL_DEPTH_TEST);
        gl->glEnable(GL_CULL_FACE);
        gl->glEnable(GL_LIGHT0);
        // The game's light: strong ambient, one white directional light.
        const int32_t ambient[4] = {Fx(1.3), Fx(1.3), Fx(1.3), Fx(1)};
        gl->glLightxv(GL_LIGHT0, GL_AMBIENT, ambient);
        gl->glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        scene->SetFOV(gl, engine->aspect, 60 << 16);
        int32_t v[16];
        LookAt(eye, target, v);
        gl->glMatrixMode(GL_MODELVIEW);
        gl->glLoadMatrixx(v);
        const int32_t light[4] = {Fx(1), Fx(1), Fx(1), 0};
        gl->glLightxv(GL_LIGHT0, GL_POSITION, light);
        engine->CalculateCameraFrustum(gl);
        engine->RenderAllScenes(gl);
        return Grab(shot);
    }

    // The frame drawn, counted and kept as demo_shots/SHOT.png.
    Frame Grab(const std::string& shot)
    {
        Frame f;
        f.rgba.resize(size_t(kW) * kH * 4);
        glFinish();
        glReadPixels(0, 0, kW, kH, GL_RGBA, GL_UNSIGNED_BYTE, f.rgba.data());
        std::set<uint32_t> seen;
        glreplay::Image img;
        img.width = kW, img.height = kH;
        img.rgba.resize(f.rgba.size());
        for (int y = 0; y < kH; y++)
            for (int x = 0; x < kW; x++) {
                const uint8_t* p = &f.rgba[(size_t(y) * kW + x) * 4];
                f.background += p[0] == 255 && p[1] == 0 && p[2] == 255;
                seen.insert(uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2]);
                uint8_t* q = &img.rgba[(size_t(kH - 1 - y) * kW + x) * 4];
                q[0] = p[0], q[1] = p[1], q[2] = p[2], q[3] = 255;
            }
        f.colours = int(seen.size());
        std::string err;
        EXPECT_TRUE(glreplay::WritePng("demo_shots/" + shot + ".png", img, err)) << err;
        return f;
    }

    PVFS vfs;
    PGlobals globals{};
    glreplay::EglPbuffer surface;
    PDisplayProperties info{};
    GLES* gl = nullptr;
    PTextureManager* tm = nullptr;
    P3DGameEngine* engine = nullptr;
};

TEST_F(DemoRender, MapsDrawFilledAndTexturedInTheirSeasons)
{
    struct Shot {
        const char* scene;
        const char* season;
        double eye[3], target[3];
        const char* name;
    } const shots[] = {
        {"data\\scenes\\map1.pam", "data\\textures\\summer", {165, 28, 150}, {115, 6, 95}, "map1_summer"},
        {"data\\scenes\\map3.pam", "data\\textures\\winter", {-5, 40, 190}, {-5, 8, 90}, "map3_winter"},
        {"data\\scenes\\map2.pam", "data\\textures\\desert", {-60, 30, 10}, {-60, 4, -90}, "map2_desert"},
    };
    for (const Shot& s : shots) {
        SCOPED_TRACE(s.name);
        PString season(s.season), common("data\\textures");
        PString* dirs[2] = {&season, &common};
        int index = engine->AddSceneFromFile(s.scene, dirs, 2, "data\\objects\\");
        ASSERT_GE(index, 0);
        ExpectAllMeshesLoaded();
        P3DAnim* scene = engine->GetAnimationPtr(index);
        // As a level is drawn: the areas inside the view, level of detail
        // beyond 70, far clip at 118.
        scene->SetModelClip(false);
        scene->SetModelClipFrustum(true);
        scene->SetFrustumCheckingByAreas(true);
        scene->SetNearClipDistance(Fx(1));
        scene->SetFarClipDistance(Fx(118));
        P3DLods* lods = new P3DLods();
        lods->SetUsing(true, 1, "_d");
        lods->SetDistance(0, Fx(70));
        ASSERT_TRUE(lods->FindAndLoadMeshes(engine->meshNames, engine->meshCount, dirs, 2, "data\\objects\\", tm));
        scene->lods = lods;
        P3DSceneUnit* unit = engine->AddSceneUnit(index, 0, 0, 0, 0, 0, 0);
        engine->GenerateMeshBoxes();
        engine->InitBlendedModelsSorting();
        Frame f = Draw(s.eye, s.target, scene, s.name);
        // The sky dome and the sea leave nothing at the clear colour.
        EXPECT_LT(f.background, kW * kH / 100);
        EXPECT_GT(f.colours, 200);
        engine->RemoveSceneUnit(unit);
        engine->RemoveScene(index, true);
    }
}

TEST_F(DemoRender, AircraftDrawWithTheirPropellers)
{
    for (int n = 1; n <= 5; n++) {
        SCOPED_TRACE(n);
        std::string base = "data\\planes\\plane" + std::to_string(n) + "\\";
        std::string tex = base + "textures", models = base + "models\\";
        int body = engine->AddSceneFromFile((base + "scenes\\plane" + std::to_string(n) + ".pam").c_str(), tex.c_str(),
                                            models.c_str());
        int prop = engine->AddSceneFromFile((base + "scenes\\p" + std::to_string(n) + "_rotor_menu.pam").c_str(),
                                            tex.c_str(), models.c_str());
        ASSERT_GE(body, 0);
        ASSERT_GE(prop, 0);
        ExpectAllMeshesLoaded();
        P3DAnim* scene = engine->GetAnimationPtr(body);
        P3DNullPoint* rotor = scene->GetNullPointerByName("Rotor1");
        ASSERT_NE(rotor, nullptr);
        P3DSceneUnit* u1 = engine->AddSceneUnit(body, 0, 0, 0, 0, 0, 0);
        int x = 0, y = 0, z = 0, a = 0, b = 0, c = 0;
        scene->GetNullPosition(rotor, &x, &y, &z, &a, &b, &c);
        P3DSceneUnit* u2 = engine->AddSceneUnit(prop, x, y, z, 0, 0, 0);
        engine->GenerateMeshBoxes();
        engine->InitBlendedModelsSorting();
        const double eye[3] = {-1.2, 0.75, -1.35}, target[3] = {0, -0.05, 0.05};
        Frame f = Draw(eye, target, scene, ("plane" + std::to_string(n)).c_str());
        // The aircraft covers a good part of the frame, in many shades.
        EXPECT_LT(f.background, kW * kH * 97 / 100);
        EXPECT_GT(f.background, kW * kH / 2);
        EXPECT_GT(f.colours, 60);
        engine->RemoveSceneUnit(u1);
        engine->RemoveSceneUnit(u2);
        engine->RemoveScene(prop, true);
        engine->RemoveScene(body, true);
    }
}

// The ships seen from outside as the game draws them, back faces culled:
// every face toward the viewer is turned outward, so the frame equals the one
// with no face culled but for a stray edge pixel (a face turned inward would
// be culled and open a view into the hull behind it), and the ship fills a
// good part of the frame. (The vehicles' gun barrels are two-sided quads,
// which differ where nothing is culled.)
TEST_F(DemoRender, ShipsShowTheirOutsides)
{
    for (const char* name : {"destroyer", "cargo_ship", "uboat"}) {
        SCOPED_TRACE(name);
        std::unique_ptr<PMesh> mesh(
            PMesh::CreateFromFile((std::string("data\\objects\\") + name + ".pof").c_str(), tm, "data\\textures\\"));
        ASSERT_NE(mesh, nullptr);
        PAABB3 box;
        mesh->BoundingBox(box);
        const double c[3] = {(box.min.x + box.max.x) / 131072.0, (box.min.y + box.max.y) / 131072.0,
                             (box.min.z + box.max.z) / 131072.0};
        const double r = std::hypot((box.max.x - box.min.x) / 65536.0, (box.max.y - box.min.y) / 65536.0,
                                    (box.max.z - box.min.z) / 65536.0);
        // From above the bow on the right, level from the left, and from
        // astern a little above.
        const double dirs[3][3] = {{0.45, 0.55, -0.7}, {-1, 0.05, 0.1}, {0.2, 0.35, 1}};
        for (int v = 0; v < 3; v++) {
            const double n = std::hypot(dirs[v][0], dirs[v][1], dirs[v][2]);
            const double eye[3] = {c[0] + dirs[v][0] / n * r * 0.8, c[1] + dirs[v][1] / n * r * 0.8,
                                   c[2] + dirs[v][2] / n * r * 0.8};
            Frame frames[2];
            for (int cull = 0; cull < 2; cull++) {
                gl->GetBackend()->glClearColorx(Fx(1), 0, Fx(1), Fx(1));
                gl->glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
                gl->glEnable(GL_DEPTH_TEST);
                if (cull)
                    gl->glEnable(GL_CULL_FACE);
                else
                    gl->glDisable(GL_CULL_FACE);
                gl->glEnable(GL_LIGHTING);
                gl->glEnable(GL_LIGHT0);
                const int32_t ambient[4] = {Fx(1.3), Fx(1.3), Fx(1.3), Fx(1)};
                gl->glLightxv(GL_LIGHT0, GL_AMBIENT, ambient);
                gl->glMatrixMode(GL_PROJECTION);
                gl->glLoadIdentity();
                gluPerspectivex(gl, Fx(50), Fx(double(kW) / kH), Fx(0.1), Fx(r * 4));
                gl->glMatrixMode(GL_MODELVIEW);
                int32_t m[16];
                LookAt(eye, c, m);
                gl->glLoadMatrixx(m);
                const int32_t light[4] = {Fx(1), Fx(1), Fx(1), 0};
                gl->glLightxv(GL_LIGHT0, GL_POSITION, light);
                mesh->Render(gl, nullptr);
                frames[cull] = Grab(std::string(name) + "_" + std::to_string(v) + (cull ? "" : "_unculled"));
            }
            int differ = 0;
            for (size_t i = 0; i < frames[0].rgba.size(); i += 4)
                differ += std::memcmp(&frames[0].rgba[i], &frames[1].rgba[i], 3) != 0;
            EXPECT_LE(differ, 8) << "view " << v;
            EXPECT_LT(frames[1].background, kW * kH * 19 / 20) << "view " << v;
            EXPECT_GT(frames[1].colours, 10) << "view " << v;
        }
    }
}

} // namespace
