// The URL list reader against arbitrary bytes: no crash, no allocation beyond
// what the input can justify, and whatever it accepts writes back and reads
// again to the same records and the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "allocwatch.h"
#include "model/streamext.h"
#include "model/vkurllist.h"

namespace {

bool Same(const qv::TVkURLItem& a, const qv::TVkURLItem& b) {
  return a.URL == b.URL && a.FoundURL == b.FoundURL && a.ParentURL == b.ParentURL &&
         a.PageFileFlag == b.PageFileFlag && a.Title == b.Title && a.ImageURL == b.ImageURL &&
         a.Checked == b.Checked && a.Size == b.Size && a.ContentType == b.ContentType &&
         a.Status == b.Status && a.Details == b.Details && a.LinkFlags == b.LinkFlags;
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

  qv::TVkURLList list;
  bool accepted = true;
  {
    qv::TMemoryStream in(input);
    qvfuzz::Largest = 0;
    qvfuzz::Tracking = true;
    try {
      list.LoadFromStream(in);
    } catch (const qv::EInOutError&) {
      accepted = false;
    }
    qvfuzz::Tracking = false;
    // Tree nodes and records are small and fixed; only strings grow with the
    // input, and never past it.
    if (qvfuzz::Largest > input.size() + 4096) std::abort();
  }
  if (!accepted) return 0;

  qv::TMemoryStream out;
  list.SaveToStream(out);
  qv::TMemoryStream again(out.Data());
  qv::TVkURLList back;
  back.LoadFromStream(again);
  if (back.Count() != list.Count()) std::abort();
  for (int i = 0; i < list.Count(); ++i) {
    if (!Same(*list.GetItem(i), *back.GetItem(i))) std::abort();
    if (back.IndexOfURL(back.GetItem(i)->URL) != i) std::abort();
  }
  qv::TMemoryStream out2;
  back.SaveToStream(out2);
  if (out2.Data() != out.Data()) std::abort();
  return 0;
}
