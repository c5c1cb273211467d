// The shader generator of the OpenGL ES 2.0 back end: it condenses the
// fixed-function pipeline state into a vertex key and a fragment key (one
// character per state item that changes the generated text), hashes them, and
// writes the GLSL ES 1.00 vertex and fragment shaders for a state. Compiled
// shaders are kept in two process-wide caches keyed by those hashes.
//
// Everything here is static and belongs to the rendering thread.
#pragma once
#include <cstdint>

#include "gl/es2_array.h"
#include "gl/glbackend.h"

namespace vornGL {

class PFixedEmu;

// SuperFastHash of a zero-terminated string; 0 for null or empty.
u32 fastHash(char const* text);

// Slots of the standard uniform values (index into PPaperDoll::uniformNames).
enum : int {
    kUniModelViewProj = 0,
    kUniModelView3x3 = 1,
    kUniModelView4x4 = 2,
    kUniProjection = 3,
    kUniModel4x4 = 4,
    kUniView4x4 = 5,
    kUniColor = 6,
    kUniNormal = 7,
    kUniTexture0 = 8,
    kUniBlendColor0 = 16,
    kUniTexMat0 = 24,
    kUniShininess = 32,
    kUniEmission = 33,
    kUniGlobalAmbient = 34,
    kUniLightPos0 = 35,
    kUniLightAmbient0 = 43,
    kUniLightDiffuse0 = 51,
    kUniLightSpecular0 = 59,
    kUniLightAttenuation0 = 67,
    kUniLightSpotDirection0 = 75,
    kUniLightSpotCutoff0 = 83,
    kUniLightSpotExponent0 = 91,
    kUniAlphaRef = 99,
    kUniFogColor = 100,
    kUniFogStartEndDensityDiff = 101,
    kUniRescaleNormalFactor = 102,
    kUniViewVector = 103,
    kUniCurveAmount = 104,
    kUniformCount = 105,
};

// Attribute locations (index into PPaperDoll::attribNames).
enum : int { kAttribPos = 0, kAttribNormal = 1, kAttribColor = 2, kAttribUV0 = 3 };
// Varyings (index into PPaperDoll::variantNames).
enum : int { kVarColor = 0, kVarUV0 = 1, kVarFogFactor = 9 };

class PPaperDoll {
public:
    PPaperDoll() = delete;

    // A growable zero-terminated text buffer from the engine allocator.
    // Invariant: length + 1 <= capacity, every byte after the text is zero.
    // An append that cannot grow the buffer is dropped and marks the text
    // failed (the caller then discards it).
    struct ShaderString {
        char* text = nullptr;
        u32 capacity = 0;
        u32 length = 0;
        bool failed = false;
        bool owned = true; // false for a wrapped fixed buffer (never freed, never grown)

        ShaderString() = default;
        // An empty text in a fresh zero-filled buffer of capacity bytes.
        explicit ShaderString(u32 startCapacity);
        // Wraps a zero-filled fixed buffer.
        ShaderString(char* buffer, u32 size);
        ~ShaderString();
        ShaderString(ShaderString const&) = delete;
        ShaderString& operator=(ShaderString const&) = delete;

        void operator+=(char const* piece);
        // Hands the text over to the caller (release with PFree); null when
        // the text failed.
        char* Release();
    };

    // One compiled shader: its source (owned), the hash of its key, the shader object.
    struct ShaderCache {
        char* source;
        u32 hash;
        u32 shader;
    };

    static char const* const hashTable[55];
    static char const* const newLine;
    static char const* const attribNames[11];
    static char const* const variantNames[10];
    static char const* const uniformNames[kUniformCount];

    // Switches set by the back end's vornGLSetFlags.
    static bool m_ShaderHashEmbed;
    static bool m_ShaderNoAlphaTest;
    static bool m_ShaderColorTint;
    static bool m_ExportShaders;
    static int m_ShaderColorTintIndex;

    static PObjectArray<ShaderCache> s_VertexShaderCache;
    static PObjectArray<ShaderCache> s_FragmentShaderCache;

    // The keys of the current state and their hashes; programHash is the sum.
    static void GetStateHash(PFixedEmu const& emu, unsigned& vertexHash, unsigned& fragmentHash,
                             unsigned& programHash);
    // The key texts of the last GetStateHash (for tests and diagnostics).
    static char const* LastVertexKey();
    static char const* LastFragmentKey();

    // Generated sources (PAlloc; the caller frees them with PFree), or null
    // when memory ran out.
    static char* CreateVertexShader(PFixedEmu const& emu, unsigned vertexHash);
    static char* CreateFragmentShader(PFixedEmu const& emu, unsigned fragmentHash);
    static void SetupTextureCombiner(ShaderString& s, int unit, char const* coordName, char const* primaryName,
                                     PFixedEmu const& emu);

    // Index of the first cache entry with the hash, or -1.
    static int FindVertexShader(u32 hash);
    static int FindFragmentShader(u32 hash);
    // Deletes every cached shader object and source; both caches become empty.
    static void ClearCache();
};

// One combiner argument declaration; nothing when name is null.
void DeclareSrc(PPaperDoll::ShaderString& s, char const* name, int unit, char const* primaryName, bool rgb,
                unsigned source, unsigned operand);

// Compile a shader supplied from outside under the given hash (a cached entry
// with that hash gets the new source and shader object; the old object is
// deleted). The result is the compile status (1 compiled, 0 not).
int InsertExternalVertexShader(unsigned hash, char const* source);
int InsertExternalFragmentShader(unsigned hash, char const* source);
// Write one source file dir + "0x<hash>.vs" / ".fs".
void ExportVertexShader(char const* dir, unsigned hash, char const* source);
void ExportFragmentShader(char const* dir, unsigned hash, char const* source);
// Write dir + "shader_manifest.xml" listing both caches.
void ExportShaderCacheToFile(char const* dir);

// The debugging tint rows: red, green, blue, comment.
extern char const* const color_tints[14][4];

// Compiles one shader (glCreateShader, source, compile). Returns the shader
// object (0 when none could be made) and the status in *compiled; the info
// log of a failure goes to log (logSize bytes) and to the debug log.
u32 CompileShaderObject(u32 type, char const* source, bool* compiled, char* log, int logSize);

// A PAlloc'd copy of a shader source or name (PFree it); null for null, an
// oversized text or no memory.
char* CopyShaderText(char const* text);

} // namespace vornGL
