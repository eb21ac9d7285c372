#pragma once

#include <string>

namespace qv {

// Stores text as the URL's file of `kind` ("Data", "Head") with `extension`
// in the local mirror tree under root, and removes the URL's other files of
// that kind (any extension). The new file replaces the old one in one step
// before anything is removed, so a failed write keeps the copy there was.
// True when written; false for a path outside root (URLToLocalPath gives "")
// or any failure. Its file operations run under FileLock; any thread.
bool SaveLocalCopy(const std::string& root, const std::string& kind, const std::string& url,
                   const std::string& text, const std::string& extension);

}  // namespace qv
