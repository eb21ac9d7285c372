#include "platform/atomicfile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "support/filesizelimit.h"
#include "support/scratchdir.h"

namespace qv {
namespace {

// A file written piece by piece replaces the old one only when committed;
// every other ending leaves the old bytes and no temporary file behind.
TEST(AtomicFile, OldFileSurvivesEveryEndingButACommit) {
  test::TScratchDir dir;
  const std::string path = dir.Write("f.bin", "old");
  const std::string big(1 << 20, 'x');
  const struct {
    const char* Name;
    bool Committed;
  } cases[] = {{"abort", false},
               {"destroyed", false},
               {"write past the size limit", false},
               {"commit", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    {
      TAtomicFile f;
      ASSERT_TRUE(f.Open(path, 0644));
      EXPECT_TRUE(f.Write("new "));
      if (std::string(c.Name) == "write past the size limit") {
        {
          test::TFileSizeLimit limit(4096);
          EXPECT_FALSE(f.Write(big));
        }
        EXPECT_FALSE(f.Write("more")) << "a failed file takes nothing more";
        EXPECT_FALSE(f.Commit());
      } else {
        EXPECT_TRUE(f.Write("content"));
        if (c.Committed) {
          EXPECT_TRUE(f.Commit());
        }
        if (std::string(c.Name) == "abort") f.Abort();
      }
    }
    EXPECT_EQ(test::ReadBytes(path), c.Committed ? "new content" : "old");
    EXPECT_EQ(test::FolderNames(dir.Path), std::set<std::string>{"f.bin"});
  }
  TAtomicFile nowhere;
  EXPECT_FALSE(nowhere.Open(dir / "missing/f.bin", 0644));
  EXPECT_FALSE(nowhere.Write("x"));
  EXPECT_FALSE(nowhere.Commit());
}

// What a killed replacement leaves is its own temporary file; those go, and
// nothing that only looks like one.
TEST(AtomicFile, LeftoverTemporariesOfTheNameGoAndNothingElse) {
  test::TScratchDir dir;
  const std::string path = dir.Write("p.mpj", "project");
  for (const char* name : {".p.mpj.Ab12Cd", ".p.mpj.ZZZZZZ"}) dir.Write(name, "partial");
  const std::set<std::string> kept = {"p.mpj",         ".p.mpj.Ab12C",  ".p.mpj.Ab12Cde",
                                      "p.mpj.Ab12Cd",  ".q.mpj.Ab12Cd", ".p.mpj.Ab-2Cd",
                                      ".p.mpjxAb12Cd", ".p.mpj.folder"};
  for (const std::string& name : kept)
    if (name != "p.mpj" && name != ".p.mpj.folder") dir.Write(name, "other");
  std::filesystem::create_directory(dir / ".p.mpj.folder");
  std::filesystem::create_directory(dir / ".p.mpj.FOLDER");
  RemoveLeftoverTemporaries(path);
  std::set<std::string> want = kept;
  want.insert(".p.mpj.FOLDER");
  EXPECT_EQ(test::FolderNames(dir.Path), want);
  EXPECT_EQ(test::ReadBytes(path), "project");
}

}  // namespace
}  // namespace qv
