#include "ui/controls/uotarget.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include <QApplication>
#include <QDrag>
#include <QDragEnterEvent>
#include <QListWidget>
#include <QMimeData>

#include "model/dropbytes.h"
#include "ui/controls/uodataobject.h"
#include "ui/controls/uosource.h"
#include "ui/uitest.h"

namespace qv {
namespace {

using namespace std::string_literals;
using F = TDropTextFormat;

QByteArray Bytes(const std::string& s) {
  return QByteArray(s.data(), static_cast<qsizetype>(s.size()));
}

std::string Descriptor(const std::string& name, size_t keep = 4 + 332) {
  std::string d = "\x01\0\0\0"s + std::string(72, '\x7F') + name;
  d.resize(4 + 332, '\0');
  return d.substr(0, keep);
}

const QString kDescriptorMime = "application/x-qt-windows-mime;value=\"FileGroupDescriptor\"";
const QString kImageMime = "application/x-qt-windows-mime;value=\"Netscape Image Format\"";

struct TDrop {
  bool EnterAccepted = false;
  Qt::DropAction Result = Qt::IgnoreAction;
};

// A drag that enters the widget, moves and drops, as Qt delivers one.
TDrop SendDrag(QWidget* w, const QMimeData* md, QPoint at,
               Qt::DropActions allowed = Qt::CopyAction | Qt::MoveAction,
               Qt::KeyboardModifiers keys = Qt::NoModifier) {
  TDrop r;
  QDragEnterEvent enter(at, allowed, md, Qt::LeftButton, keys);
  QApplication::sendEvent(w, &enter);
  r.EnterAccepted = enter.isAccepted();
  QDragMoveEvent move(at, allowed, md, Qt::LeftButton, keys);
  QApplication::sendEvent(w, &move);
  QDropEvent drop(QPointF(at), allowed, md, Qt::LeftButton, keys);
  QApplication::sendEvent(w, &drop);
  r.Result = drop.isAccepted() ? drop.dropAction() : Qt::IgnoreAction;
  return r;
}

class TargetTest : public test::UiTest {
 protected:
  TargetTest() {
    Acceptor.resize(100, 100);
    Target.SetAcceptorControl(&Acceptor);
    Target.OnDrop = [this](QObject* sender, QWidget* acceptor, const std::string& text, int x,
                           int y) {
      EXPECT_EQ(sender, &Target);
      EXPECT_EQ(acceptor, &Acceptor);
      Drops.push_back(text);
      At = QPoint(x, y);
    };
    Target.OnDragEnter = [this](QObject*, TDropEffect e, int, int) { Entered.push_back(e); };
    Target.OnDragOver = [this](QObject*, TDropEffect e, int, int) { Over.push_back(e); };
    Target.OnDragLeave = [this](QObject*) { ++Left; };
  }

  QWidget Owner;
  QWidget Acceptor;
  TUOTextTarget Target{&Owner};
  std::vector<std::string> Drops;
  std::vector<TDropEffect> Entered, Over;
  QPoint At;
  int Left = 0;
};

TEST_F(TargetTest, OfferedFormatsAgainstAcceptedSets) {
  const std::string moz = Utf8ToUtf16LE("http://a.example/p\nCaf\xC3\xA9 page");
  struct TCase {
    const char* Name;
    std::vector<std::pair<QString, std::string>> Offer;
    TDropTextFormats Accept;
    bool Dropped;
    int Kind;
    std::string Text;
    std::string Title;
  } cases[] = {
      {"plain text", {{"text/plain", "abc"}}, {F::dtfText}, true, 3, "abc", ""},
      {"text cut at its first zero",
       {{"text/plain", "http://x\0\0"s}},
       {F::dtfText},
       true,
       3,
       "http://x",
       ""},
      {"UTF-16 x-moz-url with its title",
       {{"text/x-moz-url", moz}, {"text/plain", "http://a.example/p"}},
       {F::dtfURL, F::dtfText},
       true,
       0,
       "http://a.example/p",
       "Caf\xC3\xA9 page"},
      {"a URL where only text is taken", {{"text/x-moz-url", moz}}, {F::dtfText}, false, 0, "", ""},
      {"a link as a URI list",
       {{"text/uri-list", "http://b.example/\r\n"}},
       {F::dtfURL},
       true,
       0,
       "http://b.example/",
       ""},
      {"files",
       {{"text/uri-list", "file:///tmp/a\r\nfile:///tmp/b%20c\r\n"}, {"text/plain", "x"}},
       {F::dtfFiles, F::dtfText},
       true,
       4,
       "/tmp/a\r\n/tmp/b c",
       ""},
      {"files are no URL", {{"text/uri-list", "file:///tmp/a\r\n"}}, {F::dtfURL}, false, 0, "", ""},
      {"HTML gets its source page in front",
       {{"text/html", "<b>x</b>"}, {"text/x-moz-url-priv", Utf8ToUtf16LE("http://s.example/")}},
       {F::dtfIEHTML, F::dtfText},
       true,
       1,
       "SourceURL:http://s.example/\r\n<b>x</b>",
       ""},
      {"HTML without a source page",
       {{"text/html", "<b>x</b>\0"s}},
       {F::dtfIEHTML},
       true,
       1,
       "<b>x</b>",
       ""},
      {"rich text",
       {{"text/rtf", "{\\rtf1 x}\0\0"s}, {"text/plain", "x"}},
       {F::dtfRichText, F::dtfText},
       true,
       2,
       "{\\rtf1 x}",
       ""},
      {"title from a file-group descriptor",
       {{"text/x-moz-url", moz}, {kDescriptorMime, Descriptor("Some Page.url")}},
       {F::dtfURL},
       true,
       0,
       "http://a.example/p",
       "Some Page"},
      {"a short descriptor leaves the drop standing",
       {{"text/x-moz-url", moz}, {kDescriptorMime, Descriptor("Some Page.url", 80)}},
       {F::dtfURL},
       true,
       0,
       "http://a.example/p",
       "Caf\xC3\xA9 page"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    QMimeData md;
    for (const auto& [mime, bytes] : c.Offer) md.setData(mime, Bytes(bytes));
    Target.SetAcceptTextFormats(c.Accept);
    Drops.clear();
    Target.URLTitle = "stale";
    const TDrop r = SendDrag(&Acceptor, &md, QPoint(7, 9));
    EXPECT_EQ(r.Result, c.Dropped ? Qt::CopyAction : Qt::IgnoreAction);
    if (!c.Dropped) {
      EXPECT_TRUE(Drops.empty());
      continue;
    }
    ASSERT_EQ(Drops.size(), 1u);
    EXPECT_EQ(Drops[0], c.Text);
    EXPECT_EQ(Target.DroppedText, c.Text);
    EXPECT_EQ(Target.DropKind, c.Kind);
    EXPECT_EQ(At, QPoint(7, 9));
    if (c.Kind == 0) {
      EXPECT_EQ(Target.URLTitle, c.Title);
    }
  }
}

TEST_F(TargetTest, ARefusedDragReportsNoEffect) {
  QMimeData md;
  md.setData("text/x-moz-url", Bytes(Utf8ToUtf16LE("http://a/")));
  const TDrop r = SendDrag(&Acceptor, &md, QPoint(1, 1));
  EXPECT_FALSE(r.EnterAccepted);
  EXPECT_EQ(Entered, std::vector<TDropEffect>{TDropEffect::deNone});
  EXPECT_EQ(r.Result, Qt::IgnoreAction);
}

TEST_F(TargetTest, EffectFollowsTheKeysAndWhatTheSourceAllows) {
  QMimeData md;
  md.setData("text/plain", "abc");
  const auto copy = Qt::CopyAction, move = Qt::MoveAction, link = Qt::LinkAction;
  const auto ctrl = Qt::ControlModifier, shift = Qt::ShiftModifier;
  struct {
    Qt::DropActions Allowed;
    Qt::KeyboardModifiers Keys;
    Qt::DropAction Want;
  } cases[] = {
      // No key: copy first, since the target only copies what it reads.
      {copy | move, Qt::NoModifier, copy},
      {move | link, Qt::NoModifier, move},
      {link, Qt::NoModifier, link},
      {move, ctrl, Qt::IgnoreAction},
      {copy | move, shift, move},
      {copy | link, ctrl | shift, link},
      {copy | move, ctrl | shift, Qt::IgnoreAction},
  };
  for (const auto& c : cases) {
    Over.clear();
    const TDrop r = SendDrag(&Acceptor, &md, QPoint(1, 1), c.Allowed, c.Keys);
    EXPECT_EQ(r.Result, c.Want) << c.Allowed.toInt() << " " << c.Keys.toInt();
    ASSERT_FALSE(Over.empty());
    EXPECT_EQ(DropActionOf(Over.back()), c.Want);
  }
}

TEST_F(TargetTest, CustomFormatFirstIsReadWholeWithItsIndex) {
  Target.CustomFormats.push_back({"Netscape Image Format", 0});
  Target.SetAcceptTextFormats({F::dtfCustom, F::dtfURL, F::dtfText});
  QMimeData md;
  const std::string block = "http://i.example/a.png\0http://i.example/\0T\0"s;
  md.setData(kImageMime, Bytes(block));
  md.setData("text/x-moz-url", Bytes(Utf8ToUtf16LE("http://i.example/")));
  EXPECT_EQ(SendDrag(&Acceptor, &md, QPoint(1, 1)).Result, Qt::CopyAction);
  EXPECT_EQ(Target.CustomFormatIndex, 0);
  EXPECT_EQ(Target.DropKind, 5);
  EXPECT_EQ(Target.DroppedText, block);

  // Without the custom format the URL is read and the index says none.
  QMimeData url;
  url.setData("text/x-moz-url", Bytes(Utf8ToUtf16LE("http://i.example/")));
  SendDrag(&Acceptor, &url, QPoint(1, 1));
  EXPECT_EQ(Target.CustomFormatIndex, -1);
  EXPECT_EQ(Target.DropKind, 0);
}

TEST_F(TargetTest, FormatsOfTheDataDraggedOver) {
  QMimeData md;
  md.setData("text/plain", "x");
  md.setData("text/uri-list", "file:///tmp/a\r\n");
  md.setData("image/png", "png");
  QDragEnterEvent enter(QPoint(1, 1), Qt::CopyAction, &md, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&Acceptor, &enter);
  EXPECT_EQ(Target.AvailableTextFormats(),
            (TDropTextFormats{F::dtfText, F::dtfFiles, F::dtfCustom}));
  EXPECT_EQ(Target.DataFormats(), (std::vector<std::string>{"1", "15", "image/png"}));
  EXPECT_TRUE(Target.HasDataFormat("15"));
  // A narrower set is re-tested at once.
  Target.SetAcceptTextFormats({F::dtfURL});
  QDragMoveEvent move(QPoint(1, 1), Qt::CopyAction, &md, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&Acceptor, &move);
  EXPECT_EQ(Over.back(), TDropEffect::deNone);

  QDragLeaveEvent leave;
  QApplication::sendEvent(&Acceptor, &leave);
  EXPECT_EQ(Left, 1);
  EXPECT_TRUE(Target.DataFormats().empty());
  EXPECT_FALSE(Target.HasDataFormat("1"));
}

TEST_F(TargetTest, OneAcceptorPerOwnerAndGoneWidgetsAreLetGo) {
  TUOTextTarget other(&Owner);
  other.SetAcceptorControl(&Acceptor);
  EXPECT_EQ(other.AcceptorControl(), nullptr);
  EXPECT_EQ(Target.AcceptorControl(), &Acceptor);

  // The acceptor and the dragged data both go away in the middle of a drag.
  auto gone = std::make_unique<QListWidget>();
  other.SetAcceptorControl(gone.get());
  EXPECT_TRUE(gone->viewport()->acceptDrops());
  auto md = std::make_unique<QMimeData>();
  md->setData("text/plain", "x");
  QDragEnterEvent enter(QPoint(1, 1), Qt::CopyAction, md.get(), Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(gone->viewport(), &enter);
  EXPECT_EQ(other.DataFormats(), std::vector<std::string>{"1"});
  md.reset();
  EXPECT_TRUE(other.DataFormats().empty());
  EXPECT_TRUE(other.AvailableTextFormats().Empty());
  QDragLeaveEvent leave;
  QApplication::sendEvent(gone->viewport(), &leave);
  gone.reset();
  EXPECT_EQ(other.AcceptorControl(), nullptr);
  // The target still works on the next acceptor.
  QWidget next;
  std::vector<std::string> got;
  other.OnDrop = [&](QObject*, QWidget*, const std::string& t, int, int) { got.push_back(t); };
  other.SetAcceptorControl(&next);
  QMimeData again;
  again.setData("text/plain", "y");
  EXPECT_EQ(SendDrag(&next, &again, QPoint(1, 1)).Result, Qt::CopyAction);
  EXPECT_EQ(got, std::vector<std::string>{"y"});

  // A target destroyed first leaves its widget as it was.
  QWidget w;
  {
    TUOTextTarget brief;
    brief.OnDrop = [](QObject*, QWidget*, const std::string&, int, int) { ADD_FAILURE(); };
    brief.SetAcceptorControl(&w);
  }
  EXPECT_FALSE(w.acceptDrops());
  QMimeData text;
  text.setData("text/plain", "x");
  EXPECT_EQ(SendDrag(&w, &text, QPoint(1, 1)).Result, Qt::IgnoreAction);
}

TEST_F(TargetTest, AListViewTakesDropsThroughItsViewport) {
  QListWidget list;
  list.resize(120, 120);
  TUOTextTarget t;
  std::vector<std::string> got;
  QPoint at;
  t.OnDrop = [&](QObject*, QWidget* acceptor, const std::string& text, int x, int y) {
    EXPECT_EQ(acceptor, &list);
    got.push_back(text);
    at = QPoint(x, y);
  };
  t.SetAcceptorControl(&list);
  QMimeData md;
  md.setData("text/plain", "http://v.example/");
  EXPECT_EQ(SendDrag(list.viewport(), &md, QPoint(5, 6)).Result, Qt::CopyAction);
  EXPECT_EQ(got, std::vector<std::string>{"http://v.example/"});
  EXPECT_EQ(at, list.viewport()->mapTo(&list, QPoint(5, 6)));
  EXPECT_EQ(list.count(), 0);  // the view's own drop handling stayed out
}

TEST_F(TargetTest, DropHandlerMayDestroyTheTarget) {
  auto t = std::make_unique<TUOTextTarget>();
  QWidget w;
  t->SetAcceptorControl(&w);
  t->OnDrop = [&](QObject*, QWidget*, const std::string&, int, int) { t.reset(); };
  QMimeData md;
  md.setData("text/plain", "x");
  EXPECT_EQ(SendDrag(&w, &md, QPoint(1, 1)).Result, Qt::CopyAction);
  EXPECT_EQ(t, nullptr);
  EXPECT_FALSE(w.acceptDrops());
}

TEST_F(TargetTest, OwnDragOfFilesArrivesAsFullPaths) {
  TUOTextSource source;
  const std::string longName = "/tmp/" + std::string(1200, 'n');
  source.CustomFormats.AddFormat("15", "");
  source.CustomFormats.AddFormat("1", "");
  source.OnRenderCustomFormat = [&](QObject*, const std::string& name, std::string& out) {
    out =
        name == "15" ? BuildDropFilesBlock("", {"/tmp/one", longName, "/tmp/with blanks"}) : "text";
  };
  Target.SetAcceptTextFormats({F::dtfFiles, F::dtfText});
  source.DragRunner = [&](QDrag& drag, Qt::DropActions allowed) {
    return SendDrag(&Acceptor, drag.mimeData(), QPoint(2, 2), allowed).Result;
  };
  bool ok = false;
  source.OnAfterDrop = [&](QObject*, QObject*, bool dropped) { ok = dropped; };
  EXPECT_TRUE(source.Execute());
  EXPECT_TRUE(ok);
  EXPECT_EQ(Target.DropKind, 4);
  EXPECT_EQ(Target.DroppedText, "/tmp/one\r\n" + longName + "\r\n/tmp/with blanks");
  EXPECT_EQ(source.ServedFormatIndex, 0);
}

}  // namespace
}  // namespace qv
