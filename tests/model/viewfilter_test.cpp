#include "model/viewfilter.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace qv
