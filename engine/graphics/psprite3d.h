// PSprite3D: an animated 2D sprite on a textured image: a grid of equal cells
// used as animation frames, a 16.16 position, blit effects, and box and pixel
// collision tests. The menus use it for animated pictures.
#pragma once
#include <cstdint>

#include "engine/graphics/pblit.h"
#include "gl/prect.h"

class P3D;
class PSurface3D;
class PDrawableSurface;
class PStream;
class PTileMap;

// Attributes beyond the blit flags of PSurface3D.
enum : uint32_t {
    PSPR_AUTOANIMATE = 0x400,
    PSPR_DISABLED = 0x800,
};

class PSprite3D {
public:
    // One frame: the whole image.
    PSprite3D(P3D* ctx, PSurface3D* image, int owns);
    // Cells of cellW x cellH, numbered row by row. Cell sizes of 0 or less
    // leave a sprite without frames (Create refuses them).
    PSprite3D(P3D* ctx, PSurface3D* image, int cellW, int cellH, int owns);
    ~PSprite3D();
    PSprite3D(const PSprite3D&) = delete;
    PSprite3D& operator=(const PSprite3D&) = delete;

    // The image is loaded as 565 and owned; null when it cannot be loaded or
    // a cell size is 0 or less.
    static PSprite3D* Create(P3D* ctx, const char* path);
    static PSprite3D* Create(P3D* ctx, const char* path, int cellW, int cellH);
    // Not supported: null.
    static PSprite3D* Create(P3D* ctx, PStream* stream, int cellW, int cellH);
    static PSprite3D* Create(P3D* ctx, PStream* stream);
    // A sprite on the same image (not owned), position 0.
    PSprite3D* Duplicate();

    void Enable() { m_attr &= ~uint32_t(PSPR_DISABLED); }
    void Disable() { m_attr |= PSPR_DISABLED; }
    void SetAttr(uint32_t set, uint32_t mask) { m_attr = (m_attr | set) & mask; }
    uint32_t GetAttr() const { return m_attr; }
    void SetAngle(int a) { m_fx.angle = uint16_t(a & 0xFFFF); }
    int GetAngle() const { return m_fx.angle; }
    void SetAlpha(int a) { m_fx.alpha = uint32_t(a & 0xFF); }
    int GetAlpha() const { return int(m_fx.alpha); }
    void SetScale(int s) { m_scale = s; }
    int GetScale() const { return m_scale; }
    void SetColor(uint32_t c) { m_fx.color = c; }
    uint32_t GetColor() const { return m_fx.color; }
    void SetAlphaMap(uint8_t* map, unsigned length)
    {
        m_fx.alphaMap = map;
        m_fx.alphaMapLength = length;
    }
    void SetBoundingRect(const PRect& r) { m_bound = r; }
    void SetDelay(uint32_t d) { m_delay = d; }

    void SetPosition(int x, int y) { m_x = int32_t(uint32_t(x) << 16), m_y = int32_t(uint32_t(y) << 16); }
    void SetPositionFix(int x, int y) { m_x = x, m_y = y; }
    void MovePosition(int dx, int dy);
    void MovePositionFix(int dx, int dy);
    void GetPosition(int& x, int& y) const { x = GetPositionX(), y = GetPositionY(); }
    int GetPositionX() const { return int16_t(uint32_t(m_x) >> 16); }
    int GetPositionY() const { return int16_t(uint32_t(m_y) >> 16); }

    void SetAnimationList(int* list, unsigned length);
    void SetAnimationPos(unsigned p);
    void NextAnimation();
    void PrevAnimation();
    unsigned GetAnimationPos() const { return m_animPos; }
    int FrameCount() const { return m_frameCount; }
    // Top-left of frame i in the image ({-1, -1} outside).
    void FrameOrigin(int i, int& x, int& y) const;

    // Draws through the context (the argument is not used).
    void Draw(PDrawableSurface* unused = nullptr);

    static int CheckFastBoxCollision(const PRect& a, const PRect& b);
    static void ScaleBoundingBox(const PSprite3D* s, PRect& out);
    int CheckBoxCollision(const PRect& r) const;
    int CheckBoxCollision(const PSprite3D* other) const;
    int CheckPixelCollision(const PSprite3D* other) const;
    int CheckLayerBoxCollision(const PTileMap*, unsigned short) const { return 0; }
    int CheckLayerPixelCollision(const PTileMap*, unsigned short) const { return 0; }
    int CheckPixelCollision(int, int, int, int) const { return -1; }
    int CheckPixelRotateCollision(const PSprite3D*) const { return -1; }
    int CheckRotateBoxCollision(const PRect&) const { return 1; }

private:
    void MakeFrames(int cellW, int cellH);

    P3D* m_ctx;
    uint32_t m_attr;
    uint32_t m_delay;
    uint32_t m_counter;
    uint32_t m_animPos;
    uint32_t m_animLength;
    int32_t* m_animList;
    PBlitFX m_fx;
    int32_t m_scale;
    PRect m_bound;
    PRect m_src;
    PSurface3D* m_image;
    int32_t* m_frames; // x, y per frame
    int32_t m_x, m_y;
    uint32_t m_cellW, m_cellH;
    uint32_t m_across, m_down;
    int32_t m_frameCount;
    int32_t m_owner;
};
