#include "platform/progfolder.h"

#include <cstdlib>
#include <vector>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qv {

namespace {

std::string EnvText(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}

std::string WithoutTrailingSlashes(std::string p) {
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  return p;
}

std::string XdgFolder(const char* var, const char* fallbackUnderHome) {
  std::string v = EnvText(var);
  // The base-directory rules ignore a relative value.
  if (!v.empty() && v[0] == '/') return WithoutTrailingSlashes(v);
  std::string home = HomeFolder();
  if (home.empty()) return "";
  return (home == "/" ? std::string() : home) + fallbackUnderHome;
}

}  // namespace

std::string HomeFolder() {
  std::string h = EnvText("HOME");
  if (!h.empty() && h[0] == '/') return WithoutTrailingSlashes(h);
  std::vector<char> buf(16384);
  passwd pw{};
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &pw, buf.data(), buf.size(), &found) == 0 && found && found->pw_dir &&
      found->pw_dir[0] == '/')
    return WithoutTrailingSlashes(found->pw_dir);
  return "";
}

std::string ConfigHome() { return XdgFolder("XDG_CONFIG_HOME", "/.config"); }

std::string DataHome() { return XdgFolder("XDG_DATA_HOME", "/.local/share"); }

std::string ExecutablePath() {
  std::vector<char> buf(4096);
  for (;;) {
    ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
    if (n < 0) return "";
    if (static_cast<size_t>(n) < buf.size()) return std::string(buf.data(), static_cast<size_t>(n));
    if (buf.size() >= (1u << 20)) return "";
    buf.resize(buf.size() * 2);
  }
}

std::string ExecutableFolder() {
  std::string exe = ExecutablePath();
  size_t slash = exe.rfind('/');
  if (slash == std::string::npos) return "";
  return slash == 0 ? std::string("/") : exe.substr(0, slash);
}

std::string InstalledDataFolderOf(const std::string& exeFolder) {
  if (exeFolder.empty() || exeFolder == "/") return "";
  const size_t slash = exeFolder.rfind('/');
  if (slash == std::string::npos) return "";
  const std::string data = exeFolder.substr(0, slash) + "/share/quendravilos";
  struct stat st {};
  return stat(data.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? data : "";
}

std::string ProgramFolder() {
  std::string over = EnvText("QUENDRAVILOS_HOME");
  if (!over.empty()) {
    if (over[0] != '/') {
      std::vector<char> cwd(4096);
      if (!getcwd(cwd.data(), cwd.size())) return "";
      over = std::string(cwd.data()) + "/" + over;
    }
    return WithoutTrailingSlashes(over);
  }
  // An installed executable's folder is shared (and root may write even to
  // /usr/bin): the user's files never go there. Where the executable lies,
  // and whether it was installed, stays so while it runs; the cache asks
  // for this folder on every item.
  static const std::string exe = ExecutableFolder();
  static const bool installed = !exe.empty() && !InstalledDataFolderOf(exe).empty();
  if (!exe.empty() && !installed && access(exe.c_str(), W_OK) == 0) return exe;
  std::string data = DataHome();
  if (data.empty()) return "";
  return data + "/Quendravilos";
}

std::string CacheFolder() {
  std::string p = ProgramFolder();
  if (p.empty()) return "";
  return (p == "/" ? std::string() : p) + "/Cache";
}

}  // namespace qv
