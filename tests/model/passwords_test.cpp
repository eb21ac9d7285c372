#include "model/passwords.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace qv {
namespace {

TEST(PassWordList, LookupTakesBothValuesFromTheLowestMatchingRow) {
  const TPassWordList list({{"http://p.example/", "upper", "pw1"},
                            {"http://p.example/x", "lower", "pw2"},
                            {"ftp://other/", "ftpuser", "pw3"}});
  struct Case {
    const char* name;
    std::string url;
    TCredentials want;
  } cases[] = {
      {"deeper prefix, lower row wins", "http://p.example/x/y", {"lower", "pw2"}},
      {"only the shorter length is compared", "HTTP://P.EXAMPLE/", {"lower", "pw2"}},
      {"plain prefix", "http://p.example/z", {"upper", "pw1"}},
      {"trimmed", "  ftp://OTHER/file\r\n", {"ftpuser", "pw3"}},
      {"no match", "http://q.example/", {}},
      {"a longer host is another site", "http://p.example.evil/x", {}},
      {"another port is another site", "http://p.example:8080/x", {}},
      {"a shorter host is another site", "http://p.exam", {}},
      {"the host alone is the site", "http://p.example", {"lower", "pw2"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(list.Lookup(c.url), c.want);
    EXPECT_EQ(list.GetUserID(c.url), c.want.UserID);
    EXPECT_EQ(list.GetPW(c.url), c.want.PW);
  }
}

TEST(PassWordList, EmptyListAndEmptyPrefix) {
  EXPECT_EQ(TPassWordList().Lookup("http://a/"), TCredentials{});
  const TPassWordList any({{"http://a/", "a", "1"}, {"", "anyone", "2"}});
  EXPECT_EQ(any.Lookup("http://a/"), (TCredentials{"anyone", "2"}));
}

// A worker keeps looking credentials up while the user-interface thread
// publishes edited lists: each answer is one published row, never a mix.
TEST(PassWordList, ReadersSeeWholeSnapshotsWhilePublishing) {
  TPublished<TPassWordList> published;
  std::atomic<bool> stop{false};
  std::atomic<int> mixed{0};
  std::thread reader([&] {
    while (!stop) {
      const TCredentials c = published.Get()->Lookup("http://site/page");
      if (!c.UserID.empty() && c.PW != "pw-" + c.UserID) ++mixed;
    }
  });
  for (int i = 0; i < 2000; ++i) {
    const std::string u = std::to_string(i);
    published.Publish(TPassWordList({{"http://site/", u, "pw-" + u}}));
  }
  stop = true;
  reader.join();
  EXPECT_EQ(mixed, 0);
}

}  // namespace
}  // namespace qv
