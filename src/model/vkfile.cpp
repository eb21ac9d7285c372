#include "model/vkfile.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string_view>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "model/streamext.h"
#include "platform/asciicase.h"

extern char** environ;

namespace qv {

namespace {

namespace fs = std::filesystem;

// "*" and "?" over bytes, letter case ignored.
bool WildMatchIC(const char* m, const char* me, const char* s, const char* se) {
  const char* starM = nullptr;
  const char* starS = nullptr;
  while (s < se) {
    if (m < me && *m == '*') {
      starM = ++m;
      starS = s;
    } else if (m < me && (*m == '?' || LowerAscii(*m) == LowerAscii(*s))) {
      ++m;
      ++s;
    } else if (starM) {
      m = starM;
      s = ++starS;
    } else {
      return false;
    }
  }
  while (m < me && *m == '*') ++m;
  return m == me;
}

bool MaskMatches(const std::string& mask, const std::string& name) {
  const char* m = mask.data();
  if (WildMatchIC(m, m + mask.size(), name.data(), name.data() + name.size())) return true;
  // A trailing ".*" also takes a name with no extension at all.
  if (mask.size() >= 2 && mask.compare(mask.size() - 2, 2, ".*") == 0 &&
      name.find('.') == std::string::npos)
    return WildMatchIC(m, m + mask.size() - 2, name.data(), name.data() + name.size());
  return false;
}

bool Exists(const std::string& native) {
  struct stat st;
  return ::lstat(native.c_str(), &st) == 0;
}

// Runs a program (never a shell) and gives at most maxBytes of its standard
// output; "" when it cannot be started, fails or outlives the time limit.
std::string RunCapture(const std::vector<std::string>& args, std::size_t maxBytes, int timeoutMs) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return "";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int rc = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(fds[1]);
  if (rc != 0) {
    ::close(fds[0]);
    return "";
  }
  std::string out;
  bool timedOut = false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  char buf[4096];
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0) {
      timedOut = true;
      break;
    }
    pollfd p{fds[0], POLLIN, 0};
    const int pr = ::poll(&p, 1, static_cast<int>(left));
    if (pr < 0 && errno == EINTR) continue;
    if (pr <= 0) {
      timedOut = pr == 0;
      break;
    }
    const ssize_t n = ::read(fds[0], buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    if (out.size() < maxBytes)
      out.append(buf, std::min<std::size_t>(static_cast<std::size_t>(n), maxBytes - out.size()));
  }
  ::close(fds[0]);
  if (timedOut) ::kill(pid, SIGKILL);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (timedOut || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return "";
  return out;
}

std::string Trim(const std::string& s) {
  std::size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return s.substr(b, e - b);
}

std::vector<std::string> SplitColon(const std::string& s) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t c = s.find(':', start);
    parts.push_back(s.substr(start, c == std::string::npos ? std::string::npos : c - start));
    if (c == std::string::npos) break;
    start = c + 1;
  }
  return parts;
}

std::string EnvOr(const char* name, const std::string& fallback) {
  const char* v = std::getenv(name);
  return (v && *v) ? std::string(v) : fallback;
}

// The XDG data folders, most important first.
std::vector<std::string> DataDirs() {
  std::vector<std::string> dirs;
  const std::string home = EnvOr("HOME", "");
  const std::string dataHome = EnvOr("XDG_DATA_HOME", home.empty() ? "" : home + "/.local/share");
  if (!dataHome.empty()) dirs.push_back(dataHome);
  for (const auto& d : SplitColon(EnvOr("XDG_DATA_DIRS", "/usr/local/share:/usr/share")))
    if (!d.empty()) dirs.push_back(d);
  return dirs;
}

std::string ReadSmallFile(const std::string& path) {
  // System tables are small; a larger file is no table of ours.
  constexpr std::int64_t kLimit = 8 * 1024 * 1024;
  const std::int64_t size = FileSizeOf(path);
  if (size <= 0 || size > kLimit) return "";
  try {
    return ReadFileString(path);
  } catch (const std::exception&) {
    return "";
  }
}

template <typename F>
void ForEachLine(const std::string& text, F f) {
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    f(text.substr(start, end - start));
    start = end + 1;
  }
}

// The content type registered for an extension ("" when none): the shared
// MIME glob tables first, then the classic mime.types table.
std::string MimeTypeForExtension(const std::string& ext) {
  const std::string bare = ext[0] == '.' ? ext.substr(1) : ext;
  if (bare.empty()) return "";
  const std::string glob = "*." + bare;
  std::string best;
  int bestWeight = -1;
  for (const auto& dir : DataDirs()) {
    ForEachLine(ReadSmallFile(dir + "/mime/globs2"), [&](const std::string& line) {
      if (line.empty() || line[0] == '#') return;
      const auto parts = SplitColon(line);
      if (parts.size() < 3 || !EqualsIC(parts[2], glob)) return;
      const int weight = std::atoi(parts[0].c_str());
      if (weight > bestWeight) {
        bestWeight = weight;
        best = parts[1];
      }
    });
    if (!best.empty()) return best;
  }
  ForEachLine(ReadSmallFile("/etc/mime.types"), [&](const std::string& line) {
    if (!best.empty() || line.empty() || line[0] == '#') return;
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < line.size()) {
      while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
      const std::size_t s = i;
      while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
      if (i > s) words.push_back(line.substr(s, i - s));
    }
    for (std::size_t w = 1; w < words.size(); ++w)
      if (EqualsIC(words[w], bare)) best = words[0];
  });
  return best;
}

// The Exec line of an application's desktop entry, "" when not found.
std::string DesktopExec(const std::string& desktopId) {
  if (desktopId.empty() || desktopId.find("..") != std::string::npos) return "";
  std::vector<std::string> names{desktopId};
  // "vendor-app.desktop" may live at "vendor/app.desktop".
  std::string sub = desktopId;
  std::replace(sub.begin(), sub.end(), '-', '/');
  if (sub != desktopId) names.push_back(sub);
  for (const auto& dir : DataDirs()) {
    for (const auto& name : names) {
      const std::string text = ReadSmallFile(dir + "/applications/" + name);
      if (text.empty()) continue;
      std::string exec;
      bool inEntry = false;
      ForEachLine(text, [&](const std::string& raw) {
        const std::string line = Trim(raw);
        if (!line.empty() && line[0] == '[') {
          inEntry = line == "[Desktop Entry]";
          return;
        }
        if (inEntry && exec.empty() && line.rfind("Exec", 0) == 0) {
          const std::size_t eq = line.find('=');
          if (eq != std::string::npos && Trim(line.substr(4, eq - 4)).empty())
            exec = Trim(line.substr(eq + 1));
        }
      });
      if (!exec.empty()) return exec;
    }
  }
  return "";
}

}  // namespace

std::string NativePath(const std::string& fileName) {
  std::string p = fileName;
  std::replace(p.begin(), p.end(), '\\', '/');
  return p;
}

std::int64_t FileSizeOf(const std::string& fileName) {
  struct stat st;
  if (::stat(NativePath(fileName).c_str(), &st) != 0) return 0;
  if (!S_ISREG(st.st_mode)) return 0;
  if (::access(NativePath(fileName).c_str(), R_OK) != 0) return 0;
  return st.st_size;
}

std::int32_t SaturateSize32(std::int64_t size) {
  if (size > std::numeric_limits<std::int32_t>::max())
    return std::numeric_limits<std::int32_t>::max();
  if (size < std::numeric_limits<std::int32_t>::min())
    return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(size);
}

bool ForceDirs(const std::string& folder, bool* created) {
  if (created) *created = false;
  if (folder.empty()) return false;
  try {
    const std::string native = NativePath(folder);
    // The usual cases in one or two calls: the folder is there, or only its
    // last level is missing (every stored copy asks, twice a URL).
    struct stat st {};
    if (::stat(native.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    if (errno == ENOENT && ::mkdir(native.c_str(), 0777) == 0) {
      if (created) *created = true;
      return true;
    }
    const fs::path p(native);
    std::error_code ec;
    const bool made = fs::create_directories(p, ec);
    if (created) *created = made && !ec;
    return fs::is_directory(p, ec);
  } catch (...) {
    return false;
  }
}

bool NoOtherCopiesOfKind(const std::string& folder, const std::string& kind, bool madeNow) {
  // The folder this thread made with its last write, and that write's kind.
  thread_local std::string made;
  thread_local std::string madeKind;
  const bool none = madeNow || (!made.empty() && made == folder && !EqualsIC(madeKind, kind));
  try {
    made = madeNow ? folder : std::string();
    madeKind = madeNow ? kind : std::string();
  } catch (...) {
    made.clear();
  }
  return none;
}

std::string DirAppend(const std::string& path) {
  if (!path.empty() && (path.back() == '/' || path.back() == '\\')) return path;
  return path + "/";
}

bool IsValidPath(const std::string& fileName) {
  const std::string p = NativePath(fileName);
  if (p.empty() || p[0] != '/') return false;
  const std::size_t slash = p.rfind('/');
  // Any byte but "/" and the zero byte may stand in a name here (a home such
  // as "/home/o'neil" included); control bytes are refused, since no one types
  // them and they would garble every message that shows the name.
  for (const char c : p) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) return false;
  }
  return slash + 1 < p.size();
}

std::string GetOpenCommand(const std::string& ext) {
  if (ext.empty()) return "";
  const std::string type = MimeTypeForExtension(ext);
  if (!type.empty()) {
    const std::string id = Trim(RunCapture({"xdg-mime", "query", "default", type}, 4096, 5000));
    const std::string exec = DesktopExec(id.substr(0, id.find('\n')));
    if (!exec.empty()) return exec;
  }
  return "xdg-open";
}

void DeleteFilesByMask(const std::string& mask, const std::string& folder) {
  const std::string dir = NativePath(folder);
  DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
  if (!d) return;
  std::vector<std::string> doomed;
  while (dirent* e = ::readdir(d)) {
    const std::string name = e->d_name;
    if (name.empty() || name[0] == '.') continue;  // hidden files are left alone
    if (!MaskMatches(mask, name)) continue;
    doomed.push_back(name);
  }
  ::closedir(d);
  for (const auto& name : doomed) {
    const std::string full = DirAppend(dir) + name;
    struct stat st;
    if (::lstat(full.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    ::unlink(full.c_str());
  }
}

std::string TrueFileName(const std::string& fileName) {
  const std::string p = NativePath(fileName);
  if (p.empty()) return "";
  std::error_code ec;
  const fs::path abs = fs::absolute(fs::path(p), ec);
  if (ec) return "";
  const std::string full = abs.string();
  if (!Exists(full)) return "";
  const std::size_t slash = full.rfind('/');
  const std::string name = full.substr(slash + 1);
  if (name.empty() || name == "." || name == "..") return "";
  return full;
}

void OdometerStep(std::string& base) {
  if (base.empty()) return;
  for (;;) {
    for (std::size_t i = base.size(); i-- > 0;) {
      unsigned char c = static_cast<unsigned char>(base[i]);
      bool carry = false;
      if (c >= 'a' && c <= 'y') {
        c = c + 1;
      } else if (c == 'z') {
        c = 'a';
        carry = true;
      } else if (c >= 'A' && c <= 'Y') {
        c = c + 1;
      } else if (c == 'Z') {
        c = 'A';
        carry = true;
      } else {
        const unsigned char next = static_cast<unsigned char>(c + 1);
        if (c < 'a' && next > 'Z') {
          c = 'A';
          carry = true;
        } else {
          c = next;
        }
      }
      base[i] = static_cast<char>(c);
      if (!carry) return;
    }
    // The carry ran past the first character: the count goes on from the last.
  }
}

std::string UniqueFileName(const std::string& fileName) {
  const std::string p = NativePath(fileName);
  const std::size_t slash = p.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : p.substr(0, slash);
  const std::string name = slash == std::string::npos ? p : p.substr(slash + 1);
  const std::size_t dot = name.rfind('.');
  std::string base = dot == std::string::npos ? name : name.substr(0, dot);
  const std::string ext = dot == std::string::npos ? "" : name.substr(dot);
  long tries = 400000;
  if (base.size() < 4) {
    tries = 1;
    for (std::size_t i = 0; i < base.size(); ++i) tries *= 26;
  }
  for (long i = 0; i < tries; ++i) {
    const std::string candidate = folder + "/" + base + ext;
    if (!Exists(candidate)) return candidate;
    OdometerStep(base);
  }
  return folder + "/";
}

}  // namespace qv
