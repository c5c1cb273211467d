#include "game/scene/p3dmeshlink.h"

#include "engine/runtime/pdebug.h"

#include "engine/graphics/pmesh.h"
#include "engine/graphics/ptexturemanager.h"

int P3DMakeMeshPath(char* out, int outSize, const char* dir, const char* name, const char* suffix, int digit)
{
    int n = 0;
    auto put = [&](const char* s) {
        for (; s && *s; s++) {
            if (n + 1 >= outSize)
                return false;
            out[n++] = *s;
        }
        return true;
    };
    char d[2] = {char(digit > 0 ? '0' + digit : 0), 0};
    if (!put(dir) || !put(name) || !put(suffix) || !put(d) || !put(".pof")) {
        out[0] = 0;
        _PDebug("P3DAnim: mesh path of \"%s\" too long\n", name ? name : "");
        return 0;
    }
    out[n] = 0;
    return 1;
}

namespace {

int BuiltinBox(PMesh* mesh, int32_t* box)
{
    if (!mesh)
        return 0;
    PAABB3 b;
    mesh->BoundingBox(b);
    box[0] = b.min.x, box[1] = b.min.y, box[2] = b.min.z;
    box[3] = b.max.x, box[4] = b.max.y, box[5] = b.max.z;
    return 1;
}

PMesh* BuiltinLoad(const char* path, PTextureManager* tm, const char* textureDir)
{
    return PMesh::CreateFromFile(path, tm, textureDir);
}

void BuiltinDestroy(PMesh* mesh)
{
    delete mesh;
}

void BuiltinRender(PMesh* mesh, GLES* gl)
{
    if (mesh)
        mesh->Render(gl, nullptr);
}

const P3DMeshOps kBuiltin = {BuiltinBox, BuiltinLoad, BuiltinDestroy, BuiltinRender};
const P3DMeshOps* g_ops = &kBuiltin;

} // namespace

void P3DSetMeshOps(const P3DMeshOps* ops)
{
    g_ops = ops ? ops : &kBuiltin;
}

int P3DMeshBox(PMesh* mesh, int32_t* box)
{
    return mesh ? g_ops->box(mesh, box) : 0;
}

PMesh* P3DMeshLoad(const char* path, PTextureManager* tm, const char* textureDir)
{
    return g_ops->load(path, tm, textureDir);
}

void P3DMeshDelete(PMesh* mesh)
{
    if (mesh)
        g_ops->destroy(mesh);
}

void P3DMeshRender(PMesh* mesh, GLES* gl)
{
    if (mesh)
        g_ops->render(mesh, gl);
}

void P3DTextureSet(PTextureManager* tm, int handle)
{
    if (tm && handle > 0)
        tm->SetTexture(handle);
}
