#include "engine/robotsrules.h"

#include <algorithm>

#include "engine/scantext.h"
#include "model/strutils.h"
#include "model/uriparser.h"
#include "platform/asciicase.h"

namespace qv {

namespace {

constexpr std::size_t npos = std::string_view::npos;

bool IsBlankOrTab(char c) { return c == ' ' || c == '\t'; }

bool IsFieldChar(char c) { return scan::IsLetter(c) || c == '-' || c == '_'; }

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

int HexValue(char c) {
  if (c <= '9') return c - '0';
  return (UpperAscii(c) - 'A') + 10;
}

bool IsUnreserved(unsigned char c) {
  return (c >= '0' && c <= '9') || scan::IsLetter(static_cast<char>(c)) || c == '-' || c == '.' ||
         c == '_' || c == '~';
}

void AppendEncoded(std::string& out, unsigned char c) {
  static const char kDigits[] = "0123456789ABCDEF";
  out += '%';
  out += kDigits[c >> 4];
  out += kDigits[c & 15];
}

// The product name of an agent text or of a User-agent line's value: what
// comes before its version, comment or next product ("Quendravilos" of
// "Quendravilos/1.32").
std::string_view ProductName(std::string_view text) {
  text = scan::Trimmed(text);
  return text.substr(0, std::min(text.find_first_of("/ \t(;"), text.size()));
}

bool NamesAgent(std::string_view value, std::string_view agent) {
  if (agent.empty()) return false;
  const std::string_view name = ProductName(value);
  if (!name.empty() && EqualsIC(name, ProductName(agent))) return true;
  return CompareStrippedIC(value, agent, " \t-") == 0;
}

// The rule's path from a line's value, as compared; "" when the rule adds
// nothing (no path, or a URL of another site).
std::string PatternOf(std::string_view site, std::string_view value) {
  std::string path(value);
  path.erase(std::remove_if(path.begin(), path.end(), IsBlankOrTab), path.end());
  if (path.empty()) return "";
  if (path.compare(0, 2, "//") == 0 || !ParseURL(path).Scheme.empty()) {
    // A full URL: a site's rules cover that site only, or one site could
    // keep the program away from another.
    const std::string url = ResolveURL(site, path);
    const std::string urlSite = URLSite(url);
    if (!EqualsIC(urlSite, URLSite(site))) return "";
    path = url.substr(urlSite.size());
  }
  // A path written without its leading "/" is taken from the site's root.
  if (path.empty() || (path[0] != '/' && path[0] != '*')) path.insert(0, 1, '/');
  return RobotsComparable(path, true);
}

TRobotsRule MakeRule(std::string pattern, bool allow) {
  TRobotsRule r;
  r.Allow = allow;
  r.Length = pattern.size();
  // "a**b" matches what "a*b" does: folded, no run of stars costs a step
  // per star on every test.
  pattern.erase(std::unique(pattern.begin(), pattern.end(),
                            [](char a, char b) { return a == '*' && b == '*'; }),
                pattern.end());
  r.Least = static_cast<std::size_t>(
      std::count_if(pattern.begin(), pattern.end(), [](char c) { return c != '*'; }));
  if (!pattern.empty() && pattern.back() == '$') --r.Least;
  r.Pattern = std::move(pattern);
  return r;
}

// Where needle first occurs in text at or after from; npos when nowhere. A
// long needle is found by Knuth-Morris-Pratt, so the time is linear in the
// text and the needle whatever both hold.
std::size_t FindLinear(std::string_view text, std::string_view needle, std::size_t from) {
  if (needle.size() > text.size() - from) return npos;
  if (needle.size() <= 16) return text.find(needle, from);
  std::vector<std::size_t> fail(needle.size(), 0);
  for (std::size_t i = 1, k = 0; i < needle.size(); ++i) {
    while (k > 0 && needle[i] != needle[k]) k = fail[k - 1];
    if (needle[i] == needle[k]) ++k;
    fail[i] = k;
  }
  for (std::size_t i = from, k = 0; i < text.size(); ++i) {
    while (k > 0 && text[i] != needle[k]) k = fail[k - 1];
    if (text[i] == needle[k]) ++k;
    if (k == needle.size()) return i + 1 - k;
  }
  return npos;
}

}  // namespace

std::string RobotsComparable(std::string_view text, bool pattern) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '%') {
      if (i + 2 < text.size() && IsHexDigit(text[i + 1]) && IsHexDigit(text[i + 2])) {
        const auto v =
            static_cast<unsigned char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
        if (IsUnreserved(v))
          out += static_cast<char>(v);
        else
          AppendEncoded(out, v);
        i += 2;
      } else {
        AppendEncoded(out, c);
      }
    } else if (c <= ' ' || c >= 0x7F || (!pattern && (c == '*' || c == '$')) ||
               (pattern && c == '$' && i + 1 != text.size())) {
      AppendEncoded(out, c);
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

bool RobotsPatternMatches(std::string_view pattern, std::string_view path) {
  const bool anchored = !pattern.empty() && pattern.back() == '$';
  if (anchored) pattern.remove_suffix(1);
  const std::size_t star = pattern.find('*');
  if (star == npos) return anchored ? path == pattern : path.substr(0, pattern.size()) == pattern;
  const std::string_view head = pattern.substr(0, star);
  if (path.substr(0, head.size()) != head) return false;
  std::string_view middle = pattern.substr(star + 1);
  std::size_t end = path.size();
  if (anchored) {
    // The part after the last "*" ends the path; the parts between are
    // found in what lies before it.
    const std::size_t last = middle.rfind('*');
    const std::string_view tail = last == npos ? middle : middle.substr(last + 1);
    if (tail.size() > path.size() - head.size()) return false;
    if (path.substr(path.size() - tail.size()) != tail) return false;
    end = path.size() - tail.size();
    middle = last == npos ? std::string_view() : middle.substr(0, last);
  }
  // Each part at its first place after the one before: taking the earliest
  // place never loses a match, so nothing is tried twice.
  const std::string_view text = path.substr(0, end);
  std::size_t pos = head.size();
  while (!middle.empty()) {
    const std::size_t next = middle.find('*');
    const std::string_view part = middle.substr(0, next);
    middle = next == npos ? std::string_view() : middle.substr(next + 1);
    const std::size_t at = FindLinear(text, part, pos);
    if (at == npos) return false;
    pos = at + part.size();
  }
  return true;
}

bool RobotsPathAllowed(const std::vector<TRobotsRule>& rules, std::string_view path) {
  // In rank order the first rule that matches decides.
  for (const TRobotsRule& r : rules)
    if (r.Least <= path.size() && RobotsPatternMatches(r.Pattern, path)) return r.Allow;
  return true;
}

std::vector<TRobotsRule> RobotsRulesFor(std::string_view site, std::string_view text,
                                        std::string_view agent) {
  // A byte order mark before the first line would hide its field name.
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  if (text.size() > kRobotsTxtLimit) {
    // A line the limit cuts would be a shorter rule than the one written,
    // matching paths the file never named: it is dropped.
    text = text.substr(0, kRobotsTxtLimit);
    text = text.substr(0, text.find_last_of("\r\n") + 1);
  }
  std::vector<TRobotsRule> named, anyone;
  bool namedGroup = false;  // some group names the agent, rules or none
  bool inGroup = false, groupHasRules = false, forAgent = false, forAnyone = false;
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t e = text.find_first_of("\r\n", i);
    if (e == npos) e = text.size();
    std::string_view line = text.substr(i, e - i);
    i = e + 1;
    line = scan::Trimmed(line.substr(0, std::min(line.find('#'), line.size())));
    std::size_t k = 0;
    while (k < line.size() && IsFieldChar(line[k])) ++k;
    const std::string_view field = line.substr(0, k);
    std::size_t v = k;
    while (v < line.size() && (IsBlankOrTab(line[v]) || line[v] == ':')) ++v;
    const std::string_view value = line.substr(v);
    if (EqualsIC(field, "user-agent")) {
      // User-agent lines after a rule begin the next group.
      if (!inGroup || groupHasRules) {
        inGroup = true;
        groupHasRules = false;
        forAgent = forAnyone = false;
      }
      if (value == "*") {
        forAnyone = true;
      } else if (NamesAgent(value, agent)) {
        forAgent = true;
        namedGroup = true;
      }
      continue;
    }
    const bool allow = EqualsIC(field, "allow");
    if (!allow && !EqualsIC(field, "disallow")) continue;
    // Rules before the first User-agent line belong to no group.
    if (!inGroup) continue;
    groupHasRules = true;
    if (!forAgent && !forAnyone) continue;
    std::string pattern = PatternOf(site, value);
    if (pattern.empty()) continue;
    if (forAgent) named.push_back(MakeRule(pattern, allow));
    if (forAnyone) anyone.push_back(MakeRule(std::move(pattern), allow));
  }
  std::vector<TRobotsRule> rules = namedGroup ? std::move(named) : std::move(anyone);
  // Longest first, and Allow before Disallow at the same length: then the
  // first rule that matches a path is the one that decides.
  auto rank = [](const TRobotsRule& a, const TRobotsRule& b) {
    if (a.Length != b.Length) return a.Length > b.Length;
    if (a.Allow != b.Allow) return a.Allow;
    return a.Pattern < b.Pattern;
  };
  std::sort(rules.begin(), rules.end(), rank);
  rules.erase(std::unique(rules.begin(), rules.end(),
                          [](const TRobotsRule& a, const TRobotsRule& b) {
                            return a.Allow == b.Allow && a.Pattern == b.Pattern &&
                                   a.Length == b.Length;
                          }),
              rules.end());
  return rules;
}

}  // namespace qv
