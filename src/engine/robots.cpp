#include "engine/robots.h"

#include <algorithm>
#include <mutex>

#include "engine/scantext.h"
#include "model/uriparser.h"
#include "platform/asciicase.h"

namespace qv {

const char* const kRobotsUnreachable = "robots.txt unreachable";

namespace {

template <class Set>
std::vector<std::string> Copy(const Set& set, std::shared_mutex& lock) {
  std::shared_lock guard(lock);
  return std::vector<std::string>(set.begin(), set.end());
}

}  // namespace

bool RobotsTxtUnreachable(int32_t code) { return code < 300 || code > 499; }

bool TRobotsStore::TLessIC::operator()(std::string_view a, std::string_view b) const {
  return CompareIC(a, b) < 0;
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

void TRobotsStore::ParseRobotsTxt(std::string_view site, std::string_view text,
                                  std::string_view agent) {
  // Parsed before the lock is taken: readers wait only for the swap.
  SetSiteRules(site, {RobotsRulesFor(site, text, agent), ""});
}

void TRobotsStore::KeepOutSite(std::string_view site, std::string_view reason) {
  SetSiteRules(site, {{}, std::string(reason)});
}

void TRobotsStore::SetSiteRules(std::string_view site, TSiteRules rules) {
  std::unique_lock guard(DisallowedLock);
  auto it = SiteRules.find(site);
  if (it == SiteRules.end())
    SiteRules.emplace(std::string(site), std::move(rules));
  else
    it->second = std::move(rules);
}

bool TRobotsStore::IsDisallowed(std::string_view url, std::string* reason) const {
  if (reason) reason->clear();
  url = scan::Trimmed(url);
  url = url.substr(0, std::min(url.find('#'), url.size()));
  const std::string site = URLSite(url);
  if (site.empty()) return false;
  std::string_view rest = url.substr(std::min(site.size(), url.size()));
  std::string path = RobotsComparable(rest, false);
  if (path.empty() || path[0] != '/') path.insert(0, 1, '/');
  // RFC 9309 section 2.2.2: the robots.txt itself is never kept out.
  if (path == "/robots.txt") return false;
  std::shared_lock guard(DisallowedLock);
  const auto it = SiteRules.find(site);
  if (it == SiteRules.end()) return false;
  if (!it->second.KeptOut.empty()) {
    if (reason) *reason = it->second.KeptOut;
    return true;
  }
  return !RobotsPathAllowed(it->second.Rules, path);
}

std::vector<std::string> TRobotsStore::KnownSitesSnapshot() const {
  return Copy(KnownSites, KnownSitesLock);
}

std::vector<std::string> TRobotsStore::ExclusionsSnapshot() const {
  TTextSet lines;
  {
    std::shared_lock guard(DisallowedLock);
    for (const auto& [site, rules] : SiteRules) {
      if (!rules.KeptOut.empty()) lines.insert(site + "/ - " + rules.KeptOut);
      for (const TRobotsRule& r : rules.Rules)
        lines.insert(site + (r.Pattern[0] == '/' ? "" : "/") + r.Pattern +
                     (r.Allow ? " - allowed" : ""));
    }
  }
  return std::vector<std::string>(lines.begin(), lines.end());
}

std::vector<std::string> TRobotsStore::NoFollowSnapshot() const {
  return Copy(NoFollowPages, NoFollowLock);
}

}  // namespace qv
