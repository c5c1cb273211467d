// The span table and the row choice, against a second derivation written
// from the table's rules: the routine and set-up of every row, and the row
// UpdateRender picks for every combination of texture format, environment,
// blend function, depth test, perspective, shading and filter.
#include "sw_fixture.h"

#include <string>

using namespace swtest;

namespace {

std::string ExpectedSpan(int row)
{
    if (row < 120) {
        int b = row / 20, z = (row / 10) % 2, k = row % 10;
        // Kinds 0-9 by blend index 0-3, without and with depth.
        static char const* const table[10][8] = {
            {"DrawInnerFlat", "DrawInnerFlatZ", "PDrawAFAsm", "PDrawAFZAsm", "PDrawAAFAsm", "PDrawAAFZAsm",
             "PDrawADDFAsm", "PDrawADDFZAsm"},
            {"PDrawCSAsm", "PDrawZCSAsm", "PDrawAGAsm", "PDrawAGZAsm", "PDrawAAGAsm", "PDrawAAGZAsm", "PDrawADDGAsm",
             "PDrawADDGZAsm"},
            {"PDrawTAsm", "PDrawZTAsm", "PDrawATAsm", "PDrawATZAsm", "PDrawAATAsm", "PDrawAATZAsm", "PDrawADDTAsm",
             "PDrawADDTZAsm"},
            {"PDrawGTAsm", "PDrawGTZAsm", "DrawInnerAGT", "DrawInnerAGTZ", "DrawInnerAAGT", "DrawInnerAAGTZ",
             "DrawInnerADDGT", "DrawInnerADDGTZ"},
            {"PDrawBTAsm", "PDrawBTZAsm", "PDrawBTAsm", "PDrawBTZAsm", "PDrawBTAsm", "PDrawBTZAsm", "PDrawBTAsm",
             "PDrawBTZAsm"},
            {"PDrawGWTAsm", "PDrawGWTZAsm", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr},
            {"PDrawTPAsm", "PDrawZTPAsm", "PDrawATPAsm", "PDrawATPZAsm", "PDrawAATPAsm", "PDrawAATPZAsm",
             "PDrawADDTPAsm", "PDrawADDTPZAsm"},
            {"PDrawGTPAsm", "PDrawGTPZAsm", "DrawInnerAGTP", "DrawInnerAGTPZ", "DrawInnerAAGTP", "DrawInnerAAGTPZ",
             "DrawInnerADDGTP", "DrawInnerADDGTPZ"},
            {"PDrawBTPAsm", "PDrawBTPZAsm", "PDrawBTPAsm", "PDrawBTPZAsm", "PDrawBTPAsm", "PDrawBTPZAsm", "PDrawBTPAsm",
             "PDrawBTPZAsm"},
            {"PDrawGWTPAsm", "PDrawGWTPZAsm", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr},
        };
        if (b >= 4)
            return k == 0 ? "DrawInnerFlat" : k == 1 ? "PDrawCSAsm" : "DrawInnerGeneric";
        char const* name = table[k][2 * b + z];
        if (!name) // with blending, the grey kinds 5 and 9 draw as 3 and 7 (the texel times the colour)
            name = table[k < 6 ? 3 : 7][2 * b + z];
        return name;
    }
    if (row == 216)
        return "DrawInnerABGT88";
    if (row == 217)
        return "DrawInnerNoice";
    if (row == 177)
        return "PDrawAGT88Asm";
    bool is4444 = row < 168;
    int m = (row - (is4444 ? 120 : 168)) % 8, b = (row - (is4444 ? 120 : 168)) / 8;
    bool g = m & 1, z = m & 2, p = m & 4;
    static char const* const letters[6] = {"", "A", "AA", "ADD", "M", "MX2"};
    if (b == 3 && (is4444 || p))
        b = 2;
    return std::string("DrawInner") + letters[b] + (g ? "G" : "") + "T" + (p ? "P" : "") + (z ? "Z" : "") +
           (is4444 ? "4444" : "88");
}

std::string ExpectedSetup(int row)
{
    if (row >= 216)
        return row == 216 ? "UVG" : "Noice";
    if (row >= 120)
        return ((row - (row < 168 ? 120 : 168)) % 8) < 4 ? "UVG" : "All";
    int b = row / 20, k = row % 10;
    if (k == 0)
        return "Flat";
    if (k == 1)
        return "Gouraud";
    if (b >= 4)
        return "AllP";
    if (k >= 6)
        return "All";
    return (b == 0 && k == 2) ? "UV" : "UVG";
}

TEST(SpanTable, EveryRowAsTheRulesGiveIt)
{
    for (int row = 0; row < vornGL::kSpanRows; ++row) {
        EXPECT_EQ(vornGL::SpanRowName(row), ExpectedSpan(row)) << "row " << row;
        EXPECT_EQ(vornGL::SetupRowName(row), ExpectedSetup(row)) << "row " << row;
        EXPECT_NE(vornGL::m_polyfunc[row].span, nullptr);
        EXPECT_EQ(vornGL::m_polyfunc[row].rightEdge, &vornGL::RightSlope);
    }
    EXPECT_EQ(std::string(vornGL::SpanRowName(151)), "DrawInnerAAGTPZ4444");
    EXPECT_EQ(std::string(vornGL::SpanRowName(179)), "DrawInnerAGTZ88");
}

enum class Tex { None, Disabled, Empty, RGB565, RGBA565, T4444, T88 };

// The row of a state, as the row-choice rules give it; key: the colour key
// the choice sets.
int ExpectedRow(Tex tex, GLenum env, int blendCode, bool blendOn, bool depth, bool persp, bool smooth, bool linear,
                bool& key)
{
    key = false;
    int b = 0;
    if (blendOn)
        b = blendCode == 1 ? 1 : blendCode == 2 ? 2 : blendCode == 4 ? 3 : blendCode == 8 ? 4 : blendCode == 16 ? 5 : 0;
    if (tex == Tex::T4444 || tex == Tex::T88) {
        int row = (tex == Tex::T4444 ? 120 : 168) + 8 * b + (env == GL_MODULATE) + 2 * depth + 4 * persp;
        return (row == 177 && linear) ? 216 : row;
    }
    bool textured = tex == Tex::RGB565 || tex == Tex::RGBA565;
    int k = !textured ? (smooth ? 1 : 0) : (env == GL_MODULATE ? 3 : (env == GL_ADD || env == GL_BLEND) ? 4 : 2) + 4 * persp;
    int row = k + 10 * depth;
    if (b == 1 && textured && env == GL_REPLACE) {
        key = tex == Tex::RGBA565;
        return row;
    }
    // Alpha 0 under MODULATE and the alpha blends: the keyed texels are left out.
    key = (b == 1 || b == 2) && tex == Tex::RGBA565 && env == GL_MODULATE;
    return row + 20 * b;
}

TEST_F(SwFixture, RowForEveryState)
{
    uint32_t names[5];
    sw->glGenTextures(5, names);
    uint16_t t16 = 0;
    uint8_t rgba[4] = {0, 0, 0, 0};
    gles->glBindTexture(GL_TEXTURE_2D, names[0]);
    gles->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 1, 1, 0, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, &t16);
    gles->glBindTexture(GL_TEXTURE_2D, names[1]);
    gles->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_SHORT_5_5_5_1, &t16);
    gles->glBindTexture(GL_TEXTURE_2D, names[2]);
    gles->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    gles->glBindTexture(GL_TEXTURE_2D, names[3]);
    gles->glTexImage2D(GL_TEXTURE_2D, 0, GL_LUMINANCE_ALPHA, 1, 1, 0, GL_LUMINANCE_ALPHA, GL_UNSIGNED_BYTE, rgba);
    // names[4] stays without texels.

    struct {
        GLenum s, d;
        int code;
    } const blends[] = {{GL_ONE, GL_ZERO, 0},         {GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, 1},
                        {GL_SRC_ALPHA, GL_ONE, 2},   {GL_ONE, GL_ONE, 4},
                        {GL_DST_COLOR, GL_ZERO, 8}, {GL_DST_COLOR, GL_SRC_COLOR, 16}};
    GLenum const envs[] = {GL_REPLACE, GL_MODULATE, GL_DECAL, GL_ADD, GL_BLEND};
    Tex const texs[] = {Tex::None, Tex::Disabled, Tex::Empty, Tex::RGB565, Tex::RGBA565, Tex::T4444, Tex::T88};
    std::vector<int32_t> zero(6, 0);
    sw->glVertexPointer(2, GL_FIXED, 0, zero.data());
    int checked = 0;
    for (Tex tex : texs)
        for (GLenum env : envs)
            for (auto const& bl : blends)
                for (int bits = 0; bits < 32; ++bits) {
                    bool blendOn = bits & 1, depth = bits & 2, persp = bits & 4, smooth = bits & 8, linear = bits & 16;
                    switch (tex) {
                    case Tex::None: gles->glBindTexture(GL_TEXTURE_2D, 0), gles->glDisable(GL_TEXTURE_2D); break;
                    case Tex::Disabled: gles->glBindTexture(GL_TEXTURE_2D, names[0]), gles->glDisable(GL_TEXTURE_2D); break;
                    case Tex::Empty: gles->glBindTexture(GL_TEXTURE_2D, names[4]), gles->glEnable(GL_TEXTURE_2D); break;
                    case Tex::RGB565: gles->glBindTexture(GL_TEXTURE_2D, names[0]), gles->glEnable(GL_TEXTURE_2D); break;
                    case Tex::RGBA565: gles->glBindTexture(GL_TEXTURE_2D, names[1]), gles->glEnable(GL_TEXTURE_2D); break;
                    case Tex::T4444: gles->glBindTexture(GL_TEXTURE_2D, names[2]), gles->glEnable(GL_TEXTURE_2D); break;
                    case Tex::T88: gles->glBindTexture(GL_TEXTURE_2D, names[3]), gles->glEnable(GL_TEXTURE_2D); break;
                    }
                    gles->glTexEnvx(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, int32_t(env));
                    gles->glBlendFunc(bl.s, bl.d);
                    blendOn ? gles->glEnable(GL_BLEND) : gles->glDisable(GL_BLEND);
                    depth ? gles->glEnable(GL_DEPTH_TEST) : gles->glDisable(GL_DEPTH_TEST);
                    sw->glHint(GL_PERSPECTIVE_CORRECTION_HINT, persp ? GL_NICEST : GL_FASTEST);
                    sw->glShadeModel(smooth ? GL_SMOOTH : GL_FLAT);
                    sw->glTexParameterx(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, linear ? GL_LINEAR : GL_NEAREST);
                    gles->glDrawArrays(GL_TRIANGLES, 0, 3);
                    bool key = false;
                    int expected = ExpectedRow(tex, env, bl.code, blendOn, depth, persp, smooth, linear, key);
                    ASSERT_EQ(sw->RenderRow(), expected)
                        << "texture " << int(tex) << " env " << std::hex << env << " blend " << bl.code << " bits "
                        << bits;
                    ASSERT_EQ(sw->Setup().colourKey, key ? 1 : 0) << int(tex) << " " << bits;
                    ++checked;
                }
    EXPECT_EQ(checked, 7 * 5 * 6 * 32);
    EXPECT_EQ(Error(), 0u);
}

} // namespace
