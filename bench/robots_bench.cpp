// Speed of the robots.txt test of a URL: an ordinary file of a documentation
// site, and hostile files (rules full of "*" against long paths), the latter
// at doubling path lengths, so the growth shows whether the cost stays linear
// in the path (a long part that nearly matches everywhere shows it best). A
// plain backtracking matcher, the way such rules are often
// matched, runs the small hostile cases in the same run for comparison.
//
//   robots_bench [repeats, default 5]
//
// Prints "name: value" lines: nanoseconds per URL tested (best of the
// repeats), the growth from each path length to the next (2 is linear), and
// the backtracking matcher's time against ours.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/robots.h"
#include "engine/robotsrules.h"

namespace {

using Clock = std::chrono::steady_clock;

// Best time of `repeats` runs of f, in nanoseconds per call of its `n` calls.
template <class F>
double BestNs(int repeats, int n, F&& f) {
  double best = 1e300;
  for (int r = 0; r < repeats; ++r) {
    const auto start = Clock::now();
    for (int i = 0; i < n; ++i) f(i);
    const double ns = std::chrono::duration<double, std::nano>(Clock::now() - start).count() / n;
    best = std::min(best, ns);
  }
  return best;
}

// Matching by trying every place for every "*", as a first matcher would.
bool Backtracking(const char* p, const char* s) {
  if (*p == '\0') return true;
  if (*p == '$' && p[1] == '\0') return *s == '\0';
  if (*p == '*') {
    for (const char* t = s;; ++t) {
      if (Backtracking(p + 1, t)) return true;
      if (*t == '\0') return false;
    }
  }
  return *s != '\0' && *p == *s && Backtracking(p + 1, s + 1);
}

volatile bool gSink;

}  // namespace

int main(int argc, char** argv) {
  const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const std::string site = "http://docs.example";

  // An ordinary file: folders kept out, pages under them let through, a few
  // patterns.
  std::string ordinary = "User-agent: *\n";
  for (const char* d : {"/cgi-bin/", "/tmp/", "/search", "/admin/", "/private/", "/drafts/",
                        "/*.pdf$", "/*?sort=", "/*/print/", "/api/"})
    ordinary += std::string("Disallow: ") + d + "\n";
  for (const char* a : {"/private/public.html", "/api/docs/", "/drafts/$"})
    ordinary += std::string("Allow: ") + a + "\n";
  ordinary += "User-agent: otherbot\nDisallow: /\n";
  qv::TRobotsStore store;
  store.ParseRobotsTxt(site, ordinary, "Quendravilos/1.32");
  std::vector<std::string> urls;
  for (int i = 0; i < 1000; ++i)
    urls.push_back(site + "/library/section" + std::to_string(i % 37) + "/page" +
                   std::to_string(i) + (i % 5 == 0 ? ".html?sort=asc" : ".html"));
  const double ordinaryNs = BestNs(repeats, 200000, [&](int i) {
    gSink = store.IsDisallowed(urls[static_cast<std::size_t>(i) % urls.size()]);
  });
  std::printf("ordinary_file_ns_per_url: %.1f\n", ordinaryNs);

  // Hostile: forty "*a" and a final "b" that never comes, against paths of
  // "a" only, the worst case for a matcher that tries again.
  std::string stars = "/";
  for (int i = 0; i < 40; ++i) stars += "*a";
  stars += "*b";
  const std::vector<qv::TRobotsRule> hostile =
      qv::RobotsRulesFor(site, "User-agent: *\nDisallow: " + stars + "\n", "x");
  double previous = 0;
  for (int len : {1024, 2048, 4096, 8192, 16384}) {
    std::string path(static_cast<std::size_t>(len) + 1, 'a');
    path[0] = '/';
    const double ns =
        BestNs(repeats, 2000, [&](int) { gSink = qv::RobotsPathAllowed(hostile, path); });
    std::printf("hostile_stars_%d_ns: %.0f\n", len, ns);
    if (previous > 0) std::printf("hostile_stars_growth_to_%d: %.2f\n", len, ns / previous);
    previous = ns;
  }

  // Hostile: a long part that nearly matches everywhere ("a" 100 times and a
  // "b" that never comes), the worst case for a search that starts again at
  // every place.
  const std::vector<qv::TRobotsRule> nearMiss =
      qv::RobotsRulesFor(site, "User-agent: *\nDisallow: /*" + std::string(100, 'a') + "b\n", "x");
  previous = 0;
  for (int len : {1024, 2048, 4096, 8192, 16384}) {
    std::string path(static_cast<std::size_t>(len) + 1, 'a');
    path[0] = '/';
    const double ns =
        BestNs(repeats, 2000, [&](int) { gSink = qv::RobotsPathAllowed(nearMiss, path); });
    std::printf("near_miss_%d_ns: %.0f\n", len, ns);
    if (previous > 0) std::printf("near_miss_growth_to_%d: %.2f\n", len, ns / previous);
    previous = ns;
  }

  // The backtracking matcher on small cases of the same shape: five "*a"
  // and a missing "b" against growing paths.
  const std::string few = "/*a*a*a*a*a*b";
  const std::vector<qv::TRobotsRule> fewRules =
      qv::RobotsRulesFor(site, "User-agent: *\nDisallow: " + few + "\n", "x");
  for (int len : {20, 40, 80}) {
    std::string path(static_cast<std::size_t>(len) + 1, 'a');
    path[0] = '/';
    const double ours =
        BestNs(repeats, 2000, [&](int) { gSink = qv::RobotsPathAllowed(fewRules, path); });
    const double peer = BestNs(1, 3, [&](int) { gSink = Backtracking(few.c_str(), path.c_str()); });
    std::printf("five_stars_%d_ns: %.0f\n", len, ours);
    std::printf("five_stars_%d_backtracking_ns: %.0f\n", len, peer);
    std::printf("five_stars_%d_backtracking_ratio: %.0f\n", len, peer / ours);
  }

  // A file of 20,000 wildcard rules (the 500 KiB a file may hold), against
  // a path none of them matches.
  std::string many = "User-agent: *\n";
  for (int i = 0; i < 20000; ++i) many += "Disallow: /*d" + std::to_string(i) + "*e\n";
  const std::vector<qv::TRobotsRule> manyRules = qv::RobotsRulesFor(site, many, "x");
  const std::string plain = "/library/section3/page17.html";
  const double manyNs =
      BestNs(repeats, 200, [&](int) { gSink = qv::RobotsPathAllowed(manyRules, plain); });
  std::printf("twenty_thousand_rules_ns_per_url: %.0f\n", manyNs);
  std::printf("twenty_thousand_rules_vs_ordinary: %.0f\n", manyNs / ordinaryNs);
  return 0;
}
