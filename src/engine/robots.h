#pragma once

// The robots exclusion rules learned during a run (RFC 9309 robots.txt files
// and robots meta tags). One store lives for the whole run and is shared by
// every worker thread; it only grows, across jobs, except that a site's
// robots.txt read again replaces what the site's last one said.
//
// Thread safety: every method may be called from any thread at any time. Each
// list has its own lock (readers share it, writers take it alone); no method
// holds one list's lock while taking another's, and none takes any other lock,
// so a caller holding the job lock may call any of them.
//
// The robots window shows each site's rules, the sites kept out whole and
// why, and the pages whose links were not followed.

#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <vector>

#include "engine/robotsrules.h"

namespace qv {

// Why a site whose robots.txt could not be read is kept out.
extern const char* const kRobotsUnreachable;  // "robots.txt unreachable"

// Whether a robots.txt fetch that did not bring the file, with the answer's
// status code (0: no answer), leaves its site kept out whole. RFC 9309
// section 2.3.1: a 4xx says there is no file, and every URL is allowed (a
// redirect, not followed, counts the same); a 5xx, no answer, or an answer
// cut short leaves the rules unknown, and nothing may be fetched.
bool RobotsTxtUnreachable(int32_t code);

class TRobotsStore {
 public:
  // Has the robots.txt of site (scheme and network location, as URLSite gives
  // it) been fetched? Letter case is ignored, as in every list here.
  bool HasSite(std::string_view site) const;
  void AddSite(std::string_view site);

  // Takes the rules of a robots.txt text of site that apply to agent (the
  // User-Agent text the program sends) as the site's rules (RobotsRulesFor).
  void ParseRobotsTxt(std::string_view site, std::string_view text, std::string_view agent);

  // The site's robots.txt could not be read: every URL of the site but its
  // robots.txt is disallowed, for reason (kRobotsUnreachable and what
  // became of the fetch).
  void KeepOutSite(std::string_view site, std::string_view reason);

  // Is url (trimmed) disallowed by its site's rules? Sites compare ignoring
  // letter case, paths exactly (RFC 9309 section 2.2.2). A site's
  // "/robots.txt" is always allowed. When reason is given it gets why a
  // site kept out whole is ("" for a rule's verdict).
  bool IsDisallowed(std::string_view url, std::string* reason = nullptr) const;

  // Records a page whose robots meta tag said "nofollow" or "none".
  void AddNoFollow(std::string_view url);

  // Copies of the lists in their order (letter case ignored), for the window.
  std::vector<std::string> KnownSitesSnapshot() const;
  // One line per rule of every site: the URL its path makes, followed by
  // " - allowed" for an Allow rule; a site kept out whole is its root URL
  // followed by " - " and its reason.
  std::vector<std::string> ExclusionsSnapshot() const;
  std::vector<std::string> NoFollowSnapshot() const;

 private:
  // Orders texts ignoring ASCII letter case, byte values otherwise.
  struct TLessIC {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const;
  };
  using TTextSet = std::set<std::string, TLessIC>;
  struct TSiteRules {
    std::vector<TRobotsRule> Rules;  // in rank order
    std::string KeptOut;             // not empty: every URL disallowed, and why
  };
  // What the site's robots.txt said, in place of what its last one did.
  void SetSiteRules(std::string_view site, TSiteRules rules);

  // Sites whose robots.txt has been fetched.
  TTextSet KnownSites;
  // What each site's robots.txt said, by site.
  std::map<std::string, TSiteRules, TLessIC> SiteRules;
  // Pages whose links were not followed because of their robots meta tag.
  TTextSet NoFollowPages;
  mutable std::shared_mutex KnownSitesLock;
  mutable std::shared_mutex DisallowedLock;
  mutable std::shared_mutex NoFollowLock;
};

}  // namespace qv
