#include "model/linkfollow.h"

#include "model/strutils.h"
#include "model/viewfilter.h"

namespace qv {

bool CanFollowLink(const std::vector<TAtrRow>& rows, std::string_view url,
                   std::string_view linkText) {
  auto matches = [&](const TAtrRow& row, bool onText) {
    return StrWildCard(onText ? linkText : url, row.Text);
  };
  bool anyOnly = false;
  bool onlyMatched = false;
  bool refused = false;
  for (const TAtrRow& row : rows) {
    switch (AttrByte(row.Attr, 0)) {
      case fcAll:
      case fcAllT:
        if (matches(row, AttrByte(row.Attr, 0) == fcAllT)) return true;
        break;
      case fcOnly:
      case fcOnlyT:
        anyOnly = true;
        if (!onlyMatched && matches(row, AttrByte(row.Attr, 0) == fcOnlyT)) onlyMatched = true;
        break;
      case fcNo:
      case fcNoT:
        if (!refused && matches(row, AttrByte(row.Attr, 0) == fcNoT)) refused = true;
        break;
      default:
        break;
    }
  }
  if (anyOnly && !onlyMatched) return false;
  return !refused;
}

}  // namespace qv
