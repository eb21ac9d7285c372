#pragma once

// TLS client sessions over a connection's non-blocking socket (OpenSSL 3).
// Internal to platform/net: connections own one session while TLS is on.

#include <cstddef>
#include <memory>
#include <string>

namespace qv {

class TIdTCPConnection;

class TTlsSession {
 public:
  // Runs the client handshake on fd, waiting through conn (deadline and
  // cut). The peer's certificate chain must verify against caFile (or the
  // system store when empty) and name verifyHost. Raises ENetConnectError
  // on any failure, ENetCancelled on a cut.
  static std::unique_ptr<TTlsSession> Handshake(TIdTCPConnection& conn, int fd,
                                                const std::string& verifyHost,
                                                const std::string& caFile, int timeoutMs);
  ~TTlsSession();
  TTlsSession(const TTlsSession&) = delete;
  TTlsSession& operator=(const TTlsSession&) = delete;

  // Up to n bytes; 0 at the peer's close or on time-out (timedOut set).
  size_t Read(char* buf, size_t n, int timeoutMs, bool& timedOut);
  // The peer's close came without close_notify (TCP ended under TLS).
  bool ClosedWithoutNotify() const { return FClosedWithoutNotify; }
  void Write(const char* data, size_t n, int timeoutMs);
  // Whether decrypted bytes wait inside the session.
  bool Pending() const;
  // Sends close-notify if the socket takes it at once; never waits.
  void Close() noexcept;

 private:
  TTlsSession(TIdTCPConnection& conn, int fd, void* ssl) : FConn(conn), FFd(fd), FSsl(ssl) {}
  TIdTCPConnection& FConn;
  int FFd;
  void* FSsl;  // SSL*
  bool FClosedWithoutNotify = false;
};

}  // namespace qv
