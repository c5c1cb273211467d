#include "recording_backend.h"

#include <cstring>

namespace testgl {

RecordingBackend::RecordingBackend(int api_, PDisplayProperties* info_) : api(api_), info(info_) {}

size_t RecordingBackend::Count(std::string const& prefix) const
{
    size_t n = 0;
    for (auto const& c : calls)
        if (c.compare(0, prefix.size(), prefix) == 0)
            ++n;
    return n;
}

std::string RecordingBackend::Joined() const
{
    std::string s;
    for (auto const& c : calls)
        s += c + "\n";
    return s;
}

std::vector<std::string> RecordingBackend::Only(std::string const& prefix) const
{
    std::vector<std::string> r;
    for (auto const& c : calls)
        if (c.compare(0, prefix.size(), prefix) == 0)
            r.push_back(c);
    return r;
}

int RecordingBackend::vornGLGetAPI() const { return api; }

void RecordingBackend::vornGLSetOrientation(int code)
{
    RecordingBase::vornGLSetOrientation(code);
    orientation = code;
}

int RecordingBackend::vornGLGetOrientation() const { return orientation; }
PDisplayProperties* RecordingBackend::vornGLGetDispInfo() const { return info; }

int RecordingBackend::vornGLPushFixed()
{
    RecordingBase::vornGLPushFixed();
    int r = pushFixed;
    if (countFixed)
        ++pushFixed;
    return r;
}

void RecordingBackend::vornGLPopFixed()
{
    RecordingBase::vornGLPopFixed();
    if (countFixed)
        --pushFixed;
}

RecordingBackend::u32 RecordingBackend::vornGLCreateCustomShader(char const* vs, char const* fs)
{
    RecordingBase::vornGLCreateCustomShader(vs, fs);
    return ++customShader;
}

RecordingBackend::u32 RecordingBackend::vornGLGetCustomShaderIndex() const
{
    RecordingBase::vornGLGetCustomShaderIndex();
    return customShader;
}

void RecordingBackend::glGetIntegerv(u32 pname, i32* data)
{
    RecordingBase::glGetIntegerv(pname, data);
    auto it = integers.find(pname);
    if (it != integers.end() && data)
        std::memcpy(data, it->second.data(), it->second.size() * sizeof(i32));
}

RecordingBackend::u8 const* RecordingBackend::glGetString(u32 name)
{
    RecordingBase::glGetString(name);
    return name == 0x1F03 ? reinterpret_cast<u8 const*>(extensions.c_str()) : nullptr;
}

void RecordingBackend::glGenTextures(i32 n, u32* names)
{
    RecordingBase::glGenTextures(n, names);
    for (i32 i = 0; names && i < n; ++i)
        names[i] = nextTexture++;
}

void RecordingBackend::glGenFramebuffers(i32 n, u32* names)
{
    RecordingBase::glGenFramebuffers(n, names);
    for (i32 i = 0; names && i < n; ++i)
        names[i] = nextBuffer++;
}

void RecordingBackend::glGenRenderbuffers(i32 n, u32* names)
{
    RecordingBase::glGenRenderbuffers(n, names);
    for (i32 i = 0; names && i < n; ++i)
        names[i] = nextBuffer++;
}

void RecordingBackend::glGenBuffers(i32 n, u32* names)
{
    RecordingBase::glGenBuffers(n, names);
    for (i32 i = 0; names && i < n; ++i)
        names[i] = nextBuffer++;
}

RecordingBackend::u32 RecordingBackend::glGetError()
{
    RecordingBase::glGetError();
    if (errors.empty())
        return 0;
    u32 e = errors.front();
    errors.pop_front();
    return e;
}

RecordingBackend::u32 RecordingBackend::glCheckFramebufferStatus(u32 target)
{
    RecordingBase::glCheckFramebufferStatus(target);
    return framebufferStatus;
}

void RecordingBackend::glLoadMatrixx(i32 const* m)
{
    RecordingBase::glLoadMatrixx(m);
    std::array<i32, 16> a{};
    if (m)
        std::memcpy(a.data(), m, sizeof a);
    loaded.push_back(a);
}

void RecordingBackend::glDeleteTextures(i32 n, u32 const* names)
{
    RecordingBase::glDeleteTextures(n, names);
    for (i32 i = 0; names && i < n; ++i)
        deleted.push_back(names[i]);
}

} // namespace testgl
