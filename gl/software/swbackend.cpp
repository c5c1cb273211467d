// The software back end object: construction, the state entry points,
// clearing and reading back the colour buffer, the combined matrix and the
// draw entry up to the transform stage.
#include "gl/software/swbackend.h"
#include "gl/software/swbands.h"

#include "engine/platform/pdisplay.h"
#include "engine/runtime/palloc.h"
#include "engine/runtime/pdebug.h"
#include "engine/runtime/ptext.h"
#include "gl/software/swgl.h"
#include "gl/software/swmath.h"

#include <algorithm>
#include <cstring>

namespace vornGL {

using namespace swgl;

namespace {

constexpr u32 kBitPerspective = 29;
constexpr u32 kBitSmooth = 30;

} // namespace

// ---------------------------------------------------------------------------
// Construction

P3DBackendSW::P3DBackendSW(PDisplayProperties* info, P3DStateMan& states, PDisplay* display, int orientation)
{
    m_dispInfo = info;
    m_stateMan = &states;
    m_viewport = PRect{0, 0, info ? info->width : 0, info ? info->height : 0};
    m_orientation = orientation;
    m_defaultTexel = 0;
    std::memset(m_textures, 0, sizeof m_textures);
    std::memset(&m_vertexArray, 0, sizeof m_vertexArray);
    std::memset(&m_normalArray, 0, sizeof m_normalArray);
    std::memset(&m_colorArray, 0, sizeof m_colorArray);
    std::memset(m_texCoordArrays, 0, sizeof m_texCoordArrays);
    m_polygonFactor = m_polygonUnits = 0;
    m_alphaFunc = ALWAYS;
    m_alphaRef = 0;
    m_clearColor = 0;
    m_perspective = 0;
    // GL's defaults: counter-clockwise front faces, back faces culled.
    m_frontFace = CCW;
    m_cullFace = BACK;
    m_cullBits = 2;
    m_linearFilter = 0;
    m_blendMode = 0;
    m_depthFunc = 0;
    m_packAlignment = m_unpackAlignment = 4;
    m_surface = nullptr;
    m_display = display;
    m_bands = nullptr;
    m_depthBuffer = nullptr;
    std::memset(&m_setup, 0, sizeof m_setup);
    m_drawCount = 0;
    std::memset(m_mvp, 0, sizeof m_mvp);
    m_mvp[0] = m_mvp[5] = m_mvp[10] = m_mvp[15] = 0x10000;
    m_preTransformed = 0;
    m_clipNext = kCacheEntries;
    std::memset(m_cache, 0, sizeof m_cache);
    std::memset(m_indexBuffer, 0, sizeof m_indexBuffer);

    if (display)
        m_surface = display->GetBackBuffer(PBACKBUFFER_COLOR);

    // Texture 0 is a single black texel.
    PSWTexture& t0 = m_textures[0];
    t0.data = &m_defaultTexel;
    t0.format = RGBA;
    t0.type = UNSIGNED_SHORT_5_5_5_1;
    t0.inUse = 1;
    m_boundTexture = &t0;
    m_currentTexture = nullptr;

    Pointer(4, FLOAT, 16, nullptr, &m_vertexArray);
    Pointer(3, FLOAT, 12, nullptr, &m_normalArray);
    Pointer(4, FLOAT, 16, nullptr, &m_colorArray);
    Pointer(4, FLOAT, 16, nullptr, &m_texCoordArrays[0]);
    m_renderRow = 1;

    u32 W = 0, H = 0;
    if (m_surface && m_surface->pixels && m_surface->width > 0 && m_surface->height > 0) {
        if (m_surface->pitch == 0)
            m_surface->pitch = m_surface->width * 2;
        W = u32(m_surface->width);
        H = u32(m_surface->height);
    }
    m_scissor = PRect{0, 0, i32(W), i32(H)};
    m_setup.spreadMask = kSpreadMask;

    // The depth buffer uses the colour buffer's row pitch.
    if (W && H && m_surface->pitch >= i32(W * 2) && (m_surface->pitch & 1) == 0) {
        int64_t bytes = int64_t(m_surface->pitch) * H;
        if (bytes <= INT32_MAX)
            m_depthBuffer = static_cast<u16*>(PAlloc(static_cast<int>(bytes)));
        if (!m_depthBuffer)
            _PDebug("P3DBackendSW: no memory for the depth buffer (%d x %d)\n", int(W), int(H));
    } else {
        _PDebug("P3DBackendSW: the display has no usable back buffer\n");
    }
    m_setup.depthBuffer = m_depthBuffer;

    m_clearDepth = 0xFFFF;
    m_depthMask = 0xFFFFFFFFu;
    m_depthNear = 0;
    m_depthFar = 0xFFFF;
    m_shadeModel = FLAT;
    m_colorMask = 0xFFFFFFFFu;

    // Lighting defaults.
    m_lightSnapshot = 0;
    m_materialAmbient = 0xFF333333u;
    m_modelAmbient = 0xFF333333u;
    m_materialDiffuse = 0xFFCCCCCCu;
    m_materialSpecular = 0;
    m_materialEmission = 0;
    m_shininess = 0;
    m_baseColour = 0;
    std::memset(m_lights, 0, sizeof m_lights);
    m_lights[0].position[2] = 0x10000;
    m_lights[0].ambient = 0xFF000000u;
    m_lights[0].diffuse = 0xFFFFFFFFu;
    m_lights[0].specular = 0xFFFFFFFFu;
    m_lightingDirty = true;
    m_lightVectorsDirty = true;
}

P3DBackendSW::~P3DBackendSW()
{
    FlushBands();
    SetDrawThreads(1);
    for (u32 i = 1; i < 256; ++i)
        if (m_textures[i].data && m_textures[i].data != &m_defaultTexel)
            PFree(m_textures[i].data);
    if (m_textures[0].data != &m_defaultTexel)
        PFree(m_textures[0].data);
    // The state manager must not keep pointers to the records.
    for (u32 u = 0; u < kMaxTextureUnits; ++u)
        m_stateMan->Unit(u).backendData = nullptr;
    PFree(m_depthBuffer);
}

P3DBackendSW* P3DBackendSW::Create(PDisplayProperties* info, P3DStateMan& states, PDisplay* display,
                                   int orientation)
{
    P3DBackendSW* b = new P3DBackendSW(info, states, display, orientation);
    if (b && !b->IsValid()) {
        delete b;
        return nullptr;
    }
    return b;
}

void P3DBackendSW::SetError(u32 glError, char const* function) { m_stateMan->SetError(0x4000 + glError, function); }

u32 P3DBackendSW::SurfaceWidth() const { return m_depthBuffer ? u32(m_surface->width) : 0; }
u32 P3DBackendSW::SurfaceHeight() const { return m_depthBuffer ? u32(m_surface->height) : 0; }

// ---------------------------------------------------------------------------
// Operations of the GL layer

int P3DBackendSW::vornGLGetAPI() const { return kAPISoftware; }
void P3DBackendSW::vornGLSetOrientation(int code)
{
    FlushBands();
    m_orientation = code;
}

// The display draws what is kept before it shows the back buffer.
static void FlushBeforePresent(void* backend) { static_cast<P3DBackendSW*>(backend)->FlushBands(); }

bool P3DBackendSW::SetDrawThreads(int threads)
{
    FlushBands();
    if (m_bands) {
        if (m_display)
            m_display->SetBeforePresent(nullptr, nullptr);
        delete m_bands;
        m_bands = nullptr;
    }
    if (threads < 2)
        return true;
    m_bands = PBandDrawer::Create(threads, i32(SurfaceHeight()));
    if (!m_bands) {
        _PDebug("P3DBackendSW: %d drawing threads could not be started; one draws\n", threads);
        return false;
    }
    if (m_display)
        m_display->SetBeforePresent(&FlushBeforePresent, this);
    return true;
}

int P3DBackendSW::DrawThreads() const { return m_bands ? m_bands->Threads() : 1; }

void P3DBackendSW::FlushBands()
{
    if (m_bands && !m_bands->Empty())
        m_bands->Flush();
}

void P3DBackendSW::glFinish() { FlushBands(); }
void P3DBackendSW::glFlush() { FlushBands(); }
int P3DBackendSW::vornGLGetOrientation() const { return m_orientation; }
PDisplayProperties* P3DBackendSW::vornGLGetDispInfo() const { return m_dispInfo; }
int P3DBackendSW::vornGLPreloadShaders() { return 1; }
int P3DBackendSW::vornGLSaveShaders() { return 1; }

void P3DBackendSW::vornGLUpdateMatrices(int which)
{
    if (!(which & 6))
        return;
    P3DMatrixEntry const& proj = m_stateMan->SentProjection();
    P3DMatrixEntry const& mv = m_stateMan->Top(kStackModelview);
    if ((m_stateMan->Top(kStackProjection).flags() & kMatIdentity) && (mv.flags() & kMatIdentity))
        std::memcpy(m_mvp, proj.w, sizeof m_mvp);
    else
        P3DStateMan::gl_mulmat(m_mvp, proj.w, mv.w);
    m_lightVectorsDirty = true;
}

// ---------------------------------------------------------------------------
// Simple state

void P3DBackendSW::glViewport(i32 x, i32 y, i32 width, i32 height)
{
    if (width < 0 || height < 0) {
        SetError(INVALID_VALUE, "glViewport");
        return;
    }
    m_viewport = PRect{x, y, width, height};
}

void P3DBackendSW::glDepthFunc(u32 func) { m_depthFunc = func; }
void P3DBackendSW::glDepthMask(u8 flag) { m_depthMask = flag ? 0xFFFFFFFFu : 0; }

void P3DBackendSW::glDepthRangex(i32 n, i32 f)
{
    m_depthNear = std::clamp(n, 0, 0x10000);
    m_depthFar = std::clamp(f, 0, 0x10000);
}

void P3DBackendSW::glClearDepthx(i32 depth) { m_clearDepth = depth; }

void P3DBackendSW::glClearColorx(i32 r, i32 g, i32 b, i32 a)
{
    auto byte = [](i32 c) { return u32((std::clamp(c, 0, 0x10000) * 255) >> 16); };
    m_clearColor = byte(a) << 24 | byte(r) << 16 | byte(g) << 8 | byte(b);
}

// The mask is kept in the clear colour's own byte order (0xAARRGGBB).
void P3DBackendSW::glColorMask(u8 r, u8 g, u8 b, u8 a)
{
    m_colorMask = (r ? 0x00FF0000u : 0) | (g ? 0x0000FF00u : 0) | (b ? 0x000000FFu : 0) | (a ? 0xFF000000u : 0);
}

void P3DBackendSW::glPolygonOffsetx(i32 factor, i32 units)
{
    m_polygonFactor = factor;
    m_polygonUnits = units;
}

void P3DBackendSW::glAlphaFuncx(u32 func, i32 ref)
{
    if (func < NEVER || func > ALWAYS) {
        SetError(INVALID_ENUM, "glAlphaFuncx");
        return;
    }
    m_alphaFunc = func;
    m_alphaRef = ref;
}

void P3DBackendSW::glShadeModel(u32 mode)
{
    m_shadeModel = mode;
    bool smooth = mode == SMOOTH;
    m_renderRow = smooth ? 1 : 0;
    m_stateMan->EnableDisableP3DState(1u << kBitSmooth, smooth);
}

void P3DBackendSW::glHint(u32 target, u32 mode)
{
    if (mode < DONT_CARE || mode > NICEST) {
        SetError(INVALID_ENUM, "glHint");
        return;
    }
    if (target != PERSPECTIVE_CORRECTION_HINT)
        return;
    m_perspective = mode == NICEST ? 1 : 0;
    m_stateMan->EnableDisableP3DState(1u << kBitPerspective, m_perspective != 0);
}

void P3DBackendSW::glBlendFunc(u32 s, u32 d)
{
    m_blendMode = 0;
    if ((s == SRC_ALPHA && d == ONE_MINUS_SRC_ALPHA) || (s == ONE_MINUS_SRC_ALPHA && d == SRC_ALPHA))
        m_blendMode = 1;
    else if (s == SRC_ALPHA && d == ONE)
        m_blendMode = 2;
    else if (s == ONE && d == ONE)
        m_blendMode = 4;
    else if (s == DST_COLOR && d == ZERO)
        m_blendMode = 8;
    else if (s == DST_COLOR && d == SRC_COLOR)
        m_blendMode = 16;
}

// Which winding the triangle set-up discards, from the front face and the
// culled face.
void P3DBackendSW::UpdateCullBits()
{
    m_cullBits &= ~3u;
    bool back = m_cullFace == BACK;
    if (m_frontFace == CCW)
        m_cullBits |= back ? 2 : 1;
    else
        m_cullBits |= back ? 1 : 2;
}

void P3DBackendSW::glFrontFace(u32 mode)
{
    if (mode != CW && mode != CCW) {
        SetError(INVALID_ENUM, "glFrontFace");
        return;
    }
    m_frontFace = mode;
    UpdateCullBits();
}

void P3DBackendSW::glCullFace(u32 mode)
{
    if (mode != FRONT && mode != BACK && mode != FRONT_AND_BACK) {
        SetError(INVALID_ENUM, "glCullFace");
        return;
    }
    m_cullFace = mode;
    UpdateCullBits();
}

// Scissor box, turned to top-down rows and clamped to the surface.
void P3DBackendSW::glScissor(i32 x, i32 y, i32 width, i32 height)
{
    if (width < 0 || height < 0) {
        SetError(INVALID_VALUE, "glScissor");
        return;
    }
    int64_t W = SurfaceWidth(), H = SurfaceHeight();
    int64_t bx, bw;
    if (x < 0) {
        bx = 0;
        bw = std::max<int64_t>(int64_t(width) + x, 0);
    } else if (x > W) {
        bx = W;
        bw = 0;
    } else {
        bx = x;
        bw = width;
    }
    if (bx + bw > W)
        bw = W - bx;
    // Rows below the bottom edge are cut like columns left of the left edge.
    int64_t bottom = y, h = height;
    if (bottom < 0) {
        h = std::max<int64_t>(h + bottom, 0);
        bottom = 0;
    }
    int64_t top, bh;
    if (bottom > H) {
        top = 0;
        bh = 0;
    } else if (bottom + h <= H) {
        top = H - bottom - h;
        bh = h;
    } else {
        top = 0;
        bh = H - bottom;
    }
    m_scissor = PRect{i32(bx), i32(top), i32(bw), i32(bh)};
}

void P3DBackendSW::glPixelStorei(u32 pname, i32 param)
{
    if (param != 1 && param != 2 && param != 4 && param != 8) {
        SetError(INVALID_VALUE, "glPixelStorei");
        return;
    }
    if (pname == PACK_ALIGNMENT)
        m_packAlignment = param;
    else if (pname == UNPACK_ALIGNMENT)
        m_unpackAlignment = param;
    else
        SetError(INVALID_ENUM, "glPixelStorei");
}

u8 const* P3DBackendSW::glGetString(u32 name)
{
    switch (name) {
    case VENDOR:
        return reinterpret_cast<u8 const*>("Norvalis");
    case RENDERER:
        return reinterpret_cast<u8 const*>("Vorn OpenGL ES 1.0");
    case VERSION:
        return reinterpret_cast<u8 const*>("OpenGL ES 1.0 CL");
    case EXTENSIONS:
        return reinterpret_cast<u8 const*>("GL_OES_read_format GL_OES_compressed_paletted_texture");
    default:
        SetError(INVALID_ENUM, "glGetString");
        return nullptr;
    }
}

u8 P3DBackendSW::glIsEnabled(u32 cap)
{
    P3DStateFlags flag;
    switch (cap) {
    case CULL_FACE: flag = 1u << 1; break;
    case BLEND: flag = 1u << 2; break;
    case DITHER: flag = 1u << 3; break;
    case STENCIL_TEST: flag = 1u << 4; break;
    case DEPTH_TEST: flag = 1u << 5; break;
    case SCISSOR_TEST: flag = 1u << 6; break;
    case POLYGON_OFFSET_FILL: flag = 1u << 7; break;
    case FOG: flag = 1u << 8; break;
    case LIGHTING: flag = 1u << 9; break;
    case ALPHA_TEST: flag = 1u << 10; break;
    case COLOR_LOGIC_OP: flag = 1u << 11; break;
    case COLOR_MATERIAL: flag = 1u << 22; break;
    case NORMALIZE: flag = 1u << 23; break;
    case RESCALE_NORMAL: flag = 1u << 24; break;
    case VERTEX_ARRAY: flag = 1u << 25; break;
    case NORMAL_ARRAY: flag = 1u << 26; break;
    case COLOR_ARRAY: flag = 1u << 27; break;
    case MULTISAMPLE: flag = 0x80000000u | 1u; break;
    case SAMPLE_ALPHA_TO_ONE: flag = 0x80000000u | 2u; break;
    case SAMPLE_ALPHA_TO_COVERAGE: flag = 0x80000000u | 4u; break;
    case SAMPLE_COVERAGE: flag = 0x80000000u | 8u; break;
    case LINE_SMOOTH: flag = 0x80000000u | 32u; break;
    case TEXTURE_2D:
        return (m_stateMan->Unit(m_stateMan->ActiveUnit()).flags & 1u) ? 1 : 0;
    case TEXTURE_COORD_ARRAY:
        return (m_stateMan->Unit(m_stateMan->ClientActiveUnit()).clientFlags & 1u) ? 1 : 0;
    default:
        if (cap >= LIGHT0 && cap <= LIGHT7) {
            flag = 1u << (12 + (cap - LIGHT0));
            break;
        }
        SetError(INVALID_ENUM, "glIsEnabled");
        return 0;
    }
    return m_stateMan->IsEnabled(flag) ? 1 : 0;
}

void P3DBackendSW::glGetIntegerv(u32 pname, i32* out)
{
    if (!out)
        return;
    PVertexArray const& tc = m_texCoordArrays[m_stateMan->ClientActiveUnit() % kMaxTextureUnits];
    u32 unit = m_stateMan->ActiveUnit() % kMaxTextureUnits;
    switch (pname) {
    case VERTEX_ARRAY_SIZE: *out = m_vertexArray.size; break;
    case VERTEX_ARRAY_TYPE: *out = i32(m_vertexArray.type); break;
    case VERTEX_ARRAY_STRIDE: *out = m_vertexArray.stride; break;
    case NORMAL_ARRAY_TYPE: *out = i32(m_normalArray.type); break;
    case NORMAL_ARRAY_STRIDE: *out = m_normalArray.stride; break;
    case COLOR_ARRAY_SIZE: *out = m_colorArray.size; break;
    case COLOR_ARRAY_TYPE: *out = i32(m_colorArray.type); break;
    case COLOR_ARRAY_STRIDE: *out = m_colorArray.stride; break;
    case TEXTURE_COORD_ARRAY_SIZE: *out = tc.size; break;
    case TEXTURE_COORD_ARRAY_TYPE: *out = i32(tc.type); break;
    case TEXTURE_COORD_ARRAY_STRIDE: *out = tc.stride; break;
    case ARRAY_BUFFER_BINDING:
    case VERTEX_ARRAY_BUFFER_BINDING:
    case NORMAL_ARRAY_BUFFER_BINDING:
    case COLOR_ARRAY_BUFFER_BINDING:
    case TEXTURE_COORD_ARRAY_BUFFER_BINDING:
    case ELEMENT_ARRAY_BUFFER_BINDING: *out = 0; break;
    case ALPHA_TEST_FUNC: *out = i32(m_alphaFunc); break;
    case ALPHA_TEST_REF: *out = m_alphaRef; break;
    case BLEND: *out = m_stateMan->IsEnabled(1u << 2) ? 1 : 0; break;
    case PERSPECTIVE_CORRECTION_HINT: *out = i32(m_perspective ? NICEST : FASTEST); break;
    case MAX_LIGHTS:
    case MAX_TEXTURE_UNITS: *out = 8; break;
    case MAX_TEXTURE_SIZE: *out = 256; break;
    case CLIENT_ACTIVE_TEXTURE: *out = i32(m_stateMan->ActiveUnit()); break;
    case MATRIX_MODE: *out = i32(0x1700 + m_stateMan->MatrixModeIndex()); break;
    case MODELVIEW_STACK_DEPTH: *out = m_stateMan->Stack(kStackModelview).top; break;
    case PROJECTION_STACK_DEPTH: *out = m_stateMan->Stack(kStackProjection).top; break;
    case TEXTURE_STACK_DEPTH: *out = m_stateMan->Stack(kStackTexture0 + unit).top; break;
    case MAX_MODELVIEW_STACK_DEPTH: *out = m_stateMan->Stack(kStackModelview).maxTop; break;
    case MAX_PROJECTION_STACK_DEPTH: *out = m_stateMan->Stack(kStackProjection).maxTop; break;
    case MAX_TEXTURE_STACK_DEPTH: *out = m_stateMan->Stack(kStackTexture0 + unit).maxTop; break;
    case MODELVIEW_MATRIX: std::memcpy(out, m_stateMan->Top(kStackModelview).w, 16 * sizeof(i32)); break;
    case PROJECTION_MATRIX: std::memcpy(out, m_stateMan->Top(kStackProjection).w, 16 * sizeof(i32)); break;
    case TEXTURE_MATRIX: std::memcpy(out, m_stateMan->Top(kStackTexture0 + unit).w, 16 * sizeof(i32)); break;
    case CURRENT_COLOR: break;
    case PACK_ALIGNMENT: *out = m_packAlignment; break;
    case UNPACK_ALIGNMENT: *out = m_unpackAlignment; break;
    // The read format the extension string advertises.
    case IMPLEMENTATION_COLOR_READ_TYPE: *out = i32(UNSIGNED_SHORT_5_6_5); break;
    case IMPLEMENTATION_COLOR_READ_FORMAT: *out = i32(RGB); break;
    default: SetError(INVALID_ENUM, "glGetIntegerv"); break;
    }
}

// ---------------------------------------------------------------------------
// Client arrays

void P3DBackendSW::Pointer(i32 size, u32 type, i32 stride, void const* ptr, PVertexArray* array)
{
    if (stride == 0) {
        if (type == FLOAT || type == FIXED)
            stride = size * 4;
        else if (type == SHORT)
            stride = size * 2;
        else
            stride = size;
    }
    array->size = size;
    array->type = type;
    array->stride = stride;
    array->pointer = ptr;
}

static bool PositionType(u32 type) { return type == FIXED || type == FLOAT || type == BYTE || type == SHORT; }

void P3DBackendSW::glVertexPointer(i32 size, u32 type, i32 stride, void const* pointer)
{
    if (size < 2 || size > 4 || stride < 0) {
        SetError(INVALID_VALUE, "glVertexPointer");
        return;
    }
    if (!PositionType(type)) {
        SetError(INVALID_ENUM, "glVertexPointer");
        return;
    }
    Pointer(size, type, stride, pointer, &m_vertexArray);
}

void P3DBackendSW::glNormalPointer(u32 type, i32 stride, void const* pointer)
{
    if (stride < 0) {
        SetError(INVALID_VALUE, "glNormalPointer");
        return;
    }
    if (!PositionType(type)) {
        SetError(INVALID_ENUM, "glNormalPointer");
        return;
    }
    Pointer(3, type, stride, pointer, &m_normalArray);
}

void P3DBackendSW::glColorPointer(i32 size, u32 type, i32 stride, void const* pointer)
{
    if (size != 4 || stride < 0) {
        SetError(INVALID_VALUE, "glColorPointer");
        return;
    }
    if (type != FIXED && type != FLOAT && type != UNSIGNED_BYTE) {
        SetError(INVALID_ENUM, "glColorPointer");
        return;
    }
    Pointer(size, type, stride, pointer, &m_colorArray);
}

void P3DBackendSW::glTexCoordPointer(i32 size, u32 type, i32 stride, void const* pointer)
{
    if (size < 2 || size > 4 || stride < 0) {
        SetError(INVALID_VALUE, "glTexCoordPointer");
        return;
    }
    if (!PositionType(type)) {
        SetError(INVALID_ENUM, "glTexCoordPointer");
        return;
    }
    Pointer(size, type, stride, pointer, &m_texCoordArrays[m_stateMan->ClientActiveUnit() % kMaxTextureUnits]);
}

static PVertexArray* ClientArray(P3DBackendSW*, u32, PVertexArray* v, PVertexArray* n, PVertexArray* c,
                                 PVertexArray* t, u32 cap)
{
    switch (cap) {
    case VERTEX_ARRAY: return v;
    case NORMAL_ARRAY: return n;
    case COLOR_ARRAY: return c;
    case TEXTURE_COORD_ARRAY: return t;
    default: return nullptr;
    }
}

void P3DBackendSW::glEnableClientState(u32 cap)
{
    PVertexArray* a = ClientArray(this, cap, &m_vertexArray, &m_normalArray, &m_colorArray,
                                  &m_texCoordArrays[m_stateMan->ClientActiveUnit() % kMaxTextureUnits], cap);
    if (!a) {
        SetError(INVALID_ENUM, "glEnableClientState");
        return;
    }
    a->enabled = 1;
    if (cap == NORMAL_ARRAY)
        m_lightVectorsDirty = true;
}

void P3DBackendSW::glDisableClientState(u32 cap)
{
    PVertexArray* a = ClientArray(this, cap, &m_vertexArray, &m_normalArray, &m_colorArray,
                                  &m_texCoordArrays[m_stateMan->ClientActiveUnit() % kMaxTextureUnits], cap);
    if (!a) {
        SetError(INVALID_ENUM, "glDisableClientState");
        return;
    }
    a->enabled = 0;
}

// ---------------------------------------------------------------------------
// Clear and read-back

void P3DBackendSW::glClear(u32 mask)
{
    if (!m_depthBuffer)
        return;
    FlushBands();
    u32 W = SurfaceWidth(), H = SurfaceHeight();
    i32 pitchPixels = m_surface->pitch / 2;
    if (mask & COLOR_BUFFER_BIT) {
        u32 c = m_clearColor & m_colorMask;
        u16 pixel = u16(((c >> 19) & 0x1F) << 11 | ((c >> 10) & 0x3F) << 5 | ((c >> 3) & 0x1F));
        PRect box = PRect{0, 0, i32(W), i32(H)};
        if (m_stateMan->IsEnabled(1u << 6))
            box = m_scissor;
        if (box.width > 0 && box.height > 0) {
            for (i32 y = box.y; y < box.y + box.height; ++y)
                PMemSet16(m_surface->pixels + size_t(y) * pitchPixels + box.x, pixel, unsigned(box.width));
        }
    }
    if (mask & DEPTH_BUFFER_BIT) {
        u32 d = u32(m_clearDepth);
        if (d < u32(m_depthNear))
            d = u32(m_depthNear);
        if (d > u32(m_depthFar))
            d = u32(m_depthFar);
        if (d > 0xFFFF)
            d = 0xFFFF;
        for (u32 y = 0; y < H; ++y)
            PMemSet16(m_depthBuffer + size_t(y) * pitchPixels, u16(d), W);
    }
}

// Rows come out bottom-up. RGBA bytes, or the advertised RGB 565 words; the
// part of the rectangle outside the surface is left as it was.
void P3DBackendSW::glReadPixels(i32 x, i32 y, i32 width, i32 height, u32 format, u32 type, void* pixels)
{
    if (width < 0 || height < 0) {
        SetError(INVALID_VALUE, "glReadPixels");
        return;
    }
    bool rgba = format == RGBA && type == UNSIGNED_BYTE;
    bool rgb565 = format == RGB && type == UNSIGNED_SHORT_5_6_5;
    if (!rgba && !rgb565) {
        SetError(INVALID_OPERATION, "glReadPixels");
        return;
    }
    if (!m_depthBuffer || !pixels || width == 0 || height == 0)
        return;
    FlushBands();
    int64_t W = SurfaceWidth(), H = SurfaceHeight();
    int64_t rowBytes = int64_t(width) * (rgba ? 4 : 2);
    int64_t stride = (rowBytes + m_packAlignment - 1) / m_packAlignment * m_packAlignment;
    i32 pitchPixels = m_surface->pitch / 2;
    int64_t x0 = std::max<int64_t>(x, 0), x1 = std::min<int64_t>(int64_t(x) + width, W);
    for (int64_t j = 0; j < height; ++j) {
        int64_t gy = int64_t(y) + j; // GL row, bottom-up
        if (gy < 0 || gy >= H || x0 >= x1)
            continue;
        u16 const* src = m_surface->pixels + size_t(H - 1 - gy) * pitchPixels;
        uint8_t* dst = static_cast<uint8_t*>(pixels) + j * stride;
        for (int64_t i = x0; i < x1; ++i) {
            u32 p = src[i];
            if (rgba) {
                uint8_t* o = dst + (i - x) * 4;
                o[0] = uint8_t(((p >> 11) & 31) * 255 / 31);
                o[1] = uint8_t(((p >> 5) & 63) * 255 / 63);
                o[2] = uint8_t((p & 31) * 255 / 31);
                o[3] = 255;
            } else {
                std::memcpy(dst + (i - x) * 2, &p, 2);
            }
        }
    }
}

// ---------------------------------------------------------------------------
// Draw entry

void P3DBackendSW::glDrawArrays(u32 mode, i32 first, i32 count)
{
    if (count < 1 || count > 1024 || first < 0) {
        SetError(INVALID_VALUE, "glDrawArrays");
        return;
    }
    if (!m_vertexArray.enabled)
        return;
    for (i32 i = 0; i < count; ++i)
        m_indexBuffer[i] = u16(u32(first) + u32(i));
    glDrawElements(mode, count, UNSIGNED_SHORT, m_indexBuffer);
}

PSWTexture* P3DBackendSW::ActiveTexture()
{
    u32 unit = m_stateMan->ActiveUnit() % kMaxTextureUnits;
    auto* rec = static_cast<PSWTexture*>(m_stateMan->Unit(unit).backendData);
    return rec ? rec : &m_textures[0];
}

void P3DBackendSW::glDrawElements(u32 mode, i32 count, u32 type, void const* indices)
{
    if (type != UNSIGNED_SHORT && type != UNSIGNED_BYTE) {
        SetError(INVALID_ENUM, "glDrawElements");
        return;
    }
    if (count < 0) {
        SetError(INVALID_VALUE, "glDrawElements");
        return;
    }
    if (mode > TRIANGLE_FAN) {
        SetError(INVALID_ENUM, "glDrawElements");
        return;
    }
    if (!m_vertexArray.enabled || !m_vertexArray.pointer || !indices || count == 0 || !m_depthBuffer)
        return;

    u32 enables = m_stateMan->WantedLow();
    if (m_normalArray.enabled && (enables & kEnLighting))
        PreCalcLight();
    m_setup.colourKey = 0;
    ++m_drawCount;
    if (m_drawCount == 0) { // a wrapped tag must not match stale entries
        for (auto& e : m_cache)
            e.tag = 0;
        m_drawCount = 1;
    }
    m_boundTexture = ActiveTexture();
    UpdateRender();
    if (AlphaTestRejectsDraw())
        return;

    m_setup.faceMode = m_cullBits;
    m_setup.enables = m_stateMan->WantedLow();
    m_setup.row = m_renderRow;
    m_setup.pitch = m_surface->pitch;
    m_setup.colourBuffer = m_surface->pixels;
    m_setup.depthBuffer = m_depthBuffer;
    if (m_setup.enables & (1u << 6)) {
        m_setup.clipMinX = m_scissor.x << 16;
        m_setup.clipMaxX = (m_scissor.x + m_scissor.width) << 16;
        m_setup.clipMinY = m_scissor.y << 16;
        m_setup.clipMaxY = (m_scissor.y + m_scissor.height) << 16;
    } else {
        m_setup.clipMinX = 0;
        m_setup.clipMaxX = i32(SurfaceWidth()) << 16;
        m_setup.clipMinY = 0;
        m_setup.clipMaxY = i32(SurfaceHeight()) << 16;
    }
    if (m_currentTexture) {
        PSWTexture const* t = m_currentTexture;
        m_setup.texels = t->data;
        m_setup.texShiftU = t->log2Width;
        m_setup.texShiftV = t->log2Height;
        m_setup.texMask = (1u << (t->log2Width + t->log2Height)) - 1;
        if (m_setup.enables & kEnAlphaTest)
            m_setup.colourKey |= 1;
    }
    m_setup.spanFlags = m_depthMask ? u32(kSpanDepthWrite) : 0u;
    TransformElementsGeneric(mode, count, type, indices);
}

} // namespace vornGL
