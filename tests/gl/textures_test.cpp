// Texture units and the registry: sorting, name translation, backups and the
// drop-and-remake cycle after a context loss.
#include <GLES/gl.h>
#include <GLES/glext.h>
#include <gtest/gtest.h>

#include <vector>

#include "gl/gles.h"
#include "recording_backend.h"

using testgl::Call;
using testgl::RecordingBackend;
using vornGL::P3DStateMan;

namespace {

struct Textures : ::testing::Test {
    PDisplayProperties info{};
    RecordingBackend* rec = nullptr;
    GLES gles;
    P3DStateMan& sm = gles.GetStateMan();

    void SetUp() override
    {
        info.width = 64;
        info.height = 64;
        rec = new RecordingBackend(1, &info);
        rec->integers[GL_MAX_TEXTURE_UNITS] = {2};
        rec->integers[GL_UNPACK_ALIGNMENT] = {4};
        gles.Init(rec, nullptr);
        rec->Clear();
    }
};

TEST_F(Textures, RegistryStaysSortedAndGrowsByFour)
{
    rec->nextTexture = 7;
    uint32_t a[3];
    gles.glGenTextures(3, a);
    rec->nextTexture = 2;
    uint32_t b[2];
    gles.glGenTextures(2, b);
    ASSERT_EQ(sm.TextureCount(), 5);
    EXPECT_EQ(sm.TextureCapacity(), 8);
    std::vector<uint32_t> names;
    for (int i = 0; i < sm.TextureCount(); ++i)
        names.push_back(sm.TextureAt(i)->name);
    EXPECT_EQ(names, (std::vector<uint32_t>{2, 3, 7, 8, 9}));

    uint32_t all[5] = {2, 3, 7, 8, 9};
    gles.glDeleteTextures(5, all);
    EXPECT_EQ(sm.TextureCount(), 0);
    EXPECT_EQ(sm.TextureCapacity(), 0); // storage freed
    gles.glGenTextures(1, a);
    EXPECT_EQ(sm.TextureCapacity(), 4);
}

TEST_F(Textures, BindingAndUnits)
{
    uint32_t t[2];
    gles.glGenTextures(2, t);
    gles.glBindTexture(GL_TEXTURE_2D, t[1]);
    EXPECT_EQ(sm.BoundTexture(0), sm.FindTexture(t[1]));
    // A name not in the registry goes to the back end as is; the unit keeps
    // its record.
    gles.glBindTexture(GL_TEXTURE_2D, 99);
    EXPECT_EQ(rec->calls.back(), Call("glBindTexture", GL_TEXTURE_2D, 99u));
    EXPECT_EQ(sm.BoundTexture(0), sm.FindTexture(t[1]));
    gles.glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 1, 1, 0, GL_RGB, GL_UNSIGNED_BYTE, nullptr);
    EXPECT_EQ(sm.FindTexture(t[1])->format, static_cast<uint32_t>(GL_RGB));
    gles.glBindTexture(GL_TEXTURE_2D, 0);
    EXPECT_EQ(sm.BoundTexture(0), nullptr);
    gles.glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    EXPECT_EQ(sm.FindTexture(t[1])->format, static_cast<uint32_t>(GL_RGB)); // nothing recorded

    // Deleting a bound texture unbinds it from every unit that had it.
    gles.glBindTexture(GL_TEXTURE_2D, t[0]);
    gles.glDeleteTextures(1, t);
    EXPECT_EQ(sm.Unit(0).boundName, 0u);

    // Units beyond the back end's count are refused.
    gles.glActiveTexture(GL_TEXTURE0 + 2);
    EXPECT_EQ(rec->calls.back(), Call("glActiveTexture", GL_TEXTURE0 + 2)); // forwarded anyway
    EXPECT_EQ(gles.glGetError(), static_cast<uint32_t>(GL_INVALID_ENUM));
    EXPECT_EQ(sm.ActiveUnit(), 0u);
    gles.glActiveTexture(GL_TEXTURE1);

    // Texture environment modes.
    gles.glTexEnvx(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_SUBTRACT);
    EXPECT_EQ(gles.glGetError(), static_cast<uint32_t>(GL_INVALID_ENUM));
    gles.glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, float(GL_DECAL));
    EXPECT_EQ(sm.Unit(1).envMode, static_cast<uint32_t>(GL_DECAL));
    gles.glTexEnvx(0x1234, GL_TEXTURE_ENV_MODE, GL_ADD);
    EXPECT_EQ(gles.glGetError(), static_cast<uint32_t>(GL_INVALID_ENUM));
    EXPECT_EQ(sm.Unit(1).envMode, static_cast<uint32_t>(GL_DECAL));
}

TEST_F(Textures, CompressedFormatsMapToRgbOrRgba)
{
    uint32_t t;
    gles.glGenTextures(1, &t);
    gles.glBindTexture(GL_TEXTURE_2D, t);
    uint8_t data[8] = {};
    gles.glCompressedTexImage2D(GL_TEXTURE_2D, 0, 0x8C92, 4, 4, 0, 8, data);
    EXPECT_EQ(sm.FindTexture(t)->format, static_cast<uint32_t>(GL_RGB));
    gles.glCompressedTexImage2D(GL_TEXTURE_2D, 0, 0x8C93, 4, 4, 0, 8, data);
    EXPECT_EQ(sm.FindTexture(t)->format, static_cast<uint32_t>(GL_RGBA));
}

TEST_F(Textures, BackupClearAndRestore)
{
    sm.SetTextureBackup(1);
    uint32_t t[2];
    gles.glGenTextures(2, t);
    gles.glBindTexture(GL_TEXTURE_2D, t[0]);
    gles.glTexParameterx(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    gles.glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, float(GL_CLAMP_TO_EDGE));
    // 3 x 2 RGB rows with unpack alignment 4: 9 bytes used of each 12.
    uint8_t rgb[12 + 9];
    for (int i = 0; i < 21; ++i)
        rgb[i] = static_cast<uint8_t>(i);
    gles.glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 3, 2, 0, GL_RGB, GL_UNSIGNED_BYTE, rgb);
    uint16_t rgb565[4] = {1, 2, 3, 4};
    gles.glTexImage2D(GL_TEXTURE_2D, 1, GL_RGB, 2, 2, 0, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, rgb565);
    gles.glTexImage2D(GL_TEXTURE_2D, 10, GL_RGB, 1, 1, 0, GL_RGB, GL_UNSIGNED_BYTE, rgb); // not kept
    auto const* rec0 = sm.FindTexture(t[0]);
    EXPECT_EQ(rec0->levelCount, 2);
    EXPECT_EQ(rec0->levels[0].size, 18u);
    EXPECT_EQ(static_cast<uint8_t const*>(rec0->levels[0].copy)[9], 12); // second row packed
    EXPECT_EQ(rec0->levels[1].size, 8u);
    EXPECT_EQ(rec0->minFilter, static_cast<uint32_t>(GL_NEAREST));
    EXPECT_EQ(rec0->wrapS, static_cast<uint32_t>(GL_CLAMP_TO_EDGE));
    gles.glBindTexture(GL_TEXTURE_2D, t[1]);
    uint8_t etc[8] = {9};
    gles.glCompressedTexImage2D(GL_TEXTURE_2D, 0, GL_ETC1_RGB8_OES, 4, 4, 0, 8, etc);

    rec->Clear();
    sm.vornClearTextures();
    EXPECT_EQ(rec->calls, (std::vector<std::string>{Call("glDeleteTextures", 1, &sm.TextureAt(0)->backendName),
                                                     Call("glDeleteTextures", 1, &sm.TextureAt(1)->backendName)}));
    EXPECT_EQ(sm.Unit(0).boundName, 0u);

    rec->Clear();
    rec->nextTexture = 100;
    sm.vornRestoreTextures();
    EXPECT_EQ(sm.FindTexture(t[0])->backendName, 100u);
    EXPECT_EQ(sm.FindTexture(t[1])->backendName, 101u);
    EXPECT_EQ(rec->Count("glTexImage2D"), 2u);
    EXPECT_EQ(rec->Count("glCompressedTexImage2D"), 1u);
    EXPECT_EQ(rec->Count(Call("glTexParameterx", GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST)), 1u);
    // Packed copies are uploaded with alignment 1, which is then put back.
    EXPECT_EQ(rec->Only("glPixelStorei"), (std::vector<std::string>{Call("glPixelStorei", GL_UNPACK_ALIGNMENT, 1),
                                                                     Call("glPixelStorei", GL_UNPACK_ALIGNMENT, 4)}));

    // Callers keep their names: bind and delete reach the new ones.
    rec->Clear();
    gles.glBindTexture(GL_TEXTURE_2D, t[0]);
    EXPECT_EQ(rec->calls.back(), Call("glBindTexture", GL_TEXTURE_2D, 100u));
    gles.glDeleteTextures(1, &t[1]);
    ASSERT_EQ(rec->Count("glDeleteTextures"), 1u);
    EXPECT_EQ(sm.TextureCount(), 1);

    // A name handed out again by the back end gets a caller name of its own.
    rec->nextTexture = t[0];
    uint32_t fresh;
    gles.glGenTextures(1, &fresh);
    EXPECT_NE(fresh, t[0]);
    EXPECT_EQ(sm.FindTexture(fresh)->backendName, t[0]);
    EXPECT_EQ(sm.FindTexture(t[0])->backendName, 100u);
}

TEST_F(Textures, DeleteTranslatesNamesAfterRestore)
{
    uint32_t t;
    gles.glGenTextures(1, &t);
    sm.vornClearTextures();
    rec->nextTexture = 50;
    sm.vornRestoreTextures();
    rec->deleted.clear();
    gles.glDeleteTextures(1, &t);
    EXPECT_EQ(rec->deleted, std::vector<uint32_t>{50});
    EXPECT_EQ(sm.TextureCount(), 0);
}

} // namespace
