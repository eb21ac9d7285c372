#include "platform/net.h"

#include <chrono>
#include <csignal>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/scriptedserver.h"

using namespace std::chrono_literals;
using qv::test::TScriptedConn;
using qv::test::TScriptedServer;

namespace qv {
namespace {

void ConnectTo(TIdTCPClient& c, const TScriptedServer& s, const std::string& host = "127.0.0.1") {
  c.Host = host;
  c.Port = s.Port();
  c.Connect();
}

TEST(NetReadLn, SplitsLinesAndReportsEndsOfInput) {
  struct Case {
    const char* name;
    std::string sent;
    std::vector<std::string> lines;  // expected, then the fault below
    const char* fault;               // "closed", "too long", "timeout"
    size_t maxLen;
  };
  const std::vector<Case> cases = {
      {"crlf and lf", "a\r\nb\nc\r\n", {"a", "b", "c"}, "closed", 0},
      {"lone cr stays in the line", "a\rb\n", {"a\rb"}, "closed", 0},
      {"partial last line is not a line", "a\r\npartial", {"a"}, "closed", 0},
      {"line at the bound", std::string(8, 'x') + "\r\n", {std::string(8, 'x')}, "closed", 8},
      {"line past the bound", std::string(9, 'x') + "\r\n", {}, "too long", 8},
      {"unterminated flood", std::string(100, 'x'), {}, "too long", 8},
      {"silence", "", {}, "timeout", 0},
  };
  for (const auto& tc : cases) {
    SCOPED_TRACE(tc.name);
    bool timeout = std::string(tc.fault) == "timeout";
    TScriptedServer s([&](TScriptedConn& c) {
      c.Send(tc.sent);
      if (timeout) c.WaitForClose();
    });
    TIdTCPClient cl;
    ConnectTo(cl, s);
    for (const auto& want : tc.lines) EXPECT_EQ(cl.ReadLn("\n", TimeoutDefault, tc.maxLen), want);
    if (std::string(tc.fault) == "closed") {
      EXPECT_THROW(cl.ReadLn(), ENetClosedGracefully);
      EXPECT_TRUE(cl.ClosedGracefully());
    } else if (std::string(tc.fault) == "too long") {
      EXPECT_THROW(cl.ReadLn("\n", TimeoutDefault, tc.maxLen), ENetProtocolError);
    } else {
      EXPECT_EQ(cl.ReadLn("\n", 100), "");
      EXPECT_TRUE(cl.ReadLnTimedOut);
      EXPECT_TRUE(cl.Connected());
    }
  }
}

TEST(NetReadLn, OtherTerminatorAndBytesLeftForStreamReads) {
  TScriptedServer s([](TScriptedConn& c) { c.Send("head|rest of it"); });
  TIdTCPClient cl;
  ConnectTo(cl, s);
  EXPECT_EQ(cl.ReadLn("|"), "head");
  TStringByteStream out;
  cl.ReadStream(&out, -1, true);
  EXPECT_EQ(out.DataString(), "rest of it");
}

struct TWorkLog {
  std::vector<int64_t> Begins, Counts;
  int Ends = 0;
  void Hook(TIdTCPConnection& c) {
    c.OnWorkBegin = [this](TIdTCPConnection*, TWorkMode, int64_t m) { Begins.push_back(m); };
    c.OnWork = [this](TIdTCPConnection*, TWorkMode, int64_t n) { Counts.push_back(n); };
    c.OnWorkEnd = [this](TIdTCPConnection*, TWorkMode) { ++Ends; };
  }
};

TEST(NetReadStream, CountedReadTakesExactlyItsBytesWithRunningCounts) {
  std::string body(300000, 'b');
  TScriptedServer s([&](TScriptedConn& c) {
    c.Send("line\r\n" + body.substr(0, 1000));
    c.Sleep(20ms);
    c.Send(body.substr(1000) + "NEXT\r\n");
    c.WaitForClose();
  });
  TIdTCPClient cl;
  TWorkLog log;
  log.Hook(cl);
  ConnectTo(cl, s);
  EXPECT_EQ(cl.ReadLn(), "line");
  TStringByteStream out;
  cl.ReadStream(&out, static_cast<int64_t>(body.size()));
  EXPECT_EQ(out.DataString(), body);
  EXPECT_EQ(log.Begins, std::vector<int64_t>{300000});
  ASSERT_FALSE(log.Counts.empty());
  EXPECT_EQ(log.Counts.back(), 300000);
  for (size_t i = 1; i < log.Counts.size(); ++i) EXPECT_GT(log.Counts[i], log.Counts[i - 1]);
  EXPECT_EQ(log.Ends, 1);
  EXPECT_EQ(cl.ReadLn(), "NEXT");  // nothing of the next data was swallowed
}

TEST(NetReadStream, ShortBodyFailsAndToEndReadsUntilClose) {
  {
    TScriptedServer s([](TScriptedConn& c) { c.Send("12345"); });
    TIdTCPClient cl;
    ConnectTo(cl, s);
    TStringByteStream out;
    EXPECT_THROW(cl.ReadStream(&out, 10), ENetClosedGracefully);
    EXPECT_EQ(out.DataString(), "12345");
  }
  {
    TScriptedServer s([](TScriptedConn& c) { c.Drip("abcdefgh", 3, 5ms); });
    TIdTCPClient cl;
    TWorkLog log;
    log.Hook(cl);
    ConnectTo(cl, s);
    TStringByteStream out;
    cl.ReadStream(&out, -1, true);
    EXPECT_EQ(out.DataString(), "abcdefgh");
    EXPECT_EQ(log.Begins, std::vector<int64_t>{0});
    EXPECT_EQ(log.Counts.back(), 8);
  }
}

TEST(NetReadStream, OwnDisconnectInBeginWorkEndsTheReadQuietly) {
  TScriptedServer s([](TScriptedConn& c) {
    c.Send("abc");
    c.WaitForClose();
  });
  TIdTCPClient cl;
  ConnectTo(cl, s);
  cl.OnWorkBegin = [&](TIdTCPConnection*, TWorkMode, int64_t) { cl.Disconnect(); };
  TStringByteStream out;
  EXPECT_NO_THROW(cl.ReadStream(&out, 100));
  EXPECT_FALSE(cl.Connected());
}

TEST(NetCut, CutFromAnotherThreadEndsSilentReadPromptly) {
  TScriptedServer s([](TScriptedConn& c) { c.WaitForClose(); });
  for (int round = 0; round < 2;
       ++round) {  // the cut also ends a stream read, and the client reconnects
    TIdTCPClient cl;
    ConnectTo(cl, s);
    std::thread cutter([&] {
      std::this_thread::sleep_for(100ms);
      cl.Cut();
    });
    auto t0 = std::chrono::steady_clock::now();
    if (round == 0) {
      EXPECT_THROW(cl.ReadLn(), ENetCancelled);
    } else {
      TStringByteStream out;
      EXPECT_THROW(cl.ReadStream(&out, -1, true), ENetCancelled);
    }
    cutter.join();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 5s);
    EXPECT_FALSE(cl.Connected());
    cl.Disconnect();
    ConnectTo(cl, s);  // a fresh connect clears the cut
    EXPECT_TRUE(cl.Connected());
  }
}

TEST(NetCut, CutEndsAConnectThatHangs) {
  // A local listener that never accepts: once its queue is full the kernel
  // drops further handshakes, so a connect waits as it would for a host
  // that does not answer.
  int lfd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(lfd, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  ASSERT_EQ(::bind(lfd, reinterpret_cast<sockaddr*>(&a), len), 0);
  ASSERT_EQ(::listen(lfd, 0), 0);
  ASSERT_EQ(::getsockname(lfd, reinterpret_cast<sockaddr*>(&a), &len), 0);
  std::vector<int> fillers;
  for (int i = 0; i < 4; ++i) {
    int f = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    ::connect(f, reinterpret_cast<sockaddr*>(&a), len);
    fillers.push_back(f);
  }
  std::this_thread::sleep_for(50ms);
  TIdTCPClient cl;
  cl.Host = "127.0.0.1";
  cl.Port = ntohs(a.sin_port);
  std::thread cutter([&] {
    std::this_thread::sleep_for(200ms);
    cl.Cut();
  });
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_THROW(cl.Connect(), ENetCancelled);
  cutter.join();
  EXPECT_LT(std::chrono::steady_clock::now() - t0, 5s);
  EXPECT_FALSE(cl.Connected());
  // Its own connect time-out says the host never took the connection.
  cl.ConnectTimeout = 100;
  EXPECT_THROW(cl.Connect(), ENetUnreachable);
  for (int f : fillers) ::close(f);
  ::close(lfd);
}

TEST(NetConnect, TriesEveryAddressAndReportsFailures) {
  TScriptedServer s([](TScriptedConn& c) { c.Send("hello\r\n"); });
  {
    // By name; where "localhost" also resolves to ::1 first, the IPv4 address
    // the server listens on must still be tried.
    TIdTCPClient cl;
    ConnectTo(cl, s, "localhost");
    EXPECT_EQ(cl.ReadLn(), "hello");
    EXPECT_EQ(cl.PeerAddress(), "127.0.0.1");
  }
  int freePort;
  {
    TScriptedServer gone([](TScriptedConn&) {});
    freePort = gone.Port();
  }
  // A host that cannot be reached is told from a connect that fails for a
  // reason of its own: the callers give up on such a host.
  struct Case {
    const char* name;
    std::string host;
    int port;
    bool unreachable;
  } cases[] = {// An empty label fails in the resolver itself: no query leaves the machine.
               {"unknown host", "no..such-host.invalid", 80, true},
               {"refused", "127.0.0.1", freePort, true},
               {"bad port", "127.0.0.1", 0, false}};
  for (const auto& tc : cases) {
    SCOPED_TRACE(tc.name);
    TIdTCPClient cl;
    cl.Host = tc.host;
    cl.Port = tc.port;
    bool unreachable = false;
    try {
      cl.Connect();
      ADD_FAILURE() << "connected";
    } catch (const ENetUnreachable&) {
      unreachable = true;
    } catch (const ENetConnectError&) {
    }
    EXPECT_EQ(unreachable, tc.unreachable);
    EXPECT_FALSE(cl.Connected());
  }
}

TEST(NetConnect, GracefulDisconnectIsNoticedWithoutRaising) {
  TScriptedServer s([](TScriptedConn& c) { c.Close(); });
  TIdTCPClient cl;
  ConnectTo(cl, s);
  for (int i = 0; i < 100 && cl.Connected(); ++i) {
    cl.CheckForGracefulDisconnect(false);
    std::this_thread::sleep_for(10ms);
  }
  EXPECT_FALSE(cl.Connected());
  EXPECT_TRUE(cl.ClosedGracefully());
}

TEST(NetWrite, WritingToAResetPeerRaisesInsteadOfKillingTheProgram) {
  TScriptedServer s([](TScriptedConn& c) {
    c.ReadLine();
    c.Reset();
  });
  TIdTCPClient cl;
  ConnectTo(cl, s);
  cl.WriteLn("hi");
  std::this_thread::sleep_for(50ms);
  std::string big(1 << 20, 'x');
  EXPECT_THROW(
      {
        for (int i = 0; i < 50; ++i) cl.Write(big);
      },
      ENetError);
}

TEST(NetReplies, MultiLineRepliesAndAcceptedCodes) {
  TScriptedServer s([](TScriptedConn& c) {
    c.Send("220-Welcome\r\n second line\r\n220-still\r\n220 ready\r\n");
    EXPECT_EQ(c.ReadLine(), "USER anonymous");
    c.Send("331 Password please\r\n");
    EXPECT_EQ(c.ReadLine(), "CWD /nope");
    c.Send("550 No such directory\r\n");
    c.Send("garbage\r\n");
    c.WaitForClose();
  });
  TIdTCPClient cl;
  ConnectTo(cl, s);
  EXPECT_EQ(cl.GetResponse({220}), 220);
  EXPECT_EQ(cl.ReplyLines.size(), 4u);
  EXPECT_EQ(cl.ReplyText, "Welcome\n second line\nstill\nready");
  EXPECT_EQ(cl.SendCmd("USER anonymous", {230, 331}), 331);
  EXPECT_EQ(cl.ReplyText, "Password please");
  try {
    cl.SendCmd("CWD /nope", {250});
    ADD_FAILURE() << "no raise";
  } catch (const EIdProtocolReplyError& e) {
    EXPECT_EQ(e.ReplyCode, 550);
    EXPECT_STREQ(e.what(), "No such directory");
  }
  EXPECT_THROW(cl.GetResponse({}), ENetProtocolError);

  // Lines each within their bound may still not add up without limit.
  TScriptedServer flood([](TScriptedConn& c) {
    std::string reply = "220-Welcome\r\n";
    for (int i = 0; i < 100; ++i) reply += "220-" + std::string(15000, 'w') + "\r\n";
    c.Send(reply + "220 ready\r\n");
    c.WaitForClose();
  });
  TIdTCPClient fl;
  ConnectTo(fl, flood);
  EXPECT_THROW(fl.GetResponse({220}), ENetProtocolError);
}

TEST(NetListener, AcceptsOneConnectionAndReadsToTheClose) {
  TIdSimpleServer srv;
  srv.BoundIP = "127.0.0.1";
  srv.BeginListen();
  ASSERT_GT(srv.BoundPort, 0);
  std::thread peer([port = srv.BoundPort] {
    TIdTCPClient c;
    c.Host = "127.0.0.1";
    c.Port = port;
    c.Connect();
    c.Write(std::string(100000, 'd'));
    c.Disconnect();
  });
  ASSERT_TRUE(srv.Listen(5000));
  TStringByteStream out;
  srv.ReadStream(&out, -1, true);
  peer.join();
  EXPECT_EQ(out.Size(), 100000);

  TIdSimpleServer idle;
  idle.BoundIP = "127.0.0.1";
  idle.BeginListen();
  EXPECT_FALSE(idle.Listen(50));
  std::thread cutter([&] {
    std::this_thread::sleep_for(50ms);
    idle.Cut();
  });
  EXPECT_THROW(idle.Listen(), ENetCancelled);
  cutter.join();
}

TEST(NetFetch, TakesTheTextBeforeTheDelimiter) {
  struct Case {
    std::string in, delim;
    bool del;
    std::string head, rest;
  } cases[] = {
      {"HTTP/1.1 200 OK", " ", true, "HTTP/1.1", "200 OK"},
      {"200 OK", " ", false, "200", "200 OK"},
      {"nodelim", " ", true, "nodelim", ""},
      {"a::b", "::", true, "a", "b"},
  };
  for (auto tc : cases) {
    std::string t = tc.in;
    EXPECT_EQ(Fetch(t, tc.delim, tc.del), tc.head) << tc.in;
    EXPECT_EQ(t, tc.rest) << tc.in;
  }
}

}  // namespace
}  // namespace qv
