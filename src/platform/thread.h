#pragma once

#include <atomic>
#include <mutex>
#include <thread>

namespace qv {

// A thread object that is made before its thread runs: the constructor leaves
// it suspended, Resume starts Execute on a new thread (once), WaitFor joins
// it. Finished() turns true once Execute and DoTerminate have returned, on
// every path: nothing Execute throws leaves the thread.
//
// The owner must WaitFor the thread before the derived object is destroyed
// (the destructor here joins as a last resort, but by then the derived parts
// Execute uses are gone). Thread priority has no portable meaning, so every
// thread runs at the default.
class TThread {
 public:
  TThread();
  virtual ~TThread();
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;

  // Resume and WaitFor belong to the owner thread. Starts the thread; a
  // second call does nothing; raises std::system_error when no thread can be
  // had (the object stays suspended).
  void Resume();
  // Blocks until the thread has ended; returns at once when it never started
  // or was waited for already. Not from the thread itself.
  void WaitFor();
  bool Started() const { return FStarted.load(std::memory_order_acquire); }
  bool Finished() const { return FFinished.load(std::memory_order_acquire); }

 protected:
  // The thread's work.
  virtual void Execute() = 0;
  // Runs on the thread after Execute, also when it threw; what it throws is
  // dropped.
  virtual void DoTerminate() {}

 private:
  void Run() noexcept;

  std::thread FThread;
  std::atomic<bool> FStarted{false};
  std::atomic<bool> FFinished{false};
};

// A recursive mutex that spins a while before it sleeps, as the old
// platform's critical sections did: the sections it guards last well under
// a microsecond, and putting a waiter to sleep and waking it costs more than
// the wait. With many workers queued on one of them a waiter's turn comes
// only after several sections, so it spins long enough for a few dozen of
// them (some tens of microseconds) before it sleeps: with fewer spins, a
// fifth of the worker benchmark's items put a thread to sleep and woke it
// again, at 8 and at 15 threads. Usable with std::lock_guard.
class TSpinningMutex {
 public:
  void lock() {
    for (int i = 0; i < kSpins; ++i) {
      if (FMutex.try_lock()) return;
      Pause();
    }
    FMutex.lock();
  }
  bool try_lock() { return FMutex.try_lock(); }
  void unlock() { FMutex.unlock(); }

 private:
  static constexpr int kSpins = 2000;
  static void Pause() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#else
    std::this_thread::yield();
#endif
  }
  std::recursive_mutex FMutex;
};

}  // namespace qv
