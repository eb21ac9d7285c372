#pragma once

#include <cstdint>
#include <string>

namespace qv {

// Free space of the file system a path lives on. A path that does not exist
// yet is measured at its nearest existing folder, so a mirror folder about to
// be made still has a drive.
struct TDiskSpace {
  bool Valid = false;      // false: the file system could not be read
  uint64_t FreeBytes = 0;  // available to an unprivileged user
  uint64_t Device = 0;     // tells two file systems apart
  std::string MountPoint;  // the folder the file system is mounted on
};

TDiskSpace QueryDiskSpace(const std::string& path);

}  // namespace qv
