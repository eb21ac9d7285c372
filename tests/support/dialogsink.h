#pragma once

// A progress sink that behaves as the message window does, for the passes'
// tests: every call is logged in order; a hook runs at each progress point
// (where the window lets other commands run); a pending close request is
// answered through a scripted prompter: Yes aborts, No clears the request,
// shows an empty text and goes on.

#include <functional>
#include <string>
#include <vector>

#include "model/progresssink.h"
#include "model/prompter.h"

namespace qv::test {

class TDialogSink : public TProgressSink {
 public:
  explicit TDialogSink(TPrompter& prompter) : Prompter(prompter) {}

  void SetCaption(const std::string& caption) override { Log.push_back("caption:" + caption); }
  bool ShowText(const std::string& text) override {
    if (Busy) return false;
    Busy = true;
    Label = text;
    Log.push_back("show:" + text);
    return true;
  }
  bool UpdateText(const std::string& text) override {
    Label = text;
    Log.push_back("update:" + text);
    ++Steps;
    if (OnStep) OnStep(Steps);
    if (!CloseRequested) return !AbortAtStep || Steps != AbortAtStep;
    HideMsg();
    Log.push_back("question");
    if (Prompter.Confirm("Do you want to abort this operation?")) return false;
    ShowText("");
    return true;
  }
  void SetText(const std::string& text) override {
    Label = text;
    Log.push_back("label:" + text);
  }
  void HideMsg() override {
    Busy = false;
    CloseRequested = false;
    Log.push_back("hide");
  }

  // The entries of the log that start with prefix, the prefix taken off.
  std::vector<std::string> Entries(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const std::string& e : Log)
      if (e.compare(0, prefix.size(), prefix) == 0) out.push_back(e.substr(prefix.size()));
    return out;
  }

  TPrompter& Prompter;
  bool Busy = false;
  std::string Label;
  int Steps = 0;
  int AbortAtStep = 0;  // the progress point (from 1) the user aborts at; 0 never
  std::function<void(int step)> OnStep;
  std::vector<std::string> Log;
};

}  // namespace qv::test
