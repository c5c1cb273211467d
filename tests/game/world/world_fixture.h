// Shared helpers of the world tests: meshes written with the tools' writers
// and frames saved for looking at them; the scratch directory and the
// drawing contexts are the game tests' shared ones.
#pragma once
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "tests/game/world/game_fixture.h"
#include "tools/lib/pof_writer.h"
#include "tools/lib/toolfile.h"

namespace worldtest {

inline int32_t Fx(double v)
{
    return int32_t(std::lround(v * 65536.0));
}

inline double Db(int32_t v)
{
    return v / 65536.0;
}

using DataDir = gametest::ScratchDir;
using gametest::MesaContext;
using gametest::SoftContext;

// A closed triangle mesh in 16.16: triangles as three vertex indices.
struct Tris {
    std::vector<double> v; // x, y, z per vertex
    std::vector<int> t;
    PofMesh Pof() const
    {
        PofMesh m;
        for (double c : v)
            m.positions.push_back(Fx(c));
        PofList l;
        for (int i : t)
            l.indices.push_back(uint32_t(i));
        m.lists.push_back(l);
        return m;
    }
};

// An axis-aligned box about the origin with the given half sizes.
inline Tris Box(double hx, double hy, double hz)
{
    Tris b;
    for (int i = 0; i < 8; i++)
        b.v.insert(b.v.end(), {i & 1 ? hx : -hx, i & 2 ? hy : -hy, i & 4 ? hz : -hz});
    b.t = {0, 1, 3, 0, 3, 2, 4, 6, 7, 4, 7, 5, 0, 4, 5, 0, 5, 1, 2, 3, 7, 2, 7, 6, 0, 2, 6, 0, 6, 4, 1, 5, 7, 1, 7, 3};
    return b;
}

// Writes a frame as PNG (for looking at it); false when it cannot.
bool SaveFrame(std::string const& path, std::vector<uint32_t> const& rgb, int w, int h);

// A w x h frame's view of 4 x 4 units about the origin, looking down -z.
inline void OrthoView(P3D* gl, int w, int h)
{
    gl->glViewport(0, 0, w, h);
    gl->glScissor(0, 0, w, h);
    gl->glMatrixMode(GL_PROJECTION);
    gl->glLoadIdentity();
    gl->glOrthox(Fx(-2), Fx(2), Fx(-2), Fx(2), Fx(-50), Fx(50));
    gl->glMatrixMode(GL_MODELVIEW);
    gl->glLoadIdentity();
}

} // namespace worldtest
