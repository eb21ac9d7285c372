#pragma once

// What the list-like controls share about the clipboard: the keys that copy,
// paste and delete, and the lines that go to and come from it.

#include <string>
#include <vector>

#include <Qt>

namespace qv {

enum class TClipboardKey { None, Copy, Paste, Delete };

// Ctrl+Insert and Ctrl+C copy, Shift+Insert and Ctrl+V paste, Delete deletes.
TClipboardKey ClipboardKeyOf(int key, Qt::KeyboardModifiers shift);

// Acts on a clipboard or delete key for a control with CopySelected,
// PasteText and DeleteSelected; Delete acts only when hasCurrent. True when
// the key was acted on.
template <class TControl>
bool ActOnClipboardKey(TControl& control, int key, Qt::KeyboardModifiers shift,
                       const std::string& removeChars, bool hasCurrent) {
  switch (ClipboardKeyOf(key, shift)) {
    case TClipboardKey::Copy:
      control.CopySelected();
      return true;
    case TClipboardKey::Paste:
      control.PasteText(removeChars);
      return true;
    case TClipboardKey::Delete:
      if (!hasCurrent) return false;
      control.DeleteSelected();
      return true;
    case TClipboardKey::None:
      break;
  }
  return false;
}

// Puts the lines on the clipboard, each ended by CR LF; a line that is valid
// UTF-8 goes as UTF-8, any other as Latin-1.
void CopyLinesToClipboard(const std::vector<std::string>& lines);

// The clipboard's lines that are new to `have` (compared ignoring case and the
// bytes in removeChars, as AddStringIC does), in order and each once. The
// clipboard's text comes as UTF-8, cut to kDropTextLimit bytes; every 100
// lines the pending non-input events run.
std::vector<std::string> NewClipboardLines(const std::vector<std::string>& have,
                                           const std::string& removeChars);

}  // namespace qv
