// Addresses, header names and header lists of the HTTP client.
#include <cstring>
#include <gtest/gtest.h>
#include <string>

#include "engine/net/http.h"
#include "engine/net/httpheaders.h"
#include "engine/net/httprequest.h"
#include "engine/net/httpresponse.h"
#include "engine/net/uri.h"
#include "engine/runtime/palloc.h"

namespace {

std::string Str(const PURI& u)
{
    char* s = u.ToString();
    std::string r = s ? s : "(null)";
    PFree(s);
    return r;
}

TEST(Uri, ParsesAndPrints)
{
    PURI a("example");
    ASSERT_TRUE(a.IsValid());
    EXPECT_STREQ(a.Host(), "example");
    EXPECT_EQ(a.Scheme(), nullptr);
    EXPECT_EQ(a.Port(), 0);
    EXPECT_STREQ(a.Path(), "/");
    EXPECT_EQ(Str(a), "example/");

    PURI b("http://h:8080/a?b");
    ASSERT_TRUE(b.IsValid());
    EXPECT_STREQ(b.Scheme(), "http");
    EXPECT_STREQ(b.Host(), "h");
    EXPECT_EQ(b.Port(), 8080);
    EXPECT_STREQ(b.Path(), "/a?b");
    EXPECT_EQ(Str(b), "http://h:8080/a?b");

    PURI c("://h/x"); // empty scheme is kept
    EXPECT_TRUE(c.IsValid());
    EXPECT_STREQ(c.Scheme(), "");

    PURI copy(b);
    PURI assigned;
    assigned = copy;
    EXPECT_EQ(Str(assigned), "http://h:8080/a?b");
    assigned = "h2:99";
    EXPECT_EQ(Str(assigned), "h2:99/");
}

TEST(Uri, RefusesBadAddresses)
{
    PURI u;
    EXPECT_EQ(u.Set("h:0/"), 0);
    EXPECT_EQ(u.Port(), 0);
    EXPECT_FALSE(u.IsValid());
    EXPECT_EQ(u.Set("h:65536"), 0);
    EXPECT_EQ(u.Set("http://"), 0);
    EXPECT_EQ(u.Set("http:///x"), 0);
    EXPECT_EQ(u.Set(":80/x"), 0);
    EXPECT_EQ(u.Set("h:"), 0);
    EXPECT_EQ(u.Set("h:80x/"), 0);
    EXPECT_EQ(u.Set("h:99999999999999999/"), 0);
    EXPECT_EQ(u.Set(nullptr), 0);
    EXPECT_EQ(u.Set("h:65535"), 1);
    EXPECT_EQ(u.Port(), 65535);
}

TEST(HttpNames, FixedAndExtraIds)
{
    PHTTP http;
    EXPECT_EQ(http.HeaderType("content-length"), 3);
    EXPECT_EQ(http.HeaderType("CONTENT-LANGUAGE"), 16);
    EXPECT_EQ(http.HeaderType("Content-Lengthx"), -1);
    EXPECT_EQ(http.HeaderType("X-Custom"), -1);
    EXPECT_EQ(http.AddHeader("X-Custom"), 17);
    EXPECT_EQ(http.AddHeader("x-custom"), 17);
    EXPECT_EQ(http.AddHeader("X-Other"), 18);
    int len = 0;
    EXPECT_STREQ(http.HeaderString(17, len), "X-Custom");
    EXPECT_EQ(len, 8);
    EXPECT_STREQ(http.HeaderString(9, len), "Host");
    EXPECT_EQ(http.HeaderString(19, len), nullptr);
    EXPECT_EQ(http.HeaderString(-1, len), nullptr);
    // The table of extra names is bounded.
    char name[32];
    for (int i = 0; i < 100; i++) {
        std::snprintf(name, sizeof name, "X-N%d", i);
        int id = http.AddHeader(name);
        if (http.ExtraNameCount() < PHTTP::kMaxExtraNames || id >= 0) {
            EXPECT_GE(id, 17);
        }
    }
    EXPECT_EQ(http.ExtraNameCount(), PHTTP::kMaxExtraNames);
    EXPECT_EQ(http.AddHeader("X-One-Too-Many"), -1);
    EXPECT_EQ(http.AddHeader("X-Custom"), 17); // known names still resolve
}

TEST(HttpNames, HeaderListOperations)
{
    PHTTP http;
    PHTTPHeaders h(http);
    EXPECT_EQ(h.Add("Content-Length", 12), 0);
    EXPECT_EQ(h.Add("X-A", "one"), 1);
    EXPECT_EQ(h.Add("x-a", "two"), 2);
    EXPECT_STREQ(h.GetHeader("X-A")->value, "one");
    EXPECT_STREQ(h.GetHeader(3)->value, "12");
    EXPECT_EQ(h.Set("X-A", "uno"), 1);
    EXPECT_STREQ(h.GetHeaderByIndex(2)->value, "two");
    EXPECT_EQ(h.SetByIndex(5, "x"), -1);
    EXPECT_EQ(h.GetHeaderByIndex(3), nullptr);
    h.Delete("X-A");
    EXPECT_EQ(h.Count(), 1);
    h.Delete("X-Unknown");
    EXPECT_EQ(h.Count(), 1);
    h.Delete(3);
    EXPECT_EQ(h.Count(), 0);
    EXPECT_EQ(h.GetHeader("Content-Length"), nullptr);
}

int ParseAll(PHTTPResponse& r, std::string text, int& rest)
{
    std::string buf = text;
    rest = int(buf.size());
    return r.Parse(&buf[0], rest);
}

TEST(HttpResponse, StatusLinesAndHeads)
{
    PHTTP http;
    int rest = 0;
    {
        PHTTPResponse r(http);
        EXPECT_EQ(ParseAll(r, "HTTP/1.0 200 OK\r\nContent-length: 5\r\n\r\nhello", rest), 1);
        EXPECT_EQ(r.Status(), 200);
        EXPECT_EQ(r.ContentLength(), 5);
        EXPECT_EQ(rest, 5);
    }
    const char* bad[] = {"HTTP/2 200 OK\r\n", "HTTP/1.1 99 Low\r\n", "HTTP/1.1 600 High\r\n", "ICY 200 OK\r\n",
                         "HTTP/1.1 200 OK\r\nContent-Length: -5\r\n\r\n",
                         "HTTP/1.1 200 OK\r\nContent-Length: 2147483648\r\n\r\n",
                         "HTTP/1.1 200 OK\r\nContent-Length: 12abc\r\n\r\n",
                         "HTTP/1.1 200 OK\r\nContent-Length: 3\r\nContent-Length: 4\r\n\r\n"};
    for (const char* b : bad) {
        PHTTPResponse r(http);
        EXPECT_EQ(ParseAll(r, b, rest), -1) << b;
    }
    {
        PHTTPResponse r(http);
        EXPECT_EQ(ParseAll(r, "HTTP/1.1 200 OK\r\nX-F: a\r\n\tb c\r\n no-colon-line\r\nServer: s\r\n", rest), 0);
        EXPECT_EQ(rest, 0);
        EXPECT_STREQ(r.Headers().GetHeader("X-F")->value, "ab cno-colon-line");
        EXPECT_EQ(ParseAll(r, "Partial-Line: x", rest), 0);
        EXPECT_EQ(rest, 15);
    }
    {
        // Continuation lines cannot grow a value without bound.
        PHTTPResponse r(http);
        std::string head = "HTTP/1.1 200 OK\r\nX-Fold: a\r\n";
        for (int i = 0; i < 100; i++)
            head += "\t" + std::string(90, 'f') + "\r\n";
        EXPECT_EQ(ParseAll(r, head, rest), -1);
    }
    {
        // Nor can the number of header lines.
        PHTTPResponse r(http);
        std::string head = "HTTP/1.1 200 OK\r\n";
        for (int i = 0; i <= PHTTPResponse::kMaxHeaderLines; i++)
            head += "Server: x\r\n";
        EXPECT_EQ(ParseAll(r, head, rest), -1);
    }
}

TEST(HttpRequest, AddressChecks)
{
    PHTTP http;
    PHTTPRequest* r = http.CreateRequest(PHTTPRequest::GET, "http://127.0.0.1:1/x");
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(http.CreateRequest(PHTTPRequest::GET, "https://127.0.0.1/x"), nullptr);
    EXPECT_EQ(http.CreateRequest(PHTTPRequest::GET, "ftp://127.0.0.1/x"), nullptr);
    EXPECT_EQ(http.CreateRequest(PHTTPRequest::GET, "h:0"), nullptr);
    PHTTPRequest* m = http.CreateRequest(PHTTPRequest::GET, "market://details");
    EXPECT_NE(m, nullptr);
    delete m;
    EXPECT_EQ(r->Reset(PURI("https://127.0.0.1/secure")), PSOCK_EINVAL);
    EXPECT_EQ(r->Reset(PURI("market://x")), PSOCK_EINVAL);
    EXPECT_EQ(r->Reset(PHTTPRequest::PUT, PURI("http://127.0.0.1:1/y")), 0);
    EXPECT_EQ(r->Submit(), PSOCK_EINVAL); // a PUT needs a body
    EXPECT_EQ(r->Reset(PHTTPRequest::GET, PURI("http://127.0.0.1:1/a b")), 0);
    EXPECT_EQ(r->Submit(), PSOCK_EINVAL); // a blank would break the request line
    EXPECT_EQ(r->BytesAvail(), -1);
    EXPECT_EQ(r->BytesLeft(), -1);
    char b[4];
    EXPECT_EQ(r->Read(b, 4), -1); // idle
    EXPECT_EQ(r->Select(1, 0), 1);
    delete r;
    PHTTPRequest* empty = http.CreateRequest();
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->Submit(), PSOCK_EINVAL);
    delete empty;
}

TEST(HttpBody, BlobAndChunkPieces)
{
    unsigned char data[10000] = {};
    PHTTPBodyChunk c(data, 10000);
    int len = 0;
    EXPECT_EQ(c.Data(len), data);
    EXPECT_EQ(len, 4096);
    EXPECT_EQ(c.Data(len), data + 4096);
    EXPECT_EQ(c.Data(len), data + 8192);
    EXPECT_EQ(len, 10000 - 8192);
    EXPECT_EQ(c.Data(len), nullptr);
    PHTTPBodyBlob b(256);
    ASSERT_NE(b.Buffer(), nullptr);
    EXPECT_EQ(b.Size(), 256);
    EXPECT_EQ(b.Data(len), b.Buffer());
    EXPECT_EQ(b.Data(len), b.Buffer());
    EXPECT_EQ(len, 256);
}

} // namespace
