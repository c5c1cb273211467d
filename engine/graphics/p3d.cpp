// The drawing context: back-end choice, GL defaults, 2D drawing in screen
// pixels, viewport and clipping, and the screen projection of 3D points.
#include "engine/graphics/p3d.h"

#include "engine/graphics/p3dgl.h"
#include "engine/graphics/psurface.h"
#include "engine/graphics/psurface3d.h"
#include "engine/runtime/pdebug.h"
#include "engine/runtime/pfixed.h"
#include "gl/es2_backend.h"
#include "gl/glbackend_es11.h"
#include "gl/gltrace_backend.h"
#include "gl/software/swbackend.h"
#include "gl/software/swbands.h"

#include <algorithm>
#include <cstring>

using namespace p3dgl;

namespace {

// The enables every 2D draw decides (texturing, culling, blending, depth
// test, alpha test, normal/colour/texture-coordinate arrays, perspective hint,
// smooth shading); what a draw does not ask for is switched off.
constexpr uint32_t k2DMask = 0x7C000427;

int32_t Saturate(int64_t v)
{
    return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : int32_t(v);
}

// 0xAARRGGBB component to the GL colour value.
int32_t Comp(unsigned colour, int shift)
{
    return int32_t(((colour >> shift) & 0xFF) << 8);
}

} // namespace

P3D* P3D::Create(PDisplay* display, PDrawableSurface* target)
{
    return Create(display, target, nullptr, nullptr);
}

P3D* P3D::Create(PDisplay* display, PDrawableSurface* target, BackendMaker maker, void* user)
{
    P3D* p = new P3D(display);
    if (!p) {
        _PDebug("P3D: no memory for the drawing context\n");
        return nullptr;
    }
    if (!p->Init(display, target, maker, user)) {
        delete p;
        return nullptr;
    }
    p->ReconfigureDisplay();
    return p;
}

P3D::P3D(PDisplay* display)
    : m_display(display), m_info(), m_viewportW(0), m_viewportH(0), m_clipScaleX(0), m_clipScaleY(0)
{
}

P3D::~P3D() {}

int P3D::Init(PDisplay* display, PDrawableSurface* target)
{
    return Init(display, target, nullptr, nullptr);
}

int P3D::Init(PDisplay* display, PDrawableSurface* target, BackendMaker maker, void* user)
{
    m_display = display;
    if (!display) {
        _PDebug("P3D: no display\n");
        return 0;
    }
    display->GetInfo(m_info);
    if (target) {
        m_info.width = target->width;
        m_info.height = target->height;
    }

    vornGL::P3DBackend* backend = nullptr;
    int type = display->GetType();
    switch (maker ? PGRAPHICS_GLES1 : type) {
    case PGRAPHICS_GLES1:
        backend = maker ? maker(&m_info, user) : vornGL::MakeES11Backend(&m_info);
        break;
    case PGRAPHICS_GLES2:
        backend = new vornGL::P3DBackendES20(&m_info, GetStateMan());
        break;
    case PGRAPHICS_SOFTWARE:
        // Null when the display has no back buffer or the depth buffer cannot
        // be allocated.
        if (auto* sw = vornGL::P3DBackendSW::Create(&m_info, GetStateMan(), display,
                                                    display->GetCurrentOrientation())) {
            // Kept draws are drawn before the display shows its buffer; a
            // display that cannot say when it does gets them drawn at once.
            if (display->SetBeforePresent(nullptr, nullptr))
                sw->SetDrawThreads(vornGL::DrawThreadsWanted());
            backend = sw;
        } else {
            _PDebug("P3D: the software back end could not be made\n");
            return 0;
        }
        break;
    default:
        _PDebug("P3D: unknown display graphics type %d\n", type);
        return 0;
    }
    if (!backend) {
        _PDebug("P3D: no memory for the GL back end\n");
        return 0;
    }
    backend->vornGLSetOrientation(display->GetCurrentOrientation());

    // GLES::Init also reports 0 when no off-screen framebuffer was asked for;
    // only a framebuffer the display wants and cannot have is a failure.
    int glOk = GLES::Init(backend, display);
    if (!GetBackend()) {
        delete backend;
        _PDebug("P3D: the GL layer refused its back end\n");
        return 0;
    }
    if (!glOk && m_info.fbWidth > 0 && m_info.fbHeight > 0) {
        _PDebug("P3D: the display's %dx%d off-screen framebuffer could not be set up\n", m_info.fbWidth,
                m_info.fbHeight);
        return 0;
    }

    backend->glGetString(kVersion);
    backend->glGetString(kRenderer);
    backend->glGetString(kVendor);
    glActiveTexture(kTexture0);
    vornGLStateUpdate(0x80000009, k2DMask);
    glEnableClientState(kVertexArray);
    GetStateMan().ApplyEnableDisable();
    glTexEnvx(kTextureEnv, kTextureEnvMode, int32_t(kReplace));
    backend->glFrontFace(kCW);
    backend->glCullFace(kBack);
    backend->glAlphaFuncx(kGreater, 0);
    glViewport(0, 0, m_info.width, m_info.height);
    glScissor(0, 0, m_info.width, m_info.height);
    m_viewportW = m_viewportH = 0;
    UpdateViewPort();
    return 1;
}

void P3D::ReconfigureDisplay()
{
    if (!m_display || !GetBackend())
        return;
    m_display->GetInfo(m_info);
    GetBackend()->vornGLSetOrientation(m_display->GetCurrentOrientation());
    glViewport(0, 0, m_info.width, m_info.height);
    glScissor(0, 0, m_info.width, m_info.height);
    GetBackend()->glColorMask(1, 1, 1, 0);
    m_viewportW = m_viewportH = 0;
    UpdateViewPort();
}

bool P3D::IsHW()
{
    return GetBackend() && GetBackend()->vornGLGetAPI() > 0;
}

int P3D::SetRenderTarget(PDrawableSurface*)
{
    return -1;
}

int P3D::SetActiveTexture(PSurface* image)
{
    if (!image || image->format != PSURFACE_RGB565 || !image->pixels) {
        _PDebug("P3D::SetActiveTexture: not a 565 image\n");
        return -1;
    }
    glGetError();
    glTexImage2D(kTexture2D, 0, int32_t(kRGB), image->width, image->height, 0, kRGB, kUnsignedShort565,
                 image->pixels);
    uint32_t err = glGetError();
    if (err) {
        _PDebug("P3D::SetActiveTexture: GL error 0x%x uploading %dx%d\n", err, image->width, image->height);
        return -1;
    }
    return 0;
}

// ---------------------------------------------------------------------------
// Viewport and clipping

void P3D::UpdateViewPort()
{
    PRect vp = GetStateMan().GetViewport();
    if (vp.width == m_viewportW && vp.height == m_viewportH)
        return;
    m_viewportW = vp.width;
    m_viewportH = vp.height;
    // An empty viewport has no pixel size: nothing is drawn until it grows.
    m_clipScaleX = vp.width > 0 ? 0x2000000 / vp.width : 0;
    m_clipScaleY = vp.height > 0 ? 0x2000000 / vp.height : 0;
}

int32_t P3D::ClipX(int x) const
{
    return Saturate(((int64_t(m_clipScaleX) * x) >> 8) - 0x10000);
}

int32_t P3D::ClipY(int y) const
{
    return Saturate(((int64_t(m_clipScaleY) * (int64_t(m_viewportH) - y)) >> 8) - 0x10000);
}

void P3D::SetViewPort(int x, int y, int w, int h)
{
    int64_t DW = m_info.width, DH = m_info.height;
    int64_t X = x, Y = y, W = w, H = h, glY;
    if (X < 0) {
        W += X;
        X = 0;
    } else if (X > DW) {
        X = DW;
        W = 0;
    }
    if (W < 0)
        W = 0;
    if (X + W > DW)
        W = DW - X;
    if (Y < 0) {
        H += Y;
        Y = 0;
    } else if (Y > DH) {
        Y = DH;
        H = 0;
    }
    if (H < 0)
        H = 0;
    if (Y + H > DH) {
        H = DH - Y;
        glY = 0;
    } else {
        glY = DH - Y - H;
    }
    glViewport(int32_t(X), int32_t(glY), int32_t(W), int32_t(H));
}

void P3D::SetClipRect(int left, int top, int right, int bottom)
{
    UpdateViewPort();
    int64_t W = m_viewportW, H = m_viewportH;
    int64_t x, y, w, h;
    if (left < 0) {
        x = 0;
        w = std::max(right, 0);
    } else if (left > W) {
        x = W;
        w = 0;
    } else {
        x = left;
        w = int64_t(right) - left;
    }
    if (x + w > W)
        w = W - x;
    if (top < 0) {
        y = 0;
        h = std::max(bottom, 0);
    } else if (top > H) {
        y = H;
        h = 0;
    } else {
        y = top;
        h = int64_t(bottom) - top;
    }
    if (y + h > H)
        h = H - y;
    if (w < 0)
        w = 0;
    if (h < 0)
        h = 0;
    glScissor(int32_t(x), int32_t(H - y - h), int32_t(w), int32_t(h));
    glEnable(kScissorTest);
}

void P3D::ResetClipRect()
{
    UpdateViewPort();
    SetClipRect(0, 0, m_viewportW, m_viewportH);
}

// ---------------------------------------------------------------------------
// 2D drawing

void P3D::Clear(unsigned colour)
{
    auto c = [colour](int shift) {
        unsigned v = (colour >> shift) & 0xFF;
        return int32_t((v << 8) + (v > 0 ? 1 : 0));
    };
    GetBackend()->glClearColorx(c(16), c(8), c(0), 0);
    glClear(kColorBufferBit);
}

void P3D::Set2DBlend(P3DBlendModes mode)
{
    switch (mode) {
    case P3DBLEND_ALPHA:
        glBlendFunc(kSrcAlpha, kOneMinusSrcAlpha);
        break;
    case P3DBLEND_ADDALPHA:
        glBlendFunc(kSrcAlpha, kOne);
        break;
    case P3DBLEND_ADD:
        glBlendFunc(kOne, kOne);
        break;
    default:
        glBlendFunc(kZero, kOne);
        break;
    }
}

static bool Blends(P3DBlendModes mode)
{
    return mode == P3DBLEND_ALPHA || mode == P3DBLEND_ADDALPHA || mode == P3DBLEND_ADD;
}

void P3D::FillRect(int x, int y, unsigned w, unsigned h, unsigned colour, P3DBlendModes mode)
{
    UpdateViewPort();
    if (ViewportEmpty() || w == 0 || h == 0)
        return;
    vornGL::P3DBackend* b = GetBackend();
    // Sizes beyond the int range are cut; the clip conversion saturates.
    int64_t x1 = int64_t(x) + std::min<unsigned>(w, INT32_MAX);
    int64_t y1 = int64_t(y) + std::min<unsigned>(h, INT32_MAX);
    int32_t X0 = ClipX(x), Y0 = ClipY(y);
    int32_t X1 = ClipX(int(std::min<int64_t>(x1, INT32_MAX))), Y1 = ClipY(int(std::min<int64_t>(y1, INT32_MAX)));
    int32_t v[8] = {X0, Y0, X1, Y0, X1, Y1, X0, Y1};

    b->vornGLPushFixed();
    vornGLPushMatricesSetIdentity();
    vornGLPushState();
    b->glVertexPointer(2, kFixed, 0, v);
    Set2DBlend(mode);
    vornGLStateUpdate(Blends(mode) ? 4u : 0u, k2DMask);
    if (!Blends(mode))
        colour |= 0xFF000000u;
    int32_t saved[4] = {0x10000, 0x10000, 0x10000, 0x10000};
    glGetFixedv(kCurrentColor, saved);
    glColor4x(Comp(colour, 16), Comp(colour, 8), Comp(colour, 0), Comp(colour, 24));
    glDrawArrays(kTriangleFan, 0, 4);
    glColor4x(saved[0], saved[1], saved[2], saved[3]);
    vornGLPopState();
    vornGLPopMatrices();
    b->vornGLPopFixed();
}

void P3D::Rectangle(int x, int y, int w, int h, unsigned colour, P3DBlendModes mode)
{
    HLine(x, y, w, colour, mode);
    HLine(x, y + h - 1, w, colour, mode);
    VLine(x, y, h, colour, mode);
    VLine(x + w - 1, y, h, colour, mode);
}

void P3D::Line(int x0, int y0, int x1, int y1, unsigned colour0, unsigned colour1, P3DBlendModes mode)
{
    vornGL::P3DBackend* b = GetBackend();
    b->vornGLPushFixed();
    UpdateViewPort();
    if (ViewportEmpty()) {
        b->vornGLPopFixed();
        return;
    }
    vornGLPushMatricesSetIdentity();
    vornGLPushState();

    int32_t X0 = ClipX(x0), Y0 = ClipY(y0), X1 = ClipX(x1), Y1 = ClipY(y1);
    int32_t dx = 0, dy = 0;
    if (std::llabs(int64_t(x1) - x0) < std::llabs(int64_t(y1) - y0))
        dx = m_clipScaleX >> 8;
    else
        dy = m_clipScaleY >> 8;
    int32_t v[8] = {X0, Y0, X1, Y1, X0 + dx, Y0 + dy, X1 + dx, Y1 + dy};
    b->glVertexPointer(2, kFixed, 0, v);
    Set2DBlend(mode);

    uint32_t values = Blends(mode) ? 4u : 0u;
    uint8_t colours[16];
    if (colour0 == colour1) {
        glColor4x(Comp(colour0, 16), Comp(colour0, 8), Comp(colour0, 0), Comp(colour0, 24));
    } else {
        unsigned c[4] = {colour0, colour1, colour0, colour1};
        for (int i = 0; i < 4; ++i) {
            colours[i * 4 + 0] = uint8_t(c[i] >> 16);
            colours[i * 4 + 1] = uint8_t(c[i] >> 8);
            colours[i * 4 + 2] = uint8_t(c[i]);
            colours[i * 4 + 3] = uint8_t(c[i] >> 24);
        }
        b->glColorPointer(4, kUnsignedByte, 0, colours);
        glEnableClientState(kColorArray);
        values |= 0x48000000u;
    }
    vornGLStateUpdate(values, k2DMask);
    glDrawArrays(kTriangleStrip, 0, 4);
    vornGLPopState();
    vornGLPopMatrices();
    b->vornGLPopFixed();
}

// ---------------------------------------------------------------------------
// Textured images

void P3D::Blit(int x, int y, PSurface3D* image, PRect* src, int flags)
{
    if (image)
        image->Blit(x, y, src, flags);
}

void P3D::Blit(int x, int y, PSurface3D* image, PRect* src, int flags, const PBlitFX&)
{
    if (image)
        image->Blit(x, y, src, flags);
}

void P3D::BlitFx(int x, int y, PSurface3D* image, const PRect* src, int flags, const PBlitFX& fx)
{
    if (image)
        image->BlitFx(x, y, src, flags, fx);
}

void P3D::BlitFx(const PRect& dst, PSurface3D* image, const PRect* src, int flags, const PBlitFX& fx)
{
    if (image)
        image->BlitFx(dst, src, flags, fx);
}

void P3D::BlitAlpha(int x, int y, PSurface3D* image, const PRect* src, int flags, const PBlitFX& fx)
{
    if (!image)
        return;
    int w = src ? src->width : int(image->Width());
    int h = src ? src->height : int(image->Height());
    image->BlitFx(x + (w >> 1), y + (h >> 1), src, flags, fx);
}

// ---------------------------------------------------------------------------
// Screen projection

void P3D::Transform(const PVector3& p, Vec4& clip)
{
    int32_t mv[16], pr[16];
    glGetFixedv(kModelviewMatrix, mv);
    glGetFixedv(kProjectionMatrix, pr);
    int64_t in[4] = {p.x, p.y, p.z, 0x10000};
    int64_t eye[4];
    for (int r = 0; r < 4; ++r)
        eye[r] = (int64_t(mv[r]) * in[0] + int64_t(mv[4 + r]) * in[1] + int64_t(mv[8 + r]) * in[2] +
                  int64_t(mv[12 + r]) * in[3]) >> 16;
    int64_t out[4];
    for (int r = 0; r < 4; ++r)
        out[r] = (int64_t(pr[r]) * eye[0] + int64_t(pr[4 + r]) * eye[1] + int64_t(pr[8 + r]) * eye[2] +
                  int64_t(pr[12 + r]) * eye[3]) >> 16;
    clip = {out[0], out[1], out[2], out[3]};
}

void P3D::Project(const Vec4& clip, PVector3& out)
{
    int32_t w4 = Saturate(clip.w >> 4);
    if (w4 > -3 && w4 < 3) {
        // No usable reciprocal: the point is (nearly) on the eye plane.
        out.x = out.y = out.z = INT32_MAX;
        return;
    }
    int64_t inv = POneOver(w4);
    int64_t nx = (clip.x * inv) >> 20, ny = (clip.y * inv) >> 20, nz = (clip.z * inv) >> 20;
    PRect vp = GetStateMan().GetViewport();
    int32_t range[2] = {0, 0x10000};
    glGetFixedv(kDepthRange, range);
    int64_t n = range[0], f = range[1];
    out.x = Saturate((int64_t(vp.x) << 16) - 0x8000 + ((int64_t(vp.width) * (nx + 0x10000)) >> 1));
    out.y = Saturate((int64_t(vp.y + int64_t(vp.height)) << 16) - 0x8000 - ((int64_t(vp.height) * (ny + 0x10000)) >> 1));
    out.z = Saturate(((nz * ((f - n) >> 1)) >> 16) + ((n + f) >> 1));
}

void P3D::GetScreenCoordXYZ(PVector3& out, const PVector3* p)
{
    if (!p) {
        out = PVector3(INT32_MAX, INT32_MAX, INT32_MAX);
        return;
    }
    Vec4 c;
    Transform(*p, c);
    Project(c, out);
}

void P3D::GetScreenCoordXY(PVector2& out, const PVector3* p)
{
    PVector3 v;
    GetScreenCoordXYZ(v, p);
    out.x = v.x;
    out.y = v.y;
}

namespace {

int Outcode(int64_t x, int64_t y, int64_t z, int64_t w)
{
    return (x < -w ? 1 : 0) | (x > w ? 2 : 0) | (y < -w ? 4 : 0) | (y > w ? 8 : 0) | (z < -w ? 16 : 0) |
           (z > w ? 32 : 0);
}

// Signed distance to the plane of bit i (inside when not negative).
int64_t PlaneDistance(const int64_t* v, int i)
{
    int64_t c = v[i >> 1], w = v[3];
    return (i & 1) ? w - c : w + c;
}

} // namespace

int P3D::ClipScreenCoord(PVector3* out, PVector3* a, PVector3* b, PVector3* c, int planeMask, int capacity, int,
                         int)
{
    if (!out || !a || !b || !c || capacity <= 0)
        return 0;
    // A triangle cut by six planes has at most nine corners.
    constexpr int kMax = 12;
    int64_t poly[kMax][4], next[kMax][4];
    int n = 3;
    PVector3* src[3] = {a, b, c};
    for (int i = 0; i < 3; ++i) {
        Vec4 v;
        Transform(*src[i], v);
        poly[i][0] = v.x;
        poly[i][1] = v.y;
        poly[i][2] = v.z;
        poly[i][3] = v.w;
    }
    for (int plane = 0; plane < 6 && n > 0; ++plane) {
        if (!(planeMask & (1 << plane)))
            continue;
        int m = 0;
        for (int i = 0; i < n; ++i) {
            const int64_t* p = poly[i];
            const int64_t* q = poly[(i + 1) % n];
            int64_t dp = PlaneDistance(p, plane), dq = PlaneDistance(q, plane);
            if (dp >= 0 && m < kMax)
                std::memcpy(next[m++], p, sizeof next[0]);
            if ((dp >= 0) != (dq >= 0) && m < kMax) {
                // t = dp / (dp - dq) in 16.16, the crossing along p..q.
                int64_t den = dp - dq;
                int64_t t = den ? (dp << 16) / den : 0;
                for (int k = 0; k < 4; ++k)
                    next[m][k] = p[k] + (((q[k] - p[k]) * t) >> 16);
                ++m;
            }
        }
        n = m;
        std::memcpy(poly, next, sizeof(next[0]) * size_t(m));
    }
    int written = 0;
    for (int i = 1; i + 1 < n; ++i) {
        if (written + 3 > capacity)
            break;
        int idx[3] = {0, i, i + 1};
        for (int k : idx) {
            Vec4 v = {poly[k][0], poly[k][1], poly[k][2], poly[k][3]};
            Project(v, out[written++]);
        }
    }
    return written;
}

int P3D::GetScreenCoordsXYZ(PVector3* out, const PVector3* in, int, int count, int planeMask, int capacity)
{
    if (!out || !in || count <= 0 || capacity <= 0)
        return 0;
    planeMask &= 63;
    int written = 0;
    for (int t = 0; t + 2 < count; t += 3) {
        Vec4 v[3];
        int codes[3];
        for (int i = 0; i < 3; ++i) {
            Transform(in[t + i], v[i]);
            codes[i] = Outcode(v[i].x, v[i].y, v[i].z, v[i].w);
        }
        if (codes[0] & codes[1] & codes[2] & planeMask)
            continue; // wholly outside one plane
        if ((codes[0] | codes[1] | codes[2]) & planeMask) {
            PVector3 p[3] = {in[t], in[t + 1], in[t + 2]};
            written += ClipScreenCoord(out + written, &p[0], &p[1], &p[2], planeMask, capacity - written, 0, 0);
        } else {
            if (written + 3 > capacity)
                break;
            for (int i = 0; i < 3; ++i)
                Project(v[i], out[written++]);
        }
        if (written >= capacity)
            break;
    }
    return written;
}
