// The profile screen's medal page drawn with the demo's fonts and texts on
// the software renderer: every medal's description stays inside the right
// panel, with as much room at its right as at its left, at both screen sizes
// and in both languages.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/graphics/p3d.h"
#include "engine/platform/pdisplay.h"
#include "engine/runtime/pglobals.h"
#include "engine/runtime/pvfs.h"
#include "game/frontend/fonts.h"
#include "game/frontend/profilemanager.h"
#include "tests/gl/software/memory_display.h"

namespace {

// The panel's frame is two pixels wide; ink must keep one clear column
// from it.
constexpr int kFrame = 2;
constexpr int kRightPanel = 5; // the layout window of the right panel

class MedalPage : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/krv_medals_XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        root = tmpl;
        std::filesystem::create_directories(root + "/data/usr");
        std::filesystem::create_directories(root + "/app");
        ::setenv("VORNAPP_SAVEPATH", (root + "/data/").c_str(), 1);
        ::setenv("VORNAPPPATH", (root + "/app/").c_str(), 1);
        ASSERT_TRUE(vfs.OpenVFS(KRV_DEMO_ARCHIVE)) << KRV_DEMO_ARCHIVE;
        globals.archive = &vfs;
        PSetTls(&globals);
    }
    void TearDown() override
    {
        PSetTls(nullptr);
        std::filesystem::remove_all(root);
    }

    std::string root;
    PVFS vfs;
    PGlobals globals{};
};

TEST_F(MedalPage, DescriptionsKeepEqualMarginsInsideTheirPanel)
{
    {
        // A saved pilot, so that the screens open on the main page.
        ProfileManager seed(nullptr, nullptr, nullptr, nullptr, 480, 320, nullptr);
        seed.InitProfiles();
        Profile* p = new Profile();
        p->SetNick("ACE");
        ASSERT_EQ(seed.AddProfile(p), 1);
        ASSERT_EQ(seed.SaveProfiles(), 1);
    }
    int checked = 0;
    for (const auto& [w, h] : {std::pair{1024, 600}, std::pair{480, 320}}) {
        swtest::MemoryDisplay display(w, h);
        std::unique_ptr<P3D> ctx(P3D::Create(&display, nullptr));
        ASSERT_TRUE(ctx);
        PDisplayProperties props{};
        display.GetInfo(props);
        Fonts fonts;
        ASSERT_EQ(fonts.Init(ctx.get(), &props), 1);
        ProfileManager m(ctx.get(), &fonts, nullptr, nullptr, w, h, nullptr);
        m.InitProfiles();
        m.InitStrings();
        m.OpenMain();
        ASSERT_EQ(m.State(), 0);
        m.Process(MyInput::kDown, 0, 0); // the windows open at once
        const auto& rp = m.LayoutWindow(kRightPanel);
        const auto& lp = m.LayoutWindow(kRightPanel - 1);
        const uint16_t* pixels = display.Buffer().pixels; // pitch = width
        auto frame = [&] {
            m.Render(ctx.get());
            return std::vector<uint16_t>(pixels, pixels + size_t(w) * h);
        };
        for (int lang = 0; lang < 2; lang++) {
            ASSERT_EQ(fonts.LoadLanguage(lang), 1);
            for (int medal = 0; medal < ProfileManager::kMedalsShown; medal++) {
                const std::string at = "medal " + std::to_string(medal) + " at " + std::to_string(w) + "x" +
                                       std::to_string(h) + ", language " + std::to_string(lang);
                // The grid: three columns 58 apart from 87 left of the left
                // panel's centre, two rows 76 apart from 3 below its top.
                const int tx = lp.x + lp.w / 2 - 87 + medal % 3 * 58 + 20, ty = lp.y + 3 + medal / 3 * 76 + 30;
                m.TouchScreenEvent(tx, ty, true);
                m.Process(0, 0, 0);
                m.TouchScreenEvent(tx, ty, false);
                m.Process(0, 0, 0);
                ASSERT_EQ(m.SelectedMedal(), medal) << at;
                // The text is what differs from the same page without texts.
                fonts.SetFileSource(0);
                const std::vector<uint16_t> shown = frame();
                fonts.SetFileSource(0xFF);
                const std::vector<uint16_t> blank = frame();
                fonts.SetFileSource(0);
                int left = w, right = -1, top = h, bottom = -1;
                for (int y = rp.y; y < rp.y + rp.h; y++)
                    for (int x = rp.x; x < rp.x + rp.w; x++)
                        if (shown[size_t(y) * w + x] != blank[size_t(y) * w + x]) {
                            left = std::min(left, x);
                            right = std::max(right, x);
                            top = std::min(top, y);
                            bottom = std::max(bottom, y);
                        }
                ASSERT_GE(right, 0) << at << ": no text";
                const int leftMargin = left - rp.x, rightMargin = rp.x + rp.w - 1 - right;
                EXPECT_GT(leftMargin, kFrame) << at;
                EXPECT_GT(rightMargin, kFrame) << at << ": the text reaches the panel's frame";
                EXPECT_GE(rightMargin, leftMargin - 1)
                    << at << ": the text ends " << rightMargin << " px from the panel's right edge, begins "
                    << leftMargin << " px from its left";
                EXPECT_GT(top - rp.y, kFrame) << at;
                EXPECT_GT(rp.y + rp.h - 1 - bottom, kFrame) << at << ": the text runs out of the panel";
                checked++;
            }
        }
    }
    EXPECT_EQ(checked, 2 * 2 * ProfileManager::kMedalsShown);
}

} // namespace
