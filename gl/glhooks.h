// The GL layer's binding to the platform's GL and EGL libraries: the hooks the
// display calls around its EGL set-up, the optional-extension map filled at
// start-up and the OES extension entry points. Mesa's libraries are linked
// when the program loads, so the library hooks have nothing to do.
//
// This header does not include the GL headers (ES 1 and ES 2 users live in
// separate translation units); the entry-point types below spell out the GL
// types (GLenum/GLuint unsigned int, GLint/GLsizei int, GLboolean unsigned char)
// and glhooks.cpp checks them against the official prototypes.
#pragma once
#include <cstdint>

namespace vornGL {

enum VornGLExtension {
    VornGLExtMatrixPalette = 0,
    VornGLExtATC = 2,
    VornGLExtPVRTC = 3,
    VornGLExtETC1 = 4,
    VornGLExtFramebufferObject = 5,
    VornGLExtDepth24 = 6,
    VornGLExtPackedDepthStencil = 7,
    VornGLExtStencil8 = 8,
};
constexpr int kExtensionCount = 10;

// 1 = present; all 0 until InitExtensions.
extern uint8_t ExtensionMap[kExtensionCount];

void InitVornEGLLibrary(int api);
void InitVornGLLibrary(int api);
void InitVornEGLFuncPtrs();
void ReleaseVornEGLLibrary();
void ReleaseVornGLLibrary();
void InitVornGLFuncPtrs(int api);
void InitVendor();
void UnInitializedGLES();
void UnInitializedEGL();
void UnimplementedFunctionCall(char const* function, char const* file, char const* detail);

// Fills the map and fetches the OES entry points (api: 0 software, 1 ES 1.1,
// 2 ES 2.0; extensions: the back end's GL_EXTENSIONS string, may be null).
void InitExtensions(int api, char const* extensions);
// Entry e of the map; 0 outside it.
uint8_t HaveExtension(VornGLExtension e);

// How entry points are looked up by name (eglGetProcAddress by default);
// null restores the default. Tests substitute their own.
using ProcFn = void (*)();
using ProcLookup = ProcFn (*)(char const* name);
void SetProcAddressLookup(ProcLookup lookup);

// Draw calls since the last presented frame; the display resets it once per
// presented frame, the GL front end counts its draws.
extern uint32_t s_profilerNofDrawcalls;
// Frames presented since the program started.
extern uint32_t s_profilerPresented;
void vornGLProfilerIncDrawCall();
void vornGLProfilerPresent();

// OES entry points. Before they are fetched, and when a fetch finds nothing,
// each points at a stub of its own type that does nothing (names it hands out
// are 0, queries answer 0 or GL_FALSE).
using PFN_CurrentPaletteMatrixOES = void (*)(unsigned int index);
using PFN_LoadPaletteFromModelViewMatrixOES = void (*)();
using PFN_MatrixIndexPointerOES = void (*)(int size, unsigned int type, int stride, void const* pointer);
using PFN_WeightPointerOES = void (*)(int size, unsigned int type, int stride, void const* pointer);
using PFN_IsRenderbufferOES = unsigned char (*)(unsigned int renderbuffer);
using PFN_BindRenderbufferOES = void (*)(unsigned int target, unsigned int renderbuffer);
using PFN_DeleteRenderbuffersOES = void (*)(int n, unsigned int const* renderbuffers);
using PFN_GenRenderbuffersOES = void (*)(int n, unsigned int* renderbuffers);
using PFN_RenderbufferStorageOES = void (*)(unsigned int target, unsigned int internalformat, int width, int height);
using PFN_GetRenderbufferParameterivOES = void (*)(unsigned int target, unsigned int pname, int* params);
using PFN_IsFramebufferOES = unsigned char (*)(unsigned int framebuffer);
using PFN_BindFramebufferOES = void (*)(unsigned int target, unsigned int framebuffer);
using PFN_DeleteFramebuffersOES = void (*)(int n, unsigned int const* framebuffers);
using PFN_GenFramebuffersOES = void (*)(int n, unsigned int* framebuffers);
using PFN_CheckFramebufferStatusOES = unsigned int (*)(unsigned int target);
using PFN_FramebufferRenderbufferOES = void (*)(unsigned int target, unsigned int attachment,
                                                unsigned int renderbuffertarget, unsigned int renderbuffer);
using PFN_FramebufferTexture2DOES = void (*)(unsigned int target, unsigned int attachment,
                                             unsigned int textarget, unsigned int texture, int level);
using PFN_GetFramebufferAttachmentParameterivOES = void (*)(unsigned int target, unsigned int attachment,
                                                            unsigned int pname, int* params);
using PFN_GenerateMipmapOES = void (*)(unsigned int target);

extern PFN_CurrentPaletteMatrixOES _glCurrentPaletteMatrixOES;
extern PFN_LoadPaletteFromModelViewMatrixOES _glLoadPaletteFromModelViewMatrixOES;
extern PFN_MatrixIndexPointerOES _glMatrixIndexPointerOES;
extern PFN_WeightPointerOES _glWeightPointerOES;
extern PFN_IsRenderbufferOES _glIsRenderbufferOES;
extern PFN_BindRenderbufferOES _glBindRenderbufferOES;
extern PFN_DeleteRenderbuffersOES _glDeleteRenderbuffersOES;
extern PFN_GenRenderbuffersOES _glGenRenderbuffersOES;
extern PFN_RenderbufferStorageOES _glRenderbufferStorageOES;
extern PFN_GetRenderbufferParameterivOES _glGetRenderbufferParameterivOES;
extern PFN_IsFramebufferOES _glIsFramebufferOES;
extern PFN_BindFramebufferOES _glBindFramebufferOES;
extern PFN_DeleteFramebuffersOES _glDeleteFramebuffersOES;
extern PFN_GenFramebuffersOES _glGenFramebuffersOES;
extern PFN_CheckFramebufferStatusOES _glCheckFramebufferStatusOES;
extern PFN_FramebufferRenderbufferOES _glFramebufferRenderbufferOES;
extern PFN_FramebufferTexture2DOES _glFramebufferTexture2DOES;
extern PFN_GetFramebufferAttachmentParameterivOES _glGetFramebufferAttachmentParameterivOES;
extern PFN_GenerateMipmapOES _glGenerateMipmapOES;

} // namespace vornGL
