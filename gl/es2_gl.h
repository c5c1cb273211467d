// The OpenGL ES 2.0 functions the ES 2.0 back end and its fixed-function
// emulation call, as one table of function pointers (`g_gles2`) generated
// from the back-end slot table: every OpenGL ES 2.0 row (kinds N and F) and
// the common rows that OpenGL ES 2.0 has. The table starts out holding the
// platform's libGLESv2 functions; tests may put tracing or recording functions
// in their place and restore `kPlatformGLES2` afterwards.
//
// Like every header of gl/, this one includes no GL header: the constants of
// OpenGL ES 2.0 that OpenGL ES 1.1 lacks are spelled out below (es2_gl.cpp
// checks them against GLES2/gl2.h).
#pragma once
#include <cstdint>

#include "gl/glbackend.h"

// How the ES 2.0 back end treats each common slot (kind C of the slot table):
//   P  passed straight to the OpenGL ES 2.0 function of the same name;
//   G  an OpenGL ES 2.0 function that the back end filters or routes itself;
//   E  OpenGL ES 1.x only: emulated, converted or ignored by the back end.
#define VORNGL_ES2_glClearColor P
#define VORNGL_ES2_glClearDepthf P
#define VORNGL_ES2_glDepthRangef P
#define VORNGL_ES2_glGetFloatv P
#define VORNGL_ES2_glGetTexParameterfv P
#define VORNGL_ES2_glLineWidth P
#define VORNGL_ES2_glPolygonOffset P
#define VORNGL_ES2_glTexParameterf P
#define VORNGL_ES2_glTexParameterfv P
#define VORNGL_ES2_glActiveTexture P
#define VORNGL_ES2_glBindBuffer G
#define VORNGL_ES2_glBindTexture P
#define VORNGL_ES2_glBlendFunc P
#define VORNGL_ES2_glBufferData P
#define VORNGL_ES2_glBufferSubData P
#define VORNGL_ES2_glClear P
#define VORNGL_ES2_glClearStencil P
#define VORNGL_ES2_glColorMask P
#define VORNGL_ES2_glCompressedTexImage2D P
#define VORNGL_ES2_glCompressedTexSubImage2D P
#define VORNGL_ES2_glCopyTexImage2D P
#define VORNGL_ES2_glCopyTexSubImage2D P
#define VORNGL_ES2_glCullFace P
#define VORNGL_ES2_glDeleteBuffers G
#define VORNGL_ES2_glDeleteTextures P
#define VORNGL_ES2_glDepthFunc P
#define VORNGL_ES2_glDepthMask P
#define VORNGL_ES2_glDisable G
#define VORNGL_ES2_glDrawArrays G
#define VORNGL_ES2_glDrawElements G
#define VORNGL_ES2_glEnable G
#define VORNGL_ES2_glFinish P
#define VORNGL_ES2_glFlush P
#define VORNGL_ES2_glFrontFace P
#define VORNGL_ES2_glGetBooleanv P
#define VORNGL_ES2_glGetBufferParameteriv P
#define VORNGL_ES2_glGenBuffers P
#define VORNGL_ES2_glGenTextures P
#define VORNGL_ES2_glGetError P
#define VORNGL_ES2_glGetIntegerv G
#define VORNGL_ES2_glGetString P
#define VORNGL_ES2_glGetTexParameteriv P
#define VORNGL_ES2_glHint G
#define VORNGL_ES2_glIsBuffer P
#define VORNGL_ES2_glIsEnabled P
#define VORNGL_ES2_glIsTexture P
#define VORNGL_ES2_glPixelStorei P
#define VORNGL_ES2_glReadPixels P
#define VORNGL_ES2_glSampleCoverage P
#define VORNGL_ES2_glScissor P
#define VORNGL_ES2_glStencilFunc P
#define VORNGL_ES2_glStencilMask P
#define VORNGL_ES2_glStencilOp P
#define VORNGL_ES2_glTexImage2D P
#define VORNGL_ES2_glTexParameteri P
#define VORNGL_ES2_glTexParameteriv P
#define VORNGL_ES2_glTexSubImage2D P
#define VORNGL_ES2_glViewport P
#define VORNGL_ES2_glAlphaFunc E
#define VORNGL_ES2_glClipPlanef E
#define VORNGL_ES2_glColor4f E
#define VORNGL_ES2_glFogf E
#define VORNGL_ES2_glFogfv E
#define VORNGL_ES2_glFrustumf E
#define VORNGL_ES2_glGetClipPlanef E
#define VORNGL_ES2_glGetLightfv E
#define VORNGL_ES2_glGetMaterialfv E
#define VORNGL_ES2_glGetTexEnvfv E
#define VORNGL_ES2_glLightModelf E
#define VORNGL_ES2_glLightModelfv E
#define VORNGL_ES2_glLightf E
#define VORNGL_ES2_glLightfv E
#define VORNGL_ES2_glLoadMatrixf E
#define VORNGL_ES2_glMaterialf E
#define VORNGL_ES2_glMaterialfv E
#define VORNGL_ES2_glMultMatrixf E
#define VORNGL_ES2_glMultiTexCoord4f E
#define VORNGL_ES2_glNormal3f E
#define VORNGL_ES2_glOrthof E
#define VORNGL_ES2_glPointParameterf E
#define VORNGL_ES2_glPointParameterfv E
#define VORNGL_ES2_glPointSize E
#define VORNGL_ES2_glRotatef E
#define VORNGL_ES2_glScalef E
#define VORNGL_ES2_glTexEnvf E
#define VORNGL_ES2_glTexEnvfv E
#define VORNGL_ES2_glTranslatef E
#define VORNGL_ES2_glAlphaFuncx E
#define VORNGL_ES2_glClearColorx E
#define VORNGL_ES2_glClearDepthx E
#define VORNGL_ES2_glClientActiveTexture E
#define VORNGL_ES2_glClipPlanex E
#define VORNGL_ES2_glColor4ub E
#define VORNGL_ES2_glColor4x E
#define VORNGL_ES2_glColorPointer E
#define VORNGL_ES2_glDepthRangex E
#define VORNGL_ES2_glDisableClientState E
#define VORNGL_ES2_glEnableClientState E
#define VORNGL_ES2_glFogx E
#define VORNGL_ES2_glFogxv E
#define VORNGL_ES2_glFrustumx E
#define VORNGL_ES2_glGetClipPlanex E
#define VORNGL_ES2_glGetFixedv E
#define VORNGL_ES2_glGetLightxv E
#define VORNGL_ES2_glGetMaterialxv E
#define VORNGL_ES2_glGetPointerv E
#define VORNGL_ES2_glGetTexEnviv E
#define VORNGL_ES2_glGetTexEnvxv E
#define VORNGL_ES2_glGetTexParameterxv E
#define VORNGL_ES2_glLightModelx E
#define VORNGL_ES2_glLightModelxv E
#define VORNGL_ES2_glLightx E
#define VORNGL_ES2_glLightxv E
#define VORNGL_ES2_glLineWidthx E
#define VORNGL_ES2_glLoadIdentity E
#define VORNGL_ES2_glLoadMatrixx E
#define VORNGL_ES2_glLogicOp E
#define VORNGL_ES2_glMaterialx E
#define VORNGL_ES2_glMaterialxv E
#define VORNGL_ES2_glMatrixMode E
#define VORNGL_ES2_glMultMatrixx E
#define VORNGL_ES2_glMultiTexCoord4x E
#define VORNGL_ES2_glNormal3x E
#define VORNGL_ES2_glNormalPointer E
#define VORNGL_ES2_glOrthox E
#define VORNGL_ES2_glPointParameterx E
#define VORNGL_ES2_glPointParameterxv E
#define VORNGL_ES2_glPointSizex E
#define VORNGL_ES2_glPolygonOffsetx E
#define VORNGL_ES2_glPopMatrix E
#define VORNGL_ES2_glPushMatrix E
#define VORNGL_ES2_glRotatex E
#define VORNGL_ES2_glSampleCoveragex E
#define VORNGL_ES2_glScalex E
#define VORNGL_ES2_glShadeModel E
#define VORNGL_ES2_glTexCoordPointer E
#define VORNGL_ES2_glTexEnvi E
#define VORNGL_ES2_glTexEnvx E
#define VORNGL_ES2_glTexEnviv E
#define VORNGL_ES2_glTexEnvxv E
#define VORNGL_ES2_glTexParameterx E
#define VORNGL_ES2_glTexParameterxv E
#define VORNGL_ES2_glTranslatex E
#define VORNGL_ES2_glVertexPointer E

#define VORNGL_ES2_CAT_(a, b) a##b
#define VORNGL_ES2_CAT(a, b) VORNGL_ES2_CAT_(a, b)
// The class letter of a slot: N and F rows are OpenGL ES 2.0 (class P unless
// listed), C rows take their letter from the list above.
#define VORNGL_ES2_CLASS_N(name) P
#define VORNGL_ES2_CLASS_F(name) P
#define VORNGL_ES2_CLASS_V(name) V
#define VORNGL_ES2_CLASS_C(name) VORNGL_ES2_##name
#define VORNGL_ES2_CLASS(kind, name) VORNGL_ES2_CAT(VORNGL_ES2_CLASS_, kind)(name)
// 1 when the platform's OpenGL ES 2.0 has the function.
#define VORNGL_ES2_HAS_P 1
#define VORNGL_ES2_HAS_G 1
#define VORNGL_ES2_HAS_E 0
#define VORNGL_ES2_HAS_V 0
#define VORNGL_ES2_HAS(kind, name) VORNGL_ES2_CAT(VORNGL_ES2_HAS_, VORNGL_ES2_CLASS(kind, name))
#define VORNGL_ES2_IF_1(...) __VA_ARGS__
#define VORNGL_ES2_IF_0(...)
// Expands its remaining arguments only for slots the platform's ES 2.0 has.
#define VORNGL_ES2_IF_HAS(kind, name, ...) VORNGL_ES2_CAT(VORNGL_ES2_IF_, VORNGL_ES2_HAS(kind, name))(__VA_ARGS__)

namespace vornGL {

struct ES2Dispatch {
#define VORNGL_ES2_MEMBER(kind, ret, name, params, args, cv) VORNGL_ES2_IF_HAS(kind, name, ret(*name) params;)
    VORNGL_BACKEND_SLOTS(VORNGL_ES2_MEMBER)
#undef VORNGL_ES2_MEMBER
};

// The platform's functions.
extern const ES2Dispatch kPlatformGLES2;
// The functions in use (a copy of kPlatformGLES2 unless a test replaced it).
extern ES2Dispatch g_gles2;

// OpenGL ES 2.0 constants that OpenGL ES 1.1 has not.
namespace es2 {
constexpr u32 FRAGMENT_SHADER = 0x8B30;
constexpr u32 VERTEX_SHADER = 0x8B31;
constexpr u32 COMPILE_STATUS = 0x8B81;
constexpr u32 LINK_STATUS = 0x8B82;
constexpr u32 ACTIVE_UNIFORMS = 0x8B86;
constexpr u32 ACTIVE_ATTRIBUTES = 0x8B89;
constexpr u32 CURRENT_PROGRAM = 0x8B8D;
constexpr u32 INT = 0x1404;
constexpr u32 FLOAT_VEC2 = 0x8B50;
constexpr u32 FLOAT_VEC3 = 0x8B51;
constexpr u32 FLOAT_VEC4 = 0x8B52;
constexpr u32 INT_VEC2 = 0x8B53;
constexpr u32 INT_VEC3 = 0x8B54;
constexpr u32 INT_VEC4 = 0x8B55;
constexpr u32 FLOAT_MAT2 = 0x8B5A;
constexpr u32 FLOAT_MAT3 = 0x8B5B;
constexpr u32 FLOAT_MAT4 = 0x8B5C;
constexpr u32 SAMPLER_2D = 0x8B5E;
constexpr u32 SAMPLER_CUBE = 0x8B60;
constexpr u32 MAX_TEXTURE_IMAGE_UNITS = 0x8872;
constexpr u32 BLEND_DST_RGB = 0x80C8;
constexpr u32 BLEND_SRC_RGB = 0x80C9;
constexpr u32 SAMPLE_ALPHA_TO_COVERAGE = 0x809E;
constexpr u32 SAMPLE_COVERAGE = 0x80A0;
} // namespace es2

} // namespace vornGL
