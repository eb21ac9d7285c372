#include "engine/downloadform.h"

#include <algorithm>
#include <chrono>
#include <mutex>
#include <optional>
#include <thread>

#include "engine/dlthread.h"
#include "engine/localisepass.h"
#include "engine/spiderthread.h"
#include "engine/threadtimer.h"
#include "engine/urladder.h"
#include "engine/vkthread.h"
#include "model/settings.h"
#include "model/uriparser.h"
#include "model/viewfilter.h"
#include "model/vkglobal.h"
#include "model/vkurllist.h"
#include "platform/progfolder.h"

namespace qv {

const char* const TDownloadFrm::kHeadings[6] = {
    "Download threads", "Bytes recieved", "Bytes total", "Status", "TimeOut", "Retries Left."};
const int TDownloadFrm::kColumnWidths[6] = {281, 76, 64, 64, 57, 66};

namespace {

std::string FreeMegs(const TDiskSpace& s) {
  return std::to_string(s.Valid ? s.FreeBytes / 1048575 : 0) + " Meg.";
}

}  // namespace

TDownloadFrm::TDownloadFrm(TUiLoop& loop, TJobContext& context, TPrompter& prompter,
                           TProgressSink& msgWindow)
    : FLoop(loop),
      FContext(context),
      FPrompter(&prompter),
      FMsg(msgWindow),
      FWakePosted(std::make_shared<std::atomic<bool>>(false)),
      FAlive(std::make_shared<std::atomic<bool>>(true)) {
  Grid.assign(2, std::vector<std::string>(6));
  for (int c = 0; c < 6; ++c) Grid[0][static_cast<size_t>(c)] = kHeadings[c];
  FContext.Wake = [this] { Wake(); };
  FContext.Ended = [this] { Ended(); };
}

TDownloadFrm::~TDownloadFrm() {
  *FAlive = false;
  DrainThreads();
  FContext.Wake = nullptr;
  FContext.Ended = nullptr;
  FreeJobGlobals();
}

void TDownloadFrm::Wake() {
  // One wake stands until the loop's next pass takes it: the wakes between
  // neither post nor rouse the user-interface thread, which a wake per
  // finished item kept busy with nothing but going back to sleep.
  if (FWakePosted->exchange(true)) return;
  FLoop.Post([this, alive = FAlive] {
    if (!alive->load()) return;
    FWoken = true;
    ++Stats.Wakes;
  });
}

void TDownloadFrm::Ended() {
  // Past a standing wake: the loop may be sitting out the gap with no other
  // post to come, and the thread's end must not wait for it.
  FLoop.Post([this, alive = FAlive] {
    if (!alive->load()) return;
    FWoken = true;
  });
}

void TDownloadFrm::Controls() {
  if (FView) FView->ControlsChanged();
}

std::unique_ptr<TVkThread> TDownloadFrm::MakeWorker(uint8_t kind, TVkThreadList& threads,
                                                    TJobContext& context, bool infoOnly,
                                                    TDLList& queue) {
  if (kind == TVkThread::kDownload)
    return std::make_unique<TDLThread>(&threads, context, infoOnly, &queue);
  return std::make_unique<TSpiderThread>(&threads, context, &queue);
}

// --- the two jobs ---

bool TDownloadFrm::DownloadFiles(bool infoOnly) { return RunJob(0, infoOnly); }

bool TDownloadFrm::ExtractURLs() { return RunJob(1, false); }

bool TDownloadFrm::RunJob(uint8_t kind, bool infoOnly) {
  if (Visible) {
    if (FView) FView->BringToFront();
    return false;
  }
  if (MessageWindowShowing && MessageWindowShowing()) {
    if (MessageWindowToFront) MessageWindowToFront();
    return false;
  }
  // The job runs on the settings and the mirror folder it started with. The
  // main window stays usable while a job runs, and a change made there (a
  // new mirror folder above all) waits for the next job instead of sending
  // the rest of this one, and its localising pass, somewhere else.
  TPublished<TSettings> jobSettings;
  jobSettings.Publish(FContext.Settings->Get());
  const std::string jobDir = FContext.LocalWebDir ? FContext.LocalWebDir() : GetLocalWebDir();
  struct TRestore {
    TJobContext& Context;
    const TPublished<TSettings>* Settings;
    std::function<std::string()> LocalWebDir;
    ~TRestore() {
      Context.Settings = Settings;
      Context.LocalWebDir = std::move(LocalWebDir);
    }
  } restore{FContext, FContext.Settings, FContext.LocalWebDir};
  FContext.Settings = &jobSettings;
  FContext.LocalWebDir = [jobDir] { return jobDir; };

  JobKind = kind;
  LastJob = {};
  ItemsDone = ItemsQueued = 0;
  Caption = kind == 0 ? "Downloading files:" : "Extracting URLs:";
  MayClose = 0;
  Visible = true;
  Stats = {};
  JobDroppedErrors.Clear();
  FLowDiskAsked.clear();
  if (FView) FView->ShowForm();
  Controls();
  auto endJob = [this] {
    LockControls(false);
    MayClose = 1;
    Visible = false;
    if (FView) FView->CloseForm();
    Controls();
  };
  try {
    LockControls(true);
    if (kind == 0) {
      if (!BuildDownloadQueue()) {
        endJob();
        return false;
      }
    } else {
      BuildSpiderQueue();
    }
    StartJob(*FContext.Settings->Get(), &FContext);
    TDLList& queue = kind == 0 ? DownloadQueue : SpiderQueue;
    while (!GuardedJobLoop(queue, kind == 0 && infoOnly)) {
      // A stop the user asked for ends the job even when the link dropped
      // meanwhile: dialling again would go against the Stop.
      if (StopFlag) break;
      if (!DialUp.IsConnected || DialUp.IsConnected()) break;
      ++Stats.Redials;
      if (!DialUp.EnsureConnected || !DialUp.EnsureConnected(true)) break;
      if (DialUp.AutoDisconnect) AutoDisChk = DialUp.AutoDisconnect();
      Controls();
    }
    LastJob.Ran = true;
    LastJob.Kind = kind;
    LastJob.InfoOnly = kind == 0 && infoOnly;
    LastJob.Stopped = StopFlag != 0;
    LastJob.Stored = JobTally.Stored;
    LastJob.Failed = JobTally.Failed;
    LastJob.Skipped = JobTally.Skipped;
    std::lock_guard<TSpinningMutex> g(JobLock);
    LastJob.Left = queue.Count() + RetryList.Count() + JobTally.Stopped;
  } catch (const std::exception&) {
    JobDroppedErrors.Note("job");
  }
  endJob();
  if (LocRefsChk && Localise) {
    try {
      Localise(jobDir);
    } catch (const std::exception&) {
      JobDroppedErrors.Note("localising");
    }
  }
  ReportDroppedErrors();
  return true;
}

void TDownloadFrm::ReportDroppedErrors() {
  Stats.DroppedErrors = JobDroppedErrors.Count();
  if (Stats.DroppedErrors == 0) return;
  LastJob.DroppedErrors = DroppedErrorsText(Stats.DroppedErrors, JobDroppedErrors.Last());
  // After the workers' last texts in the outbox: it is the one left showing.
  if (!LastJob.Ran && FContext.Adder) FContext.Adder->Outbox().AddStatusText(LastJob.DroppedErrors);
}

std::string DroppedErrorsText(int count, const std::string& last) {
  return "Errors passed over: " + std::to_string(count) + " (the last, " + last + ").";
}

bool TDownloadFrm::CanStartOperation(bool blocksExtract, bool blocksDownload) {
  if (!Visible) return true;
  if (JobKind == 0 && !blocksDownload) return true;
  if (JobKind == 1 && !blocksExtract) return true;
  if (FView) FView->BringToFront();
  if (FPrompter->Ask(kStopJobQuestion, TMsgKind::Warning, TMsgButtons::YesNo) == TMsgAnswer::Yes)
    AbortBtnClick();
  return false;
}

void TDownloadFrm::LockControls(bool start) {
  if (start) {
    StopFlag = 0;
    LocRefsChk = true;
    AutoDisChk = false;
    SkipBtnEnabled = true;
    CancelBtnEnabled = true;
  } else {
    if (AutoDisChk && DialUp.HangUpAll) DialUp.HangUpAll();
    SkipBtnEnabled = false;
    CancelBtnEnabled = false;
  }
  Controls();
}

// --- queues ---

bool TDownloadFrm::BuildDownloadQueue() {
  {
    std::lock_guard<TSpinningMutex> g(JobLock);
    DownloadQueue.Clear();
  }
  FMsg.SetCaption("Adding files to queue:");
  if (!FMsg.ShowText("")) return false;
  const auto settings = FContext.Settings->Get();
  const auto viewFilter = FContext.ViewFilter->Get();
  const auto mimeFilter = FContext.MimeFilter->Get();
  // Collected aside and sorted once: the list's keys and the queue's order
  // differ (a trailing "/" counts for one, not for the other), so appending
  // in list order could leave the queue out of order and its searches blind.
  std::vector<TActiveDL> items;
  // A batch of 100 records remembers the mirror folders it found missing:
  // the first job on a freshly loaded project checks every record against
  // the mirror. No body can appear while the queue is built, and the memo
  // ends where messages run.
  std::optional<TStatusRefreshRun> refreshes;
  for (int i = 0;; ++i) {
    if (i % 100 == 0) {
      refreshes.reset();
      int n = 0;
      {
        std::lock_guard<TCriticalSection> g(*URLListLock);
        n = GlobalURLList->Count();
      }
      // The count is read again at every step: the progress point lets
      // other commands run, and they may change the list.
      if (!FMsg.UpdateText("\n\nChecking file: " + std::to_string(i) + " of " + std::to_string(n) +
                           "\n\nFiles selected for download: " + std::to_string(items.size()))) {
        FMsg.HideMsg();
        return false;
      }
      refreshes.emplace();
    }
    std::lock_guard<TCriticalSection> g(*URLListLock);
    if (i >= GlobalURLList->Count()) break;
    TVkURLItem& r = *GlobalURLList->GetItem(i);
    if (IsRobotsURL(r.URL)) continue;
    const uint8_t status = r.GetStatus();
    if (status == usNotAFile || (status == usDownloaded && settings->NeverDLChk)) continue;
    if (!IsFetchableURL(r.URL)) continue;
    // An FTP folder is the extract job's to list (its record says how that
    // went): a download has no file to fetch there.
    if (HasURLScheme(r.URL, "ftp:") && URLFileName(r.URL).empty()) continue;
    if (!URLPassesFilters(*viewFilter, *mimeFilter, r)) continue;
    TActiveDL d;
    d.URL = r.URL;
    d.SiteBase = r.URL;
    d.ParentURL = r.ParentURL;
    d.Origin = 1;
    d.RetriesLeft = settings->DLRetriesUD;
    d.KnownSize = r.Size;
    items.push_back(std::move(d));
  }
  std::stable_sort(items.begin(), items.end(),
                   [](const TActiveDL& a, const TActiveDL& b) { return a.URL < b.URL; });
  {
    std::lock_guard<TSpinningMutex> g(JobLock);
    for (size_t k = 0; k < items.size(); ++k)
      if (k == 0 || items[k].URL != items[k - 1].URL) DownloadQueue.Add(items[k], true);
  }
  FMsg.HideMsg();
  return true;
}

void TDownloadFrm::BuildSpiderQueue() {
  const auto settings = FContext.Settings->Get();
  static const std::vector<TAtrRow> kNone;
  const std::vector<TAtrRow>& rows = RootURLs ? *RootURLs : kNone;
  std::lock_guard<TSpinningMutex> g(JobLock);
  SpiderQueue.Clear();
  for (const TAtrRow& row : rows) {
    const uint8_t scope = AttrByte(row.Attr, 0);
    if (scope == 3 || !IsFetchableURL(row.Text)) continue;
    TActiveDL d;
    d.URL = row.Text;
    d.SiteMode = scope;
    d.Depth = AttrByte(row.Attr, 1);
    d.RetriesLeft = settings->DLRetriesUD;
    d.Origin = 1;
    SpiderQueue.Add(d, false);
  }
}

void TDownloadFrm::LocaliseSavedPages(const std::string& dir) {
  // A long page lets the window take a close request while it is rewritten;
  // the URL shown is cut to the window's width.
  const TLocaliseSummary s = LocaliseListReferences(
      *GlobalURLList, dir, FMsg, [this] { FLoop.ProcessMessages(); },
      [this](const std::string& url) { return FMsg.FitText(url); });
  // The runner may run unattended: a status text says what a question would
  // have, and waits for no one. It comes after the workers' last texts in
  // the outbox, so it is the one left showing.
  if (s.Failed == 0) return;
  LastJob.LocaliseFailures = LocaliseFailureText(s);
  if (FContext.Adder) FContext.Adder->Outbox().AddStatusText(LastJob.LocaliseFailures);
}

int TDownloadFrm::QueueCount(TDLList& queue) {
  std::lock_guard<TSpinningMutex> g(JobLock);
  return queue.Count();
}

void TDownloadFrm::UpdateProgress(TDLList& queue) {
  int held = 0;
  {
    std::lock_guard<TSpinningMutex> g(JobLock);
    held = queue.Count() + RetryList.Count();
    for (int i = 0; i < Threads.Count(); ++i)
      if (Threads.Get(i)->HoldsItem()) ++held;
  }
  const int done = JobTally.Done();
  if (done == ItemsDone && done + held == ItemsQueued) return;
  ItemsDone = done;
  ItemsQueued = done + held;
  Controls();
}

std::string TDownloadFrm::JobEndText() const {
  if (!LastJob.Ran) return "";
  const char* job = LastJob.Kind == 1  ? "Quick mirror"
                    : LastJob.InfoOnly ? "Info. only"
                                       : "Download";
  std::string text =
      std::string(job) + (LastJob.Stopped ? " stopped: " : " finished: ") +
      std::to_string(LastJob.Stored) + (LastJob.InfoOnly ? " checked, " : " stored, ") +
      std::to_string(LastJob.Failed) + " failed, " + std::to_string(LastJob.Skipped) + " skipped";
  if (LastJob.Left > 0) text += ", " + std::to_string(LastJob.Left) + " left";
  text += ".";
  // Every item that ended without success is recorded with the failed
  // status, which that view shows alone. Short: the status bar is one line
  // of the main window's width.
  if (LastJob.Failed + LastJob.Skipped > 0)
    text += " See them: Filters, \"Failed files\" = \"Only\".";
  if (!LastJob.LocaliseFailures.empty()) text += " " + LastJob.LocaliseFailures;
  if (!LastJob.DroppedErrors.empty()) text += " " + LastJob.DroppedErrors;
  return text;
}

// --- the loop ---

bool TDownloadFrm::GuardedJobLoop(TDLList& queue, bool infoOnly) {
  try {
    return RunJobLoop(queue, infoOnly);
  } catch (...) {
    // No thread may outlive the job: the next job's start clears the lists
    // they walk.
    Stats.Exception = true;
    JobDroppedErrors.Note("job loop");
    DrainThreads();
    RefreshThreadGrid();
    return true;
  }
}

bool TDownloadFrm::RunJobLoop(TDLList& queue, bool infoOnly) {
  LeastHostCount = 0;
  FDiskChecked = false;
  const auto settings = FContext.Settings->Get();
  const int maxThreads = settings->MaxThreadsUD > 0 ? settings->MaxThreadsUD : 5;
  const uint8_t kind = &queue == &DownloadQueue ? TVkThread::kDownload : TVkThread::kSpider;
  bool linkDown = false;
  FPaceOpen = true;
  FUrgent = false;
  FGapOver = true;
  FWakePosted->store(false);
  for (;;) {
    const int waiting = QueueCount(queue);
    if (waiting == 0 && Threads.Count() == 0) break;
    ++Stats.Passes;
    CheckDiskSpace(waiting);
    UpdateProgress(queue);
    FLoop.ProcessMessages();
    bool refresh = false;
    if (linkDown || StopFlag) {
      if (Threads.Count() == 0) {
        StopPassGap();
        UpdateProgress(queue);
        RefreshThreadGrid();
        return !linkDown;
      }
      if (StopFlag) StopAll();
    } else if (waiting > 0 && FPaceOpen && Threads.Count() < maxThreads &&
               MayStartThread(Threads.Count()) && ThreadFactory) {
      try {
        std::unique_ptr<TVkThread> made = ThreadFactory(kind, Threads, FContext, infoOnly, queue);
        TVkThread* t = made.get();
        {
          std::lock_guard<TSpinningMutex> g(JobLock);
          Threads.Add(t);
        }
        FOwned.push_back(std::move(made));
        try {
          t->Resume();
        } catch (...) {
          FreeThread(Threads.Count() - 1);
          throw;
        }
        ++Stats.ThreadsStarted;
        refresh = true;
      } catch (const std::exception&) {
        JobDroppedErrors.Note("thread start");
      }
      // Paced whether or not the start worked, so a thread that cannot be
      // made is not tried again in a tight loop.
      FPaceOpen = false;
      FPaceTimer = FLoop.StartTimer(kThreadStartPaceMs, [this, alive = FAlive] {
        if (!alive->load()) return;
        FPaceOpen = true;
        FWoken = true;
        FUrgent = true;
      });
    }
    for (int i = 0; i < Threads.Count();) {
      TVkThread* t = Threads.Get(i);
      t->CheckWatchdog();
      if (t->Finished) {
        t->WaitFor();
        FreeThread(i);
        refresh = true;
        if (DialUp.IsConnected && !DialUp.IsConnected()) linkDown = true;
        continue;
      }
      if (t->Changed || (t->Watchdog && t->Watchdog->Fired)) {
        t->Changed = 0;
        if (t->Watchdog) t->Watchdog->Fired = 0;
        refresh = true;
      }
      ++i;
    }
    if (refresh) RefreshThreadGrid();
    if (OnPass) OnPass();
    // Go round at once when a thread could start now, or when the last
    // thread is gone and the job ends (no worker is left to wake the loop:
    // it would sit out a whole tick). Otherwise sleep until a worker wakes
    // the loop, the start pacing ends or the watchdog ticks.
    const int left = QueueCount(queue);
    const bool canStart = !linkDown && !StopFlag && FPaceOpen && left > 0 &&
                          Threads.Count() < maxThreads && MayStartThread(Threads.Count());
    const bool ends = Threads.Count() == 0 && (left == 0 || linkDown || StopFlag);
    if (!canStart && !ends) WaitForEvent();
  }
  StopPassGap();
  UpdateProgress(queue);
  RefreshThreadGrid();
  return true;
}

void TDownloadFrm::WaitForEvent() {
  if (!FUrgent && !(FWoken && (FGapOver || AnyThreadFinished()))) {
    FTicked = false;
    const int tick = FLoop.StartTimer(kWatchdogTickMs, [this, alive = FAlive] {
      if (!alive->load()) return;
      FTicked = true;
      ++Stats.Ticks;
    });
    // A thread that ended ends the gap: its place is free for another, or
    // the job is over, and either is seen at once.
    FLoop.RunUntil(
        [this] { return FUrgent || FTicked || (FWoken && (FGapOver || AnyThreadFinished())); });
    FLoop.StopTimer(tick);
  }
  // Cleared before the pass reads the threads' state: a change made after
  // this posts a new wake.
  FWakePosted->store(false);
  FWoken = false;
  FUrgent = false;
  StopPassGap();
  FGapOver = false;
  FGapTimer = FLoop.StartTimer(kPassGapMs, [this, alive = FAlive] {
    if (!alive->load()) return;
    FGapOver = true;
  });
}

bool TDownloadFrm::AnyThreadFinished() {
  for (int i = 0; i < Threads.Count(); ++i)
    if (Threads.Get(i)->Finished) return true;
  return false;
}

void TDownloadFrm::StopPassGap() {
  if (FGapTimer) FLoop.StopTimer(FGapTimer);
  FGapTimer = 0;
  FGapOver = true;
}

void TDownloadFrm::StopAll() {
  for (int i = 0; i < Threads.Count(); ++i) Threads.Get(i)->Stop();
}

void TDownloadFrm::FreeThread(int index) {
  TVkThread* t = Threads.Get(index);
  std::unique_ptr<TVkThread> owned;
  auto it = std::find_if(FOwned.begin(), FOwned.end(),
                         [t](const std::unique_ptr<TVkThread>& p) { return p.get() == t; });
  if (it != FOwned.end()) {
    owned = std::move(*it);
    FOwned.erase(it);
  }
  std::lock_guard<TSpinningMutex> g(JobLock);
  Threads.Remove(t);
  owned.reset();
}

void TDownloadFrm::DrainThreads() {
  // The user-interface thread waits here, so no watchdog tick comes to cut a
  // connection that has gone silent: each is cut here instead. Again on
  // every round: a thread that had only just been started clears its stop
  // flag as it begins, and may open a connection after the first cut.
  for (;;) {
    bool running = false;
    for (int i = 0; i < Threads.Count(); ++i) {
      TVkThread* t = Threads.Get(i);
      if (t->Finished || !t->Started()) continue;
      running = true;
      t->Stop();
      t->CutConnection();
    }
    if (!running) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(kDrainRoundMs));
  }
  for (int i = 0; i < Threads.Count(); ++i) Threads.Get(i)->WaitFor();
  while (Threads.Count() > 0) FreeThread(Threads.Count() - 1);
  FOwned.clear();
  if (FPaceTimer) FLoop.StopTimer(FPaceTimer);
  FPaceTimer = 0;
  StopPassGap();
}

// --- disk guard ---

void TDownloadFrm::AskLowDisk(const TDiskSpace& space, const std::string& drive) {
  // Once per file system and job: the answer stands until the job ends.
  if (std::find(FLowDiskAsked.begin(), FLowDiskAsked.end(), space.Device) != FLowDiskAsked.end())
    return;
  FLowDiskAsked.push_back(space.Device);
  if (StopFlag) return;
  if (FPrompter->Ask(std::string(kLowDiskQuestion) + drive + kLowDiskQuestionEnd, TMsgKind::Warning,
                     TMsgButtons::YesNo) != TMsgAnswer::Yes)
    AbortBtnClick();
}

void TDownloadFrm::CheckDiskSpace(int waiting) {
  try {
    const std::string prog = ProgramDir ? ProgramDir() : ProgramFolder();
    const std::string web =
        FContext.LocalWebDir ? FContext.LocalWebDir() : FContext.Settings->Get()->LocWebEd;
    // Free space changes slowly and costs a few system calls per folder
    // level, while busy passes come many times a second.
    const auto now = std::chrono::steady_clock::now();
    if (!FDiskChecked || now - FLastDiskCheck >= std::chrono::milliseconds(kDiskCheckMs)) {
      FDiskChecked = true;
      FLastDiskCheck = now;
      FCacheSpace = DiskSpace(prog);
      FWebSpace = DiskSpace(web);
    }
    const TDiskSpace& cache = FCacheSpace;
    const TDiskSpace& webSpace = FWebSpace;
    const std::string cacheDrive = cache.Valid ? cache.MountPoint : prog;
    const std::string webDrive = webSpace.Valid ? webSpace.MountPoint : web;
    if (!cache.Valid || cache.FreeBytes < static_cast<uint64_t>(kLowDiskBytes))
      AskLowDisk(cache, cacheDrive);
    const bool sameDrive = cache.Valid && webSpace.Valid && cache.Device == webSpace.Device;
    if (!sameDrive &&
        (!webSpace.Valid || webSpace.FreeBytes < static_cast<uint64_t>(kLowDiskBytes)))
      AskLowDisk(webSpace, webDrive);
    SetPanel(0, "Waiting files: " + std::to_string(waiting));
    SetPanel(1, "Cache drive free (" + cacheDrive + ") " + FreeMegs(cache));
    SetPanel(2, "Web drive free (" + webDrive + ")  " + FreeMegs(webSpace));
  } catch (const std::exception&) {
    JobDroppedErrors.Note("disk check");
  }
}

void TDownloadFrm::SetPanel(int i, const std::string& text) {
  if (Panels[i] == text) return;
  Panels[i] = text;
  Controls();
}

// --- grid ---

void TDownloadFrm::SetCell(size_t row, size_t col, const std::string& text) {
  if (Grid[row][col] == text) return;
  Grid[row][col] = text;
}

void TDownloadFrm::RefreshThreadGrid() {
  try {
    const int n = Threads.Count();
    Grid.resize(static_cast<size_t>(std::max(n + 1, 2)), std::vector<std::string>(6));
    if (n == 0)
      for (size_t c = 0; c < 6; ++c) SetCell(1, c, "");
    for (int k = 0; k < n; ++k) {
      TVkThread* t = Threads.Get(k);
      const size_t row = static_cast<size_t>(k) + 1;
      const std::string url = t->GetStatusURL();
      SetCell(row, 0, FView ? FView->FitStatusURL(url) : url);
      const int64_t got = t->BytesReceived;
      const int64_t total = t->BytesTotal;
      SetCell(row, 1, got ? " " + std::to_string(got) : "");
      SetCell(row, 2, total ? " " + std::to_string(total) : "");
      const std::string activity = t->GetActivity();
      SetCell(row, 3,
              t->AbortFlag  ? "Abort:" + activity
              : t->SkipFlag ? "Skip:" + activity
                            : activity);
      SetCell(row, 4, " " + std::to_string(t->Watchdog ? t->Watchdog->Count.load() : 0));
      SetCell(row, 5, " " + std::to_string(t->GetRetriesLeft()));
    }
    if (FView) FView->GridChanged();
  } catch (const std::exception&) {
    JobDroppedErrors.Note("thread grid");
  }
}

// --- events ---

void TDownloadFrm::SkipBtnClick() {
  if (SelectedRow >= 1 && SelectedRow <= Threads.Count()) Threads.Get(SelectedRow - 1)->Skip();
}

void TDownloadFrm::AbortBtnClick() {
  StopFlag = 1;
  StopAll();
  FWoken = true;  // the loop sees the stop now, not at the next tick
  FUrgent = true;
  if (OnStop) OnStop();
}

int TDownloadFrm::Column0Width(int gridWidth, const int* widths) {
  // Every other column counts: leaving out "TimeOut" and "Retries Left."
  // pushed them out of sight behind a scroll bar.
  int others = 0;
  for (int c = 1; c < 6; ++c) others += widths[c];
  return gridWidth - others - 20;
}

}  // namespace qv
