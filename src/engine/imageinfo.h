#pragma once

// Reads the header of an image file to learn its type and pixel size without
// decoding it. Safe on any thread; never raises.

#include <cstdint>
#include <string>

namespace qv {

struct TTvImageInfo {
  bool Ok = false;          // the file could be opened (true also for no known image)
  std::string MimeType;     // "image/gif", "image/jpeg", "image/x-png" or ""
  std::int32_t Width = 0;   // 0 when not found
  std::int32_t Height = 0;  // 0 when not found
};

// GIF, JPEG (baseline and progressive frames) and PNG. Reads 2,048-byte
// windows; a JPEG's segments are walked window by window (20 bytes of
// overlap) up to 64 MiB into the file. A short or truncated header gives the
// type with sizes 0, or no type when fewer bytes than the type needs were read.
// A file name that cannot be opened as a plain file gives Ok false.
TTvImageInfo GetImageInfo(const std::string& fileName);

}  // namespace qv
