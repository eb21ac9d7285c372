// The HTTP component against the in-process scripted server.
#include "components/nmhttpext.h"

#include <gtest/gtest.h>

#include <string>

#include "support/scriptedserver.h"

namespace qv {
namespace {

TEST(NMHTTPExt, PreparedURLKeepsItsSchemeAndIsEscaped) {
  struct Case {
    const char* In;
    const char* Out;
  } cases[] = {
      {" HTTPS://www.example.com/a b ", "HTTPS://www.example.com/a%20b"},
      {"https://h/x\"y<z>#f", "https://h/x%22y%3Cz%3E%23f"},
      {"\thttp://h/100%", "http://h/100%"},
  };
  for (const auto& c : cases) EXPECT_EQ(TNMHTTPExt::PrepareURL(c.In), c.Out) << c.In;
}

TEST(NMHTTPExt, FetchesAndNotesTheConnection) {
  test::TScriptedServer server(test::TScriptedServer::Replies(
      {test::HttpReply("HTTP/1.1 200 OK", "hello"), test::HttpReply("HTTP/1.1 200 OK", "")}));
  TNMHTTPExt h;
  h.Client.ReadTimeout = 10000;
  int connects = 0;
  h.OnConnect = [&](TNMHTTP*) { ++connects; };
  EXPECT_EQ(h.Connected, 0);
  ASSERT_TRUE(h.GetExt(" " + server.Url("/a b") + " "));
  EXPECT_EQ(h.Body, "hello");
  EXPECT_EQ(h.Connected, 1);
  EXPECT_EQ(connects, 1);
  EXPECT_TRUE(h.HeadExt(server.Url("/h")));
  ASSERT_EQ(server.Requests().size(), 2u);
  EXPECT_EQ(server.Requests()[0].substr(0, server.Requests()[0].find("\r\n")),
            "GET /a%20b HTTP/1.1");
  EXPECT_EQ(server.Requests()[1].substr(0, 13), "HEAD /h HTTP/");
}

// Whatever the raising base throws comes back as false.
TEST(NMHTTPExt, FailuresOfTheBaseGiveFalse) {
  test::TScriptedServer server(test::TScriptedServer::Replies(
      {test::HttpReply("HTTP/1.1 404 Not Found", "gone"),
       test::TScriptedReply("HTTP/1.1 200 OK\r\nContent-Le", true)}));
  TNMHTTPExt h;
  h.Client.ReadTimeout = 10000;
  h.Client.ConnectTimeout = 10000;
  EXPECT_FALSE(h.GetExt(server.Url("/missing")));
  EXPECT_FALSE(h.HeadExt(server.Url("/cut")));  // the connection closes in the head
  TNMHTTPExt refused;
  refused.Client.ConnectTimeout = 10000;
  EXPECT_FALSE(refused.GetExt("http://127.0.0.1:1/"));
  EXPECT_EQ(refused.Connected, 0);
  EXPECT_FALSE(refused.GetExt("not a url"));
}

TEST(NMHTTPExt, SuccessAndFailureHandlersSetTheFlag) {
  TNMHTTPExt h;
  EXPECT_EQ(h.Succeeded, 0);
  h.HTTPSuccess(0);
  EXPECT_EQ(h.Succeeded, 1);
  h.HTTPFailure(0);
  EXPECT_EQ(h.Succeeded, 0);
}

}  // namespace
}  // namespace qv
