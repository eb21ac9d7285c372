#pragma once

#include <exception>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "model/strutils.h"

namespace qv {

// The message text for a shell result code (see platform/shell.h): "" for a
// success (above 32), else the fixed text of the code.
std::string ShellExecuteErrorText(int code);

// Raised when a shortcut cannot be made.
class EOleError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Makes a shortcut file that starts `target` with `arguments` (one text,
// split at blanks, double quotes grouping) from `workingFolder` ("" for
// none). The shortcut is a desktop entry named after the link file (without
// its extension) and described by `description`; the show command has no
// counterpart and is not stored. Raises EOleError when the file cannot be
// written.
void CreateShortcut(const std::string& target, const std::string& linkFile,
                    const std::string& description, const std::string& arguments, int showCommand,
                    const std::string& workingFolder);

// Where messages for the user go until the windows exist: the start-up code
// points it at a message box. The default writes to standard error.
using TMessageShower = std::function<void(const std::string&)>;
void SetMessageShower(TMessageShower shower);
void ShowMessageText(const std::string& text);

// The advice shown after an unexpected error.
inline const std::string ErrorAdviceText =
    "An error has occured on your system. If you attempt to save your work you should do so "
    "immediately, then exit the application.\nBy saving your work, there is a small chance that "
    "you maybe overwritting your previously saved work with a corrupted file.\nIn this case the "
    "old session files are renamed with the file extension \".~R\" and old group files with "
    "\".~RG\"";

// Shows the exception's message, then the advice.
void ShowErrorAdvice(const std::exception& e);

// Deletes the files of one folder that match `mask` (folder, "/" or "\",
// then a file mask: "*" and "?", letter case ignored, "*.*" also taking names
// without a dot) and are older than `days` (every one when days is 0), then
// removes the folder. True when every matching file went and the folder was
// removed. Only regular files are deleted; symbolic links are neither
// followed nor deleted, and nothing outside the folder is touched.
bool DeleteAgedFiles(const std::string& mask, double days);

// DeleteAgedFiles over a whole tree: in every folder, subfolders first, every
// file older than `days` goes, then the folder when it is empty, the given
// one included. True when the whole tree went. Symbolic links inside the
// tree are never followed or deleted (a folder holding one stays).
bool DeleteDirTree(const std::string& folder, double days);

// The decimal integer of the text (blanks before it allowed, a sign, 32-bit
// range); 0 when the text is no such number.
int JnStrToInt(std::string_view text);

// True when the name's extension is ".gif", ".jpe", ".jpeg", ".jpg" or
// ".png", letter case ignored.
bool IsImageFile(std::string_view name);

// Moves between a text box and a list. A box is anything with Text() and
// SetText(); a list anything with Count(), operator[], IndexOf() (the list's
// own search, ignoring case), Add() and Delete(), such as TStringList.

// The box's text, trimmed, goes into the list and the box is emptied, unless
// the text is empty or the list already holds it.
template <class TBox, class TList>
void EditTextToList(TBox& box, TList& list) {
  std::string text = TrimBlanks(box.Text());
  if (text.empty() || list.IndexOf(text) >= 0) return;
  list.Add(text);
  box.SetText("");
}

template <class TBox, class TList>
void ComboTextToList(TBox& box, TList& list) {
  EditTextToList(box, list);
}

// The item at `index` moves into the box; nothing happens outside the list.
template <class TList, class TBox>
void ListItemToEdit(TList& list, TBox& box, int index) {
  if (index < 0 || index >= list.Count()) return;
  box.SetText(std::string(list[index]));
  list.Delete(index);
}

template <class TList, class TBox>
void ListItemToCombo(TList& list, TBox& box, int index) {
  ListItemToEdit(list, box, index);
}

}  // namespace qv
