// Writer of .pof meshes (chunk files of form type "3DOB"). Layout:
// docs/formats/pof.md.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct PofList {
    uint32_t mode = 4;          // GL primitive (GL_TRIANGLES)
    uint32_t material = 0;      // 1-based, 0 none
    uint32_t indexType = 0x1403; // GL_UNSIGNED_SHORT or GL_UNSIGNED_BYTE (0x1401)
    std::vector<uint32_t> indices;
};

struct PofMaterial {
    uint16_t flags = 1;
    uint16_t texture = 0;       // 1-based index into the texture names, 0 none
    uint8_t rest[20] = {};
};

struct PofMesh {
    // Component types: GL_FIXED (0x140C), GL_SHORT (0x1402) or GL_BYTE (0x1400);
    // values are stored as given (16.16 for GL_FIXED).
    uint32_t vertexType = 0x140C, normalType = 0x140C, texcoordType = 0x140C;
    std::vector<int32_t> positions; // x, y, z per vertex
    std::vector<int32_t> normals;   // x, y, z per vertex, or empty
    std::vector<int32_t> texcoords; // u, v per vertex, or empty
    std::vector<uint8_t> colours;   // R, G, B, A per vertex, or empty
    std::vector<PofList> lists;
    std::vector<PofMaterial> materials;
    std::vector<std::string> textures;
};

// The file bytes. headSize 36, 40 or 44 (44 gives the colour count; below 40
// no index total, and the reader allocates each list apart).
std::vector<uint8_t> WritePof(const PofMesh& mesh, int headSize = 44);
// Bytes of one component of a type (4, 2 or 1).
int PofComponentSize(uint32_t type);

// Parses the mesh text description (see pofwrite's usage); false with *err.
bool ParsePofText(const std::string& text, PofMesh* out, std::string* err);
// Converts Wavefront OBJ text (v, vt, vn, f, usemtl; with the MTL text for
// map_Kd texture names) into a mesh of 16.16 triangles, one list per material.
bool ParseObj(const std::string& obj, const std::string& mtl, PofMesh* out, std::string* err);
