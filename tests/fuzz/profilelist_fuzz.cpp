// Fuzz target: the profile list and the profile files it names, from
// untrusted bytes. The first two bytes are the list file; the rest is cut
// into profile files at each 0xFF byte. Whatever they hold, the manager
// keeps at most five profiles with a current one among them, and what it
// saves reads back as the same list.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>

#include "game/frontend/profilemanager.h"
#include "scratch_dir.h"

namespace {

std::string g_dir;

void Cleanup()
{
    for (int i = 0; i < 8; ++i)
        std::remove((g_dir + "/usr/profile_" + std::to_string(i)).c_str());
    std::remove((g_dir + "/usr/profiles.cfg").c_str());
    ::rmdir((g_dir + "/usr").c_str());
    ::rmdir(g_dir.c_str());
}

void WriteFile(const std::string& rel, const uint8_t* data, size_t size)
{
    FILE* f = std::fopen((g_dir + "/" + rel).c_str(), "wb");
    if (!f)
        return;
    if (size)
        std::fwrite(data, 1, size, f);
    std::fclose(f);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (g_dir.empty()) {
        g_dir = FuzzScratchDir("profilelist");
        g_dir.pop_back(); // the trailing '/'
        ::mkdir((g_dir + "/usr").c_str(), 0700);
        ::setenv("VORNAPP_SAVEPATH", (g_dir + "/").c_str(), 1);
        std::atexit(Cleanup);
    }
    Cleanup();
    ::mkdir(g_dir.c_str(), 0700);
    ::mkdir((g_dir + "/usr").c_str(), 0700);
    WriteFile("usr/profiles.cfg", data, size < 2 ? size : 2);
    size_t at = size < 2 ? size : 2;
    for (int i = 0; at < size && i < 8; ++i) {
        size_t end = at;
        while (end < size && data[end] != 0xFF)
            ++end;
        WriteFile("usr/profile_" + std::to_string(i), data + at, end - at);
        at = end + 1;
    }

    int count = 0, current = 0;
    {
        ProfileManager m(nullptr, nullptr, nullptr, nullptr, 480, 320, nullptr);
        m.InitProfiles();
        count = m.Count();
        current = m.CurrentIndex();
        if (count > ProfileManager::kMaxProfiles || (count && current >= count) || m.FirstRun() != (count == 0))
            std::abort();
        if (count && !m.CurrentProfile())
            std::abort();
    } // saved here
    if (count) {
        ProfileManager again(nullptr, nullptr, nullptr, nullptr, 480, 320, nullptr);
        again.InitProfiles();
        if (again.Count() != count || again.CurrentIndex() != current)
            std::abort();
    }
    return 0;
}
