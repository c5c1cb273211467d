// GLES: the OpenGL ES 1.x programming interface the engine and the game draw
// through. Entry points take 16.16 fixed-point values (the float forms convert
// and forward); enables and matrices are cached in the state manager and sent
// to the back end only when the next clear or draw needs them; viewport,
// scissor and projection are turned for a display held in a quarter-turn
// orientation; framebuffer name 0 stands for the layer's own default
// framebuffer when there is one.
//
// This header includes no GL header, so that both the OpenGL ES 1.1 and the
// OpenGL ES 2.0 users can include it.
#pragma once
#include <cstdint>

#include "gl/glbackend.h"
#include "gl/glhooks.h"
#include "gl/glstateman.h"

class PDisplay;

namespace vornGL {
// 16.16 from a float: the value times 65536 in single precision, truncated
// toward zero, saturated to 32 bits; NaN gives 0.
i32 FloatToFixed(f32 v);
// A float truncated toward zero to an integer (unscaled), saturated; NaN gives 0.
i32 FloatToInt(f32 v);
} // namespace vornGL

class GLES {
public:
    GLES();
    virtual ~GLES();
    GLES(GLES const&) = delete;
    GLES& operator=(GLES const&) = delete;

    // Takes ownership of backend; display may be null (no presentation hook).
    // 0 when the default framebuffer could not be set up.
    int Init(vornGL::P3DBackend* backend, PDisplay* display);

    vornGL::P3DBackend* GetBackend() const { return m_backend; }
    vornGL::P3DStateMan& GetStateMan() { return m_state; }
    vornGL::P3DStateMan const& GetStateMan() const { return m_state; }
    uint32_t GetDefaultFramebuffer() const { return m_defaultFramebuffer; }
    uint32_t GetColourTexture() const { return m_colourTexture; }

    // Settings passed to the back end.
    void SetOrientation(int code);
    void vornGLSetFlags(int flags);
    uint8_t vornGLHaveExtension(vornGL::VornGLExtension e);

    // Enables (cached).
    void glEnable(uint32_t cap);
    void glDisable(uint32_t cap);
    void glEnableClientState(uint32_t array);
    void glDisableClientState(uint32_t array);
    void vornGLStateUpdate(uint32_t value, uint32_t mask);

    // Clear and draw: the calls that send the cached state.
    void glClear(uint32_t mask);
    void glDrawArrays(uint32_t mode, int32_t first, int32_t count);
    void glDrawElements(uint32_t mode, int32_t count, uint32_t type, void const* indices);

    // Matrices (state manager only until the next draw).
    void glMatrixMode(uint32_t mode);
    void glLoadIdentity();
    void glLoadMatrixx(int32_t const* m);
    void glMultMatrixx(int32_t const* m);
    void glPushMatrix();
    void glPopMatrix();
    void glTranslatex(int32_t x, int32_t y, int32_t z);
    void glScalex(int32_t x, int32_t y, int32_t z);
    void glRotatex(int32_t angle, int32_t x, int32_t y, int32_t z);
    void glOrthox(int32_t l, int32_t r, int32_t b, int32_t t, int32_t n, int32_t f);
    void glFrustumx(int32_t l, int32_t r, int32_t b, int32_t t, int32_t n, int32_t f);
    void vornGLPushMatricesSetIdentity();
    void vornGLPopMatrices();
    void glGetFixedp(uint32_t pname, int32_t** out);
    void glLoadMatrixf(float const* m);
    void glMultMatrixf(float const* m);
    void glTranslatef(float x, float y, float z);
    void glScalef(float x, float y, float z);
    void glRotatef(float angle, float x, float y, float z);
    void glOrthof(float l, float r, float b, float t, float n, float f);
    void glFrustumf(float l, float r, float b, float t, float n, float f);

    // Recorded in the state manager, then forwarded.
    void glBlendFunc(uint32_t s, uint32_t d);
    void glColor4ub(uint8_t r, uint8_t g, uint8_t b, uint8_t a);
    void glColor4x(int32_t r, int32_t g, int32_t b, int32_t a);
    void glColor4f(float r, float g, float b, float a);
    void glTexEnvx(uint32_t target, uint32_t pname, int32_t param);
    void glTexEnvi(uint32_t target, uint32_t pname, int32_t param);
    void glTexEnvxv(uint32_t target, uint32_t pname, int32_t const* params);
    void glTexEnviv(uint32_t target, uint32_t pname, int32_t const* params);
    void glTexEnvf(uint32_t target, uint32_t pname, float param);
    void glTexEnvfv(uint32_t target, uint32_t pname, float const* params);
    void glTexParameterx(uint32_t target, uint32_t pname, int32_t param);
    void glTexParameteri(uint32_t target, uint32_t pname, int32_t param);
    void glTexParameterxv(uint32_t target, uint32_t pname, int32_t const* params);
    void glTexParameteriv(uint32_t target, uint32_t pname, int32_t const* params);
    void glTexParameterf(uint32_t target, uint32_t pname, float param);
    void glTexParameterfv(uint32_t target, uint32_t pname, float const* params);
    void glActiveTexture(uint32_t unit);
    void glClientActiveTexture(uint32_t unit);

    // Textures through the registry.
    void glGenTextures(int32_t n, uint32_t* names);
    void glBindTexture(uint32_t target, uint32_t name);
    void glDeleteTextures(int32_t n, uint32_t const* names);
    void glTexImage2D(uint32_t target, int32_t level, int32_t internalformat, int32_t width, int32_t height,
                      int32_t border, uint32_t format, uint32_t type, void const* pixels);
    void glCompressedTexImage2D(uint32_t target, int32_t level, uint32_t internalformat, int32_t width,
                                int32_t height, int32_t border, int32_t imageSize, void const* data);

    // One saved copy of enables, blend, colour and texture-environment mode.
    void vornGLPushState();
    void vornGLPopState();

    // Queries: matrix state from the state manager, the rest from the back end.
    void glGetIntegerv(uint32_t pname, int32_t* out);
    void glGetFixedv(uint32_t pname, int32_t* out);
    void glGetBooleanv(uint32_t pname, uint8_t* out);
    void glGetFloatv(uint32_t pname, float* out);
    uint32_t glGetError();

    // Turned for the display orientation.
    void glViewport(int32_t x, int32_t y, int32_t w, int32_t h);
    void glScissor(int32_t x, int32_t y, int32_t w, int32_t h);
    void glLightxv(uint32_t light, uint32_t pname, int32_t const* params);
    void glLightfv(uint32_t light, uint32_t pname, float const* params);
    void glBindFramebuffer(uint32_t target, uint32_t name);

    // The off-screen default framebuffer and its presentation.
    int SetupDefaultFramebuffer();
    int vornGLPresentFramebuffer();

private:
    uint32_t m_defaultFramebuffer;
    uint32_t m_colourTexture;
    vornGL::P3DStateMan m_state;
    vornGL::P3DBackend* m_backend;
    uint32_t m_renderbuffer; // depth (and stencil) storage of the default framebuffer
    PDisplay* m_display;     // the display presenting through us, told when we go
};

// The display's update callback: presents the default framebuffer of the GLES
// object it is given; 0 for null.
int display_update_cb(void* gles);
