// Image headers from downloaded files: any bytes give a result without
// reading out of bounds, and sizes are never negative.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "engine/imageinfo.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string file =
      (std::filesystem::temp_directory_path() / ("qv-fuzz-image-" + std::to_string(::getpid())))
          .string();
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  qv::TTvImageInfo info = qv::GetImageInfo(file);
  if (!info.Ok || info.Width < 0 || info.Height < 0) std::abort();
  if (info.MimeType.empty() && (info.Width != 0 || info.Height != 0)) std::abort();
  return 0;
}
