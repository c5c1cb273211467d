// Fixture files made by streams_fixtures.py (Python's zlib and struct), an
// independent writer of the formats the stream tests read.
#pragma once
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/runtime/pstream.h"
#include "tests/tools/tool_runner.h"
#include "tools/lib/toolfile.h"

namespace fixtures {

inline std::string Script() { return tooltest::PyScript("tests/engine/runtime/streams_fixtures.py"); }

// The fixture directory, made once per test run and removed at exit.
inline std::string const& Dir()
{
    static char made[64];
    static std::string dir = [] {
        char tmpl[] = "/tmp/krv_streamfix_XXXXXX";
        if (!::mkdtemp(tmpl))
            return std::string();
        std::snprintf(made, sizeof made, "%s", tmpl);
        std::atexit([] {
            std::string rm = std::string("rm -rf '") + made + "'";
            (void)!std::system(rm.c_str());
        });
        if (tooltest::RunPython(Script() + " make '" + made + "'").code != 0)
            return std::string();
        return std::string(made);
    }();
    return dir;
}

inline std::string Path(std::string const& name) { return Dir() + "/" + name; }

inline std::vector<uint8_t> ReadFile(std::string const& path)
{
    std::vector<uint8_t> out;
    std::string err;
    ReadFileBytes(path, &out, &err);
    return out;
}

inline void WriteFile(std::string const& path, std::vector<uint8_t> const& data)
{
    std::string err;
    ASSERT_TRUE(WriteFileAtomic(path, data, &err)) << err;
}

// Everything a stream yields, read in pieces of varying size; stops at 0 or
// at an error (recorded in *error).
inline std::vector<uint8_t> Drain(PStream& s, bool* error = nullptr)
{
    std::vector<uint8_t> out;
    static const int steps[] = {1, 7, 4096, 513, 100000, 3};
    uint8_t buf[100000];
    for (int i = 0;; i++) {
        int n = s.Read(buf, steps[i % 6]);
        if (n < 0 && error)
            *error = true;
        if (n <= 0)
            break;
        out.insert(out.end(), buf, buf + n);
    }
    return out;
}

struct ManifestEntry {
    std::string name;
    uint32_t hashCs, hashCi;
    int index;
    bool compressed;
};

inline std::vector<ManifestEntry> Manifest()
{
    std::vector<ManifestEntry> out;
    FILE* f = std::fopen(Path("manifest.txt").c_str(), "r");
    if (!f)
        return out;
    char name[512];
    unsigned cs, ci;
    int idx, comp;
    while (std::fscanf(f, "%511[^\t]\t%X\t%X\t%d\t%d\n", name, &cs, &ci, &idx, &comp) == 5)
        out.push_back({name, cs, ci, idx, comp != 0});
    std::fclose(f);
    return out;
}

inline std::vector<uint8_t> Expected(int index) { return ReadFile(Path("expect/" + std::to_string(index) + ".bin")); }

} // namespace fixtures
