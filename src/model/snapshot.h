#pragma once

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
  }

  void Publish(T v) { Publish(std::make_shared<const T>(std::move(v))); }

 private:
  mutable std::mutex Lock;
  std::shared_ptr<const T> Value;
};

}  // namespace qv
