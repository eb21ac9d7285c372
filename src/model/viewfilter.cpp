#include "model/viewfilter.h"

#include <mutex>

#include "model/mimefilter.h"
#include "model/strutils.h"
#include "model/syshelpers.h"
#include "model/vkglobal.h"
#include "model/vkurllist.h"
#include "platform/asciicase.h"

namespace qv {

namespace {

constexpr const char* kComboTexts[] = {"", "All", "Only", "No"};

// The seven status combos with their tests, in rule order.
struct TComboTest {
  TComboChoice TViewFilter::*Combo;
  bool (*Holds)(TVkURLItem& record);
};

constexpr TComboTest kComboTests[] = {
    {&TViewFilter::DLFilesCombo, [](TVkURLItem& r) { return r.GetStatus() == usDownloaded; }},
    {&TViewFilter::ChkFilesCombo, [](TVkURLItem& r) { return r.Checked != 0; }},
    {&TViewFilter::NewFilesCombo, [](TVkURLItem& r) { return r.GetStatus() == usNew; }},
    {&TViewFilter::FailedFilesCombo, [](TVkURLItem& r) { return r.GetStatus() == usFailed; }},
    {&TViewFilter::DelFilesCombo, [](TVkURLItem& r) { return r.GetStatus() == usDeleted; }},
    {&TViewFilter::WebPgFilesCombo, [](TVkURLItem& r) { return r.PageFileFlag != 0; }},
    {&TViewFilter::ImageLinksCombo, [](TVkURLItem& r) { return !r.ImageURL.empty(); }},
};

bool RowMatches(const TAtrRow& row, const TVkURLItem& record, bool onTitle) {
  return StrWildCard(onTitle ? record.Title : record.URL, row.Text);
}

}  // namespace

const char* ComboChoiceText(TComboChoice choice) {
  return choice <= ccNo ? kComboTexts[choice] : "";
}

TComboChoice ComboChoiceFromText(std::string_view text) {
  for (uint8_t c = ccAll; c <= ccNo; ++c) {
    if (EqualsIC(text, kComboTexts[c])) return static_cast<TComboChoice>(c);
  }
  return ccNone;
}

int TViewFilter::MinSize() const { return JnStrToInt(MinSizeEd); }

int TViewFilter::MaxSize() const { return JnStrToInt(MaxSizeEd); }

bool URLPassesFilters(const TViewFilter& filter, const TMimeFilter& mimeFilter,
                      TVkURLItem& record) {
  if (!mimeFilter.Match(record.ContentType)) return false;

  for (const auto& t : kComboTests) {
    if (filter.*t.Combo == ccAll && t.Holds(record)) return true;
  }
  for (const auto& row : filter.FilGrid) {
    const uint8_t choice = AttrByte(row.Attr, 0);
    if ((choice == fcAll || choice == fcAllT) && RowMatches(row, record, choice == fcAllT))
      return true;
  }

  for (const auto& t : kComboTests) {
    if (filter.*t.Combo == ccOnly && !t.Holds(record)) return false;
  }
  bool anyOnly = false;
  bool onlyHit = false;
  for (const auto& row : filter.FilGrid) {
    const uint8_t choice = AttrByte(row.Attr, 0);
    if (choice != fcOnly && choice != fcOnlyT) continue;
    anyOnly = true;
    if (RowMatches(row, record, choice == fcOnlyT)) {
      onlyHit = true;
      break;
    }
  }
  if (anyOnly && !onlyHit) return false;

  for (const auto& t : kComboTests) {
    if (filter.*t.Combo == ccNo && t.Holds(record)) return false;
  }
  for (const auto& row : filter.FilGrid) {
    const uint8_t choice = AttrByte(row.Attr, 0);
    if ((choice == fcNo || choice == fcNoT) && RowMatches(row, record, choice == fcNoT))
      return false;
  }

  if (record.Size > 0) {
    const int maxSize = filter.MaxSize();
    if (record.Size < filter.MinSize() || (maxSize > 0 && record.Size > maxSize)) return false;
  }
  return true;
}

bool URLPassesFilters(const TViewFilter& filter, const TMimeFilter& mimeFilter,
                      const std::string& url) {
  if (URLListLock && GlobalURLList) {
    std::lock_guard<TCriticalSection> hold(*URLListLock);
    if (TVkURLItem* listed = GlobalURLList->FindItem(url))
      return URLPassesFilters(filter, mimeFilter, *listed);
  }
  TVkURLItem blank;
  blank.URL = url;
  return URLPassesFilters(filter, mimeFilter, blank);
}

TPublished<TViewFilter>& GlobalViewFilter() {
  static TPublished<TViewFilter> g;
  return g;
}

}  // namespace qv
