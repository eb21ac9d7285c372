#pragma once

#include <functional>

#include <QDialog>

namespace qv {

// Stand-in for the drop window until its own unit replaces this file: it
// keeps the parts the rest of the program already relies on. It is the
// application's main window: the program ends when it closes with Closing
// set; a close without it only shows the main window. It is never shown.
class TDropDlg : public QDialog {
  Q_OBJECT
 public:
  explicit TDropDlg(QWidget* parent = nullptr);

  // Set by the main window when the program shuts down.
  bool Closing = false;

  // The first showing at start-up: with "/S" first on the command line the
  // main window's project is loaded, the main window hidden and the
  // schedule run. Runs once; later calls do nothing.
  void FirstShow();

  // What FirstShow does for "/S" (the program binds it; tests record it).
  std::function<void()> OnScheduleStart;
  // Shows the main window (a close without Closing set).
  std::function<void()> OnShowMain;

 protected:
  void closeEvent(QCloseEvent* e) override;

 private:
  bool FirstShowDone = false;
};

}  // namespace qv
