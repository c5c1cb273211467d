// The transform stage: vertices fetched from the client arrays, transformed
// by the combined matrix, lit or coloured, clip-tested and projected, cached
// per element index for one draw call; triangles, lines and points assembled,
// clipped against the six planes of the clip volume where they cross them,
// and handed to the triangle set-up in batches.
#include "gl/software/swbackend.h"
#include "gl/software/swgl.h"
#include "gl/software/swmath.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace vornGL {

using namespace swgl;
using namespace sw;

namespace {

enum : u32 {
    kFlagProjected = 0x100,
    kFlagTransformed = 0x200,
    kFlagColoured = 0x400,
    kClipMask = 63,
};

i32 Saturate(int64_t v) { return i32(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }
i32 Saturate128(__int128 v) { return v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : i32(v); }

i32 FloatFixed(float f)
{
    double p = double(f) * 65536.0;
    if (std::isnan(p))
        return 0;
    return Saturate(int64_t(std::clamp(p, -2147483648.0, 2147483647.0)));
}

template <class T> T Load(uint8_t const* p)
{
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// One component of a client array element as 16.16: bytes and shorts are
// whole numbers, fixed values are copied, floats converted.
i32 Component(uint8_t const* p, u32 type, int i)
{
    switch (type) {
    case BYTE: return i32(Load<int8_t>(p + i)) << 16;
    case UNSIGNED_BYTE: return i32(Load<uint8_t>(p + i)) << 16;
    case SHORT: return i32(Load<int16_t>(p + 2 * i)) * 65536;
    case FLOAT: return FloatFixed(Load<float>(p + 4 * i));
    default: return Load<i32>(p + 4 * i);
    }
}

uint8_t const* Element(PVertexArray const& a, u32 index)
{
    return static_cast<uint8_t const*>(a.pointer) + size_t(index) * size_t(a.stride);
}

u32 ClipCodes(i32 const* c)
{
    int64_t x = c[0], y = c[1], z = c[2], w = c[3];
    u32 f = kFlagTransformed;
    if (x < -w) f |= 0x1;
    if (x > w) f |= 0x2;
    if (y < -w) f |= 0x4;
    if (y > w) f |= 0x8;
    if (z < -w) f |= 0x10;
    if (z > w) f |= 0x20;
    if (x < -4 * w) f |= 0x10000;
    if (x > 4 * w) f |= 0x20000;
    if (y < -4 * w) f |= 0x40000;
    if (y > 4 * w) f |= 0x80000;
    return f;
}

// Window coordinates stay within +-16384 pixels so that no edge or scanline
// arithmetic can wrap.
constexpr i32 kCoordLimit = 0x3FFFFFFF;

} // namespace

// State of one draw call's vertex processing.
struct SWTransform {
    P3DBackendSW* b;
    PVertexArray const* pos;
    PVertexArray const* normal;
    PVertexArray const* colour;
    PVertexArray const* tex;
    i32 const* texMatrix; // null for the identity part
    bool smooth;
    bool lit;
    bool textured;
    u32 current; // the current colour, 0xAABBGGRR
    int64_t X0, Y1, width, height;
    i32 Zs, Zc;
    int pending;
    int kind; // 0 triangles, 1 lines, 2 points
    PVertexEntry* pinned[3];
    int spareNext;

    void Flush()
    {
        if (pending) {
            if (kind == 0)
                b->DrawPolygons(b->m_triangles, pending);
            else if (kind == 1)
                b->DrawLines(b->m_triangles, pending);
            else
                b->DrawPoints(b->m_triangles, pending);
        }
        pending = 0;
        b->m_clipNext = P3DBackendSW::kCacheEntries;
    }

    bool Pinned(PVertexEntry const* e) const { return e == pinned[0] || e == pinned[1] || e == pinned[2]; }

    void Fill(PVertexEntry* e, u32 index)
    {
        e->tag = b->m_drawCount;
        e->index = index;
        uint8_t const* p = Element(*pos, index);
        i32* o = e->object;
        o[0] = Component(p, pos->type, 0);
        o[1] = Component(p, pos->type, 1);
        o[2] = pos->size > 2 ? Component(p, pos->type, 2) : 0;
        o[3] = pos->size > 3 ? Component(p, pos->type, 3) : 0x10000;
        i32 const* m = b->m_mvp;
        if (b->m_preTransformed) {
            std::memcpy(e->clip, o, sizeof e->clip);
        } else {
            for (int j = 0; j < 4; ++j) {
                __int128 s = __int128(int64_t(o[0]) * m[j]) + int64_t(o[1]) * m[4 + j] + int64_t(o[2]) * m[8 + j];
                if (o[3] == 0x10000)
                    e->clip[j] = Saturate128((s >> 16) + m[12 + j]);
                else
                    e->clip[j] = Saturate128((s + int64_t(o[3]) * m[12 + j]) >> 16);
            }
        }
        e->flags = ClipCodes(e->clip);
        e->v.u = e->v.v = 0;
        if (textured) {
            uint8_t const* t = Element(*tex, index);
            i32 u, v;
            if (tex->type == BYTE || tex->type == UNSIGNED_BYTE) {
                u = i32(Load<uint8_t>(t)) << 16;
                v = i32(Load<uint8_t>(t + 1)) << 16;
            } else if (tex->type == SHORT) {
                u = i32(u32(Load<uint16_t>(t)) << 16);
                v = i32(u32(Load<uint16_t>(t + 2)) << 16);
            } else {
                // 16.16 coordinates (floats converted first) map the texture onto
                // texel centres: c * 255 / 256 + 1 / 512 in 1/4096 steps.
                i32 c[2] = {Component(t, tex->type, 0), Component(t, tex->type, 1)};
                for (auto& x : c)
                    x = i32(u32(u64((((int64_t(x) * 255) & ~int64_t(0xFFF)) + 0x8000) >> 8)));
                u = c[0];
                v = c[1];
            }
            if (texMatrix) {
                i32 const* tm = texMatrix;
                i32 uu = Saturate(((int64_t(tm[0]) * u + int64_t(tm[4]) * v) >> 16) + tm[12]);
                i32 vv = Saturate(((int64_t(tm[1]) * u + int64_t(tm[5]) * v) >> 16) + tm[13]);
                u = uu;
                v = vv;
            }
            e->v.u = u;
            e->v.v = v;
        }
    }

    // The cache entry of an element index, transformed for this call. An
    // entry held by the primitive being assembled is never taken over.
    PVertexEntry* Vertex(u32 index)
    {
        PVertexEntry* e = &b->m_cache[index & (P3DBackendSW::kCacheEntries - 1)];
        if (e->tag == b->m_drawCount) {
            if (e->index == index)
                return e;
            Flush();
            if (Pinned(e)) {
                do {
                    e = &b->m_cache[P3DBackendSW::kCacheEntries + P3DBackendSW::kClipEntries + spareNext];
                    spareNext = (spareNext + 1) % P3DBackendSW::kSpareEntries;
                } while (Pinned(e));
            }
        }
        Fill(e, index);
        return e;
    }

    void ColourFromArrays(PVertexEntry* e)
    {
        PVertex& v = e->v;
        if (colour) {
            uint8_t const* p = Element(*colour, e->index);
            u16 c[4];
            if (colour->type == UNSIGNED_BYTE) {
                for (int i = 0; i < 4; ++i)
                    c[i] = smooth ? u16(p[i] * 256 + 128) : u16((p[i] | 1) * 256 | 128);
            } else {
                for (int i = 0; i < 4; ++i) {
                    i32 x = std::clamp(Component(p, colour->type, i), 0, 0x10000);
                    c[i] = smooth ? u16((int64_t(x) * 65535) >> 16) : u16(((x * 255) >> 16) * 256 | 128);
                }
            }
            v.r = c[0];
            v.g = c[1];
            v.b = c[2];
            v.a = c[3];
        } else if (lit) {
            uint8_t const* p = Element(*normal, e->index);
            i32 n[3];
            for (int i = 0; i < 3; ++i) {
                n[i] = Component(p, normal->type, i);
                // Byte and short normals are scaled to -1..1.
                if (normal->type == BYTE)
                    n[i] = i32((int64_t(n[i]) >> 16) * 65536 / 127);
                else if (normal->type == SHORT)
                    n[i] = i32((int64_t(n[i]) >> 16) * 65536 / 32767);
            }
            b->DiffLight(&v, n);
        } else {
            v.r = u16((current & 0xFF) * 256 + 128);
            v.g = u16(((current >> 8) & 0xFF) * 256 + 128);
            v.b = u16(((current >> 16) & 0xFF) * 256 + 128);
            v.a = u16((current >> 24) * 256 + 128);
        }
        e->flags |= kFlagColoured;
    }

    // Colours a primitive's vertices: every vertex once with smooth shading,
    // the last (provoking) vertex each time with flat shading.
    void Colour(PVertexEntry** v, int n)
    {
        if (smooth) {
            for (int i = 0; i < n; ++i)
                if (!(v[i]->flags & kFlagColoured))
                    ColourFromArrays(v[i]);
        } else {
            ColourFromArrays(v[n - 1]);
        }
    }

    void Project(PVertexEntry* e)
    {
        if (e->flags & kFlagProjected)
            return;
        e->flags |= kFlagProjected;
        i32 W = e->clip[3];
        i32 X, Y, Z, r;
        // The reciprocals are exact quotients of the whole W (2^36 / W, and
        // 2^40 / W for a large W): the perspective weight w carries texture
        // coordinates across the triangle, and a table reciprocal of W >> 4
        // keeps too few bits to place far texels.
        u64 aw = W < 0 ? u64(0) - u64(i64(W)) : u64(W);
        if ((W >> 24) == 0 || (W >> 24) == -1) {
            r = aw ? i32(std::min<u64>((u64(1) << 36) / aw, 0x7FFFFFFF)) : 0;
            X = MulShift(e->clip[0], r, 20);
            Y = MulShift(e->clip[1], r, 20);
            Z = MulShift(e->clip[2], r, 20);
            e->v.w = r;
        } else {
            r = i32((u64(1) << 40) / aw);
            X = MulShift(e->clip[0], r, 24);
            Y = MulShift(e->clip[1], r, 24);
            Z = MulShift(e->clip[2], r, 24);
            e->v.w = r >> 4;
        }
        int64_t x = X0 + ((width * (int64_t(X) + 0x10000)) >> 1);
        int64_t y = Y1 - ((height * (int64_t(Y) + 0x10000)) >> 1);
        e->v.x = i32(std::clamp<int64_t>(x, -kCoordLimit, kCoordLimit));
        e->v.y = i32(std::clamp<int64_t>(y, -kCoordLimit, kCoordLimit));
        e->v.z = Saturate(((int64_t(Z) * Zs) >> 16) + Zc);
    }

    PVertexEntry* NewEntry()
    {
        return &b->m_cache[b->m_clipNext++];
    }

    // The crossing of edge (A inside, B outside) with plane i; the result lies
    // exactly on the plane.
    PVertexEntry* Intersect(PVertexEntry const* A, PVertexEntry const* B, int plane, int attributes)
    {
        int axis = plane >> 1;
        int64_t s = (plane & 1) ? 1 : -1;
        int64_t num = s * B->clip[axis] - B->clip[3];
        int64_t den = (int64_t(A->clip[3]) - B->clip[3]) - s * (int64_t(A->clip[axis]) - B->clip[axis]);
        int64_t t = den > 0 ? std::clamp<int64_t>((num << 16) / den, 0, 0x10000) : 0;
        PVertexEntry* e = NewEntry();
        *e = *B;
        e->tag = 0;
        for (int j = 0; j < 4; ++j)
            e->clip[j] = Saturate(B->clip[j] + ((t * (int64_t(A->clip[j]) - B->clip[j])) >> 16));
        e->clip[axis] = Saturate(s * e->clip[3]);
        auto lerp = [t](int64_t a, int64_t bb) { return bb + ((t * (a - bb)) >> 16); };
        if (attributes & 4) {
            e->v.r = u16(lerp(A->v.r, B->v.r));
            e->v.g = u16(lerp(A->v.g, B->v.g));
            e->v.b = u16(lerp(A->v.b, B->v.b));
            e->v.a = u16(lerp(A->v.a, B->v.a));
        }
        if (attributes & 1) {
            e->v.u = Saturate(lerp(A->v.u, B->v.u));
            e->v.v = Saturate(lerp(A->v.v, B->v.v));
        }
        e->flags = ClipCodes(e->clip);
        return e;
    }

    int Attributes() const { return (textured ? 1 : 0) | (smooth ? 4 : 0); }

    void Triangle(PVertexEntry* a, PVertexEntry* c1, PVertexEntry* c2)
    {
        u32 fa = a->flags, fb = c1->flags, fc = c2->flags;
        if (fa & fb & fc & kClipMask)
            return;
        PVertexEntry* v[3] = {a, c1, c2};
        Colour(v, 3);
        for (auto* e : v)
            if (!(e->flags & kClipMask))
                Project(e);
        if ((fa | fb | fc) & kClipMask) {
            ClipTriangle(v, (fa | fb | fc) & kClipMask);
            return;
        }
        PVertex** list = b->m_triangles + 3 * pending;
        list[0] = &a->v;
        list[1] = &c1->v;
        list[2] = &c2->v;
        if (++pending == P3DBackendSW::kMaxTriangles)
            Flush();
    }

    void ClipTriangle(PVertexEntry** tri, u32 flags)
    {
        // Room for the worst case: 12 crossings, 9 copies, 7 triangles.
        if (b->m_clipNext + 24 > P3DBackendSW::kCacheEntries + P3DBackendSW::kClipEntries ||
            pending + 8 > P3DBackendSW::kMaxTriangles)
            Flush();
        PVertexEntry* bufA[12];
        PVertexEntry* bufB[12];
        PVertexEntry** in = bufA;
        PVertexEntry** out = bufB;
        int n = 3;
        in[0] = tri[0];
        in[1] = tri[1];
        in[2] = tri[2];
        int attributes = Attributes();
        for (int plane = 0; plane < 6; ++plane) {
            u32 bit = 1u << plane;
            if (!(flags & bit))
                continue;
            int m = 0;
            PVertexEntry* P = in[n - 1];
            for (int i = 0; i < n; ++i) {
                PVertexEntry* Q = in[i];
                bool pOut = P->flags & bit, qOut = Q->flags & bit;
                if (pOut != qOut && m < 12)
                    out[m++] = pOut ? Intersect(Q, P, plane, attributes) : Intersect(P, Q, plane, attributes);
                if (!qOut && m < 12)
                    out[m++] = Q;
                P = Q;
            }
            if (m == 0)
                return;
            std::swap(in, out);
            n = m;
        }
        if (n < 3)
            return;
        // With flat shading every piece takes the provoking vertex's colour.
        if (!smooth) {
            PVertexEntry* provoking = tri[2];
            for (int i = 0; i < n; ++i) {
                if (in[i] == provoking)
                    continue;
                if (in[i] == tri[0] || in[i] == tri[1]) {
                    PVertexEntry* copy = NewEntry();
                    *copy = *in[i];
                    copy->tag = 0;
                    in[i] = copy;
                }
                in[i]->v.r = provoking->v.r;
                in[i]->v.g = provoking->v.g;
                in[i]->v.b = provoking->v.b;
                in[i]->v.a = provoking->v.a;
            }
        }
        for (int i = 0; i < n; ++i)
            Project(in[i]);
        for (int k = 2; k < n; ++k) {
            PVertex** list = b->m_triangles + 3 * pending;
            list[0] = &in[0]->v;
            list[1] = &in[k - 1]->v;
            list[2] = &in[k]->v;
            ++pending;
        }
        if (pending >= P3DBackendSW::kMaxTriangles - 8)
            Flush();
    }

    void Segment(PVertexEntry* p, PVertexEntry* q)
    {
        u32 fp = p->flags, fq = q->flags;
        if (fp & fq & kClipMask)
            return;
        PVertexEntry* v[2] = {p, q};
        Colour(v, 2);
        if (!(fp & kClipMask))
            Project(p);
        if (!(fq & kClipMask))
            Project(q);
        if ((fp | fq) & kClipMask) {
            if (b->m_clipNext + 16 > P3DBackendSW::kCacheEntries + P3DBackendSW::kClipEntries)
                Flush();
            u32 flags = (fp | fq) & kClipMask;
            int attributes = Attributes();
            for (int plane = 0; plane < 6; ++plane) {
                u32 bit = 1u << plane;
                if (!(flags & bit))
                    continue;
                bool pOut = p->flags & bit, qOut = q->flags & bit;
                if (pOut && qOut)
                    return;
                if (pOut)
                    p = Intersect(q, p, plane, attributes);
                else if (qOut)
                    q = Intersect(p, q, plane, attributes);
            }
            if (!smooth && q != v[1]) {
                q->v.r = v[1]->v.r;
                q->v.g = v[1]->v.g;
                q->v.b = v[1]->v.b;
                q->v.a = v[1]->v.a;
            }
            Project(p);
            Project(q);
        }
        PVertex** list = b->m_triangles + 2 * pending;
        list[0] = &p->v;
        list[1] = &q->v;
        if (++pending == P3DBackendSW::kMaxTriangles)
            Flush();
    }

    void Point(PVertexEntry* p)
    {
        if (p->flags & kClipMask)
            return;
        PVertexEntry* v[1] = {p};
        Colour(v, 1);
        Project(p);
        b->m_triangles[pending] = &p->v;
        if (++pending == P3DBackendSW::kMaxTriangles)
            Flush();
    }
};

namespace {

u32 IndexAt(void const* indices, u32 type, i32 i)
{
    if (type == UNSIGNED_BYTE)
        return static_cast<uint8_t const*>(indices)[i];
    uint16_t v;
    std::memcpy(&v, static_cast<uint8_t const*>(indices) + 2 * size_t(i), 2);
    return v;
}

} // namespace

void P3DBackendSW::TransformElementsGeneric(u32 mode, i32 count, u32 type, void const* indices)
{
    SWTransform x;
    x.b = this;
    x.pos = &m_vertexArray;
    u32 unit = m_stateMan->ActiveUnit() % kMaxTextureUnits;
    PVertexArray const& tc = m_texCoordArrays[unit];
    x.textured = (m_stateMan->Unit(unit).flags & 1u) && tc.enabled && tc.pointer;
    x.tex = &tc;
    x.texMatrix = nullptr;
    if (x.textured) {
        i32 const* m = m_stateMan->Top(kStackTexture0 + unit).w;
        if (!(m[0] == 0x10000 && m[1] == 0 && m[4] == 0 && m[5] == 0x10000 && m[12] == 0 && m[13] == 0))
            x.texMatrix = m;
    }
    x.smooth = m_setup.enables & kEnSmooth;
    x.colour = m_colorArray.enabled && m_colorArray.pointer ? &m_colorArray : nullptr;
    x.normal = &m_normalArray;
    x.lit = !x.colour && (m_setup.enables & kEnLighting) && m_normalArray.enabled && m_normalArray.pointer;
    if (!x.colour && !x.lit) {
        x.smooth = false;
        m_setup.enables &= ~kEnSmooth;
    }
    if (x.lit && m_lightVectorsDirty)
        ObjectSpaceLights();
    x.current = m_stateMan->Colour();

    // Viewport: GL's rectangle counts rows from the bottom.
    int64_t H = SurfaceHeight();
    int64_t top = H - (int64_t(m_viewport.y) + m_viewport.height);
    x.width = m_viewport.width;
    x.height = m_viewport.height;
    x.X0 = (int64_t(m_viewport.x) << 16) - 0x8000;
    x.Y1 = ((top + m_viewport.height) << 16) - 0x8000;
    x.Zs = (m_depthFar - m_depthNear) >> 1;
    x.Zc = (m_depthNear + m_depthFar) >> 1;
    x.pending = 0;
    x.pinned[0] = x.pinned[1] = x.pinned[2] = nullptr;
    x.spareNext = 0;
    m_clipNext = kCacheEntries;

    if (mode <= LINE_STRIP) {
        x.kind = mode == POINTS ? 2 : 1;
        if (mode == POINTS) {
            for (i32 i = 0; i < count; ++i)
                x.Point(x.Vertex(IndexAt(indices, type, i)));
        } else if (mode == LINES) {
            for (i32 i = 0; i + 1 < count; i += 2) {
                PVertexEntry* p = x.Vertex(IndexAt(indices, type, i));
                x.pinned[0] = p;
                PVertexEntry* q = x.Vertex(IndexAt(indices, type, i + 1));
                x.pinned[0] = nullptr;
                x.Segment(p, q);
            }
        } else if (count >= 2) {
            PVertexEntry* first = x.Vertex(IndexAt(indices, type, 0));
            PVertexEntry* prev = first;
            for (i32 i = 1; i < count; ++i) {
                x.pinned[0] = first;
                x.pinned[1] = prev;
                PVertexEntry* e = x.Vertex(IndexAt(indices, type, i));
                x.Segment(prev, e);
                prev = e;
            }
            if (mode == LINE_LOOP) {
                x.pinned[0] = x.pinned[1] = nullptr;
                x.Segment(prev, first);
            }
        }
        x.Flush();
        return;
    }

    x.kind = 0;
    if (mode == TRIANGLES) {
        for (i32 i = 0; i + 2 < count; i += 3) {
            PVertexEntry* a = x.Vertex(IndexAt(indices, type, i));
            x.pinned[0] = a;
            PVertexEntry* b = x.Vertex(IndexAt(indices, type, i + 1));
            x.pinned[1] = b;
            PVertexEntry* c = x.Vertex(IndexAt(indices, type, i + 2));
            x.pinned[0] = x.pinned[1] = nullptr;
            x.Triangle(a, b, c);
        }
    } else if (count >= 3) {
        PVertexEntry* e0 = x.Vertex(IndexAt(indices, type, 0));
        x.pinned[0] = e0;
        PVertexEntry* e1 = x.Vertex(IndexAt(indices, type, 1));
        for (i32 i = 2; i < count; ++i) {
            x.pinned[0] = e0;
            x.pinned[1] = e1;
            PVertexEntry* e2 = x.Vertex(IndexAt(indices, type, i));
            if (mode == TRIANGLE_STRIP) {
                if ((i & 1) == 0)
                    x.Triangle(e0, e1, e2);
                else
                    x.Triangle(e1, e0, e2);
                e0 = e1;
                e1 = e2;
            } else {
                x.Triangle(e0, e1, e2);
                e1 = e2;
            }
        }
    }
    x.Flush();
}

void P3DBackendSW::TransformLinesElementsGeneric(u32 mode, i32 count, u32 type, void const* indices)
{
    TransformElementsGeneric(mode, count, type, indices);
}

// ---------------------------------------------------------------------------
// Points and lines as pairs of triangles, never face-culled.

int P3DBackendSW::DrawPoints(PVertex** points, int count)
{
    u32 saved = m_setup.enables;
    m_setup.enables &= ~kEnCullFace;
    PVertex corners[64 * 4];
    PVertex* tris[64 * 6];
    for (int start = 0; start < count; start += 64) {
        int n = std::min(64, count - start);
        for (int i = 0; i < n; ++i) {
            PVertex const& p = *points[start + i];
            PVertex* k = corners + 4 * i;
            for (int j = 0; j < 4; ++j)
                k[j] = p;
            k[0].x = Sub(p.x, 0x8000), k[0].y = Add(p.y, 0x8000);
            k[1].x = Add(p.x, 0x8000), k[1].y = Add(p.y, 0x8000);
            k[2].x = Sub(p.x, 0x8000), k[2].y = Sub(p.y, 0x8000);
            k[3].x = Add(p.x, 0x8000), k[3].y = Sub(p.y, 0x8000);
            PVertex** t = tris + 6 * i;
            t[0] = &k[0], t[1] = &k[1], t[2] = &k[2];
            t[3] = &k[1], t[4] = &k[3], t[5] = &k[2];
        }
        DrawPolygons(tris, 2 * n);
    }
    m_setup.enables = saved;
    return -1;
}

int P3DBackendSW::DrawLines(PVertex** lines, int count)
{
    u32 saved = m_setup.enables;
    m_setup.enables &= ~kEnCullFace;
    bool flat = !(saved & kEnSmooth);
    PVertex corners[64 * 4];
    PVertex* tris[64 * 6];
    for (int start = 0; start < count; start += 64) {
        int n = std::min(64, count - start);
        for (int i = 0; i < n; ++i) {
            PVertex const& P = *lines[2 * (start + i)];
            PVertex const& Q = *lines[2 * (start + i) + 1];
            int64_t dx = std::abs(int64_t(P.x) - Q.x), dy = std::abs(int64_t(P.y) - Q.y);
            i32 ox = dx < dy ? 0x8000 : dx > dy ? 0 : 0x8000;
            i32 oy = dx < dy ? 0 : 0x8000;
            PVertex* k = corners + 4 * i; // P1, Q1, P2, Q2
            k[0] = P, k[1] = Q, k[2] = P, k[3] = Q;
            k[0].x = Add(P.x, ox), k[0].y = Add(P.y, oy);
            k[1].x = Add(Q.x, ox), k[1].y = Add(Q.y, oy);
            k[2].x = Sub(P.x, ox), k[2].y = Sub(P.y, oy);
            k[3].x = Sub(Q.x, ox), k[3].y = Sub(Q.y, oy);
            if (flat) // a flat line takes its last vertex's colour
                for (int j = 0; j < 4; ++j)
                    k[j].r = Q.r, k[j].g = Q.g, k[j].b = Q.b, k[j].a = Q.a;
            PVertex** t = tris + 6 * i;
            t[0] = &k[2], t[1] = &k[3], t[2] = &k[0];
            t[3] = &k[3], t[4] = &k[1], t[5] = &k[0];
        }
        DrawPolygons(tris, 2 * n);
    }
    m_setup.enables = saved;
    return -1;
}

} // namespace vornGL
