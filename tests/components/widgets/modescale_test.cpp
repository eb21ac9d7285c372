#include "components/widgets/modescale.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QPixmap>

#include "components/widgets/screenmodeimage.h"
#include "components/widgets/smframedpanel.h"
#include "model/prompter.h"
#include "ui/uitest.h"

namespace qv {
namespace {

class ModeScaleTest : public test::UiTest {
 protected:
  ModeScaleTest() { SetScreen(800, 600); }
  ~ModeScaleTest() override {
    ScreenModeOverride = -1;
    ScreenSizeSource = Saved;
  }
  void SetScreen(int w, int h) {
    ScreenSizeSource = [w, h] { return QSize(w, h); };
  }

  std::function<QSize()> Saved = ScreenSizeSource;
  TScriptedPrompter Prompter;
};

TEST_F(ModeScaleTest, ScreenModes) {
  struct Case {
    int Override;
    QSize Screen;
    int Width, Height, Index;
  } cases[] = {
      {-1, {1152, 864}, 1152, 864, 4}, {-1, {1024, 768}, 1024, 768, 2},
      {-1, {640, 480}, 640, 480, 0},   {0, {1152, 864}, 640, 480, 0},
      {1, {1152, 864}, 800, 600, 1},   {2, {640, 480}, 1024, 768, 2},
      {3, {640, 480}, 1280, 1024, 3},  {4, {640, 480}, 1600, 1200, 4},
  };
  for (const auto& c : cases) {
    ScreenModeOverride = c.Override;
    SetScreen(c.Screen.width(), c.Screen.height());
    EXPECT_EQ(ModeScreenWidth(), c.Width) << c.Override << " " << c.Screen.width();
    EXPECT_EQ(ModeScreenHeight(), c.Height) << c.Override << " " << c.Screen.width();
    EXPECT_EQ(ScreenModeIndex(), c.Index) << c.Override << " " << c.Screen.width();
  }
}

TEST_F(ModeScaleTest, ImageTakesTheBestPictureAndItsSize) {
  TScreenModeImage image;
  EXPECT_EQ(image.GetActiveGraphic(), nullptr);
  image.SetPic(4, QPixmap(160, 120));
  const QPixmap* g = image.AdjustSize();
  ASSERT_EQ(g, &image.Pic(4));
  EXPECT_EQ(image.size(), QSize(80, 60));  // a 1600-mode picture on an 800-wide screen
  image.SetPic(2, QPixmap(100, 10));
  image.AdjustSize();
  EXPECT_EQ(image.size(), QSize(80, 60));  // the highest mode present still wins
  image.SetActivePic(QPixmap(50, 40));     // the picture of the 800 mode
  EXPECT_EQ(image.AdjustSize(), &image.Pic(1));
  EXPECT_EQ(image.size(), QSize(50, 40));
  image.Stretch = true;
  image.resize(7, 7);
  image.AdjustSize();
  EXPECT_EQ(image.size(), QSize(7, 7));
}

// The picture fills the control; with Transparent its bottom-left colour
// shows what lies behind; the paint event comes after the picture.
TEST_F(ModeScaleTest, ImagePaintsItsPicture) {
  QImage pic(4, 4, QImage::Format_RGB32);
  pic.fill(Qt::blue);
  pic.setPixel(0, 3, qRgb(255, 0, 0));
  pic.setPixel(3, 0, qRgb(255, 0, 0));
  for (bool transparent : {false, true}) {
    TScreenModeImage image;
    image.SetPic(1, QPixmap::fromImage(pic));
    image.SetTransparent(transparent);
    image.show();
    test::Pump();
    ASSERT_EQ(image.size(), QSize(4, 4));
    bool painted = false;
    image.OnPaint = [&](TScreenModeImage*, QPainter&) { painted = true; };
    QImage out(4, 4, QImage::Format_RGB32);
    out.fill(Qt::white);
    image.render(&out, QPoint(), QRegion(), QWidget::RenderFlags());
    EXPECT_TRUE(painted);
    EXPECT_EQ(out.pixel(1, 1), qRgb(0, 0, 255)) << transparent;
    const QRgb behind = transparent ? qRgb(255, 255, 255) : qRgb(255, 0, 0);
    EXPECT_EQ(out.pixel(0, 3), behind) << transparent;
    EXPECT_EQ(out.pixel(3, 0), behind) << transparent;
  }
}

// Without a recorded geometry the panel scales by the screen widths,
// rounding halves down.
TEST_F(ModeScaleTest, UnrecordedPanelScalesByTheScreenWidths) {
  struct Case {
    int Prev, Screen;
    QRect From, To;
    int FontFrom, FontTo;
  } cases[] = {
      {640, 1024, {10, 20, 100, 50}, {16, 32, 160, 80}, 12, 19},
      {640, 800, {2, 25, 6, 10}, {2, 31, 7, 12}, 12, 15},  // 2.5 -> 2, 31.25 -> 31, 7.5 -> 7
      {0, 1024, {10, 20, 100, 50}, {10, 20, 100, 50}, 12, 12},
      {-640, 1024, {10, 20, 100, 50}, {10, 20, 100, 50}, 12, 12},
  };
  for (const auto& c : cases) {
    TSMFramedPanel panel;
    panel.setGeometry(c.From);
    SetFontHeight(&panel, -c.FontFrom);
    panel.BeginLoad();
    panel.SetPrevScreenWidth(c.Prev);
    panel.EndLoad();
    SetScreen(c.Screen, 768);
    panel.ChangeScale();
    EXPECT_EQ(panel.geometry(), c.To) << c.Prev << " " << c.Screen;
    EXPECT_EQ(FontHeightOf(&panel), -c.FontTo) << c.Prev << " " << c.Screen;
    EXPECT_EQ(panel.PrevScreenWidth(), c.Screen);
  }
}

TEST_F(ModeScaleTest, RecordedGeometryIsApplied) {
  SetScreen(1024, 768);
  TSMFramedPanel panel;
  panel.setGeometry(1, 2, 3, 4);
  panel.BeginLoad();
  panel.SetLeft1024(5);
  panel.SetTop1024(6);
  panel.SetWidth1024(70);
  panel.SetHeight1024(80);
  panel.SetFont1024(-15);
  panel.SetLeft800(500);
  panel.EndLoad();
  panel.ChangeScale();
  EXPECT_EQ(panel.geometry(), QRect(5, 6, 70, 80));
  EXPECT_EQ(FontHeightOf(&panel), -15);

  // An image records no size: its size stays the picture's.
  TScreenModeImage image;
  image.SetPic(2, QPixmap(30, 20));
  image.BeginLoad();
  image.SetLeft1024(9);
  image.SetTop1024(11);
  image.EndLoad();
  image.ChangeScale();
  EXPECT_EQ(image.geometry(), QRect(9, 11, 30, 20));
}

// Outside loading the per-mode values change only by moving or resizing the
// control while designing.
TEST_F(ModeScaleTest, SettersOutsideLoadingShowWhyAndKeepTheValue) {
  TSMFramedPanel panel;
  panel.Prompter = &Prompter;
  struct Case {
    const char* Name;
    std::function<void()> Set;
    std::function<int()> Get;
    const char* Message;
  } cases[] = {
      {"Left800", [&] { panel.SetLeft800(5); }, [&] { return panel.Left800(); },
       TModeLayout::RepositionMessage},
      {"Top1600", [&] { panel.SetTop1600(5); }, [&] { return panel.Top1600(); },
       TModeLayout::RepositionMessage},
      {"Width640", [&] { panel.SetWidth640(5); }, [&] { return panel.Width640(); },
       TModeLayout::ResizeMessage},
      {"Height1280", [&] { panel.SetHeight1280(5); }, [&] { return panel.Height1280(); },
       TModeLayout::ResizeMessage},
      {"Font1024", [&] { panel.SetFont1024(5); }, [&] { return panel.Font1024(); },
       TModeLayout::ResizeMessage},
  };
  for (const auto& c : cases) {
    Prompter.Prompts.clear();
    c.Set();
    EXPECT_EQ(c.Get(), kNotRecorded) << c.Name;
    ASSERT_EQ(Prompter.Prompts.size(), 1u) << c.Name;
    EXPECT_EQ(Prompter.Prompts[0].Text, c.Message) << c.Name;
  }
  Prompter.Prompts.clear();
  panel.SetPrevScreenWidth(5);
  EXPECT_EQ(panel.PrevScreenWidth(), 800);
  EXPECT_TRUE(Prompter.Prompts.empty());
  EXPECT_EQ(std::string(TModeLayout::RepositionMessage),
            "This value can only be changed by repositioning the control while running in the "
            "appropriate screen mode");

  // Laid out by hand, a panel records its geometry for the current mode.
  QWidget form;
  TSMFramedPanel child(&form);
  form.show();
  test::Pump();
  child.Designing = true;
  child.setGeometry(3, 4, 50, 60);
  test::Pump();
  EXPECT_EQ(child.Left800(), 3);
  EXPECT_EQ(child.Top800(), 4);
  EXPECT_EQ(child.Width800(), 50);
  EXPECT_EQ(child.Height800(), 60);
  EXPECT_EQ(child.Left1024(), kNotRecorded);
}

}  // namespace
}  // namespace qv
