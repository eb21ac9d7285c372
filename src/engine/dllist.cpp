#include "engine/dllist.h"

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

int TDLList::IndexOfURL(const std::string& url) const {
  return SearchSorted(Count(), [&](int i) { return Items[i].URL.compare(url); });
}

int TDLList::Add(const TActiveDL& item, bool append) {
  if (append) {
    Items.push_back(item);
    return Count() - 1;
  }
  int i = IndexOfURL(item.URL);
  if (i >= 0) {
    CopyItem(Items[i], item, true);
    return i;
  }
  i = ~i;
  Items.insert(Items.begin() + i, item);
  return i;
}

void TDLList::Merge(const TDLList& other) {
  if (&other == this) return;
  for (const TActiveDL& item : other.Items) Add(item, false);
}

void TDLList::Delete(int i) {
  if (i < 0 || i >= Count())
    throw std::out_of_range("List index out of bounds (" + std::to_string(i) + ")");
  Items.erase(Items.begin() + i);
}

int TDLList::NextHostRun(int i) const {
  const int n = Count();
  if (i < 0) i = -1;
  if (i >= n) return i + 1;
  int j = i + 1;
  if (i < 0) return j;
  const std::string site = URLSite(Items[i].URL);
  while (j < n && ComparePrefix(Items[j].URL, site) == 0) ++j;
  return j;
}

int TDLList::IndexOfHost(const std::string& url) const {
  if (url.empty()) return -1;
  const std::string site = URLSite(url);
  return SearchSorted(Count(), [&](int i) { return ComparePrefix(Items[i].URL, site); });
}

}  // namespace qv
