// The OpenGL ES 1.1 back end: every GL operation is one call into the
// platform's libGLESv1_CM with the same arguments; the OpenGL ES 2.0
// framebuffer operations go to the OES framebuffer-object extension when it is
// there; every other OpenGL ES 2.0 operation does nothing.
#pragma once

#include "gl/glbackend.h"

namespace vornGL {

class P3DBackendES11 : public P3DBackend {
public:
    // info: the drawing context's copy of the display properties (not owned;
    // its first two words are the drawing width and height).
    explicit P3DBackendES11(PDisplayProperties* info);
    ~P3DBackendES11() override;

#define VORNGL_ES11_DECLARE(kind, ret, name, params, args, cv) ret name params cv override;
    VORNGL_BACKEND_SLOTS(VORNGL_ES11_DECLARE)
#undef VORNGL_ES11_DECLARE

private:
    PDisplayProperties* m_info;
    int m_orientation;
};

} // namespace vornGL
