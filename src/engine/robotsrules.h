#pragma once

// robots.txt read as RFC 9309 reads it: the groups that apply to an agent,
// their Allow and Disallow rules, and the test of a URL's path against them
// (the longest matching rule decides; Allow wins a tie). Pure functions over
// bytes, safe on any thread.
//
// Every cost is bounded whatever the file holds: only its first 500 KiB are
// read, and a path is tested against a rule in time linear in the path
// (patterns with "*" never backtrack).

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

struct TRobotsRule {
  // The rule's path in the form compared (RobotsComparable), runs of "*"
  // folded into one; a final "$" anchors it at the end of the path.
  std::string Pattern;
  // Octets of the path as the file wrote it (after the encoding is made
  // even): the longest match is the one with most (RFC 9309 section 2.2.2).
  std::size_t Length = 0;
  // The least length of a path the rule can match: its octets other than
  // "*" and the final "$".
  std::size_t Least = 0;
  bool Allow = false;
};

// RFC 9309 section 2.5 lets a crawler stop reading a robots.txt here.
constexpr std::size_t kRobotsTxtLimit = 500 * 1024;

// The rules of the robots.txt text of site (scheme and network location)
// that apply to agent (the User-Agent text the program sends): those of every
// group whose User-agent lines name agent's product token (its name before
// "/", case ignored) or the whole agent text (case, blanks, tabs and "-"
// ignored); when no group names it, those of every "*" group. A group names
// its agents, then its rules; other lines (Sitemap, Crawl-delay, comments,
// empty lines) neither end a group nor add to it. A rule's path that is a
// URL of site is taken as its path; one of another site is dropped.
// Duplicates removed; ordered by rank, the rule that decides first.
std::vector<TRobotsRule> RobotsRulesFor(std::string_view site, std::string_view text,
                                        std::string_view agent);

// Whether rules (as RobotsRulesFor orders them) allow path: a URL's path and
// query, beginning with "/", without its fragment. No matching rule allows.
bool RobotsPathAllowed(const std::vector<TRobotsRule>& rules, std::string_view path);

// Does pattern (a TRobotsRule's) match the beginning of path (comparable)?
bool RobotsPatternMatches(std::string_view pattern, std::string_view path);

// Octets as RFC 9309 section 2.2.2 compares them, so that equal URLs written
// differently compare equal: a percent-encoded unreserved character (RFC 3986
// section 2.3) is decoded, any other percent-encoding written with upper-case
// digits; octets outside printable ASCII and a "%" not starting an encoding
// are encoded. In a pattern "*" and a final "$" stay special and any other
// "$" is taken literally; in a URL's path "*" and "$" are encoded, so only a
// pattern's "%2A" or "%24" (or literal "$") meets them.
std::string RobotsComparable(std::string_view text, bool pattern);

}  // namespace qv
