#include "platform/atomicfile.h"

#include <cerrno>
#include <cstdio>
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

// The folder of path, and a pattern for mkostemp beside the file; false for
// a path that names no file.
bool TempPattern(const std::string& path, std::string& dir, std::vector<char>& pattern) {
  if (path.empty() || path.back() == '/') return false;
  size_t slash = path.rfind('/');
  dir = slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
  std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  std::string tmp = (dir == "/" ? std::string() : dir) + "/." + base + ".XXXXXX";
  pattern.assign(tmp.begin(), tmp.end());
  pattern.push_back('\0');
  return true;
}

void SyncFolder(const std::string& dir) {
  int dfd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    fsync(dfd);  // makes the rename durable; the data is already safe
    close(dfd);
  }
}

}  // namespace

bool WriteFileAtomic(const std::string& path, std::string_view content, mode_t mode, bool sync) {
  std::string dir;
  std::vector<char> name;
  if (!TempPattern(path, dir, name)) return false;
  int fd = mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = fchmod(fd, mode) == 0 && WriteAll(fd, content) && (!sync || fsync(fd) == 0);
  ok = (close(fd) == 0) && ok;
  if (ok) ok = rename(name.data(), path.c_str()) == 0;
  if (!ok) {
    unlink(name.data());
    return false;
  }
  if (sync) SyncFolder(dir);
  return true;
}

TAtomicFileStream::TAtomicFileStream(std::string path, mode_t mode)
    : FPath(std::move(path)), FMode(mode) {}

TAtomicFileStream::~TAtomicFileStream() {
  FFile.reset();
  if (!FTemp.empty()) unlink(FTemp.c_str());
}

TFileByteStream& TAtomicFileStream::File() {
  if (FFile) return *FFile;
  std::string dir;
  std::vector<char> name;
  if (!TempPattern(FPath, dir, name)) throw EByteStreamError("Invalid file name: " + FPath);
  int fd = mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) throw EByteStreamError("Cannot create a file beside " + FPath);
  close(fd);
  FTemp = name.data();
  FFile = std::make_unique<TFileByteStream>(FTemp, TFileByteStream::fmOpenReadWrite);
  return *FFile;
}

void TAtomicFileStream::Write(const char* data, size_t n) { File().Write(data, n); }

size_t TAtomicFileStream::Read(char* data, size_t n) { return File().Read(data, n); }

int64_t TAtomicFileStream::Size() const { return FFile ? FFile->Size() : 0; }

int64_t TAtomicFileStream::Position() const { return FFile ? FFile->Position() : 0; }

void TAtomicFileStream::Seek(int64_t position) { File().Seek(position); }

void TAtomicFileStream::SetSize(int64_t size) { File().SetSize(size); }

void TAtomicFileStream::Commit() {
  TFileByteStream& file = File();
  if (fchmodat(AT_FDCWD, FTemp.c_str(), FMode, 0) != 0)
    throw EByteStreamError("Cannot set the mode of " + FTemp);
  file.Sync();
  file.Close();
  FFile.reset();
  if (rename(FTemp.c_str(), FPath.c_str()) != 0)
    throw EByteStreamError("Cannot replace file " + FPath);
  FTemp.clear();
  std::string dir;
  std::vector<char> name;
  if (TempPattern(FPath, dir, name)) SyncFolder(dir);
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
