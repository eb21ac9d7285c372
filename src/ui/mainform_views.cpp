// What the project session asks of the main window: showing and taking
// the project's values, the caption, the status bar, the busy cursor.
#include <mutex>

#include <QApplication>
#include <QLineEdit>
#include <QStatusBar>

#include "model/vkglobal.h"
#include "model/vkurllist.h"
#include "ui/appwindows.h"
#include "ui/controls/checklistboxext.h"
#include "ui/controls/stringatrgrid.h"
#include "ui/mainform.h"
#include "ui/mimefilterdialog.h"
#include "ui/qtprompter.h"
#include "ui/settingsdialog.h"

namespace qv {

TProjectValues TForm1::CaptureProject() {
  TProjectValues v;
  if (SettingsDlg) v.Settings = SettingsDlg->Capture();
  if (MimeFilterDlg) v.MimeFilter = MimeFilterDlg->Filter();
  v.ViewFilter = ViewFilter;
  v.RootURLs = Grid1->Rows();
  return v;
}

void TForm1::ApplyProject(const TProjectValues& values) {
  if (SettingsDlg) SettingsDlg->Apply(values.Settings);
  if (MimeFilterDlg) MimeFilterDlg->SetFilter(values.MimeFilter);
  ViewFilter = values.ViewFilter;
  GlobalViewFilter().Publish(ViewFilter);
  Grid1->SetRows(values.RootURLs);
}

void TForm1::ClearRootURLs() { Grid1->ClearRows(); }

// Every listed URL, in list order. The filtered view with its check marks
// and attributes replaces this with the URL views.
void TForm1::RefreshURLList() {
  SingURLs->clear();
  if (GlobalURLList && URLListLock) {
    std::lock_guard<TCriticalSection> hold(*URLListLock);
    for (int i = 0; i < GlobalURLList->Count(); ++i) {
      const TVkURLItem* item = GlobalURLList->GetItem(i);
      SingURLs->AddItem(item->URL, item->Checked != 0);
    }
  }
  NumURLsEd->setText(QString::number(SingURLs->count()));
  ListRebuilt = true;
}

void TForm1::SetCaption(const std::string& caption) { setWindowTitle(PromptText(caption)); }

void TForm1::SetStatusText(const std::string& text) { StatusBar1->showMessage(PromptText(text)); }

void TForm1::SetBusy(bool busy) {
  if (busy)
    QApplication::setOverrideCursor(Qt::WaitCursor);
  else if (QApplication::overrideCursor())
    QApplication::restoreOverrideCursor();
}

void TForm1::SetLocalWebDirText(const std::string& dir) {
  if (!SettingsDlg) return;
  TSettings s = SettingsDlg->Capture();
  s.LocWebEd = dir;
  SettingsDlg->Apply(s);
}

}  // namespace qv
