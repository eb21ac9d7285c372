#include "engine/scheduledialog.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <stdexcept>

#include "engine/dialupdialog.h"
#include "model/streamext.h"
#include "model/syshelpers.h"
#include "platform/progfolder.h"

namespace qv {

namespace {

constexpr int kTickMs = 250;
constexpr int32_t kSlotSeconds = 2 * 3600;
constexpr int kSlotCount = 12;
constexpr int kNextRepeatTries = 12;
constexpr int kShowMinimized = 6;
constexpr size_t kMaxLogMessage = 500;

const char kStartOfEvent[] = "*****Start of schedule event*****\r\n";
const char kEndOfEvent[] = "*****End of schedule event*****\r\n\r\n";

uint32_t Day(int weekday) { return 1u << weekday; }

TScheduleType TypeOf(const TAtrRow& row) { return TScheduleType(AttrByte(row.Attr, 0)); }

uint32_t SlotsOf(const TAtrRow& row) {
  return (AttrByte(row.Attr, 2) | (uint32_t{AttrByte(row.Attr, 3)} << 8)) & 0xFFFu;
}

// An error message on one log line: control bytes (line breaks) become
// blanks, and a long message is cut.
std::string LogMessage(const char* what) {
  std::string text = what ? what : "";
  if (text.size() > kMaxLogMessage) text.resize(kMaxLogMessage);
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  return text;
}

int32_t Modulo(int64_t value, int64_t divisor) {
  int64_t r = value % divisor;
  return static_cast<int32_t>(r < 0 ? r + divisor : r);
}

}  // namespace

void TSessionScheduleJobs::HangUpAll() {
  const int64_t now = MonotonicMs ? MonotonicMs()
                                  : std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now().time_since_epoch())
                                        .count();
  if (FLastHangUp && now - *FLastHangUp < kHangUpIntervalMs) return;
  FLastHangUp = now;
  FDialUp.HangUpAll();
}

void TSessionScheduleJobs::QuickMirror() {
  if (!QuickMirrorJob) throw std::runtime_error("No job runner for the quick mirror");
  QuickMirrorJob();
}

void TSessionScheduleJobs::Download() {
  if (!DownloadJob) throw std::runtime_error("No job runner for the download");
  DownloadJob();
}

void TSessionScheduleJobs::SaveSettings(const std::vector<TAtrRow>& projects) {
  if (SaveSettingsProc) {
    SaveSettingsProc(projects);
    return;
  }
  TSettings s = *GlobalSettings().Get();
  s.PrjGrid = projects;
  GlobalSettings().Publish(s);
  SaveSettingsToStore(s);
}

std::string ScheduleLogPath() { return ConnectLogPath(); }

std::string StartupShortcutPath() {
  std::string config = ConfigHome();
  return config.empty() ? std::string() : config + "/autostart/Quendravilos.desktop";
}

std::string TimeOfDayText(int64_t seconds) {
  const int32_t s = Modulo(seconds, kSecondsPerDay);
  std::tm tm{};
  tm.tm_year = 100;
  tm.tm_mday = 1;
  tm.tm_hour = s / 3600;
  tm.tm_min = s / 60 % 60;
  tm.tm_sec = s % 60;
  char buf[128];
  size_t n = std::strftime(buf, sizeof buf, "%X", &tm);
  return std::string(buf, n);
}

TScheduleDlg::TScheduleDlg(TScheduleJobs& jobs, TUiLoop& loop, TPrompter& prompter,
                           TPublished<TSettings>& settings, std::string logPath)
    : Clock([] { return std::time(nullptr); }),
      FJobs(jobs),
      FLoop(loop),
      FPrompter(prompter),
      FSettings(settings),
      FLogPath(std::move(logPath)) {}

TScheduleDlg::~TScheduleDlg() {
  if (FTimerId) FLoop.StopTimer(FTimerId);
}

void TScheduleDlg::Changed() {
  if (FView) FView->ControlsChanged();
}

TScheduleDlg::TNow TScheduleDlg::Now() const {
  TNow n{};
  n.Stamp = Clock();
  std::tm tm{};
  localtime_r(&n.Stamp, &tm);
  // A leap second stays inside the day.
  n.Seconds = std::min(tm.tm_hour * 3600 + tm.tm_min * 60 + tm.tm_sec, kSecondsPerDay - 1);
  n.Weekday = tm.tm_wday;
  std::tm date{};
  date.tm_year = tm.tm_year;
  date.tm_mon = tm.tm_mon;
  date.tm_mday = tm.tm_mday;
  n.Day = static_cast<int64_t>(timegm(&date)) / kSecondsPerDay;
  return n;
}

void TScheduleDlg::AppendLog(const std::string& text) {
  // A log that cannot be written is skipped: the schedule matters more.
  if (!FLogPath.empty()) TryAppendFileString(FLogPath, text);
}

void TScheduleDlg::SetTimer1(bool on) {
  FTimer1 = on;
  if (on && !FTimerId) ArmTimer();
  if (!on && FTimerId) {
    FLoop.StopTimer(FTimerId);
    FTimerId = 0;
  }
}

void TScheduleDlg::ArmTimer() {
  FTimerId = FLoop.StartTimer(kTickMs, [this] {
    FTimerId = 0;
    // Nothing a tick raises may reach the window system's loop; the tick
    // itself puts the timer back.
    try {
      Timer1Timer();
    } catch (const std::exception& e) {
      AppendLog("Schedule error: " + LogMessage(e.what()) + "\r\n");
    } catch (...) {
      AppendLog("Schedule error\r\n");
    }
    if (FTimer1 && !FTimerId) ArmTimer();
  });
}

void TScheduleDlg::RunSchedule(bool minimizeFirst) {
  MinimizeOnPaint = minimizeFirst;
  if (FView) FView->ShowMainWindow(false);
  const auto s = FSettings.Get();
  DailyStart = Modulo(int64_t{s->HrsUD} * 3600 + int64_t{s->MinsUD} * 60, kSecondsPerDay);
  RepeatCount = std::max(0, JnStrToInt(s->RepeatTimeCombo));
  RepeatUnits = s->RepeatUnitsCombo;
  Projects = s->PrjGrid;
  StayMinutes = s->StayConUD;
  LastDailyCheck.reset();
  LastDailyDay.reset();
  LastDailyEventDay.reset();
  LastCyclicCheck.reset();
  SetTimer1(true);
  StartTimeEd = TimeOfDayText(DailyStart);
  IntervalEd = std::to_string(RepeatCount);
  IntervalUnits = RepeatUnits;
  TillNextEd = NextRepeatText();
  StatusPanel[0] = "Waiting";
  StatusPanel[1] = "";
  Changed();

  FClosed = false;
  FInModal = true;
  if (FView) FView->ShowForm();
  FormShow();
  FLoop.RunUntil([this] { return FClosed; });
  FormHide();
  FInModal = false;
  if (FView) FView->HideForm();

  SetTimer1(false);
  // The main window comes back even when the settings cannot be stored.
  std::exception_ptr failure;
  try {
    FJobs.SaveSettings(Projects);
  } catch (...) {
    failure = std::current_exception();
  }
  if (FView) FView->ShowMainWindow(true);
  if (failure) std::rethrow_exception(failure);
}

int64_t TScheduleDlg::IntervalSeconds() const {
  if (RepeatCount <= 0 || RepeatUnits.empty()) return 0;
  int64_t unit = 0;
  switch (RepeatUnits[0]) {
    case 'H':
      unit = 3600;
      break;
    case 'M':
      unit = 60;
      break;
    case 'S':
      unit = 1;
      break;
    default:
      return 0;
  }
  // Periods count from midnight, so an interval beyond a day never begins
  // one; such a count is taken as no cyclic runs.
  const int64_t interval = int64_t{RepeatCount} * unit;
  return interval > kSecondsPerDay ? 0 : interval;
}

double TScheduleDlg::IntervalDays() const {
  return static_cast<double>(IntervalSeconds()) / kSecondsPerDay;
}

bool TScheduleDlg::DailyDue(bool update) {
  const TNow n = Now();
  const int32_t now = n.Seconds;
  auto record = [&] {
    if (!update) return;
    LastDailyCheck = now;
    LastDailyDay = n.Day;
  };
  if (!LastDailyCheck) {
    record();
    return false;
  }
  const int32_t prev = *LastDailyCheck;
  const int32_t target = Modulo(DailyStart, kSecondsPerDay);
  // Midnight passed when the date changed. The time of day alone also goes
  // back when the clock is put back an hour at the end of summer time, which
  // would run the day's projects once more.
  const bool midnightPassed = LastDailyDay ? n.Day != *LastDailyDay : now < prev;
  std::optional<int64_t> eventDay;
  if (prev < target && target <= now) {
    eventDay = n.Day;
  } else if (midnightPassed && target > prev) {
    // Midnight passed after the start time: the run belongs to yesterday.
    eventDay = n.Day - 1;
  } else if (midnightPassed && now >= target) {
    eventDay = n.Day;
  }
  // One event a day: the hour repeated when the clock goes back passes the
  // start time a second time.
  const bool due = eventDay && (!LastDailyEventDay || *eventDay != *LastDailyEventDay);
  if (due) {
    EventWeekdayMask = Day(*eventDay == n.Day ? n.Weekday : (n.Weekday + 6) % 7);
    if (update) LastDailyEventDay = *eventDay;
  }
  record();
  return due;
}

bool TScheduleDlg::CyclicDue(bool update) {
  const TNow n = Now();
  const int32_t now = n.Seconds;
  if (!LastCyclicCheck) {
    if (update) LastCyclicCheck = now;
    return false;
  }
  const int64_t interval = IntervalSeconds();
  if (interval == 0) return false;
  const int32_t prev = *LastCyclicCheck;
  const int64_t period = now / interval;
  if (period == prev / interval) {
    if (update) LastCyclicCheck = now;
    return false;
  }
  EventWeekdayMask = Day(n.Weekday);
  EventSlotMask = 1u << static_cast<int>(period * interval / kSlotSeconds);
  if (update) LastCyclicCheck = now;
  TillNextEd = NextRepeatText();
  Changed();
  return true;
}

bool TScheduleDlg::CyclicRowActive(int64_t t, int weekday) const {
  if (t < 0 || weekday < 0 || weekday > 6) return false;
  const int64_t slot = t / kSlotSeconds;
  if (slot >= kSlotCount) return false;
  for (const TAtrRow& row : Projects) {
    const TScheduleType type = TypeOf(row);
    if (type != TScheduleType::Cyclic && type != TScheduleType::OneSlot) continue;
    if ((SlotsOf(row) >> slot & 1u) && (AttrByte(row.Attr, 1) >> weekday & 1u)) return true;
  }
  return false;
}

bool TScheduleDlg::DailyRowOnDay(int weekday) const {
  if (weekday < 0 || weekday > 6) return false;
  for (const TAtrRow& row : Projects) {
    const TScheduleType type = TypeOf(row);
    if (type != TScheduleType::Daily && type != TScheduleType::OneShot) continue;
    if (AttrByte(row.Attr, 1) >> weekday & 1u) return true;
  }
  return false;
}

int64_t TScheduleDlg::NextRepeat() {
  const int64_t interval = IntervalSeconds();
  if (interval == 0) return kNoRepeat;
  const TNow n = Now();
  // Candidates count from today's midnight: the next boundary after now,
  // then one interval after another. Times are whole seconds, so a boundary
  // at the present second has passed: its period has begun (the tick that
  // runs it comes within that second). One past midnight is taken on the
  // next weekday; the search ends before the day after tomorrow.
  const int64_t first = (n.Seconds / interval + 1) * interval;
  for (int k = 0; k < kNextRepeatTries; ++k) {
    const int64_t candidate = first + k * interval;
    if (candidate >= 2 * int64_t{kSecondsPerDay}) break;
    const bool tomorrow = candidate >= kSecondsPerDay;
    const int64_t t = tomorrow ? candidate - kSecondsPerDay : candidate;
    const int weekday = tomorrow ? (n.Weekday + 1) % 7 : n.Weekday;
    if (CyclicRowActive(t, weekday)) return t;
  }
  return kNoRepeat;
}

std::string TScheduleDlg::NextRepeatText() {
  const int64_t next = NextRepeat();
  return next == 0 ? std::string() : TimeOfDayText(next);
}

void TScheduleDlg::Timer1Timer() {
  // The timer is off while the jobs run (they let the window system's loop
  // run); it comes back however the tick ends.
  struct TRestore {
    TScheduleDlg* Dlg;
    bool On;
    ~TRestore() { Dlg->SetTimer1(On); }
  } restore{this, FTimer1};
  SetTimer1(false);
  StatusPanel[1] = ShortTimeText(Clock());
  Changed();

  FJobs.PrepareDialUp(FSettings.Get()->UseModemChk);
  FStopRuns = false;
  if (DailyDue(true)) {
    if (!KeepMinChk && FView) {
      FView->RestoreApplication();
      FView->NormalizeJobWindows();
    }
    StatusPanel[0] = "Running daily schedule";
    Changed();
    RunRows(false);
    StatusPanel[0] = "Waiting";
    Changed();
  }
  if (CyclicDue(true) && !FStopRuns) {
    if (!KeepMinChk && FView) {
      FView->RestoreApplication();
      FView->NormalizeJobWindows();
    }
    StatusPanel[0] = "Running cyclic schedule";
    Changed();
    RunRows(true);
    // The run took its time and may have used up one-slot rows.
    TillNextEd = NextRepeatText();
    StatusPanel[0] = "Waiting";
    Changed();
  }
  StayConnectedRule();
}

void TScheduleDlg::RunRows(bool cyclic) {
  const char* type = cyclic ? "Cyclic" : "Daily";
  for (size_t i = 0; i < Projects.size() && !FStopRuns; ++i) {
    const TScheduleType kind = TypeOf(Projects[i]);
    const uint32_t attr = Projects[i].Attr;
    if (cyclic ? kind != TScheduleType::Cyclic && kind != TScheduleType::OneSlot
               : kind != TScheduleType::Daily && kind != TScheduleType::OneShot)
      continue;
    // A one-shot row is used up by its event even when its weekday does not
    // match.
    if (kind == TScheduleType::OneShot || kind == TScheduleType::OneSlot)
      Projects[i].Attr = WithAttrByte(attr, 0, 0);
    if ((AttrByte(attr, 1) & EventWeekdayMask) == 0) continue;
    if (cyclic && (SlotsOf(Projects[i]) & EventSlotMask) == 0) continue;
    const std::string fileName = Projects[i].Text;
    if (!RunProject(fileName, type)) {
      // The row did not run: it keeps its turn.
      Projects[i].Attr = attr;
      break;
    }
  }
}

bool TScheduleDlg::RunProject(const std::string& fileName, const char* type) {
  if (FJobs.ProjectModified()) {
    const std::string current = FJobs.ProjectFileName();
    if (!current.empty()) {
      // Loading over an unsaved project would throw the user's work away.
      try {
        FJobs.SaveProject();
      } catch (const std::exception& e) {
        AppendLog("Schedule stopped, project not saved: " + current + ": " + LogMessage(e.what()) +
                  "\r\n");
        FStopRuns = true;
        return false;
      }
    }
  }
  try {
    FJobs.LoadProject(fileName);
    if (FSettings.Get()->AutoQuickChk) FJobs.QuickMirror();
  } catch (const std::exception& e) {
    AppendLog("Project not run: " + fileName + ": " + LogMessage(e.what()) + "\r\n");
    return true;
  }
  const std::time_t stamp = Clock();
  AppendLog(std::string(kStartOfEvent) + "Date:    " + ShortDateText(stamp) +
            "\r\nTime:    " + ShortTimeText(stamp) + "\r\nType:    " + type +
            "\r\nProject: " + FJobs.ProjectFileName() + "\r\n");
  try {
    FJobs.Download();
  } catch (const std::exception& e) {
    AppendLog("Error:   " + LogMessage(e.what()) + "\r\n");
  }
  AppendLog(kEndOfEvent);
  return true;
}

void TScheduleDlg::StayConnectedRule() {
  if (StayConChk || DailyDue(false) || CyclicDue(false)) return;
  const TNow n = Now();
  const int64_t stay = int64_t{StayMinutes} * 60;
  int64_t dDaily = int64_t{DailyStart} - n.Seconds;
  int64_t dCyc = NextRepeat() - n.Seconds;
  int weekday = n.Weekday;
  if (dDaily < 0) {
    dDaily += kSecondsPerDay;
    weekday = (weekday + 1) % 7;
  }
  if (DailyRowOnDay(weekday) && dDaily < stay) return;
  if (dCyc < 0) dCyc += kSecondsPerDay;
  if (dCyc >= stay) FJobs.HangUpAll();
}

void TScheduleDlg::FormShow() {
  const std::string path = StartupShortcutPath();
  const std::string program = ExecutablePath();
  try {
    if (path.empty() || program.empty())
      throw EOleError("Error creating IShellLink object for file shortcut");
    CreateShortcut(program, path, "Quendravilos", "/s", kShowMinimized, "");
  } catch (const std::exception& e) {
    // The schedule runs on without it; saying so at every showing would
    // only nag.
    if (!FShortcutReported) {
      FShortcutReported = true;
      FPrompter.ShowMessage(std::string(e.what()) + "\n\nFile: " + path);
    }
  }
  KeepShortcut = false;
}

void TScheduleDlg::FormHide() {
  if (KeepShortcut) return;
  const std::string path = StartupShortcutPath();
  if (!path.empty()) std::remove(path.c_str());
  if (FView) FView->NormalizeJobWindows();
}

void TScheduleDlg::FormPaint() {
  if (!FView) return;
  if (MinimizeOnPaint) {
    FView->MinimizeApplication();
    MinimizeOnPaint = false;
  } else {
    FView->NormalizeJobWindows();
  }
}

void TScheduleDlg::Button2Click() {
  if (!FView) return;
  FView->MinimizeJobWindows();
  FView->MinimizeApplication();
}

void TScheduleDlg::Button3Click() {
  if (FInModal) FClosed = true;
}

void TScheduleDlg::Button1Click() {
  TShell& shell = FShell ? *FShell : SystemShell();
  const int code = FLogPath.empty() ? ShellFileNotFound : shell.Execute("Open", FLogPath);
  if (code <= 32) FPrompter.ShowMessage(ShellExecuteErrorText(code) + "\n\nFile: ConnectLog.txt");
}

void TScheduleDlg::Button4Click() {
  if (FPrompter.Confirm("Do you want to delete the log file:-\nConnectLog.txt") &&
      !FLogPath.empty())
    std::remove(FLogPath.c_str());
}

}  // namespace qv
