// A GL back end that draws nothing: every slot does nothing and answers 0,
// except the few a drawing context needs (API, display record, texture names,
// the maximum texture size and the extension string). The drawing benchmarks
// measure the engine's own CPU work over it, and the fuzz targets of the
// texture files load through it.
#pragma once
#include <cstring>
#include <string>

#include "engine/graphics/p3d.h"
#include "gl/glbackend.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"

namespace nullgl {

class NullBase : public vornGL::P3DBackend {
public:
    using u32 = vornGL::u32;
    using i32 = vornGL::i32;
    using u8 = vornGL::u8;
    using f32 = vornGL::f32;
    using PGLShaderUniformValue = vornGL::PGLShaderUniformValue;
#define NULLGL_SLOT(kind, ret, name, params, args, cv) \
    ret name params cv override { return vornGL::SlotZero<ret>(); }
    VORNGL_BACKEND_SLOTS(NULLGL_SLOT)
#undef NULLGL_SLOT
};

class NullBackend : public NullBase {
public:
    explicit NullBackend(PDisplayProperties* info, const char* ext = "") : m_info(info), m_ext(ext) {}
    int vornGLGetAPI() const override { return vornGL::kAPIES11; }
    PDisplayProperties* vornGLGetDispInfo() const override { return m_info; }
    void glGenTextures(vornGL::i32 n, vornGL::u32* names) override
    {
        for (vornGL::i32 i = 0; names && i < n; ++i)
            names[i] = ++m_next;
    }
    void glGetIntegerv(vornGL::u32 pname, vornGL::i32* out) override
    {
        if (out)
            *out = pname == 0x0D33 ? 2048 : pname == 0x84E2 ? 2 : 0; // MAX_TEXTURE_SIZE, MAX_TEXTURE_UNITS
    }
    const vornGL::u8* glGetString(vornGL::u32 name) override
    {
        return name == 0x1F03 ? reinterpret_cast<const vornGL::u8*>(m_ext.c_str()) : nullptr;
    }

private:
    PDisplayProperties* m_info;
    std::string m_ext;
    vornGL::u32 m_next = 0;
};

// A display that only reports its size.
class NullDisplay : public PDisplay {
public:
    NullDisplay(int w, int h) : m_w(w), m_h(h) {}
    PBackBuffer* GetBackBuffer(PBackBufferType) override { return nullptr; }
    void Update(int) override {}
    void WaitVerticalBlank() override {}
    void GetInfo(PDisplayProperties& p) override
    {
        std::memset(&p, 0, sizeof p);
        p.width = p.screenWidth = m_w;
        p.height = p.screenHeight = m_h;
    }
    int GetType() override { return PGRAPHICS_GLES1; }

private:
    int m_w, m_h;
};

// A drawing context over a null back end offering every compressed format.
inline P3D* CreateContext(PDisplay* display)
{
    return P3D::Create(
        display, nullptr,
        [](PDisplayProperties* info, void*) -> vornGL::P3DBackend* {
            return new NullBackend(info, "GL_IMG_texture_compression_pvrtc GL_AMD_compressed_ATC_texture "
                                         "GL_OES_compressed_ETC1_RGB8_texture");
        },
        nullptr);
}

} // namespace nullgl

#pragma GCC diagnostic pop
