#include "game/multiplayer/ipinput.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

namespace {

constexpr int kDel = 8;

std::string Normalised(const char* in)
{
    IPinput ip(nullptr, nullptr);
    ip.SetText(in);
    return ip.GetString();
}

// One key: a digit, '<' deletes, 'L' and 'R' are the arrows.
void Key(IPinput& ip, char k)
{
    if (k == 'L' || k == 'R')
        return k == 'L' ? ip.HandleLeftArrowEvent() : ip.HandleRightArrowEvent();
    ip.HandleNumpadInput(k == '<' ? kDel : k, k == '<' ? kDel : k);
}

TEST(IPinput, SetTextNormalises)
{
    const char* cases[][2] = {
        {"192.168.0.1", "192.168.0.1:0"}, {"10.0.0.7:5000", "10.0.0.7:5000"}, {"", "0."}, {nullptr, "0."},
        {"300.1", "255.1."}, {"01.002", "1.2."}, {"1.2.3.4:70000", "1.2.3.4:65535"}, {"1.2.3.4:5.6", "1.2.3.4:5"},
        {"1x.2", "1.2."}, {"1..2", "1.0.2."}, {"1:2:3:4.5", "1.2.3.4:5"},
        // Digit runs far beyond 32 bits hold at the range's top.
        {"99999999999999999999999.4294967297.1.1:99999999999999999999", "255.255.1.1:65535"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Normalised(c[0]), c[1]) << (c[0] ? c[0] : "(null)");
}

// Starting text and cursor, the keys typed, the text and cursor after.
TEST(IPinput, EditingTable)
{
    const struct { const char *text; int cursor; const char *keys, *out; int outCursor; } cases[] = {
        {"192.168.0.1:0", 10, "7", "192.168.0.7:0", 11}, // the start of a number replaces it
        {"192.168.0.1:0", 7, "5", "192.168.5.1:0", 9},   // past a full number into the next
        {"192.168.0.1:0", 1, "5", "152.168.0.1:0", 2},   // inside a full number overwrites
        {"25.1.1.1:0", 2, "9", "255.1.1.1:0", 3},        // held at 255
        {"1.2.3.4:0", 9, "65536", "1.2.3.4:65535", 13},  // the port held at 65535
        {"1.2.3.4:0", 2, "<", "1.2.3.4:0", 1},           // a dot is never deleted
        {"1.2.3.4:0", 3, "<", "1..3.4:0", 2},            // a number may be emptied...
        {"1.2.3.4:0", 3, "<<", "1.0.3.4:0", 1},          // ...and gets a 0 when left
        {"1.2.3.4:0", 3, "<R", "1.0.3.4:0", 3},
        {"1.2.3.4:0", 5, "<L", "1.2.0.4:0", 3},
        {"1.2.3.4:0", 9, "<", "1.2.3.4:0", 8},           // the port normalises back to 0
        {"1.2.3.4:0", 5, " x", "1.2.3.4:0", 5},          // not digits
        {"1.2.3.4:0", 0, "<", ".2.3.4:0", 0},
        {"1.2.3.4:0", 9, "RR", "1.2.3.4:0", 9},
    };
    for (const auto& c : cases) {
        IPinput ip(c.text, nullptr);
        while (ip.GetCursor() > c.cursor)
            ip.HandleLeftArrowEvent();
        for (const char* k = c.keys; *k; k++)
            Key(ip, *k);
        EXPECT_STREQ(ip.GetString(), c.out) << c.text << " @" << c.cursor << " " << c.keys;
        EXPECT_EQ(ip.GetCursor(), c.outCursor) << c.text << " @" << c.cursor << " " << c.keys;
    }
}

// Random texts and typing: a normalised text is its own normal form, fits 21
// characters, has the shape "a." .. "a.b.c." or "a.b.c.d:p", and its dotted
// quad reads the same through inet_pton; the cursor stays within the text.
TEST(IPinput, Properties)
{
    auto check = [](const std::string& t) {
        ASSERT_LE(t.size(), size_t(IPinput::kMaxNormalised)) << t;
        ASSERT_EQ(Normalised(t.c_str()), t);
        const size_t colon = t.find(':');
        ASSERT_TRUE(colon != std::string::npos || (t.back() == '.' && std::count(t.begin(), t.end(), '.') <= 3));
        if (colon == std::string::npos)
            return;
        const std::string quad = t.substr(0, colon), port = t.substr(colon + 1);
        in_addr a{};
        ASSERT_EQ(inet_pton(AF_INET, quad.c_str(), &a), 1) << t;
        ASSERT_STREQ(inet_ntoa(a), quad.c_str());
        ASSERT_EQ(std::to_string(std::stoi(port)), port) << t;
    };
    std::mt19937 rng(7);
    const char alphabet[] = "0123456789012345678999..::x -";
    for (int i = 0; i < 3000; i++) {
        std::string in;
        for (int n = int(rng() % 40); n > 0; n--)
            in += alphabet[rng() % (sizeof alphabet - 1)];
        check(Normalised(in.c_str()));
        IPinput ip(nullptr, nullptr);
        ip.SetText(in.c_str());
        for (int k = 0; k < 30; k++) {
            const char key = "0123456789<LR"[rng() % 13];
            Key(ip, key);
            ASSERT_LE(ip.GetCursor(), int(std::string(ip.GetString()).size())) << ip.GetString();
            ASSERT_GE(ip.GetCursor(), 0);
            if (key <= '9')
                check(ip.GetString());
        }
    }
}

} // namespace
