#include "tools/lib/lang_writer.h"

#include <algorithm>
#include <cstdlib>
#include <map>

#include "engine/runtime/ptext.h"
#include "tools/lib/toolfile.h"

namespace {

constexpr uint32_t kHeaderSize = 20;
constexpr uint32_t kEntrySize = 16;
// The most strings a table may ask for.
constexpr unsigned long kMaxStrings = 1u << 20;

void PutUnits(std::vector<uint8_t>& v, const std::u16string& s)
{
    for (char16_t c : s)
        PutLE16(v, c);
    PutLE16(v, 0);
}

bool Fail(std::string* err, const std::string& what)
{
    if (err)
        *err = what;
    return false;
}

} // namespace

bool LangEncode(const std::vector<LangLanguage>& languages, PlzpForm form, std::vector<uint8_t>* out,
                std::string* err)
{
    out->clear();
    size_t count = 0;
    for (const LangLanguage& l : languages)
        count = std::max(count, l.strings.size());

    std::vector<uint8_t> names;
    std::vector<uint32_t> nameIndex;
    std::vector<std::vector<uint8_t>> blocks;
    std::vector<uint32_t> inflated;
    for (const LangLanguage& l : languages) {
        if (l.name.find(char16_t(0)) != std::u16string::npos)
            return Fail(err, "a language name holds a NUL");
        nameIndex.push_back(uint32_t(names.size() / 2));
        PutUnits(names, l.name);
        std::vector<uint8_t> text;
        for (size_t k = 0; k < count; k++) {
            const std::u16string empty;
            const std::u16string& s = k < l.strings.size() ? l.strings[k] : empty;
            if (s.find(char16_t(0)) != std::u16string::npos)
                return Fail(err, "text " + std::to_string(k) + " holds a NUL");
            PutUnits(text, s);
        }
        std::vector<uint8_t> packed;
        if (text.size() > 0x7FFFFFFFu || !PlzpCompress(text.data(), text.size(), 9, form, &packed))
            return Fail(err, "cannot compress the texts of a language");
        inflated.push_back(uint32_t(text.size()));
        blocks.push_back(std::move(packed));
    }

    uint64_t offset = kHeaderSize + names.size() + uint64_t(kEntrySize) * languages.size();
    PutLE32(*out, 0);
    PutLE32(*out, uint32_t(languages.size()));
    PutLE32(*out, uint32_t(count));
    PutLE32(*out, 0);
    PutLE32(*out, uint32_t(names.size()));
    out->insert(out->end(), names.begin(), names.end());
    for (size_t i = 0; i < languages.size(); i++) {
        if (offset > 0xFFFFFFFFu)
            return Fail(err, "the file would pass 4 GB");
        PutLE32(*out, uint32_t(offset));
        PutLE32(*out, inflated[i]);
        PutLE32(*out, 0);
        PutLE32(*out, nameIndex[i]);
        offset += blocks[i].size();
    }
    for (const auto& b : blocks)
        out->insert(out->end(), b.begin(), b.end());
    return true;
}

bool LangUtf8ToUtf16(const std::string& in, std::u16string* out)
{
    out->clear();
    const auto* p = reinterpret_cast<const unsigned char*>(in.data());
    const auto* end = p + in.size();
    while (p < end) {
        uint32_t c = *p++;
        int more = 0;
        if (c < 0x80) {
        } else if ((c & 0xE0) == 0xC0) {
            c &= 0x1F;
            more = 1;
        } else if ((c & 0xF0) == 0xE0) {
            c &= 0x0F;
            more = 2;
        } else {
            return false; // four-byte forms lie outside the plane, and stray bytes
        }
        for (int i = 0; i < more; i++) {
            if (p >= end || (*p & 0xC0) != 0x80)
                return false;
            c = c << 6 | (*p++ & 0x3F);
        }
        const uint32_t least = more == 1 ? 0x80 : more == 2 ? 0x800 : 0;
        if (c < least || (c >= 0xD800 && c <= 0xDFFF))
            return false;
        out->push_back(char16_t(c));
    }
    return true;
}

std::string LangUtf16ToUtf8(const std::u16string& in)
{
    // A lone surrogate (a pair is not combined) comes out as U+FFFD, as the
    // engine writes it.
    std::string out;
    for (char16_t u : in) {
        char b[4];
        out.append(b, size_t(PUTF8Encode(b, unsigned(u))));
    }
    return out;
}

bool LangParseTable(const std::string& text, LangLanguage* out, std::string* err)
{
    out->name.clear();
    out->strings.clear();
    std::map<unsigned long, std::u16string> texts;
    unsigned long minimum = 0;
    bool named = false;
    size_t at = 0;
    for (int line = 1; at < text.size(); line++) {
        size_t eol = text.find('\n', at);
        if (eol == std::string::npos)
            eol = text.size();
        std::string row = text.substr(at, eol - at);
        at = eol + 1;
        if (!row.empty() && row.back() == '\r')
            row.pop_back();
        const std::string where = "line " + std::to_string(line) + ": ";
        if (row.empty() || row[0] == '#')
            continue;

        if (row.rfind("language ", 0) == 0) {
            if (named || !texts.empty())
                return Fail(err, where + "the language is named once, before the texts");
            if (!LangUtf8ToUtf16(row.substr(9), &out->name) || out->name.empty())
                return Fail(err, where + "bad language name");
            named = true;
            continue;
        }
        if (row.rfind("strings ", 0) == 0) {
            char* end = nullptr;
            minimum = std::strtoul(row.c_str() + 8, &end, 10);
            if (*end || minimum > kMaxStrings)
                return Fail(err, where + "bad string count");
            continue;
        }

        size_t digits = 0;
        while (digits < row.size() && row[digits] >= '0' && row[digits] <= '9')
            digits++;
        if (digits == 0 || digits > 7 || (digits < row.size() && row[digits] != ' ' && row[digits] != '\t'))
            return Fail(err, where + "expected a text id, \"language\" or \"strings\"");
        const unsigned long id = std::strtoul(row.substr(0, digits).c_str(), nullptr, 10);
        if (id >= kMaxStrings)
            return Fail(err, where + "text id too large");
        if (texts.count(id))
            return Fail(err, where + "text " + std::to_string(id) + " given twice");
        std::string raw = digits < row.size() ? row.substr(digits + 1) : std::string();
        std::string unescaped;
        for (size_t i = 0; i < raw.size(); i++) {
            if (raw[i] != '\\') {
                unescaped += raw[i];
                continue;
            }
            if (i + 1 < raw.size() && raw[i + 1] == 'n')
                unescaped += '\n';
            else if (i + 1 < raw.size() && raw[i + 1] == '\\')
                unescaped += '\\';
            else
                return Fail(err, where + "unknown escape (\\n and \\\\ are known)");
            i++;
        }
        std::u16string wide;
        if (!LangUtf8ToUtf16(unescaped, &wide))
            return Fail(err, where + "malformed UTF-8 or a character outside the Basic Multilingual Plane");
        if (wide.find(char16_t(0)) != std::u16string::npos)
            return Fail(err, where + "a text holds a NUL");
        texts[id] = std::move(wide);
    }
    if (!named)
        return Fail(err, "the table names no language");
    unsigned long count = minimum;
    if (!texts.empty())
        count = std::max(count, texts.rbegin()->first + 1);
    out->strings.resize(count);
    for (auto& [id, s] : texts)
        out->strings[id] = std::move(s);
    return true;
}

std::string LangFormatTable(const LangLanguage& language)
{
    std::string out = "language " + LangUtf16ToUtf8(language.name) + "\n";
    out += "strings " + std::to_string(language.strings.size()) + "\n";
    for (size_t k = 0; k < language.strings.size(); k++) {
        if (language.strings[k].empty())
            continue;
        std::string s;
        for (char c : LangUtf16ToUtf8(language.strings[k])) {
            if (c == '\n')
                s += "\\n";
            else if (c == '\\')
                s += "\\\\";
            else
                s += c;
        }
        out += std::to_string(k) + " " + s + "\n";
    }
    return out;
}
