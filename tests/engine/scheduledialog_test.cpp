#include "engine/scheduledialog.h"

#include <sys/stat.h>

#include <algorithm>
#include <ctime>
#include <fstream>
#include <set>
#include <sstream>
#include <stdexcept>

#include <gtest/gtest.h>

#include "support/envscope.h"
#include "support/manualloop.h"
#include "support/utctime.h"

namespace qv {
namespace {

constexpr uint8_t kSun = 1 << 0, kMon = 1 << 1, kTue = 1 << 2, kSat = 1 << 6, kAllDays = 0x7F;

// A row of the scheduled-project grid.
TAtrRow Row(const std::string& file, TScheduleType type, uint8_t days, uint16_t slots = 0xFFF) {
  return {file, uint32_t(type) | uint32_t(days) << 8 | uint32_t(slots) << 16};
}

// Local time in UTC (the fixture sets TZ): 2026-12-06 is a Sunday.
std::time_t At(int day, int h, int m, int s = 0) { return test::UtcTime(2026, 12, day, h, m, s); }
constexpr int kSunday = 6, kMonday = 7, kSaturday = 12;

int32_t Tod(int h, int m, int s = 0) { return h * 3600 + m * 60 + s; }

// Jobs that record what they were asked and fail on request.
struct TFakeJobs : TScheduleJobs {
  std::vector<std::string> Calls;
  std::set<std::string> FailLoad;
  bool FailSave = false;
  bool FailDownload = false;
  int FailPrepare = 0;  // the next n arms raise
  bool Modified = false;
  std::string Current;
  int Prepares = 0;
  int HangUps = 0;
  std::vector<TAtrRow> Saved;
  bool SettingsSaved = false;

  void PrepareDialUp(bool useModem) override {
    ++Prepares;
    EXPECT_TRUE(useModem);
    if (FailPrepare > 0 && FailPrepare--) throw std::runtime_error("no modem");
  }
  void HangUpAll() override { ++HangUps; }
  bool ProjectModified() override { return Modified; }
  std::string ProjectFileName() override { return Current; }
  void SaveProject() override {
    Calls.push_back("save " + Current);
    if (FailSave) throw std::runtime_error("Error writing file");
    Modified = false;
  }
  void LoadProject(const std::string& f) override {
    Calls.push_back("load " + f);
    if (FailLoad.count(f)) {
      Current.clear();
      throw std::runtime_error("File format\r\nerror");
    }
    Current = f;
  }
  void QuickMirror() override { Calls.push_back("quick " + Current); }
  void Download() override {
    Calls.push_back("download " + Current);
    if (FailDownload) throw std::runtime_error("Disk full");
    Modified = true;
  }
  void SaveSettings(const std::vector<TAtrRow>& projects) override {
    Saved = projects;
    SettingsSaved = true;
  }
};

struct TFakeView : TScheduleView {
  std::vector<std::string> Calls;
  void ShowForm() override { Calls.push_back("show"); }
  void HideForm() override { Calls.push_back("hide"); }
  void ControlsChanged() override {}
  void ShowMainWindow(bool show) override { Calls.push_back(show ? "main on" : "main off"); }
  void MinimizeApplication() override { Calls.push_back("minimise"); }
  void RestoreApplication() override { Calls.push_back("restore"); }
  void MinimizeJobWindows() override { Calls.push_back("minimise jobs"); }
  void NormalizeJobWindows() override { Calls.push_back("normal jobs"); }
};

struct TRecordingShell : TShell {
  int Result = ShellSuccess;
  std::vector<std::string> Opened;
  int Execute(const std::string& verb, const std::string& file) override {
    Opened.push_back(verb + " " + file);
    return Result;
  }
  int Start(const std::string&, const std::string&, const std::string&) override { return 31; }
};

class ScheduleTest : public ::testing::Test {
 protected:
  ScheduleTest() {
    Home.Env.Set("TZ", "UTC");
    tzset();
    Dlg.Clock = [this] { return Base + Loop.NowMs() / 1000; };
    Dlg.SetView(&View);
    Dlg.SetShell(&Shell);
  }

  // Publishes the schedule settings.
  void Settings(int hrs, int mins, const std::vector<TAtrRow>& rows, const std::string& repeat = "",
                const std::string& units = "Hrs.", bool autoQuick = false) {
    TSettings s;
    s.HrsUD = hrs;
    s.MinsUD = mins;
    s.PrjGrid = rows;
    s.RepeatTimeCombo = repeat;
    s.RepeatUnitsCombo = units;
    s.StayConUD = 10;
    s.UseModemChk = true;
    s.AutoQuickChk = autoQuick;
    Published.Publish(s);
  }

  // Runs the schedule from `start` for `ms` of the loop's time.
  void RunFor(std::time_t start, int64_t ms) {
    Base = start;
    const int64_t end = Loop.NowMs() + ms;
    Base -= Loop.NowMs() / 1000;
    // One millisecond late, so a tick due at the end still runs.
    Loop.StartTimer(static_cast<int>(end - Loop.NowMs() + 1), [this] { Dlg.Button3Click(); });
    Dlg.RunSchedule(false);
  }

  // Sets the clock for ticks driven by hand.
  void SetNow(std::time_t t) { Base = t - Loop.NowMs() / 1000; }

  std::string Log() const {
    std::ifstream f(LogPath, std::ios::binary);
    if (!f) return "<none>";
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
  }

  test::TScratchHome Home;
  std::string LogPath = Home.Dir / "prog/ConnectLog.txt";
  test::TManualUiLoop Loop;
  TScriptedPrompter Prompter;
  TPublished<TSettings> Published;
  TFakeJobs Jobs;
  TFakeView View;
  TRecordingShell Shell;
  TScheduleDlg Dlg{Jobs, Loop, Prompter, Published, LogPath};
  std::time_t Base = 0;
};

std::string Block(const std::string& date, const std::string& time, const std::string& type,
                  const std::string& project) {
  return "*****Start of schedule event*****\r\nDate:    " + date + "\r\nTime:    " + time +
         "\r\nType:    " + type + "\r\nProject: " + project +
         "\r\n*****End of schedule event*****\r\n\r\n";
}

TEST_F(ScheduleTest, DailyDueCases) {
  struct TCase {
    const char* Name;
    int32_t Start;
    std::optional<int32_t> Prev;
    int PrevDaysBack;  // the previous check's day: 0 today, 1 yesterday
    std::time_t Now;
    bool Due;
    uint32_t Mask;
  };
  const TCase cases[] = {
      {"first check only records", Tod(8, 0), std::nullopt, 0, At(kMonday, 9, 0), false, 0},
      {"start time reached", Tod(8, 0), Tod(7, 59, 59), 0, At(kMonday, 8, 0), true, kMon},
      {"one second before", Tod(8, 0), Tod(7, 59, 58), 0, At(kMonday, 7, 59, 59), false, 0},
      {"already past", Tod(8, 0), Tod(8, 0), 0, At(kMonday, 8, 0, 1), false, 0},
      {"before midnight counts for yesterday", Tod(23, 59), Tod(23, 58), 1, At(kMonday, 0, 0, 5),
       true, kSun},
      {"Sunday's yesterday is Saturday", Tod(23, 59), Tod(23, 58), 1, At(kSunday, 0, 0, 5), true,
       kSat},
      {"after midnight counts for today", Tod(0, 15), Tod(23, 0), 1, At(kMonday, 0, 30), true,
       kMon},
      {"midnight passed, start still ahead", Tod(8, 0), Tod(23, 0), 1, At(kMonday, 0, 30), false,
       0},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    Dlg.DailyStart = c.Start;
    Dlg.LastDailyCheck = c.Prev;
    Dlg.LastDailyDay.reset();
    if (c.Prev) Dlg.LastDailyDay = c.Now / 86400 - c.PrevDaysBack;
    Dlg.LastDailyEventDay.reset();
    Dlg.EventWeekdayMask = 0;
    SetNow(c.Now);
    EXPECT_EQ(Dlg.DailyDue(false), c.Due);
    EXPECT_EQ(Dlg.LastDailyCheck, c.Prev) << "recorded without update";
    EXPECT_EQ(Dlg.DailyDue(true), c.Due);
    EXPECT_EQ(Dlg.EventWeekdayMask, c.Mask);
    EXPECT_EQ(Dlg.LastDailyCheck, Tod(0, 0) + static_cast<int32_t>(c.Now % 86400));
    // A quarter second later nothing is due again the same day.
    EXPECT_FALSE(Dlg.DailyDue(true));
  }
}

// The night the clock goes back from summer time the hour from 02:00 to 03:00
// comes twice: the time of day goes back, but no day begins, and the start
// time passed a second time is no second event.
TEST_F(ScheduleTest, ClockPutBackAnHourRunsNoDailyEventTwice) {
  Home.Env.Set("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
  tzset();
  // 2026-10-25 00:00 UTC is 02:00 summer time; at 01:00 UTC the clock goes
  // from 03:00 back to 02:00.
  const std::time_t midnightUtc = test::UtcTime(2026, 10, 25, 0, 0);
  struct TCase {
    const char* Name;
    int Hrs, Mins;
    int Runs;
  } cases[] = {
      {"start time in the repeated hour", 2, 30, 1},
      {"start time before it", 1, 30, 1},
      {"start time after the night", 8, 0, 0},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    Settings(c.Hrs, c.Mins, {Row("a.mpj", TScheduleType::Daily, kAllDays)});
    Jobs.Calls.clear();
    // From 01:00 summer time to 06:00 winter time.
    RunFor(midnightUtc - 3600, 6 * 3600 * 1000);
    EXPECT_EQ(std::count(Jobs.Calls.begin(), Jobs.Calls.end(), "download a.mpj"),
              static_cast<long>(c.Runs))
        << ::testing::PrintToString(Jobs.Calls);
  }
}

TEST_F(ScheduleTest, CyclicPeriodsStartAtEveryIntervalFromMidnight) {
  Dlg.RepeatCount = 2;
  Dlg.RepeatUnits = "Hrs.";
  EXPECT_DOUBLE_EQ(Dlg.IntervalDays(), 2.0 / 24);
  SetNow(At(kMonday, 0, 0, 30));
  EXPECT_FALSE(Dlg.CyclicDue(true));  // the first check records
  std::vector<std::string> runs;
  for (int32_t t = 31; t < 86400 + 3600; t += 47) {
    SetNow(At(kMonday, 0, 0) + t);
    if (!Dlg.CyclicDue(true)) continue;
    EXPECT_LT(t % 7200, 47) << "late for the boundary before " << t;
    runs.push_back(std::to_string(t % 86400 / 3600) + "h slots " +
                   std::to_string(Dlg.EventSlotMask) + " days " +
                   std::to_string(Dlg.EventWeekdayMask));
  }
  const std::vector<std::string> expected = {
      "2h slots 2 days 2",     "4h slots 4 days 2",     "6h slots 8 days 2",
      "8h slots 16 days 2",    "10h slots 32 days 2",   "12h slots 64 days 2",
      "14h slots 128 days 2",  "16h slots 256 days 2",  "18h slots 512 days 2",
      "20h slots 1024 days 2", "22h slots 2048 days 2", "0h slots 1 days 4",
  };
  EXPECT_EQ(runs, expected);
}

TEST_F(ScheduleTest, NoIntervalMeansNoCyclicRuns) {
  Dlg.Projects = {Row("c.mpj", TScheduleType::Cyclic, kAllDays)};
  struct TCase {
    const char* Repeat;
    const char* Units;
  };
  for (const TCase& c : {TCase{"", "Hrs."}, TCase{"0", "Hrs."}, TCase{"2", ""}, TCase{"-2", "Hrs."},
                         TCase{"2", "Days"}, TCase{"99999", "Hrs."}, TCase{"x", "Mins."}}) {
    SCOPED_TRACE(std::string(c.Repeat) + " " + c.Units);
    Settings(8, 0, {Row("c.mpj", TScheduleType::Cyclic, kAllDays)}, c.Repeat, c.Units);
    Jobs.Calls.clear();
    RunFor(At(kMonday, 1, 59), 3 * 3600 * 1000);
    EXPECT_EQ(Dlg.IntervalDays(), 0);
    EXPECT_GE(Dlg.RepeatCount, 0);
    EXPECT_EQ(Dlg.TillNextEd, TimeOfDayText(0));
    EXPECT_EQ(Dlg.NextRepeat(), kNoRepeat);
    EXPECT_TRUE(Jobs.Calls.empty());
  }
}

TEST_F(ScheduleTest, NextRepeatFindsTheNextActiveBoundary) {
  Dlg.RepeatCount = 2;
  Dlg.RepeatUnits = "Hrs.";
  Dlg.Projects = {Row("a", TScheduleType::Cyclic, kMon, 1 << 2 | 1 << 4),
                  Row("b", TScheduleType::Daily, kAllDays, 0xFFF)};
  struct TCase {
    const char* Name;
    std::time_t Now;
    int64_t Next;
  };
  const TCase cases[] = {
      {"the first boundary", At(kMonday, 3, 0), Tod(4, 0)},
      {"on a boundary: its period has begun", At(kMonday, 4, 0), Tod(8, 0)},
      {"just before a boundary", At(kMonday, 3, 59, 59), Tod(4, 0)},
      {"a later boundary", At(kMonday, 5, 0), Tod(8, 0)},
      {"none today or tomorrow", At(kMonday, 9, 0), kNoRepeat},
      {"tomorrow", At(kSunday, 20, 0), Tod(4, 0)},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    SetNow(c.Now);
    EXPECT_EQ(Dlg.NextRepeat(), c.Next);
  }
  SetNow(At(kMonday, 5, 0));
  EXPECT_EQ(Dlg.NextRepeatText(), "08:00:00");
}

// "Next repeat time:" after a cyclic run that began on its boundary: the
// next run, never the one just made.
TEST_F(ScheduleTest, NextRepeatTimeAfterACyclicRunIsTheNextRun) {
  struct {
    const char* Name;
    TAtrRow Row;
    std::string Shown;
  } const cases[] = {
      {"the next period", Row("c.mpj", TScheduleType::Cyclic, kAllDays), "06:00:00"},
      {"a one-slot row the run used up", Row("s.mpj", TScheduleType::OneSlot, kAllDays, 3 << 2),
       TimeOfDayText(0)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    Settings(8, 0, {c.Row}, "2", "Hrs.");
    Jobs.Calls.clear();
    Jobs.Modified = false;
    RunFor(At(kMonday, 3, 59, 59), 2000);
    EXPECT_EQ(Jobs.Calls.size(), 2u) << "one run, at 04:00";
    EXPECT_EQ(Dlg.TillNextEd, c.Shown);
  }
}

TEST_F(ScheduleTest, DailyEventRunsMatchingRowsAndUsesUpOneShots) {
  Settings(
      8, 0,
      {Row("sat.mpj", TScheduleType::OneShot, kSat), Row("mon.mpj", TScheduleType::Daily, kMon),
       Row("once.mpj", TScheduleType::OneShot, kMon | kTue),
       Row("cyc.mpj", TScheduleType::Cyclic, kAllDays)},
      "", "Hrs.", true);
  RunFor(At(kMonday, 7, 59), 2 * 60 * 1000);
  EXPECT_EQ(Jobs.Calls, (std::vector<std::string>{
                            "load mon.mpj", "quick mon.mpj", "download mon.mpj", "save mon.mpj",
                            "load once.mpj", "quick once.mpj", "download once.mpj"}));
  EXPECT_EQ(Log(), Block("12/07/26", "08:00:00", "Daily", "mon.mpj") +
                       Block("12/07/26", "08:00:00", "Daily", "once.mpj"));
  ASSERT_TRUE(Jobs.SettingsSaved);
  EXPECT_EQ(Jobs.Saved, (std::vector<TAtrRow>{Row("sat.mpj", TScheduleType::None, kSat),
                                              Row("mon.mpj", TScheduleType::Daily, kMon),
                                              Row("once.mpj", TScheduleType::None, kMon | kTue),
                                              Row("cyc.mpj", TScheduleType::Cyclic, kAllDays)}));
  EXPECT_EQ(View.Calls.front(), "main off");
  EXPECT_EQ(View.Calls.back(), "main on");
  EXPECT_FALSE(Dlg.Timer1Enabled());
}

TEST_F(ScheduleTest, OneSlotRowRunsOnceInItsPeriod) {
  Settings(8, 0, {Row("slot.mpj", TScheduleType::OneSlot, kAllDays, 1 << 2)}, "2", "Hrs.");
  RunFor(At(kMonday, 3, 0), 5 * 3600 * 1000);
  EXPECT_EQ(Jobs.Calls, (std::vector<std::string>{"load slot.mpj", "download slot.mpj"}));
  EXPECT_EQ(Log(), Block("12/07/26", "04:00:00", "Cyclic", "slot.mpj"));
  EXPECT_EQ(Jobs.Saved, (std::vector<TAtrRow>{Row("slot.mpj", TScheduleType::None, kAllDays, 4)}));
}

TEST_F(ScheduleTest, FailuresSkipTheRowAndTheScheduleGoesOn) {
  Settings(8, 0,
           {Row("bad.mpj", TScheduleType::Daily, kMon), Row("good.mpj", TScheduleType::Daily, kMon),
            Row("cyc.mpj", TScheduleType::Cyclic, kAllDays)},
           "1", "Hrs.");
  Jobs.FailLoad = {"bad.mpj"};
  Jobs.FailPrepare = 3;  // the first ticks raise before they check anything
  RunFor(At(kMonday, 7, 59, 58), 3602 * 1000);
  EXPECT_EQ(Jobs.Calls,
            (std::vector<std::string>{"load bad.mpj", "load good.mpj", "download good.mpj",
                                      "save good.mpj", "load cyc.mpj", "download cyc.mpj",
                                      "save cyc.mpj", "load cyc.mpj", "download cyc.mpj"}));
  EXPECT_EQ(Log(),
            "Schedule error: no modem\r\nSchedule error: no modem\r\n"
            "Schedule error: no modem\r\n"
            "Project not run: bad.mpj: File format  error\r\n" +
                Block("12/07/26", "08:00:00", "Daily", "good.mpj") +
                Block("12/07/26", "08:00:00", "Cyclic", "cyc.mpj") +
                Block("12/07/26", "09:00:00", "Cyclic", "cyc.mpj"));
}

TEST_F(ScheduleTest, FailedDownloadStillClosesTheBlock) {
  Settings(8, 0, {Row("a.mpj", TScheduleType::Daily, kMon)});
  Jobs.FailDownload = true;
  RunFor(At(kMonday, 7, 59, 59), 1000);
  EXPECT_EQ(Log(),
            "*****Start of schedule event*****\r\nDate:    12/07/26\r\nTime:    "
            "08:00:00\r\nType:    Daily\r\nProject: a.mpj\r\nError:   Disk full\r\n"
            "*****End of schedule event*****\r\n\r\n");
}

TEST_F(ScheduleTest, FailedSaveStopsTheTicksLoads) {
  Settings(8, 0,
           {Row("a.mpj", TScheduleType::OneShot, kMon), Row("b.mpj", TScheduleType::Daily, kMon)},
           "1", "Hrs.");
  Jobs.Modified = true;
  Jobs.Current = "work.mpj";
  Jobs.FailSave = true;
  RunFor(At(kMonday, 7, 59, 59), 1000);
  EXPECT_EQ(Jobs.Calls, (std::vector<std::string>{"save work.mpj"}));
  EXPECT_EQ(Log(), "Schedule stopped, project not saved: work.mpj: Error writing file\r\n");
  // The one-shot row did not run, so it keeps its turn.
  EXPECT_EQ(Jobs.Saved[0], Row("a.mpj", TScheduleType::OneShot, kMon));
}

TEST_F(ScheduleTest, StayConnectedRule) {
  struct TCase {
    const char* Name;
    bool StayCon;
    std::time_t Now;
    int32_t Start;
    std::vector<TAtrRow> Rows;
    int Repeat;
    bool HangUp;
  };
  const TCase cases[] = {
      {"stay connected never hangs up", true, At(kMonday, 7, 0), Tod(8, 0), {}, 0, false},
      {"daily run far off",
       false,
       At(kMonday, 7, 45),
       Tod(8, 0),
       {Row("a", TScheduleType::Daily, kMon)},
       0,
       true},
      {"daily run near",
       false,
       At(kMonday, 7, 55),
       Tod(8, 0),
       {Row("a", TScheduleType::Daily, kMon)},
       0,
       false},
      {"daily run near, no row that day",
       false,
       At(kMonday, 7, 55),
       Tod(8, 0),
       {Row("a", TScheduleType::Daily, kTue)},
       0,
       true},
      {"tomorrow's run just after midnight",
       false,
       At(kSunday, 23, 55),
       Tod(0, 1),
       {Row("a", TScheduleType::Daily, kMon)},
       0,
       false},
      {"tomorrow has no row",
       false,
       At(kSunday, 23, 55),
       Tod(0, 1),
       {Row("a", TScheduleType::Daily, kSun)},
       0,
       true},
      {"cyclic run near",
       false,
       At(kMonday, 7, 55),
       Tod(12, 0),
       {Row("c", TScheduleType::Cyclic, kMon)},
       2,
       false},
      {"cyclic run far off",
       false,
       At(kMonday, 7, 45),
       Tod(12, 0),
       {Row("c", TScheduleType::Cyclic, kMon)},
       2,
       true},
      {"cyclic run after midnight",
       false,
       At(kMonday, 23, 55),
       Tod(12, 0),
       {Row("c", TScheduleType::Cyclic, kTue, 1)},
       2,
       false},
  };
  Settings(0, 0, {});
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    Dlg.StayConChk = c.StayCon;
    Dlg.StayMinutes = 10;
    Dlg.DailyStart = c.Start;
    Dlg.Projects = c.Rows;
    Dlg.RepeatCount = c.Repeat;
    Dlg.RepeatUnits = "Hrs.";
    SetNow(c.Now);
    const int32_t tod = static_cast<int32_t>(c.Now % 86400);
    Dlg.LastDailyCheck = tod;
    Dlg.LastCyclicCheck = tod;
    Jobs.HangUps = 0;
    Dlg.Timer1Timer();
    EXPECT_EQ(Jobs.HangUps, c.HangUp ? 1 : 0);
    EXPECT_TRUE(Jobs.Calls.empty());
  }
}

TEST_F(ScheduleTest, StartupEntryWrittenOnShowAndRemovedOnHideUnlessKept) {
  const std::string entry = Home.Dir / "config/autostart/Quendravilos.desktop";
  ASSERT_EQ(StartupShortcutPath(), entry);
  Dlg.FormShow();
  std::ifstream f(entry);
  std::stringstream text;
  text << f.rdbuf();
  EXPECT_NE(text.str().find("\nName=Quendravilos\n"), std::string::npos) << text.str();
  EXPECT_NE(text.str().find(" /s\n"), std::string::npos) << text.str();
  Dlg.FormHide();
  EXPECT_FALSE(std::ifstream(entry).good());
  EXPECT_EQ(View.Calls, (std::vector<std::string>{"normal jobs"}));

  Dlg.FormShow();
  Dlg.KeepShortcut = true;
  Dlg.FormHide();
  EXPECT_TRUE(std::ifstream(entry).good());
  Dlg.FormShow();  // a new showing clears the keep flag
  EXPECT_FALSE(Dlg.KeepShortcut);
  EXPECT_TRUE(Prompter.Prompts.empty());
}

TEST_F(ScheduleTest, StartupEntryFailureIsReportedOnceAndTheScheduleRuns) {
  Home.Dir.Write("config/autostart", "a file where the folder should be");
  Settings(8, 0, {Row("a.mpj", TScheduleType::Daily, kMon)});
  RunFor(At(kMonday, 7, 59, 59), 1000);
  RunFor(At(kMonday, 7, 59, 59), 1000);
  ASSERT_EQ(Prompter.Prompts.size(), 1u);
  EXPECT_NE(Prompter.Prompts[0].Text.find("File: " + StartupShortcutPath()), std::string::npos);
  EXPECT_EQ(Jobs.Calls, (std::vector<std::string>{"load a.mpj", "download a.mpj", "save a.mpj",
                                                  "load a.mpj", "download a.mpj"}));
}

TEST_F(ScheduleTest, LogButtons) {
  Dlg.Button1Click();
  EXPECT_EQ(Shell.Opened, (std::vector<std::string>{"Open " + LogPath}));
  EXPECT_TRUE(Prompter.Prompts.empty());
  Shell.Result = ShellFileNotFound;
  Dlg.Button1Click();
  ASSERT_EQ(Prompter.Prompts.size(), 1u);
  EXPECT_EQ(Prompter.Prompts[0].Text, "The specified file was not found.\n\nFile: ConnectLog.txt");

  Home.Dir.Write("prog/ConnectLog.txt", "old");
  Prompter.Answers = {TMsgAnswer::No, TMsgAnswer::Yes};
  Dlg.Button4Click();
  EXPECT_EQ(Log(), "old");
  Dlg.Button4Click();
  EXPECT_EQ(Log(), "<none>");
  EXPECT_EQ(Prompter.Prompts.back().Text, "Do you want to delete the log file:-\nConnectLog.txt");
}

TEST_F(ScheduleTest, WindowStateButtons) {
  Dlg.MinimizeOnPaint = true;
  Dlg.FormPaint();
  Dlg.FormPaint();
  Dlg.Button2Click();
  EXPECT_EQ(View.Calls,
            (std::vector<std::string>{"minimise", "normal jobs", "minimise jobs", "minimise"}));
}

}  // namespace
}  // namespace qv

namespace qv {
namespace {

// The program's binding of the jobs: the project session, the dial-up
// connection and the job runner's jobs.
TEST(SessionScheduleJobs, RunsScheduledProjectsThroughTheSession) {
  test::TScratchHome home;
  home.Env.Set("TZ", "UTC");
  tzset();
  TPlainProjectView view;
  TPublished<TSettings> settings;
  TPublished<TMimeFilter> mime;
  TPublished<TViewFilter> filter;
  TScriptedPrompter prompter;
  TVkURLList list;
  TCriticalSection lock;
  TProjectSession session{view, prompter, list, lock, {&settings, &mime, &filter}};
  const std::string a = home.Dir / "a.mpj", b = home.Dir / "b.mpj";
  session.SaveMirrorProject(a);
  session.SaveMirrorProject(b);

  test::TManualUiLoop loop;
  TNoDialUp service;
  TDialUpDlg dialUp(service, loop, "");
  TSessionScheduleJobs jobs(session, dialUp);
  std::vector<std::string> downloads;
  jobs.DownloadJob = [&] {
    downloads.push_back(session.ProjectFileName());
    session.SetModified();
  };
  std::vector<TAtrRow> saved;
  jobs.SaveSettingsProc = [&](const std::vector<TAtrRow>& rows) { saved = rows; };

  TPublished<TSettings> published;
  TSettings s;
  s.HrsUD = 8;
  s.AutoQuickChk = true;  // no quick mirror job is set: those runs fail
  s.PrjGrid = {Row(a, TScheduleType::Daily, kAllDays), Row(b, TScheduleType::Daily, kAllDays)};
  published.Publish(s);
  const std::string logPath = home.Dir / "prog/ConnectLog.txt";
  TScheduleDlg dlg(jobs, loop, prompter, published, logPath);
  std::time_t base = At(kMonday, 7, 59, 59);
  dlg.Clock = [&] { return base + loop.NowMs() / 1000; };
  loop.StartTimer(1001, [&] { dlg.Button3Click(); });
  dlg.RunSchedule(false);
  EXPECT_TRUE(downloads.empty());
  EXPECT_EQ(saved, s.PrjGrid);

  published.Publish([&] {
    TSettings t = s;
    t.AutoQuickChk = false;
    return t;
  }());
  base -= loop.NowMs() / 1000;
  loop.StartTimer(1001, [&] { dlg.Button3Click(); });
  dlg.RunSchedule(false);
  EXPECT_EQ(downloads, (std::vector<std::string>{a, b}));
  // The first project was saved before the second was loaded.
  EXPECT_EQ(session.ProjectFileName(), b);
  EXPECT_TRUE(session.Modified());
  std::ifstream f(logPath, std::ios::binary);
  std::stringstream log;
  log << f.rdbuf();
  EXPECT_EQ(log.str(), "Project not run: " + a + ": No job runner for the quick mirror\r\n" +
                           "Project not run: " + b + ": No job runner for the quick mirror\r\n" +
                           Block("12/07/26", "08:00:00", "Daily", a) +
                           Block("12/07/26", "08:00:00", "Daily", b));
}

}  // namespace
}  // namespace qv

namespace qv {
namespace {

struct TCountingDialUp : TNoDialUp {
  int Enumerations = 0;
  std::vector<TActiveConnection> ActiveConnections(size_t) override {
    ++Enumerations;
    return {};
  }
};

TEST(SessionScheduleJobs, HangUpRequestsReachTheConnectionAtMostEveryFiveSeconds) {
  TPlainProjectView view;
  TPublished<TSettings> settings;
  TPublished<TMimeFilter> mime;
  TPublished<TViewFilter> filter;
  TScriptedPrompter prompter;
  TVkURLList list;
  TCriticalSection lock;
  TProjectSession session{view, prompter, list, lock, {&settings, &mime, &filter}};
  test::TManualUiLoop loop;
  TCountingDialUp service;
  TDialUpDlg dialUp(service, loop, "");
  TSessionScheduleJobs jobs(session, dialUp);
  int64_t now = 1000;
  jobs.MonotonicMs = [&] { return now; };
  std::vector<int> seen;
  for (int64_t t : {1000, 1250, 5999, 6000, 6250, 20000}) {
    now = t;
    jobs.HangUpAll();
    seen.push_back(service.Enumerations);
  }
  EXPECT_EQ(seen, (std::vector<int>{1, 1, 1, 2, 2, 3}));
}

}  // namespace
}  // namespace qv
