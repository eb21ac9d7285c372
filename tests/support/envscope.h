#pragma once

// Environment variables changed for one test and put back afterwards, and a
// scratch folder the program takes for its home and its settings.

#include <cstdlib>
#include <map>
#include <optional>
#include <string>

#include "support/scratchdir.h"

namespace qv::test {

// Sets or removes environment variables; when it goes, every variable it
// touched gets its value from before the first change back.
class TEnvScope {
 public:
  TEnvScope() = default;
  TEnvScope(const TEnvScope&) = delete;
  TEnvScope& operator=(const TEnvScope&) = delete;

  // A null value removes the variable.
  void Set(const std::string& name, const char* value) {
    if (!Saved.count(name)) {
      const char* old = std::getenv(name.c_str());
      Saved[name] = old ? std::optional<std::string>(old) : std::nullopt;
    }
    if (value)
      ::setenv(name.c_str(), value, 1);
    else
      ::unsetenv(name.c_str());
  }
  void Set(const std::string& name, const std::string& value) { Set(name, value.c_str()); }

  ~TEnvScope() {
    for (const auto& [name, value] : Saved) {
      if (value)
        ::setenv(name.c_str(), value->c_str(), 1);
      else
        ::unsetenv(name.c_str());
    }
  }

 private:
  std::map<std::string, std::optional<std::string>> Saved;
};

// A scratch folder with the program folder at prog/ (QUENDRAVILOS_HOME) and
// the user's configuration folder at config/ (XDG_CONFIG_HOME); neither
// exists until something creates it.
class TScratchHome {
 public:
  TScratchHome() {
    Env.Set("XDG_CONFIG_HOME", Dir / "config");
    Env.Set("QUENDRAVILOS_HOME", Dir / "prog");
  }
  // Where the program's settings store lives below the configuration folder.
  std::string SettingsFile() const { return Dir / "config/Quorvane Software/Quendravilos/1.0"; }

  TScratchDir Dir;
  TEnvScope Env;  // after Dir, so the variables are put back before the folder goes
};

}  // namespace qv::test
