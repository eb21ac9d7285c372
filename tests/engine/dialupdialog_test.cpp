#include "engine/dialupdialog.h"

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include <gtest/gtest.h>
#include <unistd.h>

#include "model/settings.h"
#include "support/envscope.h"
#include "support/manualloop.h"

namespace qv {
namespace {

// A window that records its showings and plays a scripted user: on showing n
// (1-based) the action runs after its delay.
struct TFakeView : TDialUpView {
  TDialUpDlg* Dlg = nullptr;
  TUiLoop* Loop = nullptr;
  int Showings = 0;
  std::map<int, std::pair<int, std::function<void(TDialUpDlg&)>>> Actions;
  std::vector<std::string> StatusSeen;

  void ShowForm() override {
    ++Showings;
    auto it = Actions.find(Showings);
    if (it != Actions.end()) {
      auto action = it->second.second;
      Loop->StartTimer(it->second.first, [this, action] { action(*Dlg); });
    }
  }
  void HideForm() override {}
  void ControlsChanged() override {
    if (StatusSeen.empty() || StatusSeen.back() != Dlg->StatusBar1)
      StatusSeen.push_back(Dlg->StatusBar1);
  }
};

// Loop, simulated service, dialog and window of one test; the log goes to a
// temporary folder.
struct TRig {
  test::TManualUiLoop Loop;
  std::unique_ptr<TDialUpDlg> Dlg;
  TSimDialUp Sim;  // destroyed before the loop and dialog: its thread posts
  TFakeView View;
  std::string LogPath;

  explicit TRig(const std::string& logPath) : LogPath(logPath) {
    Dlg = std::make_unique<TDialUpDlg>(Sim, Loop, LogPath);
    Dlg->Clock = [] { return std::time_t(1765000000); };  // 2025-12-06 05:46:40 UTC
    View.Dlg = Dlg.get();
    View.Loop = &Loop;
    Dlg->SetView(&View);
    Loop.Settle = [this] { Sim.WaitIdle(); };
    Sim.AddEntry({"Office", "555-0100", "", "alice", "secret", ""});
    Sim.AddEntry({"Home", "555-0199", "", "bob", "pw2", ""});
  }
  std::string Log() const {
    std::ifstream f(LogPath, std::ios::binary);
    if (!f) return "<none>";
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
  }
};

class DialUpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Env.Set("TZ", "UTC");
    tzset();
    R = std::make_unique<TRig>(LogPath);
  }
  void TearDown() override { R.reset(); }
  std::string Log() const { return R->Log(); }

  test::TScratchDir Scratch;
  test::TEnvScope Env;
  std::string Dir = Scratch.Path, LogPath = Scratch / "ConnectLog.txt";
  std::unique_ptr<TRig> R;
};

const std::string kStart =
    "     *****Start of dial sequence*****\r\n"
    "     Date: 12/06/25\r\n"
    "     Time: 05:46:40\r\n";
const std::string kEnd = "     *****End of dial sequence*****\r\n";

TEST_F(DialUpTest, UnattendedSequencesRedialUpToTheRetriesAndLogEveryStep) {
  const auto ok = TSimDialUp::Success();
  const auto fail = TSimDialUp::Failure(DialErrLine);
  struct Case {
    const char* Name;
    int Retries;
    std::vector<TSimDialUp::TScript> Scripts;
    bool Result;
    size_t Dials;
    std::string LogBody;
  } cases[] = {
      {"first try",
       2,
       {ok},
       true,
       1,
       "     Dialing host computer\r\n     Verifying user name and password\r\n"
       "     Logging onto network\r\n     Connected\r\n"},
      {"second try",
       2,
       {fail, ok},
       true,
       2,
       "     Dialing host computer\r\n     The remote computer did not answer\r\n"
       "     Retry(1): Dialing host computer\r\n"
       "     Retry(1): Verifying user name and password\r\n"
       "     Retry(1): Logging onto network\r\n     Retry(1): Connected\r\n"},
      {"gives up after the retries",
       2,
       {fail, fail, fail, ok},
       false,
       3,
       "     Dialing host computer\r\n     The remote computer did not answer\r\n"
       "     Retry(1): Dialing host computer\r\n"
       "     Retry(1): The remote computer did not answer\r\n"
       "     Retry(2): Dialing host computer\r\n"
       "     Retry(2): The remote computer did not answer\r\n"},
      {"no retries",
       0,
       {fail, ok},
       false,
       1,
       "     Dialing host computer\r\n     The remote computer did not answer\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    unlink(LogPath.c_str());
    TRig r(LogPath);
    for (const auto& script : c.Scripts) r.Sim.QueueScript(script);
    r.Dlg->PrepareDialUp(true, true, {c.Retries});
    EXPECT_EQ(r.Dlg->EnsureConnected(true), c.Result);
    EXPECT_EQ(r.Sim.Dials().size(), c.Dials);
    EXPECT_EQ(r.Log(), kStart + c.LogBody + kEnd);
    EXPECT_EQ(r.Dlg->IsConnected(), c.Result);
    EXPECT_EQ(r.Dlg->Cancelled, !c.Result);
    EXPECT_EQ(r.Dlg->RetryEd.Text, c.Result ? std::to_string(c.Retries) : "0");
  }
}

TEST_F(DialUpTest, RedialsWaitTwoSecondsAfterTheOneSecondDialTimer) {
  R->Sim.QueueScript(TSimDialUp::Failure(DialErrLine));
  R->Sim.QueueScript(TSimDialUp::Failure(DialErrLine));
  R->Sim.QueueScript(TSimDialUp::Failure(DialErrLine));
  R->Dlg->PrepareDialUp(true, true, {2});
  int64_t before = R->Loop.NowMs();
  EXPECT_FALSE(R->Dlg->EnsureConnected(true));
  // First dial after 1 s, each redial after 1 s of timer and 2 s of waiting,
  // then the window cancels itself after one more second.
  EXPECT_EQ(R->Loop.NowMs() - before, 1000 + 3000 + 3000 + 1000);
  EXPECT_EQ(R->View.Showings, 4);
}

TEST_F(DialUpTest, InteractiveDialsOnlyWhenConnectIsPressed) {
  // Showing 1: the user presses Connect; showing 2 dials and fails; showing 3
  // waits for the user, who cancels.
  R->Sim.QueueScript(TSimDialUp::Failure(DialErrAuth));
  R->View.Actions[1] = {500, [](TDialUpDlg& d) { d.ConBtnClick(); }};
  R->View.Actions[3] = {5000, [](TDialUpDlg& d) { d.CancelBtnClick(); }};
  R->Dlg->PrepareDialUp(true, false, {3});
  EXPECT_FALSE(R->Dlg->EnsureConnected(false));
  EXPECT_EQ(R->View.Showings, 3);
  ASSERT_EQ(R->Sim.Dials().size(), 1u);
  EXPECT_EQ(R->Sim.Dials()[0].Params.EntryName, "Office");
  EXPECT_EQ(R->Dlg->StatusBar1, "The user name or password was refused");
  EXPECT_TRUE(R->Dlg->ConBtnEnabled);
  EXPECT_TRUE(R->Dlg->Cancelled);
  EXPECT_EQ(Log(), "<none>");  // only unattended sequences are logged
  // Cancelled stays until the next preparation.
  EXPECT_FALSE(R->Dlg->EnsureConnected(false));
  EXPECT_EQ(R->View.Showings, 3);
}

TEST_F(DialUpTest, InteractiveDialUsesTheTypedUserAndPassword) {
  R->View.Actions[1] = {100, [](TDialUpDlg& d) {
                          d.UserEd = "carol";
                          d.PWEd = std::string(300, 'p');
                          d.ConBtnClick();
                        }};
  R->Dlg->PrepareDialUp(true, false, {3});
  EXPECT_TRUE(R->Dlg->EnsureConnected(false));
  ASSERT_EQ(R->Sim.Dials().size(), 1u);
  EXPECT_EQ(R->Sim.Dials()[0].Params.UserName, "carol");
  EXPECT_EQ(R->Sim.Dials()[0].Params.Password, std::string(256, 'p'));
  EXPECT_EQ(R->Sim.Dials()[0].Params.PhoneNumber, "555-0100");
  EXPECT_EQ(R->Dlg->PendingConnection, 0u);  // the connection is kept, not pending
  EXPECT_TRUE(R->Sim.HangUps().empty());
  EXPECT_EQ(R->Dlg->StatusBar1, "Connected");
}

TEST_F(DialUpTest, NoDialogWhenTheModemIsNotUsedOrTheLinkIsUp) {
  TNoDialUp none;
  test::TManualUiLoop loop;
  TDialUpDlg noService(none, loop, LogPath);
  noService.PrepareDialUp(true, true, {3});
  EXPECT_TRUE(noService.IsConnected());
  EXPECT_TRUE(noService.EnsureConnected(true));
  noService.HangUpAll();

  R->Dlg->PrepareDialUp(false, true, {3});
  EXPECT_TRUE(R->Dlg->IsConnected());
  EXPECT_TRUE(R->Dlg->EnsureConnected(true));
  EXPECT_EQ(R->Sim.StatusQueries(), 0);

  R->Sim.ConnectNow("Office");
  R->Dlg->PrepareDialUp(true, true, {3});
  EXPECT_TRUE(R->Dlg->EnsureConnected(true));
  EXPECT_EQ(R->View.Showings, 0);
  EXPECT_TRUE(R->Sim.Dials().empty());
  EXPECT_EQ(Log(), "<none>");
}

TEST_F(DialUpTest, ALinkThatDropsDuringAJobIsRedialled) {
  R->Dlg->PrepareDialUp(true, true, {2});
  ASSERT_TRUE(R->Dlg->EnsureConnected(true));
  EXPECT_TRUE(R->Dlg->IsConnected());
  R->Sim.DropLink();
  EXPECT_FALSE(R->Dlg->IsConnected());
  R->Sim.QueueScript(TSimDialUp::Failure(DialErrLine));
  EXPECT_TRUE(R->Dlg->EnsureConnected(true));
  EXPECT_TRUE(R->Dlg->IsConnected());
  EXPECT_EQ(R->Sim.Dials().size(), 3u);
  std::string log = Log();
  EXPECT_EQ(log.find(kStart), 0u);
  EXPECT_NE(log.find(kEnd + kStart), std::string::npos);  // two sequences
  EXPECT_NE(log.find("     Retry(1): The remote computer did not answer\r\n"), std::string::npos);
}

TEST_F(DialUpTest, ALineDroppedWhileDiallingHangsUpAndRetries) {
  R->Sim.QueueScript({{0, DialStateOpenPort, 0}, {0, DialStateDisconnected, 0}});
  R->Dlg->PrepareDialUp(true, true, {1});
  EXPECT_TRUE(R->Dlg->EnsureConnected(true));
  ASSERT_EQ(R->Sim.Dials().size(), 2u);
  EXPECT_EQ(R->Sim.HangUps(), std::vector<TDialHandle>{R->Sim.Dials()[0].Handle});
  EXPECT_NE(Log().find("     Disconnected\r\n     Retry(1): Dialing"), std::string::npos);
}

TEST_F(DialUpTest, AFailedDialCallRetriesInsteadOfWaitingForever) {
  R->Sim.FailNextDialCall(DialErrNoEntry);
  R->Dlg->PrepareDialUp(true, true, {1});
  EXPECT_TRUE(R->Dlg->EnsureConnected(true));
  EXPECT_EQ(R->Sim.Dials().size(), 1u);
  EXPECT_NE(Log().find("     The phonebook entry was not found\r\n     Retry(1): Dialing"),
            std::string::npos);

  // Unattended with no retries left, the window cancels itself.
  R->Sim.DropLink();
  R->Sim.FailNextDialCall(DialErrNoEntry);
  R->Dlg->PrepareDialUp(true, true, {0});
  EXPECT_FALSE(R->Dlg->EnsureConnected(true));
}

TEST_F(DialUpTest, CancelWhileWaitingToRedialStopsTheDial) {
  R->Sim.QueueScript(TSimDialUp::Failure(DialErrLine));
  // Showing 2 redials after its 1-s timer and a 2-s wait; cancel in the wait.
  R->View.Actions[2] = {1500, [](TDialUpDlg& d) { d.CancelBtnClick(); }};
  R->Dlg->PrepareDialUp(true, true, {2});
  EXPECT_FALSE(R->Dlg->EnsureConnected(true));
  EXPECT_EQ(R->Sim.Dials().size(), 1u);
}

TEST_F(DialUpTest, HangUpAllLogsAndTakesEveryConnectionDown) {
  R->Dlg->PrepareDialUp(true, true, {2});
  ASSERT_TRUE(R->Dlg->EnsureConnected(true));
  TDialHandle other = R->Sim.ConnectNow("Home");
  std::string before = Log();
  R->Dlg->HangUpAll();
  EXPECT_EQ(Log(), before + "*****Disconnecting*****\r\n\r\n");
  EXPECT_EQ(R->Sim.HangUps().size(), 2u);
  EXPECT_EQ(R->Sim.HangUps().back(), other);
  EXPECT_FALSE(R->Dlg->IsConnected());
  EXPECT_EQ(R->Dlg->RetryEd.Text, "0");
  EXPECT_EQ(R->Dlg->RedialCount, 0);
  // Nothing up: nothing logged.
  R->Dlg->HangUpAll();
  EXPECT_EQ(Log(), before + "*****Disconnecting*****\r\n\r\n");
}

TEST_F(DialUpTest, RetryEditAndPhonebookEntries) {
  struct {
    const char* Text;
    int Number;
    const char* AfterExit;
  } rows[] = {{"150", 150, "100"}, {"100", 100, "100"}, {"7", 7, "7"},
              {"abc", 0, "abc"},   {"", 0, ""},         {"99999999999", 1000000000, "100"}};
  for (const auto& r : rows) {
    R->Dlg->RetryEd.Text = r.Text;
    EXPECT_EQ(R->Dlg->RetryNumber(), r.Number) << r.Text;
    R->Dlg->RetryEdExit();
    EXPECT_EQ(R->Dlg->RetryEd.Text, r.AfterExit) << r.Text;
  }

  R->Dlg->PBComboDropDown();
  EXPECT_EQ(R->Dlg->PBCombo.Items, (std::vector<std::string>{"Office", "Home"}));
  R->Dlg->PBCombo.Text = "Home";
  R->Dlg->PBComboChange();
  EXPECT_EQ(R->Dlg->UserEd, "bob");
  EXPECT_EQ(R->Dlg->PWEd, "pw2");
  EXPECT_EQ(R->Dlg->DialParams.EntryName, "Home");
  R->Dlg->PBCombo.Text = "Gone";
  R->Dlg->PBComboChange();
  EXPECT_EQ(R->Dlg->UserEd, "");
  EXPECT_EQ(R->Dlg->PWEd, "");
  EXPECT_EQ(R->Dlg->DialParams.EntryName, "Gone");
}

TEST_F(DialUpTest, TheLogIsCreatedInTheProgramFolder) {
  std::string home = Dir + "/not yet made";
  Env.Set("QUENDRAVILOS_HOME", home);
  {
    TSimDialUp sim;
    test::TManualUiLoop loop;
    loop.Settle = [&] { sim.WaitIdle(); };
    TDialUpDlg dlg(sim, loop);
    dlg.Clock = [] { return std::time_t(1765000000); };
    dlg.PrepareDialUp(true, true, {0});
    EXPECT_TRUE(dlg.EnsureConnected(true));
  }
  std::string path = home + "/ConnectLog.txt";
  const std::string log = test::ReadBytes(path);
  EXPECT_EQ(log.rfind(kStart, 0), 0u);
  EXPECT_NE(log.find("     Connected\r\n" + kEnd), std::string::npos);
}

TEST_F(DialUpTest, PreparationTakesTheRetriesFromTheSettings) {
  TSettings settings;
  settings.DialupsUD = 4;
  GlobalSettings().Publish(settings);
  R->Dlg->AutoDisChk = true;
  R->Dlg->Cancelled = true;
  R->Dlg->PrepareDialUp(true, true);
  EXPECT_EQ(R->Dlg->RetryEd.Text, "4");
  EXPECT_EQ(R->Dlg->RedialCount, -1);
  EXPECT_TRUE(R->Dlg->Unattended);
  EXPECT_FALSE(R->Dlg->AutoDisChk);
  EXPECT_FALSE(R->Dlg->Cancelled);
  R->Dlg->PrepareDialUp(false, false);
  EXPECT_EQ(R->Dlg->RedialCount, 30000);
  EXPECT_FALSE(R->Dlg->UseModemChk);
}

TEST(DialUpNoEntries, EmptyPhonebookEmptiesTheFields) {
  TSimDialUp sim;
  test::TManualUiLoop loop;
  TDialUpDlg dlg(sim, loop, "");
  dlg.UserEd = "old";
  dlg.PWEd = "old";
  dlg.PrepareDialUp(true, false, {3});
  // The user cancels at once: the window was filled before it showed.
  struct TCancel : TDialUpView {
    TDialUpDlg* D;
    void ShowForm() override {
      EXPECT_EQ(D->PBCombo.Text, "");
      EXPECT_EQ(D->UserEd, "");
      EXPECT_EQ(D->PWEd, "");
      D->CancelBtnClick();
    }
    void HideForm() override {}
    void ControlsChanged() override {}
  } view;
  view.D = &dlg;
  dlg.SetView(&view);
  EXPECT_FALSE(dlg.EnsureConnected(false));
}

}  // namespace
}  // namespace qv
