#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>

#include "engine/uiloop.h"

namespace qv {

// The user-interface loop of a program without windows (the headless mirror
// job): posted tasks, one-shot timers and the worker watchdogs' tick source,
// sleeping until the earliest of them is due or a task is posted.
class TPlainUiLoop : public TUiLoop {
 public:
  void Post(TTask task) override;
  int StartTimer(int ms, TTask task) override;
  void StopTimer(int id) override;
  void RunUntil(const std::function<bool()>& done) override;
  void ProcessMessages() override { RunOnce(); }
  void Wait(int ms) override;

 private:
  // Posted tasks and due timers; true when something ran.
  bool RunOnce();

  std::mutex FLock;
  std::condition_variable FPosted;
  std::deque<TTask> FQueue;
  std::multimap<int64_t, std::pair<int, TTask>> FTimers;
  int FNextId = 1;
};

}  // namespace qv
