// The localising pass over a real mirror: the fixture site (nested folders,
// directory-form links, links with fragments and queries, a redirection, style
// sheets with url() and @import, images, links to another host) served by the
// local nginx, downloaded by the download thread, then localised. Each page
// and style sheet is compared with the bytes the server sent.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "engine/localisepass.h"
#include "model/progresssink.h"
#include "support/dljob.h"
#include "support/localisecheck.h"
#include "support/servedfolder.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

class LocaliseMirror : public test::TDLJobTest {
 protected:
  void SetUp() override {
    TDLJobTest::SetUp();
    const std::string name = "localise-" + std::to_string(getpid());
    Served.emplace(name);
    if (!Served->Served()) GTEST_SKIP() << test::kNoTestServers;
    SiteFolder = Served->Folder;
    Base = Served->Base;
    ServeFixture("/" + name + "/");
  }

  // Copies the fixture site into the served folder. Its links that begin
  // with "/" name the site's top, which is the folder here.
  void ServeFixture(const std::string& top) {
    const fs::path from = fs::path(QV_TEST_DATA) / "localise" / "site";
    static const std::regex rooted(R"re((["(]\s*)/(?!/))re");
    for (const auto& e : fs::recursive_directory_iterator(from)) {
      if (!e.is_regular_file() || e.path().filename() == "manifest.txt") continue;
      std::string bytes = test::ReadAll(e.path().string());
      const std::string ext = e.path().extension().string();
      if (ext == ".html" || ext == ".css") bytes = std::regex_replace(bytes, rooted, "$1" + top);
      test::WriteBytes(SiteFolder + "/" + fs::relative(e.path(), from).string(), bytes);
    }
    // The picture the guide names with a blank in it.
    fs::copy_file(SiteFolder + "/img/logo.gif", SiteFolder + "/docs/guide/fig 1.gif");
  }

  std::optional<test::TServedFolder> Served;
  std::string SiteFolder, Base;
};

TEST_F(LocaliseMirror, DownloadedSiteBrowsesOffLine) {
  struct TServed {
    std::string Path;   // below Base
    std::string File;   // what the server sends for it, below the site folder
    std::string Final;  // the address it is redirected to, below Base, or ""
  };
  const std::vector<TServed> served = {
      {"", "index.html", ""},
      {"docs/", "docs/index.html", ""},
      {"docs/guide/intro.html", "docs/guide/intro.html", ""},
      {"docs/guide/intro.html?lang=en", "docs/guide/intro.html", ""},
      {"moved/docs/guide/intro.html", "docs/guide/intro.html", "docs/guide/intro.html"},
      {"style/main.css", "style/main.css", ""},
      {"style/print.css", "style/print.css", ""},
      {"img/logo.gif", "img/logo.gif", ""},
      {"img/bg.png", "img/bg.png", ""},
      {"docs/guide/fig%201.gif", "docs/guide/fig 1.gif", ""},
  };
  std::vector<std::string> urls;
  for (const TServed& s : served) urls.push_back(Base + s.Path);
  RunJob(urls);
  for (const std::string& url : urls) ASSERT_EQ(Listed(url).Status, usDownloaded) << url;

  const auto files = [&] {
    std::map<std::string, std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(Root.Path))
      if (e.is_regular_file()) out[e.path().string()] = test::ReadAll(e.path().string());
    return out;
  };
  const std::map<std::string, std::string> before = files();
  TPlainProgress sink;
  const TLocaliseSummary summary = LocaliseListReferences(*GlobalURLList, Root.Path, sink);
  EXPECT_EQ(summary.Failed, 0);
  EXPECT_EQ(summary.Rewritten, 7);
  const std::map<std::string, std::string> after = files();
  ASSERT_EQ(before.size(), after.size());

  test::TLinkTally tally;
  for (const TServed& s : served) {
    const std::string url = Base + s.Path;
    SCOPED_TRACE(url);
    const std::string stored = test::StoredBody(Root.Path, url);
    ASSERT_FALSE(stored.empty());
    const std::string original = test::ReadAll(SiteFolder + "/" + s.File);
    std::string localised = after.at(stored);
    const TStoredTextKind kind = StoredTextKind(Listed(url).ContentType);
    if (kind == TStoredTextKind::Other) {
      EXPECT_EQ(localised, original) << "only pages and style sheets change";
      continue;
    }
    // A page found at another address resolves its links there: it is given
    // a base naming that address's stored body. No other page gets one.
    std::string base = url, folder = fs::path(stored).parent_path().string();
    if (!s.Final.empty()) {
      base = Base + s.Final;
      EXPECT_EQ(test::TakeLocalBase(localised), test::StoredBody(Root.Path, base));
      folder = fs::path(test::StoredBody(Root.Path, base)).parent_path().string();
    } else {
      EXPECT_EQ(test::TakeLocalBase(localised), "");
    }
    test::ExpectLocalisedLinks(Root.Path, base, folder, original, test::WithoutMarker(localised),
                               tally);
  }
  // A guard that the checks above met every kind of link.
  EXPECT_EQ(tally.Checked, 48);
  EXPECT_EQ(tally.Local, 35);
  EXPECT_EQ(tally.Absolute, 12);
  // What the pass leaves alone: the headers files.
  for (const auto& [name, bytes] : after) {
    if (fs::path(name).filename() == "Head.txt") {
      EXPECT_EQ(bytes, before.at(name)) << name;
    }
  }
}

}  // namespace
}  // namespace qv
