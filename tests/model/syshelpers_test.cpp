#include "model/syshelpers.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/scratchdir.h"

namespace qv {
namespace {

using test::ReadBytes;
using test::WriteBytes;

namespace fs = std::filesystem;

void Age(const std::string& path, double days) {
  timeval tv[2];
  gettimeofday(&tv[0], nullptr);
  tv[0].tv_sec -= static_cast<time_t>(days * 86400);
  tv[1] = tv[0];
  ASSERT_EQ(lutimes(path.c_str(), tv), 0) << path;
}

class TempDirTest : public ::testing::Test {
 protected:
  test::TScratchDir Scratch;
  std::string Dir = Scratch.Path;
};

TEST(ShellExecuteErrorText, Table) {
  struct {
    int Code;
    const char* Want;
  } cases[] = {
      {33, ""},
      {42, ""},
      {0, "The operating system is out of memory or resources."},
      {2, "The specified file was not found."},
      {3, "The specified path was not found."},
      {5, "The operating system denied access to the specified file."},
      {8, "There was not enough memory to complete the operation."},
      {11, "The .EXE file is invalid (non-Win32 .EXE or error in .EXE image)."},
      {26, "A sharing violation occurred."},
      {27, "The filename association is incomplete or invalid."},
      {28, "The DDE transaction could not be completed because the request timed out."},
      {29, "The DDE transaction failed."},
      {30,
       "The DDE transaction could not be completed because other DDE transactions were being "
       "processed."},
      {31, "There is no application associated with the given filename extension."},
      {32, "The specified dynamic-link library was not found."},
      {1, "Unknown Shell Execute error"},
      {4, "Unknown Shell Execute error"},
      {-1, "Unknown Shell Execute error"},
  };
  for (const auto& c : cases) EXPECT_EQ(ShellExecuteErrorText(c.Code), c.Want) << c.Code;
}

TEST(JnStrToInt, Table) {
  struct {
    const char* Text;
    int Want;
  } cases[] = {
      {"12a", 0},
      {"-5", -5},
      {"42", 42},
      {"  7", 7},
      {"+3", 3},
      {"", 0},
      {"-", 0},
      {"7 ", 0},
      {"2147483647", 2147483647},
      {"-2147483648", -2147483647 - 1},
      {"2147483648", 0},
      {"99999999999999999999", 0},
      {"0x10", 0},
      {"1.5", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(JnStrToInt(c.Text), c.Want) << c.Text;
}

TEST(IsImageFile, Table) {
  struct {
    const char* Name;
    bool Want;
  } cases[] = {
      {"A.JPEG", true},        {"a.bmp", false},         {"x.gif", true},       {"x.Jpe", true},
      {"x.jpg", true},         {"x.PNG", true},          {"x.png.txt", false},  {"png", false},
      {"dir.jpg/file", false}, {"dir.jpg\\file", false}, {"/m/Data.jpg", true}, {"x.jpgx", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsImageFile(c.Name), c.Want) << c.Name;
}

struct TBox {
  std::string Value;
  std::string Text() const { return Value; }
  void SetText(const std::string& s) { Value = s; }
};

TEST(EditTextToList, AddsTrimmedOnceAndEmptiesTheBox) {
  TStringList list;
  TBox box{"  x "};
  EditTextToList(box, list);
  ASSERT_EQ(list.Count(), 1);
  EXPECT_EQ(list[0], "x");
  EXPECT_EQ(box.Value, "");
  box.Value = "X";
  ComboTextToList(box, list);
  EXPECT_EQ(list.Count(), 1) << "the list's own search ignores case";
  EXPECT_EQ(box.Value, "X");
  box.Value = " \t ";
  EditTextToList(box, list);
  EXPECT_EQ(list.Count(), 1);
  EXPECT_EQ(box.Value, " \t ");
}

TEST(ListItemToEdit, MovesTheItemOnlyWhenTheIndexIsInside) {
  TStringList list;
  list.Add("a");
  list.Add("b");
  TBox box{"old"};
  for (int bad : {-1, 2, 100}) {
    ListItemToEdit(list, box, bad);
    EXPECT_EQ(box.Value, "old");
    EXPECT_EQ(list.Count(), 2);
  }
  ListItemToCombo(list, box, 1);
  EXPECT_EQ(box.Value, "b");
  ASSERT_EQ(list.Count(), 1);
  EXPECT_EQ(list[0], "a");
}

TEST(ShowErrorAdvice, MessageThenAdvice) {
  std::vector<std::string> shown;
  SetMessageShower([&](const std::string& s) { shown.push_back(s); });
  ShowErrorAdvice(std::runtime_error("Access violation"));
  SetMessageShower(nullptr);
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0], "Access violation");
  EXPECT_EQ(shown[1],
            "An error has occured on your system. If you attempt to save your work you should do "
            "so immediately, then exit the application.\nBy saving your work, there is a small "
            "chance that you maybe overwritting your previously saved work with a corrupted "
            "file.\nIn this case the old session files are renamed with the file extension "
            "\".~R\" and old group files with \".~RG\"");
}

using DeleteAgedFilesTest = TempDirTest;

TEST_F(DeleteAgedFilesTest, DaysZeroEmptiesAndRemovesTheFolder) {
  std::string f = Dir + "/url";
  WriteBytes(f + "/Data.html", "x");
  WriteBytes(f + "/Head.txt", "x");
  WriteBytes(f + "/.hidden", "x");
  EXPECT_TRUE(DeleteAgedFiles(f + "/*.*", 0));
  EXPECT_FALSE(fs::exists(f));
}

TEST_F(DeleteAgedFilesTest, YoungFileKeepsTheFolder) {
  std::string f = Dir + "/url";
  WriteBytes(f + "/old.txt", "x");
  WriteBytes(f + "/young.txt", "x");
  Age(f + "/old.txt", 10);
  Age(f + "/young.txt", 1);
  EXPECT_FALSE(DeleteAgedFiles(f + "/*.*", 7));
  EXPECT_FALSE(fs::exists(f + "/old.txt"));
  EXPECT_TRUE(fs::exists(f + "/young.txt"));
}

TEST_F(DeleteAgedFilesTest, MaskLetterCaseBackslashesAndSubfolders) {
  std::string f = Dir + "/url";
  WriteBytes(f + "/Data.HTM", "x");
  WriteBytes(f + "/Data", "x");
  WriteBytes(f + "/Head.txt", "x");
  WriteBytes(f + "/sub/Data.htm", "x");
  EXPECT_FALSE(DeleteAgedFiles(f + "\\data.*", 0));
  EXPECT_FALSE(fs::exists(f + "/Data.HTM"));
  EXPECT_FALSE(fs::exists(f + "/Data")) << "a name without extension matches \"Data.*\"";
  EXPECT_TRUE(fs::exists(f + "/Head.txt"));
  EXPECT_TRUE(fs::exists(f + "/sub/Data.htm")) << "subfolders are not entered";
}

TEST_F(DeleteAgedFilesTest, LinksAreNeitherFollowedNorDeleted) {
  std::string outside = Dir + "/outside";
  WriteBytes(outside + "/keep.txt", "precious");
  std::string f = Dir + "/url";
  fs::create_directories(f);
  fs::create_symlink(outside + "/keep.txt", f + "/link.txt");
  fs::create_directory_symlink(outside, f + "/dirlink");
  EXPECT_FALSE(DeleteAgedFiles(f + "/*.*", 0));
  EXPECT_EQ(ReadBytes(outside + "/keep.txt"), "precious");
  EXPECT_TRUE(fs::is_symlink(f + "/link.txt"));
  EXPECT_TRUE(fs::is_symlink(f + "/dirlink"));
}

TEST_F(DeleteAgedFilesTest, MissingFolderIsFalse) {
  EXPECT_FALSE(DeleteAgedFiles(Dir + "/none/*.*", 0));
}

using DeleteDirTreeTest = TempDirTest;

TEST_F(DeleteDirTreeTest, AllOldTreeGoesWhole) {
  std::string root = Dir + "/Cache";
  WriteBytes(root + "/http/h/a/Data.html", "x");
  WriteBytes(root + "/http/h/a/Head.txt", "x");
  WriteBytes(root + "/http/h/Data", "x");
  WriteBytes(root + "/ftp/f/.x", "x");
  fs::create_directories(root + "/http/empty");
  for (auto& p : fs::recursive_directory_iterator(root))
    if (p.is_regular_file()) Age(p.path().string(), 40);
  EXPECT_TRUE(DeleteDirTree(root, 30));
  EXPECT_FALSE(fs::exists(root));
}

TEST_F(DeleteDirTreeTest, YoungFilesKeepTheirFoldersOnly) {
  std::string root = Dir + "/Cache";
  WriteBytes(root + "/http/old/Data.html", "x");
  WriteBytes(root + "/http/young/Data.html", "x");
  Age(root + "/http/old/Data.html", 40);
  EXPECT_FALSE(DeleteDirTree(root, 30));
  EXPECT_FALSE(fs::exists(root + "/http/old"));
  EXPECT_TRUE(fs::exists(root + "/http/young/Data.html"));
}

TEST_F(DeleteDirTreeTest, SymbolicLinksPointingOutsideAreNotFollowed) {
  std::string outside = Dir + "/home";
  WriteBytes(outside + "/documents/thesis.txt", "precious");
  Age(outside + "/documents/thesis.txt", 400);
  std::string root = Dir + "/Cache";
  WriteBytes(root + "/http/h/Data.html", "x");
  fs::create_directory_symlink(outside + "/documents", root + "/http/h/docs");
  fs::create_symlink(outside + "/documents/thesis.txt", root + "/http/thesis.txt");
  fs::create_directory_symlink("..", root + "/http/up");
  ASSERT_EQ(mkfifo((root + "/pipe").c_str(), 0600), 0);

  EXPECT_FALSE(DeleteDirTree(root, 0));
  EXPECT_EQ(ReadBytes(outside + "/documents/thesis.txt"), "precious");
  EXPECT_TRUE(fs::exists(outside + "/documents"));
  EXPECT_TRUE(fs::is_symlink(root + "/http/h/docs"));
  EXPECT_TRUE(fs::is_symlink(root + "/http/thesis.txt"));
  EXPECT_FALSE(fs::exists(root + "/http/h/Data.html"));
  EXPECT_TRUE(fs::exists(root + "/pipe"));
}

TEST_F(DeleteDirTreeTest, MissingFolderIsFalse) {
  EXPECT_FALSE(DeleteDirTree(Dir + "/none", 0));
  EXPECT_FALSE(DeleteDirTree("", 0));
}

using CreateShortcutTest = TempDirTest;

TEST_F(CreateShortcutTest, WritesADesktopEntry) {
  std::string link = Dir + "/autostart/Quendravilos.desktop";
  CreateShortcut("/opt/q/quendravilos", link, "Quendravilos scheduler", "/S \"a b\"", 1, "/opt/q");
  std::string text = ReadBytes(link);
  EXPECT_NE(text.find("\nName=Quendravilos\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\nComment=Quendravilos scheduler\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\nExec=/opt/q/quendravilos /S \"a b\"\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\nPath=/opt/q\n"), std::string::npos) << text;

  CreateShortcut("/opt/q/quendravilos", link, "", "", 1, "");
  text = ReadBytes(link);
  EXPECT_NE(text.find("\nExec=/opt/q/quendravilos\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("Path="), std::string::npos) << text;
}

TEST_F(CreateShortcutTest, FailureRaises) {
  WriteBytes(Dir + "/file", "x");
  try {
    CreateShortcut("/bin/true", Dir + "/file/x.desktop", "", "", 1, "");
    FAIL() << "no exception";
  } catch (const EOleError& e) {
    EXPECT_STREQ(e.what(), "Error creating IShellLink object for file shortcut");
  }
}

}  // namespace
}  // namespace qv
