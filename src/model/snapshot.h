#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <utility>

namespace qv {

// The latest immutable snapshot of something the user-interface thread owns
// (the settings, the password list, the content-type filter). The owning
// window publishes a whole new value whenever one of its controls changes;
// any thread may take the current value and keep using it while newer ones
// are published. Get() never returns null.
template <class T>
class TPublished {
 public:
  TPublished() : Value(std::make_shared<const T>()) {}

  std::shared_ptr<const T> Get() const {
    std::lock_guard<std::mutex> g(Lock);
    return Value;
  }

  void Publish(std::shared_ptr<const T> v) {
    if (!v) v = std::make_shared<const T>();
    std::lock_guard<std::mutex> g(Lock);
    Value = std::move(v);
    FVersion.fetch_add(1, std::memory_order_release);
  }

  // Changes with every Publish, and no two publishers share one: a reader
  // that kept a value may skip taking it again while the version is the one
  // it saw (read the version first).
  uint64_t Version() const { return FVersion.load(std::memory_order_acquire); }

  void Publish(T v) { Publish(std::make_shared<const T>(std::move(v))); }

 private:
  mutable std::mutex Lock;
  std::shared_ptr<const T> Value;
  static uint64_t FirstVersion() {
    static std::atomic<uint64_t> next{1};
    return next.fetch_add(1, std::memory_order_relaxed) << 32;
  }
  std::atomic<uint64_t> FVersion{FirstVersion()};
};

}  // namespace qv
