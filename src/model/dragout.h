#pragma once
// Stored copies handed out by a drag from the main window's lists: renamed to
// readable names while the drag lasts, and renamed back afterwards.

#include <string>
#include <vector>

namespace qv {

class TVkURLList;

// One copy renamed for a drag: where it was and where it is now.
struct TDragOutCopy {
  std::string Original;
  std::string Renamed;
};

// Whether any of the URLs has a stored copy under root.
bool AnyStoredCopy(const std::string& root, const std::vector<std::string>& urls);

// Renames the stored copy of each URL under root to its drag-out name; one
// path per URL, "" for a URL without a stored copy. Each rename done is
// recorded in copies.
std::vector<std::string> RenameCopiesForDrag(const std::string& root,
                                             const std::vector<std::string>& urls,
                                             std::vector<TDragOutCopy>& copies);

// Each URL's drag-out name (GetDragOutName: the renamed copy, else the
// listed URL, else the URL); renames done are recorded in copies. The
// caller holds URLListLock.
std::vector<std::string> DragOutNames(const TVkURLList& list, const std::vector<std::string>& urls,
                                      std::vector<TDragOutCopy>& copies);

// Renames every recorded copy back to its original name and empties the
// record. A file written to the original name meanwhile (a newer download)
// is never replaced: both are left. Failures are ignored.
void RenameCopiesBack(std::vector<TDragOutCopy>& copies);

}  // namespace qv
