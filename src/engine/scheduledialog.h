#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/dialupdialog.h"
#include "engine/uiloop.h"
#include "model/atrrow.h"
#include "model/projectfile.h"
#include "model/prompter.h"
#include "model/settings.h"
#include "model/snapshot.h"
#include "platform/shell.h"

namespace qv {

// Byte 0 of a scheduled-project row.
enum class TScheduleType : uint8_t { None = 0, Daily = 1, OneShot = 2, Cyclic = 3, OneSlot = 4 };

inline constexpr int32_t kSecondsPerDay = 86400;
// NextRepeat when no cyclic run is coming: 30000 days.
inline constexpr int64_t kNoRepeat = int64_t{30000} * kSecondsPerDay;

// What the scheduler runs. The program binds it to the project session, the
// job runner and the dial-up connection; tests give fakes. Load, save and
// the jobs report failure by raising; the scheduler logs it and goes on.
class TScheduleJobs {
 public:
  virtual ~TScheduleJobs() = default;
  // Arms the dial-up connection for an unattended run.
  virtual void PrepareDialUp(bool useModem) = 0;
  virtual void HangUpAll() = 0;
  // The current project.
  virtual bool ProjectModified() = 0;
  virtual std::string ProjectFileName() = 0;
  virtual void SaveProject() = 0;  // under its own name
  virtual void LoadProject(const std::string& fileName) = 0;
  // The link extraction job, and the download job (not information-only).
  virtual void QuickMirror() = 0;
  virtual void Download() = 0;
  // Stores the settings with the scheduled-project rows as the schedule
  // left them (one-shot rows consumed), when the schedule ends.
  virtual void SaveSettings(const std::vector<TAtrRow>& projects) = 0;
};

// The scheduler's jobs on the program's own parts: the current project
// session and the dial-up connection. The quick mirror and download jobs
// come from the job runner, which sets them; a job that is not set raises,
// so the run is logged as failed. Without SaveSettingsProc the rows are
// published to GlobalSettings() and the per-user settings stored.
//
// The scheduler asks for a hang-up at every tick while no run is near.
// Asking the system's network manager is a program start, not a cheap call,
// so the requests reach the dial-up connection at most every
// kHangUpIntervalMs (on MonotonicMs); a hang-up comes that much later at
// worst.
class TSessionScheduleJobs : public TScheduleJobs {
 public:
  TSessionScheduleJobs(TProjectSession& session, TDialUpDlg& dialUp)
      : FSession(session), FDialUp(dialUp) {}

  std::function<void()> QuickMirrorJob;
  std::function<void()> DownloadJob;
  std::function<void(const std::vector<TAtrRow>&)> SaveSettingsProc;
  static constexpr int64_t kHangUpIntervalMs = 5000;
  std::function<int64_t()> MonotonicMs;

  void PrepareDialUp(bool useModem) override { FDialUp.PrepareDialUp(useModem, true); }
  void HangUpAll() override;
  bool ProjectModified() override { return FSession.Modified(); }
  std::string ProjectFileName() override { return FSession.ProjectFileName(); }
  void SaveProject() override { FSession.SaveMirrorProject(FSession.ProjectFileName()); }
  void LoadProject(const std::string& fileName) override { FSession.LoadMirrorProject(fileName); }
  void QuickMirror() override;
  void Download() override;
  void SaveSettings(const std::vector<TAtrRow>& projects) override;

 private:
  TProjectSession& FSession;
  TDialUpDlg& FDialUp;
  std::optional<int64_t> FLastHangUp;
};

// What the scheduler needs of its window and the program's other windows.
class TScheduleView {
 public:
  virtual ~TScheduleView() = default;
  // Shows the window (its modal loop is run by TScheduleDlg); hides it.
  virtual void ShowForm() = 0;
  virtual void HideForm() = 0;
  // Something in the control state changed; the window shows it.
  virtual void ControlsChanged() = 0;
  virtual void ShowMainWindow(bool show) = 0;
  // The application as a whole, and the dial-up and job windows.
  virtual void MinimizeApplication() = 0;
  virtual void RestoreApplication() = 0;
  virtual void MinimizeJobWindows() = 0;
  virtual void NormalizeJobWindows() = 0;
};

// "ConnectLog.txt" in the program folder; see ConnectLogPath().
std::string ScheduleLogPath();
// The autostart entry that restarts the program in schedule mode:
// $XDG_CONFIG_HOME/autostart/Quendravilos.desktop ("" without a home).
std::string StartupShortcutPath();
// A time of day (seconds since midnight, taken modulo one day) as the
// locale's time text.
std::string TimeOfDayText(int64_t seconds);

// The scheduler: while its window is up, a 250 ms tick checks whether the
// daily start time has come or a new cyclic period has begun, and runs the
// due scheduled projects (load, optional quick mirror, download), logging
// each run to the connect log, and hangs up the dial-up connection unless
// another run is near. Times of day are whole seconds since local midnight;
// weekdays count from Sunday = 0.
//
// User-interface thread only. The settings are copied when a schedule
// starts; later changes do not reach it.
class TScheduleDlg {
 public:
  TScheduleDlg(TScheduleJobs& jobs, TUiLoop& loop, TPrompter& prompter,
               TPublished<TSettings>& settings = GlobalSettings(),
               std::string logPath = ScheduleLogPath());
  ~TScheduleDlg();
  TScheduleDlg(const TScheduleDlg&) = delete;
  TScheduleDlg& operator=(const TScheduleDlg&) = delete;

  void SetView(TScheduleView* view) { FView = view; }
  void SetShell(TShell* shell) { FShell = shell; }
  // The wall clock (local time is taken from it).
  std::function<std::time_t()> Clock;

  // Control state, read by the window.
  std::string StartTimeEd;
  std::string IntervalEd;
  std::string IntervalUnits = "Hrs.";
  std::string TillNextEd;
  bool KeepMinChk = false;
  bool StayConChk = false;
  std::string StatusPanel[2];
  bool Timer1Enabled() const { return FTimer1; }

  // Fields, copied from the settings when a schedule starts.
  int32_t DailyStart = 0;  // seconds since midnight
  int32_t RepeatCount = 0;
  std::string RepeatUnits;
  std::vector<TAtrRow> Projects;
  int32_t StayMinutes = 0;
  std::optional<int32_t> LastDailyCheck;  // none: no check yet
  // The local calendar day of LastDailyCheck (none: judged by the time of
  // day alone), and the day the last daily event counted for.
  std::optional<int64_t> LastDailyDay;
  std::optional<int64_t> LastDailyEventDay;
  std::optional<int32_t> LastCyclicCheck;
  bool MinimizeOnPaint = false;
  bool KeepShortcut = false;
  // The event being run: bit 0 Sunday .. bit 6 Saturday; bit k the
  // two-hour slot k.
  uint32_t EventWeekdayMask = 0;
  uint32_t EventSlotMask = 0;

  // Starts the schedule and runs it until the window closes.
  void RunSchedule(bool minimizeFirst);
  // The cyclic interval: in days, and in whole seconds (0: no cyclic runs).
  double IntervalDays() const;
  int64_t IntervalSeconds() const;
  // Due tests at the clock's time; with update they record the check.
  bool DailyDue(bool update);
  bool CyclicDue(bool update);
  // Row tests; t is a time of day in seconds.
  bool CyclicRowActive(int64_t t, int weekday) const;
  bool DailyRowOnDay(int weekday) const;
  // The next cyclic run's time of day (seconds; kNoRepeat when none) and
  // its text ("" for 0).
  int64_t NextRepeat();
  std::string NextRepeatText();

  // Window events.
  void Timer1Timer();
  void FormShow();
  void FormHide();
  void FormPaint();
  void Button2Click();  // "Stand by"
  void Button3Click();  // "Exit"
  void Button1Click();  // "View log"
  void Button4Click();  // "Delete log"
  bool Showing() const { return FInModal; }

 private:
  struct TNow {
    std::time_t Stamp;
    int32_t Seconds;  // since local midnight
    int Weekday;      // Sunday 0
    int64_t Day;      // the local calendar day, counted from 1970-01-01
  };
  TNow Now() const;
  void SetTimer1(bool on);
  void ArmTimer();
  void RunRows(bool cyclic);
  // Runs one row's project; false when the tick must stop its runs.
  bool RunProject(const std::string& fileName, const char* type);
  void StayConnectedRule();
  void AppendLog(const std::string& text);
  void Changed();

  TScheduleJobs& FJobs;
  TUiLoop& FLoop;
  TPrompter& FPrompter;
  TPublished<TSettings>& FSettings;
  std::string FLogPath;
  TScheduleView* FView = nullptr;
  TShell* FShell = nullptr;
  bool FTimer1 = false;
  int FTimerId = 0;
  bool FInModal = false;
  bool FClosed = false;
  bool FShortcutReported = false;
  bool FStopRuns = false;  // this tick runs no more projects
};

}  // namespace qv
