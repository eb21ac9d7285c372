#include "model/uriparser.h"

#include "model/strutils.h"
#include "platform/asciicase.h"

namespace qv {

namespace {

bool IsSchemeChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' ||
         c == '.' || c == '-';
}

// ParseURL's six parts as views of the text, the scheme as written: the
// spider and the localising pass resolve every link they meet, and building
// six strings for each side of every resolution was most of its cost.
struct TURLView {
  std::string_view Scheme, NetLoc, Path, Params, Query, Fragment;
};

TURLView SplitURL(std::string_view url) {
  TURLView r;
  std::string_view rest = url;
  if (const std::size_t h = rest.find('#'); h != std::string_view::npos) {
    r.Fragment = rest.substr(h);
    rest = rest.substr(0, h);
  }
  std::size_t i = 0;
  while (i < rest.size() && IsSchemeChar(rest[i])) ++i;
  if (i > 0 && i < rest.size() && rest[i] == ':') {
    r.Scheme = rest.substr(0, i + 1);
    rest = rest.substr(i + 1);
  }
  if (rest.substr(0, 2) == "//") {
    std::size_t e = 2;
    while (e < rest.size() && rest[e] != '/' && rest[e] != '?' && rest[e] != ';') ++e;
    r.NetLoc = rest.substr(0, e);
    rest = rest.substr(e);
  }
  if (const std::size_t q = rest.find('?'); q != std::string_view::npos) {
    r.Query = rest.substr(q);
    rest = rest.substr(0, q);
  }
  if (const std::size_t s = rest.find(';'); s != std::string_view::npos) {
    r.Params = rest.substr(s);
    rest = rest.substr(0, s);
  }
  r.Path = rest;
  return r;
}

void AppendLower(std::string& to, std::string_view s) {
  for (char c : s) to += LowerAscii(c);
}

// The text without CR and LF: itself when it has none, else a copy in `keep`.
std::string_view WithoutCRLF(std::string_view s, std::string& keep) {
  // Two searches of one byte each: find_first_of asks a set of two for every
  // byte of the text.
  if (s.find('\r') == std::string_view::npos && s.find('\n') == std::string_view::npos) return s;
  keep.assign(s);
  StrRemCh(keep, "\r\n");
  return keep;
}

// What a relative path is merged onto: the base path up to its last "/". An
// empty base path is the root (RFC 3986 section 5.2.3): "a/.." against
// "http://h" must leave "/", not "a".
std::string_view BaseFolder(std::string_view basePath) {
  const std::size_t slash = basePath.rfind('/');
  return basePath.empty()                  ? std::string_view("/")
         : slash == std::string_view::npos ? basePath
                                           : basePath.substr(0, slash + 1);
}

// Merges a relative path onto the base's folder and removes dot segments, in the
// order the program has always applied them (see ResolveURL's contract).
std::string MergePaths(std::string_view basePath, std::string_view refPath) {
  const std::string_view folder = BaseFolder(basePath);
  std::string path;
  path.reserve(folder.size() + refPath.size() + 1);
  path += folder;
  path += refPath;
  for (std::size_t p = path.find("/./"); p != std::string::npos; p = path.find("/./", p))
    path.erase(p + 1, 2);
  if (path.size() >= 2 && path.compare(path.size() - 2, 2, "/.") == 0) path.pop_back();
  if (path.compare(0, 2, "./") == 0) path.erase(0, 2);

  // The leftmost complete segment followed by "/../" goes with those four bytes;
  // a segment beginning with ".." stays and the search goes on. An empty
  // segment ("g//../h") goes like any other, or "/../" would survive in the
  // key; only the root before a leading "/" is no segment.
  for (std::size_t i = 0;;) {
    const std::size_t e = path.find('/', i);
    if (e == std::string::npos) break;
    const std::string_view seg(path.data() + i, e - i);
    if ((i > 0 || !seg.empty()) && seg.substr(0, 2) != ".." && path.compare(e, 4, "/../") == 0) {
      path.erase(i, e - i + 4);
      i = 0;
    } else {
      i = e + 1;
    }
  }

  if (path.size() >= 3 && path.compare(path.size() - 3, 3, "/..") == 0) {
    const std::size_t k = path.size() - 3;
    const std::size_t prev = k == 0 ? std::string::npos : path.rfind('/', k - 1);
    path.erase(prev == std::string::npos ? k : prev + 1);
  }
  if (path.empty() || path[0] != '/') path.insert(path.begin(), '/');
  while (path.compare(0, 4, "/../") == 0) path.erase(0, 3);
  return path;
}

// The merge of a relative path that holds no dot segment, appended to `out`
// as MergePaths would give it; false (nothing appended) when the merged path
// could hold one, which MergePaths then takes.
bool AppendPlainMerge(std::string& out, std::string_view basePath, std::string_view refPath) {
  const std::string_view folder = BaseFolder(basePath);
  if (folder[0] == '.' || folder.find("/.") != std::string_view::npos ||
      refPath.find("/.") != std::string_view::npos || (folder.back() == '/' && refPath[0] == '.'))
    return false;
  if (folder[0] != '/') out += '/';
  out += folder;
  out += refPath;
  return true;
}

}  // namespace

TURLParts ParseURL(std::string_view url) {
  const TURLView v = SplitURL(url);
  TURLParts r;
  AppendLower(r.Scheme, v.Scheme);
  r.NetLoc = v.NetLoc;
  r.Path = v.Path;
  r.Params = v.Params;
  r.Query = v.Query;
  r.Fragment = v.Fragment;
  return r;
}

static TURLPathParts SplitPath(const std::string& path) {
  TURLPathParts r;
  const std::size_t slash = path.rfind('/');
  std::string name;
  if (slash == std::string::npos) {
    name = path;
  } else {
    r.Dir = path.substr(0, slash + 1);
    name = path.substr(slash + 1);
  }
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos) {
    r.Name = name;
  } else {
    r.Name = name.substr(0, dot);
    r.Ext = name.substr(dot);
  }
  return r;
}

TURLPathParts SplitURLPath(std::string_view url) {
  return SplitPath(std::string(SplitURL(url).Path));
}

std::string URLFileName(std::string_view url) {
  const TURLPathParts p = SplitURLPath(url);
  return p.Name + p.Ext;
}

std::string URLScheme(std::string_view url) {
  std::string scheme;
  AppendLower(scheme, SplitURL(url).Scheme);
  return scheme;
}

std::string URLSite(std::string_view url) {
  const TURLView v = SplitURL(url);
  std::string site;
  site.reserve(v.Scheme.size() + v.NetLoc.size());
  AppendLower(site, v.Scheme);
  site += v.NetLoc;
  return site;
}

bool IsSameSite(std::string_view url1, std::string_view url2) {
  return URLSite(TrimBlanks(url1)) == URLSite(TrimBlanks(url2));
}

std::string NormaliseURL(std::string_view url) {
  // The parts in their order are the text before the fragment, the scheme
  // lower-cased.
  const TURLView v = SplitURL(url);
  std::string r;
  r.reserve(url.size() - v.Fragment.size());
  AppendLower(r, v.Scheme);
  r.append(url.substr(v.Scheme.size(), url.size() - v.Scheme.size() - v.Fragment.size()));
  return r;
}

std::string CollapseURLSlashes(std::string_view url) {
  TURLParts p = ParseURL(url);
  if (p.Path.empty()) {
    if (!(p.Params + p.Query + p.Fragment).empty()) p.Path.assign(1, '/');
  } else if (p.Path[0] != ':') {
    std::string collapsed;
    collapsed.reserve(p.Path.size());
    for (char c : p.Path)
      if (c != '/' || collapsed.empty() || collapsed.back() != '/') collapsed.push_back(c);
    p.Path = std::move(collapsed);
  }
  return p.Scheme + p.NetLoc + p.Path + p.Params + p.Query + p.Fragment;
}

std::string AddURLPathSlash(std::string_view url) {
  TURLParts p = ParseURL(url);
  if (p.Path.empty() || p.Path.back() != '/') p.Path += '/';
  return p.Scheme + p.NetLoc + p.Path + p.Params + p.Query + p.Fragment;
}

std::string ResolveURL(std::string_view base, std::string_view reference) {
  // A base carrying CR or LF (a hand-typed root) must not smuggle them into a
  // request either, so both sides lose them.
  std::string refKeep, baseKeep;
  const std::string_view ref = WithoutCRLF(reference, refKeep);
  const std::string_view baseText = WithoutCRLF(base, baseKeep);
  if (ref.empty()) return NormaliseURL(baseText);

  const TURLView r = SplitURL(ref);
  if (!r.Scheme.empty()) return NormaliseURL(ref);
  const TURLView b = SplitURL(baseText);

  std::string result;
  result.reserve(baseText.size() + ref.size() + 1);
  AppendLower(result, b.Scheme);
  bool sep = true;  // a "/" goes between what the base gives and the reference's own parts
  std::string merged;
  std::string_view path;
  if (!r.NetLoc.empty()) {
    result += r.NetLoc;
    path = r.Path;
  } else {
    result += b.NetLoc;
    if (!r.Path.empty() && r.Path[0] == '/') {
      path = r.Path;
    } else if (r.Path.empty()) {
      if (!b.Path.empty() && b.Path != "/") {
        result += b.Path;
        sep = false;
      }
      if (r.Params.empty()) {
        if (!b.Params.empty()) {
          if (sep) result += '/';
          result += b.Params;
          sep = false;
        }
        if (r.Query.empty() && !b.Query.empty()) {
          if (sep) result += '/';
          result += b.Query;
          sep = false;
        }
      }
    } else if (AppendPlainMerge(result, b.Path, r.Path)) {
      sep = false;  // the merged path is in, and never empty
    } else {
      merged = MergePaths(b.Path, r.Path);
      path = merged;
    }
  }
  if (sep && path.empty() && (!r.Params.empty() || !r.Query.empty())) result += '/';
  result += path;
  result += r.Params;
  result += r.Query;
  return result;
}

static bool ExtIn(std::string_view ext, std::initializer_list<std::string_view> list) {
  for (std::string_view e : list)
    if (EqualsIC(ext, e)) return true;
  return false;
}

bool IsPageURL(std::string_view url) {
  const TURLPathParts p = SplitURLPath(url);
  if (ExtIn(p.Ext, {".htm", ".html", ".shtml", ".asp", ".cfm"})) return true;
  const std::size_t php = p.Ext.find(".php");
  if (php != std::string::npos && static_cast<long>(php) + 1 > static_cast<long>(p.Ext.size()) - 5)
    return true;
  return p.Name.empty();
}

bool IsPageOrScriptURL(std::string_view url) {
  if (IsPageURL(url)) return true;
  const TURLPathParts p = SplitURLPath(url);
  if (ExtIn(p.Ext, {".pl", ".cgi", ".bat", ".py"})) return true;
  if (LowerCaseAscii(p.Dir).find("/cgi-bin") != std::string::npos) return true;
  return p.Ext.empty();
}

std::string EscapeURL(std::string_view url) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string r;
  r.reserve(url.size());
  for (char c : url) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u == 0x11 || u == 0x20 || u == 0x22 || u == 0x23 || u == 0x3C || u == 0x3E) {
      r += '%';
      r += kHex[u >> 4];
      r += kHex[u & 15];
    } else {
      r += c;
    }
  }
  return r;
}

// ParseURL's network location without its "//", found in place: the
// spider asks for two of them for every link it meets.
static std::string_view HostPart(std::string_view url) {
  const std::string_view netLoc = SplitURL(url).NetLoc;
  return netLoc.empty() ? netLoc : netLoc.substr(2);
}

bool IsOtherHost(std::string_view url1, std::string_view url2) {
  return HostPart(url1) != HostPart(url2);
}

int CommonPathLength(std::string_view a, std::string_view b) {
  std::size_t i = 0;
  std::size_t lastSlash = 0;
  while (i < a.size() && i < b.size() && a[i] == b[i]) {
    if (a[i] == '/') lastSlash = i;
    ++i;
  }
  const bool aEdge = i >= a.size() || a[i] == '/';
  const bool bEdge = i >= b.size() || b[i] == '/';
  return static_cast<int>(aEdge && bEdge ? i : lastSlash);
}

std::string BaseDomain(std::string_view host) {
  if (host.empty()) return "";
  const std::size_t last = host.rfind('.');
  if (last == std::string_view::npos) return std::string(host);
  const bool generic =
      ExtIn(host.substr(last), {".com", ".edu", ".net", ".org", ".gov", ".mil", ".int"});
  // Keep the labels after the (keep)-th dot from the end.
  const int keep = generic ? 2 : 3;
  std::size_t pos = host.size();
  for (int dots = 0; dots < keep; ++dots) {
    if (pos == 0) return std::string(host);
    const std::size_t d = host.rfind('.', pos - 1);
    if (d == std::string_view::npos) return std::string(host);
    pos = d;
  }
  return std::string(host.substr(pos + 1));
}

bool HasURLScheme(std::string_view url, std::string_view scheme) {
  return StartsWithIC(url, scheme);
}

bool IsWebURL(std::string_view url) {
  return HasURLScheme(url, "http:") || HasURLScheme(url, "https:");
}

bool IsFetchableURL(std::string_view url) { return IsWebURL(url) || HasURLScheme(url, "ftp:"); }

TURIParts ParseURIParts(std::string_view url) {
  const TURLParts u = ParseURL(url);
  const TURLPathParts p = SplitPath(u.Path);
  TURIParts r;
  r.Protocol = u.Scheme.empty() ? "" : u.Scheme.substr(0, u.Scheme.size() - 1);
  std::string authority = u.NetLoc.size() >= 2 ? u.NetLoc.substr(2) : u.NetLoc;
  // RFC 3986 3.2.1: user information ends at the authority's last "@".
  if (const std::size_t at = authority.rfind('@'); at != std::string::npos)
    authority.erase(0, at + 1);
  const std::size_t colon = authority.find(':');
  r.Host = authority.substr(0, colon);
  r.Port = colon == std::string::npos ? "" : authority.substr(colon + 1);
  r.Path = p.Dir.empty() ? "/" : p.Dir;
  r.Document = p.Name + p.Ext + u.Params + u.Query;
  r.Bookmark = u.Fragment;
  return r;
}

}  // namespace qv
