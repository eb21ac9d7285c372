// The FTP component against the local test server (scripts/servers/ftp),
// which logs every command of a session to QV_FTP_LOG/CLIENTPORT.log.
#include "components/nmftpext.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "support/scratchdir.h"

namespace qv {
namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

class NMFTPExtNet : public ::testing::Test {
 protected:
  void SetUp() override {
    Port = Env("QV_FTP_PORT");
    if (Port.empty()) GTEST_SKIP() << "QV_FTP_PORT unset: run under scripts/test-servers";
    Base = "ftp://127.0.0.1:" + Port;
    F.Client.ReadTimeout = 10000;
    F.Client.ConnectTimeout = 10000;
    F.Client.DataTimeout = 10000;
  }
  // The commands f's session has sent so far.
  static std::vector<std::string> Log(const TNMFTPExt& f) {
    const std::string text =
        test::ReadBytes(Env("QV_FTP_LOG") + "/" + std::to_string(f.Client.LocalPort()) + ".log");
    std::vector<std::string> out;
    size_t start = 0;
    while (start < text.size()) {
      size_t end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      out.push_back(text.substr(start, end - start));
      start = end + 1;
    }
    return out;
  }

  std::string Port, Base;
  TNMFTPExt F;
};

TEST_F(NMFTPExtNet, ConnectTakesTheLogOnFromTheURL) {
  ASSERT_TRUE(F.ConnectExt(Base + "/pub/", "me@example.org"));
  EXPECT_EQ(F.Host, "127.0.0.1:" + Port);
  EXPECT_EQ(F.UserID, "anonymous");
  EXPECT_EQ(F.Password, "me@example.org");
  EXPECT_EQ(F.GetCurrentDir(), "/");
  EXPECT_TRUE(F.DisconnectExt());
  EXPECT_FALSE(F.DisconnectExt());  // the base raises: not connected
  EXPECT_EQ(F.GetCurrentDir(), "");
}

TEST_F(NMFTPExtNet, ConnectRefusesWithoutHostUserOrPassword) {
  EXPECT_FALSE(F.ConnectExt("http://127.0.0.1:" + Port + "/", "me@example.org"));
  EXPECT_FALSE(F.ConnectExt(Base + "/", ""));  // anonymous without a password
  EXPECT_FALSE(F.Client.Connected());
  EXPECT_EQ(F.Host, "");
  EXPECT_FALSE(F.ConnectExt("ftp://127.0.0.1:1/", "me@example.org"));  // nobody listens
  TNMFTPExt g;
  g.Client.ReadTimeout = 10000;
  EXPECT_FALSE(g.ConnectExt("ftp://" + Env("QV_FTP_USER") + ":wrong@127.0.0.1:" + Port + "/", "x"));
}

TEST_F(NMFTPExtNet, ChangeAbsDirWalksOneFolderAtATime) {
  struct Case {
    const char* Name;
    const char* From;
    const char* To;
    bool Result;
    std::vector<std::string> Sent;  // the changes the walk sends
    const char* Ends;
  } cases[] = {
      {"sideways",
       "/pub/a/b",
       "/pub/c/d",
       true,
       {"CWD ..", "CWD ..", "CWD c", "CWD d"},
       "/pub/c/d"},
      {"the current folder", "/pub/a", "/pub/a", true, {}, "/pub/a"},
      {"relative", "/pub/a", "b", true, {"CWD b"}, "/pub/a/b"},
      {"empty parts", "/", " /pub//c/d/ ", true, {"CWD pub", "CWD c", "CWD d"}, "/pub/c/d"},
      {"up to the root", "/pub/a/b", "/", true, {"CWD ..", "CWD ..", "CWD .."}, "/"},
      {"missing folder", "/pub", "/pub/zz/a", false, {"CWD zz"}, "/pub"},
  };
  for (const auto& c : cases) {
    TNMFTPExt f;
    f.Client.ReadTimeout = 10000;
    ASSERT_TRUE(f.ConnectExt(Base + "/", "me@example.org")) << c.Name;
    ASSERT_TRUE(f.ChangeDir(c.From)) << c.Name;
    const size_t mark = Log(f).size();
    int changes = 0;
    f.OnChangeDir = [&](TNMFTPExt* sender) {
      EXPECT_EQ(sender, &f);
      ++changes;
    };
    EXPECT_EQ(f.ChangeAbsDir(c.To), c.Result) << c.Name;
    std::vector<std::string> sent;
    const auto log = Log(f);
    for (size_t i = mark; i < log.size(); ++i)
      if (log[i] != "PWD") sent.push_back(log[i]);
    EXPECT_EQ(sent, c.Sent) << c.Name;
    EXPECT_EQ(changes, static_cast<int>(c.Sent.size()) - (c.Result ? 0 : 1)) << c.Name;
    EXPECT_EQ(f.GetCurrentDir(), c.Ends) << c.Name;
  }
  EXPECT_FALSE(F.ChangeAbsDir("/pub"));  // not connected: no current folder
}

// The caller's list handler is back in place after List, whether the listing
// worked or not, and saw every line meanwhile.
TEST_F(NMFTPExtNet, ListKeepsTheCallersHandler) {
  std::vector<std::string> seen;
  F.OnListItem = [&](const std::string& line) { seen.push_back(line); };
  std::vector<std::string> lines{"old"};
  EXPECT_FALSE(F.List(lines));  // not connected: the base raises
  EXPECT_EQ(lines, std::vector<std::string>{"old"});
  ASSERT_TRUE(F.OnListItem);
  F.OnListItem("mine");
  EXPECT_EQ(seen, std::vector<std::string>{"mine"});

  seen.clear();
  ASSERT_TRUE(F.ConnectExt(Base + "/pub/", "me@example.org"));
  ASSERT_TRUE(F.ChangeDir("/pub"));
  ASSERT_TRUE(F.List(lines));
  ASSERT_EQ(lines.size(), 3u);  // a, c, big.bin
  EXPECT_EQ(seen, lines);
  F.OnListItem("mine");
  EXPECT_EQ(seen.back(), "mine");
  EXPECT_EQ(seen.size(), 4u);

  // A second listing does not carry the first one's lines.
  seen.clear();
  ASSERT_TRUE(F.ChangeDir("a"));
  ASSERT_TRUE(F.List(lines));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find(" b"), std::string::npos);
}

TEST_F(NMFTPExtNet, DownloadsAndModes) {
  test::TScratchDir dir;
  ASSERT_TRUE(F.ConnectExt(Base + "/", "me@example.org"));
  EXPECT_TRUE(F.ModeExt(ftBinary));
  const std::string local = dir / "note.txt";
  ASSERT_TRUE(F.DownloadExt("/pub/a/b/note.txt", local));
  EXPECT_EQ(test::ReadBytes(local), "file in pub/a/b\n");
  EXPECT_FALSE(F.DownloadExt("/pub/none.txt", dir / "none.txt"));
  test::WriteBytes(local, "file in");
  ASSERT_TRUE(F.DownloadRestoreExt("/pub/a/b/note.txt", local));
  EXPECT_EQ(test::ReadBytes(local), "file in pub/a/b\n");
  EXPECT_FALSE(F.DownloadRestoreExt("/pub/none.txt", dir / "none.txt"));
  EXPECT_TRUE(F.DisconnectExt());
  EXPECT_FALSE(F.ModeExt(ftASCII));
}

}  // namespace
}  // namespace qv
