#include "engine/robots.h"

#include <algorithm>
#include <mutex>

#include "engine/scantext.h"
#include "model/strutils.h"
#include "model/uriparser.h"

namespace qv {

namespace {

// RFC 9309 section 2.5 lets a crawler stop reading a robots.txt after 500 KiB;
// beyond that a hostile file could only grow the shared list without bound.
constexpr std::size_t kRobotsTxtLimit = 500 * 1024;

bool IsBlankOrTab(char c) { return c == ' ' || c == '\t'; }

// A line cut at its first "#", without leading blanks and tabs.
std::string_view Significant(std::string_view line) {
  std::size_t hash = line.find('#');
  if (hash != std::string_view::npos) line = line.substr(0, hash);
  std::size_t i = 0;
  while (i < line.size() && IsBlankOrTab(line[i])) ++i;
  return line.substr(i);
}

bool StartsWithFieldIC(std::string_view line, std::string_view field) {
  return line.size() >= field.size() && scan::EqualsIC(line.substr(0, field.size()), field);
}

std::string_view SkipSeparators(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && (IsBlankOrTab(s[i]) || s[i] == ':')) ++i;
  return s.substr(i);
}

std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t e = text.find_first_of("\r\n", i);
    if (e == std::string_view::npos) e = text.size();
    if (e > i) lines.push_back(text.substr(i, e - i));
    i = e + 1;
  }
  return lines;
}

template <class Set>
std::vector<std::string> Copy(const Set& set, std::shared_mutex& lock) {
  std::shared_lock guard(lock);
  return std::vector<std::string>(set.begin(), set.end());
}

}  // namespace

bool TRobotsStore::TLessIC::operator()(std::string_view a, std::string_view b) const {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    unsigned char x = scan::Upper(a[i]);
    unsigned char y = scan::Upper(b[i]);
    if (x != y) return x < y;
  }
  return a.size() < b.size();
}

bool TRobotsStore::HasSite(std::string_view site) const {
  std::shared_lock guard(KnownSitesLock);
  return KnownSites.find(site) != KnownSites.end();
}

void TRobotsStore::AddSite(std::string_view site) {
  std::unique_lock guard(KnownSitesLock);
  KnownSites.emplace(site);
}

void TRobotsStore::AddNoFollow(std::string_view url) {
  std::unique_lock guard(NoFollowLock);
  NoFollowPages.emplace(url);
}

bool TRobotsStore::ParseRobotsRecord(std::string_view site, std::string_view agent,
                                     const std::vector<std::string_view>& lines,
                                     std::size_t& index) {
  bool applies = false;
  // User-agent lines; comment lines between them belong to the record.
  while (index < lines.size()) {
    std::string_view line = Significant(lines[index]);
    if (!line.empty()) {
      if (!StartsWithFieldIC(line, "User-agent")) break;
      std::string_view name = SkipSeparators(line.substr(10));
      if (CompareStrippedIC(name, agent, " \t-") == 0) applies = true;
    }
    ++index;
  }
  // Disallow lines, until the next User-agent line. Lines of fields this
  // program does not use (Allow, Crawl-delay, Sitemap, ...) and comments are
  // passed over rather than ending the record, so the Disallow lines after
  // them still belong to it.
  const std::string ownSite = URLSite(site);
  while (index < lines.size()) {
    std::string_view line = Significant(lines[index]);
    if (StartsWithFieldIC(line, "User-agent")) break;
    ++index;
    if (!StartsWithFieldIC(line, "Disallow")) continue;
    if (!applies) continue;
    std::string path(SkipSeparators(line.substr(8)));
    path.erase(std::remove_if(path.begin(), path.end(), IsBlankOrTab), path.end());
    if (path.empty()) continue;
    std::string prefix = ResolveURL(site, path);
    // A site's rules cover that site only; a full URL naming another site
    // would let one site keep the program away from another.
    if (!scan::EqualsIC(URLSite(prefix), ownSite)) continue;
    std::unique_lock guard(DisallowedLock);
    DisallowedURLs.insert(std::move(prefix));
  }
  return applies;
}

void TRobotsStore::ParseRobotsTxt(std::string_view site, std::string_view text,
                                  std::string_view agent) {
  const std::vector<std::string_view> lines = SplitLines(text.substr(0, kRobotsTxtLimit));
  for (std::string_view who : {agent, std::string_view("*")}) {
    std::size_t index = 0;
    while (index < lines.size())
      if (ParseRobotsRecord(site, who, lines, index)) return;
  }
}

bool TRobotsStore::IsDisallowed(std::string_view url) const {
  url = scan::Trimmed(url);
  std::shared_lock guard(DisallowedLock);
  if (DisallowedURLs.empty()) return false;
  for (std::size_t k = 1; k <= url.size(); ++k)
    if (DisallowedURLs.find(url.substr(0, k)) != DisallowedURLs.end()) return true;
  return false;
}

std::vector<std::string> TRobotsStore::KnownSitesSnapshot() const {
  return Copy(KnownSites, KnownSitesLock);
}

std::vector<std::string> TRobotsStore::DisallowedSnapshot() const {
  return Copy(DisallowedURLs, DisallowedLock);
}

std::vector<std::string> TRobotsStore::NoFollowSnapshot() const {
  return Copy(NoFollowPages, NoFollowLock);
}

}  // namespace qv
