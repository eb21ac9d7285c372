#include "engine/jobcontext.h"

#include "model/vkurllist.h"

namespace qv {

TItemSnapshot TJobContext::Snapshot() const {
  TItemSnapshot s;
  s.Settings = Settings->Get();
  s.ViewFilter = ViewFilter->Get();
  s.MimeFilter = MimeFilter->Get();
  s.PassWords = PassWords->Get();
  s.LocalWebDir = LocalWebDir ? LocalWebDir() : GetLocalWebDir();
  return s;
}

}  // namespace qv
