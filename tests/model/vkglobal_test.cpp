#include "model/vkglobal.h"

#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <sstream>

#include <gtest/gtest.h>

#include "model/streamext.h"
#include "model/vkurllist.h"
#include "support/scratchdir.h"

namespace qv {
namespace {

using test::ReadBytes;
using test::WriteBytes;

namespace fs = std::filesystem;

// True when another thread can take FileLock now.
bool FileLockFreeElsewhere() {
  return std::async(std::launch::async,
                    [] {
                      if (!FileLock->try_lock()) return false;
                      FileLock->unlock();
                      return true;
                    })
      .get();
}

class LockedFileTest : public ::testing::Test {
 protected:
  void SetUp() override { CreateGlobals(); }
  void TearDown() override { FreeGlobals(); }
  test::TScratchDir Scratch;
  std::string Dir = Scratch.Path;
};

TEST(Globals, CreatedAndFreed) {
  CreateGlobals();
  ASSERT_NE(FileLock, nullptr);
  ASSERT_NE(URLListLock, nullptr);
  ASSERT_NE(GlobalURLList, nullptr);
  EXPECT_EQ(GlobalURLList->Count(), 0);
  TVkURLItem item;
  item.URL = "http://h/";
  GlobalURLList->AddItem(item, false);
  // The add routine re-enters the URL-list lock through its locked wrapper.
  {
    std::lock_guard<TCriticalSection> outer(*URLListLock);
    std::lock_guard<TCriticalSection> inner(*URLListLock);
    EXPECT_EQ(GlobalURLList->Count(), 1);
  }
  FreeGlobals();
  EXPECT_EQ(FileLock, nullptr);
  EXPECT_EQ(URLListLock, nullptr);
  EXPECT_EQ(GlobalURLList, nullptr);
  FreeGlobals();  // a second free finds nothing to free
}

TEST_F(LockedFileTest, EveryPathReleasesTheLock) {
  const std::string file = Dir + "/a.txt";
  const std::string blocker = Dir + "/plain";
  WriteBytes(file, "abc");
  WriteBytes(blocker, "x");
  struct {
    const char* Name;
    std::function<void()> Run;
  } cases[] = {
      {"read", [&] { EXPECT_EQ(LockedReadFile(file), "abc"); }},
      {"read missing", [&] { EXPECT_EQ(LockedReadFile(Dir + "/none"), ""); }},
      {"read a folder", [&] { EXPECT_EQ(LockedReadFile(Dir), ""); }},
      {"write", [&] { LockedWriteFile(Dir + "/new/b.txt", "xyz"); }},
      {"write failing",
       [&] { EXPECT_THROW(LockedWriteFile(blocker + "/sub/c.txt", "x"), EInOutError); }},
      {"size", [&] { EXPECT_EQ(LockedFileSize(file), 3); }},
      {"size missing", [&] { EXPECT_EQ(LockedFileSize(Dir + "/none"), 0); }},
      {"append", [&] { EXPECT_EQ(LockedAppendFile(Dir + "/app.txt", file), 1); }},
      {"append missing source",
       [&] { EXPECT_EQ(LockedAppendFile(Dir + "/app.txt", Dir + "/none"), 0); }},
      {"append into a file as folder",
       [&] { EXPECT_EQ(LockedAppendFile(blocker + "/x", file), 0); }},
      {"delete missing", [&] { EXPECT_FALSE(LockedDeleteFile(Dir + "/none")); }},
      {"rename onto existing", [&] { EXPECT_FALSE(LockedRenameFile(file, blocker)); }},
      {"rename missing", [&] { EXPECT_FALSE(LockedRenameFile(Dir + "/none", Dir + "/n2")); }},
      {"exists", [&] { EXPECT_TRUE(LockedFileExists(file)); }},
      {"exists missing", [&] { EXPECT_FALSE(LockedFileExists(Dir + "/none")); }},
  };
  for (const auto& c : cases) {
    c.Run();
    EXPECT_TRUE(FileLockFreeElsewhere()) << c.Name;
  }
  EXPECT_EQ(ReadBytes(Dir + "/new/b.txt"), "xyz");
  EXPECT_EQ(ReadBytes(Dir + "/app.txt"), "abc");
}

TEST_F(LockedFileTest, RenameNeverReplaces) {
  WriteBytes(Dir + "/old", "old");
  WriteBytes(Dir + "/taken", "taken");
  EXPECT_FALSE(LockedRenameFile(Dir + "/old", Dir + "/taken"));
  EXPECT_EQ(ReadBytes(Dir + "/old"), "old");
  EXPECT_EQ(ReadBytes(Dir + "/taken"), "taken");
  EXPECT_TRUE(LockedRenameFile(Dir + "\\old", Dir + "\\free"));
  EXPECT_FALSE(fs::exists(Dir + "/old"));
  EXPECT_EQ(ReadBytes(Dir + "/free"), "old");
}

TEST_F(LockedFileTest, FoldersAreNotFiles) {
  fs::create_directory(Dir + "/sub");
  EXPECT_FALSE(LockedFileExists(Dir + "/sub"));
  EXPECT_FALSE(LockedDeleteFile(Dir + "/sub"));
  EXPECT_TRUE(fs::is_directory(Dir + "/sub"));
  WriteBytes(Dir + "/f", "x");
  EXPECT_TRUE(LockedDeleteFile(Dir + "/f"));
  EXPECT_FALSE(fs::exists(Dir + "/f"));
}

}  // namespace
}  // namespace qv
