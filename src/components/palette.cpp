#include "components/palette.h"

namespace qv {

const std::vector<TPaletteEntry>& PaletteEntries() {
  static const std::vector<TPaletteEntry> entries = {
      {"Jn Components", "TMSComboBox"},      {"Jn Components", "TScreenModeImage"},
      {"Jn Components", "TSMFramedPanel"},   {"Jn Components", "TLEADDlgExt"},
      {"Jn Components", "TJnSoundRecorder"}, {"Vk Components", "TNMHTTPExt"},
      {"Vk Components", "TNMFTPExt"},        {"Vk Components", "TDateTimePickerExt"},
  };
  return entries;
}

std::string PalettePage(const std::string& className) {
  for (const auto& e : PaletteEntries())
    if (e.ClassName == className) return e.Page;
  return "";
}

}  // namespace qv
