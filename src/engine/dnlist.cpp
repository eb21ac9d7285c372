#include "engine/dnlist.h"

#include "model/strutils.h"

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
  return SearchSorted(static_cast<int>(Items.size()),
                      [&](int i) { return Items[i]->Host.compare(host); });
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
