#include "model/textfit.h"

#include <climits>
#include <string>

#include <gtest/gtest.h>

namespace qv {
namespace {

// One pixel per byte: widths and lengths are the same numbers.
int PerByte(std::string_view s) { return static_cast<int>(s.size()); }
const TTextWidth kPerByte = PerByte;

std::string Letters(int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += static_cast<char>('a' + i % 26);
  return s;
}

TEST(FitLength, EstimatesFromTheWholeTextsWidth) {
  struct {
    const char* Name;
    std::string Text;
    int Width;
    int Want;
  } cases[] = {
      {"fits", "abcdef", 6, 6},      {"wider room", "abcdef", 100, 6},
      {"half", Letters(40), 20, 20}, {"empty at 0", "", 0, 0},
      {"empty at -5", "", -5, 0},    {"text at 0", "abc", 0, 0},
      {"text at -5", "abc", -5, 0},  {"most negative", "abc", INT_MIN, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(FitLength(kPerByte, c.Text, c.Width), c.Want) << c.Name;
  // A measurer that counts two pixels a byte halves the estimate.
  EXPECT_EQ(
      FitLength([](std::string_view s) { return 2 * static_cast<int>(s.size()); }, Letters(40), 40),
      20);
}

TEST(FitTextToWidth, ModesCutAndMark) {
  const std::string t40 = Letters(40);  // "abcdefghijklmnopqrstuvwxyzabcdefghijklmn"
  struct {
    const char* Name;
    std::string Text;
    int Width;
    int Mode;
    std::string Want;
  } cases[] = {
      // n = width - 3 = 30.
      {"end", t40, 33, 1, t40.substr(0, 26) + ">>"},
      {"start", t40, 33, 2, "<<" + t40.substr(14)},
      // 18 characters removed after the first 11, ">><<" in their place.
      {"middle", t40, 33, 3, t40.substr(0, 11) + ">><<" + t40.substr(29)},
      {"other mode", t40, 33, 0, t40},
      {"mode 4", t40, 33, 4, t40},
      // Too little would stay beside the mark: the first characters that fit.
      {"end, n 7", t40, 10, 1, t40.substr(0, 7)},
      {"end, n 8", t40, 11, 1, t40.substr(0, 4) + ">>"},
      {"start, n 7", t40, 10, 2, t40.substr(0, 7)},
      {"middle, n 15", t40, 18, 3, t40.substr(0, 15)},
      {"middle, n 16", t40, 19, 3, t40.substr(0, 4) + ">><<" + t40.substr(36)},
      {"middle, n 0", t40, 3, 3, ""},
      {"end, negative width", t40, -50, 1, ""},
      {"empty, 0", "", 0, 3, ""},
      {"empty, 2", "", 2, 1, ""},
      {"empty, -5", "", -5, 2, ""},
      {"empty, most negative", "", INT_MIN, 3, ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FitTextToWidth(kPerByte, c.Text, c.Width, c.Mode), c.Want) << c.Name;
}

TEST(FitTextToWidth, AFittingTextIsNeverChangedAndNothingGrows) {
  for (int mode = 0; mode <= 4; ++mode) {
    EXPECT_EQ(FitTextToWidth(kPerByte, "short text", 13, mode), "short text") << mode;
    EXPECT_EQ(FitTextToWidth(kPerByte, "short text", 1000, mode), "short text") << mode;
  }
  for (int len : {0, 1, 5, 9, 17, 40, 200})
    for (int width = -4; width < len + 8; ++width)
      for (int mode = 1; mode <= 3; ++mode) {
        const std::string text = Letters(len);
        EXPECT_LE(FitTextToWidth(kPerByte, text, width, mode).size(), text.size())
            << len << " " << width << " " << mode;
      }
}

TEST(MinimizeName, LeadingFoldersGiveWayFirst) {
  const std::string p = "/home/user/TvWeb/http/h/page.html/Data.html";
  EXPECT_EQ(MinimizeName(kPerByte, p, 100), p);
  EXPECT_EQ(MinimizeName(kPerByte, p, 30), "/.../h/page.html/Data.html");
  EXPECT_EQ(MinimizeName(kPerByte, p, 14), "/.../Data.html");
  EXPECT_EQ(MinimizeName(kPerByte, p, 13), ".../Data.html");
  EXPECT_LE(MinimizeName(kPerByte, p, 10).size(), 10u);
  EXPECT_EQ(MinimizeName(kPerByte, "", 0), "");
}

}  // namespace
}  // namespace qv
