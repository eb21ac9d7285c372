#pragma once

// The job runner: builds the queue of a download or extract job, then runs
// worker threads over it within the thread limits on the user-interface
// thread, shows their state in a grid, frees finished threads, watches free
// disk space and the dial-up link, and lets the user skip an item or stop the
// job. The window (ui/) shows the state kept here and forwards its events.
//
// Everything here runs on the user-interface thread except Wake, which the
// worker threads call through the job context.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/dllist.h"
#include "engine/jobcontext.h"
#include "engine/uiloop.h"
#include "engine/vkthread.h"
#include "model/atrrow.h"
#include "model/progresssink.h"
#include "model/prompter.h"
#include "platform/diskspace.h"

namespace qv {

// What the runner needs of its window.
class TDownloadView {
 public:
  virtual ~TDownloadView() = default;
  virtual void ShowForm() = 0;  // modeless; the caption is in Caption
  virtual void CloseForm() = 0;
  virtual void BringToFront() = 0;
  // Buttons, check boxes, caption or status panels changed.
  virtual void ControlsChanged() = 0;
  // Cells or the row count of the grid changed.
  virtual void GridChanged() = 0;
  // Column 0's text fitted to its width (the middle replaced by ">><<").
  virtual std::string FitStatusURL(const std::string& text) { return text; }
};

// The dial-up link as the runner uses it; empty functions mean no modem (the
// link is always up).
struct TDialUpLink {
  std::function<bool()> IsConnected;
  std::function<bool(bool keepRetries)> EnsureConnected;
  std::function<void()> HangUpAll;
  std::function<bool()> AutoDisconnect;  // the dial-up window's "Auto disconnect"
};

inline constexpr char kLowDiskQuestion[] =
    "Disk space is becoming critically low. If you wish to continue you must free some disk "
    "space on drive: ";
inline constexpr char kLowDiskQuestionEnd[] = "\n\nDo you want to continue?";
inline constexpr char kStopJobQuestion[] =
    "You cannot perform this operation while downloading is in progress.\n\nDo you want to "
    "terminate the download operation?";
inline constexpr int64_t kLowDiskBytes = 2000000;
// The status text of a job that passed over count errors, the last of them
// last ("download thread: Read timed out.").
std::string DroppedErrorsText(int count, const std::string& last);
inline constexpr int kThreadStartPaceMs = 200;
inline constexpr int kWatchdogTickMs = 1000;
inline constexpr int kDiskCheckMs = 500;
// How often a drain after an exception stops and cuts the threads still
// running.
inline constexpr int kDrainRoundMs = 10;
// Workers' wakes that come sooner than this after a pass are taken together
// by the next one: no one reads the grid faster, and against a fast server a
// pass per finished item kept the loop busy.
inline constexpr int kPassGapMs = 10;

class TDownloadFrm {
 public:
  // Makes a worker for a queue: a download thread (kind kDownload, with
  // infoOnly) or a spider thread (kSpider). Suspended; the runner resumes it.
  using TThreadFactory = std::function<std::unique_ptr<TVkThread>(
      uint8_t kind, TVkThreadList& threads, TJobContext& context, bool infoOnly, TDLList& queue)>;

  // The program's workers: a download thread or a spider thread.
  static std::unique_ptr<TVkThread> MakeWorker(uint8_t kind, TVkThreadList& threads,
                                               TJobContext& context, bool infoOnly, TDLList& queue);

  TDownloadFrm(TUiLoop& loop, TJobContext& context, TPrompter& prompter, TProgressSink& msgWindow);
  ~TDownloadFrm();
  TDownloadFrm(const TDownloadFrm&) = delete;
  TDownloadFrm& operator=(const TDownloadFrm&) = delete;

  void SetView(TDownloadView* view) { FView = view; }
  void SetPrompter(TPrompter* prompter) { FPrompter = prompter; }

  // --- what the runner is given ---
  TThreadFactory ThreadFactory = MakeWorker;
  TDialUpLink DialUp;
  // The project's root URL rows (text, scope in the low byte, levels next),
  // which an extract job starts from: the project session's in the program.
  // None when null.
  const std::vector<TAtrRow>* RootURLs = nullptr;
  // The program folder and the local web directory, for the disk guard.
  std::function<std::string()> ProgramDir;
  std::function<TDiskSpace(const std::string&)> DiskSpace = QueryDiskSpace;
  // Whether the message window (queue building, localising) is showing.
  std::function<bool()> MessageWindowShowing;
  std::function<void()> MessageWindowToFront;
  // Localises the saved pages after a job when "Localise references" is
  // checked; given the job's local web directory. The program's is
  // LocaliseSavedPages; none when unset.
  std::function<void(const std::string&)> Localise;
  // Called once per pass, after the pass's work (the harness drains here).
  std::function<void()> OnPass;
  // Called when Stop is pressed (by the user, a question or the disk guard).
  std::function<void()> OnStop;

  // --- controls ---
  std::string Caption = "Download threads:-";
  bool SkipBtnEnabled = false;
  bool CancelBtnEnabled = false;
  bool LocRefsChk = false;
  bool AutoDisChk = false;
  std::string Panels[3];
  // Row 0 holds the headings.
  std::vector<std::vector<std::string>> Grid;
  int SelectedRow = 1;
  bool Visible = false;
  // How far the running job is: its items that have ended for good, of all
  // it has held (ended, being worked on, queued or waiting for another
  // try). An item going up for a retry changes neither, so a round of
  // retries, which refills "Waiting files", does not read as going back.
  int ItemsDone = 0;
  int ItemsQueued = 0;

  // --- fields ---
  uint8_t JobKind = 0;  // 0 download, 1 extract
  uint8_t MayClose = 1;
  TDLList DownloadQueue;
  TDLList SpiderQueue;
  uint8_t StopFlag = 0;
  TVkThreadList Threads;

  // --- operations ---
  bool DownloadFiles(bool infoOnly);
  bool ExtractURLs();
  bool CanStartOperation(bool blocksExtract, bool blocksDownload);
  bool JobRunning() const { return Visible; }
  void LockControls(bool start);
  bool BuildDownloadQueue();
  void BuildSpiderQueue();
  // False only when the dial-up link dropped.
  bool RunJobLoop(TDLList& queue, bool infoOnly);
  void CheckDiskSpace(int waiting);
  void RefreshThreadGrid();
  // The localising pass over the master list under dir, shown in the
  // message window, which may take a close request meanwhile; a page it
  // could not rewrite is named in a status text through the job's outbox.
  void LocaliseSavedPages(const std::string& dir);
  // As a job ends: the errors it passed over counted in Stats and, when
  // there were any, said in the job's account, or in a status text through
  // the job's outbox when it has none (it ended before its account).
  void ReportDroppedErrors();

  // --- events ---
  void SkipBtnClick();
  void AbortBtnClick();
  bool FormCloseQuery() const { return MayClose != 0; }
  // Column 0's width for a grid width: what the other columns (widths 1 to
  // 5, the designed ones unless given) leave, less 20 pixels for the border
  // and a vertical scroll bar.
  static int Column0Width(int gridWidth, const int* widths = kColumnWidths);

  // Any thread: a worker finished or changed; wakes the loop once however
  // often it is called before the loop runs.
  void Wake();
  // Any thread: a thread finished.
  void Ended();

  // What the last job that ran did (set as it ends; Ran false before any, and
  // after a job whose queue building was cancelled).
  struct TJobReport {
    bool Ran = false;
    uint8_t Kind = 0;  // as JobKind
    bool InfoOnly = false;
    bool Stopped = false;
    int Stored = 0, Failed = 0, Skipped = 0;
    int Left = 0;  // not done: still queued, or cut short by the stop
    // What the localising pass after it could not rewrite ("" when all).
    std::string LocaliseFailures;
    // The errors it passed over (DroppedErrorsText; "" when none).
    std::string DroppedErrors;
  };
  TJobReport LastJob;
  // The main window's status-bar account of the last job: what it did,
  // where its failures are listed, what its localising pass could not
  // rewrite and the errors it passed over; "" when no job ran.
  std::string JobEndText() const;

  // Figures of the last job (for the harness and tests).
  struct TJobStats {
    int Passes = 0;
    int Wakes = 0;
    int Ticks = 0;
    int ThreadsStarted = 0;
    int Redials = 0;
    bool Exception = false;
    // Errors the job passed over (JobDroppedErrors), as it ended.
    int DroppedErrors = 0;
  };
  TJobStats Stats;

  static const char* const kHeadings[6];
  static const int kColumnWidths[6];

 private:
  bool RunJob(uint8_t kind, bool infoOnly);
  // One job's loop with the exception drain around it.
  bool GuardedJobLoop(TDLList& queue, bool infoOnly);
  void WaitForEvent();
  void StopPassGap();
  bool AnyThreadFinished();
  void StopAll();
  // Waits for every thread and frees it (an exception ended the job).
  void DrainThreads();
  void FreeThread(int index);
  int QueueCount(TDLList& queue);
  void UpdateProgress(TDLList& queue);
  void AskLowDisk(const TDiskSpace& space, const std::string& drive);
  void SetPanel(int i, const std::string& text);
  void SetCell(size_t row, size_t col, const std::string& text);
  void Controls();

  TUiLoop& FLoop;
  TJobContext& FContext;
  TPrompter* FPrompter;
  TProgressSink& FMsg;
  TDownloadView* FView = nullptr;
  std::vector<std::unique_ptr<TVkThread>> FOwned;  // the objects behind Threads
  // The low-disk question was answered Yes for these devices in this job.
  std::vector<uint64_t> FLowDiskAsked;
  bool FDiskChecked = false;
  TDiskSpace FCacheSpace, FWebSpace;
  std::chrono::steady_clock::time_point FLastDiskCheck;
  bool FWoken = false;
  bool FTicked = false;
  // A stop or the start pacing: the loop goes round at once, gap or not.
  bool FUrgent = false;
  bool FGapOver = true;
  int FGapTimer = 0;
  bool FPaceOpen = true;
  int FPaceTimer = 0;
  std::shared_ptr<std::atomic<bool>> FWakePosted;
  std::shared_ptr<std::atomic<bool>> FAlive;
};

}  // namespace qv
