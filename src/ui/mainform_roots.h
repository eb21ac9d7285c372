#pragma once
// What a root URL row shows and how a typed root URL is stored.

#include <cstdint>
#include <string>

namespace qv {

// The levels column of a row's attribute: the scope's label followed by the
// levels ("Page+3", "Site | 2", "Site+0"), "None" for scope 3, "" for any
// other scope.
std::string RootURLLevelsLabel(uint32_t attr);

// A typed root URL as the grid stores it: blanks around it removed, a "?-"
// mark dropped and put back in front when the scheme is not one the program
// fetches (http, https, ftp). "" when nothing but blanks was typed.
std::string NormaliseRootURLText(const std::string& typed);

}  // namespace qv
