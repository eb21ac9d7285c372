// The ordered index behind the master URL list: a B+tree of record pointers
// whose inner nodes count the records below each child, so that lookup by
// key, insertion and access by position are all logarithmic. It keeps the
// order and the positions a sorted array would have, without moving every
// later record on each insertion.
//
// The index does not own the records; the list does. Not thread-safe: the
// list's owner serialises access.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace qv {

class TVkURLItem;

// A URL's sort key: the URL less one trailing "/" (only one).
inline std::string_view URLKeyOf(std::string_view url) {
  if (!url.empty() && url.back() == '/') url.remove_suffix(1);
  return url;
}

class TURLIndex {
 public:
  static constexpr int kLeafCap = 64;
  static constexpr int kInnerCap = 64;
  static constexpr int kMaxHeight = 16;

  TURLIndex();
  ~TURLIndex();
  TURLIndex(const TURLIndex&) = delete;
  TURLIndex& operator=(const TURLIndex&) = delete;

  int Count() const { return Total; }

  // Where a key is or would go, with the path to it so that an insertion
  // right after the lookup need not search again.
  struct TPosition {
    int Index = 0;  // the record's index, or the insertion index
    bool Found = false;
    int Depth = 0;  // inner levels on the path
    void* Path[kMaxHeight];
    int Slot[kMaxHeight];
    void* Leaf = nullptr;
    int LeafSlot = 0;
  };
  void Find(std::string_view key, TPosition& pos) const;

  // Inserts at a position from Find (no change in between). Raises
  // std::bad_alloc with the index unchanged.
  void Insert(const TPosition& pos, TVkURLItem* item);
  // Appends after the last record; the caller has checked that the item's
  // key is greater than the last record's.
  void Append(TVkURLItem* item);

  TVkURLItem* At(int index) const;  // index within [0, Count())
  TVkURLItem* Last() const;         // nullptr when empty
  // Removes the record at an index and gives it to the caller.
  TVkURLItem* Erase(int index);

  // Calls f(item) for every record in order.
  template <typename F>
  void ForEach(F f) const {
    ForEachIn(Root, Height, f);
  }
  // Hands every record to `release` (in order) and empties the index, in
  // time linear in the number of records.
  template <typename F>
  void Clear(F release) {
    ForEachIn(Root, Height, release);
    Reset();
  }

  // Exchanges the contents of two indexes.
  void Swap(TURLIndex& other) noexcept {
    std::swap(Root, other.Root);
    std::swap(Height, other.Height);
    std::swap(Total, other.Total);
  }

  // Bytes the index itself holds (nodes and separator strings).
  std::size_t MemoryUsed() const;

  struct TLeaf;  // node layouts, private to the implementation
  struct TInner;

 private:
  template <typename F>
  static void ForEachIn(void* node, int height, F& f);
  static TVkURLItem* const* LeafItems(void* leaf, int& n);
  static void* InnerChild(void* inner, int i, int& n);

  void Reset();
  void InsertInto(int depth, void* const* path, const int* slot, void* leaf, int leafSlot,
                  TVkURLItem* item);

  void* Root;
  int Height = 0;  // number of inner levels above the leaves
  int Total = 0;
};

// Implementation of the in-order walk (templates stay in the header).
template <typename F>
void TURLIndex::ForEachIn(void* node, int height, F& f) {
  if (height == 0) {
    int n = 0;
    TVkURLItem* const* items = LeafItems(node, n);
    for (int i = 0; i < n; ++i) f(items[i]);
    return;
  }
  int n = 0;
  InnerChild(node, 0, n);
  for (int i = 0; i < n; ++i) {
    int dummy = 0;
    ForEachIn(InnerChild(node, i, dummy), height - 1, f);
  }
}

}  // namespace qv
