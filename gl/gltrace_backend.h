// The OpenGL ES 1.1 back end that also writes what it sends to the platform
// as a GL trace (docs/formats/gltrace.md), for replaying one frame of the
// program elsewhere (tools/glreplay, the software renderer's benchmark).
//
// The trace begins with the picture the frame starts from (what the earlier
// frames left in the framebuffer, which a frame that does not clear draws
// over; left out when the frame clears the whole colour buffer before it
// draws), drawn in tiles and then undone to the context's defaults; then the
// state the earlier frames left (each setting's last value, and the textures
// the frame binds, each made again with its images and parameters); then the
// frame's own calls. Client memory a
// call reads (matrices, parameter vectors, texels, and at a draw the enabled
// vertex arrays and the indices) is written as arrays beside the call.
// Texture names are written as elements of the array a glGenTextures filled,
// so that a replay's own names serve. Queries and buffer objects are not
// written. The file is written under a temporary name and renamed when the
// frame is complete.
#pragma once
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "gl/glbackend_es11.h"

namespace vornGL {

class P3DBackendTraceES11 : public P3DBackendES11 {
public:
    // Null (and a log line) when the temporary file cannot be made. frame
    // counts presented frames from 0.
    static P3DBackendTraceES11* Create(PDisplayProperties* info, char const* path, uint32_t frame);
    ~P3DBackendTraceES11() override;

#define VORNGL_TRACE_DECLARE_C(ret, name, params, args, cv) ret name params cv override;
#define VORNGL_TRACE_DECLARE_F(ret, name, params, args, cv)
#define VORNGL_TRACE_DECLARE_N(ret, name, params, args, cv)
#define VORNGL_TRACE_DECLARE_V(ret, name, params, args, cv)
#define VORNGL_TRACE_DECLARE(kind, ret, name, params, args, cv) VORNGL_TRACE_DECLARE_##kind(ret, name, params, args, cv)
    VORNGL_BACKEND_SLOTS(VORNGL_TRACE_DECLARE)
#undef VORNGL_TRACE_DECLARE_C
#undef VORNGL_TRACE_DECLARE_F
#undef VORNGL_TRACE_DECLARE_N
#undef VORNGL_TRACE_DECLARE_V
#undef VORNGL_TRACE_DECLARE

    // Whether the trace is complete (the frame asked for was presented).
    bool Done() const { return m_done; }

    enum class Slot;

private:
    P3DBackendTraceES11(PDisplayProperties* info, std::FILE* file, std::string path, uint32_t frame);

    template <Slot S, class... A> void Note(char const* name, A... a);
    template <Slot S, class... A> void After(A... a);
    // True while calls are to be written; ends the trace once the frame asked
    // for has been presented.
    bool Live();
    void Start(bool readPicture);
    void ReadPicture();
    void NoteClear(uint32_t mask);
    void WritePicture();
    void WriteState();
    void Finish();
    std::string TempPath() const;
    void Put(char const* format, ...) __attribute__((format(printf, 2, 3)));
    template <class T> void Args(T v);
    std::string Memory(char const* type, void const* data, size_t count);
    int Object(uint32_t name);
    std::string TextureName(uint32_t name);
    void Keep(std::string key);
    void Matrix(bool load);
    void ArraysFor(uint32_t vertices);

    struct Pointer {
        int32_t size = 0;
        uint32_t type = 0;
        int32_t stride = 0;
        void const* data = nullptr;
        bool enabled = false;
    };
    enum { kVertex, kColour, kNormal, kTexCoord0, kTexCoord1, kPointers };

    // A texture object: how the trace names it, and before the traced frame
    // the calls that make it, its images and its parameters.
    struct Texture {
        std::string ref;
        std::string made;
        std::vector<std::string> uploads;
        std::map<uint32_t, std::string> params;
        bool alive = true;
        bool used = false; // bound in the traced frame
    };

    std::FILE* m_file;
    std::string m_path;
    uint32_t m_frame;
    uint32_t m_presented; // frames presented when the trace started
    bool m_started;       // the state before the frame is written
    bool m_done;
    uint32_t m_arrays;
    uint64_t m_sequence;
    int32_t m_unpackAlignment;
    uint32_t m_unit;       // active texture unit, 0 or 1
    uint32_t m_clientUnit; // active client texture unit, 0 or 1
    uint32_t m_matrixMode;
    int m_bound[2]; // texture object bound on each unit, -1 for none
    // The units, bindings and matrix mode when the traced frame began.
    int m_startBound[2];
    uint32_t m_startUnit, m_startClientUnit, m_startMatrixMode;
    Pointer m_pointers[kPointers];
    std::string m_out;       // the text of the current call
    std::string m_frameText; // the traced frame's calls
    std::vector<Texture> m_objects;
    std::map<uint32_t, int> m_names; // texture name -> object
    std::string m_generated;         // array of the glGenTextures being made
    // Before the traced frame: each setting's last call, with its order.
    std::map<std::string, std::pair<uint64_t, std::string>> m_state;
    std::map<uint32_t, std::string> m_matrices; // calls on each matrix since its last load
    // The framebuffer as the traced frame began, rows bottom first, RGBA.
    std::unique_ptr<uint8_t[]> m_picture;
    int32_t m_pictureW, m_pictureH;
    bool m_drawn;         // the traced frame has drawn
    bool m_pictureHidden; // and before that cleared the whole colour buffer
};

// The back end the program draws with on OpenGL ES 1.1: a tracing one when
// the environment asks for it (KRV_GL_TRACE=FILE, KRV_GL_TRACE_FRAME=N, the
// frame counted from 0, default 0), else the plain one. Null without memory.
P3DBackend* MakeES11Backend(PDisplayProperties* info);

} // namespace vornGL
