#include "model/dragout.h"

#include <sys/stat.h>

#include "model/tvurlutils.h"
#include "model/vkfile.h"

#include "model/vkglobal.h"
#include "model/vkurllist.h"
#include "model/weblocal.h"

namespace qv {

namespace {

void Record(std::vector<TDragOutCopy>& copies, const std::string& original,
            const std::string& renamed) {
  if (!original.empty() && !renamed.empty() && original != renamed)
    copies.push_back({original, renamed});
}

}  // namespace

bool AnyStoredCopy(const std::string& root, const std::vector<std::string>& urls) {
  if (root.empty()) return false;
  for (const std::string& url : urls) {
    const std::string body = URLToLocalPath(root, url, "Data", "");
    struct stat st {};
    if (!body.empty() && ::stat(NativePath(body).c_str(), &st) == 0 && S_ISREG(st.st_mode))
      return true;
  }
  return false;
}

std::vector<std::string> RenameCopiesForDrag(const std::string& root,
                                             const std::vector<std::string>& urls,
                                             std::vector<TDragOutCopy>& copies) {
  std::vector<std::string> paths;
  paths.reserve(urls.size());
  for (const std::string& url : urls) {
    std::string original;
    std::string renamed = root.empty() ? "" : RenameLocalCopy(root, url, &original);
    Record(copies, original, renamed);
    paths.push_back(std::move(renamed));
  }
  return paths;
}

std::vector<std::string> DragOutNames(const TVkURLList& list, const std::vector<std::string>& urls,
                                      std::vector<TDragOutCopy>& copies) {
  std::vector<std::string> names;
  names.reserve(urls.size());
  for (const std::string& url : urls) {
    std::string original;
    std::string name = list.GetDragOutName(url, &original);
    Record(copies, original, name);
    names.push_back(std::move(name));
  }
  return names;
}

void RenameCopiesBack(std::vector<TDragOutCopy>& copies) {
  for (const TDragOutCopy& c : copies) LockedRenameFile(c.Renamed, c.Original);
  copies.clear();
}

}  // namespace qv
