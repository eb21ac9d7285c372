#include "platform/diskspace.h"

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <filesystem>
#include <system_error>

namespace qv {

namespace {

namespace fs = std::filesystem;

// The path itself when it exists, else its nearest existing ancestor.
fs::path NearestExisting(fs::path p) {
  std::error_code ec;
  p = fs::absolute(p, ec);
  if (ec) return {};
  for (;;) {
    if (fs::exists(p, ec)) return p;
    if (!p.has_relative_path()) return p;
    p = p.parent_path();
  }
}

}  // namespace

TDiskSpace QueryDiskSpace(const std::string& path) {
  TDiskSpace r;
  const fs::path start = NearestExisting(path.empty() ? fs::path(".") : fs::path(path));
  if (start.empty()) return r;
  struct stat st {};
  struct statvfs vs {};
  if (::stat(start.c_str(), &st) != 0 || ::statvfs(start.c_str(), &vs) != 0) return r;
  r.Valid = true;
  r.FreeBytes = static_cast<uint64_t>(vs.f_bavail) * static_cast<uint64_t>(vs.f_frsize);
  r.Device = static_cast<uint64_t>(st.st_dev);
  // The mount point: the highest ancestor still on the same device.
  fs::path mount = fs::is_directory(start) ? start : start.parent_path();
  while (mount.has_relative_path()) {
    struct stat up {};
    const fs::path parent = mount.parent_path();
    if (::stat(parent.c_str(), &up) != 0 || up.st_dev != st.st_dev) break;
    mount = parent;
  }
  r.MountPoint = mount.string();
  return r;
}

}  // namespace qv
