// The URL list's lines: each URL once, found through the map after appends,
// batches and removals; check marks stay with their lines.
#include "ui/controls/urllistbox.h"

#include <string>
#include <vector>

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

// A refill keeps the room of the lines it replaces but none of the lines:
// the old URLs are not found, the new ones are, each once, however many a
// batch brings; the room goes back once lines and records shrank for good.
TEST(URLListModel, ARefillReusesItsRoomAndForgetsTheOldLines) {
  test::App();
  TURLListModel m;
  std::vector<std::string> urls;
  for (int i = 0; i < 5000; ++i) urls.push_back("http://h/" + std::to_string(i));
  std::vector<TURLListModel::TNewLine> batch;
  for (const auto& u : urls) batch.push_back({u, false});
  batch.push_back({urls[7], true});  // shown already, in the same batch
  EXPECT_EQ(m.AppendPendingBatch(batch), 5000);
  EXPECT_EQ(m.Published(), 0) << "no view hears of pending lines";
  m.Publish();
  const std::size_t full = m.OverheadBytes();

  m.ClearForRefill();
  EXPECT_EQ(m.Count(), 0);
  EXPECT_EQ(m.IndexOf(urls[7]), -1) << "a cleared line is not found";
  EXPECT_GE(m.OverheadBytes(), full / 2) << "the room stays for the refill";
  const std::string again[] = {"http://h/4999", "http://other/", "http://h/0"};
  EXPECT_EQ(m.AppendPendingBatch({{again[0], true}, {again[1], false}, {again[2], false}}), 3);
  EXPECT_EQ(m.AppendPendingBatch({{again[1], true}}), 0);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(m.IndexOf(again[i]), i);
  EXPECT_TRUE(m.Checked(0));
  EXPECT_FALSE(m.Checked(1));

  m.TrimRoom(5000, 5000 * 12);
  EXPECT_GE(m.OverheadBytes(), full / 2) << "room a full view of the records needs is kept";
  m.TrimRoom(3, 40);
  EXPECT_LT(m.OverheadBytes(), full / 10) << "room beyond twice what the records need goes";
  for (int i = 0; i < 3; ++i) EXPECT_EQ(m.IndexOf(again[i]), i);
  EXPECT_EQ(m.IndexOf(urls[7]), -1);
}

}  // namespace
}  // namespace qv
