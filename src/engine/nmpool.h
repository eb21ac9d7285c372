#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

#include "engine/threadtimer.h"

namespace qv {

class TDNList;
class TIdHTTPExt;
class TIdFTPExt;

// The socket object a worker thread holds beside its clients. Nothing opens
// it; it carries the thread's host list and a busy flag, and the watchdog
// closes it when it is active.
class TDNSocket {
 public:
  explicit TDNSocket(TDNList* hostList) : HostList(hostList) {}
  TDNSocket(const TDNSocket&) = delete;
  TDNSocket& operator=(const TDNSocket&) = delete;

  TDNList* const HostList;
  std::atomic<uint8_t> Busy{0};

  bool Active() const { return FActive.load(std::memory_order_acquire); }
  void Close() { FActive.store(false, std::memory_order_release); }

 private:
  std::atomic<bool> FActive{false};
};

// A thread-safe pool: Take hands out the oldest object put back (null when
// there is none), Put appends one.
template <class T>
class TObjectPool {
 public:
  std::unique_ptr<T> Take() {
    std::lock_guard<std::mutex> g(FLock);
    if (FItems.empty()) return nullptr;
    std::unique_ptr<T> item = std::move(FItems.front());
    FItems.pop_front();
    return item;
  }
  void Put(std::unique_ptr<T> item) {
    std::lock_guard<std::mutex> g(FLock);
    FItems.push_back(std::move(item));
  }

 private:
  std::mutex FLock;
  std::deque<std::unique_ptr<T>> FItems;
};

// Pools of the objects worker threads hold: watchdog timers, sockets, HTTP
// and FTP clients. A thread takes one of each when it is made and gives them
// back when it is freed, so a second job reuses the first one's clients.
// Each pool has its own lock; any thread may take and return. A take hands
// out the oldest waiting object, or a new one when the pool is empty. A
// return first puts the object at rest, then appends it: a timer switched
// off, without handler and count; a socket closed; a client disconnected and
// as a new one (its handlers, request headers, credentials, counters and
// last host forgotten), so that a taker never sends another job's headers
// or calls into the thread that gave the client back.
// The pools live until the program ends.

// Makes the pools that do not exist yet. Takes and returns make them too.
void CreatePools();

// The timer is bound to the taker's socket and clients (a pooled one too)
// and ticks on the user-interface thread's tick source.
std::unique_ptr<TVkThreadTimer> TakeTimer(TDNSocket* socket, TIdHTTPExt* http, TIdFTPExt* ftp);
// A new socket carries the given host list; a pooled one keeps its own.
std::unique_ptr<TDNSocket> TakeSocket(TDNList* hostList);
std::unique_ptr<TIdHTTPExt> TakeHTTP();
std::unique_ptr<TIdFTPExt> TakeFTP();

void ReturnTimer(std::unique_ptr<TVkThreadTimer> timer);
void ReturnSocket(std::unique_ptr<TDNSocket> socket);
void ReturnHTTP(std::unique_ptr<TIdHTTPExt> http);
void ReturnFTP(std::unique_ptr<TIdFTPExt> ftp);

}  // namespace qv
