// The settings section of a project file: any bytes either load or raise the
// input/output error, never crash or allocate beyond the input; whatever
// loads saves again and loads back to the same values.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "model/settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qv::TMemoryStream in(std::string(reinterpret_cast<const char*>(data), size));
  qv::TSettings s = qv::FormDefaults();
  qv::TMimeFilter f;
  try {
    qv::LoadProjectSettings(in, s, f);
  } catch (const qv::EInOutError&) {
    if (!(s == qv::FormDefaults())) std::abort();
    return 0;
  }
  qv::TMemoryStream out;
  qv::SaveProjectSettings(out, s, f);
  out.Seek(0, qv::TSeekOrigin::soBeginning);
  qv::TSettings again = qv::FormDefaults();
  qv::TMimeFilter againFilter;
  qv::LoadProjectSettings(out, again, againFilter);
  // The mirror folder may have been replaced by the fallback on the first
  // load; everything else comes back as it was.
  if (!(again == s) || !(againFilter == f)) std::abort();
  return 0;
}
