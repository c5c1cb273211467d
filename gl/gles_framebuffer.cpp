// The default off-screen framebuffer: every frame is drawn into a framebuffer
// object with a colour texture, which the display's update callback copies to
// the window surface with one full-screen textured quad before the swap.
#include "gl/gles.h"

#include "engine/platform/pdisplay.h"
#include "engine/runtime/pdebug.h"

#include <GLES/gl.h>
#include <GLES/glext.h>

using namespace vornGL;

namespace {

constexpr u32 kCurrentProgram = 0x8B8D; // GL_CURRENT_PROGRAM of OpenGL ES 2.0

u32 s_blitShader = 0;

char const kBlitVertexShader[] =
    "attribute highp vec4 attribPos;\nattribute mediump vec2 attribUV0;\nvarying mediump vec2 varUV0;\n"
    "void main() {\ngl_Position = attribPos;\nvarUV0 = attribUV0;\n}";
char const kBlitFragmentShader[] =
    "uniform lowp sampler2D uniTexture0;\nvarying mediump vec2 varUV0;\nvoid main() {\n"
    "gl_FragColor = texture2D(uniTexture0, varUV0);\n}";

// Full-screen quad as a triangle strip: x, y, z, s, t in 16.16 (stride 20).
i32 s_quad[20] = {
    -0x10000, 0x10000,  0, 0,       0x10000, //
    -0x10000, -0x10000, 0, 0,       0,       //
    0x10000,  0x10000,  0, 0x10000, 0x10000, //
    0x10000,  -0x10000, 0, 0x10000, 0,       //
};

i32 PowerOfTwoAtLeast(i32 v)
{
    i32 p = 1;
    while (p < v && p < (1 << 30))
        p <<= 1;
    return p;
}

// The caps the blit must not see, in the order they are switched off.
constexpr u32 kBlitCaps[] = {GL_CULL_FACE, GL_BLEND, GL_DEPTH_TEST, GL_STENCIL_TEST, GL_ALPHA_TEST,
                             GL_FOG, GL_COLOR_LOGIC_OP};
constexpr int kBlitCapCount = sizeof kBlitCaps / sizeof kBlitCaps[0];

// One client array's full state.
struct ArrayState {
    i32 enabled = 0, buffer = 0, size = 4, stride = 0, type = GL_FLOAT;
    void* pointer = nullptr;
};

void SaveArray(P3DBackend* b, ArrayState& a, u32 cap, u32 bufferQ, u32 pointerQ, u32 sizeQ, u32 strideQ,
               u32 typeQ)
{
    b->glGetIntegerv(cap, &a.enabled);
    b->glGetIntegerv(bufferQ, &a.buffer);
    b->glGetPointerv(pointerQ, &a.pointer);
    b->glGetIntegerv(sizeQ, &a.size);
    b->glGetIntegerv(strideQ, &a.stride);
    b->glGetIntegerv(typeQ, &a.type);
}

} // namespace

int GLES::SetupDefaultFramebuffer()
{
    P3DBackend* b = m_backend;
    glGetError();
    int api = b->vornGLGetAPI();
    if (api == kAPISoftware)
        return 0;
    if (api == kAPIES11 && !HaveExtension(VornGLExtFramebufferObject))
        return 0;
    if (api == kAPIES20)
        s_blitShader = b->vornGLCreateCustomShader(kBlitVertexShader, kBlitFragmentShader);

    PDisplayProperties const* info = b->vornGLGetDispInfo();
    if (!info || info->fbWidth <= 0 || info->fbHeight <= 0)
        return 0;
    i32 W = info->fbWidth, H = info->fbHeight;

    i32 red = 0, green = 0, blue = 0, alpha = 0, depth = 0, stencil = 0;
    glGetIntegerv(GL_RED_BITS, &red);
    glGetIntegerv(GL_GREEN_BITS, &green);
    glGetIntegerv(GL_BLUE_BITS, &blue);
    glGetIntegerv(GL_ALPHA_BITS, &alpha);
    glGetIntegerv(GL_DEPTH_BITS, &depth);
    glGetIntegerv(GL_STENCIL_BITS, &stencil);

    b->glGenFramebuffers(1, &m_defaultFramebuffer);
    if (m_defaultFramebuffer == 0) {
        _PDebug("GL: no framebuffer object for the default framebuffer\n");
        return 0;
    }
    glBindFramebuffer(GL_FRAMEBUFFER_OES, m_defaultFramebuffer);

    u32 format = GL_RGB, type = GL_UNSIGNED_BYTE;
    if (red == 5 && green == 6 && blue == 5) {
        type = GL_UNSIGNED_SHORT_5_6_5;
    } else if (red == 5 && green == 5 && blue == 5 && alpha == 1) {
        format = GL_RGBA;
        type = GL_UNSIGNED_SHORT_5_5_5_1;
    }

    glEnable(GL_TEXTURE_2D);
    b->glGenTextures(1, &m_colourTexture);
    b->glBindTexture(GL_TEXTURE_2D, m_colourTexture);
    i32 filter = info->fbFlags ? GL_LINEAR : GL_NEAREST;
    b->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
    b->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);

    glGetError();
    b->glTexImage2D(GL_TEXTURE_2D, 0, static_cast<i32>(format), W, H, 0, format, type, nullptr);
    i32 PW = W, PH = H;
    if (glGetError() != 0) {
        // Sizes that are not powers of two refused: a power-of-two texture
        // with the quad's texture coordinates scaled to the used part.
        PW = PowerOfTwoAtLeast(W);
        PH = PowerOfTwoAtLeast(H);
        b->glTexImage2D(GL_TEXTURE_2D, 0, static_cast<i32>(format), PW, PH, 0, format, type, nullptr);
        glGetError();
    }
    i32 sScale = static_cast<i32>((int64_t(W) << 16) / PW);
    i32 tScale = static_cast<i32>((int64_t(H) << 16) / PH);
    for (int v = 0; v < 4; ++v) {
        if (s_quad[5 * v + 3] != 0)
            s_quad[5 * v + 3] = sScale;
        if (s_quad[5 * v + 4] != 0)
            s_quad[5 * v + 4] = tScale;
    }

    b->glFramebufferTexture2D(GL_FRAMEBUFFER_OES, GL_COLOR_ATTACHMENT0_OES, GL_TEXTURE_2D, m_colourTexture, 0);
    m_state.glBindTexture(GL_TEXTURE_2D, 0);
    glGetError();

    b->glGenRenderbuffers(1, &m_renderbuffer);
    b->glBindRenderbuffer(GL_RENDERBUFFER_OES, m_renderbuffer);
    if (depth == 24 && stencil == 8 && HaveExtension(VornGLExtPackedDepthStencil)) {
        b->glRenderbufferStorage(GL_RENDERBUFFER_OES, GL_DEPTH24_STENCIL8_OES, PW, PH);
        glGetError();
        b->glFramebufferRenderbuffer(GL_FRAMEBUFFER_OES, GL_DEPTH_ATTACHMENT_OES, GL_RENDERBUFFER_OES,
                                     m_renderbuffer);
        b->glFramebufferRenderbuffer(GL_FRAMEBUFFER_OES, GL_STENCIL_ATTACHMENT_OES, GL_RENDERBUFFER_OES,
                                     m_renderbuffer);
    } else {
        b->glRenderbufferStorage(GL_RENDERBUFFER_OES, GL_DEPTH_COMPONENT16_OES, PW, PH);
        glGetError();
        b->glFramebufferRenderbuffer(GL_FRAMEBUFFER_OES, GL_DEPTH_ATTACHMENT_OES, GL_RENDERBUFFER_OES,
                                     m_renderbuffer);
    }
    b->glBindRenderbuffer(GL_RENDERBUFFER_OES, 0);

    if (b->glCheckFramebufferStatus(GL_FRAMEBUFFER_OES) == GL_FRAMEBUFFER_COMPLETE_OES)
        return 1;

    _PDebug("GL: the default framebuffer (%d x %d) is incomplete; drawing to the window\n", W, H);
    b->glDeleteFramebuffers(1, &m_defaultFramebuffer);
    m_defaultFramebuffer = 0;
    b->glBindFramebuffer(GL_FRAMEBUFFER_OES, 0);
    // Nothing uses them again.
    if (m_renderbuffer)
        b->glDeleteRenderbuffers(1, &m_renderbuffer);
    m_renderbuffer = 0;
    if (m_colourTexture)
        b->glDeleteTextures(1, &m_colourTexture);
    m_colourTexture = 0;
    return 0;
}

int GLES::vornGLPresentFramebuffer()
{
    if (m_defaultFramebuffer == 0 || m_colourTexture == 0)
        return 0;
    P3DBackend* b = m_backend;
    int wasFixed = b->vornGLPushFixed();
    int api = b->vornGLGetAPI();

    // Viewport, scissor box and matrix mode as the back end holds them, so
    // that they come back exactly (already turned for the orientation).
    i32 viewport[4] = {0, 0, -1, -1}, scissor[4] = {0, 0, -1, -1}, matrixMode = GL_MODELVIEW;
    b->glGetIntegerv(GL_VIEWPORT, viewport);
    b->glGetIntegerv(GL_SCISSOR_BOX, scissor);
    b->glGetIntegerv(GL_MATRIX_MODE, &matrixMode);

    PDisplayProperties const* info = b->vornGLGetDispInfo();
    i32 sw = info ? info->screenWidth : 0, sh = info ? info->screenHeight : 0;
    b->glViewport(0, 0, sw, sh);
    b->glScissor(0, 0, sw, sh);

    b->glMatrixMode(GL_MODELVIEW);
    b->glPushMatrix();
    b->glLoadIdentity();
    b->glMatrixMode(GL_PROJECTION);
    b->glPushMatrix();
    b->glLoadIdentity();

    b->glBindFramebuffer(GL_FRAMEBUFFER_OES, 0);

    i32 capOn[kBlitCapCount] = {};
    for (int i = 0; i < kBlitCapCount; ++i)
        b->glGetIntegerv(kBlitCaps[i], &capOn[i]);
    i32 activeTexture = GL_TEXTURE0, clientActiveTexture = GL_TEXTURE0;
    b->glGetIntegerv(GL_ACTIVE_TEXTURE, &activeTexture);
    b->glGetIntegerv(GL_CLIENT_ACTIVE_TEXTURE, &clientActiveTexture);
    // Everything below works on unit 0, so its state is what is saved.
    if (activeTexture != GL_TEXTURE0)
        b->glActiveTexture(GL_TEXTURE0);
    if (clientActiveTexture != GL_TEXTURE0)
        b->glClientActiveTexture(GL_TEXTURE0);
    i32 texture2D = 0, binding = 0, arrayBuffer = 0, normalArray = 0, colourArray = 0;
    b->glGetIntegerv(GL_TEXTURE_2D, &texture2D);
    b->glGetIntegerv(GL_TEXTURE_BINDING_2D, &binding);
    b->glGetIntegerv(GL_NORMAL_ARRAY, &normalArray);
    b->glGetIntegerv(GL_COLOR_ARRAY, &colourArray);
    b->glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &arrayBuffer);
    ArrayState vertex, texcoord;
    SaveArray(b, vertex, GL_VERTEX_ARRAY, GL_VERTEX_ARRAY_BUFFER_BINDING, GL_VERTEX_ARRAY_POINTER,
              GL_VERTEX_ARRAY_SIZE, GL_VERTEX_ARRAY_STRIDE, GL_VERTEX_ARRAY_TYPE);
    SaveArray(b, texcoord, GL_TEXTURE_COORD_ARRAY, GL_TEXTURE_COORD_ARRAY_BUFFER_BINDING,
              GL_TEXTURE_COORD_ARRAY_POINTER, GL_TEXTURE_COORD_ARRAY_SIZE, GL_TEXTURE_COORD_ARRAY_STRIDE,
              GL_TEXTURE_COORD_ARRAY_TYPE);

    for (int i = 0; i < kBlitCapCount; ++i)
        if (capOn[i])
            b->glDisable(kBlitCaps[i]);
    if (!texture2D)
        b->glEnable(GL_TEXTURE_2D);
    b->glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    b->glBindTexture(GL_TEXTURE_2D, m_colourTexture);

    u32 savedProgram = 0;
    if (api == kAPIES20) {
        if (wasFixed) {
            savedProgram = b->vornGLGetCustomShaderIndex();
        } else {
            i32 program = 0;
            b->glGetIntegerv(kCurrentProgram, &program);
            savedProgram = static_cast<u32>(program);
        }
        b->vornGLSetCustomShader(0);
        b->vornGLSetCustomShader(s_blitShader);
    }

    if (!vertex.enabled)
        b->glEnableClientState(GL_VERTEX_ARRAY);
    if (!texcoord.enabled)
        b->glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    if (normalArray)
        b->glDisableClientState(GL_NORMAL_ARRAY);
    if (colourArray)
        b->glDisableClientState(GL_COLOR_ARRAY);
    // The quad is client memory: no array buffer may be bound while it is set.
    if (arrayBuffer)
        b->glBindBuffer(GL_ARRAY_BUFFER, 0);
    b->glVertexPointer(3, GL_FIXED, 20, s_quad);
    b->glTexCoordPointer(2, GL_FIXED, 20, s_quad + 3);
    b->glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);

    if (api == kAPIES20) {
        if (wasFixed)
            b->vornGLSetCustomShader(savedProgram);
        else
            b->glUseProgram(savedProgram);
    }

    // Both arrays get their pointers back (from their own buffers), enabled
    // or not, so that nothing of the caller's array state changes.
    auto restoreArray = [b](ArrayState const& a, u32 cap, bool vertexArray) {
        b->glBindBuffer(GL_ARRAY_BUFFER, static_cast<u32>(a.buffer));
        if (vertexArray)
            b->glVertexPointer(a.size, static_cast<u32>(a.type), a.stride, a.pointer);
        else
            b->glTexCoordPointer(a.size, static_cast<u32>(a.type), a.stride, a.pointer);
        if (!a.enabled)
            b->glDisableClientState(cap);
    };
    restoreArray(vertex, GL_VERTEX_ARRAY, true);
    restoreArray(texcoord, GL_TEXTURE_COORD_ARRAY, false);
    b->glBindBuffer(GL_ARRAY_BUFFER, static_cast<u32>(arrayBuffer));
    if (normalArray)
        b->glEnableClientState(GL_NORMAL_ARRAY);
    if (colourArray)
        b->glEnableClientState(GL_COLOR_ARRAY);

    // Unit 0 gets back its texture environment (as cached), binding and enable.
    if (api == kAPIES11)
        b->glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, static_cast<i32>(m_state.Unit(0).envMode));
    b->glBindTexture(GL_TEXTURE_2D, static_cast<u32>(binding));
    if (!texture2D)
        b->glDisable(GL_TEXTURE_2D);
    if (activeTexture != GL_TEXTURE0)
        b->glActiveTexture(static_cast<u32>(activeTexture));
    if (clientActiveTexture != GL_TEXTURE0)
        b->glClientActiveTexture(static_cast<u32>(clientActiveTexture));

    if (viewport[2] >= 0 && viewport[3] >= 0) {
        b->glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
    } else {
        PRect vp = m_state.GetViewport();
        int32_t H = info ? info->height : 0;
        glViewport(vp.x, H - vp.y - vp.height, vp.width, vp.height);
    }
    if (scissor[2] >= 0 && scissor[3] >= 0) {
        b->glScissor(scissor[0], scissor[1], scissor[2], scissor[3]);
    } else {
        PRect vp = m_state.GetViewport();
        int32_t H = info ? info->height : 0;
        glScissor(vp.x, H - vp.y - vp.height, vp.width, vp.height);
    }

    b->glMatrixMode(GL_PROJECTION);
    b->glPopMatrix();
    b->glMatrixMode(GL_MODELVIEW);
    b->glPopMatrix();
    if (matrixMode != GL_MODELVIEW)
        b->glMatrixMode(static_cast<u32>(matrixMode));

    for (int i = 0; i < kBlitCapCount; ++i)
        if (capOn[i])
            b->glEnable(kBlitCaps[i]);

    b->vornGLPopFixed();
    return 1;
}
