#include "ui/appwindows.h"

#include <stdexcept>
#include <vector>

#include <QTimer>

#include "engine/dialupdialog.h"
#include "engine/downloadform.h"
#include "engine/robots.h"
#include "engine/scheduledialog.h"
#include "model/vkglobal.h"
#include "model/vkurllist.h"
#include "model/weblocal.h"
#include "platform/dialup.h"
#include "ui/aboutbox.h"
#include "ui/autopastemodule.h"
#include "ui/controls/stringatrgrid.h"
#include "ui/dialupwindow.h"
#include "ui/downloadwindow.h"
#include "ui/dropdialog.h"
#include "ui/filecopydialog.h"
#include "ui/helpwindow.h"
#include "ui/imageform.h"
#include "ui/mainform.h"
#include "ui/mimefilterdialog.h"
#include "ui/newsdialog.h"
#include "ui/nonmodalmessage.h"
#include "ui/qtprompter.h"
#include "ui/qtuiloop.h"
#include "ui/robotsdialog.h"
#include "ui/schedulewindow.h"
#include "ui/settingsdialog.h"
#include "ui/tickdriver.h"

namespace qv {

TDropDlg* DropDlg = nullptr;
TSettingsDlg* SettingsDlg = nullptr;
TDialUpDlg* DialUpDlg = nullptr;
TImageFrm* ImageFrm = nullptr;
TAboutBox* AboutBox = nullptr;
TNonModalMsg* NonModalMsg = nullptr;
TRobotsDlg* RobotsDlg = nullptr;
TMimeFilterDlg* MimeFilterDlg = nullptr;
TScheduleDlg* ScheduleDlg = nullptr;
TDownloadFrm* DownloadFrm = nullptr;
TDownloadWindow* DownloadWindow = nullptr;
TForm1* Form1 = nullptr;
TNewsDlg* NewsDlg = nullptr;
TAutoPasteMod* AutoPasteMod = nullptr;
TFileCopyDlg* FileCopyDlg = nullptr;

TDialUpWindow* DialUpWindow = nullptr;
TScheduleWindow* ScheduleWindow = nullptr;
TSessionScheduleJobs* ScheduleJobs = nullptr;
TRobotsStore* RobotsStore = nullptr;
TQtUiLoop* UiLoop = nullptr;
TLocalCopyEnv* LocalCopyEnv = nullptr;

namespace {

TWindowCreated Recorder;
std::unique_ptr<TDialUpService> DialService;
// What the job runner's workers reach in place of the windows. Their
// results go through the main window's adder once it exists, so the lines,
// the count, the status texts and the modified flag they post reach it.
std::unique_ptr<TJobContext> JobContext;

// The scheduler is made before the main window and its project session;
// its jobs reach the session through this once the main window exists.
class TLateScheduleJobs : public TScheduleJobs {
 public:
  TScheduleJobs& Inner() {
    if (!ScheduleJobs) throw std::runtime_error("The main window is not ready");
    return *ScheduleJobs;
  }
  void PrepareDialUp(bool useModem) override { Inner().PrepareDialUp(useModem); }
  void HangUpAll() override { Inner().HangUpAll(); }
  bool ProjectModified() override { return Inner().ProjectModified(); }
  std::string ProjectFileName() override { return Inner().ProjectFileName(); }
  void SaveProject() override { Inner().SaveProject(); }
  void LoadProject(const std::string& fileName) override { Inner().LoadProject(fileName); }
  void QuickMirror() override { Inner().QuickMirror(); }
  void Download() override { Inner().Download(); }
  void SaveSettings(const std::vector<TAtrRow>& projects) override {
    Inner().SaveSettings(projects);
  }
};
TLateScheduleJobs LateJobs;

template <typename T>
void FreeOne(T*& p) {
  delete p;
  p = nullptr;
}

// The schedule's own loop ends after the handler that asked it to returns;
// until then the main window refuses to close.
void CloseMainWhenScheduleEnds() {
  if (!Form1 || !ScheduleDlg) return;
  if (ScheduleDlg->Showing()) {
    QTimer::singleShot(50, [] { CloseMainWhenScheduleEnds(); });
    return;
  }
  Form1->close();
}

}  // namespace

void NoteWindowCreated(const std::string& className) {
  if (Recorder) Recorder(className);
}

void CreateAppWindows(const TWindowCreated& created, std::unique_ptr<TDialUpService> service) {
  Recorder = created;
  DialService = service ? std::move(service) : MakeDialUpService();
  UiLoop = new TQtUiLoop;
  // The worker threads' watchdogs tick on this thread's event loop: without
  // it no time-out ever came, and a host that never answered held its
  // thread until the user skipped the item.
  new TTickDriver(TTickSource::Main(), UiLoop);
  RobotsStore = new TRobotsStore;
  LocalCopyEnv = new TLocalCopyEnv;
  try {
    DropDlg = new TDropDlg;
    NoteWindowCreated("TDropDlg");
    SettingsDlg = new TSettingsDlg;
    SettingsDlg->ShowHelp = [](int c) { ShowHelpContext(c); };
    NoteWindowCreated("TSettingsDlg");
    DialUpDlg = new TDialUpDlg(*DialService, *UiLoop);
    DialUpWindow = new TDialUpWindow(*DialUpDlg);
    NoteWindowCreated("TDialUpDlg");
    ImageFrm = new TImageFrm;
    NoteWindowCreated("TImageFrm");
    AboutBox = new TAboutBox;
    NoteWindowCreated("TAboutBox");
    NonModalMsg = new TNonModalMsg;
    NoteWindowCreated("TNonModalMsg");
    RobotsDlg = new TRobotsDlg(RobotsStore);
    RobotsDlg->ShowHelp = [](int c) { ShowHelpContext(c); };
    NoteWindowCreated("TRobotsDlg");
    MimeFilterDlg = new TMimeFilterDlg;
    MimeFilterDlg->ShowHelp = [](int c) { ShowHelpContext(c); };
    SettingsDlg->SetMimeFilterDlg(MimeFilterDlg);
    NoteWindowCreated("TMimeFilterDlg");
    ScheduleDlg = new TScheduleDlg(LateJobs, *UiLoop, AppPrompter());
    ScheduleDlg->SetShell(&SystemShell());
    ScheduleWindow = new TScheduleWindow(*ScheduleDlg);
    ScheduleWindow->ShowHelp = [](int c) { ShowHelpContext(c); };
    NoteWindowCreated("TScheduleDlg");
    JobContext = std::make_unique<TJobContext>();
    JobContext->Robots = RobotsStore;
    JobContext->DialUp = DialUpDlg;
    JobContext->LocalWebDir = [] { return GetLocalWebDir(); };
    DownloadFrm = new TDownloadFrm(*UiLoop, *JobContext, AppPrompter(), *NonModalMsg);
    DownloadFrm->DialUp.IsConnected = [] { return DialUpDlg->IsConnected(); };
    DownloadFrm->DialUp.EnsureConnected = [](bool keep) {
      return DialUpDlg->EnsureConnected(keep);
    };
    DownloadFrm->DialUp.HangUpAll = [] { DialUpDlg->HangUpAll(); };
    DownloadFrm->DialUp.AutoDisconnect = [] { return DialUpDlg->AutoDisChk; };
    DownloadFrm->MessageWindowShowing = [] { return NonModalMsg->isVisible(); };
    DownloadFrm->MessageWindowToFront = [] { NonModalMsg->raise(); };
    DownloadFrm->Localise = [](const std::string& dir) { DownloadFrm->LocaliseSavedPages(dir); };
    DownloadWindow = new TDownloadWindow(*DownloadFrm);
    DownloadWindow->ShowControlHelp = [](QWidget* w) { return Form1 && Form1->ShowControlHelp(w); };
    NoteWindowCreated("TDownloadFrm");
    Form1 = new TForm1;  // notes itself and its file-copy window
    // What the workers find goes through the main window's adder: its drain
    // shows the new lines and marks the project modified, so a closing
    // program saves them.
    JobContext->Adder = &Form1->Adder();
    // Project options live in the project file: an edit in the settings
    // window must reach the next save, and its mirror folder is the one
    // the jobs and the local-copy commands use from then on.
    SettingsDlg->OnModified = [] { Form1->SetModified(); };
    SettingsDlg->OnLocalWebDir = [](const std::string& dir) {
      Form1->Session().SetLocalWebDir(dir);
    };
    // An extract job starts from the project's root rows.
    DownloadFrm->RootURLs = &Form1->Session().RootURLs();
    ScheduleJobs = new TSessionScheduleJobs(Form1->Session(), *DialUpDlg);
    // Through the window's own job commands, which take in what the
    // workers posted last before anyone asks whether the project changed:
    // the schedule saves a project only when it did.
    ScheduleJobs->QuickMirrorJob = [] { Form1->ExtractJob(); };
    ScheduleJobs->DownloadJob = [] { Form1->DownloadJob(false); };
    ScheduleJobs->SaveSettingsProc = [](const std::vector<TAtrRow>& rows) {
      SaveScheduleSettings(*SettingsDlg, rows);
    };
    ScheduleWindow->OnShowMainWindow = [](bool show) { Form1->setVisible(show); };
    ScheduleWindow->JobWindows = {DialUpWindow, DownloadWindow};
    DropDlg->Sink = &Form1->DropSink();
    DropDlg->OnShowMain = [](bool show) {
      if (!show) {
        Form1->hide();
        return;
      }
      Form1->show();
      Form1->raise();
    };
    DropDlg->OnBringToFront = [] {
      Form1->ApplicationRestore();
      Form1->show();
      Form1->raise();
      Form1->activateWindow();
    };
    DropDlg->OnScheduleClose = [] {
      if (!ScheduleWindow || !ScheduleWindow->isVisible()) return false;
      // The program ends with the schedule still set up: the Startup
      // shortcut stays.
      ScheduleDlg->KeepShortcut = true;
      ScheduleWindow->close();
      CloseMainWhenScheduleEnds();
      return true;
    };
    DropDlg->OnScheduleStart = [] {
      // The schedule runs on the project the command line names, so that
      // project is loaded first even when the main window has not painted.
      Form1->LoadStartProject();
      Form1->hide();
      ScheduleDlg->RunSchedule(true);
    };
    LocalCopyEnv->Prompter = &AppPrompter();
    LocalCopyEnv->EnsureConnected = [](bool useModem) {
      DialUpDlg->PrepareDialUp(useModem, false);
      return DialUpDlg->EnsureConnected(false);
    };
    NewsDlg = new TNewsDlg(nullptr, AppPrompter(), [](const std::string& url) {
      return OpenLocalCopy("", url, false, false, *LocalCopyEnv);
    });
    NoteWindowCreated("TNewsDlg");
    AutoPasteMod = new TAutoPasteMod(Form1->DropSink(), AppPrompter());
    AutoPasteMod->OnProjectEmpty = [] {
      std::lock_guard<TCriticalSection> hold(*URLListLock);
      return GlobalURLList->Count() == 0 && Form1->Session().RootURLs().empty();
    };
    AutoPasteMod->OnBringToFront = DropDlg->OnBringToFront;
    AutoPasteMod->OnMinimise = [] { Form1->showMinimized(); };
    AutoPasteMod->OnOpenAnotherProject = [] {
      if (!DownloadWindow->CanStartOperation(true, true)) return false;
      if (!Form1->Session().OpenMirrorProject()) return false;
      Form1->RefreshURLList();
      return true;
    };
    AutoPasteMod->OnPlayDropSound = [] { DropDlg->PlayDropSound(); };
    AutoPasteMod->OnNotice = [](const std::string& text) { Form1->SetStatusText(text); };
    NoteWindowCreated("TAutoPasteMod");
  } catch (...) {
    FreeAppWindows();
    throw;
  }
}

void FreeAppWindows() {
  FreeOne(AutoPasteMod);
  FreeOne(NewsDlg);
  FreeOne(ScheduleJobs);
  if (JobContext) JobContext->Adder = nullptr;
  FreeOne(Form1);
  FreeOne(DownloadWindow);
  FreeOne(DownloadFrm);
  JobContext.reset();
  FreeOne(ScheduleWindow);
  FreeOne(ScheduleDlg);
  FreeOne(MimeFilterDlg);
  FreeOne(RobotsDlg);
  FreeOne(NonModalMsg);
  FreeOne(AboutBox);
  FreeOne(ImageFrm);
  FreeOne(DialUpWindow);
  FreeOne(DialUpDlg);
  FreeOne(SettingsDlg);
  FreeOne(DropDlg);
  FreeOne(LocalCopyEnv);
  FreeOne(RobotsStore);
  FreeOne(UiLoop);
  DialService.reset();
  Recorder = nullptr;
}

}  // namespace qv
