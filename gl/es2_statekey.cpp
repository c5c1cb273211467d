// Pipeline-state keys, their hash, the generator's name tables and the text
// buffer the keys and sources are built in.
#include "engine/runtime/palloc.h"
#include "gl/es2_fixedemu.h"

#include <GLES/gl.h>
#include <GLES/glext.h>

#include <cstring>

namespace vornGL {

// ---------------------------------------------------------------------------
// Tables

char const* const PPaperDoll::hashTable[55] = {
    "a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "l", "m", "n", "o", "p", "q", "r", "s",
    "t", "u", "v", "w", "x", "y", "z", "A", "B", "C", "D", "E", "F", "G", "H", "I", "J", "K", "L",
    "M", "N", "O", "P", "Q", "R", "S", "T", "U", "V", "W", "X", "Y", "Z", "0", "1", "2",
};
char const* const PPaperDoll::newLine = ";\n";

char const* const PPaperDoll::attribNames[11] = {
    "attribPos", "attribNormal", "attribColor", "attribUV0", "attribUV1", "attribUV2",
    "attribUV3", "attribUV4",    "attribUV5",   "attribUV6", "attribUV7",
};

char const* const PPaperDoll::variantNames[10] = {
    "varColor", "varUV0", "varUV1", "varUV2", "varUV3", "varUV4", "varUV5", "varUV6", "varUV7", "varFogFactor",
};

#define VORNGL_EIGHT(prefix, suffix)                                                                   \
    prefix "0" suffix, prefix "1" suffix, prefix "2" suffix, prefix "3" suffix, prefix "4" suffix, \
        prefix "5" suffix, prefix "6" suffix, prefix "7" suffix

char const* const PPaperDoll::uniformNames[kUniformCount] = {
    "uniModelViewProj",
    "uniModelView3x3",
    "uniModelView4x4",
    "uniProjection",
    "uniModel4x4",
    "uniView4x4",
    "uniColor",
    "uniNormal",
    VORNGL_EIGHT("uniTexture", ""),
    VORNGL_EIGHT("uniBlendColor", ""),
    VORNGL_EIGHT("uniTexMat", ""),
    "uniShininess",
    "uniEmission",
    "uniGlobalAmbient",
    VORNGL_EIGHT("uniLight", "Pos"),
    VORNGL_EIGHT("uniLight", "Ambient"),
    VORNGL_EIGHT("uniLight", "Diffuse"),
    VORNGL_EIGHT("uniLight", "Specular"),
    VORNGL_EIGHT("uniLight", "Attenuation"),
    VORNGL_EIGHT("uniLight", "SpotDirection"),
    VORNGL_EIGHT("uniLight", "SpotCutoff"),
    VORNGL_EIGHT("uniLight", "SpotExponent"),
    "uniAlphaRef",
    "uniFogColor",
    "uniFogStartEndDensityDiff",
    "uniRescaleNormalFactor",
    "uniViewVector",
    "uniCurveAmount",
};
#undef VORNGL_EIGHT

bool PPaperDoll::m_ShaderHashEmbed = false;
bool PPaperDoll::m_ShaderNoAlphaTest = false;
bool PPaperDoll::m_ShaderColorTint = false;
bool PPaperDoll::m_ExportShaders = false;
int PPaperDoll::m_ShaderColorTintIndex = 0;

// ---------------------------------------------------------------------------
// Text buffer

PPaperDoll::ShaderString::ShaderString(u32 startCapacity)
{
    text = static_cast<char*>(PAllocZ(int(startCapacity)));
    if (text)
        capacity = startCapacity;
    else
        failed = true;
}

PPaperDoll::ShaderString::ShaderString(char* buffer, u32 size) : text(buffer), capacity(size), owned(false)
{
    std::memset(buffer, 0, size);
}

PPaperDoll::ShaderString::~ShaderString()
{
    if (owned && text)
        PFree(text);
}

void PPaperDoll::ShaderString::operator+=(char const* piece)
{
    if (!piece || failed)
        return;
    u32 n = u32(std::strlen(piece));
    if (int64_t(capacity) - length - n < 1) {
        // Enough room in one step, whatever the piece's length.
        u32 grown = capacity + 1000;
        while (int64_t(grown) - length - n < 1)
            grown += 1000;
        char* p = owned && grown < 0x7FFFFFFFu ? static_cast<char*>(PAllocZ(int(grown))) : nullptr;
        if (!p) {
            failed = true;
            return;
        }
        if (text) {
            std::memcpy(p, text, capacity);
            PFree(text);
        }
        text = p;
        capacity = grown;
    }
    std::memcpy(text + length, piece, n + 1);
    length += n;
}

char* PPaperDoll::ShaderString::Release()
{
    char* t = failed ? nullptr : text;
    if (failed && owned && text)
        PFree(text);
    text = nullptr;
    capacity = length = 0;
    return t;
}

// ---------------------------------------------------------------------------
// Hash

u32 fastHash(char const* text)
{
    if (!text)
        return 0;
    size_t len = std::strlen(text);
    if (len == 0)
        return 0;
    unsigned char const* d = reinterpret_cast<unsigned char const*>(text);
    auto half = [](unsigned char const* p) -> u32 { return u32(p[0]) | u32(p[1]) << 8; };
    u32 hash = u32(len), tmp;
    for (size_t groups = len >> 2; groups > 0; --groups, d += 4) {
        hash += half(d);
        tmp = (half(d + 2) << 11) ^ hash;
        hash = (hash << 16) ^ tmp;
        hash += hash >> 11;
    }
    switch (len & 3) {
    case 3:
        hash += half(d);
        hash ^= hash << 16;
        hash ^= u32(i32(static_cast<signed char>(d[2]))) << 18;
        hash += hash >> 11;
        break;
    case 2:
        hash += half(d);
        hash ^= hash << 11;
        hash += hash >> 17;
        break;
    case 1:
        hash += u32(i32(static_cast<signed char>(d[0])));
        hash ^= hash << 10;
        hash += hash >> 1;
        break;
    }
    hash ^= hash << 3;
    hash += hash >> 5;
    hash ^= hash << 4;
    hash += hash >> 17;
    hash ^= hash << 25;
    hash += hash >> 6;
    return hash;
}

// ---------------------------------------------------------------------------
// Keys

namespace {

char s_vhashBuffer[200];
char s_fhashBuffer[200];

constexpr u32 kBitFog = 1u << 8;
constexpr u32 kBitLighting = 1u << 9;
constexpr u32 kBitAlphaTest = 1u << 10;
constexpr u32 kBitLight0 = 1u << 12;
constexpr u32 kBitColorMaterial = 1u << 22;
constexpr u32 kBitNormalize = 1u << 23;
constexpr u32 kBitRescaleNormal = 1u << 24;
constexpr u32 kBitVertexArray = 1u << 25;
constexpr u32 kBitNormalArray = 1u << 26;
constexpr u32 kBitColorArray = 1u << 27;

char const* Token(char c)
{
    if (c >= 'a' && c <= 'z')
        return PPaperDoll::hashTable[c - 'a'];
    if (c >= 'A' && c <= 'Z')
        return PPaperDoll::hashTable[26 + c - 'A'];
    return PPaperDoll::hashTable[52 + c - '0'];
}

char const* CombineToken(u32 f, bool rgb)
{
    switch (f) {
    case GL_REPLACE: return Token('N');
    case GL_MODULATE: return Token('O');
    case GL_ADD: return Token('P');
    case GL_ADD_SIGNED: return Token('Q');
    case GL_SUBTRACT: return Token('R');
    case GL_INTERPOLATE: return Token('S');
    case GL_DOT3_RGBA: return rgb ? Token('T') : nullptr;
    case GL_DOT3_RGB: return rgb ? Token('U') : nullptr;
    default: return nullptr;
    }
}

char const* SourceToken(u32 s)
{
    switch (s) {
    case GL_TEXTURE: return Token('V');
    case GL_CONSTANT: return Token('W');
    case GL_PRIMARY_COLOR: return Token('X');
    case GL_PREVIOUS: return Token('Y');
    default: return nullptr;
    }
}

char const* OperandToken(u32 o)
{
    switch (o) {
    case GL_SRC_COLOR: return Token('Z');
    case GL_ONE_MINUS_SRC_COLOR: return Token('1');
    case GL_SRC_ALPHA: return Token('0');
    case GL_ONE_MINUS_SRC_ALPHA: return Token('2');
    default: return nullptr;
    }
}

void Put(PPaperDoll::ShaderString& s, char const* token)
{
    if (token)
        s += token;
}

// Marks of state the letters of the table cannot tell apart. Each begins with a
// letter the table's tokens never use, so keys stay unambiguous, and each
// appears only in uncommon states, so the common keys keep their hashes:
//   "f" + unit digit  before a unit whose lower units are not all read by that
//                     stage (units with coordinates for the vertex key, enabled
//                     units for the fragment key)
//   "s" without a light  the emission term of lighting with no light enabled
//   "m"               lighting computed in object space
//   "y"               the vertex array is disabled
char const* const kUnitMark[8] = {"f0", "f1", "f2", "f3", "f4", "f5", "f6", "f7"};

} // namespace

void PPaperDoll::GetStateHash(PFixedEmu const& emu, unsigned& vertexHash, unsigned& fragmentHash,
                              unsigned& programHash)
{
    P3DStateMan& sm = emu.State();
    u32 E = sm.WantedLow();
    ShaderString v(s_vhashBuffer, sizeof s_vhashBuffer);
    ShaderString f(s_fhashBuffer, sizeof s_fhashBuffer);

    // Vertex key.
    if (E & kBitFog) {
        switch (emu.m_fogMode) {
        case GL_LINEAR: v += Token('v'); break;
        case GL_EXP: v += Token('w'); break;
        case GL_EXP2: v += Token('x'); break;
        default: break;
        }
    }
    if (E & kBitLighting) {
        if (E & kBitNormalize)
            v += Token('J');
        else if (E & kBitRescaleNormal)
            v += Token('I');
        v += Token('n');
        if (emu.m_objectSpaceLighting)
            v += "m";
        if (E & kBitColorMaterial)
            v += Token('H');
        else if (emu.m_materialFlags & PFixedEmu::kMatGlobalAmbient)
            v += Token('K');
        int lit = 0;
        for (int i = 0; i < PFixedEmu::kLightCount; ++i) {
            if (!(E & (kBitLight0 << i)))
                continue;
            u32 lf = emu.m_lights[i].flags;
            if (lf & PFixedEmu::kLightDirectional) {
                v += Token('o');
            } else {
                if (lf & PFixedEmu::kLightAttenuated)
                    v += Token('t');
                v += Token((lf & PFixedEmu::kLightNoSpot) ? 'p' : 'q');
            }
            if ((lf & PFixedEmu::kLightSpecular) && (emu.m_materialFlags & PFixedEmu::kMatSpecular))
                v += Token('r');
            if (emu.m_materialFlags & PFixedEmu::kMatEmission)
                v += Token('s');
            ++lit;
        }
        if (lit == 0 && (emu.m_materialFlags & PFixedEmu::kMatEmission))
            v += Token('s'); // the emission term is there without lights too
    }
    v += Token((E & kBitColorArray) ? 'b' : 'd');
    v += Token((E & kBitNormalArray) ? 'a' : 'e');
    if (!(E & kBitVertexArray))
        v += "y";

    // Fragment key.
    if (E & kBitAlphaTest) {
        u32 fn = emu.m_alphaFunc;
        if (fn >= GL_NEVER && fn <= GL_GEQUAL)
            f += hashTable[25 + (fn - GL_NEVER)]; // "z", "A" ... "F"
    }
    if (E & kBitFog)
        f += Token('u');
    if (E & (kBitColorArray | kBitLighting))
        f += Token('b');

    u32 units = sm.UnitCount();
    if (units > PFixedEmu::kUnits)
        units = PFixedEmu::kUnits;
    u32 enabledBelow = 0, texturedBelow = 0;
    for (u32 u = 0; u < units; ++u) {
        P3DTextureUnit const& tu = sm.Unit(u);
        if (!(tu.flags & 1u))
            continue;
        bool coords = tu.clientFlags & 1u;
        // The vertex shader reads the units with coordinates, the fragment
        // shader every enabled unit.
        if (coords) {
            if (texturedBelow != u)
                v += kUnitMark[u];
            ++texturedBelow;
            v += Token('c');
            if (emu.m_texMatrixFlag[u])
                v += Token('G');
        }
        if (enabledBelow != u)
            f += kUnitMark[u];
        ++enabledBelow;

        f += Token('g');
        if (coords)
            f += Token('c');
        switch (tu.envMode) {
        case GL_REPLACE: {
            f += Token('h');
            u32 format = BoundTextureFormat(sm, u);
            if (format == GL_RGB || format == GL_LUMINANCE)
                f += Token('L');
            else if (format == GL_RGBA)
                f += Token('M');
            break;
        }
        case GL_MODULATE: f += Token('i'); break;
        case GL_DECAL: f += Token('k'); break;
        case GL_ADD: f += Token('j'); break;
        case GL_BLEND: f += Token('l'); break;
        case GL_COMBINE:
            Put(f, CombineToken(tu.combineRGB, true));
            Put(f, CombineToken(tu.combineAlpha, false));
            for (int a = 0; a < 3; ++a) {
                Put(f, SourceToken(tu.srcRGB[a]));
                Put(f, SourceToken(tu.srcAlpha[a]));
                Put(f, OperandToken(tu.operandRGB[a]));
                Put(f, OperandToken(tu.operandAlpha[a]));
            }
            break;
        default: break;
        }
    }

    vertexHash = fastHash(v.text);
    fragmentHash = fastHash(f.text);
    programHash = vertexHash + fragmentHash;
}

char const* PPaperDoll::LastVertexKey() { return s_vhashBuffer; }
char const* PPaperDoll::LastFragmentKey() { return s_fhashBuffer; }

} // namespace vornGL
