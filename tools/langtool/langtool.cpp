// langtool: writes a language text file langN.bin from text tables, one
// UTF-8 table per language in the file's language order, and prints a file
// back as tables through the game's reader.
//
//   langtool build OUT.bin SOURCE... [--plzp]
//   langtool dump IN.bin
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "game/frontend/texts.h"
#include "tools/lib/lang_writer.h"
#include "tools/lib/toolfile.h"
#include "tools/lib/toolcli.h"

namespace {

// The usage on out: on standard output for --help (exit 0), else on
// standard error (exit 2).
int Usage(FILE* out = stderr)
{
    std::fprintf(out, "usage: langtool build OUT.bin SOURCE... [--plzp]\n"
                      "       langtool dump IN.bin\n");
    return out == stdout ? 0 : 2;
}

int Build(int argc, char** argv)
{
    if (argc < 4)
        return Usage();
    PlzpForm form = PlzpForm::Zlib;
    std::vector<LangLanguage> languages;
    for (int i = 3; i < argc; i++) {
        if (std::strcmp(argv[i], "--plzp") == 0) {
            form = PlzpForm::Header;
            continue;
        }
        std::vector<uint8_t> bytes;
        std::string err;
        if (!ReadFileBytes(argv[i], &bytes, &err)) {
            std::fprintf(stderr, "langtool: %s\n", err.c_str());
            return 1;
        }
        LangLanguage l;
        if (!LangParseTable(std::string(bytes.begin(), bytes.end()), &l, &err)) {
            std::fprintf(stderr, "langtool: %s: %s\n", argv[i], err.c_str());
            return 1;
        }
        languages.push_back(std::move(l));
    }
    if (languages.empty())
        return Usage();
    std::vector<uint8_t> out;
    std::string err;
    if (!LangEncode(languages, form, &out, &err) || !WriteFileAtomic(argv[2], out, &err)) {
        std::fprintf(stderr, "langtool: %s: %s\n", argv[2], err.c_str());
        return 1;
    }
    return 0;
}

int Dump(int argc, char** argv)
{
    if (argc != 3)
        return Usage();
    // The game's files resolve relative names under their own directories.
    std::string path = argv[2];
    if (path.empty() || path[0] != '/') {
        char cwd[PATH_MAX];
        if (!::getcwd(cwd, sizeof cwd))
            return 1;
        path = std::string(cwd) + "/" + path;
    }
    Texts texts;
    if (!texts.Init(path.c_str())) {
        std::fprintf(stderr, "langtool: %s is not a readable language text file\n", argv[2]);
        return 1;
    }
    for (uint32_t i = 0; i < texts.GetLanguageCount(); i++) {
        if (!texts.LoadLanguage(int(i), path.c_str())) {
            std::fprintf(stderr, "langtool: %s: language %u does not load\n", argv[2], i);
            return 1;
        }
        LangLanguage l;
        for (const wchar_t* p = texts.GetLanguageName(int(i)); *p; p++)
            l.name += char16_t(*p);
        for (uint32_t k = 0; k < texts.GetStringCount(); k++) {
            std::u16string s;
            for (const wchar_t* p = texts[int(k)]; *p; p++)
                s += char16_t(*p);
            l.strings.push_back(std::move(s));
        }
        std::fputs((i ? "\n" : ""), stdout);
        std::fputs(LangFormatTable(l).c_str(), stdout);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (ToolHelpAsked(argc, argv))
        return Usage(stdout);
    if (argc >= 2 && std::strcmp(argv[1], "build") == 0)
        return Build(argc, argv);
    if (argc >= 2 && std::strcmp(argv[1], "dump") == 0)
        return Dump(argc, argv);
    return Usage();
}
