// An OpenGL ES 1.1 context (2.0 with version 2) on an off-screen EGL pbuffer
// (EGL_PLATFORM may be "surfaceless"): RGB 8-8-8 without alpha, 24-bit depth,
// 8-bit stencil; or RGB 5-6-5 with a 16-bit depth buffer.
#pragma once

namespace glreplay {

class EglPbuffer {
public:
    EglPbuffer() = default;
    ~EglPbuffer();
    EglPbuffer(EglPbuffer const&) = delete;
    EglPbuffer& operator=(EglPbuffer const&) = delete;

    // Makes the context current on a width x height pbuffer; false (with a
    // message in error) when EGL cannot.
    bool Create(int width, int height, char const** error, bool rgb565 = false, int version = 1);
    void Destroy();
    void Swap();
    int Width() const { return m_width; }
    int Height() const { return m_height; }

private:
    void* m_display = nullptr;
    void* m_surface = nullptr;
    void* m_context = nullptr;
    int m_width = 0, m_height = 0;
};

} // namespace glreplay
