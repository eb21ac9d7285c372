// Context help of the main window, and its tab pages.
#include <QComboBox>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>

#include "ui/helpwindow.h"
#include "ui/mainform.h"

namespace qv {

bool TForm1::eventFilter(QObject* o, QEvent* e) {
  if (ClipboardEvent(o, e)) return true;
  if (QWidget* pressed = HelpPress.Pressed(o, e)) HelpMouseDown(pressed);
  // The filter boxes take the help of the one the pointer is over, or the
  // one whose list is opened from the keyboard.
  if (e->type() == QEvent::Enter || e->type() == QEvent::KeyPress)
    for (QComboBox* c : {DLFilesCombo, ChkFilesCombo, NewFilesCombo, FailedFilesCombo,
                         DelFilesCombo, WebPgFilesCombo, ImageLinksCombo}) {
      if (o != c) continue;
      if (e->type() == QEvent::Enter) {
        HelpMouseMove(c);
      } else {
        const auto* k = static_cast<QKeyEvent*>(e);
        const bool opens =
            k->key() == Qt::Key_F4 || ((k->key() == Qt::Key_Down || k->key() == Qt::Key_Up) &&
                                       (k->modifiers() & Qt::AltModifier));
        if (opens) SetHelpClick(c);
      }
    }
  return QMainWindow::eventFilter(o, e);
}

void TForm1::contextMenuEvent(QContextMenuEvent* e) { HelpPopup->popup(e->globalPos()); }

void TForm1::HelpMouseDown(QWidget* control) { HelpControl = control; }
void TForm1::HelpMouseMove(QWidget* control) { HelpControl = control; }
void TForm1::SetHelpClick(QWidget* control) { HelpControl = control; }
void TForm1::HelpMenuClick() { ShowControlHelp(HelpControl); }

bool TForm1::ShowControlHelp(QWidget* control) {
  if (!control) return false;
  for (QWidget* w = control; w; w = w->parentWidget()) {
    const int context = w->property("HelpContext").toInt();
    if (context != 0) {
      ShowHelpContext(context);
      break;
    }
  }
  return true;
}

void TForm1::PageShow(int index) {
  if (LastPage == 0 && index != 0) CancelHDrop();
  LastPage = index;
  QWidget* page = PageControl1->widget(index);
  QPushButton* dummy = page == RetrievePage    ? RetrieveHDummy
                       : page == FiltersPage   ? FiltersHDummy
                       : page == ImagesPage    ? URLAttribsHDummy
                       : page == PasswordsPage ? PasswordsHDummy
                                               : nullptr;
  if (dummy && page->isVisible()) dummy->setFocus();
}

}  // namespace qv
