#pragma once
// Runs one worker thread of a test's job to its end, as the job runner would
// for a single thread: listed as running, started, waited for (at most a
// minute, so a hanging worker fails the test instead of the whole run) and
// taken off the list again.

#include <chrono>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>

#include "engine/vkthread.h"

namespace qv::test {

inline void RunWorkerToItsEnd(TVkThread& thread, TVkThreadList& list) {
  using namespace std::chrono_literals;
  {
    std::lock_guard<TSpinningMutex> g(JobLock);
    list.Add(&thread);
  }
  thread.Resume();
  const auto limit = std::chrono::steady_clock::now() + 60s;
  while (!thread.Finished && std::chrono::steady_clock::now() < limit)
    std::this_thread::sleep_for(2ms);
  ASSERT_TRUE(thread.Finished) << "the worker hangs";
  thread.WaitFor();
  std::lock_guard<TSpinningMutex> g(JobLock);
  list.Remove(&thread);
}

}  // namespace qv::test
