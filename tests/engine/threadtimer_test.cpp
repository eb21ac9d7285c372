#include "engine/threadtimer.h"

#include <poll.h>

#include <stdexcept>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace qv {
namespace {

struct TFakeClock {
  std::atomic<int64_t> Now{10000};
  TTickSource::TClock Fn() {
    return [this] { return Now.load(); };
  }
};

bool Readable(int fd) {
  pollfd p{fd, POLLIN, 0};
  return poll(&p, 1, 0) == 1;
}

TEST(ThreadTimer, EachTimerKeepsItsOwnPhase) {
  TFakeClock clock;
  TTickSource source(clock.Fn());
  std::vector<std::pair<char, int64_t>> ticks;
  TThreadTimer a(source), b(source);
  a.OnTimer = [&](TThreadTimer&) { ticks.push_back({'a', clock.Now - 10000}); };
  b.OnTimer = [&](TThreadTimer&) { ticks.push_back({'b', clock.Now - 10000}); };
  EXPECT_FALSE(a.Enabled());
  EXPECT_EQ(a.Interval(), 1000u);
  EXPECT_EQ(source.Pump(), -1);  // nothing enabled

  a.SetEnabled(true);
  clock.Now += 300;
  b.SetEnabled(true);
  EXPECT_EQ(source.Pump(), 700);  // a is due first
  for (int64_t t : {1000, 1299, 1300, 2000, 2300}) {
    clock.Now = 10000 + t;
    source.Pump();
  }
  EXPECT_EQ(ticks, (std::vector<std::pair<char, int64_t>>{
                       {'a', 1000}, {'b', 1300}, {'a', 2000}, {'b', 2300}}));

  // A pump that comes late delivers one tick and the phase stays.
  ticks.clear();
  b.SetEnabled(false);
  clock.Now = 10000 + 5500;
  EXPECT_EQ(source.Pump(), 500);
  EXPECT_EQ(ticks.size(), 1u);
  clock.Now = 10000 + 6000;
  source.Pump();
  EXPECT_EQ(ticks.size(), 2u);
}

TEST(ThreadTimer, IntervalChangesRestartOnlyWhenTheValueDiffers) {
  TFakeClock clock;
  TTickSource source(clock.Fn());
  std::vector<int64_t> ticks;
  TThreadTimer t(source);
  t.OnTimer = [&](TThreadTimer&) { ticks.push_back(clock.Now - 10000); };
  t.SetEnabled(true);
  clock.Now = 10700;
  t.SetInterval(1000);  // same value: no restart
  t.SetEnabled(true);   // likewise
  EXPECT_EQ(source.Pump(), 300);
  clock.Now = 11500;
  source.Pump();
  t.SetInterval(400);  // restarts from now
  EXPECT_EQ(source.Pump(), 400);
  for (int64_t at : {11899, 11900, 12300}) {
    clock.Now = at;
    source.Pump();
  }
  EXPECT_EQ(ticks, (std::vector<int64_t>{1500, 1900, 2300}));  // the first one late
  t.SetInterval(0);                                            // an interval of 0 never ticks
  clock.Now = 20000;
  EXPECT_EQ(source.Pump(), -1);
  EXPECT_EQ(ticks.size(), 3u);
}

TEST(ThreadTimer, HandlersMayThrowOrDestroyTimersDuringAPump) {
  TFakeClock clock;
  TTickSource source(clock.Fn());
  std::vector<std::string> caught;
  source.OnException = [&](std::exception_ptr e) {
    try {
      std::rethrow_exception(e);
    } catch (const std::exception& x) {
      caught.push_back(x.what());
    }
  };
  TThreadTimer thrower(source), killer(source);
  auto victim = std::make_unique<TThreadTimer>(source);
  int victimTicks = 0, killerTicks = 0;
  thrower.OnTimer = [](TThreadTimer&) { throw std::runtime_error("boom"); };
  killer.OnTimer = [&](TThreadTimer&) {
    ++killerTicks;
    victim.reset();
  };
  victim->OnTimer = [&](TThreadTimer&) { ++victimTicks; };
  for (TThreadTimer* t : {&thrower, &killer, victim.get()}) t->SetEnabled(true);
  clock.Now += 1000;
  source.Pump();
  clock.Now += 1000;
  source.Pump();
  EXPECT_EQ(caught, (std::vector<std::string>{"boom", "boom"}));
  EXPECT_EQ(killerTicks, 2);
  EXPECT_EQ(victimTicks, 0);  // destroyed by the earlier handler in the same pump
}

TEST(VkThreadTimer, CountsDownToTheFloorAndStays) {
  TFakeClock clock;
  TTickSource source(clock.Fn());
  TVkThreadTimer t(nullptr, nullptr, nullptr, source);
  EXPECT_EQ(t.Count, 0);
  EXPECT_EQ(t.Fired, 0);
  EXPECT_FALSE(t.Enabled());
  Arm(t, 3);
  EXPECT_TRUE(t.Enabled());
  clock.Now += 1000;
  source.Pump();
  EXPECT_EQ(t.Count, 2);
  EXPECT_EQ(t.Fired, 1);
  t.Fired = 0;
  for (int i = 0; i < 100010; ++i) {
    clock.Now += 1000;
    source.Pump();
  }
  EXPECT_EQ(t.Count, -100000);
  t.Fired = 0;
  clock.Now += 1000;
  source.Pump();
  EXPECT_EQ(t.Count, -100000);
  EXPECT_EQ(t.Fired, 0);  // no tick counted at the floor
  // A disabled timer does not count.
  Arm(t, 5);
  t.SetEnabled(false);
  clock.Now += 5000;
  source.Pump();
  EXPECT_EQ(t.Count, 5);
}

TEST(ThreadTimer, SwitchingOnFromAnotherThreadWakesTheOwner) {
  TTickSource source;
  TThreadTimer t(source);
  source.Pump();
  EXPECT_FALSE(Readable(source.WakeFd()));
  std::thread([&] { t.SetEnabled(true); }).join();
  EXPECT_TRUE(Readable(source.WakeFd()));
  int64_t wait = source.Pump();
  EXPECT_FALSE(Readable(source.WakeFd()));
  EXPECT_GT(wait, 0);
  EXPECT_LE(wait, 1000);
  std::thread([&] { t.SetEnabled(false); }).join();
  EXPECT_FALSE(Readable(source.WakeFd()));  // switching off needs no wake
}

// Worker threads arm and disarm their watchdogs while the owner ticks them,
// on the real clock with a short interval (run under ThreadSanitizer).
TEST(VkThreadTimer, ArmingFromManyThreadsWhileTheOwnerTicks) {
  TTickSource source;
  constexpr int kThreads = 8;
  std::vector<std::unique_ptr<TVkThreadTimer>> timers;
  for (int i = 0; i < kThreads; ++i) {
    timers.push_back(std::make_unique<TVkThreadTimer>(nullptr, nullptr, nullptr, source));
    timers.back()->SetInterval(1);
  }
  std::atomic<bool> stop{false};
  std::vector<std::thread> workers;
  for (int i = 0; i < kThreads; ++i)
    workers.emplace_back([&, i] {
      TVkThreadTimer& t = *timers[i];
      for (int n = 0; !stop; ++n) {
        Arm(t, 1000);
        if (n % 3 == 0) t.SetEnabled(false);
        std::this_thread::yield();
      }
      t.SetEnabled(false);
    });
  int64_t fired = 0;
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
  while (std::chrono::steady_clock::now() < until) {
    source.Pump();
    for (auto& t : timers) {
      fired += t->Fired.exchange(0);
      int32_t c = t->Count;
      EXPECT_LE(c, 1000);
      EXPECT_GE(c, -100000);
    }
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  stop = true;
  for (auto& w : workers) w.join();
  EXPECT_GT(fired, 0);
  for (auto& t : timers) {
    EXPECT_FALSE(t->Enabled());
    EXPECT_GT(t->Count, 1000 - 400);  // re-armed far more often than ticked
  }
}

}  // namespace
}  // namespace qv
