#include "ui/urllistwalk.h"

#include <algorithm>
#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include "model/vkglobal.h"
#include "model/vkurllist.h"
#include "ui/controls/urllistbox.h"

namespace qv {

namespace {

inline constexpr int kBatch = 100;

}  // namespace

bool WalkURLBatches(const std::function<bool()>& between,
                    const std::function<void(TVkURLItem* const* records, int count)>& batch,
                    const std::function<void()>& afterBatch) {
  std::string last;    // the last URL seen: where the walk goes on
  int lastIndex = -1;  // where it was; still there unless the list changed
  TVkURLItem* records[kBatch];
  for (;;) {
    if (between && !between()) return false;
    bool more = false;
    {
      std::lock_guard<TCriticalSection> hold(*URLListLock);
      int i = 0;
      if (lastIndex >= 0) {
        if (lastIndex < GlobalURLList->Count() && GlobalURLList->GetItem(lastIndex)->URL == last) {
          i = lastIndex + 1;
        } else {
          const int at = GlobalURLList->IndexOfURL(last);
          i = at >= 0 ? at + 1 : ~at;
        }
      }
      const int end = std::min(GlobalURLList->Count(), i + kBatch);
      const int count = std::max(0, end - i);
      for (int k = 0; k < count; ++k) records[k] = GlobalURLList->GetItem(i + k);
      if (count > 0) {
        // No messages run inside a batch, and no body appears in the mirror
        // that a download would not set the status for.
        const TStatusRefreshRun refreshes;
        batch(records, count);
        // Where to go on is noted once a batch, not copied at every record.
        lastIndex = end - 1;
        last = records[count - 1]->URL;
      }
      more = end < GlobalURLList->Count();
    }
    if (afterBatch) afterBatch();
    if (!more) return true;
  }
}

bool WalkURLList(const std::function<bool()>& between,
                 const std::function<void(TVkURLItem& record)>& each,
                 const std::function<void()>& afterBatch) {
  return WalkURLBatches(
      between,
      [&](TVkURLItem* const* records, int count) {
        for (int k = 0; k < count; ++k) each(*records[k]);
      },
      afterBatch);
}

bool RefillURLLines(TURLListModel& lines, const std::function<bool()>& between,
                    const std::function<bool(TVkURLItem& record)>& passes) {
  using Clock = std::chrono::steady_clock;
  lines.ClearForRefill();
  auto reported = Clock::now();
  // What every record would take as a line: the room worth keeping.
  std::size_t records = 0;
  std::size_t recordBytes = 0;
  std::vector<TURLListModel::TNewLine> passed;
  passed.reserve(kBatch);
  const bool whole = WalkURLBatches(
      between,
      [&](TVkURLItem* const* batch, int count) {
        passed.clear();
        const std::size_t bytesBefore = recordBytes;
        for (int k = 0; k < count; ++k) {
          TVkURLItem& r = *batch[k];
          ++records;
          recordBytes += r.URL.size();
          if (passes(r)) passed.push_back({r.URL, r.Checked != 0});
        }
        if (records == static_cast<std::size_t>(count)) {
          // Room for every record as a line, the texts judged by the first
          // batch's: a fill that grows by doubling writes twice the memory.
          const auto all = static_cast<std::size_t>(GlobalURLList->Count());
          lines.Reserve(all, (recordBytes - bytesBefore) * all / count * 9 / 8);
        }
        // Under the lock still: the lines' texts are the records' own.
        lines.AppendPendingBatch(passed);
      },
      [&] {
        const auto now = Clock::now();
        // Each report lays out every line so far: reporting again only once
        // the lines have grown by half keeps that work within a small
        // multiple of the final count.
        const bool grown = (lines.Count() - lines.Published()) * 2 >= lines.Published();
        if (lines.Published() == 0 || (grown && now - reported >= std::chrono::milliseconds(200))) {
          lines.Publish();
          reported = now;
        }
      });
  lines.Publish();
  if (whole) lines.TrimRoom(records, recordBytes);
  return whole;
}

}  // namespace qv
