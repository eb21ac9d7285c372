// The main window's life: construction, first showing, first painting,
// the minimise and start-up help timers, and closing.
#include "ui/mainform.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCursor>
#include <QEventLoop>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QWindowStateChangeEvent>

#include "model/leregistry.h"
#include "model/syshelpers.h"
#include "model/vkconfig.h"
#include "model/vkfile.h"
#include "model/vkglobal.h"
#include "platform/progfolder.h"
#include "ui/appwindows.h"
#include "ui/autopastemodule.h"
#include "ui/controls/checklistboxext.h"
#include "ui/controls/passwordgrid.h"
#include "ui/controls/stringatrgrid.h"
#include "ui/controls/tvimagepanel.h"
#include "ui/controls/uotarget.h"
#include "ui/controls/urllistbox.h"
#include "ui/downloadwindow.h"
#include "ui/dropdialog.h"
#include "ui/filecopydialog.h"
#include "ui/helpwindow.h"
#include "ui/nonmodalmessage.h"
#include "ui/qtprompter.h"
#include "ui/settingsdialog.h"
#include "ui/startup.h"

#include "engine/scheduledialog.h"

namespace qv {

TForm1::TForm1(QWidget* parent) : QMainWindow(parent) {
  NoteWindowCreated("TForm1");
  BuildLayout();
  ConnectViews();
  ConnectRootGrid();
  BuildCommands();
  FileCopyDlg = new TFileCopyDlg(this);
  NoteWindowCreated("TFileCopyDlg");
  SetBusy(true);
  // The image panel draws pictures itself: no separate browser to offer.
  DLIELabel->hide();
  DLIEBtn->hide();
  const QRect tb = ThumbImage1->geometry();
  ThumbBounds = {tb.x(), tb.y(), tb.width(), tb.height()};
  FileSignature = kProjectSignature;
  RetrieveHDummy->lower();
  URLAttribsHDummy->lower();
  FiltersHDummy->lower();
  RootURLsDrop->CustomFormats.push_back({"Netscape Image Format", 0});
  URLsDrop->CustomFormats.push_back({"Netscape Image Format", 0});
  SetRegistryKey(ProgramRegistryKey);
  SingURLs->setSelectionMode(QAbstractItemView::ExtendedSelection);
  CreateGlobals();
  try {
    Session_ = std::make_unique<TProjectSession>(*this, Prompter(), *GlobalURLList, *URLListLock);
  } catch (...) {
    FreeGlobals();
    throw;
  }
  WriteRootEditsToSession();
  connect(PageControl1, &QTabWidget::currentChanged, this, [this](int i) { PageShow(i); });
  InstallClipboardHandlers();
  for (QWidget* w : findChildren<QWidget*>()) w->installEventFilter(this);
  SetBusy(false);
}

TForm1::~TForm1() {
  if (FileCopyDlg && FileCopyDlg->parent() == this) FileCopyDlg = nullptr;
  Session_.reset();
  FreeGlobals();
}

TPrompter& TForm1::Prompter() const { return Prompter_ ? *Prompter_ : AppPrompter(); }

void TForm1::showEvent(QShowEvent* e) {
  QMainWindow::showEvent(e);
  if (!ShowDone) {
    ShowDone = true;
    FormShow();
  }
}

namespace {

// The application counts as restored when one of its windows comes back
// from the task bar (minimising the main window minimises them all).
class TRestoreWatch : public QObject {
 public:
  explicit TRestoreWatch(TForm1* form) : QObject(form), Form(form) {}
  bool eventFilter(QObject* o, QEvent* e) override {
    if (e->type() == QEvent::WindowStateChange && o != Form && o->isWidgetType()) {
      auto* w = static_cast<QWidget*>(o);
      const auto* change = static_cast<QWindowStateChangeEvent*>(e);
      if (w->isWindow() && (change->oldState() & Qt::WindowMinimized) &&
          !(w->windowState() & Qt::WindowMinimized))
        Form->ApplicationRestore();
    }
    return QObject::eventFilter(o, e);
  }

 private:
  TForm1* Form;
};

}  // namespace

void TForm1::FormShow() {
  qApp->installEventFilter(new TRestoreWatch(this));
  SetBusy(true);
  RootURLsDrop->SetAcceptorControl(Grid1);
  URLsDrop->SetAcceptorControl(SingURLs);
  InitCurrentURLFile();
  PWGrid->SetText(RegReadString(RegPassWords));
  RegWriteString(RegPassWords, PWGrid->GetText());
  if (SettingsDlg) {
    SettingsDlg->FormShow();
    SettingsDlg->FormHide();
  }
  SetBusy(false);
}

void TForm1::paintEvent(QPaintEvent* e) {
  QMainWindow::paintEvent(e);
  // The first painting loads the project and lets messages run, which a
  // paint handler must not: it runs right after this one.
  if (!PaintQueued) {
    PaintQueued = true;
    QTimer::singleShot(0, this, [this] { FormPaint(); });
  }
}

void TForm1::FormPaint() {
  PaintQueued = true;
  if (FirstShowDone) return;
  InstallApplicationHandlers();
  FitGlyphs();
  LoadStartProject();
  UpdateBtn->setEnabled(!AutoUpChk->isChecked());
  RefreshURLList();
  PageControl1->setCurrentWidget(ImagesPage);
  ThumbImage1->show();
  PageControl1->setCurrentWidget(RetrievePage);
  FirstShowDone = true;

  // An unattended start (the schedule) has no one to read the start-up help.
  const bool startHelp =
      SettingsDlg && SettingsDlg->Settings()->ShowHlpChk && !IsScheduleSwitch(ProgramArguments());
  if (IsBrowseSwitch(ProgramArguments())) {
    if (BrowseForURLs) BrowseForURLs();
    if (startHelp) BrowseHelpTimer->start();
  } else if (startHelp) {
    move(0, y());
    PlaceHelpWindow(PageControl1, kStartHelp);
    PointAtRootGrid();
  }
}

void TForm1::LoadStartProject() {
  if (StartLoaded) return;
  StartLoaded = true;
  const std::string file = ChooseProjectFile(ProgramArguments(), RegReadString(RegCurrentURLFile));
  QCoreApplication::processEvents();
  try {
    Session_->LoadMirrorProject(file);
  } catch (const std::exception& e) {
    Prompter().ShowMessage(e.what());
  }
  if (!LocalWebDir().empty()) ForceDirs(LocalWebDir());
}

void TForm1::FitGlyphs() {
  for (QPushButton* b : {QMBtn, DLBtn}) {
    QSize s = b->iconSize();
    if (s.width() > b->width() - 4) s.setWidth(b->width() - 4);
    if (s.height() > b->height() - 4) s.setHeight(b->height() - 4);
    b->setIconSize(s);
  }
}

void TForm1::InstallApplicationHandlers() {
  connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState s) {
    if (s == Qt::ApplicationActive)
      ApplicationActivate();
    else if (s == Qt::ApplicationInactive)
      ApplicationDeactivate();
  });
}

void TForm1::ApplicationRestore() { setWindowState(windowState() & ~Qt::WindowMinimized); }

void TForm1::ApplicationActivate() {
  if (AutoPasteMod) AutoPasteMod->SetTimerEnabled(false);
}

void TForm1::ApplicationDeactivate() {
  if (!AutoPasteMod) return;
  AutoPasteMod->SetTimerEnabled(true);
  AutoPasteMod->SetAskFirst(true);
}

void TForm1::resizeEvent(QResizeEvent* e) {
  QMainWindow::resizeEvent(e);
  FormResize();
}

void TForm1::FormResize() {
  if (!FirstShowDone) return;
  MinimizeCountdown = 20;
  MinimizeTimer->start();
}

void TForm1::MinimizeTimerTimer() {
  if (windowState() & Qt::WindowMinimized) {
    // The whole application goes to the task bar with its main window.
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w != this && w->isVisible()) w->showMinimized();
    MinimizeTimer->stop();
    return;
  }
  if (--MinimizeCountdown <= 0) MinimizeTimer->stop();
}

void TForm1::BrowseHelpTimerTimer() {
  if (++BrowseHelpTicks < 6) return;
  BrowseHelpTicks = 0;
  BrowseHelpTimer->stop();
  move(0, y());
  PlaceHelpWindow(PageControl1, kBrowseHelp);
  PointAtRootGrid();
}

void TForm1::PointAtRootGrid() {
  // Wayland does not let programs move the pointer; the call then does nothing.
  QCursor::setPos(Grid1->viewport()->mapToGlobal(QPoint(16, 16)));
}

void TForm1::closeEvent(QCloseEvent* e) {
  if (Closed) {
    e->accept();
    return;
  }
  if (!FormCloseQuery() || !FormClose()) {
    e->ignore();
    return;
  }
  e->accept();
}

bool TForm1::FormCloseQuery() {
  static bool asking = false;
  if (asking) return false;
  // A pass over the list holds the message window and runs its own loop;
  // the close request goes to it, and it asks whether to stop.
  if (NonModalMsg && NonModalMsg->Busy) {
    NonModalMsg->close();
    return false;
  }
  // The schedule's loop runs jobs on this window's project.
  if (ScheduleDlg && ScheduleDlg->Showing()) return false;
  if (DownloadWindow && !DownloadWindow->CanStartOperation(true, true)) {
    if (!DownloadWindow->StopRequested()) return false;
    // Stop was pressed: the job ends at its next check; the close goes on
    // once it has, so nothing is saved or freed under a running worker.
    asking = true;
    QEventLoop loop;
    QTimer poll;
    connect(&poll, &QTimer::timeout, &loop, [&] {
      if (!DownloadWindow->JobRunning()) loop.quit();
    });
    poll.start(50);
    if (DownloadWindow->JobRunning()) loop.exec();
    asking = false;
    if (DownloadWindow->JobRunning()) return false;
  }
  return true;
}

bool TForm1::FormClose() {
  CancelHDrop();
  if (Modified()) {
    try {
      Session_->SaveMirrorProject(ProjectFileName());
    } catch (const std::exception& e) {
      // The old file is intact (the save goes through a temporary file);
      // the window stays open so nothing the user has is lost.
      Prompter().ShowMessage(e.what());
      return false;
    }
  }
  RegWriteString(RegPassWords, PWGrid->GetText());
  if (SettingsDlg) {
    SettingsDlg->FormShow();
    SettingsDlg->FormHide();
  }
  Closed = true;
  if (DropDlg) DropDlg->hide();
  hide();
  if (DropDlg) {
    DropDlg->Closing = true;
    DropDlg->close();
  }
  SetStatusText(kCleaningCache);
  const int days = SettingsDlg ? JnStrToInt(SettingsDlg->Capture().CaFiLiEd) : 0;
  const std::string cache = CacheFolder();
  if (!cache.empty()) DeleteDirTree(cache, days);
  SetStatusText(kCleaningDone);
  return true;
}

}  // namespace qv
