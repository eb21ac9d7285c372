#include "engine/dllist.h"

#include <algorithm>
#include <bit>
#include <stdexcept>

#include "model/strutils.h"
#include "model/uriparser.h"

namespace qv {

namespace {

// Three-way comparison of the first site.size() bytes of url with site.
int ComparePrefix(const std::string& url, const std::string& site) {
  return url.compare(0, site.size(), site);
}

}  // namespace

void TDLList::CopyItem(TActiveDL& target, const TActiveDL& source, bool onlyIfDeeper) {
  if (onlyIfDeeper && target.Depth >= source.Depth) return;
  target = source;
}

TDLList::~TDLList() { Clear(); }

TDLList::TDLList(const TDLList& other) { *this = other; }

TDLList& TDLList::operator=(const TDLList& other) {
  if (&other == this) return *this;
  TDLList copy;
  for (const TBlock& b : other.FBlocks) {
    // Each copy is in a block of `copy` as soon as it exists, so a failure
    // part way frees what was made.
    copy.FBlocks.emplace_back();
    TBlock& nb = copy.FBlocks.back();
    nb.reserve(b.size());
    for (const TActiveDL* item : b) nb.push_back(new TActiveDL(*item));
  }
  copy.FTree = other.FTree;
  copy.FFront = other.FFront;
  copy.FCount = other.FCount;
  *this = std::move(copy);
  return *this;
}

TDLList::TDLList(TDLList&& other) noexcept { *this = std::move(other); }

TDLList& TDLList::operator=(TDLList&& other) noexcept {
  if (&other == this) return *this;
  Clear();
  FBlocks.swap(other.FBlocks);
  FTree.swap(other.FTree);
  std::swap(FFront, other.FFront);
  std::swap(FCount, other.FCount);
  return *this;
}

void TDLList::Locate(int i, size_t& block, size_t& offset) const {
  const size_t n = FTree.size() - 1;
  size_t pos = 0;
  int rest = i;
  for (size_t step = std::bit_floor(n); step > 0; step /= 2) {
    if (pos + step <= n && FTree[pos + step] <= rest) {
      pos += step;
      rest -= FTree[pos];
    }
  }
  // The positions of blocks dropped from the front hold 0, so the descent
  // never stops before them.
  block = pos - FFront;
  offset = static_cast<size_t>(rest);
}

void TDLList::Grow(size_t block, int delta) {
  for (size_t j = FFront + block + 1; j < FTree.size(); j += j & (~j + 1)) FTree[j] += delta;
}

int TDLList::StartOf(size_t block) const {
  int s = 0;
  for (size_t j = FFront + block; j > 0; j -= j & (~j + 1)) s += FTree[j];
  return s;
}

template <class TPred>
int TDLList::FirstWhere(TPred pred) const {
  size_t lo = 0, hi = FBlocks.size();
  while (lo < hi) {
    const size_t mid = lo + (hi - lo) / 2;
    if (pred(*FBlocks[mid].back()))
      hi = mid;
    else
      lo = mid + 1;
  }
  if (lo == FBlocks.size()) return FCount;
  const TBlock& b = FBlocks[lo];
  size_t l = 0, h = b.size() - 1;
  while (l < h) {
    const size_t mid = l + (h - l) / 2;
    if (pred(*b[mid]))
      h = mid;
    else
      l = mid + 1;
  }
  return StartOf(lo) + static_cast<int>(l);
}

void TDLList::Rebuild() {
  FFront = 0;
  FTree.assign(FBlocks.size() + 1, 0);
  for (size_t j = 1; j < FTree.size(); ++j) {
    FTree[j] += static_cast<int>(FBlocks[j - 1].size());
    const size_t parent = j + (j & (~j + 1));
    if (parent < FTree.size()) FTree[parent] += FTree[j];
  }
}

TActiveDL& TDLList::Item(int i) {
  return const_cast<TActiveDL&>(static_cast<const TDLList*>(this)->Item(i));
}

const TActiveDL& TDLList::Item(int i) const {
  if (i < 0 || i >= FCount)
    throw std::out_of_range("List index out of bounds (" + std::to_string(i) + ")");
  size_t b, o;
  Locate(i, b, o);
  return *FBlocks[b][o];
}

void TDLList::InsertAt(int i, std::unique_ptr<TActiveDL> item) {
  size_t b, o;
  if (FBlocks.empty()) {
    FBlocks.emplace_back();
    Rebuild();
    b = o = 0;
  } else if (i == FCount) {
    b = FBlocks.size() - 1;
    o = FBlocks[b].size();
    if (o == kBlockMax) {
      // Appending (a queue built from sorted input): a full last block stays
      // full and a new one begins, rather than two half-full ones.
      TBlock fresh;
      fresh.reserve(kBlockMax);
      fresh.push_back(item.get());
      FBlocks.push_back(std::move(fresh));
      item.release();
      ++FCount;
      Rebuild();
      return;
    }
  } else {
    Locate(i, b, o);
  }
  TBlock& block = FBlocks[b];
  block.insert(block.begin() + static_cast<std::ptrdiff_t>(o), item.get());
  item.release();
  ++FCount;
  if (block.size() > kBlockMax) {
    // The tail's block is in the list before the tail leaves this one, so a
    // failure to make it loses no item.
    const size_t half = block.size() / 2;
    FBlocks.insert(FBlocks.begin() + static_cast<std::ptrdiff_t>(b) + 1,
                   TBlock(block.begin() + static_cast<std::ptrdiff_t>(half), block.end()));
    TBlock& first = FBlocks[b];  // the insertion may have moved it
    first.resize(half);
    Rebuild();
  } else {
    Grow(b, 1);
  }
}

void TDLList::Clear() {
  for (TBlock& b : FBlocks) {
    for (TActiveDL* item : b) delete item;
  }
  FBlocks.clear();
  FTree.clear();
  FFront = 0;
  FCount = 0;
}

int TDLList::IndexOfURL(const std::string& url) const {
  const int i = FirstWhere([&](const TActiveDL& d) { return d.URL.compare(url) >= 0; });
  return i < FCount && Item(i).URL == url ? i : ~i;
}

int TDLList::Add(const TActiveDL& item, bool append) {
  if (append) {
    InsertAt(FCount, std::make_unique<TActiveDL>(item));
    return FCount - 1;
  }
  int i = IndexOfURL(item.URL);
  if (i >= 0) {
    CopyItem(Item(i), item, true);
    return i;
  }
  i = ~i;
  InsertAt(i, std::make_unique<TActiveDL>(item));
  return i;
}

void TDLList::Merge(const TDLList& other) {
  if (&other == this) return;
  for (const TBlock& b : other.FBlocks) {
    for (const auto& item : b) Add(*item, false);
  }
}

void TDLList::Delete(int i) { Remove(i); }

TActiveDL TDLList::Take(int i) { return std::move(*Remove(i)); }

std::unique_ptr<TActiveDL> TDLList::Extract(int i) { return Remove(i); }

std::unique_ptr<TActiveDL> TDLList::Remove(int i) {
  if (i < 0 || i >= Count())
    throw std::out_of_range("List index out of bounds (" + std::to_string(i) + ")");
  size_t b, o;
  Locate(i, b, o);
  TBlock& block = FBlocks[b];
  std::unique_ptr<TActiveDL> item(block[o]);
  block.erase(block.begin() + static_cast<std::ptrdiff_t>(o));
  --FCount;
  if (block.empty() && b == 0 && FBlocks.size() > 1) {
    // Picks take the first items often: the first block goes without a
    // rebuild, its tree position left at 0 and skipped, until such
    // positions outnumber the blocks.
    Grow(0, -1);
    FBlocks.pop_front();
    if (++FFront > FBlocks.size()) Rebuild();
  } else if (block.empty()) {
    FBlocks.erase(FBlocks.begin() + static_cast<std::ptrdiff_t>(b));
    Rebuild();
  } else {
    Grow(b, -1);
  }
  return item;
}

int TDLList::NextHostRun(int i) const {
  const int n = Count();
  if (i < 0) i = -1;
  if (i >= n) return i + 1;
  int j = i + 1;
  if (i < 0) return j;
  const std::string site = URLSite(Item(i).URL);
  if (j >= n || ComparePrefix(Item(j).URL, site) != 0) return j;
  // Item j begins with the site, so the whole run of such items starts
  // there; every item after the run sorts above it.
  return FirstWhere([&](const TActiveDL& d) { return ComparePrefix(d.URL, site) > 0; });
}

void TDLList::ForEachHostRun(const THostRunVisit& visit) const {
  size_t b = 0, o = 0;
  const size_t blocks = FBlocks.size();
  while (b < blocks) {
    const TActiveDL& item = *FBlocks[b][o];
    const std::string site = URLSite(item.URL);
    if (!visit(item, StartOf(b) + static_cast<int>(o), site)) return;
    // The next item; a run goes on only while items begin with the site.
    if (++o == FBlocks[b].size()) {
      o = 0;
      if (++b == blocks) return;
    }
    if (ComparePrefix(FBlocks[b][o]->URL, site) != 0) continue;
    auto after = [&](const TActiveDL& d) { return ComparePrefix(d.URL, site) > 0; };
    if (!after(*FBlocks[b].back())) {
      // The run leaves this block: gallop over the next blocks' last items.
      size_t lo = b + 1, step = 1;
      size_t hi = lo;
      while (hi < blocks && !after(*FBlocks[hi].back())) {
        lo = hi + 1;
        hi = b + (step *= 2);
      }
      if (hi > blocks) hi = blocks;
      while (lo < hi) {
        const size_t mid = lo + (hi - lo) / 2;
        if (after(*FBlocks[mid].back()))
          hi = mid;
        else
          lo = mid + 1;
      }
      if (lo == blocks) return;
      b = lo;
      o = 0;
    }
    const TBlock& block = FBlocks[b];
    size_t l = o, h = block.size() - 1;
    while (l < h) {
      const size_t mid = l + (h - l) / 2;
      if (after(*block[mid]))
        h = mid;
      else
        l = mid + 1;
    }
    o = l;
  }
}

int TDLList::IndexOfHost(const std::string& url) const {
  if (url.empty()) return -1;
  const std::string site = URLSite(url);
  const int i = FirstWhere([&](const TActiveDL& d) { return ComparePrefix(d.URL, site) >= 0; });
  return i < FCount && ComparePrefix(Item(i).URL, site) == 0 ? i : ~i;
}

}  // namespace qv
