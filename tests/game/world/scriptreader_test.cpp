// The block language: the text reader and the compiled form, on a small
// schema of their own.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "game/world/scriptreader.h"
#include "game/world/splevelmanager.h"
#include "tools/lib/script_writer.h"

namespace {

// define blk { name "..." count N flag TRUE kind B list N { list[i] { v N } } }
// and a second block "other" with one integer.
void DeclareSchema(ScriptReader& r)
{
    auto* blk = new Definition;
    blk->SetType("define");
    blk->SetName("blk");
    auto* name = new LineDefinition("name");
    name->AddValueDefinition(TYPE_STRING);
    auto* count = new LineDefinition("count");
    count->AddValueDefinition(TYPE_INTEGER);
    auto* flag = new LineDefinition("flag");
    flag->AddValueDefinition(TYPE_BOOLEAN);
    auto* kind = new LineDefinition("kind");
    kind->AddValueDefinition(TYPE_OWNDEF);
    for (char const* n : {"A", "B", "C"})
        kind->AddOwnDefinitionName(n);
    auto* list = new LineDefinition("list");
    list->DefineAsArray(1);
    auto* sample = new Definition;
    auto* v = new LineDefinition("v");
    v->AddValueDefinition(TYPE_INTEGER);
    sample->AddExpectedCommandLine(v);
    list->SetArrayDefinitionSample(sample);
    for (auto* l : {name, count, flag, kind, list})
        blk->AddExpectedCommandLine(l);
    r.AddDefinition(blk);

    auto* other = new Definition;
    other->SetType("define");
    other->SetName("other");
    auto* n = new LineDefinition("n");
    n->AddValueDefinition(TYPE_INTEGER);
    other->AddExpectedCommandLine(n);
    r.AddDefinition(other);
}

struct TextScript {
    ScriptReader r;
    explicit TextScript(std::string const& text)
    {
        DeclareSchema(r);
        r.SetContent(text);
        r.RemoveComments();
        r.PreprocessTemplates();
        r.RemoveTemplateDefinitions();
        r.ReadDefinitions();
    }
    ConfigLine* Line(char const* kw, char const* block = "blk") { return r.GetDefinition(block)->GetConfigLine(kw); }
    Definition* Element(int i) { return Line("list")->definitionRef->GetArrayDefinition(i); }
    int ElementValue(int i)
    {
        ConfigLine* l = Element(i) ? Element(i)->GetConfigLine("v") : nullptr;
        return l ? l->GetValue_int(0) : -999;
    }
};

TEST(ScriptText, IntegerTextsReadByPrefixLikeStrtol)
{
    struct Case {
        char const* text;
        int expected;
        bool strtolAgrees; // glibc strtol(.., 0) reads no "0b"
    } const cases[] = {
        {"010", 8, true},   {"0x1F", 31, true}, {"0X1f", 31, true}, {"-12", -12, true}, {"12abc", 12, true},
        {"0", 0, true},     {"09", 0, true},    {"0b101", 5, false}, {"+7", 7, true},   {"0xFFFFFFFF", -1, false},
    };
    for (auto const& c : cases) {
        TextScript s(std::string("define blk { count ") + c.text + " }");
        ASSERT_NE(s.Line("count"), nullptr) << c.text;
        EXPECT_EQ(s.Line("count")->GetValue_int(0), c.expected) << c.text;
        EXPECT_EQ(s.Line("count")->GetValue_hex(0), c.expected) << c.text;
        if (c.strtolAgrees) {
            EXPECT_EQ(int(std::strtol(c.text, nullptr, 0)), c.expected) << c.text;
        }
    }
}

TEST(ScriptText, BooleansEnumerationsAndStrings)
{
    // Only TRUE is true; names match exactly, anything else is the first.
    struct Case {
        char const* line;
        int expected;
    } const cases[] = {{"flag TRUE", 1}, {"flag true", 0}, {"flag 1", 0}, {"flag TRUEX", 0},
                       {"kind C", 2},    {"kind B", 1},    {"kind c", 0}, {"kind D", 0}};
    for (auto const& c : cases) {
        TextScript s(std::string("define blk { ") + c.line + " }");
        ConfigLine* l = s.Line(c.line[0] == 'f' ? "flag" : "kind");
        EXPECT_EQ(c.line[0] == 'f' ? l->GetValue_boolean(0) : l->GetValue_ownDef(0), c.expected) << c.line;
    }

    // A block's text is read as single-spaced tokens, strings included.
    TextScript s("define blk { name junk here \"a b\t\tc\" count 3 }");
    ASSERT_NE(s.Line("name")->GetValue_str(0), nullptr);
    EXPECT_STREQ(s.Line("name")->GetValue_str(0)->c_str(), "a b c");
    EXPECT_EQ(s.Line("count")->GetValue_int(0), 3);
    // Out of range positions give the neutral values.
    EXPECT_EQ(s.Line("name")->GetValue_str(1), nullptr);
    EXPECT_EQ(s.Line("count")->GetValue_int(-1), 0);
    EXPECT_EQ(s.Line("count")->GetValueType(5), TYPE_STRING);
    EXPECT_EQ(s.Line("flag"), nullptr);
    EXPECT_EQ(s.r.textErrors.count, 0);
}

TEST(ScriptText, BlocksLinesAndArrays)
{
    // The first occurrence wins, also inside a nested group; elements are
    // found by name in any order; a missing element exists without lines.
    TextScript s("define other { n 4 }\n"
                 "define blk {\n list 3 { list[2] { v 22 } list[0] { v 10 count 99 } }\n count 5\n}\n");
    EXPECT_EQ(s.Line("count")->GetValue_int(0), 99);
    EXPECT_EQ(s.Line("n", "other")->GetValue_int(0), 4);
    ASSERT_EQ(s.Line("list")->definitionRef->ArrayCount(), 3);
    EXPECT_EQ(s.ElementValue(0), 10);
    EXPECT_EQ(s.ElementValue(1), -999);
    EXPECT_EQ(s.ElementValue(2), 22);
    EXPECT_STREQ(s.Element(1)->name.c_str(), "list[1]");
    EXPECT_EQ(s.Element(3), nullptr);

    // A count of 0 is passed over for a later occurrence; a positive count
    // without a group gives elements without lines.
    TextScript later("define blk { list 0 { list[0] { v 1 } } list 2 { list[1] { v 7 } } }");
    ASSERT_EQ(later.Line("list")->definitionRef->ArrayCount(), 2);
    EXPECT_EQ(later.ElementValue(1), 7);
    TextScript bare("define blk { list 2 count 1 }");
    ASSERT_EQ(bare.Line("list")->definitionRef->ArrayCount(), 2);
    EXPECT_EQ(bare.ElementValue(0), -999);

    // A typed block needs its type right before its name.
    TextScript untyped("blk { count 1 } define other { n 2 }");
    EXPECT_EQ(untyped.r.GetDefinition("blk")->lines.size(), 0u);
    EXPECT_EQ(untyped.Line("n", "other")->GetValue_int(0), 2);
}

TEST(ScriptText, CommentsAndTemplates)
{
    TextScript s("// head\ntemplate ten { v 10 }\ntemplate two { list 2 { list[0] template ten list[1] { v 2 } } }\n"
                 "define blk { // comment\n template two count 3 // note\n name \"x//y\" }");
    ASSERT_NE(s.Line("list"), nullptr);
    EXPECT_EQ(s.ElementValue(0), 10);
    EXPECT_EQ(s.ElementValue(1), 2);
    EXPECT_EQ(s.Line("count")->GetValue_int(0), 3);
    // Comments know nothing of strings: the string loses its end.
    EXPECT_STREQ(s.Line("name")->GetValue_str(0)->c_str(), "x");
    EXPECT_EQ(s.r.content.find("template"), std::string::npos);

    // A use without a definition disappears.
    TextScript undefined("define blk { template nowhere count 4 }");
    EXPECT_EQ(undefined.Line("count")->GetValue_int(0), 4);
    EXPECT_EQ(undefined.r.textErrors.count, 1);
}

// Template expansion: uses before and after their definitions, inside other
// templates and inside definitions come out as the groups spelled out; the
// first written definition counts; runaway ones end with an error.
TEST(ScriptText, TemplatesExpandToTheirGroups)
{
    // Eleven templates, each using the one before twice: 2,048 copies of
    // "x" from 21 uses.
    std::string doubling = "template t0 { x }\n";
    for (int i = 1; i <= 11; ++i)
        doubling += "template t" + std::to_string(i) + " { template t" + std::to_string(i - 1) + " template t" +
                    std::to_string(i - 1) + " }\n";
    doubling += "define blk { template t11 }";
    std::string spelled = "{ x }";
    for (int i = 1; i <= 11; ++i)
        spelled = "{ " + spelled + " " + spelled + " }";

    struct Case {
        char const* what;
        std::string text, content;
        int errors;
    } cases[] = {
        {"use before and after the definition", "a template g b template g { v 1 } c template g", "a { v 1 } b c { v 1 }", 0},
        {"a template inside a template", "template in { n } template out { m template in } x template out",
         "x { m { n } }", 0},
        {"the first definition counts", "template g { one } template g { two } template g", "{ one }", 0},
        {"an undefined use disappears", "a template none b", "a b", 1},
        {"a template that uses itself", "template loop { count 1 template loop } x template loop", "", 1},
        {"two templates that use each other", "template a { template b } template b { template a } template a", "",
         1},
        {"doubling", doubling, "define blk { " + spelled + " }", 0},
    };
    for (Case const& c : cases) {
        ScriptReader r;
        r.SetContent(c.text);
        r.PreprocessTemplates();
        r.RemoveTemplateDefinitions();
        EXPECT_EQ(r.textErrors.count, c.errors) << c.what;
        if (c.errors == 0) {
            EXPECT_EQ(r.content, c.content) << c.what;
        }
        EXPECT_LE(r.content.size(), ScriptLimits::kMaxText) << c.what;
    }
}

TEST(ScriptText, RunawayInputEndsWithAnError)
{
    // A template that uses itself stops at the expansion limit.
    TextScript self("template loop { count 1 template loop }\ndefine blk { template loop }");
    EXPECT_GT(self.r.textErrors.count, 0);
    EXPECT_LE(self.r.content.size(), ScriptLimits::kMaxText);

    // Tokens and strings are held to 127 characters.
    std::string longWord(200, 'x');
    TextScript token("define blk { count " + longWord + " }");
    EXPECT_GT(token.r.textErrors.count, 0);
    TextScript str("define blk { name \"" + longWord + "\" }");
    EXPECT_GT(str.r.textErrors.count, 0);
    EXPECT_EQ(str.Line("name")->GetValue_str(0)->Length(), 127u);
    TextScript open("define blk { name }");
    EXPECT_GT(open.r.textErrors.count, 0);

    // Arrays hold the script's element budget at most.
    TextScript many("define blk { list 70000 { } }");
    EXPECT_GT(many.r.textErrors.count, 0);
    EXPECT_EQ(many.Line("list")->definitionRef->ArrayCount(), ScriptLimits::kMaxElements);
}

// What a read text left in the reader (every block, line, value and
// element, the error count and the element budget) as one number.
uint64_t ReadDigest(ScriptReader const& r)
{
    uint64_t h = 1469598103934665603ull;
    auto mix = [&](char const* p, size_t n) {
        for (size_t i = 0; i < n; i++) {
            h ^= uint8_t(p[i]);
            h *= 1099511628211ull;
        }
        h ^= 0xFF; // ends the field
        h *= 1099511628211ull;
    };
    auto num = [&](long long v) {
        std::string t = std::to_string(v);
        mix(t.data(), t.size());
    };
    auto block = [&](auto& self, Definition const& d) -> void {
        mix(d.name.Data() ? d.name.Data() : "", d.name.Length());
        num(d.hasContent);
        mix(d.content.data(), d.content.size());
        num((long long)d.lines.size());
        for (auto const& l : d.lines) {
            num(l->index);
            LineDefinition const* ld = l->definitionRef;
            mix(ld->command.Data() ? ld->command.Data() : "", ld->command.Length());
            for (PString const& v : l->values)
                mix(v.Data() ? v.Data() : "", v.Length());
            num(ld->ArrayCount());
            for (int i = 0; i < ld->ArrayCount(); i++)
                self(self, *ld->GetArrayDefinition(i));
        }
    };
    for (auto const& d : r.definitions)
        block(block, *d);
    num(r.textErrors.count);
    num(r.textErrors.elementsLeft);
    return h;
}

uint64_t ReadWithMissionVocabulary(std::string const& text)
{
    ScriptReader r;
    SPLM::DefineScriptSyntax(&r);
    r.SetContent(text);
    r.RemoveComments();
    r.PreprocessTemplates();
    r.RemoveTemplateDefinitions();
    r.ReadDefinitions();
    return ReadDigest(r);
}

// Large texts whose keywords and elements lie far from where a search starts:
// elements listed last to first, keywords repeated with bad counts, tokens
// over the length limit between them.
std::string FarElements(int n)
{
    std::string s = "define GPOs { gpo " + std::to_string(n) + " {";
    for (int i = n - 1; i >= 0; i--)
        s += " gpo[" + std::to_string(i) + "] { type MODEL model \"m" + std::to_string(i) + "\" x " +
             std::to_string(i * 7) + " " + std::string(i % 50 == 0 ? 130 : 3, 'w') + " }";
    return s + " } }\n";
}

std::string RepeatedKeywords(int n)
{
    std::string s = "define header {";
    for (int i = 0; i < n; i++)
        s += " maps 0 maps -3 " + std::string(i % 7 == 0 ? 140 : 2, 'q') + " title " + std::to_string(i) + " planes x";
    s += " maps 1 { maps[0] { path \"p\" } } }\ndefine mainPlayer { energy 5 }\n";
    return s;
}

TEST(ScriptText, KnownTextsReadAsBefore)
{
    struct Case {
        std::string name;
        std::string text;
        uint64_t digest;
    };
    auto file = [](char const* name) {
        std::string path = std::string(KRV_SOURCE_DIR "/tests/fuzz/corpus/missiontext/") + name;
        std::string text;
        if (FILE* f = std::fopen(path.c_str(), "rb")) {
            for (int c; (c = std::fgetc(f)) != EOF;)
                text += char(c);
            std::fclose(f);
        }
        EXPECT_FALSE(text.empty()) << path;
        return text;
    };
    Case const cases[] = {
        {"arcade.txt", file("arcade.txt"), 17671327180778475691ull},
        {"doubling_templates.txt", file("doubling_templates.txt"), 7360584396634008459ull},
        {"edges.txt", file("edges.txt"), 3634250048370717605ull},
        {"selfuse.txt", file("selfuse.txt"), 16787994893823325336ull},
        {"far elements", FarElements(1200), 13655115909997422952ull},
        {"repeated keywords", RepeatedKeywords(3000), 2958165121073136765ull},
        {"both", RepeatedKeywords(500) + FarElements(300) + file("arcade.txt"), 17545458932440571297ull},
    };
    for (Case const& c : cases)
        EXPECT_EQ(c.digest, ReadWithMissionVocabulary(c.text)) << c.name;
}

// ---------------------------------------------------------------------------
// Compiled form

std::vector<scriptbin::Block> SampleModel()
{
    using scriptbin::Value;
    scriptbin::Block element;
    element.lines.push_back({0, "v", {Value::Int(7)}, false, {}});
    scriptbin::Block blk{"define", "blk", {}};
    blk.lines.push_back({1, "count", {Value::Int(-2)}, false, {}});
    blk.lines.push_back({2, "flag", {Value::Bool(true)}, false, {}});
    blk.lines.push_back({4, "list", {Value::Int(0)}, true, {element}});
    scriptbin::Block other{"define", "other", {}};
    return {blk, other};
}

TEST(ScriptCompiled, GoldenBytes)
{
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(scriptbin::Encode(SampleModel(), bytes, nullptr));
    std::vector<uint8_t> const expected = {
        6, 0, 0, 0, 'd', 'e', 'f', 'i', 'n', 'e', 3, 0, 0, 0, 'b', 'l', 'k', 3, 0, 0, 0, // block
        1, 0, 0, 0, 5, 0, 0, 0, 'c', 'o', 'u', 'n', 't', 1, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF, 0, // count -2
        2, 0, 0, 0, 4, 0, 0, 0, 'f', 'l', 'a', 'g', 1, 0, 0, 0, 1, 0,                           // bool byte
        4, 0, 0, 0, 4, 0, 0, 0, 'l', 'i', 's', 't', 1, 0, 0, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0,     // placeholder
        0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0,                                                     // element
        0, 0, 0, 0, 1, 0, 0, 0, 'v', 1, 0, 0, 0, 7, 0, 0, 0, 0,                                 //
        6, 0, 0, 0, 'd', 'e', 'f', 'i', 'n', 'e', 5, 0, 0, 0, 'o', 't', 'h', 'e', 'r', 0, 0, 0, 0,
    };
    EXPECT_EQ(bytes, expected);

    ScriptReader r;
    DeclareSchema(r);
    ASSERT_EQ(r.LoadFromBuffer(bytes.data(), bytes.size()), 1);
    Definition* blk = r.GetDefinition("blk");
    EXPECT_EQ(blk->GetConfigLine("count")->GetValue_int(0), -2);
    EXPECT_EQ(blk->GetConfigLine("flag")->GetValue_boolean(0), 1);
    ConfigLine* list = blk->GetConfigLine("list");
    // The placeholder reads back as an empty string under a fresh schema.
    EXPECT_EQ(list->GetValue_str(0), nullptr);
    ASSERT_EQ(list->definitionRef->ArrayCount(), 1);
    EXPECT_EQ(list->definitionRef->GetArrayDefinition(0)->GetConfigLine("v")->GetValue_int(0), 7);
    EXPECT_TRUE(list->definitionRef->GetArrayDefinition(0)->name.IsEmpty());
}

TEST(ScriptCompiled, SurplusValuesEmptyAndCutStrings)
{
    using scriptbin::Value;
    scriptbin::Block blk{"define", "blk", {}};
    blk.lines.push_back({0, "name", {Value::Str(""), Value::Str(std::string("ab\0cd", 5)), Value::Int(0)}, false, {}});
    blk.lines.push_back({3, "kind", {Value::Int(2)}, false, {}});
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(scriptbin::Encode({blk, {"define", "other", {}}}, bytes, nullptr));
    ScriptReader r;
    DeclareSchema(r);
    ASSERT_EQ(r.LoadFromBuffer(bytes.data(), bytes.size()), 1);
    ConfigLine* name = r.GetDefinition("blk")->GetConfigLine("name");
    EXPECT_EQ(name->GetValue_str(0), nullptr);
    EXPECT_STREQ(name->GetValue_str(1)->c_str(), "ab");
    EXPECT_EQ(name->GetValueType(2), TYPE_STRING);
    EXPECT_EQ(name->GetValue_str(2), nullptr); // an empty stored string: the four zero bytes
    EXPECT_STREQ(r.GetDefinition("blk")->GetConfigLine("kind")->values[0].c_str(), "C");
}

TEST(ScriptCompiled, MalformedFilesFailTheLoad)
{
    std::vector<uint8_t> good;
    ASSERT_TRUE(scriptbin::Encode(SampleModel(), good, nullptr));
    // Every early end fails.
    for (size_t n = 1; n < good.size(); n++) {
        ScriptReader r;
        DeclareSchema(r);
        EXPECT_EQ(r.LoadFromBuffer(good.data(), n), 0) << n;
    }

    using scriptbin::Value;
    auto load = [](scriptbin::Line const& line) {
        scriptbin::Block blk{"define", "blk", {line}};
        std::vector<uint8_t> bytes;
        scriptbin::Encode({blk, {"define", "other", {}}}, bytes, nullptr);
        ScriptReader r;
        DeclareSchema(r);
        return r.LoadFromBuffer(bytes.data(), bytes.size());
    };
    struct Case {
        char const* what;
        scriptbin::Line line;
    } const cases[] = {
        {"index beyond the keywords", {5, "x", {}, false, {}}},
        {"negative index", {-1, "x", {}, false, {}}},
        {"enumeration position beyond the names", {3, "kind", {Value::Int(3)}, false, {}}},
        {"negative enumeration position", {3, "kind", {Value::Int(-1)}, false, {}}},
        {"array flag without an element schema", {1, "count", {Value::Int(1)}, true, {}}},
    };
    for (auto const& c : cases)
        EXPECT_EQ(load(c.line), 0) << c.what;
    EXPECT_EQ(load({3, "kind", {Value::Int(1)}, false, {}}), 1);

    // A stored string longer than 255 bytes.
    std::vector<uint8_t> bytes = {6, 0, 0, 0, 'd', 'e', 'f', 'i', 'n', 'e', 0, 1, 0, 0};
    bytes.resize(bytes.size() + 256, 'a');
    bytes.insert(bytes.end(), {0, 0, 0, 0});
    ScriptReader r;
    DeclareSchema(r);
    EXPECT_EQ(r.LoadFromBuffer(bytes.data(), bytes.size()), 0);
    // A huge element count does not allocate before the data is there.
    std::vector<uint8_t> huge;
    scriptbin::Block blk{"define", "blk", {{4, "list", {Value::Int(0)}, true, {}}}};
    scriptbin::Encode({blk}, huge, nullptr);
    huge[huge.size() - 1] = 0x7F; // element count 0x7F000000
    ScriptReader h;
    DeclareSchema(h);
    EXPECT_EQ(h.LoadFromBuffer(huge.data(), huge.size()), 0);
    std::string err;
    EXPECT_FALSE(scriptbin::Encode({{"define", std::string(256, 'n'), {}}}, huge, &err));
}

TEST(ScriptCompiled, CopiesAreIndependent)
{
    TextScript s("define blk { count 3 list 1 { list[0] { v 5 } } }");
    Definition* copy = s.r.GetDefinition("blk")->CopyInstance();
    ASSERT_NE(copy, nullptr);
    s.r.definitions.clear(); // the copy must not refer to the original's schema
    EXPECT_EQ(copy->GetConfigLine("count")->GetValue_int(0), 3);
    EXPECT_EQ(copy->GetConfigLine("list")->definitionRef->GetArrayDefinition(0)->GetConfigLine("v")->GetValue_int(0), 5);
    delete copy;
}

} // namespace
