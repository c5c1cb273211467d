#include "tools/glreplay/trace.h"

#include "tools/glreplay/pngio.h"
#include "tools/lib/toolcli.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <unordered_map>

namespace glreplay {

namespace {

struct EnumEntry {
    char const* name;
    uint32_t value;
};
EnumEntry const kEnums[] = {
#include "gl_enums.inc"
};

constexpr size_t kMaxArrayBytes = size_t(64) << 20;
constexpr size_t kMaxTraceBytes = size_t(256) << 20;

bool IsName(std::string const& s)
{
    if (s.empty() || !(std::isalpha(static_cast<unsigned char>(s[0])) || s[0] == '_'))
        return false;
    return std::all_of(s.begin(), s.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; });
}

// A whole-token integer (decimal with sign, or 0x hex) in 64 bits.
bool ParseInt(std::string const& t, int64_t& v)
{
    if (t.empty())
        return false;
    char const* s = t.c_str();
    bool neg = false;
    if (*s == '-' || *s == '+') {
        neg = *s == '-';
        ++s;
    }
    int base = 10;
    if (s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        base = 16;
        s += 2;
    }
    if (!*s)
        return false;
    errno = 0;
    char* end = nullptr;
    unsigned long long u = std::strtoull(s, &end, base);
    if (errno || *end || !std::isxdigit(static_cast<unsigned char>(*s)))
        return false;
    if (u > 0xFFFFFFFFull)
        return false;
    v = neg ? -static_cast<int64_t>(u) : static_cast<int64_t>(u);
    return true;
}

bool ParseFloat(std::string const& t, double& v)
{
    if (t.find_first_of(".eE") == std::string::npos || t.find("0x") != std::string::npos)
        return false;
    errno = 0;
    char* end = nullptr;
    v = std::strtod(t.c_str(), &end);
    return !errno && end && !*end && std::isfinite(v);
}

std::vector<std::string> Tokens(std::string line)
{
    size_t hash = line.find('#');
    if (hash != std::string::npos)
        line.resize(hash);
    std::istringstream in(line);
    std::vector<std::string> out;
    for (std::string t; in >> t;)
        out.push_back(t);
    return out;
}

bool ElemTypeOf(std::string const& s, ElemType& t, int& size)
{
    static const struct {
        char const* name;
        ElemType type;
        int size;
    } types[] = {{"byte", ElemType::Byte, 1},   {"ubyte", ElemType::UByte, 1}, {"short", ElemType::Short, 2},
                 {"ushort", ElemType::UShort, 2}, {"int", ElemType::Int, 4},   {"uint", ElemType::UInt, 4},
                 {"fixed", ElemType::Fixed, 4}, {"float", ElemType::Float, 4}};
    for (auto const& e : types)
        if (s == e.name) {
            t = e.type;
            size = e.size;
            return true;
        }
    return false;
}

bool StoreElem(ElemType t, std::string const& tok, std::vector<uint8_t>& out)
{
    if (t == ElemType::Float) {
        double d;
        int64_t i;
        if (ParseFloat(tok, d)) {
        } else if (ParseInt(tok, i)) {
            d = double(i);
        } else {
            return false;
        }
        float f = static_cast<float>(d);
        uint8_t b[4];
        std::memcpy(b, &f, 4);
        out.insert(out.end(), b, b + 4);
        return true;
    }
    int64_t v;
    if (!ParseInt(tok, v))
        return false;
    int64_t lo, hi;
    int size;
    switch (t) {
    case ElemType::Byte: lo = -128, hi = 127, size = 1; break;
    case ElemType::UByte: lo = 0, hi = 255, size = 1; break;
    case ElemType::Short: lo = -32768, hi = 32767, size = 2; break;
    case ElemType::UShort: lo = 0, hi = 65535, size = 2; break;
    case ElemType::UInt: lo = 0, hi = 0xFFFFFFFFll, size = 4; break;
    default: lo = INT32_MIN, hi = INT32_MAX, size = 4; break;
    }
    if (v < lo || v > hi)
        return false;
    uint32_t u = static_cast<uint32_t>(v);
    for (int k = 0; k < size; ++k)
        out.push_back(static_cast<uint8_t>(u >> (8 * k)));
    return true;
}

} // namespace

int ElemSize(ElemType t)
{
    switch (t) {
    case ElemType::Byte:
    case ElemType::UByte:
        return 1;
    case ElemType::Short:
    case ElemType::UShort:
        return 2;
    default:
        return 4;
    }
}

bool LookupEnum(std::string const& name, uint32_t& value)
{
    static const std::unordered_map<std::string, uint32_t> table = [] {
        std::unordered_map<std::string, uint32_t> m;
        for (auto const& e : kEnums)
            m.emplace(e.name, e.value);
        return m;
    }();
    auto it = table.find(name);
    if (it == table.end())
        return false;
    value = it->second;
    return true;
}

int Trace::FindArray(std::string const& name) const
{
    for (size_t i = 0; i < arrays.size(); ++i)
        if (arrays[i].name == name)
            return static_cast<int>(i);
    return -1;
}

int Trace::FrameCount() const
{
    return static_cast<int>(std::count_if(calls.begin(), calls.end(), [](Call const& c) { return c.name == "frame"; }));
}

bool ParseTrace(std::string const& text, std::string const& baseDir, Trace& out, std::string& error)
{
    out = Trace();
    std::istringstream in(text);
    std::string line;
    int lineNo = 0;
    auto fail = [&](std::string const& what) {
        error = "line " + std::to_string(lineNo) + ": " + Printable(what);
        return false;
    };
    while (std::getline(in, line)) {
        ++lineNo;
        std::vector<std::string> tok = Tokens(line);
        if (tok.empty())
            continue;
        if (tok[0] == "array") {
            if (tok.size() < 4)
                return fail("array needs a name, a type and values");
            if (!IsName(tok[1]) || out.FindArray(tok[1]) >= 0)
                return fail("bad or repeated array name '" + tok[1] + "'");
            Array a;
            a.name = tok[1];
            int size = 0;
            if (!ElemTypeOf(tok[2], a.type, size))
                return fail("unknown array type '" + tok[2] + "'");
            if ((tok.size() - 3) * size_t(size) > kMaxArrayBytes)
                return fail("array too large");
            for (size_t k = 3; k < tok.size(); ++k)
                if (!StoreElem(a.type, tok[k], a.bytes))
                    return fail("bad " + tok[2] + " value '" + tok[k] + "'");
            out.arrays.push_back(std::move(a));
            continue;
        }
        if (tok[0] == "image") {
            if (tok.size() != 3)
                return fail("image needs a name and a file");
            if (!IsName(tok[1]) || out.FindArray(tok[1]) >= 0)
                return fail("bad or repeated image name '" + tok[1] + "'");
            Image img;
            std::string path = tok[2];
            if (!path.empty() && path[0] != '/' && !baseDir.empty())
                path = baseDir + "/" + path;
            std::string why;
            if (!ReadPng(path, img, why))
                return fail(why);
            Array a;
            a.name = tok[1];
            a.type = ElemType::UByte;
            a.bytes = std::move(img.rgba);
            a.width = img.width;
            a.height = img.height;
            out.arrays.push_back(std::move(a));
            continue;
        }
        if (tok[0] == "frame") {
            if (tok.size() != 1)
                return fail("frame takes no arguments");
            Call c;
            c.name = "frame";
            c.line = lineNo;
            out.calls.push_back(c);
            continue;
        }
        if (tok[0].rfind("gl", 0) != 0 || !IsName(tok[0]))
            return fail("unknown command '" + tok[0] + "'");
        Call c;
        c.name = tok[0];
        c.line = lineNo;
        for (size_t k = 1; k < tok.size(); ++k) {
            std::string const& t = tok[k];
            Arg a;
            int64_t iv;
            double fv;
            uint32_t ev;
            if (t == "null") {
                a.kind = ArgKind::Null;
            } else if (t[0] == '@') {
                std::string name = t.substr(1);
                int64_t offset = 0;
                size_t plus = name.find('+');
                if (plus != std::string::npos) {
                    if (!ParseInt(name.substr(plus + 1), offset) || offset < 0)
                        return fail("bad pointer offset in '" + t + "'");
                    name.resize(plus);
                }
                a.kind = ArgKind::Pointer;
                a.array = out.FindArray(name);
                a.offset = offset;
                if (a.array < 0)
                    return fail("no array named '" + name + "'");
                if (offset > int64_t(out.arrays[a.array].bytes.size()))
                    return fail("pointer offset beyond array '" + name + "'");
            } else if (ParseInt(t, iv)) {
                a.kind = ArgKind::Int;
                a.i = iv;
            } else if (ParseFloat(t, fv)) {
                a.kind = ArgKind::Float;
                a.f = fv;
            } else if (t.rfind("GL_", 0) == 0) {
                if (!LookupEnum(t, ev))
                    return fail("unknown enum '" + t + "'");
                a.kind = ArgKind::Int;
                a.i = ev;
            } else if (t.back() == ']' && t.find('[') != std::string::npos) {
                size_t open = t.find('[');
                std::string name = t.substr(0, open);
                int64_t index = -1;
                a.kind = ArgKind::Element;
                a.array = out.FindArray(name);
                if (a.array < 0)
                    return fail("no array named '" + name + "'");
                if (!ParseInt(t.substr(open + 1, t.size() - open - 2), index) || index < 0 ||
                    (index + 1) * ElemSize(out.arrays[a.array].type) > int64_t(out.arrays[a.array].bytes.size()))
                    return fail("element index out of range in '" + t + "'");
                a.offset = index;
            } else if (t.size() > 2 && (t.compare(t.size() - 2, 2, ".w") == 0 || t.compare(t.size() - 2, 2, ".h") == 0)) {
                int idx = out.FindArray(t.substr(0, t.size() - 2));
                if (idx < 0 || out.arrays[idx].width == 0)
                    return fail("no image named '" + t.substr(0, t.size() - 2) + "'");
                a.kind = ArgKind::Int;
                a.i = t.back() == 'w' ? out.arrays[idx].width : out.arrays[idx].height;
            } else {
                return fail("bad argument '" + t + "'");
            }
            c.args.push_back(a);
        }
        out.calls.push_back(std::move(c));
    }
    return true;
}

bool LoadTrace(std::string const& path, Trace& out, std::string& error)
{
    std::ifstream f(path, std::ios::binary);
    if (!f) {
        error = path + ": cannot open";
        return false;
    }
    std::string text;
    char buf[65536];
    while (f.read(buf, sizeof buf) || f.gcount() > 0) {
        text.append(buf, size_t(f.gcount()));
        if (text.size() > kMaxTraceBytes) {
            error = path + ": trace too large";
            return false;
        }
    }
    size_t slash = path.find_last_of('/');
    std::string dir = slash == std::string::npos ? "." : path.substr(0, slash);
    if (!ParseTrace(text, dir, out, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

} // namespace glreplay
