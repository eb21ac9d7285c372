#include "platform/thread.h"

namespace qv {

namespace {

// Sets the flag when the thread leaves Run, however it leaves.
class TFinishGuard {
 public:
  explicit TFinishGuard(std::atomic<bool>& flag) : Flag(flag) {}
  ~TFinishGuard() { Flag.store(true, std::memory_order_release); }
  TFinishGuard(const TFinishGuard&) = delete;
  TFinishGuard& operator=(const TFinishGuard&) = delete;

 private:
  std::atomic<bool>& Flag;
};

}  // namespace

TThread::TThread() = default;

TThread::~TThread() { WaitFor(); }

void TThread::Resume() {
  if (FStarted.exchange(true, std::memory_order_acq_rel)) return;
  try {
    FThread = std::thread([this] { Run(); });
  } catch (...) {
    FStarted.store(false, std::memory_order_release);
    throw;
  }
}

void TThread::WaitFor() {
  if (FThread.joinable() && FThread.get_id() != std::this_thread::get_id()) FThread.join();
}

void TThread::Run() noexcept {
  TFinishGuard guard(FFinished);
  try {
    Execute();
  } catch (...) {
  }
  try {
    DoTerminate();
  } catch (...) {
  }
}

}  // namespace qv
