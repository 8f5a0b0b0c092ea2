#include "controls/CSkinBtn.h"

#include <QCursor>
#include <QEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTimerEvent>

#include "controls/SkinImages.h"

CSkinBtn::CSkinBtn(QWidget* parent) : QPushButton(parent), m_font(QStringLiteral("Arial"), 9) {
  setMouseTracking(true);
  // Reachable with Tab (a click does not move the focus, as the images show the state); the
  // focus shows as a dotted rectangle over the image.
  setFocusPolicy(Qt::TabFocus);
  setAttribute(Qt::WA_NoSystemBackground);
  m_enabled = isEnabled() ? 1 : 0;
}

CSkinBtn::~CSkinBtn() = default;

bool CSkinBtn::SetImages(const QString& normal, const QString& hover, const QString& pressed,
                         const QString& disabled) {
  const QString names[4] = {normal, hover, pressed, disabled};
  std::array<QImage, 4> images;
  bool all = true;
  for (int i = 0; i < 4; ++i) {
    images[i] = LoadSkinImage(names[i]);
    if (images[i].isNull()) {
      all = false;
      break;
    }
  }
  SetImages(images);
  return all;
}

void CSkinBtn::SetImages(const std::array<QImage, 4>& images) {
  for (int i = 0; i < 4; ++i) m_images[i] = KeyOutMagenta(images[i]);
  if (!m_images[0].isNull()) resize(m_images[0].size());
  update();
}

void CSkinBtn::SetTextColors(XColor text, XColor hotText) {
  m_textColor = text;
  m_hotTextColor = hotText;
  update();
}

void CSkinBtn::SetLatched(bool latched) {
  m_latched = latched ? 1 : 0;
  update();
}

void CSkinBtn::SetUnderlineOnHover(bool underline) {
  m_underlineOnHover = underline ? 1 : 0;
  update();
}

void CSkinBtn::SetCaptionOrigin(const QPoint& origin) {
  m_captionOrigin = origin;
  update();
}

void CSkinBtn::SetCaptionFont(const QFont& font) {
  m_font = font;
  update();
}

void CSkinBtn::SetOwnerDrawOff(bool off) {
  m_ownerDrawOff = off ? 1 : 0;
  setAttribute(Qt::WA_NoSystemBackground, !off);
  update();
}

const QImage& CSkinBtn::CurrentImage() const {
  const int slot = m_latched ? kPressed : m_state;
  // An empty slot falls back to the normal image rather than leaving a hole in the frame.
  return m_images[slot].isNull() ? m_images[kNormal] : m_images[slot];
}

void CSkinBtn::UpdateStateForPaint() {
  if (!isEnabled()) {
    m_state = kDisabled;
    m_enabled = 0;
  } else if (isDown()) {
    m_state = kPressed;
  } else if (m_hovering) {
    m_state = kHover;
  } else {
    m_state = kNormal;
  }
}

void CSkinBtn::paintEvent(QPaintEvent* event) {
  if (m_ownerDrawOff) {
    QPushButton::paintEvent(event);
    return;
  }
  UpdateStateForPaint();
  // Nothing is filled first: Qt has already painted the parent behind this button, so the
  // transparent parts of the image show it.
  QPainter painter(this);
  const QImage& image = CurrentImage();
  if (!image.isNull()) painter.drawImage(0, 0, image);

  const QString caption = text();
  if (!caption.isEmpty()) DrawCaption(painter, caption);
  if (hasFocus()) DrawFocusMark(painter, rect());
}

void CSkinBtn::DrawFocusMark(QPainter& painter, const QRect& area) {
  // Inverted dots, so the mark shows on any part of any skin.
  painter.save();
  painter.setCompositionMode(QPainter::RasterOp_NotDestination);
  painter.setPen(QPen(Qt::black, 1, Qt::DotLine));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(area.adjusted(2, 2, -3, -3));
  painter.restore();
}

void CSkinBtn::DrawCaption(QPainter& painter, const QString& caption) {
  const bool hot = m_state == kHover || m_state == kPressed;
  painter.setFont(m_font);
  painter.setPen(ToQColor(hot ? m_hotTextColor : m_textColor));
  const QRect area(m_captionOrigin,
                   QSize(width() - m_captionOrigin.x(), height() - m_captionOrigin.y()));
  QRect drawn;
  painter.drawText(area, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, caption, &drawn);
  if (m_state == kHover && m_underlineOnHover) {
    const int y = drawn.top() + painter.fontMetrics().ascent() + 1;
    painter.drawLine(drawn.left(), y, drawn.right(), y);
  }
}

void CSkinBtn::keyPressEvent(QKeyEvent* event) {
  // Return and Enter press the focused button as Space does, wherever it sits.
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && !event->isAutoRepeat() &&
      (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
    click();
    return;
  }
  QPushButton::keyPressEvent(event);
}

void CSkinBtn::focusInEvent(QFocusEvent* event) {
  QPushButton::focusInEvent(event);
  update();
}

void CSkinBtn::focusOutEvent(QFocusEvent* event) {
  QPushButton::focusOutEvent(event);
  update();
}

void CSkinBtn::mouseMoveEvent(QMouseEvent* event) {
  QPushButton::mouseMoveEvent(event);
  if (!m_enabled || m_hovering) return;
  m_hovering = 1;
  m_state = kHover;
  repaint();
  m_hoverTimer.start(kHoverPollMs, this);
}

void CSkinBtn::timerEvent(QTimerEvent* event) {
  if (event->timerId() != m_hoverTimer.timerId()) {
    QPushButton::timerEvent(event);
    return;
  }
  const QRect onScreen(mapToGlobal(QPoint(0, 0)), size());
  if (!onScreen.contains(QCursor::pos()) && m_hovering && m_enabled) {
    m_hoverTimer.stop();
    m_hovering = 0;
    m_state = kNormal;
    update();
  }
}

void CSkinBtn::changeEvent(QEvent* event) {
  QPushButton::changeEvent(event);
  if (event->type() == QEvent::EnabledChange) {
    m_enabled = isEnabled() ? 1 : 0;
    update();
  }
}
