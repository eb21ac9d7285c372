// A dropped image block: offsets and texts from another program.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "model/tvurlutils.h"

namespace {
void Check(bool ok) {
  if (!ok) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view block(reinterpret_cast<const char*>(data), data ? size : 0);
  const qv::TURLImage r = qv::ParseImageDropRecord(block);
  for (const std::string* t : {&r.ImageURL, &r.LinkURL, &r.Title}) {
    Check(t->find('\0') == std::string::npos);
    Check(t->empty() || block.find(*t + '\0') != std::string_view::npos);
  }
  return 0;
}
