#include "engine/htmlparser.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <optional>
#include <system_error>
#include <unordered_map>
#include <vector>

#include "engine/cssparser.h"
#include "engine/scantext.h"
#include "model/streamext.h"
#include "model/strutils.h"
#include "model/tvurlutils.h"
#include "model/uriparser.h"
#include "model/vkfile.h"

namespace qv {

using scan::IsBlank;
using scan::IsLetter;
using scan::StartsWith;
using scan::StartsWithIC;

namespace {

constexpr std::string_view kMarkerKeyword = "TVBASE";

// "<!--" is followed by the marker keyword and a blank or the end.
bool IsMarkerAt(const char* p) {
  return StartsWithIC(p, kMarkerKeyword) &&
         (IsBlank(p[kMarkerKeyword.size()]) || p[kMarkerKeyword.size()] == '\0');
}

// A link's text is looked for within this many bytes of its start tag: a page
// without closing tags would otherwise make every anchor's text the rest of the
// page (a huge title each, and quadratic time over the page).
constexpr std::size_t kLinkWalkLimit = 64 * 1024;
constexpr std::size_t kLinkTextLimit = 4 * 1024;

// A value found in a tag: its trimmed bytes, whether its closing quote lies
// inside the tag (a value without one must never be rewritten: it would run
// to the end of the page), and the quote around it (0 when unquoted).
struct TAttrSpan {
  const char* Start = nullptr;
  std::size_t Length = 0;
  bool Closed = false;
  char Quote = 0;
};

// The attribute's value in the tag whose attributes start at s. Closed is
// worked out only with needClosed (it costs a second look at the tag);
// otherwise it means nothing. marker: the tag is the base marker, whose
// unquoted value runs into the comment's closing "--". With tagEnd, the
// tag's end (FindTagEnd of s) is given too.
bool FindAttributeFrom(const char* s, std::string_view attribute, bool marker, TAttrSpan& out,
                       bool needClosed, const char** tagEnd = nullptr) {
  if (attribute.empty()) {
    if (tagEnd) *tagEnd = FindTagEnd(s);
    return false;
  }

  // The attribute is the first occurrence of its name outside double-quoted
  // runs, before the tag's end, that stands alone: a blank-set character or ";"
  // before it and "=" after it (blanks allowed). Occurrences inside longer
  // names ("lowsrc", "data-src", "srcset") are passed over, so the real
  // attribute after them is still found. One pass finds it and the tag's end
  // together; only a ">" inside quotes before it calls for FindTagEnd's
  // fallback rule.
  const unsigned char first = static_cast<unsigned char>(attribute[0]) | 0x20;
  const char* p = nullptr;
  const char* hit = nullptr;
  bool inQuote = false;
  bool quotedGt = false;
  const char lower = static_cast<char>(first);
  const char upper = static_cast<char>(scan::Upper(lower));
  for (const char* h = s;; ++h) {
    if (inQuote) {
      h = scan::FindAnyOf(h, '"', '>');
      if (*h == '>') {
        quotedGt = true;
        continue;
      }
    } else {
      h = scan::FindAnyOf(h, '"', '>', lower, upper);
    }
    const char c = *h;
    if (c == '\0') break;
    if (c == '"') {
      inQuote = !inQuote;
      continue;
    }
    if (c == '>') {
      // Outside quotes: the tag's end, which a caller wanting it is spared
      // a second pass over the tag for.
      if (tagEnd) *tagEnd = h;
      tagEnd = nullptr;
      break;
    }
    if (!StartsWithIC(h, attribute)) continue;
    if (!IsBlank(h[-1]) && h[-1] != ';') continue;
    const char* eq = scan::SkipBlanks(h + attribute.size());
    if (*eq != '=') continue;
    hit = h;
    p = scan::SkipBlanks(eq + 1);
    break;
  }
  if (tagEnd) *tagEnd = FindTagEnd(s);
  if (!hit) return false;
  const char* end = nullptr;  // found when needed
  if (quotedGt) {
    end = FindTagEnd(s);
    if (hit >= end) return false;
  }

  const char* vb;
  const char* ve;
  bool closed = true;
  const char quote = *p == '\'' || *p == '"' ? *p : '\0';
  if (quote) {
    vb = p + 1;
    const char* q = std::strchr(vb, *p);
    if (q) {
      ve = q;
      // A closing quote past the tag's end belongs to later text.
      if (needClosed) {
        if (!end) end = FindTagEnd(s);
        closed = q < end;
      }
    } else {
      ve = vb + std::strlen(vb);
      closed = false;
    }
  } else {
    vb = p;
    ve = p;
    while (*ve && !IsBlank(*ve) && *ve != '>') ++ve;
  }
  if (marker) {
    for (int i = 0; i < 2 && ve > vb && ve[-1] == '-'; ++i) --ve;
  }
  scan::Trim(vb, ve);
  if (vb == ve) return false;
  out.Start = vb;
  out.Length = static_cast<std::size_t>(ve - vb);
  out.Closed = closed;
  out.Quote = quote;
  return true;
}

// The attribute of the tag under the cursor when the tag is named tag; with
// an empty tag, searched after the first ";" from the cursor.
bool FindAttribute(std::string_view tag, std::string_view attribute, const char* cursor,
                   TAttrSpan& out, bool needClosed = true) {
  const char* s;
  if (!tag.empty()) {
    if (!StartsWithIC(cursor, tag)) return false;
    char after = cursor[tag.size()];
    if (!IsBlank(after) && after != '\0') return false;
    s = cursor + tag.size();
  } else {
    s = std::strchr(cursor, ';');
    if (!s) return false;
    ++s;
  }
  return FindAttributeFrom(s, attribute, scan::EqualsIC(tag, kMarkerKeyword), out, needClosed);
}

// The attribute of the tag under the cursor whatever its name; never of the
// base marker, whose text is the program's own. With tagEnd, the tag's end
// (FindTagEnd of the cursor) is given too.
bool FindAnyTagAttribute(std::string_view attribute, const char* cursor, TAttrSpan& out,
                         bool needClosed = true, const char** tagEnd = nullptr) {
  // A quote ends the name too: FindTagEnd counts the quotes from the
  // cursor, and so must the search.
  const char* s = cursor;
  while (*s && !IsBlank(*s) && *s != '>' && *s != '"') ++s;
  if (!IsBlank(*s) || IsMarkerAt(cursor)) {
    if (tagEnd) *tagEnd = FindTagEnd(s);
    return false;
  }
  return FindAttributeFrom(s, attribute, false, out, needClosed, tagEnd);
}

// The URL of a meta refresh under the cursor, located in the page itself.
bool FindMetaRefresh(const char* cursor, TAttrSpan& out, bool needClosed = true) {
  TAttrSpan h;
  if (!FindAttribute("meta", "http-equiv", cursor, h, false) ||
      !scan::EqualsIC(std::string_view(h.Start, h.Length), "refresh"))
    return false;
  TAttrSpan content;
  if (!FindAttribute("meta", "content", cursor, content, needClosed)) return false;
  // The URL is looked for inside the content value only, which a copy bounds.
  std::string copy(content.Start, content.Length);
  TAttrSpan url;
  if (!FindAttribute("", "url", copy.c_str(), url, needClosed)) return false;
  out.Start = content.Start + (url.Start - copy.c_str());
  out.Length = url.Length;
  out.Closed = content.Closed && url.Closed;
  // What is written back goes into the content value.
  out.Quote = content.Quote;
  return true;
}

}  // namespace

bool FindNextTag(const char*& cursor, std::string_view tag) {
  const char* p = cursor;
  while (*p) {
    if (*p != '<') {
      p = scan::FindAnyOf(p, '<');
      continue;
    }
    ++p;
    if (p[0] == '!' && p[1] == '-' && p[2] == '-') {
      p += 3;
      if (IsMarkerAt(p)) {
        cursor = p;
        return true;
      }
      if (const char* e = std::strstr(p, "-->")) p = e + 3;
    }
    // An inline script's code is no markup and is passed over whole. A
    // script that names its file is a link like an image's: its tag is
    // reported, or the stored page would keep an address that no longer
    // resolves from where the page is stored. Its body is empty (a browser
    // ignores it), so reporting the tag scans no code.
    TAttrSpan src;
    if (StartsWith(p, "script") && !FindAttribute("script", "src", p, src, false)) {
      p += 6;
      if (const char* e = std::strstr(FindTagEnd(p), "</script>")) p = e + 9;
    }
    if (!tag.empty()) {
      if (StartsWithIC(p, tag)) {
        char after = p[tag.size()];
        if (IsBlank(after) || after == '>' || after == '\0') {
          cursor = p;
          return true;
        }
      }
    } else if (IsLetter(*p)) {
      cursor = p;
      return true;
    }
  }
  cursor = p;
  return false;
}

bool FindNextTagAt(const std::string& text, std::size_t& index, std::string_view tag) {
  const char* base = text.c_str();
  const char* const end = base + text.size();
  const char* p = base + (index < text.size() ? index : text.size());
  bool found = FindNextTag(p, tag);
  // A zero byte in a page hides nothing after it from a browser.
  while (!found && p < end) found = FindNextTag(++p, tag);
  index = static_cast<std::size_t>(p - base);
  return found;
}

const char* FindTagEnd(const char* p) {
  bool inQuote = false;
  for (const char* q = p;; ++q) {
    q = inQuote ? scan::FindAnyOf(q, '"') : scan::FindAnyOf(q, '"', '>');
    if (*q == '\0') break;
    if (*q == '"')
      inQuote = !inQuote;
    else if (!inQuote)
      return q;
  }
  return strchrnul(p, '>');
}

bool MatchWord(const char*& cursor, std::string_view word) {
  const char* p = scan::SkipBlanks(cursor);
  if (!StartsWithIC(p, word)) return false;
  cursor = p + word.size();
  return true;
}

std::string html_detail::GetNamedTagAttribute(std::string_view tag, std::string_view attribute,
                                              const char*& cursor, bool advance) {
  TAttrSpan v;
  if (!FindAttribute(tag, attribute, cursor, v, false)) return {};
  if (advance) cursor = v.Start;
  return std::string(v.Start, v.Length);
}

std::string GetAnyTagAttribute(std::string_view attribute, const char* cursor) {
  TAttrSpan v;
  if (!FindAnyTagAttribute(attribute, cursor, v, false)) return {};
  return std::string(v.Start, v.Length);
}

std::string GetAnyTagAttribute(std::string_view attribute, const char* cursor,
                               const char*& tagEnd) {
  TAttrSpan v;
  if (!FindAnyTagAttribute(attribute, cursor, v, false, &tagEnd)) return {};
  return std::string(v.Start, v.Length);
}

namespace {

struct TNamedReference {
  std::string_view Name;
  char Byte;
};

// HTML's names of the printable ASCII bytes and of tab and line feed: what a
// URL can carry. The first eight also stand without their ";".
constexpr TNamedReference kNamedReferences[] = {
    {"amp", '&'},          {"AMP", '&'},
    {"lt", '<'},           {"LT", '<'},
    {"gt", '>'},           {"GT", '>'},
    {"quot", '"'},         {"QUOT", '"'},
    {"apos", '\''},        {"Tab", '\t'},
    {"NewLine", '\n'},     {"excl", '!'},
    {"num", '#'},          {"dollar", '$'},
    {"percnt", '%'},       {"lpar", '('},
    {"rpar", ')'},         {"ast", '*'},
    {"midast", '*'},       {"plus", '+'},
    {"comma", ','},        {"period", '.'},
    {"sol", '/'},          {"colon", ':'},
    {"semi", ';'},         {"equals", '='},
    {"quest", '?'},        {"commat", '@'},
    {"lsqb", '['},         {"lbrack", '['},
    {"bsol", '\\'},        {"rsqb", ']'},
    {"rbrack", ']'},       {"Hat", '^'},
    {"lowbar", '_'},       {"UnderBar", '_'},
    {"grave", '`'},        {"DiacriticalGrave", '`'},
    {"lcub", '{'},         {"lbrace", '{'},
    {"verbar", '|'},       {"vert", '|'},
    {"VerticalLine", '|'}, {"rcub", '}'},
    {"rbrace", '}'},
};
constexpr std::size_t kLegacyNames = 8;

bool IsAlnum(char c) { return IsLetter(c) || (c >= '0' && c <= '9'); }

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The reference that starts with the "&" at i: its text appended to out and
// its length in length; false (nothing appended) when it is none.
bool DecodeReferenceAt(std::string_view v, std::size_t i, std::string& out, std::size_t& length) {
  std::size_t j = i + 1;
  if (j < v.size() && v[j] == '#') {
    ++j;
    const bool hex = j < v.size() && (v[j] == 'x' || v[j] == 'X');
    if (hex) ++j;
    const std::size_t digits = j;
    std::uint32_t cp = 0;
    for (; j < v.size(); ++j) {
      const int d = hex ? HexDigit(v[j]) : (v[j] >= '0' && v[j] <= '9' ? v[j] - '0' : -1);
      if (d < 0) break;
      // Past U+10FFFF the number only has to stay there.
      if (cp <= 0x10FFFF) cp = cp * (hex ? 16 : 10) + static_cast<std::uint32_t>(d);
    }
    if (j == digits) return false;
    if (j < v.size() && v[j] == ';') ++j;
    if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
    AppendUtf8(out, cp);
    length = j - i;
    return true;
  }
  while (j < v.size() && IsAlnum(v[j])) ++j;
  const std::string_view name = v.substr(i + 1, j - i - 1);
  const bool semicolon = j < v.size() && v[j] == ';';
  if (!semicolon && j < v.size() && v[j] == '=') return false;
  for (std::size_t k = 0; k < std::size(kNamedReferences); ++k) {
    if (kNamedReferences[k].Name != name || (!semicolon && k >= kLegacyNames)) continue;
    out += kNamedReferences[k].Byte;
    length = j - i + (semicolon ? 1 : 0);
    return true;
  }
  return false;
}

// DecodeCharRefs into out. With rawAt, rawAt[k] is the offset in v of the
// text out's byte k came from, and one more entry holds v's size, so a span
// of out maps back onto the bytes of v it was read from.
void DecodeInto(std::string_view v, std::string& out, std::vector<std::size_t>* rawAt) {
  out.reserve(out.size() + v.size());
  std::size_t i = 0;
  while (i < v.size()) {
    std::size_t amp = v.find('&', i);
    if (amp == std::string_view::npos) amp = v.size();
    out.append(v.data() + i, amp - i);
    if (rawAt)
      for (std::size_t k = i; k < amp; ++k) rawAt->push_back(k);
    i = amp;
    if (i == v.size()) break;
    const std::size_t before = out.size();
    std::size_t length = 1;
    if (!DecodeReferenceAt(v, i, out, length)) out += '&';
    if (rawAt)
      for (std::size_t k = before; k < out.size(); ++k) rawAt->push_back(i);
    i += length;
  }
  if (rawAt) rawAt->push_back(v.size());
}

}  // namespace

std::string html_detail::DecodedCharRefs(std::string_view value) {
  std::string out;
  DecodeInto(value, out, nullptr);
  return out;
}

std::vector<TTextSpan> SrcsetURLs(std::string_view s) {
  // ASCII whitespace, as the candidate list counts it.
  auto space = [](char c) { return IsBlank(c) || c == '\f'; };
  std::vector<TTextSpan> urls;
  std::size_t i = 0;
  const std::size_t n = s.size();
  for (;;) {
    while (i < n && (space(s[i]) || s[i] == ',')) ++i;
    if (i >= n) break;
    const std::size_t b = i;
    while (i < n && !space(s[i])) ++i;
    std::size_t e = i;
    if (s[e - 1] == ',') {
      // Commas that end the URL end the candidate too: it has no descriptors.
      while (e > b && s[e - 1] == ',') --e;
      urls.push_back({b, e - b});
      continue;
    }
    urls.push_back({b, e - b});
    // The descriptors run to a comma outside parentheses.
    bool inParens = false;
    for (; i < n; ++i) {
      if (s[i] == '(') {
        inParens = true;
      } else if (s[i] == ')') {
        inParens = false;
      } else if (s[i] == ',' && !inParens) {
        ++i;
        break;
      }
    }
  }
  return urls;
}

std::string_view StyleElementText(const char* cursor) {
  if (!StartsWithIC(cursor, "style") || !(IsBlank(cursor[5]) || cursor[5] == '>')) return {};
  const char* e = FindTagEnd(cursor);
  if (*e != '>') return {};
  const char* b = e + 1;
  const char* p = b;
  for (;; ++p) {
    p = scan::FindAnyOf(p, '<');
    if (*p == '\0') break;
    if (p[1] == '/' && StartsWithIC(p + 2, "style")) {
      const char after = p[7];
      if (IsBlank(after) || after == '>' || after == '/' || after == '\0') break;
    }
  }
  return {b, static_cast<std::size_t>(p - b)};
}

std::string GetTagAttributeAt(std::string_view tag, std::string_view attribute,
                              const std::string& text, std::size_t& index, bool advance) {
  const char* base = text.c_str();
  const char* p = base + (index < text.size() ? index : text.size());
  std::string v = GetTagAttribute(tag, attribute, p, advance);
  index = static_cast<std::size_t>(p - base);
  return v;
}

std::string CleanLinkText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  const std::size_t n = text.size();
  auto at = [&](std::size_t k, std::string_view w) {
    return k + w.size() <= n && scan::EqualsIC(text.substr(k, w.size()), w);
  };
  std::size_t i = 0;
  while (i < n) {
    // Copy the run of ordinary bytes in one go.
    std::size_t j = i;
    while (j < n && !IsBlank(text[j]) && text[j] != '<' && text[j] != '&') ++j;
    out.append(text.data() + i, j - i);
    i = j;
    if (i >= n) break;
    const char c = text[i];
    if (c == '<' && at(i, "<br>")) {
      out += "\n\r";
      i += 4;
    } else if (c == '&' && at(i, "&nbsp")) {
      out += "\n\r";
      i += 5;
    } else if (IsBlank(c)) {
      while (i < n && IsBlank(text[i])) ++i;
      out += ' ';
    } else {
      out += c;
      ++i;
    }
  }
  return out;
}

std::string GetLinkText(const char* tagEnd, std::string* imageURL) {
  if (!tagEnd || *tagEnd != '>') return {};
  const char* p = tagEnd + 1;
  bool inTag = false;
  bool inQuote = false;
  for (std::size_t walked = 0; walked < kLinkWalkLimit; ++walked, ++p) {
    char c = *p;
    if (c == '\0') return {};
    if (c == '<' && p[1] == '/') return {};
    if (inQuote) {
      if (c == '"') inQuote = false;
      continue;
    }
    if (c == '<' && IsLetter(p[1])) {
      const char* t = p + 1;
      if (imageURL) *imageURL = GetTagAttribute("img", "src", t);
      std::string alt = GetTagAttribute("img", "alt", t);
      if (!alt.empty()) return CleanLinkText(alt);
      inTag = true;
      continue;
    }
    if (c == '>') {
      inTag = false;
      continue;
    }
    if (inTag) {
      if (c == '"') inQuote = true;
      continue;
    }
    // Text: up to the next closing tag, within a bounded window.
    const char* stop = p;
    for (std::size_t k = 0; k < kLinkTextLimit && *stop; ++k, ++stop)
      if (stop[0] == '<' && stop[1] == '/') break;
    const char* b = p;
    const char* e = stop;
    scan::Trim(b, e);
    if (b < e && *b == '<') {
      const char* t = b + 1;
      std::string img = GetTagAttribute("img", "src", t);
      if (imageURL) *imageURL = img;
      std::string alt = GetTagAttribute("img", "alt", t);
      if (!alt.empty()) return CleanLinkText(alt);
      if (!img.empty()) return {};
    }
    return CleanLinkText(std::string_view(b, static_cast<std::size_t>(e - b)));
  }
  return {};
}

std::string GetMetaRefreshURL(const char*& cursor, bool advance) {
  if ((static_cast<unsigned char>(*cursor) | 0x20) != 'm') return {};
  TAttrSpan url;
  if (!FindMetaRefresh(cursor, url, false)) return {};
  if (advance) cursor = url.Start;
  return std::string(url.Start, url.Length);
}

std::string GetMetaRefreshURLAt(const std::string& text, std::size_t& index, bool advance) {
  const char* base = text.c_str();
  const char* p = base + (index < text.size() ? index : text.size());
  std::string v = GetMetaRefreshURL(p, advance);
  index = static_cast<std::size_t>(p - base);
  return v;
}

std::string GetMetaRobots(const char* cursor) {
  if ((static_cast<unsigned char>(*cursor) | 0x20) != 'm') return {};
  const char* p = cursor;
  std::string n = GetTagAttribute("meta", "name", p);
  if (n.empty()) n = GetTagAttribute("meta", "http-equiv", p);
  if (!scan::EqualsIC(scan::Trimmed(n), "robots")) return {};
  return GetTagAttribute("meta", "content", p);
}

namespace {

// Text of a URL written into a page's base element or marker: a double quote
// would end the attribute early and a ">" could end the marker comment; an
// "&" is written as the reference a reader of the value decodes.
std::string QuoteSafe(const std::string& url) {
  std::string out;
  out.reserve(url.size());
  for (char c : url) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '"':
        out += "%22";
        break;
      case '<':
        out += "%3C";
        break;
      case '>':
        out += "%3E";
        break;
      default:
        out += c;
    }
  }
  return out;
}

// Byte offset of p in text.
std::size_t Offset(const std::string& text, const char* p) {
  return static_cast<std::size_t>(p - text.c_str());
}

// Where a base goes: right after the ">" of the first head tag, else of the
// first html tag, else of the first doctype declaration; npos when none.
std::size_t BaseInsertPosition(const std::string& page) {
  for (std::string_view name : {std::string_view("head"), std::string_view("html")}) {
    std::size_t i = 0;
    while (FindNextTagAt(page, i, name)) {
      const char* p = page.c_str() + i;
      char after = p[name.size()];
      if (StartsWithIC(p, name) && (IsBlank(after) || after == '>')) {
        const char* e = FindTagEnd(p);
        return Offset(page, *e ? e + 1 : e);
      }
      ++i;
    }
  }
  for (std::size_t i = page.find('<'); i != std::string::npos; i = page.find('<', i + 1)) {
    const char* p = page.c_str() + i;
    if (StartsWithIC(p + 1, "!DOCTYPE") && (IsBlank(p[9]) || p[9] == '>')) {
      const char* e = FindTagEnd(p + 1);
      return Offset(page, *e ? e + 1 : e);
    }
  }
  return std::string::npos;
}

// Names a stored body: its last path component, without query and fragment,
// is "Data" plus an extension ("Data.html"; never "MyData.pdf" or a fragment
// such as "#ctypes._CData.from_address").
bool NamesStoredBody(std::string_view link) {
  // Byte loops: find_first_of and find_last_of ask the set for every byte.
  std::size_t end = 0;
  while (end < link.size() && link[end] != '?' && link[end] != '#') ++end;
  std::size_t from = end;
  while (from > 0 && link[from - 1] != '/' && link[from - 1] != '\\') --from;
  const std::string_view name = link.substr(from, end - from);
  return name.size() > 5 && name.substr(0, 5) == "Data." &&
         name.find('.', 5) == std::string_view::npos;
}

// The components of a file name in order, "/" and "\\" both separating
// them (the stored names' own form and the file system's), empty ones passed
// over. Held on the stack up to a depth no mirror reaches.
class TComponents {
 public:
  // The components of path from byte from on (which follows a separator, or
  // is 0), after `same` components given as those of `lead` (whose bytes
  // before from are path's).
  explicit TComponents(std::string_view path, std::size_t from = 0,
                       const TComponents* lead = nullptr, std::size_t same = 0)
      : FPath(path) {
    for (std::size_t i = 0; i < same; ++i) Add(lead->Part(i).At, lead->Part(i).Length);
    for (std::size_t i = from; i < path.size();) {
      std::size_t e = i;
      while (e < path.size() && path[e] != '/' && path[e] != '\\') ++e;
      if (e > i) Add(i, e - i);
      i = e + 1;
    }
  }
  std::size_t Size() const { return FCount; }
  std::string_view operator[](std::size_t i) const {
    return FPath.substr(Part(i).At, Part(i).Length);
  }
  std::string_view Path() const { return FPath; }
  // How many components end by byte `end`.
  std::size_t EndingBy(std::size_t end) const {
    std::size_t n = 0;
    while (n < FCount && Part(n).At + Part(n).Length <= end) ++n;
    return n;
  }

 private:
  struct TPart {
    std::size_t At, Length;  // no initial values: the array is filled as it is used
  };
  static constexpr std::size_t kInPlace = 48;
  const TPart& Part(std::size_t i) const { return i < kInPlace ? FFirst[i] : FMore[i - kInPlace]; }
  void Add(std::size_t at, std::size_t length) {
    if (FCount < kInPlace)
      FFirst[FCount] = {at, length};
    else
      FMore.push_back({at, length});
    ++FCount;
  }
  std::string_view FPath;
  TPart FFirst[kInPlace];
  std::vector<TPart> FMore;
  std::size_t FCount = 0;
};

// The path of target relative to the folder of from (both absolute file names,
// in either form). Folder names compare as the file system does:
// case-sensitively.
std::string RelativePath(const TComponents& base, std::string_view target) {
  // The two names share their mirror's root and more: the components in the
  // bytes both begin with are the same, and only the rest of target is split.
  const std::string_view from = base.Path();
  std::size_t same = 0;
  const std::size_t shorter = std::min(from.size(), target.size());
  while (same < shorter && from[same] == target[same]) ++same;
  while (same > 0 && from[same - 1] != '/' && from[same - 1] != '\\') --same;
  const TComponents dest(target, same, &base, base.EndingBy(same));
  const std::size_t bases = base.Size() > 0 ? base.Size() - 1 : 0;  // less the page's own name
  std::size_t common = 0;
  while (common < bases && common + 1 < dest.Size() && base[common] == dest[common]) ++common;
  std::string out;
  out.reserve(3 * (bases - common) + target.size());
  for (std::size_t i = common; i < bases; ++i) out += "../";
  for (std::size_t i = common; i < dest.Size(); ++i) {
    if (i > common) out += '/';
    out += dest[i];
  }
  return out;
}

// An absolute file name as a "file://" URL, with the bytes a URL (or the
// attribute or style sheet it is written into) cannot carry percent-encoded.
std::string FileURL(const std::string& nativePath) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out = "file://";
  for (unsigned char c : nativePath) {
    bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                 std::strchr("/-._~!$+,;=:@", c) != nullptr;
    if (plain && c != 0) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

// Where the URLs of a value lie: the whole value, the candidates of a
// srcset list, or the url() references of style-sheet text.
enum class TValueKind { Link, Srcset, Sheet };

// How a rewritten URL is written: a relative path (else an absolute URL), a
// "file://" URL, or a relative path inside style-sheet text.
enum class TLinkForm { Relative = 0, FileURL = 1, Sheet = 2 };

struct TLinkAttribute {
  std::string_view Name;
  TValueKind Kind = TValueKind::Link;
};

// The rewrite table: tags whose first found attribute is rewritten, then
// groups whose every attribute is.
struct TLinkRule {
  std::string_view Tag;
  std::vector<TLinkAttribute> Attributes;
};

const std::vector<TLinkRule>& FirstHitRulesAfterMeta() {
  static const std::vector<TLinkRule> rules = {
      {"bgsound", {{"src"}}},   {"script", {{"src"}}},      {"area", {{"href"}}},
      {"link", {{"href"}}},     {"body", {{"background"}}}, {"table", {{"background"}}},
      {"td", {{"background"}}}, {"applet", {{"codebase"}}},
  };
  return rules;
}

// A stored page is opened from its own folder, so a relative address left
// as written resolves one folder off: every URL attribute of HTML is here.
const std::vector<TLinkRule>& GroupRules() {
  static const std::vector<TLinkRule> rules = {
      {"input", {{"src"}, {"formaction"}}},
      {"frame", {{"src"}, {"longdesc"}}},
      {"iframe", {{"src"}, {"longdesc"}}},
      {"img",
       {{"longdesc"}, {"lowsrc"}, {"src"}, {"usemap"}, {"dynsrc"}, {"srcset", TValueKind::Srcset}}},
      {"embed", {{"src"}, {"pluginspage"}, {"codebase"}, {"pluginurl"}}},
      {"object", {{"classid"}, {"codebase"}, {"data"}, {"usemap"}}},
      {"layer", {{"src"}, {"background"}}},
      {"ilayer", {{"src"}, {"background"}}},
      {"form", {{"action"}}},
      {"button", {{"formaction"}}},
      {"video", {{"src"}, {"poster"}}},
      {"audio", {{"src"}}},
      {"source", {{"src"}, {"srcset", TValueKind::Srcset}}},
      {"track", {{"src"}}},
      {"blockquote", {{"cite"}}},
      {"q", {{"cite"}}},
      {"del", {{"cite"}}},
      {"ins", {{"cite"}}},
  };
  return rules;
}

// Style sheets were once stored as "Data.ccs" and are stored as "Data.css"
// now. A page localised back then names the old file, which the sheet's next
// download replaces; the link then follows it to the new name.
bool EndsWithEarlierSheetName(std::string_view link) {
  link = link.substr(0, link.find('#'));
  return link.size() >= 8 && link.substr(link.size() - 8) == "Data.ccs";
}

std::string FollowRenamedSheet(const std::string& link, const std::string& pageFile) {
  const std::size_t hash = link.find('#');
  const std::string path = link.substr(0, hash);
  if (pageFile.empty() || path[0] == '/' || !ParseURL(path).Scheme.empty()) return link;
  const std::string native = NativePath(pageFile);
  const std::string folder = native.substr(0, native.rfind('/') + 1);
  std::error_code ec;
  const std::string old = folder + PercentDecoded(path);
  if (std::filesystem::is_regular_file(old, ec)) return link;
  if (!std::filesystem::is_regular_file(old.substr(0, old.size() - 4) + ".css", ec)) return link;
  return path.substr(0, path.size() - 4) + ".css" +
         (hash == std::string::npos ? std::string() : link.substr(hash));
}

// LinkToLocal with the page's own stored name found at most once (it costs a
// folder listing) and kept in pageFile for the page's further links. With
// orAbsolute, where that gives "" it gives AbsoluteLink instead, from the
// same reading of the link.
std::string LinkToLocalFrom(const std::string& webDir, const std::string& pageURL,
                            const std::string& link, bool force, bool asFileURL,
                            std::optional<std::string>& pageFile, TStoredBodies& bodies,
                            bool orAbsolute = false,
                            std::optional<TComponents>* pageParts = nullptr) {
  if (NamesStoredBody(link)) {
    if (!EndsWithEarlierSheetName(link)) return link;
    if (!pageFile) pageFile = bodies.Find(webDir, pageURL).File;
    return FollowRenamedSheet(link, *pageFile);
  }
  std::size_t hash = link.find('#');
  const std::string fragment = hash == std::string::npos ? std::string() : link.substr(hash);
  const std::string target = NormaliseURL(link);
  // No form at all: AbsoluteLink has none either.
  if (target.empty()) return fragment;
  if (HasURLScheme(target, "file:")) return target + fragment;

  // The page's own name first: the answer below is good only until the next
  // look.
  if (!asFileURL && !pageFile) pageFile = bodies.Find(webDir, pageURL).File;
  const std::string resolved = ResolveURL(pageURL, target);
  const TStoredBodies::TBody& found = bodies.Find(webDir, resolved);
  const std::string& targetFile = found.File;
  // An empty name is a URL that has no place inside the mirror.
  if (!targetFile.empty() && (force || found.Stored)) {
    std::string local;
    if (asFileURL) {
      std::string native = NativePath(targetFile);
      if (native.empty() || native[0] != '/') native = std::filesystem::absolute(native).string();
      local = FileURL(native);
    } else if (!pageFile->empty()) {
      // The page's name is split once for all its links when the caller
      // keeps the parts.
      std::optional<TComponents> own;
      std::optional<TComponents>& parts = pageParts ? *pageParts : own;
      if (!parts) parts.emplace(*pageFile);
      local = RelativePath(*parts, targetFile);
    }
    local += fragment;
    if (!local.empty()) return local;
  }
  if (!orAbsolute || !URLScheme(target).empty() || NamesStoredBody(target)) return {};
  // The link resolves as its normal form does, unless that form is line
  // breaks alone (resolving drops them, and a bare fragment then resolves
  // otherwise than nothing does).
  const bool breaks =
      target.find('\r') != std::string::npos || target.find('\n') != std::string::npos;
  return (breaks ? ResolveURL(pageURL, link) : resolved) + fragment;
}

// A rewrite held back: Length bytes at byte At of the page become New.
struct THeldEdit {
  std::size_t At = 0;
  std::size_t Length = 0;
  std::string New;
};

// What one page's rewrite needs: the mirror, the base its links resolve
// against, and the new text of each link met so far (a page repeats its
// links, and each new form costs looks at the file system).
struct TPageRewrite {
  const std::string& WebDir;
  const std::string& Base;
  std::vector<TTextEdit>* Edits;
  TStoredBodies& Bodies;
  // By TLinkForm; looked up by the link's bytes in the page, without a copy.
  struct THash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>()(s); }
  };
  std::unordered_map<std::string, std::string, THash, std::equal_to<>> NewText[3];
  std::optional<std::string> BaseFile;   // the base's stored name
  std::optional<TComponents> BaseParts;  // BaseFile split
  // When set, a rewrite is held back here instead of made in the page, and
  // Unseen is cleared when the rest of the walk could see the difference
  // (see LocaliseHTMLText).
  std::vector<THeldEdit>* Held = nullptr;
  bool Unseen = true;

  // The text that replaces link as ReplaceLinkAt would write it; "" when
  // the link stays.
  const std::string& TextFor(std::string_view text, TLinkForm form) {
    auto& known = NewText[static_cast<int>(form)];
    if (auto it = known.find(text); it != known.end()) return it->second;
    auto it = known.emplace(std::string(text), std::string()).first;
    const std::string& link = it->first;
    const std::string local = LinkToLocalFrom(WebDir, Base, link, false, form == TLinkForm::FileURL,
                                              BaseFile, Bodies, true, &BaseParts);
    if (!local.empty() && local != link)
      it->second = scan::LinkForText(local, form == TLinkForm::Sheet ? "()" : "");
    return it->second;
  }
};

// A value written back into an attribute: "&" and the quote around it as
// references, and without quotes also the blanks and ">" that would end it.
std::string EncodeForAttribute(std::string_view value, char quote) {
  std::string out;
  out.reserve(value.size() + 8);
  // Runs of bytes that stay as they are go in whole.
  std::size_t run = 0;
  // The bytes that may need a reference, whatever the quote.
  static const auto kMaybe = [] {
    std::array<bool, 256> t{};
    for (unsigned char c : std::string_view("&\"' \t\n\r>")) t[c] = true;
    return t;
  }();
  for (std::size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    if (!kMaybe[static_cast<unsigned char>(c)]) continue;
    const char* reference = nullptr;
    std::string numeric;
    if (c == '&') {
      reference = "&amp;";
    } else if (c == '"' && quote != '\'') {
      reference = "&quot;";
    } else if (c == '\'' && quote != '"') {
      reference = "&#39;";
    } else if (!quote && (IsBlank(c) || c == '>')) {
      numeric = "&#" + std::to_string(static_cast<unsigned char>(c)) + ";";
    } else {
      continue;
    }
    out.append(value, run, i - run);
    run = i + 1;
    out += reference ? std::string_view(reference) : std::string_view(numeric);
  }
  out.append(value, run, std::string_view::npos);
  return out;
}

bool HoldsMarkupByte(std::string_view text) {
  for (char c : text)
    if (c == '<' || c == '>' || c == '"' || c == '\'' || c == '\0') return true;
  return false;
}

// Replaces each URL in page's bytes [at, at + length) by its new text. In an
// attribute value the URLs are read with their character references decoded
// and the new text is encoded for the value's quote; style-sheet text inside
// a style element is taken as it is. The bytes between the URLs stay.
void RewriteURLsIn(std::string& page, std::size_t at, std::size_t length, TValueKind kind,
                   TLinkForm form, bool attribute, char quote, TPageRewrite& rewrite) {
  // Read in place: nothing changes the page before the end.
  const std::string_view raw(page.data() + at, length);
  std::string decoded;
  std::vector<std::size_t> rawAt;  // empty: the text is raw itself
  if (attribute && raw.find('&') != std::string::npos) {
    DecodeInto(raw, decoded, &rawAt);
  } else if (kind == TValueKind::Sheet) {
    decoded = raw;  // the style-sheet reader wants its text to end
  }
  const std::string_view text =
      rawAt.empty() && kind != TValueKind::Sheet ? raw : std::string_view(decoded);
  auto from = [&](std::size_t i) { return rawAt.empty() ? i : rawAt[i]; };

  std::string out;
  std::size_t done = 0;  // raw bytes taken into out so far
  bool changed = false;
  auto take = [&](std::size_t b, std::size_t n) {
    const std::string& local = rewrite.TextFor(text.substr(b, n), form);
    if (local.empty()) return;
    out.append(raw, done, from(b) - done);
    out += attribute ? EncodeForAttribute(local, quote) : local;
    done = from(b + n);
    changed = true;
  };
  if (kind == TValueKind::Link) {
    take(0, text.size());
  } else if (kind == TValueKind::Srcset) {
    for (const TTextSpan& url : SrcsetURLs(text)) take(url.At, url.Length);
  } else {
    for (std::size_t pos = 0;;) {
      TCSSReference ref;
      if (!FindCSSReference(decoded.c_str() + pos, ref)) break;
      const std::size_t b = static_cast<std::size_t>(ref.Start - decoded.c_str());
      // A value without its end runs into the rules after it.
      if (!ref.Closed) {
        pos = b;
        continue;
      }
      take(b, ref.Length);
      pos = b + ref.Length;
    }
  }
  if (!changed) return;
  out.append(raw, done, std::string::npos);
  if (rewrite.Held) {
    // The tag and comment searches of the walk pass over the bytes of a
    // double-quoted value (or of style-sheet text) alike whatever they are,
    // as long as neither form holds a byte those searches stop at.
    if ((attribute && quote != '"') || HoldsMarkupByte(raw) || HoldsMarkupByte(out))
      rewrite.Unseen = false;
    rewrite.Held->push_back({at, length, std::move(out)});
    return;
  }
  if (rewrite.Edits) rewrite.Edits->push_back({at, std::string(raw), out});
  page.replace(at, length, out);
}

// Rewrites a found attribute value in place unless its closing quote is
// missing (it would then run to the end of the page).
void RewriteValue(std::string& page, const TAttrSpan& v, TPageRewrite& rewrite, TLinkForm form,
                  TValueKind kind = TValueKind::Link) {
  if (!v.Closed) return;
  RewriteURLsIn(page, Offset(page, v.Start), v.Length, kind, form, true, v.Quote, rewrite);
}

// Rewrites the links of the tag at index: its URL attributes, the url()
// references of its style attribute and, for a style element, of its text.
// The rule of a tag by its name: a tag meets a rule's name only when its
// name token (up to a blank or the end) is that name, ignoring case, so at
// most one rule can apply to it, and the walk asks only that one. first:
// the rule's first attribute found is rewritten; else every one is.
struct TRuleOfTag {
  std::string_view Name;
  const TLinkRule* Rule = nullptr;  // none: the anchor or the meta refresh
  bool First = false;
};

const TRuleOfTag* RuleOfTag(const char* tag) {
  static const std::vector<TRuleOfTag> byName = [] {
    std::vector<TRuleOfTag> v = {{"a", nullptr, true}, {"meta", nullptr, true}};
    for (const TLinkRule& r : FirstHitRulesAfterMeta()) v.push_back({r.Tag, &r, true});
    for (const TLinkRule& r : GroupRules()) v.push_back({r.Tag, &r, false});
    std::sort(v.begin(), v.end(),
              [](const TRuleOfTag& a, const TRuleOfTag& b) { return a.Name < b.Name; });
    return v;
  }();
  char name[16];
  std::size_t n = 0;
  for (; tag[n] && !IsBlank(tag[n]); ++n) {
    if (n == sizeof name) return nullptr;
    name[n] = static_cast<char>(scan::Upper(tag[n]) | 0x20);
  }
  // A name that folds onto a rule's is that rule's name: every letter of the
  // names folds so, and a byte that is no letter matches no name.
  const std::string_view key(name, n);
  auto it = std::lower_bound(byName.begin(), byName.end(), key,
                             [](const TRuleOfTag& r, std::string_view k) { return r.Name < k; });
  if (it == byName.end() || it->Name != key || !StartsWithIC(tag, it->Name)) return nullptr;
  return &*it;
}

void LocaliseTag(std::string& page, std::size_t index, TPageRewrite& rewrite) {
  TAttrSpan v;
  auto at = [&] { return page.c_str() + index; };
  // Each lookup starts again at the tag: a rewrite changes only bytes after
  // it.
  auto rules = [&] {
    const TRuleOfTag* r = RuleOfTag(at());
    if (!r) return;
    if (!r->Rule) {
      if (r->Name == "a") {
        if (FindAttribute("a", "href", at(), v))
          RewriteValue(page, v, rewrite, TLinkForm::Relative);
      } else if (FindMetaRefresh(at(), v)) {
        RewriteValue(page, v, rewrite, TLinkForm::FileURL);
      }
      return;
    }
    const TLinkRule& rule = *r->Rule;
    if (r->First) {
      if (FindAttribute(rule.Tag, rule.Attributes[0].Name, at(), v))
        RewriteValue(page, v, rewrite, TLinkForm::Relative);
      return;
    }
    for (const TLinkAttribute& attribute : rule.Attributes) {
      if (FindAttribute(rule.Tag, attribute.Name, at(), v))
        RewriteValue(page, v, rewrite, TLinkForm::Relative, attribute.Kind);
    }
  };
  rules();
  if (FindAnyTagAttribute("style", at(), v))
    RewriteValue(page, v, rewrite, TLinkForm::Sheet, TValueKind::Sheet);
  const std::string_view sheet = StyleElementText(at());
  if (!sheet.empty())
    RewriteURLsIn(page, Offset(page, sheet.data()), sheet.size(), TValueKind::Sheet,
                  TLinkForm::Sheet, false, 0, rewrite);
}

// The rewrites held back so far (all of them lie before the tag being
// read, unless End says otherwise), their effect on the page's length, and
// where the last of them ends.
struct THeldRun {
  std::ptrdiff_t Delta = 0;
  std::size_t End = 0;

  // Takes the rewrites of one tag, held[mark] on: each is reported where the
  // page, rewritten in place, would have had it then, behind the rewrites of
  // the earlier tags and of this tag's earlier ones before it.
  void Take(const std::string& page, const std::vector<THeldEdit>& held, std::size_t mark,
            std::vector<TTextEdit>* edits) {
    const std::ptrdiff_t earlierTags = Delta;
    for (std::size_t k = mark; k < held.size(); ++k) {
      const THeldEdit& e = held[k];
      if (edits) {
        std::ptrdiff_t before = earlierTags;
        for (std::size_t m = mark; m < k; ++m)
          if (held[m].At < e.At)
            before += static_cast<std::ptrdiff_t>(held[m].New.size()) -
                      static_cast<std::ptrdiff_t>(held[m].Length);
        edits->push_back({static_cast<std::size_t>(static_cast<std::ptrdiff_t>(e.At) + before),
                          page.substr(e.At, e.Length), e.New});
      }
      Delta += static_cast<std::ptrdiff_t>(e.New.size()) - static_cast<std::ptrdiff_t>(e.Length);
      End = std::max(End, e.At + e.Length);
    }
  }

  // Makes the held rewrites in the page, in one pass; gives where index
  // (which no rewrite spans) lies in the rewritten page.
  std::size_t Make(std::string& page, std::vector<THeldEdit>& held, std::size_t index) {
    if (held.empty()) return index;
    std::sort(held.begin(), held.end(),
              [](const THeldEdit& a, const THeldEdit& b) { return a.At < b.At; });
    std::string out;
    out.reserve(static_cast<std::size_t>(static_cast<std::ptrdiff_t>(page.size()) + Delta));
    std::size_t from = 0;
    std::size_t moved = index;
    for (const THeldEdit& e : held) {
      out.append(page, from, e.At - from);
      out += e.New;
      from = e.At + e.Length;
      if (from <= index) moved = moved - e.Length + e.New.size();
    }
    out.append(page, from, std::string::npos);
    page.swap(out);
    held.clear();
    Delta = 0;
    End = 0;
    return moved;
  }
};

void Insert(std::string& page, std::size_t at, const std::string& text,
            std::vector<TTextEdit>* edits) {
  page.insert(at, text);
  if (edits) edits->push_back({at, {}, text});
}

std::string InsertBaseImpl(std::string& page, const std::string& url, bool asMarker,
                           std::vector<TTextEdit>* edits) {
  for (std::size_t i = 0; FindNextTagAt(page, i); ++i) {
    const char* p = page.c_str() + i;
    TAttrSpan v;
    if (FindAttribute("base", "href", p, v)) {
      const std::string href = DecodeCharRefs(std::string(v.Start, v.Length));
      if (asMarker) {
        std::size_t open = Offset(page, p);  // just after the tag's "<"
        std::size_t close = Offset(page, FindTagEnd(p));
        Insert(page, close, "--", edits);
        Insert(page, open, "!--Tv", edits);
      }
      // A relative base ("/", very common) means nothing without the page's
      // own address; resolved, it can serve as the base of the page's links.
      return url.empty() ? href : ResolveURL(url, href);
    }
  }
  if (url.empty()) return {};
  std::size_t at = BaseInsertPosition(page);
  if (at == std::string::npos) return {};
  const std::string quoted = QuoteSafe(url);
  Insert(
      page, at,
      asMarker ? "\n<!--TvBASE HREF=\"" + quoted + "\"-->\n" : "\n<BASE HREF=\"" + quoted + "\">\n",
      edits);
  return url;
}

}  // namespace

std::string InsertBase(std::string& page, const std::string& url, bool asMarker) {
  return InsertBaseImpl(page, url, asMarker, nullptr);
}

const TStoredBodies::TBody& TStoredBodies::Find(const std::string& webDir, const std::string& url) {
  // A pass works in one mirror: the answers are kept by URL, for that mirror.
  if (webDir != WebDir) {
    Known.clear();
    Missing = {};
    WebDir = webDir;
  }
  if (auto it = Known.find(url); it != Known.end()) return it->second;
  TBody body;
  TStoredFile stored = FindStoredFile(webDir, url, "Data", &Missing);
  body.File = std::move(stored.Path);
  body.Stored = stored.Exists;
  // A bound on what one pass over a huge mirror keeps.
  if (Known.size() >= kMaxKnown) Known.clear();
  return Known.emplace(url, std::move(body)).first->second;
}

std::string LinkToLocal(const std::string& webDir, const std::string& pageURL,
                        const std::string& link, bool force, bool asFileURL,
                        TStoredBodies* bodies) {
  TStoredBodies own;
  std::optional<std::string> pageFile;
  return LinkToLocalFrom(webDir, pageURL, link, force, asFileURL, pageFile, bodies ? *bodies : own);
}

std::string AbsoluteLink(const std::string& webDir, const std::string& pageURL,
                         const std::string& link) {
  if (!ParseURL(link).Scheme.empty()) return {};
  const std::string normal = NormaliseURL(link);
  if (normal.empty() || NamesStoredBody(normal)) return {};
  // Resolving drops the fragment; the link would then land at the top of
  // the page instead of the place it names.
  const std::size_t hash = link.find('#');
  return ResolveURL(pageURL, link) + (hash == std::string::npos ? "" : link.substr(hash));
}

void ReplaceLinkAt(std::string& page, std::size_t index, const std::string& webDir,
                   const std::string& pageURL, const std::string& link, bool asFileURL) {
  const std::string decoded = DecodeCharRefs(link);
  std::string local = LinkToLocal(webDir, pageURL, decoded, false, asFileURL);
  if (local.empty()) local = AbsoluteLink(webDir, pageURL, decoded);
  if (local.empty() || local == decoded || index > page.size()) return;
  page.replace(index, std::min(link.size(), page.size() - index),
               EncodeForAttribute(scan::LinkForText(local), '"'));
}

namespace {

void LocaliseText(std::string& page, const std::string& pageURL, const std::string& webDir,
                  const std::atomic<bool>& abort, const TProcessMessages& processMessages,
                  std::vector<TTextEdit>* edits, TStoredBodies* bodies, bool holdBack) {
  TStoredBodies own;
  TStoredBodies& known = bodies ? *bodies : own;
  // A page saved with a marker of the base it had on the web gets a real base
  // element pointing at that base's stored body, and its links resolve
  // against that base.
  std::string base = pageURL;
  std::size_t index = 0;
  for (int n = 0; n < 10 && FindNextTagAt(page, index); ++n) {
    const std::string href = DecodeCharRefs(GetTagAttributeAt("Tvbase", "href", page, index, true));
    if (!href.empty()) {
      base = ResolveURL(pageURL, href);
      InsertBaseImpl(page, LinkToLocal(webDir, pageURL, href, true, true, &known), false, edits);
      break;
    }
  }

  // Made in place, each rewrite would move the rest of the page, for every
  // link: a tag's rewrites are held back instead and made in one pass at the
  // end. The walk reads the page as it was; that is the page as rewritten as
  // far as every search of the walk can tell, while each held rewrite lies in
  // a double-quoted value or in style-sheet text, holds no byte a search
  // stops at, and lies before the tag being read. A tag whose rewrites are
  // not so is rewritten in place, after the rewrites held until then.
  TPageRewrite rewrite{webDir, base, edits, known, {}, {}, {}};
  std::vector<THeldEdit> held;
  THeldRun run;
  index = 0;
  for (long count = 1; FindNextTagAt(page, index); ++count) {
    if (count % 100 == 0) {
      if (processMessages) processMessages();
      if (abort.load()) break;
    }
    if (run.End > index) index = run.Make(page, held, index);
    const std::size_t mark = held.size();
    rewrite.Held = holdBack ? &held : nullptr;
    rewrite.Unseen = holdBack;
    LocaliseTag(page, index, rewrite);
    rewrite.Held = nullptr;
    if (!holdBack) continue;
    if (rewrite.Unseen) {
      run.Take(page, held, mark, edits);
    } else {
      held.resize(mark);
      index = run.Make(page, held, index);
      LocaliseTag(page, index, rewrite);
    }
  }
  run.Make(page, held, index);
}

}  // namespace

void LocaliseHTMLText(std::string& page, const std::string& pageURL, const std::string& webDir,
                      const std::atomic<bool>& abort, const TProcessMessages& processMessages,
                      std::vector<TTextEdit>* edits, TStoredBodies* bodies) {
  LocaliseText(page, pageURL, webDir, abort, processMessages, edits, bodies, true);
}

void html_detail::LocaliseHTMLTextInPlace(std::string& page, const std::string& pageURL,
                                          const std::string& webDir, const std::atomic<bool>& abort,
                                          const TProcessMessages& processMessages,
                                          std::vector<TTextEdit>* edits, TStoredBodies* bodies) {
  LocaliseText(page, pageURL, webDir, abort, processMessages, edits, bodies, false);
}

void LocaliseHTMLFile(const std::string& pageURL, const std::string& webDir,
                      const std::atomic<bool>& abort, const TProcessMessages& processMessages,
                      TStoredBodies* bodies) {
  TStoredBodies own;
  TStoredBodies& known = bodies ? *bodies : own;
  const TStoredBodies::TBody stored = known.Find(webDir, pageURL);
  if (!stored.Stored) return;
  const std::string& file = stored.File;
  std::string page = ReadFileString(file);
  if (page.empty()) return;
  const std::string before = page;
  LocaliseHTMLText(page, pageURL, webDir, abort, processMessages, nullptr, &known);
  // A copy already localised stays untouched: a second pass writes nothing.
  if (page != before) WriteFileString(file, page);
}

}  // namespace qv
