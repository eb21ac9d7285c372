#pragma once

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QMenu>
#include <QTest>

#include <gtest/gtest.h>

namespace qv::test {

// The windows default to folders under the user's home (the mirror in
// $HOME/TvWeb, the settings store under $XDG_CONFIG_HOME): a test program
// gets a home of its own, removed at exit, so no test writes into the real
// one. Fixtures that need a particular home still set their own.
inline void IsolateHome() {
  // A plain array: it outlives every static destructor, so the removal at
  // exit still knows the folder.
  static char home[] = "/tmp/qv-uitest-home.XXXXXX";
  static const bool made = [] {
    if (!::mkdtemp(home)) return false;
    ::setenv("HOME", home, 1);
    for (const char* var : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"}) ::unsetenv(var);
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(home, ec);
    });
    return true;
  }();
  (void)made;
}

// One application object for the whole test program, made on first use so
// that listing the tests needs no display.
inline QApplication* App() {
  IsolateHome();
  static int argc = 1;
  static char name[] = "qv_ui_test";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);
  return app;
}

inline void Pump() {
  for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
}

// A right click at the middle of a widget as the window system gives it:
// press and release (each travels on to the parents while ignored), then
// the pop-up menu request.
inline void RightClick(QWidget* w) {
  const QPoint at(w->width() / 2, w->height() / 2);
  QTest::mouseClick(w, Qt::RightButton, {}, at);
  QContextMenuEvent ask(QContextMenuEvent::Mouse, at, w->mapToGlobal(at));
  QApplication::sendEvent(w, &ask);
}

// Chooses the item of the open pop-up menu with the mouse, as the user
// does; false when no menu is open or it has no such item.
inline bool ClickPopupItem(const QString& text) {
  auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
  if (!menu) return false;
  for (QAction* a : menu->actions())
    if (a->text() == text) {
      QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(a).center());
      Pump();
      return true;
    }
  menu->close();
  return false;
}

// Base of fixtures that hold widgets as members: the application exists
// before any member is built.
class UiTest : public ::testing::Test {
 protected:
  UiTest() { App(); }
};

}  // namespace qv::test
