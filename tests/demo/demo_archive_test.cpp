// The built demo archive: it holds exactly the files of the tree it was packed
// from, each one reads back through PFile's archive fall-back (the archive in
// the globals, as the game installs it) with the same bytes, every entry
// loads with the engine's own reader for its kind, every file the game opens
// by a fixed name is there, and the pictures keep the rules the drawing code
// relies on (true colour, hard alpha where alpha-tested, power-of-two
// textures, the frame's border at the edges of its pieces); every level of
// the catalogue finds its script, texts, points and models, and its
// objective titles, drawn in flight, keep clear of their bars.
#include <gtest/gtest.h>

#include <dirent.h>
#include <algorithm>
#include <cctype>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "engine/audio/paudiosound.h"
#include "engine/audio/pmusicmodule.h"
#include "engine/graphics/pmesh.h"
#include "engine/graphics/psurface.h"
#include "engine/graphics/punicodefont.h"
#include "engine/runtime/palloc.h"
#include "engine/runtime/pfile.h"
#include "engine/runtime/pglobals.h"
#include "engine/runtime/piffreader.h"
#include "engine/runtime/pstring.h"
#include "engine/runtime/pvfs.h"
#include "game/frontend/texts.h"
#include "game/scene/p3dgameengine.h"
#include "game/frontend/fonts.h"
#include "game/world/gameplayobject.h"
#include "game/world/hud.h"
#include "game/world/levelsmanager.h"
#include "game/world/maingame.h"
#include "game/world/planesmanager.h"
#include "game/world/scriptreader.h"
#include "game/world/splevelmanager.h"
#include "game/world/weaponsystem.h"
#include "game/scene/p3danim.h"
#include "game/scene/p3dmeshlink.h"
#include "engine/graphics/p3d.h"
#include "engine/platform/pdisplay.h"
#include "tests/gl/software/memory_display.h"

namespace {

struct TreeFile {
    std::string name; // archive name, backslashes
    std::string path; // the file in the tree
};

void Walk(const std::string& dir, const std::string& prefix, std::vector<TreeFile>* out)
{
    DIR* d = ::opendir(dir.c_str());
    ASSERT_NE(d, nullptr) << dir;
    std::vector<std::string> names;
    while (dirent* e = ::readdir(d))
        if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
            names.push_back(e->d_name);
    ::closedir(d);
    for (const std::string& n : names) {
        std::string path = dir + "/" + n, name = prefix.empty() ? n : prefix + "\\" + n;
        struct stat st;
        ASSERT_EQ(::stat(path.c_str(), &st), 0) << path;
        if (S_ISDIR(st.st_mode))
            Walk(path, name, out);
        else
            out->push_back({name, path});
    }
}

std::vector<uint8_t> FileBytes(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

std::vector<uint8_t> EntryBytes(const char* name)
{
    std::vector<uint8_t> out;
    PFile f(name, PFile::kRead);
    if (!f.IsOpen())
        return out;
    uint8_t buf[4096];
    for (int n; (n = f.Read(buf, sizeof buf)) > 0;)
        out.insert(out.end(), buf, buf + n);
    return out;
}

bool StartsWith(const std::string& s, const char* head)
{
    return s.compare(0, std::string(head).size(), head) == 0;
}

bool EndsWith(const std::string& s, const char* tail)
{
    std::string t(tail);
    return s.size() >= t.size() && s.compare(s.size() - t.size(), t.size(), t) == 0;
}

// The archive installed in the globals; the writable and installation
// directories are empty, so every open is served by the archive.
class DemoArchive : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/krv_demo_XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        root = tmpl;
        ASSERT_EQ(::mkdir((root + "/data").c_str(), 0777), 0);
        ASSERT_EQ(::mkdir((root + "/app").c_str(), 0777), 0);
        ::setenv("VORNAPP_SAVEPATH", (root + "/data/").c_str(), 1);
        ::setenv("VORNAPPPATH", (root + "/app/").c_str(), 1);
        Walk(KRV_DEMO_TREE, "", &files);
        ASSERT_TRUE(vfs.OpenVFS(KRV_DEMO_ARCHIVE)) << KRV_DEMO_ARCHIVE;
        globals.archive = &vfs;
        PSetTls(&globals);
    }
    void TearDown() override
    {
        PSetTls(nullptr);
        ::rmdir((root + "/data").c_str());
        ::rmdir((root + "/app").c_str());
        ::rmdir(root.c_str());
    }

    std::string root;
    std::vector<TreeFile> files;
    PVFS vfs;
    PGlobals globals{};
};

TEST_F(DemoArchive, HoldsTheTreeCompressed)
{
    ASSERT_EQ(vfs.Count(), int(files.size()));
    uint64_t treeBytes = 0;
    for (const TreeFile& f : files) {
        std::vector<uint8_t> want = FileBytes(f.path);
        ASSERT_FALSE(want.empty()) << f.path;
        treeBytes += want.size();
        EXPECT_NE(vfs.Find(vfs.HashName(f.name.c_str())), nullptr) << f.name;
        EXPECT_TRUE(EntryBytes(f.name.c_str()) == want) << f.name;
    }
    struct stat st;
    ASSERT_EQ(::stat(KRV_DEMO_ARCHIVE, &st), 0);
    EXPECT_LT(uint64_t(st.st_size), treeBytes);
    // Names are found however the caller spells them.
    for (const char* name : {"data\\fonts\\font6x8.fnt", "DATA\\FONTS\\PROP.FNT", "data/2dgfx/Warroom.png",
                             "data\\audio\\sfx\\click.psn"})
        EXPECT_FALSE(EntryBytes(name).empty()) << name;
    EXPECT_TRUE(EntryBytes("data\\fonts\\missing.fnt").empty());
}

// Where a scene's meshes and textures are: an aircraft scene in
// data\planes\<p>\scenes\ takes them from its folder's models\ and textures\;
// a level from data\objects\ and the summer season, then the common textures.
struct SceneDirs {
    std::string meshDir;
    std::vector<std::string> textureDirs;
};

SceneDirs DirsOfScene(const std::string& name)
{
    const std::string planes = "data\\planes\\";
    size_t at = name.find("\\scenes\\");
    if (StartsWith(name, planes.c_str()) && at != std::string::npos) {
        std::string folder = name.substr(0, at + 1);
        return {folder + "models\\", {folder + "textures"}};
    }
    return {"data\\objects\\", {"data\\textures", "data\\textures\\summer"}};
}

bool PowerOfTwo(int v)
{
    return v > 0 && (v & (v - 1)) == 0;
}

// The texture names of a mesh (its TEXL chunk), read with the engine's chunk reader.
std::vector<std::string> TextureNames(const char* path)
{
    std::vector<std::string> out;
    PIFFReader r(path);
    if (!r.IsOpen())
        return out;
    unsigned size = 0;
    for (uint32_t id; (id = r.NextChunk(size)) != 0;) {
        if (id != PFourCC("TEXL")) {
            r.SkipChunk();
            continue;
        }
        std::string all(size, '\0');
        if (r.Read(all.data(), int(size)) != int(size))
            return {};
        for (size_t p = 0; p < all.size();) {
            size_t z = all.find('\0', p);
            if (z == std::string::npos)
                break;
            if (z > p)
                out.push_back(all.substr(p, z - p));
            p = z + 1;
        }
    }
    return out;
}

TEST_F(DemoArchive, EveryEntryLoadsWithTheEngineReader)
{
    std::vector<std::pair<std::string, std::string>> meshHome;
    int kinds[6] = {};
    for (const TreeFile& f : files) {
        const char* name = f.name.c_str();
        SCOPED_TRACE(f.name);
        if (EndsWith(f.name, ".fnt")) {
            std::unique_ptr<PUnicodeFont> font(PUnicodeFont::Create(name));
            ASSERT_NE(font, nullptr);
            int h = 0;
            EXPECT_GT(font->StringWidth("Korvanth \xC4\xD6\xDC", &h, 11), 0);
            EXPECT_GT(h, 0);
            // Glyphs are alpha-tested like the interface pictures.
            const PSurface* strip = font->args.strip;
            ASSERT_TRUE(strip && strip->alpha);
            int soft = 0;
            for (int i = 0; i < strip->width * strip->height; i++)
                soft += strip->alpha[i] != 0 && strip->alpha[i] != 255;
            EXPECT_EQ(soft, 0);
            // A replacement glyph stands in for every character the font
            // lacks (a peer's bad bytes, a euro sign): inked, not a blank cell.
            const PGlyph* stand = font->FindChar(PUnicodeFont::kReplacementChar);
            ASSERT_NE(stand, nullptr);
            EXPECT_EQ(font->ShownGlyph(0x20AC), stand);
            EXPECT_EQ(font->StringWidth(L"\u20ac", nullptr, -1), stand->Advance());
            int ink = 0;
            for (int y = 0; y < font->height; y++)
                for (int x = stand->x; x < stand->x + stand->width; x++)
                    ink += strip->alpha[size_t(y) * size_t(strip->width) + size_t(x)] == 255;
            EXPECT_GT(ink, stand->width * font->height / 4);
            kinds[0]++;
        } else if (EndsWith(f.name, ".pof")) {
            std::unique_ptr<PMesh> mesh(PMesh::CreateFromFile(name, nullptr, ""));
            ASSERT_NE(mesh, nullptr);
            ASSERT_NE(mesh->Vertices(), nullptr);
            EXPECT_GE(mesh->Vertices()->count, 3);
            EXPECT_GE(mesh->ListCount(), 1);
            // Every texture of the mesh is in the folders its scenes name
            // (an aircraft's own, or a season's and the common one) and has
            // power-of-two sides; the menu bomb has none of its own.
            SceneDirs dirs = DirsOfScene(f.name.substr(0, f.name.rfind("\\models\\") + 1) + "scenes\\");
            for (const std::string& tex : TextureNames(name)) {
                std::unique_ptr<PSurface> t;
                for (const std::string& d : dirs.textureDirs)
                    if (!t)
                        t.reset(PSurface::CreateFromFile((d + "\\" + tex).c_str(), 0, PIMAGE_DETECT));
                ASSERT_NE(t, nullptr) << "texture " << tex;
                EXPECT_TRUE(PowerOfTwo(t->width) && PowerOfTwo(t->height)) << tex;
            }
            if (f.name == "data\\objects\\menu_bomb.pof") {
                EXPECT_TRUE(TextureNames(name).empty());
            }
            kinds[1]++;
        } else if (EndsWith(f.name, ".pam")) {
            std::unique_ptr<P3DAnim> scene(P3DAnim::Create());
            ASSERT_NE(scene, nullptr);
            SceneDirs dirs = DirsOfScene(f.name);
            std::vector<PString> dirStrings;
            for (const std::string& d : dirs.textureDirs)
                dirStrings.emplace_back(d.c_str());
            std::vector<PString*> dirPtrs;
            for (PString& d : dirStrings)
                dirPtrs.push_back(&d);
            PMesh** meshes = nullptr;
            char** names = nullptr;
            int count = 0;
            ASSERT_EQ(scene->LoadFromFile(name, dirPtrs.data(), (unsigned char)dirPtrs.size(), dirs.meshDir.c_str(),
                                          nullptr, meshes, names, &count),
                      1);
            EXPECT_GT(scene->modelCount, 0);
            for (int i = 0; i < count; i++) {
                std::string mesh = names[i];
                if (mesh != "coll") {
                    EXPECT_NE(meshes[i], nullptr) << "mesh " << mesh << " of the scene";
                    // One geometry per name: the game pools meshes by name
                    // across all the scenes of a session.
                    meshHome.push_back({mesh, dirs.meshDir});
                }
                P3DMeshDelete(meshes[i]);
                PFree(names[i]);
            }
            PFree(meshes);
            PFree(names);
            kinds[2]++;
        } else if (EndsWith(f.name, ".png")) {
            std::vector<uint8_t> bytes = FileBytes(f.path);
            ASSERT_GT(bytes.size(), 26u);
            // True colour only (RGB or RGBA, 8 bits): palette and grey
            // pictures would become paletted or luminance textures.
            EXPECT_EQ(bytes[24], 8);
            EXPECT_TRUE(bytes[25] == 2 || bytes[25] == 6) << "colour type " << int(bytes[25]);
            std::unique_ptr<PSurface> s(PSurface::CreateFromFile(name, 0, PIMAGE_DETECT));
            ASSERT_NE(s, nullptr);
            EXPECT_GT(s->width, 0);
            EXPECT_GT(s->height, 0);
            if (StartsWith(f.name, "data\\textures\\") || f.name.find("\\textures\\") != std::string::npos) {
                EXPECT_TRUE(PowerOfTwo(s->width) && PowerOfTwo(s->height)) << s->width << "x" << s->height;
                EXPECT_LE(std::max(s->width, s->height), 512);
            }
            kinds[3]++;
        } else if (EndsWith(f.name, ".psn")) {
            std::unique_ptr<PAudioSound> snd(PAudioSound::Load(name));
            ASSERT_NE(snd, nullptr);
            EXPECT_GT(snd->GetInfo().samples, 1000u);
            kinds[4]++;
        } else if (EndsWith(f.name, ".pmf")) {
            std::unique_ptr<PMusicModulePlayer> mod(PMusicModulePlayer::LoadFile(name));
            ASSERT_NE(mod, nullptr);
            EXPECT_EQ(mod->GetChannelCount(), 6);
            kinds[5]++;
        } else if (StartsWith(f.name, "data\\planes\\config") && EndsWith(f.name, ".txt")) {
            std::vector<uint8_t> bytes = FileBytes(f.path);
            std::unique_ptr<PlaneConfig> plane(
                PlanesManager::ParseConfig(reinterpret_cast<const char*>(bytes.data()), int(bytes.size())));
            ASSERT_NE(plane, nullptr);
            EXPECT_NE(vfs.Find(vfs.HashName(plane->scenePath.c_str())), nullptr) << plane->scenePath;
            ASSERT_EQ(plane->lods.size(), 1u);
            EXPECT_NE(vfs.Find(vfs.HashName(plane->lods[0]->scenePath.c_str())), nullptr);
            for (const std::string& rotor : plane->rotorPaths)
                EXPECT_NE(vfs.Find(vfs.HashName(rotor.c_str())), nullptr) << rotor;
        } else if (StartsWith(f.name, "data\\weapons\\wpn") && EndsWith(f.name, ".was")) {
            std::vector<uint8_t> bytes = FileBytes(f.path);
            MyWeapon w;
            EXPECT_EQ(w.Parse(bytes.data(), bytes.size()), 1);
        } else if (f.name == LevelsManager::kCatalogue) {
            LevelsManager catalogue(nullptr, nullptr, nullptr);
            catalogue.LoadLevelConfigFile(nullptr, name);
            EXPECT_GT(catalogue.RecordCount(), 0);
        } else if (StartsWith(f.name, "data\\scripts\\") && EndsWith(f.name, ".bin")) {
            // The mission loader drops the catalogue's 25-character prefix.
            std::string stem = f.name.substr(13, f.name.size() - 17);
            ScriptReader reader;
            EXPECT_EQ(SPLM::ParseScript(&reader, ("data_to_make\\scripts\\txt\\" + stem).c_str()), 1);
        } else if (StartsWith(f.name, "data\\lang") && EndsWith(f.name, ".bin")) {
            // Text files load every language; the interface texts hold every
            // id the game reads (0-408).
            Texts texts;
            ASSERT_EQ(texts.Init(name), 1);
            EXPECT_GT(texts.GetLanguageCount(), 0u);
            if (f.name == "data\\lang0.bin") {
                EXPECT_GE(texts.GetStringCount(), 409u);
            }
            for (uint32_t i = 0; i < texts.GetLanguageCount(); i++)
                EXPECT_EQ(texts.LoadLanguage(int(i), name), 1) << "language " << i;
        } else {
            ADD_FAILURE() << "no reader is known for this entry";
        }
    }
    EXPECT_EQ(kinds[0], 6);
    for (int k = 1; k < 6; k++)
        EXPECT_GT(kinds[k], 0) << "kind " << k;
    std::sort(meshHome.begin(), meshHome.end());
    meshHome.erase(std::unique(meshHome.begin(), meshHome.end()), meshHome.end());
    for (size_t i = 1; i < meshHome.size(); i++)
        EXPECT_NE(meshHome[i].first, meshHome[i - 1].first)
            << "mesh " << meshHome[i].first << " comes from " << meshHome[i].second << " and "
            << meshHome[i - 1].second;
}

// A scene as the game loads it, with the names of its meshes.
std::unique_ptr<P3DAnim> LoadScene(const char* name, std::vector<std::string>* meshNames)
{
    std::unique_ptr<P3DAnim> scene(P3DAnim::Create());
    SceneDirs dirs = DirsOfScene(name);
    std::vector<PString> dirStrings;
    for (const std::string& d : dirs.textureDirs)
        dirStrings.emplace_back(d.c_str());
    std::vector<PString*> dirPtrs;
    for (PString& d : dirStrings)
        dirPtrs.push_back(&d);
    PMesh** meshes = nullptr;
    char** names = nullptr;
    int count = 0;
    if (!scene || scene->LoadFromFile(name, dirPtrs.data(), (unsigned char)dirPtrs.size(), dirs.meshDir.c_str(),
                                      nullptr, meshes, names, &count) != 1)
        return nullptr;
    for (int i = 0; i < count; i++) {
        meshNames->push_back(names[i]);
        P3DMeshDelete(meshes[i]);
        PFree(names[i]);
    }
    PFree(meshes);
    PFree(names);
    return scene;
}

// The maps carry what the game and the mission scripts look for by name:
// the start and spawn points, the enemy, friend, ground, ship and route
// points, the base and target zones; every model drawn by areas has its
// distant copy, which is also what projectiles collide with.
TEST_F(DemoArchive, MapsHoldTheNamedPointsAndDistantMeshes)
{
    const char* scenes[] = {"data\\scenes\\map1.pam", "data\\scenes\\map2.pam", "data\\scenes\\map3.pam",
                            "data\\scenes\\map4.pam", "data\\scenes\\level01.pam"};
    std::vector<std::string> nulls = {"Null_Water_level", "PlayerStart", "Uboat0"};
    for (int i = 0; i < 8; i++)
        for (const char* n : {"Enemy", "Ground"})
            nulls.push_back(n + std::to_string(i));
    for (int i = 0; i < 4; i++)
        for (const char* n : {"Spawn", "Friend", "Ship", "Route"})
            nulls.push_back(n + std::to_string(i));
    for (int k = 0; k < 5; k++) {
        SCOPED_TRACE(scenes[k]);
        std::vector<std::string> meshes;
        std::unique_ptr<P3DAnim> scene = LoadScene(scenes[k], &meshes);
        ASSERT_NE(scene, nullptr);
        EXPECT_EQ(scene->AreaSize(), 50 << 16);
        ASSERT_GT(scene->modelCount, 0);
        EXPECT_TRUE(scene->models[0]->IsBgModel()) << "model 0 is the ground outside the play area";
        for (const std::string& n : nulls)
            EXPECT_NE(scene->GetNullPointerByName(n.c_str()), nullptr) << n;
        std::vector<std::string> triggers = {"Base", "Target0", "Target1", "Target2", "Target3", "Zone0"};
        if (k < 4)
            triggers.push_back("Base_Map" + std::to_string(k + 1));
        for (const std::string& t : triggers)
            EXPECT_NE(scene->GetPtrToSphereTriggerByName(t.c_str()), nullptr) << t;
        for (int m = 0; m < scene->modelCount; m++) {
            const P3DModel* model = scene->models[m];
            if (model->IsBgModel() || model->IsSkyboxModel() || model->meshIndex < 0)
                continue;
            std::string d1 = "data\\objects\\" + meshes[size_t(model->meshIndex)] + "_d1.pof";
            EXPECT_NE(vfs.Find(vfs.HashName(d1.c_str())), nullptr) << d1;
        }
    }
}

// The terrain tiles of every map meet without cracks: whichever of its two
// meshes a tile shows (the full one near the camera, the distant copy
// beyond), each edge has the same points as the facing edge of the next
// tile, so that no point of one lies inside an edge of the other.
TEST_F(DemoArchive, TerrainTilesShareTheirEdgesAtEveryDistance)
{
    constexpr int32_t kHalf = 50 << 16;
    using Edge = std::vector<std::pair<int32_t, int32_t>>; // place along the edge, height
    // The four edges of a mesh: x = -50, x = +50, z = -50, z = +50.
    auto edges = [&](const std::string& name, Edge out[4]) {
        std::unique_ptr<PMesh> mesh(PMesh::CreateFromFile(name.c_str(), nullptr, ""));
        ASSERT_NE(mesh, nullptr) << name;
        const PMesh::VertexList* v = mesh->Vertices();
        ASSERT_EQ(v->type, 0x140C) << name; // GL_FIXED
        const uint8_t* d = v->Data();
        for (int i = 0; i < v->count; i++) {
            int32_t p[3];
            std::memcpy(p, d + size_t(i) * 12, 12);
            if (p[0] == -kHalf || p[0] == kHalf)
                out[p[0] < 0 ? 0 : 1].push_back({p[2], p[1]});
            if (p[2] == -kHalf || p[2] == kHalf)
                out[p[2] < 0 ? 2 : 3].push_back({p[0], p[1]});
        }
        for (int k = 0; k < 4; k++) {
            std::sort(out[k].begin(), out[k].end());
            out[k].erase(std::unique(out[k].begin(), out[k].end()), out[k].end());
            EXPECT_GE(out[k].size(), 2u) << name << " edge " << k;
        }
    };
    for (int map = 1; map <= 4; map++) {
        Edge tiles[4][4][2][4]; // [i][j][full, distant][edge]
        for (int i = 0; i < 4; i++)
            for (int j = 0; j < 4; j++)
                for (int lod = 0; lod < 2; lod++)
                    edges("data\\objects\\m" + std::to_string(map) + "_t" + std::to_string(i) + std::to_string(j) +
                              (lod ? "_d1.pof" : ".pof"),
                          tiles[i][j][lod]);
        for (int i = 0; i < 4; i++)
            for (int j = 0; j < 4; j++)
                for (int a = 0; a < 2; a++) {
                    SCOPED_TRACE("map " + std::to_string(map) + " tile " + std::to_string(i) + std::to_string(j) +
                                 (a ? " distant" : " full"));
                    for (int k = 0; k < 4; k++)
                        EXPECT_EQ(tiles[i][j][a][k], tiles[i][j][1 - a][k]) << "edge " << k;
                    for (int b = 0; b < 2; b++) {
                        if (i < 3) {
                            EXPECT_EQ(tiles[i][j][a][1], tiles[i + 1][j][b][0]) << "with the tile along x";
                        }
                        if (j < 3) {
                            EXPECT_EQ(tiles[i][j][a][3], tiles[i][j + 1][b][2]) << "with the tile along z";
                        }
                    }
                }
    }
}

// Each aircraft: the wing tips and the propeller point in its scene and in
// its distant copy, its moving parts under the names its definition gives,
// and the two propeller scenes.
TEST_F(DemoArchive, AircraftScenesHoldTheirPointsAndParts)
{
    for (int n = 1; n <= 5; n++) {
        std::string dir = "data\\planes\\plane" + std::to_string(n) + "\\scenes\\", p = "p" + std::to_string(n);
        SCOPED_TRACE(dir);
        std::vector<std::string> meshes, lodMeshes, runMeshes, menuMeshes;
        std::unique_ptr<P3DAnim> main = LoadScene((dir + "plane" + std::to_string(n) + ".pam").c_str(), &meshes);
        std::unique_ptr<P3DAnim> lod = LoadScene((dir + "plane" + std::to_string(n) + "_lod1.pam").c_str(), &lodMeshes);
        std::unique_ptr<P3DAnim> run = LoadScene((dir + p + "_rotor_run.pam").c_str(), &runMeshes);
        std::unique_ptr<P3DAnim> menu = LoadScene((dir + p + "_rotor_menu.pam").c_str(), &menuMeshes);
        ASSERT_TRUE(main && lod && run && menu);
        for (P3DAnim* s : {main.get(), lod.get()})
            for (const char* null : {"WingR", "WingL", "Rotor1"})
                EXPECT_NE(s->GetNullPointerByName(null), nullptr) << null;
        for (const char* part : {"_body", "_gunfire", "_flapL", "_flapR", "_rudder"})
            EXPECT_NE(std::find(meshes.begin(), meshes.end(), p + part), meshes.end()) << part;
        EXPECT_NE(std::find(lodMeshes.begin(), lodMeshes.end(), p + "l_gunfire"), lodMeshes.end());
        ASSERT_GT(run->modelCount, 0);
        ASSERT_GT(menu->modelCount, 0);
        EXPECT_EQ(runMeshes.at(size_t(run->models[0]->meshIndex)), p + "_prop_run");
        EXPECT_EQ(menuMeshes.at(size_t(menu->models[0]->meshIndex)), p + "_prop");
    }
}

// Every text file holds English and German, in that order; the interface
// texts leave the same ids empty in both (the unused ones).
TEST_F(DemoArchive, TextFilesHoldBothLanguagesAlike)
{
    int files = 0;
    for (;; files++) {
        std::string name = "data\\lang" + std::to_string(files) + ".bin";
        if (!vfs.Find(vfs.HashName(name.c_str())))
            break;
        SCOPED_TRACE(name);
        Texts texts[2];
        for (int l = 0; l < 2; l++) {
            ASSERT_EQ(texts[l].Init(name.c_str()), 1);
            ASSERT_EQ(texts[l].GetLanguageCount(), 2u);
            EXPECT_EQ(std::wstring(texts[l].GetLanguageName(0)), L"English");
            EXPECT_EQ(std::wstring(texts[l].GetLanguageName(1)), L"Deutsch");
            ASSERT_EQ(texts[l].LoadLanguage(l, name.c_str()), 1);
        }
        for (int id = 0; id < int(texts[0].GetStringCount()); id++)
            EXPECT_EQ(*texts[0][id] == 0, *texts[1][id] == 0) << "text " << id;
    }
    EXPECT_EQ(files, 5);
}

// The element blocks of an array line of a script block.
std::vector<Definition*> Elements(Definition* block, const char* keyword)
{
    std::vector<Definition*> out;
    ConfigLine* line = block ? block->GetConfigLine(keyword) : nullptr;
    if (line && line->definitionRef)
        for (int i = 0; i < line->definitionRef->ArrayCount(); i++)
            out.push_back(line->definitionRef->GetArrayDefinition(i));
    return out;
}

int Number(Definition* block, const char* keyword, int absent, int i = 0)
{
    int n = absent;
    PString* text = nullptr;
    bool flag = false;
    SPLM::Get_commandLine(i, block, keyword, n, text, flag);
    return n;
}

std::string Text(Definition* block, const char* keyword, int i = 0)
{
    int n = 0;
    PString* text = nullptr;
    bool flag = false;
    SPLM::Get_commandLine(i, block, keyword, n, text, flag);
    return text ? text->c_str() : "";
}

// Every level of the catalogue: its script loads; every text it shows is
// there in both languages of its text file and fits where it is shown (38
// characters on the console); the scene, null points, triggers and models
// it names are in the archive.
TEST_F(DemoArchive, LevelsFindTheirScriptsTextsPointsAndModels)
{
    enum { kShowConsoleText = 5, kSummaryDestroyed = 29, kSummaryTime = 30 }; // command kinds
    enum { kPoint = 0, kModel = 1, kTrigger = 2 };                             // object kinds
    LevelsManager catalogue(nullptr, nullptr, nullptr);
    catalogue.LoadLevelConfigFile(nullptr, LevelsManager::kCatalogue);
    ASSERT_EQ(catalogue.RecordCount(), 19);
    int perMode[5] = {}, perCampaign[3] = {};
    for (int i = 0; i < catalogue.RecordCount(); i++) {
        const LevelConfig& level = *catalogue.GetRecord(i);
        SCOPED_TRACE(level.script);
        ASSERT_TRUE(level.mode >= 0 && level.mode < 5);
        perMode[level.mode]++;
        if (level.mode == LevelsManager::SINGLEPLAYER && level.campaign >= 0 && level.campaign < 3)
            perCampaign[level.campaign]++;
        std::string textFile = "data\\lang" + std::to_string(level.textSource) + ".bin";
        Texts texts[2];
        for (int l = 0; l < 2; l++) {
            ASSERT_EQ(texts[l].Init(textFile.c_str()), 1);
            ASSERT_EQ(texts[l].LoadLanguage(l, textFile.c_str()), 1);
        }
        auto shown = [&](int id, size_t limit) {
            for (Texts& t : texts) {
                ASSERT_TRUE(id > 0 && id < int(t.GetStringCount())) << "text " << id;
                EXPECT_NE(*t[id], 0) << "text " << id;
                EXPECT_LE(std::wcslen(t[id]), limit) << "text " << id;
            }
        };
        shown(level.title, 24);
        ScriptReader reader;
        ASSERT_EQ(SPLM::ParseScript(&reader, level.script.c_str()), 1);
        shown(SPLM::GetMissionDescription(&reader), 200);
        Definition* player = reader.GetDefinition("mainPlayer");
        for (Definition* o : Elements(player, "objectives"))
            shown(Number(o, "title", -1), 30);
        EXPECT_TRUE(SPLM::GetPlane_mainPlayer(&reader) >= 0 && SPLM::GetPlane_mainPlayer(&reader) < 5);

        PString* map = SPLM::GetMapDataFromHeader(&reader);
        ASSERT_NE(map, nullptr);
        std::vector<std::string> meshes;
        std::unique_ptr<P3DAnim> scene = LoadScene(map->c_str(), &meshes);
        ASSERT_NE(scene, nullptr) << map->c_str();
        EXPECT_NE(scene->GetNullPointerByName(Text(player, "spawn").c_str()), nullptr);
        auto file = [&](const std::string& name) { EXPECT_NE(vfs.Find(vfs.HashName(name.c_str())), nullptr) << name; };
        for (Definition* g : Elements(reader.GetDefinition("GPOs"), "gpo")) {
            std::string name = Text(g, "typeName");
            switch (Number(g, "type", kPoint)) {
            case kPoint:
                EXPECT_NE(scene->GetNullPointerByName(name.c_str()), nullptr) << name;
                break;
            case kTrigger:
                EXPECT_NE(scene->GetPtrToSphereTriggerByName(name.c_str()), nullptr) << name;
                break;
            default:
                EXPECT_NE(std::find(meshes.begin(), meshes.end(), name), meshes.end()) << name;
            }
            if (Number(g, "objectType", 0) == 0) {
                int plane = Number(g, "airplane", 0);
                EXPECT_TRUE(plane >= 0 && plane < 5) << name;
            }
            std::string plug = Text(g, "plugModel"), dir = Text(g, "plugModel", 1);
            if (!plug.empty()) {
                file(dir + plug + ".pof");
                file(dir + plug + Text(g, "plugModelLODS") + "1.pof");
            }
        }
        for (Definition* c : Elements(reader.GetDefinition("Commands"), "Command")) {
            int kind = Number(c, "type", -1);
            if (kind == kShowConsoleText || kind == kSummaryDestroyed || kind == kSummaryTime)
                shown(Number(c, "consoleText", 0), 38);
            for (Definition* change : Elements(c, "modelsChange"))
                file("data\\objects\\" + Text(change, "change", 1) + ".pof");
        }
        for (Definition* e : Elements(reader.GetDefinition("Events"), "Event")) {
            std::string trigger = Text(e, "triggerName");
            if (!trigger.empty()) {
                EXPECT_NE(scene->GetPtrToSphereTriggerByName(trigger.c_str()), nullptr) << trigger;
            }
        }
    }
    EXPECT_EQ(perMode[LevelsManager::SINGLEPLAYER], 12);
    EXPECT_EQ(perMode[LevelsManager::TIMEATTACK], 4);
    for (LevelsManager::GameMode m : {LevelsManager::MULTIPLAYER, LevelsManager::ARCADE, LevelsManager::TUTORIAL})
        EXPECT_EQ(perMode[m], 1) << "mode " << m;
    for (int c : perCampaign)
        EXPECT_EQ(c, 4);
}

// The kind of target a script object is, as a mission icon names it: an
// aircraft by its AI behaviour, anything else by its model (a level's own
// models are named after their map and numbered, "m2_factory", "m1_hangar1").
std::string TargetKind(Definition* gpo)
{
    enum { kFighter = 1, kBomber = 2 }; // the script's behaviour words NONE, FIGHTER, BOMBER, ...
    if (Number(gpo, "objectType", -1) == GPO::PLANE) {
        int behaviour = Number(gpo, "aiBehaviour", -1);
        return behaviour == kFighter ? "fighter" : behaviour == kBomber ? "bomber" : "?";
    }
    std::string model = Text(gpo, "plugModel");
    if (model.empty()) {
        model = Text(gpo, "typeName");
        if (model.size() > 3 && model[0] == 'm' && model.find('_') != std::string::npos)
            model = model.substr(model.find('_') + 1);
        while (!model.empty() && std::isdigit(uint8_t(model.back())))
            model.pop_back();
    }
    static const char* const kinds[][2] = {{"destroyer", "warship"}, {"cargo_ship", "freighter"},
                                           {"uboat", "U-boat"},      {"truck", "truck"},
                                           {"aa_gun", "flak"},       {"radar", "radar"},
                                           {"factory", "factory"}};
    for (auto& k : kinds)
        if (model == k[0])
            return k[1];
    return "? " + model;
}

// Every level the menus show a mission icon for (campaign and time-attack
// levels) has its icon, drawn for the mission the compiled script holds:
// the subject its picture's document names is what the lead objective (the
// first, the top row of the objectives window) asks of the kind its targets
// are, read here through the game's script reader.
TEST_F(DemoArchive, MissionIconsShowTheirMissions)
{
    LevelsManager catalogue(nullptr, nullptr, nullptr);
    catalogue.LoadLevelConfigFile(nullptr, LevelsManager::kCatalogue);
    int icons = 0;
    for (int i = 0; i < catalogue.RecordCount(); i++) {
        const LevelConfig& level = *catalogue.GetRecord(i);
        char name[48];
        if (level.mode == LevelsManager::SINGLEPLAYER)
            std::snprintf(name, sizeof name, "campaign_%d_%d", level.campaign + 1, level.mission + 1);
        else if (level.mode == LevelsManager::TIMEATTACK)
            std::snprintf(name, sizeof name, "t_attack_%d", level.mission + 1);
        else
            continue;
        SCOPED_TRACE(level.script);
        icons++;
        const std::string picture = std::string("data\\2dgfx\\mission_icons\\") + name + ".png";
        EXPECT_NE(vfs.Find(vfs.HashName(picture.c_str())), nullptr) << picture;
        const std::string document = std::string("/data_2dgfx_mission_icons_") + name + ".png.svg";
        std::ifstream in(KRV_DEMO_PICTURE_SOURCES + document);
        const std::string svg((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const size_t at = svg.find("data-shows=\"");
        ASSERT_NE(at, std::string::npos) << name;
        const std::string shown = svg.substr(at + 12, svg.find('"', at + 12) - at - 12);

        ScriptReader reader;
        ASSERT_EQ(SPLM::ParseScript(&reader, level.script.c_str()), 1);
        std::vector<Definition*> objectives = Elements(reader.GetDefinition("mainPlayer"), "objectives");
        std::vector<Definition*> gpos = Elements(reader.GetDefinition("GPOs"), "gpo");
        ASSERT_FALSE(objectives.empty());
        const bool defend = Number(objectives[0], "action", -1) == Objective::DEFEND;
        const std::string action = defend ? "DEFEND " : "DESTROY ";
        std::vector<Definition*> targets = Elements(objectives[0], "targets");
        EXPECT_FALSE(targets.empty());
        for (Definition* t : targets) {
            const int n = Number(t, "gpo", -1);
            ASSERT_TRUE(n >= 0 && n < int(gpos.size())) << n;
            EXPECT_EQ(shown, action + TargetKind(gpos[size_t(n)])) << name;
        }
    }
    EXPECT_EQ(icons, 16);
}

// The objectives window as a player sees it in flight: every objective
// title of every level, in both languages, drawn by the head-up display with
// the demo's fonts and art on the software renderer at 1024 x 600 and
// 480 x 320, ends clear of its row's health bar: the window is as wide as its
// widest title as drawn (outline included) and the bars' caps, so that the
// widest title ends exactly five clear columns left of its bar and every
// other title further. What is drawn is told apart on three frames: without
// objectives, with the rows as objectives to defend (titles, no bars) and as
// objectives to destroy (titles and bars).
TEST_F(DemoArchive, ObjectiveTitlesEndLeftOfTheirBars)
{
    LevelsManager catalogue(nullptr, nullptr, nullptr);
    catalogue.LoadLevelConfigFile(nullptr, LevelsManager::kCatalogue);
    constexpr int kTitleGap = 5;
    int rows = 0;
    for (const auto& [w, h] : {std::pair{1024, 600}, std::pair{480, 320}}) {
        swtest::MemoryDisplay display(w, h);
        std::unique_ptr<P3D> ctx(P3D::Create(&display, nullptr));
        ASSERT_TRUE(ctx);
        PDisplayProperties props{};
        display.GetInfo(props);
        Fonts fonts;
        ASSERT_EQ(fonts.Init(ctx.get(), &props), 1);
        uint32_t now = 1;
        Hud hud(ctx.get(), &fonts, w, h, &now, nullptr, nullptr);
        ASSERT_EQ(hud.Init(), 1);
        GPO target;
        target.SetInternalHealthRef();
        const uint16_t* pixels = display.Buffer().pixels; // pitch = width
        auto frame = [&] {
            ctx->Clear(0);
            hud.Render(100, 50, 0, false);
            return std::vector<uint16_t>(pixels, pixels + size_t(w) * h);
        };
        const std::vector<uint16_t> bare = frame();
        for (int lang = 0; lang < 2; lang++) {
            ASSERT_EQ(fonts.LoadLanguage(lang), 1);
            for (int i = 0; i < catalogue.RecordCount(); i++) {
                const LevelConfig& level = *catalogue.GetRecord(i);
                const std::string at = level.script + " at " + std::to_string(w) + "x" + std::to_string(h) +
                                       ", language " + std::to_string(lang);
                ScriptReader reader;
                ASSERT_EQ(SPLM::ParseScript(&reader, level.script.c_str()), 1) << at;
                fonts.SetFileSource(uint8_t(level.textSource));
                std::vector<Objective> objectives(size_t(SPLM::GetObjectivesCount_mainPlayer(&reader)));
                for (size_t k = 0; k < objectives.size(); k++) {
                    int action = 0, number = 0, count = 0, *targets = nullptr;
                    const wchar_t* title = nullptr;
                    bool done = false;
                    SPLM::GetObjectivesData_mainPlayer(&fonts, &reader, action, number, title, done, int(k), targets,
                                                       count);
                    delete[] targets;
                    ASSERT_TRUE(title && *title) << at;
                    objectives[k].title = title;
                    objectives[k].target = &target;
                    objectives[k].action = Objective::DEFEND;
                    ASSERT_EQ(hud.AddObjectiveElement(&objectives[k]), 1);
                }
                hud.InitObjectivesWindow(lang);
                const std::vector<uint16_t> titles = frame();
                for (Objective& o : objectives)
                    o.action = Objective::DESTROY;
                const std::vector<uint16_t> bars = frame();
                hud.ClearObjectivesWindow(); // its rows point at these objectives
                // Each bar is a run of rows with bar pixels; on those rows the
                // title's last pixel lies kTitleGap clear columns or more left
                // of the bar's first, exactly that many on the widest title's
                // row. A window sized by the titles' advances alone leaves an
                // outlined title two or three.
                auto barRow = [&](int y) {
                    return !std::equal(&bars[size_t(y) * w], &bars[size_t(y + 1) * w], &titles[size_t(y) * w]);
                };
                int found = 0, tightest = w;
                for (int y = 0; y < h; y++) {
                    if (!barRow(y))
                        continue;
                    int barLeft = w, titleRight = -1;
                    for (; y < h && barRow(y); y++)
                        for (size_t x = 0, p = size_t(y) * w; x < size_t(w); x++, p++) {
                            if (bars[p] != titles[p])
                                barLeft = std::min(barLeft, int(x));
                            if (titles[p] != bare[p])
                                titleRight = std::max(titleRight, int(x));
                        }
                    found++;
                    EXPECT_GE(titleRight, 0) << at;
                    EXPECT_GE(barLeft - titleRight - 1, kTitleGap) << at << ": a title comes too near its bar";
                    tightest = std::min(tightest, barLeft - titleRight - 1);
                }
                EXPECT_EQ(found, int(objectives.size())) << at;
                if (found) {
                    EXPECT_EQ(tightest, kTitleGap) << at << ": the window is not sized by its widest title";
                }
                rows += found;
            }
        }
    }
    EXPECT_GE(rows, 2 * 2 * 16);
}

// Every level built as the game builds it, on its own map with the
// aircraft definitions: each script object gets its own number (nothing is
// dropped so that later numbers shift), so every number that an objective,
// command, event or camera lock names reaches the object the script meant.
TEST_F(DemoArchive, MissionBuildKeepsEveryObjectNumber)
{
    LevelsManager catalogue(nullptr, nullptr, nullptr);
    catalogue.LoadLevelConfigFile(nullptr, LevelsManager::kCatalogue);
    ASSERT_GT(catalogue.RecordCount(), 0);
    for (int i = 0; i < catalogue.RecordCount(); i++) {
        const LevelConfig& level = *catalogue.GetRecord(i);
        SCOPED_TRACE(level.script);
        ScriptReader reader;
        ASSERT_EQ(SPLM::ParseScript(&reader, level.script.c_str()), 1);
        PString* map = SPLM::GetMapDataFromHeader(&reader);
        ASSERT_NE(map, nullptr);
        std::unique_ptr<P3DGameEngine> engine(P3DGameEngine::Create(nullptr, 0x10000));
        ASSERT_EQ(engine->AddSceneFromFile(map->c_str(), "data\\textures", "data\\objects\\"), 0);
        PlanesManager planes(engine.get());
        ASSERT_GT(planes.LoadPlaneCfgFiles("data\\planes\\", "config", ".txt"), 0);
        SPLM mission;
        mission.Init(engine.get(), nullptr, 0);
        mission.SetCurrentLevel(engine->GetAnimationPtr(0));
        mission.SetPtrToPlanesManager(&planes);
        Definition* player = reader.GetDefinition("mainPlayer");
        GPO* me = new GPO;
        me->DefineTypeName(Text(player, "spawn").c_str());
        me->DefineIDNone(true);
        me->DefineObjectType(GPO::PLANE);
        ASSERT_EQ(me->GenerateFromLevel(engine.get(), engine->GetAnimationPtr(0)), 1);
        me->SetInternalHealthRef();
        mission.SetPlayer(me);
        ASSERT_EQ(mission.DefineGPOs(nullptr, nullptr, nullptr, nullptr, &reader, nullptr, nullptr), 1);

        std::vector<Definition*> elements = Elements(reader.GetDefinition("GPOs"), "gpo");
        GPO** gpos = nullptr;
        ASSERT_EQ(mission.GetGPOsPtr(gpos), int(elements.size()));
        auto meant = [&](int n, const char* by) {
            if (n == -1)
                return; // the player
            ASSERT_TRUE(n >= 0 && n < int(elements.size())) << by << " names object " << n;
            ASSERT_NE(gpos[n], nullptr) << by << " names object " << n << ", not built";
            EXPECT_EQ(gpos[n]->name, Text(elements[size_t(n)], "typeName")) << by << " names object " << n;
        };
        for (size_t n = 0; n < elements.size(); n++)
            meant(int(n), "the script");
        for (Definition* o : Elements(player, "objectives")) {
            meant(Number(o, "target", -1), "an objective");
            for (Definition* t : Elements(o, "targets"))
                meant(Number(t, "gpo", -1), "an objective");
        }
        for (Definition* lock : Elements(player, "cameraLock"))
            meant(Number(lock, "gpo", -1), "a camera lock");
        for (Definition* g : elements)
            for (Definition* o : Elements(g, "objectives"))
                meant(Number(o, "target", -1), "an AI objective");
        for (Definition* c : Elements(reader.GetDefinition("Commands"), "Command")) {
            meant(Number(c, "gpoRef", -1), "a command");
            meant(Number(c, "explosionAt", -1), "a command");
        }
        for (Definition* e : Elements(reader.GetDefinition("Events"), "Event")) {
            meant(Number(e, "gpoRef", -1), "an event");
            meant(Number(e, "triggerRef", -1), "an event");
            for (Definition* g : Elements(e, "gpoRefs"))
                meant(Number(g, "gpo", -1), "an event");
        }
    }
}

// The five aircraft differ in armour, speed and handling.
TEST_F(DemoArchive, AircraftDifferInArmourSpeedAndHandling)
{
    PlanesManager planes(nullptr);
    ASSERT_EQ(planes.LoadPlaneCfgFiles("data\\planes\\", "config", ".txt"), 5);
    for (int i = 0; i < 5; i++)
        for (int j = i + 1; j < 5; j++) {
            const PlaneConfig *a = planes.Get(i), *b = planes.Get(j);
            EXPECT_TRUE(a->armour != b->armour && a->speed != b->speed) << i << " " << j;
            EXPECT_STRNE(a->GetPlaneName(), b->GetPlaneName());
        }
}

// Every file the game opens by a name of its own (not one the data chooses).
std::vector<std::string> FixedNames()
{
    std::vector<std::string> n;
    auto add = [&](const char* fmt, int from, int to) {
        for (int i = from; i <= to; i++) {
            char buf[128];
            std::snprintf(buf, sizeof buf, fmt, i, i);
            n.push_back(buf);
        }
    };
    const char* fonts[] = {"font12x16", "font16x20", "font20x28", "prop", "font12x16_", "font6x8"};
    for (const char* f : fonts)
        n.push_back(std::string("data\\fonts\\") + f + ".fnt");
    const char* pictures[] = {
        "soft_label_ok", "soft_label_back", "soft_label_ingame", "soft_label_pause", "soft_label_play",
        "soft_label_back_paper", "metal_bar", "warroom", "lock", "lock_mini", "norva", "titlebackground",
        "texture", "bombbay", "hatch_door", "earth", "clouds01", "clouds02", "clouds03", "explosion1", "selector",
        "vornlogo", "bar_empty_side", "bar_fill_side", "bar_empty", "bar_fill", "endscreen", "icon_in_action",
        "in_use", "typing_bg", "char_delete", "icon_profile_single", "icon_profile_multi", "rank_border", "radar",
        "radar_bg", "energybar", "hud_weap_cir", "weap_bg", "fire_button", "repair_icon", "rearm_icon",
        "bar_empty_side_", "bar_fill_side_", "bar_empty_", "bar_fill_", "bar_fillg_side_", "bar_fillg_",
        "disconnect", "cam_icon", "flares_small", "horizon_frame", "horizon_fill", "letterhead", "frame_center",
        "frame_top", "frame_bottom", "frame_left", "frame_right", "frame_left_top", "frame_right_top",
        "frame_left_bottom", "frame_right_bottom", "mp_local_net", "mp_internet", "loading", "icon_occupation_ok",
        "icon_occupation_busy"};
    for (const char* p : pictures)
        n.push_back(std::string("data\\2dgfx\\") + p + ".png");
    add("data\\2dgfx\\campaign_%d.png", 1, 3);
    add("data\\2dgfx\\campaign_%d_gray.png", 1, 3);
    add("data\\2dgfx\\help_%d.png", 0, 6);
    for (int c = 1; c <= 3; c++)
        for (int m = 1; m <= 4; m++)
            n.push_back("data\\2dgfx\\mission_icons\\campaign_" + std::to_string(c) + "_" + std::to_string(m) + ".png");
    add("data\\2dgfx\\mission_icons\\t_attack_%d.png", 1, 4);
    add("data\\2dgfx\\rank_%d.png", 0, 4);
    add("data\\2dgfx\\rank_%d_.png", 0, 4);
    add("data\\2dgfx\\medal_%d.png", 0, 5);
    add("data\\2dgfx\\medal_%d_mask.png", 0, 5);
    add("data\\2dgfx\\medal_%d_mask_out.png", 0, 5);
    add("data\\2dgfx\\profile_icon_%d.png", 0, 4);
    add("data\\2dgfx\\throttle_%d.png", 1, 10);
    add("data\\2dgfx\\sc_%da.png", 0, 7);
    add("data\\2dgfx\\sc_%db.png", 0, 7);
    add("data\\2dgfx\\weap_icon_%d.png", 0, 15);
    add("data\\2dgfx\\icon_plane_%d.png", 0, 4);
    const char* objects[] = {"menu_bomb", "arrow", "wave2", "nuke1", "nuke2", "nuke3",
                             "weapon_1", "weapon_2", "weapon_3", "weapon_4"};
    for (const char* o : objects)
        n.push_back(std::string("data\\objects\\") + o + ".pof");
    const char* textures[] = {"explosion", "indicators", "indicator_round", "smoke", "smoke2", "smoke3", "shot1"};
    for (const char* t : textures)
        n.push_back(std::string("data\\textures\\") + t + ".png");
    for (const char* m : {"menuMusic.psn", "_notused_.pmf"})
        n.push_back(std::string("data\\audio\\music\\") + m);
    const char* sounds[] = {"plane1", "boing", "stall", "planeexplode", "planehiccup", "machinegun1", "menubomb",
                            "menubombexp", "large_explosion", "click", "menumovebomb", "nuke", "artillery"};
    for (const char* f : sounds)
        n.push_back(std::string("data\\audio\\sfx\\") + f + ".psn");
    // The seasons hold the same ground and tree textures.
    for (const char* season : {"summer", "winter", "desert"})
        for (const char* t : {"ground_low", "ground", "ground_high", "foliage"})
            n.push_back(std::string("data\\textures\\") + season + "\\" + t + ".png");
    return n;
}

TEST_F(DemoArchive, HoldsEveryFileTheGameOpensByName)
{
    for (const std::string& name : FixedNames())
        EXPECT_NE(vfs.Find(vfs.HashName(name.c_str())), nullptr) << name;
}

// The sizes the layout code assumes.
TEST_F(DemoArchive, PicturesHaveTheSizesTheScreensAreLaidOutFor)
{
    struct Want {
        const char* name;
        int w, h;
    } const wants[] = {
        {"data\\2dgfx\\warroom.png", 1024, 600},      {"data\\2dgfx\\titlebackground.png", 1024, 600},
        {"data\\2dgfx\\endscreen.png", 1024, 600},    {"data\\2dgfx\\bombbay.png", 1024, 600},
        {"data\\2dgfx\\texture.png", 256, 256},       {"data\\2dgfx\\soft_label_back_paper.png", 44, 44},
        {"data\\2dgfx\\sc_0a.png", 44, 44},           {"data\\2dgfx\\rank_0.png", 64, 64},
        {"data\\2dgfx\\loading.png", 256, 32},        {"data\\2dgfx\\flares_small.png", 64, 32},
        {"data\\2dgfx\\explosion1.png", 640, 64},     {"data\\2dgfx\\mission_icons\\t_attack_1.png", 56, 56},
        {"data\\textures\\indicators.png", 128, 128}, {"data\\textures\\indicator_round.png", 64, 64},
    };
    for (const Want& w : wants) {
        std::unique_ptr<PSurface> s(PSurface::CreateFromFile(w.name, 0, PIMAGE_DETECT));
        ASSERT_NE(s, nullptr) << w.name;
        EXPECT_EQ(s->width, w.w) << w.name;
        EXPECT_EQ(s->height, w.h) << w.name;
    }
    // Every throttle layer is drawn on the canvas of the last one.
    std::unique_ptr<PSurface> last(PSurface::CreateFromFile("data\\2dgfx\\throttle_10.png", 0, PIMAGE_DETECT));
    ASSERT_NE(last, nullptr);
    for (int k = 1; k < 10; k++) {
        std::string name = "data\\2dgfx\\throttle_" + std::to_string(k) + ".png";
        std::unique_ptr<PSurface> s(PSurface::CreateFromFile(name.c_str(), 0, PIMAGE_DETECT));
        ASSERT_NE(s, nullptr) << name;
        EXPECT_EQ(s->width, last->width) << name;
        EXPECT_EQ(s->height, last->height) << name;
    }
    // The summary and the pause menu lay their text 4 pixels inside the
    // frame: its border keeps to the outer 3 pixels of each edge and corner
    // piece, and inward of that every piece is the centre's fill.
    auto load = [](const std::string& part) {
        return std::unique_ptr<PSurface>(PSurface::CreateFromFile(("data\\2dgfx\\frame_" + part + ".png").c_str(),
                                                                  PLOAD_TRUE24 | PLOAD_NOALPHA, PIMAGE_DETECT));
    };
    auto fill = load("center");
    ASSERT_TRUE(fill && fill->format == PSURFACE_RGB24 && fill->width == 16 && fill->height == 16);
    const uint8_t* f = fill->pixels;
    for (const char* part : {"center", "top", "bottom", "left", "right", "left_top", "right_top", "left_bottom",
                             "right_bottom"}) {
        auto s = load(part);
        ASSERT_TRUE(s && s->format == PSURFACE_RGB24) << part;
        ASSERT_TRUE(s->width == 16 && s->height == 16) << part;
        const std::string p = part;
        const bool l = StartsWith(p, "left"), r = StartsWith(p, "right"), t = EndsWith(p, "top"),
                   b = EndsWith(p, "bottom");
        int inward = 0;
        for (int y = 0; y < 16; y++)
            for (int x = 0; x < 16; x++) {
                const uint8_t* c = s->pixels + y * s->pitch + 3 * x;
                const bool band = (l && x < 3) || (r && x > 12) || (t && y < 3) || (b && y > 12);
                if (!band)
                    inward += !std::equal(c, c + 3, f);
            }
        EXPECT_EQ(inward, 0) << part << ": border pixels more than 3 pixels inward";
    }
}

// Interface pictures with alpha are drawn with an alpha test that cuts
// everything below about 0.92: their alpha must be 0 or 255, or edges and
// faint parts vanish. Only the blended textures keep soft alpha.
TEST_F(DemoArchive, AlphaTestedPicturesHaveHardAlpha)
{
    int checked = 0;
    for (const TreeFile& f : files) {
        if (!EndsWith(f.name, ".png") || !StartsWith(f.name, "data\\2dgfx\\"))
            continue;
        std::unique_ptr<PSurface> s(PSurface::CreateFromFile(f.name.c_str(), 0, PIMAGE_DETECT));
        ASSERT_NE(s, nullptr) << f.name;
        if (!s->alpha)
            continue;
        int soft = 0;
        for (int i = 0; i < s->width * s->height; i++)
            soft += s->alpha[i] != 0 && s->alpha[i] != 255;
        EXPECT_EQ(soft, 0) << f.name;
        checked++;
    }
    EXPECT_GT(checked, 100);
}

// The main menu's bay at the tablet's size and the 480 x 320 reference. The
// game stretches bombbay.png over the screen and draws what lies under its
// see-through window: the flat pages' title and rows, laid out from x0 (59/480
// of the width on the options, 22/176 on the game selection) to the right
// edge, the shut doors (hatch_door.png scaled by width/480 and height/320,
// from x 58/480, the upper one from y 52/320, the lower one up to 49/320
// above the bottom), and the earth, three copies side by side scrolling left
// by up to one copy. The window must show all of that, the doors must close
// it, and the earth must fill it whatever its scroll.
TEST_F(DemoArchive, BayWindowShowsThePagesAndTheDoorsCloseIt)
{
    auto load = [](const char* name) {
        return std::unique_ptr<PSurface>(PSurface::CreateFromFile(name, 0, PIMAGE_DETECT));
    };
    auto bay = load("data\\2dgfx\\bombbay.png"), door = load("data\\2dgfx\\hatch_door.png"),
         earth = load("data\\2dgfx\\earth.png");
    ASSERT_TRUE(bay && door && earth);
    ASSERT_NE(bay->alpha, nullptr);
    for (auto [w, h] : {std::pair{1024, 600}, std::pair{480, 320}}) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        const int doorX = 58 * w / 480, top = 52 * h / 320, bottom = h - 49 * h / 320;
        const int doorW = door->width * w / 480, doorH = door->height * h / 320;
        const int pagesX = std::min(59 * w / 480, 22 * w / 176);
        EXPECT_GE(doorX + doorW, w) << "the doors end short of the right edge";
        EXPECT_GE(2 * doorH, bottom - top) << "the shut doors leave a gap between them";
        const int earthW = h > 320 ? earth->width * h / 320 : earth->width;
        EXPECT_GE(2 * earthW, w) << "the scrolled earth leaves the right edge bare";
        // The bay's texel under a screen pixel, as the stretched picture lands.
        auto shown = [&](int x, int y) {
            const int bx = (2 * x + 1) * bay->width / (2 * w), by = (2 * y + 1) * bay->height / (2 * h);
            return bay->alpha[by * bay->width + bx] != 0;
        };
        int covered = 0;
        for (int y = top + 2; y < bottom - 2; y++)
            for (int x = std::max(doorX, pagesX) + 2; x < w; x++)
                covered += shown(x, y);
        EXPECT_EQ(covered, 0) << "bay pixels over the window";
        // The frame stands beside the window's left edge, above and below it.
        const int mid = (top + bottom) / 2;
        EXPECT_TRUE(shown(doorX - 4, mid) && shown(w / 2, top - 4) && shown(w / 2, bottom + 4));
    }
}

// A player reads words in his own language, so the game prints them over the
// pictures from the language texts and the pictures carry none: the SVG
// document each picture is drawn from holds no text with two letters in a
// row. Digits (mission and aircraft numbers), an
// aircraft's code letter and the names of the game and of its engine may
// stand in a picture.
TEST(DemoPictures, CarryNoWords)
{
    const std::string dir = KRV_DEMO_PICTURE_SOURCES;
    std::vector<TreeFile> svgs;
    Walk(dir, "", &svgs);
    int documents = 0;
    for (const TreeFile& f : svgs) {
        if (!EndsWith(f.name, ".svg"))
            continue;
        documents++;
        std::ifstream in(f.path, std::ios::binary);
        const std::string svg((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        for (size_t at = svg.find("<text"); at != std::string::npos; at = svg.find("<text", at + 1)) {
            const size_t open = svg.find('>', at), close = svg.find("</text>", at);
            ASSERT_TRUE(open != std::string::npos && close != std::string::npos && open < close) << f.name;
            std::string words = svg.substr(open + 1, close - open - 1);
            for (const char* name : { "KORVANTH", "VORN" })
                if (words == name)
                    words.clear();
            bool word = false;
            for (size_t k = 0; k + 1 < words.size(); k++)
                word = word || (std::isalpha(uint8_t(words[k])) && std::isalpha(uint8_t(words[k + 1])));
            EXPECT_FALSE(word) << f.name << ": \"" << words << "\"";
        }
    }
    EXPECT_GT(documents, 100);
}

} // namespace

// The weapon records as the game loads them: ids 0-15 without a gap (the
// scripts name ids up to 15), none left empty by a refused file, shots that
// carry beyond the range the AI opens fire at and draw from a cell of the
// tracer strip, and a mesh with its textures for every other type.
TEST_F(DemoArchive, WeaponRecordsLoadWithTheirMeshesAndTracers)
{
    WeaponSystem weapons(nullptr, nullptr);
    weapons.Init(nullptr);
    ASSERT_GE(weapons.WeaponCount(), 16);
    EXPECT_NE(vfs.Find(vfs.HashName("data\\textures\\shot1.png")), nullptr);
    const int64_t frameMs = 25, aiRange = 50 << 16;
    for (int i = 0; i < weapons.WeaponCount(); i++) {
        SCOPED_TRACE("wpn" + std::to_string(i));
        const MyWeapon* w = weapons.GetWeapon(i);
        ASSERT_NE(w, nullptr);
        EXPECT_GT(w->life, 0);
        EXPECT_GT(w->damage, 0);
        EXPECT_GT(w->speed, 0);
        EXPECT_GT(w->hitRadius, 0);
        if (w->pair) {
            ASSERT_LT(i + 1, weapons.WeaponCount());
            EXPECT_EQ(weapons.GetWeaponType(i + 1), w->type);
        }
        if (w->type == MyWeapon::kShot) {
            EXPECT_GT(frameMs * (w->speed / 40) * w->life, aiRange);
            ASSERT_GE(w->frameCount, 1);
            for (int k = 0; k < 8; k++)
                EXPECT_TRUE(w->Frame(0)[k] >= 0 && w->Frame(0)[k] <= 65536) << k;
            // One cell of the four-cell strip, full height.
            EXPECT_EQ(w->Frame(0)[0] - w->Frame(0)[4], 65536 / 4);
            EXPECT_EQ(w->Frame(0)[1] - w->Frame(0)[3], 65536);
            continue;
        }
        std::string mesh = "data\\objects\\weapon_" + std::to_string(w->type) + ".pof";
        std::unique_ptr<PMesh> m(PMesh::CreateFromFile(mesh.c_str(), nullptr, "data\\textures\\"));
        ASSERT_NE(m, nullptr) << mesh;
        for (const std::string& tex : TextureNames(mesh.c_str()))
            EXPECT_NE(vfs.Find(vfs.HashName(("data\\textures\\" + tex).c_str())), nullptr) << tex;
    }
    // The explosions the hits start.
    for (const char* mesh :
         {"data\\objects\\nuke1.pof", "data\\objects\\nuke2.pof", "data\\objects\\nuke3.pof"}) {
        std::unique_ptr<PMesh> m(PMesh::CreateFromFile(mesh, nullptr, "data\\textures\\"));
        ASSERT_NE(m, nullptr) << mesh;
        for (const std::string& tex : TextureNames(mesh))
            EXPECT_NE(vfs.Find(vfs.HashName(("data\\textures\\" + tex).c_str())), nullptr) << tex;
    }
}

// Buildings, vehicles and ships are lit by their normals: each triangle's
// normal agrees with its winding, and each model encloses a positive volume
// (its faces turned outward, so the sides toward the light are lit and the
// hidden ones culled).
TEST_F(DemoArchive, BuildingsVehiclesAndShipsFaceOutward)
{
    int checked = 0, units = 0;
    for (const TreeFile& f : files) {
        if (!StartsWith(f.name, "data\\objects\\") || !EndsWith(f.name, ".pof"))
            continue;
        bool building = false, unit = false;
        for (const char* kind :
            { "hangar", "tower", "depot", "bunker", "radar", "factory", "house_", "ruin_" })
            building = building || f.name.find(kind) != std::string::npos;
        for (const char* kind : { "destroyer", "cargo_ship", "uboat", "tank", "truck", "aa_gun" })
            unit = unit || f.name.find(kind) != std::string::npos;
        if (!building && !unit)
            continue;
        units += unit;
        SCOPED_TRACE(f.name);
        std::unique_ptr<PMesh> mesh(PMesh::CreateFromFile(f.name.c_str(), nullptr, ""));
        ASSERT_NE(mesh, nullptr);
        const PMesh::VertexList* v = mesh->Vertices();
        const PMesh::DataList* n = mesh->Normals();
        ASSERT_TRUE(v && n);
        ASSERT_TRUE(v->type == 0x140C && n->type == 0x140C); // 16.16
        auto at = [](const uint8_t* data, int i) {
            int32_t c[3];
            std::memcpy(c, data + 12 * i, 12);
            return std::array<double, 3> { c[0] / 65536.0, c[1] / 65536.0, c[2] / 65536.0 };
        };
        double volume = 0;
        int inward = 0;
        for (int l = 0; l < mesh->ListCount(); l++) {
            const PMesh::RenderList* list = mesh->List(l);
            ASSERT_NE(list, nullptr);
            ASSERT_EQ(list->mode, 4); // triangles
            auto index = [list](int k) {
                return list->indexType == 0x1401 ? int(list->Data()[k])
                                                 : int(reinterpret_cast<const uint16_t*>(list->Data())[k]);
            };
            for (int k = 0; k + 2 < list->count; k += 3) {
                int i0 = index(k), i1 = index(k + 1), i2 = index(k + 2);
                ASSERT_TRUE(i0 < v->count && i1 < v->count && i2 < v->count && i0 < n->count);
                auto a = at(v->Data(), i0), b = at(v->Data(), i1), c = at(v->Data(), i2),
                     nn = at(n->Data(), i0);
                double u[3] = { b[0] - a[0], b[1] - a[1], b[2] - a[2] },
                       w[3] = { c[0] - a[0], c[1] - a[1], c[2] - a[2] };
                double x[3]
                    = { u[1] * w[2] - u[2] * w[1], u[2] * w[0] - u[0] * w[2], u[0] * w[1] - u[1] * w[0] };
                inward += x[0] * nn[0] + x[1] * nn[1] + x[2] * nn[2] <= 0;
                volume += (a[0] * x[0] + a[1] * x[1] + a[2] * x[2]) / 6;
            }
        }
        EXPECT_EQ(inward, 0) << "normals against the winding";
        EXPECT_GT(volume, 0) << "faces turned inward";
        checked++;
    }
    EXPECT_GT(checked, 10);
    EXPECT_EQ(units, 12); // six kinds, each with its distant copy
}

// The building atlas: a plain cell keeps to its own colour, so a part painted
// from a single point of it (the fuel tanks, the ruins) shows that colour and
// no stroke that ran over from the striped cell beside it.
TEST_F(DemoArchive, BuildingAtlasCellsStayInside)
{
    std::unique_ptr<PSurface> s(PSurface::CreateFromFile(
        "data\\textures\\buildings.png", PLOAD_TRUE24 | PLOAD_NOALPHA, PIMAGE_DETECT));
    ASSERT_NE(s, nullptr);
    ASSERT_EQ(s->format, PSURFACE_RGB24);
    ASSERT_TRUE(s->width == 256 && s->height == 256);
    // (column, row) of the 64-pixel cells drawn in one colour with noise.
    struct Cell {
        const char* name;
        int col, row;
    } const plain[] = { { "wall", 0, 0 }, { "concrete", 0, 1 }, { "door", 2, 1 }, { "wood", 1, 2 },
        { "dark", 2, 2 }, { "window", 3, 2 }, { "fuel", 0, 3 }, { "ruin", 2, 3 } };
    for (const Cell& c : plain) {
        SCOPED_TRACE(c.name);
        long sum = 0, darkest = 3 * 255;
        for (int y = c.row * 64 + 2; y < c.row * 64 + 62; y++)
            for (int x = c.col * 64 + 2; x < c.col * 64 + 62; x++) {
                const uint8_t* p = s->pixels + y * s->pitch + 3 * x;
                long b = p[0] + p[1] + p[2];
                sum += b;
                darkest = std::min(darkest, b);
            }
        long mean = sum / (60 * 60);
        EXPECT_GT(darkest * 2, mean) << "darkest " << darkest << " against a mean of " << mean;
    }
}

// The sky dome wraps its picture once around the horizon, and its top ring
// meets at the zenith, each triangle with its own u there. The first column
// continues the last (their step no larger than between any two neighbouring
// columns), and the rows the top ring shows (v from 0.87 up: rows 0 to 33,
// with a row's margin for filtering) are one colour across, so no edge shows
// in any direction.
TEST_F(DemoArchive, SkyPictureWrapsAroundAndIsPlainAtTheZenith)
{
    std::unique_ptr<PSurface> s(
        PSurface::CreateFromFile("data\\textures\\sky.png", PLOAD_TRUE24 | PLOAD_NOALPHA, PIMAGE_DETECT));
    ASSERT_NE(s, nullptr);
    ASSERT_EQ(s->format, PSURFACE_RGB24);
    const int w = s->width, h = s->height;
    auto step = [&](int a, int b) {
        long sum = 0;
        for (int y = 0; y < h; y++)
            for (int c = 0; c < 3; c++)
                sum += std::abs(s->pixels[y * s->pitch + 3 * a + c] - s->pixels[y * s->pitch + 3 * b + c]);
        return double(sum) / h;
    };
    double inner = 0;
    for (int x = 0; x + 1 < w; x++)
        inner = std::max(inner, step(x, x + 1));
    EXPECT_LE(step(w - 1, 0), inner) << "the last column does not lead on to the first";
    for (int y = 0; y <= 34 * h / 256; y++) {
        const uint8_t* row = s->pixels + y * s->pitch;
        int differ = 0;
        for (int x = 1; x < w; x++)
            differ += !std::equal(row, row + 3, row + 3 * x);
        EXPECT_EQ(differ, 0) << "row " << y;
    }
}

// The pictures drawn repeated side by side: the ground and the sea in both
// directions on every map, the menu's earth and the rows' metal bar across.
// A seam is a sudden change of slope, so the change of slope across the wrap
// (over the last column, the first and the one after it, and likewise for
// rows) is no larger than across any three neighbouring columns inside.
TEST_F(DemoArchive, RepeatingTexturesLeadOnAcrossTheirEdges)
{
    struct Repeating {
        std::string name;
        bool rows;
    };
    std::vector<Repeating> pictures = { { "data\\textures\\sea.png", true },
        { "data\\2dgfx\\earth.png", false }, { "data\\2dgfx\\metal_bar.png", false } };
    for (const char* dir : { "", "summer\\", "winter\\", "desert\\" })
        for (const char* ground : { "ground.png", "ground_low.png", "ground_high.png" })
            pictures.push_back({ std::string("data\\textures\\") + dir + ground, true });
    for (const Repeating& r : pictures) {
        SCOPED_TRACE(r.name);
        std::unique_ptr<PSurface> s(
            PSurface::CreateFromFile(r.name.c_str(), PLOAD_TRUE24 | PLOAD_NOALPHA, PIMAGE_DETECT));
        ASSERT_NE(s, nullptr);
        ASSERT_EQ(s->format, PSURFACE_RGB24);
        const int w = s->width, h = s->height;
        ASSERT_TRUE(w >= 3 && h >= 3);
        // The mean change of slope over three lines of pixels, a, b and c,
        // each of n pixels; at(line, k) is the k-th pixel of a line.
        auto bend = [&](auto at, int a, int b, int c, int n) {
            long sum = 0;
            for (int k = 0; k < n; k++)
                for (int ch = 0; ch < 3; ch++)
                    sum += std::abs(at(a, k)[ch] - 2 * at(b, k)[ch] + at(c, k)[ch]);
            return double(sum) / n;
        };
        auto column = [&](int x, int y) { return s->pixels + y * s->pitch + 3 * x; };
        auto row = [&](int y, int x) { return s->pixels + y * s->pitch + 3 * x; };
        double inner = 0;
        for (int x = 1; x + 1 < w; x++)
            inner = std::max(inner, bend(column, x - 1, x, x + 1, h));
        double wrap = std::max(bend(column, w - 2, w - 1, 0, h), bend(column, w - 1, 0, 1, h));
        EXPECT_LE(wrap, inner) << "the last column does not lead on to the first";
        if (!r.rows)
            continue;
        inner = 0;
        for (int y = 1; y + 1 < h; y++)
            inner = std::max(inner, bend(row, y - 1, y, y + 1, w));
        wrap = std::max(bend(row, h - 2, h - 1, 0, w), bend(row, h - 1, 0, 1, w));
        EXPECT_LE(wrap, inner) << "the last row does not lead on to the first";
    }
}

namespace {

// The 8-bit brightness of an RGB pixel (Rec. 709 weights).
int Luma(const uint8_t* p)
{
    return (2126 * p[0] + 7152 * p[1] + 722 * p[2]) / 10000;
}

// The lines a text takes in a width when it is broken between words, as the
// fonts lay out a section.
int WrappedLines(const PUnicodeFont& font, const wchar_t* text, int room)
{
    std::wistringstream words(text);
    std::wstring line, word;
    int lines = 0;
    while (words >> word) {
        const std::wstring longer = line.empty() ? word : line + L" " + word;
        const bool fits = font.StringWidth(longer.c_str(), nullptr, int(longer.size())) <= room;
        lines += !line.empty() && !fits;
        line = line.empty() || fits ? longer : word;
    }
    return lines + !line.empty();
}

} // namespace

// The war room lies stretched over the whole screen under the screens that
// write over it, so a screen point (x, y) shows the picture's point
// (x * 1024 / w, y * 600 / h). Where the pause question (its whole box, with
// the buttons), the tilt calibration, the awarded medal and the unlock
// message put their words, and where the multiplayer pages lay their lists,
// labels and buttons (reaching into its corners), at 1024 x 600 and
// 480 x 320 and in both languages, the picture is calm: no 12 x 12 square there spans more than 32
// levels of brightness between its 4 x 4 tiles (across a route line or a pin
// 50 to 70, the white words printed over it some 200), and it is dark on the
// whole, so that the words stand out.
TEST_F(DemoArchive, WarRoomIsCalmWhereTheScreensWrite)
{
    std::unique_ptr<PSurface> room(PSurface::CreateFromFile("data\\2dgfx\\warroom.png", PLOAD_TRUE24 | PLOAD_NOALPHA,
                                                            PIMAGE_DETECT));
    ASSERT_TRUE(room && room->format == PSURFACE_RGB24);
    // The brightness of each 4 x 4 tile: the picture's dithering evens out
    // in a tile.
    const int tw = room->width / 4;
    std::vector<int> tiles(size_t(tw) * (room->height / 4));
    for (int y = 0; y < room->height / 4 * 4; y++)
        for (int x = 0; x < tw * 4; x++)
            tiles[size_t(y / 4) * tw + x / 4] += Luma(room->pixels + y * room->pitch + 3 * x);
    for (int& t : tiles)
        t /= 16;
    std::unique_ptr<PUnicodeFont> font(PUnicodeFont::Create(Fonts::GetFontFiles(0)));
    ASSERT_NE(font, nullptr);
    const int fh = font->height;
    auto width = [&](const wchar_t* s) { return font->StringWidth(s, nullptr, int(std::wcslen(s))); };
    // The texts these screens show: the pause questions (restart, main
    // menu, leave the match), the calibration's title and lines, the
    // medals' title and descriptions (eight lines from 54, each medal's 8
    // apart), the unlock lines (next level, next campaign, unlocked).
    const int questions[] = {306, 307, 376}, unlockLines[] = {127, 128, 129};
    const int calibrationTitle = 308, calibration1 = 309, calibration2 = 310, medalTitle = 171, medalLines = 54;
    const int questionButtons = 54, calibrationMargin = 32, medalTop = 60, medalTextTop = 145;
    // The multiplayer pages' titles (network choice, local network, lobby
    // servers, filters, game room, game settings, name, address, standings)
    // and the host's own address under the player list.
    const int mpTitles[] = {34, 282, 283, 287, 202, 300, 1, 381, 373}, ownAddress = 382;

    struct Area {
        int x, y, w, h;
        std::string what;
    };
    for (int lang = 0; lang < 2; lang++) {
        Texts texts;
        ASSERT_EQ(texts.Init("data\\lang0.bin"), 1);
        ASSERT_EQ(texts.LoadLanguage(lang, "data\\lang0.bin"), 1);
        for (const auto& [w, h] : {std::pair{1024, 600}, std::pair{480, 320}}) {
            std::vector<Area> areas;
            const std::string at = " at " + std::to_string(w) + "x" + std::to_string(h) + ", language " +
                                   std::to_string(lang);
            auto centred = [&](const wchar_t* s, int y, const std::string& what) {
                areas.push_back({w / 2 - width(s) / 2, y, width(s), fh, what + at});
            };
            for (int id : questions) {
                const int bh = WrappedLines(*font, texts[id], w / 2) * (fh + 1) + questionButtons;
                areas.push_back({w / 4, h / 2 - bh / 2, w / 2, bh, "question " + std::to_string(id) + at});
            }
            centred(texts[calibrationTitle], 14, "calibration title");
            const int lh = fh + 1, sw = w - 2 * calibrationMargin;
            const int k = WrappedLines(*font, texts[calibration1], sw) + WrappedLines(*font, texts[calibration2], sw);
            areas.push_back({calibrationMargin, h / 2 - (lh + k * lh) / 2, sw, (k + 1) * lh, "calibration" + at});
            centred(texts[medalTitle], std::min(h * 25 / 208, medalTop - (fh + 2)), "medal title");
            for (int id = medalLines; id < medalLines + 6 * 8; id++)
                if (*texts[id])
                    centred(texts[id], medalTextTop + (id - medalLines) % 8 * (fh + 2), "medal line " + std::to_string(id));
            const int step = fh + 2, y0 = h / 2 - (3 * step + 15) / 2;
            for (int line = 0; line < 3; line++)
                for (int id : unlockLines)
                    centred(texts[id], y0 + 4 + line * step, "unlock line " + std::to_string(id));

            // The multiplayer pages: their titles, the server, room and
            // player lists with the labels above and below them (the widest
            // address there), the buttons beside the lists and in the
            // middle, the game room's preview rows, the settings' swappers
            // and the standings' rows.
            for (int id : mpTitles)
                centred(texts[id], 22 - fh / 2, "page title " + std::to_string(id));
            const std::wstring address = L"255.255.255.255:65535";
            const std::wstring below[] = {L"IP: " + address, std::wstring(texts[ownAddress]) + L" " + address};
            const Area lists[] = {{16, 64, w / 2 + 16, h - 104, "server or room list"},
                                  {16, 64, w / 2 + 16, 180, "player list"}};
            for (int i = 0; i < 2; i++) {
                const Area& l = lists[i];
                areas.push_back({l.x, l.y, l.w, l.h, l.what + at});
                areas.push_back({l.x, l.y - (fh + 4), l.w, fh + 4, "label above the " + l.what + at});
                const int lines = std::max(WrappedLines(*font, below[i].c_str(), l.w), 1);
                areas.push_back({l.x, l.y + l.h + 2, l.w, lines * fh + 4, "label below the " + l.what + at});
            }
            const int xb = w / 2 + 38, wb = w - (w / 2 + 16) - 38, bh = (h - 104) / 4, x0 = w / 2 - (w / 3) / 2;
            for (int k = 0; k < 3; k++)
                areas.push_back({xb, 64 + k * (bh + 6), wb, bh, "button " + std::to_string(k) + " beside a list" + at});
            areas.push_back({xb, 64, wb, 44, "start button" + at});
            areas.push_back({xb, 114, wb, 44, "settings button" + at});
            for (int k = 0; k < 5; k++)
                areas.push_back({x0, h / 2 - 125 + 50 * k, w / 3, 44, "filter button " + std::to_string(k) + at});
            const int p0 = 114 + 44, ph = (h - 54 - p0) / 3;
            for (int k = 0; k < 3; k++)
                areas.push_back({xb, p0 + k * ph, w - 16 - xb, ph, "preview row " + std::to_string(k) + at});
            const int sh = (h - 88) / 4;
            for (int k = 0; k < 4; k++)
                areas.push_back({w / 3 / 2 - 3, 44 + k * (sh + 6), w - w / 3, sh, "swapper " + std::to_string(k) + at});
            const int rh = (h - 128) / 5;
            for (int r = 0; r < 5; r++)
                areas.push_back({16, 64 + r * rh, w - 32, rh, "standings row " + std::to_string(r) + at});

            for (const Area& a : areas) {
                // The area's 4 x 4 tiles of the picture.
                const int t0 = std::max(a.x * room->width / w / 4, 0),
                          t1 = std::min((a.x + a.w) * room->width / w / 4, room->width / 4);
                const int u0 = std::max(a.y * room->height / h / 4, 0),
                          u1 = std::min((a.y + a.h) * room->height / h / 4, room->height / 4);
                ASSERT_TRUE(t1 - t0 >= 3 && u1 - u0 >= 3) << a.what;
                int widest = 0, sum = 0;
                for (int u = u0; u + 3 <= u1; u++)
                    for (int t = t0; t + 3 <= t1; t++) {
                        int lo = 255, hi = 0;
                        for (int j = 0; j < 3; j++)
                            for (int i = 0; i < 3; i++) {
                                lo = std::min(lo, tiles[size_t(u + j) * tw + t + i]);
                                hi = std::max(hi, tiles[size_t(u + j) * tw + t + i]);
                            }
                        widest = std::max(widest, hi - lo);
                    }
                for (int u = u0; u < u1; u++)
                    for (int t = t0; t < t1; t++)
                        sum += tiles[size_t(u) * tw + t];
                EXPECT_LE(widest, 32) << a.what;
                EXPECT_LE(sum / ((t1 - t0) * (u1 - u0)), 90) << a.what;
            }
        }
    }
}

// The weapon wheel's plate is drawn twice, as it is centred at (w/2 - r/2,
// h/4 - 35) and mirrored centred at (w/2 + r/2, h/4 - 35), r = its width - 16;
// the weapon icons go round (w/2, h/4 - 35) on an ellipse of radii r and its
// height - 8, each shrunk by a fifth of its depth behind the front. The two
// copies make one plate, meeting at w/2 without covering each other; the
// front icon ends above the console's first line, and at both screen sizes
// the icon at the back stays on the screen and those at the sides keep clear
// of the radar with its score beside it and of the weapon circle.
TEST_F(DemoArchive, WeaponWheelFitsBetweenTheRadarAndTheConsole)
{
    auto load = [](const std::string& name) {
        return std::unique_ptr<PSurface>(PSurface::CreateFromFile(("data\\2dgfx\\" + name).c_str(), 0, PIMAGE_DETECT));
    };
    auto plate = load("weap_bg.png"), radar = load("radar.png"), circle = load("hud_weap_cir.png");
    ASSERT_TRUE(plate && radar && circle && plate->alpha);
    const int pw = plate->width, ph = plate->height, r = pw - 16, ry = ph - 8;
    ASSERT_GT(r, 0);
    ASSERT_GT(ry, 0);
    // The picture is the left half: its last 8 columns are clear, the one
    // before them is the plate's middle.
    const int mid = ph / 2;
    EXPECT_EQ(plate->alpha[mid * pw + pw - 9], 255);
    for (int y = 0; y < ph; y++)
        for (int x = pw - 8; x < pw; x++)
            ASSERT_EQ(plate->alpha[y * pw + x], 0) << x << ", " << y;
    int iw = 0, ih = 0;
    for (int id = 0; id < 16; id++) {
        auto icon = load("weap_icon_" + std::to_string(id) + ".png");
        ASSERT_NE(icon, nullptr) << id;
        iw = std::max(iw, icon->width);
        ih = std::max(ih, icon->height);
    }
    // The score beside the radar: its label or six digits, font 5.
    std::unique_ptr<PUnicodeFont> small(PUnicodeFont::Create(Fonts::GetFontFiles(5)));
    ASSERT_NE(small, nullptr);
    int score = small->StringWidth(L"000000", nullptr, 6);
    for (int lang = 0; lang < 2; lang++) {
        Texts texts;
        ASSERT_EQ(texts.Init("data\\lang0.bin"), 1);
        ASSERT_EQ(texts.LoadLanguage(lang, "data\\lang0.bin"), 1);
        const wchar_t* label = texts[Hud::kTextScore];
        score = std::max(score, small->StringWidth(label, nullptr, int(std::wcslen(label))));
    }
    for (const auto& [w, h] : {std::pair{1024, 600}, std::pair{480, 320}}) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        const int cx = w / 2, cy = h / 4 - 35;
        // Where the wheel's centre lies above the console's first line (at
        // 480 x 320; at 1024 x 600 the lines end left of the front icon),
        // the front icon stays above it.
        if (cy < MainGame::kConsoleY) {
            EXPECT_LT(cy + ry + ih / 2, MainGame::kConsoleY) << "the front icon";
        }
        const int back = ih + -2 * ry / 5;
        EXPECT_GE(cy - ry - back / 2, 0) << "the icon at the back";
        const int side = iw + -ry / 5;
        EXPECT_GT(cx - r - side / 2, Hud::kRadarX + radar->width + 1 + score) << "the left icon";
        EXPECT_LT(cx + r + side / 2, w - Hud::kRadarX - circle->width) << "the right icon";
    }
}
