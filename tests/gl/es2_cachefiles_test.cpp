// The shader caches on disk and in memory: the ".shaders" directory written
// and read back, damaged files, shaders inserted from outside, the exported
// sources and the manifest.
#include <GLES2/gl2.h>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "engine/runtime/pfile.h"
#include "es2_testgl.h"

using namespace vornGL;

namespace {

char const kVS[] = "attribute highp vec4 attribPos;\nvoid main() { gl_Position = attribPos; }";
char const kFS[] = "void main() { gl_FragColor = vec4(1.0); }";

std::string Slurp(std::string const& path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return f ? s.str() : std::string("(missing)");
}

void Spit(std::string const& path, std::string const& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

struct CacheFiles : testes2::OnMesaEs2<8> {
    std::unique_ptr<testes2::ScratchDir> dir;

    void SetUp() override
    {
        OnMesaEs2::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        dir = std::make_unique<testes2::ScratchDir>();
        b->vornGLClearShaderCache();
    }
    void TearDown() override
    {
        OnMesaEs2::TearDown();
        dir.reset();
    }
    std::string Path(std::string const& name) { return dir->path + name; }
};

TEST_F(CacheFiles, SaveWritesListsAndSourcesNamedBySignedHash)
{
    EXPECT_EQ(InsertExternalVertexShader(20981604u, kVS), 1);
    EXPECT_EQ(InsertExternalVertexShader(0xA48DC131u, kVS), 1);
    EXPECT_EQ(InsertExternalFragmentShader(7u, kFS), 1);
    EXPECT_EQ(b->vornGLSaveShaders(), 1);
    EXPECT_EQ(Slurp(Path(".shaders/vertexList")), std::string("\x64\x27\x40\x01\x31\xC1\x8D\xA4", 8));
    EXPECT_EQ(Slurp(Path(".shaders/20981604")), kVS);
    EXPECT_EQ(Slurp(Path(".shaders/-1534213839")), kVS);
    EXPECT_EQ(Slurp(Path(".shaders/fragmentList")), std::string("\x07\0\0\0", 4));
    EXPECT_EQ(Slurp(Path(".shaders/vertexList.tmp")), "(missing)");

    // Read back into empty caches.
    PPaperDoll::ClearCache();
    EXPECT_EQ(b->vornGLPreloadShaders(), 1);
    ASSERT_EQ(PPaperDoll::s_VertexShaderCache.Count(), 2);
    EXPECT_EQ(PPaperDoll::s_VertexShaderCache[1].hash, 0xA48DC131u);
    EXPECT_STREQ(PPaperDoll::s_VertexShaderCache[1].source, kVS);
    EXPECT_TRUE(glIsShader(PPaperDoll::s_VertexShaderCache[1].shader));
    EXPECT_EQ(PPaperDoll::s_FragmentShaderCache.Count(), 1);

    // A directory that cannot be written reports failure.
    b->vornGLClearShaderCache();
    Spit(Path("blocked"), "x");
    setenv("VORNAPP_SAVEPATH", Path("blocked/").c_str(), 1);
    InsertExternalVertexShader(1u, kVS);
    EXPECT_EQ(b->vornGLSaveShaders(), 0);
}

TEST_F(CacheFiles, PreloadSurvivesDamagedFiles)
{
    // Only a fragment list: its shaders load, the result is 0.
    PFile::MkDir(".shaders");
    Spit(Path(".shaders/fragmentList"), std::string("\x05\0\0\0\x06\0\0\0\x07\0", 10)); // a short last entry
    Spit(Path(".shaders/5"), kFS);
    Spit(Path(".shaders/6"), "void main() { this does not compile }");
    EXPECT_EQ(b->vornGLPreloadShaders(), 0);
    ASSERT_EQ(PPaperDoll::s_FragmentShaderCache.Count(), 1); // 6 dropped, the partial entry ignored
    EXPECT_EQ(PPaperDoll::s_FragmentShaderCache[0].hash, 5u);

    // A source file larger than any shader is not read; a missing one is skipped.
    Spit(Path(".shaders/vertexList"), std::string("\x08\0\0\0\x09\0\0\0", 8));
    Spit(Path(".shaders/8"), std::string(300 * 1024, ' '));
    EXPECT_EQ(b->vornGLPreloadShaders(), 1);
    EXPECT_EQ(PPaperDoll::s_VertexShaderCache.Count(), 0);
    EXPECT_EQ(PPaperDoll::s_FragmentShaderCache.Count(), 1); // not loaded twice
}

TEST_F(CacheFiles, ExternalInsertsReplaceAndKeepASource)
{
    InsertExternalFragmentShader(42u, kFS);
    u32 first = PPaperDoll::s_FragmentShaderCache[0].shader;
    char const other[] = "void main() { gl_FragColor = vec4(0.5); }";
    InsertExternalFragmentShader(42u, other);
    ASSERT_EQ(PPaperDoll::s_FragmentShaderCache.Count(), 1);
    EXPECT_NE(PPaperDoll::s_FragmentShaderCache[0].shader, first);
    EXPECT_FALSE(glIsShader(first));
    EXPECT_STREQ(PPaperDoll::s_FragmentShaderCache[0].source, other);
    EXPECT_EQ(InsertExternalFragmentShader(43u, "not glsl"), 0);
    EXPECT_EQ(PPaperDoll::s_FragmentShaderCache.Count(), 2);
}

TEST_F(CacheFiles, ExportAndManifest)
{
    ExportShaderCacheToFile("");
    EXPECT_EQ(Slurp(Path("shader_manifest.xml")), "<shaders>\n</shaders>\n");
    InsertExternalFragmentShader(0xFFFFFFFFu, kFS);
    InsertExternalVertexShader(0x1Au, kVS);
    ExportShaderCacheToFile("");
    EXPECT_EQ(Slurp(Path("shader_manifest.xml")), "<shaders>\n"
                                                   "\t<fragment id=\"-1\" file=\"0xffffffff.fs\" />\n"
                                                   "\t<vertex id=\"26\" file=\"0x1a.vs\" />\n"
                                                   "</shaders>\n");

    // With the export switch on, every compiled generated shader is written.
    b->vornGLSetFlags(16);
    fe.gl->glEnableClientState(0x8074); // GL_VERTEX_ARRAY
    fe.gl->glDrawArrays(GL_TRIANGLES, 0, 3);
    b->vornGLSetFlags(0);
    PPaperDoll::m_ShaderNoAlphaTest = false;
    char name[32];
    std::snprintf(name, sizeof name, "0x%x.vs", PPaperDoll::s_VertexShaderCache[1].hash);
    EXPECT_EQ(Slurp(Path(name)), PPaperDoll::s_VertexShaderCache[1].source);
}

} // namespace
