// Shader cache maintenance: clearing every program and cached shader (after a
// lost context), making the custom programs again, and the shader cache
// directory ".shaders" under the writable directory:
//   vertexList, fragmentList  the cached hashes, 4 bytes little-endian each
//   <hash in signed decimal>  the GLSL source of that shader
// (layout in docs/formats/shadercache.md).
#include "engine/runtime/palloc.h"
#include "engine/runtime/pdebug.h"
#include "engine/runtime/pfile.h"
#include "engine/runtime/psprintf.h"
#include "gl/es2_fixedemu.h"
#include "gl/es2_gl.h"

#include <GLES/gl.h>

#include <cstring>

namespace vornGL {

namespace {

constexpr char kDir[] = ".shaders";
// Limits of what a preload reads: sources longer than this are not shaders
// this generator writes, and no run caches more shaders than this.
constexpr long kMaxSourceBytes = 256 * 1024;
constexpr int kMaxListEntries = 4096;

char* CopyText(char const* text)
{
    size_t n = std::strlen(text);
    char* p = static_cast<char*>(PAlloc(int(n + 1)));
    if (p)
        std::memcpy(p, text, n + 1);
    return p;
}

// Writes data to name through name + ".tmp"; 0 on success.
int WriteFileAtomically(char const* name, void const* data, int size)
{
    char tmp[64];
    PSnprintf(tmp, sizeof tmp, "%s.tmp", name);
    PFile f(tmp, PFile::kWrite | PFile::kTruncate | PFile::kCreate);
    if (!f.IsOpen()) {
        _PDebug("GL ES 2: cannot write %s\n", tmp);
        return -1;
    }
    int written = size > 0 ? f.Write(data, size) : 0;
    f.Close();
    if (written != size) {
        _PDebug("GL ES 2: short write to %s\n", tmp);
        PFile::Delete(tmp);
        return -1;
    }
    if (PFile::Rename(tmp, name) != 0) {
        _PDebug("GL ES 2: cannot rename %s to %s\n", tmp, name);
        PFile::Delete(tmp);
        return -1;
    }
    return 0;
}

int SaveCache(PObjectArray<PPaperDoll::ShaderCache> const& cache, char const* listName)
{
    int failures = 0;
    PArray<unsigned char> list;
    char name[48];
    for (auto const& e : cache) {
        if (!e.source)
            continue;
        PSnprintf(name, sizeof name, "%s/%d", kDir, int(e.hash));
        if (WriteFileAtomically(name, e.source, int(std::strlen(e.source))) != 0) {
            ++failures;
            continue;
        }
        for (int b = 0; b < 4; ++b)
            if (!list.Append(static_cast<unsigned char>(e.hash >> (8 * b))))
                ++failures;
    }
    PSnprintf(name, sizeof name, "%s/%s", kDir, listName);
    if (WriteFileAtomically(name, list.Data(), list.Count()) != 0)
        ++failures;
    return failures;
}

// Reads one list and compiles the sources it names into the cache. -1 when
// the list cannot be opened.
int PreloadCache(PObjectArray<PPaperDoll::ShaderCache>& cache, char const* listName, u32 type)
{
    char name[48];
    PSnprintf(name, sizeof name, "%s/%s", kDir, listName);
    PFile list(name, PFile::kRead);
    if (!list.IsOpen())
        return -1;
    static char error_buffer[512];
    unsigned char bytes[4];
    for (int entries = 0; list.Read(bytes, 4) == 4; ++entries) {
        if (entries == kMaxListEntries) {
            _PDebug("GL ES 2: %s lists more than %d shaders; the rest is ignored\n", name, kMaxListEntries);
            break;
        }
        u32 hash = u32(bytes[0]) | u32(bytes[1]) << 8 | u32(bytes[2]) << 16 | u32(bytes[3]) << 24;
        if (PPaperDoll::FindVertexShader(hash) >= 0 && &cache == &PPaperDoll::s_VertexShaderCache)
            continue;
        if (PPaperDoll::FindFragmentShader(hash) >= 0 && &cache == &PPaperDoll::s_FragmentShaderCache)
            continue;
        PSnprintf(name, sizeof name, "%s/%d", kDir, int(hash));
        PFile src(name, PFile::kRead);
        if (!src.IsOpen())
            continue;
        long size = src.Size();
        if (size <= 0 || size > kMaxSourceBytes) {
            _PDebug("GL ES 2: shader source %s has a bad size (%ld)\n", name, size);
            continue;
        }
        char* text = static_cast<char*>(PAllocZ(int(size + 1)));
        if (!text)
            continue;
        int got = src.Read(text, int(size));
        src.Close();
        if (got != int(size)) {
            _PDebug("GL ES 2: short read of %s\n", name);
            PFree(text);
            continue;
        }
        bool compiled = false;
        u32 shader = CompileShaderObject(type, text, &compiled, error_buffer, sizeof error_buffer);
        if (!compiled) {
            // A source that does not compile here is of no use to any program.
            if (shader)
                g_gles2.glDeleteShader(shader);
            PFree(text);
            continue;
        }
        char* copy = CopyText(text);
        PFree(text);
        if (!copy || !cache.Append(PPaperDoll::ShaderCache{copy, hash, shader})) {
            PFree(copy);
            g_gles2.glDeleteShader(shader);
        }
    }
    return 0;
}

} // namespace

void PFixedEmu::DeleteAllPrograms()
{
    for (ProgramEntry& e : m_programs) {
        if (!e.program)
            continue;
        if (e.program->Program()) {
            g_gles2.glDeleteProgram(e.program->Program());
            g_gles2.glGetError();
        }
        delete e.program;
    }
    m_programs.Release();
    m_forced = m_current = nullptr;
}

void PFixedEmu::vornGLClearShaderCache()
{
    g_gles2.glGetError();
    g_gles2.glUseProgram(0);
    g_gles2.glGetError();
    DeleteAllPrograms();
    for (PGLShaderUniformValue& v : m_uniforms)
        v.Clear();
    for (CustomUniform& c : m_customUniforms)
        if (c.ownsValue && c.value)
            c.value->Clear();
    // Every standard value points at its storage again (sampler units k).
    for (u32 u = 0; u < kUnits; ++u)
        m_samplerUnits[u] = u;
    WireStandardUniforms();
    // The platform gets the enables the state manager believes it has, and
    // no attribute array stays on with a pointer nobody remembers.
    u32 low = m_state->AppliedLow(), high = m_state->AppliedHigh();
    static constexpr struct {
        int bit;
        u32 cap;
    } kCaps[] = {{1, GL_CULL_FACE},    {2, GL_BLEND},        {3, GL_DITHER}, {4, GL_STENCIL_TEST},
                 {5, GL_DEPTH_TEST},   {6, GL_SCISSOR_TEST}, {7, GL_POLYGON_OFFSET_FILL}};
    for (auto const& c : kCaps) {
        if (low & (1u << c.bit))
            g_gles2.glEnable(c.cap);
        else
            g_gles2.glDisable(c.cap);
    }
    if (high & 0x4u)
        g_gles2.glEnable(es2::SAMPLE_ALPHA_TO_COVERAGE);
    else
        g_gles2.glDisable(es2::SAMPLE_ALPHA_TO_COVERAGE);
    if (high & 0x8u)
        g_gles2.glEnable(es2::SAMPLE_COVERAGE);
    else
        g_gles2.glDisable(es2::SAMPLE_COVERAGE);
    for (int i = 0; i < kArrayCount; ++i) {
        g_gles2.glDisableVertexAttribArray(u32(i));
        m_arrays[i].changed = 1;
    }
    m_attribEnabled = 0;
    PPaperDoll::ClearCache();
}

void PFixedEmu::vornGLRestoreShaders()
{
    for (CustomShader const& c : m_customShaders) {
        PGLShader* p = new PGLShader();
        if (!p) {
            Error(GL_OUT_OF_MEMORY);
            break;
        }
        p->CreateShader(*this, c.vertexSource, c.fragmentSource);
        int i = FindCustomEntry(c.handle);
        if (i >= 0) {
            // Still there (nothing was cleared): the new program takes its place.
            bool wasForced = m_programs[i].program && m_programs[i].program == m_forced;
            DestroyProgram(m_programs[i].program);
            m_programs[i].program = p;
            if (wasForced)
                m_forced = p;
        } else if (!m_programs.Append(ProgramEntry{c.handle, 0, 0, 0, p})) {
            DestroyProgram(p);
            Error(GL_OUT_OF_MEMORY);
            break;
        }
    }
    for (CustomUniform& c : m_customUniforms) {
        if (!c.ownsValue || !c.value)
            continue;
        void const* data = c.value->Value();
        c.value->Clear();
        c.value->SetDirty(data);
        for (u32 h : *c.programs) {
            int i = FindCustomEntry(h);
            if (i >= 0 && m_programs[i].program)
                m_programs[i].program->BindUniformValue(*c.value, c.name);
        }
    }
}

int PFixedEmu::vornGLSaveShaders()
{
    PFile::MkDir(kDir); // fails when it exists already; the writes tell
    int failures = SaveCache(PPaperDoll::s_VertexShaderCache, "vertexList");
    failures += SaveCache(PPaperDoll::s_FragmentShaderCache, "fragmentList");
    return failures == 0 ? 1 : 0;
}

int PFixedEmu::vornGLPreloadShaders()
{
    int result = 1;
    if (PreloadCache(PPaperDoll::s_VertexShaderCache, "vertexList", es2::VERTEX_SHADER) != 0)
        result = 0;
    if (PreloadCache(PPaperDoll::s_FragmentShaderCache, "fragmentList", es2::FRAGMENT_SHADER) != 0)
        result = 0;
    return result;
}

} // namespace vornGL
