#include "client/ui/notify/CCometMiniNews.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QTextLayout>

#include <utility>

#include "client/base/ShellText.h"
#include "client/requests/PushMessage.h"
#include "controls/CSkinBtn.h"
#include "controls/SkinImages.h"

namespace mini_news {

int HitTest(const QPoint& point) {
  for (const auto& area : kAreas)
    if (area.rect.contains(point)) return area.id;
  return -1;
}

QPoint CornerPosition(const QRect& workArea, const QSize& size) {
  return QPoint(workArea.x() + workArea.width() - size.width(),
                workArea.y() + workArea.height() - size.height());
}

}  // namespace mini_news

using namespace mini_news;

namespace {

// One area of the popup as a screen reader sees it: the two buttons by their names, the
// title and the text by their content (links when the message has one). Pressing an area
// acts as a click on it, so the popup can be closed or its link followed without a mouse.
class MiniNewsAreaAccessible final : public QAccessibleInterface,
                                     public QAccessibleActionInterface {
 public:
  MiniNewsAreaAccessible(CMiniNewsWindow* window, int id) : m_window(window), m_id(id) {}
  void* interface_cast(QAccessible::InterfaceType type) override {
    return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this)
                                                : nullptr;
  }
  QStringList actionNames() const override { return {pressAction()}; }
  void doAction(const QString& name) override {
    if (name != pressAction() || !m_window) return;
    // Posted, as the click's message is: the popup may close itself.
    QPointer<CMiniNewsWindow> window = m_window;
    QMetaObject::invokeMethod(
        window.data(),
        [window, id = m_id] {
          if (window) window->OnAreaClicked(id);
        },
        Qt::QueuedConnection);
  }
  QStringList keyBindingsForAction(const QString&) const override { return {}; }
  bool isValid() const override { return !m_window.isNull(); }
  QObject* object() const override { return nullptr; }
  QAccessibleInterface* childAt(int, int) const override { return nullptr; }
  QAccessibleInterface* parent() const override {
    return QAccessible::queryAccessibleInterface(m_window.data());
  }
  QAccessibleInterface* child(int) const override { return nullptr; }
  int childCount() const override { return 0; }
  int indexOfChild(const QAccessibleInterface*) const override { return -1; }
  QString text(QAccessible::Text t) const override {
    if (!m_window || t != QAccessible::Name) return {};
    const char* name = kAreas[m_id].accessibleName;
    return *name ? QString::fromUtf8(name) : m_window->AreaText(m_id);
  }
  void setText(QAccessible::Text, const QString&) override {}
  QRect rect() const override {
    if (!m_window) return {};
    QRect r = kAreas[m_id].rect;
    return QRect(m_window->mapToGlobal(r.topLeft()), r.size());
  }
  QAccessible::Role role() const override {
    if (m_id == kClose || m_id == kOpen) return QAccessible::Button;
    return m_window && !m_window->Link().empty() ? QAccessible::Link : QAccessible::StaticText;
  }
  QAccessible::State state() const override {
    QAccessible::State s;
    s.invisible = !m_window || !m_window->isVisible();
    s.hotTracked = m_window && m_window->Hovered() == m_id;
    s.pressed = m_window && m_window->Pressed() == m_id;
    s.focusable = m_id == kClose || m_id == kOpen;
    s.focused = m_window && m_window->ShowsFocus() && m_window->FocusArea() == m_id;
    return s;
  }

 private:
  QPointer<CMiniNewsWindow> m_window;
  int m_id;
};

// The popup as a whole is a notification, named by the message's title and described by its
// text, so a screen reader speaks both when it appears.
class MiniNewsAccessible final : public QAccessibleWidget {
 public:
  explicit MiniNewsAccessible(CMiniNewsWindow* window)
      : QAccessibleWidget(window, QAccessible::Notification) {
    for (int i = 0; i < 4; ++i) {
      m_areas[i] = new MiniNewsAreaAccessible(window, i);
      QAccessible::registerAccessibleInterface(m_areas[i]);
    }
  }
  ~MiniNewsAccessible() override {
    for (auto* area : m_areas) QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(area));
  }
  int childCount() const override { return 4; }
  QAccessibleInterface* child(int index) const override {
    return index >= 0 && index < 4 ? m_areas[index] : nullptr;
  }
  int indexOfChild(const QAccessibleInterface* child) const override {
    for (int i = 0; i < 4; ++i)
      if (m_areas[i] == child) return i;
    return -1;
  }
  QAccessibleInterface* childAt(int x, int y) const override {
    auto* window = static_cast<CMiniNewsWindow*>(widget());
    int id = HitTest(window->mapFromGlobal(QPoint(x, y)));
    return id >= 0 ? m_areas[id] : nullptr;
  }

 private:
  std::array<MiniNewsAreaAccessible*, 4> m_areas{};
};

QAccessibleInterface* MiniNewsAccessibleFactory(const QString& className, QObject* object) {
  if (className == QLatin1String("CMiniNewsWindow") && object && object->isWidgetType())
    return new MiniNewsAccessible(static_cast<CMiniNewsWindow*>(object));
  return nullptr;
}

// Word-wrapped text in `rect`; when it does not fit, the last line that does ends in an
// ellipsis.
void DrawWrappedText(QPainter& painter, const QRect& rect, const QString& text) {
  const QFontMetrics metrics = painter.fontMetrics();
  QTextLayout layout(text, painter.font());
  layout.beginLayout();
  int y = 0;
  for (;;) {
    QTextLine line = layout.createLine();
    if (!line.isValid()) break;
    line.setLineWidth(rect.width());
    const bool lastThatFits = y + 2 * metrics.lineSpacing() > rect.height();
    if (lastThatFits && line.textStart() + line.textLength() < text.size()) {
      const QString rest = text.mid(line.textStart()).simplified();
      painter.drawText(QPoint(rect.left(), rect.top() + y + metrics.ascent()),
                       metrics.elidedText(rest, Qt::ElideRight, rect.width()));
      break;
    }
    painter.drawText(QPoint(rect.left(), rect.top() + y + metrics.ascent()),
                     text.mid(line.textStart(), line.textLength()));
    y += metrics.lineSpacing();
    if (y + metrics.lineSpacing() > rect.height()) break;
  }
  layout.endLayout();
}

// Copies `source` of the skin into `target` of the painter's device, stretched.
void Blit(QPainter& painter, const QImage& skin, const QRect& target, const QRect& source) {
  if (!target.isEmpty() && !source.isEmpty()) painter.drawImage(target, skin, source);
}

// The caption's program icon, read once: a new QIcon at every render would leave one more
// pixmap in Qt's pixmap cache with every pushed message.
const QPixmap& CaptionIcon() {
  static const QPixmap icon = ResourceIcon().pixmap(16, 16);
  return icon;
}

}  // namespace

CMiniNewsWindow::CMiniNewsWindow(const QImage& skin, LinkOpener opener)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      m_skin(skin),
      m_opener(std::move(opener)) {
  static const bool factoryInstalled = [] {
    QAccessible::installFactory(MiniNewsAccessibleFactory);
    return true;
  }();
  (void)factoryInstalled;
  setAttribute(Qt::WA_DeleteOnClose);
  // A message never takes the keyboard from what the user is doing; TakeKeyboard gives it.
  setAttribute(Qt::WA_ShowWithoutActivating);
  setFocusPolicy(Qt::StrongFocus);
  setWindowTitle(QString::fromUtf8(kTitle));
  setFixedSize(kWidth, kHeight);
  setMouseTracking(true);
  setCursor(Qt::ArrowCursor);
  QPainterPath path;
  path.addRoundedRect(QRectF(0, 0, kWidth + 1, kHeight + 1), kCornerEllipse / 2.0,
                      kCornerEllipse / 2.0);
  setMask(QRegion(path.toFillPolygon().toPolygon()));
  m_normalFont = QApplication::font();
  m_normalFont.setFamily(QStringLiteral("MS Shell Dlg"));
  m_normalFont.setPixelSize(12);
  m_boldFont = m_normalFont;
  m_boldFont.setWeight(QFont::Bold);
  Render();
}

void CMiniNewsWindow::SetTexts(const QString& title, const QString& text, const std::string& link) {
  m_texts[kTitleText] = title;
  m_texts[kMessageText] = text;
  m_link = link;
  setAccessibleName(title.isEmpty() ? QString::fromUtf8(kTitle) : title);
  setAccessibleDescription(text);
  Render();
  if (isVisible()) repaint();
}

void CMiniNewsWindow::ShowAtCorner() {
  QScreen* screen = QGuiApplication::primaryScreen();
  QRect work = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
  move(CornerPosition(work, size()));
  update();
  show();
  repaint();
}

void CMiniNewsWindow::Render() {
  if (m_back.size() != size()) {
    m_back = QImage(size(), QImage::Format_ARGB32_Premultiplied);
  }
  m_back.fill(palette().color(QPalette::Button));
  QPainter p(&m_back);
  const int w = width(), h = height();
  if (!m_skin.isNull()) {
    // Nine parts: corners as they are (magenta keyed out), edges and centre stretched.
    const QRect in = kFrameInner, src = kFrameSource;
    const int l = in.left() - src.left(), t = in.top() - src.top();
    const int r = src.right() - in.right(), b = src.bottom() - in.bottom();
    const QImage keyed = KeyOutMagenta(m_skin.copy(src));
    const QImage& s = m_skin;
    Blit(p, s, QRect(l, t, w - l - r, h - t - b), in);
    Blit(p, s, QRect(l, 0, w - l - r, t), QRect(in.left(), 0, in.width(), t));
    Blit(p, s, QRect(l, h - b, w - l - r, b), QRect(in.left(), in.bottom() + 1, in.width(), b));
    Blit(p, s, QRect(0, t, l, h - t - b), QRect(0, in.top(), l, in.height()));
    Blit(p, s, QRect(w - r, t, r, h - t - b), QRect(in.right() + 1, in.top(), r, in.height()));
    p.drawImage(QPoint(0, 0), keyed, QRect(0, 0, l, t));
    p.drawImage(QPoint(w - r, 0), keyed, QRect(in.right() + 1, 0, r, t));
    p.drawImage(QPoint(0, h - b), keyed, QRect(0, in.bottom() + 1, l, b));
    p.drawImage(QPoint(w - r, h - b), keyed, QRect(in.right() + 1, in.bottom() + 1, r, b));
  }

  // Caption: the program icon and the window title.
  QRect caption(QPoint(kCaptionLeft, kCaptionTop),
                QPoint(w - kCaptionRightMargin - 1, kCaptionBottom - 1));
  p.drawPixmap(QRect(caption.left(), caption.top() + (caption.height() - 16) / 2, 16, 16),
               windowIcon().isNull() ? CaptionIcon() : windowIcon().pixmap(16, 16));
  caption.setLeft(caption.left() + kCaptionTextIndent);
  p.setFont(m_normalFont);
  p.setPen(kCaptionColor);
  p.drawText(caption, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
             p.fontMetrics().elidedText(windowTitle(), Qt::ElideRight, caption.width()));

  // The two buttons: state 2 pressed, 1 hovered, else 0, one button width apart.
  for (int id : {kClose, kOpen}) {
    const AreaSpec& area = kAreas[id];
    int state = m_pressed == id ? 2 : (m_hover == id ? 1 : 0);
    if (!m_skin.isNull())
      p.drawImage(area.rect.topLeft(), m_skin,
                  QRect(1 + area.rect.width() * state, area.skinRow, area.rect.width(),
                        area.rect.height()));
  }

  if (ShowsFocus()) CSkinBtn::DrawFocusMark(p, kAreas[m_focus].rect);

  // The texts: blue, lighter while hovered.
  for (int id : {kTitleText, kMessageText}) {
    const QString& text = m_texts[id];
    if (text.isEmpty()) continue;
    const QRect r = kAreas[id].rect;
    p.setPen(m_hover == id ? kHoverTextColor : kTextColor);
    if (id == kTitleText) {
      p.setFont(m_boldFont);
      p.drawText(r, Qt::AlignCenter | Qt::TextSingleLine,
                 p.fontMetrics().elidedText(text, Qt::ElideRight, r.width()));
    } else {
      p.setFont(m_normalFont);
      DrawWrappedText(p, r, text);
    }
  }
}

void CMiniNewsWindow::paintEvent(QPaintEvent* event) {
  QPainter p(this);
  p.drawImage(event->rect(), m_back, event->rect());
}

void CMiniNewsWindow::SetHover(int area) {
  if (area == m_hover) return;
  m_hover = area;
  setCursor(area == kOpen || area == kTitleText || area == kMessageText ? Qt::PointingHandCursor
                                                                        : Qt::ArrowCursor);
  Render();
  update();
}

void CMiniNewsWindow::mouseMoveEvent(QMouseEvent* event) {
  if (m_drag.Move(*this, *event)) return;
  SetHover(HitTest(event->position().toPoint()));
}

void CMiniNewsWindow::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  int area = HitTest(event->position().toPoint());
  if (area != m_pressed) {
    m_pressed = area;
    Render();
    update();
  }
  // The frame acts as the caption.
  m_drag.Press(*this, *event, area < 0);
}

void CMiniNewsWindow::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  m_drag.Release();
  int area = HitTest(event->position().toPoint());
  if (m_pressed >= 0 && area == m_pressed) {
    QPointer<CMiniNewsWindow> self(this);
    QMetaObject::invokeMethod(
        this,
        [self, area] {
          if (self) self->OnAreaClicked(area);
        },
        Qt::QueuedConnection);
  }
  m_pressed = -1;
  Render();
  update();
}

void CMiniNewsWindow::leaveEvent(QEvent*) {
  bool changed = m_hover >= 0 || m_pressed >= 0;
  m_hover = m_pressed = -1;
  if (changed) {
    Render();
    update();
  }
}

void CMiniNewsWindow::OnAreaClicked(int id) {
  if (id < 0 || id >= static_cast<int>(kAreas.size())) return;
  // A link the browser cannot open is ignored; the popup closes in any case.
  if (id != kClose && !m_link.empty() && m_opener) m_opener(m_link);
  close();
}

bool CMiniNewsWindow::ShowsFocus() const { return hasFocus(); }

void CMiniNewsWindow::TakeKeyboard() {
  raise();
  activateWindow();
  setFocus(Qt::ShortcutFocusReason);
  m_focus = kOpen;
  Render();
  update();
  AnnounceFocus();
}

void CMiniNewsWindow::SetFocusArea(int area) {
  if (area == m_focus) return;
  m_focus = area;
  Render();
  update();
  AnnounceFocus();
}

void CMiniNewsWindow::AnnounceFocus() {
  if (!QAccessible::isActive() || !hasFocus()) return;
  QAccessibleEvent event(this, QAccessible::Focus);
  event.setChild(m_focus);
  QAccessible::updateAccessibility(&event);
}

bool CMiniNewsWindow::focusNextPrevChild(bool) {
  SetFocusArea(m_focus == kOpen ? kClose : kOpen);
  return true;
}

void CMiniNewsWindow::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Escape:
      OnAreaClicked(kClose);
      return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
      if (!event->isAutoRepeat()) OnAreaClicked(m_focus);
      return;
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
      focusNextPrevChild(true);
      return;
    default:
      QWidget::keyPressEvent(event);
  }
}

void CMiniNewsWindow::focusInEvent(QFocusEvent* event) {
  QWidget::focusInEvent(event);
  Render();
  update();
  AnnounceFocus();
}

void CMiniNewsWindow::focusOutEvent(QFocusEvent* event) {
  QWidget::focusOutEvent(event);
  Render();
  update();
}

CCometMiniNews::CCometMiniNews(CMiniNewsWindow::LinkOpener opener)
    : m_opener(opener ? std::move(opener) : CMiniNewsWindow::LinkOpener([](const std::string& url) {
        return OpenUrl(url);
      })) {}

CCometMiniNews::~CCometMiniNews() { delete m_window.data(); }

void CCometMiniNews::ShowMessage(const PushMessage& message) {
  m_title = QString::fromStdString(message.title);
  m_text = QString::fromStdString(message.content);
  m_link = message.url;
  m_hasMessage = true;
  Show();
}

void CCometMiniNews::Show() {
  if (!m_window) {
    if (m_skin.isNull()) m_skin = ResourceImage(kSkinResource);
    m_window = new CMiniNewsWindow(m_skin, m_opener);
  }
  m_window->SetTexts(m_title, m_text, m_link);
  m_window->ShowAtCorner();
}

bool CCometMiniNews::TakeKeyboard() {
  if (!m_hasMessage) return false;
  if (!m_window || !m_window->isVisible()) Show();
  m_window->TakeKeyboard();
  return true;
}
