// The main road through the real main window against nginx: a root URL typed
// with its levels, "Quick mirror", the found URLs listed, "Download files"
// with its job window, the stored and localised files, and the project saved
// and opened again with the same list.
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <QCheckBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "engine/downloadform.h"
#include "mainformfixture.h"
#include "model/projectfile.h"
#include "model/streamext.h"
#include "model/tvurlutils.h"
#include "model/vkfile.h"
#include "support/fixturesite.h"
#include "ui/controls/scaledstringgrid.h"
#include "ui/controls/stringatrgrid.h"
#include "ui/controls/urllistbox.h"
#include "ui/downloadwindow.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

class MainRoadTest : public test::MainFormFixture {
 protected:
  void SetUp() override {
    const char* port = std::getenv("QV_NGINX_PORT");
    const char* root = std::getenv("QV_NGINX_ROOT");
    if (!port || !root) GTEST_SKIP() << "QV_NGINX_PORT unset: run under scripts/test-servers";
    const std::string name = "road-" + std::to_string(::getpid());
    SiteFolder = std::string(root) + "/" + name;
    Site = test::MakeFixtureSite(SiteFolder, 6, 2);
    Base = "http://127.0.0.1:" + std::string(port) + "/" + name + "/";
  }
  void TearDown() override {
    std::error_code ec;
    if (!SiteFolder.empty()) fs::remove_all(SiteFolder, ec);
  }

  std::string SiteFolder, Base;
  test::TFixtureSite Site;
};

TEST_F(MainRoadTest, RootURLQuickMirrorDownloadSaveAndReopen) {
  Form1->show();
  test::Pump();
  // Whatever the start project listed goes; the road starts empty.
  Form1->Grid1->ClearRows();
  {
    std::lock_guard<TCriticalSection> hold(*URLListLock);
    GlobalURLList->ClearItems();
  }
  Form1->RefreshURLList();

  // The root URL typed into the entry row, then its levels by a digit key.
  Form1->Grid1Edited(0, Form1->Grid1->Count() + 1, Base + "p0.html");
  ASSERT_EQ(Form1->Grid1->Count(), 1);
  Form1->Grid1->SetItemIndex(0);
  QTest::keyClick(Form1->Grid1, Qt::Key_9);
  EXPECT_EQ((Form1->Grid1->Attr(0) >> 8) & 0xff, 9u);

  // What the job finds changes the project even when nothing else did: it
  // is saved after the job, or marked modified for the close to save.
  Form1->SetModified(false);
  QTest::mouseClick(Form1->QMBtn, Qt::LeftButton);
  Form1->DrainOutbox();  // as its timer does
  {
    TProjectValues values;
    TVkURLList saved;
    try {
      TMemoryStream stream(ReadAll(Form1->ProjectFileName()));
      ReadMirrorProject(stream, values, saved);
    } catch (const std::exception&) {
    }
    EXPECT_TRUE(saved.FindItem(Base + "p5.html") || Form1->Modified());
  }
  std::vector<std::string> found = Lines();
  for (const std::string p : {"p0.html", "p1.html", "p5.html", "img/i0.png", "data.bin"})
    EXPECT_NE(std::find(found.begin(), found.end(), Base + p), found.end()) << p;

  // The job window comes up with its threads while the job runs, and goes.
  DownloadWindow->LocRefsChk->setChecked(true);
  bool shown = false;
  int rows = 0;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (DownloadWindow->isVisible()) shown = true;
    // A row whose first cell names what a thread fetches.
    for (int r = 1; r < DownloadWindow->Grid1->RowCount(); ++r)
      if (!DownloadWindow->Grid1->Cells(0, r).empty()) rows = std::max(rows, r);
  });
  watch.start(5);
  QTest::mouseClick(Form1->DLBtn, Qt::LeftButton);
  watch.stop();
  EXPECT_TRUE(shown);
  EXPECT_GE(rows, 1);
  EXPECT_FALSE(DownloadWindow->isVisible());
  EXPECT_FALSE(DownloadWindow->JobRunning());

  for (const std::string p : {"p0.html", "p3.html", "img/i1.png", "data.bin"}) {
    const std::string body = NativePath(URLToLocalPath(Form1->LocalWebDir(), Base + p, "Data", ""));
    ASSERT_TRUE(fs::exists(body)) << p;
    if (p == "data.bin") {
      EXPECT_EQ(ReadAll(body), ReadAll(SiteFolder + "/data.bin"));
    }
  }
  // The saved pages lead to the stored copies, not back to the server.
  const std::string page =
      ReadAll(NativePath(URLToLocalPath(Form1->LocalWebDir(), Base + "p0.html", "Data", "")));
  EXPECT_EQ(page.find("http://127.0.0.1"), std::string::npos) << page;
  EXPECT_NE(page.find("p1.html"), std::string::npos);
  EXPECT_TRUE(Prompter.Prompts.empty()) << Prompter.Prompts.front().Text;
  EXPECT_FALSE(Form1->Modified());

  // "New mirror / Load mirror": a new project, then the saved one again.
  const std::string project = Form1->ProjectFileName();
  const std::vector<std::string> listed = Lines();
  Prompter.Paths = {std::string(Home.Dir / "other.mpj"), project};
  QTest::mouseClick(Form1->NewMirrorBtn, Qt::LeftButton);
  EXPECT_NE(Lines(), listed);
  QTest::mouseClick(Form1->NewMirrorBtn, Qt::LeftButton);
  EXPECT_EQ(Form1->ProjectFileName(), project);
  EXPECT_EQ(Lines(), listed);
  ASSERT_EQ(Form1->Grid1->Count(), 1);
  EXPECT_EQ(Form1->Grid1->Text(0), Base + "p0.html");
  // The download's results were saved with it.
  for (const std::string p : {"p0.html", "img/i1.png", "data.bin"}) {
    std::lock_guard<TCriticalSection> hold(*URLListLock);
    const TVkURLItem* r = GlobalURLList->FindItem(Base + p);
    ASSERT_NE(r, nullptr) << p;
    EXPECT_EQ(r->Status, usDownloaded) << p;
  }
}

}  // namespace
}  // namespace qv
