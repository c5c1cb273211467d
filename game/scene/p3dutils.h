// Geometry helpers of the scene engine: reading the scene file's integers,
// box corners, frustum tests and planes, 4x4 matrix products and the
// rotation order every scene object is drawn with. All values 16.16, angles
// 16.16 degrees; products in 64 bits shifted right by 16.
#pragma once
#include <cstdint>

#include "engine/runtime/pmath3d.h"

class GLES;

class P3DUtils {
public:
    // Little-endian int32 at *pos; advances *pos by 4. The caller checks
    // that four bytes are there.
    static int getIntFromBytes(const signed char* data, unsigned int* pos);
    // 0 for 0; otherwise the smallest power of two >= |v| with the sign of
    // v, except that |v| = 1 gives 2 and |v| above 16384 gives
    // max(|v|, 32768).
    static int ToPowerOf2(int v);
    // The eight corners of box in the scene engine's corner order: (x0,y0,z0),
    // (x1,y0,z0), (x1,y0,z1), (x0,y0,z1), then the same four at y1.
    static void BBox2Vectors(const PAABB3& box, PVector3* out);
    // 0 when all eight corners lie on the outer side (a x + b y + c z + d < 1)
    // of one of the n planes; else 1 (also for n < 1).
    static int PBoxInFrustum(const PVector3* corners, const PPlane3* planes, int n);
    // 1 when the point gives a value >= 1 for every plane; n = 0 gives 1 and
    // a negative n gives 0.
    static int IsPointInFrustum(const PVector3* p, const PPlane3* planes, int n);
    // a x + b y + c z + d of a plane, each product shifted right by 16, in
    // 64 bits.
    static int64_t PlaneDistance(const PPlane3& plane, int x, int y, int z);
    // out = a x b for column-major 4x4 matrices, each product shifted before
    // summing.
    static void MatMult4x4(int* out, const int* a, const int* b);
    // The six planes near, far, left, right, bottom, top of clip =
    // projection x modelview (rows r0..r3: r3+r2, r3-r2, r3+r0, r3-r0,
    // r3+r1, r3-r1), not normalised.
    static void FrustumPlanesFromMatrices(PPlane3* out, const int32_t* modelview, const int32_t* projection);
    // The same from the current GL matrices.
    static void PGetFrustumPlanes(PPlane3* out, GLES* gl);
    // Unit normal of the triangle: (b - a) x (c - a) normalised.
    static PVector3 CreateNormal(const PVector3& a, const PVector3& b, const PVector3& c);
    // PAtan2(y1 - y0, x1 - x0), in engine angle units.
    static int GetAngle(int x0, int y0, int x1, int y1);
    // Rotates the point by az about Z, then ax about X, then ay about Y, and
    // moves it by (tx, ty, tz): T + Ry Rx Rz p.
    static void GetTranslatedXYZ(int* x, int* y, int* z, int tx, int ty, int tz, int ax, int ay, int az);
    static void GetTranslatedXYZ(int& x, int& y, int& z, int tx, int ty, int tz, int ax, int ay, int az)
    {
        GetTranslatedXYZ(&x, &y, &z, tx, ty, tz, ax, ay, az);
    }
    // Rotates the point about the pivot (px, py, pz) in the same order.
    static void TranslatePointByPivot(int* x, int* y, int* z, int px, int py, int pz, int ax, int ay, int az);
    static void TranslatePointByPivot(int& x, int& y, int& z, int px, int py, int pz, int ax, int ay, int az)
    {
        TranslatePointByPivot(&x, &y, &z, px, py, pz, ax, ay, az);
    }
    // PFSqrt(sum >> 16) for a sum of squared 16.16 differences of any size:
    // the same result while sum >> 16 fits in 32 bits, the same formula
    // (whole square root, shifted left by 8) above, saturated at 0x7FFFFFFF.
    static int SqrtOfSquare(unsigned __int128 sum);
};

// One placement as the drawing makes it: a move, then turns about three
// axes, the first outermost, so that a point p is drawn at T + R0 R1 R2 p.
// The drawing applies it with Apply and every position query goes through
// Transform, so that a query reports the point where it is drawn.
struct P3DPlacement {
    enum Axis : uint8_t { kAxisX = 0, kAxisY = 1, kAxisZ = 2 };
    int32_t t[3] = {0, 0, 0};
    int32_t angle[3] = {0, 0, 0}; // 16.16 degrees
    uint8_t axis[3] = {kAxisY, kAxisX, kAxisZ};

    bool Turned() const { return angle[0] || angle[1] || angle[2]; }
    // glTranslatex, then one glRotatex per turn in order.
    void Apply(GLES* gl) const;
    // T + R0 R1 R2 p, in 64 bits, wrapped to 32 as the drawing's matrices are.
    void Transform(int* x, int* y, int* z) const;
    // The inverse: R2^-1 R1^-1 R0^-1 (p - T), saturated.
    void Untransform(int* x, int* y, int* z) const;
    // Planes given in the space the placement sits in, expressed in the
    // placed space: a point passes a returned plane exactly when its placed
    // image passes the given one. in and out may be the same array.
    void PlanesInside(const PPlane3* in, PPlane3* out, int n) const;
};
