#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

namespace qv::test {

inline constexpr char kNoTestServers[] = "QV_NGINX_PORT unset: run under scripts/test-servers";

// A folder of the test servers' nginx site with its address, removed again
// with the object. Folder and Base are empty when the servers are not
// running (the test then skips).
// Whether the test servers run (scripts/test-servers sets their ports).
inline bool TestServersRun() {
  return std::getenv("QV_NGINX_PORT") && std::getenv("QV_NGINX_ROOT");
}

struct TServedFolder {
  std::string Folder, Base;

  explicit TServedFolder(const std::string& name) {
    const char* port = std::getenv("QV_NGINX_PORT");
    const char* root = std::getenv("QV_NGINX_ROOT");
    // An empty name would make the object own, and remove, the whole site.
    if (!port || !root || name.empty()) return;
    Folder = std::string(root) + "/" + name;
    Base = "http://127.0.0.1:" + std::string(port) + "/" + name + "/";
  }
  ~TServedFolder() {
    std::error_code ec;
    if (!Folder.empty()) std::filesystem::remove_all(Folder, ec);
  }
  TServedFolder(const TServedFolder&) = delete;
  TServedFolder& operator=(const TServedFolder&) = delete;

  bool Served() const { return !Folder.empty(); }
};

}  // namespace qv::test
