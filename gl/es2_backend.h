// The OpenGL ES 2.0 back end. OpenGL ES 2.0 operations go straight to the
// platform's libGLESv2 (through g_gles2); OpenGL ES 1.x fixed-function
// operations go to the embedded emulation, which draws with generated GLSL
// programs. A nesting counter, 1 after construction, decides whether draws and
// integer queries take the emulation (counter above 0) or go straight to
// OpenGL ES 2.0: vornGLPopFixed lowers it, vornGLPushFixed raises it and
// returns the value before.
//
// vornGLSetFlags(flags) sets the generator's switches:
//   bit 0 (1)   grey debugging tint of every new fragment shader
//   bit 1 (2)   the hash of its key as a comment at the top of each shader
//   bit 3 (8)   lighting computed in object space
//   bit 4 (16)  every compiled shader also written out as "0x<hash>.vs"/".fs"
// and always leaves the alpha test out of new fragment shaders (bit 2 and the
// bits above 4 are ignored). The game never calls it; the switches are for
// inspecting the generator.
#pragma once

#include "gl/es2_fixedemu.h"
#include "gl/glbackend.h"

namespace vornGL {

class P3DBackendES20 : public P3DBackend {
public:
    // info: the drawing context's copy of the display properties (not owned);
    // state: the front end's state manager, which the emulation reads.
    P3DBackendES20(PDisplayProperties* info, P3DStateMan& state);
    ~P3DBackendES20() override;

#define VORNGL_ES20_DECLARE(kind, ret, name, params, args, cv) ret name params cv override;
    VORNGL_BACKEND_SLOTS(VORNGL_ES20_DECLARE)
#undef VORNGL_ES20_DECLARE

    PFixedEmu& Emulation() { return m_emu; }
    int FixedNesting() const { return m_fixed; }

private:
    PDisplayProperties* m_info;
    PFixedEmu m_emu;
    int m_orientation;
    int m_fixed;
};

// A new ES 2.0 back end for a front end (null when out of memory). For
// callers that do not want the emulation's headers.
P3DBackend* CreateBackendES20(PDisplayProperties* info, P3DStateMan& state);

} // namespace vornGL
