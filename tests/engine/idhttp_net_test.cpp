// The HTTP client against the local nginx and tinyproxy started by
// scripts/test-servers.
#include <cstdlib>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "engine/idhttpext.h"

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
    h.OnStatus = [this](TIdTCPConnection*, TIdStatus st, const std::string&) { Connects += st == hsConnecting; };
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
    EXPECT_EQ(h.GetExt("HTTPS://" + host + ":" + Env("QV_NGINX_TLS_PORT") + "/1k.bin"), ReadFile(Root + "/1k.bin"));
    EXPECT_EQ(Connects, 1);
    // The same port in plain http is another endpoint: nginx answers 400.
    h.ResponseCode = 0;
    EXPECT_EQ(h.GetExt("http://" + host + ":" + Env("QV_NGINX_TLS_PORT") + "/index.html"), "");
    EXPECT_EQ(h.ResponseCode, 400);
  }
}

TEST_F(HttpNet, HttpsFailsLikeAConnectionWhenTheCertificateIsNotTrusted) {
  TIdHTTPExt h; // the system's store does not hold the test authority
  h.ResponseCode = 0;
  int tries = 0;
  h.OnStatus = [&](TIdTCPConnection*, TIdStatus st, const std::string&) { tries += st == hsConnecting; };
  EXPECT_EQ(h.GetExt(Tls + "/index.html"), "");
  EXPECT_EQ(h.ResponseCode, 0);
  EXPECT_EQ(tries, 2); // no response at all: retried once, never sent in clear
  EXPECT_FALSE(h.Connected());
}

class ProxyNet : public HttpNet {
protected:
  void SetUp() override {
    HttpNet::SetUp();
    if (IsSkipped()) return;
    if (Env("QV_PROXY_PORT").empty()) GTEST_SKIP() << "QV_PROXY_PORT is not set: run under scripts/test-servers";
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
  EXPECT_EQ(h.ResponseCode, 0); // not the proxy's 200 for the tunnel
  EXPECT_FALSE(h.Connected());
}

} // namespace
} // namespace qv
