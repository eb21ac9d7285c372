#include "ui/imageform.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QTimer>

#include "model/tvurlutils.h"
#include "model/vkfile.h"
#include "support/envscope.h"
#include "support/scratchdir.h"
#include "ui/controls/tvimagepanel.h"
#include "ui/imagetest.h"
#include "ui/uitest.h"

namespace qv {
namespace {

class ImageFrmTest : public test::UiTest {
 protected:
  ImageFrmTest() { Env.Set("QUENDRAVILOS_HOME", Home.Path); }

  // Stores a body for url in the mirror; returns its path.
  std::string Store(const std::string& url, const std::string& ext, const std::string& bytes) {
    const std::string path = NativePath(URLToLocalPath(Web.Path, url, "Data", ext));
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  std::string StoreImage(const std::string& url) {
    return Store(url, ".png", test::PictureBytes(30, 20, Qt::red));
  }

  test::TScratchDir Home;
  test::TScratchDir Web;
  test::TEnvScope Env;
  TImageFrm Frm;
};

TEST_F(ImageFrmTest, LoadURLFilesListsOnlyTheBodysFiles) {
  const std::string url = "http://h/pic/a.gif";
  const std::string data = Store(url, ".gif", "GIF89a");
  const std::string folder = data.substr(0, data.rfind('/'));
  Store("http://h/pic/a.gif/x.gif", ".gif", "GIF89a");  // a child URL: folder "x.gif"
  ASSERT_TRUE(std::filesystem::is_directory(folder + "/x.gif"));
  std::ofstream(folder + "/Head.txt") << "HTTP/1.1 200 OK";
  std::ofstream(folder + "/HEAD.TXT.gif") << "kept: only Head.txt itself is left out";
  std::ofstream(folder + "/Copy.GIF") << "GIF89a";
  std::ofstream(folder + "/notes.txt") << "other extension";
  Frm.WebDir = Web.Path;
  Frm.URLs = {url};
  Frm.URLIndex = 0;
  Frm.LoadURLFiles(false);
  EXPECT_EQ(Frm.Files, (std::vector<std::string>{folder + "/Copy.GIF", folder + "/Data.gif",
                                                 folder + "/HEAD.TXT.gif"}));
  EXPECT_EQ(Frm.FileIndex, 0);
  Frm.LoadURLFiles(true);
  EXPECT_EQ(Frm.FileIndex, 2);
}

TEST_F(ImageFrmTest, AStartIndexOfMinusOneClosesAtOnce) {
  const std::vector<std::string> urls = {"http://h/a.png", "http://h/b.png"};
  for (const auto& u : urls) StoreImage(u);
  EXPECT_FALSE(Frm.BeginSlideShow(Web.Path, urls, 3, -1));
  EXPECT_TRUE(Frm.Closed());
  EXPECT_FALSE(Frm.Timer1->isActive());
}

TEST_F(ImageFrmTest, StepsSkipURLsWithoutImagesAndClosePastTheEnds) {
  const std::string a = StoreImage("http://h/a.png");
  Store("http://h/page.htm", ".htm", "<html></html>");
  const std::string d = StoreImage("http://h/d.png");
  const std::vector<std::string> urls = {"http://h/a.png", "http://h/none.png", "http://h/page.htm",
                                         "http://h/d.png"};
  ASSERT_TRUE(Frm.BeginSlideShow(Web.Path, urls, 0, 0));
  EXPECT_FALSE(Frm.Timer1->isActive());
  EXPECT_EQ(Frm.Image->ImageFile, a);
  Frm.Step(false);
  EXPECT_EQ(Frm.Image->ImageFile, d);
  EXPECT_EQ(Frm.URLIndex, 3);
  Frm.Step(true);
  EXPECT_EQ(Frm.Image->ImageFile, a);
  EXPECT_FALSE(Frm.Closed());
  Frm.Step(true);
  EXPECT_TRUE(Frm.Closed());

  ASSERT_TRUE(Frm.BeginSlideShow(Web.Path, urls, 0, 3));
  EXPECT_EQ(Frm.Image->ImageFile, d);
  Frm.Step(false);
  EXPECT_TRUE(Frm.Closed());
}

TEST_F(ImageFrmTest, KeysStepBothWaysAndEscCloses) {
  const std::vector<std::string> urls = {"http://h/0.png", "http://h/1.png", "http://h/2.png"};
  for (const auto& u : urls) StoreImage(u);
  struct TCase {
    int Key;
    int URLIndex;  // after the key, from 1; -1 closed
  } cases[] = {
      {Qt::Key_Backspace, 0}, {Qt::Key_PageUp, 0},   {Qt::Key_Left, 0},  {Qt::Key_Up, 0},
      {Qt::Key_Space, 2},     {Qt::Key_PageDown, 2}, {Qt::Key_Right, 2}, {Qt::Key_Down, 2},
      {Qt::Key_Escape, -1},   {Qt::Key_A, 1},        {Qt::Key_P, 1}};  // P does nothing without an
                                                                       // interval
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Key);
    ASSERT_TRUE(Frm.BeginSlideShow(Web.Path, urls, 0, 1));
    QKeyEvent press(QEvent::KeyPress, c.Key, Qt::NoModifier);
    QCoreApplication::sendEvent(&Frm, &press);
    if (c.URLIndex < 0) {
      EXPECT_TRUE(Frm.Closed());
    } else {
      EXPECT_FALSE(Frm.Closed());
      EXPECT_EQ(Frm.URLIndex, c.URLIndex);
      EXPECT_TRUE(Frm.PausedTxt->isHidden());
    }
  }
}

TEST_F(ImageFrmTest, IntervalThreeAdvancesEveryThirtyTicksAndPPauses) {
  const std::vector<std::string> urls = {"http://h/0.png", "http://h/1.png", "http://h/2.png",
                                         "http://h/3.png"};
  for (const auto& u : urls) StoreImage(u);
  ASSERT_TRUE(Frm.BeginSlideShow(Web.Path, urls, 3, 0));
  EXPECT_TRUE(Frm.Timer1->isActive());
  EXPECT_EQ(Frm.Timer1->interval(), 100);
  for (int i = 0; i < 29; ++i) Frm.Timer1Timer();
  EXPECT_EQ(Frm.URLIndex, 0);
  Frm.Timer1Timer();
  EXPECT_EQ(Frm.URLIndex, 1);
  EXPECT_EQ(Frm.TickCount, 0);
  for (int i = 0; i < 30; ++i) Frm.Timer1Timer();
  EXPECT_EQ(Frm.URLIndex, 2);

  EXPECT_EQ(Frm.PausedTxt->text(), "Paused !");
  Frm.FormKeyDown(Qt::Key_P);
  EXPECT_FALSE(Frm.Timer1->isActive());
  EXPECT_FALSE(Frm.PausedTxt->isHidden());
  EXPECT_EQ(Frm.URLIndex, 2);
  Frm.FormKeyDown(Qt::Key_F1);  // resumes with a step at once
  EXPECT_TRUE(Frm.Timer1->isActive());
  EXPECT_TRUE(Frm.PausedTxt->isHidden());
  EXPECT_EQ(Frm.URLIndex, 3);
}

TEST_F(ImageFrmTest, ALongRunWithoutImagesLetsMessagesRun) {
  std::vector<std::string> urls;
  for (int i = 0; i < 250; ++i) urls.push_back("http://h/empty" + std::to_string(i) + ".png");
  urls.push_back("http://h/last.png");
  const std::string last = StoreImage("http://h/last.png");
  bool ran = false;
  QTimer::singleShot(0, &Frm, [&] { ran = true; });
  ASSERT_TRUE(Frm.BeginSlideShow(Web.Path, urls, 0, 0));
  EXPECT_TRUE(ran);
  EXPECT_EQ(Frm.Image->ImageFile, last);

  // Esc while the run lets messages in closes the viewer.
  QCoreApplication::postEvent(&Frm,
                              new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
  EXPECT_FALSE(Frm.BeginSlideShow(Web.Path, urls, 0, 0));
  EXPECT_TRUE(Frm.Closed());
}

TEST_F(ImageFrmTest, SingleImageModeClosesOnAnyKeyOrClick) {
  const std::string pic = StoreImage("http://h/one.png");
  Frm.BeginShowImage(pic);
  EXPECT_EQ(Frm.Image->ImageFile, pic);
  EXPECT_FALSE(Frm.Image->isHidden());
  Frm.FormKeyDown(Qt::Key_A);
  EXPECT_TRUE(Frm.Closed());
  Frm.BeginShowImage(pic);
  EXPECT_FALSE(Frm.Closed());
  Frm.ImageFrmMouseDown(Qt::LeftButton);
  EXPECT_TRUE(Frm.Closed());
}

TEST_F(ImageFrmTest, MouseButtonsStepForwardAndBack) {
  const std::vector<std::string> urls = {"http://h/0.png", "http://h/1.png", "http://h/2.png"};
  for (const auto& u : urls) StoreImage(u);
  ASSERT_TRUE(Frm.BeginSlideShow(Web.Path, urls, 0, 1));
  Frm.ImageFrmMouseDown(Qt::LeftButton);
  EXPECT_EQ(Frm.URLIndex, 2);
  Frm.ImageFrmMouseDown(Qt::RightButton);
  EXPECT_EQ(Frm.URLIndex, 1);
}

TEST_F(ImageFrmTest, AScreenWideImageStaysOnTheScreenCentred) {
  const QSize screen = Frm.screen()->geometry().size();
  const std::string pic = Web.Write("wide.png", test::PictureBytes(screen.width(), 100, Qt::red));
  Frm.Image->ImageFile = pic;
  Frm.PlaceImage();
  EXPECT_EQ(Frm.Image->FrameWidth(), 16);
  EXPECT_EQ(Frm.Image->width(), screen.width());
  EXPECT_EQ(Frm.Image->x(), 0);
  EXPECT_EQ(Frm.Image->y(), (screen.height() - Frm.Image->height()) / 2);
  EXPECT_LT(Frm.Image->height(), 100 + 32);
}

}  // namespace
}  // namespace qv
