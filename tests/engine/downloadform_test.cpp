// The job runner over fake worker threads on a manual clock: thread pacing
// and limits, the ways a job ends (stop, link drop, exception), the cost of
// waiting, the disk guard, and the two queue builders.

#include "engine/downloadform.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "engine/outbox.h"
#include "engine/plainuiloop.h"
#include "engine/urladder.h"
#include "model/vkglobal.h"
#include "model/vkurllist.h"
#include "support/manualloop.h"
#include "support/scratchdir.h"

namespace qv {
namespace {

// Shared by a case's fake threads: which items a thread may finish, and what
// ran at once.
struct TFakeWorld {
  std::mutex Lock;
  std::condition_variable Changed;
  int Releases = 0;  // each holds-one release lets every held item go once
  bool AutoRelease = false;
  bool OneItem = false;  // a thread ends after its first item
  // A thread's status changes with every item, as a real one's does.
  bool ShowsEachItem = false;
  // Items that fail the first time and go up for another try.
  std::set<std::string> FailOnce;
  std::map<std::string, int> HostsNow;
  std::map<std::string, int> HostsMax;
  int Running = 0;
  int MaxRunning = 0;
  int Alive = 0;  // thread objects not destroyed yet
  std::vector<std::string> Done;
  // The user agent and mirror folder each item was taken with.
  std::vector<std::pair<std::string, std::string>> Seen;
  int Settled = 0;  // threads waiting for a release or finished
  int Held = 0;     // threads waiting for a release
  int Made = 0;

  // Released threads count as busy at once, so the clock waits for them to
  // take their next item or end.
  void Release(bool forGood = false) {
    std::lock_guard<std::mutex> g(Lock);
    ++Releases;
    if (forGood) AutoRelease = true;
    Settled -= Held;
    Held = 0;
    Changed.notify_all();
  }
};

std::string HostOf(const std::string& url) {
  const size_t start = url.find("//") + 2;
  return url.substr(start, url.find('/', start) - start);
}

// Takes items one by one through the pick, holding each until released.
class TFakeThread : public TVkThread {
 public:
  TFakeThread(TVkThreadList* list, TJobContext& context, TDLList* queue, TFakeWorld& world)
      : TVkThread(list, context), World(world) {
    Queue = queue;
    Kind = kDownload;
    std::lock_guard<std::mutex> g(World.Lock);
    ++World.Alive;
    ++World.Made;
  }
  ~TFakeThread() override {
    WaitFor();
    std::lock_guard<std::mutex> g(World.Lock);
    --World.Alive;
  }

 protected:
  void Execute() override {
    for (;;) {
      if (AbortFlag) return;
      if (!PickNextLocked(false)) return;
      const std::string url = Current.URL;
      const std::string host = HostOf(url);
      SetStatusURL(url);
      std::unique_lock<std::mutex> g(World.Lock);
      World.Seen.emplace_back(Snapshot().Settings->UserAgEd, Snapshot().LocalWebDir);
      int& now = ++World.HostsNow[host];
      World.HostsMax[host] = std::max(World.HostsMax[host], now);
      World.MaxRunning = std::max(World.MaxRunning, ++World.Running);
      const int seen = World.Releases;
      if (!World.AutoRelease) {
        ++World.Settled;
        ++World.Held;
        World.Changed.notify_all();
        while (World.Releases == seen && !AbortFlag)
          World.Changed.wait_for(g, std::chrono::milliseconds(1));
        // Unless a release counted it busy already.
        if (World.Releases == seen) {
          --World.Settled;
          --World.Held;
        }
      }
      --World.HostsNow[host];
      --World.Running;
      if (AbortFlag) return;
      if (World.FailOnce.erase(url) != 0 && Current.RetriesLeft > 0) {
        g.unlock();
        Result = vrFailed;
        --Current.RetriesLeft;
        PutToRetry(Current);
        continue;
      }
      Result = vrSucceeded;
      World.Done.push_back(url);
      if (World.OneItem) return;
      if (World.ShowsEachItem) {
        g.unlock();
        SetActivity("Done");
      }
    }
  }
  // Settled once the runner has been woken for the end.
  void DoTerminate() override {
    TVkThread::DoTerminate();
    std::lock_guard<std::mutex> g(World.Lock);
    ++World.Settled;
    World.Changed.notify_all();
  }

 private:
  TFakeWorld& World;
};

// 8 GiB free on one file system.
TDiskSpace PlentyOfSpace(const std::string&) {
  TDiskSpace s;
  s.Valid = true;
  s.FreeBytes = uint64_t(1) << 33;
  s.Device = 1;
  s.MountPoint = "/";
  return s;
}

class CountingView : public TDownloadView {
 public:
  void ShowForm() override { ++Shown; }
  void CloseForm() override { ++Closed; }
  void BringToFront() override { ++Fronted; }
  void ControlsChanged() override {}
  void GridChanged() override {}
  int Shown = 0, Closed = 0, Fronted = 0;
};

class DownloadFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CreateGlobals();
    Context.Adder = &Adder;
    Context.Settings = &Settings;
    Context.LocalWebDir = [this] { return Root.Path + "/web"; };
    Form.SetView(&View);
    Form.ProgramDir = [this] { return Root.Path; };
    Form.DiskSpace = PlentyOfSpace;
    Form.ThreadFactory = [this](uint8_t, TVkThreadList& threads, TJobContext& context, bool,
                                TDLList& queue) -> std::unique_ptr<TVkThread> {
      if (BeforeMake) BeforeMake();
      Starts.push_back(Loop.NowMs());
      return std::make_unique<TFakeThread>(&threads, context, &queue, World);
    };
    // Time moves only once every started thread holds an item or has ended.
    Loop.Settle = [this] {
      std::unique_lock<std::mutex> g(World.Lock);
      World.Changed.wait_for(g, std::chrono::seconds(10),
                             [this] { return World.Settled >= World.Made; });
    };
    Use({});
    // A job that never ends fails the case instead of hanging it.
    Loop.StartTimer(3600 * 1000, [this] {
      ADD_FAILURE() << "the job did not end";
      Form.AbortBtnClick();
    });
  }
  void TearDown() override { FreeGlobals(); }

  void Use(TSettings s) {
    s.EnterNoRobChk = true;
    Settings.Publish(std::move(s));
  }
  void List(const std::vector<std::string>& urls) {
    std::lock_guard<TCriticalSection> g(*URLListLock);
    for (const auto& u : urls) {
      TVkURLItem r;
      r.URL = u;
      GlobalURLList->AddItem(r, false);
    }
  }
  // Releases every held item at each of the times.
  void ReleaseAt(std::initializer_list<int> times) {
    for (int t : times) Loop.StartTimer(t, [this] { World.Release(); });
  }
  void ReleaseAllAt(int t) {
    Loop.StartTimer(t, [this] { World.Release(true); });
  }

  test::TScratchDir Root;
  TOutbox Outbox;
  TURLAdder Adder{Outbox};
  TPublished<TSettings> Settings;
  TJobContext Context;
  test::TManualUiLoop Loop;
  TScriptedPrompter Prompter;
  TPlainProgress Msg;
  CountingView View;
  TFakeWorld World;
  std::vector<int64_t> Starts;
  std::function<void()> BeforeMake;
  TDownloadFrm Form{Loop, Context, Prompter, Msg};
};

std::vector<std::string> Urls(int n, bool oneHost) {
  std::vector<std::string> v;
  for (int i = 0; i < n; ++i)
    v.push_back(oneHost ? "http://a.com/" + std::to_string(i)
                        : "http://h" + std::to_string(i) + ".com/x");
  return v;
}

TEST_F(DownloadFormTest, StartsArePacedAndLimited) {
  TSettings s;
  s.MaxThreadsUD = 5;
  s.MaxThrServUD = 5;
  Use(s);
  List(Urls(10, false));
  ReleaseAllAt(5000);
  ASSERT_TRUE(Form.DownloadFiles(false));
  EXPECT_EQ(Starts, (std::vector<int64_t>{0, 200, 400, 600, 800}));
  EXPECT_EQ(Loop.NowMs(), 5000) << "the job ends with its last thread, not at a later tick";
  EXPECT_EQ(World.MaxRunning, 5);
  EXPECT_EQ(World.Done.size(), 10u);
  EXPECT_EQ(World.Alive, 0);
  EXPECT_EQ(Form.Threads.Count(), 0);
  EXPECT_EQ(View.Shown, 1);
  EXPECT_EQ(View.Closed, 1);
  EXPECT_EQ(Form.MayClose, 1);
  EXPECT_FALSE(Form.CancelBtnEnabled);
}

// How far a job is: the items that ended of all the job holds. A round of
// retries refills "Waiting files" but moves neither figure back.
TEST_F(DownloadFormTest, ProgressCountsItemsDoneOfAllAndNeverGoesBack) {
  TSettings s;
  s.MaxThreadsUD = 1;
  s.DLRetriesUD = 1;
  Use(s);
  List(Urls(4, true));
  World.FailOnce = {"http://a.com/0", "http://a.com/1", "http://a.com/2"};
  struct TSeen {
    int Done, Queued;
    std::string Waiting;
  };
  std::vector<TSeen> seen;
  Form.OnPass = [&] { seen.push_back({Form.ItemsDone, Form.ItemsQueued, Form.Panels[0]}); };
  ReleaseAt({1000, 2000, 3000, 4000, 5000, 6000, 7000});
  ASSERT_TRUE(Form.DownloadFiles(false));
  ASSERT_FALSE(seen.empty());
  std::vector<std::string> waiting;
  for (size_t i = 0; i < seen.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(seen[i].Queued, 4);
    if (i > 0) {
      EXPECT_GE(seen[i].Done, seen[i - 1].Done);
    }
    if (waiting.empty() || waiting.back() != seen[i].Waiting) waiting.push_back(seen[i].Waiting);
  }
  // The retries came back into the queue after it had run empty.
  EXPECT_EQ(waiting,
            (std::vector<std::string>{"Waiting files: 4", "Waiting files: 3", "Waiting files: 2",
                                      "Waiting files: 1", "Waiting files: 0", "Waiting files: 2",
                                      "Waiting files: 1", "Waiting files: 0"}));
  EXPECT_EQ(Form.ItemsDone, 4);
  EXPECT_EQ(Form.ItemsQueued, 4);
  EXPECT_EQ(Form.LastJob.Stored, 4);
  EXPECT_EQ(Form.LastJob.Failed, 0);
}

// The main window's account of a job that ended.
TEST(DownloadFormReportTest, JobEndTextSaysWhatTheJobDidAndWhereTheFailuresAre) {
  const std::string hint = " See them: Filters, \"Failed files\" = \"Only\".";
  struct Case {
    const char* name;
    TDownloadFrm::TJobReport report;
    std::string text;
  } cases[] = {
      {"no job yet", {}, ""},
      {"a download that stored everything",
       {true, 0, false, false, 12, 0, 0, 0},
       "Download finished: 12 stored, 0 failed, 0 skipped."},
      {"a download with failures",
       {true, 0, false, false, 520, 37, 3, 0},
       "Download finished: 520 stored, 37 failed, 3 skipped." + hint},
      {"skips alone point to the view too",
       {true, 0, false, false, 5, 0, 2, 0},
       "Download finished: 5 stored, 0 failed, 2 skipped." + hint},
      {"a headers-only download checks",
       {true, 0, true, false, 7, 1, 0, 0},
       "Info. only finished: 7 checked, 1 failed, 0 skipped." + hint},
      {"the pages the localising pass could not rewrite",
       {true, 0, false, false, 3, 0, 0, 0, "Localising references: 1 file could not be rewritten"},
       "Download finished: 3 stored, 0 failed, 0 skipped. Localising references: 1 file could not "
       "be rewritten"},
      {"a quick mirror stopped early",
       {true, 1, false, true, 40, 0, 0, 300},
       "Quick mirror stopped: 40 stored, 0 failed, 0 skipped, 300 left."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::TManualUiLoop loop;
    TJobContext context;
    TScriptedPrompter prompter;
    TPlainProgress msg;
    TDownloadFrm form(loop, context, prompter, msg);
    form.LastJob = c.report;
    EXPECT_EQ(form.JobEndText(), c.text);
  }
}

TEST_F(DownloadFormTest, PerServerLimitHolds) {
  TSettings s;
  s.MaxThreadsUD = 5;
  s.MaxThrServUD = 2;
  Use(s);
  List(Urls(10, true));
  ReleaseAt({1000, 2000, 3000, 4000, 5000, 6000, 7000, 8000, 9000, 10000, 11000});
  ASSERT_TRUE(Form.DownloadFiles(false));
  EXPECT_EQ(World.HostsMax["a.com"], 2);
  EXPECT_EQ(World.Done.size(), 10u);
}

TEST_F(DownloadFormTest, StaleGateWithNoThreadLeftStillCompletes) {
  TSettings s;
  s.MaxThrServUD = 2;
  Use(s);
  List(Urls(3, true));
  // The first thread leaves a per-server count no running thread backs.
  int calls = 0;
  BeforeMake = [&] {
    if (calls++ == 0) LeastHostCount = 1000;
  };
  ReleaseAllAt(0);
  ASSERT_TRUE(Form.DownloadFiles(false));
  EXPECT_EQ(World.Done.size(), 3u);
}

TEST_F(DownloadFormTest, AJobKeepsTheSettingsAndMirrorFolderItStartedWith) {
  TSettings s;
  s.MaxThreadsUD = 1;
  s.UserAgEd = "before";
  Use(s);
  List(Urls(3, false));
  World.OneItem = true;
  std::string dir = Root.Path + "/web";
  Context.LocalWebDir = [&dir] { return dir; };
  std::vector<std::string> localised;
  Form.Localise = [&](const std::string& d) { localised.push_back(d); };
  Form.LocRefsChk = true;
  // Between the first and the second thread the user picks other settings
  // and another mirror folder.
  int made = 0;
  BeforeMake = [&] {
    if (made++ != 1) return;
    s.UserAgEd = "after";
    Use(s);
    dir = Root.Path + "/other";
  };
  ReleaseAllAt(0);
  ASSERT_TRUE(Form.DownloadFiles(false));
  ASSERT_EQ(World.Seen.size(), 3u);
  for (const auto& [agent, folder] : World.Seen) {
    EXPECT_EQ(agent, "before");
    EXPECT_EQ(folder, Root.Path + "/web");
  }
  EXPECT_EQ(localised, std::vector<std::string>{Root.Path + "/web"});
  // The next job takes what was chosen meanwhile.
  EXPECT_EQ(Context.Settings, &Settings);
  EXPECT_EQ(Context.LocalWebDir(), Root.Path + "/other");
}

TEST_F(DownloadFormTest, StopWithNoThreadEndsAtNextPass) {
  List(Urls(4, false));
  Form.ThreadFactory = [](uint8_t, TVkThreadList&, TJobContext&, bool,
                          TDLList&) -> std::unique_ptr<TVkThread> {
    throw std::runtime_error("no thread");
  };
  Loop.StartTimer(1500, [this] { Form.AbortBtnClick(); });
  ASSERT_TRUE(Form.DownloadFiles(false));
  EXPECT_EQ(Form.StopFlag, 1);
  EXPECT_EQ(Form.DownloadQueue.Count(), 4);
  EXPECT_EQ(Loop.NowMs(), 1500);
}

// The errors a job passes over stay passed over, but are counted and said
// in the job's account: a job whose threads could never be made is no quiet
// success.
TEST_F(DownloadFormTest, AJobSaysWhatErrorsItPassedOver) {
  struct Case {
    const char* name;
    bool failStarts;
  } cases[] = {{"none", false}, {"every thread start", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    {
      std::lock_guard<TCriticalSection> g(*URLListLock);
      GlobalURLList->ClearItems();
    }
    List(Urls(2, false));
    if (c.failStarts)
      Form.ThreadFactory = [](uint8_t, TVkThreadList&, TJobContext&, bool,
                              TDLList&) -> std::unique_ptr<TVkThread> {
        throw std::runtime_error("no thread");
      };
    // The starts are 200 ms apart: several have failed when Stop comes.
    if (c.failStarts)
      Loop.StartTimer(900, [this] { Form.AbortBtnClick(); });
    else
      ReleaseAllAt(100);
    ASSERT_TRUE(Form.DownloadFiles(false));
    const int dropped = Form.Stats.DroppedErrors;
    const std::string account = Form.JobEndText();
    if (!c.failStarts) {
      EXPECT_EQ(dropped, 0);
      EXPECT_EQ(account.find("passed over"), std::string::npos) << account;
    } else {
      EXPECT_GE(dropped, 2);
      const std::string said = "Errors passed over: " + std::to_string(dropped) +
                               " (the last, thread start: no thread).";
      EXPECT_EQ(Form.LastJob.DroppedErrors, said);
      EXPECT_EQ(account.substr(account.size() - said.size()), said) << account;
    }
  }
}

TEST_F(DownloadFormTest, LinkDropAndStop) {
  struct Case {
    const char* name;
    bool stop;
    int dials;
    size_t done;
  } cases[] = {
      {"a drop alone drains, dials again and resumes", false, 1, 6},
      {"a stop with a drop never dials", true, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    World.~TFakeWorld();
    new (&World) TFakeWorld;
    CreateGlobals();
    TSettings s;
    s.MaxThreadsUD = 2;
    Use(s);
    List(Urls(6, false));
    World.OneItem = true;
    bool up = true;
    int dials = 0;
    Form.DialUp.IsConnected = [&] { return up; };
    Form.DialUp.EnsureConnected = [&](bool keepRetries) {
      EXPECT_TRUE(keepRetries);
      ++dials;
      up = true;
      return true;
    };
    Loop.StartTimer(500, [&, c] {
      up = false;
      if (c.stop) Form.AbortBtnClick();
    });
    ReleaseAllAt(1000);
    ASSERT_TRUE(Form.DownloadFiles(false));
    EXPECT_EQ(dials, c.dials);
    EXPECT_EQ(Form.Stats.Redials, c.dials);
    EXPECT_EQ(World.Done.size(), c.stop ? 0u : c.done);
    EXPECT_EQ(World.Alive, 0);
  }
}

TEST_F(DownloadFormTest, ExceptionDrainsEveryThread) {
  TSettings s;
  s.MaxThreadsUD = 5;
  Use(s);
  List(Urls(6, false));
  int made = 0;
  BeforeMake = [&] {
    if (made++ == 2) throw 42;  // not a library exception: it escapes the loop
  };
  ASSERT_TRUE(Form.DownloadFiles(false));
  EXPECT_TRUE(Form.Stats.Exception);
  EXPECT_EQ(World.Made, 2);
  EXPECT_EQ(World.Alive, 0);
  EXPECT_EQ(Form.Threads.Count(), 0);
  EXPECT_EQ(Form.MayClose, 1);
}

TEST_F(DownloadFormTest, SilenceCostsOnlyTicksAndWakes) {
  List(Urls(1, false));
  ReleaseAllAt(60000);
  ASSERT_TRUE(Form.DownloadFiles(false));
  EXPECT_EQ(World.Done.size(), 1u);
  EXPECT_GE(Form.Stats.Ticks, 59);
  EXPECT_LE(Form.Stats.Passes, Form.Stats.Ticks + Form.Stats.Wakes + 3);
  EXPECT_LE(Form.Stats.Passes, 66)
      << Form.Stats.Ticks << " ticks, " << Form.Stats.Wakes << " wakes";
}

// Items finishing faster than anyone can read the grid, on a loop with a real
// clock: their wakes are taken together, one pass per gap at most and one
// wake of the loop per pass, however fast the items come. The bound
// counts from the job's own duration, so a slow machine only loosens it.
TEST(DownloadFormRealClockTest, AFloodOfFinishedItemsCostsAPassPerGapNotOnePerItem) {
  CreateGlobals();
  {
    TOutbox outbox;
    TURLAdder adder{outbox};
    TPublished<TSettings> settings;
    TSettings s;
    s.EnterNoRobChk = true;
    settings.Publish(std::move(s));
    test::TScratchDir root;
    TJobContext context;
    context.Adder = &adder;
    context.Settings = &settings;
    context.LocalWebDir = [&] { return root.Path + "/web"; };
    TPlainUiLoop loop;
    TScriptedPrompter prompter;
    TPlainProgress msg;
    TFakeWorld world;
    world.AutoRelease = true;
    world.ShowsEachItem = true;
    TDownloadFrm form{loop, context, prompter, msg};
    form.ProgramDir = [&] { return root.Path; };
    form.DiskSpace = PlentyOfSpace;
    form.ThreadFactory = [&](uint8_t, TVkThreadList& threads, TJobContext& c, bool,
                             TDLList& queue) -> std::unique_ptr<TVkThread> {
      return std::make_unique<TFakeThread>(&threads, c, &queue, world);
    };
    {
      std::lock_guard<TCriticalSection> g(*URLListLock);
      for (const std::string& u : Urls(20000, false)) {
        TVkURLItem r;
        r.URL = u;
        GlobalURLList->AddItem(r, false);
      }
    }
    const auto began = std::chrono::steady_clock::now();
    ASSERT_TRUE(form.DownloadFiles(false));
    const int64_t ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::steady_clock::now() - began)
                           .count();
    EXPECT_EQ(world.Done.size(), 20000u);
    EXPECT_EQ(form.Threads.Count(), 0);
    // Wakes a gap apart (a timer may fire up to a millisecond early), ticks,
    // and for each thread its paced start and its end.
    EXPECT_LE(form.Stats.Passes, ms / (kPassGapMs - 1) + 1 + form.Stats.Ticks + 2 * world.Made + 3)
        << ms << " ms, " << form.Stats.Wakes << " wakes";
    // Between two passes the workers rouse the user-interface thread once.
    EXPECT_LE(form.Stats.Wakes, form.Stats.Passes + 1);
  }
  FreeGlobals();
}

TEST_F(DownloadFormTest, LowDiskAsksOncePerJobAndFileSystem) {
  Form.DiskSpace = [this](const std::string& path) {
    TDiskSpace s;
    s.Valid = true;
    const bool cache = path == Root.Path;
    s.Device = cache ? 1 : 2;
    s.MountPoint = cache ? "/mnt/cache" : "/mnt/web";
    s.FreeBytes = cache ? 1000000 : 1000000000;
    return s;
  };
  List(Urls(3, false));
  ReleaseAllAt(4000);
  Prompter.Answers = {TMsgAnswer::Yes};
  ASSERT_TRUE(Form.DownloadFiles(false));
  ASSERT_EQ(Prompter.Prompts.size(), 1u);
  EXPECT_EQ(Prompter.Prompts[0].Text,
            "Disk space is becoming critically low. If you wish to continue you must free some "
            "disk space on drive: /mnt/cache\n\nDo you want to continue?");
  EXPECT_EQ(Form.Panels[1], "Cache drive free (/mnt/cache) 0 Meg.");
  EXPECT_EQ(Form.Panels[2], "Web drive free (/mnt/web)  953 Meg.");
  EXPECT_EQ(World.Done.size(), 3u);

  // No stops the job; the next job asks again.
  World.AutoRelease = false;
  World.Done.clear();
  World.Made = World.Settled = World.Held = 0;
  Prompter.Answers = {TMsgAnswer::No};
  ASSERT_TRUE(Form.DownloadFiles(false));
  EXPECT_EQ(Prompter.Prompts.size(), 2u);
  EXPECT_EQ(Form.StopFlag, 1);
  EXPECT_EQ(World.Done.size(), 0u);
}

TEST_F(DownloadFormTest, GridShowsThreadsAndOneEmptyRow) {
  List(Urls(2, false));
  std::vector<std::vector<std::string>> during;
  Loop.StartTimer(700, [&] {
    Form.SelectedRow = 1;
    Form.SkipBtnClick();
    Form.RefreshThreadGrid();
    during = Form.Grid;
  });
  ReleaseAllAt(3000);
  ASSERT_TRUE(Form.DownloadFiles(false));
  ASSERT_EQ(during.size(), 3u);
  EXPECT_EQ(during[0][1], "Bytes recieved");
  EXPECT_EQ(during[1][0], "http://h0.com/x");
  EXPECT_EQ(during[1][1], "");
  EXPECT_EQ(during[1][3].rfind("Skip:", 0), 0u);
  EXPECT_EQ(during[2][3].rfind("Skip:", 0), std::string::npos);
  ASSERT_EQ(Form.Grid.size(), 2u);
  EXPECT_EQ(Form.Grid[1], std::vector<std::string>(6));
  EXPECT_EQ(TDownloadFrm::Column0Width(632), 632 - 76 - 64 - 64 - 57 - 66 - 20);
}

TEST_F(DownloadFormTest, CanStartOperationAsksToStop) {
  List(Urls(1, false));
  std::vector<bool> answers;
  Loop.StartTimer(100, [&] {
    answers.push_back(Form.CanStartOperation(false, true));  // a download blocks
    answers.push_back(Form.CanStartOperation(true, false));  // only extracts block
    Prompter.Answers = {TMsgAnswer::Yes};
    answers.push_back(Form.CanStartOperation(false, true));
    EXPECT_FALSE(Form.DownloadFiles(false));  // a second job only brings it forward
  });
  ASSERT_TRUE(Form.DownloadFiles(false));
  EXPECT_EQ(answers, (std::vector<bool>{false, true, false}));
  EXPECT_EQ(Prompter.Prompts.size(), 2u);
  EXPECT_EQ(Prompter.Prompts[0].Text, kStopJobQuestion);
  EXPECT_EQ(Form.StopFlag, 1);
  EXPECT_TRUE(Form.CanStartOperation(true, true));
}

TEST_F(DownloadFormTest, BuildDownloadQueueTable) {
  TSettings s;
  s.NeverDLChk = true;
  s.DLRetriesUD = 4;
  Use(s);
  {
    std::lock_guard<TCriticalSection> g(*URLListLock);
    auto add = [](const std::string& url, uint8_t status) {
      TVkURLItem r;
      r.URL = url;
      r.Status = status;
      r.Size = 77;
      GlobalURLList->AddItem(r, false);
    };
    add("http://a.com/robots.txt", usNew);
    add("http://a.com/robots.txt?v=2", usNew);
    // Only the lower-case name is a site's robots file (RFC 9309 2.3).
    add("http://a.com/ROBOTS.TXT", usNew);
    add("http://a.com/mail", usNotAFile);
    add("http://a.com/have", usDownloaded);
    add("mailto:x@a.com", usNew);
    add("news:comp.lang", usNew);
    add("http://a.com/b/", usNew);
    add("http://a.com/b-c", usNew);
    add("ftp://f.com/file", usNew);
    add("ftp://f.com/pub/", usFailed);  // a folder the extract job could not list
    add("ftp://g.com", usNew);
    add("https://s.com/", usNew);
    add("http://a.com/hidden.zip", usNew);
  }
  TViewFilter vf;
  vf.FilGrid = {{"*.zip", fcNo}};
  TPublished<TViewFilter> filter;
  filter.Publish(vf);
  Context.ViewFilter = &filter;
  ASSERT_TRUE(Form.BuildDownloadQueue());
  std::vector<std::string> got;
  for (int i = 0; i < Form.DownloadQueue.Count(); ++i)
    got.push_back(Form.DownloadQueue.Item(i).URL);
  EXPECT_EQ(got,
            (std::vector<std::string>{"ftp://f.com/file", "http://a.com/ROBOTS.TXT",
                                      "http://a.com/b-c", "http://a.com/b/", "https://s.com/"}));
  for (const std::string& u : got) EXPECT_GE(Form.DownloadQueue.IndexOfURL(u), 0) << u;
  const TActiveDL& d = Form.DownloadQueue.Item(0);
  EXPECT_EQ(d.SiteBase, d.URL);
  EXPECT_EQ(d.Origin, 1);
  EXPECT_EQ(d.RetriesLeft, 4);
  EXPECT_EQ(d.KnownSize, 77);
  EXPECT_EQ(Msg.Caption, "Adding files to queue:");
  EXPECT_FALSE(Msg.Busy);
}

TEST_F(DownloadFormTest, BuildDownloadQueueProgressAndAbort) {
  List(Urls(250, false));
  ASSERT_TRUE(Form.BuildDownloadQueue());
  // ShowText(""), then the points at 0, 100 and 200.
  ASSERT_EQ(Msg.Texts.size(), 4u);
  EXPECT_EQ(Msg.Texts[1], "\n\nChecking file: 0 of 250\n\nFiles selected for download: 0");
  EXPECT_EQ(Msg.Texts[3], "\n\nChecking file: 200 of 250\n\nFiles selected for download: 200");
  EXPECT_EQ(Form.DownloadQueue.Count(), 250);

  Msg.Abort = true;
  EXPECT_FALSE(Form.DownloadFiles(false));
  EXPECT_EQ(Starts.size(), 0u);
  EXPECT_EQ(Form.MayClose, 1);
  EXPECT_FALSE(Form.Visible);
}

// The message window's progress points let other commands run, and they may
// change the master list meanwhile.
class TEditingProgress : public TPlainProgress {
 public:
  std::function<void(int point)> AtPoint;
  bool UpdateText(const std::string& text) override {
    if (AtPoint) AtPoint(Points++);
    return TPlainProgress::UpdateText(text);
  }
  int Points = 0;
};

TEST_F(DownloadFormTest, BuildDownloadQueueFollowsAListChangedAtAProgressPoint) {
  TEditingProgress msg;
  TDownloadFrm form{Loop, Context, Prompter, msg};
  List(Urls(250, false));
  // At the point at item 100, a command on another thread deletes all but
  // the first 50 items: it must get the list lock, so the build does not
  // hold it there.
  msg.AtPoint = [](int point) {
    if (point != 1) return;
    std::thread([] {
      std::lock_guard<TCriticalSection> g(*URLListLock);
      while (GlobalURLList->Count() > 50) GlobalURLList->DeleteItem(GlobalURLList->Count() - 1);
    }).join();
  };
  ASSERT_TRUE(form.BuildDownloadQueue());
  ASSERT_EQ(msg.Texts.size(), 3u);
  EXPECT_EQ(msg.Texts[1], "\n\nChecking file: 0 of 250\n\nFiles selected for download: 0");
  // The list is read again after the point: its end came early.
  EXPECT_EQ(msg.Texts[2], "\n\nChecking file: 100 of 250\n\nFiles selected for download: 100");
  EXPECT_EQ(form.DownloadQueue.Count(), 100);
}

TEST_F(DownloadFormTest, BuildSpiderQueue) {
  TSettings s;
  s.DLRetriesUD = 2;
  Use(s);
  const std::vector<TAtrRow> roots{{"http://a.com/", 0x0301},
                                   {"http://none.com/", 0x0503},
                                   {"ftp://f.com/pub/", 0x0200},
                                   {"http://a.com/", 0x0101},
                                   {"mailto:x@a.com", 0x0100}};
  Form.RootURLs = &roots;
  Form.BuildSpiderQueue();
  ASSERT_EQ(Form.SpiderQueue.Count(), 2);
  EXPECT_EQ(Form.SpiderQueue.Item(0).URL, "ftp://f.com/pub/");
  EXPECT_EQ(Form.SpiderQueue.Item(0).Depth, 2);
  EXPECT_EQ(Form.SpiderQueue.Item(1).URL, "http://a.com/");
  EXPECT_EQ(Form.SpiderQueue.Item(1).Depth, 3);
  EXPECT_EQ(Form.SpiderQueue.Item(1).SiteMode, 1);
  EXPECT_EQ(Form.SpiderQueue.Item(1).RetriesLeft, 2);
}

}  // namespace
}  // namespace qv
