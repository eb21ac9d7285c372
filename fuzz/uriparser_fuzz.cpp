// URL parsing, normalisation and resolution over arbitrary bytes. The input is a
// base and a reference separated by the first zero byte (a reference alone when
// there is none). The same bytes, mapped onto "a", "." and "/", also make a base
// path and a relative reference whose resolution must agree with RFC 3986.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "model/uriparser.h"
#include "support/url_reference.h"

namespace {
void Check(bool ok) {
  if (!ok) std::abort();
}
std::string LowerScheme(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}
std::string DotPath(std::string_view bytes) {
  std::string r;
  for (unsigned char b : bytes) r += "a./"[b % 3];
  return r;
}
// A segment beginning with ".." other than ".." itself is where the program
// knowingly differs from the RFC (it is never removed).
bool HasDotDotName(const std::string& path) {
  for (std::size_t i = 0; i <= path.size();) {
    const std::size_t e = std::min(path.find('/', i), path.size());
    const std::string_view seg(path.data() + i, e - i);
    if (seg.size() > 2 && seg.substr(0, 2) == "..") return true;
    i = e + 1;
  }
  return false;
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

  const std::string basePath = base.empty() ? "" : "/" + DotPath(base);
  const std::string refPath = DotPath(ref);
  if (!refPath.empty() && refPath[0] != '/' && !HasDotDotName(basePath) && !HasDotDotName(refPath))
    Check(qv::ResolveURL("http://h" + basePath, refPath) ==
          "http://h" +
              qv::testref::RemoveDotSegments(qv::testref::MergePath(true, basePath, refPath)));

  const std::string r = qv::ResolveURL(base, ref);
  Check(r.find_first_of("#\r\n") == std::string::npos);
  Check(qv::NormaliseURL(r) == r);
  const int common = qv::CommonPathLength(base, ref);
  Check(common >= 0 && static_cast<std::size_t>(common) <= std::min(base.size(), ref.size()));
  Check(base.substr(0, common) == ref.substr(0, common));
  return 0;
}
