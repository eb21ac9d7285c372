// A download job over hosts none of which can be reached, through the job
// runner on a plain loop, as a list of links to other sites meets a machine
// that reaches none of them: names that do not resolve (reserved ".invalid"
// names), ports on 127.0.0.1 that refuse the connection, and listening
// sockets on 127.0.0.1 that take the connection and never answer.
//
// Only a silent host costs a time-out, and only once when the job gives up
// on a host at once after it: the job should take about
//   ceil(silent hosts / threads) x time-out
// whatever the URLs per host and the retries. The figure is printed beside
// that bound and beside what each round of retries would add if every
// round waited for every silent host again.
//
//   deadhosts_bench [--hosts N] [--urls M] [--timeout S] [--threads T]
//                   [--retries R]
//
// --hosts N makes N hosts of each kind (default 5), each listed with M URLs
// (default 20). Defaults otherwise: time-out 2 s, 10 threads, 5 per server,
// 2 retries, and no robots.txt asked first, as in the first-run project (a
// site whose robots.txt cannot be reached would be kept out whole, and its
// pages would never meet the host).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "jobharness.h"
#include "model/vkurllist.h"

namespace {

// A socket bound to 127.0.0.1 on a port of the system's choice; listening
// (and never accepting) when listens, else closed again so the port
// refuses. Returns the port; fd gets the socket kept open (-1 for none).
int LocalPort(bool listens, int& fd) {
  fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return 0;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0 ||
      (listens && ::listen(fd, 128) != 0)) {
    ::close(fd);
    fd = -1;
    return 0;
  }
  if (!listens) {
    ::close(fd);
    fd = -1;
  }
  return ntohs(a.sin_port);
}

int Usage(const char* self) {
  std::fprintf(
      stderr, "usage: %s [--hosts N] [--urls M] [--timeout S] [--threads T] [--retries R]\n", self);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace qv;
  using Clock = std::chrono::steady_clock;
  int hosts = 5, urls = 20, timeout = 2, threads = 10, retries = 2;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const int value = i + 1 < argc ? std::atoi(argv[i + 1]) : 0;
    if (a == "--hosts")
      hosts = value;
    else if (a == "--urls")
      urls = value;
    else if (a == "--timeout")
      timeout = value;
    else if (a == "--threads")
      threads = value;
    else if (a == "--retries")
      retries = value;
    else
      return Usage(argv[0]);
    ++i;
  }
  if (hosts < 1 || urls < 1 || timeout < 1 || threads < 1 || retries < 0) return Usage(argv[0]);

  const std::string scratch =
      (std::filesystem::temp_directory_path() / ("qv-deadhosts-" + std::to_string(::getpid())))
          .string();
  const std::string mirror = scratch + "/mirror", program = scratch + "/program";
  std::filesystem::create_directories(mirror);
  std::filesystem::create_directories(program);
  setenv("QUENDRAVILOS_HOME", program.c_str(), 1);

  std::vector<int> keep;
  std::vector<std::string> sites;
  for (int h = 0; h < hosts; ++h) {
    int fd = -1;
    sites.push_back("http://nosuch-" + std::to_string(h) + ".invalid");
    sites.push_back("http://127.0.0.1:" + std::to_string(LocalPort(false, fd)));
    const int silent = LocalPort(true, fd);
    if (fd < 0) return 1;
    keep.push_back(fd);
    sites.push_back("http://127.0.0.1:" + std::to_string(silent));
  }

  CreateGlobals();
  {
    std::lock_guard<TCriticalSection> g(*URLListLock);
    for (const std::string& site : sites)
      for (int u = 0; u < urls; ++u) {
        TVkURLItem r;
        r.URL = site + "/page" + std::to_string(u) + ".html";
        GlobalURLList->AddItem(r, false);
      }
  }
  TSettings settings;
  settings.TimeOutUD = timeout;
  settings.MaxThreadsUD = threads;
  settings.MaxThrServUD = 5;
  settings.DLRetriesUD = retries;
  settings.EnterNoRobChk = true;
  settings.LocWebEd = mirror;
  TJobHarness harness(settings, mirror, program);
  TDownloadFrm& runner = harness.Runner;
  runner.Localise = nullptr;

  const auto start = Clock::now();
  runner.DownloadFiles(false);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();

  std::map<std::string, int> byResult;
  {
    std::lock_guard<TCriticalSection> g(*URLListLock);
    for (int i = 0; i < GlobalURLList->Count(); ++i) {
      const TVkURLItem* r = GlobalURLList->GetItem(i);
      // The address's own text aside: one line per kind of reason.
      std::string why = r->Details.substr(0, r->Details.find_first_of(":("));
      while (!why.empty() && why.back() == ' ') why.pop_back();
      ++byResult[why.empty() ? "(none)" : why];
    }
  }
  // A silent host costs one time-out; the threads wait for them side by side.
  const double bound = static_cast<double>((hosts + threads - 1) / threads) * timeout;
  std::printf("seconds: %.3f\n", seconds);
  std::printf("hosts: %d\n", 3 * hosts);
  std::printf("silent_hosts: %d\n", hosts);
  std::printf("urls: %d\n", 3 * hosts * urls);
  std::printf("bound_seconds: %.3f\n", bound);
  std::printf("ratio_to_bound: %.3f\n", seconds / bound);
  std::printf("ratio_to_bound_every_round: %.3f\n", seconds / (bound * (retries + 1)));
  std::printf("threads_started: %d\n", runner.Stats.ThreadsStarted);
  for (const auto& [text, n] : byResult) std::printf("result %s: %d\n", text.c_str(), n);
  FreeGlobals();
  for (int fd : keep) ::close(fd);
  std::filesystem::remove_all(scratch);
  return 0;
}
