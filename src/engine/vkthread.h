#pragma once

// The base of the two worker threads (downloads and link extraction): the
// pooled connection objects and their event handlers, the watchdog that
// turns silence into a time-out, the two published status texts, the pick of
// the next queue item under the per-server limit (robots.txt first), putting
// items back, recording a result in the master list and storing headers and
// body. Also the shared state of one job (StartJob).
//
// Threads: the user-interface thread makes the threads, calls Skip, Stop and
// CheckWatchdog and reads the published fields (atomics, and the two status
// texts under StatusLock); everything else runs on the worker thread. Lock
// order: JobLock, then the host-list or robots lock; URLListLock and
// FileLock are never taken while JobLock is held.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "engine/dllist.h"
#include "engine/idftpext.h"
#include "engine/idhttpext.h"
#include "engine/jobcontext.h"
#include "engine/nmpool.h"
#include "platform/net.h"
#include "platform/thread.h"

namespace qv {

class TVkThread;
class TDNList;
class TCookieList;
class TVkThreadTimer;
class TIdTCPConnection;

// The job's running worker threads. Guarded by JobLock.
class TVkThreadList {
 public:
  int Count() const { return static_cast<int>(FItems.size()); }
  TVkThread* Get(int i) const { return FItems.at(static_cast<size_t>(i)); }
  void Add(TVkThread* thread) { FItems.push_back(thread); }
  void Remove(TVkThread* thread);
  void Clear() { FItems.clear(); }

 private:
  std::vector<TVkThread*> FItems;
};

// --- the job's shared state ---
// Guards every queue, RetryList, VisitedList and the running-thread list.
extern TSpinningMutex JobLock;
extern TDLList RetryList;
extern std::set<std::string> VisitedList;  // URLs already taken from a spider queue
extern std::atomic<bool> RobotsObeyed;
extern std::atomic<int> MaxThreadsPerServer;
// The smallest per-host thread count the last host search found; the runner
// starts no thread while it has reached MaxThreadsPerServer and a thread
// runs. Set back to 0 when a thread ends other than by a failed pick, so a
// queue that only an ended thread could take from is never left without one.
extern std::atomic<int> LeastHostCount;
// The job's host list and cookie list: made by the first StartJob, cleared by
// each, freed by FreeJobGlobals.
TDNList* JobHostList();
TCookieList* JobCookieList();

// Before each job: takes RobotsObeyed and MaxThreadsPerServer from the
// settings (0 threads per server means 5), clears LeastHostCount, the host
// list, the cookie list (then imports the browser's cookies when IECookChk is
// on), RetryList and VisitedList, makes the pools, and points the context's
// host and cookie lists at the job's.
void StartJob(const TSettings& settings, TJobContext* context = nullptr);
void FreeJobGlobals();
// The runner's gate: may another thread start now?
bool MayStartThread(int runningThreads);

// Result codes of an item (TVkThread::Result).
enum : int8_t {
  vrNone = 0,
  vrSucceeded = 2,
  vrFailed = 3,
  vrTimedOut = 6,
  vrWriteError = 7,
  vrUnsupported = 8,
  vrSizeFiltered = 9,
  vrUnreachable = 11,
  vrInvalidHost = 12,
  vrOffSite = 13,
  vrNoRobots = 14,
  vrRedirecting = 15,
  vrNoConnection = 17,
};

// Small helpers the worker threads share.
// A content type without its parameters, trimmed.
std::string BareType(const std::string& contentType);
// Whether a content type (lower case, without parameters) matches one of the
// comma-separated patterns of acceptTypes (any case); an empty list takes all.
bool TypeAccepted(const std::string& acceptTypes, const std::string& type);
// Whether url names a site's robots.txt.
bool IsRobotsURL(const std::string& url);
// The network location of url without its "//" (host, port and user).
std::string HostOf(const std::string& url);

class TVkThread : public TThread {
 public:
  enum : uint8_t { kSpider = 1, kDownload = 2 };

  // Takes a socket, an HTTP client, an FTP client and a watchdog timer from
  // the pools and hooks the handlers to them; on a failure the objects taken
  // so far go back and the exception passes on. The thread starts suspended
  // (Resume starts it). TimeOut comes from the settings (0 means 5 seconds).
  TVkThread(TVkThreadList* threadList, TJobContext& context);
  // The owner has waited for the thread. Unhooks the handlers and returns the
  // pooled objects.
  ~TVkThread() override;

  int32_t LastWatchdogCount = 0;  // user-interface thread only
  std::mutex StatusLock;          // guards the two status texts

 private:
  std::string StatusURL;  // under StatusLock: the URL being worked on
  std::string Activity;   // under StatusLock: what the thread is doing

 public:
  std::string StepMarker;
  std::string AcceptTypes;  // comma-separated content-type patterns; "" accepts all
  std::string StoredLastModified;
  uint8_t InfoOnly = 0;
  TDLList* Queue = nullptr;
  std::unique_ptr<TDNSocket> Socket;
  std::unique_ptr<TIdHTTPExt> HTTP;
  std::unique_ptr<TIdFTPExt> FTP;
  std::atomic<uint8_t> Connected{0};
  int64_t ResumeOffset = 0;
  int32_t TimeOut = 0;  // seconds
  TVkThreadList* ThreadList;
  std::atomic<uint8_t> SkipFlag{0};
  std::atomic<uint8_t> AbortFlag{0};
  uint8_t Kind = 0;
  // The item being worked on. Its URL is written only under JobLock (other
  // threads read it when they count a host's threads); the rest belongs to
  // the worker.
  TActiveDL Current;
  std::atomic<uint8_t> Finished{0};
  std::atomic<int64_t> BytesTotal{0};
  std::atomic<int64_t> BytesReceived{0};
  std::atomic<uint8_t> Changed{0};
  std::atomic<int8_t> Result{0};
  std::unique_ptr<TVkThreadTimer> Watchdog;

  // The URL of Current (under JobLock), its retries left. An override of
  // SetURL calls this one: it also refreshes the site the other threads count.
  virtual std::string GetURL();
  virtual void SetURL(const std::string& url);
  // Any thread: the retries of Current as of the last published change (the
  // worker changes Current without a lock the reader could take).
  virtual int GetRetriesLeft() { return FShownRetries.load(std::memory_order_relaxed); }

  void SetStatusURL(const std::string& text) noexcept;
  std::string GetStatusURL() noexcept;
  void SetActivity(std::string_view text) noexcept;
  std::string GetActivity() noexcept;

  // User-interface thread.
  void Skip() { SkipFlag = 1; }
  void Stop() { AbortFlag = 1; }
  // Once per runner pass: cuts the connection of a skipped, stopped,
  // size-filtered or timed-out item, once per watchdog tick.
  void CheckWatchdog();
  // Cuts the connection now, whatever the watchdog shows: a blocked read or
  // connect ends at once. For a runner that must wait for a stopped thread
  // without the watchdog ticks that would otherwise lead to the cut.
  void CutConnection();

  // Watchdog count run out: Result 6, "Time out:" before the activity (once).
  bool TimedOut();
  void ArmWatchdog();
  void DisarmWatchdog();

  // Threads whose current URL is on url's site; 1000 when one of them
  // fetches that site's robots.txt. Caller holds JobLock.
  int CountHostThreads(const std::string& url);
  // The next item into Current (robots.txt of its site first). Caller holds
  // JobLock. True when an item was taken.
  bool PickNext(bool addVisited);
  // PickNext under JobLock; then, outside it, a taken item's result and byte
  // counts are set to 0, the activity to "" (Changed set) and the snapshots
  // taken.
  bool PickNextLocked(bool addVisited);
  void PutBack(const TActiveDL& item);
  void PutToRetry(const TActiveDL& item);
  // PutBack unless the URL was taken from the queue already (VisitedList),
  // tested and queued in one JobLock section so that two threads finding
  // one link never queue it twice. True when queued.
  bool PutBackIfNotVisited(const TActiveDL& item);
  // Takes url for this thread when no pick has taken it: it becomes visited
  // and leaves the queue, so it is never fetched under its own address. False
  // when it was taken already.
  bool ClaimUnvisited(const std::string& url);

  // Records the result of url in the master list by the result table. For
  // a kept-out item statusText says why a whole site is kept out ("" for a
  // rule's verdict). A site's robots.txt makes its site known (unless the
  // job was stopped, so the next job asks again); one that did not come,
  // code being the answer's status (0: none), keeps out its site whole when
  // RobotsTxtUnreachable says so, and its details say so, as the reason of
  // the URLs kept out says what became of it.
  void LogResult(const std::string& url, int64_t size, const std::string& headers,
                 const std::string& statusText, int32_t code = 0);
  // Stores headers (and the body when saveBody), then records the result; a
  // failed store is result 7. A copy from the cache (code -2) that
  // StoredCopyIsCurrent finds no newer stores nothing.
  void FinishItem(const std::string& headers, const std::string& body, int64_t size, int32_t code,
                  bool saveBody);
  // FinishItem for url instead of Current's.
  void FinishItemAt(const std::string& url, const std::string& headers, const std::string& body,
                    int64_t size, int32_t code, bool saveBody);
  // Whether the mirror holds a body of url that a cached copy with these
  // headers would not make newer: true unless there is no stored body, or
  // both copies name a Last-Modified date and the cached one is later.
  bool StoredCopyIsCurrent(const std::string& url, const std::string& cachedHeaders);
  // The address the master list records url under (see
  // TURLAdder::ListedURL). A stored page is localised against it unless the
  // page carries the address it came from: a page fetched under another
  // form of the address (a redirect, or the other trailing-"/" form, which
  // shares the record and the stored file) needs that marker.
  std::string ListedAddress(const std::string& url);
  // The details text of an HTTP item that ended with code: its status text,
  // unless the item failed and the HTTP client's last fetch (the one that
  // gave code) failed for another reason than the status (a time-out, a
  // truncated body, broken framing, a refused URL, TLS): then that reason.
  std::string HTTPDetails(int32_t code) const;
  // The status text of an FTP item that failed: the text of the server's
  // refusal (a reply of 400 or more), else "" (LogResult then tells the
  // client's own reason: a failure after a positive reply, a bound passed).
  std::string FTPRefusalText() const;

  // What a fetch that ended without a result code comes to: a size-filtered
  // or failed item keeps its code; otherwise 2 when it succeeded and was
  // neither skipped nor stopped, else 3.
  void SettleResult(bool fetched);
  // Whether the view filter's size bounds apply to this thread's items (a
  // download job with a least or most size set).
  bool FiltersBySize() const;
  // Whether the item may go up for another try: never after success, an
  // unsupported scheme or the size filter.
  bool MayRetry() const;

  // The snapshots read for the current item (taken by the pick).
  const TItemSnapshot& Snapshot() const { return FSnapshot; }
  void TakeSnapshot() { FContext.Refresh(FSnapshot); }
  TJobContext& Context() { return FContext; }

 protected:
  void DoTerminate() override;
  // The readable reason of the last failure of the client that fetched url
  // (the FTP client for an ftp: address, else the HTTP client); "" when none.
  virtual std::string ClientFailureReason(const std::string& url) const;

  void HTTPConnected(TIdTCPConnection* sender);
  void HTTPStatus(TIdTCPConnection* sender, TIdStatus status, const std::string& text);
  void HTTPWorkBegin(TIdTCPConnection* sender, TWorkMode mode, int64_t max);
  void HTTPWork(TIdTCPConnection* sender, TWorkMode mode, int64_t count);
  // Each piece of an HTTP body as it is read, count bytes of it so far (the
  // resumed part not counted); the download thread keeps what a partial
  // needs for a later resume.
  virtual void BodyReceived(int64_t count) {}
  // An answer of a type AcceptTypes refuses is cut after its headers unless
  // this takes its body after all (type: lower case, without parameters).
  virtual bool TakesRefusedBody(const std::string& type) { return false; }
  void FTPConnected(TIdTCPConnection* sender);
  void FTPStatus(TIdTCPConnection* sender, TIdStatus status, const std::string& text);
  void FTPWorkBegin(TIdTCPConnection* sender, TWorkMode mode, int64_t max);
  void FTPWork(TIdTCPConnection* sender, TWorkMode mode, int64_t count);
  void FTPChangeDir(TIdFTPExt* sender);

 private:
  // Sets the activity, then Changed, and wakes the runner.
  void Publish(std::string_view activity);
  bool HeaderChecks();
  void SizeFilter();
  void ReturnPooled() noexcept;
  // Caches the site of Current's URL for the other threads' counts (caller
  // holds JobLock).
  void NoteCurrentURL();
  // CountHostThreads of a site.
  int CountSiteThreads(const std::string& site);

  TJobContext& FContext;
  TItemSnapshot FSnapshot;
  std::string FCurrentSite;      // URLSite of Current.URL; under JobLock
  bool FCurrentRobots = false;   // Current.URL names a robots.txt; under JobLock
  int FLastIndex = 0;            // queue index of the last item taken
  bool FLastPickFailed = false;  // the last PickNext took nothing
  // The queue node of the item taken last, holding the texts of the item
  // before: freed once JobLock is released.
  std::unique_ptr<TActiveDL> FSpentItem;
  std::atomic<int32_t> FShownRetries{0};
};

}  // namespace qv
