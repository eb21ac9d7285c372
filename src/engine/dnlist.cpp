#include "engine/dnlist.h"

namespace qv {

std::recursive_mutex HostListLock;

void TDNItem::SetState(uint8_t state) {
  std::lock_guard<std::recursive_mutex> g(HostListLock);
  if (State != dnReached) State = state;
}

void TDNItem::Merge(const TDNItem& other) {
  std::lock_guard<std::recursive_mutex> g(HostListLock);
  Host = other.Host;
  if (!other.Text1.empty()) Text1 = other.Text1;
  if (!other.Text2.empty()) Text2 = other.Text2;
  if (other.Number > 0) Number = other.Number;
  if (other.State != dnUnknown) SetState(other.State);
}

TDNList::~TDNList() { ClearItems(); }

int TDNList::Count() const {
  std::lock_guard<std::recursive_mutex> g(HostListLock);
  return static_cast<int>(Items.size());
}

TDNItem* TDNList::GetItem(int index) const {
  std::lock_guard<std::recursive_mutex> g(HostListLock);
  if (index < 0 || index >= static_cast<int>(Items.size())) return nullptr;
  return Items[index].get();
}

void TDNList::DeleteItem(int index) {
  std::lock_guard<std::recursive_mutex> g(HostListLock);
  if (index < 0 || index >= static_cast<int>(Items.size())) return;
  Items.erase(Items.begin() + index);
}

void TDNList::ClearItems() {
  std::lock_guard<std::recursive_mutex> g(HostListLock);
  Items.clear();
}

int TDNList::Search(const std::string& host) const {
  const int n = static_cast<int>(Items.size());
  if (n == 0) return ~0;
  // Hosts mostly arrive in order, so the end is tried first.
  const int last = host.compare(Items[n - 1]->Host);
  if (last > 0) return ~n;
  if (last == 0) return n - 1;
  int lo = 0, hi = n - 1;
  while (lo <= hi) {
    const int mid = lo + (hi - lo) / 2;
    const int c = host.compare(Items[mid]->Host);
    if (c > 0) {
      lo = mid + 1;
    } else if (c == 0) {
      return mid;
    } else {
      hi = mid - 1;
    }
  }
  return ~lo;
}

int TDNList::LockedSearch(const std::string& host) const {
  std::lock_guard<std::recursive_mutex> g(HostListLock);
  return Search(host);
}

std::optional<uint8_t> TDNList::FindState(const std::string& host) const {
  std::lock_guard<std::recursive_mutex> g(HostListLock);
  const int i = Search(host);
  if (i < 0) return std::nullopt;
  return Items[i]->State;
}

int TDNList::AddOrMerge(const TDNItem& item, bool append) {
  std::lock_guard<std::recursive_mutex> g(HostListLock);
  if (append) {
    Items.push_back(std::make_unique<TDNItem>(item));
    return static_cast<int>(Items.size()) - 1;
  }
  int i = Search(item.Host);
  if (i >= 0) {
    Items[i]->Merge(item);
    return i;
  }
  i = ~i;
  Items.insert(Items.begin() + i, std::make_unique<TDNItem>(item));
  return i;
}

TDNItem* TDNList::FindOrAdd(const std::string& host) {
  std::lock_guard<std::recursive_mutex> g(HostListLock);
  TDNItem item;
  item.Host = host;
  return Items[AddOrMerge(item, false)].get();
}

bool TDNList::IsNotFound(const std::string& host) const {
  std::optional<uint8_t> s = FindState(host);
  return s && *s == dnNotFound;
}

void TDNList::ResetStates() {
  std::lock_guard<std::recursive_mutex> g(HostListLock);
  for (auto& e : Items) {
    e->SetState(dnUnknown);
    e->Number = 0;
  }
}

}  // namespace qv
