#include "ui/controls/stringatrgrid.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>
#include <QToolButton>

#include "ui/controls/filtergrid.h"
#include "ui/uitest.h"

namespace qv {
namespace {

using Strings = std::vector<std::string>;

struct Edit {
  int Col, Row;
  std::string Text;
  bool operator==(const Edit&) const = default;
};

class AtrGridTest : public test::UiTest {
 protected:
  void SetUp() override {
    test::App();
    Grid.SetHeadings({"Name"});
    Grid.resize(300, 200);
    Grid.OnEdited = [this](TStringAtrGrid*, int c, int r, const std::string& t) {
      Edits.push_back({c, r, t});
    };
    Grid.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Grid));
  }
  void Fill(const Strings& rows) {
    for (const auto& r : rows) Grid.AddRow(r);
  }
  Strings Texts() const {
    Strings v;
    for (const auto& r : Grid.Rows()) v.push_back(r.Text);
    return v;
  }
  // Opens the editor on a cell (grid row numbering), replaces its text and
  // finishes with the given key.
  QLineEdit* OpenEditor(int col, int gridRow) {
    const QModelIndex i = Grid.Model()->index(gridRow - 1, col);
    Grid.setCurrentIndex(i);
    Grid.edit(i);
    return Grid.viewport()->findChild<QLineEdit*>();
  }
  void Type(int col, int gridRow, const QString& text, Qt::Key finish = Qt::Key_Return) {
    QLineEdit* e = OpenEditor(col, gridRow);
    ASSERT_NE(e, nullptr);
    e->selectAll();
    QTest::keyClicks(e, text);
    QTest::keyClick(e, finish);
    test::Pump();
  }

  TStringAtrGrid Grid;
  std::vector<Edit> Edits;
};

TEST_F(AtrGridTest, EmptyGridHasOnlyTheEntryRow) {
  EXPECT_EQ(Grid.Model()->rowCount(), 1);
  EXPECT_EQ(Grid.GetItemIndex(), -1);
  Grid.SetItemIndex(0);
  EXPECT_EQ(Grid.GetItemIndex(), -1);
}

TEST_F(AtrGridTest, EditsReachTheOwnerWithoutChangingRows) {
  Fill({"one", "two"});
  Type(0, 3, "abc");  // the entry row is grid row Count + 1
  Type(0, 1, "one");  // retyped unchanged: nothing to deliver
  Type(0, 2, "TWO");
  EXPECT_EQ(Edits, (std::vector<Edit>{{0, 3, "abc"}, {0, 2, "TWO"}}));
  EXPECT_EQ(Texts(), (Strings{"one", "two"}));
}

TEST_F(AtrGridTest, EscapeCancelsThePendingEdit) {
  Fill({"one", "two"});
  Type(0, 1, "changed", Qt::Key_Escape);
  EXPECT_TRUE(Edits.empty());
  EXPECT_EQ(Texts(), (Strings{"one", "two"}));
  Grid.FlushEditText();
  EXPECT_TRUE(Edits.empty());
}

TEST_F(AtrGridTest, EditIsDeliveredOnceEvenWhenTheHandlerRepaints) {
  Fill({"one"});
  Grid.OnEdited = [this](TStringAtrGrid* g, int c, int r, const std::string& t) {
    Edits.push_back({c, r, t});
    g->FlushEditText();  // a handler that paints or shows a message box
    g->AddRow(t);
  };
  Grid.SetEditText(0, 2, "new");
  Grid.FlushEditText();
  Grid.FlushEditText();
  test::Pump();
  EXPECT_EQ(Edits, (std::vector<Edit>{{0, 2, "new"}}));
  EXPECT_EQ(Texts(), (Strings{"one", "new"}));
}

TEST_F(AtrGridTest, EditIsCutAtTheFirstLineBreak) {
  Grid.SetEditText(0, 1, "first\r\nsecond");
  Grid.FlushEditText();
  EXPECT_EQ(Edits, (std::vector<Edit>{{0, 1, "first"}}));
}

TEST_F(AtrGridTest, EditingStartsFromTheRowText) {
  Fill({"one"});
  QLineEdit* e = OpenEditor(0, 1);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->text(), "one");
  QTest::keyClick(e, Qt::Key_Escape);
}

TEST_F(AtrGridTest, DeleteSelectedRanges) {
  struct Case {
    const char* name;
    int top, bottom;  // grid rows
    Strings left;
  } cases[] = {
      {"two rows", 1, 2, {"c"}},
      {"range ending on the entry row", 2, 4, {"a"}},
      {"only the entry row", 4, 4, {"a", "b", "c"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Grid.ClearRows();
    Fill({"a", "b", "c"});
    Grid.setCurrentIndex(Grid.Model()->index(c.top - 1, 0));
    Grid.selectionModel()->select(
        QItemSelection(Grid.Model()->index(c.top - 1, 0), Grid.Model()->index(c.bottom - 1, 0)),
        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    EXPECT_TRUE(Grid.DeleteSelected());
    EXPECT_EQ(Texts(), c.left);
  }
}

TEST_F(AtrGridTest, DeleteRefusedWhileEditing) {
  Fill({"a"});
  QLineEdit* e = OpenEditor(0, 1);
  ASSERT_NE(e, nullptr);
  EXPECT_FALSE(Grid.DeleteSelected());
  EXPECT_EQ(Grid.Count(), 1);
  QTest::keyClick(e, Qt::Key_Escape);
}

TEST_F(AtrGridTest, PasteAddsNewLinesOnly) {
  Fill({"x"});
  QApplication::clipboard()->setText("a\r\nB\r\n\r\nb\nX");
  Grid.PasteText("");
  EXPECT_EQ(Texts(), (Strings{"x", "a", "B"}));
  for (const auto& r : Grid.Rows()) EXPECT_EQ(r.Attr, 0u);
}

TEST_F(AtrGridTest, CopyAndSelStringsCoverDataRowsOfTheSelection) {
  Fill({"a", "b", "c"});
  Grid.setCurrentIndex(Grid.Model()->index(1, 0));
  Grid.selectionModel()->select(
      QItemSelection(Grid.Model()->index(1, 0), Grid.Model()->index(3, 0)),
      QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  Grid.CopySelected();
  EXPECT_EQ(QApplication::clipboard()->text(), "b\r\nc\r\n");
  EXPECT_EQ(Grid.GetSelStrings([](const std::string& s) { return s == "b" ? "" : s; }),
            (Strings{"c"}));
}

class FilterGridTest : public test::UiTest {
 protected:
  void SetUp() override {
    test::App();
    Window.resize(400, 300);
    Grid = new TFilterGrid(&Window);
    Grid->setGeometry(0, 0, 400, 200);
    Grid->SetHeadings({"Link follow specifications", "Filter"});
    Grid->SetSelList({"", "All", "Only", "No", "All(T)", "Only(T)", "No(T)"});
    Grid->OnEdited = [this](TStringAtrGrid*, int c, int r, const std::string& t) {
      Edits.push_back({c, r, t});
    };
    Window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Window));
  }
  QString Shown(int dataRow, int col) const {
    return Grid->Model()->index(dataRow, col).data(Qt::DisplayRole).toString();
  }
  void FocusChoice(int dataRow) {
    Grid->setCurrentIndex(Grid->Model()->index(dataRow, 1));
    test::Pump();
  }

  QWidget Window;
  TFilterGrid* Grid;
  std::vector<Edit> Edits;
};

TEST_F(FilterGridTest, ByteSettersKeepTheOtherBytes) {
  Grid->AddRow("r", 0x11223344);
  Grid->SetByte2(0, 0xFF);
  EXPECT_EQ(Grid->Attr(0), 0x11FF3344u);
  Grid->SetByte0(0, 0x05);
  Grid->SetByte3(0, 0x00);
  EXPECT_EQ(Grid->Attr(0), 0x00FF3305u);
  EXPECT_EQ(Grid->GetByte1(0), 0x33);
  EXPECT_EQ(Grid->GetSelListSelection(0), 5);
}

TEST_F(FilterGridTest, ChoiceColumnShowsTheChoiceAndKeepsUnknownValues) {
  Grid->AddRow("a", 2);
  Grid->AddRow("b", 0x0107);  // choice 7 is beyond the list
  EXPECT_EQ(Shown(0, 1), "Only");
  EXPECT_EQ(Shown(1, 1), "");
  EXPECT_EQ(Grid->GetByte0(1), 7);
  EXPECT_FALSE(Grid->Model()->flags(Grid->Model()->index(0, 1)) & Qt::ItemIsEditable);
}

TEST_F(FilterGridTest, PickingAChoiceStoresItAndTellsTheOwner) {
  Grid->AddRow("a", 0x0300);
  FocusChoice(0);
  ASSERT_TRUE(Grid->DropButtonWidget()->isVisible());
  QTest::keyClick(Grid, Qt::Key_Return);  // opens the list
  ASSERT_TRUE(Grid->DropListShowing());
  EXPECT_EQ(Grid->DropListWidget()->currentRow(), 0);
  QTest::keyClick(Grid, Qt::Key_Down);
  QTest::keyClick(Grid, Qt::Key_Down);
  QTest::keyClick(Grid, Qt::Key_Return);  // picks "Only"
  EXPECT_FALSE(Grid->DropListShowing());
  EXPECT_EQ(Grid->Attr(0), 0x0302u);
  EXPECT_EQ(Edits, (std::vector<Edit>{{1, 1, "Only"}}));
}

TEST_F(FilterGridTest, PickingTheStoredChoiceOrNothingChangesNothing) {
  Grid->AddRow("a", 0x0103);
  Grid->AddRow("b", 0x09);
  FocusChoice(0);
  Grid->BtnClick();
  ASSERT_TRUE(Grid->DropListShowing());
  Grid->SelListClick();  // the stored choice is the selected one
  FocusChoice(1);
  Grid->BtnClick();
  EXPECT_EQ(Grid->DropListWidget()->currentRow(), -1);  // stored 9 is not listed
  Grid->SelListClick();
  EXPECT_FALSE(Grid->DropListShowing());
  EXPECT_TRUE(Edits.empty());
  EXPECT_EQ(Grid->Attr(0), 0x0103u);
  EXPECT_EQ(Grid->Attr(1), 0x09u);
}

TEST_F(FilterGridTest, ChoiceOnTheEntryRowIsNotStored) {
  FocusChoice(0);  // the entry row of an empty grid
  Grid->BtnClick();
  Grid->DropListWidget()->setCurrentRow(1);
  Grid->SelListClick();
  EXPECT_EQ(Grid->Count(), 0);
  EXPECT_TRUE(Edits.empty());
}

TEST_F(FilterGridTest, DropListLandsOnTheWindowAndMovingAwayClosesIt) {
  Grid->AddRow("a");
  Grid->AddRow("b");
  FocusChoice(0);
  Grid->BtnClick();
  EXPECT_EQ(Grid->DropListWidget()->parentWidget(), &Window);
  const QRect b = Grid->DropButtonWidget()->geometry();
  const QPoint right = Grid->DropButtonWidget()->parentWidget()->mapTo(&Window, b.topRight());
  EXPECT_EQ(Grid->DropListWidget()->geometry().right(), right.x());
  Grid->setCurrentIndex(Grid->Model()->index(1, 0));
  EXPECT_FALSE(Grid->DropListShowing());
  EXPECT_FALSE(Grid->DropButtonWidget()->isVisible());
}

}  // namespace
}  // namespace qv
