#pragma once
// How a long pass over the master list (queue building, localising, status
// refresh) shows its progress and learns that the user wants it stopped,
// without knowing about windows. The message window implements it on the
// user-interface thread; tests and the headless harness use TPlainProgress.

#include <atomic>
#include <string>
#include <vector>

class TProgressSink {
 public:
  virtual ~TProgressSink() = default;
  // Starts a pass: shows the text. False when another pass already holds the
  // sink (the caller must not run then: its HideMsg would end the other's).
  virtual bool ShowText(const std::string& text) = 0;
  // A progress point: shows the text and lets pending events run. False when
  // the user chose to abort the pass.
  virtual bool UpdateText(const std::string& text) = 0;
  // Ends the pass.
  virtual void HideMsg() = 0;
  // The window's caption, set before ShowText.
  virtual void SetCaption(const std::string&) {}
  // Shows the text without letting events run or asking anything: an
  // UpdateText answered "go on" may have shown something else meanwhile.
  virtual void SetText(const std::string&) {}
  // A long text (a URL) shortened to what the window shows in one line.
  virtual std::string FitText(const std::string& text) const { return text; }
  // Set when the user asked to close the window since the pass began; safe to
  // read from any thread.
  std::atomic<bool> CloseRequested{false};
};

// Records the texts; aborts when asked to (from any thread) through Abort.
class TPlainProgress : public TProgressSink {
 public:
  void SetCaption(const std::string& caption) override { Caption = caption; }
  bool ShowText(const std::string& text) override {
    if (Busy) return false;
    Busy = true;
    Texts.push_back(text);
    return true;
  }
  bool UpdateText(const std::string& text) override {
    Texts.push_back(text);
    return !Abort.load();
  }
  void HideMsg() override {
    Busy = false;
    CloseRequested = false;
  }
  bool Busy = false;
  std::string Caption;
  std::atomic<bool> Abort{false};
  std::vector<std::string> Texts;
};
