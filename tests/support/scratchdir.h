#pragma once

// A fresh folder under the system's temporary folder, removed with everything
// in it when the object goes; and whole-file reads and writes for tests.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

namespace qv::test {

class TScratchDir {
 public:
  TScratchDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "qv-test-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    Path = tmpl;
  }
  ~TScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(Path, ec);
  }
  TScratchDir(const TScratchDir&) = delete;
  TScratchDir& operator=(const TScratchDir&) = delete;

  // Writes bytes to a file below the folder (creating its folders); returns
  // the file's full name.
  std::string Write(const std::string& relative, const std::string& bytes) const {
    std::filesystem::path p = std::filesystem::path(Path) / relative;
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << bytes;
    return p.string();
  }

  // Full name of an entry below the folder.
  std::string operator/(const std::string& relative) const { return Path + "/" + relative; }

  std::string Path;
};

// The whole of a file's bytes; empty when it cannot be read.
inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Replaces a file's bytes, creating its folders first.
inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

}  // namespace qv::test
