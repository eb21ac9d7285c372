#pragma once

// The job runner of a program without windows, as the headless mirror job and
// the job benchmarks drive it: the master list's adder, the settings and
// filters as snapshots, a robots store, and the runner on a plain loop over a
// mirror folder and a program folder. The runner's passes drain the adder's
// outbox, as the main window's timer would, so it does not grow; a program
// that sets OnPass itself drains it there. Made after CreateGlobals (it
// points the master list's mirror folder at the one given).

#include <string>

#include "engine/downloadform.h"
#include "engine/outbox.h"
#include "engine/plainuiloop.h"
#include "engine/robots.h"
#include "engine/urladder.h"
#include "model/vkglobal.h"
#include "model/vkurllist.h"

namespace qv {

struct TJobHarness {
  TJobHarness(const TSettings& settings, std::string mirror, std::string program)
      : Mirror(std::move(mirror)), Program(std::move(program)) {
    SetLocalWebDir(Mirror);
    Settings.Publish(settings);
    Context.Adder = &Adder;
    Context.Robots = &Robots;
    Context.Settings = &Settings;
    Context.ViewFilter = &Filter;
    Context.MimeFilter = &MimeFilter;
    Context.LocalWebDir = [this] { return Mirror; };
    Runner.ProgramDir = [this] { return Program; };
    Runner.OnPass = [this] { Outbox.Drain(); };
  }
  TJobHarness(const TJobHarness&) = delete;
  TJobHarness& operator=(const TJobHarness&) = delete;

  const std::string Mirror, Program;
  TOutbox Outbox;
  TPublished<TViewFilter> Filter;
  TPublished<TMimeFilter> MimeFilter;
  TURLAdder Adder{Outbox, Filter, MimeFilter};
  TPublished<TSettings> Settings;
  TRobotsStore Robots;
  TJobContext Context;
  TPlainUiLoop Loop;
  TScriptedPrompter Prompter;
  TPlainProgress Progress;
  // Last: its threads end before anything they use goes.
  TDownloadFrm Runner{Loop, Context, Prompter, Progress};
};

}  // namespace qv
