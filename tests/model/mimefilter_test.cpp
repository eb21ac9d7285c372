#include "model/mimefilter.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

using Strings = std::vector<std::string>;

TMimeFilter Filter(Strings patterns, bool unknown = false, bool all = false) {
  TMimeFilter f;
  for (const auto& p : patterns) AddPattern(f.Patterns, p);
  f.UnknownChk = unknown;
  f.AllChk = all;
  f.SelOnlyChk = !unknown && !all;
  return f;
}

TEST(MimeFilter, Match) {
  struct Case {
    const char* name;
    TMimeFilter filter;
    std::string type;
    bool want;
  } cases[] = {
      {"parameters and letter case", Filter({"text/html"}), "Text/HTML; charset=iso-8859-1", true},
      {"blanks and control bytes trimmed", Filter({"text/html"}), " \ttext/html\r\n", true},
      {"other subtype", Filter({"text/html"}), "text/plain", false},
      {"wildcard subtype", Filter({"image/*"}), "image/x-png", true},
      {"wildcard does not cross majors", Filter({"image/*"}), "text/image", false},
      {"question mark", Filter({"video/mpeg?"}), "video/mpeg2", true},
      {"unknown type without Include unknown", Filter({"text/html"}), "", false},
      {"unknown type with Include unknown", Filter({"text/html"}, true), "", true},
      {"Include unknown still filters known types", Filter({"text/html"}, true), "image/gif",
       false},
      {"Include all", Filter({"text/html"}, false, true), "image/gif", true},
      {"Include all, unknown type", Filter({"text/html"}, false, true), "", true},
      {"no patterns pass everything", Filter({}), "application/zip", true},
      {"no patterns pass unknown", Filter({}), "", true},
      {"upper-case pattern", Filter({"TEXT/HTML"}), "text/html", true},
  };
  for (const auto& c : cases) EXPECT_EQ(c.filter.Match(c.type), c.want) << c.name;
}

TEST(MimeFilter, PatternsStaySortedAndUnique) {
  std::vector<std::string> p;
  EXPECT_TRUE(AddPattern(p, "text/html"));
  EXPECT_TRUE(AddPattern(p, "image/*"));
  EXPECT_FALSE(AddPattern(p, "TEXT/HTML"));
  EXPECT_TRUE(AddPattern(p, "audio/mpeg"));
  EXPECT_EQ(p, (Strings{"audio/mpeg", "image/*", "text/html"}));
  TMimeFilter f;
  f.Patterns = p;
  EXPECT_EQ(f.ResponseFilter(), "audio/mpeg,image/*,text/html");
}

TEST(MimeFilter, BlockRoundTripAndLayout) {
  TMimeFilter f = Filter({"text/html", "audio/mpeg"}, true);
  f.OtherList = {"audio/mpeg", "text/x-speech"};
  TMemoryStream st;
  SaveFilter(st, f);
  const std::string& b = st.Data();
  ASSERT_EQ(b.size(), 4 + 27 + 4 + 23 + 3 + 989u);
  EXPECT_EQ(b.substr(0, 4), std::string("\x1b\0\0\0", 4));
  EXPECT_EQ(b.substr(4, 27), "audio/mpeg\r\ntext/x-speech\r\n");
  EXPECT_EQ(b.substr(35 + 23, 3), std::string("\0\1\0", 3));
  st.Seek(0, TSeekOrigin::soBeginning);
  TMimeFilter back;
  LoadFilter(st, back);
  EXPECT_EQ(back, f);
}

TEST(MimeFilter, DescriptionsByExactItem) {
  EXPECT_EQ(MimeDescription("html"), "Hypertext documents (*.htm, *.html)");
  EXPECT_EQ(MimeDescription("*"), "All sub types from this catagory");
  EXPECT_EQ(MimeDescription("x-mpeg"), "MPEG audio (*.mpa, *.mp2, *,mp3)");
  EXPECT_EQ(MimeDescription("HTML"), "");
  EXPECT_EQ(CommonMimeLists().size(), 5u);
  EXPECT_EQ(CommonMimeLists()[0].Items.size(), 16u);
}

}  // namespace
}  // namespace qv
