#include "model/streamext.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <unistd.h>

#include "support/filesizelimit.h"
#include "support/scratchdir.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

std::string Bytes(std::initializer_list<int> b) {
  std::string s;
  for (int c : b) s.push_back(static_cast<char>(c));
  return s;
}

// A stream that accepts only `Budget` bytes in all, as a full disk would.
class TShortStream : public TMemoryStream {
 public:
  explicit TShortStream(std::size_t budget) : Budget(budget) {}
  std::size_t Write(const void* buffer, std::size_t count) override {
    const std::size_t n = std::min(count, Budget);
    Budget -= n;
    return n == 0 ? 0 : TMemoryStream::Write(buffer, n);
  }
  std::size_t Budget;
};

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const EInOutError& e) {
    return e.what();
  }
  return "(no error)";
}

TEST(StreamRecords, StringRoundTripsKeepEveryByte) {
  const std::vector<std::pair<const char*, std::string>> cases = {
      {"empty", ""},
      {"plain", "http://www.example.com/a/b.html"},
      {"zero bytes inside", Bytes({'a', 0, 'b', 0, 0})},
      {"bytes above 0x7F", Bytes({0xE9, 0xFF, 0x80, 0x7F})},
      {"longer than a file buffer", std::string(200000, 'x') + Bytes({0})},
  };
  test::TScratchDir dir;
  for (const auto& [name, text] : cases) {
    SCOPED_TRACE(name);
    TMemoryStream m;
    WriteStreamString(m, text);
    ASSERT_EQ(m.Data().size(), text.size() + 4);
    m.Seek(0, TSeekOrigin::soBeginning);
    EXPECT_EQ(ReadStreamString(m), text);

    {
      TFileStream f(dir / "s.bin", TFileStream::TMode::fmCreate);
      WriteStreamString(f, text);
      WriteStreamByte(f, 7);
      f.Close();
    }
    TFileStream f(dir / "s.bin", TFileStream::TMode::fmOpenRead);
    EXPECT_EQ(ReadStreamString(f), text);
    EXPECT_EQ(ReadStreamByte(f), 7);
  }
}

TEST(StreamRecords, LayoutIsLittleEndianCountThenBytes) {
  TMemoryStream m;
  WriteStreamString(m, "");
  WriteStreamString(m, "ab");
  WriteStreamByte(m, 0xFE);
  WriteStreamInt32(m, -2);
  const char block[3] = {'x', 'y', 'z'};
  WriteStreamBlock(m, block, 3);
  EXPECT_EQ(m.Data(), Bytes({0,    0,    0,    0,    2, 0, 0, 0, 'a', 'b', 0xFE,
                             0xFE, 0xFF, 0xFF, 0xFF, 3, 0, 0, 0, 'x', 'y', 'z'}));
}

// string, byte, block(10), int32, string: cutting the stream anywhere before
// its end must give "Error reading file" from some record, never garbage.
TEST(StreamRecords, EveryCutPointOfASequenceIsAReadError) {
  TMemoryStream whole;
  WriteStreamString(whole, "hello");
  WriteStreamByte(whole, 1);
  const char ten[10] = {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9'};
  WriteStreamBlock(whole, ten, 10);
  WriteStreamInt32(whole, 12345);
  WriteStreamString(whole, "end");
  const std::string full = whole.Data();

  auto readAll = [](TStream& s) {
    EXPECT_EQ(ReadStreamString(s), "hello");
    ReadStreamByte(s);
    char buf[4];
    ReadStreamBlock(s, buf, 4);
    EXPECT_EQ(std::string(buf, 4), "0123");
    EXPECT_EQ(ReadStreamInt32(s), 12345);
    EXPECT_EQ(ReadStreamString(s), "end");
  };
  for (std::size_t cut = 0; cut < full.size(); ++cut) {
    SCOPED_TRACE(cut);
    TMemoryStream m(full.substr(0, cut));
    EXPECT_EQ(ErrorOf([&] { readAll(m); }), kErrorReadingFile);
  }
  TMemoryStream m(full);
  EXPECT_EQ(ErrorOf([&] { readAll(m); }), "(no error)");
}

TEST(StreamRecords, HostileCountsAreRefusedBeforeAnyAllocation) {
  struct Case {
    const char* name;
    std::string bytes;
  };
  const std::vector<Case> cases = {
      {"count -1", Bytes({0xFF, 0xFF, 0xFF, 0xFF, 'a'})},
      {"count INT32_MIN", Bytes({0, 0, 0, 0x80})},
      {"count 0x7FFFFFFF", Bytes({0xFF, 0xFF, 0xFF, 0x7F, 'a', 'b'})},
      {"count one past the data", Bytes({3, 0, 0, 0, 'a', 'b'})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TMemoryStream s1(c.bytes);
    EXPECT_EQ(ErrorOf([&] { ReadStreamString(s1); }), kErrorReadingFile);
    TMemoryStream s2(c.bytes);
    char buf[2];
    EXPECT_EQ(ErrorOf([&] { ReadStreamBlock(s2, buf, 2); }), kErrorReadingFile);
  }
}

TEST(StreamRecords, BlockIntoSmallerOrLargerBufferKeepsTheStreamInStep) {
  TMemoryStream m;
  const char ten[10] = {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j'};
  WriteStreamBlock(m, ten, 10);
  WriteStreamBlock(m, ten, 3);
  WriteStreamString(m, "next");
  m.Seek(0, TSeekOrigin::soBeginning);

  char small[4];
  ReadStreamBlock(m, small, 4);
  EXPECT_EQ(std::string(small, 4), "abcd");
  char big[8];
  std::memset(big, 0x55, sizeof big);
  ReadStreamBlock(m, big, 8);
  EXPECT_EQ(std::string(big, 8), std::string("abc") + std::string(5, '\0'));
  EXPECT_EQ(ReadStreamString(m), "next");
}

TEST(StreamRecords, BlockSkipAcrossFileBuffers) {
  test::TScratchDir dir;
  const std::string large(300000, 'q');
  {
    TFileStream f(dir / "b.bin", TFileStream::TMode::fmCreate);
    WriteStreamString(f, "head");
    WriteStreamBlock(f, large.data(), static_cast<std::int32_t>(large.size()));
    WriteStreamString(f, "tail");
    f.Close();
  }
  TFileStream f(dir / "b.bin", TFileStream::TMode::fmOpenRead);
  EXPECT_EQ(ReadStreamString(f), "head");
  char buf[4];
  ReadStreamBlock(f, buf, 4);
  EXPECT_EQ(std::string(buf, 4), "qqqq");
  EXPECT_EQ(ReadStreamString(f), "tail");
  EXPECT_EQ(ReadStreamByte(f), 0) << "a byte read at the end gives 0";
}

TEST(StreamRecords, ShortWritesAreErrorsAtEveryPoint) {
  const std::string text = "abcdef";
  const std::size_t total = 4 + text.size();
  for (std::size_t budget = 0; budget < total; ++budget) {
    SCOPED_TRACE(budget);
    TShortStream s1(budget);
    EXPECT_EQ(ErrorOf([&] { WriteStreamString(s1, text); }), kErrorWritingFile);
    TShortStream s2(budget);
    EXPECT_EQ(ErrorOf([&] { WriteStreamBlock(s2, text.data(), 6); }), kErrorWritingFile);
  }
  TShortStream full(0);
  EXPECT_EQ(ErrorOf([&] { WriteStreamByte(full, 1); }), kErrorWritingFile);
  EXPECT_EQ(ErrorOf([&] { WriteStreamZeros(full, 200); }), kErrorWritingFile);
  TShortStream enough(total);
  EXPECT_EQ(ErrorOf([&] { WriteStreamString(enough, text); }), "(no error)");
}

TEST(FileStream, LostWritesSurfaceAtClose) {
  // Buffered bytes that the device refuses must not end in a success.
  TFileStream f("/dev/full", TFileStream::TMode::fmOpenReadWrite);
  WriteStreamString(f, "buffered, not yet written");
  EXPECT_EQ(ErrorOf([&] { f.Close(); }), kErrorWritingFile);
}

TEST(FileStream, MixedReadWriteAndSeek) {
  test::TScratchDir dir;
  TFileStream f(dir / "rw.bin", TFileStream::TMode::fmCreate);
  WriteStreamString(f, "one");
  WriteStreamString(f, "two");
  EXPECT_EQ(f.Size(), 14);
  ASSERT_EQ(f.Seek(0, TSeekOrigin::soBeginning), 0);
  EXPECT_EQ(ReadStreamString(f), "one");
  // Overwrite the second record in place after reading the first.
  WriteStreamString(f, "TWO");
  f.Seek(7, TSeekOrigin::soBeginning);
  EXPECT_EQ(ReadStreamString(f), "TWO");
  EXPECT_EQ(f.Position(), 14);
  // Moving past the end writes nothing, so the size stays.
  ASSERT_EQ(f.Seek(30, TSeekOrigin::soBeginning), 30);
  EXPECT_EQ(f.Size(), 14);
  EXPECT_EQ(f.Remaining(), 0);
  f.Close();
  EXPECT_EQ(ReadFileString(dir / "rw.bin"),
            Bytes({3, 0, 0, 0, 'o', 'n', 'e', 3, 0, 0, 0, 'T', 'W', 'O'}));
}

TEST(FileStream, OpenFailuresRaiseTheOpenError) {
  test::TScratchDir dir;
  EXPECT_THROW(TFileStream(dir / "missing", TFileStream::TMode::fmOpenRead), EFOpenError);
  EXPECT_THROW(TFileStream(dir.Path, TFileStream::TMode::fmOpenRead), EFOpenError);
  EXPECT_THROW(TFileStream(dir / "no/such/folder/x", TFileStream::TMode::fmCreate), EFOpenError);
}

TEST(WholeFiles, ReadGivesEveryByteIncludingZeros) {
  test::TScratchDir dir;
  const std::vector<std::pair<const char*, std::string>> cases = {
      {"empty", ""},
      {"zero byte in the middle", Bytes({'a', 'b', 0, 'c', 'd'})},
      {"high bytes", Bytes({0xC3, 0xA9, 0, 0xFF})},
      {"large", std::string(1 << 20, 'z')},
  };
  for (const auto& [name, text] : cases) {
    SCOPED_TRACE(name);
    WriteFileString(dir / "f.bin", text);
    EXPECT_EQ(ReadFileString(dir / "f.bin"), text);
    std::string read = "junk";
    EXPECT_TRUE(TryReadFileString(dir / "f.bin", read));
    EXPECT_EQ(read, text);
  }
}

TEST(WholeFiles, ErrorsNameTheFile) {
  test::TScratchDir dir;
  EXPECT_THROW(ReadFileString(dir / "missing.txt"), EFOpenError);
  EXPECT_THROW(ReadFileString(dir.Path), EFOpenError);
  std::string read;
  EXPECT_FALSE(TryReadFileString(dir / "missing.txt", read));
  EXPECT_FALSE(TryReadFileString(dir.Path, read)) << "a folder is no file to read";
  EXPECT_EQ(ErrorOf([] { WriteFileString("/dev/full", "x"); }),
            "Error writing file:-\n\n/dev/full");
}

TEST(WholeFiles, WriteCreatesFoldersAndReplaces) {
  test::TScratchDir dir;
  const std::string name = dir / "a/b/c/page.html";
  WriteFileString(name, "first, and longer");
  WriteFileString(name, "second");
  EXPECT_EQ(ReadFileString(name), "second");
  // Windows-form separators meet the file system as "/".
  WriteFileString(dir.Path + "\\w\\x.txt", "back");
  EXPECT_EQ(ReadFileString(dir / "w/x.txt"), "back");
}

TEST(WholeFiles, FailedRewriteKeepsTheOldContentAndMode) {
  test::TScratchDir dir;
  const std::string name = dir / "page.html";
  WriteFileString(name, "old page");
  fs::permissions(name, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  {
    test::TFileSizeLimit limit(16);
    EXPECT_EQ(ErrorOf([&] { WriteFileString(name, std::string(100, 'n')); }),
              "Error writing file:-\n\n" + name);
  }
  EXPECT_EQ(ReadFileString(name), "old page");
  WriteFileString(name, "new page");
  EXPECT_EQ(ReadFileString(name), "new page");
  EXPECT_EQ(fs::status(name).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  // Nothing but the file itself is left in the folder.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path), fs::directory_iterator{}), 1);
  // A file made read-only stays as it is (root may write it anyway).
  if (::geteuid() != 0) {
    fs::permissions(name, fs::perms::owner_read);
    EXPECT_THROW(WriteFileString(name, "third"), EFOpenError);
    EXPECT_EQ(ReadFileString(name), "new page");
  }
}

TEST(WholeFiles, AppendCreatesFileAndFolders) {
  test::TScratchDir dir;
  const std::string log = dir / "logs/deep/ConnectLog.txt";
  AppendFileString(log, "one\r\n");
  AppendFileString(log, "two\r\n");
  EXPECT_EQ(ReadFileString(log), "one\r\ntwo\r\n");
  EXPECT_TRUE(TryAppendFileString(log, "three"));
  EXPECT_EQ(ReadFileString(log), "one\r\ntwo\r\nthree");
  // Under a plain file no folder can exist: false, nothing thrown.
  EXPECT_FALSE(TryAppendFileString(log + "/inside.txt", "x"));
  EXPECT_FALSE(TryAppendFileString("/dev/full", "x"));
}

TEST(WholeFiles, AppendFileToFile) {
  test::TScratchDir dir;
  WriteFileString(dir / "src.bin", Bytes({'s', 0, 'r'}));
  AppendFileToFile(dir / "new/target.bin", dir / "src.bin");
  AppendFileToFile(dir / "new/target.bin", dir / "src.bin");
  EXPECT_EQ(ReadFileString(dir / "new/target.bin"), Bytes({'s', 0, 'r', 's', 0, 'r'}));
  EXPECT_THROW(AppendFileToFile(dir / "t2.bin", dir / "nosource"), EFOpenError);
  EXPECT_EQ(ErrorOf([&] { AppendFileToFile("/dev/full", dir / "src.bin"); }), kErrorCopyingFile);

  // A file appended to itself is copied once, as it was when the copy began;
  // the limit stands in for a disk that an endless copy would fill.
  test::TFileSizeLimit limit(1 << 20);
  AppendFileToFile(dir / "src.bin", dir / "src.bin");
  EXPECT_EQ(ReadFileString(dir / "src.bin"), Bytes({'s', 0, 'r', 's', 0, 'r'}));
}

}  // namespace
}  // namespace qv
