#pragma once

#include <functional>

namespace qv {

// The user-interface thread's message loop, as engine logic that runs a
// window sees it. The program implements it over Qt's event loop; tests use a
// loop with a clock they advance themselves.
class TUiLoop {
 public:
  using TTask = std::function<void()>;

  virtual ~TUiLoop() = default;

  // Any thread: runs task on the user-interface thread, in posting order.
  virtual void Post(TTask task) = 0;
  // One-shot timer on the user-interface thread; returns an id > 0.
  virtual int StartTimer(int ms, TTask task) = 0;
  // Stopping an id that fired or was stopped already does nothing.
  virtual void StopTimer(int id) = 0;
  // Runs posted tasks and timers until done() holds (a nested loop, as a
  // modal window has).
  virtual void RunUntil(const std::function<bool()>& done) = 0;
  // Runs what is pending now, without waiting.
  virtual void ProcessMessages() = 0;
  // Lets the loop run for ms milliseconds.
  virtual void Wait(int ms) = 0;
};

}  // namespace qv
