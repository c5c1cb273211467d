// The back-end slots the software rasterizer leaves empty: shaders, buffers,
// framebuffers, stencil, fog, point and line widths, the float entry points,
// the matrix operations, enables (read from the state manager) and the OpenGL
// ES 2.0 operations. Each returns nothing, or 0. They are generated from the
// slot table: a slot marked below as implemented elsewhere gets no body here.
#include "gl/software/swbackend.h"

// Empty bodies name their parameters without using them.
#pragma GCC diagnostic ignored "-Wunused-parameter"

// Slots with bodies of their own in the other files of this folder.
#define VORNGL_SW_OWN_glAlphaFuncx ~, 1
#define VORNGL_SW_OWN_glBindTexture ~, 1
#define VORNGL_SW_OWN_glBlendFunc ~, 1
#define VORNGL_SW_OWN_glClear ~, 1
#define VORNGL_SW_OWN_glClearColorx ~, 1
#define VORNGL_SW_OWN_glClearDepthx ~, 1
#define VORNGL_SW_OWN_glColorMask ~, 1
#define VORNGL_SW_OWN_glColorPointer ~, 1
#define VORNGL_SW_OWN_glCompressedTexImage2D ~, 1
#define VORNGL_SW_OWN_glCompressedTexSubImage2D ~, 1
#define VORNGL_SW_OWN_glCullFace ~, 1
#define VORNGL_SW_OWN_glDeleteTextures ~, 1
#define VORNGL_SW_OWN_glDepthFunc ~, 1
#define VORNGL_SW_OWN_glDepthMask ~, 1
#define VORNGL_SW_OWN_glDepthRangex ~, 1
#define VORNGL_SW_OWN_glDisableClientState ~, 1
#define VORNGL_SW_OWN_glDrawArrays ~, 1
#define VORNGL_SW_OWN_glDrawElements ~, 1
#define VORNGL_SW_OWN_glEnableClientState ~, 1
#define VORNGL_SW_OWN_glFinish ~, 1
#define VORNGL_SW_OWN_glFlush ~, 1
#define VORNGL_SW_OWN_glFrontFace ~, 1
#define VORNGL_SW_OWN_glGenTextures ~, 1
#define VORNGL_SW_OWN_glGetIntegerv ~, 1
#define VORNGL_SW_OWN_glGetString ~, 1
#define VORNGL_SW_OWN_glHint ~, 1
#define VORNGL_SW_OWN_glIsEnabled ~, 1
#define VORNGL_SW_OWN_glIsTexture ~, 1
#define VORNGL_SW_OWN_glLightModelxv ~, 1
#define VORNGL_SW_OWN_glLightx ~, 1
#define VORNGL_SW_OWN_glLightxv ~, 1
#define VORNGL_SW_OWN_glMaterialx ~, 1
#define VORNGL_SW_OWN_glMaterialxv ~, 1
#define VORNGL_SW_OWN_glNormalPointer ~, 1
#define VORNGL_SW_OWN_glPixelStorei ~, 1
#define VORNGL_SW_OWN_glPolygonOffsetx ~, 1
#define VORNGL_SW_OWN_glReadPixels ~, 1
#define VORNGL_SW_OWN_glScissor ~, 1
#define VORNGL_SW_OWN_glShadeModel ~, 1
#define VORNGL_SW_OWN_glTexCoordPointer ~, 1
#define VORNGL_SW_OWN_glTexEnvxv ~, 1
#define VORNGL_SW_OWN_glTexImage2D ~, 1
#define VORNGL_SW_OWN_glTexParameterx ~, 1
#define VORNGL_SW_OWN_glTexSubImage2D ~, 1
#define VORNGL_SW_OWN_glVertexPointer ~, 1
#define VORNGL_SW_OWN_glViewport ~, 1
#define VORNGL_SW_OWN_vornGLGetAPI ~, 1
#define VORNGL_SW_OWN_vornGLGetDispInfo ~, 1
#define VORNGL_SW_OWN_vornGLGetOrientation ~, 1
#define VORNGL_SW_OWN_vornGLPreloadShaders ~, 1
#define VORNGL_SW_OWN_vornGLSaveShaders ~, 1
#define VORNGL_SW_OWN_vornGLSetOrientation ~, 1
#define VORNGL_SW_OWN_vornGLUpdateMatrices ~, 1

#define VORNGL_SW_SECOND(a, b, ...) b
#define VORNGL_SW_SECOND_(...) VORNGL_SW_SECOND(__VA_ARGS__)
#define VORNGL_SW_IS_OWN(name) VORNGL_SW_SECOND_(VORNGL_SW_OWN_##name, 0, ~)
#define VORNGL_SW_CAT(a, b) a##b
#define VORNGL_SW_CAT_(a, b) VORNGL_SW_CAT(a, b)
#define VORNGL_SW_BODY_0(ret, name, params, cv) \
    ret P3DBackendSW::name params cv { return SlotZero<ret>(); }
#define VORNGL_SW_BODY_1(ret, name, params, cv)
#define VORNGL_SW_EMPTY(kind, ret, name, params, args, cv) \
    VORNGL_SW_CAT_(VORNGL_SW_BODY_, VORNGL_SW_IS_OWN(name))(ret, name, params, cv)

namespace vornGL {

VORNGL_BACKEND_SLOTS(VORNGL_SW_EMPTY)

} // namespace vornGL
