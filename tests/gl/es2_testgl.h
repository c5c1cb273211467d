// Helpers of the OpenGL ES 2.0 back-end tests: a headless EGL context on
// Mesa (pbuffer, surfaceless platform), a tracing shim that records every
// OpenGL ES 2.0 call the back end makes and forwards it to Mesa, and a front
// end on an ES 2.0 or ES 1.1 back end.
#pragma once
#include <GLES/gl.h>
#include <GLES/glext.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/platform/pdisplay.h"
#include "gl/es2_backend.h"
#include "gl/es2_fixedemu.h"
#include "gl/gles.h"
#include "recording_backend.h"

namespace testes2 {

// An OpenGL ES context (version 1 or 2) current on a width x height pbuffer.
class EglContext {
public:
    ~EglContext() { Destroy(); }
    bool Create(int version, int width, int height);
    void Destroy();
    // RGBA rows, bottom row first, as glReadPixels gives them.
    std::vector<unsigned char> Read() const;
    int width = 0, height = 0;

private:
    void* m_display = nullptr;
    void* m_surface = nullptr;
    void* m_context = nullptr;
};

// While alive, g_gles2 records each call's name (and, for a few calls, its
// first argument) before forwarding it to Mesa.
class Trace {
public:
    Trace();
    ~Trace();
    Trace(Trace const&) = delete;
    Trace& operator=(Trace const&) = delete;
    void Clear() { calls.clear(); }
    size_t Count(std::string const& prefix) const;
    std::string Joined() const;
    static std::vector<std::string> calls;
};

// A front end drawing through the ES 2.0 (api 2) or ES 1.1 (api 1) back end
// on the current context.
struct FrontEnd {
    PDisplayProperties info{};
    std::unique_ptr<GLES> gl;
    vornGL::P3DBackendES20* es2 = nullptr; // null on ES 1.1
    bool Create(int api, int width, int height);
    vornGL::P3DBackend* backend() const { return gl->GetBackend(); }
};

// The emulation on a state manager with eight units over a recording back
// end: shaders are generated and keyed without any GL.
struct RecordedEmu : ::testing::Test {
    testgl::RecordingBackend rec{2};
    vornGL::P3DStateMan sm;
    vornGL::PFixedEmu emu{sm};
    void SetUp() override
    {
        rec.integers[GL_MAX_TEXTURE_UNITS] = {8};
        sm.SetBackend(&rec);
    }
    void TearDown() override
    {
        sm.SetBackend(nullptr);
        vornGL::PPaperDoll::m_ShaderHashEmbed = vornGL::PPaperDoll::m_ShaderNoAlphaTest =
            vornGL::PPaperDoll::m_ShaderColorTint = false;
    }
};

// The ES 2.0 back end under a front end on a size x size pbuffer on Mesa
// (skipped where Mesa has no ES 2.0), its shader cache emptied.
template <int size> struct OnMesaEs2 : ::testing::Test {
    EglContext ctx;
    FrontEnd fe;
    GLES* g = nullptr;
    vornGL::P3DBackend* b = nullptr;
    vornGL::PFixedEmu* emu = nullptr;
    void SetUp() override
    {
        if (!ctx.Create(2, size, size))
            GTEST_SKIP() << "no OpenGL ES 2.0 context on this machine";
        ASSERT_TRUE(fe.Create(2, size, size));
        g = fe.gl.get();
        b = fe.backend();
        emu = &fe.es2->Emulation();
    }
    void TearDown() override
    {
        vornGL::PPaperDoll::m_ShaderHashEmbed = vornGL::PPaperDoll::m_ShaderNoAlphaTest =
            vornGL::PPaperDoll::m_ShaderColorTint = false;
        fe.gl.reset();
    }
    // The centre pixel, RGBA.
    std::vector<unsigned char> Centre()
    {
        auto px = ctx.Read();
        size_t at = (size_t(size / 2) * size + size / 2) * 4;
        return {px[at], px[at + 1], px[at + 2], px[at + 3]};
    }
};

// Largest per-channel difference between two RGBA images of the same size.
int MaxDifference(std::vector<unsigned char> const& a, std::vector<unsigned char> const& b);

// A scratch directory made for the test; VORNAPP_SAVEPATH points at it while
// the object lives. Removed with its files at the end.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    std::string path; // ends with '/'
};

} // namespace testes2
