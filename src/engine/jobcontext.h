#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "model/mimefilter.h"
#include "model/passwords.h"
#include "model/settings.h"
#include "model/snapshot.h"
#include "model/viewfilter.h"

namespace qv {

class TRobotsStore;
class TDialUpDlg;
class TDNList;
class TCookieList;
class TURLAdder;

// What a worker reads for one queue item: immutable snapshots taken when the
// item is picked, so a window changed meanwhile never tears a value the
// worker is reading.
struct TItemSnapshot {
  std::shared_ptr<const TSettings> Settings;
  std::shared_ptr<const TViewFilter> ViewFilter;
  std::shared_ptr<const TMimeFilter> MimeFilter;
  std::shared_ptr<const TPassWordList> PassWords;
  std::string LocalWebDir;
  // The publishers' versions the values were taken at.
  uint64_t SettingsVersion = ~uint64_t(0);
  uint64_t ViewFilterVersion = ~uint64_t(0);
  uint64_t MimeFilterVersion = ~uint64_t(0);
  uint64_t PassWordsVersion = ~uint64_t(0);
};

// What worker threads reach in place of the windows: the shared stores of the
// job and the published snapshots. The pointers are not owned; the job runner
// keeps them alive while its threads run. Null stores mean "none": no robots
// store obeys no robots.txt, no host list tracks no hosts.
struct TJobContext {
  TRobotsStore* Robots = nullptr;
  TDialUpDlg* DialUp = nullptr;
  TDNList* HostList = nullptr;  // StartJob points these at the job's lists
  TCookieList* Cookies = nullptr;
  TURLAdder* Adder = nullptr;  // required: results are recorded through it
  const TPublished<TSettings>* Settings = &GlobalSettings();
  const TPublished<TPassWordList>* PassWords = &GlobalPassWords();
  const TPublished<TMimeFilter>* MimeFilter = &GlobalMimeFilter();
  const TPublished<TViewFilter>* ViewFilter = &GlobalViewFilter();
  // The mirror folder of the project (the main window's local web
  // directory); any thread.
  std::function<std::string()> LocalWebDir;
  // Any thread: tells the job runner that a thread finished or published a
  // change, so it need not poll. Set before the job's threads start.
  std::function<void()> Wake;
  // Any thread: a thread has finished. Unlike Wake it always reaches the
  // runner, which frees the thread's place at once; Wake when not set.
  std::function<void()> Ended;

  TItemSnapshot Snapshot() const;
  // Brings a snapshot up to date, taking again only what was published
  // since it was taken.
  void Refresh(TItemSnapshot& snapshot) const;
};

}  // namespace qv
