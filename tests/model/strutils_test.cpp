#include "model/strutils.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <string>
#include <vector>

#include "support/wildcard_reference.h"

namespace qv {
namespace {

struct TWildCase {
  const char* Name;
  const char* Text;
  const char* Pattern;
  const char* Ignored;
  bool Prefix;
  bool CaseSensitive;
  bool Expected;
};

TEST(StrWildCard, Table) {
  const TWildCase cases[] = {
      {"star suffix", "abc", "A*", "", false, false, true},
      {"question needs exact length", "abc", "A?", "", false, false, false},
      {"star prefix", "abc", "*C", "", false, false, true},
      {"empty text against star", "", "*", "", false, false, true},
      {"empty text against question", "", "?", "", false, false, false},
      {"ignored characters", "a-b", "ab", "-", false, false, true},
      {"case sensitive refuses", "abc", "A*", "", false, true, false},
      {"case sensitive accepts", "Abc", "A*", "", false, true, true},
      {"prefix match", "text/html; charset=x", "text/html", "", true, false, true},
      {"no prefix: rest matters", "text/html; charset=x", "text/html", "", false, false, false},
      {"type pattern", "image/gif", "image/*", "", false, false, true},
      {"backtracking over occurrences", "abcabcX", "*abc?", "", false, false, true},
      {"last fragment anchored at end", "abXab", "*ab", "", false, false, true},
      {"fragment must fit", "ab", "*abc", "", false, false, false},
      {"many stars", "a/b/c/d.html", "*/*/*.htm?", "", false, false, true},
      // An equal byte wins over the wildcard: the pattern's "*" is spent on the
      // text's "*", and "b" is left unmatched.
      {"literal star step", "a*b", "a*", "", false, false, false},
      {"literal star then more", "xa*b", "*a*", "", false, false, false},
      {"literal star whole", "a*b", "a*b", "", false, false, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(StrWildCard(c.Text, c.Pattern, c.Ignored, c.Prefix, c.CaseSensitive), c.Expected)
        << c.Name;
  }
}

TEST(StrWildCard, EmbeddedZeroEndsTheText) {
  EXPECT_TRUE(StrWildCard(std::string("ab\0cd", 5), "ab"));
  EXPECT_FALSE(StrWildCard(std::string("ab\0cd", 5), "ab*d"));
}

TEST(StrWildCmpi, Table) {
  const TWildCase cases[] = {
      {"vowel class", "BAT", "B@T", "", false, false, true},
      {"vowel class refuses consonant", "BXT", "B@T", "", false, false, false},
      {"consonant class", "BAT", "$AT", "", false, false, true},
      {"Q before U is no consonant", "QUIT", "$UIT", "", false, false, false},
      {"R after vowel is no consonant", "ARM", "A$M", "", false, false, false},
      {"R first is a consonant", "RAM", "$AM", "", false, false, true},
      {"digits after a letter go", "Item12", "ITEM", "", false, false, true},
      {"digits after a blank stay", "Dec 01", "DEC 02", "", false, false, false},
      {"classes inside fragments", "xxBATyy", "*B@T*", "", false, false, true},
      {"class at end of text", "BA", "BA$", "", false, false, false},
      {"equal byte before class", "B@T", "B@T", "", false, false, true},
      {"dates differing in blanks and case", "Thu, 01 Dec 1994 16:00:00 GMT",
       "thu,01 dec 1994 16:00:00 gmt", " ", false, false, true},
      {"dates differing in a day", "Thu, 01 Dec 1994 16:00:00 GMT", "Thu, 02 Dec 1994 16:00:00 GMT",
       " ", false, false, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(StrWildCmpi(c.Text, c.Pattern, c.Ignored, c.Prefix), c.Expected) << c.Name;
}

// The bounded matcher must agree with the plain recursive search on every input;
// random small texts over an alphabet rich in the special bytes find the corners.
TEST(WildcardMatchers, AgreeWithTheRecursiveRules) {
  std::mt19937 rng(20261210);
  const std::string alphabet = "ab*?@$AUQRY1 ";
  auto gen = [&](std::size_t maxLen) {
    std::string s;
    const std::size_t n = rng() % (maxLen + 1);
    for (std::size_t i = 0; i < n; ++i) s += alphabet[rng() % alphabet.size()];
    return s;
  };
  for (int i = 0; i < 40000; ++i) {
    const std::string t = gen(9), p = gen(6);
    const bool prefix = rng() % 4 == 0;
    const std::string ign = rng() % 3 == 0 ? " " : "";
    ASSERT_EQ(StrWildCard(t, p, ign, prefix, false), testref::RefWildCard(t, p, ign, prefix, false))
        << "text '" << t << "' pattern '" << p << "' prefix " << prefix;
    ASSERT_EQ(StrWildCmpi(t, p, ign, prefix), testref::RefWildCmpi(t, p, ign, prefix))
        << "text '" << t << "' pattern '" << p << "' prefix " << prefix;
  }
}

// Inputs that make a backtracking search run for ages must still be answered:
// a text of "a"s against "*a*a*...*b", with and without a "*" in the text.
TEST(WildcardMatchers, ManyStarsOnLongTextsAreAnswered) {
  std::string pattern;
  for (int i = 0; i < 60; ++i) pattern += "*a";
  pattern += "*b";
  const std::string text(4000, 'a');
  EXPECT_FALSE(StrWildCard(text, pattern));
  EXPECT_FALSE(StrWildCmpi(text, pattern));
  EXPECT_FALSE(StrWildCard(text + "*", pattern));
  EXPECT_TRUE(StrWildCard(text + "b", pattern));
  EXPECT_TRUE(StrWildCard("*" + text + "b", "*" + pattern));
}

TEST(AddStringIC, AddsOnlyNewEntries) {
  TStringList list;
  EXPECT_EQ(AddStringIC(list, "http://a.example.com", " \t"), 0);
  EXPECT_EQ(AddStringIC(list, " http://A.example.com ", " \t"), -1);
  EXPECT_EQ(AddStringIC(list, "http://a.exam ple.com", " \t"), -1);
  EXPECT_EQ(AddStringIC(list, " \t\r\n", " \t"), -1);
  EXPECT_EQ(AddStringIC(list, " b ", ""), 1);
  EXPECT_EQ(list[1], " b ");  // added as given
  EXPECT_EQ(AddStringIC(list, "B", ""), -1);
  EXPECT_EQ(list.Count(), 2);
}

TEST(SmallHelpers, Table) {
  std::string s = "a-b-c";
  StrRemCh(s, "-");
  EXPECT_EQ(s, "abc");
  StrReplaceChr(s, 'b', 'x');
  EXPECT_EQ(s, "axc");

  EXPECT_EQ(CompareStrippedIC("Mozilla-Bot", "mozilla bot", " \t-"), 0);
  EXPECT_LT(CompareStrippedIC("abc", "abd", ""), 0);
  EXPECT_GT(CompareStrippedIC("abc", "ab", ""), 0);
  EXPECT_GT(CompareStrippedIC("\xe9", "a", ""), 0);  // unsigned bytes

  EXPECT_EQ(StartsWith("http://x", "http:"), 0);
  EXPECT_NE(StartsWith("http://x", "HTTP:"), 0);
  EXPECT_EQ(StartsWith("x", ""), 0);
  EXPECT_NE(StartsWith("ht", "http"), 0);

  EXPECT_EQ(CutAtDelimiter("text/html; charset=x", ";"), "text/html");
  EXPECT_EQ(CutAtDelimiter("abc", ";,"), "abc");

  EXPECT_EQ(StrNCmpId("href=", "HREF ", 4, " ="), 0);
  EXPECT_EQ(StrNCmpId("hrefx", "href ", 4, " ="), 2);
  EXPECT_EQ(StrNCmpId("href", "HREF=", 4, " ="), 0);  // a text's end counts as in the set
  EXPECT_NE(StrNCmpId("hreg=", "HREF ", 4, " ="), 0);
  EXPECT_NE(StrNCmpId("hreg=", "HREF ", 4, " ="), 2);
}

TEST(StrQStrI, SkipsQuotedStretches) {
  const std::string text = "alt=\"src\" src=x";
  EXPECT_EQ(StrQStrI(text, "SRC"), 10u);
  EXPECT_EQ(StrStrI(text, "SRC"), 5u);
  EXPECT_EQ(StrQStrI("\"a\"b", "\"b"), 2u);  // the closing quote's position can match
  EXPECT_EQ(StrQStrI("\"abc", "abc"), kNoPos);
  EXPECT_EQ(StrQStrI("ab", "abc"), kNoPos);
  EXPECT_EQ(StrStrI("xAbC", "abc"), 1u);
}

TEST(FindSorted, ExactBinarySearch) {
  const std::vector<std::string> ac = {"a", "c"};
  EXPECT_EQ(FindSorted(ac, "b"), ~1);
  EXPECT_EQ(FindSorted(ac, "D"), ~0);  // upper case sorts first
  EXPECT_EQ(FindSorted(ac, "d"), ~2);
  EXPECT_EQ(FindSorted(ac, "c"), 1);
  EXPECT_EQ(FindSorted(ac, "a"), 0);
  EXPECT_EQ(FindSorted({}, "a"), -1);
  const std::vector<std::string> big = {"a", "b", "c", "d", "e", "f", "\x80"};
  for (int i = 0; i < static_cast<int>(big.size()); ++i) EXPECT_EQ(FindSorted(big, big[i]), i);
  EXPECT_EQ(FindSorted(big, "cc"), ~3);
}

TEST(IndexOfLast, FindsTheLastExactEntry) {
  const std::vector<std::string> l = {"x", "X", "x", "y"};
  EXPECT_EQ(IndexOfLast(l, "x"), 2);
  EXPECT_EQ(IndexOfLast(l, "X"), 1);
  EXPECT_EQ(IndexOfLast(l, "z"), -1);
}

}  // namespace
}  // namespace qv
