#pragma once

// Makes writes fail part-way, as on a full disk.

#include <signal.h>
#include <sys/resource.h>

namespace qv::test {

// For the object's life a write past `bytes` into any file fails with EFBIG
// instead of raising SIGXFSZ.
class TFileSizeLimit {
 public:
  explicit TFileSizeLimit(rlim_t bytes) {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ignore, &PrevAction);
    getrlimit(RLIMIT_FSIZE, &PrevLimit);
    rlimit small = PrevLimit;
    small.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &small);
  }
  ~TFileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &PrevLimit);
    sigaction(SIGXFSZ, &PrevAction, nullptr);
  }
  TFileSizeLimit(const TFileSizeLimit&) = delete;
  TFileSizeLimit& operator=(const TFileSizeLimit&) = delete;

 private:
  struct sigaction PrevAction {};
  rlimit PrevLimit{};
};

}  // namespace qv::test
