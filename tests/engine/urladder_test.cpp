#include "engine/urladder.h"

#include <gtest/gtest.h>

#include <mutex>

#include "model/vkglobal.h"
#include "model/vkurllist.h"

namespace qv {
namespace {

class URLAdderTest : public ::testing::Test {
 protected:
  void SetUp() override { CreateGlobals(); }
  void TearDown() override { FreeGlobals(); }

  void SetFilter(const TViewFilter& f) { Filter.Publish(f); }
  int Add(const std::string& url, const std::string& title = "", uint8_t append = 1) {
    return Adder.AddFoundURL(append, url, "", "", 0, title, "", 0);
  }
  TVkURLItem* Listed(const std::string& url) {
    std::lock_guard<TCriticalSection> g(*URLListLock);
    return GlobalURLList->FindItem(url);
  }
  const TURLViewLines& Drain() {
    ApplyToView(Outbox.Drain(), View);
    return View;
  }

  TOutbox Outbox;
  TPublished<TViewFilter> Filter;
  TPublished<TMimeFilter> Mime;
  TURLAdder Adder{Outbox, Filter, Mime};
  TURLViewLines View;
};

TEST_F(URLAdderTest, AdditionTable) {
  TViewFilter noNew;
  noNew.NewFilesCombo = ccNo;
  noNew.LimitAdditionsChk = true;
  struct Case {
    const char* name;
    TViewFilter filter;
    std::vector<std::string> before;  // listed first (no limit)
    std::string url;
    std::string title;
    bool listed;  // a record with the URL exists afterwards
    bool indexOk;
    bool modified;
    uint8_t status;
    std::string details;
    std::string storedTitle;
    int lines;  // new view lines
  } cases[] = {
      {"a plain URL", {}, {}, "http://a.com/x", "t", true, true, true, 10, "", "t", 1},
      {"mail address, scheme in capitals",
       {},
       {},
       "MAILTO:a@b",
       "",
       true,
       true,
       true,
       60,
       "Mail address",
       "",
       1},
      {"no URL: -1, nothing modified", {}, {}, "news:x", "", false, false, false, 0, "", "", 0},
      {"title line breaks", {}, {}, "http://a.com/t", "a\r\nb", true, true, true, 10, "", "a b", 1},
      {"one trailing slash merges into the URL without",
       {},
       {"http://a.com/d"},
       "http://a.com/d/",
       "new",
       true,
       true,
       true,
       10,
       "",
       "new",
       0},
      {"limit additions refuses a new URL",
       noNew,
       {},
       "http://a.com/n",
       "",
       false,
       false,
       true,
       0,
       "",
       "",
       0},
      {"limit additions merges a listed one",
       noNew,
       {"http://a.com/n"},
       "http://a.com/n",
       "merged",
       true,
       true,
       true,
       10,
       "",
       "merged",
       0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    {
      std::lock_guard<TCriticalSection> g(*URLListLock);
      GlobalURLList->ClearItems();
    }
    SetFilter({});
    for (const auto& u : c.before) Add(u);
    Outbox.Drain();
    View.Clear();
    SetFilter(c.filter);

    const int index = Add(c.url, c.title);
    const TOutbox::TDrained d = Outbox.Drain();
    EXPECT_EQ(index >= 0, c.indexOk) << index;
    EXPECT_EQ(d.Modified, c.modified);
    EXPECT_EQ(d.CountChanged, c.modified);
    EXPECT_EQ(static_cast<int>(d.Lines.size()), c.lines);
    TVkURLItem* r = Listed(c.url);
    ASSERT_EQ(r != nullptr, c.listed);
    if (!r) continue;
    {
      std::lock_guard<TCriticalSection> g(*URLListLock);
      EXPECT_EQ(GlobalURLList->GetItem(index), r);
    }
    EXPECT_EQ(r->GetStatus(), c.status);
    EXPECT_EQ(r->Details, c.details);
    EXPECT_EQ(r->Title, c.storedTitle);
  }
}

TEST_F(URLAdderTest, AddingAListedURLNeverAddsASecondLine) {
  Add("http://a.com/1");
  Add("http://a.com/1");
  Add("http://a.com/1/");
  EXPECT_EQ(Drain().Count(), 1);
}

TEST_F(URLAdderTest, LineOnlyWhenAskedAndShown) {
  TViewFilter onlyPages;
  onlyPages.WebPgFilesCombo = ccOnly;
  SetFilter(onlyPages);
  Add("http://a.com/hidden");
  Adder.AddFoundURL(1, "http://a.com/page", "", "", 1, "", "", 0);
  Adder.AddFoundURL(0, "http://a.com/quiet", "", "", 1, "", "", 0);
  EXPECT_EQ(Drain().Lines(), std::vector<std::string>{"http://a.com/page"});
  EXPECT_NE(Listed("http://a.com/hidden"), nullptr) << "listed, only not shown";
}

TEST_F(URLAdderTest, DrainAfterARebuildShowsEachURLOnce) {
  Add("http://a.com/1");
  Add("http://a.com/2");
  // A rebuild runs between the additions and the drain: it shows both.
  bool hidden = RebuildView(View, TViewFilter{}, TMimeFilter{});
  EXPECT_FALSE(hidden);
  EXPECT_EQ(Drain().Count(), 2);
}

TEST_F(URLAdderTest, RebuildWalksInBatchesWhileTheListGrows) {
  for (int i = 0; i < 250; ++i) Add("http://a.com/" + std::to_string(1000 + i));
  Outbox.Drain();
  int batches = 0;
  const bool hidden = RebuildView(View, TViewFilter{}, TMimeFilter{}, [&] {
    // Between batches other threads add, before and after the walk's place.
    ++batches;
    Add("http://a.com/0" + std::to_string(batches));
    Add("http://a.com/9" + std::to_string(batches));
    return true;
  });
  EXPECT_FALSE(hidden);
  EXPECT_GE(batches, 3);
  ApplyToView(Outbox.Drain(), View);
  int listed;
  {
    std::lock_guard<TCriticalSection> g(*URLListLock);
    listed = GlobalURLList->Count();
  }
  EXPECT_EQ(View.Count(), listed) << "every URL shown once";
}

TEST_F(URLAdderTest, RebuildReportsHiddenURLs) {
  Add("http://a.com/1");
  TViewFilter noNew;
  noNew.NewFilesCombo = ccNo;
  EXPECT_TRUE(RebuildView(View, noNew, TMimeFilter{}));
  EXPECT_EQ(View.Count(), 0);
}

TEST(Outbox, RepeatedStatusTextsCoalesce) {
  TOutbox box;
  EXPECT_FALSE(box.Pending());
  box.AddStatusText("WARNING");
  box.AddStatusText("WARNING");
  box.AddStatusText("other");
  box.AddStatusText("WARNING");
  EXPECT_TRUE(box.Pending());
  auto d = box.Drain();
  EXPECT_EQ(d.StatusTexts, (std::vector<std::string>{"WARNING", "other", "WARNING"}));
  EXPECT_FALSE(box.Pending());
  EXPECT_TRUE(box.Drain().StatusTexts.empty());
}

}  // namespace
}  // namespace qv
