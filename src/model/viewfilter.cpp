#include "model/viewfilter.h"

#include "model/syshelpers.h"

namespace qv {

namespace {

constexpr const char* kComboTexts[] = {"", "All", "Only", "No"};

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x >= 'a' && x <= 'z') x = static_cast<unsigned char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<unsigned char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

}  // namespace

const char* ComboChoiceText(TComboChoice choice) {
  return choice <= ccNo ? kComboTexts[choice] : "";
}

TComboChoice ComboChoiceFromText(std::string_view text) {
  for (uint8_t c = ccAll; c <= ccNo; ++c) {
    if (SameIgnoringCase(text, kComboTexts[c])) return static_cast<TComboChoice>(c);
  }
  return ccNone;
}

int TViewFilter::MinSize() const { return JnStrToInt(MinSizeEd); }

int TViewFilter::MaxSize() const { return JnStrToInt(MaxSizeEd); }

TPublished<TViewFilter>& GlobalViewFilter() {
  static TPublished<TViewFilter> g;
  return g;
}

}  // namespace qv
