#include "ui/controls/tvimagepanel.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include <QTextBlock>
#include <QTextDocument>
#include <QTextImageFormat>
#include <QTimer>

#include "support/envscope.h"
#include "support/scratchdir.h"
#include "ui/imagetest.h"
#include "ui/uitest.h"

namespace qv {
namespace {

// The picture the browser's document shows (the first image it names), as
// the document resolves it.
QImage ShownImage(TWebBrowser& b) {
  QTextDocument* doc = b.document();
  for (QTextBlock blk = doc->begin(); blk.isValid(); blk = blk.next())
    for (auto it = blk.begin(); !it.atEnd(); ++it) {
      const QTextCharFormat f = it.fragment().charFormat();
      if (f.isImageFormat())
        return doc->resource(QTextDocument::ImageResource, QUrl(f.toImageFormat().name()))
            .value<QImage>();
    }
  return {};
}

class TvImagePanelTest : public test::UiTest {
 protected:
  TvImagePanelTest() { Env.Set("QUENDRAVILOS_HOME", Home.Path); }
  test::TScratchDir Home;
  test::TScratchDir Dir;
  test::TEnvScope Env;
};

TEST(ImagePage, TheOneImagePage) {
  EXPECT_EQ(ImagePageText("/m/http/site/pic/Data.gif", 30, 20),
            "<html>\n<body leftmargin=0 topmargin=0>\n"
            "<img src=\"file:///m/http/site/pic/Data.gif\" height=20 width=30>\n"
            "</body>\n</html>");
}

TEST_F(TvImagePanelTest, APageLoadsItsImageWhateverTheFileName) {
  const char* names[] = {"plain.png",       "with blank.png", "hash#1.png", "a&b.png",
                         "quote\"q.png",    "apos'.png",      "pct%41.png", "colon:x.png",
                         "back\\slash.png", "l\xe9tin.png",   "<tag>.png"};
  for (const char* name : names) {
    SCOPED_TRACE(name);
    const std::string path = Dir.Write(name, test::PictureBytes(7, 5, Qt::red));
    TWebBrowser b;
    b.NavigateText(ImagePageText(path, 14, 10), "");
    test::Pump();
    ASSERT_TRUE(b.HasDocument());
    const QImage shown = ShownImage(b);
    ASSERT_FALSE(shown.isNull());
    EXPECT_EQ(shown.size(), QSize(14, 10));  // drawn at the page's size
    EXPECT_EQ(shown.pixelColor(3, 3), QColor(Qt::red));
  }
}

TEST(FitPanel, SizesTheFrameAroundTheFittedImage) {
  struct TCase {
    const char* Name;
    int W, H, MaxW, MaxH, Frame;
    TPanelSize Want;
  } cases[] = {
      {"fits as it is", 100, 50, 1024, 768, 16, {132, 82}},
      {"wide image on a small screen", 2000, 1000, 1024, 768, 16, {1024, 528}},
      {"tall image", 500, 2000, 1024, 768, 16, {216, 768}},
      {"exactly screen-wide stays on the screen", 1024, 500, 1024, 768, 16, {1024, 516}},
      {"fits with its frame exactly", 992, 736, 1024, 768, 16, {1024, 768}},
      {"room smaller than the frame", 100, 100, 20, 20, 16, {32, 32}},
      {"no size known", 0, 0, 100, 100, 4, {8, 8}},
      {"huge image, no overflow", 40000, 30000, 1920, 1080, 16, {1429, 1080}},
      {"no frame", 300, 300, 200, 100, 0, {100, 100}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(FitPanelSize(c.W, c.H, c.MaxW, c.MaxH, c.Frame), c.Want);
  }
}

TEST_F(TvImagePanelTest, FrameImageResizesOnlyOnAChange) {
  QWidget parent;
  TTvImagePanel panel(&parent);
  panel.SetFrameThickOuter(2);
  panel.SetFrameThickInner(1);
  panel.ImageFile = Dir.Write("p.png", test::PictureBytes(40, 30, Qt::green));
  panel.FrameImage(200, 200, false);
  EXPECT_EQ(panel.size(), QSize(46, 36));
  EXPECT_FALSE(panel.isHidden());
  panel.FrameImage(200, 200, true);  // same size: stays shown
  EXPECT_FALSE(panel.isHidden());
  panel.FrameImage(26, 100, true);
  EXPECT_EQ(panel.size(), QSize(26, 21));
  EXPECT_TRUE(panel.isHidden());
  // The browser fills the inside of the frame.
  EXPECT_EQ(panel.ViewBrowser->geometry(), QRect(0, 0, 20, 15));
  EXPECT_EQ(panel.InnerPanel->geometry(), QRect(3, 3, 20, 15));
}

TEST_F(TvImagePanelTest, LoadPageShowsThePanelWhenThePageIsComplete) {
  QWidget parent;
  TTvImagePanel panel(&parent);
  panel.SetFrameThickOuter(2);
  panel.ImageFile = Dir.Write("my pic.png", test::PictureBytes(20, 10, Qt::blue));
  panel.FrameImage(100, 100, false);
  panel.hide();
  panel.ShowOnComplete = 1;
  EXPECT_EQ(panel.LoadPage(), 1);
  EXPECT_TRUE(panel.isHidden());  // not before the page is there
  test::Pump();
  EXPECT_FALSE(panel.isHidden());
  EXPECT_EQ(panel.ShowOnComplete, 0);
  EXPECT_EQ(ShownImage(*panel.ViewBrowser).pixelColor(1, 1), QColor(Qt::blue));
  // The page's copy goes to the program folder.
  EXPECT_EQ(TTvImagePanel::PageFileName(), Home.Path + "/IEImPage.htm");
  EXPECT_EQ(test::ReadBytes(Home / "IEImPage.htm"), ImagePageText(panel.ImageFile, 20, 10));

  panel.ImageFile = "";
  EXPECT_EQ(panel.LoadPage(), 0);
  EXPECT_TRUE(panel.isHidden());
}

TEST_F(TvImagePanelTest, TwoPanelsShowTheirOwnImagesAndNeedNoWritableFolder) {
  // A program folder that cannot be made: the page is shown all the same.
  const std::string blocker = Dir.Write("file", "x");
  Env.Set("QUENDRAVILOS_HOME", blocker + "/home");
  QWidget parent;
  TTvImagePanel a(&parent), b(&parent);
  a.ImageFile = Dir.Write("a.png", test::PictureBytes(8, 8, Qt::red));
  b.ImageFile = Dir.Write("b.png", test::PictureBytes(8, 8, Qt::green));
  a.FrameImage(100, 100, false);
  b.FrameImage(100, 100, false);
  EXPECT_EQ(a.LoadPage(), 1);
  EXPECT_EQ(b.LoadPage(), 1);
  test::Pump();
  EXPECT_EQ(ShownImage(*a.ViewBrowser).pixelColor(2, 2), QColor(Qt::red));
  EXPECT_EQ(ShownImage(*b.ViewBrowser).pixelColor(2, 2), QColor(Qt::green));
}

// Records what it is asked to print; refuses the documents named in Refuse.
class TFakePrinter : public TDocPrinter {
 public:
  bool Print(QTextDocument& doc, std::string& error) override {
    const std::string url = doc.metaInformation(QTextDocument::DocumentUrl).toStdString();
    if (url == Refuse) {
      error = "Printer jammed";
      return false;
    }
    Printed.push_back(url);
    Texts.push_back(doc.toPlainText().toStdString());
    return true;
  }
  std::vector<std::string> Printed;
  std::vector<std::string> Texts;
  std::string Refuse;
};

class PrintQueueTest : public TvImagePanelTest {
 protected:
  PrintQueueTest() {
    Panel.SetPrinter(Printer);
    Panel.SetOnStatus([this](const std::string& s) { Messages.push_back(s); });
  }

  // Runs the event loop and the print timer's ticks until the queue is done.
  void Drain() {
    for (int i = 0; i < 200 && !(Panel.PrintQueue.empty() && !Panel.PrintTimer->isActive()); ++i) {
      test::Pump();
      Panel.Timer1Timer();
    }
    EXPECT_TRUE(Panel.PrintQueue.empty());
  }

  std::shared_ptr<TFakePrinter> Printer = std::make_shared<TFakePrinter>();
  std::vector<std::string> Messages;
  TTvImagePanel Panel;
};

TEST_F(PrintQueueTest, TwoFilesPrintInOrderTheSecondAfterTheFirst) {
  const std::string first = Dir.Write("first.txt", "first text");
  const std::string second = Dir.Write("second.png", test::PictureBytes(5, 5, Qt::red));
  Panel.PrintResource(first);
  Panel.PrintResource(second);
  EXPECT_EQ(Panel.PrintQueue, (std::vector<std::string>{first, second}));
  EXPECT_EQ(Panel.PrintBrowser->LocationURL(), first);
  EXPECT_TRUE(Panel.PrintTimer->isActive());
  EXPECT_EQ(Panel.PrintPending, 1);
  test::Pump();
  // Printed only once the browser has been idle for four ticks.
  for (int i = 0; i < 3; ++i) Panel.Timer1Timer();
  EXPECT_TRUE(Printer->Printed.empty());
  Panel.Timer1Timer();
  EXPECT_EQ(Printer->Printed, std::vector<std::string>{first});
  EXPECT_EQ(Panel.PrintQueue, std::vector<std::string>{second});
  EXPECT_EQ(Panel.PrintBrowser->LocationURL(), second);
  Drain();
  EXPECT_EQ(Printer->Printed, (std::vector<std::string>{first, second}));
  EXPECT_EQ(Printer->Texts[0], "first text");
  EXPECT_TRUE(Messages.empty());
  EXPECT_FALSE(Panel.PrintTimer->isActive());
  EXPECT_EQ(Panel.PrintPending, 0);
}

TEST_F(PrintQueueTest, AFileThatFailsIsDroppedAndTheNextGoesOn) {
  const std::string missing = Dir / "missing.png";
  const std::string jammed = Dir.Write("jammed.txt", "j");
  const std::string last = Dir.Write("last.txt", "last");
  Printer->Refuse = jammed;
  Panel.PrintResource(missing);
  Panel.PrintResource(jammed);
  Panel.PrintResource("http://127.0.0.1:1/remote.html");
  Panel.PrintResource(last);
  Drain();
  EXPECT_EQ(Printer->Printed, std::vector<std::string>{last});
  EXPECT_EQ(Messages, (std::vector<std::string>{
                          "Cannot print " + missing + ": File not found", "Printer jammed",
                          "Cannot print http://127.0.0.1:1/remote.html: Not a local file"}));
}

TEST_F(TvImagePanelTest, WithoutBrowsersNothingIsShownOrPrinted) {
  TTvImagePanel panel(nullptr, false);
  EXPECT_EQ(panel.ViewBrowser, nullptr);
  panel.ImageFile = Dir.Write("p.png", test::PictureBytes(4, 4, Qt::red));
  EXPECT_EQ(panel.LoadPage(), 0);
  panel.PrintImage();
  EXPECT_TRUE(panel.PrintQueue.empty());
  EXPECT_FALSE(panel.PrintTimer->isActive());
}

}  // namespace
}  // namespace qv
