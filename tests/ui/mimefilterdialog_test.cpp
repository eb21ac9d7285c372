#include "ui/mimefilterdialog.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QRadioButton>

#include "ui/controls/checklistboxext.h"
#include "ui/uitest.h"

namespace qv {
namespace {

using Strings = std::vector<std::string>;

class MimeFilterDlgTest : public test::UiTest {
 protected:
  void SetUp() override {
    Dlg.SetPublishTarget(&Published);
    Dlg.SetPrompter(&Prompter);
  }
  void SetPatterns(const Strings& p, bool unknown = false) {
    TMimeFilter f;
    f.Patterns = p;
    f.SelOnlyChk = !unknown;
    f.UnknownChk = unknown;
    Dlg.SetFilter(f);
  }
  static Strings Checked(TCheckListBoxExt* l) {
    Strings v;
    for (int i = 0; i < l->count(); ++i)
      if (l->Checked(i)) v.push_back(l->ItemText(i));
    return v;
  }
  // Runs Execute with the user's actions given as a function.
  bool Run(std::function<void(TMimeFilterDlg*)> user) {
    Dlg.RunModal = [&](TMimeFilterDlg* d) {
      if (user) user(d);
    };
    return Dlg.Execute();
  }

  TPublished<TMimeFilter> Published;
  TMimeFilterDlg Dlg;
  TScriptedPrompter Prompter;
};

TEST_F(MimeFilterDlgTest, ExecuteWithoutAChangeKeepsThePatterns) {
  struct Case {
    const char* name;
    Strings patterns;
    Strings after;
    Strings otherChecked;
  } cases[] = {
      {"common wildcard", {"video/*"}, {"video/*"}, {}},
      {"subtype without a common item", {"audio/mpeg"}, {"audio/mpeg"}, {"audio/mpeg"}},
      {"unknown major type",
       {"text/html", "x-world/x-vrml"},
       {"text/html", "x-world/x-vrml"},
       {"x-world/x-vrml"}},
      {"pattern without a slash is dropped", {"garbage", "image/gif"}, {"image/gif"}, {}},
      {"capitals are kept as one lower-case type",
       {"AUDIO/X-FOO"},
       {"audio/x-foo"},
       {"audio/x-foo"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetPatterns(c.patterns);
    Strings seenOther;
    EXPECT_FALSE(Run([&](TMimeFilterDlg* d) { seenOther = Checked(d->OtherList); }));
    EXPECT_EQ(Dlg.Patterns(), c.after);
    EXPECT_EQ(seenOther, c.otherChecked);
    EXPECT_EQ(Published.Get()->Patterns, c.after);
  }
}

TEST_F(MimeFilterDlgTest, ChecksShowThePatterns) {
  SetPatterns({"video/*", "image/gif", "text/html"});
  Run([&](TMimeFilterDlg* d) {
    EXPECT_EQ(Checked(d->VideoList), (Strings{"*"}));
    EXPECT_EQ(Checked(d->ImageList), (Strings{"gif"}));
    EXPECT_EQ(Checked(d->TextList), (Strings{"html"}));
    EXPECT_TRUE(Checked(d->SoundList).empty());
  });
}

TEST_F(MimeFilterDlgTest, UserChecksBecomePatterns) {
  SetPatterns({"text/html"});
  const bool changed = Run([](TMimeFilterDlg* d) {
    d->TextList->item(2)->setCheckState(Qt::Unchecked);  // html, as a click does
    d->SoundList->item(7)->setCheckState(Qt::Checked);   // x-wav
    d->ImageList->item(0)->setCheckState(Qt::Checked);   // *
  });
  EXPECT_TRUE(changed);
  EXPECT_EQ(Dlg.Patterns(), (Strings{"audio/x-wav", "image/*"}));
  EXPECT_TRUE(Dlg.Match("image/png"));
  EXPECT_FALSE(Dlg.Match("text/html"));
}

TEST_F(MimeFilterDlgTest, AddAndRemoveOtherTypes) {
  SetPatterns({});
  const bool changed = Run([&](TMimeFilterDlg* d) {
    d->OtherEd->setText("no-slash");
    d->Button1Click();
    ASSERT_EQ(Prompter.Prompts.size(), 1u);
    EXPECT_EQ(Prompter.Prompts[0].Kind, "message");
    EXPECT_EQ(Prompter.Prompts[0].Text, "Mime content types must be of the form <Type>/<SubType>");
    EXPECT_EQ(d->OtherList->count(), 0);
    EXPECT_EQ(d->OtherEd->text(), "no-slash");

    d->OtherEd->setText("text/x-speech");
    d->Button1Click();
    d->OtherEd->setText("TEXT/X-SPEECH");
    d->Button1Click();  // equal ignoring case: not added twice
    EXPECT_EQ(d->OtherList->ItemTexts(), (Strings{"text/x-speech"}));
    EXPECT_EQ(d->OtherEd->text(), "");

    d->OtherList->SetSelectedItem(0);
    d->Button2Click();
    EXPECT_EQ(d->OtherEd->text(), "text/x-speech");
    EXPECT_EQ(d->OtherList->count(), 0);
  });
  EXPECT_TRUE(changed);
  Dlg.OtherList->clearSelection();
  Dlg.Button2Click();  // nothing selected: nothing happens
}

TEST_F(MimeFilterDlgTest, AssertionButtonsDecideTheMatch) {
  SetPatterns({"text/html"}, true);
  EXPECT_TRUE(Dlg.UnknownChk->isChecked());
  EXPECT_TRUE(Published.Get()->Match(""));
  bool changed = Run([](TMimeFilterDlg* d) { d->AllChk->click(); });
  EXPECT_TRUE(changed);
  EXPECT_TRUE(Published.Get()->AllChk);
  EXPECT_TRUE(Dlg.Match("image/gif"));
}

TEST_F(MimeFilterDlgTest, BlockRoundTripThroughTheWindow) {
  TMimeFilter f;
  f.OtherList = {"text/x-speech"};
  f.Patterns = {"image/*", "text/x-speech"};
  f.SelOnlyChk = f.UnknownChk = f.AllChk = false;  // stored all off
  TMemoryStream st;
  qv::SaveFilter(st, f);
  st.Seek(0, TSeekOrigin::soBeginning);
  Dlg.LoadFilter(st);
  EXPECT_FALSE(Dlg.SelOnlyChk->isChecked() || Dlg.UnknownChk->isChecked() ||
               Dlg.AllChk->isChecked());
  TMemoryStream again;
  Dlg.SaveFilter(again);
  EXPECT_EQ(again.Data(), st.Data());
}

}  // namespace
}  // namespace qv
