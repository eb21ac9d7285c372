#pragma once

#include <string>

namespace qv {

// The download cache: response headers ("Head") and bodies ("Data") kept
// between runs in the cache folder (platform/progfolder.h), laid out as the
// local mirror tree is. Reads and writes run under FileLock; safe from any
// thread once the globals exist.

// The cache's root folder.
std::string CacheRoot();

// Stores `content` as the URL's file of `kind` with `extension` (".txt",
// ".html", ...): 1 on success, 0 on any failure. The new file is complete
// before anything is removed: it replaces a file of the same name in one
// step, then the URL's other files of that kind (any extension) are deleted,
// so a failed write keeps the old cached copy.
int WriteCacheFile(const std::string& kind, const std::string& url, const std::string& content,
                   const std::string& extension);

// The URL's cached file of `kind` (whatever its extension), whose path is put
// into `fileName` (the path it would have when there is none). Gives the
// whole file and refreshes its time, so age pruning counts from the last
// use; "" when there is no such file or it cannot be read.
std::string ReadCacheFile(const std::string& kind, std::string& fileName, const std::string& url);

// Sets the file's time to now: 1, or 0 when it cannot be done. When
// `makeFolders` is set its folder is created first; when `create` is set a
// missing file is created empty. An existing file keeps its content.
int Touchfile(const std::string& fileName, bool create, bool makeFolders);

}  // namespace qv
