#pragma once

// A small job runner for spider tests: keeps up to `threads` workers made by
// `make` running while the queue or the retry list holds work, frees the ones
// that ended, and returns once all have ended and no work is left (false
// when that took longer than `limit`).

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/spiderthread.h"

namespace qv::test {

inline bool RunSpiderJob(TDLList& queue, TVkThreadList& list, int threads,
                         const std::function<std::unique_ptr<TSpiderThread>()>& make,
                         std::chrono::seconds limit = std::chrono::seconds(300)) {
  using namespace std::chrono_literals;
  std::vector<std::unique_ptr<TSpiderThread>> running;
  const auto end = std::chrono::steady_clock::now() + limit;
  bool inTime = true;
  for (;;) {
    bool work = false;
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
    {
      std::lock_guard<TSpinningMutex> g(JobLock);
      work = queue.Count() > 0 || RetryList.Count() > 0;
    }
    if (running.empty() && !work) break;
    if (std::chrono::steady_clock::now() > end) {
      inTime = false;
      for (auto& t : running) t->Stop();
    }
    while (inTime && work && static_cast<int>(running.size()) < threads &&
           MayStartThread(static_cast<int>(running.size()))) {
      running.push_back(make());
      {
        std::lock_guard<TSpinningMutex> g(JobLock);
        list.Add(running.back().get());
      }
      running.back()->Resume();
    }
    std::this_thread::sleep_for(2ms);
  }
  return inTime;
}

}  // namespace qv::test
