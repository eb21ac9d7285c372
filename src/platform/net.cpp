#include "platform/net.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/nettls.h"

namespace qv {

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t ReadChunk = 256 * 1024;
constexpr size_t BufferChunk = 64 * 1024;
constexpr size_t MaxReplyLines = 4096;
// A reply is kept whole (its lines and its text): long lines must not add
// up to a great deal of memory either.
constexpr size_t MaxReplyBytes = 1024 * 1024;

void IgnoreSigPipe() {
  static std::once_flag once;
  std::call_once(once, [] { std::signal(SIGPIPE, SIG_IGN); });
}

std::string SysError(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

std::string AddressText(const sockaddr_storage& ss) {
  char buf[INET6_ADDRSTRLEN] = "";
  if (ss.ss_family == AF_INET)
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(ss).sin_addr, buf, sizeof buf);
  else if (ss.ss_family == AF_INET6)
    inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6&>(ss).sin6_addr, buf, sizeof buf);
  return buf;
}

int PortOf(const sockaddr_storage& ss) {
  if (ss.ss_family == AF_INET) return ntohs(reinterpret_cast<const sockaddr_in&>(ss).sin_port);
  if (ss.ss_family == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6&>(ss).sin6_port);
  return 0;
}

// Closes a descriptor unless released: keeps half-made sockets from leaking
// when a connect attempt raises.
struct TFdGuard {
  int Fd;
  explicit TFdGuard(int fd) : Fd(fd) {}
  ~TFdGuard() {
    if (Fd >= 0) ::close(Fd);
  }
  int Release() {
    int f = Fd;
    Fd = -1;
    return f;
  }
};

}  // namespace

// ---------------------------------------------------------------- connection

TIdTCPConnection::TIdTCPConnection() {
  IgnoreSigPipe();
  FCancelFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (FCancelFd < 0) throw ENetError(SysError("eventfd"));
}

TIdTCPConnection::~TIdTCPConnection() {
  FTls.reset();
  CloseSocket();
  if (FCancelFd >= 0) ::close(FCancelFd);
}

bool TIdTCPConnection::Connected() const {
  return FFd >= 0 && !FCut.load(std::memory_order_acquire);
}

void TIdTCPConnection::CloseSocket() noexcept {
  std::lock_guard<std::mutex> guard(FFdLock);
  if (FFd >= 0) ::close(FFd);
  FFd = -1;
}

void TIdTCPConnection::Disconnect() noexcept {
  bool wasOpen = FFd >= 0;
  if (FTls) {
    if (!IsCut()) FTls->Close();
    FTls.reset();
  }
  CloseSocket();
  FInBuf.clear();
  FInPos = 0;
  FDisconnectedInRead = true;
  if (wasOpen) {
    try {
      DoStatus(hsDisconnected);
      if (OnDisconnected) OnDisconnected(this);
    } catch (...) {
    }
  }
}

void TIdTCPConnection::Cut() noexcept {
  {
    std::lock_guard<std::mutex> guard(FFdLock);
    // Flag first: the owner's read may return the shutdown's end of data at
    // once and must see it as a cut, not as the peer's close.
    FCut.store(true, std::memory_order_seq_cst);
    if (FFd >= 0) ::shutdown(FFd, SHUT_RDWR);
  }
  uint64_t one = 1;
  ssize_t w = ::write(FCancelFd, &one, sizeof one);
  (void)w;
}

void TIdTCPConnection::ResetCut() {
  uint64_t v;
  while (::read(FCancelFd, &v, sizeof v) > 0) {
  }
  FCut.store(false, std::memory_order_release);
}

int TIdTCPConnection::EffectiveTimeout(int timeoutMs) const {
  if (timeoutMs == TimeoutDefault) timeoutMs = ReadTimeout;
  return timeoutMs < 0 ? TimeoutInfinite : timeoutMs;
}

bool TIdTCPConnection::WaitFor(int fd, short events, int timeoutMs) {
  auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
  for (;;) {
    if (FCut.load(std::memory_order_acquire)) throw ENetCancelled();
    int wait = -1;
    if (timeoutMs >= 0) {
      auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      wait = left < 0 ? 0 : static_cast<int>(left);
    }
    pollfd fds[2] = {{fd, events, 0}, {FCancelFd, POLLIN, 0}};
    int r = ::poll(fds, 2, wait);
    if (r < 0) {
      if (errno == EINTR) continue;
      throw ENetError(SysError("poll"));
    }
    if (fds[1].revents) throw ENetCancelled();
    if (r > 0 && fds[0].revents) return true;
    if (r == 0 && timeoutMs >= 0) return false;
  }
}

void TIdTCPConnection::AttachSocket(int fd) {
  int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
  int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  {
    std::lock_guard<std::mutex> guard(FFdLock);
    FFd = fd;
  }
  FInBuf.clear();
  FInPos = 0;
  FClosedGracefully = false;
  FDisconnectedInRead = false;
}

void TIdTCPConnection::StartTls(const std::string& verifyHost, const std::string& caFile) {
  if (FFd < 0) throw ENetNotConnected();
  try {
    FTls = TTlsSession::Handshake(*this, FFd, verifyHost, caFile, EffectiveTimeout(TimeoutDefault));
  } catch (...) {
    FTls.reset();
    CloseSocket();
    throw;
  }
}

void TIdTCPConnection::DoStatus(TIdStatus status, const std::string& text) {
  if (OnStatus) OnStatus(this, status, text);
}

void TIdTCPConnection::BeginWork(TWorkMode mode, int64_t size) {
  FWorkCount = 0;
  if (OnWorkBegin) OnWorkBegin(this, mode, size);
}

void TIdTCPConnection::DoWork(TWorkMode mode, int64_t count) {
  if (OnWork) OnWork(this, mode, count);
}

void TIdTCPConnection::EndWork(TWorkMode mode) {
  if (OnWorkEnd) OnWorkEnd(this, mode);
}

// --- raw transfer

size_t TIdTCPConnection::RawRecv(char* buf, size_t n, int timeoutMs, bool& timedOut) {
  timedOut = false;
  if (FFd < 0) throw ENetNotConnected();
  if (FTls) return FTls->Read(buf, n, timeoutMs, timedOut);
  for (;;) {
    ssize_t r = ::recv(FFd, buf, n, 0);
    if (r >= 0) {
      if (r == 0 && IsCut()) throw ENetCancelled();
      return static_cast<size_t>(r);
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      // A zero wait asks only for what is there, and the read just said:
      // nothing (the cut sets its flag before it wakes a waiter).
      if (timeoutMs == 0) {
        if (IsCut()) throw ENetCancelled();
        timedOut = true;
        return 0;
      }
      if (!WaitFor(FFd, POLLIN, timeoutMs)) {
        timedOut = true;
        return 0;
      }
      continue;
    }
    if (IsCut()) throw ENetCancelled();
    throw ENetError(SysError("Socket read failed"));
  }
}

void TIdTCPConnection::RawSend(const char* data, size_t n) {
  if (!Connected()) {
    if (IsCut()) throw ENetCancelled();
    throw ENetNotConnected();
  }
  int timeout = WriteTimeout < 0 ? TimeoutInfinite : WriteTimeout;
  if (FTls) {
    FTls->Write(data, n, timeout);
    return;
  }
  while (n > 0) {
    ssize_t w = ::send(FFd, data, n, MSG_NOSIGNAL);
    if (w >= 0) {
      data += w;
      n -= static_cast<size_t>(w);
      continue;
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      if (!WaitFor(FFd, POLLOUT, timeout)) throw ENetTimeout();
      continue;
    }
    if (IsCut()) throw ENetCancelled();
    throw ENetError(SysError("Socket write failed"));
  }
}

bool TIdTCPConnection::FillBuffer(int timeoutMs) {
  if (FInPos > 0 && FInPos == FInBuf.size()) {
    FInBuf.clear();
    FInPos = 0;
  } else if (FInPos > BufferChunk && FInPos * 2 > FInBuf.size()) {
    FInBuf.erase(0, FInPos);
    FInPos = 0;
  }
  if (!FRecvChunk) FRecvChunk = std::make_unique<char[]>(BufferChunk);
  bool timedOut = false;
  const size_t got = RawRecv(FRecvChunk.get(), BufferChunk, timeoutMs, timedOut);
  FInBuf.append(FRecvChunk.get(), got);
  if (got > 0) return true;
  if (!timedOut) FClosedGracefully = true;
  return false;
}

// --- writes

void TIdTCPConnection::Write(const std::string& text) { RawSend(text.data(), text.size()); }

void TIdTCPConnection::WriteBuffer(const char* data, size_t n) { RawSend(data, n); }

void TIdTCPConnection::WriteLn(const std::string& text) { Write(text + "\r\n"); }

void TIdTCPConnection::WriteStrings(const std::vector<std::string>& lines) {
  std::string all;
  for (const auto& l : lines) all += l + "\r\n";
  Write(all);
}

void TIdTCPConnection::WriteStream(TByteStream& stream) {
  int64_t left = std::max<int64_t>(0, stream.Size() - stream.Position());
  BeginWork(wmWrite, left);
  std::string buf(BufferChunk, '\0');
  int64_t sent = 0;
  for (;;) {
    size_t n = stream.Read(&buf[0], buf.size());
    if (n == 0) break;
    RawSend(buf.data(), n);
    sent += static_cast<int64_t>(n);
    DoWork(wmWrite, sent);
  }
  EndWork(wmWrite);
}

// --- reads

std::string TIdTCPConnection::ReadLn(const std::string& terminator, int timeoutMs,
                                     size_t maxLength) {
  const std::string term = terminator.empty() ? std::string("\n") : terminator;
  const size_t limit = maxLength ? maxLength : MaxLineLength;
  const int timeout = EffectiveTimeout(timeoutMs);
  ReadLnTimedOut = false;
  size_t scanned = FInPos;
  for (;;) {
    size_t from = scanned >= FInPos + term.size() ? scanned - term.size() + 1 : FInPos;
    size_t at = FInBuf.find(term, from);
    if (at != std::string::npos) {
      size_t len = at - FInPos;
      if (term == "\n" && len > 0 && FInBuf[at - 1] == '\r') --len;
      if (len > limit)
        throw ENetProtocolError("Line too long (over " + std::to_string(limit) + " bytes)");
      std::string line = FInBuf.substr(FInPos, len);
      FInPos = at + term.size();
      return line;
    }
    scanned = FInBuf.size();
    if (FInBuf.size() - FInPos > limit + term.size() + 1)
      throw ENetProtocolError("Line too long (over " + std::to_string(limit) + " bytes)");
    if (FFd < 0) {
      if (IsCut()) throw ENetCancelled();
      throw ENetNotConnected();
    }
    // Keep the scan position valid across compaction in FillBuffer.
    size_t before = FInPos;
    if (!FillBuffer(timeout)) {
      if (!FClosedGracefully) {
        ReadLnTimedOut = true;
        return "";
      }
      throw ENetClosedGracefully();
    }
    if (FInPos != before) scanned = FInPos + (scanned - before);
  }
}

int64_t TIdTCPConnection::ReadStreamPart(TByteStream* stream, int64_t count) {
  int64_t done = 0;
  // Bytes that arrived with earlier reads come first.
  size_t avail = FInBuf.size() - FInPos;
  if (avail > 0 && count != 0) {
    size_t take = count < 0
                      ? avail
                      : static_cast<size_t>(std::min<int64_t>(count, static_cast<int64_t>(avail)));
    if (stream) stream->Write(FInBuf.data() + FInPos, take);
    FInPos += take;
    if (FInPos == FInBuf.size()) {
      FInBuf.clear();
      FInPos = 0;
    }
    done += static_cast<int64_t>(take);
    FWorkCount += static_cast<int64_t>(take);
    DoWork(wmRead, FWorkCount);
  }
  std::string buf;
  const int timeout = EffectiveTimeout(TimeoutDefault);
  while (count < 0 || done < count) {
    if (FFd < 0) {
      if (FDisconnectedInRead) return done;  // our own side stopped the transfer
      if (IsCut()) throw ENetCancelled();
      throw ENetNotConnected();
    }
    if (buf.empty()) buf.resize(ReadChunk);
    size_t want = count < 0 ? buf.size()
                            : static_cast<size_t>(std::min<int64_t>(
                                  count - done, static_cast<int64_t>(buf.size())));
    bool timedOut = false;
    size_t got = RawRecv(&buf[0], want, timeout, timedOut);
    if (got == 0) {
      if (timedOut) throw ENetTimeout();
      FClosedGracefully = true;
      // Without close_notify, whoever can reset the TCP connection can end
      // the data where it likes.
      if (count < 0 && !(FTls && FTls->ClosedWithoutNotify())) break;
      throw ENetClosedGracefully();
    }
    if (stream) stream->Write(buf.data(), got);
    done += static_cast<int64_t>(got);
    FWorkCount += static_cast<int64_t>(got);
    DoWork(wmRead, FWorkCount);
  }
  return done;
}

void TIdTCPConnection::ReadStream(TByteStream* stream, int64_t count, bool toEnd) {
  if (count < 0 && !toEnd) count = -1;
  BeginWork(wmRead, count > 0 ? count : 0);
  try {
    ReadStreamPart(stream, toEnd && count < 0 ? -1 : count);
  } catch (...) {
    EndWork(wmRead);
    throw;
  }
  EndWork(wmRead);
}

std::string TIdTCPConnection::ReadString(size_t n) {
  TStringByteStream s;
  int64_t saved = FWorkCount;
  ReadStreamPart(&s, static_cast<int64_t>(n));
  FWorkCount = saved;
  return s.TakeString();
}

void TIdTCPConnection::CheckForGracefulDisconnect(bool raiseIfClosed) {
  if (!Connected()) {
    if (raiseIfClosed) throw ENetClosedGracefully();
    return;
  }
  if (InputBufferSize() > 0 || (FTls && FTls->Pending())) return;
  bool closed = false;
  try {
    // A zero wait reads only what is already there (a TLS alert, a FIN).
    if (!FillBuffer(0)) closed = FClosedGracefully;
  } catch (const ENetCancelled&) {
    throw;
  } catch (const ENetError&) {
    closed = true;  // a reset: the connection is as good as closed
  }
  if (closed) {
    FClosedGracefully = true;
    FTls.reset();
    CloseSocket();
    FInBuf.clear();
    FInPos = 0;
    if (raiseIfClosed) throw ENetClosedGracefully();
  }
}

void TIdTCPConnection::DisconnectUnlessIdle() {
  if (!Connected()) return;
  bool stray = InputBufferSize() > 0 || (FTls && FTls->Pending());
  bool closed = false;
  if (!stray) {
    try {
      // A zero wait reads only what is already there.
      if (FillBuffer(0))
        stray = true;
      else
        closed = FClosedGracefully;
    } catch (const ENetCancelled&) {
      throw;
    } catch (const ENetError&) {
      closed = true;  // a reset
    }
  }
  if (stray || closed) Disconnect();
}

void TIdTCPConnection::ResetDefaults() {
  ReadTimeout = TimeoutInfinite;
  WriteTimeout = TimeoutInfinite;
  MaxLineLength = 16 * 1024;
  OnConnected = nullptr;
  OnDisconnected = nullptr;
  OnWorkBegin = nullptr;
  OnWork = nullptr;
  OnWorkEnd = nullptr;
  OnStatus = nullptr;
  ReplyCode = 0;
  ReplyText.clear();
  ReplyLines.clear();
  ReadLnTimedOut = false;
}

// --- numeric replies

int TIdTCPConnection::SendCmd(const std::string& command, std::initializer_list<int> accepted) {
  return SendCmd(command, std::vector<int>(accepted));
}

int TIdTCPConnection::SendCmd(const std::string& command, const std::vector<int>& accepted) {
  if (!command.empty()) WriteLn(command);
  return GetResponse(accepted);
}

namespace {
bool IsReplyStart(const std::string& line) {
  return line.size() >= 3 && isdigit(static_cast<unsigned char>(line[0])) &&
         isdigit(static_cast<unsigned char>(line[1])) &&
         isdigit(static_cast<unsigned char>(line[2])) &&
         (line.size() == 3 || line[3] == ' ' || line[3] == '-');
}
}  // namespace

int TIdTCPConnection::GetResponse(const std::vector<int>& accepted) {
  ReplyLines.clear();
  ReplyText.clear();
  ReplyCode = 0;
  std::string first = ReadLn("\n", TimeoutDefault);
  if (ReadLnTimedOut) throw ENetTimeout();
  if (!IsReplyStart(first)) throw ENetProtocolError("Malformed reply: " + first.substr(0, 80));
  ReplyLines.push_back(first);
  size_t replyBytes = first.size();
  const std::string code = first.substr(0, 3);
  if (first.size() > 3 && first[3] == '-') {
    // RFC 959: the reply ends at the first line that starts with the same
    // code followed by a blank.
    for (;;) {
      if (ReplyLines.size() >= MaxReplyLines)
        throw ENetProtocolError("Reply too long (over " + std::to_string(MaxReplyLines) +
                                " lines)");
      std::string line = ReadLn("\n", TimeoutDefault);
      if (ReadLnTimedOut) throw ENetTimeout();
      replyBytes += line.size() + 1;
      if (replyBytes > MaxReplyBytes)
        throw ENetProtocolError("Reply too long (over " + std::to_string(MaxReplyBytes) +
                                " bytes)");
      ReplyLines.push_back(line);
      if (line.size() >= 3 && line.compare(0, 3, code) == 0 && (line.size() == 3 || line[3] == ' '))
        break;
    }
  }
  for (size_t i = 0; i < ReplyLines.size(); ++i) {
    const std::string& l = ReplyLines[i];
    if (i) ReplyText += '\n';
    if (l.size() >= 4 && l.compare(0, 3, code) == 0 && (l[3] == ' ' || l[3] == '-'))
      ReplyText += l.substr(4);
    else if (l.size() == 3 && l == code)
      ;
    else
      ReplyText += l;
  }
  ReplyCode = std::stoi(code);
  bool any = accepted.empty() || std::find(accepted.begin(), accepted.end(), -1) != accepted.end();
  if (!any && std::find(accepted.begin(), accepted.end(), ReplyCode) == accepted.end())
    throw EIdProtocolReplyError(ReplyCode, ReplyText);
  return ReplyCode;
}

// --- addresses

std::string TIdTCPConnection::LocalAddress() const {
  sockaddr_storage ss{};
  socklen_t len = sizeof ss;
  if (FFd < 0 || ::getsockname(FFd, reinterpret_cast<sockaddr*>(&ss), &len) != 0) return "";
  return AddressText(ss);
}

int TIdTCPConnection::LocalPort() const {
  sockaddr_storage ss{};
  socklen_t len = sizeof ss;
  if (FFd < 0 || ::getsockname(FFd, reinterpret_cast<sockaddr*>(&ss), &len) != 0) return 0;
  return PortOf(ss);
}

std::string TIdTCPConnection::PeerAddress() const {
  sockaddr_storage ss{};
  socklen_t len = sizeof ss;
  if (FFd < 0 || ::getpeername(FFd, reinterpret_cast<sockaddr*>(&ss), &len) != 0) return "";
  return AddressText(ss);
}

int TIdTCPConnection::PeerPort() const {
  sockaddr_storage ss{};
  socklen_t len = sizeof ss;
  if (FFd < 0 || ::getpeername(FFd, reinterpret_cast<sockaddr*>(&ss), &len) != 0) return 0;
  return PortOf(ss);
}

// ---------------------------------------------------------------- client

void TIdTCPClient::ConnectPlain() {
  if (HasSocket()) Disconnect();
  ResetCut();
  if (Port <= 0 || Port > 65535) throw ENetConnectError("Invalid port " + std::to_string(Port));
  std::string host = Host;
  if (host.size() > 2 && host.front() == '[' && host.back() == ']')
    host = host.substr(1, host.size() - 2);
  DoStatus(hsResolving, host);
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  int rc = ::getaddrinfo(host.c_str(), std::to_string(Port).c_str(), &hints, &list);
  if (rc != 0 || !list) throw ENetUnreachable("Host not found: " + host);
  std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> owner(list, &::freeaddrinfo);
  std::string lastError = "Connection refused";
  // No socket of our own (out of descriptors) says nothing of the host.
  bool tried = false;
  for (addrinfo* ai = list; ai; ai = ai->ai_next) {
    TFdGuard fd(
        ::socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, ai->ai_protocol));
    if (fd.Fd < 0) {
      lastError = SysError("socket");
      continue;
    }
    tried = true;
    DoStatus(hsConnecting, host);
    int r = ::connect(fd.Fd, ai->ai_addr, ai->ai_addrlen);
    if (r != 0 && errno != EINPROGRESS) {
      lastError = SysError("connect");
      continue;
    }
    if (r != 0) {
      if (!WaitFor(fd.Fd, POLLOUT, ConnectTimeout < 0 ? TimeoutInfinite : ConnectTimeout)) {
        lastError = "Connect timed out";
        continue;
      }
      int err = 0;
      socklen_t len = sizeof err;
      ::getsockopt(fd.Fd, SOL_SOCKET, SO_ERROR, &err, &len);
      if (err != 0) {
        errno = err;
        lastError = SysError("connect");
        continue;
      }
    }
    AttachSocket(fd.Release());
    DoStatus(hsConnected, host);
    return;
  }
  const std::string why = lastError + " (" + host + ":" + std::to_string(Port) + ")";
  if (!tried) throw ENetConnectError(why);
  throw ENetUnreachable(why);
}

void TIdTCPClient::ResetDefaults() {
  TIdTCPConnection::ResetDefaults();
  Host.clear();
  Port = 0;
  ConnectTimeout = TimeoutInfinite;
  UseTls = false;
  TlsHost.clear();
  CAFile.clear();
}

void TIdTCPClient::StartTlsNow() { StartTls(TlsHost.empty() ? Host : TlsHost, CAFile); }

void TIdTCPClient::Connect() {
  ConnectPlain();
  if (UseTls) StartTlsNow();
  if (OnConnected) OnConnected(this);
}

// ---------------------------------------------------------------- listener

TIdSimpleServer::~TIdSimpleServer() { EndListen(); }

void TIdSimpleServer::BeginListen() {
  EndListen();
  ResetCut();
  bool v6 = BoundIP.find(':') != std::string::npos;
  TFdGuard fd(::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (fd.Fd < 0) throw ENetError(SysError("socket"));
  int one = 1;
  ::setsockopt(fd.Fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_storage ss{};
  socklen_t len;
  if (v6) {
    auto& a = reinterpret_cast<sockaddr_in6&>(ss);
    a.sin6_family = AF_INET6;
    a.sin6_port = htons(static_cast<uint16_t>(BoundPort));
    if (inet_pton(AF_INET6, BoundIP.c_str(), &a.sin6_addr) != 1)
      throw ENetError("Invalid address " + BoundIP);
    len = sizeof a;
  } else {
    auto& a = reinterpret_cast<sockaddr_in&>(ss);
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(BoundPort));
    if (BoundIP.empty())
      a.sin_addr.s_addr = htonl(INADDR_ANY);
    else if (inet_pton(AF_INET, BoundIP.c_str(), &a.sin_addr) != 1)
      throw ENetError("Invalid address " + BoundIP);
    len = sizeof a;
  }
  if (::bind(fd.Fd, reinterpret_cast<sockaddr*>(&ss), len) != 0) throw ENetError(SysError("bind"));
  if (::listen(fd.Fd, 1) != 0) throw ENetError(SysError("listen"));
  sockaddr_storage got{};
  socklen_t glen = sizeof got;
  if (::getsockname(fd.Fd, reinterpret_cast<sockaddr*>(&got), &glen) == 0) BoundPort = PortOf(got);
  FListenFd = fd.Release();
}

bool TIdSimpleServer::Listen(int timeoutMs) {
  if (FListenFd < 0) throw ENetError("Not listening");
  for (;;) {
    if (!WaitFor(FListenFd, POLLIN, timeoutMs < 0 ? TimeoutInfinite : timeoutMs)) return false;
    int fd = ::accept4(FListenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK || errno == ECONNABORTED)
        continue;
      throw ENetError(SysError("accept"));
    }
    AttachSocket(fd);
    EndListen();
    DoStatus(hsConnected, PeerAddress());
    return true;
  }
}

void TIdSimpleServer::EndListen() noexcept {
  if (FListenFd >= 0) ::close(FListenFd);
  FListenFd = -1;
}

// ---------------------------------------------------------------- helpers

std::string Fetch(std::string& text, const std::string& delimiter, bool doDelete) {
  size_t at = delimiter.empty() ? std::string::npos : text.find(delimiter);
  if (at == std::string::npos) {
    std::string all = text;
    if (doDelete) text.clear();
    return all;
  }
  std::string head = text.substr(0, at);
  if (doDelete) text.erase(0, at + delimiter.size());
  return head;
}

}  // namespace qv
