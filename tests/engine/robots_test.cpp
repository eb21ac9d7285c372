#include "engine/robots.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace qv {
namespace {

using Lines = std::vector<std::string>;

Lines Parse(const std::string& text, const std::string& agent = "Quendravilos/1.0") {
  TRobotsStore store;
  store.ParseRobotsTxt("http://h", text, agent);
  return store.DisallowedSnapshot();
}

TEST(RobotsTxt, WhichRecordApplies) {
  struct Case {
    const char* name;
    std::string text;
    Lines disallowed;
  };
  const std::vector<Case> cases = {
      {"star record", "User-agent: *\nDisallow: /cgi-bin/\n", {"http://h/cgi-bin/"}},
      {"own agent wins over an earlier star",
       "User-agent: *\nDisallow: /all/\n\nUser-agent: Quendravilos/1.0\nDisallow: /mine/\n",
       {"http://h/mine/"}},
      {"agent compared without blanks, dashes and case",
       "User-agent: *\nDisallow: /all/\nUSER-AGENT : quendra-vilos / 1.0\nDisallow: /mine/\n",
       {"http://h/mine/"}},
      {"first matching star record only",
       "User-agent: *\nDisallow: /a/\nUser-agent: *\nDisallow: /b/\n",
       {"http://h/a/"}},
      {"other agents ignored", "User-agent: other\nDisallow: /x/\n", {}},
      {"agent among several user-agent lines",
       "User-agent: a\nUser-agent: Quendravilos/1.0\nDisallow: /y\n",
       {"http://h/y"}},
      {"own record without disallow still ends the search",
       "User-agent: Quendravilos/1.0\nAllow: /\n\nUser-agent: *\nDisallow: /\n",
       {}},
      {"consecutive user-agent lines are one record, blank lines or not",
       "User-agent: Quendravilos/1.0\n\nUser-agent: *\nDisallow: /\n",
       {"http://h/"}},
      {"empty disallow adds nothing", "User-agent: *\nDisallow:\nDisallow:   \n", {}},
      {"comments cut on both kinds of line",
       "User-agent: * # everyone\nDisallow: /p/ # private\n",
       {"http://h/p/"}},
      {"field names any case, CR line ends", "user-AGENT: *\r\ndisallow: /q\r\n", {"http://h/q"}},
      {"blanks inside a path removed", "User-agent: *\nDisallow: /a b\t/\n", {"http://h/ab/"}},
      {"comment line inside a record", "User-agent: *\n# keep out\nDisallow: /x\n", {"http://h/x"}},
      {"comment line between user agents",
       "User-agent: other\n# and us\nUser-agent: Quendravilos/1.0\nDisallow: /x\n",
       {"http://h/x"}},
      {"unknown fields inside a record",
       "User-agent: *\nAllow: /pub/\nCrawl-delay: 10\nDisallow: /x\nSitemap: http://h/s.xml\n"
       "Disallow: /y\n",
       {"http://h/x", "http://h/y"}},
      {"disallow before any user-agent ignored",
       "Disallow: /x\nUser-agent: *\nDisallow: /y\n",
       {"http://h/y"}},
      {"another site's URL ignored",
       "User-agent: *\nDisallow: http://victim/\nDisallow: //victim/x\nDisallow: http://H/ok\n",
       {"http://H/ok"}},
      {"no text", "", {}},
      {"garbage", "\x01\x02 nonsense\n:::\n#\n", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(Parse(c.text), c.disallowed) << c.name;
}

TEST(RobotsTxt, OnlyTheFirst500KiBAreRead) {
  std::string text = "User-agent: *\nDisallow: /first\n";
  text += std::string(500 * 1024, '#');
  text += "\nDisallow: /late\n";
  EXPECT_EQ(Parse(text), Lines{"http://h/first"});
}

TEST(RobotsStore, IsDisallowedIsACaseInsensitivePrefixTest) {
  TRobotsStore store;
  store.ParseRobotsTxt("http://h", "User-agent: *\nDisallow: /cgi-bin/\nDisallow: /tmp\n", "x");
  struct Case {
    const char* url;
    bool disallowed;
  };
  const Case cases[] = {
      {"http://h/cgi-bin/x.pl", true},  {"http://h/CGI-BIN/x.pl", true},
      {"HTTP://H/cgi-bin/", true},      {"  http://h/cgi-bin/x \r\n", true},
      {"http://h/cgi-bin", false},      {"http://h/tmp", true},
      {"http://h/tmpfile.html", true},  {"http://h/", false},
      {"http://other/cgi-bin/", false}, {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(store.IsDisallowed(c.url), c.disallowed) << c.url;
}

TEST(RobotsStore, ListsIgnoreCaseAndDuplicates) {
  TRobotsStore store;
  EXPECT_FALSE(store.HasSite("http://h"));
  store.AddSite("http://h");
  store.AddSite("HTTP://H");
  store.AddSite("http://a");
  EXPECT_TRUE(store.HasSite("http://H"));
  EXPECT_FALSE(store.HasSite("http://h:81"));
  EXPECT_EQ(store.KnownSitesSnapshot(), (Lines{"http://a", "http://h"}));
  store.AddNoFollow("http://h/p.html");
  store.AddNoFollow("http://H/P.HTML");
  EXPECT_EQ(store.NoFollowSnapshot(), Lines{"http://h/p.html"});
  store.ParseRobotsTxt("http://h", "User-agent: *\nDisallow: /x\n", "a");
  store.ParseRobotsTxt("http://h", "User-agent: *\nDisallow: /X\n", "a");
  EXPECT_EQ(store.DisallowedSnapshot(), Lines{"http://h/x"});
}

// Worker threads ask while others add; run under ThreadSanitizer this shows
// every list access is locked.
TEST(RobotsStore, ManyReadersWhileWritersAdd) {
  TRobotsStore store;
  std::atomic<bool> stop{false};
  std::atomic<long> hits{0};
  std::vector<std::thread> readers;
  for (int t = 0; t < 6; ++t) {
    readers.emplace_back([&, t] {
      while (!stop.load()) {
        std::string n = std::to_string(t);
        if (store.IsDisallowed("http://s" + n + "/private/x")) ++hits;
        if (store.HasSite("http://s" + n)) ++hits;
        (void)store.DisallowedSnapshot().size();
        (void)store.NoFollowSnapshot().size();
      }
    });
  }
  std::thread writer([&] {
    for (int i = 0; i < 300; ++i) {
      std::string site = "http://s" + std::to_string(i % 10);
      store.AddSite(site);
      store.ParseRobotsTxt(site, "User-agent: *\nDisallow: /private/" + std::to_string(i) + "\n",
                           "a");
      store.AddNoFollow(site + "/p" + std::to_string(i));
    }
  });
  writer.join();
  stop = true;
  for (auto& r : readers) r.join();
  EXPECT_EQ(store.KnownSitesSnapshot().size(), 10u);
  EXPECT_EQ(store.DisallowedSnapshot().size(), 300u);
  EXPECT_TRUE(store.IsDisallowed("http://s3/private/3/y"));
}

}  // namespace
}  // namespace qv
