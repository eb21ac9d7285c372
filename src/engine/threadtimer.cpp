#include "engine/threadtimer.h"

#include <algorithm>
#include <chrono>

#include <sys/eventfd.h>
#include <unistd.h>

namespace qv {

TTickSource::TTickSource(TClock clock) : FClock(std::move(clock)) {
  if (!FClock)
    FClock = [] {
      return std::chrono::duration_cast<std::chrono::milliseconds>(
                 std::chrono::steady_clock::now().time_since_epoch())
          .count();
    };
  FWakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

TTickSource::~TTickSource() {
  if (FWakeFd >= 0) close(FWakeFd);
}

TTickSource& TTickSource::Main() {
  static TTickSource* main = new TTickSource();
  return *main;
}

int64_t TTickSource::NowMs() const { return FClock(); }

void TTickSource::Wake() {
  if (FWakeFd < 0) return;
  uint64_t one = 1;
  // A full counter already wakes the owner; nothing to do on failure.
  [[maybe_unused]] ssize_t n = write(FWakeFd, &one, sizeof one);
}

void TTickSource::Attach(TThreadTimer* timer) {
  std::lock_guard<std::mutex> g(FListLock);
  FTimers.push_back(timer);
}

void TTickSource::Detach(TThreadTimer* timer) {
  std::lock_guard<std::mutex> g(FListLock);
  auto it = std::find(FTimers.begin(), FTimers.end(), timer);
  if (it == FTimers.end()) return;
  // While a pump walks the list by index, a slot is emptied, not removed.
  if (FPumping > 0) {
    *it = nullptr;
    FHoles = true;
  } else {
    FTimers.erase(it);
  }
}

int64_t TTickSource::Pump() {
  if (FWakeFd >= 0) {
    uint64_t drained;
    [[maybe_unused]] ssize_t n = read(FWakeFd, &drained, sizeof drained);
  }
  {
    std::lock_guard<std::mutex> g(FListLock);
    ++FPumping;
  }
  int64_t now = NowMs();
  for (size_t i = 0;; ++i) {
    TThreadTimer* t;
    {
      std::lock_guard<std::mutex> g(FListLock);
      if (i >= FTimers.size()) break;
      t = FTimers[i];
    }
    int64_t interval = t ? t->Running() : 0;
    if (interval == 0 || now < t->FDue) continue;
    // The next tick keeps the phase. It is set before the handler runs, so a
    // nested loop inside the handler does not deliver this tick again; a
    // restart inside the handler sets a new phase anyway.
    t->FDue += ((now - t->FDue) / interval + 1) * interval;
    t->Wndproc(TThreadTimer::TimerMessage);
  }
  int64_t next = -1;
  std::lock_guard<std::mutex> g(FListLock);
  if (--FPumping == 0 && FHoles) {
    FTimers.erase(std::remove(FTimers.begin(), FTimers.end(), nullptr), FTimers.end());
    FHoles = false;
  }
  for (TThreadTimer* t : FTimers) {
    if (!t || !t->Running()) continue;
    int64_t wait = std::max<int64_t>(0, t->FDue - now);
    if (next < 0 || wait < next) next = wait;
  }
  return next;
}

TThreadTimer::TThreadTimer(TTickSource& source) : FSource(source) { FSource.Attach(this); }

TThreadTimer::~TThreadTimer() {
  FEnabled.store(false, std::memory_order_release);
  FSource.Detach(this);
}

void TThreadTimer::SetEnabled(bool value) {
  if (FEnabled.exchange(value, std::memory_order_acq_rel) != value) UpdateTimer();
}

void TThreadTimer::SetInterval(uint32_t ms) {
  if (FInterval.exchange(ms, std::memory_order_acq_rel) != ms) UpdateTimer();
}

void TThreadTimer::UpdateTimer() {
  FStartMs.store(FSource.NowMs(), std::memory_order_relaxed);
  FRestarts.fetch_add(1, std::memory_order_release);
  if (Enabled() && Interval() != 0) FSource.Wake();
}

uint32_t TThreadTimer::Running() {
  if (!Enabled()) return 0;
  uint32_t interval = Interval();
  if (interval == 0) return 0;
  uint64_t restarts = FRestarts.load(std::memory_order_acquire);
  if (restarts != FSeenRestarts) {
    FSeenRestarts = restarts;
    FDue = FStartMs.load(std::memory_order_relaxed) + interval;
  }
  return interval;
}

void TThreadTimer::Timer() {
  if (OnTimer) OnTimer(*this);
}

void TThreadTimer::Wndproc(unsigned message) {
  if (message != TimerMessage) return;
  try {
    Timer();
  } catch (...) {
    if (FSource.OnException) FSource.OnException(std::current_exception());
  }
}

TVkThreadTimer::TVkThreadTimer(TDNSocket* socket, TIdHTTPExt* http, TIdFTPExt* ftp,
                               TTickSource& source)
    : TThreadTimer(source), Socket(socket), HTTP(http), FTP(ftp) {}

void TVkThreadTimer::Bind(TDNSocket* socket, TIdHTTPExt* http, TIdFTPExt* ftp) {
  Socket = socket;
  HTTP = http;
  FTP = ftp;
}

void TVkThreadTimer::Timer() {
  // Stops at -100000, so a timer left running never wraps round to a
  // positive count. Compare-and-swap, so an Arm from the worker in between is
  // never overwritten with the old count less one.
  int32_t c = Count.load(std::memory_order_acquire);
  while (c >= -99999) {
    if (Count.compare_exchange_weak(c, c - 1, std::memory_order_acq_rel)) {
      Fired.store(1, std::memory_order_release);
      return;
    }
  }
}

void Arm(TVkThreadTimer& timer, int32_t seconds) {
  timer.Count.store(seconds, std::memory_order_release);
  timer.SetEnabled(true);
}

}  // namespace qv
