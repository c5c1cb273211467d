// Programs of the OpenGL ES 2.0 back end: building them from generated or
// application sources, attribute locations, uniform reflection and upload.
#include "gl/es2_shader.h"

#include "engine/runtime/palloc.h"
#include "engine/runtime/pdebug.h"
#include "gl/es2_fixedemu.h"
#include "gl/es2_gl.h"

#include <GLES/gl.h>

#include <cstring>

namespace vornGL {

// ---------------------------------------------------------------------------
// Uniform values

PGLShaderUniformValue::~PGLShaderUniformValue() { Clear(); }

void PGLShaderUniformValue::RegisterUniform(PGLShaderUniform* u)
{
    if (!u)
        return;
    if (u->owner == this)
        return;
    if (u->owner)
        u->owner->UnregisterUniform(u);
    if (!m_listeners.Append(u)) {
        _PDebug("GL ES 2: out of memory binding a uniform\n");
        return;
    }
    u->owner = this;
    u->data = m_value;
    u->dirty = true;
}

void PGLShaderUniformValue::UnregisterUniform(PGLShaderUniform* u)
{
    int i = m_listeners.Find(u);
    if (i >= 0)
        m_listeners.RemoveAt(i);
    if (u && u->owner == this)
        u->owner = nullptr;
}

void PGLShaderUniformValue::SetDirty(void const* value, int bytes)
{
    m_value = value;
    m_bytes = bytes;
    for (PGLShaderUniform* u : m_listeners) {
        u->dirty = true;
        u->data = value;
    }
}

void PGLShaderUniformValue::Clear()
{
    for (PGLShaderUniform* u : m_listeners) {
        u->owner = nullptr;
        u->data = nullptr;
    }
    m_listeners.Release();
    m_value = nullptr;
    m_bytes = 0;
}

// ---------------------------------------------------------------------------
// Setters

void vornUniform1iv(int l, int n, void const* d) { g_gles2.glUniform1iv(l, n, static_cast<i32 const*>(d)); }
void vornUniform2iv(int l, int n, void const* d) { g_gles2.glUniform2iv(l, n, static_cast<i32 const*>(d)); }
void vornUniform3iv(int l, int n, void const* d) { g_gles2.glUniform3iv(l, n, static_cast<i32 const*>(d)); }
void vornUniform4iv(int l, int n, void const* d) { g_gles2.glUniform4iv(l, n, static_cast<i32 const*>(d)); }
void vornUniform1fv(int l, int n, void const* d) { g_gles2.glUniform1fv(l, n, static_cast<f32 const*>(d)); }
void vornUniform2fv(int l, int n, void const* d) { g_gles2.glUniform2fv(l, n, static_cast<f32 const*>(d)); }
void vornUniform3fv(int l, int n, void const* d) { g_gles2.glUniform3fv(l, n, static_cast<f32 const*>(d)); }
void vornUniform4fv(int l, int n, void const* d) { g_gles2.glUniform4fv(l, n, static_cast<f32 const*>(d)); }
void vornUniformMatrix3fv(int l, int n, void const* d)
{
    g_gles2.glUniformMatrix3fv(l, n, 0, static_cast<f32 const*>(d));
}
void vornUniformMatrix4fv(int l, int n, void const* d)
{
    g_gles2.glUniformMatrix4fv(l, n, 0, static_cast<f32 const*>(d));
}

namespace {

// The setter and the element size of a GL uniform type; false for types
// that are never uploaded.
bool SetterOf(u32 type, bool acceptCube, PGLUniformSetter& setter, int& size)
{
    switch (type) {
    case GL_FLOAT: setter = vornUniform1fv; size = 4; return true;
    case es2::FLOAT_VEC2: setter = vornUniform2fv; size = 8; return true;
    case es2::FLOAT_VEC3: setter = vornUniform3fv; size = 12; return true;
    case es2::FLOAT_VEC4: setter = vornUniform4fv; size = 16; return true;
    case es2::INT: setter = vornUniform1iv; size = 4; return true;
    case es2::INT_VEC2: setter = vornUniform2iv; size = 8; return true;
    case es2::INT_VEC3: setter = vornUniform3iv; size = 12; return true;
    case es2::INT_VEC4: setter = vornUniform4iv; size = 16; return true;
    case es2::FLOAT_MAT3: setter = vornUniformMatrix3fv; size = 36; return true;
    case es2::FLOAT_MAT4: setter = vornUniformMatrix4fv; size = 64; return true;
    case es2::SAMPLER_2D: setter = vornUniform1iv; size = 4; return true;
    case es2::SAMPLER_CUBE:
        if (!acceptCube)
            return false;
        setter = vornUniform1iv;
        size = 4;
        return true;
    default: return false;
    }
}

char s_genError[512];
char s_srcError[512];

void LinkAndLog(u32 program, bool& linked, char* log, int logSize)
{
    g_gles2.glLinkProgram(program);
    i32 status = 0;
    g_gles2.glGetProgramiv(program, es2::LINK_STATUS, &status);
    linked = status != 0;
    if (!linked) {
        log[0] = 0;
        i32 got = 0;
        g_gles2.glGetProgramInfoLog(program, logSize, &got, log);
        log[logSize - 1] = 0;
        _PDebug("GL ES 2: program failed to link: %s\n", log);
    }
}

} // namespace

// ---------------------------------------------------------------------------
// Programs

PGLShader::PGLShader() : m_changed(true), m_program(0), m_linked(false)
{
    std::memset(m_attribUsed, 0, sizeof m_attribUsed);
}

PGLShader::~PGLShader()
{
    DetachUniforms();
    if (m_program && g_gles2.glIsProgram(m_program))
        g_gles2.glDeleteProgram(m_program);
}

void PGLShader::DetachUniforms()
{
    for (PGLShaderUniform& u : m_uniforms)
        if (u.owner)
            u.owner->UnregisterUniform(&u);
    m_uniforms.Release();
}

void PGLShader::CreateShader(PFixedEmu& emu, unsigned vertexHash, unsigned fragmentHash)
{
    using PD = PPaperDoll;
    int vi = PD::FindVertexShader(vertexHash);
    int fi = PD::FindFragmentShader(fragmentHash);
    char* vsrc = vi < 0 ? PD::CreateVertexShader(emu, vertexHash) : nullptr;
    char* fsrc = fi < 0 ? PD::CreateFragmentShader(emu, fragmentHash) : nullptr;
    g_gles2.glGetError();

    auto compile = [](PObjectArray<PD::ShaderCache>& cache, u32 type, u32 hash, char* source) -> int {
        if (!source)
            return -1;
        bool compiled = false;
        u32 shader = CompileShaderObject(type, source, &compiled, s_genError, sizeof s_genError);
        if (PD::m_ExportShaders) {
            if (type == es2::VERTEX_SHADER)
                ExportVertexShader("", hash, source);
            else
                ExportFragmentShader("", hash, source);
        }
        if (!cache.Append(PD::ShaderCache{source, hash, shader})) {
            PFree(source);
            if (shader)
                g_gles2.glDeleteShader(shader);
            return -1;
        }
        return cache.Count() - 1;
    };
    if (vi < 0)
        vi = compile(PD::s_VertexShaderCache, es2::VERTEX_SHADER, vertexHash, vsrc);
    if (fi < 0)
        fi = compile(PD::s_FragmentShaderCache, es2::FRAGMENT_SHADER, fragmentHash, fsrc);
    u32 vs = vi >= 0 ? PD::s_VertexShaderCache[vi].shader : 0;
    u32 fs = fi >= 0 ? PD::s_FragmentShaderCache[fi].shader : 0;
    if (!vs || !fs)
        return;

    m_program = g_gles2.glCreateProgram();
    if (!m_program)
        return;
    g_gles2.glAttachShader(m_program, vs);
    g_gles2.glAttachShader(m_program, fs);
    g_gles2.glGetError();

    // Position is always at location 0, so no other attribute lands there.
    P3DStateMan& sm = emu.State();
    auto bind = [this](int k) {
        g_gles2.glBindAttribLocation(m_program, u32(k), PD::attribNames[k]);
        m_attribUsed[k] = true;
    };
    bind(kAttribPos);
    if (sm.IsEnabled(1u << 26))
        bind(kAttribNormal);
    if (sm.IsEnabled(1u << 27))
        bind(kAttribColor);
    u32 units = sm.UnitCount() < PFixedEmu::kUnits ? sm.UnitCount() : u32(PFixedEmu::kUnits);
    for (u32 u = 0; u < units; ++u)
        if ((sm.Unit(u).flags & 1u) && (sm.Unit(u).clientFlags & 1u))
            bind(kAttribUV0 + int(u));
    LinkAndLog(m_program, m_linked, s_genError, sizeof s_genError);
    ReflectUniforms(emu, 30, false);
}

void PGLShader::CreateShader(PFixedEmu& emu, char const* vertexSource, char const* fragmentSource)
{
    using PD = PPaperDoll;
    g_gles2.glGetError();
    u32 vs = 0, fs = 0;
    bool compiled = false;
    if (vertexSource)
        vs = CompileShaderObject(es2::VERTEX_SHADER, vertexSource, &compiled, s_srcError, sizeof s_srcError);
    if (fragmentSource)
        fs = CompileShaderObject(es2::FRAGMENT_SHADER, fragmentSource, &compiled, s_srcError, sizeof s_srcError);
    auto release = [&]() {
        // The program keeps what it needs; the shader objects are flagged for
        // deletion with it.
        if (vs)
            g_gles2.glDeleteShader(vs);
        if (fs)
            g_gles2.glDeleteShader(fs);
    };
    if (!vs || !fs) {
        release();
        return;
    }
    m_program = g_gles2.glCreateProgram();
    if (!m_program) {
        release();
        return;
    }
    g_gles2.glAttachShader(m_program, vs);
    g_gles2.glAttachShader(m_program, fs);
    g_gles2.glGetError();
    LinkAndLog(m_program, m_linked, s_srcError, sizeof s_srcError);

    // Attributes whose names contain a standard attribute name belong at that
    // name's location.
    bool found[kAttribCount] = {};
    bool misplaced = false;
    if (m_linked) {
        i32 count = 0;
        g_gles2.glGetProgramiv(m_program, es2::ACTIVE_ATTRIBUTES, &count);
        for (i32 i = 0; i < count && i < 64; ++i) {
            char attribBuffer[50] = {};
            i32 length = 0, size = 0;
            u32 type = 0;
            g_gles2.glGetActiveAttrib(m_program, u32(i), sizeof attribBuffer, &length, &size, &type, attribBuffer);
            attribBuffer[sizeof attribBuffer - 1] = 0;
            int k = 0;
            while (k < kAttribCount && !std::strstr(attribBuffer, PD::attribNames[k]))
                ++k;
            if (k == kAttribCount)
                continue;
            found[k] = true;
            if (g_gles2.glGetAttribLocation(m_program, attribBuffer) == k)
                m_attribUsed[k] = true;
            else
                misplaced = true;
        }
    }
    if (misplaced) {
        g_gles2.glDeleteProgram(m_program);
        m_program = g_gles2.glCreateProgram();
        if (!m_program) {
            release();
            return;
        }
        g_gles2.glAttachShader(m_program, vs);
        g_gles2.glAttachShader(m_program, fs);
        for (int k = 0; k < kAttribCount; ++k) {
            if (!found[k])
                continue;
            g_gles2.glBindAttribLocation(m_program, u32(k), PD::attribNames[k]);
            m_attribUsed[k] = true;
        }
        LinkAndLog(m_program, m_linked, s_srcError, sizeof s_srcError);
    }
    release();
    ReflectUniforms(emu, 55, true);
}

void PGLShader::ReflectUniforms(PFixedEmu& emu, int nameBufferSize, bool acceptCube)
{
    DetachUniforms();
    if (!m_program || !m_linked)
        return;
    i32 n = 0;
    g_gles2.glGetProgramiv(m_program, es2::ACTIVE_UNIFORMS, &n);
    if (n <= 0)
        return;
    if (n > 1024 || !m_uniforms.Resize(n)) {
        _PDebug("GL ES 2: cannot keep %d uniforms\n", n);
        return;
    }
    char name[64];
    for (i32 i = 0; i < n; ++i) {
        std::memset(name, 0, sizeof name);
        i32 length = 0, size = 0;
        u32 type = 0;
        g_gles2.glGetActiveUniform(m_program, u32(i), nameBufferSize, &length, &size, &type, name);
        name[nameBufferSize - 1] = 0;
        PGLShaderUniform& u = m_uniforms[i];
        u.location = g_gles2.glGetUniformLocation(m_program, name);
        u.count = size;
        u.type = type;
        u.data = nullptr;
        u.dirty = true;
        u.owner = nullptr;
        int element = 0;
        if (!SetterOf(type, acceptCube, u.setter, element)) {
            u.setter = nullptr;
            element = 0;
        }
        u.bytes = element * (size > 0 ? size : 0);
        for (int k = 0; k < kUniformCount; ++k) {
            if (std::strcmp(name, PPaperDoll::uniformNames[k]) == 0) {
                emu.UniformValue(k).RegisterUniform(&u);
                break;
            }
        }
    }
}

void PGLShader::ApplyUniforms()
{
    for (PGLShaderUniform& u : m_uniforms) {
        if (!(m_changed || u.dirty) || !u.data || !u.setter)
            continue;
        // A standard value knows how many bytes it holds: a uniform declared
        // larger than that (a custom shader's choice) is not read past it.
        if (u.owner && u.owner->Bytes() > 0 && u.bytes > u.owner->Bytes()) {
            u.dirty = false;
            continue;
        }
        u.setter(u.location, u.count, u.data);
        u.dirty = false;
    }
}

bool PGLShader::BindUniformValue(PGLShaderUniformValue& value, char const* name)
{
    if (!m_program || !name)
        return false;
    i32 location = g_gles2.glGetUniformLocation(m_program, name);
    if (location < 0)
        return false;
    for (PGLShaderUniform& u : m_uniforms) {
        if (u.location == location) {
            value.RegisterUniform(&u);
            return true;
        }
    }
    return false;
}

} // namespace vornGL
