#include "client/ui/dialogs/DialogWidgets.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

#include "client/ui/shell/MessageBoxes.h"
#include "controls/CMessageBoxDialog.h"
#include "controls/SkinImages.h"

CPngPicture::CPngPicture(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_TranslucentBackground);
}

void CPngPicture::SetImage(const QString& relative) {
  if (relative == m_name && !m_image.isNull()) return;
  m_name = relative;
  m_image = LoadSkinImage(relative);
  repaint();
}

void CPngPicture::paintEvent(QPaintEvent*) {
  if (m_image.isNull()) return;
  QPainter p(this);
  const QSize room = size() - m_image.size();
  p.drawImage(QPoint(std::max(0, room.width() / 2), std::max(0, room.height() / 2)), m_image);
}

CClickText::CClickText(const QString& text, QWidget* parent) : QLabel(text, parent) {
  setAttribute(Qt::WA_TranslucentBackground);
  setAutoFillBackground(false);
}

void CClickText::SetNotify(bool notify) {
  m_notify = notify;
  setFocusPolicy(notify ? Qt::TabFocus : Qt::NoFocus);
  // The program's accessibility factory reports a widget carrying this property in that
  // role: a clickable text is a link to a screen reader, a plain one stays static text.
  setProperty("orvAccessibleRole",
              notify ? QVariant(static_cast<int>(QAccessible::Link)) : QVariant());
}

void CClickText::SetLinkStyle(bool link) {
  QFont f = font();
  f.setUnderline(link);
  setFont(f);
  if (link) {
    SetTextColor(QColor(22, 122, 235));
    setCursor(Qt::PointingHandCursor);
  } else {
    SetTextColor(QColor(0, 0, 0));
    unsetCursor();
  }
}

void CClickText::SetTextColor(const QColor& color) {
  QPalette pal = palette();
  pal.setColor(QPalette::WindowText, color);
  setPalette(pal);
}

void CClickText::mouseReleaseEvent(QMouseEvent* event) {
  if (m_notify && event->button() == Qt::LeftButton &&
      rect().contains(event->position().toPoint())) {
    emit clicked();
    return;
  }
  QLabel::mouseReleaseEvent(event);
}

void CClickText::keyPressEvent(QKeyEvent* event) {
  if (m_notify && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter ||
                   event->key() == Qt::Key_Space)) {
    emit clicked();
    return;
  }
  QLabel::keyPressEvent(event);
}

void ShowDialogMessage(QWidget* parent, const QString& message, bool blankCaption) {
  CMessageBoxDialog box(parent, message);
  if (blankCaption) box.setWindowTitle(QString());
  shell::RunMessageBox(box);
}
