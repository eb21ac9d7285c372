#pragma once

#include <functional>

#include <QDialog>

#include "model/prompter.h"

namespace qv {

// Stand-in for the job runner window until its own unit replaces this file.
// It has no jobs; it keeps the guard the main window asks before it closes,
// so a job set running by a test is seen as the real one will be.
class TDownloadFrm : public QDialog {
  Q_OBJECT
 public:
  enum class TJobKind { None, Extract, Download };

  explicit TDownloadFrm(QWidget* parent = nullptr);

  // True when no job of a blocking kind runs. Otherwise brings the window
  // forward and asks whether to stop the job (Yes presses Stop); false
  // either way.
  bool CanStartOperation(bool blocksExtract, bool blocksDownload);
  bool JobRunning() const { return Job != TJobKind::None; }
  // "Stop": asks the running job to end; it ends when it gets there.
  void StopBtnClick();

  TJobKind Job = TJobKind::None;
  bool StopRequested = false;
  // Runs when Stop is pressed (a test's fake job ends itself here).
  std::function<void()> OnStop;
  void SetPrompter(TPrompter* prompter) { Prompter = prompter; }

 private:
  TPrompter* Prompter = nullptr;
};

inline constexpr char kStopJobQuestion[] =
    "You cannot perform this operation while downloading is in progress.\n\nDo you want to "
    "terminate the download operation?";

}  // namespace qv
