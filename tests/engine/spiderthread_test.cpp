// The spider thread: its pure parts by tables (link-follow rows, FTP
// listings, the scope of a queued link), a page scanned tag by tag, and whole
// items against in-process scripted servers for the faults a real server
// will not make.

#include "engine/spiderthread.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <thread>

#include "engine/htmlparser.h"
#include "engine/robots.h"
#include "engine/urladder.h"
#include "model/linkfollow.h"
#include "model/tvurlutils.h"
#include "model/uriparser.h"
#include "model/vkcache.h"
#include "model/vkfile.h"
#include "model/vkglobal.h"
#include "model/vkurllist.h"
#include "model/weblocal.h"
#include "support/envscope.h"
#include "support/scratchdir.h"
#include "support/scriptedftp.h"
#include "support/scriptedserver.h"
#include "support/workerrun.h"

namespace qv {
namespace {

using namespace std::chrono_literals;
using test::HttpReply;
using test::TScriptedReply;
using test::TScriptedServer;

// --- link-follow rows ---

TAtrRow Row(const char* pattern, TFilterChoice choice) { return {pattern, choice}; }

TEST(CanFollowLink, Table) {
  struct Case {
    const char* name;
    std::vector<TAtrRow> rows;
    const char* url;
    const char* text;
    bool follow;
  } cases[] = {
      {"empty grid", {}, "http://a.com/x.html", "x", true},
      {"No matching url", {Row("*/private/*", fcNo)}, "http://a.com/private/x.html", "", false},
      {"No not matching", {Row("*/private/*", fcNo)}, "http://a.com/pub/x.html", "", true},
      {"No ignores case", {Row("*/PRIVATE/*", fcNo)}, "http://a.com/private/x", "", false},
      {"No(T) tests the text", {Row("*logout*", fcNoT)}, "http://a.com/x", "Logout now", false},
      {"No(T) never tests the url", {Row("*logout*", fcNoT)}, "http://a.com/logout", "bye", true},
      {"All beats No",
       {Row("*/private/ok*", fcAll), Row("*/private/*", fcNo)},
       "http://a.com/private/ok.html",
       "",
       true},
      {"All(T) beats No",
       {Row("*/private/*", fcNo), Row("Home", fcAllT)},
       "http://a.com/private/x",
       "home",
       true},
      {"Only matching", {Row("*/docs/*", fcOnly)}, "http://a.com/docs/a.html", "", true},
      {"Only with no match", {Row("*/docs/*", fcOnly)}, "http://a.com/blog/a.html", "", false},
      {"Only(T) on the text", {Row("Chapter*", fcOnlyT)}, "http://a.com/7", "chapter 7", true},
      {"Only(T) with no match", {Row("Chapter*", fcOnlyT)}, "http://a.com/7", "next", false},
      {"one of two Only rows",
       {Row("*/docs/*", fcOnly), Row("*/faq*", fcOnly)},
       "http://a.com/faq.html",
       "",
       true},
      {"Only then No",
       {Row("*/docs/*", fcOnly), Row("*old*", fcNo)},
       "http://a.com/docs/old.html",
       "",
       false},
      {"whole text, not a part", {Row("docs", fcNo)}, "http://a.com/docs/", "", true},
      {"choice none is no rule", {Row("*", fcNone)}, "http://a.com/", "", true},
  };
  for (const auto& c : cases) EXPECT_EQ(CanFollowLink(c.rows, c.url, c.text), c.follow) << c.name;
}

// --- FTP listings ---

TEST(ParseFTPListing, Table) {
  const std::string dir = "ftp://f.org/pub";
  const std::string longLine = "-rw-r--r-- 1 u g 5 Jan 1 00:00 " + std::string(70000, 'x');
  const std::vector<std::string> lines = {
      "total 12",
      "drwxr-xr-x   2 ftp ftp      4096 Jan  1 00:00 .",
      "drwxr-xr-x   2 ftp ftp      4096 Jan  1 00:00 ..",
      "drwxr-xr-x   2 ftp ftp      4096 Jan  1 00:00 docs",
      "-rw-r--r--   1 ftp ftp     12345 Jan  1 00:00 read me.txt\r",
      "-rw-r--r--   1 ftp ftp 99999999999999999999999 Jan  1 00:00 huge.iso",
      "-rw-r--r--   1 ftp ftp      huge Jan  1 00:00 garbled.bin",
      "lrwxrwxrwx   1 ftp ftp         7 Jan  1 00:00 latest -> docs/v2",
      "drwxr-xr-x   2 ftp ftp      4096 Jan  1 00:00 ..hidden",
      "-rw-r--r--   1 ftp ftp         1 Jan  1 00:00 a/b",
      longLine,
      "01-02-24  10:00AM       <DIR>          Old",
      "01-02-24  10:00AM                  300 setup.exe",
      "",
      "-rw-r--r--   1 ftp ftp         9 Jan  1 00:00 last.txt",
  };
  const std::vector<TFTPListEntry> expected = {
      {"ftp://f.org/pub/docs/", true, 0},
      {"ftp://f.org/pub/read%20me.txt", false, 12345},
      {"ftp://f.org/pub/huge.iso", false, INT64_MAX},
      {"ftp://f.org/pub/latest/", true, 0},
      {"ftp://f.org/pub/Old/", true, 0},
      {"ftp://f.org/pub/setup.exe", false, 300},
      {"ftp://f.org/pub/last.txt", false, 9},
  };
  const auto got = ParseFTPListing(lines, dir);
  ASSERT_EQ(got.size(), expected.size());
  for (size_t i = 0; i < got.size(); ++i) {
    // The resolver may or may not escape the blank; compare the rest.
    if (expected[i].URL.find("%20") != std::string::npos) {
      EXPECT_TRUE(got[i].URL == expected[i].URL || got[i].URL == "ftp://f.org/pub/read me.txt")
          << got[i].URL;
      EXPECT_EQ(got[i].Size, expected[i].Size);
      continue;
    }
    EXPECT_EQ(got[i], expected[i]) << i << " " << got[i].URL;
  }
  // A first line that is a real entry is read.
  const auto first = ParseFTPListing({"-rw-r--r--   1 ftp ftp 9 Jan  1 00:00 only.txt"}, dir);
  ASSERT_EQ(first.size(), 1u);
  EXPECT_EQ(first[0].URL, "ftp://f.org/pub/only.txt");
}

// --- the thread on its own ---

class SpiderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CreateGlobals();
    Context.Adder = &Adder;
    Context.Robots = &Robots;
    Context.LocalWebDir = [this] { return Root.Path; };
    Context.Settings = &Settings;
    Options.EnterNoRobChk = true;
    Options.TimeOutUD = 5;
    Options.DLRetriesUD = 2;
    Options.UserAgEd = "QvTest";
  }
  void TearDown() override {
    if (Thread) Thread->WaitFor();
    Thread.reset();
    FreeGlobals();
  }

  // A thread that is not started, on a snapshot of Options.
  TSpiderThread& Idle() {
    Settings.Publish(std::make_shared<const TSettings>(Options));
    StartJob(Options, &Context);
    Thread = std::make_unique<TSpiderThread>(&List, Context, &Queue);
    Thread->TakeSnapshot();
    return *Thread;
  }

  // One job over the URLs on one thread, to its end.
  void RunJob(const std::vector<std::string>& urls, int depth = 1, uint8_t siteMode = 0) {
    Settings.Publish(std::make_shared<const TSettings>(Options));
    StartJob(Options, &Context);
    for (const auto& u : urls) {
      TActiveDL item;
      item.URL = u;
      item.Depth = depth;
      item.SiteMode = siteMode;
      item.Origin = 1;
      item.RetriesLeft = Options.DLRetriesUD;
      Queue.Add(item, false);
    }
    Thread = std::make_unique<TSpiderThread>(&List, Context, &Queue);
    test::RunWorkerToItsEnd(*Thread, List);
  }

  std::set<std::string> Queued() {
    std::set<std::string> out;
    std::lock_guard<TSpinningMutex> g(JobLock);
    for (int i = 0; i < Queue.Count(); ++i) out.insert(Queue.Item(i).URL);
    return out;
  }
  const TActiveDL* QueuedItem(const std::string& url) {
    std::lock_guard<TSpinningMutex> g(JobLock);
    const int i = Queue.IndexOfURL(url);
    return i >= 0 ? &Queue.Item(i) : nullptr;
  }
  TVkURLItem* Listed(const std::string& url) {
    std::lock_guard<TCriticalSection> g(*URLListLock);
    return GlobalURLList->FindItem(url);
  }

  test::TScratchHome Home;  // the cache lives in its program folder
  test::TScratchDir Root;
  TOutbox Outbox;
  TURLAdder Adder{Outbox};
  TRobotsStore Robots;
  TPublished<TSettings> Settings;
  TSettings Options;
  TJobContext Context;
  TDLList Queue;
  TVkThreadList List;
  std::unique_ptr<TSpiderThread> Thread;
};

// Site mode x host x depth, for an anchor, a frame and a style-sheet link on
// one page: every link is recorded, and queued (with its mode and level) or
// dropped by the scope rules.
TEST_F(SpiderTest, ScopeTable) {
  struct Want {
    bool queued;
    uint8_t mode;
    int depth;
  };
  constexpr Want kDropped{false, 0, 0};
  struct Case {
    const char* name;
    uint8_t siteMode;
    int depth;
    bool otherHost;
    Want anchor, frame, link;
  } cases[] = {
      {"mode 0 same host depth 0", 0, 0, false, kDropped, {true, 0, 0}, {true, 0, 0}},
      {"mode 0 same host depth 1", 0, 1, false, {true, 0, 0}, {true, 0, 1}, {true, 0, 1}},
      {"mode 0 other host depth 0", 0, 0, true, kDropped, {true, 0, 0}, {true, 0, 0}},
      {"mode 0 other host depth 1", 0, 1, true, {true, 0, 0}, {true, 0, 1}, {true, 0, 1}},
      {"mode 1 same host depth 0", 1, 0, false, kDropped, {true, 1, 0}, {true, 1, 0}},
      {"mode 1 same host depth 1", 1, 1, false, {true, 1, 0}, {true, 1, 1}, {true, 1, 1}},
      {"mode 1 other host depth 0", 1, 0, true, kDropped, {true, 0, 0}, {true, 0, 0}},
      // Recorded, not queued; a frame there is fetched but not explored.
      {"mode 1 other host depth 1", 1, 1, true, kDropped, {true, 0, 0}, {true, 0, 0}},
      // The host costs no level.
      {"mode 2 same host depth 0", 2, 0, false, {true, 2, 0}, {true, 2, 0}, {true, 2, 0}},
      {"mode 2 same host depth 1", 2, 1, false, {true, 2, 1}, {true, 2, 1}, {true, 2, 1}},
      {"mode 2 other host depth 0", 2, 0, true, kDropped, {true, 0, 0}, {true, 0, 0}},
      {"mode 2 other host depth 1", 2, 1, true, {true, 0, 0}, {true, 0, 1}, {true, 0, 1}},
  };
  TSpiderThread& t = Idle();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Queue.Clear();
    {
      std::lock_guard<TCriticalSection> g(*URLListLock);
      GlobalURLList->ClearItems();
    }
    t.Current = TActiveDL();
    t.Current.URL = "http://a.com/dir/page.html";
    t.Current.SiteBase = t.Current.URL;
    t.Current.BaseURL = t.Current.URL;
    t.Current.SiteMode = c.siteMode;
    t.Current.Depth = c.depth;
    const std::string host = c.otherHost ? "http://b.com/" : "http://a.com/";
    const std::string anchor = host + "a.html", frame = host + "f.html", link = host + "s.css";
    t.PageText = "<html><head><link rel=stylesheet href=\"" + link + "\"></head><frameset>" +
                 "<frame src=\"" + frame + "\"></frameset><a href=\"" + anchor + "\">A</a></html>";
    const char* cursor = t.PageText.c_str();
    while (t.ProcessTag(cursor)) {
    }
    std::set<std::string> expected;
    for (const auto& [url, q] :
         {std::pair<std::string, Want>{anchor, c.anchor}, {frame, c.frame}, {link, c.link}}) {
      SCOPED_TRACE(url);
      TVkURLItem* rec = Listed(url);
      ASSERT_NE(rec, nullptr) << "every link is recorded";
      EXPECT_EQ(rec->ParentURL, t.Current.URL);
      EXPECT_EQ(rec->PageFileFlag, 0);
      const TActiveDL* item = QueuedItem(url);
      ASSERT_EQ(item != nullptr, q.queued);
      if (!item) continue;
      expected.insert(url);
      EXPECT_EQ(item->SiteMode, q.mode);
      EXPECT_EQ(item->Depth, q.depth);
      EXPECT_EQ(item->ParentURL, t.Current.URL);
      EXPECT_EQ(item->RetriesLeft, 2);
    }
    EXPECT_EQ(Queued(), expected) << "nothing else is queued";
  }
}

TEST_F(SpiderTest, ScopeMeasuredFromTheRedirectedAddressOfARootItem) {
  TSpiderThread& t = Idle();
  // A root item redirected to another host measures its site there.
  t.Current.URL = "http://a.com/";
  t.Current.SiteBase = "http://b.com/";
  t.Current.Origin = 1;
  t.Current.SiteMode = 1;
  t.Current.Depth = 1;
  EXPECT_TRUE(t.EnqueueLink("http://b.com/in.html", false, 0));
  EXPECT_FALSE(t.EnqueueLink("http://a.com/out.html", false, 0));
}

TEST_F(SpiderTest, VisitedAndPageOnlyAndFTPRules) {
  Options.OnlyHTMChk = true;
  TSpiderThread& t = Idle();
  t.Current.URL = "http://a.com/";
  t.Current.SiteBase = t.Current.URL;
  t.Current.Depth = 3;
  {
    std::lock_guard<TSpinningMutex> g(JobLock);
    VisitedList.insert("http://a.com/seen.html");
  }
  EXPECT_TRUE(t.EnqueueLink("http://a.com/seen.html", false, 0));
  EXPECT_FALSE(t.EnqueueLink("http://a.com/pic.png", false, 0));
  EXPECT_TRUE(t.EnqueueLink("http://a.com/style.CSS", true, 0));
  EXPECT_TRUE(t.EnqueueLink("ftp://f.org/pub", false, 0));
  EXPECT_FALSE(t.EnqueueLink("ftp://f.org/pub/file.zip", false, 0));
  EXPECT_EQ(Queued(), (std::set<std::string>{"http://a.com/style.CSS", "ftp://f.org/pub"}));
  // Without FTP spidering an FTP folder is listed but not descended.
  EXPECT_EQ(QueuedItem("ftp://f.org/pub")->Depth, 0);
}

TEST_F(SpiderTest, FrameChainsStopAfterTheBound) {
  TSpiderThread& t = Idle();
  t.Current.URL = "http://a.com/f63.html";
  t.Current.SiteBase = t.Current.URL;
  t.Current.EmbeddedHops = TSpiderThread::MaxEmbeddedHops - 1;
  EXPECT_TRUE(t.EnqueueLink("http://a.com/f64.html", true, 0));
  EXPECT_EQ(QueuedItem("http://a.com/f64.html")->EmbeddedHops, TSpiderThread::MaxEmbeddedHops);
  t.Current.URL = "http://a.com/f64.html";
  t.Current.EmbeddedHops = TSpiderThread::MaxEmbeddedHops;
  EXPECT_FALSE(t.EnqueueLink("http://a.com/f65.html", true, 0));
  // An anchor starts the count again.
  t.Current.Depth = 1;
  EXPECT_TRUE(t.EnqueueLink("http://a.com/next.html", false, 0));
  EXPECT_EQ(QueuedItem("http://a.com/next.html")->EmbeddedHops, 0);
}

TEST_F(SpiderTest, PageScanRecordsEveryLinkAndQueuesWhatMayBeFollowed) {
  Options.EnterNoRobChk = false;
  Options.LinkFollowGrid = {Row("*/skip/*", fcNo)};
  TSpiderThread& t = Idle();
  t.Current.URL = "http://a.com/dir/page.html";
  t.Current.SiteBase = t.Current.URL;
  t.Current.BaseURL = t.Current.URL;
  t.Current.Depth = 1;
  t.PageText =
      "<html><head><title>T</title><link href=\"s.css\" rel=stylesheet>"
      "<meta http-equiv=\"refresh\" content=\"5; url=next.html\"></head>"
      "<body background=\"bg.gif\"><a href=\"one.html#frag\">One</a>"
      "<a href=\"q.cgi?x=1\"><img src=\"i.gif\" alt=\"Pic\"></a>"
      "<a href=\"/skip/two.html\">Two</a><a href=\"/skip/three.html\">Three</a>"
      "<frameset><frame src=\"f.html\" longdesc=\"d.txt\"></frameset>"
      "<img src=\"p.png\" usemap=\"#m\" alt=\"Map\"><map><area href=\"area.html\" alt=\"A\"></map>"
      "<SCRIPT src=\"j.js\"></SCRIPT><script src=\"k.js\"></script>"
      "<script>var s = '<a href=\"code.html\">';</script>"
      "<meta name=\"robots\" content=\"index, NOFOLLOW\">"
      "<a href=\"after.html\">After</a></body></html>";
  const char* cursor = t.PageText.c_str();
  while (t.ProcessTag(cursor)) {
  }
  EXPECT_EQ(Queued(),
            (std::set<std::string>{"http://a.com/dir/s.css", "http://a.com/dir/next.html",
                                   "http://a.com/dir/one.html", "http://a.com/dir/q.cgi?x=1",
                                   "http://a.com/dir/f.html", "http://a.com/dir/area.html"}));
  struct Expect {
    const char* url;
    uint8_t pageFile;
    const char* title;
  } found[] = {
      {"http://a.com/dir/s.css", 0, ""},        {"http://a.com/dir/next.html", 0, ""},
      {"http://a.com/dir/bg.gif", 1, ""},       {"http://a.com/dir/one.html", 0, "One"},
      {"http://a.com/dir/q.cgi?x=1", 0, "Pic"}, {"http://a.com/skip/two.html", 0, "Two"},
      {"http://a.com/dir/f.html", 0, ""},       {"http://a.com/dir/d.txt", 1, ""},
      {"http://a.com/dir/p.png", 1, "Map"},     {"http://a.com/dir/area.html", 0, "A"},
      {"http://a.com/dir/j.js", 1, ""},         {"http://a.com/dir/k.js", 1, ""},
  };
  for (const auto& f : found) {
    TVkURLItem* rec = Listed(f.url);
    ASSERT_NE(rec, nullptr) << f.url;
    EXPECT_EQ(rec->ParentURL, t.Current.URL) << f.url;
    EXPECT_EQ(rec->PageFileFlag, f.pageFile) << f.url;
    EXPECT_EQ(rec->Title, f.title) << f.url;
    EXPECT_EQ(rec->Size, -1) << f.url;
  }
  EXPECT_EQ(Listed("http://a.com/dir/q.cgi?x=1")->ImageURL, "http://a.com/dir/i.gif");
  EXPECT_EQ(Listed("http://a.com/dir/after.html"), nullptr) << "read past nofollow";
  EXPECT_EQ(Listed("http://a.com/dir/code.html"), nullptr) << "read a script's code";
  EXPECT_EQ(Robots.NoFollowSnapshot(), (std::vector<std::string>{"http://a.com/dir/page.html"}));
  // Two skipped anchors, one warning.
  const auto drained = Outbox.Drain();
  ASSERT_EQ(drained.StatusTexts.size(), 1u);
  EXPECT_EQ(drained.StatusTexts[0], TSpiderThread::kFollowWarning);
}

TEST_F(SpiderTest, BaseMarkerResolvedAgainstTheFetchedAddress) {
  TSpiderThread& t = Idle();
  t.Current.URL = "http://a.com/dir/page.html";
  t.Current.BaseURL = t.Current.URL;
  t.Current.Depth = 1;
  t.PageText = "<html><head><base href=\"../other/\"></head><a href=\"x.html\">x</a></html>";
  InsertBase(t.PageText, "", true);
  const char* cursor = t.PageText.c_str();
  while (t.ProcessTag(cursor)) {
  }
  EXPECT_EQ(Queued(), (std::set<std::string>{"http://a.com/other/x.html"}));
}

// Link values as real pages write them: the URLs the thread records for
// each (fetched with the page or not), then the value the localising pass
// writes back once every recorded URL is stored in a mirror.
TEST_F(SpiderTest, LinkValuesTable) {
  struct TFound {
    std::string URL;
    int PageFile;
    bool operator<(const TFound& o) const { return URL < o.URL; }
    bool operator==(const TFound& o) const = default;
  };
  const std::string d = "http://h/docs/";
  struct Case {
    const char* name;
    std::string tag;
    std::vector<TFound> found;
    std::string written;  // @ROOT@ stands for the mirror's folder
  };
  const std::vector<Case> cases = {
      {"query with &amp;",
       "<a href=\"list.html?sort=asc&amp;view=2\">L</a>",
       {{d + "list.html?sort=asc&view=2", 0}},
       "<a href=\"../list.html_sort=asc&amp;view=2/Data.html\">L</a>"},
      {"unquoted, with &amp;",
       "<a href=v.html?a=1&amp;b=2>V</a>",
       {{d + "v.html?a=1&b=2", 0}},
       "<a href=../v.html_a=1&amp;b=2/Data.html>V</a>"},
      {"numeric references",
       "<a href=\"n.html?a=1&#38;b=2&#x26;c=3&#x2F\">N</a>",
       {{d + "n.html?a=1&b=2&c=3/", 0}},
       "<a href=\"../n.html_a=1&amp;b=2&amp;c=3/Data.html\">N</a>"},
      {"old names without their ;, never before =",
       "<a href=\"o.html?a&amp=1&amp&lt-\">O</a>",
       {{d + "o.html?a&amp=1&<-", 0}},
       "<a href=\"../o.html_a&amp;amp=1&amp;_-/Data.html\">O</a>"},
      {"an unknown name stays as written",
       "<a href=\"u.html?x=1&bogus;y\">U</a>",
       {{d + "u.html?x=1&bogus;y", 0}},
       "<a href=\"../u.html_x=1&amp;bogus;y/Data.html\">U</a>"},
      {"fragment holding Data.",
       "<a href=\"ctypes.html#ctypes._CData.from_address\">c</a>",
       {{d + "ctypes.html", 0}},
       "<a href=\"../ctypes.html/Data.html#ctypes._CData.from_address\">c</a>"},
      {"names that end in Data",
       "<a href=\"files/MyData.pdf\">p</a><a href=\"reportData.csv?y=2\">r</a>",
       {{d + "files/MyData.pdf", 0}, {d + "reportData.csv?y=2", 0}},
       "<a href=\"../files/MyData.pdf/Data.pdf\">p</a><a "
       "href=\"../reportData.csv_y=2/Data.csv\">r</a>"},
      {"a file of the site named Data.min.js",
       "<script src=\"Data.min.js\"></script>",
       {{d + "Data.min.js", 1}},
       "<script src=\"../Data.min.js/Data.js\"></script>"},
      {"a stored body stays as it is",
       "<a href=\"../x.html/Data.html#top\">x</a>",
       {{"http://h/x.html/Data.html", 0}},
       "<a href=\"../x.html/Data.html#top\">x</a>"},
      {"srcset with width descriptors",
       "<img src=\"a-480.png\" srcset=\"a-480.png 480w, a-960.png 960w\" sizes=\"50vw\">",
       {{d + "a-480.png", 1}, {d + "a-960.png", 1}},
       "<img src=\"../a-480.png/Data.png\" srcset=\"../a-480.png/Data.png 480w, "
       "../a-960.png/Data.png 960w\" sizes=\"50vw\">"},
      {"srcset with density descriptors, no src",
       "<img srcset=\"b.png,\n b@2x.png 2x\" alt=B>",
       {{d + "b.png", 1}, {d + "b@2x.png", 1}},
       "<img srcset=\"../b.png/Data.png,\n ../b@2x.png/Data.png 2x\" alt=B>"},
      {"srcset with a comma inside a URL and references",
       "<img srcset=\"c.php?w=1,2&amp;h=3 1x,c2.png 2x\">",
       {{d + "c.php?w=1,2&h=3", 1}, {d + "c2.png", 1}},
       "<img srcset=\"../c.php_w=1,2&amp;h=3/Data.php 1x,../c2.png/Data.png 2x\">"},
      {"picture sources",
       "<picture><source srcset=\"p-1.jpg 1x, p-2.jpg 2x\" type=\"image/jpeg\">",
       {{d + "p-1.jpg", 1}, {d + "p-2.jpg", 1}},
       "<picture><source srcset=\"../p-1.jpg/Data.jpg 1x, ../p-2.jpg/Data.jpg 2x\" "
       "type=\"image/jpeg\">"},
      {"video poster and media",
       "<video poster=\"poster.jpg\" src=\"clip.webm\"><source src=\"clip.mp4\">"
       "<track src=\"c.vtt\"></video><audio src=\"a.ogg\"></audio>",
       {{d + "poster.jpg", 1},
        {d + "clip.webm", 1},
        {d + "clip.mp4", 1},
        {d + "c.vtt", 1},
        {d + "a.ogg", 1}},
       "<video poster=\"../poster.jpg/Data.jpg\" src=\"../clip.webm/Data.webm\">"
       "<source src=\"../clip.mp4/Data.mp4\"><track src=\"../c.vtt/Data.vtt\"></video>"
       "<audio src=\"../a.ogg/Data.ogg\"></audio>"},
      {"search form",
       "<form action=\"search.html\" method=\"get\"><input name=q></form>",
       {{d + "search.html", 0}},
       "<form action=\"../search.html/Data.html\" method=\"get\"><input name=q></form>"},
      {"a form that posts is not fetched",
       "<form method=POST action=\"login.cgi\">",
       {},
       "<form method=POST action=\"http://h/docs/login.cgi\">"},
      {"image button",
       "<input type=\"image\" src=\"go.png\" formaction=\"find.html\">",
       {{d + "go.png", 1}},
       "<input type=\"image\" src=\"../go.png/Data.png\" formaction=\"http://h/docs/find.html\">"},
      {"frames, objects and embeds",
       "<iframe src=\"frame.html\"></iframe><object data=\"d.svg\"></object><embed src=\"e.svg\">",
       {{d + "frame.html", 0}, {d + "d.svg", 1}, {d + "e.svg", 1}},
       "<iframe src=\"../frame.html/Data.html\"></iframe><object data=\"../d.svg/Data.svg\">"
       "</object><embed src=\"../e.svg/Data.svg\">"},
      {"icon",
       "<link rel=\"icon\" href=\"favicon.ico\">",
       {{d + "favicon.ico", 0}},
       "<link rel=\"icon\" href=\"../favicon.ico/Data.ico\">"},
      {"a quotation's source is made absolute",
       "<blockquote cite=\"../src.html\">",
       {},
       "<blockquote cite=\"http://h/src.html\">"},
      {"style attribute",
       "<div style=\"background: url(bg.png) no-repeat\">",
       {{d + "bg.png", 1}},
       "<div style=\"background: url(../bg.png/Data.png) no-repeat\">"},
      {"style attribute with references",
       "<p style=\"background-image:url(&quot;q.png?a=1&amp;b=2&quot;)\">",
       {{d + "q.png?a=1&b=2", 1}},
       "<p style=\"background-image:url(&quot;../q.png_a=1&amp;b=2/Data.png&quot;)\">"},
      {"style attribute in single quotes, on an anchor",
       "<a href=\"s.html\" style='background:url(\"r.png\")'>s</a>",
       {{d + "s.html", 0}, {d + "r.png", 1}},
       "<a href=\"../s.html/Data.html\" style='background:url(\"../r.png/Data.png\")'>s</a>"},
      {"style element",
       "<style media=screen>@import \"u.css\"; .x { background: url(t.png) }</STYLE><p>",
       {{d + "u.css", 0}, {d + "t.png", 1}},
       "<style media=screen>@import \"../u.css/Data.css\"; .x { background: "
       "url(../t.png/Data.png) }</STYLE><p>"},
      {"meta refresh with &amp;",
       "<meta http-equiv=\"refresh\" content=\"0; url=next.html?a=1&amp;b=2\">",
       {{d + "next.html?a=1&b=2", 0}},
       "<meta http-equiv=\"refresh\" content=\"0; "
       "url=file://@ROOT@/http/h/docs/next.html_a=1%26b=2/Data.html\">"},
  };
  TSpiderThread& t = Idle();
  std::atomic<bool> abort{false};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Queue.Clear();
    std::vector<TFound> found;
    {
      std::lock_guard<TCriticalSection> g(*URLListLock);
      GlobalURLList->ClearItems();
    }
    t.Current = TActiveDL();
    t.Current.URL = d + "page.html";
    t.Current.SiteBase = t.Current.URL;
    t.Current.BaseURL = t.Current.URL;
    t.Current.Depth = 1;
    t.PageText = c.tag;
    const char* cursor = t.PageText.c_str();
    while (t.ProcessTag(cursor)) {
    }
    {
      std::lock_guard<TCriticalSection> g(*URLListLock);
      for (int i = 0; i < GlobalURLList->Count(); ++i)
        found.push_back({GlobalURLList->GetItem(i)->URL, GlobalURLList->GetItem(i)->PageFileFlag});
    }
    std::sort(found.begin(), found.end());
    std::vector<TFound> want = c.found;
    std::sort(want.begin(), want.end());
    EXPECT_EQ(found, want);

    test::TScratchDir mirror;
    found.push_back({t.Current.URL, 0});
    for (const TFound& f : found) {
      const std::string ext = SplitURLPath(f.URL).Ext;
      test::WriteBytes(
          NativePath(URLToLocalPath(mirror.Path, f.URL, "Data", ext.empty() ? ".html" : ext)), "x");
    }
    std::string page = c.tag;
    LocaliseHTMLText(page, t.Current.URL, mirror.Path, abort);
    std::string written = c.written;
    if (const std::size_t at = written.find("@ROOT@"); at != std::string::npos)
      written.replace(at, 6, mirror.Path);
    EXPECT_EQ(page, written);
  }
}

// A zero byte in a page or a style sheet hides no link after it.
TEST_F(SpiderTest, AZeroByteHidesNoLinkAfterIt) {
  using namespace std::string_literals;
  struct Case {
    const char* name;
    const char* type;
    std::string text;
    std::vector<std::string> found;
  };
  const std::vector<Case> cases = {
      {"page",
       "text/html",
       "<p>a\0b</p>\0\0<a href=\"after.html\">x</a>\0<img src=\"i.png\">"s,
       {"http://a.com/after.html", "http://a.com/i.png"}},
      {"style sheet",
       "text/css",
       "a { b: url(1.png) }\0\0c { d: url(2.png) }"s,
       {"http://a.com/1.png", "http://a.com/2.png"}},
  };
  TSpiderThread& t = Idle();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    {
      std::lock_guard<TCriticalSection> g(*URLListLock);
      GlobalURLList->ClearItems();
    }
    t.Current = TActiveDL();
    t.Current.URL = "http://a.com/page.html";
    t.Current.BaseURL = t.Current.URL;
    t.Current.Depth = 1;
    t.PageText = c.text;
    t.ScanPage(c.type);
    std::vector<std::string> found;
    {
      std::lock_guard<TCriticalSection> g(*URLListLock);
      for (int i = 0; i < GlobalURLList->Count(); ++i)
        found.push_back(GlobalURLList->GetItem(i)->URL);
    }
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, c.found);
  }
}

// --- whole items against scripted servers ---

std::string CacheFile(const std::string& url, const std::string& kind) {
  std::string name;
  return ReadCacheFile(kind, name, url);
}

TEST_F(SpiderTest, NotModifiedScansTheCacheAndLeavesItAlone) {
  TScriptedServer server(TScriptedServer::Replies(
      {HttpReply("HTTP/1.1 304 Not Modified", "", {"Date: Tue, 01 Dec 2026 10:00:00 GMT"})}));
  const std::string url = server.Url("/dir/page.html");
  const std::string page = "<html><head></head><a href=\"cached.html\">c</a></html>";
  const std::string head =
      "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nLast-Modified: Mon, 30 Nov 2026 "
      "10:00:00 GMT\r\n";
  ASSERT_TRUE(WriteCacheFile("Data", url, page, ".html"));
  ASSERT_TRUE(WriteCacheFile("Head", url, head, ".txt"));
  RunJob({url}, 0);
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_NE(requests[0].find("If-Modified-Since:"), std::string::npos) << requests[0];
  EXPECT_EQ(CacheFile(url, "Data"), page);
  EXPECT_EQ(CacheFile(url, "Head"), head);
  TVkURLItem* rec = Listed(url);
  ASSERT_NE(rec, nullptr);
  EXPECT_EQ(rec->GetStatus(), usDownloaded);
  EXPECT_EQ(rec->Details, "Retrieved from cache");
  EXPECT_NE(Listed(server.Url("/dir/cached.html")), nullptr);
}

TEST_F(SpiderTest, NotModifiedWithoutACopyIsRetried) {
  TScriptedServer server(TScriptedServer::Replies({HttpReply("HTTP/1.1 304 Not Modified", ""),
                                                   HttpReply("HTTP/1.1 304 Not Modified", ""),
                                                   HttpReply("HTTP/1.1 304 Not Modified", "")}));
  Options.DLRetriesUD = 1;
  const std::string url = server.Url("/p.html");
  RunJob({url});
  EXPECT_EQ(CacheFile(url, "Data"), "");
  ASSERT_NE(Listed(url), nullptr);
  EXPECT_EQ(Listed(url)->Details, "Not Modified (304)");
  // Tried again once (the retry list goes back into the queue when it runs
  // dry).
  EXPECT_EQ(server.Requests().size(), 2u);
}

// A page that could not be taken says why, not the status of its answer.
TEST_F(SpiderTest, AFailedPageRecordsWhyItFailed) {
  struct Case {
    const char* name;
    std::string reply;  // to every request
    std::string details;
  };
  const std::vector<Case> cases = {
      {"page cut short",
       "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 100\r\n\r\n<a href=x>",
       "Body truncated: the connection closed before its end"},
      {"a status", HttpReply("HTTP/1.1 404 Not Found", "gone"), "Not Found (404)"},
      {"redirection to a file: URL",
       HttpReply("HTTP/1.1 302 Found", "", {"Location: file:///etc/passwd"}),
       "Request refused: not an http or https URL: file:///etc/passwd"},
  };
  Options.DLRetriesUD = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TScriptedServer server([&c](test::TScriptedConn& conn) {
      if (!conn.ReadRequest().empty()) conn.Send(c.reply);
    });
    const std::string url = server.Url("/p.html");
    RunJob({url}, 0);
    Thread.reset();
    ASSERT_NE(Listed(url), nullptr);
    EXPECT_EQ(Listed(url)->GetStatus(), usFailed);
    EXPECT_EQ(Listed(url)->Details, c.details);
    EXPECT_EQ(server.Requests().size(), 1u);
  }
}

// The links of a redirected page resolve against where it was found: its
// own address when it has no place for a base marker, its own base (taken
// against that address) when it names one.
TEST_F(SpiderTest, RedirectedPageLinksResolveAgainstTheFinalAddress) {
  struct Case {
    const char* name;
    const char* body;
    std::vector<const char*> found;
  } cases[] = {
      {"page without a head", "<a href=\"rel.html\">r</a>", {"/b/rel.html"}},
      {"relative base, links on both sides",
       "<a href=\"first.html\">f</a><base href=\"sub/\"><a href=\"second.html\">s</a>",
       {"/b/sub/first.html", "/b/sub/second.html"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    {
      std::lock_guard<TCriticalSection> g(*URLListLock);
      GlobalURLList->ClearItems();
    }
    TScriptedServer server(TScriptedServer::Replies(
        {HttpReply("HTTP/1.1 302 Found", "", {"Location: /b/final.html"}),
         HttpReply("HTTP/1.1 200 OK", c.body, {"Content-Type: text/html"})}));
    const std::string url = server.Url("/a/start.html");
    RunJob({url}, 0);
    Thread.reset();
    EXPECT_EQ(server.Requests().size(), 2u);
    for (const char* path : c.found) EXPECT_NE(Listed(server.Url(path)), nullptr) << path;
    // The redirected page is not cached under the address asked for.
    EXPECT_EQ(CacheFile(url, "Data"), "");
  }
}

// The fetch follows Location and Content-Location answers until one names
// the address just fetched or one met before in this item.
TEST_F(SpiderTest, HopsEndAtAnAddressAlreadyFetched) {
  const std::string page = "<html><head></head><a href=\"x.html\">x</a></html>";
  auto ok = [&](const char* contentLocation) {
    return HttpReply(
        "HTTP/1.1 200 OK", page,
        {"Content-Type: text/html", std::string("Content-Location: ") + contentLocation});
  };
  auto moved = [](const char* location) {
    return HttpReply("HTTP/1.1 302 Found", "", {std::string("Location: ") + location});
  };
  // Enough answers for every hop, so a loop shows as extra requests.
  auto alternating = [](const TScriptedReply& a, const TScriptedReply& b) {
    std::vector<TScriptedReply> out;
    for (int i = 0; i < 10; ++i) out.insert(out.end(), {a, b});
    return out;
  };
  struct Case {
    const char* name;
    std::vector<TScriptedReply> replies;
    size_t requests;
    uint8_t status;
  } cases[] = {
      {"a page naming itself", alternating(ok("/p.html"), ok("/p.html")), 1, 50},
      {"two pages naming each other", alternating(ok("/q.html"), ok("/p.html")), 2, 50},
      {"two redirections to each other", alternating(moved("/q.html"), moved("/p.html")), 2, 30},
  };
  Options.DLRetriesUD = 0;
  for (auto& c : cases) {
    SCOPED_TRACE(c.name);
    {
      std::lock_guard<TCriticalSection> g(*URLListLock);
      GlobalURLList->ClearItems();
    }
    TScriptedServer server(TScriptedServer::Replies(c.replies));
    RunJob({server.Url("/p.html")}, 0);
    Thread.reset();
    EXPECT_EQ(server.Requests().size(), c.requests);
    ASSERT_NE(Listed(server.Url("/p.html")), nullptr);
    EXPECT_EQ(Listed(server.Url("/p.html"))->Status, c.status);
  }
}

// Answers by request target; "" answers every other target.
test::TScriptedServer::THandler ByTarget(std::map<std::string, std::string> replies) {
  return [replies = std::move(replies)](test::TScriptedConn& c) {
    for (std::string r = c.ReadRequest(); !r.empty(); r = c.ReadRequest()) {
      const size_t from = r.find(' ') + 1;
      const auto it = replies.find(r.substr(from, r.find(' ', from) - from));
      c.Send(it != replies.end() ? it->second : replies.at(""));
    }
  };
}

std::map<std::string, int> AskedByTarget(const TScriptedServer& server) {
  std::map<std::string, int> asked;
  for (const std::string& r : server.Requests()) {
    const size_t from = r.find(' ') + 1;
    ++asked[r.substr(from, r.find(' ', from) - from)];
  }
  return asked;
}

// The page a redirection leads to is the page of that address too: asked
// for once, through the redirection, and not again when a link to it comes
// up. Each address keeps its own copy: the redirected one with the marker of
// where its page came from, the target's as its own fetch would leave it.
TEST_F(SpiderTest, ARedirectionsTargetIsAskedForOnce) {
  const std::string target = "<html><head></head><a href=\"/\">home</a></html>";
  TScriptedServer server(ByTarget({
      {"/a-moved.html", HttpReply("HTTP/1.1 302 Found", "", {"Location: /b-page.html"})},
      {"/b-page.html", HttpReply("HTTP/1.1 200 OK", target, {"Content-Type: text/html"})},
      {"", HttpReply("HTTP/1.1 200 OK",
                     "<html><head></head><a href=\"a-moved.html\">a</a>"
                     "<a href=\"b-page.html\">b</a></html>",
                     {"Content-Type: text/html"})},
  }));
  // The redirected link sorts first: its target is still queued when the
  // redirection reaches it.
  RunJob({server.Url("/")}, 2);
  EXPECT_EQ(AskedByTarget(server),
            (std::map<std::string, int>{{"/", 1}, {"/a-moved.html", 1}, {"/b-page.html", 1}}));
  auto stored = [this](const std::string& url) {
    return test::ReadBytes(NativePath(URLToLocalPath(Root.Path, url, "Data", "")));
  };
  const std::string moved = server.Url("/a-moved.html"), page = server.Url("/b-page.html");
  for (const std::string& url : {moved, page}) {
    ASSERT_NE(Listed(url), nullptr) << url;
    EXPECT_EQ(Listed(url)->GetStatus(), 50) << url;
  }
  EXPECT_EQ(Listed(page)->ParentURL, moved);
  EXPECT_NE(stored(moved).find("<!--TvBASE HREF=\"" + page + "\"-->"), std::string::npos)
      << stored(moved);
  EXPECT_EQ(stored(page), target);
  EXPECT_EQ(CacheFile(page, "Data"), target);
  EXPECT_EQ(CacheFile(moved, "Data"), "");
}

// A linked file that is no page is taken whole when it is small and the
// download job would take it, so the mirror asks for it once; otherwise it is
// cut after its headers, as a page of the wrong type is, and left to the
// download job.
TEST_F(SpiderTest, ALinkedFileThatIsNoPageIsTakenWholeWhenSmall) {
  const std::string png = "\x89PNG\r\n\x1a\n" + std::string(3000, 'p');
  const std::string large(TSpiderThread::MaxTakenFileBytes + 1, 'L');
  struct TCase {
    const char* Name;
    std::string Reply;
    std::vector<std::string> Types;  // the content-type filter's patterns
    bool Taken;
    bool InTheMirror = false;  // an earlier copy is stored
  };
  const std::vector<TCase> cases = {
      {"small", HttpReply("HTTP/1.1 200 OK", png, {"Content-Type: image/png"}), {}, true},
      {"the filter takes its type",
       HttpReply("HTTP/1.1 200 OK", png, {"Content-Type: image/png"}),
       {"image/*", "text/html"},
       true},
      {"in the mirror already",
       HttpReply("HTTP/1.1 200 OK", png, {"Content-Type: image/png"}),
       {},
       false,
       true},
      {"the filter refuses its type",
       HttpReply("HTTP/1.1 200 OK", png, {"Content-Type: image/png"}),
       {"text/html"},
       false},
      {"large", HttpReply("HTTP/1.1 200 OK", large, {"Content-Type: image/png"}), {}, false},
      {"of unknown size",
       "HTTP/1.1 200 OK\r\nContent-Type: image/png\r\nTransfer-Encoding: chunked\r\n\r\n"
       "10\r\n0123456789abcdef\r\n0\r\n\r\n",
       {},
       false},
  };
  Options.DLRetriesUD = 0;
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    {
      std::lock_guard<TCriticalSection> g(*URLListLock);
      GlobalURLList->ClearItems();
    }
    TPublished<TMimeFilter> types;
    TMimeFilter f;
    f.Patterns = c.Types;
    types.Publish(f);
    Context.MimeFilter = &types;
    TScriptedServer server(ByTarget({
        {"/pic.png", c.Reply},
        {"", HttpReply("HTTP/1.1 200 OK", "<a href=\"pic.png\">picture</a>",
                       {"Content-Type: text/html"})},
    }));
    const std::string pic = server.Url("/pic.png");
    const std::string earlier = "an earlier copy";
    if (c.InTheMirror) {
      ASSERT_TRUE(SaveLocalCopy(Root.Path, "Data", pic, earlier, ".png"));
    }
    RunJob({server.Url("/")}, 1);
    Thread.reset();
    Context.MimeFilter = &GlobalMimeFilter();
    EXPECT_EQ(AskedByTarget(server)["/pic.png"], 1);
    ASSERT_NE(Listed(pic), nullptr);
    EXPECT_EQ(Listed(pic)->ContentType, "image/png");
    const std::string body =
        test::ReadBytes(NativePath(URLToLocalPath(Root.Path, pic, "Data", ".png")));
    if (c.Taken) {
      EXPECT_EQ(Listed(pic)->GetStatus(), 50);
      EXPECT_EQ(Listed(pic)->Details, "OK (200)");
      EXPECT_EQ(body, png);
      EXPECT_EQ(CacheFile(pic, "Data"), "") << "the cache holds pages";
    } else {
      EXPECT_EQ(Listed(pic)->GetStatus(), 30);
      EXPECT_EQ(Listed(pic)->Details, "Content filtered");
      EXPECT_EQ(body, c.InTheMirror ? earlier : "");
    }
  }
}

// "/sub" and "/sub/" are one record of the list and one stored file. The
// record keeps the form met first; a page fetched under the other form
// carries the address it came from, or its links would later be read one
// folder too high (or too deep).
TEST_F(SpiderTest, APageFetchedUnderTheOtherSlashFormOfItsRecordCarriesItsAddress) {
  struct TCase {
    const char* Name;
    const char* Listed;
    const char* Fetched;
    bool Marked;
  };
  const TCase cases[] = {
      {"listed without the slash", "/sub", "/sub/", true},
      {"listed with it", "/sub/", "/sub", true},
      {"listed as fetched", "/sub/", "/sub/", false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TScriptedServer server(TScriptedServer::Replies(
        {HttpReply("HTTP/1.1 200 OK", "<html><head></head><a href=\"x.html\">x</a></html>",
                   {"Content-Type: text/html"})}));
    {
      std::lock_guard<TCriticalSection> g(*URLListLock);
      GlobalURLList->ClearItems();
      TVkURLItem r;
      r.URL = server.Url(c.Listed);
      GlobalURLList->AddItem(r, false);
    }
    RunJob({server.Url(c.Fetched)}, 0);
    Thread.reset();
    ASSERT_NE(Listed(server.Url(c.Listed)), nullptr);
    EXPECT_EQ(Listed(server.Url(c.Listed))->URL, server.Url(c.Listed));
    const std::string stored =
        test::ReadBytes(NativePath(URLToLocalPath(Root.Path, server.Url(c.Fetched), "Data", "")));
    EXPECT_EQ(
        stored.find("<!--TvBASE HREF=\"" + server.Url(c.Fetched) + "\"-->") != std::string::npos,
        c.Marked)
        << stored;
    EXPECT_NE(Listed(server.Url(c.Fetched[4] == '/' ? "/sub/x.html" : "/x.html")), nullptr);
  }
}

// With no agent set, the spider's requests name the program, and the
// robots.txt group for that name is the one it obeys.
TEST_F(SpiderTest, RequestsNameTheProgramWhenNoAgentIsSet) {
  Options.UserAgEd = "";
  Options.EnterNoRobChk = false;
  TScriptedServer server([](test::TScriptedConn& conn) {
    for (std::string r; !(r = conn.ReadRequest()).empty();)
      conn.Send(r.rfind("GET /robots.txt ", 0) == 0
                    ? HttpReply("HTTP/1.1 200 OK",
                                "User-agent: *\nDisallow: /\n\n"
                                "User-agent: Quendravilos/1.32\nDisallow: /private/\n",
                                {"Content-Type: text/plain"})
                    : HttpReply("HTTP/1.1 200 OK", "<a href=\"private/x.html\">x</a>",
                                {"Content-Type: text/html"}));
  });
  RunJob({server.Url("/page.html")});
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].rfind("GET /robots.txt ", 0), 0u);
  EXPECT_EQ(requests[1].rfind("GET /page.html ", 0), 0u);
  for (const std::string& r : requests)
    EXPECT_NE(r.find("\r\nUser-Agent: Quendravilos/1.32\r\n"), std::string::npos) << r;
  ASSERT_NE(Listed(server.Url("/private/x.html")), nullptr);
  EXPECT_EQ(Listed(server.Url("/private/x.html"))->Details, "Robot keep out zone");
}

// A server whose greeting never ends leaves one record for the folder
// asked for: a failure that says why.
TEST_F(SpiderTest, AnEndlessFtpGreetingFailsTheFolder) {
  Options.DLRetriesUD = 0;
  for (const bool oneLine : {false, true}) {
    SCOPED_TRACE(oneLine ? "one endless line" : "endless lines");
    test::TScriptedFtp server(
        [oneLine](test::TScriptedFtp& s) { test::ServeEndlessGreeting(s, oneLine); });
    const std::string url = "ftp://127.0.0.1:" + std::to_string(server.Port) + "/";
    RunJob({url});
    Thread.reset();
    std::lock_guard<TCriticalSection> g(*URLListLock);
    ASSERT_EQ(GlobalURLList->Count(), 1);
    TVkURLItem* r = GlobalURLList->FindItem(url);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->GetStatus(), 30);
    EXPECT_EQ(r->Details, oneLine ? "The server's greeting: Line too long (over 16384 bytes)"
                                  : "The server's greeting: Reply too long (over 4096 lines)");
    GlobalURLList->ClearItems();
  }
}

TEST_F(SpiderTest, EmptyPageIsASuccessWithoutLinks) {
  TScriptedServer server(
      TScriptedServer::Replies({HttpReply("HTTP/1.1 200 OK", "", {"Content-Type: text/html"}),
                                HttpReply("HTTP/1.1 200 OK", "", {"Content-Type: text/html"})}));
  RunJob({server.Url("/empty.html")});
  EXPECT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(Listed(server.Url("/empty.html"))->GetStatus(), usDownloaded);
}

}  // namespace
}  // namespace qv

namespace qv {
namespace {

TEST_F(SpiderTest, CacheWriteFailureKeepsTheOneLogEntry) {
  // The program folder is a file: no cache folder can be made in it.
  std::ofstream(Home.Dir / "prog") << "not a folder";
  Options.DLRetriesUD = 0;
  TScriptedServer server(TScriptedServer::Replies(
      {HttpReply("HTTP/1.1 200 OK", "<html><head></head></html>", {"Content-Type: text/html"})}));
  const std::string url = server.Url("/p.html");
  RunJob({url}, 0);
  EXPECT_EQ(Thread->Result, vrWriteError);
  TVkURLItem* rec = Listed(url);
  ASSERT_NE(rec, nullptr);
  EXPECT_EQ(rec->Status, usDownloaded);
  EXPECT_EQ(rec->Details, "OK (200)");
  EXPECT_EQ(server.Requests().size(), 1u);
}

}  // namespace
}  // namespace qv
