#pragma once

#include <string>
#include <vector>

#include "model/snapshot.h"
#include "model/streamext.h"

namespace qv {

// One of the common-type check lists of the content-type filter: its label,
// the major type its items are subtypes of, and the items ("*" first).
struct TMimeTypeList {
  const char* Name;     // control name, e.g. "ImageList"
  const char* Caption;  // "Image:-"
  const char* Prefix;   // "image/"
  std::vector<std::string> Items;
};

// The five common lists in the order their checked items become patterns:
// image, application, text, video, audio.
const std::vector<TMimeTypeList>& CommonMimeLists();
// The description shown for a list item ("" when the item has none).
std::string MimeDescription(const std::string& item);

// The project's content-type filter: type patterns (lower case major type,
// "/", subtype; "*" and "?" are wildcards) and the three-way assertion. Worker
// threads read it through GlobalMimeFilter(); it is a plain value.
struct TMimeFilter {
  // Whole types the user added, as the "Other types" list holds them.
  std::vector<std::string> OtherList;
  // Sorted ignoring case, no two equal ignoring case.
  std::vector<std::string> Patterns;
  bool SelOnlyChk = true;
  bool UnknownChk = false;
  bool AllChk = false;

  // Whether a URL whose stored Content-Type is `contentType` passes: always
  // with "Include all" or no patterns; "" passes with "Include unknown";
  // otherwise the type before any ";", trimmed and lower-cased, must match a
  // pattern.
  bool Match(const std::string& contentType) const;
  // The patterns joined with "," (no blanks), as a response filter.
  std::string ResponseFilter() const;

  bool operator==(const TMimeFilter&) const = default;
};

// Adds a pattern to a sorted pattern list unless it is there already
// (ignoring case); true when added.
bool AddPattern(std::vector<std::string>& patterns, const std::string& pattern);

// The filter's block of the project file: the other types as one text, the
// patterns as one text, the three assertion bytes, 989 zero bytes.
void SaveFilter(TStream& stream, const TMimeFilter& filter);
// Reads the block; raises EInOutError ("Error reading file") on a short one.
void LoadFilter(TStream& stream, TMimeFilter& filter);

TPublished<TMimeFilter>& GlobalMimeFilter();

}  // namespace qv
