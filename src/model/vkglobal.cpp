#include "model/vkglobal.h"

#include <cerrno>
#include <cstdio>
#include <exception>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "model/streamext.h"
#include "model/vkfile.h"
#include "model/vkurllist.h"

namespace qv {

TCriticalSection* FileLock = nullptr;
TCriticalSection* URLListLock = nullptr;
TVkURLList* GlobalURLList = nullptr;

void CreateGlobals() {
  try {
    FileLock = new TCriticalSection;
    URLListLock = new TCriticalSection;
    GlobalURLList = new TVkURLList;
  } catch (...) {
    FreeGlobals();
    throw;
  }
}

void FreeGlobals() {
  delete FileLock;
  FileLock = nullptr;
  delete URLListLock;
  URLListLock = nullptr;
  delete GlobalURLList;
  GlobalURLList = nullptr;
}

std::string LockedReadFile(const std::string& fileName) {
  TFileLockHold hold;
  try {
    return ReadFileString(fileName);
  } catch (const std::exception&) {
    return "";
  }
}

void LockedWriteFile(const std::string& fileName, const std::string& text) {
  TFileLockHold hold;
  WriteFileString(fileName, text);
}

int64_t LockedFileSize(const std::string& fileName) {
  TFileLockHold hold;
  return FileSizeOf(fileName);
}

int LockedAppendFile(const std::string& target, const std::string& source) {
  TFileLockHold hold;
  try {
    AppendFileToFile(target, source);
    return 1;
  } catch (const std::exception&) {
    return 0;
  }
}

bool LockedDeleteFile(const std::string& fileName) {
  std::string native = NativePath(fileName);
  TFileLockHold hold;
  return !native.empty() && unlink(native.c_str()) == 0;
}

bool LockedRenameFile(const std::string& oldName, const std::string& newName) {
  std::string from = NativePath(oldName), to = NativePath(newName);
  TFileLockHold hold;
  if (from.empty() || to.empty()) return false;
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // A file system without the no-replace flag: the test and the rename are
  // then two steps, but both run under the lock every writer takes.
  struct stat st {};
  if (lstat(to.c_str(), &st) == 0 || errno != ENOENT) return false;
  return rename(from.c_str(), to.c_str()) == 0;
}

bool LockedFileExists(const std::string& fileName) {
  std::string native = NativePath(fileName);
  TFileLockHold hold;
  struct stat st {};
  return !native.empty() && stat(native.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace qv
