#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/atrrow.h"
#include "model/snapshot.h"

namespace qv {

// Choices of the name-specification and link-follow grids, kept in byte 0 of
// a row's attribute. The values are stored in project files.
enum TFilterChoice : uint8_t {
  fcNone = 0,
  fcAll = 1,
  fcOnly = 2,
  fcNo = 3,
  fcAllT = 4,
  fcOnlyT = 5,
  fcNoT = 6,
};

// Choices of the seven status combo boxes of the view filter, in the order of
// their items "", "All", "Only", "No".
enum TComboChoice : uint8_t {
  ccNone = 0,
  ccAll = 1,
  ccOnly = 2,
  ccNo = 3,
};

// The item text of a choice ("" for ccNone or a value out of range).
const char* ComboChoiceText(TComboChoice choice);
// The choice whose item text equals the text, letter case ignored; ccNone for
// any other text (the combo boxes cannot show a text that is not an item).
TComboChoice ComboChoiceFromText(std::string_view text);

// The view filter of the "Filters" page, as one plain value: which URLs the
// main list shows, the job runner queues and "Limit additions" lets in. The
// fields are named after the controls that show them. Worker threads read it
// through GlobalViewFilter(), which the main window republishes whenever one
// of those controls changes.
struct TViewFilter {
  TComboChoice DLFilesCombo = ccNone;      // status usDownloaded
  TComboChoice ChkFilesCombo = ccNone;     // the record's check mark
  TComboChoice NewFilesCombo = ccNone;     // status usNew
  TComboChoice FailedFilesCombo = ccNone;  // status usFailed
  TComboChoice DelFilesCombo = ccNone;     // status usDeleted
  TComboChoice WebPgFilesCombo = ccNone;   // page flag not 0
  TComboChoice ImageLinksCombo = ccNone;   // image URL not empty
  // Name specifications: wildcard pattern + TFilterChoice in byte 0.
  std::vector<TAtrRow> FilGrid;
  // The size edits' texts, kept as typed so a project stores them unchanged.
  std::string MinSizeEd = "0";
  std::string MaxSizeEd = "0";
  bool LimitAdditionsChk = false;
  bool AutoUpChk = true;

  // The size limits in bytes: the edits' numbers, 0 when a text is no number.
  int MinSize() const;
  int MaxSize() const;

  bool operator==(const TViewFilter&) const = default;
};

TPublished<TViewFilter>& GlobalViewFilter();

class TVkURLItem;
struct TMimeFilter;

// Whether the record's URL passes the view filter: shown in the main list,
// queued by the job runner, let in by "Limit additions". The first rule that
// decides wins: the content-type filter; any "All" hit shows; any "Only" miss
// hides (of the "Only"/"Only(T)" rows at least one must match when there are
// any); any "No" hit hides; a known size (above 0) below the minimum or above
// a maximum above 0 hides. Patterns are case-insensitive wildcards against
// the URL, or the title for the "(T)" choices. Status tests use the refreshed
// status, so the record may be updated (GetStatus): a record of the master
// list is passed with URLListLock held.
bool URLPassesFilters(const TViewFilter& filter, const TMimeFilter& mimeFilter, TVkURLItem& record);
// As above for a URL: its record in GlobalURLList (looked up under
// URLListLock), or the blank record of the URL when it is not listed.
bool URLPassesFilters(const TViewFilter& filter, const TMimeFilter& mimeFilter,
                      const std::string& url);

}  // namespace qv
