// PMesh: a static textured mesh drawn with GL vertex arrays: one vertex list
// with optional normals, texture coordinates and colours, a set of index
// lists (each with its primitive, index type and material) and a material
// table whose texture references become texture-cache handles at load.
// Meshes are stored in .pof chunk files (layout in docs/formats/pof.md).
#pragma once
#include <cstdint>

#include "engine/platform/pjoystick.h" // PBaseObject
#include "engine/runtime/pmath3d.h"

class GLES;
class PIFFReader;
class PTextureManager;


class PMesh : public PBaseObject {
public:
    // u16 GL type, u16 vertex count, a 32-bit 4, then x, y, z per vertex.
    struct VertexList {
        uint16_t type, count;
        uint32_t four;
        uint8_t* Data() { return reinterpret_cast<uint8_t*>(this + 1); }
        const uint8_t* Data() const { return reinterpret_cast<const uint8_t*>(this + 1); }
    };
    // u16 GL type, u16 count, then the values.
    struct DataList {
        uint16_t type, count;
        uint8_t* Data() { return reinterpret_cast<uint8_t*>(this + 1); }
        const uint8_t* Data() const { return reinterpret_cast<const uint8_t*>(this + 1); }
    };
    // u16 primitive mode, u16 index count, u16 material (1-based, 0 none),
    // u16 index type (GL_UNSIGNED_BYTE or GL_UNSIGNED_SHORT), then the indices.
    struct RenderList {
        uint16_t mode, count, material, indexType;
        uint8_t* Data() { return reinterpret_cast<uint8_t*>(this + 1); }
        const uint8_t* Data() const { return reinterpret_cast<const uint8_t*>(this + 1); }
    };
    // flags (1 textured), texture (a texture-cache handle once loaded, 0
    // none), then 20 bytes kept as read.
    struct Material {
        uint16_t flags, texture;
        uint8_t rest[20];
    };
    struct MaterialList {
        uint32_t count;
        Material* Items() { return reinterpret_cast<Material*>(this + 1); }
        const Material* Items() const { return reinterpret_cast<const Material*>(this + 1); }
    };

    // Ownership bits.
    enum : uint32_t { kOwnsData = 1, kOwnsPolys = 2, kOwnsColours = 4 };

    explicit PMesh(PTextureManager* tm);
    // A mesh over lists made elsewhere; it owns them (ownership 3) and frees
    // them with PFree.
    PMesh(PTextureManager* tm, VertexList* vertices, DataList* texcoords, int listCount, RenderList** lists,
          MaterialList* materials, DataList* normals, DataList* colours);
    ~PMesh() override;
    PMesh(const PMesh&) = delete;
    PMesh& operator=(const PMesh&) = delete;

    void SetOwnsData(bool on) { m_ownership = on ? (m_ownership | kOwnsData) : (m_ownership & ~kOwnsData); }
    void SetOwnsPolys(bool on) { m_ownership = on ? (m_ownership | kOwnsPolys) : (m_ownership & ~kOwnsPolys); }

    static PMesh* CreateFromFile(const char* path, PTextureManager* tm, const char* texturePath);
    int Load(const char* path, const char* texturePath);
    // 1 on success, 0 on failure (logged).
    virtual int Load(PIFFReader& reader, const char* texturePath);
    // Unknown chunks: a nested form is skipped whole, anything else skipped;
    // 1 (0 would abort the load).
    virtual int HandleChunk(PIFFReader& reader, unsigned id, unsigned size);
    virtual void FreeData();

    // Draws every list (ranges: two u16 per list, first index and count;
    // null for whole lists); the number of triangles.
    int Render(GLES* gl, const unsigned short* ranges);
    // Draws count indices from index first of every list.
    int Render(GLES* gl, int first, int count);
    void BoundingBox(PAABB3& box) const;

    const VertexList* Vertices() const { return m_vertices; }
    const DataList* TexCoords() const { return m_texcoords; }
    const DataList* Normals() const { return m_normals; }
    const DataList* Colours() const { return m_colours; }
    const MaterialList* Materials() const { return m_materials; }
    int ListCount() const { return m_listCount; }
    const RenderList* List(int i) const { return i >= 0 && i < m_listCount && m_lists ? m_lists[i] : nullptr; }
    uint32_t Ownership() const { return m_ownership; }

    // Bytes of one component of a GL type (FIXED and FLOAT 4, SHORT 2, BYTE
    // 1); 0 for a type a mesh cannot hold.
    static int ComponentSize(unsigned type);

private:
    int Fail(const char* why, char* texl);
    void DrawList(GLES* gl, const RenderList* l, unsigned first, unsigned count);

    void* m_block;
    VertexList* m_vertices;
    DataList* m_texcoords;
    DataList* m_normals;
    DataList* m_colours;
    RenderList** m_lists;
    MaterialList* m_materials;
    int32_t m_listCount;
    PTextureManager* m_tm;
    uint32_t m_ownership;
};
