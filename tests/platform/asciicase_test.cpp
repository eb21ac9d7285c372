#include "platform/asciicase.h"

#include <gtest/gtest.h>

#include <string>

namespace qv {
namespace {

using namespace std::string_literals;

// Every comparison of the fold, against one pair of texts.
TEST(AsciiCase, ComparesPairsWithOnlyTheAsciiLettersFolded) {
  struct Case {
    const char* name;
    std::string a, b;
    bool equals;      // EqualsIC(a, b)
    bool startsWith;  // StartsWithIC(a, b)
    bool endsWith;    // EndsWithIC(a, b)
    int order;        // CompareIC(a, b)
  } cases[] = {
      {"same letters in other cases", "Content-TYPE", "content-type", true, true, true, 0},
      {"both empty", "", "", true, true, true, 0},
      {"a prefix of another case", "HTTPS://h/", "https:", false, true, false, 1},
      {"a suffix of another case", "index.HTM", ".htm", false, false, true, 1},
      {"longer than the text", "ftp", "ftp:", false, false, false, -1},
      // The neighbours of the letter ranges are no letters: "@" is not "`",
      // "[" is not "{".
      {"@ and backquote differ", "@", "`", false, false, false, -1},
      {"brackets and braces differ", "a[", "A{", false, false, false, -1},
      // Orderings fold to upper case, so "_" (0x5F) sorts after every letter.
      {"underscore after letters", "a_", "aZ", false, false, false, 1},
      // Latin-1 capital and small E acute: bytes above 0x7F match only themselves.
      {"high bytes are not folded", "caf\xC9", "caf\xE9", false, false, false, -1},
      {"a zero byte is a byte like any other", "a\0b"s, "A\0B"s, true, true, true, 0},
      {"a zero byte is not the end", "a\0b"s, "a", false, true, false, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(EqualsIC(c.a, c.b), c.equals);
    EXPECT_EQ(StartsWithIC(c.a, c.b), c.startsWith);
    EXPECT_EQ(EndsWithIC(c.a, c.b), c.endsWith);
    EXPECT_EQ(CompareIC(c.a, c.b), c.order);
    EXPECT_EQ(CompareIC(c.b, c.a), -c.order);
  }
}

TEST(AsciiCase, FindsAWordAtOrAfterAPlaceAndNeverPastTheEnd) {
  struct Case {
    const char* name;
    std::string_view text, word;
    std::size_t from;
    std::size_t at;  // MatchesAtIC(text, from, word) is at == from
  } cases[] = {
      {"the first of two", "Shortcut to x SHORTCUT TO y", "shortcut to ", 0, 0},
      {"the second from inside the first", "Shortcut to x SHORTCUT TO y", "shortcut to ", 1, 14},
      {"none", "text/html", "css", 0, std::string_view::npos},
      {"a word running past the end", "abc", "bcd", 1, std::string_view::npos},
      {"from at the end, empty word", "abc", "", 3, 3},
      {"from past the end", "abc", "", 4, std::string_view::npos},
      {"from past the end, with a word", "abc", "c", 9, std::string_view::npos},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(FindIC(c.text, c.word, c.from), c.at);
    EXPECT_EQ(MatchesAtIC(c.text, c.from, c.word), c.at == c.from);
  }
}

TEST(AsciiCase, ChangesOnlyTheAsciiLettersOfAText) {
  const std::string all = "Az@[`{\xC9\xE9\0-"s;
  EXPECT_EQ(UpperCaseAscii(all), "AZ@[`{\xC9\xE9\0-"s);
  EXPECT_EQ(LowerCaseAscii(all), "az@[`{\xC9\xE9\0-"s);
  static_assert(UpperAscii('q') == 'Q' && LowerAscii('Q') == 'q' && UpperAscii('~') == '~');
}

}  // namespace
}  // namespace qv
