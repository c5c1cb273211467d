// The generator's caches of compiled shaders, shaders inserted from outside,
// and the export of shader sources and of the cache manifest.
#include "engine/runtime/palloc.h"
#include "engine/runtime/pdebug.h"
#include "engine/runtime/pfile.h"
#include "engine/runtime/psprintf.h"
#include "gl/es2_gl.h"
#include "gl/es2_paperdoll.h"

#include <cstring>
#include <initializer_list>

namespace vornGL {

namespace {

// Sources stay owned by the cache; process exit only gives the memory back
// (the GL objects belong to a context that is gone by then).
struct CacheReleaser {
    ~CacheReleaser()
    {
        for (auto* cache : {&PPaperDoll::s_VertexShaderCache, &PPaperDoll::s_FragmentShaderCache}) {
            for (auto& e : *cache)
                PFree(e.source);
            cache->Release();
        }
    }
};

int Find(PObjectArray<PPaperDoll::ShaderCache> const& cache, u32 hash)
{
    for (int i = 0; i < cache.Count(); ++i)
        if (cache[i].hash == hash)
            return i;
    return -1;
}

int InsertExternal(PObjectArray<PPaperDoll::ShaderCache>& cache, u32 type, u32 hash, char const* source)
{
    static char error_buffer[512];
    if (!source) {
        _PDebug("GL ES 2: no source for external shader 0x%x\n", hash);
        return 0;
    }
    g_gles2.glGetError();
    bool compiled = false;
    u32 shader = CompileShaderObject(type, source, &compiled, error_buffer, sizeof error_buffer);
    char* copy = CopyShaderText(source);
    int i = Find(cache, hash);
    if (i >= 0) {
        PPaperDoll::ShaderCache& e = cache[i];
        if (e.shader && e.shader != shader)
            g_gles2.glDeleteShader(e.shader);
        e.shader = shader;
        if (copy) {
            PFree(e.source);
            e.source = copy;
        }
    } else if (!cache.Append(PPaperDoll::ShaderCache{copy, hash, shader})) {
        PFree(copy);
        if (shader)
            g_gles2.glDeleteShader(shader);
        return 0;
    }
    return compiled ? 1 : 0;
}

void ExportSource(char const* dir, char const* format, unsigned hash, char const* source)
{
    char name[PFile::kOpenPathMax];
    char file[24];
    PSnprintf(file, sizeof file, format, hash);
    if (!dir)
        dir = "";
    if (std::strlen(dir) + std::strlen(file) + 1 > sizeof name) {
        _PDebug("GL ES 2: export path too long\n");
        return;
    }
    PSnprintf(name, sizeof name, "%s%s", dir, file);
    PFile f(name, PFile::kWrite | PFile::kTruncate | PFile::kCreate);
    if (!f.IsOpen() || !source)
        return;
    int n = int(std::strlen(source));
    if (f.Write(source, n) != n)
        _PDebug("GL ES 2: short write exporting %s\n", name);
}

} // namespace

PObjectArray<PPaperDoll::ShaderCache> PPaperDoll::s_VertexShaderCache;
PObjectArray<PPaperDoll::ShaderCache> PPaperDoll::s_FragmentShaderCache;
static CacheReleaser s_cacheReleaser;

int PPaperDoll::FindVertexShader(u32 hash) { return Find(s_VertexShaderCache, hash); }
int PPaperDoll::FindFragmentShader(u32 hash) { return Find(s_FragmentShaderCache, hash); }

void PPaperDoll::ClearCache()
{
    for (auto* cache : {&s_VertexShaderCache, &s_FragmentShaderCache}) {
        for (auto& e : *cache) {
            if (e.shader)
                g_gles2.glDeleteShader(e.shader);
            PFree(e.source);
        }
        cache->Release();
    }
}

u32 CompileShaderObject(u32 type, char const* source, bool* compiled, char* log, int logSize)
{
    if (compiled)
        *compiled = false;
    u32 shader = g_gles2.glCreateShader(type);
    if (!shader) {
        _PDebug("GL ES 2: glCreateShader failed\n");
        return 0;
    }
    i32 length = source ? i32(std::strlen(source)) : 0;
    char const* text = source ? source : "";
    g_gles2.glShaderSource(shader, 1, &text, &length);
    g_gles2.glGetError();
    g_gles2.glCompileShader(shader);
    i32 status = 0;
    g_gles2.glGetShaderiv(shader, es2::COMPILE_STATUS, &status);
    if (!status) {
        if (log && logSize > 0) {
            log[0] = 0;
            i32 got = 0;
            g_gles2.glGetShaderInfoLog(shader, logSize, &got, log);
            log[logSize - 1] = 0;
        }
        _PDebug("GL ES 2: %s shader failed to compile: %s\n", type == es2::VERTEX_SHADER ? "vertex" : "fragment",
                log ? log : "");
    }
    if (compiled)
        *compiled = status != 0;
    return shader;
}

int InsertExternalVertexShader(unsigned hash, char const* source)
{
    return InsertExternal(PPaperDoll::s_VertexShaderCache, es2::VERTEX_SHADER, hash, source);
}

int InsertExternalFragmentShader(unsigned hash, char const* source)
{
    return InsertExternal(PPaperDoll::s_FragmentShaderCache, es2::FRAGMENT_SHADER, hash, source);
}

void ExportVertexShader(char const* dir, unsigned hash, char const* source)
{
    ExportSource(dir, "0x%x.vs", hash, source);
}

void ExportFragmentShader(char const* dir, unsigned hash, char const* source)
{
    ExportSource(dir, "0x%x.fs", hash, source);
}

void ExportShaderCacheToFile(char const* dir)
{
    char name[PFile::kOpenPathMax];
    if (!dir)
        dir = "";
    if (std::strlen(dir) + sizeof "shader_manifest.xml" > sizeof name) {
        _PDebug("GL ES 2: manifest path too long\n");
        return;
    }
    PSnprintf(name, sizeof name, "%sshader_manifest.xml", dir);
    PFile f(name, PFile::kWrite | PFile::kTruncate | PFile::kCreate);
    if (!f.IsOpen())
        return;
    auto put = [&f](char const* text) { f.Write(text, int(std::strlen(text))); };
    char line[96];
    put("<shaders>\n");
    for (auto const& e : PPaperDoll::s_FragmentShaderCache) {
        PSnprintf(line, sizeof line, "\t<fragment id=\"%d\" file=\"0x%x.fs\" />\n", int(e.hash), e.hash);
        put(line);
    }
    for (auto const& e : PPaperDoll::s_VertexShaderCache) {
        PSnprintf(line, sizeof line, "\t<vertex id=\"%d\" file=\"0x%x.vs\" />\n", int(e.hash), e.hash);
        put(line);
    }
    put("</shaders>\n");
}

char* CopyShaderText(char const* text)
{
    if (!text)
        return nullptr;
    size_t n = std::strlen(text);
    if (n >= 0x7FFFFFFF)
        return nullptr;
    char* p = static_cast<char*>(PAlloc(int(n + 1)));
    if (p)
        std::memcpy(p, text, n + 1);
    return p;
}

} // namespace vornGL
