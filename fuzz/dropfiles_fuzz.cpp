// A shell file-drop block from another program: header offset, wide flag, paths.
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
  const auto paths = qv::ReadDropFilesBlock(block);
  const bool wide = block.size() >= 20 && block.substr(16, 4) != std::string_view("\0\0\0\0", 4);
  size_t total = 0;
  for (const auto& p : paths) {
    Check(!p.empty() && p.find('\0') == std::string::npos);
    if (!wide) Check(block.find(p) != std::string_view::npos);
    if (wide) Check(qv::IsValidUtf8(p));
    total += p.size();
  }
  // UTF-16 grows by at most half when it becomes UTF-8.
  Check(total <= block.size() * 3 / 2);
  // What was read builds a block that reads back the same.
  Check(qv::ReadDropFilesBlock(qv::BuildDropFilesBlock("", paths, wide)) == paths);
  return 0;
}
