// Drawing contexts for the tests: on a recording back end (every GL call as
// text) and on Mesa's OpenGL ES 1.1 through a headless EGL pbuffer, with
// read-back of the drawn pixels.
#pragma once
#ifndef EGL_NO_X11
#define EGL_NO_X11
#endif
#include <EGL/egl.h>
#include <GLES/gl.h>
#include <GLES/glext.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/graphics/p3d.h"
#include "engine/platform/pdisplayegl.h"
#include "gl/recording_backend.h"

namespace p3dtest {

// A display that only reports what the drawing context asks of it.
class FakeDisplay : public PDisplay {
public:
    FakeDisplay(int w, int h, int type = PGRAPHICS_GLES1) : width(w), height(h), type(type) {}
    PBackBuffer* GetBackBuffer(PBackBufferType) override { return nullptr; }
    void Update(int) override {}
    void WaitVerticalBlank() override {}
    void GetInfo(PDisplayProperties& p) override
    {
        std::memset(&p, 0, sizeof p);
        p.width = p.screenWidth = width;
        p.height = p.screenHeight = height;
        p.fbWidth = fbWidth;
        p.fbHeight = fbHeight;
    }
    int GetType() override { return type; }
    int GetCurrentOrientation() override { return orientation; }
    int width, height, type;
    int orientation = 1;
    int fbWidth = 0, fbHeight = 0;
};

// A drawing context on a recording back end.
struct Recorded {
    FakeDisplay display;
    testgl::RecordingBackend* rec = nullptr;
    P3D* ctx = nullptr;
    int maxTextureSize = 256;
    std::string extensions; // the GL_EXTENSIONS the recorder reports

    Recorded(int w = 640, int h = 480, int maxTex = 256) : display(w, h), maxTextureSize(maxTex) {}
    ~Recorded() { delete ctx; }

    static vornGL::P3DBackend* Make(PDisplayProperties* info, void* user)
    {
        auto* self = static_cast<Recorded*>(user);
        self->rec = new testgl::RecordingBackend(1, info);
        self->rec->extensions = self->extensions;
        self->rec->integers[GL_MAX_TEXTURE_SIZE] = {self->maxTextureSize};
        self->rec->integers[GL_MAX_TEXTURE_UNITS] = {2};
        return self->rec;
    }
    bool Create()
    {
        ctx = P3D::Create(&display, nullptr, &Make, this);
        if (!ctx)
            rec = nullptr; // deleted with the failed context
        if (rec)
            rec->Clear();
        return ctx != nullptr;
    }
};

// A drawing context on Mesa's OpenGL ES 1.1 in a w x h pbuffer. The EGL
// displays live to the end of the process (one per size): Mesa keeps blocks
// from its set-up past eglTerminate, which the leak checker would report.
// A drawing context assumes the GL defaults of a new GL context, as the
// program's one context has them, so a display that no drawing context uses
// any more gets a new GL context for the next one: the old one keeps
// whatever the last drawing left enabled (blending, depth and alpha tests).
// Drawing contexts of one size that live at the same time share one.
struct Mesa {
    PDisplayEGL* display = nullptr;
    P3D* ctx = nullptr;
    int w, h;

    struct KeptDisplay : PDisplayEGL {
        int users = 0;
        // The GL context made again on the kept surface.
        bool Renew()
        {
            EGLDisplay dpy = static_cast<EGLDisplay>(m_eglDisplay);
            eglMakeCurrent(dpy, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
            m_current = 0;
            if (m_eglContext)
                eglDestroyContext(dpy, static_cast<EGLContext>(m_eglContext));
            m_eglContext = nullptr;
            return CreateContext() && MakeCurrent();
        }
    };

    static KeptDisplay* Display(int w, int h)
    {
        static auto& displays = *new std::vector<std::pair<long, KeptDisplay*>>();
        long key = long(w) << 16 | h;
        for (auto& d : displays)
            if (d.first == key) {
                KeptDisplay* kept = d.second;
                if (kept->users > 0 ? !kept->MakeCurrent() : !kept->Renew())
                    return nullptr;
                return kept;
            }
        auto* d = new KeptDisplay();
        d->m_surfaceKind = PSURFACE_PBUFFER;
        d->SetPbufferSize(w, h);
        PDisplayProperties req{};
        req.redBits = 8;
        PDisplayProperties3D r3{};
        r3.depthBits = 24;
        r3.alphaBits = 8; // 8 bits a channel (10-bit configurations have 2 alpha bits)
        r3.version = 11;
        if (!d->Init(nullptr, 32, &req, &r3))
            return nullptr;
        displays.emplace_back(key, d);
        return d;
    }

    Mesa(int width, int height) : w(width), h(height)
    {
        KeptDisplay* kept = Display(w, h);
        display = kept;
        if (kept) {
            kept->users++;
            ctx = P3D::Create(display, nullptr);
        }
    }
    ~Mesa()
    {
        delete ctx;
        if (display)
            static_cast<KeptDisplay*>(display)->users--;
    }
    Mesa(const Mesa&) = delete;
    Mesa& operator=(const Mesa&) = delete;
    bool Ok() const { return ctx != nullptr; }

    // The frame as RGBA bytes, top row first.
    std::vector<uint8_t> Read() const
    {
        std::vector<uint8_t> up(size_t(w) * h * 4), down(up.size());
        glFinish();
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, up.data());
        for (int y = 0; y < h; ++y)
            std::memcpy(&down[size_t(y) * w * 4], &up[size_t(h - 1 - y) * w * 4], size_t(w) * 4);
        return down;
    }
    // 0xRRGGBB of pixel (x, y) of a frame from Read.
    uint32_t At(const std::vector<uint8_t>& f, int x, int y) const
    {
        const uint8_t* p = &f[(size_t(y) * w + x) * 4];
        return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
    }
};

} // namespace p3dtest
