#include "model/urlindex.h"

#include <cassert>
#include <cstdlib>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "model/vkurllist.h"

namespace qv {

// Nodes hold one slot beyond their capacity so that an insertion can land
// first and the split follow.
struct TURLIndex::TLeaf {
  int N = 0;
  TVkURLItem* Items[kLeafCap + 1];
};

// Child i holds Counts[i] records; every key under child i + 1 is at least
// Seps[i], every key under child i is below it. Separators are copies, so a
// record deleted later leaves them valid bounds.
struct TURLIndex::TInner {
  int N = 0;  // children
  int Counts[kInnerCap + 1];
  void* Child[kInnerCap + 1];
  std::string Seps[kInnerCap];
};

namespace {

std::string_view KeyOf(const TVkURLItem* item) { return URLKeyOf(item->URL); }

}  // namespace

TURLIndex::TURLIndex() : Root(new TLeaf) {}

TURLIndex::~TURLIndex() {
  Reset();
  delete static_cast<TLeaf*>(Root);
}

TVkURLItem* const* TURLIndex::LeafItems(void* leaf, int& n) {
  auto* l = static_cast<TLeaf*>(leaf);
  n = l->N;
  return l->Items;
}

void* TURLIndex::InnerChild(void* inner, int i, int& n) {
  auto* in = static_cast<TInner*>(inner);
  n = in->N;
  return i < in->N ? in->Child[i] : nullptr;
}

namespace {

void FreeNodes(void* node, int height) {
  if (height == 0) {
    delete static_cast<TURLIndex::TLeaf*>(node);
    return;
  }
  auto* in = static_cast<TURLIndex::TInner*>(node);
  for (int i = 0; i < in->N; ++i) FreeNodes(in->Child[i], height - 1);
  delete in;
}

}  // namespace

void TURLIndex::Reset() {
  if (Height == 0) {
    static_cast<TLeaf*>(Root)->N = 0;
  } else {
    FreeNodes(Root, Height);
    Root = nullptr;
    Height = 0;
    Root = new TLeaf;  // a small allocation; fails only when nothing else could run
  }
  Total = 0;
}

void TURLIndex::Find(std::string_view key, TPosition& pos) const {
  void* node = Root;
  int before = 0;
  pos.Depth = Height;
  for (int d = 0; d < Height; ++d) {
    auto* in = static_cast<TInner*>(node);
    // The child to descend into: the number of separators <= key.
    int lo = 0, hi = in->N - 1;
    while (lo < hi) {
      const int mid = (lo + hi) / 2;
      if (key < std::string_view(in->Seps[mid]))
        hi = mid;
      else
        lo = mid + 1;
    }
    for (int i = 0; i < lo; ++i) before += in->Counts[i];
    pos.Path[d] = in;
    pos.Slot[d] = lo;
    node = in->Child[lo];
  }
  auto* leaf = static_cast<TLeaf*>(node);
  int lo = 0, hi = leaf->N - 1;
  pos.Found = false;
  while (lo <= hi) {
    const int mid = lo + (hi - lo) / 2;
    const int c = key.compare(KeyOf(leaf->Items[mid]));
    if (c > 0) {
      lo = mid + 1;
    } else if (c == 0) {
      pos.Found = true;
      lo = mid;
      break;
    } else {
      hi = mid - 1;
    }
  }
  pos.Leaf = leaf;
  pos.LeafSlot = lo;
  pos.Index = before + lo;
}

void TURLIndex::Insert(const TPosition& pos, TVkURLItem* item) {
  InsertInto(pos.Depth, pos.Path, pos.Slot, pos.Leaf, pos.LeafSlot, item);
}

void TURLIndex::Append(TVkURLItem* item) {
  void* path[kMaxHeight];
  int slot[kMaxHeight];
  void* node = Root;
  for (int d = 0; d < Height; ++d) {
    auto* in = static_cast<TInner*>(node);
    path[d] = in;
    slot[d] = in->N - 1;
    node = in->Child[in->N - 1];
  }
  InsertInto(Height, path, slot, node, static_cast<TLeaf*>(node)->N, item);
}

void TURLIndex::InsertInto(int depth, void* const* path, const int* slot, void* leafNode,
                           int leafSlot, TVkURLItem* item) {
  auto* leaf = static_cast<TLeaf*>(leafNode);

  // Everything that can fail is allocated before the tree changes: one node
  // per full node on the path (and a new root when all of them are full),
  // and the separator the leaf split sends up.
  int splits = 0;
  if (leaf->N == kLeafCap) {
    splits = 1;
    for (int d = depth - 1; d >= 0 && static_cast<TInner*>(path[d])->N == kInnerCap; --d) ++splits;
  }
  if (splits > 0 && Height + 1 >= kMaxHeight) throw std::bad_alloc();
  std::unique_ptr<TLeaf> newLeaf;
  std::vector<std::unique_ptr<TInner>> newInner;
  std::string leafSep;
  // Ascending arrivals fill nodes completely: a node that overflows at its
  // last slot keeps everything and gives only the newcomer to the new node.
  const bool leafAtEnd = leafSlot == kLeafCap;
  const int leafKeep = leafAtEnd ? kLeafCap : (kLeafCap + 1) / 2;
  if (splits > 0) {
    newLeaf = std::make_unique<TLeaf>();
    const int innerSplits = splits - 1 + (splits - 1 == depth ? 1 : 0);
    for (int i = 0; i < innerSplits; ++i) newInner.push_back(std::make_unique<TInner>());
    // The first record of the new right leaf, after the insertion.
    const TVkURLItem* first;
    if (leafKeep == leafSlot)
      first = item;
    else if (leafKeep < leafSlot)
      first = leaf->Items[leafKeep];
    else
      first = leaf->Items[leafKeep - 1];
    leafSep.assign(KeyOf(first));
  }

  // From here on nothing allocates.
  for (int i = leaf->N; i > leafSlot; --i) leaf->Items[i] = leaf->Items[i - 1];
  leaf->Items[leafSlot] = item;
  ++leaf->N;
  ++Total;

  void* right = nullptr;
  int rightCount = 0;
  std::string upSep;
  if (leaf->N > kLeafCap) {
    TLeaf* r = newLeaf.release();
    r->N = leaf->N - leafKeep;
    for (int i = 0; i < r->N; ++i) r->Items[i] = leaf->Items[leafKeep + i];
    leaf->N = leafKeep;
    right = r;
    rightCount = r->N;
    upSep = std::move(leafSep);
  }
  int leftCount = leaf->N;
  std::size_t nextInner = 0;

  for (int d = depth - 1; d >= 0; --d) {
    auto* in = static_cast<TInner*>(path[d]);
    const int ci = slot[d];
    if (!right) {
      ++in->Counts[ci];
      continue;
    }
    // Put the new right sibling at ci + 1.
    for (int i = in->N; i > ci + 1; --i) {
      in->Child[i] = in->Child[i - 1];
      in->Counts[i] = in->Counts[i - 1];
    }
    for (int i = in->N - 1; i > ci; --i) in->Seps[i] = std::move(in->Seps[i - 1]);
    in->Child[ci + 1] = right;
    in->Counts[ci + 1] = rightCount;
    in->Counts[ci] = leftCount;
    in->Seps[ci] = std::move(upSep);
    ++in->N;
    right = nullptr;
    if (in->N > kInnerCap) {
      TInner* r = newInner[nextInner++].release();
      const bool atEnd = ci + 1 == in->N - 1;
      const int keep = atEnd ? kInnerCap : (kInnerCap + 1) / 2;
      r->N = in->N - keep;
      for (int i = 0; i < r->N; ++i) {
        r->Child[i] = in->Child[keep + i];
        r->Counts[i] = in->Counts[keep + i];
      }
      for (int i = 0; i + 1 < r->N; ++i) r->Seps[i] = std::move(in->Seps[keep + i]);
      upSep = std::move(in->Seps[keep - 1]);
      in->N = keep;
      right = r;
      rightCount = 0;
      for (int i = 0; i < r->N; ++i) rightCount += r->Counts[i];
      leftCount = 0;
      for (int i = 0; i < in->N; ++i) leftCount += in->Counts[i];
    } else {
      // Levels above only count one more record.
      for (int u = d - 1; u >= 0; --u) ++static_cast<TInner*>(path[u])->Counts[slot[u]];
      break;
    }
  }
  if (right) {
    // The root split: a new root above both halves.
    TInner* root = newInner[nextInner++].release();
    root->N = 2;
    root->Child[0] = Root;
    root->Child[1] = right;
    root->Counts[0] = leftCount;
    root->Counts[1] = rightCount;
    root->Seps[0] = std::move(upSep);
    Root = root;
    ++Height;
  }
  assert(nextInner == newInner.size());
}

TVkURLItem* TURLIndex::At(int index) const {
  void* node = Root;
  for (int d = 0; d < Height; ++d) {
    auto* in = static_cast<TInner*>(node);
    int i = 0;
    while (index >= in->Counts[i]) index -= in->Counts[i++];
    node = in->Child[i];
  }
  return static_cast<TLeaf*>(node)->Items[index];
}

TVkURLItem* TURLIndex::Last() const {
  void* node = Root;
  for (int d = 0; d < Height; ++d) {
    auto* in = static_cast<TInner*>(node);
    node = in->Child[in->N - 1];
  }
  auto* leaf = static_cast<TLeaf*>(node);
  return leaf->N == 0 ? nullptr : leaf->Items[leaf->N - 1];
}

TVkURLItem* TURLIndex::Erase(int index) {
  TInner* path[kMaxHeight];
  int slot[kMaxHeight];
  void* node = Root;
  for (int d = 0; d < Height; ++d) {
    auto* in = static_cast<TInner*>(node);
    int i = 0;
    while (index >= in->Counts[i]) index -= in->Counts[i++];
    path[d] = in;
    slot[d] = i;
    --in->Counts[i];
    node = in->Child[i];
  }
  auto* leaf = static_cast<TLeaf*>(node);
  TVkURLItem* item = leaf->Items[index];
  for (int i = index; i + 1 < leaf->N; ++i) leaf->Items[i] = leaf->Items[i + 1];
  --leaf->N;
  --Total;

  // Deletions come one at a time from the user, so the tree only drops nodes
  // that became empty and merges a sparse leaf into a neighbour that has
  // room; separators stay valid bounds either way.
  for (int d = Height - 1; d >= 0; --d) {
    TInner* in = path[d];
    const int ci = slot[d];
    void* child = in->Child[ci];
    bool drop = false;
    if (d == Height - 1) {
      auto* l = static_cast<TLeaf*>(child);
      if (l->N == 0) {
        delete l;
        drop = true;
      } else if (l->N < kLeafCap / 4) {
        // Fold into the left or right neighbour when it has room.
        int into = -1;
        if (ci > 0 && static_cast<TLeaf*>(in->Child[ci - 1])->N + l->N <= kLeafCap * 3 / 4)
          into = ci - 1;
        if (into >= 0) {
          auto* left = static_cast<TLeaf*>(in->Child[into]);
          for (int i = 0; i < l->N; ++i) left->Items[left->N + i] = l->Items[i];
          left->N += l->N;
          in->Counts[into] += l->N;
          delete l;
          drop = true;
        } else if (ci + 1 < in->N &&
                   static_cast<TLeaf*>(in->Child[ci + 1])->N + l->N <= kLeafCap * 3 / 4) {
          auto* r = static_cast<TLeaf*>(in->Child[ci + 1]);
          for (int i = 0; i < r->N; ++i) l->Items[l->N + i] = r->Items[i];
          l->N += r->N;
          in->Counts[ci] += r->N;
          delete r;
          // Drop the right neighbour instead: child ci keeps its lower bound.
          for (int i = ci + 1; i + 1 < in->N; ++i) {
            in->Child[i] = in->Child[i + 1];
            in->Counts[i] = in->Counts[i + 1];
          }
          for (int i = ci; i + 1 < in->N - 1; ++i) in->Seps[i] = std::move(in->Seps[i + 1]);
          --in->N;
          continue;
        }
      }
    } else if (static_cast<TInner*>(child)->N == 0) {
      delete static_cast<TInner*>(child);
      drop = true;
    }
    if (!drop) break;
    // Remove child ci and one separator next to it.
    for (int i = ci; i + 1 < in->N; ++i) {
      in->Child[i] = in->Child[i + 1];
      in->Counts[i] = in->Counts[i + 1];
    }
    const int sepGone = ci == 0 ? 0 : ci - 1;
    for (int i = sepGone; i + 1 < in->N - 1; ++i) in->Seps[i] = std::move(in->Seps[i + 1]);
    --in->N;
    if (in->N > 0) break;
  }
  // A root with a single child hands the role down.
  while (Height > 0 && static_cast<TInner*>(Root)->N <= 1) {
    auto* in = static_cast<TInner*>(Root);
    if (in->N == 0) {
      delete in;
      Root = new (std::nothrow) TLeaf;
      Height = 0;
      if (!Root) std::abort();
      break;
    }
    Root = in->Child[0];
    in->N = 0;
    delete in;
    --Height;
  }
  return item;
}

std::size_t TURLIndex::MemoryUsed() const {
  std::size_t bytes = 0;
  struct Walk {
    static void Go(void* node, int height, std::size_t& bytes) {
      if (height == 0) {
        bytes += sizeof(TLeaf);
        return;
      }
      auto* in = static_cast<TInner*>(node);
      bytes += sizeof(TInner);
      for (int i = 0; i + 1 < in->N; ++i)
        if (in->Seps[i].capacity() > 15) bytes += in->Seps[i].capacity() + 1;
      for (int i = 0; i < in->N; ++i) Go(in->Child[i], height - 1, bytes);
    }
  };
  Walk::Go(Root, Height, bytes);
  return bytes;
}

}  // namespace qv
