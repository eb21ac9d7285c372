// A URI list dropped by another program: file URIs become local paths.
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
  for (const auto& e : qv::URIListEntries(bytes))
    Check(!e.empty() && e[0] != '#' && e.find_first_of("\r\n") == std::string::npos);
  const auto paths = qv::FilePathsFromURIList(bytes);
  for (const auto& p : paths) {
    Check(!p.empty() && p[0] == '/' && p.find('\0') == std::string::npos);
    Check(qv::FileURIToPath(qv::PathToFileURI(p)) == p);
  }
  Check(qv::FilePathsFromURIList(qv::URIListFromPaths(paths)) == paths);
  return 0;
}
