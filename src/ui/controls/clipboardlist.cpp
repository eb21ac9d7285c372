#include "ui/controls/clipboardlist.h"

#include <string_view>
#include <unordered_set>
#include <utility>

#include <QApplication>
#include <QClipboard>

#include "model/dropbytes.h"
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
  QString text;
  for (const auto& line : lines) text += ExternalToQ(line) + QStringLiteral("\r\n");
  cb->setText(text);
}

std::vector<std::string> NewClipboardLines(const std::vector<std::string>& have,
                                           const std::string& removeChars) {
  // Another program's text may be huge; a character is at least one byte, so
  // one more character than the bound's bytes tells BoundText it was longer.
  const QString clip =
      QApplication::clipboard()->text().left(static_cast<qsizetype>(kDropTextLimit) + 1);
  if (clip.isEmpty()) return {};
  // The same test AddStringIC makes, through a set: a long paste into a long
  // list must not compare every line with every entry.
  auto key = [&](std::string_view s) {
    std::string k = TrimBlanks(s);
    StrRemCh(k, removeChars);
    return UpperCaseAscii(k);
  };
  std::unordered_set<std::string> known;
  for (const auto& s : have) known.insert(key(s));
  std::vector<std::string> added;
  int n = 0;
  for (auto& piece : SplitClipboardLines(BoundText(ExternalFromQ(clip)))) {
    if (++n % 100 == 0) QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    const std::string k = key(piece);
    if (!k.empty() && known.insert(k).second) added.push_back(std::move(piece));
  }
  return added;
}

}  // namespace qv
