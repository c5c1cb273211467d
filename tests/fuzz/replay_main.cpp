// Replays a fuzz target over every file of the seed corpus folders given on the
// command line, so that the corpus runs as an ordinary test without libFuzzer.
#include <cstdint>
#include <cstdio>
#include <dirent.h>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

static bool RunFile(const std::string& path)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    std::vector<uint8_t> buf;
    uint8_t tmp[4096];
    size_t n;
    while ((n = std::fread(tmp, 1, sizeof tmp, f)) > 0)
        buf.insert(buf.end(), tmp, tmp + n);
    std::fclose(f);
    LLVMFuzzerTestOneInput(buf.empty() ? nullptr : buf.data(), buf.size());
    return true;
}

int main(int argc, char** argv)
{
    int files = 0;
    for (int i = 1; i < argc; i++) {
        DIR* d = opendir(argv[i]);
        if (!d) {
            if (RunFile(argv[i]))
                files++;
            continue;
        }
        while (dirent* e = readdir(d)) {
            if (e->d_name[0] == '.')
                continue;
            if (RunFile(std::string(argv[i]) + "/" + e->d_name))
                files++;
        }
        closedir(d);
    }
    std::printf("replayed %d inputs\n", files);
    return files > 0 ? 0 : 1;
}
