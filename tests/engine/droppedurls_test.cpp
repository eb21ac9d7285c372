#include "engine/droppedurls.h"

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "model/atrrow.h"

namespace qv {
namespace {

// The main window as the routines see it, recording what they do.
class TFakeSink : public TDroppedURLSink {
 public:
  struct TAdded {
    std::string URL, Title, ImageURL;
    int32_t Size;
    bool operator==(const TAdded&) const = default;
  };
  std::vector<TAdded> Added;
  std::vector<TAtrRow> Roots;
  std::vector<std::string> Selected;
  int SelectedRoot = -1;
  std::vector<TDropZone> Feedback;
  bool Modified = false;

  int AddFoundURL(const std::string& url, const std::string& title, const std::string& imageURL,
                  int32_t size) override {
    Added.push_back({url, title, imageURL, size});
    return static_cast<int>(Added.size()) - 1;
  }
  void SetModified() override { Modified = true; }
  void SelectURL(const std::string& url) override { Selected.push_back(url); }
  TStringList RootRows() const override {
    TStringList l;
    for (const auto& r : Roots) l.Add(r.Text, r.Attr);
    return l;
  }
  int AddRootRow(const std::string& text, uint32_t attr) override {
    Roots.push_back({text, attr});
    return static_cast<int>(Roots.size()) - 1;
  }
  void SetRootURLAttributes(int row, uint8_t scope, uint8_t levels) override {
    auto& a = Roots.at(static_cast<size_t>(row)).Attr;
    a = WithAttrByte(WithAttrByte(a, 0, scope), 1, levels);
  }
  void SelectRoot(int row) override { SelectedRoot = row; }
  void RepaintRoots() override {}
  void DropFeedback(TDropZone zone) override { Feedback.push_back(zone); }
  // How much had been added each time the messages ran.
  std::vector<size_t> Yields;
  void LetMessagesRun() override { Yields.push_back(Added.size() + Roots.size()); }

  std::vector<std::string> AddedURLs() const {
    std::vector<std::string> v;
    for (const auto& a : Added) v.push_back(a.URL);
    return v;
  }
};

TEST(AddURLsFromText, AddsEachURLPieceAndGivesTheLastIndex) {
  struct {
    const char* Name;
    std::string Text;
    std::vector<std::string> Want;
    int Index;
  } cases[] = {
      {"one not a URL", "http://a/1\nnot a url\nftp://b/2", {"http://a/1", "ftp://b/2"}, 1},
      {"CR LF", "http://a/1\r\nhttp://a/2\r\n\r\n", {"http://a/1", "http://a/2"}, 1},
      {"no URL", "hello\nworld", {}, -1},
      {"pieces kept as they are", " http://a/x\nhttp://a/y ", {"http://a/y "}, 0},
      {"cut at a zero byte",
       std::string("http://a/1\nhttp://a/2\0http://a/3", 32),
       {"http://a/1", "http://a/2"},
       1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TFakeSink sink;
    EXPECT_EQ(AddURLsFromText(sink, c.Text), c.Index);
    EXPECT_EQ(sink.AddedURLs(), c.Want);
    EXPECT_TRUE(sink.Modified);
    for (const auto& a : sink.Added) EXPECT_EQ(a.Size, -1);
  }
}

// A long text keeps the windows running every 100 lines, non-URL lines and
// all, and still adds every URL line.
TEST(AddURLsFromText, LongTextsLetMessagesRunEveryHundredLines) {
  std::string text;
  for (int i = 0; i < 250; ++i)
    text += (i % 5 == 4 ? "not a url " : "http://h/") + std::to_string(i) + "\r\n";
  struct {
    const char* Name;
    std::function<void(TFakeSink&)> Take;
  } cases[] = {
      {"master list", [&](TFakeSink& s) { AddURLsFromText(s, text); }},
      {"root grid", [&](TFakeSink& s) { AddDroppedRootText(s, TDropZone::RootURLs, text); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TFakeSink sink;
    c.Take(sink);
    EXPECT_EQ(sink.Added.size() + sink.Roots.size(), 200u);
    EXPECT_EQ(sink.Yields, (std::vector<size_t>{80, 160}));
  }
}

TEST(FirstFragmentImage, TakesTheFirstImgAfterSourceURL) {
  struct {
    const char* Name;
    const char* Text;
    bool Found;
    const char* URL;
    const char* Title;
  } cases[] = {
      {"relative src",
       "Version:0.9\r\nSourceURL:http://h/b/page.html\r\n<p><img src=pic.gif alt=Logo>", true,
       "http://h/b/pic.gif", "Logo"},
      {"only the first img", "SourceURL:http://h/\n<img src=a.gif alt=A><img src=b.gif alt=B>",
       true, "http://h/a.gif", "A"},
      {"empty src ends the search", "SourceURL:http://h/\n<img src=\"\" alt=A><img src=b.gif>",
       false, "", ""},
      {"no img", "SourceURL:http://h/\n<p>text</p>", false, "", ""},
      {"SourceURL last line", "<img src=a.gif>\nSourceURL:http://h/", false, "", ""},
      {"no SourceURL", "<img src=http://h/a.gif>", false, "", ""},
      {"absolute src", "SourceURL:http://h/x/\n<IMG SRC=\"http://o/i.png\">", true,
       "http://o/i.png", ""},
      {"src read as the browser reads it", "SourceURL:http://h/\n<img src=\"i.php?a=1&amp;b=2\">",
       true, "http://h/i.php?a=1&b=2", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const auto got = FirstFragmentImage(c.Text);
    ASSERT_EQ(got.has_value(), c.Found);
    if (!got) continue;
    EXPECT_EQ(got->URL, c.URL);
    EXPECT_EQ(got->Title, c.Title);
  }
}

// An image-drop record: image URL at 44, title and link at the 16-bit
// offsets stored at 32 and 36.
std::string ImageRecord(const std::string& image, const std::string& link,
                        const std::string& title) {
  std::string b(44, '\0');
  b += image + '\0';
  const size_t titleAt = b.size();
  b += title + '\0';
  const size_t linkAt = link.empty() ? 0 : b.size();
  if (!link.empty()) b += link + '\0';
  b[32] = static_cast<char>(titleAt & 0xFF);
  b[33] = static_cast<char>(titleAt >> 8);
  b[36] = static_cast<char>(linkAt & 0xFF);
  b[37] = static_cast<char>(linkAt >> 8);
  return b;
}

TEST(DropOnZone, EachZoneTakesItsKinds) {
  const std::string rec = ImageRecord("http://h/i.gif", "http://h/link.html", "T");
  const std::string noLink = ImageRecord("http://h/i.gif", "", "T");
  const std::string fragment = "SourceURL:http://h/b/\n<img src=p.gif alt=P>";
  struct {
    const char* Name;
    TDropZone Zone;
    TZoneDrop Drop;
    bool Ok;  // false: the "not a link" message
    std::vector<std::string> Added;
    std::vector<std::string> Roots;
  } cases[] = {
      {"URL on Extracted",
       TDropZone::SingURLs,
       {0, -1, "http://h/a", "A"},
       true,
       {"http://h/a"},
       {}},
      {"text on Extracted",
       TDropZone::SingURLs,
       {3, -1, "x\nhttp://h/t"},
       true,
       {"http://h/t"},
       {}},
      {"record on Extracted", TDropZone::SingURLs, {5, 0, rec}, true, {"http://h/link.html"}, {}},
      {"record without link on Extracted", TDropZone::SingURLs, {5, 0, noLink}, false, {}, {}},
      {"fragment on Extracted", TDropZone::SingURLs, {1, -1, fragment}, false, {}, {}},
      {"URL on Root", TDropZone::RootURLs, {0, -1, "http://h/r"}, true, {}, {"http://h/r"}},
      {"mailto on Root", TDropZone::RootURLs, {0, -1, "mailto:a@h"}, true, {}, {}},
      {"text on Root",
       TDropZone::RootURLs,
       {3, -1, "ftp://h/x\nmailto:a@h"},
       true,
       {},
       {"ftp://h/x"}},
      {"record on Root", TDropZone::RootURLs, {5, 0, rec}, true, {}, {"http://h/link.html"}},
      {"record without link on Root", TDropZone::RootURLs, {5, 0, noLink}, false, {}, {}},
      {"other custom on Root", TDropZone::RootURLs, {5, 1, rec}, false, {}, {}},
      {"fragment on Images", TDropZone::Images, {1, -1, fragment}, true, {"http://h/b/p.gif"}, {}},
      {"record on Images", TDropZone::Images, {5, 0, rec}, true, {"http://h/i.gif"}, {}},
      {"text on Images", TDropZone::Images, {3, -1, "http://h/t"}, true, {}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TFakeSink sink;
    EXPECT_EQ(DropOnZone(sink, c.Zone, c.Drop), c.Ok);
    EXPECT_EQ(sink.AddedURLs(), c.Added);
    std::vector<std::string> roots;
    for (const auto& r : sink.Roots) roots.push_back(r.Text);
    EXPECT_EQ(roots, c.Roots);
    const bool added = !c.Added.empty() || !c.Roots.empty();
    EXPECT_EQ(sink.Feedback, added ? std::vector<TDropZone>{c.Zone} : std::vector<TDropZone>{});
  }
}

TEST(DropOnZone, LinkKeepsItsTitleAndImage) {
  TFakeSink sink;
  DropOnZone(sink, TDropZone::SingURLs,
             {5, 0, ImageRecord("http://h/i.gif", "http://h/link.html", "Title")});
  ASSERT_EQ(sink.Added.size(), 1u);
  EXPECT_EQ(sink.Added[0], (TFakeSink::TAdded{"http://h/link.html", "Title", "http://h/i.gif", 0}));
  EXPECT_EQ(sink.Selected, std::vector<std::string>{"http://h/link.html"});
}

TEST(AddDroppedRoot, AnExistingRowIsResetToPagePlusWithNoLevels) {
  TFakeSink sink;
  sink.Roots = {{"http://h/other", 0}, {"HTTP://h/Root", 0x00FF0502}};
  EXPECT_TRUE(AddDroppedRoot(sink, TDropZone::RootURLs, "http://h/root", 0));
  ASSERT_EQ(sink.Roots.size(), 2u);
  EXPECT_EQ(sink.Roots[1].Attr, 0x00FF0000u);  // scope 0, levels 0, the rest kept
  EXPECT_EQ(sink.SelectedRoot, 1);
  EXPECT_TRUE(sink.Modified);
  EXPECT_EQ(sink.Feedback, std::vector<TDropZone>{TDropZone::RootURLs});
}

TEST(DropOnURLList, ImageRecordAddsTheLinkThenTheImage) {
  TFakeSink sink;
  DropOnURLList(sink, {5, 0, ImageRecord("http://h/i.gif", "http://h/l.html", "T")});
  EXPECT_EQ(sink.Added,
            (std::vector<TFakeSink::TAdded>{{"http://h/l.html", "T", "http://h/i.gif", 0},
                                            {"http://h/i.gif", "T", "", 0}}));
  TFakeSink roots;
  DropOnRootGrid(roots, {0, -1, "javascript:alert(1)"});
  DropOnRootGrid(roots, {1, -1, "SourceURL:http://h/\n<img src=a.gif>"});
  EXPECT_TRUE(roots.Roots.empty());
}

class TFakeHost : public TAutoPasteHost {
 public:
  bool Empty = false;
  bool OpenResult = false;
  int Sounds = 0, Fronts = 0, Minimised = 0, Opens = 0;
  bool ThrowOnSound = false;
  bool ProjectEmpty() override { return Empty; }
  void BringToFront() override { ++Fronts; }
  void Minimise() override { ++Minimised; }
  void ProcessMessages() override {}
  bool OpenAnotherProject() override {
    ++Opens;
    if (OpenResult) Empty = true;
    return OpenResult;
  }
  void PlayDropSound() override {
    if (ThrowOnSound) throw std::runtime_error("no sound today");
    ++Sounds;
  }
};

struct AutoPasteTest : ::testing::Test {
  TFakeSink Sink;
  TFakeHost Host;
  TScriptedPrompter Prompter;
  TAutoPaste Paste{Sink, Host, Prompter};
  std::string Clipboard;
  int Reads = 0, Clears = 0;

  void Tick() {
    Paste.Tick(
        [this]() -> std::optional<std::string> {
          ++Reads;
          return Clipboard;
        },
        [this] {
          ++Clears;
          Clipboard.clear();
        });
  }
};

TEST_F(AutoPasteTest, OnlyASingleURLWithoutControlBytesIsTaken) {
  struct {
    const char* Name;
    std::string Text;
    bool Taken;
  } cases[] = {
      {"two URLs", "http://a/1\nhttp://a/2", false},
      {"blank inside", "http://a b", false},
      {"tab", "http://a/\tb", false},
      {"control byte", "http://a/\x01", false},
      {"no URL", "hello", false},
      {"too long", "http://a/" + std::string(kAutoPasteTextLimit, 'x'), false},
      {"one URL", "http://a/page.html", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TFakeSink sink;
    TAutoPaste paste(sink, Host, Prompter);
    EXPECT_EQ(paste.PasteClipboardURL(c.Text), c.Taken);
    EXPECT_EQ(sink.Roots.size(), c.Taken ? 1u : 0u);
  }
}

TEST_F(AutoPasteTest, MailAddressesGoToTheMasterListNeverTheRoots) {
  for (const char* mail : {"mailto:someone@h", "MAILTO:someone@h.org"}) {
    SCOPED_TRACE(mail);
    TFakeSink sink;
    TAutoPaste paste(sink, Host, Prompter);
    EXPECT_TRUE(paste.PasteClipboardURL(mail));
    EXPECT_EQ(sink.AddedURLs(), std::vector<std::string>{mail});
    EXPECT_TRUE(sink.Roots.empty());
  }
}

TEST_F(AutoPasteTest, AskFirstThenTakeWithoutAsking) {
  Sink.Roots = {{"http://other/", 0}};
  Paste.AskFirst = true;
  Prompter.Answers = {TMsgAnswer::Yes};
  Clipboard = "http://h/dir/";
  Tick();
  ASSERT_EQ(Prompter.Prompts.size(), 1u);
  EXPECT_EQ(Prompter.Prompts[0].Text, kAutoPasteQuestion);
  ASSERT_EQ(Sink.Roots.size(), 2u);
  EXPECT_EQ(Sink.Roots[1].Text, "http://h/dir/");
  EXPECT_EQ(Sink.Roots[1].Attr, 0u);
  EXPECT_EQ(Clears, 1);
  EXPECT_EQ(Host.Sounds, 1);
  EXPECT_FALSE(Paste.AskFirst);

  // A second capture asks nothing; the same URL put back is not taken again.
  Clipboard = "http://h/two/";
  Tick();
  Clipboard = "http://h/two/";
  Tick();
  EXPECT_EQ(Prompter.Prompts.size(), 1u);
  EXPECT_EQ(Sink.Roots.size(), 3u);
  EXPECT_EQ(Clears, 2);
  EXPECT_EQ(Clipboard, "http://h/two/");
}

TEST_F(AutoPasteTest, CancelClearsAndAddsNothingNoOpensAProject) {
  Sink.Roots = {{"http://other/", 0}};
  Paste.AskFirst = true;
  Clipboard = "http://h/dir/";
  Tick();  // the empty script answers Cancel
  EXPECT_EQ(Clears, 1);
  EXPECT_EQ(Sink.Roots.size(), 1u);
  EXPECT_EQ(Host.Sounds, 0);

  // No: the new project is empty, so the URL goes in without another question.
  Host.OpenResult = true;
  Prompter.Answers = {TMsgAnswer::No};
  Clipboard = "http://h/new/";
  Tick();
  EXPECT_EQ(Host.Opens, 1);
  EXPECT_EQ(Prompter.Prompts.size(), 2u);
  EXPECT_EQ(Sink.Roots.size(), 2u);
}

TEST_F(AutoPasteTest, AnExceptionIsShownOnceAndEndsAutoPaste) {
  Host.ThrowOnSound = true;
  Clipboard = "http://h/a.html";
  Tick();
  ASSERT_EQ(Prompter.Prompts.size(), 1u);
  EXPECT_EQ(Prompter.Prompts[0].Text, "no sound today");
  EXPECT_EQ(Clears, 0);
  Host.ThrowOnSound = false;
  Clipboard = "http://h/b.html";
  Tick();
  Tick();
  EXPECT_EQ(Prompter.Prompts.size(), 1u);
  EXPECT_EQ(Reads, 1);
  EXPECT_TRUE(Paste.Busy);
}

}  // namespace
}  // namespace qv
