#include "components/palette.h"

namespace qv {

const std::vector<TPaletteEntry>& PaletteEntries() {
  // The program's own controls and clients are registered too: the palette
  // held the whole component set, not only what the program never creates.
  static const std::vector<TPaletteEntry> entries = {
      {"Vk Components", "TIdHTTPExt"},         {"Vk Components", "TIdFTPExt"},
      {"Vk Components", "TStringAtrGrid"},     {"Vk Components", "TFilterGrid"},
      {"Vk Components", "TScaledStringGrid"},  {"Vk Components", "TPassWordGrid"},
      {"Vk Components", "TListBoxExt"},        {"Vk Components", "TCheckListBoxExt"},
      {"Vk Components", "TComboBoxExt"},       {"Jn Components", "TFramedPanel"},
      {"Vk Components", "TTvImagePanel"},      {"Jn Components", "TMSComboBox"},
      {"Jn Components", "TScreenModeImage"},   {"Jn Components", "TSMFramedPanel"},
      {"Jn Components", "TLEADDlgExt"},        {"Jn Components", "TJnSoundRecorder"},
      {"Vk Components", "TNMHTTPExt"},         {"Vk Components", "TNMFTPExt"},
      {"Vk Components", "TDateTimePickerExt"},
  };
  return entries;
}

std::string PalettePage(const std::string& className) {
  for (const auto& e : PaletteEntries())
    if (e.ClassName == className) return e.Page;
  return "";
}

}  // namespace qv
