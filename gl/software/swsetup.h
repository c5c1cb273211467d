// The software rasterizer's shared records: the transformed vertex, the
// per-triangle set-up record that the triangle set-up fills and every span
// routine reads, and the span table that picks the routines of a triangle.
//
// Numbers: window x and y are 16.16 with y growing downwards and pixel centres
// on whole values; vertex colours are 8.8 (255.0 is 0xFF00); inside the set-up
// colours are 16.16 with an integer part of 0..255, texture coordinates have
// 24 fraction bits per texture repeat, depth is 24.8 in 16-bit depth units.
#pragma once
#include <array>
#include <cstdint>

namespace vornGL {

typedef uint16_t u16;

// A transformed, lit and projected vertex.
struct PVertex {
    int32_t x, y; // window position, 16.16, y downwards
    int32_t z;    // window depth in 16-bit depth units
    int32_t w;    // perspective weight: the reciprocal of clip w, about 2^36 / w
    u16 r, g, b, a; // 8.8
    int32_t u, v;   // texture coordinates, 16.16
};

struct PTriangleSetup;

typedef void (*PGradientFn)(PTriangleSetup& s, PVertex const* top, PVertex const* mid, PVertex const* bot);
typedef void (*PEdgeFn)(PTriangleSetup& s, PVertex const* from, PVertex const* to);
typedef void (*PSpanFn)(PTriangleSetup* s, int32_t yTop, int32_t yBottom);

// The set-up record, one per back end. Signed 32-bit unless stated.
struct PTriangleSetup {
    int32_t stepA, stepR, stepG, stepB; // left-edge colour change per scanline
    int32_t dAdy, dRdy, dGdy, dBdy;
    int32_t dAdx, dRdx, dGdx, dBdx;
    int32_t edgeA, edgeR, edgeG, edgeB; // colour at the left edge of the scanline
    int32_t colourAux[4];               // A, R, G, B added at the first pixel of a span
    uint32_t flatColour;                // RGB565 in bits 0-15, alpha in bits 16-23
    u16 const* texels;
    int32_t stepU, stepV, stepW;
    int32_t dUdy, dVdy, dWdy;
    int32_t dUdx, dVdx, dWdx;
    int32_t edgeU, edgeV, edgeW;
    int32_t texShiftU, texShiftV; // log2 of the texture's width and height
    int32_t vertexUW[3], vertexVW[3]; // perspective: u * w' >> 12 and v * w' >> 12 of the sorted vertices
    int32_t weightShift;              // perspective: w' = w << weightShift for the triangle's three vertices
    int32_t lowerHalf;                // 0 for the upper half, 1 for the lower
    uint32_t spanFlags;               // 0x10000 depth writes on; 0x20 from the texture set-ups
    int32_t stepZ;
    int32_t dZdy, dZdx;
    int32_t edgeZ;
    u16* depthBuffer;
    int32_t lineCount;
    int32_t edgeInvDy;
    int32_t leftDxDy, rightDxDy;
    int32_t leftX, rightX;
    int32_t prestepY;
    int32_t invArea;
    int32_t dy02, dy12, dx02, dx12; // edge deltas with 4 fraction bits
    int32_t pitch;                  // bytes per row of the colour and depth buffers
    u16* colourBuffer;
    int32_t clipMinX, clipMaxX, clipMinY, clipMaxY; // whole pixels << 16
    uint32_t faceMode;                              // bit 1 selects the culled sign
    uint32_t enables;                               // the state manager's enable word for this draw
    int32_t depthOffset;                            // polygon offset of the triangle, depth units
    uint32_t texMask;
    int32_t colourKey; // 1: skip texels whose alpha or key bits say transparent
    uint32_t spreadMask;
    int32_t row; // span-table row of the triangle
    int32_t vertexColourW[3][4];
    // The noise span's stream (no state of the back end selects it).
    uint32_t noiseIndex, noiseMask;
    uint32_t const* noiseTable;
    // The vertex whose colour a flat-shaded triangle takes (the last one
    // submitted), while DrawPolygons sets the triangle up.
    PVertex const* flatVertex;
    // The rows a span routine draws into, [bandTop, bandBottom), when several
    // threads draw, each its own band; bandBottom 0 (as a cleared record
    // has it) means every row. Rows outside are stepped over, so that the
    // values on the rows drawn are those a whole-surface pass computes.
    int32_t bandTop, bandBottom;
};

// Enable-word bits read by the set-up and the spans.
enum : uint32_t {
    kEnCullFace = 0x2,
    kEnBlend = 0x4,
    kEnStencil = 0x10,
    kEnDepthTest = 0x20,
    kEnPolygonOffset = 0x80,
    kEnLighting = 0x200,
    kEnAlphaTest = 0x400,
    kEnMaterialChanged = 0x100000,
    kEnColourMaterial = 0x400000,
    kEnNormalize = 0x800000,
    kEnTexCoordArray = 0x10000000,
    kEnPerspective = 0x20000000,
    kEnSmooth = 0x40000000,
};

enum : uint32_t {
    kSpreadMask = 0x07E0F81Fu,
    kSpanDepthWrite = 0x10000u,
    kSpanTextured = 0x20u,
};

// One row of the span table.
struct PPolyFuncs {
    PGradientFn gradient;
    PEdgeFn leftEdge;
    PEdgeFn rightEdge;
    PSpanFn span;
};

enum { kSpanRows = 218 };
extern const std::array<PPolyFuncs, kSpanRows> m_polyfunc;
// The span routine's name of each row ("DrawInnerAGTPZ4444", "PDrawTAsm"), for
// diagnostics and tests.
char const* SpanRowName(int row);
// The set-up pair's name of each row ("Flat", "Gouraud", "UV", "UVG", "All",
// "AllP", "Noice").
char const* SetupRowName(int row);

// Gradient and edge set-ups.
void GradientFlat(PTriangleSetup&, PVertex const*, PVertex const*, PVertex const*);
void GradientGouraud(PTriangleSetup&, PVertex const*, PVertex const*, PVertex const*);
void GradientUV(PTriangleSetup&, PVertex const*, PVertex const*, PVertex const*);
void GradientUVG(PTriangleSetup&, PVertex const*, PVertex const*, PVertex const*);
void GradientAll(PTriangleSetup&, PVertex const*, PVertex const*, PVertex const*);
void GradientAllP(PTriangleSetup&, PVertex const*, PVertex const*, PVertex const*);
void GradientNoice(PTriangleSetup&, PVertex const*, PVertex const*, PVertex const*);
void LeftSlopeFlat(PTriangleSetup&, PVertex const*, PVertex const*);
void LeftSlopeGouraud(PTriangleSetup&, PVertex const*, PVertex const*);
void LeftSlopeUV(PTriangleSetup&, PVertex const*, PVertex const*);
void LeftSlopeUVG(PTriangleSetup&, PVertex const*, PVertex const*);
void LeftSlopeAll(PTriangleSetup&, PVertex const*, PVertex const*);
void LeftSlopeAllP(PTriangleSetup&, PVertex const*, PVertex const*);
void LeftSlopeNoice(PTriangleSetup&, PVertex const*, PVertex const*);
void RightSlope(PTriangleSetup&, PVertex const*, PVertex const*);

// What a draw call adds to the set-up record for DrawPolygons: the draw's
// span-table row, whether a texture is current, the perspective hint and the
// polygon offset.
struct PDrawParams {
    int32_t renderRow;
    bool textured;
    int32_t perspective;
    int32_t polygonFactor, polygonUnits;
};

// The last row of the band plus one (see bandBottom).
inline int32_t BandBottom(PTriangleSetup const& s) { return s.bandBottom ? s.bandBottom : INT32_MAX; }

// Sets up and draws count triangles (three vertex pointers each) with the
// record s, whose per-draw fields the draw call filled. Triangles that lie
// wholly outside the record's band are passed over.
void RasterizeTriangles(PTriangleSetup& s, PDrawParams const& d, PVertex const* const* tris, int count);

// Counts of reciprocals taken by the perspective spans on this thread since
// the last reset (the spans' cost measure; read by tests and benchmarks).
extern thread_local uint32_t g_spanReciprocals;

} // namespace vornGL
