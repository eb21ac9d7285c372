// An extract job over a site on a local server, with the workers kept
// running by the same loop as the download-thread benchmark: one run per
// thread count given, each with an empty cache and job state.
//
//   spider_bench START_URL THREADS...
//   spider_bench --memory
//
// Prints per run "spider_T_threads_pages: N", "spider_T_threads_seconds: S"
// and "spider_T_threads_pages_per_s: X" (pages: URLs the job fetched).
// Requests per page come from the server's access log (bench/spider_vs_wget2
// reads it). The mirror and the cache are made under SPIDER_BENCH_DIR
// (default /dev/shm) and removed at the end unless SPIDER_BENCH_KEEP is set.
// With --memory it prints only
// "master_list_bytes_per_100000_urls: B", the growth of the resident set
// while 100,000 found links are recorded: a run of its own, so that a crawl
// timed from outside the program does not include it.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/outbox.h"
#include "engine/robots.h"
#include "engine/spiderthread.h"
#include "engine/urladder.h"
#include "model/vkglobal.h"
#include "model/vkurllist.h"

namespace qv {
namespace {

using Clock = std::chrono::steady_clock;

long ResidentBytes() {
  std::ifstream in("/proc/self/statm");
  long pages = 0, resident = 0;
  in >> pages >> resident;
  return resident * sysconf(_SC_PAGESIZE);
}

// Keeps up to `threads` workers running while there is work.
void RunJob(TDLList& queue, TVkThreadList& list, TJobContext& context, int threads) {
  using namespace std::chrono_literals;
  std::vector<std::unique_ptr<TSpiderThread>> running;
  for (;;) {
    for (size_t i = 0; i < running.size();) {
      if (running[i]->Finished) {
        running[i]->WaitFor();
        {
          std::lock_guard<TSpinningMutex> g(JobLock);
          list.Remove(running[i].get());
        }
        running.erase(running.begin() + static_cast<std::ptrdiff_t>(i));
      } else {
        ++i;
      }
    }
    bool work;
    {
      std::lock_guard<TSpinningMutex> g(JobLock);
      work = queue.Count() > 0 || RetryList.Count() > 0;
    }
    if (running.empty() && !work) return;
    while (work && static_cast<int>(running.size()) < threads &&
           MayStartThread(static_cast<int>(running.size()))) {
      running.push_back(std::make_unique<TSpiderThread>(&list, context, &queue));
      {
        std::lock_guard<TSpinningMutex> g(JobLock);
        list.Add(running.back().get());
      }
      running.back()->Resume();
    }
    std::this_thread::sleep_for(1ms);
  }
}

// The resident-set growth of the master list while 100,000 found links are
// recorded.
void MeasureMasterList() {
  CreateGlobals();
  TOutbox outbox;
  TURLAdder adder{outbox};
  const long before = ResidentBytes();
  for (int i = 0; i < 100000; ++i) {
    const std::string url = "http://www.host" + std::to_string(i % 50) + ".example/docs/page" +
                            std::to_string(i) + ".html";
    adder.AddFoundURL(0, url, url, "http://www.host0.example/index.html", 0, "A link title", "",
                      -1);
    if (i % 1000 == 0) outbox.Drain();
  }
  outbox.Drain();
  std::printf("master_list_bytes_per_100000_urls: %ld\n", ResidentBytes() - before);
}

int Main(int argc, char** argv) {
  if (argc == 2 && std::string(argv[1]) == "--memory") {
    MeasureMasterList();
    return 0;
  }
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s START_URL THREADS... | --memory\n", argv[0]);
    return 2;
  }
  const std::string start = argv[1];
  // The mirror and cache copies go to memory unless SPIDER_BENCH_DIR says
  // otherwise: on a disk, creating two folders and four files a page costs
  // more than the crawl itself and measures the file system.
  const char* dirEnv = std::getenv("SPIDER_BENCH_DIR");
  const std::string base = dirEnv && *dirEnv                           ? std::string(dirEnv)
                           : std::filesystem::is_directory("/dev/shm") ? std::string("/dev/shm")
                                                                       : std::string("/tmp");
  const std::string scratch = base + "/qv-spider-bench-" + std::to_string(getpid());
  setenv("QUENDRAVILOS_HOME", (scratch + "/prog").c_str(), 1);
  CreateGlobals();
  for (int a = 2; a < argc; ++a) {
    const int threads = std::atoi(argv[a]);
    std::filesystem::remove_all(scratch);
    std::filesystem::create_directories(scratch + "/mirror");
    {
      std::lock_guard<TCriticalSection> g(*URLListLock);
      GlobalURLList->ClearItems();
    }
    TOutbox outbox;
    TURLAdder adder{outbox};
    TRobotsStore robots;
    TPublished<TSettings> published;
    TSettings options;
    options.MaxThrServUD = threads;
    options.TimeOutUD = 30;
    options.UserAgEd = "QvBench";
    published.Publish(std::make_shared<const TSettings>(options));
    TJobContext context;
    context.Adder = &adder;
    context.Robots = &robots;
    context.Settings = &published;
    context.LocalWebDir = [&] { return scratch + "/mirror"; };
    StartJob(options, &context);
    TDLList queue;
    TActiveDL root;
    root.URL = start;
    root.SiteMode = 2;
    root.Depth = 1000;
    root.Origin = 1;
    queue.Add(root, false);
    TVkThreadList list;
    int pages = 0;
    std::atomic<bool> done{false};
    const auto t0 = Clock::now();
    // The user-interface thread's part: the outbox drained as it fills.
    std::thread drain([&] {
      while (!done) {
        outbox.Drain();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
    });
    RunJob(queue, list, context, threads);
    const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    done = true;
    drain.join();
    {
      std::lock_guard<TSpinningMutex> g(JobLock);
      pages = static_cast<int>(VisitedList.size());
    }
    std::printf("spider_%d_threads_pages: %d\n", threads, pages);
    std::printf("spider_%d_threads_seconds: %.3f\n", threads, seconds);
    std::printf("spider_%d_threads_pages_per_s: %.1f\n", threads, pages / seconds);
    std::fflush(stdout);
  }
  // The crawl's stored copies are the caller's to remove when it times the
  // whole program: removing thousands of them is no part of the crawl.
  if (!std::getenv("SPIDER_BENCH_KEEP")) std::filesystem::remove_all(scratch);
  return 0;
}

}  // namespace
}  // namespace qv

int main(int argc, char** argv) { return qv::Main(argc, argv); }
