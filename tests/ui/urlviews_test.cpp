// The main window's URL views: the Filters page as the published view
// filter, rebuilds of the list (overtaken ones included), Check all, the
// attributes panel, and a million URLs.
#include <chrono>
#include <filesystem>
#include <functional>
#include <set>
#include <thread>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QtTest/QTest>

#include "mainformfixture.h"
#include "model/tvurlutils.h"
#include "model/vkfile.h"
#include "ui/controls/filtergrid.h"
#include "ui/controls/tvimagepanel.h"
#include "ui/controls/urllistbox.h"
#include "ui/urllistwalk.h"

namespace qv {
namespace {

using test::MainFormFixture;

class URLViewsTest : public MainFormFixture {};

TEST_F(URLViewsTest, FilterControlsArePublishedAndSaved) {
  Form1->FailedFilesCombo->setCurrentIndex(ccOnly);
  Form1->MinSizeEd->setText("1000");
  Form1->MinSizeEd->textEdited("1000");
  Form1->UpdateTimerTimer();
  EXPECT_EQ(GlobalViewFilter().Get()->FailedFilesCombo, ccOnly);
  EXPECT_EQ(GlobalViewFilter().Get()->MinSizeEd, "1000");
  EXPECT_TRUE(Form1->Modified());
  EXPECT_EQ(Form1->Session().Values().ViewFilter.FailedFilesCombo, ccOnly);

  TProjectValues v = Form1->Session().Values();
  v.ViewFilter = TViewFilter{};
  v.ViewFilter.ImageLinksCombo = ccNo;
  v.ViewFilter.AutoUpChk = false;
  v.ViewFilter.FilGrid = {{"*.gif", fcOnly}};
  Form1->ShowProject(v);
  EXPECT_EQ(Form1->ImageLinksCombo->currentIndex(), ccNo);
  EXPECT_EQ(Form1->FailedFilesCombo->currentIndex(), ccNone);
  EXPECT_TRUE(Form1->UpdateBtn->isEnabled());
  EXPECT_EQ(*GlobalViewFilter().Get(), v.ViewFilter);
}

// Which filter changes rebuild the view at once, which wait for "Update",
// and which start the update timer; the combos ignore typing.
TEST_F(URLViewsTest, AutoUpdateDecidesWhenAComboChangeRebuilds) {
  List("http://a/x.gif", usFailed);
  List("http://a/y.htm", usNew);
  Form1->RefreshURLList();
  Form1->SetModified(false);
  Form1->AutoUpChk->click();  // off
  EXPECT_TRUE(Form1->UpdateBtn->isEnabled());
  Form1->FailedFilesCombo->setCurrentIndex(ccOnly);
  EXPECT_TRUE(Form1->Modified());
  EXPECT_EQ(GlobalViewFilter().Get()->FailedFilesCombo, ccOnly) << "published at once";
  EXPECT_EQ(Lines().size(), 2u) << "no rebuild with Auto Update off";
  Form1->UpdateBtn->click();
  EXPECT_EQ(Lines(), std::vector<std::string>{"http://a/x.gif"});
  EXPECT_TRUE(Form1->UpdateBtn->isEnabled());
  Form1->FailedFilesCombo->setCurrentIndex(ccNone);
  Form1->AutoUpChk->click();  // on: counts as a change
  EXPECT_FALSE(Form1->UpdateBtn->isEnabled());
  EXPECT_EQ(Lines().size(), 2u);
  Form1->NewFilesCombo->setCurrentIndex(ccNo);
  EXPECT_EQ(Lines(), std::vector<std::string>{"http://a/x.gif"});

  // A typed letter would pick "All" or "Only" by its first letter.
  for (QComboBox* c : {Form1->DLFilesCombo, Form1->ChkFilesCombo}) {
    c->setFocus();
    QTest::keyClicks(c, "ANO");
    EXPECT_EQ(c->currentIndex(), ccNone);
  }
}

TEST_F(URLViewsTest, NameSpecificationEditsStartTheUpdateTimerWhenTheViewMustFollow) {
  List("http://a/x.gif", usFailed);
  List("http://a/y.htm", usNew);
  const std::vector<std::string> both = {"http://a/x.gif", "http://a/y.htm"};
  const std::vector<std::string> gif = {"http://a/x.gif"};
  const std::vector<std::string> htm = {"http://a/y.htm"};
  enum TEdit { kType, kPickOnly, kDeleteKey };
  struct Case {
    const char* name;
    bool autoUpdate;
    std::vector<TAtrRow> rows;
    TEdit edit;
    int gridRow;
    const char* text;
    std::vector<TAtrRow> after;
    bool timer;
    std::vector<std::string> lines;  // after the timer's tick, if any
  } cases[] = {
      {"pattern typed in the entry row", true, {}, kType, 1, "*.gif", {{"*.gif", 0}}, false, both},
      {"choice picked", true, {{"*.gif", 0}}, kPickOnly, 1, "", {{"*.gif", fcOnly}}, true, gif},
      {"choice picked, Auto Update off",
       false,
       {{"*.gif", 0}},
       kPickOnly,
       1,
       "",
       {{"*.gif", fcOnly}},
       false,
       both},
      {"pattern of a row with a choice",
       true,
       {{"*.gif", fcOnly}},
       kType,
       1,
       "*.htm",
       {{"*.htm", fcOnly}},
       true,
       htm},
      {"row with a choice deleted", true, {{"*.gif", fcOnly}}, kType, 1, "", {}, true, both},
      {"row without a choice deleted", true, {{"*.gif", 0}}, kType, 1, "", {}, false, both},
      {"Delete key on a selected row",
       true,
       {{"*.gif", fcOnly}},
       kDeleteKey,
       1,
       "",
       {},
       false,
       both},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TViewFilter f;
    f.AutoUpChk = c.autoUpdate;
    f.FilGrid = c.rows;
    Form1->FilterToControls(f);
    Form1->PublishViewFilter();
    Form1->RefreshURLList();
    Form1->UpdateTimer->stop();
    TFilterGrid* g = Form1->FilGrid;
    switch (c.edit) {
      case kType:
        g->SetEditText(0, c.gridRow, c.text);
        g->FlushEditText();
        break;
      case kPickOnly:
        g->setCurrentIndex(g->Model()->index(c.gridRow - 1, 1));
        g->DropListWidget()->setCurrentRow(fcOnly);
        g->SelListClick();
        break;
      case kDeleteKey:
        g->setCurrentIndex(g->Model()->index(c.gridRow - 1, 0));
        g->selectRow(c.gridRow - 1);
        QTest::keyClick(g, Qt::Key_Delete);
        break;
    }
    EXPECT_EQ(g->Rows(), c.after);
    EXPECT_EQ(*GlobalViewFilter().Get(), Form1->FilterFromControls()) << "published";
    EXPECT_EQ(Form1->UpdateTimer->isActive(), c.timer);
    if (Form1->UpdateTimer->isActive()) Form1->UpdateTimerTimer();
    EXPECT_FALSE(Form1->UpdateTimer->isActive());
    EXPECT_EQ(Lines(), c.lines);
  }
}

// A choice picked while the mirror folder is unusable (the user declines to
// choose another) stays in the grid, so it is published too: what the page
// shows is what the workers filter by and a save stores.
TEST_F(URLViewsTest, AChoiceKeptWithoutAMirrorFolderIsPublished) {
  TViewFilter f;
  f.FilGrid = {{"*.gif", 0}};
  Form1->FilterToControls(f);
  Form1->PublishViewFilter();
  const std::string blocked = Home.Dir / "blocked";
  test::WriteBytes(blocked, "a file");
  Form1->Session().SetLocalWebDir(blocked + "/mirror");
  Prompter.Paths = {""};
  TFilterGrid* g = Form1->FilGrid;
  g->setCurrentIndex(g->Model()->index(0, 1));
  g->DropListWidget()->setCurrentRow(fcOnly);
  g->SelListClick();
  EXPECT_EQ(g->Rows(), (std::vector<TAtrRow>{{"*.gif", fcOnly}}));
  EXPECT_EQ(GlobalViewFilter().Get()->FilGrid, g->Rows());
  EXPECT_EQ(Form1->Session().Values().ViewFilter, Form1->FilterFromControls());
}

TEST_F(URLViewsTest, SizeEditsTakeDigitsAndRebuildOnLeaving) {
  List("http://a/small", usNew, false, 999);
  List("http://a/big", usNew, false, 5000);
  Form1->RefreshURLList();
  Form1->MinSizeEd->clear();
  Form1->MinSizeEd->setFocus();
  QTest::keyClicks(Form1->MinSizeEd, "1x0-00");
  EXPECT_EQ(Form1->MinSizeEd->text(), "1000");
  EXPECT_TRUE(Form1->SizeFilterEdited);
  EXPECT_EQ(GlobalViewFilter().Get()->MinSizeEd, "1000") << "a job sees the limit at once";
  EXPECT_FALSE(Form1->UpdateTimer->isActive()) << "not while typing";
  QFocusEvent leave(QEvent::FocusOut);
  QCoreApplication::sendEvent(Form1->MinSizeEd, &leave);
  ASSERT_TRUE(Form1->UpdateTimer->isActive());
  Form1->UpdateTimerTimer();
  EXPECT_EQ(Lines(), std::vector<std::string>{"http://a/big"});
  EXPECT_FALSE(Form1->SizeFilterEdited);
  // Leaving without an edit starts nothing.
  QCoreApplication::sendEvent(Form1->MaxSizeEd, &leave);
  EXPECT_FALSE(Form1->UpdateTimer->isActive());
}

TEST_F(URLViewsTest, RebuildShowsPassingURLsInListOrderWithTheirMarks) {
  List("http://c/", usFailed, true);
  List("http://a/", usNew);
  List("http://b/", usFailed);
  Form1->FailedFilesCombo->setCurrentIndex(ccOnly);
  EXPECT_EQ(Lines(), (std::vector<std::string>{"http://b/", "http://c/"}));
  EXPECT_FALSE(Form1->SingURLs->Checked(0));
  EXPECT_TRUE(Form1->SingURLs->Checked(1));
  EXPECT_EQ(Form1->NumURLsEd->text(), "2");
  EXPECT_EQ(Form1->StatusBar1->currentMessage(),
            "WARNING!! Filter settings are causing some URLs to be hidden");
  EXPECT_EQ(Form1->SingURLs->ItemIndex(), 0);
  EXPECT_EQ(Form1->StatusEd->text(), "Failed");

  Form1->FailedFilesCombo->setCurrentIndex(ccNone);
  EXPECT_EQ(Lines().size(), 3u);
  EXPECT_EQ(Form1->StatusBar1->currentMessage(), "");
}

TEST_F(URLViewsTest, AnOvertakingRebuildLeavesOnlyItsOwnLinesAndOneWarningEach) {
  for (int i = 0; i < 1000; ++i) List("http://h/" + std::to_string(1000 + i), i % 3 ? 10 : 30);
  int warnings = 0;
  QObject::connect(Form1->StatusBar1, &QStatusBar::messageChanged, [&](const QString& m) {
    if (m.startsWith("WARNING!!")) ++warnings;
  });
  // The newer rebuild starts while the first lets messages run.
  bool changed = false;
  QTimer::singleShot(0, [&] {
    changed = true;
    Form1->FailedFilesCombo->setCurrentIndex(ccOnly);
  });
  Form1->RefreshURLList();
  ASSERT_TRUE(changed);
  const std::vector<std::string> lines = Lines();
  EXPECT_EQ(lines.size(), 334u);
  EXPECT_EQ(std::set<std::string>(lines.begin(), lines.end()).size(), lines.size());
  for (const auto& l : lines) EXPECT_EQ((std::stoi(l.substr(9)) - 1000) % 3, 0) << l;
  EXPECT_EQ(Form1->NumURLsEd->text(), "334");
  EXPECT_TRUE(Form1->ListRebuilt);
  // The first rebuild hid nothing before it was overtaken; the second warned
  // once for its 666 hidden URLs.
  EXPECT_EQ(warnings, 1);
}

TEST_F(URLViewsTest, CheckAllReachesALineAppendedOutOfOrder) {
  List("http://b/");
  List("http://c/");
  Form1->RefreshURLList();
  // An addition lists "a" before the others but appends its line last.
  List("http://a/");
  Form1->SingURLs->AddItem("http://a/");
  Form1->Button1->click();
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(Form1->SingURLs->Checked(i)) << Lines()[i];
  {
    std::lock_guard<TCriticalSection> hold(*URLListLock);
    EXPECT_EQ(GlobalURLList->FindItem("http://a/")->Checked, 1);
  }
  EXPECT_TRUE(Form1->CheckPassDone);
  Form1->Button5->click();
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(Form1->SingURLs->Checked(i)) << Lines()[i];
}

TEST_F(URLViewsTest, CheckAllLeavesHiddenURLsAlone) {
  List("http://a/", usFailed);
  List("http://b/", usNew);
  Form1->FailedFilesCombo->setCurrentIndex(ccOnly);
  Form1->Button1->click();
  std::lock_guard<TCriticalSection> hold(*URLListLock);
  EXPECT_EQ(GlobalURLList->FindItem("http://a/")->Checked, 1);
  EXPECT_EQ(GlobalURLList->FindItem("http://b/")->Checked, 0);
}

TEST_F(URLViewsTest, ClickingACheckBoxMarksTheRecordAndOffersUpdate) {
  List("http://a/");
  Form1->RefreshURLList();
  Form1->SetModified(false);
  const QModelIndex at = Form1->SingURLs->Lines()->index(0);
  Form1->SingURLs->Lines()->setData(at, Qt::Checked, Qt::CheckStateRole);
  EXPECT_TRUE(Form1->Modified());
  EXPECT_TRUE(Form1->UpdateBtn->isEnabled());
  std::lock_guard<TCriticalSection> hold(*URLListLock);
  EXPECT_EQ(GlobalURLList->FindItem("http://a/")->Checked, 1);
}

TEST_F(URLViewsTest, AttributesFollowTheFocusedLine) {
  List("http://a/", usDownloaded, false, 1234);
  List("http://b/", usNew, false, 0);
  {
    std::lock_guard<TCriticalSection> hold(*URLListLock);
    TVkURLItem* a = GlobalURLList->FindItem("http://a/");
    a->ContentType = "text/html";
    a->ParentURL = "http://p/";
    a->Title = "Caf\xc3\xa9";
    a->Details = "HTTP/1.1 200 OK";
  }
  Form1->RefreshURLList();
  EXPECT_EQ(Form1->StatusEd->text(), "Downloaded");
  EXPECT_EQ(Form1->SizeEd->text(), "1234");
  EXPECT_EQ(Form1->ContentTypeEd->text(), "text/html");
  EXPECT_EQ(Form1->ParentURLEd->text(), "http://p/");
  EXPECT_EQ(Form1->TextEdit->toPlainText(), QString::fromUtf8("Caf\xc3\xa9"));
  EXPECT_TRUE(Form1->DetailsBtn->isEnabled());

  Form1->SingURLs->SetItemIndex(1);
  EXPECT_EQ(Form1->SizeEd->text(), "Unavailable");
  EXPECT_FALSE(Form1->DetailsBtn->isEnabled());

  // A line whose record went away clears the panel.
  {
    std::lock_guard<TCriticalSection> hold(*URLListLock);
    GlobalURLList->DeleteItem(GlobalURLList->IndexOfURL("http://a/"));
  }
  Form1->SingURLs->SetItemIndex(0);
  EXPECT_EQ(Form1->StatusEd->text(), "");
  EXPECT_FALSE(Form1->DetailsBtn->isEnabled());
}

// On the "Images" page the focused URL's stored picture becomes the
// thumbnail, centred in its bounds; a URL without one hides the panel.
TEST_F(URLViewsTest, TheImagesPageShowsTheStoredPicture) {
  const std::string pic = "http://www.a.test/pic.png";
  const std::string path = NativePath(URLToLocalPath(Form1->LocalWebDir(), pic, "Data", ""));
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  QImage img(40, 20, QImage::Format_RGB32);
  img.fill(Qt::red);
  ASSERT_TRUE(img.save(QString::fromStdString(path), "PNG"));
  List(pic);
  List("http://www.b.test/page.html");
  Form1->show();
  Form1->PageControl1->setCurrentWidget(Form1->ImagesPage);
  Form1->RefreshURLList();
  ASSERT_EQ(Form1->SingURLs->ItemText(0), pic);
  EXPECT_EQ(Form1->ThumbImage1->ImageFile, path);
  // Framed to the picture's own size (it fits the bounds), so its header
  // was read from that file.
  const int frame = 2 * Form1->ThumbImage1->FrameWidth();
  EXPECT_EQ(Form1->ThumbImage1->size(), QSize(40 + frame, 20 + frame));
  EXPECT_TRUE(Form1->PrintImageBtn->isEnabled());
  const auto& b = Form1->ThumbBounds;
  EXPECT_EQ(Form1->ThumbImage1->x(), b.Left + (b.Width - Form1->ThumbImage1->width()) / 2);
  EXPECT_EQ(Form1->ThumbImage1->y(), b.Top + (b.Height - Form1->ThumbImage1->height()) / 2);
  Form1->SingURLs->SetItemIndex(1);
  EXPECT_FALSE(Form1->ThumbImage1->isVisible());
  EXPECT_FALSE(Form1->PrintImageBtn->isEnabled());
}

// What an addition on another thread leaves in the outbox reaches the list
// once, with the record's mark, the count, the modified flag and the status.
TEST_F(URLViewsTest, TheDrainShowsAdditionsFromOtherThreadsOnce) {
  List("http://www.a.test/");
  Form1->RefreshURLList();
  Form1->SetModified(false);
  std::thread worker([] {
    Form1->AddFoundURL(1, "http://www.c.test/", "http://www.c.test/", "http://www.a.test/", 0, "",
                       "", 0);
    TVkURLItem r;
    r.URL = "http://www.b.test/";
    r.Checked = 1;
    Form1->AddURLItemLocked(1, r);
    {
      std::lock_guard<TCriticalSection> hold(*URLListLock);
      TVkURLItem news;
      news.URL = "news:x";
      EXPECT_EQ(Form1->AddURLItem(1, news), -1);
    }
    Form1->Outbox().AddLine("http://www.a.test/");  // shown already
    Form1->Outbox().SetModified();
    Form1->Outbox().AddStatusText("Found 2 URLs");
  });
  worker.join();
  Form1->DrainOutbox();
  EXPECT_EQ(Lines(), (std::vector<std::string>{"http://www.a.test/", "http://www.c.test/",
                                               "http://www.b.test/"}));
  EXPECT_FALSE(Form1->SingURLs->Checked(1));
  EXPECT_TRUE(Form1->SingURLs->Checked(2));
  EXPECT_EQ(Form1->NumURLsEd->text(), "3");
  EXPECT_TRUE(Form1->Modified());
  EXPECT_EQ(Form1->StatusBar1->currentMessage(), "Found 2 URLs");
  // Check all reaches the appended lines through the map.
  Form1->Button1->click();
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(Form1->SingURLs->Checked(i));
}

// Between batches the list may change under the walk: it goes on after the
// last URL it saw, visiting no record twice and skipping none that stayed.
TEST_F(URLViewsTest, AWalkResumesByKeyAfterTheListChanged) {
  for (int i = 0; i < 350; ++i) List("http://h/" + std::to_string(1000 + i));
  int batches = 0;
  std::vector<std::string> seen;
  WalkURLList(
      [&] {
        if (++batches == 3) {
          // Two batches seen: drop ten of them and list an earlier key.
          std::lock_guard<TCriticalSection> hold(*URLListLock);
          for (int k = 0; k < 10; ++k) GlobalURLList->DeleteItem(0);
          TVkURLItem r;
          r.URL = "http://a/";
          GlobalURLList->AddItem(r, false);
        }
        return true;
      },
      [&](TVkURLItem& r) { seen.push_back(r.URL); });
  ASSERT_EQ(seen.size(), 350u);
  for (int i = 0; i < 350; ++i) EXPECT_EQ(seen[i], "http://h/" + std::to_string(1000 + i));
}

// Sees the window's posted messages run (repaints, layouts, queued calls):
// it posts itself again each time it runs, so it runs at every chance the
// window gives its messages.
class THeartbeat : public QObject {
 public:
  std::function<void()> OnBeat;
  void Start() { QCoreApplication::postEvent(this, new QEvent(QEvent::User)); }
  void Stop() { Running = false; }
  bool event(QEvent* e) override {
    if (e->type() != QEvent::User) return QObject::event(e);
    if (!Running) return true;
    if (OnBeat) OnBeat();
    Start();
    return true;
  }

 private:
  bool Running = true;
};

// A project of a million URLs: it opens and shows its list, filters to
// "Failed files: Only" and back, and the window never stalls. While the file
// is read the window's posted messages run and show the progress, but its
// timers wait (the lists are being replaced); through each pass of the view
// a timer keeps ticking.
TEST_F(URLViewsTest, AMillionURLProjectOpensFiltersAndKeepsTheMessagesFlowing) {
  constexpr int kCount = 1000000;
  {
    std::lock_guard<TCriticalSection> hold(*URLListLock);
    char buf[64];
    for (int i = 0; i < kCount; ++i) {
      TVkURLItem r;
      std::snprintf(buf, sizeof buf, "http://host%03d.test/page%07d.html", i % 997, i);
      r.URL = buf;
      r.SetStatus(i % 10 == 0 ? 30 : 10);
      GlobalURLList->AddItem(r, false);
    }
  }
  const std::string project = Home.Dir / "million.mpj";
  Form1->Session().SaveMirrorProject(project);
  Form1->Session().ClearMirrorProject();
  ASSERT_EQ(Form1->SingURLs->Count(), 0);

  using Clock = std::chrono::steady_clock;
  const auto loading = [] {
    return Form1->StatusBar1->currentMessage().startsWith("Loading URL ");
  };
  QTimer ticker;
  int ticks = 0;
  int ticksWhileLoading = 0;
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    ++ticks;
    if (loading()) ++ticksWhileLoading;
  });
  ticker.start(20);
  THeartbeat heart;
  int beatsWhileLoading = 0;
  auto last = Clock::now();
  std::chrono::milliseconds longest{0};
  heart.OnBeat = [&] {
    if (loading()) ++beatsWhileLoading;
    const auto now = Clock::now();
    longest = std::max(longest, std::chrono::duration_cast<std::chrono::milliseconds>(now - last));
    last = now;
  };
  heart.Start();
  struct Pass {
    const char* name;
    std::function<void()> run;
    int lines;
  } passes[] = {
      {"open",
       [&] {
         // As the open command does: load, then show the list.
         Form1->Session().LoadMirrorProject(project);
         EXPECT_GT(beatsWhileLoading, 0) << "no message ran while the file was read";
         EXPECT_EQ(ticksWhileLoading, 0) << "a timer ran while the lists were being replaced";
         Form1->RefreshURLList();
       },
       kCount},
      {"failed only", [] { Form1->FailedFilesCombo->setCurrentIndex(ccOnly); }, kCount / 10},
      {"back to all", [] { Form1->FailedFilesCombo->setCurrentIndex(ccNone); }, kCount},
  };
  for (const auto& p : passes) {
    const int before = ticks;
    longest = std::chrono::milliseconds{0};
    last = Clock::now();
    p.run();
    EXPECT_EQ(Form1->SingURLs->Count(), p.lines) << p.name;
    EXPECT_EQ(Form1->NumURLsEd->text(), QString::number(p.lines)) << p.name;
    EXPECT_GT(ticks, before) << p.name << ": no timer tick during the pass";
    // Reported, not asserted: the machines are shared.
    std::printf("%s: longest gap between messages %lld ms\n", p.name,
                static_cast<long long>(longest.count()));
  }
  heart.Stop();
  EXPECT_EQ(Form1->SingURLs->ItemText(0), "http://host000.test/page0000000.html");
  EXPECT_EQ(Form1->StatusEd->text(), "Failed");
}

}  // namespace
}  // namespace qv
