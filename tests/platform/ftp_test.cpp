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
#include "support/scriptedftp.h"

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

TEST(FtpParseTest, TransferSize) {
  struct {
    const char* text;
    int64_t want;
  } cases[] = {
      {"Opening BINARY mode data connection for f.bin (1000 bytes).", 1000},
      {"Opening data connection for a (1) (2 bytes)", 2},
      {"for x (5 bytes) y.bin (7 Bytes)", 7},  // the last figure counts
      {"Opening (0 bytes)", 0},
      {"Opening data connection.", -1},
      {"for (1000 kbytes)", -1},
      {"for (12a bytes)", -1},
      {"for ( bytes)", -1},
      {"for (-5 bytes)", -1},
      {"for (1234567890123456789 bytes)", -1},  // past 64 bits' safe range
      {"", -1},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseTransferSize(c.text), c.want) << c.text;
  // A hostile reply of a megabyte is read once, not once per parenthesis.
  EXPECT_EQ(ParseTransferSize("(" + std::string(1 << 20, ')')), -1);
  EXPECT_EQ(ParseTransferSize(std::string(1 << 20, '(') + "7 bytes)"), 7);
}

TEST(FtpParseTest, SizeReply) {
  struct {
    const char* text;
    int64_t want;
  } cases[] = {
      {"65536", 65536}, {" 0 ", 0}, {"12 bytes", -1},
      {"", -1},         {"-1", -1}, {"99999999999999999999", -1},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseSizeReply(c.text), c.want) << c.text;
}

// ---------------------------------------------------------------- scripted server

using test::ConnectFrom;
using test::ListenOn;
using test::SendAll;
using test::ServeActiveRetr;
using test::TScriptedFtp;

void Greet(TScriptedFtp& s) { s.Reply("220 Hi.\r\n"); }

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

// The server's side of one RETR in either mode: answers RETR with retrReply,
// sends body on the data connection and closes it, then sends closing.
void ServeRetr(TScriptedFtp& s, bool passive, const std::string& retrReply, const std::string& body,
               const std::string& closing) {
  if (!passive) {
    ServeActiveRetr(s, retrReply.c_str(), body);
    s.Reply(closing);
    return;
  }
  s.Until("PASV");
  int port = 0;
  const int l = ListenOn("127.0.0.1", port);
  s.Reply("227 Entering Passive Mode (127,0,0,1," + std::to_string(port / 256) + "," +
          std::to_string(port % 256) + ").\r\n");
  const int d = ::accept(l, nullptr, nullptr);
  ::close(l);
  s.Until("RETR");
  s.Reply(retrReply);
  SendAll(d, body);
  ::close(d);
  s.Reply(closing);
}

// A file whose size the transfer reply announces is whole only with exactly
// that many bytes; the count is the server's stored size only in binary type.
TEST(FtpClientTest, AnnouncedSizeMustBeMet) {
  const char* k1000 = "150 Opening BINARY mode data connection for f.bin (1000 bytes).\r\n";
  struct {
    const char* name;
    const char* type;  // the TYPE command sent first, "" for none
    bool passive;
    const char* retrReply;
    size_t sent;
    int64_t received;  // -1: the transfer succeeds
  } cases[] = {
      {"met", "I", false, k1000, 1000, -1},
      {"met, passive", "I", true, k1000, 1000, -1},
      {"one byte short", "I", false, k1000, 999, 999},
      {"one byte short, passive", "I", true, k1000, 999, 999},
      {"nothing arrives", "I", false, k1000, 0, 0},
      {"one byte long", "I", false, k1000, 1001, 1001},
      {"a flood", "I", true, k1000, 4u << 20, -2},  // stopped early: -2 = past 1000
      {"no figure announced", "I", false, "150 Opening.\r\n", 999, -1},
      {"ASCII type: line ends differ", "A", false, k1000, 1003, -1},
      {"type never set: the server's ASCII", "", false, k1000, 1003, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string body(c.sent, 'b');
    TScriptedFtp s([&c, &body](TScriptedFtp& s) {
      Greet(s);
      ServeRetr(s, c.passive, c.retrReply, body, "226 Done.\r\n");
      s.Until("NOOP");
      s.Reply("200 Still in step.\r\n");
    });
    TIdFTP f;
    Open(f, s.Port);
    f.Passive = c.passive;
    if (*c.type) f.SetTransferType(*c.type == 'I' ? ftBinary : ftASCII);
    TStringByteStream out;
    try {
      f.Get("f.bin", out);
      EXPECT_EQ(c.received, -1) << "taken as whole";
      EXPECT_EQ(out.DataString(), body);
    } catch (const EIdFTPSizeMismatch& e) {
      EXPECT_NE(c.received, -1) << e.what();
      EXPECT_EQ(e.Expected, 1000);
      if (c.received == -2)
        EXPECT_GT(e.Received, 1000);
      else
        EXPECT_EQ(e.Received, c.received);
      // What was kept never runs past the announced size.
      EXPECT_LE(out.Size(), 1000);
    }
    EXPECT_EQ(f.SendCmd("NOOP", {200}), 200);
  }
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
