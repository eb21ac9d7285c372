#pragma once

// Lets a test that needs the file system to refuse a write run as root too:
// root writes into read-only folders, so for the object's life the process
// works as an unprivileged user, owning the given tree. Without root nothing
// changes. Ok() is false when the switch could not be made (the test skips).

#include <unistd.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace qv::test {

class TUnprivileged {
 public:
  static constexpr uid_t kUser = 65534;  // "nobody"
  static constexpr gid_t kGroup = 65534;

  // tree: made the user's, folders and files alike, before the switch.
  explicit TUnprivileged(const std::string& tree) : Tree(tree) {
    if (::geteuid() != 0) return;
    if (!Own(kUser, kGroup)) return;
    if (::setegid(kGroup) != 0) return;
    if (::seteuid(kUser) != 0) {
      (void)::setegid(0);
      return;
    }
    Switched = true;
  }
  ~TUnprivileged() {
    if (!Switched) return;
    // The saved user is still root: both calls succeed.
    (void)::seteuid(0);
    (void)::setegid(0);
    Own(0, 0);
  }
  TUnprivileged(const TUnprivileged&) = delete;
  TUnprivileged& operator=(const TUnprivileged&) = delete;

  bool Ok() const { return Switched || ::geteuid() != 0; }

 private:
  bool Own(uid_t user, gid_t group) const {
    namespace fs = std::filesystem;
    if (::lchown(Tree.c_str(), user, group) != 0) return false;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(Tree, ec), end; !ec && it != end; it.increment(ec)) {
      if (::lchown(it->path().c_str(), user, group) != 0) return false;
    }
    return !ec;
  }

  std::string Tree;
  bool Switched = false;
};

}  // namespace qv::test
