#include "controls/CXTabCtrl.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>

CXTabCtrl::CXTabCtrl(QWidget* parent, int controlId) : QWidget(parent), m_controlId(controlId) {
  setMouseTracking(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
  // Reachable with Tab, so the tabs can be chosen from the keyboard too.
  setFocusPolicy(Qt::TabFocus);
}

CXTabCtrl::~CXTabCtrl() = default;

int CXTabCtrl::AddImage(const QImage& image) {
  const int index = m_images.Add(image);
  if (index >= 0 && image.width() > m_itemWidth) {
    m_itemWidth = image.width();
    Layout();
  }
  return index;
}

int CXTabCtrl::AddTab(const QString& text, int image) {
  if (isHidden() && parentWidget() != nullptr) show();
  auto info = std::make_unique<CXTabInfo>();
  info->text = text;
  info->image = image;
  info->width = m_itemWidth;
  info->id = m_nextId++;
  m_items.push_back(std::move(info));
  if (m_items.size() == 1) m_selected = 0;
  Layout();
  return Count() - 1;
}

bool CXTabCtrl::RemoveTab(int index) {
  if (!ValidIndex(index)) return false;
  m_items.erase(m_items.begin() + index);
  // Keep the selection on the same tab; a removed selection leaves none.
  if (m_selected == index) {
    m_selected = -1;
  } else if (m_selected > index) {
    --m_selected;
  }
  m_hot = -1;
  m_current = -1;
  Layout();
  return true;
}

void CXTabCtrl::RemoveAllTabs() {
  m_items.clear();
  m_selected = -1;
  m_hot = -1;
  m_current = -1;
  update();
}

bool CXTabCtrl::SetTabText(int index, const QString& text) {
  if (!ValidIndex(index) || text.isEmpty()) return false;
  m_items[index]->text = text;
  RepaintTab(index);
  return true;
}

QString CXTabCtrl::TabText(int index) const {
  return ValidIndex(index) ? m_items[index]->text : QString();
}

bool CXTabCtrl::SetTabImage(int index, int image) {
  if (!ValidIndex(index)) return false;
  m_items[index]->image = image;
  RepaintTab(index);
  return true;
}

int CXTabCtrl::TabImage(int index) const { return ValidIndex(index) ? m_items[index]->image : -1; }

QRect CXTabCtrl::TabRect(int index) const {
  return ValidIndex(index) ? m_items[index]->rect : QRect();
}

bool CXTabCtrl::Select(int index) {
  if (!ValidIndex(index)) return false;
  if (index != m_selected) {
    const int old = m_selected;
    m_selected = index;
    m_current = index;
    repaint();
    if (QAccessible::isActive()) {
      QAccessible::State changed;
      changed.selected = true;
      for (int tab : {old, index}) {
        if (!ValidIndex(tab)) continue;
        QAccessibleStateChangeEvent event(this, changed);
        event.setChild(tab);
        QAccessible::updateAccessibility(&event);
      }
    }
    if (hasFocus()) AnnounceFocus();
  }
  return true;
}

int CXTabCtrl::Current() const {
  if (ValidIndex(m_current)) return m_current;
  return ValidIndex(m_selected) ? m_selected : (Count() > 0 ? 0 : -1);
}

void CXTabCtrl::SetCurrent(int index) {
  if (!ValidIndex(index) || index == Current()) return;
  m_current = index;
  update();
  AnnounceFocus();
}

void CXTabCtrl::AnnounceFocus() const {
  const int current = Current();
  if (!QAccessible::isActive() || current < 0) return;
  QAccessibleEvent event(const_cast<CXTabCtrl*>(this), QAccessible::Focus);
  event.setChild(current);
  QAccessible::updateAccessibility(&event);
}

void CXTabCtrl::SetColorScheme(const XTabColorScheme& scheme) {
  m_scheme = scheme;
  update();
}

void CXTabCtrl::SetBackgroundColor(XColor color) {
  m_scheme.background = color;
  update();
}

void CXTabCtrl::SetItemWidth(int pixels) {
  m_itemWidth = pixels;
  Layout();
}

void CXTabCtrl::SetTopOffset(int pixels) {
  m_topOffset = pixels;
  Layout();
}

void CXTabCtrl::Layout() {
  int x = 0;
  for (auto& item : m_items) {
    item->width = m_itemWidth;
    item->rect = QRect(QPoint(x, m_topOffset), QPoint(x + m_itemWidth - 1, height() - 1));
    x += m_itemWidth;
  }
  update();
}

int CXTabCtrl::HitTest(const QPoint& point) const {
  if (!rect().contains(point)) return -1;
  if (ValidIndex(m_selected) && m_items[m_selected]->rect.contains(point)) return m_selected;
  for (int i = 0; i < Count(); ++i) {
    if (i != m_selected && m_items[i]->rect.contains(point)) return i;
  }
  return -1;
}

std::vector<int> CXTabCtrl::DrawOrder() const {
  std::vector<int> order;
  const int right = width();
  for (int i = Count() - 1; i >= 0; --i) {
    if (i == m_selected) continue;
    const int left = m_items[i]->rect.left();
    if (left >= right) continue;
    if (left < 0) break;
    order.push_back(i);
  }
  if (ValidIndex(m_selected)) order.push_back(m_selected);
  return order;
}

void CXTabCtrl::RepaintTab(int index) {
  if (ValidIndex(index)) update(m_items[index]->rect);
}

QColor CXTabCtrl::BackgroundColor() const {
  if (XColorIsNone(m_scheme.background)) return palette().color(QPalette::Button);
  return ToQColor(m_scheme.background);
}

void CXTabCtrl::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  Layout();
}

void CXTabCtrl::mouseMoveEvent(QMouseEvent* event) {
  const int hit = HitTest(event->position().toPoint());
  if (hit != m_hot) {
    const int old = m_hot;
    m_hot = hit;
    RepaintTab(old);
    RepaintTab(m_hot);
  }
  m_tracking = 1;  // Qt reports the leave without a request; the flag mirrors the state.
}

void CXTabCtrl::leaveEvent(QEvent* event) {
  QWidget::leaveEvent(event);
  if (m_hot != -1) {
    const int old = m_hot;
    m_hot = -1;
    RepaintTab(old);
  }
  m_tracking = 0;
}

void CXTabCtrl::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton && event->button() != Qt::RightButton) {
    QWidget::mousePressEvent(event);
    return;
  }
  SelectByUser(HitTest(event->position().toPoint()));
}

void CXTabCtrl::keyPressEvent(QKeyEvent* event) {
  if ((event->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) {
    QWidget::keyPressEvent(event);
    return;
  }
  switch (event->key()) {
    case Qt::Key_Left:
      SetCurrent(Current() - 1);
      return;
    case Qt::Key_Right:
      SetCurrent(Current() + 1);
      return;
    case Qt::Key_Home:
      SetCurrent(0);
      return;
    case Qt::Key_End:
      SetCurrent(Count() - 1);
      return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
      if (!event->isAutoRepeat()) SelectByUser(Current());
      return;
    default:
      QWidget::keyPressEvent(event);
  }
}

void CXTabCtrl::focusInEvent(QFocusEvent* event) {
  QWidget::focusInEvent(event);
  // The keyboard starts on the open tab.
  m_current = m_selected;
  update();
  // After the toolkit's own focus event for the strip, which comes once this returns: the
  // screen reader then says the tab, not only the list.
  QMetaObject::invokeMethod(
      this,
      [this] {
        if (hasFocus()) AnnounceFocus();
      },
      Qt::QueuedConnection);
}

void CXTabCtrl::focusOutEvent(QFocusEvent* event) {
  QWidget::focusOutEvent(event);
  update();
}

void CXTabCtrl::SelectByUser(int index) {
  if (!ValidIndex(index) || index == m_selected) return;
  Select(index);
  emit tabMessage(kSelectMessage, index);
  emit tabNotify(m_controlId, kSelChange);
}

void CXTabCtrl::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (m_items.empty()) {
    painter.fillRect(rect(), BackgroundColor());
    return;
  }
  // Paint off-screen and copy at once, so tabs never flicker over the background.
  QImage buffer(size() * devicePixelRatioF(), QImage::Format_ARGB32_Premultiplied);
  buffer.setDevicePixelRatio(devicePixelRatioF());
  {
    QPainter p(&buffer);
    p.fillRect(rect(), BackgroundColor());
    for (int index : DrawOrder()) {
      int state = index == m_selected ? kStateSelected : kStateNormal;
      if (index == m_hot) state |= kStateHot;
      DrawTab(p, index, state);
    }
    if (hasFocus() && Current() >= 0) {
      p.setPen(QPen(QColor(255, 255, 255, 200), 1, Qt::DotLine));
      p.drawRect(TabRect(Current()).adjusted(2, 2, -3, -3));
    }
  }
  painter.drawImage(0, 0, buffer);
}

void CXTabCtrl::DrawTab(QPainter& painter, int index, int state) const {
  const CXTabInfo& tab = *m_items[index];
  const bool selected = (state & kStateSelected) != 0;
  const bool hot = (state & kStateHot) != 0;

  const XTabStyle* style = &m_scheme.normal;
  if (selected) {
    style = &m_scheme.selected;
  } else if (hot) {
    style = &m_scheme.hot;
  }
  if (XColorIsNone(style->fill)) style = &m_scheme.normal;
  DrawStyle(painter, *style, tab.rect);

  XColor text = kXColorNone;
  if (hot && !XColorIsNone(m_scheme.hot.text)) {
    text = m_scheme.hot.text;
  } else {
    text = m_scheme.normal.text;
    if (selected && !XColorIsNone(m_scheme.selected.text)) text = m_scheme.selected.text;
  }
  if (XColorIsNone(text)) text = m_scheme.text;
  const QColor textColor =
      XColorIsNone(text) ? palette().color(QPalette::WindowText) : ToQColor(text);

  if (tab.image >= 0) {
    m_images.Draw(painter, tab.image, tab.rect, selected || hot);
    return;
  }
  painter.save();
  painter.setFont(font());
  painter.setPen(textColor);
  const QString shown =
      painter.fontMetrics().elidedText(tab.text, Qt::ElideRight, tab.rect.width());
  painter.drawText(tab.rect, Qt::AlignCenter | Qt::TextSingleLine, shown);
  painter.restore();
}

void CXTabCtrl::DrawStyle(QPainter& painter, const XTabStyle& style, const QRect& rect) const {
  if (XColorIsNone(style.fill)) return;
  painter.save();
  if (style.rounded) {
    QPainterPath clip;
    clip.addRoundedRect(QRectF(rect.x(), rect.y(), rect.width() + 1, rect.height() + 1), 1, 1);
    painter.setClipPath(clip);
  } else {
    painter.setClipRect(rect);
  }

  const int share = std::clamp(style.share, 0, 100);
  const bool vertical = style.vertical != 0;
  QRect first = rect;
  if (share > 0 && share < 100) {
    if (vertical) {
      first.setHeight(rect.height() * share / 100);
    } else {
      first.setWidth(rect.width() * share / 100);
    }
  }

  auto fill = [&](const QRect& area, XColor from, XColor to) {
    if (area.isEmpty()) return;
    if (XColorIsNone(to)) {
      painter.fillRect(area, ToQColor(from));
      return;
    }
    QLinearGradient gradient(area.topLeft(), vertical ? area.bottomLeft() : area.topRight());
    gradient.setColorAt(0, ToQColor(from));
    gradient.setColorAt(1, ToQColor(to));
    painter.fillRect(area, gradient);
  };

  fill(first, style.fill, style.fillEnd);
  if (!XColorIsNone(style.fill2) && share < 100) {
    QRect rest = rect;
    if (vertical) {
      rest.setTop(first.bottom() + 1);
    } else {
      rest.setLeft(first.right() + 1);
    }
    fill(rest, style.fill2, style.fill2End);
  }
  painter.restore();
}
