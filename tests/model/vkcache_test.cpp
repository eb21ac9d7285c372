#include "model/vkcache.h"

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

#include <sys/stat.h>
#include <sys/time.h>

#include <gtest/gtest.h>

#include "model/vkglobal.h"
#include "support/envscope.h"
#include "support/filesizelimit.h"

namespace qv {
namespace {

using test::FolderNames;
using test::ReadBytes;

namespace fs = std::filesystem;

time_t MTime(const std::string& path) {
  struct stat st {};
  stat(path.c_str(), &st);
  return st.st_mtime;
}

void MakeOld(const std::string& path) {
  timeval tv[2] = {{1000000000, 0}, {1000000000, 0}};
  ASSERT_EQ(utimes(path.c_str(), tv), 0);
}

class CacheTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Env.Set("QUENDRAVILOS_HOME", Dir);
    CreateGlobals();
  }
  void TearDown() override { FreeGlobals(); }
  test::TScratchDir Scratch;
  test::TEnvScope Env;
  std::string Dir = Scratch.Path;
};

TEST_F(CacheTest, RoundTripOfHeadersAndBody) {
  const std::string url = "http://www.example.com/dir/page.html#top";
  const std::string body("<html>\0after zero</html>", 24);
  EXPECT_EQ(CacheRoot(), Dir + "/Cache");
  EXPECT_EQ(WriteCacheFile("Data", url, body, ".html"), 1);
  EXPECT_EQ(WriteCacheFile("Head", url, "HTTP/1.1 200 OK\r\n", ".txt"), 1);
  const std::string folder = Dir + "/Cache/http/www.example.com/dir/page.html";
  EXPECT_EQ(FolderNames(folder), (std::set<std::string>{"Data.html", "Head.txt"}));

  std::string name;
  EXPECT_EQ(ReadCacheFile("Data", name, url), body);
  EXPECT_EQ(name, folder + "/Data.html");
  EXPECT_EQ(ReadCacheFile("Head", name, "http://www.example.com/dir/page.html"),
            "HTTP/1.1 200 OK\r\n");
  EXPECT_EQ(name, folder + "/Head.txt");
}

TEST_F(CacheTest, NewFileOfAKindReplacesTheOthers) {
  const std::string url = "http://h.example/a";
  const std::string folder = Dir + "/Cache/http/h.example/a";
  ASSERT_EQ(WriteCacheFile("Head", url, "old", ".htm"), 1);
  ASSERT_EQ(WriteCacheFile("Data", url, "body", ".html"), 1);
  EXPECT_EQ(WriteCacheFile("Head", url, "new", ".txt"), 1);
  EXPECT_EQ(FolderNames(folder), (std::set<std::string>{"Head.txt", "Data.html"}));
  std::string name;
  EXPECT_EQ(ReadCacheFile("Head", name, url), "new");
  // The same name again is replaced in place.
  EXPECT_EQ(WriteCacheFile("Head", url, "newer", ".txt"), 1);
  EXPECT_EQ(ReadCacheFile("Head", name, url), "newer");
  EXPECT_EQ(FolderNames(folder), (std::set<std::string>{"Head.txt", "Data.html"}));
}

TEST_F(CacheTest, AFolderMadeMomentsAgoStillLosesACopyReplaced) {
  // The folder is new for the first write, so that one looks for nothing to
  // remove; each later copy of a kind already written must still replace it.
  const std::string url = "http://h.example/fresh";
  const std::string folder = Dir + "/Cache/http/h.example/fresh";
  ASSERT_EQ(WriteCacheFile("Data", url, "one", ".htm"), 1);
  ASSERT_EQ(WriteCacheFile("Data", url, "two", ".html"), 1);
  EXPECT_EQ(FolderNames(folder), (std::set<std::string>{"Data.html"}));
  ASSERT_EQ(WriteCacheFile("Head", url, "h", ".txt"), 1);
  ASSERT_EQ(WriteCacheFile("Data", url, "three", ".gif"), 1);
  EXPECT_EQ(FolderNames(folder), (std::set<std::string>{"Data.gif", "Head.txt"}));
}

TEST_F(CacheTest, FailedWriteKeepsTheOldCopy) {
  const std::string url = "http://h.example/a";
  const std::string folder = Dir + "/Cache/http/h.example/a";
  ASSERT_EQ(WriteCacheFile("Head", url, "old headers", ".htm"), 1);
  int wrote;
  {
    test::TFileSizeLimit limit(100);
    wrote = WriteCacheFile("Head", url, std::string(1000, 'n'), ".txt");
  }
  EXPECT_EQ(wrote, 0);
  EXPECT_EQ(FolderNames(folder), (std::set<std::string>{"Head.htm"}));
  std::string name;
  EXPECT_EQ(ReadCacheFile("Head", name, url), "old headers");
  EXPECT_TRUE(FileLock->try_lock());
  FileLock->unlock();
}

TEST_F(CacheTest, NeverCachedGivesEmptyAndThePathItWouldHave) {
  std::string name = "junk";
  EXPECT_EQ(ReadCacheFile("Head", name, "http://h.example/x/y.gif"), "");
  EXPECT_EQ(name, Dir + "/Cache/http/h.example/x/y.gif/Head.txt");
  EXPECT_EQ(ReadCacheFile("Data", name, "http://h.example/x/y.gif"), "");
  EXPECT_EQ(name, Dir + "/Cache/http/h.example/x/y.gif/Data.gif");
  EXPECT_FALSE(fs::exists(Dir + "/Cache"));
}

TEST_F(CacheTest, ReadRefreshesTheTimeForPruning) {
  const std::string url = "http://h.example/p";
  ASSERT_EQ(WriteCacheFile("Data", url, "body", ".html"), 1);
  const std::string file = Dir + "/Cache/http/h.example/p/Data.html";
  MakeOld(file);
  std::string name;
  EXPECT_EQ(ReadCacheFile("Data", name, url), "body");
  EXPECT_GT(MTime(file), time(nullptr) - 60);
  EXPECT_EQ(ReadBytes(file), "body");
}

TEST_F(CacheTest, ReadersNeverSeeHalfAFile) {
  const std::string url = "http://h.example/busy";
  const std::string a(100000, 'a'), b(200000, 'b');
  ASSERT_EQ(WriteCacheFile("Data", url, a, ".html"), 1);
  std::atomic<bool> stop{false};
  std::atomic<int> bad{0};
  std::vector<std::thread> readers;
  for (int i = 0; i < 3; ++i) {
    readers.emplace_back([&] {
      std::string name;
      while (!stop) {
        std::string got = ReadCacheFile("Data", name, url);
        if (!got.empty() && got != a && got != b) ++bad;
      }
    });
  }
  for (int i = 0; i < 30; ++i) {
    EXPECT_EQ(WriteCacheFile("Data", url, i % 2 ? a : b, i % 3 ? ".html" : ".htm"), 1);
  }
  stop = true;
  for (auto& t : readers) t.join();
  EXPECT_EQ(bad, 0);
}

using TouchfileTest = CacheTest;

TEST_F(TouchfileTest, Cases) {
  const std::string missing = Dir + "/t/missing.txt";
  EXPECT_EQ(Touchfile(missing, false, true), 0);
  EXPECT_FALSE(fs::exists(missing));

  const std::string made = Dir + "/t2/sub/made.txt";
  EXPECT_EQ(Touchfile(made, true, false), 0) << "no folder, none made";
  EXPECT_EQ(Touchfile(made, true, true), 1);
  EXPECT_TRUE(fs::exists(made));
  EXPECT_EQ(fs::file_size(made), 0u);

  {
    std::ofstream out(made, std::ios::binary);
    out << "keep me";
  }
  MakeOld(made);
  EXPECT_EQ(Touchfile(made, true, false), 1);
  EXPECT_EQ(ReadBytes(made), "keep me") << "an existing file is never truncated";
  EXPECT_GT(MTime(made), time(nullptr) - 60);
  MakeOld(made);
  EXPECT_EQ(Touchfile(made, false, false), 1);
  EXPECT_GT(MTime(made), time(nullptr) - 60);

  EXPECT_EQ(Touchfile(Dir, true, false), 0) << "a folder is no file";
}

}  // namespace
}  // namespace qv
