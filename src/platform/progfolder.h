#pragma once

#include <string>

namespace qv {

// Folders the program keeps its own files in. Every result is an absolute
// path without a trailing "/", or "" when it cannot be found (no executable
// path, no home folder). Nothing here creates a folder: writers create the
// ones they write into. Each call reads the environment afresh, so a test may
// point QUENDRAVILOS_HOME at a temporary folder; not safe against a
// concurrent setenv.

// The user's home: $HOME, else the account's entry.
std::string HomeFolder();

// $XDG_CONFIG_HOME when it is absolute, else home + "/.config".
std::string ConfigHome();

// $XDG_DATA_HOME when it is absolute, else home + "/.local/share".
std::string DataHome();

// The running executable's path, and its folder.
std::string ExecutablePath();
std::string ExecutableFolder();

// Where an install put the files the program folder ships with, for an
// executable in `exeFolder`: <prefix>/share/quendravilos beside <prefix>/bin
// when that folder exists, else "" (the executable is not installed).
std::string InstalledDataFolderOf(const std::string& exeFolder);

// The program folder ("beside the executable"): $QUENDRAVILOS_HOME when set
// and not empty; else the executable's folder when it is no install's (see
// InstalledDataFolderOf) and this user may write in it (a portable install,
// or a run from the build folder); else DataHome() + "/Quendravilos".
std::string ProgramFolder();

// The download cache: ProgramFolder() + "/Cache".
std::string CacheFolder();

}  // namespace qv
