// TLS of the connection layer against the local nginx (scripts/test-servers).
#include <cstdlib>

#include <gtest/gtest.h>

#include "platform/net.h"

namespace qv {
namespace {

TEST(TlsNet, PeerIsVerifiedForTheNameAsked) {
  const char* port = std::getenv("QV_NGINX_TLS_PORT");
  const char* ca = std::getenv("QV_TEST_CA");
  if (!port || !ca) GTEST_SKIP() << "QV_NGINX_TLS_PORT is not set: run under scripts/test-servers";
  struct Case {
    const char* name;
    std::string host, tlsHost, caFile;
    bool ok;
  } cases[] = {
      {"address in the certificate", "127.0.0.1", "", ca, true},
      {"name in the certificate", "localhost", "", ca, true},
      {"wrong name", "127.0.0.1", "www.example.com", ca, false},
      {"wrong address", "127.0.0.1", "127.0.0.2", ca, false},
      {"system store only", "127.0.0.1", "", "", false},
  };
  for (const auto& tc : cases) {
    SCOPED_TRACE(tc.name);
    TIdTCPClient c;
    c.Host = tc.host;
    c.Port = std::atoi(port);
    c.UseTls = true;
    c.TlsHost = tc.tlsHost;
    c.CAFile = tc.caFile;
    if (tc.ok) {
      ASSERT_NO_THROW(c.Connect());
      c.Write("GET /index.html HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n\r\n");
      EXPECT_EQ(c.ReadLn(), "HTTP/1.1 200 OK");
    } else {
      EXPECT_THROW(c.Connect(), ENetConnectError);
      EXPECT_FALSE(c.Connected());
    }
  }
}

TEST(TlsNet, TheSystemStoreHonoursSslCertFile) {
  const char* port = std::getenv("QV_NGINX_TLS_PORT");
  const char* ca = std::getenv("QV_TEST_CA");
  if (!port || !ca) GTEST_SKIP() << "QV_NGINX_TLS_PORT is not set: run under scripts/test-servers";
  // A fresh process: the trust store is loaded once per process.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        setenv("SSL_CERT_FILE", ca, 1);
        TIdTCPClient c;
        c.Host = "127.0.0.1";
        c.Port = std::atoi(port);
        c.UseTls = true;
        try {
          c.Connect();
        } catch (...) {
          std::exit(1);
        }
        std::exit(c.Connected() ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace qv
