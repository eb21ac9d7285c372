#pragma once

// The robots exclusion rules learned during a run (RFC 9309 robots.txt files
// and robots meta tags). One store lives for the whole run and is shared by
// every worker thread; its three lists only grow, across jobs.
//
// Thread safety: every method may be called from any thread at any time. Each
// list has its own lock (readers share it, writers take it alone); no method
// holds one list's lock while taking another's, and none takes any other lock,
// so a caller holding the job lock may call any of them.
//
// The robots window shows copies of the disallowed prefixes and of the pages
// whose links were not followed.

#include <cstddef>
#include <set>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

class TRobotsStore {
 public:
  // Has the robots.txt of site (scheme and network location, as URLSite gives
  // it) been fetched? Letter case is ignored, as in every list here.
  bool HasSite(std::string_view site) const;
  void AddSite(std::string_view site);

  // Adds the Disallow rules of a robots.txt text of site that apply to agent
  // (the configured user agent; blanks, tabs and "-" are ignored when it is
  // compared): those of the first record naming agent, else those of the
  // first record for "*". Only the first 500 KiB of text are read.
  void ParseRobotsTxt(std::string_view site, std::string_view text, std::string_view agent);

  // Reads one record (its User-agent lines, then its Disallow lines) of the
  // robots.txt lines from index, moving index past it, and adds its Disallow
  // rules when it applies to agent. Returns whether it applies. Comment lines
  // and lines of other fields inside a record are passed over; a User-agent
  // line after a Disallow line begins the next record.
  bool ParseRobotsRecord(std::string_view site, std::string_view agent,
                         const std::vector<std::string_view>& lines, std::size_t& index);

  // Does url (trimmed) begin with a disallowed prefix, ignoring case?
  bool IsDisallowed(std::string_view url) const;

  // Records a page whose robots meta tag said "nofollow" or "none".
  void AddNoFollow(std::string_view url);

  // Copies of the lists in their order (letter case ignored), for the window.
  std::vector<std::string> KnownSitesSnapshot() const;
  std::vector<std::string> DisallowedSnapshot() const;
  std::vector<std::string> NoFollowSnapshot() const;

 private:
  // Orders texts ignoring ASCII letter case, byte values otherwise.
  struct TLessIC {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const;
  };
  using TTextSet = std::set<std::string, TLessIC>;
  // Sites whose robots.txt has been fetched.
  TTextSet KnownSites;
  // Absolute URL prefixes that may not be fetched.
  TTextSet DisallowedURLs;
  // Pages whose links were not followed because of their robots meta tag.
  TTextSet NoFollowPages;
  mutable std::shared_mutex KnownSitesLock;
  mutable std::shared_mutex DisallowedLock;
  mutable std::shared_mutex NoFollowLock;
};

}  // namespace qv
