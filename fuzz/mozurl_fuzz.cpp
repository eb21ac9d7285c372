// text/x-moz-url from a browser: a URL and a title, UTF-16 or 8-bit.
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
  const qv::TMozURL m = qv::ParseMozURL(bytes);
  bool be = false;
  const bool utf16 = qv::LooksUtf16(bytes, &be);
  for (const std::string* t : {&m.URL, &m.Title}) {
    Check(t->find('\0') == std::string::npos && t->find('\n') == std::string::npos);
    Check(t->size() <= qv::kDropTextLimit);
    if (utf16) Check(qv::IsValidUtf8(*t));
  }
  const std::string text = qv::DropBytesToText(bytes);
  Check(text.size() <= qv::kDropTextLimit && text.find('\0') == std::string::npos);
  if (!utf16) Check(bytes.substr(0, text.size()) == text);
  return 0;
}
