// The fixed-function emulation of the OpenGL ES 2.0 back end: every piece of
// OpenGL ES 1.x state that the state manager does not keep (client arrays,
// current colour and normal, material, light model, eight lights, fog, alpha
// test, texture-environment colours), float copies of it laid out for GLSL
// uniforms, the cache of linked programs, and the application's custom
// shaders and uniforms. Before each draw the render step picks (or makes) the
// program for the state's key, uploads the uniforms that changed and points
// the vertex attributes at the client arrays.
//
// Errors go to the state manager with the emulation's tag 0x2000.
#pragma once
#include <cstdint>

#include "gl/es2_array.h"
#include "gl/es2_paperdoll.h"
#include "gl/es2_shader.h"
#include "gl/glstateman.h"

namespace vornGL {

// The pixel format of the texture bound to a unit (RGB, RGBA, LUMINANCE ...),
// 0 when none is bound. In OpenGL ES 1.1 the internal format equals it.
inline u32 BoundTextureFormat(P3DStateMan& sm, u32 unit)
{
    P3DStateMan::__texture const* t = sm.BoundTexture(unit);
    return t ? t->format : 0;
}

class PFixedEmu {
public:
    // Flags of a light record.
    enum : u32 {
        kLightDiffuse = 0x2,
        kLightAmbient = 0x4,
        kLightSpecular = 0x8,
        kLightDirectional = 0x20,
        kLightNoSpot = 0x40,
        kLightSpot = 0x80,
        kLightAttenuated = 0x1000,
    };
    // Material flags.
    enum : u32 {
        kMatDiffuse = 0x2,
        kMatAmbient = 0x4,
        kMatSpecular = 0x8,
        kMatEmission = 0x10,
        kMatGlobalAmbient = 0x800,
    };
    enum { kArrayCount = 11, kLightCount = 8, kUnits = 8 };
    static constexpr u32 kErrorTag = 0x2000;
    static constexpr u32 kDeletedKey = 0xFFFFFFFFu;

    struct ClientArray {
        u8 changed;
        u32 type;
        i32 size;
        i32 stride;
        void const* pointer;
        u32 buffer; // the array buffer bound when the pointer was given
    };
    struct Light {
        u32 flags;
        i32 ambient[4], diffuse[4], specular[4];
        i32 position[4];
        i32 spotDirection[3];
        i32 spotExponent, spotCutoff;
        i32 attenuation[3]; // constant, linear, quadratic
    };
    struct LightFloats {
        f32 ambient[4], diffuse[4], specular[4]; // products with the material
        f32 position[3];
        f32 spotDirection[3];
        f32 spotExponent, spotCutoff; // the cut-off as its cosine
        f32 attenuation[3];
        f32 viewVector[3];
    };
    // A program-cache entry. Generated programs are found by both hashes of
    // their state key, custom ones by key (index or handle).
    struct ProgramEntry {
        u32 key;
        u32 vertexHash, fragmentHash;
        u8 generated;
        PGLShader* program;
    };
    struct CustomShader {
        u32 handle;
        char* vertexSource;
        char* fragmentSource;
    };
    struct CustomUniform {
        u32 kind; // 1 standard, 0 custom
        PGLShaderUniformValue* value;
        char* name;
        PArray<u32>* programs; // handles
        bool ownsValue;
    };

    explicit PFixedEmu(P3DStateMan& state);
    ~PFixedEmu();
    PFixedEmu(PFixedEmu const&) = delete;
    PFixedEmu& operator=(PFixedEmu const&) = delete;

    void SetBackend(P3DBackend* b) { m_backend = b; }
    P3DStateMan& State() const { return *m_state; }

    // Current values.
    void glColor4f(f32 r, f32 g, f32 b, f32 a);
    void glColor4x(i32 r, i32 g, i32 b, i32 a);
    void glColor4ub(u8 r, u8 g, u8 b, u8 a);
    void glNormal3f(f32 x, f32 y, f32 z);
    void glNormal3x(i32 x, i32 y, i32 z);
    void glAlphaFunc(u32 func, f32 ref);
    void glAlphaFuncx(u32 func, i32 ref);

    // Client arrays.
    void glVertexPointer(i32 size, u32 type, i32 stride, void const* pointer);
    void glNormalPointer(u32 type, i32 stride, void const* pointer);
    void glColorPointer(i32 size, u32 type, i32 stride, void const* pointer);
    void glTexCoordPointer(i32 size, u32 type, i32 stride, void const* pointer);
    // The array buffer the application bound (recorded with each pointer).
    void SetArrayBuffer(u32 buffer) { m_arrayBuffer = buffer; }
    void BufferDeleted(u32 buffer);

    // Material, light model, lights, fog.
    void glMaterialxv(u32 face, u32 pname, i32 const* params);
    void glMaterialfv(u32 face, u32 pname, f32 const* params);
    void glLightModelxv(u32 pname, i32 const* params);
    void glLightModelfv(u32 pname, f32 const* params);
    void glLightxv(u32 light, u32 pname, i32 const* params);
    void glLightfv(u32 light, u32 pname, f32 const* params);
    void glFogxv(u32 pname, i32 const* params);
    void glFogfv(u32 pname, f32 const* params);

    // Texture environment.
    void glTexEnvGeneric(u32 target, u32 pname, i32 value);
    void glTexEnvxv(u32 target, u32 pname, i32 const* params);
    void glTexEnvfv(u32 target, u32 pname, f32 const* params);
    void glTexEnviv(u32 target, u32 pname, i32 const* params);

    // Conversions passed to OpenGL ES 2.0.
    void glClearColorx(i32 r, i32 g, i32 b, i32 a);
    void glClearDepthx(i32 d);
    void glDepthRangex(i32 n, i32 f);
    void glLineWidthx(i32 w);
    void glPolygonOffsetx(i32 factor, i32 units);
    void glSampleCoveragex(i32 value, u8 invert);
    void glTexParameterxv(u32 target, u32 pname, i32 const* params);

    // Queries.
    void glGetFixedv(u32 pname, i32* data);
    void glGetIntegerv(u32 pname, i32* data);
    // The client arrays' pointers (what GL ES 1.1 answers for them).
    void glGetPointerv(u32 pname, void** params);

    // Drawing.
    void glDrawArrays(u32 mode, i32 first, i32 count);
    void glDrawElements(u32 mode, i32 count, u32 type, void const* indices);
    // False when no program could be made (the draw is then skipped).
    bool ApplyRender();
    void UpdateMatrices(int which);
    void UpdateLights();
    void vornGLSampleViewMatrix();

    // Shader cache maintenance.
    void vornGLClearShaderCache();
    void vornGLRestoreShaders();
    int vornGLPreloadShaders();
    int vornGLSaveShaders();

    // Custom shaders and uniforms.
    u32 vornGLCreateCustomShader(char const* vs, char const* fs);
    void vornGLSetCustomShader(u32 index);
    void vornGLDeleteCustomShader(u32 index);
    u32 vornGLGetCustomShaderIndex() const { return m_customIndex; }
    i32 vornGLBindUniformValue(u32 index, PGLShaderUniformValue& value, char const* name);
    void vornGLGenCustomShaders(u32 n, u32* handles);
    void vornGLCustomShaderSource(u32 handle, char const* vs, char const* fs);
    void vornGLUseCustomShader(u32 handle);
    u32 vornGLGetCurrentCustomShaderHandle() const { return m_customHandle; }
    void vornGLDeleteCustomShaders(u32 n, u32* handles);
    void vornGLGenUniform(char const* name, u32* id);
    void vornGLBindUniform(u32 handle, u32 id);
    void vornGLSetUniformData(u32 id, void* data);

    // The standard uniform value of a slot.
    PGLShaderUniformValue& UniformValue(int k) { return m_uniforms[k]; }
    PGLShader* CurrentProgram() const { return m_current; }
    PGLShader* ForcedProgram() const { return m_forced; }
    int ProgramCount() const { return m_programs.Count(); }
    ProgramEntry const& ProgramAt(int i) const { return m_programs[i]; }
    int CustomShaderCount() const { return m_customShaders.Count(); }
    int CustomUniformCount() const { return m_customUniforms.Count(); }
    // Vertex attribute arrays enabled in GL (bit i: attribute i).
    u32 EnabledAttributes() const { return m_attribEnabled; }

    // The state, read by the generator and the tests.
    u8 m_objectSpaceLighting;
    P3DBackend* m_backend;
    P3DStateMan* m_state;
    PGLShader* m_current;
    PGLShader* m_forced;
    u32 m_customIndex;
    u32 m_customHandle;
    ClientArray m_arrays[kArrayCount];
    u32 m_materialFlags;
    i32 m_colour[4];
    i32 m_lightModelAmbient[4];
    i32 m_matAmbient[4], m_matDiffuse[4], m_matSpecular[4], m_matEmission[4];
    i32 m_matShininess;
    Light m_lights[kLightCount];
    LightFloats m_lightFloats[kLightCount];
    u32 m_fogMode;
    f32 m_fogColour[4];
    f32 m_fogParams[4]; // start, end, density, 1 / (end - start)
    f32 m_shininess;
    f32 m_emission[4];
    f32 m_globalAmbient[4];
    f32 m_normal[3];
    f32 m_colourFloat[4];
    f32 m_mv3x3[9], m_mv[16], m_mvp[16], m_projection[16], m_viewFloat[16], m_model[16];
    f32 m_rescaleNormal;
    u32 m_samplerUnits[kUnits];
    f32 m_envColour[kUnits][4];
    i32 m_view[16];
    f32 m_texMatrix[kUnits][16];
    u8 m_texMatrixFlag[kUnits];
    u32 m_alphaFunc;
    f32 m_alphaRef;

private:
    void Error(u32 code);
    // Points value k at storage and flags its listeners.
    void Mark(int k, void const* storage, int bytes);
    // Copies n floats into dst and marks value k, only when something changed.
    void SetFloats(int k, f32* dst, f32 const* src, int n);
    void WireStandardUniforms();
    void DestroyProgram(PGLShader* p);
    PGLShader* FindGenerated(u32 vertexHash, u32 fragmentHash) const;
    int FindCustomEntry(u32 key) const;
    void ApplyAttributes(PGLShader* p);
    bool ArrayEnabled(int i) const;
    void LightFlagsFromState(Light& l);
    void DeleteAllPrograms();
    CustomUniform* UniformRecord(u32 id);

    PGLShaderUniformValue m_uniforms[kUniformCount];
    PObjectArray<ProgramEntry> m_programs;
    PArray<CustomShader> m_customShaders;
    PArray<CustomUniform> m_customUniforms;
    u32 m_arrayBuffer;
    u32 m_attribEnabled;
};

} // namespace vornGL
