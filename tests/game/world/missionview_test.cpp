// What a mission shows and what it stops: the header's images and radar
// pictures, the intro camera's timed texts, the target cursors of its
// objects drawn on Mesa, and the player's aircraft against an object's
// plugged model.
#include <gtest/gtest.h>

#include <GLES/gl.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "engine/graphics/p3d.h"
#include "engine/graphics/psurface3d.h"
#include "engine/graphics/ptexturemanager.h"
#include "game/frontend/fonts.h"
#include "game/scene/p3dgameengine.h"
#include "game/world/gameplayobject.h"
#include "game/world/myairplane.h"
#include "game/world/scriptreader.h"
#include "game/world/splevelmanager.h"
#include "tests/game/frontend/frontend_fixture.h"
#include "tests/game/world/world_fixture.h"
#include "tools/tool_runner.h"

namespace {

using namespace worldtest;

constexpr int kW = 320, kH = 240;

char const* const kScript = R"(
define header {
    gfx 2 { gfx[0] { path "data\2dgfx\radar_a.png" } gfx[1] { path "data\2dgfx\missing.png" } }
    virtualDebrief TRUE cameraStart 10 cameraEnd 200
    vdTxt 2 { vdTxt[0] { txt 400 begin 10 end 50 } vdTxt[1] { txt 401 begin 80 end 120 } }
}
define mainPlayer { spawn "spawn" }
define GPOs { gpo 1 { gpo[0] { type POINT typeName "tgt" objectType BUILDING radarImg 0 } } }
)";

// A level with the named points and a compiled mission under data\scripts.
struct MissionFiles {
    fronttest::ScratchDir dir;
    MissionFiles()
    {
        dir.WriteFonts();
        LangLanguage l;
        l.name = u"English";
        l.strings.resize(402);
        l.strings[400] = u"FIRST";
        l.strings[401] = u"SECOND";
        dir.Write("data/lang0.bin", fronttest::Encode({l}));
        dir.Put("data/2dgfx/.keep", std::string());
        EXPECT_TRUE(SaveFrame(dir.Full("data/2dgfx/radar_a.png"), std::vector<uint32_t>(64, 0xFFFFFF), 8, 8));
        PamScene level;
        for (char const* n : {"spawn", "tgt"}) {
            PamNull p;
            p.name = n;
            level.nulls.push_back(p);
        }
        dir.PutScene("level.pam", level);
        dir.Put("m.txt", std::string(kScript));
        dir.Put("data/scripts/.keep", std::string());
        auto r = tooltest::RunTool("scriptc", tooltest::Q(dir.Full("m.txt")) + " " +
                                                  tooltest::Q(dir.Full("data/scripts/m.bin")), true);
        EXPECT_EQ(r.code, 0) << r.out;
    }
};

TEST(MissionHeader, ImagesRadarPicturesAndTimedTexts)
{
    MissionFiles files;
    MesaContext mesa(kW, kH);
    ASSERT_NE(mesa.ctx, nullptr);
    PDisplayProperties props{};
    mesa.display->GetInfo(props);
    Fonts fonts;
    ASSERT_TRUE(fonts.Init(mesa.ctx, &props) && fonts.LoadLanguage(0));
    std::unique_ptr<P3DGameEngine> engine(P3DGameEngine::Create(nullptr, 0x10000));
    ASSERT_EQ(0, engine->AddSceneFromFile("level.pam", "", ""));
    ScriptReader script;
    ASSERT_EQ(SPLM::ParseScript(&script, "data_to_make\\scripts\\txt\\m"), 1);

    SPLM m(mesa.ctx);
    m.LoadImagesDefinedInHeader(&script);
    m.LoadVirtualDebriefFromHeader(&fonts, &script);
    // Image numbers are element numbers: one that does not load stays empty.
    ASSERT_EQ(m.GfxImageCount(), 2);
    ASSERT_NE(m.GetGfxImagePtr(0), nullptr);
    EXPECT_EQ(m.GetGfxImagePtr(0)->Width(), 8u);
    EXPECT_EQ(m.GetGfxImagePtr(1), nullptr);
    EXPECT_EQ(m.GetGfxImagePtr(2), nullptr);

    m.Init(engine.get(), nullptr, 0);
    m.SetCurrentLevel(engine->GetAnimationPtr(0));
    GPO* player = new GPO;
    player->DefineTypeName("spawn");
    player->DefineIDNone(true);
    ASSERT_EQ(player->GenerateFromLevel(engine.get(), engine->GetAnimationPtr(0)), 1);
    m.SetPlayer(player);
    ASSERT_EQ(m.DefineGPOs(&fonts, nullptr, nullptr, nullptr, &script, nullptr, nullptr), 1);
    GPO** gpos = nullptr;
    ASSERT_EQ(m.GetGPOsPtr(gpos), 1);
    EXPECT_EQ(gpos[0]->radarImage, m.GetGfxImagePtr(0));

    // The intro camera: its frames, the default rate, and the texts shown as
    // the frames pass (each text only in its window, one after the other).
    EXPECT_TRUE(m.HasIntroCamera());
    EXPECT_EQ(m.CameraStart(), 10);
    EXPECT_EQ(m.CameraEnd(), 200);
    EXPECT_EQ(m.CameraFPS(), 30);
    struct Step {
        int frame;
        const wchar_t* shown;
    } const steps[] = {{5, nullptr},    {10, L"FIRST"},   {50, L"FIRST"}, {51, nullptr}, {60, nullptr},
                       {80, L"SECOND"}, {120, L"SECOND"}, {130, nullptr}, {100, L"SECOND"}};
    for (Step const& s : steps) {
        const wchar_t* t = m.GetNextVDText(s.frame);
        if (!s.shown)
            EXPECT_EQ(t, nullptr) << s.frame;
        else
            EXPECT_STREQ(t, s.shown) << s.frame;
    }
}

// A manager with objects of the test's own.
struct Mission : SPLM {
    explicit Mission(std::vector<GPO*>& list)
    {
        m_gpos = list.data();
        m_gpoCount = int32_t(list.size());
    }
};

TEST(MissionIndicators, CursorsOfLiveObjectsAreDrawn)
{
    DataDir dir;
    dir.Put("data/textures/.keep", std::string());
    ASSERT_TRUE(SaveFrame(dir.Full("data/textures/cursor.png"), std::vector<uint32_t>(64 * 64, 0xFF4040), 64, 64));
    ASSERT_TRUE(SaveFrame(dir.Full("data/textures/flat.png"), std::vector<uint32_t>(64 * 64, 0x40FF40), 64, 64));
    MesaContext mesa(kW, kH);
    P3D* gl = mesa.ctx;
    ASSERT_NE(gl, nullptr);
    PTextureManager tm(nullptr, gl);
    int billboard = tm.AddTexture("data\\textures\\cursor.png", 2048, 0);
    int flat = tm.AddTexture("data\\textures\\flat.png", 2048, 0);
    ASSERT_NE(billboard, 0);
    ASSERT_NE(flat, 0);

    struct Thing {
        PVector3 at;
        int kind, cursor, health;
        bool enabled, drawn;
    } const things[] = {
        {{Fx(-2.5), 0, 0}, 0, 0, 100, true, true}, // a billboard cursor
        {{Fx(2.5), 0, 0}, 1, 0, 100, true, true},  // a flat one
        {{0, Fx(3), 0}, 0, 0, 0, true, false},    // destroyed
        {{0, Fx(-3), 0}, 0, 0, 100, false, false}, // disabled
        {{0, 0, 0}, 0, -1, 100, true, false},     // without a cursor
    };
    std::vector<std::unique_ptr<GPO>> owned;
    std::vector<GPO*> list;
    for (Thing const& t : things) {
        owned.push_back(std::make_unique<GPO>());
        GPO* g = owned.back().get();
        g->SetInternalHealthRef();
        g->ownHealth = t.health;
        g->position = t.at;
        g->cursorX = &g->position.x, g->cursorY = &g->position.y, g->cursorZ = &g->position.z;
        g->SetCursorId(int8_t(t.cursor));
        g->SetCursorType(int8_t(t.kind));
        g->SetCursorSize(1);
        g->enabled = t.enabled;
        list.push_back(g);
    }
    Mission m(list);

    gl->glViewport(0, 0, kW, kH);
    gl->glScissor(0, 0, kW, kH);
    gl->glMatrixMode(GL_PROJECTION);
    gl->glLoadIdentity();
    gl->glFrustumx(-Fx(0.5), Fx(0.5), -Fx(0.375), Fx(0.375), Fx(1), Fx(100));
    gl->glMatrixMode(GL_MODELVIEW);
    gl->glLoadIdentity();
    gl->glTranslatex(0, 0, -Fx(10));
    gl->glRotatex(Fx(30), 0x10000, 0, 0); // looking down on them a little
    gl->glTexEnvx(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    gl->Clear(0xFF000000);
    PVector3 eye{0, Fx(5), Fx(8.66)};
    m.RenderGpoIndicators(gl, &tm, billboard, flat, eye);
    auto f = mesa.Read();
    if (const char* d = std::getenv("KRV_SAVE_FRAMES"))
        SaveFrame(std::string(d) + "/gpo_indicators.png", f, kW, kH);

    for (size_t i = 0; i < list.size(); i++) {
        PVector2 s;
        gl->GetScreenCoordXY(s, &things[i].at);
        int cx = s.x >> 16, cy = s.y >> 16, lit = 0;
        for (int y = std::max(cy - 6, 0); y < std::min(cy + 6, kH); y++)
            for (int x = std::max(cx - 6, 0); x < std::min(cx + 6, kW); x++)
                lit += (f[size_t(y) * kW + x] & 0xFFFFFF) != 0;
        EXPECT_EQ(lit > 30, things[i].drawn) << "object " << i << " at " << cx << "," << cy << " lit " << lit;
    }
    // The flat cursor turns a little every frame it is drawn.
    EXPECT_EQ(list[1]->cursorAngle, 0xC000);
    EXPECT_EQ(list[0]->cursorAngle, 0);
}

// The player's aircraft against a plugged model (a 4 x 2 x 4 block turned 45
// degrees on a point at z = 20): under it the aircraft is stopped and moved
// back; beside it, above it or far from it nothing happens.
TEST(MissionPluggedModels, PlayerHitsThePluggedBlock)
{
    DataDir dir;
    dir.Put("data/objects/block.pof", WritePof(Box(2, 1, 2).Pof()));
    PamScene s;
    PamNull point;
    point.name = "block";
    point.tracks[2] = PamTrack::Constant(Fx(20));
    point.tracks[3] = PamTrack::Constant(Fx(45));
    s.nulls = {point};
    dir.PutScene("level.pam", s);
    std::unique_ptr<P3DGameEngine> engine(P3DGameEngine::Create(nullptr, 0x10000));
    ASSERT_EQ(0, engine->AddSceneFromFile("level.pam", "", "data\\objects\\"));
    P3DAnim* level = engine->GetAnimationPtr(0);
    int mesh = GPO::FindOrLoadMesh(engine.get(), "block", "data\\objects\\", "");
    ASSERT_GE(mesh, 0);

    struct Case {
        double x, y, z;
        bool listed, hit;
    } const cases[] = {
        {0, 0, 20, true, true},    // inside
        {2.5, 0, 20, true, true},  // in a corner the turn brings out along x
        {0, -3, 20, true, true},   // under it
        {0, 3, 20, true, false},   // above it
        {1.8, 0, 18.2, true, false}, // beside it, where the turn takes the corner away
        {0, 0, 40, true, false},   // far away
        {0, 0, 20, false, false},  // an object the player does not collide with
    };
    for (Case const& c : cases) {
        GPO* block = new GPO;
        block->DefineTypeName("block");
        block->DefineIDNone(true);
        ASSERT_EQ(block->GenerateFromLevel(engine.get(), level), 1);
        block->AddPlugModelIndex(uint16_t(mesh));
        block->boundingRadius = Fx(3);
        std::vector<GPO*> list{block};
        Mission m(list);
        m.Init(engine.get(), nullptr, 0);
        if (c.listed)
            m.AddGposColl(0);

        MyAirplane a(nullptr, nullptr);
        a.Init(1);
        GPO player;
        player.aircraft = &a;
        a.position = {Fx(c.x), Fx(c.y), Fx(c.z)};
        player.SetVectorRef(a.position.x, a.position.y, a.position.z, a.angles.x, a.angles.y, a.angles.z);
        a.physics.position = a.position;
        a.physics.velocity = {0, 0, Fx(0.25)};
        m.CheckCollAgainstPluggedGpos(&player);
        EXPECT_EQ(a.physics.hitBody != 0, c.hit) << c.x << " " << c.y << " " << c.z;
        EXPECT_EQ(a.physics.position.z, Fx(c.z) - (c.hit ? Fx(2) : 0));
        delete block;
    }
}

} // namespace
