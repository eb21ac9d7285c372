#include "engine/cookielist.h"

#include <arpa/inet.h>
#include <libpsl.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <tuple>

#include "engine/vkhttp.h"
#include "model/strutils.h"
#include "model/uriparser.h"
#include "platform/asciicase.h"
#include "platform/progfolder.h"

namespace qv {

std::recursive_mutex CookieListLock;

namespace {

using Guard = std::lock_guard<std::recursive_mutex>;

// A cookie file larger than this is not a cookie file.
constexpr std::uintmax_t kMaxCookieFileSize = 4u << 20;

std::string Trim(const std::string& s) {
  const size_t a = s.find_first_not_of(" \t\r\n");
  if (a == std::string::npos) return "";
  const size_t b = s.find_last_not_of(" \t\r\n");
  return s.substr(a, b - a + 1);
}

// The host of a network location (with or without its "//"): user
// information and port removed. Cookies do not tell ports apart (RFC 6265
// section 8.5), and a domain attribute never carries one.
std::string HostOf(std::string netloc) {
  if (netloc.rfind("//", 0) == 0) netloc.erase(0, 2);
  const size_t at = netloc.rfind('@');
  if (at != std::string::npos) netloc.erase(0, at + 1);
  if (!netloc.empty() && netloc[0] == '[') {
    const size_t close = netloc.find(']');
    return close == std::string::npos ? netloc : netloc.substr(0, close + 1);
  }
  const size_t colon = netloc.find(':');
  if (colon != std::string::npos) netloc.resize(colon);
  return netloc;
}

bool IsIPAddress(const std::string& host) {
  unsigned char buf[16];
  if (inet_pton(AF_INET, host.c_str(), buf) == 1) return true;
  if (host.size() > 2 && host.front() == '[' && host.back() == ']')
    return inet_pton(AF_INET6, host.substr(1, host.size() - 2).c_str(), buf) == 1;
  return false;
}

// The tail a host's cookies are kept under. The last-labels rule would put
// 10.0.0.1 and 192.0.0.1 together ("0.0.1"), so an address keeps its own.
// Host names are case-insensitive, so the tail is kept in lower case: a
// cookie set by WWW.EXAMPLE.COM goes back to www.example.com.
std::string CookieDomainOf(const std::string& host) {
  const std::string h = LowerCaseAscii(host);
  return IsIPAddress(h) ? h : BaseDomain(h);
}

const psl_ctx_t* PublicSuffixes() {
  static const psl_ctx_t* psl = [] {
    const psl_ctx_t* p = psl_latest(nullptr);
    return p ? p : psl_builtin();
  }();
  return psl;
}

bool IsPublicSuffix(const std::string& domain) {
  const psl_ctx_t* psl = PublicSuffixes();
  return !psl || psl_is_public_suffix(psl, domain.c_str()) != 0;
}

// RFC 6265 section 5.1.3: host (lower case) is the domain itself, or a host
// name (not an address) under it.
bool DomainMatches(const std::string& host, const std::string& domain) {
  if (host == domain) return true;
  if (domain.empty() || host.size() <= domain.size() + 1) return false;
  if (host.compare(host.size() - domain.size(), domain.size(), domain) != 0) return false;
  if (host[host.size() - domain.size() - 1] != '.') return false;
  return !IsIPAddress(host);
}

// Whether a response from host may set a cookie for the domain attribute dom
// (both lower case; RFC 6265 section 5.3, steps 5 and 6): the domain is the
// host itself, or a parent of it that is not a public suffix. Without a
// suffix list only the host itself passes.
bool DomainAcceptable(const std::string& host, const std::string& dom) {
  if (dom.empty() || host.empty()) return false;
  if (host == dom) return true;
  if (!DomainMatches(host, dom)) return false;
  for (unsigned char c : dom)
    if (!(std::isalnum(c) || c == '.' || c == '-' || c == '_')) return false;
  return !IsPublicSuffix(dom);
}

// The domain tails a request to host may find cookies under: the tail of the
// host and of each of its parents ("www.example.de" keeps three labels, but
// "Domain=example.de" is indexed under "example.de").
std::vector<std::string> TailsToSearch(const std::string& host) {
  std::vector<std::string> tails{CookieDomainOf(host)};
  if (IsIPAddress(host)) return tails;
  for (size_t dot = host.find('.'); dot != std::string::npos; dot = host.find('.', dot + 1)) {
    const std::string tail = CookieDomainOf(host.substr(dot + 1));
    if (!tail.empty() && std::find(tails.begin(), tails.end(), tail) == tails.end())
      tails.push_back(tail);
  }
  return tails;
}

size_t CookieBytes(const TCookieItem& c) {
  return c.NameValue.size() + c.Path.size() + c.ExactDomain.size() + c.Expires.size();
}

bool Expired(const TCookieItem& c, std::time_t now) {
  return c.ExpiresAt != 0 && c.ExpiresAt <= now;
}

// A cookie file's expiry: the low and high halves of a count of 100 ns since
// 1601. False when either is no 32-bit decimal number.
bool ParseFileTime(const std::string& low, const std::string& high, std::time_t& out) {
  auto number = [](const std::string& t, std::uint64_t& v) {
    const std::string s = Trim(t);
    if (s.empty() || s.size() > 10) return false;
    v = 0;
    for (char ch : s) {
      if (ch < '0' || ch > '9') return false;
      v = v * 10 + static_cast<std::uint64_t>(ch - '0');
    }
    return v <= 0xFFFFFFFFull;
  };
  std::uint64_t lo = 0, hi = 0;
  if (!number(low, lo) || !number(high, hi)) return false;
  constexpr std::int64_t kSeconds1601To1970 = 11644473600;
  out = static_cast<std::time_t>(static_cast<std::int64_t>(((hi << 32) | lo) / 10000000) -
                                 kSeconds1601To1970);
  return true;
}

// "Wed, 09 Jun 2021 10:18:14 GMT", spelled the same under every locale.
std::string HttpDate(std::time_t t) {
  static const char* const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::tm tm{};
  if (!gmtime_r(&t, &tm)) return "";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%s, %02d %s %04d %02d:%02d:%02d GMT", days[tm.tm_wday % 7],
                tm.tm_mday, months[tm.tm_mon % 12], tm.tm_year + 1900, tm.tm_hour, tm.tm_min,
                tm.tm_sec);
  return buf;
}

// RFC 6265 section 5.1.4: the request path's folder, without its last "/".
std::string DefaultPath(const std::string& requestPath) {
  if (requestPath.empty() || requestPath[0] != '/') return "/";
  const size_t last = requestPath.rfind('/');
  if (last == 0) return "/";
  return requestPath.substr(0, last);
}

// RFC 6265 section 5.1.4: a prefix that ends at a "/" boundary.
bool PathMatches(const std::string& cookiePath, const std::string& requestPath) {
  if (cookiePath.empty()) return true;
  if (requestPath.compare(0, cookiePath.size(), cookiePath) != 0) return false;
  if (requestPath.size() == cookiePath.size()) return true;
  return cookiePath.back() == '/' || requestPath[cookiePath.size()] == '/';
}

// A Max-Age attribute: true with its value when it is a valid integer.
bool ParseMaxAge(const std::string& text, long long& out) {
  if (text.empty()) return false;
  size_t i = 0;
  bool neg = false;
  if (text[0] == '-') {
    neg = true;
    i = 1;
  }
  if (i >= text.size()) return false;
  long long v = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    if (v < 1000000000000LL) v = v * 10 + (text[i] - '0');
  }
  out = neg ? -v : v;
  return true;
}

int CompareKey(const TCookieItem& item, const std::string& domain, const std::string& path,
               const std::string& name, const std::string& exactDomain) {
  if (int c = item.Domain.compare(domain)) return c;
  if (int c = item.Path.compare(path)) return c;
  if (int c = CookieName(item.NameValue).compare(name)) return c;
  return item.ExactDomain.compare(exactDomain);
}

std::string AccountName() {
  std::vector<char> buf(16384);
  passwd pw{};
  passwd* result = nullptr;
  if (getpwuid_r(geteuid(), &pw, buf.data(), buf.size(), &result) != 0 || !result) return "";
  return result->pw_name ? result->pw_name : "";
}

// Files of folder whose names are prefix + "*.txt", letter case ignored as
// the browser's file system did; "Head.txt" never counts.
std::vector<std::string> MatchingFiles(const std::filesystem::path& folder,
                                       const std::string& prefix) {
  std::vector<std::string> out;
  std::error_code ec;
  std::filesystem::directory_iterator it(folder, ec);
  if (ec) return out;
  for (const auto& e : it) {
    std::error_code fe;
    if (!e.is_regular_file(fe)) continue;
    const std::string name = LowerCaseAscii(e.path().filename().string());
    if (name == "head.txt") continue;
    if (name.size() < prefix.size() + 4) continue;
    if (name.compare(0, prefix.size(), LowerCaseAscii(prefix)) != 0) continue;
    if (name.compare(name.size() - 4, 4, ".txt") != 0) continue;
    out.push_back(e.path().string());
  }
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace

std::string CookieName(const std::string& nameValue) {
  return Trim(nameValue.substr(0, nameValue.find('=')));
}

bool ParseCookieDate(const std::string& text, std::time_t& out) {
  auto delimiter = [](unsigned char c) {
    return c == 0x09 || (c >= 0x20 && c <= 0x2F) || (c >= 0x3B && c <= 0x40) ||
           (c >= 0x5B && c <= 0x60) || (c >= 0x7B && c <= 0x7E);
  };
  auto digit = [](char c) { return c >= '0' && c <= '9'; };
  // Reads 1 to max digits at p; the next character must not be a digit.
  auto digits = [&](const std::string& t, size_t& p, size_t min, size_t max, int& v) {
    size_t n = 0;
    v = 0;
    while (p < t.size() && digit(t[p]) && n < max) {
      v = v * 10 + (t[p] - '0');
      ++p;
      ++n;
    }
    return n >= min && (p >= t.size() || !digit(t[p]));
  };
  static const char* const months[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                       "jul", "aug", "sep", "oct", "nov", "dec"};
  bool haveTime = false, haveDay = false, haveMonth = false, haveYear = false;
  int hour = 0, minute = 0, second = 0, day = 0, month = 0, year = 0;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && delimiter(static_cast<unsigned char>(text[i]))) ++i;
    size_t end = i;
    while (end < text.size() && !delimiter(static_cast<unsigned char>(text[end]))) ++end;
    if (end == i) break;
    const std::string tok = text.substr(i, end - i);
    i = end;
    size_t p = 0;
    int h, m, s;
    if (!haveTime && digits(tok, p, 1, 2, h) && p < tok.size() && tok[p] == ':' &&
        digits(tok, ++p, 1, 2, m) && p < tok.size() && tok[p] == ':' && digits(tok, ++p, 1, 2, s)) {
      haveTime = true;
      hour = h;
      minute = m;
      second = s;
      continue;
    }
    p = 0;
    int v;
    if (!haveDay && digits(tok, p, 1, 2, v)) {
      haveDay = true;
      day = v;
      continue;
    }
    if (!haveMonth && tok.size() >= 3) {
      const std::string m3 = LowerCaseAscii(tok.substr(0, 3));
      bool found = false;
      for (int k = 0; k < 12; ++k)
        if (m3 == months[k]) {
          month = k + 1;
          found = true;
        }
      if (found) {
        haveMonth = true;
        continue;
      }
    }
    p = 0;
    if (!haveYear && digits(tok, p, 2, 4, v)) {
      haveYear = true;
      year = v;
      continue;
    }
  }
  if (!(haveTime && haveDay && haveMonth && haveYear)) return false;
  if (year >= 70 && year <= 99) year += 1900;
  if (year >= 0 && year <= 69) year += 2000;
  if (day < 1 || day > 31 || year < 1601 || hour > 23 || minute > 59 || second > 59) return false;
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  out = timegm(&tm);
  return true;
}

int TCookieList::Count() const {
  Guard g(CookieListLock);
  return static_cast<int>(Items.size());
}

TCookieItem TCookieList::GetItem(int index) const {
  Guard g(CookieListLock);
  if (index < 0 || index >= static_cast<int>(Items.size())) return {};
  return Items[index];
}

void TCookieList::DeleteItem(int index) {
  Guard g(CookieListLock);
  if (index < 0 || index >= static_cast<int>(Items.size())) return;
  Items.erase(Items.begin() + index);
}

void TCookieList::ClearItems() {
  Guard g(CookieListLock);
  Items.clear();
}

int TCookieList::SearchDomain(const std::string& domain) const {
  return SearchSorted(static_cast<int>(Items.size()),
                      [&](int i) { return Items[i].Domain.compare(domain); });
}

int TCookieList::LockedSearchDomain(const std::string& domain) const {
  Guard g(CookieListLock);
  return SearchDomain(domain);
}

int TCookieList::Search(const std::string& domain, const std::string& path,
                        const std::string& nameValue, const std::string& exactDomain) const {
  const std::string name = CookieName(nameValue);
  return SearchSorted(static_cast<int>(Items.size()),
                      [&](int i) { return CompareKey(Items[i], domain, path, name, exactDomain); });
}

int TCookieList::LockedSearch(const std::string& domain, const std::string& path,
                              const std::string& nameValue, const std::string& exactDomain) const {
  Guard g(CookieListLock);
  return Search(domain, path, nameValue, exactDomain);
}

void TCookieList::MakeRoom(const std::string& domain) {
  const int found = SearchDomain(domain);
  if (found < 0) return;
  int lo = found, hi = found + 1;
  while (lo > 0 && Items[lo - 1].Domain == domain) --lo;
  while (hi < static_cast<int>(Items.size()) && Items[hi].Domain == domain) ++hi;
  if (hi - lo < kMaxCookiesPerDomain) return;
  const std::time_t now = std::time(nullptr);
  for (int i = hi - 1; i >= lo; --i)
    if (Expired(Items[i], now)) {
      Items.erase(Items.begin() + i);
      --hi;
    }
  while (hi - lo >= kMaxCookiesPerDomain) {
    int oldest = lo;
    for (int i = lo + 1; i < hi; ++i)
      if (Items[i].Created < Items[oldest].Created) oldest = i;
    Items.erase(Items.begin() + oldest);
    --hi;
  }
}

int TCookieList::InsertOrReplace(const TCookieItem& cookie, bool append) {
  TCookieItem c = cookie;
  if (c.ExactDomain.empty()) c.ExactDomain = LowerCaseAscii(c.Domain);
  if (CookieBytes(c) > kMaxCookieBytes) return -1;
  Guard g(CookieListLock);
  if (!append) {
    const int i = Search(c.Domain, c.Path, c.NameValue, c.ExactDomain);
    if (i >= 0) {
      c.Created = Items[i].Created;
      Items[i].Assign(c);
      return i;
    }
  }
  c.Created = ++LastCreated;
  MakeRoom(c.Domain);
  if (append) {
    Items.push_back(std::move(c));
    return static_cast<int>(Items.size()) - 1;
  }
  const int i = ~Search(c.Domain, c.Path, c.NameValue, c.ExactDomain);
  Items.insert(Items.begin() + i, std::move(c));
  return i;
}

int TCookieList::ParseSetCookie(const std::string& value, const std::string& requestURL) {
  TCookieItem c;
  const size_t semi = value.find(';');
  c.NameValue = value.substr(0, semi);
  // Attributes only follow the first ";": a cookie named "path" is no path.
  const std::string attrs = semi == std::string::npos ? "" : value.substr(semi + 1);
  c.Expires = Trim(GetParamValue(attrs, "expires"));

  const TURLParts req = ParseURL(requestURL);
  const std::string host = LowerCaseAscii(HostOf(req.NetLoc));
  std::string domain = LowerCaseAscii(Trim(GetParamValue(attrs, "domain")));
  while (!domain.empty() && domain[0] == '.') domain.erase(0, 1);
  if (!domain.empty()) {
    if (!DomainAcceptable(host, domain)) return -1;
    c.ExactDomain = domain;
    // A public suffix may name only the host itself, and then only for it
    // (RFC 6265 section 5.3, step 5).
    c.HostOnly = IsPublicSuffix(domain);
  } else {
    c.ExactDomain = host;
    c.HostOnly = true;
  }
  c.Domain = CookieDomainOf(c.ExactDomain);

  const std::string path = Trim(GetParamValue(attrs, "path"));
  if (path.empty()) {
    c.Path = DefaultPath(req.Path);
  } else {
    c.Path = ParseURL(ResolveURL(requestURL, path)).Path;
    if (c.Path.empty()) c.Path = "/";
  }
  c.Secure = !GetParamValue(attrs, "secure").empty();

  if (Trim(c.NameValue).empty() || c.Domain.empty()) return -1;

  // Max-Age wins over Expires (RFC 6265 section 5.3, step 3). A cookie that is
  // already out of date is the server's way of deleting it.
  const std::time_t now = std::time(nullptr);
  bool expired = false;
  long long maxAge = 0;
  if (ParseMaxAge(Trim(GetParamValue(attrs, "max-age")), maxAge)) {
    expired = maxAge <= 0;
    if (!expired) c.ExpiresAt = now + static_cast<std::time_t>(maxAge);
  } else {
    std::time_t when;
    if (ParseCookieDate(c.Expires, when)) {
      expired = when <= now;
      c.ExpiresAt = when;
    }
  }

  Guard g(CookieListLock);
  if (expired) {
    const int i = Search(c.Domain, c.Path, c.NameValue, c.ExactDomain);
    if (i >= 0) Items.erase(Items.begin() + i);
    return -1;
  }
  return InsertOrReplace(c, false);
}

int TCookieList::AddSetCookies(const std::vector<std::string>& headerLines,
                               const std::string& requestURL) {
  static const std::string kName = "set-cookie";
  int last = -1;
  for (const std::string& line : headerLines) {
    const size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    if (!EqualsIC(Trim(line.substr(0, colon)), kName)) continue;
    const int i = ParseSetCookie(line.substr(colon + 1), requestURL);
    if (i >= 0) last = i;
  }
  return last;
}

std::string TCookieList::CookieHeader(const std::string& url) const {
  const TURLParts u = ParseURL(url);
  const std::string host = LowerCaseAscii(HostOf(u.NetLoc));
  if (host.empty()) return "";
  const std::string path = u.Path.empty() ? "/" : u.Path;
  const bool https = HasURLScheme(url, "https:");
  const std::time_t now = std::time(nullptr);
  static constexpr size_t kMaxValue = kMaxCookieLine - std::char_traits<char>::length("Cookie: ");

  Guard g(CookieListLock);
  std::vector<const TCookieItem*> matches;
  const int n = static_cast<int>(Items.size());
  for (const std::string& tail : TailsToSearch(host)) {
    int i = SearchDomain(tail);
    if (i < 0) continue;
    while (i > 0 && Items[i - 1].Domain == tail) --i;
    for (; i < n && Items[i].Domain == tail; ++i) {
      const TCookieItem& c = Items[i];
      if (c.Secure && !https) continue;
      if (Expired(c, now)) continue;
      if (c.HostOnly ? host != c.ExactDomain : !DomainMatches(host, c.ExactDomain)) continue;
      if (!PathMatches(c.Path, path)) continue;
      matches.push_back(&c);
    }
  }
  // Descending, so that longer paths, which sort after their prefixes, go first.
  auto key = [](const TCookieItem* c) {
    return std::make_tuple(c->Path, CookieName(c->NameValue), c->ExactDomain);
  };
  std::sort(matches.begin(), matches.end(),
            [&](const TCookieItem* a, const TCookieItem* b) { return key(b) < key(a); });
  std::string result;
  for (const TCookieItem* c : matches) {
    const size_t sep = !result.empty() && !c->NameValue.empty() ? 1 : 0;
    if (result.size() + sep + c->NameValue.size() > kMaxValue) continue;
    if (sep) result += ';';
    result += c->NameValue;
  }
  return result;
}

bool TCookieList::ImportCookieFile(const std::string& fileName) {
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(fileName, ec);
  if (ec || size > kMaxCookieFileSize) return false;
  std::ifstream in(fileName, std::ios::binary);
  if (!in) return false;
  std::string text(static_cast<size_t>(size), '\0');
  in.read(text.data(), static_cast<std::streamsize>(size));
  if (in.gcount() != static_cast<std::streamsize>(size)) return false;
  ImportCookieRecords(text);
  return true;
}

void TCookieList::ImportCookieRecords(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) end = text.size();
    if (end > start) lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }

  const std::time_t now = std::time(nullptr);
  size_t i = 0;
  while (i + 2 < lines.size()) {
    TCookieItem c;
    c.NameValue = lines[i] + "=" + lines[i + 1];
    std::string where = lines[i + 2];
    if (where.rfind("//", 0) != 0) where.insert(0, "//");
    const TURLParts p = ParseURL(where);
    c.ExactDomain = LowerCaseAscii(HostOf(p.NetLoc));
    while (!c.ExactDomain.empty() && c.ExactDomain[0] == '.') c.ExactDomain.erase(0, 1);
    c.Domain = CookieDomainOf(c.ExactDomain);
    c.Path = p.Path.empty() ? "/" : p.Path;
    i += 3;
    // The fields after the host line, up to the "*" line that ends the record.
    std::vector<std::string> more;
    while (i < lines.size() && lines[i][0] != '*') more.push_back(lines[i++]);
    ++i;  // past the "*" line
    if (!more.empty()) {
      const std::string flags = Trim(more[0]);
      c.Secure = !flags.empty() && flags.size() <= 10 &&
                 flags.find_first_not_of("0123456789") == std::string::npos &&
                 (flags.back() - '0') % 2 == 1;
    }
    if (more.size() >= 3 && ParseFileTime(more[1], more[2], c.ExpiresAt)) {
      if (c.ExpiresAt <= now) continue;
      c.Expires = HttpDate(c.ExpiresAt);
    }
    if (!Trim(c.NameValue).empty() && !c.Domain.empty()) InsertOrReplace(c, false);
  }
}

void TCookieList::ImportBrowserCookies() {
  const std::string folder = ProgramFolder();
  if (!folder.empty()) ImportBrowserCookies(folder);
}

void TCookieList::ImportBrowserCookies(const std::string& programFolder) {
  ImportBrowserCookies(programFolder, AccountName());
}

void TCookieList::ImportBrowserCookies(const std::string& programFolder,
                                       const std::string& userName) {
  const std::filesystem::path root(programFolder);
  std::vector<std::string> files = MatchingFiles(root / "Cookies", "anyuser@");
  if (!userName.empty()) {
    for (const auto& f : MatchingFiles(root / "Cookies", userName + "@")) files.push_back(f);
    for (const auto& f : MatchingFiles(root / "Profiles" / "Cookies", userName + "@"))
      files.push_back(f);
  }
  for (const std::string& f : files) ImportCookieFile(f);
}

}  // namespace qv
