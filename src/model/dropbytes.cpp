#include "model/dropbytes.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "model/strutils.h"
#include "model/uriparser.h"
#include "platform/asciicase.h"

namespace qv {

namespace {

uint8_t Byte(std::string_view s, size_t i) { return static_cast<uint8_t>(s[i]); }

// Decodes one UTF-8 sequence at i of valid UTF-8; advances i.
uint32_t NextCodePoint(std::string_view s, size_t& i) {
  const uint8_t b = Byte(s, i);
  const int n = b < 0x80 ? 0 : b < 0xE0 ? 1 : b < 0xF0 ? 2 : 3;
  uint32_t cp = n == 0 ? b : n == 1 ? (b & 0x1F) : n == 2 ? (b & 0x0F) : (b & 0x07);
  for (int k = 1; k <= n; ++k) cp = (cp << 6) | (Byte(s, i + k) & 0x3F);
  i += n + 1;
  return cp;
}

void AppendUtf16LE(std::string& out, uint32_t unit) {
  out += static_cast<char>(unit & 0xFF);
  out += static_cast<char>(unit >> 8);
}

uint32_t ReadLE32(std::string_view s, size_t at) {
  return Byte(s, at) | (Byte(s, at + 1) << 8) | (Byte(s, at + 2) << 16) |
         (static_cast<uint32_t>(Byte(s, at + 3)) << 24);
}

void AppendLE32(std::string& out, uint32_t v) {
  for (int k = 0; k < 4; ++k) out += static_cast<char>((v >> (8 * k)) & 0xFF);
}

std::string_view TrimmedView(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

}  // namespace

std::string_view CutAtZero(std::string_view bytes) {
  const size_t z = bytes.find('\0');
  return z == std::string_view::npos ? bytes : bytes.substr(0, z);
}

bool IsValidUtf8(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    const uint8_t b = Byte(s, i);
    if (b < 0x80) {
      ++i;
      continue;
    }
    int n;
    uint32_t min;
    if (b >= 0xC2 && b <= 0xDF) {
      n = 1, min = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
      n = 2, min = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
      n = 3, min = 0x10000;
    } else {
      return false;
    }
    if (s.size() - i <= static_cast<size_t>(n)) return false;
    uint32_t cp = b & (0x3F >> n);
    for (int k = 1; k <= n; ++k) {
      const uint8_t c = Byte(s, i + k);
      if ((c & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (c & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += n + 1;
  }
  return true;
}

std::string AsUtf8(std::string_view bytes) {
  if (IsValidUtf8(bytes)) return std::string(bytes);
  std::string out;
  out.reserve(bytes.size() * 2);
  for (size_t i = 0; i < bytes.size(); ++i) AppendUtf8(out, Byte(bytes, i));
  return out;
}

std::string BoundText(std::string_view text, size_t limit) {
  if (text.size() <= limit) return std::string(text);
  std::string_view cut = text.substr(0, limit);
  const size_t lastBreak = cut.find_last_of("\r\n");
  if (lastBreak != std::string_view::npos) {
    cut = cut.substr(0, lastBreak);
    while (!cut.empty() && (cut.back() == '\r' || cut.back() == '\n')) cut.remove_suffix(1);
  }
  return std::string(cut);
}

bool LooksUtf16(std::string_view bytes, bool* bigEndian) {
  if (bytes.size() < 2) return false;
  const uint8_t b0 = Byte(bytes, 0), b1 = Byte(bytes, 1);
  bool be;
  if (b0 == 0xFF && b1 == 0xFE) {
    be = false;
  } else if (b0 == 0xFE && b1 == 0xFF) {
    be = true;
  } else if (b0 != 0 && b1 == 0) {
    be = false;
  } else if (b0 == 0 && b1 != 0) {
    be = true;
  } else {
    return false;
  }
  if (bigEndian) *bigEndian = be;
  return true;
}

namespace {

// A file name may begin with U+FEFF like any other character; only a text
// takes it as a byte-order mark.
std::string Utf16Decode(std::string_view bytes, bool bigEndian, bool skipMark) {
  std::string out;
  const size_t units = bytes.size() / 2;
  auto unitAt = [&](size_t k) -> uint32_t {
    const uint8_t a = Byte(bytes, 2 * k), b = Byte(bytes, 2 * k + 1);
    return bigEndian ? (a << 8) | b : (b << 8) | a;
  };
  size_t k = 0;
  if (skipMark && units > 0 && unitAt(0) == 0xFEFF) k = 1;
  for (; k < units; ++k) {
    const uint32_t u = unitAt(k);
    if (u == 0) break;
    if (u >= 0xD800 && u <= 0xDBFF && k + 1 < units) {
      const uint32_t low = unitAt(k + 1);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
        ++k;
        continue;
      }
    }
    AppendUtf8(out, u >= 0xD800 && u <= 0xDFFF ? 0xFFFD : u);
  }
  return out;
}

}  // namespace

std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian) {
  return Utf16Decode(bytes, bigEndian, true);
}

std::string Utf8ToUtf16LE(std::string_view text) {
  const std::string utf8 = AsUtf8(text);
  std::string out;
  out.reserve(utf8.size() * 2);
  size_t i = 0;
  while (i < utf8.size()) {
    const uint32_t cp = NextCodePoint(utf8, i);
    if (cp >= 0x10000) {
      AppendUtf16LE(out, 0xD800 + ((cp - 0x10000) >> 10));
      AppendUtf16LE(out, 0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      AppendUtf16LE(out, cp);
    }
  }
  return out;
}

std::string DropBytesToText(std::string_view bytes) {
  // A UTF-16 text needs two bytes a character, so twice the limit is read.
  bool be = false;
  if (LooksUtf16(bytes, &be))
    return BoundText(Utf16ToUtf8(bytes.substr(0, std::min(bytes.size(), 2 * kDropTextLimit)), be));
  return BoundText(CutAtZero(bytes));
}

std::vector<std::string> URIListEntries(std::string_view bytes) {
  const std::string text = BoundText(CutAtZero(bytes));
  std::vector<std::string> out;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string::npos) end = text.size();
    const std::string_view line = TrimmedView(std::string_view(text).substr(pos, end - pos));
    if (!line.empty() && line.front() != '#') out.emplace_back(line);
    pos = end + 1;
  }
  return out;
}

bool IsFileURI(std::string_view uri) { return HasURLScheme(uri, "file:"); }

std::optional<std::string> FileURIToPath(std::string_view uri) {
  if (!IsFileURI(uri)) return std::nullopt;
  std::string_view rest = uri.substr(5);
  if (rest.substr(0, 2) == "//") {
    rest.remove_prefix(2);
    const size_t slash = rest.find('/');
    const std::string_view host = rest.substr(0, slash);
    if (!host.empty() && !EqualsIC(host, "localhost")) return std::nullopt;
    if (slash == std::string_view::npos) return std::nullopt;
    rest.remove_prefix(slash);
  }
  rest = rest.substr(0, rest.find_first_of("?#"));
  if (rest.empty() || rest.front() != '/') return std::nullopt;
  const std::string path = PercentDecoded(rest);
  if (path.find('\0') != std::string::npos) return std::nullopt;
  return path;
}

std::string PathToFileURI(std::string_view path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out = "file://";
  for (char c : path) {
    const uint8_t b = static_cast<uint8_t>(c);
    const bool keep = (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') ||
                      b == '-' || b == '.' || b == '_' || b == '~' || b == '/';
    if (keep) {
      out += c;
    } else {
      out += '%';
      out += kHex[b >> 4];
      out += kHex[b & 15];
    }
  }
  return out;
}

std::vector<std::string> FilePathsFromURIList(std::string_view bytes) {
  std::vector<std::string> out;
  for (const auto& uri : URIListEntries(bytes))
    if (auto path = FileURIToPath(uri)) out.push_back(std::move(*path));
  return out;
}

std::string URIListFromPaths(const std::vector<std::string>& paths) {
  std::string out;
  for (const auto& p : paths)
    if (!p.empty() && p.front() == '/') out += PathToFileURI(p) + "\r\n";
  return out;
}

std::string BuildDropFilesBlock(std::string_view folder, const std::vector<std::string>& names,
                                bool wide) {
  std::string out;
  AppendLE32(out, 20);
  AppendLE32(out, 0);
  AppendLE32(out, 0);
  AppendLE32(out, 0);
  AppendLE32(out, wide ? 0xFFFFFFFFu : 0);
  const bool slash = !folder.empty() && folder.back() != '\\';
  for (const auto& name : names) {
    std::string path(folder);
    if (slash) path += '\\';
    path += name;
    if (path.empty()) continue;
    if (wide) {
      out += Utf8ToUtf16LE(path);
      out.append(2, '\0');
    } else {
      out += path;
      out += '\0';
    }
  }
  out.append(wide ? 2 : 1, '\0');
  return out;
}

std::vector<std::string> ReadDropFilesBlock(std::string_view block) {
  std::vector<std::string> out;
  if (block.size() < 20) return out;
  const uint32_t offset = ReadLE32(block, 0);
  const bool wide = ReadLE32(block, 16) != 0;
  if (offset < 20 || offset >= block.size()) return out;
  std::string_view rest = block.substr(offset);
  while (!rest.empty()) {
    size_t len = 0;
    if (wide) {
      while (2 * len + 1 < rest.size() && (rest[2 * len] != '\0' || rest[2 * len + 1] != '\0'))
        ++len;
      if (len > 0) {
        std::string path = Utf16Decode(rest.substr(0, 2 * len), false, false);
        if (!path.empty()) out.push_back(std::move(path));
      }
      rest.remove_prefix(std::min(rest.size(), 2 * len + 2));
    } else {
      len = std::min(rest.find('\0'), rest.size());
      if (len > 0) out.emplace_back(rest.substr(0, len));
      rest.remove_prefix(std::min(rest.size(), len + 1));
    }
  }
  return out;
}

std::optional<std::string> FileGroupDescriptorName(std::string_view block) {
  constexpr size_t kNameAt = 4 + 72, kNameField = 260;
  if (block.size() <= kNameAt || ReadLE32(block, 0) == 0) return std::nullopt;
  const std::string_view field = block.substr(kNameAt, kNameField);
  const size_t z = field.find('\0');
  if (z == std::string_view::npos) return std::nullopt;
  return std::string(field.substr(0, z));
}

std::string URLTitleFromFileName(std::string name, bool bookmark) {
  if (EndsWithIC(name, ".url")) name.resize(name.size() - 4);
  if (bookmark) {
    const size_t at = FindIC(name, "SHORTCUT TO ");
    if (at != std::string_view::npos) name.erase(at, 12);
  }
  return name;
}

TMozURL ParseMozURL(std::string_view bytes) {
  const std::string text = DropBytesToText(bytes);
  TMozURL r;
  const size_t nl = text.find('\n');
  r.URL = std::string(TrimmedView(std::string_view(text).substr(0, nl)));
  if (nl != std::string::npos) {
    std::string_view title = std::string_view(text).substr(nl + 1);
    title = title.substr(0, title.find('\n'));
    r.Title = std::string(TrimmedView(title));
  }
  return r;
}

std::string BuildMozURL(std::string_view url, std::string_view title) {
  std::string text(url);
  text += '\n';
  text += title;
  return Utf8ToUtf16LE(text);
}

THTMLFormat ParseHTMLFormat(std::string_view bytes) {
  THTMLFormat r;
  if (!StartsWithIC(bytes, "Version:")) {
    r.HTML = std::string(bytes);
    return r;
  }
  r.HasHeader = true;
  // The header is a handful of short lines; anything longer is no header.
  constexpr size_t kHeaderLimit = 4096;
  size_t pos = 0, startHTML = 0, endHTML = 0;
  bool haveStart = false, haveEnd = false;
  while (pos < bytes.size() && pos < kHeaderLimit) {
    size_t end = bytes.find('\n', pos);
    if (end == std::string_view::npos) end = bytes.size();
    const std::string_view line = TrimmedView(bytes.substr(pos, end - pos));
    const size_t colon = line.find(':');
    if (line.empty() || line.front() == '<' || colon == std::string_view::npos) break;
    const std::string_view name = line.substr(0, colon), value = line.substr(colon + 1);
    auto number = [&](size_t& out) {
      size_t v = 0;
      if (value.empty() || value.size() > 10) return false;
      for (char c : value) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<size_t>(c - '0');
      }
      out = v;
      return true;
    };
    if (EqualsIC(name, "SourceURL")) r.SourceURL = std::string(value);
    if (EqualsIC(name, "StartHTML")) haveStart = number(startHTML);
    if (EqualsIC(name, "EndHTML")) haveEnd = number(endHTML);
    pos = end + 1;
  }
  pos = std::min(pos, bytes.size());
  const size_t from = haveStart && startHTML >= pos && startHTML <= bytes.size() ? startHTML : pos;
  const size_t to = haveEnd && endHTML >= from && endHTML <= bytes.size() ? endHTML : bytes.size();
  r.HTML = std::string(CutAtZero(bytes.substr(from, to - from)));
  return r;
}

}  // namespace qv
