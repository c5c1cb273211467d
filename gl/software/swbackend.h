// The software rasterizer back end: an OpenGL ES 1.x pipeline in 16.16 fixed
// point that draws into the display's RGB565 back buffer with a 16-bit depth
// buffer of its own. Client arrays are fetched, lit, transformed, clipped and
// projected here; triangles are set up and drawn by span routines chosen once
// per draw call from a table (swsetup.h). The GL front end keeps enables,
// matrices, texture units and errors in its state manager; this back end
// reads them there and records its own errors there (0x4000 + GL error).
//
// The back end keeps three flags of its own in the state manager's wanted
// enable word: bit 20 (a material changed), bit 29 (perspective hint NICEST)
// and bit 30 (smooth shading).
#pragma once
#include <cstdint>

#include "gl/glbackend.h"
#include "gl/glstateman.h"
#include "gl/prect.h"
#include "gl/software/swsetup.h"

class PDisplay;
namespace vornGL {
class PBandDrawer;
}
struct PBackBuffer;
struct PDisplayProperties;

namespace vornGL {

// One texture: a single level of 16-bit texels. type after an upload names
// the texel format: UNSIGNED_SHORT_4_4_4_4 is 4444, LUMINANCE_ALPHA is 88
// (luminance high, alpha low), anything else RGB565 whose bit 5 marks a
// transparent texel when it came from 5551 data.
struct PSWTexture {
    u16* data;
    u32 format;
    u32 type;
    i32 inUse;
    i32 log2Width, log2Height;
    i32 capacity; // texels the storage holds (0 for the built-in texel)
};

// A client array.
struct PVertexArray {
    i32 enabled;
    i32 size;
    u32 type;
    i32 stride;
    void const* pointer;
};

// A light: eye-space position and spot direction, the direction used for
// lighting in object space, the stored spot and attenuation terms, and the
// colours packed as bytes (red in bits 0-7).
struct PSWLight {
    i32 position[4];
    i32 spotDirection[3];
    i32 objectVector[3];
    i32 spotExponent, spotCutoff, spotCosine;
    i32 linear, constant, quadratic;
    u32 ambient, diffuse, specular;
};

// A cached vertex of one draw call: clip position, flags, the rasterizer's
// vertex, the fetched position and the element index it holds.
struct PVertexEntry {
    i32 clip[4];
    u32 flags;
    u32 tag;
    PVertex v;
    i32 object[4];
    u32 index;
};

class P3DBackendSW : public P3DBackend {
public:
    // info: the drawing context's display record (width and height are its
    // first two words), not owned; orientation: the context's orientation
    // code. The colour target is the display's back buffer.
    P3DBackendSW(PDisplayProperties* info, P3DStateMan& states, PDisplay* display, int orientation = 0);
    ~P3DBackendSW() override;
    P3DBackendSW(P3DBackendSW const&) = delete;
    P3DBackendSW& operator=(P3DBackendSW const&) = delete;

    // The back end, or null when the display has no back buffer or the depth
    // buffer cannot be allocated.
    static P3DBackendSW* Create(PDisplayProperties* info, P3DStateMan& states, PDisplay* display,
                                int orientation = 0);
    // Whether construction found a back buffer and allocated the depth buffer.
    bool IsValid() const { return m_depthBuffer != nullptr; }

#define VORNGL_SW_DECLARE(kind, ret, name, params, args, cv) ret name params cv override;
    VORNGL_BACKEND_SLOTS(VORNGL_SW_DECLARE)
#undef VORNGL_SW_DECLARE

    // Render-row choice for the current state (called by glDrawElements).
    void UpdateRender();
    // Sets the colour key for a 565 texture with alpha under MODULATE (alpha blends).
    void KeyModulatedAlpha(u32 env);
    // Whether the alpha test rejects every fragment of the draw call: true
    // only where all its fragments have the current colour's alpha.
    bool AlphaTestRejectsDraw() const;
    // Draws a list of projected triangles (three vertex pointers each); -1.
    // Drawing threads: 1 (the default) draws each call as it comes; more keep
    // the calls and draw them in bands when the picture is needed (a clear,
    // a read-back, glFinish or glFlush, a texture change, the display's
    // presentation). False when the threads cannot be started (one is used).
    bool SetDrawThreads(int threads);
    int DrawThreads() const;
    // Draws what is kept.
    void FlushBands();
    int DrawPolygons(PVertex** triangles, int count);
    // Points (one pointer each) and lines (two each) as pairs of triangles.
    int DrawPoints(PVertex** points, int count);
    int DrawLines(PVertex** lines, int count);

    // Inspection for tests and tools.
    PTriangleSetup& Setup() { return m_setup; }
    i32 RenderRow() const { return m_renderRow; }
    u16 const* DepthBuffer() const { return m_depthBuffer; }
    PBackBuffer* Surface() const { return m_surface; }
    PSWTexture const& Texture(u32 name) const { return m_textures[name & 0xFF]; }
    u32 BlendMode() const { return m_blendMode; }
    i32 const* CombinedMatrix() const { return m_mvp; }
    PSWLight const& Light(int i) const { return m_lights[i & 7]; }
    u32 BaseColour() const { return m_baseColour; }
    // Lights a normal (object space) with the current lights and material:
    // r, g, b, a as 8.8 channels.
    void LightVertex(i32 const* normal, u16* rgba);

private:
    friend struct SWTransform;

    void SetError(u32 glError, char const* function);
    void Pointer(i32 size, u32 type, i32 stride, void const* ptr, PVertexArray* array);
    PSWTexture* ActiveTexture();
    void SetUnitTexture(u32 unit, PSWTexture* record);
    u32 SurfaceWidth() const;
    u32 SurfaceHeight() const;

    // Lighting.
    void PreCalcLight();
    void UpdateCullBits();
    void ObjectSpaceLights();
    void DiffLight(PVertex* vertex, i32 const* normal);

    // Transform stage.
    void TransformElementsGeneric(u32 mode, i32 count, u32 type, void const* indices);
    void TransformLinesElementsGeneric(u32 mode, i32 count, u32 type, void const* indices);

    PDisplayProperties* m_dispInfo;
    P3DStateMan* m_stateMan;
    PRect m_viewport;
    int m_orientation;
    u16 m_defaultTexel;
    PSWTexture m_textures[256];
    PVertexArray m_vertexArray, m_normalArray, m_colorArray;
    PVertexArray m_texCoordArrays[kMaxTextureUnits];
    PRect m_scissor;
    i32 m_polygonFactor, m_polygonUnits;
    i32 m_clearDepth;
    u32 m_depthMask;
    u32 m_depthFunc;
    i32 m_depthNear, m_depthFar;
    u32 m_alphaFunc;
    i32 m_alphaRef;
    u32 m_clearColor;
    u32 m_colorMask;
    i32 m_perspective;
    u32 m_shadeModel;
    u32 m_cullFace, m_frontFace;
    u32 m_cullBits;
    i32 m_linearFilter;
    u32 m_blendMode;
    i32 m_packAlignment, m_unpackAlignment;

    // Lighting block.
    u32 m_lightSnapshot;
    u32 m_materialAmbient, m_modelAmbient, m_materialDiffuse, m_materialSpecular, m_materialEmission;
    i32 m_shininess;
    u32 m_baseColour;
    PSWLight m_lights[8];
    bool m_lightingDirty;  // a material, light or model value changed since PreCalcLight
    bool m_lightVectorsDirty; // the object-space light vectors need recomputing

    PBackBuffer* m_surface;
    PDisplay* m_display;
    u16* m_depthBuffer;
    PBandDrawer* m_bands; // null when one thread draws
    PTriangleSetup m_setup;
    i32 m_renderRow;
    u32 m_drawCount;
    i32 m_mvp[16];
    PSWTexture* m_boundTexture;   // the record bound on the active unit
    PSWTexture* m_currentTexture; // the texture of the current draw call, or null
    i32 m_preTransformed;

    // Transform stage.
    enum { kCacheEntries = 1024, kClipEntries = 256, kSpareEntries = 4, kMaxTriangles = 1280 };
    PVertexEntry m_cache[kCacheEntries + kClipEntries + kSpareEntries];
    int m_clipNext;
    PVertex* m_triangles[kMaxTriangles * 3];
    u16 m_indexBuffer[1024];
};

} // namespace vornGL
