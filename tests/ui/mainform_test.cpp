#include "ui/mainform.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDrag>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include "engine/downloadform.h"
#include "engine/scheduledialog.h"
#include "model/dropbytes.h"
#include "model/leregistry.h"
#include "model/projectfile.h"
#include "model/settings.h"
#include "model/vkconfig.h"
#include "model/vkglobal.h"
#include "model/vkurllist.h"
#include "platform/dialup.h"
#include "platform/store.h"
#include "support/envscope.h"
#include "support/filesizelimit.h"
#include "support/scratchdir.h"
#include "ui/appwindows.h"
#include "ui/autopastemodule.h"
#include "ui/controls/filtergrid.h"
#include "ui/controls/passwordgrid.h"
#include "ui/controls/stringatrgrid.h"
#include "ui/controls/uosource.h"
#include "ui/controls/urllistbox.h"
#include "ui/downloadwindow.h"
#include "ui/dropdialog.h"
#include "ui/filecopydialog.h"
#include "ui/helpwindow.h"
#include "ui/nonmodalmessage.h"
#include "ui/qtprompter.h"
#include "ui/settingsdialog.h"
#include "ui/startup.h"
#include "uitest.h"

namespace qv {
namespace {

namespace fs = std::filesystem;
using test::ReadBytes;

// A fresh user with the program folder's shipped files, the settings store
// made and seeded as start-up makes it, and every window of the program.
class MainFormTest : public test::UiTest {
 protected:
  MainFormTest() {
    SeedProgramFolder(std::string(QV_SOURCE_DIR) + "/share", Home.Dir / "prog");
    SetRegistryKey(ProgramRegistryKey);
    TValueFile(StoreFileForKey(ProgramRegistryKey)).Create();
    SeedSettingsStore();
    SetAppPrompter(&Prompter);
    HelpRequests = [this](int c) { Help.push_back(c); };
    SetProgramArguments({});
    CreateAppWindows([this](const std::string& n) { Created.push_back(n); },
                     std::make_unique<TNoDialUp>());
    Form1->SetPrompter(&Prompter);
    DownloadWindow->SetPrompter(&Prompter);
  }
  ~MainFormTest() override {
    FreeAppWindows();
    HelpRequests = nullptr;
    SetAppPrompter(nullptr);
    SetProgramArguments({});
  }

  // A copy of the first-run project under another name.
  std::string ProjectCopy(const std::string& relative) {
    const std::string p = Home.Dir / relative;
    fs::create_directories(fs::path(p).parent_path());
    fs::copy_file(Home.Dir / "prog/MirrorProjects/Example1.mpj", p);
    return p;
  }

  void Start(std::vector<std::string> args) {
    SetProgramArguments(std::move(args));
    Form1->show();
    Form1->FormPaint();
  }

  test::TScratchHome Home;
  TScriptedPrompter Prompter;
  std::vector<int> Help;
  std::vector<std::string> Created;
};

TEST_F(MainFormTest, WindowsComeIntoBeingInTheStartUpOrder) {
  const std::vector<std::string> order = {
      "TDropDlg",     "TSettingsDlg", "TDialUpDlg",     "TImageFrm",    "TAboutBox",
      "TNonModalMsg", "TRobotsDlg",   "TMimeFilterDlg", "TScheduleDlg", "TDownloadFrm",
      "TForm1",       "TFileCopyDlg", "TNewsDlg",       "TAutoPasteMod"};
  EXPECT_EQ(Created, order);
  EXPECT_EQ(FileCopyDlg->parent(), Form1);
  EXPECT_EQ(Form1->FileSignature, "Quendravilos Ver. 1.0: URLs file");
  EXPECT_TRUE(Form1->SingURLs->MultiSelect());
  EXPECT_TRUE(Form1->DLIEBtn->isHidden());
  EXPECT_TRUE(Form1->DLIELabel->isHidden());
}

TEST_F(MainFormTest, TheCommandLineNamesTheProjectAndBrowse) {
  const std::string p = ProjectCopy("projects/p.mpj");
  int browses = 0;
  Form1->BrowseForURLs = [&] { ++browses; };
  Start({"/b", p});
  EXPECT_EQ(Form1->ProjectFileName(), p);
  EXPECT_EQ(Form1->windowTitle(), "Mirror Project:  p.mpj");
  EXPECT_EQ(browses, 0);
  EXPECT_TRUE(Form1->FirstShowDone);
  EXPECT_EQ(Form1->PageControl1->currentWidget(), Form1->RetrievePage);
}

TEST_F(MainFormTest, BrowseLoadsTheStoredProjectThenBrowses) {
  std::string loadedWhenBrowsing;
  Form1->BrowseForURLs = [&] { loadedWhenBrowsing = Form1->ProjectFileName(); };
  Start({"/B"});
  EXPECT_EQ(loadedWhenBrowsing, Home.Dir / "prog/MirrorProjects/Example1.mpj");
  EXPECT_FALSE(Form1->Grid1->Rows().empty()) << "the first-run project has root URLs";
}

TEST_F(MainFormTest, ScheduleStartLoadsTheNamedProjectFirst) {
  const std::string p = ProjectCopy("projects/s.mpj");
  SetProgramArguments({"/S", p});
  Form1->show();
  std::string projectWhileScheduled;
  bool mainShownWhileScheduled = true;
  // The schedule's loop runs until its window is closed: once it runs, look,
  // then "Exit".
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (!ScheduleDlg->Showing()) return;
    poll.stop();
    projectWhileScheduled = Form1->ProjectFileName();
    mainShownWhileScheduled = Form1->isVisible();
    ScheduleDlg->Button3Click();
  });
  poll.start(10);
  DropDlg->FirstShow();
  EXPECT_EQ(projectWhileScheduled, p);
  EXPECT_FALSE(mainShownWhileScheduled) << "/S hides the main window";
  Form1->FormPaint();
  EXPECT_EQ(Form1->ProjectFileName(), p) << "the first painting does not load it again";
}

// The start-up help comes at an ordinary start, and not at the unattended
// one, where it would open over the schedule.
TEST_F(MainFormTest, StartUpHelpIsNotShownAtTheScheduleStart) {
  const std::string p = ProjectCopy("projects/s.mpj");
  struct {
    std::vector<std::string> Args;
    std::vector<int> Help;
  } const cases[] = {{{p}, {kStartHelp}}, {{"/S", p}, {}}, {{"/s", p}, {}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Args.front());
    FreeAppWindows();
    CreateAppWindows({}, std::make_unique<TNoDialUp>());
    Form1->SetPrompter(&Prompter);
    Help.clear();
    Start(c.Args);
    EXPECT_EQ(Help, c.Help);
  }
}

TEST_F(MainFormTest, AResizeBeforeTheFirstPaintingStartsNoTimer) {
  Form1->resize(700, 500);
  Form1->FormResize();
  EXPECT_FALSE(Form1->MinimizeTimer->isActive());
  Start({});
  Form1->FormResize();
  EXPECT_TRUE(Form1->MinimizeTimer->isActive());
  EXPECT_EQ(Form1->MinimizeCountdown, 20);
  for (int i = 0; i < 20; ++i) Form1->MinimizeTimerTimer();
  EXPECT_FALSE(Form1->MinimizeTimer->isActive());
}

TEST_F(MainFormTest, ControlHelpFindsTheNearestContext) {
  EXPECT_FALSE(Form1->ShowControlHelp(nullptr));
  EXPECT_TRUE(Help.empty());
  struct TCase {
    const char* Name;
    QWidget* Control;
    int Context;
  };
  const TCase cases[] = {
      {"a control on the Filters page", Form1->MinSizeEd, kFiltersPageHelp},
      {"a control on the Passwords page", Form1->PWGrid, kPasswordsPageHelp},
      {"a page's placeholder", Form1->RetrieveHDummy, kRetrievePageHelp},
      {"a control outside the pages", Form1->SingURLs, 20},
      {"the window itself", Form1, 20},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    Help.clear();
    EXPECT_TRUE(Form1->ShowControlHelp(c.Control));
    EXPECT_EQ(Help, std::vector<int>{c.Context});
  }
  Help.clear();
  Form1->HelpMouseDown(Form1->MaxSizeEd);
  Form1->HelpMenuClick();
  EXPECT_EQ(Help, std::vector<int>{kFiltersPageHelp});
  // The pointer coming over a filter box makes that box the one whose help
  // the menu shows; over other controls it changes nothing.
  Form1->HelpMouseDown(Form1->SingURLs);
  QEvent enter(QEvent::Enter);
  QApplication::sendEvent(Form1->NumURLsEd, &enter);
  EXPECT_EQ(Form1->HelpControl, Form1->SingURLs);
  QApplication::sendEvent(Form1->ImageLinksCombo, &enter);
  EXPECT_EQ(Form1->HelpControl, Form1->ImageLinksCombo);
  // So does opening a box's list from the keyboard; other keys do not.
  QKeyEvent typed(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a");
  QApplication::sendEvent(Form1->DelFilesCombo, &typed);
  EXPECT_EQ(Form1->HelpControl, Form1->ImageLinksCombo);
  QKeyEvent opens(QEvent::KeyPress, Qt::Key_Down, Qt::AltModifier);
  QApplication::sendEvent(Form1->DelFilesCombo, &opens);
  EXPECT_EQ(Form1->HelpControl, Form1->DelFilesCombo);
  Form1->DelFilesCombo->hidePopup();
}

// A right click on a control opens a pop-up whose "&Help", chosen with the
// mouse, shows the topic of that control or of its page. The press reaches
// the control's parents too, and the menu item is pressed as well: neither
// is the control the user asked about.
TEST_F(MainFormTest, HelpChosenWithTheMouseShowsTheTopicUnderThePointer) {
  Start({});
  struct TCase {
    const char* Name;
    QWidget* Page;
    QWidget* Control;
    int Context;
  };
  const TCase cases[] = {
      {"the Retrieve page itself", Form1->RetrievePage, Form1->RetrievePage, kRetrievePageHelp},
      {"a button on the Retrieve page", Form1->RetrievePage, Form1->QMBtn, kRetrievePageHelp},
      {"the root URL grid", Form1->RetrievePage, Form1->Grid1->viewport(), kRootGridHelp},
      {"a check box on the Filters page", Form1->FiltersPage, Form1->AutoUpChk, kFiltersPageHelp},
      {"the name grid", Form1->FiltersPage, Form1->FilGrid->viewport(), kFiltersPageHelp},
      {"a radio button on the Images page", Form1->ImagesPage, Form1->URLImageRBtn,
       kImagesPageHelp},
      {"the password grid", Form1->PasswordsPage, Form1->PWGrid->viewport(), kPasswordsPageHelp},
      {"the URL list", Form1->RetrievePage, Form1->SingURLs->viewport(), kMainFormHelp},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    Form1->PageControl1->setCurrentWidget(c.Page);
    test::Pump();
    Help.clear();
    test::RightClick(c.Control);
    ASSERT_TRUE(test::ClickPopupItem("&Help"));
    EXPECT_EQ(Help, std::vector<int>{c.Context});
  }
}

TEST_F(MainFormTest, RestoringAWindowOfTheProgramRestoresTheMainWindow) {
  Start({});
  DropDlg->show();
  Form1->showMinimized();
  DropDlg->showMinimized();
  ASSERT_TRUE(Form1->windowState() & Qt::WindowMinimized);
  DropDlg->showNormal();
  EXPECT_FALSE(Form1->windowState() & Qt::WindowMinimized);
}

TEST_F(MainFormTest, LeavingTheRetrievePageRenamesDragOutCopiesBack) {
  Start({});
  const std::string dragged = Home.Dir.Write("web/host/page.html/page.html", "<html>");
  const std::string missing = Home.Dir / "web/host/gone/gone.htm";
  Form1->DragTempFiles = {dragged, "", missing};
  Form1->DragOutCopies = {{Home.Dir / "web/host/page.html/Data.html", dragged},
                          {Home.Dir / "web/host/gone/Data.htm", missing}};
  Form1->PageControl1->setCurrentWidget(Form1->ImagesPage);
  EXPECT_TRUE(Form1->DragTempFiles.empty());
  EXPECT_TRUE(Form1->DragOutCopies.empty());
  EXPECT_FALSE(fs::exists(dragged));
  EXPECT_EQ(ReadBytes(Home.Dir / "web/host/page.html/Data.html"), "<html>");

  // Between other pages the copies keep their names.
  const std::string again = Home.Dir.Write("web/host/b.html/b.html", "b");
  Form1->DragTempFiles = {again};
  Form1->DragOutCopies = {{Home.Dir / "web/host/b.html/Data.html", again}};
  Form1->PageControl1->setCurrentWidget(Form1->FiltersPage);
  EXPECT_EQ(Form1->DragOutCopies.size(), 1u);
  EXPECT_TRUE(fs::exists(again));
}

// Adds a line of the main list to its selection.
void Select(int line) {
  Form1->SingURLs->selectionModel()->select(Form1->SingURLs->model()->index(line, 0),
                                            QItemSelectionModel::Select);
}

TEST_F(MainFormTest, DragOutStartsPastTenPixelsAndHandsOutStoredCopies) {
  Start({});
  Form1->Session().SetLocalWebDir(Home.Dir / "web");
  const std::string a = Home.Dir.Write("web/http/h/a.html/Data.html", "a");
  const std::string d = Home.Dir.Write("web/http/h/d/Data", "d");
  const int before = Form1->SingURLs->Count();
  const int last = Form1->AddURLsFromText("http://h/a.html\r\nhttp://h/none.html\r\nhttp://h/d/");
  ASSERT_GE(last, 0);
  EXPECT_EQ(GlobalURLList->GetItem(last)->URL, "http://h/d/");
  ASSERT_EQ(Form1->SingURLs->Count(), before + 3);
  Form1->SingURLs->clearSelection();
  for (int i = before; i < before + 3; ++i) Select(i);

  QByteArray files, text;
  int drags = 0;
  Form1->SingURLsSrc->DragRunner = [&](QDrag& drag, Qt::DropActions) {
    ++drags;
    files = drag.mimeData()->data("text/uri-list");
    text = drag.mimeData()->data("text/plain");
    return Qt::CopyAction;
  };
  Form1->DragStartX = 100;
  Form1->DragStartY = 50;
  Form1->StartDragOut(Form1->SingURLsSrc, 110, 40, Qt::RightButton);
  EXPECT_EQ(drags, 0);
  Form1->StartDragOut(Form1->SingURLsSrc, 111, 50, Qt::LeftButton);
  EXPECT_EQ(drags, 0);
  Form1->StartDragOut(Form1->SingURLsSrc, 111, 50, Qt::RightButton);
  EXPECT_EQ(drags, 1);
  EXPECT_EQ(Form1->DragStartX, -1);
  EXPECT_EQ(files.toStdString(), PathToFileURI(Home.Dir / "web/http/h/a.html/a.html") + "\r\n" +
                                     PathToFileURI(Home.Dir / "web/http/h/d/d") + "\r\n");
  // The text was rendered after the files: it renamed them back first, then
  // handed out the same names again.
  EXPECT_EQ(text.toStdString(), Home.Dir / "web/http/h/a.html/a.html\r\nhttp://h/none.html\r\n" +
                                    Home.Dir / "web/http/h/d/d\r\n");

  Form1->CancelHDrop();
  EXPECT_EQ(ReadBytes(a), "a");
  EXPECT_EQ(ReadBytes(d), "d");
  EXPECT_TRUE(Form1->DragTempFiles.empty());

  // Nothing stored among the selection: no files offered.
  Form1->SingURLs->clearSelection();
  Select(before + 1);
  Form1->DragStartX = 100;
  Form1->StartDragOut(Form1->SingURLsSrc, 100, 80, Qt::RightButton);
  EXPECT_EQ(drags, 2);
  EXPECT_TRUE(files.isEmpty());
  EXPECT_EQ(text.toStdString(), "http://h/none.html\r\n");
}

// X11 asks for the pop-up menu as the right button goes down, Windows as it
// comes up: either way a right-button drag-out can start, and a right click
// without a move opens the menu.
TEST_F(MainFormTest, ThePopUpMenuLeavesRoomForADragOut) {
  Start({});
  Form1->AddURLsFromText("http://h/menu.html");
  QWidget* vp = Form1->SingURLs->viewport();
  int drags = 0;
  Form1->SingURLsSrc->DragRunner = [&](QDrag&, Qt::DropActions) {
    ++drags;
    return Qt::IgnoreAction;
  };
  auto mouse = [&](QEvent::Type type, QPoint p, Qt::MouseButtons held) {
    QMouseEvent e(type, p, vp->mapToGlobal(p), Qt::RightButton, held, Qt::NoModifier);
    QApplication::sendEvent(vp, &e);
  };
  auto menu = [&](QPoint p) {
    QContextMenuEvent e(QContextMenuEvent::Mouse, p, vp->mapToGlobal(p));
    QApplication::sendEvent(vp, &e);
  };
  const QPoint at(20, 5), away(40, 5);
  struct {
    const char* Name;
    bool MenuAtPress;
    bool Move;
    int Drags;
    bool MenuShown;
  } cases[] = {
      {"menu at the press, then a drag", true, true, 1, false},
      {"menu at the press, a click", true, false, 0, true},
      {"menu at the release, a click", false, false, 0, true},
      {"menu at the release, a drag", false, true, 1, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    drags = 0;
    mouse(QEvent::MouseButtonPress, at, Qt::RightButton);
    if (c.MenuAtPress) menu(at);
    EXPECT_FALSE(Form1->URLPopup->isVisible());
    if (c.Move) mouse(QEvent::MouseMove, away, Qt::RightButton);
    mouse(QEvent::MouseButtonRelease, c.Move ? away : at, Qt::NoButton);
    // Where menus come at the release, one comes after a drag only if the
    // platform asks; it asks only for a click.
    if (!c.MenuAtPress && !c.Move) menu(at);
    EXPECT_EQ(drags, c.Drags);
    EXPECT_EQ(Form1->URLPopup->isVisible(), c.MenuShown);
    Form1->URLPopup->hide();
  }
}

TEST_F(MainFormTest, AutoPasteReadsAChangedClipboardOnce) {
  Start({});
  const int roots = Form1->Grid1->Count();
  const int lines = Form1->SingURLs->Count();
  int reads = 0, clears = 0;
  std::optional<std::string> clip = std::string("http://h/x.html");
  AutoPasteMod->ReadClipboard = [&] {
    ++reads;
    return clip;
  };
  AutoPasteMod->ClearClipboard = [&] { ++clears; };
  AutoPasteMod->OnPlayDropSound = nullptr;
  AutoPasteMod->Timer1Timer();
  EXPECT_EQ(reads, 0);  // nothing changed yet
  AutoPasteMod->ClipboardChanged();
  AutoPasteMod->Timer1Timer();
  AutoPasteMod->Timer1Timer();
  EXPECT_EQ(reads, 1);
  EXPECT_EQ(clears, 1);
  ASSERT_EQ(Form1->Grid1->Count(), roots + 1);
  EXPECT_EQ(Form1->Grid1->Rows().back().Text, "http://h/x.html");
  Form1->SingURLs->setFocus();
  QApplication::clipboard()->setText("ftp://h/f\nnot one");
  Form1->PasteURLsToList();
  EXPECT_EQ(Form1->SingURLs->Count(), lines + 1);
  // The list's paste keys take the clipboard's URL lines the same way; text
  // from another program keeps its characters beyond Latin-1.
  struct {
    Qt::Key Key;
    Qt::KeyboardModifiers Mods;
    QString Clip;
    std::string Added;
  } keys[] = {
      {Qt::Key_Insert, Qt::ShiftModifier, "http://h/shift-insert", "http://h/shift-insert"},
      {Qt::Key_V, Qt::ControlModifier, QString::fromUtf8("http://h/\xE2\x82\xAC"),
       "http://h/\xE2\x82\xAC"},
  };
  for (const auto& k : keys) {
    QApplication::clipboard()->setText(k.Clip);
    QKeyEvent press(QEvent::KeyPress, k.Key, k.Mods);
    QApplication::sendEvent(Form1->SingURLs, &press);
    ASSERT_GE(GlobalURLList->IndexOfURL(k.Added), 0) << k.Added;
  }
  EXPECT_EQ(Form1->SingURLs->Count(), lines + 3);

  // Where a background program gets no clipboard: off, said once.
  std::vector<std::string> notices;
  AutoPasteMod->OnNotice = [&](const std::string& t) { notices.push_back(t); };
  AutoPasteMod->ClipboardWatchable = false;
  Form1->ApplicationDeactivate();
  Form1->ApplicationActivate();
  Form1->ApplicationDeactivate();
  EXPECT_FALSE(AutoPasteMod->TimerEnabled());
  EXPECT_EQ(notices, std::vector<std::string>{kWaylandAutoPasteNotice});
  AutoPasteMod->ClipboardWatchable = true;
  Form1->ApplicationDeactivate();
  EXPECT_TRUE(AutoPasteMod->TimerEnabled());
  EXPECT_TRUE(AutoPasteMod->AskFirst());
  Form1->ApplicationActivate();
  EXPECT_FALSE(AutoPasteMod->TimerEnabled());
}

TEST_F(MainFormTest, EveryHelpContextOfTheWindowsHasATopic) {
  std::map<int, std::string> used = {{kStartHelp, "start-up help"},
                                     {kBrowseHelp, "browse start-up help"}};
  for (QWidget* w : QApplication::allWidgets()) {
    const int c = w->property("HelpContext").toInt();
    if (c == 0 || used.count(c)) continue;
    QString what = w->metaObject()->className();
    if (auto* b = qobject_cast<QAbstractButton*>(w)) what += " \"" + b->text() + "\"";
    what += QString(" in ") + w->window()->metaObject()->className();
    used[c] = what.toStdString();
  }
  for (const auto& [context, what] : used) {
    SCOPED_TRACE(what);
    const std::string topic = Home.Dir / ("prog/Help/" + std::to_string(context) + ".htm");
    EXPECT_EQ(HelpTopicFile(context), topic);
    if (!fs::exists(topic)) {
      ADD_FAILURE() << "no topic for context " << context << ": " << what;
      continue;
    }
    // A topic says what the control is for: a heading and some text.
    const std::string html = ReadBytes(topic);
    EXPECT_NE(html.find("<h2>"), std::string::npos) << context;
    EXPECT_GT(html.size(), 120u) << context;
  }
}

TEST(HelpPlacement, SitsRightOfTheControlLevelWithTheForm) {
  const THelpWinInfo r = HelpPlacement(512, 100, 600, 1024, 800);
  EXPECT_EQ(r.StructSize, 28);
  EXPECT_EQ(r.X, 512 + 5);
  EXPECT_EQ(r.Y, 100 * 1024 / 800);
  EXPECT_EQ(r.DX, 1024 - 517);
  EXPECT_EQ(r.DY, 600 * 1024 / 800);
  EXPECT_EQ(r.Show, 5);
  EXPECT_EQ(HelpPlacement(10, 0, 10, 0, 0).StructSize, 0) << "no screen, no record";
}

void Age(const std::string& file, int days) {
  const auto t = fs::file_time_type::clock::now() - std::chrono::hours(24 * days);
  fs::last_write_time(file, t);
}

TEST_F(MainFormTest, CloseUnmodifiedKeepsTheProjectAndStoresTheRest) {
  const std::string p = ProjectCopy("projects/p.mpj");
  Age(p, 3);
  const auto stamp = fs::last_write_time(p);
  const std::string bytes = ReadBytes(p);
  RegWriteString(RegCacheFileLife, "10");
  const std::string oldCache = Home.Dir.Write("prog/Cache/host/old.bin", "old");
  const std::string newCache = Home.Dir.Write("prog/Cache/host/new.bin", "new");
  Age(oldCache, 20);
  Age(newCache, 2);
  Start({p});
  Form1->PWGrid->SetText("http://127.0.0.1/\nuser\nsecret\n");

  EXPECT_TRUE(Form1->close());
  EXPECT_FALSE(Form1->isVisible());
  EXPECT_TRUE(DropDlg->Closing);
  EXPECT_EQ(fs::last_write_time(p), stamp);
  EXPECT_EQ(ReadBytes(p), bytes);
  const std::string grid = Form1->PWGrid->GetText();
  EXPECT_NE(grid.find("secret"), std::string::npos);
  EXPECT_EQ(RegReadString(RegPassWords), grid);
  EXPECT_EQ(RegReadString(RegCacheFileLife), "10") << "settings load and save at close";
  EXPECT_FALSE(fs::exists(oldCache));
  EXPECT_TRUE(fs::exists(newCache));
  EXPECT_TRUE(Prompter.Prompts.empty());
}

// A project option changed in the settings window, by the user's own
// click or typing, marks the project, so closing saves it; the mirror folder
// typed there is the one the jobs use from then on.
TEST_F(MainFormTest, ProjectOptionsEditedInTheSettingsWindowAreSavedAtClose) {
  const std::string p = ProjectCopy("projects/p.mpj");
  Start({p});
  ASSERT_FALSE(Form1->Modified());
  const std::string web = Home.Dir / "elsewhere";
  auto* box = qobject_cast<QAbstractButton*>(SettingsDlg->Control("BRChk"));
  auto* home = qobject_cast<QLineEdit*>(SettingsDlg->Control("HomePageEd"));
  auto* folder = qobject_cast<QLineEdit*>(SettingsDlg->Control("LocWebEd"));
  auto* timeOut = qobject_cast<QSpinBox*>(SettingsDlg->Control("TimeOutUD"));
  ASSERT_TRUE(box && home && folder && timeOut);
  ASSERT_FALSE(box->isChecked());
  const int oldTimeOut = timeOut->value();

  const std::vector<std::pair<const char*, std::function<void()>>> edits = {
      {"a radio button clicked", [&] { QTest::mouseClick(box, Qt::LeftButton); }},
      {"an edit typed into",
       [&] {
         home->selectAll();
         QTest::keyClicks(home, "http://127.0.0.1/home.html");
       }},
      {"a number stepped", [&] { QTest::keyClick(timeOut, Qt::Key_Up); }},
      {"the mirror folder typed",
       [&] {
         folder->selectAll();
         QTest::keyClicks(folder, QString::fromStdString(web));
       }},
  };
  for (const auto& [what, edit] : edits) {
    SCOPED_TRACE(what);
    Form1->SetModified(false);
    SettingsDlg->show();
    test::Pump();
    edit();
    SettingsDlg->hide();
    EXPECT_TRUE(Form1->Modified());
  }
  EXPECT_EQ(Form1->Session().LocalWebDir(), web);
  EXPECT_EQ(GetLocalWebDir(), web);

  ASSERT_TRUE(Form1->close());
  TFileStream in(p, TFileStream::TMode::fmOpenRead);
  TProjectValues back;
  back.Settings = FormDefaults();
  TVkURLList list;
  ReadMirrorProject(in, back, list);
  EXPECT_TRUE(back.Settings.BRChk);
  EXPECT_FALSE(back.Settings.TLChk);
  EXPECT_EQ(back.Settings.HomePageEd, "http://127.0.0.1/home.html");
  EXPECT_EQ(back.Settings.TimeOutUD, oldTimeOut + 1);
  EXPECT_EQ(back.Settings.LocWebEd, web);
}

TEST_F(MainFormTest, AFailedSaveAtCloseKeepsTheWindowAndTheOldFile) {
  const std::string p = ProjectCopy("locked/p.mpj");
  Start({p});
  const std::string bytes = ReadBytes(p);
  Form1->SetModified();
  RegWriteString(RegPassWords, "before");
  Form1->PWGrid->SetText("http://a/\nu\np\n");
  chmod((Home.Dir / "locked").c_str(), 0555);
  bool closed;
  {
    // Root writes into any folder: a full disk makes the save fail as well.
    test::TFileSizeLimit full(geteuid() == 0 ? 16 : RLIM_INFINITY);
    closed = Form1->close();
  }
  chmod((Home.Dir / "locked").c_str(), 0755);
  EXPECT_FALSE(closed);
  EXPECT_TRUE(Form1->isVisible());
  EXPECT_FALSE(DropDlg->Closing);
  EXPECT_TRUE(Form1->Modified());
  EXPECT_EQ(ReadBytes(p), bytes);
  EXPECT_EQ(test::FolderNames(Home.Dir / "locked"), std::set<std::string>{"p.mpj"});
  ASSERT_EQ(Prompter.Prompts.size(), 1u);
  EXPECT_EQ(Prompter.Prompts[0].Kind, "message");
  EXPECT_EQ(RegReadString(RegPassWords), "before") << "nothing of the close ran";
}

TEST_F(MainFormTest, CloseDuringAJobIsRefusedUnlessTheJobStops) {
  Start({});
  // A pass over the list (localising, a status check) runs in the message
  // window: the close request goes to it, and the window stays.
  NonModalMsg->Busy = true;
  NonModalMsg->CloseRequested = false;
  EXPECT_FALSE(Form1->close());
  EXPECT_TRUE(NonModalMsg->CloseRequested);
  NonModalMsg->Busy = false;
  EXPECT_FALSE(DropDlg->Closing);

  // A download job shows as running while its window is up.
  DownloadFrm->Visible = true;
  DownloadFrm->JobKind = 0;
  Prompter.Answers = {TMsgAnswer::No};
  EXPECT_FALSE(Form1->close());
  EXPECT_TRUE(Form1->isVisible());
  EXPECT_FALSE(DropDlg->Closing);
  ASSERT_EQ(Prompter.Prompts.size(), 1u);
  EXPECT_EQ(Prompter.Prompts[0].Text, kStopJobQuestion);

  // Stop pressed: the job ends a little later, and the close waits for it.
  DownloadFrm->OnStop = [] { QTimer::singleShot(20, [] { DownloadFrm->Visible = false; }); };
  Prompter.Answers = {TMsgAnswer::Yes};
  EXPECT_TRUE(Form1->close());
  EXPECT_FALSE(DownloadWindow->JobRunning());
  EXPECT_TRUE(DropDlg->Closing);
}

}  // namespace
}  // namespace qv
