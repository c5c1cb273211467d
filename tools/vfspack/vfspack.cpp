// vfspack: the data archive from the command line.
//
//   vfspack create OUT.vfs DIR [--compress] [--ignore-case]
//   vfspack list A.vfs [--names FILE|DIR]
//   vfspack extract A.vfs NAME OUT
//   vfspack cat A.vfs NAME
//
// An entry's name is its path relative to DIR with backslashes
// ("data\2dgfx\loading.png"). Archives hold no names: list resolves hashes
// from a file of names (one per line) or from a directory tree. extract and
// cat read through the engine's own archive reader.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <functional>
#include <map>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "engine/runtime/pfile.h"
#include "engine/runtime/pvfs.h"
#include "tools/lib/toolfile.h"
#include "tools/lib/vfs_writer.h"
#include "tools/lib/toolcli.h"

namespace {

// The usage on out: on standard output for --help (exit 0), else on
// standard error (exit 2).
int Usage(FILE* out = stderr)
{
    std::fprintf(out,
                 "usage: vfspack create OUT.vfs DIR [--compress] [--ignore-case]\n"
                 "       vfspack list A.vfs [--names FILE|DIR]\n"
                 "       vfspack extract A.vfs NAME OUT\n"
                 "       vfspack cat A.vfs NAME\n");
    return out == stdout ? 0 : 2;
}

int Fail(std::string const& msg)
{
    std::fprintf(stderr, "vfspack: %s\n", msg.c_str());
    return 1;
}

bool IsDir(std::string const& p)
{
    struct stat st;
    return ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Every regular file under dir, as (archive name, path), in name order.
bool Collect(std::string const& dir, std::string const& prefix, std::vector<std::pair<std::string, std::string>>* out,
             std::string* err)
{
    DIR* d = ::opendir(dir.c_str());
    if (!d) {
        *err = "cannot read directory " + dir + ": " + std::strerror(errno);
        return false;
    }
    std::vector<std::string> names;
    while (dirent* e = ::readdir(d)) {
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
            names.push_back(e->d_name);
    }
    ::closedir(d);
    std::sort(names.begin(), names.end());
    for (std::string const& n : names) {
        std::string path = dir + "/" + n;
        std::string name = prefix.empty() ? n : prefix + "\\" + n;
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0) {
            *err = "cannot stat " + path + ": " + std::strerror(errno);
            return false;
        }
        if (S_ISDIR(st.st_mode)) {
            if (!Collect(path, name, out, err))
                return false;
        } else if (S_ISREG(st.st_mode)) {
            out->emplace_back(name, path);
        } else {
            std::fprintf(stderr, "vfspack: skipping %s (not a regular file)\n", path.c_str());
        }
    }
    return true;
}

// Absolute form of a path, so that the engine's path rules leave it alone.
std::string Absolute(std::string const& p)
{
    if (!p.empty() && p[0] == '/')
        return p;
    char cwd[PATH_MAX];
    if (!::getcwd(cwd, sizeof cwd))
        return p;
    return std::string(cwd) + "/" + p;
}

bool OpenArchive(std::string const& path, PVFS* vfs, std::string* err)
{
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        *err = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        *err = path + " is not a file";
        return false;
    }
    if (!vfs->OpenVFS(Absolute(path).c_str())) {
        *err = path + " is not a valid archive";
        return false;
    }
    return true;
}

int Create(int argc, char** argv)
{
    std::string out, dir;
    bool compress = false, ignoreCase = false;
    for (int i = 2; i < argc; i++) {
        std::string a = argv[i];
        if (a == "--compress")
            compress = true;
        else if (a == "--ignore-case")
            ignoreCase = true;
        else if (!a.empty() && a[0] == '-' && a.size() > 1)
            return Fail("unknown option " + a);
        else if (out.empty())
            out = a;
        else if (dir.empty())
            dir = a;
        else
            return Usage();
    }
    if (out.empty() || dir.empty())
        return Usage();
    if (!IsDir(dir))
        return Fail(dir + " is not a directory");
    std::vector<std::pair<std::string, std::string>> files;
    std::string err;
    if (!Collect(dir, "", &files, &err))
        return Fail(err);
    if (files.empty())
        return Fail("no files under " + dir);

    struct stat outSt;
    bool outExists = ::stat(out.c_str(), &outSt) == 0;
    VfsBuilder builder(ignoreCase);
    for (auto const& f : files) {
        struct stat st;
        if (outExists && ::stat(f.second.c_str(), &st) == 0 && st.st_dev == outSt.st_dev && st.st_ino == outSt.st_ino)
            continue; // the archive being replaced
        std::vector<uint8_t> data;
        if (!ReadFileBytes(f.second, &data, &err))
            return Fail(err);
        if (!builder.Add(f.first, std::move(data), compress, &err))
            return Fail(err);
    }
    if (!builder.WriteFile(out, &err))
        return Fail(err);
    std::printf("%zu entries written to %s\n", builder.Count(), out.c_str());
    return 0;
}

int List(int argc, char** argv)
{
    std::string archive, names;
    for (int i = 2; i < argc; i++) {
        std::string a = argv[i];
        if (a == "--names") {
            if (++i >= argc)
                return Usage();
            names = argv[i];
        } else if (!a.empty() && a[0] == '-' && a.size() > 1) {
            return Fail("unknown option " + a);
        } else if (archive.empty()) {
            archive = a;
        } else {
            return Usage();
        }
    }
    if (archive.empty())
        return Usage();
    PVFS vfs;
    std::string err;
    if (!OpenArchive(archive, &vfs, &err))
        return Fail(err);
    int ci = (vfs.Flags() & PVFS::kCaseInsensitive) != 0;

    std::map<uint32_t, std::string> known;
    if (!names.empty()) {
        std::vector<std::string> list;
        if (IsDir(names)) {
            std::vector<std::pair<std::string, std::string>> files;
            if (!Collect(names, "", &files, &err))
                return Fail(err);
            for (auto const& f : files)
                list.push_back(f.first);
        } else {
            std::vector<uint8_t> text;
            if (!ReadFileBytes(names, &text, &err))
                return Fail(err);
            std::string line;
            for (size_t i = 0; i <= text.size(); i++) {
                if (i == text.size() || text[i] == '\n') {
                    while (!line.empty() && line.back() == '\r')
                        line.pop_back();
                    if (!line.empty())
                        list.push_back(line);
                    line.clear();
                } else {
                    line += char(text[i]);
                }
            }
        }
        for (std::string const& n : list)
            known.emplace(PVFS::Hash(n.c_str(), ci), n);
    }

    // The compressed flag comes from the stored bytes themselves.
    PFile raw(Absolute(archive).c_str(), PFile::kRead);
    std::printf("%d entries, %s names\n", vfs.Count(), ci ? "case-insensitive" : "case-sensitive");
    for (int i = 0; i < vfs.Count(); i++) {
        PVFSEntry const* e = vfs.Entry(i);
        uint8_t head[12] = {0};
        bool packed = false;
        unsigned unpacked = 0;
        if (e->size >= 12 && raw.Seek(long(e->offset), 0) == long(e->offset) && raw.Read(head, 12) == 12 &&
            std::memcmp(head, "PLZP", 4) == 0) {
            packed = true;
            unpacked = PLoad32(head + 4);
        }
        auto it = known.find(e->hash);
        char extra[32] = "";
        if (packed)
            std::snprintf(extra, sizeof extra, "(%u)", unpacked);
        std::printf("%08X %10u %c %-12s %s\n", e->hash, e->size, packed ? 'z' : '-', extra,
                    it == known.end() ? "-" : it->second.c_str());
    }
    return 0;
}

// Streams an entry through the engine's archive reader into sink, a block at
// a time (a compressed entry may inflate far beyond its stored size).
int ReadEntry(std::string const& archive, std::string const& name,
              std::function<bool(uint8_t const*, size_t)> const& sink)
{
    PVFS vfs;
    std::string err;
    if (!OpenArchive(archive, &vfs, &err))
        return Fail(err);
    PStream* s = vfs.Open(name.c_str());
    if (!s)
        return Fail("no entry " + name + " in " + archive);
    uint8_t buf[65536];
    int n = 0;
    bool written = true;
    while (written && (n = s->Read(buf, sizeof buf)) > 0)
        written = sink(buf, size_t(n));
    delete s;
    if (!written)
        return 1;
    if (n < 0)
        return Fail("entry " + name + " is damaged");
    return 0;
}

int Extract(int argc, char** argv)
{
    if (argc != 5)
        return Usage();
    AtomicFile out(argv[4]);
    std::string err;
    if (!out.Open(&err))
        return Fail(err);
    auto write = [&](uint8_t const* p, size_t n) {
        if (out.Write(p, n, &err))
            return true;
        Fail(err);
        return false;
    };
    if (int r = ReadEntry(argv[2], argv[3], write))
        return r;
    if (!out.Commit(&err))
        return Fail(err);
    return 0;
}

int Cat(int argc, char** argv)
{
    if (argc != 4)
        return Usage();
    auto write = [](uint8_t const* p, size_t n) {
        if (std::fwrite(p, 1, n, stdout) == n)
            return true;
        Fail("cannot write to standard output");
        return false;
    };
    if (int r = ReadEntry(argv[2], argv[3], write))
        return r;
    if (std::fflush(stdout) != 0)
        return Fail("cannot write to standard output");
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (ToolHelpAsked(argc, argv))
        return Usage(stdout);
    if (argc < 2)
        return Usage();
    std::string cmd = argv[1];
    if (cmd == "create")
        return Create(argc, argv);
    if (cmd == "list")
        return List(argc, argv);
    if (cmd == "extract")
        return Extract(argc, argv);
    if (cmd == "cat")
        return Cat(argc, argv);
    return Usage();
}
