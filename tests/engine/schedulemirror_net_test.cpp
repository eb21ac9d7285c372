// A schedule of two mirror projects run whole against nginx: the scheduler
// on its fake clock, the project session (which publishes a loaded
// project's settings and filters to the workers), the job runner with real
// worker threads on a plain loop. Each project is loaded, quick-mirrored into its
// own mirror folder and downloaded; each run leaves a well-formed block in
// the log; and each project is saved before the next one is loaded.

#include <gtest/gtest.h>

#include <unistd.h>
#include <ctime>
#include <filesystem>
#include <optional>

#include "engine/downloadform.h"
#include "engine/localisepass.h"
#include "engine/plainuiloop.h"
#include "engine/scheduledialog.h"
#include "model/projectfile.h"
#include "model/streamext.h"
#include "model/weblocal.h"
#include "platform/dialup.h"
#include "support/dljob.h"
#include "support/fixturesite.h"
#include "support/servedfolder.h"
#include "support/utctime.h"

namespace qv {
namespace {

namespace fs = std::filesystem;
using test::ReadAll;

// 2026-12-07 is a Monday.
std::time_t At(int day, int h, int m, int s) { return test::UtcTime(2026, 12, day, h, m, s); }

class ScheduleMirrorTest : public test::TDLJobTest {
 protected:
  void SetUp() override {
    TDLJobTest::SetUp();
    if (!test::TestServersRun()) GTEST_SKIP() << test::kNoTestServers;
    Env.Set("TZ", "UTC");
    tzset();
    // The autostart entry the schedule writes while it runs.
    Env.Set("XDG_CONFIG_HOME", Home.Path + "/config");
    const std::string name = "sched-" + std::to_string(getpid());
    for (int k = 0; k < 2; ++k) {
      Served[k].emplace(name + "-" + "ab"[k]);
      Sites[k] = Served[k]->Folder;
      Bases[k] = Served[k]->Base;
      Paths[k] = test::MakeFixtureSite(Sites[k], 8, 3).Paths;
    }
  }

  // What a project file holds.
  static std::pair<TProjectValues, std::unique_ptr<TVkURLList>> ReadProject(
      const std::string& file) {
    TProjectValues values;
    auto list = std::make_unique<TVkURLList>();
    TMemoryStream stream(ReadAll(file));
    ReadMirrorProject(stream, values, *list);
    return {values, std::move(list)};
  }
  // The stored body of url under the mirror folder dir.
  static std::string DataFile(const std::string& dir, const std::string& url) {
    const std::string p = NativePath(URLToLocalPath(dir, url, "Data", ".tmp"));
    const std::string folder = p.substr(0, p.rfind('/'));
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec)) {
      const std::string n = e.path().filename().string();
      if (n.rfind("Data", 0) == 0 && n.find(".tm") == std::string::npos) return e.path().string();
    }
    return "";
  }

  std::optional<test::TServedFolder> Served[2];
  std::string Sites[2], Bases[2];
  std::vector<std::string> Paths[2];
  test::TScratchDir Mirrors[2];
};

TEST_F(ScheduleMirrorTest, TwoProjectsAreMirroredLoggedAndSaved) {
  TScriptedPrompter prompter;
  TPlainProjectView view;
  TProjectSession session(view, prompter, *GlobalURLList, *URLListLock,
                          {&Settings, &Mime, &Filter});
  const std::string files[2] = {Home.Path + "/a.mpj", Home.Path + "/b.mpj"};

  // The per-user options, the schedule among them: A daily on Monday and
  // Tuesday, B on Monday only.
  TSettings user = Options;
  user.NeverDLChk = false;
  user.MaxThreadsUD = 4;
  user.MaxThrServUD = 4;
  user.AutoQuickChk = true;
  user.UseModemChk = false;
  user.HrsUD = 8;
  user.MinsUD = 0;
  user.StayConUD = 10;
  user.PrjGrid = {{files[0], 1u | 0x06u << 8 | 0xFFFu << 16}, {files[1], 1u | 0x02u << 8}};
  // Each project mirrors its own site into its own folder.
  for (int k = 0; k < 2; ++k) {
    TSettings own = user;
    own.LocWebEd = Mirrors[k].Path;
    Settings.Publish(own);
    session.RootURLs() = {{Bases[k] + "p0.html", 100u << 8}};
    session.SaveMirrorProject(files[k]);
  }
  Settings.Publish(user);

  TPlainUiLoop loop;
  TPlainProgress progress;
  Context.LocalWebDir = [&] { return session.LocalWebDir(); };
  TDownloadFrm runner(loop, Context, prompter, progress);
  runner.ProgramDir = [this] { return Home.Path; };
  runner.RootURLs = &session.RootURLs();
  runner.Localise = [&](const std::string& dir) {
    LocaliseListReferences(*GlobalURLList, dir, progress);
  };
  // The main window's drain of what the workers found.
  runner.OnPass = [&] {
    if (Outbox.Drain().Modified) session.SetModified();
  };

  TNoDialUp service;
  TDialUpDlg dialUp(service, loop, "");
  TSessionScheduleJobs jobs(session, dialUp);
  const std::string logPath = Home.Path + "/ConnectLog.txt";
  TScheduleDlg dlg(jobs, loop, prompter, Settings, logPath);
  std::vector<std::string> downloaded;
  std::vector<TAtrRow> rowsSaved;
  jobs.QuickMirrorJob = [&] { ASSERT_TRUE(runner.ExtractURLs()); };
  // The fake clock: the first tick records 07:59:59 on Monday, the next sees
  // 08:00; once Monday's runs are done it is 07:59:59 on Tuesday, then 08:00.
  const std::time_t times[4] = {At(7, 7, 59, 59), At(7, 8, 0, 0), At(8, 7, 59, 59), At(8, 8, 0, 0)};
  int phase = 0;
  dlg.Clock = [&] {
    if (phase == 0 && dlg.LastDailyCheck) phase = 1;
    if (phase == 2 && dlg.LastDailyCheck == 7 * 3600 + 59 * 60 + 59) phase = 3;
    return times[phase];
  };
  jobs.DownloadJob = [&] {
    downloaded.push_back(session.ProjectFileName());
    ASSERT_TRUE(runner.DownloadFiles(false));
    if (downloaded.size() == 2) phase = 2;
    if (downloaded.size() == 3) dlg.Button3Click();
  };
  jobs.SaveSettingsProc = [&](const std::vector<TAtrRow>& rows) { rowsSaved = rows; };
  // A schedule that never ends fails the case instead of hanging it.
  loop.StartTimer(120000, [&] {
    ADD_FAILURE() << "the schedule did not run its projects";
    dlg.Button3Click();
  });
  dlg.RunSchedule(false);

  EXPECT_EQ(downloaded, (std::vector<std::string>{files[0], files[1], files[0]}));
  EXPECT_EQ(rowsSaved, user.PrjGrid);
  auto block = [](std::time_t t, const std::string& project) {
    return "*****Start of schedule event*****\r\nDate:    " + ShortDateText(t) +
           "\r\nTime:    " + ShortTimeText(t) + "\r\nType:    Daily\r\nProject: " + project +
           "\r\n*****End of schedule event*****\r\n\r\n";
  };
  EXPECT_EQ(ReadAll(logPath),
            block(times[1], files[0]) + block(times[1], files[1]) + block(times[3], files[0]));

  // B was saved before Tuesday's run loaded A, A before Monday's loaded B;
  // each file holds its own mirror, stored whole in its own folder.
  for (int k = 0; k < 2; ++k) {
    SCOPED_TRACE(files[k]);
    auto [values, list] = ReadProject(files[k]);
    EXPECT_EQ(values.Settings.LocWebEd, Mirrors[k].Path);
    EXPECT_EQ(list->Count(), static_cast<int>(Paths[k].size()))
        << "every file, the sheet an @import names and what it names included";
    for (int i = 0; i < list->Count(); ++i) {
      const TVkURLItem& r = *list->GetItem(i);
      EXPECT_EQ(r.URL.rfind(Bases[k], 0), 0u) << r.URL;
      EXPECT_EQ(r.Status, usDownloaded) << r.URL << ": " << r.Details;
      const std::string file = DataFile(Mirrors[k].Path, r.URL);
      ASSERT_FALSE(file.empty()) << r.URL;
      const std::string rel = r.URL.substr(Bases[k].size());
      if (rel.find(".html") == std::string::npos && rel.find(".css") == std::string::npos) {
        EXPECT_TRUE(ReadAll(file) == ReadAll(Sites[k] + "/" + rel)) << rel;
      }
    }
    EXPECT_TRUE(DataFile(Mirrors[1 - k].Path, Bases[k] + "p0.html").empty())
        << "mirrored into the other project's folder";
  }
  // A, run last, is the current project, with its changes not saved yet.
  EXPECT_EQ(session.ProjectFileName(), files[0]);
}

}  // namespace
}  // namespace qv
