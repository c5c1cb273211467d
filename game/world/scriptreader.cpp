#include "game/world/scriptreader.h"

#include <cstdarg>
#include <cstring>
#include <new>
#include <string_view>
#include <unordered_map>

#include "engine/runtime/pdebug.h"
#include "engine/runtime/pfile.h"
#include "engine/runtime/ptext.h"
#include "game/world/myutility.h"

namespace {

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool Equals(PString const& s, char const* text)
{
    size_t n = std::strlen(text);
    return s.Length() == n && (n == 0 || std::memcmp(s.Data(), text, n) == 0);
}

void SetText(PString& s, std::string const& text)
{
    if (text.empty())
        s.Clear();
    else
        s.Assign(text.data(), unsigned(text.size()));
}

// Where a token lies in the text.
struct Token {
    size_t begin = 0;
    size_t end = 0; // one past its last character
    size_t Length() const { return end - begin; }
};

// Skips whitespace, takes the run of non-whitespace characters and consumes
// the one delimiter after it. False (pos at the end) when only whitespace is
// left.
bool NextToken(std::string const& text, size_t& pos, Token& t)
{
    size_t n = text.size();
    while (pos < n && IsSpace(text[pos]))
        pos++;
    if (pos >= n)
        return false;
    t.begin = pos;
    while (pos < n && !IsSpace(text[pos]))
        pos++;
    t.end = pos;
    if (pos < n)
        pos++;
    return true;
}

bool TokenIs(std::string const& text, Token const& t, char const* word)
{
    size_t n = std::strlen(word);
    return t.Length() == n && text.compare(t.begin, n, word) == 0;
}

bool TokenIs(std::string const& text, Token const& t, PString const& word)
{
    return t.Length() == word.Length() && (word.Length() == 0 || text.compare(t.begin, t.Length(), word.Data(), word.Length()) == 0);
}

// A token read for a line: at most kLineToken characters are kept.
bool ReadLineToken(std::string const& text, size_t& pos, std::string& out, ScriptTextErrors* errors)
{
    Token t;
    if (!NextToken(text, pos, t))
        return false;
    size_t n = t.Length();
    if (n > ScriptLimits::kLineToken) {
        if (errors)
            errors->Report("token of %u characters (at most %u): \"%.40s...\"", unsigned(n),
                           unsigned(ScriptLimits::kLineToken), text.c_str() + t.begin);
        n = ScriptLimits::kLineToken;
    }
    out.assign(text, t.begin, n);
    return true;
}

// A string value: everything up to and including the next double quote is
// skipped and the text up to the following one taken; there is no escape.
void ReadQuoted(std::string const& text, size_t& pos, std::string& out, ScriptTextErrors* errors)
{
    out.clear();
    size_t open = text.find('"', pos);
    if (open == std::string::npos) {
        if (errors)
            errors->Report("string value without an opening quote");
        pos = text.size();
        return;
    }
    size_t close = text.find('"', open + 1);
    size_t end = close == std::string::npos ? text.size() : close;
    if (close == std::string::npos && errors)
        errors->Report("string value without a closing quote");
    size_t n = end - open - 1;
    if (n > ScriptLimits::kLineToken) {
        if (errors)
            errors->Report("string of %u characters (at most %u)", unsigned(n), unsigned(ScriptLimits::kLineToken));
        n = ScriptLimits::kLineToken;
    }
    out.assign(text, open + 1, n);
    pos = close == std::string::npos ? text.size() : close + 1;
}

// Reads a bracket group in normalised form (tokens joined by single
// spaces). False when the position is at the end; the empty text when the
// next token does not open a group. Brackets pair up at any depth.
bool ReadGroup(std::string const& text, size_t& pos, std::string& out)
{
    out.clear();
    Token t;
    if (!NextToken(text, pos, t))
        return false;
    if (text[t.begin] != '{')
        return true;
    out.assign(text, t.begin, t.Length());
    size_t depth = 1;
    while (depth > 0 && NextToken(text, pos, t)) {
        out += ' ';
        out.append(text, t.begin, t.Length());
        if (text[t.begin] == '{')
            depth++;
        else if (text[t.begin] == '}')
            depth--;
    }
    return true;
}

// The tokens of a text, found once, with where each word occurs: a block's
// keywords and an array's elements are then looked up instead of searched
// for through the whole text each, so reading costs what the text holds,
// not its length times its keywords.
class TokenIndex {
public:
    static constexpr uint32_t kNone = UINT32_MAX;

    explicit TokenIndex(std::string const& text) : m_text(text)
    {
        size_t pos = 0;
        Token t;
        while (NextToken(text, pos, t)) {
            m_overlongBefore.push_back(m_overlong);
            if (t.Length() > ScriptLimits::kLineToken)
                m_overlong++;
            m_tokens.push_back(t);
        }
        m_overlongBefore.push_back(m_overlong);
        // Open-addressed table of the distinct words (first and last
        // occurrence), and for each token the next one with its word.
        size_t slots = 16;
        while (slots < 2 * m_tokens.size())
            slots <<= 1;
        m_slots.assign(slots, Slot{});
        m_nextSame.assign(m_tokens.size(), kNone);
        for (size_t i = 0; i < m_tokens.size(); i++) {
            Slot& s = m_slots[SlotOf(Word(i))];
            if (s.first == kNone)
                s.first = uint32_t(i);
            else
                m_nextSame[s.last] = uint32_t(i);
            s.last = uint32_t(i);
        }
    }

    std::string const& Text() const { return m_text; }
    size_t Count() const { return m_tokens.size(); }
    Token const& At(size_t i) const { return m_tokens[i]; }
    // The first token from `from` on that is exactly word; Count() when none.
    size_t Find(std::string_view word, size_t from) const
    {
        uint32_t i = m_slots[SlotOf(word)].first;
        while (i != kNone && i < from)
            i = m_nextSame[i];
        return i == kNone ? Count() : i;
    }
    // Where reading goes on after token i (its delimiter consumed).
    size_t After(size_t i) const
    {
        size_t end = m_tokens[i].end;
        return end < m_text.size() ? end + 1 : end;
    }
    // Tokens [from, to) longer than a line token.
    int OverlongIn(size_t from, size_t to) const { return int(m_overlongBefore[to] - m_overlongBefore[from]); }
    // The first of them, for the report.
    size_t FirstOverlong(size_t from) const
    {
        while (m_tokens[from].Length() <= ScriptLimits::kLineToken)
            from++;
        return from;
    }

private:
    struct Slot {
        uint32_t first = kNone, last = kNone;
    };

    std::string_view Word(size_t i) const
    {
        return std::string_view(m_text.data() + m_tokens[i].begin, m_tokens[i].Length());
    }
    // The word's slot: its own, or the empty one where it would go.
    size_t SlotOf(std::string_view word) const
    {
        uint32_t h = 2166136261u;
        for (char c : word)
            h = (h ^ uint8_t(c)) * 16777619u;
        size_t mask = m_slots.size() - 1;
        for (size_t k = h & mask;; k = (k + 1) & mask) {
            Slot const& s = m_slots[k];
            if (s.first == kNone || Word(s.first) == word)
                return k;
        }
    }

    std::string const& m_text;
    std::vector<Token> m_tokens;
    std::vector<uint32_t> m_overlongBefore; // overlong tokens before token i
    uint32_t m_overlong = 0;
    std::vector<Slot> m_slots;
    std::vector<uint32_t> m_nextSame;
};

// A search for a keyword passed over tokens [from, to): each one longer than
// a line token is a problem, as reading it would be.
void ReportPassedOver(TokenIndex const& index, size_t from, size_t to, ScriptTextErrors* errors)
{
    int n = from < to ? index.OverlongIn(from, to) : 0;
    if (!errors || n == 0)
        return;
    Token const& t = index.At(index.FirstOverlong(from));
    errors->Report("token of %u characters (at most %u): \"%.40s...\"", unsigned(t.Length()),
                   unsigned(ScriptLimits::kLineToken), index.Text().c_str() + t.begin);
    errors->count += n - 1;
}

} // namespace

void ScriptTextErrors::Report(char const* format, ...)
{
    count++;
    va_list args;
    va_start(args, format);
    PString line("script text: ");
    line.AppendFormatV(format, args);
    va_end(args);
    _PDebug("%s\n", line.c_str());
}

// ---------------------------------------------------------------------------
// LineDefinition

LineDefinition::LineDefinition() = default;

LineDefinition::LineDefinition(char const* keyword)
{
    SetCommand(keyword);
}

LineDefinition::~LineDefinition() = default;

void LineDefinition::SetCommand(char const* keyword)
{
    command = keyword ? keyword : "";
}

void LineDefinition::AddValueDefinition(TYPE type)
{
    if (valueTypes.size() < size_t(ScriptLimits::kMaxValues))
        valueTypes.push_back(type);
}

void LineDefinition::AddOwnDefinitionName(char const* name)
{
    if (ownDefinitionNames.size() < size_t(ScriptLimits::kMaxNames))
        ownDefinitionNames.emplace_back(name);
}

void LineDefinition::SetArrayDefinitionSample(Definition* sample)
{
    arrayDefinitionSample.reset(sample);
}

Definition* LineDefinition::GetArrayDefinition(int i) const
{
    if (i < 0 || i >= int(arrayDefinitions.size()))
        return nullptr;
    return arrayDefinitions[size_t(i)].get();
}

bool LineDefinition::AddArrayDefinition(Definition* element)
{
    std::unique_ptr<Definition> owned(element);
    if (!element || arrayDefinitions.size() >= size_t(ScriptLimits::kMaxItems))
        return false;
    arrayDefinitions.push_back(std::move(owned));
    return true;
}

LineDefinition* LineDefinition::CopyInstance() const
{
    std::unique_ptr<LineDefinition> c(new (std::nothrow) LineDefinition);
    if (!c)
        return nullptr;
    c->command = command;
    c->valueTypes = valueTypes;
    c->ownDefinitionNames = ownDefinitionNames;
    c->isArray = isArray;
    if (isArray) {
        for (auto const& e : arrayDefinitions) {
            Definition* d = e->CopyInstance();
            if (!d)
                return nullptr;
            c->arrayDefinitions.emplace_back(d);
        }
    }
    if (arrayDefinitionSample) {
        c->arrayDefinitionSample.reset(arrayDefinitionSample->CopyInstance());
        if (!c->arrayDefinitionSample)
            return nullptr;
    }
    return c.release();
}

// ---------------------------------------------------------------------------
// ConfigLine

namespace {

std::string_view View(PString const& s)
{
    return s.Length() ? std::string_view(s.Data(), s.Length()) : std::string_view();
}

// The first token from `from` on that a line's keyword matches. Tokens are
// read cut to a line token's length, so a keyword of exactly that length
// also matches longer tokens that begin with it, and a longer one matches
// nothing.
size_t FindKeyword(TokenIndex const& index, PString const& keyword, size_t from)
{
    if (keyword.Length() < ScriptLimits::kLineToken)
        return index.Find(View(keyword), from);
    if (keyword.Length() > ScriptLimits::kLineToken)
        return index.Count();
    size_t n = ScriptLimits::kLineToken;
    for (size_t j = from; j < index.Count(); j++) {
        Token const& t = index.At(j);
        if (t.Length() >= n && index.Text().compare(t.begin, n, keyword.Data(), n) == 0)
            return j;
    }
    return index.Count();
}

// Finds the first occurrence of the line's keyword in the indexed text and
// reads its values (and, for an array, its element blocks). False when the
// keyword is not there.
bool FindLine(ConfigLine& line, TokenIndex const& index, ScriptTextErrors* errors)
{
    LineDefinition* d = line.definitionRef;
    // An array, or a keyword without values, carries its count as value 0.
    if (d->isArray || d->valueTypes.empty())
        d->AddValueDefinition(TYPE_INTEGER);
    line.values.assign(d->valueTypes.size(), PString());

    std::string const& text = index.Text();
    size_t from = 0;
    for (;;) {
        size_t j = FindKeyword(index, d->command, from);
        ReportPassedOver(index, from, j < index.Count() ? j + 1 : index.Count(), errors);
        if (j >= index.Count())
            return false;
        size_t pos = index.After(j);
        if (!d->isArray) {
            for (size_t k = 0; k < d->valueTypes.size(); k++) {
                std::string v;
                if (d->valueTypes[k] == TYPE_STRING)
                    ReadQuoted(text, pos, v, errors);
                else
                    ReadLineToken(text, pos, v, errors);
                SetText(line.values[k], v);
            }
            return true;
        }
        std::string countText;
        if (!ReadLineToken(text, pos, countText, errors))
            return false;
        int n = PAtoi(countText.c_str(), static_cast<char**>(nullptr), 0);
        if (n <= 0 || pos >= text.size()) {
            from = j + 2; // look for a later occurrence, behind the count
            continue;
        }
        int left = errors ? errors->elementsLeft : ScriptLimits::kMaxItems;
        if (n > left) {
            if (errors)
                errors->Report("array \"%s\" of %d elements: the script may hold %d in all", d->command.c_str(), n,
                               ScriptLimits::kMaxElements);
            n = left;
        }
        if (errors)
            errors->elementsLeft -= n;
        std::string group;
        ReadGroup(text, pos, group);
        TokenIndex elements(group);
        for (int i = 0; i < n; i++) {
            std::unique_ptr<Definition> e(new (std::nothrow) Definition);
            if (!e)
                return true;
            PString elementName(d->command);
            elementName.Copy();
            elementName.AppendFormat("[%d]", i);
            e->name = elementName;
            if (d->arrayDefinitionSample && !e->CopyExpectedLinesOf(*d->arrayDefinitionSample))
                return true;
            size_t at = elements.Find(View(e->name), 0);
            if (at < elements.Count()) {
                size_t p = elements.After(at);
                e->hasContent = ReadGroup(group, p, e->content);
            }
            e->ReadExpectedCommandLines(errors);
            if (!d->AddArrayDefinition(e.release()))
                return true;
        }
        return true;
    }
}

// The block's bracket group in the indexed text: typed blocks look for
// their type followed by their name, others for their name.
void FindBlock(Definition& d, TokenIndex const& index)
{
    size_t from = 0;
    for (;;) {
        size_t j = index.Find(View(d.type.IsEmpty() ? d.name : d.type), from);
        if (j >= index.Count())
            return;
        if (!d.type.IsEmpty()) {
            if (++j >= index.Count())
                return;
            if (!TokenIs(index.Text(), index.At(j), d.name)) {
                from = j + 1;
                continue;
            }
        }
        size_t pos = index.After(j);
        d.hasContent = ReadGroup(index.Text(), pos, d.content);
        return;
    }
}

} // namespace

bool ConfigLine::FindInContent(std::string const& text, ScriptTextErrors* errors)
{
    return FindLine(*this, TokenIndex(text), errors);
}

int ConfigLine::GetValueType(int i) const
{
    if (i < 0 || i >= int(definitionRef->valueTypes.size()))
        return TYPE_STRING;
    return definitionRef->valueTypes[size_t(i)];
}

PString* ConfigLine::GetValue_str(int i)
{
    if (i < 0 || i >= int(values.size()) || values[size_t(i)].IsEmpty())
        return nullptr;
    PString& v = values[size_t(i)];
    unsigned n = v.Length();
    if (n >= 2 && v.Data()[0] == '"' && v.Data()[n - 1] == '"') {
        if (n == 2) {
            v.Clear();
            return nullptr;
        }
        v = v.Mid(1, n - 2);
        v.Copy();
    }
    return &v;
}

int ConfigLine::GetValue_int(int i) const
{
    if (i < 0 || i >= int(values.size()))
        return 0;
    return PAtoi(values[size_t(i)].c_str(), static_cast<char**>(nullptr), 0);
}

int ConfigLine::GetValue_boolean(int i) const
{
    if (i < 0 || i >= int(values.size()))
        return 0;
    return Equals(values[size_t(i)], "TRUE") ? 1 : 0;
}

int ConfigLine::GetValue_ownDef(int i) const
{
    if (i < 0 || i >= int(values.size()))
        return 0;
    auto const& names = definitionRef->ownDefinitionNames;
    for (size_t k = 0; k < names.size(); k++) {
        if (names[k].Length() == values[size_t(i)].Length() && Equals(names[k], values[size_t(i)].c_str()))
            return int(k);
    }
    return 0;
}

ConfigLine* ConfigLine::CopyInstance() const
{
    ConfigLine* c = new (std::nothrow) ConfigLine(definitionRef, index);
    if (c)
        c->values = values;
    return c;
}

// ---------------------------------------------------------------------------
// Definition

Definition::~Definition() = default;

void Definition::SetType(char const* text)
{
    if (text && *text)
        type = text;
}

void Definition::SetName(char const* text)
{
    if (text && *text)
        name = text;
}

void Definition::SetContent(char const* text)
{
    if (text && *text) {
        content = text;
        hasContent = true;
    }
}

bool Definition::AddExpectedCommandLine(LineDefinition* line)
{
    std::unique_ptr<LineDefinition> owned(line);
    if (!line || expectedLines.size() >= size_t(ScriptLimits::kMaxItems))
        return false;
    expectedLines.push_back(std::move(owned));
    return true;
}

ConfigLine* Definition::GetConfigLine(char const* word) const
{
    if (!word)
        return nullptr;
    for (auto const& l : lines) {
        if (Equals(l->definitionRef->command, word))
            return l.get();
    }
    return nullptr;
}

void Definition::FindInMainContent(std::string const& text, ScriptTextErrors*)
{
    FindBlock(*this, TokenIndex(text));
}

void Definition::ReadExpectedCommandLines(ScriptTextErrors* errors)
{
    if (!hasContent)
        return;
    TokenIndex index(content);
    for (size_t k = 0; k < expectedLines.size(); k++) {
        std::unique_ptr<ConfigLine> line(new (std::nothrow) ConfigLine(expectedLines[k].get(), int(k)));
        if (!line)
            return;
        if (FindLine(*line, index, errors))
            lines.push_back(std::move(line));
    }
}

bool Definition::CopyExpectedLinesOf(Definition const& from)
{
    for (auto const& l : from.expectedLines) {
        LineDefinition* c = l->CopyInstance();
        if (!c || !AddExpectedCommandLine(c))
            return false;
    }
    return true;
}

Definition* Definition::CopyInstance() const
{
    std::unique_ptr<Definition> c(new (std::nothrow) Definition);
    if (!c)
        return nullptr;
    c->type = type;
    c->name = name;
    c->content = content;
    c->hasContent = hasContent;
    if (!c->CopyExpectedLinesOf(*this))
        return nullptr;
    for (auto const& l : lines) {
        ConfigLine* cl = l->CopyInstance();
        if (!cl)
            return nullptr;
        // A copied line refers to the copy's own schema at the same position.
        if (l->index >= 0 && size_t(l->index) < c->expectedLines.size() &&
            expectedLines[size_t(l->index)].get() == l->definitionRef)
            cl->definitionRef = c->expectedLines[size_t(l->index)].get();
        c->lines.emplace_back(cl);
    }
    return c.release();
}

namespace {

// The smallest records: a line (index, keyword, count, array byte) and a
// block (type, name, line count).
constexpr size_t kMinLineRecord = 13;
constexpr size_t kMinBlockRecord = 12;

char const* ShownName(PString const& s)
{
    return s.IsEmpty() ? "(element)" : s.c_str();
}

// A stored string into a PString (empty for no string); false when the
// cursor failed.
bool ReadString(ByteCursor& c, PString& out)
{
    char* text = nullptr;
    int ok = MyUtility::ByteArrayRead_String(c, text);
    out.Clear();
    if (ok && text && *text)
        out = text;
    delete[] text;
    return ok != 0 && !c.failed;
}

size_t Left(ByteCursor const& c)
{
    return c.failed || c.Remaining() < 0 ? 0 : size_t(c.Remaining());
}

} // namespace

bool Definition::LoadFromBuffer(ByteCursor& c, int& elementBudget)
{
    PString storedType, storedName;
    if (!ReadString(c, storedType) || !ReadString(c, storedName)) {
        _PDebug("compiled script: block \"%s\" ends early\n", ShownName(name));
        return false;
    }
    type = storedType;
    name = storedName;
    int32_t lineCount;
    MyUtility::ByteArrayRead_Int(c, lineCount);
    if (c.failed || lineCount < 0 || lineCount > ScriptLimits::kMaxItems ||
        size_t(lineCount) * kMinLineRecord > Left(c)) {
        _PDebug("compiled script: block \"%s\" has a bad line count %d\n", ShownName(name), int(lineCount));
        c.failed = true;
        return false;
    }
    lines.clear();
    for (int32_t l = 0; l < lineCount; l++) {
        int32_t index;
        MyUtility::ByteArrayRead_Int(c, index);
        if (c.failed || index < 0 || size_t(index) >= expectedLines.size()) {
            _PDebug("compiled script: block \"%s\" line %d has keyword index %d of %u\n", ShownName(name), int(l),
                    int(index), unsigned(expectedLines.size()));
            c.failed = true;
            return false;
        }
        LineDefinition* d = expectedLines[size_t(index)].get();
        std::unique_ptr<ConfigLine> line(new (std::nothrow) ConfigLine(d, index));
        if (!line)
            return false;
        PString keyword;
        if (!ReadString(c, keyword))
            return false;
        d->command = keyword;
        int32_t valueCount;
        MyUtility::ByteArrayRead_Int(c, valueCount);
        if (c.failed || valueCount < 0 || valueCount > ScriptLimits::kMaxValues) {
            _PDebug("compiled script: keyword \"%s\" has a bad value count %d\n", d->command.c_str(), int(valueCount));
            c.failed = true;
            return false;
        }
        line->values.resize(size_t(valueCount));
        for (int32_t k = 0; k < valueCount; k++) {
            PString& v = line->values[size_t(k)];
            int32_t n = 0;
            switch (line->GetValueType(k)) {
            case TYPE_INTEGER:
            case TYPE_HEX:
                MyUtility::ByteArrayRead_Int(c, n);
                if (!c.failed)
                    v.Num(n);
                break;
            case TYPE_BOOLEAN:
                if (Left(c) < 1) {
                    c.failed = true;
                    break;
                }
                v = *c.pos++ ? "TRUE" : "FALSE";
                break;
            case TYPE_OWNDEF:
                MyUtility::ByteArrayRead_Int(c, n);
                if (c.failed)
                    break;
                if (n < 0 || size_t(n) >= d->ownDefinitionNames.size()) {
                    _PDebug("compiled script: keyword \"%s\" has enumeration position %d of %u\n", d->command.c_str(),
                            int(n), unsigned(d->ownDefinitionNames.size()));
                    c.failed = true;
                    break;
                }
                v = d->ownDefinitionNames[size_t(n)];
                break;
            default:
                ReadString(c, v);
                break;
            }
            if (c.failed) {
                _PDebug("compiled script: keyword \"%s\" value %d is malformed or ends early\n", d->command.c_str(), int(k));
                return false;
            }
        }
        if (Left(c) < 1) {
            _PDebug("compiled script: keyword \"%s\" ends early\n", d->command.c_str());
            c.failed = true;
            return false;
        }
        d->isArray = int8_t(*c.pos++ != 0);
        if (d->isArray) {
            int32_t count;
            MyUtility::ByteArrayRead_Int(c, count);
            if (!d->arrayDefinitionSample) {
                _PDebug("compiled script: keyword \"%s\" is stored as an array but has no elements\n", d->command.c_str());
                c.failed = true;
                return false;
            }
            if (c.failed || count < 0 || count > ScriptLimits::kMaxItems || count > elementBudget ||
                size_t(count) * kMinBlockRecord > Left(c)) {
                _PDebug("compiled script: array \"%s\" has a bad element count %d\n", d->command.c_str(), int(count));
                c.failed = true;
                return false;
            }
            elementBudget -= count;
            for (int32_t i = 0; i < count; i++) {
                std::unique_ptr<Definition> e(new (std::nothrow) Definition);
                if (!e)
                    return false;
                e->name = d->command;
                e->name.Copy();
                e->name.AppendFormat("[%d]", int(i));
                if (!e->CopyExpectedLinesOf(*d->arrayDefinitionSample) || !e->LoadFromBuffer(c, elementBudget))
                    return false;
                if (!d->AddArrayDefinition(e.release())) {
                    _PDebug("compiled script: array \"%s\" has too many elements\n", d->command.c_str());
                    c.failed = true;
                    return false;
                }
            }
        }
        lines.push_back(std::move(line));
    }
    return true;
}

// ---------------------------------------------------------------------------
// ScriptReader

ScriptReader::~ScriptReader() = default;

bool ScriptReader::AddDefinition(Definition* definition)
{
    std::unique_ptr<Definition> owned(definition);
    if (!definition || definitions.size() >= size_t(ScriptLimits::kMaxItems))
        return false;
    definitions.push_back(std::move(owned));
    return true;
}

namespace {

// The whole file, or an empty vector when it is missing, empty or larger
// than limit.
std::vector<uint8_t> ReadWholeFile(char const* path, long limit)
{
    std::vector<uint8_t> data;
    if (!path)
        return data;
    PFile f(path, PFile::kRead);
    if (!f.IsOpen())
        return data;
    long size = f.Size();
    if (size <= 0)
        return data;
    if (size > limit) {
        _PDebug("%s: %ld bytes, more than the %ld a script may have\n", path, size, limit);
        return data;
    }
    data.resize(size_t(size));
    if (f.ReadFully(data.data(), int(size)) != int(size)) {
        _PDebug("%s: short read\n", path);
        data.clear();
    }
    return data;
}

} // namespace

int ScriptReader::LoadFromFile(char const* path)
{
    std::vector<uint8_t> data = ReadWholeFile(path, long(ScriptLimits::kMaxText));
    if (data.empty())
        return 1;
    content.assign(reinterpret_cast<char const*>(data.data()), data.size());
    hasContent = true;
    return 0;
}

void ScriptReader::RemoveComments()
{
    std::string out;
    out.reserve(content.size());
    size_t n = content.size();
    for (size_t i = 0; i < n;) {
        if (content[i] == '/' && i + 1 < n && content[i + 1] == '/') {
            while (i < n && content[i] != '\r' && content[i] != '\n')
                i++;
            continue;
        }
        out += content[i++];
    }
    content.swap(out);
}

namespace {

// A name read by the template passes, at most kTemplateToken characters.
bool TemplateName(std::string const& text, Token const& t, ScriptTextErrors& errors)
{
    if (t.Length() > ScriptLimits::kTemplateToken) {
        errors.Report("template name of %u characters (at most %u)", unsigned(t.Length()),
                      unsigned(ScriptLimits::kTemplateToken));
        return false;
    }
    (void)text;
    return true;
}

// Template expansion in one pass. A use "template NAME" (not followed by a
// bracket group, which would make it a definition) and the whitespace before
// it become the body of the first definition of NAME, with the uses inside
// that body expanded too. Each body is expanded once, the first time it is
// used, and every use copies that text, so the cost grows with the text and
// what it expands to, never with the number of uses times the text.
class TemplateExpander {
public:
    TemplateExpander(std::string const& text, ScriptTextErrors& errors) : m_text(text), m_errors(errors)
    {
        size_t pos = 0;
        Token t;
        while (NextToken(text, pos, t)) {
            if (!TokenIs(text, t, "template"))
                continue;
            size_t p = pos;
            Token name, next;
            if (!NextToken(text, p, name))
                break;
            size_t bodyAt = p;
            if (NextToken(text, p, next) && text[next.begin] == '{')
                m_definitions.try_emplace(std::string(text, name.begin, name.Length()), bodyAt);
        }
    }

    // The text with its uses expanded into out; false when an error stopped
    // the expansion (out then ends with the rest of the text as it was).
    bool Expand(std::string const& text, std::string& out, int depth = 0)
    {
        out.clear();
        size_t pos = 0, keep = 0; // keep: where a use's replacement begins
        Token t;
        for (;;) {
            size_t from = pos;
            if (!NextToken(text, pos, t)) {
                out.append(text, from, std::string::npos);
                return true;
            }
            out.append(text, from, pos - from);
            if (!TokenIs(text, t, "template")) {
                keep = out.size();
                continue;
            }
            Token name;
            from = pos;
            if (!NextToken(text, pos, name)) {
                out.append(text, from, std::string::npos);
                return true;
            }
            out.append(text, from, pos - from);
            size_t peek = pos;
            Token next;
            if (NextToken(text, peek, next) && text[next.begin] == '{') {
                keep = out.size(); // a definition: its body is expanded in place
                continue;
            }
            std::string const* body = nullptr;
            if (!TemplateName(text, name, m_errors) || !(body = Body(std::string(text, name.begin, name.Length()), depth))) {
                out.append(text, pos, std::string::npos);
                return false;
            }
            if (keep + body->size() + (text.size() - name.end) > ScriptLimits::kMaxText) {
                m_errors.Report("script grows beyond %u bytes by its templates", unsigned(ScriptLimits::kMaxText));
                out.append(text, pos, std::string::npos);
                return false;
            }
            out.resize(keep);
            out += *body;
            // The whitespace behind the name follows the body; a later use
            // replaces from behind its first character.
            pos = name.end;
            if (!body->empty() && pos < text.size())
                keep = out.size() + 1;
        }
    }

private:
    struct Definition {
        explicit Definition(size_t at) : bodyAt(at) {}
        size_t bodyAt;
        int state = 0; // 0 not expanded yet, 1 being expanded, 2 expanded
        std::string expanded;
    };
    static constexpr int kMaxDepth = 256; // templates used inside templates

    // The expanded body of the name, counted as one use; the empty text for a
    // name without a definition; null on an error (reported).
    std::string const* Body(std::string const& name, int depth)
    {
        if (++m_expansions > ScriptLimits::kMaxExpansions) {
            m_errors.Report("more than %d template uses expanded (a template that uses itself?)",
                            ScriptLimits::kMaxExpansions);
            return nullptr;
        }
        auto it = m_definitions.find(name);
        if (it == m_definitions.end()) {
            m_errors.Report("template \"%s\" is used but not defined", name.c_str());
            return &m_none;
        }
        Definition& d = it->second;
        if (d.state == 2)
            return &d.expanded;
        if (d.state == 1 || depth >= kMaxDepth) {
            m_errors.Report(d.state == 1 ? "template \"%s\" uses itself" : "template \"%s\" nested too deep",
                            name.c_str());
            return nullptr;
        }
        d.state = 1;
        std::string raw;
        size_t at = d.bodyAt;
        ReadGroup(m_text, at, raw);
        std::string expanded;
        if (!Expand(raw, expanded, depth + 1))
            return nullptr;
        d.expanded.swap(expanded);
        d.state = 2;
        return &d.expanded;
    }

    std::string const& m_text;
    ScriptTextErrors& m_errors;
    std::unordered_map<std::string, Definition> m_definitions; // the first of each name
    std::string m_none;
    int m_expansions = 0;
};

} // namespace

void ScriptReader::PreprocessTemplates()
{
    std::string out;
    TemplateExpander(content, textErrors).Expand(content, out);
    content.swap(out);
}

void ScriptReader::RemoveTemplateDefinitions()
{
    // Every definition goes, with the whitespace before it.
    std::string out;
    out.reserve(content.size());
    size_t pos = 0, keep = 0;
    Token t;
    for (;;) {
        size_t from = pos;
        if (!NextToken(content, pos, t)) {
            out.append(content, from, std::string::npos);
            break;
        }
        out.append(content, from, pos - from);
        if (!TokenIs(content, t, "template")) {
            keep = out.size();
            continue;
        }
        size_t p = pos;
        Token name, next;
        if (!NextToken(content, p, name)) {
            out.append(content, pos, std::string::npos);
            break;
        }
        size_t end = p;
        if (!NextToken(content, p, next) || content[next.begin] != '{') {
            keep = out.size();
            continue;
        }
        std::string body;
        ReadGroup(content, end, body);
        out.resize(keep);
        pos = end;
    }
    content.swap(out);
}

void ScriptReader::ReadDefinitions()
{
    TokenIndex index(content);
    for (auto& d : definitions) {
        FindBlock(*d, index);
        d->ReadExpectedCommandLines(&textErrors);
    }
}

void ScriptReader::ReadDefinition(int i)
{
    if (i < 0 || i >= int(definitions.size()))
        return;
    Definition* d = definitions[size_t(i)].get();
    d->FindInMainContent(content, &textErrors);
    d->ReadExpectedCommandLines(&textErrors);
}

void ScriptReader::ReleaseContent()
{
    std::string().swap(content);
    hasContent = false;
}

int ScriptReader::LoadFromFile_Binary(char const* path)
{
    std::vector<uint8_t> data = ReadWholeFile(path, ScriptLimits::kMaxBinary);
    if (data.empty())
        return 0;
    int r = LoadFromBuffer(data.data(), data.size());
    if (!r)
        _PDebug("%s: not a usable compiled script\n", path);
    return r;
}

int ScriptReader::LoadFromBuffer(void const* data, size_t size)
{
    if (!data || size == 0)
        return 0;
    ByteCursor c(data, long(size));
    int budget = textErrors.elementsLeft;
    for (auto& d : definitions) {
        if (!d->LoadFromBuffer(c, budget))
            return 0;
    }
    return 1;
}

Definition* ScriptReader::GetDefinition(char const* name) const
{
    if (!name)
        return nullptr;
    for (auto const& d : definitions) {
        if (Equals(d->name, name))
            return d.get();
    }
    return nullptr;
}
