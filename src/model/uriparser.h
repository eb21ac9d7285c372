#pragma once
// URL parsing, normalisation and resolution.
//
// A URL is a plain 8-bit string; these functions never fail: text that is not a
// well-formed URL simply maps to the parts it has. Only the scheme's letter case
// is ever changed (lower-cased); hosts keep theirs, so "http://WWW.Example.com/"
// and "http://www.example.com/" are two different keys everywhere. The stored and
// compared form of every URL is NormaliseURL's: no fragment.
//
// Every function is pure (no state, no locks) and may be called from any thread.

#include <string>
#include <string_view>

namespace qv {

// A URL split into six parts; joining them in order gives the input back, except
// that the scheme is lower-cased.
struct TURLParts {
  std::string Scheme;    // "http:" (lower-cased, with its ":"); "" when there is none
  std::string NetLoc;    // "//host:port"; "" when the text after the scheme lacks "//"
  std::string Path;      // "/dir/page.html"
  std::string Params;    // ";lang" (from the first ";" before the query)
  std::string Query;     // "?q=1" (from the first "?")
  std::string Fragment;  // "#top" (from the first "#" anywhere)
  bool operator==(const TURLParts&) const = default;
};

// A URL path split into folder, file name and extension: "/dir/a.tar.gz" gives
// "/dir/", "a.tar", ".gz"; "/dir/.htaccess" gives "/dir/", "", ".htaccess".
struct TURLPathParts {
  std::string Dir;   // up to and including the last "/"; "" when the path has none
  std::string Name;  // the file name without its extension
  std::string Ext;   // from the file name's last ".", with the "."; "" when none
  bool operator==(const TURLPathParts&) const = default;
};

// What a client needs to send a request for a URL.
struct TURIParts {
  std::string Protocol;  // "http" (scheme without ":")
  std::string Host;      // the authority before its first ":", any "user:password@" dropped
  std::string Port;      // the authority after that ":"; "" when none
  std::string Path;      // the folder of the path, "/" when empty
  std::string Document;  // file name + extension + params + query ("page.html;p?q=1")
  std::string Bookmark;  // the fragment with its "#"
  bool operator==(const TURIParts&) const = default;
};

// Splits a URL: the fragment at the first "#"; a scheme of ASCII letters, digits,
// "+", "." and "-" ending at ":" (at least one character); a network location after
// "//" up to the first "/", "?", ";" or "#"; then the query at the first "?", the
// params at the first ";" before it, and the path left over.
TURLParts ParseURL(std::string_view url);
// Splits ParseURL(url).Path.
TURLPathParts SplitURLPath(std::string_view url);
// Name + Ext of the path ("page.html").
std::string URLFileName(std::string_view url);
// ParseURL(url).Scheme ("http:"), without the other parts.
std::string URLScheme(std::string_view url);
// Scheme + NetLoc ("http://www.example.com:8080").
std::string URLSite(std::string_view url);
// Whether ParseURL(url).Scheme is scheme (given as it gives it: lower case,
// with its ":", "ftp:"). A scheme holds no ":" and is the URL's beginning, so
// this is a prefix test in any letter case and builds no part: the workers
// ask it of every item they pick.
bool HasURLScheme(std::string_view url, std::string_view scheme);
// The schemes of the HTTP client: "http:" and "https:".
bool IsWebURL(std::string_view url);
// The schemes a job fetches: "http:", "https:" and "ftp:".
bool IsFetchableURL(std::string_view url);
// Both trimmed of surrounding blanks, then URLSite equal byte for byte.
bool IsSameSite(std::string_view url1, std::string_view url2);
// Scheme + NetLoc + Path + Params + Query: the stored form, fragment dropped.
// Idempotent.
std::string NormaliseURL(std::string_view url);
// Runs of "/" in the path become one "/" (a path beginning with ":" is left alone);
// an empty path followed by params, query or fragment becomes "/". Fragment kept.
std::string CollapseURLSlashes(std::string_view url);
// "/" appended to the path unless it already ends in one (an empty path becomes
// "/"); all six parts rejoined, fragment kept.
std::string AddURLPathSlash(std::string_view url);
// The absolute, normalised form of a reference found in the page at base (RFC 1808
// section 4 with this program's deviations: a reference with any scheme is taken
// as absolute, leading "/../" segments left after merging are dropped, a segment
// beginning with ".." is never removed, an empty merged path becomes "/"). A
// segment is the text between two "/", empty or not: "g//../h" against
// "http://h/dir/p" gives "http://h/dir/g/h". A relative path merged onto an
// empty base path starts at the root. CR and LF are removed from both the
// reference and the base first, so neither can reach a request line; the result
// never holds a fragment.
std::string ResolveURL(std::string_view base, std::string_view reference);
// The extension is one of .htm .html .shtml .asp .cfm (any case), or holds ".php"
// (lower case, as written) at its end or one byte before it; or the file name is empty.
bool IsPageURL(std::string_view url);
// IsPageURL, or the extension is .pl .cgi .bat .py (any case) or empty, or the
// lower-cased folder contains "/cgi-bin".
bool IsPageOrScriptURL(std::string_view url);
// Bytes 0x11, blank, double quote, "#", "<" and ">" become "%XX" (upper-case hex);
// every other byte, "%" included, stays.
std::string EscapeURL(std::string_view url);
// The network locations (without "//") differ byte for byte (port and case count).
bool IsOtherHost(std::string_view url1, std::string_view url2);
// Length of the common leading part of two "/"-separated paths, counted to a "/"
// boundary: "/a/b/c" and "/a/b/d" give 4, "/a/bc" and "/a/bd" give 2.
int CommonPathLength(std::string_view path1, std::string_view path2);
// The domain tail cookies are kept under: the last two labels when the last is one
// of .com .edu .net .org .gov .mil .int (any case), else the last three; the whole
// host when it has no more labels than that. "" for "".
std::string BaseDomain(std::string_view host);
// The request parts of a URL. The authority's "user:password@" part (up to its last
// "@") is dropped before host and port are split at the first ":", so a request
// never goes to a host named after the user.
TURIParts ParseURIParts(std::string_view url);

}  // namespace qv
