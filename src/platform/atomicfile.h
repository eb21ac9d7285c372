#pragma once

#include <string>
#include <string_view>

#include <sys/types.h>

namespace qv {

// Replaces the file's content as one step: the bytes go to a temporary file in
// the same folder (named "." + the name + a random tail), which is given
// `mode`, flushed to disk unless `sync` is off (a cache that may lose its last
// writes in a crash), and renamed over the name. A reader sees the old file or the new one whole;
// on any failure the old file is untouched, the temporary file is removed and the result is false.
// The folder must exist. A symbolic link at the name is replaced by the file, never written
// through.
bool WriteFileAtomic(const std::string& path, std::string_view content, mode_t mode,
                     bool sync = true);

// Creates the folder and every missing parent with `mode`; true when the
// folder exists afterwards.
bool MakeFolderChain(const std::string& folder, mode_t mode);

}  // namespace qv
