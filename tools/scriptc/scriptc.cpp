// scriptc: compiles a mission script from its text form into the compiled
// form the game loads, with the game's own reader and mission vocabulary,
// and prints a compiled script back as text.
//
//   scriptc IN.txt OUT.bin     comments, templates, blocks, then the compiled form
//   scriptc --dump IN.bin      the compiled script as text (compiles back the same)
//
// A script with text errors (overlong tokens, strings without quotes,
// runaway templates) is refused; enumeration words that name no value are
// reported as warnings, since the game reads them as the first name.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "game/world/scriptreader.h"
#include "game/world/splevelmanager.h"
#include "tools/lib/script_writer.h"
#include "tools/lib/toolfile.h"
#include "tools/lib/toolcli.h"

namespace {

int g_warnings = 0;

void Warn(Definition const& block, ConfigLine const& line, int k)
{
    std::fprintf(stderr, "scriptc: warning: %s: \"%s\" value %d \"%s\" names no value; it reads as \"%s\"\n",
                 block.name.IsEmpty() ? "element" : block.name.c_str(), line.definitionRef->command.c_str(), k,
                 line.values[size_t(k)].c_str(), line.definitionRef->ownDefinitionNames.empty()
                                                     ? ""
                                                     : line.definitionRef->ownDefinitionNames[0].c_str());
    g_warnings++;
}

bool NamesValue(ConfigLine const& line, int k)
{
    for (PString const& n : line.definitionRef->ownDefinitionNames) {
        if (std::strcmp(n.c_str(), line.values[size_t(k)].c_str()) == 0)
            return true;
    }
    return false;
}

scriptbin::Block ToCompiled(Definition& d, bool element)
{
    scriptbin::Block b;
    if (!element) {
        b.type = d.type.c_str();
        b.name = d.name.c_str();
    }
    for (auto& line : d.lines) {
        scriptbin::Line l;
        l.index = line->index;
        l.keyword = line->definitionRef->command.c_str();
        for (int k = 0; k < line->ValueCount(); k++) {
            switch (line->GetValueType(k)) {
            case TYPE_INTEGER:
            case TYPE_HEX:
                l.values.push_back(scriptbin::Value::Int(line->GetValue_int(k)));
                break;
            case TYPE_BOOLEAN:
                l.values.push_back(scriptbin::Value::Bool(line->GetValue_boolean(k) != 0));
                break;
            case TYPE_OWNDEF:
                if (!NamesValue(*line, k))
                    Warn(d, *line, k);
                l.values.push_back(scriptbin::Value::Int(line->GetValue_ownDef(k)));
                break;
            default: {
                PString* s = line->GetValue_str(k);
                l.values.push_back(scriptbin::Value::Str(s ? s->c_str() : ""));
                break;
            }
            }
        }
        l.isArray = line->definitionRef->isArray != 0;
        if (l.isArray) {
            for (auto& e : line->definitionRef->arrayDefinitions)
                l.elements.push_back(ToCompiled(*e, true));
        }
        b.lines.push_back(std::move(l));
    }
    return b;
}

int Compile(char const* in, char const* out)
{
    std::vector<uint8_t> bytes;
    std::string err;
    if (!ReadFileBytes(in, &bytes, &err)) {
        std::fprintf(stderr, "scriptc: %s\n", err.c_str());
        return 1;
    }
    ScriptReader reader;
    SPLM::DefineScriptSyntax(&reader);
    reader.SetContent(std::string(bytes.begin(), bytes.end()));
    reader.RemoveComments();
    reader.PreprocessTemplates();
    reader.RemoveTemplateDefinitions();
    reader.ReadDefinitions();
    if (reader.textErrors.count) {
        std::fprintf(stderr, "scriptc: %s: %d error(s) in the script text\n", in, reader.textErrors.count);
        return 1;
    }
    std::vector<scriptbin::Block> blocks;
    for (auto& d : reader.definitions)
        blocks.push_back(ToCompiled(*d, false));
    if (!scriptbin::Write(out, blocks, &err)) {
        std::fprintf(stderr, "scriptc: %s: %s\n", out, err.c_str());
        return 1;
    }
    return 0;
}

void Indent(std::string& s, int depth)
{
    s.append(size_t(depth) * 4, ' ');
}

void DumpBlock(std::string& s, Definition& d, int depth);

void DumpLine(std::string& s, ConfigLine& line, int depth)
{
    LineDefinition* ld = line.definitionRef;
    Indent(s, depth);
    s += ld->command.c_str();
    if (ld->isArray) {
        s += " " + std::to_string(ld->ArrayCount()) + " {\n";
        for (int i = 0; i < ld->ArrayCount(); i++) {
            Indent(s, depth + 1);
            s += std::string(ld->command.c_str()) + "[" + std::to_string(i) + "]";
            DumpBlock(s, *ld->GetArrayDefinition(i), depth + 1);
        }
        Indent(s, depth);
        s += "}\n";
        return;
    }
    for (int k = 0; k < line.ValueCount(); k++) {
        s += ' ';
        int type = line.GetValueType(k);
        if (type == TYPE_STRING) {
            PString* v = line.GetValue_str(k);
            s += '"';
            s += v ? v->c_str() : "";
            s += '"';
        } else if (type == TYPE_HEX) {
            char hex[16];
            std::snprintf(hex, sizeof hex, "0x%X", unsigned(line.GetValue_hex(k)));
            s += hex;
        } else {
            s += line.values[size_t(k)].c_str();
        }
    }
    s += '\n';
}

void DumpBlock(std::string& s, Definition& d, int depth)
{
    s += " {\n";
    for (auto& line : d.lines)
        DumpLine(s, *line, depth + 1);
    Indent(s, depth);
    s += "}\n";
}

int Dump(char const* in)
{
    std::vector<uint8_t> bytes;
    std::string err;
    if (!ReadFileBytes(in, &bytes, &err)) {
        std::fprintf(stderr, "scriptc: %s\n", err.c_str());
        return 1;
    }
    ScriptReader reader;
    SPLM::DefineScriptSyntax(&reader);
    if (!reader.LoadFromBuffer(bytes.data(), bytes.size())) {
        std::fprintf(stderr, "scriptc: %s: not a compiled mission script\n", in);
        return 1;
    }
    std::string s;
    for (auto& d : reader.definitions) {
        s += std::string(d->type.c_str()) + " " + d->name.c_str();
        DumpBlock(s, *d, 0);
    }
    std::fwrite(s.data(), 1, s.size(), stdout);
    return 0;
}

// The usage on out: on standard output for --help (exit 0), else on
// standard error (exit 2).
int Usage(FILE* out = stderr)
{
    std::fprintf(out, "usage: scriptc IN.txt OUT.bin\n       scriptc --dump IN.bin\n");
    return out == stdout ? 0 : 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (ToolHelpAsked(argc, argv))
        return Usage(stdout);
    if (argc == 3 && std::strcmp(argv[1], "--dump") == 0)
        return Dump(argv[2]);
    if (argc == 3 && argv[1][0] != '-')
        return Compile(argv[1], argv[2]);
    return Usage();
}
