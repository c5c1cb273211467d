// P3D: the drawing context. It is the GL interface (GLES) plus the choice of
// the back end from the display's graphics type, the program's GL defaults,
// 2D drawing in screen pixels (origin at the top left of the viewport, y
// downwards), the texel conversion of every texture upload and the mapping of
// 3D points to screen coordinates.
//
// 2D colours are 0xAARRGGBB; a component c becomes the GL colour c << 8.
#pragma once
#include <cstdint>

#include "engine/platform/pdisplay.h"
#include "engine/runtime/pmath3d.h"
#include "gl/gles.h"
#include "gl/prect.h"

class PSurface;
class PSurface3D;
class PDrawableSurface;
struct PBlitFX;

// Blend argument of the 2D operations; any other value counts as opaque.
enum P3DBlendModes : int {
    P3DBLEND_OPAQUE = 0, // blending off (fills force alpha 0xFF)
    P3DBLEND_ALPHA = 1,  // (SRC_ALPHA, ONE_MINUS_SRC_ALPHA)
    P3DBLEND_ADDALPHA = 2, // (SRC_ALPHA, ONE)
    P3DBLEND_ADD = 4,    // (ONE, ONE)
};

struct PVector2 {
    int32_t x, y;
};

class P3D : public GLES {
public:
    // A context on display (null on failure: unknown graphics type, no back
    // end, or an off-screen framebuffer the display asked for that could not
    // be made). target, when given, supplies the drawing size.
    static P3D* Create(PDisplay* display, PDrawableSurface* target);

    explicit P3D(PDisplay* display);
    ~P3D() override;

    int Init(PDisplay* display, PDrawableSurface* target);

    // Makes the back end of a context; info is the context's own display
    // record, which the back end keeps. Null on failure.
    using BackendMaker = vornGL::P3DBackend* (*)(PDisplayProperties* info, void* user);
    // Create and Init with a back end of the caller's choice instead of the
    // one the display's graphics type names (recording and null back ends of
    // the tests and benchmarks).
    static P3D* Create(PDisplay* display, PDrawableSurface* target, BackendMaker maker, void* user);
    int Init(PDisplay* display, PDrawableSurface* target, BackendMaker maker, void* user);
    // Re-reads the display after a change of size or orientation.
    void ReconfigureDisplay();
    bool IsHW();
    // Not supported: -1.
    int SetRenderTarget(PDrawableSurface* target);
    // Uploads a 565 image into the bound texture; 0, or -1 for an image that
    // is not 565 or when the upload reports a GL error.
    int SetActiveTexture(PSurface* image);

    // Viewport and clipping, in screen pixels with y downwards.
    void UpdateViewPort();
    void SetViewPort(int x, int y, int w, int h);
    void SetClipRect(int left, int top, int right, int bottom);
    void SetClipRect(const PRect& r) { SetClipRect(r.x, r.y, r.x + r.width, r.y + r.height); }
    void ResetClipRect();

    // 2D drawing.
    void Clear(unsigned colour);
    void FillRect(int x, int y, unsigned w, unsigned h, unsigned colour, P3DBlendModes mode);
    void FillRect(const PRect& r, unsigned colour, P3DBlendModes mode)
    {
        FillRect(r.x, r.y, unsigned(r.width), unsigned(r.height), colour, mode);
    }
    void Rectangle(int x, int y, int w, int h, unsigned colour, P3DBlendModes mode);
    void Rectangle(const PRect& r, unsigned colour, P3DBlendModes mode)
    {
        Rectangle(r.x, r.y, r.width, r.height, colour, mode);
    }
    void Line(int x0, int y0, int x1, int y1, unsigned colour0, unsigned colour1, P3DBlendModes mode);
    void Line(int x0, int y0, int x1, int y1, unsigned colour, P3DBlendModes mode)
    {
        Line(x0, y0, x1, y1, colour, colour, mode);
    }
    void HLine(int x, int y, int length, unsigned colour, P3DBlendModes mode)
    {
        FillRect(x, y, unsigned(length), 1, colour, mode);
    }
    void VLine(int x, int y, int length, unsigned colour, P3DBlendModes mode)
    {
        FillRect(x, y, 1, unsigned(length), colour, mode);
    }
    void PutPixelRGB(int x, int y, unsigned colour, P3DBlendModes mode) { FillRect(x, y, 1, 1, colour, mode); }

    // Textured images (PSurface3D does the work).
    void Blit(int x, int y, PSurface3D* image, PRect* src, int flags);
    void Blit(int x, int y, PSurface3D* image, PRect* src, int flags, const PBlitFX& fx);
    void BlitFx(int x, int y, PSurface3D* image, const PRect* src, int flags, const PBlitFX& fx);
    void BlitFx(const PRect& dst, PSurface3D* image, const PRect* src, int flags, const PBlitFX& fx);
    void BlitAlpha(int x, int y, PSurface3D* image, const PRect* src, int flags, const PBlitFX& fx);

    // Converts rect of image (all of it when null) into the texel layout of
    // the GL type (and format) at (dx, dy) of dst, pitch texels a row; flip
    // bit 0 walks the source rows upwards. The rectangle is cut to the image.
    static void CopyTexData(void* dst, unsigned dx, unsigned dy, unsigned pitch, int type, const PSurface* image,
                            const PRect* rect, int flip, int format);
    // The texel rule of the uploads that stage an image's texels with
    // CopyTexData and have alpha: the texture manager's textures
    // (PTextureManager) and the tiles of pictures drawn on screen
    // (PSurface3D). The glyph textures of fonts (PUnicodeFont3D) and
    // ready-made texture files (PVR, ATC, ETC) go up as they are. Applied to
    // a w x h texture: a fully transparent texel that a bilinear sample
    // can mix with a visible one (one of its eight neighbours is visible;
    // across the texture's edge too where it repeats, wrap bit 0 in s and bit
    // 1 in t) takes the mean colour of its visible neighbours, every other
    // fully transparent texel turns black, and transparent palette entries
    // turn black; alpha stays. A filtered or blended draw then never brings
    // the colour key's colour to the screen. 0, or -1 without memory for the
    // row masks (the texels are then unchanged).
    static int FillClearTexels(void* texels, unsigned w, unsigned h, int type, int format, int wrap);

    // Screen projection with the current matrices and viewport (16.16; y
    // downwards). A point at or behind the eye plane lands far off screen.
    void GetScreenCoordXYZ(PVector3& out, const PVector3* p);
    void GetScreenCoordXY(PVector2& out, const PVector3* p);
    // Projects the triangles of in (consecutive triples of count points) and
    // clips them against the view-volume planes of planeMask (bits 0-5: x <
    // -w, x > w, y < -w, y > w, z < -w, z > w); the output is a triangle list
    // of at most capacity points. reserved is not used. Returns the number of
    // points written.
    int GetScreenCoordsXYZ(PVector3* out, const PVector3* in, int reserved, int count, int planeMask,
                           int capacity);
    // Clips the triangle a, b, c (object space) against planeMask and writes
    // the projected triangle fan as a triangle list into out (at most
    // capacity points); the number written.
    int ClipScreenCoord(PVector3* out, PVector3* a, PVector3* b, PVector3* c, int planeMask, int capacity,
                        int reserved0, int reserved1);

    // Screen point (x, y) of the viewport to clip space (16.16).
    int32_t ClipX(int x) const;
    int32_t ClipY(int y) const;
    // True when the viewport has no area (nothing is drawn then).
    bool ViewportEmpty() const { return m_clipScaleX == 0 || m_clipScaleY == 0; }

    PDisplay* GetDisplay() const { return m_display; }
    const PDisplayProperties& GetDisplayInfo() const { return m_info; }
    int32_t ViewportWidth() const { return m_viewportW; }
    int32_t ViewportHeight() const { return m_viewportH; }
    int32_t ClipScaleX() const { return m_clipScaleX; }
    int32_t ClipScaleY() const { return m_clipScaleY; }

private:
    struct Vec4 {
        int64_t x, y, z, w;
    };
    void Transform(const PVector3& p, Vec4& clip);
    void Project(const Vec4& clip, PVector3& out);
    void Set2DBlend(P3DBlendModes mode);

    PDisplay* m_display;
    PDisplayProperties m_info;
    int32_t m_viewportW;
    int32_t m_viewportH;
    int32_t m_clipScaleX;
    int32_t m_clipScaleY;
};
