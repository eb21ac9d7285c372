#pragma once

// A fresh folder under the system's temporary folder, removed with everything
// in it when the object goes.

#include <cstdlib>
#include <filesystem>
#include <fstream>
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

  std::string Path;
};

}  // namespace qv::test
