#include "engine/urladder.h"

#include <algorithm>
#include <mutex>

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

}  // namespace

TURLAdder::TURLAdder(TOutbox& outbox, const TPublished<TViewFilter>& viewFilter,
                     const TPublished<TMimeFilter>& mimeFilter)
    : FOutbox(outbox), FViewFilter(viewFilter), FMimeFilter(mimeFilter) {}

int TURLAdder::AddURLItem(uint8_t appendToView, const TVkURLItem& source) {
  if (!IsURL(source.URL)) return -1;
  TVkURLItem record(source);
  if (ParseURL(record.URL).Scheme == "mailto:") {
    record.SetStatus(60);
    record.Details = "Mail address";
  }
  FOutbox.SetModified();
  if (record.Title.find_first_of("\r\n") != std::string::npos)
    record.Title = TidyTitle(record.Title);

  const auto filter = FViewFilter.Get();
  // The filter reads the incoming record, not the merged one; a copy keeps
  // the status refresh it may do from reaching the stored record.
  bool passes = true;
  if (filter->LimitAdditionsChk || appendToView) {
    TVkURLItem probe(record);
    passes = URLPassesFilters(*filter, *FMimeFilter.Get(), probe);
  }

  int index;
  if (!filter->LimitAdditionsChk || passes) {
    const int before = GlobalURLList->Count();
    index = GlobalURLList->AddItem(record, false);
    if (appendToView && GlobalURLList->Count() > before && passes) FOutbox.AddLine(record.URL);
  } else {
    index = GlobalURLList->IndexOfURL(record.URL);
    if (index >= 0)
      GlobalURLList->GetItem(index)->Assign(record, true);
    else
      index = -1;
  }
  FOutbox.NoteCountChanged();
  return index;
}

int TURLAdder::AddURLItemLocked(uint8_t appendToView, const TVkURLItem& record) {
  std::lock_guard<TCriticalSection> hold(*URLListLock);
  return AddURLItem(appendToView, record);
}

int TURLAdder::AddFoundURL(uint8_t appendToView, const std::string& url,
                           const std::string& foundURL, const std::string& parentURL,
                           uint8_t pageFileFlag, const std::string& title,
                           const std::string& imageURL, int32_t size) {
  std::lock_guard<TCriticalSection> hold(*URLListLock);
  TVkURLItem record(url, foundURL, parentURL, pageFileFlag, title, imageURL, 0, size, "", 10, 0,
                    "");
  return AddURLItemLocked(appendToView, record);
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
