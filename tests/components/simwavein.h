#pragma once

// A capture device for tests: it delivers byte k of its stream as k % 251 (a
// counting pattern that shows any lost, repeated or reordered piece), in
// reads of at most Piece bytes, up to Limit bytes; after that a read waits
// until it is interrupted.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "components/wavein.h"

namespace qv::test {

inline uint8_t PatternByte(uint64_t k) { return static_cast<uint8_t>(k % 251); }

inline std::string Pattern(uint64_t from, uint64_t count) {
  std::string s(count, '\0');
  for (uint64_t i = 0; i < count; ++i) s[i] = static_cast<char>(PatternByte(from + i));
  return s;
}

// What the test sets and sees; shared with the device the recorder owns.
struct TSimWaveState {
  // Settings, made before New.
  uint64_t Limit = std::numeric_limits<uint64_t>::max();
  size_t Piece = 777;
  std::chrono::microseconds PauseEachRead{0};
  int FailOpens = 0;  // this many opens fail first
  // Observations.
  std::mutex Lock;
  std::condition_variable Changed;
  std::vector<TWaveFormat> Opened;  // every format an open was asked for
  uint64_t Delivered = 0;
  int Starts = 0;
  bool Interrupted = false;
  bool Closed = false;

  // Waits until at least n bytes were delivered; false after a long time
  // (a hang, not a speed limit).
  bool WaitDelivered(uint64_t n) {
    std::unique_lock<std::mutex> l(Lock);
    return Changed.wait_for(l, std::chrono::seconds(60), [&] { return Delivered >= n; });
  }
};

class TSimWaveIn : public TWaveInDevice {
 public:
  explicit TSimWaveIn(std::shared_ptr<TSimWaveState> state) : S(std::move(state)) {}

  int32_t Open(const TWaveFormat& f) override {
    std::lock_guard<std::mutex> l(S->Lock);
    S->Opened.push_back(f);
    if (S->FailOpens > 0) {
      --S->FailOpens;
      return 32;
    }
    FBlock = f.BlockAlign;
    return 0;
  }
  int32_t Start() override {
    std::lock_guard<std::mutex> l(S->Lock);
    S->Interrupted = false;
    ++S->Starts;
    return 0;
  }
  int64_t Read(uint8_t* buffer, size_t count) override {
    if (S->PauseEachRead.count() > 0) std::this_thread::sleep_for(S->PauseEachRead);
    std::unique_lock<std::mutex> l(S->Lock);
    S->Changed.wait(l, [&] { return S->Interrupted || S->Delivered < S->Limit; });
    if (S->Interrupted) return 0;
    uint64_t n = std::min<uint64_t>({count, S->Piece, S->Limit - S->Delivered});
    n -= n % FBlock;
    if (n == 0) n = std::min<uint64_t>(count, S->Limit - S->Delivered);
    for (uint64_t i = 0; i < n; ++i) buffer[i] = PatternByte(S->Delivered + i);
    S->Delivered += n;
    S->Changed.notify_all();
    return static_cast<int64_t>(n);
  }
  void Interrupt() override {
    std::lock_guard<std::mutex> l(S->Lock);
    S->Interrupted = true;
    S->Changed.notify_all();
  }
  int32_t Stop() override { return 0; }
  void Close() override {
    std::lock_guard<std::mutex> l(S->Lock);
    S->Closed = true;
  }

 private:
  std::shared_ptr<TSimWaveState> S;
  size_t FBlock = 1;
};

}  // namespace qv::test
