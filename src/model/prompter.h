#pragma once
// Every question, message box and file or folder chooser of the program goes
// through one TPrompter, so the core can ask without Qt and tests script the
// answers (no real modal dialog ever opens in a test).
//
// Texts are the program's 8-bit bytes; the Qt implementation shows them as
// UTF-8 (Latin-1 where the bytes are not valid UTF-8).

#include <deque>
#include <string>
#include <vector>

enum class TMsgKind { Information, Warning, Error, Confirmation };

// The buttons a box offers, and the one the user pressed. Cancel is also what
// a box closed with its window button gives. YesNoAll offers Yes, No, Cancel
// and All (the overwrite question of a copy run).
enum class TMsgButtons { Ok, OkCancel, YesNo, YesNoCancel, YesNoAll };
enum class TMsgAnswer { Ok, Cancel, Yes, No, All };

class TPrompter {
 public:
  virtual ~TPrompter() = default;
  // A box with the given buttons; returns the button pressed.
  virtual TMsgAnswer Ask(const std::string& text, TMsgKind kind, TMsgButtons buttons) = 0;
  // The plain message box ("ShowMessage"): one OK button, no icon.
  virtual void ShowMessage(const std::string& text) = 0;
  // Folder and file choosers; "" when the user cancelled.
  virtual std::string ChooseFolder(const std::string& caption, const std::string& start) = 0;
  virtual std::string ChooseOpenFile(const std::string& caption, const std::string& start,
                                     const std::string& filter) = 0;
  virtual std::string ChooseSaveFile(const std::string& caption, const std::string& start,
                                     const std::string& filter) = 0;
  // A file to open or to start: a name that does not exist yet is taken as
  // readily as an existing file, which is taken without an overwrite
  // question. A name typed without an extension gets `defaultExt`.
  virtual std::string ChooseOpenOrNewFile(const std::string& caption, const std::string& start,
                                          const std::string& filter,
                                          const std::string& defaultExt) = 0;

  bool Confirm(const std::string& text) {
    return Ask(text, TMsgKind::Confirmation, TMsgButtons::YesNo) == TMsgAnswer::Yes;
  }
};

// A prompter for tests and the headless harness: answers come from queues
// (an empty queue answers Cancel / ""), and every prompt is recorded.
class TScriptedPrompter : public TPrompter {
 public:
  struct TPrompt {
    std::string Kind;  // "ask", "message", "folder", "open", "save", "open or new"
    std::string Text;  // the text or caption
  };
  std::deque<TMsgAnswer> Answers;
  std::deque<std::string> Paths;
  std::vector<TPrompt> Prompts;

  TMsgAnswer Ask(const std::string& text, TMsgKind, TMsgButtons) override {
    Prompts.push_back({"ask", text});
    return Pop(Answers, TMsgAnswer::Cancel);
  }
  void ShowMessage(const std::string& text) override { Prompts.push_back({"message", text}); }
  std::string ChooseFolder(const std::string& caption, const std::string&) override {
    Prompts.push_back({"folder", caption});
    return Pop(Paths, std::string());
  }
  std::string ChooseOpenFile(const std::string& caption, const std::string&,
                             const std::string&) override {
    Prompts.push_back({"open", caption});
    return Pop(Paths, std::string());
  }
  std::string ChooseSaveFile(const std::string& caption, const std::string&,
                             const std::string&) override {
    Prompts.push_back({"save", caption});
    return Pop(Paths, std::string());
  }
  std::string ChooseOpenOrNewFile(const std::string& caption, const std::string&,
                                  const std::string&, const std::string&) override {
    Prompts.push_back({"open or new", caption});
    return Pop(Paths, std::string());
  }

 private:
  template <class Q, class V>
  static V Pop(Q& q, V fallback) {
    if (q.empty()) return fallback;
    V v = q.front();
    q.pop_front();
    return v;
  }
};
