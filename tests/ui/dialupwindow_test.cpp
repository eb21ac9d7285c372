#include "ui/dialupwindow.h"

#include <unistd.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QThread>
#include <QTimer>

#include "ui/qtuiloop.h"
#include "ui/tickdriver.h"
#include "ui/uitest.h"

namespace qv {
namespace {

// Records whether every change reached the window on the user-interface
// thread (the dial callbacks come from the service's thread).
class TCheckedWindow : public TDialUpWindow {
 public:
  using TDialUpWindow::TDialUpWindow;
  std::atomic<int> OffThread{0};
  void ControlsChanged() override {
    if (QThread::currentThread() != qApp->thread()) ++OffThread;
    TDialUpWindow::ControlsChanged();
  }
};

class DialUpWindowTest : public test::UiTest {
 protected:
  DialUpWindowTest() : Dlg(Sim, Loop, ""), Window(Dlg) {
    Sim.AddEntry({"Office", "555-0100", "", "alice", "secret", ""});
    Sim.AddEntry({"Home", "555-0199", "", "bob", "pw2", ""});
    // A sequence that never ends would hang the test: stop it.
    Guard.setSingleShot(true);
    QObject::connect(&Guard, &QTimer::timeout, [this] {
      ADD_FAILURE() << "the dial-up window is still up";
      Dlg.Close(TModalResult::Cancel);
    });
    Guard.start(15000);
  }

  QTimer Guard;
  TQtUiLoop Loop;
  TDialUpDlg Dlg;
  TCheckedWindow Window;
  TSimDialUp Sim;  // destroyed first: its thread posts into the loop
};

TEST_F(DialUpWindowTest, ConnectDialsTheChosenEntryAndShowsTheStates) {
  Sim.QueueScript(
      {{20, DialStateOpenPort, 0}, {20, DialStateAuthenticate, 0}, {20, DialStateConnected, 0}});
  Dlg.PrepareDialUp(true, false, {3});
  bool checked = false;
  QTimer::singleShot(100, [&] {
    EXPECT_TRUE(Window.isVisible());
    EXPECT_EQ(Window.windowTitle(), "Connect to:-");
    EXPECT_EQ(Window.PBCombo->currentText(), "Office");
    EXPECT_EQ(Window.PBCombo->count(), 2);
    EXPECT_EQ(Window.UserEd->text(), "alice");
    EXPECT_EQ(Window.PWEd->text(), "secret");
    EXPECT_EQ(Window.PWEd->echoMode(), QLineEdit::Password);
    EXPECT_FALSE(Window.RetryEd->isEnabled());
    QTest::keyClicks(Window.UserEd, "2");
    QTest::mouseClick(Window.ConBtn, Qt::LeftButton);
    checked = true;
  });
  EXPECT_TRUE(Dlg.EnsureConnected(false));
  EXPECT_TRUE(checked);
  EXPECT_FALSE(Window.isVisible());
  EXPECT_EQ(Window.StatusBar1->currentMessage(), "Connected");
  EXPECT_EQ(Window.ConBtn->isEnabled(), Dlg.ConBtnEnabled);
  ASSERT_EQ(Sim.Dials().size(), 1u);
  EXPECT_EQ(Sim.Dials()[0].Params.EntryName, "Office");
  EXPECT_EQ(Sim.Dials()[0].Params.UserName, "alice2");
  EXPECT_EQ(Window.OffThread, 0);
}

TEST_F(DialUpWindowTest, CancelAndClosingTheWindowEndTheShowing) {
  Dlg.PrepareDialUp(true, false, {3});
  QTimer::singleShot(50, [&] { QTest::mouseClick(Window.CancelBtn, Qt::LeftButton); });
  EXPECT_FALSE(Dlg.EnsureConnected(false));
  EXPECT_TRUE(Dlg.Cancelled);

  Dlg.PrepareDialUp(true, false, {3});
  QTimer::singleShot(50, [&] { Window.close(); });
  EXPECT_FALSE(Dlg.EnsureConnected(false));
  EXPECT_FALSE(Dlg.Cancelled);  // closing is not the user's Cancel
  EXPECT_FALSE(Window.isVisible());

  Dlg.PrepareDialUp(true, false, {3});
  QTimer::singleShot(50, [&] { QTest::keyClick(&Window, Qt::Key_Escape); });
  EXPECT_FALSE(Dlg.EnsureConnected(false));
  EXPECT_TRUE(Sim.Dials().empty());
}

TEST_F(DialUpWindowTest, UnattendedFailureRedialsByItself) {
  Sim.QueueScript(TSimDialUp::Failure(DialErrLine));
  Dlg.PrepareDialUp(true, true, {1});
  EXPECT_TRUE(Dlg.EnsureConnected(true));
  EXPECT_EQ(Sim.Dials().size(), 2u);
  EXPECT_EQ(Window.StatusBar1->currentMessage(), "Retry(1): Connected");
  EXPECT_EQ(Window.OffThread, 0);
}

TEST_F(DialUpWindowTest, RetryEditTakesDigitsAndClampsAtAHundred) {
  Window.show();
  Window.RetryEd->setEnabled(true);
  Window.RetryEd->clear();
  Dlg.RetryEd.Text.clear();
  QTest::keyClicks(Window.RetryEd, "1a5x0");
  EXPECT_EQ(Window.RetryEd->text(), "150");
  EXPECT_EQ(Dlg.RetryEd.Text, "150");
  QTest::keyClick(Window.RetryEd, Qt::Key_Return);
  EXPECT_EQ(Dlg.RetryEd.Text, "100");
  EXPECT_EQ(Window.RetryEd->text(), "100");
  Window.hide();
}

TEST_F(DialUpWindowTest, TheEntryListIgnoresTheKeyboard) {
  Dlg.PBComboDropDown();
  Dlg.PBCombo.Text = "Office";
  Dlg.PBComboChange();
  Window.show();
  QTest::keyClick(Window.PBCombo, Qt::Key_Down);
  QTest::keyClicks(Window.PBCombo, "Home");
  EXPECT_EQ(Window.PBCombo->currentText(), "Office");
  EXPECT_EQ(Window.UserEd->text(), "alice");
  // Picking from the list loads the entry's user and password.
  Window.PBCombo->setCurrentIndex(1);
  emit Window.PBCombo->activated(1);
  EXPECT_EQ(Dlg.DialParams.EntryName, "Home");
  EXPECT_EQ(Window.UserEd->text(), "bob");
  Window.UseModemChk->setChecked(false);
  EXPECT_FALSE(Dlg.UseModemChk.load());
  Window.hide();
}

TEST(TickDriver, TimersSwitchedOnElsewhereTickOnTheUserInterfaceThread) {
  test::App();
  TTickSource source;
  TTickDriver driver(source);
  TThreadTimer timer(source);
  timer.SetInterval(30);
  std::vector<bool> onUiThread;
  timer.OnTimer = [&](TThreadTimer&) {
    onUiThread.push_back(QThread::currentThread() == qApp->thread());
  };
  QTest::qWait(100);
  EXPECT_TRUE(onUiThread.empty());  // nothing ticks while off
  std::thread([&] { timer.SetEnabled(true); }).join();
  QTRY_VERIFY_WITH_TIMEOUT(onUiThread.size() >= 3, 5000);
  std::thread([&] { timer.SetEnabled(false); }).join();
  QTest::qWait(50);
  size_t ticks = onUiThread.size();
  QTest::qWait(150);
  EXPECT_EQ(onUiThread.size(), ticks);
  EXPECT_EQ(std::count(onUiThread.begin(), onUiThread.end(), false), 0);
}

}  // namespace
}  // namespace qv
