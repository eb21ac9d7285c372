#include "engine/cookielist.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "support/envscope.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> Keys(const TCookieList& l) {
  std::vector<std::string> out;
  for (int i = 0; i < l.Count(); ++i) {
    const TCookieItem c = l.GetItem(i);
    out.push_back(c.Domain + " " + c.Path + " " + c.NameValue + (c.Secure ? " secure" : ""));
  }
  return out;
}

TEST(CookieListTest, ParseSetCookieStoresDomainAndPath) {
  struct {
    const char* name;
    const char* value;
    const char* url;
    const char* want;  // "" means not stored
  } cases[] = {
      {"four labels under .com keep two", " a=1", "http://w.x.example.com/p/q.html",
       "example.com /p  a=1"},
      {"country top label keeps three", "a=1", "http://www.shop.example.co.uk/",
       "example.co.uk / a=1"},
      {"port does not split cookies", "a=1", "http://www.example.com:8080/d/x",
       "example.com /d a=1"},
      {"IPv4 host keeps the exact address", "a=1", "http://10.0.0.1:81/x", "10.0.0.1 / a=1"},
      {"IPv6 host keeps the exact address", "a=1", "http://[::1]:81/x", "[::1] / a=1"},
      {"path attribute", "a=1; path=/shop", "http://example.com/blog/x", "example.com /shop a=1"},
      {"relative path attribute is resolved", "a=1; path=sub/", "http://example.com/d/x",
       "example.com /d/sub/ a=1"},
      {"folder of a folder URL", "a=1", "http://example.com/d/", "example.com /d a=1"},
      {"root request", "a=1", "http://example.com", "example.com / a=1"},
      {"secure flag", "a=1; Secure", "https://example.com/", "example.com / a=1 secure"},
      {"blanks before name kept", "  a = 1 ;path=/", "http://example.com/",
       "example.com /   a = 1 "},
      {"value with = and no attributes", "t=x=y", "http://example.com/", "example.com / t=x=y"},
      {"empty name part", ";path=/", "http://example.com/", ""},
      {"blank name part", "   ; path=/", "http://example.com/", ""},
      {"no host", "a=1", "/local/file", ""},
      // Attributes are read only after the first ";".
      {"cookie named path", "path=/evil", "http://example.com/d/x", "example.com /d path=/evil"},
      {"cookie named domain", "domain=other.com", "http://example.com/x",
       "example.com / domain=other.com"},
      {"cookie named secure", "secure=1", "http://example.com/x", "example.com / secure=1"},
  };
  for (const auto& c : cases) {
    TCookieList l;
    const int i = l.ParseSetCookie(c.value, c.url);
    if (*c.want == 0) {
      EXPECT_EQ(i, -1) << c.name;
      EXPECT_EQ(l.Count(), 0) << c.name;
      continue;
    }
    EXPECT_EQ(i, 0) << c.name;
    EXPECT_EQ(Keys(l), std::vector<std::string>{c.want}) << c.name;
  }
}

TEST(CookieListTest, DomainAttributeMustCoverTheHostAndNotBeAPublicSuffix) {
  struct {
    const char* domain;
    const char* url;
    const char* want;  // stored domain, "" when refused
  } cases[] = {
      {"example.com", "http://www.example.com/", "example.com"},
      {".example.com", "http://www.example.com/", "example.com"},
      {"EXAMPLE.com", "http://www.Example.COM/", "example.com"},
      {"www.example.com", "http://www.example.com/", "example.com"},
      {"shop.example.co.uk", "http://a.shop.example.co.uk/", "example.co.uk"},
      {"other.com", "http://www.example.com/", ""},            // another site
      {"ample.com", "http://www.example.com/", ""},            // not at a label boundary
      {"sub.www.example.com", "http://www.example.com/", ""},  // narrower than the host
      {"com", "http://www.example.com/", ""},                  // public suffix
      {"co.uk", "http://www.example.co.uk/", ""},
      {"github.io", "http://someone.github.io/", ""},  // public suffix of the private section
      {"0.1", "http://10.0.0.1/", ""},                 // addresses have no parents
      {"10.0.0.1", "http://10.0.0.1/", "10.0.0.1"},
  };
  for (const auto& c : cases) {
    TCookieList l;
    const int i = l.ParseSetCookie(std::string("a=1; Domain=") + c.domain, c.url);
    if (*c.want == 0) {
      EXPECT_EQ(i, -1) << c.domain << " from " << c.url;
      EXPECT_EQ(l.Count(), 0);
    } else {
      ASSERT_EQ(i, 0) << c.domain << " from " << c.url;
      EXPECT_EQ(l.GetItem(0).Domain, c.want) << c.domain;
    }
  }
}

TEST(CookieListTest, KeyIsDomainPathAndNameSoANewValueReplaces) {
  TCookieList l;
  EXPECT_EQ(l.ParseSetCookie("id=1; path=/", "http://example.com/"), 0);
  EXPECT_EQ(l.ParseSetCookie("id=1; path=/", "http://example.com/"), 0);
  EXPECT_EQ(l.ParseSetCookie("id=2; path=/; expires=Wed, 09 Jun 2100 10:18:14 GMT",
                             "http://example.com/"),
            0);
  ASSERT_EQ(l.Count(), 1);
  EXPECT_EQ(l.GetItem(0).NameValue, "id=2");
  EXPECT_EQ(l.GetItem(0).Expires, "Wed, 09 Jun 2100 10:18:14 GMT");
  // Same name under another path is another cookie.
  l.ParseSetCookie("id=3; path=/a", "http://example.com/");
  EXPECT_EQ(l.Count(), 2);
  EXPECT_GE(l.Search("example.com", "/a", "id=whatever", "example.com"), 0);
  EXPECT_LT(l.Search("example.com", "/a", "idx=3", "example.com"), 0);
  EXPECT_LT(l.Search("example.com", "/a", "id=3", "www.example.com"), 0);
}

TEST(CookieListTest, ExpiredCookieRemovesTheStoredOne) {
  struct {
    const char* attrs;
    bool removes;
  } cases[] = {
      {"; Max-Age=0", true},
      {"; max-age=-5", true},
      {"; expires=Thu, 01 Jan 1970 00:00:01 GMT", true},
      {"; expires=Sunday, 06-Nov-94 08:49:37 GMT", true},
      {"; Max-Age=60; expires=Thu, 01 Jan 1970 00:00:01 GMT", false},  // Max-Age wins
      {"; expires=Wed, 09 Jun 2100 10:18:14 GMT", false},
      {"; expires=not a date", false},
      {"; Max-Age=soon", false},
  };
  for (const auto& c : cases) {
    TCookieList l;
    l.ParseSetCookie("s=old", "http://example.com/");
    l.ParseSetCookie("t=keep", "http://example.com/");
    const int i = l.ParseSetCookie(std::string("s=new") + c.attrs, "http://example.com/");
    if (c.removes) {
      EXPECT_EQ(i, -1) << c.attrs;
      EXPECT_EQ(Keys(l), std::vector<std::string>{"example.com / t=keep"}) << c.attrs;
    } else {
      EXPECT_GE(i, 0) << c.attrs;
      EXPECT_EQ(l.CookieHeader("http://example.com/"), "t=keep;s=new") << c.attrs;
    }
  }
}

TEST(CookieListTest, CookieDateForms) {
  struct {
    const char* text;
    std::time_t want;  // -1: not a date
  } cases[] = {
      {"Wed, 09 Jun 2021 10:18:14 GMT", 1623233894},
      {"Wednesday, 09-Jun-21 10:18:14 GMT", 1623233894},
      {"Wed Jun  9 10:18:14 2021", 1623233894},
      {"09 jun 2021 10:18:14", 1623233894},
      {"Thu, 01 Jan 1970 00:00:00 GMT", 0},
      {"Sun, 06 Nov 94 08:49:37 GMT", 784111777},
      {"Wed, 09 Jun 2021 24:00:00 GMT", -1},
      {"Wed, 32 Jun 2021 10:18:14 GMT", -1},
      {"Wed, 09 Jun 1600 10:18:14 GMT", -1},
      {"Wed, 09 2021 10:18:14 GMT", -1},
      {"", -1},
      {"123:45:67", -1},
  };
  for (const auto& c : cases) {
    std::time_t t = 12345;
    const bool ok = ParseCookieDate(c.text, t);
    EXPECT_EQ(ok, c.want != -1) << c.text;
    if (ok) {
      EXPECT_EQ(t, c.want) << c.text;
    }
  }
}

TEST(CookieListTest, CookieHeaderMatchesPathsAtSlashBoundaries) {
  TCookieList l;
  const std::string base = "http://www.example.com/";
  l.ParseSetCookie("root=r; path=/", base);
  l.ParseSetCookie("shop=s; path=/shop", base);
  l.ParseSetCookie("blog=b; path=/blog", base);
  l.ParseSetCookie("deep=d; path=/shop/cart/", base);
  l.ParseSetCookie("other=o; path=/", "http://other.org/");
  struct {
    const char* url;
    const char* want;
  } cases[] = {
      // The /blog item sorts between / and /shop and must not end the walk.
      {"http://www.example.com/shop/item", "shop=s;root=r"},
      {"http://www.example.com/shop", "shop=s;root=r"},
      {"http://www.example.com/shopping", "root=r"},  // "/shop" is not a prefix at a boundary
      {"http://www.example.com/shop/cart/x", "deep=d;shop=s;root=r"},
      {"http://www.example.com/shop/cart", "shop=s;root=r"},
      {"http://www.example.com:8080/blog/", "blog=b;root=r"},  // ports do not count
      {"http://img.example.com/blog/", ""},                    // host-only cookies of another host
      {"http://www.example.com", "root=r"},
      {"http://www.example.net/shop/", ""},
      {"http://other.org/shop", "other=o"},
  };
  for (const auto& c : cases) EXPECT_EQ(l.CookieHeader(c.url), c.want) << c.url;
}

TEST(CookieListTest, SecureCookiesGoOnlyOverHttps) {
  TCookieList l;
  l.ParseSetCookie("plain=1", "https://example.com/");
  l.ParseSetCookie("safe=2; secure", "https://example.com/");
  EXPECT_EQ(l.CookieHeader("http://example.com/"), "plain=1");
  EXPECT_EQ(l.CookieHeader("https://example.com/"), "safe=2;plain=1");
  EXPECT_EQ(l.CookieHeader("HTTPS://example.com/"), "safe=2;plain=1");
}

// Host names are case-insensitive: a cookie goes back to its host however
// either side writes the name.
TEST(CookieListTest, HostCaseDoesNotSplitCookies) {
  struct {
    const char* value;
    const char* setBy;
    const char* request;
  } cases[] = {
      {"a=1; Domain=EXAMPLE.com", "http://www.example.com/", "http://www.example.com/"},
      {"a=1; domain=example.com", "http://WWW.Example.COM/", "http://www.example.com/"},
      {"a=1", "http://WWW.EXAMPLE.COM/", "http://www.example.com/"},
      {"a=1", "http://www.example.com/", "http://Www.Example.Com/"},
  };
  for (const auto& c : cases) {
    TCookieList l;
    ASSERT_EQ(l.ParseSetCookie(c.value, c.setBy), 0) << c.value << " from " << c.setBy;
    EXPECT_EQ(l.CookieHeader(c.request), "a=1") << c.value << " from " << c.setBy;
  }
}

TEST(CookieListTest, IPAddressesDoNotShareCookies) {
  TCookieList l;
  l.ParseSetCookie("a=1", "http://10.0.0.1/");
  EXPECT_EQ(l.CookieHeader("http://10.0.0.1:8080/x"), "a=1");
  EXPECT_EQ(l.CookieHeader("http://192.0.0.1/"), "");
  EXPECT_EQ(l.CookieHeader("http://20.0.0.1/"), "");
}

// RFC 6265 domain-matching: a host-only cookie goes back to the host that set
// it and nowhere else; a domain attribute opens the cookie to that domain and
// the hosts under it, not to its siblings or parents.
TEST(CookieListTest, CookiesGoOnlyWhereTheirDomainMatches) {
  struct {
    const char* name;
    const char* value;
    const char* setBy;
    const char* request;
    bool sent;
  } cases[] = {
      {"host-only, same host", "a=1", "http://a.example.com/", "http://a.example.com/x", true},
      {"host-only, other port", "a=1", "http://a.example.com:8080/", "http://a.example.com:81/",
       true},
      {"host-only, sibling", "a=1", "http://a.example.com/", "http://b.example.com/", false},
      {"host-only, parent", "a=1", "http://a.example.com/", "http://example.com/", false},
      {"host-only, child", "a=1", "http://example.com/", "http://www.example.com/", false},
      {"host-only, grandchild", "a=1", "http://a.example.com/", "http://x.a.example.com/", false},
      {"host-only, address", "a=1", "http://10.0.0.1/", "http://10.0.0.2/", false},
      {"host-only, letter case", "a=1", "http://A.Example.COM/", "http://a.example.com/", true},
      {"own domain, sibling", "a=1; Domain=a.example.com", "http://a.example.com/",
       "http://b.example.com/", false},
      {"own domain, child", "a=1; Domain=a.example.com", "http://a.example.com/",
       "http://x.a.example.com/", true},
      {"parent domain, sibling", "a=1; Domain=example.com", "http://a.example.com/",
       "http://b.example.com/", true},
      {"parent domain, itself", "a=1; Domain=.example.com", "http://a.example.com/",
       "http://example.com/", true},
      {"parent domain, look-alike", "a=1; Domain=example.com", "http://a.example.com/",
       "http://badexample.com/", false},
      // The index tail of www.example.de keeps three labels; the cookie's
      // domain keeps two and must still be found.
      {"two-label domain under a country", "a=1; Domain=example.de", "http://www.example.de/",
       "http://shop.example.de/", true},
      {"two-label domain, itself", "a=1; Domain=example.de", "http://www.example.de/",
       "http://example.de/", true},
      {"deep host, parent domain", "a=1; Domain=example.de", "http://a.b.c.example.de/",
       "http://x.y.example.de/", true},
  };
  for (const auto& c : cases) {
    TCookieList l;
    ASSERT_GE(l.ParseSetCookie(c.value, c.setBy), 0) << c.name;
    EXPECT_EQ(l.CookieHeader(c.request), c.sent ? "a=1" : "") << c.name;
  }
}

TEST(CookieListTest, EachCookieKeepsItsExactDomainAndHostOnlyFlag) {
  struct {
    const char* value;
    const char* setBy;
    const char* exactDomain;
    bool hostOnly;
  } cases[] = {
      {"a=1", "http://WWW.Example.com:81/", "www.example.com", true},
      {"a=1; Domain=..Example.COM", "http://www.example.com/", "example.com", false},
      {"a=1; Domain=www.example.com", "http://www.example.com/", "www.example.com", false},
      {"a=1; Domain=", "http://www.example.com/", "www.example.com", true},
      {"a=1", "http://[::1]:8080/", "[::1]", true},
  };
  for (const auto& c : cases) {
    TCookieList l;
    ASSERT_EQ(l.ParseSetCookie(c.value, c.setBy), 0) << c.value;
    EXPECT_EQ(l.GetItem(0).ExactDomain, c.exactDomain) << c.value;
    EXPECT_EQ(l.GetItem(0).HostOnly, c.hostOnly) << c.value;
  }
  // One name and path from two hosts of one tail: two cookies, each for its host.
  TCookieList l;
  l.ParseSetCookie("id=a", "http://a.example.com/");
  l.ParseSetCookie("id=b", "http://b.example.com/");
  EXPECT_EQ(l.Count(), 2);
  EXPECT_EQ(l.CookieHeader("http://a.example.com/"), "id=a");
  EXPECT_EQ(l.CookieHeader("http://b.example.com/"), "id=b");
  // Deleting one host's cookie leaves the other's.
  l.ParseSetCookie("id=; Max-Age=0", "http://b.example.com/");
  EXPECT_EQ(l.CookieHeader("http://a.example.com/"), "id=a");
  EXPECT_EQ(l.CookieHeader("http://b.example.com/"), "");
}

std::string Filled(const std::string& name, size_t size) {
  std::string nv = name + "=";
  nv.resize(size, 'v');
  return nv;
}

// A hostile server may not grow the store without limit: each cookie, each
// domain tail and each "Cookie" line is bounded.
TEST(CookieListTest, StoreIsBounded) {
  // "http://example.com/" gives the path "/" and the domain "example.com":
  // 12 bytes, so a name and value of 4,084 bytes fill a cookie exactly.
  {
    TCookieList l;
    EXPECT_EQ(l.ParseSetCookie(Filled("a", 4084), "http://example.com/"), 0);
    EXPECT_EQ(l.ParseSetCookie(Filled("b", 4085), "http://example.com/"), -1);
    // Too large to replace the stored one: the stored one stays.
    EXPECT_EQ(l.ParseSetCookie(Filled("a", 4085), "http://example.com/"), -1);
    ASSERT_EQ(l.Count(), 1);
    EXPECT_EQ(l.GetItem(0).NameValue.size(), 4084u);
  }
  {
    // 51 cookies for one tail, over two of its hosts: the first goes.
    TCookieList l;
    for (int i = 0; i <= kMaxCookiesPerDomain; ++i)
      l.ParseSetCookie("c" + std::to_string(i) + "=1",
                       i % 2 ? "http://a.example.com/" : "http://b.example.com/");
    l.ParseSetCookie("x=1", "http://other.example.org/");
    EXPECT_EQ(l.Count(), kMaxCookiesPerDomain + 1);
    EXPECT_EQ(l.CookieHeader("http://b.example.com/").find("c0="), std::string::npos);
    EXPECT_NE(l.CookieHeader("http://b.example.com/").find("c2="), std::string::npos);
    EXPECT_NE(l.CookieHeader("http://a.example.com/").find("c1="), std::string::npos);
    EXPECT_EQ(l.CookieHeader("http://other.example.org/"), "x=1");
    // Replacing keeps a cookie's age: c1, now the oldest, goes next.
    l.ParseSetCookie("c1=2", "http://a.example.com/");
    l.ParseSetCookie("new=1", "http://a.example.com/");
    EXPECT_EQ(l.CookieHeader("http://a.example.com/").find("c1="), std::string::npos);
    EXPECT_EQ(l.Count(), kMaxCookiesPerDomain + 1);
  }
  {
    // An expired cookie makes room before the oldest live one is dropped.
    TCookieList l;
    for (int i = 0; i < kMaxCookiesPerDomain; ++i) {
      TCookieItem c;
      c.Domain = "example.com";
      c.Path = "/";
      c.NameValue = "c" + std::to_string(i) + "=1";
      c.ExpiresAt = i == 7 ? 1 : 0;
      l.InsertOrReplace(c, false);
    }
    EXPECT_EQ(l.CookieHeader("http://example.com/").find("c7="), std::string::npos);
    l.ParseSetCookie("new=1", "http://example.com/");
    EXPECT_EQ(l.Count(), kMaxCookiesPerDomain);
    EXPECT_NE(l.CookieHeader("http://example.com/").find("c0="), std::string::npos);
    EXPECT_LT(l.Search("example.com", "/", "c7", "example.com"), 0);
    EXPECT_GE(l.Search("example.com", "/", "new", "example.com"), 0);
  }
  {
    // Three cookies of 3,000 bytes: "Cookie: " and two of them fit in 8 KiB,
    // the third is left out, and a small one still fits after it.
    TCookieList l;
    l.ParseSetCookie(Filled("deep", 3000) + "; path=/a/b/", "http://example.com/");
    l.ParseSetCookie(Filled("mid", 3000) + "; path=/a/", "http://example.com/");
    l.ParseSetCookie(Filled("top", 3000) + "; path=/", "http://example.com/");
    l.ParseSetCookie("small=1; path=/", "http://example.com/");
    const std::string h = l.CookieHeader("http://example.com/a/b/c");
    EXPECT_LE(std::string("Cookie: ").size() + h.size(), kMaxCookieLine);
    EXPECT_EQ(h, Filled("deep", 3000) + ";" + Filled("mid", 3000) + ";small=1");
  }
}

TEST(CookieListTest, AddSetCookiesTakesOnlySetCookieLines) {
  TCookieList l;
  const std::vector<std::string> headers = {
      "Content-Type: text/html",          "set-cookie: a=1", "Set-Cookie-X: x=1",
      "SET-COOKIE:b=2; path=/",           "Set-Cookie",      "Set-Cookie: ;bad",
      "Set-Cookie: c=3; domain=evil.org",
  };
  const int last = l.AddSetCookies(headers, "http://example.com/");
  EXPECT_EQ(Keys(l), (std::vector<std::string>{"example.com /  a=1", "example.com / b=2"}));
  EXPECT_EQ(last, 1);
  EXPECT_EQ(l.AddSetCookies({"X: y"}, "http://example.com/"), -1);
  // The leading blank kept from the header line lands after "Cookie:".
  EXPECT_EQ(l.CookieHeader("http://example.com/"), "b=2; a=1");
}

TEST(CookieListTest, SearchAndAppend) {
  TCookieList l;
  EXPECT_EQ(l.SearchDomain("a"), -1);
  EXPECT_EQ(l.Search("a", "/", "x=1", "a"), -1);
  TCookieItem c;
  c.Domain = "b.com";
  c.Path = "/";
  c.NameValue = "n=1";
  EXPECT_EQ(l.InsertOrReplace(c, false), 0);
  c.Domain = "a.com";
  EXPECT_EQ(l.InsertOrReplace(c, false), 0);
  c.Domain = "c.com";
  EXPECT_EQ(l.InsertOrReplace(c, true), 2);
  EXPECT_EQ(l.SearchDomain("b.com"), 1);
  EXPECT_EQ(l.LockedSearchDomain("d.com"), ~3);
  EXPECT_EQ(l.SearchDomain("aa.com"), ~1);
  l.DeleteItem(7);
  l.DeleteItem(0);
  EXPECT_EQ(l.Count(), 2);
  EXPECT_EQ(l.GetItem(5).Domain, "");
}

class CookieImportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::copy(fs::path(QV_TEST_DATA) / "cookies" / "program", Dir, fs::copy_options::recursive);
  }
  test::TScratchDir Scratch;
  fs::path Dir = Scratch.Path;
};

TEST_F(CookieImportTest, ReadsTheRecordsOfTheUsersFiles) {
  TCookieList l;
  l.ImportBrowserCookies(Dir.string(), "joe");
  EXPECT_EQ(Keys(l), (std::vector<std::string>{
                         "example.co.uk / pref=blue", "example.com / SID=abc123",
                         "example.com / tok=t0k secure", "example.com /docs/ lang=en",
                         "example.org /store/ cart=42 secure",  // flags 9: bit 0
                     }));
  EXPECT_EQ(l.CookieHeader("http://www.example.com/docs/a.html"), "lang=en;SID=abc123");
}

// A browser's cookie keeps the domain, path, secure flag and expiry its file
// gives; one whose expiry has passed ("old") is not imported.
TEST_F(CookieImportTest, ImportedCookiesKeepDomainPathSecureFlagAndExpiry) {
  TCookieList l;
  l.ImportBrowserCookies(Dir.string(), "");
  const int sid = l.Search("example.com", "/", "SID", "www.example.com");
  ASSERT_GE(sid, 0);
  const TCookieItem c = l.GetItem(sid);
  EXPECT_FALSE(c.HostOnly);
  EXPECT_FALSE(c.Secure);
  EXPECT_EQ(c.ExpiresAt, 4102444800);  // 2100-01-01
  EXPECT_EQ(c.Expires, "Fri, 01 Jan 2100 00:00:00 GMT");
  EXPECT_TRUE(l.GetItem(l.Search("example.com", "/", "tok", "www.example.com")).Secure);
  EXPECT_LT(l.Search("example.com", "/", "old", "www.example.com"), 0);
  struct {
    const char* url;
    const char* want;
  } cases[] = {
      {"http://www.example.com/docs/a.html", "lang=en;SID=abc123"},
      {"https://www.example.com/docs/a.html", "lang=en;tok=t0k;SID=abc123"},
      {"http://img.www.example.com/", "SID=abc123"},  // under the cookie's domain
      {"http://shop.example.com/docs/", "lang=en"},   // SID is www.example.com's only
      {"http://example.com/", ""},
  };
  for (const auto& k : cases) EXPECT_EQ(l.CookieHeader(k.url), k.want) << k.url;
}

TEST_F(CookieImportTest, WithoutUserNameOnlyAnyuserFiles) {
  TCookieList l;
  l.ImportBrowserCookies(Dir.string(), "");
  EXPECT_EQ(l.Count(), 3);
}

TEST_F(CookieImportTest, ReadsFromTheProgramFolder) {
  test::TEnvScope env;
  env.Set("QUENDRAVILOS_HOME", Dir.string());
  TCookieList l;
  l.ImportBrowserCookies();
  // The anyuser files at least; the fixtures hold none of this account's.
  EXPECT_GE(l.Count(), 2);
  EXPECT_EQ(l.CookieHeader("http://www.example.com/"), "SID=abc123");
}

TEST_F(CookieImportTest, AnUnreadableFileIsSkippedAndTheOthersImported) {
  // Larger than any cookie file: refused as unreadable, as is a vanished one.
  { std::ofstream big(Dir / "Cookies" / "anyuser@aaa[1].txt"); }
  fs::resize_file(Dir / "Cookies" / "anyuser@aaa[1].txt", 64u << 20);
  TCookieList l;
  EXPECT_FALSE(l.ImportCookieFile((Dir / "Cookies" / "anyuser@aaa[1].txt").string()));
  EXPECT_FALSE(l.ImportCookieFile((Dir / "Cookies" / "gone.txt").string()));
  l.ImportBrowserCookies(Dir.string(), "joe");
  EXPECT_EQ(l.Count(), 5);
}

TEST_F(CookieImportTest, MalformedRecordsReadAsFarAsTheyGo) {
  const fs::path f = Dir / "odd.txt";
  std::ofstream(f) << "a\n1\nhost.example.com\n*\nb\n2\n\n\n[::1]:8080/x\nno star line\n"
                   << "c\n3\n";  // cut short: ignored
  TCookieList l;
  EXPECT_TRUE(l.ImportCookieFile(f.string()));
  EXPECT_EQ(Keys(l), (std::vector<std::string>{"[::1] /x b=2", "example.com / a=1"}));
}

// Workers add and read cookies concurrently (run under TSan).
TEST(CookieListTest, ConcurrentUse) {
  TCookieList l;
  std::vector<std::thread> ts;
  for (int t = 0; t < 4; ++t)
    ts.emplace_back([&l, t] {
      for (int i = 0; i < 200; ++i) {
        const std::string url =
            "http://h" + std::to_string(i % 2) + ".example.com/p" + std::to_string(t) + "/x";
        l.ParseSetCookie("c" + std::to_string(i % 5) + "=" + std::to_string(i), url);
        (void)l.CookieHeader(url);
      }
    });
  for (auto& t : ts) t.join();
  EXPECT_EQ(l.Count(), 2 * 4 * 5);  // 2 hosts, 4 paths, 5 names
}

}  // namespace
}  // namespace qv
