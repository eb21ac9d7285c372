// FTP replies come from any server the user points at: the multi-line reply
// reader of the connection, the PWD, PASV, SIZE and transfer-size reply
// parsers, the host:port split and the listing splitter all read them. The input is fed through a
// socket pair as the server's side of a control connection.
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/ftp.h"

namespace {

class TFuzzConnection : public qv::TIdTCPConnection {
 public:
  void Attach(int fd) { AttachSocket(fd); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 65536) return 0;  // more than a socket pair buffers unread
  const std::string in(reinterpret_cast<const char*>(data), size);

  std::string host, address;
  int port = 0;
  (void)qv::SplitHostPort(in, host, port, 21);
  (void)qv::SplitListing(in);
  (void)qv::ParsePWDReply(in);
  (void)qv::ParsePASVReply(in, address, port);
  (void)qv::ParseTransferSize(in);
  (void)qv::ParseSizeReply(in);

  int sv[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0) return 0;
  size_t off = 0;
  while (off < in.size()) {
    ssize_t n = ::write(sv[1], in.data() + off, in.size() - off);
    if (n <= 0) break;
    off += static_cast<size_t>(n);
  }
  ::close(sv[1]);
  TFuzzConnection c;
  c.ReadTimeout = 1000;
  c.Attach(sv[0]);
  for (int i = 0; i < 1000; ++i) {
    try {
      c.GetResponse({-1});
    } catch (...) {
      break;
    }
    (void)qv::ParsePWDReply(c.ReplyText);
    (void)qv::ParsePASVReply(c.ReplyText, address, port);
    (void)qv::ParseTransferSize(c.ReplyText);
    (void)qv::ParseSizeReply(c.ReplyText);
  }
  return 0;
}
