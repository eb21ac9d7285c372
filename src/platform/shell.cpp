#include "platform/shell.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/asciicase.h"
#include "platform/atomicfile.h"

extern char** environ;

namespace qv {

namespace {

using TClock = std::chrono::steady_clock;

std::vector<char*> ArgPointers(const std::vector<std::string>& argv) {
  std::vector<char*> p;
  p.reserve(argv.size() + 1);
  for (const auto& a : argv) p.push_back(const_cast<char*>(a.c_str()));
  p.push_back(nullptr);
  return p;
}

// Reaps a child we stopped waiting for, so it never lingers as a zombie.
void ReapLater(pid_t pid) {
  std::thread([pid] {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }).detach();
}

bool LooksLikeURL(const std::string& s) {
  size_t i = 0;
  while (i < s.size() && (std::isalnum(static_cast<unsigned char>(s[i])) || s[i] == '+' ||
                          s[i] == '-' || s[i] == '.'))
    ++i;
  if (i < 2 || i >= s.size() || s[i] != ':') return false;  // "C:" style and bare names
  return s.compare(i, 3, "://") == 0 || StartsWithIC(s, "mailto:");
}

// Why a local target cannot be handed over, as a shell code; 0 when it can.
int LocalTargetProblem(const std::string& target, bool mustBeFolder) {
  struct stat st {};
  if (stat(target.c_str(), &st) != 0) {
    if (errno == EACCES) return ShellAccessDenied;
    size_t slash = target.find_last_of('/');
    if (slash == std::string::npos) return ShellFileNotFound;
    std::string folder = slash == 0 ? "/" : target.substr(0, slash);
    struct stat fst {};
    if (stat(folder.c_str(), &fst) != 0 || !S_ISDIR(fst.st_mode)) return ShellPathNotFound;
    return mustBeFolder ? ShellPathNotFound : ShellFileNotFound;
  }
  if (mustBeFolder && !S_ISDIR(st.st_mode)) return ShellPathNotFound;
  if (access(target.c_str(), R_OK) != 0) return ShellAccessDenied;
  return 0;
}

// Hands a target to an opener: refuses names the opener would misread, checks
// local files first so the codes say what is wrong, then starts it.
int HandOver(const std::string& program, const std::string& target, bool mustBeFolder,
             bool allowURL) {
  if (target.empty() || target[0] == '-') return ShellFileNotFound;
  if (!(allowURL && LooksLikeURL(target))) {
    int problem = LocalTargetProblem(target, mustBeFolder);
    if (problem) return problem;
  }
  // Openers usually hand over and exit at once; one that stays (a browser
  // started in the foreground) is taken as started.
  int run = RunProgram({program, target}, 3000);
  if (run == 0 || run == -1) return ShellSuccess;
  // xdg-open exits with 2 when the file went away meanwhile; any other failure
  // of an opener or printer means nothing could handle the file.
  if (run > 0) return run == 2 && program == "xdg-open" ? ShellFileNotFound : ShellNoAssociation;
  int err = -2 - run;
  return err == ENOMEM || err == EAGAIN ? ShellOutOfResources : ShellNoAssociation;
}

bool IsReservedInExec(char c) {
  static const char reserved[] = " \t\n\"'\\><~|&;$*?#()`";
  for (const char* r = reserved; *r; ++r)
    if (c == *r) return true;
  return false;
}

bool HasControlByte(const std::string& s, bool allowLineBreaks) {
  for (char ch : s) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (allowLineBreaks && (c == '\n' || c == '\t' || c == '\r')) continue;
    if (c < 0x20 || c == 0x7f) return true;
  }
  return false;
}

// The general escape of a string value: backslash and line breaks.
std::string EscapeValue(const std::string& s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string QuoteExecArgument(const std::string& a) {
  bool quote = a.empty();
  for (char c : a) quote = quote || IsReservedInExec(c);
  std::string out;
  if (quote) out += '"';
  for (char c : a) {
    if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) out += '\\';
    if (c == '%') out += '%';
    out += c;
  }
  if (quote) out += '"';
  return out;
}

}  // namespace

int RunProgram(const std::vector<std::string>& argv, int waitMs) {
  if (argv.empty() || argv[0].empty()) return -2 - ENOENT;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  auto args = ArgPointers(argv);
  pid_t pid = -1;
  int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return -2 - rc;

  auto deadline = TClock::now() + std::chrono::milliseconds(waitMs < 0 ? 0 : waitMs);
  for (;;) {
    int status = 0;
    pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid) {
      if (WIFEXITED(status)) return WEXITSTATUS(status);
      return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    }
    if (r < 0 && errno != EINTR) return -2 - errno;
    if (TClock::now() >= deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ReapLater(pid);
  return -1;
}

bool RunProgramCapture(const std::vector<std::string>& argv, size_t maxBytes, int timeoutMs,
                       std::string& output) {
  output.clear();
  if (argv.empty() || argv[0].empty()) return false;
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return false;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  auto args = ArgPointers(argv);
  pid_t pid = -1;
  int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (rc != 0) {
    close(fds[0]);
    return false;
  }

  auto deadline = TClock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
  bool timedOut = false;
  char buf[4096];
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TClock::now());
    if (left.count() <= 0) {
      timedOut = true;
      break;
    }
    pollfd p{fds[0], POLLIN, 0};
    int n = poll(&p, 1, static_cast<int>(left.count()));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) continue;  // the deadline check above ends it
    ssize_t got = read(fds[0], buf, sizeof buf);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    // Past the limit the rest is drained and dropped, so the child never
    // blocks on a full pipe.
    size_t room = output.size() < maxBytes ? maxBytes - output.size() : 0;
    output.append(buf, std::min(room, static_cast<size_t>(got)));
  }
  close(fds[0]);
  if (timedOut) kill(pid, SIGKILL);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (timedOut || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    output.clear();
    return false;
  }
  return true;
}

int ShellOpen(const std::string& target) { return HandOver("xdg-open", target, false, true); }

int ShellPrint(const std::string& file) { return HandOver("lp", file, false, false); }

int ShellExplore(const std::string& folder) { return HandOver("xdg-open", folder, true, false); }

int ShellExecute(const std::string& verb, const std::string& target) {
  const std::string v = LowerCaseAscii(verb);
  if (v.empty() || v == "open") return ShellOpen(target);
  if (v == "print") return ShellPrint(target);
  if (v == "explore") return ShellExplore(target);
  return ShellNoAssociation;
}

int ShellExecute(const std::string& verb, const std::string& program, const std::string& argument) {
  const std::string v = LowerCaseAscii(verb);
  if (!v.empty() && v != "open") return ShellNoAssociation;
  if (program.empty() || program[0] == '-' || (!argument.empty() && argument[0] == '-'))
    return ShellFileNotFound;
  std::vector<std::string> argv{program};
  if (!argument.empty()) argv.push_back(argument);
  // A browser started directly usually stays running: a short wait is enough
  // to see one that fails at once.
  int run = RunProgram(argv, 1000);
  if (run == 0 || run == -1) return ShellSuccess;
  if (run > 0) return ShellNoAssociation;
  int err = -2 - run;
  if (err == ENOENT || err == ENOTDIR) return ShellFileNotFound;
  if (err == EACCES || err == EPERM) return ShellAccessDenied;
  return err == ENOMEM || err == EAGAIN ? ShellOutOfResources : ShellNoAssociation;
}

namespace {

class TSystemShell : public TShell {
 public:
  int Execute(const std::string& verb, const std::string& file) override {
    return ShellExecute(verb, file);
  }
  int Start(const std::string& verb, const std::string& program,
            const std::string& argument) override {
    return ShellExecute(verb, program, argument);
  }
};

}  // namespace

TShell& SystemShell() {
  static TSystemShell shell;
  return shell;
}

bool DesktopEntryText(const TDesktopEntry& e, std::string& text) {
  text.clear();
  if (e.Program.empty() || HasControlByte(e.Program, false) ||
      HasControlByte(e.WorkingFolder, false) || HasControlByte(e.Name, false) ||
      HasControlByte(e.Description, true))
    return false;
  for (const auto& a : e.Arguments)
    if (HasControlByte(a, false)) return false;

  std::string exec = QuoteExecArgument(e.Program);
  for (const auto& a : e.Arguments) exec += " " + QuoteExecArgument(a);

  text = "[Desktop Entry]\nType=Application\nVersion=1.0\n";
  text += "Name=" + EscapeValue(e.Name.empty() ? e.Program : e.Name) + "\n";
  if (!e.Description.empty()) text += "Comment=" + EscapeValue(e.Description) + "\n";
  text += "Exec=" + EscapeValue(exec) + "\n";
  if (!e.WorkingFolder.empty()) text += "Path=" + EscapeValue(e.WorkingFolder) + "\n";
  text += "Terminal=false\n";
  return true;
}

bool WriteDesktopEntry(const TDesktopEntry& entry, const std::string& path) {
  std::string text;
  if (!DesktopEntryText(entry, text)) return false;
  size_t slash = path.rfind('/');
  if (slash != std::string::npos && slash > 0 && !MakeFolderChain(path.substr(0, slash), 0755))
    return false;
  return WriteFileAtomic(path, text, 0644);
}

}  // namespace qv
