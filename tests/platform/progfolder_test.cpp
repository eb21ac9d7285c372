#include "platform/progfolder.h"

#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "support/envscope.h"
#include "support/scratchdir.h"

namespace qv {
namespace {

TEST(ProgramFolder, OverrideWinsAndIsMadeAbsolute) {
  test::TEnvScope env;
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  struct {
    const char* Home;
    std::string Want;
  } cases[] = {
      {"/opt/qv", "/opt/qv"},
      {"/opt/qv//", "/opt/qv"},
      {"rel/dir", std::string(cwd) + "/rel/dir"},
  };
  for (const auto& c : cases) {
    env.Set("QUENDRAVILOS_HOME", c.Home);
    EXPECT_EQ(ProgramFolder(), c.Want) << c.Home;
    EXPECT_EQ(CacheFolder(), c.Want + "/Cache") << c.Home;
  }
}

TEST(ProgramFolder, WritableExecutableFolderIsThePortableInstall) {
  test::TEnvScope env;
  env.Set("QUENDRAVILOS_HOME", nullptr);
  env.Set("XDG_DATA_HOME", "/nonexistent-data");
  std::string exe = ExecutableFolder();
  ASSERT_FALSE(exe.empty());
  ASSERT_EQ(exe[0], '/');
  if (access(exe.c_str(), W_OK) == 0)
    EXPECT_EQ(ProgramFolder(), exe);
  else
    EXPECT_EQ(ProgramFolder(), "/nonexistent-data/Quendravilos");
}

TEST(ProgramFolder, AnInstalledExecutableIsKnownByItsDataFolder) {
  test::TScratchDir dir;
  std::filesystem::create_directories(dir / "usr/bin");
  std::filesystem::create_directories(dir / "usr/share/quendravilos/Help");
  std::filesystem::create_directories(dir / "build/src");
  std::filesystem::create_directories(dir / "odd/bin");
  dir.Write("odd/share/quendravilos", "a file, not the folder");
  struct {
    const char* Name;
    std::string ExeFolder;
    std::string Want;
  } cases[] = {
      {"an install", dir / "usr/bin", dir / "usr/share/quendravilos"},
      {"a build folder", dir / "build/src", ""},
      {"a file where the folder would be", dir / "odd/bin", ""},
      {"the root folder", "/", ""},
      {"no executable path", "", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(InstalledDataFolderOf(c.ExeFolder), c.Want) << c.Name;
  // The program's own test executables sit in a build folder, never an install.
  EXPECT_EQ(InstalledDataFolderOf(ExecutableFolder()), "");
}

TEST(XdgFolders, RelativeValuesAreIgnored) {
  test::TEnvScope env;
  env.Set("HOME", "/home/u/");
  struct {
    const char* Config;
    const char* Data;
    const char* WantConfig;
    const char* WantData;
  } cases[] = {
      {nullptr, nullptr, "/home/u/.config", "/home/u/.local/share"},
      {"", "", "/home/u/.config", "/home/u/.local/share"},
      {"/c/", "/d", "/c", "/d"},
      {"rel", "rel", "/home/u/.config", "/home/u/.local/share"},
  };
  for (const auto& c : cases) {
    env.Set("XDG_CONFIG_HOME", c.Config);
    env.Set("XDG_DATA_HOME", c.Data);
    EXPECT_EQ(ConfigHome(), c.WantConfig);
    EXPECT_EQ(DataHome(), c.WantData);
  }
}

}  // namespace
}  // namespace qv
