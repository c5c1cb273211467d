// The built demo archive: it holds exactly the files of the tree it was packed
// from, each one reads back through PFile's archive fall-back (the archive in
// the globals, as the game installs it) with the same bytes, and every entry
// loads with the engine's own reader for its kind.
#include <gtest/gtest.h>

#include <dirent.h>
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
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
#include "engine/runtime/pstring.h"
#include "engine/runtime/pvfs.h"
#include "game/scene/p3danim.h"
#include "game/scene/p3dmeshlink.h"

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
    // What the game looks for by name is there.
    for (const char* name : {"data\\fonts\\font6x8.fnt", "data\\fonts\\prop.fnt", "data\\audio\\sfx\\click.psn"})
        EXPECT_FALSE(EntryBytes(name).empty()) << name;
    EXPECT_TRUE(EntryBytes("data\\fonts\\missing.fnt").empty());
}

TEST_F(DemoArchive, EveryEntryLoadsWithTheEngineReader)
{
    int kinds[6] = {};
    for (const TreeFile& f : files) {
        const char* name = f.name.c_str();
        SCOPED_TRACE(f.name);
        if (EndsWith(f.name, ".fnt")) {
            std::unique_ptr<PUnicodeFont> font(PUnicodeFont::Create(name));
            ASSERT_NE(font, nullptr);
            int h = 0;
            EXPECT_GT(font->StringWidth("Korvanth", &h, 8), 0);
            EXPECT_GT(h, 0);
            kinds[0]++;
        } else if (EndsWith(f.name, ".pof")) {
            std::unique_ptr<PMesh> mesh(PMesh::CreateFromFile(name, nullptr, ""));
            ASSERT_NE(mesh, nullptr);
            ASSERT_NE(mesh->Vertices(), nullptr);
            EXPECT_GE(mesh->Vertices()->count, 3);
            EXPECT_GE(mesh->ListCount(), 1);
            kinds[1]++;
        } else if (EndsWith(f.name, ".pam")) {
            std::unique_ptr<P3DAnim> scene(P3DAnim::Create());
            ASSERT_NE(scene, nullptr);
            PString noDir("");
            PString* dirs[1] = {&noDir};
            PMesh** meshes = nullptr;
            char** names = nullptr;
            int count = 0;
            ASSERT_EQ(scene->LoadFromFile(name, dirs, 1, "data\\objects\\", nullptr, meshes, names, &count), 1);
            EXPECT_EQ(count, 2);
            EXPECT_EQ(scene->modelCount, 2);
            for (int i = 0; i < count; i++) {
                EXPECT_NE(meshes[i], nullptr) << "mesh " << names[i] << " of the scene";
                P3DMeshDelete(meshes[i]);
                PFree(names[i]);
            }
            PFree(meshes);
            PFree(names);
            kinds[2]++;
        } else if (EndsWith(f.name, ".png") || EndsWith(f.name, ".nrv")) {
            std::unique_ptr<PSurface> s(PSurface::CreateFromFile(name, 0, PIMAGE_DETECT));
            ASSERT_NE(s, nullptr);
            EXPECT_EQ(s->width, 128);
            EXPECT_EQ(s->height, 64);
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
        } else {
            ADD_FAILURE() << "no reader is known for this entry";
        }
    }
    const int want[6] = {6, 2, 1, 2, 1, 1};
    for (int k = 0; k < 6; k++)
        EXPECT_EQ(kinds[k], want[k]) << "kind " << k;
}

} // namespace
