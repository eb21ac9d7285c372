#pragma once

// Blocking-style TCP connections for the HTTP and FTP clients.
//
// A connection is owned by one thread, which does every read, write, connect
// and close. Underneath, the socket is non-blocking: each wait is a poll() on
// the socket and on the connection's eventfd, with a deadline. Any other
// thread may call Cut(): it shuts the socket down and wakes the poll, so the
// owner's blocked call raises ENetCancelled promptly; the owner closes the
// socket (Connected() is false after a cut).
//
// Reads are buffered: ReadLn returns bytes that arrived with earlier data,
// and stream reads drain that buffer first. Every line read is bounded
// (MaxLineLength) so a peer cannot make us hold an unbounded line.
//
// Time-outs are in milliseconds; TimeoutInfinite (-2) waits without limit and
// TimeoutDefault (-1) takes the connection's ReadTimeout. SIGPIPE is ignored
// process-wide from the first connection on, so a write to a closed peer
// raises instead of killing the program.
//
// Errors raise exceptions derived from ENetError; no method other than the
// destructor, Disconnect and Cut is noexcept.

#include <atomic>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/bytestream.h"

namespace qv {

constexpr int TimeoutDefault = -1;
constexpr int TimeoutInfinite = -2;

class ENetError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
// Host not found, refused, unreachable, TLS handshake or certificate refused.
class ENetConnectError : public ENetError {
 public:
  using ENetError::ENetError;
};
// The host could not be reached at all: its name did not resolve, or none of
// its addresses took the connection (refused, unreachable, timed out).
class ENetUnreachable : public ENetConnectError {
 public:
  using ENetConnectError::ENetConnectError;
};
// The peer closed the connection before the expected data arrived.
class ENetClosedGracefully : public ENetError {
 public:
  ENetClosedGracefully() : ENetError("Connection closed gracefully.") {}
};
// A wait passed its deadline.
class ENetTimeout : public ENetError {
 public:
  ENetTimeout() : ENetError("Read timed out.") {}
};
// Another thread cut the connection (Cut).
class ENetCancelled : public ENetError {
 public:
  ENetCancelled() : ENetError("Connection cut.") {}
};
class ENetNotConnected : public ENetError {
 public:
  ENetNotConnected() : ENetError("Not connected.") {}
};
// The peer broke the protocol: a line past its bound, a malformed reply.
class ENetProtocolError : public ENetError {
 public:
  using ENetError::ENetError;
};
// A reply code the caller does not accept (FTP commands, HTTP statuses).
class EIdProtocolReplyError : public ENetError {
 public:
  EIdProtocolReplyError(int code, const std::string& text) : ENetError(text), ReplyCode(code) {}
  int ReplyCode;
};

enum TWorkMode { wmRead, wmWrite };
enum TIdStatus {
  hsResolving,
  hsConnecting,
  hsConnected,
  hsDisconnecting,
  hsDisconnected,
  hsStatusText,
  hsRequestSent  // a request went out whole; its answer is awaited
};

class TIdTCPConnection;
using TIdNotifyEvent = std::function<void(TIdTCPConnection* sender)>;
using TIdWorkBeginEvent =
    std::function<void(TIdTCPConnection* sender, TWorkMode mode, int64_t max)>;
using TIdWorkEvent = std::function<void(TIdTCPConnection* sender, TWorkMode mode, int64_t count)>;
using TIdWorkEndEvent = std::function<void(TIdTCPConnection* sender, TWorkMode mode)>;
using TIdStatusEvent =
    std::function<void(TIdTCPConnection* sender, TIdStatus status, const std::string& text)>;

class TTlsSession;  // platform/nettls.h

// One open stream socket (plain or TLS) and its read buffer.
class TIdTCPConnection {
 public:
  TIdTCPConnection();
  virtual ~TIdTCPConnection();
  TIdTCPConnection(const TIdTCPConnection&) = delete;
  TIdTCPConnection& operator=(const TIdTCPConnection&) = delete;

  // --- state (owner thread) ---
  // True while the socket is open and has not been cut.
  bool Connected() const;
  // Closes the socket (TLS close-notify is sent when possible); buffered
  // input is dropped. Never raises. A read in progress on this thread (from
  // a work event) ends quietly with the bytes it already had.
  virtual void Disconnect() noexcept;
  // Any thread: shuts the socket down and wakes a blocked wait, which then
  // raises ENetCancelled. The owner closes the socket later. Never raises.
  void Cut() noexcept;
  // Notes whether the peer has closed (reads nothing that is not already
  // pending); when it has and no data is left, the socket is closed so that
  // Connected() turns false. raiseIfClosed raises ENetClosedGracefully then.
  void CheckForGracefulDisconnect(bool raiseIfClosed = true);
  // The peer's close was seen (by a read or by CheckForGracefulDisconnect).
  bool ClosedGracefully() const { return FClosedGracefully; }
  // Keeps the connection only while it is at rest: nothing received beyond
  // what was read (no buffered or decrypted bytes, none arriving) and the
  // peer still there. Stray bytes mean the peer is not in step with the
  // reads, so what came next would be taken for the answer to the next
  // request: the connection is closed. Never waits; never raises but
  // ENetCancelled.
  void DisconnectUnlessIdle();
  // Puts settings, event handlers and the last reply back to a new
  // connection's values, for an object handed to another user (a pool).
  // Owner thread, with the connection closed.
  virtual void ResetDefaults();

  // --- writes ---
  void Write(const std::string& text);
  void WriteBuffer(const char* data, size_t n);
  void WriteLn(const std::string& text = "");                // text + CR LF
  void WriteStrings(const std::vector<std::string>& lines);  // each + CR LF
  // Sends the stream from its position to its end; work events wmWrite.
  void WriteStream(TByteStream& stream);

  // --- reads ---
  // One line, without the terminator and (for LF) without a CR before it.
  // An empty terminator means LF. When the time-out passes, returns "" and
  // sets ReadLnTimedOut. Raises ENetClosedGracefully when the peer closes
  // before a terminator, ENetProtocolError past maxLength bytes.
  virtual std::string ReadLn(const std::string& terminator = "\n", int timeoutMs = TimeoutDefault,
                             size_t maxLength = 0 /* 0 = MaxLineLength */);
  bool ReadLnTimedOut = false;
  // Exactly count bytes, or (count -1 and toEnd) every byte until the peer
  // closes (over TLS, a close without close_notify raises
  // ENetClosedGracefully: the end of the data cannot be told from a cut). Calls BeginWork(wmRead,
  // count or 0) before, EndWork after, and DoWork with the running byte count after every block. A
  // close before count bytes raises ENetClosedGracefully.
  void ReadStream(TByteStream* stream, int64_t count = -1, bool toEnd = false);
  // Part of a transfer whose BeginWork the caller has fired: reads count
  // bytes (or, with -1, to the peer's close) into stream (may be null:
  // discard), reporting the running count since BeginWork through DoWork.
  // Returns the bytes read. A close before count bytes raises
  // ENetClosedGracefully, unless the owner disconnected meanwhile (then it
  // returns what it had); so does, with -1, a TLS close without
  // close_notify.
  int64_t ReadStreamPart(TByteStream* stream, int64_t count);
  // Exactly n bytes as a string (bounded by the caller).
  std::string ReadString(size_t n);
  // Bytes already received and not yet consumed.
  size_t InputBufferSize() const { return FInBuf.size() - FInPos; }

  // --- replies with numeric codes (RFC 959 shape: "ddd text" or a
  // multi-line "ddd-" ... "ddd " block) ---
  // Sends command (nothing when empty) and reads one reply. accepted empty
  // or holding -1 accepts every code; otherwise a code outside it raises
  // EIdProtocolReplyError (after the whole reply was read). Returns the code.
  int SendCmd(const std::string& command, std::initializer_list<int> accepted = {-1});
  int SendCmd(const std::string& command, const std::vector<int>& accepted);
  int GetResponse(const std::vector<int>& accepted);
  int ReplyCode = 0;                    // code of the last reply
  std::string ReplyText;                // its text: the lines after the code, joined by LF
  std::vector<std::string> ReplyLines;  // its raw lines

  // --- work accounting: virtual so clients can hook the start of a body ---
  virtual void BeginWork(TWorkMode mode, int64_t size);
  virtual void DoWork(TWorkMode mode, int64_t count);
  virtual void EndWork(TWorkMode mode);
  void DoStatus(TIdStatus status, const std::string& text = "");

  // --- addresses of the open socket ---
  std::string LocalAddress() const;
  int LocalPort() const;
  std::string PeerAddress() const;
  int PeerPort() const;

  // --- settings ---
  int ReadTimeout = TimeoutInfinite;   // default for reads, ms
  int WriteTimeout = TimeoutInfinite;  // ms
  size_t MaxLineLength = 16 * 1024;

  // --- events (called on the owner thread) ---
  TIdNotifyEvent OnConnected;
  TIdNotifyEvent OnDisconnected;
  TIdWorkBeginEvent OnWorkBegin;
  TIdWorkEvent OnWork;
  TIdWorkEndEvent OnWorkEnd;
  TIdStatusEvent OnStatus;

 protected:
  // Takes over a connected socket (non-blocking is set here).
  void AttachSocket(int fd);
  // Starts TLS on the open socket as a client; verifies the peer for
  // verifyHost (a name or an address literal). caFile empty = system store.
  void StartTls(const std::string& verifyHost, const std::string& caFile);
  // Waits until fd is ready for events, honouring the deadline and the cut.
  // Returns false on time-out.
  bool WaitFor(int fd, short events, int timeoutMs);
  int CancelFd() const { return FCancelFd; }
  void ResetCut();
  bool IsCut() const { return FCut.load(std::memory_order_acquire); }
  bool HasSocket() const { return FFd >= 0 || FTls != nullptr; }

 private:
  friend class TTlsSession;
  // Reads more bytes into the buffer. Returns false at the peer's close or
  // time-out (FTimedOutFlag tells which).
  bool FillBuffer(int timeoutMs);
  size_t RawRecv(char* buf, size_t n, int timeoutMs, bool& timedOut);
  void RawSend(const char* data, size_t n);
  void CloseSocket() noexcept;
  int EffectiveTimeout(int timeoutMs) const;

  mutable std::mutex FFdLock;  // guards FFd against Cut on another thread
  int FFd = -1;
  int FCancelFd = -1;
  std::atomic<bool> FCut{false};
  bool FClosedGracefully = false;
  bool FDisconnectedInRead = false;
  std::unique_ptr<TTlsSession> FTls;
  std::string FInBuf;
  size_t FInPos = 0;
  // What a read receives into before it joins FInBuf: growing FInBuf by a
  // whole chunk for each read would clear 64 KiB every time.
  std::unique_ptr<char[]> FRecvChunk;
  int64_t FWorkCount = 0;
};

// A client connection to Host:Port. Connect resolves the name, tries every
// address in turn (each bounded by ConnectTimeout), and starts TLS when
// UseTls is set. A failed connect raises ENetConnectError (ENetUnreachable
// when no TCP connection opened) and leaves the connection closed.
class TIdTCPClient : public TIdTCPConnection {
 public:
  std::string Host;
  int Port = 0;
  int ConnectTimeout = TimeoutInfinite;  // ms, per address
  // TLS: verified against the system trust store (SSL_CERT_FILE and
  // SSL_CERT_DIR honoured) or CAFile when set; the peer is checked for
  // TlsHost (Host when empty). TLS 1.2 at least, SNI for names.
  bool UseTls = false;
  std::string TlsHost;
  std::string CAFile;

  virtual void Connect();
  void ResetDefaults() override;
  // Opens the plain TCP connection only (no TLS), for callers that must talk
  // before the handshake (a proxy tunnel); then StartTlsNow.
  void ConnectPlain();
  void StartTlsNow();
};

// A one-connection listener (an FTP data channel in active mode): bind,
// accept one peer, then the object is that connection.
class TIdSimpleServer : public TIdTCPConnection {
 public:
  std::string BoundIP;  // address to bind; empty = 0.0.0.0
  int BoundPort = 0;    // 0 = any; after BeginListen, the port chosen
  // Binds and listens. Raises ENetError when it cannot.
  void BeginListen();
  // Waits for one connection (ms; TimeoutInfinite without limit; the cut
  // ends it too), accepts it and stops listening. Returns false on time-out.
  bool Listen(int timeoutMs = TimeoutInfinite);
  // Stops listening (the accepted connection, if any, stays).
  void EndListen() noexcept;
  ~TIdSimpleServer() override;

 private:
  int FListenFd = -1;
};

// The text before the first delimiter; with doDelete it is removed from
// text together with the delimiter. A missing delimiter gives the whole text
// (and empties it when doDelete).
std::string Fetch(std::string& text, const std::string& delimiter = " ", bool doDelete = true);

}  // namespace qv
