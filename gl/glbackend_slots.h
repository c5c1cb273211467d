// The one table of back-end slots. Every back end and the interface itself
// are generated from it, so the slot order lives in exactly one place.
//
// Each row: X(kind, result, name, (typed parameters), (argument names), qualifier)
//   kind V: an operation of the GL layer itself (prefix vornGL)
//   kind C: a GL operation that OpenGL ES 1.1 has (common to 1.1 and 2.0, or 1.1 only)
//   kind F: an OpenGL ES 2.0 framebuffer-object operation (the OES extension on 1.1)
//   kind N: any other OpenGL ES 2.0 operation
// Types are those of the GL headers: enums and names u32, sizes i32, 16.16 values
// i32, booleans u8, floats f32, pointer-sized integers intptr_t.
#pragma once

#define VORNGL_BACKEND_SLOTS(X) \
    /* operations of the GL layer */ \
    X(V, int, vornGLGetAPI, (), (), const) \
    X(V, void, vornGLSetOrientation, (int code), (code), ) \
    X(V, int, vornGLGetOrientation, (), (), const) \
    X(V, PDisplayProperties*, vornGLGetDispInfo, (), (), const) \
    X(V, void, vornGLUpdateMatrices, (int which), (which), ) \
    X(V, void, vornGLSetFlags, (int flags), (flags), ) \
    X(V, void, vornGLClearShaderCache, (), (), ) \
    X(V, void, vornGLRestoreShaders, (), (), ) \
    X(V, int, vornGLPushFixed, (), (), ) \
    X(V, void, vornGLPopFixed, (), (), ) \
    X(V, void, vornGLSampleViewMatrix, (), (), ) \
    X(V, int, vornGLPreloadShaders, (), (), ) \
    X(V, int, vornGLSaveShaders, (), (), ) \
    X(V, void, vornGLGenCustomShaders, (u32 n, u32* handles), (n, handles), ) \
    X(V, void, vornGLDeleteCustomShaders, (u32 n, u32* handles), (n, handles), ) \
    X(V, void, vornGLCustomShaderSource, (u32 handle, char const* vs, char const* fs), (handle, vs, fs), ) \
    X(V, void, vornGLGenUniform, (char const* uname, u32* id), (uname, id), ) \
    X(V, void, vornGLBindUniform, (u32 handle, u32 id), (handle, id), ) \
    X(V, void, vornGLSetUniformData, (u32 id, void* data), (id, data), ) \
    X(V, void, vornGLUseCustomShader, (u32 handle), (handle), ) \
    X(V, u32, vornGLGetCurrentCustomShaderHandle, (), (), ) \
    X(V, u32, vornGLCreateCustomShader, (char const* vs, char const* fs), (vs, fs), ) \
    X(V, void, vornGLDeleteCustomShader, (u32 index), (index), ) \
    X(V, void, vornGLSetCustomShader, (u32 index), (index), ) \
    X(V, u32, vornGLGetCustomShaderIndex, (), (), const) \
    X(V, i32, vornGLBindUniformValue, (u32 index, PGLShaderUniformValue& value, char const* uname), (index, value, uname), ) \
    /* float operations common to OpenGL ES 1.1 and 2.0 */ \
    X(C, void, glClearColor, (f32 r, f32 g, f32 b, f32 a), (r, g, b, a), ) \
    X(C, void, glClearDepthf, (f32 d), (d), ) \
    X(C, void, glDepthRangef, (f32 n, f32 f), (n, f), ) \
    X(C, void, glGetFloatv, (u32 pname, f32* data), (pname, data), ) \
    X(C, void, glGetTexParameterfv, (u32 target, u32 pname, f32* params), (target, pname, params), ) \
    X(C, void, glLineWidth, (f32 width), (width), ) \
    X(C, void, glPolygonOffset, (f32 factor, f32 units), (factor, units), ) \
    X(C, void, glTexParameterf, (u32 target, u32 pname, f32 param), (target, pname, param), ) \
    X(C, void, glTexParameterfv, (u32 target, u32 pname, f32 const* params), (target, pname, params), ) \
    /* other operations common to OpenGL ES 1.1 and 2.0 */ \
    X(C, void, glActiveTexture, (u32 texture), (texture), ) \
    X(C, void, glBindBuffer, (u32 target, u32 buffer), (target, buffer), ) \
    X(C, void, glBindTexture, (u32 target, u32 texture), (target, texture), ) \
    X(C, void, glBlendFunc, (u32 sfactor, u32 dfactor), (sfactor, dfactor), ) \
    X(C, void, glBufferData, (u32 target, intptr_t size, void const* data, u32 usage), (target, size, data, usage), ) \
    X(C, void, glBufferSubData, (u32 target, intptr_t offset, intptr_t size, void const* data), (target, offset, size, data), ) \
    X(C, void, glClear, (u32 mask), (mask), ) \
    X(C, void, glClearStencil, (i32 s), (s), ) \
    X(C, void, glColorMask, (u8 r, u8 g, u8 b, u8 a), (r, g, b, a), ) \
    X(C, void, glCompressedTexImage2D, (u32 target, i32 level, u32 internalformat, i32 width, i32 height, i32 border, i32 imageSize, void const* data), (target, level, internalformat, width, height, border, imageSize, data), ) \
    X(C, void, glCompressedTexSubImage2D, (u32 target, i32 level, i32 xoffset, i32 yoffset, i32 width, i32 height, u32 format, i32 imageSize, void const* data), (target, level, xoffset, yoffset, width, height, format, imageSize, data), ) \
    X(C, void, glCopyTexImage2D, (u32 target, i32 level, u32 internalformat, i32 x, i32 y, i32 width, i32 height, i32 border), (target, level, internalformat, x, y, width, height, border), ) \
    X(C, void, glCopyTexSubImage2D, (u32 target, i32 level, i32 xoffset, i32 yoffset, i32 x, i32 y, i32 width, i32 height), (target, level, xoffset, yoffset, x, y, width, height), ) \
    X(C, void, glCullFace, (u32 mode), (mode), ) \
    X(C, void, glDeleteBuffers, (i32 n, u32 const* buffers), (n, buffers), ) \
    X(C, void, glDeleteTextures, (i32 n, u32 const* textures), (n, textures), ) \
    X(C, void, glDepthFunc, (u32 func), (func), ) \
    X(C, void, glDepthMask, (u8 flag), (flag), ) \
    X(C, void, glDisable, (u32 cap), (cap), ) \
    X(C, void, glDrawArrays, (u32 mode, i32 first, i32 count), (mode, first, count), ) \
    X(C, void, glDrawElements, (u32 mode, i32 count, u32 type, void const* indices), (mode, count, type, indices), ) \
    X(C, void, glEnable, (u32 cap), (cap), ) \
    X(C, void, glFinish, (), (), ) \
    X(C, void, glFlush, (), (), ) \
    X(C, void, glFrontFace, (u32 mode), (mode), ) \
    X(C, void, glGetBooleanv, (u32 pname, u8* data), (pname, data), ) \
    X(C, void, glGetBufferParameteriv, (u32 target, u32 pname, i32* params), (target, pname, params), ) \
    X(C, void, glGenBuffers, (i32 n, u32* buffers), (n, buffers), ) \
    X(C, void, glGenTextures, (i32 n, u32* textures), (n, textures), ) \
    X(C, u32, glGetError, (), (), ) \
    X(C, void, glGetIntegerv, (u32 pname, i32* data), (pname, data), ) \
    X(C, u8 const*, glGetString, (u32 sname), (sname), ) \
    X(C, void, glGetTexParameteriv, (u32 target, u32 pname, i32* params), (target, pname, params), ) \
    X(C, void, glHint, (u32 target, u32 mode), (target, mode), ) \
    X(C, u8, glIsBuffer, (u32 buffer), (buffer), ) \
    X(C, u8, glIsEnabled, (u32 cap), (cap), ) \
    X(C, u8, glIsTexture, (u32 texture), (texture), ) \
    X(C, void, glPixelStorei, (u32 pname, i32 param), (pname, param), ) \
    X(C, void, glReadPixels, (i32 x, i32 y, i32 width, i32 height, u32 format, u32 type, void* pixels), (x, y, width, height, format, type, pixels), ) \
    X(C, void, glSampleCoverage, (f32 value, u8 invert), (value, invert), ) \
    X(C, void, glScissor, (i32 x, i32 y, i32 width, i32 height), (x, y, width, height), ) \
    X(C, void, glStencilFunc, (u32 func, i32 ref, u32 mask), (func, ref, mask), ) \
    X(C, void, glStencilMask, (u32 mask), (mask), ) \
    X(C, void, glStencilOp, (u32 fail, u32 zfail, u32 zpass), (fail, zfail, zpass), ) \
    X(C, void, glTexImage2D, (u32 target, i32 level, i32 internalformat, i32 width, i32 height, i32 border, u32 format, u32 type, void const* pixels), (target, level, internalformat, width, height, border, format, type, pixels), ) \
    X(C, void, glTexParameteri, (u32 target, u32 pname, i32 param), (target, pname, param), ) \
    X(C, void, glTexParameteriv, (u32 target, u32 pname, i32 const* params), (target, pname, params), ) \
    X(C, void, glTexSubImage2D, (u32 target, i32 level, i32 xoffset, i32 yoffset, i32 width, i32 height, u32 format, u32 type, void const* pixels), (target, level, xoffset, yoffset, width, height, format, type, pixels), ) \
    X(C, void, glViewport, (i32 x, i32 y, i32 width, i32 height), (x, y, width, height), ) \
    /* OpenGL ES 1.1 float operations */ \
    X(C, void, glAlphaFunc, (u32 func, f32 ref), (func, ref), ) \
    X(C, void, glClipPlanef, (u32 plane, f32 const* eqn), (plane, eqn), ) \
    X(C, void, glColor4f, (f32 r, f32 g, f32 b, f32 a), (r, g, b, a), ) \
    X(C, void, glFogf, (u32 pname, f32 param), (pname, param), ) \
    X(C, void, glFogfv, (u32 pname, f32 const* params), (pname, params), ) \
    X(C, void, glFrustumf, (f32 l, f32 r, f32 b, f32 t, f32 n, f32 f), (l, r, b, t, n, f), ) \
    X(C, void, glGetClipPlanef, (u32 plane, f32* eqn), (plane, eqn), ) \
    X(C, void, glGetLightfv, (u32 light, u32 pname, f32* params), (light, pname, params), ) \
    X(C, void, glGetMaterialfv, (u32 face, u32 pname, f32* params), (face, pname, params), ) \
    X(C, void, glGetTexEnvfv, (u32 target, u32 pname, f32* params), (target, pname, params), ) \
    X(C, void, glLightModelf, (u32 pname, f32 param), (pname, param), ) \
    X(C, void, glLightModelfv, (u32 pname, f32 const* params), (pname, params), ) \
    X(C, void, glLightf, (u32 light, u32 pname, f32 param), (light, pname, param), ) \
    X(C, void, glLightfv, (u32 light, u32 pname, f32 const* params), (light, pname, params), ) \
    X(C, void, glLoadMatrixf, (f32 const* m), (m), ) \
    X(C, void, glMaterialf, (u32 face, u32 pname, f32 param), (face, pname, param), ) \
    X(C, void, glMaterialfv, (u32 face, u32 pname, f32 const* params), (face, pname, params), ) \
    X(C, void, glMultMatrixf, (f32 const* m), (m), ) \
    X(C, void, glMultiTexCoord4f, (u32 target, f32 s, f32 t, f32 r, f32 q), (target, s, t, r, q), ) \
    X(C, void, glNormal3f, (f32 nx, f32 ny, f32 nz), (nx, ny, nz), ) \
    X(C, void, glOrthof, (f32 l, f32 r, f32 b, f32 t, f32 n, f32 f), (l, r, b, t, n, f), ) \
    X(C, void, glPointParameterf, (u32 pname, f32 param), (pname, param), ) \
    X(C, void, glPointParameterfv, (u32 pname, f32 const* params), (pname, params), ) \
    X(C, void, glPointSize, (f32 size), (size), ) \
    X(C, void, glRotatef, (f32 angle, f32 x, f32 y, f32 z), (angle, x, y, z), ) \
    X(C, void, glScalef, (f32 x, f32 y, f32 z), (x, y, z), ) \
    X(C, void, glTexEnvf, (u32 target, u32 pname, f32 param), (target, pname, param), ) \
    X(C, void, glTexEnvfv, (u32 target, u32 pname, f32 const* params), (target, pname, params), ) \
    X(C, void, glTranslatef, (f32 x, f32 y, f32 z), (x, y, z), ) \
    /* OpenGL ES 1.1 fixed-point and integer operations */ \
    X(C, void, glAlphaFuncx, (u32 func, i32 ref), (func, ref), ) \
    X(C, void, glClearColorx, (i32 r, i32 g, i32 b, i32 a), (r, g, b, a), ) \
    X(C, void, glClearDepthx, (i32 depth), (depth), ) \
    X(C, void, glClientActiveTexture, (u32 texture), (texture), ) \
    X(C, void, glClipPlanex, (u32 plane, i32 const* eqn), (plane, eqn), ) \
    X(C, void, glColor4ub, (u8 r, u8 g, u8 b, u8 a), (r, g, b, a), ) \
    X(C, void, glColor4x, (i32 r, i32 g, i32 b, i32 a), (r, g, b, a), ) \
    X(C, void, glColorPointer, (i32 size, u32 type, i32 stride, void const* pointer), (size, type, stride, pointer), ) \
    X(C, void, glDepthRangex, (i32 n, i32 f), (n, f), ) \
    X(C, void, glDisableClientState, (u32 array), (array), ) \
    X(C, void, glEnableClientState, (u32 array), (array), ) \
    X(C, void, glFogx, (u32 pname, i32 param), (pname, param), ) \
    X(C, void, glFogxv, (u32 pname, i32 const* params), (pname, params), ) \
    X(C, void, glFrustumx, (i32 l, i32 r, i32 b, i32 t, i32 n, i32 f), (l, r, b, t, n, f), ) \
    X(C, void, glGetClipPlanex, (u32 plane, i32* eqn), (plane, eqn), ) \
    X(C, void, glGetFixedv, (u32 pname, i32* params), (pname, params), ) \
    X(C, void, glGetLightxv, (u32 light, u32 pname, i32* params), (light, pname, params), ) \
    X(C, void, glGetMaterialxv, (u32 face, u32 pname, i32* params), (face, pname, params), ) \
    X(C, void, glGetPointerv, (u32 pname, void** params), (pname, params), ) \
    X(C, void, glGetTexEnviv, (u32 target, u32 pname, i32* params), (target, pname, params), ) \
    X(C, void, glGetTexEnvxv, (u32 target, u32 pname, i32* params), (target, pname, params), ) \
    X(C, void, glGetTexParameterxv, (u32 target, u32 pname, i32* params), (target, pname, params), ) \
    X(C, void, glLightModelx, (u32 pname, i32 param), (pname, param), ) \
    X(C, void, glLightModelxv, (u32 pname, i32 const* params), (pname, params), ) \
    X(C, void, glLightx, (u32 light, u32 pname, i32 param), (light, pname, param), ) \
    X(C, void, glLightxv, (u32 light, u32 pname, i32 const* params), (light, pname, params), ) \
    X(C, void, glLineWidthx, (i32 width), (width), ) \
    X(C, void, glLoadIdentity, (), (), ) \
    X(C, void, glLoadMatrixx, (i32 const* m), (m), ) \
    X(C, void, glLogicOp, (u32 opcode), (opcode), ) \
    X(C, void, glMaterialx, (u32 face, u32 pname, i32 param), (face, pname, param), ) \
    X(C, void, glMaterialxv, (u32 face, u32 pname, i32 const* params), (face, pname, params), ) \
    X(C, void, glMatrixMode, (u32 mode), (mode), ) \
    X(C, void, glMultMatrixx, (i32 const* m), (m), ) \
    X(C, void, glMultiTexCoord4x, (u32 target, i32 s, i32 t, i32 r, i32 q), (target, s, t, r, q), ) \
    X(C, void, glNormal3x, (i32 nx, i32 ny, i32 nz), (nx, ny, nz), ) \
    X(C, void, glNormalPointer, (u32 type, i32 stride, void const* pointer), (type, stride, pointer), ) \
    X(C, void, glOrthox, (i32 l, i32 r, i32 b, i32 t, i32 n, i32 f), (l, r, b, t, n, f), ) \
    X(C, void, glPointParameterx, (u32 pname, i32 param), (pname, param), ) \
    X(C, void, glPointParameterxv, (u32 pname, i32 const* params), (pname, params), ) \
    X(C, void, glPointSizex, (i32 size), (size), ) \
    X(C, void, glPolygonOffsetx, (i32 factor, i32 units), (factor, units), ) \
    X(C, void, glPopMatrix, (), (), ) \
    X(C, void, glPushMatrix, (), (), ) \
    X(C, void, glRotatex, (i32 angle, i32 x, i32 y, i32 z), (angle, x, y, z), ) \
    X(C, void, glSampleCoveragex, (i32 value, u8 invert), (value, invert), ) \
    X(C, void, glScalex, (i32 x, i32 y, i32 z), (x, y, z), ) \
    X(C, void, glShadeModel, (u32 mode), (mode), ) \
    X(C, void, glTexCoordPointer, (i32 size, u32 type, i32 stride, void const* pointer), (size, type, stride, pointer), ) \
    X(C, void, glTexEnvi, (u32 target, u32 pname, i32 param), (target, pname, param), ) \
    X(C, void, glTexEnvx, (u32 target, u32 pname, i32 param), (target, pname, param), ) \
    X(C, void, glTexEnviv, (u32 target, u32 pname, i32 const* params), (target, pname, params), ) \
    X(C, void, glTexEnvxv, (u32 target, u32 pname, i32 const* params), (target, pname, params), ) \
    X(C, void, glTexParameterx, (u32 target, u32 pname, i32 param), (target, pname, param), ) \
    X(C, void, glTexParameterxv, (u32 target, u32 pname, i32 const* params), (target, pname, params), ) \
    X(C, void, glTranslatex, (i32 x, i32 y, i32 z), (x, y, z), ) \
    X(C, void, glVertexPointer, (i32 size, u32 type, i32 stride, void const* pointer), (size, type, stride, pointer), ) \
    /* OpenGL ES 2.0 operations */ \
    X(N, void, glAttachShader, (u32 program, u32 shader), (program, shader), ) \
    X(N, void, glBindAttribLocation, (u32 program, u32 index, char const* aname), (program, index, aname), ) \
    X(F, void, glBindFramebuffer, (u32 target, u32 framebuffer), (target, framebuffer), ) \
    X(F, void, glBindRenderbuffer, (u32 target, u32 renderbuffer), (target, renderbuffer), ) \
    X(N, void, glBlendColor, (f32 r, f32 g, f32 b, f32 a), (r, g, b, a), ) \
    X(N, void, glBlendEquation, (u32 mode), (mode), ) \
    X(N, void, glBlendEquationSeparate, (u32 modeRGB, u32 modeAlpha), (modeRGB, modeAlpha), ) \
    X(N, void, glBlendFuncSeparate, (u32 srcRGB, u32 dstRGB, u32 srcAlpha, u32 dstAlpha), (srcRGB, dstRGB, srcAlpha, dstAlpha), ) \
    X(F, u32, glCheckFramebufferStatus, (u32 target), (target), ) \
    X(N, void, glCompileShader, (u32 shader), (shader), ) \
    X(N, u32, glCreateProgram, (), (), ) \
    X(N, u32, glCreateShader, (u32 type), (type), ) \
    X(F, void, glDeleteFramebuffers, (i32 n, u32 const* framebuffers), (n, framebuffers), ) \
    X(N, void, glDeleteProgram, (u32 program), (program), ) \
    X(F, void, glDeleteRenderbuffers, (i32 n, u32 const* renderbuffers), (n, renderbuffers), ) \
    X(N, void, glDeleteShader, (u32 shader), (shader), ) \
    X(N, void, glDetachShader, (u32 program, u32 shader), (program, shader), ) \
    X(N, void, glDisableVertexAttribArray, (u32 index), (index), ) \
    X(N, void, glEnableVertexAttribArray, (u32 index), (index), ) \
    X(F, void, glFramebufferRenderbuffer, (u32 target, u32 attachment, u32 renderbuffertarget, u32 renderbuffer), (target, attachment, renderbuffertarget, renderbuffer), ) \
    X(F, void, glFramebufferTexture2D, (u32 target, u32 attachment, u32 textarget, u32 texture, i32 level), (target, attachment, textarget, texture, level), ) \
    X(F, void, glGenerateMipmap, (u32 target), (target), ) \
    X(F, void, glGenFramebuffers, (i32 n, u32* framebuffers), (n, framebuffers), ) \
    X(F, void, glGenRenderbuffers, (i32 n, u32* renderbuffers), (n, renderbuffers), ) \
    X(N, void, glGetActiveAttrib, (u32 program, u32 index, i32 bufSize, i32* length, i32* size, u32* type, char* aname), (program, index, bufSize, length, size, type, aname), ) \
    X(N, void, glGetActiveUniform, (u32 program, u32 index, i32 bufSize, i32* length, i32* size, u32* type, char* uname), (program, index, bufSize, length, size, type, uname), ) \
    X(N, void, glGetAttachedShaders, (u32 program, i32 maxCount, i32* count, u32* shaders), (program, maxCount, count, shaders), ) \
    X(N, i32, glGetAttribLocation, (u32 program, char const* aname), (program, aname), ) \
    X(F, void, glGetFramebufferAttachmentParameteriv, (u32 target, u32 attachment, u32 pname, i32* params), (target, attachment, pname, params), ) \
    X(N, void, glGetProgramiv, (u32 program, u32 pname, i32* params), (program, pname, params), ) \
    X(N, void, glGetProgramInfoLog, (u32 program, i32 bufSize, i32* length, char* infoLog), (program, bufSize, length, infoLog), ) \
    X(F, void, glGetRenderbufferParameteriv, (u32 target, u32 pname, i32* params), (target, pname, params), ) \
    X(N, void, glGetShaderiv, (u32 shader, u32 pname, i32* params), (shader, pname, params), ) \
    X(N, void, glGetShaderInfoLog, (u32 shader, i32 bufSize, i32* length, char* infoLog), (shader, bufSize, length, infoLog), ) \
    X(N, void, glGetShaderPrecisionFormat, (u32 shadertype, u32 precisiontype, i32* range, i32* precision), (shadertype, precisiontype, range, precision), ) \
    X(N, void, glGetShaderSource, (u32 shader, i32 bufSize, i32* length, char* source), (shader, bufSize, length, source), ) \
    X(N, void, glGetUniformfv, (u32 program, i32 location, f32* params), (program, location, params), ) \
    X(N, void, glGetUniformiv, (u32 program, i32 location, i32* params), (program, location, params), ) \
    X(N, i32, glGetUniformLocation, (u32 program, char const* uname), (program, uname), ) \
    X(N, void, glGetVertexAttribfv, (u32 index, u32 pname, f32* params), (index, pname, params), ) \
    X(N, void, glGetVertexAttribiv, (u32 index, u32 pname, i32* params), (index, pname, params), ) \
    X(N, void, glGetVertexAttribPointerv, (u32 index, u32 pname, void** pointer), (index, pname, pointer), ) \
    X(F, u8, glIsFramebuffer, (u32 framebuffer), (framebuffer), ) \
    X(N, u8, glIsProgram, (u32 program), (program), ) \
    X(F, u8, glIsRenderbuffer, (u32 renderbuffer), (renderbuffer), ) \
    X(N, u8, glIsShader, (u32 shader), (shader), ) \
    X(N, void, glLinkProgram, (u32 program), (program), ) \
    X(N, void, glReleaseShaderCompiler, (), (), ) \
    X(F, void, glRenderbufferStorage, (u32 target, u32 internalformat, i32 width, i32 height), (target, internalformat, width, height), ) \
    X(N, void, glShaderBinary, (i32 count, u32 const* shaders, u32 binaryformat, void const* binary, i32 length), (count, shaders, binaryformat, binary, length), ) \
    X(N, void, glShaderSource, (u32 shader, i32 count, char const* const* string, i32 const* length), (shader, count, string, length), ) \
    X(N, void, glStencilFuncSeparate, (u32 face, u32 func, i32 ref, u32 mask), (face, func, ref, mask), ) \
    X(N, void, glStencilMaskSeparate, (u32 face, u32 mask), (face, mask), ) \
    X(N, void, glStencilOpSeparate, (u32 face, u32 sfail, u32 dpfail, u32 dppass), (face, sfail, dpfail, dppass), ) \
    X(N, void, glUniform1f, (i32 location, f32 v0), (location, v0), ) \
    X(N, void, glUniform1fv, (i32 location, i32 count, f32 const* value), (location, count, value), ) \
    X(N, void, glUniform1i, (i32 location, i32 v0), (location, v0), ) \
    X(N, void, glUniform1iv, (i32 location, i32 count, i32 const* value), (location, count, value), ) \
    X(N, void, glUniform2f, (i32 location, f32 v0, f32 v1), (location, v0, v1), ) \
    X(N, void, glUniform2fv, (i32 location, i32 count, f32 const* value), (location, count, value), ) \
    X(N, void, glUniform2i, (i32 location, i32 v0, i32 v1), (location, v0, v1), ) \
    X(N, void, glUniform2iv, (i32 location, i32 count, i32 const* value), (location, count, value), ) \
    X(N, void, glUniform3f, (i32 location, f32 v0, f32 v1, f32 v2), (location, v0, v1, v2), ) \
    X(N, void, glUniform3fv, (i32 location, i32 count, f32 const* value), (location, count, value), ) \
    X(N, void, glUniform3i, (i32 location, i32 v0, i32 v1, i32 v2), (location, v0, v1, v2), ) \
    X(N, void, glUniform3iv, (i32 location, i32 count, i32 const* value), (location, count, value), ) \
    X(N, void, glUniform4f, (i32 location, f32 v0, f32 v1, f32 v2, f32 v3), (location, v0, v1, v2, v3), ) \
    X(N, void, glUniform4fv, (i32 location, i32 count, f32 const* value), (location, count, value), ) \
    X(N, void, glUniform4i, (i32 location, i32 v0, i32 v1, i32 v2, i32 v3), (location, v0, v1, v2, v3), ) \
    X(N, void, glUniform4iv, (i32 location, i32 count, i32 const* value), (location, count, value), ) \
    X(N, void, glUniformMatrix2fv, (i32 location, i32 count, u8 transpose, f32 const* value), (location, count, transpose, value), ) \
    X(N, void, glUniformMatrix3fv, (i32 location, i32 count, u8 transpose, f32 const* value), (location, count, transpose, value), ) \
    X(N, void, glUniformMatrix4fv, (i32 location, i32 count, u8 transpose, f32 const* value), (location, count, transpose, value), ) \
    X(N, void, glUseProgram, (u32 program), (program), ) \
    X(N, void, glValidateProgram, (u32 program), (program), ) \
    X(N, void, glVertexAttrib1f, (u32 index, f32 x), (index, x), ) \
    X(N, void, glVertexAttrib1fv, (u32 index, f32 const* v), (index, v), ) \
    X(N, void, glVertexAttrib2f, (u32 index, f32 x, f32 y), (index, x, y), ) \
    X(N, void, glVertexAttrib2fv, (u32 index, f32 const* v), (index, v), ) \
    X(N, void, glVertexAttrib3f, (u32 index, f32 x, f32 y, f32 z), (index, x, y, z), ) \
    X(N, void, glVertexAttrib3fv, (u32 index, f32 const* v), (index, v), ) \
    X(N, void, glVertexAttrib4f, (u32 index, f32 x, f32 y, f32 z, f32 w), (index, x, y, z, w), ) \
    X(N, void, glVertexAttrib4fv, (u32 index, f32 const* v), (index, v), ) \
    X(N, void, glVertexAttribPointer, (u32 index, i32 size, u32 type, u8 normalized, i32 stride, void const* pointer), (index, size, type, normalized, stride, pointer), )
