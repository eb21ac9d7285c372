#pragma once
// RFC 3986 section 5.2 written as plainly as the RFC states it (merge, then the
// five-rule loop of remove_dot_segments), as the oracle ResolveURL's dot-segment
// handling is checked against. For paths whose segments are plain names, empty
// or exactly "." and "..", the program's rules must give the same path.

#include <string>

namespace qv::testref {

// Section 5.2.3.
inline std::string MergePath(bool baseHasAuthority, const std::string& basePath,
                             const std::string& refPath) {
  if (baseHasAuthority && basePath.empty()) return "/" + refPath;
  const std::size_t slash = basePath.rfind('/');
  return slash == std::string::npos ? refPath : basePath.substr(0, slash + 1) + refPath;
}

// Section 5.2.4.
inline std::string RemoveDotSegments(std::string in) {
  std::string out;
  auto dropLastSegment = [&out] {
    const std::size_t slash = out.rfind('/');
    out.erase(slash == std::string::npos ? 0 : slash);
  };
  while (!in.empty()) {
    if (in.rfind("../", 0) == 0) {
      in.erase(0, 3);
    } else if (in.rfind("./", 0) == 0) {
      in.erase(0, 2);
    } else if (in.rfind("/./", 0) == 0) {
      in.erase(0, 2);
    } else if (in == "/.") {
      in = "/";
    } else if (in.rfind("/../", 0) == 0) {
      in.erase(0, 3);
      dropLastSegment();
    } else if (in == "/..") {
      in = "/";
      dropLastSegment();
    } else if (in == "." || in == "..") {
      in.clear();
    } else {
      const std::size_t end = in.find('/', 1);
      out += in.substr(0, end);
      in.erase(0, end == std::string::npos ? in.size() : end);
    }
  }
  return out;
}

}  // namespace qv::testref
