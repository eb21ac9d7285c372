#include "model/passwords.h"

#include <algorithm>

namespace qv {

namespace {

std::string TrimCtl(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return s.substr(b, e - b);
}

unsigned char Up(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  return (u >= 'a' && u <= 'z') ? static_cast<unsigned char>(u - 32) : u;
}

}  // namespace

TCredentials TPassWordList::Lookup(const std::string& url) const {
  const std::string u = TrimCtl(url);
  for (size_t i = Rows.size(); i-- > 0;) {
    const std::string p = TrimCtl(Rows[i].URL);
    const size_t n = std::min(u.size(), p.size());
    bool same = true;
    for (size_t k = 0; k < n && same; ++k) same = Up(u[k]) == Up(p[k]);
    if (same) return {Rows[i].UserID, Rows[i].PW};
  }
  return {};
}

TPublished<TPassWordList>& GlobalPassWords() {
  static TPublished<TPassWordList> g;
  return g;
}

}  // namespace qv
