// A software back end on an RGB565 buffer in memory, driven through the GL
// front end as the engine drives it.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/platform/pdisplay.h"
#include "tests/gl/software/memory_display.h"
#include "gl/gles.h"
#include "gl/software/swbackend.h"

#include <GLES/gl.h>
#include <GLES/glext.h>

namespace swtest {

inline constexpr int32_t Fx(double v) { return int32_t(v * 65536.0); }

// A W x H back end with an orthographic projection of one unit per pixel,
// y growing upwards (GL's convention), and the viewport on the whole surface.
class SwFixture : public ::testing::Test {
protected:
    static constexpr int W = 64, H = 64;

    void SetUp() override
    {
        display = std::make_unique<MemoryDisplay>(W, H);
        info.width = W;
        info.height = H;
        gles = std::make_unique<GLES>();
        sw = vornGL::P3DBackendSW::Create(&info, gles->GetStateMan(), display.get());
        ASSERT_NE(sw, nullptr);
        gles->Init(sw, nullptr);
        gles->glViewport(0, 0, W, H);
        gles->glMatrixMode(GL_PROJECTION);
        gles->glLoadIdentity();
        gles->glOrthox(0, Fx(W), 0, Fx(H), Fx(-1), Fx(1));
        gles->glMatrixMode(GL_MODELVIEW);
        gles->glLoadIdentity();
        gles->glEnableClientState(GL_VERTEX_ARRAY);
        sw->glClearColorx(0, 0, 0, 0);
        gles->glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        gles->glGetError();
    }

    // Pixel at column x, row y counted from the top.
    uint16_t Pixel(int x, int y) const { return display->Buffer().pixels[y * (display->Buffer().pitch / 2) + x]; }
    uint16_t Depth(int x, int y) const { return sw->DepthBuffer()[y * (display->Buffer().pitch / 2) + x]; }
    int Count(uint16_t colour) const
    {
        int n = 0;
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x)
                n += Pixel(x, y) == colour;
        return n;
    }
    // A new texture name, bound.
    uint32_t NewTexture()
    {
        uint32_t name = 0;
        sw->glGenTextures(1, &name);
        gles->glBindTexture(GL_TEXTURE_2D, name);
        return name;
    }
    // The GL error code recorded since the last call (0 for none).
    uint32_t Error() { return gles->glGetError(); }

    // Draws triangles given as x, y pairs (pixels, GL orientation).
    void Triangles(std::vector<double> const& xy, GLenum mode = GL_TRIANGLES)
    {
        verts.clear();
        for (double v : xy)
            verts.push_back(Fx(v));
        sw->glVertexPointer(2, GL_FIXED, 0, verts.data());
        gles->glDrawArrays(mode, 0, int32_t(xy.size() / 2));
    }

    PDisplayProperties info{};
    std::unique_ptr<MemoryDisplay> display;
    std::unique_ptr<GLES> gles; // owns sw
    vornGL::P3DBackendSW* sw = nullptr;
    std::vector<int32_t> verts;
};

} // namespace swtest
