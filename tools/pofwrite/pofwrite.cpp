// pofwrite: writes .pof meshes.
//
//   pofwrite text IN.txt OUT.pof     from the mesh text description
//   pofwrite obj IN.obj OUT.pof [--mtl IN.mtl]
//
// The text description, one statement a line ('#' starts a comment):
//   vertex|normal|texcoord fixed|short|byte   component type (default fixed)
//   v X Y Z        a vertex (reals for fixed, whole numbers otherwise)
//   n X Y Z        a normal         t U V   a texture coordinate
//   c R G B A      a vertex colour (0..255)
//   texture NAME   a texture name (referred to as 1, 2, ... in order)
//   material TEX [FLAGS]                      a material (TEX 0: none)
//   list triangles|strip|fan|lines|points MATERIAL [byte|short]
//   i A B C ...    indices of the last list
// OBJ: v, vt, vn, f (polygons become triangle fans) and usemtl; the MTL
// file's map_Kd names the texture of each material, one list per material.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/lib/pof_writer.h"
#include "tools/lib/toolfile.h"
#include "tools/lib/toolcli.h"

namespace {

// The usage on out: on standard output for --help (exit 0), else on
// standard error (exit 2).
int Usage(FILE* out = stderr)
{
    std::fprintf(out, "usage: pofwrite text IN.txt OUT.pof\n       pofwrite obj IN.obj OUT.pof [--mtl IN.mtl]\n");
    return out == stdout ? 0 : 2;
}

bool ReadText(const std::string& path, std::string* out, std::string* err)
{
    std::vector<uint8_t> bytes;
    if (!ReadFileBytes(path, &bytes, err))
        return false;
    out->assign(bytes.begin(), bytes.end());
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (ToolHelpAsked(argc, argv))
        return Usage(stdout);
    if (argc < 4)
        return Usage();
    std::string mode = argv[1], in = argv[2], outPath = argv[3], mtlPath;
    for (int i = 4; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--mtl" && i + 1 < argc)
            mtlPath = argv[++i];
        else
            return Usage();
    }
    std::string text, mtl, err;
    if (!ReadText(in, &text, &err) || (!mtlPath.empty() && !ReadText(mtlPath, &mtl, &err))) {
        std::fprintf(stderr, "pofwrite: %s\n", err.c_str());
        return 1;
    }
    PofMesh mesh;
    bool ok = mode == "text" ? ParsePofText(text, &mesh, &err) : mode == "obj" ? ParseObj(text, mtl, &mesh, &err) : false;
    if (mode != "text" && mode != "obj")
        return Usage();
    if (!ok) {
        std::fprintf(stderr, "pofwrite: %s: %s\n", in.c_str(), err.c_str());
        return 1;
    }
    if (!WriteFileAtomic(outPath, WritePof(mesh), &err)) {
        std::fprintf(stderr, "pofwrite: %s\n", err.c_str());
        return 1;
    }
    std::printf("%s: %zu vertices, %zu lists, %zu textures\n", outPath.c_str(), mesh.positions.size() / 3,
                mesh.lists.size(), mesh.textures.size());
    return 0;
}
