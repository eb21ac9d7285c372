// Our HTTP client's side of bench/http_vs_curl (which starts nginx, runs this
// and curl, and prints the ratios). Standalone it prints its own figures:
//
//   http_bench file URL OUTFILE [CAFILE]    one body into a file
//   http_bench repeat URL COUNT [CAFILE]    COUNT fetches on one connection
//
// Output: "name: value" lines (seconds, bytes, requests).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/idhttpext.h"

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s file URL OUTFILE [CAFILE] | repeat URL COUNT [CAFILE]\n",
                 argv[0]);
    return 2;
  }
  const std::string mode = argv[1], url = argv[2];
  qv::TIdHTTPExt h;
  if (argc > 4) h.CAFile = argv[4];
  int64_t bytes = 0;
  auto t0 = std::chrono::steady_clock::now();
  if (mode == "file") {
    if (!h.GetExt(url, argv[3])) {
      std::fprintf(stderr, "fetch failed: %d %s\n", h.ResponseCode, h.ResponseText.c_str());
      return 1;
    }
    bytes = h.WorkPosition;
  } else if (mode == "repeat") {
    int count = std::atoi(argv[3]);
    int connects = 0;
    h.OnStatus = [&](qv::TIdTCPConnection*, qv::TIdStatus st, const std::string&) {
      connects += st == qv::hsConnecting;
    };
    for (int i = 0; i < count; ++i) {
      std::string body = h.GetExt(url);
      if (body.empty()) {
        std::fprintf(stderr, "fetch %d failed: %d\n", i, h.ResponseCode);
        return 1;
      }
      bytes += static_cast<int64_t>(body.size());
    }
    std::printf("connections: %d\n", connects);
    std::printf("requests: %d\n", count);
  } else {
    std::fprintf(stderr, "unknown mode %s\n", mode.c_str());
    return 2;
  }
  double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  std::printf("seconds: %.6f\n", secs);
  std::printf("bytes: %lld\n", static_cast<long long>(bytes));
  return 0;
}
