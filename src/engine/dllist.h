#pragma once
// A job's work list: queue items sorted by URL. The list takes no lock of its
// own; callers hold the job lock (or own the list alone while building it).

#include <cstdint>
#include <string>
#include <vector>

namespace qv {

struct TActiveDL {
  std::string URL;         // the address to fetch; the sort key
  std::string ParentURL;   // the page the address was found on
  std::string ClientText;  // peer address of the server of the parent page; carried, not read
  uint8_t Origin = 0;      // 1: made from the URL list or the root grid
  uint8_t SiteMode = 0;    // scope of the root row it descends from
  int32_t Depth = 0;       // link levels still to follow
  int32_t RetriesLeft = 0;
  std::string SiteBase;   // the address the site is measured from; empty means URL
  std::string BaseURL;    // base URL of the page
  int32_t KnownSize = 0;  // size known from the URL list, 0 when unknown
};

class TDLList {
 public:
  // With onlyIfDeeper, target is left alone unless source is deeper.
  static void CopyItem(TActiveDL& target, const TActiveDL& source, bool onlyIfDeeper);

  int Count() const { return static_cast<int>(Items.size()); }
  // Throws std::out_of_range for a bad index.
  TActiveDL& Item(int i) { return Items.at(static_cast<size_t>(i)); }
  const TActiveDL& Item(int i) const { return Items.at(static_cast<size_t>(i)); }

  // Index of url, or the ones' complement of where it would be inserted.
  int IndexOfURL(const std::string& url) const;
  // append: a copy goes to the end unsorted (only for building a queue from
  // input already in URL order). Otherwise inserted at its place, or, when the
  // URL is queued, replaces the queued item only when it is deeper.
  int Add(const TActiveDL& item, bool append);
  // Sorted Add of every item of other, in its order.
  void Merge(const TDLList& other);
  // Throws std::out_of_range for a bad index, leaving the list as it was.
  void Delete(int i);
  void Clear() { Items.clear(); }

  // The first index after i whose URL does not begin with item i's site;
  // Count() when there is none. Always greater than i.
  int NextHostRun(int i) const;
  // An index of an item whose URL begins with url's site (a plain prefix test,
  // so a longer host name with the same beginning counts); negative when none,
  // and -1 for an empty url.
  int IndexOfHost(const std::string& url) const;

 private:
  std::vector<TActiveDL> Items;
};

}  // namespace qv
