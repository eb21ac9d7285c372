#pragma once

// The design palette the components would appear on: which page holds which
// class. Nothing in the program reads it; it records where each component
// belongs.

#include <string>
#include <vector>

namespace qv {

struct TPaletteEntry {
  std::string Page;
  std::string ClassName;
  bool operator==(const TPaletteEntry&) const = default;
};

// Every registered component, in registration order.
const std::vector<TPaletteEntry>& PaletteEntries();

// The page a class is registered on; "" when it is not.
std::string PalettePage(const std::string& className);

}  // namespace qv
