#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <vector>

namespace qv {

class TThreadTimer;
class TDNSocket;
class TIdHTTPExt;
class TIdFTPExt;

// Delivers the ticks of the timers made on one thread (its owner) on that
// thread. The owner calls Pump from its loop: the program's user-interface
// thread drives it with a Qt timer and wakes on WakeFd; tests call Pump
// directly with a clock of their own.
//
// Thread-safety: any thread may switch a timer on or off or change its
// interval; that takes atomic operations and, when a timer goes on, a write
// to an eventfd, never a lock. Pump, and making and destroying timers, belong
// to the owner thread.
class TTickSource {
 public:
  // Monotonic milliseconds; called from any thread.
  using TClock = std::function<int64_t()>;

  explicit TTickSource(TClock clock = nullptr);
  ~TTickSource();
  TTickSource(const TTickSource&) = delete;
  TTickSource& operator=(const TTickSource&) = delete;

  // The user-interface thread's source, made on first use and never
  // destroyed (pooled timers live until the program ends).
  static TTickSource& Main();

  int64_t NowMs() const;
  // Delivers one tick to every enabled timer that is due (a timer that fell
  // behind gets one tick, not one per missed interval, and keeps its phase).
  // Returns the milliseconds until the next tick is due, or -1 when no timer
  // is enabled.
  int64_t Pump();
  // Readable when a timer was switched on since the last Pump.
  int WakeFd() const { return FWakeFd; }

  // Receives what a timer's handler throws (on the owner thread); by default
  // it is dropped, so one failing handler never stops the other timers.
  std::function<void(std::exception_ptr)> OnException;

 private:
  friend class TThreadTimer;
  void Attach(TThreadTimer* timer);
  void Detach(TThreadTimer* timer);
  void Wake();

  TClock FClock;
  int FWakeFd = -1;
  std::mutex FListLock;  // guards FTimers; never held while a tick runs
  std::vector<TThreadTimer*> FTimers;
  int FPumping = 0;
  bool FHoles = false;
};

// A timer whose ticks arrive on the thread that made it. Enabled is false
// and Interval 1000 ms at creation. Ticks come every Interval milliseconds
// from the moment the timer was last switched on or given a new interval.
class TThreadTimer {
 public:
  // The tick message, as the timer's Wndproc receives it.
  static constexpr unsigned TimerMessage = 0x0113;

  explicit TThreadTimer(TTickSource& source = TTickSource::Main());
  virtual ~TThreadTimer();
  TThreadTimer(const TThreadTimer&) = delete;
  TThreadTimer& operator=(const TThreadTimer&) = delete;

  bool Enabled() const { return FEnabled.load(std::memory_order_acquire); }
  uint32_t Interval() const { return FInterval.load(std::memory_order_acquire); }
  // Any thread. A change restarts the timer's phase; the same value does nothing.
  void SetEnabled(bool value);
  void SetInterval(uint32_t ms);

  // Called on each tick with the timer as sender (owner thread).
  std::function<void(TThreadTimer& sender)> OnTimer;

  virtual void Timer();
  // A tick message runs Timer, and what it throws goes to the source's
  // exception handler; other messages are ignored.
  virtual void Wndproc(unsigned message);

 protected:
  void UpdateTimer();

 private:
  friend class TTickSource;
  // Owner thread: refreshes FDue after a restart; the interval when the
  // timer runs, else 0.
  uint32_t Running();

  TTickSource& FSource;
  std::atomic<bool> FEnabled{false};
  std::atomic<uint32_t> FInterval{1000};
  std::atomic<int64_t> FStartMs{0};
  std::atomic<uint64_t> FRestarts{0};
  uint64_t FSeenRestarts = ~uint64_t(0);
  int64_t FDue = 0;
};

// The countdown timer of a worker thread's watchdog. Count is the seconds
// left before the time-out (at or below 0 the thread counts as timed out);
// each tick lowers it by one, down to -100000 where it stays, and sets Fired.
// Worker threads arm it (Arm) and switch it off; the job runner reads Count
// and clears Fired on the user-interface thread. All of it atomic.
class TVkThreadTimer : public TThreadTimer {
 public:
  TVkThreadTimer(TDNSocket* socket, TIdHTTPExt* http, TIdFTPExt* ftp,
                 TTickSource& source = TTickSource::Main());

  std::atomic<int32_t> Count{0};
  std::atomic<uint8_t> Fired{0};
  // The connection objects of the thread that holds the timer; the pool
  // binds a timer to each thread that takes it (Bind), before the thread
  // runs.
  TDNSocket* Socket;
  TIdHTTPExt* HTTP;
  TIdFTPExt* FTP;

  // Binds the timer to a new holder's objects. Only while no other thread
  // uses the timer (the pool's take).
  void Bind(TDNSocket* socket, TIdHTTPExt* http, TIdFTPExt* ftp);

  void Timer() override;
};

// Count := seconds, then the timer goes on. Any thread.
void Arm(TVkThreadTimer& timer, int32_t seconds);

}  // namespace qv
