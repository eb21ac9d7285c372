// The root URL grid: typed entries, the levels keys, the scope steps, the
// levels column's labels and the attribute setter the drop window and the
// clipboard watcher use.
#include <functional>
#include <utility>

#include <QtTest/QTest>

#include "engine/downloadform.h"
#include "mainformfixture.h"
#include "ui/controls/stringatrgrid.h"
#include "ui/mainform_roots.h"

namespace qv {
namespace {

using test::MainFormFixture;

class RootGridTest : public MainFormFixture {
 protected:
  std::vector<TAtrRow> Rows() const { return Form1->Grid1->Rows(); }
  // Focuses a data row's cell in the column.
  void Focus(int row, int col) {
    Form1->Grid1->setCurrentIndex(Form1->Grid1->Model()->index(row, col));
  }
};

TEST(RootURLText, TypedTextIsStoredAs) {
  struct Case {
    const char* typed;
    const char* stored;
  } cases[] = {
      {"  http://a ", "http://a"},
      {"mailto:x", "?-mailto:x"},
      {"?-http://a", "http://a"},
      {"HTTP://A", "HTTP://A"},
      {"https://a/", "https://a/"},
      {"?-https://a/", "https://a/"},
      {"ftp://f/", "ftp://f/"},
      {"?-gopher://g/", "?-gopher://g/"},
      {"www.example.com", "?-www.example.com"},
      {"/", "?-/"},
      {"   ", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(NormaliseRootURLText(c.typed), c.stored) << c.typed;
}

TEST(RootURLText, LevelsLabels) {
  struct Case {
    uint32_t attr;
    const char* label;
  } cases[] = {
      {0x0300, "Page+3"},
      {0x0201, "Site | 2"},
      {0x0002, "Site+0"},
      {0x6303, "None"},
      {
          0x0004,
          "",
      },
      {0xFFFF0A00, "Page+10"},
  };
  for (const auto& c : cases) EXPECT_EQ(RootURLLevelsLabel(c.attr), c.label) << c.attr;
}

TEST_F(RootGridTest, EditsTable) {
  // gridRow: data row + 1; the entry row is Count() + 1.
  struct Case {
    const char* name;
    int gridRow;
    const char* typed;
    std::vector<TAtrRow> after;
  } cases[] = {
      {"entry row appends, trimmed",
       3,
       "  http://c ",
       {{"http://a", 0x00FF0102}, {"http://b", 0}, {"http://c", 0}}},
      {"other scheme marked",
       3,
       "mailto:x",
       {{"http://a", 0x00FF0102}, {"http://b", 0}, {"?-mailto:x", 0}}},
      {"mark dropped; the attribute stays",
       1,
       "?-http://z",
       {{"http://z", 0x00FF0102}, {"http://b", 0}}},
      {"another row's text leaves both",
       1,
       "http://b",
       {{"http://a", 0x00FF0102}, {"http://b", 0}}},
      {"slash deletes the row", 1, "/", {{"http://b", 0}}},
      {"slash on the entry row does nothing", 3, "/", {{"http://a", 0x00FF0102}, {"http://b", 0}}},
      {"blank does nothing", 2, "  ", {{"http://a", 0x00FF0102}, {"http://b", 0}}},
  };
  for (const auto& c : cases) {
    Form1->Grid1->SetRows({{"http://a", 0x00FF0102}, {"http://b", 0}});
    Form1->SetModified(false);
    Form1->Grid1Edited(0, c.gridRow, c.typed);
    EXPECT_EQ(Rows(), c.after) << c.name;
    EXPECT_TRUE(Form1->Modified()) << c.name;
  }
  // The levels column is no text.
  EXPECT_FALSE(Form1->Grid1->CellEditable(1, 1));
  EXPECT_TRUE(Form1->Grid1->CellEditable(0, 1));
  EXPECT_EQ(Form1->Grid1GetEditText(1, 0), "");
}

TEST_F(RootGridTest, DigitKeysSetTheLevels) {
  struct Case {
    const char* name;
    uint32_t start;
    std::vector<std::pair<Qt::Key, Qt::KeyboardModifiers>> keys;
    uint32_t after;
  } cases[] = {
      {"3", 0x00010002, {{Qt::Key_3, Qt::NoModifier}}, 0x00010302},
      {"1 then Ctrl+5", 0, {{Qt::Key_1, Qt::NoModifier}, {Qt::Key_5, Qt::ControlModifier}}, 0x0F00},
      {"15 then Ctrl+7 stays 15", 0x0F00, {{Qt::Key_7, Qt::ControlModifier}}, 0x0F00},
      {"Ctrl+digit on 0 levels", 0, {{Qt::Key_4, Qt::ControlModifier}}, 0x0400},
      {"keypad digits ignored", 0x0200, {{Qt::Key_7, Qt::KeypadModifier}}, 0x0200},
  };
  for (const auto& c : cases) {
    Form1->Grid1->SetRows({{"http://a", c.start}});
    Focus(0, 1);
    for (const auto& [key, mods] : c.keys) QTest::keyClick(Form1->Grid1, key, mods);
    EXPECT_EQ(Form1->Grid1->Attr(0), c.after) << c.name;
  }
  EXPECT_EQ(Rows().front().Text, "http://a");
}

TEST_F(RootGridTest, SpaceAndDoubleClickStepTheScope) {
  Form1->Grid1->SetRows({{"http://a", 0xABCD0500}});
  Focus(0, 1);
  const uint32_t expected[] = {0xABCD0501, 0xABCD0502, 0xABCD0503, 0xABCD0500};
  for (uint32_t e : expected) {
    QTest::keyClick(Form1->Grid1, Qt::Key_Space);
    EXPECT_EQ(Form1->Grid1->Attr(0), e);
  }
  for (uint32_t e : expected) {
    Form1->RootURLsDblClick(1);
    EXPECT_EQ(Form1->Grid1->Attr(0), e);
  }
  // On the URL column a double-click opens the root instead.
  int opens = 0;
  Form1->RootOpenCommand = [&] { ++opens; };
  Focus(0, 0);
  Form1->RootURLsDblClick(0);
  EXPECT_EQ(opens, 1);
  EXPECT_EQ(Form1->Grid1->Attr(0), 0xABCD0500u);
}

TEST_F(RootGridTest, SetRootURLAttributesKeepsHighBitsAndIgnoresStaleRows) {
  Form1->Grid1->SetRows({{"http://a", 0x12340000}, {"http://b", 0}});
  Form1->SetRootURLAttributes(0, 2, 7);
  EXPECT_EQ(Form1->Grid1->Attr(0), 0x12340702u);
  for (int stale : {-1, 2, 100}) {
    Form1->SetRootURLAttributes(stale, 1, 1);
    EXPECT_EQ(Rows(), (std::vector<TAtrRow>{{"http://a", 0x12340702}, {"http://b", 0}})) << stale;
  }
}

// The session holds the rows the grid shows: each way the grid changes them
// is written there at once, and an extract job queues what it holds.
TEST_F(RootGridTest, EveryEditReachesTheSessionsRows) {
  TStringAtrGrid& grid = *Form1->Grid1;
  const std::pair<const char*, std::function<void()>> steps[] = {
      {"rows shown",
       [&] {
         grid.SetRows({{"http://a/", 0x0100}, {"http://b/", 0x0201}});
       }},
      {"row added", [&] { grid.AddRow("http://c/", 0x0300); }},
      {"typed into a row", [&] { Form1->Grid1Edited(0, 2, "http://bb/"); }},
      {"typed into the entry row", [&] { Form1->Grid1Edited(0, 4, "http://d/"); }},
      {"levels set", [&] { Form1->SetRootURLAttributes(0, 2, 9); }},
      {"row deleted", [&] { grid.DeleteRow(1); }},
      {"selected rows deleted",
       [&] {
         grid.SetItemIndex(0);
         grid.DeleteSelected();
       }},
      {"slash deletes", [&] { Form1->Grid1Edited(0, 1, "/"); }},
      {"rows cleared", [&] { grid.ClearRows(); }},
      {"rows shown again",
       [&] {
         grid.SetRows({{"http://e/", 0x0102}, {"mailto:x", 0}});
       }},
  };
  for (const auto& [name, step] : steps) {
    step();
    EXPECT_EQ(Form1->Session().RootURLs(), Rows()) << name;
  }
  DownloadFrm->BuildSpiderQueue();
  ASSERT_EQ(DownloadFrm->SpiderQueue.Count(), 1);
  EXPECT_EQ(DownloadFrm->SpiderQueue.Item(0).URL, "http://e/");
  EXPECT_EQ(DownloadFrm->SpiderQueue.Item(0).SiteMode, 2);
  EXPECT_EQ(DownloadFrm->SpiderQueue.Item(0).Depth, 1);
}

TEST_F(RootGridTest, TypingIsDiscardedWhileAnExtractionRuns) {
  Form1->Grid1->SetRows({{"http://a", 0}});
  // Visible (a job runs) and its kind: 0 download, 1 extract.
  struct Case {
    bool running;
    uint8_t kind;
    bool editable;
  } cases[] = {{false, 1, true}, {true, 1, false}, {true, 0, true}};
  for (const auto& c : cases) {
    DownloadFrm->Visible = c.running;
    DownloadFrm->JobKind = c.kind;
    EXPECT_EQ(Form1->Grid1->CellEditable(0, 1), c.editable) << c.running << int(c.kind);
  }
  DownloadFrm->Visible = false;
  bool running = true;
  Form1->ExtractionRunning = [&] { return running; };
  EXPECT_FALSE(Form1->Grid1->CellEditable(0, 1));
  running = false;
  EXPECT_TRUE(Form1->Grid1->CellEditable(0, 1));
}

}  // namespace
}  // namespace qv
