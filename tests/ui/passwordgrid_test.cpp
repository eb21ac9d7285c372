#include "ui/controls/passwordgrid.h"

#include <gtest/gtest.h>

#include <QHeaderView>
#include <QLineEdit>
#include <QTest>

#include "ui/uitest.h"

namespace qv {
namespace {

struct Edit {
  int Col, Row;
  std::string Text;
  bool operator==(const Edit&) const = default;
};

class PassWordGridTest : public test::UiTest {
 protected:
  void SetUp() override {
    Grid.SetPublishTarget(&Published);
    Grid.SetHeadings({"URL", "User ID", "Password"});
    Grid.PWCol = 2;
    Grid.resize(400, 200);
    Grid.OnEdited = [this](TPassWordGrid*, int c, int r, const std::string& t) {
      Edits.push_back({c, r, t});
    };
    Grid.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Grid));
  }
  void Type(int col, int row, const QString& text, Qt::Key finish = Qt::Key_Return) {
    const QModelIndex i = Grid.Model()->index(row - 1, col);
    Grid.setCurrentIndex(i);
    Grid.edit(i);
    auto* e = Grid.viewport()->findChild<QLineEdit*>();
    ASSERT_NE(e, nullptr);
    e->selectAll();
    QTest::keyClicks(e, text);
    QTest::keyClick(e, finish);
    test::Pump();
  }
  std::vector<std::string> Column(int c) const {
    std::vector<std::string> v;
    for (int r = 1; r < Grid.RowCount(); ++r) v.push_back(Grid.Cells(c, r));
    return v;
  }

  TPublished<TPassWordList> Published;
  TPassWordGrid Grid;
  std::vector<Edit> Edits;
};

TEST_F(PassWordGridTest, TextRoundTrip) {
  struct Case {
    const char* name;
    std::string text;
    int rows;  // after loading, with the entry row
    std::string saved;
  } cases[] = {
      {"empty", "", 2, "\r\n\r\n\r\n"},
      {"one entry", "u\r\nid\r\npw\r\n", 3, "u\r\nid\r\npw\r\n\r\n\r\n\r\n"},
      {"seven lines", "a\r\nb\r\nc\r\nd\r\ne\r\nf\r\ng\r\n", 5,
       "a\r\nb\r\nc\r\nd\r\ne\r\nf\r\ng\r\n\r\n\r\n\r\n\r\n\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Grid.SetText(c.text);
    EXPECT_EQ(Grid.RowCount(), c.rows);
    const std::string saved = Grid.GetText();
    EXPECT_EQ(saved, c.saved);
    TPassWordGrid again;
    TPublished<TPassWordList> other;
    again.SetPublishTarget(&other);
    again.SetText(saved);
    EXPECT_EQ(again.GetText(), saved);
    EXPECT_EQ(other.Get()->Rows, Published.Get()->Rows);
  }
}

TEST_F(PassWordGridTest, PasswordsAreMaskedOnScreenOnly) {
  Grid.SetText("http://a/\r\nme\r\nabc\r\n");
  EXPECT_EQ(Grid.Model()->index(0, 2).data(Qt::DisplayRole).toString(), "***");
  EXPECT_EQ(Grid.Model()->index(0, 1).data(Qt::DisplayRole).toString(), "me");
  EXPECT_EQ(Grid.Cells(2, 1), "abc");
  EXPECT_EQ(Grid.Model()->headerData(2, Qt::Horizontal, Qt::DisplayRole).toString(), "Password");
}

TEST_F(PassWordGridTest, TypingIntoTheEntryRowAddsAnEntryRow) {
  Type(0, 1, "http://site/");
  EXPECT_EQ(Edits, (std::vector<Edit>{{0, 1, "http://site/"}}));
  EXPECT_EQ(Grid.RowCount(), 3);
  Type(1, 1, "me");
  Type(2, 1, "secret");
  EXPECT_EQ(Grid.GetPW("http://site/x"), "secret");
  EXPECT_EQ(Published.Get()->Lookup("HTTP://SITE/"), (TCredentials{"me", "secret"}));
}

TEST_F(PassWordGridTest, EscapeWritesNothing) {
  Grid.SetText("http://a/\r\nme\r\npw\r\nhttp://b/\r\nyou\r\npw2\r\n");
  Type(2, 1, "typed", Qt::Key_Escape);
  EXPECT_TRUE(Edits.empty());
  EXPECT_EQ(Column(2), (std::vector<std::string>{"pw", "pw2", ""}));
}

TEST_F(PassWordGridTest, ALineBreakCannotShiftTheStoredText) {
  Grid.SetText("http://a/\r\nme\r\npw\r\n");
  Grid.SetEditText(2, 1, "p1\r\nhttp://evil/\r\nx");
  test::Pump();
  EXPECT_EQ(Grid.Cells(2, 1), "p1");
  EXPECT_EQ(Grid.GetText(), "http://a/\r\nme\r\np1\r\n\r\n\r\n\r\n");
  EXPECT_EQ(Edits, (std::vector<Edit>{{2, 1, "p1"}}));
}

TEST_F(PassWordGridTest, SortRowMovesAnEntryIntoUrlOrder) {
  struct Case {
    const char* name;
    std::string text;
    int row;
    std::vector<std::string> urls;
  } cases[] = {
      {"last to first", "b\r\n\r\n\r\nc\r\n\r\n\r\nA\r\n\r\n\r\n", 3, {"A", "b", "c", ""}},
      {"first to last", "z\r\n\r\n\r\nb\r\n\r\n\r\nc\r\n\r\n\r\n", 1, {"b", "c", "z", ""}},
      {"first to middle", "c\r\n\r\n\r\na\r\n\r\n\r\nd\r\n\r\n\r\n", 1, {"a", "c", "d", ""}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Grid.SetText(c.text);
    Grid.SortRow(c.row);
    EXPECT_EQ(Column(0), c.urls);
  }
}

TEST_F(PassWordGridTest, DeleteSelectedRemovesTheCurrentRow) {
  Grid.SetText("a\r\n1\r\n2\r\nb\r\n3\r\n4\r\n");
  Grid.SetCurrent(0, 1);
  Grid.DeleteSelected();
  EXPECT_EQ(Column(0), (std::vector<std::string>{"b", ""}));
  EXPECT_EQ(Grid.GetUserID("a"), "");
  EXPECT_EQ(Grid.GetUserID("b"), "3");
  Grid.SetCurrent(0, 2);  // the entry row itself: nothing is lost
  Grid.DeleteSelected();
  EXPECT_EQ(Column(0), (std::vector<std::string>{"b", ""}));
}

TEST_F(PassWordGridTest, ChangeScaleScalesColumnsAndRows) {
  Grid.setColumnWidth(0, 100);
  Grid.setColumnWidth(1, 51);
  const int rowHeight = Grid.verticalHeader()->defaultSectionSize();
  Grid.ChangeScale(3, 2);
  EXPECT_EQ(Grid.columnWidth(0), 150);
  EXPECT_EQ(Grid.columnWidth(1), 76);  // integer division
  EXPECT_EQ(Grid.verticalHeader()->defaultSectionSize(), rowHeight * 3 / 2);
  Grid.ChangeScale(2, 2);
  EXPECT_EQ(Grid.columnWidth(0), 150);
}

}  // namespace
}  // namespace qv
