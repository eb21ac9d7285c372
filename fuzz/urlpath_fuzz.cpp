// The local storage layout over arbitrary URLs: every stored name lies inside its
// root and keeps to the length limit. The first byte picks the kind; the rest is
// the URL. The root does not exist, so no folder is ever listed or written.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "model/tvurlutils.h"
#include "model/vkfile.h"

namespace {
void Check(bool ok) {
  if (!ok) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!data || size == 0) return 0;
  static const std::string kRoots[] = {"/nonexistent-qv-fuzz/TvWeb",
                                       "/nonexistent-qv-fuzz/" + std::string(200, 'r')};
  static const char* const kKinds[] = {"Data", "Head", "Data", "Other"};
  const std::string& root = kRoots[data[0] >> 7];
  const std::string kind = kKinds[data[0] & 3];
  const std::string_view url(reinterpret_cast<const char*>(data + 1), size - 1);

  const std::string r = qv::URLToLocalPath(root, url, kind, "");
  if (r.empty()) return 0;
  Check(r.compare(0, root.size() + 1, root + "\\") == 0);
  for (std::size_t i = root.size(); i < r.size(); ++i)
    Check(static_cast<unsigned char>(r[i]) >= 0x20);
  // Once "\" and "/" both separate, the name is still under the root.
  const std::string n = std::filesystem::path(qv::NativePath(r)).lexically_normal().string();
  Check(n.compare(0, root.size() + 1, root + "/") == 0);
  // The folder's name, up to and including the kind, keeps to the limit.
  const std::size_t kindAt = r.rfind("\\" + kind);
  Check(kindAt != std::string::npos);
  Check(kindAt + 1 + kind.size() <= 245);
  return 0;
}
