#include "model/localcopy.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "model/strutils.h"
#include "model/tvurlutils.h"
#include "model/vkfile.h"
#include "model/vkglobal.h"
#include "platform/atomicfile.h"

namespace qv {

namespace {

bool IsKindFile(const std::string& name, const std::string& kind) {
  if (name.size() < kind.size()) return false;
  for (size_t i = 0; i < kind.size(); ++i) {
    unsigned char a = static_cast<unsigned char>(name[i]);
    unsigned char b = static_cast<unsigned char>(kind[i]);
    if (a >= 'a' && a <= 'z') a = static_cast<unsigned char>(a - 32);
    if (b >= 'a' && b <= 'z') b = static_cast<unsigned char>(b - 32);
    if (a != b) return false;
  }
  return name.size() == kind.size() || name[kind.size()] == '.';
}

}  // namespace

bool SaveLocalCopy(const std::string& root, const std::string& kind, const std::string& url,
                   const std::string& text, const std::string& extension) {
  const std::string path = NativePath(URLToLocalPath(root, url, kind, extension));
  if (path.empty()) return false;
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return false;
  const std::string folder = path.substr(0, slash);
  const std::string fileName = path.substr(slash + 1);
  if (!ForceDirs(folder)) return false;
  {
    TFileLockHold hold;
    if (!WriteFileAtomic(path, text, 0644)) return false;
  }
  std::vector<std::string> others;
  if (DIR* d = ::opendir(folder.c_str())) {
    while (dirent* e = ::readdir(d)) {
      const std::string name = e->d_name;
      if (name != fileName && IsKindFile(name, kind)) others.push_back(name);
    }
    ::closedir(d);
  }
  for (const std::string& name : others) {
    const std::string full = folder + "/" + name;
    TFileLockHold hold;
    struct stat st;
    if (::lstat(full.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ::unlink(full.c_str());
  }
  return true;
}

}  // namespace qv
