// The HTTP component over TLS, against a scripted TLS server with the test
// servers' certificate (scripts/test-servers).
#include "components/nmhttpext.h"

#include <openssl/ssl.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>

#include "support/scriptedserver.h"

namespace qv {
namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

// An "https" URL in any letter case is fetched over TLS, never as plain HTTP.
TEST(NMHTTPExtNet, HttpsStaysOnTls) {
  if (Env("QV_TEST_CA").empty()) GTEST_SKIP() << "QV_TEST_CA unset: run under scripts/test-servers";
  const std::string dir = Env("QV_TEST_CA").substr(0, Env("QV_TEST_CA").rfind('/') + 1);
  std::string request;
  bool handshake = false;
  test::TScriptedServer server([&](test::TScriptedConn& c) {
    std::unique_ptr<SSL_CTX, decltype(&SSL_CTX_free)> ctx(SSL_CTX_new(TLS_server_method()),
                                                          &SSL_CTX_free);
    if (SSL_CTX_use_certificate_chain_file(ctx.get(), (dir + "server.pem").c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(ctx.get(), (dir + "server.key").c_str(), SSL_FILETYPE_PEM) != 1)
      throw std::runtime_error("cannot load the test server's key");
    std::unique_ptr<SSL, decltype(&SSL_free)> ssl(SSL_new(ctx.get()), &SSL_free);
    SSL_set_fd(ssl.get(), c.Fd());
    if (SSL_accept(ssl.get()) != 1) return;
    handshake = true;
    char buf[4096];
    int n;
    while (request.find("\r\n\r\n") == std::string::npos &&
           (n = SSL_read(ssl.get(), buf, sizeof buf)) > 0)
      request.append(buf, static_cast<size_t>(n));
    const std::string reply = test::HttpReply("HTTP/1.1 200 OK", "secret", {"Connection: close"});
    SSL_write(ssl.get(), reply.data(), static_cast<int>(reply.size()));
    SSL_shutdown(ssl.get());
  });
  TNMHTTPExt h;
  h.Client.CAFile = Env("QV_TEST_CA");
  h.Client.ReadTimeout = 10000;
  ASSERT_TRUE(h.GetExt(" HTTPS://127.0.0.1:" + std::to_string(server.Port()) + "/a b "))
      << (server.Errors().empty() ? "" : server.Errors().front());
  EXPECT_TRUE(handshake);
  EXPECT_EQ(request.substr(0, request.find("\r\n")), "GET /a%20b HTTP/1.1");
  EXPECT_EQ(h.Body, "secret");
  EXPECT_EQ(h.Connected, 1);
}

}  // namespace
}  // namespace qv
