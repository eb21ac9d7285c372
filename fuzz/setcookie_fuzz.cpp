// Set-Cookie values and cookie-file records come from servers and from files
// on disk. Input: the first line is the request URL, the rest the header value;
// the same bytes are also read as a cookie file and as a cookie date.
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>

#include "engine/cookielist.h"

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
  std::time_t t;
  (void)qv::ParseCookieDate(value, t);
  return 0;
}
