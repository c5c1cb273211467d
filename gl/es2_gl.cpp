// The table of the platform's OpenGL ES 2.0 functions. This is the only
// translation unit of the GL library that includes GLES2/gl2.h.
#include "gl/es2_gl.h"

#include <GLES2/gl2.h>

#include <type_traits>

namespace vornGL {

// The slot table's types are those of the GL headers, so every pointer
// initialises without a cast and every call passes its arguments unchanged.
#define VORNGL_ES2_CHECK(kind, ret, name, params, args, cv) \
    VORNGL_ES2_IF_HAS(kind, name,                            \
                      static_assert(std::is_same_v<decltype(&::name), ret(*) params>, "slot type differs: " #name);)
VORNGL_BACKEND_SLOTS(VORNGL_ES2_CHECK)
#undef VORNGL_ES2_CHECK

#define VORNGL_ES2_INIT(kind, ret, name, params, args, cv) VORNGL_ES2_IF_HAS(kind, name, &::name, )
const ES2Dispatch kPlatformGLES2 = {VORNGL_BACKEND_SLOTS(VORNGL_ES2_INIT)};
#undef VORNGL_ES2_INIT

ES2Dispatch g_gles2 = kPlatformGLES2;

static_assert(es2::FRAGMENT_SHADER == GL_FRAGMENT_SHADER && es2::VERTEX_SHADER == GL_VERTEX_SHADER);
static_assert(es2::COMPILE_STATUS == GL_COMPILE_STATUS && es2::LINK_STATUS == GL_LINK_STATUS);
static_assert(es2::ACTIVE_UNIFORMS == GL_ACTIVE_UNIFORMS && es2::ACTIVE_ATTRIBUTES == GL_ACTIVE_ATTRIBUTES);
static_assert(es2::CURRENT_PROGRAM == GL_CURRENT_PROGRAM && es2::INT == GL_INT);
static_assert(es2::FLOAT_VEC2 == GL_FLOAT_VEC2 && es2::FLOAT_VEC3 == GL_FLOAT_VEC3 &&
              es2::FLOAT_VEC4 == GL_FLOAT_VEC4);
static_assert(es2::INT_VEC2 == GL_INT_VEC2 && es2::INT_VEC3 == GL_INT_VEC3 && es2::INT_VEC4 == GL_INT_VEC4);
static_assert(es2::FLOAT_MAT2 == GL_FLOAT_MAT2 && es2::FLOAT_MAT3 == GL_FLOAT_MAT3 &&
              es2::FLOAT_MAT4 == GL_FLOAT_MAT4);
static_assert(es2::SAMPLER_2D == GL_SAMPLER_2D && es2::SAMPLER_CUBE == GL_SAMPLER_CUBE);
static_assert(es2::MAX_TEXTURE_IMAGE_UNITS == GL_MAX_TEXTURE_IMAGE_UNITS);
static_assert(es2::BLEND_DST_RGB == GL_BLEND_DST_RGB && es2::BLEND_SRC_RGB == GL_BLEND_SRC_RGB);
static_assert(es2::SAMPLE_ALPHA_TO_COVERAGE == GL_SAMPLE_ALPHA_TO_COVERAGE &&
              es2::SAMPLE_COVERAGE == GL_SAMPLE_COVERAGE);

} // namespace vornGL
