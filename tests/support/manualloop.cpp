#include "support/manualloop.h"

#include <chrono>

#include <gtest/gtest.h>

namespace qv::test {

void TManualUiLoop::Post(TTask task) {
  {
    std::lock_guard<std::mutex> g(FLock);
    FQueue.push_back(std::move(task));
  }
  FPosted.notify_all();
}

int TManualUiLoop::StartTimer(int ms, TTask task) {
  int id = FNextId++;
  FTimers.emplace(FNow + ms, std::make_pair(id, std::move(task)));
  return id;
}

void TManualUiLoop::StopTimer(int id) {
  for (auto it = FTimers.begin(); it != FTimers.end(); ++it)
    if (it->second.first == id) {
      FTimers.erase(it);
      return;
    }
}

bool TManualUiLoop::RunPosted() {
  bool ran = false;
  for (;;) {
    TTask task;
    {
      std::lock_guard<std::mutex> g(FLock);
      if (FQueue.empty()) return ran;
      task = std::move(FQueue.front());
      FQueue.pop_front();
    }
    task();
    ran = true;
  }
}

bool TManualUiLoop::FireNextTimer() {
  if (FTimers.empty()) return false;
  auto it = FTimers.begin();
  FNow = std::max(FNow, it->first);
  TTask task = std::move(it->second.second);
  FTimers.erase(it);
  task();
  return true;
}

void TManualUiLoop::RunUntil(const std::function<bool()>& done) {
  while (!done()) {
    if (RunPosted()) continue;
    if (Settle) Settle();
    if (RunPosted()) continue;
    if (FireNextTimer()) continue;
    // Nothing can happen any more unless another thread posts.
    std::unique_lock<std::mutex> g(FLock);
    if (!FPosted.wait_for(g, std::chrono::seconds(10), [this] { return !FQueue.empty(); })) {
      ADD_FAILURE() << "the loop waits for an event that never comes";
      return;
    }
  }
}

void TManualUiLoop::ProcessMessages() { RunPosted(); }

void TManualUiLoop::Wait(int ms) {
  int64_t end = FNow + ms;
  int id = StartTimer(ms, [] {});
  RunUntil([this, end] { return FNow >= end; });
  StopTimer(id);
}

void TManualUiLoop::Drain() {
  for (;;) {
    if (RunPosted()) continue;
    if (Settle) Settle();
    if (RunPosted()) continue;
    if (!FireNextTimer()) return;
  }
}

}  // namespace qv::test
