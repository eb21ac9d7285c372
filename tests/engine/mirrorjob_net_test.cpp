// Whole download jobs through the job runner on a plain loop against nginx
// serving a generated site: stored bodies, localised links, nothing written
// outside the mirror and program folders, a second run, and a job stopped
// halfway and started again.

#include <gtest/gtest.h>

#include <unistd.h>
#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <regex>
#include <sstream>

#include "engine/downloadform.h"
#include "engine/localisepass.h"
#include "engine/plainuiloop.h"
#include "model/projectfile.h"
#include "model/weblocal.h"
#include "platform/shell.h"
#include "support/dljob.h"
#include "support/fixturesite.h"
#include "support/servedfolder.h"

namespace qv {
namespace {

namespace fs = std::filesystem;
using test::ReadAll;

class MirrorJobTest : public test::TDLJobTest {
 protected:
  void SetUp() override {
    TDLJobTest::SetUp();
    Served.emplace("e2e-" + std::to_string(getpid()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
    if (!Served->Served()) GTEST_SKIP() << test::kNoTestServers;
    SiteFolder = Served->Folder;
    Base = Served->Base;
    Site = test::MakeFixtureSite(SiteFolder, 40, 5);
    Options.NeverDLChk = false;  // a second run asks whether each file changed
    Options.MaxThreadsUD = 4;
    Options.MaxThrServUD = 4;
    // Every other place a program might write to lies in one folder, which
    // must stay empty: only the mirror (Root) and the program folder (Home)
    // may change.
    for (const char* var : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "TMPDIR"})
      Env.Set(var, Outside.Path + "/" + var);
  }

  void ListSite() {
    std::lock_guard<TCriticalSection> g(*URLListLock);
    for (const auto& p : Site.Paths) {
      TVkURLItem r;
      r.URL = Base + p;
      GlobalURLList->AddItem(r, false);
    }
  }
  // One download job and the localising pass; stopAfter > 0 presses Stop once
  // that many items have a result.
  void Run(int stopAfter = 0, bool extract = false) {
    Settings.Publish(std::make_shared<const TSettings>(Options));
    TPlainUiLoop loop;
    TScriptedPrompter prompter;
    TPlainProgress progress;
    TDownloadFrm runner(loop, Context, prompter, progress);
    runner.ProgramDir = [this] { return Home.Path; };
    runner.OnPass = [&] {
      if (stopAfter <= 0 || runner.StopFlag) return;
      std::lock_guard<TCriticalSection> g(*URLListLock);
      int done = 0;
      for (int i = 0; i < GlobalURLList->Count(); ++i)
        if (GlobalURLList->GetItem(i)->Status != usNew) ++done;
      if (done >= stopAfter) runner.AbortBtnClick();
    };
    const std::vector<TAtrRow> roots{{Base + "p0.html", 100u << 8}};
    runner.RootURLs = &roots;
    if (extract) {
      ASSERT_TRUE(runner.ExtractURLs());
    }
    ASSERT_TRUE(runner.DownloadFiles(false));
    if (stopAfter > 0) {
      EXPECT_EQ(runner.StopFlag, 1);
    }
    LocaliseListReferences(*GlobalURLList, Root.Path, progress);
  }
  // The stored body of a URL ("Data" with whatever extension).
  std::string DataFile(const std::string& url) {
    for (const auto& n : Files(url))
      if (n.rfind("Data", 0) == 0 && n.find(".tm") == std::string::npos)
        return Folder(url) + "/" + n;
    return "";
  }
  // The bytes of a page or style sheet with the targets of its links taken
  // out: what localising may change.
  static std::string OutsideLinks(const std::string& text) {
    static const std::regex attr("(href|src)=\"[^\"]*\"");
    static const std::regex url("url\\(\\s*['\"]?[^'\")]*['\"]?\\s*\\)");
    return std::regex_replace(std::regex_replace(text, attr, "$1=\"\""), url, "url()");
  }
  // The link targets of a stored page or style sheet.
  static std::vector<std::string> Targets(const std::string& text) {
    static const std::regex link(
        "(?:href|src)=\"([^\"]+)\"|url\\(\\s*['\"]?([^'\")]+)['\"]?\\s*\\)");
    std::vector<std::string> v;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), link);
         it != std::sregex_iterator(); ++it)
      v.push_back((*it)[1].matched ? (*it)[1].str() : (*it)[2].str());
    return v;
  }
  // Every stored body by path under the mirror folder.
  std::map<std::string, std::string> Bodies() {
    std::map<std::string, std::string> m;
    for (const auto& e : fs::recursive_directory_iterator(Root.Path))
      if (e.is_regular_file() && e.path().filename().string().rfind("Data", 0) == 0)
        m[fs::relative(e.path(), Root.Path).string()] = ReadAll(e.path().string());
    return m;
  }

  // The modification time (ns) of every file under the mirror folder.
  std::map<std::string, int64_t> Stamps() {
    std::map<std::string, int64_t> m;
    for (const auto& e : fs::recursive_directory_iterator(Root.Path))
      if (e.is_regular_file())
        m[fs::relative(e.path(), Root.Path).string()] =
            std::chrono::duration_cast<std::chrono::nanoseconds>(
                fs::last_write_time(e.path()).time_since_epoch())
                .count();
    return m;
  }

  test::TScratchDir Outside;
  std::optional<test::TServedFolder> Served;
  std::string SiteFolder, Base;
  test::TFixtureSite Site;
};

TEST_F(MirrorJobTest, MirrorsLocalisesAndASecondRunChangesNothing) {
  // Every file is found from the first page: the pages, their images and
  // style sheet, the sheet it imports and the image that one names.
  Run(0, true);
  for (const auto& p : Site.Paths)
    EXPECT_EQ(Listed(Base + p).Status, usDownloaded) << p << " not found by the extract job";
  Run();
  int pages = 0;
  for (const auto& p : Site.Paths) {
    const std::string url = Base + p;
    EXPECT_EQ(Listed(url).Status, usDownloaded) << p << ": " << Listed(url).Details;
    const std::string file = DataFile(url);
    EXPECT_FALSE(file.empty()) << p;
    if (file.empty()) continue;
    const std::string served = ReadAll(SiteFolder + "/" + p);
    const bool page = p.size() > 5 && p.substr(p.size() - 5) == ".html";
    const bool sheet = p.size() > 4 && p.substr(p.size() - 4) == ".css";
    const std::string text = ReadAll(file);
    if (!page && !sheet) {
      EXPECT_TRUE(text == served) << p;
      continue;
    }
    // A localised page or style sheet differs from the server's only in its
    // link targets, and every target it rewrote leads to a stored file.
    EXPECT_EQ(OutsideLinks(text), OutsideLinks(served)) << p;
    const std::vector<std::string> targets = Targets(text);
    const std::vector<std::string> original = Targets(served);
    ASSERT_EQ(targets.size(), original.size()) << p;
    size_t rewritten = 0;
    for (size_t k = 0; k < targets.size(); ++k) {
      EXPECT_EQ(targets[k].find("http:"), std::string::npos) << p << " keeps " << targets[k];
      if (targets[k] == original[k]) continue;
      ++rewritten;
      EXPECT_TRUE(fs::is_regular_file(fs::path(file).parent_path() / targets[k]))
          << p << ": " << targets[k];
    }
    if (page) {
      ++pages;
      // The test server codes its text when asked (as most real servers
      // do), and the program asks: the page came coded and was stored
      // decoded, its links found.
      EXPECT_NE(ReadAll(Folder(url) + "/Head.txt").find("Content-Encoding: gzip"),
                std::string::npos)
          << p;
      // Every link of a page is rewritten: none keeps the server's form.
      EXPECT_EQ(rewritten, targets.size()) << p;
      EXPECT_GE(rewritten, 7u) << p;
    } else {
      EXPECT_GE(rewritten, 1u) << p;
    }
  }
  EXPECT_EQ(pages, 40);
  // Nothing was written into the served site, nor anywhere but the mirror
  // and the program folder.
  EXPECT_EQ(std::distance(fs::recursive_directory_iterator(SiteFolder), {}),
            static_cast<long>(Site.Paths.size()) + 2);
  EXPECT_FALSE(fs::exists(Outside.Path + "/HOME")) << "written below HOME";
  EXPECT_EQ(std::distance(fs::directory_iterator(Outside.Path), {}), 0);

  // Answered "Not Modified", a run leaves every stored file as it was, its
  // time too, whether it downloads alone or extracts first.
  const auto before = Bodies();
  const auto stamps = Stamps();
  Run();
  for (const auto& p : Site.Paths) EXPECT_EQ(Listed(Base + p).Details, "Not Modified (304)") << p;
  EXPECT_TRUE(Bodies() == before);
  EXPECT_TRUE(Stamps() == stamps);
  Run(0, true);
  for (const auto& p : Site.Paths) EXPECT_EQ(Listed(Base + p).Details, "Not Modified (304)") << p;
  EXPECT_TRUE(Bodies() == before);
  const auto after = Stamps();
  for (const auto& [file, stamp] : stamps)
    EXPECT_EQ(after.count(file) ? after.at(file) : -1, stamp) << file;
  EXPECT_EQ(after.size(), stamps.size());
}

TEST_F(MirrorJobTest, StoppedJobStartedAgainEndsAsAnUnbrokenOne) {
  ListSite();
  Run();
  const auto unbroken = Bodies();
  ASSERT_EQ(unbroken.size(), Site.Paths.size());

  // A fresh mirror and list, stopped after a third, then run again.
  fs::remove_all(Root.Path);
  fs::create_directories(Root.Path);
  {
    std::lock_guard<TCriticalSection> g(*URLListLock);
    GlobalURLList->ClearItems();
  }
  ListSite();
  Run(static_cast<int>(Site.Paths.size() / 3));
  EXPECT_LT(Bodies().size(), Site.Paths.size());
  Run();
  EXPECT_TRUE(Bodies() == unbroken);
}

// The headless harness (bench/mirror_job) writes the project of its job; the
// project loader reads it back whole: the root row, the mirror folder and
// every record as the job left it, and saving it again gives the same bytes.
TEST_F(MirrorJobTest, TheHarnessWritesAProjectTheLoaderReadsBack) {
#ifndef QV_MIRROR_JOB
  GTEST_SKIP() << "built without the benchmarks (bench/mirror_job)";
#else
  // Beside the program folder: the fixture points the temporary folder at
  // one that must stay empty.
  const std::string jobMirror = Home / "job-mirror";
  const std::string project = Home / "MirrorProjects/job.mpj";
  std::string out;
  ASSERT_TRUE(RunProgramCapture({QV_MIRROR_JOB, "--mirror", jobMirror, "--program", Home.Path,
                                 "--project", project, "--threads", "4", Base + "p0.html,100"},
                                1 << 20, 300000, out))
      << out;
  std::map<std::string, int> printed;
  static const std::regex line("^([a-z_ A-Za-z.]+): (-?[0-9]+)$");
  std::istringstream lines(out);
  for (std::string l; std::getline(lines, l);)
    if (std::smatch m; std::regex_match(l, m, line)) printed[m[1]] = std::stoi(m[2]);
  ASSERT_EQ(printed["project_saved"], 1) << out;
  ASSERT_GT(printed["urls"], 40) << out;

  TPlainProjectView view;
  TPublished<TSettings> settings;
  TPublished<TMimeFilter> mime;
  TPublished<TViewFilter> filter;
  settings.Publish(FormDefaults());
  TScriptedPrompter prompter;
  TVkURLList list;
  TCriticalSection lock;
  TProjectSession session(view, prompter, list, lock, {&settings, &mime, &filter});
  session.LoadMirrorProject(project);
  EXPECT_EQ(session.ProjectFileName(), project);
  EXPECT_EQ(view.Caption, "Mirror Project:  job.mpj");
  EXPECT_EQ(session.RootURLs(), (std::vector<TAtrRow>{{Base + "p0.html", 100u << 8}}));
  EXPECT_EQ(session.LocalWebDir(), jobMirror);
  EXPECT_EQ(settings.Get()->MaxThreadsUD, 4);
  EXPECT_EQ(list.Count(), printed["urls"]);
  int downloaded = 0;
  for (int i = 0; i < list.Count(); ++i) downloaded += list.GetItem(i)->Status == usDownloaded;
  EXPECT_EQ(downloaded, printed["status Downloaded"]);
  for (int p = 0; p < 40; ++p) {
    const std::string url = Base + "p" + std::to_string(p) + ".html";
    const TVkURLItem* r = list.FindItem(url);
    ASSERT_NE(r, nullptr) << url;
    EXPECT_EQ(r->Status, usDownloaded) << url;
    EXPECT_EQ(r->ContentType, "text/html") << url;
  }

  TMemoryStream again;
  WriteMirrorProject(again, session.Values(), list);
  EXPECT_TRUE(again.Data() == ReadAll(project)) << "saved again, the same bytes";
#endif
}

}  // namespace
}  // namespace qv
