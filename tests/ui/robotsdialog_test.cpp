#include "ui/robotsdialog.h"

#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QListWidget>
#include <QTest>

#include "engine/robots.h"
#include "ui/uitest.h"

namespace qv {
namespace {

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

}  // namespace
}  // namespace qv
