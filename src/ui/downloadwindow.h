#pragma once

#include <functional>

#include <QDialog>

#include "engine/downloadform.h"

class QCheckBox;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;

namespace qv {

class TScaledStringGrid;

// The progress window of the job runner ("Download threads:-"): a view of
// TDownloadFrm, which runs the jobs. It shows the grid, buttons, check boxes
// and status panels the runner keeps and hands the user's actions to it.
class TDownloadWindow : public QDialog, public TDownloadView {
  Q_OBJECT
 public:
  explicit TDownloadWindow(TDownloadFrm& runner, QWidget* parent = nullptr);

  void ShowForm() override;
  void CloseForm() override;
  void BringToFront() override;
  void ControlsChanged() override;
  void GridChanged() override;
  std::string FitStatusURL(const std::string& text) override;

  // What the main window asks before an operation that cannot run beside a
  // job.
  bool CanStartOperation(bool blocksExtract, bool blocksDownload) {
    return Runner.CanStartOperation(blocksExtract, blocksDownload);
  }
  bool JobRunning() const { return Runner.JobRunning(); }
  bool StopRequested() const { return Runner.StopFlag != 0; }
  void StopBtnClick() { Runner.AbortBtnClick(); }
  void SetPrompter(TPrompter* prompter) { Runner.SetPrompter(prompter); }

  TDownloadFrm& Runner;
  TScaledStringGrid* Grid1;
  QPushButton* SkipBtn;
  QPushButton* CancelBtn;
  QCheckBox* LocRefsChk;
  QCheckBox* AutoDisChk;
  // How far the job is: "N of M done", the runner's items done of all it
  // holds (the caption says it too).
  QProgressBar* JobProgress;
  QLabel* Panels[3];
  QMenu* HelpMenu;
  // The control last pressed (the form, the grid, a check box or a button),
  // for context help.
  QWidget* HelpSender = nullptr;
  // Shows a control's context help; the program binds the main window's
  // control-help routine.
  std::function<bool(QWidget*)> ShowControlHelp;

  void HelpMouseDown(QWidget* control) { HelpSender = control; }
  void Help1Click();

 protected:
  void closeEvent(QCloseEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  bool eventFilter(QObject* o, QEvent* e) override;
  void contextMenuEvent(QContextMenuEvent* e) override;

 private:
  // "N of M done"; the caption, followed by it once the job holds items.
  QString ProgressText() const;
  QString Title() const;

  bool FSyncing = false;
  int FColumnWidths[6];
  quint64 FLastPressStamp = 0;
};

}  // namespace qv
