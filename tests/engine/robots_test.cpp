#include "engine/robots.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "engine/robotsrules.h"

namespace qv {
namespace {

using Lines = std::vector<std::string>;

Lines Parse(const std::string& text, const std::string& agent = "Quendravilos/1.0") {
  TRobotsStore store;
  store.ParseRobotsTxt("http://h", text, agent);
  return store.ExclusionsSnapshot();
}

TEST(RobotsTxt, WhichGroupsApply) {
  struct Case {
    const char* name;
    std::string text;
    Lines rules;
    std::string agent = "Quendravilos/1.0";
  };
  const std::vector<Case> cases = {
      {"star group", "User-agent: *\nDisallow: /cgi-bin/\n", {"http://h/cgi-bin/"}},
      {"own agent wins over an earlier star",
       "User-agent: *\nDisallow: /all/\n\nUser-agent: Quendravilos/1.0\nDisallow: /mine/\n",
       {"http://h/mine/"}},
      {"product token, case ignored",
       "User-agent: *\nDisallow: /all/\nUser-agent: quendravilos\nDisallow: /mine/\n",
       {"http://h/mine/"}},
      {"the token of another version",
       "User-agent: *\nDisallow: /all/\nUser-agent: Quendravilos/2.5\nDisallow: /mine/\n",
       {"http://h/mine/"}},
      {"the token of a longer name is another agent's",
       "User-agent: Quendravilos-Beta\nDisallow: /beta/\nUser-agent: *\nDisallow: /all/\n",
       {"http://h/all/"}},
      {"whole agent compared without blanks, dashes and case",
       "User-agent: *\nDisallow: /all/\nUSER-AGENT : quendra-vilos / 1.0\nDisallow: /mine/\n",
       {"http://h/mine/"}},
      {"a browser-like agent text goes by its first product",
       "User-agent: Mozilla\nDisallow: /m/\nUser-agent: *\nDisallow: /all/\n",
       {"http://h/m/"},
       "Mozilla/5.0 (X11; Linux x86_64)"},
      {"no agent text: only star groups",
       "User-agent: Quendravilos\nDisallow: /mine/\nUser-agent: *\nDisallow: /all/\n",
       {"http://h/all/"},
       ""},
      {"groups naming the agent combine",
       "User-agent: Quendravilos\nDisallow: /foo\nDisallow: /bar\n\nUser-agent: *\nDisallow: "
       "/all\n\nUser-agent: QUENDRAVILOS\nDisallow: /baz\n",
       {"http://h/bar", "http://h/baz", "http://h/foo"}},
      {"star groups combine",
       "User-agent: *\nDisallow: /a/\nUser-agent: *\nDisallow: /b/\n",
       {"http://h/a/", "http://h/b/"}},
      {"other agents ignored", "User-agent: other\nDisallow: /x/\n", {}},
      {"agent among several user-agent lines",
       "User-agent: a\nUser-agent: Quendravilos/1.0\nDisallow: /y\n",
       {"http://h/y"}},
      {"a group for the agent and the star counts once",
       "User-agent: Quendravilos\nUser-agent: *\nDisallow: /y\n",
       {"http://h/y"}},
      {"own group without rules (the last) allows all and ends the search",
       "User-agent: *\nDisallow: /\n\nUser-agent: Quendravilos/1.0\n",
       {}},
      {"consecutive user-agent lines are one group, blank lines or not",
       "User-agent: Quendravilos/1.0\n\nUser-agent: *\nDisallow: /\n",
       {"http://h/"}},
      {"other lines do not end the user-agent lines",
       "User-agent: other\nCrawl-delay: 5\nUser-agent: Quendravilos\nDisallow: /x\n",
       {"http://h/x"}},
      {"a user-agent line after a rule begins a group",
       "User-agent: Quendravilos\nDisallow: /x\nUser-agent: other\nDisallow: /y\n",
       {"http://h/x"}},
      {"allow rules kept",
       "User-agent: *\nAllow: /pub/\nCrawl-delay: 10\nDisallow: /x\nSitemap: http://h/s.xml\n"
       "Disallow: /y\n",
       {"http://h/pub/ - allowed", "http://h/x", "http://h/y"}},
      {"empty rules add nothing", "User-agent: *\nDisallow:\nDisallow:   \nAllow:\n", {}},
      {"comments cut on every kind of line",
       "User-agent: * # everyone\nDisallow: /p/ # private\n# Disallow: /q/\n",
       {"http://h/p/"}},
      {"field names any case, CR line ends, no colon",
       "user-AGENT: *\r\ndisallow: /q\rALLOW /r\r\n",
       {"http://h/q", "http://h/r - allowed"}},
      {"a field name is the whole word", "User-agent: *\nDisallowed: /x\nAllowing: /y\n", {}},
      {"blanks inside a path removed", "User-agent: *\nDisallow: /a b\t/\n", {"http://h/ab/"}},
      {"a path without its slash is from the root",
       "User-agent: *\nDisallow: cgi\n",
       {"http://h/cgi"}},
      {"rules before any user-agent ignored",
       "Disallow: /x\nUser-agent: *\nDisallow: /y\n",
       {"http://h/y"}},
      {"the site's own URL is its path; another site's URL ignored",
       "User-agent: *\nDisallow: http://victim/\nDisallow: //victim/x\nDisallow: http://H/ok\n",
       {"http://h/ok"}},
      {"duplicates kept once", "User-agent: *\nDisallow: /x\nDisallow: /x\n", {"http://h/x"}},
      {"a byte order mark before the first line",
       "\xEF\xBB\xBFUser-agent: *\nDisallow: /x\n",
       {"http://h/x"}},
      {"no text", "", {}},
      {"garbage", "\x01\x02 nonsense\n:::\n#\n", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(Parse(c.text, c.agent), c.rules) << c.name;
}

// The verdicts of a file on paths, through the store as the threads ask it.
struct TVerdict {
  const char* agent;
  const char* path;
  bool allowed;
};

void ExpectVerdicts(const std::string& text, const std::vector<TVerdict>& cases) {
  for (const auto& c : cases) {
    TRobotsStore store;
    store.ParseRobotsTxt("http://h", text, c.agent);
    EXPECT_EQ(!store.IsDisallowed(std::string("http://h") + c.path), c.allowed)
        << c.agent << " " << c.path;
  }
}

// The examples of RFC 9309 section 5.
TEST(RobotsTxt, TheStandardsExamples) {
  ExpectVerdicts(
      "User-Agent: *\nDisallow: *.gif$\nDisallow: /example/\nAllow: /publications/\n\n"
      "User-Agent: foobot\nDisallow:/\nAllow:/example/page.html\nAllow:/example/allowed.gif\n\n"
      "User-Agent: barbot\nUser-Agent: bazbot\nDisallow: /example/page.html\n\n"
      "User-Agent: quxbot\n\nEOF\n",
      {
          {"otherbot/1.0", "/publications/list.html", true},
          {"otherbot/1.0", "/publications/figure.gif", true},
          {"otherbot/1.0", "/example/", false},
          {"otherbot/1.0", "/picture.gif", false},
          {"otherbot/1.0", "/deep/down/picture.gif", false},
          {"otherbot/1.0", "/picture.gif?size=2", true},
          {"otherbot/1.0", "/index.html", true},
          {"foobot", "/example/page.html", true},
          {"foobot", "/example/allowed.gif", true},
          {"foobot", "/example/other.html", false},
          {"foobot", "/", false},
          {"foobot", "/publications/", false},
          {"barbot", "/example/page.html", false},
          {"bazbot", "/example/page.html.bak", false},
          {"bazbot", "/example/other.html", true},
          {"bazbot", "/picture.gif", true},
          {"quxbot", "/example/page.html", true},
          {"quxbot", "/picture.gif", true},
      });
  ExpectVerdicts(
      "User-Agent: foobot\nAllow: /example/page/\nDisallow: /example/page/disallowed.gif\n",
      {
          {"foobot", "/example/page/disallowed.gif", false},
          {"foobot", "/example/page/other.gif", true},
      });
}

TEST(RobotsTxt, TheLongestRuleDecidesAndAllowWinsATie) {
  struct Case {
    const char* name;
    std::string rules;
    const char* path;
    bool allowed;
  };
  const Case cases[] = {
      {"an allowed page under a kept-out folder", "Disallow: /docs/\nAllow: /docs/pub.html\n",
       "/docs/pub.html", true},
      {"the folder's other pages", "Disallow: /docs/\nAllow: /docs/pub.html\n", "/docs/x.html",
       false},
      {"order in the file does not matter", "Allow: /docs/pub.html\nDisallow: /docs/\n",
       "/docs/pub.html", true},
      {"a longer disallow under an allow", "Allow: /a/\nDisallow: /a/b/\n", "/a/b/c", false},
      {"allow wins a tie", "Disallow: /same\nAllow: /same\n", "/same/x", true},
      {"allow wins a tie, either order", "Allow: /same\nDisallow: /same\n", "/same/x", true},
      {"length counts the pattern's octets", "Disallow: /page\nAllow: /*.html\n", "/page.html",
       true},
      {"an equal length is a tie", "Disallow: /page.h\nAllow: /*.html\n", "/page.html", true},
      {"and a longer plain path wins", "Disallow: /page.ht\nAllow: /*.html\n", "/page.html", false},
      {"allow the root page only", "Allow: /$\nDisallow: /\n", "/", true},
      {"but nothing below it", "Allow: /$\nDisallow: /\n", "/x", false},
      {"no rule matches: allowed", "Disallow: /x\n", "/y", true},
      {"the query is part of the path", "Disallow: /*?\n", "/search?q=1", false},
      {"a path without a query", "Disallow: /*?\n", "/search", true},
  };
  for (const auto& c : cases) {
    TRobotsStore store;
    store.ParseRobotsTxt("http://h", "User-agent: *\n" + c.rules, "a");
    EXPECT_EQ(!store.IsDisallowed(std::string("http://h") + c.path), c.allowed) << c.name;
  }
}

// Each case: a file of one Disallow rule for everyone; does it keep out the
// path?
struct TMatch {
  const char* rule;
  const char* path;
  bool matches;
};

void ExpectMatches(const std::vector<TMatch>& cases) {
  for (const auto& c : cases) {
    TRobotsStore store;
    store.ParseRobotsTxt("http://h", std::string("User-agent: *\nDisallow: ") + c.rule + "\n", "a");
    EXPECT_EQ(store.IsDisallowed(std::string("http://h") + c.path), c.matches)
        << c.rule << " " << c.path;
  }
}

TEST(RobotsTxt, StarAndDollarInPaths) {
  ExpectMatches({
      {"/fish", "/fish", true},
      {"/fish", "/fish.html", true},
      {"/fish", "/fish/salmon.html", true},
      {"/fish", "/Fish.asp", false},
      {"/fish", "/catfish", false},
      {"/fish*", "/fishheads/yummy.html", true},
      {"/fish/", "/fish/?id=anything", true},
      {"/fish/", "/fish", false},
      {"/*.php", "/folder/filename.php?parameters", true},
      {"/*.php", "/folder/any.php.file.html", true},
      {"/*.php", "/windows.PHP", false},
      {"/*.php$", "/folder/filename.php", true},
      {"/*.php$", "/filename.php?parameters", false},
      {"/*.php$", "/filename.php/", false},
      {"/*.php$", "/filename.php5", false},
      {"/fish*.php", "/fishheads/catfish.php?parameters", true},
      {"/fish*.php", "/Fish.PHP", false},
      {"*.gif$", "/a/b.gif", true},
      {"*.gif$", "/a.gif?x", false},
      {"/this/*/exactly", "/this/is/exactly", true},
      {"/this/*/exactly", "/this/a/b/exactly/more", true},
      {"/this/*/exactly", "/this/exactly", false},
      {"/a*b*c$", "/abcbc", true},
      {"/a*b*c$", "/abcb", false},
      {"/a*bc*bc$", "/abcbc", true},
      {"/a*bc*bc$", "/abc", false},
      {"/a**b", "/axxb", true},
      {"/*", "/", true},
      {"/*$", "/anything", true},
      {"/x$", "/x", true},
      {"/x$", "/xy", false},
      {"/a$b", "/a$b", true},
      {"/a$b", "/ab", false},
      {"/a$b$", "/a$b", true},
  });
}

// RFC 9309 section 2.2.2 and 2.2.3: paths compare by what their octets
// mean, not by how they were written.
TEST(RobotsTxt, EncodingsOfTheSamePathCompareEqual) {
  ExpectMatches({
      {"/foo/bar?baz=quz", "/foo/bar?baz=quz", true},
      {"/foo/bar?baz=https%3A%2F%2Ffoo.bar", "/foo/bar?baz=https%3a%2f%2ffoo.bar", true},
      {"/foo/bar/\xE3\x83\x84", "/foo/bar/%E3%83%84", true},
      {"/foo/bar/%E3%83%84", "/foo/bar/\xE3\x83\x84", true},
      {"/foo/bar/%e3%83%84", "/foo/bar/%E3%83%84", true},
      {"/foo/bar/%62%61%7A", "/foo/bar/baz", true},
      {"/foo/bar/baz", "/foo/bar/%62%61%7a", true},
      {"/~user/", "/%7Euser/page.html", true},
      {"/path/file-with-a-%2A.html", "/path/file-with-a-*.html", true},
      {"/path/file-with-a-%2A.html", "/path/file-with-a-x.html", false},
      {"/path/foo-%24", "/path/foo-$", true},
      {"/path/foo-%24", "/path/foo-", false},
      // A reserved octet encoded is not the same as written plain.
      {"/a%2Fb", "/a/b", false},
      {"/a%2Fb", "/a%2fb", true},
      {"/100%", "/100%25", true},
      {"/a b", "/ab", true},  // blanks in a rule are dropped
  });
}

// What a hostile server could send: each case must end, with the verdict the
// rules give, however the file is built. A matcher that backtracks over
// "*" would not end the first cases in the test's lifetime.
TEST(RobotsTxt, HostileFilesAreReadWithinBounds) {
  std::string starsAB = "/";
  for (int i = 0; i < 40; ++i) starsAB += "*a";
  starsAB += "*b";
  std::string longStars = "/" + std::string(300000, '*') + "x$";
  std::string manyRules;
  for (int i = 0; i < 20000; ++i) manyRules += "Disallow: /*d" + std::to_string(i) + "*e\n";
  std::string longSegment = "/" + std::string(100000, 'a') + "*" + std::string(100000, 'a') + "$";
  struct Case {
    const char* name;
    std::string rules;
    std::string path;
    bool allowed;
  };
  const std::vector<Case> cases = {
      {"many stars, no match", "Disallow: " + starsAB + "\n", "/" + std::string(5000, 'a'), true},
      {"many stars, a match", "Disallow: " + starsAB + "\n", "/" + std::string(5000, 'a') + "b",
       false},
      {"a run of stars", "Disallow: " + longStars + "\n", "/" + std::string(10000, 'y') + "x",
       false},
      {"a run of stars, no end", "Disallow: " + longStars + "\n",
       "/" + std::string(10000, 'x') + "y", true},
      {"many wildcard rules", manyRules, "/" + std::string(200, 'd') + "e", true},
      {"many wildcard rules, the last matches", manyRules, "/d19999/e", false},
      {"a segment longer than any path", "Disallow: " + longSegment + "\n",
       "/" + std::string(150000, 'a'), true},
      {"a NUL byte is an octet like others", std::string("Disallow: /a\0b\nDisallow: /c\n", 28),
       "/c", false},
      {"a line the limit cuts is dropped", "Disallow: /" + std::string(2 << 20, 'z'),
       "/" + std::string(600000, 'z'), true},
  };
  for (const auto& c : cases) {
    TRobotsStore store;
    store.ParseRobotsTxt("http://h", "User-agent: *\n" + c.rules, "a");
    EXPECT_EQ(!store.IsDisallowed("http://h" + c.path), c.allowed) << c.name;
  }
}

TEST(RobotsTxt, OnlyTheFirst500KiBAreRead) {
  std::string text = "User-agent: *\nDisallow: /first\n";
  text += std::string(500 * 1024, '#');
  text += "\nDisallow: /late\n";
  EXPECT_EQ(Parse(text), Lines{"http://h/first"});
}

TEST(RobotsStore, URLsAreTestedByTheirSiteAndPath) {
  TRobotsStore store;
  store.ParseRobotsTxt("http://h", "User-agent: *\nDisallow: /cgi-bin/\nDisallow: /tmp\n", "x");
  store.ParseRobotsTxt("http://all", "User-agent: *\nDisallow: /\n", "x");
  struct Case {
    const char* url;
    bool disallowed;
  };
  const Case cases[] = {
      {"http://h/cgi-bin/x.pl", true},
      {"HTTP://H/cgi-bin/", true},       // sites ignore case
      {"http://h/CGI-BIN/x.pl", false},  // paths do not
      {"  http://h/cgi-bin/x \r\n", true},
      {"http://h/cgi-bin", false},
      {"http://h/tmp", true},
      {"http://h/tmpfile.html", true},
      {"http://h/x#/tmp", false},
      {"http://h/", false},
      {"http://h", false},
      {"http://h?/tmp", false},
      {"http://other/cgi-bin/", false},
      {"http://h:81/tmp", false},
      {"http://all", true},
      {"http://all/x", true},
      {"http://all/robots.txt", false},  // a site's robots.txt is always fetched
      {"http://all/robots.txt?x", true},
      {"/tmp", false},
      {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(store.IsDisallowed(c.url), c.disallowed) << c.url;
}

TEST(RobotsStore, ASiteKeptOutWholeSaysWhy) {
  TRobotsStore store;
  store.ParseRobotsTxt("http://a", "User-agent: *\nDisallow: /p/\n", "x");
  store.KeepOutSite("http://a", kRobotsUnreachable);
  store.ParseRobotsTxt("http://b", "User-agent: *\nDisallow: /p/\n", "x");
  std::string why = "stale";
  EXPECT_TRUE(store.IsDisallowed("http://a/anything.html", &why));
  EXPECT_EQ(why, "robots.txt unreachable");
  EXPECT_TRUE(store.IsDisallowed("http://A", &why));
  EXPECT_FALSE(store.IsDisallowed("http://a/robots.txt", &why));
  EXPECT_EQ(why, "");
  EXPECT_TRUE(store.IsDisallowed("http://b/p/x", &why));
  EXPECT_EQ(why, "");  // a rule's verdict has no reason of its own
  EXPECT_FALSE(store.IsDisallowed("http://c/x", &why));
  EXPECT_EQ(store.ExclusionsSnapshot(),
            (Lines{"http://a/ - robots.txt unreachable", "http://b/p/"}));
  // The site's robots.txt read later is what counts.
  store.ParseRobotsTxt("http://a", "User-agent: *\nDisallow: /q/\n", "x");
  EXPECT_FALSE(store.IsDisallowed("http://a/anything.html"));
  EXPECT_TRUE(store.IsDisallowed("http://a/q/"));
  EXPECT_EQ(store.ExclusionsSnapshot(), (Lines{"http://a/q/", "http://b/p/"}));
}

TEST(RobotsTxt, WhatAFetchThatBroughtNoFileLeaves) {
  struct Case {
    int code;
    bool unreachable;
  };
  const Case cases[] = {
      {0, true},     // no answer: a time-out, a refused connection
      {200, true},   // an answer cut short
      {301, false},  // not followed
      {304, false}, {400, false}, {401, false}, {403, false}, {404, false}, {429, false},
      {499, false}, {500, true},  {503, true},  {599, true},  {600, true},
  };
  for (const auto& c : cases) EXPECT_EQ(RobotsTxtUnreachable(c.code), c.unreachable) << c.code;
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
  store.ParseRobotsTxt("http://H", "User-agent: *\nDisallow: /X\n", "a");
  store.ParseRobotsTxt("http://b", "User-agent: *\nDisallow: /y\n", "a");
  EXPECT_EQ(store.ExclusionsSnapshot(), (Lines{"http://b/y", "http://h/X"}));
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
        std::string why;
        if (store.IsDisallowed("http://s" + n + "/private/x", &why)) ++hits;
        if (store.HasSite("http://s" + n)) ++hits;
        (void)store.ExclusionsSnapshot().size();
        (void)store.NoFollowSnapshot().size();
        // Readers that never pause could keep the writer out for seconds.
        std::this_thread::yield();
      }
    });
  }
  std::thread writer([&] {
    for (int i = 0; i < 300; ++i) {
      std::string site = "http://s" + std::to_string(i % 10);
      store.AddSite(site);
      if (i % 7 == 0)
        store.KeepOutSite(site, kRobotsUnreachable);
      else
        store.ParseRobotsTxt(site, "User-agent: *\nDisallow: /private/" + std::to_string(i) + "\n",
                             "a");
      store.AddNoFollow(site + "/p" + std::to_string(i));
    }
  });
  writer.join();
  stop = true;
  for (auto& r : readers) r.join();
  EXPECT_EQ(store.KnownSitesSnapshot().size(), 10u);
  EXPECT_EQ(store.ExclusionsSnapshot().size(), 10u);
  EXPECT_TRUE(store.IsDisallowed("http://s3/private/293/y"));
  EXPECT_FALSE(store.IsDisallowed("http://s3/private/283/y"));
}

}  // namespace
}  // namespace qv
