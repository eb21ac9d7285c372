// An "HTML Format" block from another program: header lines with offsets.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "model/dropbytes.h"

namespace {
void Check(bool ok) {
  if (!ok) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), data ? size : 0);
  const qv::THTMLFormat f = qv::ParseHTMLFormat(bytes);
  Check(f.HTML.size() <= bytes.size());
  if (!f.HasHeader) {
    Check(f.HTML == bytes);
  } else {
    Check(f.HTML.find('\0') == std::string::npos);
    Check(f.HTML.empty() || bytes.find(f.HTML) != std::string_view::npos);
    Check(f.SourceURL.empty() || bytes.find(f.SourceURL) != std::string_view::npos);
  }
  return 0;
}
