#pragma once

#include <QComboBox>
#include <QDialog>

#include "engine/dialupdialog.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStatusBar;

namespace qv {

// The entry list of the dial-up window: refreshed from the phonebook each
// time it drops down, and deaf to the keyboard, so an entry can only be
// picked from the list.
class TPhonebookCombo : public QComboBox {
  Q_OBJECT
 public:
  using QComboBox::QComboBox;
  std::function<void()> OnDropDown;
  void showPopup() override;

 protected:
  void keyPressEvent(QKeyEvent* e) override;
};

// The dial-up window ("Connect to:-"): a view of TDialUpDlg, which runs the
// dial sequence and its modal loop. The window shows the control state the
// logic keeps and hands every user action to it.
class TDialUpWindow : public QDialog, public TDialUpView {
  Q_OBJECT
 public:
  explicit TDialUpWindow(TDialUpDlg& dlg, QWidget* parent = nullptr);
  ~TDialUpWindow() override;

  void ShowForm() override;
  void HideForm() override;
  void ControlsChanged() override;

  TPhonebookCombo* PBCombo;
  QLineEdit* UserEd;
  QLineEdit* PWEd;
  QPushButton* ConBtn;
  QPushButton* CancelBtn;
  QPushButton* Button3;
  QStatusBar* StatusBar1;
  QCheckBox* UseModemChk;
  QLineEdit* RetryEd;
  QCheckBox* AutoDisChk;

 protected:
  void closeEvent(QCloseEvent* e) override;
  void reject() override;

 private:
  TDialUpDlg& FDlg;
  bool FSyncing = false;
};

}  // namespace qv
