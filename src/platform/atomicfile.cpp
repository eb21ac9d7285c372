#include "platform/atomicfile.h"

#include <cctype>
#include <cerrno>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qv {

namespace {

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    ssize_t n = write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

}  // namespace

bool TAtomicFile::Open(const std::string& path, mode_t mode) {
  Abort();
  if (path.empty() || path.back() == '/') return false;
  size_t slash = path.rfind('/');
  Folder = slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
  std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  std::string tmp = (Folder == "/" ? std::string() : Folder) + "/." + base + ".XXXXXX";
  std::vector<char> name(tmp.begin(), tmp.end());
  name.push_back('\0');
  int fd = mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) return false;
  Fd = fd;
  TempName = name.data();
  Path = path;
  Failed = false;
  if (fchmod(fd, mode) != 0) {
    const int err = errno;  // for the caller's message, past the clean-up
    Abort();
    errno = err;
    return false;
  }
  return true;
}

bool TAtomicFile::Write(std::string_view data) {
  if (Fd < 0 || Failed) return false;
  if (!WriteAll(Fd, data)) Failed = true;
  return !Failed;
}

bool TAtomicFile::Commit(bool sync) {
  if (Fd < 0) return false;
  bool ok = !Failed && (!sync || fsync(Fd) == 0);
  ok = (close(Fd) == 0) && ok;
  Fd = -1;
  if (ok) ok = rename(TempName.c_str(), Path.c_str()) == 0;
  if (!ok) {
    unlink(TempName.c_str());
    TempName.clear();
    return false;
  }
  TempName.clear();
  int dfd = sync ? open(Folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
  if (dfd >= 0) {
    fsync(dfd);  // makes the rename durable; the data is already safe
    close(dfd);
  }
  return true;
}

void TAtomicFile::Abort() {
  if (Fd >= 0) {
    close(Fd);
    Fd = -1;
  }
  if (!TempName.empty()) {
    unlink(TempName.c_str());
    TempName.clear();
  }
}

bool WriteFileAtomic(const std::string& path, std::string_view content, mode_t mode, bool sync) {
  TAtomicFile file;
  return file.Open(path, mode) && file.Write(content) && file.Commit(sync);
}

void RemoveLeftoverTemporaries(const std::string& path) {
  if (path.empty() || path.back() == '/') return;
  const size_t slash = path.rfind('/');
  const std::string folder =
      slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
  const std::string prefix =
      "." + (slash == std::string::npos ? path : path.substr(slash + 1)) + ".";
  DIR* dir = opendir(folder.c_str());
  if (!dir) return;
  std::vector<std::string> stale;
  while (const dirent* e = readdir(dir)) {
    const std::string name = e->d_name;
    // mkostemp's six letters and digits, exactly.
    if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0) continue;
    bool tail = true;
    for (size_t i = prefix.size(); i < name.size(); ++i)
      tail = tail && std::isalnum(static_cast<unsigned char>(name[i]));
    if (tail) stale.push_back((folder == "/" ? std::string() : folder) + "/" + name);
  }
  closedir(dir);
  for (const std::string& f : stale) {
    struct stat st {};
    if (lstat(f.c_str(), &st) == 0 && S_ISREG(st.st_mode)) unlink(f.c_str());
  }
}

bool MakeFolderChain(const std::string& folder, mode_t mode) {
  if (folder.empty()) return false;
  struct stat st {};
  if (stat(folder.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  size_t slash = folder.find_last_not_of('/');
  if (slash == std::string::npos) return false;
  slash = folder.rfind('/', slash);
  if (slash != std::string::npos && slash > 0 && !MakeFolderChain(folder.substr(0, slash), mode))
    return false;
  if (mkdir(folder.c_str(), mode) == 0) return true;
  return errno == EEXIST && stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace qv
