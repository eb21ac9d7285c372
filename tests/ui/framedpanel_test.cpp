#include "ui/controls/framedpanel.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <QApplication>
#include <QDropEvent>
#include <QImage>
#include <QMimeData>
#include <QVBoxLayout>

#include "ui/uitest.h"

namespace qv {
namespace {

const QColor kBack(0x12, 0x34, 0x56), kLead(0xFF, 0, 0), kFlat(0, 0xFF, 0), kTrail(0, 0, 0xFF);

class FramedPanelTest : public test::UiTest {
 protected:
  FramedPanelTest() {
    QPalette pal = Panel.palette();
    pal.setColor(QPalette::Window, kBack);
    Panel.setPalette(pal);
    Panel.SetFrameColLead(kLead);
    Panel.SetFrameColFlat(kFlat);
    Panel.SetFrameColTrail(kTrail);
    Panel.resize(20, 10);
  }

  QImage Render() {
    QImage img(Panel.size(), QImage::Format_RGB32);
    img.fill(Qt::white);
    Panel.render(&img);
    return img;
  }

  TFramedPanel Panel;
};

TEST_F(FramedPanelTest, CreationStateDrawsNothingOverTheBackground) {
  TFramedPanel fresh;
  EXPECT_EQ(fresh.FrameThickOuter() + fresh.FrameThickMid() + fresh.FrameThickInner(), 0);
  EXPECT_EQ(fresh.FrameColLead(), QColor(0xFF, 0xFF, 0xFF));
  EXPECT_EQ(fresh.FrameColFlat(), QColor(0x80, 0x80, 0x80));
  EXPECT_EQ(fresh.FrameColTrail(), QColor(0, 0, 0));
  EXPECT_TRUE(fresh.BorderTop() && fresh.BorderRight() && fresh.BorderBottom() &&
              fresh.BorderLeft());

  const QImage img = Render();
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) ASSERT_EQ(img.pixelColor(x, y), kBack) << x << "," << y;
}

TEST_F(FramedPanelTest, OuterBandOfOneHasLeadTopLeftTrailBottomRightAndItsCorners) {
  Panel.SetFrameThickOuter(1);
  const QImage img = Render();
  const int r = 19, b = 9;
  // Top runs left to right without its end pixel, right runs down from the
  // top: the top-right corner is trail. Bottom runs right to left, left runs
  // up from the bottom: the bottom-left corner is lead.
  EXPECT_EQ(img.pixelColor(0, 0), kLead);
  EXPECT_EQ(img.pixelColor(r, 0), kTrail);
  EXPECT_EQ(img.pixelColor(0, b), kLead);
  EXPECT_EQ(img.pixelColor(r, b), kTrail);
  for (int x = 1; x < r; ++x) {
    EXPECT_EQ(img.pixelColor(x, 0), kLead) << x;
    EXPECT_EQ(img.pixelColor(x, b), kTrail) << x;
    EXPECT_EQ(img.pixelColor(x, 1), kBack) << x;
  }
  for (int y = 1; y < b; ++y) {
    EXPECT_EQ(img.pixelColor(0, y), kLead) << y;
    EXPECT_EQ(img.pixelColor(r, y), kTrail) << y;
  }
}

TEST_F(FramedPanelTest, BandsMeetInMitresAndTheInnerBandIsSunk) {
  Panel.SetFrameThickOuter(2);
  Panel.SetFrameThickMid(1);
  Panel.SetFrameThickInner(1);
  const QImage img = Render();
  struct {
    int X, Y;
    QColor Want;
  } cases[] = {
      {1, 1, kLead},    // second outer line: top covers its start, left stops short of it
      {18, 1, kTrail},  // the right side's start pixel
      {2, 5, kFlat},   {17, 5, kFlat}, {10, 2, kFlat},
      {10, 7, kFlat},  {3, 5, kTrail},  // inner band: left and top in trail
      {10, 3, kTrail}, {16, 5, kLead}, {10, 6, kLead},
      {4, 5, kBack},   {10, 4, kBack},
  };
  for (const auto& c : cases) EXPECT_EQ(img.pixelColor(c.X, c.Y), c.Want) << c.X << "," << c.Y;
}

TEST_F(FramedPanelTest, SidesSwitchedOffAreNotDrawnAndChildrenStayInsideTheOthers) {
  Panel.resize(100, 60);
  auto* layout = new QVBoxLayout(&Panel);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* child = new QWidget;
  layout->addWidget(child);
  Panel.SetBorderTop(false);
  Panel.SetFrameThickOuter(4);
  Panel.show();
  test::Pump();
  EXPECT_EQ(child->geometry(), QRect(4, 0, 92, 56));
  const QImage img = Render();
  EXPECT_EQ(img.pixelColor(50, 0), kBack);
  EXPECT_EQ(img.pixelColor(0, 30), kLead);

  Panel.SetFrameThickOuter(-3);
  EXPECT_EQ(Panel.FrameThickOuter(), 0);
  test::Pump();
  EXPECT_EQ(child->geometry(), QRect(0, 0, 100, 60));
}

TEST_F(FramedPanelTest, DroppedFilesArriveAsFullPathsInOrder) {
  const std::string longName = "/tmp/" + std::string(1200, 'n');
  std::vector<std::vector<std::string>> calls;
  QMimeData md;
  md.setData("text/uri-list",
             QByteArray::fromStdString("file:///home/u/one.txt\r\n# comment\r\nfile://" + longName +
                                       "\r\nfile:///home/u/with%20blanks%20here.txt\r\n"));
  // Qt delivers a drop only to a widget that accepted the drag's entry.
  auto drop = [&](QPoint at) {
    QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, &md, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&Panel, &enter);
    QDropEvent e(at, Qt::CopyAction | Qt::MoveAction, &md, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&Panel, &e);
    return e.isAccepted();
  };

  EXPECT_FALSE(Panel.acceptDrops());
  EXPECT_FALSE(drop(QPoint(5, 5)));  // no handler
  Panel.SetOnDropFiles([&](QObject* sender, const std::vector<std::string>& files) {
    EXPECT_EQ(sender, &Panel);
    calls.push_back(files);
  });
  EXPECT_TRUE(Panel.acceptDrops());
  EXPECT_FALSE(drop(QPoint(50, 50)));  // outside the panel
  EXPECT_TRUE(calls.empty());

  EXPECT_TRUE(drop(QPoint(5, 5)));
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0], (std::vector<std::string>{"/home/u/one.txt", longName,
                                                "/home/u/with blanks here.txt"}));

  Panel.SetOnDropFiles({});
  EXPECT_FALSE(Panel.acceptDrops());
}

}  // namespace
}  // namespace qv
