#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>

#include "engine/uiloop.h"

namespace qv::test {

// A user-interface loop for tests, on a clock of its own: time only moves
// when every posted task has run and the loop waits for a timer, and then it
// jumps to that timer at once. Before it jumps it calls Settle, which a test
// sets to wait until outside threads (a simulated service) have posted all
// they will, so the order of events does not depend on the machine's speed.
class TManualUiLoop : public TUiLoop {
 public:
  std::function<void()> Settle;

  void Post(TTask task) override;
  int StartTimer(int ms, TTask task) override;
  void StopTimer(int id) override;
  void RunUntil(const std::function<bool()>& done) override;
  void ProcessMessages() override;
  void Wait(int ms) override;

  int64_t NowMs() const { return FNow; }
  // Runs every task and timer until nothing is left (after Settle).
  void Drain();

 private:
  bool RunPosted();
  // Jumps to the earliest timer and fires it; false when there is none.
  bool FireNextTimer();

  std::mutex FLock;
  std::condition_variable FPosted;
  std::deque<TTask> FQueue;
  std::multimap<int64_t, std::pair<int, TTask>> FTimers;  // by due time
  int FNextId = 1;
  int64_t FNow = 0;
};

}  // namespace qv::test
