// Scene drawing tests on Mesa: the GL layer's OpenGL ES 1.1 back end on an
// EGL pbuffer, stand-in meshes (boxes) behind the scene engine's mesh
// operations with a log of every draw, double-precision 4x4 matrices for the
// references, and frame comparison.
#pragma once
#include <GLES/gl.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "engine/platform/pdisplay.h"
#include "game/scene/p3dmeshlink.h"
#include "gl/glbackend_es11.h"
#include "gl/gles.h"
#include "tools/glreplay/eglpbuffer.h"

namespace scenetest {

// Column-major 4x4 in doubles.
struct Mat {
    double m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    Mat operator*(Mat const& b) const
    {
        Mat r;
        for (int c = 0; c < 4; c++)
            for (int row = 0; row < 4; row++) {
                double s = 0;
                for (int k = 0; k < 4; k++)
                    s += m[k * 4 + row] * b.m[c * 4 + k];
                r.m[c * 4 + row] = s;
            }
        return r;
    }
    static Mat T(double x, double y, double z)
    {
        Mat r;
        r.m[12] = x, r.m[13] = y, r.m[14] = z;
        return r;
    }
    static Mat S(double x, double y, double z)
    {
        Mat r;
        r.m[0] = x, r.m[5] = y, r.m[10] = z;
        return r;
    }
    // Rotation by deg degrees about the unit axis (glRotate).
    static Mat R(double deg, double x, double y, double z)
    {
        double a = deg * M_PI / 180, c = std::cos(a), s = std::sin(a), t = 1 - c;
        Mat r;
        r.m[0] = t * x * x + c, r.m[1] = t * x * y + s * z, r.m[2] = t * x * z - s * y;
        r.m[4] = t * x * y - s * z, r.m[5] = t * y * y + c, r.m[6] = t * y * z + s * x;
        r.m[8] = t * x * z + s * y, r.m[9] = t * y * z - s * x, r.m[10] = t * z * z + c;
        return r;
    }
    static Mat Perspective(double fovy, double aspect, double n, double f)
    {
        double ymax = std::tan(fovy * M_PI / 360) * n, xmax = ymax * aspect;
        Mat r;
        r.m[0] = n / xmax, r.m[5] = n / ymax;
        r.m[10] = -(f + n) / (f - n), r.m[11] = -1;
        r.m[14] = -2 * f * n / (f - n), r.m[15] = 0;
        return r;
    }
    void ToFixed(int32_t* out) const
    {
        for (int i = 0; i < 16; i++)
            out[i] = int32_t(std::lround(m[i] * 65536));
    }
    void ToFloat(float* out) const
    {
        for (int i = 0; i < 16; i++)
            out[i] = float(m[i]);
    }
};

// A stand-in mesh: an axis-aligned box about the origin, faces outward (or
// inward for a sky).
struct FakeMesh {
    int id;
    double hx, hy, hz;
    bool inward;
};

struct DrawRecord {
    int id;
    int32_t modelview[16];
    int32_t projection[16];
};

// A draw the test expects: the mesh id and the matrices in doubles.
struct ExpectedDraw {
    int id;
    Mat mv, proj;
};
// The draws since the last clear are exactly these, matrices within
// tolerance x (1 + |value|).
void ExpectDraws(std::vector<ExpectedDraw> const& want, double mvTolerance, double projTolerance);

// The draws of the stand-in meshes since the last Clear.
std::vector<DrawRecord>& Draws();
// Loaded by base name: "<dir><name>.pof" finds the registered mesh of that
// name (a new copy each time, deleted by the engine).
void RegisterFakeMesh(std::string const& name, FakeMesh const& mesh);
void ClearFakeMeshes();
const P3DMeshOps* FakeMeshOps();
// The box of a stand-in mesh as 36 GL_FIXED corners and normals, faces
// counter-clockwise seen from outside (inside for an inward box).
void BoxTriangles(FakeMesh const& m, int32_t* v, int32_t* n);
// The box of a stand-in mesh as GL_FIXED triangles with normals, drawn with
// the current state: through the layer, or straight into Mesa (gl null).
void DrawBox(FakeMesh const& m, GLES* gl);

// An OpenGL ES 1.1 context on a pbuffer with the layer on top.
class MesaLayer {
public:
    MesaLayer() = default;
    ~MesaLayer() { Destroy(); }
    MesaLayer(MesaLayer const&) = delete;
    MesaLayer& operator=(MesaLayer const&) = delete;
    // withLayer false: the context only, for direct GL calls.
    bool Create(int w, int h, bool withLayer, std::string* err);
    void Destroy();
    GLES* gl() { return m_gles; }
    // RGBA, rows bottom first as GL reads them.
    std::vector<uint8_t> Read();

private:
    glreplay::EglPbuffer m_surface;
    PDisplayProperties m_info{};
    GLES* m_gles = nullptr;
    int m_w = 0, m_h = 0;
};

// Pixels that differ by more than tolerance in a channel while the
// reference's 3x3 neighbourhood is uniform (edges of shapes may move by a
// pixel between fixed and floating point); and the count of differing edge
// pixels. With KRV_SAVE_FRAMES=DIR both frames are written there as
// <name>.ppm and <name>_reference.ppm.
struct FrameDiff {
    int interior = 0;
    int edge = 0;
    int distinctColours = 0; // in the reference
};
FrameDiff CompareFrames(std::vector<uint8_t> const& got, std::vector<uint8_t> const& want, int w, int h,
                        int tolerance, char const* name = "frame");

} // namespace scenetest
