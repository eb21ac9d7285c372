#pragma once

#include <QDialog>

#include "engine/downloadform.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QTableWidget;

namespace qv {

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
  QTableWidget* Grid1;
  QPushButton* SkipBtn;
  QPushButton* CancelBtn;
  QCheckBox* LocRefsChk;
  QCheckBox* AutoDisChk;
  QLabel* Panels[3];

 protected:
  void closeEvent(QCloseEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;

 private:
  bool FSyncing = false;
  int FColumnWidths[6];
};

}  // namespace qv
