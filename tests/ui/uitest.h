#pragma once

#include <QApplication>
#include <QCoreApplication>

#include <gtest/gtest.h>

namespace qv::test {

// One application object for the whole test program, made on first use so
// that listing the tests needs no display.
inline QApplication* App() {
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
