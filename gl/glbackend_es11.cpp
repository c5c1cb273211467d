// The OpenGL ES 1.1 back end, generated from the slot table: kind C rows call
// the platform function of the same name, kind F rows the OES entry point,
// kind N rows do nothing; the GL layer's own operations are written out below.
#include "gl/glbackend_es11.h"

#include "engine/platform/pdisplay.h"
#include "gl/glhooks.h"

#include <GLES/gl.h>
#include <GLES/glext.h>

#include <type_traits>

#pragma GCC diagnostic ignored "-Wunused-parameter"

namespace vornGL {

// The slot table's types are the GL header's types, so that a call passes its
// arguments unchanged.
#define VORNGL_ES11_CHECK_C(ret, name, params, args, cv) \
    static_assert(std::is_same_v<decltype(&::name), ret(*) params>, "slot type differs from GL: " #name);
#define VORNGL_ES11_CHECK_F(ret, name, params, args, cv)
#define VORNGL_ES11_CHECK_N(ret, name, params, args, cv)
#define VORNGL_ES11_CHECK_V(ret, name, params, args, cv)
#define VORNGL_ES11_CHECK(kind, ret, name, params, args, cv) VORNGL_ES11_CHECK_##kind(ret, name, params, args, cv)
VORNGL_BACKEND_SLOTS(VORNGL_ES11_CHECK)

#define VORNGL_ES11_DEFINE_C(ret, name, params, args, cv) \
    ret P3DBackendES11::name params cv { return ::name args; }
#define VORNGL_ES11_DEFINE_F(ret, name, params, args, cv)     \
    ret P3DBackendES11::name params cv                         \
    {                                                          \
        if (!HaveExtension(VornGLExtFramebufferObject))        \
            return SlotZero<ret>();                                      \
        return _##name##OES args;                              \
    }
#define VORNGL_ES11_DEFINE_N(ret, name, params, args, cv) \
    ret P3DBackendES11::name params cv { return SlotZero<ret>(); }
#define VORNGL_ES11_DEFINE_V(ret, name, params, args, cv)
#define VORNGL_ES11_DEFINE(kind, ret, name, params, args, cv) VORNGL_ES11_DEFINE_##kind(ret, name, params, args, cv)
VORNGL_BACKEND_SLOTS(VORNGL_ES11_DEFINE)

P3DBackendES11::P3DBackendES11(PDisplayProperties* info) : m_info(info), m_orientation(info ? info->orientation : 0) {}
P3DBackendES11::~P3DBackendES11() {}

int P3DBackendES11::vornGLGetAPI() const { return kAPIES11; }
void P3DBackendES11::vornGLSetOrientation(int code) { m_orientation = code; }
int P3DBackendES11::vornGLGetOrientation() const { return m_orientation; }
PDisplayProperties* P3DBackendES11::vornGLGetDispInfo() const { return m_info; }
void P3DBackendES11::vornGLUpdateMatrices(int) {}
void P3DBackendES11::vornGLSetFlags(int) {}
void P3DBackendES11::vornGLClearShaderCache() {}
void P3DBackendES11::vornGLRestoreShaders() {}
int P3DBackendES11::vornGLPushFixed() { return 0; }
void P3DBackendES11::vornGLPopFixed() {}
void P3DBackendES11::vornGLSampleViewMatrix() {}
int P3DBackendES11::vornGLPreloadShaders() { return 1; }
int P3DBackendES11::vornGLSaveShaders() { return 1; }
void P3DBackendES11::vornGLGenCustomShaders(u32, u32*) {}
void P3DBackendES11::vornGLDeleteCustomShaders(u32, u32*) {}
void P3DBackendES11::vornGLCustomShaderSource(u32, char const*, char const*) {}
void P3DBackendES11::vornGLGenUniform(char const*, u32*) {}
void P3DBackendES11::vornGLBindUniform(u32, u32) {}
void P3DBackendES11::vornGLSetUniformData(u32, void*) {}
void P3DBackendES11::vornGLUseCustomShader(u32) {}
u32 P3DBackendES11::vornGLGetCurrentCustomShaderHandle() { return 0; }
u32 P3DBackendES11::vornGLCreateCustomShader(char const*, char const*) { return 0; }
void P3DBackendES11::vornGLDeleteCustomShader(u32) {}
void P3DBackendES11::vornGLSetCustomShader(u32) {}
u32 P3DBackendES11::vornGLGetCustomShaderIndex() const { return 0; }
i32 P3DBackendES11::vornGLBindUniformValue(u32, PGLShaderUniformValue&, char const*) { return 0; }

} // namespace vornGL
