// The download thread against the real servers of scripts/test-servers:
// nginx for Range and If-Modified-Since, pyftpdlib for sessions and REST.

#include "engine/dlthread.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "model/vkglobal.h"
#include "support/dljob.h"
#include "support/filesizelimit.h"
#include "support/scriptedserver.h"

namespace qv {
namespace {

namespace fs = std::filesystem;
using test::ReadAll;

std::string Getenv(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

// --- nginx ---

class DLNginxTest : public test::TDLJobTest {
 protected:
  void SetUp() override {
    TDLJobTest::SetUp();
    Port = Getenv("QV_NGINX_PORT");
    if (Port.empty()) GTEST_SKIP() << "QV_NGINX_PORT unset: run under scripts/test-servers";
    ServerRoot = Getenv("QV_NGINX_ROOT");
  }
  std::string Url(const std::string& path) { return "http://127.0.0.1:" + Port + path; }
  std::string Served(const std::string& path) { return ReadAll(ServerRoot + path); }

  std::string Port, ServerRoot;
};

const std::vector<std::string> kTree = {"/tree/index.html", "/tree/page.html", "/tree/style.css",
                                        "/tree/img/a.png",  "/tree/img/b.gif", "/tree/1m.bin"};

TEST_F(DLNginxTest, TreeIsStoredWholeAndASecondRunChangesNothing) {
  std::vector<std::string> urls;
  for (const auto& p : kTree) urls.push_back(Url(p));
  const std::string missing = Url("/tree/missing.html");
  urls.push_back(missing);
  RunJob(urls);
  EXPECT_EQ(Listed(missing).Status, usFailed);
  EXPECT_EQ(Listed(missing).Details, "Not Found (404)");
  EXPECT_FALSE(fs::exists(Local(missing, "Data", "")));
  std::vector<fs::file_time_type> times;
  std::vector<std::string> heads;
  for (const auto& p : kTree) {
    const std::string url = Url(p);
    const std::string body = ReadAll(Local(url, "Data", ""));
    EXPECT_TRUE(body == Served(p)) << p << ": " << body.size() << " bytes";
    heads.push_back(ReadAll(Local(url, "Head", ".txt")));
    EXPECT_NE(heads.back().find("Last-Modified:"), std::string::npos) << p;
    EXPECT_EQ(Listed(url).Status, usDownloaded) << p;
    times.push_back(fs::last_write_time(Local(url, "Data", "")));
  }
  Thread.reset();
  RunJob(urls);
  for (size_t i = 0; i < kTree.size(); ++i) {
    const std::string url = Url(kTree[i]);
    EXPECT_TRUE(ReadAll(Local(url, "Data", "")) == Served(kTree[i])) << kTree[i];
    EXPECT_EQ(ReadAll(Local(url, "Head", ".txt")), heads[i]) << kTree[i];
    EXPECT_EQ(fs::last_write_time(Local(url, "Data", "")), times[i]) << kTree[i];
    EXPECT_EQ(Listed(url).Status, usDownloaded) << kTree[i];
    EXPECT_EQ(Listed(url).Details, "Not Modified (304)") << kTree[i];
    EXPECT_EQ(Files(url).size(), 2u) << kTree[i];
  }
}

// A relay on 127.0.0.1 in front of nginx, one request per connection. With
// `cut` above 0 it resets its first connection once that many bytes of the
// answer have gone through; every later answer passes whole.
test::TScriptedServer::THandler RelayTo(int port, size_t cut) {
  return [port, cut](test::TScriptedConn& c) {
    std::string request = c.ReadRequest();
    if (request.empty()) return;
    // nginx closes after its answer, so the end of the answer is its close.
    std::string head;
    for (size_t s = 0, n; (n = request.find("\r\n", s)) != std::string::npos && n > s; s = n + 2) {
      const std::string line = request.substr(s, n - s);
      if (strncasecmp(line.c_str(), "Connection:", 11) != 0) head += line + "\r\n";
    }
    head += "Connection: close\r\n\r\n";
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, "127.0.0.1", &a.sin_addr);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::send(fd, head.data(), head.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(head.size())) {
      ::close(fd);
      return;
    }
    size_t passed = 0;
    char buf[65536];
    for (ssize_t n; (n = ::recv(fd, buf, sizeof buf, 0)) > 0;) {
      const bool cutHere = cut > 0 && c.Index() == 0 && passed + static_cast<size_t>(n) >= cut;
      const size_t take = cutHere ? cut - passed : static_cast<size_t>(n);
      c.Send(std::string(buf, take));
      passed += take;
      if (cutHere) {
        c.Reset();
        break;
      }
    }
    ::close(fd);
  };
}

TEST_F(DLNginxTest, CutDownloadResumesToTheSameBytes) {
  struct Case {
    const char* name;
    size_t resetAt;    // the relay resets the first answer here (0: never)
    rlim_t diskLimit;  // the disk fills up here (0: never)
  } cases[] = {
      {"the disk fills up a third of the way in", 0, 10 * 1024 * 1024},
      {"the connection is reset a third of the way in", 10 * 1024 * 1024, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::TScriptedServer relay(RelayTo(std::stoi(Port), c.resetAt));
    const std::string url = relay.Url("/tree/30m.bin");
    {
      std::unique_ptr<test::TFileSizeLimit> limit;
      if (c.diskLimit) limit = std::make_unique<test::TFileSizeLimit>(c.diskLimit);
      RunJob({url});
    }
    Thread.reset();
    EXPECT_EQ(Listed(url).Status, usFailed);
    const auto partial = fs::file_size(Local(url, "Data", ".tmp"));
    EXPECT_GE(partial, 20000u);
    EXPECT_LT(partial, 30u * 1024 * 1024);
    RunJob({url});
    Thread.reset();
    const auto requests = relay.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_NE(requests[1].find("\r\nRange: bytes=" + std::to_string(partial) + "-\r\n"),
              std::string::npos)
        << requests[1];
    const std::string body = ReadAll(Local(url, "Data", ".bin"));
    EXPECT_TRUE(body == Served("/tree/30m.bin")) << body.size() << " bytes";
    EXPECT_EQ(Files(url), (std::set<std::string>{"Data.bin", "Head.txt"}));
    EXPECT_EQ(Listed(url).Details, "Partial Content (206)");
  }
}

// --- FTP ---

class DLFtpTest : public test::TDLJobTest {
 protected:
  void SetUp() override {
    TDLJobTest::SetUp();
    Port = Getenv("QV_FTP_PORT");
    if (Port.empty()) GTEST_SKIP() << "QV_FTP_PORT unset: run under scripts/test-servers";
    Base = "ftp://127.0.0.1:" + Port;
    for (const auto& e : fs::directory_iterator(Getenv("QV_FTP_LOG")))
      Before.insert(e.path().string());
  }
  // The command logs of the sessions opened since the test began that hold
  // a line beginning with one of the marks (other tests use the server at
  // the same time).
  std::vector<std::vector<std::string>> Sessions(const std::vector<std::string>& marks) {
    std::vector<std::vector<std::string>> r;
    for (const auto& e : fs::directory_iterator(Getenv("QV_FTP_LOG"))) {
      if (Before.count(e.path().string()) || e.path().extension() != ".log") continue;
      std::vector<std::string> lines;
      std::string text = ReadAll(e.path().string());
      for (size_t s = 0, n; s < text.size(); s = n + 1) {
        n = text.find('\n', s);
        if (n == std::string::npos) n = text.size();
        lines.push_back(text.substr(s, n - s));
      }
      bool ours = false;
      for (const auto& m : marks) ours = ours || Count(lines, m) > 0;
      if (ours) r.push_back(lines);
    }
    return r;
  }
  static int Count(const std::vector<std::string>& log, const std::string& prefix) {
    int n = 0;
    // Commands are compared ignoring case: the client sends some in lower case.
    for (const auto& l : log) n += strncasecmp(l.c_str(), prefix.c_str(), prefix.size()) == 0;
    return n;
  }

  std::string Port, Base;
  std::set<std::string> Before;
};

TEST_F(DLFtpTest, TwoFilesOfOneFolderShareTheLogOnAndTheWalk) {
  const std::string first = Base + "/pub/c/d/my%20file.txt";
  const std::string second = Base + "/pub/c/d/second.txt";
  RunJob({first, second});
  EXPECT_EQ(ReadAll(Local(first, "Data", "")), "with a blank\n");
  EXPECT_EQ(ReadAll(Local(second, "Data", "")), "beside it\n");
  const auto sessions = Sessions({"RETR my file.txt", "RETR second.txt"});
  ASSERT_EQ(sessions.size(), 1u);
  EXPECT_EQ(Count(sessions[0], "USER"), 1);
  EXPECT_EQ(Count(sessions[0], "CWD"), 3) << "pub, c, d once";
  EXPECT_EQ(Count(sessions[0], "RETR my file.txt"), 1);
  EXPECT_EQ(Listed(first).Status, usDownloaded);
  EXPECT_EQ(Listed(second).Status, usDownloaded);
}

TEST_F(DLFtpTest, AnotherUserLogsOnAnew) {
  const std::string open = Base + "/readme.txt";
  const std::string own = "ftp://" + Getenv("QV_FTP_USER") + ":" + Getenv("QV_FTP_PASSWORD") +
                          "@127.0.0.1:" + Port + "/private/secret.txt";
  RunJob({open, own});
  EXPECT_EQ(ReadAll(Local(open, "Data", "")), "hello from the anonymous root\n");
  EXPECT_EQ(ReadAll(Local(own, "Data", "")), "only for the user\n");
  EXPECT_EQ(Sessions({"RETR readme.txt", "RETR secret.txt"}).size(), 2u);
}

TEST_F(DLFtpTest, RestResumesByteExactly) {
  const std::string url = Base + "/pub/big.bin";
  const std::string whole = ReadAll(Getenv("QV_FTP_ROOT") + "/pub/big.bin");
  ASSERT_EQ(whole.size(), 300000u);
  Store(url, "Data.tmp", whole.substr(0, 123456));
  RunJob({url});
  EXPECT_TRUE(ReadAll(Local(url, "Data", "")) == whole);
  EXPECT_EQ(Sessions({"REST 123456"}).size(), 1u);
  EXPECT_EQ(Listed(url).Status, usDownloaded);
}

TEST_F(DLFtpTest, EscapedSlashOrDotsInTheNameAreRefused) {
  for (const char* path : {"/pub/a%2Fb", "/pub/%2E%2E", "/pub/a%0D%0ADELE%20x"}) {
    const std::string url = Base + path;
    RunJob({url});
    EXPECT_EQ(Listed(url).Status, usFailed) << path;
    Thread.reset();
  }
  EXPECT_TRUE(Sessions({"RETR a", "RETR ..", "DELE"}).empty());
}

}  // namespace
}  // namespace qv
