// Many workers on one queue under the per-server limit, and many threads
// adding to the master list while the user-interface thread drains the outbox
// and rebuilds the view. Meant for ThreadSanitizer as much as for its checks.

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/urladder.h"
#include "engine/vkthread.h"
#include "model/uriparser.h"
#include "model/vkglobal.h"
#include "model/vkurllist.h"

namespace qv {
namespace {

constexpr int kHosts = 50;
constexpr int kItems = 5000;
constexpr int kWorkers = 15;
constexpr int kPerServer = 2;

std::string HostOf(int h) { return "http://h" + std::to_string(h) + ".test"; }

// Per host: how many workers hold one of its items right now, and the most
// ever seen.
struct THostCounters {
  std::atomic<int> Now[kHosts] = {};
  std::atomic<int> Max{0};
};

int HostIndex(const std::string& url) {
  const std::string site = URLSite(url);
  return std::stoi(site.substr(std::string("http://h").size()));
}

class TFakeFetch : public TVkThread {
 public:
  TFakeFetch(TVkThreadList* list, TJobContext& context, THostCounters& hosts)
      : TVkThread(list, context), Hosts(hosts) {}
  ~TFakeFetch() override { WaitFor(); }
  std::vector<std::string> Taken;
  THostCounters& Hosts;

 protected:
  void Execute() override {
    while (!AbortFlag && PickNextLocked(false)) {
      const std::string url = Current.URL;
      Taken.push_back(url);
      const int h = HostIndex(url);
      const int n = ++Hosts.Now[h];
      int seen = Hosts.Max.load();
      while (n > seen && !Hosts.Max.compare_exchange_weak(seen, n)) {
      }
      std::this_thread::yield();
      --Hosts.Now[h];
      Result = vrSucceeded;
      LogResult(url, 100, "", "OK (200)");
    }
  }
};

class StressTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CreateGlobals();
    Context.Adder = &Adder;
    Context.ViewFilter = &Filter;
    Context.MimeFilter = &Mime;
    Context.LocalWebDir = [] { return std::string("/nonexistent-mirror"); };
    TSettings settings;
    settings.EnterNoRobChk = true;
    settings.MaxThrServUD = kPerServer;
    StartJob(settings, &Context);
  }
  void TearDown() override { FreeGlobals(); }

  // The user-interface thread's share: drain the outbox into the view, and
  // now and then rebuild the view from the list.
  void UiPass(int pass) {
    ApplyToView(Outbox.Drain(), View);
    if (pass % 200 == 0) RebuildView(View, TViewFilter{}, TMimeFilter{});
  }

  void CheckListAndView() {
    ApplyToView(Outbox.Drain(), View);
    std::lock_guard<TCriticalSection> g(*URLListLock);
    std::string previous;
    for (int i = 0; i < GlobalURLList->Count(); ++i) {
      const std::string& url = GlobalURLList->GetItem(i)->URL;
      if (i > 0) {
        ASSERT_LT(previous, url) << "sorted, no two alike";
      }
      ASSERT_TRUE(View.Contains(url)) << url;
      previous = url;
    }
    EXPECT_EQ(View.Count(), GlobalURLList->Count()) << "each URL shown once, count = lines";
  }

  TOutbox Outbox;
  TPublished<TViewFilter> Filter;
  TPublished<TMimeFilter> Mime;
  TURLAdder Adder{Outbox, Filter, Mime};
  TJobContext Context;
  TURLViewLines View;
};

TEST_F(StressTest, WorkersTakeEachItemOnceUnderThePerServerLimit) {
  TDLList queue;
  for (int i = 0; i < kItems; ++i) {
    TActiveDL d;
    d.URL = HostOf(i % kHosts) + "/item" + std::to_string(i);
    queue.Add(d, false);
  }
  TVkThreadList running;
  THostCounters hosts;
  std::vector<std::unique_ptr<TFakeFetch>> live;
  std::vector<std::string> taken;
  int pass = 0;
  int started = 0;
  for (;;) {
    // Reap the finished threads.
    for (auto it = live.begin(); it != live.end();) {
      if ((*it)->Finished) {
        (*it)->WaitFor();
        {
          std::lock_guard<TSpinningMutex> g(JobLock);
          running.Remove(it->get());
        }
        taken.insert(taken.end(), (*it)->Taken.begin(), (*it)->Taken.end());
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
    if (!queued && live.empty()) break;
    // Start threads while the gate lets the runner.
    while (queued && static_cast<int>(live.size()) < kWorkers &&
           MayStartThread(static_cast<int>(live.size()))) {
      auto t = std::make_unique<TFakeFetch>(&running, Context, hosts);
      t->Queue = &queue;
      {
        std::lock_guard<TSpinningMutex> g(JobLock);
        running.Add(t.get());
      }
      t->Resume();
      live.push_back(std::move(t));
      ++started;
    }
    UiPass(++pass);
    std::this_thread::yield();
  }
  EXPECT_LE(hosts.Max.load(), kPerServer);
  std::map<std::string, int> times;
  for (const auto& u : taken) ++times[u];
  EXPECT_EQ(static_cast<int>(times.size()), kItems);
  for (const auto& [url, n] : times) EXPECT_EQ(n, 1) << url;
  CheckListAndView();
  {
    std::lock_guard<TCriticalSection> g(*URLListLock);
    EXPECT_EQ(GlobalURLList->Count(), kItems);
  }
}

TEST_F(StressTest, ConcurrentAdditionsWhileTheViewIsDrainedAndRebuilt) {
  constexpr int kAdders = 8;
  constexpr int kURLs = 20000;
  std::atomic<int> done{0};
  std::vector<std::thread> adders;
  for (int k = 0; k < kAdders; ++k) {
    adders.emplace_back([&, k] {
      // Each adds 5,000 URLs, overlapping its neighbours'; some with a
      // trailing "/" so that they merge into the same record.
      for (int i = 0; i < 5000; ++i) {
        const int n = (k * 2500 + i) % kURLs;
        std::string url = HostOf(n % 7) + "/u" + std::to_string(n);
        if ((n + k) % 3 == 0) url += "/";
        Adder.AddFoundURL(1, url, url, "", 0, "title\r\n" + std::to_string(k), "", n);
      }
      ++done;
    });
  }
  int pass = 0;
  while (done.load() < kAdders) {
    UiPass(++pass);
    std::this_thread::yield();
  }
  for (auto& t : adders) t.join();
  CheckListAndView();
  std::lock_guard<TCriticalSection> g(*URLListLock);
  EXPECT_EQ(GlobalURLList->Count(), kURLs);
}

}  // namespace
}  // namespace qv
