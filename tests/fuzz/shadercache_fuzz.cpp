// Fuzz target: the shader cache preload on Mesa. The input becomes the cache
// directory ".shaders" under the writable directory: a vertex list, a
// fragment list and the source texts of the shaders they name (files named
// by the signed decimal hash), then the OpenGL ES 2.0 back end preloads it.
//
// Input: two bytes give the lengths of the vertex list and the fragment list
// (at most 35 bytes each, so a list may end in a partial entry), the lists
// follow, then the sources, separated by zero bytes, given in turn to the
// hashes of both lists. Every source is compiled by Mesa, whose compiler makes
// thousands of allocations through the sanitizer's allocator, so the lists
// name at most eight shaders each.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/egl_context.h"
#include "engine/platform/pdisplay.h"
#include "gl/es2_backend.h"
#include "gl/gles.h"
#include "scratch_dir.h"

namespace {

struct Setup {
    benchegl::Context ctx{2, 8, 8};
    std::string dir;
    PDisplayProperties info{};
    GLES gl;
    vornGL::P3DBackendES20* es2 = nullptr;

    Setup()
    {
        dir = FuzzScratchDir("shadercache");
        if (dir.empty() || !ctx.ok)
            return;
        setenv("VORNAPP_SAVEPATH", dir.c_str(), 1);
        info.width = info.screenWidth = 8;
        info.height = info.screenHeight = 8;
        es2 = new vornGL::P3DBackendES20(&info, gl.GetStateMan());
        gl.Init(es2, nullptr);
        gl.glGetError();
    }
    ~Setup()
    {
        std::error_code ec;
        if (!dir.empty())
            std::filesystem::remove_all(dir, ec);
    }
};

void Write(std::string const& path, uint8_t const* p, size_t n)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<char const*>(p), std::streamsize(n));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Setup s;
    if (!s.es2 || size < 2)
        return 0;
    size_t vlen = data[0] % 36u, flen = data[1] % 36u;
    size_t at = 2;
    vlen = std::min(vlen, size - at);
    uint8_t const* vlist = data + at;
    at += vlen;
    flen = std::min(flen, size - at);
    uint8_t const* flist = data + at;
    at += flen;

    std::string cache = s.dir + ".shaders/";
    std::error_code ec;
    std::filesystem::remove_all(cache, ec);
    std::filesystem::create_directory(cache, ec);
    Write(cache + "vertexList", vlist, vlen);
    Write(cache + "fragmentList", flist, flen);
    // The sources: one for each whole entry of both lists, in turn.
    std::vector<uint32_t> hashes;
    for (size_t i = 0; i + 4 <= vlen; i += 4)
        hashes.push_back(uint32_t(vlist[i]) | uint32_t(vlist[i + 1]) << 8 | uint32_t(vlist[i + 2]) << 16 |
                         uint32_t(vlist[i + 3]) << 24);
    for (size_t i = 0; i + 4 <= flen; i += 4)
        hashes.push_back(uint32_t(flist[i]) | uint32_t(flist[i + 1]) << 8 | uint32_t(flist[i + 2]) << 16 |
                         uint32_t(flist[i + 3]) << 24);
    for (uint32_t h : hashes) {
        if (at > size)
            break;
        size_t end = at;
        while (end < size && data[end] != 0)
            ++end;
        Write(cache + std::to_string(int32_t(h)), data + at, end - at);
        at = end + 1;
    }
    s.es2->vornGLClearShaderCache();
    s.es2->vornGLPreloadShaders();
    s.es2->vornGLClearShaderCache();
    return 0;
}
