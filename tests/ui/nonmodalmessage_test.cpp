#include "ui/nonmodalmessage.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QTest>

#include "ui/uitest.h"

namespace qv {
namespace {

class NonModalMsgTest : public test::UiTest {
 protected:
  void SetUp() override { Msg.SetPrompter(&Prompter); }
  std::string Label() const { return Msg.Label1->text().toStdString(); }

  TNonModalMsg Msg;
  TScriptedPrompter Prompter;
  TProgressSink& Sink = Msg;  // passes see only the sink
};

TEST_F(NonModalMsgTest, APassShowsUpdatesAndHides) {
  EXPECT_EQ(Msg.windowTitle(), "Information:-");
  ASSERT_TRUE(Sink.ShowText("Localising references"));
  EXPECT_TRUE(Msg.isVisible());
  EXPECT_TRUE(Msg.Busy);
  EXPECT_TRUE(Sink.UpdateText("URL 100 of 5000"));
  EXPECT_EQ(Label(), "URL 100 of 5000");
  Sink.HideMsg();
  EXPECT_FALSE(Msg.isVisible());
  EXPECT_FALSE(Msg.Busy);
  EXPECT_TRUE(Prompter.Prompts.empty());
}

TEST_F(NonModalMsgTest, ASecondPassIsRefusedWhileOneHoldsTheWindow) {
  ASSERT_TRUE(Sink.ShowText("first"));
  EXPECT_FALSE(Sink.ShowText("second"));
  EXPECT_EQ(Label(), "first");
  EXPECT_TRUE(Msg.Busy);
  Sink.HideMsg();
  EXPECT_TRUE(Sink.ShowText("second"));
}

TEST_F(NonModalMsgTest, ACloseWhileBusyIsRecordedAndTurnsIntoTheAbortQuestion) {
  struct {
    const char* Name;
    TMsgAnswer Answer;
    bool KeepGoing;
  } cases[] = {{"yes aborts", TMsgAnswer::Yes, false},
               {"no keeps going", TMsgAnswer::No, true},
               {"box closed keeps going", TMsgAnswer::Cancel, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    Prompter = TScriptedPrompter();
    Prompter.Answers = {c.Answer};
    ASSERT_TRUE(Sink.ShowText("working"));
    Msg.close();
    EXPECT_TRUE(Msg.isVisible()) << "the close is refused";
    EXPECT_TRUE(Sink.CloseRequested);
    EXPECT_TRUE(Prompter.Prompts.empty()) << "nothing is asked until the next progress point";

    EXPECT_EQ(Sink.UpdateText("URL 200 of 5000"), c.KeepGoing);
    ASSERT_EQ(Prompter.Prompts.size(), 1u);
    EXPECT_EQ(Prompter.Prompts[0].Text, "Do you want to abort this operation?");
    EXPECT_FALSE(Sink.CloseRequested);
    if (c.KeepGoing) {
      EXPECT_TRUE(Msg.isVisible());
      EXPECT_TRUE(Msg.Busy);
      EXPECT_EQ(Label(), "");
      EXPECT_TRUE(Sink.UpdateText("URL 300 of 5000"));
      EXPECT_EQ(Prompter.Prompts.size(), 1u) << "asked once per close";
    } else {
      EXPECT_FALSE(Msg.isVisible());
      EXPECT_FALSE(Msg.Busy);
    }
    Sink.HideMsg();
  }
}

TEST_F(NonModalMsgTest, EscapeActsAsAClose) {
  ASSERT_TRUE(Sink.ShowText("working"));
  QTest::keyClick(&Msg, Qt::Key_Escape);
  EXPECT_TRUE(Msg.isVisible());
  EXPECT_TRUE(Sink.CloseRequested);
  Sink.HideMsg();
  EXPECT_FALSE(Sink.CloseRequested);
}

// The passes name their window and put a page's text back after a progress
// point answered "go on" emptied it; neither lets events run nor asks.
TEST_F(NonModalMsgTest, CaptionAndPlainTextAskNothing) {
  Sink.SetCaption("Localising references:");
  ASSERT_TRUE(Sink.ShowText(""));
  EXPECT_EQ(Msg.windowTitle(), "Localising references:");
  Msg.close();
  Sink.SetText("Page:-\nhttp://h/");
  EXPECT_EQ(Label(), "Page:-\nhttp://h/");
  EXPECT_TRUE(Prompter.Prompts.empty());
  EXPECT_TRUE(Sink.CloseRequested);
  Sink.HideMsg();
}

TEST_F(NonModalMsgTest, ALongURLIsFittedToTheLabelWithItsMiddleCut) {
  const std::string longURL = "http://www.example.org/" + std::string(400, 'x') + "/end.html";
  const std::string beforeShowing = Msg.FitToLabel(longURL);
  ASSERT_TRUE(Sink.ShowText(""));
  const std::string shortURL = "http://h/a.html";
  EXPECT_EQ(Msg.FitToLabel(shortURL), shortURL);
  const std::string fitted = Msg.FitToLabel(longURL);
  EXPECT_EQ(beforeShowing, fitted) << "the label's width is known before the first showing";
  EXPECT_LT(fitted.size(), longURL.size());
  EXPECT_NE(fitted.find(">><<"), std::string::npos) << fitted;
  EXPECT_EQ(fitted.rfind("http://", 0), 0u);
  EXPECT_LE(Msg.Label1->fontMetrics().horizontalAdvance(QString::fromStdString(fitted)),
            Msg.Label1->contentsRect().width());
  Sink.HideMsg();
}

// Passes start with an empty text and go on with texts of up to five lines;
// each must show whole, not cut to the height the empty text needed.
TEST_F(NonModalMsgTest, TheWindowGrowsToShowEveryLineOfAPassesText) {
  const std::string texts[] = {
      "\n\nChecking file: 4200 of 5000\n\nFiles selected for download: 1234",
      "References are being localised to enable local browsing.\n\nPage:-\n"
      "http://www.example.com/a/rather/long/path/index.html",
  };
  int empty = 0;
  for (const auto& text : texts) {
    SCOPED_TRACE(text);
    ASSERT_TRUE(Sink.ShowText(""));
    test::Pump();
    if (!empty) empty = Msg.height();
    EXPECT_EQ(Msg.height(), empty) << "shown again, sized for its text";
    EXPECT_TRUE(Sink.UpdateText(text));
    test::Pump();
    EXPECT_GT(Msg.height(), empty);
    EXPECT_GE(Msg.Label1->height(), Msg.Label1->heightForWidth(Msg.Label1->width()));
    // A shorter text in between (a search step) does not make it jump.
    const int grown = Msg.height();
    EXPECT_TRUE(Sink.UpdateText("Searching for HTML files:"));
    test::Pump();
    EXPECT_EQ(Msg.height(), grown);
    Sink.SetText(text);
    test::Pump();
    EXPECT_GE(Msg.Label1->height(), Msg.Label1->heightForWidth(Msg.Label1->width()));
    Sink.HideMsg();
  }
}

TEST_F(NonModalMsgTest, TextsShowAsUTF8OrLatin1) {
  ASSERT_TRUE(Sink.ShowText("caf\xc3\xa9"));
  EXPECT_EQ(Msg.Label1->text(), QString::fromUtf8("caf\xc3\xa9"));
  Sink.UpdateText("caf\xe9");
  EXPECT_EQ(Msg.Label1->text(), QString::fromLatin1("caf\xe9"));
  Sink.HideMsg();
}

}  // namespace
}  // namespace qv
