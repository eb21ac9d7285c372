#include "platform/store.h"

#include <cerrno>
#include <mutex>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/atomicfile.h"
#include "platform/progfolder.h"

namespace qv {

namespace {

// One lock for every value file of the process: a rewrite reads, edits and
// replaces the whole file, and two at once would lose one of the edits.
std::mutex& StoreMutex() {
  static std::mutex m;
  return m;
}

const char* TypeWord(TStoreType t) {
  switch (t) {
    case TStoreType::String:
      return "string";
    case TStoreType::Integer:
      return "integer";
    case TStoreType::Boolean:
      return "boolean";
    case TStoreType::Binary:
      return "binary";
  }
  return "";
}

std::optional<TStoreType> TypeFromWord(std::string_view w) {
  for (TStoreType t :
       {TStoreType::String, TStoreType::Integer, TStoreType::Boolean, TStoreType::Binary})
    if (w == TypeWord(t)) return t;
  return std::nullopt;
}

const char HexDigits[] = "0123456789abcdef";

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string Escape(std::string_view s, bool isName) {
  std::string out;
  out.reserve(s.size());
  for (char ch : s) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20 || c == 0x7f || (isName && (c == '=' || c == ' '))) {
      out += "\\x";
      out += HexDigits[c >> 4];
      out += HexDigits[c & 15];
    } else {
      out += ch;
    }
  }
  return out;
}

std::optional<std::string> Unescape(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x20 && c != '\t') return std::nullopt;  // raw control bytes mean damage
    if (c != '\\') {
      out += s[i];
      continue;
    }
    if (++i >= s.size()) return std::nullopt;
    switch (s[i]) {
      case '\\':
        out += '\\';
        break;
      case 'n':
        out += '\n';
        break;
      case 'r':
        out += '\r';
        break;
      case 't':
        out += '\t';
        break;
      case 'x': {
        if (i + 2 >= s.size()) return std::nullopt;
        int hi = HexValue(s[i + 1]), lo = HexValue(s[i + 2]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
        break;
      }
      default:
        return std::nullopt;
    }
  }
  return out;
}

std::string EncodeBinary(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() * 2);
  for (char ch : bytes) {
    unsigned char c = static_cast<unsigned char>(ch);
    out += HexDigits[c >> 4];
    out += HexDigits[c & 15];
  }
  return out;
}

std::optional<std::string> DecodeBinary(std::string_view s) {
  if (s.size() % 2 != 0) return std::nullopt;
  std::string out;
  out.reserve(s.size() / 2);
  for (size_t i = 0; i < s.size(); i += 2) {
    int hi = HexValue(s[i]), lo = HexValue(s[i + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    out += static_cast<char>(hi * 16 + lo);
  }
  return out;
}

std::optional<int32_t> DecodeInteger(std::string_view s) {
  bool neg = false;
  size_t i = 0;
  if (i < s.size() && s[i] == '-') {
    neg = true;
    ++i;
  }
  if (i == s.size() || s.size() - i > 10) return std::nullopt;
  int64_t v = 0;
  for (; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return std::nullopt;
    v = v * 10 + (s[i] - '0');
  }
  if (neg) v = -v;
  if (v < INT32_MIN || v > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(v);
}

struct TParsedLine {
  TStoreType Type;
  std::string Name;
  std::string_view Value;  // still encoded
};

// "TYPE NAME=VALUE"; a trailing raw CR (an editor's line end) is dropped.
std::optional<TParsedLine> ParseLine(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (line.empty() || line[0] == '#') return std::nullopt;
  size_t sp = line.find(' ');
  if (sp == std::string_view::npos) return std::nullopt;
  auto type = TypeFromWord(line.substr(0, sp));
  if (!type) return std::nullopt;
  std::string_view rest = line.substr(sp + 1);
  size_t eq = rest.find('=');
  if (eq == std::string_view::npos || eq == 0) return std::nullopt;
  auto name = Unescape(rest.substr(0, eq));
  if (!name) return std::nullopt;
  return TParsedLine{*type, std::move(*name), rest.substr(eq + 1)};
}

// Calls f(line, ParseLine(line)) for each line of content, without its LF.
template <class F>
void ForEachLine(std::string_view content, F&& f) {
  size_t pos = 0;
  while (pos < content.size()) {
    size_t nl = content.find('\n', pos);
    if (nl == std::string_view::npos) nl = content.size();
    const std::string_view line = content.substr(pos, nl - pos);
    pos = nl + 1;
    f(line, ParseLine(line));
  }
}

enum class TLoad { Ok, Missing, Unreadable };

TLoad LoadFile(const std::string& path, std::string& content) {
  content.clear();
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return errno == ENOENT || errno == ENOTDIR ? TLoad::Missing : TLoad::Unreadable;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return S_ISDIR(st.st_mode) ? TLoad::Missing : TLoad::Unreadable;
  }
  if (static_cast<uint64_t>(st.st_size) > TValueFile::MaxFileSize) {
    close(fd);
    return TLoad::Unreadable;
  }
  char buf[65536];
  for (;;) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      close(fd);
      return TLoad::Unreadable;
    }
    if (n == 0) break;
    content.append(buf, static_cast<size_t>(n));
    // The file may grow after the size was taken; the bound still holds.
    if (content.size() > TValueFile::MaxFileSize) {
      close(fd);
      content.clear();
      return TLoad::Unreadable;
    }
  }
  close(fd);
  return TLoad::Ok;
}

}  // namespace

bool TValueFile::Exists() const {
  struct stat st {};
  return !Path_.empty() && stat(Path_.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool TValueFile::Create() const {
  if (Path_.empty()) return false;
  std::lock_guard<std::mutex> hold(StoreMutex());
  if (Exists()) return true;
  size_t slash = Path_.rfind('/');
  if (slash != std::string::npos && slash > 0 && !MakeFolderChain(Path_.substr(0, slash), 0700))
    return false;
  int fd = open(Path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return Exists();
  close(fd);
  // The header goes in by a rewrite, so the file is never seen half written.
  return WriteFileAtomic(Path_, "# Quendravilos settings\n", 0600);
}

std::optional<std::string> TValueFile::Read(std::string_view name, TStoreType type) const {
  if (Path_.empty()) return std::nullopt;
  std::string content;
  {
    std::lock_guard<std::mutex> hold(StoreMutex());
    if (LoadFile(Path_, content) != TLoad::Ok) return std::nullopt;
  }
  // The last line for a name wins, as it would after a rewrite.
  std::optional<std::string> found;
  ForEachLine(content, [&](std::string_view, const std::optional<TParsedLine>& p) {
    if (!p || p->Name != name) return;
    if (p->Type != type)
      found.reset();
    else
      found = std::string(p->Value);
  });
  return found;
}

std::optional<std::string> TValueFile::ReadString(std::string_view name) const {
  auto v = Read(name, TStoreType::String);
  if (!v) return std::nullopt;
  return Unescape(*v);
}

std::optional<int32_t> TValueFile::ReadInteger(std::string_view name) const {
  auto v = Read(name, TStoreType::Integer);
  if (!v) return std::nullopt;
  return DecodeInteger(*v);
}

std::optional<bool> TValueFile::ReadBool(std::string_view name) const {
  auto v = Read(name, TStoreType::Boolean);
  if (!v) return std::nullopt;
  if (*v == "true") return true;
  if (*v == "false") return false;
  return std::nullopt;
}

std::optional<std::string> TValueFile::ReadBinary(std::string_view name) const {
  auto v = Read(name, TStoreType::Binary);
  if (!v) return std::nullopt;
  return DecodeBinary(*v);
}

bool TValueFile::Write(std::string_view name, TStoreType type, std::string_view encoded) const {
  if (Path_.empty() || name.empty()) return false;
  std::lock_guard<std::mutex> hold(StoreMutex());
  std::string content;
  if (LoadFile(Path_, content) != TLoad::Ok) return false;

  std::string newLine =
      std::string(TypeWord(type)) + " " + Escape(name, true) + "=" + std::string(encoded) + "\n";
  std::string out;
  out.reserve(content.size() + newLine.size());
  bool placed = false;
  ForEachLine(content, [&](std::string_view line, const std::optional<TParsedLine>& p) {
    if (p && p->Name == name) {
      // The value takes the place of its first line; later copies go.
      if (!placed) out += newLine;
      placed = true;
      return;
    }
    out.append(line);
    out += '\n';
  });
  if (!placed) out += newLine;
  if (out.size() > MaxFileSize) return false;
  return WriteFileAtomic(Path_, out, 0600);
}

bool TValueFile::WriteString(std::string_view name, std::string_view value) const {
  return Write(name, TStoreType::String, Escape(value, false));
}

bool TValueFile::WriteInteger(std::string_view name, int32_t value) const {
  return Write(name, TStoreType::Integer, std::to_string(value));
}

bool TValueFile::WriteBool(std::string_view name, bool value) const {
  return Write(name, TStoreType::Boolean, value ? "true" : "false");
}

bool TValueFile::WriteBinary(std::string_view name, std::string_view bytes) const {
  return Write(name, TStoreType::Binary, EncodeBinary(bytes));
}

std::string StoreFileForKey(std::string_view keyPath) {
  std::string rel;
  bool first = true;
  size_t pos = 0;
  while (pos <= keyPath.size()) {
    size_t bs = keyPath.find('\\', pos);
    if (bs == std::string_view::npos) bs = keyPath.size();
    std::string_view part = keyPath.substr(pos, bs - pos);
    pos = bs + 1;
    if (part.empty()) continue;
    bool software = part.size() == 8;
    for (size_t i = 0; software && i < 8; ++i) software = (part[i] | 0x20) == "software"[i];
    if (first && software) {
      first = false;
      continue;
    }
    first = false;
    if (part == "." || part == ".." || part.find('/') != std::string_view::npos ||
        part.find('\0') != std::string_view::npos)
      return "";
    rel += "/";
    rel += part;
  }
  if (rel.empty()) return "";
  std::string home = ConfigHome();
  if (home.empty()) return "";
  return (home == "/" ? std::string() : home) + rel;
}

}  // namespace qv
