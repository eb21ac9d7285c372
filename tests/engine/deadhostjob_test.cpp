// Whole jobs through the job runner on a plain loop over hosts that cannot
// be reached, beside one that answers: a name that does not resolve, a port
// that refuses, a host that takes no connection and one that takes it and
// never answers. Each dead host costs the job one try: the first request
// finds it dead, and every later URL of it, retries included, ends at once
// with "Host not found" without going to the network again. So a silent
// host costs one time-out, whatever number of URLs it has.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "engine/dnlist.h"
#include "engine/downloadform.h"
#include "engine/plainuiloop.h"
#include "support/dljob.h"
#include "support/scriptedserver.h"

namespace qv {
namespace {

using test::HttpReply;
using test::TScriptedConn;
using test::TScriptedServer;

// A port on 127.0.0.1 whose listener takes no connection: its queue is full,
// so the kernel drops further handshakes and a connect waits as it would for
// a host that never answers.
class TFullListener {
 public:
  TFullListener() {
    FFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (::bind(FFd, reinterpret_cast<sockaddr*>(&a), len) != 0 || ::listen(FFd, 0) != 0 ||
        ::getsockname(FFd, reinterpret_cast<sockaddr*>(&a), &len) != 0)
      return;
    Port = ntohs(a.sin_port);
    for (int i = 0; i < 4; ++i) {
      const int f = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
      ::connect(f, reinterpret_cast<sockaddr*>(&a), len);
      FFillers.push_back(f);
    }
  }
  ~TFullListener() {
    for (int f : FFillers) ::close(f);
    ::close(FFd);
  }
  int Port = 0;

 private:
  int FFd = -1;
  std::vector<int> FFillers;
};

int RefusingPort() {
  TScriptedServer gone([](TScriptedConn&) {});
  return gone.Port();
}

// Short, so the silent hosts end soon.
constexpr int kTimeOutSeconds = 2;
constexpr int kPagesPerHost = 4;

struct TDeadHost {
  const char* Name;
  std::string Site;    // scheme and network location
  std::string Reason;  // what the first try's record says (a part of it)
};

// The parameters: an extract job from a live page that links to every page
// of the dead hosts, or a download job of those pages listed; the retries
// each item has.
struct TJobCase {
  bool Extract;
  int Retries;
};

class DeadHostJobTest : public test::TDLJobTest, public ::testing::WithParamInterface<TJobCase> {
 protected:
  void SetUp() override {
    TDLJobTest::SetUp();
    Options.TimeOutUD = kTimeOutSeconds;
    Options.DLRetriesUD = GetParam().Retries;
    Options.MaxThreadsUD = 4;
    // One thread a host: no two threads meet a dead host at once, so its one
    // try is seen alone.
    Options.MaxThrServUD = 1;
    // robots.txt is not asked first: a site whose robots.txt cannot be
    // reached is kept out whole, and the pages would not go near the host.
    Options.EnterNoRobChk = true;
    // An empty label fails in the resolver itself: no query leaves the
    // machine, and the name is one no host can have.
    Dead.push_back({"name that does not resolve", "http://dead..host.invalid", "Host not found: "});
    Dead.push_back(
        {"refused", "http://127.0.0.1:" + std::to_string(RefusingPort()), "Connection refused"});
    Dead.push_back(
        {"takes no connection", "http://127.0.0.1:" + std::to_string(Full.Port), "Timed out"});
    Dead.push_back(
        {"never answers", "http://127.0.0.1:" + std::to_string(Silent.Port()), "Timed out"});
  }

  std::vector<std::string> DeadPages() const {
    std::vector<std::string> pages;
    for (const TDeadHost& h : Dead)
      for (int i = 0; i < kPagesPerHost; ++i)
        pages.push_back(h.Site + "/page" + std::to_string(i) + ".html");
    return pages;
  }

  void RunJob(bool extract) {
    Settings.Publish(std::make_shared<const TSettings>(Options));
    TPlainUiLoop loop;
    TScriptedPrompter prompter;
    TPlainProgress progress;
    TDownloadFrm runner(loop, Context, prompter, progress);
    runner.ProgramDir = [this] { return Home.Path; };
    const std::vector<TAtrRow> roots{{Live.Url("/"), 1u << 8}};
    runner.RootURLs = &roots;
    runner.OnPass = [&] {
      Outbox.Drain();
      for (size_t r = 1; r < runner.Grid.size(); ++r) Shown.insert(runner.Grid[r][3]);
    };
    runner.Localise = nullptr;
    // Far above the few time-outs the job waits for, so only a job that waits
    // for a dead host again and again (for each URL or each round of
    // retries) reaches it.
    loop.StartTimer(60000, [&] {
      ADD_FAILURE() << "the job did not end";
      runner.AbortBtnClick();
    });
    ASSERT_TRUE(extract ? runner.ExtractURLs() : runner.DownloadFiles(false));
    Report = runner.LastJob;
  }

  void ListURL(const std::string& url) {
    std::lock_guard<TCriticalSection> g(*URLListLock);
    TVkURLItem r;
    r.URL = url;
    GlobalURLList->AddItem(r, false);
  }

  // The live site: a root page linking to every page of the dead hosts.
  TScriptedServer Live{[this](TScriptedConn& c) {
                         for (std::string r = c.ReadRequest(); !r.empty(); r = c.ReadRequest()) {
                           if (r.rfind("GET / ", 0) != 0) {
                             c.Send(HttpReply("HTTP/1.1 404 Not Found", "", {}));
                             continue;
                           }
                           std::string page = "<html><body>";
                           for (const std::string& u : DeadPages())
                             page += "<a href=\"" + u + "\">x</a>";
                           c.Send(HttpReply("HTTP/1.1 200 OK", page + "</body></html>",
                                            {"Content-Type: text/html"}));
                         }
                       },
                       TScriptedServer::Concurrently};
  TScriptedServer Silent{[](TScriptedConn& c) { c.WaitForClose(); }, TScriptedServer::Concurrently};
  TFullListener Full;
  std::vector<TDeadHost> Dead;
  TDownloadFrm::TJobReport Report;
  std::set<std::string> Shown;  // every status the thread grid showed
};

TEST_P(DeadHostJobTest, EachDeadHostIsTriedOnceAndItsOtherURLsFailAtOnce) {
  ASSERT_NE(Full.Port, 0);
  const bool extract = GetParam().Extract;
  if (!extract) {
    for (const std::string& u : DeadPages()) ListURL(u);
  }
  RunJob(extract);

  for (const TDeadHost& h : Dead) {
    SCOPED_TRACE(h.Name);
    // The first page meets the dead host and says why, unless a retry of it
    // ended at once after that; every other page ends at once.
    int reasons = 0;
    for (int i = 0; i < kPagesPerHost; ++i) {
      const TVkURLItem r = Listed(h.Site + "/page" + std::to_string(i) + ".html");
      SCOPED_TRACE(r.URL);
      EXPECT_EQ(r.Status, usFailed);
      if (r.Details.find(h.Reason) != std::string::npos)
        ++reasons;
      else
        EXPECT_EQ(r.Details, kHostNotFound);
    }
    EXPECT_EQ(reasons, GetParam().Retries > 0 ? 0 : 1);
  }
  // One connection to the host that never answers: no other page of it, and
  // no retry, went there again.
  EXPECT_EQ(Silent.Accepted(), 1);
  EXPECT_EQ(Report.Failed, static_cast<int>(DeadPages().size()));
  EXPECT_EQ(Report.Stored, extract ? 1 : 0);
  EXPECT_EQ(Report.Left, 0);
  // While a thread waits on a dead host the grid says for what.
  EXPECT_EQ(Shown.count("Connecting"), 1u);
  EXPECT_EQ(Shown.count("Awaiting answer"), 1u);
}

INSTANTIATE_TEST_SUITE_P(Jobs, DeadHostJobTest,
                         ::testing::Values(TJobCase{true, 2}, TJobCase{false, 2},
                                           TJobCase{false, 0}),
                         [](const auto& info) {
                           return std::string(info.param.Extract ? "Extract" : "Download") +
                                  (info.param.Retries ? "WithRetries" : "WithoutRetries");
                         });

}  // namespace
}  // namespace qv
