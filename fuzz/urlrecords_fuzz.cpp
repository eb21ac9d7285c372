// The URL list reader against arbitrary bytes: no crash, no allocation beyond
// what the input can justify, and whatever it accepts writes back and reads
// again to the same records and the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "model/streamext.h"
#include "model/vkurllist.h"

namespace {

bool Tracking = false;
std::size_t Largest = 0;

void OnMalloc(const volatile void*, std::size_t n) {
  if (Tracking && n > Largest) Largest = n;
}
void OnFree(const volatile void*) {}

bool Same(const qv::TVkURLItem& a, const qv::TVkURLItem& b) {
  return a.URL == b.URL && a.FoundURL == b.FoundURL && a.ParentURL == b.ParentURL &&
         a.PageFileFlag == b.PageFileFlag && a.Title == b.Title && a.ImageURL == b.ImageURL &&
         a.Checked == b.Checked && a.Size == b.Size && a.ContentType == b.ContentType &&
         a.Status == b.Status && a.Details == b.Details && a.LinkFlags == b.LinkFlags;
}

}  // namespace

// Sanitizer builds report every allocation's size; plain replay builds rely
// on the reader's own bounds.
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*)(const volatile void*,
                                                                  std::size_t),
                                                         void (*)(const volatile void*))
    __attribute__((weak));

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool init = [] {
    // No mirror: status refreshes that merges trigger find no body.
    qv::SetLocalWebDir("/nonexistent/qv-fuzz-mirror");
    if (__sanitizer_install_malloc_and_free_hooks)
      __sanitizer_install_malloc_and_free_hooks(OnMalloc, OnFree);
    return true;
  }();
  (void)init;
  const std::string input(reinterpret_cast<const char*>(data), data ? size : 0);

  qv::TVkURLList list;
  bool accepted = true;
  {
    qv::TMemoryStream in(input);
    Largest = 0;
    Tracking = true;
    try {
      list.LoadFromStream(in);
    } catch (const qv::EInOutError&) {
      accepted = false;
    }
    Tracking = false;
    // Tree nodes and records are small and fixed; only strings grow with the
    // input, and never past it.
    if (Largest > input.size() + 4096) std::abort();
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
