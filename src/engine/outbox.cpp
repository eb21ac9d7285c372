#include "engine/outbox.h"

#include <utility>

namespace qv {

void TOutbox::AddLine(std::string url) {
  std::lock_guard<TSpinningMutex> g(FLock);
  FLines.push_back(std::move(url));
  FPending.store(true, std::memory_order_release);
}

void TOutbox::AddStatusText(std::string text) {
  std::lock_guard<TSpinningMutex> g(FLock);
  // A warning every thread repeats for every item would flood the status
  // bar and the drain: back-to-back repeats collapse into one.
  if (!FStatusTexts.empty() && FStatusTexts.back() == text) return;
  FStatusTexts.push_back(std::move(text));
  FPending.store(true, std::memory_order_release);
}

bool TOutbox::Pending() const {
  return FPending.load(std::memory_order_acquire) || FModified.load(std::memory_order_acquire) ||
         FCountChanged.load(std::memory_order_acquire);
}

TOutbox::TDrained TOutbox::Drain() {
  TDrained d;
  {
    std::lock_guard<TSpinningMutex> g(FLock);
    d.Lines.swap(FLines);
    d.StatusTexts.swap(FStatusTexts);
    FPending.store(false, std::memory_order_release);
  }
  d.CountChanged = FCountChanged.exchange(false, std::memory_order_acq_rel);
  d.Modified = FModified.exchange(false, std::memory_order_acq_rel);
  return d;
}

bool TURLViewLines::Append(std::string url) {
  if (FIndex.count(url) != 0) return false;
  FLines.push_back(std::move(url));
  try {
    FIndex.insert(FLines.back());
  } catch (...) {
    FLines.pop_back();
    throw;
  }
  return true;
}

void TURLViewLines::Clear() {
  FLines.clear();
  FIndex.clear();
}

int ApplyToView(TOutbox::TDrained&& drained, TURLViewLines& view) {
  int added = 0;
  for (std::string& url : drained.Lines) {
    if (view.Append(std::move(url))) ++added;
  }
  return added;
}

}  // namespace qv
