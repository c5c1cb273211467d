// Custom shaders and custom uniforms: application programs kept in the
// emulation's program cache next to the generated ones, named by index (their
// 1-based position) or by handle (a key given at creation, with the sources
// kept so that the program can be made again), and application values fed to
// uniforms of those programs.
#include "engine/runtime/palloc.h"
#include "engine/runtime/pdebug.h"
#include "gl/es2_fixedemu.h"

#include <GLES/gl.h>

#include <cstring>

namespace vornGL {

int PFixedEmu::FindCustomEntry(u32 key) const
{
    for (int i = 0; i < m_programs.Count(); ++i)
        if (!m_programs[i].generated && m_programs[i].key == key)
            return i;
    return -1;
}

// Destroys a program object; nothing keeps pointing at it.
void PFixedEmu::DestroyProgram(PGLShader* p)
{
    if (!p)
        return;
    if (p == m_forced)
        m_forced = nullptr;
    if (p == m_current)
        m_current = nullptr;
    delete p;
}

// ---------------------------------------------------------------------------
// Programs by index

u32 PFixedEmu::vornGLCreateCustomShader(char const* vs, char const* fs)
{
    PGLShader* p = new PGLShader();
    if (!p)
        return 0;
    p->CreateShader(*this, vs, fs);
    u32 position = u32(m_programs.Count());
    if (!m_programs.Append(ProgramEntry{position, 0, 0, 0, p})) {
        DestroyProgram(p);
        return 0;
    }
    return position + 1;
}

void PFixedEmu::vornGLSetCustomShader(u32 index)
{
    m_customIndex = index;
    if (index == 0) {
        m_forced = nullptr;
        m_current = nullptr;
        return;
    }
    u32 i = index - 1;
    if (i >= u32(m_programs.Count()))
        return Error(GL_INVALID_VALUE);
    ProgramEntry const& e = m_programs[int(i)];
    if (e.generated || e.key != i || !e.program) {
        m_customIndex = 0;
        m_forced = nullptr;
        return Error(GL_INVALID_OPERATION);
    }
    m_forced = e.program;
}

void PFixedEmu::vornGLDeleteCustomShader(u32 index)
{
    if (index == 0 || index - 1 >= u32(m_programs.Count()))
        return Error(GL_INVALID_VALUE);
    ProgramEntry& e = m_programs[int(index - 1)];
    if (e.generated || e.key != index - 1)
        return Error(GL_INVALID_OPERATION);
    if (e.program == m_forced && e.program)
        m_customIndex = 0;
    DestroyProgram(e.program);
    e.key = kDeletedKey;
    e.program = nullptr;
}

i32 PFixedEmu::vornGLBindUniformValue(u32 index, PGLShaderUniformValue& value, char const* name)
{
    if (index == 0 || index - 1 >= u32(m_programs.Count())) {
        Error(GL_INVALID_VALUE);
        return 0;
    }
    PGLShader* p = m_programs[int(index - 1)].program;
    if (!p)
        return 0;
    return p->BindUniformValue(value, name) ? 1 : 0;
}

// ---------------------------------------------------------------------------
// Programs by handle

void PFixedEmu::vornGLGenCustomShaders(u32 n, u32* handles)
{
    if (n == 0)
        return;
    if (!handles)
        return Error(GL_INVALID_VALUE);
    for (u32 k = 0; k < n; ++k) {
        handles[k] = 0;
        // One past the count, as long as no custom entry carries that key
        // already (entries removed by vornGLDeleteCustomShaders shorten the cache).
        u32 handle = u32(m_programs.Count()) + 1;
        while (FindCustomEntry(handle) >= 0)
            ++handle;
        PGLShader* p = new PGLShader();
        if (!p)
            return Error(GL_OUT_OF_MEMORY);
        if (!m_programs.Append(ProgramEntry{handle, 0, 0, 0, p})) {
            DestroyProgram(p);
            return Error(GL_OUT_OF_MEMORY);
        }
        if (!m_customShaders.Append(CustomShader{handle, nullptr, nullptr})) {
            DestroyProgram(p);
            m_programs.RemoveAt(m_programs.Count() - 1);
            return Error(GL_OUT_OF_MEMORY);
        }
        handles[k] = handle;
    }
}

void PFixedEmu::vornGLCustomShaderSource(u32 handle, char const* vs, char const* fs)
{
    if (handle == 0)
        return;
    int i = FindCustomEntry(handle);
    if (i < 0)
        return Error(GL_INVALID_OPERATION);
    // A program is built once: new sources make a new program object.
    PGLShader* p = new PGLShader();
    if (!p)
        return Error(GL_OUT_OF_MEMORY);
    p->CreateShader(*this, vs, fs);
    PGLShader* old = m_programs[i].program;
    bool wasForced = old && old == m_forced;
    DestroyProgram(old);
    m_programs[i].program = p;
    if (wasForced)
        m_forced = p;
    for (CustomShader& c : m_customShaders) {
        if (c.handle != handle)
            continue;
        PFree(c.vertexSource);
        PFree(c.fragmentSource);
        c.vertexSource = CopyShaderText(vs);
        c.fragmentSource = CopyShaderText(fs);
        break;
    }
}

void PFixedEmu::vornGLUseCustomShader(u32 handle)
{
    m_customHandle = handle;
    if (handle == 0) {
        m_forced = nullptr;
        return;
    }
    int i = FindCustomEntry(handle);
    if (i < 0 || !m_programs[i].program)
        return Error(GL_INVALID_OPERATION);
    m_forced = m_programs[i].program;
}

void PFixedEmu::vornGLDeleteCustomShaders(u32 n, u32* handles)
{
    if (n == 0)
        return;
    if (!handles)
        return Error(GL_INVALID_VALUE);
    for (u32 k = 0; k < n; ++k) {
        u32 h = handles[k];
        int i = FindCustomEntry(h);
        if (i >= 0) {
            DestroyProgram(m_programs[i].program);
            if (i > 0) {
                m_programs.RemoveAt(i);
            } else {
                m_programs[i].key = kDeletedKey;
                m_programs[i].program = nullptr;
            }
        }
        for (int r = 0; r < m_customShaders.Count(); ++r) {
            if (m_customShaders[r].handle != h)
                continue;
            PFree(m_customShaders[r].vertexSource);
            PFree(m_customShaders[r].fragmentSource);
            m_customShaders.RemoveAt(r);
            break;
        }
        for (CustomUniform& c : m_customUniforms) {
            int at = c.programs ? c.programs->Find(h) : -1;
            if (at >= 0)
                c.programs->RemoveAt(at);
        }
    }
}

// ---------------------------------------------------------------------------
// Custom uniforms

PFixedEmu::CustomUniform* PFixedEmu::UniformRecord(u32 id)
{
    if (id == 0 || id > u32(m_customUniforms.Count())) {
        Error(GL_INVALID_VALUE);
        return nullptr;
    }
    return &m_customUniforms[int(id - 1)];
}

void PFixedEmu::vornGLGenUniform(char const* name, u32* id)
{
    if (!name || !id)
        return Error(GL_INVALID_VALUE);
    *id = 0;
    char* copy = CopyShaderText(name);
    PArray<u32>* programs = new PArray<u32>();
    if (!copy || !programs || !m_customUniforms.Append(CustomUniform{0, nullptr, copy, programs, false})) {
        PFree(copy);
        delete programs;
        return Error(GL_OUT_OF_MEMORY);
    }
    *id = u32(m_customUniforms.Count());
}

void PFixedEmu::vornGLBindUniform(u32 handle, u32 id)
{
    CustomUniform* R = UniformRecord(id);
    if (!R)
        return;
    if (handle == 0) {
        // A standard name ties the record to the emulation's own value.
        for (int k = 0; k < kUniformCount; ++k) {
            if (std::strcmp(R->name, PPaperDoll::uniformNames[k]) != 0)
                continue;
            if (R->ownsValue)
                delete R->value;
            R->kind = 1;
            R->value = &m_uniforms[k];
            R->ownsValue = false;
            return;
        }
        return;
    }
    int i = FindCustomEntry(handle);
    if (i < 0 || !m_programs[i].program)
        return;
    if (!R->ownsValue) {
        R->value = new PGLShaderUniformValue();
        if (!R->value)
            return Error(GL_OUT_OF_MEMORY);
        R->ownsValue = true;
    }
    R->kind = 0;
    if (R->programs->Find(handle) < 0 && !R->programs->Append(handle))
        return Error(GL_OUT_OF_MEMORY);
    m_programs[i].program->BindUniformValue(*R->value, R->name);
}

void PFixedEmu::vornGLSetUniformData(u32 id, void* data)
{
    CustomUniform* R = UniformRecord(id);
    if (!R || !R->value)
        return;
    R->value->SetDirty(data);
}

} // namespace vornGL
