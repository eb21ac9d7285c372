// A whole project file against arbitrary bytes: it loads or raises the
// input/output error, never crashes or allocates far beyond the input, and
// leaves the caller's values untouched when it fails; whatever loads saves,
// loads back to the same values and records, and saves to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "allocwatch.h"
#include "model/projectfile.h"

namespace {

bool SameRecords(const qv::TVkURLList& a, const qv::TVkURLList& b) {
  if (a.Count() != b.Count()) return false;
  for (int i = 0; i < a.Count(); ++i) {
    const qv::TVkURLItem& x = *a.GetItem(i);
    const qv::TVkURLItem& y = *b.GetItem(i);
    if (x.URL != y.URL || x.FoundURL != y.FoundURL || x.ParentURL != y.ParentURL ||
        x.PageFileFlag != y.PageFileFlag || x.Title != y.Title || x.ImageURL != y.ImageURL ||
        x.Checked != y.Checked || x.Size != y.Size || x.ContentType != y.ContentType ||
        x.Status != y.Status || x.Details != y.Details)
      return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool init = [] {
    // No mirror: status refreshes that merges trigger find no body.
    qv::SetLocalWebDir("/nonexistent/qv-fuzz-mirror");
    qvfuzz::InstallAllocationWatch();
    return true;
  }();
  (void)init;
  const std::string input(reinterpret_cast<const char*>(data), data ? size : 0);

  qv::TProjectValues values;
  values.Settings = qv::FormDefaults();
  const qv::TProjectValues before = values;
  qv::TVkURLList list;
  {
    qv::TMemoryStream in(input);
    qvfuzz::Largest = 0;
    qvfuzz::Tracking = true;
    bool accepted = true;
    try {
      qv::ReadMirrorProject(in, values, list);
    } catch (const qv::EInOutError&) {
      accepted = false;
    }
    qvfuzz::Tracking = false;
    // Row vectors are reserved for what the bytes left can hold (a row of
    // eight bytes takes one 40-byte element); strings never pass the input.
    if (qvfuzz::Largest > 8 * input.size() + 65536) std::abort();
    if (!accepted) {
      if (!(values == before)) std::abort();
      return 0;
    }
  }

  qv::TMemoryStream out;
  qv::WriteMirrorProject(out, values, list);
  qv::TMemoryStream again(out.Data());
  qv::TProjectValues back;
  back.Settings = qv::FormDefaults();
  qv::TVkURLList backList;
  qv::ReadMirrorProject(again, back, backList);
  // Only the mirror folder may change on the way: one that could not be used
  // (or an empty stream's, which keeps the caller's) comes back as the home
  // mirror. Everything else, and the bytes from then on, must hold.
  qv::TProjectValues expected = values;
  expected.Settings.LocWebEd = back.Settings.LocWebEd;
  if (!(back == expected) || !SameRecords(list, backList)) std::abort();
  qv::TMemoryStream out2;
  qv::WriteMirrorProject(out2, back, backList);
  if (back.Settings.LocWebEd == values.Settings.LocWebEd && out2.Data() != out.Data()) std::abort();
  qv::TMemoryStream third(out2.Data());
  qv::TProjectValues last;
  qv::TVkURLList lastList;
  qv::ReadMirrorProject(third, last, lastList);
  qv::TMemoryStream out3;
  qv::WriteMirrorProject(out3, last, lastList);
  if (out3.Data() != out2.Data()) std::abort();
  return 0;
}
