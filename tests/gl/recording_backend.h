// A back end that records every call it receives as text ("glViewport(0, 0,
// 600, 1024)") and answers queries from tables the test fills in. Generated
// from the same slot table as the interface.
#pragma once
#include <array>
#include <cstdio>
#include <deque>
#include <map>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

#include "engine/platform/pdisplay.h"
#include "gl/glbackend.h"

namespace testgl {

inline void PutArg(std::string& s, long long v) { s += std::to_string(v); }
inline void PutArg(std::string& s, unsigned long long v) { s += std::to_string(v); }
inline void PutArg(std::string& s, double v)
{
    char b[32];
    std::snprintf(b, sizeof b, "%g", v);
    s += b;
}
inline void PutArg(std::string& s, void const* p)
{
    char b[32];
    if (p)
        std::snprintf(b, sizeof b, "%p", p);
    else
        std::snprintf(b, sizeof b, "null");
    s += b;
}

template <class T> void Put(std::string& s, T const& v)
{
    if constexpr (std::is_floating_point_v<T>)
        PutArg(s, double(v));
    else if constexpr (std::is_integral_v<T> && std::is_signed_v<T>)
        PutArg(s, static_cast<long long>(v));
    else if constexpr (std::is_integral_v<T>)
        PutArg(s, static_cast<unsigned long long>(v));
    else if constexpr (std::is_pointer_v<T>)
        PutArg(s, static_cast<void const*>(v));
    else
        s += "&";
}

// "name(a, b, c)" with the arguments formatted as the recorder does.
template <class... A> std::string Call(char const* name, A const&... args)
{
    std::string s = name;
    s += '(';
    bool first = true;
    ((s += first ? "" : ", ", Put(s, args), first = false), ...);
    s += ')';
    return s;
}

// Every slot records itself and returns a zero result.
class RecordingBase : public vornGL::P3DBackend {
public:
    using u32 = vornGL::u32;
    using i32 = vornGL::i32;
    using u8 = vornGL::u8;
    using f32 = vornGL::f32;
    using PGLShaderUniformValue = vornGL::PGLShaderUniformValue;

    mutable std::vector<std::string> calls;

    template <class... A> void Log(char const* name, std::tuple<A...> const& t) const
    {
        calls.push_back(std::apply([name](auto const&... a) { return Call(name, a...); }, t));
    }

#define TESTGL_RECORD(kind, ret, name, params, args, cv) \
    ret name params cv override                           \
    {                                                     \
        Log(#name, std::forward_as_tuple args);           \
        return vornGL::SlotZero<ret>();                                     \
    }
    VORNGL_BACKEND_SLOTS(TESTGL_RECORD)
#undef TESTGL_RECORD
};

// The recorder with the answers a front end needs: API number, orientation,
// display record, integer queries, generated names, errors, extensions.
class RecordingBackend : public RecordingBase {
public:
    explicit RecordingBackend(int api = 1, PDisplayProperties* info = nullptr);

    int api;
    int orientation = 1;
    PDisplayProperties* info;
    std::map<u32, std::vector<i32>> integers; // glGetIntegerv answers
    std::string extensions;
    std::deque<u32> errors;                   // glGetError answers, then 0
    u32 nextTexture = 1, nextBuffer = 1;
    u32 framebufferStatus = 0x8CD5;           // complete
    std::vector<std::array<i32, 16>> loaded;  // matrices given to glLoadMatrixx
    int pushFixed = 0;                        // what vornGLPushFixed returns, then adds 1 when counting
    bool countFixed = false;
    u32 customShader = 0;

    // Calls recorded since the last Clear, and housekeeping.
    void Clear() { calls.clear(); loaded.clear(); }
    size_t Count(std::string const& prefix) const;
    std::string Joined() const;
    // Calls whose names start with prefix, in order.
    std::vector<std::string> Only(std::string const& prefix) const;

    int vornGLGetAPI() const override;
    void vornGLSetOrientation(int code) override;
    int vornGLGetOrientation() const override;
    PDisplayProperties* vornGLGetDispInfo() const override;
    int vornGLPushFixed() override;
    void vornGLPopFixed() override;
    u32 vornGLCreateCustomShader(char const* vs, char const* fs) override;
    u32 vornGLGetCustomShaderIndex() const override;
    void glGetIntegerv(u32 pname, i32* data) override;
    u8 const* glGetString(u32 name) override;
    void glGenTextures(i32 n, u32* names) override;
    void glGenFramebuffers(i32 n, u32* names) override;
    void glGenRenderbuffers(i32 n, u32* names) override;
    void glGenBuffers(i32 n, u32* names) override;
    u32 glGetError() override;
    u32 glCheckFramebufferStatus(u32 target) override;
    void glLoadMatrixx(i32 const* m) override;
    void glDeleteTextures(i32 n, u32 const* names) override;
    std::vector<u32> deleted; // texture names given to glDeleteTextures
};

} // namespace testgl
