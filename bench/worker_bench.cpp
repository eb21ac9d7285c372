// The worker base's own cost per queue item, with a fetch that costs nothing:
// the pick under the per-server limit, the result log into the master list
// and the outbox line the user-interface thread drains into the view. Run at
// 1, 8 and 15 threads over the same items, each figure beside the bare cost
// of adding those items to the master list on one thread with no threads or
// locks around it, measured in the same run.
//
//   bare_adds_per_s            GlobalURLList->AddItem alone, one thread
//   engine_T_threads_per_s     items through the engine with T workers
//   one_thread_vs_bare         engine_1 / bare             (aim >= 0.5)
//   T_threads_vs_one_thread    engine_T / engine_1         (aim >= 0.8)
//
// Each figure is the best of five interleaved rounds.
// Usage: worker_bench [items] [hosts] [thread counts, e.g. 1 or 1,8,15]
// WORKER_BENCH_PICK_ONLY=1 times the picks alone (no result is logged);
// WORKER_BENCH_DEBUG=1 prints each worker's CPU time, page faults and
// context switches, and each run's CPU time and sleeps per item.
#include <pthread.h>
#include <sys/resource.h>
#include <time.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/outbox.h"
#include "engine/urladder.h"
#include "engine/vkthread.h"
#include "model/vkglobal.h"
#include "model/vkurllist.h"

namespace qv {
namespace {

using Clock = std::chrono::steady_clock;

std::vector<std::string> MakeURLs(int items, int hosts) {
  std::vector<std::string> urls;
  urls.reserve(static_cast<size_t>(items));
  for (int i = 0; i < items; ++i) {
    urls.push_back("http://www.host" + std::to_string(i % hosts) + ".example/docs/section" +
                   std::to_string(i / hosts % 97) + "/page" + std::to_string(i) + ".html");
  }
  std::sort(urls.begin(), urls.end());
  return urls;
}

TVkURLItem ResultRecord(const std::string& url) {
  TVkURLItem r;
  r.URL = url;
  r.Size = 100;
  r.SetStatus(usDownloaded);
  r.Details = "OK (200)";
  return r;
}

double BareAddsPerSecond(const std::vector<std::string>& urls) {
  TVkURLList list;
  const auto start = Clock::now();
  for (const auto& u : urls) list.AddItem(ResultRecord(u), false);
  const double s = std::chrono::duration<double>(Clock::now() - start).count();
  return static_cast<double>(urls.size()) / s;
}

// A worker whose fetch always succeeds at once.
class TNullFetch : public TVkThread {
 public:
  using TVkThread::TVkThread;
  ~TNullFetch() override { WaitFor(); }

 protected:
  void Execute() override {
    pthread_setname_np(pthread_self(), "bench-worker");
    static const bool pickOnly = std::getenv("WORKER_BENCH_PICK_ONLY") != nullptr;
    while (!AbortFlag && PickNextLocked(false)) {
      Result = vrSucceeded;
      if (!pickOnly) LogResult(Current.URL, 100, "", "OK (200)");
    }
    if (std::getenv("WORKER_BENCH_DEBUG")) {
      timespec ts;
      clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
      rusage ru{};
      getrusage(RUSAGE_THREAD, &ru);
      std::fprintf(stderr, "worker cpu %.3fs (sys %.3fs), %ld faults, %ld waits, %ld preemptions\n",
                   ts.tv_sec + ts.tv_nsec / 1e9, ru.ru_stime.tv_sec + ru.ru_stime.tv_usec / 1e6,
                   ru.ru_minflt, ru.ru_nvcsw, ru.ru_nivcsw);
    }
  }
};

double EngineItemsPerSecond(const std::vector<std::string>& urls, int threads) {
  CreateGlobals();
  TOutbox outbox;
  TURLAdder adder(outbox);
  TJobContext context;
  context.Adder = &adder;
  context.LocalWebDir = [] { return std::string("/nonexistent-mirror"); };
  TSettings settings;
  settings.EnterNoRobChk = true;
  settings.MaxThrServUD = 5;
  StartJob(settings, &context);
  TDLList queue;
  for (const auto& u : urls) {
    TActiveDL d;
    d.URL = u;
    queue.Add(d, true);
  }
  TVkThreadList running;
  TURLViewLines view;
  std::vector<std::unique_ptr<TNullFetch>> live;
  size_t drained = 0;

  rusage before{};
  getrusage(RUSAGE_SELF, &before);
  const auto start = Clock::now();
  for (;;) {
    for (auto it = live.begin(); it != live.end();) {
      if ((*it)->Finished) {
        (*it)->WaitFor();
        {
          std::lock_guard<TSpinningMutex> g(JobLock);
          running.Remove(it->get());
        }
        it = live.erase(it);
      } else {
        ++it;
      }
    }
    bool queued;
    {
      std::lock_guard<TSpinningMutex> g(JobLock);
      queued = queue.Count() > 0;
    }
    if (queued) {
      while (static_cast<int>(live.size()) < threads &&
             MayStartThread(static_cast<int>(live.size()))) {
        auto t = std::make_unique<TNullFetch>(&running, context);
        t->Queue = &queue;
        {
          std::lock_guard<TSpinningMutex> g(JobLock);
          running.Add(t.get());
        }
        t->Resume();
        live.push_back(std::move(t));
      }
    }
    drained += static_cast<size_t>(ApplyToView(outbox.Drain(), view));
    if (!queued && live.empty()) break;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  const auto workersDone = Clock::now();
  drained += static_cast<size_t>(ApplyToView(outbox.Drain(), view));
  const double s = std::chrono::duration<double>(Clock::now() - start).count();
  if (std::getenv("WORKER_BENCH_DEBUG")) {
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    auto secs = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    const double cpu =
        secs(after.ru_utime) - secs(before.ru_utime) + secs(after.ru_stime) - secs(before.ru_stime);
    std::fprintf(
        stderr, "%d threads: workers %.3fs, total %.3fs, cpu %.0f ns/item, %.3f sleeps/item\n",
        threads, std::chrono::duration<double>(workersDone - start).count(), s,
        cpu * 1e9 / static_cast<double>(urls.size()),
        static_cast<double>(after.ru_nvcsw - before.ru_nvcsw) / static_cast<double>(urls.size()));
  }
  if (std::getenv("WORKER_BENCH_PICK_ONLY")) {
    FreeGlobals();
    return static_cast<double>(urls.size()) / s;
  }
  if (drained != urls.size() || GlobalURLList->Count() != static_cast<int>(urls.size())) {
    std::fprintf(stderr, "lost items: %zu shown, %d listed\n", drained, GlobalURLList->Count());
    std::exit(1);
  }
  FreeGlobals();
  return static_cast<double>(urls.size()) / s;
}

}  // namespace
}  // namespace qv

int main(int argc, char** argv) {
  using namespace qv;
  const int items = argc > 1 ? std::atoi(argv[1]) : 200000;
  const int hosts = argc > 2 ? std::atoi(argv[2]) : 100;
  std::vector<int> counts = {1, 8, 15};
  if (argc > 3) {
    counts.clear();
    for (const char* p = argv[3]; *p;) {
      char* end = nullptr;
      const long n = std::strtol(p, &end, 10);
      if (end == p || n < 1) break;
      counts.push_back(static_cast<int>(n));
      p = *end == ',' ? end + 1 : end;
    }
  }
  const auto urls = MakeURLs(items, hosts);
  // Rounds interleave the bare additions and every thread count, so a busy
  // moment of the machine weighs on all of them alike; each figure is the
  // best of its rounds. Each timed run follows an untimed one of the same
  // kind: the allocator keeps an arena per thread and hands a new thread the
  // one an ended thread left, so without it the engine's threads often land
  // on arenas that never held a list this size and pay for the first touch
  // of its memory (some 16,000 page faults for 200,000 items) in the timed
  // part, while the bare additions on the main thread reuse its warm arena.
  constexpr int kRounds = 5;
  double bare = 0;
  std::vector<double> rates(counts.size(), 0.0);
  for (int round = 0; round < kRounds; ++round) {
    BareAddsPerSecond(urls);
    bare = std::max(bare, BareAddsPerSecond(urls));
    for (size_t i = 0; i < counts.size(); ++i) {
      EngineItemsPerSecond(urls, counts[i]);
      rates[i] = std::max(rates[i], EngineItemsPerSecond(urls, counts[i]));
    }
  }
  std::printf("items: %d\nhosts: %d\n", items, hosts);
  std::printf("bare_adds_per_s: %.0f\n", bare);
  const auto one = std::find(counts.begin(), counts.end(), 1);
  const double oneRate = one == counts.end() ? 0 : rates[static_cast<size_t>(one - counts.begin())];
  for (size_t i = 0; i < counts.size(); ++i) {
    std::printf("engine_%d_threads_per_s: %.0f\n", counts[i], rates[i]);
    if (counts[i] == 1)
      std::printf("one_thread_vs_bare: %.2f\n", rates[i] / bare);
    else if (oneRate > 0)
      std::printf("%d_threads_vs_one_thread: %.2f\n", counts[i], rates[i] / oneRate);
  }
  FreeJobGlobals();
  return 0;
}
