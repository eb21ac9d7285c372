// The spider over a fixture site on the local nginx (two hosts), at one and
// at eight threads: what it fetched is read from nginx's access logs, what it
// found from the master list.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include "engine/robots.h"
#include "engine/spiderthread.h"
#include "engine/urladder.h"
#include "model/vkglobal.h"
#include "model/vkurllist.h"
#include "support/envscope.h"
#include "support/scratchdir.h"
#include "support/spiderrun.h"
#include "support/spidersite.h"

namespace qv {
namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

// Request paths of an access log in the combined format, counted.
std::map<std::string, int> Requests(const std::string& log) {
  std::map<std::string, int> out;
  std::ifstream in(log);
  std::string line;
  while (std::getline(in, line)) {
    const size_t q = line.find('"');
    if (q == std::string::npos) continue;
    std::istringstream request(line.substr(q + 1));
    std::string method, path;
    request >> method >> path;
    ++out[path];
  }
  return out;
}

// One crawl of the site at `threads` threads, checked. The site's hosts and
// logs are shared: the thread counts run one after the other in one test.
void CrawlSite(const test::TSpiderSite& Site, int threads) {
  SCOPED_TRACE(std::to_string(threads) + " threads");
  // Each run reads only its own requests.
  std::ofstream(Env("QV_NGINX_SITE_LOG"), std::ios::trunc);
  std::ofstream(Env("QV_NGINX_SITE2_LOG"), std::ios::trunc);
  CreateGlobals();
  struct TFree {
    ~TFree() { FreeGlobals(); }
  } freeGlobals;
  test::TScratchHome home;  // an empty cache
  test::TScratchDir mirror;
  TOutbox outbox;
  TURLAdder adder{outbox};
  TRobotsStore robots;
  TPublished<TSettings> published;
  TSettings options;
  options.EnterNoRobChk = false;
  options.MaxThrServUD = 8;
  options.TimeOutUD = 10;
  options.DLRetriesUD = 0;
  options.UserAgEd = "QvSpider";
  published.Publish(std::make_shared<const TSettings>(options));
  TJobContext context;
  context.Adder = &adder;
  context.Robots = &robots;
  context.Settings = &published;
  context.LocalWebDir = [&] { return mirror.Path; };
  StartJob(options, &context);

  TDLList queue;
  TActiveDL root;
  root.URL = Site.A + "/index.html";
  root.Depth = 2;
  root.Origin = 1;
  queue.Add(root, false);
  TVkThreadList list;
  ASSERT_TRUE(test::RunSpiderJob(queue, list, threads, [&] {
    return std::make_unique<TSpiderThread>(&list, context, &queue);
  })) << "the job hangs";

  const auto a = Requests(Env("QV_NGINX_SITE_LOG"));
  const auto b = Requests(Env("QV_NGINX_SITE2_LOG"));
  for (const std::string& p : Site.PathsA) {
    const auto it = a.find(p);
    EXPECT_EQ(it == a.end() ? 0 : it->second, 1) << p;
  }
  for (const auto& [p, n] : a) EXPECT_TRUE(Site.PathsA.count(p)) << "unexpected " << p;
  for (const std::string& p : Site.NeverA) EXPECT_EQ(a.count(p), 0u) << p;
  EXPECT_EQ(b, (std::map<std::string, int>{{"/robots.txt", 1}, {"/other.html", 1}}));

  std::lock_guard<TCriticalSection> g(*URLListLock);
  auto rec = [&](const std::string& url) { return GlobalURLList->FindItem(url); };
  struct Found {
    std::string url, parent;
    uint8_t pageFile;
    std::string title;
    bool sizeUnknown;  // never fetched: the size the extractor gives
  } found[] = {
      {Site.A + "/dir1/", Site.A + "/index.html", 0, "Dir one", false},
      {Site.A + "/page.html", Site.A + "/index.html", 0, "Fragment", false},
      {Site.A + "/img/logo.gif", Site.A + "/index.html", 1, "Logo", true},
      {Site.A + "/map.html", Site.A + "/index.html", 0, "Map area", false},
      {Site.A + "/img/bg.gif", Site.A + "/style.css", 1, "", true},
      {Site.A + "/img/dot.gif", Site.A + "/style.css", 1, "", true},
      {Site.A + "/print.css", Site.A + "/style.css", 0, "", false},
      {Site.A + "/img/paper.gif", Site.A + "/print.css", 1, "", true},
      {Site.A + "/f1.html", Site.A + "/frames.html", 0, "", false},
      {Site.A + "/dir1/sub/leaf.html", Site.A + "/dir1/sub/", 0, "Leaf", true},
      {Site.A + "/landing/deeper.html", Site.A + "/moved.html", 0, "Deeper", false},
      {Site.A + "/dir2/next.html", Site.A + "/temp.html", 0, "Next", false},
      {Site.B + "/other.html", Site.A + "/index.html", 0, "Other host", false},
      {Site.A + "/private/secret.html", Site.A + "/index.html", 0, "Secret", false},
  };
  for (const auto& f : found) {
    TVkURLItem* r = rec(f.url);
    ASSERT_NE(r, nullptr) << f.url;
    EXPECT_EQ(r->ParentURL, f.parent) << f.url;
    EXPECT_EQ(r->PageFileFlag, f.pageFile) << f.url;
    EXPECT_EQ(r->Title, f.title) << f.url;
    if (f.sizeUnknown) {
      EXPECT_EQ(r->Size, -1) << f.url;
    }
  }
  EXPECT_EQ(rec(Site.A + "/after.html"), nullptr) << "a link after nofollow";
  EXPECT_EQ(rec(Site.A + "/img/old.gif"), nullptr) << "a reference inside a comment";
  EXPECT_EQ(rec(Site.A + "/private/secret.html")->Status, usFailed);
  EXPECT_EQ(rec(Site.A + "/private/secret.html")->Details, "Robot keep out zone");
}

TEST(SpiderSite, FetchesEveryPageOnceAndRecordsEveryLink) {
  if (Env("QV_NGINX_SITE_PORT").empty() || Env("QV_NGINX_SITE2_PORT").empty())
    GTEST_SKIP() << "QV_NGINX_SITE_PORT is not set: run under scripts/test-servers";
  const test::TSpiderSite site = test::MakeSpiderSite(
      Env("QV_NGINX_SITE_ROOT"), Env("QV_NGINX_SITE2_ROOT"), std::stoi(Env("QV_NGINX_SITE_PORT")),
      std::stoi(Env("QV_NGINX_SITE2_PORT")));
  for (int threads : {1, 8}) CrawlSite(site, threads);
}

}  // namespace
}  // namespace qv

namespace qv {
namespace {

// The folder tree of the local FTP server, listed and descended.
TEST(SpiderFTP, ListsFoldersAndQueuesThemByLevel) {
  const std::string port = Env("QV_FTP_PORT");
  if (port.empty()) GTEST_SKIP() << "QV_FTP_PORT is not set: run under scripts/test-servers";
  CreateGlobals();
  {
    test::TScratchHome home;
    test::TScratchDir mirror;
    TOutbox outbox;
    TURLAdder adder{outbox};
    TPublished<TSettings> published;
    TSettings options;
    options.EnterNoRobChk = true;
    options.SpiderFTPChk = true;
    options.TimeOutUD = 10;
    options.EmailEdit = "qv@example.com";
    published.Publish(std::make_shared<const TSettings>(options));
    TJobContext context;
    context.Adder = &adder;
    context.Settings = &published;
    context.LocalWebDir = [&] { return mirror.Path; };
    StartJob(options, &context);

    const std::string site = "ftp://127.0.0.1:" + port;
    TDLList queue;
    TActiveDL root;
    root.URL = site + "/pub/";
    root.Depth = 1;
    root.Origin = 1;
    queue.Add(root, false);
    TVkThreadList list;
    ASSERT_TRUE(test::RunSpiderJob(
        queue, list, 1, [&] { return std::make_unique<TSpiderThread>(&list, context, &queue); }));

    std::lock_guard<TCriticalSection> g(*URLListLock);
    auto rec = [&](const std::string& url) { return GlobalURLList->FindItem(url); };
    for (const char* dir : {"/pub/a/", "/pub/c/", "/pub/a/b/", "/pub/c/d/"}) {
      TVkURLItem* r = rec(site + dir);
      ASSERT_NE(r, nullptr) << dir;
      EXPECT_EQ(r->Status, usNotAFile) << dir;
      EXPECT_EQ(r->Details, "FTP directory") << dir;
    }
    ASSERT_NE(rec(site + "/pub/big.bin"), nullptr);
    EXPECT_EQ(rec(site + "/pub/big.bin")->Size, 300000);
    EXPECT_EQ(rec(site + "/pub/big.bin")->ParentURL, site + "/pub/");
    // /pub/a/ was listed (one level down); /pub/a/b/ is two levels down.
    EXPECT_EQ(rec(site + "/pub/a/b/note.txt"), nullptr);
    EXPECT_EQ(rec(site + "/"), nullptr) << "the parent folder was queued";
  }
  FreeGlobals();
}

}  // namespace
}  // namespace qv
