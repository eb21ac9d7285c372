// The main window's image commands on the thumbnail panel and the viewer:
// "Print image", the list's "P&rint", "Slide show" and "Full screen view".
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <QPrinterInfo>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QTextDocument>
#include <QTimer>

#include "mainformfixture.h"
#include "model/tvurlutils.h"
#include "model/vkfile.h"
#include "support/envscope.h"
#include "support/scratchdir.h"
#include "ui/controls/tvimagepanel.h"
#include "ui/controls/urllistbox.h"
#include "ui/imageform.h"
#include "ui/imagetest.h"

namespace qv {
namespace {

using test::MainFormFixture;

class TRecordingPrinter : public TDocPrinter {
 public:
  bool Print(QTextDocument& doc, std::string&) override {
    Printed.push_back(doc.metaInformation(QTextDocument::DocumentUrl).toStdString());
    return true;
  }
  std::vector<std::string> Printed;
};

// The user's home in a scratch folder from before the windows are made: the
// first painting loads the start project, whose mirror folder defaults to
// one in the home.
struct TScratchUserHome {
  TScratchUserHome() { Env.Set("HOME", Dir.Path); }
  test::TScratchDir Dir;
  test::TEnvScope Env;
};

class ImageCommandsTest : private TScratchUserHome, public MainFormFixture {
 protected:
  // The window as the user meets it: shown, its first painting done (which
  // loads the start project), then an empty project with the mirror in the
  // scratch folder.
  ImageCommandsTest() {
    Form1->show();
    Form1->FormPaint();
    Form1->Session().ClearMirrorProject();
    Form1->Session().SetLocalWebDir(Home.Dir / "TvWeb");
  }
  // A stored picture for the URL, listed as downloaded; its body's path.
  std::string StorePicture(const std::string& url, const QColor& colour = Qt::red) {
    const std::string path = NativePath(URLToLocalPath(Form1->LocalWebDir(), url, "Data", ""));
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    test::WriteBytes(path, test::PictureBytes(40, 20, colour));
    List(url, usDownloaded);
    return path;
  }
  // Lets the print queue run to its end: the browser's loads and the print
  // timer's ticks.
  void DrainPrints() {
    TTvImagePanel* p = Form1->ThumbImage1;
    for (int i = 0; i < 200 && !(p->PrintQueue.empty() && !p->PrintTimer->isActive()); ++i) {
      test::Pump();
      p->Timer1Timer();
    }
    EXPECT_TRUE(p->PrintQueue.empty());
  }
  void ShowImagesPage() {
    Form1->PageControl1->setCurrentWidget(Form1->ImagesPage);
    Form1->RefreshURLList();
  }
  std::string Status() const { return Form1->StatusBar1->currentMessage().toStdString(); }

  std::shared_ptr<TRecordingPrinter> Printer = std::make_shared<TRecordingPrinter>();
};

TEST_F(ImageCommandsTest, PrintImageQueuesTheThumbnailsPicture) {
  const std::string pic = StorePicture("http://www.a.test/pic.png");
  ShowImagesPage();
  ASSERT_TRUE(Form1->PrintImageBtn->isEnabled());
  Form1->ThumbImage1->SetPrinter(Printer);
  Form1->PrintImageBtn->click();
  DrainPrints();
  EXPECT_EQ(Printer->Printed, std::vector<std::string>{pic});
}

// Without a printer nothing is printed and the status bar says so.
TEST_F(ImageCommandsTest, WithoutAPrinterTheStatusBarSaysSo) {
  if (!QPrinterInfo::defaultPrinter().isNull()) GTEST_SKIP() << "this machine has a printer";
  StorePicture("http://www.a.test/pic.png");
  ShowImagesPage();
  Form1->PrintImageBtn->click();
  DrainPrints();
  EXPECT_EQ(Status(), kNoPrinterText);
}

// "P&rint" queues each selected line's stored body, or the URL itself when
// nothing is stored; what cannot be printed is said and the rest goes on.
TEST_F(ImageCommandsTest, ListPrintQueuesStoredBodiesElseTheURL) {
  const std::string a = StorePicture("http://www.a.test/a.png");
  List("http://www.b.test/never.html");
  const std::string c = StorePicture("http://www.c.test/c.png", Qt::blue);
  Form1->RefreshURLList();
  Form1->ThumbImage1->SetPrinter(Printer);
  auto* sel = Form1->SingURLs->selectionModel();
  sel->clear();
  for (int i = 0; i < 3; ++i)
    sel->select(Form1->SingURLs->model()->index(i, 0), QItemSelectionModel::Select);
  Form1->URLPrintClick();
  EXPECT_EQ(Form1->ThumbImage1->PrintQueue,
            (std::vector<std::string>{a, "http://www.b.test/never.html", c}));
  DrainPrints();
  EXPECT_EQ(Printer->Printed, (std::vector<std::string>{a, c}));
}

// The viewer's modal showing is closed from inside its loop once the state
// it was started with has been noted.
struct TViewerSeen {
  bool Shown = false;
  bool FullScreen = false;
  bool Single = false;
  std::vector<std::string> URLs;
  std::string WebDir;
  int Interval = -1;
  int URLIndex = -2;
  std::string File;
};

void NoteAndClose(TViewerSeen& seen) {
  QTimer::singleShot(0, ImageFrm, [&seen] {
    if (!ImageFrm->isVisible()) return;
    seen.Shown = true;
    seen.FullScreen = ImageFrm->windowState() & Qt::WindowFullScreen;
    seen.Single = ImageFrm->SingleImage;
    seen.URLs = ImageFrm->URLs;
    seen.WebDir = ImageFrm->WebDir;
    seen.Interval = ImageFrm->Interval;
    seen.URLIndex = ImageFrm->URLIndex;
    seen.File = ImageFrm->Image->ImageFile;
    ImageFrm->FormKeyDown(Qt::Key_Escape);
  });
}

TEST_F(ImageCommandsTest, SlideShowRunsOverTheListFromTheFocusedLine) {
  StorePicture("http://www.a.test/0.png");
  const std::string second = StorePicture("http://www.a.test/1.png");
  StorePicture("http://www.a.test/2.png");
  ShowImagesPage();
  Form1->SingURLs->SetItemIndex(1);
  Form1->ViewIntEd->setValue(7);
  TViewerSeen seen;
  NoteAndClose(seen);
  Form1->SlideShowBtn->click();
  ASSERT_TRUE(seen.Shown);
  EXPECT_TRUE(seen.FullScreen);
  EXPECT_FALSE(seen.Single);
  EXPECT_EQ(seen.URLs,
            (std::vector<std::string>{"http://www.a.test/0.png", "http://www.a.test/1.png",
                                      "http://www.a.test/2.png"}));
  EXPECT_EQ(seen.WebDir, Form1->LocalWebDir());
  EXPECT_EQ(seen.Interval, 7);
  EXPECT_EQ(seen.URLIndex, 1);
  EXPECT_EQ(seen.File, second);
  EXPECT_FALSE(ImageFrm->isVisible());
}

TEST_F(ImageCommandsTest, FullScreenViewShowsTheThumbnailsPictureAlone) {
  const std::string pic = StorePicture("http://www.a.test/pic.png");
  ShowImagesPage();
  ASSERT_EQ(Form1->ThumbImage1->ImageFile, pic);
  TViewerSeen seen;
  NoteAndClose(seen);
  Form1->FullScreenBtn->click();
  ASSERT_TRUE(seen.Shown);
  EXPECT_TRUE(seen.FullScreen);
  EXPECT_TRUE(seen.Single);
  EXPECT_TRUE(seen.URLs.empty());
  EXPECT_EQ(seen.File, pic);
  EXPECT_FALSE(ImageFrm->isVisible());
}

}  // namespace
}  // namespace qv
