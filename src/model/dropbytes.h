#pragma once
// Byte-level readers and writers of what drags, drops and the clipboard carry
// between programs: URI lists, the shell's file-drop block, the file-group
// descriptor that carries a link's title, UTF-16 texts from browsers and the
// old "HTML Format" header. Everything here reads data another program made,
// so every reader is bounded by the block it is given and never trusts a count
// or an offset inside it. No Qt, no state, no locks.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

// Dropped and pasted texts are cut to this many bytes.
inline constexpr size_t kDropTextLimit = size_t{1} << 20;

// The bytes before the first zero byte (all of them when there is none).
std::string_view CutAtZero(std::string_view bytes);

bool IsValidUtf8(std::string_view bytes);
// The bytes as UTF-8: kept when they are valid UTF-8, else read as Latin-1.
std::string AsUtf8(std::string_view bytes);

// A text cut to limit bytes; when it was longer, the cut goes back to the last
// line break inside the limit (when there is one) so no line arrives halved.
std::string BoundText(std::string_view text, size_t limit = kDropTextLimit);

// UTF-16 as browsers put it in their drag types: a byte-order mark, or a first
// character whose other byte is zero. On success *bigEndian tells the order.
bool LooksUtf16(std::string_view bytes, bool* bigEndian);
// UTF-16 to UTF-8, stopping at the first zero unit; a byte-order mark is
// dropped, a lone surrogate becomes U+FFFD and an odd last byte is ignored.
std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian);
// The text (read as AsUtf8 does) in UTF-16LE, no byte-order mark, no zero.
std::string Utf8ToUtf16LE(std::string_view text);

// What a text drop type delivers as the system's 8-bit text: UTF-16 turned
// into UTF-8, cut at the first zero, bounded by BoundText.
std::string DropBytesToText(std::string_view bytes);

// URI lists (text/uri-list, RFC 2483): one URI a line (CR or LF ends one), "#" lines are
// comments, blank lines and surrounding blanks are dropped. Reads at most kDropTextLimit.
std::vector<std::string> URIListEntries(std::string_view bytes);
bool IsFileURI(std::string_view uri);
// The local path of a file URI ("file:///p", "file://localhost/p",
// "file:/p"), percent-decoded byte for byte; nothing for another host, for a
// path that is empty, not absolute or holds a zero byte.
std::optional<std::string> FileURIToPath(std::string_view uri);
// "file://" + the path with every byte but the unreserved ones and "/"
// percent-encoded (RFC 3986).
std::string PathToFileURI(std::string_view path);
// The local paths of the list's file URIs, in order; other entries skipped.
std::vector<std::string> FilePathsFromURIList(std::string_view bytes);
// A URI list of the absolute paths, each line ended by CR LF; other paths skipped.
std::string URIListFromPaths(const std::vector<std::string>& paths);

// The shell's file-drop block: a 20-byte header (offset of the paths, drop
// point, non-client flag, wide flag) and the paths, each ended by a zero
// character, the list by one more. A path is folder + "\" + name ("\" left
// out when the folder is empty or ends in one). Wide paths are UTF-16LE of
// the bytes read as AsUtf8 does. Empty paths are left out, since an empty
// one would end the list early.
std::string BuildDropFilesBlock(std::string_view folder, const std::vector<std::string>& names,
                                bool wide = false);
// The paths of a file-drop block, in order; wide paths come back as UTF-8.
// Reading stops at the end of the block (a last path without its zero is
// kept) and skips empty paths; a header whose offset is outside the block
// gives nothing.
std::vector<std::string> ReadDropFilesBlock(std::string_view block);

// The name of the first file of a file-group descriptor (a 4-byte count, then
// 332-byte descriptors with the name at byte 72 of each). Nothing when the
// count is 0 or the name does not end with a zero inside the block and its
// 260-byte field.
std::optional<std::string> FileGroupDescriptorName(std::string_view block);
// A link file's name as a title: a trailing ".url" (any case) removed, and for
// a bookmark drop the first "SHORTCUT TO " (any case) as well.
std::string URLTitleFromFileName(std::string name, bool bookmark);

// text/x-moz-url: the URL on the first line, the title on the second; UTF-16
// or 8-bit. Both come back as UTF-8, bounded.
struct TMozURL {
  std::string URL;
  std::string Title;
};
TMozURL ParseMozURL(std::string_view bytes);
// The URL and title as text/x-moz-url, in UTF-16LE.
std::string BuildMozURL(std::string_view url, std::string_view title);

// The old "HTML Format" block: header lines ("Version:", "StartHTML:",
// "EndHTML:", "StartFragment:", "EndFragment:", "SourceURL:") before the
// HTML. HasHeader is false when the block does not begin with "Version:";
// then HTML is the whole block. Offsets outside the block are ignored and the
// HTML starts after the header lines.
struct THTMLFormat {
  bool HasHeader = false;
  std::string SourceURL;
  std::string HTML;
};
THTMLFormat ParseHTMLFormat(std::string_view bytes);

}  // namespace qv
