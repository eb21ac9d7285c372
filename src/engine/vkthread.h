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
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "engine/dllist.h"
#include "engine/fetchfailure.h"
#include "engine/idftpext.h"
#include "engine/idhttpext.h"
#include "engine/jobcontext.h"
#include "engine/nmpool.h"
#include "platform/net.h"
#include "platform/thread.h"

namespace qv {

class TVkThread;
class TDNList;
struct TDNItem;
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
// What the job's items came to, each counted once as it ends for good (not
// when it goes back for another try): the job window's progress and the
// report at the job's end. Cleared by StartJob.
struct TJobTally {
  std::atomic<int> Stored{0};  // succeeded (in a headers-only job: checked)
  std::atomic<int> Failed{0};
  // Skipped by the user, kept out by robots.txt, size filtered or off site.
  std::atomic<int> Skipped{0};
  std::atomic<int> Stopped{0};  // cut short by a stop
  int Done() const { return Stored + Failed + Skipped + Stopped; }
};
extern TJobTally JobTally;

// The errors a job passes over where its design has them dropped (a worker
// that meets one ends, a grid refresh that meets one is skipped): counted,
// the last one's text kept, so that a job that went quiet can be told why.
// Any thread.
class TDroppedErrors {
 public:
  // Counts the error being handled (or e), met at where ("download thread").
  void Note(const char* where, std::exception_ptr e = std::current_exception()) noexcept;
  int Count() const { return FCount.load(); }
  // "where: reason" of the last one; "" before any.
  std::string Last() const;
  void Clear();

 private:
  std::atomic<int> FCount{0};
  mutable std::mutex FLock;
  std::string FLast;
};
// The running job's; cleared as each job starts (StartJob, and the runner
// before it builds a queue).
extern TDroppedErrors JobDroppedErrors;

// The job's host list and cookie list: made by the first StartJob, cleared by
// each, freed by FreeJobGlobals.
TDNList* JobHostList();
TCookieList* JobCookieList();

// Before each job: takes RobotsObeyed and MaxThreadsPerServer from the
// settings (0 threads per server means 5), clears JobDroppedErrors,
// LeastHostCount, JobTally, the host list, the cookie list (then imports the
// browser's cookies when IECookChk is on), RetryList and VisitedList, makes
// the pools, and points the context's host and cookie lists at the job's.
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
  // Current put back (or to the retry list) is no longer the thread's to
  // count as done.
  void PutBack(const TActiveDL& item);
  void PutToRetry(const TActiveDL& item);
  // Whether Current is an item taken from the queue that has not ended yet
  // (a site's robots.txt asked first is none). Caller holds JobLock.
  bool HoldsItem() const { return FHolding; }
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
  // the URLs kept out says what became of it. failure is how the client's
  // last operation for the item failed: a failed item without a status
  // text records its reason.
  void LogResult(const std::string& url, int64_t size, const std::string& headers,
                 const std::string& statusText, int32_t code = 0,
                 const TFetchFailure& failure = {});
  // Stores headers (and the body when saveBody), then records the result
  // (details by HTTPDetails, with the fetch's failure); a failed store is
  // result 7. A copy from the cache (code -2) that StoredCopyIsCurrent finds
  // no newer stores nothing.
  void FinishItem(const std::string& headers, const std::string& body, int64_t size, int32_t code,
                  bool saveBody, const TFetchFailure& failure = {});
  // FinishItem for url instead of Current's.
  void FinishItemAt(const std::string& url, const std::string& headers, const std::string& body,
                    int64_t size, int32_t code, bool saveBody, const TFetchFailure& failure = {});
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
  // unless the item failed and the fetch that gave code failed for another
  // reason than the status (a time-out, a truncated body, broken framing, a
  // refused URL, TLS): then that reason.
  std::string HTTPDetails(int32_t code, const TFetchFailure& failure) const;
  // The status text of an FTP item that failed: the text of the server's
  // refusal (a reply of 400 or more), else "" (LogResult then tells the
  // client's own reason: a failure after a positive reply, such as a
  // transfer short of its announced size after 226, which must not read as
  // the server's success; a bound passed).
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

  // --- the fetch steps both worker threads take ---
  // Whether the dial-up link the job runs on has dropped.
  bool LinkDown();
  // An item whose address HTTP cannot fetch (no "http:" or "https:")
  // ends as unsupported, recorded: true then.
  bool EndedUnfetchable();
  // How one thread's HTTP fetch differs from the other's, for FetchHTTPHops.
  struct THTTPFetch {
    // Whether "DNS Lookup" shows, with the watchdog armed, while the host
    // list is asked for each hop's host.
    bool ShowLookup = false;
    // Request lines every hop sends besides its cookie line (a conditional
    // request, the range validator); null or empty ones are left out.
    const std::string* ExtraLines[2] = {nullptr, nullptr};
    // Runs before each hop's request.
    std::function<void()> BeforeRequest;
    // The hop's request to url through the HTTP client: false when it
    // failed.
    std::function<bool(const std::string& url)> Request;
    // The bytes of the answer's body that came, resumed ones not counted.
    std::function<int64_t()> Received;
  };
  // Clears the HTTP client's response and request, then sets the request as
  // the item's settings make it: the user agent, the proxy and its log-on,
  // and the item's parent as the referer. Redirections come back to the
  // caller, who follows them through FetchHTTPHops.
  void SetUpHTTPRequest();
  // The hops of one fetch of the current item from url, at most 20: each
  // looks its host up in the job's host list, where a host found dead ends
  // the item ("Host not found" recorded, false returned); sends the
  // credentials and the cookies of its own address with fetch's extra
  // lines; runs fetch's request with the watchdog armed; takes the answer's
  // cookies, notes whether the host answered, and publishes the byte
  // counts. Result is 2 after a request that worked, unless the item was
  // skipped or stopped or the request set a result of its own (a time-out,
  // the size filter), which stands; otherwise 3. The next hop is the
  // answer's Location or Content-Location (NextHopURL), never one from a
  // robots.txt or from no answer. url ends as the address of the last hop,
  // failure as the client's failure of its request.
  bool FetchHTTPHops(std::string& url, const THTTPFetch& fetch, TFetchFailure& failure);

  // Whether the job has given host up: the host list found it dead and
  // "Retry server for each URL" is off. The item then ends at once.
  bool HostGivenUp(const std::string& host);
  // What a fetch made of its host's entry (null: none): reached when the
  // host answered; not found when it could not be reached (its name did not
  // resolve, it refused the connection) or the time ran out before any
  // answer; otherwise (a skip, a stop, a connection closed without an
  // answer) the entry stays as it was.
  void NoteHostOutcome(TDNItem* entry, bool answered, bool unreachable);
  // The cache's copy of url, its body and its headers; false when either is
  // missing or empty.
  bool ReadCachedCopy(const std::string& url, std::string& body, std::string& head) const;
  // The host's entry in the job's host list (null without one), looked up
  // with "DNS Lookup" showing and the watchdog armed.
  TDNItem* LookUpHost(const std::string& host);
  // One command of an FTP session: its activity shown (Changed set), the
  // watchdog armed while it runs. The command's result.
  bool FTPStep(const char* activity, const std::function<bool()>& command);
  // Whether the open FTP session is the one a log-on for url with the
  // preset user and password would open; then dir is its current folder,
  // asked with "Current dir?" showing ("" when the question failed).
  bool FTPSessionDir(const std::string& url, const std::string& user, const std::string& password,
                     std::string& dir);
  // A new FTP session for url: the old one ended, "Connect?" showing, the
  // preset user and password ("" for the URL's own or anonymous), Result 0,
  // and the log-on with the watchdog armed. Whether it logged on.
  bool FTPLogOn(const std::string& url, const std::string& user, const std::string& password);

  // The snapshots read for the current item (taken by the pick).
  const TItemSnapshot& Snapshot() const { return FSnapshot; }
  void TakeSnapshot() { FContext.Refresh(FSnapshot); }
  TJobContext& Context() { return FContext; }

 protected:
  void DoTerminate() override;

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
  // Counts the held item in JobTally by how it ended, as LogResult names
  // it. Caller holds JobLock.
  void EndHeldItem();

  TJobContext& FContext;
  TItemSnapshot FSnapshot;
  std::string FCurrentSite;      // URLSite of Current.URL; under JobLock
  bool FCurrentRobots = false;   // Current.URL names a robots.txt; under JobLock
  int FLastIndex = 0;            // queue index of the last item taken
  bool FLastPickFailed = false;  // the last PickNext took nothing
  bool FHolding = false;         // see HoldsItem; under JobLock
  // The queue node of the item taken last, holding the texts of the item
  // before: freed once JobLock is released.
  std::unique_ptr<TActiveDL> FSpentItem;
  std::atomic<int32_t> FShownRetries{0};
};

// The watchdog armed for the life of a scope: a blocking step of a fetch
// runs inside one, and every way out of the scope disarms it.
class TArmedWatchdog {
 public:
  explicit TArmedWatchdog(TVkThread& thread) : FThread(thread) { FThread.ArmWatchdog(); }
  ~TArmedWatchdog() { FThread.DisarmWatchdog(); }
  TArmedWatchdog(const TArmedWatchdog&) = delete;
  TArmedWatchdog& operator=(const TArmedWatchdog&) = delete;

 private:
  TVkThread& FThread;
};

}  // namespace qv
