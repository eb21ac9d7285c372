#pragma once
// The host list of one job: which hosts answered and which could not be
// reached, so that workers give up at once on further URLs of a dead host.

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace qv {

// Serialises every operation of every TDNList and TDNItem::SetState. Recursive:
// ResetStates and Merge call SetState with the lock already held.
extern std::recursive_mutex HostListLock;

enum : uint8_t { dnUnknown = 0, dnReached = 1, dnNotFound = 2 };

// The details of an item the job gave up on because its host could not be
// reached before.
inline constexpr char kHostNotFound[] = "Host not found";

struct TDNItem {
  uint8_t State = dnUnknown;  // 0 unknown, 1 reached, 2 not found
  std::string Host;           // network location as written in the URL, port included
  std::string Text1;          // kept empty by the system
  std::string Text2;          // kept empty by the system
  int32_t Number = 0;         // kept 0 by the system

  // A host once reached stays reached.
  void SetState(uint8_t state);
  // Takes other's host, its non-empty texts, its positive number and its
  // non-zero state (through SetState).
  void Merge(const TDNItem& other);
};

// Entries sorted by Host, byte-exact (hosts differing in case are two entries),
// no two with the same host. Every operation takes HostListLock except Search.
class TDNList {
 public:
  TDNList() = default;
  TDNList(const TDNList&) = delete;
  TDNList& operator=(const TDNList&) = delete;
  ~TDNList();

  int Count() const;
  // The entry at index (nullptr when out of range). The pointer stays valid
  // until the entry is deleted or the list cleared.
  TDNItem* GetItem(int index) const;
  void DeleteItem(int index);
  void ClearItems();

  // Index of host, or the bitwise complement of its insertion position. Takes
  // no lock: call it with HostListLock held.
  int Search(const std::string& host) const;
  int LockedSearch(const std::string& host) const;
  // The entry's state, or nothing when the host is not listed.
  std::optional<uint8_t> FindState(const std::string& host) const;
  // append: a new entry is appended without a search (the caller keeps the
  // order). Otherwise merged into the entry of the same host or inserted at
  // its place. Returns the entry's index.
  int AddOrMerge(const TDNItem& item, bool append);
  // The entry of host, listed in state 0 when it was not listed yet.
  TDNItem* FindOrAdd(const std::string& host);
  bool IsNotFound(const std::string& host) const;
  // Not-found hosts become unknown again; reached hosts stay reached.
  void ResetStates();

 private:
  std::vector<std::unique_ptr<TDNItem>> Items;
};

}  // namespace qv
