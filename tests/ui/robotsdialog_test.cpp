#include "ui/robotsdialog.h"

#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QListWidget>
#include <QPaintDevice>
#include <QPaintEngine>
#include <QTest>
#include <QTextItem>

#include "engine/robots.h"
#include "ui/uitest.h"

namespace qv {
namespace {

// A paint device that keeps the texts drawn on it, with their widths.
class TTextRecorder : public QPaintDevice {
 public:
  struct TDrawn {
    QString Text;
    qreal Width;
  };
  std::vector<TDrawn> Drawn;

  QPaintEngine* paintEngine() const override { return &Engine; }

 protected:
  int metric(PaintDeviceMetric m) const override {
    switch (m) {
      case PdmWidth:
      case PdmHeight:
        return 2000;
      case PdmDpiX:
      case PdmDpiY:
      case PdmPhysicalDpiX:
      case PdmPhysicalDpiY:
        return 96;
      case PdmDepth:
        return 32;
      case PdmDevicePixelRatio:
        return 1;
      case PdmDevicePixelRatioScaled:
        return static_cast<int>(devicePixelRatioFScale());
      default:
        return 0;
    }
  }

 private:
  class TEngine : public QPaintEngine {
   public:
    explicit TEngine(TTextRecorder& owner) : QPaintEngine(AllFeatures), Owner(owner) {}
    bool begin(QPaintDevice*) override { return true; }
    bool end() override { return true; }
    void updateState(const QPaintEngineState&) override {}
    void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
    void drawPath(const QPainterPath&) override {}
    void drawTextItem(const QPointF&, const QTextItem& item) override {
      Owner.Drawn.push_back({item.text(), item.width()});
    }
    Type type() const override { return User; }

   private:
    TTextRecorder& Owner;
  };
  mutable TEngine Engine{*this};
};

class RobotsDlgTest : public test::UiTest {
 protected:
  TRobotsStore Store;
  TRobotsDlg Dlg{&Store};
};

QStringList Items(QListWidget* l) {
  QStringList v;
  for (int i = 0; i < l->count(); ++i) v << l->item(i)->text();
  return v;
}

TEST_F(RobotsDlgTest, ShowingTheWindowListsWhatTheStoreLearned) {
  Dlg.show();
  EXPECT_TRUE(Items(Dlg.ListBox1).isEmpty());
  Store.ParseRobotsTxt("http://s.example", "User-agent: *\nDisallow: /cgi-bin/\n", "Agent");
  Store.AddNoFollow("http://s.example/page.html");
  Dlg.hide();
  Dlg.show();  // the lists are read again at every showing
  EXPECT_EQ(Items(Dlg.ListBox1), QStringList{"http://s.example/cgi-bin/"});
  EXPECT_EQ(Items(Dlg.ListBox2), QStringList{"http://s.example/page.html"});
  EXPECT_EQ(Dlg.windowTitle(), "Robot exclusions:-");
}

TEST_F(RobotsDlgTest, LongEntriesKeepBothEnds) {
  const QFontMetrics fm(Dlg.font());
  const QString longUrl = "http://a.example/" + QString(200, 'x') + "/end.html";
  const int width = 200;
  const QString fitted = FitTextMiddle(longUrl, fm, width);
  EXPECT_TRUE(fitted.contains(">><<"));
  EXPECT_TRUE(fitted.startsWith("http://"));
  EXPECT_TRUE(fitted.endsWith(".html"));
  EXPECT_LE(fm.horizontalAdvance(fitted), width);
  EXPECT_EQ(FitTextMiddle("short", fm, width), "short");
  EXPECT_EQ(FitTextMiddle(longUrl, fm, 0), ">><<");
}

// Each entry is drawn once, as its middle-cut fit to the list: drawing the
// item's own text under the fitted one left two texts over each other.
TEST_F(RobotsDlgTest, EachEntryIsDrawnOnceFittedToTheList) {
  const std::string longUrl = "http://a.example/" + std::string(300, 'x') + "/end.html";
  Store.AddNoFollow(longUrl);
  Store.AddNoFollow("http://a.example/short.html");
  Dlg.show();
  test::Pump();
  TTextRecorder device;
  Dlg.ListBox2->render(&device);
  std::vector<QString> texts;
  for (const auto& d : device.Drawn) {
    if (!d.Text.contains("a.example")) continue;
    texts.push_back(d.Text);
    EXPECT_LE(d.Width, Dlg.ListBox2->viewport()->width()) << d.Text.toStdString();
  }
  // The store lists its entries in order: the short one first.
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0].toStdString(), "http://a.example/short.html");
  EXPECT_TRUE(texts[1].startsWith("http://a.example/xx")) << texts[1].toStdString();
  EXPECT_TRUE(texts[1].contains(">><<")) << texts[1].toStdString();
  EXPECT_TRUE(texts[1].endsWith("x/end.html")) << texts[1].toStdString();
}

}  // namespace
}  // namespace qv
