#include "model/syshelpers.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "model/vkfile.h"
#include "platform/shell.h"

namespace qv {

std::string ShellExecuteErrorText(int code) {
  if (code > 32) return "";
  switch (code) {
    case 0:
      return "The operating system is out of memory or resources.";
    case 2:
      return "The specified file was not found.";
    case 3:
      return "The specified path was not found.";
    case 5:
      return "The operating system denied access to the specified file.";
    case 8:
      return "There was not enough memory to complete the operation.";
    case 11:
      return "The .EXE file is invalid (non-Win32 .EXE or error in .EXE image).";
    case 26:
      return "A sharing violation occurred.";
    case 27:
      return "The filename association is incomplete or invalid.";
    case 28:
      return "The DDE transaction could not be completed because the request timed out.";
    case 29:
      return "The DDE transaction failed.";
    case 30:
      return "The DDE transaction could not be completed because other DDE transactions were "
             "being processed.";
    case 31:
      return "There is no application associated with the given filename extension.";
    case 32:
      return "The specified dynamic-link library was not found.";
    default:
      return "Unknown Shell Execute error";
  }
}

namespace {

// Blanks separate arguments; a double quote starts or ends a stretch in
// which blanks belong to the argument; "" inside quotes is an empty argument.
std::vector<std::string> SplitArguments(const std::string& text) {
  std::vector<std::string> out;
  std::string cur;
  bool inArg = false, quoted = false;
  for (char c : text) {
    if (c == '"') {
      quoted = !quoted;
      inArg = true;
    } else if (!quoted && (c == ' ' || c == '\t')) {
      if (inArg) out.push_back(cur);
      cur.clear();
      inArg = false;
    } else {
      cur += c;
      inArg = true;
    }
  }
  if (inArg) out.push_back(cur);
  return out;
}

std::mutex ShowerMutex;
TMessageShower Shower;  // guarded by ShowerMutex; empty: standard error

bool MaskMatches(const std::string& name, const std::string& mask) {
  if (StrWildCard(name, mask)) return true;
  // "*.*" and "Data.*" also take names without any extension, as file masks
  // always have.
  return mask.size() >= 2 && mask.compare(mask.size() - 2, 2, ".*") == 0 &&
         name.find('.') == std::string::npos &&
         StrWildCard(name, std::string_view(mask).substr(0, mask.size() - 2));
}

bool OldEnough(const struct stat& st, double days) {
  if (days == 0) return true;
  double age = std::difftime(std::time(nullptr), st.st_mtime);
  return age > days * 86400.0;
}

std::vector<std::string> EntryNames(int dirFd) {
  std::vector<std::string> names;
  int dup = fcntl(dirFd, F_DUPFD_CLOEXEC, 0);
  if (dup < 0) return names;
  DIR* d = fdopendir(dup);
  if (!d) {
    close(dup);
    return names;
  }
  while (dirent* e = readdir(d)) {
    std::string n = e->d_name;
    if (n != "." && n != "..") names.push_back(std::move(n));
  }
  closedir(d);
  return names;
}

// Deletes the aged regular files of an open folder that match the mask;
// subfolders are handed to `onFolder`. False when a deletion failed.
template <class TOnFolder>
bool DeleteInFolder(int dirFd, const std::string& mask, double days, TOnFolder onFolder) {
  bool ok = true;
  for (const auto& name : EntryNames(dirFd)) {
    struct stat st {};
    if (fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (S_ISDIR(st.st_mode)) {
      if (!onFolder(name)) ok = false;
      continue;
    }
    // Links, devices and pipes stay; the folder then stays too.
    if (!S_ISREG(st.st_mode) || !MaskMatches(name, mask)) continue;
    if (OldEnough(st, days) && unlinkat(dirFd, name.c_str(), 0) != 0) ok = false;
  }
  return ok;
}

// Deep enough for any stored tree (names are cut at 245 characters), shallow
// enough that the open folders never run out of descriptors.
constexpr int MaxTreeDepth = 200;

bool DeleteTreeAt(int parentFd, const std::string& name, double days, int depth) {
  if (depth > MaxTreeDepth) return false;
  int fd = openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = DeleteInFolder(fd, "*", days, [&](const std::string& sub) {
    return DeleteTreeAt(fd, sub, days, depth + 1);
  });
  close(fd);
  if (unlinkat(parentFd, name.c_str(), AT_REMOVEDIR) != 0) ok = false;
  return ok;
}

}  // namespace

void CreateShortcut(const std::string& target, const std::string& linkFile,
                    const std::string& description, const std::string& arguments,
                    int /*showCommand*/, const std::string& workingFolder) {
  std::string path = NativePath(linkFile);
  std::string name = path.substr(path.rfind('/') + 1);
  size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  TDesktopEntry entry{name, NativePath(target), SplitArguments(arguments), description,
                      NativePath(workingFolder)};
  // The old shell link did not report a failed save; a shortcut the user
  // believes is in place but is not would silently stop the schedule.
  if (!WriteDesktopEntry(entry, path))
    throw EOleError("Error creating IShellLink object for file shortcut");
}

void SetMessageShower(TMessageShower shower) {
  std::lock_guard<std::mutex> hold(ShowerMutex);
  Shower = std::move(shower);
}

void ShowMessageText(const std::string& text) {
  TMessageShower s;
  {
    std::lock_guard<std::mutex> hold(ShowerMutex);
    s = Shower;
  }
  if (s)
    s(text);
  else
    std::fprintf(stderr, "%s\n", text.c_str());
}

void ShowErrorAdvice(const std::exception& e) {
  ShowMessageText(e.what());
  ShowMessageText(ErrorAdviceText);
}

bool DeleteAgedFiles(const std::string& mask, double days) {
  std::string native = NativePath(mask);
  size_t slash = native.rfind('/');
  std::string folder = slash == std::string::npos ? "." : native.substr(0, slash == 0 ? 1 : slash);
  std::string pattern = slash == std::string::npos ? native : native.substr(slash + 1);
  bool ok = true;
  int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    ok = DeleteInFolder(fd, pattern, days, [](const std::string&) { return true; });
    close(fd);
  }
  if (rmdir(folder.c_str()) != 0) ok = false;
  return ok;
}

bool DeleteDirTree(const std::string& folder, double days) {
  std::string native = NativePath(folder);
  while (native.size() > 1 && native.back() == '/') native.pop_back();
  if (native.empty()) return false;
  // The folder named is taken as given, a link to it included; nothing
  // below it is followed.
  int fd = open(native.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = DeleteInFolder(fd, "*", days,
                           [&](const std::string& sub) { return DeleteTreeAt(fd, sub, days, 1); });
  close(fd);
  if (rmdir(native.c_str()) != 0) ok = false;
  return ok;
}

int JnStrToInt(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool neg = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) neg = text[i++] == '-';
  if (i == text.size()) return 0;
  int64_t v = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return 0;
    v = v * 10 + (text[i] - '0');
    if (v > int64_t{INT32_MAX} + 1) return 0;
  }
  if (neg) v = -v;
  if (v > INT32_MAX || v < INT32_MIN) return 0;
  return static_cast<int>(v);
}

bool IsImageFile(std::string_view name) {
  size_t dot = name.rfind('.');
  size_t sep = name.find_last_of("/\\:");
  if (dot == std::string_view::npos || (sep != std::string_view::npos && sep > dot)) return false;
  std::string ext = LowerCaseAscii(name.substr(dot));
  return ext == ".gif" || ext == ".jpe" || ext == ".jpeg" || ext == ".jpg" || ext == ".png";
}

}  // namespace qv
