// The HTTP client reading whatever a server sends: status line, headers,
// framing (lengths, chunks, trailers) and body. The bytes come from the far
// end of a socket pair, as from a peer that then closes.
#include <cstddef>
#include <cstdint>
#include <string>

#include <sys/socket.h>
#include <unistd.h>

#include "engine/idhttpext.h"

namespace {

class TFuzzHTTP : public qv::TIdHTTPExt {
 public:
  explicit TFuzzHTTP(std::string reply) : FReply(std::move(reply)) {}
  ~TFuzzHTTP() override {
    if (FPeer >= 0) ::close(FPeer);
  }
  void Connect() override {
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) throw qv::ENetConnectError("socketpair");
    if (FPeer >= 0) ::close(FPeer);
    FPeer = fds[1];
    int size = 1 << 20;
    ::setsockopt(FPeer, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
    ::setsockopt(fds[0], SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    // The peer's whole answer, then its close; a second connection (the
    // retry) finds nothing but the close.
    if (!FSent && ::write(FPeer, FReply.data(), FReply.size()) < 0) {
    }
    FSent = true;
    ::shutdown(FPeer, SHUT_WR);
    AttachSocket(fds[0]);
    if (OnConnected) OnConnected(this);
  }

 private:
  std::string FReply;
  int FPeer = -1;
  bool FSent = false;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 100000) return 0;  // fits the socket buffers: no second thread needed
  std::string reply(reinterpret_cast<const char*>(data), size);
  {
    TFuzzHTTP h(reply);
    h.ResponseCode = 0;
    h.GetExt("http://fuzz.example/a/b.html");
  }
  {
    TFuzzHTTP h(reply);
    h.ResponseCode = 0;
    h.HeadExt("http://fuzz.example/");
  }
  return 0;
}
