#include "engine/cssparser.h"

#include <sys/stat.h>

#include <cstring>
#include <string_view>

#include "engine/scantext.h"
#include "model/streamext.h"
#include "model/tvurlutils.h"
#include "model/vkfile.h"

namespace qv {

namespace {

bool IsNameByte(char c) {
  return scan::IsLetter(c) || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
         static_cast<unsigned char>(c) >= 0x80;
}

// Fills out with the value from vb to ve (the closing quote or ")" when
// closed); false when it is empty, which is no reference.
bool TakeValue(const char* vb, const char* ve, bool closed, bool import, TCSSReference& out) {
  scan::Trim(vb, ve);
  if (vb == ve) return false;
  out.Start = vb;
  out.Length = static_cast<std::size_t>(ve - vb);
  // No address holds a line break, and a style-sheet string cannot: a
  // value that runs over one has found its end in a later rule, and
  // rewriting it would swallow the rules between.
  out.Closed =
      closed && std::string_view(vb, out.Length).find_first_of("\r\n") == std::string_view::npos;
  out.Import = import;
  return true;
}

// The value of the url( whose "url" is at q; false when no "(" follows or it
// is empty.
bool URLValue(const char* q, bool import, TCSSReference& out) {
  using scan::SkipBlanks;
  q = SkipBlanks(q + 3);
  if (*q != '(') return false;
  q = SkipBlanks(q + 1);
  const char* vb = q;
  const char* ve = nullptr;
  // Single quotes are CSS's other string quote; read them like double ones
  // so they never become part of the address.
  if (*q == '"' || *q == '\'') {
    vb = q + 1;
    ve = std::strchr(vb, *q);
  }
  if (!ve) ve = std::strchr(vb, ')');
  const bool closed = ve != nullptr;
  if (!ve) ve = vb + std::strlen(vb);
  return TakeValue(vb, ve, closed, import, out);
}

}  // namespace

// The next reference from p: a url() wherever a value may hold one
// ("background:url(a)", "background: #fff url(a)", "src: url(a), url(b)"),
// and the address of an @import rule, written as a url() or as a string.
// Comments are passed over. A browser loads every one of them, so a stored
// style sheet that kept one as written would name a file beside itself that
// is not there.
bool FindCSSReference(const char* p, TCSSReference& out) {
  using scan::SkipBlanks;
  using scan::StartsWithIC;
  const char* const from = p;
  for (;;) {
    p = scan::FindAnyOf(p, 'u', 'U', '@', '/');
    if (*p == '\0') return false;
    if (*p == '/') {
      if (p[1] != '*') {
        ++p;
        continue;
      }
      const char* e = std::strstr(p + 2, "*/");
      if (!e) return false;
      p = e + 2;
      continue;
    }
    if (*p == '@') {
      if (!StartsWithIC(p, "@import")) {
        ++p;
        continue;
      }
      const char* q = SkipBlanks(p + 7);
      if (*q == '"' || *q == '\'') {
        const char* ve = std::strchr(q + 1, *q);
        const bool closed = ve != nullptr;
        if (!ve) ve = q + 1 + std::strlen(q + 1);
        if (TakeValue(q + 1, ve, closed, true, out)) return true;
        p = q + 1;
        continue;
      }
      if (StartsWithIC(q, "url") && URLValue(q, true, out)) return true;
      p = q;
      continue;
    }
    // "u": a url( that is no part of a longer name.
    if (StartsWithIC(p, "url") && (p == from || !IsNameByte(p[-1])) && URLValue(p, false, out))
      return true;
    ++p;
  }
}

std::string NextCSSURL(const char*& cursor) {
  bool import = false;
  return NextCSSURL(cursor, import);
}

std::string NextCSSURL(const char*& cursor, bool& import) {
  TCSSReference v;
  import = false;
  if (!FindCSSReference(cursor, v)) return {};
  cursor = v.Start;
  import = v.Import;
  return std::string(v.Start, v.Length);
}

void LocaliseCSSText(std::string& text, const std::string& pageURL, const std::string& webDir,
                     const std::atomic<bool>& abort, const TProcessMessages& processMessages,
                     std::vector<TTextEdit>* edits, TStoredBodies* bodies) {
  TStoredBodies own;
  TStoredBodies& known = bodies ? *bodies : own;
  std::size_t pos = 0;
  for (long count = 1;; ++count) {
    if (count % 100 == 0) {
      if (processMessages) processMessages();
      if (abort.load()) break;
    }
    TCSSReference v;
    bool found = FindCSSReference(text.c_str() + pos, v);
    // A zero byte ends only the scan before it: the sheet goes on after it.
    while (!found) {
      pos += std::strlen(text.c_str() + pos);
      if (pos >= text.size()) break;
      found = FindCSSReference(text.c_str() + ++pos, v);
    }
    if (!found) break;
    const std::size_t at = static_cast<std::size_t>(v.Start - text.c_str());
    const std::string u(v.Start, v.Length);
    std::string local = LinkToLocal(webDir, pageURL, u, false, false, &known);
    if (local.empty()) local = AbsoluteLink(webDir, pageURL, u);
    pos = at;
    // A value without its end would run to the end of the sheet.
    if (!local.empty() && v.Closed) {
      local = scan::LinkForText(local, "()");
      text.replace(at, u.size(), local);
      if (edits && local != u) edits->push_back({at, u, local});
      pos = at + 1;
    }
  }
}

void LocaliseCSSFile(const std::string& pageURL, const std::string& webDir,
                     const std::atomic<bool>& abort, const TProcessMessages& processMessages,
                     TStoredBodies* bodies) {
  TStoredBodies own;
  TStoredBodies& known = bodies ? *bodies : own;
  const TStoredBodies::TBody stored = known.Find(webDir, pageURL);
  if (!stored.Stored) return;
  const std::string& file = stored.File;
  std::string text = ReadFileString(file);
  if (text.empty()) return;
  const std::string before = text;
  LocaliseCSSText(text, pageURL, webDir, abort, processMessages, nullptr, &known);
  // A copy already localised stays untouched: a second pass writes nothing.
  if (text != before) WriteFileString(file, text);
}

}  // namespace qv
