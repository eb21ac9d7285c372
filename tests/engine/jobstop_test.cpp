// A download thread stuck on a server that has gone silent mid-body cannot
// keep the job from ending: Stop cuts its connection, without a Stop the
// watchdog does, and an exception that ends the loop cuts it before the
// runner waits for the thread. How long each took is recorded as a test
// property.

#include <gtest/gtest.h>

#include <chrono>

#include "engine/downloadform.h"
#include "engine/plainuiloop.h"
#include "support/dljob.h"
#include "support/scriptedserver.h"

namespace qv {
namespace {

class JobStopTest : public test::TDLJobTest {};

TEST_F(JobStopTest, StalledTransferEndsByStopOrWatchdog) {
  struct Case {
    const char* name;
    int stopAtMs;  // 0: no Stop
    bool raise;    // the loop raises once the transfer has stalled
  } cases[] = {{"stop", 300, false}, {"watchdog", 0, false}, {"exception", 0, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::TScriptedServer server([](test::TScriptedConn& conn) {
      conn.ReadRequest();
      conn.Send(
          "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: "
          "100000\r\n\r\n");
      conn.Send(std::string(1000, 'x'));
      conn.WaitForClose();
    });
    Options.TimeOutUD = 2;
    Options.DLRetriesUD = 0;
    Options.MaxThreadsUD = 1;
    Settings.Publish(std::make_shared<const TSettings>(Options));
    const std::string url = server.Url("/stall.bin");
    {
      std::lock_guard<TCriticalSection> g(*URLListLock);
      GlobalURLList->ClearItems();
      TVkURLItem r;
      r.URL = url;
      GlobalURLList->AddItem(r, false);
    }
    TPlainUiLoop loop;
    TScriptedPrompter prompter;
    TPlainProgress progress;
    TDownloadFrm runner(loop, Context, prompter, progress);
    runner.ProgramDir = [this] { return Root.Path; };
    bool raised = false;
    runner.OnPass = [&] {
      if (!c.raise || raised || runner.Threads.Count() == 0) return;
      TVkThread* t = runner.Threads.Get(0);
      if (t->BytesReceived < 1000) return;
      // Its watchdog has just run out; the tick that would cut the
      // connection never comes while the runner waits for the thread.
      t->Watchdog->Count = 0;
      raised = true;
      throw 42;
    };
    std::chrono::steady_clock::time_point stopped{};
    if (c.stopAtMs)
      loop.StartTimer(c.stopAtMs, [&] {
        stopped = std::chrono::steady_clock::now();
        runner.AbortBtnClick();
      });
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(runner.DownloadFiles(false));
    const auto end = std::chrono::steady_clock::now();
    EXPECT_NE(Listed(url).Status, usDownloaded);
    EXPECT_EQ(runner.Threads.Count(), 0);
    EXPECT_EQ(runner.Stats.Exception, c.raise);
    EXPECT_EQ(raised, c.raise);
    const auto from = c.stopAtMs ? stopped : start;
    RecordProperty(std::string(c.name) + "_ms",
                   static_cast<int>(
                       std::chrono::duration_cast<std::chrono::milliseconds>(end - from).count()));
  }
}

}  // namespace
}  // namespace qv
