#include "ui/dropdialog_standin.h"

#include <QCloseEvent>
#include <QCoreApplication>

#include "ui/startup.h"

namespace qv {

TDropDlg::TDropDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Drop target:-");
  setProperty("HelpContext", 50);
}

void TDropDlg::FirstShow() {
  if (FirstShowDone) return;
  FirstShowDone = true;
  if (IsScheduleSwitch(ProgramArguments()) && OnScheduleStart) OnScheduleStart();
}

void TDropDlg::closeEvent(QCloseEvent* e) {
  if (Closing) {
    e->accept();
    // The event loop ends once the handler that closed this window returns.
    QCoreApplication::quit();
    return;
  }
  e->ignore();
  hide();
  if (OnShowMain) OnShowMain();
}

}  // namespace qv
