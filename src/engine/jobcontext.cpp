#include "engine/jobcontext.h"

#include "model/vkurllist.h"

namespace qv {

namespace {

template <class T>
void Take(const TPublished<T>& from, std::shared_ptr<const T>& value, uint64_t& version) {
  const uint64_t now = from.Version();
  if (value && now == version) return;
  version = now;
  value = from.Get();
}

}  // namespace

TItemSnapshot TJobContext::Snapshot() const {
  TItemSnapshot s;
  Refresh(s);
  return s;
}

void TJobContext::Refresh(TItemSnapshot& s) const {
  Take(*Settings, s.Settings, s.SettingsVersion);
  Take(*ViewFilter, s.ViewFilter, s.ViewFilterVersion);
  Take(*MimeFilter, s.MimeFilter, s.MimeFilterVersion);
  Take(*PassWords, s.PassWords, s.PassWordsVersion);
  std::string dir = LocalWebDir ? LocalWebDir() : GetLocalWebDir();
  if (dir != s.LocalWebDir) s.LocalWebDir = std::move(dir);
}

}  // namespace qv
