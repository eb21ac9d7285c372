#pragma once

#include <string>
#include <vector>

namespace qv {

// Opening, printing and exploring files with the desktop's programs.
// Programs are started with an argument vector (posix_spawnp on $PATH), never
// through a shell, with standard input from /dev/null.
//
// Results use the old shell's codes, so callers read them the same way:
// above 32 is success; otherwise
//   0  out of resources (the program could not be started for lack of them)
//   2  the file was not found (also: an empty name, or a name beginning with
//      "-", which the opener would take as an option and is refused)
//   3  the file's folder was not found
//   5  access to the file was denied
//   31 no program handles it (opener or printer missing, or it failed)
inline constexpr int ShellSuccess = 42;
inline constexpr int ShellOutOfResources = 0;
inline constexpr int ShellFileNotFound = 2;
inline constexpr int ShellPathNotFound = 3;
inline constexpr int ShellAccessDenied = 5;
inline constexpr int ShellNoAssociation = 31;

// Opens a file, folder or URL with the desktop's choice (xdg-open).
int ShellOpen(const std::string& target);
// Prints a file on the default printer (lp).
int ShellPrint(const std::string& file);
// Shows a folder in the desktop's file manager (xdg-open).
int ShellExplore(const std::string& folder);
// The verb form: "open", "print" or "explore" (letter case ignored); any
// other verb gives 31. An empty verb means "open".
int ShellExecute(const std::string& verb, const std::string& target);
// Starts a program with one argument (a web browser with a URL; "" starts it
// without one) for the verb "open" (or ""). A program or argument beginning
// with "-" is refused (2); a program that cannot be found gives 2. There is
// no desktop verb that prints through a program: "print" and any other verb
// give 31.
int ShellExecute(const std::string& verb, const std::string& program, const std::string& argument);

// The shell as an object, so that callers can be tested with a recording
// stub: Execute opens, prints or explores a file or folder (ShellExecute with
// a target), Start starts a program with an argument (the three-argument
// form).
class TShell {
 public:
  virtual ~TShell() = default;
  virtual int Execute(const std::string& verb, const std::string& file) = 0;
  virtual int Start(const std::string& verb, const std::string& program,
                    const std::string& argument) = 0;
};
// The desktop's shell (the functions above).
TShell& SystemShell();

// Starts argv[0] (looked up on $PATH) with the arguments and waits at most
// `waitMs` for it: the result is its exit status (0 and above), -1 when it is
// still running (it is then left to run, and reaped when it ends), or -2 - errno
// of a failed start (-2 - ENOENT when there is no such program).
int RunProgram(const std::vector<std::string>& argv, int waitMs);

// Starts the program and gives at most `maxBytes` of its standard output;
// nullopt-like false when it cannot be started, exits with a status other
// than 0, or outlives `timeoutMs` (it is then killed).
bool RunProgramCapture(const std::vector<std::string>& argv, size_t maxBytes, int timeoutMs,
                       std::string& output);

// A desktop entry that starts a program, the shortcut of this platform.
struct TDesktopEntry {
  std::string Name;     // shown to the user
  std::string Program;  // the executable's path
  std::vector<std::string> Arguments;
  std::string Description;    // shown as a tooltip ("Comment")
  std::string WorkingFolder;  // "" for none
};

// The text of the entry (Desktop Entry Specification 1.5): "Exec" quoted so
// that every argument arrives as given; "%" doubled. False when a field holds
// a control byte that the format cannot carry (a line break in a path).
bool DesktopEntryText(const TDesktopEntry& entry, std::string& text);

// Writes the entry to `path` (replacing a file there atomically, mode 0644),
// creating its folder; false on any failure.
bool WriteDesktopEntry(const TDesktopEntry& entry, const std::string& path);

}  // namespace qv
