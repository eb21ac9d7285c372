#pragma once

#include <string_view>
#include <vector>

#include "model/atrrow.h"

namespace qv {

// Whether a link may be followed under the link-follow rows (a wildcard
// pattern and a TFilterChoice in byte 0 of the attribute). Patterns match
// the whole text, letter case ignored; the "(T)" choices test the link's
// text, the others its URL. An "All" match wins; when "Only" rows exist one
// of them must match; then a "No" match refuses; otherwise the link is
// followed. Pure; any thread.
bool CanFollowLink(const std::vector<TAtrRow>& rows, std::string_view url,
                   std::string_view linkText);

}  // namespace qv
