#include "platform/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <stdexcept>

namespace qv {
namespace {

class TProbe : public TThread {
 public:
  explicit TProbe(std::function<void()> body) : Body(std::move(body)) {}
  ~TProbe() override { WaitFor(); }
  std::function<void()> Body;
  std::atomic<int> Terminated{0};

 protected:
  void Execute() override { Body(); }
  void DoTerminate() override {
    ++Terminated;
    throw std::runtime_error("dropped");
  }
};

TEST(Thread, CreatedSuspendedThenRunOnce) {
  std::atomic<int> runs{0};
  TProbe t([&] { ++runs; });
  EXPECT_FALSE(t.Started());
  EXPECT_FALSE(t.Finished());
  EXPECT_EQ(runs.load(), 0);
  t.Resume();
  t.Resume();
  t.WaitFor();
  t.WaitFor();
  EXPECT_EQ(runs.load(), 1);
  EXPECT_TRUE(t.Finished());
  EXPECT_EQ(t.Terminated.load(), 1);
}

TEST(Thread, FinishedOnEveryPath) {
  struct Case {
    const char* name;
    std::function<void()> body;
  } cases[] = {
      {"returns", [] {}},
      {"throws a standard exception", [] { throw std::runtime_error("x"); }},
      {"throws anything", [] { throw 42; }},
  };
  for (auto& c : cases) {
    TProbe t(c.body);
    t.Resume();
    t.WaitFor();
    EXPECT_TRUE(t.Finished()) << c.name;
    EXPECT_EQ(t.Terminated.load(), 1) << c.name;
  }
}

TEST(Thread, NeverStartedIsNeverWaitedFor) {
  TProbe t([] { FAIL() << "must not run"; });
  t.WaitFor();
  EXPECT_FALSE(t.Finished());
}

}  // namespace
}  // namespace qv
