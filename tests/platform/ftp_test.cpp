#include "platform/ftp.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/scratchdir.h"

namespace qv {
namespace {

// ---------------------------------------------------------------- parsers

TEST(FtpParseTest, PWDReply) {
  struct {
    const char* text;
    const char* want;
  } cases[] = {
      {"\"/pub/a\" is the current directory.", "/pub/a"},
      {"\"/\"", "/"},
      {"\"/say \"\"hi\"\"\" is current", "/say \"hi\""},
      {"\"/with blank/x\" ok", "/with blank/x"},
      {"/plain is current", "/plain"},
      {"\"/unterminated", ""},
      {"", ""},
      {"   ", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(ParsePWDReply(c.text), c.want) << c.text;
}

TEST(FtpParseTest, PASVReply) {
  struct {
    const char* text;
    bool ok;
    const char* address;
    int port;
  } cases[] = {
      {"Entering Passive Mode (127,0,0,1,195,80).", true, "127.0.0.1", 195 * 256 + 80},
      {"Entering Passive Mode 10,1,2,3,0,21", true, "10.1.2.3", 21},
      {"=127,0,0,1,4,1", true, "127.0.0.1", 1025},
      {"Mode 227 (1,2,3,4,5,6)", true, "1.2.3.4", 1286},  // a lone number first
      {"(256,0,0,1,4,1)", false, "", 0},
      {"(127,0,0,1,4)", false, "", 0},
      {"(127,0,0,1,4,1000)", false, "", 0},
      {"(127,0,0,1,0,0)", false, "", 0},
      {"(1277,0,0,1,4,1)", false, "", 0},
      {"", false, "", 0},
  };
  for (const auto& c : cases) {
    std::string a;
    int p = 0;
    EXPECT_EQ(ParsePASVReply(c.text, a, p), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(a, c.address) << c.text;
      EXPECT_EQ(p, c.port) << c.text;
    }
  }
}

TEST(FtpParseTest, SplitHostPort) {
  struct {
    const char* text;
    bool ok;
    const char* host;
    int port;
  } cases[] = {
      {"ftp.example.com", true, "ftp.example.com", 21},
      {"ftp.example.com:2121", true, "ftp.example.com", 2121},
      {"127.0.0.1:65535", true, "127.0.0.1", 65535},
      {"[::1]", true, "[::1]", 21},
      {"[::1]:990", true, "[::1]", 990},
      {"::1", true, "::1", 21},
      {"host:", false, "", 0},
      {"host:0", false, "", 0},
      {"host:65536", false, "", 0},
      {"host:21x", false, "", 0},
      {":21", false, "", 0},
      {"", false, "", 0},
      {"[::1", false, "", 0},
      {"[::1]x", false, "", 0},
  };
  for (const auto& c : cases) {
    std::string h;
    int p = 0;
    EXPECT_EQ(SplitHostPort(c.text, h, p, 21), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(h, c.host) << c.text;
      EXPECT_EQ(p, c.port) << c.text;
    }
  }
}

TEST(FtpParseTest, SplitListing) {
  EXPECT_EQ(SplitListing("a\r\nb\n\nc\rd"), (std::vector<std::string>{"a", "b", "c", "d"}));
  EXPECT_TRUE(SplitListing("\r\n\r\n").empty());
}

// ---------------------------------------------------------------- scripted server

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

// Connects to ip:port from the local address source.
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

void SendAll(int fd, const std::string& s) {
  size_t off = 0;
  while (off < s.size()) {
    ssize_t n = ::send(fd, s.data() + off, s.size() - off, MSG_NOSIGNAL);
    if (n <= 0) return;
    off += static_cast<size_t>(n);
  }
}

// One control connection, answered by a script on its own thread. The script
// reads command lines with Command() and answers with Reply(); Received()
// keeps every line that arrived.
class TScriptedFtp {
 public:
  using TScript = std::function<void(TScriptedFtp&)>;
  explicit TScriptedFtp(TScript script) : FScript(std::move(script)) {
    FListen = ListenOn("127.0.0.1", Port);
    FThread = std::thread([this] {
      FConn = ::accept(FListen, nullptr, nullptr);
      if (FConn < 0) return;
      FScript(*this);
      // Hold the connection open until the client closes it.
      char c;
      while (::recv(FConn, &c, 1, 0) > 0) {
      }
    });
  }
  ~TScriptedFtp() {
    ::shutdown(FListen, SHUT_RDWR);
    if (FConn >= 0) ::shutdown(FConn, SHUT_RDWR);
    FThread.join();
    if (FConn >= 0) ::close(FConn);
    ::close(FListen);
  }
  int Port = 0;

  void Reply(const std::string& text) { SendAll(FConn, text); }
  // The next command line ("" when the client closed or 10 s passed).
  std::string Command() {
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
  // Answers commands up to and with one starting with prefix using the
  // table of ready answers; returns that command.
  std::string Until(const std::string& prefix) {
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
  std::vector<std::string> Received() {
    std::lock_guard<std::mutex> g(FLock);
    return FReceived;
  }

 private:
  TScript FScript;
  int FListen = -1;
  std::atomic<int> FConn{-1};
  std::thread FThread;
  std::mutex FLock;
  std::vector<std::string> FReceived;
};

// The address and port a PORT command names.
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

void Greet(TScriptedFtp& s) { s.Reply("220 Hi.\r\n"); }

// The server's side of an active-mode RETR: takes the PORT, answers RETR with
// `retrReply` and, when that opens the transfer (150), sends `body` on a data
// connection made from `source` and closes it.
void ServeActiveRetr(TScriptedFtp& s, const char* retrReply, const std::string& body,
                     const char* source = "127.0.0.1") {
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

std::string TempFile(const char* name) {
  return ::testing::TempDir() + "/qvftp-" + std::to_string(::getpid()) + "-" + name;
}

void Open(TIdFTP& f, int port) {
  f.Host = "127.0.0.1:" + std::to_string(port);
  f.User = "u";
  f.Password = "p";
  f.ReadTimeout = 10000;
  f.DataTimeout = 10000;
  f.Connect(true);
}

TEST(FtpClientTest, HostPortIsSplitForTheConnectionAndKeptWhole) {
  TScriptedFtp s([](TScriptedFtp& s) {
    s.Reply("220-Welcome\r\n  free text line\r\n220-more\r\n220 Ready.\r\n");
    s.Until("QUIT");
    s.Reply("221 Bye.\r\n");
  });
  TIdFTP f;
  f.Host = "127.0.0.1:" + std::to_string(s.Port);
  f.ReadTimeout = 10000;
  f.Connect(false);
  EXPECT_EQ(f.ReplyCode, 220);
  EXPECT_EQ(f.ReplyLines.size(), 4u);
  EXPECT_EQ(f.Host, "127.0.0.1:" + std::to_string(s.Port));
  EXPECT_EQ(f.Port, 21);
  f.Quit();
  EXPECT_FALSE(f.Connected());
}

TEST(FtpClientTest, LineBreakOrZeroInAnArgumentIsNeverSent) {
  TScriptedFtp s([](TScriptedFtp& s) {
    Greet(s);
    s.Until("NOOP");
    s.Reply("200 Ok.\r\n");
  });
  TIdFTP f;
  Open(f, s.Port);
  for (const std::string& bad : {std::string("a\r\nDELE x"), std::string("a\nDELE x"),
                                 std::string("a\rb"), std::string("a\0b", 3)}) {
    EXPECT_THROW(f.ChangeDir(bad), EIdFTPBadArgument);
    EXPECT_THROW(f.Get(bad, TempFile("never"), true), EIdFTPBadArgument);
  }
  f.SendCmd("NOOP", {200});
  const std::vector<std::string> got = s.Received();
  EXPECT_EQ(got, (std::vector<std::string>{"USER u", "PASS p", "NOOP"}));
  std::remove(TempFile("never").c_str());
}

TEST(FtpClientTest, CredentialsWithLineBreaksAreRefused) {
  TScriptedFtp s([](TScriptedFtp& s) { Greet(s); });
  TIdFTP f;
  f.Host = "127.0.0.1:" + std::to_string(s.Port);
  f.User = "anonymous\r\nDELE x";
  f.ReadTimeout = 10000;
  EXPECT_THROW(f.Connect(true), EIdFTPBadArgument);
  EXPECT_FALSE(f.Connected());
}

TEST(FtpClientTest, EndlessMultiLineReplyIsBounded) {
  TScriptedFtp s([](TScriptedFtp& s) {
    std::string block;
    for (int i = 0; i < 200; ++i) block += "220-line " + std::to_string(i) + "\r\n";
    s.Reply("220-start\r\n");
    for (int i = 0; i < 100; ++i) s.Reply(block);
  });
  TIdFTP f;
  f.Host = "127.0.0.1:" + std::to_string(s.Port);
  f.ReadTimeout = 10000;
  EXPECT_THROW(f.Connect(false), ENetProtocolError);
}

TEST(FtpClientTest, OverlongReplyLineIsRefused) {
  TScriptedFtp s([](TScriptedFtp& s) { s.Reply("220 " + std::string(100000, 'x') + "\r\n"); });
  TIdFTP f;
  f.Host = "127.0.0.1:" + std::to_string(s.Port);
  f.ReadTimeout = 10000;
  EXPECT_THROW(f.Connect(false), ENetProtocolError);
}

// A transfer the server ends with 426 failed; the bytes that came stay.
TEST(FtpClientTest, TransferAbortedReplyIsAFailureAndKeepsThePartialFile) {
  for (const char* closing :
       {"426 Connection closed; transfer aborted.\r\n", "451 Local error.\r\n"}) {
    TScriptedFtp s([closing](TScriptedFtp& s) {
      Greet(s);
      ServeActiveRetr(s, "150 Opening.\r\n", "first part");
      s.Reply(closing);
      s.Until("NOOP");
      s.Reply("200 Still in step.\r\n");
    });
    TIdFTP f;
    Open(f, s.Port);
    const std::string file = TempFile("partial");
    try {
      f.Get("f.bin", file, true);
      ADD_FAILURE() << "no failure for " << closing;
    } catch (const EIdProtocolReplyError& e) {
      EXPECT_EQ(e.ReplyCode, std::atoi(closing));
    }
    EXPECT_EQ(test::ReadBytes(file), "first part");
    EXPECT_EQ(f.SendCmd("NOOP", {200}), 200);
    std::remove(file.c_str());
  }
}

// The local copy is replaced only by what the server actually sends: a
// refused RETR leaves it as it was, an empty file that arrives empties it.
TEST(FtpClientTest, LocalFileIsReplacedOnlyWhenTheTransferStarts) {
  struct {
    const char* name;
    const char* retrReply;  // the answer to RETR
    const char* body;       // sent on the data connection after a 150
    bool ok;
    const char* want;  // the local file afterwards
  } cases[] = {
      {"file gone on the server", "550 No such file.\r\n", "", false, "precious copy"},
      {"refused for now", "450 Busy.\r\n", "", false, "precious copy"},
      {"empty file", "150 Opening.\r\n", "", true, ""},
      {"new content", "150 Opening.\r\n", "new", true, "new"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TScriptedFtp s([&c](TScriptedFtp& s) {
      Greet(s);
      ServeActiveRetr(s, c.retrReply, c.body);
      if (std::atoi(c.retrReply) == 150) s.Reply("226 Done.\r\n");
    });
    TIdFTP f;
    Open(f, s.Port);
    const std::string file = TempFile("kept");
    { std::ofstream(file, std::ios::binary) << "precious copy"; }
    bool ok = true;
    try {
      f.Get("f.bin", file, true);
    } catch (const EIdProtocolReplyError& e) {
      ok = false;
      EXPECT_EQ(e.ReplyCode, std::atoi(c.retrReply));
    }
    EXPECT_EQ(ok, c.ok);
    EXPECT_EQ(test::ReadBytes(file), c.want);
    std::remove(file.c_str());
  }
}

TEST(FtpClientTest, DataFromAForeignAddressIsRefused) {
  // 127.0.0.2 is another machine as far as the client can tell.
  int probe = ConnectFrom("127.0.0.2", "127.0.0.1", 9);
  if (probe >= 0) ::close(probe);
  TScriptedFtp s([](TScriptedFtp& s) {
    Greet(s);
    ServeActiveRetr(s, "150 Opening.\r\n", "INJECTED", "127.0.0.2");
    s.Reply("226 Done.\r\n");
  });
  TIdFTP f;
  Open(f, s.Port);
  const std::string file = TempFile("foreign");
  EXPECT_THROW(f.Get("f.bin", file, true), ENetProtocolError);
  EXPECT_EQ(test::ReadBytes(file), "");
  std::remove(file.c_str());
}

TEST(FtpClientTest, PassiveDataGoesToTheControlPeerWhateverTheReplyNames) {
  TScriptedFtp s([](TScriptedFtp& s) {
    Greet(s);
    s.Until("PASV");
    int port = 0;
    int l = ListenOn("127.0.0.1", port);
    s.Reply("227 Entering Passive Mode (10,255,255,1," + std::to_string(port / 256) + "," +
            std::to_string(port % 256) + ").\r\n");
    int d = ::accept(l, nullptr, nullptr);
    s.Until("RETR");
    s.Reply("150 Opening.\r\n");
    SendAll(d, "passive body");
    ::close(d);
    ::close(l);
    s.Reply("226 Done.\r\n");
  });
  TIdFTP f;
  Open(f, s.Port);
  f.Passive = true;
  f.DataTimeout = 5000;
  TStringByteStream out;
  f.Get("f.bin", out);
  EXPECT_EQ(out.DataString(), "passive body");
}

TEST(FtpClientTest, SilentDataConnectionTimesOut) {
  TScriptedFtp s([](TScriptedFtp& s) {
    Greet(s);
    s.Until("RETR");
    s.Reply("150 Opening.\r\n");
    s.Until("QUIT");
  });
  TIdFTP f;
  Open(f, s.Port);
  f.DataTimeout = 200;
  TStringByteStream out;
  EXPECT_THROW(f.Get("f.bin", out), ENetTimeout);
}

// The watchdog's cut, from another thread, ends a wait for a data
// connection that never comes.
TEST(FtpClientTest, AbortFromAnotherThreadEndsADataWait) {
  TScriptedFtp s([](TScriptedFtp& s) {
    Greet(s);
    s.Until("RETR");
    s.Reply("150 Opening.\r\n");
    std::string c = s.Command();
    if (c == "ABOR") s.Reply("225 Nothing to abort.\r\n");
    s.Until("QUIT");
  });
  TIdFTP f;
  Open(f, s.Port);
  f.DataTimeout = TimeoutInfinite;
  std::thread watchdog([&f] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    f.Abort();
  });
  const auto start = std::chrono::steady_clock::now();
  TStringByteStream out;
  EXPECT_THROW(f.Get("f.bin", out), ENetCancelled);
  watchdog.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8));
  // The client told the server and is still in step with it.
  const std::vector<std::string> got = s.Received();
  ASSERT_FALSE(got.empty());
  EXPECT_EQ(got.back(), "ABOR");
  EXPECT_TRUE(f.Connected());
}

}  // namespace
}  // namespace qv
