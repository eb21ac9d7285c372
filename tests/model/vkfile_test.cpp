#include "model/vkfile.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "model/jnmaths.h"
#include "model/streamext.h"
#include "support/envscope.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

TEST(FileSize, SixtyFourBitsAndSaturatedForTheRecord) {
  test::TScratchDir dir;
  EXPECT_EQ(FileSizeOf(dir / "missing"), 0);
  EXPECT_EQ(FileSizeOf(dir.Path), 0);
  WriteFileString(dir / "five", "12345");
  EXPECT_EQ(FileSizeOf(dir / "five"), 5);
  // A sparse 5 GiB file takes no disk space but overflows 32 bits.
  const std::int64_t big = 5LL << 30;
  const int fd = ::open((dir / "big").c_str(), O_CREAT | O_WRONLY, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::ftruncate(fd, big), 0);
  ::close(fd);
  EXPECT_EQ(FileSizeOf(dir / "big"), big);
  EXPECT_EQ(SaturateSize32(big), 2147483647);
  EXPECT_EQ(SaturateSize32(2147483647), 2147483647);
  EXPECT_EQ(SaturateSize32(-1), -1);
}

TEST(Folders, ForceDirsReportsByResult) {
  test::TScratchDir dir;
  EXPECT_TRUE(ForceDirs(dir / "a/b/c"));
  EXPECT_TRUE(fs::is_directory(dir / "a/b/c"));
  EXPECT_TRUE(ForceDirs(dir / "a/b/c")) << "an existing folder is success";
  EXPECT_TRUE(ForceDirs(dir.Path + "\\w1\\w2"));
  EXPECT_TRUE(fs::is_directory(dir / "w1/w2"));
  WriteFileString(dir / "file", "x");
  EXPECT_FALSE(ForceDirs(dir / "file/sub"));
  EXPECT_FALSE(ForceDirs(dir / "file"));
  EXPECT_FALSE(ForceDirs(""));

  // Whether the call made the folder itself: its callers skip looking in a
  // folder that cannot hold anything yet.
  const std::vector<std::tuple<std::string, bool, bool>> made = {
      {dir / "n1", true, true},               // only the last level missing
      {dir / "n1", true, false},              // there already
      {dir / "n2/deeper/still", true, true},  // parents missing too
      {dir / "file/sub", false, false},       // a file in the way
  };
  for (const auto& [folder, result, created] : made) {
    SCOPED_TRACE(folder);
    bool c = !created;
    EXPECT_EQ(ForceDirs(folder, &c), result);
    EXPECT_EQ(c, created);
  }
}

TEST(Paths, DirAppend) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", "/"},
      {"/a", "/a/"},
      {"/a/", "/a/"},
      {"C:\\x\\", "C:\\x\\"},
      {"/home/u/TvWeb", "/home/u/TvWeb/"}};
  for (const auto& [in, out] : cases) EXPECT_EQ(DirAppend(in), out) << in;
}

TEST(Paths, IsValidPath) {
  struct Case {
    const char* name;
    bool valid;
  };
  const std::vector<Case> cases = {
      {"/home/u/MirrorProjects/x.mpj", true},
      {"/x.mpj", true},
      {"/home/u\\MirrorProjects\\NoName.mpj", true},
      {"", false},
      {"x.mpj", false},
      {"dir/x.mpj", false},
      {"/home/u/", false},
      {"/", false},
      // Every name the file system takes, apart from control bytes.
      {"/home/o'neil/MirrorProjects/x.mpj", true},
      {"/a/it's.mpj", true},
      {"/a?b/x*.mpj", true},
      {"/a/x<y>.mpj", true},
      {"/a/\"q\".mpj", true},
      {"/a|b/x.mpj", true},
      {"/home/j\xc3\xbcrgen/x.mpj", true},
      {"/a/x\ny.mpj", false},
      {"/a\tb/x.mpj", false},
      {"/a/x\x7f.mpj", false},
      {"/a/x\x1b.mpj", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsValidPath(c.name), c.valid) << c.name;
  EXPECT_FALSE(IsValidPath(std::string("/a/x\0y.mpj", 10)));
}

TEST(Masks, DeleteFilesByMaskMatchesTheOldPlatformsWay) {
  struct Case {
    const char* mask;
    std::set<std::string> left;
  };
  const std::vector<std::string> files = {"Data",     "Data.htm", "DATA.TXT", "Data.tmp",
                                          "Head.txt", "Datum.x",  ".Data.htm"};
  const std::vector<Case> cases = {
      {"Data.*", {"Head.txt", "Datum.x", ".Data.htm", "Data.d"}},
      {"Head.*", {"Data", "Data.htm", "DATA.TXT", "Data.tmp", "Datum.x", ".Data.htm", "Data.d"}},
      {"*.txt", {"Data", "Data.htm", "Data.tmp", "Datum.x", ".Data.htm", "Data.d"}},
      {"Dat?.*", {"Head.txt", "Datum.x", ".Data.htm", "Data.d"}},
      {"Data", {"Data.htm", "DATA.TXT", "Data.tmp", "Head.txt", "Datum.x", ".Data.htm", "Data.d"}},
      {"Nothing.*",
       {"Data", "Data.htm", "DATA.TXT", "Data.tmp", "Head.txt", "Datum.x", ".Data.htm", "Data.d"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mask);
    test::TScratchDir dir;
    for (const auto& f : files) WriteFileString(dir / f, "x");
    ASSERT_TRUE(ForceDirs(dir / "Data.d"));  // a folder is never deleted
    DeleteFilesByMask(c.mask, dir.Path);
    EXPECT_EQ(test::FolderNames(dir.Path), c.left);
  }
  DeleteFilesByMask("*", "/no/such/folder");  // nothing to do, nothing thrown
}

TEST(Names, TrueFileName) {
  test::TScratchDir dir;
  WriteFileString(dir / "Proj.mpj", "");
  EXPECT_EQ(TrueFileName(dir / "Proj.mpj"), dir / "Proj.mpj");
  EXPECT_EQ(TrueFileName(dir / "missing.mpj"), "");
  EXPECT_EQ(TrueFileName(""), "");
  // A bare name from the command line is resolved against the current
  // folder, never taken as a name at the root.
  const fs::path old = fs::current_path();
  fs::current_path(dir.Path);
  EXPECT_EQ(TrueFileName("Proj.mpj"), dir / "Proj.mpj");
  fs::current_path(old);
}

TEST(Names, OdometerSteps) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"AAAA", "AAAB"}, {"AAAZ", "AABA"}, {"AZZZ", "BAAA"}, {"ZZ", "AB"},
      {"az", "ba"},     {"zz", "ab"},     {"aZ", "bA"},     {"A9", "A:"},
      {"A@", "AA"},     {"A_", "BA"},     {"", ""},
  };
  for (const auto& [in, out] : cases) {
    std::string s = in;
    OdometerStep(s);
    EXPECT_EQ(s, out) << in;
  }
}

TEST(Names, UniqueFileName) {
  test::TScratchDir dir;
  EXPECT_EQ(UniqueFileName(dir / "AAAA.jpg"), dir / "AAAA.jpg") << "a free name comes back";
  WriteFileString(dir / "AAAA.jpg", "");
  WriteFileString(dir / "AAAB.jpg", "");
  EXPECT_EQ(UniqueFileName(dir / "AAAA.jpg"), dir / "AAAC.jpg");
  EXPECT_EQ(UniqueFileName(dir.Path + "\\AAAA.jpg"), dir / "AAAC.jpg");
  WriteFileString(dir / "AAAZ", "");
  EXPECT_EQ(UniqueFileName(dir / "AAAZ"), dir / "AABA");
  // A one-letter base has 26 candidates; with all taken only the folder is left.
  for (char c = 'A'; c <= 'Z'; ++c) WriteFileString(dir / (std::string(1, c) + ".x"), "");
  EXPECT_EQ(UniqueFileName(dir / "Q.x"), dir.Path + "/");
  // Independent of the current folder.
  const fs::path old = fs::current_path();
  fs::current_path("/");
  EXPECT_EQ(UniqueFileName(dir / "AAAA.jpg"), dir / "AAAC.jpg");
  fs::current_path(old);
}

// GetOpenCommand asks xdg-mime; a stand-in on PATH answers for it here.
class OpenCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFileString(
        Dir / "bin/xdg-mime",
        "#!/bin/sh\n[ \"$1 $2 $3\" = \"query default text/html\" ] && echo viewer.desktop\n"
        "exit 0\n");
    ::chmod((Dir / "bin/xdg-mime").c_str(), 0755);
    WriteFileString(Dir / "data/mime/globs2",
                    "# comment\n50:text/html:*.html\n50:text/html:*.htm\n50:image/png:*.png\n");
    WriteFileString(Dir / "data/applications/viewer.desktop",
                    "[Desktop Entry]\nName=Viewer\nExec=\"/opt/my viewer/bin\" --new %u\n"
                    "[Desktop Action x]\nExec=wrong\n");
    Env.Set("PATH", Dir / "bin:/usr/bin:/bin");
    Env.Set("XDG_DATA_HOME", Dir / "data");
    Env.Set("XDG_DATA_DIRS", Dir / "none");
  }
  test::TScratchDir Dir;
  test::TEnvScope Env;
};

TEST_F(OpenCommand, AnswersFromTheDesktopsDefaultApplication) {
  EXPECT_EQ(GetOpenCommand(".htm"), "\"/opt/my viewer/bin\" --new %u");
  EXPECT_EQ(GetOpenCommand(".HTML"), "\"/opt/my viewer/bin\" --new %u");
  EXPECT_EQ(GetOpenCommand(".png"), "xdg-open") << "type known, no default application";
  EXPECT_EQ(GetOpenCommand(".unknownext"), "xdg-open");
  EXPECT_EQ(GetOpenCommand(""), "");
  Env.Set("PATH", Dir / "nowhere");
  EXPECT_EQ(GetOpenCommand(".htm"), "xdg-open") << "without xdg-mime";
}

TEST(Maths, RoundHalfUpFitAspectFracPart) {
  const std::vector<std::pair<double, int>> rounds = {
      {2.5, 2}, {2.51, 3}, {-1.7, -1}, {-2.5, -2}, {0.0, 0}, {7.0, 7}, {1e300, 2147483647}};
  for (const auto& [x, r] : rounds) EXPECT_EQ(RoundHalfUp(x), r) << x;
  EXPECT_DOUBLE_EQ(FracPart(-1.25), -0.25);
  EXPECT_DOUBLE_EQ(FracPart(3.75), 0.75);
  EXPECT_FLOAT_EQ(FitAspect(200, 100, 100, 100), 0.5f) << "wide picture: width decides";
  EXPECT_FLOAT_EQ(FitAspect(100, 200, 100, 100), 0.5f) << "tall picture: height decides";
  EXPECT_FLOAT_EQ(FitAspect(50, 50, 200, 100), 2.0f);
}

}  // namespace
}  // namespace qv
