#include "engine/vkthread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <thread>
#include <vector>

#include "engine/dnlist.h"
#include "engine/robots.h"
#include "engine/threadtimer.h"
#include "engine/urladder.h"
#include "engine/vkhttp.h"
#include "model/tvurlutils.h"
#include "model/vkfile.h"
#include "model/vkglobal.h"
#include "model/vkurllist.h"
#include "support/scratchdir.h"
#include "support/scriptedftp.h"

namespace qv {
namespace {

class TFakeThread : public TVkThread {
 public:
  using TVkThread::TVkThread;
  std::function<void(TFakeThread&)> Body;

 protected:
  void Execute() override {
    if (Body) Body(*this);
  }
};

TActiveDL Item(const std::string& url) {
  TActiveDL d;
  d.URL = url;
  return d;
}

// The job's shared state, a master list and a thread list whose threads sit
// on the URLs a case gives them.
class VkThreadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CreateGlobals();
    Context.Adder = &Adder;
    Context.Robots = &Robots;
    Context.LocalWebDir = [this] { return Root.Path; };
    TSettings settings;
    settings.EnterNoRobChk = true;  // cases turn robots on themselves
    settings.MaxThrServUD = 5;
    StartJob(settings, &Context);
  }
  void TearDown() override {
    for (auto& t : Threads) t->WaitFor();
    Threads.clear();
    FreeGlobals();
  }

  // A thread that is not started, listed as running, with its current URL.
  TFakeThread& AddThread(const std::string& url = "") {
    Threads.push_back(std::make_unique<TFakeThread>(&List, Context));
    TFakeThread& t = *Threads.back();
    t.Queue = &Queue;
    t.SetURL(url);
    List.Add(&t);
    return t;
  }

  TVkURLItem* Listed(const std::string& url) {
    std::lock_guard<TCriticalSection> g(*URLListLock);
    return GlobalURLList->FindItem(url);
  }

  test::TScratchDir Root;
  TOutbox Outbox;
  TURLAdder Adder{Outbox};
  TRobotsStore Robots;
  TJobContext Context;
  TDLList Queue;
  TVkThreadList List;
  std::vector<std::unique_ptr<TFakeThread>> Threads;
};

TEST_F(VkThreadTest, PickTable) {
  struct Case {
    const char* name;
    int maxPerServer;
    bool robots;
    std::vector<std::string> others;  // current URLs of the other running threads
    std::string previous;             // the picking thread's last URL
    std::vector<std::string> queue;
    std::vector<std::string> knownRobots;
    bool taken;
    std::string current;  // what the picking thread works on next
    int queueLeft;
    int leastHostCount;
  } cases[] = {
      {"an idle host run first",
       5,
       false,
       {"http://a.com/1"},
       "",
       {"http://a.com/2", "http://b.com/1"},
       {},
       true,
       "http://b.com/1",
       1,
       0},
      {"a sixth thread goes to another host run",
       5,
       false,
       {"http://a.com/1", "http://a.com/2", "http://a.com/3", "http://a.com/4", "http://a.com/5",
        "http://b.com/0"},
       "",
       {"http://a.com/6", "http://b.com/1"},
       {},
       true,
       "http://b.com/1",
       1,
       1},
      {"every run full: false, least count kept",
       2,
       false,
       {"http://a.com/1", "http://a.com/2", "http://b.com/1", "http://b.com/2", "http://b.com/3"},
       "",
       {"http://a.com/3", "http://b.com/4"},
       {},
       false,
       "",
       2,
       2},
      {"stays on its host past the limit",
       1,
       false,
       {"http://a.com/1"},
       "http://a.com/0",
       {"http://a.com/2", "http://b.com/1"},
       {},
       true,
       "http://a.com/2",
       1,
       0},
      {"a longer host with the same beginning is another host",
       1,
       false,
       {"http://a.com.evil.org/1", "http://a.com:8080/1"},
       "http://a.com/0",
       {"http://a.com.evil.org/2", "http://a.com:8080/2"},
       {},
       false,
       "",
       2,
       1},
      {"threads on a longer host do not fill the shorter one",
       1,
       false,
       {"http://a.com.evil.org/1", "http://a.com:8080/1"},
       "",
       {"http://a.com/1", "http://a.com.evil.org/2"},
       {},
       true,
       "http://a.com/1",
       1,
       0},
      {"robots.txt first for http",
       5,
       true,
       {},
       "",
       {"http://a.com/x"},
       {},
       true,
       "http://a.com/robots.txt",
       1,
       0},
      {"robots.txt first for https",
       5,
       true,
       {},
       "",
       {"https://a.com/x"},
       {},
       true,
       "https://a.com/robots.txt",
       1,
       0},
      {"never for ftp", 5, true, {}, "", {"ftp://a.com/x"}, {}, true, "ftp://a.com/x", 0, 0},
      {"a known site is fetched at once",
       5,
       true,
       {},
       "",
       {"http://a.com/x"},
       {"http://a.com"},
       true,
       "http://a.com/x",
       0,
       0},
      {"a site whose robots.txt is being fetched counts 1000",
       5,
       true,
       {"http://a.com/robots.txt"},
       "",
       {"http://a.com/x", "http://b.com/y"},
       {"http://a.com", "http://b.com"},
       true,
       "http://b.com/y",
       1,
       0},
      {"only that site left: false",
       5,
       true,
       {"http://a.com/robots.txt"},
       "",
       {"http://a.com/x"},
       {"http://a.com"},
       false,
       "",
       1,
       1000},
      {"robots.txt counts as a plain thread when robots are off",
       1,
       false,
       {"http://a.com/robots.txt"},
       "",
       {"http://a.com/x"},
       {},
       false,
       "",
       1,
       1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Threads.clear();
    List.Clear();
    Queue.Clear();
    RobotsObeyed = c.robots;
    MaxThreadsPerServer = c.maxPerServer;
    TRobotsStore robots;
    for (const auto& s : c.knownRobots) robots.AddSite(s);
    Context.Robots = &robots;
    for (const auto& u : c.others) AddThread(u);
    TFakeThread& me = AddThread(c.previous);
    for (const auto& u : c.queue) Queue.Add(Item(u), false);

    EXPECT_EQ(me.PickNextLocked(false), c.taken);
    EXPECT_EQ(me.GetURL(), c.current);
    EXPECT_EQ(Queue.Count(), c.queueLeft);
    if (!c.taken) {
      EXPECT_EQ(LeastHostCount.load(), c.leastHostCount);
    }
    Context.Robots = &Robots;
  }
}

TEST_F(VkThreadTest, PickTakesTheRetryListBackAndTheDeadHostsStayDead) {
  TFakeThread& t = AddThread();
  RetryList.Add(Item("http://a.com/1"), false);
  TDNItem dead;
  dead.Host = "a.com";
  dead.State = dnNotFound;
  Context.HostList->AddOrMerge(dead, false);

  ASSERT_TRUE(t.PickNextLocked(true));
  EXPECT_EQ(t.GetURL(), "http://a.com/1");
  EXPECT_EQ(RetryList.Count(), 0);
  // The retry of an item on a host that could not be reached fails at once
  // rather than waiting for the host again.
  EXPECT_TRUE(Context.HostList->IsNotFound("a.com"));
  EXPECT_EQ(VisitedList.count("http://a.com/1"), 1u);
  EXPECT_FALSE(t.PickNextLocked(true)) << "both lists empty";

  // After the refill a thread still stays on its host, full or not, and the
  // walk has set the least count for the runner.
  MaxThreadsPerServer = 1;
  AddThread("http://b.com/busy");
  t.SetURL("http://b.com/0");
  RetryList.Add(Item("http://a.com/2"), false);
  RetryList.Add(Item("http://b.com/1"), false);
  ASSERT_TRUE(t.PickNextLocked(false));
  EXPECT_EQ(t.GetURL(), "http://b.com/1");
  EXPECT_EQ(LeastHostCount.load(), 0);
}

// What one fetch makes of its host's entry: a job gives up on the host only
// when it could not be reached, and never on one that has answered.
TEST_F(VkThreadTest, AFetchMarksItsHostByHowItEnded) {
  struct Case {
    const char* name;
    uint8_t before;
    bool answered;
    bool unreachable;
    int32_t secondsLeft;  // the watchdog's count after the fetch
    uint8_t after;
  } cases[] = {
      {"an answer", dnUnknown, true, false, 3, dnReached},
      {"an answer whose body then timed out", dnUnknown, true, false, 0, dnReached},
      {"a name that did not resolve, at once", dnUnknown, false, true, 3, dnNotFound},
      {"a refused connection, at once", dnUnknown, false, true, 3, dnNotFound},
      {"no answer before the time ran out", dnUnknown, false, false, 0, dnNotFound},
      {"skipped or stopped while it waited", dnUnknown, false, false, 2, dnUnknown},
      {"dead after a time-out, then refused", dnNotFound, false, true, 3, dnNotFound},
      {"reached before, unreachable now", dnReached, false, true, 3, dnReached},
  };
  TFakeThread& t = AddThread();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Context.HostList->ClearItems();
    TDNItem* entry = Context.HostList->FindOrAdd("h.com");
    entry->SetState(c.before);
    t.Watchdog->Count = c.secondsLeft;
    t.NoteHostOutcome(entry, c.answered, c.unreachable);
    EXPECT_EQ(entry->State, c.after);
  }
  t.NoteHostOutcome(nullptr, false, true);  // no host list: nothing to mark
}

// Each item taken from the queue is counted once, when it ends for good and
// by how it ended; one that goes back for another try is not counted yet.
TEST_F(VkThreadTest, AnItemIsCountedAsItEndsNotAsItGoesUpForARetry) {
  struct Case {
    const char* name;
    int8_t result;
    bool skipped;
    bool retried;
    std::atomic<int> TJobTally::*counter;  // nullptr: none
  } cases[] = {
      {"stored", vrSucceeded, false, false, &TJobTally::Stored},
      {"failed", vrFailed, false, false, &TJobTally::Failed},
      {"timed out", vrTimedOut, false, false, &TJobTally::Failed},
      {"skipped by the user", vrFailed, true, false, &TJobTally::Skipped},
      {"kept out by robots.txt", vrNoRobots, false, false, &TJobTally::Skipped},
      {"size filtered", vrSizeFiltered, false, false, &TJobTally::Skipped},
      {"up for a retry", vrFailed, false, true, nullptr},
  };
  TFakeThread& t = AddThread();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Queue.Add(Item("http://a.com/" + std::string(c.name)), false);
    ASSERT_TRUE(t.PickNextLocked(false));
    {
      std::lock_guard<TSpinningMutex> g(JobLock);
      EXPECT_TRUE(t.HoldsItem());
    }
    const int before[] = {JobTally.Stored, JobTally.Failed, JobTally.Skipped, JobTally.Stopped};
    const int counterBefore = c.counter ? (JobTally.*c.counter).load() : 0;
    t.Result = c.result;
    t.SkipFlag = c.skipped;
    if (c.retried) {
      t.PutToRetry(t.Current);
      RetryList.Clear();  // its later tries aside
    }
    EXPECT_FALSE(t.PickNextLocked(false)) << "nothing is left to take";
    const int after[] = {JobTally.Stored, JobTally.Failed, JobTally.Skipped, JobTally.Stopped};
    int counted = 0;
    for (int i = 0; i < 4; ++i) counted += after[i] - before[i];
    EXPECT_EQ(counted, c.retried ? 0 : 1);
    if (c.counter) {
      EXPECT_EQ((JobTally.*c.counter).load(), counterBefore + 1);
    }
    t.SkipFlag = 0;
  }
}

// The runner starts no thread while the last pick found every host run full.
// When the thread that filled them ends without picking again, the gate must
// open, or the job waits for ever on a queue no thread takes from.
TEST_F(VkThreadTest, StaleGateOpensWhenAThreadEnds) {
  MaxThreadsPerServer = 1;
  Queue.Add(Item("http://a.com/1"), false);
  Queue.Add(Item("http://a.com/2"), false);
  TFakeThread& busy = AddThread("http://a.com/0");
  TFakeThread& late = AddThread();
  EXPECT_FALSE(late.PickNextLocked(false));
  List.Remove(&late);
  EXPECT_EQ(LeastHostCount.load(), 1);
  EXPECT_FALSE(MayStartThread(1));

  // The busy thread ends (its loop decided so) without taking a.com/1.
  busy.Body = [](TFakeThread&) {};
  busy.Resume();
  busy.WaitFor();
  List.Remove(&busy);
  EXPECT_TRUE(busy.Finished);
  ASSERT_TRUE(MayStartThread(0));
  ASSERT_TRUE(MayStartThread(List.Count()));

  // The runner's loop, in short: start threads while the gate allows, until
  // the queue is done.
  int started = 0;
  while (Queue.Count() > 0 && started < 10) {
    TFakeThread& t = AddThread();
    t.Body = [](TFakeThread& self) {
      while (self.PickNextLocked(false)) {
        self.Result = vrSucceeded;
        self.LogResult(self.Current.URL, 0, "", "");
      }
    };
    ++started;
    t.Resume();
    t.WaitFor();
    std::lock_guard<TSpinningMutex> g(JobLock);
    List.Remove(&t);
  }
  EXPECT_EQ(Queue.Count(), 0);
  EXPECT_NE(Listed("http://a.com/1"), nullptr);
  EXPECT_NE(Listed("http://a.com/2"), nullptr);
}

// Threads that stay on their hosts do not search the host runs again, so a
// new host's first link must reopen the gate itself (a spider finds links of
// other hosts while every thread is busy on the root host).
TEST_F(VkThreadTest, APutBackLinkOfAFreeHostReopensTheGate) {
  MaxThreadsPerServer = 2;
  Queue.Add(Item("http://a.com/1"), false);
  Queue.Add(Item("http://a.com/2"), false);
  Queue.Add(Item("http://a.com/3"), false);
  TFakeThread& t1 = AddThread();
  TFakeThread& t2 = AddThread();
  TFakeThread& t3 = AddThread();
  ASSERT_TRUE(t1.PickNextLocked(false));
  ASSERT_TRUE(t2.PickNextLocked(false));
  EXPECT_FALSE(t3.PickNextLocked(false));
  EXPECT_FALSE(MayStartThread(2));
  ASSERT_TRUE(t1.PickNextLocked(false)) << "stays on a.com";
  EXPECT_FALSE(MayStartThread(2));
  TActiveDL link = Item("http://b.com/x");
  t1.PutBack(link);
  EXPECT_TRUE(MayStartThread(2));
  ASSERT_TRUE(t3.PickNextLocked(false));
  EXPECT_EQ(t3.GetURL(), "http://b.com/x");
  // A link of a full host changes nothing.
  t1.PutBack(Item("http://a.com/9"));
  EXPECT_EQ(LeastHostCount.load(), 0);
}

// Two spider threads meet the same link while a third takes it: the link is
// fetched once.
TEST_F(VkThreadTest, ALinkIsQueuedOnlyUntilTaken) {
  TFakeThread& finder = AddThread();
  TFakeThread& taker = AddThread();
  ASSERT_TRUE(finder.PutBackIfNotVisited(Item("http://a.com/l")));
  ASSERT_TRUE(finder.PutBackIfNotVisited(Item("http://a.com/l")));
  EXPECT_EQ(Queue.Count(), 1);
  ASSERT_TRUE(taker.PickNextLocked(true));
  EXPECT_FALSE(finder.PutBackIfNotVisited(Item("http://a.com/l")));
  EXPECT_EQ(Queue.Count(), 0);

  // Many finders and takers at once: every link is taken exactly once.
  Queue.Clear();
  std::vector<std::thread> finders;
  for (int f = 0; f < 4; ++f) {
    finders.emplace_back([&] {
      for (int i = 0; i < 500; ++i) {
        finder.PutBackIfNotVisited(
            Item("http://h" + std::to_string(i % 7) + "/" + std::to_string(i)));
      }
    });
  }
  std::map<std::string, int> taken;
  std::atomic<bool> finding{true};
  std::thread takerThread([&] {
    for (;;) {
      const bool more = finding.load();
      while (taker.PickNextLocked(true)) ++taken[taker.Current.URL];
      if (!more) break;
    }
  });
  for (auto& t : finders) t.join();
  finding = false;
  takerThread.join();
  EXPECT_EQ(taken.size(), 500u);
  for (const auto& [url, n] : taken) EXPECT_EQ(n, 1) << url;
}

TEST_F(VkThreadTest, LogResultTable) {
  struct Case {
    const char* name;
    int8_t code;
    bool skip, abort, infoOnly;
    std::string url;
    std::string statusText;
    std::string activity, details;
    uint8_t status;
  } cases[] = {
      {"no result", vrNone, false, false, false, "http://a.com/x", "OK (200)", "Failed", "OK (200)",
       30},
      {"succeeded", vrSucceeded, false, false, false, "http://a.com/x", "OK (200)", "Succeeded",
       "OK (200)", 50},
      {"succeeded, headers only", vrSucceeded, false, false, true, "http://a.com/x", "OK (200)",
       "Succeeded", "OK (200)", 40},
      {"robots.txt, headers only", vrSucceeded, false, false, true, "http://a.com/robots.txt",
       "OK (200)", "Succeeded", "OK (200)", 50},
      {"failed", vrFailed, false, false, false, "http://a.com/x", "Not Found (404)", "Failed",
       "Not Found (404)", 30},
      {"timed out", vrTimedOut, false, false, false, "http://a.com/x", "z", "Timed out",
       "Timed out", 30},
      {"write error", vrWriteError, false, false, false, "http://a.com/x", "OK (200)",
       "File write error", "Could not create local file", 30},
      {"unsupported scheme", vrUnsupported, false, false, false, "http://a.com/x", "z", "Failed",
       "Failure of unknown cause", 30},
      {"size filtered", vrSizeFiltered, false, false, false, "http://a.com/x", "z", "Size filtered",
       "Size filtered", 30},
      {"unreachable", vrUnreachable, false, false, false, "http://a.com/x", "z", "Unreachable",
       "Host unreachable", 30},
      {"invalid host", vrInvalidHost, false, false, false, "http://a.com/x", "z", "Invalid host",
       "Host invalid", 30},
      {"off site", vrOffSite, false, false, false, "http://a.com/x", "z", "Off site", "Off site",
       30},
      {"robots exclusion", vrNoRobots, false, false, false, "http://a.com/x", "", "No robots",
       "Robot keep out zone", 30},
      {"robots exclusion of a whole site", vrNoRobots, false, false, false, "http://a.com/x",
       "robots.txt unreachable", "No robots", "Robot keep out zone: robots.txt unreachable", 30},
      {"redirecting", vrRedirecting, false, false, false, "http://a.com/x", "Found (302)",
       "Redirecting", "Found (302)", 30},
      {"no connection", vrNoConnection, false, false, false, "http://a.com/x", "z",
       "Failed connection", "Failed to connect", 30},
      {"a code never produced", 5, false, false, false, "http://a.com/x", "z", "Failed",
       "Failure of unknown cause", 30},
      {"skipped whatever the code", vrSucceeded, true, false, false, "http://a.com/x", "OK (200)",
       "Skipped", "Skipped by user", 30},
      {"skip wins over stop", vrTimedOut, true, true, false, "http://a.com/x", "z", "Skipped",
       "Skipped by user", 30},
      {"stopped", vrSucceeded, false, true, true, "http://a.com/robots.txt", "OK (200)", "Aborted",
       "Aborted by user", 30},
  };
  TFakeThread& t = AddThread();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    {
      std::lock_guard<TCriticalSection> g(*URLListLock);
      GlobalURLList->ClearItems();
      // Already listed: the result merges into the record, which keeps its title.
      TVkURLItem old;
      old.URL = c.url;
      old.Title = "kept";
      GlobalURLList->AddItem(old, false);
    }
    t.Result = c.code;
    t.SkipFlag = c.skip;
    t.AbortFlag = c.abort;
    t.InfoOnly = c.infoOnly;
    t.Changed = 0;
    t.LogResult(c.url, int64_t(5) << 32, "HTTP/1.1 200 OK\r\nContent-Type: text/html; q=1\r\n",
                c.statusText);
    EXPECT_EQ(t.GetActivity(), c.activity);
    EXPECT_EQ(t.Changed.load(), 1);
    TVkURLItem* r = Listed(c.url);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->Details, c.details);
    EXPECT_EQ(r->GetStatus(), c.status);
    EXPECT_EQ(r->Title, "kept");
    EXPECT_EQ(r->ContentType, "text/html");
    EXPECT_EQ(r->Size, INT32_MAX) << "a size past 32 bits saturates";
  }
}

// The failure the fetching client reported travels with the item to its
// record: a failed item without a status text records its reason.
TEST_F(VkThreadTest, AFailureWithoutStatusTextRecordsTheFetchingClientsReason) {
  const TFetchFailure timedOut{TFailKind::fkTimedOut, 0, "Read timed out."};
  const TFetchFailure refused{TFailKind::fkStatus, 550, "550 No such file."};
  struct Case {
    const char* name;
    std::string url, statusText;
    TFetchFailure failure;
    std::string details;
  } cases[] = {
      {"http failure", "http://a.com/x", "", timedOut, "Read timed out."},
      {"ftp failure", "FTP://a.com/f", "", refused, "550 No such file."},
      {"a status text first", "http://a.com/z", "Host already failed", timedOut,
       "Host already failed"},
      {"no reason anywhere", "http://a.com/y", "", {}, "Failure of unknown cause"},
  };
  TFakeThread& t = AddThread();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    t.Result = vrFailed;
    t.LogResult(c.url, 0, "", c.statusText, 0, c.failure);
    TVkURLItem* r = Listed(c.url);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->Details, c.details);
  }
}

// An HTTP item's details: its status text, unless it failed and the fetch
// that gave its code failed for another reason than the status.
TEST_F(VkThreadTest, HTTPDetailsTellTheFetchsOwnReasonOfAFailure) {
  const TFetchFailure cut{TFailKind::fkTruncated, 200,
                          "Body truncated: the connection closed before its end"};
  struct Case {
    const char* name;
    int8_t result;
    int32_t code;
    TFetchFailure failure;
    std::string details;
  } cases[] = {
      {"a body cut short", vrFailed, 200, cut, cut.Text},
      {"no answer at all",
       vrFailed,
       0,
       {TFailKind::fkConnect, 0, "Connection refused"},
       "Connection refused"},
      {"refused on its status",
       vrFailed,
       404,
       {TFailKind::fkStatus, 404, "404 Not Found"},
       HttpStatusText(404)},
      {"another fetch's failure", vrFailed, -2, cut, HttpStatusText(-2)},
      {"no reason given", vrFailed, 200, {TFailKind::fkOther, 200, ""}, HttpStatusText(200)},
      {"a success", vrSucceeded, 200, cut, HttpStatusText(200)},
      {"no failure", vrFailed, 304, {}, HttpStatusText(304)},
  };
  TFakeThread& t = AddThread();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    t.Result = c.result;
    EXPECT_EQ(t.HTTPDetails(c.code, c.failure), c.details);
  }
}

// Errors passed over on any thread are all counted, the last one kept with
// where it was met; a new job starts with none.
TEST_F(VkThreadTest, PassedOverErrorsAreCountedFromEveryThread) {
  TDroppedErrors errors;
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i)
    threads.emplace_back([&errors] {
      for (int k = 0; k < 250; ++k) {
        try {
          throw ENetTimeout();
        } catch (...) {
          errors.Note("download thread");
        }
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(errors.Count(), 1000);
  EXPECT_EQ(errors.Last(), "download thread: Read timed out.");
  errors.Clear();
  EXPECT_EQ(errors.Count(), 0);
  EXPECT_EQ(errors.Last(), "");

  JobDroppedErrors.Note("job", std::make_exception_ptr(std::runtime_error("odd")));
  TSettings settings;
  StartJob(settings, &Context);
  EXPECT_EQ(JobDroppedErrors.Count(), 0);
}

// The request both threads set up from the item's settings: the user
// agent, the proxy and its log-on, the item's parent as the referer, and
// redirections left to the caller. A proxy port is the number of a port or
// none: a larger number is not cut down to bits that name some other port.
TEST_F(VkThreadTest, RequestSetUpTakesTheSettingsAndAPortOrNone) {
  struct Case {
    const char* name;
    const char* port;
    int32_t sent;
  } cases[] = {
      {"a port", "8080", 8080},
      {"blanks around it", " 3128 ", 3128},
      {"the last port", "65535", 65535},
      {"none", "", 0},
      {"not a number", "80a", 0},
      {"signed", "+80", 0},
      {"past the last port", "65536", 0},
      {"2^32 + 80", "4294967376", 0},
      {"eighteen digits", "100000000000000080", 0},
  };
  TPublished<TSettings> published;
  Context.Settings = &published;
  TFakeThread& t = AddThread("http://a.com/x");
  t.Current.ParentURL = "http://a.com/";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TSettings s;
    s.UserAgEd = "Agent/1";
    s.HTTPPrEdit = "proxy.local";
    s.HTTPPrPortEdit = c.port;
    s.PrUserEdit = "pu";
    s.PrPWEdit = "pp";
    published.Publish(s);
    t.TakeSnapshot();
    t.HTTP->HandleRedirects = true;
    t.HTTP->Request.Referer = "http://stale/";
    t.HTTP->Response.Location = "http://stale/next";
    t.SetUpHTTPRequest();
    EXPECT_EQ(t.HTTP->Request.ProxyPort, c.sent);
    EXPECT_EQ(t.HTTP->Request.ProxyServer, "proxy.local");
    EXPECT_EQ(t.HTTP->Request.ProxyUsername, "pu");
    EXPECT_EQ(t.HTTP->Request.ProxyPassword, "pp");
    EXPECT_EQ(t.HTTP->Request.UserAgent, UserAgentText("Agent/1"));
    EXPECT_EQ(t.HTTP->Request.Referer, "http://a.com/");
    EXPECT_EQ(t.HTTP->Response.Location, "");
    EXPECT_FALSE(t.HTTP->HandleRedirects);
  }
}

// A blocking step runs with the watchdog armed at the thread's time-out,
// and every way out of it, a raised error too, disarms it.
TEST_F(VkThreadTest, AnArmedStepDisarmsOnEveryWayOut) {
  TFakeThread& t = AddThread("http://a.com/x");
  t.TimeOut = 7;
  {
    TArmedWatchdog armed(t);
    EXPECT_TRUE(t.Watchdog->Enabled());
    EXPECT_EQ(t.Watchdog->Count.load(), 7);
  }
  EXPECT_FALSE(t.Watchdog->Enabled());
  EXPECT_THROW(t.FTPStep("Request?",
                         [&]() -> bool {
                           EXPECT_TRUE(t.Watchdog->Enabled());
                           throw std::runtime_error("cut");
                         }),
               std::runtime_error);
  EXPECT_FALSE(t.Watchdog->Enabled());
  EXPECT_EQ(t.GetActivity(), "Request?");
}

// A server that logs anyone on and records every command up to QUIT.
void LogOnUntilQuit(test::TScriptedFtp& s) {
  s.Reply("220 Hi.\r\n");
  if (s.Until("QUIT") == "QUIT") s.Reply("221 Bye.\r\n");
}

bool QuitSent(test::TScriptedFtp& s) {
  for (const std::string& c : s.Received())
    if (c.rfind("QUIT", 0) == 0) return true;
  return false;
}

// The watchdog runs on the user-interface thread: it only cuts a busy FTP
// session and never talks to the server. The operation it saw may have
// ended meanwhile (Busy is read first): a QUIT sent from here would then
// race the worker's next command.
TEST_F(VkThreadTest, TheWatchdogOnlyCutsABusyFtpSession) {
  test::TScriptedFtp server(LogOnUntilQuit);
  TFakeThread& t = AddThread();
  t.FTP->ReadTimeout = 10000;
  ASSERT_TRUE(t.FTP->ConnectExt("ftp://127.0.0.1:" + std::to_string(server.Port) + "/", "me@x.org"))
      << t.FTP->LastFailure.Text;
  t.FTP->Busy = 1;
  Arm(*t.Watchdog, -1);
  t.CheckWatchdog();
  EXPECT_FALSE(t.FTP->Connected());
  t.FTP->Busy = 0;
  server.Join();  // the cut ends the session on the server's side
  EXPECT_FALSE(QuitSent(server));
  t.Watchdog->SetEnabled(false);
}

// A worker ends its FTP session itself when it ends, so the pool that takes
// the client back on the user-interface thread has nothing left to say.
TEST_F(VkThreadTest, AWorkerEndsItsFtpSessionOnItsOwnThread) {
  test::TScriptedFtp server(LogOnUntilQuit);
  TFakeThread& t = AddThread();
  std::atomic<bool> connected{false};
  t.Body = [&](TFakeThread& self) {
    self.FTP->ReadTimeout = 10000;
    connected =
        self.FTP->ConnectExt("ftp://127.0.0.1:" + std::to_string(server.Port) + "/", "me@x.org");
  };
  t.Resume();
  t.WaitFor();
  ASSERT_TRUE(connected);
  ASSERT_FALSE(t.FTP->Connected());
  server.Join();
  EXPECT_TRUE(QuitSent(server));
  EXPECT_EQ(t.FTP->User, "");
}

// What a site's robots.txt came to decides its site: rules read from the
// body (by FinishItem), none after a 4xx, or the whole site kept out when
// the file could not be read, which its record's details say.
TEST_F(VkThreadTest, RobotsTxtOutcomeTable) {
  RobotsObeyed = true;
  struct Case {
    const char* name;
    int8_t result;
    int32_t code;
    bool skip, abort;
    std::string statusText;
    bool known, keptOut;
    std::string details;
  } cases[] = {
      {"read", vrSucceeded, 200, false, false, "OK (200)", true, false, "OK (200)"},
      // A stopped job leaves the site to the next job's pick.
      {"stopped", vrFailed, 0, false, true, "", false, false, "Aborted by user"},
      {"read, not stored", vrWriteError, 200, false, false, "OK (200)", true, false,
       "Could not create local file"},
      {"not found", vrFailed, 404, false, false, "Not Found (404)", true, false, "Not Found (404)"},
      {"forbidden", vrFailed, 403, false, false, "Forbidden (403)", true, false, "Forbidden (403)"},
      {"a redirect, not followed", vrRedirecting, 301, false, false, "Moved Permanently (301)",
       true, false, "Moved Permanently (301)"},
      {"a server error", vrFailed, 503, false, false, "Service Unavailable (503)", true, true,
       "Service Unavailable (503); robots.txt unreachable, site kept out"},
      {"timed out", vrTimedOut, 0, false, false, "", true, true,
       "Timed out; robots.txt unreachable, site kept out"},
      {"no connection", vrNoConnection, 0, false, false, "", true, true,
       "Failed to connect; robots.txt unreachable, site kept out"},
      {"cut short", vrFailed, 200, false, false, "Connection closed", true, true,
       "Connection closed; robots.txt unreachable, site kept out"},
      {"server not found", vrFailed, 0, false, false, "Server not found", true, true,
       "Server not found; robots.txt unreachable, site kept out"},
      {"skipped before it came", vrFailed, 0, true, false, "", true, true,
       "Skipped by user; robots.txt unreachable, site kept out"},
      {"skipped after it came", vrSucceeded, 200, true, false, "OK (200)", true, false,
       "Skipped by user"},
  };
  TFakeThread& t = AddThread();
  std::vector<std::unique_ptr<TRobotsStore>> stores;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    stores.push_back(std::make_unique<TRobotsStore>());
    Context.Robots = stores.back().get();
    {
      std::lock_guard<TCriticalSection> g(*URLListLock);
      GlobalURLList->ClearItems();
    }
    t.Result = c.result;
    t.SkipFlag = c.skip;
    t.AbortFlag = c.abort;
    t.LogResult("http://a.com/robots.txt", 0, "", c.statusText, c.code);
    EXPECT_EQ(stores.back()->HasSite("http://a.com"), c.known);
    std::string why;
    EXPECT_EQ(stores.back()->IsDisallowed("http://a.com/x", &why), c.keptOut);
    EXPECT_EQ(why, c.keptOut
                       ? "robots.txt unreachable (" + c.details.substr(0, c.details.find(';')) + ")"
                       : "");
    EXPECT_FALSE(stores.back()->IsDisallowed("http://b.com/x"));
    EXPECT_EQ(Listed("http://a.com/robots.txt")->Details, c.details);
  }
  t.SkipFlag = false;
  t.AbortFlag = false;
  // And the pick then takes the item itself.
  Queue.Add(Item("http://a.com/x"), false);
  ASSERT_TRUE(t.PickNextLocked(false));
  EXPECT_EQ(t.GetURL(), "http://a.com/x");
  Context.Robots = &Robots;
}

class FinishItemTest : public VkThreadTest {
 protected:
  TFakeThread& Picked(const std::string& url) {
    TFakeThread& t = AddThread();
    Queue.Add(Item(url), false);
    EXPECT_TRUE(t.PickNextLocked(false));
    return t;
  }
  bool Exists(const std::string& relative) { return std::filesystem::exists(Root / relative); }
};

TEST_F(FinishItemTest, StoresThenRecordsTheFinalResult) {
  TFakeThread& t = Picked("http://a.com/d/page");
  t.Result = vrSucceeded;
  t.FinishItem("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n", "<p>hi</p>", 9, 200, true);
  EXPECT_EQ(test::ReadBytes(Root / "http/a.com/d/page/Data.html"), "<p>hi</p>");
  EXPECT_TRUE(Exists("http/a.com/d/page/Head.txt"));
  EXPECT_EQ(Listed("http://a.com/d/page")->GetStatus(), usDownloaded);
  EXPECT_EQ(t.GetActivity(), "Succeeded");
}

TEST_F(FinishItemTest, AFailedWriteIsRecordedAsSuch) {
  struct Case {
    const char* name;
    std::string url;
    std::function<void()> spoil;
    std::string headAfter;  // "" = no headers file
  } cases[] = {
      {"a file where the URL's folder must go", "http://a.com/d/page",
       [this] { Root.Write("http/a.com/d", "in the way"); }, ""},
      // The old headers stay beside the old body: the next conditional
      // request must not take that body for the new one.
      {"a folder where the body must go", "http://a.com/e/page",
       [this] {
         Root.Write("http/a.com/e/page/Data.html/x", "in the way");
         Root.Write("http/a.com/e/page/Head.txt", "old head");
       },
       "old head"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    c.spoil();
    TFakeThread& t = Picked(c.url);
    t.Result = vrSucceeded;
    t.FinishItem("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nLast-Modified: x\r\n", "body", 4,
                 200, true);
    EXPECT_EQ(t.Result.load(), vrWriteError);
    EXPECT_EQ(t.GetActivity(), "File write error");
    TVkURLItem* r = Listed(c.url);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->GetStatus(), usFailed);
    EXPECT_EQ(r->Details, "Could not create local file");
    EXPECT_EQ(test::ReadBytes(NativePath(URLToLocalPath(Root.Path, c.url, "Head", ".txt"))),
              c.headAfter);
  }
}

TEST_F(FinishItemTest, NoPathInsideTheRootIsAWriteError) {
  Context.LocalWebDir = [] { return std::string(); };
  TFakeThread& t = Picked("http://a.com/x");
  t.Result = vrSucceeded;
  t.FinishItem("HTTP/1.1 200 OK\r\n", "body", 4, 200, true);
  EXPECT_EQ(t.Result.load(), vrWriteError);
  EXPECT_EQ(Listed("http://a.com/x")->Details, "Could not create local file");
}

TEST_F(FinishItemTest, ExtensionFromTheStoredHeadersNotTheClient) {
  TFakeThread& t = Picked("http://a.com/pic");
  t.HTTP->Response.ContentType = "text/html";  // whatever the client last received
  t.HTTP->RawHeaders.SetValue("Content-Type", "text/html");
  t.Result = vrSucceeded;
  t.FinishItem("HTTP/1.1 200 OK\r\nContent-Type: image/gif\r\n", "GIF89a", 6, -2, true);
  EXPECT_TRUE(Exists("http/a.com/pic/Data.gif"));
  EXPECT_FALSE(Exists("http/a.com/pic/Data.html"));
}

TEST_F(FinishItemTest, AFailureStoresHeadersOnlyWhereNoBodyIs) {
  Root.Write("http/a.com/kept/Data.html", "good copy");
  TFakeThread& t = Picked("http://a.com/kept");
  t.Result = vrFailed;
  t.FinishItem("HTTP/1.1 404 Not Found\r\nContent-Type: text/html\r\n", "", 0, 404, false);
  EXPECT_EQ(test::ReadBytes(Root / "http/a.com/kept/Data.html"), "good copy");
  EXPECT_FALSE(Exists("http/a.com/kept/Head.txt"));

  TFakeThread& u = Picked("http://a.com/gone");
  u.Result = vrFailed;
  u.FinishItem("HTTP/1.1 404 Not Found\r\nContent-Type: text/html\r\n", "", 0, 404, false);
  EXPECT_TRUE(Exists("http/a.com/gone/Head.txt"));
  EXPECT_EQ(Listed("http://a.com/gone")->Details, "Not Found (404)");
}

TEST_F(FinishItemTest, RobotsTxtBodyIsParsed) {
  RobotsObeyed = true;
  Robots.AddSite("http://b.com");
  TFakeThread& t = Picked("http://a.com/x");
  ASSERT_EQ(t.GetURL(), "http://a.com/robots.txt");
  t.Result = vrSucceeded;
  t.FinishItem("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n",
               "User-agent: *\nDisallow: /private\n", 34, 200, true);
  EXPECT_TRUE(Robots.HasSite("http://a.com"));
  EXPECT_TRUE(Robots.IsDisallowed("http://a.com/private/p"));
  EXPECT_EQ(Listed("http://a.com/robots.txt")->GetStatus(), usDownloaded);
}

TEST_F(VkThreadTest, SettleKeepsTheSizeFilterAndRetries) {
  struct Case {
    const char* name;
    int8_t before;
    bool fetched, skip;
    int8_t after;
    bool retry;
  } cases[] = {
      {"fetched", vrNone, true, false, vrSucceeded, false},
      {"fetch failed", vrNone, false, false, vrFailed, true},
      {"filtered by the header checks", vrFailed, true, false, vrFailed, true},
      {"size filtered, fetch ended quietly", vrSizeFiltered, true, false, vrSizeFiltered, false},
      {"size filtered, fetch cut", vrSizeFiltered, false, false, vrSizeFiltered, false},
      {"skipped", vrNone, true, true, vrFailed, true},
  };
  TFakeThread& t = AddThread();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    t.Result = c.before;
    t.SkipFlag = c.skip;
    t.SettleResult(c.fetched);
    EXPECT_EQ(t.Result.load(), c.after);
    EXPECT_EQ(t.MayRetry(), c.retry);
  }
}

TEST_F(VkThreadTest, TimedOutPrefixesOnce) {
  TFakeThread& t = AddThread();
  Arm(*t.Watchdog, 2);
  t.SetActivity("Receiving");
  EXPECT_FALSE(t.TimedOut());
  t.Watchdog->Timer();
  t.Watchdog->Timer();
  EXPECT_TRUE(t.TimedOut());
  EXPECT_TRUE(t.TimedOut());
  EXPECT_EQ(t.GetActivity(), "Time out:Receiving");
  EXPECT_EQ(t.Result.load(), vrTimedOut);
  t.DisarmWatchdog();
}

TEST_F(VkThreadTest, PooledClientsComeBackUnhooked) {
  TIdHTTPExt* http = nullptr;
  {
    TFakeThread t(&List, Context);
    http = t.HTTP.get();
    EXPECT_TRUE(static_cast<bool>(http->OnWork));
    EXPECT_EQ(http->RedirectMaximum, 20);
  }
  // The freed thread's client waits in the pool without its handlers, which
  // would call into the freed thread.
  std::vector<std::unique_ptr<TIdHTTPExt>> taken;
  bool found = false;
  for (int i = 0; i < 100 && !found; ++i) {
    taken.push_back(TakeHTTP());
    if (taken.back().get() == http) {
      found = true;
      EXPECT_FALSE(static_cast<bool>(http->OnWork));
      EXPECT_FALSE(static_cast<bool>(http->OnWorkBegin));
      EXPECT_FALSE(static_cast<bool>(http->OnConnected));
    }
  }
  EXPECT_TRUE(found);
  for (auto& c : taken) ReturnHTTP(std::move(c));
}

}  // namespace
}  // namespace qv
