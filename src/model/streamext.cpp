#include "model/streamext.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "model/vkfile.h"
#include "platform/atomicfile.h"

namespace qv {

namespace {

constexpr std::size_t kBufSize = 64 * 1024;

[[noreturn]] void RaiseRead() { throw EInOutError(kErrorReadingFile); }
[[noreturn]] void RaiseWrite() { throw EInOutError(kErrorWritingFile); }

std::string WithName(const char* text, const std::string& fileName) {
  return std::string(text) + ":-\n\n" + fileName;
}

// Writes every byte, retrying after interruptions and partial writes.
bool WriteAll(int fd, const char* p, std::size_t n) {
  while (n > 0) {
    const ssize_t w = ::write(fd, p, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (w == 0) return false;
    p += w;
    n -= static_cast<std::size_t>(w);
  }
  return true;
}

// Reads up to n bytes, stopping only at the end of the file or an error.
std::size_t ReadFull(int fd, char* p, std::size_t n, bool* error) {
  std::size_t got = 0;
  while (got < n) {
    const ssize_t r = ::read(fd, p + got, n - got);
    if (r < 0) {
      if (errno == EINTR) continue;
      if (error) *error = true;
      break;
    }
    if (r == 0) break;
    got += static_cast<std::size_t>(r);
  }
  return got;
}

// A descriptor closed on every path; Close() reports a failing close.
class TFd {
 public:
  explicit TFd(int fd) : Fd(fd) {}
  ~TFd() {
    if (Fd >= 0) ::close(Fd);
  }
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  int Get() const { return Fd; }
  bool Close() {
    const int fd = Fd;
    Fd = -1;
    return fd < 0 || ::close(fd) == 0;
  }

 private:
  int Fd;
};

int OpenOrRaise(const std::string& fileName, int flags, bool create) {
  const std::string native = NativePath(fileName);
  int fd;
  do {
    fd = ::open(native.c_str(), flags | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  int err = errno;
  if (fd >= 0) {
    // A folder opens here but never did as a file on the old platform.
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
      ::close(fd);
      fd = -1;
      err = EISDIR;
    }
  }
  if (fd < 0) {
    throw EFOpenError(std::string(create ? "Cannot create file \"" : "Cannot open file \"") +
                      fileName + "\". " + std::strerror(err));
  }
  return fd;
}

std::string FolderOf(const std::string& fileName) {
  const std::string native = NativePath(fileName);
  const std::size_t slash = native.rfind('/');
  if (slash == std::string::npos) return "";
  return native.substr(0, slash == 0 ? 1 : slash);
}

// Replaces an existing plain file only once the new text is wholly stored
// beside it, so a full disk or a failing write leaves the old content (a
// saved page that a localising pass rewrites, say) instead of a cut one.
// False when this cannot be done (no such file, a device, a linked file,
// another user's file, a file we may not write, a folder that takes no new
// file): the caller then writes in place, or fails to, as it always did.
// Raises "Error writing file" when the new text could not be stored; the old
// file is then unchanged.
bool ReplaceWholeFile(const std::string& fileName, const std::string& text) {
  const std::string native = NativePath(fileName);
  struct stat st;
  if (::lstat(native.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1 ||
      st.st_uid != ::geteuid() || ::access(native.c_str(), W_OK) != 0)
    return false;
  const std::size_t slash = native.rfind('/');
  const std::string dir =
      slash == std::string::npos ? "." : native.substr(0, slash == 0 ? 1 : slash);
  if (::access(dir.c_str(), W_OK | X_OK) != 0) return false;
  // No fsync: a localising pass rewrites pages by the thousand; what matters
  // here is that a failed write never cuts the copy already stored.
  if (!WriteFileAtomic(native, text, st.st_mode & 07777, /*sync=*/false))
    throw EInOutError(WithName(kErrorWritingFile, fileName));
  return true;
}

}  // namespace

// --- TStream --------------------------------------------------------------

std::int64_t TStream::Remaining() {
  const std::int64_t pos = Position();
  const std::int64_t size = Size();
  if (pos < 0 || size < 0 || pos >= size) return 0;
  return size - pos;
}

// --- TMemoryStream --------------------------------------------------------

std::size_t TMemoryStream::Read(void* buffer, std::size_t count) {
  if (Pos >= Bytes.size()) return 0;
  const std::size_t n = std::min(count, Bytes.size() - Pos);
  std::memcpy(buffer, Bytes.data() + Pos, n);
  Pos += n;
  return n;
}

std::size_t TMemoryStream::Write(const void* buffer, std::size_t count) {
  if (count == 0) return 0;
  if (Pos > Bytes.size()) Bytes.resize(Pos, '\0');
  const std::size_t overlap = std::min(count, Bytes.size() - Pos);
  std::memcpy(Bytes.data() + Pos, buffer, overlap);
  Bytes.append(static_cast<const char*>(buffer) + overlap, count - overlap);
  Pos += count;
  return count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  std::int64_t base = 0;
  if (origin == TSeekOrigin::soCurrent) base = static_cast<std::int64_t>(Pos);
  if (origin == TSeekOrigin::soEnd) base = static_cast<std::int64_t>(Bytes.size());
  if ((offset > 0 && base > INT64_MAX - offset)) return -1;
  const std::int64_t target = base + offset;
  if (target < 0) return -1;
  Pos = static_cast<std::size_t>(target);
  return target;
}

// --- TFileStream ----------------------------------------------------------

TFileStream::TFileStream(const std::string& fileName, TMode mode) : Name(fileName) {
  int flags = O_RDONLY;
  if (mode == TMode::fmOpenReadWrite) flags = O_RDWR;
  if (mode == TMode::fmCreate) flags = O_RDWR | O_CREAT | O_TRUNC;
  Fd = OpenOrRaise(fileName, flags, mode == TMode::fmCreate);
  ReadOnly = mode == TMode::fmOpenRead;
  if (ReadOnly) {
    // Readers ask the size before every counted read; a file opened only for
    // reading is taken as it was when opened.
    struct stat st;
    if (::fstat(Fd, &st) == 0 && !S_ISDIR(st.st_mode)) KnownSize = st.st_size;
  }
}

TFileStream::~TFileStream() {
  if (Fd >= 0) {
    FlushBuffer();
    ::close(Fd);
  }
}

bool TFileStream::FlushBuffer() {
  if (WriteBuf.empty()) return !Failed;
  const bool ok = WriteAll(Fd, WriteBuf.data(), WriteBuf.size());
  if (ok) {
    FilePos += static_cast<std::int64_t>(WriteBuf.size());
  } else {
    Failed = true;
    // The descriptor's offset is now unknown; find it again.
    const off_t at = ::lseek(Fd, 0, SEEK_CUR);
    FilePos = at < 0 ? 0 : at;
  }
  WriteBuf.clear();
  return ok && !Failed;
}

void TFileStream::DropReadAhead() {
  if (ReadPos < ReadBuf.size()) {
    // The descriptor ran ahead of the logical position; step it back.
    const std::int64_t logical = FilePos - static_cast<std::int64_t>(ReadBuf.size() - ReadPos);
    if (::lseek(Fd, logical, SEEK_SET) >= 0) FilePos = logical;
  }
  ReadBuf.clear();
  ReadPos = 0;
}

std::size_t TFileStream::Read(void* buffer, std::size_t count) {
  if (Fd < 0 || count == 0) return 0;
  if (!WriteBuf.empty() && !FlushBuffer()) return 0;
  char* out = static_cast<char*>(buffer);
  std::size_t got = 0;
  while (got < count) {
    if (ReadPos < ReadBuf.size()) {
      const std::size_t n = std::min(count - got, ReadBuf.size() - ReadPos);
      std::memcpy(out + got, ReadBuf.data() + ReadPos, n);
      ReadPos += n;
      got += n;
      continue;
    }
    ReadBuf.clear();
    ReadPos = 0;
    const std::size_t want = count - got;
    if (want >= kBufSize) {
      const std::size_t n = ReadFull(Fd, out + got, want, nullptr);
      FilePos += static_cast<std::int64_t>(n);
      got += n;
      break;
    }
    ReadBuf.resize(kBufSize);
    const std::size_t n = ReadFull(Fd, ReadBuf.data(), kBufSize, nullptr);
    ReadBuf.resize(n);
    FilePos += static_cast<std::int64_t>(n);
    if (n == 0) break;
  }
  return got;
}

std::size_t TFileStream::Write(const void* buffer, std::size_t count) {
  if (Fd < 0 || Failed) return 0;
  if (count == 0) return 0;
  if (!ReadBuf.empty()) DropReadAhead();
  if (WriteBuf.size() + count > kBufSize && !FlushBuffer()) return 0;
  if (count >= kBufSize) {
    if (!WriteAll(Fd, static_cast<const char*>(buffer), count)) {
      Failed = true;
      const off_t at = ::lseek(Fd, 0, SEEK_CUR);
      FilePos = at < 0 ? 0 : at;
      return 0;
    }
    FilePos += static_cast<std::int64_t>(count);
    return count;
  }
  WriteBuf.append(static_cast<const char*>(buffer), count);
  return count;
}

std::int64_t TFileStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  if (Fd < 0) return -1;
  const std::int64_t logical = FilePos + static_cast<std::int64_t>(WriteBuf.size()) -
                               static_cast<std::int64_t>(ReadBuf.size() - ReadPos);
  if (origin == TSeekOrigin::soCurrent && offset == 0) return logical;
  // A forward move inside the read-ahead needs no system call.
  if (origin == TSeekOrigin::soCurrent && offset > 0 && WriteBuf.empty() &&
      static_cast<std::uint64_t>(offset) <= ReadBuf.size() - ReadPos) {
    ReadPos += static_cast<std::size_t>(offset);
    return logical + offset;
  }
  if (!WriteBuf.empty()) FlushBuffer();
  std::int64_t target = offset;
  if (origin == TSeekOrigin::soCurrent) target = logical + offset;
  ReadBuf.clear();
  ReadPos = 0;
  off_t at;
  if (origin == TSeekOrigin::soEnd) {
    at = ::lseek(Fd, offset, SEEK_END);
  } else {
    if (target < 0) {
      ::lseek(Fd, logical, SEEK_SET);
      FilePos = logical;
      return -1;
    }
    at = ::lseek(Fd, target, SEEK_SET);
  }
  if (at < 0) {
    const off_t back = ::lseek(Fd, 0, SEEK_CUR);
    FilePos = back < 0 ? 0 : back;
    return -1;
  }
  FilePos = at;
  return at;
}

std::int64_t TFileStream::Size() {
  if (Fd < 0) return 0;
  if (ReadOnly) return KnownSize;
  struct stat st;
  if (::fstat(Fd, &st) != 0) return 0;
  // Buffered bytes may end past the file's end; a position moved past the end
  // with nothing written there does not make the file longer.
  if (WriteBuf.empty()) return st.st_size;
  const std::int64_t pending_end = FilePos + static_cast<std::int64_t>(WriteBuf.size());
  return std::max<std::int64_t>(st.st_size, pending_end);
}

void TFileStream::Flush() {
  if (Fd < 0) return;
  if (!FlushBuffer()) RaiseWrite();
}

void TFileStream::Close() {
  if (Fd < 0) {
    if (Failed) RaiseWrite();
    return;
  }
  bool ok = FlushBuffer();
  const int fd = Fd;
  Fd = -1;
  if (::close(fd) != 0) ok = false;
  if (!ok) {
    Failed = true;
    RaiseWrite();
  }
}

// --- Records ---------------------------------------------------------------

namespace {

void PutLE32(unsigned char* b, std::uint32_t v) {
  b[0] = static_cast<unsigned char>(v);
  b[1] = static_cast<unsigned char>(v >> 8);
  b[2] = static_cast<unsigned char>(v >> 16);
  b[3] = static_cast<unsigned char>(v >> 24);
}

std::int32_t GetLE32(const unsigned char* b) {
  const std::uint32_t v =
      static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
      (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
  return static_cast<std::int32_t>(v);
}

// A count read from the stream: negative counts and counts larger than what
// the stream still holds are refused before anything is allocated.
std::int32_t ReadCount(TStream& stream) {
  const std::int32_t n = ReadStreamInt32(stream);
  if (n < 0) RaiseRead();
  return n;
}

}  // namespace

void WriteStreamInt32(TStream& stream, std::int32_t value) {
  unsigned char b[4];
  PutLE32(b, static_cast<std::uint32_t>(value));
  if (stream.Write(b, 4) != 4) RaiseWrite();
}

std::int32_t ReadStreamInt32(TStream& stream) {
  unsigned char b[4];
  if (stream.Read(b, 4) != 4) RaiseRead();
  return GetLE32(b);
}

void WriteStreamString(TStream& stream, const std::string& text) {
  if (text.size() > static_cast<std::size_t>(INT32_MAX)) RaiseWrite();
  WriteStreamInt32(stream, static_cast<std::int32_t>(text.size()));
  if (text.empty()) return;
  if (stream.Write(text.data(), text.size()) != text.size()) RaiseWrite();
}

std::string ReadStreamString(TStream& stream) {
  const std::int32_t n = ReadCount(stream);
  if (n == 0) return std::string();
  if (static_cast<std::int64_t>(n) > stream.Remaining()) RaiseRead();
  std::string s(static_cast<std::size_t>(n), '\0');
  if (stream.Read(s.data(), s.size()) != s.size()) RaiseRead();
  return s;
}

void WriteStreamBlock(TStream& stream, const void* buffer, std::int32_t count) {
  if (count < 0) RaiseWrite();
  WriteStreamInt32(stream, count);
  if (count == 0) return;
  if (stream.Write(buffer, static_cast<std::size_t>(count)) != static_cast<std::size_t>(count))
    RaiseWrite();
}

void ReadStreamBlock(TStream& stream, void* buffer, std::int32_t capacity) {
  const std::int32_t n = ReadCount(stream);
  const std::int32_t cap = std::max<std::int32_t>(capacity, 0);
  const std::int32_t m = std::min(n, cap);
  if (cap > 0) std::memset(buffer, 0, static_cast<std::size_t>(cap));
  if (m > 0 && stream.Read(buffer, static_cast<std::size_t>(m)) != static_cast<std::size_t>(m))
    RaiseRead();
  SkipStreamBytes(stream, static_cast<std::int64_t>(n) - m);
}

void WriteStreamByte(TStream& stream, std::uint8_t value) {
  if (stream.Write(&value, 1) != 1) RaiseWrite();
}

std::uint8_t ReadStreamByte(TStream& stream) {
  std::uint8_t b = 0;
  if (stream.Read(&b, 1) != 1) return 0;
  return b;
}

void SkipStreamBytes(TStream& stream, std::int64_t count) {
  if (count <= 0) return;
  if (count > stream.Remaining()) RaiseRead();
  if (stream.Seek(count, TSeekOrigin::soCurrent) < 0) RaiseRead();
}

void WriteStreamZeros(TStream& stream, std::size_t count) {
  static const char zeros[256] = {};
  while (count > 0) {
    const std::size_t n = std::min(count, sizeof zeros);
    if (stream.Write(zeros, n) != n) RaiseWrite();
    count -= n;
  }
}

// --- Whole files -----------------------------------------------------------

namespace {

// The whole of an open file; false for a folder (which opens on this
// platform but is no file to read) or a short or failed read.
bool ReadWholeFile(int fd, std::string& text) {
  struct stat st;
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) return false;
  const std::size_t size = static_cast<std::size_t>(st.st_size < 0 ? 0 : st.st_size);
  text.assign(size, '\0');
  bool error = false;
  const std::size_t got = size == 0 ? 0 : ReadFull(fd, text.data(), size, &error);
  return got == size && !error;
}

}  // namespace

std::string ReadFileString(const std::string& fileName) {
  TFd fd(OpenOrRaise(fileName, O_RDONLY, false));
  std::string text;
  const bool read = ReadWholeFile(fd.Get(), text);
  fd.Close();
  if (!read) throw EInOutError(WithName(kErrorReadingFile, fileName));
  return text;
}

bool TryReadFileString(const std::string& fileName, std::string& text) noexcept {
  try {
    const std::string native = NativePath(fileName);
    int raw;
    do {
      raw = ::open(native.c_str(), O_RDONLY | O_CLOEXEC);
    } while (raw < 0 && errno == EINTR);
    if (raw < 0) return false;
    TFd fd(raw);
    return ReadWholeFile(fd.Get(), text);
  } catch (...) {
    return false;
  }
}

void WriteFileString(const std::string& fileName, const std::string& text) {
  // A file that can be replaced whole has its folder already.
  if (ReplaceWholeFile(fileName, text)) return;
  const std::string folder = FolderOf(fileName);
  if (!folder.empty()) ForceDirs(folder);
  TFd fd(OpenOrRaise(fileName, O_WRONLY | O_CREAT | O_TRUNC, true));
  const bool wrote = WriteAll(fd.Get(), text.data(), text.size());
  const bool closed = fd.Close();
  if (!wrote || !closed) throw EInOutError(WithName(kErrorWritingFile, fileName));
}

void AppendFileString(const std::string& fileName, const std::string& text) {
  struct stat st;
  if (::stat(NativePath(fileName).c_str(), &st) != 0) WriteFileString(fileName, "");
  TFd fd(OpenOrRaise(fileName, O_WRONLY | O_APPEND, false));
  const bool wrote = WriteAll(fd.Get(), text.data(), text.size());
  const bool closed = fd.Close();
  if (!wrote || !closed) RaiseWrite();
}

bool TryAppendFileString(const std::string& fileName, const std::string& text) noexcept {
  try {
    AppendFileString(fileName, text);
    return true;
  } catch (...) {
    return false;
  }
}

void AppendFileToFile(const std::string& target, const std::string& source) {
  struct stat st;
  if (::stat(NativePath(target).c_str(), &st) != 0) WriteFileString(target, "");
  TFd in(OpenOrRaise(source, O_RDONLY, false));
  TFd out(OpenOrRaise(target, O_WRONLY | O_APPEND, false));
  bool ok = ::fstat(in.Get(), &st) == 0 && !S_ISDIR(st.st_mode);
  const std::int64_t size = ok ? st.st_size : 0;
  std::int64_t copied = 0;
  std::string buf(kBufSize, '\0');
  // The copy stops at the size the source had when opened: a source that is
  // the target itself, or grows while it is read, would otherwise be copied
  // until the disk is full.
  while (ok && copied < size) {
    bool error = false;
    const std::size_t want = static_cast<std::size_t>(
        std::min<std::int64_t>(size - copied, static_cast<std::int64_t>(kBufSize)));
    const std::size_t n = ReadFull(in.Get(), buf.data(), want, &error);
    if (error) ok = false;
    if (n == 0) break;
    if (!WriteAll(out.Get(), buf.data(), n)) ok = false;
    copied += static_cast<std::int64_t>(n);
  }
  in.Close();
  if (!out.Close()) ok = false;
  if (!ok || copied != size) throw EInOutError(kErrorCopyingFile);
}

}  // namespace qv
