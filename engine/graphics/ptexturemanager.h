// PTextureManager: the reference-counted cache of GL textures that meshes,
// scenes and effects share. A texture is asked for by file name; the name is
// hashed, an already loaded texture of the same name and compatible flags is
// shared, and otherwise the file is loaded, trying compressed variants (.pvr,
// .ctes, .etc) and the PNG beside the image itself. Handles are 1-based; 0
// means no texture.
#pragma once
#include <cstdint>

#include "engine/platform/pjoystick.h" // PBaseObject

class GLES;
class PDisplay;
class PStream;
class PSurface;

// Texture flags.
enum : unsigned {
    PTEX_ENV_MASK = 0x7,        // 0 unchanged, 1 REPLACE, 2 DECAL, 3 MODULATE, 4 BLEND, 5 ADD
    PTEX_WRAPS_SHIFT = 3,       // 2 bits: 0 and 3 REPEAT, 1 and 2 CLAMP_TO_EDGE
    PTEX_WRAPT_SHIFT = 5,
    PTEX_MIN_SHIFT = 7,         // 3 bits: NEAREST, LINEAR, then the four mipmap filters
    PTEX_MAG_LINEAR = 0x400,
    PTEX_ALPHA = 0x800,         // RGBA texture
    PTEX_KEEPIMAGE = 0x1000,    // keep the source image in the entry
    PTEX_AUTOFILTER = 0x4000,   // linear filters picked by the manager
    PTEX_TRUECOLOUR = 0x8000,   // load images in true colour
    PTEX_DEFAULT = 0x10000,     // argument of AddTexture(name, flags, extra): use the default flags
    PTEX_FORCEDEFAULT = 0x20000, // in the default flags: they override every flags argument
    PTEX_SHAREMASK = 0x9800,    // the bits two users of one texture must agree on
};

enum PTextureFormat : int {
    PTEXFMT_DETECT = 0,
    PTEXFMT_PNG = 1,
    PTEXFMT_IMAGE = 2, // any other image (NRV)
    PTEXFMT_PVR = 3,
    PTEXFMT_ATC = 4,   // the ATC / ETC container
};

class PTextureManager : public PBaseObject {
public:
    struct Entry {
        PSurface* image; // kept source image (flag 0x1000), owned
        uint32_t name;   // GL texture name
        uint32_t hash;   // of the file name, or the caller's; 0 for unnamed images
        uint32_t flags;
        uint32_t width, height;
        uint16_t levels; // mip levels after the first
        uint16_t users;  // 0: free
    };

    PTextureManager(PDisplay* display, GLES* ctx);
    ~PTextureManager() override;
    PTextureManager(const PTextureManager&) = delete;
    PTextureManager& operator=(const PTextureManager&) = delete;

    static unsigned strhash(const char* s);
    void SetDefaultFlags(unsigned flags) { m_defaultFlags = flags; }
    unsigned GetDefaultFlags() const { return m_defaultFlags; }
    // Alpha reference of SetTexture for blended-off alpha-tested textures (16.16).
    void SetAlphaReference(unsigned ref) { m_alphaRef = ref; }

    virtual int AddTexture(const char* name, unsigned flags, unsigned extra);
    int AddTexture(const char* name, PStream* stream, unsigned flags, unsigned extra);
    int AddTexture(PStream* stream, unsigned flags, PTextureFormat format, unsigned hash);
    int AddTexture(PSurface* image, unsigned flags, unsigned extra, bool own);
    int AddTexture(const char* name, unsigned hash, PSurface* image, unsigned flags, unsigned extra, bool own);
    virtual PSurface* LoadTexture(const char* name, int flags);
    virtual void FreeTexture(int handle);
    void UseTexture(int handle);

    int CheckTexList(unsigned hash, unsigned flags);
    int AppendList();
    void SetTexture(int handle);
    void UpdateFlags(int handle, unsigned flags);
    // Uploads image into the bound texture; 0, or -1 on failure (no memory,
    // unknown image, or a GL error from the upload).
    static int SetActiveTexture(GLES* ctx, const PSurface* image, unsigned flags, unsigned extra);
    void UpdateTexture(int handle, const PSurface* image, unsigned flags);
    void UpdateTexture(int handle, const PSurface* image);
    void UpdateTexture(int handle, unsigned flags);
    void UpdateTexture(int handle);

    static int DetectFormat(PStream* stream);
    int AddTexturePVR(PStream* stream, unsigned flags, unsigned hash);
    int AddTexturePVR(const char* path, unsigned flags);
    int AddTextureATC(PStream* stream, unsigned flags, unsigned hash);
    int AddTextureATC(const char* path, unsigned flags);

    // The entry of a handle in use, or null.
    const Entry* GetEntry(int handle) const;
    int EntryCount() const { return m_count; }

private:
    Entry* Used(int handle);
    // Registers an entry's name after a load (the cache compares names, not
    // only their hash).
    void SetEntryName(int index, const char* name);
    int CheckTexList(unsigned hash, unsigned flags, const char* name);
    int AddNamed(const char* name, unsigned flags, unsigned extra);
    int AddPVRNamed(const char* path, unsigned flags);
    int AddATCNamed(const char* path, unsigned flags);
    // A compressed texture file by name through its loader, cached under the name.
    int AddCompressedNamed(const char* path, unsigned flags,
                           int (PTextureManager::*load)(PStream*, unsigned, unsigned));
    int AddImage(const char* name, unsigned hash, PSurface* image, unsigned flags, unsigned extra, bool own);
    void DeleteGLName(uint32_t name);

    PDisplay* m_display;
    Entry* m_entries;
    GLES* m_ctx;
    int m_count;
    unsigned m_alphaRef;
    unsigned m_defaultFlags;
    char** m_names; // file name of each entry (owned), null for unnamed ones
    int m_capacity;
};
