#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>

#include <gtest/gtest.h>

#include "engine/runtime/pfile.h"
#include "engine/runtime/pglobals.h"
#include "engine/runtime/pvfs.h"
#include "engine/runtime/pzstream.h"
#include "streams_fixtures.h"
#include "tools/lib/plzp_writer.h"
#include "tools/lib/vfs_writer.h"

namespace {

using fixtures::Drain;
using fixtures::Path;
using fixtures::ReadFile;

std::vector<uint8_t> Bytes(char const* s) { return std::vector<uint8_t>(s, s + std::strlen(s)); }

// A header and a table written by hand, for the malformed archives.
std::vector<uint8_t> RawArchive(uint32_t flags, uint32_t count, std::vector<PVFSEntry> const& rows, size_t pad)
{
    std::vector<uint8_t> out(12 + 12 * rows.size() + pad, 0x55);
    std::memcpy(out.data(), "VOFS", 4);
    PStore32(out.data() + 4, flags);
    PStore32(out.data() + 8, count);
    for (size_t i = 0; i < rows.size(); i++) {
        PStore32(out.data() + 12 + 12 * i, rows[i].offset);
        PStore32(out.data() + 16 + 12 * i, rows[i].hash);
        PStore32(out.data() + 20 + 12 * i, rows[i].size);
    }
    return out;
}

TEST(VfsHash, WorkedValuesAndNameForms)
{
    EXPECT_EQ(PVFS::Hash("a", 0), 0xFFFFFFF0u);
    EXPECT_EQ(PVFS::Hash("a", 1), 0xFFFFFFD0u);
    EXPECT_EQ(PVFS::Hash("abc", 0), 0xFFFEE375u);
    EXPECT_EQ(PVFS::Hash("abc", 1), 0xFFFCA9D5u);
    EXPECT_EQ(PVFS::Hash("ABC", 1), 0xFFFCA9D5u);
    EXPECT_EQ(PVFS::Hash("/abc", 1), 0xFFFCA9D5u);
    EXPECT_EQ(PVFS::Hash("data\\2dgfx\\soft_label_ok.png", 0), 0xA5DAC49Au);
    EXPECT_EQ(PVFS::Hash("data\\2dgfx\\soft_label_ok.png", 1), 0xD5581B1Au);
    EXPECT_EQ(PVFS::Hash("", 0), 0u);

    uint32_t ci = PVFS::Hash("Data\\Fonts\\A.FNT", 1);
    EXPECT_EQ(PVFS::Hash("data/fonts/a.fnt", 1), ci);
    EXPECT_EQ(PVFS::Hash("/data//fonts/a.fnt", 1), ci);
    uint32_t cs = PVFS::Hash("data\\fonts\\a.fnt", 0);
    EXPECT_EQ(PVFS::Hash("data/fonts/a.fnt", 0), cs);
    EXPECT_NE(PVFS::Hash("data/Fonts/a.fnt", 0), cs);
    EXPECT_NE(PVFS::Hash("data//fonts/a.fnt", 0), cs);

    // Parent references.
    EXPECT_EQ(PVFS::Hash("a/dir/../file", 0), PVFS::Hash("a/file", 0));
    EXPECT_EQ(PVFS::Hash("a\\dir\\..\\file", 1), PVFS::Hash("a/file", 1));
    EXPECT_EQ(PVFS::Hash("dir/../file", 0), PVFS::Hash("/file", 0));
    EXPECT_NE(PVFS::Hash("../file", 0), PVFS::Hash("file", 0)); // not after a separator: kept

    // Too long to resolve: refused, not cut short.
    std::string longName = "d/../" + std::string(300, 'x');
    uint32_t h = 1;
    EXPECT_EQ(PVFS::HashChecked(longName.c_str(), 0, &h), -1);
    EXPECT_EQ(h, 0u);
    std::string longPlain(300, 'x'); // without ".." any length hashes
    EXPECT_EQ(PVFS::HashChecked(longPlain.c_str(), 0, &h), 0);
    EXPECT_NE(h, 0u);
}

// Every entry of the Python-made archives, in file and memory mode.
TEST(Vfs, ReadsIndependentlyWrittenArchives)
{
    ASSERT_FALSE(fixtures::Dir().empty()) << "fixture generation failed";
    auto manifest = fixtures::Manifest();
    ASSERT_EQ(manifest.size(), 16u);
    for (bool ci : {false, true}) {
        std::string path = Path(ci ? "archive_ci.vfs" : "archive_cs.vfs");
        std::vector<uint8_t> mem = ReadFile(path);
        PVFS file(path.c_str());
        PVFS memory(new PMemStream(mem.data(), long(mem.size())), 1, 1);
        for (PVFS* vfs : {&file, &memory}) {
            SCOPED_TRACE(std::string(ci ? "ci " : "cs ") + (vfs == &file ? "file" : "memory"));
            ASSERT_TRUE(vfs->IsOpen());
            EXPECT_EQ(vfs->Count(), 16);
            EXPECT_EQ((vfs->Flags() & PVFS::kCaseInsensitive) != 0, ci);
            for (auto const& m : manifest) {
                SCOPED_TRACE(m.name);
                EXPECT_EQ(vfs->HashName(m.name.c_str()), ci ? m.hashCi : m.hashCs);
                PStream* s = vfs->Open(m.name.c_str());
                ASSERT_NE(s, nullptr);
                std::vector<uint8_t> want = fixtures::Expected(m.index);
                EXPECT_EQ(s->Size(), long(want.size()));
                EXPECT_EQ(Drain(*s), want);
                delete s;
            }
            std::string other = ci ? "DATA/FONTS/a.FNT" : "data/fonts/A.fnt";
            PStream* s = vfs->Open(other.c_str());
            ASSERT_NE(s, nullptr);
            EXPECT_EQ(Drain(*s), fixtures::Expected(1));
            delete s;
            EXPECT_EQ(vfs->Open(ci ? "data/fonts/a.fnt.x" : "data/fonts/a.fnt"), nullptr);
        }
        unsigned size = 0;
        void* p = memory.Lock("tiny", &size);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(size, 2u);
        EXPECT_EQ(std::memcmp(p, "ab", 2), 0);
        EXPECT_EQ(file.Lock("tiny", &size), nullptr);
        EXPECT_EQ(size, 0u);
    }
    PVFS flagged(new PMemStream(nullptr, 0), 1, 1);
    EXPECT_FALSE(flagged.IsOpen());
}

TEST(Vfs, EntryStreamsShareTheArchiveStream)
{
    VfsBuilder b(false);
    std::string err;
    std::vector<uint8_t> one(1000), two(1000);
    for (int i = 0; i < 1000; i++) {
        one[size_t(i)] = uint8_t(i);
        two[size_t(i)] = uint8_t(255 - i % 256);
    }
    ASSERT_TRUE(b.Add("one", one, false, &err)) << err;
    ASSERT_TRUE(b.Add("two", two, false, &err)) << err;
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(b.Build(&bytes, &err)) << err;
    PVFS vfs(new PMemStream(bytes.data(), long(bytes.size())), 1, 0); // file mode over memory

    PStream* a = vfs.Open("one");
    PStream* c = vfs.Open("two");
    ASSERT_NE(a, nullptr);
    ASSERT_NE(c, nullptr);
    uint8_t x[10], y[10];
    for (int i = 0; i < 100; i++) {
        ASSERT_EQ(a->Read(x, 10), 10);
        ASSERT_EQ(c->Read(y, 10), 10);
        ASSERT_EQ(std::memcmp(x, one.data() + 10 * i, 10), 0);
        ASSERT_EQ(std::memcmp(y, two.data() + 10 * i, 10), 0);
    }
    EXPECT_EQ(a->Read(x, 10), 0);
    EXPECT_EQ(a->Seek(0, 1), 1000);
    EXPECT_EQ(a->Seek(-1, 0), -1);
    EXPECT_EQ(a->Seek(1010, 0), 1000);
    EXPECT_EQ(a->Seek(-10, 2), 990);
    EXPECT_EQ(c->Seek(5, 0), 5); // not the last reader: the archive stream is left alone
    EXPECT_EQ(a->Read(x, 10), 10);
    EXPECT_EQ(std::memcmp(x, one.data() + 990, 10), 0);
    EXPECT_EQ(c->GetByte(), two[5]);
    EXPECT_EQ(a->Write(x, 1), -1); // at the end of the entry
    EXPECT_EQ(a->Skip(-500), -500);
    EXPECT_EQ(a->Seek(0, 1), 500);

    // Closing the archive detaches its open entry streams.
    vfs.Close();
    EXPECT_FALSE(a->IsOpen());
    EXPECT_EQ(a->Read(x, 1), -1);
    EXPECT_EQ(c->Seek(0, 0), -1);
    delete a;
    delete c;
}

TEST(Vfs, CompressedEntriesAndBuilderRules)
{
    std::string err;
    std::vector<uint8_t> text;
    for (int i = 0; i < 200; i++)
        text.insert(text.end(), {'s', 'p', 'a', 'm', ' '});
    VfsBuilder b(true);
    ASSERT_TRUE(b.Add("data\\a.txt", text, true, &err)) << err;
    ASSERT_TRUE(b.Add("data\\b.txt", Bytes("xy"), true, &err)) << err; // too small to gain
    EXPECT_FALSE(b.Add("DATA/A.TXT", text, false, &err)); // same hash
    EXPECT_NE(err.find("same hash"), std::string::npos);
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(b.Build(&bytes, &err)) << err;
    EXPECT_EQ(PLoad32(bytes.data() + 4), 0x80000000u);

    for (int memory : {0, 1}) {
        PVFS vfs(new PMemStream(bytes.data(), long(bytes.size())), 1, memory);
        PVFSEntry const* e = vfs.Find(vfs.HashName("data/a.txt"));
        ASSERT_NE(e, nullptr);
        EXPECT_LT(e->size, text.size());
        PStream* s = vfs.Open("Data\\A.txt");
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->Size(), long(text.size()));
        EXPECT_EQ(Drain(*s), text);
        delete s;
        s = vfs.Open("data\\b.txt");
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(Drain(*s), Bytes("xy"));
        delete s;
    }
    VfsBuilder none(false);
    EXPECT_FALSE(none.Build(&bytes, &err));
}

TEST(Vfs, MalformedArchivesAreRefused)
{
    auto refused = [](std::vector<uint8_t> bytes) {
        for (int memory : {0, 1}) {
            PVFS vfs(new PMemStream(bytes.data(), long(bytes.size())), 1, memory);
            if (vfs.IsOpen())
                return false;
            if (vfs.Open(0u) != nullptr)
                return false;
        }
        return true;
    };
    std::vector<uint8_t> good = RawArchive(0, 1, {{24, 7, 4}}, 4);
    {
        PVFS vfs(new PMemStream(good.data(), long(good.size())), 1, 0);
        ASSERT_TRUE(vfs.IsOpen());
        PStream* s = vfs.Open(7u);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->Get32(), 0x55555555u);
        delete s;
    }
    std::vector<uint8_t> bad = good;
    bad[0] = 'X';
    EXPECT_TRUE(refused(bad));
    EXPECT_TRUE(refused(RawArchive(0, 0, {}, 16)));
    EXPECT_TRUE(refused(RawArchive(0, 0xFFFFFFFFu, {{24, 7, 4}}, 4)));
    EXPECT_TRUE(refused(RawArchive(0, 0x15555556u, {{24, 7, 4}}, 4))); // 12 * count wraps to 8
    EXPECT_TRUE(refused(RawArchive(0, 3, {{24, 7, 4}}, 4)));           // table longer than the file
    EXPECT_TRUE(refused(std::vector<uint8_t>(good.begin(), good.begin() + 10)));
    PVFS missing("no/such/data.vfs");
    EXPECT_FALSE(missing.IsOpen());
    EXPECT_EQ(missing.Open("x"), nullptr);

    // Entries outside the archive are refused in both modes; the others open.
    std::vector<uint8_t> holes = RawArchive(0, 4, {{60, 1, 8}, {61, 2, 8}, {0xFFFFFFF0u, 3, 0x20}, {68, 4, 0}}, 8);
    for (int memory : {0, 1}) {
        SCOPED_TRACE(memory);
        PVFS vfs(new PMemStream(holes.data(), long(holes.size())), 1, memory);
        ASSERT_TRUE(vfs.IsOpen());
        PStream* s = vfs.Open(1u);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->Size(), 8);
        delete s;
        EXPECT_EQ(vfs.Open(2u), nullptr);
        EXPECT_EQ(vfs.Open(3u), nullptr);
        unsigned size = 1;
        EXPECT_EQ(vfs.Lock(3u, &size), nullptr);
        s = vfs.Open(4u); // empty entry at the very end
        ASSERT_NE(s, nullptr);
        uint8_t b;
        EXPECT_EQ(s->Read(&b, 1), 0);
        delete s;
    }

    // A "PLZP" entry with nothing after the magic: its first read fails.
    std::vector<uint8_t> lz = RawArchive(0, 1, {{24, 9, 4}}, 4);
    std::memcpy(lz.data() + 24, "PLZP", 4);
    for (int memory : {0, 1}) {
        PVFS vfs(new PMemStream(lz.data(), long(lz.size())), 1, memory);
        PStream* s = vfs.Open(9u);
        ASSERT_NE(s, nullptr);
        uint8_t b;
        EXPECT_EQ(s->Read(&b, 1), -1);
        delete s;
    }

    // A name with ".." too long to resolve never reaches the entry of hash 0.
    std::vector<uint8_t> zero = RawArchive(0, 1, {{24, 0, 4}}, 4);
    PVFS z(new PMemStream(zero.data(), long(zero.size())), 1, 0);
    std::string longName = "a/../" + std::string(400, 'q');
    EXPECT_EQ(z.Open(longName.c_str()), nullptr);
    PStream* e = z.Open("");
    EXPECT_NE(e, nullptr);
    delete e;
}

// The last fall-back of a read-only file open is the archive in the globals.
TEST(Vfs, FileOpensFallBackToTheArchive)
{
    char tmpl[] = "/tmp/krv_vfsfall_XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    std::string root = tmpl, save = root + "/data/", install = root + "/app/";
    ASSERT_EQ(::mkdir(save.c_str(), 0777), 0);
    ASSERT_EQ(::mkdir(install.c_str(), 0777), 0);
    ::setenv("VORNAPP_SAVEPATH", save.c_str(), 1);
    ::setenv("VORNAPPPATH", install.c_str(), 1);

    VfsBuilder b(true);
    std::string err;
    ASSERT_TRUE(b.Add("usr\\settings.nil", Bytes("archive"), true, &err));
    ASSERT_TRUE(b.Add("only.txt", Bytes("archived only"), false, &err));
    ASSERT_TRUE(b.WriteFile(install + "data.vfs", &err)) << err;

    PVFS vfs("data.vfs"); // found under the installation directory
    ASSERT_TRUE(vfs.IsOpen());
    PGlobals globals{};
    globals.archive = &vfs;
    PSetTls(&globals);

    auto readName = [](char const* name) {
        PFile f(name, PFile::kRead);
        if (!f.IsOpen())
            return std::string("<closed>");
        std::vector<uint8_t> d = Drain(f);
        return std::string(d.begin(), d.end());
    };
    EXPECT_EQ(readName("usr\\settings.nil"), "archive");
    EXPECT_EQ(readName("ONLY.TXT"), "archived only");
    ASSERT_EQ(::mkdir((install + "usr").c_str(), 0777), 0);
    fixtures::WriteFile(install + "usr/settings.nil", Bytes("installed"));
    EXPECT_EQ(readName("usr\\settings.nil"), "installed");
    ASSERT_EQ(PFile::MkDir("usr"), 0);
    fixtures::WriteFile(save + "usr/settings.nil", Bytes("writable"));
    EXPECT_EQ(readName("usr\\settings.nil"), "writable");
    EXPECT_EQ(readName("missing"), "<closed>");
    {
        PFile f("only.txt", PFile::kRead);
        EXPECT_EQ(f.Size(), 13);
        EXPECT_EQ(f.Seek(-4, 2), 9);
        char buf[8];
        EXPECT_EQ(f.Read(buf, 8), 4);
        EXPECT_EQ(f.Write("x", 1), -1);
    }
    PFile w;
    EXPECT_EQ(w.Open("only.txt", PFile::kWrite), -1); // writes never reach the archive

    PSetTls(nullptr);
    EXPECT_EQ(PFile::OpenVFS("only.txt", 1), nullptr);
    ::unsetenv("VORNAPP_SAVEPATH");
    ::unsetenv("VORNAPPPATH");
    std::string rm = "rm -rf '" + root + "'";
    EXPECT_EQ(std::system(rm.c_str()), 0);
}

} // namespace
