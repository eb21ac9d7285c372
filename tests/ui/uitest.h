#pragma once

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include <QApplication>
#include <QCoreApplication>

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

// Base of fixtures that hold widgets as members: the application exists
// before any member is built.
class UiTest : public ::testing::Test {
 protected:
  UiTest() { App(); }
};

}  // namespace qv::test
