#include "engine/vkthread.h"

#include <algorithm>
#include <ctime>
#include <string_view>
#include <utility>

#include "engine/cookielist.h"
#include "engine/dnlist.h"
#include "engine/idftpext.h"
#include "engine/idhttpext.h"
#include "engine/robots.h"
#include "engine/scantext.h"
#include "engine/threadtimer.h"
#include "engine/urladder.h"
#include "engine/vkftp.h"
#include "engine/vkhttp.h"
#include "model/strutils.h"
#include "model/tvurlutils.h"
#include "model/uriparser.h"
#include "model/vkfile.h"
#include "model/vkglobal.h"
#include "model/vkmime.h"
#include "model/vkurllist.h"
#include "model/weblocal.h"
#include "platform/httpdate.h"

namespace qv {

TSpinningMutex JobLock;
TDLList RetryList;
TJobTally JobTally;
std::set<std::string> VisitedList;
std::atomic<bool> RobotsObeyed{false};
std::atomic<int> MaxThreadsPerServer{5};
std::atomic<int> LeastHostCount{0};
TDroppedErrors JobDroppedErrors;

namespace {

TDNList* gHostList = nullptr;
TCookieList* gCookieList = nullptr;

// URLSite(url) == site, without parsing url: the site (lower-case scheme and
// network location) begins the URL and a byte that ends a network location,
// or the end, follows it.
bool SiteIs(const std::string& url, const std::string& site) {
  if (url.size() < site.size() || url.compare(0, site.size(), site) != 0) return false;
  if (url.size() == site.size()) return true;
  const char c = url[site.size()];
  return c == '/' || c == '?' || c == ';' || c == '#';
}

// An index of a queued item whose site is exactly `site`, or -1. The queue is
// sorted by URL, so such items begin with the site followed by the end of the
// URL or by the byte that ends a network location ("#", "/", ";", "?"): one
// binary search per such beginning finds them, and a longer host with the
// same beginning ("a.com.evil.org", "a.com:8080") is never taken for it.
// A hint (the index the thread's last item had) is tried first: the next
// item of the host usually sits there.
int IndexOfSite(TDLList& queue, const std::string& site, int hint, TActiveDL*& found) {
  if (site.empty() || queue.Count() == 0) return -1;
  for (int i : {hint, hint - 1}) {
    if (i < 0 || i >= queue.Count()) continue;
    TActiveDL& item = queue.Item(i);
    if (SiteIs(item.URL, site)) {
      found = &item;
      return i;
    }
  }
  std::string probe = site;
  for (const char* tail : {"/", "", "#", ";", "?"}) {
    probe.resize(site.size());
    probe += tail;
    int i = queue.IndexOfURL(probe);
    if (i < 0) i = ~i;
    if (i < queue.Count() && SiteIs(queue.Item(i).URL, site)) {
      found = &queue.Item(i);
      return i;
    }
  }
  return -1;
}

}  // namespace

namespace {
const char* const kRobotsName = "robots.txt";
}  // namespace

std::string BareType(const std::string& contentType) {
  return TrimBlanks(contentType.substr(0, contentType.find(';')));
}

bool TypeAccepted(const std::string& acceptTypes, const std::string& type) {
  if (acceptTypes.empty()) return true;
  const std::string accept = LowerCaseAscii(acceptTypes);
  for (size_t start = 0;;) {
    const size_t comma = accept.find(',', start);
    if (StrWildCard(type, accept.substr(start, comma - start), " ")) return true;
    if (comma == std::string::npos) return false;
    start = comma + 1;
  }
}

bool IsRobotsURL(const std::string& url) {
  return url.find(kRobotsName) != std::string::npos && URLFileName(url) == kRobotsName;
}

std::string HostOf(const std::string& url) {
  std::string netLoc = ParseURL(url).NetLoc;
  if (netLoc.compare(0, 2, "//") == 0) netLoc.erase(0, 2);
  return netLoc;
}

void TDroppedErrors::Note(const char* where, std::exception_ptr e) noexcept {
  FCount.fetch_add(1);
  try {
    std::string text = std::string(where) + ": " + FailureOf(e, 0).Text;
    std::lock_guard<std::mutex> g(FLock);
    FLast = std::move(text);
  } catch (...) {
    // Counted: the text is what a lack of memory costs.
  }
}

std::string TDroppedErrors::Last() const {
  std::lock_guard<std::mutex> g(FLock);
  return FLast;
}

void TDroppedErrors::Clear() {
  std::lock_guard<std::mutex> g(FLock);
  FCount = 0;
  FLast.clear();
}

void TVkThreadList::Remove(TVkThread* thread) {
  FItems.erase(std::remove(FItems.begin(), FItems.end(), thread), FItems.end());
}

TDNList* JobHostList() { return gHostList; }
TCookieList* JobCookieList() { return gCookieList; }

void StartJob(const TSettings& settings, TJobContext* context) {
  JobDroppedErrors.Clear();
  RobotsObeyed = !settings.EnterNoRobChk;
  MaxThreadsPerServer = settings.MaxThrServUD == 0 ? 5 : settings.MaxThrServUD;
  LeastHostCount = 0;
  JobTally.Stored = 0;
  JobTally.Failed = 0;
  JobTally.Skipped = 0;
  JobTally.Stopped = 0;
  CreatePools();
  if (!gHostList) gHostList = new TDNList;
  gHostList->ClearItems();
  if (!gCookieList) gCookieList = new TCookieList;
  gCookieList->ClearItems();
  if (settings.IECookChk) gCookieList->ImportBrowserCookies();
  {
    std::lock_guard<TSpinningMutex> g(JobLock);
    RetryList.Clear();
    VisitedList.clear();
  }
  if (context) {
    context->HostList = gHostList;
    context->Cookies = gCookieList;
  }
}

void FreeJobGlobals() {
  delete gHostList;
  gHostList = nullptr;
  delete gCookieList;
  gCookieList = nullptr;
}

bool MayStartThread(int runningThreads) {
  return runningThreads == 0 || LeastHostCount.load() < MaxThreadsPerServer.load();
}

// --- construction ---

TVkThread::TVkThread(TVkThreadList* threadList, TJobContext& context)
    : ThreadList(threadList), FContext(context) {
  try {
    Socket = TakeSocket(context.HostList);
    HTTP = TakeHTTP();
    HTTP->RedirectMaximum = 20;
    HTTP->OnConnected = [this](TIdTCPConnection* s) { HTTPConnected(s); };
    HTTP->OnWorkBegin = [this](TIdTCPConnection* s, TWorkMode m, int64_t n) {
      HTTPWorkBegin(s, m, n);
    };
    HTTP->OnWork = [this](TIdTCPConnection* s, TWorkMode m, int64_t n) { HTTPWork(s, m, n); };
    HTTP->OnStatus = [this](TIdTCPConnection* s, TIdStatus st, const std::string& t) {
      HTTPStatus(s, st, t);
    };
    FTP = TakeFTP();
    FTP->OnConnected = [this](TIdTCPConnection* s) { FTPConnected(s); };
    FTP->OnStatus = [this](TIdTCPConnection* s, TIdStatus st, const std::string& t) {
      FTPStatus(s, st, t);
    };
    FTP->OnWorkBegin = [this](TIdTCPConnection* s, TWorkMode m, int64_t n) {
      FTPWorkBegin(s, m, n);
    };
    FTP->OnWork = [this](TIdTCPConnection* s, TWorkMode m, int64_t n) { FTPWork(s, m, n); };
    FTP->OnChangeDir = [this](TIdFTPExt* s) { FTPChangeDir(s); };
    Watchdog = TakeTimer(Socket.get(), HTTP.get(), FTP.get());
    TimeOut = context.Settings->Get()->TimeOutUD;
    if (TimeOut == 0) TimeOut = 5;
  } catch (...) {
    ReturnPooled();
    throw;
  }
}

TVkThread::~TVkThread() {
  WaitFor();
  ReturnPooled();
}

void TVkThread::ReturnPooled() noexcept {
  // A pooled client keeps its handlers: unhook them, or the next thread's
  // transfers would call into this freed one.
  try {
    if (HTTP) {
      HTTP->OnConnected = nullptr;
      HTTP->OnWorkBegin = nullptr;
      HTTP->OnWork = nullptr;
      HTTP->OnStatus = nullptr;
    }
    if (FTP) {
      FTP->OnConnected = nullptr;
      FTP->OnStatus = nullptr;
      FTP->OnWorkBegin = nullptr;
      FTP->OnWork = nullptr;
      FTP->OnChangeDir = nullptr;
    }
    ReturnSocket(std::move(Socket));
    ReturnTimer(std::move(Watchdog));
    ReturnHTTP(std::move(HTTP));
    ReturnFTP(std::move(FTP));
  } catch (...) {
    JobDroppedErrors.Note("worker's pooled objects");
  }
}

void TVkThread::DoTerminate() {
  // The FTP session ends here, on the thread that owns it, rather than when
  // the pool takes the client back on the thread that frees this one. First,
  // since its events arm the watchdog.
  if (FTP) FTP->QuitExt();
  DisarmWatchdog();
  {
    // A thread that ends on its own (stopped, or its loop decided) frees a
    // place on its host that no pick has counted yet. After a failed pick
    // the count is right as it is: starting another thread would only see
    // the same full hosts.
    std::lock_guard<TSpinningMutex> g(JobLock);
    EndHeldItem();
    if (!FLastPickFailed) LeastHostCount = 0;
  }
  Finished = 1;
  if (FContext.Ended)
    FContext.Ended();
  else if (FContext.Wake)
    FContext.Wake();
}

// --- published texts ---

std::string TVkThread::GetURL() {
  std::lock_guard<TSpinningMutex> g(JobLock);
  return Current.URL;
}

void TVkThread::SetURL(const std::string& url) {
  std::lock_guard<TSpinningMutex> g(JobLock);
  Current.URL = url;
  NoteCurrentURL();
}

void TVkThread::NoteCurrentURL() {
  FCurrentSite = Current.URL.empty() ? std::string() : URLSite(Current.URL);
  FCurrentRobots = IsRobotsURL(Current.URL);
}

void TVkThread::SetStatusURL(const std::string& text) noexcept {
  std::lock_guard<std::mutex> g(StatusLock);
  try {
    StatusURL = text;
  } catch (...) {
    StatusURL.clear();
  }
}

std::string TVkThread::GetStatusURL() noexcept {
  std::lock_guard<std::mutex> g(StatusLock);
  try {
    return StatusURL;
  } catch (...) {
    return std::string();
  }
}

void TVkThread::SetActivity(std::string_view text) noexcept {
  // The worker sets the activity; the retries shown beside it are taken now.
  FShownRetries.store(Current.RetriesLeft, std::memory_order_relaxed);
  std::lock_guard<std::mutex> g(StatusLock);
  try {
    Activity.assign(text.data(), text.size());
  } catch (...) {
    Activity.clear();
  }
}

std::string TVkThread::GetActivity() noexcept {
  std::lock_guard<std::mutex> g(StatusLock);
  try {
    return Activity;
  } catch (...) {
    return std::string();
  }
}

void TVkThread::Publish(std::string_view activity) {
  SetActivity(activity);
  Changed = 1;
  if (FContext.Wake) FContext.Wake();
}

// --- watchdog ---

void TVkThread::ArmWatchdog() { Arm(*Watchdog, TimeOut); }

void TVkThread::DisarmWatchdog() {
  if (Watchdog) Watchdog->SetEnabled(false);
}

bool TVkThread::TimedOut() {
  if (Watchdog->Count.load() > 0) return false;
  Result = vrTimedOut;
  {
    std::lock_guard<std::mutex> g(StatusLock);
    static const std::string kPrefix = "Time out:";
    try {
      if (Activity.compare(0, kPrefix.size(), kPrefix) != 0) Activity = kPrefix + Activity;
    } catch (...) {
      Activity.clear();
    }
  }
  Changed = 1;
  return true;
}

void TVkThread::CheckWatchdog() {
  const int32_t c = Watchdog->Count.load();
  if (c == LastWatchdogCount || !Watchdog->Enabled()) return;
  if (!(SkipFlag || AbortFlag || Result == vrSizeFiltered || c <= 0)) return;
  LastWatchdogCount = c;
  CutConnection();
}

void TVkThread::CutConnection() {
  if (Socket->Active()) Socket->Close();
  if (HTTP->Busy) HTTP->DisconnectSocketExt();
  // Only a cut, as for HTTP: this runs on the user-interface thread, and a
  // QUIT from here would wait for the server's reply and race the worker's
  // next command. The worker's operation fails, and it ends the session
  // itself before its next log-on.
  if (FTP->Busy) FTP->DisconnectSocketExt();
}

// --- event handlers ---

void TVkThread::HTTPConnected(TIdTCPConnection*) {
  if (TimedOut()) return;
  Connected = 1;
  ArmWatchdog();
  Publish("Connected");
}

void TVkThread::HTTPStatus(TIdTCPConnection*, TIdStatus status, const std::string&) {
  if (TimedOut()) return;
  ArmWatchdog();
  // The grid says what the thread waits for: a dead host is told by the
  // step it hangs at.
  switch (status) {
    case hsResolving:
      Publish("Resolving");
      break;
    case hsConnecting:
      Publish("Connecting");
      break;
    case hsRequestSent:
      Publish("Awaiting answer");
      break;
    default:
      break;
  }
}

void TVkThread::HTTPWorkBegin(TIdTCPConnection*, TWorkMode mode, int64_t max) {
  if (mode != wmRead) return;
  BytesTotal = max + ResumeOffset;
  BytesReceived = 0;
  if (TimedOut()) return;
  // The checks judge the document: the body of a failure (a 404 page) is
  // never read, so it is never "Filtered".
  const bool document = HTTP->ResponseCode / 100 == 2;
  if (document && !HeaderChecks()) return;
  ArmWatchdog();
  Publish("Receiving");
  if (document) SizeFilter();
}

void TVkThread::HTTPWork(TIdTCPConnection*, TWorkMode mode, int64_t count) {
  if (mode != wmRead) return;
  BytesReceived = count + ResumeOffset;
  if (TimedOut()) return;
  if (Result == vrSizeFiltered) return;
  ArmWatchdog();
  Publish("Receiving");
  if (HTTP->ResponseCode / 100 == 2) SizeFilter();
  BodyReceived(count);
}

bool TVkThread::HeaderChecks() {
  const std::string lastModified = HTTP->RawHeaders.GetValue("Last-Modified");
  if (!StoredLastModified.empty() && !lastModified.empty() &&
      !StrWildCmpi(StoredLastModified, lastModified, " ")) {
    HTTP->DisconnectExt();
    Result = vrFailed;
    HTTP->ResponseCode = -412;
    Publish("Modified");
    return false;
  }
  if (!AcceptTypes.empty()) {
    const std::string type = LowerCaseAscii(BareType(HTTP->RawHeaders.GetValue("Content-Type")));
    if (!type.empty() && !TypeAccepted(AcceptTypes, type) && !TakesRefusedBody(type)) {
      HTTP->DisconnectExt();
      Result = vrFailed;
      HTTP->ResponseCode = -406;
      Publish("Filtered");
      return false;
    }
  }
  return true;
}

bool TVkThread::FiltersBySize() const {
  if (Kind == kSpider) return false;
  const auto filter = FSnapshot.ViewFilter  ? FSnapshot.ViewFilter
                      : FContext.ViewFilter ? FContext.ViewFilter->Get()
                                            : nullptr;
  return filter && (filter->MinSize() > 0 || filter->MaxSize() > 0);
}

void TVkThread::SizeFilter() {
  const int64_t total = BytesTotal;
  if (Kind == kSpider || total <= 0 || Result == vrSizeFiltered) return;
  // The filter is for the files a job keeps; a robots.txt is read for its
  // rules whatever its size.
  if (IsRobotsURL(Current.URL)) return;
  const auto filter = FSnapshot.ViewFilter ? FSnapshot.ViewFilter : FContext.ViewFilter->Get();
  const int64_t min = filter->MinSize();
  const int64_t max = filter->MaxSize();
  if (total < min || (max > 0 && total > max)) {
    Result = vrSizeFiltered;
    Publish("Size filtered");
    // Cut now: waiting for the watchdog's next tick would fetch up to a
    // second more of a body nobody keeps.
    HTTP->DisconnectExt();
  }
}

void TVkThread::FTPConnected(TIdTCPConnection*) {
  if (TimedOut()) return;
  Changed = 1;
  ArmWatchdog();
}

void TVkThread::FTPStatus(TIdTCPConnection*, TIdStatus, const std::string&) {
  if (TimedOut()) return;
  ArmWatchdog();
}

void TVkThread::FTPWorkBegin(TIdTCPConnection*, TWorkMode, int64_t) {
  if (TimedOut()) return;
  ArmWatchdog();
  Publish("Receiving");
}

void TVkThread::FTPWork(TIdTCPConnection*, TWorkMode, int64_t count) {
  if (TimedOut()) return;
  ArmWatchdog();
  BytesReceived = count + ResumeOffset;
  Publish("Receiving");
}

void TVkThread::FTPChangeDir(TIdFTPExt*) {
  if (TimedOut()) return;
  ArmWatchdog();
}

// --- queue ---

int TVkThread::CountHostThreads(const std::string& url) { return CountSiteThreads(URLSite(url)); }

int TVkThread::CountSiteThreads(const std::string& site) {
  const bool robots = RobotsObeyed;
  int n = 0;
  for (int i = 0; i < ThreadList->Count(); ++i) {
    const TVkThread* t = ThreadList->Get(i);
    // JobLock is held: the cached site is the current URL's.
    if (t->FCurrentSite.empty() || t->FCurrentSite != site) continue;
    if (robots && t->FCurrentRobots) return 1000;
    ++n;
  }
  return n;
}

void TVkThread::EndHeldItem() {
  if (!FHolding) return;
  FHolding = false;
  const int8_t r = Result;
  if (SkipFlag || r == vrNoRobots || r == vrSizeFiltered || r == vrOffSite)
    ++JobTally.Skipped;
  else if (AbortFlag)
    ++JobTally.Stopped;
  else if (r == vrSucceeded)
    ++JobTally.Stored;
  else
    ++JobTally.Failed;
}

bool TVkThread::PickNext(bool addVisited) {
  // The item before has ended: it was not put back or up for a retry.
  EndHeldItem();
  std::string previousSite = std::move(FCurrentSite);
  FCurrentSite.clear();
  Current.URL.clear();
  FCurrentRobots = false;
  FLastPickFailed = true;
  bool refilled = false;
  if (Queue->Count() == 0) {
    // The host list stays as it is: a host that could not be reached costs
    // one time-out in the job, not one more with every round of retries.
    Queue->Merge(RetryList);
    RetryList.Clear();
    refilled = true;
  }
  if (Queue->Count() == 0) return false;

  // A thread stays on its host without a limit test, and then the walk over
  // the host runs could change nothing but LeastHostCount, at a cost that
  // grows with the threads, all of it under JobLock. So the walk runs only
  // when the thread looks for a host; LeastHostCount stays right because
  // every change that could lower it walks or lowers it itself: a thread
  // leaving its host walks, one ending sets it to 0, a put-back item lowers
  // it to its host's count, refilling the queue from the retry list walks
  // (and the thread still stays on its host after it).
  TActiveDL* stayItem = nullptr;
  const int stay = IndexOfSite(*Queue, previousSite, FLastIndex, stayItem);
  int best = stay;
  if (stay < 0 || refilled) {
    int least = 1000;
    int walked = -1;
    Queue->ForEachHostRun([&](const TActiveDL&, int index, const std::string& site) {
      const int n = CountSiteThreads(site);
      if (n < least) {
        walked = index;
        least = n;
      }
      return n != 0;
    });
    LeastHostCount = least;
    if (stay < 0) {
      if (least >= MaxThreadsPerServer) return false;
      best = walked;
    }
  }

  TActiveDL& item = best == stay ? *stayItem : Queue->Item(best);
  const std::string& base = item.SiteBase.empty() ? item.URL : item.SiteBase;
  std::string site;
  bool robotsFirst = false;
  if (RobotsObeyed && FContext.Robots && IsWebURL(item.URL)) {
    // A base beginning with the last item's site has that site: no parse.
    site = SiteIs(base, previousSite) && previousSite.find("//") != std::string::npos
               ? previousSite
               : URLSite(base);
    robotsFirst = !FContext.Robots->HasSite(site);
  }
  if (robotsFirst) {
    Current.URL = site + "/robots.txt";
    Current.ParentURL = item.ParentURL;
    Current.ClientText = item.ClientText;
    Current.SiteMode = 0;
    Current.Depth = 0;
    Current.RetriesLeft = 0;
    Current.SiteBase = Current.URL;
  } else {
    // The item moves into Current without a copy; the node it leaves, with
    // the last item's texts, is freed once JobLock is released.
    FSpentItem = Queue->Extract(best);
    Current = std::move(*FSpentItem);
    if (Current.SiteBase.empty()) Current.SiteBase.assign(Current.URL);
    if (addVisited) VisitedList.insert(Current.URL);
    FLastIndex = best;
    FHolding = true;
  }
  // An item found by its site (staying on the host) has that site.
  if ((best == stay && !robotsFirst) || SiteIs(Current.URL, previousSite)) {
    FCurrentSite = std::move(previousSite);  // staying on the host: the same site
    FCurrentRobots = IsRobotsURL(Current.URL);
  } else {
    NoteCurrentURL();
  }
  FLastPickFailed = false;
  return true;
}

bool TVkThread::PickNextLocked(bool addVisited) {
  bool taken;
  {
    std::lock_guard<TSpinningMutex> g(JobLock);
    taken = PickNext(addVisited);
  }
  // What needs no queue is done after the lock every worker shares.
  FSpentItem.reset();
  if (!taken) return false;
  Result = vrNone;
  BytesReceived = 0;
  BytesTotal = 0;
  Publish("");
  TakeSnapshot();
  return true;
}

void TVkThread::PutBack(const TActiveDL& item) {
  std::lock_guard<TSpinningMutex> g(JobLock);
  if (&item == &Current) FHolding = false;
  Queue->Add(item, false);
  const int n = CountSiteThreads(URLSite(item.URL));
  if (n < LeastHostCount) LeastHostCount = n;
}

bool TVkThread::PutBackIfNotVisited(const TActiveDL& item) {
  std::lock_guard<TSpinningMutex> g(JobLock);
  if (VisitedList.count(item.URL) != 0) return false;
  PutBack(item);
  return true;
}

bool TVkThread::ClaimUnvisited(const std::string& url) {
  std::lock_guard<TSpinningMutex> g(JobLock);
  if (!VisitedList.insert(url).second) return false;
  const int i = Queue->IndexOfURL(url);
  if (i >= 0) Queue->Delete(i);
  return true;
}

void TVkThread::PutToRetry(const TActiveDL& item) {
  std::lock_guard<TSpinningMutex> g(JobLock);
  if (&item == &Current) FHolding = false;
  RetryList.Add(item, false);
}

// --- results ---

void TVkThread::SettleResult(bool fetched) {
  const int8_t r = Result;
  if (r == vrSizeFiltered) return;
  Result = fetched && !SkipFlag && !AbortFlag && r != vrFailed ? vrSucceeded : vrFailed;
}

bool TVkThread::MayRetry() const {
  const int8_t r = Result;
  return r != vrSucceeded && r != vrUnsupported && r != vrSizeFiltered;
}

void TVkThread::LogResult(const std::string& url, int64_t size, const std::string& headers,
                          const std::string& statusText, int32_t code,
                          const TFetchFailure& failure) {
  // Built in the node the master list keeps when the URL is new.
  auto record = std::make_unique<TVkURLItem>();
  TVkURLItem& item = *record;
  item.URL = url;
  item.Size = SaturateSize32(size);
  if (!headers.empty()) item.ContentType = BareType(GetHeaderField(headers, "Content-Type"));

  const bool robotsFile = IsRobotsURL(url);
  const char* activity = "Failed";
  // Most texts are fixed: they are pointed at, and copied once, into the
  // record, rather than built as a string for every item.
  std::string_view details = "Failure of unknown cause";
  std::string reason;
  uint8_t status = usFailed;
  const int8_t result = Result;
  if (SkipFlag) {
    activity = "Skipped";
    details = "Skipped by user";
  } else if (AbortFlag) {
    activity = "Aborted";
    details = "Aborted by user";
  } else {
    switch (result) {
      case vrNone:
      case vrFailed:
        if (!statusText.empty()) {
          details = statusText;
        } else if (!failure.Text.empty()) {
          details = failure.Text;
        }
        break;
      case vrSucceeded:
        activity = "Succeeded";
        details = statusText;
        status = InfoOnly && !robotsFile ? usInfoRetrieved : usDownloaded;
        break;
      case vrTimedOut:
        activity = "Timed out";
        details = "Timed out";
        break;
      case vrWriteError:
        activity = "File write error";
        details = "Could not create local file";
        break;
      case vrSizeFiltered:
        activity = "Size filtered";
        details = "Size filtered";
        break;
      case vrUnreachable:
        activity = "Unreachable";
        details = "Host unreachable";
        break;
      case vrInvalidHost:
        activity = "Invalid host";
        details = "Host invalid";
        break;
      case vrOffSite:
        activity = "Off site";
        details = "Off site";
        break;
      case vrNoRobots:
        activity = "No robots";
        details = "Robot keep out zone";
        if (!statusText.empty()) details = reason = "Robot keep out zone: " + statusText;
        break;
      case vrRedirecting:
        activity = "Redirecting";
        details = statusText;
        break;
      case vrNoConnection:
        activity = "Failed connection";
        details = "Failed to connect";
        break;
      default:
        break;
    }
  }
  item.SetStatus(status);
  item.Details.assign(details.data(), details.size());
  Publish(activity);

  if (RobotsObeyed && robotsFile && FContext.Robots && !AbortFlag) {
    // Whatever came of it, the site's robots.txt has had its try: otherwise
    // the pick would queue the same robots.txt fetch for ever. A body that
    // came (stored or not) is read by the caller.
    const std::string site = URLSite(url);
    FContext.Robots->AddSite(site);
    const bool came = result == vrSucceeded || (result == vrWriteError && code / 100 == 2);
    if (!came && RobotsTxtUnreachable(code)) {
      // The URLs kept out say what became of the file, which is the cause.
      FContext.Robots->KeepOutSite(site,
                                   std::string(kRobotsUnreachable) + " (" + item.Details + ")");
      item.Details += "; ";
      item.Details += kRobotsUnreachable;
      item.Details += ", site kept out";
    }
  }
  FContext.Adder->AddURLItemLocked(1, std::move(record));
}

std::string TVkThread::ListedAddress(const std::string& url) {
  return FContext.Adder ? FContext.Adder->ListedURL(url) : url;
}

std::string TVkThread::HTTPDetails(int32_t code, const TFetchFailure& failure) const {
  const int8_t r = Result;
  if ((r == vrFailed || r == vrNone) && failure.Failed() && !failure.OnStatus() &&
      failure.Code == code && !failure.Text.empty())
    return failure.Text;
  return HttpStatusText(code);
}

bool TVkThread::StoredCopyIsCurrent(const std::string& url, const std::string& cachedHeaders) {
  const std::string& root = FSnapshot.LocalWebDir;
  const std::string stored = URLToLocalPath(root, url, "Data", "");
  if (stored.empty() || !LockedFileExists(stored)) return false;
  const std::string storedDate = TrimBlanks(
      GetHeaderField(LockedReadFile(URLToLocalPath(root, url, "Head", ".txt")), "Last-Modified"));
  const std::string cachedDate = TrimBlanks(GetHeaderField(cachedHeaders, "Last-Modified"));
  std::time_t cached = 0, storedTime = 0;
  return !(ParseHttpDate(cachedDate, cached) && ParseHttpDate(storedDate, storedTime) &&
           cached > storedTime);
}

std::string TVkThread::FTPRefusalText() const {
  const int32_t code = FTP ? FTP->ReplyCode : 0;
  return code >= 400 ? FtpReplyText(code) : std::string();
}

void TVkThread::FinishItem(const std::string& headers, const std::string& body, int64_t size,
                           int32_t code, bool saveBody, const TFetchFailure& failure) {
  const std::string url = Current.URL;
  FinishItemAt(url, headers, body, size, code, saveBody, failure);
}

void TVkThread::FinishItemAt(const std::string& url, const std::string& headers,
                             const std::string& body, int64_t size, int32_t code, bool saveBody,
                             const TFetchFailure& failure) {
  // A copy from the cache that is no newer than the stored one is the same
  // document: the stored copy (localised since, perhaps) and its headers
  // stay as they are, their times too.
  const bool keep = code == -2 && saveBody && StoredCopyIsCurrent(url, headers);
  if (!keep && (code == 200 || !headers.empty())) {
    const std::string& root = FSnapshot.LocalWebDir;
    // The extension follows the headers being stored, so a copy taken from
    // the cache is named by its own content type.
    const std::string ext =
        ExtForMimeType(BareType(GetHeaderField(headers, "Content-Type")), SplitURLPath(url).Ext);
    const std::string path = URLToLocalPath(root, url, "Data", ext);
    if (code != 200 && body.empty()) {
      if (!path.empty() && !LockedFileExists(path))
        SaveLocalCopy(root, "Head", url, headers, ".txt");
    } else if (path.empty()) {
      Result = vrWriteError;
    } else if (saveBody && !SaveLocalCopy(root, "Data", url, body, ext)) {
      // The headers stay those of the body that stays: newer headers beside
      // an older body would have the next conditional request keep it.
      Result = vrWriteError;
    } else {
      SaveLocalCopy(root, "Head", url, headers, ".txt");
    }
  }
  LogResult(url, size, headers, HTTPDetails(code, failure), code, failure);
  if (RobotsObeyed && IsRobotsURL(url) && FContext.Robots && !body.empty()) {
    const std::string agent = UserAgentText(FSnapshot.Settings ? FSnapshot.Settings->UserAgEd : "");
    FContext.Robots->ParseRobotsTxt(URLSite(url), body, agent);
  }
}

}  // namespace qv
