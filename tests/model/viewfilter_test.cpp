#include "model/viewfilter.h"

#include <gtest/gtest.h>

#include <functional>

#include "model/mimefilter.h"
#include "model/vkurllist.h"

namespace qv {
namespace {

TEST(ViewFilter, ComboTexts) {
  struct Case {
    const char* name;
    const char* text;
    TComboChoice want;
  } cases[] = {
      {"empty", "", ccNone},
      {"all", "All", ccAll},
      {"only", "Only", ccOnly},
      {"no", "No", ccNo},
      {"letter case", "oNLY", ccOnly},
      {"not an item", "Al", ccNone},
      {"trailing blank", "No ", ccNone},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ComboChoiceFromText(c.text), c.want) << c.name;
  }
  for (uint8_t c = ccNone; c <= ccNo; ++c) {
    const auto choice = static_cast<TComboChoice>(c);
    EXPECT_EQ(ComboChoiceFromText(ComboChoiceText(choice)), choice);
  }
  EXPECT_STREQ(ComboChoiceText(static_cast<TComboChoice>(9)), "");
}

TEST(ViewFilter, DefaultsAndSizes) {
  TViewFilter f;
  EXPECT_TRUE(f.AutoUpChk);
  EXPECT_FALSE(f.LimitAdditionsChk);
  EXPECT_EQ(f.MinSizeEd, "0");
  EXPECT_EQ(f.MaxSize(), 0);
  f.MinSizeEd = "1000";
  f.MaxSizeEd = "12x";
  EXPECT_EQ(f.MinSize(), 1000);
  EXPECT_EQ(f.MaxSize(), 0) << "a text that is no number is no limit";
  f.MaxSizeEd = "99999999999";
  EXPECT_EQ(f.MaxSize(), 0) << "out of range counts as no number";
}

TEST(ViewFilter, ChoiceValuesAreStored) {
  // Project files keep these numbers in byte 0 of a row attribute.
  EXPECT_EQ(fcNone, 0);
  EXPECT_EQ(fcAll, 1);
  EXPECT_EQ(fcOnly, 2);
  EXPECT_EQ(fcNo, 3);
  EXPECT_EQ(fcAllT, 4);
  EXPECT_EQ(fcOnlyT, 5);
  EXPECT_EQ(fcNoT, 6);
}

TAtrRow Row(const std::string& pattern, TFilterChoice choice) { return TAtrRow{pattern, choice}; }

TEST(ViewFilter, Predicate) {
  auto rec = [](const std::string& url, uint8_t status, int32_t size = 0,
                const std::string& title = "", const std::string& type = "") {
    TVkURLItem r;
    r.URL = url;
    r.SetStatus(status);
    r.Size = size;
    r.Title = title;
    r.ContentType = type;
    return r;
  };
  auto with = [](std::function<void(TViewFilter&)> set) {
    TViewFilter f;
    set(f);
    return f;
  };
  TMimeFilter htmlOnly;
  htmlOnly.Patterns = {"text/html"};
  struct Case {
    const char* name;
    TViewFilter filter;
    TMimeFilter mime;
    TVkURLItem record;
    bool shown;
  } cases[] = {
      {"nothing set shows everything", {}, {}, rec("http://a/x", usFailed, 5), true},
      {"content type refused first", with([](TViewFilter& f) { f.DLFilesCombo = ccAll; }), htmlOnly,
       rec("http://a/x", usDownloaded, 0, "", "image/gif"), false},
      {"All wins before Only",
       with([](TViewFilter& f) {
         f.NewFilesCombo = ccOnly;
         f.DLFilesCombo = ccAll;
       }),
       {},
       rec("http://a/x", usDownloaded),
       true},
      {"Only misses",
       with([](TViewFilter& f) { f.NewFilesCombo = ccOnly; }),
       {},
       rec("http://a/x", usFailed),
       false},
      {"No hits",
       with([](TViewFilter& f) { f.FailedFilesCombo = ccNo; }),
       {},
       rec("http://a/x", usFailed),
       false},
      {"two Only rows, neither matching",
       with([](TViewFilter& f) {
         f.FilGrid = {Row("*.gif", fcOnly), Row("*.jpg", fcOnly)};
       }),
       {},
       rec("http://a/x.htm", usNew),
       false},
      {"an Only row matching, ignoring case",
       with([](TViewFilter& f) {
         f.FilGrid = {Row("*.gif", fcOnly), Row("*.HTM", fcOnly)};
       }),
       {},
       rec("http://a/x.htm", usNew),
       true},
      {"Only matching but No matching",
       with([](TViewFilter& f) {
         f.FilGrid = {Row("*.htm", fcOnly), Row("*x*", fcNo)};
       }),
       {},
       rec("http://a/x.htm", usNew),
       false},
      {"All(T) against the title",
       with([](TViewFilter& f) {
         f.FilGrid = {Row("*cats*", fcAllT)};
         f.NewFilesCombo = ccNo;
       }),
       {},
       rec("http://a/x", usNew, 0, "About cats"),
       true},
      {"No(T) against the title",
       with([](TViewFilter& f) { f.FilGrid = {Row("*cats*", fcNoT)}; }),
       {},
       rec("http://a/cats", usNew, 0, "dogs"),
       true},
      {"the empty choice takes no part",
       with([](TViewFilter& f) { f.FilGrid = {Row("*", fcNone)}; }),
       {},
       rec("http://a/x", usNew),
       true},
      {"below the minimum",
       with([](TViewFilter& f) { f.MinSizeEd = "1000"; }),
       {},
       rec("http://a/x", usNew, 999),
       false},
      {"unknown size never hidden",
       with([](TViewFilter& f) { f.MinSizeEd = "1000"; }),
       {},
       rec("http://a/x", usNew, 0),
       true},
      {"link-extractor size -1 never hidden",
       with([](TViewFilter& f) { f.MinSizeEd = "1000"; }),
       {},
       rec("http://a/x", usNew, -1),
       true},
      {"max 0 is no upper limit",
       with([](TViewFilter& f) { f.MaxSizeEd = "0"; }),
       {},
       rec("http://a/x", usNew, 1 << 30),
       true},
      {"above the maximum",
       with([](TViewFilter& f) { f.MaxSizeEd = "100"; }),
       {},
       rec("http://a/x", usNew, 101),
       false},
      {"checked Only",
       with([](TViewFilter& f) { f.ChkFilesCombo = ccOnly; }),
       {},
       rec("http://a/x", usNew),
       false},
  };
  for (auto& c : cases) {
    EXPECT_EQ(URLPassesFilters(c.filter, c.mime, c.record), c.shown) << c.name;
  }
}

TEST(ViewFilter, UnlistedURLUsesTheBlankRecord) {
  TViewFilter f;
  f.NewFilesCombo = ccOnly;
  EXPECT_TRUE(URLPassesFilters(f, TMimeFilter{}, std::string("http://nowhere/x")));
  f.NewFilesCombo = ccNo;
  EXPECT_FALSE(URLPassesFilters(f, TMimeFilter{}, std::string("http://nowhere/x")));
}

}  // namespace
}  // namespace qv
