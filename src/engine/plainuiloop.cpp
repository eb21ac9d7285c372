#include "engine/plainuiloop.h"

#include <algorithm>
#include <chrono>

#include "engine/threadtimer.h"

namespace qv {

namespace {

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

void TPlainUiLoop::Post(TTask task) {
  {
    std::lock_guard<std::mutex> g(FLock);
    FQueue.push_back(std::move(task));
  }
  FPosted.notify_one();
}

int TPlainUiLoop::StartTimer(int ms, TTask task) {
  const int id = FNextId++;
  FTimers.emplace(NowMs() + ms, std::make_pair(id, std::move(task)));
  return id;
}

void TPlainUiLoop::StopTimer(int id) {
  for (auto it = FTimers.begin(); it != FTimers.end(); ++it)
    if (it->second.first == id) {
      FTimers.erase(it);
      return;
    }
}

void TPlainUiLoop::RunUntil(const std::function<bool()>& done) {
  while (!done()) {
    if (RunOnce()) continue;
    int64_t wait = 1000;
    const int64_t tick = TTickSource::Main().Pump();
    if (tick >= 0) wait = std::min(wait, tick);
    if (!FTimers.empty()) wait = std::min(wait, FTimers.begin()->first - NowMs());
    if (wait <= 0) continue;
    std::unique_lock<std::mutex> g(FLock);
    FPosted.wait_for(g, std::chrono::milliseconds(wait), [this] { return !FQueue.empty(); });
  }
}

void TPlainUiLoop::Wait(int ms) {
  bool done = false;
  const int id = StartTimer(ms, [&done] { done = true; });
  RunUntil([&done] { return done; });
  StopTimer(id);
}

bool TPlainUiLoop::RunOnce() {
  bool ran = false;
  for (;;) {
    TTask task;
    {
      std::lock_guard<std::mutex> g(FLock);
      if (FQueue.empty()) break;
      task = std::move(FQueue.front());
      FQueue.pop_front();
    }
    task();
    ran = true;
  }
  const int64_t now = NowMs();
  while (!FTimers.empty() && FTimers.begin()->first <= now) {
    TTask task = std::move(FTimers.begin()->second.second);
    FTimers.erase(FTimers.begin());
    task();
    ran = true;
  }
  return ran;
}

}  // namespace qv
