#pragma once
// The cookies of one job, kept in memory: those servers set in their responses
// and those imported from the browser's cookie files at the job's start.
// Cookies are matched as RFC 6265 describes for domains (a domain attribute
// must cover the request's host and not be a public suffix), paths and the
// secure flag; they are grouped under the domain tail of BaseDomain.

#include <cstdint>
#include <ctime>
#include <mutex>
#include <string>
#include <vector>

namespace qv {

// Serialises every access to every TCookieList; recursive so that nested calls
// of one thread re-enter it.
extern std::recursive_mutex CookieListLock;

struct TCookieItem {
  std::string NameValue;  // as sent back: the Set-Cookie value before its first ";"
  std::string Expires;    // the "expires" attribute, trimmed; kept for show
  std::string Domain;     // the domain tail the cookie belongs to
  std::string Path;       // the path the cookie belongs to
  bool Secure = false;

  void Assign(const TCookieItem& other) { *this = other; }
};

// The cookie's name: NameValue before its first "=", without surrounding blanks.
std::string CookieName(const std::string& nameValue);

// Parses an RFC 6265 cookie date ("Wed, 09 Jun 2021 10:18:14 GMT" and the
// looser forms servers send). False when the text holds no valid date.
bool ParseCookieDate(const std::string& text, std::time_t& out);

// Items sorted by Domain, then Path, then name, each compared byte-exact; one
// item per such key.
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
  int Search(const std::string& domain, const std::string& path,
             const std::string& nameValue) const;
  int LockedSearch(const std::string& domain, const std::string& path,
                   const std::string& nameValue) const;
  // append: a copy goes to the end unsearched (the caller keeps the order).
  // Otherwise replaces the item of the same key or is inserted at its place.
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
  // Secure cookies go only with https URLs.
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
  // The records of a cookie file's text.
  void ImportCookieRecords(const std::string& text);

 private:
  std::vector<TCookieItem> Items;
};

}  // namespace qv
