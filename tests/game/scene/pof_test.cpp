// Scenes with real .pof meshes: loading through texture directories in turn,
// the collision mesh that is never loaded, and a mesh drawn by the scene
// engine against the same triangles sent straight to Mesa.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "engine/graphics/ptexturemanager.h"
#include "engine/runtime/pfile.h"
#include "engine/runtime/pstring.h"
#include "game/scene/p3dgameengine.h"
#include "game/scene/p3dsceneunit.h"
#include "gl_fixture.h"
#include "scene_fixtures.h"
#include "tools/glreplay/pngio.h"
#include "tools/lib/pof_writer.h"
#include "tools/lib/toolfile.h"

namespace {

using namespace scenetest;

// The box of the stand-in meshes (half sizes 1, 1, 1), as a .pof: the same
// 36 corners and normals in one triangle list.
PofMesh BoxPof(bool textured)
{
    PofMesh m;
    m.positions.resize(36 * 3);
    m.normals.resize(36 * 3);
    BoxTriangles({0, 1, 1, 1, false}, m.positions.data(), m.normals.data());
    PofList list;
    for (uint32_t i = 0; i < 36; i++)
        list.indices.push_back(i);
    if (textured) {
        for (size_t i = 0; i < list.indices.size(); i++) {
            m.texcoords.push_back(0);
            m.texcoords.push_back(0);
        }
        PofMaterial mat;
        mat.texture = 1;
        m.materials.push_back(mat);
        m.textures.push_back("t.png");
        list.material = 1;
    }
    m.lists.push_back(list);
    return m;
}

class RealMeshes : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (char const* d : {"data/objects", "tex1", "tex2"})
            ASSERT_EQ(0, PFile::MkDir((dir / d).c_str()));
        std::string err;
        ASSERT_TRUE(mesa.Create(128, 96, true, &err)) << err;
    }
    void Put(std::string const& rel, std::vector<uint8_t> const& bytes)
    {
        std::string err;
        ASSERT_TRUE(WriteFileAtomic(dir / rel, bytes, &err)) << err;
    }
    ScratchDir dir{true};
    MesaLayer mesa;
};

TEST_F(RealMeshes, TextureDirectoriesInTurnAndNoCollisionMesh)
{
    Put("data/objects/crate.pof", WritePof(BoxPof(true)));
    Put("data/objects/coll.pof", WritePof(BoxPof(false)));
    glreplay::Image tex;
    tex.width = tex.height = 4;
    tex.rgba.assign(64, 200);
    std::string err;
    ASSERT_TRUE(glreplay::WritePng(dir / "tex2/t.png", tex, err)) << err;
    PamScene s;
    s.meshes = {"crate", "coll"};
    PamModel a, b;
    b.mesh = 1;
    s.models = {a, b};
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(PamWrite(s, &bytes, &err)) << err;
    Put("level.pam", bytes);

    PTextureManager tm(nullptr, mesa.gl());
    P3DGameEngine* e = P3DGameEngine::Create(&tm, 0x10000);
    PString d1("tex1"), d2("tex2");
    PString* dirs[2] = {&d1, &d2};
    // The texture is only in the second directory: the miss in the first
    // is no failure and leaves the log alone.
    testing::internal::CaptureStdout();
    int index = e->AddSceneFromFile("level.pam", dirs, 2, "data\\objects\\");
    std::fflush(stdout);
    EXPECT_EQ("", testing::internal::GetCapturedStdout());
    ASSERT_EQ(0, index);
    ASSERT_EQ(2, e->meshCount);
    EXPECT_NE(nullptr, e->meshes[0]);
    EXPECT_EQ(nullptr, e->meshes[1]); // "coll" under data\objects\ is never loaded
    e->GenerateMeshBoxes();
    ASSERT_NE(nullptr, e->meshBoxes[0]);
    EXPECT_EQ(PVector3(-0x10000, -0x10000, -0x10000), e->meshBoxes[0][0]);
    EXPECT_EQ(PVector3(-0x10000, 0x10000, 0x10000), e->meshBoxes[0][7]);

    // A texture in neither directory: the mesh is missing and the log says
    // why once, for the last directory's try.
    PofMesh other = BoxPof(true);
    other.textures = {"none.png"};
    Put("data/objects/lost.pof", WritePof(other));
    s.meshes = {"lost"};
    s.models = {a};
    ASSERT_TRUE(PamWrite(s, &bytes, &err)) << err;
    Put("other.pam", bytes);
    testing::internal::CaptureStdout();
    index = e->AddSceneFromFile("other.pam", dirs, 2, "data\\objects\\");
    std::fflush(stdout);
    std::string log = testing::internal::GetCapturedStdout();
    ASSERT_EQ(1, index);
    EXPECT_EQ(nullptr, e->meshes[2]);
    EXPECT_EQ(std::string::npos, log.find("tex1")) << log;
    EXPECT_NE(std::string::npos, log.find("tex2\\none.png")) << log;
    EXPECT_EQ(log.find("tex2\\none.png"), log.rfind("tex2\\none.png")) << log;
    EXPECT_NE(std::string::npos, log.find("P3DAnim: mesh \"data\\objects\\lost.pof\" not loaded")) << log;
    delete e;
}

TEST_F(RealMeshes, MeshDrawnByTheSceneMatchesMesa)
{
    Put("data/objects/box.pof", WritePof(BoxPof(false)));
    PamScene s;
    s.meshes = {"box"};
    PamModel m;
    double place[6] = {0.5, -0.5, -6, 35, 10, -20};
    Place(m.tracks, {place[0], place[1], place[2], place[3], place[4], place[5]});
    s.models = {m};
    std::vector<uint8_t> bytes;
    std::string err;
    ASSERT_TRUE(PamWrite(s, &bytes, &err)) << err;
    Put("one.pam", bytes);
    P3DGameEngine* e = P3DGameEngine::Create(nullptr, 0x10000);
    ASSERT_EQ(0, e->AddSceneFromFile("one.pam", "", "data/objects/"));
    ASSERT_NE(nullptr, e->meshes[0]);
    e->AddSceneUnit(0, 0, 0, 0, 0, 0, 0);
    e->InitBlendedModelsSorting();
    Mat P = Mat::Perspective(60, 128.0 / 96, 1, 50);
    Mat model = Mat::T(place[0], place[1], place[2]) * Mat::R(place[3], 0, 1, 0) * Mat::R(place[5], 1, 0, 0) *
                Mat::R(place[4], 0, 0, 1);
    int32_t proj[16];
    P.ToFixed(proj);
    GLES* gl = mesa.gl();
    gl->GetBackend()->glClearColorx(0, 0, 0, Fx(1));
    gl->glEnable(GL_DEPTH_TEST);
    gl->glEnable(GL_CULL_FACE);
    gl->glEnable(GL_LIGHT0);
    gl->glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    gl->glMatrixMode(GL_PROJECTION);
    gl->glLoadMatrixx(proj);
    gl->glMatrixMode(GL_MODELVIEW);
    gl->glLoadIdentity();
    e->RenderAllScenes(gl);
    std::vector<uint8_t> got = mesa.Read();
    delete e;
    mesa.Destroy();

    MesaLayer direct;
    ASSERT_TRUE(direct.Create(128, 96, false, &err)) << err;
    glViewport(0, 0, 128, 96);
    glClearColorx(0, 0, 0, Fx(1));
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    glEnable(GL_LIGHT0);
    glEnable(GL_LIGHTING);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixx(proj);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    const int32_t light[4] = {Fx(1), Fx(1), Fx(1), 0};
    glLightxv(GL_LIGHT0, GL_POSITION, light);
    float f[16];
    model.ToFloat(f);
    glLoadMatrixf(f);
    DrawBox({1, 1, 1, 1, false}, nullptr);
    std::vector<uint8_t> want = direct.Read();
    FrameDiff d = CompareFrames(got, want, 128, 96, 1);
    EXPECT_GE(d.distinctColours, 3); // background, lit faces, a face in shadow
    EXPECT_EQ(0, d.interior);
    EXPECT_LT(d.edge, 128 * 96 / 100);
}

} // namespace
