// The common event service: options, the end of a run, and PNG frames.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>
#include <tuple>

#include "engine/runtime/ptime.h"
#include "host/hostevents.h"
#include "host/hostoptions.h"
#include "host/hostwindow.h"
#include "host/png_read.h"

namespace {

std::vector<host::Event> Drain()
{
    std::vector<host::Event> out;
    host::Event ev;
    while (host::GetEvent(&ev))
        out.push_back(ev);
    return out;
}

host::Options Headless(char const* script)
{
    host::Options o;
    o.mode = host::MODE_HEADLESS;
    o.scriptText = script;
    o.activate = 0;
    o.exitGraceMs = 0;
    return o;
}

int ParseArgs(std::vector<char const*> args, host::Options* o, int* code)
{
    args.insert(args.begin(), "korvanth");
    return host::ParseOptions(int(args.size()), const_cast<char**>(args.data()), o, code);
}

} // namespace

TEST(Options, FlagsEnvironmentAndRefusals)
{
    unsetenv("KRV_SIZE");
    unsetenv("KRV_RENDERER");
    host::Options o;
    int code = -1;
    ASSERT_EQ(ParseArgs({"--headless", "--size", "640x480", "--script", "a.txt", "--frames", "30", "--shots",
                         "out", "--renderer", "software", "--angle", "270", "--no-accelerometer",
                         "--exit-grace", "5", "--clock", "virtual", "--clock-step", "10"},
                        &o, &code),
              1);
    EXPECT_EQ(o.mode, host::MODE_HEADLESS);
    EXPECT_EQ(o.width, 640);
    EXPECT_EQ(o.height, 480);
    EXPECT_EQ(o.script, "a.txt");
    EXPECT_EQ(o.frames, 30);
    EXPECT_EQ(o.shots, "out");
    EXPECT_EQ(o.renderer, host::RENDERER_SOFTWARE);
    EXPECT_EQ(std::make_tuple(o.angle, o.accelerometer, o.exitGraceMs), std::make_tuple(270, 0, 5));
    EXPECT_EQ(std::make_tuple(o.virtualClock, o.clockStepMs), std::make_tuple(1, 10));
    EXPECT_TRUE(o.shotFrames.empty()); // every frame

    // The frames kept: numbers, ranges, ranges every n-th frame.
    ASSERT_EQ(ParseArgs({"--shot-frames", "3,10-12,100-150/25"}, &o, &code), 1);
    std::string kept;
    for (unsigned n = 0; n <= 200; ++n)
        if (host::ShotWanted(o, n))
            kept += std::to_string(n) + " ";
    EXPECT_EQ(kept, "3 10 11 12 100 125 150 ");
    ASSERT_EQ(ParseArgs({"--shot-sums", "sums.txt"}, &o, &code), 1);
    EXPECT_EQ(o.shotSums, "sums.txt");

    setenv("KRV_SIZE", "800x480", 1);
    setenv("KRV_RENDERER", "gles2", 1);
    ASSERT_EQ(ParseArgs({"--renderer", "gles1"}, &o, &code), 1);
    EXPECT_EQ(o.width, 800);                      // from the environment
    EXPECT_EQ(o.renderer, host::RENDERER_GLES1);  // the flag wins
    setenv("KRV_SIZE", "huge", 1);
    EXPECT_EQ(ParseArgs({}, &o, &code), 0);
    EXPECT_EQ(code, 2);
    unsetenv("KRV_SIZE");
    unsetenv("KRV_RENDERER");

    for (auto bad : std::vector<std::vector<char const*>>{{"--size", "10x10"},
                                                          {"--size", "640"},
                                                          {"--angle", "45"},
                                                          {"--renderer", "vulkan"},
                                                          {"--frames", "-1"},
                                                          {"--clock", "fast"},
                                                          {"--clock-step", "0"},
                                                          {"--shot-frames", "0"},
                                                          {"--shot-frames", "5-4"},
                                                          {"--shot-frames", "1,,2"},
                                                          {"--shot-frames", "7/2"},
                                                          {"--shot-frames", "1-9/0"},
                                                          {"--shot-frames", "1-x"},
                                                          {"--shot-sums"},
                                                          {"--frames"},
                                                          {"stray"},
                                                          {"--unknown", "1"}}) {
        code = -1;
        EXPECT_EQ(ParseArgs(bad, &o, &code), 0) << bad[0];
        EXPECT_EQ(code, 2);
    }
    EXPECT_EQ(ParseArgs({"--help"}, &o, &code), 0);
    EXPECT_EQ(code, 0);
}

TEST(Service, VirtualClockMovesByFramesAndIdlePassesOnly)
{
    host::Options o = Headless("30ms focus 0\n");
    o.virtualClock = 1;
    o.clockStepMs = 10;
    o.exitGraceMs = 3;
    host::Configure(o);
    ASSERT_TRUE(host::EventServiceStart());
    uint32_t start = PTickCount();
    EXPECT_EQ(start, 0xB93CD800u); // the same start in every run
    long day = PGetTime();
    PSleep(100000); // returns at once
    EXPECT_EQ(PTickCount(), start);
    // Each presented frame: the step; each pass without one: 1 ms.
    EXPECT_TRUE(Drain().empty());
    EXPECT_EQ(PTickCount() - start, 1u);
    host::PresentSoft(nullptr, 0, 0, 0);
    host::PresentSoft(nullptr, 0, 0, 0);
    EXPECT_TRUE(Drain().empty());
    EXPECT_EQ(PTickCount() - start, 21u);
    host::PresentSoft(nullptr, 0, 0, 0);
    auto events = Drain(); // 31 ms: the focus item, then the script's end
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].code, host::NAV_WINDOW_INACTIVE);
    EXPECT_EQ(events[1].code, host::NAV_EXIT);
    // The exit grace runs out on idle passes.
    int passes = 0;
    while (!host::SessionOver() && passes < 100) {
        Drain();
        ++passes;
    }
    EXPECT_EQ(passes, 3);
    EXPECT_EQ(PGetTime(), day);
    host::EventServiceStop();
    host::Configure(Headless(""));
    EXPECT_EQ(PVirtualClockOn(), 0);
}

TEST(Service, FrameLimitEndsTheRunWithOneExit)
{
    host::Options o = Headless("");
    o.scriptText.clear(); // no script: only the frame limit ends it
    o.frames = 2;
    host::Configure(o);
    ASSERT_TRUE(host::EventServiceStart());
    EXPECT_TRUE(Drain().empty());
    host::PresentSoft(nullptr, 0, 0, 0);
    EXPECT_TRUE(Drain().empty());
    host::PresentSoft(nullptr, 0, 0, 0);
    auto events = Drain();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].code, host::NAV_EXIT);
    EXPECT_EQ(host::SessionOver(), 1); // no grace
    host::PresentSoft(nullptr, 0, 0, 0);
    EXPECT_TRUE(Drain().empty());
    host::EventServiceStop();
    EXPECT_EQ(host::GetEvent(nullptr), 0);
}

TEST(Service, ScriptEndSendsExitUnlessTheScriptDid)
{
    host::Configure(Headless("0 focus 1\n"));
    ASSERT_TRUE(host::EventServiceStart());
    auto events = Drain();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].code, host::NAV_WINDOW_ACTIVE);
    EXPECT_EQ(events[1].code, host::NAV_EXIT);
    host::EventServiceStop();

    host::Configure(Headless("0 exit\n0 exit\n"));
    ASSERT_TRUE(host::EventServiceStart());
    EXPECT_EQ(Drain().size(), 2u); // the script's two, nothing added
    host::EventServiceStop();
}

TEST(Service, EventsWaitForTheirFrameInOrder)
{
    host::Options o = Headless("1 down 0 1 1\n0 up 0 1 1\n");
    o.activate = 1;
    host::Configure(o);
    ASSERT_TRUE(host::EventServiceStart());
    auto first = Drain();
    ASSERT_EQ(first.size(), 1u); // the start-up activation only: "up" waits behind "down"
    EXPECT_EQ(first[0].code, host::NAV_WINDOW_ACTIVE);
    host::PresentSoft(nullptr, 0, 0, 0);
    auto next = Drain();
    ASSERT_EQ(next.size(), 3u);
    EXPECT_EQ(next[0].code, host::SCREEN_TOUCH);
    EXPECT_EQ(next[1].code, host::SCREEN_RELEASE);
    EXPECT_EQ(next[2].code, host::NAV_EXIT);
    host::EventServiceStop();
}

TEST(Service, GracePeriodKeepsTheSessionOpen)
{
    host::Options o = Headless("0 exit\n");
    o.exitGraceMs = 600000;
    host::Configure(o);
    ASSERT_TRUE(host::EventServiceStart());
    EXPECT_EQ(host::SessionOver(), 0);
    Drain();
    EXPECT_EQ(host::SessionOver(), 0);
    host::EventServiceStop();
}

TEST(Service, BadScriptStopsTheStart)
{
    host::Configure(Headless("1 fly\n"));
    EXPECT_EQ(host::EventServiceStart(), 0);
    host::Options o = Headless("");
    o.scriptText.clear();
    o.script = "/nonexistent/events.txt";
    host::Configure(o);
    EXPECT_EQ(host::EventServiceStart(), 0);
}

TEST(Service, AccelerometerReadingsFromTheScript)
{
    host::Configure(Headless("0 accel 0.25 -0.5 -1\n1 accel-fail\n"));
    ASSERT_TRUE(host::EventServiceStart());
    double x = 0, y = 0, z = 0;
    EXPECT_EQ(host::AccelerometerReadForces(&x, &y, &z), 0);
    EXPECT_DOUBLE_EQ(x, 0.25);
    EXPECT_DOUBLE_EQ(y, -0.5);
    host::PresentSoft(nullptr, 0, 0, 0);
    EXPECT_NE(host::AccelerometerReadForces(&x, &y, &z), 0);
    host::EventServiceStop();
    EXPECT_NE(host::AccelerometerReadForces(&x, &y, &z), 0); // not running
}

TEST(Png, RoundTripOfRgbAndRgba)
{
    char dir[] = "/tmp/krv_pngXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::string path = std::string(dir) + "/a.png";
    const int w = 37, h = 5;
    std::vector<uint8_t> rgba(w * h * 4);
    for (size_t i = 0; i < rgba.size(); ++i)
        rgba[i] = uint8_t(i * 7);
    ASSERT_EQ(host::WritePng(path.c_str(), rgba.data(), w, h, 4, w * 4), 1);
    TestImage img;
    ASSERT_TRUE(ReadTestPng(path, &img));
    EXPECT_EQ(std::make_tuple(img.width, img.height, img.pixels), std::make_tuple(w, h, rgba));

    // Bottom-up source (negative stride), three channels out of four.
    std::vector<uint8_t> rgb(w * h * 3);
    for (size_t i = 0; i < rgb.size(); ++i)
        rgb[i] = uint8_t(i);
    ASSERT_EQ(host::WritePng(path.c_str(), rgb.data() + (h - 1) * w * 3, w, h, 3, -w * 3), 1);
    ASSERT_TRUE(ReadTestPng(path, &img));
    EXPECT_EQ(img.channels, 3);
    EXPECT_EQ(img.At(0, 0)[0], rgb[(h - 1) * w * 3]);
    EXPECT_EQ(img.At(0, h - 1)[0], rgb[0]);

    EXPECT_EQ(host::WritePng(path.c_str(), rgb.data(), 0, h, 3, 0), 0);
    EXPECT_EQ(host::WritePng(path.c_str(), rgb.data(), w, h, 2, w * 2), 0);
    EXPECT_EQ(host::WritePng((std::string(dir) + "/no/such/dir.png").c_str(), rgb.data(), w, h, 3, w * 3), 0);
    unlink(path.c_str());
    EXPECT_EQ(access((path + ".tmp").c_str(), F_OK), -1); // no temporary left behind
    rmdir(dir);
}
