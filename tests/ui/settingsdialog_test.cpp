#include "ui/settingsdialog.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>

#include "model/leregistry.h"
#include "model/viewfilter.h"
#include "model/vkconfig.h"
#include "platform/store.h"
#include "support/envscope.h"
#include "ui/controls/filtergrid.h"
#include "ui/mimefilterdialog.h"
#include "ui/uitest.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

class SettingsDlgTest : public test::UiTest {
 protected:
  void SetUp() override {
    Home.Env.Set("http_proxy", nullptr);
    Home.Env.Set("HTTP_PROXY", nullptr);
    SetRegistryKey(ProgramRegistryKey);
    Key = std::make_unique<TValueFile>(Home.SettingsFile());
    ASSERT_TRUE(Key->Create());
    Dlg.SetPublishTarget(&Published);
    Dlg.SetMimeFilterDlg(&Mime);
    Mime.SetPublishTarget(&PublishedMime);
    Dlg.OnModified = [this] { ++ModifiedCount; };
    Dlg.SetPrompter(&Prompter);
  }
  std::vector<std::string> Messages() const {
    std::vector<std::string> m;
    for (const auto& p : Prompter.Prompts)
      if (p.Kind == "message") m.push_back(p.Text);
    return m;
  }
  void TearDown() override { SetRegistryKey(""); }
  template <class W>
  W* Get(const char* name) {
    auto* w = qobject_cast<W*>(Dlg.Control(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  std::string WriteFile(const std::string& name, const std::string& bytes) {
    const std::string path = Dir + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }

  test::TScratchHome Home;
  std::string Dir = Home.Dir.Path;
  std::unique_ptr<TValueFile> Key;
  TPublished<TSettings> Published;
  TPublished<TMimeFilter> PublishedMime;
  TMimeFilterDlg Mime;
  TSettingsDlg Dlg;
  int ModifiedCount = 0;
  TScriptedPrompter Prompter;
};

TSettings Sample() {
  TSettings s = FormDefaults();
  s.LinkFollowGrid = {{"*.example.com/*", 2}, {"*/x/*", 0x0306}};
  s.EnterNoRobChk = false;
  s.OnlyHTMChk = s.AllMimeChk = false;  // a radio pair stored all off
  s.SeqDLChk = true;
  s.NeverDLChk = false;
  s.TimeOutUD = 120;
  s.DLRetriesUD = 0;
  s.LocWebEd = "/srv/m\xe9rror";
  s.HomePageEd = "http://h.example/";
  s.BRChk = true;
  s.TLChk = false;
  s.HrsUD = 5;
  s.MinsUD = 7;
  s.RepeatTimeCombo = "12";
  s.RepeatUnitsCombo = "Secs.";
  s.StayConUD = 999;
  s.PrjGrid = {{"/p/a.mpj", kNewScheduleRowAttr}};
  s.HTTPPrPortEdit = "8080";
  s.PrPWEdit = "secret";
  s.CaFiLiEd = "30";
  s.DialupsUD = 10;
  return s;
}

TEST_F(SettingsDlgTest, ShowsAndCapturesEveryOption) {
  EXPECT_EQ(Dlg.Capture(), FormDefaults());
  const TSettings s = Sample();
  Dlg.Apply(s);
  EXPECT_EQ(Dlg.Capture(), s);
  EXPECT_EQ(*Published.Get(), s);
  EXPECT_FALSE(Get<QRadioButton>("OnlyHTMChk")->isChecked());
  EXPECT_FALSE(Get<QRadioButton>("AllMimeChk")->isChecked());
  EXPECT_EQ(ModifiedCount, 0);  // showing values is no edit
}

TEST_F(SettingsDlgTest, CanFollowLinkReadsTheGridRows) {
  EXPECT_TRUE(Dlg.CanFollowLink("http://a.com/x/y.html", ""));
  TSettings s = Dlg.Capture();
  s.LinkFollowGrid = {{"*/x/*", fcNo}, {"Keep*", fcAllT}};
  Dlg.Apply(s);
  EXPECT_FALSE(Dlg.CanFollowLink("http://a.com/x/y.html", "other"));
  EXPECT_TRUE(Dlg.CanFollowLink("http://a.com/x/y.html", "keep this"));
  EXPECT_TRUE(Dlg.CanFollowLink("http://a.com/z.html", ""));
}

TEST_F(SettingsDlgTest, EveryTableOptionHasItsControl) {
  for (const auto& o : SettingsOptions()) {
    QWidget* w = Dlg.Control(o.Control);
    ASSERT_NE(w, nullptr) << o.Control;
    if (o.HelpContext) {
      EXPECT_EQ(w->property("HelpContext").toInt(), o.HelpContext) << o.Control;
    }
  }
  EXPECT_EQ(Dlg.windowTitle(), "Settings:-");
  // The designed client area, or larger where the font needs more room.
  EXPECT_GE(Dlg.width(), 399);
  EXPECT_GE(Dlg.height(), 448);
  ASSERT_EQ(Dlg.Pages()->count(), 5);
  EXPECT_EQ(Dlg.Pages()->tabText(0), "Quick mirror");
  EXPECT_EQ(Dlg.Pages()->tabText(4), "Configuration");
}

TEST_F(SettingsDlgTest, UserChangesArePublishedAndMarkTheProject) {
  Get<QCheckBox>("SpiderFTPChk")->click();
  EXPECT_TRUE(Published.Get()->SpiderFTPChk);
  Get<QSpinBox>("TimeOutUD")->setValue(60);
  EXPECT_EQ(Published.Get()->TimeOutUD, 60);
  Get<QRadioButton>("IECookChk")->click();
  EXPECT_TRUE(Published.Get()->IECookChk);
  EXPECT_FALSE(Published.Get()->DisCookChk);
  EXPECT_EQ(ModifiedCount, 3);
  QTest::keyClicks(Get<QLineEdit>("UserAgEd"), "Agent");
  EXPECT_EQ(Published.Get()->UserAgEd, "Agent");
}

TEST_F(SettingsDlgTest, ResumeIsEnabledOnlyWithNeverDownload) {
  EXPECT_TRUE(Get<QCheckBox>("ResParChk")->isEnabled());
  Get<QRadioButton>("OlderDLChk")->click();
  EXPECT_FALSE(Get<QCheckBox>("ResParChk")->isEnabled());
  Get<QRadioButton>("NeverDLChk")->click();
  EXPECT_TRUE(Get<QCheckBox>("ResParChk")->isEnabled());
}

TEST_F(SettingsDlgTest, KeyFilters) {
  Dlg.show();
  auto* hrs = Get<QSpinBox>("HrsUD");
  hrs->setFocus();
  QTest::keyClicks(hrs, "5");  // typing is discarded
  QTest::keyClick(hrs, Qt::Key_Up);
  EXPECT_EQ(hrs->value(), 0);
  hrs->stepBy(5);  // the arrows
  EXPECT_EQ(hrs->text(), "05");
  Get<QSpinBox>("MinsUD")->setValue(7);
  auto* units = Get<QComboBox>("RepeatUnitsCombo");
  units->setCurrentIndex(1);
  QTest::keyClicks(units, "x");
  EXPECT_EQ(units->currentText(), "Mins.");
  auto* life = Get<QLineEdit>("CaFiLiEd");
  life->clear();
  QTest::keyClicks(life, "1a%'4");
  EXPECT_EQ(life->text(), "14");
  Dlg.FormHide();
  EXPECT_EQ(RegReadInteger(RegDailyTime), 307);
  EXPECT_EQ(RegReadString(RegCacheFileLife), "14");
}

TEST_F(SettingsDlgTest, StoreLoadOnShowAndSaveOnHide) {
  SeedSettingsStore();
  RegWriteString(RegEmail, "me@example.com");
  RegWriteString(RegHTTPProxy, "?");  // no system proxy in this test
  RegWriteInteger(RegHTTPProxyPort, 0);
  std::string seenDir;
  Dlg.OnLocalWebDir = [&](const std::string& d) { seenDir = d; };
  Get<QLineEdit>("LocWebEd")->setText("/srv/web");
  Dlg.FormShow();
  EXPECT_EQ(Get<QLineEdit>("EmailEdit")->text(), "me@example.com");
  EXPECT_EQ(Get<QLineEdit>("HTTPPrEdit")->text(), "");
  EXPECT_EQ(Get<QLineEdit>("HTTPPrPortEdit")->text(), "0");
  EXPECT_EQ(Get<QLineEdit>("CaFiLiEd")->text(), "14");
  EXPECT_EQ(Published.Get()->EmailEdit, "me@example.com");
  Dlg.FormHide();
  EXPECT_EQ(RegReadString(RegHTTPProxy), "");
  EXPECT_EQ(seenDir, "/srv/web");
}

TEST_F(SettingsDlgTest, ScheduleBoxesFollowTheSelectedRow) {
  TSettings s = FormDefaults();
  s.PrjGrid = {{"/p/a.mpj", kNewScheduleRowAttr}, {"/p/b.mpj", 0x00F03E03}};
  Dlg.Apply(s);
  TFilterGrid* g = Dlg.PrjGrid();
  auto checked = [](const std::vector<QCheckBox*>& boxes) {
    std::string bits;
    for (auto* b : boxes) bits += b->isChecked() ? '1' : '0';
    return bits;
  };
  g->SetItemIndex(0);  // One shot: weekdays only
  EXPECT_TRUE(Dlg.WeekdayBoxes[0]->isEnabled());
  EXPECT_FALSE(Dlg.SlotBoxes[0]->isEnabled());
  EXPECT_EQ(checked(Dlg.WeekdayBoxes), "1111111");
  EXPECT_EQ(checked(Dlg.SlotBoxes), "111111111111");

  g->SetItemIndex(1);  // Cyclic: both
  EXPECT_TRUE(Dlg.SlotBoxes[0]->isEnabled());
  EXPECT_EQ(checked(Dlg.WeekdayBoxes), "0111110");
  EXPECT_EQ(checked(Dlg.SlotBoxes), "000011110000");
  Dlg.SlotBoxes[11]->click();    // 10pm
  Dlg.WeekdayBoxes[1]->click();  // Mon off
  EXPECT_EQ(g->Attr(1), 0x08F03C03u);
  EXPECT_EQ(Published.Get()->PrjGrid[1].Attr, 0x08F03C03u);

  // Choosing Cyclic for the first row enables its slots.
  g->SetItemIndex(0);
  g->setCurrentIndex(g->Model()->index(0, 1));
  g->BtnClick();
  g->DropListWidget()->setCurrentRow(3);
  g->SelListClick();
  EXPECT_EQ(g->GetByte0(0), 3);
  EXPECT_TRUE(Dlg.SlotBoxes[0]->isEnabled());

  g->SetItemIndex(-1);  // the empty entry row: nothing selected
  EXPECT_FALSE(Dlg.WeekdayBoxes[0]->isEnabled());
  EXPECT_EQ(checked(Dlg.WeekdayBoxes), "0000000");
}

TEST_F(SettingsDlgTest, AddScheduledProjects) {
  const std::string good =
      WriteFile("good.mpj", std::string("Quendravilos Ver. 1.0: URLs file") + "rest");
  const std::string bad = WriteFile("bad.mpj", "not a project");
  Prompter.Paths = {"", bad, good, good};
  Dlg.Button1Click();  // cancelled
  Dlg.Button1Click();
  EXPECT_EQ(Messages(), (std::vector<std::string>{"File: \"" + bad +
                                                  "\" is not a valid \"Mirror project\" file."}));
  Dlg.Button1Click();
  ASSERT_EQ(Dlg.PrjGrid()->Count(), 1);
  EXPECT_EQ(Dlg.PrjGrid()->Rows()[0], (TAtrRow{good, 0x0FFF7F02}));

  std::vector<TAtrRow> full(kMaxScheduleRows, TAtrRow{good, 0});
  Dlg.PrjGrid()->SetRows(full);
  Prompter.Prompts.clear();
  Dlg.Button1Click();
  EXPECT_EQ(Dlg.PrjGrid()->Count(), kMaxScheduleRows);
  EXPECT_EQ(Messages().size(), 1u);

  Dlg.PrjGrid()->SetItemIndex(0);
  Dlg.Button3Click();
  EXPECT_EQ(Dlg.PrjGrid()->Count(), kMaxScheduleRows - 1);
}

TEST_F(SettingsDlgTest, BrowsingForTheMirrorFolder) {
  auto* e = Get<QLineEdit>("LocWebEd");
  e->setText("/srv/old");
  Dlg.LocWebChanged = false;
  Dlg.LocWebBrBtnClick();  // cancelled
  EXPECT_EQ(e->text(), "/srv/old");
  EXPECT_FALSE(Dlg.LocWebChanged);
  Prompter.Paths = {"/srv/new"};
  Dlg.LocWebBrBtnClick();
  EXPECT_EQ(e->text(), "/srv/new");
  EXPECT_TRUE(Dlg.LocWebChanged);
  EXPECT_EQ(Prompter.Prompts.size(), 2u);
}

TEST_F(SettingsDlgTest, LinkFollowRowsFromEdits) {
  TSettings s = FormDefaults();
  s.LinkFollowGrid = {{"a", 2}, {"b", 3}};
  Dlg.Apply(s);
  Dlg.LinkFollowGridEdited(0, 1, "");     // cleared: the row goes
  Dlg.LinkFollowGridEdited(0, 2, "new");  // the entry row: a row with no choice
  Dlg.LinkFollowGridEdited(0, 1, "B2");   // replaced, choice kept
  EXPECT_EQ(Published.Get()->LinkFollowGrid, (std::vector<TAtrRow>{{"B2", 3}, {"new", 0}}));
  Dlg.LinkFollowGridEdited(0, 3, "");  // empty entry: nothing
  EXPECT_EQ(Dlg.LinkFollowGrid()->Count(), 2);
  EXPECT_EQ(ModifiedCount, 4);
}

TEST_F(SettingsDlgTest, ProjectSectionThroughTheWindows) {
  const std::string golden = ReadFileString(QV_TEST_DATA "/settings/project_section.bin");
  TMemoryStream in(golden);
  std::string seenDir;
  Dlg.OnLocalWebDir = [&](const std::string& d) { seenDir = d; };
  Dlg.LoadProjectSettings(in);
  EXPECT_EQ(seenDir, "/srv/mirror");
  EXPECT_FALSE(Get<QRadioButton>("OnlyHTMChk")->isChecked());
  EXPECT_FALSE(Get<QRadioButton>("AllMimeChk")->isChecked());
  EXPECT_TRUE(Get<QRadioButton>("BLChk")->isChecked());
  EXPECT_TRUE(Mime.UnknownChk->isChecked());
  EXPECT_EQ(PublishedMime.Get()->Patterns,
            (std::vector<std::string>{"audio/mpeg", "image/*", "text/html"}));
  EXPECT_EQ(Published.Get()->TimeOutUD, 45);
  TMemoryStream out;
  Dlg.SaveProjectSettings(out);
  EXPECT_EQ(out.Data(), golden);
}

TEST_F(SettingsDlgTest, MousePressRemembersTheHelpControl) {
  Dlg.show();
  auto* box = Get<QCheckBox>("UseModemChk");
  QTest::mousePress(box, Qt::RightButton);
  EXPECT_EQ(Dlg.HelpControl, box);
  QTest::mousePress(Get<QSpinBox>("DialupsUD"), Qt::LeftButton);
  EXPECT_EQ(Dlg.HelpControl->property("HelpContext").toInt(), 131);
}

}  // namespace
}  // namespace qv
