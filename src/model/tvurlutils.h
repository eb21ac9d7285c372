#pragma once
// The local storage layout (where a URL's stored body and headers live) and the
// small URL helpers beside it: the FTP log-on split of a URL, one FTP listing line,
// a dropped image block and the URL lines of pasted text.
//
// Every function is free of state and takes no lock; callers hold the file-system
// lock where they need it. Only URLToLocalPath and LocalFileExists touch the file
// system (they may list one folder and look at a few) and only PasteURLs reads a
// caller-supplied clipboard.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/strutils.h"

namespace qv {

struct TFTPLogOnInfo {
  std::string Host;  // the server, with ":port" when the URL names one
  std::string User;
  std::string Password;
  bool operator==(const TFTPLogOnInfo&) const = default;
};

struct TFTPFileInfo {
  std::string Format;  // "D" when the line begins with a digit (DOS style), else "U"
  std::string Token1, Token2, Token3, Token4, Token5, Token6, Token7, Token8;
  std::string Name;  // the rest of the line after the eighth field, blanks kept
  bool operator==(const TFTPFileInfo&) const = default;
};

struct TURLImage {
  std::string ImageURL;
  std::string LinkURL;
  std::string Title;
  bool operator==(const TURLImage&) const = default;
};

// The stored file of a URL under root: root + "\" + scheme folder ("NoProtocol"
// when the URL has none) + "\" + host and path of the normalised URL made safe for
// a file name, each "/" a "\", then kind ("Data" or "Head") and an extension. The
// result is in the stored layout's Windows form (root as given, "\" after it);
// NativePath() turns it into the file-system name. The name part (without the
// extension) is at most 245 bytes: longer ones lose a middle run to ShortenPath.
//
// With ext "", the extension is found on disk: the first plain file of the folder
// named kind or kind + ".*" whose extension is not ".tmp" or ".tm2" (any case), in
// byte order of the names; without one, the URL path's own extension for "Data",
// ".txt" for "Head", nothing for any other kind.
//
// The result always lies inside root + "\": components made only of dots become
// "_"s, control bytes become "_", and when the result would still leave the root
// (or root is too long to leave room for the name, or empty: a tree at the
// file system's own root is no mirror) it is "", which callers treat
// as "no stored copy" or a failed write. Ordinary URLs keep their names byte for
// byte, since mirrors and caches written earlier must still be found.
std::string URLToLocalPath(std::string_view root, std::string_view url, std::string_view kind,
                           std::string_view ext);

// URLToLocalPath(root, url, kind, "") and whether it names a plain file
// (symbolic links followed), from one look at the URL's folder where that
// tells: a localising pass asks both for every page and every link target.
struct TStoredFile {
  std::string Path;  // "" outside the mirror
  bool Exists = false;
};
// With missing, folders found not there are kept in it (the highest of each
// climb, at most kMax of them) and answer for every URL below them without a
// look: keep one only for a stretch in which no stored file appears.
struct TMissingFolders {
  static constexpr std::size_t kMax = 64;
  std::vector<std::string> Folders;
  std::size_t Next = 0;  // the one the next replaces once there are kMax
};
TStoredFile FindStoredFile(std::string_view root, std::string_view url, std::string_view kind,
                           TMissingFolders* missing = nullptr);

// What a run of LocalFileExists calls learnt of the mirror's folders.
struct TFolderMemo {
  std::string Missing;  // a folder found not there: nothing below it is
  std::string Present;  // a folder found there
};

// Whether URLToLocalPath(root, url, kind, "") names a plain file (symbolic
// links followed). When the URL's own folder is not there, no name in it can
// be, and the answer comes without looking for the name URLToLocalPath
// falls back to. With a memo, such a folder is climbed to the highest one
// that is not there, which then answers for every URL below it without a
// look at the disk: URLs in key order share their folders, so a run of them
// costs a look or two per folder. A folder made after it was found missing
// is not seen: keep a memo only for a stretch in which no stored file is
// expected to appear. likelyExt, when given, is the extension the file was
// most likely stored under (from its content type): a plain file of that name
// answers at once, without a look at the folder's other names.
bool LocalFileExists(std::string_view root, std::string_view url, std::string_view kind,
                     TFolderMemo* memo = nullptr, std::string_view likelyExt = {});

// A path of at most maxLen bytes: when longer, a middle run of (excess + 8) bytes is
// replaced by "[N]", N the decimal sum over the cut bytes (as unsigned values) of
// (byte XOR 0x55), modulo 1,000,000. The run starts at (length - cut) / 2 but never
// inside the first `keep` bytes (the root and its separator); when what follows them
// cannot absorb the cut the result is "".
std::string ShortenPath(std::string_view path, std::size_t maxLen, std::size_t keep = 0);

// The text after leading blanks, tabs, CR and LF, the scheme, "//" and any further
// "/" ("http://a/b" gives "a/b"); without a ":" followed by "//", the text after
// the blanks, whole ("mailto:someone").
std::string SkipURLScheme(std::string_view text);

// Each of : ? * | " ' > < # % becomes "_"; then, from left to right, a "/" or "\"
// directly followed by another "/" or "\" becomes "_" (a run keeps only its last).
std::string MakeFileSafe(std::string_view text);

// Every "\" becomes "/" (local relative paths written into pages as links).
std::string ForwardSlashes(std::string_view text);

// The log-on of an "ftp:" URL (any letter case): "ftp://joe:pw@host:21/x" gives
// ("host:21", "joe", "pw"); without a password the default; without a user part
// ("anonymous", default). Only an "@" inside ParseURL's network location
// counts, so "ftp://good/pub/a@evil/x" logs on to "good". Other schemes, and an
// "ftp:" URL without a network location ("ftp:u@h/x", "ftp:///u@h/x"), give
// three "".
TFTPLogOnInfo GetFTPLogOnInfo(std::string_view url, std::string_view defaultPassword);

// Splits one line of an FTP LIST reply into its first eight blank- or tab-
// separated words and the rest (the file name of a Unix-style line).
TFTPFileInfo ParseFTPListLine(std::string_view line);

// Reads a dropped image block: the image URL at offset 44, the title and the link
// at the little-endian 16-bit offsets stored at 32 and 36 (0 = none), all texts
// zero-terminated. A block whose texts do not all lie inside it (with their zero
// byte) is not a link: all three fields "".
TURLImage ParseImageDropRecord(std::string_view block);

// The scheme is http:, https:, ftp: or mailto: (any letter case).
bool IsURL(std::string_view text);

// Adds the normalised form of every URL line of text (lines split at CR and LF)
// unless the list holds it already ignoring case, blanks and tabs; a line added
// gets `tag` as its object. Returns the list index of the last URL line (found by
// the list's own case-insensitive search), or -1 when no line was a URL.
int AddURLLines(TStringList& list, std::string_view text, std::uint32_t tag);

// The tag of a pasted root URL: scope "Page+" (low byte 0) and 0 levels.
inline constexpr std::uint32_t kPastedRootTag = 0;

// Adds the URL lines of the clipboard's text with kPastedRootTag. The clipboard is
// asked through clipboardText, which gives the text or nothing when it holds none.
void PasteURLs(TStringList& list, const std::function<std::optional<std::string>()>& clipboardText);

}  // namespace qv
