// The per-server thread limit of a whole download job, seen from the server:
// real download threads through the job runner against a server that answers
// on many connections at once and counts the requests it holds at the same
// moment.

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "engine/downloadform.h"
#include "engine/plainuiloop.h"
#include "support/dljob.h"

namespace qv {
namespace {

// An HTTP server on 127.0.0.1 with a thread per connection that holds each
// request until the test releases the requests held (Release), then answers
// with a small body. The test releases only once every running thread holds
// a request and the runner may start no other, so the threads the runner
// allows on the server all overlap. A request held longer than ten seconds
// is answered anyway, so a fault shows as a wrong count, never as a hang.
class TCountingServer {
 public:
  // Called on the connection's thread when a request comes in.
  std::function<void()> OnArrive;

  TCountingServer() {
    FListen = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(FListen, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(FListen, reinterpret_cast<sockaddr*>(&a), &len);
    FPort = ntohs(a.sin_port);
    listen(FListen, 64);
    FAccept = std::thread([this] { AcceptLoop(); });
  }
  ~TCountingServer() {
    {
      std::lock_guard<std::mutex> g(FLock);
      FStopping = true;
      for (int fd : FConns) shutdown(fd, SHUT_RDWR);
    }
    FChanged.notify_all();
    shutdown(FListen, SHUT_RDWR);
    FAccept.join();
    for (std::thread& t : FHandlers) t.join();
    for (int fd : FConns) close(fd);
    close(FListen);
  }

  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(FPort) + path;
  }
  int Peak() {
    std::lock_guard<std::mutex> g(FLock);
    return FPeak;
  }
  int Served() {
    std::lock_guard<std::mutex> g(FLock);
    return FServed;
  }
  int InFlight() {
    std::lock_guard<std::mutex> g(FLock);
    return FInFlight;
  }
  void Release() {
    {
      std::lock_guard<std::mutex> g(FLock);
      ++FGeneration;
    }
    FChanged.notify_all();
  }

 private:
  void AcceptLoop() {
    for (;;) {
      pollfd p{FListen, POLLIN, 0};
      if (poll(&p, 1, 100) <= 0) {
        std::lock_guard<std::mutex> g(FLock);
        if (FStopping) return;
        continue;
      }
      const int fd = accept4(FListen, nullptr, nullptr, SOCK_CLOEXEC);
      std::lock_guard<std::mutex> g(FLock);
      if (fd < 0 || FStopping) {
        if (fd >= 0) close(fd);
        return;
      }
      FConns.push_back(fd);
      FHandlers.emplace_back([this, fd] { Serve(fd); });
    }
  }

  void Serve(int fd) {
    std::string buf;
    char chunk[4096];
    for (;;) {
      size_t end;
      while ((end = buf.find("\r\n\r\n")) == std::string::npos) {
        const ssize_t n = recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0) return;
        buf.append(chunk, static_cast<size_t>(n));
      }
      buf.erase(0, end + 4);
      Hold();
      const std::string reply =
          "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: "
          "5\r\n\r\nhello";
      if (send(fd, reply.data(), reply.size(), MSG_NOSIGNAL) < 0) return;
    }
  }

  void Hold() {
    std::unique_lock<std::mutex> g(FLock);
    ++FInFlight;
    FPeak = std::max(FPeak, FInFlight);
    const int arrivedIn = FGeneration;
    if (OnArrive) OnArrive();
    FChanged.wait_for(g, std::chrono::seconds(10),
                      [&] { return FStopping || FGeneration != arrivedIn; });
    --FInFlight;
    ++FServed;
  }

  int FListen = -1;
  int FPort = 0;
  std::thread FAccept;
  std::mutex FLock;
  std::condition_variable FChanged;
  std::vector<std::thread> FHandlers;
  std::vector<int> FConns;
  bool FStopping = false;
  int FInFlight = 0;
  int FPeak = 0;
  int FServed = 0;
  int FGeneration = 0;
};

class PerServerLimitTest : public test::TDLJobTest {};

TEST_F(PerServerLimitTest, NeverMoreRequestsAtOnceThanTheLimit) {
  constexpr int kItems = 10;
  TCountingServer server;
  Options.MaxThreadsUD = 5;
  Options.MaxThrServUD = 2;
  Options.NeverDLChk = false;
  Settings.Publish(std::make_shared<const TSettings>(Options));
  std::vector<std::string> urls;
  {
    std::lock_guard<TCriticalSection> g(*URLListLock);
    for (int i = 0; i < kItems; ++i) {
      urls.push_back(server.Url("/f" + std::to_string(i) + ".bin"));
      TVkURLItem r;
      r.URL = urls.back();
      GlobalURLList->AddItem(r, false);
    }
  }
  TPlainUiLoop loop;
  TScriptedPrompter prompter;
  TPlainProgress progress;
  TDownloadFrm runner(loop, Context, prompter, progress);
  runner.ProgramDir = [this] { return Home.Path; };
  server.OnArrive = [&runner] { runner.Wake(); };
  runner.OnPass = [&] {
    int running = 0;
    for (int i = 0; i < runner.Threads.Count(); ++i)
      if (!runner.Threads.Get(i)->Finished) ++running;
    int waiting = 0;
    {
      std::lock_guard<TSpinningMutex> g(JobLock);
      waiting = runner.DownloadQueue.Count();
    }
    const bool mayStartAnother = waiting > 0 && runner.Threads.Count() < Options.MaxThreadsUD &&
                                 MayStartThread(runner.Threads.Count());
    if (running > 0 && !mayStartAnother && server.InFlight() == running) server.Release();
  };
  ASSERT_TRUE(runner.DownloadFiles(false));
  // Two at once: the limit is reached and never passed.
  EXPECT_EQ(server.Peak(), 2);
  EXPECT_EQ(server.Served(), kItems);
  for (const std::string& u : urls) EXPECT_EQ(Listed(u).Status, usDownloaded) << u;
}

}  // namespace
}  // namespace qv
