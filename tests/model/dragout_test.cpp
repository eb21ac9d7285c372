#include "model/dragout.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "model/dropbytes.h"
#include "model/vkglobal.h"
#include "model/vkurllist.h"
#include "support/scratchdir.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

std::string Read(const std::string& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

struct DragOutTest : ::testing::Test {
  test::TScratchDir Dir;
  std::string Root = Dir / "web";
  std::string Put(const std::string& rel, const std::string& bytes) {
    return Dir.Write("web/" + rel, bytes);
  }
};

TEST_F(DragOutTest, FilesGoOutUnderReadableNamesAndComeBack) {
  const std::string page = Put("http/h/p.html/Data.html", "page");
  const std::string bare = Put("http/h/d/Data", "no extension");
  const std::vector<std::string> urls = {"http://h/p.html", "http://h/none.html", "http://h/d/"};
  EXPECT_TRUE(AnyStoredCopy(Root, urls));
  EXPECT_FALSE(AnyStoredCopy(Root, {"http://h/none.html"}));

  std::vector<TDragOutCopy> copies;
  const auto paths = RenameCopiesForDrag(Root, urls, copies);
  ASSERT_EQ(paths.size(), 3u);
  EXPECT_EQ(paths[0], Root + "/http/h/p.html/p.html");
  EXPECT_EQ(paths[1], "");
  EXPECT_EQ(paths[2], Root + "/http/h/d/d");
  // The empty entry does not cut the file list short.
  EXPECT_EQ(ReadDropFilesBlock(BuildDropFilesBlock("", paths)),
            (std::vector<std::string>{paths[0], paths[2]}));
  EXPECT_FALSE(fs::exists(page));

  RenameCopiesBack(copies);
  EXPECT_TRUE(copies.empty());
  EXPECT_EQ(Read(page), "page");
  EXPECT_EQ(Read(bare), "no extension");  // "Data", not "Data.html" or "Data."
  EXPECT_FALSE(fs::exists(paths[0]));
  EXPECT_FALSE(fs::exists(paths[2]));
}

TEST_F(DragOutTest, ANewerCopyWrittenMeanwhileIsNeverReplaced) {
  const std::string page = Put("http/h/p.html/Data.html", "old");
  std::vector<TDragOutCopy> copies;
  const auto paths = RenameCopiesForDrag(Root, {"http://h/p.html"}, copies);
  Put("http/h/p.html/Data.html", "newer download");
  RenameCopiesBack(copies);
  EXPECT_EQ(Read(page), "newer download");
  EXPECT_EQ(Read(paths[0]), "old");
}

TEST_F(DragOutTest, TextDragOutTouchesNothingButRenamedCopies) {
  // Without a mirror folder the names are URLs, which are relative paths
  // under the working folder: a folder named like one stays where it is.
  const std::string cwd = fs::current_path();
  fs::current_path(Dir.Path);
  fs::create_directories("http:/h");
  std::ofstream("http:/h/x") << "mine";
  TVkURLList list;
  SetLocalWebDir("");
  std::vector<TDragOutCopy> copies;
  const auto names = DragOutNames(list, {"http://h/x", "http:/h/x"}, copies);
  EXPECT_EQ(names, (std::vector<std::string>{"http://h/x", "http:/h/x"}));
  EXPECT_TRUE(copies.empty());
  RenameCopiesBack(copies);
  EXPECT_EQ(Read("http:/h/x"), "mine");
  fs::current_path(cwd);

  // With one, the stored copy is renamed and recorded.
  Put("http/h/q.html/Data.html", "q");
  SetLocalWebDir(Root);
  const auto named = DragOutNames(list, {"http://h/q.html"}, copies);
  SetLocalWebDir("");
  EXPECT_EQ(named[0], Root + "/http/h/q.html/q.html");
  ASSERT_EQ(copies.size(), 1u);
  RenameCopiesBack(copies);
  EXPECT_EQ(Read(Root + "/http/h/q.html/Data.html"), "q");
}

}  // namespace
}  // namespace qv
