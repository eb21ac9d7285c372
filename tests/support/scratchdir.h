#pragma once

// A fresh folder under the system's temporary folder, removed with everything
// in it when the object goes; and whole-file reads and writes for tests.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

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

// Names of the entries of a folder.
inline std::set<std::string> FolderNames(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder))
    names.insert(e.path().filename().string());
  return names;
}

// The folders below root (root itself aside) that hold nothing.
inline std::vector<std::string> EmptyFolders(const std::string& root) {
  std::vector<std::string> empty;
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(root, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
    if (it->is_directory() && std::filesystem::is_empty(it->path()))
      empty.push_back(it->path().string());
  return empty;
}

// Replaces a file's bytes, creating its folders first.
inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

}  // namespace qv::test
