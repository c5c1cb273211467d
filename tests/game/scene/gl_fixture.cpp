#include "gl_fixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>

namespace scenetest {

namespace {

std::map<std::string, FakeMesh>& Registry()
{
    static std::map<std::string, FakeMesh> r;
    return r;
}

int FakeBox(PMesh* mesh, int32_t* b)
{
    auto* f = reinterpret_cast<FakeMesh*>(mesh);
    b[0] = int32_t(std::lround(-f->hx * 65536)), b[1] = int32_t(std::lround(-f->hy * 65536));
    b[2] = int32_t(std::lround(-f->hz * 65536));
    b[3] = -b[0], b[4] = -b[1], b[5] = -b[2];
    return 1;
}

PMesh* FakeLoad(const char* path, PTextureManager*, const char*)
{
    std::string p(path);
    size_t slash = p.find_last_of("\\/");
    std::string base = p.substr(slash == std::string::npos ? 0 : slash + 1);
    if (base.size() > 4)
        base.resize(base.size() - 4);
    auto it = Registry().find(base);
    if (it == Registry().end())
        return nullptr;
    return reinterpret_cast<PMesh*>(new FakeMesh(it->second));
}

void FakeDestroy(PMesh* mesh)
{
    delete reinterpret_cast<FakeMesh*>(mesh);
}

void FakeRender(PMesh* mesh, GLES* gl)
{
    auto* f = reinterpret_cast<FakeMesh*>(mesh);
    DrawRecord r;
    r.id = f->id;
    gl->glGetFixedv(GL_MODELVIEW_MATRIX, r.modelview);
    gl->glGetFixedv(GL_PROJECTION_MATRIX, r.projection);
    Draws().push_back(r);
    DrawBox(*f, gl);
}

const P3DMeshOps kOps = {FakeBox, FakeLoad, FakeDestroy, FakeRender};

} // namespace

std::vector<DrawRecord>& Draws()
{
    static std::vector<DrawRecord> d;
    return d;
}

void RegisterFakeMesh(std::string const& name, FakeMesh const& mesh)
{
    Registry()[name] = mesh;
}

void ClearFakeMeshes()
{
    Registry().clear();
    Draws().clear();
}

const P3DMeshOps* FakeMeshOps()
{
    return &kOps;
}

void BoxTriangles(FakeMesh const& m, int32_t* v, int32_t* n)
{
    static const int faces[6][4][3] = {
        {{1, -1, -1}, {1, 1, -1}, {1, 1, 1}, {1, -1, 1}},     {{-1, -1, 1}, {-1, 1, 1}, {-1, 1, -1}, {-1, -1, -1}},
        {{-1, 1, -1}, {-1, 1, 1}, {1, 1, 1}, {1, 1, -1}},     {{-1, -1, 1}, {-1, -1, -1}, {1, -1, -1}, {1, -1, 1}},
        {{-1, -1, 1}, {1, -1, 1}, {1, 1, 1}, {-1, 1, 1}},     {{1, -1, -1}, {-1, -1, -1}, {-1, 1, -1}, {1, 1, -1}}};
    static const int normals[6][3] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
    static const int order[6] = {0, 1, 2, 0, 2, 3};
    double h[3] = {m.hx, m.hy, m.hz};
    int k = 0;
    for (int f = 0; f < 6; f++)
        for (int i = 0; i < 6; i++, k++) {
            int corner = m.inward ? order[5 - i] : order[i];
            for (int a = 0; a < 3; a++) {
                v[k * 3 + a] = int32_t(std::lround(faces[f][corner][a] * h[a] * 65536));
                n[k * 3 + a] = (m.inward ? -normals[f][a] : normals[f][a]) * 65536;
            }
        }
}

void DrawBox(FakeMesh const& m, GLES* gl)
{
    int32_t v[36 * 3], n[36 * 3];
    BoxTriangles(m, v, n);
    if (gl) {
        gl->glEnableClientState(GL_VERTEX_ARRAY);
        gl->glEnableClientState(GL_NORMAL_ARRAY);
        gl->GetBackend()->glVertexPointer(3, GL_FIXED, 0, v);
        gl->GetBackend()->glNormalPointer(GL_FIXED, 0, n);
        gl->glDrawArrays(GL_TRIANGLES, 0, 36);
    } else {
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_NORMAL_ARRAY);
        glVertexPointer(3, GL_FIXED, 0, v);
        glNormalPointer(GL_FIXED, 0, n);
        glDrawArrays(GL_TRIANGLES, 0, 36);
    }
}

bool MesaLayer::Create(int w, int h, bool withLayer, std::string* err)
{
    const char* why = nullptr;
    if (!m_surface.Create(w, h, &why)) {
        *err = why ? why : "EGL failed";
        return false;
    }
    m_w = w, m_h = h;
    if (!withLayer)
        return true;
    m_info.width = m_info.screenWidth = w;
    m_info.height = m_info.screenHeight = h;
    m_gles = new GLES();
    auto* backend = new vornGL::P3DBackendES11(&m_info);
    backend->vornGLSetOrientation(1);
    m_gles->Init(backend, nullptr);
    m_gles->glViewport(0, 0, w, h);
    return true;
}

void MesaLayer::Destroy()
{
    delete m_gles;
    m_gles = nullptr;
    m_surface.Destroy();
}

std::vector<uint8_t> MesaLayer::Read()
{
    std::vector<uint8_t> px(size_t(m_w) * m_h * 4);
    glFinish();
    glReadPixels(0, 0, m_w, m_h, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
    return px;
}

void ExpectDraws(std::vector<ExpectedDraw> const& want, double mvTolerance, double projTolerance)
{
    ASSERT_EQ(want.size(), Draws().size());
    for (size_t i = 0; i < want.size(); i++) {
        EXPECT_EQ(want[i].id, Draws()[i].id) << "draw " << i;
        for (int k = 0; k < 16; k++) {
            double mv = want[i].mv.m[k], proj = want[i].proj.m[k];
            EXPECT_NEAR(mv, Draws()[i].modelview[k] / 65536.0, mvTolerance * (1 + std::fabs(mv))) << i << " " << k;
            EXPECT_NEAR(proj, Draws()[i].projection[k] / 65536.0, projTolerance * (1 + std::fabs(proj)))
                << i << " projection " << k;
        }
    }
}

FrameDiff CompareFrames(std::vector<uint8_t> const& got, std::vector<uint8_t> const& want, int w, int h,
                        int tolerance, char const* name)
{
    if (const char* out = std::getenv("KRV_SAVE_FRAMES"))
        for (int k = 0; k < 2; k++) {
            FILE* f = std::fopen((std::string(out) + "/" + name + (k ? "_reference.ppm" : ".ppm")).c_str(), "wb");
            if (!f)
                continue;
            std::fprintf(f, "P6 %d %d 255\n", w, h);
            auto const& img = k ? want : got;
            for (int y = h - 1; y >= 0; y--)
                for (int x = 0; x < w; x++)
                    std::fwrite(&img[(size_t(y) * w + x) * 4], 1, 3, f);
            std::fclose(f);
        }
    FrameDiff d;
    std::set<uint32_t> colours;
    auto at = [&](std::vector<uint8_t> const& img, int x, int y) {
        uint32_t v;
        std::memcpy(&v, &img[(size_t(y) * w + x) * 4], 4);
        return v;
    };
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            colours.insert(at(want, x, y));
            bool differs = false;
            for (int c = 0; c < 3; c++) {
                int a = got[(size_t(y) * w + x) * 4 + c], b = want[(size_t(y) * w + x) * 4 + c];
                differs |= std::abs(a - b) > tolerance;
            }
            if (!differs)
                continue;
            bool uniform = true;
            for (int dy = -1; dy <= 1; dy++)
                for (int dx = -1; dx <= 1; dx++) {
                    int nx = x + dx, ny = y + dy;
                    if (nx < 0 || ny < 0 || nx >= w || ny >= h)
                        continue;
                    uniform &= at(want, nx, ny) == at(want, x, y) && at(got, nx, ny) == at(got, x, y);
                }
            if (uniform)
                d.interior++;
            else
                d.edge++;
        }
    d.distinctColours = int(colours.size());
    return d;
}

} // namespace scenetest
