#include "platform/nettls.h"

#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>

#include "platform/net.h"

namespace qv {

namespace {

std::string LastSslError() {
  unsigned long e = ERR_get_error();
  ERR_clear_error();
  if (e == 0) return "unknown error";
  char buf[256];
  ERR_error_string_n(e, buf, sizeof buf);
  return buf;
}

// One context per trust source, made on first use and kept for the run:
// loading the system store is costly and a context is safe to share.
SSL_CTX* ContextFor(const std::string& caFile) {
  // OpenSSL first, so that its clean-up at exit runs after the contexts
  // below are freed.
  static const bool initialised = OPENSSL_init_ssl(0, nullptr) == 1;
  (void)initialised;
  using TCtxPtr = std::unique_ptr<SSL_CTX, decltype(&SSL_CTX_free)>;
  static std::mutex lock;
  static std::map<std::string, TCtxPtr> contexts;
  std::lock_guard<std::mutex> guard(lock);
  auto it = contexts.find(caFile);
  if (it != contexts.end()) return it->second.get();
  SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
  if (!ctx) throw ENetConnectError("TLS: cannot create a context: " + LastSslError());
  SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
  SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
  SSL_CTX_set_mode(ctx, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
  int ok = caFile.empty() ? SSL_CTX_set_default_verify_paths(ctx)
                          : SSL_CTX_load_verify_locations(ctx, caFile.c_str(), nullptr);
  if (ok != 1) {
    std::string why = LastSslError();
    SSL_CTX_free(ctx);
    throw ENetConnectError("TLS: cannot load the trust store: " + why);
  }
  contexts.emplace(caFile, TCtxPtr(ctx, &SSL_CTX_free));
  return ctx;
}

bool IsAddressLiteral(const std::string& host) {
  unsigned char buf[16];
  return inet_pton(AF_INET, host.c_str(), buf) == 1 || inet_pton(AF_INET6, host.c_str(), buf) == 1;
}

}  // namespace

std::unique_ptr<TTlsSession> TTlsSession::Handshake(TIdTCPConnection& conn, int fd,
                                                    const std::string& verifyHost,
                                                    const std::string& caFile, int timeoutMs) {
  SSL* ssl = SSL_new(ContextFor(caFile));
  if (!ssl) throw ENetConnectError("TLS: " + LastSslError());
  std::unique_ptr<TTlsSession> session(new TTlsSession(conn, fd, ssl));
  SSL_set_fd(ssl, fd);
  std::string host = verifyHost;
  if (host.size() > 2 && host.front() == '[' && host.back() == ']')
    host = host.substr(1, host.size() - 2);
  if (IsAddressLiteral(host)) {
    X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), host.c_str());
  } else {
    SSL_set_tlsext_host_name(ssl, host.c_str());
    SSL_set_hostflags(ssl, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    if (SSL_set1_host(ssl, host.c_str()) != 1) throw ENetConnectError("TLS: invalid host name");
  }
  for (;;) {
    ERR_clear_error();
    int r = SSL_connect(ssl);
    if (r == 1) break;
    int err = SSL_get_error(ssl, r);
    if (err == SSL_ERROR_WANT_READ || err == SSL_ERROR_WANT_WRITE) {
      if (!conn.WaitFor(fd, err == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, timeoutMs))
        throw ENetConnectError("TLS: handshake timed out");
      continue;
    }
    if (conn.IsCut()) throw ENetCancelled();
    long verify = SSL_get_verify_result(ssl);
    if (verify != X509_V_OK)
      throw ENetConnectError(std::string("TLS: certificate refused: ") +
                             X509_verify_cert_error_string(verify));
    throw ENetConnectError("TLS: handshake failed: " + LastSslError());
  }
  return session;
}

TTlsSession::~TTlsSession() { SSL_free(static_cast<SSL*>(FSsl)); }

size_t TTlsSession::Read(char* buf, size_t n, int timeoutMs, bool& timedOut) {
  SSL* ssl = static_cast<SSL*>(FSsl);
  timedOut = false;
  // One record holds at most 16 KiB: keep taking records while they are
  // already there, so a large read costs one wait and few writes downstream.
  size_t total = 0;
  while (total < n) {
    ERR_clear_error();
    size_t got = 0;
    int r = SSL_read_ex(ssl, buf + total, n - total, &got);
    if (r == 1) {
      total += got;
      continue;
    }
    int err = SSL_get_error(ssl, r);
    if (err == SSL_ERROR_WANT_READ || err == SSL_ERROR_WANT_WRITE) {
      if (total > 0) return total;
      if (!FConn.WaitFor(FFd, err == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, timeoutMs)) {
        timedOut = true;
        return 0;
      }
      continue;
    }
    if (FConn.IsCut()) throw ENetCancelled();
    if (total > 0) return total;  // the close or error shows at the next read
    if (err == SSL_ERROR_ZERO_RETURN) return 0;
    // A TCP close without close_notify still ends the stream, but the
    // reader is told: data delimited by the close may have been cut short.
    if (err == SSL_ERROR_SYSCALL && ERR_peek_error() == 0) {
      if (errno == 0) {
        FClosedWithoutNotify = true;
        return 0;
      }
      throw ENetError(std::string("TLS: read failed: ") + strerror(errno));
    }
    if (err == SSL_ERROR_SSL &&
        ERR_GET_REASON(ERR_peek_error()) == SSL_R_UNEXPECTED_EOF_WHILE_READING) {
      ERR_clear_error();
      FClosedWithoutNotify = true;
      return 0;
    }
    throw ENetError("TLS: read failed: " + LastSslError());
  }
  return total;
}

void TTlsSession::Write(const char* data, size_t n, int timeoutMs) {
  SSL* ssl = static_cast<SSL*>(FSsl);
  while (n > 0) {
    ERR_clear_error();
    size_t done = 0;
    int r = SSL_write_ex(ssl, data, n, &done);
    if (r == 1) {
      data += done;
      n -= done;
      continue;
    }
    int err = SSL_get_error(ssl, r);
    if (err == SSL_ERROR_WANT_READ || err == SSL_ERROR_WANT_WRITE) {
      if (!FConn.WaitFor(FFd, err == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, timeoutMs))
        throw ENetTimeout();
      continue;
    }
    if (FConn.IsCut()) throw ENetCancelled();
    throw ENetError("TLS: write failed: " + LastSslError());
  }
}

bool TTlsSession::Pending() const { return SSL_pending(static_cast<SSL*>(FSsl)) > 0; }

void TTlsSession::Close() noexcept {
  SSL* ssl = static_cast<SSL*>(FSsl);
  ERR_clear_error();
  SSL_shutdown(ssl);
  ERR_clear_error();
}

}  // namespace qv
