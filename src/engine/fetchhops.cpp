#include "engine/fetchhops.h"

#include "model/strutils.h"
#include "model/uriparser.h"

namespace qv {

std::string NextHopURL(const std::string& fetched, const std::string& location,
                       const std::string& contentLocation, std::set<std::string>& seen) {
  const std::string target = TrimBlanks(location.empty() ? contentLocation : location);
  if (target.empty()) return "";
  const std::string next = ResolveURL(fetched, target);
  if (next.empty() || next == NormaliseURL(fetched)) return "";
  if (!seen.insert(next).second) return "";
  return next;
}

}  // namespace qv
