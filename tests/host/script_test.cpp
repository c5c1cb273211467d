// The headless event script: what is accepted and what is refused.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <unistd.h>
#include <tuple>

#include "host/hostscript.h"

using host::ScriptItem;

namespace {

std::vector<ScriptItem> Parse(std::string const& text, int* ok = nullptr)
{
    std::vector<ScriptItem> items;
    int r = host::ParseScript(text.data(), text.size(), &items);
    if (ok)
        *ok = r;
    return items;
}

bool Refused(std::string const& text)
{
    int ok = 1;
    Parse(text, &ok);
    return ok == 0;
}

} // namespace

TEST(Script, EveryCommandWithItsFields)
{
    int ok = 0;
    auto items = Parse("# a comment\n"
                       "\n"
                       "0 down 3 100 -200   # trailing comment\r\n"
                       "1 move 3 110 210\n"
                       "2 up 32767 -65535 65535\n"
                       "250ms focus 1\n"
                       "3 focus 0\n"
                       "4 window-state 2\n"
                       "5 orientation 3\n"
                       "6 orientation-check 90\n"
                       "7 orientation-done 270\n"
                       "8 accel -0.5 1e-3 2\n"
                       "9 accel-fail\n"
                       "\t10\texit",
                       &ok);
    ASSERT_EQ(ok, 1);
    ASSERT_EQ(items.size(), 12u);
    EXPECT_EQ(items[0].event.domain, host::DOMAIN_SCREEN);
    EXPECT_EQ(items[0].event.code, host::SCREEN_TOUCH);
    EXPECT_EQ(std::make_tuple(items[0].event.touchId, items[0].event.y, items[0].line), std::make_tuple(3, -200, 3));
    EXPECT_EQ(items[1].event.code, host::SCREEN_MOVE);
    EXPECT_EQ(items[2].event.code, host::SCREEN_RELEASE);
    EXPECT_EQ(items[2].event.touchId, 32767);
    EXPECT_EQ(items[3].unit, ScriptItem::MILLISECONDS);
    EXPECT_EQ(items[3].at, 250u);
    EXPECT_EQ(items[3].event.code, host::NAV_WINDOW_ACTIVE);
    EXPECT_EQ(items[4].unit, ScriptItem::FRAMES);
    EXPECT_EQ(items[4].event.code, host::NAV_WINDOW_INACTIVE);
    EXPECT_EQ(items[5].event.windowState, 2);
    EXPECT_EQ(items[6].event.domain, host::DOMAIN_ORIENTATION);
    EXPECT_EQ(items[6].event.direction, 3);
    EXPECT_EQ(items[7].event.domain, host::DOMAIN_ORIENTATION_CHECK);
    EXPECT_EQ(items[7].event.angle, 90);
    EXPECT_EQ(items[8].event.domain, host::DOMAIN_ORIENTATION_DONE);
    EXPECT_EQ(items[9].kind, ScriptItem::ACCEL);
    EXPECT_DOUBLE_EQ(items[9].ax, -0.5);
    EXPECT_DOUBLE_EQ(items[9].ay, 0.001);
    EXPECT_EQ(items[10].kind, ScriptItem::ACCEL_FAIL);
    EXPECT_EQ(items[11].event.code, host::NAV_EXIT);
    EXPECT_EQ(items[11].at, 10u);
}

TEST(Script, BadFieldsAreRefused)
{
    EXPECT_TRUE(Refused("x down 1 2 3\n"));
    EXPECT_TRUE(Refused("-1 exit\n"));
    EXPECT_TRUE(Refused("2147483648 exit\n"));
    EXPECT_TRUE(Refused("5s exit\n"));
    EXPECT_TRUE(Refused("ms exit\n"));
    EXPECT_TRUE(Refused("1\n"));
    EXPECT_TRUE(Refused("1 jump\n"));
    EXPECT_TRUE(Refused("1 down 32768 0 0\n"));
    EXPECT_TRUE(Refused("1 down -1 0 0\n"));
    EXPECT_TRUE(Refused("1 down 1 65536 0\n"));
    EXPECT_TRUE(Refused("1 down 1 0\n"));
    EXPECT_TRUE(Refused("1 down 1 0 0 0\n"));
    EXPECT_TRUE(Refused("1 down 1 0x10 0\n"));
    EXPECT_TRUE(Refused("1 focus 2\n"));
    EXPECT_TRUE(Refused("1 exit now\n"));
    EXPECT_TRUE(Refused("1 orientation-check 360\n"));
    EXPECT_TRUE(Refused("1 accel nan 0 0\n"));
    EXPECT_TRUE(Refused("1 accel inf 0 0\n"));
    EXPECT_TRUE(Refused("1 accel 1 2\n"));
    EXPECT_TRUE(Refused("1 accel 1g 0 0\n"));
    EXPECT_TRUE(Refused("1 a b c d e f g\n"));
}

TEST(Script, RefusalKeepsWhatCameBeforeAndLimitsHold)
{
    int ok = 1;
    auto items = Parse("1 exit\n2 bogus\n3 exit\n", &ok);
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(items.size(), 1u);

    EXPECT_TRUE(Refused(std::string("1 exit") + std::string(300, ' ') + "\n"));
    EXPECT_TRUE(Refused(std::string("1 ex\0it\n", 8)));
    std::string big(host::kScriptMaxBytes + 1, '\n');
    EXPECT_TRUE(Refused(big));
    EXPECT_FALSE(Refused(""));
    std::vector<ScriptItem> none;
    EXPECT_EQ(host::ParseScript(nullptr, 0, &none), 1);
    EXPECT_EQ(host::ParseScript(nullptr, 5, &none), 0);
}

TEST(Script, LoadsFromAFile)
{
    char path[] = "/tmp/krv_scriptXXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    std::string text = "1 down 0 1 2\n2 up 0 1 2\n";
    ASSERT_EQ(write(fd, text.data(), text.size()), ssize_t(text.size()));
    close(fd);
    std::vector<ScriptItem> items;
    EXPECT_EQ(host::LoadScript(path, &items), 1);
    EXPECT_EQ(items.size(), 2u);
    unlink(path);
    EXPECT_EQ(host::LoadScript(path, &items), 0);
}
