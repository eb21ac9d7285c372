#include "platform/bytestream.h"

#include <limits.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/scratchdir.h"

namespace qv {
namespace {

// The descriptor this process holds open on path; -1 when none.
int OpenDescriptorOf(const std::string& path) {
  const std::string want = std::filesystem::canonical(path).string();
  for (const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) {
    char target[PATH_MAX];
    const ssize_t n = ::readlink(e.path().c_str(), target, sizeof target - 1);
    if (n <= 0) continue;
    if (std::string(target, static_cast<size_t>(n)) == want)
      return std::stoi(e.path().filename().string());
  }
  return -1;
}

// A local file system reports no deferred write error at close(); closing
// the descriptor behind the stream's back makes close() fail the way a
// network file system's deferred error would.
TEST(FileByteStreamTest, ErrorAtCloseIsRaised) {
  test::TScratchDir dir;
  const std::string name = dir / "f.bin";
  TFileByteStream f(name, TFileByteStream::fmCreate);
  f.Write("data", 4);
  const int fd = OpenDescriptorOf(name);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::close(fd), 0);
  EXPECT_THROW(f.Close(), EByteStreamError);
  EXPECT_NO_THROW(f.Close());  // closed once: nothing left to report
}

TEST(FileByteStreamTest, GoodCloseIsQuiet) {
  test::TScratchDir dir;
  TFileByteStream f(dir / "f.bin", TFileByteStream::fmCreate);
  f.Write("data", 4);
  EXPECT_NO_THROW(f.Close());
  EXPECT_EQ(test::ReadBytes(dir / "f.bin"), "data");
}

// A peer can make a limited file hold its limit and no more: the write that
// would pass it raises and leaves the file as it was.
TEST(FileByteStreamTest, LimitRefusesTheWritePastIt) {
  test::TScratchDir dir;
  TFileByteStream f(dir / "f.bin", TFileByteStream::fmCreate, 6);
  f.Write("abcd", 4);
  f.Write("ef", 2);
  EXPECT_THROW(f.Write("g", 1), EByteStreamError);
  f.Seek(2);
  EXPECT_THROW(f.Write("xyzw0", 5), EByteStreamError);
  f.Close();
  EXPECT_EQ(test::ReadBytes(dir / "f.bin"), "abcdef");
}

}  // namespace
}  // namespace qv
