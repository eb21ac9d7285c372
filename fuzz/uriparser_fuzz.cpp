// URL parsing, normalisation and resolution over arbitrary bytes. The input is a
// base and a reference separated by the first zero byte (a reference alone when
// there is none).
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "model/uriparser.h"

namespace {
void Check(bool ok) {
  if (!ok) std::abort();
}
std::string LowerScheme(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view in(reinterpret_cast<const char*>(data), data ? size : 0);
  const std::size_t z = in.find('\0');
  const std::string_view base = z == std::string_view::npos ? std::string_view() : in.substr(0, z);
  const std::string_view ref = z == std::string_view::npos ? in : in.substr(z + 1);

  for (std::string_view url : {base, ref}) {
    const qv::TURLParts p = qv::ParseURL(url);
    // Rejoining gives the input back, the scheme lower-cased.
    Check(p.Scheme + p.NetLoc + p.Path + p.Params + p.Query + p.Fragment ==
          LowerScheme(std::string(url.substr(0, p.Scheme.size()))) +
              std::string(url.substr(p.Scheme.size())));
    const std::string n = qv::NormaliseURL(url);
    Check(qv::NormaliseURL(n) == n);
    Check(n.find('#') == std::string::npos);
    const std::string c = qv::CollapseURLSlashes(url);
    Check(qv::CollapseURLSlashes(c) == c);
    const std::string s = qv::AddURLPathSlash(url);
    Check(qv::AddURLPathSlash(s) == s);
    const qv::TURIParts u = qv::ParseURIParts(url);
    Check(u.Host.find('@') == std::string::npos);
    Check(u.Host.find('/') == std::string::npos);
    Check(!u.Path.empty() && u.Path.back() == '/');
    const std::string e = qv::EscapeURL(url);
    Check(qv::EscapeURL(e) == e);
    (void)qv::IsPageOrScriptURL(url);
    (void)qv::BaseDomain(u.Host);
    (void)qv::URLFileName(url);
  }

  const std::string r = qv::ResolveURL(base, ref);
  Check(r.find_first_of("#\r\n") == std::string::npos);
  Check(qv::NormaliseURL(r) == r);
  const int common = qv::CommonPathLength(base, ref);
  Check(common >= 0 && static_cast<std::size_t>(common) <= std::min(base.size(), ref.size()));
  Check(base.substr(0, common) == ref.substr(0, common));
  return 0;
}
