// PString: shared buffers, views, in-place growth and the 65535-byte limit.
#include <string>

#include <gtest/gtest.h>
#include <tuple>

#include "engine/runtime/pstring.h"

namespace {

std::string V(PString const& s) { return s.Length() ? std::string(s.Data(), s.Length()) : std::string(); }

TEST(String, CopiesShareAndAppendsDivergeCorrectly)
{
    PString a("abc");
    PString b;
    b = a;
    EXPECT_EQ(a.Buffer(), b.Buffer());
    EXPECT_EQ(a.Buffer()->references, 2u);
    a.Append("d");
    EXPECT_EQ(V(a), "abcd");
    EXPECT_EQ(V(b), "abc");
    EXPECT_EQ(a.Buffer(), b.Buffer()); // extended in place, still shared
    b += 'x';                          // b no longer ends the buffer: it copies
    EXPECT_EQ(V(b), "abcx");
    EXPECT_EQ(V(a), "abcd");
    EXPECT_NE(a.Buffer(), b.Buffer());
    EXPECT_EQ(a.Buffer()->references, 1u);
    EXPECT_STREQ(b.c_str(), "abcx");
    b = b; // self-assignment
    EXPECT_STREQ(b.c_str(), "abcx");
}

TEST(String, ViewsAndCStr)
{
    PString h("hello");
    EXPECT_EQ(V(h.Mid(1, 100)), "ello");
    EXPECT_TRUE(h.Mid(5, 1).IsEmpty());
    EXPECT_TRUE(h.Mid(70000).IsEmpty());
    PString he = h.Mid(0, 2);
    EXPECT_EQ(he.Buffer(), h.Buffer());
    EXPECT_STREQ(he.c_str(), "he"); // not at the buffer's end: copied first
    EXPECT_NE(he.Buffer(), h.Buffer());
    PString lo = h.Mid(3);
    EXPECT_STREQ(lo.c_str(), "lo"); // ends the buffer: no copy needed
    EXPECT_EQ(lo.Buffer(), h.Buffer());
    PString empty;
    EXPECT_STREQ(empty.c_str(), "");
    EXPECT_STREQ(PString(static_cast<char const*>(nullptr)).c_str(), "");

    PString s("abcdef");
    s.SetLength(3);
    EXPECT_STREQ(s.c_str(), "abc");
    s.SetLength(1000); // kept within the buffer
    EXPECT_EQ(s.Length(), 3u);
    s.SetLength(0);
    EXPECT_EQ(s.Buffer(), nullptr);
}

TEST(String, GrowthFollowsTheCapacityRules)
{
    PString s;
    std::vector<unsigned> caps;
    for (int i = 0; i < 33; i++) {
        s.Append(char('a' + i % 26));
        if (caps.empty() || caps.back() != s.Buffer()->capacity)
            caps.push_back(s.Buffer()->capacity);
    }
    EXPECT_EQ(caps, (std::vector<unsigned>{1, 8, 16, 24, 32, 40}));

    PString::StringRef* r = PString::StringRef::New("0123456789012345678901234567890123456789", 40, 0);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->capacity, 40);
    EXPECT_EQ(PString::StringRef::append(r, "abcdefghij", 10), r);
    EXPECT_EQ(std::make_tuple(r->capacity, r->length, r->data[50]), std::make_tuple(114, 50, 0));
    PString::StringRef::unref(r);
    PString::StringRef::unref(nullptr);
    PString::StringRef::ref(nullptr);
}

TEST(String, AppendingPastTheLimitIsRefused)
{
    std::string big(65530, 'x');
    PString s(big.c_str());
    ASSERT_EQ(s.Length(), 65530u);
    s.Append("12345");
    EXPECT_EQ(s.Length(), 65535u);
    PString::StringRef* before = s.Buffer();
    s.Append("!"); // one byte too many: refused, string unchanged
    s.Append('!');
    EXPECT_EQ(s.Length(), 65535u);
    EXPECT_EQ(s.Buffer(), before);
    EXPECT_EQ(s.Buffer()->length, 65535);
    EXPECT_EQ(std::string(s.c_str()).back(), '5');

    // A shared view that must copy is refused the same way.
    PString head = s.Mid(0, 65000);
    head.Append(std::string(600, 'y').c_str());
    EXPECT_EQ(head.Length(), 65000u);
    EXPECT_EQ(head.Buffer(), s.Buffer());

    // Byte by byte up to the limit and one more.
    PString c;
    for (int i = 0; i < 65536; i++)
        c.Append('z');
    EXPECT_EQ(c.Length(), 65535u);
    EXPECT_EQ(c.Buffer()->capacity, 65535);

    // Texts longer than the limit are refused on construction and assignment.
    std::string huge(70000, 'h');
    EXPECT_TRUE(PString(huge.c_str()).IsEmpty());
    PString keep("keep");
    keep = huge.c_str();
    EXPECT_STREQ(keep.c_str(), "keep");
    EXPECT_EQ(PString::StringRef::New(huge.c_str(), 70000, 0), nullptr);
}

TEST(String, AppendingItselfAndAssigningFromInside)
{
    PString s("abc");
    s.Append(s);
    EXPECT_STREQ(s.c_str(), "abcabc");
    for (int i = 0; i < 6; i++)
        s.Append(s); // grows past the capacity while reading its own bytes
    EXPECT_EQ(s.Length(), 6u * 64u);
    EXPECT_EQ(std::string(s.c_str()).substr(0, 9), "abcabcabc");
    PString t("hello world");
    t.Assign(t.c_str() + 6, 5); // source inside the reused buffer
    EXPECT_STREQ(t.c_str(), "world");
}

TEST(String, AssignmentForms)
{
    PString s("first");
    PString::StringRef* r = s.Buffer();
    s = "abc"; // held alone and fits: the buffer is reused
    EXPECT_EQ(s.Buffer(), r);
    EXPECT_STREQ(s.c_str(), "abc");
    PString shared = s;
    s = "xyz"; // shared: a new buffer
    EXPECT_NE(s.Buffer(), r);
    EXPECT_STREQ(shared.c_str(), "abc");
    s = PCString{"pq-ignored", 2};
    EXPECT_STREQ(s.c_str(), "pq");
    s = 'c';
    EXPECT_STREQ(s.c_str(), "c");
    s = "";
    EXPECT_EQ(s.Buffer(), nullptr);

    PString w(L"caf\u00e9 \u20ac");
    EXPECT_STREQ(w.c_str(), "caf\xc3\xa9 \xe2\x82\xac");
    PString w2(L"\u00e9\u00e9\u00e9", 2);
    EXPECT_STREQ(w2.c_str(), "\xc3\xa9\xc3\xa9");
    w2.Assign(L"x", 1);
    EXPECT_STREQ(w2.c_str(), "x");

    PString a("abc");
    PString b(a);
    b.Reset(); // shared: released
    EXPECT_EQ(b.Buffer(), nullptr);
    EXPECT_STREQ(a.c_str(), "abc");
    PString::StringRef* ar = a.Buffer();
    a.Reset(); // held alone: kept, emptied
    EXPECT_EQ(a.Buffer(), ar);
    EXPECT_EQ(a.Length(), 0u);
    a.Append("new");
    EXPECT_STREQ(a.c_str(), "new");
    EXPECT_EQ(a.Buffer(), ar);
    a.Clear();
    EXPECT_EQ(a.Buffer(), nullptr);
}

TEST(String, NumbersAndFormatting)
{
    PString s("n=");
    s.AppendNum(-15);
    s += ',';
    s.AppendNum(255u, 16);
    s += PString(" ");
    s.AppendFormat("%s:%05d:%Q", "fmt", 42, 0x18000);
    EXPECT_STREQ(s.c_str(), "n=-15,ff fmt:00042:1.500000");
    s.Num(7);
    EXPECT_STREQ(s.c_str(), "7");
    s.Num(5u, 2);
    EXPECT_STREQ(s.c_str(), "101");
    std::string big(65000, 'q');
    PString f("x");
    f.AppendFormat("%s%s", big.c_str(), big.c_str()); // too long: refused
    EXPECT_STREQ(f.c_str(), "x");
}

} // namespace
