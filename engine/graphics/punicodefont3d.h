// The font the game draws with: a PUnicodeFont whose glyph strip is repacked
// at load time into at most 32 power-of-two GL textures, and whose text is
// drawn as batches of textured quads through the GL layer, directly in clip
// coordinates. Measuring, the pen walk, fallback fonts, markup and box
// printing are those of PUnicodeFont and PFont; the background box of a
// markup run is drawn on GL.
//
// The font draws on the context given to SetDrawingTarget, which must come
// before loading and printing; the context must outlive the font.
#pragma once
#include <cstdint>

#include "engine/graphics/punicodefont.h"

class GLES;

class PUnicodeFont3D : public PUnicodeFont {
public:
    static constexpr int kMaxTextures = 32;
    static constexpr int kBatchQuads = 32;

    // `mode`: GL colouring of the glyphs.
    //   0 colour, blended when its alpha is below 255 (texture modulated)
    //   1 colour, additive (ONE, ONE)
    //   2 and others: the texture as it is, no blending
    //   3 the texture blended by its alpha
    //   4 per-corner colours (cornerColors), no blending
    //   5 colour, blended by alpha
    // `args.blitFlags`: 0x01 alpha test, 0x02 mirror each glyph, 0x04 flip
    // each glyph upside down, 0x400 linear filtering, 0x8000 leave the
    // matrices alone (else projection and model-view are identity while
    // printing).
    enum : uint16_t {
        kFlagAlphaTest = 0x01,
        kFlagMirror = 0x02,
        kFlagFlip = 0x04,
        kFlagLinear = 0x400,
        kFlagKeepMatrices = 0x8000,
    };

    // One print's batch of quads.
    struct CharPrintState {
        int32_t vertices[kBatchQuads * 4 * 4]; // x, y, s, t (16.16) per vertex
        uint8_t colors[kBatchQuads * 4 * 4];   // R, G, B, A per vertex (mode 4)
        uint8_t indices[kBatchQuads * 6];
        int quads;
        int penX;
        int y;
        int32_t top, bottom; // clip-space y of the glyph row's edges
    };

    struct TextureInfo {
        uint16_t firstGlyph, lastGlyph; // glyph indices it holds
        uint16_t width, height;
    };

    PUnicodeFont3D();
    ~PUnicodeFont3D() override;

    // The context and the screen size in pixels (both above 0 to print).
    void SetDrawingTarget(GLES* gl, unsigned screenWidth, unsigned screenHeight, unsigned char unused);

    int Print(const char* s, int x, int y, int n) const override;
    int Print(const wchar_t* s, int x, int y, int n) const override;
    int PrintShape(int x, int y, int w, int h, const AttributeString& run) override;
    // Loads as PUnicodeFont does, then builds the textures and drops the
    // strip; false when the base load fails, there is no context, a glyph
    // does not fit a texture or more than 32 textures would be needed.
    bool Load(PStream& s) override;
    void Unload() override;
    using PUnicodeFont::Load;

    void Setup(CharPrintState& st) const;
    void PrintChar(wchar_t c, CharPrintState& st) const;

    uint32_t cornerColors[4] = {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu}; // mode 4, bytes R, G, B, A
    uint32_t textureCount = 0;
    uint32_t textures[kMaxTextures] = {};
    TextureInfo textureInfo[kMaxTextures] = {};
    uint8_t* glyphRows = nullptr; // each glyph's top row in its texture
    uint32_t screenWidth = 0, screenHeight = 0;
    int32_t scaleX = 0, scaleY = 0; // 0x2000000 / screen width (height)
    mutable uint32_t boundTexture = 0;

    GLES* GetDrawingTarget() const { return m_gl; }

private:
    template <class Next> int PrintText(Next next, int x, int y, int n) const;
    void Place(wchar_t c, const PGlyph* g, int pen, const PenStep& step, CharPrintState& st) const;
    bool BuildTextures();
    void DeleteTextures();
    void Flush(CharPrintState& st) const;
    void Finish() const;
    void BindTexture(unsigned index) const;
    bool Ready() const;
    int32_t ClipX(int x) const;
    int32_t ClipY(int y) const;

    GLES* m_gl = nullptr;
};
