// Sprites: frames, animation, drawing and collision tests.
#include "engine/graphics/psprite3d.h"

#include "engine/graphics/p3d.h"
#include "engine/graphics/psurface.h"
#include "engine/graphics/psurface3d.h"
#include "engine/runtime/palloc.h"
#include "engine/runtime/pdebug.h"
#include "engine/runtime/pfixed.h"

#include <algorithm>
#include <cstring>

PSprite3D::PSprite3D(P3D* ctx, PSurface3D* image, int owns)
    : m_ctx(ctx), m_attr(0), m_delay(0), m_counter(0), m_animPos(0), m_animLength(1), m_animList(nullptr), m_fx(),
      m_scale(0x10000), m_bound(), m_src(), m_image(image), m_frames(nullptr), m_x(0), m_y(0), m_cellW(0),
      m_cellH(0), m_across(0), m_down(0), m_frameCount(0), m_owner(owns)
{
    int w = image ? int(image->Width()) : 0, h = image ? int(image->Height()) : 0;
    MakeFrames(w, h);
    m_animLength = 1;
}

PSprite3D::PSprite3D(P3D* ctx, PSurface3D* image, int cellW, int cellH, int owns)
    : m_ctx(ctx), m_attr(0), m_delay(0), m_counter(0), m_animPos(0), m_animLength(0), m_animList(nullptr), m_fx(),
      m_scale(0x10000), m_bound(), m_src(), m_image(image), m_frames(nullptr), m_x(0), m_y(0), m_cellW(0),
      m_cellH(0), m_across(0), m_down(0), m_frameCount(0), m_owner(owns)
{
    MakeFrames(cellW, cellH);
    m_animLength = uint32_t(m_frameCount);
}

void PSprite3D::MakeFrames(int cellW, int cellH)
{
    if (!m_image || cellW <= 0 || cellH <= 0)
        return;
    m_cellW = uint32_t(cellW);
    m_cellH = uint32_t(cellH);
    m_across = m_image->Width() / m_cellW;
    m_down = m_image->Height() / m_cellH;
    uint64_t frames = uint64_t(m_across) * m_down;
    if (frames == 0 || frames > 0xFFFF)
        return;
    m_frames = static_cast<int32_t*>(PAlloc(int(frames * 2 * sizeof(int32_t))));
    if (!m_frames) {
        _PDebug("PSprite3D: no memory for %u frames\n", unsigned(frames));
        return;
    }
    m_frameCount = int32_t(frames);
    // Whole cells only, row by row.
    for (int32_t i = 0; i < m_frameCount; ++i) {
        m_frames[2 * i] = int32_t((uint32_t(i) % m_across) * m_cellW);
        m_frames[2 * i + 1] = int32_t((uint32_t(i) / m_across) * m_cellH);
    }
    m_bound = PRect{0, 0, cellW, cellH};
    m_src = PRect{0, 0, cellW, cellH};
}

PSprite3D::~PSprite3D()
{
    if (m_owner)
        delete m_image;
    PFree(m_frames);
}

PSprite3D* PSprite3D::Create(P3D* ctx, const char* path)
{
    PSurface3D* image = PSurface3D::CreateFromFile(ctx, path, 0x100);
    if (!image)
        return nullptr;
    PSprite3D* s = new PSprite3D(ctx, image, 1);
    if (!s) {
        delete image;
        return nullptr;
    }
    return s;
}

PSprite3D* PSprite3D::Create(P3D* ctx, const char* path, int cellW, int cellH)
{
    if (cellW <= 0 || cellH <= 0) {
        _PDebug("PSprite3D: cell size %dx%d\n", cellW, cellH);
        return nullptr;
    }
    PSurface3D* image = PSurface3D::CreateFromFile(ctx, path, 0x100);
    if (!image)
        return nullptr;
    PSprite3D* s = new PSprite3D(ctx, image, cellW, cellH, 1);
    if (!s) {
        delete image;
        return nullptr;
    }
    if (s->m_frameCount == 0) {
        _PDebug("PSprite3D: %s holds no whole %dx%d cell\n", path, cellW, cellH);
        delete s;
        return nullptr;
    }
    return s;
}

PSprite3D* PSprite3D::Create(P3D*, PStream*, int, int)
{
    return nullptr;
}

PSprite3D* PSprite3D::Create(P3D*, PStream*)
{
    return nullptr;
}

PSprite3D* PSprite3D::Duplicate()
{
    bool whole = m_image && m_cellW == m_image->Width() && m_cellH == m_image->Height();
    PSprite3D* s = whole ? new PSprite3D(m_ctx, m_image, 0) : new PSprite3D(m_ctx, m_image, int(m_cellW), int(m_cellH), 0);
    if (!s)
        return nullptr;
    s->m_attr = m_attr;
    s->m_delay = m_delay;
    s->m_counter = m_counter;
    s->m_animPos = m_animPos;
    s->m_animLength = m_animLength;
    s->m_animList = m_animList;
    s->m_fx = m_fx;
    s->m_scale = m_scale;
    return s;
}

void PSprite3D::MovePosition(int dx, int dy)
{
    m_x = int32_t(uint32_t(m_x) + (uint32_t(dx) << 16));
    m_y = int32_t(uint32_t(m_y) + (uint32_t(dy) << 16));
}

void PSprite3D::MovePositionFix(int dx, int dy)
{
    m_x = int32_t(uint32_t(m_x) + uint32_t(dx));
    m_y = int32_t(uint32_t(m_y) + uint32_t(dy));
}

void PSprite3D::FrameOrigin(int i, int& x, int& y) const
{
    if (i < 0 || i >= m_frameCount) {
        x = y = -1;
        return;
    }
    x = m_frames[2 * i];
    y = m_frames[2 * i + 1];
}

void PSprite3D::SetAnimationList(int* list, unsigned length)
{
    m_animList = list;
    m_animLength = list ? length : uint32_t(m_frameCount);
}

void PSprite3D::SetAnimationPos(unsigned p)
{
    if (m_frameCount < 2 || m_animLength == 0)
        return;
    m_animPos = p >= m_animLength ? m_animLength - 1 : p;
}

void PSprite3D::NextAnimation()
{
    if (m_frameCount < 2 || m_animLength == 0)
        return;
    m_animPos = m_animPos + 1 >= m_animLength ? 0 : m_animPos + 1;
}

void PSprite3D::PrevAnimation()
{
    if (m_frameCount < 2 || m_animLength == 0)
        return;
    m_animPos = m_animPos == 0 || m_animPos > m_animLength ? m_animLength - 1 : m_animPos - 1;
}

void PSprite3D::Draw(PDrawableSurface*)
{
    if ((m_attr & PSPR_DISABLED) || !m_ctx || !m_image || m_frameCount == 0)
        return;
    int frame = m_animList ? (m_animPos < m_animLength ? m_animList[m_animPos] : 0) : int(m_animPos);
    if (frame < 0 || frame >= m_frameCount)
        frame = 0; // a list entry naming no frame draws the first
    m_src = PRect{m_frames[2 * frame], m_frames[2 * frame + 1], int32_t(m_cellW), int32_t(m_cellH)};
    PRect dst{GetPositionX(), GetPositionY(), int32_t(m_cellW), int32_t(m_cellH)};
    if (m_attr & 0x40) {
        dst.width = int32_t((uint64_t(m_cellW) * uint32_t(m_scale)) >> 16);
        dst.height = int32_t((uint64_t(m_cellH) * uint32_t(m_scale)) >> 16);
    }
    if (m_attr & 0x378)
        m_ctx->BlitFx(dst, m_image, &m_src, int(m_attr), m_fx);
    else
        m_ctx->Blit(dst.x, dst.y, m_image, &m_src, int(m_attr));
    if (m_frameCount > 1 && (m_attr & PSPR_AUTOANIMATE)) {
        if (m_counter++ >= m_delay) {
            m_counter = 0;
            NextAnimation();
        }
    }
}

// ---------------------------------------------------------------------------
// Collision

int PSprite3D::CheckFastBoxCollision(const PRect& a, const PRect& b)
{
    int64_t ax1 = int64_t(a.x) + a.width, ay1 = int64_t(a.y) + a.height;
    int64_t bx1 = int64_t(b.x) + b.width, by1 = int64_t(b.y) + b.height;
    if (bx1 < a.x || b.x > ax1 || by1 < a.y || b.y > ay1)
        return 0;
    return 1;
}

void PSprite3D::ScaleBoundingBox(const PSprite3D* s, PRect& out)
{
    if (!s) {
        out = PRect{0, 0, 0, 0};
        return;
    }
    PRect b = s->m_bound;
    if (s->m_attr & 0x40) {
        auto sc = [s](int32_t v) { return int32_t((int64_t(v) * s->m_scale) >> 16); };
        b = PRect{sc(b.x), sc(b.y), sc(b.width), sc(b.height)};
    }
    out = PRect{s->GetPositionX() + b.x, s->GetPositionY() + b.y, b.width, b.height};
    if ((s->m_attr & 0x20) && s->m_fx.angle != 0) {
        int64_t sc = PSinCos(s->m_fx.angle);
        int64_t sn = PSinCosSin(sc), cs = PSinCosCos(sc);
        if (sn < 0)
            sn = -sn;
        if (cs < 0)
            cs = -cs;
        int64_t hw = out.width / 2, hh = out.height / 2;
        int64_t ex = (hw * cs + hh * sn) >> 16, ey = (hw * sn + hh * cs) >> 16;
        int64_t cx = int64_t(out.x) + hw, cy = int64_t(out.y) + hh;
        out = PRect{int32_t(cx - ex), int32_t(cy - ey), int32_t(2 * ex), int32_t(2 * ey)};
    }
}

int PSprite3D::CheckBoxCollision(const PRect& r) const
{
    if (m_attr & PSPR_DISABLED)
        return -1;
    PRect own;
    ScaleBoundingBox(this, own);
    return CheckFastBoxCollision(own, r);
}

int PSprite3D::CheckBoxCollision(const PSprite3D* other) const
{
    if ((m_attr & PSPR_DISABLED) || !other)
        return -1;
    PRect own, theirs;
    ScaleBoundingBox(this, own);
    ScaleBoundingBox(other, theirs);
    return CheckFastBoxCollision(own, theirs);
}

int PSprite3D::CheckPixelCollision(const PSprite3D* other) const
{
    if ((m_attr & PSPR_DISABLED) || !other || !m_image || !other->m_image)
        return -1;
    PRect a{GetPositionX() + m_bound.x, GetPositionY() + m_bound.y, m_bound.width, m_bound.height};
    PRect b{other->GetPositionX() + other->m_bound.x, other->GetPositionY() + other->m_bound.y, other->m_bound.width,
            other->m_bound.height};
    if (!CheckFastBoxCollision(a, b))
        return -1;
    const PSurface* ia = m_image->GetImage();
    const PSurface* ib = other->m_image->GetImage();
    if (!ia || !ib || ia->format != ib->format || !ia->pixels || !ib->pixels)
        return -1;
    if (ia->format != PSURFACE_RGB565 && ia->format != PSURFACE_INDEX8)
        return -1;
    int x0 = std::max(a.x, b.x), y0 = std::max(a.y, b.y);
    int x1 = std::min(a.x + a.width, b.x + b.width), y1 = std::min(a.y + a.height, b.y + b.height);
    // The overlap read from each image at its offset inside that sprite's box,
    // cut to both images.
    int ax = x0 - a.x, ay = y0 - a.y, bx = x0 - b.x, by = y0 - b.y;
    int w = std::min({x1 - x0, ia->width - ax, ib->width - bx});
    int h = std::min({y1 - y0, ia->height - ay, ib->height - by});
    if (ax < 0 || ay < 0 || bx < 0 || by < 0 || w <= 0 || h <= 0)
        return -1;
    unsigned keyA = PRGB2Native(ia->colorKey), keyB = PRGB2Native(ib->colorKey);
    for (int y = 0; y < h; ++y) {
        const uint8_t* ra = ia->pixels + size_t(ay + y) * size_t(ia->pitch);
        const uint8_t* rb = ib->pixels + size_t(by + y) * size_t(ib->pitch);
        for (int x = 0; x < w; ++x) {
            if (ia->format == PSURFACE_RGB565) {
                unsigned pa = ra[(ax + x) * 2] | ra[(ax + x) * 2 + 1] << 8;
                unsigned pb = rb[(bx + x) * 2] | rb[(bx + x) * 2 + 1] << 8;
                if (pa != keyA && pb != keyB)
                    return 1;
            } else if (ra[ax + x] && rb[bx + x]) {
                return 1;
            }
        }
    }
    return -1;
}
