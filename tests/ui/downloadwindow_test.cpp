// The job window as a view of the runner: its texts and help contexts, what
// it shows of the runner's state, and what the user's actions hand back.

#include "ui/downloadwindow.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include "engine/jobcontext.h"
#include "support/manualloop.h"
#include "ui/controls/scaledstringgrid.h"
#include "ui/uitest.h"

namespace qv {
namespace {

class DownloadWindowTest : public test::UiTest {
 protected:
  DownloadWindowTest() {
    Window.ShowControlHelp = [this](QWidget* w) {
      Helped.push_back(w);
      return true;
    };
  }

  test::TManualUiLoop Loop;
  TJobContext Context;
  TScriptedPrompter Prompter;
  TPlainProgress Msg;
  TDownloadFrm Runner{Loop, Context, Prompter, Msg};
  TDownloadWindow Window{Runner};
  std::vector<QWidget*> Helped;
};

TEST_F(DownloadWindowTest, TextsWidthsAndHelpContexts) {
  EXPECT_EQ(Window.windowTitle(), "Download threads:-");
  const char* headings[] = {"Download threads", "Bytes recieved", "Bytes total",
                            "Status",           "TimeOut",        "Retries Left."};
  const int widths[] = {281, 76, 64, 64, 57, 66};
  ASSERT_EQ(Window.Grid1->ColCount(), 6);
  // The designed widths, or more where the font needs it for a heading.
  const QFontMetrics header = Window.Grid1->horizontalHeader()->fontMetrics();
  for (int c = 1; c < 6; ++c) {
    SCOPED_TRACE(c);
    EXPECT_EQ(Window.Grid1->Cells(c, 0), headings[c]);
    EXPECT_EQ(Window.Grid1->model()->headerData(c, Qt::Horizontal).toString(), headings[c]);
    EXPECT_GE(Window.Grid1->columnWidth(c), widths[c]);
    EXPECT_GT(Window.Grid1->columnWidth(c), header.horizontalAdvance(headings[c]));
  }
  EXPECT_EQ(Window.Grid1->Cells(0, 0), headings[0]);
  struct TCase {
    QWidget* Control;
    const char* Text;
    int Help;
  };
  const TCase cases[] = {
      {&Window, "", 79},
      {Window.Grid1, "", 80},
      {Window.SkipBtn, "Skip", 29},
      {Window.CancelBtn, "Stop", 30},
      {Window.LocRefsChk, "Localise references", 121},
      {Window.AutoDisChk, "Auto disconnect", 28},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Help);
    if (auto* b = qobject_cast<QAbstractButton*>(c.Control)) {
      EXPECT_EQ(b->text(), c.Text);
    }
    EXPECT_EQ(c.Control->property("HelpContext").toInt(), c.Help);
  }
}

TEST_F(DownloadWindowTest, ShowsTheRunnersStateAndHandsBackTheUsersActions) {
  Runner.Caption = "Downloading files:";
  Runner.SkipBtnEnabled = Runner.CancelBtnEnabled = true;
  Runner.LocRefsChk = true;
  Runner.Panels[0] = "Waiting files: 7";
  Runner.Grid.assign(3, std::vector<std::string>(6));
  Runner.Grid[1] = {"http://a.com/x", " 10", " 20", "Receiving", " 5", " 2"};
  Runner.Grid[2][0] = "http://b.com/y";
  Window.ControlsChanged();
  Window.GridChanged();
  EXPECT_EQ(Window.windowTitle(), "Downloading files:");
  EXPECT_TRUE(Window.SkipBtn->isEnabled());
  EXPECT_TRUE(Window.LocRefsChk->isChecked());
  EXPECT_FALSE(Window.AutoDisChk->isChecked());
  EXPECT_EQ(Window.Panels[0]->text(), "Waiting files: 7");
  ASSERT_EQ(Window.Grid1->RowCount(), 3);
  EXPECT_EQ(Window.Grid1->Cells(3, 1), "Receiving");
  EXPECT_EQ(Window.Grid1->Cells(0, 2), "http://b.com/y");
  EXPECT_EQ(Window.Grid1->editTriggers(), QAbstractItemView::NoEditTriggers) << "shown, not edited";

  // The user clears "Localise references" and ticks "Auto disconnect".
  Window.LocRefsChk->click();
  Window.AutoDisChk->click();
  EXPECT_FALSE(Runner.LocRefsChk);
  EXPECT_TRUE(Runner.AutoDisChk);
  // Skip names the selected row (1 is the first under the headings).
  Window.Grid1->SetCurrent(0, 2);
  Window.SkipBtn->click();
  EXPECT_EQ(Runner.SelectedRow, 2);
  EXPECT_EQ(Window.HelpSender, Window.SkipBtn);
  Window.CancelBtn->click();
  EXPECT_EQ(Runner.StopFlag, 1);
  EXPECT_EQ(Window.HelpSender, Window.CancelBtn);

  // Fewer threads: the table shrinks to one empty row.
  Runner.Grid.assign(2, std::vector<std::string>(6));
  Window.GridChanged();
  ASSERT_EQ(Window.Grid1->RowCount(), 2);
  EXPECT_EQ(Window.Grid1->Cells(0, 1), "");
}

// How far the job is, as the runner counts it: items done of all it holds.
TEST_F(DownloadWindowTest, ShowsItemsDoneOfItemsQueued) {
  struct Case {
    int done, queued;
    const char* text;
    int value, maximum;
  } cases[] = {
      {0, 0, "0 of 0 done", 0, 1},  // before any item: a bar, not a busy indicator
      {0, 2078, "0 of 2078 done", 0, 2078},
      {120, 2078, "120 of 2078 done", 120, 2078},
      {2078, 2078, "2078 of 2078 done", 2078, 2078},
  };
  Window.show();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    Runner.ItemsDone = c.done;
    Runner.ItemsQueued = c.queued;
    Window.ControlsChanged();
    EXPECT_EQ(Window.JobProgress->text(), c.text);
    EXPECT_EQ(Window.windowTitle(),
              c.queued ? QString("Download threads:- ") + c.text : "Download threads:-");
    EXPECT_EQ(Window.JobProgress->value(), c.value);
    EXPECT_EQ(Window.JobProgress->maximum(), c.maximum);
  }
  // The text fits beside the buttons, and so does what a thread waits on in
  // its column.
  test::Pump();
  EXPECT_GE(Window.JobProgress->width(),
            Window.JobProgress->fontMetrics().horizontalAdvance("2078 of 2078 done"));
  EXPECT_GT(Window.Grid1->columnWidth(3),
            Window.Grid1->fontMetrics().horizontalAdvance("Awaiting answer"));
}

TEST_F(DownloadWindowTest, RefusesToCloseWhileAJobRuns) {
  Window.show();
  Runner.MayClose = 0;
  Window.close();
  EXPECT_TRUE(Window.isVisible());
  Runner.MayClose = 1;
  Window.close();
  EXPECT_FALSE(Window.isVisible());
}

TEST_F(DownloadWindowTest, ResizeGivesTheFirstColumnWhatTheOthersLeave) {
  Window.show();
  test::Pump();
  // Every column in sight at the window's first size, and after a resize.
  for (int width : {0, 900}) {
    SCOPED_TRACE(width);
    if (width) Window.resize(width, 333);
    test::Pump();
    int others = 0;
    for (int c = 1; c < 6; ++c) others += Window.Grid1->columnWidth(c);
    EXPECT_EQ(Window.Grid1->columnWidth(0), Window.Grid1->width() - others - 20);
    EXPECT_GE(Window.Grid1->columnWidth(0), 281);
  }
  // A long address is cut in its middle to the column's width.
  const std::string url = "http://example.com/" + std::string(300, 'a') + "/end.html";
  const std::string fitted = Window.FitStatusURL(url);
  EXPECT_NE(fitted.find(">><<"), std::string::npos) << fitted;
  EXPECT_EQ(fitted.rfind("http://", 0), 0u);
  EXPECT_LE(Window.Grid1->fontMetrics().horizontalAdvance(QString::fromStdString(fitted)),
            Window.Grid1->columnWidth(0));
  EXPECT_EQ(Window.FitStatusURL("http://a.com/"), "http://a.com/");
}

TEST_F(DownloadWindowTest, HelpShowsTheControlLastPressed) {
  Window.show();
  Window.Help1Click();  // nothing pressed yet: the window's own help
  QTest::mousePress(Window.LocRefsChk, Qt::RightButton);
  Window.Help1Click();
  QTest::mousePress(Window.Grid1->viewport(), Qt::RightButton);
  Window.Help1Click();
  EXPECT_EQ(Helped, (std::vector<QWidget*>{&Window, Window.LocRefsChk, Window.Grid1}));
  EXPECT_EQ(Window.HelpMenu->actions().at(0)->text(), "Help");
}

}  // namespace
}  // namespace qv
