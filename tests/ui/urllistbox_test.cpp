// The URL list's lines: each URL once, found through the map after appends,
// batches and removals; check marks stay with their lines.
#include "ui/controls/urllistbox.h"

#include "uitest.h"

namespace qv {
namespace {

TEST(URLListModel, LinesStayUniqueAndFindable) {
  test::App();
  TURLListModel m;
  EXPECT_TRUE(m.Append("http://b/", false));
  EXPECT_FALSE(m.Append("http://b/", true));  // shown already
  const std::string a = "http://a/", c = "http://c/", b = "http://b/";
  EXPECT_EQ(m.AppendBatch({{a, true}, {b, true}, {c, false}, {a, false}}), 2);
  EXPECT_EQ(m.Count(), 3);
  EXPECT_EQ(m.Line(1), "http://a/");
  EXPECT_TRUE(m.Checked(1));
  EXPECT_FALSE(m.Checked(0));  // the batch did not touch the line shown before
  m.RemoveLine(0);
  EXPECT_EQ(m.IndexOf("http://b/"), -1);
  EXPECT_EQ(m.IndexOf("http://a/"), 0);
  EXPECT_EQ(m.IndexOf("http://c/"), 1);
  EXPECT_TRUE(m.Checked(0));
  // Bytes compare exactly: no case folding, no trailing-slash folding.
  EXPECT_EQ(m.IndexOf("HTTP://A/"), -1);
  EXPECT_EQ(m.IndexOf("http://a"), -1);
  // Stale line numbers are ignored.
  m.SetChecked(5, true);
  m.SetChecked(-1, true);
  EXPECT_EQ(m.Line(7), "");
  m.Clear();
  EXPECT_EQ(m.Count(), 0);
  EXPECT_EQ(m.IndexOf("http://a/"), -1);
}

TEST(URLListModel, ManyLinesGrowTheTable) {
  test::App();
  TURLListModel m;
  for (int i = 0; i < 5000; ++i) m.Append("http://h/" + std::to_string(i), i % 2 == 0);
  for (int i = 0; i < 5000; i += 499) {
    EXPECT_EQ(m.IndexOf("http://h/" + std::to_string(i)), i);
    EXPECT_EQ(m.Checked(i), i % 2 == 0);
  }
}

}  // namespace
}  // namespace qv
