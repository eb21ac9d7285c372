#include "platform/dialup.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace qv {

namespace {

constexpr size_t kMaxOutput = 1 << 20;  // nmcli never prints this much

struct TRunResult {
  bool Started = false;
  int ExitCode = -1;  // -1: killed, timed out or not started
  std::string Out, Err;
};

// Runs a program found on PATH with an argument vector (never a shell),
// stdin from /dev/null, and collects at most kMaxOutput bytes of each output.
// Past the time-out the program is killed.
TRunResult RunProgram(const std::vector<std::string>& argv, int timeoutSec) {
  TRunResult r;
  int outPipe[2], errPipe[2];
  if (pipe2(outPipe, O_CLOEXEC) != 0) return r;
  if (pipe2(errPipe, O_CLOEXEC) != 0) {
    close(outPipe[0]);
    close(outPipe[1]);
    return r;
  }
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&fa, outPipe[1], 1);
  posix_spawn_file_actions_adddup2(&fa, errPipe[1], 2);
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  int rc = posix_spawnp(&pid, args[0], &fa, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  close(outPipe[1]);
  close(errPipe[1]);
  if (rc != 0) {
    close(outPipe[0]);
    close(errPipe[0]);
    return r;
  }
  r.Started = true;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSec);
  pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
  std::string* sinks[2] = {&r.Out, &r.Err};
  int open = 2;
  bool killed = false;
  char buf[4096];
  while (open > 0) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    deadline - std::chrono::steady_clock::now())
                    .count();
    if (left <= 0) {
      kill(pid, SIGKILL);
      killed = true;
      break;
    }
    int n = poll(fds, 2, static_cast<int>(left));
    if (n < 0 && errno != EINTR) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      ssize_t got = read(fds[i].fd, buf, sizeof buf);
      if (got > 0) {
        size_t room = kMaxOutput - std::min(kMaxOutput, sinks[i]->size());
        sinks[i]->append(buf, std::min(room, static_cast<size_t>(got)));
      } else if (got == 0 || (errno != EINTR && errno != EAGAIN)) {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
  for (auto& f : fds)
    if (f.fd >= 0) close(f.fd);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (!killed && WIFEXITED(status)) r.ExitCode = WEXITSTATUS(status);
  // posix_spawnp reports a missing program through the child's exit code 127.
  if (r.ExitCode == 127) r.Started = false;
  return r;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start < text.size()) {
    size_t nl = text.find('\n', start);
    if (nl == std::string::npos) nl = text.size();
    std::string line = text.substr(start, nl - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    out.push_back(std::move(line));
    start = nl + 1;
  }
  return out;
}

// The first line of nmcli's complaint, short enough for a status bar.
std::string Complaint(const TRunResult& r) {
  for (const auto& line : Lines(r.Err))
    if (!line.empty()) return line.substr(0, 300);
  return r.ExitCode < 0 ? std::string("no answer in time") : std::string();
}

bool OnPath(const std::string& program) {
  const char* path = getenv("PATH");
  if (!path) return false;
  std::string p = path;
  size_t start = 0;
  while (start <= p.size()) {
    size_t colon = p.find(':', start);
    if (colon == std::string::npos) colon = p.size();
    std::string dir = p.substr(start, colon - start);
    if (dir.empty()) dir = ".";
    if (access((dir + "/" + program).c_str(), X_OK) == 0) return true;
    start = colon + 1;
  }
  return false;
}

// The setting that carries the user name, password and number of a kind;
// a Bluetooth dial-up profile keeps them in its gsm setting.
std::string SecretsSetting(const std::string& type) { return type == "bluetooth" ? "gsm" : type; }

// A private file with the password for nmcli's passwd-file; "" on failure.
std::string WritePasswordFile(const std::string& setting, const std::string& password) {
  const char* dir = getenv("XDG_RUNTIME_DIR");
  std::string tmpl = std::string(dir && *dir ? dir : "/tmp") + "/qv-dial-XXXXXX";
  std::vector<char> name(tmpl.begin(), tmpl.end());
  name.push_back('\0');
  int fd = mkostemp(name.data(), O_CLOEXEC);  // mode 0600
  if (fd < 0) return "";
  // A line break would start another line of the file: cut the password there.
  std::string pw = password.substr(0, password.find_first_of("\r\n"));
  std::string line = setting + ".password:" + pw + "\n";
  bool ok = write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
  close(fd);
  if (!ok) {
    unlink(name.data());
    return "";
  }
  return name.data();
}

}  // namespace

TNmcliDialUp::TNmcliDialUp() = default;

TNmcliDialUp::~TNmcliDialUp() {
  std::vector<TDialThread> dials;
  {
    std::lock_guard<std::mutex> g(FLock);
    dials.swap(FDials);
  }
  for (auto& d : dials) d.Thread.join();
}

void TNmcliDialUp::SetLastError(uint32_t error, const std::string& detail) {
  std::lock_guard<std::mutex> g(FLock);
  FDetails[error] = detail;
}

std::vector<TNmcliDialUp::TProfile> TNmcliDialUp::ListProfiles(bool activeOnly) {
  std::vector<std::string> argv = {"nmcli",      "-t",  "-f", "NAME,UUID,TYPE,STATE",
                                   "connection", "show"};
  if (activeOnly) argv.push_back("--active");
  TRunResult r = RunProgram(argv, 20);
  std::vector<TProfile> out;
  if (!r.Started) {
    SetLastError(DialErrNoService, "nmcli could not be run");
    return out;
  }
  if (r.ExitCode != 0) {
    SetLastError(DialErrNoService, Complaint(r));
    return out;
  }
  for (const auto& line : Lines(r.Out)) {
    auto f = SplitNmcliTerse(line);
    if (f.size() < 3 || !IsDialUpKind(f[2])) continue;
    out.push_back({f[0], f[1], f[2], f.size() > 3 ? f[3] : ""});
  }
  return out;
}

TDialHandle TNmcliDialUp::HandleOf(const std::string& uuid) {
  std::lock_guard<std::mutex> g(FLock);
  auto [it, added] = FHandles.emplace(uuid, FNextHandle);
  if (added) ++FNextHandle;
  return it->second;
}

std::string TNmcliDialUp::UuidOf(TDialHandle handle) {
  std::lock_guard<std::mutex> g(FLock);
  for (const auto& [uuid, h] : FHandles)
    if (h == handle) return uuid;
  return "";
}

uint32_t TNmcliDialUp::Dial(const TDialParams& params, TDialCallback callback,
                            TDialHandle& handle) {
  handle = 0;
  auto profiles = ListProfiles(false);
  const TProfile* found = nullptr;
  for (const auto& p : profiles)
    if (p.Name == params.EntryName) {
      found = &p;
      break;
    }
  if (!found) {
    if (!OnPath("nmcli")) return DialErrNoService;
    SetLastError(DialErrNoEntry, params.EntryName);
    return DialErrNoEntry;
  }
  handle = HandleOf(found->Uuid);
  std::vector<std::string> argv = {
      "nmcli", "--wait", std::to_string(ActivateTimeout), "connection", "up", "uuid", found->Uuid};
  std::string pwFile;
  if (!params.Password.empty()) {
    pwFile = WritePasswordFile(SecretsSetting(found->Type), params.Password);
    if (!pwFile.empty()) {
      argv.push_back("passwd-file");
      argv.push_back(pwFile);
    }
  }
  int timeout = ActivateTimeout + 15;
  auto done = std::make_shared<std::atomic<bool>>(false);
  std::lock_guard<std::mutex> g(FLock);
  // Threads of earlier dials that have ended are joined here, so a long run
  // keeps no more than the dials still in progress.
  for (auto it = FDials.begin(); it != FDials.end();) {
    if (it->Done->load()) {
      it->Thread.join();
      it = FDials.erase(it);
    } else {
      ++it;
    }
  }
  std::thread t([this, argv, pwFile, timeout, callback, done] {
    callback(DialStateOpenPort, DialErrNone);
    TRunResult r = RunProgram(argv, timeout);
    if (!pwFile.empty()) unlink(pwFile.c_str());
    if (r.ExitCode == 0) {
      callback(DialStateConnected, DialErrNone);
    } else {
      uint32_t err = r.Started ? DialErrActivate : DialErrNoService;
      SetLastError(err, Complaint(r));
      callback(DialStateOpenPort, err);
    }
    done->store(true);
  });
  FDials.push_back({std::move(t), done});
  return DialErrNone;
}

uint32_t TNmcliDialUp::HangUp(TDialHandle handle) {
  std::string uuid = UuidOf(handle);
  if (uuid.empty()) return DialErrBadHandle;
  TRunResult r = RunProgram({"nmcli", "connection", "down", "uuid", uuid}, 30);
  if (!r.Started) return DialErrNoService;
  if (r.ExitCode != 0) {
    SetLastError(DialErrHangUp, Complaint(r));
    return DialErrHangUp;
  }
  return DialErrNone;
}

std::vector<TActiveConnection> TNmcliDialUp::ActiveConnections(size_t max) {
  std::vector<TActiveConnection> out;
  for (const auto& p : ListProfiles(true)) {
    if (out.size() >= max) break;
    out.push_back({HandleOf(p.Uuid), p.Name});
  }
  return out;
}

bool TNmcliDialUp::ConnectionStatus(TDialHandle handle, uint32_t& state) {
  std::string uuid = UuidOf(handle);
  if (uuid.empty()) return false;
  for (const auto& p : ListProfiles(true)) {
    if (p.Uuid != uuid) continue;
    if (p.State == "activated")
      state = DialStateConnected;
    else if (p.State == "deactivating" || p.State == "deactivated")
      state = DialStateDisconnected;
    else
      state = DialStateOpenPort;
    return true;
  }
  return false;
}

std::string TNmcliDialUp::ErrorText(uint32_t error) {
  std::string detail;
  {
    std::lock_guard<std::mutex> g(FLock);
    auto it = FDetails.find(error);
    if (it != FDetails.end()) detail = it->second;
  }
  return DialErrorText(error, detail);
}

bool TNmcliDialUp::GetEntryDialParams(const std::string& entry, TDialParams& params) {
  for (const auto& p : ListProfiles(false)) {
    if (p.Name != entry) continue;
    TRunResult r = RunProgram(
        {"nmcli", "--show-secrets", "-t", "-m", "multiline", "connection", "show", "uuid", p.Uuid},
        20);
    if (r.ExitCode != 0) return false;
    std::string setting = SecretsSetting(p.Type) + ".";
    params = TDialParams{};
    params.EntryName = entry;
    // Multi-line terse output is "setting.property:value", the value verbatim.
    for (const auto& line : Lines(r.Out)) {
      size_t colon = line.find(':');
      if (colon == std::string::npos || line.compare(0, setting.size(), setting) != 0) continue;
      std::string key = line.substr(setting.size(), colon - setting.size());
      std::string value = line.substr(colon + 1);
      if (key == "username")
        params.UserName = value;
      else if (key == "password")
        params.Password = value;
      else if (key == "number")
        params.PhoneNumber = value;
    }
    return true;
  }
  return false;
}

std::vector<std::string> TNmcliDialUp::PhonebookEntries(size_t max) {
  std::vector<std::string> out;
  for (const auto& p : ListProfiles(false)) {
    if (out.size() >= max) break;
    out.push_back(p.Name);
  }
  return out;
}

bool TNmcliDialUp::EditEntry(const std::string& entry) {
  if (!OnPath("nm-connection-editor")) return false;
  for (const auto& p : ListProfiles(false)) {
    if (p.Name != entry) continue;
    std::string uuid = p.Uuid;
    // The editor is a window of its own; it is left running and reaped when
    // it closes.
    std::thread([uuid] {
      RunProgram({"nm-connection-editor", "--edit", uuid}, 24 * 3600);
    }).detach();
    return true;
  }
  return false;
}

bool NmcliHasDialUpProfiles() {
  if (!OnPath("nmcli")) return false;
  TNmcliDialUp probe;
  return !probe.PhonebookEntries(1).empty();
}

}  // namespace qv
