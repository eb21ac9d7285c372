#include "components/palette.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

TEST(Palette, EveryComponentIsOnItsPage) {
  struct Case {
    const char* Class;
    const char* Page;
  } cases[] = {
      {"TIdHTTPExt", "Vk Components"},         {"TIdFTPExt", "Vk Components"},
      {"TStringAtrGrid", "Vk Components"},     {"TFilterGrid", "Vk Components"},
      {"TScaledStringGrid", "Vk Components"},  {"TPassWordGrid", "Vk Components"},
      {"TListBoxExt", "Vk Components"},        {"TCheckListBoxExt", "Vk Components"},
      {"TComboBoxExt", "Vk Components"},       {"TFramedPanel", "Jn Components"},
      {"TTvImagePanel", "Vk Components"},      {"TMSComboBox", "Jn Components"},
      {"TScreenModeImage", "Jn Components"},   {"TSMFramedPanel", "Jn Components"},
      {"TLEADDlgExt", "Jn Components"},        {"TJnSoundRecorder", "Jn Components"},
      {"TNMHTTPExt", "Vk Components"},         {"TNMFTPExt", "Vk Components"},
      {"TDateTimePickerExt", "Vk Components"},
  };
  for (const auto& c : cases) EXPECT_EQ(PalettePage(c.Class), c.Page) << c.Class;
  EXPECT_EQ(PaletteEntries().size(), std::size(cases));
  EXPECT_EQ(PalettePage("TForm1"), "");
}

}  // namespace
}  // namespace qv
