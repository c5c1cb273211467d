// Linked GLSL programs of the OpenGL ES 2.0 back end and the uniform values
// that feed them.
//
// A value (`PGLShaderUniformValue`) lives once in the emulation state; every
// active uniform of every program that carries the value's name listens to it,
// so changing the value flags that uniform in every program for upload. The
// links run both ways (a uniform knows the one value it listens to), so a
// program that goes away leaves no listener behind and a value that goes away
// leaves no uniform pointing at it.
#pragma once
#include <cstdint>

#include "gl/es2_array.h"
#include "gl/glbackend.h"

namespace vornGL {

class PFixedEmu;
class PGLShaderUniformValue;

typedef void (*PGLUniformSetter)(int location, int count, void const* data);

// One active uniform of a program.
struct PGLShaderUniform {
    i32 location;
    i32 count; // array size reported by the GL
    u32 type;
    void const* data; // the value to upload (points into the value's storage); null until bound
    bool dirty;
    PGLUniformSetter setter; // null: never uploaded (types without a setter)
    i32 bytes;               // bytes one upload reads (element size times count)
    PGLShaderUniformValue* owner; // the value this uniform listens to, or null
};

class PGLShaderUniformValue {
public:
    PGLShaderUniformValue() = default;
    ~PGLShaderUniformValue();
    PGLShaderUniformValue(PGLShaderUniformValue const&) = delete;
    PGLShaderUniformValue& operator=(PGLShaderUniformValue const&) = delete;

    // Adds u to the listeners (leaving any value it listened to before) and
    // points it at the current storage.
    void RegisterUniform(PGLShaderUniform* u);
    // Removes u from the listeners.
    void UnregisterUniform(PGLShaderUniform* u);
    bool HaveListeners() const { return m_listeners.Count() > 0; }
    int ListenerCount() const { return m_listeners.Count(); }
    // New storage; every listener is flagged for upload and points at it.
    // bytes is the size of the storage when known (0: the caller vouches for it).
    void SetDirty(void const* value, int bytes = 0);
    // No listeners (each is detached and left unbound), no storage.
    void Clear();
    void const* Value() const { return m_value; }
    int Bytes() const { return m_bytes; }

private:
    PObjectArray<PGLShaderUniform*> m_listeners;
    void const* m_value = nullptr;
    int m_bytes = 0;
};

// Forwarders to glUniform*: (location, count, data).
void vornUniform1iv(int location, int count, void const* data);
void vornUniform2iv(int location, int count, void const* data);
void vornUniform3iv(int location, int count, void const* data);
void vornUniform4iv(int location, int count, void const* data);
void vornUniform1fv(int location, int count, void const* data);
void vornUniform2fv(int location, int count, void const* data);
void vornUniform3fv(int location, int count, void const* data);
void vornUniform4fv(int location, int count, void const* data);
void vornUniformMatrix3fv(int location, int count, void const* data);
void vornUniformMatrix4fv(int location, int count, void const* data);

enum { kAttribCount = 11 };

class PGLShader {
public:
    PGLShader();
    ~PGLShader();
    PGLShader(PGLShader const&) = delete;
    PGLShader& operator=(PGLShader const&) = delete;

    // A program for the generated pipeline of the current state (shaders from
    // the generator's caches, generated when missing).
    void CreateShader(PFixedEmu& emu, unsigned vertexHash, unsigned fragmentHash);
    // A program from application sources.
    void CreateShader(PFixedEmu& emu, char const* vertexSource, char const* fragmentSource);

    // Uploads every uniform due (all with data while the program is changed).
    void ApplyUniforms();
    // Ties the uniform called name to value; false when the program has no such uniform.
    bool BindUniformValue(PGLShaderUniformValue& value, char const* name);

    u32 Program() const { return m_program; }
    bool Linked() const { return m_linked; }
    bool UsesAttribute(int i) const { return i >= 0 && i < kAttribCount && m_attribUsed[i]; }
    int UniformCount() const { return m_uniforms.Count(); }
    PGLShaderUniform const& Uniform(int i) const { return m_uniforms[i]; }

    bool m_changed;

private:
    void ReflectUniforms(PFixedEmu& emu, int nameBufferSize, bool acceptCube);
    void DetachUniforms();

    u32 m_program;
    bool m_linked;
    bool m_attribUsed[kAttribCount];
    PArray<PGLShaderUniform> m_uniforms;
};

} // namespace vornGL
