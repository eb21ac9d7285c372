#include "ui/urllistwalk.h"

#include <algorithm>
#include <chrono>
#include <mutex>
#include <string>

#include "model/vkglobal.h"
#include "model/vkurllist.h"
#include "ui/controls/urllistbox.h"

namespace qv {

namespace {

inline constexpr int kBatch = 100;

}  // namespace

bool WalkURLList(const std::function<bool()>& between,
                 const std::function<void(TVkURLItem& record)>& each,
                 const std::function<void()>& afterBatch) {
  std::string last;    // the last URL seen: where the walk goes on
  int lastIndex = -1;  // where it was; still there unless the list changed
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
      for (; i < end; ++i) {
        TVkURLItem* r = GlobalURLList->GetItem(i);
        each(*r);
        last = r->URL;
        lastIndex = i;
      }
      more = end < GlobalURLList->Count();
    }
    if (afterBatch) afterBatch();
    if (!more) return true;
  }
}

bool RefillURLLines(TURLListModel& lines, const std::function<bool()>& between,
                    const std::function<bool(TVkURLItem& record)>& passes) {
  using Clock = std::chrono::steady_clock;
  lines.Clear();
  auto reported = Clock::now();
  const bool whole = WalkURLList(
      between,
      [&](TVkURLItem& r) {
        if (passes(r)) lines.AppendPending(r.URL, r.Checked != 0);
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
  return whole;
}

}  // namespace qv
