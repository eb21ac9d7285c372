#include "ui/schedulewindow.h"

#include <ctime>
#include <filesystem>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>

#include "support/envscope.h"
#include "ui/controls/filtergrid.h"
#include "ui/qtuiloop.h"
#include "ui/settingsdialog.h"
#include "ui/uitest.h"

namespace qv {
namespace {

struct TQuietJobs : TScheduleJobs {
  std::vector<TAtrRow> Saved;
  int SettingsSaves = 0;
  void PrepareDialUp(bool) override {}
  void HangUpAll() override {}
  bool ProjectModified() override { return false; }
  std::string ProjectFileName() override { return ""; }
  void SaveProject() override {}
  void LoadProject(const std::string&) override {}
  void QuickMirror() override {}
  void Download() override {}
  void SaveSettings(const std::vector<TAtrRow>& projects) override {
    Saved = projects;
    ++SettingsSaves;
  }
};

class ScheduleWindowTest : public test::UiTest {
 protected:
  ScheduleWindowTest() {
    TSettings s;
    s.HrsUD = 8;
    s.MinsUD = 30;
    s.RepeatTimeCombo = "2";
    s.RepeatUnitsCombo = "Hrs.";
    s.PrjGrid = {{"a.mpj", 0x0FFF7F03}};
    Published.Publish(s);
    // A fixed clock at 09:00 local time: what the window shows must not
    // depend on the hour the test runs at.
    Dlg.Clock = [] {
      std::tm tm{};
      tm.tm_year = 126;
      tm.tm_mon = 11;
      tm.tm_mday = 7;
      tm.tm_hour = 9;
      tm.tm_isdst = -1;
      return std::mktime(&tm);
    };
    Window.JobWindows = {&JobWindow};
    Window.OnShowMainWindow = [this](bool on) { MainShown.push_back(on); };
    // A schedule that never ends would hang the test: stop it.
    Guard.setSingleShot(true);
    QObject::connect(&Guard, &QTimer::timeout, [this] {
      ADD_FAILURE() << "the schedule window is still up";
      Dlg.Button3Click();
    });
    Guard.start(15000);
  }

  // Runs the schedule; `during` runs once the window is up.
  void Run(std::function<void()> during) {
    QTimer::singleShot(400, [&] {
      during();
      if (Dlg.Showing()) Dlg.Button3Click();
    });
    Dlg.RunSchedule(false);
  }

  test::TScratchHome Home;
  QTimer Guard;
  TQtUiLoop Loop;
  TScriptedPrompter Prompter;
  TPublished<TSettings> Published;
  TQuietJobs Jobs;
  TScheduleDlg Dlg{Jobs, Loop, Prompter, Published, Home.Dir / "prog/ConnectLog.txt"};
  TScheduleWindow Window{Dlg};
  QWidget JobWindow;
  std::vector<bool> MainShown;
};

TEST_F(ScheduleWindowTest, ShowsTheScheduleAndExitEndsIt) {
  const std::string entry = StartupShortcutPath();
  Run([&] {
    EXPECT_TRUE(Window.isVisible());
    EXPECT_TRUE(Window.isModal());
    EXPECT_EQ(Window.windowTitle(), "Schedule running:");
    EXPECT_EQ(Window.StartTimeEd->text(),
              QString::fromStdString(TimeOfDayText(8 * 3600 + 30 * 60)));
    EXPECT_TRUE(Window.StartTimeEd->isReadOnly());
    EXPECT_EQ(Window.IntervalEd->text(), "2");
    EXPECT_EQ(Window.IntervalUnits->text(), "Hrs.");
    EXPECT_EQ(Window.TillNextEd->text(), QString::fromStdString(TimeOfDayText(10 * 3600)))
        << "the next even hour";
    EXPECT_EQ(Window.StatusPanels[0]->text(), "Waiting");
    EXPECT_FALSE(Window.StatusPanels[1]->text().isEmpty()) << "the clock shows after a tick";
    EXPECT_TRUE(std::filesystem::exists(entry));
    EXPECT_TRUE(Dlg.Timer1Enabled());
    Window.StayConChk->click();
    EXPECT_TRUE(Dlg.StayConChk);
    Window.Button3->click();
  });
  EXPECT_FALSE(Window.isVisible());
  EXPECT_FALSE(Dlg.Timer1Enabled());
  EXPECT_FALSE(std::filesystem::exists(entry));
  EXPECT_EQ(MainShown, (std::vector<bool>{false, true}));
  EXPECT_EQ(Jobs.SettingsSaves, 1);
  EXPECT_EQ(Jobs.Saved, Published.Get()->PrjGrid);
}

TEST_F(ScheduleWindowTest, ClosingTheWindowEndsTheSchedule) {
  Run([&] { Window.close(); });
  EXPECT_FALSE(Dlg.Showing());
  EXPECT_EQ(Jobs.SettingsSaves, 1);
}

TEST_F(ScheduleWindowTest, ControlsCarryTheirTextsAndHelpContexts) {
  struct TCase {
    QWidget* Control;
    const char* Text;
    int Help;
  };
  const TCase cases[] = {
      {Window.Button2, "Stand by", 137},
      {Window.Button3, "Exit", 138},
      {Window.Button1, "View log", 140},
      {Window.Button4, "Delete log", 141},
      {Window.KeepMinChk, "Keep minimised", 139},
      {Window.StayConChk, "Stay connected", 142},
      {Window.StartTimeEd, "", 134},
      {Window.IntervalEd, "", 135},
      {Window.TillNextEd, "", 136},
      {Window.StatusBar1, "", 133},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Help);
    if (auto* b = qobject_cast<QAbstractButton*>(c.Control)) {
      EXPECT_EQ(b->text(), c.Text);
    }
    EXPECT_EQ(Window.HelpContextOf(c.Control), c.Help);
  }
  EXPECT_GE(Window.width(), 295);
  EXPECT_GE(Window.height(), 274);
  EXPECT_EQ(Window.minimumSize(), Window.maximumSize());
}

TEST_F(ScheduleWindowTest, StandByMinimisesTheJobWindowsAndPaintRestoresThem) {
  JobWindow.show();
  QWidget hiddenJob;
  Window.JobWindows.push_back(&hiddenJob);
  Run([&] {
    Window.Button2->click();
    EXPECT_TRUE(JobWindow.isMinimized());
    Dlg.FormPaint();
    EXPECT_FALSE(JobWindow.isMinimized());
    EXPECT_FALSE(hiddenJob.isVisible()) << "a hidden window is not shown by a restore";
  });
}

TEST_F(ScheduleWindowTest, SettingsStoredWithTheRowsTheScheduleLeft) {
  TPublished<TSettings> target;
  TSettingsDlg settings;
  settings.SetPublishTarget(&target);
  const std::vector<TAtrRow> rows = {{"a.mpj", 0x0FFF7F00}, {"b.mpj", 0x0FFF0201}};
  SaveScheduleSettings(settings, rows);
  EXPECT_EQ(settings.PrjGrid()->Rows(), rows);
  EXPECT_EQ(target.Get()->PrjGrid, rows);
}

}  // namespace
}  // namespace qv
