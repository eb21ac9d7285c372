#include "engine/htmlparser.h"

#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <optional>
#include <system_error>
#include <unordered_map>
#include <vector>

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

// A value found in a tag: its trimmed bytes, and whether its closing quote
// lies inside the tag (a value without one must never be rewritten: it would
// run to the end of the page).
struct TAttrSpan {
  const char* Start = nullptr;
  std::size_t Length = 0;
  bool Closed = false;
};

// Closed is worked out only with needClosed (it costs a second look at the
// tag); otherwise it means nothing.
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
  if (attribute.empty()) return false;

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
    if (c == '>') break;  // outside quotes: the tag's end
    if (!StartsWithIC(h, attribute)) continue;
    if (!IsBlank(h[-1]) && h[-1] != ';') continue;
    const char* eq = scan::SkipBlanks(h + attribute.size());
    if (*eq != '=') continue;
    hit = h;
    p = scan::SkipBlanks(eq + 1);
    break;
  }
  if (!hit) return false;
  const char* end = nullptr;  // found when needed
  if (quotedGt) {
    end = FindTagEnd(s);
    if (hit >= end) return false;
  }

  const char* vb;
  const char* ve;
  bool closed = true;
  if (*p == '\'' || *p == '"') {
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
  const char* p = base + (index < text.size() ? index : text.size());
  bool found = FindNextTag(p, tag);
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
// would end the attribute early and a ">" could end the marker comment.
std::string QuoteSafe(const std::string& url) {
  std::string out;
  out.reserve(url.size());
  for (char c : url) {
    switch (c) {
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
    const char* p = page.c_str();
    while (FindNextTag(p, name)) {
      char after = p[name.size()];
      if (StartsWithIC(p, name) && (IsBlank(after) || after == '>')) {
        const char* e = FindTagEnd(p);
        return Offset(page, *e ? e + 1 : e);
      }
      ++p;
    }
  }
  for (const char* p = std::strchr(page.c_str(), '<'); p; p = std::strchr(p + 1, '<')) {
    if (StartsWithIC(p + 1, "!DOCTYPE") && (IsBlank(p[9]) || p[9] == '>')) {
      const char* e = FindTagEnd(p + 1);
      return Offset(page, *e ? e + 1 : e);
    }
  }
  return std::string::npos;
}

bool IsStoredFile(const std::string& fileName) {
  struct stat st;
  return ::stat(NativePath(fileName).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Names a stored body ("Data" plus an extension)?
bool NamesStoredBody(std::string_view link) {
  std::size_t dot = link.rfind('.');
  return dot != std::string_view::npos && dot >= 4 && link.substr(dot - 4, 4) == "Data";
}

std::vector<std::string_view> PathComponents(std::string_view path) {
  std::vector<std::string_view> parts;
  std::size_t i = 0;
  while (i <= path.size()) {
    std::size_t e = path.find('/', i);
    if (e == std::string_view::npos) e = path.size();
    if (e > i) parts.push_back(path.substr(i, e - i));
    i = e + 1;
  }
  return parts;
}

// The path of target relative to the folder of from (both absolute file-system
// names). Folder names compare as the file system does: case-sensitively.
std::string RelativePath(const std::string& from, const std::string& target) {
  std::vector<std::string_view> base = PathComponents(from);
  std::vector<std::string_view> dest = PathComponents(target);
  if (!base.empty()) base.pop_back();  // the page's own file name
  std::size_t common = 0;
  while (common < base.size() && common + 1 < dest.size() && base[common] == dest[common]) ++common;
  std::string out;
  for (std::size_t i = common; i < base.size(); ++i) out += "../";
  for (std::size_t i = common; i < dest.size(); ++i) {
    out += dest[i];
    if (i + 1 < dest.size()) out += '/';
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

// The rewrite table: tags whose first found attribute is rewritten, then
// groups whose every attribute is.
struct TLinkRule {
  std::string_view Tag;
  std::vector<std::string_view> Attributes;
};

const std::vector<TLinkRule>& FirstHitRulesAfterMeta() {
  static const std::vector<TLinkRule> rules = {
      {"bgsound", {"src"}},      {"input", {"src"}},     {"script", {"src"}},
      {"area", {"href"}},        {"link", {"href"}},     {"body", {"background"}},
      {"table", {"background"}}, {"td", {"background"}}, {"applet", {"codebase"}},
  };
  return rules;
}

const std::vector<TLinkRule>& GroupRules() {
  static const std::vector<TLinkRule> rules = {
      {"frame", {"src", "longdesc"}},
      {"iframe", {"src", "longdesc"}},
      {"img", {"longdesc", "lowsrc", "src", "usemap", "dynsrc"}},
      {"embed", {"src", "pluginspage", "codebase", "pluginurl"}},
      {"object", {"classid", "codebase", "data", "usemap"}},
      {"layer", {"src", "background"}},
      {"ilayer", {"src", "background"}},
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
// folder listing) and kept in pageFile for the page's further links.
std::string LinkToLocalFrom(const std::string& webDir, const std::string& pageURL,
                            const std::string& link, bool force, bool asFileURL,
                            std::optional<std::string>& pageFile, TStoredBodies& bodies) {
  if (NamesStoredBody(link)) {
    if (!EndsWithEarlierSheetName(link)) return link;
    if (!pageFile) pageFile = bodies.Find(webDir, pageURL).File;
    return FollowRenamedSheet(link, *pageFile);
  }
  std::size_t hash = link.find('#');
  const std::string fragment = hash == std::string::npos ? std::string() : link.substr(hash);
  const std::string target = NormaliseURL(link);
  if (target.empty()) return fragment;
  if (HasURLScheme(target, "file:")) return target + fragment;

  const TStoredBodies::TBody found = bodies.Find(webDir, ResolveURL(pageURL, target));
  const std::string& targetFile = found.File;
  // An empty name is a URL that has no place inside the mirror.
  if (targetFile.empty()) return {};
  if (!force && !found.Stored) return {};

  std::string local;
  if (asFileURL) {
    std::string native = NativePath(targetFile);
    if (native.empty() || native[0] != '/') native = std::filesystem::absolute(native).string();
    local = FileURL(native);
  } else {
    if (!pageFile) pageFile = bodies.Find(webDir, pageURL).File;
    if (pageFile->empty()) return {};
    local = RelativePath(NativePath(*pageFile), NativePath(targetFile));
  }
  return local + fragment;
}

// What one page's rewrite needs: the mirror, the base its links resolve
// against, and the new text of each link met so far (a page repeats its
// links, and each new form costs looks at the file system).
struct TPageRewrite {
  const std::string& WebDir;
  const std::string& Base;
  std::vector<TTextEdit>* Edits;
  TStoredBodies& Bodies;
  std::unordered_map<std::string, std::string> NewText[2];  // by asFileURL
  std::optional<std::string> BaseFile;                      // the base's stored name

  // The text that replaces link as ReplaceLinkAt would write it; "" when
  // the link stays.
  const std::string& TextFor(const std::string& link, bool asFileURL) {
    auto [it, added] = NewText[asFileURL].try_emplace(link);
    if (added) {
      std::string local = LinkToLocalFrom(WebDir, Base, link, false, asFileURL, BaseFile, Bodies);
      if (local.empty()) local = AbsoluteLink(WebDir, Base, link);
      if (!local.empty() && local != link) it->second = scan::LinkForText(local);
    }
    return it->second;
  }
};

// Rewrites a found value in place unless its closing quote is missing (it
// would then run to the end of the page). Returns the value's offset, taken
// before the rewrite may move the page's bytes.
std::size_t RewriteValue(std::string& page, const TAttrSpan& v, TPageRewrite& rewrite,
                         bool asFileURL) {
  const std::size_t at = Offset(page, v.Start);
  if (!v.Closed) return at;
  const std::string link(v.Start, v.Length);
  const std::string& text = rewrite.TextFor(link, asFileURL);
  if (text.empty()) return at;
  page.replace(at, link.size(), text);
  if (rewrite.Edits && text != link) rewrite.Edits->push_back({at, link, text});
  return at;
}

// Rewrites the links of the tag at index; returns where the walk goes on.
std::size_t LocaliseTag(std::string& page, std::size_t index, TPageRewrite& rewrite) {
  TAttrSpan v;
  auto at = [&] { return page.c_str() + index; };
  if (FindAttribute("a", "href", at(), v)) return RewriteValue(page, v, rewrite, false);
  if (FindMetaRefresh(at(), v)) return RewriteValue(page, v, rewrite, true);
  for (const TLinkRule& rule : FirstHitRulesAfterMeta()) {
    if (FindAttribute(rule.Tag, rule.Attributes[0], at(), v))
      return RewriteValue(page, v, rewrite, false);
  }
  for (const TLinkRule& rule : GroupRules()) {
    bool any = false;
    for (std::string_view attribute : rule.Attributes) {
      // Each lookup starts again at the tag: a rewrite changes only bytes
      // after it.
      if (FindAttribute(rule.Tag, attribute, at(), v)) {
        any = true;
        RewriteValue(page, v, rewrite, false);
      }
    }
    if (any) break;
  }
  return index;
}

void Insert(std::string& page, std::size_t at, const std::string& text,
            std::vector<TTextEdit>* edits) {
  page.insert(at, text);
  if (edits) edits->push_back({at, {}, text});
}

std::string InsertBaseImpl(std::string& page, const std::string& url, bool asMarker,
                           std::vector<TTextEdit>* edits) {
  const char* p = page.c_str();
  while (FindNextTag(p)) {
    TAttrSpan v;
    if (FindAttribute("base", "href", p, v)) {
      std::string href(v.Start, v.Length);
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

TStoredBodies::TBody TStoredBodies::Find(const std::string& webDir, const std::string& url) {
  std::string key;
  key.reserve(webDir.size() + 1 + url.size());
  key += webDir;
  key += '\n';
  key += url;
  if (auto it = Known.find(key); it != Known.end()) return it->second;
  TBody body;
  body.File = URLToLocalPath(webDir, url, "Data", "");
  body.Stored = !body.File.empty() && IsStoredFile(body.File);
  // A bound on what one pass over a huge mirror keeps.
  if (Known.size() >= kMaxKnown) Known.clear();
  Known.emplace(std::move(key), body);
  return body;
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
  std::string local = LinkToLocal(webDir, pageURL, link, false, asFileURL);
  if (local.empty()) local = AbsoluteLink(webDir, pageURL, link);
  if (local.empty() || local == link || index > page.size()) return;
  page.replace(index, std::min(link.size(), page.size() - index), scan::LinkForText(local));
}

void LocaliseHTMLText(std::string& page, const std::string& pageURL, const std::string& webDir,
                      const std::atomic<bool>& abort, const TProcessMessages& processMessages,
                      std::vector<TTextEdit>* edits, TStoredBodies* bodies) {
  TStoredBodies own;
  TStoredBodies& known = bodies ? *bodies : own;
  // A page saved with a marker of the base it had on the web gets a real base
  // element pointing at that base's stored body, and its links resolve
  // against that base.
  std::string base = pageURL;
  std::size_t index = 0;
  for (int n = 0; n < 10 && FindNextTagAt(page, index); ++n) {
    std::string href = GetTagAttributeAt("Tvbase", "href", page, index, true);
    if (!href.empty()) {
      base = ResolveURL(pageURL, href);
      InsertBaseImpl(page, LinkToLocal(webDir, pageURL, href, true, true, &known), false, edits);
      break;
    }
  }

  TPageRewrite rewrite{webDir, base, edits, known, {}, {}};
  index = 0;
  for (long count = 1; FindNextTagAt(page, index); ++count) {
    if (count % 100 == 0) {
      if (processMessages) processMessages();
      if (abort.load()) break;
    }
    index = LocaliseTag(page, index, rewrite);
  }
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
