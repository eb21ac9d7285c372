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

// The same replacement for content written piece by piece (a file too large
// to build in memory first). Open() makes the temporary file beside the name;
// Write() appends to it; Commit() flushes it to disk (unless `sync` is off)
// and renames it over the name. Any failure, or an object that goes without a
// successful Commit(), removes the temporary file and leaves the old file as
// it was. Not thread-safe.
class TAtomicFile {
 public:
  TAtomicFile() = default;
  ~TAtomicFile() { Abort(); }
  TAtomicFile(const TAtomicFile&) = delete;
  TAtomicFile& operator=(const TAtomicFile&) = delete;

  // False when the temporary file cannot be made (no folder, no right).
  bool Open(const std::string& path, mode_t mode);
  // False on a failed or short write; every later Commit() fails too.
  bool Write(std::string_view data);
  // True when the name now holds exactly what was written.
  bool Commit(bool sync = true);
  // Drops the temporary file; the old file stays. Safe to call twice.
  void Abort();

 private:
  int Fd = -1;
  bool Failed = false;
  std::string Path;
  std::string Folder;
  std::string TempName;
};

// Removes the temporary files that replacements of path left when their
// process was killed before it could (".NAME.XXXXXX" beside it). Only for a
// caller that knows no other replacement of path is under way, whose
// temporary file this would take away.
void RemoveLeftoverTemporaries(const std::string& path);

// Creates the folder and every missing parent with `mode`; true when the
// folder exists afterwards.
bool MakeFolderChain(const std::string& folder, mode_t mode);

}  // namespace qv
