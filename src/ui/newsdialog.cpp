#include "ui/newsdialog.h"

#include "platform/shell.h"

namespace qv {

const char* const TNewsDlg::UpdatePageURL = "http://www.quorvane.example/update/sockets.html";

std::optional<std::uint16_t> SocketStackVersion() { return std::nullopt; }

TNewsDlg::TNewsDlg(QWidget* parent, TPrompter& prompter,
                   std::function<int(const std::string&)> openPage,
                   std::optional<std::uint16_t> version)
    : QDialog(parent) {
  setObjectName("NewsDlg");
  if (!version || *version >= 0x0200) return;
  const std::string text =
      "The version of \"Winsock\" (" + std::to_string(*version >> 8) + "." +
      std::to_string(*version & 0xFF) +
      ") currently installed on this computer has been superceded and may cause this program to "
      "function incorrectly.\nDownloading and installing the latest version is quick and "
      "easy.\n\nDo you want to download it now?";
  if (prompter.Ask(text, TMsgKind::Information, TMsgButtons::YesNo) != TMsgAnswer::Yes) return;
  if (openPage && openPage(UpdatePageURL) == ShellNoAssociation)
    prompter.ShowMessage("No default web browser detected.");
}

}  // namespace qv
