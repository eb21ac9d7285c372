#include "ui/controls/clipboardlist.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>

#include "ui/uitest.h"

namespace qv {
namespace {

TEST(ClipboardKeyOf, Table) {
  const auto ctrl = Qt::ControlModifier, shift = Qt::ShiftModifier;
  struct {
    int Key;
    Qt::KeyboardModifiers Mods;
    TClipboardKey Want;
  } cases[] = {
      {Qt::Key_Insert, ctrl, TClipboardKey::Copy},
      {Qt::Key_Insert, ctrl | shift, TClipboardKey::Copy},  // Ctrl wins over Shift
      {Qt::Key_Insert, shift, TClipboardKey::Paste},
      {Qt::Key_Insert, Qt::NoModifier, TClipboardKey::None},
      {Qt::Key_Delete, Qt::NoModifier, TClipboardKey::Delete},
      {Qt::Key_Delete, shift, TClipboardKey::Delete},
      {Qt::Key_C, ctrl, TClipboardKey::Copy},
      {Qt::Key_V, ctrl, TClipboardKey::Paste},
      {Qt::Key_C, Qt::NoModifier, TClipboardKey::None},
      {Qt::Key_X, ctrl, TClipboardKey::None},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ClipboardKeyOf(c.Key, c.Mods), c.Want) << c.Key << " " << c.Mods.toInt();
}

TEST(ClipboardLines, CopiedWithCrLfAndPastedOnlyWhenNew) {
  test::App();
  CopyLinesToClipboard({"one", "two"});
  EXPECT_EQ(QApplication::clipboard()->text(), "one\r\ntwo\r\n");

  QApplication::clipboard()->setText("ONE\nthree\r\n\r\nthree\nfour");
  EXPECT_EQ(NewClipboardLines({"one", "two"}, ""), (std::vector<std::string>{"three", "four"}));
  QApplication::clipboard()->setText(QString());
  EXPECT_TRUE(NewClipboardLines({}, "").empty());
}

}  // namespace
}  // namespace qv
