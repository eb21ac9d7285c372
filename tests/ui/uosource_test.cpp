#include "ui/controls/uosource.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include <QCoreApplication>
#include <QDrag>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMimeData>
#include <QPointer>
#include <QRadioButton>
#include <QTableWidget>
#include <QTreeWidget>

#include "model/dropbytes.h"
#include "ui/controls/uodataobject.h"
#include "ui/uitest.h"

namespace qv {
namespace {

class SourceTest : public test::UiTest {
 protected:
  SourceTest() {
    Source.OnAfterDrop = [this](QObject* sender, QObject*, bool ok) {
      EXPECT_EQ(sender, &Source);
      AfterDrops.push_back(ok);
    };
    Source.OnCancelDrop = [this](QObject*) { ++Cancels; };
  }

  TUOTextSource Source;
  std::vector<bool> AfterDrops;
  int Cancels = 0;
  int Runs = 0;
};

TEST_F(SourceTest, NothingToDragStartsNoDrag) {
  Source.DragRunner = [this](QDrag&, Qt::DropActions) {
    ++Runs;
    return Qt::CopyAction;
  };
  EXPECT_FALSE(Source.Execute());
  EXPECT_EQ(Runs, 0);
  EXPECT_TRUE(AfterDrops.empty());
  EXPECT_EQ(Cancels, 0);
}

TEST_F(SourceTest, AskingForFilesRendersThemOnceAndACopyEndsInAfterDrop) {
  Source.CustomFormats.AddFormat("15", "");
  Source.CustomFormats.AddFormat("1", "");
  std::vector<std::string> rendered;
  Source.OnRenderCustomFormat = [&](QObject*, const std::string& name, std::string& out) {
    rendered.push_back(name);
    out = name == "15" ? BuildDropFilesBlock("", {"/tmp/a"}) : "text";
  };
  bool nested = true;
  Source.DragRunner = [&](QDrag& drag, Qt::DropActions allowed) {
    EXPECT_TRUE(Source.Dragging());
    nested = Source.Execute();
    EXPECT_EQ(allowed, Qt::CopyAction);
    EXPECT_EQ(drag.mimeData()->formats(), (QStringList{"text/uri-list", "text/plain"}));
    EXPECT_EQ(drag.mimeData()->data("text/uri-list"), QByteArray("file:///tmp/a\r\n"));
    EXPECT_EQ(drag.mimeData()->data("text/uri-list"), QByteArray("file:///tmp/a\r\n"));
    return Qt::CopyAction;
  };
  EXPECT_TRUE(Source.Execute());
  EXPECT_FALSE(nested);
  EXPECT_FALSE(Source.Dragging());
  EXPECT_EQ(rendered, std::vector<std::string>{"15"});
  EXPECT_EQ(Source.ServedFormatIndex, 0);
  EXPECT_EQ(AfterDrops, std::vector<bool>{true});
  EXPECT_EQ(Source.LastEffect, TDropEffects{TDropEffect::deCopy});
  EXPECT_EQ(Cancels, 0);
}

// An X11 receiver asks for the data after the drop, when the drag has
// returned: the data stays until the next drag starts.
TEST_F(SourceTest, DataOfADropOutlivesTheDrag) {
  Source.CustomFormats.AddFormat("1", "");
  int renders = 0;
  Source.OnRenderCustomFormat = [&](QObject*, const std::string&, std::string& out) {
    ++renders;
    out = "late";
  };
  QPointer<QMimeData> first;
  Source.DragRunner = [&](QDrag& drag, Qt::DropActions) {
    first = drag.mimeData();
    return Qt::CopyAction;
  };
  EXPECT_TRUE(Source.Execute());
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  ASSERT_FALSE(first.isNull());
  EXPECT_EQ(first->data("text/plain"), QByteArray("late"));
  EXPECT_EQ(renders, 1);

  Source.DragRunner = [](QDrag&, Qt::DropActions) { return Qt::CopyAction; };
  EXPECT_TRUE(Source.Execute());
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(first.isNull());
}

TEST_F(SourceTest, UntakenDragIsACancelUnlessDataWasAskedFor) {
  Source.SetText("abc");
  Source.DragRunner = [](QDrag&, Qt::DropActions) { return Qt::IgnoreAction; };
  EXPECT_TRUE(Source.Execute());
  EXPECT_EQ(Cancels, 1);
  EXPECT_TRUE(AfterDrops.empty());
  EXPECT_EQ(Source.LastEffect, TDropEffects{TDropEffect::deNone});

  // A receiver read the data, then refused: a drop whose effect is none.
  Source.DragRunner = [](QDrag& drag, Qt::DropActions) {
    EXPECT_EQ(drag.mimeData()->data("text/plain"), QByteArray("abc"));
    return Qt::IgnoreAction;
  };
  EXPECT_TRUE(Source.Execute());
  EXPECT_EQ(Cancels, 1);
  EXPECT_EQ(AfterDrops, std::vector<bool>{false});

  // Escape: the cancel is reported once.
  Source.DragRunner = [this](QDrag& drag, Qt::DropActions) {
    drag.mimeData()->data("text/plain");
    EXPECT_EQ(Source.QueryContinueDrag(true, Qt::LeftButton), TUOTextSource::TDragStatus::Cancel);
    return Qt::IgnoreAction;
  };
  EXPECT_TRUE(Source.Execute());
  EXPECT_EQ(Cancels, 2);
  EXPECT_EQ(AfterDrops.size(), 1u);
  EXPECT_EQ(Source.LastEffect, TDropEffects{TDropEffect::deNone});
}

TEST_F(SourceTest, DragGoesOnOnlyWhileItsButtonIsDown) {
  using S = TUOTextSource::TDragStatus;
  Source.SetText("abc");
  Source.MouseButton = Qt::RightButton;
  EXPECT_EQ(Source.QueryContinueDrag(false, Qt::RightButton | Qt::LeftButton), S::Continue);
  EXPECT_EQ(Source.QueryContinueDrag(false, Qt::LeftButton), S::Drop);

  // With an effect shown, the before-drop step may change the text or cancel.
  EXPECT_TRUE(Source.GiveFeedback(Qt::CopyAction));
  std::string seen;
  Source.OnBeforeDrop = [&](QObject*, QObject*, std::string& text, bool& cancel) {
    seen = text;
    text = "changed";
    cancel = true;
  };
  EXPECT_EQ(Source.QueryContinueDrag(false, Qt::NoButton), S::Cancel);
  EXPECT_EQ(seen, "abc");
  EXPECT_EQ(Source.Text(), "changed");
}

TEST_F(SourceTest, FeedbackRecordsTheEffectAndLetsTheHandlerTakeTheCursor) {
  std::vector<TDropEffect> seen;
  Source.OnGiveFeedback = [&](QObject*, TDropEffect e, bool& defCursors) {
    seen.push_back(e);
    defCursors = e != TDropEffect::deMove;
  };
  EXPECT_TRUE(Source.GiveFeedback(Qt::IgnoreAction));
  EXPECT_EQ(Source.LastEffect, TDropEffects{TDropEffect::deNone});
  EXPECT_FALSE(Source.GiveFeedback(Qt::MoveAction | Qt::LinkAction));
  EXPECT_EQ(Source.LastEffect, (TDropEffects{TDropEffect::deMove, TDropEffect::deLink}));
  EXPECT_EQ(seen, (std::vector<TDropEffect>{TDropEffect::deNone, TDropEffect::deMove}));
}

TEST_F(SourceTest, DonorsGiveTheirText) {
  QListWidget single;
  single.addItems({"a", "b"});
  Source.SetDonorComponent(&single);
  EXPECT_EQ(Source.Text(), "");  // nothing selected
  single.setCurrentRow(1);
  EXPECT_EQ(Source.Text(), "b");

  QListWidget multi;
  multi.setSelectionMode(QAbstractItemView::ExtendedSelection);
  multi.addItems({"a", "b", "c"});
  multi.item(2)->setSelected(true);
  multi.item(0)->setSelected(true);
  EXPECT_EQ(TextFromComponent(&multi), "a\r\nc");

  QTableWidget table(2, 2);
  table.setItem(1, 0, new QTableWidgetItem("cap"));
  table.setItem(1, 1, new QTableWidgetItem("sub"));
  table.selectRow(1);
  EXPECT_EQ(TextFromComponent(&table), "cap\tsub");

  QTreeWidget tree;
  auto* node = new QTreeWidgetItem(&tree, QStringList{"node"});
  EXPECT_EQ(TextFromComponent(&tree), "");
  tree.setCurrentItem(node);
  EXPECT_EQ(TextFromComponent(&tree), "node");

  QGroupBox radios("Choose");
  new QRadioButton("one", &radios);
  new QRadioButton("two", &radios);
  EXPECT_EQ(TextFromComponent(&radios), "one\r\ntwo\r\n");
  QGroupBox plain("Caption");
  EXPECT_EQ(TextFromComponent(&plain), "Caption");
  QLabel label(QString::fromUtf8("caf\xC3\xA9 \xE2\x82\xAC"));
  EXPECT_EQ(TextFromComponent(&label), "caf\xC3\xA9 \xE2\x82\xAC");
  QObject named;
  named.setObjectName("SomeName");
  EXPECT_EQ(TextFromComponent(&named), "SomeName");

  // Setting the text drops the donor; another donor empties the text; a
  // destroyed donor is let go.
  Source.SetText("own");
  EXPECT_EQ(Source.DonorComponent(), nullptr);
  EXPECT_EQ(Source.Text(), "own");
  auto gone = std::make_unique<QLabel>("label");
  Source.SetDonorComponent(gone.get());
  EXPECT_EQ(Source.Text(), "label");
  gone.reset();
  EXPECT_EQ(Source.DonorComponent(), nullptr);
}

}  // namespace
}  // namespace qv
