#include "model/vkconfig.h"

#include <gtest/gtest.h>

#include "support/envscope.h"

namespace qv {
void PrintTo(const TProxyInfo& p, std::ostream* os) {
  *os << "(" << p.Host << ", " << p.Port << ")";
}

namespace {

TEST(ProxyForProtocol, Table) {
  struct {
    const char* Server;
    const char* Protocol;
    TProxyInfo Want;
  } cases[] = {
      {"p:8080", "http", {"p", "8080"}},
      {"p:8080", "ftp", {"p", "8080"}},
      {"http=a:80;ftp=b:21", "ftp", {"b", "21"}},
      {"http=a:80;ftp=b:21", "HTTP", {"a", "80"}},
      {"http://a:3128", "http", {"a", "3128"}},
      {"ftp=b:21", "http", {"", ""}},
      {"https=s:443;ftp=b:21", "http", {"", ""}},
      {"https=s:443;http=h:1", "http", {"h", "1"}},
      {"http =a:80", "http", {"a", "80"}},
      {"http\t = a:80", "http", {"a", "80"}},
      {"http=  a:80 ;ftp=b:21", "http", {"a", "80 "}},
      {"http=a", "http", {"a", ""}},
      {"", "http", {"", ""}},
      {"http=a:80", "", {"", ""}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ProxyForProtocol(c.Server, c.Protocol), c.Want) << c.Server << " / " << c.Protocol;
  }
}

TEST(ParseProxyAddress, Table) {
  struct {
    const char* Text;
    TProxyInfo Want;
  } cases[] = {
      {"p:8080", {"p", "8080"}},
      {"  p:8080;q:1", {"p", "8080"}},
      {"http://a:3128", {"a", "3128"}},
      {"http://a:3128/", {"a", "3128/"}},
      {"http://a", {"a", ""}},
      {"//a", {"a", ""}},
      {"///x", {"", ""}},  // an empty network location is the host
      {"a:b:1", {"a:b", "1"}},
      {"user:pw@h:8", {"user:pw@h", "8"}},
      {"", {"", ""}},
      {";p:1", {"", ""}},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseProxyAddress(c.Text), c.Want) << c.Text;
}

TEST(GetSystemProxy, AnsweredFromTheEnvironment) {
  const char* vars[] = {"http_proxy",  "HTTP_PROXY", "https_proxy",
                        "HTTPS_PROXY", "ftp_proxy",  "FTP_PROXY"};
  test::TEnvScope env;
  for (const char* v : vars) env.Set(v, nullptr);
  EXPECT_EQ(GetSystemProxy("http"), (TProxyInfo{"", ""})) << "no proxy set";
  env.Set("ftp_proxy", "ftp://f.example:2121");
  EXPECT_EQ(GetSystemProxy("http"), (TProxyInfo{"", ""}));
  EXPECT_EQ(GetSystemProxy("ftp"), (TProxyInfo{"f.example", "2121"}));
  env.Set("HTTPS_PROXY", "http://s.example:8443");
  EXPECT_EQ(GetSystemProxy("http"), (TProxyInfo{"", ""})) << "https must not serve http";
  env.Set("http_proxy", "http://joe:pw@h.example:3128/");
  EXPECT_EQ(GetSystemProxy("http"), (TProxyInfo{"h.example", "3128"}));
  EXPECT_EQ(GetSystemProxy("FTP"), (TProxyInfo{"f.example", "2121"}));
}

}  // namespace
}  // namespace qv
