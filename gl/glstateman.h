// The GL state cache inside the front end: enables, blend function, current
// colour, a one-deep state save, the viewport, the error record, the matrix
// stacks and the texture units with the texture registry. The back ends that
// emulate or rasterize GL read it and record their errors in it.
#pragma once
#include <cstdint>

#include "gl/glbackend.h"
#include "gl/prect.h"

// A capability flag: bit 31 selects the second enable word (multisample and
// smoothing), the other bits name capabilities of that word.
typedef uint32_t P3DStateFlags;

namespace vornGL {

// Capability per bit of the first and second enable word (0 where a bit has no
// GL capability of its own).
extern const u32 GLLowCapList[31];
extern const u32 GLHighCapList[6];

// Bytes per pixel of an uncompressed texture upload of this format and
// type; 0 when the pair is unknown.
int GLBytesPerPixel(u32 format, u32 type);
// Bytes of one component of a vertex array of this type; 0 when unknown.
int GLTypeBytes(u32 type);

// Flags word of a matrix entry.
enum : i32 {
    kMatIdentity = 0x01, // known to be the identity
    kMatDirty = 0x02,    // the back end does not hold it yet
    kMatOrtho = 0x10,    // last built by glOrthox
    kMatFrustum = 0x20,  // last built by glFrustumx
    kMatTurn90 = 0x40,   // quarter-turn markers of the two turn matrices
    kMatTurn270 = 0x80,
};

// A matrix entry: 16 values in 16.16, column-major (row r, column c at 4c + r),
// then the flags word at index 16.
struct P3DMatrixEntry {
    i32 w[17];
    i32& flags() { return w[16]; }
    i32 flags() const { return w[16]; }
};

extern const P3DMatrixEntry MatIdentity;
extern const P3DMatrixEntry MatIdentity90;  // maps (x, y) to (y, -x)
extern const P3DMatrixEntry MatIdentity270; // maps (x, y) to (-y, x)
extern const i32 MatIdentityCmp[16];

struct _Vector4GL_ {
    i32 x, y, z, w;
};

// One matrix stack: its entries, the top index and the highest top index.
struct P3DMatrixStack {
    P3DMatrixEntry* entries;
    u8 top;
    u8 maxTop;
};

// One texture unit.
struct P3DTextureUnit {
    u32 flags;       // bit 0: GL_TEXTURE_2D enabled on this unit
    u32 clientFlags; // bit 0: texture-coordinate array enabled for this unit
    u32 envMode;     // texture-environment mode
    u32 boundName;   // caller's name of the bound registry record, 0 for none
    u32 srcRGB[3], srcAlpha[3];
    u32 operandRGB[3], operandAlpha[3];
    u32 combineRGB, combineAlpha;
    i32 rgbScale, alphaScale; // 16.16
    void* backendData;        // owned by the back end that draws (its texture record)
};

enum { kMaxTextureUnits = 8, kTextureLevels = 10 };
enum { kStackModelview = 0, kStackProjection = 1, kStackTexture0 = 2, kStackCount = 10 };

class P3DStateMan {
public:
    // A texture created through the GL layer: the caller's name, the back
    // end's name, its parameters and, with the backup switch on, a copy of
    // every uploaded level.
    struct __texture {
        u32 flags;    // bit 0: the backed-up level data is compressed
        i32 levelCount;
        u32 format;
        u32 internalFormat;
        u32 backendName;
        u32 name;
        u32 type; // pixel type, or the border of a compressed upload
        u32 minFilter, magFilter, wrapS, wrapT;
        u32 generateMipmap;
        struct Level {
            uint16_t width, height;
            u32 size;
            void* copy; // tightly packed rows (PAlloc), owned
        } levels[kTextureLevels];
    };

    P3DStateMan();
    ~P3DStateMan();
    P3DStateMan(P3DStateMan const&) = delete;
    P3DStateMan& operator=(P3DStateMan const&) = delete;

    void SetBackend(P3DBackend* b);
    P3DBackend* GetBackend() const { return m_backend; }

    // Enables.
    void EnableDisableCap(u32 cap, u8 on);
    void EnableDisableP3DState(P3DStateFlags flag, u8 on);
    void StateUpdate(P3DStateFlags value, u32 mask);
    bool IsEnabled(P3DStateFlags flag) const;
    void ApplyEnableDisable();
    u32 WantedLow() const { return m_wantedLow; }
    u32 WantedHigh() const { return m_wantedHigh; }
    u32 AppliedLow() const { return m_appliedLow; }
    u32 AppliedHigh() const { return m_appliedHigh; }

    // Blend, colour, state save, viewport.
    void glBlendFunc(u32 s, u32 d);
    void glColor4ub(u8 r, u8 g, u8 b, u8 a);
    void glColor4x(i32 r, i32 g, i32 b, i32 a);
    u32 BlendSource() const { return m_blendSrc; }
    u32 BlendDest() const { return m_blendDst; }
    u32 Colour() const { return m_colour; }
    void PushStates();
    void PopStates();
    void SetViewport(PRect const& r) { m_viewport = r; }
    PRect GetViewport() const { return m_viewport; }

    // Errors.
    void SetError(u32 code);
    void SetError(u32 code, char const* name);
    u32 glGetError();
    u32 PeekError() const { return m_error; }
    char const* ErrorName() const { return m_errorName; }

    // Matrices.
    void InitMatrices();
    void glMatrixMode(u32 mode);
    void glLoadIdentity();
    void glLoadMatrixx(i32 const* m);
    void glMultMatrixx(i32 const* m);
    void UpdateMatrix(i32 const* m);
    void UpdateMatrix3x3(i32 const* m);
    void glTranslatex(i32 x, i32 y, i32 z);
    void glScalex(i32 x, i32 y, i32 z);
    void glRotatex(i32 angle, i32 x, i32 y, i32 z);
    void glOrthox(i32 l, i32 r, i32 b, i32 t, i32 n, i32 f);
    void glFrustumx(i32 l, i32 r, i32 b, i32 t, i32 n, i32 f);
    void glPushMatrix();
    void glPopMatrix();
    void glPushMatricesSetIdentity();
    void glPopMatrices();
    void glGetFixedp(u32 pname, i32** out);
    // The matrix queries; each returns false (output untouched) for a pname
    // that is not one of them.
    static bool IsMatrixQuery(u32 pname);
    bool glGetIntegerv(u32 pname, i32* out) const;
    bool glGetFixedv(u32 pname, i32* out) const;
    bool glGetBooleanv(u32 pname, u8* out) const;
    bool glGetFloatv(u32 pname, f32* out) const;
    void ApplyMatrices();

    u32 MatrixModeIndex() const { return m_modeIndex; }
    u32 MatrixModeEnum() const;
    P3DMatrixStack const& Stack(int i) const { return m_stacks[i]; }
    P3DMatrixEntry& Top(int stack) { return m_stacks[stack].entries[m_stacks[stack].top]; }
    P3DMatrixEntry const& Top(int stack) const { return m_stacks[stack].entries[m_stacks[stack].top]; }
    P3DMatrixEntry const& SentProjection() const { return m_scratch; }
    u32 PushFlags() const { return m_pushFlags; }

    // 4 x 4 products of 16.16 matrices (16 values each; flags words untouched).
    // a = a x b in place:
    static void gl_mulmat(i32* a, i32 const* b);
    // r = a x b, r distinct from a and b:
    static void gl_mulmat(i32* r, i32 const* a, i32 const* b);
    static void gl_mulmat3x3(i32* a, i32 const* b);
    static void gl_transform(_Vector4GL_& v, i32 const* m);
    static void gl_normalize(_Vector4GL_& v);
    static u32 gl_invmat(i32* r, i32 const* m);

    // Texture units and the texture registry.
    void InitTextures();
    void glActiveTexture(u32 unit);
    void glClientActiveTexture(u32 unit);
    void glTexEnvGeneric(u32 target, u32 pname, i32 value);
    void glGenTextures(i32 n, u32* names);
    void glBindTexture(u32 target, u32 name);
    void glDeleteTextures(i32 n, u32 const* names);
    void glTexImage2D(u32 target, i32 level, i32 internalformat, i32 width, i32 height, i32 border,
                      u32 format, u32 type, void const* pixels);
    void glCompressedTexImage2D(u32 target, i32 level, u32 internalformat, i32 width, i32 height,
                                i32 border, i32 imageSize, void const* data);
    void vornTexBackup_glTexParameter(u32 target, u32 pname, i32 value);
    void ApplyTextures();
    void vornClearTextures();
    void vornRestoreTextures();
    void SetTextureBackup(u32 on) { m_texBackup = on; }
    u32 TextureBackup() const { return m_texBackup; }

    u32 ActiveUnit() const { return m_activeUnit; }
    u32 ClientActiveUnit() const { return m_clientActiveUnit; }
    u32 UnitCount() const { return m_unitCount; }
    P3DTextureUnit& Unit(u32 i) { return m_units[i]; }
    P3DTextureUnit const& Unit(u32 i) const { return m_units[i]; }
    // The registry record with the caller's name, or null.
    __texture* FindTexture(u32 name);
    // The record bound to a unit, or null.
    __texture* BoundTexture(u32 unit);
    int TextureCount() const { return m_texCount; }
    int TextureCapacity() const { return m_texCapacity; }
    __texture const* TextureAt(int i) const { return (i >= 0 && i < m_texCount) ? &m_textures[i] : nullptr; }

private:
    void SetUnitTexture2D(bool on);
    void SetUnitTexCoordArray(bool on);
    int FindTextureIndex(u32 name) const;
    bool AppendTexture(__texture const& rec);
    void RemoveTextureAt(int i);
    void SortTextures();
    void FreeLevels(__texture& rec);
    void BackupLevel(__texture& rec, i32 level, i32 width, i32 height, u32 size, void const* src,
                     i32 srcStride, i32 rowBytes);
    u32 CallerModeEnum() const;

    // Texture registry.
    __texture* m_textures;
    int m_texCount;
    int m_texCapacity;
    u32 m_texBackup;

    // Error record.
    u32 m_error;
    char m_errorName[100];

    // Enable words.
    u32 m_appliedLow, m_appliedHigh;
    u32 m_wantedLow, m_wantedHigh;

    u32 m_blendSrc, m_blendDst;
    u32 m_colour;

    struct Saved {
        u32 wantedLow, wantedHigh;
        u32 blendSrc, blendDst;
        u32 envMode;
        u32 colour;
    } m_saved;

    PRect m_viewport;

    // Matrix part.
    P3DMatrixEntry m_modelview[18];
    P3DMatrixEntry m_projection[4];
    P3DMatrixEntry m_texture[kMaxTextureUnits][4];
    P3DMatrixStack m_stacks[kStackCount];
    P3DMatrixEntry m_scratch;
    u32 m_modeIndex;
    u32 m_pushFlags;

    // Texture units.
    P3DTextureUnit m_units[kMaxTextureUnits];
    u32 m_activeUnit;
    u32 m_clientActiveUnit;
    u32 m_unitCount;

    P3DBackend* m_backend;
};

} // namespace vornGL
