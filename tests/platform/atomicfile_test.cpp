#include "platform/atomicfile.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace qv
