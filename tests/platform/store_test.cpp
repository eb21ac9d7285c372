#include "platform/store.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "support/envscope.h"

namespace qv {
namespace {

using test::ReadBytes;
using test::WriteBytes;

namespace fs = std::filesystem;

class ValueFileTest : public ::testing::Test {
 protected:
  test::TScratchDir Scratch;
  std::string Dir = Scratch.Path, Path = Scratch / "1.0";
};

TEST_F(ValueFileTest, MissingFileLosesWritesAndReadsNothing) {
  TValueFile f(Path);
  EXPECT_FALSE(f.Exists());
  EXPECT_FALSE(f.WriteString("Email", "a@b"));
  EXPECT_FALSE(f.WriteInteger("DailyTime", 5));
  EXPECT_FALSE(f.WriteBool("UseModem", true));
  EXPECT_FALSE(f.WriteBinary("SchedualTypes", "ab"));
  EXPECT_FALSE(fs::exists(Path));
  EXPECT_EQ(f.ReadString("Email"), std::nullopt);
  EXPECT_EQ(f.ReadInteger("DailyTime"), std::nullopt);
}

TEST_F(ValueFileTest, RoundTripsEveryTypeAndAwkwardBytes) {
  TValueFile f(Dir + "/a/b/1.0");
  ASSERT_TRUE(f.Create());
  EXPECT_EQ(fs::status(Dir + "/a/b/1.0").permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  struct TStrCase {
    std::string Name, Value;
  } strs[] = {
      {"Empty", ""},
      {"Blanks kept", "  x  "},
      {"Lines", "a\r\nb\nc\td"},
      {"Backslashes", "C:\\dir\\x.mpj \\n not a newline"},
      {"High bytes", "caf\xe9 \xff\x80"},
      {"Zero byte", std::string("a\0b", 3)},
      {"name=with=equals", "v=w"},
      {"name with\nnewline", "x"},
  };
  for (const auto& c : strs) ASSERT_TRUE(f.WriteString(c.Name, c.Value)) << c.Name;
  ASSERT_TRUE(f.WriteInteger("Min", INT32_MIN));
  ASSERT_TRUE(f.WriteInteger("Max", INT32_MAX));
  ASSERT_TRUE(f.WriteBool("Yes", true));
  ASSERT_TRUE(f.WriteBool("No", false));
  const std::string bin("\x00\x01\xfe\xff", 4);
  ASSERT_TRUE(f.WriteBinary("Bin", bin));
  ASSERT_TRUE(f.WriteBinary("NoBytes", ""));

  for (const auto& c : strs) EXPECT_EQ(f.ReadString(c.Name), c.Value) << c.Name;
  EXPECT_EQ(f.ReadInteger("Min"), INT32_MIN);
  EXPECT_EQ(f.ReadInteger("Max"), INT32_MAX);
  EXPECT_EQ(f.ReadBool("Yes"), true);
  EXPECT_EQ(f.ReadBool("No"), false);
  EXPECT_EQ(f.ReadBinary("Bin"), bin);
  EXPECT_EQ(f.ReadBinary("NoBytes"), "");
  // Names are exact: the registry's letter-case folding is not copied, the
  // program always spells a name one way.
  EXPECT_EQ(f.ReadInteger("max"), std::nullopt);

  ASSERT_TRUE(f.WriteInteger("Max", 7));
  EXPECT_EQ(f.ReadInteger("Max"), 7);
}

TEST_F(ValueFileTest, TypesAreKeptApart) {
  TValueFile f(Path);
  ASSERT_TRUE(f.Create());
  ASSERT_TRUE(f.WriteString("S", "1"));
  ASSERT_TRUE(f.WriteInteger("I", 1));
  ASSERT_TRUE(f.WriteBool("B", true));
  ASSERT_TRUE(f.WriteBinary("X", "1"));
  EXPECT_EQ(f.ReadInteger("S"), std::nullopt);
  EXPECT_EQ(f.ReadBool("S"), std::nullopt);
  EXPECT_EQ(f.ReadBinary("S"), std::nullopt);
  EXPECT_EQ(f.ReadString("I"), std::nullopt);
  EXPECT_EQ(f.ReadBool("I"), std::nullopt);
  EXPECT_EQ(f.ReadInteger("B"), std::nullopt);
  EXPECT_EQ(f.ReadString("X"), std::nullopt);
  // A write of another type replaces the value, as the registry does.
  ASSERT_TRUE(f.WriteInteger("S", 9));
  EXPECT_EQ(f.ReadString("S"), std::nullopt);
  EXPECT_EQ(f.ReadInteger("S"), 9);
}

TEST_F(ValueFileTest, DamagedLinesReadAsMissingAndSurviveRewrites) {
  const std::string damaged =
      "# comment\n"
      "string Good=ok\n"
      "integer Big=99999999999\n"
      "integer Text=12a\n"
      "boolean Maybe=yes\n"
      "binary Odd=abc\n"
      "binary NotHex=zz\n"
      "string BadEscape=a\\q\n"
      "string Cut=ends in \\x4\n"
      "float F=1.5\n"
      "noequals\n"
      "\x01\x02\xff garbage\n"
      "string Crlf=edited\r\n"
      "string Last=no newline";
  WriteBytes(Path, damaged);
  TValueFile f(Path);
  EXPECT_EQ(f.ReadString("Good"), "ok");
  EXPECT_EQ(f.ReadString("Crlf"), "edited");
  EXPECT_EQ(f.ReadString("Last"), "no newline");
  EXPECT_EQ(f.ReadInteger("Big"), std::nullopt);
  EXPECT_EQ(f.ReadInteger("Text"), std::nullopt);
  EXPECT_EQ(f.ReadBool("Maybe"), std::nullopt);
  EXPECT_EQ(f.ReadBinary("Odd"), std::nullopt);
  EXPECT_EQ(f.ReadBinary("NotHex"), std::nullopt);
  EXPECT_EQ(f.ReadString("BadEscape"), std::nullopt);
  EXPECT_EQ(f.ReadString("Cut"), std::nullopt);

  ASSERT_TRUE(f.WriteString("New", "v"));
  std::string after = ReadBytes(Path);
  EXPECT_EQ(after, damaged + "\nstring New=v\n");
}

TEST_F(ValueFileTest, RandomBytesNeverCrash) {
  std::string junk;
  unsigned x = 12345;
  for (int i = 0; i < 20000; ++i) {
    x = x * 1103515245 + 12345;
    junk += static_cast<char>(x >> 16);
  }
  WriteBytes(Path, junk);
  TValueFile f(Path);
  EXPECT_EQ(f.ReadString("Email"), std::nullopt);
  EXPECT_TRUE(f.WriteString("Email", "a"));
  EXPECT_EQ(f.ReadString("Email"), "a");
}

TEST_F(ValueFileTest, RewriteIsAtomicAndPrivate) {
  WriteBytes(Path, "string A=1\n");
  chmod(Path.c_str(), 0644);
  struct stat before {};
  ASSERT_EQ(stat(Path.c_str(), &before), 0);
  TValueFile f(Path);
  ASSERT_TRUE(f.WriteString("ProxyPW", "secret"));
  struct stat after {};
  ASSERT_EQ(stat(Path.c_str(), &after), 0);
  EXPECT_NE(before.st_ino, after.st_ino) << "rewritten in place, not replaced";
  EXPECT_EQ(after.st_mode & 0777, 0600u);
  int entries = 0;
  for (auto& e : fs::directory_iterator(Dir)) {
    (void)e;
    ++entries;
  }
  EXPECT_EQ(entries, 1) << "temporary file left behind";
}

TEST_F(ValueFileTest, FailedRewriteKeepsOldFile) {
  const std::string old = "string A=" + std::string(100, 'a') + "\n";
  WriteBytes(Path, old);
  TValueFile f(Path);
  // A file-size limit below the new content makes the temporary file's write
  // fail part-way, as a full disk would.
  struct sigaction ign {
  }, prev{};
  ign.sa_handler = SIG_IGN;
  sigaction(SIGXFSZ, &ign, &prev);
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  rlimit small = saved;
  small.rlim_cur = 150;
  setrlimit(RLIMIT_FSIZE, &small);
  bool wrote = f.WriteString("B", std::string(200, 'b'));
  setrlimit(RLIMIT_FSIZE, &saved);
  sigaction(SIGXFSZ, &prev, nullptr);

  EXPECT_FALSE(wrote);
  EXPECT_EQ(ReadBytes(Path), old);
  int entries = 0;
  for (auto& e : fs::directory_iterator(Dir)) {
    (void)e;
    ++entries;
  }
  EXPECT_EQ(entries, 1) << "temporary file left behind";
}

TEST_F(ValueFileTest, OversizedFileReadsEmptyAndIsNeverRewritten) {
  {
    std::ofstream out(Path, std::ios::binary);
    out << "string A=1\n";
  }
  fs::resize_file(Path, TValueFile::MaxFileSize + 1);
  TValueFile f(Path);
  EXPECT_EQ(f.ReadString("A"), std::nullopt);
  EXPECT_FALSE(f.WriteString("A", "2"));
  EXPECT_EQ(fs::file_size(Path), TValueFile::MaxFileSize + 1);
}

TEST_F(ValueFileTest, FolderInPlaceOfFileIsNoKey) {
  fs::create_directory(Path);
  TValueFile f(Path);
  EXPECT_FALSE(f.Exists());
  EXPECT_FALSE(f.WriteString("A", "1"));
  EXPECT_EQ(f.ReadString("A"), std::nullopt);
}

TEST(StoreFileForKey, MapsKeyPathsUnderConfigHome) {
  test::TEnvScope env;
  env.Set("XDG_CONFIG_HOME", "/cfg");
  struct {
    const char* Key;
    const char* Want;
  } cases[] = {
      {"Software\\Quorvane Software\\Quendravilos\\1.0", "/cfg/Quorvane Software/Quendravilos/1.0"},
      {"SOFTWARE\\Maker\\P", "/cfg/Maker/P"},
      {"\\Software\\\\Maker\\P\\", "/cfg/Maker/P"},
      {"Maker\\Software", "/cfg/Maker/Software"},
      {"Software\\..\\x", ""},
      {"Software\\.", ""},
      {"Software\\a/b", ""},
      {"Software", ""},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(StoreFileForKey(c.Key), c.Want) << c.Key;
}

}  // namespace
}  // namespace qv
