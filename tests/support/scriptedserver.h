#pragma once

// An in-process TCP server on 127.0.0.1 for tests that need exact bytes and
// faults a real server will not produce: silence after accept, a stall in a
// body, a drip feed, malformed framing, a dropped kept-alive connection.
//
// By default the server accepts connections one after the other on its own
// thread and runs the handler for each; serving them concurrently, each
// connection gets a thread of its own (a whole job's worker threads meeting
// one server, where one silent answer must not hold up the others). The
// handler talks to the client through TScriptedConn. Everything the client sent is recorded
// (Received) so the test can compare request bytes exactly. Destroying the server wakes any handler
// that waits and joins the thread.

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qv::test {

class TScriptedServer;

// One canned answer: the bytes to send, and whether to close after them.
struct TScriptedReply {
  TScriptedReply(std::string bytes, bool closeAfter = false)
      : Bytes(std::move(bytes)), CloseAfter(closeAfter) {}
  TScriptedReply(const char* bytes) : TScriptedReply(std::string(bytes)) {}
  std::string Bytes;
  bool CloseAfter = false;
};

// The server side of one accepted connection. Every wait ends when the
// server stops (the handler is then unwound by an internal exception).
class TScriptedConn {
 public:
  int Index() const { return FIndex; }  // 0 for the first connection
  // One HTTP request: the head up to the empty line, plus a body of its
  // Content-Length. "" when the client closed first.
  std::string ReadRequest();
  // One line without its CR LF; "" and Eof() when the client closed.
  std::string ReadLine();
  // Exactly n bytes (fewer when the client closes).
  std::string ReadBytes(size_t n);
  bool Eof() const { return FEof; }
  // False when the client has gone away.
  bool Send(const std::string& bytes);
  // Sends the bytes in pieces of `piece` bytes with a pause between them.
  void Drip(const std::string& bytes, size_t piece, std::chrono::milliseconds pause);
  // Waits until the client closes or the server stops; sends nothing.
  void WaitForClose();
  // Waits for the duration (ends early when the server stops).
  void Sleep(std::chrono::milliseconds d);
  // Closes at once with a reset instead of a FIN.
  void Reset();
  void Close();
  // The socket, for a handler that takes the connection over (a TLS
  // server inside a tunnel). Nothing may be left unread (ReadRequest first).
  int Fd() const { return FFd; }

 private:
  friend class TScriptedServer;
  TScriptedConn(TScriptedServer& server, int fd, int index)
      : FServer(server), FFd(fd), FIndex(index) {}
  bool Fill();
  TScriptedServer& FServer;
  int FFd;
  int FIndex;
  bool FEof = false;
  std::string FBuf;
};

class TScriptedServer {
 public:
  using THandler = std::function<void(TScriptedConn&)>;
  enum TServing { OneByOne, Concurrently };
  // Concurrently, the handler runs on several threads at once.
  explicit TScriptedServer(THandler handler, TServing serving = OneByOne);
  ~TScriptedServer();
  TScriptedServer(const TScriptedServer&) = delete;
  TScriptedServer& operator=(const TScriptedServer&) = delete;

  int Port() const { return FPort; }
  std::string Url(const std::string& path = "/") const;
  int Accepted() const { return FAccepted.load(); }
  // Every request (ReadRequest) received so far, in order.
  std::vector<std::string> Requests() const;
  // Exceptions that escaped handlers (text), for diagnosis.
  std::vector<std::string> Errors() const;

  // A handler that answers each request read on any connection with the
  // next canned reply; after the last reply it closes. A reply "" closes
  // the connection without answering.
  static THandler Replies(std::vector<TScriptedReply> replies);

 private:
  friend class TScriptedConn;
  void Run();
  void Serve(int fd, int index);
  void Record(const std::string& request);
  bool WaitReadable(int fd, int timeoutMs);  // false: stopping

  THandler FHandler;
  TServing FServing;
  int FListenFd = -1;
  int FStopFd = -1;
  int FPort = 0;
  std::atomic<int> FAccepted{0};
  std::atomic<bool> FStopping{false};
  mutable std::mutex FLock;
  std::vector<std::string> FRequests;
  std::vector<std::string> FErrors;
  std::thread FThread;
  std::vector<std::thread> FConnThreads;  // Concurrently; joined last
};

// Builds a response with a Content-Length: status line, extra header lines
// (each without CR LF), then the body.
std::string HttpReply(const std::string& statusLine, const std::string& body,
                      const std::vector<std::string>& headers = {});

}  // namespace qv::test
