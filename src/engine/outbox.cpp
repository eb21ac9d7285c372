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
  // The posters get a list with room for as many lines as the last drain
  // took, made here rather than grown by them one doubling at a time under
  // the lock they all share.
  std::vector<std::string> room;
  room.reserve(FLastLineCount.load(std::memory_order_relaxed));
  {
    std::lock_guard<TSpinningMutex> g(FLock);
    d.Lines.swap(FLines);
    FLines.swap(room);
    d.StatusTexts.swap(FStatusTexts);
    FPending.store(false, std::memory_order_release);
  }
  FLastLineCount.store(d.Lines.size(), std::memory_order_relaxed);
  d.CountChanged = FCountChanged.exchange(false, std::memory_order_acq_rel);
  d.Modified = FModified.exchange(false, std::memory_order_acq_rel);
  return d;
}

uint64_t TURLViewLines::Hash(std::string_view url) {
  // FNV-1a over the bytes, then a final mix so the low bits that pick the
  // slot depend on every byte.
  uint64_t h = 1469598103934665603ull;
  for (unsigned char c : url) h = (h ^ c) * 1099511628211ull;
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdull;
  h ^= h >> 33;
  return h;
}

int TURLViewLines::Find(std::string_view url, uint64_t hash) const {
  if (FSlots.empty()) return -1;
  const size_t mask = FSlots.size() - 1;
  for (size_t i = hash & mask;; i = (i + 1) & mask) {
    const uint32_t slot = FSlots[i];
    if (slot == 0) return -1;
    if (FHashes[slot - 1] == hash && FLines[slot - 1] == url) return static_cast<int>(slot - 1);
  }
}

void TURLViewLines::Place(uint32_t line, uint64_t hash) {
  const size_t mask = FSlots.size() - 1;
  size_t i = hash & mask;
  while (FSlots[i] != 0) i = (i + 1) & mask;
  FSlots[i] = line + 1;
}

void TURLViewLines::Grow() {
  std::vector<uint32_t> slots(FSlots.empty() ? 1024 : FSlots.size() * 2, 0);
  FSlots.swap(slots);
  for (uint32_t line = 0; line < FLines.size(); ++line) Place(line, FHashes[line]);
}

bool TURLViewLines::Append(std::string url) {
  const uint64_t hash = Hash(url);
  if (Find(url, hash) >= 0) return false;
  if ((FLines.size() + 1) * 2 > FSlots.size()) Grow();
  FHashes.push_back(hash);
  try {
    FLines.push_back(std::move(url));
  } catch (...) {
    FHashes.pop_back();
    throw;
  }
  Place(static_cast<uint32_t>(FLines.size() - 1), hash);
  return true;
}

void TURLViewLines::Clear() {
  FLines.clear();
  FHashes.clear();
  FSlots.clear();
}

int ApplyToView(TOutbox::TDrained&& drained, TURLViewLines& view) {
  int added = 0;
  for (std::string& url : drained.Lines) {
    if (view.Append(std::move(url))) ++added;
  }
  return added;
}

}  // namespace qv
