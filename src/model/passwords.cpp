#include "model/passwords.h"

#include <algorithm>

#include "platform/asciicase.h"

namespace qv {

namespace {

std::string TrimCtl(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return s.substr(b, e - b);
}

// Where the host (with its port and user) of an address ends: the first "/",
// "?" or "#" after its "//", else its length; 0 when it has no "//".
size_t AuthorityEnd(const std::string& s) {
  const size_t slashes = s.find("//");
  if (slashes == std::string::npos) return 0;
  const size_t end = s.find_first_of("/?#", slashes + 2);
  return end == std::string::npos ? s.size() : end;
}

}  // namespace

TCredentials TPassWordList::Lookup(const std::string& url) const {
  const std::string u = TrimCtl(url);
  for (size_t i = Rows.size(); i-- > 0;) {
    const std::string p = TrimCtl(Rows[i].URL);
    const size_t n = std::min(u.size(), p.size());
    bool same = EqualsIC(std::string_view(u).substr(0, n), std::string_view(p).substr(0, n));
    // A comparison that stops inside either host would hand the credentials
    // of "http://a" to "http://a.evil.example", or those of a longer host to
    // its shorter namesake: the hosts must be compared whole.
    if (same && n > 0 && (n < AuthorityEnd(u) || n < AuthorityEnd(p))) same = false;
    if (same) return {Rows[i].UserID, Rows[i].PW};
  }
  return {};
}

TPublished<TPassWordList>& GlobalPassWords() {
  static TPublished<TPassWordList> g;
  return g;
}

}  // namespace qv
