#include "engine/htmlparser.h"

#include <cstring>

#include "engine/scantext.h"

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

// A value found in a tag: its trimmed bytes, and whether its closing quote
// lies inside the tag (a value without one must never be rewritten: it would
// run to the end of the page).
struct TAttrSpan {
  const char* Start = nullptr;
  std::size_t Length = 0;
  bool Closed = false;
};

bool FindAttribute(std::string_view tag, std::string_view attribute, const char* cursor,
                   TAttrSpan& out) {
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
  if (attribute.empty()) return false;
  const char* end = FindTagEnd(s);

  // First occurrence outside double-quoted runs, before the tag's end.
  const unsigned char first = scan::Upper(attribute[0]);
  const char* hit = nullptr;
  bool inQuote = false;
  for (const char* p = s; p < end; ++p) {
    if (*p == '"') {
      inQuote = !inQuote;
      continue;
    }
    if (!inQuote && scan::Upper(*p) == first && StartsWithIC(p, attribute)) {
      hit = p;
      break;
    }
  }
  if (!hit) return false;
  char before = hit[-1];
  if (!IsBlank(before) && before != ';') return false;

  const char* p = scan::SkipBlanks(hit + attribute.size());
  if (*p != '=') return false;
  p = scan::SkipBlanks(p + 1);

  const char* vb;
  const char* ve;
  bool closed = true;
  if (*p == '\'' || *p == '"') {
    vb = p + 1;
    const char* q = std::strchr(vb, *p);
    if (q) {
      ve = q;
      // A closing quote past the tag's end belongs to later text.
      closed = q < end;
    } else {
      ve = vb + std::strlen(vb);
      closed = false;
    }
  } else {
    vb = p;
    ve = p;
    while (*ve && !IsBlank(*ve) && *ve != '>') ++ve;
  }
  if (scan::EqualsIC(tag, kMarkerKeyword)) {
    // The marker's unquoted value runs into the comment's closing "--".
    for (int i = 0; i < 2 && ve > vb && ve[-1] == '-'; ++i) --ve;
  }
  scan::Trim(vb, ve);
  if (vb == ve) return false;
  out.Start = vb;
  out.Length = static_cast<std::size_t>(ve - vb);
  out.Closed = closed;
  return true;
}

// The URL of a meta refresh under the cursor, located in the page itself.
bool FindMetaRefresh(const char* cursor, TAttrSpan& out) {
  TAttrSpan h;
  if (!FindAttribute("meta", "http-equiv", cursor, h) ||
      !scan::EqualsIC(std::string_view(h.Start, h.Length), "refresh"))
    return false;
  TAttrSpan content;
  if (!FindAttribute("meta", "content", cursor, content)) return false;
  // The URL is looked for inside the content value only, which a copy bounds.
  std::string copy(content.Start, content.Length);
  TAttrSpan url;
  if (!FindAttribute("", "url", copy.c_str(), url)) return false;
  out.Start = content.Start + (url.Start - copy.c_str());
  out.Length = url.Length;
  out.Closed = content.Closed && url.Closed;
  return true;
}

}  // namespace

bool FindNextTag(const char*& cursor, std::string_view tag) {
  const char* p = cursor;
  while (*p) {
    if (*p != '<') {
      p = strchrnul(p, '<');
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
    if (StartsWith(p, "script")) {
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
  const char* p = base + (index < text.size() ? index : text.size());
  bool found = FindNextTag(p, tag);
  index = static_cast<std::size_t>(p - base);
  return found;
}

const char* FindTagEnd(const char* p) {
  bool inQuote = false;
  const char* q = p;
  for (;;) {
    char c = *q;
    if (c == '\0') break;
    if (c == '"')
      inQuote = !inQuote;
    else if (c == '>' && !inQuote)
      return q;
    ++q;
  }
  return strchrnul(p, '>');
}

bool MatchWord(const char*& cursor, std::string_view word) {
  const char* p = scan::SkipBlanks(cursor);
  if (!StartsWithIC(p, word)) return false;
  cursor = p + word.size();
  return true;
}

std::string GetTagAttribute(std::string_view tag, std::string_view attribute, const char*& cursor,
                            bool advance) {
  TAttrSpan v;
  if (!FindAttribute(tag, attribute, cursor, v)) return {};
  if (advance) cursor = v.Start;
  return std::string(v.Start, v.Length);
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
  std::size_t i = 0;
  const std::size_t n = text.size();
  auto at = [&](std::size_t k, std::string_view w) {
    return k + w.size() <= n && scan::EqualsIC(text.substr(k, w.size()), w);
  };
  while (i < n) {
    if (at(i, "<br>")) {
      out += "\n\r";
      i += 4;
    } else if (at(i, "&nbsp")) {
      out += "\n\r";
      i += 5;
    } else if (IsBlank(text[i])) {
      while (i < n && IsBlank(text[i])) ++i;
      out += ' ';
    } else {
      out += text[i++];
    }
  }
  return out;
}

std::string GetLinkText(const char* tagEnd, std::string* imageURL) {
  if (!tagEnd || *tagEnd != '>') return {};
  const char* p = tagEnd + 1;
  // strnlen keeps every later read inside the text as well as the window.
  const char* walkLimit = p + strnlen(p, kLinkWalkLimit);
  bool inTag = false;
  bool inQuote = false;
  for (; p < walkLimit; ++p) {
    char c = *p;
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
    const std::size_t window = strnlen(p, kLinkTextLimit);
    const char* stop = static_cast<const char*>(memmem(p, window, "</", 2));
    if (!stop) stop = p + window;
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
  TAttrSpan url;
  if (!FindMetaRefresh(cursor, url)) return {};
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
  const char* p = cursor;
  std::string n = GetTagAttribute("meta", "name", p);
  if (n.empty()) n = GetTagAttribute("meta", "http-equiv", p);
  if (!scan::EqualsIC(scan::Trimmed(n), "robots")) return {};
  return GetTagAttribute("meta", "content", p);
}

}  // namespace qv
