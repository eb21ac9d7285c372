#include "ui/controls/clipboardlist.h"

#include <QApplication>
#include <QClipboard>

#include "model/strutils.h"
#include "model/syshelpers.h"
#include "ui/controls/qtext.h"

namespace qv {

TClipboardKey ClipboardKeyOf(int key, Qt::KeyboardModifiers shift) {
  const bool ctrl = shift & Qt::ControlModifier;
  if (key == Qt::Key_Insert && ctrl) return TClipboardKey::Copy;
  if (key == Qt::Key_Insert && (shift & Qt::ShiftModifier)) return TClipboardKey::Paste;
  if (key == Qt::Key_Delete) return TClipboardKey::Delete;
  if (key == Qt::Key_C && ctrl) return TClipboardKey::Copy;
  if (key == Qt::Key_V && ctrl) return TClipboardKey::Paste;
  return TClipboardKey::None;
}

void CopyLinesToClipboard(const std::vector<std::string>& lines) {
  QClipboard* cb = QApplication::clipboard();
  cb->setText(QString());
  std::string text;
  for (const auto& line : lines) text += line + "\r\n";
  cb->setText(ToQ(text));
}

std::vector<std::string> NewClipboardLines(const std::vector<std::string>& have,
                                           const std::string& removeChars) {
  const QString clip = QApplication::clipboard()->text();
  if (clip.isEmpty()) return {};
  TStringList known;
  for (const auto& s : have) known.Add(s);
  std::vector<std::string> added;
  for (const auto& piece : SplitClipboardLines(FromQ(clip)))
    if (AddStringIC(known, piece, removeChars) >= 0) added.push_back(piece);
  return added;
}

}  // namespace qv
