#include "ui/dropdialog.h"

#include <condition_variable>
#include <mutex>
#include <thread>

#include <QCheckBox>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

#include "support/fakesound.h"
#include "support/scratchdir.h"
#include "ui/controls/framedpanel.h"
#include "ui/helpwindow.h"
#include "ui/startup.h"
#include "uitest.h"

namespace qv {
namespace {

class TCountingSink : public TDroppedURLSink {
 public:
  std::vector<std::string> Added;
  int AddFoundURL(const std::string& url, const std::string&, const std::string&,
                  int32_t) override {
    Added.push_back(url);
    return static_cast<int>(Added.size()) - 1;
  }
  void SetModified() override {}
  void SelectURL(const std::string&) override {}
  TStringList RootRows() const override { return {}; }
  int AddRootRow(const std::string&, uint32_t) override { return 0; }
  void SetRootURLAttributes(int, uint8_t, uint8_t) override {}
  void SelectRoot(int) override {}
  void RepaintRoots() override {}
  void DropFeedback(TDropZone zone) override { Dlg->DropFeedback(zone); }
  TDropDlg* Dlg = nullptr;
};

using test::TFakePlayer;
using test::TPlayLog;

class DropDlgTest : public test::UiTest {
 protected:
  DropDlgTest() {
    Sink.Dlg = &Dlg;
    Dlg.Sink = &Sink;
    Dlg.Prompter = &Prompter;
    Dlg.OnShowMain = [this](bool show) { MainShown.push_back(show); };
  }
  ~DropDlgTest() override { SetProgramArguments({}); }

  TDropDlg Dlg{nullptr, ""};
  TCountingSink Sink;
  TScriptedPrompter Prompter;
  std::vector<bool> MainShown;
};

TEST_F(DropDlgTest, CornersAndKeepingThePosition) {
  const QRect sr = QGuiApplication::primaryScreen()->geometry();
  struct {
    const char* Name;
    bool TL, TR, BL, BR;
    int Right, Bottom;  // 1: at that edge
  } cases[] = {
      {"top left", true, false, false, false, 0, 0},
      {"top right", false, true, false, false, 1, 0},
      {"bottom left", false, false, true, false, 0, 1},
      {"bottom right", false, false, false, true, 1, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TDropDlg dlg(nullptr, "");
    TSettings s;
    s.TLChk = c.TL, s.TRChk = c.TR, s.BLChk = c.BL, s.BRChk = c.BR;
    s.MainPosChk = true;
    s.HideMainChk = true;
    dlg.ShowDropWindow(s);
    const QRect f = dlg.frameGeometry();
    EXPECT_EQ(f.x(), c.Right ? sr.right() + 1 - f.width() : sr.x());
    EXPECT_EQ(f.y(), c.Bottom ? sr.bottom() + 1 - f.height() : sr.y());
    EXPECT_FALSE(dlg.ShowMainChk->isChecked());
    // Moved by the user, it stays there with "keep position" on; without it
    // it goes back to its corner.
    dlg.move(33, 44);
    s.HideMainChk = false;
    dlg.ShowDropWindow(s);
    EXPECT_EQ(dlg.pos(), QPoint(33, 44));
    EXPECT_FALSE(dlg.ShowMainChk->isChecked());  // taken from the settings once
    s.MainPosChk = false;
    dlg.ShowDropWindow(s);
    EXPECT_EQ(dlg.frameGeometry().topLeft(), f.topLeft());
  }
}

TEST_F(DropDlgTest, ADropTurnsTheZoneGreenForTenTicks) {
  Dlg.ZoneDragEnter(TDropZone::RootURLs);
  EXPECT_EQ(TDropDlg::ZoneColour(Dlg.PageURLs), kZoneOver);
  Dlg.ZoneDragLeave(TDropZone::RootURLs);
  EXPECT_EQ(TDropDlg::ZoneColour(Dlg.PageURLs), kZoneRest);
  // The Images zone lights up only for an image record or an HTML fragment.
  Dlg.ZoneDragEnter(TDropZone::Images);
  EXPECT_EQ(TDropDlg::ZoneColour(Dlg.Images), kZoneRest);

  Dlg.ZoneDrop(TDropZone::SingURLs, {0, -1, "http://h/a", ""});
  EXPECT_EQ(Sink.Added, std::vector<std::string>{"http://h/a"});
  EXPECT_EQ(TDropDlg::ZoneColour(Dlg.SingURLs), kZoneDropped);
  EXPECT_TRUE(Dlg.Timer1->isActive());
  for (int i = 0; i < 9; ++i) Dlg.Timer1Timer();
  EXPECT_EQ(TDropDlg::ZoneColour(Dlg.SingURLs), kZoneDropped);
  Dlg.Timer1Timer();
  EXPECT_EQ(TDropDlg::ZoneColour(Dlg.SingURLs), kZoneRest);
  EXPECT_FALSE(Dlg.Timer1->isActive());
  EXPECT_TRUE(Prompter.Prompts.empty());
}

TEST_F(DropDlgTest, ANonLinkIsToldThroughThePrompter) {
  Dlg.ZoneDrop(TDropZone::SingURLs, {1, -1, "SourceURL:http://h/\n<img src=a.gif>", ""});
  ASSERT_EQ(Prompter.Prompts.size(), 1u);
  EXPECT_EQ(Prompter.Prompts[0].Text, kNotALinkText);
  EXPECT_TRUE(Sink.Added.empty());
}

TEST_F(DropDlgTest, TheSoundPlaysOnceOffTheUserInterfaceThread) {
  EXPECT_FALSE(Dlg.SoundLoaded());
  Dlg.DropFeedback(TDropZone::Images);  // silent without the file

  test::TScratchDir dir;
  const std::string wav =
      std::string("RIFF") + std::string("\x28\0\0\0", 4) + "WAVEfmt " +
      std::string("\x10\0\0\0\x01\0\x01\0\x40\x1f\0\0\x40\x1f\0\0\x01\0\x08\0", 20) + "data" +
      std::string("\x04\0\0\0", 4) + "abcd";
  TPlayLog log;
  TPlayLog* fake = &log;
  auto player = std::make_unique<TFakePlayer>(log);
  {
    TDropDlg dlg(nullptr, dir.Write("Drop.wav", wav), std::move(player));
    ASSERT_TRUE(dlg.SoundLoaded());
    dlg.DropFeedback(TDropZone::SingURLs);
    std::unique_lock<std::mutex> hold(fake->Lock);
    fake->Done.wait(hold, [&] { return fake->Plays > 0; });
    EXPECT_NE(fake->On, std::this_thread::get_id());
  }
  EXPECT_EQ(fake->Plays, 1);
}

// "Help" chosen with the mouse after a right click shows the topic of the
// zone or box under the pointer.
TEST_F(DropDlgTest, HelpChosenWithTheMouseShowsTheZonesTopic) {
  std::vector<int> help;
  HelpRequests = [&](int c) { help.push_back(c); };
  Dlg.show();
  const struct {
    QWidget* Control;
    int Context;
  } cases[] = {{Dlg.SingURLs, 61}, {Dlg.PageURLs, 62}, {Dlg.Images, 63}, {Dlg.ShowMainChk, 64}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Context);
    help.clear();
    test::RightClick(c.Control);
    ASSERT_TRUE(test::ClickPopupItem("Help"));
    EXPECT_EQ(help, std::vector<int>{c.Context});
  }
  HelpRequests = nullptr;
}

TEST_F(DropDlgTest, FirstShowingWithSStartsTheScheduleOnce) {
  int starts = 0;
  Dlg.OnScheduleStart = [&] { ++starts; };
  SetProgramArguments({"/s"});
  Dlg.FirstShow();
  Dlg.FirstShow();
  EXPECT_EQ(starts, 1);
}

TEST_F(DropDlgTest, ClosingHidesUnlessTheProgramEnds) {
  Dlg.show();
  EXPECT_FALSE(Dlg.close());
  EXPECT_FALSE(Dlg.isVisible());
  EXPECT_EQ(MainShown.back(), true);

  bool scheduleEnds = true;
  Dlg.OnScheduleClose = [&] { return scheduleEnds; };
  Dlg.show();
  bool canClose = false;
  Dlg.FormCloseQuery(canClose);
  EXPECT_TRUE(canClose);
  scheduleEnds = false;
  Dlg.FormCloseQuery(canClose);
  EXPECT_FALSE(canClose);
  Dlg.Closing = true;
  Dlg.FormCloseQuery(canClose);
  EXPECT_TRUE(canClose);
}

}  // namespace
}  // namespace qv
