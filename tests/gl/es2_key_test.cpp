// Pipeline-state keys and their hash: the hash against the published
// SuperFastHash reference, the keys of documented states, and the marks that
// keep states with different shaders apart.
#include <GLES/gl.h>
#include <GLES/glext.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

#include "gl/es2_fixedemu.h"
#include "gl/glstateman.h"
#include "es2_testgl.h"

using namespace vornGL;

namespace {

// Paul Hsieh's SuperFastHash as published (portable get16bits).
#define REF_GET16(d) ((((uint32_t)(((const uint8_t*)(d))[1])) << 8) + (uint32_t)(((const uint8_t*)(d))[0]))
uint32_t ReferenceSuperFastHash(const char* data, int len)
{
    uint32_t hash = len, tmp;
    int rem;
    if (len <= 0 || data == NULL)
        return 0;
    rem = len & 3;
    len >>= 2;
    for (; len > 0; len--) {
        hash += REF_GET16(data);
        tmp = (REF_GET16(data + 2) << 11) ^ hash;
        hash = (hash << 16) ^ tmp;
        data += 2 * sizeof(uint16_t);
        hash += hash >> 11;
    }
    switch (rem) {
    case 3:
        hash += REF_GET16(data);
        hash ^= hash << 16;
        hash ^= ((signed char)data[sizeof(uint16_t)]) << 18;
        hash += hash >> 11;
        break;
    case 2:
        hash += REF_GET16(data);
        hash ^= hash << 11;
        hash += hash >> 17;
        break;
    case 1:
        hash += (signed char)*data;
        hash ^= hash << 10;
        hash += hash >> 1;
    }
    hash ^= hash << 3;
    hash += hash >> 5;
    hash ^= hash << 4;
    hash += hash >> 17;
    hash ^= hash << 25;
    hash += hash >> 6;
    return hash;
}

TEST(Es2Hash, MatchesTheReferenceOnRandomStrings)
{
    EXPECT_EQ(fastHash(nullptr), 0u);
    EXPECT_EQ(fastHash(""), 0u);
    std::mt19937 rng(1234);
    for (int n = 0; n < 20000; ++n) {
        std::string s(rng() % 70 + 1, 'x');
        for (char& c : s)
            c = char(rng() % 255 + 1); // every byte but the terminator, above 0x7F included
        ASSERT_EQ(fastHash(s.c_str()), ReferenceSuperFastHash(s.data(), int(s.size()))) << n;
    }
}

// An emulation on a state manager with eight units over a recording back end
// (making keys calls no GL).
struct Keys : testes2::RecordedEmu {
    unsigned vh = 0, fh = 0, ph = 0;

    void SetUp() override
    {
        RecordedEmu::SetUp();
        sm.EnableDisableCap(GL_VERTEX_ARRAY, 1);
        for (u32 u = 0; u < sm.UnitCount(); ++u)
            sm.Unit(u).envMode = GL_MODULATE;
    }
    std::string V()
    {
        PPaperDoll::GetStateHash(emu, vh, fh, ph);
        return PPaperDoll::LastVertexKey();
    }
    std::string F()
    {
        PPaperDoll::GetStateHash(emu, vh, fh, ph);
        return PPaperDoll::LastFragmentKey();
    }
    void Unit(u32 u, bool on, bool coords, u32 mode = GL_MODULATE)
    {
        sm.glActiveTexture(GL_TEXTURE0 + u);
        sm.glClientActiveTexture(GL_TEXTURE0 + u);
        sm.EnableDisableCap(GL_TEXTURE_2D, on);
        sm.EnableDisableCap(GL_TEXTURE_COORD_ARRAY, coords);
        sm.Unit(u).envMode = mode;
        sm.glActiveTexture(GL_TEXTURE0);
        sm.glClientActiveTexture(GL_TEXTURE0);
    }
};

TEST_F(Keys, DocumentedStates)
{
    ASSERT_GE(sm.UnitCount(), 2u);
    // Nothing enabled: d, e and an empty fragment key.
    EXPECT_EQ(V(), "de");
    EXPECT_EQ(F(), "");
    EXPECT_EQ(fh, 0u);
    EXPECT_EQ(ph, vh);

    // Lighting with light 0 as it starts: n, K, o, then the arrays; fragment b.
    sm.EnableDisableCap(GL_LIGHTING, 1);
    sm.EnableDisableCap(GL_LIGHT0, 1);
    EXPECT_EQ(V(), "nKode");
    EXPECT_EQ(F(), "b");

    // Emission with three lights gives one "s" per light.
    i32 const red[4] = {0x10000, 0, 0, 0x10000};
    emu.glMaterialxv(GL_FRONT_AND_BACK, GL_EMISSION, red);
    sm.EnableDisableCap(GL_LIGHT1, 1);
    sm.EnableDisableCap(GL_LIGHT2, 1);
    std::string v = V();
    EXPECT_EQ(std::count(v.begin(), v.end(), 's'), 3);
    sm.EnableDisableCap(GL_LIGHTING, 0);

    // Alpha test: ALWAYS adds nothing, NEVER "z", GEQUAL "F".
    sm.EnableDisableCap(GL_ALPHA_TEST, 1);
    emu.glAlphaFuncx(GL_ALWAYS, 0);
    EXPECT_EQ(F(), "");
    emu.glAlphaFuncx(GL_NEVER, 0);
    EXPECT_EQ(F(), "z");
    emu.glAlphaFuncx(GL_GEQUAL, 0);
    EXPECT_EQ(F(), "F");
    sm.EnableDisableCap(GL_ALPHA_TEST, 0);

    // COMBINE with INTERPOLATE and the initial sources and operands.
    Unit(0, true, false, GL_COMBINE);
    emu.glTexEnvGeneric(GL_TEXTURE_ENV, GL_COMBINE_RGB, GL_INTERPOLATE);
    emu.glTexEnvGeneric(GL_TEXTURE_ENV, GL_COMBINE_ALPHA, GL_INTERPOLATE);
    EXPECT_EQ(F(), "gSSVVZ0YYZ0WW00");

    // Fog modes.
    sm.EnableDisableCap(GL_FOG, 1);
    i32 linear = GL_LINEAR;
    emu.glFogxv(GL_FOG_MODE, &linear);
    EXPECT_EQ(V().substr(0, 1), "v");
    EXPECT_EQ(F().substr(0, 1), "u");
}

TEST_F(Keys, ReplaceTokenFollowsTheBoundTexturesFormat)
{
    u32 name = 0;
    sm.glGenTextures(1, &name);
    sm.glBindTexture(GL_TEXTURE_2D, name);
    Unit(0, true, true, GL_REPLACE);
    sm.glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 2, 2, 0, GL_RGB, GL_UNSIGNED_BYTE, nullptr);
    EXPECT_EQ(F(), "gchL");
    sm.glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 2, 2, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    EXPECT_EQ(F(), "gchM");
    sm.glTexImage2D(GL_TEXTURE_2D, 0, GL_ALPHA, 2, 2, 0, GL_ALPHA, GL_UNSIGNED_BYTE, nullptr);
    EXPECT_EQ(F(), "gch");
}

// States whose shaders differ get different keys; the marks appear only in
// uncommon states, so common keys keep their letters (and hashes).
TEST_F(Keys, StatesWithDifferentShadersGetDifferentKeys)
{
    Unit(0, true, true);
    EXPECT_EQ(V(), "dec");
    EXPECT_EQ(F(), "gci");
    Unit(1, true, true);
    EXPECT_EQ(V(), "decc");
    EXPECT_EQ(F(), "gcigci");

    // Only unit 1 enabled: its index is marked.
    Unit(0, false, false);
    EXPECT_EQ(V(), "def1c");
    EXPECT_EQ(F(), "f1gci");

    // Object-space lighting changes the lighting code.
    Unit(1, false, false);
    sm.EnableDisableCap(GL_LIGHTING, 1);
    std::string eye = V();
    emu.m_objectSpaceLighting = 1;
    EXPECT_EQ(V(), "nmKde");
    EXPECT_NE(V(), eye);
    emu.m_objectSpaceLighting = 0;
    sm.EnableDisableCap(GL_LIGHTING, 0);

    // A disabled vertex array.
    sm.EnableDisableCap(GL_VERTEX_ARRAY, 0);
    EXPECT_EQ(V(), "dey");
}

} // namespace
