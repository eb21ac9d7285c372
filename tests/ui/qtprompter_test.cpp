#include "ui/qtprompter.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include "support/scratchdir.h"
#include "ui/uitest.h"

namespace qv {
namespace {

class QtPrompterTest : public test::UiTest {};

TEST_F(QtPrompterTest, TextIsUTF8WhereValidElseLatin1) {
  EXPECT_EQ(PromptText("caf\xc3\xa9"), QString::fromUtf8("caf\xc3\xa9"));
  EXPECT_EQ(PromptText("caf\xe9 ok"), QString::fromLatin1("caf\xe9 ok"));
  EXPECT_EQ(PromptText("cut \xc3"), QString::fromLatin1("cut \xc3"));
  EXPECT_EQ(PromptText(std::string("nul\0byte", 8)).size(), 8);
  const std::string path = "/srv/m\xc3\xa9rror/x";
  EXPECT_EQ(PathFromQ(PathToQ(path)), path);
}

TEST_F(QtPrompterTest, ChooserFiltersInTheDialogsForm) {
  EXPECT_EQ(DialogFilter("Mirror project files|*.mpj|All files|*.*"),
            "Mirror project files (*.mpj);;All files (*)");
  EXPECT_EQ(DialogFilter("Pictures|*.jpg;*.png"), "Pictures (*.jpg *.png)");
  EXPECT_EQ(DialogFilter("Text (*.txt)"), "Text (*.txt)");
  EXPECT_EQ(DialogFilter(""), "");
}

TEST_F(QtPrompterTest, BoxesOfferTheAskedButtonsAndMapTheAnswer) {
  struct {
    TMsgButtons Buttons;
    std::vector<QMessageBox::StandardButton> Offered;
  } cases[] = {
      {TMsgButtons::Ok, {QMessageBox::Ok}},
      {TMsgButtons::OkCancel, {QMessageBox::Ok, QMessageBox::Cancel}},
      {TMsgButtons::YesNo, {QMessageBox::Yes, QMessageBox::No}},
      {TMsgButtons::YesNoCancel, {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel}},
      {TMsgButtons::YesNoAll,
       {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel, QMessageBox::YesToAll}},
  };
  const std::map<QMessageBox::StandardButton, TMsgAnswer> answers = {
      {QMessageBox::Ok, TMsgAnswer::Ok},
      {QMessageBox::Cancel, TMsgAnswer::Cancel},
      {QMessageBox::Yes, TMsgAnswer::Yes},
      {QMessageBox::No, TMsgAnswer::No},
      {QMessageBox::YesToAll, TMsgAnswer::All}};
  for (const auto& c : cases) {
    auto box = MakeMessageBox(nullptr, "File: \"x\" already exists.", TMsgKind::Warning, c.Buttons);
    EXPECT_EQ(box->buttons().size(), static_cast<qsizetype>(c.Offered.size()));
    EXPECT_EQ(box->text(), "File: \"x\" already exists.");
    EXPECT_EQ(box->icon(), QMessageBox::Warning);
    EXPECT_EQ(AnswerOf(*box), TMsgAnswer::Cancel) << "nothing pressed";
    for (auto b : c.Offered) {
      auto again = MakeMessageBox(nullptr, "q", TMsgKind::Confirmation, c.Buttons);
      ASSERT_NE(again->button(b), nullptr);
      again->button(b)->click();
      EXPECT_EQ(AnswerOf(*again), answers.at(b));
    }
  }
  auto all = MakeMessageBox(nullptr, "q", TMsgKind::Warning, TMsgButtons::YesNoAll);
  EXPECT_EQ(all->button(QMessageBox::YesToAll)->text(), "&All");
}

// The chooser of "New mirror / Load mirror" as the user meets it: a name typed
// into it and Return pressed.
TEST_F(QtPrompterTest, TheOpenOrNewChooserTakesNewNamesAndExistingFiles) {
  test::TScratchDir dir;
  dir.Write("Old.mpj", "a project");
  struct {
    const char* Name;
    const char* Typed;
    std::string Chosen;
  } cases[] = {
      {"a new name without its extension", "First", dir / "First.mpj"},
      {"a new name with it", "Second.mpj", dir / "Second.mpj"},
      {"an existing file", "Old.mpj", dir / "Old.mpj"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    auto dlg = MakeOpenOrNewDialog(nullptr, "Open", dir.Path,
                                   "Mirror project files|*.mpj|All files|*.*", "mpj");
    EXPECT_EQ(dlg->windowTitle(), "Open");
    EXPECT_EQ(dlg->labelText(QFileDialog::Accept), "&Open");
    // A question the chooser raised (a refused name, an overwrite) would
    // wait for an answer: it is noted and closed.
    int questions = 0;
    QTimer guard;
    QObject::connect(&guard, &QTimer::timeout, [&] {
      QWidget* box = QApplication::activeModalWidget();
      if (box && box != dlg.get()) {
        ++questions;
        box->close();
      }
    });
    guard.start(20);
    dlg->show();
    auto* name = dlg->findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(name, nullptr);
    QTest::keyClicks(name, c.Typed);
    QTest::keyClick(name, Qt::Key_Return);
    EXPECT_EQ(dlg->result(), QDialog::Accepted);
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(dlg->selectedFiles(), QStringList{PathToQ(c.Chosen)});
    EXPECT_EQ(questions, 0);
  }
}

TEST_F(QtPrompterTest, WindowsShareOnePrompterThatTestsCanReplace) {
  TScriptedPrompter scripted;
  TPrompter& desktop = AppPrompter();
  SetAppPrompter(&scripted);
  EXPECT_EQ(&AppPrompter(), &scripted);
  SetAppPrompter(nullptr);
  EXPECT_EQ(&AppPrompter(), &desktop);
}

}  // namespace
}  // namespace qv
