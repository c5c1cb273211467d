// Fuzz target: a language text file from untrusted bytes, read by the
// game's reader: every language is loaded and every text and name walked.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "game/frontend/texts.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path = "/tmp/krv_lang_fuzz_" + std::to_string(::getpid()) + ".bin";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return 0;
    if (size)
        std::fwrite(data, 1, size, f);
    std::fclose(f);

    Texts t;
    t.Init(path.c_str());
    volatile wchar_t sink = 0;
    const int languages = t.GetLanguageCount() < 8 ? int(t.GetLanguageCount()) : 8;
    for (int i = -1; i <= languages; i++) {
        for (const wchar_t* p = t.GetLanguageName(i); *p; p++)
            sink = *p;
        if (!t.LoadLanguage(i, path.c_str()))
            continue;
        for (int k = -1; k <= int(t.GetStringCount()); k++)
            for (const wchar_t* p = t[k]; *p; p++)
                sink = *p;
    }
    (void)sink;
    std::remove(path.c_str());
    return 0;
}
