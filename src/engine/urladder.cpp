#include "engine/urladder.h"

#include <algorithm>
#include <mutex>
#include <utility>

#include "model/tvurlutils.h"
#include "model/uriparser.h"
#include "model/vkglobal.h"
#include "model/vkurllist.h"

namespace qv {

namespace {

// Carriage returns become blanks, line feeds go.
std::string TidyTitle(const std::string& title) {
  std::string out;
  out.reserve(title.size());
  for (char c : title) {
    if (c == '\r')
      out.push_back(' ');
    else if (c != '\n')
      out.push_back(c);
  }
  return out;
}

// The publisher's current value, taken again only when something new was
// published: additions come by the thousand from every worker, and the
// filters change rarely. The value is lent from the thread's own cache, not
// copied: a copy of the shared pointer on every addition would make every
// worker write its reference count, one cache line bouncing between them
// all. The reference stays good until this thread asks again for a T.
template <class T>
const T& Current(const TPublished<T>& from) {
  struct TCache {
    uint64_t Version = 0;
    std::shared_ptr<const T> Value;
  };
  thread_local TCache cache;
  const uint64_t now = from.Version();
  if (!cache.Value || cache.Version != now) {
    cache.Value = from.Get();
    cache.Version = now;
  }
  return *cache.Value;
}

}  // namespace

TURLAdder::TURLAdder(TOutbox& outbox, const TPublished<TViewFilter>& viewFilter,
                     const TPublished<TMimeFilter>& mimeFilter)
    : FOutbox(outbox), FViewFilter(viewFilter), FMimeFilter(mimeFilter) {}

bool TURLAdder::Prepare(uint8_t appendToView, TVkURLItem& record, TPrepared& p) {
  if (!IsURL(record.URL)) return false;
  if (HasURLScheme(record.URL, "mailto:")) {
    record.SetStatus(usNotAFile);
    record.Details = "Mail address";
  }
  FOutbox.SetModified();
  if (record.Title.find_first_of("\r\n") != std::string::npos)
    record.Title = TidyTitle(record.Title);
  // The filter reads the incoming record, not the merged one (its status
  // refresh is one the merge would do anyway).
  const TViewFilter& viewFilter = Current(FViewFilter);
  p.Limit = viewFilter.LimitAdditionsChk;
  p.Passes = true;
  if (p.Limit || appendToView)
    p.Passes = URLPassesFilters(viewFilter, Current(FMimeFilter), record);
  return true;
}

int TURLAdder::Commit(uint8_t appendToView, std::unique_ptr<TVkURLItem>& record, const TPrepared& p,
                      bool& newLine) {
  newLine = false;
  int index;
  if (!p.Limit || p.Passes) {
    index = GlobalURLList->AddOwned(record);
    newLine = appendToView && !record && p.Passes;
  } else {
    index = GlobalURLList->IndexOfURL(record->URL);
    if (index >= 0)
      GlobalURLList->GetItem(index)->Assign(*record, true);
    else
      index = -1;
  }
  return index;
}

int TURLAdder::AddURLItem(uint8_t appendToView, TVkURLItem record) {
  TPrepared p;
  if (!Prepare(appendToView, record, p)) return -1;
  std::string line = appendToView && p.Passes ? record.URL : std::string();
  auto owned = std::make_unique<TVkURLItem>(std::move(record));
  bool newLine;
  const int index = Commit(appendToView, owned, p, newLine);
  if (newLine) FOutbox.AddLine(std::move(line));
  FOutbox.NoteCountChanged();
  return index;
}

int TURLAdder::AddURLItemLocked(uint8_t appendToView, TVkURLItem record) {
  return AddURLItemLocked(appendToView, std::make_unique<TVkURLItem>(std::move(record)));
}

int TURLAdder::AddURLItemLocked(uint8_t appendToView, std::unique_ptr<TVkURLItem> record) {
  // Every worker's result and every found link passes through this lock, so
  // what needs no list is done before it: the checks, the record's own node
  // (the list takes it over when the URL is new) and the view's copy of the
  // URL; a merged record's node is freed after it. A new line is posted
  // inside it: the lines then reach the outbox in the list's order of
  // addition, and the outbox lock is shared with the drain alone instead of
  // being one more lock every worker queues for.
  TPrepared p;
  if (!Prepare(appendToView, *record, p)) return -1;
  std::string line = appendToView && p.Passes ? record->URL : std::string();
  bool newLine;
  int index;
  {
    std::lock_guard<TCriticalSection> hold(*URLListLock);
    index = Commit(appendToView, record, p, newLine);
    if (newLine) FOutbox.AddLine(std::move(line));
  }
  record.reset();
  FOutbox.NoteCountChanged();
  return index;
}

int TURLAdder::AddFoundURL(uint8_t appendToView, const std::string& url,
                           const std::string& foundURL, const std::string& parentURL,
                           uint8_t pageFileFlag, const std::string& title,
                           const std::string& imageURL, int32_t size) {
  // AddURLItemLocked takes the list lock for the list step only.
  return AddURLItemLocked(
      appendToView, std::make_unique<TVkURLItem>(url, foundURL, parentURL, pageFileFlag, title,
                                                 imageURL, 0, size, "", usNew, 0, ""));
}

std::string TURLAdder::ListedURL(const std::string& url) const {
  if (!URLListLock || !GlobalURLList) return url;
  std::lock_guard<TCriticalSection> hold(*URLListLock);
  const TVkURLItem* item = GlobalURLList->FindItem(url);
  return item ? item->URL : url;
}

bool RebuildView(TURLViewLines& view, const TViewFilter& filter, const TMimeFilter& mimeFilter,
                 const std::function<bool()>& between) {
  constexpr int kBatch = 100;
  view.Clear();
  bool hidden = false;
  std::string last;
  bool started = false;
  for (;;) {
    {
      std::lock_guard<TCriticalSection> hold(*URLListLock);
      int i = 0;
      if (started) {
        i = GlobalURLList->IndexOfURL(last);
        i = i >= 0 ? i + 1 : ~i;
      }
      const int end = std::min(GlobalURLList->Count(), i + kBatch);
      if (i >= end) return hidden;
      for (; i < end; ++i) {
        TVkURLItem* item = GlobalURLList->GetItem(i);
        if (URLPassesFilters(filter, mimeFilter, *item))
          view.Append(item->URL);
        else
          hidden = true;
        last = item->URL;
      }
      started = true;
    }
    if (between && !between()) return hidden;
  }
}

}  // namespace qv
