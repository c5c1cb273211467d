// The block language of the mission scripts.
//
// The vocabulary (block names, keywords, value types, enumeration names,
// arrays) is not fixed by the language: it is declared in code as a schema of
// `Definition`s holding `LineDefinition`s, and a `ScriptReader` holds that
// schema together with the script it has read. A script exists as text
// (read by LoadFromFile and the preparation passes below; only the script
// compiler uses them) and in its compiled little-endian form, the only form
// the game loads (LoadFromFile_Binary; layout in docs/formats/mission-script.md).
//
// Reading declares nothing, so the schema must be in place first; reading a
// text adds the element-count value to the schema of every array keyword, so
// a reader reads one script.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/runtime/pstring.h"

struct ByteCursor;
class Definition;

// Declared type of a value and how its text is read back.
enum TYPE : int32_t {
    TYPE_STRING = 0,  // text between double quotes
    TYPE_INTEGER = 1, // one token
    TYPE_BOOLEAN = 2, // one token, true exactly when it is "TRUE"
    TYPE_OWNDEF = 3,  // one token, one of the keyword's enumeration names
    TYPE_HEX = 4,     // one token
};

// Limits of the model and of the text reader.
struct ScriptLimits {
    static constexpr int kMaxValues = 127;        // values of a line
    static constexpr int kMaxNames = 127;         // enumeration names of a keyword
    static constexpr int kMaxItems = 32767;       // blocks, lines, elements of one list
    static constexpr size_t kLineToken = 127;     // tokens and strings read for lines
    static constexpr size_t kTemplateToken = 63;  // names read by the template passes
    static constexpr int kMaxExpansions = 2048;   // template uses expanded in one script
    static constexpr size_t kMaxText = 1u << 20;  // script text, also after expansion
    static constexpr long kMaxBinary = 16l << 20; // compiled script file
    // Array elements of one script, nested ones included: every element holds
    // a copy of its keywords' schema, so this bounds the memory a small
    // malformed script can claim.
    static constexpr int kMaxElements = 4096;
};

// Problems the text reader met (overlong tokens, strings without quotes,
// runaway templates). The reader goes on with a safe reading; the script
// compiler refuses a script with any.
struct ScriptTextErrors {
    int count = 0;
    int elementsLeft = ScriptLimits::kMaxElements; // also the compiled path's budget
    void Report(char const* format, ...);
};

// The schema of one keyword; after reading, also the holder of an array's
// element blocks.
class LineDefinition {
public:
    LineDefinition();
    explicit LineDefinition(char const* keyword);
    ~LineDefinition();
    LineDefinition(LineDefinition const&) = delete;
    LineDefinition& operator=(LineDefinition const&) = delete;

    void SetCommand(char const* keyword);
    void AddValueDefinition(TYPE type);
    void AddOwnDefinitionName(char const* name);
    void DefineAsArray(int flag) { isArray = int8_t(flag != 0); }
    // Takes ownership.
    void SetArrayDefinitionSample(Definition* sample);

    // Element block i, or null when i is out of range.
    Definition* GetArrayDefinition(int i) const;
    int ArrayCount() const { return int(arrayDefinitions.size()); }
    int ValueCount() const { return int(valueTypes.size()); }
    // Appends an element block (taking ownership); false (and the block
    // deleted) when the list is full.
    bool AddArrayDefinition(Definition* element);

    // Deep copy; elements only when this is an array. Null when memory is
    // exhausted.
    LineDefinition* CopyInstance() const;

    PString command;
    std::vector<int32_t> valueTypes;
    int8_t isArray = 0;
    std::vector<std::unique_ptr<Definition>> arrayDefinitions;
    std::unique_ptr<Definition> arrayDefinitionSample;
    std::vector<PString> ownDefinitionNames;
};

// One line found in a block: its values as text and the keyword's schema.
class ConfigLine {
public:
    ConfigLine(LineDefinition* ref, int index) : definitionRef(ref), index(index) {}

    // Text path: finds the first occurrence of the keyword in the block text
    // and reads its values (and, for an array, its element blocks). False
    // when the keyword is not there.
    bool FindInContent(std::string const& content, ScriptTextErrors* errors);

    // The declared type of value i (TYPE_STRING when out of range).
    int GetValueType(int i) const;
    // The text, or null when i is out of range or the text is empty; one
    // pair of surrounding double quotes is removed from the stored text.
    // The text stays owned by the line.
    PString* GetValue_str(int i);
    // The engine's integer parser with the radix chosen by prefix ("0x"
    // hexadecimal, "0b" binary, a leading "0" octal); 0 when out of range.
    int GetValue_int(int i) const;
    int GetValue_hex(int i) const { return GetValue_int(i); }
    // 1 when the text is exactly "TRUE".
    int GetValue_boolean(int i) const;
    // The position of the first enumeration name equal to the text; 0 when
    // none matches or i is out of range.
    int GetValue_ownDef(int i) const;
    int ValueCount() const { return int(values.size()); }
    // The value's text for rewriting in place; null when out of range.
    PString* Value(int i) { return i >= 0 && i < int(values.size()) ? &values[size_t(i)] : nullptr; }

    // Copies the value texts; refers to the same schema.
    ConfigLine* CopyInstance() const;

    LineDefinition* definitionRef; // not owned
    std::vector<PString> values;
    int32_t index;
};

// One block: its schema (expected lines) and, after reading, its lines.
class Definition {
public:
    Definition() = default;
    ~Definition();
    Definition(Definition const&) = delete;
    Definition& operator=(Definition const&) = delete;

    // A null or empty argument leaves the field unchanged.
    void SetType(char const* text);
    void SetName(char const* text);
    void SetContent(char const* text);
    // Takes ownership; false (and the line deleted) when the list is full.
    bool AddExpectedCommandLine(LineDefinition* line);

    // The first line whose keyword equals word, or null.
    ConfigLine* GetConfigLine(char const* word) const;

    // Text path: the block's bracket group in the script text (typed blocks
    // look for their type followed by their name, others for their name).
    void FindInMainContent(std::string const& text, ScriptTextErrors* errors);
    // Text path: a line for every expected keyword present in the content.
    void ReadExpectedCommandLines(ScriptTextErrors* errors);

    // Compiled path: reads one block record; false on malformed input.
    bool LoadFromBuffer(ByteCursor& cursor, int& elementBudget);

    // Deep copy; null when memory is exhausted.
    Definition* CopyInstance() const;
    // Deep copies of `from`'s expected lines appended to this block.
    bool CopyExpectedLinesOf(Definition const& from);

    PString type;
    PString name;
    std::string content;
    bool hasContent = false;
    std::vector<std::unique_ptr<LineDefinition>> expectedLines;
    std::vector<std::unique_ptr<ConfigLine>> lines;
};

class ScriptReader {
public:
    ScriptReader() = default;
    ~ScriptReader();
    ScriptReader(ScriptReader const&) = delete;
    ScriptReader& operator=(ScriptReader const&) = delete;

    // Takes ownership; false (and the block deleted) when the list is full.
    bool AddDefinition(Definition* definition);

    // Text path: 0 when the whole file became the content, 1 when it is
    // missing, empty or too large (content unchanged).
    int LoadFromFile(char const* path);
    // Text path: takes the given text as the content.
    void SetContent(std::string text) { content = std::move(text); hasContent = true; }
    void RemoveComments();
    void PreprocessTemplates();
    void RemoveTemplateDefinitions();
    void ReadDefinitions();
    // Block i only; ignored when out of range.
    void ReadDefinition(int i);
    void ReleaseContent();

    // Compiled path: 1 when every block was read, 0 when the file is missing,
    // empty or malformed (logged).
    int LoadFromFile_Binary(char const* path);
    // The same from bytes in memory.
    int LoadFromBuffer(void const* data, size_t size);

    // The first top-level block with that name, or null.
    Definition* GetDefinition(char const* name) const;

    std::string content;
    bool hasContent = false;
    std::vector<std::unique_ptr<Definition>> definitions;
    ScriptTextErrors textErrors;
};
