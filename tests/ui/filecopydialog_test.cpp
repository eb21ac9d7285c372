#include "ui/filecopydialog.h"

#include <filesystem>

#include <gtest/gtest.h>

#include <QLineEdit>

#include "model/streamext.h"
#include "model/vkglobal.h"
#include "support/scratchdir.h"
#include "ui/uitest.h"

namespace qv {
namespace {

using test::ReadBytes;
using test::WriteBytes;

namespace fs = std::filesystem;

class FileCopyDlgTest : public test::UiTest {
 protected:
  void SetUp() override { Dlg.SetPrompter(&Prompter); }

  test::TScratchDir Scratch;
  TFileCopyDlg Dlg;
  TScriptedPrompter Prompter;
};

TEST_F(FileCopyDlgTest, ARunShowsEachFileAndEndsIdle) {
  EXPECT_EQ(Dlg.windowTitle(), "Copying File:");
  EXPECT_FALSE(Dlg.Cancelled);
  EXPECT_TRUE(Dlg.Idle);
  EXPECT_EQ(Dlg.Count, 0);

  const std::string src = Scratch.Write("web/http/h/p.html/Data.html", "hello");
  const std::string dst = Scratch / "out/p.html";
  fs::create_directories(Scratch / "out");
  Dlg.Start("2");
  EXPECT_TRUE(Dlg.isVisible());
  EXPECT_FALSE(Dlg.Idle);
  EXPECT_EQ(Dlg.TotFiles->text(), "2");
  ASSERT_TRUE(Dlg.CopyOneFile(src, dst));
  EXPECT_EQ(ReadBytes(dst), "hello");
  EXPECT_EQ(Dlg.Count, 1);
  EXPECT_EQ(Dlg.FileCountEdit->text(), "1");
  EXPECT_EQ(Dlg.FileSize->text(), "5");
  EXPECT_TRUE(Dlg.FromFile->text().endsWith("Data.html"));
  EXPECT_TRUE(Dlg.ToFile->text().endsWith("p.html"));
  // Long paths lose leading folders to fit the box.
  EXPECT_LE(Dlg.FromFile->fontMetrics().horizontalAdvance(Dlg.FromFile->text()),
            Dlg.FromFile->contentsRect().width() - 20);

  Dlg.Finish();
  EXPECT_TRUE(Dlg.Idle);
  EXPECT_FALSE(Dlg.isVisible());
  Dlg.close();  // after the run: no question
  EXPECT_TRUE(Prompter.Prompts.empty());
}

TEST_F(FileCopyDlgTest, ClosingDuringARunAsksAndYesCancelsTheRest) {
  const std::string src = Scratch.Write("a", "A");
  Dlg.Start("3");
  Prompter.Answers = {TMsgAnswer::No, TMsgAnswer::Yes};
  Dlg.close();
  EXPECT_TRUE(Dlg.isVisible());
  EXPECT_FALSE(Dlg.Cancelled);
  Dlg.close();
  EXPECT_FALSE(Dlg.isVisible());
  EXPECT_TRUE(Dlg.Cancelled);
  ASSERT_EQ(Prompter.Prompts.size(), 2u);
  EXPECT_EQ(Prompter.Prompts[0].Text, "Do you want to cancel the copy opperation:-\n");
  EXPECT_FALSE(Dlg.CopyOneFile(src, Scratch / "b"));
  EXPECT_FALSE(fs::exists(Scratch / "b"));
  EXPECT_EQ(Dlg.Count, 0);
  Dlg.Start("1");
  EXPECT_FALSE(Dlg.Cancelled) << "a new run starts uncancelled";
  EXPECT_TRUE(Dlg.CopyOneFile(src, Scratch / "b"));
  Dlg.Finish();
}

TEST_F(FileCopyDlgTest, AFailedCopyRaisesAndTheRunStillEndsIdle) {
  CreateGlobals();
  Scratch.Write("web/http/h/a.html/Data.html", "A");
  fs::create_directories(Scratch / "out");
  TLocalCopyEnv env;
  env.Prompter = &Prompter;
  Prompter.Paths = {Scratch / "out"};
  EXPECT_THROW(
      CopyGridSelectionTo(Scratch / "web", {"http://h/a.html", "http://h/missing.html"}, env, Dlg),
      EInOutError);
  EXPECT_EQ(ReadBytes(Scratch / "out/a.html"), "A");
  EXPECT_TRUE(Dlg.Idle);
  EXPECT_FALSE(Dlg.isVisible());
  EXPECT_EQ(Dlg.Count, 2);
  FreeGlobals();
}

}  // namespace
}  // namespace qv
