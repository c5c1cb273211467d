// .pof writer, the mesh text description and the Wavefront OBJ converter.
#include "tools/lib/pof_writer.h"

#include "tools/lib/piff_writer.h"
#include "tools/lib/toolcli.h"
#include "tools/lib/toolfile.h"

#include <cmath>
#include <cstdlib>
#include <map>
#include <sstream>
#include <tuple>

namespace {

uint32_t Four(const char (&s)[5])
{
    return uint32_t(uint8_t(s[0])) | uint32_t(uint8_t(s[1])) << 8 | uint32_t(uint8_t(s[2])) << 16 |
           uint32_t(uint8_t(s[3])) << 24;
}

void PutComponent(std::vector<uint8_t>& out, uint32_t type, int32_t v)
{
    switch (PofComponentSize(type)) {
    case 4:
        PutLE32(out, uint32_t(v));
        break;
    case 2:
        PutLE16(out, uint32_t(v) & 0xFFFF);
        break;
    default:
        out.push_back(uint8_t(v));
        break;
    }
}

std::vector<uint8_t> Components(uint32_t type, const std::vector<int32_t>& values)
{
    std::vector<uint8_t> out;
    for (int32_t v : values)
        PutComponent(out, type, v);
    return out;
}

bool ParseType(const std::string& s, uint32_t* type)
{
    if (s == "fixed")
        *type = 0x140C;
    else if (s == "short")
        *type = 0x1402;
    else if (s == "byte")
        *type = 0x1400;
    else
        return false;
    return true;
}

bool ParseMode(const std::string& s, uint32_t* mode)
{
    static const std::map<std::string, uint32_t> modes = {{"points", 0}, {"lines", 1},    {"strip", 5},
                                                           {"fan", 6},    {"triangles", 4}};
    auto it = modes.find(s);
    if (it == modes.end())
        return false;
    *mode = it->second;
    return true;
}

// A value of the component type: reals become 16.16 for GL_FIXED.
int32_t Value(uint32_t type, double v)
{
    if (type == 0x140C)
        return int32_t(std::lround(v * 65536.0));
    return int32_t(std::lround(v));
}

} // namespace

int PofComponentSize(uint32_t type)
{
    return type == 0x140C ? 4 : (type == 0x1402 || type == 0x1403) ? 2 : 1;
}

std::vector<uint8_t> WritePof(const PofMesh& m, int headSize)
{
    uint32_t vertices = uint32_t(m.positions.size() / 3);
    uint32_t polyTotal = 0;
    for (const PofList& l : m.lists)
        polyTotal += (uint32_t(l.indices.size()) * uint32_t(PofComponentSize(l.indexType)) + 3) & ~3u;
    std::vector<uint8_t> head;
    PutLE32(head, uint32_t(m.lists.size()));
    PutLE32(head, vertices);
    PutLE32(head, m.vertexType);
    PutLE32(head, uint32_t(m.normals.size() / 3));
    PutLE32(head, m.normalType);
    PutLE32(head, uint32_t(m.texcoords.size() / 2));
    PutLE32(head, m.texcoordType);
    PutLE32(head, uint32_t(m.materials.size()));
    PutLE32(head, uint32_t(m.textures.size()));
    if (headSize >= 40)
        PutLE32(head, polyTotal);
    if (headSize >= 44)
        PutLE32(head, uint32_t(m.colours.size() / 4));

    PiffBuilder b(Four("3DOB"));
    b.Chunk(Four("HEAD"), head);
    b.Chunk(Four("MESH"), Components(m.vertexType, m.positions));
    if (!m.normals.empty())
        b.Chunk(Four("NORM"), Components(m.normalType, m.normals));
    if (!m.texcoords.empty())
        b.Chunk(Four("TXUV"), Components(m.texcoordType, m.texcoords));
    if (!m.colours.empty())
        b.Chunk(Four("COLR"), m.colours);
    for (const PofList& l : m.lists) {
        std::vector<uint8_t> p;
        PutLE32(p, l.mode);
        PutLE32(p, uint32_t(l.indices.size()));
        PutLE32(p, l.material);
        PutLE32(p, l.indexType);
        for (uint32_t i : l.indices)
            PutComponent(p, l.indexType, int32_t(i));
        b.Chunk(Four("POLY"), p);
    }
    if (!m.materials.empty()) {
        std::vector<uint8_t> p;
        for (const PofMaterial& mat : m.materials) {
            PutLE16(p, mat.flags);
            PutLE16(p, mat.texture);
            p.insert(p.end(), mat.rest, mat.rest + 20);
        }
        b.Chunk(Four("MATL"), p);
    }
    if (!m.textures.empty()) {
        std::vector<uint8_t> p;
        for (const std::string& t : m.textures) {
            p.insert(p.end(), t.begin(), t.end());
            p.push_back(0);
        }
        b.Chunk(Four("TEXL"), p);
    }
    return b.Finish();
}

bool ParsePofText(const std::string& text, PofMesh* out, std::string* err)
{
    PofMesh m;
    std::istringstream in(text);
    std::string line;
    int lineNo = 0;
    auto fail = [&](const std::string& why) {
        if (err)
            *err = "line " + std::to_string(lineNo) + ": " + Printable(why);
        return false;
    };
    while (std::getline(in, line)) {
        ++lineNo;
        size_t hash = line.find('#');
        if (hash != std::string::npos)
            line.resize(hash);
        std::istringstream ls(line);
        std::string key;
        if (!(ls >> key))
            continue;
        if (key == "vertex" || key == "normal" || key == "texcoord") {
            std::string t;
            uint32_t* dst = key == "vertex" ? &m.vertexType : key == "normal" ? &m.normalType : &m.texcoordType;
            if (!(ls >> t) || !ParseType(t, dst))
                return fail("type must be fixed, short or byte");
        } else if (key == "v" || key == "n" || key == "t") {
            int n = key == "t" ? 2 : 3;
            uint32_t type = key == "v" ? m.vertexType : key == "n" ? m.normalType : m.texcoordType;
            std::vector<int32_t>& dst = key == "v" ? m.positions : key == "n" ? m.normals : m.texcoords;
            for (int i = 0; i < n; ++i) {
                double d;
                if (!(ls >> d))
                    return fail("missing value");
                dst.push_back(Value(type, d));
            }
        } else if (key == "c") {
            for (int i = 0; i < 4; ++i) {
                int c;
                if (!(ls >> c) || c < 0 || c > 255)
                    return fail("colour components are 0..255");
                m.colours.push_back(uint8_t(c));
            }
        } else if (key == "texture") {
            std::string name;
            if (!(ls >> name))
                return fail("missing texture name");
            m.textures.push_back(name);
        } else if (key == "material") {
            PofMaterial mat;
            unsigned tex = 0, flags = 1;
            if (!(ls >> tex))
                return fail("missing texture index");
            ls >> flags;
            mat.texture = uint16_t(tex);
            mat.flags = uint16_t(flags);
            m.materials.push_back(mat);
        } else if (key == "list") {
            PofList l;
            std::string mode, itype;
            if (!(ls >> mode) || !ParseMode(mode, &l.mode))
                return fail("list mode must be triangles, strip, fan, lines or points");
            if (!(ls >> l.material))
                return fail("missing list material");
            if (ls >> itype) {
                if (itype == "byte")
                    l.indexType = 0x1401;
                else if (itype != "short")
                    return fail("index type must be byte or short");
            }
            m.lists.push_back(l);
        } else if (key == "i") {
            if (m.lists.empty())
                return fail("indices before any list");
            long v;
            while (ls >> v) {
                if (v < 0 || v > 0xFFFF)
                    return fail("index out of range");
                m.lists.back().indices.push_back(uint32_t(v));
            }
        } else {
            return fail("unknown keyword " + key);
        }
    }
    if (m.positions.empty() || m.lists.empty()) {
        lineNo = 0;
        return fail("a mesh needs vertices and at least one list");
    }
    *out = std::move(m);
    return true;
}

bool ParseObj(const std::string& obj, const std::string& mtl, PofMesh* out, std::string* err)
{
    // Texture of each material of the MTL text.
    std::map<std::string, std::string> textureOf;
    {
        std::istringstream in(mtl);
        std::string line, current;
        while (std::getline(in, line)) {
            std::istringstream ls(line);
            std::string key;
            ls >> key;
            if (key == "newmtl")
                ls >> current;
            else if (key == "map_Kd" && !current.empty())
                ls >> textureOf[current];
        }
    }
    std::vector<double> v, vt, vn;
    PofMesh m;
    std::map<std::tuple<int, int, int>, uint32_t> unique;
    std::map<std::string, size_t> listOf; // material name to list index
    size_t current = 0;
    bool haveList = false;
    bool anyTex = false, anyNorm = false;
    std::vector<std::tuple<int, int, int>> corners; // in vertex order
    std::istringstream in(obj);
    std::string line;
    int lineNo = 0;
    auto fail = [&](const std::string& why) {
        if (err)
            *err = "OBJ line " + std::to_string(lineNo) + ": " + Printable(why);
        return false;
    };
    auto useMaterial = [&](const std::string& name) {
        auto it = listOf.find(name);
        if (it != listOf.end()) {
            current = it->second;
            return;
        }
        PofList l;
        auto tex = textureOf.find(name);
        if (tex != textureOf.end() && !tex->second.empty()) {
            PofMaterial mat;
            mat.flags = 1;
            size_t t = 0;
            while (t < m.textures.size() && m.textures[t] != tex->second)
                ++t;
            if (t == m.textures.size())
                m.textures.push_back(tex->second);
            mat.texture = uint16_t(t + 1);
            m.materials.push_back(mat);
            l.material = uint32_t(m.materials.size());
        }
        m.lists.push_back(l);
        current = m.lists.size() - 1;
        listOf[name] = current;
    };
    while (std::getline(in, line)) {
        ++lineNo;
        std::istringstream ls(line);
        std::string key;
        if (!(ls >> key) || key[0] == '#')
            continue;
        if (key == "v" || key == "vt" || key == "vn") {
            std::vector<double>& dst = key == "v" ? v : key == "vt" ? vt : vn;
            int n = key == "vt" ? 2 : 3;
            for (int i = 0; i < n; ++i) {
                double d;
                if (!(ls >> d) || !std::isfinite(d) || std::fabs(d) >= 32768.0)
                    return fail("bad coordinate");
                dst.push_back(d);
            }
        } else if (key == "usemtl") {
            std::string name;
            ls >> name;
            useMaterial(name);
            haveList = true;
        } else if (key == "f") {
            if (!haveList) {
                useMaterial("");
                haveList = true;
            }
            std::vector<uint32_t> face;
            std::string ref;
            while (ls >> ref) {
                int idx[3] = {0, 0, 0};
                size_t at = 0;
                for (int k = 0; k < 3 && at <= ref.size(); ++k) {
                    size_t slash = ref.find('/', at);
                    std::string part = ref.substr(at, slash == std::string::npos ? std::string::npos : slash - at);
                    if (!part.empty()) {
                        long x = std::strtol(part.c_str(), nullptr, 10);
                        size_t count = k == 0 ? v.size() / 3 : k == 1 ? vt.size() / 2 : vn.size() / 3;
                        if (x < 0)
                            x += long(count) + 1;
                        if (x < 1 || size_t(x) > count)
                            return fail("face index out of range");
                        idx[k] = int(x);
                    }
                    if (slash == std::string::npos)
                        break;
                    at = slash + 1;
                }
                if (!idx[0])
                    return fail("face corner without a position");
                anyTex |= idx[1] != 0;
                anyNorm |= idx[2] != 0;
                auto key3 = std::make_tuple(idx[0], idx[1], idx[2]);
                auto it = unique.find(key3);
                uint32_t n;
                if (it == unique.end()) {
                    n = uint32_t(corners.size());
                    if (n > 0xFFFF)
                        return fail("more than 65536 distinct vertices");
                    unique[key3] = n;
                    corners.push_back(key3);
                } else {
                    n = it->second;
                }
                face.push_back(n);
            }
            if (face.size() < 3)
                return fail("a face needs three corners");
            for (size_t k = 1; k + 1 < face.size(); ++k) {
                auto& ind = m.lists[current].indices;
                ind.push_back(face[0]);
                ind.push_back(face[k]);
                ind.push_back(face[k + 1]);
            }
        }
    }
    if (corners.empty())
        return fail("no faces");
    for (auto& c : corners) {
        int p = std::get<0>(c) - 1, t = std::get<1>(c) - 1, n = std::get<2>(c) - 1;
        for (int k = 0; k < 3; ++k)
            m.positions.push_back(Value(0x140C, v[size_t(p) * 3 + k]));
        if (anyTex)
            for (int k = 0; k < 2; ++k)
                m.texcoords.push_back(t >= 0 ? Value(0x140C, vt[size_t(t) * 2 + k]) : 0);
        if (anyNorm)
            for (int k = 0; k < 3; ++k)
                m.normals.push_back(n >= 0 ? Value(0x140C, vn[size_t(n) * 3 + k]) : 0);
    }
    // Lists without faces are dropped (their materials stay).
    std::vector<PofList> lists;
    for (auto& l : m.lists)
        if (!l.indices.empty())
            lists.push_back(std::move(l));
    m.lists = std::move(lists);
    *out = std::move(m);
    return true;
}
