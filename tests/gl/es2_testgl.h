// Helpers of the OpenGL ES 2.0 back-end tests: a headless EGL context on
// Mesa (pbuffer, surfaceless platform), a tracing shim that records every
// OpenGL ES 2.0 call the back end makes and forwards it to Mesa, and a front
// end on an ES 2.0 or ES 1.1 back end.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "engine/platform/pdisplay.h"
#include "gl/es2_backend.h"
#include "gl/gles.h"

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
