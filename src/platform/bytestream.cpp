#include "platform/bytestream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/atomicfile.h"

namespace qv {

void TStringByteStream::Write(const char* data, size_t n) {
  if (n == 0) return;
  if (FLimit != 0 && (FPos > FLimit || n > FLimit - FPos))
    throw EByteStreamError("Stream size limit reached");
  if (FPos + n > FData.size()) FData.resize(FPos + n);
  std::memcpy(&FData[FPos], data, n);
  FPos += n;
}

size_t TStringByteStream::Read(char* data, size_t n) {
  if (FPos >= FData.size()) return 0;
  n = std::min(n, FData.size() - FPos);
  std::memcpy(data, FData.data() + FPos, n);
  FPos += n;
  return n;
}

void TStringByteStream::Seek(int64_t position) {
  if (position < 0) throw EByteStreamError("Invalid stream position");
  FPos = static_cast<size_t>(position);
}

void TStringByteStream::SetSize(int64_t size) {
  if (size < 0 || (FLimit != 0 && static_cast<uint64_t>(size) > FLimit))
    throw EByteStreamError("Invalid stream size");
  FData.resize(static_cast<size_t>(size));
  if (FPos > FData.size()) FPos = FData.size();
}

std::string TStringByteStream::TakeString() {
  std::string s = std::move(FData);
  FData.clear();
  FPos = 0;
  return s;
}

namespace {
std::string SysText(const std::string& what, const std::string& name) {
  return what + " " + name + ": " + std::strerror(errno);
}
}  // namespace

TFileByteStream::TFileByteStream(const std::string& fileName, TMode mode, int64_t limit)
    : FLimit(limit), FName(fileName) {
  int flags = O_CLOEXEC;
  switch (mode) {
    case fmCreate:
      flags |= O_RDWR | O_CREAT | O_TRUNC;
      break;
    case fmOpenReadWrite:
      flags |= O_RDWR;
      break;
    case fmOpenRead:
      flags |= O_RDONLY;
      break;
  }
  FFd = ::open(fileName.c_str(), flags, 0644);
  if (FFd < 0) throw EByteStreamError(SysText("Cannot open file", fileName));
}

TFileByteStream::~TFileByteStream() {
  if (FFd >= 0) ::close(FFd);
}

void TFileByteStream::Close() {
  if (FFd < 0) return;
  const int fd = FFd;
  FFd = -1;
  // Linux releases the descriptor even when close() fails (EINTR included),
  // so it is never closed twice; the error still means lost data.
  if (::close(fd) != 0) throw EByteStreamError(SysText("Cannot close file", FName));
}

void TFileByteStream::Write(const char* data, size_t n) {
  if (FFd < 0) throw EByteStreamError("File is closed: " + FName);
  if (FLimit > 0 &&
      (FPos > FLimit || static_cast<uint64_t>(n) > static_cast<uint64_t>(FLimit - FPos)))
    throw EByteStreamError("Stream size limit reached");
  while (n > 0) {
    ssize_t w = ::pwrite(FFd, data, n, FPos);
    if (w < 0) {
      if (errno == EINTR) continue;
      throw EByteStreamError(SysText("Cannot write file", FName));
    }
    data += w;
    n -= static_cast<size_t>(w);
    FPos += w;
  }
}

size_t TFileByteStream::Read(char* data, size_t n) {
  if (FFd < 0) throw EByteStreamError("File is closed: " + FName);
  for (;;) {
    ssize_t r = ::pread(FFd, data, n, FPos);
    if (r < 0) {
      if (errno == EINTR) continue;
      throw EByteStreamError(SysText("Cannot read file", FName));
    }
    FPos += r;
    return static_cast<size_t>(r);
  }
}

int64_t TFileByteStream::Size() const {
  struct stat st {};
  if (FFd < 0 || ::fstat(FFd, &st) != 0) return 0;
  return st.st_size;
}

void TFileByteStream::Seek(int64_t position) {
  if (position < 0) throw EByteStreamError("Invalid stream position");
  FPos = position;
}

void TFileByteStream::SetSize(int64_t size) {
  if (FFd < 0) throw EByteStreamError("File is closed: " + FName);
  if (size < 0 || ::ftruncate(FFd, size) != 0)
    throw EByteStreamError(SysText("Cannot resize file", FName));
  if (FPos > size) FPos = size;
}

TFileOnFirstWrite::TFileOnFirstWrite(std::string fileName, bool makeFolders, int64_t limit)
    : FName(std::move(fileName)), FMakeFolders(makeFolders), FLimit(limit) {}

TFileByteStream& TFileOnFirstWrite::File() {
  if (!FFile) {
    if (FMakeFolders) {
      const size_t slash = FName.rfind('/');
      if (slash != std::string::npos && slash > 0 && !MakeFolderChain(FName.substr(0, slash), 0777))
        throw EByteStreamError(SysText("Cannot make the folder of", FName));
    }
    FFile = std::make_unique<TFileByteStream>(FName, TFileByteStream::fmCreate, FLimit);
  }
  return *FFile;
}

void TFileOnFirstWrite::Write(const char* data, size_t n) {
  if (n > 0) File().Write(data, n);
}

size_t TFileOnFirstWrite::Read(char* data, size_t n) { return FFile ? FFile->Read(data, n) : 0; }

void TFileOnFirstWrite::Seek(int64_t position) {
  if (FFile || position != 0) File().Seek(position);
}

void TFileOnFirstWrite::SetSize(int64_t size) {
  if (FFile || size != 0) File().SetSize(size);
}

void TFileOnFirstWrite::Close() { File().Close(); }

}  // namespace qv
