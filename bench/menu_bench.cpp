// Main-menu frames on Mesa's OpenGL ES 1.1 at the tablet's 1024 x 600 with
// the demo archive: the bomb, the flat pages and the level pages, each frame
// finished before the clock is read. The mean and worst frame of each page
// are printed beside the goal of one frame period (25 ms).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <unistd.h>

#include "bench/mesa_display.h"
#include "engine/graphics/p3d.h"
#include "engine/graphics/p3dgl.h"
#include "engine/graphics/pglu.h"
#include "engine/graphics/psurface3d.h"
#include "engine/runtime/pglobals.h"
#include "engine/runtime/pvfs.h"
#include "game/frontend/fonts.h"
#include "game/frontend/mainmenu.h"
#include "game/frontend/profilemanager.h"
#include "game/frontend/settings.h"
#include "game/world/levelsmanager.h"
#include "gl/glbackend_es11.h"

namespace {

constexpr int kW = 1024, kH = 600;
constexpr double kGoalMs = 25.0;

using MesaDisplay = benchegl::MesaDisplay<kW, kH>;

// Everything the menu needs, from the demo archive.
struct World {
    MesaDisplay display;
    std::unique_ptr<P3D> ctx;
    PVFS vfs;
    PGlobals globals{};
    PDisplayProperties props{};
    Fonts fonts;
    Settings settings;
    std::unique_ptr<ProfileManager> profiles;
    std::unique_ptr<LevelsManager> levels;
    LevelsGroup* campaigns[3] = {};
    std::unique_ptr<MainMenu> menu;
    bool ok = false;

    World()
    {
        char dir[] = "/tmp/krv_menu_bench_XXXXXX";
        if (!::mkdtemp(dir))
            return;
        ::setenv("VORNAPP_SAVEPATH", (std::string(dir) + "/").c_str(), 1);
        ::setenv("VORNAPPPATH", "/nonexistent/", 1);
        if (!display.Ok() || !vfs.OpenVFS(KRV_DEMO_ARCHIVE))
            return;
        ctx.reset(P3D::Create(&display, nullptr));
        if (!ctx)
            return;
        globals.archive = &vfs;
        globals.multiplayer = 1;
        PSetTls(&globals);
        const char* shared[8] = {"soft_label_ok", "soft_label_back", "soft_label_ingame", "soft_label_pause",
                                 "soft_label_play", "soft_label_back_paper", "metal_bar", "warroom"};
        for (int i = 0; i < 8; i++)
            globals.sharedImages[i] = PSurface3D::CreateFromFile(
                ctx.get(), (std::string("data\\2dgfx\\") + shared[i] + ".png").c_str(), PS3D_DROPIMAGE);
        display.GetInfo(props);
        if (!fonts.Init(ctx.get(), &props) || !fonts.LoadLanguage(0))
            return;
        profiles = std::make_unique<ProfileManager>(ctx.get(), &fonts, nullptr, nullptr, kW, kH, nullptr);
        auto* p = new Profile();
        p->SetNick("PILOT");
        for (int g = 0; g < Profile::kUnlockGroups; g++)
            p->UnlockLevel(4, g);
        profiles->AddProfile(p);
        levels = std::make_unique<LevelsManager>(ctx.get(), &fonts, &props);
        levels->PreprocessScripts(ctx.get(), &display);
        for (int c = 0; c < 3; c++)
            campaigns[c] = levels->AddLevelsGroup(LevelsManager::SINGLEPLAYER, c);
        levels->SetCampaignsCount(3);
        LevelsGroup* timeAttack = levels->AddLevelsGroup(LevelsManager::TIMEATTACK, 0);
        LevelsGroup* arcade = levels->AddLevelsGroup(LevelsManager::ARCADE, 0);
        LevelsGroup* tutorial = levels->AddLevelsGroup(LevelsManager::TUTORIAL, 0);
        menu = std::make_unique<MainMenu>(&props, &fonts, nullptr, profiles.get(), levels.get(), nullptr, campaigns,
                                          3, timeAttack, tutorial, arcade);
        ok = menu->Init(&settings) && menu->LoadMenu(ctx.get(), nullptr);
        // The application's menu projection.
        ctx->glMatrixMode(p3dgl::kProjection);
        ctx->glLoadIdentity();
        gluPerspectivex(ctx.get(), 50 << 16, int32_t((int64_t(kW) << 16) / kH), 0x10000, 65536000);
        ctx->glMatrixMode(p3dgl::kModelview);
    }
    ~World()
    {
        menu.reset();
        levels.reset();
        profiles.reset();
        fonts.Release();
        for (PSurface3D*& s : globals.sharedImages)
            delete s;
        PSetTls(nullptr);
    }
};

World& TheWorld()
{
    static World* w = new World();
    return *w;
}

void BM_MenuFrame(benchmark::State& state)
{
    World& w = TheWorld();
    if (!w.ok) {
        state.SkipWithError("no Mesa context or no demo archive");
        return;
    }
    const int page = int(state.range(0));
    MainMenu& m = *w.menu;
    switch (page) {
    case MainMenu::PAGE_CAMPAIGNS:
        m.GotoCampaignMenu(0);
        break;
    case MainMenu::PAGE_TIME_ATTACK:
        m.GotoTimeAttackMenu();
        break;
    case MainMenu::PAGE_ARCADE:
        m.GotoArcadeMenu();
        break;
    default:
        m.page = page;
        if (page == MainMenu::PAGE_HELP)
            m.HelpImgLoad();
        break;
    }
    static unsigned now = 1000;
    double worst = 0, total = 0;
    for (auto _ : state) {
        now += 25;
        const auto t0 = std::chrono::steady_clock::now();
        m.RenderMainMenu(w.ctx.get(), &w.props, &w.props, 0, 0, now);
        w.ctx->GetBackend()->glFinish();
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        worst = std::max(worst, ms);
        total += ms;
        state.SetIterationTime(ms / 1000.0);
    }
    state.counters["mean_ms"] = total / double(state.iterations());
    state.counters["worst_ms"] = worst;
    state.counters["goal_ms"] = kGoalMs;
    state.SetLabel(page < MainMenu::PAGE_FALL ? "bomb" : "page");
}
// The game's own line breaking: a paragraph of the demo texts counted into
// lines of a panel's width in each font, as the help page and the medal page
// do before they print (no drawing, only measuring and breaking).
void BM_WrapSection(benchmark::State& state)
{
    World& w = TheWorld();
    if (!w.ok) {
        state.SkipWithError("no Mesa context or no demo archive");
        return;
    }
    const int font = int(state.range(0));
    std::wstring text;
    for (unsigned id = 1; text.size() < 600; id++)
        if (const wchar_t* s = w.fonts.GetStr(id); s && *s)
            text += std::wstring(s) + L" ";
    int lines = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(lines = w.fonts.TestSection(font, 0, 0, 20, 220, text.c_str(), Fonts::kLeft));
    state.counters["lines"] = lines;
}
BENCHMARK(BM_WrapSection)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

BENCHMARK(BM_MenuFrame)
    ->Arg(0)
    ->Arg(MainMenu::PAGE_GAME_SELECTION)
    ->Arg(MainMenu::PAGE_OPTIONS)
    ->Arg(MainMenu::PAGE_HELP)
    ->Arg(MainMenu::PAGE_CREDITS)
    ->Arg(MainMenu::PAGE_CAMPAIGNS)
    ->Arg(MainMenu::PAGE_TIME_ATTACK)
    ->Arg(MainMenu::PAGE_ARCADE)
    ->UseManualTime()
    ->Iterations(200);

} // namespace
