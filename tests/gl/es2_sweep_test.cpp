// A sweep of random pipeline states (fog, lighting options, each light's kind,
// arrays, units, texture environments and combiners, alpha functions, the
// generator's switches): every generated vertex and fragment shader must
// validate as GLSL ES 1.00 with glslangValidator, and every program must link
// on Mesa's OpenGL ES 2.0.
#include <GLES/gl.h>
#include <GLES/glext.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <string>

#include "es2_testgl.h"
#include "gl/es2_gl.h"

using namespace vornGL;

namespace {

// The regular run samples 1,000 states; the daily run (ctest label "long")
// sets KRV_SWEEP_STATES=10000.
int States()
{
    char const* e = std::getenv("KRV_SWEEP_STATES");
    int n = e ? std::atoi(e) : 0;
    return n > 0 ? n : 1000;
}

struct Sweep : testes2::OnMesaEs2<16> {
    std::mt19937 rng{20240607};

    bool Coin(int percent = 50) { return int(rng() % 100) < percent; }
    template <class T, size_t N> T Pick(T const (&a)[N]) { return a[rng() % N]; }

    void Randomize(u32 const* textures)
    {
        GLES& g = *fe.gl;
        P3DBackend* b = fe.backend();
        auto cap = [&](u32 c, int percent) { Coin(percent) ? g.glEnable(c) : g.glDisable(c); };
        cap(GL_FOG, 30);
        i32 fogMode = Pick({GL_LINEAR, GL_EXP, GL_EXP2});
        b->glFogxv(GL_FOG_MODE, &fogMode);
        cap(GL_LIGHTING, 50);
        cap(GL_NORMALIZE, 30);
        cap(GL_RESCALE_NORMAL, 30);
        cap(GL_COLOR_MATERIAL, 30);
        cap(GL_ALPHA_TEST, 40);
        b->glAlphaFuncx(Pick({GL_NEVER, GL_LESS, GL_EQUAL, GL_LEQUAL, GL_GREATER, GL_NOTEQUAL, GL_GEQUAL, GL_ALWAYS}),
                        0x8000);
        i32 const black[4] = {0, 0, 0, 0x10000}, grey[4] = {0x8000, 0x8000, 0x8000, 0x10000};
        b->glMaterialxv(GL_FRONT_AND_BACK, GL_SPECULAR, Coin() ? grey : black);
        b->glMaterialxv(GL_FRONT_AND_BACK, GL_EMISSION, Coin(30) ? grey : black);
        b->glMaterialxv(GL_FRONT_AND_BACK, GL_AMBIENT, Coin(70) ? grey : black);
        b->glLightModelxv(GL_LIGHT_MODEL_AMBIENT, Coin(80) ? grey : black);
        for (u32 l = 0; l < 8; ++l) {
            cap(GL_LIGHT0 + l, 25);
            i32 const pos[4] = {0x10000, 0x20000, 0x30000, Coin() ? 0 : 0x10000};
            b->glLightxv(GL_LIGHT0 + l, GL_POSITION, pos);
            i32 cutoff = Coin() ? 180 << 16 : 45 << 16;
            b->glLightxv(GL_LIGHT0 + l, GL_SPOT_CUTOFF, &cutoff);
            i32 quadratic = Coin(30) ? 0x100 : 0;
            b->glLightxv(GL_LIGHT0 + l, GL_QUADRATIC_ATTENUATION, &quadratic);
            b->glLightxv(GL_LIGHT0 + l, GL_SPECULAR, Coin() ? grey : black);
        }
        cap(GL_VERTEX_ARRAY, 95);
        cap(GL_NORMAL_ARRAY, 50);
        cap(GL_COLOR_ARRAY, 40);
        P3DStateMan& sm = g.GetStateMan();
        int unitLimit = int(rng() % 4) == 0 ? 8 : 3; // most states use few units
        for (u32 u = 0; u < sm.UnitCount(); ++u) {
            g.glActiveTexture(GL_TEXTURE0 + u);
            g.glClientActiveTexture(GL_TEXTURE0 + u);
            bool on = int(u) < unitLimit && Coin(u == 0 ? 70 : 35);
            on ? g.glEnable(GL_TEXTURE_2D) : g.glDisable(GL_TEXTURE_2D);
            Coin(80) ? g.glEnableClientState(GL_TEXTURE_COORD_ARRAY) : g.glDisableClientState(GL_TEXTURE_COORD_ARRAY);
            g.glBindTexture(GL_TEXTURE_2D, textures[rng() % 5]);
            g.glTexEnvx(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE,
                        Pick({GL_REPLACE, GL_MODULATE, GL_DECAL, GL_ADD, GL_BLEND, GL_COMBINE}));
            g.glTexEnvx(GL_TEXTURE_ENV, GL_COMBINE_RGB,
                        Pick({GL_REPLACE, GL_MODULATE, GL_ADD, GL_ADD_SIGNED, GL_INTERPOLATE, GL_SUBTRACT, GL_DOT3_RGB,
                              GL_DOT3_RGBA}));
            g.glTexEnvx(GL_TEXTURE_ENV, GL_COMBINE_ALPHA,
                        Pick({GL_REPLACE, GL_MODULATE, GL_ADD, GL_ADD_SIGNED, GL_INTERPOLATE, GL_SUBTRACT}));
            for (int a = 0; a < 3; ++a) {
                u32 const sources[] = {GL_TEXTURE, GL_CONSTANT, GL_PRIMARY_COLOR, GL_PREVIOUS};
                g.glTexEnvx(GL_TEXTURE_ENV, GL_SRC0_RGB + a, Pick(sources));
                g.glTexEnvx(GL_TEXTURE_ENV, GL_SRC0_ALPHA + a, Pick(sources));
                g.glTexEnvx(GL_TEXTURE_ENV, GL_OPERAND0_RGB + a,
                            Pick({GL_SRC_COLOR, GL_ONE_MINUS_SRC_COLOR, GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA}));
                g.glTexEnvx(GL_TEXTURE_ENV, GL_OPERAND0_ALPHA + a, Pick({GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA}));
            }
            g.glMatrixMode(GL_TEXTURE);
            g.glLoadIdentity();
            if (Coin(20))
                g.glScalex(0x20000, 0x10000, 0x10000);
        }
        g.glMatrixMode(GL_MODELVIEW);
        g.glActiveTexture(GL_TEXTURE0);
        g.glClientActiveTexture(GL_TEXTURE0);
        sm.ApplyTextures(); // hands the texture matrices over
        fe.es2->Emulation().m_objectSpaceLighting = Coin(15);
        PPaperDoll::m_ShaderHashEmbed = Coin(10);
        PPaperDoll::m_ShaderNoAlphaTest = Coin(10);
        PPaperDoll::m_ShaderColorTint = Coin(5);
    }
};

// Runs glslangValidator on the files; the names of those that fail.
std::set<std::string> Validate(std::vector<std::string> const& files, std::string& log)
{
    std::set<std::string> failed;
    for (size_t at = 0; at < files.size(); at += 200) {
        std::string cmd = "glslangValidator";
        size_t end = std::min(files.size(), at + 200);
        for (size_t i = at; i < end; ++i)
            cmd += " " + files[i];
        cmd += " 2>&1";
        FILE* p = popen(cmd.c_str(), "r");
        if (!p) {
            failed.insert("(glslangValidator did not start)");
            return failed;
        }
        std::string current, out;
        char line[4096];
        while (fgets(line, sizeof line, p)) {
            std::string s(line);
            out += s;
            std::string bare = s.substr(0, s.find('\n'));
            if (std::find(files.begin() + long(at), files.begin() + long(end), bare) != files.begin() + long(end))
                current = bare;
            else if (s.rfind("ERROR", 0) == 0)
                failed.insert(current);
        }
        int rc = pclose(p);
        if (rc != 0 && failed.empty())
            failed.insert("(glslangValidator exit " + std::to_string(rc) + ")");
        if (!failed.empty())
            log += out;
    }
    return failed;
}

TEST_F(Sweep, EveryGeneratedShaderValidatesAndEveryProgramLinks)
{
    ASSERT_EQ(std::system("glslangValidator -v > /dev/null 2>&1"), 0)
        << "glslangValidator (Debian glslang-tools) is needed; scripts/deps.sh installs it";
    GLES& g = *fe.gl;
    u32 textures[5] = {};
    g.glGenTextures(5, textures);
    u32 const formats[5] = {GL_RGB, GL_RGBA, GL_LUMINANCE, GL_ALPHA, GL_LUMINANCE_ALPHA};
    for (int i = 0; i < 5; ++i) {
        g.glBindTexture(GL_TEXTURE_2D, textures[i]);
        g.glTexImage2D(GL_TEXTURE_2D, 0, i32(formats[i]), 1, 1, 0, formats[i], GL_UNSIGNED_BYTE, "\xff\xff\xff\xff");
    }
    PFixedEmu& emu = fe.es2->Emulation();
    std::set<std::pair<u32, u32>> pairs;
    int const states = States();
    for (int n = 0; n < states; ++n) {
        Randomize(textures);
        g.GetStateMan().ApplyEnableDisable();
        unsigned vh, fh, ph;
        PPaperDoll::GetStateHash(emu, vh, fh, ph);
        pairs.insert({vh, fh});
        ASSERT_TRUE(emu.ApplyRender()) << n;
        ASSERT_NE(emu.CurrentProgram(), nullptr);
        int vi = PPaperDoll::FindVertexShader(vh), fi = PPaperDoll::FindFragmentShader(fh);
        ASSERT_TRUE(emu.CurrentProgram()->Linked())
            << PPaperDoll::s_VertexShaderCache[vi].source << "\n----\n" << PPaperDoll::s_FragmentShaderCache[fi].source << "state " << n << "\n" << PPaperDoll::LastVertexKey() << " / " << PPaperDoll::LastFragmentKey();
    }
    // One program per distinct pair of keys (no two states share a program
    // unless both their keys are equal).
    int generated = 0;
    for (int i = 0; i < emu.ProgramCount(); ++i)
        generated += emu.ProgramAt(i).generated;
    EXPECT_EQ(size_t(generated), pairs.size());

    testes2::ScratchDir dir;
    std::vector<std::string> files;
    for (auto const& e : PPaperDoll::s_VertexShaderCache) {
        files.push_back(dir.path + std::to_string(e.hash) + ".vert");
        std::ofstream(files.back()) << e.source;
    }
    for (auto const& e : PPaperDoll::s_FragmentShaderCache) {
        files.push_back(dir.path + std::to_string(e.hash) + ".frag");
        std::ofstream(files.back()) << e.source;
    }
    std::string log;
    std::set<std::string> failed = Validate(files, log);
    EXPECT_TRUE(failed.empty()) << failed.size() << " shaders fail, first " << *failed.begin() << "\n"
                                << log.substr(0, 4000);
    std::printf("[ sweep    ] %d states, %zu programs, %d vertex and %d fragment shaders\n", states, pairs.size(),
                PPaperDoll::s_VertexShaderCache.Count(), PPaperDoll::s_FragmentShaderCache.Count());
    g.glDeleteTextures(5, textures);
}

} // namespace
