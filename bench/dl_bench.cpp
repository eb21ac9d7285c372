// Our side of bench/dl_vs_wget (which starts nginx, makes the files, runs
// this, wget and wget2, and prints the table): one download job of the URLs
// in LISTFILE into the mirror folder ROOT on THREADS download threads.
//
// The job runner is not built yet: a small loop of our own stands in for it
// here, starting the threads at once, ticking their watchdogs once a second
// and waiting for them to finish.
//
//   dl_bench LISTFILE ROOT THREADS
//
// Output: "name: value" lines: seconds (until every thread finished, the
// 100 ms each thread waits before it ends included), seconds_to_last_result
// (until the last item's result was recorded; to a few ms), succeeded,
// not_modified, failed.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/dlthread.h"
#include "engine/outbox.h"
#include "engine/urladder.h"
#include "model/vkglobal.h"
#include "model/vkurllist.h"

int main(int argc, char** argv) {
  using namespace qv;
  using Clock = std::chrono::steady_clock;
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s LISTFILE ROOT THREADS\n", argv[0]);
    return 2;
  }
  std::vector<std::string> urls;
  {
    std::ifstream in(argv[1]);
    for (std::string line; std::getline(in, line);)
      if (!line.empty()) urls.push_back(line);
  }
  const std::string root = argv[2];
  const int threads = std::atoi(argv[3]);
  if (threads < 1 || urls.empty()) return 2;

  CreateGlobals();
  TOutbox outbox;
  TPublished<TViewFilter> filter;
  TURLAdder adder(outbox, filter);
  TPublished<TSettings> published;
  TSettings settings;
  settings.EnterNoRobChk = true;  // wget reads no robots.txt for a list either
  settings.MaxThrServUD = threads;
  settings.TimeOutUD = 30;
  published.Publish(std::make_shared<const TSettings>(settings));
  TJobContext context;
  context.Adder = &adder;
  context.Settings = &published;
  context.ViewFilter = &filter;
  context.LocalWebDir = [&root] { return root; };
  StartJob(settings, &context);

  TDLList queue;
  for (const auto& u : urls) {
    TActiveDL item;
    item.URL = u;
    queue.Add(item, false);
  }
  TVkThreadList list;
  std::vector<std::unique_ptr<TDLThread>> workers;
  const auto start = Clock::now();
  for (int i = 0; i < threads; ++i) {
    workers.push_back(std::make_unique<TDLThread>(&list, context, false, &queue));
    std::lock_guard<TSpinningMutex> g(JobLock);
    list.Add(workers.back().get());
  }
  for (auto& w : workers) w->Resume();
  auto nextTick = start + std::chrono::seconds(1);
  double toLastResult = 0;
  for (bool running = true; running;) {
    if (toLastResult == 0) {
      std::lock_guard<TCriticalSection> g(*URLListLock);
      if (GlobalURLList->Count() >= static_cast<int>(urls.size()))
        toLastResult = std::chrono::duration<double>(Clock::now() - start).count();
    }
    running = false;
    const bool tick = Clock::now() >= nextTick;
    if (tick) nextTick += std::chrono::seconds(1);
    for (auto& w : workers) {
      if (w->Finished) continue;
      running = true;
      if (tick) w->Watchdog->Timer();
      w->CheckWatchdog();
    }
    // Drained as the user-interface thread would, so it does not grow.
    outbox.Drain();
    if (running) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  for (auto& w : workers) w->WaitFor();
  // The 100 ms each thread sleeps before it ends is the thread's, not the
  // transfers': it is left in, as the runner will wait for it too.
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();

  int succeeded = 0, notModified = 0, failed = 0;
  {
    std::lock_guard<TCriticalSection> g(*URLListLock);
    for (const auto& u : urls) {
      TVkURLItem* r = GlobalURLList->FindItem(u);
      if (r && r->Status == usDownloaded) {
        ++succeeded;
        if (r->Details == "Not Modified (304)") ++notModified;
      } else {
        ++failed;
      }
    }
  }
  {
    std::lock_guard<TSpinningMutex> g(JobLock);
    list.Clear();
  }
  workers.clear();
  if (toLastResult == 0) toLastResult = seconds;
  std::printf(
      "seconds: %.6f\nseconds_to_last_result: %.6f\nsucceeded: %d\nnot_modified: %d\nfailed: "
      "%d\n",
      seconds, toLastResult, succeeded, notModified, failed);
  FreeJobGlobals();
  FreeGlobals();
  return failed == 0 ? 0 : 1;
}
