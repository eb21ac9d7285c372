#include "engine/vkhttp.h"

#include <gtest/gtest.h>

#include "engine/vkftp.h"

namespace qv {
namespace {

TEST(HttpStatusText, StandardOwnAndUnknownCodes) {
  struct Case {
    int32_t code;
    std::string text;
  } cases[] = {
      {404, "Not Found (404)"},
      {200, "OK (200)"},
      {416, "Requested range not satisfiable (416)"},
      {505, "HTTP Version not supported (505)"},
      {406, "Content filtered"},
      {0, "Server not Found"},
      {-1, "Contacted but no response"},
      {-2, "Retrieved from cache"},
      {-406, "Content filtered"},
      {-412, "Precondition Failed"},
      {412, "Precondition Failed (412)"},
      {306, ""},
      {-3, ""},
      {999, ""},
  };
  for (const auto& tc : cases) EXPECT_EQ(HttpStatusText(tc.code), tc.text) << tc.code;
}

TEST(GetHeaderField, FindsLinesAfterAnyLineBreakInAnyCase) {
  struct Case {
    const char* name;
    std::string block, field, value;
  } cases[] = {
      {"crlf", "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n", "Content-Type", "text/html"},
      {"lone lf", "A: 1\nContent-Type:  text/css  \n", "Content-Type", "text/css"},
      {"lone cr", "A: 1\rContent-Type: x\r", "content-type", "x"},
      {"empty value is a blank", "Last-Modified:\r\nA: 1", "Last-Modified", " "},
      {"empty value at the end", "A: 1\r\nLast-Modified:   ", "Last-Modified", " "},
      {"absent", "A: 1\r\nB: 2", "Last-Modified", ""},
      {"empty block", "", "A", ""},
      {"prefix match comes first", "Content-Type-X: a\r\nContent-Type: b", "Content-Type", "-X: a"},
      {"leading blanks on a line", "A: 1\r\n   B: 2", "B", "2"},
      {"name longer than the last line", "A: 1\r\nLast", "Last-Modified", ""},
  };
  for (const auto& tc : cases) EXPECT_EQ(GetHeaderField(tc.block, tc.field), tc.value) << tc.name;
}

TEST(GetParamValue, SplitsAtSemicolons) {
  const std::string list = "a=1; path = /x ;secure";
  struct Case {
    std::string name, value;
  } cases[] = {{"path", "/x"}, {"secure", " "}, {"domain", ""}, {"a", "1"}, {"A", "1"}};
  for (const auto& tc : cases) EXPECT_EQ(GetParamValue(list, tc.name), tc.value) << tc.name;
  EXPECT_EQ(GetParamValue("pathx=1; path=/y", "path"), "/y");
  EXPECT_EQ(GetParamValue("path=", "path"), " ");
  EXPECT_EQ(GetParamValue("", "path"), "");
}

TEST(FtpReplyText, KnownCodesVerbatimOthersEmpty) {
  EXPECT_EQ(FtpReplyText(226), "Closing data connection");
  EXPECT_EQ(FtpReplyText(350), "Requested file actionpending further information");
  EXPECT_EQ(FtpReplyText(501), "Syntax error in paramters or arguments");
  EXPECT_EQ(FtpReplyText(999), "");
  EXPECT_EQ(FtpReplyText(0), "");
}

}  // namespace
}  // namespace qv
