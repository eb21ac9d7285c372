#include "ui/controls/clipboardlist.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QEvent>

#include "model/dropbytes.h"
#include "ui/controls/listboxext.h"
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

TEST(ClipboardLines, TextBeyondLatin1CrossesAsUtf8) {
  test::App();
  QApplication::clipboard()->setText(
      QString::fromUtf8("http://\xE4\xBE\x8B.jp/\xC3\xBC\xE2\x82\xAC\nplain"));
  EXPECT_EQ(NewClipboardLines({}, ""),
            (std::vector<std::string>{"http://\xE4\xBE\x8B.jp/\xC3\xBC\xE2\x82\xAC", "plain"}));

  // UTF-8 lines go out as what they spell; other 8-bit lines as Latin-1.
  CopyLinesToClipboard({"\xE2\x82\xAC", "caf\xE9"});
  EXPECT_EQ(QApplication::clipboard()->text(),
            QString::fromUtf8("\xE2\x82\xAC\r\ncaf\xC3\xA9\r\n"));

  // Through a list box: pasted and read back byte for byte.
  TListBoxExt box;
  QApplication::clipboard()->setText(QString::fromUtf8("\xE6\x97\xA5\xE6\x9C\xAC"));
  box.PasteText("");
  ASSERT_EQ(box.Count(), 1);
  EXPECT_EQ(box.ItemText(0), "\xE6\x97\xA5\xE6\x9C\xAC");
  QApplication::clipboard()->setText(QString());
}

// Records whether a posted event reached it.
class TEventProbe : public QObject {
 public:
  bool Seen = false;
  bool event(QEvent* e) override {
    if (e->type() == QEvent::User) Seen = true;
    return QObject::event(e);
  }
};

TEST(ClipboardLines, LongPasteIsBoundedAndLetsEventsRun) {
  test::App();
  QString text;
  const int lines = 60000;
  for (int i = 0; i < lines; ++i)
    text += QString("http://h.example/%1\r\n").arg(i, 6, 10, QChar('0'));
  QApplication::clipboard()->setText(text);
  TEventProbe probe;
  QCoreApplication::postEvent(&probe, new QEvent(QEvent::User));
  const std::vector<std::string> got = NewClipboardLines({"HTTP://H.EXAMPLE/000001"}, "");
  EXPECT_TRUE(probe.Seen);
  ASSERT_GT(got.size(), 1000u);
  EXPECT_LT(got.size(), static_cast<size_t>(lines - 1));
  size_t bytes = 0;
  for (const auto& l : got) bytes += l.size() + 2;
  EXPECT_LE(bytes, kDropTextLimit + 2);
  EXPECT_EQ(got[0], "http://h.example/000000");
  EXPECT_EQ(got[1], "http://h.example/000002");
  // The last line kept is whole.
  EXPECT_EQ(got.back().size(), got[0].size());
  QApplication::clipboard()->setText(QString());
}

}  // namespace
}  // namespace qv
