// Rewriting stored pages for off-line browsing: the base, one link, and a
// whole page against a golden copy.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/cssparser.h"
#include "engine/htmlparser.h"
#include "model/streamext.h"
#include "model/tvurlutils.h"
#include "model/vkfile.h"
#include "support/filesizelimit.h"
#include "support/scratchdir.h"

namespace qv {
namespace {

std::string Replace(std::string s, const std::string& from, const std::string& to) {
  for (std::size_t i = s.find(from); i != std::string::npos; i = s.find(from, i + to.size()))
    s.replace(i, from.size(), to);
  return s;
}

// A local mirror in a scratch folder; Store() puts a URL's body in place under
// the name the layout gives it.
struct TMirror {
  test::TScratchDir Dir;
  std::string Root() const { return Dir.Path; }
  std::string Store(const std::string& url, const std::string& ext, const std::string& body = "x") {
    std::string name = NativePath(URLToLocalPath(Root(), url, "Data", ext));
    std::filesystem::create_directories(std::filesystem::path(name).parent_path());
    std::ofstream(name, std::ios::binary) << body;
    return name;
  }
};

TEST(InsertBase, Table) {
  struct Case {
    const char* name;
    std::string page;
    std::string url;
    bool asMarker;
    std::string result;
    std::string after;
  };
  const std::vector<Case> cases = {
      {"marker after an upper-case head", "<html><HEAD><title>t</title>", "http://h/a.html", true,
       "http://h/a.html", "<html><HEAD>\n<!--TvBASE HREF=\"http://h/a.html\"-->\n<title>t</title>"},
      {"element after head with attributes", "<head profile=\"x>y\"><p>", "http://h/", false,
       "http://h/", "<head profile=\"x>y\">\n<BASE HREF=\"http://h/\">\n<p>"},
      {"no head: after html", "<HTML lang=en><p>", "http://h/", false, "http://h/",
       "<HTML lang=en>\n<BASE HREF=\"http://h/\">\n<p>"},
      {"no head or html: after doctype", "<!doctype html><p>", "http://h/", true, "http://h/",
       "<!doctype html>\n<!--TvBASE HREF=\"http://h/\"-->\n<p>"},
      {"header is no head", "<header><html>", "http://h/", false, "http://h/",
       "<header><html>\n<BASE HREF=\"http://h/\">\n"},
      {"fragment: nowhere to put it", "<p>text</p>", "http://h/", true, "", "<p>text</p>"},
      {"no url, no base", "<head>", "", true, "", "<head>"},
      {"own base kept and turned into the marker", "<head><base href=\"http://b/d/\"><p>",
       "http://h/a.html", true, "http://b/d/", "<head><!--Tvbase href=\"http://b/d/\"--><p>"},
      {"own base kept as it is without marker", "<head><BASE HREF=x/>", "", false, "x/",
       "<head><BASE HREF=x/>"},
      {"relative base resolved against the page", "<head><base href=\"/\">", "http://h/dir/p.html",
       true, "http://h/", "<head><!--Tvbase href=\"/\"-->"},
      {"relative base without a page address", "<base href=\"../up/\">", "", true, "../up/",
       "<!--Tvbase href=\"../up/\"-->"},
      {"quote in the address escaped", "<head>", "http://h/a\"b<c>", false, "http://h/a\"b<c>",
       "<head>\n<BASE HREF=\"http://h/a%22b%3Cc%3E\">\n"},
      {"& written as a reference", "<head>", "http://h/p?a=1&amp=2", true, "http://h/p?a=1&amp=2",
       "<head>\n<!--TvBASE HREF=\"http://h/p?a=1&amp;amp=2\"-->\n"},
      {"own base read as the browser reads it", "<head><base href=\"/d/?a=1&amp;b=2\">",
       "http://h/p.html", true, "http://h/d/?a=1&b=2",
       "<head><!--Tvbase href=\"/d/?a=1&amp;b=2\"-->"},
      {"base in a comment ignored", "<!-- <base href=x> --><head>", "http://h/", false, "http://h/",
       "<!-- <base href=x> --><head>\n<BASE HREF=\"http://h/\">\n"},
  };
  for (auto c : cases) {
    std::string page = c.page;
    EXPECT_EQ(InsertBase(page, c.url, c.asMarker), c.result) << c.name;
    EXPECT_EQ(page, c.after) << c.name;
  }
}

TEST(InsertBase, MarkerIsFoundAgainByTheScanner) {
  std::string page = "<html><head><title>t</title></head><body><a href=x>x</a>";
  InsertBase(page, "http://h/d/?a=1&amp=2", true);
  const char* p = page.c_str();
  ASSERT_TRUE(FindNextTag(p));
  ASSERT_TRUE(FindNextTag(++p));
  ASSERT_TRUE(FindNextTag(++p));
  EXPECT_EQ(DecodeCharRefs(GetTagAttribute("Tvbase", "href", p)), "http://h/d/?a=1&amp=2");
}

TEST(LinkToLocal, Table) {
  TMirror m;
  const std::string page = "http://h/dir/page.html";
  m.Store(page, ".html");
  m.Store("http://h/dir/a.html", ".html");
  m.Store("http://h/img/b.gif", ".gif");
  m.Store("http://h/dir/sub/c.css", ".css");
  m.Store("http://h/dir/x.html", ".htm");
  const std::string root = m.Root();
  struct Case {
    const char* name;
    std::string link;
    bool force, asFileURL;
    std::string local;
  };
  const std::vector<Case> cases = {
      {"stored sibling", "a.html", false, false, "../a.html/Data.html"},
      {"stored up a folder", "../img/b.gif", false, false, "../../img/b.gif/Data.gif"},
      {"stored below", "sub/c.css", false, false, "../sub/c.css/Data.css"},
      {"extension found on disk", "x.html", false, false, "../x.html/Data.htm"},
      {"absolute link to a stored body", "http://h/dir/a.html", false, false,
       "../a.html/Data.html"},
      {"fragment kept", "a.html#part", false, false, "../a.html/Data.html#part"},
      {"itself", "page.html", false, false, "Data.html"},
      {"already a stored body", "../a.html/Data.html", false, false, "../a.html/Data.html"},
      {"fragment only", "#top", false, false, "#top"},
      {"empty", "", false, false, ""},
      {"file link kept", "file:///etc/hosts#x", false, false, "file:///etc/hosts#x"},
      {"not stored", "missing.html", false, false, ""},
      {"not stored, forced", "missing.html", true, false, "../missing.html/Data.html"},
      {"folders compared with their case", "../DIR/a.html", false, false, ""},
      {"folders compared with their case, forced", "../DIR/a.html", true, false,
       "../../DIR/a.html/Data.html"},
      {"file URL", "a.html#f", false, true, "file://" + root + "/http/h/dir/a.html/Data.html#f"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(LinkToLocal(root, page, c.link, c.force, c.asFileURL), c.local) << c.name;
}

TEST(LinkToLocal, FileURLIsPercentEncoded) {
  test::TScratchDir dir;
  const std::string root = dir.Path + "/My Web#1";
  EXPECT_EQ(LinkToLocal(root, "http://h/p.html", "a b.html", true, true),
            "file://" + dir.Path + "/My%20Web%231/http/h/a%20b.html/Data.html");
}

TEST(AbsoluteLink, Table) {
  struct Case {
    std::string link, result;
  };
  const std::vector<Case> cases = {
      {"a.html", "http://h/dir/a.html"},
      {"../b.html#x", "http://h/b.html#x"},
      {"c.html?q=#a#b", "http://h/dir/c.html?q=#a#b"},
      {"?q=1", "http://h/dir/p.html?q=1"},
      {"http://o/x", ""},
      {"mailto:x@y", ""},
      {"#frag", ""},
      {"", ""},
      {"x/Data.html", ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(AbsoluteLink("/unused", "http://h/dir/p.html", c.link), c.result) << c.link;
}

TEST(ReplaceLinkAt, ReplacesExactlyTheLinkBytes) {
  TMirror m;
  m.Store("http://h/p.html", ".html");
  m.Store("http://h/a.html", ".html");
  struct Case {
    std::string page;
    std::size_t index;
    std::string link;
    std::string after;
  };
  const std::vector<Case> cases = {
      {"<a href=\" a.html \">", 10, "a.html", "<a href=\" ../a.html/Data.html \">"},
      {"<a href=b.html>", 8, "b.html", "<a href=http://h/b.html>"},
      {"<a href=\"#x\">", 9, "#x", "<a href=\"#x\">"},
      {"<a href=\"http://o/\">", 9, "http://o/", "<a href=\"http://o/\">"},
  };
  for (auto c : cases) {
    ReplaceLinkAt(c.page, c.index, m.Root(), "http://h/p.html", c.link, false);
    EXPECT_EQ(c.page, c.after) << c.link;
  }
}

// A base can carry bytes that would end the value or open markup; they are
// percent-encoded in the rewritten link, never written raw.
TEST(ReplaceLinkAt, EncodesWhatWouldBreakTheValue) {
  std::string page = "<a href=x.html>";
  ReplaceLinkAt(page, 8, "/nowhere", "http://h/a b\"<i>'/p.html", "x.html", false);
  EXPECT_EQ(page, "<a href=http://h/a%20b%22%3Ci%3E%27/x.html>");
}

// The whole page: every rule of the rewrite, compared byte for byte.
TEST(LocaliseHTMLFile, FixturePage) {
  TMirror m;
  const std::string pageURL = "http://www.example.com/dir/sub/page.html";
  const std::string d = "http://www.example.com/dir/";
  const std::string file =
      m.Store(pageURL, ".html", test::ReadBytes(std::string(QV_TEST_DATA) + "/scanners/page.html"));
  for (const char* stored :
       {"stored.html", "next.html", "frame.html", "layer.html", "upper.js", "lower.js", "mixed.js"})
    m.Store(d + stored, std::strrchr(stored, '.'));
  m.Store(d + "style.css", ".css");
  m.Store(d + "img/a.gif", ".gif");
  m.Store(d + "bg.gif", ".gif");
  m.Store("http://www.example.com/up.html", ".html");

  std::atomic<bool> abort{false};
  LocaliseHTMLFile(pageURL, m.Root(), abort);
  std::string expected =
      Replace(test::ReadBytes(std::string(QV_TEST_DATA) + "/scanners/page.expected.html"), "@ROOT@",
              m.Root());
  EXPECT_EQ(test::ReadBytes(file), expected);
}

// A zero byte in a stored page or sheet hides no link after it; the zero
// bytes themselves are kept.
TEST(LocaliseStoredFiles, AZeroByteHidesNoLinkAfterIt) {
  using namespace std::string_literals;
  TMirror m;
  m.Store("http://h/a.html", ".html");
  struct Case {
    const char* name;
    std::string url, ext, body, after;
  };
  const std::vector<Case> cases = {
      {"zero bytes between tags", "http://h/p.html", ".html",
       "<a href=\"a.html\">a</a>\0<p>\0\0<a href=\"a.html\">b</a>"s,
       "<a href=\"../a.html/Data.html\">a</a>\0<p>\0\0<a href=\"../a.html/Data.html\">b</a>"s},
      {"a value cut by a zero byte stays", "http://h/q.html", ".html",
       "<a href=\"a.html\0\">x</a><a href=a.html>"s,
       "<a href=\"a.html\0\">x</a><a href=../a.html/Data.html>"s},
      {"a zero byte in the head", "http://h/r.html", ".html",
       "<html>\0<head><base href=\"http://h/\"></head><a href=a.html>"s,
       "<html>\0<head><base href=\"http://h/\"></head><a href=../a.html/Data.html>"s},
      {"style sheet", "http://h/s.css", ".css", "a { b: url(a.html) }\0c { d: url(a.html) }"s,
       "a { b: url(../a.html/Data.html) }\0c { d: url(../a.html/Data.html) }"s},
  };
  std::atomic<bool> abort{false};
  for (const auto& c : cases) {
    const std::string file = m.Store(c.url, c.ext, c.body);
    if (c.ext == ".css")
      LocaliseCSSFile(c.url, m.Root(), abort);
    else
      LocaliseHTMLFile(c.url, m.Root(), abort);
    EXPECT_EQ(test::ReadBytes(file), c.after) << c.name;
  }
}

// The walk holds a tag's rewrites back and makes them all in one pass at the
// end; wherever a held rewrite could change what the rest of the walk reads,
// the tag is rewritten in place instead. Either way the page and the edits are
// those of rewriting every link in place as it is found.
TEST(LocaliseHTMLText, HeldRewritesGiveThePageOfRewritesInPlace) {
  TMirror m;
  const std::string pageURL = "http://h/d/p.html";
  m.Store(pageURL, ".html");
  m.Store("http://h/d/a.html", ".html");
  m.Store("http://h/d/img/b.gif", ".gif");
  m.Store("http://h/x.css", ".css");
  struct TCase {
    const char* Name;
    std::string Page;
  };
  const std::vector<TCase> cases = {
      {"double-quoted values", "<a href=\"a.html\">a</a><img src=\"img/b.gif\" alt=\"b\">"},
      {"attributes rewritten out of their order",
       "<img srcset=\"img/b.gif 2x, missing.gif 1x\" src=\"img/b.gif\" lowsrc=\"a.html\">"},
      {"single-quoted and unquoted values", "<a href='a.html'>a</a><a href=a.html>b</a>"},
      {"a value naming an attribute of its tag",
       "<img longdesc=src=a.html src=\"img/b.gif\"><img longdesc='x src=\"a.html\"' src=b.gif>"},
      {"markup inside a value", "<a href=\"a.html?<b>\">a</a><a href=\"<a href=a.html>\">b</a>"},
      {"a quote left open", "<a href=\"a.html>a</a><a href=\"a.html\">b</a>"},
      {"a tag inside style-sheet text",
       "<style>p{background:url(img/b.gif)} <img src=\"a.html\"> q{background:url(x.png)}"
       "</style><a href=\"a.html\">a</a>"},
      {"style attributes and a script's source",
       "<p style=\"background:url('img/b.gif')\"><script src=\"a.html\"></script>"},
      {"a comment and a refresh",
       "<!-- <a href=\"a.html\"> --><meta http-equiv=refresh content=\"0; url=a.html\">"},
      {"references in a value", "<a href=\"a.html?x=1&amp;y=2\">a</a><a href=\"&#97;.html\">b</a>"},
      {"a zero byte", std::string("<a href=\"a.html\">a</a>") + '\0' + "<a href=\"a.html\">b</a>"},
  };
  std::atomic<bool> abort{false};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    // Many times over, so rewrites made in place would shift long tails.
    std::string page;
    for (int i = 0; i < 50; ++i) page += c.Page;
    std::string held = page, inPlace = page;
    std::vector<TTextEdit> heldEdits, inPlaceEdits;
    LocaliseHTMLText(held, pageURL, m.Root(), abort, {}, &heldEdits);
    html_detail::LocaliseHTMLTextInPlace(inPlace, pageURL, m.Root(), abort, {}, &inPlaceEdits);
    EXPECT_NE(held, page);
    EXPECT_EQ(held, inPlace);
    ASSERT_EQ(heldEdits.size(), inPlaceEdits.size());
    for (std::size_t i = 0; i < heldEdits.size(); ++i) {
      EXPECT_EQ(heldEdits[i].At, inPlaceEdits[i].At) << i;
      EXPECT_EQ(heldEdits[i].Old, inPlaceEdits[i].Old) << i;
      EXPECT_EQ(heldEdits[i].New, inPlaceEdits[i].New) << i;
    }
  }
}

TEST(LocaliseHTMLFile, MissingOrEmptyStoredPageIsLeftAlone) {
  TMirror m;
  std::atomic<bool> abort{false};
  LocaliseHTMLFile("http://h/none.html", m.Root(), abort);
  EXPECT_FALSE(std::filesystem::exists(m.Root() + "/http"));
  const std::string file = m.Store("http://h/e.html", ".html", "");
  LocaliseHTMLFile("http://h/e.html", m.Root(), abort);
  EXPECT_EQ(test::ReadBytes(file), "");
}

// Localised links are longer than the originals, so a nearly full disk
// fails the write back; the stored page and sheet must then stay as they were.
TEST(LocaliseStoredFiles, AFailedWriteLeavesTheStoredCopyWhole) {
  TMirror m;
  std::string page, sheet;
  for (int i = 0; i < 40; ++i) {
    page += "<a href=\"a.html\">" + std::to_string(i) + "</a>\n";
    sheet += "p" + std::to_string(i) + " { background: url(a.html) }\n";
  }
  const std::string pageFile = m.Store("http://h/p.html", ".html", page);
  const std::string sheetFile = m.Store("http://h/s.css", ".css", sheet);
  m.Store("http://h/a.html", ".html");
  std::atomic<bool> abort{false};
  {
    test::TFileSizeLimit limit(std::max(page.size(), sheet.size()) + 64);
    EXPECT_THROW(LocaliseHTMLFile("http://h/p.html", m.Root(), abort), EInOutError);
    EXPECT_THROW(LocaliseCSSFile("http://h/s.css", m.Root(), abort), EInOutError);
  }
  EXPECT_EQ(test::ReadBytes(pageFile), page);
  EXPECT_EQ(test::ReadBytes(sheetFile), sheet);
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::recursive_directory_iterator(m.Root()))
    if (e.is_regular_file()) names.push_back(e.path().filename().string());
  EXPECT_EQ(names.size(), 3u) << "no temporary file left behind";

  // With room on the disk both are rewritten.
  LocaliseHTMLFile("http://h/p.html", m.Root(), abort);
  LocaliseCSSFile("http://h/s.css", m.Root(), abort);
  EXPECT_EQ(test::ReadBytes(pageFile).find("\"a.html\""), std::string::npos);
  EXPECT_EQ(test::ReadBytes(sheetFile).find("(a.html)"), std::string::npos);
}

TEST(LocaliseHTMLFile, LetsMessagesRunEvery100TagsAndStopsOnAbort) {
  TMirror m;
  std::string page;
  for (int i = 1; i <= 250; ++i) page += "<a href=\"a.html\">" + std::to_string(i) + "</a>\n";
  const std::string file = m.Store("http://h/p.html", ".html", page);
  m.Store("http://h/a.html", ".html");

  std::atomic<bool> abort{false};
  int calls = 0;
  LocaliseHTMLFile("http://h/p.html", m.Root(), abort, [&] {
    ++calls;
    abort = true;
  });
  EXPECT_EQ(calls, 1);
  const std::string after = test::ReadBytes(file);
  std::size_t rewritten = 0;
  for (std::size_t i = after.find("../a.html/Data.html"); i != std::string::npos;
       i = after.find("../a.html/Data.html", i + 1))
    ++rewritten;
  EXPECT_EQ(rewritten, 99u);  // the 100th tag and those after it are left

  // Without an abort the callback runs at tags 100 and 200 and all are done.
  const std::string file2 = m.Store("http://h/q.html", ".html", page);
  abort = false;
  int runs = 0;
  LocaliseHTMLFile("http://h/q.html", m.Root(), abort, [&] { ++runs; });
  EXPECT_EQ(runs, 2);
  EXPECT_EQ(test::ReadBytes(file2).find("\"a.html\""), std::string::npos);
}

}  // namespace
}  // namespace qv
