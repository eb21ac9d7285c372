#pragma once
// Walks over the master list on the user-interface thread.

#include <chrono>
#include <functional>

namespace qv {

class TURLListModel;
class TVkURLItem;

// When a walk's point between batches should let the window's messages run:
// at its first point, then once a few milliseconds have passed since they
// last ran. A batch of 100 records takes some microseconds, and letting
// messages run (with the count shown beside the list repainted) cost more
// than the walk itself at every one; a few milliseconds apart, the window
// answers as fast as anyone can tell, and a pass started meanwhile is seen
// at the next point as before.
class TMessagePace {
 public:
  bool Due() {
    const auto now = std::chrono::steady_clock::now();
    if (Ran && now - Last < kInterval) return false;
    Ran = true;
    Last = now;
    return true;
  }

 private:
  static constexpr std::chrono::milliseconds kInterval{8};
  bool Ran = false;
  std::chrono::steady_clock::time_point Last;
};

// Visits every record of GlobalURLList in list order. URLListLock is held
// for a batch of 100 records at a time and released around `between`, which
// runs before each batch (the window lets messages run there) and stops the
// walk by returning false; `afterBatch` runs after each batch, without the
// lock. A walk resumes after the last URL it saw, so records added or
// removed meanwhile are neither visited twice nor skipped past. Returns false
// when `between` stopped it.
bool WalkURLList(const std::function<bool()>& between,
                 const std::function<void(TVkURLItem& record)>& each,
                 const std::function<void()>& afterBatch = {});

// WalkURLList handing over each batch's records at once, in list order
// (count at least 1), under the lock.
bool WalkURLBatches(const std::function<bool()>& between,
                    const std::function<void(TVkURLItem* const* records, int count)>& batch,
                    const std::function<void()>& afterBatch = {});

// Empties the lines and refills them with the URL of every record `passes`
// lets through, with its check mark, walking as WalkURLList does. The views
// hear of new lines at the start, then at most every 200 ms and at the end:
// a view lays out all its rows on each report, so later reports wait for the
// lines to grow by half. Returns false when `between` stopped it (the lines
// so far are reported).
bool RefillURLLines(TURLListModel& lines, const std::function<bool()>& between,
                    const std::function<bool(TVkURLItem& record)>& passes);

}  // namespace qv
