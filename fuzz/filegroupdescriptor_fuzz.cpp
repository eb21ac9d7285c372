// A file-group descriptor from another program: the title of a dragged link.
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
  const std::string_view block(reinterpret_cast<const char*>(data), data ? size : 0);
  const auto name = qv::FileGroupDescriptorName(block);
  if (!name) return 0;
  Check(name->size() < 260 && name->find('\0') == std::string::npos);
  Check(block.size() > 76 + name->size() && block.substr(76, name->size()) == *name &&
        block[76 + name->size()] == '\0');
  for (bool bookmark : {false, true}) {
    const std::string title = qv::URLTitleFromFileName(*name, bookmark);
    Check(title.size() <= name->size());
  }
  return 0;
}
