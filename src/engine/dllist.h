#pragma once
// A job's work list: queue items sorted by URL. The list takes no lock of its
// own; callers hold the job lock (or own the list alone while building it).

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
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
  // Frames and refreshes followed in a row since the last anchor: they cost
  // no level, so this is what bounds a chain of generated frame pages.
  uint8_t EmbeddedHops = 0;
};

// Items are kept in blocks of a few hundred, so an insertion or deletion at
// any place moves a few hundred pointers, not the items after it, and access
// by index is a binary search over the blocks: a queue of a million items
// stays fast under the many picks and put-backs of a job.
class TDLList {
 public:
  TDLList() = default;
  ~TDLList();
  TDLList(const TDLList& other);
  TDLList& operator=(const TDLList& other);
  TDLList(TDLList&& other) noexcept;
  TDLList& operator=(TDLList&& other) noexcept;

  // With onlyIfDeeper, target is left alone unless source is deeper.
  static void CopyItem(TActiveDL& target, const TActiveDL& source, bool onlyIfDeeper);

  int Count() const { return FCount; }
  // Throws std::out_of_range for a bad index.
  TActiveDL& Item(int i);
  const TActiveDL& Item(int i) const;

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
  // Removes item i and gives it to the caller; as Delete for a bad index.
  TActiveDL Take(int i);
  // As Take, giving the item in the node the list held it in: nothing is
  // copied or freed, so a caller under the job lock can free it after.
  std::unique_ptr<TActiveDL> Extract(int i);
  void Clear();

  // The first index after i whose URL does not begin with item i's site;
  // Count() when there is none. Always greater than i. Logarithmic: the
  // items beginning with one text are neighbours in URL order.
  int NextHostRun(int i) const;
  // Visits the first item of every host run in order (index 0, then each
  // NextHostRun), with its index and its site, until visit returns false.
  // Moves through the blocks directly: a walk over a few runs of a large
  // queue costs a few dozen comparisons, not an index lookup per step.
  using THostRunVisit =
      std::function<bool(const TActiveDL& item, int index, const std::string& site)>;
  void ForEachHostRun(const THostRunVisit& visit) const;
  // An index of an item whose URL begins with url's site (a plain prefix test,
  // so a longer host name with the same beginning counts); negative when none,
  // and -1 for an empty url.
  int IndexOfHost(const std::string& url) const;

 private:
  // Owning pointers, freed by the list: plain pointers move as bytes, so a
  // removal from a block's front (the usual pick) shifts the rest with one
  // memmove rather than pointer by pointer.
  using TBlock = std::vector<TActiveDL*>;
  static constexpr size_t kBlockMax = 128;

  // Block and offset of a valid index.
  void Locate(int i, size_t& block, size_t& offset) const;
  void InsertAt(int i, std::unique_ptr<TActiveDL> item);
  std::unique_ptr<TActiveDL> Remove(int i);
  // The block sizes' Fenwick tree: Grow after one block changed size,
  // Rebuild after blocks were added or removed.
  void Grow(size_t block, int delta);
  void Rebuild();
  // Index of block's first item.
  int StartOf(size_t block) const;
  // The first index whose item satisfies pred (false for a beginning of the
  // list, true for the rest); Count() when none does. Searches the blocks by
  // their last items, then one block.
  template <class TPred>
  int FirstWhere(TPred pred) const;

  std::deque<TBlock> FBlocks;  // none empty; a deque: the first block goes often
  std::vector<int> FTree;      // Fenwick tree of block sizes, 1-based
  size_t FFront = 0;           // tree positions of blocks dropped from the front
  int FCount = 0;
};

}  // namespace qv
