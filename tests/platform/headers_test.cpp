#include <gtest/gtest.h>

#include "platform/base64.h"
#include "platform/headerlist.h"
#include "platform/httpdate.h"

namespace qv {
namespace {

TEST(HeaderList, LookupAndReplaceByNameInAnyCase) {
  TIdHeaderList h;
  h.Add("Content-Type: text/html");
  h.Add("Set-Cookie: a=1");
  h.Add("set-cookie:b=2");
  h.Add("X-Empty:");
  h.Add("Content-Type-X: other");
  EXPECT_EQ(h.GetValue("content-type"), "text/html");
  EXPECT_EQ(h.GetValue("Content-Type-X"), "other");
  EXPECT_EQ(h.GetValue("Content"), "");  // whole names only
  EXPECT_EQ(h.GetValue("X-Empty"), "");
  EXPECT_EQ(h.IndexOfName("X-EMPTY"), 3);
  EXPECT_EQ(h.GetValues("Set-Cookie"), (std::vector<std::string>{"a=1", "b=2"}));
  EXPECT_EQ(h.Names(2), "set-cookie");
  EXPECT_EQ(h.Values(2), "b=2");
  h.SetValue("CONTENT-TYPE", "text/plain");
  EXPECT_EQ(h[0], "CONTENT-TYPE: text/plain");
  h.SetValue("Set-Cookie", "");  // an empty value deletes every such line
  EXPECT_EQ(h.IndexOfName("set-cookie"), -1);
  h.SetValue("Location", "/x");
  EXPECT_EQ(h[h.Count() - 1], "Location: /x");
}

TEST(HttpDate, ParsesTheThreeFormsAndRejectsTheRest) {
  const std::time_t sample = 784111777;  // 1994-11-06 08:49:37 UTC
  struct Case {
    const char* text;
    bool ok;
  } cases[] = {
      {"Sun, 06 Nov 1994 08:49:37 GMT", true},
      {"Sunday, 06-Nov-94 08:49:37 GMT", true},
      {"Sun Nov  6 08:49:37 1994", true},
      {"  Sun, 06 Nov 1994 08:49:37 GMT  ", true},
      {"Sun, 06 Nov 1994 08:49:37 UTC", false},
      {"Sun, 31 Nov 1994 08:49:37 GMT", false},
      {"Sun, 06 Nov 1994 24:00:00 GMT", false},
      {"Sun, 06 Foo 1994 08:49:37 GMT", false},
      {"Sun, 06 Nov 1994 08:49:37 GMT trailing", false},
      {"", false},
      {"0", false},
  };
  for (const auto& tc : cases) {
    std::time_t t = 0;
    EXPECT_EQ(ParseHttpDate(tc.text, t), tc.ok) << tc.text;
    if (tc.ok) {
      EXPECT_EQ(t, sample) << tc.text;
    }
  }
  EXPECT_EQ(FormatHttpDate(sample), "Sun, 06 Nov 1994 08:49:37 GMT");
}

TEST(HttpDate, ConvertsToLocalDateTime) {
  setenv("TZ", "UTC", 1);
  tzset();
  // 1994-11-06 is day 34644 after 1899-12-30.
  EXPECT_DOUBLE_EQ(GMTToLocalDateTime("Sun, 06 Nov 1994 12:00:00 GMT"), 34644.5);
  EXPECT_EQ(GMTToLocalDateTime("garbage"), 0);
  setenv("TZ", "Europe/Berlin", 1);  // UTC+1 in November
  tzset();
  EXPECT_DOUBLE_EQ(GMTToLocalDateTime("Sun, 06 Nov 1994 23:00:00 GMT"), 34645.0);
  unsetenv("TZ");
  tzset();
}

TEST(Base64, EncodesWithPadding) {
  struct Case {
    std::string in, out;
  } cases[] = {{"", ""},
               {"f", "Zg=="},
               {"fo", "Zm8="},
               {"foo", "Zm9v"},
               {"user:pass", "dXNlcjpwYXNz"},
               {std::string("\xff\x00\x10", 3), "/wAQ"}};
  for (const auto& tc : cases) EXPECT_EQ(EncodeBase64(tc.in), tc.out) << tc.in;
}

}  // namespace
}  // namespace qv
