// The displays on EGL: PDisplayEGL holds the EGL display, config, context and
// surface; PRimDisplay adds the platform window, the orientation, the
// optional off-screen framebuffer size and the touch conversion.
#pragma once
#include <cstdint>

#include "engine/platform/pdisplay.h"

namespace host {
struct Window;
}

// Surface kinds (the EGL surface-type bits).
enum { PSURFACE_PBUFFER = 1, PSURFACE_WINDOW = 4 };

class PDisplayEGL : public PDisplay {
public:
    PDisplayEGL();
    ~PDisplayEGL() override;

    PBackBuffer* GetBackBuffer(PBackBufferType) override { return nullptr; }
    void Update(int finish) override;
    void WaitVerticalBlank() override {}
    void GetInfo(PDisplayProperties& props) override;
    int Activate(int on) override;
    int ReConfigure(void* window) override;
    int GetType() override { return m_graphicsType; }
    int Begin() override { return m_current; }
    void End() override {}

    // Sets EGL up on window (null: an off-screen pbuffer); 1 on success.
    int Init(void* window, int depth, PDisplayProperties* request, PDisplayProperties3D* request3D);
    static PDisplayEGL* Create(void* window, int depth, PDisplayProperties* request,
                               PDisplayProperties3D* request3D);
    void GetInfo3D(PDisplayProperties3D& props3D);
    int MakeCurrent();
    void CloseEGL();

    // Size of the pbuffer made when there is no window.
    void SetPbufferSize(int width, int height);

    int32_t m_graphicsType = PGRAPHICS_GLES1;
    void* m_eglDisplay = nullptr;
    void* m_eglSurface = nullptr;
    void* m_eglContext = nullptr;
    void* m_eglConfig = nullptr;
    PDisplayProperties3D m_request3D = {};
    int32_t m_colorDepth = 16;
    int32_t m_current = 0;
    int32_t m_surfaceKind = PSURFACE_WINDOW;
    int32_t m_attribs[32] = {};
    void* m_window = nullptr;

protected:
    int CreateContext();
    int CreateSurface();
    int32_t m_pbufferWidth = 480;
    int32_t m_pbufferHeight = 854;
};

class PRimDisplay : public PDisplayEGL {
public:
    // Makes the platform window: format RGBA8888 with alpha, RGBX8888 when the
    // request asks for 8 red bits or more, else RGB565; kind 1 OpenGL ES 1,
    // 2 OpenGL ES 2.
    PRimDisplay(int kind, int alpha, PDisplayProperties* request);
    ~PRimDisplay() override;

    void Update(int finish) override;
    void GetInfo(PDisplayProperties& props) override;
    int GetCurrentOrientation() override { return m_orientation; }
    int SetOrientation(PDisplayOrientations orientation) override;
    void SetUpdateCallback(int (*callback)(void*)) override { m_updateCallback = callback; }
    void SetGLES(void* gles) override { m_gles = gles; }
    void SkipFBO(unsigned char skip) override { m_skipFbo = skip; }
    void ConvertPos(int& x, int& y) override;

    // Works out the off-screen framebuffer size from the request.
    void InitFbo(PDisplayProperties* request);
    // The native window for EGL (null when the host has no window).
    void* NativeWindow() const;

    host::Window* m_screenWindow = nullptr;
    int32_t m_orientation = PDISPLAY_ORIENT_NORMAL;
    int (*m_updateCallback)(void*) = nullptr;
    int32_t m_screenWidth = 0;
    int32_t m_screenHeight = 0;
    int32_t m_fbWidth = 0;
    int32_t m_fbHeight = 0;
    uint8_t m_fbFlags = 0;
    uint8_t m_skipFbo = 0;
    void* m_gles = nullptr;
};

// The graphics-type-0 display: an RGB565 back buffer in memory that the host
// presents (a window on the desktop, PNG files headless).
class PSoftDisplay : public PDisplay {
public:
    ~PSoftDisplay() override;
    static PSoftDisplay* Create(int width, int height);

    PBackBuffer* GetBackBuffer(PBackBufferType type) override;
    void Update(int finish) override;
    void WaitVerticalBlank() override {}
    void GetInfo(PDisplayProperties& props) override;
    int GetType() override { return PGRAPHICS_SOFTWARE; }
    int GetCurrentOrientation() override { return m_orientation; }
    int SetOrientation(PDisplayOrientations orientation) override;
    void ConvertPos(int& x, int& y) override;
    bool SetBeforePresent(void (*hook)(void*), void* user) override
    {
        m_beforePresent = hook;
        m_beforePresentUser = user;
        return true;
    }

private:
    PSoftDisplay() = default;
    PBackBuffer m_buffer = {};
    void (*m_beforePresent)(void*) = nullptr;
    void* m_beforePresentUser = nullptr;
    host::Window* m_screenWindow = nullptr;
    int32_t m_orientation = PDISPLAY_ORIENT_NORMAL;
};
