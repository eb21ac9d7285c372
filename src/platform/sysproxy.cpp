#include "platform/sysproxy.h"

#include <cstdlib>

#include "platform/asciicase.h"

namespace qv {

namespace {

std::string EnvProxy(const char* lower, const char* upper) {
  for (const char* name : {lower, upper}) {
    const char* v = std::getenv(name);
    if (v && *v) return v;
  }
  return "";
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// "scheme://user:pw@host:port/path" or "host:port" -> "host:port".
std::string HostPort(std::string v) {
  size_t b = 0, e = v.size();
  while (b < e && IsBlank(v[b])) ++b;
  while (e > b && IsBlank(v[e - 1])) --e;
  v = v.substr(b, e - b);

  std::string scheme;
  size_t sep = v.find("://");
  if (sep != std::string::npos) {
    scheme = LowerCaseAscii(v.substr(0, sep));
    v = v.substr(sep + 3);
  }
  v = v.substr(0, v.find_first_of("/?#"));
  size_t at = v.rfind('@');
  if (at != std::string::npos) v = v.substr(at + 1);
  // ";" separates the entries of the combined text; a value cannot carry one.
  if (v.empty() || v.find(';') != std::string::npos || v.find('=') != std::string::npos) return "";

  size_t close = v.rfind(']');
  size_t colon = v.rfind(':');
  bool hasPort = colon != std::string::npos && (close == std::string::npos || colon > close);
  if (!hasPort) {
    if (scheme == "http") v += ":80";
    if (scheme == "https") v += ":443";
  }
  return v;
}

}  // namespace

bool SystemProxyEnabled() { return !SystemProxyServer().empty(); }

std::string SystemProxyServer() {
  struct TVar {
    const char* Protocol;
    const char* Lower;
    const char* Upper;
  };
  const TVar vars[] = {{"http", "http_proxy", "HTTP_PROXY"},
                       {"https", "https_proxy", "HTTPS_PROXY"},
                       {"ftp", "ftp_proxy", "FTP_PROXY"}};
  std::string out;
  for (const auto& v : vars) {
    std::string hp = HostPort(EnvProxy(v.Lower, v.Upper));
    if (hp.empty()) continue;
    if (!out.empty()) out += ";";
    out += v.Protocol;
    out += "=";
    out += hp;
  }
  return out;
}

}  // namespace qv
