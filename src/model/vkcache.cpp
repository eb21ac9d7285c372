#include "model/vkcache.h"

#include <exception>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "model/streamext.h"
#include "model/strutils.h"
#include "model/tvurlutils.h"
#include "model/vkfile.h"
#include "model/vkglobal.h"
#include "platform/atomicfile.h"
#include "platform/progfolder.h"

namespace qv {

namespace {

std::string FolderOf(const std::string& native) {
  size_t slash = native.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : native.substr(0, slash);
}

// The stored files of one kind: "Data", or "Data." + any extension, letter
// case ignored, as the layout finds them.
bool IsFileOfKind(const std::string& name, const std::string& kind) {
  if (name.size() < kind.size() || CompareStrippedIC(name.substr(0, kind.size()), kind, "") != 0)
    return false;
  return name.size() == kind.size() || name[kind.size()] == '.';
}

// Deletes the plain files of the folder that are of `kind`, but `keep`. The
// folder is read without FileLock, as a local copy's is; each deletion takes
// it.
void DeleteOtherFilesOfKind(const std::string& folder, const std::string& kind,
                            const std::string& keep) {
  std::vector<std::string> doomed;
  if (DIR* d = opendir(folder.c_str())) {
    while (dirent* e = readdir(d)) {
      std::string name = e->d_name;
      if (name != keep && IsFileOfKind(name, kind)) doomed.push_back(name);
    }
    closedir(d);
  }
  for (const auto& name : doomed) {
    std::string full = folder + "/" + name;
    TFileLockHold hold;
    struct stat st {};
    if (lstat(full.c_str(), &st) == 0 && S_ISREG(st.st_mode)) unlink(full.c_str());
  }
}

}  // namespace

std::string CacheRoot() { return CacheFolder(); }

int WriteCacheFile(const std::string& kind, const std::string& url, const std::string& content,
                   const std::string& extension) {
  std::string root = CacheRoot();
  if (root.empty() || kind.empty()) return 0;
  std::string path = URLToLocalPath(root, url, kind, extension);
  if (path.empty()) return 0;
  std::string native = NativePath(path);
  std::string folder = FolderOf(native);
  bool fresh = false;
  if (!ForceDirs(folder, &fresh)) return 0;
  const bool alone = NoOtherCopiesOfKind(folder, kind, fresh);
  std::string name = native.substr(native.rfind('/') + 1);

  // A cache may lose its newest entries in a crash, so no flush to disk; it
  // must never hold half a file under a finished name. Not under FileLock:
  // the bytes go to a temporary file of their own and one rename puts them
  // in place, so no reader sees a part of them, and holding the lock through
  // the write made every exploring thread wait for every other one's.
  if (!WriteFileAtomic(native, content, 0644, false)) return 0;
  // A folder this thread has just made holds no other copy to remove.
  if (!alone) DeleteOtherFilesOfKind(folder, kind, name);
  return 1;
}

std::string ReadCacheFile(const std::string& kind, std::string& fileName, const std::string& url) {
  fileName.clear();
  std::string root = CacheRoot();
  if (root.empty()) return "";
  std::string path = URLToLocalPath(root, url, kind, "");
  if (path.empty()) return "";
  fileName = NativePath(path);

  // Read outside FileLock: a copy is only ever replaced whole by a rename,
  // and an open file stays readable if another thread removes its name.
  // A URL the cache never held is the usual answer, so no exception for it.
  std::string text;
  if (!TryReadFileString(fileName, text)) return "";
  TFileLockHold hold;
  Touchfile(fileName, false, false);
  return text;
}

int Touchfile(const std::string& fileName, bool create, bool makeFolders) {
  std::string native = NativePath(fileName);
  if (native.empty()) return 0;
  if (makeFolders) ForceDirs(FolderOf(native));
  // Opened for writing without truncation: only the time changes. Non-blocking
  // so that a pipe of that name cannot hang the caller.
  int flags = O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | (create ? O_CREAT : 0);
  int fd = open(native.c_str(), flags, 0644);
  if (fd < 0) return 0;
  bool ok = futimens(fd, nullptr) == 0;
  close(fd);
  return ok ? 1 : 0;
}

}  // namespace qv
