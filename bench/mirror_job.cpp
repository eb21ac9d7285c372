// A headless mirror job for the benchmark and the end-to-end tests: runs
// "Extracting URLs" from the root URLs, then "Downloading files" over every
// URL found, then localises the saved pages, all through the job runner the
// progress window uses, with a plain loop as its user-interface loop. Prints
// what happened as "name: value" lines and writes a project file.
//
//   mirror_job --mirror DIR --program DIR [--project FILE] [--threads N]
//              [--per-server N] [--never-dl] [--resume] [--robots]
//              [--timeout S] [--skip-extract] [--stop-after N]
//              URL[,LEVELS[,SCOPE]] ...
//
// --project FILE is read first when it exists (its master list is the
// starting point) and written at the end.
// --skip-extract puts the URLs into the master list as they are.
// --stop-after N presses Stop once N items have a result in the download job
// (a job cut short, to be started again).
#include <sys/resource.h>
#include <sys/time.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "engine/localisepass.h"
#include "engine/threadtimer.h"
#include "jobharness.h"
#include "model/projectfile.h"
#include "model/streamext.h"
#include "model/vkglobal.h"
#include "model/vkurllist.h"
#include "platform/atomicfile.h"

namespace qv {
namespace {

using Clock = std::chrono::steady_clock;

double CpuSeconds(const timeval& tv) { return tv.tv_sec + tv.tv_usec / 1e6; }

// CPU time of the calling thread.
double ThreadCpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_THREAD, &u);
  return CpuSeconds(u.ru_utime) + CpuSeconds(u.ru_stime);
}

int Usage(const char* self) {
  std::fprintf(stderr,
               "usage: %s --mirror DIR --program DIR [--project FILE] [--threads N] "
               "[--per-server N] [--never-dl] [--resume] [--robots] [--timeout S] "
               "[--skip-extract] [--stop-after N] URL[,LEVELS[,SCOPE]]...\n",
               self);
  return 2;
}

}  // namespace
}  // namespace qv

int main(int argc, char** argv) {
  using namespace qv;
  std::string mirror, program, project;
  TSettings settings;
  settings.MaxThreadsUD = 8;
  settings.MaxThrServUD = 8;
  settings.TimeOutUD = 30;
  settings.EnterNoRobChk = true;
  bool skipExtract = false;
  int stopAfter = 0;
  std::vector<TAtrRow> roots;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto next = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
    if (a == "--mirror") {
      mirror = next();
    } else if (a == "--program") {
      program = next();
    } else if (a == "--project") {
      project = next();
    } else if (a == "--threads") {
      settings.MaxThreadsUD = std::atoi(next().c_str());
    } else if (a == "--per-server") {
      settings.MaxThrServUD = std::atoi(next().c_str());
    } else if (a == "--never-dl") {
      settings.NeverDLChk = true;
    } else if (a == "--resume") {
      settings.ResParChk = true;
    } else if (a == "--robots") {
      settings.EnterNoRobChk = false;
    } else if (a == "--timeout") {
      settings.TimeOutUD = std::atoi(next().c_str());
    } else if (a == "--skip-extract") {
      skipExtract = true;
    } else if (a == "--stop-after") {
      stopAfter = std::atoi(next().c_str());
    } else if (!a.empty() && a[0] == '-') {
      return Usage(argv[0]);
    } else {
      // URL,LEVELS,SCOPE
      TAtrRow row;
      const size_t c1 = a.find(',');
      row.Text = a.substr(0, c1);
      uint32_t levels = 100, scope = 0;
      if (c1 != std::string::npos) {
        const size_t c2 = a.find(',', c1 + 1);
        levels = static_cast<uint32_t>(std::atoi(a.substr(c1 + 1, c2 - c1 - 1).c_str()));
        if (c2 != std::string::npos) scope = static_cast<uint32_t>(std::atoi(a.c_str() + c2 + 1));
      }
      row.Attr = (scope & 0xff) | ((levels & 0xff) << 8);
      roots.push_back(row);
    }
  }
  if (mirror.empty() || program.empty() || roots.empty()) return Usage(argv[0]);
  settings.LocWebEd = mirror;
  MakeFolderChain(mirror, 0755);
  MakeFolderChain(program, 0755);
  // The program folder holds the cache: a job writes nothing outside the two
  // folders it was given.
  setenv("QUENDRAVILOS_HOME", program.c_str(), 1);

  CreateGlobals();
  TJobHarness harness(settings, mirror, program);
  TDownloadFrm& runner = harness.Runner;
  TPlainProgress& progress = harness.Progress;
  runner.RootURLs = &roots;
  runner.OnPass = [&] {
    harness.Outbox.Drain();
    if (stopAfter > 0 && runner.JobKind == 0 && !runner.StopFlag) {
      std::lock_guard<TCriticalSection> g(*URLListLock);
      int done = 0;
      for (int i = 0; i < GlobalURLList->Count(); ++i)
        if (GlobalURLList->GetItem(i)->Status != usNew) ++done;
      if (done >= stopAfter) runner.AbortBtnClick();
    }
  };
  // Localising is its own step below, timed apart: the runner has none.

  // A project saved by an earlier run is its starting point, as opening it
  // in the program would be: its master list says what is stored already.
  if (!project.empty() && IsMirrorProjectFile(project)) {
    try {
      TProjectValues values;
      values.Settings = settings;
      TMemoryStream stream(ReadFileString(project));
      std::lock_guard<TCriticalSection> g(*URLListLock);
      ReadMirrorProject(stream, values, *GlobalURLList);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "project not read: %s\n", e.what());
      return 1;
    }
  }
  if (skipExtract) {
    // The roots go to the master list as they are, to be downloaded.
    std::lock_guard<TCriticalSection> g(*URLListLock);
    for (const TAtrRow& row : roots) {
      TVkURLItem r;
      r.URL = row.Text;
      GlobalURLList->AddItem(r, false);
    }
  }
  const auto start = Clock::now();
  const double cpu0 = ThreadCpuSeconds();
  if (!skipExtract) runner.ExtractURLs();
  const auto extracted = Clock::now();
  const double cpuExtract = ThreadCpuSeconds() - cpu0;
  const int extractPasses = runner.Stats.Passes;
  const int extractDropped = runner.Stats.DroppedErrors;
  const int extractStarts = runner.Stats.ThreadsStarted;
  runner.DownloadFiles(false);
  const auto downloaded = Clock::now();
  const double cpuJobs = ThreadCpuSeconds() - cpu0;
  TLocaliseSummary summary = LocaliseListReferences(*GlobalURLList, mirror, progress);
  const auto end = Clock::now();
  const double cpu = ThreadCpuSeconds() - cpu0;

  std::map<std::string, int> byStatus, byResult;
  int pages = 0, items = 0;
  {
    std::lock_guard<TCriticalSection> g(*URLListLock);
    items = GlobalURLList->Count();
    for (int i = 0; i < items; ++i) {
      TVkURLItem* r = GlobalURLList->GetItem(i);
      std::string text = r->GetStatusText();
      if (text.empty()) text = std::to_string(r->Status);
      ++byStatus[text];
      // What the last fetch of the item came to: the result's own text (a
      // time-out, the size filter, a user's skip) or the server's status.
      if (r->GetStatus() != usNew) ++byResult[r->Details.empty() ? "(none)" : r->Details];
      if (r->GetStatus() == usDownloaded && StoredTextKind(r->ContentType) == TStoredTextKind::Page)
        ++pages;
    }
  }
  bool saved = true;
  if (!project.empty()) {
    try {
      // Saved as the program saves a project: the session's own writer,
      // which makes the file's folder and replaces an old file only whole.
      TPlainProjectView view;
      TProjectSession session(view, harness.Prompter, *GlobalURLList, *URLListLock,
                              {&harness.Settings, &harness.MimeFilter, &harness.Filter});
      session.RootURLs() = roots;
      session.SaveMirrorProject(std::filesystem::absolute(project).string());
    } catch (const std::exception& e) {
      std::fprintf(stderr, "project not saved: %s\n", e.what());
      saved = false;
    }
  }
  auto secs = [](Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
  };
  const double wall = secs(start, end);
  std::printf("seconds: %.3f\n", wall);
  std::printf("extract_seconds: %.3f\n", secs(start, extracted));
  std::printf("download_seconds: %.3f\n", secs(extracted, downloaded));
  std::printf("localise_seconds: %.3f\n", secs(downloaded, end));
  std::printf("urls: %d\n", items);
  std::printf("pages: %d\n", pages);
  std::printf("pages_per_second: %.1f\n", wall > 0 ? pages / wall : 0.0);
  for (const auto& [text, n] : byStatus) std::printf("status %s: %d\n", text.c_str(), n);
  for (const auto& [text, n] : byResult) std::printf("result %s: %d\n", text.c_str(), n);
  std::printf("rewritten: %d\n", summary.Rewritten);
  // The pass against the download job that made the mirror it rewrites.
  const double localiseSeconds = secs(downloaded, end);
  const double downloadSeconds = secs(extracted, downloaded);
  std::printf("localise_pages_per_second: %.1f\n",
              localiseSeconds > 0 ? summary.Rewritten / localiseSeconds : 0.0);
  std::printf("ratio_localise_to_download_time: %.3f\n",
              downloadSeconds > 0 ? localiseSeconds / downloadSeconds : 0.0);
  std::printf("localise_share_of_whole: %.3f\n", wall > 0 ? localiseSeconds / wall : 0.0);
  std::printf("rewrite_failed: %d\n", summary.Failed);
  std::printf("extract_passes: %d\n", extractPasses);
  std::printf("download_passes: %d\n", runner.Stats.Passes);
  // Errors the jobs passed over: a job that went quiet says why here.
  std::printf("extract_dropped_errors: %d\n", extractDropped);
  std::printf("download_dropped_errors: %d\n", runner.Stats.DroppedErrors);
  std::printf("extract_threads_started: %d\n", extractStarts);
  std::printf("download_threads_started: %d\n", runner.Stats.ThreadsStarted);
  std::printf("ui_thread_cpu_share: %.4f\n", wall > 0 ? cpu / wall : 0.0);
  std::printf("ui_thread_cpu_share_extract: %.4f\n",
              secs(start, extracted) > 0 ? cpuExtract / secs(start, extracted) : 0.0);
  std::printf("ui_thread_cpu_share_jobs: %.4f\n",
              secs(start, downloaded) > 0 ? cpuJobs / secs(start, downloaded) : 0.0);
  std::printf("stopped: %d\n", runner.StopFlag ? 1 : 0);
  std::printf("project_saved: %d\n", saved ? 1 : 0);
  FreeGlobals();
  return saved ? 0 : 1;
}
