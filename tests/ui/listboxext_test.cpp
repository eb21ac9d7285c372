#include "ui/controls/listboxext.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QLineEdit>
#include <QTest>

#include "ui/controls/checklistboxext.h"
#include "ui/uitest.h"

namespace qv {
namespace {

using Strings = std::vector<std::string>;

class ListBoxExtTest : public test::UiTest {
 protected:
  void SetUp() override { test::App(); }
  void Fill(TListBoxExt& b, const Strings& items) {
    for (const auto& s : items) b.AddItem(s);
  }
  void Select(TListBoxExt& b, std::initializer_list<int> rows) {
    for (int r : rows) b.item(r)->setSelected(true);
  }
};

TEST_F(ListBoxExtTest, GetSelStringsLeavesOutEmptyConversions) {
  TListBoxExt b;
  b.setSelectionMode(QAbstractItemView::MultiSelection);
  Fill(b, {"a", "skip", "c", "d"});
  Select(b, {0, 1, 3});
  EXPECT_EQ(b.GetSelStrings(), (Strings{"a", "skip", "d"}));
  auto drop = [](const std::string& s) { return s == "skip" ? std::string() : s + "!"; };
  EXPECT_EQ(b.GetSelStrings(drop), (Strings{"a!", "d!"}));
}

TEST_F(ListBoxExtTest, DeleteSelectedPlacesTheIndex) {
  struct Case {
    const char* name;
    Strings items;
    std::vector<int> selected;
    Strings left;
    int index;
  } cases[] = {
      {"last item makes the new last current", {"a", "b", "c"}, {2}, {"a", "b"}, 1},
      {"a run keeps the position of the last deletion",
       {"a", "b", "c", "d"},
       {1, 2},
       {"a", "d"},
       1},
      {"scattered", {"a", "b", "c", "d", "e"}, {0, 2, 3}, {"b", "e"}, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TListBoxExt b;
    b.setSelectionMode(QAbstractItemView::MultiSelection);
    Fill(b, c.items);
    for (int r : c.selected) b.item(r)->setSelected(true);
    b.DeleteSelected();
    EXPECT_EQ(b.ItemTexts(), c.left);
    EXPECT_EQ(b.ItemIndex(), c.index);
    EXPECT_TRUE(b.item(c.index)->isSelected());
  }
}

TEST_F(ListBoxExtTest, DeletingEveryItemLeavesAnEmptyList) {
  TListBoxExt b;
  b.setSelectionMode(QAbstractItemView::MultiSelection);
  Fill(b, {"a", "b"});
  Select(b, {0, 1});
  b.DeleteSelected();
  EXPECT_EQ(b.Count(), 0);
}

TEST_F(ListBoxExtTest, SetSelectedItemInMultiSelect) {
  TListBoxExt b;
  b.setSelectionMode(QAbstractItemView::MultiSelection);
  Fill(b, {"a", "b", "c"});
  Select(b, {0, 2});
  b.SetSelectedItem(1);
  EXPECT_EQ(b.ItemIndex(), 1);
  EXPECT_EQ(b.GetSelStrings(), (Strings{"b"}));
  // -1 clears the index but leaves the selection alone.
  b.SetSelectedItem(-1);
  EXPECT_EQ(b.ItemIndex(), -1);
  EXPECT_EQ(b.GetSelStrings(), (Strings{"b"}));
}

TEST_F(ListBoxExtTest, ClipboardCopyAndPaste) {
  TListBoxExt b;
  b.setSelectionMode(QAbstractItemView::MultiSelection);
  Fill(b, {"http://a.example/", "x"});
  Select(b, {0, 1});
  b.CopySelected();
  EXPECT_EQ(QApplication::clipboard()->text(), "http://a.example/\r\nx\r\n");

  // Empty lines are skipped; a line equal to an entry ignoring case and the
  // ignored characters is not added again.
  QApplication::clipboard()->setText(" HTTP://A.EXAMPLE/ \r\n\r\nnew\nNEW\rX-\n");
  b.PasteText("-");
  EXPECT_EQ(b.ItemTexts(), (Strings{"http://a.example/", "x", "new"}));

  QApplication::clipboard()->setText("");
  b.PasteText("");
  EXPECT_EQ(b.Count(), 3);
}

TEST_F(ListBoxExtTest, CutCopyPasteKeys) {
  TListBoxExt b;
  Fill(b, {"a", "b"});
  EXPECT_FALSE(b.CutCopyPaste(Qt::Key_Delete, Qt::NoModifier, ""));  // nothing current
  b.SetSelectedItem(0);
  EXPECT_TRUE(b.CutCopyPaste(Qt::Key_Insert, Qt::ControlModifier, ""));
  EXPECT_EQ(QApplication::clipboard()->text(), "a\r\n");
  QApplication::clipboard()->setText("c");
  EXPECT_TRUE(b.CutCopyPaste(Qt::Key_Insert, Qt::ShiftModifier, ""));
  EXPECT_TRUE(b.CutCopyPaste(Qt::Key_Delete, Qt::NoModifier, ""));
  EXPECT_EQ(b.ItemTexts(), (Strings{"b", "c"}));
  EXPECT_FALSE(b.CutCopyPaste(Qt::Key_A, Qt::NoModifier, ""));
}

TEST_F(ListBoxExtTest, EditBoxMoves) {
  TListBoxExt b;
  QLineEdit e;
  e.setText("  x ");
  b.AddFromEdit(&e);
  EXPECT_EQ(b.ItemTexts(), (Strings{"x"}));
  EXPECT_EQ(e.text(), "");
  e.setText("x");
  b.AddFromEdit(&e);  // already present: the box keeps its text
  EXPECT_EQ(b.Count(), 1);
  EXPECT_EQ(e.text(), "x");
  e.clear();
  b.SetSelectedItem(0);
  b.ItemToEdit(&e);
  EXPECT_EQ(e.text(), "x");
  EXPECT_EQ(b.Count(), 0);
}

TEST_F(ListBoxExtTest, CheckListReportsFocusTextChangesOnly) {
  TCheckListBoxExt b;
  b.AddItem("same");
  b.AddItem("same");
  b.AddItem("other");
  std::vector<int> fired;
  b.OnChangeFocus = [&](TCheckListBoxExt*, int index, const QRect&, QStyle::State) {
    fired.push_back(index);
  };
  const QStyle::State focused = QStyle::State_Selected | QStyle::State_HasFocus;
  b.SetSelectedItem(0);
  b.DrawItem(0, {}, focused);
  b.DrawItem(0, {}, focused);                 // repaint: no second report
  b.DrawItem(0, {}, QStyle::State_Selected);  // not focused: ignored
  b.SetSelectedItem(1);
  b.DrawItem(1, {}, focused);  // identical text: no report
  b.SetSelectedItem(2);
  b.DrawItem(2, {}, focused);
  EXPECT_EQ(fired, (std::vector<int>{0, 2}));
  EXPECT_EQ(b.FocusText(), "other");
  b.SetSelectedItem(-1);
  b.DrawItem(2, {}, focused);  // no current item: the text empties once
  b.DrawItem(2, {}, focused);
  EXPECT_EQ(fired, (std::vector<int>{0, 2, 2}));
  EXPECT_EQ(b.FocusText(), "");
}

TEST_F(ListBoxExtTest, CheckListReportsThroughRealPainting) {
  TCheckListBoxExt b;
  b.AddItem("one");
  b.AddItem("two");
  std::vector<std::string> seen;
  b.OnChangeFocus = [&](TCheckListBoxExt* c, int, const QRect&, QStyle::State) {
    seen.push_back(c->FocusText());
  };
  b.show();
  b.activateWindow();
  b.setFocus();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&b));
  b.SetSelectedItem(1);
  b.repaint();
  test::Pump();
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back(), "two");
}

TEST_F(ListBoxExtTest, CheckMarksAndUserClicks) {
  TCheckListBoxExt b;
  std::vector<int> clicks;
  b.OnClickCheck = [&](TCheckListBoxExt*, int i) { clicks.push_back(i); };
  b.AddItem("a");
  b.AddItem("b", true);
  b.SetChecked(0, true);  // programmatic: not a user click
  EXPECT_TRUE(b.Checked(0));
  EXPECT_TRUE(b.Checked(1));
  EXPECT_TRUE(clicks.empty());
  b.item(1)->setCheckState(Qt::Unchecked);  // as the view does on a click
  EXPECT_EQ(clicks, (std::vector<int>{1}));
}

}  // namespace
}  // namespace qv
