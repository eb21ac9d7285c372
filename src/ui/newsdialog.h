#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include <QDialog>

#include "model/prompter.h"

namespace qv {

// The version word of the socket stack the program runs on, where the stack
// reports one. Sockets on this platform have no such version: none.
std::optional<std::uint16_t> SocketStackVersion();

// Made at start-up after the main window. Its construction checks the socket
// stack's version: below 2.0 it offers to open the maker's page about it.
// Without a version (this platform) it shows nothing.
class TNewsDlg : public QDialog {
  Q_OBJECT
 public:
  // openPage opens a URL in the web browser (OpenLocalCopy with the "Use
  // modem" option, no local copy) and gives the shell's result.
  TNewsDlg(QWidget* parent, TPrompter& prompter, std::function<int(const std::string&)> openPage,
           std::optional<std::uint16_t> version = SocketStackVersion());

  static const char* const UpdatePageURL;
};

}  // namespace qv
