#include "platform/progfolder.h"

#include <cstdlib>
#include <map>
#include <optional>

#include <unistd.h>

#include <gtest/gtest.h>

namespace qv {
namespace {

class TEnvScope {
 public:
  void Set(const char* name, const char* value) {
    if (!Saved.count(name)) {
      const char* old = std::getenv(name);
      Saved[name] = old ? std::optional<std::string>(old) : std::nullopt;
    }
    if (value)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  ~TEnvScope() {
    for (auto& [name, value] : Saved) {
      if (value)
        setenv(name.c_str(), value->c_str(), 1);
      else
        unsetenv(name.c_str());
    }
  }

 private:
  std::map<std::string, std::optional<std::string>> Saved;
};

TEST(ProgramFolder, OverrideWinsAndIsMadeAbsolute) {
  TEnvScope env;
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
  TEnvScope env;
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

TEST(XdgFolders, RelativeValuesAreIgnored) {
  TEnvScope env;
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
