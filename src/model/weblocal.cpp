#include "model/weblocal.h"

#include <algorithm>
#include <cerrno>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "model/settings.h"
#include "model/streamext.h"
#include "model/strutils.h"
#include "model/syshelpers.h"
#include "model/tvurlutils.h"
#include "model/vkfile.h"
#include "model/vkglobal.h"
#include "platform/atomicfile.h"

namespace qv {

namespace {

constexpr std::size_t kCopyBuffer = 64 * 1024;

// The extension of a name: from its last "." after its last separator, the
// dot included; "" when there is none.
std::string FileExt(const std::string& name) {
  const std::size_t dot = name.rfind('.');
  const std::size_t sep = name.find_last_of("/\\");
  if (dot == std::string::npos || (sep != std::string::npos && dot < sep)) return "";
  return name.substr(dot);
}

// The folder of a file-system name, without its last "/"; "" for none.
std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return "";
  return path.substr(0, slash == 0 ? 1 : slash);
}

std::string LastName(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ChangeExt(const std::string& name, const std::string& ext) {
  const std::size_t dot = name.rfind('.');
  return (dot == std::string::npos ? name : name.substr(0, dot)) + ext;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (!folder.empty() && folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

bool IsPlainFile(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool EntryExists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

// The file-system name of the URL's stored body; "" when the URL has no place
// under root.
std::string BodyPath(const std::string& root, const std::string& url) {
  const std::string p = URLToLocalPath(root, url, "Data", "");
  return p.empty() ? "" : NativePath(p);
}

// The stored body when it exists as a file; "" otherwise.
std::string StoredBody(const std::string& root, const std::string& url) {
  const std::string body = BodyPath(root, url);
  return IsPlainFile(body) ? body : "";
}

TMsgAnswer AskUser(TLocalCopyEnv& env, const std::string& text, TMsgKind kind,
                   TMsgButtons buttons) {
  return env.Prompter ? env.Prompter->Ask(text, kind, buttons) : TMsgAnswer::Cancel;
}

void TellUser(TLocalCopyEnv& env, const std::string& text) {
  if (env.Prompter)
    env.Prompter->ShowMessage(text);
  else
    ShowMessageText(text);
}

// The browser program of an open command: the command up to its first blank
// outside double quotes, every double quote removed.
std::string BrowserProgram(const std::string& command) {
  std::string program;
  bool quoted = false;
  for (char c : command) {
    if (c == '"') {
      quoted = !quoted;
      continue;
    }
    if (c == ' ' && !quoted) break;
    program += c;
  }
  return program;
}

int RunLocalCopy(bool print, const std::string& root, const std::string& url, bool useModem,
                 bool local, TLocalCopyEnv& env) {
  TShell& shell = env.Shell ? *env.Shell : SystemShell();
  const std::string body = local && !url.empty() ? StoredBody(root, url) : "";
  if (!body.empty()) {
    if (IsRiskyToOpen(body)) {
      if (print) return 0;
      const std::string question =
          "Opening a file of this type could compromise your system\n\nFile: " + body +
          "\n\nDo you still wish to continue?";
      if (AskUser(env, question, TMsgKind::Warning, TMsgButtons::YesNo) != TMsgAnswer::Yes)
        return 0;
    }
    const int result = shell.Execute(print ? "print" : "open", body);
    if (result <= 32) TellUser(env, ShellExecuteErrorText(result) + "\n\nFile: " + body);
    return result;
  }
  // Checked before any dialling: the browser would read it as an option.
  if (!url.empty() && url[0] == '-') {
    TellUser(env, ShellExecuteErrorText(ShellFileNotFound) + "\n\nFile: " + url);
    return ShellFileNotFound;
  }
  if (env.EnsureConnected && !env.EnsureConnected(useModem)) return 0;
  const std::string command = env.OpenCommand ? env.OpenCommand(".htm") : GetOpenCommand(".htm");
  const std::string browser = BrowserProgram(command);
  const int result =
      browser.empty() ? ShellNoAssociation : shell.Start(print ? "print" : "open", browser, url);
  if (result <= 32) TellUser(env, ShellExecuteErrorText(result) + "\n\nFile: " + url);
  return result;
}

void CopySelection(const std::string& root, const std::vector<std::string>& urls,
                   TLocalCopyEnv& env, TFileCopier& copier, std::string& remembered) {
  const std::string folder = env.Prompter ? env.Prompter->ChooseFolder("", remembered) : "";
  if (folder.empty()) return;
  remembered = folder;
  copier.Start(std::to_string(urls.size()));
  // The window ends idle and hidden however the run ends.
  struct TFinish {
    TFileCopier& Copier;
    ~TFinish() { Copier.Finish(); }
  } finish{copier};
  bool all = false;
  for (const auto& url : urls) {
    const std::string source = BodyPath(root, url);
    if (source.empty()) continue;
    const std::string target =
        JoinPath(folder, ChangeExt(LastName(FolderOf(source)), FileExt(source)));
    if (!all && EntryExists(target)) {
      const TMsgAnswer answer =
          AskUser(env, "File: \"" + target + "\" already exists. Do you want to overwrite it?",
                  TMsgKind::Warning, TMsgButtons::YesNoAll);
      if (answer == TMsgAnswer::No) continue;
      if (answer == TMsgAnswer::All)
        all = true;
      else if (answer != TMsgAnswer::Yes)
        return;
    }
    // A cancelled run copies nothing more; asking about the rest would be
    // questions without a purpose.
    if (!copier.CopyOneFile(source, target)) return;
  }
}

void OpenFolders(const std::string& root, const std::vector<std::string>& urls, bool explore,
                 TLocalCopyEnv& env) {
  TShell& shell = env.Shell ? *env.Shell : SystemShell();
  for (const auto& url : urls) {
    const std::string body = BodyPath(root, url);
    if (!body.empty()) shell.Execute(explore ? "explore" : "open", FolderOf(body));
  }
}

[[noreturn]] void CopyFailed() { throw EInOutError(kErrorCopyingFile); }

// Closes the descriptor on every path out.
class TFdHold {
 public:
  explicit TFdHold(int fd) : Fd(fd) {}
  ~TFdHold() {
    if (Fd >= 0) ::close(Fd);
  }
  TFdHold(const TFdHold&) = delete;
  TFdHold& operator=(const TFdHold&) = delete;
  int Get() const { return Fd; }

 private:
  int Fd;
};

}  // namespace

bool CopyFileOver(const std::string& source, const std::string& target,
                  const std::function<void(std::int64_t size)>& onSize) {
  // Opened without waiting, so a pipe or device in the tree cannot stall the
  // window; only a plain file is copied.
  TFdHold in(::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  struct stat src {};
  if (in.Get() < 0 || ::fstat(in.Get(), &src) != 0 || !S_ISREG(src.st_mode)) CopyFailed();
  struct stat dst {};
  if (::lstat(target.c_str(), &dst) == 0 && dst.st_dev == src.st_dev && dst.st_ino == src.st_ino)
    return false;  // writing it would cut the source itself
  const std::int64_t size = src.st_size;
  if (onSize) onSize(size);

  // The copy replaces the target only once it is whole; a link at the target
  // is replaced by the file rather than written through.
  TAtomicFile out;
  if (!out.Open(target, 0644)) CopyFailed();
  std::int64_t copied = 0;
  std::string buffer(kCopyBuffer, '\0');
  // The copy stops at the size the source had when opened, so a source that
  // grows while it is read is not copied without end.
  while (copied < size) {
    const std::size_t want =
        static_cast<std::size_t>(std::min<std::int64_t>(size - copied, kCopyBuffer));
    const ssize_t n = ::read(in.Get(), buffer.data(), want);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0 || !out.Write(std::string_view(buffer.data(), static_cast<std::size_t>(n)))) break;
    copied += n;
  }
  if (copied != size || !out.Commit()) CopyFailed();  // out's destructor drops the temporary file
  return true;
}

void TPlainFileCopier::Start(const std::string& totalText) {
  Cancelled = false;
  Idle = false;
  Starts.push_back(totalText);
}

bool TPlainFileCopier::CopyOneFile(const std::string& source, const std::string& target) {
  if (Cancelled) return false;
  Copies.emplace_back(source, target);
  CopyFileOver(source, target);
  return true;
}

void TPlainFileCopier::Finish() { Idle = true; }

bool SaveLocalCopy(const std::string& root, const std::string& kind, const std::string& url,
                   const std::string& text, const std::string& ext) {
  const std::string stored = URLToLocalPath(root, url, kind, ext);
  if (stored.empty()) return false;
  const std::string path = NativePath(stored);
  const std::string folder = FolderOf(path);
  const std::string name = LastName(path);
  // The folder is made without FileLock, as the cache's is: making one that
  // another thread made meanwhile is no failure.
  bool fresh = false;
  if (!folder.empty() && !ForceDirs(folder, &fresh)) return false;
  const bool alone = !folder.empty() && NoOtherCopiesOfKind(folder, kind, fresh);
  // Without a flush: a lost copy is downloaded again; what matters is that
  // a failed write never cuts the copy already stored. Not under FileLock:
  // the bytes go to a temporary file of a name of its own and the rename
  // replaces the copy in one step, so no reader can see a part of it, and
  // holding the lock through the write made every download thread wait for
  // every other one's.
  if (!WriteFileAtomic(path, text, 0644, /*sync=*/false)) return false;
  // Only now that the new copy is whole do the URL's other copies of the kind
  // go; a partial download waiting for its resume stays.
  // A folder this thread has just made holds none.
  if (alone) return true;
  const std::string lowerKind = LowerCaseAscii(kind);
  std::vector<std::string> doomed;
  if (DIR* d = ::opendir(folder.empty() ? "." : folder.c_str())) {
    while (dirent* e = ::readdir(d)) {
      const std::string entry = e->d_name;
      if (entry.empty() || entry[0] == '.' || entry == name) continue;
      const std::string lower = LowerCaseAscii(entry);
      if (lower != lowerKind && lower.compare(0, lowerKind.size() + 1, lowerKind + ".") != 0)
        continue;
      const std::string entryExt = LowerCaseAscii(FileExt(entry));
      if (entryExt == ".tmp" || entryExt == ".tm2") continue;
      doomed.push_back(JoinPath(folder, entry));
    }
    ::closedir(d);
  }
  for (const auto& file : doomed) {
    TFileLockHold hold;
    struct stat st {};
    if (::lstat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ::unlink(file.c_str());
  }
  return true;
}

bool IsRiskyToOpen(const std::string& file) {
  static const char* const kRunnable[] = {".desktop", ".sh", ".run", ".appimage", ".jar",
                                          ".py",      ".pl", ".bin", ".exe",      ".reg"};
  const std::string ext = LowerCaseAscii(TrimBlanks(FileExt(file)));
  for (const char* r : kRunnable)
    if (ext == r) return true;
  struct stat st {};
  return ::stat(file.c_str(), &st) == 0 && (st.st_mode & 0111) != 0;
}

int OpenLocalCopy(const std::string& root, const std::string& url, bool useModem, bool local,
                  TLocalCopyEnv& env) {
  return RunLocalCopy(false, root, url, useModem, local, env);
}

int PrintLocalCopy(const std::string& root, const std::string& url, bool useModem, bool local,
                   TLocalCopyEnv& env) {
  return RunLocalCopy(true, root, url, useModem, local, env);
}

std::string RenameLocalCopy(const std::string& root, const std::string& url,
                            std::string* original) {
  const std::string body = StoredBody(root, url);
  if (original) *original = body;
  if (body.empty()) return "";
  const std::string folder = FolderOf(body);
  std::string newName = JoinPath(folder, LastName(folder));
  const std::string ext = FileExt(body);
  if (LowerCaseAscii(ext) != LowerCaseAscii(FileExt(newName))) newName += ext;
  // A URL whose own folder is named like its copy ("x/Data.htm/Data.htm"):
  // the copy already has the name, and deleting "it" would lose it.
  if (newName == body) return body;
  struct stat st {};
  if (::lstat(newName.c_str(), &st) == 0) {
    // The new name may be a child URL's folder: the copy keeps its own name.
    if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) return body;
    LockedDeleteFile(newName);  // unlink: a link goes, never what it points at
  }
  return LockedRenameFile(body, newName) ? newName : body;
}

void CopyGridSelectionTo(const std::string& root, const std::vector<std::string>& urls,
                         TLocalCopyEnv& env, TFileCopier& copier) {
  CopySelection(root, urls, env, copier, env.GridCopyFolder);
}

void CopyListSelectionTo(const std::string& root, const std::vector<std::string>& urls,
                         TLocalCopyEnv& env, TFileCopier& copier) {
  if (urls.empty()) return;
  if (env.ListCopyFolder.empty()) env.ListCopyFolder = GlobalSettings().Get()->LocWebEd;
  CopySelection(root, urls, env, copier, env.ListCopyFolder);
}

void OpenGridSelectionFolders(const std::string& root, const std::vector<std::string>& urls,
                              bool explore, TLocalCopyEnv& env) {
  OpenFolders(root, urls, explore, env);
}

void OpenListSelectionFolders(const std::string& root, const std::vector<std::string>& urls,
                              bool explore, TLocalCopyEnv& env) {
  OpenFolders(root, urls, explore, env);
}

}  // namespace qv
