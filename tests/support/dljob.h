#pragma once

// A download job of one TDLThread over a scratch mirror folder, for the
// download thread's tests: run a list of URLs to the end, then look at the
// mirror and the master list.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "engine/dlthread.h"
#include "engine/robots.h"
#include "engine/urladder.h"
#include "model/tvurlutils.h"
#include "model/vkfile.h"
#include "model/vkglobal.h"
#include "model/vkurllist.h"
#include "support/envscope.h"
#include "support/scratchdir.h"
#include "support/workerrun.h"

namespace qv::test {

inline std::string ReadAll(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class TDLJobTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // A cache of the test's own.
    Env.Set("QUENDRAVILOS_HOME", Home.Path);
    CreateGlobals();
    Context.Adder = &Adder;
    Context.Robots = &Robots;
    Context.LocalWebDir = [this] { return Root.Path; };
    Context.Settings = &Settings;
    Context.ViewFilter = &Filter;
    Context.PassWords = &PassWords;
    Context.MimeFilter = &Mime;
    Options.EnterNoRobChk = true;
    Options.NeverDLChk = true;  // resume counts only with it
    Options.ResParChk = true;
    Options.TimeOutUD = 5;
    Options.UserAgEd = "QvTest";
  }
  void TearDown() override { FreeGlobals(); }

  // Runs one job of the given URLs on one thread to its end.
  void RunJob(const std::vector<std::string>& urls, bool infoOnly = false) {
    using namespace std::chrono_literals;
    Settings.Publish(std::make_shared<const TSettings>(Options));
    StartJob(Options, &Context);
    if (AfterStartJob) AfterStartJob();
    for (const auto& u : urls) {
      TActiveDL item;
      item.URL = u;
      Queue.Add(item, false);
    }
    Thread = std::make_unique<TDLThread>(&List, Context, infoOnly, &Queue);
    test::RunWorkerToItsEnd(*Thread, List);
  }

  // The file-system name of the URL's stored file.
  std::string Local(const std::string& url, const char* kind, const char* ext) {
    return NativePath(URLToLocalPath(Root.Path, url, kind, ext));
  }
  std::string Folder(const std::string& url) {
    const std::string p = Local(url, "Data", ".tmp");
    return p.substr(0, p.rfind('/'));
  }
  // The names in the URL's folder.
  std::set<std::string> Files(const std::string& url) {
    std::set<std::string> r;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(Folder(url), ec))
      r.insert(e.path().filename().string());
    return r;
  }
  void Store(const std::string& url, const char* name, const std::string& bytes) {
    std::filesystem::create_directories(Folder(url));
    std::ofstream(Folder(url) + "/" + name, std::ios::binary) << bytes;
  }
  TVkURLItem Listed(const std::string& url) {
    std::lock_guard<TCriticalSection> g(*URLListLock);
    TVkURLItem* r = GlobalURLList->FindItem(url);
    return r ? *r : TVkURLItem();
  }

  TScratchDir Root;
  TScratchDir Home;
  TEnvScope Env;
  TSettings Options;
  TOutbox Outbox;
  TPublished<TSettings> Settings;
  TPublished<TViewFilter> Filter;
  TPublished<TPassWordList> PassWords;
  TPublished<TMimeFilter> Mime;
  TURLAdder Adder{Outbox, Filter};
  TRobotsStore Robots;
  TJobContext Context;
  TDLList Queue;
  TVkThreadList List;
  std::unique_ptr<TDLThread> Thread;
  // Runs right after the job's start (which empties the host and cookie
  // lists): a test's preset of them.
  std::function<void()> AfterStartJob;
};

}  // namespace qv::test
