#pragma once
// What the program does before and around its windows: the command line,
// the one-instance lock, the files the program folder ships with, and the
// program's entry after main().

#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "model/prompter.h"

class QLockFile;

namespace qv {

// The process's arguments after the program name, as given (bytes).
const std::vector<std::string>& ProgramArguments();
void SetProgramArguments(std::vector<std::string> args);

// A switch: "/" and a name without a further "/" ("/S", "/B"). Paths here
// begin with "/" too, so a path to a file below a folder is never a switch.
bool IsSwitch(const std::string& arg);
// The project a start opens: when the first argument is a switch the
// second names it, else the first does; the name is taken in its spelling on
// disk (absolute), and a name of no existing file counts as none. With none,
// `storedCurrent` (the settings' "CurrentURLFile").
std::string ChooseProjectFile(const std::vector<std::string>& args,
                              const std::string& storedCurrent);
// "/B" exactly (browse for URLs after the project is loaded).
bool IsBrowseSwitch(const std::vector<std::string>& args);
// "/S" in either letter case (run the schedule).
bool IsScheduleSwitch(const std::vector<std::string>& args);

inline constexpr char kProgramTitle[] = "Quendravilos";
inline constexpr char kAnotherInstance[] = "Another instance of \"Quendravilos\" is still running";

// The lock file that marks a running instance, in the user's runtime folder
// ($XDG_RUNTIME_DIR; Qt's fallback folder without it).
std::string InstanceLockPath();

// Holds the instance lock for its lifetime. A lock left by a process that
// no longer runs is taken over.
class TInstanceLock {
 public:
  explicit TInstanceLock(const std::string& path = InstanceLockPath());
  ~TInstanceLock();
  // False when another live process holds the lock.
  bool TryLock();

 private:
  std::unique_ptr<QLockFile> Lock;
};

// Takes the lock for this run; when another instance holds it, says so and
// gives false (the program then ends with status 0, making no window).
bool AcquireInstance(TInstanceLock& lock, TPrompter& prompter);

// Where an install puts the files the program folder ships with
// (<prefix>/share/quendravilos beside <prefix>/bin), or "" when the
// executable does not sit in such a tree.
std::string InstalledDataFolder();
// What the program folder ships with.
inline constexpr const char* kShippedEntries[] = {"MirrorProjects", "Help", "Logo.svg"};
// Copies each shipped file of `from` that `to` lacks; files the user
// already has are never replaced. False when a copy failed.
bool SeedProgramFolder(const std::string& from, const std::string& to);
// Where the shipped files come from: the installed data folder, else the
// executable's folder when it holds them (a run from the build folder).
std::string ShippedFilesFolder();

// Shows an exception that reached the event loop: its message in an error
// box, "Unknown error" when it has none. The program goes on.
void ShowException(std::exception_ptr e, TPrompter& prompter);

// The program: application object, instance check, windows, event loop.
// Returns the process's exit status (0 also when another instance runs).
int ProgramMain(int& argc, char** argv);

}  // namespace qv
