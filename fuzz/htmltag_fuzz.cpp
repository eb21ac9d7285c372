// The tag and attribute readers over any bytes: every reader the exploring
// thread and the drop handlers use, at every tag.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "engine/htmlparser.h"

namespace {
void Check(bool ok) {
  if (!ok) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string page(reinterpret_cast<const char*>(data), size);
  const char* const begin = page.c_str();
  const char* const end = begin + std::char_traits<char>::length(begin);
  const char* p = begin;
  int tags = 0;
  bool allRead = true;
  while (qv::FindNextTag(p)) {
    if (tags++ == 100000) {
      allRead = false;  // enough for one input; the rest is no different
      break;
    }
    Check(p > begin && p < end);
    static const char* const kPairs[][2] = {
        {"Tvbase", "href"}, {"a", "href"},    {"img", "src"},     {"img", "lowsrc"},
        {"frame", "src"},   {"link", "href"}, {"base", "href"},   {"meta", "content"},
        {"", "url"},        {"embed", "src"}, {"object", "data"}, {"body", "background"},
    };
    for (const auto& pair : kPairs) {
      const char* q = p;
      std::string v = qv::GetTagAttribute(pair[0], pair[1], q, true);
      Check(v.empty()
                ? q == p
                : (q >= p && q + v.size() <= end && page.compare(q - begin, v.size(), v) == 0));
    }
    const char* q = p;
    std::string r = qv::GetMetaRefreshURL(q, true);
    Check(r.empty() || page.compare(q - begin, r.size(), r) == 0);
    (void)qv::GetMetaRobots(p);
    const char* e = qv::FindTagEnd(p);
    Check(e >= p && e <= end);
    // The style reader gives the same end from its own pass over the tag.
    const char* styleEnd = nullptr;
    const std::string style = qv::GetAnyTagAttribute("style", p, styleEnd);
    Check(styleEnd == e);
    Check(style == qv::GetAnyTagAttribute("style", p));
    const std::string_view sheet = qv::StyleElementText(p);
    Check(sheet.empty() || (sheet.data() > p && sheet.data() + sheet.size() <= end));
    const char* q0 = p;
    const std::string list = qv::DecodeCharRefs(qv::GetTagAttribute("img", "srcset", q0));
    for (const qv::TTextSpan& u : qv::SrcsetURLs(list))
      Check(u.Length > 0 && u.At + u.Length <= list.size());
    std::string image;
    std::string text = qv::GetLinkText(e, &image);
    Check(text.size() <= 2 * 4096);
    const char* m = p;
    (void)qv::MatchWord(m, "=");
    Check(m >= p && m <= end);
    std::size_t index = static_cast<std::size_t>(p - begin);
    (void)qv::GetTagAttributeAt("a", "href", page, index, true);
    Check(index <= page.size());
  }
  Check(!allRead || *p == '\0');
  std::string copy = page;
  (void)qv::InsertBase(copy, "http://h/d/p.html", true);
  copy = page;
  (void)qv::InsertBase(copy, "", false);
  return 0;
}
