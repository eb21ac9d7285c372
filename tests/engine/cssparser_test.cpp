#include "engine/cssparser.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "model/tvurlutils.h"
#include "model/vkfile.h"
#include "support/scratchdir.h"

namespace qv {
namespace {

std::vector<std::string> AllURLs(const std::string& sheet) {
  std::vector<std::string> out;
  const char* p = sheet.c_str();
  for (std::string u = NextCSSURL(p); !u.empty(); u = NextCSSURL(p)) {
    EXPECT_EQ(std::string(p, u.size()), u) << "cursor on the value";
    out.push_back(u);
    p += u.size();
  }
  return out;
}

TEST(NextCSSURL, Table) {
  using V = std::vector<std::string>;
  struct Case {
    const char* name;
    std::string sheet;
    V urls;
  };
  const std::vector<Case> cases = {
      {"double quoted", "a { background: url(\"img/a.gif\") }", {"img/a.gif"}},
      {"blanks trimmed", "a { background: url( b.png ) }", {"b.png"}},
      {"single quoted", "a { background: url('c.png') }", {"c.png"}},
      {"no blank after the colon", "a { background:url(c.gif) }", {"c.gif"}},
      {"after another value", "a { background: #fff url(d.png) no-repeat }", {"d.png"}},
      {"in a list of values",
       "@font-face { src: url(a.woff) format(\"woff\"),url(b.ttf) }",
       {"a.woff", "b.ttf"}},
      {"part of a longer name", "a { b: myurl(e.png); c: -x-url(f.png) }", {}},
      {"inside a comment", "/* a { b: url(f.png) } */ c { d: url(g.png) }", {"g.png"}},
      {"in an unterminated comment", "a { b: url(h.png) } /* c: url(i.png)", {"h.png"}},
      {"blank-set before url and (", "a { x: \n URL\t( d.png) }", {"d.png"}},
      {"not url", "a { color: red; font: 12px }", {}},
      {"import as url()", "@import url(\"x.css\");", {"x.css"}},
      {"import as a string", "@import \"y.css\" screen; @IMPORT 'z.css';", {"y.css", "z.css"}},
      {"import of an empty string", "@import \"\"; a { b: url(j.png) }", {"j.png"}},
      {"at-rule that imports nothing", "@media print { a { b: url(k.png) } }", {"k.png"}},
      {"several",
       "a { b: url(1.png); c: url(2.png) } d { e: url(3.png) }",
       {"1.png", "2.png", "3.png"}},
      {"empty url() passed over", "a { b: url(); c: url(\"\"); d: url(e.png) }", {"e.png"}},
      {"quote without its end runs to )", "a { b: url(\"x.png) }", {"x.png"}},
      {"no ) runs to the end", "a { b: url(x.png", {"x.png"}},
      {"stops at a zero byte", std::string("a { b: url(1.png) }\0 c: url(2.png)", 34), {"1.png"}},
      {"colon at the end", "a: ", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(AllURLs(c.sheet), c.urls) << c.name;
}

// An @import rule's address is told apart: it is a style sheet to read in
// turn, the others are files to download.
TEST(NextCSSURL, ImportRulesAreToldApart) {
  const std::string sheet =
      "@import url(a.css);\n@import 'b.css';\nx { y: url(c.png) }\n@import\n \"d.css\";";
  std::vector<std::pair<std::string, bool>> got;
  const char* p = sheet.c_str();
  bool import = false;
  for (std::string u = NextCSSURL(p, import); !u.empty(); u = NextCSSURL(p, import)) {
    got.emplace_back(u, import);
    p += u.size();
  }
  EXPECT_EQ(got, (std::vector<std::pair<std::string, bool>>{
                     {"a.css", true}, {"b.css", true}, {"c.png", false}, {"d.css", true}}));
}

std::string ReadAll(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

struct TMirror {
  test::TScratchDir Dir;
  std::string Store(const std::string& url, const std::string& ext, const std::string& body = "x") {
    std::string name = NativePath(URLToLocalPath(Dir.Path, url, "Data", ext));
    std::filesystem::create_directories(std::filesystem::path(name).parent_path());
    std::ofstream(name, std::ios::binary) << body;
    return name;
  }
};

TEST(LocaliseCSSFile, FixtureSheet) {
  TMirror m;
  const std::string sheetURL = "http://www.example.com/dir/style.css";
  const std::string file =
      m.Store(sheetURL, ".css", ReadAll(std::string(QV_TEST_DATA) + "/scanners/style.css"));
  m.Store("http://www.example.com/dir/img/a.gif", ".gif");
  std::atomic<bool> abort{false};
  LocaliseCSSFile(sheetURL, m.Dir.Path, abort);
  EXPECT_EQ(ReadAll(file), ReadAll(std::string(QV_TEST_DATA) + "/scanners/style.expected.css"));
}

// A url() whose end lies lines further on (an unclosed quote that a later
// string closes, or no ")" before the next rule's) has swallowed the rules
// between; rewriting it would replace them with one address. Such values stay.
TEST(LocaliseCSSText, ValueRunningOverALineBreakIsLeft) {
  TMirror m;
  m.Store("http://h/x.png", ".png");
  struct Case {
    const char* name;
    std::string sheet;
    std::string after;
  };
  const std::vector<Case> cases = {
      {"double quote closed by a later string",
       "a { b: url(\"x.png) }\nc { d: e }\nf { content: \"q\" }\n",
       "a { b: url(\"x.png) }\nc { d: e }\nf { content: \"q\" }\n"},
      {"single quote closed by a later string",
       "a { b: url('x.png) }\r\nc { d: e }\r\nf { content: 'q' }\r\n",
       "a { b: url('x.png) }\r\nc { d: e }\r\nf { content: 'q' }\r\n"},
      {"no ) before the next rule's", "a { b: url(x.png }\nc { d: e }\nf { g: url(y.png) }\n",
       "a { b: url(x.png }\nc { d: e }\nf { g: url(http://h/y.png) }\n"},
      {"line breaks around the value only", "a { b: url(\n  x.png\n) }\n",
       "a { b: url(\n  ../x.png/Data.png\n) }\n"},
  };
  for (const auto& c : cases) {
    std::string sheet = c.sheet;
    std::atomic<bool> abort{false};
    LocaliseCSSText(sheet, "http://h/s.css", m.Dir.Path, abort);
    EXPECT_EQ(sheet, c.after) << c.name;
  }
}

TEST(LocaliseCSSFile, MissingStoredSheetAndAbort) {
  TMirror m;
  std::atomic<bool> abort{false};
  LocaliseCSSFile("http://h/none.css", m.Dir.Path, abort);
  EXPECT_FALSE(std::filesystem::exists(m.Dir.Path + "/http"));

  std::string sheet;
  for (int i = 0; i < 150; ++i) sheet += "a { b: url(x.png) }\n";
  const std::string file = m.Store("http://h/s.css", ".css", sheet);
  int calls = 0;
  LocaliseCSSFile("http://h/s.css", m.Dir.Path, abort, [&] {
    ++calls;
    abort = true;
  });
  EXPECT_EQ(calls, 1);
  const std::string after = ReadAll(file);
  std::size_t n = 0;
  for (std::size_t i = after.find("http://h/x.png"); i != std::string::npos;
       i = after.find("http://h/x.png", i + 1))
    ++n;
  EXPECT_EQ(n, 99u);
}

}  // namespace
}  // namespace qv
