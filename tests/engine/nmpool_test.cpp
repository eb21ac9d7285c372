#include "engine/nmpool.h"

#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace qv {
namespace {

// Takes from the pool until the wanted object comes out (the pool is shared
// by the whole program, so others may wait before it); the rest go back.
template <class T, class TakeFn, class ReturnFn>
std::unique_ptr<T> TakeUntil(T* wanted, TakeFn take, ReturnFn giveBack) {
  std::vector<std::unique_ptr<T>> others;
  std::unique_ptr<T> found;
  for (int i = 0; i < 1000 && !found; ++i) {
    auto item = take();
    if (item.get() == wanted)
      found = std::move(item);
    else
      others.push_back(std::move(item));
  }
  for (auto& o : others) giveBack(std::move(o));
  return found;
}

TEST(NmPool, AReturnedTimerIsSwitchedOffAndReused) {
  CreatePools();
  CreatePools();  // a second call changes nothing
  TDNSocket socket(nullptr);
  auto timer = TakeTimer(&socket, nullptr, nullptr);
  ASSERT_TRUE(timer);
  Arm(*timer, 30);
  EXPECT_TRUE(timer->Enabled());
  TVkThreadTimer* raw = timer.get();
  ReturnTimer(std::move(timer));
  EXPECT_FALSE(raw->Enabled());
  auto again = TakeUntil(
      raw, [] { return TakeTimer(nullptr, nullptr, nullptr); },
      [](std::unique_ptr<TVkThreadTimer> t) { ReturnTimer(std::move(t)); });
  ASSERT_EQ(again.get(), raw);
  EXPECT_FALSE(again->Enabled());
  EXPECT_EQ(again->Count, 30);  // the next owner arms it before it counts
  ReturnTimer(std::move(again));
}

TEST(NmPool, AReturnedSocketIsClosedAndKeepsItsHostList) {
  auto* list = reinterpret_cast<TDNList*>(0x1000);  // only carried, never used
  auto s = TakeSocket(list);
  TDNSocket* raw = s.get();
  ReturnSocket(std::move(s));
  auto again = TakeUntil(
      raw, [] { return TakeSocket(nullptr); },
      [](std::unique_ptr<TDNSocket> x) { ReturnSocket(std::move(x)); });
  ASSERT_EQ(again.get(), raw);
  EXPECT_FALSE(again->Active());
  EXPECT_EQ(again->HostList, list);
  ReturnSocket(std::move(again));
}

// Threads take and return sockets at once; no socket is ever held by two
// (run under ThreadSanitizer).
TEST(NmPool, NoObjectIsHandedOutTwice) {
  std::atomic<int> doubles{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 2000; ++i) {
        auto s = TakeSocket(nullptr);
        if (s->Busy.exchange(1) != 0) ++doubles;
        std::this_thread::yield();
        s->Busy = 0;
        ReturnSocket(std::move(s));
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(doubles, 0);
}

}  // namespace
}  // namespace qv
