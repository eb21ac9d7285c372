// robots.txt texts from the network: any bytes parse, and every rule kept
// belongs to the site the file came from.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "engine/robots.h"
#include "model/uriparser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  qv::TRobotsStore store;
  store.ParseRobotsTxt("http://h:8080", text, "Quendravilos/1.0");
  for (const std::string& prefix : store.DisallowedSnapshot()) {
    if (prefix.empty()) std::abort();
    if (static_cast<unsigned char>(prefix.back()) > ' ' && !store.IsDisallowed(prefix + "x"))
      std::abort();
    std::string site = qv::URLSite(prefix);
    if (site.size() != 13 || (site != "http://h:8080" && site != "http://H:8080")) std::abort();
  }
  (void)store.IsDisallowed(text.substr(0, 200));
  return 0;
}
