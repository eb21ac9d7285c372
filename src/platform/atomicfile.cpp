#include "platform/atomicfile.h"

#include <cerrno>
#include <vector>

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

bool WriteFileAtomic(const std::string& path, std::string_view content, mode_t mode, bool sync) {
  if (path.empty() || path.back() == '/') return false;
  size_t slash = path.rfind('/');
  std::string dir = slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
  std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  std::string tmp = (dir == "/" ? std::string() : dir) + "/." + base + ".XXXXXX";
  std::vector<char> name(tmp.begin(), tmp.end());
  name.push_back('\0');
  int fd = mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = fchmod(fd, mode) == 0 && WriteAll(fd, content) && (!sync || fsync(fd) == 0);
  ok = (close(fd) == 0) && ok;
  if (ok) ok = rename(name.data(), path.c_str()) == 0;
  if (!ok) {
    unlink(name.data());
    return false;
  }
  int dfd = sync ? open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
  if (dfd >= 0) {
    fsync(dfd);  // makes the rename durable; the data is already safe
    close(dfd);
  }
  return true;
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
