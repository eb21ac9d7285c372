// Clipboard, drops and drag-out of the main window's two lists.
#include <cstdlib>

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>

#include "engine/droppedurls.h"
#include "engine/outbox.h"
#include "engine/urladder.h"
#include "model/dropbytes.h"
#include "model/vkglobal.h"
#include "model/vkurllist.h"
#include "ui/appwindows.h"
#include "ui/controls/clipboardlist.h"
#include "ui/controls/qtext.h"
#include "ui/controls/stringatrgrid.h"
#include "ui/controls/uosource.h"
#include "ui/controls/uotarget.h"
#include "ui/controls/urllistbox.h"
#include "ui/dropdialog.h"
#include "ui/mainform.h"

namespace qv {

namespace {

// A move of more than this many pixels from the press starts a drag-out.
constexpr int kDragThreshold = 10;

// The main window as the add routines reach it.
class TForm1Sink : public TDroppedURLSink {
 public:
  explicit TForm1Sink(TForm1& form) : Form(form) {}

  int AddFoundURL(const std::string& url, const std::string& title, const std::string& imageURL,
                  int32_t size) override {
    if (!GlobalURLList || !URLListLock) return -1;
    const int index = Form.AddFoundURL(1, url, "", "", 0, title, imageURL, size);
    // The line goes into the main list at once: the user sees the drop land.
    Form.DrainOutbox();
    return index;
  }
  void SetModified() override { Form.SetModified(); }
  void SelectURL(const std::string& url) override {
    // The list shows each URL once.
    const int line = Form.SingURLs->IndexOf(url);
    if (line < 0) return;
    Form.SingURLs->clearSelection();
    Form.SingURLs->SetItemIndex(line);
  }
  TStringList RootRows() const override {
    TStringList rows;
    for (const TAtrRow& r : Form.Grid1->Rows()) rows.Add(r.Text, r.Attr);
    return rows;
  }
  int AddRootRow(const std::string& text, uint32_t attr) override {
    return Form.Grid1->AddRow(text, attr);
  }
  void SetRootURLAttributes(int row, uint8_t scope, uint8_t levels) override {
    Form.SetRootURLAttributes(row, scope, levels);
  }
  void SelectRoot(int row) override { Form.Grid1->SetItemIndex(row); }
  void RepaintRoots() override { Form.Grid1->Refresh(); }
  void DropFeedback(TDropZone zone) override {
    if (DropDlg) DropDlg->DropFeedback(zone);
  }
  // Not the user's input: a click or a key must not start a command while
  // the text is half taken.
  void LetMessagesRun() override {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  }

 private:
  TForm1& Form;
};

}  // namespace

TDroppedURLSink& TForm1::DropSink() {
  if (!DropSink_) DropSink_ = std::make_unique<TForm1Sink>(*this);
  return *DropSink_;
}

void TForm1::InstallClipboardHandlers() {
  using F = TDropTextFormat;
  RootURLsDrop->SetAcceptTextFormats({F::dtfURL, F::dtfText, F::dtfCustom});
  URLsDrop->SetAcceptTextFormats({F::dtfURL, F::dtfIEHTML, F::dtfText, F::dtfCustom});
  RootURLsDrop->OnDrop = [this](QObject*, QWidget*, const std::string& text, int, int) {
    RootURLsDropDrop(
        {RootURLsDrop->DropKind, RootURLsDrop->CustomFormatIndex, text, RootURLsDrop->URLTitle});
  };
  URLsDrop->OnDrop = [this](QObject*, QWidget*, const std::string& text, int, int) {
    URLsDropDrop({URLsDrop->DropKind, URLsDrop->CustomFormatIndex, text, URLsDrop->URLTitle});
  };
  for (TUOTextSource** src : {&SingURLsSrc, &RootURLsSrc}) {
    *src = new TUOTextSource(this);
    TUOTextSource* s = *src;
    s->MouseButton = Qt::RightButton;
    s->DropEffects = TDropEffects{TDropEffect::deCopy};
    s->OnCancelDrop = [this](QObject*) { CancelHDrop(); };
    s->OnRenderCustomFormat = [this, s](QObject*, const std::string& name, std::string& content) {
      content = RenderDragOut(s, name);
    };
  }
}

bool TForm1::ClipboardEvent(QObject* o, QEvent* e) {
  const bool inList = o == SingURLs || o == SingURLs->viewport();
  const bool inGrid = o == Grid1 || o == Grid1->viewport();
  if (!inList && !inGrid) return false;
  QWidget* list = inList ? static_cast<QWidget*>(SingURLs) : static_cast<QWidget*>(Grid1);
  switch (e->type()) {
    case QEvent::MouseButtonPress:
      ListsMouseDown(list, *static_cast<QMouseEvent*>(e));
      return false;
    case QEvent::MouseMove: {
      const auto* m = static_cast<QMouseEvent*>(e);
      const QPoint p = m->position().toPoint();
      StartDragOut(inList ? SingURLsSrc : RootURLsSrc, p.x(), p.y(), m->buttons());
      return false;
    }
    case QEvent::MouseButtonRelease:
      if (static_cast<QMouseEvent*>(e)->button() == Qt::RightButton) {
        // The button is up: no drag-out is pending any more.
        DragStartX = -1;
        if (PendingMenu.Receiver == o) {
          const TPendingMenu menu = PendingMenu;
          PendingMenu = {};
          QContextMenuEvent ask(QContextMenuEvent::Mouse, menu.Pos, menu.GlobalPos);
          QCoreApplication::sendEvent(o, &ask);
        }
      }
      return false;
    case QEvent::ContextMenu: {
      // On X11 the menu is asked for as the right button goes down, which
      // would end at once the drag-out that press began: the menu waits for
      // the release, as it does where menus come at the release, and a drag
      // started meanwhile drops it.
      const auto* c = static_cast<QContextMenuEvent*>(e);
      if (c->reason() == QContextMenuEvent::Mouse && DragStartX > 0) {
        PendingMenu = {o, c->pos(), c->globalPos()};
        return true;
      }
      // A right click that opens a menu never starts a drag.
      DragStartX = -1;
      PendingMenu = {};
      return false;
    }
    case QEvent::KeyPress: {
      if (o != SingURLs) return false;
      // The list's own keys are its pop-up's commands: the view's copy key
      // would take the focused line alone, without a line end.
      const auto* k = static_cast<QKeyEvent*>(e);
      switch (ClipboardKeyOf(k->key(), k->modifiers())) {
        case TClipboardKey::Copy:
          CancelHDrop();
          URLCopyClick();
          return true;
        case TClipboardKey::Paste:
          PasteURLsToList();
          return true;
        case TClipboardKey::Delete:
          CancelHDrop();
          URLDeleteClick();
          return true;
        case TClipboardKey::None:
          break;
      }
      return false;
    }
    default:
      return false;
  }
}

int TForm1::AddURLsFromText(const std::string& text) {
  return qv::AddURLsFromText(DropSink(), text);
}

void TForm1::PasteURLsToList() {
  const QMimeData* md = QGuiApplication::clipboard()->mimeData();
  if (!md || !md->hasText()) return;
  AddURLsFromText(BoundDropText(ExternalFromQ(md->text())));
}

void TForm1::ListsMouseDown(QWidget* list, const QMouseEvent& e) {
  CancelHDrop();
  HelpMouseDown(list);
  if (e.button() != Qt::RightButton) return;
  const QPoint p = e.position().toPoint();
  DragStartX = p.x();
  DragStartY = p.y();
}

void TForm1::StartDragOut(TUOTextSource* source, int x, int y, Qt::MouseButtons buttons) {
  if (!source || !(buttons & Qt::RightButton) || DragStartX <= 0) return;
  if (std::abs(x - DragStartX) <= kDragThreshold && std::abs(y - DragStartY) <= kDragThreshold)
    return;
  DragStartX = -1;
  PendingMenu = {};
  source->CustomFormats.Clear();
  // Files are offered only when there is a stored copy to hand out.
  if (AnyStoredCopy(LocalWebDir(), DragOutURLs(source))) source->CustomFormats.AddFormat("15", "");
  source->CustomFormats.AddFormat("1", "");
  if (!source->Dragging()) source->Execute();
}

std::vector<std::string> TForm1::DragOutURLs(TUOTextSource* source) {
  if (source == RootURLsSrc) return Grid1->GetSelStrings();
  return SingURLs->GetSelStrings();
}

std::string TForm1::RenderDragOut(TUOTextSource* source, const std::string& formatName) {
  CancelHDrop();
  const std::vector<std::string> urls = DragOutURLs(source);
  if (formatName == "15") {
    DragTempFiles = RenameCopiesForDrag(LocalWebDir(), urls, DragOutCopies);
    return BuildDropFilesBlock("", DragTempFiles);
  }
  if (formatName == "1") {
    if (GlobalURLList && URLListLock) {
      std::lock_guard<TCriticalSection> hold(*URLListLock);
      DragTempFiles = DragOutNames(*GlobalURLList, urls, DragOutCopies);
    } else {
      DragTempFiles = urls;
    }
    std::string text;
    for (const std::string& s : DragTempFiles) text += s + "\r\n";
    return text;
  }
  return "";
}

void TForm1::CancelHDrop() {
  // Only the renames a drag-out did are undone: the text entries are URLs
  // or, without a mirror folder, names relative to the working folder.
  RenameCopiesBack(DragOutCopies);
  DragTempFiles.clear();
}

void TForm1::RootURLsDropDrop(const TZoneDrop& drop) { DropOnRootGrid(DropSink(), drop); }

void TForm1::URLsDropDrop(const TZoneDrop& drop) { DropOnURLList(DropSink(), drop); }

}  // namespace qv
