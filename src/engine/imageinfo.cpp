#include "engine/imageinfo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <limits>

#include "engine/scantext.h"
#include "model/vkfile.h"
#include "platform/asciicase.h"

namespace qv {

namespace {

constexpr std::size_t kWindow = 2048;
constexpr std::int64_t kOverlap = 20;
// Frame headers sit after the metadata segments, which are small; past this
// the file is no usable JPEG and the walk stops rather than read it all.
constexpr std::int64_t kJpegWalkLimit = 64LL * 1024 * 1024;

class TFile {
 public:
  explicit TFile(const std::string& name) {
    // Non-blocking, so a named pipe cannot hang the caller; only a plain file
    // counts as opened.
    Fd = ::open(NativePath(name).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat st;
    if (Fd >= 0 && (::fstat(Fd, &st) != 0 || !S_ISREG(st.st_mode))) {
      ::close(Fd);
      Fd = -1;
    }
  }
  ~TFile() {
    if (Fd >= 0) ::close(Fd);
  }
  TFile(const TFile&) = delete;
  TFile& operator=(const TFile&) = delete;
  bool IsOpen() const { return Fd >= 0; }
  // Up to kWindow bytes at offset; the count read (0 on an error).
  std::int64_t ReadAt(std::int64_t offset, unsigned char* buf) const {
    std::size_t got = 0;
    while (got < kWindow) {
      ssize_t r = ::pread(Fd, buf + got, kWindow - got, static_cast<off_t>(offset + got));
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) break;
      got += static_cast<std::size_t>(r);
    }
    return static_cast<std::int64_t>(got);
  }

 private:
  int Fd = -1;
};

std::uint32_t Le16(const unsigned char* p) { return p[0] | (p[1] << 8); }
std::uint32_t Be16(const unsigned char* p) { return (p[0] << 8) | p[1]; }
std::uint32_t Be32(const unsigned char* p) {
  return (std::uint32_t{p[0]} << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
}

// A dimension as the 32-bit signed field holds it; a value that does not fit
// is no size at all.
std::int32_t Dimension(std::uint32_t v) {
  return v > static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max())
             ? 0
             : static_cast<std::int32_t>(v);
}

// Whether the n bytes read so far begin with sig, letter case ignored.
bool BeginsWith(const unsigned char* buf, std::int64_t n, std::string_view sig) {
  return n >= 0 && StartsWithIC(std::string_view(reinterpret_cast<const char*>(buf),
                                                 static_cast<std::size_t>(n)),
                                sig);
}

// Walks a JPEG's segments from byte 2 to its first frame header (baseline
// 0xC0 or progressive 0xC2). Every length is checked against the bytes read:
// the window moves forward until the segment it points at is inside it.
void MeasureJpeg(const TFile& file, unsigned char* buf, std::int64_t n, TTvImageInfo& info) {
  std::int64_t base = 0;  // file offset of buf[0]
  std::int64_t pos = 2;   // always < n - 20 when bytes at pos are read
  while (!(buf[pos] == 0xFF && (buf[pos + 1] == 0xC0 || buf[pos + 1] == 0xC2))) {
    pos += 2 + Be16(buf + pos + 2);
    while (pos >= n - kOverlap) {
      if (base + pos > kJpegWalkLimit) return;
      std::int64_t next = base + n - kOverlap;
      std::int64_t got = file.ReadAt(next, buf);
      if (got <= kOverlap) return;
      pos -= n - kOverlap;
      base = next;
      n = got;
    }
  }
  info.Height = Dimension(Be16(buf + pos + 5));
  info.Width = Dimension(Be16(buf + pos + 7));
}

}  // namespace

TTvImageInfo GetImageInfo(const std::string& fileName) {
  TTvImageInfo info;
  TFile file(fileName);
  if (!file.IsOpen()) return info;
  info.Ok = true;
  unsigned char buf[kWindow];
  const std::int64_t n = file.ReadAt(0, buf);
  if (n <= 0) return info;
  if (BeginsWith(buf, n, "GIF")) {
    if (n >= 10) {
      info.MimeType = "image/gif";
      info.Width = Dimension(Le16(buf + 6));
      info.Height = Dimension(Le16(buf + 8));
    }
  } else if (n >= 2 && buf[0] == 0xFF && buf[1] == 0xD8) {
    if (n > 20) {
      info.MimeType = "image/jpeg";
      MeasureJpeg(file, buf, n, info);
    }
  } else if (BeginsWith(buf, n, "\x89PNG\r\n\x1a\n")) {
    if (n > 24) {
      info.MimeType = "image/x-png";
      info.Width = Dimension(Be32(buf + 16));
      info.Height = Dimension(Be32(buf + 20));
    }
  }
  return info;
}

}  // namespace qv
