#include "gl/glhooks.h"

#include <cstring>
#include <type_traits>

#define EGL_NO_X11
#include <EGL/egl.h>
#include <GLES/gl.h>
#include <GLES/glext.h>

namespace vornGL {

uint8_t ExtensionMap[kExtensionCount];
uint32_t s_profilerNofDrawcalls = 0;
uint32_t s_profilerPresented = 0;

void vornGLProfilerIncDrawCall() { ++s_profilerNofDrawcalls; }
void vornGLProfilerPresent()
{
    s_profilerNofDrawcalls = 0;
    ++s_profilerPresented;
}

// The libraries are linked when the program loads: nothing to load or release.
void InitVornEGLLibrary(int) {}
void InitVornGLLibrary(int) {}
void InitVornEGLFuncPtrs() {}
void ReleaseVornEGLLibrary() {}
void ReleaseVornGLLibrary() {}
void InitVornGLFuncPtrs(int) {}
void InitVendor() {}
void UnInitializedGLES() {}
void UnInitializedEGL() {}
void UnimplementedFunctionCall(char const*, char const*, char const*) {}

namespace {

ProcFn DefaultLookup(char const* name)
{
    return reinterpret_cast<ProcFn>(eglGetProcAddress(name));
}

ProcLookup g_lookup = DefaultLookup;

// Typed stand-ins for entry points that are not there. Names they would
// create are 0 and queries answer 0, so a caller that skipped the extension
// flag still sees defined values.
void StubCurrentPaletteMatrix(unsigned int) {}
void StubLoadPaletteFromModelView() {}
void StubPointer(int, unsigned int, int, void const*) {}
unsigned char StubIsObject(unsigned int) { return 0; }
void StubBind(unsigned int, unsigned int) {}
void StubDelete(int, unsigned int const*) {}
void StubGen(int n, unsigned int* names)
{
    if (names)
        for (int i = 0; i < n; ++i)
            names[i] = 0;
}
void StubStorage(unsigned int, unsigned int, int, int) {}
void StubGetParam(unsigned int, unsigned int, int* params)
{
    if (params)
        *params = 0;
}
unsigned int StubCheckStatus(unsigned int) { return 0; }
void StubFramebufferRenderbuffer(unsigned int, unsigned int, unsigned int, unsigned int) {}
void StubFramebufferTexture2D(unsigned int, unsigned int, unsigned int, unsigned int, int) {}
void StubGetAttachmentParam(unsigned int, unsigned int, unsigned int, int* params)
{
    if (params)
        *params = 0;
}
void StubGenerateMipmap(unsigned int) {}

// The entry-point types must be the official ones.
static_assert(std::is_same_v<PFN_CurrentPaletteMatrixOES, PFNGLCURRENTPALETTEMATRIXOESPROC>);
static_assert(std::is_same_v<PFN_LoadPaletteFromModelViewMatrixOES, PFNGLLOADPALETTEFROMMODELVIEWMATRIXOESPROC>);
static_assert(std::is_same_v<PFN_MatrixIndexPointerOES, PFNGLMATRIXINDEXPOINTEROESPROC>);
static_assert(std::is_same_v<PFN_WeightPointerOES, PFNGLWEIGHTPOINTEROESPROC>);
static_assert(std::is_same_v<PFN_IsRenderbufferOES, PFNGLISRENDERBUFFEROESPROC>);
static_assert(std::is_same_v<PFN_BindRenderbufferOES, PFNGLBINDRENDERBUFFEROESPROC>);
static_assert(std::is_same_v<PFN_DeleteRenderbuffersOES, PFNGLDELETERENDERBUFFERSOESPROC>);
static_assert(std::is_same_v<PFN_GenRenderbuffersOES, PFNGLGENRENDERBUFFERSOESPROC>);
static_assert(std::is_same_v<PFN_RenderbufferStorageOES, PFNGLRENDERBUFFERSTORAGEOESPROC>);
static_assert(std::is_same_v<PFN_GetRenderbufferParameterivOES, PFNGLGETRENDERBUFFERPARAMETERIVOESPROC>);
static_assert(std::is_same_v<PFN_IsFramebufferOES, PFNGLISFRAMEBUFFEROESPROC>);
static_assert(std::is_same_v<PFN_BindFramebufferOES, PFNGLBINDFRAMEBUFFEROESPROC>);
static_assert(std::is_same_v<PFN_DeleteFramebuffersOES, PFNGLDELETEFRAMEBUFFERSOESPROC>);
static_assert(std::is_same_v<PFN_GenFramebuffersOES, PFNGLGENFRAMEBUFFERSOESPROC>);
static_assert(std::is_same_v<PFN_CheckFramebufferStatusOES, PFNGLCHECKFRAMEBUFFERSTATUSOESPROC>);
static_assert(std::is_same_v<PFN_FramebufferRenderbufferOES, PFNGLFRAMEBUFFERRENDERBUFFEROESPROC>);
static_assert(std::is_same_v<PFN_FramebufferTexture2DOES, PFNGLFRAMEBUFFERTEXTURE2DOESPROC>);
static_assert(std::is_same_v<PFN_GetFramebufferAttachmentParameterivOES, PFNGLGETFRAMEBUFFERATTACHMENTPARAMETERIVOESPROC>);
static_assert(std::is_same_v<PFN_GenerateMipmapOES, PFNGLGENERATEMIPMAPOESPROC>);

// Fetches one entry point; a missing one gets its stub back. Returns 1 when
// the name was found.
template <typename Fn>
int Fetch(Fn& slot, char const* name, Fn stub)
{
    ProcFn p = g_lookup ? g_lookup(name) : nullptr;
    if (!p) {
        slot = stub;
        return 0;
    }
    slot = reinterpret_cast<Fn>(p);
    return 1;
}

bool Contains(char const* haystack, char const* needle)
{
    return std::strstr(haystack, needle) != nullptr;
}

} // namespace

PFN_CurrentPaletteMatrixOES _glCurrentPaletteMatrixOES = StubCurrentPaletteMatrix;
PFN_LoadPaletteFromModelViewMatrixOES _glLoadPaletteFromModelViewMatrixOES = StubLoadPaletteFromModelView;
PFN_MatrixIndexPointerOES _glMatrixIndexPointerOES = StubPointer;
PFN_WeightPointerOES _glWeightPointerOES = StubPointer;
PFN_IsRenderbufferOES _glIsRenderbufferOES = StubIsObject;
PFN_BindRenderbufferOES _glBindRenderbufferOES = StubBind;
PFN_DeleteRenderbuffersOES _glDeleteRenderbuffersOES = StubDelete;
PFN_GenRenderbuffersOES _glGenRenderbuffersOES = StubGen;
PFN_RenderbufferStorageOES _glRenderbufferStorageOES = StubStorage;
PFN_GetRenderbufferParameterivOES _glGetRenderbufferParameterivOES = StubGetParam;
PFN_IsFramebufferOES _glIsFramebufferOES = StubIsObject;
PFN_BindFramebufferOES _glBindFramebufferOES = StubBind;
PFN_DeleteFramebuffersOES _glDeleteFramebuffersOES = StubDelete;
PFN_GenFramebuffersOES _glGenFramebuffersOES = StubGen;
PFN_CheckFramebufferStatusOES _glCheckFramebufferStatusOES = StubCheckStatus;
PFN_FramebufferRenderbufferOES _glFramebufferRenderbufferOES = StubFramebufferRenderbuffer;
PFN_FramebufferTexture2DOES _glFramebufferTexture2DOES = StubFramebufferTexture2D;
PFN_GetFramebufferAttachmentParameterivOES _glGetFramebufferAttachmentParameterivOES = StubGetAttachmentParam;
PFN_GenerateMipmapOES _glGenerateMipmapOES = StubGenerateMipmap;

void SetProcAddressLookup(ProcLookup lookup)
{
    g_lookup = lookup ? lookup : DefaultLookup;
}

void InitExtensions(int api, char const* extensions)
{
    std::memset(ExtensionMap, 0, sizeof ExtensionMap);
    if (!extensions)
        return;
    if (api > 0) {
        if (Contains(extensions, "OES_matrix_palette")) {
            int found = Fetch(_glCurrentPaletteMatrixOES, "glCurrentPaletteMatrixOES", StubCurrentPaletteMatrix);
            found += Fetch(_glLoadPaletteFromModelViewMatrixOES, "glLoadPaletteFromModelViewMatrixOES",
                           StubLoadPaletteFromModelView);
            found += Fetch(_glMatrixIndexPointerOES, "glMatrixIndexPointerOES", StubPointer);
            found += Fetch(_glWeightPointerOES, "glWeightPointerOES", StubPointer);
            ExtensionMap[VornGLExtMatrixPalette] = found == 4;
        }
        if (Contains(extensions, "OES_framebuffer_object")) {
            int found = Fetch(_glIsRenderbufferOES, "glIsRenderbufferOES", StubIsObject);
            found += Fetch(_glBindRenderbufferOES, "glBindRenderbufferOES", StubBind);
            found += Fetch(_glDeleteRenderbuffersOES, "glDeleteRenderbuffersOES", StubDelete);
            found += Fetch(_glGenRenderbuffersOES, "glGenRenderbuffersOES", StubGen);
            found += Fetch(_glRenderbufferStorageOES, "glRenderbufferStorageOES", StubStorage);
            found += Fetch(_glGetRenderbufferParameterivOES, "glGetRenderbufferParameterivOES", StubGetParam);
            found += Fetch(_glIsFramebufferOES, "glIsFramebufferOES", StubIsObject);
            found += Fetch(_glBindFramebufferOES, "glBindFramebufferOES", StubBind);
            found += Fetch(_glDeleteFramebuffersOES, "glDeleteFramebuffersOES", StubDelete);
            found += Fetch(_glGenFramebuffersOES, "glGenFramebuffersOES", StubGen);
            found += Fetch(_glCheckFramebufferStatusOES, "glCheckFramebufferStatusOES", StubCheckStatus);
            found += Fetch(_glFramebufferRenderbufferOES, "glFramebufferRenderbufferOES",
                           StubFramebufferRenderbuffer);
            found += Fetch(_glFramebufferTexture2DOES, "glFramebufferTexture2DOES", StubFramebufferTexture2D);
            found += Fetch(_glGetFramebufferAttachmentParameterivOES, "glGetFramebufferAttachmentParameterivOES",
                           StubGetAttachmentParam);
            found += Fetch(_glGenerateMipmapOES, "glGenerateMipmapOES", StubGenerateMipmap);
            ExtensionMap[VornGLExtFramebufferObject] = found == 15;
        } else if (api == 2) {
            ExtensionMap[VornGLExtFramebufferObject] = 1;
        }
    }
    if (Contains(extensions, "GL_ATI_texture_compression_atitc") || Contains(extensions, "GL_AMD_compressed_ATC_texture"))
        ExtensionMap[VornGLExtATC] = 1;
    if (Contains(extensions, "GL_IMG_texture_compression_pvrtc"))
        ExtensionMap[VornGLExtPVRTC] = 1;
    if (Contains(extensions, "compressed_ETC1_RGB8_texture"))
        ExtensionMap[VornGLExtETC1] = 1;
    if (Contains(extensions, "GL_OES_depth24"))
        ExtensionMap[VornGLExtDepth24] = 1;
    if (Contains(extensions, "OES_packed_depth_stencil"))
        ExtensionMap[VornGLExtPackedDepthStencil] = 1;
    if (Contains(extensions, "OES_stencil8") || api == 2)
        ExtensionMap[VornGLExtStencil8] = 1;
}

uint8_t HaveExtension(VornGLExtension e)
{
    int i = int(e);
    return i >= 0 && i < kExtensionCount ? ExtensionMap[i] : 0;
}

} // namespace vornGL
