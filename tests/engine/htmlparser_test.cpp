#include "engine/htmlparser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qv {
namespace {

// Every tag FindNextTag reports, as the text from the cursor to the next blank
// or ">".
std::vector<std::string> Tags(const std::string& page, std::string_view name = {}) {
  std::vector<std::string> out;
  const char* p = page.c_str();
  while (FindNextTag(p, name)) {
    const char* e = p;
    while (*e && *e != ' ' && *e != '>') ++e;
    out.emplace_back(p, e);
    ++p;
  }
  EXPECT_EQ(*p, '\0');
  return out;
}

TEST(FindNextTag, SkipsCommentsAndInlineScriptsButReportsTheMarker) {
  struct Case {
    const char* name;
    std::string page;
    std::vector<std::string> tags;
  };
  const std::vector<Case> cases = {
      {"plain", "<html><a href=x>t</a><IMG src=y>", {"html", "a", "IMG"}},
      {"closing and bang tags never", "</p><!DOCTYPE html><p>", {"p"}},
      {"comment hides anchor", "<!-- <a href=x> --><b>", {"b"}},
      {"unterminated comment continues after opener", "<!-- <a href=x>", {"a"}},
      {"marker reported on keyword", "<!--TvBASE HREF=\"http://h/\"--><p>", {"TvBASE", "p"}},
      {"marker keyword any case, then blank",
       "<!--tvbase\thref=x--><p>",
       {"tvbase\thref=x--", "p"}},
      {"marker needs a delimiter", "<!--TvBASEX href=x--><p>", {"p"}},
      {"lower-case script body skipped", "<script>var s='<a href=x>';</script><b>", {"b"}},
      {"script with src reported", "<script src=a.js></script><i>", {"script", "i"}},
      {"src only inside the code", "<script type=module>x='<img src=y>'</script><i>", {"i"}},
      {"upper-case script reported", "<SCRIPT src=a.js></SCRIPT><i>", {"SCRIPT", "i"}},
      {"mixed-case script reported", "<Script src=a.js><a>", {"Script", "a"}},
      {"unterminated script continues after script", "<script><a href=x>", {"a"}},
      {"non-letter after <", "a < b <3 <_x <a>", {"a"}},
      {"stops at zero byte", std::string("<a><b>\0<c>", 9), {"a", "b"}},
      {"lt at end", "<a><", {"a"}},
  };
  for (const auto& c : cases) EXPECT_EQ(Tags(c.page), c.tags) << c.name;
}

TEST(FindNextTag, NamedSearchNeedsADelimiter) {
  EXPECT_EQ(Tags("<header><HEAD><head\n><heads>", "head"),
            (std::vector<std::string>{"HEAD", "head\n"}));
  // The marker is reported whatever name is asked for.
  EXPECT_EQ(Tags("<p><!--TvBASE HREF=x--><a>", "a"), (std::vector<std::string>{"TvBASE", "a"}));
}

TEST(FindNextTag, AtVariantWritesTheIndexBack) {
  std::string page = "xx<a href=1><b>";
  std::size_t i = 0;
  ASSERT_TRUE(FindNextTagAt(page, i));
  EXPECT_EQ(i, 3u);
  ++i;
  ASSERT_TRUE(FindNextTagAt(page, i));
  EXPECT_EQ(i, 13u);
  ++i;
  EXPECT_FALSE(FindNextTagAt(page, i));
  EXPECT_EQ(i, page.size());
  i = 1000;  // past the end: nothing, and the index lands on the end
  EXPECT_FALSE(FindNextTagAt(page, i));
  EXPECT_EQ(i, page.size());
}

TEST(FindTagEnd, QuotesAndFallbacks) {
  struct Case {
    const char* text;
    std::ptrdiff_t end;
  };
  const Case cases[] = {
      {"a href=x>", 8},
      {"a title=\"1>2\" b>", 15},
      {"a title='1>2' b>", 10},  // single quotes are ordinary
      {"a title=\"1>2 b>", 10},  // no > outside quotes: the first > at all
      {"a title=x", 9},          // none: the end
      {"", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(FindTagEnd(c.text) - c.text, c.end) << c.text;
}

TEST(MatchWord, SkipsBlanksAndIgnoresCase) {
  const char* t = " \t\r\nHref = x";
  const char* p = t;
  EXPECT_TRUE(MatchWord(p, "href"));
  EXPECT_EQ(p - t, 8);
  EXPECT_TRUE(MatchWord(p, "="));
  EXPECT_FALSE(MatchWord(p, "y"));
  EXPECT_EQ(p - t, 10);  // unchanged on failure
  const char* e = "hr";
  EXPECT_FALSE(MatchWord(e, "href"));
}

TEST(GetTagAttribute, Table) {
  struct Case {
    const char* name;
    const char* tag;
    const char* attribute;
    std::string text;
    std::string value;
    std::ptrdiff_t valueAt;  // where advance puts the cursor; -1: not moved
  };
  const std::vector<Case> cases = {
      {"double quoted", "a", "href", "a href=\"x.html\">", "x.html", 8},
      {"single quotes, blanks around =", "a", "href", "a class=x href = 'p q.html'>", "p q.html",
       18},
      {"unquoted to blank", "a", "href", "a href=x.html title=t>", "x.html", 7},
      {"unquoted to >", "a", "href", "a href=x.html>", "x.html", 7},
      {"name case ignored", "A", "HREF", "a Href=x>", "x", 7},
      {"dash before name", "a", "href", "a data-href=x>", "", -1},
      {"name inside a longer name passed over", "img", "src", "img lowsrc=a src=b>", "b", 17},
      {"srcset passed over", "img", "src", "img srcset=\"a.png 2x\" src=b>", "b", 26},
      {"data- prefix passed over", "img", "src", "img data-src=a SRC = \"b\">", "b", 22},
      {"first standalone occurrence wins", "a", "href", "a href=1 href=2>", "1", 7},
      {"name in quotes skipped", "img", "src", "img alt=\"src=no\" src=yes>", "yes", 21},
      {"no =", "a", "href", "a href>", "", -1},
      {"other tag", "a", "href", "abbr href=x>", "", -1},
      {"> is no tag delimiter here", "a", "href", "a>href=x", "", -1},
      {"beyond the tag", "a", "href", "a name=n><b href=x>", "", -1},
      {"leading blank inside quotes", "a", "href", "a href=\" a.html \">", "a.html", 9},
      {"empty value", "a", "href", "a href=\"\" >", "", -1},
      {"line breaks around", "a", "href", "a\nhref\n=\n\"x\">", "x", 10},
      {"missing closing quote runs to the end", "a", "href", "a href=\"x.html>t</a>",
       "x.html>t</a>", 8},
      {"marker drops comment dashes", "Tvbase", "href", "tvbase href=http://h/d/-->", "http://h/d/",
       12},
      {"marker quoted", "TVBASE", "HREF", "TvBASE HREF=\"http://h/\"-->", "http://h/", 13},
      {"marker drops at most two dashes", "Tvbase", "href", "Tvbase href=x--->", "x-", 12},
      {"empty tag searches after ;", "", "url", "5; URL=page.html", "page.html", 7},
      {"empty tag, no blank before", "", "url", "0;url=page.html", "page.html", 6},
      {"empty tag, no ;", "", "url", "url=page.html", "", -1},
      {"zero byte ends the value", "a", "href", std::string("a href=ab\0cd>", 13), "ab", 7},
  };
  for (const auto& c : cases) {
    const char* t = c.text.c_str();
    const char* p = t;
    EXPECT_EQ(GetTagAttribute(c.tag, c.attribute, p, false), c.value) << c.name;
    EXPECT_EQ(p, t) << c.name;
    EXPECT_EQ(GetTagAttribute(c.tag, c.attribute, p, true), c.value) << c.name;
    EXPECT_EQ(p - t, c.valueAt < 0 ? 0 : c.valueAt) << c.name;
    std::size_t i = 0;
    EXPECT_EQ(GetTagAttributeAt(c.tag, c.attribute, c.text, i, true), c.value) << c.name;
    EXPECT_EQ(static_cast<std::ptrdiff_t>(i), c.valueAt < 0 ? 0 : c.valueAt) << c.name;
  }
}

TEST(DecodeCharRefs, Table) {
  const std::string kReplacement = "\xEF\xBF\xBD";  // U+FFFD
  struct Case {
    std::string in, out;
  };
  const std::vector<Case> cases = {
      {"a.html?x=1&amp;y=2", "a.html?x=1&y=2"},
      {"&lt;&gt;&quot;&apos;&QUOT;&AMP;", "<>\"'\"&"},
      {"&sol;&quest;&equals;&num;&percnt;&commat;&lowbar;", "/?=#%@_"},
      {"&#65;&#x42;&#X43&#0068;", "ABCD"},
      {"&#233;&#x1F600;", "\xC3\xA9\xF0\x9F\x98\x80"},
      {"&#0;&#xD800;&#x110000;&#99999999999;",
       kReplacement + kReplacement + kReplacement + kReplacement},
      {"&amp&lt;", "&<"},
      {"&amp=1&ampx", "&amp=1&ampx"},
      {"&amp;amp;", "&amp;"},
      {"&eacute;&bogus;&;&#;&#x;&", "&eacute;&bogus;&;&#;&#x;&"},
      {"no references", "no references"},
  };
  for (const auto& c : cases) EXPECT_EQ(DecodeCharRefs(c.in), c.out) << c.in;
}

TEST(SrcsetURLs, Table) {
  struct Case {
    std::string list;
    std::vector<std::string> urls;
  };
  const std::vector<Case> cases = {
      {"a.png 1x, b.png 2x", {"a.png", "b.png"}},
      {"a-480.png 480w,a-960.png 960w", {"a-480.png", "a-960.png"}},
      {"\n  a.png,\n  b.png 2x\n", {"a.png", "b.png"}},
      {"a.png,b.png", {"a.png,b.png"}},  // no blank: one URL holding a comma
      {"a.png,, , b.png", {"a.png", "b.png"}},
      {"data:image/png;base64,iVBO 1x, c.png 2x", {"data:image/png;base64,iVBO", "c.png"}},
      {"a.png 1x (x, y), b.png", {"a.png", "b.png"}},
      {" , ", {}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> got;
    for (const TTextSpan& u : SrcsetURLs(c.list)) got.push_back(c.list.substr(u.At, u.Length));
    EXPECT_EQ(got, c.urls) << c.list;
  }
}

TEST(CleanLinkText, Table) {
  struct Case {
    std::string in, out;
  };
  const std::vector<Case> cases = {
      {"Next<br>page", "Next\n\rpage"},
      {"a<BR>b", "a\n\rb"},
      {"a&nbsp;b", "a\n\r;b"},
      {"a&NBSPb", "a\n\rb"},
      {"  two \t\r\n words  ", " two words "},
      {"<br", "<br"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(CleanLinkText(c.in), c.out) << c.in;
}

TEST(GetLinkText, Table) {
  struct Case {
    const char* name;
    std::string page;  // starts with the ">" of the anchor's start tag
    std::string text;
    std::string image;
  };
  const std::vector<Case> cases = {
      {"plain text", "> Hello  world </a>", "Hello world", "(none)"},
      {"image with alt", "><img src=\"i.gif\" alt=\"Home page\"></a>", "Home page", "i.gif"},
      {"blanks then image without alt", ">\n  <img src=i.gif></a>", "", "i.gif"},
      {"image without alt directly", "><img src=i.gif></a>", "", "i.gif"},
      {"br inside", ">Next<br>page</a>", "Next\n\rpage", "(none)"},
      {"closing tag first", "></a>text", "", "(none)"},
      {"end of text", ">", "", "(none)"},
      {"text after a tag", "><b>Bold</b></a>", "Bold", ""},
      {"quoted > inside a tag", "><span title=\"a>b\">T</span>", "T", ""},
      {"no closing tag", "> to the end", "to the end", "(none)"},
  };
  for (const auto& c : cases) {
    std::string image = "(none)";
    EXPECT_EQ(GetLinkText(c.page.c_str(), &image), c.text) << c.name;
    EXPECT_EQ(image, c.image) << c.name;
    EXPECT_EQ(GetLinkText(c.page.c_str()), c.text) << c.name;
  }
  EXPECT_EQ(GetLinkText(nullptr), "");
  EXPECT_EQ(GetLinkText("a>b</a>"), "");
}

TEST(GetLinkText, StaysWithinAWindowOnPagesWithoutClosingTags) {
  std::string page = ">";
  for (int i = 0; i < 20000; ++i) page += "word <a href=x>";
  std::string text = GetLinkText(page.c_str());
  EXPECT_FALSE(text.empty());
  EXPECT_LE(text.size(), 4096u);
}

TEST(GetMetaRefreshURL, Table) {
  struct Case {
    const char* name;
    std::string tag;
    std::string url;
  };
  const std::vector<Case> cases = {
      {"refresh", "meta http-equiv=\"Refresh\" content=\"0; URL=/next.html\">", "/next.html"},
      {"upper case", "META HTTP-EQUIV=REFRESH CONTENT=\"5;url=p.html\">", "p.html"},
      {"quoted url", "meta http-equiv=refresh content=\"0; url='q r.html'\">", "q r.html"},
      {"no ;", "meta http-equiv=refresh content=\"url=p.html\">", ""},
      {"not refresh", "meta http-equiv=expires content=\"0; url=p.html\">", ""},
      {"other tag", "link http-equiv=refresh content=\"0; url=p.html\">", ""},
      {"no content", "meta http-equiv=refresh>", ""},
  };
  for (const auto& c : cases) {
    const char* t = c.tag.c_str();
    const char* p = t;
    std::string url = GetMetaRefreshURL(p, true);
    EXPECT_EQ(url, c.url) << c.name;
    if (!url.empty()) {
      EXPECT_EQ(std::string(p, url.size()), url) << c.name;
    } else {
      EXPECT_EQ(p, t) << c.name;
    }
  }
}

TEST(GetMetaRobots, Table) {
  struct Case {
    std::string tag, content;
  };
  const std::vector<Case> cases = {
      {"meta name=\"robots\" content=\"noindex, nofollow\">", "noindex, nofollow"},
      {"META NAME=ROBOTS CONTENT=none>", "none"},
      {"meta http-equiv=robots content=nofollow>", "nofollow"},
      {"meta name=description content=nofollow>", ""},
      {"meta name=\" robots \" content=x>", "x"},
      {"metadata name=robots content=x>", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(GetMetaRobots(c.tag.c_str()), c.content) << c.tag;
}

}  // namespace
}  // namespace qv
