#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "model/progresssink.h"
#include "model/prompter.h"
#include "model/streamext.h"
#include "model/vkglobal.h"
#include "model/vkurllist.h"
#include "support/dialogsink.h"

namespace qv {
namespace {

// The passes run on the program's list under its lock, as the main window
// runs them.
class URLListPasses : public ::testing::Test {
 protected:
  void SetUp() override { CreateGlobals(); }
  void TearDown() override { FreeGlobals(); }

  TVkURLList& List() { return *GlobalURLList; }

  // Records u0000, u0001, ... with the content types given in turn.
  void Fill(int count, const std::vector<std::string>& types = {""}) {
    for (int i = 0; i < count; ++i) {
      TVkURLItem r;
      char name[32];
      std::snprintf(name, sizeof name, "http://h/u%04d", i);
      r.URL = name;
      r.ContentType = types[i % types.size()];
      List().AddItem(r, true);
    }
  }

  std::vector<int> Marked() {
    std::vector<int> out;
    for (int i = 0; i < List().Count(); ++i)
      if (List().GetItem(i)->NeedsCheck) out.push_back(i);
    return out;
  }

  TScriptedPrompter Prompter;
  test::TDialogSink Sink{Prompter};
};

std::vector<int> Range(int from, int to) {
  std::vector<int> out;
  for (int i = from; i < to; ++i) out.push_back(i);
  return out;
}

TEST_F(URLListPasses, UpdateShowsProgressEveryHundredRecordsAndMarksThemAll) {
  Fill(250);
  bool dragCancelled = false;
  Sink.OnStep = [&](int) { EXPECT_TRUE(dragCancelled); };
  EXPECT_TRUE(List().UpdateStatusInfo(Sink, [&] {
    EXPECT_TRUE(Sink.Log.empty()) << "drag-out copies go back before the window shows";
    dragCancelled = true;
  }));
  EXPECT_EQ(Sink.Log, (std::vector<std::string>{"caption:Updating status info.:", "show:",
                                                "update:\n\n\nURLs updated: 1 of 250",
                                                "update:\n\n\nURLs updated: 101 of 250",
                                                "update:\n\n\nURLs updated: 201 of 250", "hide"}));
  EXPECT_EQ(Marked(), Range(0, 250));
}

TEST_F(URLListPasses, UpdateAbortedAtTheSecondStepLeavesRecord100OnUnmarked) {
  Fill(250);
  Sink.AbortAtStep = 2;
  EXPECT_FALSE(List().UpdateStatusInfo(Sink));
  EXPECT_EQ(Marked(), Range(0, 100));
  EXPECT_EQ(Sink.Log.back(), "hide");
  EXPECT_FALSE(Sink.Busy);
}

TEST_F(URLListPasses, UpdateOfAnEmptyListOnlyShowsAndHides) {
  EXPECT_TRUE(List().UpdateStatusInfo(Sink));
  EXPECT_EQ(Sink.Log,
            (std::vector<std::string>{"caption:Updating status info.:", "show:", "hide"}));
}

// Another pass holds the window: this one must not start, nor end the
// other's hold by hiding it.
TEST_F(URLListPasses, APassRefusedTheWindowDoesNothing) {
  Fill(3, {"text/html"});
  Sink.Busy = true;
  int rewrites = 0;
  EXPECT_FALSE(List().UpdateStatusInfo(Sink));
  const TLocaliseSummary s =
      List().LocaliseReferences("/m", Sink,
                                [&](TStoredTextKind, const std::string&, const std::string&,
                                    const std::atomic<bool>&) { ++rewrites; });
  EXPECT_FALSE(s.Ran);
  EXPECT_EQ(rewrites, 0);
  EXPECT_TRUE(Marked().empty());
  EXPECT_TRUE(Sink.Busy);
  EXPECT_TRUE(Sink.Entries("hide").empty());
}

// Another command deletes records while the window lets it run.
TEST_F(URLListPasses, RecordsDeletedDuringAProgressStep) {
  struct TCase {
    const char* Name;
    int DeleteAtStep;
    int Keep;  // records left after the deletion
    std::vector<int> Marked;
  };
  const TCase cases[] = {
      {"all gone before the first batch", 1, 0, {}},
      {"list shorter than the next batch start", 2, 60, Range(0, 60)},
      {"list ends inside the next batch", 2, 150, Range(0, 150)},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    List().ClearItems();
    Fill(250);
    test::TDialogSink sink(Prompter);
    sink.OnStep = [&](int step) {
      if (step != c.DeleteAtStep) return;
      std::lock_guard<TCriticalSection> hold(*URLListLock);
      while (List().Count() > c.Keep) List().DeleteItem(List().Count() - 1);
    };
    EXPECT_TRUE(List().UpdateStatusInfo(sink));
    EXPECT_EQ(Marked(), c.Marked);
    EXPECT_EQ(sink.Log.back(), "hide");
  }
}

TEST_F(URLListPasses, LocaliseRewritesFromTheURLReadBeforeItsRecordWasDeleted) {
  Fill(4, {"text/html"});
  std::vector<std::string> rewritten;
  Sink.OnStep = [&](int step) {
    if (step != 2) return;
    // The project is closed while the second page is announced.
    std::lock_guard<TCriticalSection> hold(*URLListLock);
    List().ClearItems();
  };
  const TLocaliseSummary s =
      List().LocaliseReferences("/m", Sink,
                                [&](TStoredTextKind, const std::string& url, const std::string&,
                                    const std::atomic<bool>&) { rewritten.push_back(url); });
  EXPECT_EQ(rewritten, (std::vector<std::string>{"http://h/u0000", "http://h/u0001"}));
  EXPECT_EQ(s.Rewritten, 2);
  EXPECT_FALSE(s.Aborted);
  EXPECT_EQ(Sink.Log.back(), "hide");
}

TEST_F(URLListPasses, ContentTypesComparedIgnoringCaseAndParameters) {
  struct TCase {
    const char* Type;
    TStoredTextKind Kind;
  };
  const TCase cases[] = {
      {"text/html", TStoredTextKind::Page},
      {"TEXT/HTML", TStoredTextKind::Page},
      {"text/html; charset=utf-8", TStoredTextKind::Page},
      {" Text/Html ;charset=\"x\"", TStoredTextKind::Page},
      {"text/css", TStoredTextKind::StyleSheet},
      {"Text/CSS;charset=latin1", TStoredTextKind::StyleSheet},
      {"text/htmlx", TStoredTextKind::Other},
      {"text/plain", TStoredTextKind::Other},
      {"application/xhtml+xml", TStoredTextKind::Other},
      {"", TStoredTextKind::Other},
      {"text/ html", TStoredTextKind::Other},
  };
  for (const TCase& c : cases) EXPECT_EQ(StoredTextKind(c.Type), c.Kind) << c.Type;
}

// Pages and style sheets are announced one by one (the URL fitted to the
// window); other records only every thousandth, counted from 0.
TEST_F(URLListPasses, LocaliseTextsAndTheSearchingPoints) {
  Fill(2500);
  auto set = [&](int i, const char* type) { List().GetItem(i)->ContentType = type; };
  set(0, "text/html");
  set(1, "Text/CSS");
  set(999, "image/gif");
  set(2000, "text/html; charset=utf-8");
  std::vector<std::pair<TStoredTextKind, std::string>> rewritten;
  const TLocaliseSummary s = List().LocaliseReferences(
      "/mirror", Sink,
      [&](TStoredTextKind kind, const std::string& url, const std::string& dir,
          const std::atomic<bool>&) {
        EXPECT_EQ(dir, "/mirror");
        rewritten.emplace_back(kind, url);
      },
      [](const std::string& url) { return "[" + url + "]"; });
  const std::string page = "References are being localised to enable local browsing.\n\nPage:-\n";
  const std::vector<std::string> expected = {
      "caption:Localising references:",
      "show:",
      "update:" + page + "[http://h/u0000]",
      "label:" + page + "[http://h/u0000]",
      "update:" + page + "[http://h/u0001]",
      "label:" + page + "[http://h/u0001]",
      "update:Searching for HTML files:\n\nChecking file: 1000 of 2500",
      "update:" + page + "[http://h/u2000]",
      "label:" + page + "[http://h/u2000]",
      "hide"};
  EXPECT_EQ(Sink.Log, expected);
  EXPECT_EQ(rewritten, (std::vector<std::pair<TStoredTextKind, std::string>>{
                           {TStoredTextKind::Page, "http://h/u0000"},
                           {TStoredTextKind::StyleSheet, "http://h/u0001"},
                           {TStoredTextKind::Page, "http://h/u2000"}}));
  EXPECT_EQ(s.Rewritten, 3);
  EXPECT_EQ(s.Failed, 0);
}

TEST_F(URLListPasses, SearchingStartsAtIndexZeroAndAbortsThere) {
  Fill(1500, {"image/png"});
  Sink.AbortAtStep = 2;
  const TLocaliseSummary s = List().LocaliseReferences(
      "/m", Sink,
      [](TStoredTextKind, const std::string&, const std::string&, const std::atomic<bool>&) {});
  EXPECT_EQ(Sink.Entries("update:"),
            (std::vector<std::string>{"Searching for HTML files:\n\nChecking file: 0 of 1500",
                                      "Searching for HTML files:\n\nChecking file: 1000 of 1500"}));
  EXPECT_TRUE(s.Aborted);
  EXPECT_EQ(Sink.Log.back(), "hide");
}

// The user tries to close the window while the second of three files is
// being rewritten: the rewrite stops early, and before that file is taken
// again the abort question comes.
TEST_F(URLListPasses, CloseRequestDuringARewriteAsksBeforeTheRetake) {
  struct TCase {
    const char* Name;
    TMsgAnswer Answer;
    std::vector<std::string> Calls;  // the rewriter's calls, in order
    bool Aborted;
    int Rewritten;
  };
  const TCase cases[] = {
      {"Yes ends the pass", TMsgAnswer::Yes, {"u0000", "u0001 cut"}, true, 1},
      {"No rewrites that file afresh",
       TMsgAnswer::No,
       {"u0000", "u0001 cut", "u0001", "u0002"},
       false,
       3},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    List().ClearItems();
    Fill(3, {"text/css"});
    TScriptedPrompter prompter;
    prompter.Answers = {c.Answer};
    test::TDialogSink sink(prompter);
    std::vector<std::string> calls;
    bool closed = false;
    const TLocaliseSummary s = List().LocaliseReferences(
        "/m", sink,
        [&](TStoredTextKind, const std::string& url, const std::string&,
            const std::atomic<bool>& abort) {
          EXPECT_FALSE(abort.load()) << "every rewrite starts with no request pending";
          std::string call = url.substr(9);
          if (call == "u0001" && !closed) {
            closed = true;
            sink.CloseRequested = true;  // the window's close button, mid-rewrite
            EXPECT_TRUE(abort.load());
            call += " cut";
          }
          calls.push_back(call);
          sink.Log.push_back("rewrite:" + call);
        });
    EXPECT_EQ(calls, c.Calls);
    EXPECT_EQ(s.Aborted, c.Aborted);
    EXPECT_EQ(s.Rewritten, c.Rewritten);
    ASSERT_EQ(prompter.Prompts.size(), 1u);
    EXPECT_EQ(prompter.Prompts[0].Text, "Do you want to abort this operation?");
    // The question belongs to the retake's progress point.
    const std::string page =
        "References are being localised to enable local browsing.\n\nPage:-\nhttp://h/u0001";
    auto at = [&](const std::string& entry, std::size_t from = 0) {
      auto it = std::find(sink.Log.begin() + from, sink.Log.end(), entry);
      return static_cast<std::size_t>(it - sink.Log.begin());
    };
    const std::size_t cut = at("rewrite:u0001 cut");
    const std::size_t retakeStep = at("update:" + page, cut);
    const std::size_t question = at("question", cut);
    ASSERT_LT(cut, sink.Log.size());
    EXPECT_EQ(question, retakeStep + 2);
    EXPECT_EQ(sink.Log[retakeStep + 1], "hide");  // the window hides for the question
    if (c.Answer == TMsgAnswer::No) {
      // The window came back empty; the page's text is put back before the
      // rewrite.
      EXPECT_EQ(sink.Log[question + 1], "show:");
      EXPECT_EQ(sink.Log[question + 2], "label:" + page);
      EXPECT_EQ(sink.Log[question + 3], "rewrite:u0001");
    }
    EXPECT_EQ(sink.Log.back(), "hide");
    EXPECT_FALSE(sink.Busy);
  }
}

// A sink that never clears a close request must not make the pass take the
// same file for ever.
TEST_F(URLListPasses, ACloseRequestTheSinkKeepsIsSpentByOneRetake) {
  Fill(2, {"text/html"});
  TPlainProgress sink;
  std::vector<std::string> calls;
  const TLocaliseSummary s = List().LocaliseReferences(
      "/m", sink,
      [&](TStoredTextKind, const std::string& url, const std::string&, const std::atomic<bool>&) {
        calls.push_back(url);
        if (calls.size() == 1) sink.CloseRequested = true;
      });
  EXPECT_EQ(calls,
            (std::vector<std::string>{"http://h/u0000", "http://h/u0000", "http://h/u0001"}));
  EXPECT_EQ(s.Rewritten, 2);
}

TEST_F(URLListPasses, AFileThatCannotBeRewrittenIsCountedAndThePassGoesOn) {
  Fill(3, {"text/html"});
  std::vector<std::string> calls;
  const TLocaliseSummary s = List().LocaliseReferences(
      "/m", Sink,
      [&](TStoredTextKind, const std::string& url, const std::string&, const std::atomic<bool>&) {
        calls.push_back(url);
        if (url == "http://h/u0001") throw EInOutError("Error writing file:-\n\n/m/x");
      });
  EXPECT_EQ(calls.size(), 3u);
  EXPECT_EQ(s.Rewritten, 2);
  EXPECT_EQ(s.Failed, 1);
  EXPECT_EQ(s.FirstError, "Error writing file:-\n\n/m/x");
  EXPECT_FALSE(s.Aborted);
  EXPECT_EQ(Sink.Log.back(), "hide");
  // What the status bar says of it, on one line.
  EXPECT_EQ(LocaliseFailureText(s),
            "Localising references: 1 file could not be rewritten (Error writing file:- /m/x)");
  TLocaliseSummary two;
  two.Failed = 2;
  EXPECT_EQ(LocaliseFailureText(two), "Localising references: 2 files could not be rewritten");
  EXPECT_EQ(LocaliseFailureText(TLocaliseSummary()), "");
}

// Anything else passes on, but never with the window left shown.
TEST_F(URLListPasses, AnUnexpectedErrorPassesOnWithTheWindowHidden) {
  Fill(2, {"text/html"});
  EXPECT_THROW(
      List().LocaliseReferences("/m", Sink,
                                [](TStoredTextKind, const std::string&, const std::string&,
                                   const std::atomic<bool>&) { throw std::runtime_error("boom"); }),
      std::runtime_error);
  EXPECT_EQ(Sink.Log.back(), "hide");
  EXPECT_FALSE(Sink.Busy);
  Sink.OnStep = [](int) { throw std::runtime_error("boom"); };
  Fill(1);
  EXPECT_THROW(List().UpdateStatusInfo(Sink), std::runtime_error);
  EXPECT_EQ(Sink.Log.back(), "hide");
}

}  // namespace
}  // namespace qv
