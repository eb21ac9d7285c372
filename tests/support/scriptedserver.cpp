#include "support/scriptedserver.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <stdexcept>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <strings.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace qv::test {

namespace {
struct TStopping {};

size_t ContentLengthOf(const std::string& head) {
  size_t p = 0;
  while ((p = head.find('\n', p)) != std::string::npos) {
    ++p;
    if (head.size() - p >= 15 && strncasecmp(head.c_str() + p, "Content-Length:", 15) == 0)
      return static_cast<size_t>(std::strtoull(head.c_str() + p + 15, nullptr, 10));
  }
  return 0;
}
}  // namespace

// ------------------------------------------------------------------ conn

bool TScriptedConn::Fill() {
  if (FEof) return false;
  if (!FServer.WaitReadable(FFd, -1)) throw TStopping{};
  char buf[16384];
  ssize_t r = ::recv(FFd, buf, sizeof buf, 0);
  if (r <= 0) {
    FEof = true;
    return false;
  }
  FBuf.append(buf, static_cast<size_t>(r));
  return true;
}

std::string TScriptedConn::ReadRequest() {
  size_t end;
  while ((end = FBuf.find("\r\n\r\n")) == std::string::npos)
    if (!Fill()) return "";
  std::string head = FBuf.substr(0, end + 4);
  size_t body = ContentLengthOf(head);
  while (FBuf.size() < head.size() + body)
    if (!Fill()) break;
  size_t take = std::min(FBuf.size(), head.size() + body);
  std::string request = FBuf.substr(0, take);
  FBuf.erase(0, take);
  FServer.Record(request);
  return request;
}

std::string TScriptedConn::ReadLine() {
  size_t end;
  while ((end = FBuf.find("\r\n")) == std::string::npos)
    if (!Fill()) return "";
  std::string line = FBuf.substr(0, end);
  FBuf.erase(0, end + 2);
  return line;
}

std::string TScriptedConn::ReadBytes(size_t n) {
  while (FBuf.size() < n)
    if (!Fill()) break;
  std::string out = FBuf.substr(0, std::min(n, FBuf.size()));
  FBuf.erase(0, out.size());
  return out;
}

bool TScriptedConn::Send(const std::string& bytes) {
  size_t off = 0;
  while (off < bytes.size()) {
    ssize_t w = ::send(FFd, bytes.data() + off, bytes.size() - off, MSG_NOSIGNAL);
    if (w <= 0) {
      if (errno == EINTR) continue;
      return false;  // the client went away; the test judges by what it saw
    }
    off += static_cast<size_t>(w);
  }
  return true;
}

void TScriptedConn::Drip(const std::string& bytes, size_t piece, std::chrono::milliseconds pause) {
  for (size_t off = 0; off < bytes.size(); off += piece) {
    if (off) Sleep(pause);
    Send(bytes.substr(off, piece));
  }
}

void TScriptedConn::WaitForClose() {
  while (Fill()) FBuf.clear();
}

void TScriptedConn::Sleep(std::chrono::milliseconds d) {
  pollfd p{FServer.FStopFd, POLLIN, 0};
  if (::poll(&p, 1, static_cast<int>(d.count())) > 0) throw TStopping{};
}

void TScriptedConn::Reset() {
  linger l{1, 0};
  ::setsockopt(FFd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
  Close();
}

void TScriptedConn::Close() {
  if (FFd >= 0) ::close(FFd);
  FFd = -1;
  FEof = true;
}

// ------------------------------------------------------------------ server

TScriptedServer::TScriptedServer(THandler handler, TServing serving)
    : FHandler(std::move(handler)), FServing(serving) {
  FListenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  FStopFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (FListenFd < 0 || FStopFd < 0) throw std::runtime_error("scripted server: socket");
  int one = 1;
  ::setsockopt(FListenFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  if (::bind(FListenFd, reinterpret_cast<sockaddr*>(&a), len) != 0 ||
      ::listen(FListenFd, 16) != 0 ||
      ::getsockname(FListenFd, reinterpret_cast<sockaddr*>(&a), &len) != 0)
    throw std::runtime_error(std::string("scripted server: ") + std::strerror(errno));
  FPort = ntohs(a.sin_port);
  FThread = std::thread([this] { Run(); });
}

TScriptedServer::~TScriptedServer() {
  FStopping = true;
  uint64_t one = 1;
  ssize_t w = ::write(FStopFd, &one, sizeof one);
  (void)w;
  if (FThread.joinable()) FThread.join();
  // The stop event stays readable, so every handler still waiting unwinds.
  for (std::thread& t : FConnThreads) t.join();
  ::close(FListenFd);
  ::close(FStopFd);
}

std::string TScriptedServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(FPort) + path;
}

bool TScriptedServer::WaitReadable(int fd, int timeoutMs) {
  pollfd p[2] = {{fd, POLLIN, 0}, {FStopFd, POLLIN, 0}};
  for (;;) {
    int r = ::poll(p, 2, timeoutMs);
    if (r < 0 && errno == EINTR) continue;
    if (p[1].revents) return false;
    return true;
  }
}

void TScriptedServer::Run() {
  for (int index = 0;; ++index) {
    if (!WaitReadable(FListenFd, -1)) return;
    int fd = ::accept4(FListenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    ++FAccepted;
    if (FServing == Concurrently) {
      FConnThreads.emplace_back([this, fd, index] { Serve(fd, index); });
      continue;
    }
    Serve(fd, index);
    if (FStopping) return;
  }
}

void TScriptedServer::Serve(int fd, int index) {
  TScriptedConn conn(*this, fd, index);
  try {
    FHandler(conn);
  } catch (const TStopping&) {
  } catch (const std::exception& e) {
    std::lock_guard<std::mutex> g(FLock);
    FErrors.push_back(e.what());
  }
  conn.Close();
}

void TScriptedServer::Record(const std::string& request) {
  std::lock_guard<std::mutex> g(FLock);
  FRequests.push_back(request);
}

std::vector<std::string> TScriptedServer::Requests() const {
  std::lock_guard<std::mutex> g(FLock);
  return FRequests;
}

std::vector<std::string> TScriptedServer::Errors() const {
  std::lock_guard<std::mutex> g(FLock);
  return FErrors;
}

TScriptedServer::THandler TScriptedServer::Replies(std::vector<TScriptedReply> replies) {
  auto next = std::make_shared<size_t>(0);
  return [replies = std::move(replies), next](TScriptedConn& c) {
    while (*next < replies.size()) {
      if (c.ReadRequest().empty()) return;
      const TScriptedReply& r = replies[(*next)++];
      if (r.Bytes.empty()) return;
      c.Send(r.Bytes);
      if (r.CloseAfter) return;
    }
    c.WaitForClose();
  };
}

std::string HttpReply(const std::string& statusLine, const std::string& body,
                      const std::vector<std::string>& headers) {
  std::string r = statusLine + "\r\n";
  for (const auto& h : headers) r += h + "\r\n";
  r += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
  return r + body;
}

}  // namespace qv::test
