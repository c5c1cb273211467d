// The OpenGL ES 2.0 back end, generated from the slot table where a slot goes
// straight to OpenGL ES 2.0; every other slot is written out below.
#include "gl/es2_backend.h"

#include "engine/platform/pdisplay.h"
#include "gl/es2_gl.h"

#include <GLES/gl.h>
#include <GLES/glext.h>

#pragma GCC diagnostic ignored "-Wunused-parameter"

namespace vornGL {

#define VORNGL_ES20_DEF_P(ret, name, params, args, cv) \
    ret P3DBackendES20::name params cv { return g_gles2.name args; }
#define VORNGL_ES20_DEF_G(ret, name, params, args, cv)
#define VORNGL_ES20_DEF_E(ret, name, params, args, cv)
#define VORNGL_ES20_DEF_V(ret, name, params, args, cv)
#define VORNGL_ES20_DEFINE(kind, ret, name, params, args, cv) \
    VORNGL_ES2_CAT(VORNGL_ES20_DEF_, VORNGL_ES2_CLASS(kind, name))(ret, name, params, args, cv)
VORNGL_BACKEND_SLOTS(VORNGL_ES20_DEFINE)
#undef VORNGL_ES20_DEFINE

P3DBackendES20::P3DBackendES20(PDisplayProperties* info, P3DStateMan& state)
    : m_info(info), m_emu(state), m_orientation(info ? info->orientation : 0), m_fixed(1)
{
    m_emu.SetBackend(this);
}

P3DBackendES20::~P3DBackendES20() {}

P3DBackend* CreateBackendES20(PDisplayProperties* info, P3DStateMan& state)
{
    return new P3DBackendES20(info, state);
}

// ---------------------------------------------------------------------------
// Operations of the GL layer

int P3DBackendES20::vornGLGetAPI() const { return kAPIES20; }
void P3DBackendES20::vornGLSetOrientation(int code) { m_orientation = code; }
int P3DBackendES20::vornGLGetOrientation() const { return m_orientation; }
PDisplayProperties* P3DBackendES20::vornGLGetDispInfo() const { return m_info; }
void P3DBackendES20::vornGLUpdateMatrices(int which) { m_emu.UpdateMatrices(which); }

void P3DBackendES20::vornGLSetFlags(int flags)
{
    PPaperDoll::m_ShaderColorTint = (flags & 1) != 0;
    PPaperDoll::m_ShaderHashEmbed = (flags & 2) != 0;
    m_emu.m_objectSpaceLighting = (flags & 8) ? 1 : 0;
    PPaperDoll::m_ExportShaders = (flags & 16) != 0;
    PPaperDoll::m_ShaderNoAlphaTest = true;
}

void P3DBackendES20::vornGLClearShaderCache() { m_emu.vornGLClearShaderCache(); }
void P3DBackendES20::vornGLRestoreShaders() { m_emu.vornGLRestoreShaders(); }
int P3DBackendES20::vornGLPushFixed() { return m_fixed++; }
void P3DBackendES20::vornGLPopFixed() { --m_fixed; }
void P3DBackendES20::vornGLSampleViewMatrix() { m_emu.vornGLSampleViewMatrix(); }
int P3DBackendES20::vornGLPreloadShaders() { return m_emu.vornGLPreloadShaders(); }
int P3DBackendES20::vornGLSaveShaders() { return m_emu.vornGLSaveShaders(); }
void P3DBackendES20::vornGLGenCustomShaders(u32 n, u32* h) { m_emu.vornGLGenCustomShaders(n, h); }
void P3DBackendES20::vornGLDeleteCustomShaders(u32 n, u32* h) { m_emu.vornGLDeleteCustomShaders(n, h); }
void P3DBackendES20::vornGLCustomShaderSource(u32 h, char const* vs, char const* fs)
{
    m_emu.vornGLCustomShaderSource(h, vs, fs);
}
void P3DBackendES20::vornGLGenUniform(char const* name, u32* id) { m_emu.vornGLGenUniform(name, id); }
void P3DBackendES20::vornGLBindUniform(u32 h, u32 id) { m_emu.vornGLBindUniform(h, id); }
void P3DBackendES20::vornGLSetUniformData(u32 id, void* data) { m_emu.vornGLSetUniformData(id, data); }
void P3DBackendES20::vornGLUseCustomShader(u32 h) { m_emu.vornGLUseCustomShader(h); }
u32 P3DBackendES20::vornGLGetCurrentCustomShaderHandle() { return m_emu.vornGLGetCurrentCustomShaderHandle(); }
u32 P3DBackendES20::vornGLCreateCustomShader(char const* vs, char const* fs)
{
    return m_emu.vornGLCreateCustomShader(vs, fs);
}
void P3DBackendES20::vornGLDeleteCustomShader(u32 index) { m_emu.vornGLDeleteCustomShader(index); }
void P3DBackendES20::vornGLSetCustomShader(u32 index) { m_emu.vornGLSetCustomShader(index); }
u32 P3DBackendES20::vornGLGetCustomShaderIndex() const { return m_emu.vornGLGetCustomShaderIndex(); }
i32 P3DBackendES20::vornGLBindUniformValue(u32 index, PGLShaderUniformValue& value, char const* name)
{
    return m_emu.vornGLBindUniformValue(index, value, name);
}

// ---------------------------------------------------------------------------
// OpenGL ES 2.0 operations the back end filters or routes

namespace {
bool ES2Capability(u32 cap)
{
    switch (cap) {
    case GL_CULL_FACE:
    case GL_DEPTH_TEST:
    case GL_STENCIL_TEST:
    case GL_DITHER:
    case GL_BLEND:
    case GL_SCISSOR_TEST:
    case GL_POLYGON_OFFSET_FILL:
    case es2::SAMPLE_ALPHA_TO_COVERAGE:
    case es2::SAMPLE_COVERAGE: return true;
    default: return false;
    }
}
} // namespace

void P3DBackendES20::glEnable(u32 cap)
{
    if (ES2Capability(cap))
        g_gles2.glEnable(cap);
}

void P3DBackendES20::glDisable(u32 cap)
{
    if (ES2Capability(cap))
        g_gles2.glDisable(cap);
}

void P3DBackendES20::glHint(u32 target, u32 mode)
{
    if (target == GL_GENERATE_MIPMAP_HINT)
        g_gles2.glHint(target, mode);
}

void P3DBackendES20::glBindBuffer(u32 target, u32 buffer)
{
    g_gles2.glBindBuffer(target, buffer);
    if (target == GL_ARRAY_BUFFER)
        m_emu.SetArrayBuffer(buffer);
}

void P3DBackendES20::glDeleteBuffers(i32 n, u32 const* buffers)
{
    if (buffers)
        for (i32 i = 0; i < n; ++i)
            m_emu.BufferDeleted(buffers[i]);
    g_gles2.glDeleteBuffers(n, buffers);
}

void P3DBackendES20::glDrawArrays(u32 mode, i32 first, i32 count)
{
    if (m_fixed > 0)
        m_emu.glDrawArrays(mode, first, count);
    else
        g_gles2.glDrawArrays(mode, first, count);
}

void P3DBackendES20::glDrawElements(u32 mode, i32 count, u32 type, void const* indices)
{
    if (m_fixed > 0)
        m_emu.glDrawElements(mode, count, type, indices);
    else
        g_gles2.glDrawElements(mode, count, type, indices);
}

void P3DBackendES20::glGetIntegerv(u32 pname, i32* data)
{
    if (m_fixed > 0)
        m_emu.glGetIntegerv(pname, data);
    else
        g_gles2.glGetIntegerv(pname, data);
}

// ---------------------------------------------------------------------------
// OpenGL ES 1.x operations: the emulation's

void P3DBackendES20::glGetFixedv(u32 pname, i32* params) { m_emu.glGetFixedv(pname, params); }
void P3DBackendES20::glAlphaFunc(u32 func, f32 ref) { m_emu.glAlphaFunc(func, ref); }
void P3DBackendES20::glAlphaFuncx(u32 func, i32 ref) { m_emu.glAlphaFuncx(func, ref); }
void P3DBackendES20::glColor4f(f32 r, f32 g, f32 b, f32 a) { m_emu.glColor4f(r, g, b, a); }
void P3DBackendES20::glColor4x(i32 r, i32 g, i32 b, i32 a) { m_emu.glColor4x(r, g, b, a); }
void P3DBackendES20::glColor4ub(u8 r, u8 g, u8 b, u8 a) { m_emu.glColor4ub(r, g, b, a); }
void P3DBackendES20::glNormal3f(f32 x, f32 y, f32 z) { m_emu.glNormal3f(x, y, z); }
void P3DBackendES20::glNormal3x(i32 x, i32 y, i32 z) { m_emu.glNormal3x(x, y, z); }
void P3DBackendES20::glFogfv(u32 pname, f32 const* params) { m_emu.glFogfv(pname, params); }
void P3DBackendES20::glFogxv(u32 pname, i32 const* params) { m_emu.glFogxv(pname, params); }
void P3DBackendES20::glLightfv(u32 light, u32 pname, f32 const* params) { m_emu.glLightfv(light, pname, params); }
void P3DBackendES20::glLightxv(u32 light, u32 pname, i32 const* params) { m_emu.glLightxv(light, pname, params); }
void P3DBackendES20::glLightModelfv(u32 pname, f32 const* params) { m_emu.glLightModelfv(pname, params); }
void P3DBackendES20::glLightModelxv(u32 pname, i32 const* params) { m_emu.glLightModelxv(pname, params); }
void P3DBackendES20::glMaterialfv(u32 face, u32 pname, f32 const* params) { m_emu.glMaterialfv(face, pname, params); }
void P3DBackendES20::glMaterialxv(u32 face, u32 pname, i32 const* params) { m_emu.glMaterialxv(face, pname, params); }
void P3DBackendES20::glTexEnvfv(u32 target, u32 pname, f32 const* params) { m_emu.glTexEnvfv(target, pname, params); }
void P3DBackendES20::glTexEnvxv(u32 target, u32 pname, i32 const* params) { m_emu.glTexEnvxv(target, pname, params); }
void P3DBackendES20::glTexEnviv(u32 target, u32 pname, i32 const* params) { m_emu.glTexEnviv(target, pname, params); }
void P3DBackendES20::glTexParameterxv(u32 target, u32 pname, i32 const* params)
{
    m_emu.glTexParameterxv(target, pname, params);
}
void P3DBackendES20::glVertexPointer(i32 size, u32 type, i32 stride, void const* pointer)
{
    m_emu.glVertexPointer(size, type, stride, pointer);
}
void P3DBackendES20::glNormalPointer(u32 type, i32 stride, void const* pointer)
{
    m_emu.glNormalPointer(type, stride, pointer);
}
void P3DBackendES20::glColorPointer(i32 size, u32 type, i32 stride, void const* pointer)
{
    m_emu.glColorPointer(size, type, stride, pointer);
}
void P3DBackendES20::glTexCoordPointer(i32 size, u32 type, i32 stride, void const* pointer)
{
    m_emu.glTexCoordPointer(size, type, stride, pointer);
}
void P3DBackendES20::glClearColorx(i32 r, i32 g, i32 b, i32 a) { m_emu.glClearColorx(r, g, b, a); }
void P3DBackendES20::glClearDepthx(i32 depth) { m_emu.glClearDepthx(depth); }
void P3DBackendES20::glDepthRangex(i32 n, i32 f) { m_emu.glDepthRangex(n, f); }
void P3DBackendES20::glLineWidthx(i32 width) { m_emu.glLineWidthx(width); }
void P3DBackendES20::glPolygonOffsetx(i32 factor, i32 units) { m_emu.glPolygonOffsetx(factor, units); }
void P3DBackendES20::glSampleCoveragex(i32 value, u8 invert) { m_emu.glSampleCoveragex(value, invert); }
void P3DBackendES20::glGetTexParameterxv(u32 target, u32 pname, i32* params)
{
    g_gles2.glGetTexParameteriv(target, pname, params);
}
// The client arrays' pointers come from the emulation's records.
void P3DBackendES20::glGetPointerv(u32 pname, void** params) { m_emu.glGetPointerv(pname, params); }

// Scalar forms through the vector forms (through the virtual table).
void P3DBackendES20::glFogf(u32 pname, f32 param) { glFogfv(pname, &param); }
void P3DBackendES20::glFogx(u32 pname, i32 param) { glFogxv(pname, &param); }
void P3DBackendES20::glLightModelf(u32 pname, f32 param) { glLightModelfv(pname, &param); }
void P3DBackendES20::glLightModelx(u32 pname, i32 param) { glLightModelxv(pname, &param); }
void P3DBackendES20::glLightf(u32 light, u32 pname, f32 param) { glLightfv(light, pname, &param); }
void P3DBackendES20::glLightx(u32 light, u32 pname, i32 param) { glLightxv(light, pname, &param); }
void P3DBackendES20::glMaterialf(u32 face, u32 pname, f32 param) { glMaterialfv(face, pname, &param); }
void P3DBackendES20::glMaterialx(u32 face, u32 pname, i32 param) { glMaterialxv(face, pname, &param); }
void P3DBackendES20::glTexEnvf(u32 target, u32 pname, f32 param) { glTexEnvfv(target, pname, &param); }
void P3DBackendES20::glTexEnvx(u32 target, u32 pname, i32 param) { glTexEnvxv(target, pname, &param); }
void P3DBackendES20::glTexParameterx(u32 target, u32 pname, i32 param) { glTexParameterxv(target, pname, &param); }
void P3DBackendES20::glTexEnvi(u32 target, u32 pname, i32 param) { m_emu.glTexEnviv(target, pname, &param); }

// Kept by the state manager, or not emulated: nothing to do.
void P3DBackendES20::glMatrixMode(u32) {}
void P3DBackendES20::glLoadIdentity() {}
void P3DBackendES20::glLoadMatrixf(f32 const*) {}
void P3DBackendES20::glLoadMatrixx(i32 const*) {}
void P3DBackendES20::glMultMatrixf(f32 const*) {}
void P3DBackendES20::glMultMatrixx(i32 const*) {}
void P3DBackendES20::glPushMatrix() {}
void P3DBackendES20::glPopMatrix() {}
void P3DBackendES20::glFrustumf(f32, f32, f32, f32, f32, f32) {}
void P3DBackendES20::glFrustumx(i32, i32, i32, i32, i32, i32) {}
void P3DBackendES20::glOrthof(f32, f32, f32, f32, f32, f32) {}
void P3DBackendES20::glOrthox(i32, i32, i32, i32, i32, i32) {}
void P3DBackendES20::glRotatef(f32, f32, f32, f32) {}
void P3DBackendES20::glRotatex(i32, i32, i32, i32) {}
void P3DBackendES20::glScalef(f32, f32, f32) {}
void P3DBackendES20::glScalex(i32, i32, i32) {}
void P3DBackendES20::glTranslatef(f32, f32, f32) {}
void P3DBackendES20::glTranslatex(i32, i32, i32) {}
void P3DBackendES20::glEnableClientState(u32) {}
void P3DBackendES20::glDisableClientState(u32) {}
void P3DBackendES20::glClientActiveTexture(u32) {}
void P3DBackendES20::glClipPlanef(u32, f32 const*) {}
void P3DBackendES20::glClipPlanex(u32, i32 const*) {}
void P3DBackendES20::glGetClipPlanef(u32, f32*) {}
void P3DBackendES20::glGetClipPlanex(u32, i32*) {}
void P3DBackendES20::glGetLightfv(u32, u32, f32*) {}
void P3DBackendES20::glGetLightxv(u32, u32, i32*) {}
void P3DBackendES20::glGetMaterialfv(u32, u32, f32*) {}
void P3DBackendES20::glGetMaterialxv(u32, u32, i32*) {}
void P3DBackendES20::glGetTexEnvfv(u32, u32, f32*) {}
void P3DBackendES20::glGetTexEnvxv(u32, u32, i32*) {}
void P3DBackendES20::glGetTexEnviv(u32, u32, i32*) {}
void P3DBackendES20::glMultiTexCoord4f(u32, f32, f32, f32, f32) {}
void P3DBackendES20::glMultiTexCoord4x(u32, i32, i32, i32, i32) {}
void P3DBackendES20::glPointParameterf(u32, f32) {}
void P3DBackendES20::glPointParameterx(u32, i32) {}
void P3DBackendES20::glPointParameterfv(u32, f32 const*) {}
void P3DBackendES20::glPointParameterxv(u32, i32 const*) {}
void P3DBackendES20::glPointSize(f32) {}
void P3DBackendES20::glPointSizex(i32) {}
void P3DBackendES20::glLogicOp(u32) {}
void P3DBackendES20::glShadeModel(u32) {}

} // namespace vornGL
