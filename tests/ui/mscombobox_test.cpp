#include "ui/controls/mscombobox.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QTest>

#include "ui/controls/qtext.h"
#include "ui/uitest.h"

namespace qv {
namespace {

class MSComboBoxTest : public test::UiTest {
 protected:
  MSComboBoxTest() {
    Box.SetItemsMS({"a", "b", "c", ""});
    Box.Delimiters = ";";
    Box.OnClick = [this](TMSComboBox* sender) {
      EXPECT_EQ(sender, &Box);
      ++Clicks;
    };
  }
  // The list dropped down over the edit text prev.
  void DropDownOver(const std::string& prev) {
    Box.setEditText(ToQ(prev));
    Box.DropDown();
  }
  TMSComboBox Box;
  int Clicks = 0;
};

TEST_F(MSComboBoxTest, ClickCollectsItems) {
  struct Case {
    const char* Name;
    const char* Prev;
    int Index;
    bool Ctrl;
    bool Duplicates;
    const char* Text;
    int Clicks;
  } cases[] = {
      {"ctrl appends", "a;b", 2, true, false, "a;b;c", 1},
      {"already there", "a;b", 0, true, false, "a;b", 0},
      {"already there, duplicates allowed", "a;b", 0, true, true, "a;b;a", 1},
      {"in the middle", "x;b;y", 1, true, false, "x;b;y", 0},
      {"at the end without a delimiter", "x;b", 1, true, false, "x;b;b", 1},
      {"plain click", "a;b", 1, false, false, "b", 1},
      {"no current item", "a;b", -1, true, false, "a;b", 0},
      {"empty previous text", "", 2, true, false, "c", 1},
      {"empty item", "a", 3, true, false, "a", 0},
  };
  for (const auto& c : cases) {
    DropDownOver(c.Prev);
    EXPECT_EQ(Box.PrevText, c.Prev) << c.Name;
    Box.Duplicates = c.Duplicates;
    Clicks = 0;
    Box.setCurrentIndex(c.Index);
    if (c.Index < 0) Box.setEditText(ToQ(c.Prev));
    Box.Click(c.Ctrl ? Qt::ControlModifier : Qt::NoModifier);
    EXPECT_EQ(FromQ(Box.currentText()), c.Text) << c.Name;
    EXPECT_EQ(Clicks, c.Clicks) << c.Name;
  }
}

// The combined text sits in the list item until the next drop-down reloads
// the list from ItemsMS, which keeps the edit text.
TEST_F(MSComboBoxTest, DropDownReloadsTheItems) {
  DropDownOver("a;b");
  Box.setCurrentIndex(2);
  Box.Click(Qt::ControlModifier);
  EXPECT_EQ(FromQ(Box.itemText(2)), "a;b;c");
  Box.DropDown();
  EXPECT_EQ(Box.PrevText, "a;b;c");
  EXPECT_EQ(FromQ(Box.itemText(2)), "c");
  EXPECT_EQ(Box.count(), 4);
  EXPECT_EQ(FromQ(Box.currentText()), "a;b;c");
}

// A Ctrl-click in the real drop-down list appends; a plain one replaces.
TEST_F(MSComboBoxTest, ClickInTheDropDownList) {
  Box.show();
  Box.setEditText("a");
  for (auto [keys, expect] :
       {std::pair{Qt::ControlModifier, "a;c"}, std::pair{Qt::NoModifier, "c"}}) {
    Box.showPopup();
    test::Pump();
    QAbstractItemView* v = Box.view();
    const QRect r = v->visualRect(Box.model()->index(2, 0));
    QTest::mouseClick(v->viewport(), Qt::LeftButton, keys, r.center());
    test::Pump();
    EXPECT_EQ(FromQ(Box.currentText()), expect);
    Box.setEditText("a");
  }
  EXPECT_EQ(Clicks, 2);
}

}  // namespace
}  // namespace qv
