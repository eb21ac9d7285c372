#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/thread.h"

namespace qv {

// What worker threads have for the user-interface thread, which alone writes
// the windows: new lines for the main list, "the line count changed", "the
// project was modified" and status-bar texts. Any thread posts; the
// user-interface thread drains. Posting never blocks on the user-interface
// thread; the lock is held only to append or swap.
class TOutbox {
 public:
  struct TDrained {
    std::vector<std::string> Lines;        // in posting order
    std::vector<std::string> StatusTexts;  // a text repeated back to back comes once
    bool CountChanged = false;
    bool Modified = false;
  };

  void AddLine(std::string url);
  void NoteCountChanged() { FCountChanged.store(true, std::memory_order_release); }
  void SetModified() { FModified.store(true, std::memory_order_release); }
  void AddStatusText(std::string text);

  // True when something waits (a cheap test for the drain timer).
  bool Pending() const;
  // Takes everything posted so far.
  TDrained Drain();

 private:
  mutable TSpinningMutex FLock;
  std::vector<std::string> FLines;
  std::vector<std::string> FStatusTexts;
  std::atomic<bool> FCountChanged{false};
  std::atomic<bool> FModified{false};
  std::atomic<bool> FPending{false};
  std::atomic<size_t> FLastLineCount{0};  // lines the last drain took
};

// The lines of the main list as the user-interface thread keeps them: URLs in
// display order, each at most once. Not thread-safe: the user-interface
// thread owns it.
class TURLViewLines {
 public:
  TURLViewLines() = default;
  TURLViewLines(const TURLViewLines&) = delete;
  TURLViewLines& operator=(const TURLViewLines&) = delete;

  int Count() const { return static_cast<int>(FLines.size()); }
  const std::string& Line(int i) const { return FLines.at(static_cast<size_t>(i)); }
  const std::vector<std::string>& Lines() const { return FLines; }
  bool Contains(std::string_view url) const { return Find(url, Hash(url)) >= 0; }
  // Appends the URL unless it is shown already; true when appended.
  bool Append(std::string url);
  void Clear();

 private:
  // The index is an open-addressing table of line numbers (+1; 0 is free),
  // at most half full, beside each line's hash: the user-interface thread
  // takes every worker's new lines through it, so an insertion allocates
  // nothing but the occasional doubling.
  static uint64_t Hash(std::string_view url);
  int Find(std::string_view url, uint64_t hash) const;
  void Place(uint32_t line, uint64_t hash);
  void Grow();

  std::vector<std::string> FLines;
  std::vector<uint64_t> FHashes;  // per line
  std::vector<uint32_t> FSlots;   // size a power of two, or empty
};

// Applies what was drained to the view: a line is appended only for a URL
// the view does not show yet (a rebuild that ran between the post and the
// drain has shown it already). Returns the number of lines appended.
int ApplyToView(TOutbox::TDrained&& drained, TURLViewLines& view);

}  // namespace qv
