// The HTTP client against the local nginx and tinyproxy started by
// scripts/test-servers.
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>

#include <gtest/gtest.h>
#include <openssl/ssl.h>

#include "engine/idhttpext.h"
#include "support/scriptedserver.h"

namespace qv {
namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

std::string ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

// Serves one TLS connection on c with the test server's certificate: reads
// the request head, then lets answer write to the session.
void ServeTls(test::TScriptedConn& c, const std::function<void(SSL*, const std::string&)>& answer) {
  const std::string dir = Env("QV_TEST_CA").substr(0, Env("QV_TEST_CA").rfind('/') + 1);
  std::unique_ptr<SSL_CTX, decltype(&SSL_CTX_free)> ctx(SSL_CTX_new(TLS_server_method()),
                                                        &SSL_CTX_free);
  if (SSL_CTX_use_certificate_chain_file(ctx.get(), (dir + "server.pem").c_str()) != 1 ||
      SSL_CTX_use_PrivateKey_file(ctx.get(), (dir + "server.key").c_str(), SSL_FILETYPE_PEM) != 1)
    throw std::runtime_error("cannot load the test server's key");
  std::unique_ptr<SSL, decltype(&SSL_free)> ssl(SSL_new(ctx.get()), &SSL_free);
  SSL_set_fd(ssl.get(), c.Fd());
  if (SSL_accept(ssl.get()) != 1) return;
  std::string request;
  char buf[4096];
  int n;
  while (request.find("\r\n\r\n") == std::string::npos &&
         (n = SSL_read(ssl.get(), buf, sizeof buf)) > 0)
    request.append(buf, static_cast<size_t>(n));
  answer(ssl.get(), request);
}

void SslWrite(SSL* ssl, const std::string& bytes) {
  SSL_write(ssl, bytes.data(), static_cast<int>(bytes.size()));
}

class HttpNet : public ::testing::Test {
 protected:
  void SetUp() override {
    if (Env("QV_NGINX_PORT").empty() || Env("QV_TEST_CA").empty())
      GTEST_SKIP() << "QV_NGINX_PORT is not set: run under scripts/test-servers";
    Plain = "http://127.0.0.1:" + Env("QV_NGINX_PORT");
    Tls = "https://127.0.0.1:" + Env("QV_NGINX_TLS_PORT");
    Root = Env("QV_NGINX_ROOT");
  }
  // A client that counts its connections.
  void Track(TIdHTTPExt& h) {
    h.OnStatus = [this](TIdTCPConnection*, TIdStatus st, const std::string&) {
      Connects += st == hsConnecting;
    };
  }
  std::string Plain, Tls, Root;
  int Connects = 0;
};

TEST_F(HttpNet, PlainFetchesKeepOneConnectionUntilTheServerCloses) {
  TIdHTTPExt h;
  Track(h);
  EXPECT_EQ(h.GetExt(Plain + "/index.html"), ReadFile(Root + "/index.html"));
  EXPECT_EQ(h.Response.ContentType, "text/html");
  const std::string file = ::testing::TempDir() + "qv_net_1k";
  EXPECT_TRUE(h.GetExt(Plain + "/1k.bin", file));
  EXPECT_EQ(ReadFile(file), ReadFile(Root + "/1k.bin"));
  EXPECT_TRUE(h.HeadExt(Plain + "/1k.bin"));
  EXPECT_EQ(h.Response.ContentLength, 1024);
  EXPECT_EQ(Connects, 1);
  EXPECT_EQ(h.GetExt(Plain + "/close.html"), "closing\n");
  EXPECT_FALSE(h.Connected());
  EXPECT_NE(h.GetExt(Plain + "/index.html"), "");
  EXPECT_EQ(Connects, 2);
}

TEST_F(HttpNet, ErrorsAndRedirectsComeBackToTheCaller) {
  TIdHTTPExt h;
  h.ResponseCode = 0;
  EXPECT_EQ(h.GetExt(Plain + "/missing"), "");
  EXPECT_EQ(h.ResponseCode, 404);
  EXPECT_EQ(h.Response.ContentType, "");
  h.ResponseCode = 0;
  EXPECT_FALSE(h.GetExt(Plain + "/redirect", ::testing::TempDir() + "qv_net_redirect"));
  EXPECT_EQ(h.ResponseCode, 302);
  // The server builds the target from our Host line: it must carry the port.
  EXPECT_EQ(h.Response.Location, Plain + "/index.html");
}

TEST_F(HttpNet, HttpsWithTheTestAuthority) {
  for (const std::string host : {"127.0.0.1", "localhost"}) {
    SCOPED_TRACE(host);
    Connects = 0;
    TIdHTTPExt h;
    h.CAFile = Env("QV_TEST_CA");
    Track(h);
    const std::string base = "https://" + host + ":" + Env("QV_NGINX_TLS_PORT");
    EXPECT_EQ(h.GetExt(base + "/index.html"), ReadFile(Root + "/index.html"));
    // The scheme in capitals is still TLS, and the connection is kept.
    EXPECT_EQ(h.GetExt("HTTPS://" + host + ":" + Env("QV_NGINX_TLS_PORT") + "/1k.bin"),
              ReadFile(Root + "/1k.bin"));
    EXPECT_EQ(Connects, 1);
    // The same port in plain http is another endpoint: nginx answers 400.
    h.ResponseCode = 0;
    EXPECT_EQ(h.GetExt("http://" + host + ":" + Env("QV_NGINX_TLS_PORT") + "/index.html"), "");
    EXPECT_EQ(h.ResponseCode, 400);
  }
}

TEST_F(HttpNet, HttpsFailsLikeAConnectionWhenTheCertificateIsNotTrusted) {
  TIdHTTPExt h;  // the system's store does not hold the test authority
  h.ResponseCode = 0;
  int tries = 0;
  h.OnStatus = [&](TIdTCPConnection*, TIdStatus st, const std::string&) {
    tries += st == hsConnecting;
  };
  EXPECT_EQ(h.GetExt(Tls + "/index.html"), "");
  EXPECT_EQ(h.ResponseCode, 0);
  EXPECT_EQ(tries, 2);  // no response at all: retried once, never sent in clear
  EXPECT_FALSE(h.Connected());
}

class ProxyNet : public HttpNet {
 protected:
  void SetUp() override {
    HttpNet::SetUp();
    if (IsSkipped()) return;
    if (Env("QV_PROXY_PORT").empty())
      GTEST_SKIP() << "QV_PROXY_PORT is not set: run under scripts/test-servers";
  }
  void UseProxy(TIdHTTPExt& h, bool auth, bool withCredentials) {
    h.Request.ProxyServer = "127.0.0.1";
    h.Request.ProxyPort = std::atoi(Env(auth ? "QV_PROXY_AUTH_PORT" : "QV_PROXY_PORT").c_str());
    if (withCredentials) {
      h.Request.ProxyUsername = Env("QV_PROXY_USER");
      h.Request.ProxyPassword = Env("QV_PROXY_PASSWORD");
    }
    h.CAFile = Env("QV_TEST_CA");
  }
};

TEST_F(ProxyNet, PlainAndTunnelledRequestsWithAndWithoutCredentials) {
  struct Case {
    const char* name;
    bool tls, auth, credentials, ok;
  } cases[] = {
      {"plain, open proxy", false, false, false, true},
      {"plain, credentials", false, true, true, true},
      {"plain, credentials missing", false, true, false, false},
      {"tunnel, open proxy", true, false, false, true},
      {"tunnel, credentials", true, true, true, true},
      {"tunnel, credentials missing", true, true, false, false},
  };
  const std::string page = ReadFile(Root + "/index.html");
  for (const auto& tc : cases) {
    SCOPED_TRACE(tc.name);
    TIdHTTPExt h;
    UseProxy(h, tc.auth, tc.credentials);
    h.ResponseCode = 0;
    const std::string base = tc.tls ? Tls : Plain;
    if (tc.ok) {
      EXPECT_EQ(h.GetExt(base + "/index.html"), page);
      EXPECT_EQ(h.ResponseCode, 200);
      // tinyproxy closes after each answer without saying so: the next
      // fetch finds a dead connection and tries once more.
      h.ResponseCode = 0;
      EXPECT_EQ(h.GetExt(base + "/1k.bin"), ReadFile(Root + "/1k.bin"));
    } else {
      EXPECT_EQ(h.GetExt(base + "/index.html"), "");
      // The proxy's refusal is the answer (tinyproxy says 401 or 407).
      EXPECT_TRUE(h.ResponseCode == 407 || h.ResponseCode == 401) << h.ResponseCode;
    }
  }
}

TEST_F(ProxyNet, TunnelToAnUntrustedServerFails) {
  TIdHTTPExt h;
  UseProxy(h, false, false);
  h.CAFile.clear();
  h.ResponseCode = 0;
  EXPECT_EQ(h.GetExt(Tls + "/index.html"), "");
  EXPECT_EQ(h.ResponseCode, 0);  // not the proxy's 200 for the tunnel
  EXPECT_FALSE(h.Connected());
}

// A proxy that opens every tunnel and is itself the TLS server inside it,
// with the test server's certificate: it sees the request the client sends
// through the tunnel.
TEST_F(HttpNet, RequestInsideATunnelHasAnOriginTargetAndNoProxyCredentials) {
  const std::string dir = Env("QV_TEST_CA").substr(0, Env("QV_TEST_CA").rfind('/') + 1);
  std::string inside;
  test::TScriptedServer proxy([&](test::TScriptedConn& c) {
    if (c.ReadRequest().empty()) return;
    c.Send("HTTP/1.1 200 Connection established\r\n\r\n");
    std::unique_ptr<SSL_CTX, decltype(&SSL_CTX_free)> ctx(SSL_CTX_new(TLS_server_method()),
                                                          &SSL_CTX_free);
    if (SSL_CTX_use_certificate_chain_file(ctx.get(), (dir + "server.pem").c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(ctx.get(), (dir + "server.key").c_str(), SSL_FILETYPE_PEM) != 1)
      throw std::runtime_error("cannot load the test server's key");
    std::unique_ptr<SSL, decltype(&SSL_free)> ssl(SSL_new(ctx.get()), &SSL_free);
    SSL_set_fd(ssl.get(), c.Fd());
    if (SSL_accept(ssl.get()) != 1) return;
    char buf[4096];
    int n;
    while (inside.find("\r\n\r\n") == std::string::npos &&
           (n = SSL_read(ssl.get(), buf, sizeof buf)) > 0)
      inside.append(buf, static_cast<size_t>(n));
    const std::string reply = test::HttpReply("HTTP/1.1 200 OK", "inside", {"Connection: close"});
    SSL_write(ssl.get(), reply.data(), static_cast<int>(reply.size()));
    SSL_shutdown(ssl.get());
  });
  TIdHTTPExt h;
  h.CAFile = Env("QV_TEST_CA");
  h.Request.ProxyServer = "127.0.0.1";
  h.Request.ProxyPort = proxy.Port();
  h.Request.ProxyUsername = "pu";
  h.Request.ProxyPassword = "pp";
  h.Request.Accept = "";
  h.Request.UserAgent = "";
  h.Request.ContentRangeStart = 100;
  h.Request.Username = "user";
  h.Request.Password = "pass";
  h.Request.ExtraHeaders.Add("Cookie: a=1");
  EXPECT_EQ(h.GetExt("https://127.0.0.1:8443/dir/a.html?q=1"), "inside");
  EXPECT_TRUE(proxy.Errors().empty()) << proxy.Errors().front();
  ASSERT_EQ(proxy.Requests().size(), 1u);
  EXPECT_EQ(proxy.Requests()[0],
            "CONNECT 127.0.0.1:8443 HTTP/1.1\r\nHost: 127.0.0.1:8443\r\n"
            "Proxy-Authorization: Basic cHU6cHA=\r\n\r\n");
  // The request's own lines all arrive (the range of a resume above all);
  // the proxy's credentials stay with the proxy.
  EXPECT_EQ(inside,
            "GET /dir/a.html?q=1 HTTP/1.1\r\nHost: 127.0.0.1:8443\r\nAccept: */*\r\n"
            "Range: bytes=100-\r\nAuthorization: Basic dXNlcjpwYXNz\r\nCookie: a=1\r\n\r\n");
}

// A body that the close delimits is whole only when TLS ends it
// (close_notify): a bare TCP close under the session may be anyone's.
TEST_F(HttpNet, ABodyEndedByTheCloseIsWholeOnlyWithCloseNotify) {
  for (const bool notify : {true, false}) {
    SCOPED_TRACE(notify ? "close_notify" : "TCP close only");
    test::TScriptedServer server([&](test::TScriptedConn& c) {
      ServeTls(c, [&](SSL* ssl, const std::string&) {
        SslWrite(ssl, "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\nthe whole body");
        if (notify) SSL_shutdown(ssl);
      });
    });
    TIdHTTPExt h;
    h.CAFile = Env("QV_TEST_CA");
    EXPECT_EQ(h.GetExt("https://127.0.0.1:" + std::to_string(server.Port()) + "/"),
              notify ? "the whole body" : "");
    EXPECT_EQ(h.LastFailure.Text,
              notify ? "" : "Body truncated: the connection closed before its end");
    EXPECT_EQ(server.Accepted(), 1);  // an answer came: no second try
  }
}

TEST_F(HttpNet, ARedirectFromHttpsToHttpCarriesNoCredentials) {
  test::TScriptedServer plain(
      test::TScriptedServer::Replies({test::HttpReply("HTTP/1.1 200 OK", "plain")}));
  const std::string target = plain.Url("/next");
  test::TScriptedServer secure([&](test::TScriptedConn& c) {
    ServeTls(c, [&](SSL* ssl, const std::string&) {
      SslWrite(ssl, test::HttpReply("HTTP/1.1 302 Found", "", {"Location: " + target}));
      SSL_shutdown(ssl);
    });
  });
  TIdHTTPExt h;
  h.CAFile = Env("QV_TEST_CA");
  h.HandleRedirects = true;
  h.Request.Accept = "";
  h.Request.UserAgent = "";
  h.Request.Username = "user";
  h.Request.Password = "pass";
  h.Request.ExtraHeaders.Add("Cookie: a=1");
  EXPECT_EQ(h.GetExt("https://127.0.0.1:" + std::to_string(secure.Port()) + "/start"), "plain");
  ASSERT_EQ(plain.Requests().size(), 1u);
  EXPECT_EQ(plain.Requests()[0], "GET /next HTTP/1.1\r\nHost: 127.0.0.1:" +
                                     std::to_string(plain.Port()) + "\r\nAccept: */*\r\n\r\n");
}

}  // namespace
}  // namespace qv
