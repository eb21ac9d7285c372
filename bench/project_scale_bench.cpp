// The program at a million URLs, step by step as its user meets it, in the
// program's own windows (offscreen unless QT_QPA_PLATFORM says otherwise): it
// starts on a project file of realistic shape whose mirror holds some of the
// bodies, shows the list, filters it to "Failed files: Only" (the first status
// filter checks every loaded record against the mirror) and back, scrolls it,
// saves the project and opens it again. Each step beside a peer measured in
// the same run:
//
//   open_seconds                 start-up on the project named on the command
//                                line, to the list shown (the load, then the view)
//   stdio_read_seconds           plain stdio reading the same records into structs
//   open_ratio                   open / stdio read
//   filter_failed_first_seconds  "Failed files: Only" right after opening
//   filter_all_seconds           back to every URL
//   filter_failed_seconds        "Failed files: Only" again (statuses known now)
//   status_refresh_seconds       the first filter less the later one: every
//                                record's status checked against the mirror
//   bare_walk_all_seconds, bare_walk_failed_seconds
//                                a walk of the master list under one lock with the
//                                same filter test, no view
//   filter_all_ratio, filter_failed_ratio   view rebuild / bare walk  (aim <= 2)
//   scroll_page_ms_median, scroll_page_ms_max
//                                one page down and its painting, at pages spread
//                                through the whole list
//   scroll_jump_ms_median        a jump to such a page and its painting
//   save_seconds                 the project saved (temporary file, flushed, renamed)
//   stdio_write_seconds          plain stdio writing the same bytes, flushed
//   save_ratio                   save / stdio write
//   load_seconds, view_seconds   the saved project opened as the open command does:
//                                the load, then the view
//   load_ratio                   load / stdio read
//   longest_stall_ms_STEP        the longest time the window let no message run
//   peak_rss_bytes               the highest resident memory over the steps
//   peak_rss_bytes_per_url
//
// One run measures each step once; take medians over runs.
// Usage: project_scale_bench [urls [stored bodies [folder]]]
//        project_scale_bench --write FILE MIRROR [urls [stored bodies]]
//        project_scale_bench --stdio-read FILE HEAD_BYTES URLS
// The others write only the project and its mirror (printing the bytes before
// its list), and time the stdio peer on such a file, for bench/million_in_program.
#include <malloc.h>
#include <stdlib.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QScrollBar>

#include "model/leregistry.h"
#include "model/mimefilter.h"
#include "model/projectfile.h"
#include "model/prompter.h"
#include "model/settings.h"
#include "model/tvurlutils.h"
#include "model/viewfilter.h"
#include "model/vkconfig.h"
#include "model/vkfile.h"
#include "model/vkglobal.h"
#include "platform/dialup.h"
#include "platform/store.h"
#include "ui/appwindows.h"
#include "ui/controls/urllistbox.h"
#include "ui/mainform.h"
#include "ui/qtprompter.h"
#include "ui/startup.h"
#include "urlshapes.h"

namespace {

using namespace qv;
using Clock = std::chrono::steady_clock;
using bench::SecondsSince;

long long StatusBytes(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const std::string key = std::string(field) + ":";
  while (std::getline(status, line))
    if (line.rfind(key, 0) == 0) return std::atoll(line.c_str() + key.size()) * 1024;
  return 0;
}

// The peak resident memory starts again from what is resident now.
void ResetPeakMemory() { std::ofstream("/proc/self/clear_refs") << "5"; }

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

template <typename F>
double MedianOf3(F f) {
  return Median({f(), f(), f()});
}

// The project file and its mirror: `stored` of the downloaded records have
// their body in the mirror. Returns the bytes before the list (for the peer).
std::size_t WriteProject(const TVkURLList& list, const std::string& file, const std::string& mirror,
                         std::size_t stored) {
  std::size_t downloaded = 0;
  for (int i = 0; i < list.Count(); ++i) downloaded += list.GetItem(i)->Status == usDownloaded;
  const std::size_t every = stored ? std::max<std::size_t>(1, downloaded / stored) : 0;
  std::size_t seen = 0, made = 0;
  ForceDirs(mirror);
  for (int i = 0; i < list.Count() && made < stored; ++i) {
    const TVkURLItem& r = *list.GetItem(i);
    if (r.Status != usDownloaded || seen++ % every != 0) continue;
    const std::string path = NativePath(URLToLocalPath(mirror, r.URL, "Data", ""));
    if (path.empty() || !ForceDirs(std::filesystem::path(path).parent_path().string())) continue;
    std::ofstream(path) << "stored body\n";
    ++made;
  }
  TProjectValues v;
  v.Settings = FormDefaults();
  v.Settings.LocWebEd = mirror;
  v.RootURLs = {{"http://www.site1.example.com/", 1 | (3 << 8)}};
  TFileStream out(file, TFileStream::TMode::fmCreate);
  WriteMirrorProject(out, v, list);
  out.Close();
  TMemoryStream head;
  TVkURLList none;
  WriteMirrorProject(head, v, none);
  return head.Data().size() - 4 - 200;
}

// Sees the window's messages run: it posts itself again each time it runs,
// so the longest gap between two runs is the longest stall.
class THeartbeat : public QObject {
 public:
  void Start() {
    Last = Clock::now();
    Longest = 0;
    QCoreApplication::postEvent(this, new QEvent(QEvent::User));
  }
  // The longest gap so far, the time since the last beat included.
  double LongestMs() const {
    return std::max(Longest,
                    std::chrono::duration<double, std::milli>(Clock::now() - Last).count());
  }
  void Restart() {
    Last = Clock::now();
    Longest = 0;
  }
  bool event(QEvent* e) override {
    if (e->type() != QEvent::User) return QObject::event(e);
    const auto now = Clock::now();
    Longest = std::max(Longest, std::chrono::duration<double, std::milli>(now - Last).count());
    Last = now;
    QCoreApplication::postEvent(this, new QEvent(QEvent::User));
    return true;
  }

 private:
  Clock::time_point Last;
  double Longest = 0;
};

double BareWalk(const TViewFilter& filter, int& passed) {
  const TMimeFilter mime;
  const auto t0 = Clock::now();
  passed = 0;
  std::lock_guard<TCriticalSection> hold(*URLListLock);
  for (int i = 0; i < GlobalURLList->Count(); ++i)
    if (URLPassesFilters(filter, mime, *GlobalURLList->GetItem(i))) ++passed;
  return SecondsSince(t0);
}

void Print(const char* name, double v) { std::printf("%s: %.3f\n", name, v); }
void Print(const char* name, long long v) { std::printf("%s: %lld\n", name, v); }

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 4 && std::string(argv[1]) == "--write") {
    const std::size_t n = argc > 4 ? std::strtoul(argv[4], nullptr, 10) : 1000000;
    const std::size_t stored = argc > 5 ? std::strtoul(argv[5], nullptr, 10) : 10000;
    TVkURLList list;
    bench::FillRealisticList(list, n);
    std::printf("head_bytes: %zu\n", WriteProject(list, argv[2], argv[3], stored));
    return 0;
  }
  if (argc == 5 && std::string(argv[1]) == "--stdio-read") {
    const std::size_t head = std::strtoul(argv[3], nullptr, 10);
    const std::size_t n = std::strtoul(argv[4], nullptr, 10);
    Print("stdio_read_seconds", MedianOf3([&] { return bench::StdioRead(argv[2], head, n); }));
    return 0;
  }
  const std::size_t n = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1000000;
  const std::size_t stored = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 10000;
  std::string scratch =
      (argc > 3 ? std::string(argv[3]) : std::string("/tmp")) + "/qv-scale-XXXXXX";
  if (!::mkdtemp(scratch.data())) {
    std::perror("mkdtemp");
    return 1;
  }
  // A fresh user: program folder, settings and home all in the scratch folder.
  for (const char* d : {"prog", "config", "home", "data"}) ForceDirs(scratch + "/" + d);
  setenv("QUENDRAVILOS_HOME", (scratch + "/prog").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (scratch + "/config").c_str(), 1);
  setenv("XDG_DATA_HOME", (scratch + "/data").c_str(), 1);
  setenv("HOME", (scratch + "/home").c_str(), 1);
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  const std::string file = scratch + "/million.mpj";
  const std::string saved = scratch + "/million-saved.mpj";
  const std::string mirror = scratch + "/TvWeb";

  // The project, and the peers, before the program starts.
  double stdioRead = 0, stdioWrite = 0;
  {
    TVkURLList list;
    bench::FillRealisticList(list, n);
    const std::size_t headSize = WriteProject(list, file, mirror, stored);
    std::ifstream in(file, std::ios::binary);
    const std::string head(headSize, '\0');
    in.read(const_cast<char*>(head.data()), static_cast<std::streamsize>(headSize));
    const std::string plain = scratch + "/plain.mpj";
    {
      const std::vector<bench::TPlainRecord> recs = bench::PlainRecords(list);
      stdioWrite = MedianOf3([&] { return bench::StdioWrite(plain, head, recs); });
    }
    stdioRead = MedianOf3([&] { return bench::StdioRead(plain, headSize, n); });
    std::remove(plain.c_str());
  }
  malloc_trim(0);

  QApplication app(argc, argv);
  TScriptedPrompter prompter;
  SeedProgramFolder(QV_SOURCE_DIR "/share", scratch + "/prog");
  SetRegistryKey(ProgramRegistryKey);
  TValueFile(StoreFileForKey(ProgramRegistryKey)).Create();
  SeedSettingsStore();
  SetAppPrompter(&prompter);
  SetProgramArguments({file});
  CreateAppWindows({}, std::make_unique<TNoDialUp>());
  Form1->SetPrompter(&prompter);
  Form1->resize(1000, 700);
  THeartbeat heart;
  ResetPeakMemory();
  const long long rssBefore = StatusBytes("VmRSS");

  // Start-up: the first painting loads the project named on the command line.
  heart.Start();
  auto t0 = Clock::now();
  Form1->show();
  while (!Form1->FirstShowDone) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  const double open = SecondsSince(t0);
  QCoreApplication::processEvents();
  const double stallOpen = heart.LongestMs();
  const int lines = Form1->SingURLs->Count();
  const long long rssOpen = StatusBytes("VmRSS");

  struct TStep {
    double Seconds;
    double StallMs;
    int Lines;
  };
  const auto step = [&](const std::function<void()>& run) {
    QCoreApplication::processEvents();
    heart.Restart();
    const auto s0 = Clock::now();
    run();
    const double s = SecondsSince(s0);
    QCoreApplication::processEvents();
    return TStep{s, heart.LongestMs(), Form1->SingURLs->Count()};
  };
  const TStep failedFirst = step([] { Form1->FailedFilesCombo->setCurrentIndex(ccOnly); });
  const TStep all = step([] { Form1->FailedFilesCombo->setCurrentIndex(ccNone); });
  const TStep failed = step([] { Form1->FailedFilesCombo->setCurrentIndex(ccOnly); });
  TViewFilter failedOnly;
  failedOnly.FailedFilesCombo = ccOnly;
  int passedAll = 0, passedFailed = 0;
  const double bareAll = MedianOf3([&] { return BareWalk(TViewFilter{}, passedAll); });
  const double bareFailed = MedianOf3([&] { return BareWalk(failedOnly, passedFailed); });
  step([] { Form1->FailedFilesCombo->setCurrentIndex(ccNone); });

  // Scrolling: a page down, and a jump, at pages spread through the list.
  std::vector<double> pages, jumps;
  QScrollBar* bar = Form1->SingURLs->verticalScrollBar();
  const int spots = 200;
  for (int k = 0; k < spots; ++k) {
    const int at = static_cast<int>(static_cast<long long>(bar->maximum()) * k / spots);
    auto s0 = Clock::now();
    bar->setValue(at);
    Form1->SingURLs->viewport()->repaint();
    jumps.push_back(SecondsSince(s0) * 1000);
    QCoreApplication::processEvents();
    s0 = Clock::now();
    bar->setValue(at + bar->pageStep());
    Form1->SingURLs->viewport()->repaint();
    pages.push_back(SecondsSince(s0) * 1000);
  }
  const bool listShown = Form1->SingURLs->viewport()->isVisible();

  // Saving and opening again (as the open command does: load, then view).
  const TStep save = step([&] { Form1->Session().SaveMirrorProject(saved); });
  double loadOnly = 0;
  const TStep load = step([&] {
    const auto l0 = Clock::now();
    Form1->Session().LoadMirrorProject(saved);
    loadOnly = SecondsSince(l0);
    Form1->RefreshURLList();
  });
  const long long peak = StatusBytes("VmHWM");
  std::error_code ec;
  const auto fileBytes = static_cast<long long>(std::filesystem::file_size(saved, ec));

  Print("urls", static_cast<long long>(n));
  Print("stored_bodies", static_cast<long long>(stored));
  Print("file_bytes", fileBytes);
  Print("open_seconds", open);
  Print("stdio_read_seconds", stdioRead);
  Print("open_ratio", open / stdioRead);
  Print("longest_stall_ms_open", stallOpen);
  Print("filter_failed_first_seconds", failedFirst.Seconds);
  Print("longest_stall_ms_filter_failed_first", failedFirst.StallMs);
  Print("filter_all_seconds", all.Seconds);
  Print("filter_failed_seconds", failed.Seconds);
  Print("status_refresh_seconds", failedFirst.Seconds - failed.Seconds);
  Print("bare_walk_all_seconds", bareAll);
  Print("bare_walk_failed_seconds", bareFailed);
  Print("filter_all_ratio", all.Seconds / bareAll);
  Print("filter_failed_ratio", failed.Seconds / bareFailed);
  Print("scroll_page_ms_median", Median(pages));
  Print("scroll_page_ms_max", *std::max_element(pages.begin(), pages.end()));
  Print("scroll_jump_ms_median", Median(jumps));
  Print("save_seconds", save.Seconds);
  Print("stdio_write_seconds", stdioWrite);
  Print("save_ratio", save.Seconds / stdioWrite);
  Print("longest_stall_ms_save", save.StallMs);
  Print("load_seconds", loadOnly);
  Print("view_seconds", load.Seconds - loadOnly);
  Print("load_ratio", loadOnly / stdioRead);
  Print("longest_stall_ms_load", load.StallMs);
  Print("rss_bytes_before_open", rssBefore);
  Print("rss_bytes_after_open", rssOpen);
  Print("peak_rss_bytes", peak);
  Print("peak_rss_bytes_per_url", peak / static_cast<long long>(n));
  // What the figures stand on: every step showed what it should.
  const bool right = lines == static_cast<int>(n) && all.Lines == lines &&
                     failed.Lines == failedFirst.Lines && failed.Lines == passedFailed &&
                     passedAll == lines && load.Lines == lines && listShown;
  if (!right)
    std::printf("MISMATCH: %d lines at open, %d all, %d/%d failed, %d/%d walked, load %d%s\n",
                lines, all.Lines, failedFirst.Lines, failed.Lines, passedAll, passedFailed,
                load.Lines, listShown ? "" : ", list not shown");

  Form1->hide();
  FreeAppWindows();
  SetAppPrompter(nullptr);
  std::filesystem::remove_all(scratch, ec);
  return right ? 0 : 1;
}
