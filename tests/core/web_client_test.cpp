// test-label: concurrency
#include "core/web_client_wrapper.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/network_wrapper.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "tests/support/test_util.h"
#include "tools/fake_http_server.h"
#include "tools/python_http_server.h"

namespace {

using Reply = FakeHttpServer::Reply;
using Req = FakeHttpServer::Request;

int CodeOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const EWebClient& e) {
    return e.Code;
  }
  return 0;
}

std::string Body(TWebClient& c) {
  std::string text;
  int64_t rs = 0, re = 0;
  c.ReadBodyAsString(text, rs, re);
  return text;
}

class WebClientTest : public ::testing::Test {
 protected:
  void SetUp() override { WebCookies::Clear(); }
  void TearDown() override { WebCookies::Clear(); }
};

TEST_F(WebClientTest, RequestHeadHostAndRange) {
  FakeHttpServer server([](const Req& r) {
    if (r.target == "/range")
      return FakeHttpServer::Text(206, std::string(100, 'r'), "Content-Range: bytes 100-199/1000\r\n");
    return FakeHttpServer::Text(200, "hello");
  });
  TWebClient c;
  c.SetRequestHeader("IE-Installed", "True");
  c.Open(server.Url("/x"));
  EXPECT_EQ(c.Request(0, 0), 200);
  EXPECT_EQ(Body(c), "hello");
  EXPECT_EQ(c.GetResponseHeader("content-length"), "5");
  EXPECT_EQ(c.GetResponseHeader("missing"), "");

  c.Open("/range");  // keeps host and port
  EXPECT_EQ(c.Request(100, 0), 206);
  const void* data = nullptr;
  int64_t rs = -1, re = -1;
  c.ReadBody(data, rs, re);
  EXPECT_EQ(rs, 100);
  EXPECT_EQ(re, 199);
  EXPECT_EQ(std::string(static_cast<const char*>(data), 100), std::string(100, 'r'));
  c.Open("/x");
  EXPECT_EQ(c.Request(5, 10), 200);

  auto reqs = server.Requests();
  ASSERT_EQ(reqs.size(), 3u);
  std::string hostPort = "127.0.0.1:" + std::to_string(server.Port());
  EXPECT_EQ(reqs[0].head, "GET /x HTTP/1.1\r\nIE-Installed: True\r\nHost: " + hostPort + "\r\n");
  EXPECT_EQ(reqs[1].Header("Range"), "bytes=100-");
  EXPECT_EQ(reqs[2].Header("Range"), "bytes=5-10");
  EXPECT_FALSE(reqs[0].HasHeader("Cookie"));
  EXPECT_FALSE(reqs[0].HasHeader("Connection"));
}

TEST_F(WebClientTest, ProxyRequestLineKeepsThePort) {
  FakeHttpServer proxy([](const Req&) { return FakeHttpServer::Text(200, "via proxy"); });
  TWebClient c;
  c.SetProxy("127.0.0.1", proxy.Port());
  c.Open("http://example.test/a");
  EXPECT_EQ(c.Request(), 200);
  c.Open("http://Example.Test:8080/b?q=1");
  EXPECT_EQ(c.Request(), 200);
  auto reqs = proxy.Requests();
  ASSERT_EQ(reqs.size(), 2u);
  EXPECT_EQ(reqs[0].line, "GET http://example.test/a HTTP/1.1");
  EXPECT_EQ(reqs[0].Header("Host"), "example.test");
  EXPECT_EQ(reqs[1].line, "GET http://Example.Test:8080/b?q=1 HTTP/1.1");
  EXPECT_EQ(reqs[1].Header("Host"), "Example.Test:8080");
}

TEST_F(WebClientTest, UrlsThatAreNotHttpFail) {
  TWebClient c;
  EXPECT_EQ(CodeOf([&] { c.Open("ftp://127.0.0.1/file"); }), -8);
  EXPECT_EQ(CodeOf([&] { c.Open("https://127.0.0.1/file"); }), -8);
  EXPECT_EQ(CodeOf([&] { c.Open("http://127.0.0.1:99999/"); }), -8);
  EXPECT_EQ(CodeOf([&] { c.Open("http://127.0.0.1/a\r\nInjected: 1"); }), -8);
  EXPECT_EQ(CodeOf([&] { c.Open("http:///nohost"); }), -8);
  EXPECT_EQ(CodeOf([&] { c.Open("HTTP:"); }), -8);
  try {
    c.Open("gopher://x/");
    FAIL();
  } catch (const EWebClient& e) {
    EXPECT_STREQ(e.what(), "WebClient Exception -8");
  }
}

TEST_F(WebClientTest, InterimResponsesAreSkipped) {
  FakeHttpServer server([](const Req& r) {
    Reply reply = FakeHttpServer::Text(200, "after continue");
    if (r.target == "/endless") {
      reply.bytes.clear();
      for (int i = 0; i < 40; ++i) reply.bytes += "HTTP/1.1 100 Continue\r\n\r\n";
      return reply;
    }
    reply.bytes = "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 102 Processing\r\nX: y\r\n\r\n" + reply.bytes;
    return reply;
  });
  TWebClient c;
  c.Open(server.Url("/"));
  EXPECT_EQ(c.Request(), 200);
  EXPECT_EQ(Body(c), "after continue");
  EXPECT_EQ(c.GetResponseHeader("X"), "");  // headers of the interim response are gone
  c.Open(server.Url("/endless"));
  EXPECT_EQ(CodeOf([&] { c.Request(); }), -12);
}

TEST_F(WebClientTest, RedirectsAreFollowed) {
  FakeHttpServer other([](const Req&) { return FakeHttpServer::Text(200, "other host"); });
  std::string otherUrl = other.Url("/final");
  // Three 302s ending at the third Location, on another host.
  FakeHttpServer chain([&](const Req& r) {
    if (r.target == "/a") return FakeHttpServer::Redirect(302, "/b");
    if (r.target == "/b") return FakeHttpServer::Redirect(302, "/c");
    if (r.target == "/c") return FakeHttpServer::Redirect(302, otherUrl);
    return FakeHttpServer::Text(404, "");
  });
  TWebClient c;
  c.Open(chain.Url("/a"));
  EXPECT_EQ(c.Request(), 200);
  EXPECT_EQ(Body(c), "other host");
  EXPECT_EQ(c.Handle().Port(), other.Port());
  EXPECT_EQ(c.Handle().Path(), "/final");
  ASSERT_EQ(other.Requests().size(), 1u);
  EXPECT_EQ(other.Requests()[0].Header("Host"), "127.0.0.1:" + std::to_string(other.Port()));
  EXPECT_EQ(chain.Connections(), 3);  // every redirect reconnects

  // Without FollowRedirects the 302 is the answer.
  TWebClient d;
  d.Handle().FollowRedirects = false;
  d.Open(chain.Url("/a"));
  EXPECT_EQ(d.Request(), 302);
  EXPECT_EQ(d.GetResponseHeader("Location"), "/b");
}

TEST_F(WebClientTest, TooManyRedirects) {
  FakeHttpServer server([](const Req& r) {
    int n = std::stoi(r.target.substr(1));
    if (n == 0) return FakeHttpServer::Text(200, "done");
    return FakeHttpServer::Redirect(302, "/" + std::to_string(n - 1));
  });
  TWebClient c;
  c.Open(server.Url("/100"));
  EXPECT_EQ(c.Request(), 200);  // exactly 100 redirects are followed
  c.Open(server.Url("/101"));
  EXPECT_EQ(CodeOf([&] { c.Request(); }), -10);
}

TEST_F(WebClientTest, ChunkedBodiesAreFramedExactly) {
  std::atomic<int> served{0};
  FakeHttpServer server([&](const Req&) {
    Reply reply;
    if (served++ == 0) {
      // Two chunks, one with an extension, then the last chunk; the next
      // response follows at once on the same connection.
      reply.bytes =
          "HTTP/1.1 200 OK\r\nTransfer-Encoding: Chunked\r\n\r\n"
          "5\r\nhello\r\n7;name=value\r\n, world\r\n0\r\n\r\n";
    } else {
      reply.bytes = "HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\nsecond";
    }
    return reply;
  });
  TWebClient c;
  c.Open(server.Url("/chunked"));
  EXPECT_EQ(c.Request(), 200);
  EXPECT_EQ(Body(c), "hello, world");
  EXPECT_EQ(c.Request(), 200);  // again, on the same connection
  EXPECT_EQ(Body(c), "second");
  EXPECT_EQ(server.Connections(), 1);
}

TEST_F(WebClientTest, ContentLengthAndToCloseBodies) {
  FakeHttpServer server([](const Req& r) {
    Reply reply;
    if (r.target == "/close") {
      reply.bytes = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\nuntil the end";
      reply.after = Reply::kClose;
    } else if (r.target.rfind("/bad/", 0) == 0) {
      reply.bytes = "HTTP/1.1 200 OK\r\nContent-Length: " + r.target.substr(5) + "\r\n\r\nno length";
      reply.after = Reply::kClose;
    } else if (r.target == "/nul") {
      reply.bytes = std::string("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nab\0cd", 44);
    } else {
      reply.bytes = "HTTP/1.1 204 No Content\r\n\r\n";
    }
    return reply;
  });
  TWebClient c;
  c.Open(server.Url("/close"));
  EXPECT_EQ(c.Request(), 200);
  EXPECT_EQ(c.GetResponseHeader("CONTENT-TYPE"), "text/html");
  EXPECT_EQ(Body(c), "until the end");
  EXPECT_EQ(c.Handle().ContentLength(), -1);
  // A length that is no plain decimal number is no length: the body is
  // read to the close.
  for (const char* bad : {"-5", "12abc", "12345678901234567890", "", "%2B9"}) {
    c.Open(std::string("/bad/") + bad);
    EXPECT_EQ(c.Request(), 200) << bad;
    EXPECT_EQ(c.Handle().ContentLength(), -1) << bad;
    EXPECT_EQ(Body(c), "no length") << bad;
  }
  c.Open("/nul");
  EXPECT_EQ(c.Request(), 200);
  EXPECT_EQ(Body(c), "ab");  // the text ends at the first NUL
  EXPECT_EQ(c.Handle().Body().Size(), 5);
  c.Open("/empty");
  EXPECT_EQ(c.Request(), 204);
  EXPECT_EQ(Body(c), "");
}

TEST_F(WebClientTest, CookiesAreStoredAndSent) {
  std::atomic<int> n{0};
  FakeHttpServer server([&](const Req& r) {
    std::string extra;
    if (r.target == "/set") extra = "Set-Cookie: session=abc; Path=/; Max-Age=3600\r\nSet-Cookie: \"q\"=\"quoted\"\r\n";
    if (r.target == "/sub/set") extra = "Set-Cookie: deep=1; path=/sub\r\n";
    if (r.target == "/other/set") extra = "Set-Cookie: nope=1; Path=/elsewhere\r\n";
    if (r.target == "/del") extra = "Set-Cookie: session=gone; Max-Age=0\r\n";
    if (r.target == "/many") {
      for (int i = 0; i < 6; ++i) extra += "Set-Cookie: c" + std::to_string(n++) + "=v\r\n";
    }
    return FakeHttpServer::Text(200, "", extra);
  });
  TWebClient c;
  auto get = [&](const std::string& path) {
    c.Open(server.Url(path));
    c.Request();
    return server.Requests().back().Header("Cookie");
  };
  EXPECT_EQ(get("/set"), "");
  EXPECT_EQ(get("/page"), "q=quoted; session=abc; $Path=/");
  get("/sub/set");
  EXPECT_EQ(get("/sub/page"), "deep=1; $Path=/sub; q=quoted; session=abc; $Path=/");
  EXPECT_EQ(get("/page"), "q=quoted; session=abc; $Path=/");
  get("/other/set");  // a path that does not begin the request path is not taken
  EXPECT_EQ(get("/page"), "nope=1; q=quoted; session=abc; $Path=/");
  get("/del");
  EXPECT_EQ(get("/page"), "nope=1; q=quoted");
  // A sixth cookie pushes the oldest out: five per list, newest first.
  get("/many");
  EXPECT_EQ(get("/page"), "c5=v; c4=v; c3=v; c2=v; c1=v");
  EXPECT_EQ(WebCookies::TotalCount(), 5);
  WebCookies::Clear();
  get("/page");
  EXPECT_FALSE(server.Requests().back().HasHeader("Cookie"));
}

TEST_F(WebClientTest, CookieDomainsAndAges) {
  std::string h = "www.example.com";
  WebCookies::Store(h, "/", "a=1; Domain=.example.com");
  WebCookies::Store(h, "/", "b=2; Domain=.com");          // too few full stops: the host keeps it
  WebCookies::Store(h, "/", "c=3; Domain=.other.com");    // not in the host
  WebCookies::Store(h, "/", "d=4; Max-Age=-1");           // already expired
  WebCookies::Store(h, "/", "; x");                       // no name
  EXPECT_EQ(WebCookies::HeaderFor("ftp.example.com", "/"), "a=1");
  EXPECT_EQ(WebCookies::HeaderFor("a.b.example.com", "/"), "");
  EXPECT_EQ(WebCookies::HeaderFor(h, "/"), "a=1; c=3; b=2");
  // Ages are seconds since storing.
  int64_t fake = 1000000;
  plat::SetMonotonicForTesting([&] { return fake; });
  WebCookies::Clear();
  WebCookies::Store(h, "/", "t=1; Max-Age=10");
  fake += 9000;
  EXPECT_EQ(WebCookies::HeaderFor(h, "/"), "t=1");
  fake += 1000;
  EXPECT_EQ(WebCookies::HeaderFor(h, "/"), "");
  plat::SetMonotonicForTesting(nullptr);
}

TEST_F(WebClientTest, SilentServerTimesOut) {
  FakeHttpServer server([](const Req&) {
    Reply r;
    r.after = Reply::kSilent;
    return r;
  });
  TWebClient c;
  EXPECT_EQ(c.Handle().Timeout(), kWebDefaultTimeout);
  c.SetTimeout(1);
  c.Open(server.Url("/"));
  EXPECT_EQ(CodeOf([&] { c.Request(); }), -3);
}

TEST_F(WebClientTest, HostileResponsesAreBounded) {
  FakeHttpServer server([](const Req& r) {
    Reply reply;
    reply.after = Reply::kClose;
    if (r.target == "/hugechunk") {
      reply.bytes = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n7FFFFFFFFFFFFFF\r\n";
      reply.writer = [](TSocket& s) {
        std::string block(64 * 1024, 'z');
        for (int i = 0; i < 64; ++i) s.WriteAll(block);  // 4 MiB, more than the cap
      };
    } else if (r.target == "/hugelength") {
      reply.bytes = "HTTP/1.1 200 OK\r\nContent-Length: 1000000000000\r\n\r\nxyz";
    } else if (r.target == "/badchunk") {
      reply.bytes = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n";
    } else if (r.target == "/overflowchunk") {
      reply.bytes = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nFFFFFFFFFFFFFFFFFF\r\n";
    } else if (r.target == "/longline") {
      reply.bytes = "HTTP/1.1 200 OK\r\nX: " + std::string(20000, 'a') + "\r\n\r\n";
    } else if (r.target == "/manyheaders") {
      reply.bytes = "HTTP/1.1 200 OK\r\n";
      for (int i = 0; i < 1000; ++i) reply.bytes += "X" + std::to_string(i) + ": y\r\n";
      reply.bytes += "\r\n";
    } else if (r.target == "/garbage") {
      reply.bytes = "SSH-2.0-whatever\r\n\r\n";
    } else if (r.target == "/shortstatus") {
      reply.bytes = "HTTP/1.1 20\r\n\r\n";
    } else if (r.target == "/cutbody") {
      reply.bytes = "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nonly this";
    }
    return reply;
  });
  TWebClient c;
  c.Handle().MaxBodySize = 1 << 20;
  auto body = [&](const std::string& path) {
    c.Open(server.Url(path));
    return CodeOf([&] {
      c.Request();
      Body(c);
    });
  };
  EXPECT_EQ(body("/hugechunk"), -4);
  EXPECT_LE(c.Handle().Body().Size(), 1 << 20);
  EXPECT_EQ(body("/hugelength"), -4);
  EXPECT_EQ(c.Handle().Body().Size(), 0);
  EXPECT_EQ(body("/badchunk"), -12);
  EXPECT_EQ(body("/overflowchunk"), -12);
  EXPECT_EQ(body("/longline"), -12);
  EXPECT_EQ(body("/manyheaders"), -12);
  EXPECT_EQ(body("/garbage"), -12);
  EXPECT_EQ(body("/shortstatus"), -12);
  EXPECT_EQ(body("/cutbody"), -13);
}

TEST_F(WebClientTest, ConnectFailuresSurfaceAsSocketCodes) {
  int port;
  {
    FakeHttpServer gone([](const Req&) { return Reply(); });
    port = gone.Port();
  }
  int before = WebClientHandleCount();
  {
    TWebClient c;
    EXPECT_EQ(WebClientHandleCount(), before + 1);
    EXPECT_EQ(CodeOf([&] { c.Open("http://127.0.0.1:" + std::to_string(port) + "/"); }), -9);
    EXPECT_EQ(CodeOf([&] { c.Request(); }), -9);  // still nobody there
  }
  EXPECT_EQ(WebClientHandleCount(), before);
}

}  // namespace

namespace {

// Against an ordinary third-party server: Python's http.server (HTTP/1.0,
// Content-Length bodies, a 301 with a "/"-relative Location for a folder
// named without its slash). Skipped where it cannot run.
TEST_F(WebClientTest, InteropWithPythonHttpServer) {
  std::string dir = testutil::TempFolder("webclient-py");
  std::filesystem::create_directories(dir + "sub");
  std::string big(300000, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = char(i * 7 % 251);
  {
    std::ofstream f(dir + "sub" + plat::kPathDelim + "big.bin", std::ios::binary);
    f << big;
    std::ofstream g(dir + "sub" + plat::kPathDelim + "index.html", std::ios::binary);
    g << "<html>index</html>";
  }
  PythonHttpServer py(dir);
  if (!py.Ok()) GTEST_SKIP() << "python3 http.server is not available here";
  TWebClient c;
  c.Open(py.Url("/sub/big.bin"));
  EXPECT_EQ(c.Request(), 200);
  const void* data = nullptr;
  int64_t rs = 0, re = 0;
  c.ReadBody(data, rs, re);
  ASSERT_EQ(c.Handle().Body().Size(), int64_t(big.size()));
  EXPECT_EQ(std::string(static_cast<const char*>(data), big.size()), big);
  EXPECT_EQ(re, int64_t(big.size()) - 1);
  c.Close();
  c.Open(py.Url("/sub"));  // 301 to "/sub/", then the index
  EXPECT_EQ(c.Request(), 200);
  EXPECT_EQ(c.Handle().Path(), "/sub/");
  EXPECT_EQ(Body(c), "<html>index</html>");
  c.Open(py.Url("/missing"));
  EXPECT_EQ(c.Request(), 404);
}

}  // namespace
