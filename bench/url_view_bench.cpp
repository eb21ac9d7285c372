// The main window's URL list at a million URLs: rebuilding the view the way
// the window does (batches of 100 under the list lock, messages let run
// between batches at the window's pace, lines appended to the list view's
// model with a view attached) against a bare walk of the master list under one lock with the
// same filter test, in the same run.
//
//   rebuild_nofilter_ratio        view rebuild / bare walk, no filter      (aim <= 2)
//   rebuild_pattern_ratio         the same with a name-pattern row "Only"  (aim <= 2)
//   first_rebuild_ms              the first rebuild, into a view that has never
//                                 held lines: its memory is touched for the first
//                                 time (later rebuilds reuse it)
//   first_touch_ms_per_mb         what touching fresh memory costs this machine
//   first_rebuild_touch_share     the share of the first rebuild that is the first
//                                 touch of the view's memory
//   view_bytes_per_line_beyond_text  the model's offsets, marks and map    (aim < 64)
//   view_heap_bytes_per_line_beyond_text  the same measured as heap growth,
//                                 so the list view's own per-row data counts too
//
// Each timing is the best of several runs. Usage: url_view_bench [records]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#include <malloc.h>

#include <QApplication>

#include "model/mimefilter.h"
#include "model/viewfilter.h"
#include "model/vkglobal.h"
#include "model/vkurllist.h"
#include "ui/controls/urllistbox.h"
#include "ui/urllistwalk.h"

namespace {

using namespace qv;
using Clock = std::chrono::steady_clock;

double Since(Clock::time_point t0) {
  return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

template <typename F>
double BestMs(int runs, F f) {
  double best = 1e300;
  for (int r = 0; r < runs; ++r) best = std::min(best, f());
  return best;
}

void Fill(int n) {
  std::lock_guard<TCriticalSection> hold(*URLListLock);
  char buf[96];
  static const char* const kExts[] = {".html", ".gif", ".php", ".jpg", "/", ".css"};
  for (int i = 0; i < n; ++i) {
    std::snprintf(buf, sizeof buf, "http://www.host%04d.example/dir%03d/page%07d%s", i % 4099,
                  i % 211, i, kExts[i % 6]);
    TVkURLItem r;
    r.URL = buf;
    r.SetStatus(i % 10 == 0 ? 30 : 10);
    GlobalURLList->AddItem(r, false);
  }
}

// The window's rebuild: the view's lines cleared, then refilled batch by batch.
double Rebuild(TURLListBox& view, const TViewFilter& filter, const TMimeFilter& mime) {
  const auto t0 = Clock::now();
  TMessagePace pace;
  RefillURLLines(
      *view.Lines(),
      [&] {
        if (pace.Due()) QCoreApplication::processEvents();
        return true;
      },
      [&](TVkURLItem& r) { return URLPassesFilters(filter, mime, r); });
  // As the window does: the first line made current, which has the view lay
  // out its rows.
  view.SetItemIndex(0);
  return Since(t0);
}

// Milliseconds per MiB to write memory fresh from the system (each 4 KiB
// page faulted in on its first write), the median of three 64 MiB blocks.
double FirstTouchMsPerMiB() {
  constexpr std::size_t kBytes = 64u << 20;
  double t[3];
  for (double& ms : t) {
    const auto t0 = Clock::now();
    auto* p = static_cast<volatile char*>(std::malloc(kBytes));
    if (!p) std::abort();
    for (std::size_t i = 0; i < kBytes; i += 4096) p[i] = 1;
    ms = Since(t0) / 64.0;
    std::free(const_cast<char*>(p));
  }
  std::sort(t, t + 3);
  return t[1];
}

// Bytes the heap hands out, large blocks (which malloc maps on their own)
// included.
std::size_t HeapInUse() {
  const struct mallinfo2 m = mallinfo2();
  return m.uordblks + m.hblkhd;
}

double BareWalk(const TViewFilter& filter, const TMimeFilter& mime, int& passed) {
  const auto t0 = Clock::now();
  passed = 0;
  std::lock_guard<TCriticalSection> hold(*URLListLock);
  for (int i = 0; i < GlobalURLList->Count(); ++i)
    if (URLPassesFilters(filter, mime, *GlobalURLList->GetItem(i))) ++passed;
  return Since(t0);
}

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  const int n = argc > 1 ? std::atoi(argv[1]) : 1000000;
  CreateGlobals();
  Fill(n);
  TURLListBox view;
  view.resize(600, 400);
  view.show();
  const TMimeFilter mime;

  struct Case {
    const char* name;
    TViewFilter filter;
  } cases[2];
  cases[0].name = "nofilter";
  cases[1].name = "pattern";
  cases[1].filter.FilGrid = {{"*/dir01?/*.gif", fcOnly}};

  const double firstTouch = FirstTouchMsPerMiB();
  const double first = Rebuild(view, cases[0].filter, mime);
  const TURLListModel& fresh = *view.Lines();
  const double viewMiB =
      static_cast<double>(fresh.TextBytes() + fresh.OverheadBytes()) / (1u << 20);
  std::printf("first_rebuild_ms: %.1f\n", first);
  std::printf("first_touch_ms_per_mb: %.2f\n", firstTouch);
  std::printf("first_rebuild_touch_share: %.2f\n", std::min(1.0, viewMiB * firstTouch / first));
  for (auto& c : cases) {
    int passed = 0;
    const double bare = BestMs(3, [&] { return BareWalk(c.filter, mime, passed); });
    const double rebuild = BestMs(3, [&] { return Rebuild(view, c.filter, mime); });
    std::printf("records: %d\n", n);
    std::printf("%s_lines: %d\n", c.name, view.Count());
    std::printf("%s_bare_walk_ms: %.1f\n", c.name, bare);
    std::printf("%s_rebuild_ms: %.1f\n", c.name, rebuild);
    std::printf("rebuild_%s_ratio: %.2f\n", c.name, rebuild / bare);
    if (view.Count() != passed)
      std::printf("MISMATCH: %d lines, %d passed\n", view.Count(), passed);
  }
  // Heap in use with the view empty, then with every line shown and laid
  // out: what the model and the view hold per line.
  view.Lines()->Clear();
  QCoreApplication::processEvents();
  const std::size_t heapBefore = HeapInUse();
  Rebuild(view, cases[0].filter, mime);
  view.scrollToBottom();
  QCoreApplication::processEvents();
  const std::size_t heapAfter = HeapInUse();
  const TURLListModel& lines = *view.Lines();
  std::printf("view_lines: %d\n", lines.Count());
  std::printf("view_text_bytes_per_line: %.1f\n",
              static_cast<double>(lines.TextBytes()) / lines.Count());
  std::printf("view_bytes_per_line_beyond_text: %.1f\n",
              static_cast<double>(lines.OverheadBytes()) / lines.Count());
  std::printf("view_heap_bytes_per_line_beyond_text: %.1f\n",
              (static_cast<double>(heapAfter) - static_cast<double>(heapBefore) -
               static_cast<double>(lines.TextBytes())) /
                  lines.Count());
  view.hide();
  FreeGlobals();
  return 0;
}
