#include "engine/idhttp.h"

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <thread>

#include <gtest/gtest.h>

#include "engine/idhttpext.h"
#include "model/uriparser.h"
#include "support/scriptedserver.h"

using namespace std::chrono_literals;
using qv::test::HttpReply;
using qv::test::TScriptedConn;
using qv::test::TScriptedReply;
using qv::test::TScriptedServer;

namespace qv {
namespace {

std::string Port(const TScriptedServer& s) { return std::to_string(s.Port()); }

const std::string Ok = HttpReply("HTTP/1.1 200 OK", "hello");

// The request layer alone, with the program's URL splitting.
class TParsingHTTP : public TIdHTTP {
 public:
  void ParseURIExt(const std::string& url, std::string& protocol, std::string& host,
                   std::string& path, std::string& document, std::string& port,
                   std::string& bookmark) override {
    TURIParts p = ParseURIParts(url);
    protocol = p.Protocol;
    host = p.Host;
    path = p.Path;
    document = p.Document;
    port = p.Port;
    bookmark = p.Bookmark;
  }
};

// The path of a request's first line ("GET /a HTTP/1.1" gives "/a").
std::string RequestPath(const std::string& request) {
  const size_t a = request.find(' ');
  const size_t b = request.find(' ', a + 1);
  return a == std::string::npos || b == std::string::npos ? "" : request.substr(a + 1, b - a - 1);
}

// A server that answers every request on every connection by its path: the
// bytes given for the path, else a 200 whose body is "body of " + path.
TScriptedServer::THandler ByPath(std::map<std::string, std::string> replies) {
  return [replies = std::move(replies)](TScriptedConn& c) {
    for (;;) {
      const std::string request = c.ReadRequest();
      if (request.empty()) return;
      const std::string path = RequestPath(request);
      auto it = replies.find(path);
      c.Send(it != replies.end() ? it->second : HttpReply("HTTP/1.1 200 OK", "body of " + path));
    }
  };
}

// ------------------------------------------------------------ request bytes

TEST(HttpRequestBytes, HeaderOrderAndValues) {
  TScriptedServer s(TScriptedServer::Replies({Ok}));
  TIdHTTPExt h;
  h.Request.Accept = "text/html";
  h.Request.AcceptCharSet = "utf-8";
  h.Request.AcceptEncoding = "identity";
  h.Request.AcceptLanguage = "en";
  h.Request.From = "me@example.org";
  h.Request.Referer = "http://ref.example/";
  h.Request.UserAgent = "Agent/1";
  h.Request.ContentRangeStart = 100;
  h.Request.Username = "user";
  h.Request.Password = "pass";
  h.Request.ExtraHeaders.Add("Cookie: a=1");
  h.Get(s.Url("/dir/a.html?q=1#frag"));
  ASSERT_EQ(s.Requests().size(), 1u);
  EXPECT_EQ(s.Requests()[0],
            "GET /dir/a.html?q=1 HTTP/1.1\r\n"
            "Host: 127.0.0.1:" +
                Port(s) +
                "\r\n"
                "Accept: text/html\r\n"
                "Accept-Charset: utf-8\r\n"
                "Accept-Encoding: identity\r\n"
                "Accept-Language: en\r\n"
                "From: me@example.org\r\n"
                "Referer: http://ref.example/\r\n"
                "User-Agent: Agent/1\r\n"
                "Range: bytes=100-\r\n"
                "Authorization: Basic dXNlcjpwYXNz\r\n"
                "Cookie: a=1\r\n"
                "\r\n");
}

TEST(HttpRequestBytes, MethodVersionTargetAndHostForms) {
  struct Case {
    const char* name;
    std::string url;
    bool proxy;
    bool head;
    bool v10;
    std::string requestLine, hostLine;
  };
  const std::vector<Case> cases = {
      {"origin form, empty path", "http://127.0.0.1:PORT", false, false, false, "GET / HTTP/1.1",
       "127.0.0.1:PORT"},
      {"head", "http://127.0.0.1:PORT/x", false, true, false, "HEAD /x HTTP/1.1", "127.0.0.1:PORT"},
      {"version 1.0", "http://127.0.0.1:PORT/x", false, false, true, "GET /x HTTP/1.0",
       "127.0.0.1:PORT"},
      {"slashes collapsed", "http://127.0.0.1:PORT//a///b.html", false, false, false,
       "GET /a/b.html HTTP/1.1", "127.0.0.1:PORT"},
      {"control byte encoded", "http://127.0.0.1:PORT/a\x01z", false, false, false,
       "GET /a%01z HTTP/1.1", "127.0.0.1:PORT"},
      {"bytes from 0x80 encoded", "http://127.0.0.1:PORT/caf\xC3\xA9/x?q=\xFF\x80", false, false,
       false, "GET /caf%C3%A9/x?q=%FF%80 HTTP/1.1", "127.0.0.1:PORT"},
      {"bytes from 0x80 encoded for a proxy", "http://www.example.com/\xE4", true, false, false,
       "GET http://www.example.com/%E4 HTTP/1.1", "www.example.com"},
      {"proxy, default port", "http://www.example.com/x?y", true, false, false,
       "GET http://www.example.com/x?y HTTP/1.1", "www.example.com"},
      {"proxy keeps the URL's port", "http://www.example.com:8080/x", true, false, false,
       "GET http://www.example.com:8080/x HTTP/1.1", "www.example.com:8080"},
      {"proxy, port 80 named", "http://www.example.com:80/x", true, false, false,
       "GET http://www.example.com:80/x HTTP/1.1", "www.example.com"},
  };
  for (const auto& tc : cases) {
    SCOPED_TRACE(tc.name);
    TScriptedServer s(TScriptedServer::Replies({Ok}));
    auto fill = [&](std::string t) {
      for (size_t at; (at = t.find("PORT")) != std::string::npos;) t.replace(at, 4, Port(s));
      return t;
    };
    TIdHTTPExt h;
    h.Request.Accept = "";
    h.Request.UserAgent = "";
    if (tc.proxy) {
      h.Request.ProxyServer = "127.0.0.1";
      h.Request.ProxyPort = s.Port();
    }
    if (tc.v10) h.ProtocolVersion = pv1_0;
    if (tc.head)
      EXPECT_TRUE(h.HeadExt(fill(tc.url)));
    else
      EXPECT_EQ(h.GetExt(fill(tc.url)), "hello");
    ASSERT_EQ(s.Requests().size(), 1u);
    EXPECT_EQ(s.Requests()[0],
              fill(tc.requestLine) + "\r\nHost: " + fill(tc.hostLine) + "\r\nAccept: */*\r\n\r\n");
  }
}

TEST(HttpRequestBytes, ProxyCredentialsGoToThePlainProxyRequest) {
  TScriptedServer s(TScriptedServer::Replies({Ok}));
  TIdHTTPExt h;
  h.Request.ProxyServer = "127.0.0.1";
  h.Request.ProxyPort = s.Port();
  h.Request.ProxyUsername = "pu";
  h.Request.ProxyPassword = "pp";
  h.Request.Accept = "";
  h.Request.UserAgent = "";
  EXPECT_EQ(h.GetExt("http://site.example/"), "hello");
  EXPECT_EQ(s.Requests().at(0),
            "GET http://site.example/ HTTP/1.1\r\nHost: site.example\r\nAccept: */*\r\n"
            "Proxy-Authorization: Basic cHU6cHA=\r\n\r\n");
}

TEST(HttpRequestBytes, UnsafeBytesRefuseTheRequestBeforeAnythingIsSent) {
  struct Case {
    const char* name;
    std::string url, referer, extra;
  } cases[] = {
      {"CR LF in the target", "http://127.0.0.1:PORT/a\r\nX-Injected: 1", "", ""},
      {"zero byte in the target", std::string("http://127.0.0.1:PORT/a\0b", 26), "", ""},
      {"LF in a header value", "http://127.0.0.1:PORT/", "http://r/\nX-Injected: 1", ""},
      {"CR in an extra header", "http://127.0.0.1:PORT/", "", "Cookie: a=1\rX: 2"},
  };
  for (const auto& tc : cases) {
    SCOPED_TRACE(tc.name);
    TScriptedServer s(TScriptedServer::Replies({Ok}));
    std::string url = tc.url;
    url.replace(url.find("PORT"), 4, Port(s));
    TIdHTTPExt h;
    h.Request.Referer = tc.referer;
    if (!tc.extra.empty()) h.Request.ExtraHeaders.Add(tc.extra);
    EXPECT_THROW(h.Get(url), EHttpRequestRefused);
    EXPECT_FALSE(h.HeadExt(url));
    EXPECT_EQ(s.Accepted(), 0);
  }
}

// A URL of another scheme has no host the client may ask: after a fetch the
// last host would be asked for its path ("GET /etc/passwd"), and through a
// proxy it would go out in absolute form.
TEST(HttpRequestBytes, OnlyHttpAndHttpsURLsAreSent) {
  for (const bool proxy : {false, true}) {
    for (const char* url : {"file:///etc/passwd", "ftp://127.0.0.1/x", "javascript:alert(1)"}) {
      SCOPED_TRACE(std::string(url) + (proxy ? ", through a proxy" : ""));
      TScriptedServer s([](TScriptedConn& c) {
        while (!c.ReadRequest().empty()) c.Send(Ok);
      });
      TIdHTTPExt h;
      if (proxy) {
        h.Request.ProxyServer = "127.0.0.1";
        h.Request.ProxyPort = s.Port();
      }
      EXPECT_EQ(h.GetExt(s.Url("/first")), "hello");
      EXPECT_THROW(h.Get(url), EHttpRequestRefused);
      EXPECT_EQ(h.GetExt(url), "");
      EXPECT_EQ(h.LastFailure.Text,
                "Request refused: not an http or https URL: " + std::string(url));
      EXPECT_EQ(h.ResponseCode, 0);
      EXPECT_EQ(s.Requests().size(), 1u);
    }
  }
}

TEST(HttpRequestBytes, APortThatIsNoPortIsRefusedNotReplacedByTheDefault) {
  for (const char* port : {"0", "99999", "100000000000000000000", "abc", "8080x", "80\\..\\x"}) {
    SCOPED_TRACE(port);
    TScriptedServer s([](TScriptedConn& c) {
      while (!c.ReadRequest().empty()) c.Send(Ok);
    });
    TIdHTTPExt h;
    h.Request.ProxyServer = "127.0.0.1";  // shows the target the request would name
    h.Request.ProxyPort = s.Port();
    EXPECT_THROW(h.Get("http://www.example.com:" + std::string(port) + "/x"), ENetConnectError);
    h.ResponseCode = 0;
    EXPECT_EQ(h.GetExt("http://www.example.com:" + std::string(port) + "/x"), "");
    EXPECT_EQ(h.ResponseCode, 0);
    EXPECT_EQ(s.Accepted(), 0);
  }
}

TEST(HttpRequestBytes, TunnelRequestAndAProxyRefusal) {
  TScriptedServer s(
      TScriptedServer::Replies({{HttpReply("HTTP/1.1 407 Proxy Authentication Required", "no",
                                           {"Proxy-Authenticate: Basic realm=\"p\""}),
                                 true}}));
  TIdHTTPExt h;
  h.Request.ProxyServer = "127.0.0.1";
  h.Request.ProxyPort = s.Port();
  h.Request.ProxyUsername = "pu";
  h.Request.ProxyPassword = "pp";
  h.ResponseCode = 0;
  EXPECT_EQ(h.GetExt("https://secure.example/x"), "");
  EXPECT_EQ(h.ResponseCode, 407);
  EXPECT_EQ(h.Response.ProxyAuthenticate, "Basic realm=\"p\"");
  EXPECT_EQ(s.Accepted(), 1);  // a refusal is an answer: no second try
  ASSERT_EQ(s.Requests().size(), 1u);
  EXPECT_EQ(s.Requests()[0],
            "CONNECT secure.example:443 HTTP/1.1\r\nHost: secure.example:443\r\n"
            "Proxy-Authorization: Basic cHU6cHA=\r\n\r\n");
}

TEST(HttpRequestBytes, FailedHandshakeInsideAnOpenTunnelCountsAsNoResponse) {
  // The proxy opens the tunnel, but what answers inside it speaks no TLS.
  TScriptedServer s([](TScriptedConn& c) {
    if (c.ReadRequest().empty()) return;
    c.Send("HTTP/1.1 200 Connection established\r\n\r\n");
    c.Send("HTTP/1.1 400 Bad Request\r\n\r\n");
  });
  TIdHTTPExt h;
  h.Request.ProxyServer = "127.0.0.1";
  h.Request.ProxyPort = s.Port();
  h.ResponseCode = 0;
  EXPECT_EQ(h.GetExt("https://secure.example/x"), "");
  // Not the proxy's 200: a failed handshake is a failed connection, tried
  // once more like any other.
  EXPECT_EQ(h.ResponseCode, 0);
  EXPECT_EQ(s.Accepted(), 2);
  for (const auto& r : s.Requests())
    EXPECT_EQ(r.rfind("CONNECT secure.example:443 HTTP/1.1\r\n", 0), 0u) << r;
  EXPECT_FALSE(h.Connected());
}

TEST(HttpRequestBytes, PostSendsItsBodyAsHttp10OnAFreshConnection) {
  const std::vector<std::string> lines{"a=1", "b=2"};
  for (const bool fromStream : {false, true}) {
    SCOPED_TRACE(fromStream ? "stream" : "lines");
    // The answer before the post is an error: sending the body must not
    // be taken for reading an unwanted one.
    TScriptedServer s(TScriptedServer::Replies(
        {HttpReply("HTTP/1.1 404 Not Found", "gone"), HttpReply("HTTP/1.0 200 OK", "posted"), Ok}));
    TIdHTTPExt h;
    h.Request.Accept = "";
    h.Request.UserAgent = "";
    EXPECT_THROW(h.Get(s.Url("/first")), EIdProtocolReplyError);
    TStringByteStream out;
    if (fromStream) {
      TStringByteStream source;
      source.Write("a=1\r\nb=2\r\n", 10);
      source.Seek(0);
      h.Post(s.Url("/form"), source, &out);
    } else {
      h.Post(s.Url("/form"), lines, &out);
    }
    EXPECT_EQ(out.DataString(), "posted");
    EXPECT_EQ(h.ProtocolVersion, pv1_1);
    EXPECT_EQ(s.Accepted(), 2);
    EXPECT_EQ(s.Requests().at(1), "POST /form HTTP/1.0\r\nHost: 127.0.0.1:" + Port(s) +
                                      "\r\nContent-Length: 10\r\n\r\na=1\r\nb=2\r\n");
  }
}

// ------------------------------------------------------------ keep-alive

TEST(HttpKeepAlive, ReuseAndCloseRules) {
  struct Case {
    const char* name;
    TScriptedReply first;
    bool clientV10;
    int connections;  // for two requests in a row
  };
  const std::vector<Case> cases = {
      {"1.1 without Connection", Ok, false, 1},
      {"1.1 Connection: close",
       {HttpReply("HTTP/1.1 200 OK", "hello", {"Connection: close"}), true},
       false,
       2},
      {"1.1 Connection: Close in a list",
       {HttpReply("HTTP/1.1 200 OK", "hello", {"Connection: TE, Close"}), true},
       false,
       2},
      {"1.0 peer", {HttpReply("HTTP/1.0 200 OK", "hello"), true}, false, 2},
      {"1.0 client", Ok, true, 2},
      {"body to the close", {"HTTP/1.1 200 OK\r\n\r\nhello", true}, false, 2},
      {"204 keeps the connection", "HTTP/1.1 204 No Content\r\n\r\n", false, 1},
      {"chunked keeps the connection",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n", false, 1},
      {"chunked with a length closes",
       "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nTransfer-Encoding: "
       "chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n",
       false, 2},
  };
  for (const auto& tc : cases) {
    SCOPED_TRACE(tc.name);
    TScriptedServer s(TScriptedServer::Replies({tc.first, Ok}));
    TIdHTTPExt h;
    if (tc.clientV10) h.ProtocolVersion = pv1_0;
    h.Get(s.Url("/1"));
    EXPECT_EQ(h.Get(s.Url("/2")), "hello");
    EXPECT_EQ(s.Accepted(), tc.connections);
  }
}

// A connection is used again only when nothing follows the message: stray
// bytes would be taken for the answer to the next URL, and every URL after
// it would be one answer behind.
TEST(HttpKeepAlive, BytesAfterTheMessageCloseTheConnection) {
  const std::string stray = HttpReply("HTTP/1.1 200 OK", "stray");
  struct Case {
    const char* name;
    bool head;
    std::string reply;  // the answer to /a, stray bytes included
    bool ok;
    std::string body;
  };
  const std::vector<Case> cases = {
      {"a second response after a body of its length", false,
       HttpReply("HTTP/1.1 200 OK", "aaaaa") + stray, true, "aaaaa"},
      {"bytes after a 204", false, "HTTP/1.1 204 No Content\r\n\r\n" + stray, true, ""},
      {"bytes after a 304", false, "HTTP/1.1 304 Not Modified\r\n\r\n" + stray, false, ""},
      {"a body after a HEAD", true, stray, true, ""},
      {"bytes after a chunked body", false,
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1\r\na\r\n0\r\n\r\n" + stray, true,
       "a"},
      {"bytes after an error page", false, HttpReply("HTTP/1.1 404 Not Found", "gone") + stray,
       false, ""},
  };
  for (const auto& tc : cases) {
    for (const bool ext : {false, true}) {
      SCOPED_TRACE(std::string(tc.name) + (ext ? ", extension" : ", request layer"));
      TScriptedServer s(ByPath({{"/a", tc.reply}}));
      std::unique_ptr<TIdHTTP> h;
      if (ext)
        h = std::make_unique<TIdHTTPExt>();
      else
        h = std::make_unique<TParsingHTTP>();
      if (tc.head)
        EXPECT_NO_THROW(h->Head(s.Url("/a")));
      else if (tc.ok)
        EXPECT_EQ(h->Get(s.Url("/a")), tc.body);
      else
        EXPECT_THROW(h->Get(s.Url("/a")), EIdProtocolReplyError);
      EXPECT_EQ(h->Get(s.Url("/b")), "body of /b");
      EXPECT_EQ(h->Get(s.Url("/c")), "body of /c");
      EXPECT_EQ(s.Accepted(), 2);
    }
  }
}

TEST(HttpKeepAlive, BytesArrivingBetweenFetchesCloseTheConnection) {
  std::atomic<bool> straySent{false};
  TScriptedServer s([&](TScriptedConn& c) {
    for (std::string r; !(r = c.ReadRequest()).empty();) {
      const std::string path = RequestPath(r);
      c.Send(HttpReply("HTTP/1.1 200 OK", "body of " + path));
      if (path == "/a") {
        c.Sleep(50ms);  // after the client has taken the answer
        c.Send(HttpReply("HTTP/1.1 200 OK", "late"));
        straySent = true;
      }
    }
  });
  TIdHTTPExt h;
  EXPECT_EQ(h.GetExt(s.Url("/a")), "body of /a");
  while (!straySent) std::this_thread::sleep_for(1ms);
  EXPECT_EQ(h.GetExt(s.Url("/b")), "body of /b");
  EXPECT_EQ(s.Accepted(), 2);
}

TEST(HttpKeepAlive, OtherEndpointOrSchemeGetsAnotherConnection) {
  TScriptedServer a(TScriptedServer::Replies({Ok, Ok}));
  TScriptedServer b(TScriptedServer::Replies({Ok}));
  TIdHTTPExt h;
  EXPECT_EQ(h.Get(a.Url("/1")), "hello");
  EXPECT_EQ(h.Get(b.Url("/1")), "hello");
  EXPECT_EQ(h.Get(a.Url("/2")), "hello");
  EXPECT_EQ(a.Accepted(), 2);
  // Same host and port but TLS asked: the plain connection is not reused
  // (the handshake then fails against a plain server).
  TScriptedServer c([](TScriptedConn& conn) {
    if (conn.Index() == 0) {
      conn.ReadRequest();
      conn.Send(Ok);
      conn.WaitForClose();
    } else {
      conn.Send("HTTP/1.1 400 Bad Request\r\n\r\n");  // what a plain server says to a handshake
    }
  });
  EXPECT_EQ(h.Get(c.Url("/1")), "hello");
  EXPECT_THROW(h.Get("https://127.0.0.1:" + Port(c) + "/"), ENetConnectError);
  EXPECT_EQ(c.Accepted(), 2);
}

TEST(HttpRetry, StaleConnectionIsRetriedOnceButA404IsNot) {
  // The first connection answers once, then drops the next request unanswered.
  TScriptedServer s([](TScriptedConn& c) {
    if (c.ReadRequest().empty()) return;
    if (c.Index() == 0) {
      c.Send(Ok);
      c.ReadRequest();
      return;  // dropped
    }
    c.Send(HttpReply("HTTP/1.1 200 OK", "again"));
    c.WaitForClose();
  });
  TIdHTTPExt h;
  EXPECT_EQ(h.GetExt(s.Url("/1")), "hello");
  // Nothing is cleared between the fetches: a client whose last fetch was a
  // success still gets its one more try when a kept connection is dead.
  EXPECT_EQ(h.GetExt(s.Url("/2")), "again");
  EXPECT_EQ(s.Accepted(), 2);
  EXPECT_EQ(s.Requests().size(), 3u);

  // The base client does not retry.
  TScriptedServer t([](TScriptedConn& c) {
    c.ReadRequest();
    c.Send(Ok);
    c.ReadRequest();
  });
  TIdHTTPExt ext;
  EXPECT_EQ(ext.Get(t.Url("/1")), "hello");
  EXPECT_THROW(ext.Get(t.Url("/2")), ENetClosedGracefully);

  TScriptedServer n(TScriptedServer::Replies(
      {HttpReply("HTTP/1.1 404 Not Found", "missing", {"Content-Type: text/html", "X-Other: 1"}),
       Ok}));
  TIdHTTPExt g;
  EXPECT_FALSE(g.GetExt(n.Url("/gone"), ::testing::TempDir() + "qv_http_404"));
  EXPECT_EQ(g.ResponseCode, 404);
  EXPECT_EQ(n.Requests().size(), 1u);
  EXPECT_EQ(g.Response.ContentType, "");
  EXPECT_EQ(g.Response.ContentLength, 0);
  EXPECT_EQ(g.RawHeaders.IndexOfName("Content-Length"), -1);
  EXPECT_EQ(g.RawHeaders.IndexOfName("Content-Type"), -1);
  EXPECT_EQ(g.RawHeaders.GetValue("X-Other"), "1");
}

TEST(HttpRetry, AConnectionLostAfterAnInterimAnswerIsTriedOnceMore) {
  TScriptedServer s([](TScriptedConn& c) {
    if (c.ReadRequest().empty()) return;
    if (c.Index() == 0) {
      c.Send("HTTP/1.1 100 Continue\r\n\r\n");
      return;  // dropped before the real answer
    }
    c.Send(Ok);
    c.WaitForClose();
  });
  TIdHTTPExt h;
  h.ResponseCode = 0;
  EXPECT_EQ(h.GetExt(s.Url("/")), "hello");
  EXPECT_EQ(h.ResponseCode, 200);
  EXPECT_EQ(s.Accepted(), 2);
}

TEST(HttpRetry, RefusedFirstConnectionIsTriedTwiceThenFails) {
  int port;
  {
    TScriptedServer gone([](TScriptedConn&) {});
    port = gone.Port();
  }
  TIdHTTPExt h;
  int connects = 0;
  h.OnStatus = [&](TIdTCPConnection*, TIdStatus st, const std::string&) {
    connects += st == hsConnecting;
  };
  EXPECT_FALSE(h.HeadExt("http://127.0.0.1:" + std::to_string(port) + "/"));
  EXPECT_EQ(connects, 2);
  EXPECT_EQ(h.ResponseCode, 0);
  EXPECT_EQ(h.Busy, 0);
}

// ------------------------------------------------------------ bodies

struct TBodyCase {
  const char* name;
  std::string reply;
  bool ok;
  std::string body;
};

TEST(HttpBody, FramingOfBodies) {
  const std::string x26(26, 'x');
  const std::vector<TBodyCase> cases = {
      {"chunked with extensions and trailers",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1a;name=v\r\n" + x26 +
           "\r\n3 ; x\r\nabc\r\n0\r\nX-T: 1\r\nY-T: 2\r\n\r\n",
       true, x26 + "abc"},
      {"chunk size with a blank and text",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1a more\r\n" + x26 + "\r\n0\r\n\r\n",
       true, x26},
      {"upper-case hex",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1A\r\n" + x26 + "\r\n0\r\n\r\n", true,
       x26},
      {"chunked wins over a length",
       "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nTransfer-Encoding: "
       "chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n",
       true, "abc"},
      {"size not hexadecimal",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\nabc\r\n0\r\n\r\n", false, ""},
      {"empty size line",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n\r\nabc\r\n0\r\n\r\n", false, ""},
      {"absurd size",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nffffffffffffffffff\r\nabc", false, ""},
      {"no line end after data",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabcX\r\n0\r\n\r\n", false, ""},
      {"lost before the last chunk",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n", false, ""},
      {"body shorter than its length", "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc", false,
       ""},
      {"two different lengths",
       "HTTP/1.1 200 OK\r\nContent-Length: 3\r\nContent-Length: 4\r\n\r\nabcd", false, ""},
      {"length of 19 digits",
       "HTTP/1.1 200 OK\r\nContent-Length: 1000000000000000000\r\n\r\n0123456789", false, ""},
      {"length past 64 bits",
       "HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999999\r\n\r\n0123456789", false, ""},
      {"a list of equal lengths", "HTTP/1.1 200 OK\r\nContent-Length: 3, 3\r\n\r\nabc", true,
       "abc"},
      {"negative length counts as absent", "HTTP/1.1 200 OK\r\nContent-Length: -5\r\n\r\nabcdef",
       true, "abcdef"},
      {"malformed length counts as absent", "HTTP/1.1 200 OK\r\nContent-Length: 3x\r\n\r\nabcdef",
       true, "abcdef"},
      {"interim responses skipped",
       "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 103 Early Hints\r\nLink: </a>\r\n\r\nHTTP/1.1 200 "
       "OK\r\nContent-Length: 2\r\n\r\nok",
       true, "ok"},
      {"status code not a number", "HTTP/1.1 abc OK\r\nContent-Length: 2\r\n\r\nok", false, ""},
      {"negative status code", "HTTP/1.1 -406 X\r\nContent-Length: 2\r\n\r\nok", false, ""},
      {"header line past 16 KiB",
       "HTTP/1.1 200 OK\r\nX: " + std::string(17000, 'a') + "\r\nContent-Length: 2\r\n\r\nok",
       false, ""},
      {"more than 256 header lines",
       [] {
         std::string r = "HTTP/1.1 200 OK\r\n";
         for (int i = 0; i < 300; ++i) r += "X-" + std::to_string(i) + ": v\r\n";
         return r + "Content-Length: 2\r\n\r\nok";
       }(),
       false, ""},
  };
  for (const auto& tc : cases) {
    SCOPED_TRACE(tc.name);
    TScriptedServer s(TScriptedServer::Replies({{tc.reply, true}}));
    TIdHTTPExt h;
    if (tc.ok) {
      EXPECT_EQ(h.Get(s.Url("/")), tc.body);
    } else {
      EXPECT_THROW(h.Get(s.Url("/")), ENetError);
      EXPECT_FALSE(h.Connected());
    }
  }
}

TEST(HttpBody, ChunkedBodyLeavesTheConnectionInStepAndCountsOnce) {
  TScriptedServer s(TScriptedServer::Replies(
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: "
       "chunked\r\n\r\n4\r\nabcd\r\n2\r\nef\r\n1\r\ng\r\n0\r\nT: 1\r\n\r\n",
       Ok}));
  TIdHTTPExt h;
  std::vector<int64_t> begins, counts;
  h.OnWorkBegin = [&](TIdTCPConnection*, TWorkMode, int64_t m) { begins.push_back(m); };
  h.OnWork = [&](TIdTCPConnection*, TWorkMode, int64_t n) { counts.push_back(n); };
  EXPECT_EQ(h.GetExt(s.Url("/c")), "abcdefg");
  EXPECT_EQ(begins, std::vector<int64_t>{0});
  ASSERT_FALSE(counts.empty());
  EXPECT_EQ(counts.back(), 7);  // running count, not the last chunk's size
  EXPECT_EQ(h.WorkPosition, 7);
  EXPECT_EQ(h.GetExt(s.Url("/next")), "hello");
  EXPECT_EQ(s.Accepted(), 1);
}

TEST(HttpBody, ResponsesWithoutBodyFinishAtOnce) {
  // The server keeps the connection open and sends a length it never fills:
  // reading any body would hang.
  struct Case {
    const char* name;
    std::string reply;
    bool head;
    bool ok;
  } cases[] = {
      {"204", "HTTP/1.1 204 No Content\r\n\r\n", false, true},
      {"HEAD with a length", "HTTP/1.1 200 OK\r\nContent-Length: 5000000000\r\n\r\n", true, true},
      {"304", "HTTP/1.1 304 Not Modified\r\nContent-Length: 100\r\n\r\n", false, false},
      {"200 with length 0", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", false, true},
  };
  for (const auto& tc : cases) {
    SCOPED_TRACE(tc.name);
    TScriptedServer s(TScriptedServer::Replies({tc.reply, Ok}));
    TIdHTTPExt h;  // the request itself reads what the framing says, nothing more
    auto t0 = std::chrono::steady_clock::now();
    if (tc.head) {
      h.Head(s.Url("/"));
      EXPECT_EQ(h.Response.ContentLength, 5000000000LL);
    } else if (tc.ok) {
      EXPECT_EQ(h.Get(s.Url("/")), "");
    } else {
      EXPECT_THROW(h.Get(s.Url("/")), EIdProtocolReplyError);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 2s);
  }
}

TEST(HttpBody, ExtensionClosesOnEmptyOrUnwantedBodies) {
  TScriptedServer s(TScriptedServer::Replies({"HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"}));
  TIdHTTPExt h;
  const std::string file = ::testing::TempDir() + "qv_http_empty";
  EXPECT_TRUE(h.GetExt(s.Url("/"), file));
  EXPECT_FALSE(h.Connected());
  TFileByteStream f(file, TFileByteStream::fmOpenRead);
  EXPECT_EQ(f.Size(), 0);
}

TEST(HttpBody, ExtensionKeepsTheConnectionAfterNotModified) {
  TScriptedServer s(TScriptedServer::Replies(
      {"HTTP/1.1 304 Not Modified\r\n\r\n", "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok"}));
  TIdHTTPExt h;
  EXPECT_EQ(h.GetExt(s.Url("/same")), "");
  EXPECT_EQ(h.ResponseCode, 304);
  EXPECT_EQ(h.GetExt(s.Url("/next")), "ok");
  EXPECT_EQ(s.Accepted(), 1);
}

TEST(HttpBody, TextBodyIsBoundedInMemory) {
  const size_t over = TIdHTTPExt::MaxTextBody + 1;
  TScriptedServer s([&](TScriptedConn& c) {
    c.ReadRequest();
    c.Send("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(over) + "\r\n\r\n");
    std::string block(1 << 20, 'z');
    for (size_t sent = 0; sent < over; sent += block.size())
      c.Send(block.substr(0, std::min(block.size(), over - sent)));
    c.WaitForClose();
  });
  TIdHTTPExt h;
  EXPECT_EQ(h.GetExt(s.Url("/big")), "");
  EXPECT_EQ(h.ResponseCode, 200);
  EXPECT_EQ(s.Requests().size(), 1u);  // a response came: no retry
}

// ------------------------------------------------------------ headers

TEST(HttpHeaders, ResponseHeadersGoToPropertiesAndTheRestToExtra) {
  TScriptedServer s(TScriptedServer::Replies(
      {HttpReply("HTTP/1.1 206 Partial Content", "abc",
                 {"Content-Type: text/plain; charset=x", "Content-Range: bytes 100-102/500",
                  "Server: S", "Location: /l", "Last-Modified: Sun, 06 Nov 1994 08:49:37 GMT",
                  "Content-Location: /cl", "Set-Cookie: a=1", "Set-Cookie: b=2"})}));
  TIdHTTPExt h;
  h.HandleRedirects = false;
  h.OnRedirect = [](TIdHTTP*, std::string&, int32_t&, bool& handled) { handled = true; };
  EXPECT_EQ(h.Get(s.Url("/")), "abc");
  EXPECT_EQ(h.ResponseCode, 206);
  EXPECT_EQ(h.ResponseText, "206 Partial Content");
  EXPECT_EQ(h.Response.ContentType, "text/plain; charset=x");
  EXPECT_EQ(h.Response.ContentRangeStart, 100);
  EXPECT_EQ(h.Response.ContentRangeEnd, 102);
  EXPECT_EQ(h.Response.ContentLength, 3);
  EXPECT_EQ(h.Response.Server, "S");
  EXPECT_NE(h.Response.LastModified, 0);
  EXPECT_EQ(h.ExtraResponse("Content-Location"), "/cl");
  EXPECT_EQ(h.ExtraResponse("Content-Type"), "");  // held in a property
  EXPECT_EQ(h.Response.ExtraHeaders.GetValues("Set-Cookie"),
            (std::vector<std::string>{"a=1", "b=2"}));
  EXPECT_EQ(h.RawHeaders.Count(), 9);
}

// ------------------------------------------------------------ redirects

TEST(HttpRedirect, FollowedWithinTheLimitAndReturnedPastIt) {
  auto redirect = [](int i) {
    return HttpReply("HTTP/1.1 302 Found", "moved" + std::to_string(i),
                     {"Location: /r" + std::to_string(i + 1)});
  };
  {
    TScriptedServer s(TScriptedServer::Replies(
        {redirect(1), redirect(2), HttpReply("HTTP/1.1 200 OK", "final")}));
    TParsingHTTP h;
    h.HandleRedirects = true;
    std::vector<std::string> seen;
    h.OnRedirect = [&](TIdHTTP*, std::string& dest, int32_t&, bool&) { seen.push_back(dest); };
    EXPECT_EQ(h.Get(s.Url("/r1")), "final");  // nothing of the redirect pages stays in front
    EXPECT_EQ(seen, (std::vector<std::string>{"/r2", "/r3"}));
    EXPECT_EQ(h.RedirectCount, 0);
    EXPECT_EQ(s.Accepted(), 1);  // relative targets keep host, port and connection
  }
  {
    // Reaching the limit is a failure, with the last redirection's answer.
    TScriptedServer s(
        TScriptedServer::Replies({redirect(1), redirect(2), redirect(3), redirect(4)}));
    TParsingHTTP h;
    h.HandleRedirects = true;
    h.RedirectMaximum = 3;
    EXPECT_THROW(h.Get(s.Url("/r1")), EHttpRedirectError);
    EXPECT_EQ(h.ResponseCode, 302);
    EXPECT_EQ(h.Response.Location, "/r4");
    EXPECT_EQ(s.Requests().size(), 3u);
  }
  {
    // The extension stores nothing of a redirection's page as the document.
    TScriptedServer s(
        ByPath({{"/loop", HttpReply("HTTP/1.1 302 Found", "moved", {"Location: /loop"})}}));
    TIdHTTPExt h;
    h.HandleRedirects = true;
    h.RedirectMaximum = 4;
    const std::string file = ::testing::TempDir() + "qv_http_loop";
    EXPECT_FALSE(h.GetExt(s.Url("/loop"), file));
    EXPECT_EQ(h.LastFailure.Text, "Too many redirects");
    EXPECT_EQ(s.Requests().size(), 4u);
    TFileByteStream f(file, TFileByteStream::fmOpenRead);
    EXPECT_EQ(f.Size(), 0);
  }
}

TEST(HttpRedirect, EachRequestHasItsOwnRedirectionLimit) {
  TScriptedServer s(
      ByPath({{"/missing", HttpReply("HTTP/1.1 404 Not Found", "no")},
              {"/moved", HttpReply("HTTP/1.1 301 Moved Permanently", "", {"Location: /target"})}}));
  TParsingHTTP h;
  h.HandleRedirects = true;
  for (int i = 0; i < h.RedirectMaximum; ++i)
    EXPECT_THROW(h.Get(s.Url("/missing")), EIdProtocolReplyError);
  EXPECT_EQ(h.Get(s.Url("/moved")), "body of /target");
  EXPECT_EQ(h.RedirectCount, 0);
}

TEST(HttpRedirect, TargetsAreResolvedAgainstTheRequestAndEscaped) {
  struct Case {
    const char* name;
    std::string location;
    std::string requestLine;
  };
  const std::vector<Case> cases = {
      {"relative path", "chain/1", "GET /dir/chain/1 HTTP/1.1"},
      {"dot segments", "../up/./x?q=1", "GET /up/x?q=1 HTTP/1.1"},
      {"query only", "?only", "GET /dir/start?only HTTP/1.1"},
      {"network path", "//127.0.0.1:PORT/net", "GET /net HTTP/1.1"},
      {"absolute", "http://127.0.0.1:PORT/abs", "GET /abs HTTP/1.1"},
      {"blank and bytes from 0x80", "/a b/caf\xC3\xA9?\xFF", "GET /a%20b/caf%C3%A9?%FF HTTP/1.1"},
      {"fragment dropped", "/f#part", "GET /f HTTP/1.1"},
  };
  for (const auto& tc : cases) {
    for (const bool ext : {false, true}) {
      SCOPED_TRACE(std::string(tc.name) + (ext ? ", extension" : ", request layer"));
      std::atomic<int> port{0};  // the server's own, known once it is made
      TScriptedServer s([&](TScriptedConn& c) {
        for (std::string r; !(r = c.ReadRequest()).empty();) {
          std::string loc = tc.location;
          if (loc.find("PORT") != std::string::npos)
            loc.replace(loc.find("PORT"), 4, std::to_string(port.load()));
          c.Send(RequestPath(r) == "/dir/start"
                     ? HttpReply("HTTP/1.1 302 Found", "", {"Location: " + loc})
                     : HttpReply("HTTP/1.1 200 OK", "final"));
        }
      });
      port = s.Port();
      std::unique_ptr<TIdHTTP> h;
      if (ext)
        h = std::make_unique<TIdHTTPExt>();
      else
        h = std::make_unique<TParsingHTTP>();
      h->HandleRedirects = true;
      h->Request.Accept = "*/*";
      h->Request.UserAgent = "";
      EXPECT_EQ(h->Get(s.Url("/dir/start")), "final");
      auto requests = s.Requests();
      ASSERT_EQ(requests.size(), 2u);
      std::string line = tc.requestLine;
      if (line.find("PORT") != std::string::npos) line.replace(line.find("PORT"), 4, Port(s));
      EXPECT_EQ(requests[1], line + "\r\nHost: 127.0.0.1:" + Port(s) + "\r\nAccept: */*\r\n\r\n");
    }
  }
}

TEST(HttpRedirect, TargetsThatAreNotFollowed) {
  struct Case {
    const char* name;
    std::string locationLine;
    std::string reason;
  };
  const std::vector<Case> cases = {
      {"no Location", "X-None: 1", "Redirect without a target"},
      {"empty Location", "Location:", "Redirect without a target"},
      {"blank Location", "Location:    ", "Redirect without a target"},
      {"file", "Location: file:///etc/passwd",
       "Redirect refused: not an http or https URL: file:///etc/passwd"},
      {"ftp", "Location: ftp://127.0.0.1/x",
       "Redirect refused: not an http or https URL: ftp://127.0.0.1/x"},
      {"javascript", "Location: javascript:alert(1)",
       "Redirect refused: not an http or https URL: javascript:alert(1)"},
      {"http without a host", "Location: http:/etc/passwd",
       "Redirect refused: not an http or https URL: http:/etc/passwd"},
  };
  for (const auto& tc : cases) {
    SCOPED_TRACE(tc.name);
    TScriptedServer s(ByPath({{"/start", HttpReply("HTTP/1.1 302 Found", "", {tc.locationLine})}}));
    TIdHTTPExt h;
    h.HandleRedirects = true;
    EXPECT_EQ(h.GetExt(s.Url("/start")), "");
    EXPECT_EQ(h.ResponseCode, 302);
    EXPECT_EQ(h.LastFailure.Text, tc.reason);
    EXPECT_EQ(s.Requests().size(), 1u);
    h.Disconnect();  // the server serves one connection at a time

    TParsingHTTP base;
    base.HandleRedirects = true;
    EXPECT_THROW(base.Get(s.Url("/start")), EHttpRedirectError);
    EXPECT_EQ(base.Get(s.Url("/other")), "body of /other");  // the answer was read whole
    EXPECT_EQ(s.Requests().size(), 3u);
  }
}

TEST(HttpRedirect, CredentialsStayWithTheSiteTheyWereGivenFor) {
  // Site A sends /start on to the target; site B's /back sends on to A.
  std::atomic<int> portA{0}, portB{0};
  auto site = [&](TScriptedConn& c, bool isA) {
    for (std::string r; !(r = c.ReadRequest()).empty();) {
      const std::string path = RequestPath(r);
      const std::string a = "http://127.0.0.1:" + std::to_string(portA.load());
      const std::string b = "http://127.0.0.1:" + std::to_string(portB.load());
      std::string location;
      if (isA && path == "/same") location = "/next";
      if (isA && path == "/port") location = b + "/next";
      if (isA && path == "/host")
        location = "http://localhost:" + std::to_string(portA.load()) + "/next";
      if (isA && path == "/away") location = b + "/back";
      if (!isA && path == "/back") location = a + "/next";
      c.Send(location.empty() ? HttpReply("HTTP/1.1 200 OK", "final")
                              : HttpReply("HTTP/1.1 302 Found", "", {"Location: " + location}));
    }
  };
  TScriptedServer siteA([&](TScriptedConn& c) { site(c, true); });
  TScriptedServer siteB([&](TScriptedConn& c) { site(c, false); });
  portA = siteA.Port();
  portB = siteB.Port();
  const std::string common = "Referer: http://ref.example/\r\n";
  const std::string credentials = "Authorization: Basic dXNlcjpwYXNz\r\nCookie: a=1\r\n";
  struct Case {
    const char* name;
    std::string path;
    bool lastOnA;
    std::string lastHost;
    bool withCredentials;
  };
  const std::vector<Case> cases = {
      {"same site", "/same", true, "127.0.0.1:" + Port(siteA), true},
      {"other port", "/port", false, "127.0.0.1:" + Port(siteB), false},
      {"other host name", "/host", true, "localhost:" + Port(siteA), false},
      {"away and back", "/away", true, "127.0.0.1:" + Port(siteA), false},
  };
  for (const auto& tc : cases) {
    SCOPED_TRACE(tc.name);
    TParsingHTTP h;
    h.HandleRedirects = true;
    h.Request.Accept = "";
    h.Request.UserAgent = "";
    h.Request.Referer = "http://ref.example/";
    h.Request.Username = "user";
    h.Request.Password = "pass";
    h.Request.ExtraHeaders.Add("Cookie: a=1");
    h.Request.ExtraHeaders.Add("X-Keep: 1");
    EXPECT_EQ(h.Get(siteA.Url(tc.path)), "final");
    const auto requests = (tc.lastOnA ? siteA : siteB).Requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests.back(), "GET /next HTTP/1.1\r\nHost: " + tc.lastHost + "\r\n" + common +
                                   (tc.withCredentials ? credentials : "") + "X-Keep: 1\r\n\r\n");
    // The caller's record is not changed: its next request has them all.
    EXPECT_EQ(h.Request.Username, "user");
    EXPECT_EQ(h.Request.ExtraHeaders.GetValue("Cookie"), "a=1");
  }
}

TEST(HttpRedirect, ARedirectedPostIsSentAgainWholeOrBecomesAGet) {
  const std::string get = "GET /next HTTP/1.0\r\nHost: 127.0.0.1:PORT\r\n\r\n";
  const std::string post =
      "POST /next HTTP/1.0\r\nHost: 127.0.0.1:PORT\r\n"
      "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: 10\r\n\r\na=1\r\nb=2\r\n";
  const std::vector<std::pair<int, std::string>> cases = {
      {301, get}, {302, get}, {303, get}, {307, post}, {308, post}};
  for (const auto& [code, expected] : cases) {
    for (const bool fromStream : {false, true}) {
      SCOPED_TRACE(std::to_string(code) + (fromStream ? ", stream" : ", lines"));
      TScriptedServer s(ByPath({{"/form", HttpReply("HTTP/1.1 " + std::to_string(code) + " Moved",
                                                    "", {"Location: /next"})}}));
      TIdHTTPExt h;
      h.HandleRedirects = true;
      h.TimeOutExt = 5000;  // a body announced but not sent would stall both sides
      h.Request.Accept = "";
      h.Request.UserAgent = "";
      h.Request.ContentType = "application/x-www-form-urlencoded";
      TStringByteStream out;
      TStringByteStream source;
      source.Write("skip", 4);  // the body starts where the stream stands
      source.Write("a=1\r\nb=2\r\n", 10);
      source.Seek(4);
      if (fromStream)
        h.Post(s.Url("/form"), source, &out);
      else
        h.Post(s.Url("/form"), std::vector<std::string>{"a=1", "b=2"}, &out);
      EXPECT_EQ(out.DataString(), "body of /next");
      const auto requests = s.Requests();
      ASSERT_EQ(requests.size(), 2u);
      std::string want = expected;
      want.replace(want.find("PORT"), 4, Port(s));
      EXPECT_NE(requests[0].find("Content-Length: 10\r\n\r\na=1\r\nb=2\r\n"), std::string::npos)
          << requests[0];
      EXPECT_EQ(requests[1], want);
    }
  }
}

TEST(HttpRedirect, AClosingRedirectIsFollowedOnAFreshConnection) {
  // The server says it will close, but takes its time to: the next request
  // must not be written into the dying connection.
  TScriptedServer s([](TScriptedConn& c) {
    if (c.ReadRequest().empty()) return;
    if (c.Index() == 0) {
      c.Send(HttpReply("HTTP/1.1 302 Found", "moved", {"Location: /next", "Connection: close"}));
      c.Sleep(200ms);
      return;
    }
    c.Send(Ok);
    c.WaitForClose();
  });
  TParsingHTTP h;
  h.HandleRedirects = true;
  EXPECT_EQ(h.Get(s.Url("/first")), "hello");
  EXPECT_EQ(s.Accepted(), 2);
}

TEST(HttpKeepAlive, ErrorAnswersFollowTheSameRules) {
  struct Case {
    const char* name;
    TScriptedReply first;
    int connections;
  };
  const std::vector<Case> cases = {
      {"404 read whole keeps the connection", HttpReply("HTTP/1.1 404 Not Found", "gone"), 1},
      {"404 with Connection: close",
       {HttpReply("HTTP/1.1 404 Not Found", "gone", {"Connection: close"}), true},
       2},
      {"404 from a 1.0 peer", {HttpReply("HTTP/1.0 404 Not Found", "gone"), true}, 2},
  };
  for (const auto& tc : cases) {
    SCOPED_TRACE(tc.name);
    TScriptedServer s(TScriptedServer::Replies({tc.first, Ok}));
    TParsingHTTP h;
    EXPECT_THROW(h.Get(s.Url("/1")), EIdProtocolReplyError);
    EXPECT_EQ(h.Get(s.Url("/2")), "hello");
    EXPECT_EQ(s.Accepted(), tc.connections);
  }
}

TEST(HttpRedirect, NotFollowedWhenOffAndReportedByTheExtension) {
  const std::string moved =
      HttpReply("HTTP/1.1 302 Found", "", {"Location: http://elsewhere.example/x"});
  {
    TScriptedServer s(TScriptedServer::Replies({moved}));
    TIdHTTPExt h;
    EXPECT_THROW(h.Get(s.Url("/")), EIdProtocolReplyError);
  }
  {
    TScriptedServer s(TScriptedServer::Replies({moved}));
    TIdHTTPExt h;
    h.OnRedirect = [](TIdHTTP*, std::string& dest, int32_t&, bool& handled) {
      dest = "/mine";
      handled = true;
    };
    EXPECT_NO_THROW(h.Get(s.Url("/")));
    EXPECT_EQ(h.Response.Location, "/mine");
  }
  {
    TScriptedServer s(TScriptedServer::Replies({moved}));
    TIdHTTPExt h;
    h.RedirectMaximum = 20;
    EXPECT_FALSE(h.GetExt(s.Url("/")) != "");
    EXPECT_EQ(h.ResponseCode, 302);
    EXPECT_EQ(h.Response.Location, "http://elsewhere.example/x");
  }
}

// ------------------------------------------------------------ result state

TEST(HttpResult, EveryFetchStartsWithAnEmptyResponseRecord) {
  {
    // No answer after a 200 is no answer, not "OK (200)" of the last one.
    TScriptedServer s([](TScriptedConn& c) {
      if (c.ReadRequest().empty()) return;
      if (c.Index() == 0) {
        c.Send(HttpReply("HTTP/1.1 200 OK", "hello", {"Content-Type: text/plain", "X-Old: 1"}));
        c.ReadRequest();
      }
    });
    TIdHTTPExt h;
    EXPECT_EQ(h.GetExt(s.Url("/1")), "hello");
    EXPECT_EQ(h.GetExt(s.Url("/2")), "");
    EXPECT_EQ(h.ResponseCode, 0);
    EXPECT_EQ(h.ResponseText, "");
    EXPECT_EQ(h.Response.ContentType, "");
    EXPECT_EQ(h.Response.ContentLength, 0);
    EXPECT_EQ(h.RawHeaders.Count(), 0);
    EXPECT_EQ(h.ExtraResponse("X-Old"), "");
    EXPECT_EQ(h.LastFailure.Text, "Connection closed gracefully.");
  }
}

TEST(HttpResult, A416WithAnUnsatisfiedRangeIsAnAnswer) {
  TScriptedServer s(ByPath({{"/file", HttpReply("HTTP/1.1 416 Range Not Satisfiable", "",
                                                {"Content-Range: bytes */1000"})}}));
  TParsingHTTP h;
  h.Request.ContentRangeStart = 1000;
  EXPECT_THROW(h.Get(s.Url("/file")), EIdProtocolReplyError);
  EXPECT_EQ(h.ResponseCode, 416);
  EXPECT_EQ(h.RawHeaders.GetValue("Content-Range"), "bytes */1000");
  EXPECT_EQ(h.Response.ContentRangeStart, 0);
  EXPECT_EQ(h.Response.ContentRangeEnd, 0);
  h.Request.ContentRangeStart = 0;
  EXPECT_EQ(h.Get(s.Url("/next")), "body of /next");
  EXPECT_EQ(s.Accepted(), 1);  // read whole, the connection stays in step
  h.Disconnect();              // the server serves one connection at a time

  TIdHTTPExt x;
  x.Request.ContentRangeStart = 1000;
  EXPECT_FALSE(x.GetExt(s.Url("/file"), ::testing::TempDir() + "qv_http_416"));
  EXPECT_EQ(x.ResponseCode, 416);
  EXPECT_EQ(x.LastFailure.Text, "416 Range Not Satisfiable");
}

TEST(HttpResult, AFailureKeepsItsReason) {
  auto reply = [](std::string bytes) {
    return [bytes](TScriptedConn& c) {
      if (c.ReadRequest().empty()) return;
      c.Send(bytes);
    };
  };
  auto keep = [](std::string bytes) {
    return [bytes](TScriptedConn& c) {
      for (std::string r; !(r = c.ReadRequest()).empty();) c.Send(bytes);
    };
  };
  struct Case {
    const char* name;
    TScriptedServer::THandler handler;
    bool https;
    std::function<void(TIdHTTPExt&)> setup;
    std::string reason;  // "" for a success
    bool prefix;
    TFailKind kind;
  };
  const std::vector<Case> cases = {
      {"success", keep(Ok), false, nullptr, "", false, TFailKind::fkNone},
      {"status", keep(HttpReply("HTTP/1.1 404 Not Found", "no")), false, nullptr, "404 Not Found",
       false, TFailKind::fkStatus},
      {"reason phrase with a lone CR", keep(HttpReply("HTTP/1.1 500 Server\rError", "no")), false,
       nullptr, "500 Server Error", false, TFailKind::fkStatus},
      {"time-out",
       [](TScriptedConn& c) {
         c.ReadRequest();
         c.Sleep(5s);  // then the server closes
       },
       false, [](TIdHTTPExt& h) { h.ReadTimeout = 100; }, "Read timed out.", false,
       TFailKind::fkTimedOut},
      {"truncated", reply("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc"), false, nullptr,
       "Body truncated: the connection closed before its end", false, TFailKind::fkTruncated},
      {"truncated chunks", reply("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nab"),
       false, nullptr, "Body truncated: the connection closed before its end", false,
       TFailKind::fkTruncated},
      {"framing", reply("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n"), false,
       nullptr, "Bad chunk size: zz", false, TFailKind::fkProtocol},
      {"too many redirects", keep(HttpReply("HTTP/1.1 302 Found", "", {"Location: /"})), false,
       [](TIdHTTPExt& h) {
         h.HandleRedirects = true;
         h.RedirectMaximum = 3;
       },
       "Too many redirects", false, TFailKind::fkRedirect},
      {"refused scheme",
       keep(HttpReply("HTTP/1.1 302 Found", "", {"Location: file:///etc/passwd"})), false,
       [](TIdHTTPExt& h) { h.HandleRedirects = true; },
       "Redirect refused: not an http or https URL: file:///etc/passwd", false,
       TFailKind::fkRedirect},
      {"TLS",  // what a plain server says to a handshake
       [](TScriptedConn& c) { c.Send("HTTP/1.1 400 Bad Request\r\n\r\n"); }, true, nullptr,
       "TLS: ", true, TFailKind::fkConnect},
  };
  for (const auto& tc : cases) {
    SCOPED_TRACE(tc.name);
    TScriptedServer s(tc.handler);
    TIdHTTPExt h;
    h.LastFailure = {TFailKind::fkTimedOut, 0, "from an earlier fetch"};
    if (tc.setup) tc.setup(h);
    const std::string url =
        (tc.https ? "https" : "http") + std::string("://127.0.0.1:") + Port(s) + "/";
    EXPECT_EQ(h.GetExt(url, ::testing::TempDir() + "qv_http_reason"), tc.reason.empty());
    const TFetchFailure& f = h.LastFailure;
    if (tc.prefix)
      EXPECT_EQ(f.Text.substr(0, tc.reason.size()), tc.reason) << f.Text;
    else
      EXPECT_EQ(f.Text, tc.reason);
    EXPECT_EQ(f.Kind, tc.kind) << f.Text;
    EXPECT_EQ(f.Code, tc.kind == TFailKind::fkNone ? 0 : h.ResponseCode);
  }
}

// ------------------------------------------------------------ faults and cuts

TEST(HttpFaults, DripFedResponseIsReadWhole) {
  TScriptedServer s([](TScriptedConn& c) {
    c.ReadRequest();
    c.Drip(HttpReply("HTTP/1.1 200 OK", "dripping body", {"X-A: 1"}), 1, 1ms);
    c.WaitForClose();
  });
  TIdHTTPExt h;
  EXPECT_EQ(h.GetExt(s.Url("/")), "dripping body");
}

TEST(HttpFaults, CutFromAnotherThreadEndsASilentServerPromptlyWithoutRetry) {
  TScriptedServer s([](TScriptedConn& c) { c.WaitForClose(); });
  TIdHTTPExt h;
  h.ResponseCode = 0;
  std::atomic<bool> done{false};
  std::thread watchdog([&] {
    // As the user-interface thread does: once a second while busy.
    while (!done) {
      std::this_thread::sleep_for(100ms);
      if (h.Busy) h.DisconnectSocketExt();
    }
  });
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(h.GetExt(s.Url("/")), "");
  done = true;
  watchdog.join();
  EXPECT_LT(std::chrono::steady_clock::now() - t0, 5s);
  EXPECT_EQ(h.ResponseCode, 0);
  EXPECT_EQ(s.Accepted(), 1);
  EXPECT_FALSE(h.Connected());
  EXPECT_EQ(h.Busy, 0);
}

TEST(HttpFaults, StallMidBodyCutLeavesTheArrivedPrefixInTheFile) {
  const std::string part(3000, 'p');
  TScriptedServer s([&](TScriptedConn& c) {
    c.ReadRequest();
    c.Send("HTTP/1.1 200 OK\r\nContent-Length: 10000\r\n\r\n");
    c.Sleep(50ms);  // the head and the body arrive apart
    c.Send(part);
    c.WaitForClose();
  });
  TIdHTTPExt h;
  std::atomic<bool> started{false};
  h.OnWork = [&](TIdTCPConnection*, TWorkMode, int64_t n) {
    if (n >= 3000) started = true;
  };
  std::thread watchdog([&] {
    while (!started) std::this_thread::sleep_for(5ms);
    std::this_thread::sleep_for(50ms);
    h.DisconnectSocketExt();
  });
  const std::string file = ::testing::TempDir() + "qv_http_stall";
  EXPECT_FALSE(h.GetExt(s.Url("/"), file));
  watchdog.join();
  EXPECT_EQ(h.WorkPosition, 3000);
  TFileByteStream f(file, TFileByteStream::fmOpenRead);
  std::string got(4000, '\0');
  got.resize(f.Read(&got[0], got.size()));
  EXPECT_EQ(got, part);
  EXPECT_TRUE(static_cast<bool>(h.OnWork));  // the caller's handler is back
}

TEST(HttpFaults, LineTimeOutEndsASilentServerAndTriesOnceMore) {
  TScriptedServer s([](TScriptedConn& c) { c.WaitForClose(); });
  TIdHTTPExt h;
  h.TimeOutExt = 100;
  h.ResponseCode = 0;
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_FALSE(h.HeadExt(s.Url("/")));
  EXPECT_LT(std::chrono::steady_clock::now() - t0, 5s);
  EXPECT_EQ(s.Accepted(), 2);
}

TEST(HttpFaults, StatusAndHeaderLinesHonourTheReadTimeOut) {
  struct Case {
    const char* name;
    std::string sent;  // then silence
  };
  const std::vector<Case> cases = {
      {"no status line", ""},
      {"a status line", "HTTP/1.1 200 OK\r\n"},
      {"a header line", "HTTP/1.1 200 OK\r\nX-A: 1\r\n"},
      {"before a chunk size", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"},
      {"before the trailers", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n"},
  };
  for (const auto& tc : cases) {
    SCOPED_TRACE(tc.name);
    TScriptedServer s([&](TScriptedConn& c) {
      c.ReadRequest();
      c.Send(tc.sent);
      c.Sleep(5s);  // then the server closes
    });
    TParsingHTTP h;
    h.ReadTimeout = 100;
    EXPECT_THROW(h.Get(s.Url("/")), ENetTimeout);
  }
}

TEST(HttpFaults, ACutBetweenFetchesOnlyCostsTheConnection) {
  TScriptedServer s(TScriptedServer::Replies({Ok, Ok}));
  TIdHTTPExt h;
  EXPECT_EQ(h.GetExt(s.Url("/1")), "hello");
  std::thread([&] {
    h.DisconnectSocketExt();
  }).join();  // as the pool does when a thread gives it back
  EXPECT_FALSE(h.Connected());
  h.ResponseCode = 0;
  EXPECT_EQ(h.GetExt(s.Url("/2")), "hello");
  EXPECT_EQ(s.Accepted(), 2);
}

TEST(HttpFaults, UncreatableFileFailsBeforeAnyRequest) {
  TScriptedServer s(TScriptedServer::Replies({Ok}));
  TIdHTTPExt h;
  EXPECT_FALSE(h.GetExt(s.Url("/"), "/nonexistent-dir/x/y"));
  EXPECT_EQ(s.Accepted(), 0);
}

}  // namespace
}  // namespace qv
