#include "model/tvurlutils.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <algorithm>
#include <cerrno>

#include "model/uriparser.h"
#include "model/vkfile.h"

namespace qv {

namespace {

constexpr std::size_t kMaxStoredName = 245;

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// A component such as "." or ".." would lead out of the URL's folder once the
// path meets the file system; it becomes as many "_".
void MakeComponentSafe(std::string& part) {
  for (char& c : part)
    if (static_cast<unsigned char>(c) < 0x20) c = '_';
  if (!part.empty() && std::all_of(part.begin(), part.end(), [](char c) { return c == '.'; }))
    std::fill(part.begin(), part.end(), '_');
}

// Every component of text made safe and "\" between them, in place.
void MakeComponentsSafe(std::string& text) {
  std::size_t start = 0;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    if (i < text.size() && !IsSeparator(text[i])) {
      if (static_cast<unsigned char>(text[i]) < 0x20) text[i] = '_';
      continue;
    }
    if (i > start &&
        std::all_of(text.begin() + static_cast<std::ptrdiff_t>(start),
                    text.begin() + static_cast<std::ptrdiff_t>(i), [](char c) { return c == '.'; }))
      std::fill(text.begin() + static_cast<std::ptrdiff_t>(start),
                text.begin() + static_cast<std::ptrdiff_t>(i), '_');
    if (i < text.size()) text[i] = '\\';
    start = i + 1;
  }
}

// An extension taken from a URL is text from the network: no separators, no
// characters a file name cannot hold.
std::string SafeExtension(std::string_view ext) {
  std::string e = MakeFileSafe(ext);
  for (char& c : e)
    if (IsSeparator(c) || static_cast<unsigned char>(c) < 0x20) c = '_';
  return e;
}

// True when every component after the root's separator is a real name.
bool StaysInside(std::string_view path, std::size_t rootLen) {
  if (path.find('\0') != std::string_view::npos) return false;
  std::size_t i = rootLen + 1;
  while (i <= path.size()) {
    std::size_t e = i;
    while (e < path.size() && !IsSeparator(path[e])) ++e;
    const std::string_view part = path.substr(i, e - i);
    if (part == "." || part == "..") return false;
    i = e + 1;
  }
  return true;
}

bool IsTemporaryExt(std::string_view ext) {
  const std::string e = LowerCaseAscii(ext);
  return e == ".tmp" || e == ".tm2";
}

// The extension of the first stored file named kind or kind + ".*" in the folder
// of `path` (which ends in "\" + kind), temporary files aside. `folderMissing`
// (when given) tells whether the folder itself is not there. The folder is
// read with the entries' own types (a look at a name only where the file
// system gives none): every stored page and every link a localising pass
// rewrites asks this of a folder.
std::optional<std::string> FindStoredExtension(const std::string& path, std::string_view kind,
                                               bool* folderMissing = nullptr) {
  const std::string folder = NativePath(path.substr(0, path.size() - kind.size()));
  DIR* dir = ::opendir(folder.c_str());
  if (folderMissing) *folderMissing = !dir && (errno == ENOENT || errno == ENOTDIR);
  if (!dir) return std::nullopt;
  std::optional<std::string> best;
  while (const dirent* e = ::readdir(dir)) {
    const std::string_view name = e->d_name;
    if (name == "." || name == ".." || name.compare(0, kind.size(), kind) != 0) continue;
    const std::string_view ext = name.substr(kind.size());
    if (!ext.empty() && ext[0] != '.') continue;
    if (IsTemporaryExt(ext)) continue;
    bool regular = e->d_type == DT_REG;
    if (e->d_type == DT_UNKNOWN) {
      struct stat st;
      regular =
          ::fstatat(::dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode);
    }
    if (regular && (!best || ext < *best)) best = std::string(ext);
  }
  ::closedir(dir);
  return best;
}

// The stored name of a URL's file of `kind` without its extension (it ends in
// "\" + kind), and the normalised URL; "" when the name has no room for kind.
std::string StoredBaseName(std::string_view root, std::string_view url, std::string_view kind,
                           std::string& normal) {
  normal = NormaliseURL(url);
  const std::string scheme = URLScheme(normal);
  std::string folder = scheme.empty() ? "NoProtocol" : scheme.substr(0, scheme.size() - 1);
  MakeComponentSafe(folder);
  std::string rest = MakeFileSafe(SkipURLScheme(normal));
  MakeComponentsSafe(rest);

  std::string path;
  path.reserve(root.size() + folder.size() + rest.size() + kind.size() + 3);
  path += root;
  path += '\\';
  path += folder;
  path += '\\';
  path += rest;
  if (path.back() != '\\') path += '\\';
  path += kind;

  if (path.size() > kMaxStoredName) path = ShortenPath(path, kMaxStoredName, root.size() + 1);
  // The cut must leave the kind's own name whole, or Data and Head would part.
  if (path.size() < kind.size() + 1 ||
      path.compare(path.size() - kind.size(), kind.size(), kind) != 0 ||
      path[path.size() - kind.size() - 1] != '\\')
    return "";
  return path;
}

// The base name completed with the extension a file of kind is given when
// none is stored: the URL's own for a body.
std::string NameWhenNoneStored(const std::string& base, const std::string& normal,
                               std::string_view kind) {
  if (kind == "Data") return base + SafeExtension(SplitURLPath(normal).Ext);
  if (kind == "Head") return base + ".txt";
  return base;
}

// The base name completed with its extension, as URLToLocalPath gives it.
std::string WithExtension(const std::string& base, const std::string& normal, std::string_view kind,
                          std::string_view ext, bool* folderMissing) {
  if (!ext.empty()) return base + std::string(ext);
  if (auto found = FindStoredExtension(base, kind, folderMissing)) return base + *found;
  return NameWhenNoneStored(base, normal, kind);
}

bool Covers(const std::string& folder, std::string_view path) {
  return !folder.empty() && path.size() >= folder.size() &&
         path.compare(0, folder.size(), folder) == 0 &&
         (path.size() == folder.size() || path[folder.size()] == '\\');
}

// `folder` (below root + "\") is not there: the memo takes the highest
// folder above it that is not there either, climbing until one is (or the
// climb cannot tell), so the next URLs below it need no look at all.
void NoteMissingFolder(TFolderMemo& memo, std::size_t rootLen, std::string_view folder) {
  std::string_view top = folder;
  for (;;) {
    const std::size_t cut = top.rfind('\\');
    if (cut == std::string_view::npos || cut <= rootLen) break;
    const std::string_view parent = top.substr(0, cut);
    if (Covers(std::string(parent), memo.Present)) break;
    struct stat st;
    if (::stat(NativePath(std::string(parent)).c_str(), &st) == 0) {
      if (S_ISDIR(st.st_mode)) {
        memo.Present = std::string(parent);
        break;
      }
      // A plain file: nothing can lie below it.
    } else if (errno != ENOENT && errno != ENOTDIR) {
      break;
    }
    top = parent;
  }
  memo.Missing = std::string(top);
}

}  // namespace

std::string URLToLocalPath(std::string_view root, std::string_view url, std::string_view kind,
                           std::string_view ext) {
  if (root.empty()) return "";
  std::string normal;
  const std::string base = StoredBaseName(root, url, kind, normal);
  if (base.empty()) return "";
  const std::string result = WithExtension(base, normal, kind, ext, nullptr);
  return StaysInside(result, root.size()) ? result : "";
}

TStoredFile FindStoredFile(std::string_view root, std::string_view url, std::string_view kind,
                           TMissingFolders* missing) {
  TStoredFile r;
  if (root.empty()) return r;
  std::string normal;
  const std::string base = StoredBaseName(root, url, kind, normal);
  if (base.empty()) return r;
  const std::string_view folder = std::string_view(base).substr(0, base.size() - kind.size() - 1);
  bool folderMissing =
      missing && std::any_of(missing->Folders.begin(), missing->Folders.end(),
                             [&](const std::string& f) { return Covers(f, folder); });
  std::optional<std::string> found;
  if (!folderMissing) {
    found = FindStoredExtension(base, kind, &folderMissing);
    if (folderMissing && missing) {
      TFolderMemo climb;
      NoteMissingFolder(climb, root.size(), folder);
      if (missing->Folders.size() < TMissingFolders::kMax) {
        missing->Folders.push_back(std::move(climb.Missing));
      } else {
        missing->Folders[missing->Next] = std::move(climb.Missing);
        missing->Next = (missing->Next + 1) % TMissingFolders::kMax;
      }
    }
  }
  std::string path = found ? base + *found : NameWhenNoneStored(base, normal, kind);
  if (!StaysInside(path, root.size())) return r;
  r.Path = std::move(path);
  // A name the folder listing gave is a plain file already; in a folder
  // that is not there, nothing is.
  if (found) {
    r.Exists = true;
  } else if (!folderMissing) {
    struct stat st;
    r.Exists = ::stat(NativePath(r.Path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
  }
  return r;
}

bool LocalFileExists(std::string_view root, std::string_view url, std::string_view kind,
                     TFolderMemo* memo, std::string_view likelyExt) {
  if (root.empty()) return false;
  std::string normal;
  const std::string base = StoredBaseName(root, url, kind, normal);
  // The extension never makes a component "." or "..": the base decides
  // whether the path stays inside root, before anything is looked at.
  if (base.empty() || !StaysInside(base, root.size())) return false;
  const std::string_view folder = std::string_view(base).substr(0, base.size() - kind.size() - 1);
  if (memo && Covers(memo->Missing, folder)) return false;
  // A plain file (not a link: the folder's names are taken so) under the
  // likely name is one of the names WithExtension picks from, so the file it
  // picks is there: one look instead of a listing of the folder.
  if (likelyExt.size() > 1 && likelyExt[0] == '.' && !IsTemporaryExt(likelyExt) &&
      likelyExt.find_first_of(std::string_view("/\\\0", 3)) == std::string_view::npos) {
    struct stat st;
    if (::lstat(NativePath(base + std::string(likelyExt)).c_str(), &st) == 0 && S_ISREG(st.st_mode))
      return true;
  }
  bool folderMissing = false;
  const std::string path = WithExtension(base, normal, kind, "", &folderMissing);
  // Every name the path can have lies in the URL's own folder.
  if (folderMissing) {
    if (memo) NoteMissingFolder(*memo, root.size(), folder);
    return false;
  }
  struct stat st;
  return ::stat(NativePath(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string ShortenPath(std::string_view path, std::size_t maxLen, std::size_t keep) {
  if (path.size() <= maxLen) return std::string(path);
  const std::size_t cut = path.size() - maxLen + 8;
  if (cut > path.size()) return "";
  const std::size_t start = std::max((path.size() - cut) / 2, keep);
  if (start + cut > path.size()) return "";
  unsigned long sum = 0;
  for (std::size_t i = start; i < start + cut; ++i)
    sum += static_cast<unsigned char>(path[i]) ^ 0x55u;
  std::string r(path.substr(0, start));
  r += '[';
  r += std::to_string(sum % 1000000);
  r += ']';
  r += path.substr(start + cut);
  return r;
}

std::string SkipURLScheme(std::string_view text) {
  std::size_t b = 0;
  while (b < text.size() &&
         (text[b] == ' ' || text[b] == '\t' || text[b] == '\r' || text[b] == '\n'))
    ++b;
  const std::string_view t = text.substr(b);
  const std::size_t colon = t.find(':');
  if (colon == std::string_view::npos || t.substr(colon + 1, 2) != "//") return std::string(t);
  std::size_t i = colon + 3;
  while (i < t.size() && t[i] == '/') ++i;
  return std::string(t.substr(i));
}

std::string MakeFileSafe(std::string_view text) {
  std::string r(text);
  for (char& c : r) {
    switch (c) {
      case ':':
      case '?':
      case '*':
      case '|':
      case '"':
      case '\'':
      case '>':
      case '<':
      case '#':
      case '%':
        c = '_';
        break;
      default:
        break;
    }
  }
  for (std::size_t i = 0; i + 1 < r.size(); ++i)
    if (IsSeparator(r[i]) && IsSeparator(r[i + 1])) r[i] = '_';
  return r;
}

std::string ForwardSlashes(std::string_view text) {
  std::string r(text);
  StrReplaceChr(r, '\\', '/');
  return r;
}

TFTPLogOnInfo GetFTPLogOnInfo(std::string_view url, std::string_view defaultPassword) {
  TFTPLogOnInfo r;
  if (!HasURLScheme(url, "ftp:")) return r;
  const TURLParts parts = ParseURL(url);
  // Only the network location may hold a user: in "ftp:u@h/x" or
  // "ftp:///u@h/x" the "@" is part of a path, and there is no host to log on to.
  const std::string netloc = parts.NetLoc.size() >= 2 ? parts.NetLoc.substr(2) : "";
  if (netloc.empty()) return r;
  const std::size_t at = netloc.find('@');
  if (at != std::string::npos) {
    const std::string user = netloc.substr(0, at);
    r.Host = netloc.substr(at + 1);
    const std::size_t colon = user.find(':');
    if (colon != std::string::npos) {
      r.User = user.substr(0, colon);
      r.Password = user.substr(colon + 1);
    } else {
      r.User = user;
      r.Password = std::string(defaultPassword);
    }
  } else {
    r.Host = netloc;
    r.User = "anonymous";
    r.Password = std::string(defaultPassword);
  }
  return r;
}

TFTPFileInfo ParseFTPListLine(std::string_view line) {
  TFTPFileInfo r;
  const std::string t = TrimBlanks(line);
  r.Format = (!t.empty() && t[0] >= '0' && t[0] <= '9') ? "D" : "U";

  auto blank = [](char c) { return c == ' ' || c == '\t'; };
  std::size_t i = 0;
  int fields = 0;
  for (; fields < 8; ++fields) {
    std::size_t j = i;
    while (j < t.size() && !blank(t[j])) ++j;
    if (j == i || j == t.size()) break;  // no field, or no blanks after it
    while (j < t.size() && blank(t[j])) ++j;
    i = j;
  }
  const std::size_t nameStart = fields == 8 ? i : t.size();
  if (fields == 8) r.Name = t.substr(i);

  // The first word ends at a blank or tab; later ones also at CR and LF.
  std::string* tokens[] = {&r.Token1, &r.Token2, &r.Token3, &r.Token4,
                           &r.Token5, &r.Token6, &r.Token7, &r.Token8};
  const std::string_view head(t.data(), nameStart);
  std::size_t p = 0;
  for (int k = 0; k < 8; ++k) {
    const std::string_view delims = k == 0 ? std::string_view(" \t") : std::string_view(" \t\r\n");
    while (p < head.size() && delims.find(head[p]) != std::string_view::npos) ++p;
    if (p >= head.size()) break;
    std::size_t e = p;
    while (e < head.size() && delims.find(head[e]) == std::string_view::npos) ++e;
    *tokens[k] = std::string(head.substr(p, e - p));
    p = e;
  }
  return r;
}

TURLImage ParseImageDropRecord(std::string_view block) {
  constexpr std::size_t kImageAt = 44;
  auto word = [&](std::size_t at) {
    return static_cast<std::size_t>(static_cast<unsigned char>(block[at]) |
                                    (static_cast<unsigned char>(block[at + 1]) << 8));
  };
  // The text at `at`, which must end with a zero byte inside the block.
  auto text = [&](std::size_t at) -> std::optional<std::string> {
    if (at >= block.size()) return std::nullopt;
    const std::size_t z = block.find('\0', at);
    if (z == std::string_view::npos) return std::nullopt;
    return std::string(block.substr(at, z - at));
  };
  if (block.size() <= kImageAt) return {};
  TURLImage r;
  const auto image = text(kImageAt);
  if (!image) return {};
  r.ImageURL = *image;
  if (const std::size_t at = word(36); at != 0) {
    const auto link = text(at);
    if (!link) return {};
    r.LinkURL = *link;
  }
  if (const std::size_t at = word(32); at != 0) {
    const auto title = text(at);
    if (!title) return {};
    r.Title = *title;
  }
  return r;
}

bool IsURL(std::string_view text) { return IsFetchableURL(text) || HasURLScheme(text, "mailto:"); }

int AddURLLines(TStringList& list, std::string_view text, std::uint32_t tag) {
  int last = -1;
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t e = text.find_first_of("\r\n", i);
    if (e == std::string_view::npos) e = text.size();
    const std::string_view line = text.substr(i, e - i);
    i = e + 1;
    if (line.empty() || !IsURL(line)) continue;
    const std::string u = NormaliseURL(line);
    const int added = AddStringIC(list, u, " \t");
    if (added >= 0) list.SetObject(added, tag);
    last = list.IndexOf(u);
  }
  return last;
}

void PasteURLs(TStringList& list,
               const std::function<std::optional<std::string>()>& clipboardText) {
  if (!clipboardText) return;
  if (const auto text = clipboardText()) AddURLLines(list, *text, kPastedRootTag);
}

}  // namespace qv
