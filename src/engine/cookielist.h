#pragma once
// The cookies of one job, kept in memory: those servers set in their responses
// and those imported from the browser's cookie files at the job's start.
// Each cookie keeps the exact domain it was set for and whether it is
// host-only, and goes back only where RFC 6265 (section 5.1.3) domain-matching
// allows: a host-only cookie to the very host that set it, a cookie with a
// domain attribute to that domain and the hosts under it. A domain attribute
// must cover the request's host and not be a public suffix. Paths, the secure
// flag and the expiry are honoured too. Cookies are indexed under the domain
// tail of BaseDomain.
//
// The store is bounded against hostile servers: a cookie of more than
// kMaxCookieBytes is refused, a domain tail holds at most kMaxCookiesPerDomain
// cookies (the oldest goes to make room), and a "Cookie" line never exceeds
// kMaxCookieLine bytes.

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <mutex>
#include <string>
#include <vector>

namespace qv {

// Serialises every access to every TCookieList; recursive so that nested calls
// of one thread re-enter it.
extern std::recursive_mutex CookieListLock;

// Bytes a cookie may take: NameValue, Path, ExactDomain and Expires together.
constexpr std::size_t kMaxCookieBytes = 4096;
// Cookies one domain tail (TCookieItem::Domain) may hold.
constexpr int kMaxCookiesPerDomain = 50;
// Bytes of a whole "Cookie: " line without its CR LF.
constexpr std::size_t kMaxCookieLine = 8192;

struct TCookieItem {
  std::string NameValue;  // as sent back: the Set-Cookie value before its first ";"
  std::string Expires;    // the "expires" attribute, trimmed; kept for show
  std::string Domain;     // the index: the domain tail of ExactDomain (lower case)
  std::string Path;       // the path the cookie belongs to
  bool Secure = false;
  // The domain the cookie was set for, in lower case: the setting host for a
  // host-only cookie, else the domain attribute without its leading dots.
  std::string ExactDomain;
  bool HostOnly = false;      // goes back to ExactDomain itself only
  std::time_t ExpiresAt = 0;  // 0: kept until the job ends
  // The order in which the store first took the cookie (set by the store, kept
  // when a cookie is replaced); the smallest is the oldest.
  std::uint64_t Created = 0;

  void Assign(const TCookieItem& other) { *this = other; }
};

// The cookie's name: NameValue before its first "=", without surrounding blanks.
std::string CookieName(const std::string& nameValue);

// Parses an RFC 6265 cookie date ("Wed, 09 Jun 2021 10:18:14 GMT" and the
// looser forms servers send). False when the text holds no valid date.
bool ParseCookieDate(const std::string& text, std::time_t& out);

// Items sorted by Domain, then Path, then name, then ExactDomain, each compared
// byte-exact; one item per such key.
class TCookieList {
 public:
  TCookieList() = default;
  TCookieList(const TCookieList&) = delete;
  TCookieList& operator=(const TCookieList&) = delete;

  int Count() const;
  // A copy of the item at index; an empty item when out of range.
  TCookieItem GetItem(int index) const;
  void DeleteItem(int index);
  void ClearItems();

  // Index of some item of domain, else the complement of its insertion point.
  // The unlocked forms are for callers that hold CookieListLock.
  int SearchDomain(const std::string& domain) const;
  int LockedSearchDomain(const std::string& domain) const;
  // The same over the whole key; only the name part of nameValue counts.
  int Search(const std::string& domain, const std::string& path, const std::string& nameValue,
             const std::string& exactDomain) const;
  int LockedSearch(const std::string& domain, const std::string& path, const std::string& nameValue,
                   const std::string& exactDomain) const;
  // append: a copy goes to the end unsearched (the caller keeps the order).
  // Otherwise replaces the item of the same key (keeping its Created) or is
  // inserted at its place. A new cookie whose domain tail is full first
  // removes the tail's expired cookies, then its oldest. A cookie without an
  // ExactDomain is taken as set for Domain (lower-cased). Returns the index,
  // or -1 when the cookie is larger than kMaxCookieBytes (nothing changes then).
  int InsertOrReplace(const TCookieItem& cookie, bool append);

  // value: the text after the colon of a "Set-Cookie" line. Returns the index
  // of the stored cookie, or -1 when nothing was stored: an empty name, a
  // domain attribute the request's host may not set, or an expired cookie
  // (which removes the cookie of the same key).
  int ParseSetCookie(const std::string& value, const std::string& requestURL);
  // Every "Set-Cookie" line (name in any case) of a list of "Name: value"
  // header lines; the index of the last cookie stored, or -1.
  int AddSetCookies(const std::vector<std::string>& headerLines, const std::string& requestURL);
  // The value for a "Cookie" request header; "" when no cookie applies.
  // Secure cookies go only with https URLs, expired ones never. Longer paths
  // go first. Cookies that would make "Cookie: " + value longer than
  // kMaxCookieLine are left out.
  std::string CookieHeader(const std::string& url) const;

  // Imports the browser's cookie files of the program folder (ProgramFolder()
  // unless given): Cookies/ with
  // "anyuser@*.txt" and "USER@*.txt", and Profiles/Cookies/ with "USER@*.txt",
  // USER being the system's account name unless given. A file that cannot be read is skipped.
  void ImportBrowserCookies();
  void ImportBrowserCookies(const std::string& programFolder);
  void ImportBrowserCookies(const std::string& programFolder, const std::string& userName);
  // One file of name/value/host-path records ended by a "*" line; false when
  // it could not be read (nothing of it is imported then).
  bool ImportCookieFile(const std::string& fileName);
  // The records of a cookie file's text: name, value, host and path, then
  // (when present) flags (bit 0: secure) and the expiry as the low and high
  // halves of a count of 100 ns since 1601. A cookie is set for its host and
  // the hosts under it; an expired one is not imported.
  void ImportCookieRecords(const std::string& text);

 private:
  // Makes room in the domain tail of a cookie about to be added; the caller
  // holds the lock.
  void MakeRoom(const std::string& domain);

  std::vector<TCookieItem> Items;
  std::uint64_t LastCreated = 0;
};

}  // namespace qv
