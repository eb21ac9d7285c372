#pragma once

// The server side of an FTP session for tests that need exact bytes and
// faults a real server will not produce: a server that ignores REST, a
// transfer shorter or longer than announced, silence at any step.
//
// TScriptedFtp accepts one control connection on 127.0.0.1 and runs a script
// on its own thread; the script reads command lines (Command, Until) and
// answers (Reply). Every line that arrived is kept (Received). Data
// connections are made by the script with the helpers below.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qv::test {

// A listening socket on ip with a port chosen by the system; -1 on failure.
int ListenOn(const char* ip, int& port);
// A connection to ip:port made from the local address source; -1 on failure.
int ConnectFrom(const char* source, const std::string& ip, int port);
// Sends every byte; false (and stops) when the peer went away.
bool SendAll(int fd, const std::string& bytes);
// The address and port a PORT command names.
bool PortTarget(const std::string& command, std::string& ip, int& port);

class TScriptedFtp {
 public:
  using TScript = std::function<void(TScriptedFtp&)>;
  explicit TScriptedFtp(TScript script);
  // Wakes a script that waits and joins its thread.
  ~TScriptedFtp();
  TScriptedFtp(const TScriptedFtp&) = delete;
  TScriptedFtp& operator=(const TScriptedFtp&) = delete;

  int Port = 0;

  // False when the client has gone.
  bool Reply(const std::string& text);
  // The next command line without CR LF ("" when the client closed, or
  // after 10 s of silence).
  std::string Command();
  // Answers commands up to and with one starting with prefix using a table
  // of ready answers (USER 331, PASS 230, TYPE 200, PORT 200, anything else
  // 500); returns that command ("" when the client closed).
  std::string Until(const std::string& prefix);
  // Waits until the client closes the control connection (or the server
  // object goes); sends nothing, records nothing.
  void WaitForClose();
  // Every command line that arrived so far.
  std::vector<std::string> Received();
  // Waits until the script has ended and the client has closed.
  void Join();

 private:
  TScript FScript;
  int FListen = -1;
  std::atomic<int> FConn{-1};
  std::thread FThread;
  std::mutex FLock;
  std::vector<std::string> FReceived;
};

// The server's side of an active-mode RETR: takes the PORT, answers RETR with
// `retrReply` and, when that opens the transfer (150), sends `body` on a data
// connection made from `source` and closes it.
void ServeActiveRetr(TScriptedFtp& s, const char* retrReply, const std::string& body,
                     const char* source = "127.0.0.1");

// A greeting that never ends, until the client goes: "220-" lines without
// the final "220 " one, or (oneLine) a single line without its end.
void ServeEndlessGreeting(TScriptedFtp& s, bool oneLine);

// How ServeFile treats a download.
struct TServerBehaviour {
  std::string File;       // the file f.bin
  std::string SizeReply;  // "" = "213 <size of File>"
  std::string RestReply = "350 Restarting.";
  bool HonoursRest = true;     // after a 350, data from the offset
  int64_t SendLimit = -1;      // at most this many bytes of the data
  std::string Extra;           // bytes sent after the data
  bool AnnounceWhole = false;  // 150 names File's size
  std::string Closing = "226 Done.";
};

// A server holding f.bin in its root folder (any other RETR answers 550,
// PWD names the root, any command it does not know answers 500), in active
// and passive mode, until the client quits or closes.
void ServeFile(TScriptedFtp& s, const TServerBehaviour& b);

}  // namespace qv::test
