#pragma once

#include <functional>
#include <vector>

#include <QDialog>
#include <QPointer>

#include "engine/scheduledialog.h"
#include "ui/helpwindow.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStatusBar;

namespace qv {

class TSettingsDlg;

// The schedule window ("Schedule running:"): a view of TScheduleDlg, which
// runs the schedule, its tick and its modal loop. The window shows the
// state the logic keeps and hands every click to it.
class TScheduleWindow : public QDialog, public TScheduleView {
  Q_OBJECT
 public:
  explicit TScheduleWindow(TScheduleDlg& dlg, QWidget* parent = nullptr);
  ~TScheduleWindow() override;

  void ShowForm() override;
  void HideForm() override;
  void ControlsChanged() override;
  void ShowMainWindow(bool show) override;
  void MinimizeApplication() override;
  void RestoreApplication() override;
  void MinimizeJobWindows() override;
  void NormalizeJobWindows() override;

  // Set by the program: the dial-up and job windows; shows or hides the main
  // window; shows context help for a help context.
  std::vector<QPointer<QWidget>> JobWindows;
  std::function<void(bool)> OnShowMainWindow;
  std::function<void(int helpContext)> ShowHelp;

  QLineEdit* StartTimeEd;
  QLineEdit* IntervalEd;
  QLabel* IntervalUnits;
  QLineEdit* TillNextEd;
  QCheckBox* KeepMinChk;
  QCheckBox* StayConChk;
  QPushButton* Button2;  // "Stand by"
  QPushButton* Button3;  // "Exit"
  QPushButton* Button1;  // "View log"
  QPushButton* Button4;  // "Delete log"
  QStatusBar* StatusBar1;
  QLabel* StatusPanels[2];
  QWidget* HelpControl = nullptr;

  // The help context of a control (the window's own when it has none).
  int HelpContextOf(QWidget* w) const;

 protected:
  void paintEvent(QPaintEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  void reject() override;
  bool eventFilter(QObject* o, QEvent* e) override;
  void contextMenuEvent(QContextMenuEvent* e) override;

 private:
  TScheduleDlg& FDlg;
  bool FSyncing = false;
  bool FPaintPending = false;
  THelpPressWatch HelpPress;
};

// Stores the settings through the settings window with the scheduled-project
// rows as a schedule left them, so what the window shows and what is stored
// agree (the binding of TSessionScheduleJobs::SaveSettingsProc).
void SaveScheduleSettings(TSettingsDlg& settings, const std::vector<TAtrRow>& projects);

}  // namespace qv
