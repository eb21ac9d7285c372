#pragma once
// The stored copies of URLs (each URL's "Data" file in the local mirror tree):
// writing one, opening and printing one with the desktop's programs (or the
// URL in the web browser when there is none), copying the copies of selected
// URLs into a folder the user picks, opening their folders, and renaming a
// copy to a readable name while it is dragged out.
//
// SaveLocalCopy runs on worker threads and takes FileLock for its file
// operations; everything else runs on the user-interface thread. Paths given
// back are file-system names ("/" separated).

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "model/prompter.h"
#include "platform/shell.h"

namespace qv {

// The copy window as the copy runs see it; the file-copy window implements
// it, TPlainFileCopier copies without one.
class TFileCopier {
 public:
  virtual ~TFileCopier() = default;
  // A run of `totalText` files begins.
  virtual void Start(const std::string& totalText) = 0;
  // Copies one file (CopyFileOver). False when the run was cancelled: nothing
  // was copied. Raises EInOutError on a failed copy.
  virtual bool CopyOneFile(const std::string& source, const std::string& target) = 0;
  // The run ended (also after a failure or a cancel).
  virtual void Finish() = 0;
};

// Copies the source file's bytes to target. The copy is written to a
// temporary file beside the target and renamed over it, so a failed copy
// leaves an existing target as it was, and a link at the target is replaced,
// never written through. A target that is the source itself (the same file
// under any name) is left alone: the result is then false. Raises EInOutError
// "Error copying file" when the source cannot be read whole or the target
// cannot be written. onSize, when given, gets the source's size before the
// bytes are copied.
bool CopyFileOver(const std::string& source, const std::string& target,
                  const std::function<void(std::int64_t size)>& onSize = {});

// Copies straight through CopyFileOver and records the run.
class TPlainFileCopier : public TFileCopier {
 public:
  void Start(const std::string& totalText) override;
  bool CopyOneFile(const std::string& source, const std::string& target) override;
  void Finish() override;

  bool Cancelled = false;
  bool Idle = true;
  std::vector<std::string> Starts;                          // total texts
  std::vector<std::pair<std::string, std::string>> Copies;  // source, target
};

// What the local-copy operations need of the rest of the program. The main
// window keeps one for the run; the two folders remember the user's last
// target folder for copies of root-grid rows and of list items.
struct TLocalCopyEnv {
  TPrompter* Prompter = nullptr;  // questions and messages; none: every question is declined
  TShell* Shell = nullptr;        // none: the desktop's shell
  // Arms the dial-up connection with the "Use modem" flag and makes sure a
  // connection is up; false when there is none. Unset: always connected.
  std::function<bool(bool useModem)> EnsureConnected;
  // The open command of an extension (GetOpenCommand unless replaced).
  std::function<std::string(const std::string& ext)> OpenCommand;
  std::string GridCopyFolder;
  std::string ListCopyFolder;
};

// Writes the text as the URL's stored file of that kind and extension under
// root, creating its folders. The new file is written whole first; only then
// are the URL's other files of the kind ("Data.htm" when "Data.html" was
// written) deleted, never a partial download waiting for its resume (".tmp",
// ".tm2"). False when the file could not be written: what was stored stays.
bool SaveLocalCopy(const std::string& root, const std::string& kind, const std::string& url,
                   const std::string& text, const std::string& ext);

// True when opening the file could run a program: an extension that runs
// (".exe", ".reg", ".desktop", ".sh", ".run", ".appimage", ".jar", ".py",
// ".pl", ".bin"; letter case ignored) or an execute bit.
bool IsRiskyToOpen(const std::string& file);

// Opens the URL's stored copy when `local` is set and there is one (asking
// first when IsRiskyToOpen), else the URL in the web browser after making
// sure of a connection. The shell's result, or 0 when nothing was started
// (declined, not connected). A failure of the shell shows its text and the
// file or URL; a URL beginning with "-" is never handed to a program.
int OpenLocalCopy(const std::string& root, const std::string& url, bool useModem, bool local,
                  TLocalCopyEnv& env);
// The same, printing: risky copies are refused silently (0).
int PrintLocalCopy(const std::string& root, const std::string& url, bool useModem, bool local,
                   TLocalCopyEnv& env);

// Renames the URL's stored copy to its folder's own name, keeping its
// extension ("h/d/p.html/Data.html" -> "h/d/p.html/p.html", "h/d/Data.htm"
// -> "h/d/d.htm") and gives the new name; "" when there is no stored copy.
// A file or link already of the new name is deleted first; when a folder has
// the name, or the rename fails, the copy keeps its name and that is given.
// With original, the copy's name before the rename ("" without a copy).
std::string RenameLocalCopy(const std::string& root, const std::string& url,
                            std::string* original = nullptr);

// Copies the stored copies of the selected URLs (in the given order) into a
// folder the user picks (starting at the remembered folder), each named after
// its URL's folder with the copy's extension. An existing target is
// overwritten only after the question (Yes, No, Cancel, All). The copy window
// shows the run and is finished on every path; a failed copy raises
// EInOutError after it. The list form does nothing without a selection and
// first starts at the settings' local mirror folder.
void CopyGridSelectionTo(const std::string& root, const std::vector<std::string>& urls,
                         TLocalCopyEnv& env, TFileCopier& copier);
void CopyListSelectionTo(const std::string& root, const std::vector<std::string>& urls,
                         TLocalCopyEnv& env, TFileCopier& copier);

// Opens (or, with explore, shows in the file manager) the folder of each
// selected URL's stored copy. Errors are not reported.
void OpenGridSelectionFolders(const std::string& root, const std::vector<std::string>& urls,
                              bool explore, TLocalCopyEnv& env);
void OpenListSelectionFolders(const std::string& root, const std::vector<std::string>& urls,
                              bool explore, TLocalCopyEnv& env);

}  // namespace qv
