#pragma once

// Reads and rewrites HTML without building a tree. A cursor walks the page from
// tag to tag; small readers take one attribute of the tag under the cursor, the
// text of a link, the address of a meta refresh and the content of a robots
// meta tag. Three operations rewrite stored pages for off-line browsing.
//
// Text: 8-bit bytes ending at the first zero byte. A cursor is a pointer into
// such a text (a std::string's c_str() qualifies); "at the end" means on the
// terminating zero. The cursor readers never read past that zero; what walks a
// whole std::string (FindNextTagAt, InsertBase, the rewriters) steps over a
// zero byte inside it and goes on, as a browser does. Attribute values are
// given as written; DecodeCharRefs reads a link's value as a browser does. No
// character sets. Blank set: blank, tab, LF, CR.
//
// Everything here is a pure function of its arguments (no shared state, no
// locks) and may run on any thread, except LocaliseHTMLFile, which reads and
// writes one stored page.

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "model/tvurlutils.h"

namespace qv {

// Moves the cursor to the next tag. With an empty name any tag whose name
// starts with a letter is reported; with a name, only a tag of that name
// (ignoring case, followed by a blank, ">" or the end). Ordinary comments and
// lower-case "script" elements without a "src" are skipped whole (a script
// with one is reported like any tag); the program's base
// marker comment ("<!--Tv" + "BASE ...") is always reported, with the cursor on
// its keyword. Returns false with the cursor on the terminating zero.
bool FindNextTag(const char*& cursor, std::string_view tag = {});
// The same over a std::string and a 0-based index, which is written back; a
// zero byte inside the string ends nothing (the search goes on after it).
bool FindNextTagAt(const std::string& text, std::size_t& index, std::string_view tag = {});

// The first ">" outside double-quoted runs from p; else the first ">" at all;
// else the terminating zero.
const char* FindTagEnd(const char* p);

// After blank-set characters, does the text start with word (ignoring case)?
// On success the cursor moves past the word; otherwise it stays.
bool MatchWord(const char*& cursor, std::string_view word);

// The value of one attribute of the tag under the cursor, trimmed; "" when the
// tag is not named tag, the attribute is absent or its value is empty. With an
// empty tag the search starts after the first ";" from the cursor (used on the
// content of a meta refresh). Only the first occurrence of the name outside
// quotes counts, and it must follow a blank-set character or ";". With advance,
// a found value moves the cursor onto the value's first (trimmed) byte, so the
// value's bytes can be replaced exactly.
namespace html_detail {
std::string GetNamedTagAttribute(std::string_view tag, std::string_view attribute,
                                 const char*& cursor, bool advance);
}  // namespace html_detail

// Inlined everywhere: callers try one tag name after another on every tag,
// and the name test below then costs two compares against constants.
[[gnu::always_inline]] inline std::string GetTagAttribute(std::string_view tag,
                                                          std::string_view attribute,
                                                          const char*& cursor,
                                                          bool advance = false) {
  // Most calls end on the first two letters (ASCII case folded; whatever
  // passes is checked exactly). A first byte that passes is no zero, so the
  // second is readable.
  auto differ = [](char a, char b) {
    return (static_cast<unsigned char>(a) | 0x20) != (static_cast<unsigned char>(b) | 0x20);
  };
  if (!tag.empty() && (differ(cursor[0], tag[0]) || (tag.size() > 1 && differ(cursor[1], tag[1]))))
    return {};
  return html_detail::GetNamedTagAttribute(tag, attribute, cursor, advance);
}
std::string GetTagAttributeAt(std::string_view tag, std::string_view attribute,
                              const std::string& text, std::size_t& index, bool advance = false);

// The value of an attribute of the tag under the cursor, whatever the tag's
// name (read as GetTagAttribute reads it); "" when there is none.
std::string GetAnyTagAttribute(std::string_view attribute, const char* cursor);
// The same, also giving FindTagEnd(cursor) from the same pass over the tag
// (a scanner that reads one attribute of every tag needs both).
std::string GetAnyTagAttribute(std::string_view attribute, const char* cursor, const char*& tagEnd);

// The character references of an attribute value decoded as a browser reads
// a link: "&amp;", "&lt;", "&gt;", "&quot;", "&apos;" and the other names of
// the printable ASCII bytes (the ones a URL can carry), "&#NN;" and "&#xNN;"
// (as UTF-8; zero, a surrogate or a number past U+10FFFF gives U+FFFD, and
// the ";" may be missing). "amp", "lt", "gt" and "quot" are also taken
// without their ";" unless "=" follows, as browsers do in attribute values.
// An unknown name, or an "&" that starts no reference, stays as written.
namespace html_detail {
std::string DecodedCharRefs(std::string_view value);
}  // namespace html_detail
// Inlined: a scanner reads many values, nearly all of them empty or free of
// references.
inline std::string DecodeCharRefs(std::string value) {
  if (value.find('&') == std::string::npos) return value;
  return html_detail::DecodedCharRefs(value);
}

// Where the URLs of a srcset candidate list (already decoded) lie, split as
// a browser splits it: each candidate's URL, without its descriptors ("2x",
// "480w") and the commas between candidates.
struct TTextSpan {
  std::size_t At = 0;
  std::size_t Length = 0;
};
std::vector<TTextSpan> SrcsetURLs(std::string_view candidates);

// The style-sheet text of the style element whose tag is under the cursor:
// from after its start tag to the "</style" that ends it (or the text's end);
// empty for any other tag.
std::string_view StyleElementText(const char* cursor);

// "<br>" and "&nbsp" (any case) become LF CR; other blank-set runs one blank.
std::string CleanLinkText(std::string_view text);

// The text of the link whose start tag ends at tagEnd (which must point at its
// ">"): an image's alt text when the link holds an image, else the text up to
// the next closing tag, cleaned. imageURL (optional) receives the src of an
// image inside the link. Looks at most a bounded window past tagEnd.
std::string GetLinkText(const char* tagEnd, std::string* imageURL = nullptr);

// The URL of a <meta http-equiv="refresh" content="n; url=..."> under the
// cursor, or "". With advance a found URL moves the cursor onto it.
std::string GetMetaRefreshURL(const char*& cursor, bool advance = false);
std::string GetMetaRefreshURLAt(const std::string& text, std::size_t& index, bool advance = false);

// The content of a <meta name="robots" content="..."> under the cursor, or "".
std::string GetMetaRobots(const char* cursor);

// Records a page's base in the page. A page with a <base href> keeps it (as
// the marker comment when asMarker is set) and the result is that href,
// resolved against url when url is given. Otherwise url is inserted as a base
// element (or as the marker) after the first head, html or doctype tag and the
// result is url; "" when there is no place for it or url is empty.
std::string InsertBase(std::string& page, const std::string& url, bool asMarker);

// The stored bodies of a mirror as rewrites find them. A localising pass looks
// the same targets up from page after page, and each look lists a folder and
// asks for a file's kind: this remembers every answer, so a pass asks once
// per target. It assumes no body is stored or removed while it lives (a pass
// replaces bodies only by new copies of the same names), and is used by one
// thread at a time. Without one, each call below keeps its own for its call.
class TStoredBodies {
 public:
  struct TBody {
    std::string File;     // URLToLocalPath(webDir, url, "Data", ""); "" outside the mirror
    bool Stored = false;  // a plain file of that name exists
  };
  // The answer stays good until the next Find.
  const TBody& Find(const std::string& webDir, const std::string& url);

 private:
  static constexpr std::size_t kMaxKnown = 200000;
  std::string WebDir;                            // the mirror Known holds answers of
  std::unordered_map<std::string, TBody> Known;  // by URL
  TMissingFolders Missing;                       // folders of WebDir found not there
};

// The local form of a link found in the page at pageURL under the mirror root
// webDir: a path relative to the page's stored body (or, with asFileURL, a
// "file://" URL of the target's absolute path) when the target is stored (or
// force is set); the link unchanged when it already names a stored body (its
// last path component, query and fragment cut off, is "Data" plus an
// extension) or is a "file:" URL; the fragment alone for a fragment-only
// link; "" otherwise.
std::string LinkToLocal(const std::string& webDir, const std::string& pageURL,
                        const std::string& link, bool force, bool asFileURL,
                        TStoredBodies* bodies = nullptr);

// The absolute form of a relative link, its fragment kept; "" for a link with
// a scheme, an empty link, or a link to a stored body.
std::string AbsoluteLink(const std::string& webDir, const std::string& pageURL,
                         const std::string& link);

// Replaces the link whose bytes start at index with its local form (or its
// absolute form when its target is not stored); leaves it when neither exists.
// The link is given as written: it is read with its character references
// decoded, and the new text is written with "&" as "&amp;".
void ReplaceLinkAt(std::string& page, std::size_t index, const std::string& webDir,
                   const std::string& pageURL, const std::string& link, bool asFileURL);

// Called every 100 tags (or style-sheet references) of a long rewrite, on the
// caller's thread, so the caller can let its window run; the rewrite stops
// when the abort flag is set afterwards.
using TProcessMessages = std::function<void()>;

// One edit of a rewrite: at byte At the bytes Old were replaced by New (an
// insertion has an empty Old). Applied in order, the edits turn the original
// text into the rewritten one.
struct TTextEdit {
  std::size_t At = 0;
  std::string Old;
  std::string New;
};

// The in-memory half of LocaliseHTMLFile: rewrites page's links as if it were
// the stored copy of pageURL under webDir (whose stored bodies decide the
// local forms). When edits is given, every change made is appended to it.
//
// Every URL attribute of HTML is rewritten (anchors, forms, frames, images
// and their srcset candidates, media and their posters, objects, embeds, link
// elements, cite addresses), and so are the url() references of style
// attributes and style elements. A value is read with its character
// references decoded; what is written back is encoded for its quotes.
void LocaliseHTMLText(std::string& page, const std::string& pageURL, const std::string& webDir,
                      const std::atomic<bool>& abort, const TProcessMessages& processMessages = {},
                      std::vector<TTextEdit>* edits = nullptr, TStoredBodies* bodies = nullptr);

// LocaliseHTMLText making each rewrite in the page as it is found, the plain
// walk whose result the faster one must give byte for byte (the tests and
// the fuzz harness compare the two).
namespace html_detail {
void LocaliseHTMLTextInPlace(std::string& page, const std::string& pageURL,
                             const std::string& webDir, const std::atomic<bool>& abort,
                             const TProcessMessages& processMessages = {},
                             std::vector<TTextEdit>* edits = nullptr,
                             TStoredBodies* bodies = nullptr);
}  // namespace html_detail

// Rewrites every link of the stored copy of the page at pageURL under webDir
// so the mirror browses without a network, and writes the page back (also
// after an abort) when anything changed. Nothing happens when there is no
// stored copy or it is empty. A value whose closing quote is missing is never rewritten. File
// errors raise the input/output exception of the whole-file helpers; a failed
// write leaves the stored copy as it was.
void LocaliseHTMLFile(const std::string& pageURL, const std::string& webDir,
                      const std::atomic<bool>& abort, const TProcessMessages& processMessages = {},
                      TStoredBodies* bodies = nullptr);

}  // namespace qv
