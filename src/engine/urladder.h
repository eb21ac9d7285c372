#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "engine/outbox.h"
#include "model/mimefilter.h"
#include "model/snapshot.h"
#include "model/viewfilter.h"

namespace qv {

class TVkURLItem;

// The one way URLs enter the master list once a project is loaded, whatever
// found them (worker threads, drops, pasted text). The main window's add
// methods delegate here. What the windows must show goes into the outbox.
//
// Thread-safety: any thread. The view filter and the content-type filter are
// read from their published snapshots, once per call.
class TURLAdder {
 public:
  explicit TURLAdder(TOutbox& outbox,
                     const TPublished<TViewFilter>& viewFilter = GlobalViewFilter(),
                     const TPublished<TMimeFilter>& mimeFilter = GlobalMimeFilter());

  // The caller holds URLListLock. Gives the record's index in GlobalURLList,
  // or -1 when the record's URL is no URL or "Limit additions" refused a URL
  // not listed yet. A mail address is listed as usNotAFile "Mail address";
  // the title loses its line breaks; a new URL that passes the view filter
  // gets a line in the view when appendToView is set.
  // The record is taken by value: the caller keeps its own, or moves it in.
  int AddURLItem(uint8_t appendToView, TVkURLItem record);
  // As AddURLItem, taking URLListLock itself.
  int AddURLItemLocked(uint8_t appendToView, TVkURLItem record);
  // The same, for a record already in a node of its own, which the list
  // takes over when the URL is new: the workers build theirs so.
  int AddURLItemLocked(uint8_t appendToView, std::unique_ptr<TVkURLItem> record);
  // Builds a new record (unchecked, status usNew, no content type or details)
  // and adds it through AddURLItemLocked.
  int AddFoundURL(uint8_t appendToView, const std::string& url, const std::string& foundURL,
                  const std::string& parentURL, uint8_t pageFileFlag, const std::string& title,
                  const std::string& imageURL, int32_t size);
  // The address the master list records url under: a URL with or without
  // one trailing "/" is one record, kept under the form met first. url
  // itself when it is not listed. Takes URLListLock.
  std::string ListedURL(const std::string& url) const;

  TOutbox& Outbox() { return FOutbox; }

 private:
  struct TPrepared {
    bool Limit = false;   // "Limit additions"
    bool Passes = false;  // the view filter passes the incoming record
  };
  // The steps before the list: false for no URL.
  bool Prepare(uint8_t appendToView, TVkURLItem& record, TPrepared& p);
  // The list's part (URLListLock held): the list takes the record over when
  // its URL is new (record is then null); newLine: the view gets a line.
  int Commit(uint8_t appendToView, std::unique_ptr<TVkURLItem>& record, const TPrepared& p,
             bool& newLine);

  TOutbox& FOutbox;
  const TPublished<TViewFilter>& FViewFilter;
  const TPublished<TMimeFilter>& FMimeFilter;
};

// Refills the view with every URL of GlobalURLList that passes the filters,
// in list order. URLListLock is taken per batch of 100 records and released
// between them, when `between` runs (the window lets messages run there);
// `between` returning false stops the rebuild. The walk goes on after the
// last URL it saw, so records added or removed meanwhile neither repeat nor
// skip one. Returns whether a URL was hidden by the filter.
bool RebuildView(TURLViewLines& view, const TViewFilter& filter, const TMimeFilter& mimeFilter,
                 const std::function<bool()>& between = {});

}  // namespace qv
