// Set-Cookie values and cookie-file records come from servers and from files
// on disk. Input: the first line is the request URL, the rest the header value;
// the same bytes are also read as a cookie file and as a cookie date.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <map>
#include <string>

#include "engine/cookielist.h"

namespace {
void Check(bool ok) {
  if (!ok) std::abort();
}

// The bounds hold whatever was read, and a host-only cookie never goes to
// another host.
void CheckStore(const qv::TCookieList& list, const std::string& url) {
  std::map<std::string, int> perDomain;
  for (int i = 0; i < list.Count(); ++i) {
    const qv::TCookieItem c = list.GetItem(i);
    Check(c.NameValue.size() + c.Path.size() + c.ExactDomain.size() + c.Expires.size() <=
          qv::kMaxCookieBytes);
    Check(++perDomain[c.Domain] <= qv::kMaxCookiesPerDomain);
  }
  for (const std::string& u :
       {url, std::string("https://www.example.com/"), std::string("http://sibling.example.com/")}) {
    const std::string h = list.CookieHeader(u);
    Check(std::string("Cookie: ").size() + h.size() <= qv::kMaxCookieLine);
  }
  qv::TCookieList one;
  if (list.Count() > 0) {
    qv::TCookieItem c = list.GetItem(0);
    c.Secure = false;
    c.HostOnly = true;
    c.Path = "/";
    c.ExpiresAt = 0;
    c.ExactDomain = "only.example.com";
    c.Domain = "example.com";
    if (one.InsertOrReplace(c, false) >= 0)
      Check(one.CookieHeader("http://sibling.example.com/").empty());
  }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string in(reinterpret_cast<const char*>(data), size);
  const size_t nl = in.find('\n');
  const std::string url = nl == std::string::npos ? "http://www.example.com/a/b" : in.substr(0, nl);
  const std::string value = nl == std::string::npos ? in : in.substr(nl + 1);

  qv::TCookieList list;
  list.ParseSetCookie(value, url);
  list.AddSetCookies({"Set-Cookie:" + value, "set-cookie: x=1; path=/"}, url);
  (void)list.CookieHeader(url);
  (void)list.CookieHeader("https://www.example.com/");
  list.ImportCookieRecords(in);
  (void)list.CookieHeader(url);
  CheckStore(list, url);
  std::time_t t;
  (void)qv::ParseCookieDate(value, t);
  return 0;
}
