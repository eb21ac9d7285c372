#pragma once

#include <functional>
#include <optional>
#include <string>

#include <QObject>

#include "engine/droppedurls.h"

class QTimer;

namespace qv {

inline constexpr char kWaylandAutoPasteNotice[] =
    "Auto-paste is off: Wayland gives a program in the background no clipboard";

// Watches the clipboard while the program is in the background and takes a
// single copied URL into the project. The clipboard is read only after it
// changed (QClipboard::dataChanged), at the next tick of Timer1 (250 ms),
// which runs from a deactivation of the application to the next activation.
// On Wayland a program in the background gets no clipboard: auto-paste is
// then off, with one notice.
class TAutoPasteMod : public QObject, public TAutoPasteHost {
  Q_OBJECT
 public:
  TAutoPasteMod(TDroppedURLSink& sink, TPrompter& prompter, QObject* parent = nullptr);

  // The main window's switches: deactivation turns the timer on and sets
  // AskFirst, activation turns it off.
  void SetTimerEnabled(bool on);
  bool TimerEnabled() const;
  void SetAskFirst(bool on);
  bool AskFirst() const { return Core.AskFirst; }
  bool Busy() const { return Core.Busy; }

  void Timer1Timer();
  bool PasteClipboardURL(const std::string& text) { return Core.PasteClipboardURL(text); }
  // The clipboard changed: the next tick reads it.
  void ClipboardChanged() { Changed = true; }

  // The clipboard: its plain text (nothing when it offers none or more than
  // the limit) and the clear. QClipboard unless replaced (tests).
  std::function<std::optional<std::string>()> ReadClipboard;
  std::function<void()> ClearClipboard;
  // What the module asks of the windows; TAutoPasteHost calls these.
  std::function<bool()> OnProjectEmpty;
  std::function<void()> OnBringToFront;
  std::function<void()> OnMinimise;
  std::function<bool()> OnOpenAnotherProject;
  std::function<void()> OnPlayDropSound;
  std::function<void(const std::string&)> OnNotice;
  // Whether the platform lets a background program read the clipboard.
  bool ClipboardWatchable = true;

  QTimer* Timer1;

  // TAutoPasteHost.
  bool ProjectEmpty() override { return OnProjectEmpty ? OnProjectEmpty() : true; }
  void BringToFront() override {
    if (OnBringToFront) OnBringToFront();
  }
  void Minimise() override {
    if (OnMinimise) OnMinimise();
  }
  void ProcessMessages() override;
  bool OpenAnotherProject() override { return OnOpenAnotherProject && OnOpenAnotherProject(); }
  void PlayDropSound() override {
    if (OnPlayDropSound) OnPlayDropSound();
  }

 private:
  TAutoPaste Core;
  bool Changed = false;
  bool NoticeShown = false;
};

}  // namespace qv
