#include "support/scriptedftp.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace qv::test {

int ListenOn(const char* ip, int& port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = 0;
  inet_pton(AF_INET, ip, &a.sin_addr);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 4) != 0) {
    ::close(fd);
    return -1;
  }
  socklen_t len = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  port = ntohs(a.sin_port);
  return fd;
}

int ConnectFrom(const char* source, const std::string& ip, int port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in s{};
  s.sin_family = AF_INET;
  inet_pton(AF_INET, source, &s.sin_addr);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&s), sizeof s) != 0) {
    ::close(fd);
    return -1;
  }
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  inet_pton(AF_INET, ip.c_str(), &a.sin_addr);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

bool SendAll(int fd, const std::string& s) {
  size_t off = 0;
  while (off < s.size()) {
    ssize_t n = ::send(fd, s.data() + off, s.size() - off, MSG_NOSIGNAL);
    if (n <= 0) return false;
    off += static_cast<size_t>(n);
  }
  return true;
}

bool PortTarget(const std::string& command, std::string& ip, int& port) {
  unsigned h[6];
  if (std::sscanf(command.c_str(), "PORT %u,%u,%u,%u,%u,%u", &h[0], &h[1], &h[2], &h[3], &h[4],
                  &h[5]) != 6)
    return false;
  ip = std::to_string(h[0]) + "." + std::to_string(h[1]) + "." + std::to_string(h[2]) + "." +
       std::to_string(h[3]);
  port = static_cast<int>(h[4] * 256 + h[5]);
  return true;
}

TScriptedFtp::TScriptedFtp(TScript script) : FScript(std::move(script)) {
  FListen = ListenOn("127.0.0.1", Port);
  FThread = std::thread([this] {
    FConn = ::accept(FListen, nullptr, nullptr);
    if (FConn < 0) return;
    FScript(*this);
    WaitForClose();
  });
}

TScriptedFtp::~TScriptedFtp() {
  ::shutdown(FListen, SHUT_RDWR);
  if (FConn >= 0) ::shutdown(FConn, SHUT_RDWR);
  if (FThread.joinable()) FThread.join();
  if (FConn >= 0) ::close(FConn);
  ::close(FListen);
}

bool TScriptedFtp::Reply(const std::string& text) { return SendAll(FConn, text); }

void ServeEndlessGreeting(TScriptedFtp& s, bool oneLine) {
  std::string piece;
  for (int i = 0; i < 100; ++i)
    piece += oneLine ? "welcome, welcome, welcome! "
                     : "220-Welcome to the server, line " + std::to_string(i) + "\r\n";
  if (oneLine && !s.Reply("220-")) return;
  // A bound of its own, so a client that reads on for ever ends the test.
  for (int n = 0; n < 200000 && s.Reply(piece); ++n) {
  }
}

std::string TScriptedFtp::Command() {
  std::string line;
  for (;;) {
    pollfd p{FConn, POLLIN, 0};
    if (::poll(&p, 1, 10000) <= 0) return "";
    char c;
    if (::recv(FConn, &c, 1, 0) != 1) return "";
    if (c == '\n') break;
    if (c != '\r') line += c;
  }
  std::lock_guard<std::mutex> g(FLock);
  FReceived.push_back(line);
  return line;
}

std::string TScriptedFtp::Until(const std::string& prefix) {
  for (;;) {
    std::string c = Command();
    if (c.empty() || c.rfind(prefix, 0) == 0) return c;
    if (c.rfind("USER", 0) == 0)
      Reply("331 Password.\r\n");
    else if (c.rfind("PASS", 0) == 0)
      Reply("230 In.\r\n");
    else if (c.rfind("TYPE", 0) == 0)
      Reply("200 Type.\r\n");
    else if (c.rfind("PORT", 0) == 0)
      Reply("200 Port.\r\n");
    else
      Reply("500 Unknown.\r\n");
  }
}

void TScriptedFtp::WaitForClose() {
  char buf[256];
  while (::recv(FConn, buf, sizeof buf, 0) > 0) {
  }
}

std::vector<std::string> TScriptedFtp::Received() {
  std::lock_guard<std::mutex> g(FLock);
  return FReceived;
}

void TScriptedFtp::Join() {
  if (FThread.joinable()) FThread.join();
}

void ServeActiveRetr(TScriptedFtp& s, const char* retrReply, const std::string& body,
                     const char* source) {
  std::string ip;
  int port = 0;
  const std::string cmd = s.Until("PORT");
  ASSERT_TRUE(PortTarget(cmd, ip, port)) << cmd;
  s.Reply("200 Port.\r\n");
  s.Until("RETR");
  s.Reply(retrReply);
  if (std::atoi(retrReply) != 150) return;
  const int d = ConnectFrom(source, ip, port);
  if (d < 0) return;
  SendAll(d, body);
  ::close(d);
}

namespace {

std::string UpperCase(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

void ServeFile(TScriptedFtp& s, const TServerBehaviour& b) {
  s.Reply("220 Hi.\r\n");
  std::string ip;
  int port = 0;
  int pasv = -1;
  size_t offset = 0;
  for (;;) {
    const std::string line = s.Command();
    if (line.empty()) break;
    const std::string verb = UpperCase(line.substr(0, line.find(' ')));
    const std::string arg =
        line.find(' ') == std::string::npos ? "" : line.substr(line.find(' ') + 1);
    if (verb == "USER") {
      s.Reply("331 Password.\r\n");
    } else if (verb == "PASS") {
      s.Reply("230 In.\r\n");
    } else if (verb == "TYPE" || verb == "NOOP") {
      s.Reply("200 Ok.\r\n");
    } else if (verb == "PWD") {
      s.Reply("257 \"/\" is the current directory.\r\n");
    } else if (verb == "SIZE") {
      s.Reply((b.SizeReply.empty() ? "213 " + std::to_string(b.File.size()) : b.SizeReply) +
              "\r\n");
    } else if (verb == "PORT") {
      PortTarget(line, ip, port);
      s.Reply("200 Port.\r\n");
    } else if (verb == "PASV") {
      pasv = ListenOn("127.0.0.1", port);
      s.Reply("227 Entering Passive Mode (127,0,0,1," + std::to_string(port / 256) + "," +
              std::to_string(port % 256) + ").\r\n");
    } else if (verb == "REST") {
      s.Reply(b.RestReply + "\r\n");
      if (b.RestReply.rfind("350", 0) == 0 && b.HonoursRest)
        offset = static_cast<size_t>(std::atoll(arg.c_str()));
    } else if (verb == "RETR" && arg != "f.bin") {
      s.Reply("550 No such file.\r\n");
    } else if (verb == "RETR") {
      s.Reply("150 Opening BINARY mode data connection for f.bin" +
              (b.AnnounceWhole ? " (" + std::to_string(b.File.size()) + " bytes)" : "") + ".\r\n");
      int d = -1;
      if (pasv >= 0) {
        d = ::accept(pasv, nullptr, nullptr);
        ::close(pasv);
        pasv = -1;
      } else {
        d = ConnectFrom("127.0.0.1", ip, port);
      }
      std::string data = b.File.substr(std::min(offset, b.File.size()));
      if (b.SendLimit >= 0 && data.size() > static_cast<size_t>(b.SendLimit))
        data.resize(static_cast<size_t>(b.SendLimit));
      SendAll(d, data + b.Extra);
      ::close(d);
      s.Reply(b.Closing + "\r\n");
      offset = 0;
    } else if (verb == "QUIT") {
      s.Reply("221 Bye.\r\n");
      break;
    } else {
      s.Reply("500 Unknown.\r\n");
    }
  }
  if (pasv >= 0) ::close(pasv);
}

}  // namespace qv::test
