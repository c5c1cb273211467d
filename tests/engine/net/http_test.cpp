// The HTTP client against real servers on loopback: Python's http.server
// (HTTP/1.0 and HTTP/1.1) and nginx.
#include <arpa/inet.h>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <string>

#include "engine/net/http.h"
#include "engine/net/httprequest.h"
#include "net_test_util.h"

namespace {

using nettest::Again;
using nettest::Drive;
using nettest::FetchResult;

class PyServer {
public:
    bool Start(const char* protocol)
    {
        std::string py = nettest::FindProgram("python3");
        if (py.empty())
            return false;
        std::string script = nettest::SourceDir() + "/tests/engine/net/http_test_server.py";
        if (!m_child.Start({py, script, protocol}))
            return false;
        m_port = m_child.ReadPort();
        return m_port > 0;
    }
    std::string Url(const char* path) const { return "http://127.0.0.1:" + std::to_string(m_port) + path; }
    int Port() const { return m_port; }

private:
    nettest::Child m_child;
    int m_port = 0;
};

PyServer* g_http11 = nullptr;
PyServer* g_http10 = nullptr;

class HttpPython : public ::testing::TestWithParam<int> {
protected:
    static void SetUpTestSuite()
    {
        g_http11 = new PyServer;
        g_http10 = new PyServer;
        ASSERT_TRUE(g_http11->Start("HTTP/1.1"));
        ASSERT_TRUE(g_http10->Start("HTTP/1.0"));
    }
    static void TearDownTestSuite()
    {
        delete g_http11;
        delete g_http10;
        g_http11 = g_http10 = nullptr;
    }
    PyServer& Server() { return GetParam() == 11 ? *g_http11 : *g_http10; }

    FetchResult Get(const char* path, int timeoutMs = 10000)
    {
        std::unique_ptr<PHTTPRequest> r(m_http.CreateRequest(PHTTPRequest::GET, Server().Url(path).c_str()));
        if (!r || r->Submit() != 0)
            return FetchResult();
        return Drive(r.get(), timeoutMs);
    }

    PHTTP m_http;
};

TEST_P(HttpPython, GetWithContentLength)
{
    FetchResult f = Get("/hello");
    EXPECT_EQ(f.status, 200);
    EXPECT_EQ(f.body, "hello, world\n");
    EXPECT_EQ(f.end, 0);
    EXPECT_EQ(f.state, PHTTPRequest::STATE_DONE);

    FetchResult big = Get("/big");
    ASSERT_EQ(big.body.size(), 70000u);
    bool same = true;
    for (int i = 0; i < 70000; i++)
        same &= uint8_t(big.body[size_t(i)]) == uint8_t(i * 7);
    EXPECT_TRUE(same);

    FetchResult missing = Get("/missing");
    EXPECT_EQ(missing.status, 404);
    EXPECT_EQ(missing.body, "not found\n");
}

TEST_P(HttpPython, PostAndPutBodies)
{
    std::string payload(300, 'p');
    PHTTPBodyBlob blob(payload.data(), int(payload.size()));
    std::unique_ptr<PHTTPRequest> r(m_http.CreateRequest(PHTTPRequest::POST, Server().Url("/echo").c_str()));
    ASSERT_TRUE(r);
    r->SetBody(&blob);
    ASSERT_EQ(r->Submit(), 0);
    FetchResult f = Drive(r.get());
    EXPECT_EQ(f.status, 200);
    EXPECT_EQ(f.body, "/echo 300 " + payload);

    // A POST without a body announces a length of 0.
    EXPECT_EQ(Again(r.get(), PHTTPRequest::POST, Server().Url("/empty")).body, "/empty 0 ");

    // A PUT of 10000 bytes goes out in 4096-byte pieces.
    std::string big(10000, 0);
    for (size_t i = 0; i < big.size(); i++)
        big[i] = char('a' + i % 26);
    PHTTPBodyChunk chunk(big.data(), int(big.size()));
    EXPECT_EQ(Again(r.get(), PHTTPRequest::PUT, Server().Url("/put"), &chunk).body, "/put 10000 " + big);

    // The same through Read alone, without polling first: Read sends the
    // request, then delivers what has come or -256.
    chunk.Rewind();
    ASSERT_EQ(r->Reset(PHTTPRequest::PUT, PURI(Server().Url("/put2").c_str())), 0);
    ASSERT_EQ(r->Submit(), 0);
    std::string got;
    char buf[512];
    uint32_t start = PTickCount();
    int n = 0;
    while (int(PTickCount() - start) < 10000) {
        n = r->Read(buf, sizeof buf);
        if (n > 0)
            got.append(buf, size_t(n));
        else if (n == PSOCK_EWOULDBLOCK)
            PSleep(1);
        else
            break;
    }
    EXPECT_EQ(n, 0);
    EXPECT_TRUE(got == "/put2 10000 " + big) << got.size() << " " << got.substr(0, 40);
}

TEST_P(HttpPython, CloseDelimitedAndChunkedBodies)
{
    FetchResult c = Get("/close");
    EXPECT_EQ(c.body, std::string(3000, 'x'));
    EXPECT_EQ(c.end, 0);

    const std::string expect = "MozillaDeveloper!Network";
    FetchResult k = Get("/chunked");
    EXPECT_EQ(k.body, expect);
    EXPECT_EQ(k.end, 0);
    FetchResult slow = Get("/chunked-slow");
    EXPECT_EQ(slow.body, expect);
    EXPECT_EQ(slow.end, 0);
}

TEST_P(HttpPython, RedirectIsReportedAndFollowedByTheCaller)
{
    std::unique_ptr<PHTTPRequest> r(m_http.CreateRequest(PHTTPRequest::GET, Server().Url("/redirect").c_str()));
    ASSERT_TRUE(r);
    ASSERT_EQ(r->Submit(), 0);
    FetchResult f = Drive(r.get());
    EXPECT_EQ(f.status, 302);
    const PHTTPHeaders::Entry* loc = r->Response()->Headers().GetHeader(PHTTP_LOCATION);
    ASSERT_NE(loc, nullptr);
    EXPECT_STREQ(loc->value, "/hello");
    EXPECT_EQ(Again(r.get(), PHTTPRequest::GET, Server().Url(loc->value)).body, "hello, world\n");
}

TEST_P(HttpPython, LongHeadsAndLines)
{
    std::unique_ptr<PHTTPRequest> r(m_http.CreateRequest(PHTTPRequest::GET, Server().Url("/bigheaders").c_str()));
    ASSERT_TRUE(r);
    ASSERT_EQ(r->Submit(), 0);
    FetchResult f = Drive(r.get());
    EXPECT_EQ(f.status, 200);
    EXPECT_EQ(f.body, "ok");
    ASSERT_NE(r->Response()->Headers().GetHeader("X-Filler-29"), nullptr);
    EXPECT_EQ(r->Response()->Headers().GetHeader("X-Filler-29")->length, 100 - 15);

    // A single header line longer than the receive buffer ends the request.
    FetchResult l = Get("/longline");
    EXPECT_LT(l.end, 0);
    EXPECT_EQ(l.state, PHTTPRequest::STATE_DONE);
    EXPECT_TRUE(l.body.empty());

    FetchResult folded = Get("/folded");
    EXPECT_EQ(folded.status, 200);
    EXPECT_EQ(folded.end, 0);
}

TEST_P(HttpPython, HostileResponsesFail)
{
    // Bytes beyond Content-Length are never handed out.
    FetchResult extra = Get("/extra");
    EXPECT_EQ(extra.body, "body");
    EXPECT_EQ(extra.end, 0);

    const char* failing[] = {"/hugelength", "/negativelength", "/hugechunk", "/http2", "/early-chunked"};
    for (const char* p : failing) {
        FetchResult f = Get(p);
        EXPECT_LT(f.end, 0) << p;
        EXPECT_FALSE(f.timedOut) << p;
        EXPECT_EQ(f.state, PHTTPRequest::STATE_DONE) << p;
    }
    FetchResult te = Get("/gzip-te");
    EXPECT_EQ(te.end, PSOCK_ECONNABORTED);

    // A server that closes before the announced length: the bytes that came,
    // then a failure, not a clean end.
    std::unique_ptr<PHTTPRequest> r(m_http.CreateRequest(PHTTPRequest::GET, Server().Url("/early").c_str()));
    ASSERT_EQ(r->Submit(), 0);
    FetchResult early = Drive(r.get());
    EXPECT_EQ(early.body, "0123456789");
    EXPECT_EQ(early.end, -1);
    EXPECT_EQ(r->BytesLeft(), 90);
    EXPECT_EQ(r->BytesRead(), 10);
}

TEST_P(HttpPython, StallingServerNeverBlocksTheCaller)
{
    std::unique_ptr<PHTTPRequest> r(m_http.CreateRequest(PHTTPRequest::GET, Server().Url("/stall").c_str()));
    ASSERT_EQ(r->Submit(), 0);
    FetchResult f = Drive(r.get(), 500);
    EXPECT_TRUE(f.timedOut);
    EXPECT_EQ(f.body, "abc");
    EXPECT_EQ(f.state, PHTTPRequest::STATE_RECEIVE_BODY);
    EXPECT_EQ(r->BytesLeft(), 97);
    char b[16];
    EXPECT_EQ(r->Read(b, sizeof b), PSOCK_EWOULDBLOCK);
    EXPECT_EQ(r->Close(), 0);
    EXPECT_EQ(r->GetState(), PHTTPRequest::STATE_IDLE);
}

TEST_P(HttpPython, HostHeaderHeadAndKeepAlive)
{
    FetchResult h = Get("/host");
    EXPECT_EQ(h.body, "127.0.0.1:" + std::to_string(Server().Port()));

    std::unique_ptr<PHTTPRequest> r(m_http.CreateRequest(PHTTPRequest::HEAD, Server().Url("/head").c_str()));
    ASSERT_EQ(r->Submit(), 0);
    FetchResult head = Drive(r.get());
    EXPECT_EQ(head.status, 200);
    EXPECT_EQ(head.end, 0);
    EXPECT_TRUE(head.body.empty());

    // A second request on the same object: HTTP/1.1 keeps the connection,
    // HTTP/1.0 opens a new one.
    EXPECT_EQ(Again(r.get(), PHTTPRequest::GET, Server().Url("/hello")).body, "hello, world\n");
    PSockAddr first;
    ASSERT_EQ(r->LocalName(first), 0);
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(Again(r.get()).body, "hello, world\n");
    PSockAddr second;
    if (GetParam() == 11) {
        ASSERT_EQ(r->LocalName(second), 0);
        EXPECT_EQ(first.port, second.port);
    } else {
        EXPECT_FALSE(r->IsOpen() && r->LocalName(second) == 0 && second.port == first.port);
    }
    // Chunked responses keep the connection too once fully read.
    EXPECT_EQ(Again(r.get(), PHTTPRequest::GET, Server().Url("/chunked")).body, "MozillaDeveloper!Network");
    EXPECT_EQ(Again(r.get()).body, "MozillaDeveloper!Network");
}

INSTANTIATE_TEST_SUITE_P(Protocols, HttpPython, ::testing::Values(10, 11),
                         [](const ::testing::TestParamInfo<int>& i) { return i.param == 11 ? "Http11" : "Http10"; });

TEST(HttpConnect, RefusedAndUnresolvable)
{
    PHTTP http;
    int port = nettest::FreeLoopbackPort();
    std::string url = "http://127.0.0.1:" + std::to_string(port) + "/";
    std::unique_ptr<PHTTPRequest> r(http.CreateRequest(PHTTPRequest::GET, url.c_str()));
    ASSERT_TRUE(r);
    int s = r->Submit();
    if (s == 0) {
        FetchResult f = Drive(r.get(), 3000);
        EXPECT_LT(f.end, 0);
        EXPECT_FALSE(f.timedOut);
    } else {
        EXPECT_EQ(s, PSOCK_ECONNREFUSED);
        EXPECT_EQ(r->GetState(), PHTTPRequest::STATE_IDLE);
    }
    std::unique_ptr<PHTTPRequest> u(http.CreateRequest(PHTTPRequest::GET, "http://no-such-host.invalid/"));
    ASSERT_TRUE(u);
    EXPECT_LT(u->Submit(), 0);
}

// nginx, started by the test on a loopback port with its own configuration.
class HttpNginx : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string nginx = nettest::FindProgram("nginx");
        if (nginx.empty())
            GTEST_SKIP() << "nginx is not installed (scripts/deps.sh installs it)";
        char tmpl[] = "/tmp/krv-nginx-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        m_dir = tmpl;
        mkdir((m_dir + "/www").c_str(), 0755);
        mkdir((m_dir + "/tmp").c_str(), 0755);
        std::ofstream(m_dir + "/www/hello.txt") << "hello from nginx\n";
        std::ofstream(m_dir + "/www/part.txt") << "included";
        std::ofstream(m_dir + "/www/page.html") << "<p><!--# include file=\"part.txt\" --></p>\n";
        for (int attempt = 0; attempt < 5 && m_port == 0; attempt++) {
            int port = nettest::FreeLoopbackPort();
            std::ofstream conf(m_dir + "/nginx.conf");
            conf << "daemon off;\nmaster_process off;\nworker_processes 1;\n"
                 << "error_log " << m_dir << "/error.log;\npid " << m_dir << "/nginx.pid;\n"
                 << "events { worker_connections 32; }\n"
                 << "http {\n access_log off;\n client_body_temp_path " << m_dir << "/tmp;\n"
                 << " proxy_temp_path " << m_dir << "/tmp;\n fastcgi_temp_path " << m_dir << "/tmp;\n"
                 << " keepalive_requests 100;\n"
                 << " server {\n  listen 127.0.0.1:" << port << ";\n  root " << m_dir << "/www;\n"
                 << "  location = /page.html { ssi on; }\n"
                 << "  location = /moved { return 302 /hello.txt; }\n"
                 << "  location = /post { return 200 \"posted\\n\"; }\n"
                 << " }\n}\n";
            conf.close();
            m_child.reset(new nettest::Child);
            if (!m_child->Start({nginx, "-p", m_dir, "-e", m_dir + "/error.log", "-c", m_dir + "/nginx.conf"}))
                continue;
            for (int i = 0; i < 100; i++) {
                if (nettest::CanConnect(port)) {
                    m_port = port;
                    break;
                }
                usleep(20000);
            }
            if (m_port == 0)
                m_child.reset();
        }
        ASSERT_GT(m_port, 0) << "nginx did not start";
    }
    void TearDown() override
    {
        m_child.reset();
        if (!m_dir.empty())
            std::system(("rm -rf '" + m_dir + "'").c_str());
    }
    std::string Url(const char* path) const { return "http://127.0.0.1:" + std::to_string(m_port) + path; }

    std::unique_ptr<nettest::Child> m_child;
    std::string m_dir;
    int m_port = 0;
    PHTTP m_http;
};

TEST_F(HttpNginx, StaticChunkedRedirectPostAndKeepAlive)
{
    std::unique_ptr<PHTTPRequest> r(m_http.CreateRequest(PHTTPRequest::GET, Url("/hello.txt").c_str()));
    ASSERT_TRUE(r);
    ASSERT_EQ(r->Submit(), 0);
    FetchResult f = Drive(r.get());
    EXPECT_EQ(f.status, 200);
    EXPECT_EQ(f.body, "hello from nginx\n");
    EXPECT_EQ(r->Response()->ContentLength(), 17);
    PSockAddr first;
    ASSERT_EQ(r->LocalName(first), 0);

    // Server-side includes make nginx send a chunked body.
    FetchResult page = Again(r.get(), PHTTPRequest::GET, Url("/page.html"));
    EXPECT_EQ(page.body, "<p>included</p>\n");
    const PHTTPHeaders::Entry* te = r->Response()->Headers().GetHeader(PHTTP_TRANSFER_ENCODING);
    ASSERT_NE(te, nullptr);
    EXPECT_STREQ(te->value, "chunked");

    FetchResult moved = Again(r.get(), PHTTPRequest::GET, Url("/moved"));
    EXPECT_EQ(moved.status, 302);
    ASSERT_NE(r->Response()->Headers().GetHeader(PHTTP_LOCATION), nullptr);

    unsigned char body[256];
    for (int i = 0; i < 256; i++)
        body[i] = uint8_t(i);
    PHTTPBodyBlob blob(body, 256);
    FetchResult post = Again(r.get(), PHTTPRequest::POST, Url("/post"), &blob);
    EXPECT_EQ(post.status, 200);
    EXPECT_EQ(post.body, "posted\n");

    // All of it went over the first connection.
    PSockAddr now;
    ASSERT_EQ(r->LocalName(now), 0);
    EXPECT_EQ(now.port, first.port);

    EXPECT_EQ(Again(r.get(), PHTTPRequest::GET, Url("/missing")).status, 404);
}

} // namespace
