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

struct TCSSValue {
  const char* Start = nullptr;
  std::size_t Length = 0;
  bool Closed = false;  // its closing quote or ")" was found on its line
};

bool FindCSSURL(const char* p, TCSSValue& out) {
  using scan::SkipBlanks;
  for (;;) {
    const char* colon = std::strstr(p, ": ");
    if (!colon) return false;
    p = colon + 2;
    const char* q = SkipBlanks(colon + 1);
    if (!scan::StartsWithIC(q, "url")) continue;
    q = SkipBlanks(q + 3);
    if (*q != '(') continue;
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
    scan::Trim(vb, ve);
    // An empty url() is no reference; the ones after it still count.
    if (vb == ve) continue;
    out.Start = vb;
    out.Length = static_cast<std::size_t>(ve - vb);
    // No address holds a line break, and a style-sheet string cannot: a
    // value that runs over one has found its end in a later rule, and
    // rewriting it would swallow the rules between.
    out.Closed =
        closed && std::string_view(vb, out.Length).find_first_of("\r\n") == std::string_view::npos;
    return true;
  }
}

}  // namespace

std::string NextCSSURL(const char*& cursor) {
  TCSSValue v;
  if (!FindCSSURL(cursor, v)) return {};
  cursor = v.Start;
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
    TCSSValue v;
    if (!FindCSSURL(text.c_str() + pos, v)) break;
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
