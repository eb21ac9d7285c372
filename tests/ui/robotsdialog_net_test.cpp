// Robots exclusion through whole jobs on scripted servers, down to what the
// robot exclusions window shows: a site whose robots.txt answers with a
// server error or never answers is kept out whole, and its records and the
// window say why; one without a robots.txt is open; one with Allow and
// Disallow rules gets the pages its rules allow.

#include <gtest/gtest.h>

#include <QListWidget>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "engine/downloadform.h"
#include "engine/plainuiloop.h"
#include "model/progresssink.h"
#include "model/prompter.h"
#include "support/dljob.h"
#include "support/scriptedserver.h"
#include "ui/robotsdialog.h"
#include "ui/uitest.h"

namespace qv {
namespace {

using test::HttpReply;
using test::TScriptedConn;
using test::TScriptedServer;

// A site whose robots.txt is answered by `robots` (empty: never answered),
// its root by `root`, and every other page with a small page of its own.
class TRobotsSite {
 public:
  explicit TRobotsSite(std::string robots, std::string root = "")
      : Robots(std::move(robots)),
        Root(std::move(root)),
        Server([this](TScriptedConn& c) { Serve(c); }, TScriptedServer::Concurrently) {}
  std::string Url(const std::string& path) const { return Server.Url(path); }
  std::string Site() const { return Server.Url(""); }
  // The request lines the site received.
  std::vector<std::string> Targets() const {
    std::vector<std::string> t;
    for (const std::string& r : Server.Requests()) t.push_back(r.substr(0, r.find('\r')));
    return t;
  }

 private:
  void Serve(TScriptedConn& c) {
    for (std::string r; !(r = c.ReadRequest()).empty();) {
      if (r.rfind("GET /robots.txt ", 0) == 0) {
        if (Robots.empty()) {
          c.WaitForClose();
          return;
        }
        c.Send(Robots);
        continue;
      }
      const bool root = r.rfind("GET / ", 0) == 0;
      c.Send(HttpReply("HTTP/1.1 200 OK", root ? Root : "<html><body>page</body></html>",
                       {"Content-Type: text/html"}));
    }
  }
  const std::string Robots;

 public:
  std::string Root;

 public:
  TScriptedServer Server;  // last: stopped before what it serves goes
};

class RobotsJobTest : public test::TDLJobTest {
 protected:
  RobotsJobTest() { test::App(); }
  void SetUp() override {
    TDLJobTest::SetUp();
    Options.EnterNoRobChk = false;
    Options.TimeOutUD = 2;
    Options.DLRetriesUD = 0;
    std::string links;
    for (const std::string& p : Pages()) links += "<a href=\"" + p + "\">p</a>\n";
    Missing.Root = "<html><body>" + links + "</body></html>";
  }

  // One job through the job runner, which keeps the time-outs, from the
  // open site's root (a job that extracts) or of the listed pages.
  void RunJobOf(bool extract) {
    Settings.Publish(std::make_shared<const TSettings>(Options));
    if (!extract) {
      std::lock_guard<TCriticalSection> g(*URLListLock);
      for (const std::string& p : Pages()) {
        TVkURLItem r;
        r.URL = p;
        GlobalURLList->AddItem(r, false);
      }
    }
    TPlainUiLoop loop;
    TScriptedPrompter prompter;
    TPlainProgress progress;
    TDownloadFrm runner(loop, Context, prompter, progress);
    runner.ProgramDir = [this] { return Home.Path; };
    const std::string root = Missing.Url("/");
    const std::vector<TAtrRow> roots{{root, 1u << 8}};
    runner.RootURLs = &roots;
    runner.OnPass = [this] { Outbox.Drain(); };
    loop.StartTimer(60000, [&] { runner.AbortBtnClick(); });
    EXPECT_TRUE(extract ? runner.ExtractURLs() : runner.DownloadFiles(false));
  }

  TRobotsSite Busy{HttpReply("HTTP/1.1 503 Service Unavailable", "<html>try later</html>",
                             {"Content-Type: text/html"})};
  TRobotsSite Silent{""};
  TRobotsSite Missing{HttpReply("HTTP/1.1 404 Not Found", "no file", {"Content-Type: text/plain"})};
  TRobotsSite Ruled{HttpReply("HTTP/1.1 200 OK",
                              "User-agent: *\nDisallow: /docs/\nAllow: /docs/pub.html\n",
                              {"Content-Type: text/plain"})};

  std::vector<std::string> Pages() const {
    return {Busy.Url("/page.html"),  Silent.Url("/page.html"),    Missing.Url("/page.html"),
            Ruled.Url("/page.html"), Ruled.Url("/docs/pub.html"), Ruled.Url("/docs/other.html")};
  }

  // Every record, the requests each site got, and the window's lists.
  void ExpectTheJobsResult() {
    const std::string keptOut = "Robot keep out zone: robots.txt unreachable ";
    struct Record {
      std::string url;
      uint8_t status;
      std::string details;
    } records[] = {
        {Busy.Url("/robots.txt"), usFailed,
         "Service Unavailable (503); robots.txt unreachable, site kept out"},
        {Busy.Url("/page.html"), usFailed, keptOut + "(Service Unavailable (503))"},
        {Silent.Url("/robots.txt"), usFailed, "Timed out; robots.txt unreachable, site kept out"},
        {Silent.Url("/page.html"), usFailed, keptOut + "(Timed out)"},
        {Missing.Url("/robots.txt"), usFailed, "Not Found (404)"},
        {Missing.Url("/page.html"), usDownloaded, "OK (200)"},
        {Ruled.Url("/robots.txt"), usDownloaded, "OK (200)"},
        {Ruled.Url("/page.html"), usDownloaded, "OK (200)"},
        {Ruled.Url("/docs/pub.html"), usDownloaded, "OK (200)"},
        {Ruled.Url("/docs/other.html"), usFailed, "Robot keep out zone"},
    };
    for (const auto& r : records) {
      const TVkURLItem item = Listed(r.url);
      EXPECT_EQ(item.URL, r.url);
      EXPECT_EQ(item.Status, r.status) << r.url;
      EXPECT_EQ(item.Details, r.details) << r.url;
    }
    // Nothing but the robots.txt was asked of the sites kept out.
    EXPECT_EQ(Busy.Targets(), std::vector<std::string>{"GET /robots.txt HTTP/1.1"});
    EXPECT_EQ(Silent.Targets(), std::vector<std::string>{"GET /robots.txt HTTP/1.1"});
    const auto ruled = Ruled.Targets();
    EXPECT_EQ(std::count(ruled.begin(), ruled.end(), "GET /docs/other.html HTTP/1.1"), 0);

    TRobotsDlg dlg(&Robots);
    dlg.show();
    test::Pump();
    std::vector<std::string> shown;
    for (int i = 0; i < dlg.ListBox1->count(); ++i)
      shown.push_back(dlg.ListBox1->item(i)->text().toStdString());
    std::vector<std::string> expected = {
        Busy.Site() + "/ - robots.txt unreachable (Service Unavailable (503))",
        Silent.Site() + "/ - robots.txt unreachable (Timed out)",
        Ruled.Site() + "/docs/",
        Ruled.Site() + "/docs/pub.html - allowed",
    };
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(shown, expected);
    dlg.hide();
  }
};

TEST_F(RobotsJobTest, ADownloadJobKeepsOutSitesWhoseRobotsTxtCannotBeReadAndSaysWhy) {
  RunJobOf(false);
  ExpectTheJobsResult();
}

TEST_F(RobotsJobTest, AnExtractJobKeepsOutSitesWhoseRobotsTxtCannotBeReadAndSaysWhy) {
  RunJobOf(true);
  ExpectTheJobsResult();
}

}  // namespace
}  // namespace qv
