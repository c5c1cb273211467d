// Meshes: the .pof loader with its checks, drawing with vertex arrays, and
// the bounding box.
#include "engine/graphics/pmesh.h"

#include "engine/graphics/p3dgl.h"
#include "engine/graphics/ptexturemanager.h"
#include "engine/runtime/palloc.h"
#include "engine/runtime/pdebug.h"
#include "engine/runtime/piffreader.h"
#include "engine/runtime/pmath3d.h"
#include "gl/gles.h"

#include <cstring>

using namespace p3dgl;

namespace {

constexpr uint32_t kMaxCount = 0xFFFF;     // counts are 16-bit in memory
constexpr uint32_t kMaxLists = 4096;
constexpr uint64_t kMaxBlock = 256u << 20; // the most one mesh may take

constexpr uint64_t Round4(uint64_t v) { return (v + 3) & ~uint64_t(3); }
constexpr uint64_t Round8(uint64_t v) { return (v + 7) & ~uint64_t(7); }

bool ReadAll(PIFFReader& r, void* dst, uint32_t n)
{
    return n == 0 || r.Read(dst, int(n)) == int(n);
}

uint32_t U32(const uint8_t* p) { return PLoad32(p); }

} // namespace

int PMesh::ComponentSize(unsigned type)
{
    switch (type) {
    case kFixed:
    case kFloat:
        return 4;
    case kShort:
    case kUnsignedShort:
        return 2;
    case kByte:
    case kUnsignedByte:
        return 1;
    default:
        return 0;
    }
}

PMesh::PMesh(PTextureManager* tm)
    : m_block(nullptr), m_vertices(nullptr), m_texcoords(nullptr), m_normals(nullptr), m_colours(nullptr),
      m_lists(nullptr), m_materials(nullptr), m_listCount(0), m_tm(tm), m_ownership(0)
{
}

PMesh::PMesh(PTextureManager* tm, VertexList* vertices, DataList* texcoords, int listCount, RenderList** lists,
             MaterialList* materials, DataList* normals, DataList* colours)
    : m_block(nullptr), m_vertices(vertices), m_texcoords(texcoords), m_normals(normals), m_colours(colours),
      m_lists(lists), m_materials(materials), m_listCount(listCount), m_tm(tm), m_ownership(kOwnsData | kOwnsPolys)
{
}

PMesh::~PMesh()
{
    FreeData();
}

void PMesh::FreeData()
{
    if ((m_ownership & kOwnsData) && m_materials && m_tm) {
        Material* m = m_materials->Items();
        for (uint32_t i = 0; i < m_materials->count; ++i)
            if (m[i].texture)
                m_tm->FreeTexture(m[i].texture);
    }
    if (m_ownership & kOwnsColours)
        PFree(m_colours);
    if ((m_ownership & kOwnsPolys) && m_lists)
        for (int i = 0; i < m_listCount; ++i)
            PFree(m_lists[i]);
    if (!m_block && (m_ownership & kOwnsData)) {
        // Lists made elsewhere, each its own block.
        PFree(m_vertices);
        PFree(m_texcoords);
        PFree(m_normals);
        if (!(m_ownership & kOwnsColours))
            PFree(m_colours);
        PFree(m_materials);
        PFree(m_lists);
    }
    PFree(m_block);
    m_block = nullptr;
    m_vertices = nullptr;
    m_texcoords = m_normals = m_colours = nullptr;
    m_lists = nullptr;
    m_materials = nullptr;
    m_listCount = 0;
    m_ownership &= ~uint32_t(kOwnsColours);
}

PMesh* PMesh::CreateFromFile(const char* path, PTextureManager* tm, const char* texturePath)
{
    PMesh* m = new PMesh(tm);
    if (!m)
        return nullptr;
    if (!m->Load(path, texturePath)) {
        delete m;
        return nullptr;
    }
    return m;
}

int PMesh::Load(const char* path, const char* texturePath)
{
    if (!path)
        return 0;
    PIFFReader reader(path);
    if (!reader.IsOpen()) {
        _PDebug("PMesh: cannot open %s\n", path);
        return 0;
    }
    int r = Load(reader, texturePath);
    if (!r)
        _PDebug("PMesh: %s not loaded\n", path);
    return r;
}

int PMesh::HandleChunk(PIFFReader& reader, unsigned id, unsigned)
{
    if (id == PFourCC("FORM"))
        reader.SkipForm();
    else
        reader.SkipChunk();
    return 1;
}

int PMesh::Fail(const char* why, char* texl)
{
    _PDebug("PMesh: %s\n", why);
    PFree(texl);
    if (m_materials)
        m_materials->count = 0; // no handles to free
    return 0;
}

int PMesh::Load(PIFFReader& reader, const char* texturePath)
{
    unsigned size = 0;
    if (!reader.IsOpen() || reader.FormType() != PFourCC("3DOB"))
        return Fail("not a mesh (form type 3DOB)", nullptr);
    if (reader.NextChunk(size) != PFourCC("HEAD") || size < 36)
        return Fail("no HEAD of at least 36 bytes first", nullptr);
    uint8_t head[44] = {};
    uint32_t headSize = size < 44 ? size : 44;
    if (!ReadAll(reader, head, headSize))
        return Fail("short HEAD", nullptr);
    uint32_t lists = U32(head), vertices = U32(head + 4), vType = U32(head + 8), normals = U32(head + 12),
             nType = U32(head + 16), texcoords = U32(head + 20), tType = U32(head + 24), materials = U32(head + 28),
             names = U32(head + 32);
    uint32_t polyTotal = headSize >= 40 ? U32(head + 36) : 0, colours = headSize >= 44 ? U32(head + 40) : 0;
    if (lists < 1 || vertices < 1)
        return Fail("no lists or no vertices", nullptr);
    int vSize = ComponentSize(vType), nSize = normals ? ComponentSize(nType) : 1,
        tSize = texcoords ? ComponentSize(tType) : 1;
    if (lists > kMaxLists || vertices > kMaxCount || normals > kMaxCount || texcoords > kMaxCount ||
        colours > kMaxCount || materials > kMaxCount || names > kMaxCount || polyTotal > kMaxBlock)
        return Fail("HEAD counts out of range", nullptr);
    if (!vSize || !nSize || !tSize)
        return Fail("unknown component type", nullptr);
    // Every vertex needs its normal, texture coordinate and colour.
    if ((normals && normals < vertices) || (texcoords && texcoords < vertices) || (colours && colours < vertices))
        return Fail("normals, texture coordinates or colours fewer than the vertices", nullptr);

    bool blockLists = headSize >= 40;
    uint64_t vBytes = uint64_t(vertices) * 3 * vSize, tBytes = uint64_t(texcoords) * 2 * tSize,
             nBytes = uint64_t(normals) * 3 * nSize;
    // Nothing is allocated for a count whose data could not fit in what the
    // file still holds: every list needs a POLY chunk (chunk header, list
    // header and one index), and no other count's data can exceed the rest.
    uint64_t left = reader.FormLeft();
    uint64_t mostData[] = {uint64_t(lists) * 25, polyTotal, vBytes, tBytes, nBytes, uint64_t(materials) * 24,
                           uint64_t(colours) * 4, names};
    for (uint64_t need : mostData)
        if (need > left)
            return Fail("HEAD counts beyond the bytes that follow", nullptr);

    FreeData();
    uint64_t offLists = 0, offVert = Round8(uint64_t(lists) * sizeof(RenderList*));
    uint64_t offTex = offVert + Round4(8 + vBytes);
    uint64_t offNorm = offTex + (texcoords ? Round4(4 + tBytes) : 0);
    uint64_t offMat = offNorm + (normals ? Round4(4 + nBytes) : 0);
    uint64_t offCol = offMat + (materials ? 4 + uint64_t(materials) * 24 : 0);
    uint64_t offPoly = offCol + (headSize >= 44 && colours ? (uint64_t(colours) + 1) * 4 : 0);
    uint64_t total = offPoly + (blockLists ? uint64_t(polyTotal) + 8 * uint64_t(lists) : 0);
    if (total > kMaxBlock)
        return Fail("mesh too large", nullptr);
    auto* block = static_cast<uint8_t*>(PAllocZ(int(total)));
    if (!block)
        return Fail("no memory for the mesh", nullptr);
    m_block = block;
    m_lists = reinterpret_cast<RenderList**>(block + offLists);
    m_vertices = reinterpret_cast<VertexList*>(block + offVert);
    m_vertices->type = uint16_t(vType);
    m_vertices->count = uint16_t(vertices);
    m_vertices->four = 4;
    if (texcoords) {
        m_texcoords = reinterpret_cast<DataList*>(block + offTex);
        m_texcoords->type = uint16_t(tType);
        m_texcoords->count = uint16_t(texcoords);
    }
    if (normals) {
        m_normals = reinterpret_cast<DataList*>(block + offNorm);
        m_normals->type = uint16_t(nType);
        m_normals->count = uint16_t(normals);
    }
    if (materials)
        m_materials = reinterpret_cast<MaterialList*>(block + offMat);
    if (headSize >= 44 && colours) {
        m_colours = reinterpret_cast<DataList*>(block + offCol);
        m_colours->type = uint16_t(kUnsignedByte);
        m_colours->count = uint16_t(colours);
    }
    m_ownership = blockLists ? kOwnsData : (kOwnsData | kOwnsPolys);
    m_listCount = int32_t(lists);
    uint8_t* polyEnd = block + total;
    uint8_t* nextList = block + offPoly;

    char* texl = nullptr;
    uint32_t texlSize = 0;
    uint32_t polys = 0;
    for (;;) {
        uint32_t id = reader.NextChunk(size);
        if (id == 0)
            break;
        if (id != PFourCC("FORM") && size > reader.FormLeft())
            return Fail("chunk beyond the end of the data", texl);
        if (id == PFourCC("MESH")) {
            if (size > vBytes)
                return Fail("MESH larger than its vertices", texl);
            if (!ReadAll(reader, m_vertices->Data(), size))
                return Fail("short MESH", texl);
        } else if (id == PFourCC("NORM") || id == PFourCC("TXUV")) {
            DataList* l = id == PFourCC("NORM") ? m_normals : m_texcoords;
            uint64_t space = id == PFourCC("NORM") ? nBytes : tBytes;
            if (!l)
                return Fail("NORM or TXUV without its count in HEAD", texl);
            if (size > space)
                return Fail("NORM or TXUV larger than HEAD allows", texl);
            if (!ReadAll(reader, l->Data(), size))
                return Fail("short NORM or TXUV", texl);
        } else if (id == PFourCC("COLR")) {
            if (!m_colours || (m_ownership & kOwnsColours)) {
                if (m_ownership & kOwnsColours)
                    PFree(m_colours);
                m_colours = nullptr;
                m_ownership &= ~uint32_t(kOwnsColours);
                if (size > uint64_t(kMaxCount) * 4 || size / 4 < vertices)
                    return Fail("COLR fewer than the vertices", texl);
                m_colours = static_cast<DataList*>(PAllocZ(int(size + 4)));
                if (!m_colours)
                    return Fail("no memory for COLR", texl);
                m_ownership |= kOwnsColours;
                m_colours->count = uint16_t(size / 4);
            } else if (size > uint64_t(m_colours->count) * 4) {
                return Fail("COLR larger than HEAD allows", texl);
            }
            m_colours->type = uint16_t(kUnsignedByte);
            if (!ReadAll(reader, m_colours->Data(), size))
                return Fail("short COLR", texl);
        } else if (id == PFourCC("POLY")) {
            if (size <= 16)
                return Fail("POLY of 16 bytes or less", texl);
            if (polys >= lists)
                return Fail("more POLY chunks than lists", texl);
            uint8_t ph[16];
            if (!ReadAll(reader, ph, 16))
                return Fail("short POLY", texl);
            uint32_t mode = U32(ph), count = U32(ph + 4), material = U32(ph + 8), itype = U32(ph + 12);
            uint32_t data = size - 16;
            int isize = itype == kUnsignedByte ? 1 : itype == kUnsignedShort ? 2 : 0;
            if (!isize)
                return Fail("POLY index type neither byte nor short", texl);
            if (count > kMaxCount || uint64_t(count) * isize > data)
                return Fail("POLY index count beyond its data", texl);
            if (material > materials)
                return Fail("POLY material beyond the materials", texl);
            uint64_t need = 8 + Round4(data);
            RenderList* l;
            if (blockLists) {
                if (need > uint64_t(polyEnd - nextList))
                    return Fail("POLY data beyond the HEAD total", texl);
                l = reinterpret_cast<RenderList*>(nextList);
                nextList += need;
            } else {
                if (need > kMaxBlock || !(l = static_cast<RenderList*>(PAllocZ(int(need)))))
                    return Fail("no memory for a POLY", texl);
            }
            m_lists[polys++] = l;
            l->mode = uint16_t(mode);
            l->count = uint16_t(count);
            l->material = uint16_t(material);
            l->indexType = uint16_t(itype);
            if (!ReadAll(reader, l->Data(), data))
                return Fail("short POLY", texl);
            for (uint32_t i = 0; i < count; ++i) {
                uint32_t v = isize == 1 ? l->Data()[i] : PLoad16(l->Data() + 2 * i);
                if (v >= vertices)
                    return Fail("index beyond the vertices", texl);
            }
        } else if (id == PFourCC("MATL")) {
            if (size % 24 || !m_materials || size > uint64_t(materials) * 24)
                return Fail("MATL size does not fit the materials", texl);
            if (!ReadAll(reader, m_materials->Items(), size))
                return Fail("short MATL", texl);
            m_materials->count = materials;
        } else if (id == PFourCC("MAT2")) {
            uint8_t rs[4], rec[28];
            if (size < 28 || !m_materials || !ReadAll(reader, rs, 4) || U32(rs) < 28)
                return Fail("MAT2 without materials or with records under 28 bytes", texl);
            uint32_t recSize = U32(rs);
            for (uint32_t i = 0; i < materials; ++i) {
                if (!ReadAll(reader, rec, 28) || (recSize > 28 && reader.Skip(int(recSize - 28)) != int(recSize - 28)))
                    return Fail("short MAT2", texl);
                uint16_t tex = PLoad16(rec + 2);
                m_materials->Items()[i].texture = tex;
                m_materials->Items()[i].flags = tex ? 1 : 0;
            }
            m_materials->count = materials;
        } else if (id == PFourCC("TEXL")) {
            PFree(texl);
            texl = static_cast<char*>(PAlloc(int(size ? size : 1)));
            texlSize = size;
            if (!texl || !ReadAll(reader, texl, size))
                return Fail("short TEXL", texl);
            // Every name must end inside the chunk.
            uint32_t at = 0;
            for (uint32_t i = 0; i < names; ++i) {
                const void* z = at < size ? std::memchr(texl + at, 0, size - at) : nullptr;
                if (!z)
                    return Fail("TEXL names without their terminators", texl);
                at = uint32_t(static_cast<const char*>(z) - texl) + 1;
            }
        } else if (!HandleChunk(reader, id, size)) {
            return Fail("chunk refused", texl);
        }
    }
    if (polys != lists)
        return Fail("fewer POLY chunks than lists", texl);
    if (m_colours && m_colours->count < vertices)
        return Fail("colours fewer than the vertices", texl);

    // Texture indices become handles; an index that names no texture
    // becomes 0 (never someone else's handle).
    if (!m_materials)
        return PFree(texl), 1;
    Material* mat = m_materials->Items();
    uint32_t matCount = m_materials->count;
    if (!texl || !m_texcoords || !m_tm) {
        for (uint32_t i = 0; i < matCount; ++i)
            mat[i].texture = 0;
        PFree(texl);
        return 1;
    }
    const char* table[256];
    const char** nameAt = names <= 256 ? table : static_cast<const char**>(PAlloc(int(names * sizeof(char*))));
    if (!nameAt)
        return Fail("no memory for the texture names", texl);
    for (uint32_t i = 0, at = 0; i < names; ++i) {
        nameAt[i] = texl + at;
        at += uint32_t(std::strlen(texl + at)) + 1;
    }
    (void)texlSize;
    int ok = 1;
    uint32_t done = 0;
    char path[1024];
    for (; done < matCount; ++done) {
        uint32_t idx = mat[done].texture;
        if (idx < 1 || idx > names) {
            mat[done].texture = 0;
            continue;
        }
        const char* name = nameAt[idx - 1];
        int h = 0;
        if (texturePath && *texturePath) {
            size_t pl = std::strlen(texturePath), nl = std::strlen(name);
            bool sep = texturePath[pl - 1] == '/' || texturePath[pl - 1] == '\\';
            if (pl + nl + 2 <= sizeof path) {
                std::memcpy(path, texturePath, pl);
                size_t k = pl;
                if (!sep)
                    path[k++] = '\\';
                std::memcpy(path + k, name, nl + 1);
                h = m_tm->AddTexture(path, 0x4C80u, 0u);
            }
        }
        if (!h)
            h = m_tm->AddTexture(name, 0x4C80u, 0u);
        if (!h || h > 0xFFFF) {
            _PDebug("PMesh: texture %s not loaded\n", name);
            if (h)
                m_tm->FreeTexture(h);
            ok = 0;
            break;
        }
        mat[done].texture = uint16_t(h);
    }
    if (!ok) {
        // Give back the handles taken so far.
        for (uint32_t i = 0; i < done; ++i)
            if (mat[i].texture)
                m_tm->FreeTexture(mat[i].texture);
    }
    if (nameAt != table)
        PFree(nameAt);
    if (!ok)
        return Fail("a texture could not be loaded", texl);
    PFree(texl);
    return 1;
}

// ---------------------------------------------------------------------------
// Drawing

void PMesh::DrawList(GLES* gl, const RenderList* l, unsigned first, unsigned count)
{
    if (!l || first >= l->count)
        return;
    if (count > unsigned(l->count) - first)
        count = unsigned(l->count) - first;
    if (l->material && m_materials && l->material <= m_materials->count && m_tm) {
        uint16_t h = m_materials->Items()[l->material - 1].texture;
        if (h)
            m_tm->SetTexture(h);
    }
    size_t isize = l->indexType == kUnsignedByte ? 1 : 2;
    gl->glDrawElements(l->mode, int32_t(count), l->indexType, l->Data() + first * isize);
}

namespace {

void SetArrays(GLES* gl, const PMesh& m)
{
    vornGL::P3DBackend* b = gl->GetBackend();
    b->glVertexPointer(3, m.Vertices()->type, 0, m.Vertices()->Data());
    gl->glEnableClientState(kVertexArray);
    if (m.Colours()) {
        b->glColorPointer(4, kUnsignedByte, 0, m.Colours()->Data());
        gl->glEnableClientState(kColorArray);
    } else {
        gl->glDisableClientState(kColorArray);
    }
    if (m.Normals()) {
        b->glNormalPointer(m.Normals()->type, 0, m.Normals()->Data());
        gl->glEnableClientState(kNormalArray);
    } else {
        gl->glDisableClientState(kNormalArray);
    }
    if (m.TexCoords()) {
        b->glTexCoordPointer(2, m.TexCoords()->type, 0, m.TexCoords()->Data());
        gl->glEnableClientState(kTexCoordArray);
    } else {
        gl->glDisableClientState(kTexCoordArray);
    }
}

} // namespace

int PMesh::Render(GLES* gl, const unsigned short* ranges)
{
    if (!gl || !m_vertices || !m_lists)
        return 0;
    vornGL::P3DBackend* b = gl->GetBackend();
    b->vornGLPushFixed();
    gl->vornGLPushState();
    SetArrays(gl, *this);
    int triangles = 0;
    for (int i = 0; i < m_listCount; ++i) {
        const RenderList* l = m_lists[i];
        if (!l)
            continue;
        unsigned first = ranges ? ranges[2 * i] : 0, count = ranges ? ranges[2 * i + 1] : l->count;
        DrawList(gl, l, first, count);
        triangles += int(count / 3);
    }
    gl->vornGLPopState();
    b->vornGLPopFixed();
    return triangles;
}

int PMesh::Render(GLES* gl, int first, int count)
{
    if (!gl || !m_vertices || !m_lists || first < 0 || count < 0)
        return 0;
    vornGL::P3DBackend* b = gl->GetBackend();
    b->vornGLPushFixed();
    gl->vornGLPushState();
    SetArrays(gl, *this);
    for (int i = 0; i < m_listCount; ++i)
        DrawList(gl, m_lists[i], unsigned(first), unsigned(count));
    gl->vornGLPopState();
    b->vornGLPopFixed();
    return m_listCount * count / 3;
}

void PMesh::BoundingBox(PAABB3& box) const
{
    box.Zero();
    if (!m_vertices)
        return;
    const uint8_t* d = m_vertices->Data();
    unsigned type = m_vertices->type;
    int cs = ComponentSize(type);
    for (unsigned i = 0; i < m_vertices->count; ++i) {
        int32_t c[3];
        for (int k = 0; k < 3; ++k) {
            const uint8_t* p = d + (size_t(i) * 3 + k) * size_t(cs);
            switch (type) {
            case kFixed:
                c[k] = int32_t(PLoad32(p));
                break;
            case kFloat: {
                float f;
                std::memcpy(&f, p, 4);
                double v = double(f) * 65536.0;
                // Out of range saturates; a NaN counts as 0.
                c[k] = v != v ? 0 : v >= 2147483647.0 ? INT32_MAX : v <= -2147483648.0 ? INT32_MIN : int32_t(v);
                break;
            }
            case kShort:
                c[k] = int32_t(uint32_t(int16_t(PLoad16(p))) << 16);
                break;
            case kUnsignedShort:
                c[k] = int32_t(uint32_t(PLoad16(p)) << 16);
                break;
            case kByte:
                c[k] = int32_t(uint32_t(int8_t(*p)) << 16);
                break;
            default:
                c[k] = int32_t(uint32_t(*p) << 16);
                break;
            }
        }
        PVector3 v(c[0], c[1], c[2]);
        box.Add(&v, 1);
    }
}
