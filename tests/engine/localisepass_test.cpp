// The localising pass over the master list with the real rewriters, on
// mirrors laid out as a download job leaves them.
#include "engine/localisepass.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "engine/htmlparser.h"
#include "model/progresssink.h"
#include "model/prompter.h"
#include "model/tvurlutils.h"
#include "model/uriparser.h"
#include "model/vkfile.h"
#include "model/vkglobal.h"
#include "model/vkurllist.h"
#include "support/dialogsink.h"
#include "support/filesizelimit.h"
#include "support/localisecheck.h"
#include "support/scratchdir.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

class LocalisePass : public ::testing::Test {
 protected:
  void SetUp() override { CreateGlobals(); }
  void TearDown() override { FreeGlobals(); }

  // Stores a body (and its headers file) under the layout's names and lists
  // the URL with its content type; gives the body's file name.
  std::string Store(const std::string& url, const std::string& ext, const std::string& body,
                    const std::string& contentType) {
    const std::string name = NativePath(URLToLocalPath(Root(), url, "Data", ext));
    EXPECT_FALSE(name.empty()) << url;
    fs::create_directories(fs::path(name).parent_path());
    std::ofstream(name, std::ios::binary) << body;
    std::ofstream(NativePath(URLToLocalPath(Root(), url, "Head", ".txt")), std::ios::binary)
        << "HTTP/1.1 200 OK\r\nContent-Type: " << contentType << "\r\n";
    TVkURLItem r;
    r.URL = url;
    r.ContentType = contentType;
    r.Status = usDownloaded;
    GlobalURLList->AddItem(r, false);
    return name;
  }

  // Every file of the mirror, by its name below the root.
  std::map<std::string, std::string> Snapshot() const {
    std::map<std::string, std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(Root()))
      if (e.is_regular_file())
        out[fs::relative(e.path(), Root()).string()] = test::ReadBytes(e.path().string());
    return out;
  }

  TLocaliseSummary Run(const TProcessMessages& messages = {}) {
    return LocaliseListReferences(*GlobalURLList, Root(), Sink, messages);
  }

  std::string Root() const { return Mirror.Path + "/web"; }

  test::TScratchDir Mirror;
  TScriptedPrompter Prompter;
  test::TDialogSink Sink{Prompter};
};

// --- a file that cannot be rewritten ---------------------------------------

TEST_F(LocalisePass, APageThatCannotBeWrittenIsCountedAndTheOthersAreLocalised) {
  struct TCase {
    const char* Name;
    bool ReadOnly;  // else the disk fills up while the middle page is written
  };
  for (const TCase c : {TCase{"read-only page", true}, TCase{"full disk", false}}) {
    SCOPED_TRACE(c.Name);
    if (c.ReadOnly && ::geteuid() == 0) continue;  // root writes read-only files anyway
    GlobalURLList->ClearItems();
    fs::remove_all(Root());
    Store("http://h/x.gif", ".gif", "GIF", "image/gif");
    const std::string small = "<a href=\"x.gif\">x</a>\n";
    std::string big = small;
    while (big.size() < 64 * 1024) big += "<p>filler</p>\n";
    const std::string a = Store("http://h/a.html", ".html", small, "text/html");
    const std::string b = Store("http://h/b.html", ".html", c.ReadOnly ? small : big, "text/html");
    const std::string d = Store("http://h/d.html", ".html", small, "text/html");
    const std::string before = test::ReadBytes(b);
    TLocaliseSummary s;
    if (c.ReadOnly) {
      ::chmod(b.c_str(), 0444);
      s = Run();
    } else {
      test::TFileSizeLimit limit(32 * 1024);
      s = Run();
    }
    EXPECT_EQ(s.Failed, 1);
    EXPECT_EQ(s.Rewritten, 2);
    EXPECT_NE(s.FirstError.find(fs::path(b).filename().string()), std::string::npos)
        << s.FirstError;
    EXPECT_EQ(test::ReadBytes(a), "<a href=\"../x.gif/Data.gif\">x</a>\n");
    EXPECT_EQ(test::ReadBytes(d), "<a href=\"../x.gif/Data.gif\">x</a>\n");
    EXPECT_EQ(test::ReadBytes(b), before);
    EXPECT_EQ(Sink.Log.back(), "hide");
    EXPECT_FALSE(Sink.Busy);
  }
}

// --- a mirror written before style sheets were stored as ".css" ------------

// Earlier builds stored text/css bodies as "Data.ccs". Such a mirror is still
// localised: its pages lead to the sheet as it is stored, and the sheet's
// own references are rewritten.
TEST_F(LocalisePass, AStyleSheetStoredUnderTheEarlierNameIsStillLocalised) {
  Store("http://h/img/x.png", ".png", "PNG", "image/png");
  const std::string sheet =
      Store("http://h/css/s.css", ".ccs", "a { b: url(../img/x.png) }", "text/css");
  const std::string page =
      Store("http://h/p.html", ".html", "<link rel=stylesheet href=\"css/s.css\">", "text/html");
  const TLocaliseSummary s = Run();
  EXPECT_EQ(s.Failed, 0);
  EXPECT_EQ(s.Rewritten, 2);
  EXPECT_EQ(fs::path(sheet).filename(), "Data.ccs");
  EXPECT_EQ(test::ReadBytes(sheet), "a { b: url(../../img/x.png/Data.png) }");
  EXPECT_EQ(test::ReadBytes(page), "<link rel=stylesheet href=\"../css/s.css/Data.ccs\">");

  // The sheet's next download stores it under the new name and drops the
  // old one; the page, not downloaded again, follows it on the next pass.
  fs::rename(sheet, fs::path(sheet).replace_extension(".css"));
  EXPECT_EQ(Run().Failed, 0);
  EXPECT_EQ(test::ReadBytes(page), "<link rel=stylesheet href=\"../css/s.css/Data.css\">");
}

// --- a close request while a style sheet is being rewritten ----------------

// A style sheet of 150 references to stored images, and the same sheet as one
// whole rewrite leaves it, written out independently of the rewriter.
struct TSheet {
  std::string Text, Localised;
};
TSheet LongSheet() {
  TSheet s;
  for (int i = 0; i < 150; ++i) {
    const std::string n = std::to_string(i);
    s.Text += ".c" + n + " { background: url(\"img/" + n + ".gif\") }\n";
    s.Localised += ".c" + n + " { background: url(\"../img/" + n + ".gif/Data.gif\") }\n";
  }
  return s;
}

TEST_F(LocalisePass, CloseRequestDuringAStyleSheetRewrite) {
  const TSheet sheet = LongSheet();
  struct TCase {
    const char* Name;
    TMsgAnswer Answer;
    bool Aborted;
  };
  for (const TCase c : {TCase{"Yes ends the pass", TMsgAnswer::Yes, true},
                        TCase{"No rewrites the sheet afresh", TMsgAnswer::No, false}}) {
    SCOPED_TRACE(c.Name);
    GlobalURLList->ClearItems();
    fs::remove_all(Root());
    for (int i = 0; i < 150; ++i)
      Store("http://h/img/" + std::to_string(i) + ".gif", ".gif", "GIF", "image/gif");
    const std::string file = Store("http://h/s.css", ".css", sheet.Text, "text/css");
    const std::string page = Store("http://h/z.html", ".html", "<a href=s.css>", "text/html");
    Prompter.Answers = {c.Answer};
    Prompter.Prompts.clear();
    test::TDialogSink sink(Prompter);
    int messages = 0;
    const TLocaliseSummary s = LocaliseListReferences(*GlobalURLList, Root(), sink, [&] {
      // The user closes the window the first time it may run.
      if (++messages == 1) sink.CloseRequested = true;
      sink.Log.push_back("messages");
    });
    ASSERT_EQ(Prompter.Prompts.size(), 1u);
    const auto question = std::find(sink.Log.begin(), sink.Log.end(), "question");
    ASSERT_NE(question, sink.Log.end());
    EXPECT_EQ(*(question - 1), "hide");
    EXPECT_EQ(*(question - 2),
              "update:References are being localised to enable local browsing.\n\nPage:-\n"
              "http://h/s.css");
    EXPECT_EQ(s.Aborted, c.Aborted);
    if (c.Aborted) {
      // The cut rewrite stopped before its 100th reference and wrote what it
      // had: the first 99 references rewritten, the rest as they were.
      std::string expected;
      std::istringstream in(sheet.Text), out(sheet.Localised);
      std::string a, b;
      for (int line = 0; std::getline(in, a) && std::getline(out, b); ++line)
        expected += (line < 99 ? b : a) + "\n";
      EXPECT_EQ(test::ReadBytes(file), expected);
      EXPECT_EQ(test::ReadBytes(page), "<a href=s.css>");  // the pass ended before it
    } else {
      EXPECT_EQ(test::ReadBytes(file), sheet.Localised);
      EXPECT_EQ(test::ReadBytes(page), "<a href=../s.css/Data.css>");
      EXPECT_EQ(s.Rewritten, 2);
    }
    EXPECT_EQ(sink.Log.back(), "hide");
  }
}

// --- fidelity on a mirror of the fixture site -------------------------------

const std::string kSite = std::string(QV_TEST_DATA) + "/localise/site/";

struct TStored {
  std::string URL, File, Type;
};

// Lays the fixture site out as a download job stores it: pages with the
// marker of the address they had, and a headers file beside each body.
std::vector<TStored> StoreSite(
    LocalisePass& t,
    const std::function<std::string(const std::string&, const std::string&, const std::string&,
                                    const std::string&)>& store) {
  std::vector<TStored> out;
  std::ifstream manifest(kSite + "manifest.txt");
  for (std::string line; std::getline(manifest, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> f;
    std::istringstream fields(line);
    for (std::string x; std::getline(fields, x, '\t');) f.push_back(x);
    EXPECT_EQ(f.size(), 4u) << line;
    std::string body = test::ReadBytes(kSite + f[2]);
    EXPECT_FALSE(body.empty()) << f[2];
    if (StoredTextKind(f[3]) == TStoredTextKind::Page) InsertBase(body, f[0], true);
    out.push_back({f[0], store(f[0], f[1], body, f[3]), f[3]});
  }
  (void)t;
  return out;
}

TEST_F(LocalisePass, FidelityOnAMirrorOfTheFixtureSite) {
  const std::vector<TStored> site =
      StoreSite(*this, [&](const std::string& url, const std::string& ext, const std::string& body,
                           const std::string& type) { return Store(url, ext, body, type); });
  const std::map<std::string, std::string> before = Snapshot();
  const TLocaliseSummary s = Run();
  EXPECT_EQ(s.Failed, 0);
  EXPECT_EQ(s.Rewritten, 6);
  const std::map<std::string, std::string> after = Snapshot();
  ASSERT_EQ(before.size(), after.size());

  test::TLinkTally tally;
  for (const TStored& stored : site) {
    SCOPED_TRACE(stored.URL);
    const std::string rel = fs::relative(stored.File, Root()).string();
    const std::string& original = before.at(rel);
    std::string localised = after.at(rel);
    const TStoredTextKind kind = StoredTextKind(stored.Type);
    if (kind == TStoredTextKind::Other) {
      EXPECT_EQ(localised, original) << "only pages and style sheets change";
      continue;
    }
    if (kind == TStoredTextKind::Page) {
      // The page gets a real base element naming its own stored body, right
      // after its marker; nothing else is inserted.
      EXPECT_EQ(test::TakeLocalBase(localised), fs::weakly_canonical(stored.File).string());
    }
    // The marker stays as the download left it.
    test::ExpectLocalisedLinks(Root(), stored.URL, fs::path(stored.File).parent_path().string(),
                               test::WithoutMarker(original), test::WithoutMarker(localised),
                               tally);
  }
  // The fixture's links: a guard that the checks above looked at them all.
  EXPECT_EQ(tally.Checked, 36);
  EXPECT_EQ(tally.Local, 26);
  EXPECT_EQ(tally.Absolute, 9);
  // An @import rule leads to the stored copy of the sheet it imports.
  EXPECT_EQ(after.at(fs::relative(site[4].File, Root()).string())
                .rfind("@import url(\"../print.css/Data.css\");", 0),
            0u);
  for (const auto& [name, bytes] : after) {
    if (name.find("Head.txt") == std::string::npos) continue;
    EXPECT_EQ(bytes, before.at(name)) << name;
  }
}

// A second pass leaves every file as the first left it: the retake after a
// close request relies on it. It writes nothing either.
TEST_F(LocalisePass, ASecondPassChangesNoByte) {
  StoreSite(*this, [&](const std::string& url, const std::string& ext, const std::string& body,
                       const std::string& type) { return Store(url, ext, body, type); });
  const TSheet sheet = LongSheet();
  for (int i = 0; i < 150; i += 7)
    Store("http://www.site.test/style/img/" + std::to_string(i) + ".gif", ".gif", "GIF",
          "image/gif");
  Store("http://www.site.test/style/long.css", ".css", sheet.Text, "text/css");
  ASSERT_EQ(Run().Failed, 0);
  const std::map<std::string, std::string> once = Snapshot();
  // Each file's identity: a rewrite replaces the file by a new one.
  auto inodes = [&] {
    std::map<std::string, ino_t> out;
    for (const auto& [name, bytes] : once) {
      struct stat st {};
      ::stat((Root() + "/" + name).c_str(), &st);
      out[name] = st.st_ino;
    }
    return out;
  };
  const std::map<std::string, ino_t> before = inodes();
  test::TDialogSink again(Prompter);
  ASSERT_EQ(LocaliseListReferences(*GlobalURLList, Root(), again).Failed, 0);
  const std::map<std::string, std::string> twice = Snapshot();
  ASSERT_EQ(once.size(), twice.size());
  for (const auto& [name, bytes] : once) EXPECT_EQ(twice.at(name), bytes) << name;
  EXPECT_EQ(inodes(), before) << "an unchanged copy is not written again";
}

}  // namespace
}  // namespace qv
