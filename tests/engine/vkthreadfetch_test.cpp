// The worker base's handlers on real transfers from an in-process scripted
// server, with the watchdog ticked by hand on the test's thread.

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "engine/robots.h"
#include "engine/threadtimer.h"
#include "engine/urladder.h"
#include "engine/vkthread.h"
#include "model/vkglobal.h"
#include "model/vkurllist.h"
#include "support/scratchdir.h"
#include "support/scriptedserver.h"

namespace qv {
namespace {

using namespace std::chrono_literals;
using test::HttpReply;
using test::TScriptedConn;
using test::TScriptedServer;

// One item, fetched the way the download thread fetches: arm, GET into a
// temporary file, disarm, settle the result, test for a time-out, log.
class TFetchThread : public TVkThread {
 public:
  TFetchThread(TVkThreadList* list, TJobContext& context, std::string tempFile)
      : TVkThread(list, context), TempFile(std::move(tempFile)) {
    Kind = kDownload;
  }
  ~TFetchThread() override { WaitFor(); }
  std::string TempFile;
  std::atomic<int32_t> Code{0};
  std::string AfterFetch;      // the activity when the fetch returned
  std::string AfterTimeTests;  // and after two time-out tests

 protected:
  void Execute() override {
    if (!PickNextLocked(false)) return;
    SetStatusURL(Current.URL);
    ArmWatchdog();
    const bool ok = HTTP->GetExt(Current.URL, TempFile);
    DisarmWatchdog();
    AfterFetch = GetActivity();
    SettleResult(ok);
    TimedOut();
    TimedOut();
    AfterTimeTests = GetActivity();
    Code = HTTP->ResponseCode;
    LogResult(Current.URL, BytesReceived, "", "");
  }
};

class VkThreadFetchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CreateGlobals();
    Context.Adder = &Adder;
    Context.Robots = &Robots;
    Context.LocalWebDir = [this] { return Root.Path; };
    TSettings settings;
    settings.EnterNoRobChk = true;
    settings.TimeOutUD = 2;
    Settings.Publish(settings);
    Context.Settings = &Settings;
    Context.ViewFilter = &Filter;
    StartJob(settings, &Context);
  }
  void TearDown() override { FreeGlobals(); }

  std::unique_ptr<TFetchThread> Start(const std::string& url,
                                      const std::function<void(TFetchThread&)>& prepare = {}) {
    TActiveDL item;
    item.URL = url;
    Queue.Add(item, false);
    auto t = std::make_unique<TFetchThread>(&List, Context, Root / "body.tmp");
    t->Queue = &Queue;
    if (prepare) prepare(*t);
    {
      std::lock_guard<TSpinningMutex> g(JobLock);
      List.Add(t.get());
    }
    t->Resume();
    return t;
  }

  // The runner's pass on this thread: `tick` says when a second has passed.
  // Without `watchdog` the runner never checks the thread at all.
  void RunUntilFinished(
      TFetchThread& t, const std::function<bool()>& tick = [] { return false; },
      bool watchdog = true) {
    const auto limit = std::chrono::steady_clock::now() + 20s;
    while (!t.Finished && std::chrono::steady_clock::now() < limit) {
      if (tick()) t.Watchdog->Timer();
      if (watchdog) t.CheckWatchdog();
      std::this_thread::sleep_for(2ms);
    }
    ASSERT_TRUE(t.Finished) << "the worker hangs";
    t.WaitFor();
    std::lock_guard<TSpinningMutex> g(JobLock);
    List.Remove(&t);
  }

  TVkURLItem Listed(const std::string& url) {
    std::lock_guard<TCriticalSection> g(*URLListLock);
    TVkURLItem* r = GlobalURLList->FindItem(url);
    return r ? *r : TVkURLItem();
  }

  test::TScratchDir Root;
  TOutbox Outbox;
  TPublished<TSettings> Settings;
  TPublished<TViewFilter> Filter;
  TURLAdder Adder{Outbox, Filter};
  TRobotsStore Robots;
  TJobContext Context;
  TDLList Queue;
  TVkThreadList List;
};

TEST_F(VkThreadFetchTest, SilenceAfterTheHeadersTimesOut) {
  TScriptedServer server([](TScriptedConn& c) {
    c.ReadRequest();
    c.Send("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n0123456789");
    c.WaitForClose();
  });
  auto t = Start(server.Url("/silent"));
  RunUntilFinished(*t, [&] { return t->BytesReceived >= 10; });
  EXPECT_EQ(t->Result.load(), vrTimedOut);
  EXPECT_EQ(t->AfterTimeTests, "Time out:Receiving") << "prefixed once";
  EXPECT_EQ(t->GetActivity(), "Timed out") << "the log's activity text";
  TVkURLItem r = Listed(server.Url("/silent"));
  EXPECT_EQ(r.Details, "Timed out");
  EXPECT_EQ(r.Status, usFailed);
}

TEST_F(VkThreadFetchTest, SkipDuringADripFeedIsCutByTheWatchdog) {
  const std::string body(200000, 'x');
  TScriptedServer server([&](TScriptedConn& c) {
    c.ReadRequest();
    c.Send("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n");
    c.Drip(body, 100, 5ms);
  });
  auto t = Start(server.Url("/drip"));
  bool skipped = false;
  // The runner's passes check the thread; a skip is acted on at the first
  // pass that sees a watchdog count it has not acted on, then once a tick.
  RunUntilFinished(*t, [&] {
    if (!skipped && t->BytesReceived >= 300) {
      t->Skip();
      skipped = true;
    }
    return skipped;
  });
  EXPECT_TRUE(skipped);
  EXPECT_LT(t->BytesReceived.load(), static_cast<int64_t>(body.size()));
  TVkURLItem r = Listed(server.Url("/drip"));
  EXPECT_EQ(r.Details, "Skipped by user");
  EXPECT_EQ(r.Status, usFailed);
  EXPECT_EQ(t->GetActivity(), "Skipped");
}

TEST_F(VkThreadFetchTest, HeaderChecks) {
  struct Case {
    const char* name;
    std::string reply;
    std::string acceptTypes;
    std::string storedLastModified;
    int32_t code;
    int8_t result;
    std::string activityBeforeLog;  // "" = not checked
    bool bodyStored;
  } cases[] = {
      {"changed Last-Modified",
       HttpReply("HTTP/1.1 200 OK", "new body", {"Last-Modified: Tue, 02 Jan 2024 00:00:00 GMT"}),
       "", "Mon, 01 Jan 2024 00:00:00 GMT", -412, vrFailed, "Modified", false},
      {"same Last-Modified, blanks aside",
       HttpReply("HTTP/1.1 200 OK", "same", {"Last-Modified: Mon, 01 Jan 2024  00:00:00 GMT"}), "",
       "Mon, 01 Jan 2024 00:00:00 GMT", 200, vrSucceeded, "", true},
      {"unlisted content type", HttpReply("HTTP/1.1 200 OK", "GIF89a", {"Content-Type: image/gif"}),
       "text/html,text/css", "", -406, vrFailed, "Filtered", false},
      {"listed type with a parameter",
       HttpReply("HTTP/1.1 200 OK", "<p>", {"Content-Type: text/html; charset=utf-8"}),
       "text/html,text/css", "", 200, vrSucceeded, "", true},
      {"a wildcard pattern", HttpReply("HTTP/1.1 200 OK", "GIF89a", {"Content-Type: image/gif"}),
       "text/*,IMAGE/*", "", 200, vrSucceeded, "", true},
      {"no content type passes", HttpReply("HTTP/1.1 200 OK", "?"), "text/html", "", 200,
       vrSucceeded, "", true},
      {"a 404 page is never filtered",
       HttpReply("HTTP/1.1 404 Not Found", "GIF89a", {"Content-Type: image/gif"}), "text/html", "",
       404, vrFailed, "", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TScriptedServer server(TScriptedServer::Replies({c.reply}));
    auto t = Start(server.Url("/doc"), [&](TFetchThread& th) {
      th.AcceptTypes = c.acceptTypes;
      th.StoredLastModified = c.storedLastModified;
    });
    RunUntilFinished(*t);
    EXPECT_EQ(t->Code.load(), c.code);
    EXPECT_EQ(t->Result.load(), c.result);
    if (!c.activityBeforeLog.empty()) {
      EXPECT_EQ(t->AfterFetch, c.activityBeforeLog);
    }
    EXPECT_NE(t->AfterFetch, c.code == 404 ? "Filtered" : "?");
    EXPECT_EQ(!test::ReadBytes(Root / "body.tmp").empty(), c.bodyStored);
    EXPECT_NE(Listed(server.Url("/doc")).Details, "Content filtered");
    Queue.Clear();
  }
}

TEST_F(VkThreadFetchTest, SizeFilterKeepsNineAndCutsAtOnce) {
  TViewFilter f;
  f.MaxSizeEd = "1000";
  Filter.Publish(f);
  const std::string body(500000, 'y');
  TScriptedServer server([&](TScriptedConn& c) {
    c.ReadRequest();
    c.Send("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n");
    c.Drip(body, 1000, 5ms);
  });
  // No watchdog at all: the handler cuts the transfer itself.
  auto t = Start(server.Url("/big"));
  RunUntilFinished(
      *t, [] { return false; }, false);
  EXPECT_EQ(t->Result.load(), vrSizeFiltered);
  EXPECT_FALSE(t->MayRetry());
  EXPECT_LT(t->BytesReceived.load(), 100000);
  TVkURLItem r = Listed(server.Url("/big"));
  EXPECT_EQ(r.Details, "Size filtered");
  EXPECT_EQ(t->AfterFetch, "Size filtered");
  EXPECT_EQ(t->GetActivity(), "Size filtered");
}

TEST_F(VkThreadFetchTest, SpiderThreadsAreNotSizeFiltered) {
  TViewFilter f;
  f.MaxSizeEd = "3";
  Filter.Publish(f);
  TScriptedServer server(TScriptedServer::Replies({HttpReply("HTTP/1.1 200 OK", "0123456789")}));
  auto t = Start(server.Url("/page"), [](TFetchThread& th) { th.Kind = TVkThread::kSpider; });
  RunUntilFinished(*t);
  EXPECT_EQ(t->Result.load(), vrSucceeded);
  EXPECT_EQ(test::ReadBytes(Root / "body.tmp"), "0123456789");
}

}  // namespace
}  // namespace qv
