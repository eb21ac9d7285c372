// The main window's commands: the job buttons, the other windows, the image
// buttons, "Details", and deleting the selected URLs.
#include <filesystem>
#include <mutex>
#include <new>
#include <stdexcept>
#include <system_error>

#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include "engine/dialupdialog.h"
#include "engine/downloadform.h"
#include "engine/scheduledialog.h"
#include "model/leregistry.h"
#include "model/progresssink.h"
#include "model/streamext.h"
#include "model/syshelpers.h"
#include "model/tvurlutils.h"
#include "model/uriparser.h"
#include "model/vkconfig.h"
#include "model/vkfile.h"
#include "model/vkglobal.h"
#include "model/vkurllist.h"
#include "model/weblocal.h"
#include "platform/progfolder.h"
#include "platform/shell.h"
#include "ui/aboutbox.h"
#include "ui/appwindows.h"
#include "ui/controls/passwordgrid.h"
#include "ui/controls/stringatrgrid.h"
#include "ui/controls/tvimagepanel.h"
#include "ui/controls/urllistbox.h"
#include "ui/controls/webbrowser.h"
#include "ui/downloadwindow.h"
#include "ui/dropdialog.h"
#include "ui/imageform.h"
#include "ui/mainform.h"
#include "ui/mainform_commands.h"
#include "ui/mimefilterdialog.h"
#include "ui/nonmodalmessage.h"
#include "ui/qtprompter.h"
#include "ui/robotsdialog.h"
#include "ui/settingsdialog.h"

namespace qv {

namespace {

// The page the "Download Internet Explorer" button opens.
constexpr char kBrowserPage[] = "https://www.quendravilos.example/browser.html";
constexpr char kNoBrowser[] = "No default web browser detected.";
// Details this long or longer go to a page instead of a message box.
constexpr size_t kDetailsPageLength = 400;

// True when the folder still holds a stored body ("Data" or "Data.*").
bool BodyRemains(const std::filesystem::path& folder) {
  std::error_code ec;
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
       it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name == "Data" || name.rfind("Data.", 0) == 0) {
      std::error_code dc;
      if (!it->is_directory(dc)) return true;
    }
  }
  return false;
}

// Deletes the stored files of the URL (every file of its body's folder; the
// folders of other URLs inside it stay). True when no body is left.
bool DeleteStoredFiles(const std::string& root, const std::string& url) {
  const std::string body = URLToLocalPath(root, url, "Data", "");
  // No path means no place inside the mirror: an empty folder name would
  // name the mirror's parent or the file system's root.
  if (body.empty()) return false;
  const std::filesystem::path folder = std::filesystem::path(NativePath(body)).parent_path();
  if (folder.empty() || folder == folder.root_path()) return false;
  DeleteAgedFiles(folder.string() + "/*.*", 0);
  return !BodyRemains(folder);
}

// Runs a handler for the events of one control; true swallows the event.
class THook : public QObject {
 public:
  THook(QObject* parent, std::function<bool(QEvent* e)> handler)
      : QObject(parent), Handler(std::move(handler)) {}
  bool eventFilter(QObject* o, QEvent* e) override {
    return Handler(e) || QObject::eventFilter(o, e);
  }

 private:
  std::function<bool(QEvent* e)> Handler;
};

}  // namespace

const TSettings& CommandSettings() {
  static const TSettings blank;
  return SettingsDlg ? *SettingsDlg->Settings() : blank;
}

TLocalCopyEnv& CommandCopyEnv(TPrompter& prompter) {
  static TLocalCopyEnv fallback;
  TLocalCopyEnv& env = LocalCopyEnv ? *LocalCopyEnv : fallback;
  env.Prompter = &prompter;
  return env;
}

void ShowDropTarget() {
  if (DropDlg) DropDlg->ShowDropWindow();
}

namespace {

QBoxLayout* BoxHoldingIn(QLayout* layout, QWidget* w) {
  if (!layout) return nullptr;
  if (auto* box = qobject_cast<QBoxLayout*>(layout); box && box->indexOf(w) >= 0) return box;
  for (int i = 0; i < layout->count(); ++i)
    if (QBoxLayout* box = BoxHoldingIn(layout->itemAt(i)->layout(), w)) return box;
  return nullptr;
}

}  // namespace

QBoxLayout* BoxHolding(QWidget* w) {
  return w && w->parentWidget() ? BoxHoldingIn(w->parentWidget()->layout(), w) : nullptr;
}

void TForm1::BuildCommands() {
  // The window buttons go under the job buttons beside the root grid.
  InfoBtn = new QPushButton("Info. only", RetrievePage);
  ScheduleBtn = new QPushButton("Schedule", RetrievePage);
  SettingsBtn = new QPushButton("Settings", RetrievePage);
  NewMirrorBtn = new QPushButton("New mirror / Load mirror", RetrievePage);
  RobotsBtn = new QPushButton("Robot exclusions", RetrievePage);
  ShowDropBtn = new QPushButton("Show Drop Target", RetrievePage);
  BrowseBtn = new QPushButton("Browse for URLs", RetrievePage);
  AboutBtn = new QPushButton("About", RetrievePage);
  if (QBoxLayout* buttons = BoxHolding(DLBtn)) {
    const int at = buttons->indexOf(DLBtn) + 1;
    QPushButton* order[] = {InfoBtn,   ScheduleBtn, SettingsBtn, NewMirrorBtn,
                            RobotsBtn, ShowDropBtn, BrowseBtn,   AboutBtn};
    for (int i = 0; i < 8; ++i) buttons->insertWidget(at + i, order[i]);
  }
  ContentTypeBtn = new QPushButton("Content-Type", FiltersPage);
  if (QBoxLayout* right = BoxHolding(Button5))
    right->insertWidget(right->indexOf(Button5) + 1, ContentTypeBtn);

  const auto bind = [this](QPushButton* b, void (TForm1::*f)()) {
    connect(b, &QPushButton::clicked, this, [this, b, f] {
      CancelHDrop();
      HelpControl = b;
      (this->*f)();
    });
  };
  bind(DLBtn, &TForm1::DLBtnClick);
  bind(InfoBtn, &TForm1::InfoBtnClick);
  bind(QMBtn, &TForm1::QMBtnClick);
  bind(ScheduleBtn, &TForm1::ScheduleBtnClick);
  bind(SettingsBtn, &TForm1::SettingsBtnClick);
  bind(NewMirrorBtn, &TForm1::NewMirrorBtnClick);
  bind(RobotsBtn, &TForm1::RobotsBtnClick);
  bind(ContentTypeBtn, &TForm1::ContentTypeBtnClick);
  bind(ShowDropBtn, &TForm1::ShowDropBtnClick);
  bind(BrowseBtn, &TForm1::BrowseBtnClick);
  bind(AboutBtn, &TForm1::AboutBtnClick);
  bind(DLIEBtn, &TForm1::DLIEBtnClick);
  bind(PrintImageBtn, &TForm1::PrintImageBtnClick);
  bind(SlideShowBtn, &TForm1::SlideShowBtnClick);
  bind(FullScreenBtn, &TForm1::FullScreenBtnClick);
  bind(DetailsBtn, &TForm1::DetailsBtnClick);
  BrowseForURLs = [this] { BrowseBtnClick(); };
  // What the workers posted last is taken in as the job ends, before the
  // command looks at the modified flag: the drain timer may not have come
  // round since, and the project would then be left unsaved.
  // The job's account goes to the status bar after the workers' last texts.
  DownloadJob = [this](bool infoOnly) {
    const bool ran = DownloadFrm && DownloadFrm->DownloadFiles(infoOnly);
    DrainOutbox();
    if (ran) NoteJobReport();
    return ran;
  };
  ExtractJob = [this] {
    const bool ran = DownloadFrm && DownloadFrm->ExtractURLs();
    DrainOutbox();
    if (ran) NoteJobReport();
    return ran;
  };
  connect(PageControl1, &QTabWidget::currentChanged, this,
          [this](int i) { PasswordsPageChange(i); });
  PWGrid->OnEdited = [](TPassWordGrid* grid, int, int row, const std::string&) {
    grid->SortRow(row);
    grid->viewport()->update();
  };
  PWGrid->installEventFilter(new THook(PWGrid, [this](QEvent* e) {
    if (e->type() != QEvent::KeyPress || static_cast<QKeyEvent*>(e)->key() != Qt::Key_Delete ||
        PWGrid->EditorOpen())
      return false;
    PWGrid->DeleteSelected();
    return true;
  }));
  ParentURLEd->installEventFilter(new THook(ParentURLEd, [this](QEvent* e) {
    if (e->type() != QEvent::MouseButtonDblClick) return false;
    CancelHDrop();
    ParentURLDblClick();
    return true;
  }));
  CommandsLastPage = PageControl1->currentIndex();
  BuildPopups();
}

void TForm1::PasswordsPageChange(int index) {
  QWidget* before = PageControl1->widget(CommandsLastPage);
  CommandsLastPage = index;
  if (before == PasswordsPage) RegWriteString(RegPassWords, PWGrid->GetText());
  if (PageControl1->widget(index) == PasswordsPage) PWGrid->SetText(RegReadString(RegPassWords));
}

bool TForm1::ListCommandBusy() const { return Deleting || (NonModalMsg && NonModalMsg->Busy); }

namespace {

// The system ran out of something the program cannot do without: threads,
// file handles, memory for a system call.
bool OutOfResources(const std::system_error& e) {
  const std::error_code c = e.code();
  return c == std::errc::resource_unavailable_try_again || c == std::errc::not_enough_memory ||
         c == std::errc::too_many_files_open || c == std::errc::too_many_files_open_in_system;
}

}  // namespace

void TForm1::RunReported(const std::function<void()>& steps) {
  const auto advise = [this](const std::exception& e) {
    Prompter().ShowMessage(e.what());
    Prompter().ShowMessage(ErrorAdviceText);
  };
  try {
    steps();
  } catch (const std::bad_alloc& e) {
    advise(e);
  } catch (const std::system_error& e) {
    if (OutOfResources(e))
      advise(e);
    else
      Prompter().ShowMessage(e.what());
  } catch (const std::exception& e) {
    Prompter().ShowMessage(e.what());
  } catch (...) {
    Prompter().ShowMessage("Unknown error");
  }
}

// Job commands.

namespace {

void PrepareDialUp() {
  if (DialUpDlg) DialUpDlg->PrepareDialUp(CommandSettings().UseModemChk, false);
}

}  // namespace

void TForm1::NoteJobReport() {
  JobReport = DownloadFrm ? DownloadFrm->JobEndText() : std::string();
  ShowJobReport();
}

void TForm1::ShowJobReport() {
  if (!JobReport.empty()) SetStatusText(JobReport);
}

void TForm1::DLBtnClick() {
  RunReported([this] {
    PrepareDialUp();
    if (CommandSettings().AutoQuickChk) QMBtnClick();
    if (!Session_->ValidateLocalWebDir()) return;
    if (!DownloadJob || !DownloadJob(false)) return;
    if (Modified()) Session_->SaveMirrorProject(ProjectFileName());
    RefreshURLList();
    ShowAttributes();
    ShowJobReport();
  });
}

void TForm1::InfoBtnClick() {
  RunReported([this] {
    PrepareDialUp();
    if (CommandSettings().AutoQuickChk) QMBtnClick();
    if (!Session_->ValidateLocalWebDir()) return;
    if (!DownloadJob || !DownloadJob(true)) return;
    if (Modified()) Session_->SaveMirrorProject(ProjectFileName());
    RefreshURLList();
    ShowAttributes();
    ShowJobReport();
  });
}

void TForm1::QMBtnClick() {
  RunReported([this] {
    if (!Session_->ValidateLocalWebDir()) return;
    PrepareDialUp();
    if (!ExtractJob || !ExtractJob()) return;
    if (Modified()) Session_->SaveMirrorProject(ProjectFileName());
    RefreshURLList();
    ShowAttributes();
    ShowJobReport();
  });
}

void TForm1::ScheduleBtnClick() {
  RunReported([this] {
    if (DropDlg) DropDlg->hide();
    // Only a job the schedule ran now is reported after it.
    JobReport.clear();
    if (ScheduleDlg) ScheduleDlg->RunSchedule(false);
    RefreshURLList();
    ShowJobReport();
  });
}

// Window commands.

void TForm1::SettingsBtnClick() {
  if (!SettingsDlg) return;
  SettingsDlg->exec();
  if (!SettingsDlg->LocWebChanged) return;
  // The pass shows in the message window, which refuses it while another
  // pass holds the window.
  TPlainProgress plain;
  TProgressSink& sink = NonModalMsg ? static_cast<TProgressSink&>(*NonModalMsg) : plain;
  if (GlobalURLList->UpdateStatusInfo(sink, [this] { CancelHDrop(); })) RefreshURLList();
}

void TForm1::NewMirrorBtnClick() {
  if (ListCommandBusy()) return;
  if (DownloadWindow && !DownloadWindow->CanStartOperation(true, true)) return;
  if (Session_->OpenMirrorProject()) RefreshURLList();
}

void TForm1::RobotsBtnClick() {
  if (RobotsDlg) RobotsDlg->show();
}

void TForm1::ContentTypeBtnClick() {
  if (MimeFilterDlg && MimeFilterDlg->Execute()) FilterChanged();
}

void TForm1::ShowDropBtnClick() { ShowDropTarget(); }

void TForm1::BrowseBtnClick() {
  if (QClipboard* cb = QGuiApplication::clipboard()) {
    const std::string text = PathFromQ(cb->text());
    if (IsURL(text)) cb->clear();
  }
  const TSettings& s = CommandSettings();
  const int r =
      OpenLocalCopy(LocalWebDir(), s.HomePageEd, s.UseModemChk, false, CommandCopyEnv(Prompter()));
  if (r == 0) return;
  if (s.UseDropChk) ShowDropTarget();
  if (r == ShellNoAssociation) Prompter().ShowMessage(kNoBrowser);
}

void TForm1::AboutBtnClick() {
  if (AboutBox) AboutBox->exec();
}

void TForm1::DLIEBtnClick() {
  if (OpenLocalCopy(LocalWebDir(), kBrowserPage, CommandSettings().UseModemChk, false,
                    CommandCopyEnv(Prompter())) == ShellNoAssociation)
    Prompter().ShowMessage(kNoBrowser);
}

// Image commands.

void TForm1::PrintImageBtnClick() {
  if (!ThumbImage1->ViewBrowser) return;
  SetBusy(true);
  ThumbImage1->PrintImage();
  SetBusy(false);
}

void TForm1::SlideShowBtnClick() {
  if (!ThumbImage1->ViewBrowser || !ImageFrm) return;
  std::vector<std::string> urls;
  urls.reserve(static_cast<size_t>(SingURLs->Count()));
  for (int i = 0; i < SingURLs->Count(); ++i) urls.push_back(SingURLs->ItemText(i));
  ImageFrm->StartSlideShow(LocalWebDir(), std::move(urls), JnStrToInt(PathFromQ(ViewIntEd->text())),
                           SingURLs->ItemIndex());
}

void TForm1::FullScreenBtnClick() {
  if (!ThumbImage1->ViewBrowser || !ImageFrm) return;
  ImageFrm->ShowImage(ThumbImage1->ImageFile);
}

// The attributes panel.

void TForm1::DetailsBtnClick() {
  if (SingURLs->Count() == 0) return;
  const int cur = SingURLs->ItemIndex();
  if (cur < 0) {
    Prompter().ShowMessage("No item selected");
    return;
  }
  const std::string url = SingURLs->ItemText(cur);
  std::string details;
  {
    std::lock_guard<TCriticalSection> hold(*URLListLock);
    if (const TVkURLItem* r = GlobalURLList->FindItem(url)) details = r->Details;
  }
  if (details.empty()) {
    Prompter().ShowMessage("Information not available");
    return;
  }
  if (details.size() < kDetailsPageLength) {
    Prompter().ShowMessage(details);
    return;
  }
  // The text comes from servers: it is shown as text, never as markup.
  const std::string file = ProgramFolder() + "/Message.htm";
  WriteFileString(file, "<html><body><pre>" + HtmlEscape(details) + "</pre></body></html>");
  TShell& shell = LocalCopyEnv && LocalCopyEnv->Shell ? *LocalCopyEnv->Shell : SystemShell();
  const int r = shell.Execute("open", file);
  if (r == ShellNoAssociation)
    Prompter().ShowMessage("There is no application associated with this type of file:-\n\n" +
                           file);
  else if (r <= 32)
    Prompter().ShowMessage("Error opening file:-\n\n" + file);
}

void TForm1::ParentURLDblClick() {
  const std::string parent = PathFromQ(ParentURLEd->text());
  if (parent.empty()) return;
  const TSettings& s = CommandSettings();
  const int r =
      OpenLocalCopy(LocalWebDir(), parent, s.UseModemChk, true, CommandCopyEnv(Prompter()));
  if (r != 0 && IsPageOrScriptURL(parent) && s.UseDropChk) ShowDropTarget();
}

// Deleting URLs.

void TForm1::DeleteSelectedURLs(bool markOnly) {
  if (ListCommandBusy()) return;
  Deleting = true;
  struct TClear {
    bool& Flag;
    ~TClear() { Flag = false; }
  } clear{Deleting};

  // The selection by URL: lines may move while a question is open (the
  // window keeps taking new URLs), a URL's text does not.
  const std::vector<std::string> selected = SingURLs->GetSelStrings();
  const int n = static_cast<int>(selected.size());
  int k = 1;
  SetModified();
  SetBusy(true);
  bool all = false;
  int last = -1;
  for (const std::string& url : selected) {
    if (k % 100 == 0)
      SetStatusText("Deleting URL: " + std::to_string(k) + " of " + std::to_string(n));
    ++k;
    uint8_t status = 0;
    bool listed = false;
    {
      std::lock_guard<TCriticalSection> hold(*URLListLock);
      if (TVkURLItem* r = GlobalURLList->FindItem(url)) {
        listed = true;
        status = r->GetStatus();
      }
    }
    bool keep = false;
    if (listed && status == usDownloaded) {
      if (!all) {
        SetBusy(false);
        const TMsgAnswer a =
            Prompter().Ask("Do you want to delete downloaded file for URL:-\n\n" + url,
                           TMsgKind::Warning, TMsgButtons::YesNoAll);
        SetBusy(true);
        if (a == TMsgAnswer::Cancel || a == TMsgAnswer::Ok) {
          SetBusy(false);
          return;
        }
        if (a == TMsgAnswer::All) all = true;
        keep = a == TMsgAnswer::No;
      }
      // A body that could not be deleted keeps its record: the list must
      // not lose a file that is still there.
      if (!keep && !DeleteStoredFiles(LocalWebDir(), url)) keep = true;
    }
    if (keep) continue;
    {
      // The question let other work run: the record is looked up afresh.
      std::lock_guard<TCriticalSection> hold(*URLListLock);
      if (markOnly) {
        if (TVkURLItem* r = GlobalURLList->FindItem(url)) r->SetStatus(usDeleted);
      } else {
        const int at = GlobalURLList->IndexOfURL(url);
        if (at >= 0) GlobalURLList->DeleteItem(at);
      }
    }
    // The line after it becomes the one shown: in removing mode it has
    // moved up into the removed line's place.
    const int line = SingURLs->IndexOf(url);
    if (!markOnly && line >= 0) SingURLs->Lines()->RemoveLine(line);
    if (line >= 0) last = markOnly ? line + 1 : line;
  }
  if (last >= SingURLs->Count()) last = SingURLs->Count() - 1;
  SetStatusText("Done");
  SetBusy(false);
  NumURLsEd->setText(QString::number(SingURLs->Count()));
  if (last >= 0) {
    SingURLs->SetItemIndex(last);
    ShowAttributes();
  }
}

}  // namespace qv
