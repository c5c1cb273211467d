// Fuzz target: a settings file from untrusted bytes. It is read, its
// favourites are listed and split, and it is written and read back, which
// must give the same options and favourites.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/stat.h>

#include "engine/runtime/palloc.h"
#include "game/frontend/settings.h"
#include "scratch_dir.h"

namespace {

std::string g_dir;
std::string g_usr;

void Cleanup()
{
    std::error_code ec;
    std::filesystem::remove_all(g_dir, ec);
}

// The writable directory of this process, made on the first call.
std::string Dir()
{
    if (g_dir.empty()) {
        g_dir = FuzzScratchDir("settings");
        g_usr = g_dir + "usr";
        ::mkdir(g_usr.c_str(), 0700);
        ::setenv("VORNAPP_SAVEPATH", g_dir.c_str(), 1);
        std::atexit(Cleanup);
    }
    return g_dir;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string path = Dir() + "usr/settings.nil";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return 0;
    if (size)
        std::fwrite(data, 1, size, f);
    std::fclose(f);

    Settings s;
    s.Read();
    char** list = nullptr;
    const int n = s.GetFavList(list);
    for (int i = 0; i < n; i++) {
        char host[Settings::kAddressSize];
        int port = 0;
        s.GetFavAddr(i, host, port);
        s.IsOnFavList(list[i]);
    }
    PFree(list);
    if (s.Write()) {
        Settings r;
        r.Read();
        if (r.favCount != s.favCount || r.language != s.language || r.musicVolume != s.musicVolume ||
            r.sensitivity != s.sensitivity || r.option9 != s.option9 || r.valueB != s.valueB || r.valueD != s.valueD ||
            std::strcmp(r.lastAddress, s.lastAddress) != 0 ||
            (s.favCount && std::memcmp(r.favourites, s.favourites, size_t(s.favCount) * Settings::kRecordSize) != 0))
            std::abort();
    }
    std::remove(path.c_str());
    return 0;
}
