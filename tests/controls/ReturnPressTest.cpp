// Return and Enter press a focused push button, as Space does; nothing else does.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QWidget>

#include "controls/ReturnPress.h"

TEST(ReturnPress, ReturnAndEnterPressTheButtonOtherKeysAndModifiersDoNot) {
  struct Case {
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    bool autoRepeat;
    int presses;
  };
  const Case cases[] = {
      {Qt::Key_Return, Qt::NoModifier, false, 1},  {Qt::Key_Enter, Qt::KeypadModifier, false, 1},
      {Qt::Key_Return, Qt::NoModifier, true, 0},   {Qt::Key_Return, Qt::ControlModifier, false, 0},
      {Qt::Key_Return, Qt::AltModifier, false, 0}, {Qt::Key_A, Qt::NoModifier, false, 0},
  };
  for (const Case& c : cases) {
    QWidget window;
    auto* button = new QPushButton(QStringLiteral("提交"), &window);
    button->setAutoDefault(false);
    PressOnReturn(button);
    int presses = 0;
    QObject::connect(button, &QPushButton::clicked, [&] { ++presses; });
    QKeyEvent key(QEvent::KeyPress, c.key, c.modifiers, QString(), c.autoRepeat);
    QCoreApplication::sendEvent(button, &key);
    EXPECT_EQ(presses, c.presses) << "key " << c.key << " modifiers " << c.modifiers.toInt();
  }
}
