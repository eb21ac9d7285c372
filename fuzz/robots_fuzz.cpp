// robots.txt texts from the network: any bytes parse, every rule kept
// belongs to the site the file came from, and every rule decides the paths
// it names unless a longer rule does.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/robots.h"
#include "engine/robotsrules.h"
#include "model/uriparser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  const std::vector<qv::TRobotsRule> rules =
      qv::RobotsRulesFor("http://h:8080", text, "Quendravilos/1.0");
  for (size_t i = 0; i < rules.size(); ++i) {
    const qv::TRobotsRule& r = rules[i];
    if (r.Pattern.empty() || r.Least > r.Length) std::abort();
    if (i > 0 && rules[i - 1].Length < r.Length) std::abort();
    // A plain path names itself: the first rule of the ranks that matches it
    // is this one or one ranked before it.
    if (r.Pattern.find('*') != std::string::npos || r.Pattern.back() == '$') continue;
    if (!qv::RobotsPatternMatches(r.Pattern, r.Pattern)) std::abort();
    bool decided = false;
    for (size_t j = 0; j <= i && !decided; ++j)
      decided = qv::RobotsPatternMatches(rules[j].Pattern, r.Pattern);
    if (!decided) std::abort();
  }
  qv::TRobotsStore store;
  store.ParseRobotsTxt("http://h:8080", text, "Quendravilos/1.0");
  for (const std::string& line : store.ExclusionsSnapshot()) {
    std::string site = qv::URLSite(line);
    if (site.size() != 13 || site != "http://h:8080") std::abort();
  }
  (void)store.IsDisallowed(text.substr(0, 200));
  (void)store.IsDisallowed("http://h:8080" + text.substr(0, 200));
  return 0;
}
