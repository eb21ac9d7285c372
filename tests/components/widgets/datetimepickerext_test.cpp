#include "components/widgets/datetimepickerext.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTest>

#include "ui/uitest.h"

namespace qv {
namespace {

// A press on the text field and one on the arrow each fire the event once.
TEST(DateTimePickerExt, PressesAnywhereFireOnce) {
  test::App();
  TDateTimePickerExt picker;
  picker.resize(200, 30);
  picker.show();
  test::Pump();
  int presses = 0;
  QPoint at;
  picker.OnMouseDown = [&](TDateTimePickerExt* sender, Qt::MouseButton button,
                           Qt::KeyboardModifiers shift, int x, int y) {
    EXPECT_EQ(sender, &picker);
    EXPECT_EQ(button, Qt::LeftButton);
    EXPECT_EQ(shift, Qt::ShiftModifier);
    ++presses;
    at = QPoint(x, y);
  };
  QLineEdit* text = picker.findChild<QLineEdit*>();
  ASSERT_NE(text, nullptr);
  const QPoint inText(5, picker.height() / 2);
  ASSERT_TRUE(text->geometry().contains(inText));
  QTest::mouseClick(text, Qt::LeftButton, Qt::ShiftModifier, text->mapFrom(&picker, inText));
  EXPECT_EQ(presses, 1);
  EXPECT_EQ(at, inText);

  const QPoint onArrow(picker.width() - 4, picker.height() / 2);
  ASSERT_FALSE(text->geometry().contains(onArrow));
  QTest::mouseClick(&picker, Qt::LeftButton, Qt::ShiftModifier, onArrow);
  EXPECT_EQ(presses, 2);
  EXPECT_EQ(at, onArrow);
}

}  // namespace
}  // namespace qv
