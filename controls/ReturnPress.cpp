#include "controls/ReturnPress.h"

#include <QAbstractButton>
#include <QKeyEvent>

namespace {

class ReturnPress final : public QObject {
 public:
  explicit ReturnPress(QAbstractButton* button) : QObject(button) {}
  bool eventFilter(QObject* object, QEvent* event) override {
    if (event->type() != QEvent::KeyPress) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if ((key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) ||
        (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
      return false;
    auto* button = static_cast<QAbstractButton*>(object);
    if (!key->isAutoRepeat() && button->isEnabled()) button->click();
    return true;
  }
};

}  // namespace

void PressOnReturn(QAbstractButton* button) {
  if (button) button->installEventFilter(new ReturnPress(button));
}
