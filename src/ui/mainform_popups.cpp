// The pop-up menus of the URL list and the root URL grid.
#include <filesystem>
#include <mutex>

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>

#include "engine/downloadform.h"
#include "model/tvurlutils.h"
#include "model/uriparser.h"
#include "model/vkfile.h"
#include "model/vkglobal.h"
#include "model/vkurllist.h"
#include "model/weblocal.h"
#include "ui/appwindows.h"
#include "ui/controls/clipboardlist.h"
#include "ui/controls/stringatrgrid.h"
#include "ui/controls/tvimagepanel.h"
#include "ui/controls/urllistbox.h"
#include "ui/downloadwindow.h"
#include "ui/dropdialog.h"
#include "ui/filecopydialog.h"
#include "ui/mainform.h"
#include "ui/mainform_commands.h"
#include "ui/qtprompter.h"
#include "ui/settingsdialog.h"

namespace qv {

namespace {

TFileCopier& Copier() {
  static TPlainFileCopier plain;
  if (FileCopyDlg) return *FileCopyDlg;
  return plain;
}

// Marks the URL's record for a status re-read, when it is listed.
void MarkNeedsCheck(const std::string& url) {
  std::lock_guard<TCriticalSection> hold(*URLListLock);
  if (TVkURLItem* r = GlobalURLList->FindItem(url)) r->NeedsCheck = 1;
}

}  // namespace

void TForm1::BuildPopups() {
  const auto item = [this](QMenu* menu, const char* text, auto f) {
    QAction* a = menu->addAction(text);
    connect(a, &QAction::triggered, this, [this, f] {
      CancelHDrop();
      f();
    });
    return a;
  };

  URLPopup = new QMenu(this);
  URLPopup->setObjectName("URLPopup");
  item(URLPopup, "&Help", [this] { ShowControlHelp(SingURLs); });
  URLPopup->addSeparator();
  item(URLPopup, "&Copy", [this] { URLCopyClick(); });
  item(URLPopup, "&Paste", [this] { PasteURLsToList(); });
  item(URLPopup, "&Delete", [this] { URLDeleteClick(); });
  item(URLPopup, "Select &all", [this] { SingURLs->selectAll(); });
  URLPopup->addSeparator();
  item(URLPopup, "&Open", [this] { URLOpenClick(); });
  item(URLPopup, "Open &folder", [this] { URLFolderClick(false); });
  item(URLPopup, "&Explore folder", [this] { URLFolderClick(true); });
  item(URLPopup, "&Send to folder", [this] { URLSendToClick(); });
  URLDelFilesItem = item(URLPopup, "De&l. files", [this] { URLDelFilesClick(); });
  item(URLPopup, "P&rint", [this] { URLPrintClick(); });
  connect(URLPopup, &QMenu::aboutToShow, this, [this] { URLPopupShow(); });

  RootURLPopup = new QMenu(this);
  RootURLPopup->setObjectName("RootURLPopup");
  item(RootURLPopup, "&Help", [this] { ShowControlHelp(Grid1); });
  RootURLPopup->addSeparator();
  item(RootURLPopup, "&Copy", [this] { Grid1->CopySelected(); });
  item(RootURLPopup, "&Paste", [this] { RootPasteClick(); });
  item(RootURLPopup, "&Delete", [this] { RootDeleteClick(); });
  RootURLPopup->addSeparator();
  item(RootURLPopup, "&Open", [this] { RootOpenClick(); });
  item(RootURLPopup, "Open &folder", [this] { RootFolderClick(false); });
  item(RootURLPopup, "&Explore folder", [this] { RootFolderClick(true); });
  item(RootURLPopup, "&Send to folder", [this] { RootSendToClick(); });
  item(RootURLPopup, "P&rint", [this] { RootPrintClick(); });
  connect(RootURLPopup, &QMenu::aboutToShow, this, [this] { CancelHDrop(); });

  for (QWidget* w : {static_cast<QWidget*>(SingURLs), static_cast<QWidget*>(Grid1)})
    w->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(SingURLs, &QWidget::customContextMenuRequested, this, [this](const QPoint& p) {
    HelpControl = SingURLs;
    URLPopup->popup(SingURLs->viewport()->mapToGlobal(p));
  });
  connect(Grid1, &QWidget::customContextMenuRequested, this, [this](const QPoint& p) {
    HelpControl = Grid1;
    RootURLPopup->popup(Grid1->viewport()->mapToGlobal(p));
  });
  connect(SingURLs, &QAbstractItemView::doubleClicked, this, [this] {
    CancelHDrop();
    URLOpenClick();
  });
  RootOpenCommand = [this] { RootOpenClick(); };
  RootDeleteCommand = [this] { RootDeleteClick(); };
}

void TForm1::URLPopupShow() {
  CancelHDrop();
  URLDelFilesItem->setText(SingURLs->GetSelStrings().size() < 2 ? "Del. file only"
                                                                : "Del. files only");
}

// URL list.

void TForm1::URLCopyClick() { CopyLinesToClipboard(SingURLs->GetSelStrings()); }

void TForm1::URLDeleteClick() {
  if (DownloadWindow && !DownloadWindow->CanStartOperation(false, true)) return;
  DeleteSelectedURLs(false);
}

void TForm1::URLDelFilesClick() {
  // The stored files may be the ones a download job is writing.
  if (DownloadWindow && !DownloadWindow->CanStartOperation(false, true)) return;
  SetModified();
  DeleteSelectedURLs(true);
}

void TForm1::URLOpenClick() {
  const TSettings& s = CommandSettings();
  for (const std::string& url : SingURLs->GetSelStrings()) {
    if (OpenLocalCopy(LocalWebDir(), url, s.UseModemChk, true, CommandCopyEnv(Prompter())) == 0)
      break;
    if (IsPageOrScriptURL(url) && s.UseDropChk) ShowDropTarget();
  }
}

void TForm1::URLFolderClick(bool explore) {
  OpenListSelectionFolders(LocalWebDir(), SingURLs->GetSelStrings(), explore,
                           CommandCopyEnv(Prompter()));
  const int cur = SingURLs->ItemIndex();
  if (cur >= 0) MarkNeedsCheck(SingURLs->ItemText(cur));
}

void TForm1::URLSendToClick() {
  CopyListSelectionTo(LocalWebDir(), SingURLs->GetSelStrings(), CommandCopyEnv(Prompter()),
                      Copier());
}

void TForm1::URLPrintClick() {
  for (const std::string& url : SingURLs->GetSelStrings()) {
    const std::string p = NativePath(URLToLocalPath(LocalWebDir(), url, "Data", ""));
    std::error_code ec;
    const bool stored = !p.empty() && std::filesystem::is_regular_file(p, ec);
    ThumbImage1->PrintResource(stored ? p : url);
  }
}

// Root URL grid.

void TForm1::RootPasteClick() { PasteRootURLs(); }

void TForm1::RootDeleteClick() {
  if (ListCommandBusy()) return;
  if (DownloadWindow && !DownloadWindow->CanStartOperation(true, false)) return;
  SetModified();
  Grid1->DeleteSelected();
  Grid1->Refresh();
}

void TForm1::RootOpenClick() {
  SetModified();
  const TSettings& s = CommandSettings();
  for (const std::string& url : Grid1->GetSelStrings()) {
    if (OpenLocalCopy(LocalWebDir(), url, s.UseModemChk, true, CommandCopyEnv(Prompter())) == 0)
      break;
    if (IsPageOrScriptURL(url) && s.UseDropChk) ShowDropTarget();
  }
}

void TForm1::RootFolderClick(bool explore) {
  OpenGridSelectionFolders(LocalWebDir(), Grid1->GetSelStrings(), explore,
                           CommandCopyEnv(Prompter()));
  const int cur = Grid1->GetItemIndex();
  if (cur >= 0 && cur < Grid1->Count()) MarkNeedsCheck(Grid1->Text(cur));
}

void TForm1::RootSendToClick() {
  CopyGridSelectionTo(LocalWebDir(), Grid1->GetSelStrings(), CommandCopyEnv(Prompter()), Copier());
}

void TForm1::RootPrintClick() {
  SetModified();
  const TSettings& s = CommandSettings();
  for (const std::string& url : Grid1->GetSelStrings())
    if (PrintLocalCopy(LocalWebDir(), url, s.UseModemChk, true, CommandCopyEnv(Prompter())) == 0)
      break;
}

}  // namespace qv
