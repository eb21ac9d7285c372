// The main window's commands: deleting URLs with their questions, "Details",
// the running-job guard, the job commands' error reporting, opening the
// selection, the pop-ups' captions and the Passwords page.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <new>
#include <stdexcept>
#include <system_error>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QVBoxLayout>

#include "engine/scheduledialog.h"
#include "engine/threadtimer.h"
#include "engine/vkthread.h"
#include "mainformfixture.h"
#include "model/streamext.h"
#include "model/syshelpers.h"
#include "model/tvurlutils.h"
#include "model/vkfile.h"
#include "model/weblocal.h"
#include "platform/progfolder.h"
#include "platform/shell.h"
#include "support/filesizelimit.h"
#include "ui/appwindows.h"
#include "ui/controls/passwordgrid.h"
#include "ui/controls/stringatrgrid.h"
#include "ui/controls/urllistbox.h"
#include "ui/mainform_commands.h"
#include "ui/nonmodalmessage.h"

namespace qv {
namespace {

namespace fs = std::filesystem;
using test::MainFormFixture;

class TCountingShell : public TShell {
 public:
  std::vector<std::string> Targets;
  int Result = ShellSuccess;
  int Execute(const std::string&, const std::string& file) override {
    Targets.push_back(file);
    return Result;
  }
  int Start(const std::string&, const std::string&, const std::string& argument) override {
    Targets.push_back(argument);
    return Result;
  }
};

class MainCommandsTest : public MainFormFixture {
 protected:
  MainCommandsTest() {
    LocalCopyEnv->Shell = &Shell;
    LocalCopyEnv->Prompter = &Prompter;
  }

  std::string Root() const { return Form1->LocalWebDir(); }
  std::string Body(const std::string& url) const {
    return NativePath(URLToLocalPath(Root(), url, "Data", ""));
  }
  // A downloaded URL: its record downloaded and its stored copy.
  void Downloaded(const std::string& url) {
    ASSERT_TRUE(SaveLocalCopy(Root(), "Data", url, "<p>" + url, ".htm"));
    List(url, usDownloaded);
  }
  // A downloaded page the localising pass rewrites.
  void StoredPage(const std::string& url, const std::string& html) {
    ASSERT_TRUE(SaveLocalCopy(Root(), "Data", url, html, ".htm"));
    TVkURLItem r;
    r.URL = url;
    r.SetStatus(usDownloaded);
    r.ContentType = "text/html";
    std::lock_guard<TCriticalSection> hold(*URLListLock);
    GlobalURLList->AddItem(r, false);
  }
  void Show() {
    Form1->RefreshURLList();
    Form1->SingURLs->clearSelection();
  }
  void Select(const std::vector<int>& lines) {
    auto* sel = Form1->SingURLs->selectionModel();
    for (int i : lines)
      sel->select(Form1->SingURLs->model()->index(i, 0), QItemSelectionModel::Select);
  }
  static TVkURLItem* Record(const std::string& url) { return GlobalURLList->FindItem(url); }
  std::vector<std::string> Asked() const {
    std::vector<std::string> out;
    for (const auto& p : Prompter.Prompts)
      if (p.Kind == "ask") out.push_back(p.Text);
    return out;
  }
  std::vector<std::string> Messages() const {
    std::vector<std::string> out;
    for (const auto& p : Prompter.Prompts)
      if (p.Kind == "message") out.push_back(p.Text);
    return out;
  }
  std::string Status() const { return Form1->StatusBar1->currentMessage().toStdString(); }

  TCountingShell Shell;
};

constexpr char kAsk[] = "Do you want to delete downloaded file for URL:-\n\n";

// The commands put their buttons beside the ones the layout made, found by
// what holds them: a layout built in another order still gets every one.
using BoxHoldingTest = test::UiTest;

TEST_F(BoxHoldingTest, FindsTheBoxHoldingAWidgetInAnyOrderOfTheLayout) {
  struct Case {
    const char* name;
    std::vector<int> order;  // 0 a label, 1 a form, 2 a column with a row in it
  } cases[] = {
      {"label, form, column", {0, 1, 2}},
      {"column first", {2, 0, 1}},
      {"column between", {0, 2, 1}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    QWidget page;
    auto* outer = new QHBoxLayout(&page);
    auto* label = new QLabel("label", &page);
    auto* form = new QFormLayout;
    auto* field = new QLineEdit(&page);
    form->addRow("field", field);
    auto* column = new QVBoxLayout;
    auto* top = new QPushButton("top", &page);
    auto* row = new QHBoxLayout;
    auto* deep = new QPushButton("deep", &page);
    column->addWidget(top);
    column->addLayout(row);
    row->addWidget(deep);
    for (int item : c.order) {
      if (item == 0) outer->addWidget(label);
      if (item == 1) outer->addLayout(form);
      if (item == 2) outer->addLayout(column);
    }
    EXPECT_EQ(BoxHolding(top), column);
    EXPECT_EQ(BoxHolding(deep), row);
    EXPECT_EQ(BoxHolding(label), outer);
    EXPECT_EQ(BoxHolding(field), nullptr) << "a form's row is no box";
  }
  QWidget bare;
  QPushButton loose("loose", &bare);
  EXPECT_EQ(BoxHolding(&loose), nullptr) << "a parent without a layout";
  EXPECT_EQ(BoxHolding(&bare), nullptr) << "no parent";
}

TEST_F(MainCommandsTest, EveryCommandButtonStandsAfterTheButtonItFollows) {
  const QBoxLayout* jobs = BoxHolding(Form1->DLBtn);
  ASSERT_NE(jobs, nullptr);
  const QPushButton* column[] = {Form1->QMBtn,       Form1->DLBtn,       Form1->InfoBtn,
                                 Form1->ScheduleBtn, Form1->SettingsBtn, Form1->NewMirrorBtn,
                                 Form1->RobotsBtn,   Form1->ShowDropBtn, Form1->BrowseBtn,
                                 Form1->AboutBtn};
  for (int i = 0; i < 10; ++i) EXPECT_EQ(jobs->indexOf(column[i]), i) << i;
  const QBoxLayout* filters = BoxHolding(Form1->Button5);
  ASSERT_NE(filters, nullptr);
  EXPECT_EQ(filters->indexOf(Form1->ContentTypeBtn), filters->indexOf(Form1->Button5) + 1);
}

TEST_F(MainCommandsTest, AllOnceDeletesTenDownloadedURLsWithOneQuestion) {
  std::vector<std::string> urls;
  for (int i = 0; i < 10; ++i) urls.push_back("http://h/d" + std::to_string(i) + "/p.htm");
  for (const auto& u : urls) Downloaded(u);
  std::vector<std::string> bodies;
  for (const auto& u : urls) bodies.push_back(Body(u));
  Show();
  Form1->SingURLs->selectAll();
  Prompter.Answers = {TMsgAnswer::All};
  Form1->DeleteSelectedURLs(false);
  EXPECT_EQ(Asked(), std::vector<std::string>{kAsk + urls[0]});
  EXPECT_TRUE(Lines().empty());
  EXPECT_EQ(GlobalURLList->Count(), 0);
  for (const auto& b : bodies) EXPECT_FALSE(fs::exists(b)) << b;
  EXPECT_EQ(Status(), "Done");
  EXPECT_EQ(Form1->NumURLsEd->text(), "0");
}

TEST_F(MainCommandsTest, NoKeepsLineRecordAndFileCancelStopsWithoutDone) {
  Downloaded("http://h/a.htm");
  Downloaded("http://h/b/b.htm");
  Downloaded("http://h/c/c.htm");
  Downloaded("http://h/d/d.htm");
  const std::string b = Body("http://h/b/b.htm");
  const std::string d = Body("http://h/d/d.htm");
  Show();
  Form1->SingURLs->selectAll();
  Prompter.Answers = {TMsgAnswer::Yes, TMsgAnswer::No, TMsgAnswer::Yes, TMsgAnswer::Cancel};
  Form1->DeleteSelectedURLs(false);
  EXPECT_EQ(Asked().size(), 4u);
  // a and c went; b was declined; the box for d was cancelled.
  EXPECT_EQ(Lines(), (std::vector<std::string>{"http://h/b/b.htm", "http://h/d/d.htm"}));
  EXPECT_NE(Record("http://h/b/b.htm"), nullptr);
  EXPECT_NE(Record("http://h/d/d.htm"), nullptr);
  EXPECT_EQ(Record("http://h/a.htm"), nullptr);
  EXPECT_TRUE(fs::exists(b));
  EXPECT_TRUE(fs::exists(d));
  EXPECT_NE(Status(), "Done");
}

TEST_F(MainCommandsTest, DelFilesMarksNeverDownloadedURLsDeletedWithoutAsking) {
  List("http://h/new.htm", usNew);
  List("http://h/failed.htm", usFailed);
  Show();
  Select({0, 1});
  Form1->URLPopupShow();
  EXPECT_EQ(Form1->URLDelFilesItem->text(), "Del. files only");
  Form1->URLDelFilesClick();
  EXPECT_TRUE(Prompter.Prompts.empty());
  EXPECT_EQ(Record("http://h/new.htm")->Status, usDeleted);
  EXPECT_EQ(Record("http://h/failed.htm")->Status, usDeleted);
  EXPECT_EQ(Lines().size(), 2u);
  EXPECT_TRUE(Form1->Modified());
  EXPECT_EQ(Status(), "Done");

  Form1->SingURLs->SetItemIndex(0);
  Form1->URLPopupShow();
  EXPECT_EQ(Form1->URLDelFilesItem->text(), "Del. file only");
  // The line after the last one marked becomes the only one selected; past
  // the end, the last line.
  List("http://h/third.htm", usNew);
  Show();
  struct {
    int Marked;
    int Shown;
  } const steps[] = {{0, 1}, {2, 2}};
  for (const auto& st : steps) {
    Form1->SingURLs->SetItemIndex(st.Marked);
    Form1->URLDelFilesClick();
    EXPECT_EQ(Form1->SingURLs->ItemIndex(), st.Shown) << st.Marked;
    EXPECT_EQ(Form1->SingURLs->GetSelStrings().size(), 1u) << st.Marked;
  }
}

// The URL list's own keys are its pop-up's commands: Ctrl+C and Ctrl+Insert
// copy every selected line, each ended by CR LF; Delete is "&Delete", with
// its question for a downloaded URL.
TEST_F(MainCommandsTest, TheURLListsKeysAreItsPopUpsCommands) {
  List("http://h/1.htm");
  List("http://h/2.htm");
  List("http://h/3.htm");
  Downloaded("http://h/4.htm");
  struct {
    Qt::Key Key;
    Qt::KeyboardModifiers Mods;
  } const copyKeys[] = {{Qt::Key_C, Qt::ControlModifier}, {Qt::Key_Insert, Qt::ControlModifier}};
  for (const auto& k : copyKeys) {
    SCOPED_TRACE(k.Key);
    Show();
    Form1->SingURLs->SetItemIndex(2);
    Select({0, 2});
    QApplication::clipboard()->setText("before");
    QKeyEvent press(QEvent::KeyPress, k.Key, k.Mods);
    QApplication::sendEvent(Form1->SingURLs, &press);
    EXPECT_EQ(QApplication::clipboard()->text(), "http://h/1.htm\r\nhttp://h/3.htm\r\n");
  }

  Show();
  Select({0, 2});
  QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
  QApplication::sendEvent(Form1->SingURLs, &del);
  EXPECT_TRUE(Asked().empty());
  EXPECT_EQ(Lines(), (std::vector<std::string>{"http://h/2.htm", "http://h/4.htm"}));
  EXPECT_EQ(Record("http://h/1.htm"), nullptr);
  EXPECT_TRUE(Form1->Modified());

  Show();
  Select({1});
  Prompter.Answers = {TMsgAnswer::No};
  QApplication::sendEvent(Form1->SingURLs, &del);
  EXPECT_EQ(Asked(), std::vector<std::string>{kAsk + std::string("http://h/4.htm")});
  EXPECT_EQ(Lines().size(), 2u);
}

TEST_F(MainCommandsTest, ABodyThatCannotBeDeletedKeepsItsRecord) {
  // A body that is a link is never deleted; a read-only folder keeps its
  // files (except for root, who writes anywhere).
  const bool root = ::geteuid() == 0;
  Downloaded("http://h/ro/p.htm");
  const fs::path folder = fs::path(Body("http://h/ro/p.htm")).parent_path();
  ::chmod(folder.c_str(), 0555);
  List("http://h/ln/p.htm", usDownloaded);
  const fs::path link = fs::path(Root()) / "http/h/ln/p.htm/Data.htm";
  fs::create_directories(link.parent_path());
  std::ofstream(Home.Dir / "elsewhere.htm") << "x";
  fs::create_symlink(Home.Dir / "elsewhere.htm", link);
  Show();
  Form1->SingURLs->selectAll();
  Prompter.Answers = {TMsgAnswer::All};
  Form1->DeleteSelectedURLs(false);
  ::chmod(folder.c_str(), 0755);
  EXPECT_TRUE(fs::is_symlink(link));
  ASSERT_NE(Record("http://h/ln/p.htm"), nullptr);
  EXPECT_EQ(Record("http://h/ln/p.htm")->Status, usDownloaded);
  EXPECT_GE(Form1->SingURLs->IndexOf("http://h/ln/p.htm"), 0);
  if (!root) {
    ASSERT_NE(Record("http://h/ro/p.htm"), nullptr);
    EXPECT_TRUE(fs::exists(Body("http://h/ro/p.htm")));
    EXPECT_GE(Form1->SingURLs->IndexOf("http://h/ro/p.htm"), 0);
  }
}

TEST_F(MainCommandsTest, AParentLosesItsOwnFilesAndKeepsTheChildsFolder) {
  Downloaded("http://h/d/");
  Downloaded("http://h/d/sub/");
  const std::string parent = Body("http://h/d/");
  const std::string child = Body("http://h/d/sub/");
  ASSERT_EQ(fs::path(child).parent_path().parent_path(), fs::path(parent).parent_path());
  Show();
  Select({Form1->SingURLs->IndexOf("http://h/d/")});
  Prompter.Answers = {TMsgAnswer::Yes};
  Form1->DeleteSelectedURLs(false);
  EXPECT_FALSE(fs::exists(parent));
  EXPECT_TRUE(fs::exists(child));
  EXPECT_EQ(Record("http://h/d/"), nullptr);
  EXPECT_EQ(Lines(), std::vector<std::string>{"http://h/d/sub/"});
}

TEST_F(MainCommandsTest, WithoutAMirrorFolderNothingIsDeletedAndTheRecordStays) {
  Downloaded("http://h/x.htm");
  Show();
  Form1->SingURLs->selectAll();
  Form1->Session().SetLocalWebDir("");
  const fs::path here = fs::current_path();
  std::ofstream(here / "sentinel.txt") << "x";
  Prompter.Answers = {TMsgAnswer::Yes};
  Form1->DeleteSelectedURLs(false);
  EXPECT_TRUE(fs::exists(here / "sentinel.txt"));
  fs::remove(here / "sentinel.txt");
  EXPECT_NE(Record("http://h/x.htm"), nullptr);
  EXPECT_EQ(Lines().size(), 1u);
}

// A prompter whose question lets other work change the list, as the box's
// own event loop does while worker threads run.
class TBusyPrompter : public TScriptedPrompter {
 public:
  std::function<void()> During;
  TMsgAnswer Ask(const std::string& text, TMsgKind k, TMsgButtons b) override {
    if (During) During();
    return TScriptedPrompter::Ask(text, k, b);
  }
};

TEST_F(MainCommandsTest, TheRecordIsLookedUpAgainAfterTheQuestion) {
  Downloaded("http://h/m.htm");
  Downloaded("http://h/z.htm");
  Show();
  Select({Form1->SingURLs->IndexOf("http://h/m.htm")});
  TBusyPrompter busy;
  busy.Answers = {TMsgAnswer::Yes};
  // Records that sort before it move it to another index; the other one
  // goes away.
  busy.During = [] {
    for (int i = 0; i < 5; ++i) List("http://a" + std::to_string(i) + "/", 10);
    std::lock_guard<TCriticalSection> hold(*URLListLock);
    GlobalURLList->DeleteItem(GlobalURLList->IndexOfURL("http://h/z.htm"));
  };
  Form1->SetPrompter(&busy);
  Form1->DeleteSelectedURLs(false);
  Form1->SetPrompter(&Prompter);
  EXPECT_EQ(Record("http://h/m.htm"), nullptr);
  EXPECT_EQ(GlobalURLList->Count(), 5);
  for (int i = 0; i < 5; ++i) EXPECT_NE(Record("http://a" + std::to_string(i) + "/"), nullptr);
}

TEST_F(MainCommandsTest, DetailsInABoxBelow400CharactersAndAnEscapedPageFrom400) {
  List("http://h/a.htm");
  Show();
  Form1->SingURLs->SetItemIndex(-1);
  Form1->DetailsBtnClick();
  EXPECT_EQ(Messages(), std::vector<std::string>{"No item selected"});

  Prompter.Prompts.clear();
  Form1->SingURLs->SetItemIndex(0);
  Form1->DetailsBtnClick();
  EXPECT_EQ(Messages(), std::vector<std::string>{"Information not available"});

  const std::string page = ProgramFolder() + "/Message.htm";
  const std::string short399 = std::string(392, 'x') + "<b>&</b";
  ASSERT_EQ(short399.size(), 399u);
  Record("http://h/a.htm")->Details = short399;
  Prompter.Prompts.clear();
  Form1->DetailsBtnClick();
  EXPECT_EQ(Messages(), std::vector<std::string>{short399});
  EXPECT_TRUE(Shell.Targets.empty());

  const std::string long400 = "<script>alert(1)</script>\"&" + std::string(373, 'y');
  ASSERT_EQ(long400.size(), 400u);
  Record("http://h/a.htm")->Details = long400;
  Prompter.Prompts.clear();
  Form1->DetailsBtnClick();
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(Shell.Targets, std::vector<std::string>{page});
  const std::string written = ReadFileString(page);
  EXPECT_EQ(written.find("<script>"), std::string::npos);
  EXPECT_NE(written.find("<pre>&lt;script&gt;alert(1)&lt;/script&gt;"), std::string::npos);

  struct {
    int Result;
    std::string Message;
  } const failures[] = {
      {ShellNoAssociation,
       "There is no application associated with this type of file:-\n\n" + page},
      {ShellFileNotFound, "Error opening file:-\n\n" + page},
  };
  for (const auto& f : failures) {
    Shell.Result = f.Result;
    Prompter.Prompts.clear();
    Form1->DetailsBtnClick();
    EXPECT_EQ(Messages(), std::vector<std::string>{f.Message});
  }
}

TEST_F(MainCommandsTest, RunningJobsBlockTheDeletionsTheyClashWith) {
  Downloaded("http://h/a.htm");
  List("http://h/b.htm");
  Form1->Grid1->AddRow("http://root/");
  Show();
  Form1->SingURLs->selectAll();
  Form1->Grid1->selectAll();

  DownloadFrm->Visible = true;  // a download job runs
  DownloadFrm->JobKind = 0;
  Prompter.Answers = {TMsgAnswer::No, TMsgAnswer::No};
  Form1->URLDeleteClick();
  Form1->URLDelFilesClick();
  EXPECT_EQ(Asked(), (std::vector<std::string>{kStopJobQuestion, kStopJobQuestion}));
  EXPECT_EQ(Lines().size(), 2u);
  EXPECT_EQ(Record("http://h/b.htm")->Status, usNew);
  EXPECT_TRUE(fs::exists(Body("http://h/a.htm")));
  // A download job leaves the root grid alone.
  Form1->RootDeleteClick();
  EXPECT_EQ(Form1->Grid1->Count(), 0);

  Form1->Grid1->AddRow("http://root/");
  Form1->Grid1->selectAll();
  DownloadFrm->JobKind = 1;  // an extraction
  Prompter.Prompts.clear();
  Prompter.Answers = {TMsgAnswer::No};
  Form1->RootDeleteClick();
  EXPECT_EQ(Asked(), std::vector<std::string>{kStopJobQuestion});
  EXPECT_EQ(Form1->Grid1->Count(), 1);
  DownloadFrm->Visible = false;
}

TEST_F(MainCommandsTest, ListChangesWaitForAPassOverTheList) {
  Downloaded("http://h/a.htm");
  Form1->Grid1->AddRow("http://root/");
  Show();
  Form1->SingURLs->selectAll();
  Form1->Grid1->selectAll();
  NonModalMsg->Busy = true;
  Prompter.Answers = {TMsgAnswer::All};
  Form1->DeleteSelectedURLs(false);
  Form1->URLDelFilesClick();
  Form1->RootDeleteClick();
  Form1->NewMirrorBtnClick();
  NonModalMsg->Busy = false;
  EXPECT_TRUE(Prompter.Prompts.empty());
  EXPECT_EQ(Lines().size(), 1u);
  EXPECT_EQ(Record("http://h/a.htm")->Status, usDownloaded);
  EXPECT_EQ(Form1->Grid1->Count(), 1);
}

// The pass after a job names each page in the message window, its URL cut
// in the middle to the window's width.
TEST_F(MainCommandsTest, JobCommandsReportWhatTheyRaiseAndTheProgramGoesOn) {
  struct {
    std::function<void()> Raise;
    std::vector<std::string> Shown;
  } const cases[] = {
      {[] { throw std::bad_alloc(); }, {std::bad_alloc().what(), ErrorAdviceText}},
      {[] {
         throw std::system_error(std::make_error_code(std::errc::too_many_files_open), "open");
       },
       {std::system_error(std::make_error_code(std::errc::too_many_files_open), "open").what(),
        ErrorAdviceText}},
      {[] { throw std::system_error(std::make_error_code(std::errc::permission_denied), "open"); },
       {std::system_error(std::make_error_code(std::errc::permission_denied), "open").what()}},
      {[] { throw std::runtime_error("disk on fire"); }, {"disk on fire"}},
      {[] { throw 42; }, {"Unknown error"}},
  };
  for (const auto& c : cases) {
    Prompter.Prompts.clear();
    Form1->DownloadJob = [&c](bool) -> bool {
      c.Raise();
      return true;
    };
    Form1->DLBtnClick();
    EXPECT_EQ(Messages(), c.Shown);
    Prompter.Prompts.clear();
    Form1->ExtractJob = [&c]() -> bool {
      c.Raise();
      return true;
    };
    Form1->QMBtnClick();
    EXPECT_EQ(Messages(), c.Shown);
  }
  // A job that ran saves the modified project and rebuilds the view.
  List("http://h/after.htm");
  const std::string project = Home.Dir / "p.mpj";
  Form1->Session().SaveMirrorProject(project);
  Form1->SetModified();
  bool infoOnly = false;
  Form1->DownloadJob = [&](bool info) {
    infoOnly = info;
    return true;
  };
  Form1->InfoBtnClick();
  EXPECT_TRUE(infoOnly);
  EXPECT_FALSE(Form1->Modified());
  EXPECT_EQ(Lines(), std::vector<std::string>{"http://h/after.htm"});
}

// An exploring worker that finds one page below each item it takes, as the
// spider threads report their finds.
class TFindingThread : public TVkThread {
 public:
  TFindingThread(TVkThreadList* list, TJobContext& context, TDLList* queue)
      : TVkThread(list, context) {
    Queue = queue;
    Kind = kSpider;
  }
  ~TFindingThread() override { WaitFor(); }

 protected:
  void Execute() override {
    while (!AbortFlag && PickNextLocked(false))
      Context().Adder->AddFoundURL(1, Current.URL + "found.html", Current.URL + "found.html",
                                   Current.URL, 1, "Found", "", -1);
  }
};

TEST_F(MainCommandsTest, WhatAJobFindsReachesTheWindowAndTheSavedProject) {
  const std::string project = Home.Dir / "found.mpj";
  Form1->Grid1->AddRow("http://h/");
  Form1->Session().SaveMirrorProject(project);
  ASSERT_FALSE(Form1->Modified());
  DownloadFrm->ThreadFactory = [](uint8_t, TVkThreadList& threads, TJobContext& context, bool,
                                  TDLList& queue) -> std::unique_ptr<TVkThread> {
    return std::make_unique<TFindingThread>(&threads, context, &queue);
  };
  Form1->QMBtnClick();
  EXPECT_TRUE(Prompter.Prompts.empty());
  EXPECT_NE(Form1->SingURLs->IndexOf("http://h/found.html"), -1);
  // The find marked the project modified, so the command saved it.
  EXPECT_FALSE(Form1->Modified());
  EXPECT_NE(ReadFileString(project).find("http://h/found.html"), std::string::npos);
}

// The worker threads' watchdogs tick on the program's own event loop, armed
// from a worker: without the ticks no time-out comes, and a host that never
// answers holds its thread for good.
TEST_F(MainCommandsTest, AWorkersWatchdogTicksOnTheProgramsEventLoop) {
  TVkThreadTimer watchdog(nullptr, nullptr, nullptr);
  std::thread([&] { Arm(watchdog, 2); }).join();
  watchdog.SetInterval(20);
  EXPECT_TRUE(QTest::qWaitFor([&] { return watchdog.Count.load() <= 0; }, 5000))
      << "the count stayed at " << watchdog.Count.load();
  watchdog.SetEnabled(false);
}

// A worker that settles each item it takes by its address: "ok" stores,
// "bad" fails (again on its retries), "skip" is skipped by the user.
class TSettlingThread : public TVkThread {
 public:
  TSettlingThread(TVkThreadList* list, TJobContext& context, TDLList* queue, uint8_t kind)
      : TVkThread(list, context) {
    Queue = queue;
    Kind = kind;
  }
  ~TSettlingThread() override { WaitFor(); }

 protected:
  void Execute() override {
    while (!AbortFlag && PickNextLocked(false)) {
      SkipFlag = Current.URL.find("skip") != std::string::npos;
      Result = Current.URL.find("ok") != std::string::npos ? vrSucceeded : vrFailed;
      LogResult(Current.URL, 0, "", "");
      if (Result != vrSucceeded && !SkipFlag && Current.RetriesLeft > 0) {
        --Current.RetriesLeft;
        PutToRetry(Current);
      }
    }
  }
};

// However a job was started, the status bar says when it has ended, what it
// did and where its failures are listed; the list's rebuild after the job
// does not wipe that out.
TEST_F(MainCommandsTest, TheStatusBarSaysWhatTheJobThatEndedDid) {
  const std::string hint = " See them: Filters, \"Failed files\" = \"Only\".";
  DownloadFrm->ThreadFactory = [](uint8_t kind, TVkThreadList& threads, TJobContext& context, bool,
                                  TDLList& queue) -> std::unique_ptr<TVkThread> {
    return std::make_unique<TSettlingThread>(&threads, context, &queue, kind);
  };
  const std::pair<const char*, std::function<void()>> entries[] = {
      {"Download files", [] { Form1->DLBtnClick(); }},
      {"Info. only", [] { Form1->InfoBtnClick(); }},
      {"a scheduled download", [] { ScheduleJobs->DownloadJob(); }},
  };
  const char* expected[] = {
      "Download finished: 2 stored, 1 failed, 1 skipped.",
      "Info. only finished: 2 checked, 1 failed, 1 skipped.",
      "Download finished: 2 stored, 1 failed, 1 skipped.",
  };
  Form1->Session().SaveMirrorProject(Home.Dir / "report.mpj");
  for (size_t i = 0; i < std::size(entries); ++i) {
    SCOPED_TRACE(entries[i].first);
    {
      std::lock_guard<TCriticalSection> hold(*URLListLock);
      GlobalURLList->ClearItems();
    }
    for (const char* u :
         {"http://h/ok1.htm", "http://h/ok2.htm", "http://h/bad.htm", "http://h/skip.htm"})
      List(u);
    Form1->SetStatusText("");
    entries[i].second();
    for (const auto& p : Prompter.Prompts) ADD_FAILURE() << p.Text;
    Prompter.Prompts.clear();
    EXPECT_EQ(Status(), expected[i] + hint);
  }
  // The quick mirror reports the root it read.
  Form1->Grid1->AddRow("http://h/ok-root/");
  Form1->QMBtnClick();
  EXPECT_EQ(Status(), "Quick mirror finished: 1 stored, 0 failed, 0 skipped.");
  // The longest account there is, of a large job, fits the status bar of the
  // window at its first size.
  DownloadFrm->LastJob = {true, 0, true, true, 123456, 12345, 12345, 123456};
  Form1->show();
  test::Pump();
  const QString longest = QString::fromStdString(DownloadFrm->JobEndText());
  EXPECT_LE(Form1->StatusBar1->fontMetrics().horizontalAdvance(longest), Form1->StatusBar1->width())
      << longest.toStdString();
}

// The localising pass a job ends with: the page's URL is cut to the
// message window's width, and a page that cannot be rewritten (the disk is
// full) is named in the status bar while the other page is localised.
// What the workers posted last is taken in when a job ends, whichever way it
// was started: the schedule saves a project only when it changed, and it
// asks as soon as the job returns.
TEST_F(MainCommandsTest, EveryWayOfRunningAJobTakesInTheWorkersLastPosts) {
  ASSERT_NE(ScheduleJobs, nullptr);
  const std::string project = Home.Dir / "p.mpj";
  const std::pair<const char*, std::function<void()>> entries[] = {
      {"download command", [] { Form1->DownloadJob(false); }},
      {"quick mirror command", [] { Form1->ExtractJob(); }},
      {"scheduled download", [] { ScheduleJobs->DownloadJob(); }},
      {"scheduled quick mirror", [] { ScheduleJobs->QuickMirrorJob(); }},
  };
  for (const auto& [name, run] : entries) {
    SCOPED_TRACE(name);
    Form1->Session().SaveMirrorProject(project);
    ASSERT_FALSE(Form1->Modified());
    Form1->Outbox().SetModified();  // a worker's last result
    run();
    EXPECT_TRUE(Form1->Modified());
  }
}

TEST_F(MainCommandsTest, LocalisingFitsEachPagesURLAndNamesAFailedPage) {
  const std::string full = "http://h/" + std::string(150, 'x') + "/full.htm";
  const std::string fine = "http://h/fine.htm";
  std::string big = "<a href=\"other.htm\">o</a>\n";
  while (big.size() < 64 * 1024) big += "<p>filler</p>\n";
  StoredPage(full, big);
  StoredPage(fine, "<a href=\"other.htm\">o</a>");
  ASSERT_TRUE(DownloadFrm->Localise);
  // A worker's last text, not yet taken in when the job ends.
  Form1->Outbox().AddStatusText("Done");
  {
    test::TFileSizeLimit limit(32 * 1024);
    DownloadFrm->Localise(Root());
  }
  Form1->DrainOutbox();  // as the job's end does
  EXPECT_FALSE(NonModalMsg->isVisible());
  EXPECT_EQ(test::ReadBytes(Body(fine)), "<a href=\"http://h/other.htm\">o</a>");
  EXPECT_EQ(test::ReadBytes(Body(full)), big);
  EXPECT_EQ(Status().rfind("Localising references: 1 file could not be rewritten (Error writing "
                           "file:- ",
                           0),
            0u)
      << Status();
  // The first page's announcement, its URL's middle cut to the window's width.
  const QString shown = NonModalMsg->Label1->text();
  const QString page = shown.section('\n', -1);
  EXPECT_TRUE(shown.startsWith("References are being localised")) << shown.toStdString();
  EXPECT_TRUE(page.startsWith("http://h/")) << page.toStdString();
  EXPECT_TRUE(page.contains(">><<")) << page.toStdString();
  EXPECT_TRUE(page.endsWith("/full.htm")) << page.toStdString();
  EXPECT_LE(NonModalMsg->Label1->fontMetrics().horizontalAdvance(page),
            NonModalMsg->Label1->contentsRect().width());
  EXPECT_FALSE(NonModalMsg->Busy);
}

TEST_F(MainCommandsTest, OpenStopsAtTheFirstDeclinedURL) {
  Downloaded("http://h/one.htm");
  ASSERT_TRUE(SaveLocalCopy(Root(), "Data", "http://h/two.exe", "MZ", ".exe"));
  List("http://h/two.exe", usDownloaded);
  Downloaded("http://h/zthree.htm");
  Show();
  Form1->SingURLs->selectAll();
  Prompter.Answers = {TMsgAnswer::No};  // the question before running a program
  Form1->URLOpenClick();
  EXPECT_EQ(Shell.Targets, std::vector<std::string>{Body("http://h/one.htm")});
  EXPECT_EQ(Asked().size(), 1u);
}

TEST_F(MainCommandsTest, DoubleClickOnTheParentURLOpensIt) {
  Downloaded("http://h/parent.htm");
  Form1->ParentURLEd->setText("http://h/parent.htm");
  QMouseEvent dbl(QEvent::MouseButtonDblClick, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton,
                  Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(Form1->ParentURLEd, &dbl);
  EXPECT_EQ(Shell.Targets, std::vector<std::string>{Body("http://h/parent.htm")});
  Form1->ParentURLEd->clear();
  QApplication::sendEvent(Form1->ParentURLEd, &dbl);
  EXPECT_EQ(Shell.Targets.size(), 1u);
}

TEST_F(MainCommandsTest, PasswordsPageLoadsAndStoresTheGrid) {
  RegWriteString(RegPassWords, "http://a/\nuser\npw\n");
  Form1->PageControl1->setCurrentWidget(Form1->PasswordsPage);
  EXPECT_NE(Form1->PWGrid->GetText().find("user"), std::string::npos);
  Form1->PWGrid->SetText("http://b/\nu2\np2\n");
  Form1->PageControl1->setCurrentWidget(Form1->RetrievePage);
  EXPECT_EQ(RegReadString(RegPassWords), Form1->PWGrid->GetText());
  EXPECT_NE(RegReadString(RegPassWords).find("u2"), std::string::npos);

  // The Delete key takes the selected rows.
  Form1->PageControl1->setCurrentWidget(Form1->PasswordsPage);
  Form1->PWGrid->SetCurrent(0, 1);
  QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
  QApplication::sendEvent(Form1->PWGrid, &del);
  EXPECT_EQ(Form1->PWGrid->GetText().find("u2"), std::string::npos);
}

// What the Passwords page shows: the URL and the user ID in clear, the
// password as one "*" a character, and as it is typed.
TEST_F(MainCommandsTest, PasswordsPageMasksThePasswordColumnOnly) {
  RegWriteString(RegPassWords, "http://a/\nme\nabc\n");
  Form1->show();
  Form1->PageControl1->setCurrentWidget(Form1->PasswordsPage);
  TPassWordGrid* grid = Form1->PWGrid;
  struct {
    int Col;
    QString Shown;
    QLineEdit::EchoMode Typed;
  } cases[] = {
      {0, "http://a/", QLineEdit::Normal},
      {1, "me", QLineEdit::Normal},
      {2, "***", QLineEdit::Password},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Col);
    const QModelIndex cell = grid->model()->index(0, c.Col);
    EXPECT_EQ(cell.data(Qt::DisplayRole).toString(), c.Shown);
    grid->setCurrentIndex(cell);
    grid->edit(cell);
    auto* editor = grid->viewport()->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->echoMode(), c.Typed);
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(editor, &escape);
    test::Pump();
  }
  EXPECT_EQ(grid->Cells(2, 1), "abc") << "only the screen masks it";
}

}  // namespace
}  // namespace qv
