// Starting the event service: what is refused at start is refused once, with
// one message, and the frame directory is there before the first frame.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "host/hostevents.h"
#include "host/hostoptions.h"
#include "host/hostwindow.h"

namespace {

int Count(std::string const& text, std::string const& what)
{
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

} // namespace

TEST(Start, MissingScriptIsReportedOnceWhateverTheMode)
{
    char const* display = std::getenv("DISPLAY");
    std::string saved = display ? display : "";
    unsetenv("DISPLAY");
    for (int mode : {host::MODE_AUTO, host::MODE_HEADLESS}) {
        host::Options o;
        o.mode = mode;
        o.script = "/nonexistent/events.txt";
        host::Configure(o);
        testing::internal::CaptureStdout();
        EXPECT_EQ(host::EventServiceStart(), 0);
        std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(Count(out, "/nonexistent/events.txt"), 1) << out;
    }
    if (display)
        setenv("DISPLAY", saved.c_str(), 1);
}

TEST(Start, FrameDirectoryIsMadeWithItsParentsOrTheStartIsRefused)
{
    char dir[] = "/tmp/krv_shotsXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::string base = dir;
    host::Options o;
    o.mode = host::MODE_HEADLESS;
    o.activate = 0;
    o.shots = base + "/a/b/c";
    host::Configure(o);
    ASSERT_EQ(host::EventServiceStart(), 1);
    uint16_t const pixels[4] = {0xF800, 0x07E0, 0x001F, 0xFFFF};
    host::PresentSoft(pixels, 2, 2, 4);
    host::EventServiceStop();
    struct stat st;
    EXPECT_EQ(stat((o.shots + "/frame00001.png").c_str(), &st), 0);

    // Only the frames asked for are saved.
    o.shots = base + "/some";
    o.shotFrames = {{2, 2, 1}, {4, 9, 3}};
    host::Configure(o);
    ASSERT_EQ(host::EventServiceStart(), 1);
    for (int i = 0; i < 9; ++i)
        host::PresentSoft(pixels, 2, 2, 4);
    host::EventServiceStop();
    std::string saved;
    for (int n = 1; n <= 9; ++n)
        if (stat((o.shots + "/frame0000" + std::to_string(n) + ".png").c_str(), &st) == 0)
            saved += std::to_string(n);
    EXPECT_EQ(saved, "247");
    o.shotFrames.clear();

    // A file where a folder of the path should be: refused before any frame.
    std::ofstream(base + "/file") << "x";
    o.shots = base + "/file/shots";
    host::Configure(o);
    testing::internal::CaptureStdout();
    EXPECT_EQ(host::EventServiceStart(), 0);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("cannot create the frame directory"), std::string::npos) << out;
    std::system(("rm -rf " + base).c_str());
}
