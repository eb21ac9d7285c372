#pragma once
// A sound player that only records what it was asked to play, for tests of
// the drop sound: how often, and on which thread.

#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/wavesound.h"

namespace qv::test {

// What the fake player did; it outlives the player, which the sound owns.
struct TPlayLog {
  std::mutex Lock;
  std::condition_variable Done;
  int Plays = 0;
  std::thread::id On;
};

class TFakePlayer : public TSoundPlayer {
 public:
  explicit TFakePlayer(TPlayLog& log) : Log(log) {}
  void Play(const TWaveData&) override {
    std::lock_guard<std::mutex> hold(Log.Lock);
    ++Log.Plays;
    Log.On = std::this_thread::get_id();
    Log.Done.notify_all();
  }

 private:
  TPlayLog& Log;
};

}  // namespace qv::test
